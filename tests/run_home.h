/* Package homes and the setup window for the installation-run suites, the
 * benchmark and the memcheck run.  Include after GoogleTest and "toolkit.h". */
#ifndef VARTENA_TEST_RUN_HOME_H
#define VARTENA_TEST_RUN_HOME_H

#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/stat.h>

#include "support.h"

namespace vt {

inline const std::string kNoCompile =
    "Cannot compile autodif.cc.\nSymbolical differentiation feature will be disabled.\n"
    "Please check the name of C++ compiler\nand ensure it is accessable via the PATH variable";

/* A package home: the executable "vartena", classes.vtn with the class
 * line "ODE ode   ! the first class", an autodif.cc that compiles and,
 * with object, a newer autodif.o (not a real object). */
void MakePackageHome(const std::string &dir, bool object = false);
void SetModified(const std::string &path, time_t when);
/* Makes dir (if needed) the working directory, with a .vartenarc there
 * before anything is written, and drops the toolkit's parsed settings. */
void Enter(const std::string &dir);
/* The setup window built afresh, kind (1 Full, 2 User) chosen through the
 * Installation switch, the directory field set to kernel. */
void PrepareWindow(int kind, const std::string &kernel);
void setText(Nlm_Handle control, const std::string &text);

/* Each test in its own scratch directory S: the package home S/home, TMPDIR
 * S/tmp, S/bin first on PATH, SHELL /bin/tcsh, alerts captured from the
 * start.  The window is removed at the end and its handle cleared, so the
 * next build does not remove it again. */
class RunFixture : public ::testing::Test {
protected:
    RunFixture()
    {
        mkdir((scratch_ / "tmp").c_str(), 0700);
        mkdir((scratch_ / "bin").c_str(), 0755);
    }
    ~RunFixture() override
    {
        if (wSetup != NULL)
            Nlm_Remove(wSetup);
        wSetup = NULL;
    }
    /* A Full installation, csh style with "/bin/tcsh -f", in the package
     * home, which becomes the working directory. */
    void full(bool object = false)
    {
        MakePackageHome(home_, object);
        Enter(home_);
        PrepareWindow(1, home_);
        Nlm_SetValue(gShellStyle, 1);
        setText(tShellPath, "/bin/tcsh -f");
    }
    /* SetupProc as "Setup" calls it; alerts_ then holds this run's only. */
    void run()
    {
        alerts_.clear();
        SetupProc(NULL);
    }
    /* The text after "key=" in [section] of ./.vartenarc, or "(none)". */
    std::string value(const char *section, const char *key);

    ScratchDir scratch_;
    std::string home_ = scratch_ / "home";
    EnvSetting shell_{"SHELL", "/bin/tcsh"}, tmpdir_{"TMPDIR", scratch_ / "tmp"};
    EnvSetting path_{"PATH", scratch_ / "bin:" + getenv("PATH")};
    AlertLog alerts_;
};

} // namespace vt

#endif
