/* Run under valgrind's memcheck (tests/hardening.cmake): the setup window
 * built on the X server, a Full installation that compiles autodif in a
 * package home, then a User installation in another directory, each through
 * SetupProc as "Setup" calls it, and a help window opened and closed.
 * Memcheck fails the test on any invalid read or write, any use of an
 * uninitialised value and any definite leak that tests/sanitizers/
 * memcheck.supp does not name as the toolkit's own; the assertions check
 * that the runs really did their work. */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <string>

#include "run_home.h"
#include "support.h"

namespace {

using MemcheckRun = vt::RunFixture;

TEST_F(MemcheckRun, FullThenUserInstallationInProcess)
{
    full();
    run();
    EXPECT_EQ(0u, alerts_.count()) << (alerts_.count() ? alerts_.texts()[0] : "");
    EXPECT_TRUE(vt::Exists("autodif.o")) << "the Full installation compiles autodif";
    EXPECT_EQ(0755, vt::FileMode("CompRhs"));
    EXPECT_EQ("ODE", value("Currents", "CLASSCUR"));

    vt::Enter(scratch_ / "user");
    vt::PrepareWindow(2, home_);
    run();
    EXPECT_EQ(0u, alerts_.count()) << (alerts_.count() ? alerts_.texts()[0] : "");
    EXPECT_EQ(home_ + "/", value("Paths", "KERNEL"));
    EXPECT_EQ(26u, vt::SplitLines(vt::ReadFile("palette.cpf")).size());
    EXPECT_FALSE(vt::Exists("CompRhs"));

    /* the toolkit makes every new window current */
    HelpProc(iInst);
    Nlm_WindoW help = Nlm_CurrentWindow();
    ASSERT_NE(wSetup, help) << "the Installation item opens a window of its own";
    msgCloseProc(help);
    Nlm_RemoveDyingWindows();
}

} // namespace
