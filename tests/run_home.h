/* Package homes and window set-up for the installation-run suites and the
 * benchmark.  Include after GoogleTest and "toolkit.h". */
#ifndef VARTENA_TEST_RUN_HOME_H
#define VARTENA_TEST_RUN_HOME_H

#include <ctime>
#include <string>

#include "support.h"

namespace vt {

/* Sets an environment variable for one scope, restoring it afterwards. */
class EnvSetting {
public:
    EnvSetting(const char *name, const std::string &value);
    ~EnvSetting();
    EnvSetting(const EnvSetting &) = delete;
    EnvSetting &operator=(const EnvSetting &) = delete;

private:
    std::string name_, old_;
    bool had_;
};

/* Makes dir a package home: the executable "vartena", classes.vtn with
 * classLine after "&hierarchy" (none at all when classLine is NULL), and a
 * small autodif.cc that compiles.  With object, an autodif.o (not a real
 * object) that is newer than the source, so no compilation is needed. */
void MakePackageHome(const std::string &dir, const char *classLine = "ODE ode   ! the first class",
                     bool object = false);

/* The sources of the package home's autodif module and of a tmp_der.cc
 * that calls it. */
extern const char kAutodifSource[];
extern const char kDerivativeProgram[];

/* Sets the modification time of path. */
void SetModified(const std::string &path, time_t when);

/* Makes dir (if needed) the working directory, with a .vartenarc there
 * before anything is written, and drops the toolkit's parsed settings. */
void Enter(const std::string &dir);

/* Builds the setup window afresh (removing an earlier one) and chooses the
 * installation kind (1 Full, 2 User) through the Installation switch; the
 * directory field is then set to kernel. */
void PrepareWindow(int kind, const std::string &kernel);

/* The value of [section] key as the file at path holds it, blanks at both
 * ends stripped; found is FALSE when there is no such key. */
std::string RcValue(const std::string &path, const std::string &section, const std::string &key,
                    bool *found = nullptr);

/* The section names of a settings file in order, joined by ",". */
std::string RcSections(const std::string &path);

/* Alert texts of the run and of the settings store. */
extern const std::string kNoCompile, kNoUserObject, kUndefinedTmp;

void setText(Nlm_Handle control, const std::string &text);
/* Lines of a template table up to its NULL entry. */
size_t tableLines(const char *const *table);

/* Each test in its own scratch directory S: the package home S/home,
 * TMPDIR S/tmp, S/bin first on PATH, SHELL /bin/tcsh; the window is
 * removed afterwards and alerts are captured from the start. */
class RunFixture : public ::testing::Test {
protected:
    RunFixture();
    ~RunFixture() override;

    /* A Full installation in the package home, which becomes the working
     * directory; csh style with the tcsh path. */
    void full(const char *classLine = "ODE ode   ! the first class", bool object = false);
    /* SetupProc as "Setup" calls it, with the alerts of this run only. */
    void run();
    /* [section] key of the working directory's .vartenarc as written. */
    std::string value(const char *section, const char *key, bool *found = nullptr);
    /* A C++ compiler that records each call before running c++. */
    std::string recordingCompiler();
    size_t compilerCalls();

    ScratchDir scratch_;
    std::string home_;
    EnvSetting shell_, tmpdir_, path_;
    AlertLog alerts_;
};

} // namespace vt

#endif
