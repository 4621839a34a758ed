/* The field help as the user meets it: the real setup window and its Help
 * items; help windows read back through the toolkit's getters and its list
 * of windows. */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "support.h"
#include "widgets.h"

/* The root of the toolkit's window list (its internal header clashes). */
extern "C" Nlm_WindoW Nlm_desktopWindow;

namespace {

using vt::children;
using vt::title;
typedef std::vector<std::string> Texts;
typedef std::vector<Nlm_WindoW> Windows;

/* Every window the toolkit holds but its desktop window, newest first;
 * Nlm_Remove takes a window out of the list at once. */
Windows liveWindows()
{
    Windows list;
    for (Nlm_GraphiC w = Nlm_GetNext((Nlm_GraphiC)Nlm_desktopWindow); w != NULL && list.size() < 200; w = Nlm_GetNext(w))
        list.push_back((Nlm_WindoW)w);
    return list;
}

/* The titles of a help window's prompts, top to bottom; an empty line's
 * prompt has the toolkit's title of one blank.  None unless the window
 * holds one group. */
Texts rows(Nlm_WindoW w)
{
    Texts list;
    std::vector<Nlm_GraphiC> groups = children(w);
    for (Nlm_GraphiC p : groups.size() == 1 ? children(groups[0]) : std::vector<Nlm_GraphiC>())
        list.push_back(title(p));
    return list;
}

/* Each test builds the real setup window, shown and current, in its own
 * scratch directory; help windows left open are closed as the user would. */
class Help : public ::testing::Test {
protected:
    void SetUp() override
    {
        msgPrevWin = NULL;
        vt::AlertLog alerts;
        ASSERT_NE(nullptr, BuildSetupWindow());
        Nlm_Show(wSetup);
        Nlm_Select(wSetup);
        vt::pump(100);
        before_ = liveWindows();
        EXPECT_EQ(0u, alerts.count());
    }
    void TearDown() override
    {
        for (Nlm_WindoW w : opened())
            msgCloseProc(w);
        Nlm_Remove(wSetup);
        wSetup = msgPrevWin = NULL;
        vt::pump(100);
    }

    /* The windows made since the setup window, oldest first. */
    Windows opened() const
    {
        Windows made;
        for (Nlm_WindoW w : liveWindows())
            if (std::find(before_.begin(), before_.end(), w) == before_.end())
                made.insert(made.begin(), w);
        return made;
    }
    /* Chooses item; the one window it opened, or NULL. */
    Nlm_WindoW choose(Nlm_IteM item)
    {
        size_t count = opened().size();
        HelpProc(item);
        Windows made = opened();
        EXPECT_EQ(count + 1, made.size()) << "windows opened by one item";
        vt::pump(100);
        return made.size() == count + 1 ? made.back() : NULL;
    }

    vt::ScratchDir scratch_;
    Windows before_;
};

TEST_F(Help, EachItemShowsItsOwnText)
{
    /* rows: 'x' a line of text, '.' an empty one */
    const struct { Nlm_IteM item; const char *rows, *first; } items[] = {
        {iKernel, "xx.x.x", "Vartena directory input field specifies the directory that contains"},
        {iC, "xxxx.xx.xx.xxx.x", "The C compiler Include input field specifies compiler's options"},
        {Adjust[0].item, "xxx.x", "The Printer command input field specifies the command"},
        {Adjust[1].item, "xx.x", "The Postscript previewer input field specifies the command"},
        {Adjust[2].item, "xxx.x.xxxx.xxx", "The External differentiator input field specifies commands"},
        {iShell, "xxx.xx", "The Shell Style switch and the Shell path input field specify the shell"},
        {iCpp, "x.xx.xxxx.xx", "The C++ compiler Name input field specifies the name of C++ compiler."},
        {iInst, "x.xxxx.xxxxxx", "The Installation switch lets you choose between Full and User installations."},
    };
    for (const auto &c : items) {
        Texts lines = rows(choose(c.item));
        std::string shape;
        for (const std::string &line : lines)
            shape += line == " " ? '.' : 'x';
        EXPECT_EQ(c.rows, shape) << c.first;
        EXPECT_EQ(c.first, lines.empty() ? "" : lines[0]);
    }
    EXPECT_EQ("Specifing the options you should follow notation for your host", rows(choose(iC))[8]);
    Texts extdiff = rows(choose(Adjust[2].item));
    EXPECT_EQ(Texts({"on any particular machine:", "   rsh <hostname> maple -q <%s ..."}),
              Texts(extdiff.begin() + 7, extdiff.begin() + 9));
}

TEST_F(Help, TuningEntriesCarryTheTextTheirWindowShows)
{
    for (int i = 0; i < TUNING_ENTRIES; i++) {
        Texts lines = vt::SplitLines(Adjust[i].help);
        std::replace(lines.begin(), lines.end(), std::string(), std::string(" "));
        EXPECT_EQ(lines, rows(choose(Adjust[i].item))) << Adjust[i].label;
    }
}

TEST_F(Help, WindowIsUntitledCentredWithOneRowPerLine)
{
    Nlm_WindoW w = choose(iInst);
    ASSERT_NE(nullptr, w);
    EXPECT_EQ("", title(w));
    Nlm_RecT frame = vt::rect(w);
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    EXPECT_LE(std::abs(frame.left - (Nlm_screenRect.right - width) / 2), 1);
    EXPECT_LE(std::abs(frame.top - (Nlm_screenRect.bottom - height) / 2), 1);
    std::vector<Nlm_GraphiC> prompts = children(children(w)[0]);
    ASSERT_EQ(13u, prompts.size());
    Nlm_RecT first = vt::rect(prompts[0]), last = first;
    EXPECT_GE(first.left, Nlm_stdCharWidth);
    for (size_t i = 1; i < prompts.size(); i++) {
        Nlm_RecT r = vt::rect(prompts[i]);
        EXPECT_TRUE(r.left == first.left && r.top > last.top) << "row " << i;
        EXPECT_EQ(first.bottom - first.top, r.bottom - r.top) << "an empty row takes a line too: " << i;
        EXPECT_LE(r.right + Nlm_stdCharWidth, width) << "row " << i;
        last = r;
    }
    EXPECT_LE(last.bottom + Nlm_stdCharWidth, height);
}

TEST_F(Help, SameItemTwiceOpensTwoWindows)
{
    Nlm_WindoW one = choose(Adjust[1].item), two = choose(Adjust[1].item);
    ASSERT_TRUE(one != NULL && two != NULL && one != two);
    EXPECT_TRUE(Nlm_Visible(one) && Nlm_Visible(two));
    EXPECT_EQ(rows(one), rows(two));
}

TEST_F(Help, ItemOfNoFieldShowsNothingAndRecordsNothing)
{
    Nlm_WindoW other = Nlm_FixedWindow(-50, -50, -10, -10, (Nlm_CharPtr) "other", NULL);
    before_.push_back(other);
    Nlm_IteM stranger = Nlm_CommandItem(Nlm_PulldownMenu(other, (Nlm_CharPtr) "Other"),
                                        (Nlm_CharPtr) "Stranger", HelpProc);
    msgPrevWin = wSetup;
    HelpProc(stranger);
    HelpProc(NULL);
    EXPECT_TRUE(opened().empty());
    EXPECT_EQ(wSetup, msgPrevWin);
    Nlm_Remove(other);
}

TEST_F(Help, ClosingSelectsTheRecordedWindowButNeverAClosedOne)
{
    Nlm_WindoW first = choose(iKernel);
    ASSERT_EQ(wSetup, msgPrevWin);
    ASSERT_EQ(first, Nlm_CurrentWindow()) << "a new window is the toolkit's current one";
    Nlm_WindoW second = choose(iInst);
    ASSERT_EQ(first, msgPrevWin);
    msgCloseProc(second);
    EXPECT_EQ(Windows({first}), opened());
    EXPECT_EQ(first, Nlm_CurrentWindow());

    Nlm_WindoW third = choose(Adjust[1].item);
    ASSERT_EQ(first, msgPrevWin);
    msgCloseProc(first);
    EXPECT_EQ(wSetup, Nlm_CurrentWindow());
    vt::pump(100); /* the recorded window is freed before the other one closes */
    msgCloseProc(third);
    EXPECT_EQ(wSetup, Nlm_CurrentWindow());
    EXPECT_TRUE(opened().empty());
}

TEST_F(Help, RecordedWindowThatIsGoneFallsBackOnTheSetupWindow)
{
    Nlm_WindoW other = Nlm_FixedWindow(-50, -50, -10, -10, (Nlm_CharPtr) "other", NULL);
    before_.push_back(other);
    Nlm_WindoW help = choose(iShell);
    ASSERT_EQ(other, msgPrevWin);
    Nlm_Remove(other);
    vt::pump(100);
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
