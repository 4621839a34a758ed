/*
 * Private scratch directories: the install-notice preview and the notice
 * run their shell commands in one, so that the user's files del1, del2 and
 * del3 are never touched, and the run proves the compile script in one,
 * so that nothing of the proof stays on disk.
 */
#include "setup.h"

#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>

namespace {

int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    remove(path);
    return 0;
}

/* text in single quotes for the system shell */
std::string shellQuoted(const std::string &text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

} // namespace

ScratchDirectory::ScratchDirectory(const char *parent)
{
    const char *tmp = getenv("TMPDIR");
    std::string pattern = parent != NULL ? std::string(parent) + "/.vartena-XXXXXX"
                                         : std::string(tmp != NULL && tmp[0] != '\0' ? tmp : "/tmp") + "/vartena-XXXXXX";
    if (mkdtemp(&pattern[0]) != NULL)
        path_ = pattern;
}

ScratchDirectory::~ScratchDirectory()
{
    if (!path_.empty())
        nftw(path_.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

/* the command never runs outside the private directory */
int ScratchDirectory::run(const std::string &command, const char *status) const
{
    if (path_.empty())
        return -1;
    std::string line = "cd " + shellQuoted(path_) + " || exit 1; " + command;
    return status != NULL ? RunShowingStatus(line.c_str(), status) : system(line.c_str());
}

Nlm_Boolean RunInScratchDir(const char *command, void (*read)(const char *dir), const char *status)
{
    ScratchDirectory dir;
    if (dir.path().empty())
        return FALSE;
    dir.run(command, status);
    if (read != NULL)
        read(dir.path().c_str());
    return TRUE;
}
