/* The setup window as the user meets it: built for real on the X server,
 * read back through the toolkit's getters (and Motif's, for the menu). */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "support.h"
#include "widgets.h"
#include "window_menu.h"

/* The toolkit's shell widget (its internal header clashes with Motif's). */
extern "C" {
void *Nlm_GetWindowShell(Nlm_WindoW w);
}

namespace {

using vt::children;
using vt::rect;
using vt::title;

typedef std::vector<std::string> Texts;

int beeps = 0;
void LIBCALLBACK countBeep(void) { beeps++; }

std::string output(const std::string &command)
{
    std::string out;
    char buf[1024];
    FILE *p = popen(command.c_str(), "r");
    while (p != NULL && fgets(buf, sizeof buf, p) != NULL)
        out += buf;
    if (p != NULL)
        pclose(p);
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

/* Hands the toolkit its events until done() or the deadline. */
template <typename Done>
bool pumpUntil(Done done, long milliseconds)
{
    struct timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        while (Nlm_EventAvail())
            Nlm_ProcessAnEvent();
        if (done())
            return true;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if ((now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000 > milliseconds)
            return false;
        usleep(10000);
    }
}

/* Each test builds its windows in its own scratch directory; SHELL,
 * TMPDIR, the working directory and the beep hook are restored. */
class Window : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *name : {"SHELL", "TMPDIR"})
            saved_.push_back({name, getenv(name) != NULL, getenv(name) != NULL ? getenv(name) : ""});
        beeps = 0;
        previousBeep_ = Nlm_SetBeepHook(countBeep);
        setenv("SHELL", "/bin/tcsh", 1);
        setenv("TMPDIR", (scratch_ / "tmp").c_str(), 1);
        mkdir((scratch_ / "tmp").c_str(), 0700);
    }
    void TearDown() override
    {
        if (wSetup != NULL)
            Nlm_Remove(wSetup);
        wSetup = NULL;
        Nlm_SetBeepHook(previousBeep_);
        for (const Saved &env : saved_) {
            if (env.set)
                setenv(env.name, env.value.c_str(), 1);
            else
                unsetenv(env.name);
        }
    }

    /* A new window; building it shows no alert. */
    void build()
    {
        if (wSetup != NULL)
            Nlm_Remove(wSetup);
        vt::AlertLog alerts;
        ASSERT_NE(nullptr, BuildSetupWindow());
        EXPECT_EQ(0u, alerts.count());
    }
    void install(Nlm_Int2 kind) { Nlm_SetValue(gInst, kind); InstActnProc(gInst); }
    Texts helpMenu()
    {
        Texts out;
        for (const MenuLine &line : MenuLines(Nlm_GetWindowShell(wSetup), "Help"))
            out.push_back(std::string(line.depth, '>') + line.label + (line.sensitive ? "" : " (off)"));
        return out;
    }

    struct Saved {
        const char *name;
        bool set;
        std::string value;
    };
    vt::ScratchDir scratch_;
    std::vector<Saved> saved_;
    BeepHook previousBeep_ = NULL;
};

TEST_F(Window, FirstShowsDefaultsOnUserWithCompilersOffAndShellHidden)
{
    std::string extdiff, section; /* [Compiler] EXTDIFF as the written file has it */
    for (const std::string &line : vt::SplitLines(vt::ReadFile(vt::DataDir() + "/vartenarc.golden"))) {
        section = line[0] == '[' ? line : section;
        if (section == "[Compiler]" && line.compare(0, 8, "EXTDIFF=") == 0)
            extdiff = line.substr(8);
    }
    ASSERT_GT(extdiff.size(), 100u);
    build();
    Nlm_Show(wSetup);
    EXPECT_EQ(Texts({"vartena 1.5 setup", "", "", "-lc -lm", "c++", " -O2 -fPIC -lc -lm", "lpr %s",
                     "ghostview -a5 -magstep 0 %s", extdiff}),
              Texts({title(wSetup), title(tKernel), title(tInclude), title(tLib), title(tCppName),
                     title(tCppLib), title(Adjust[0].field), title(Adjust[1].field), title(Adjust[2].field)}));
    EXPECT_EQ(2, Nlm_GetValue(gInst));
    EXPECT_FALSE(Nlm_Enabled(gC) || Nlm_Enabled(gCpp) || Nlm_Enabled(iC) || Nlm_Enabled(iCpp));
    EXPECT_FALSE(Nlm_Visible(gShellStyle) || Nlm_Visible(gShellPath) || Nlm_Enabled(iShell));
    EXPECT_TRUE(Nlm_Enabled(gAdjust) && Nlm_Visible(gReg));
    EXPECT_FALSE(Nlm_GetStatus(bReg));
    EXPECT_EQ(Texts({"VARTENA directory", "C compiler (off)", "C++ compiler (off)", "Tuning", ">Printer command",
                     ">PostScript previewer", ">External differentiator", "Installation", "Shell (off)"}),
              helpMenu());
}

TEST_F(Window, FullTakesTheWorkingDirectoryAndUserKeepsTheText)
{
    build();
    Nlm_SetTitle(tKernel, (Nlm_CharPtr) "/typed");
    install(1);
    EXPECT_EQ(scratch_.path(), title(tKernel));
    EXPECT_TRUE(Nlm_Enabled(gC) && Nlm_Enabled(gCpp) && Nlm_Visible(gShellStyle) && Nlm_Visible(gShellPath));
    EXPECT_EQ(Texts({"VARTENA directory", "C compiler", "C++ compiler", "Tuning", ">Printer command",
                     ">PostScript previewer", ">External differentiator", "Installation", "Shell"}),
              helpMenu());
    Nlm_SetTitle(tKernel, (Nlm_CharPtr) "/opt/vartena");
    install(2);
    EXPECT_EQ("/opt/vartena", title(tKernel));
    EXPECT_FALSE(Nlm_Enabled(gC) || Nlm_Enabled(gCpp) || Nlm_Visible(gShellStyle) || Nlm_Enabled(iShell));
    EXPECT_TRUE(Nlm_Enabled(gAdjust) && Nlm_Enabled(Adjust[0].item) && Nlm_Visible(gReg) && Nlm_Enabled(bReg));
}

TEST_F(Window, DirectoryWithABlankIsSetUnchangedAndTheNextCheckRemovesIt)
{
    ASSERT_EQ(0, mkdir("my home", 0755));
    ASSERT_EQ(0, chdir("my home"));
    build();
    install(1);
    EXPECT_EQ(scratch_ / "my home", title(tKernel));
    EXPECT_EQ(0, beeps);
    PathCheckProc(tKernel);
    EXPECT_EQ(scratch_ / "myhome", title(tKernel));
    EXPECT_EQ(1, beeps);
}

TEST_F(Window, LongDirectoryIsSetWholeAndALostOneLeavesTheField)
{
    std::string deep = scratch_.path();
    for (char c = 'a'; c < 'g'; c++)
        ASSERT_EQ(0, mkdir((deep += "/" + std::string(90, c)).c_str(), 0755));
    ASSERT_EQ(0, chdir(deep.c_str()));
    build();
    install(1);
    EXPECT_EQ(deep, title(tKernel)) << "more than the 499 characters of ParBuf";
    ASSERT_EQ(0, rmdir(deep.c_str()));
    Nlm_SetTitle(tKernel, (Nlm_CharPtr) "/opt/vartena");
    install(1);
    EXPECT_EQ("/opt/vartena", title(tKernel)) << "no working directory: the text stays";
    EXPECT_TRUE(Nlm_Enabled(gC));
}

/* SHELL ("-": unset), shells.vtn ("-": none), style chosen, shell path */
struct ShellCase {
    std::string shell, file, style, path;
};

TEST_F(Window, ShellStyleComesFromShellAndTheLastMatchingLine)
{
    const std::string n19(19, 'n'), n20(20, 'n'), d492 = "/" + std::string(492, 'd');
    const ShellCase cases[] = {
        {"/bin/tcsh", "-", "csh", "/bin/tcsh -f"},
        {"/usr/local/bin/bash", "bash K\n", "ksh", "/usr/local/bin/bash "},
        {"/bin/bash", "bash k\nzsh c\nbash c\n", "csh", "/bin/bash -f"},
        {"/bin/bash", "bash c\nbash k text after the letter\n", "ksh", "/bin/bash "},
        {"/bin/bash", "bash k\nbash x\nbash 7\n", "ksh", "/bin/bash "},
        {"/bin/bash", "  \t bash \t k\n", "ksh", "/bin/bash "},
        {"/bin/bash", "# bash k\n#bash k\n1bash k\n\n", "csh", "/bin/bash -f"},
        {"/bin/bash", "bash\nbashx k\nbas k\n", "csh", "/bin/bash -f"},
        {"bash", "bash k\n", "ksh", "bash "},
        {"-", "bash k\n", "csh", ""},
        {"/opt/" + n19, n19 + " k\n", "ksh", "/opt/" + n19 + " "},
        {"/opt/" + n20, n20 + " k\n", "csh", "/opt/" + n20 + " -f"},
        {"/opt/" + n19, n20 + " k\n", "csh", "/opt/" + n19 + " -f"},
        {"/bin/bash", std::string(499, 'x') + "bash k\n", "csh", "/bin/bash -f"},
        {"/bin/bash", std::string(600, 'x') + "\nbash k\n", "ksh", "/bin/bash "},
        {d492 + "/bash", "bash k\n", "ksh", d492 + "/bash "},
        {d492 + "d/bash", "bash k\n", "ksh", ""},
    };
    for (const ShellCase &c : cases) {
        SCOPED_TRACE(c.shell.substr(0, 40) + " / " + c.file.substr(0, 40));
        if (c.shell != "-")
            setenv("SHELL", c.shell.c_str(), 1);
        else
            unsetenv("SHELL");
        unlink("shells.vtn");
        if (c.file != "-")
            vt::WriteFile("shells.vtn", c.file);
        build();
        EXPECT_EQ(c.style, shells[Nlm_GetValue(gShellStyle) - 1].name);
        EXPECT_EQ(c.path, title(tShellPath));
    }
}

TEST_F(Window, StyleSwitchRebuildsAnEditedPathFromShell)
{
    setenv("SHELL", "/bin/zsh", 1);
    build();
    for (Nlm_Int2 style : {2, 1}) {
        Nlm_SetTitle(tShellPath, (Nlm_CharPtr) "/my/edited/shell");
        Nlm_SetValue(gShellStyle, style);
        ShellStyleProc(gShellStyle);
        EXPECT_EQ(std::string("/bin/zsh") + shells[style - 1].option, title(tShellPath));
    }
}

TEST_F(Window, DirectoryCheckRemovesOneBlankBackslashOrCommaPerEditWithABeep)
{
    build();
    Nlm_SetTitle(tKernel, (Nlm_CharPtr) "/a b,c\\d e");
    EXPECT_EQ(0, beeps) << "setting the text runs no check";
    Texts seen;
    for (int i = 0; i < 5; i++) {
        PathCheckProc(tKernel);
        seen.push_back(title(tKernel) + " " + std::to_string(beeps));
    }
    EXPECT_EQ(Texts({"/ab,c\\d e 1", "/abc\\d e 2", "/abcd e 3", "/abcde 4", "/abcde 4"}), seen);
}

TEST_F(Window, TypedKeysAreCheckedAsTheyArriveAndTypingGoesOn)
{
    build();
    Nlm_Show(wSetup);
    int x = 0, y = 0;
    ASSERT_TRUE(pumpUntil([&] { return WindowOrigin(Nlm_GetWindowShell(wSetup), &x, &y); }, 3000));
    Nlm_Select(wSetup);
    Nlm_Select(tKernel);
    pumpUntil([] { return false; }, 300);
    ASSERT_EQ(0, vt::Shell("xdotool mousemove " + std::to_string(x + 20) + " " + std::to_string(y + 20) +
                           " type --delay 40 'a b,c\\d' &"));
    pumpUntil([] { return beeps >= 3 && title(tKernel).size() >= 4; }, 8000);
    pumpUntil([] { return false; }, 300);
    EXPECT_EQ("abcd", title(tKernel));
    EXPECT_EQ(3, beeps);
}

TEST_F(Window, PreviewShowsTheVersionLineWithUAndLeavesUserFilesAlone)
{
    vt::WriteFile("del1", "first user file\n");
    vt::WriteFile("del2", "second\n", 0600);
    vt::WriteFile("del3", "third, no line feed");
    const std::string listing = output("ls -l --time-style=+%s.%N del?; ls -A");
    build();
    Texts shown;
    for (Nlm_GraphiC c : children(gReg)) {
        std::vector<Nlm_GraphiC> lines = children(c);
        if (lines.empty())
            shown.push_back(title(c));
        for (Nlm_GraphiC line : lines)
            shown.push_back("  " + title(line));
    }
    Texts expected = {"I authorize the following e-mail message be sent to the authors:",
                      "  VARTENA 1.5u installed on", "  " + output("uname -a"),
                      "This data will be used to notify you about new versions of Vartena"};
    EXPECT_EQ(expected, shown);
    EXPECT_EQ(bReg, (Nlm_ButtoN)children(gReg)[0]);
    EXPECT_EQ(Texts({"first user file\n", "second\n", "third, no line feed"}),
              Texts({vt::ReadFile("del1"), vt::ReadFile("del2"), vt::ReadFile("del3")}));
    EXPECT_EQ(listing, output("ls -l --time-style=+%s.%N del?; ls -A"));
    EXPECT_EQ("", output("ls -A '" + (scratch_ / "tmp") + "'")) << "the private directory is gone";
}

TEST_F(Window, NoRegistrationGroupWhenThePreviewCannotBeMade)
{
    setenv("TMPDIR", (scratch_ / "no-such-directory").c_str(), 1);
    build();
    EXPECT_EQ(nullptr, gReg);
    EXPECT_EQ(nullptr, bReg);
    EXPECT_EQ(2u, children(gTerm).size());
    EXPECT_FALSE(vt::Exists("del3"));
}

std::string seenDir, seenText;
int reads = 0;
void record(const char *dir)
{
    reads++;
    seenDir = dir;
    seenText = vt::ReadFile(seenDir + "/out");
}

TEST_F(Window, ScratchCommandRunsInAPrivateDirectoryRemovedAfterTheRead)
{
    const std::string odd = scratch_ / "it's";
    ASSERT_EQ(0, mkdir(odd.c_str(), 0700));
    setenv("TMPDIR", odd.c_str(), 1);
    EXPECT_TRUE(RunInScratchDir("mkdir sub; echo x > sub/f; pwd -P > out", record));
    EXPECT_EQ(1, reads);
    EXPECT_EQ(seenDir + "\n", seenText);
    EXPECT_EQ(0u, seenDir.find(odd + "/vartena-")) << seenDir;
    EXPECT_FALSE(vt::Exists(seenDir));
    EXPECT_FALSE(vt::Exists("out") || vt::Exists("sub"));

    setenv("TMPDIR", (scratch_ / "missing").c_str(), 1);
    EXPECT_FALSE(RunInScratchDir("echo ran > out", record));
    EXPECT_EQ(1, reads) << "no directory: no run, no read";
    EXPECT_FALSE(vt::Exists("out"));
}

/* The layout after construction, with and without the Registration group. */
class Layout : public Window, public ::testing::WithParamInterface<bool> {};

TEST_P(Layout, FieldsShareEdgesBoxesShareABottomAndButtonsAreSpread)
{
    if (!GetParam())
        setenv("TMPDIR", (scratch_ / "no-such-directory").c_str(), 1);
    build();
    ASSERT_EQ(GetParam(), bReg != NULL);
    for (Nlm_TexT field : {tInclude, tLib, tCppName, tCppLib, Adjust[0].field, Adjust[1].field, Adjust[2].field}) {
        EXPECT_EQ(rect(tKernel).left, rect(field).left);
        EXPECT_EQ(rect(tKernel).right, rect(field).right);
    }
    EXPECT_GE(rect(tShellPath).right, rect(tKernel).right);
    EXPECT_EQ(rect(gInst).bottom, rect(gShellStyle).bottom);
    EXPECT_EQ(rect(gInst).bottom, rect(gShellPath).bottom);
    EXPECT_LT(rect(gInst).right, rect(gShellStyle).left);
    EXPECT_LT(rect(gShellStyle).right, rect(gShellPath).left);

    std::vector<Nlm_Handle> stack = {Nlm_Parent(tKernel), gC, gCpp, gAdjust, Nlm_Parent(gInst), gTerm};
    if (GetParam())
        stack.insert(stack.end() - 1, gReg);
    for (size_t i = 1; i < stack.size(); i++)
        EXPECT_LE(rect(stack[i - 1]).bottom, rect(stack[i]).top) << "group " << i;

    std::vector<Nlm_GraphiC> buttons = children(gTerm);
    ASSERT_EQ(2u, buttons.size());
    EXPECT_EQ(Texts({"Setup", "Cancel"}), Texts({title(buttons[0]), title(buttons[1])}));
    Nlm_RecT row = rect(Nlm_Parent(tKernel)), setup = rect(buttons[0]), cancel = rect(buttons[1]);
    int before = setup.left - row.left, between = cancel.left - setup.right, after = row.right - cancel.right;
    EXPECT_GT(before, 0);
    EXPECT_EQ(before, between);
    EXPECT_GE(after, before);
    EXPECT_LE(after, before + 2) << "at most the remainder of a division by 3";
}

INSTANTIATE_TEST_SUITE_P(Registration, Layout, ::testing::Bool());

} // namespace
