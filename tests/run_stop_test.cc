/* Runs that stop: the alert, "Setup" and "Cancel" enabled again, no quit
 * request, the fields kept; then the cause is mended and "Setup" pressed
 * again succeeds.  A completed run raises the toolkit's quit flag for good,
 * so ctest runs each case in a process of its own (run.cmake). */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "run_home.h"
#include "support.h"

namespace {

class StoppedRun : public vt::RunFixture {
protected:
    void SetUp() override { ASSERT_FALSE(Nlm_QuittingProgram()) << "run each StoppedRun case alone (--gtest_filter)"; }

    void expectStopped(const std::vector<std::string> &texts, const std::string &kernel)
    {
        EXPECT_EQ(texts, alerts_.texts());
        EXPECT_TRUE(Nlm_Enabled(gTerm));
        EXPECT_FALSE(Nlm_QuittingProgram());
        char text[8192];
        Nlm_GetTitle(tKernel, text, sizeof text);
        EXPECT_EQ(kernel, text);
    }
    /* "Setup" pressed again once the cause is mended. */
    void expectNextRunCompletes()
    {
        run();
        EXPECT_EQ(std::vector<std::string>(), alerts_.texts());
        EXPECT_TRUE(Nlm_QuittingProgram());
        EXPECT_EQ("ODE", value("Currents", "CLASSCUR"));
    }
};

TEST_F(StoppedRun, EmptyDirectoryField)
{
    full(true);
    vt::WriteFile(".vartenarc", "[Keep]\nA=1\n");
    vt::setText(tKernel, "");
    run();
    expectStopped({"Specify full path to the VARTENA's home directory"}, "");
    EXPECT_EQ("[Keep]\nA=1\n", vt::ReadFile(".vartenarc")) << "nothing written";
    vt::setText(tKernel, home_);
    expectNextRunCompletes();
}

TEST_F(StoppedRun, DirectoryWithoutTheExecutable)
{
    full(true);
    rename("vartena", "vartena.moved");
    run();
    expectStopped({"The path you've specified does not contain VARTENA executable"}, home_);
    EXPECT_FALSE(vt::Exists("palette.cpf"));
    rename("vartena.moved", "vartena");
    expectNextRunCompletes();
}

TEST_F(StoppedRun, SettingsFileThatCannotBeOpened)
{
    full(true);
    unlink(".vartenarc");
    mkdir(".vartenarc", 0755);
    run();
    expectStopped({"Cannot open file './.vartenarc'", "Cannot open settings file './.vartenarc'"}, home_);
    EXPECT_EQ(0755, vt::FileMode(".vartenarc")) << "left as it was";
    EXPECT_FALSE(vt::Exists("filenums.cpf"));
    rmdir(".vartenarc");
    vt::WriteFile(".vartenarc", "");
    expectNextRunCompletes();
}

TEST_F(StoppedRun, CompileScriptThatCannotBeOpened)
{
    full(true);
    mkdir("CompRhs", 0755);
    run();
    expectStopped({"Cannot open batch file for compiler '" + home_ + "/CompRhs'"}, home_);
    EXPECT_EQ(6451u, vt::ReadFile("init.cpf").size()) << "written before the stop";
    EXPECT_FALSE(vt::Exists("palette.cpf")) << "not reached";
    rmdir("CompRhs");
    expectNextRunCompletes();
    EXPECT_EQ(0755, vt::FileMode("CompRhs"));
}

TEST_F(StoppedRun, ClassFileThatCannotBeOpened)
{
    full(true);
    rename("classes.vtn", "classes.moved");
    run();
    expectStopped({"Cannot open class description file\n" + home_ + "/classes.vtn"}, home_);
    EXPECT_EQ(26u, vt::SplitLines(vt::ReadFile("palette.cpf")).size()) << "written before the stop";
    EXPECT_EQ("", value("Currents", "CLASSCUR"));
    rename("classes.moved", "classes.vtn");
    expectNextRunCompletes();
}

/* A home directory that the settings file cannot give back as it was
 * stored would put every file of the package in a wrong place. */
TEST_F(StoppedRun, DirectoryThatCannotBeStored)
{
    for (const std::string &dir : {home_ + "%s", home_ + "~x", std::string(240, '/') + home_.substr(1)}) {
        SCOPED_TRACE(dir.size());
        vt::MakePackageHome(dir, true);
        vt::Enter(dir);
        vt::PrepareWindow(1, dir);
        run();
        expectStopped({"The path you've specified cannot be stored in the settings file:\n"
                       "it is too long, or it holds a %, ~ or ` character or a $( reference"},
                      dir);
        EXPECT_FALSE(vt::Exists("init.cpf"));
    }
    full(true);
    expectNextRunCompletes();
}

/* Nothing a stopped run stored comes back: AUTODIFOPT "-" from a failed
 * compilation is "+" again after a run that compiles. */
TEST_F(StoppedRun, NextRunStartsFromTheTemplateInEveryKey)
{
    full();
    rename("classes.vtn", "classes.moved");
    vt::setText(tCppName, "no-such-c++-compiler");
    run();
    expectStopped({vt::kNoCompile, "Cannot open class description file\n" + home_ + "/classes.vtn"}, home_);
    ASSERT_EQ("-", value("Libraries", "AUTODIFOPT"));
    rename("classes.moved", "classes.vtn");
    vt::setText(tCppName, "c++");
    expectNextRunCompletes();
    EXPECT_EQ("+", value("Libraries", "AUTODIFOPT"));
}

} // namespace
