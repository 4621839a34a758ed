/* LD_PRELOAD library of the fault-injection test: counts the operations that
 * make a file in VART_FAULT_DIR (a write to or close of a regular file there
 * open for writing, a rename to a name there or a relative one) and fails the
 * VART_FAULT_AT-th as on a full disk or (VART_FAULT_MODE=exit) ends the process
 * there as a kill would.  Exit writes the count to VART_FAULT_COUNT.  With
 * VART_FAULT_FLOCK, flock fails as on NFS without a lock manager. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static long seen;
static char dir[4096];

__attribute__((constructor)) static void start(void)
{
    snprintf(dir, sizeof dir, "%s/", getenv("VART_FAULT_DIR") ? getenv("VART_FAULT_DIR") : "");
    unsetenv("LD_PRELOAD");
}
__attribute__((destructor)) static void report(void)
{
    FILE *f = getenv("VART_FAULT_COUNT") ? fopen(getenv("VART_FAULT_COUNT"), "w") : NULL;
    if (f)
        fprintf(f, "%ld\n", seen), fclose(f);
}

static int inside(const char *path) { return path[0] != '/' || strncmp(path, dir, strlen(dir)) == 0; }
static int ours(int fd)
{
    struct stat st;
    char link[64], path[4096] = "";
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    return (fcntl(fd, F_GETFL) & O_ACCMODE) != O_RDONLY && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
           readlink(link, path, sizeof path - 1) > 0 && inside(path);
}
static int fault(void) /* 1 when this operation is to fail */
{
    if (++seen != (getenv("VART_FAULT_AT") ? atol(getenv("VART_FAULT_AT")) : -1))
        return 0;
    if (getenv("VART_FAULT_MODE") && strcmp(getenv("VART_FAULT_MODE"), "exit") == 0)
        _exit(99);
    return 1;
}

ssize_t write(int fd, const void *data, size_t n)
{
    ssize_t (*next)(int, const void *, size_t) = dlsym(RTLD_NEXT, "write");
    return ours(fd) && fault() ? (errno = ENOSPC, -1) : next(fd, data, n);
}
int close(int fd)
{
    int (*next)(int) = dlsym(RTLD_NEXT, "close");
    return ours(fd) && fault() ? (next(fd), errno = EIO, -1) : next(fd);
}
int rename(const char *from, const char *to)
{
    int (*next)(const char *, const char *) = dlsym(RTLD_NEXT, "rename");
    return inside(to) && fault() ? (errno = ENOSPC, -1) : next(from, to);
}
int flock(int fd, int operation)
{
    int (*next)(int, int) = dlsym(RTLD_NEXT, "flock");
    return getenv("VART_FAULT_FLOCK") ? (errno = ENOLCK, -1) : next(fd, operation);
}
