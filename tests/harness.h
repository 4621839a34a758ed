/* The harness of the suite, which runs inside a live toolkit (Vibrant's main
 * calls Nlm_Main in harness.cc).  A test touching settings or files runs in a
 * ScratchDir holding a .vartenarc before anything is written: the toolkit would
 * otherwise write the real home's.  Include after GoogleTest. */
#ifndef VARTENA_TEST_HARNESS_H
#define VARTENA_TEST_HARNESS_H

#include <X11/Intrinsic.h>

#include <ncbi.h>
#include <vibrant.h>

#include "internal.h"
#include "setup.h"

#undef Message
#undef GetString

#include <string>
#include <vector>

extern "C" XtAppContext Nlm_appContext;
extern "C" Display *Nlm_currentXDisplay;
extern "C" Nlm_GraphiC Nlm_GetChild(Nlm_GraphiC a), Nlm_GetNext(Nlm_GraphiC a);

namespace vt {

using Texts = std::vector<std::string>;

/* A private working directory holding .vartenarc (rc), NCBI and
 * NCBI_DONT_USE_LOCAL_CONFIG unset; removed, the previous one back, after. */
struct ScratchDir {
    explicit ScratchDir(const std::string &rc = "");
    ~ScratchDir();
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }
    std::string path_, previous_;
};
struct AlertLog { /* every alert while it lives, answered OK at once */
    AlertLog();
    ~AlertLog();
    const Texts &texts() const;
    size_t count() const { return texts().size(); }
    void clear();
    MessageHook previous;
};
struct EnvSetting { /* for one scope */
    EnvSetting(const char *name, const std::string &value);
    ~EnvSetting();
    std::string name, old;
    bool had;
};

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &text, int mode = 0644);
bool Exists(const std::string &path);
Texts Lines(const std::string &text);
int Shell(const std::string &command);          /* its exit status */
std::string Output(const std::string &command); /* without the last line feed */
std::string Str(const char *s);                 /* "(null)" for NULL */
std::string title(Nlm_Handle h);
Nlm_RecT rect(Nlm_Handle h);
std::vector<Nlm_GraphiC> children(Nlm_Handle parent);
void pump(int ms); /* the toolkit's events, for about ms milliseconds */
/* A package home: "vartena", classes.vtn with "ODE ode" after &hierarchy,
 * an autodif.cc that compiles and, with object, a newer autodif.o. */
void MakePackageHome(const std::string &dir, bool object);
void SetModified(const std::string &path, long when);
void Enter(const std::string &dir); /* made if missing, with a .vartenarc */
/* The window built afresh, kind (1 Full, 2 User) chosen, tKernel kernel. */
void PrepareWindow(int kind, const std::string &kernel);
void SetText(Nlm_Handle control, const std::string &text);

/* A scratch directory S, the package home S/home, TMPDIR "S/it's tmp", S/bin
 * first on PATH, SHELL /bin/tcsh, alerts captured; the window removed after. */
struct RunFixture : ::testing::Test {
    RunFixture();
    ~RunFixture() override;
    void full(bool object = false); /* Full, csh style, from the home */
    void user(bool object);         /* User, from S/user */
    bool run(); /* "Setup": TRUE when the run ended, FALSE when it stopped */
    std::string value(const char *section, const char *key); /* as in ./.vartenarc */
    ScratchDir scratch_;
    std::string home_ = scratch_ / "home";
    EnvSetting shell_{"SHELL", "/bin/tcsh"}, tmpdir_{"TMPDIR", scratch_ / "it's tmp"}, path_;
    AlertLog alerts_;
};

} // namespace vt

#endif
