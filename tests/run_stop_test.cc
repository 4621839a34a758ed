/* Runs that stop: the alert, the buttons given back, no quit request, the
 * fields kept; then the cause is mended and "Setup" pressed again succeeds.
 *
 * The toolkit's quit flag is never lowered once a completed run has raised
 * it, so each case must run in a process of its own (ctest does so, see
 * run.cmake); a case that finds the flag already up fails at once. */
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
    void SetUp() override
    {
        ASSERT_FALSE(Nlm_QuittingProgram()) << "run each StoppedRun case alone (--gtest_filter)";
    }

    /* The run stopped with exactly these alerts, and the window is ready
     * for another try with its fields as they were. */
    void expectStopped(const std::vector<std::string> &texts, const std::string &kernel)
    {
        EXPECT_EQ(texts, alerts_.texts());
        EXPECT_TRUE(Nlm_Enabled(gTerm));
        EXPECT_FALSE(Nlm_QuittingProgram());
        char text[8192];
        Nlm_GetTitle(tKernel, text, sizeof text);
        EXPECT_EQ(kernel, text);
    }

    void expectCompleted()
    {
        EXPECT_EQ(0u, alerts_.count()) << (alerts_.count() ? alerts_.texts()[0] : "");
        EXPECT_TRUE(Nlm_QuittingProgram());
        EXPECT_EQ("ODE", value("Currents", "CLASSCUR"));
    }
};

TEST_F(StoppedRun, EmptyDirectoryField)
{
    full("ODE ode", true);
    vt::WriteFile(".vartenarc", "[Keep]\nA=1\n");
    vt::setText(tKernel, "");
    run();
    expectStopped({"Specify full path to the VARTENA's home directory"}, "");
    EXPECT_EQ("[Keep]\nA=1\n", vt::ReadFile(".vartenarc")) << "nothing written";

    vt::setText(tKernel, home_);
    run();
    expectCompleted();
}

TEST_F(StoppedRun, DirectoryWithoutTheExecutable)
{
    full("ODE ode", true);
    rename("vartena", "vartena.moved");
    run();
    expectStopped({"The path you've specified does not contain VARTENA executable"}, home_);
    EXPECT_FALSE(vt::Exists("palette.cpf"));

    rename("vartena.moved", "vartena");
    run();
    expectCompleted();
}

TEST_F(StoppedRun, SettingsFileThatCannotBeOpened)
{
    full("ODE ode", true);
    unlink(".vartenarc");
    mkdir(".vartenarc", 0755);
    run();
    expectStopped({"Cannot open file './.vartenarc'", "Cannot open settings file './.vartenarc'"}, home_);
    EXPECT_EQ(0600, vt::FileMode(".vartenarc")) << "made writable before the open";
    EXPECT_FALSE(vt::Exists("filenums.cpf"));

    rmdir(".vartenarc");
    vt::WriteFile(".vartenarc", "");
    run();
    expectCompleted();
}

TEST_F(StoppedRun, CompileScriptThatCannotBeOpened)
{
    full("ODE ode", true);
    mkdir("CompRhs", 0755);
    run();
    expectStopped({"Cannot open batch file for compiler '" + home_ + "/CompRhs'"}, home_);
    EXPECT_EQ(6451u, vt::ReadFile("init.cpf").size()) << "written before the stop";
    EXPECT_EQ("-", vt::ReadFile("filenums.cpf"));
    EXPECT_FALSE(vt::Exists("palette.cpf")) << "not reached";

    rmdir("CompRhs");
    run();
    expectCompleted();
    EXPECT_EQ(0755, vt::FileMode("CompRhs"));
}

TEST_F(StoppedRun, ClassFileThatCannotBeOpened)
{
    full("ODE ode", true);
    rename("classes.vtn", "classes.moved");
    run();
    expectStopped({"Cannot open class description file\n" + home_ + "/classes.vtn"}, home_);
    EXPECT_EQ(26u, vt::SplitLines(vt::ReadFile("palette.cpf")).size()) << "written before the stop";
    EXPECT_EQ("", value("Currents", "CLASSCUR"));

    rename("classes.moved", "classes.vtn");
    run();
    expectCompleted();
}

/* A home directory that the settings file cannot give back as it was
 * stored would put every file of the package in a wrong place. */
TEST_F(StoppedRun, DirectoryThatCannotBeStored)
{
    const std::string kBad = "The path you've specified cannot be stored in the settings file:\n"
                             "it is too long, or it holds a %, ~ or ` character or a $( reference";
    std::string odd[] = {home_ + "%s", home_ + "~x", std::string(240, '/') + home_.substr(1)};
    for (const std::string &dir : odd) {
        SCOPED_TRACE(dir.size());
        vt::MakePackageHome(dir, "ODE ode", true);
        vt::Enter(dir);
        vt::PrepareWindow(1, dir);
        run();
        expectStopped({kBad}, dir);
        EXPECT_FALSE(vt::Exists("init.cpf"));
    }
    full("ODE ode", true);
    run();
    expectCompleted();
}

/* Nothing that a stopped run stored comes back: AUTODIFOPT "-" from a
 * failed compilation is "+" again after a run that compiles. */
TEST_F(StoppedRun, NextRunStartsFromTheTemplateInEveryKey)
{
    full("ODE ode", false);
    rename("classes.vtn", "classes.moved");
    vt::setText(tCppName, "no-such-c++-compiler");
    run();
    expectStopped({vt::kNoCompile, "Cannot open class description file\n" + home_ + "/classes.vtn"}, home_);
    ASSERT_EQ("-", value("Libraries", "AUTODIFOPT"));

    rename("classes.moved", "classes.vtn");
    vt::setText(tCppName, "c++");
    run();
    expectCompleted();
    EXPECT_TRUE(vt::Exists("autodif.o"));
    EXPECT_EQ("+", value("Libraries", "AUTODIFOPT"));
}

} // namespace
