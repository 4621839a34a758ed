/* The setup program as the user meets it, in process on the X server: the
 * window, its field help and the installation run, with alerts captured.
 * A run that ends leaves its buttons off; one that stops gives them back. */
#include <gtest/gtest.h>

#include "harness.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <dlfcn.h>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

/* The root of the toolkit's window list. */
extern "C" Nlm_WindoW Nlm_desktopWindow;

namespace {

using vt::children;
using vt::rect;
using vt::SetText;
using vt::Texts;
using vt::title;

const std::string kNoCompile = "Cannot compile autodif.cc.\nSymbolical differentiation feature will be disabled.\n"
                               "Please check the name of C++ compiler\nand ensure it is accessable via the PATH variable";

int beeps;
void LIBCALLBACK countBeep(void) { beeps++; }

std::string digest(const std::string &path, const std::string &home = "")
{
    return vt::Output((home.empty() ? "cat" : "sed 's|" + home + "|HOME|g'") + " '" + path + "' | sha256sum | cut -c1-16");
}

class SetupWindow : public ::testing::Test {
protected:
    void SetUp() override { Nlm_SetBeepHook(countBeep); }
    void TearDown() override
    {
        if (wSetup != NULL)
            Nlm_Remove(wSetup);
        wSetup = NULL;
    }
    void build()
    {
        if (wSetup != NULL)
            Nlm_Remove(wSetup);
        vt::AlertLog alerts;
        ASSERT_NE(nullptr, BuildSetupWindow());
        EXPECT_EQ(0u, alerts.count());
    }
    void install(int kind)
    {
        Nlm_SetValue(gInst, static_cast<Nlm_Int2>(kind));
        InstActnProc(gInst);
    }
    vt::ScratchDir scratch_;
    vt::EnvSetting shell_{"SHELL", "/bin/tcsh"}, tmp_{"TMPDIR", scratch_ / "it's tmp"};
};

TEST_F(SetupWindow, DefaultsSwitchesLayoutAndThePreview)
{
    mkdir((scratch_ / "it's tmp").c_str(), 0700);
    vt::WriteFile("del1", "a user's file\n");
    const std::string files = vt::Output("ls -l --time-style=+%s.%N del1; ls -A; cat del1");
    build();
    EXPECT_EQ(Texts({"vartena 1.5 setup", "", "", "-lc -lm", "c++", " -O2 -fPIC -lc -lm", "lpr %s",
                     "ghostview -a5 -magstep 0 %s", "/bin/tcsh -f"}),
              Texts({title(wSetup), title(tKernel), title(tInclude), title(tLib), title(tCppName), title(tCppLib),
                     title(Adjust[0].field), title(Adjust[1].field), title(tShellPath)}));
    EXPECT_EQ(0u, title(Adjust[2].field).find("maple -q <%s >tmp.mo;grep"));
    EXPECT_EQ(2, Nlm_GetValue(gInst));
    EXPECT_FALSE(Nlm_Enabled(gC) || Nlm_Enabled(gCpp) || Nlm_Enabled(iC) || Nlm_Enabled(iCpp) ||
                 Nlm_Visible(gShellStyle) || Nlm_Visible(gShellPath) || Nlm_Enabled(iShell) || Nlm_GetStatus(bReg));
    for (Nlm_TexT f : {tInclude, tLib, tCppName, tCppLib, Adjust[0].field, Adjust[1].field, Adjust[2].field})
        EXPECT_TRUE(rect(f).left == rect(tKernel).left && rect(f).right == rect(tKernel).right);
    EXPECT_GE(rect(tShellPath).right, rect(tKernel).right);
    EXPECT_TRUE(rect(gInst).bottom == rect(gShellStyle).bottom && rect(gShellPath).bottom == rect(gInst).bottom);
    std::vector<Nlm_GraphiC> buttons = children(gTerm);
    ASSERT_EQ(2u, buttons.size());
    Nlm_RecT row = rect(Nlm_Parent(tKernel)), setup = rect(buttons[0]), cancel = rect(buttons[1]);
    int before = setup.left - row.left, after = row.right - cancel.right;
    EXPECT_TRUE(before > 0 && before == cancel.left - setup.right && after >= before && after <= before + 2)
        << "three equal gaps";
    EXPECT_TRUE(!Nlm_Visible(pStatus) && rect(pStatus).left == rect(gTerm).left &&
                rect(pStatus).top >= rect(gTerm).top && rect(pStatus).bottom <= rect(gTerm).bottom)
        << "the status line lies hidden over the buttons";

    Texts shown;
    for (Nlm_GraphiC c : children(gReg))
        for (Nlm_GraphiC line : children(c).empty() ? std::vector<Nlm_GraphiC>{c} : children(c))
            shown.push_back(title(line));
    EXPECT_EQ(Texts({"I authorize the following e-mail message be sent to the authors:", "VARTENA 1.5u installed on",
                     vt::Output("uname -a"), "This data will be used to notify you about new versions of Vartena"}),
              shown);
    install(1);
    EXPECT_EQ("VARTENA 1.5m installed on", title(children(children(gReg)[1])[0])) << "the text shown is the text sent";
    EXPECT_EQ(scratch_.path(), title(tKernel));
    EXPECT_TRUE(Nlm_Enabled(gC) && Nlm_Enabled(gCpp) && Nlm_Visible(gShellStyle) && Nlm_Enabled(iShell));
    SetText(tKernel, "/a b,c\\d");
    install(2);
    EXPECT_EQ("/a b,c\\d", title(tKernel)) << "User keeps the text";
    EXPECT_FALSE(Nlm_Enabled(gC) || Nlm_Visible(gShellPath));
    beeps = 0;
    Texts seen;
    for (int i = 0; i < 4; i++) {
        PathCheckProc(tKernel);
        seen.push_back(title(tKernel) + std::to_string(beeps));
    }
    EXPECT_EQ(Texts({"/ab,c\\d1", "/abc\\d2", "/abcd3", "/abcd3"}), seen) << "one blank, comma or backslash a check";
    EXPECT_EQ(files, vt::Output("ls -l --time-style=+%s.%N del1; ls -A; cat del1")) << "the preview touches no file here";
    EXPECT_EQ(0, rmdir((scratch_ / "it's tmp").c_str())) << "its private directory is gone";
    build();
    EXPECT_TRUE(gReg == NULL && bReg == NULL) << "no preview without a private directory";
}

TEST_F(SetupWindow, ShellStyleFromShellItsFamilyAndTheLastMatchingLine)
{
    const std::string n19(19, 'n'), n20(20, 'n'), d492 = "/" + std::string(492, 'd');
    /* SHELL ("-": unset), shells.vtn ("-": none), style, shell path */
    const struct { std::string shell, file, style, path; } cases[] = {
        {"/bin/tcsh", "-", "csh", "/bin/tcsh -f"},
        {"/bin/sh", "-", "ksh", "/bin/sh "},
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
        if (c.file == "<pipe>" || c.file == "<zero>")
            ASSERT_EQ(0, c.file == "<pipe>" ? mkfifo("shells.vtn", 0644) : symlink("/dev/zero", "shells.vtn"));
        else if (c.file != "-")
            vt::WriteFile("shells.vtn", c.file);
        build();
        EXPECT_EQ(c.style, shells[Nlm_GetValue(gShellStyle) - 1].name);
        EXPECT_EQ(c.path, title(tShellPath));
    }
    setenv("SHELL", "/bin/zsh", 1);
    for (Nlm_Int2 style : {1, 2}) {
        SetText(tShellPath, "/edited");
        Nlm_SetValue(gShellStyle, style);
        ShellStyleProc(gShellStyle);
        EXPECT_EQ(std::string("/bin/zsh") + shells[style - 1].option, title(tShellPath)) << "rebuilt from SHELL";
    }
}

/* Every window the toolkit holds but its desktop window, oldest first. */
std::vector<Nlm_WindoW> windows()
{
    std::vector<Nlm_WindoW> list;
    for (Nlm_GraphiC w = Nlm_GetNext((Nlm_GraphiC)Nlm_desktopWindow); w != NULL; w = Nlm_GetNext(w))
        list.insert(list.begin(), (Nlm_WindoW)w);
    return list;
}

TEST_F(SetupWindow, HelpItemsOpenAWindowEachAndClosingOneSelectsTheLastLiving)
{
    build();
    Nlm_Show(wSetup);
    Nlm_Select(wSetup);
    const size_t setupOnly = windows().size();
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
    std::vector<Nlm_WindoW> opened;
    for (const auto &c : items) {
        Nlm_WindoW previous = Nlm_CurrentWindow();
        HelpProc(c.item);
        ASSERT_EQ(setupOnly + opened.size() + 1, windows().size()) << c.first;
        Nlm_WindoW w = windows().back();
        EXPECT_EQ(previous, msgPrevWin);
        EXPECT_EQ("", title(w));
        std::string shape, first;
        for (Nlm_GraphiC p : children(children(w)[0])) {
            shape += title(p) == " " ? '.' : 'x';
            first = first.empty() ? title(p) : first;
        }
        EXPECT_EQ(std::string(c.rows) + " " + c.first, shape + " " + first);
        opened.push_back(w);
    }
    HelpProc(NULL);
    EXPECT_EQ(setupOnly + opened.size(), windows().size()) << "no item, no window";
    msgCloseProc(opened[7]);
    EXPECT_EQ(opened[6], Nlm_CurrentWindow()) << "the window current before the closed one";
    msgCloseProc(opened[5]);
    vt::pump(100);
    msgCloseProc(opened[6]);
    EXPECT_EQ(wSetup, Nlm_CurrentWindow()) << "never a closed one";
    for (int i = 0; i < 5; i++)
        msgCloseProc(opened[i]);
    vt::pump(100);
    EXPECT_EQ(setupOnly, windows().size());
}

using Installation = vt::RunFixture;

/* A Full run writes every file of the templates and every key of the
 * window; a User run in another directory only its own files. */
TEST_F(Installation, FullAndUserWriteTheTemplatesAndTheWindowsValues)
{
    vt::EnvSetting skip("NCBI_DONT_USE_LOCAL_CONFIG", "1"), shared("NCBI", scratch_.path());
    vt::WriteFile(scratch_ / "vartenarc", "[Paths]\nKERNEL=/elsewhere/\n");
    full(true);
    SetText(tKernel, home_ + "/");
    SetText(Adjust[0].field, "  lpr -Pcolour %s \t");
    SetText(Adjust[1].field, "    ");
    ASSERT_TRUE(run()) << (alerts_.count() ? alerts_.texts()[0] : "");
    EXPECT_EQ(Texts(), alerts_.texts());
    const struct { const char *file; int mode; std::string digest; } files[] = {
        {"init.cpf", 0444, "6b42f6b4390d207e"}, {"palette.cpf", 0644, "406b6c9677b3e2f4"},
        {"vtn_sys.h", 0444, "c726de7a84dc67a6"}, {"CompRhs", 0755, "?"}, {"filenums.cpf", 0644, "?"},
        {".vartenarc", 0644, "?"}};
    for (const auto &f : files) {
        EXPECT_EQ(f.mode, vt::FileMode(f.file)) << f.file;
        EXPECT_TRUE(f.digest == "?" || f.digest == digest(f.file)) << f.file;
    }
    EXPECT_EQ("-", vt::ReadFile("filenums.cpf"));
    Texts script = vt::Lines(vt::ReadFile("CompRhs")), rc = vt::Lines(vt::ReadFile(".vartenarc"));
    EXPECT_EQ(21u, script.size());
    EXPECT_EQ("cc -c -O2 -fPIC -o delete.o -I" + home_ + "/ $1.c >&ErrLog", script[2]);
    EXPECT_EQ("   ./tmp_der >>&ErrLog1", script[11]) << "leading blanks kept";
    EXPECT_EQ(215u, rc.size()) << "the template's lines, values filled in";
    const struct { const char *section, *key; std::string expected; } keys[] = {
        {"Paths", "KERNEL", home_ + "/"}, {"Paths", "KERNELW", "./"}, {"Compiler", "INCLUDE", " -I" + home_ + "/"},
        {"Compiler", "LIB", "-lc -lm"}, {"Compiler", "CPPNAME", "c++"}, {"Compiler", "CPPLIB", " -O2 -fPIC -lc -lm"},
        {"Visual", "HCPRINTER", "lpr -Pcolour %s"}, {"Visual", "HCVIEWER", "`"}, {"Libraries", "AUTODIFOPT", "+"},
        {"Currents", "CLASSCUR", "ODE"}, {"Files", "CLASSFILECUR", home_ + "/ode.vtn"},
        {"Files", "INITFILE", "$(Paths.KERNEL)init$(Extensions.SYS)"}, {"Compiler", "SOURCE", ""}};
    for (const auto &k : keys)
        EXPECT_EQ(k.expected, value(k.section, k.key)) << k.key;
    EXPECT_EQ("[Paths]\nKERNEL=/elsewhere/\n", vt::ReadFile(scratch_ / "vartenarc")) << "no other settings file";
    EXPECT_EQ("", vt::Output("ls -A | grep -v -e '^[A-Za-z]' -e '^.vartenarc$'")) << "no temporary file, no lock left";

    unlink("autodif.o");
    user(false);
    vt::WriteFile("filenums.vtn", "vart0001 lorenz\n", 0600);
    vt::WriteFile("visuals.cpf", "stale\n");
    EXPECT_TRUE(run());
    EXPECT_EQ(Texts{"Could not run C++ compiler during the full installation.\n"
                    "Symbolical differentiation feature will be disabled."},
              alerts_.texts());
    EXPECT_EQ("-", value("Libraries", "AUTODIFOPT"));
    EXPECT_EQ("vart0001 lorenz\n", vt::ReadFile("filenums.cpf")) << "moved from its earlier name";
    EXPECT_EQ(0600, vt::FileMode("filenums.cpf"));
    EXPECT_EQ(".vartenarc filenums.cpf palette.cpf", vt::Output("ls -A | tr '\\n' ' ' | sed 's/ $//'"));
    std::string userRc = vt::ReadFile(".vartenarc");
    EXPECT_EQ(userRc.rfind("\n["), userRc.find("\n[TMP]")) << "TMP is left at the end";
    EXPECT_EQ("$(Paths.KERNEL)autodif$(Extensions.OBJ)", value("TMP", "TMP"));
}

/* What a user meets: a run either ends with an installation that works
 * (the compile script builds a system into a library that loads, with "."
 * not on PATH; autodif.o current unless its alert was shown; every value
 * reads back as typed), or stops with the alert that names the field or
 * file, the window open and its fields as they were. */
TEST_F(Installation, EndsWithAWorkingInstallationOrStopsWithTheNamedAlert)
{
    auto field = [](const std::string &label, const std::string &reason) {
        return "The \"" + label + "\" field " + reason + ".\nPlease correct it and press Setup again.";
    };
    const char *tooLong = "is too long for a line of the settings file";
    const char *marks = "holds a ~ or ` character, which the settings file reads as a line break or as nothing";
    const char *chars = "may hold no blank, comma, % or shell special character ;&|<>()$'\"\\`";
    const std::string blank = scratch_ / "sp ace", pct = scratch_ / "p%s";
    std::string holder = scratch_ / "holder";
    const struct { const char *situation; std::function<void()> prepare; Texts alerts; bool ends; } cases[] = {
        {"plain Full", [&] { full(true); }, {}, true},
        {"plain User", [&] { user(true); }, {}, true},
        {"bash and no shells.vtn", [&] { setenv("SHELL", "/bin/bash", 1); vt::MakePackageHome(home_, true);
                                        vt::Enter(home_); vt::PrepareWindow(1, home_); }, {}, true},
        {"empty Libraries, Name and Options", [&] { full(true); SetText(tLib, ""); SetText(tCppName, "");
                                                    SetText(tCppLib, ""); }, {kNoCompile}, true},
        {"a blank in the home's path", [&] { vt::MakePackageHome(blank, true); vt::Enter(blank);
                                            vt::PrepareWindow(1, blank); }, {field("VARTENA directory", chars)}, false},
        {"a % in the home's path", [&] { vt::MakePackageHome(pct, true); vt::Enter(pct); vt::PrepareWindow(1, pct); },
         {field("VARTENA directory", chars)}, false},
        {"a long home", [&] { full(true); SetText(tKernel, std::string(250, '/') + home_.substr(1)); },
         {field("VARTENA directory", tooLong)}, false},
        {"a long Include", [&] { full(true); SetText(tInclude, "-I" + std::string(240, 'i')); },
         {field("Include", tooLong)}, false},
        {"long C++ Options", [&] { full(true); SetText(tCppLib, std::string(300, 'o')); }, {field("Options", tooLong)}, false},
        {"~ in Libraries", [&] { full(true); SetText(tLib, "-L~/lib -lm"); }, {field("Libraries", marks)}, false},
        {"a backquote in Options", [&] { full(true); SetText(tCppLib, "`pkg-config --libs x11`"); },
         {field("Options", marks)}, false},
        {"a reference in Include", [&] { full(true); SetText(tInclude, "-I$(Paths.KERNEL)"); },
         {field("Include", "holds a $(Section.KEY) reference, which the settings file replaces by a value")}, false},
        {"a %d in the printer command", [&] { full(true); SetText(Adjust[0].field, "lpr -#%d %s"); },
         {field("Printer command", "may hold no printf directive but %s (or %% for a %)")}, false},
        {"two file names for the previewer", [&] { full(true); SetText(Adjust[1].field, "gv %s %s"); },
         {field("PostScript previewer", "holds more %s than the package fills in: it gives the command as many "
                                        "file names as the default has")}, false},
        {"no directory", [&] { full(true); SetText(tKernel, ""); }, {"Specify full path to the VARTENA's home directory"}, false},
        {"no executable", [&] { full(true); unlink("vartena"); },
         {"The path you've specified does not contain VARTENA executable"}, false},
        {"a settings file that cannot be written", [&] { full(true); unlink(".vartenarc"); mkdir(".vartenarc", 0755); },
         {"Cannot open file './.vartenarc'", "Cannot open settings file './.vartenarc'"}, false},
        {"an init file that cannot be written", [&] { rmdir(".vartenarc"); full(true); unlink("init.cpf");
                                                     mkdir("init.cpf", 0755); }, {"Cannot open file '" + home_ + "/init.cpf'"}, false},
        {"a compile script that cannot be written", [&] { rmdir("init.cpf"); full(true); unlink("CompRhs");
                                                         mkdir("CompRhs", 0755); },
         {"Cannot open batch file for compiler '" + home_ + "/CompRhs'"}, false},
        {"a C compiler that cannot link", [&] { rmdir("CompRhs"); full(true); SetText(tLib, "-lno-such-library"); },
         {"The compile script '" + home_ + "/CompRhs' cannot build a system:\n"}, false},
        {"no class file", [&] { full(true); unlink("classes.vtn"); }, {"Cannot open class description file\n" + home_ + "/classes.vtn"}, false},
        {"a run holding the lock", [&] { full(true); vt::Shell("(flock .vartenarc.lock sh -c 'echo $$ >" + holder +
                                                               ".n; mv " + holder + ".n " + holder + "; exec sleep 30' &);"
                                                               "until [ -e " + holder + " ]; do sleep 0.05; done"); },
         {"Another Setup is running in this directory: '.vartenarc.lock' is locked"}, false},
        {"a lock left by a process that died", [&] { vt::Shell("kill -9 $(cat " + holder + "); until flock -n .vartenarc.lock "
                                                             "true; do sleep 0.05; done"); full(true); }, {}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.situation);
        setenv("SHELL", "/bin/tcsh", 1);
        c.prepare();
        const std::string before = vt::ReadFile(".vartenarc"), kernel = title(tKernel);
        EXPECT_EQ(c.ends, run());
        ASSERT_EQ(c.alerts.size(), alerts_.count()) << (alerts_.count() ? alerts_.texts()[0] : "");
        for (size_t i = 0; i < c.alerts.size(); i++)
            EXPECT_EQ(0u, alerts_.texts()[i].find(c.alerts[i])) << alerts_.texts()[i];
        if (!c.ends) {
            EXPECT_EQ(kernel, title(tKernel)) << "the fields as they were";
            EXPECT_TRUE(c.alerts[0].find(" field ") == std::string::npos || before == vt::ReadFile(".vartenarc"))
                << "a refused field stops the run before anything is written";
            continue;
        }
        std::string work = scratch_ / ("work" + std::to_string(&c - cases));
        mkdir(work.c_str(), 0755);
        vt::WriteFile(work + "/sys.c", "#include \"vtn_sys.h\"\ndouble rhs(double x) { return sqr(x) + dersub3(1, 2, 3); }\n");
        ASSERT_EQ(0, vt::Shell("cd " + work + " && PATH=/usr/bin:/bin " + home_ + "/CompRhs sys v1 n"));
        void *lib = dlopen((work + "/v1.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, lib) << vt::ReadFile(work + "/ErrLog");
        EXPECT_EQ(23.0, reinterpret_cast<double (*)(double)>(dlsym(lib, "rhs"))(3.0));
        dlclose(lib);
        bool autodif = c.alerts.empty();
        EXPECT_EQ(autodif ? "+" : "-", value("Libraries", "AUTODIFOPT"));
        EXPECT_TRUE(!autodif || vt::FileTime(home_ + "/autodif.o") >= vt::FileTime(home_ + "/autodif.cc"));
        ReloadSettings();
        const struct { Nlm_Handle field; const char *section, *key; } stored[] = {
            {tLib, "Compiler", "LIB"}, {tCppName, "Compiler", "CPPNAME"}, {tCppLib, "Compiler", "CPPLIB"},
            {Adjust[0].field, "Visual", "HCPRINTER"}, {Adjust[2].field, "Compiler", "EXTDIFF"}};
        for (const auto &s : stored) {
            std::string typed = title(s.field);
            StrTrim(&typed[0]);
            EXPECT_EQ(typed.c_str(), vt::Str(GetParamString(s.section, s.key))) << s.key;
        }
    }
}

/* autodif.o is compiled again only for a newer source that exists; a
 * compile that fails, or leaves the object older than its source, is shown
 * and turns AUTODIFOPT off; the read-only files are rewritten each time. */
TEST_F(Installation, AutodifIsCompiledForANewerSourceAndJudgedByItsResult)
{
    full();
    vt::WriteFile(scratch_ / "bin/cxx", "#!/bin/sh\necho \"$@\" >> " + (scratch_ / "calls") + "\nexec c++ \"$@\"\n", 0755);
    SetText(tCppName, "cxx");
    ASSERT_TRUE(run());
    const std::string good = vt::ReadFile("autodif.cc");
    const struct { const char *source, *text; int age; const char *compiler; size_t calls; const char *autodif; } steps[] = {
        {"autodif.cc", "", 60, "cxx", 1, "+"},          {"autodif.cc", "", 0, "cxx", 2, "+"},
        {"autodif.c", "int c;\n", 100, "cxx", 2, "+"},  {"autodif.c", "int c;\n", 0, "cxx", 3, "+"},
        {"autodif.cc", "broken(\n", 0, "cxx", 4, "-"}, {"autodif.cc", "", 0, "true", 4, "-"}};
    time_t now = time(NULL);
    for (const auto &s : steps) {
        SCOPED_TRACE(std::string(s.source) + " aged " + std::to_string(s.age) + " by " + s.compiler);
        unlink("autodif.c");
        vt::WriteFile("autodif.cc", good);
        vt::SetModified("autodif.cc", now - 60);
        if (*s.text != '\0')
            vt::WriteFile(s.source, s.text);
        vt::SetModified(s.source, now - s.age);
        vt::SetModified("autodif.o", now - 50);
        vt::WriteFile("init.cpf", "spoilt\n", 0444);
        SetText(tCppName, s.compiler);
        ASSERT_TRUE(run());
        EXPECT_EQ(s.calls, vt::Lines(vt::ReadFile(scratch_ / "calls")).size());
        EXPECT_EQ(*s.autodif == '+' ? Texts() : Texts{kNoCompile}, alerts_.texts());
        EXPECT_EQ(s.autodif, value("Libraries", "AUTODIFOPT"));
        EXPECT_EQ(6451u, vt::ReadFile("init.cpf").size());
    }
}

/* The class from the first two words after "&hierarchy"; the notice mailed
 * only with the box ticked, from a private directory; a shell path cut to
 * the script's line; a compile command cut to its buffer never runs. */
TEST_F(Installation, ClassNoticeAndCutTexts)
{
    const std::string kept = "$(Paths.KERNEL)%s$(Extensions.DESC)";
    const std::string pct = "Class description file '" + home_ + "/classes.vtn':\nthe class line after &hierarchy "
                            "holds a % character,\nso the current class is not recorded";
    const struct { const char *file, *classKey; std::string fileKey, alert; } classes[] = {
        {"&hierarchy\n! c\n\n   DAE   dae-one  extra ! note\n", "DAE", home_ + "/dae-one.vtn", ""},
        {"&hierarchy\nODE   ! one word\n&classes\nODE\n", "", kept, ""},
        {"&classes\nODE\n&hierarchy\n! nothing after it\n", "", kept, ""},
        {"&hierarchy\nODE%n ode\n", "", kept, pct}, {"&hierarchy\nODE ode%s\n", "", kept, pct}};
    for (const auto &c : classes) {
        SCOPED_TRACE(c.file);
        full(true);
        vt::WriteFile("classes.vtn", c.file);
        EXPECT_TRUE(run());
        EXPECT_EQ(c.alert.empty() ? Texts() : Texts{c.alert}, alerts_.texts());
        EXPECT_EQ(c.classKey, value("Currents", "CLASSCUR"));
        EXPECT_EQ(c.fileKey, value("Files", "CLASSFILECUR"));
    }
    std::string log = scratch_ / "mail.log";
    vt::WriteFile(scratch_ / "bin/mail", "#!/bin/sh\n{ echo \"args: $*\"; pwd; cat; } >>" + log, 0755);
    vt::WriteFile("del1", "user file\n");
    for (int kind : {1, 2}) {
        kind == 1 ? full(true) : user(true);
        run();
        EXPECT_FALSE(vt::Exists(log)) << "the box is off";
        kind == 1 ? full(true) : user(true);
        Nlm_SetStatus(bReg, TRUE);
        EXPECT_TRUE(run());
        std::string mail = vt::ReadFile(log);
        EXPECT_NE(std::string::npos, mail.find("args: vartena-authors@example.org vartena-notices@example.org\n" +
                                               scratch_ / "tmp/vartena-")) << mail;
        EXPECT_NE(std::string::npos, mail.find(kind == 1 ? "\n\nVARTENA 1.5m installed on\nLinux " : "VARTENA 1.5u"));
        unlink(log.c_str());
    }
    EXPECT_EQ("user file\n", vt::ReadFile(home_ + "/del1"));
    EXPECT_EQ("", vt::Output("ls -A " + scratch_ / "tmp")) << "the private directories are gone";

    full(true);
    std::string longText(20000, 'x');
    SetText(tShellPath, "/bin/" + longText);
    EXPECT_FALSE(run());
    EXPECT_EQ(0u, alerts_.texts()[0].find("The compile script '" + home_ + "/CompRhs' cannot build a system:"));
    EXPECT_EQ("#! /bin/" + std::string(490, 'x'), vt::Lines(vt::ReadFile("CompRhs"))[0]);
    SetText(tShellPath, "/bin/tcsh -f");
    vt::WriteFile(scratch_ / "bin/rec", "#!/bin/sh\ntouch " + scratch_ / "ran\n", 0755);
    SetText(tCppLib, " -O2 " + longText.substr(0, 240));
    SetText(tCppName, "rec " + longText.substr(0, 243));
    unlink("autodif.o");
    EXPECT_TRUE(run());
    EXPECT_EQ(Texts{kNoCompile}, alerts_.texts());
    EXPECT_FALSE(vt::Exists(scratch_ / "ran")) << "a command cut to its buffer is never run";
}

/* The written compile script run by tcsh, bash and dash with the real cc,
 * with and without the derivative step, "." not on PATH. */
TEST_F(Installation, CompileScriptsBuildTheLibraryAndTheDerivativeProgramInEveryShell)
{
    const struct { int style; const char *shell, *digest; } styles[] = {
        {1, "/bin/tcsh -f", "9f7288cca8077f17"}, {2, "/bin/bash ", "744fc4eb9d69288d"}, {2, "/bin/dash ", "932188ad85f1d0af"}};
    for (const auto &s : styles) {
        SCOPED_TRACE(s.shell);
        full();
        Nlm_SetValue(gShellStyle, static_cast<Nlm_Int2>(s.style));
        SetText(tShellPath, s.shell);
        ASSERT_TRUE(run());
        ASSERT_EQ(Texts(), alerts_.texts());
        EXPECT_EQ(s.digest, digest("CompRhs", home_)) << "the style's table, expanded";
        std::string work = scratch_ / ("w" + std::to_string(&s - styles));
        mkdir(work.c_str(), 0755);
        vt::WriteFile(work + "/sys.c", "#include \"vtn_sys.h\"\ndouble rhs(double x) { return cube(x) + iff(x > 0, TRUE, FALSE); }\n");
        vt::WriteFile(work + "/tmp_der.cc", "#include <cstdio>\n#include \"vtn_sys.h\"\nextern \"C\" double autodif_square_slope(double);\n"
                                            "int main() { std::printf(\"slope %g true %d\\n\", autodif_square_slope(3.0), TRUE); }\n");
        for (const char *diff : {"n", "y"}) {
            ASSERT_EQ(0, vt::Shell("cd " + work + " && PATH=/usr/bin:/bin " + home_ + "/CompRhs sys v1 " + diff));
            void *lib = dlopen((work + "/v1.so").c_str(), RTLD_NOW | RTLD_LOCAL);
            ASSERT_NE(nullptr, lib) << vt::ReadFile(work + "/ErrLog");
            EXPECT_EQ(28.0, reinterpret_cast<double (*)(double)>(dlsym(lib, "rhs"))(3.0));
            dlclose(lib);
            EXPECT_FALSE(vt::Exists(work + "/delete.o"));
        }
        EXPECT_EQ("slope 6 true 1\n", vt::ReadFile(work + "/ErrLog1"));
    }
}

/* Looks at the window from a timer while the run waits for its compiler:
 * at 0.8 s the cursor, the status line and the buttons, and the picture,
 * which is then cleared; at 1.4 s the picture drawn again, and keys typed
 * into the directory field; from then to 1.9 s the CPU the program takes. */
struct Watch {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    int phase = 0;
    enumCursorShape cursor = BAD_CURSOR;
    std::string status, before, after;
    bool statusShown = false, buttonsShown = true;
    double cpu = 0, at = 0;
} watch;

Window topWindow(Display *display)
{
    Window root, parent, *kids = NULL, found = 0;
    unsigned int n = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &parent, &kids, &n);
    for (unsigned int i = 0; i < n && found == 0; i++) {
        char *name = NULL;
        if (XFetchName(display, kids[i], &name) && name != NULL && strcmp(name, "vartena 1.5 setup") == 0)
            found = kids[i];
        XFree(name);
    }
    XFree(kids);
    return found;
}

std::string pixels(Display *display, Window window)
{
    XWindowAttributes a;
    XGetWindowAttributes(display, window, &a);
    XImage *image = XGetImage(display, window, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
    std::string bytes(image->data, image->bytes_per_line * image->height);
    XDestroyImage(image);
    return bytes;
}

/* Clears window and all inside it, asking its owner to draw them again. */
void clearAll(Display *display, Window window)
{
    XClearArea(display, window, 0, 0, 0, 0, True);
    Window root, parent, *kids = NULL;
    unsigned int n = 0;
    XQueryTree(display, window, &root, &parent, &kids, &n);
    for (unsigned int i = 0; i < n; i++)
        clearAll(display, kids[i]);
    XFree(kids);
}

double cpuSeconds()
{
    struct rusage r;
    getrusage(RUSAGE_SELF, &r);
    return r.ru_utime.tv_sec + r.ru_utime.tv_usec / 1e6 + r.ru_stime.tv_sec + r.ru_stime.tv_usec / 1e6;
}

void look(XtPointer, XtIntervalId *)
{
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - watch.start).count();
    Display *display = Nlm_currentXDisplay;
    if (watch.phase == 0 && seconds > 0.8) {
        watch.phase = 1;
        watch.cursor = Nlm_SetCursorShape(WHAT_CURSOR);
        watch.status = title(pStatus);
        watch.statusShown = Nlm_Visible(pStatus);
        watch.buttonsShown = Nlm_Visible(gTerm);
        watch.before = pixels(display, topWindow(display));
        clearAll(display, topWindow(display));
    } else if (watch.phase == 1 && seconds > 1.4) {
        watch.phase = 2;
        watch.after = pixels(display, topWindow(display));
        Nlm_Select(tKernel);
        vt::Shell("xdotool type --delay 0 zz");
        watch.cpu = cpuSeconds();
        watch.at = seconds;
    } else if (watch.phase == 2 && seconds > 1.9) {
        watch.phase = 3;
        watch.cpu = (cpuSeconds() - watch.cpu) / (seconds - watch.at);
    }
    if (watch.phase < 3)
        XtAppAddTimeOut(Nlm_appContext, 100, look, NULL);
}

/* While the C++ compiler runs (a stand-in that sleeps 2 s first), the
 * window says what runs, shows the watch cursor, drops keys and is drawn
 * again when uncovered, the program hardly using the CPU; afterwards all
 * is as it was and the run's result the usual one. */
TEST_F(Installation, ShowsWhatRunsWhileTheCompilerWorks)
{
    full();
    vt::WriteFile(scratch_ / "bin/slow-c++", "#!/bin/sh\nsleep 2\nexec c++ \"$@\"\n", 0755);
    SetText(tCppName, "slow-c++");
    Nlm_Show(wSetup);
    for (Nlm_TexT t : {tKernel, tInclude, tLib, tCppName, tCppLib, tShellPath, Adjust[0].field, Adjust[1].field, Adjust[2].field})
        Nlm_SetTextCursorBlinkRate(t, 0); /* a blinking caret would change the picture by itself */
    vt::pump(300);
    watch = Watch();
    XtAppAddTimeOut(Nlm_appContext, 100, look, NULL);
    EXPECT_TRUE(run());
    ASSERT_EQ(3, watch.phase) << "the timers ran while the compiler did";
    EXPECT_EQ(CURSOR_WATCH, watch.cursor);
    EXPECT_EQ("Compiling autodif.cc with slow-c++ ...", watch.status);
    EXPECT_TRUE(watch.statusShown && !watch.buttonsShown);
    EXPECT_TRUE(watch.before == watch.after) << "an uncovered window is drawn again";
    EXPECT_LT(watch.cpu, 0.1) << "of one core";
    EXPECT_EQ(Texts(), alerts_.texts());
    EXPECT_EQ(CURSOR_ARROW, Nlm_SetCursorShape(WHAT_CURSOR));
    EXPECT_TRUE(title(pStatus).empty() && !Nlm_Visible(pStatus) && Nlm_Visible(gTerm));
    EXPECT_EQ(home_, title(tKernel)) << "keys typed meanwhile were dropped";
    EXPECT_TRUE(vt::Exists("autodif.o"));
}

/* The cost of a Full run with an up-to-date autodif.o: no C++ compile, the
 * compile script proven.  By hand: suite --gtest_also_run_disabled_tests
 * --gtest_filter=Installation.DISABLED_Benchmark */
TEST_F(Installation, DISABLED_Benchmark)
{
    full(true);
    std::vector<double> ms;
    for (int i = 0; i < 9; i++) {
        auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(run());
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    printf("Full installation: median %.1f ms, fastest %.1f ms, slowest %.1f ms\n", ms[4], ms[0], ms[8]);
}

/* A settings file as whole as a complete one: the same lines, each with
 * the same key. */
bool whole(const std::string &text, const std::string &complete)
{
    Texts lines = vt::Lines(text), full = vt::Lines(complete);
    for (size_t i = 0; i < lines.size() && lines.size() == full.size(); i++)
        if (lines[i].substr(0, lines[i].find('=')) != full[i].substr(0, full[i].find('=')))
            return false;
    return lines.size() == full.size() && text.back() == '\n';
}

/* Every operation that makes a file of a Full run (a write, a close, a
 * rename) fails as on a full disk, then ends the process as a kill would,
 * one run each (an LD_PRELOAD library in a child process), from files of
 * an earlier installation: every file is then whole, old or new; a failure
 * is shown and stops the run. */
TEST(Faults, EveryFileOperationOfAFullRunFailingOrKilledLeavesEveryFileWhole)
{
    vt::ScratchDir scratch;
    const std::string home = scratch / "home";
    const Texts files = {".vartenarc", "filenums.cpf", "init.cpf", "CompRhs", "vtn_sys.h", "palette.cpf"};
    vt::MakePackageHome(home, true);
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    self[length > 0 ? length : 0] = '\0';
    auto run = [&](const std::string &mode, long at) {
        vt::Shell("cd " + home + " && rm -f filenums.cpf && find . -maxdepth 1 -name '.*.[A-Za-z0-9]*' ! -name '*.lock' -delete");
        for (const std::string &file : files)
            if (file != "filenums.cpf")
                vt::WriteFile(home + "/" + file, "; old\n", 0444);
        int status = vt::Shell("cd " + home + " && VART_FAULT_HOME=" + home + " VART_FAULT_DIR=" + home +
                               " VART_FAULT_MODE=" + mode + " VART_FAULT_AT=" + std::to_string(at) + " VART_FAULT_COUNT=" +
                               scratch / "count" + " ASAN_OPTIONS=\"$ASAN_OPTIONS:verify_asan_link_order=0\" "
                               "LD_PRELOAD=" VART_FAULT_SHIM " " + self + " >" + scratch / "out" + " 2>&1");
        return std::make_pair(status, vt::ReadFile(scratch / "out"));
    };
    ASSERT_EQ(0, run("fail", 0).first);
    std::map<std::string, std::string> fresh;
    for (const std::string &file : files)
        fresh[file] = vt::ReadFile(home + "/" + file);
    const long operations = std::stol(vt::ReadFile(scratch / "count"));
    ASSERT_GE(operations, 3 * long(files.size())) << "a write, a close and a rename for each file";
    for (const std::string mode : {"fail", "exit"})
        for (long at = 1; at <= operations; at++) {
            SCOPED_TRACE(mode + " at operation " + std::to_string(at));
            auto [status, out] = run(mode, at);
            for (const std::string &file : files) {
                std::string text = vt::ReadFile(home + "/" + file);
                EXPECT_TRUE(text == fresh[file] || text == (file == "filenums.cpf" ? "" : "; old\n") ||
                            (file == ".vartenarc" && whole(text, fresh[file]))) << file << ":\n" << text.substr(0, 200);
            }
            EXPECT_EQ(mode == "exit" ? 99 : 0, status) << out;
            EXPECT_TRUE(mode == "exit" || (out.find("alert: Cannot ") != std::string::npos &&
                                           out.substr(out.size() - 8) == "stopped\n")) << out;
        }
    printf("fault injection: %ld file operations of a Full run, each failed once and killed once; %zu files "
           "checked after each of the %ld runs\n", operations, files.size(), 2 * operations);
}

} // namespace
