/* The file dialogs, answered from outside with xdotool, and the one-event
 * step, in a live toolkit.  Xt's header first, Vibrant through vibtypes.h and
 * vibprocs.h, so that vibincld.h (Nlm_appContext) can follow. */
#include <gtest/gtest.h>

#include <X11/Intrinsic.h>

#include <ncbi.h>
#include <vibtypes.h>
#include <vibprocs.h>
#include <vibincld.h>

#undef Message
#undef GetString

#include <chrono>
#include <climits>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "support.h"
#include "utility.h"

namespace {

/* A dialog nobody answers would wait for ever: the alarm ends the suite. */
struct HangGuard {
    explicit HangGuard(unsigned seconds) { alarm(seconds); }
    ~HangGuard() { alarm(0); }
};

/* How the background script answers the dialog. */
enum Answer { Confirm, TypeAndConfirm, Cancel };

/* Starts a script that waits for the dialog, answers it and touches done.
 * The dialog shows the directory it last showed and takes only its files, so
 * a.txt's directory goes first into the Filter field (43 pixels below the
 * top), then its path into the Selection field (90 above the bottom).  The
 * windowless buttons spread over the bottom row: OK's centre 45 pixels from
 * the left, Filter, Cancel and Help (width - 92) / 3 apart. */
void answerDialog(const vt::ScratchDir &dir, Answer answer)
{
    std::string script =
        "W=$(timeout 20 xdotool search --sync --onlyvisible --name '^file_selection_popup$' | head -n1)\n"
        "[ -n \"$W\" ] || exit 1\n"
        "eval \"$(xdotool getwindowgeometry --shell \"$W\")\"\n"
        "sleep 0.3\n";
    if (answer == TypeAndConfirm)
        script += "xdotool mousemove $((X + WIDTH / 2)) $((Y + 43)) click --repeat 3 --delay 80 1; sleep 0.2\n"
                  "xdotool type --delay 20 '" + dir.path() + "/*'; xdotool key Return; sleep 0.5\n"
                  "xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 90)) click --repeat 3 --delay 80 1; sleep 0.2\n"
                  "xdotool type --delay 20 '" + (dir / "a.txt") + "'; sleep 0.2\n";
    const char *button = answer == Cancel ? "$((X + 45 + 2 * (WIDTH - 92) / 3))" : "$((X + 45))";
    script += std::string("xdotool mousemove ") + button + " $((Y + HEIGHT - 32)) click 1\n"
              "touch '" + (dir / "done") + "'\n";
    vt::WriteFile(dir / "answer.sh", script, 0755);
    ASSERT_EQ(0, vt::Shell("bash '" + (dir / "answer.sh") + "' >/dev/null 2>&1 &"));
}

/* Moves the working directory into sub while a dialog is open, as a
 * dialog may do itself. */
bool movedDuringDialog;

void moveAway(XtPointer, XtIntervalId *)
{
    movedDuringDialog = chdir("sub") == 0;
}

/* Under AddressSanitizer the dialog's file search fails (empty lists, a typed
 * path refused, "*.txtnew.txt" offered): the chosen paths go unchecked there. */
#ifdef __SANITIZE_ADDRESS__
const bool DialogSearchWorks = false;
#else
const bool DialogSearchWorks = true;
#endif

class FileDialog : public ::testing::Test {
protected:
    FileDialog() : guard_(60)
    {
        vt::WriteFile(dir_ / "a.txt", "a\n");
        mkdir((dir_ / "sub").c_str(), 0755);
    }

    /* Shows the dialog, answered from outside, with the working directory
     * moved while it is open; expects the directory back where it was. */
    unsigned char run(bool input, Answer how, char *buf, size_t size)
    {
        unlink((dir_ / "done").c_str());
        movedDuringDialog = false;
        XtAppAddTimeOut(Nlm_appContext, 0, moveAway, NULL);
        answerDialog(dir_, how);
        if (HasFatalFailure())
            return FALSE;
        unsigned char chosen = input ? myGetInputFileName(buf, size, "txt") : myGetOutputFileName(buf, size, "new.txt");
        Nlm_Update();
        for (int i = 0; i < 100 && !vt::Exists(dir_ / "done"); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_TRUE(vt::Exists(dir_ / "done")) << "the answering script did not finish";
        EXPECT_TRUE(movedDuringDialog);
        char here[PATH_MAX];
        EXPECT_STREQ(dir_.path().c_str(), getcwd(here, sizeof here));
        return chosen;
    }

    vt::ScratchDir dir_;
    HangGuard guard_;
};

TEST_F(FileDialog, EachDialogConfirmedOrCancelledKeepsTheWorkingDirectory)
{
    EXPECT_EQ(FALSE, myGetInputFileName(NULL, 100, "txt")) << "no buffer, no dialog";
    EXPECT_EQ(FALSE, myGetOutputFileName(ParBuf, 0, "new.txt"));
    char buf[512];
    for (bool input : {true, false}) {
        strcpy(buf, "untouched");
        EXPECT_EQ(FALSE, run(input, Cancel, buf, sizeof buf)) << input;
        EXPECT_STREQ("untouched", buf) << "a cancelled dialog leaves the buffer";
    }
    memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(TRUE, run(false, Confirm, buf, 8));
    EXPECT_EQ(7u, strnlen(buf, 8)) << "the path is cut to the buffer";
    EXPECT_EQ(std::string(24, 'Z'), std::string(buf + 8, 24));
    const std::string cut = buf;
    if (!DialogSearchWorks)
        GTEST_SKIP() << "the file dialog's search fails under AddressSanitizer";

    EXPECT_EQ(TRUE, run(true, TypeAndConfirm, buf, sizeof buf));
    EXPECT_EQ(dir_ / "a.txt", buf);
    EXPECT_EQ(TRUE, run(false, Confirm, buf, sizeof buf));
    const std::string chosen = buf;
    EXPECT_TRUE(chosen[0] == '/' && chosen.size() > 8 && chosen.substr(chosen.size() - 8) == "/new.txt")
        << chosen << ": the default name in the dialog's directory";
    EXPECT_EQ('/', cut[0]) << cut << ": the head of the path";
}

const XtInputMask EventOrTimer = XtIMXEvent | XtIMTimer;

/* Handles what is pending (at most 10,000 inputs); true when nothing is left. */
bool drain()
{
    for (int i = 0; i < 10000 && (XtAppPending(Nlm_appContext) & EventOrTimer) != 0; i++)
        myProcessAnyEvent();
    return (XtAppPending(Nlm_appContext) & EventOrTimer) == 0;
}

int timerRuns, clientMessages;

void countTimer(XtPointer, XtIntervalId *)
{
    timerRuns++;
}

void countClientMessage(Widget, XtPointer, XEvent *event, Boolean *)
{
    clientMessages += event->type == ClientMessage;
}

/* An expired timer is run without waiting for an X event, and with nothing
 * pending the step returns at once. */
TEST(ProcessAnyEvent, HandlesOneExpiredTimerOrXEventPerCallAndNeverWaits)
{
    HangGuard guard(20);
    Nlm_WindoW window = Nlm_FixedWindow(-50, -33, -10, -10, const_cast<char *>("events"), NULL);
    ASSERT_NE(nullptr, window);
    Nlm_Show(window);
    Widget shell = Nlm_ParentWindowShell(reinterpret_cast<Nlm_GraphiC>(window));
    XtAddEventHandler(shell, NoEventMask, True, countClientMessage, NULL);
    Display *display = XtDisplay(shell);
    XSync(display, False);
    ASSERT_TRUE(drain());

    timerRuns = clientMessages = 0;
    XtAppAddTimeOut(Nlm_appContext, 0, countTimer, NULL);
    XtAppAddTimeOut(Nlm_appContext, 0, countTimer, NULL);
    for (int i = 0; i < 100 && (XtAppPending(Nlm_appContext) & XtIMTimer) == 0; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(static_cast<XtInputMask>(XtIMTimer), XtAppPending(Nlm_appContext) & EventOrTimer);
    for (int runs : {1, 2, 2}) {
        const auto start = std::chrono::steady_clock::now();
        myProcessAnyEvent();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
        EXPECT_EQ(runs, timerRuns);
    }

    XEvent event;
    memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = XtWindow(shell);
    event.xclient.message_type = XInternAtom(display, "VARTENA_TEST", False);
    event.xclient.format = 32;
    for (int i = 0; i < 3; i++)
        XSendEvent(display, XtWindow(shell), False, NoEventMask, &event);
    XSync(display, False);
    for (int seen : {1, 2, 3}) {
        myProcessAnyEvent();
        EXPECT_EQ(seen, clientMessages);
    }
    EXPECT_TRUE(drain());
    EXPECT_EQ(3, clientMessages);
    XtRemoveEventHandler(shell, NoEventMask, True, countClientMessage, NULL);
    Nlm_Remove(window);
}

} // namespace
