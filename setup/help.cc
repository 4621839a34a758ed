/*
 * The field help: every Help menu item opens a small untitled window that
 * shows a fixed text about its field group, one prompt per line.
 *
 * A help window is not modal and lives until the user closes it through
 * the window manager; each request opens one more window.  msgPrevWin
 * holds the window that was current at the latest request, and closing any
 * help window selects it again, but only while it still exists: the help
 * windows made here are recorded until they are closed, so a recorded
 * window that was itself a closed help window (or any handle that is
 * neither the setup window nor an open help window) is never selected;
 * the setup window is selected in its place.  The toolkit itself makes
 * every new window current and, when the current window is removed, falls
 * back on its desktop window, so msgPrevWin may be either.
 *
 * Help windows are removed only by msgCloseProc.  Everything runs on the
 * one GUI thread.
 */
#include "setup.h"

#include <string.h>

#include <algorithm>
#include <vector>

/* ---- Help texts: lines joined by single line feeds, no final line feed */

static const char helpDirectory[] =
    "Vartena directory input field specifies the directory that contains\n"
    "all Vartena executable and auxiliary files.\n"
    "\n"
    "For Full installation Vartena sets it to the current directory by default.\n"
    "\n"
    "For User installation you have to type in the full path to Vartena directory.";

static const char helpC[] =
    "The C compiler Include input field specifies compiler's options\n"
    "for directories that contain include files.\n"
    "If the field is blank, only standard (default) and the current\n"
    "directories will be searched.\n"
    "\n"
    "The C compiler Libraries input field specifies compiler's options\n"
    "used to access run-time libraries.\n"
    "\n"
    "Specifing the options you should follow notation for your host\n"
    "operating system and compiler.\n"
    "\n"
    "The options are put into the script/batch file named CompRhs.\n"
    "Vartena runs the file to compile specification of your dynamical\n"
    "systems.\n"
    "\n"
    "Usually you don't need to change these fields.";

const char helpPrinter[] =
    "The Printer command input field specifies the command\n"
    "used by Vartena to print hardcopy files.\n"
    "The printer should be capable of printing PostScript files.\n"
    "\n"
    "If there is no printer available, set this field to blank.";

const char helpPreviewer[] =
    "The Postscript previewer input field specifies the command\n"
    "used by Vartena to visualize hardcopy files.\n"
    "\n"
    "If there is no previewer, set this field to blank.";

const char helpDifferentiator[] =
    "The External differentiator input field specifies commands\n"
    "used by Vartena when it tries to build derivatives\n"
    "of 4th and 5th orders using 'symbolical differentiation' method.\n"
    "\n"
    "Currently Vartena can use the Maple system.\n"
    "\n"
    "Note for unix systems: you can instruct Vartena to run Maple\n"
    "on any particular machine:\n"
    "   rsh <hostname> maple -q <%s ...\n"
    "Don't forget to add the name of your machine to the .rhosts file.\n"
    "\n"
    "If the Maple system is not available, set this field to blank.\n"
    "In such a case only derivatives of orders 1, 2, and 3 may be\n"
    "computed 'symbolically'.";

static const char helpShell[] =
    "The Shell Style switch and the Shell path input field specify the shell\n"
    "that Vartena will use to run the CompRhs script. The script is used to\n"
    "compile specification of dynamical systems.\n"
    "\n"
    "Vartena gets the default settings from the value of the SHELL environment\n"
    "variable. Shell styles are read from the shells.vtn file.";

static const char helpCpp[] =
    "The C++ compiler Name input field specifies the name of C++ compiler.\n"
    "\n"
    "The C++ compiler Options input field specifies options for\n"
    "the C++ compiler.\n"
    "\n"
    "The name and the options are put into the script/batch file\n"
    "named CompRhs. The compiler is called only when you request the\n"
    "'symbolical' method of calculation of derivatives. You choose the\n"
    "method when you specify your dynamical system.\n"
    "\n"
    "If there is no C++ compiler available, leave these fields unchanged.\n"
    "In such a case Vartna disables the 'symbolical differentiation' feature.";

static const char helpInst[] =
    "The Installation switch lets you choose between Full and User installations.\n"
    "\n"
    "The Full installation must be made prior any User installation and\n"
    "running Vartena. During Full Installation setup creates some files\n"
    "used by Vartena. For the Full Installation you should run the setup program\n"
    "from the directory that contains Vartena executable files.\n"
    "\n"
    "The User Installation should be done if you (or other user) want\n"
    "to be able to run Vartena from other directory. In such a case\n"
    "run setup from the directory and choose the User Installation.\n"
    "Running Vartena from different directory allows you to keep files\n"
    "created by Vartena for your dynamical systems separate from Vartena\n"
    "files and from files created for other users.";

/* ---- State */

Nlm_WindoW msgPrevWin;

/* The help windows made by helpMessage and not yet closed. */
static std::vector<Nlm_WindoW> openHelpWindows;

static bool isOpenHelpWindow(Nlm_WindoW w)
{
    return std::find(openHelpWindows.begin(), openHelpWindows.end(), w) != openHelpWindows.end();
}

/* ---- Procedures */

/* The text of a Help item, NULL for an item that is none of them.  A
 * tuning entry without a row has no item and is passed over. */
static const char *helpText(Nlm_IteM item)
{
    if (item == NULL)
        return NULL;
    if (item == iKernel)
        return helpDirectory;
    if (item == iC)
        return helpC;
    for (int i = 0; i < TUNING_ENTRIES; i++)
        if (Adjust[i].item != NULL && item == Adjust[i].item)
            return Adjust[i].help;
    if (item == iShell)
        return helpShell;
    if (item == iCpp)
        return helpCpp;
    if (item == iInst)
        return helpInst;
    return NULL;
}

void HelpProc(Nlm_IteM item)
{
    const char *text = helpText(item);
    if (text != NULL)
        helpMessage(text);
}

/* The text is copied into a block of its length plus one and cut there at
 * each line feed.  When the block cannot be had (the toolkit reports it),
 * no window is made and msgPrevWin keeps its window. */
void helpMessage(const char *text)
{
    if (text == NULL)
        return;
    size_t length = strlen(text);
    char *copy = (char *)Nlm_MemGet(length + 1, MGET_CLEAR | MGET_ERRPOST);
    if (copy == NULL)
        return;
    memcpy(copy, text, length);

    msgPrevWin = Nlm_CurrentWindow();
    Nlm_WindoW w = Nlm_FixedWindow(-50, -50, (Nlm_Int2)-Nlm_stdCharWidth, (Nlm_Int2)-Nlm_stdLineHeight,
                                   NULL, msgCloseProc);
    Nlm_GrouP lines = Nlm_HiddenGroup((Nlm_GrouP)w, 0, 100, NULL);
    char *line = copy;
    for (;;) {
        char *end = strchr(line, '\n');
        if (end != NULL)
            *end = '\0';
        Nlm_StaticPrompt(lines, line, 0, 0, Nlm_systemFont, 'l');
        if (end == NULL)
            break;
        line = end + 1;
    }
    Nlm_MemFree(copy);
    openHelpWindows.push_back(w);
    Nlm_Show(w);
}

void msgCloseProc(Nlm_WindoW window)
{
    openHelpWindows.erase(std::remove(openHelpWindows.begin(), openHelpWindows.end(), window),
                          openHelpWindows.end());
    if (msgPrevWin == window)
        msgPrevWin = NULL;
    Nlm_Remove(window);
    Nlm_WindoW next = msgPrevWin;
    if (next == NULL || (next != wSetup && !isOpenHelpWindow(next)))
        next = wSetup;
    if (next != NULL)
        Nlm_Select(next);
}
