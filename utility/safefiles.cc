/*
 * Safe reading and writing of the package's files.
 *
 * A file is written whole to a temporary file in its own directory and
 * renamed over its name, so that a killed process, a full disk or a
 * file-size limit leaves the old content in place: at every instant the
 * name holds either the complete old or the complete new file.  Every
 * write and the close are checked; the mode is set on the open temporary
 * file, so it never lands on a file that a link names.  The renames are
 * atomic against a crash of the process; SyncWrittenFiles makes them
 * durable against a power cut once a task is done, with one fsync per file
 * and per directory instead of one per write.
 *
 * A file is read only when it is a regular file: it is opened without
 * blocking and looked at before anything is read, so a pipe without a
 * writer or a device that never ends cannot stall the reader.
 */
#include <ncbi.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "internal.h"

namespace {

/* Absolute paths of the files renamed into place since the last sync, and
 * of their directories, each once. */
std::vector<std::string> files, directories;

/* Owns a descriptor: closed on every way out unless released. */
struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            close(fd);
    }
};

std::string directoryOf(const std::string &path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool writeAll(int fd, const char *data, size_t length)
{
    while (length > 0) {
        ssize_t n = write(fd, data, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

void remember(std::vector<std::string> &list, const std::string &path)
{
    std::string full = absolutePath(path);
    for (const std::string &known : list)
        if (known == full)
            return;
    list.push_back(full);
}

/* A file or directory removed since it was written has nothing left to
 * make durable. */
bool syncPath(const std::string &path, int flags)
{
    Descriptor d;
    d.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
    return d.fd >= 0 ? fsync(d.fd) == 0 : errno == ENOENT;
}

} // namespace

std::string absolutePath(const std::string &path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char dir[4096];
    if (getcwd(dir, sizeof dir) == NULL)
        return path;
    return std::string(dir) + "/" + (path.compare(0, 2, "./") == 0 ? path.substr(2) : path);
}

extern "C" FILE *OpenRegularFile(const char *path)
{
    if (path == NULL)
        return NULL;
    Descriptor d;
    d.fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (d.fd < 0 || fstat(d.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return NULL;
    int flags = fcntl(d.fd, F_GETFL);
    if (flags < 0 || fcntl(d.fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return NULL;
    FILE *f = fdopen(d.fd, "r");
    if (f != NULL)
        d.fd = -1;
    return f;
}

namespace {

/* The new file beside path, written whole with its mode and closed: its
 * temporary name, or "" after the alert. */
std::string writeBeside(const char *path, const char *data, size_t length, int mode, const char *openAlert)
{
    if (openAlert == NULL)
        openAlert = "Cannot open file '%s'";
    std::string target(path != NULL ? path : "");
    size_t slash = target.rfind('/');
    std::string base = target.substr(slash == std::string::npos ? 0 : slash + 1);
    std::string dir = directoryOf(target);
    struct stat old;
    bool exists = !target.empty() && lstat(path, &old) == 0;
    if (base.empty() || (data == NULL && length > 0) || (exists && S_ISDIR(old.st_mode))) {
        Nlm_Message(ALERT_OK, openAlert, target.c_str());
        return std::string();
    }

    std::string temporary = (dir == "/" ? "" : dir) + "/." + base + ".XXXXXX";
    Descriptor d;
    d.fd = mkostemp(&temporary[0], O_CLOEXEC);
    if (d.fd < 0) {
        Nlm_Message(ALERT_OK, openAlert, path);
        return std::string();
    }
    /* the owner of a file that is replaced stays its owner where we may
     * give it (as root); elsewhere the new file is ours */
    if (exists && S_ISREG(old.st_mode) && (old.st_uid != geteuid() || old.st_gid != getegid()))
        (void)!fchown(d.fd, old.st_uid, old.st_gid);
    bool ok = writeAll(d.fd, data, length) && fchmod(d.fd, static_cast<mode_t>(mode) & 07777) == 0;
    int fd = d.fd;
    d.fd = -1;
    if (close(fd) != 0 || !ok) {
        unlink(temporary.c_str());
        Nlm_Message(ALERT_OK, "Cannot write file '%s'", path);
        return std::string();
    }
    return temporary;
}

} // namespace

bool readRegularFile(const std::string &path, std::string *text)
{
    FILE *f = OpenRegularFile(path.c_str());
    text->clear();
    char buf[8192];
    for (size_t n; f != NULL && (n = fread(buf, 1, sizeof buf, f)) > 0;)
        text->append(buf, n);
    bool read = f != NULL && !ferror(f);
    if (f != NULL)
        fclose(f);
    if (!read)
        text->clear();
    return read;
}

extern "C" char *ReadRegularFile(const char *path, size_t *length)
{
    std::string text;
    char *block = path != NULL && readRegularFile(path, &text)
                      ? static_cast<char *>(Nlm_MemGet(text.size() + 1, MGET_CLEAR | MGET_ERRPOST)) : NULL;
    if (block != NULL)
        memcpy(block, text.data(), text.size());
    if (length != NULL)
        *length = block != NULL ? text.size() : 0;
    return block;
}

extern "C" char *WriteFileBeside(const char *path, const char *data, size_t length, int mode, const char *openAlert)
{
    std::string temporary = writeBeside(path, data, length, mode, openAlert);
    return temporary.empty() ? NULL : Nlm_StringSave(temporary.c_str());
}

extern "C" unsigned char RenameWrittenFile(const char *from, const char *to)
{
    if (rename(from, to) != 0) {
        Nlm_Message(ALERT_OK, "Cannot write file '%s'", to);
        return FALSE;
    }
    remember(files, to);
    remember(directories, directoryOf(to));
    return TRUE;
}

extern "C" unsigned char WriteFileSafely(const char *path, const char *data, size_t length, int mode,
                                         const char *openAlert)
{
    std::string temporary = writeBeside(path, data, length, mode, openAlert);
    if (temporary.empty())
        return FALSE;
    if (!RenameWrittenFile(temporary.c_str(), path)) {
        unlink(temporary.c_str());
        return FALSE;
    }
    return TRUE;
}

extern "C" unsigned char SyncWrittenFiles(void)
{
    std::vector<std::string> pendingFiles, pendingDirectories;
    pendingFiles.swap(files);
    pendingDirectories.swap(directories);
    for (const std::string &path : pendingFiles) {
        if (!syncPath(path, 0)) {
            Nlm_Message(ALERT_OK, "Cannot write file '%s'", path.c_str());
            return FALSE;
        }
    }
    for (const std::string &path : pendingDirectories) {
        if (!syncPath(path, O_DIRECTORY)) {
            Nlm_Message(ALERT_OK, "Cannot write file '%s'", path.c_str());
            return FALSE;
        }
    }
    return TRUE;
}
