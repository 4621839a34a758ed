/* LD_PRELOAD library for the fault-injection test: counts the operations
 * that make a file's content or name in the directory VART_FAULT_DIR (a
 * write to or the close of a regular file open for writing there, a rename
 * to a name there; relative names are taken to lie there) and makes the VART_FAULT_AT-th one fail as on a full disk, or,
 * with VART_FAULT_MODE=exit, ends the process right there as a kill would.
 * At a normal exit it writes the number of operations seen to the file
 * VART_FAULT_COUNT.  Programs the process starts do not inherit it. */
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
static int exitAtFault;
static char countFile[4096], dir[4096];

__attribute__((constructor)) static void start(void)
{
    const char *at = getenv("VART_FAULT_AT"), *mode = getenv("VART_FAULT_MODE"), *count = getenv("VART_FAULT_COUNT");
    const char *where = getenv("VART_FAULT_DIR");
    target = at != NULL ? atol(at) : -1;
    exitAtFault = mode != NULL && strcmp(mode, "exit") == 0;
    if (count != NULL)
        snprintf(countFile, sizeof countFile, "%s", count);
    snprintf(dir, sizeof dir, "%s/", where != NULL ? where : "/");
    unsetenv("LD_PRELOAD");
}

__attribute__((destructor)) static void report(void)
{
    FILE *f = countFile[0] != '\0' ? fopen(countFile, "w") : NULL;
    if (f != NULL) {
        fprintf(f, "%ld\n", seen);
        fclose(f);
    }
}

static int inside(const char *path)
{
    return path[0] != '/' || strncmp(path, dir, strlen(dir)) == 0;
}

/* a regular file in the directory, open for writing */
static int regular(int fd)
{
    struct stat st;
    char link[64], path[4096];
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, path, sizeof path - 1);
    path[n > 0 ? n : 0] = '\0';
    return n > 0 && inside(path);
}

/* 1 when this operation is to fail */
static int fault(void)
{
    if (++seen != target)
        return 0;
    if (exitAtFault)
        _exit(99);
    return 1;
}

ssize_t write(int fd, const void *data, size_t n)
{
    static ssize_t (*real)(int, const void *, size_t);
    if (real == NULL)
        real = (ssize_t(*)(int, const void *, size_t))dlsym(RTLD_NEXT, "write");
    if (regular(fd) && fault()) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, data, n);
}

int close(int fd)
{
    static int (*real)(int);
    if (real == NULL)
        real = (int (*)(int))dlsym(RTLD_NEXT, "close");
    if (regular(fd) && fault()) {
        real(fd);
        errno = EIO;
        return -1;
    }
    return real(fd);
}

int rename(const char *from, const char *to)
{
    static int (*real)(const char *, const char *);
    if (real == NULL)
        real = (int (*)(const char *, const char *))dlsym(RTLD_NEXT, "rename");
    if (inside(to) && fault()) {
        errno = ENOSPC;
        return -1;
    }
    return real(from, to);
}
