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
