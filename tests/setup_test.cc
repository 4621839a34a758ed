/* The setup program as the user meets it, in process on the X server: the
 * window, its field help and the installation run, alerts captured.  A run
 * that ends leaves its buttons off; one that stops gives them back. */
#include <gtest/gtest.h>

#include "harness.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

extern "C" Nlm_WindoW Nlm_desktopWindow; /* the root of the toolkit's window list */
extern "C" Widget Nlm_ParentWindowShell(Nlm_GraphiC w);
extern "C" void Nlm_DoAction(Nlm_GraphiC item);

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

using SetupWindow = vt::RunFixture;

void build()
{
    vt::AlertLog alerts;
    if (wSetup != NULL)
        Nlm_Remove(wSetup);
    ASSERT_NE(nullptr, BuildSetupWindow());
    EXPECT_EQ(0u, alerts.count());
}

TEST_F(SetupWindow, DefaultsSwitchesLayoutAndThePreview)
{
    Nlm_SetBeepHook(countBeep);
    vt::WriteFile("del1", "a user's file\n");
    const std::string files = vt::Output("ls -l --time-style=+%s.%N del1; ls -A; cat del1");
    build();
    EXPECT_EQ(Texts({"vartena 1.5 setup", "", "", "-lc -lm", "c++", " -O2 -fPIC -lc -lm", "lpr %s",
                     "ghostview -a5 -magstep 0 %s", "/bin/tcsh -f"}),
              Texts({title(wSetup), title(tKernel), title(tInclude), title(tLib), title(tCppName), title(tCppLib),
                     title(Adjust[0].field), title(Adjust[1].field), title(tShellPath)}));
    EXPECT_EQ(0u, title(Adjust[2].field).find("maple -q <%s >tmp.mo;grep"));
    EXPECT_FALSE(Nlm_GetValue(gInst) != 2 || Nlm_Enabled(gC) || Nlm_Enabled(gCpp) || Nlm_Enabled(iC) ||
                 Nlm_Enabled(iCpp) || Nlm_Visible(gShellStyle) || Nlm_Visible(gShellPath) || Nlm_Enabled(iShell) ||
                 Nlm_GetStatus(bReg)) << "User, compilers off, shell hidden, no consent";
    for (Nlm_TexT f : {tInclude, tLib, tCppName, tCppLib, Adjust[0].field, Adjust[1].field, Adjust[2].field})
        EXPECT_TRUE(rect(f).left == rect(tKernel).left && rect(f).right == rect(tKernel).right);
    EXPECT_TRUE(rect(tShellPath).right >= rect(tKernel).right && rect(gInst).bottom == rect(gShellStyle).bottom &&
                rect(gShellPath).bottom == rect(gInst).bottom);
    ASSERT_EQ(2u, children(gTerm).size());
    Nlm_RecT row = rect(Nlm_Parent(tKernel)), setup = rect(children(gTerm)[0]), cancel = rect(children(gTerm)[1]);
    int before = setup.left - row.left, after = row.right - cancel.right;
    EXPECT_TRUE(before > 0 && before == cancel.left - setup.right && after >= before && after <= before + 2);
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
    Nlm_SetValue(gInst, INST_FULL), InstActnProc(gInst);
    EXPECT_EQ("VARTENA 1.5m installed on", title(children(children(gReg)[1])[0])) << "the text shown is the text sent";
    EXPECT_EQ(scratch_.path(), title(tKernel));
    EXPECT_TRUE(Nlm_Enabled(gC) && Nlm_Enabled(gCpp) && Nlm_Visible(gShellStyle) && Nlm_Enabled(iShell));
    SetText(tKernel, "/a b,c\\d");
    Nlm_SetValue(gInst, INST_USER), InstActnProc(gInst);
    EXPECT_FALSE(Nlm_Enabled(gC) || Nlm_Visible(gShellPath));
    std::string seen;
    for (int i = 0, b = beeps; i < 4; i++, seen += " ")
        PathCheckProc(tKernel), seen += title(tKernel) + std::to_string(beeps - b);
    EXPECT_EQ("/ab,c\\d1 /abc\\d2 /abcd3 /abcd3 ", seen) << "User keeps the text; one blank, comma or backslash a check";
    EXPECT_EQ(files, vt::Output("ls -l --time-style=+%s.%N del1; ls -A; cat del1")) << "the preview touches no file here";
    EXPECT_EQ(0, rmdir((scratch_ / "it's tmp").c_str())) << "its private directory is gone";
    build();
    EXPECT_TRUE(gReg == NULL && bReg == NULL) << "no preview without a private directory";
}

TEST_F(SetupWindow, ShellStyleFromShellItsFamilyAndTheLastMatchingLine)
{
    const std::string n19(19, 'n'), n20(20, 'n'), d492 = "/" + std::string(492, 'd');
    const struct { std::string shell, file, style; } cases[] = { /* "-": SHELL unset, no shells.vtn */
        {"/bin/tcsh", "-", "csh -f"},         {"/bin/sh", "-", "ksh "},        {"/usr/bin/dash", "-", "ksh "},
        {"/usr/bin/fish", "-", "csh -f"},     {"/bin/bash", "bash K\n", "ksh "}, {"/bin/bash", "bash k\nzsh c\nbash c\n", "csh -f"},
        {"/bin/bash", "bash c\nbash k text after the letter\n", "ksh "},       {"/bin/bash", "bash c\nbash x\nbash 7\n", "csh -f"},
        {"/bin/bash", "  \t bash \t c\n", "csh -f"}, {"/bin/bash", "# bash c\n#bash c\n1bash c\n\n", "ksh "},
        {"/bin/bash", "bash\nbashx c\nbas c\n", "ksh "}, {"bash", "bash c\n", "csh -f"}, {"-", "bash k\n", "csh"},
        {"/opt/" + n19, n19 + " k\n", "ksh "}, {"/opt/" + n20, n20 + " k\n", "csh -f"}, {"/opt/" + n19, n20 + " k\n", "csh -f"},
        {"/opt/Zsh", "Zsh k\n", "ksh "}, {"/opt/azsh", "azsh k\n", "ksh "},
        {"/bin/bash", std::string(499, 'x') + "bash c\n", "ksh "}, {"/bin/bash", std::string(600, 'x') + "\nbash c\n", "csh -f"},
        {d492 + "/bash", "bash k\n", "ksh "}, {d492 + "d/bash", "bash k\n", "ksh"},
        {"/bin/tcsh", "<pipe>", "csh -f"}, {"/bin/bash", "<zero>", "ksh "}}; /* never read: no hang */
    for (const auto &c : cases) {
        c.shell == "-" ? unsetenv("SHELL") : setenv("SHELL", c.shell.c_str(), 1);
        unlink("shells.vtn");
        if (c.file[0] == '<')
            ASSERT_EQ(0, c.file == "<pipe>" ? mkfifo("shells.vtn", 0644) : symlink("/dev/zero", "shells.vtn"));
        else if (c.file != "-")
            vt::WriteFile("shells.vtn", c.file);
        build();
        std::string style = c.style.substr(0, 3), path = c.style.size() > 3 ? c.shell + c.style.substr(3) : "";
        EXPECT_EQ(style + "|" + path, shells[Nlm_GetValue(gShellStyle) - 1].name + ("|" + title(tShellPath)))
            << c.shell.substr(0, 30) << " / " << c.file.substr(0, 30);
    }
    setenv("SHELL", "/bin/zsh", 1);
    for (Nlm_Int2 style : {1, 2}) {
        SetText(tShellPath, "/edited");
        Nlm_SetValue(gShellStyle, style);
        ShellStyleProc(gShellStyle);
        EXPECT_EQ(std::string("/bin/zsh") + shells[style - 1].option, title(tShellPath)) << "rebuilt from SHELL";
    }
}

std::vector<Nlm_WindoW> windows() /* all but the desktop window, oldest first */
{
    std::vector<Nlm_WindoW> list;
    for (Nlm_GraphiC w = Nlm_GetNext((Nlm_GraphiC)Nlm_desktopWindow); w != NULL; w = Nlm_GetNext(w))
        list.insert(list.begin(), (Nlm_WindoW)w);
    return list;
}

/* What a window manager sends when the user closes the window. */
void closeByWindowManager(Nlm_WindoW w)
{
    Window id = XtWindow(Nlm_ParentWindowShell((Nlm_GraphiC)w));
    XEvent ev = {};
    ev.xclient = {ClientMessage, 0, False, Nlm_currentXDisplay, id, XInternAtom(Nlm_currentXDisplay, "WM_PROTOCOLS", False), 32, {}};
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(Nlm_currentXDisplay, "WM_DELETE_WINDOW", False));
    XSendEvent(Nlm_currentXDisplay, id, False, NoEventMask, &ev);
    vt::pump(200);
}

TEST_F(SetupWindow, HelpItemsOpenAWindowEachAndClosingOneSelectsTheLastLiving)
{
    build();
    Nlm_Show(wSetup);
    Nlm_Select(wSetup);
    const size_t setupOnly = windows().size();
    const struct { Nlm_IteM item; const char *first, *lines; } items[] = { /* lines, empty ones */
        {iKernel, "Vartena directory input", "6 2"}, {iC, "The C compiler Include", "16 4"},
        {Adjust[0].item, "The Printer command", "5 1"}, {Adjust[1].item, "The Postscript previewer", "4 1"},
        {Adjust[2].item, "The External differentiator", "14 3"}, {iShell, "The Shell Style switch", "6 1"},
        {iCpp, "The C++ compiler Name", "12 3"}, {iInst, "The Installation switch", "13 2"}};
    std::vector<Nlm_WindoW> opened;
    for (const auto &c : items) {
        Nlm_WindoW previous = Nlm_CurrentWindow();
        Nlm_DoAction((Nlm_GraphiC)c.item); /* as the menu does */
        ASSERT_EQ(setupOnly + opened.size() + 1, windows().size()) << c.first;
        opened.push_back(windows().back());
        std::vector<Nlm_GraphiC> rows = children(children(opened.back())[0]);
        auto empty = std::count_if(rows.begin(), rows.end(), [](Nlm_GraphiC r) { return title(r) == " "; });
        EXPECT_EQ(std::string("|") + c.first + "|" + c.lines, title(opened.back()) + "|" + title(rows[0]).substr(0, strlen(c.first)) +
                  "|" + std::to_string(rows.size()) + " " + std::to_string(empty)) << "untitled, one row a line";
        EXPECT_EQ(previous, msgPrevWin);
    }
    HelpProc(NULL);
    EXPECT_EQ(setupOnly + opened.size(), windows().size()) << "no item, no window";
    closeByWindowManager(opened[7]);
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

/* rhs(3) of a system that home's compile script builds in work, run as
 * account, into a library that loads, "." not on PATH, with diff "y" the
 * derivative program too (its output in ErrLog1); -1 if none. */
double builtRhs(const std::string &home, const std::string &work, const char *diff, const std::string &account = "")
{
    mkdir(work.c_str(), 0755), chmod(work.c_str(), 0777);
    vt::WriteFile(work + "/sys.c", "#include \"vtn_sys.h\"\n"
                                   "double rhs(double x) { return sqr(x) + cube(x) + dersub3(1, 2, 3) + iff(x > 0, TRUE, FALSE); }\n");
    vt::WriteFile(work + "/tmp_der.cc", "#include <cstdio>\n#include \"vtn_sys.h\"\nextern \"C\" double autodif_square_slope(double);\n"
                                        "int main() { std::printf(\"slope %g true %d\\n\", autodif_square_slope(3.0), TRUE); }\n");
    void *lib = vt::Shell(vt::As(account, "cd " + work + " && PATH=/usr/bin:/bin " + home + "/CompRhs sys v1 " + diff)) == 0
                    ? dlopen((work + "/v1.so").c_str(), RTLD_NOW | RTLD_LOCAL) : NULL;
    if (lib == NULL || vt::Exists(work + "/delete.o"))
        return ADD_FAILURE() << vt::ReadFile(work + "/ErrLog"), -1;
    double rhs = reinterpret_cast<double (*)(double)>(dlsym(lib, "rhs"))(3.0);
    dlclose(lib);
    return rhs;
}

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
    Texts files;
    for (const char *file : {"init.cpf", "palette.cpf", "vtn_sys.h", "CompRhs", "filenums.cpf", ".vartenarc"})
        files.push_back(file + (" " + vt::Output(std::string("echo $(stat -c %a ") + file + ") $(sed 's|" + home_ + "|HOME|g' " + file +
                                          " | sha256sum | cut -c1-16)"))); /* mode, SHA-256 with home written as HOME */
    EXPECT_EQ(Texts({"init.cpf 444 6b42f6b4390d207e", "palette.cpf 644 406b6c9677b3e2f4", "vtn_sys.h 444 c726de7a84dc67a6",
                     "CompRhs 755 f046b3f913792a93", "filenums.cpf 644 3973e022e93220f9", ".vartenarc 644 a111617fa3a26e4b"}), files);
    EXPECT_EQ("cc -c -O2 -fPIC -o delete.o  -I" + home_ + "/ $1.c >&ErrLog", vt::Lines(vt::ReadFile("CompRhs"))[2])
        << "[Compiler] INCLUDE read as stored, its blank included";
    EXPECT_EQ("215 " + home_ + "/ | -I" + home_ + "/ | lpr -Pcolour %s | ` | ODE | " + home_ + "/ode.vtn | ",
              std::to_string(vt::Lines(vt::ReadFile(".vartenarc")).size()) + " " + value("Paths", "KERNEL") + " |" +
                  value("Compiler", "INCLUDE") + " | " + value("Visual", "HCPRINTER") + " | " + value("Visual", "HCVIEWER") +
                  " | " + value("Currents", "CLASSCUR") + " | " + value("Files", "CLASSFILECUR") + " | " + value("Compiler", "SOURCE"))
        << "the template's lines with the values filled in (every one of them in the digest)";
    EXPECT_EQ("[Paths]\nKERNEL=/elsewhere/\n", vt::ReadFile(scratch_ / "vartenarc")) << "no other settings file";
    EXPECT_EQ(".vartenarc.old\n0", vt::Output("ls -A | grep -v -e '^[A-Za-z]' -e '^.vartenarc$'; stat -c %s .vartenarc.old"))
        << "no temporary file, no lock left; the empty settings file replaced kept";
    unlink("autodif.o");
    user(false);
    vt::WriteFile("filenums.vtn", "vart0001 lorenz\n", 0600);
    vt::WriteFile("visuals.cpf", "stale\n");
    EXPECT_TRUE(run());
    EXPECT_EQ(Texts{"Could not run C++ compiler during the full installation.\n"
                    "Symbolical differentiation feature will be disabled."}, alerts_.texts());
    EXPECT_EQ("- vart0001 lorenz\n 600 .vartenarc .vartenarc.old filenums.cpf palette.cpf", value("Libraries", "AUTODIFOPT") + " " +
              vt::ReadFile("filenums.cpf") + " " + vt::Output("stat -c %a filenums.cpf") + " " +
              vt::Output("ls -A | tr '\\n' ' ' | sed 's/ $//'")) << "moved from its earlier name, visuals gone";
    std::string rc = vt::ReadFile(".vartenarc");
    EXPECT_EQ(rc.rfind("\n["), rc.find("\n[TMP]")) << "TMP is left at the end";
    EXPECT_EQ("$(Paths.KERNEL)autodif$(Extensions.OBJ)", value("TMP", "TMP"));
}

/* A run either ends with an installation that works, for the account that
 * ran it (the compile script builds a system, and the derivative program when
 * AUTODIFOPT is "+", in tcsh, bash and dash; autodif.o current unless its
 * alert was shown; values read back as typed; a settings file it replaced
 * that differed kept as .vartenarc.old), or stops with the alert naming the
 * field, file, mode or limit, the fields as they were and every file as it
 * was: an installation there before still works.  Each row from a fresh
 * scratch directory; nobody's rows are User runs of the home by that account. */
TEST_F(Installation, EndsWithAWorkingInstallationOrStopsWithTheNamedAlert)
{
    auto field = [](const std::string &label, const std::string &reason) {
        return "The \"" + label + "\" field " + reason + ".\nPlease correct it and press Setup again.";
    };
    auto tooLong = [](const std::string &what, size_t length, size_t limit, size_t most) {
        return "is too long: it makes " + what + " " + std::to_string(length) + " characters long, more than the " +
               std::to_string(limit) + " it may have; with the other fields as they are, it may hold at most " + std::to_string(most) +
               " characters";
    };
    auto homeFile = [&](const char *what, const char *file, const char *mode, const char *verb, const char *made) {
        return std::string("The ") + what + " '" + home_ + "/" + file + "' (" + mode + ") cannot be " + verb + " by this account.\n"
               "Please run a Full installation in the home directory again: it makes the file " + made + " for every account.";
    };
    const std::string blank = scratch_ / "sp ace", pct = scratch_ / "p%s", umlaut = scratch_ / "M\xc3\xbcller",
                      marks = "holds a ~ or ` character, which the settings file reads as a line break or as nothing",
                      chars = "may hold no blank, comma, % or shell special character ;&|<>()$'\"\\`, nor a character outside "
                              "ASCII, which the field gives back as a blank",
                      script = "The compile script '" + home_ + "/CompRhs' cannot build ", holder = scratch_ / "holder";
    auto home = [&](const std::string &dir) { vt::MakePackageHome(dir, false), vt::Enter(dir), vt::PrepareWindow(INST_FULL, dir); };
    auto away = [&](const char *file, bool dir) { full(true), unlink(file), dir && mkdir(file, 0755); };
    auto installed = [&] { full(true);
        EXPECT_TRUE(run()) << "the installation before"; };
    auto longHome = [&](size_t length) { /* a home of that many characters, made */
        std::string dir = scratch_ / std::string(length - scratch_.path().size() - 6, 'd') + "/home";
        vt::Shell("mkdir -p " + dir), home(dir);
        return dir;
    };
    auto forNobody = [&] { /* nobody's directory scratch/user; the suite where nobody can run it */
        chmod(scratch_.path().c_str(), 0755);
        vt::Shell("cp -n " + vt::SuitePath + " " + scratch_ / "bin/suite");
        vt::Enter(scratch_ / "user"), vt::Shell("chown -R nobody:nogroup .");
    };
    /* the field set to text after a Full window is made (autodif.o to be compiled), or what more does */
    const struct { const char *situation; Nlm_TexT *field; std::string text, alert; bool ends; std::function<void()> more;
                   std::string account = ""; } cases[] = {
        {"plain Full", NULL, "", "", true, nullptr},
        {"plain User", NULL, "", "", true, [&] { installed(), user(true); }},
        {"bash and no shells.vtn", NULL, "", "", true, [&] { setenv("SHELL", "/bin/bash", 1), home(home_); }},
        {"dash", &tShellPath, "/bin/dash ", "", true, [&] { full(), Nlm_SetValue(gShellStyle, STYLE_KSH); }},
        {"empty Libraries, Name and Options", &tLib, "", kNoCompile, true, [&] { full(true), SetText(tCppName, ""), SetText(tCppLib, ""); }},
        {"a blank in the home's path", NULL, "", field("VARTENA directory", chars), false, [&] { home(blank); }},
        {"a % in the home's path", NULL, "", field("VARTENA directory", chars), false, [&] { home(pct); }},
        {"a Full installation in a home outside ASCII", NULL, "", "", true, [&] { home_ = umlaut, home(umlaut); }},
        {"a home outside ASCII typed", NULL, "", field("VARTENA directory", chars), false,
         [&] { vt::MakePackageHome(umlaut, true), vt::Enter(scratch_ / "user"), vt::PrepareWindow(INST_USER, umlaut); }},
        {"a long home", &tKernel, std::string(250, '/') + home_.substr(1), field("VARTENA directory",
         tooLong("the line KERNEL=... of the settings file", 257 + home_.size(), 255, 247)), false, nullptr},
        {"a long Include", &tInclude, "-I" + std::string(240, 'i'), field("Include",
         tooLong("the line INCLUDE=... of the settings file", 254 + home_.size(), 255, 214)), false, nullptr},
        {"long C++ Options", &tCppLib, std::string(300, 'o'), field("Options", tooLong("the line CPPLIB=... of the settings file", 307, 255, 248)),
         false, nullptr},
        {"a shell path longer than the script's line", &tShellPath, "/bin/" + std::string(600, 'x'),
         field("Shell path", tooLong("the first line of the compile script", 608, 498, 495)), false, nullptr},
        {"the longest home the compile script takes, found from the alert for a longer one", NULL, "", "", true, [&] {
             longHome(230);
             EXPECT_FALSE(run());
             std::string refused = alerts_.count() == 1 ? alerts_.texts()[0] : "";
             EXPECT_EQ(0u, refused.find("The \"VARTENA directory\" field is too long: it makes line 10 of the compile script")) << refused;
             size_t most = std::stoul("0" + refused.substr(std::min(refused.size(), refused.find("at most ") + 8)));
             fresh(), longHome(most + 1);
             EXPECT_FALSE(run()) << "one more is too long";
             fresh(), printf("the longest home that installs: %zu characters\n", most), home_ = longHome(most); }},
        {"~ in Libraries", &tLib, "-L~/lib -lm", field("Libraries", marks), false, nullptr},
        {"a backquote in Options", &tCppLib, "`pkg-config --libs x11`", field("Options", marks), false, nullptr},
        {"a reference in Include", &tInclude, "-I$(Paths.KERNEL)",
         field("Include", "holds a $(Section.KEY) reference, which the settings file replaces by a value"), false, nullptr},
        {"a %d in the printer command", &Adjust[0].field, "lpr -#%d %s",
         field("Printer command", "may hold no printf directive but %s (or %% for a %)"), false, nullptr},
        {"two file names for the previewer", &Adjust[1].field, "gv %s %s", field("PostScript previewer",
         "holds more %s than the package fills in: it gives the command as many file names as the default has"), false, nullptr},
        {"no directory", &tKernel, "", "Specify full path to the VARTENA's home directory", false, nullptr},
        {"no executable", NULL, "", "The path you've specified does not contain VARTENA executable", false, [&] { away("vartena", false); }},
        {"a settings file that cannot be written", NULL, "", "Cannot open settings file './.vartenarc'", false,
         [&] { away(".vartenarc", true); }},
        {"an init file that cannot be written", NULL, "", "Cannot open file '" + home_ + "/init.cpf'", false, [&] { away("init.cpf", true); }},
        {"a compile script that cannot be written", NULL, "", "Cannot open batch file for compiler '" + home_ + "/CompRhs'", false,
         [&] { away("CompRhs", true); }},
        {"a C compiler that cannot link", &tLib, "-lno-such-library", script + "a system:\n", false, [&] { full(true); }},
        {"only the derivative program failing", &tCppLib, "-O2 -Wl,--no-such-option", script + "the derivative program tmp_der:\n",
         true, [&] { full(); }},
        {"no class file", NULL, "", "Cannot open class description file\n" + home_ + "/classes.vtn", false, [&] { away("classes.vtn", false); }},
        {"a run holding the lock", NULL, "", "Another Setup is running in this directory: '.vartenarc.lock' is locked", false, [&] {
             full(true), vt::Shell("(flock .vartenarc.lock sh -c 'touch " + holder + "; exec sleep 5' &); until [ -e " + holder +
                                   " ]; do sleep 0.05; done"); }},
        {"a lock left by a process that died", NULL, "", "", true, [&] { full(), vt::Shell("flock .vartenarc.lock true"); }},
        {"a moved home", NULL, "", "The Full installation in '" + scratch_ / "site2/home' was made for '" + scratch_ /
         "site1/home/': run a Full installation there again", false, [&] {
             mkdir((scratch_ / "site1").c_str(), 0755), home(scratch_ / "site1/home");
             EXPECT_TRUE(run());
             vt::Shell("mv " + scratch_ / "site1 " + scratch_ / "site2"), home_ = scratch_ / "site2/home";
             vt::Enter(scratch_ / "user"), vt::PrepareWindow(INST_USER, home_); }},
        {"a umask of 077 for the Full installation, then another account's User installation", NULL, "", "", true,
         [&] { full(), umask(077), run(), umask(022), forNobody(); }, "nobody"},
        {"an autodif.o made unreadable after the Full installation", NULL, "", "The autodif object '" + home_ + "/autodif.o' (mode 0600, "
         "owner root) cannot be read by this account.\nSymbolical differentiation feature will be disabled.\nA Full installation in "
         "the home directory again makes it readable for every account.", true,
         [&] { installed(), chmod("autodif.o", 0600), forNobody(); }, "nobody"},
        {"a compile script that the account cannot run", NULL, "", homeFile("compile script", "CompRhs", "mode 0700, owner root", "run",
         "readable and executable"), false, [&] { installed(), chmod("CompRhs", 0700), forNobody(); }, "nobody"},
        {"a header that the account cannot read", NULL, "", homeFile("system header", "vtn_sys.h", "mode 0400, owner root", "read",
         "readable"), false, [&] { installed(), chmod("vtn_sys.h", 0400), forNobody(); }, "nobody"},
        {"a home closed to the account", NULL, "", "The VARTENA directory '" + home_ + "' (mode 0700, owner root) cannot be searched by "
         "this account.\nPlease ask its owner to make it readable for every account.", false,
         [&] { installed(), chmod(home_.c_str(), 0700), forNobody(); }, "nobody"},
        {"a re-run with a refused field", &tInclude, "-I$(Paths.KERNEL)",
         field("Include", "holds a $(Section.KEY) reference, which the settings file replaces by a value"), false, installed},
        {"a re-run whose compile script fails its proof", &tInclude, "-include /nonexistent/none.h", script + "a system:\n", false,
         installed},
        {"a re-run after hand edits", NULL, "", "", true, [&] {
             installed(), vt::Shell("sed -i 's/^ARCHIVE=.*/ARCHIVE=mine.cat/; 1i ; mine' .vartenarc; echo '[MyTools]' >>.vartenarc"); }}};
    const std::string initialHome = home_;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.situation);
        setenv("SHELL", "/bin/tcsh", 1);
        fresh(), home_ = initialHome;
        c.more ? c.more() : full();
        if (c.field != NULL)
            SetText(*c.field, c.text);
        const std::string before = vt::ReadFile(".vartenarc"), kernel = title(tKernel), homeBefore = vt::Tree(home_),
                          hereBefore = vt::Tree(".");
        std::string shown, child = c.account.empty() ? "" : vt::Output(vt::As(c.account, "unset LSAN_OPTIONS; ASAN_OPTIONS="
                                   "\"$ASAN_OPTIONS:detect_leaks=0\" VART_USER_HOME=" + home_ + " " + scratch_ / "bin/suite 2>&1"));
        bool ended = c.account.empty() ? run() : child.find("\nquit in ") != std::string::npos || child.find("quit in ") == 0;
        for (const std::string &text : alerts_.texts())
            shown += (shown.empty() ? "" : "\n") + text;
        if (!c.account.empty()) { /* its alerts, each after "alert: " at a line's start, then how it ended */
            size_t last = child.rfind('\n');
            shown = last == std::string::npos ? "" : child.substr(0, last);
            for (size_t at = shown.find("alert: "); at != std::string::npos; at = shown.find("alert: ", at + 1))
                if (at == 0 || shown[at - 1] == '\n')
                    shown.erase(at, 7);
        }
        EXPECT_EQ(c.ends, ended) << child;
        EXPECT_EQ(c.alert, shown.substr(0, c.alert.size()));
        EXPECT_TRUE(shown.size() == c.alert.size() || (!c.alert.empty() && c.alert.back() == '\n')) << shown;
        std::string work = scratch_ / "work";
        if (!c.ends) {
            EXPECT_EQ(kernel, title(tKernel)) << "the fields as they were";
            EXPECT_EQ(homeBefore + hereBefore, vt::Tree(home_) + vt::Tree(".")) << "every file as it was";
            EXPECT_TRUE(Nlm_GetValue(gInst) != INST_FULL || vt::Shell("test -f " + home_ + "/CompRhs") != 0 ||
                        builtRhs(home_, work, "y") == 51.0) << "the installation there before works";
            continue;
        }
        const bool derivatives = value("Libraries", "AUTODIFOPT") == "+";
        for (const char *diff : {"n", derivatives ? "y" : "n"})
            EXPECT_EQ(51.0, builtRhs(home_, work, diff, c.account)) << diff;
        EXPECT_EQ(derivatives ? "slope 6 true 1\n" : "", vt::ReadFile(work + "/ErrLog1"));
        EXPECT_EQ(c.alert.empty() ? "+" : "-", value("Libraries", "AUTODIFOPT"));
        EXPECT_TRUE(!c.alert.empty() || vt::Shell("[ ! " + home_ + "/autodif.o -ot " + home_ + "/autodif.cc ]") == 0);
        EXPECT_TRUE(before == vt::ReadFile(".vartenarc") || before == vt::ReadFile(".vartenarc.old")) << "the file replaced kept";
        ReloadSettings();
        for (auto s : std::vector<std::pair<Nlm_TexT, const char *>>{{tLib, "LIB"}, {tCppName, "CPPNAME"}, {tCppLib, "CPPLIB"}}) {
            std::string typed = title(s.first);
            StrTrim(&typed[0]);
            EXPECT_EQ(typed.c_str(), vt::Str(GetParamString("Compiler", s.second))) << "read back as typed";
        }
    }
    home_ = initialHome;
}

/* autodif.o is compiled again only for a newer source that exists; a
 * compile that fails, or leaves the object older than its source, is shown
 * and turns AUTODIFOPT off; the read-only files are rewritten each time. */
TEST_F(Installation, AutodifIsCompiledForANewerSourceAndJudgedByItsResult)
{
    full();
    vt::WriteFile(scratch_ / "bin/cxx", "#!/bin/sh\ncase \" $* \" in *' -c '*) echo >> " + (scratch_ / "calls") + ";; esac\nexec c++ \"$@\"\n",
                  0755); /* counts compiles, not the proof's derivative program */
    vt::WriteFile(scratch_ / "bin/cxx-fails", "#!/bin/sh\ncxx \"$@\"; exit 1\n", 0755); /* makes the object, exits 1 */
    SetText(tCppName, "cxx");
    ASSERT_TRUE(run());
    const std::string good = vt::ReadFile("autodif.cc");
    const struct { const char *source, *text; int age; const char *compiler, *result; } steps[] = {
        {"autodif.cc", "", 60, "cxx", "1 +"},         {"autodif.cc", "", 0, "cxx", "2 +"},
        {"autodif.c", "int c;\n", 100, "cxx", "2 +"}, {"autodif.c", "int c;\n", 0, "cxx", "3 +"},
        {"autodif.cc", "broken(\n", 0, "cxx", "4 -"}, {"autodif.cc", "", 0, "true", "4 -"},
        {"autodif.cc", "", 0, "cxx-fails", "5 -"}};
    for (const auto &s : steps) {
        unlink("autodif.c");
        vt::WriteFile("autodif.cc", good);
        vt::SetModified("autodif.cc", time(NULL) - 60);
        if (*s.text != '\0')
            vt::WriteFile(s.source, s.text);
        vt::SetModified(s.source, time(NULL) - s.age);
        vt::SetModified("autodif.o", time(NULL) - 50);
        vt::WriteFile("init.cpf", "spoilt\n", 0444);
        SetText(tCppName, s.compiler);
        ASSERT_TRUE(run());
        EXPECT_EQ(s.result + std::string(s.result[2] == '+' ? "" : kNoCompile) + " 6451",
                  std::to_string(vt::Lines(vt::ReadFile(scratch_ / "calls")).size()) + " " + value("Libraries", "AUTODIFOPT") +
                      (alerts_.count() ? alerts_.texts()[0] : "") + " " + std::to_string(vt::ReadFile("init.cpf").size()))
            << s.source << " aged " << s.age << " by " << s.compiler;
    }
}

/* The class from the first two words after "&hierarchy"; the notice mailed
 * only with the box ticked, from a private directory. */
TEST_F(Installation, ClassAndNotice)
{
    const std::string kept = "$(Paths.KERNEL)%s$(Extensions.DESC)", pct = "Class description file '" + home_ +
        "/classes.vtn':\nthe class line after &hierarchy holds a % character,\nso the current class is not recorded";
    const struct { const char *file; std::string result; } classes[] = {
        {"&hierarchy\n! c\n\n   DAE   dae-one  extra ! note\n", "DAE " + home_ + "/dae-one.vtn "},
        {"&hierarchy\nODE   ! one word\n&classes\nODE\n", " " + kept + " "},
        {"&classes\nODE\n&hierarchy\n! nothing after it\n", " " + kept + " "},
        {"&hierarchy\nODE%n ode\n", " " + kept + " " + pct}, {"&hierarchy\nODE ode%s\n", " " + kept + " " + pct}};
    for (const auto &c : classes) {
        full(true);
        vt::WriteFile("classes.vtn", c.file);
        EXPECT_TRUE(run());
        EXPECT_EQ(c.result, value("Currents", "CLASSCUR") + " " + value("Files", "CLASSFILECUR") + " " +
                                (alerts_.count() ? alerts_.texts()[0] : "")) << c.file;
    }
    std::string log = scratch_ / "mail.log";
    vt::WriteFile(scratch_ / "bin/mail", "#!/bin/sh\n{ echo \"args: $*\"; pwd; cat; } >>" + log, 0755);
    vt::WriteFile("del1", "user file\n");
    for (int i = 0; i < 4; i++) { /* Full and User, with the box off, then ticked */
        i % 2 == 0 ? full(true) : user(true);
        Nlm_SetStatus(bReg, i >= 2);
        EXPECT_TRUE(run());
        std::string mail = vt::ReadFile(log);
        EXPECT_TRUE(i < 2 ? mail.empty() : mail.find("args: vartena-authors@example.org vartena-notices@example.org\n" +
                    scratch_ / "it's tmp/vartena-") == 0 && mail.find(i == 2 ? "\n\nVARTENA 1.5m installed on\nLinux " :
                    "VARTENA 1.5u") != std::string::npos) << "mailed only when ticked: " << mail;
        unlink(log.c_str());
    }
    EXPECT_EQ("user file\n" + vt::Output("ls -A '" + scratch_ / "it'\\''s tmp'"), vt::ReadFile(home_ + "/del1"))
        << "del1 untouched; the private directories gone";
}

/* While the C++ compiler (sleeping 2 s first) runs, the window says what runs,
 * shows the watch cursor, drops keys, is drawn again when uncovered and hardly
 * uses the CPU: a timer looks at 0.8 s (then xrefresh uncovers it), at 1.4 s
 * (then keys are typed) and to 1.9 s.  Afterwards all is as it was. */
struct { double start, at, cpu; int phase; std::string seen, before, after; } watch;
double now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }
void look(XtPointer, XtIntervalId *)
{
    const std::string picture = "timeout 10 import -window " + std::to_string(XtWindow(Nlm_ParentWindowShell((Nlm_GraphiC)wSetup))) +
                                " rgb:- | sha256sum"; /* this window: the fault children's are named alike */
    double t = now() - watch.start;
    if (watch.phase == 0 && t > 0.8) {
        watch.seen = std::to_string(Nlm_SetCursorShape(WHAT_CURSOR)) + " " + title(pStatus) + " " +
                     std::to_string(Nlm_Visible(pStatus)) + " " + std::to_string(Nlm_Visible(gTerm));
        watch.before = vt::Output(picture), watch.phase = 1;
        vt::Shell("xrefresh");
    } else if (watch.phase == 1 && t > 1.4) {
        watch.after = vt::Output(picture);
        Nlm_Select(tKernel);
        vt::Shell("xdotool type --delay 0 zz");
        watch.phase = 2, watch.cpu = clock(), watch.at = t;
    } else if (watch.phase == 2 && t > 1.9) {
        watch.phase = 3, watch.cpu = (clock() - watch.cpu) / CLOCKS_PER_SEC / (t - watch.at);
    }
    if (watch.phase < 3)
        XtAppAddTimeOut(Nlm_appContext, 100, look, NULL);
}

TEST_F(Installation, ShowsWhatRunsWhileTheCompilerWorks)
{
    full();
    vt::WriteFile(scratch_ / "bin/slow-c++", "#!/bin/sh\nsleep 2\nexec c++ \"$@\"\n", 0755);
    SetText(tCppName, "slow-c++");
    Nlm_Show(wSetup);
    for (Nlm_TexT t : {tKernel, tInclude, tLib, tCppName, tCppLib, tShellPath, Adjust[0].field, Adjust[1].field, Adjust[2].field})
        Nlm_SetTextCursorBlinkRate(t, 0); /* a blinking caret would change the picture by itself */
    vt::pump(300);
    watch.start = now(), watch.phase = 0;
    XtAppAddTimeOut(Nlm_appContext, 100, look, NULL);
    EXPECT_TRUE(run());
    ASSERT_EQ(3, watch.phase) << "the timers ran while the compiler did";
    EXPECT_EQ("4 Compiling autodif.cc with slow-c++ ... 1 0", watch.seen) << "watch cursor, status, no buttons";
    EXPECT_EQ(watch.before, watch.after) << "an uncovered window is drawn again";
    EXPECT_LT(watch.cpu, 0.1) << "of one core";
    EXPECT_EQ(Texts(), alerts_.texts());
    EXPECT_EQ(CURSOR_ARROW, Nlm_SetCursorShape(WHAT_CURSOR));
    EXPECT_TRUE(title(pStatus).empty() && !Nlm_Visible(pStatus) && Nlm_Visible(gTerm) && vt::Exists("autodif.o"));
    EXPECT_EQ(home_, title(tKernel)) << "keys typed meanwhile were dropped";
}

/* Each operation making a file of a Full run (write, close, rename) fails as
 * on a full disk, then kills the run, one child run each, over an earlier
 * installation: every file is then whole, old or new; a failure is shown,
 * stops the run and leaves every file and mode as before the run, and no
 * temporary file.  Prints the clean run's time. */
TEST(Faults, EveryFileOperationOfAFullRunFailingOrKilledLeavesEveryFileWhole)
{
    vt::ScratchDir scratch;
    const std::string home = scratch / "home";
    const Texts files = {".vartenarc", "filenums.cpf", "init.cpf", "CompRhs", "vtn_sys.h", "palette.cpf", ".vartenarc.old"};
    const std::string temporaries = "find " + home + " -maxdepth 1 -regextype egrep -regex '.*/[.](.*[.].{6}|vartena-.{6}|.*[.]old-[0-9-]+)'";
    vt::MakePackageHome(home, true);
    auto state = [&](const std::string &file) { /* its text and mode, "" when missing */
        return vt::ReadFile(home + "/" + file) + vt::Output("stat -c %a " + home + "/" + file + " 2>/dev/null");
    };
    auto before = [&] { /* the earlier installation: no file-number file, no kept settings file */
        vt::Shell(temporaries + " -exec rm -rf {} +; rm -f " + home + "/filenums.cpf " + home + "/.vartenarc.old");
        for (size_t i = 0; i < files.size(); i++)
            if (files[i] != "filenums.cpf" && files[i] != ".vartenarc.old")
                vt::WriteFile(home + "/" + files[i], "; old\n", 0444);
    };
    auto run = [&](const std::string &mode, long at, const char *env = "") {
        before();
        int status = vt::Shell("cd " + home + " && " + env + "VART_FAULT_HOME=" + home + " VART_FAULT_DIR=" + home + " VART_FAULT_MODE=" +
                               mode + " VART_FAULT_AT=" + std::to_string(at) + " VART_FAULT_COUNT=" + scratch / "count" +
                               " ASAN_OPTIONS=\"$ASAN_OPTIONS:verify_asan_link_order=0\" LD_PRELOAD=" VART_FAULT_SHIM
                               " /proc/" + std::to_string(getpid()) + "/exe >" + scratch / "out" + " 2>&1");
        return std::make_pair(status, vt::ReadFile(scratch / "out"));
    };
    std::map<std::string, std::string> old, fresh;
    before();
    for (const std::string &file : files)
        old[file] = state(file);
    const std::string clean = run("fail", 0).second; /* "quit in N ms" */
    ASSERT_EQ(0u, clean.find("quit in ")) << clean;
    for (const std::string &file : files)
        fresh[file] = state(file);
    const long operations = std::stol(vt::ReadFile(scratch / "count"));
    ASSERT_GE(operations, 3 * long(files.size())) << "a write, a close and a rename for each file";
    EXPECT_EQ(0u, run("fail", 0, "VART_FAULT_FLOCK=1 ").second.find("quit in ")) << "without flock: the lock file alone";
    for (const std::string mode : {"fail", "exit"})
        for (long at = 1; at <= operations; at++) {
            auto [status, out] = run(mode, at);
            for (const std::string &file : files)
                EXPECT_TRUE(state(file) == old[file] || (mode == "exit" && state(file) == fresh[file]))
                    << mode << " at " << at << ": " << file << ":\n" << state(file).substr(0, 200);
            EXPECT_TRUE(mode == "exit" ? status == 99 : status == 0 && out.find("alert: Cannot ") != std::string::npos &&
                        out.find("\nstopped in ") != std::string::npos && vt::Output(temporaries).empty())
                << mode << " at " << at << ": " << out << vt::Output(temporaries);
        }
    printf("fault injection: %ld file operations of a Full run, each failed once and killed once; %zu files "
           "checked after each of the %ld runs; the run without a fault: %s", operations, files.size(), 2 * operations,
           clean.c_str());
}

} // namespace
