/*
 * Test support shared by every suite.  No toolkit header is included here,
 * so a suite may include GoogleTest and this header in any order.
 *
 * Every test that touches settings or files runs inside a ScratchDir: a
 * private temporary working directory that holds a .vartenarc before
 * anything is written, so the toolkit never falls back on the real home's
 * settings file (it finds the home through the password database, not
 * $HOME).  The global HomeRcGuard fails the run if the real home's
 * .vartenarc appeared or changed.
 */
#ifndef VARTENA_TEST_SUPPORT_H
#define VARTENA_TEST_SUPPORT_H

#include <string>
#include <sys/types.h>
#include <vector>

namespace vt {

/* Makes a temporary directory, enters it and writes .vartenarc there
 * (empty unless rc is given); unsets NCBI and drops the toolkit's parsed
 * settings.  On destruction goes back to the previous working directory,
 * removes the directory with all it holds and drops the parsed settings. */
class ScratchDir {
public:
    explicit ScratchDir(const std::string &rc = std::string());
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    const std::string &path() const { return path_; }
    /* path()/name */
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
    std::string previous_;
};

/* Records every Nlm_Message (and every toolkit alert) while it lives;
 * each alert answers OK at once.  Install it after the toolkit has started
 * (Vibrant installs its own hook at start-up). */
class AlertLog {
public:
    AlertLog();
    ~AlertLog();
    AlertLog(const AlertLog &) = delete;
    AlertLog &operator=(const AlertLog &) = delete;

    const std::vector<std::string> &texts() const;
    size_t count() const { return texts().size(); }
    void clear();
};

/* Sets an environment variable for one scope, restoring it afterwards. */
struct EnvSetting {
    EnvSetting(const char *name, const std::string &value);
    ~EnvSetting();
    std::string name, old;
    bool had;
};

/* Limits the size of the files this process writes to bytes for one scope
 * (0 leaves it alone); SIGXFSZ is ignored meanwhile, so a write past the
 * limit fails (EFBIG) as on a full disk. */
class FileSizeLimit {
public:
    explicit FileSizeLimit(long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    bool set_ = false;
};

/* Makes the toolkit read the settings file again at its next use. */
void DropSettingsCache();

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &text, mode_t mode = 0644);
bool Exists(const std::string &path);
/* Permission bits of path, or -1 when it does not exist. */
int FileMode(const std::string &path);
/* Modification time of path, or -1 when it does not exist. */
long FileTime(const std::string &path);
/* Lines of a text, without their line feeds. */
std::vector<std::string> SplitLines(const std::string &text);
/* Runs a shell command line; returns its exit status (-1 on failure). */
int Shell(const std::string &command);
/* The directory that holds the test data files. */
std::string DataDir();
/* The real home's .vartenarc, found as the toolkit finds it. */
std::string RealHomeRc();

/* Registers the guard of the real home's .vartenarc with GoogleTest. */
void AddHomeRcGuard();

} // namespace vt

#endif
