/*
 * Fuzz target: the text descriptor over description files that the input
 * supplies.
 *
 * Input: up to five parts separated by NUL bytes: the description file
 * main.vtn, the files a.vtn, b.vtn and c.vtn that include lines ("&&a.vtn")
 * may name, and a control part (its first byte picks the column for
 * mGetLine and mCountLines, the rest is a line for FindLine).  A part that
 * is missing is a file that does not exist.  The settings file is fixed:
 * [Paths] KERNEL names the scratch directory, and [V] holds values for
 * references: long ones, one that refers to itself, one that is an include
 * line, ones with "~", "!", "|" and backquotes.
 *
 * Every caller buffer is a heap block of exactly 350 bytes, so a write past
 * it is caught.  The properties: lines fit; a read after DescRewind gives
 * the same lines; FindLine finds exactly the lines that GetLine gave and
 * leaves the descriptor just after the first of them, where DescSeek to
 * its position and CountLines come back to; mGetLine gives the non-empty
 * fields of the same lines; every loop ends within a bound set by the
 * input's size.  Inputs with more than eight lines that may include are
 * skipped: each such line multiplies the lines that follow it, which makes
 * a run long but not wrong.
 */
#include <ncbi.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "support.h"
#include "utility.h"

namespace {

const size_t kLine = 350;
const char *const kFiles[] = {"main.vtn", "a.vtn", "b.vtn", "c.vtn"};
const size_t kMaxIncluders = 8;

std::string settings(const std::string &dir)
{
    return "[KernelErrors]\n"
           "TRANSLN=Settings file '%s', section '%s', key '%s': undefined reference\n\n"
           "[Paths]\nKERNEL=" + dir + "/\n\n"
           "[V]\n"
           "A=alpha\n"
           "LONG=" + std::string(240, 'x') + "\n"
           "SELF=$(V.SELF)s\n"
           "INC=&&a.vtn\n"
           "NL=one~two\n"
           "EMPTY=`\n"
           "BANG=a!b\n"
           "BAR=p | q |\n"
           "AMP=&section\n"
           "REF=$`(V.A)\n";
}

/* The field of line that mGetLine selects: past column separators (or the
 * last field), cut at the next "|", blanks trimmed as StrTrim does. */
std::string field(const std::string &line, int column)
{
    size_t start = 0;
    for (int i = 0; i < column; i++) {
        size_t bar = line.find('|', start);
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    std::string f = line.substr(start, line.find('|', start) - start);
    const char *blanks = " \n\r\t\x1a";
    size_t first = f.find_first_not_of(blanks);
    if (first == std::string::npos)
        return "";
    return f.substr(first, f.find_last_not_of(blanks) - first + 1);
}

/* All lines from the current place to the end; aborts past limit. */
std::vector<std::string> readAll(char *buf, size_t limit)
{
    std::vector<std::string> lines;
    while (GetLine(buf) != NULL) {
        fz::Require(strnlen(buf, kLine) < kLine, "a line fits the caller's buffer");
        lines.push_back(buf);
        fz::Require(lines.size() <= limit, "reading ends");
    }
    fz::Require(DescEof(), "DescEof is TRUE after the last line");
    return lines;
}

/* FindLine reads into 352 bytes, GetLine into 350: a line whose expansion
 * fills the buffer differs between the two.  Only the values LONG, SELF and
 * KERNEL grow a line, so FindLine is held to GetLine's lines only on
 * inputs that name none of them (names match without case). */
bool mayFillBuffer(const std::string &input)
{
    std::string lower;
    for (char c : input)
        lower += static_cast<char>(tolower(static_cast<unsigned char>(c)));
    for (const char *grows : {"long", "self", "kernel"})
        if (lower.find(grows) != std::string::npos)
            return true;
    return false;
}

void checkFind(char *buf, const std::vector<std::string> &lines, const std::string &sought, bool exact)
{
    DescRewind();
    int pos = FindLine(sought.c_str());
    size_t at = std::find(lines.begin(), lines.end(), sought) - lines.begin();
    if (!exact || sought.size() >= kLine - 1) {
        fz::Require(pos >= -1, "FindLine gives a position or -1");
        return;
    }
    if (at == lines.size()) {
        fz::Require(pos == -1, "FindLine finds no line that GetLine did not give");
        fz::Require(GetLine(buf) == NULL && DescEof(), "FindLine without a match ends at the end");
        return;
    }
    fz::Require(pos >= 0, "FindLine finds a line that GetLine gave");
    const char *next = at + 1 < lines.size() ? lines[at + 1].c_str() : NULL;

    /* the file of the match is still open: a seek there must work */
    fz::Require(DescSeek(pos) == 0, "DescSeek to a FindLine position succeeds");
    short count = CountLines();
    size_t bound = 0;
    while (at + 1 + bound < lines.size() && lines[at + 1 + bound][0] != '&')
        bound++;
    fz::Require(count >= 0 && static_cast<size_t>(count) <= bound, "CountLines stops at the next \"&\"");
    fz::Require(CountLines() == count, "CountLines comes back to where it began");
    char *got = GetLine(buf);
    fz::Require(next == NULL ? got == NULL : got != NULL && strcmp(buf, next) == 0,
                "after FindLine, DescSeek and CountLines the next line follows the match");
}

void checkColumns(char *buf, const std::vector<std::string> &lines, short column, size_t limit)
{
    std::vector<std::string> expected;
    for (const std::string &line : lines) {
        std::string f = field(line, column);
        if (!f.empty())
            expected.push_back(f);
    }
    DescRewind();
    short counted = mCountLines(column);
    std::vector<std::string> got;
    while (mGetLine(buf, column) != NULL) {
        fz::Require(buf[0] != '\0' && strnlen(buf, kLine) < kLine, "mGetLine gives a non-empty field");
        got.push_back(buf);
        fz::Require(got.size() <= limit, "mGetLine ends");
    }
    fz::Require(got == expected, "mGetLine gives the non-empty fields of GetLine's lines");
    fz::Require(counted >= 0 && static_cast<size_t>(counted) <= got.size(), "mCountLines counts fields");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const std::string &dir = fz::EnterScratch("");
    std::string rc = settings(dir);
    fz::WriteBytes(".vartenarc", rc.data(), rc.size());
    ReloadSettings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> parts;
    size_t start = 0;
    while (parts.size() < 5 && start <= input.size()) {
        size_t nul = std::min(input.find('\0', start), input.size());
        parts.push_back(input.substr(start, nul - start));
        start = nul + 1;
    }
    for (size_t i = 0; i < 4; i++) {
        if (i < parts.size())
            fz::WriteBytes(kFiles[i], parts[i].data(), parts[i].size());
        else
            unlink(kFiles[i]);
    }
    /* every line that may include (an include line, or a reference that
     * may expand to one) multiplies what follows: a few keep runs short */
    size_t includers = 0;
    for (size_t i = 0; i < parts.size() && i < 4; i++)
        for (const std::string &line : fz::LinesOf(parts[i], "\n"))
            if (line.find("&&") != std::string::npos || line.find("$(") != std::string::npos)
                includers++;
    if (includers > kMaxIncluders)
        return -1;
    std::string control = parts.size() == 5 ? parts[4] : std::string();
    short column = control.empty() ? 0 : static_cast<short>(static_cast<unsigned char>(control[0]) % 4);
    std::string sought = control.size() > 1 ? control.substr(1) : std::string();
    /* no file gives more lines than it has bytes, and each includer
     * brings in at most one file at each of two levels */
    size_t limit = (includers + 1) * (includers + 1) * (size + 1);

    char *buf = static_cast<char *>(malloc(kLine));
    fz::ResetAlerts();
    if (!DescOpen("main.vtn")) {
        fz::Require(GetLine(buf) == NULL && DescEof() && CountLines() == 0, "a failed open reads nothing");
    } else {
        std::vector<std::string> lines = readAll(buf, limit);
        DescRewind();
        fz::Require(readAll(buf, limit) == lines, "DescRewind reads the same lines again");
        if (sought.empty() && !lines.empty())
            sought = lines[static_cast<unsigned char>(control.empty() ? 0 : control[0]) % lines.size()];
        checkFind(buf, lines, sought, !mayFillBuffer(input));
        checkColumns(buf, lines, column, limit);
    }
    DescClose();
    free(buf);
    fz::CheckHome();
    return 0;
}
