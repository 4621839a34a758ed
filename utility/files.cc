/*
 * Files, directories, dialogs and commands: the small services that stand
 * between the package's programs and the system or the GUI library.
 *
 * The X Toolkit header comes before the toolkit's own: its Boolean typedef
 * must be seen before the toolkit's macro of that name.  Vibrant is taken
 * in through vibtypes.h and vibprocs.h, not vibrant.h, because vibrant.h's
 * short names (VoidProc) clash with the Motif headers that vibincld.h,
 * the declaration of Nlm_appContext, pulls in.
 */
#include <X11/Intrinsic.h>

#include <ncbi.h>
#include <vibtypes.h>
#include <vibprocs.h>
#include <vibincld.h>

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "utility.h"

/* Size of a CurrentDirectory block: the longest path it records has
 * one character less. */
static const size_t DirBlockSize = 4095;

void ChangeDirectory(const char *path)
{
    if (path == NULL)
        return;
    /* A directory that cannot be entered leaves the working directory as
     * it was; nothing is reported. */
    if (chdir(path) != 0)
        return;
}

char *CurrentDirectory(void)
{
    char *dir = static_cast<char *>(Nlm_MemGet(DirBlockSize, MGET_CLEAR | MGET_ERRPOST));
    if (dir == NULL)
        return NULL;
    /* Too long a path or a removed directory: the block holds "". */
    if (getcwd(dir, DirBlockSize) == NULL)
        dir[0] = '\0';
    return dir;
}

unsigned char TruncateFile(FILE *stream, int length)
{
    if (stream == NULL)
        return FALSE;
    return ftruncate(fileno(stream), static_cast<off_t>(length)) == 0 ? TRUE : FALSE;
}

/* Puts the working directory recorded before a dialog back in place and
 * frees the record; with no record (no memory) the directory stays where
 * the dialog left it. */
static void restoreDirectory(char *dir)
{
    if (dir == NULL)
        return;
    if (dir[0] != '\0')
        ChangeDirectory(dir);
    Nlm_MemFree(dir);
}

/* The dialogs write the chosen path into buf, cut to size bytes; with no
 * buffer to receive it no dialog is shown. */
unsigned char myGetInputFileName(char *buf, size_t size, const char *ext)
{
    if (buf == NULL || size == 0)
        return FALSE;
    char *dir = CurrentDirectory();
    Nlm_Boolean chosen = Nlm_GetInputFileName(buf, size, const_cast<char *>(ext), NULL);
    restoreDirectory(dir);
    return chosen ? TRUE : FALSE;
}

unsigned char myGetOutputFileName(char *buf, size_t size, const char *dflt)
{
    if (buf == NULL || size == 0)
        return FALSE;
    char *dir = CurrentDirectory();
    Nlm_Boolean chosen = Nlm_GetOutputFileName(buf, size, const_cast<char *>(dflt));
    restoreDirectory(dir);
    return chosen ? TRUE : FALSE;
}

/* The command's exit status is not looked at: a command that fails or
 * cannot be started still leads to the callback. */
short ExecuteCommand(const char *command, void *unused, short (*callback)(void))
{
    (void)unused;
    if (command != NULL) {
        int status = system(command);
        (void)status;
    }
    return callback != NULL ? callback() : 0;
}

/* Dispatches at most one pending X event, or runs the timers that are due
 * when no X event is pending, and never waits.  XtAppNextEvent itself runs
 * the timers that are due before it returns an event, so a call with both
 * pending runs those timers and one event.  A timer alone goes through
 * XtAppProcessEvent restricted to timers: XtAppNextEvent would run it and
 * then wait for an X event that may never come. */
void myProcessAnyEvent(void)
{
    XtInputMask pending = XtAppPending(Nlm_appContext);
    if (pending & XtIMXEvent) {
        XEvent event;
        XtAppNextEvent(Nlm_appContext, &event);
        XtDispatchEvent(&event);
    } else if (pending & XtIMTimer) {
        XtAppProcessEvent(Nlm_appContext, XtIMTimer);
    }
}

/* A key, a button or a move of the pointer: what makes a control act. */
static bool isInput(int type)
{
    return type == KeyPress || type == KeyRelease || type == ButtonPress || type == ButtonRelease ||
           type == MotionNotify;
}

/* The child's exit is seen through a pidfd, so the wait ends the moment
 * the child does; where the system has none, the wait looks at the child
 * every 5 ms.  Timers are looked at every 20 ms at least. */
int RunCommandWithEvents(const char *command)
{
    if (command == NULL)
        return -1;
    pid_t parent = getpid();
    /* the child only makes system calls before it execs, so it may share
     * the parent's memory instead of copying it */
    pid_t pid = vfork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        execl("/bin/sh", "sh", "-c", command, static_cast<char *>(NULL));
        _exit(127);
    }
    setpgid(pid, pid);
    int exited = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    struct pollfd fds[2] = {{ConnectionNumber(Nlm_currentXDisplay), POLLIN, 0}, {exited, POLLIN, 0}};
    int status = -1;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR) {
            status = -1;
            break;
        }
        for (int n = 0; n < 1000 && (XtAppPending(Nlm_appContext) & (XtIMXEvent | XtIMTimer)); n++) {
            XEvent next;
            if ((XtAppPending(Nlm_appContext) & XtIMXEvent) && XtAppPeekEvent(Nlm_appContext, &next) &&
                isInput(next.type))
                XtAppNextEvent(Nlm_appContext, &next);
            else
                myProcessAnyEvent();
        }
        XFlush(Nlm_currentXDisplay);
        poll(fds, exited >= 0 ? 2 : 1, exited >= 0 ? 20 : 5);
    }
    if (exited >= 0)
        close(exited);
    return status;
}
