/* The installation run as "Setup" performs it: the real window built on the
 * X server, its fields set through the toolkit, SetupProc called, alerts
 * captured, in package homes that the tests build.
 *
 * SetupProc ends a completed run with Nlm_QuitProgram, which only raises
 * the toolkit's quit flag: nothing lowers it again in this process, so
 * Nlm_ProcessEvents would return at once from then on.  These tests pump
 * no event loop and are not affected; the runs that stop, and must leave
 * the flag down, are in run_stop_test.cc, each case in a process of its
 * own. */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <algorithm>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "run_home.h"
#include "support.h"

namespace {

using RunTest = vt::RunFixture;
using vt::setText;
using vt::tableLines;
using vt::kNoCompile;
using vt::kNoUserObject;
using vt::kUndefinedTmp;

/* ---- Full installation */

TEST_F(RunTest, FullWritesEveryFileWithItsModeAndQuits)
{
    full();
    run();
    EXPECT_EQ(0u, alerts_.count()) << (alerts_.count() ? alerts_.texts()[0] : "");
    EXPECT_TRUE(Nlm_QuittingProgram());
    EXPECT_FALSE(Nlm_Enabled(gTerm));

    std::string initText = vt::ReadFile("init.cpf");
    EXPECT_EQ(6451u, initText.size());
    EXPECT_EQ(vt::ReadFile(vt::DataDir() + "/init.cpf.golden"), initText);
    EXPECT_EQ(0444, vt::FileMode("init.cpf"));

    std::vector<std::string> palette = vt::SplitLines(vt::ReadFile("palette.cpf"));
    EXPECT_EQ(26u, palette.size());
    EXPECT_EQ(vt::ReadFile(vt::DataDir() + "/palette.cpf.golden"), vt::ReadFile("palette.cpf"));
    EXPECT_EQ(0644, vt::FileMode("palette.cpf"));

    std::string header = vt::ReadFile("vtn_sys.h");
    std::vector<std::string> headerLines = vt::SplitLines(header);
    EXPECT_EQ(tableLines(IncludeRhs), headerLines.size());
    EXPECT_EQ(3, std::count(headerLines.begin(), headerLines.end(), std::string()));
    EXPECT_EQ(std::string::npos, header.find('`'));
    EXPECT_EQ("#define TRUE  1", headerLines.back());
    EXPECT_EQ(0444, vt::FileMode("vtn_sys.h"));

    std::vector<std::string> script = vt::SplitLines(vt::ReadFile("CompRhs"));
    ASSERT_EQ(tableLines(CompileRhs), script.size());
    EXPECT_EQ("#! /bin/tcsh -f", script[0]);
    EXPECT_EQ("cc -c -O2 -fPIC -o delete.o  -I" + home_ + "/ $1.c >&ErrLog", script[2]);
    EXPECT_EQ("  c++  -o tmp_der  -I" + home_ + "/ tmp_der.cc " + home_ + "/autodif.o  -O2 -fPIC -lc -lm >&ErrLog1",
              script[9]);
    EXPECT_EQ("   if ( -r ./CompDiff ) then", script[12]);
    EXPECT_EQ("     ./CompDiff", script[13]);
    EXPECT_EQ(std::string::npos, vt::ReadFile("CompRhs").find("$("));
    EXPECT_EQ(0755, vt::FileMode("CompRhs"));

    EXPECT_EQ("-", vt::ReadFile("filenums.cpf"));
    EXPECT_EQ(0644, vt::FileMode("filenums.cpf"));
    EXPECT_TRUE(vt::Exists("autodif.o")) << "the missing object is compiled";
    EXPECT_EQ(0644, vt::FileMode(".vartenarc"));

    EXPECT_EQ(home_ + "/", value("Paths", "KERNEL"));
    EXPECT_EQ("./", value("Paths", "KERNELW"));
    EXPECT_EQ("-I" + home_ + "/", value("Compiler", "INCLUDE"));
    EXPECT_EQ("-lc -lm", value("Compiler", "LIB"));
    EXPECT_EQ("c++", value("Compiler", "CPPNAME"));
    EXPECT_EQ("-O2 -fPIC -lc -lm", value("Compiler", "CPPLIB"));
    EXPECT_EQ("lpr %s", value("Visual", "HCPRINTER"));
    EXPECT_EQ("+", value("Libraries", "AUTODIFOPT"));
    EXPECT_EQ("ODE", value("Currents", "CLASSCUR"));
    EXPECT_EQ(home_ + "/ode.vtn", value("Files", "CLASSFILECUR"));
    EXPECT_EQ("$(Paths.KERNEL)init$(Extensions.SYS)", value("Files", "INITFILE"));
    EXPECT_EQ(std::string::npos, vt::RcSections(".vartenarc").find("TMP"));
}

TEST_F(RunTest, IncludeKeepsItsLeadingBlankAndKernelItsOneSlash)
{
    full();
    setText(tKernel, home_ + "/");
    run();
    EXPECT_EQ(home_ + "/", value("Paths", "KERNEL"));
    std::string raw = vt::ReadFile(".vartenarc");
    EXPECT_NE(std::string::npos, raw.find("INCLUDE= -I" + home_ + "/\n")) << "the toolkit keeps the blank after '='";
    EXPECT_STREQ((" -I" + home_ + "/").c_str(), GetParam("Compiler", "INCLUDE"));
}

TEST_F(RunTest, TuningValuesAreTrimmedAndAnEmptyOneIsTheBackquote)
{
    full();
    setText(Adjust[0].field, "  lpr -Pcolour %s \t");
    setText(Adjust[1].field, "    ");
    setText(Adjust[2].field, "");
    run();
    EXPECT_EQ("lpr -Pcolour %s", value("Visual", "HCPRINTER"));
    EXPECT_EQ("`", value("Visual", "HCVIEWER"));
    EXPECT_EQ("`", value("Compiler", "EXTDIFF"));
    ASSERT_NE(nullptr, GetParamString("Visual", "HCVIEWER"));
    EXPECT_STREQ("", ParBuf);
}

TEST_F(RunTest, SecondFullRewritesReadOnlyFilesWithoutCompilingAnUpToDateObject)
{
    std::string compiler = recordingCompiler();
    full();
    setText(tCppName, compiler);
    run();
    ASSERT_EQ(1u, compilerCalls());
    ASSERT_EQ(0444, vt::FileMode("init.cpf"));

    chmod("init.cpf", 0644);
    vt::WriteFile("init.cpf", "spoilt\n", 0444);
    vt::WriteFile("vtn_sys.h", "spoilt\n", 0444);
    vt::WriteFile("palette.cpf", "spoilt\n", 0644);
    struct stat source;
    ASSERT_EQ(0, stat("autodif.cc", &source));
    vt::SetModified("autodif.o", source.st_mtime); /* as new as its source */
    vt::PrepareWindow(1, home_);
    setText(tCppName, compiler);
    run();
    EXPECT_EQ(0u, alerts_.count());
    EXPECT_EQ(1u, compilerCalls()) << "no compiler for an object as new as its sources";
    EXPECT_EQ(vt::ReadFile(vt::DataDir() + "/init.cpf.golden"), vt::ReadFile("init.cpf"));
    EXPECT_EQ(0444, vt::FileMode("init.cpf"));
    EXPECT_EQ(13u, vt::SplitLines(vt::ReadFile("vtn_sys.h")).size());
    EXPECT_EQ(0444, vt::FileMode("vtn_sys.h"));
    EXPECT_EQ(26u, vt::SplitLines(vt::ReadFile("palette.cpf")).size());
}

TEST_F(RunTest, ObjectIsCompiledOnlyWhenAnExistingSourceIsNewer)
{
    std::string compiler = recordingCompiler();
    full("ODE ode", true);
    time_t now = time(NULL);

    vt::SetModified("autodif.cc", now);
    vt::SetModified("autodif.o", now - 10);
    setText(tCppName, compiler);
    run();
    EXPECT_EQ(1u, compilerCalls()) << "autodif.cc newer than autodif.o";

    unlink("autodif.cc");
    vt::WriteFile("autodif.c", "int autodif_c;\n");
    vt::SetModified("autodif.c", now - 100);
    vt::SetModified("autodif.o", now - 50);
    run();
    EXPECT_EQ(1u, compilerCalls()) << "autodif.c older, autodif.cc missing";
    EXPECT_EQ(0u, alerts_.count());

    vt::SetModified("autodif.c", now);
    run();
    EXPECT_EQ(2u, compilerCalls()) << "autodif.c newer, autodif.cc missing";

    unlink("autodif.c");
    run();
    EXPECT_EQ(2u, compilerCalls()) << "no source at all: the object is kept";
    EXPECT_EQ(0u, alerts_.count());
}

TEST_F(RunTest, MissingCompilerDisablesAutodifAndTheRunStillFinishes)
{
    full();
    setText(tCppName, "no-such-c++-compiler");
    run();
    ASSERT_EQ(1u, alerts_.count());
    EXPECT_EQ(kNoCompile, alerts_.texts()[0]);
    EXPECT_EQ("-", value("Libraries", "AUTODIFOPT"));
    EXPECT_TRUE(Nlm_QuittingProgram());
    EXPECT_EQ("ODE", value("Currents", "CLASSCUR"));
    EXPECT_EQ(26u, vt::SplitLines(vt::ReadFile("palette.cpf")).size());
}

/* An empty field is stored empty, which the store treats as missing: each
 * script line that refers to it is reported and left out, never written
 * half expanded. */
TEST_F(RunTest, ScriptLinesReferringToAnEmptyFieldAreReportedAndLeftOut)
{
    full("ODE ode", true);
    Nlm_SetValue(gShellStyle, 2);
    setText(tShellPath, "/bin/bash ");
    setText(tLib, "");
    setText(tCppName, "");
    run();
    ASSERT_EQ(3u, alerts_.count()) << "two link lines and the C++ line";
    for (const std::string &text : alerts_.texts())
        EXPECT_EQ(kUndefinedTmp, text);
    std::string script = vt::ReadFile("CompRhs");
    EXPECT_EQ(tableLines(CompileRhsKsh) - 3, vt::SplitLines(script).size());
    EXPECT_EQ(std::string::npos, script.find("$("));
    EXPECT_EQ(0, vt::Shell("bash -n CompRhs"));
    EXPECT_TRUE(Nlm_QuittingProgram());
}

TEST_F(RunTest, OverlongFieldsAreCutAndAnOverlongCommandIsNotRun)
{
    std::string compiler = recordingCompiler();
    full();
    std::string longText(20000, 'x');
    setText(tInclude, "-I" + longText);
    setText(tLib, longText);
    setText(tCppName, compiler);
    setText(tCppLib, " -O2 " + longText);
    setText(Adjust[0].field, longText);
    setText(tShellPath, "/bin/" + longText);
    run();
    ASSERT_EQ(1u, alerts_.count());
    EXPECT_EQ(kNoCompile, alerts_.texts()[0]);
    EXPECT_EQ(0u, compilerCalls()) << "a command cut to its buffer is never run";
    EXPECT_EQ("-", value("Libraries", "AUTODIFOPT"));
    for (const std::string &line : vt::SplitLines(vt::ReadFile(".vartenarc")))
        EXPECT_LE(line.size(), 255u);
    std::string first = vt::SplitLines(vt::ReadFile("CompRhs"))[0];
    EXPECT_EQ(3u + 495u, first.size());
    EXPECT_EQ("#! /bin/xxx", first.substr(0, 11));
    EXPECT_TRUE(Nlm_QuittingProgram());
}

TEST_F(RunTest, FilesThatCannotBeWrittenAreReportedAndTheRunGoesOn)
{
    full("ODE ode", true);
    symlink("missing-dir/init.cpf", "init.cpf");
    symlink("missing-dir/palette.cpf", "palette.cpf");
    symlink("missing-dir/filenums.cpf", "filenums.cpf");
    run();
    std::vector<std::string> expected = {"Cannot open file './filenums.cpf'",
                                         "Cannot open file '" + home_ + "/init.cpf'",
                                         "Cannot open file './palette.cpf'"};
    EXPECT_EQ(expected, alerts_.texts());
    EXPECT_TRUE(Nlm_QuittingProgram());
    EXPECT_EQ("ODE", value("Currents", "CLASSCUR"));
    EXPECT_TRUE(vt::Exists("CompRhs"));
}

/* ---- User installation */

TEST_F(RunTest, UserWithTheObjectInTheHomeWritesOnlyItsOwnFilesAndKeepsTmp)
{
    vt::MakePackageHome(home_, "ODE ode", true);
    vt::WriteFile(home_ + "/init.cpf", "earlier\n", 0444);
    vt::Enter(scratch_ / "user");
    vt::WriteFile("visuals.cpf", "stale visuals\n");
    vt::PrepareWindow(2, home_);
    run();
    EXPECT_EQ(0u, alerts_.count());
    EXPECT_TRUE(Nlm_QuittingProgram());
    EXPECT_FALSE(vt::Exists("init.cpf") || vt::Exists("CompRhs") || vt::Exists("vtn_sys.h"));
    EXPECT_FALSE(vt::Exists("visuals.cpf"));
    EXPECT_EQ("earlier\n", vt::ReadFile(home_ + "/init.cpf"));
    EXPECT_FALSE(vt::Exists(home_ + "/CompRhs"));
    EXPECT_EQ("-", vt::ReadFile("filenums.cpf"));
    EXPECT_EQ(26u, vt::SplitLines(vt::ReadFile("palette.cpf")).size());
    EXPECT_EQ(home_ + "/", value("Paths", "KERNEL"));
    EXPECT_EQ("+", value("Libraries", "AUTODIFOPT"));
    EXPECT_EQ(home_ + "/ode.vtn", value("Files", "CLASSFILECUR"));
    std::string sections = vt::RcSections(".vartenarc");
    EXPECT_EQ(",TMP", sections.substr(sections.size() - 4));
    EXPECT_EQ("$(Paths.KERNEL)autodif$(Extensions.OBJ)", value("TMP", "TMP"));
}

TEST_F(RunTest, UserWithoutTheObjectInTheHomeDisablesAutodif)
{
    vt::MakePackageHome(home_);
    vt::Enter(scratch_ / "user");
    vt::PrepareWindow(2, home_);
    run();
    ASSERT_EQ(1u, alerts_.count());
    EXPECT_EQ(kNoUserObject, alerts_.texts()[0]);
    EXPECT_EQ("-", value("Libraries", "AUTODIFOPT"));
    EXPECT_TRUE(Nlm_QuittingProgram());
}

/* ---- File-number file */

TEST_F(RunTest, FileNumberFileIsMovedFromItsEarlierNameOrLeftAlone)
{
    vt::MakePackageHome(home_, "ODE ode", true);
    vt::Enter(scratch_ / "user");
    vt::WriteFile("filenums.vtn", "vart0001 lorenz\n", 0600);
    vt::PrepareWindow(2, home_);
    run();
    EXPECT_EQ("vart0001 lorenz\n", vt::ReadFile("filenums.cpf"));
    EXPECT_EQ(0600, vt::FileMode("filenums.cpf"));
    EXPECT_FALSE(vt::Exists("filenums.vtn"));

    vt::WriteFile("filenums.cpf", "kept", 0640);
    vt::WriteFile("filenums.vtn", "not moved", 0600);
    run();
    EXPECT_EQ("kept", vt::ReadFile("filenums.cpf"));
    EXPECT_EQ(0640, vt::FileMode("filenums.cpf"));
    EXPECT_EQ("not moved", vt::ReadFile("filenums.vtn"));
    EXPECT_EQ(0u, alerts_.count());
}

/* ---- The line after "&hierarchy" */

TEST_F(RunTest, ClassLineOfFewerThanTwoWordsChangesNeitherKey)
{
    const char *files[] = {"&hierarchy\nODE   ! one word\n&classes\nODE\n",
                           "&classes\nODE\n&hierarchy\n! nothing after it\n", "&classes\nODE\n"};
    for (const char *file : files) {
        SCOPED_TRACE(file);
        full("ODE ode", true);
        vt::WriteFile("classes.vtn", file);
        run();
        EXPECT_EQ(0u, alerts_.count());
        bool found = false;
        EXPECT_EQ("", value("Currents", "CLASSCUR", &found));
        EXPECT_TRUE(found);
        EXPECT_EQ("$(Paths.KERNEL)%s$(Extensions.DESC)", value("Files", "CLASSFILECUR"));
        EXPECT_TRUE(Nlm_QuittingProgram());
    }
}

TEST_F(RunTest, ClassLineIsCleanedAndExtraWordsIgnored)
{
    full("ODE ode", true);
    vt::WriteFile("classes.vtn", "&hierarchy\n! comment\n\n   DAE   dae-one  extra ! note\n");
    run();
    EXPECT_EQ("DAE", value("Currents", "CLASSCUR"));
    EXPECT_EQ(home_ + "/dae-one.vtn", value("Files", "CLASSFILECUR"));
}

/* ---- Install notice */

class NoticeTest : public RunTest {
protected:
    void SetUp() override
    {
        log_ = scratch_ / "mail.log";
        vt::WriteFile(scratch_ / "bin/mail",
                      "#!/bin/sh\n{ echo \"args: $*\"; echo \"cwd: $(pwd)\"; cat; echo '--'; } >> '" + log_ + "'\n",
                      0755);
    }
    std::string log_;
};

TEST_F(NoticeTest, TickedBoxMailsTheVersionLineFromAPrivateDirectory)
{
    full("ODE ode", true);
    vt::WriteFile("del1", "user file one\n");
    ASSERT_NE(nullptr, bReg);
    Nlm_SetStatus(bReg, TRUE);
    run();
    std::string mail = vt::ReadFile(log_);
    EXPECT_NE(std::string::npos,
              mail.find("args: vartena-authors@example.org vartena-notices@example.org\n")) << mail;
    EXPECT_NE(std::string::npos, mail.find("\n\nVARTENA 1.5m installed on\nLinux ")) << mail;
    EXPECT_NE(std::string::npos, mail.find("cwd: " + (scratch_ / "tmp/vartena-"))) << "run in a private directory";
    EXPECT_EQ("user file one\n", vt::ReadFile("del1"));
    EXPECT_FALSE(vt::Exists("del2"));
    EXPECT_NE(0, vt::Shell("ls -A '" + (scratch_ / "tmp") + "' | grep -q .")) << "the private directory is removed";

    vt::Enter(scratch_ / "user");
    vt::PrepareWindow(2, home_);
    Nlm_SetStatus(bReg, TRUE);
    run();
    EXPECT_NE(std::string::npos, vt::ReadFile(log_).find("VARTENA 1.5u installed on")) << "each run marks its own kind";
}

TEST_F(NoticeTest, NoMailWhenTheBoxIsOffOrMissing)
{
    full("ODE ode", true);
    run();
    EXPECT_TRUE(Nlm_QuittingProgram());

    vt::EnvSetting noTmp("TMPDIR", scratch_ / "no-such-dir");
    vt::PrepareWindow(1, home_);
    ASSERT_EQ(nullptr, bReg) << "no preview, no Registration group";
    run();
    EXPECT_FALSE(vt::Exists(log_));
    EXPECT_EQ(0u, alerts_.count());
}

/* ---- The written compile script, run with the real cc */

struct ScriptStyle {
    int style;
    const char *shellPath;
    const char *const *table;
    const char *firstCompile; /* the line after "unset noclobber", home left out */
};

class CompileScriptTest : public RunTest, public ::testing::WithParamInterface<ScriptStyle> {};

TEST_P(CompileScriptTest, BuildsALoadableLibraryAndTheDerivativeProgram)
{
    full();
    Nlm_SetValue(gShellStyle, static_cast<Nlm_Int2>(GetParam().style));
    setText(tShellPath, GetParam().shellPath);
    run();
    ASSERT_EQ(0u, alerts_.count());
    ASSERT_TRUE(vt::Exists("autodif.o"));
    std::vector<std::string> script = vt::SplitLines(vt::ReadFile("CompRhs"));
    ASSERT_EQ(tableLines(GetParam().table), script.size());
    EXPECT_EQ(std::string("#! ") + GetParam().shellPath, script[0]);
    EXPECT_EQ(std::string("cc -c -O2 -fPIC -o delete.o  -I") + home_ + GetParam().firstCompile, script[2]);

    std::string work = scratch_ / "work";
    mkdir(work.c_str(), 0755);
    vt::WriteFile(work + "/sys.c",
                  "#include \"vtn_sys.h\"\n"
                  "double rhs(double x) { return sqr(x) + cube(2.0) + dersub3(1, 2, 3) + iff(x > 0, TRUE, FALSE); }\n");
    ASSERT_EQ(0, vt::Shell("cd '" + work + "' && '" + home_ + "/CompRhs' sys vart0001 n"))
        << vt::ReadFile(work + "/ErrLog");
    EXPECT_FALSE(vt::Exists(work + "/delete.o"));

    void *lib = dlopen((work + "/vart0001.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, lib) << dlerror() << vt::ReadFile(work + "/ErrLog");
    auto rhs = reinterpret_cast<double (*)(double)>(dlsym(lib, "rhs"));
    ASSERT_NE(nullptr, rhs);
    EXPECT_DOUBLE_EQ(9.0 + 8.0 + 14.0 + 1.0, rhs(3.0)); /* dersub3(1,2,3) = 1 + 3 + 10 */
    dlclose(lib);

    /* the derivative branch links tmp_der.cc with the home's autodif.o and
     * runs it as "tmp_der", so the package runs it with "." on PATH */
    vt::WriteFile(work + "/tmp_der.cc", vt::kDerivativeProgram);
    ASSERT_EQ(0, vt::Shell("cd '" + work + "' && PATH=.:$PATH '" + home_ + "/CompRhs' sys vart0002 y"));
    EXPECT_EQ("slope 6 true 1\n", vt::ReadFile(work + "/ErrLog1"));
    EXPECT_TRUE(vt::Exists(work + "/vart0002.so"));
}

INSTANTIATE_TEST_SUITE_P(Styles, CompileScriptTest,
                         ::testing::Values(ScriptStyle{1, "/bin/tcsh -f", CompileRhs, "/ $1.c >&ErrLog"},
                                           ScriptStyle{2, "/bin/bash ", CompileRhsKsh, "/ $1.c >ErrLog 2>&1"}),
                         [](const ::testing::TestParamInfo<ScriptStyle> &info) {
                             return std::string(info.param.style == 1 ? "Csh" : "Ksh");
                         });

} // namespace
