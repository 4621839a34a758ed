/* LD_PRELOAD library of the fault-injection test: counts the operations
 * that make a file's content or name in the directory VART_FAULT_DIR (a
 * write to or the close of a regular file open for writing there, a rename
 * to a name there; relative names lie there) and fails the VART_FAULT_AT-th
 * as on a full disk or, with VART_FAULT_MODE=exit, ends the process there
 * as a kill would.  A normal exit writes the count to VART_FAULT_COUNT.
 * Programs the process starts do not inherit it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static long target = -1, seen;
static char dir[4096] = "/", *countFile;

__attribute__((constructor)) static void start(void)
{
    target = getenv("VART_FAULT_AT") ? atol(getenv("VART_FAULT_AT")) : -1;
    countFile = getenv("VART_FAULT_COUNT");
    snprintf(dir, sizeof dir, "%s/", getenv("VART_FAULT_DIR") ? getenv("VART_FAULT_DIR") : "");
    unsetenv("LD_PRELOAD");
}

__attribute__((destructor)) static void report(void)
{
    FILE *f = countFile ? fopen(countFile, "w") : NULL;
    if (f)
        fprintf(f, "%ld\n", seen), fclose(f);
}

static int inside(const char *path) { return path[0] != '/' || strncmp(path, dir, strlen(dir)) == 0; }

static int ours(int fd)
{
    struct stat st;
    char link[64], path[4096];
    int flags = fcntl(fd, F_GETFL);
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, path, sizeof path - 1);
    path[n > 0 ? n : 0] = '\0';
    return flags >= 0 && (flags & O_ACCMODE) != O_RDONLY && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && n > 0 &&
           inside(path);
}

/* 1 when this operation is to fail */
static int fault(void)
{
    if (++seen != target)
        return 0;
    if (getenv("VART_FAULT_MODE") && strcmp(getenv("VART_FAULT_MODE"), "exit") == 0)
        _exit(99);
    return 1;
}

/* the next definition of name, the real one */
static void *real(const char *name) { return dlsym(RTLD_NEXT, name); }

ssize_t write(int fd, const void *data, size_t n)
{
    ssize_t (*next)(int, const void *, size_t) = real("write");
    return ours(fd) && fault() ? (errno = ENOSPC, -1) : next(fd, data, n);
}

int close(int fd)
{
    int (*next)(int) = real("close");
    return ours(fd) && fault() ? (next(fd), errno = EIO, -1) : next(fd);
}

int rename(const char *from, const char *to)
{
    int (*next)(const char *, const char *) = real("rename");
    return inside(to) && fault() ? (errno = ENOSPC, -1) : next(from, to);
}
