#include <gtest/gtest.h>

#include "toolkit.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "run_home.h"
#include "support.h"

namespace vt {

const char kAutodifSource[] =
    "// autodif of the test package: the slope of x*x\n"
    "extern \"C\" double autodif_square_slope(double x) { return 2.0 * x; }\n";

const char kDerivativeProgram[] =
    "#include <cstdio>\n"
    "#include \"vtn_sys.h\"\n"
    "extern \"C\" double autodif_square_slope(double x);\n"
    "int main() { std::printf(\"slope %g true %d\\n\", autodif_square_slope(3.0), TRUE); return 0; }\n";

EnvSetting::EnvSetting(const char *name, const std::string &value) : name_(name)
{
    const char *old = getenv(name);
    had_ = old != NULL;
    if (had_)
        old_ = old;
    setenv(name, value.c_str(), 1);
}

EnvSetting::~EnvSetting()
{
    if (had_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

void SetModified(const std::string &path, time_t when)
{
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = when;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

void MakePackageHome(const std::string &dir, const char *classLine, bool object)
{
    mkdir(dir.c_str(), 0755);
    WriteFile(dir + "/vartena", "#!/bin/sh\necho vartena\n", 0755);
    std::string classes = "! classes of the test package\n";
    if (classLine != NULL)
        classes += std::string("&hierarchy\n") + classLine + "\n&classes\nODE\n";
    WriteFile(dir + "/classes.vtn", classes);
    WriteFile(dir + "/autodif.cc", kAutodifSource);
    time_t now = time(NULL);
    SetModified(dir + "/autodif.cc", now - 100);
    if (object) {
        WriteFile(dir + "/autodif.o", "object\n");
        SetModified(dir + "/autodif.o", now - 50);
    }
}

void Enter(const std::string &dir)
{
    mkdir(dir.c_str(), 0755);
    if (!Exists(dir + "/.vartenarc"))
        WriteFile(dir + "/.vartenarc", "");
    if (chdir(dir.c_str()) != 0)
        abort();
    DropSettingsCache();
}

void PrepareWindow(int kind, const std::string &kernel)
{
    if (wSetup != NULL)
        Nlm_Remove(wSetup);
    BuildSetupWindow();
    Nlm_SetValue(gInst, static_cast<Nlm_Int2>(kind));
    InstActnProc(gInst);
    Nlm_SetTitle(tKernel, const_cast<char *>(kernel.c_str()));
}

namespace {

std::string stripped(const std::string &s)
{
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return "";
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

} // namespace

std::string RcValue(const std::string &path, const std::string &section, const std::string &key,
                    bool *found)
{
    std::string current;
    for (const std::string &line : SplitLines(ReadFile(path))) {
        if (!line.empty() && line[0] == '[') {
            current = line.substr(1, line.find(']') - 1);
            continue;
        }
        size_t eq = line.find('=');
        if (current != section || eq == std::string::npos || line[0] == ';')
            continue;
        if (stripped(line.substr(0, eq)) == key) {
            if (found != nullptr)
                *found = true;
            return stripped(line.substr(eq + 1));
        }
    }
    if (found != nullptr)
        *found = false;
    return "";
}

std::string RcSections(const std::string &path)
{
    std::string names;
    for (const std::string &line : SplitLines(ReadFile(path)))
        if (!line.empty() && line[0] == '[')
            names += (names.empty() ? "" : ",") + line.substr(1, line.find(']') - 1);
    return names;
}

const std::string kNoCompile =
    "Cannot compile autodif.cc.\nSymbolical differentiation feature will be disabled.\n"
    "Please check the name of C++ compiler\nand ensure it is accessable via the PATH variable";
const std::string kNoUserObject =
    "Could not run C++ compiler during the full installation.\n"
    "Symbolical differentiation feature will be disabled.";
const std::string kUndefinedTmp =
    "Settings file 'vartena',\nsection 'TMP',\nkey 'TMP'\ncontains a reference to undefined value";

void setText(Nlm_Handle control, const std::string &text)
{
    Nlm_SetTitle(control, const_cast<char *>(text.c_str()));
}

size_t tableLines(const char *const *table)
{
    size_t n = 0;
    while (table[n] != NULL)
        n++;
    return n;
}

RunFixture::RunFixture()
    : home_(scratch_ / "home"), shell_("SHELL", "/bin/tcsh"), tmpdir_("TMPDIR", scratch_ / "tmp"),
      path_("PATH", scratch_ / "bin:" + getenv("PATH"))
{
    mkdir((scratch_ / "tmp").c_str(), 0700);
    mkdir((scratch_ / "bin").c_str(), 0755);
}

/* The handle is cleared with the window, so that the next build does not
 * remove it a second time. */
RunFixture::~RunFixture()
{
    if (wSetup != NULL)
        Nlm_Remove(wSetup);
    wSetup = NULL;
}

void RunFixture::full(const char *classLine, bool object)
{
    MakePackageHome(home_, classLine, object);
    Enter(home_);
    PrepareWindow(1, home_);
    Nlm_SetValue(gShellStyle, 1);
    setText(tShellPath, "/bin/tcsh -f");
}

void RunFixture::run()
{
    alerts_.clear();
    SetupProc(NULL);
}

std::string RunFixture::value(const char *section, const char *key, bool *found)
{
    return RcValue(".vartenarc", section, key, found);
}

std::string RunFixture::recordingCompiler()
{
    std::string path = scratch_ / "bin/recording-c++";
    WriteFile(path, "#!/bin/sh\necho \"$@\" >> '" + (scratch_ / "compiler.log") + "'\nexec c++ \"$@\"\n", 0755);
    return path;
}

size_t RunFixture::compilerCalls()
{
    return SplitLines(ReadFile(scratch_ / "compiler.log")).size();
}

} // namespace vt
