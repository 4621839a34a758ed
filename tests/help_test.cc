/* The field help as the user meets it: the real setup window and its Help
 * items, help windows made on the X server and read back through the
 * toolkit's getters and its list of windows. */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "support.h"
#include "widgets.h"

/* The toolkit's root of the window list (its internal header cannot be
 * included beside the public ones in C++). */
extern "C" {
extern Nlm_WindoW Nlm_desktopWindow;
}

namespace {

using vt::children;
using vt::title;

/* The toolkit gives an empty prompt the title of one blank. */
const char kBlankRow[] = " ";

/* Every window that the toolkit holds, its desktop window excluded;
 * Nlm_Remove takes a window out of this list at once. */
std::vector<Nlm_WindoW> liveWindows()
{
    std::vector<Nlm_WindoW> list;
    for (Nlm_GraphiC w = Nlm_GetNext((Nlm_GraphiC)Nlm_desktopWindow); w != NULL && list.size() < 200; w = Nlm_GetNext(w))
        list.push_back((Nlm_WindoW)w);
    return list;
}

bool isLive(Nlm_WindoW w)
{
    std::vector<Nlm_WindoW> list = liveWindows();
    return std::find(list.begin(), list.end(), w) != list.end();
}

void pump()
{
    for (int i = 0; i < 20; i++) {
        while (Nlm_EventAvail())
            Nlm_ProcessAnEvent();
        usleep(5000);
    }
}

/* The titles of the prompts of a help window, top to bottom. */
std::vector<std::string> rows(Nlm_WindoW w)
{
    std::vector<std::string> list;
    std::vector<Nlm_GraphiC> groups = children(w);
    if (groups.size() != 1) {
        ADD_FAILURE() << "a help window holds one group, not " << groups.size();
        return list;
    }
    for (Nlm_GraphiC p : children(groups[0]))
        list.push_back(title(p));
    return list;
}

/* The rows joined as the text they were cut from. */
std::string joined(const std::vector<std::string> &lines)
{
    std::string text;
    for (size_t i = 0; i < lines.size(); i++)
        text += (i > 0 ? "\n" : "") + (lines[i] == kBlankRow ? std::string() : lines[i]);
    return text;
}

std::vector<size_t> blankRows(const std::vector<std::string> &lines)
{
    std::vector<size_t> blanks;
    for (size_t i = 0; i < lines.size(); i++)
        if (lines[i] == kBlankRow)
            blanks.push_back(i);
    return blanks;
}

/* Each test builds the real setup window, shown and current, in its own
 * scratch directory; help windows left open are closed as the user would. */
class HelpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        msgPrevWin = NULL;
        vt::AlertLog alerts;
        ASSERT_NE(nullptr, BuildSetupWindow());
        Nlm_Show(wSetup);
        Nlm_Select(wSetup);
        pump();
        before_ = liveWindows();
        EXPECT_EQ(0u, alerts.count());
    }

    void TearDown() override
    {
        for (Nlm_WindoW w : opened())
            msgCloseProc(w);
        Nlm_Remove(wSetup);
        wSetup = NULL;
        msgPrevWin = NULL;
        pump();
        Nlm_RemoveDyingWindows();
    }

    /* Windows made since the setup window, oldest first. */
    std::vector<Nlm_WindoW> opened() const
    {
        std::vector<Nlm_WindoW> made;
        for (Nlm_WindoW w : liveWindows())
            if (std::find(before_.begin(), before_.end(), w) == before_.end())
                made.insert(made.begin(), w);
        return made;
    }

    /* Chooses item and returns the one window it opened. */
    Nlm_WindoW choose(Nlm_IteM item)
    {
        size_t count = opened().size();
        HelpProc(item);
        std::vector<Nlm_WindoW> made = opened();
        if (made.size() != count + 1) {
            ADD_FAILURE() << "the item opened " << made.size() - count << " windows";
            return NULL;
        }
        pump();
        return made.back();
    }

    vt::ScratchDir scratch_;
    std::vector<Nlm_WindoW> before_;
};

/* ---- The texts, item by item */

class HelpTexts : public HelpTest {};

struct TextShape {
    const char *item;
    size_t rows;
    std::vector<size_t> blanks;
    const char *first;
    const char *last;
};

TEST_F(HelpTexts, EachItemShowsItsOwnText)
{
    const std::vector<std::pair<Nlm_IteM, TextShape>> items = {
        {iKernel, {"VARTENA directory", 6, {2, 4},
                   "Vartena directory input field specifies the directory that contains",
                   "For User installation you have to type in the full path to Vartena directory."}},
        {iC, {"C compiler", 16, {4, 7, 10, 14},
              "The C compiler Include input field specifies compiler's options",
              "Usually you don't need to change these fields."}},
        {Adjust[0].item, {"Printer command", 5, {3},
                          "The Printer command input field specifies the command",
                          "If there is no printer available, set this field to blank."}},
        {Adjust[1].item, {"PostScript previewer", 4, {2},
                          "The Postscript previewer input field specifies the command",
                          "If there is no previewer, set this field to blank."}},
        {Adjust[2].item, {"External differentiator", 14, {3, 5, 10},
                          "The External differentiator input field specifies commands",
                          "computed 'symbolically'."}},
        {iShell, {"Shell", 6, {3},
                  "The Shell Style switch and the Shell path input field specify the shell",
                  "variable. Shell styles are read from the shells.vtn file."}},
        {iCpp, {"C++ compiler", 12, {1, 4, 9},
                "The C++ compiler Name input field specifies the name of C++ compiler.",
                "In such a case Vartna disables the 'symbolical differentiation' feature."}},
        {iInst, {"Installation", 13, {1, 6},
                 "The Installation switch lets you choose between Full and User installations.",
                 "files and from files created for other users."}},
    };
    for (const auto &entry : items) {
        const TextShape &shape = entry.second;
        ASSERT_NE(nullptr, entry.first) << shape.item;
        std::vector<std::string> lines = rows(choose(entry.first));
        ASSERT_EQ(shape.rows, lines.size()) << shape.item;
        EXPECT_EQ(shape.blanks, blankRows(lines)) << shape.item;
        EXPECT_EQ(shape.first, lines.front()) << shape.item;
        EXPECT_EQ(shape.last, lines.back()) << shape.item;
    }
    EXPECT_EQ(items.size(), opened().size());
}

TEST_F(HelpTexts, InstallationAndPrinterCommandRowsAreTheirLines)
{
    const std::vector<std::string> installation = {
        "The Installation switch lets you choose between Full and User installations.",
        kBlankRow,
        "The Full installation must be made prior any User installation and",
        "running Vartena. During Full Installation setup creates some files",
        "used by Vartena. For the Full Installation you should run the setup program",
        "from the directory that contains Vartena executable files.",
        kBlankRow,
        "The User Installation should be done if you (or other user) want",
        "to be able to run Vartena from other directory. In such a case",
        "run setup from the directory and choose the User Installation.",
        "Running Vartena from different directory allows you to keep files",
        "created by Vartena for your dynamical systems separate from Vartena",
        "files and from files created for other users.",
    };
    const std::vector<std::string> printer = {
        "The Printer command input field specifies the command",
        "used by Vartena to print hardcopy files.",
        "The printer should be capable of printing PostScript files.",
        kBlankRow,
        "If there is no printer available, set this field to blank.",
    };
    EXPECT_EQ(installation, rows(choose(iInst)));
    EXPECT_EQ(printer, rows(choose(Adjust[0].item)));
}

TEST_F(HelpTexts, LinesKeepTheirLeadingBlanksAndSpelling)
{
    std::vector<std::string> extdiff = rows(choose(Adjust[2].item));
    ASSERT_EQ(14u, extdiff.size());
    EXPECT_EQ("on any particular machine:", extdiff[7]);
    EXPECT_EQ("   rsh <hostname> maple -q <%s ...", extdiff[8]);
    EXPECT_EQ("Specifing the options you should follow notation for your host", rows(choose(iC))[8]);
}

TEST_F(HelpTexts, TuningEntriesCarryTheTextTheirWindowShows)
{
    for (int i = 0; i < TUNING_ENTRIES; i++) {
        ASSERT_NE(nullptr, Adjust[i].help) << Adjust[i].label;
        EXPECT_EQ(Adjust[i].help, joined(rows(choose(Adjust[i].item)))) << Adjust[i].label;
    }
}

/* ---- The help window */

class HelpWindow : public HelpTest {};

TEST_F(HelpWindow, IsUntitledCentredWithOneRowPerLine)
{
    Nlm_WindoW w = choose(iInst);
    ASSERT_NE(nullptr, w);
    EXPECT_EQ("", title(w));
    Nlm_RecT frame, first, r;
    Nlm_GetPosition(w, &frame);
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    EXPECT_LE(std::abs(frame.left - (Nlm_screenRect.right - width) / 2), 1);
    EXPECT_LE(std::abs(frame.top - (Nlm_screenRect.bottom - height) / 2), 1);
    std::vector<Nlm_GraphiC> prompts = children(children(w)[0]);
    ASSERT_EQ(13u, prompts.size());
    Nlm_GetPosition((Nlm_Handle)prompts[0], &first);
    int top = first.top;
    for (size_t i = 1; i < prompts.size(); i++) {
        Nlm_GetPosition((Nlm_Handle)prompts[i], &r);
        EXPECT_EQ(first.left, r.left) << "row " << i;
        EXPECT_GT(r.top, top) << "row " << i;
        EXPECT_EQ(first.bottom - first.top, r.bottom - r.top) << "a blank row takes a line: " << i;
        EXPECT_LE(r.right + Nlm_stdCharWidth, width) << "row " << i;
        top = r.top;
    }
    EXPECT_LE(r.bottom + Nlm_stdCharWidth, height);
    EXPECT_GE(first.left, Nlm_stdCharWidth);
}

TEST_F(HelpWindow, SameItemTwiceOpensTwoWindows)
{
    Nlm_WindoW one = choose(Adjust[1].item);
    Nlm_WindoW two = choose(Adjust[1].item);
    ASSERT_NE(nullptr, one);
    ASSERT_NE(nullptr, two);
    EXPECT_NE(one, two);
    EXPECT_TRUE(Nlm_Visible(one) && Nlm_Visible(two));
    EXPECT_EQ(rows(one), rows(two));
}

TEST_F(HelpWindow, ItemOfNoFieldShowsNothingAndRecordsNothing)
{
    Nlm_WindoW other = Nlm_FixedWindow(-50, -50, -10, -10, (Nlm_CharPtr) "other", NULL);
    Nlm_IteM stranger = Nlm_CommandItem(Nlm_PulldownMenu(other, (Nlm_CharPtr) "Other"),
                                        (Nlm_CharPtr) "Stranger", HelpProc);
    before_.push_back(other);
    msgPrevWin = wSetup;
    HelpProc(stranger);
    /* a tuning entry whose row was not made has no item */
    Nlm_IteM printer = Adjust[0].item;
    Adjust[0].item = NULL;
    HelpProc(NULL);
    Adjust[0].item = printer;
    EXPECT_TRUE(opened().empty());
    EXPECT_EQ(wSetup, msgPrevWin);
    Nlm_Remove(other);
}

/* ---- Closing */

class HelpClose : public HelpTest {};

TEST_F(HelpClose, RemovesTheWindowAndSelectsTheRecordedOne)
{
    Nlm_WindoW first = choose(iKernel);
    ASSERT_EQ(wSetup, msgPrevWin);
    ASSERT_EQ(first, Nlm_CurrentWindow()) << "a new window is the toolkit's current one";
    Nlm_WindoW second = choose(iInst);
    ASSERT_EQ(first, msgPrevWin);
    msgCloseProc(second);
    EXPECT_FALSE(isLive(second));
    EXPECT_TRUE(isLive(first));
    EXPECT_EQ(first, Nlm_CurrentWindow());
}

TEST_F(HelpClose, RecordedHelpWindowClosedFirstIsNeverSelected)
{
    Nlm_WindoW first = choose(iKernel);
    Nlm_WindoW second = choose(iInst);
    ASSERT_EQ(first, msgPrevWin);
    msgCloseProc(first);
    EXPECT_EQ(wSetup, Nlm_CurrentWindow());
    EXPECT_EQ(nullptr, msgPrevWin);
    /* the closed window is freed before the other one closes */
    pump();
    Nlm_RemoveDyingWindows();
    msgCloseProc(second);
    EXPECT_EQ(wSetup, Nlm_CurrentWindow());
    EXPECT_TRUE(opened().empty());
}

TEST_F(HelpClose, RecordedWindowThatIsGoneFallsBackOnTheSetupWindow)
{
    Nlm_WindoW other = Nlm_FixedWindow(-50, -50, -10, -10, (Nlm_CharPtr) "other", NULL);
    before_.push_back(other);
    Nlm_WindoW help = choose(iShell);
    ASSERT_EQ(other, msgPrevWin);
    Nlm_Remove(other);
    pump();
    Nlm_RemoveDyingWindows();
    msgCloseProc(help);
    EXPECT_EQ(wSetup, Nlm_CurrentWindow());

    /* removing the current window leaves the toolkit's desktop window current */
    Nlm_Remove(Nlm_FixedWindow(-50, -50, -10, -10, (Nlm_CharPtr) "current", NULL));
    ASSERT_EQ(Nlm_desktopWindow, Nlm_CurrentWindow());
    help = choose(iInst);
    EXPECT_EQ(Nlm_desktopWindow, msgPrevWin);
    msgCloseProc(help);
    EXPECT_EQ(wSetup, Nlm_CurrentWindow());
}

} // namespace
