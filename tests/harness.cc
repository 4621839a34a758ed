#include <gtest/gtest.h>

#include "harness.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vt {

static Texts alerts;
static MsgAnswer LIBCALLBACK recordAlert(MsgKey, ErrSev, const char *, const char *message)
{
    return alerts.push_back(Str(message)), ANS_OK;
}

ScratchDir::ScratchDir(const std::string &rc)
{
    char tmpl[] = "/tmp/vartena-test-XXXXXX", here[4096];
    if (mkdtemp(tmpl) == NULL || getcwd(here, sizeof here) == NULL || chdir(tmpl) != 0)
        abort();
    path_ = tmpl;
    previous_ = here;
    unsetenv("NCBI");
    unsetenv("NCBI_DONT_USE_LOCAL_CONFIG");
    WriteFile(".vartenarc", rc);
    ReloadSettings();
}

ScratchDir::~ScratchDir()
{
    if (chdir(previous_.c_str()) != 0 && chdir("/") != 0)
        abort();
    Shell("chmod -R u+rwx '" + path_ + "'; rm -rf '" + path_ + "'");
    ReloadSettings();
}

AlertLog::AlertLog() : previous(Nlm_SetMessageHook(recordAlert)) { alerts.clear(); }
AlertLog::~AlertLog() { Nlm_SetMessageHook(previous); }
const Texts &AlertLog::texts() const { return alerts; }
void AlertLog::clear() { alerts.clear(); }

EnvSetting::EnvSetting(const char *n, const std::string &value) : name(n), old(Str(getenv(n))), had(getenv(n))
{
    setenv(n, value.c_str(), 1);
}
EnvSetting::~EnvSetting() { had ? setenv(name.c_str(), old.c_str(), 1) : unsetenv(name.c_str()); }

std::string ReadFile(const std::string &path)
{
    std::ostringstream out;
    out << std::ifstream(path, std::ios::binary).rdbuf();
    return out.str();
}
void WriteFile(const std::string &path, const std::string &text, int mode)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    chmod(path.c_str(), mode);
}
bool Exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

Texts Lines(const std::string &text)
{
    Texts lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

int Shell(const std::string &command)
{
    int result = system(command.c_str());
    return result != -1 && WIFEXITED(result) ? WEXITSTATUS(result) : -1;
}

std::string Output(const std::string &command)
{
    std::string out;
    char buf[1024];
    FILE *p = popen(command.c_str(), "r");
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    pclose(p);
    return !out.empty() && out.back() == '\n' ? out.substr(0, out.size() - 1) : out;
}

std::string Str(const char *s) { return s != NULL ? s : "(null)"; }
std::string title(Nlm_Handle h)
{
    char buf[1024] = "";
    return Nlm_GetTitle(h, buf, sizeof buf), buf;
}
Nlm_RecT rect(Nlm_Handle h)
{
    Nlm_RecT r = {0, 0, 0, 0};
    return Nlm_GetPosition(h, &r), r;
}
std::vector<Nlm_GraphiC> children(Nlm_Handle parent)
{
    std::vector<Nlm_GraphiC> list;
    for (Nlm_GraphiC c = Nlm_GetChild((Nlm_GraphiC)parent); c != NULL; c = Nlm_GetNext(c))
        list.push_back(c);
    return list;
}
void pump(int ms)
{
    for (int i = 0; i < ms / 10; i++, usleep(10000))
        while (Nlm_EventAvail())
            Nlm_ProcessAnEvent();
    Nlm_RemoveDyingWindows();
}

void SetModified(const std::string &path, long when) { Shell("touch -d @" + std::to_string(when) + " '" + path + "'"); }
void MakePackageHome(const std::string &dir, bool object)
{
    mkdir(dir.c_str(), 0755);
    WriteFile(dir + "/vartena", "#!/bin/sh\n", 0755);
    WriteFile(dir + "/classes.vtn", "! classes\n&hierarchy\nODE ode   ! the first class\n&classes\nODE\n");
    WriteFile(dir + "/autodif.cc", "extern \"C\" double autodif_square_slope(double x) { return 2.0 * x; }\n");
    SetModified(dir + "/autodif.cc", time(NULL) - 100);
    if (object)
        WriteFile(dir + "/autodif.o", "object\n"), SetModified(dir + "/autodif.o", time(NULL) - 50);
}
void Enter(const std::string &dir)
{
    mkdir(dir.c_str(), 0755);
    if (!Exists(dir + "/.vartenarc"))
        WriteFile(dir + "/.vartenarc", "");
    if (chdir(dir.c_str()) != 0)
        abort();
    ReloadSettings();
}
void SetText(Nlm_Handle control, const std::string &text) { Nlm_SetTitle(control, const_cast<char *>(text.c_str())); }
void PrepareWindow(int kind, const std::string &kernel)
{
    if (wSetup != NULL)
        Nlm_Remove(wSetup);
    BuildSetupWindow();
    Nlm_SetValue(gInst, static_cast<Nlm_Int2>(kind));
    InstActnProc(gInst);
    SetText(tKernel, kernel);
}

RunFixture::RunFixture() : path_("PATH", scratch_ / "bin:" + getenv("PATH"))
{
    mkdir((scratch_ / "it's tmp").c_str(), 0700);
    mkdir((scratch_ / "bin").c_str(), 0755);
}
RunFixture::~RunFixture()
{
    if (wSetup != NULL)
        Nlm_Remove(wSetup), wSetup = NULL;
}
void RunFixture::full(bool object)
{
    MakePackageHome(home_, object);
    Enter(home_);
    PrepareWindow(1, home_);
    Nlm_SetValue(gShellStyle, 1);
    SetText(tShellPath, "/bin/tcsh -f");
}
void RunFixture::user(bool object)
{
    MakePackageHome(home_, object);
    Enter(scratch_ / "user");
    PrepareWindow(2, home_);
}
bool RunFixture::run()
{
    alerts_.clear();
    return SetupProc(NULL), !Nlm_Enabled(gTerm);
}
std::string RunFixture::value(const char *section, const char *key)
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

} // namespace vt

static MsgAnswer LIBCALLBACK printAlert(MsgKey, ErrSev, const char *, const char *message)
{
    return printf("alert: %s\n", message != NULL ? message : ""), ANS_OK;
}

/* With VART_FAULT_HOME, the fault-injection test's child: one Full run of
 * that home from the working directory, ksh style with /bin/sh, printing
 * every alert and then "quit in N ms" or "stopped in N ms". */
extern "C" Nlm_Int2 Nlm_Main(void)
{
    if (getenv("VART_FAULT_HOME") != NULL) {
        Nlm_SetMessageHook(printAlert);
        vt::PrepareWindow(1, getenv("VART_FAULT_HOME"));
        Nlm_SetValue(gShellStyle, 2);
        vt::SetText(tShellPath, "/bin/sh ");
        auto start = std::chrono::steady_clock::now();
        SetupProc(NULL);
        printf("%s in %.1f ms\n", Nlm_Enabled(gTerm) ? "stopped" : "quit",
               std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        return 0;
    }
    int argc = static_cast<int>(Nlm_GetArgc());
    char **argv = Nlm_GetArgv();
    ::testing::InitGoogleTest(&argc, argv);
    return static_cast<Nlm_Int2>(RUN_ALL_TESTS());
}
