/* The installation run as "Setup" performs it: the real window on the X
 * server, its fields set through the toolkit, SetupProc called and its
 * alerts captured, in package homes that the tests build.  A completed run
 * raises the toolkit's quit flag for good, so only the first test here sees
 * it go up; the runs that stop are in run_stop_test.cc. */
#include <gtest/gtest.h>

#include <X11/Intrinsic.h>
#include <X11/Xutil.h>

#include "toolkit.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <cstring>
#include <dlfcn.h>
#include <sys/resource.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "run_home.h"
#include "support.h"
#include "widgets.h"

namespace {

using vt::setText;
using Texts = std::vector<std::string>;

size_t tableLines(const char *const *table)
{
    size_t n = 0;
    while (table[n] != NULL)
        n++;
    return n;
}

size_t fileLines(const std::string &path)
{
    return vt::SplitLines(vt::ReadFile(path)).size();
}

class RunTest : public vt::RunFixture {
protected:
    /* A User installation from the package home in another directory. */
    void user(bool object)
    {
        vt::MakePackageHome(home_, object);
        vt::Enter(scratch_ / "user");
        vt::PrepareWindow(2, home_);
    }
    /* Names as the C++ compiler one that records each call, then runs c++. */
    void recordCompiler()
    {
        std::string path = scratch_ / "bin/recording-c++";
        vt::WriteFile(path, "#!/bin/sh\necho \"$@\" >> '" + (scratch_ / "compiler.log") + "'\nexec c++ \"$@\"\n", 0755);
        vt::WriteFile(scratch_ / "compiler.name", path);
        setText(tCppName, path);
    }
    size_t compilerCalls() { return fileLines(scratch_ / "compiler.log"); }
    /* The home's CompRhs run as the package runs it, from a fresh directory
     * with "." not on PATH, on a tiny system: the library it builds loads
     * and computes; with the derivative step, tmp_der.cc is linked with the
     * home's autodif.o and run. */
    void expectScriptBuilds(bool derivative)
    {
        std::string work = scratch_ / ("work" + std::to_string(++works_));
        mkdir(work.c_str(), 0755);
        vt::WriteFile(work + "/sys.c", "#include \"vtn_sys.h\"\ndouble rhs(double x)\n"
                                       "{ return sqr(x) + cube(2.0) + dersub3(1, 2, 3) + iff(x > 0, TRUE, FALSE); }\n");
        if (derivative)
            vt::WriteFile(work + "/tmp_der.cc",
                          "#include <cstdio>\n#include \"vtn_sys.h\"\nextern \"C\" double autodif_square_slope(double);\n"
                          "int main() { std::printf(\"slope %g true %d\\n\", autodif_square_slope(3.0), TRUE); }\n");
        ASSERT_EQ(0, vt::Shell("cd " + work + " && PATH=/usr/local/bin:/usr/bin:/bin " + home_ + "/CompRhs sys vart0001 " +
                               (derivative ? "y" : "n")));
        EXPECT_FALSE(vt::Exists(work + "/delete.o"));
        void *lib = dlopen((work + "/vart0001.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, lib) << dlerror() << vt::ReadFile(work + "/ErrLog");
        auto rhs = reinterpret_cast<double (*)(double)>(dlsym(lib, "rhs"));
        ASSERT_NE(nullptr, rhs);
        EXPECT_DOUBLE_EQ(9.0 + 8.0 + 14.0 + 1.0, rhs(3.0)); /* dersub3(1,2,3) = 1 + 3 + 10 */
        dlclose(lib);
        if (derivative) {
            EXPECT_EQ("slope 6 true 1\n", vt::ReadFile(work + "/ErrLog1"));
        }
    }
    int works_ = 0;
    /* The Full installation's files as the templates give them, with their modes. */
    void expectFullFiles()
    {
        EXPECT_EQ(vt::ReadFile(vt::DataDir() + "/init.cpf.golden"), vt::ReadFile("init.cpf"));
        EXPECT_EQ(vt::ReadFile(vt::DataDir() + "/palette.cpf.golden"), vt::ReadFile("palette.cpf"));
        EXPECT_EQ(tableLines(IncludeRhs), fileLines("vtn_sys.h"));
        const std::pair<const char *, int> modes[] = {{"init.cpf", 0444},     {"vtn_sys.h", 0444},
                                                      {"CompRhs", 0755},      {"palette.cpf", 0644},
                                                      {"filenums.cpf", 0644}, {".vartenarc", 0644}};
        for (const auto &file : modes)
            EXPECT_EQ(file.second, vt::FileMode(file.first)) << file.first;
    }
};

/* The directory is given with its slash, which gets no second one (the
 * User run shows the one added); tuning values are stored trimmed, an empty
 * one as "`", which reads back empty. */
TEST_F(RunTest, FullWritesEveryFileAndEveryKeyAndQuits)
{
    /* the toolkit's variable to skip the working directory's file is not obeyed */
    vt::EnvSetting skipLocal("NCBI_DONT_USE_LOCAL_CONFIG", "1"), shared("NCBI", scratch_.path());
    vt::WriteFile(scratch_ / "vartenarc", "[Paths]\nKERNEL=/elsewhere/\n");
    full(true);
    setText(tKernel, home_ + "/");
    setText(Adjust[0].field, "  lpr -Pcolour %s \t");
    setText(Adjust[1].field, "    ");
    setText(Adjust[2].field, "");
    run();
    EXPECT_EQ(Texts(), alerts_.texts());
    EXPECT_TRUE(Nlm_QuittingProgram());
    EXPECT_FALSE(Nlm_Enabled(gTerm));

    EXPECT_EQ(6451u, vt::ReadFile("init.cpf").size());
    EXPECT_EQ(26u, fileLines("palette.cpf"));
    Texts header = vt::SplitLines(vt::ReadFile("vtn_sys.h"));
    EXPECT_EQ(3, std::count(header.begin(), header.end(), ""));
    EXPECT_EQ(std::string::npos, vt::ReadFile("vtn_sys.h").find('`'));
    std::string script = vt::ReadFile("CompRhs");
    EXPECT_EQ(tableLines(CompileRhs), vt::SplitLines(script).size());
    EXPECT_EQ(std::string::npos, script.find("$("));
    EXPECT_EQ("-", vt::ReadFile("filenums.cpf"));
    expectFullFiles();

    const struct {
        const char *section, *key;
        std::string expected;
    } keys[] = {{"Paths", "KERNEL", home_ + "/"}, {"Paths", "KERNELW", "./"},
                {"Compiler", "INCLUDE", " -I" + home_ + "/"}, {"Compiler", "LIB", "-lc -lm"},
                {"Compiler", "CPPNAME", "c++"}, {"Compiler", "CPPLIB", " -O2 -fPIC -lc -lm"},
                {"Visual", "HCPRINTER", "lpr -Pcolour %s"}, {"Visual", "HCVIEWER", "`"}, {"Compiler", "EXTDIFF", "`"},
                {"Libraries", "AUTODIFOPT", "+"}, {"Currents", "CLASSCUR", "ODE"},
                {"Files", "CLASSFILECUR", home_ + "/ode.vtn"},
                {"Files", "INITFILE", "$(Paths.KERNEL)init$(Extensions.SYS)"}};
    for (const auto &key : keys)
        EXPECT_EQ(key.expected, value(key.section, key.key)) << key.section << "." << key.key;
    EXPECT_EQ(std::string::npos, vt::ReadFile(".vartenarc").find("[TMP]"));
    EXPECT_EQ("[Paths]\nKERNEL=/elsewhere/\n", vt::ReadFile(scratch_ / "vartenarc"));
    EXPECT_STREQ(("-I" + home_ + "/").c_str(), GetParam("Compiler", "INCLUDE")) << "read as the file gives it";
    ASSERT_NE(nullptr, GetParamString("Visual", "HCVIEWER"));
    EXPECT_STREQ("", ParBuf);
}

/* What a user meets: a run either quits with an installation that works
 * (the compile script builds a system into a library that loads, with
 * "." not on PATH; autodif.o current unless its alert was shown; every
 * value reads back from the settings file as it was typed), or stops with
 * the alert that names the field or file, the window open and, when a
 * field is refused, nothing written. */
TEST_F(RunTest, EndsWithAWorkingInstallationOrStopsWithTheNamedAlert)
{
    const std::string refused = "The \"%s\" field %s.\nPlease correct it and press Setup again.";
    auto field = [&](const char *label, const char *reason) {
        std::string text = refused;
        text.replace(text.find("%s"), 2, label);
        return text.replace(text.find("%s"), 2, reason);
    };
    const char *tooLong = "is too long for a line of the settings file";
    const char *marks = "holds a ~ or ` character, which the settings file reads as a line break or as nothing";
    const std::string blankHome = scratch_ / "sp ace";
    const struct {
        const char *situation;
        std::function<void()> prepare;
        Texts alerts; /* each alert begins with its text */
        bool quits;
    } cases[] = {
        {"plain Full", [&] { full(true); }, {}, true},
        {"plain User", [&] { user(true); }, {}, true},
        {"bash and no shells.vtn", [&] { setenv("SHELL", "/bin/bash", 1); vt::MakePackageHome(home_, true);
                                        vt::Enter(home_); vt::PrepareWindow(1, home_); }, {}, true},
        {"a blank in the home's path", [&] { vt::MakePackageHome(blankHome, true); vt::Enter(blankHome);
                                            vt::PrepareWindow(1, blankHome); },
         {field("VARTENA directory", "may hold no blank, comma, % or shell special character ;&|<>()$'\"\\`")}, false},
        {"a long Include", [&] { full(true); setText(tInclude, "-I" + std::string(240, 'i')); },
         {field("Include", tooLong)}, false},
        {"long C++ Options", [&] { full(true); setText(tCppLib, std::string(300, 'o')); },
         {field("Options", tooLong)}, false},
        {"empty Libraries, C++ Name and Options", [&] { full(true); setText(tLib, ""); setText(tCppName, "");
                                                        setText(tCppLib, ""); }, {vt::kNoCompile}, true},
        {"~ in Libraries", [&] { full(true); setText(tLib, "-L~/lib -lm"); }, {field("Libraries", marks)}, false},
        {"a backquote in Options", [&] { full(true); setText(tCppLib, "`pkg-config --libs x11`"); },
         {field("Options", marks)}, false},
        {"a %d in the printer command", [&] { full(true); setText(Adjust[0].field, "lpr -#%d %s"); },
         {field("Printer command", "may hold no printf directive but %s (or %% for a %)")}, false},
        {"two file names for the previewer", [&] { full(true); setText(Adjust[1].field, "gv %s %s"); },
         {field("PostScript previewer", "holds more %s than the package fills in: it gives the command as "
                                        "many file names as the default has")}, false},
        {"a C compiler that cannot link", [&] { full(true); setText(tLib, "-lno-such-library"); },
         {"The compile script '" + home_ + "/CompRhs' cannot build a system:\n"}, false},
        {"an init file that cannot be written", [&] { full(true); unlink("init.cpf"); mkdir("init.cpf", 0755); },
         {"Cannot open file '" + home_ + "/init.cpf'"}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.situation);
        setenv("SHELL", "/bin/tcsh", 1);
        c.prepare();
        const std::string before = vt::ReadFile(".vartenarc");
        run();
        ASSERT_EQ(c.alerts.size(), alerts_.count()) << (alerts_.count() ? alerts_.texts()[0] : "");
        for (size_t i = 0; i < c.alerts.size(); i++)
            EXPECT_EQ(0u, alerts_.texts()[i].find(c.alerts[i])) << alerts_.texts()[i];
        EXPECT_EQ(!c.quits, Nlm_Enabled(gTerm)) << "the window stays for another try";
        if (!c.quits) {
            bool refused = c.alerts[0].find("field") != std::string::npos;
            EXPECT_TRUE(!refused || before == vt::ReadFile(".vartenarc")) << "a refused field: nothing written";
            continue;
        }
        expectScriptBuilds(false);
        bool autodif = c.alerts.empty();
        EXPECT_EQ(autodif ? "+" : "-", value("Libraries", "AUTODIFOPT"));
        EXPECT_TRUE(!autodif || vt::FileTime(home_ + "/autodif.o") >= vt::FileTime(home_ + "/autodif.cc"));
        ReloadSettings();
        const struct { Nlm_Handle field; const char *section, *key; } stored[] = {
            {tLib, "Compiler", "LIB"}, {tCppName, "Compiler", "CPPNAME"}, {tCppLib, "Compiler", "CPPLIB"},
            {Adjust[0].field, "Visual", "HCPRINTER"}, {Adjust[1].field, "Visual", "HCVIEWER"},
            {Adjust[2].field, "Compiler", "EXTDIFF"}};
        for (const auto &s : stored) {
            char typed[600];
            Nlm_GetTitle(s.field, typed, sizeof typed);
            StrTrim(typed);
            const char *back = GetParamString(s.section, s.key);
            EXPECT_STREQ(typed, back != NULL ? back : "(missing)") << s.key;
        }
    }
}

/* The toolkit's display and its X Toolkit context. */
extern "C" Display *Nlm_currentXDisplay;
extern "C" XtAppContext Nlm_appContext;

/* The top-level window titled title, or 0. */
Window topWindow(Display *display, const char *title)
{
    Window root, parent, *kids = NULL, found = 0;
    unsigned int n = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &parent, &kids, &n);
    for (unsigned int i = 0; i < n && found == 0; i++) {
        char *name = NULL;
        if (XFetchName(display, kids[i], &name) && name != NULL && strcmp(name, title) == 0)
            found = kids[i];
        XFree(name);
    }
    XFree(kids);
    return found;
}

/* What the window shows, as the X server holds it. */
std::string pixels(Display *display, Window window)
{
    XWindowAttributes a;
    XGetWindowAttributes(display, window, &a);
    XImage *image = XGetImage(display, window, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
    std::string bytes(image->data, image->bytes_per_line * image->height);
    XDestroyImage(image);
    return bytes;
}

/* Clears window and everything in it to its background, asking its owner
 * to draw it again (Expose). */
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

/* Looks at the window from a timer while the run waits for its compiler:
 * at 0.8 s the cursor, the status line and the buttons, and the picture,
 * which is then cleared; at 1.4 s the picture drawn again, and keys typed
 * into the directory field; from then to 1.9 s the CPU time the program
 * takes. */
struct Watch {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    int phase = 0;
    enumCursorShape cursor = BAD_CURSOR;
    std::string status, before, after;
    bool statusShown = false, buttonsShown = true;
    double cpu = 0, wall = 0;
} watch;

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
    Window window = topWindow(display, "vartena 1.5 setup");
    if (watch.phase == 0 && seconds > 0.8) {
        watch.phase = 1;
        watch.cursor = Nlm_SetCursorShape(WHAT_CURSOR);
        watch.status = vt::title(pStatus);
        watch.statusShown = Nlm_Visible(pStatus);
        watch.buttonsShown = Nlm_Visible(gTerm);
        watch.before = pixels(display, window);
        clearAll(display, window);
        XFlush(display);
    } else if (watch.phase == 1 && seconds > 1.4) {
        watch.phase = 2;
        watch.after = pixels(display, window);
        Nlm_Select(tKernel);
        vt::Shell("xdotool type --delay 0 zz");
        watch.cpu = cpuSeconds();
        watch.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - watch.start).count();
    } else if (watch.phase == 2 && seconds > 1.9) {
        watch.phase = 3;
        watch.cpu = cpuSeconds() - watch.cpu;
        watch.wall = seconds - watch.wall;
    }
    if (watch.phase < 3)
        XtAppAddTimeOut(Nlm_appContext, 100, look, NULL);
}

/* While the C++ compiler runs (a stand-in that sleeps 2 s first), the
 * window says what runs, shows the watch cursor, drops keys, and is
 * drawn again when uncovered, with the program hardly using the CPU; after
 * it, everything is as it was and the run's result is the usual one. */
TEST_F(RunTest, ShowsWhatRunsWhileTheCompilerWorks)
{
    full();
    vt::WriteFile(scratch_ / "bin/slow-c++", "#!/bin/sh\nsleep 2\nexec c++ \"$@\"\n", 0755);
    setText(tCppName, "slow-c++");
    Nlm_Show(wSetup);
    /* a blinking caret would change the picture by itself */
    for (Nlm_TexT t : {tKernel, tInclude, tLib, tCppName, tCppLib, tShellPath, Adjust[0].field, Adjust[1].field,
                       Adjust[2].field})
        Nlm_SetTextCursorBlinkRate(t, 0);
    vt::pump(300);
    watch = Watch();
    XtAppAddTimeOut(Nlm_appContext, 100, look, NULL);
    run();
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - watch.start).count();

    ASSERT_EQ(3, watch.phase) << "the timers ran while the compiler did";
    EXPECT_EQ(CURSOR_WATCH, watch.cursor);
    EXPECT_EQ("Compiling autodif.cc with slow-c++ ...", watch.status);
    EXPECT_TRUE(watch.statusShown && !watch.buttonsShown);
    EXPECT_TRUE(watch.before == watch.after) << "an uncovered window is drawn again";
    EXPECT_GT(wall, 2.0);
    EXPECT_LT(watch.cpu, 0.1 * watch.wall) << watch.cpu << " s of CPU in " << watch.wall << " s";

    EXPECT_EQ(Texts(), alerts_.texts());
    EXPECT_EQ(CURSOR_ARROW, Nlm_SetCursorShape(WHAT_CURSOR));
    EXPECT_EQ("", vt::title(pStatus));
    EXPECT_FALSE(Nlm_Visible(pStatus));
    EXPECT_TRUE(Nlm_Visible(gTerm));
    EXPECT_EQ(home_, vt::title(tKernel)) << "keys typed meanwhile were dropped";
    EXPECT_EQ("+", value("Libraries", "AUTODIFOPT"));
    EXPECT_TRUE(vt::Exists("autodif.o"));
}

/* autodif.o is compiled again only when a source that exists is newer;
 * a compile that fails, or leaves the object older than its source, is
 * shown and turns AUTODIFOPT off; the read-only files are rewritten at
 * every run. */
TEST_F(RunTest, FurtherFullRunsRewriteReadOnlyFilesAndCompileOnlyForANewerSource)
{
    full();
    recordCompiler();
    run();
    ASSERT_EQ(1u, compilerCalls()) << "the missing object is compiled";
    for (const char *file : {"init.cpf", "vtn_sys.h", "palette.cpf"})
        vt::WriteFile(file, "spoilt\n", 0444);
    const std::string good = vt::ReadFile("autodif.cc"), recording = vt::ReadFile(scratch_ / "compiler.name");
    const struct {
        const char *source, *text;
        int age;
        const char *compiler;
        size_t calls;
        const char *autodif;
    } steps[] = {{"autodif.cc", "", 60, "", 1, "+"},          {"autodif.cc", "", 0, "", 2, "+"},
                 {"autodif.c", "int c;\n", 100, "", 2, "+"},  {"autodif.c", "int c;\n", 0, "", 3, "+"},
                 {"autodif.cc", "broken(\n", 0, "", 4, "-"}, {"autodif.cc", "", 0, "true", 4, "-"}};
    time_t now = time(NULL);
    for (const auto &step : steps) {
        SCOPED_TRACE(std::string(step.source) + " aged " + std::to_string(step.age) + ", compiled by '" +
                     step.compiler + "'");
        unlink("autodif.c");
        vt::WriteFile("autodif.cc", good);
        vt::SetModified("autodif.cc", now - 60);
        if (*step.text != '\0')
            vt::WriteFile(step.source, step.text);
        vt::SetModified(step.source, now - step.age);
        vt::SetModified("autodif.o", now - 50);
        setText(tCppName, *step.compiler != '\0' ? step.compiler : recording);
        run();
        EXPECT_EQ(step.calls, compilerCalls());
        EXPECT_EQ(*step.autodif == '+' ? Texts() : Texts{vt::kNoCompile}, alerts_.texts());
        EXPECT_EQ(step.autodif, value("Libraries", "AUTODIFOPT"));
    }
    expectFullFiles();
}

/* A shell path is cut to the script's first line (and such a script
 * cannot run); a compile command cut to its buffer is never run. */
TEST_F(RunTest, OverlongShellPathAndCompileCommandAreCutAndNeverRun)
{
    full(true);
    recordCompiler();
    std::string longText(20000, 'x');
    setText(tShellPath, "/bin/" + longText);
    run();
    ASSERT_EQ(1u, alerts_.count());
    EXPECT_EQ(0u, alerts_.texts()[0].find("The compile script '" + home_ + "/CompRhs' cannot build a system:"));
    std::string script = vt::ReadFile("CompRhs");
    EXPECT_EQ("#! /bin/" + std::string(495 - 5, 'x') + "\n", script.substr(0, script.find('\n') + 1));

    setText(tShellPath, "/bin/tcsh -f");
    setText(tCppLib, " -O2 " + longText.substr(0, 240));
    setText(tCppName, vt::ReadFile(scratch_ / "compiler.name") + " " + longText.substr(0, 200));
    unlink("autodif.o");
    run();
    EXPECT_EQ(Texts{vt::kNoCompile}, alerts_.texts());
    EXPECT_EQ(0u, compilerCalls()) << "a command cut to its buffer is never run";
    EXPECT_EQ("-", value("Libraries", "AUTODIFOPT"));
}

/* The file-number file is moved from its earlier name, or left alone when
 * it exists (its creation as "-" is in the Full run). */
TEST_F(RunTest, UserWritesOnlyItsOwnFilesAndNeedsTheObjectInTheHome)
{
    user(false);
    vt::WriteFile("filenums.vtn", "vart0001 lorenz\n", 0600);
    run();
    EXPECT_EQ(Texts{"Could not run C++ compiler during the full installation.\n"
                    "Symbolical differentiation feature will be disabled."},
              alerts_.texts());
    EXPECT_EQ("-", value("Libraries", "AUTODIFOPT"));
    EXPECT_EQ("vart0001 lorenz\n", vt::ReadFile("filenums.cpf"));
    EXPECT_EQ(0600, vt::FileMode("filenums.cpf"));
    EXPECT_FALSE(vt::Exists("filenums.vtn"));

    vt::MakePackageHome(home_, true);
    vt::WriteFile("filenums.vtn", "not moved", 0600);
    vt::WriteFile(home_ + "/init.cpf", "earlier\n", 0444);
    vt::WriteFile("visuals.cpf", "stale visuals\n");
    run();
    EXPECT_EQ(Texts(), alerts_.texts());
    EXPECT_EQ("+", value("Libraries", "AUTODIFOPT"));
    for (const std::string &file : Texts{"init.cpf", "CompRhs", "vtn_sys.h", "visuals.cpf", home_ + "/CompRhs"})
        EXPECT_FALSE(vt::Exists(file)) << file;
    EXPECT_EQ("earlier\n", vt::ReadFile(home_ + "/init.cpf"));
    EXPECT_EQ("vart0001 lorenz\n", vt::ReadFile("filenums.cpf"));
    EXPECT_EQ("not moved", vt::ReadFile("filenums.vtn"));
    EXPECT_EQ(26u, fileLines("palette.cpf"));
    EXPECT_EQ(home_ + "/", value("Paths", "KERNEL"));
    EXPECT_EQ(home_ + "/ode.vtn", value("Files", "CLASSFILECUR"));
    std::string rc = vt::ReadFile(".vartenarc");
    EXPECT_EQ(rc.rfind("\n["), rc.find("\n[TMP]")) << "the TMP section is left at the end";
    EXPECT_EQ("$(Paths.KERNEL)autodif$(Extensions.OBJ)", value("TMP", "TMP"));
}

/* The first two words of the first line after "&hierarchy" that is not a
 * comment; fewer words, or no such line, change neither key. */
TEST_F(RunTest, ClassKeysComeFromTheLineAfterHierarchy)
{
    const std::string kept = "$(Paths.KERNEL)%s$(Extensions.DESC)";
    const struct {
        const char *file;
        std::string classKey, fileKey;
    } cases[] = {{"&hierarchy\n! comment\n\n   DAE   dae-one  extra ! note\n", "DAE", home_ + "/dae-one.vtn"},
                 {"&hierarchy\nODE   ! one word\n&classes\nODE\n", "", kept},
                 {"&classes\nODE\n&hierarchy\n! nothing after it\n", "", kept},
                 {"&classes\nODE\n", "", kept},
                 {"&hierarchy\nODE%n ode\n", "", kept},
                 {"&hierarchy\nODE ode%s\n", "", kept}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        full(true);
        vt::WriteFile("classes.vtn", c.file);
        run();
        if (strchr(c.file, '%') == NULL)
            EXPECT_EQ(Texts(), alerts_.texts());
        else
            EXPECT_EQ(Texts{"Class description file '" + home_ + "/classes.vtn':\nthe class line after &hierarchy "
                            "holds a % character,\nso the current class is not recorded"},
                      alerts_.texts());
        EXPECT_EQ(c.classKey, value("Currents", "CLASSCUR"));
        EXPECT_EQ(c.fileKey, value("Files", "CLASSFILECUR"));
    }
}

/* The notice goes through a fake mail, first on PATH, that records its
 * arguments, working directory and input; it is run from a private
 * directory, so del1 and del2 of the user's are never touched. */
TEST_F(RunTest, NoticeIsMailedOnlyWhenTheBoxIsTicked)
{
    std::string log = scratch_ / "mail.log";
    vt::WriteFile(scratch_ / "bin/mail", "#!/bin/sh\n{ echo \"args: $*\"; echo \"cwd: $(pwd)\"; cat; } >>" + log, 0755);
    full(true);
    run();
    setenv("TMPDIR", (scratch_ / "no-such-dir").c_str(), 1);
    vt::PrepareWindow(1, home_);
    EXPECT_EQ(nullptr, bReg) << "no preview, no notice";
    run();
    EXPECT_FALSE(vt::Exists(log)) << "box off or missing";

    setenv("TMPDIR", (scratch_ / "tmp").c_str(), 1);
    vt::PrepareWindow(1, home_);
    vt::WriteFile("del1", "user file one\n");
    ASSERT_NE(nullptr, bReg);
    Nlm_SetStatus(bReg, TRUE);
    run();
    std::string mail = vt::ReadFile(log);
    EXPECT_NE(std::string::npos, mail.find("args: vartena-authors@example.org vartena-notices@example.org\n")) << mail;
    EXPECT_NE(std::string::npos, mail.find("\n\nVARTENA 1.5m installed on\nLinux ")) << mail;
    EXPECT_NE(std::string::npos, mail.find("cwd: " + (scratch_ / "tmp/vartena-"))) << mail;
    EXPECT_EQ("user file one\n", vt::ReadFile("del1"));
    EXPECT_FALSE(vt::Exists("del2"));
    EXPECT_NE(0, vt::Shell("ls -A " + (scratch_ / "tmp") + " | grep -q .")) << "the private directory is removed";

    user(true);
    Nlm_SetStatus(bReg, TRUE);
    run();
    EXPECT_NE(std::string::npos, vt::ReadFile(log).find("VARTENA 1.5u installed on"));
    EXPECT_EQ(Texts(), alerts_.texts());
}

/* The written compile script run by tcsh, bash and dash with the real cc,
 * with and without the derivative step. */
TEST_F(RunTest, CompileScriptsBuildALoadableLibraryAndTheDerivativeProgram)
{
    const struct {
        int style;
        const char *shellPath;
        const char *const *table;
    } styles[] = {{1, "/bin/tcsh -f", CompileRhs}, {2, "/bin/bash ", CompileRhsKsh}, {2, "/bin/dash ", CompileRhsKsh}};
    for (const auto &style : styles) {
        SCOPED_TRACE(style.shellPath);
        full();
        Nlm_SetValue(gShellStyle, static_cast<Nlm_Int2>(style.style));
        setText(tShellPath, style.shellPath);
        run();
        ASSERT_EQ(Texts(), alerts_.texts());
        Texts script = vt::SplitLines(vt::ReadFile("CompRhs"));
        ASSERT_EQ(tableLines(style.table), script.size());
        EXPECT_EQ(std::string("#! ") + style.shellPath, script[0]);
        EXPECT_EQ(style.table[6], script[6]) << "a line without references as it stands, leading blanks kept";
        expectScriptBuilds(false);
        expectScriptBuilds(true);
    }
}

} // namespace
