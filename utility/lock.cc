/*
 * Locks between the package's programs, as git's lock files: an exclusive
 * lock is a file made with O_EXCL under the lock's name, so that one
 * process at a time has it, and removed when the lock is released.
 *
 * Its holder keeps an flock on it, which ends with the process: a lock
 * file whose flock can be had was left by a process that died, and is
 * taken over at once.  (Its maker may be between the creation and its
 * flock: after the flock it checks that the name is still its file, and
 * makes it again when it is not.)  Where the file system refuses flock
 * (ENOLCK: NFS without a lock manager; EOPNOTSUPP, EINVAL, ENOSYS: some
 * FUSE file systems) the file holds "pid host" instead: a lock of this
 * host whose process is gone is stale, so is one still empty after
 * kEmptyAge, and one of another host after kForeignAge, whose process no
 * one here can ask after.
 *
 * Locks are per process and counted: a process that holds a lock takes it
 * again at once (Setup's run holds the settings file's lock, and the
 * settings store takes it for each change within the run).
 */
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "internal.h"

namespace {

const double kEmptyAge = 10;    /* seconds a maker may take to write its pid */
const double kForeignAge = 600; /* seconds a lock of another host counts as live */
const int kPollMaxMs = 20;

struct Held {
    std::string path; /* absolute */
    int fd;
    int depth;
};
std::vector<Held> held;

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void pause(int attempt)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(attempt < 5 ? 1 << attempt : kPollMaxMs));
}

bool noFlock(int error)
{
    return error == ENOLCK || error == EOPNOTSUPP || error == ENOTSUP || error == EINVAL || error == ENOSYS;
}

/* TRUE when path still names the file open as fd. */
bool sameFile(int fd, const char *path)
{
    struct stat a, b;
    return fstat(fd, &a) == 0 && lstat(path, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string hostName()
{
    char host[256] = "";
    gethostname(host, sizeof host - 1);
    return host;
}

/* Whether the holder named in a lock file without flock still lives. */
bool holderLives(int fd)
{
    char text[300] = "", host[256] = "";
    ssize_t n = pread(fd, text, sizeof text - 1, 0);
    text[n > 0 ? n : 0] = '\0';
    struct stat st;
    double age = fstat(fd, &st) == 0 ? difftime(time(NULL), st.st_mtime) : 0;
    long pid = 0;
    if (sscanf(text, "%ld %255s", &pid, host) != 2 || pid <= 0)
        return age < kEmptyAge;
    if (hostName() != host)
        return age < kForeignAge;
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

/* Looks at the lock file that stands under path and removes it when its
 * holder is gone: 1 when the name is free now, 0 when the lock lives, -1
 * (errno set) when what stands there is no lock file (a link, a directory)
 * and cannot be removed. */
int look(const char *path)
{
    int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ELOOP)
        return unlink(path) == 0 ? 1 : -1;
    if (fd < 0)
        return errno == ENOENT ? 1 : 0;
    struct stat st;
    bool lockFile = fstat(fd, &st) == 0 && S_ISREG(st.st_mode), stale = !lockFile;
    if (lockFile && flock(fd, LOCK_EX | LOCK_NB) == 0)
        stale = true;
    else if (lockFile)
        stale = noFlock(errno) && !holderLives(fd);
    /* the flock taken keeps other lookers off until the removal is done */
    int result = !stale ? 0 : !sameFile(fd, path) || unlink(path) == 0 ? 1 : lockFile ? 0 : -1;
    int error = errno;
    close(fd);
    errno = error;
    return result;
}

/* Makes the new lock file fd at path the caller's: its flock, else the
 * holder's pid and host written into it.  1 when the lock is ours, 0 when
 * a looker removed the file meanwhile, -1 when the file cannot be written. */
int own(int fd, const char *path)
{
    for (int attempt = 0; attempt < 1000; attempt++) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            return sameFile(fd, path) ? 1 : 0;
        if (noFlock(errno))
            break;
        if (errno != EWOULDBLOCK)
            return -1;
        pause(0); /* a looker holds it for a moment */
    }
    std::string holder = std::to_string(getpid()) + " " + hostName() + "\n";
    int out = open(path, O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (out < 0 || !sameFile(out, path) || !sameFile(fd, path))
        return out >= 0 && close(out) != 0 ? -1 : 0;
    bool written = write(out, holder.data(), holder.size()) == static_cast<ssize_t>(holder.size());
    if (close(out) != 0 || !written)
        return -1;
    return sameFile(fd, path) ? 1 : 0;
}

} // namespace

extern "C" int TakeLock(const char *path, double seconds)
{
    std::string name = absolutePath(path);
    for (Held &h : held)
        if (h.path == name)
            return h.depth++, 1;
    double deadline = now() + seconds;
    for (int attempt = 0;; attempt++) {
        if (attempt > 0 && now() > deadline)
            return 0;
        int fd = open(path, O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            fchmod(fd, 0644); /* whatever the umask: every account may look at it */
            int owned = own(fd, path);
            if (owned == 1) {
                held.push_back({name, fd, 1});
                return 1;
            }
            int error = errno;
            if (sameFile(fd, path))
                unlink(path);
            close(fd);
            if (owned < 0)
                return errno = error, -1;
            continue;
        }
        if (errno != EEXIST)
            return -1;
        int free = look(path);
        if (free < 0)
            return -1;
        if (free == 0)
            pause(attempt);
    }
}

extern "C" void ReleaseLock(const char *path)
{
    std::string name = absolutePath(path);
    for (size_t i = 0; i < held.size(); i++) {
        if (held[i].path != name || --held[i].depth > 0)
            continue;
        if (sameFile(held[i].fd, path))
            unlink(path);
        close(held[i].fd);
        held.erase(held.begin() + static_cast<long>(i));
        return;
    }
}
