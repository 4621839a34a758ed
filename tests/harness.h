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

#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern "C" XtAppContext Nlm_appContext;
extern "C" Display *Nlm_currentXDisplay;
extern "C" Nlm_GraphiC Nlm_GetChild(Nlm_GraphiC a), Nlm_GetNext(Nlm_GraphiC a);

namespace vt {

using Texts = std::vector<std::string>;
extern std::string SuitePath; /* this program, for child runs of its own */

inline std::string Str(const char *s) { return s != NULL ? s : "(null)"; } /* "(null)" for NULL */
inline std::string ReadFile(const std::string &path)
{
    std::ostringstream out;
    out << std::ifstream(path, std::ios::binary).rdbuf();
    return out.str();
}
inline void WriteFile(const std::string &path, const std::string &text, int mode = 0644)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    chmod(path.c_str(), mode);
}
inline bool Exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }
inline Texts Lines(const std::string &text)
{
    Texts lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}
inline int Shell(const std::string &command) /* its exit status */
{
    int result = system(command.c_str());
    return result != -1 && WIFEXITED(result) ? WEXITSTATUS(result) : -1;
}
inline std::string Output(const std::string &command) /* without the last line feed */
{
    std::string out;
    char buf[1024];
    FILE *p = popen(command.c_str(), "r");
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    pclose(p);
    return !out.empty() && out.back() == '\n' ? out.substr(0, out.size() - 1) : out;
}
inline std::string title(Nlm_Handle h)
{
    char buf[1024] = "";
    return Nlm_GetTitle(h, buf, sizeof buf), buf;
}
inline Nlm_RecT rect(Nlm_Handle h)
{
    Nlm_RecT r = {0, 0, 0, 0};
    return Nlm_GetPosition(h, &r), r;
}
inline std::vector<Nlm_GraphiC> children(Nlm_Handle parent)
{
    std::vector<Nlm_GraphiC> list;
    for (Nlm_GraphiC c = Nlm_GetChild((Nlm_GraphiC)parent); c != NULL; c = Nlm_GetNext(c))
        list.push_back(c);
    return list;
}
inline void pump(int ms) /* the toolkit's events, for about ms milliseconds */
{
    for (int i = 0; i < ms / 10; i++, usleep(10000))
        while (Nlm_EventAvail())
            Nlm_ProcessAnEvent();
    Nlm_RemoveDyingWindows();
}
inline void SetText(Nlm_Handle control, const std::string &text) { Nlm_SetTitle(control, const_cast<char *>(text.c_str())); }
inline void SetModified(const std::string &path, long when) { Shell("touch -d @" + std::to_string(when) + " '" + path + "'"); }

/* A command line run as account (setpriv), or as we are for "". */
inline std::string As(const std::string &account, const std::string &command)
{
    std::string quoted;
    for (char c : command)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return account.empty() ? command : "setpriv --reuid=" + account + " --regid=nogroup --clear-groups -- sh -c '" + quoted + "'";
}
/* What a directory holds: each name below it with its kind and mode, each file's digest. */
inline std::string Tree(const std::string &dir)
{
    return Output("cd '" + dir + "' && find . -mindepth 1 -printf '%y %m %p\\n' | sort && find . -type f -exec sha1sum {} + | sort");
}
/* A package home: "vartena", classes.vtn with "ODE ode" after &hierarchy,
 * an autodif.cc that compiles and, with object, its object, newer. */
inline void MakePackageHome(const std::string &dir, bool object)
{
    static const std::string source = "extern \"C\" double autodif_square_slope(double x) { return 2.0 * x; }\n",
                             compiled = [] { /* once */
                                 char name[] = "/tmp/vartena-test-autodif-XXXXXX";
                                 close(mkstemp(name)), unlink(name), mkdir(name, 0755);
                                 WriteFile(name + std::string("/autodif.cc"), source);
                                 Shell(std::string("cd ") + name + " && c++ -c -o autodif.o autodif.cc");
                                 static std::string dir = name;
                                 atexit([] { Shell("rm -rf " + dir); });
                                 return dir + "/autodif.o";
                             }();
    mkdir(dir.c_str(), 0755);
    WriteFile(dir + "/vartena", "#!/bin/sh\n", 0755);
    WriteFile(dir + "/classes.vtn", "! classes\n&hierarchy\nODE ode   ! the first class\n&classes\nODE\n");
    WriteFile(dir + "/autodif.cc", source);
    SetModified(dir + "/autodif.cc", time(NULL) - 100);
    if (object)
        Shell("cp " + compiled + " '" + dir + "/autodif.o'"), SetModified(dir + "/autodif.o", time(NULL) - 50);
}
inline void Enter(const std::string &dir) /* made if missing, with a .vartenarc */
{
    mkdir(dir.c_str(), 0755);
    if (!Exists(dir + "/.vartenarc"))
        WriteFile(dir + "/.vartenarc", "");
    if (chdir(dir.c_str()) != 0)
        abort();
    ReloadSettings();
}
/* The window built afresh, kind (INST_FULL or INST_USER) chosen, tKernel kernel. */
inline void PrepareWindow(int kind, const std::string &kernel)
{
    if (wSetup != NULL)
        Nlm_Remove(wSetup);
    BuildSetupWindow();
    Nlm_SetValue(gInst, static_cast<Nlm_Int2>(kind));
    InstActnProc(gInst);
    SetText(tKernel, kernel);
}

/* A private working directory holding .vartenarc (rc), NCBI and
 * NCBI_DONT_USE_LOCAL_CONFIG unset; removed, the previous one back, after. */
struct ScratchDir {
    explicit ScratchDir(const std::string &rc = "")
    {
        char tmpl[] = "/tmp/vartena-test-XXXXXX", here[4096];
        if (mkdtemp(tmpl) == NULL || getcwd(here, sizeof here) == NULL || chdir(tmpl) != 0)
            abort();
        path_ = tmpl, previous_ = here;
        unsetenv("NCBI"), unsetenv("NCBI_DONT_USE_LOCAL_CONFIG");
        WriteFile(".vartenarc", rc);
        ReloadSettings();
    }
    ~ScratchDir()
    {
        if (chdir(previous_.c_str()) != 0 && chdir("/") != 0)
            abort();
        Shell("chmod -R u+rwx '" + path_ + "'; rm -rf '" + path_ + "'");
        ReloadSettings();
    }
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }
    std::string path_, previous_;
};
inline Texts alerts;
/* Every alert while it lives, answered OK at once. */
struct AlertLog {
    static MsgAnswer LIBCALLBACK record(MsgKey, ErrSev, const char *, const char *text) { return alerts.push_back(Str(text)), ANS_OK; }
    AlertLog() : previous(Nlm_SetMessageHook(record)) { alerts.clear(); }
    ~AlertLog() { Nlm_SetMessageHook(previous); }
    const Texts &texts() const { return alerts; }
    size_t count() const { return alerts.size(); }
    void clear() { alerts.clear(); }
    MessageHook previous;
};
struct EnvSetting { /* for one scope */
    EnvSetting(const char *n, const std::string &value) : name(n), old(Str(getenv(n))), had(getenv(n)) { setenv(n, value.c_str(), 1); }
    ~EnvSetting() { had ? setenv(name.c_str(), old.c_str(), 1) : unsetenv(name.c_str()); }
    std::string name, old;
    bool had;
};

/* A scratch directory S, the package home S/home, TMPDIR "S/it's tmp", S/bin
 * first on PATH, SHELL /bin/tcsh, alerts captured; the window removed after. */
struct RunFixture : ::testing::Test {
    RunFixture() : path_("PATH", scratch_ / "bin:" + getenv("PATH"))
    {
        mkdir((scratch_ / "it's tmp").c_str(), 0700);
        mkdir((scratch_ / "bin").c_str(), 0755);
    }
    ~RunFixture() override
    {
        if (wSetup != NULL)
            Nlm_Remove(wSetup), wSetup = NULL;
    }
    void fresh() /* the scratch directory as the fixture made it */
    {
        if (chdir(scratch_.path().c_str()) != 0)
            abort();
        Shell("chmod -R u+rwx . && find . -mindepth 1 -maxdepth 1 ! -name bin ! -name \"it's tmp\" -exec rm -rf {} +");
    }
    void full(bool object = false) /* Full, csh style, from the home */
    {
        MakePackageHome(home_, object);
        Enter(home_);
        PrepareWindow(INST_FULL, home_);
        Nlm_SetValue(gShellStyle, STYLE_CSH);
        SetText(tShellPath, "/bin/tcsh -f");
    }
    void user(bool object) /* User, from S/user */
    {
        MakePackageHome(home_, object);
        Enter(scratch_ / "user");
        PrepareWindow(INST_USER, home_);
    }
    bool run() /* "Setup": TRUE when the run ended, FALSE when it stopped */
    {
        alerts_.clear();
        return SetupProc(NULL), !Nlm_Enabled(gTerm);
    }
    std::string value(const char *section, const char *key) /* as in ./.vartenarc */
    {
        std::string current, prefix = std::string(key) + "=";
        for (const std::string &line : Lines(ReadFile(".vartenarc"))) {
            if (line[0] == '[')
                current = line.substr(1, line.find(']') - 1);
            else if (current == section && line.compare(0, prefix.size(), prefix) == 0)
                return line.substr(prefix.size());
        }
        return "(none)";
    }
    ScratchDir scratch_;
    std::string home_ = scratch_ / "home";
    EnvSetting shell_{"SHELL", "/bin/tcsh"}, tmpdir_{"TMPDIR", scratch_ / "it's tmp"}, path_;
    AlertLog alerts_;
};

} // namespace vt

#endif
