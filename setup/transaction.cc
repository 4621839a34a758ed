/*
 * The files of a run, put in place together as a package manager puts a
 * package's files: every new file is written beside its name first; at the
 * commit each old file gets a second name (a hard link, or a copy where the
 * file system has none) before the new one is renamed over it, and when a
 * step fails every step made is undone from those names, so that the
 * directory is as it was, modes included.  At every instant each name holds
 * its whole old or its whole new file.  Whatever is still staged when the
 * transaction goes (after a stop) is removed.
 */
#include "setup.h"

#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

/* A name beside path for its old file while the commit lasts, free when
 * it was made (no file is made for it: the link or rename that takes it
 * fails when another took it meanwhile). */
std::string besideName(const std::string &path)
{
    static unsigned long made;
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    std::string name = dir + "/." + path.substr(slash == std::string::npos ? 0 : slash + 1) + ".old-" +
                       std::to_string(getpid()) + "-";
    for (unsigned long n = ++made; n < made + 100; n++)
        if (!exists(name + std::to_string(n)))
            return made = n, name + std::to_string(n);
    return std::string();
}

/* The old file at path under a second name, "" after the alert: a hard
 * link, else a copy with its mode. */
std::string secondName(const std::string &path)
{
    std::string name = besideName(path);
    if (!name.empty() && link(path.c_str(), name.c_str()) == 0)
        return name;
    struct stat st;
    bool read;
    std::string text = FileText(path, &read);
    read = read && stat(path.c_str(), &st) == 0;
    char *copy = read ? WriteFileBeside(path.c_str(), text.data(), text.size(), st.st_mode & 07777, NULL) : NULL;
    if (!read)
        Nlm_Message(MSG_OK, "Cannot open file '%s'", path.c_str());
    name = copy != NULL ? copy : "";
    Nlm_MemFree(copy);
    return name;
}

} // namespace

std::string FileText(const std::string &path, bool *read)
{
    size_t length = 0;
    char *block = ReadRegularFile(path.c_str(), &length);
    std::string text = block != NULL ? std::string(block, length) : std::string();
    *read = block != NULL;
    Nlm_MemFree(block);
    return text;
}

Transaction::~Transaction()
{
    for (const Step &s : steps_)
        if (s.kind == kReplace && !s.applied)
            unlink(s.from.c_str());
}

Nlm_Boolean Transaction::write(const std::string &path, const std::string &text, int mode, const char *openAlert,
                               const char *keepOld)
{
    char *staged = WriteFileBeside(path.c_str(), text.data(), text.size(), mode, openAlert);
    if (staged == NULL)
        return FALSE;
    steps_.push_back({kReplace, staged, path, "", keepOld != NULL ? keepOld : "", false});
    Nlm_MemFree(staged);
    return TRUE;
}

void Transaction::place(const std::string &path, const std::string &file)
{
    steps_.push_back({kReplace, file, path, "", "", false});
}

void Transaction::move(const std::string &from, const std::string &to)
{
    steps_.push_back({kMove, from, to, "", "", false});
}

void Transaction::remove(const std::string &path)
{
    steps_.push_back({kRemove, path, "", "", "", false});
}

/* One step of the commit; FALSE after the alert. */
Nlm_Boolean Transaction::apply(Step &s)
{
    if (!exists(s.from) || (s.kind == kMove && exists(s.to))) {
        if (s.kind == kReplace)
            Nlm_Message(MSG_OK, "Cannot write file '%s'", s.to.c_str());
        return s.kind != kReplace; /* nothing to move or remove */
    }
    if (s.kind == kRemove)
        s.to = besideName(s.from);
    else if (s.kind == kReplace && exists(s.to) && (s.backup = secondName(s.to)).empty())
        return FALSE;
    if (!RenameWrittenFile(s.from.c_str(), s.to.c_str()))
        return FALSE;
    return s.applied = true;
}

/* A step undone from the names it left; an old file that cannot be renamed
 * back stays under its second name. */
void Transaction::undo(Step &s)
{
    if (!s.applied) {
        if (!s.backup.empty())
            unlink(s.backup.c_str()); /* made before its rename failed */
    } else if (s.kind != kReplace) {
        RenameWrittenFile(s.to.c_str(), s.from.c_str());
    } else if (!s.backup.empty()) {
        RenameWrittenFile(s.backup.c_str(), s.to.c_str());
    } else {
        unlink(s.to.c_str());
    }
    s.applied = false;
}

Nlm_Boolean Transaction::commit()
{
    size_t made = 0;
    Nlm_Boolean ok = TRUE;
    while (ok && made < steps_.size())
        ok = apply(steps_[made++]);
    /* an old file kept under a name of its own, last: a failure still
     * undoes every step */
    for (Step &s : steps_)
        if (ok && s.applied && !s.keepOld.empty() && !s.backup.empty() &&
            (ok = RenameWrittenFile(s.backup.c_str(), s.keepOld.c_str())))
            s.backup.clear();
    while (!ok && made > 0)
        undo(steps_[--made]);
    for (Step &s : steps_)
        if (ok && (s.kind == kRemove ? s.applied : !s.backup.empty()))
            unlink((s.kind == kRemove ? s.to : s.backup).c_str());
    return ok;
}
