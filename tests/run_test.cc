/* The installation run as "Setup" performs it: the real window on the X
 * server, its fields set through the toolkit, SetupProc called and its
 * alerts captured, in package homes that the tests build.  A completed run
 * raises the toolkit's quit flag for good, so only the first test here sees
 * it go up; the runs that stop are in run_stop_test.cc. */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "run_home.h"
#include "support.h"

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
        setText(tCppName, path);
    }
    size_t compilerCalls() { return fileLines(scratch_ / "compiler.log"); }
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

/* autodif.o is compiled again only when a source that exists is newer;
 * the read-only files are rewritten at every run. */
TEST_F(RunTest, FurtherFullRunsRewriteReadOnlyFilesAndCompileOnlyForANewerSource)
{
    full();
    recordCompiler();
    run();
    ASSERT_EQ(1u, compilerCalls()) << "the missing object is compiled";
    for (const char *file : {"init.cpf", "vtn_sys.h", "palette.cpf"})
        vt::WriteFile(file, "spoilt\n", 0444);
    const struct {
        const char *source;
        int age;
        size_t calls;
    } steps[] = {{"autodif.cc", 50, 1}, {"autodif.cc", 0, 2}, {"autodif.c", 100, 2}, {"autodif.c", 0, 3}, {"", 0, 3}};
    time_t now = time(NULL);
    for (const auto &step : steps) {
        SCOPED_TRACE(std::string(step.source) + " aged " + std::to_string(step.age) + ", autodif.o 50");
        unlink("autodif.c");
        unlink("autodif.cc");
        if (*step.source != '\0') {
            vt::WriteFile(step.source, "int autodif_test;\n");
            vt::SetModified(step.source, now - step.age);
        }
        vt::SetModified("autodif.o", now - 50);
        run();
        EXPECT_EQ(step.calls, compilerCalls());
        EXPECT_EQ(Texts(), alerts_.texts());
    }
    expectFullFiles();
}

/* A compiler name that does not exist and files that cannot be created
 * (a directory in their place) are reported with their names, and the run
 * goes on to its end. */
TEST_F(RunTest, FailuresThatDoNotStopTheRunAreReported)
{
    full();
    setText(tCppName, "no-such-c++-compiler");
    for (const std::string file : {"init.cpf", "palette.cpf"})
        ASSERT_EQ(0, mkdir(file.c_str(), 0755));
    run();
    EXPECT_EQ((Texts{"Cannot open file '" + home_ + "/init.cpf'", vt::kNoCompile,
                     "Cannot open file './palette.cpf'"}),
              alerts_.texts());
    EXPECT_EQ("-", value("Libraries", "AUTODIFOPT"));
    EXPECT_EQ("ODE", value("Currents", "CLASSCUR"));
    EXPECT_EQ(0755, vt::FileMode("CompRhs"));
}

/* An empty field is stored empty, which the store treats as missing: each
 * script line referring to it is reported and left out, never written half
 * expanded. */
TEST_F(RunTest, ScriptLinesReferringToAnEmptyFieldAreReportedAndLeftOut)
{
    full(true);
    Nlm_SetValue(gShellStyle, 2);
    setText(tShellPath, "/bin/bash ");
    setText(tLib, "");
    setText(tCppName, "");
    run();
    EXPECT_EQ(Texts(3, "Settings file 'vartena',\nsection 'TMP',\nkey 'TMP'\ncontains a reference to undefined value"),
              alerts_.texts()) << "two link lines and the C++ line";
    std::string script = vt::ReadFile("CompRhs");
    EXPECT_EQ(tableLines(CompileRhsKsh) - 3, vt::SplitLines(script).size());
    EXPECT_EQ(std::string::npos, script.find("$("));
    EXPECT_EQ(0, vt::Shell("bash -n CompRhs"));
}

/* A field that would not fit its settings line stops the run; a shell path
 * is cut to its line, and a command cut to its buffer is never run. */
TEST_F(RunTest, OverlongFieldsStopTheRunOrAreCutAndAnOverlongCommandIsNotRun)
{
    full();
    recordCompiler();
    std::string longText(20000, 'x');
    setText(tInclude, "-I" + longText);
    run();
    EXPECT_EQ(Texts{"Settings file 'vartena', section 'Compiler', key 'INCLUDE': the value is too long for a settings line"},
              alerts_.texts());
    EXPECT_FALSE(vt::Exists("CompRhs"));
    setText(tInclude, "");
    setText(tCppLib, " -O2 " + longText);
    setText(tShellPath, "/bin/" + longText);
    run();
    EXPECT_EQ(Texts{"Settings file 'vartena', section 'Compiler', key 'CPPLIB': the value is too long for a settings line"},
              alerts_.texts());
    setText(tCppLib, " -O2 " + longText.substr(0, 240));
    setText(tCppName, "c++ " + longText.substr(0, 243));
    run();
    EXPECT_EQ(Texts{vt::kNoCompile}, alerts_.texts());
    EXPECT_EQ(0u, compilerCalls()) << "a command cut to its buffer is never run";
    EXPECT_EQ("-", value("Libraries", "AUTODIFOPT"));
    std::string script = vt::ReadFile("CompRhs");
    EXPECT_EQ("#! /bin/" + std::string(495 - 5, 'x') + "\n", script.substr(0, script.find('\n') + 1));
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

/* The written compile script run with the real cc: a shared library that
 * loads, and with the derivative flag a tmp_der.cc linked with the home's
 * autodif.o and run as "tmp_der" (the package puts "." on PATH). */
TEST_F(RunTest, CompileScriptsBuildALoadableLibraryAndTheDerivativeProgram)
{
    const struct {
        int style;
        const char *shellPath;
        const char *const *table;
    } styles[] = {{1, "/bin/tcsh -f", CompileRhs}, {2, "/bin/bash ", CompileRhsKsh}};
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

        std::string work = scratch_ / ("work" + std::to_string(style.style));
        std::string compile = "cd " + work + " && PATH=.:$PATH " + home_ + "/CompRhs sys ";
        mkdir(work.c_str(), 0755);
        vt::WriteFile(work + "/sys.c", "#include \"vtn_sys.h\"\ndouble rhs(double x)\n"
                                       "{ return sqr(x) + cube(2.0) + dersub3(1, 2, 3) + iff(x > 0, TRUE, FALSE); }\n");
        ASSERT_EQ(0, vt::Shell(compile + "vart0001 n")) << vt::ReadFile(work + "/ErrLog");
        EXPECT_FALSE(vt::Exists(work + "/delete.o"));
        void *lib = dlopen((work + "/vart0001.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, lib) << dlerror() << vt::ReadFile(work + "/ErrLog");
        auto rhs = reinterpret_cast<double (*)(double)>(dlsym(lib, "rhs"));
        ASSERT_NE(nullptr, rhs);
        EXPECT_DOUBLE_EQ(9.0 + 8.0 + 14.0 + 1.0, rhs(3.0)); /* dersub3(1,2,3) = 1 + 3 + 10 */
        dlclose(lib);

        vt::WriteFile(work + "/tmp_der.cc",
                      "#include <cstdio>\n#include \"vtn_sys.h\"\nextern \"C\" double autodif_square_slope(double);\n"
                      "int main() { std::printf(\"slope %g true %d\\n\", autodif_square_slope(3.0), TRUE); }\n");
        ASSERT_EQ(0, vt::Shell(compile + "vart0002 y"));
        EXPECT_EQ("slope 6 true 1\n", vt::ReadFile(work + "/ErrLog1"));
        EXPECT_TRUE(vt::Exists(work + "/vart0002.so"));
    }
}

} // namespace
