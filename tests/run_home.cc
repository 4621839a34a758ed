#include <gtest/gtest.h>

#include "toolkit.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "run_home.h"
#include "support.h"

namespace vt {

void SetModified(const std::string &path, time_t when)
{
    struct timespec times[2] = {{when, 0}, {when, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

void MakePackageHome(const std::string &dir, bool object)
{
    mkdir(dir.c_str(), 0755);
    WriteFile(dir + "/vartena", "#!/bin/sh\necho vartena\n", 0755);
    WriteFile(dir + "/classes.vtn", "! classes of the test package\n&hierarchy\nODE ode   ! the first class\n"
                                    "&classes\nODE\n");
    WriteFile(dir + "/autodif.cc", "extern \"C\" double autodif_square_slope(double x) { return 2.0 * x; }\n");
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
    setText(tKernel, kernel);
}

void setText(Nlm_Handle control, const std::string &text)
{
    Nlm_SetTitle(control, const_cast<char *>(text.c_str()));
}

std::string RunFixture::value(const char *section, const char *key)
{
    std::string current, prefix = std::string(key) + "=";
    for (const std::string &line : SplitLines(ReadFile(".vartenarc"))) {
        if (line[0] == '[')
            current = line.substr(1, line.find(']') - 1);
        else if (current == section && line.compare(0, prefix.size(), prefix) == 0)
            return line.substr(prefix.size());
    }
    return "(none)";
}

} // namespace vt
