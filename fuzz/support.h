/*
 * Support shared by the fuzz targets.
 *
 * Every target works in a private temporary working directory that holds a
 * .vartenarc before anything is read or written, so the toolkit never
 * falls back on the real home's settings file (it finds the home through
 * the password database, not $HOME).  The directory is removed at exit.
 * Alerts are counted, not shown: the targets run without a display.
 */
#ifndef VARTENA_FUZZ_SUPPORT_H
#define VARTENA_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fz {

/* Makes and enters the scratch directory with .vartenarc holding rc,
 * unsets NCBI and NCBI_DONT_USE_LOCAL_CONFIG, routes alerts to the counter
 * and records the real home's .vartenarc.  Call once, from
 * LLVMFuzzerInitialize.  Returns the directory's path. */
const std::string &EnterScratch(const std::string &rc);

void WriteBytes(const std::string &path, const char *data, size_t size);
std::string ReadBytes(const std::string &path);

/* Alerts shown since the last ResetAlerts. */
int Alerts();
void ResetAlerts();

/* Aborts (so libFuzzer keeps the input) when the real home's .vartenarc
 * appeared or changed since EnterScratch, or when the working directory
 * lost its .vartenarc. */
void CheckHome();

/* Aborts with the message when cond is false: a property of the code
 * under test did not hold. */
void Require(bool cond, const char *what);

/* The lines of text, each ended by any one of the characters in ends (the
 * last may lack it). */
std::vector<std::string> LinesOf(const std::string &text, const char *ends);

} // namespace fz

#endif
