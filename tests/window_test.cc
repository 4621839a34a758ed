/* The setup window as the user meets it: built for real on the X server,
 * read back through the toolkit's getters (and Motif's, for the menu). */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "support.h"
#include "widgets.h"
#include "window_menu.h"

/* The toolkit's shell widget (its internal header clashes with Motif's). */
extern "C" void *Nlm_GetWindowShell(Nlm_WindoW w);

namespace {

using vt::children;
using vt::rect;
using vt::title;
typedef std::vector<std::string> Texts;

int beeps = 0;
void LIBCALLBACK countBeep(void) { beeps++; }

/* The standard output of a shell command line, without its last line feed. */
std::string output(const std::string &command)
{
    std::string out;
    char buf[1024];
    FILE *p = popen(command.c_str(), "r");
    for (size_t n; p != NULL && (n = fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    if (p != NULL)
        pclose(p);
    if (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

/* Each test builds its window in its own scratch directory with SHELL
 * /bin/tcsh and TMPDIR a directory whose name holds a quote; SHELL, TMPDIR
 * and the beep hook are restored afterwards. */
class Window : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *name : {"SHELL", "TMPDIR"})
            saved_.emplace_back(name, getenv(name) != NULL ? getenv(name) : "");
        beeps = 0;
        previousBeep_ = Nlm_SetBeepHook(countBeep);
        setenv("SHELL", "/bin/tcsh", 1);
        setenv("TMPDIR", tmp_.c_str(), 1);
        mkdir(tmp_.c_str(), 0700);
    }
    void TearDown() override
    {
        if (wSetup != NULL)
            Nlm_Remove(wSetup);
        wSetup = NULL;
        Nlm_SetBeepHook(previousBeep_);
        for (const auto &env : saved_)
            env.second.empty() ? unsetenv(env.first) : setenv(env.first, env.second.c_str(), 1);
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
    Texts helpMenu() { return MenuItems(Nlm_GetWindowShell(wSetup), "Help"); }

    vt::ScratchDir scratch_;
    const std::string tmp_ = scratch_ / "it's tmp";
    std::vector<std::pair<const char *, std::string>> saved_; /* "" for unset */
    BeepHook previousBeep_ = NULL;
};

TEST_F(Window, FirstShowsDefaultsOnUserWithCompilersOffAndShellHidden)
{
    const char extdiff[] =
        "maple -q <%s >tmp.mo;grep '[ts][0-9]* =' tmp.mo|awk '{print \"double \",$1,\";\"}'|sort -u|cat - tmp.mo >%s";
    build();
    Nlm_Show(wSetup);
    EXPECT_EQ(Texts({"vartena 1.5 setup", "", "", "-lc -lm", "c++", " -O2 -fPIC -lc -lm", "lpr %s",
                     "ghostview -a5 -magstep 0 %s", extdiff}),
              Texts({title(wSetup), title(tKernel), title(tInclude), title(tLib), title(tCppName),
                     title(tCppLib), title(Adjust[0].field), title(Adjust[1].field), title(Adjust[2].field)}));
    EXPECT_EQ(2, Nlm_GetValue(gInst));
    EXPECT_FALSE(Nlm_Enabled(gC) || Nlm_Enabled(gCpp) || Nlm_Enabled(iC) || Nlm_Enabled(iCpp));
    EXPECT_FALSE(Nlm_Visible(gShellStyle) || Nlm_Visible(gShellPath) || Nlm_Enabled(iShell));
    EXPECT_TRUE(Nlm_Enabled(gAdjust) && Nlm_Visible(gReg) && !Nlm_GetStatus(bReg));
    EXPECT_EQ(Texts({"VARTENA directory", "C compiler (off)", "C++ compiler (off)", "Tuning", ">Printer command",
                     ">PostScript previewer", ">External differentiator", "Installation", "Shell (off)"}),
              helpMenu());
}

TEST_F(Window, FullTakesTheWholeWorkingDirectoryAndUserKeepsTheText)
{
    std::string rest; /* with "my home", a blank and more than ParBuf's 499 characters */
    for (char c = 'a'; c < 'g'; c++)
        rest += "/" + std::string(90, c);
    const std::string deep = scratch_ / "my home" + rest;
    ASSERT_EQ(0, vt::Shell("mkdir -p '" + deep + "'"));
    ASSERT_EQ(0, chdir(deep.c_str()));
    build();
    Nlm_SetTitle(tKernel, (Nlm_CharPtr) "/typed");
    install(1);
    EXPECT_EQ(deep, title(tKernel));
    EXPECT_EQ(0, beeps) << "setting the text runs no check";
    EXPECT_TRUE(Nlm_Enabled(gC) && Nlm_Enabled(gCpp) && Nlm_Visible(gShellStyle) && Nlm_Visible(gShellPath));
    EXPECT_EQ(Texts({"VARTENA directory", "C compiler", "C++ compiler", "Tuning", ">Printer command",
                     ">PostScript previewer", ">External differentiator", "Installation", "Shell"}),
              helpMenu());
    PathCheckProc(tKernel);
    EXPECT_EQ(scratch_ / "myhome" + rest, title(tKernel));
    EXPECT_EQ(1, beeps);

    Nlm_SetTitle(tKernel, (Nlm_CharPtr) "/opt/vartena");
    install(2);
    EXPECT_EQ("/opt/vartena", title(tKernel));
    EXPECT_FALSE(Nlm_Enabled(gC) || Nlm_Enabled(gCpp) || Nlm_Visible(gShellStyle) || Nlm_Enabled(iShell));
    EXPECT_TRUE(Nlm_Enabled(gAdjust) && Nlm_Enabled(Adjust[0].item) && Nlm_Visible(gReg) && Nlm_Enabled(bReg));
    ASSERT_EQ(0, rmdir(deep.c_str()));
    install(1);
    EXPECT_EQ("/opt/vartena", title(tKernel)) << "no working directory: the text stays";
    EXPECT_TRUE(Nlm_Enabled(gC));
}

TEST_F(Window, ShellStyleComesFromShellAndTheLastMatchingLine)
{
    const std::string n19(19, 'n'), n20(20, 'n'), d492 = "/" + std::string(492, 'd');
    /* SHELL ("-": unset), shells.vtn ("-": none), style chosen, shell path */
    const struct { std::string shell, file, style, path; } cases[] = {
        {"/bin/tcsh", "-", "csh", "/bin/tcsh -f"},
        {"/bin/sh", "-", "ksh", "/bin/sh "}, /* without a deciding line, the shell's family */
        {"/usr/bin/dash", "-", "ksh", "/usr/bin/dash "},
        {"/usr/bin/fish", "-", "csh", "/usr/bin/fish -f"},
        {"/usr/local/bin/bash", "bash K\n", "ksh", "/usr/local/bin/bash "},
        {"/bin/bash", "bash k\nzsh c\nbash c\n", "csh", "/bin/bash -f"},
        {"/bin/bash", "bash c\nbash k text after the letter\n", "ksh", "/bin/bash "},
        {"/bin/bash", "bash c\nbash x\nbash 7\n", "csh", "/bin/bash -f"},
        {"/bin/bash", "  \t bash \t c\n", "csh", "/bin/bash -f"},
        {"/bin/bash", "# bash c\n#bash c\n1bash c\n\n", "ksh", "/bin/bash "},
        {"/bin/bash", "bash\nbashx c\nbas c\n", "ksh", "/bin/bash "},
        {"bash", "bash c\n", "csh", "bash -f"},
        {"-", "bash k\n", "csh", ""},
        {"/opt/" + n19, n19 + " k\n", "ksh", "/opt/" + n19 + " "},
        {"/opt/" + n20, n20 + " k\n", "csh", "/opt/" + n20 + " -f"},
        {"/opt/" + n19, n20 + " k\n", "csh", "/opt/" + n19 + " -f"},
        {"/bin/bash", std::string(499, 'x') + "bash c\n", "ksh", "/bin/bash "},
        {"/bin/bash", std::string(600, 'x') + "\nbash c\n", "csh", "/bin/bash -f"},
        {d492 + "/bash", "bash k\n", "ksh", d492 + "/bash "},
        {d492 + "d/bash", "bash k\n", "ksh", ""},
        {"/bin/tcsh", "<pipe>", "csh", "/bin/tcsh -f"}, /* never read: no hang */
        {"/bin/bash", "<zero>", "ksh", "/bin/bash "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.shell.substr(0, 40) + " / " + c.file.substr(0, 40));
        c.shell == "-" ? unsetenv("SHELL") : setenv("SHELL", c.shell.c_str(), 1);
        unlink("shells.vtn");
        if (c.file == "<pipe>")
            ASSERT_EQ(0, mkfifo("shells.vtn", 0644));
        else if (c.file == "<zero>")
            ASSERT_EQ(0, symlink("/dev/zero", "shells.vtn"));
        else if (c.file != "-")
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
    Nlm_Select(wSetup);
    Nlm_Select(tKernel);
    vt::pump(300);
    ASSERT_EQ(0, vt::Shell("xdotool search --sync --onlyvisible --name '^vartena 1.5 setup$' "
                           "mousemove --window %1 20 20 type --delay 40 'a b,c\\d' &"));
    vt::pump(8000, [] { return beeps >= 3 && title(tKernel).size() >= 4; });
    vt::pump(300);
    EXPECT_EQ("abcd", title(tKernel));
    EXPECT_EQ(3, beeps);
}

/* The preview runs in a private directory under TMPDIR (its name quoted for
 * the shell) that is gone afterwards; del1..del3 here are never touched. */
TEST_F(Window, PreviewShowsTheVersionLineOfTheInstallationKindAndLeavesUserFilesAlone)
{
    vt::WriteFile("del1", "first user file\n");
    vt::WriteFile("del2", "second\n", 0600);
    vt::WriteFile("del3", "third, no line feed");
    const std::string listing = output("ls -l --time-style=+%s.%N del?; ls -A");
    build();
    ASSERT_NE(nullptr, gReg);
    Texts shown;
    for (Nlm_GraphiC c : children(gReg)) {
        std::vector<Nlm_GraphiC> lines = children(c);
        if (lines.empty())
            shown.push_back(title(c));
        for (Nlm_GraphiC line : lines)
            shown.push_back("  " + title(line));
    }
    EXPECT_EQ(Texts({"I authorize the following e-mail message be sent to the authors:",
                     "  VARTENA 1.5u installed on", "  " + output("uname -a"),
                     "This data will be used to notify you about new versions of Vartena"}),
              shown);
    EXPECT_EQ(bReg, (Nlm_ButtoN)children(gReg)[0]);
    Nlm_GraphiC version = children(children(gReg)[1])[0];
    for (int kind : {1, 2, 1}) {
        Nlm_SetValue(gInst, static_cast<Nlm_Int2>(kind));
        InstActnProc(gInst);
        EXPECT_EQ(kind == 1 ? "VARTENA 1.5m installed on" : "VARTENA 1.5u installed on", title(version))
            << "the text shown is the text sent";
    }
    EXPECT_EQ(listing, output("ls -l --time-style=+%s.%N del?; ls -A"));
    EXPECT_EQ(0, rmdir(tmp_.c_str())) << "the private directory is gone";
}

/* The layout after construction, with and without the Registration group
 * (none when the preview has no private directory: nothing runs here). */
class Layout : public Window, public ::testing::WithParamInterface<bool> {};

TEST_P(Layout, FieldsShareEdgesBoxesShareABottomAndButtonsAreSpread)
{
    if (!GetParam())
        setenv("TMPDIR", (scratch_ / "no-such-directory").c_str(), 1);
    build();
    EXPECT_EQ(GetParam(), gReg != NULL);
    EXPECT_EQ(GetParam(), bReg != NULL);
    EXPECT_FALSE(vt::Exists("del3"));
    for (Nlm_TexT field : {tInclude, tLib, tCppName, tCppLib, Adjust[0].field, Adjust[1].field, Adjust[2].field}) {
        EXPECT_EQ(rect(tKernel).left, rect(field).left);
        EXPECT_EQ(rect(tKernel).right, rect(field).right);
    }
    EXPECT_GE(rect(tShellPath).right, rect(tKernel).right);
    EXPECT_EQ(rect(gInst).bottom, rect(gShellStyle).bottom);
    EXPECT_EQ(rect(gInst).bottom, rect(gShellPath).bottom);
    EXPECT_TRUE(rect(gInst).right < rect(gShellStyle).left && rect(gShellStyle).right < rect(gShellPath).left);

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
