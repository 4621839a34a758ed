/* The setup window as the user meets it: built for real on the X server,
 * read back through the toolkit's getters (and Motif's, for the menu). */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "support.h"
#include "window_menu.h"

/* The toolkit's own object links and shell widget (its internal header
 * cannot be included beside Motif's). */
extern "C" {
Nlm_GraphiC Nlm_GetChild(Nlm_GraphiC a);
Nlm_GraphiC Nlm_GetNext(Nlm_GraphiC a);
void *Nlm_GetWindowShell(Nlm_WindoW w);
}

namespace {

/* Sets or unsets an environment variable for one scope. */
class EnvVar {
public:
    explicit EnvVar(const char *name) : name_(name)
    {
        const char *value = getenv(name);
        had_ = value != NULL;
        if (had_)
            old_ = value;
    }
    ~EnvVar()
    {
        if (had_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    void set(const std::string &value) { setenv(name_.c_str(), value.c_str(), 1); }
    void unset() { unsetenv(name_.c_str()); }

private:
    std::string name_;
    std::string old_;
    bool had_;
};

int beeps = 0;
void LIBCALLBACK countBeep(void) { beeps++; }

std::string title(Nlm_Handle h)
{
    char buf[8192];
    buf[0] = '\0';
    Nlm_GetTitle(h, buf, sizeof buf);
    return buf;
}

Nlm_RecT rect(Nlm_Handle h)
{
    Nlm_RecT r = {0, 0, 0, 0};
    Nlm_GetPosition(h, &r);
    return r;
}

std::vector<Nlm_GraphiC> children(Nlm_Handle parent)
{
    std::vector<Nlm_GraphiC> list;
    for (Nlm_GraphiC c = Nlm_GetChild((Nlm_GraphiC)parent); c != NULL && list.size() < 100; c = Nlm_GetNext(c))
        list.push_back(c);
    return list;
}

std::string workingDirectory()
{
    char buf[8192];
    return getcwd(buf, sizeof buf) != NULL ? buf : "";
}

/* Hands the toolkit the events that have arrived until done() or the
 * deadline. */
template <typename Done>
bool pumpUntil(Done done, int milliseconds)
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

std::string commandOutput(const char *command)
{
    std::string out;
    FILE *p = popen(command, "r");
    if (p == NULL)
        return out;
    char buf[1024];
    while (fgets(buf, sizeof buf, p) != NULL)
        out += buf;
    pclose(p);
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

/* Each test builds a fresh window in its own scratch directory, with
 * SHELL, TMPDIR and the beep hook restored afterwards. */
class WindowTest : public ::testing::Test {
protected:
    WindowTest() : shell_("SHELL"), tmpdir_("TMPDIR") {}

    void SetUp() override
    {
        beeps = 0;
        previousBeep_ = Nlm_SetBeepHook(countBeep);
        shell_.set("/bin/tcsh");
        tmpdir_.set(scratch_ / "tmp");
        mkdir((scratch_ / "tmp").c_str(), 0700);
    }

    void TearDown() override
    {
        if (wSetup != NULL)
            Nlm_Remove(wSetup);
        Nlm_SetBeepHook(previousBeep_);
    }

    /* Builds the window; the build itself shows no alert. */
    void build()
    {
        if (wSetup != NULL)
            Nlm_Remove(wSetup);
        vt::AlertLog alerts;
        ASSERT_NE(nullptr, BuildSetupWindow());
        EXPECT_EQ(0u, alerts.count());
    }

    void choose(Nlm_GrouP group, Nlm_Int2 value, void (*action)(Nlm_GrouP))
    {
        Nlm_SetValue(group, value);
        action(group);
    }

    std::vector<Nlm_TexT> textFields() const
    {
        return {tKernel, tInclude, tLib, tCppName, tCppLib, Adjust[0].field, Adjust[1].field, Adjust[2].field};
    }

    vt::ScratchDir scratch_;
    EnvVar shell_;
    EnvVar tmpdir_;
    BeepHook previousBeep_ = NULL;
};

/* ---- Defaults and the state at first show */

class WindowDefaults : public WindowTest {};

TEST_F(WindowDefaults, FieldsHoldTheirDefaults)
{
    build();
    EXPECT_EQ("vartena 1.5 setup", title(wSetup));
    EXPECT_EQ("", title(tKernel));
    EXPECT_EQ("", title(tInclude));
    EXPECT_EQ("-lc -lm", title(tLib));
    EXPECT_EQ("c++", title(tCppName));
    EXPECT_EQ(" -O2 -fPIC -lc -lm", title(tCppLib));
}

TEST_F(WindowDefaults, TuningDefaultsAreTheTemplateValues)
{
    /* the whole EXTDIFF value of [Compiler], as the written file holds it */
    std::string extdiff, section;
    for (const std::string &line : vt::SplitLines(vt::ReadFile(vt::DataDir() + "/vartenarc.golden"))) {
        if (!line.empty() && line[0] == '[')
            section = line;
        else if (section == "[Compiler]" && line.compare(0, 8, "EXTDIFF=") == 0)
            extdiff = line.substr(8);
    }
    ASSERT_GT(extdiff.size(), 100u);

    build();
    for (int i = 0; i < TUNING_ENTRIES; i++)
        ASSERT_NE(nullptr, Adjust[i].field) << Adjust[i].label;
    EXPECT_EQ("lpr %s", title(Adjust[0].field));
    EXPECT_EQ("ghostview -a5 -magstep 0 %s", title(Adjust[1].field));
    EXPECT_EQ(extdiff, title(Adjust[2].field));
}

TEST_F(WindowDefaults, FirstShowStateIsUserWithCompilersDisabledAndShellHidden)
{
    build();
    Nlm_Show(wSetup);
    EXPECT_EQ(2, Nlm_GetValue(gInst));
    EXPECT_EQ("", title(tKernel));
    EXPECT_FALSE(Nlm_Enabled(gC));
    EXPECT_FALSE(Nlm_Enabled(gCpp));
    EXPECT_FALSE(Nlm_Enabled(iC));
    EXPECT_FALSE(Nlm_Enabled(iCpp));
    EXPECT_FALSE(Nlm_Visible(gShellStyle));
    EXPECT_FALSE(Nlm_Visible(gShellPath));
    EXPECT_FALSE(Nlm_Enabled(iShell));
    EXPECT_TRUE(Nlm_Enabled(gAdjust));
    EXPECT_TRUE(Nlm_Enabled(iKernel));
    EXPECT_TRUE(Nlm_Enabled(iInst));
    for (int i = 0; i < TUNING_ENTRIES; i++)
        EXPECT_TRUE(Nlm_Enabled(Adjust[i].item)) << Adjust[i].label;
    ASSERT_NE(nullptr, bReg);
    EXPECT_FALSE(Nlm_GetStatus(bReg));
    EXPECT_TRUE(Nlm_Visible(gReg));
}

/* ---- The Installation switch */

class InstallationSwitch : public WindowTest {};

TEST_F(InstallationSwitch, FullPutsTheWorkingDirectoryAndEnablesEverything)
{
    build();
    Nlm_SetTitle(tKernel, (Nlm_CharPtr) "/typed/before");
    choose(gInst, 1, InstActnProc);
    EXPECT_EQ(workingDirectory(), title(tKernel));
    EXPECT_TRUE(Nlm_Enabled(gC));
    EXPECT_TRUE(Nlm_Enabled(gCpp));
    EXPECT_TRUE(Nlm_Enabled(iC));
    EXPECT_TRUE(Nlm_Enabled(iCpp));
    EXPECT_TRUE(Nlm_Visible(gShellStyle));
    EXPECT_TRUE(Nlm_Visible(gShellPath));
    EXPECT_TRUE(Nlm_Enabled(iShell));
}

TEST_F(InstallationSwitch, UserKeepsTheDirectoryTextAndLeavesTuningAndNotice)
{
    build();
    choose(gInst, 1, InstActnProc);
    Nlm_SetTitle(tKernel, (Nlm_CharPtr) "/opt/vartena");
    choose(gInst, 2, InstActnProc);
    EXPECT_EQ("/opt/vartena", title(tKernel));
    EXPECT_FALSE(Nlm_Enabled(gC));
    EXPECT_FALSE(Nlm_Enabled(gCpp));
    EXPECT_FALSE(Nlm_Visible(gShellStyle));
    EXPECT_FALSE(Nlm_Visible(gShellPath));
    EXPECT_FALSE(Nlm_Enabled(iShell));
    EXPECT_TRUE(Nlm_Enabled(gAdjust));
    EXPECT_TRUE(Nlm_Enabled(Adjust[0].item));
    EXPECT_TRUE(Nlm_Visible(gReg));
    EXPECT_TRUE(Nlm_Enabled(bReg));
}

TEST_F(InstallationSwitch, DirectoryWithABlankIsSetUnchangedWithoutBeep)
{
    ASSERT_EQ(0, mkdir("my home", 0755));
    ASSERT_EQ(0, chdir("my home"));
    build();
    choose(gInst, 1, InstActnProc);
    EXPECT_EQ(scratch_ / "my home", title(tKernel));
    EXPECT_EQ(0, beeps);
    /* the user's next edit removes that blank */
    PathCheckProc(tKernel);
    EXPECT_EQ(scratch_ / "myhome", title(tKernel));
    EXPECT_EQ(1, beeps);
}

TEST_F(InstallationSwitch, DirectoryLongerThanTheSharedBufferIsSetWhole)
{
    std::string deep = scratch_.path();
    for (int i = 0; i < 6; i++) {
        deep += "/" + std::string(90, static_cast<char>('a' + i));
        ASSERT_EQ(0, mkdir(deep.c_str(), 0755));
    }
    ASSERT_GT(deep.size(), 560u);
    ASSERT_EQ(0, chdir(deep.c_str()));
    build();
    choose(gInst, 1, InstActnProc);
    EXPECT_EQ(deep, title(tKernel));
}

TEST_F(InstallationSwitch, LostWorkingDirectoryLeavesTheFieldAsItWas)
{
    ASSERT_EQ(0, mkdir("gone", 0755));
    ASSERT_EQ(0, chdir("gone"));
    ASSERT_EQ(0, rmdir((scratch_ / "gone").c_str()));
    build();
    Nlm_SetTitle(tKernel, (Nlm_CharPtr) "/opt/vartena");
    choose(gInst, 1, InstActnProc);
    EXPECT_EQ("/opt/vartena", title(tKernel));
    EXPECT_TRUE(Nlm_Enabled(gC));
}

/* ---- Shell style detection and the shell path */

class ShellStyle : public WindowTest {
protected:
    void detect(const char *shell, const char *file)
    {
        if (shell != NULL)
            shell_.set(shell);
        else
            shell_.unset();
        if (file != NULL)
            vt::WriteFile("shells.vtn", file);
        build();
    }
    std::string style() const { return shells[Nlm_GetValue(gShellStyle) - 1].name; }
};

TEST_F(ShellStyle, TcshWithoutFileIsCsh)
{
    detect("/bin/tcsh", NULL);
    EXPECT_EQ(1, Nlm_GetValue(gShellStyle));
    EXPECT_EQ("/bin/tcsh -f", title(tShellPath));
}

TEST_F(ShellStyle, MatchingLineWithCapitalKIsKsh)
{
    detect("/usr/local/bin/bash", "bash K\n");
    EXPECT_EQ("ksh", style());
    EXPECT_EQ("/usr/local/bin/bash ", title(tShellPath));
}

TEST_F(ShellStyle, LaterMatchingLineDecides)
{
    detect("/bin/bash", "bash k\nzsh c\nbash c\n");
    EXPECT_EQ("csh", style());
    detect("/bin/bash", "bash c\nbash k this text is ignored\n");
    EXPECT_EQ("ksh", style());
}

TEST_F(ShellStyle, LetterOtherThanCOrKLeavesTheEarlierDecision)
{
    detect("/bin/bash", "bash k\nbash x\nbash 7\n");
    EXPECT_EQ("ksh", style());
}

TEST_F(ShellStyle, IndentedLineMatches)
{
    detect("/bin/bash", "  \t bash   k\n");
    EXPECT_EQ("ksh", style());
}

TEST_F(ShellStyle, LinesStartingWithDigitOrHashNeverMatch)
{
    detect("/bin/bash", "# bash k\n#bash k\n1bash k\n\n");
    EXPECT_EQ("csh", style());
}

TEST_F(ShellStyle, NameWithoutLetterOrOtherNameDoesNotMatch)
{
    detect("/bin/bash", "bash\nbashx k\nbas k\n");
    EXPECT_EQ("csh", style());
}

TEST_F(ShellStyle, ShellWithoutSlashIsItsOwnBaseName)
{
    detect("bash", "bash k\n");
    EXPECT_EQ("ksh", style());
    EXPECT_EQ("bash ", title(tShellPath));
}

TEST_F(ShellStyle, UnsetShellIsCshWithAnEmptyPath)
{
    detect(NULL, "bash k\n");
    EXPECT_EQ("csh", style());
    EXPECT_EQ("", title(tShellPath));
}

TEST_F(ShellStyle, NamesOfTwentyCharactersNeverMatch)
{
    const std::string name19(19, 'n'), name20(20, 'n');
    detect(("/opt/" + name19).c_str(), (name19 + " k\n").c_str());
    EXPECT_EQ("ksh", style()) << "a 19-character name is a shell name";
    detect(("/opt/" + name20).c_str(), (name20 + " k\n").c_str());
    EXPECT_EQ("csh", style()) << "a 20-character base name is refused";
    detect(("/opt/" + name19).c_str(), (name20 + " k\n").c_str());
    EXPECT_EQ("csh", style()) << "a 20-character word is not cut to 19";
}

TEST_F(ShellStyle, RestOfAnOverlongLineIsNotReadAsALine)
{
    detect("/bin/bash", (std::string(499, 'x') + "bash k\n").c_str());
    EXPECT_EQ("csh", style());
    detect("/bin/bash", (std::string(600, 'x') + "\nbash k\n").c_str());
    EXPECT_EQ("ksh", style()) << "the line after a long one is read";
}

TEST_F(ShellStyle, ShellTooLongForThePathLeavesItEmpty)
{
    const std::string dir = "/" + std::string(492, 'd');
    detect((dir + "/bash").c_str(), "bash k\n");
    EXPECT_EQ("ksh", style());
    EXPECT_EQ(dir + "/bash ", title(tShellPath)) << "499 characters fit";
    detect((dir + "d/bash").c_str(), "bash k\n");
    EXPECT_EQ("ksh", style());
    EXPECT_EQ("", title(tShellPath));
}

TEST_F(ShellStyle, SwitchRebuildsAnEditedPathFromShell)
{
    detect("/bin/zsh", NULL);
    Nlm_SetTitle(tShellPath, (Nlm_CharPtr) "/my/edited/shell");
    choose(gShellStyle, 2, ShellStyleProc);
    EXPECT_EQ("/bin/zsh ", title(tShellPath));
    Nlm_SetTitle(tShellPath, (Nlm_CharPtr) "/my/edited/shell");
    choose(gShellStyle, 1, ShellStyleProc);
    EXPECT_EQ("/bin/zsh -f", title(tShellPath));
}

/* ---- The directory check */

class DirectoryCheck : public WindowTest {};

TEST_F(DirectoryCheck, RemovesTheFirstBlankBackslashOrCommaPerCallWithABeep)
{
    build();
    Nlm_SetTitle(tKernel, (Nlm_CharPtr) "/a b,c\\d e");
    EXPECT_EQ(0, beeps) << "setting the text runs no check";
    const char *steps[] = {"/ab,c\\d e", "/abc\\d e", "/abcd e", "/abcde"};
    for (int i = 0; i < 4; i++) {
        PathCheckProc(tKernel);
        EXPECT_EQ(steps[i], title(tKernel));
        EXPECT_EQ(i + 1, beeps);
    }
    PathCheckProc(tKernel);
    EXPECT_EQ("/abcde", title(tKernel));
    EXPECT_EQ(4, beeps);
}

TEST_F(DirectoryCheck, TypedKeysAreCheckedAsTheyArrive)
{
    build();
    Nlm_Show(wSetup);
    int x = 0, y = 0;
    ASSERT_TRUE(pumpUntil([&] { return WindowOrigin(Nlm_GetWindowShell(wSetup), &x, &y); }, 3000));
    pumpUntil([] { return false; }, 200);
    Nlm_Select(wSetup);
    Nlm_Select(tKernel);
    pumpUntil([] { return false; }, 200);
    std::string keys = "xdotool mousemove " + std::to_string(x + 20) + " " + std::to_string(y + 20) +
                       " type --delay 40 'a b,c\\d' &";
    ASSERT_EQ(0, vt::Shell(keys));
    pumpUntil([] { return title(tKernel).size() >= 4 && beeps >= 3; }, 8000);
    pumpUntil([] { return false; }, 300);
    EXPECT_EQ("abcd", title(tKernel));
    EXPECT_EQ(3, beeps);
}

/* ---- The Help menu */

class HelpMenu : public WindowTest {
protected:
    std::vector<std::string> labels()
    {
        std::vector<std::string> out;
        for (const MenuLine &line : MenuLines(Nlm_GetWindowShell(wSetup), "Help"))
            out.push_back(std::string(line.depth, '>') + line.label + (line.sensitive ? "" : " (off)"));
        return out;
    }
};

TEST_F(HelpMenu, ItemsInOrderWithTuningSubmenu)
{
    build();
    std::vector<std::string> expected = {"VARTENA directory", "C compiler (off)", "C++ compiler (off)",
                                         "Tuning", ">Printer command", ">PostScript previewer",
                                         ">External differentiator", "Installation", "Shell (off)"};
    EXPECT_EQ(expected, labels());
}

TEST_F(HelpMenu, FullEnablesCompilerAndShellItems)
{
    build();
    choose(gInst, 1, InstActnProc);
    std::vector<std::string> expected = {"VARTENA directory", "C compiler", "C++ compiler",
                                         "Tuning", ">Printer command", ">PostScript previewer",
                                         ">External differentiator", "Installation", "Shell"};
    EXPECT_EQ(expected, labels());
}

/* ---- The install-notice preview */

class NoticePreview : public WindowTest {
protected:
    std::vector<std::string> shownLines()
    {
        std::vector<std::string> lines;
        for (Nlm_GraphiC c : children(gReg)) {
            std::vector<Nlm_GraphiC> inner = children(c);
            if (inner.empty())
                lines.push_back(title(c));
            for (Nlm_GraphiC line : inner)
                lines.push_back("  " + title(line));
        }
        return lines;
    }
};

TEST_F(NoticePreview, ShowsTheVersionLineWithUAndTheSystem)
{
    build();
    ASSERT_NE(nullptr, gReg);
    std::vector<std::string> expected = {
        "I authorize the following e-mail message be sent to the authors:",
        "  VARTENA 1.5u installed on",
        "  " + commandOutput("uname -a"),
        "This data will be used to notify you about new versions of Vartena"};
    EXPECT_EQ(expected, shownLines());
    EXPECT_EQ(bReg, (Nlm_ButtoN)children(gReg)[0]);
    choose(gInst, 1, InstActnProc);
    EXPECT_EQ(expected, shownLines()) << "the preview keeps u on Full";
}

TEST_F(NoticePreview, NoRegistrationGroupWhenNoScratchDirectoryCanBeMade)
{
    tmpdir_.set(scratch_ / "no-such-directory");
    build();
    EXPECT_EQ(nullptr, gReg);
    EXPECT_EQ(nullptr, bReg);
    EXPECT_EQ(2u, children(gTerm).size());
    EXPECT_EQ("-lc -lm", title(tLib));
    EXPECT_FALSE(vt::Exists("del3"));
}

TEST_F(NoticePreview, UserFilesNamedLikeThePreviewFilesSurvive)
{
    vt::WriteFile("del1", "first user file\n");
    vt::WriteFile("del2", "second\nuser file\n", 0600);
    vt::WriteFile("del3", "third, without line feed");
    const std::string listing = commandOutput("ls -A");
    build();
    EXPECT_EQ("first user file\n", vt::ReadFile("del1"));
    EXPECT_EQ("second\nuser file\n", vt::ReadFile("del2"));
    EXPECT_EQ(0600, vt::FileMode("del2"));
    EXPECT_EQ("third, without line feed", vt::ReadFile("del3"));
    EXPECT_EQ(listing, commandOutput("ls -A"));
    EXPECT_EQ("", commandOutput(("ls -A '" + (scratch_ / "tmp") + "'").c_str()))
        << "the private directory is removed";
}

/* ---- Commands in a private directory */

class PrivateDirectory : public WindowTest {
protected:
    static std::string seenDir, seenText;
    static int reads;
    static void record(const char *dir)
    {
        reads++;
        seenDir = dir;
        seenText = vt::ReadFile(std::string(dir) + "/out");
    }
    void SetUp() override
    {
        WindowTest::SetUp();
        seenDir.clear();
        seenText.clear();
        reads = 0;
    }
};
std::string PrivateDirectory::seenDir, PrivateDirectory::seenText;
int PrivateDirectory::reads;

TEST_F(PrivateDirectory, CommandRunsThereAndTheDirectoryIsRemovedAfterTheRead)
{
    EXPECT_TRUE(RunInScratchDir("mkdir sub; echo made > sub/f; pwd -P > out", record));
    EXPECT_EQ(1, reads);
    EXPECT_EQ(seenDir + "\n", seenText);
    EXPECT_EQ(0u, seenDir.find(scratch_ / "tmp/vartena-")) << seenDir;
    EXPECT_FALSE(vt::Exists(seenDir));
    EXPECT_FALSE(vt::Exists("out"));
    EXPECT_FALSE(vt::Exists("sub"));
}

TEST_F(PrivateDirectory, DirectoryWithAQuoteIsQuotedForTheShell)
{
    const std::string odd = scratch_ / "it's here";
    ASSERT_EQ(0, mkdir(odd.c_str(), 0700));
    tmpdir_.set(odd);
    EXPECT_TRUE(RunInScratchDir("pwd -P > out", record));
    EXPECT_EQ(1, reads);
    EXPECT_EQ(0u, seenText.find(odd + "/vartena-")) << seenText;
    EXPECT_FALSE(vt::Exists("out"));
}

TEST_F(PrivateDirectory, NoDirectoryMeansNoRunAndNoRead)
{
    tmpdir_.set(scratch_ / "missing");
    EXPECT_FALSE(RunInScratchDir("echo ran > out", record));
    EXPECT_EQ(0, reads);
    EXPECT_FALSE(vt::Exists("out"));
}

/* ---- Layout after construction */

class Layout : public WindowTest {
protected:
    void expectFieldsShareEdges()
    {
        std::vector<Nlm_TexT> fields = textFields();
        Nlm_RecT first = rect(fields[0]);
        for (size_t i = 1; i < fields.size(); i++) {
            ASSERT_NE(nullptr, fields[i]);
            EXPECT_EQ(first.left, rect(fields[i]).left) << "field " << i;
            EXPECT_EQ(first.right, rect(fields[i]).right) << "field " << i;
        }
        EXPECT_GE(rect(tShellPath).right, rect(tKernel).right);
        EXPECT_GT(rect(tShellPath).right - rect(tShellPath).left, 100);
    }
};

TEST_F(Layout, TextFieldsShareOneLeftAndOneRightEdge)
{
    build();
    expectFieldsShareEdges();
}

TEST_F(Layout, SwitchBoxesShareOneBottomEdgeSideBySide)
{
    build();
    Nlm_RecT inst = rect(gInst), style = rect(gShellStyle), path = rect(gShellPath);
    EXPECT_EQ(inst.bottom, style.bottom);
    EXPECT_EQ(inst.bottom, path.bottom);
    EXPECT_LT(inst.right, style.left);
    EXPECT_LT(style.right, path.left);
}

TEST_F(Layout, ButtonsSpreadOverTheDirectoryRowWithThreeEqualGaps)
{
    build();
    std::vector<Nlm_GraphiC> buttons = children(gTerm);
    ASSERT_EQ(2u, buttons.size());
    EXPECT_EQ("Setup", title(buttons[0]));
    EXPECT_EQ("Cancel", title(buttons[1]));
    Nlm_RecT row = rect(Nlm_Parent(tKernel)), setup = rect(buttons[0]), cancel = rect(buttons[1]);
    int before = setup.left - row.left, between = cancel.left - setup.right, after = row.right - cancel.right;
    EXPECT_GT(before, 0);
    EXPECT_EQ(before, between);
    EXPECT_GE(after, before);
    EXPECT_LE(after, before + 2) << "at most the rounding of a division by 3";
}

TEST_F(Layout, GroupsStackInTheOrderMade)
{
    build();
    std::vector<Nlm_Handle> stack = {Nlm_Parent(tKernel), gC, gCpp, gAdjust, Nlm_Parent(gInst), gReg, gTerm};
    for (size_t i = 1; i < stack.size(); i++)
        EXPECT_LE(rect(stack[i - 1]).bottom, rect(stack[i]).top) << "group " << i;
}

TEST_F(Layout, WithoutRegistrationTheFieldsStillShareTheirEdges)
{
    tmpdir_.set(scratch_ / "no-such-directory");
    build();
    ASSERT_EQ(nullptr, bReg);
    expectFieldsShareEdges();
}

} // namespace
