/* Runs that stop: the alert, "Setup" and "Cancel" enabled again, no quit
 * request, the fields kept; then the cause is mended and "Setup" pressed
 * again succeeds.  A completed run raises the toolkit's quit flag for good,
 * so ctest runs each case in a process of its own (run.cmake). */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <cstdio>
#include <map>
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
 * stored, or that a compile command cannot take unquoted, would put every
 * file of the package in a wrong place. */
TEST_F(StoppedRun, DirectoryThatCannotBeStored)
{
    const std::string chars = "The \"VARTENA directory\" field may hold no blank, comma, % or shell special character "
                              ";&|<>()$'\"\\`.\nPlease correct it and press Setup again.";
    const std::string tooLong = "The \"VARTENA directory\" field is too long for a line of the settings file.\n"
                                "Please correct it and press Setup again.";
    for (const std::string &dir : {home_ + "%s", home_ + ";x", std::string(240, '/') + home_.substr(1)}) {
        SCOPED_TRACE(dir.size());
        vt::MakePackageHome(dir, true);
        vt::Enter(dir);
        vt::PrepareWindow(1, dir);
        run();
        expectStopped({dir.size() > 240 ? tooLong : chars}, dir);
        EXPECT_FALSE(vt::Exists("init.cpf"));
    }
    full(true);
    expectNextRunCompletes();
}

/* One run at a time in a directory: a run held by another process's lock
 * stops; once that process is gone, the lock file it left blocks nobody. */
TEST_F(StoppedRun, SecondRunInTheSameDirectory)
{
    full(true);
    std::string pid = scratch_ / "holder.pid";
    ASSERT_EQ(0, vt::Shell("(flock -x .vartenarc.lock sh -c 'echo $$ > " + pid + ".new; mv " + pid + ".new " + pid +
                           "; exec sleep 30' &); for i in $(seq 100); do test -e " + pid + " && break; sleep 0.05; done"));
    run();
    expectStopped({"Another Setup is running in this directory: '.vartenarc.lock' is locked"}, home_);
    EXPECT_FALSE(vt::Exists("palette.cpf")) << "nothing written";
    ASSERT_EQ(0, vt::Shell("kill -9 $(cat " + pid + "); until flock -n .vartenarc.lock true; do sleep 0.05; done"));
    ASSERT_TRUE(vt::Exists(".vartenarc.lock")) << "left by the process that died";
    expectNextRunCompletes();
    EXPECT_FALSE(vt::Exists(".vartenarc.lock")) << "removed after the run";
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

namespace {

/* A settings file as whole as a complete one: the same lines, each with
 * the same key, so no line is cut or missing. */
bool wholeSettings(const std::string &text, const std::string &complete)
{
    std::vector<std::string> lines = vt::SplitLines(text), full = vt::SplitLines(complete);
    if (lines.size() != full.size() || text.empty() || text.back() != '\n')
        return false;
    for (size_t i = 0; i < lines.size(); i++)
        if (lines[i].substr(0, lines[i].find('=')) != full[i].substr(0, full[i].find('=')))
            return false;
    return true;
}

} // namespace

/* Every operation that makes a file of a Full run (a write, a close, a
 * rename) fails as on a full disk, then ends the process as a kill would,
 * one run each, from files left by an earlier installation: every file is
 * then whole, old or new; a failure is shown and stops the run. */
TEST(FaultInjection, EveryFileOperationOfAFullRunFailingOrKilledLeavesEveryFileWhole)
{
    vt::ScratchDir scratch;
    const std::string home = scratch / "home";
    const std::vector<std::string> files = {".vartenarc", "filenums.cpf", "init.cpf", "CompRhs", "vtn_sys.h", "palette.cpf"};
    vt::MakePackageHome(home, true);
    auto run = [&](const std::string &mode, long at) {
        vt::Shell("cd '" + home + "' && rm -f filenums.cpf && find . -maxdepth 1 -name '.*.[A-Za-z0-9]*' ! -name .vartenarc.lock -delete");
        for (const std::string &file : files)
            if (file != "filenums.cpf")
                vt::WriteFile(home + "/" + file, file == ".vartenarc" ? "; old\n" : "old\n", 0444);
        int status = vt::Shell("cd '" + home + "' && VART_KIND=1 VART_HOME='" + home + "' VART_FAULT_DIR='" + home +
                               "' VART_FAULT_MODE=" + mode +
                               " VART_FAULT_AT=" + std::to_string(at) + " VART_FAULT_COUNT='" + (scratch / "count") +
                               "' ASAN_OPTIONS=\"$ASAN_OPTIONS:verify_asan_link_order=0\" LD_PRELOAD='" VART_FAULT_SHIM
                               "' " VART_FAULT_RUN " > '" + (scratch / "out") + "' 2>&1");
        return std::make_pair(status, vt::ReadFile(scratch / "out"));
    };
    ASSERT_EQ(0, run("fail", 0).first);
    std::map<std::string, std::string> fresh;
    for (const std::string &file : files)
        fresh[file] = vt::ReadFile(home + "/" + file);
    const long operations = std::stol(vt::ReadFile(scratch / "count"));
    ASSERT_GT(operations, 3 * long(files.size()) - 1) << "a write, a close and a rename for each file";

    for (const std::string mode : {"fail", "exit"}) {
        for (long at = 1; at <= operations; at++) {
            SCOPED_TRACE(mode + " at operation " + std::to_string(at));
            auto [status, out] = run(mode, at);
            for (const std::string &file : files) {
                std::string text = vt::ReadFile(home + "/" + file), old = file == ".vartenarc" ? "; old\n" : "old\n";
                bool whole = text == fresh[file] || (file == "filenums.cpf" ? !vt::Exists(home + "/" + file) : text == old) ||
                             (file == ".vartenarc" && wholeSettings(text, fresh[file]));
                EXPECT_TRUE(whole) << file << ":\n" << text.substr(0, 300);
            }
            if (mode == "exit") {
                EXPECT_EQ(99, status) << out;
                continue;
            }
            EXPECT_EQ(0, status) << out;
            EXPECT_NE(std::string::npos, out.find("alert: Cannot ")) << out;
            EXPECT_EQ("stopped\n", out.substr(out.rfind('\n', out.size() - 2) + 1)) << out;
        }
    }
    printf("fault injection: %ld file operations of a Full run, each failed once and killed once; "
           "%zu files checked after each of the %ld runs\n",
           operations, files.size(), 2 * operations);
}
