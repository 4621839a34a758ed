#include <gtest/gtest.h>

#include "toolkit.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <csignal>
#include <pwd.h>
#include <sys/resource.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "support.h"

#ifndef VART_TEST_DATA_DIR
#error "VART_TEST_DATA_DIR must name tests/data"
#endif

namespace vt {

namespace {

std::vector<std::string> alerts;
MessageHook previousHook = NULL;
int alertLogs = 0;

MsgAnswer LIBCALLBACK recordAlert(MsgKey, ErrSev, const char *, const char *message)
{
    alerts.push_back(message != NULL ? message : "");
    return ANS_OK;
}

std::string currentDir()
{
    char buf[PATH_MAX];
    return getcwd(buf, sizeof buf) != NULL ? std::string(buf) : std::string("/");
}

} // namespace

EnvSetting::EnvSetting(const char *name, const std::string &value) : name(name), had(getenv(name) != NULL)
{
    old = had ? getenv(name) : "";
    setenv(name, value.c_str(), 1);
}

EnvSetting::~EnvSetting()
{
    had ? setenv(name.c_str(), old.c_str(), 1) : unsetenv(name.c_str());
}

FileSizeLimit::FileSizeLimit(long bytes)
{
    if (bytes <= 0)
        return;
    struct rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    signal(SIGXFSZ, SIG_IGN);
    set_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    if (!set_)
        return;
    struct rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_FSIZE, &limit);
    signal(SIGXFSZ, SIG_DFL);
}

void DropSettingsCache()
{
    ReloadSettings();
}

ScratchDir::ScratchDir(const std::string &rc)
{
    char tmpl[] = "/tmp/vartena-test-XXXXXX";
    if (mkdtemp(tmpl) == NULL) {
        ADD_FAILURE() << "mkdtemp: " << strerror(errno);
        abort();
    }
    path_ = tmpl;
    previous_ = currentDir();
    unsetenv("NCBI");
    unsetenv("NCBI_DONT_USE_LOCAL_CONFIG");
    WriteFile(path_ + "/.vartenarc", rc);
    if (chdir(path_.c_str()) != 0)
        abort();
    DropSettingsCache();
}

ScratchDir::~ScratchDir()
{
    if (chdir(previous_.c_str()) != 0 && chdir("/") != 0)
        abort();
    Shell("chmod -R u+rwx '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'");
    DropSettingsCache();
}

AlertLog::AlertLog()
{
    if (alertLogs++ == 0)
        previousHook = Nlm_SetMessageHook(recordAlert);
    alerts.clear();
}

AlertLog::~AlertLog()
{
    if (--alertLogs == 0)
        Nlm_SetMessageHook(previousHook);
}

const std::vector<std::string> &AlertLog::texts() const { return alerts; }
void AlertLog::clear() { alerts.clear(); }

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string &path, const std::string &text, mode_t mode)
{
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
    }
    chmod(path.c_str(), mode);
}

bool Exists(const std::string &path)
{
    return access(path.c_str(), F_OK) == 0;
}

long FileTime(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_mtime) : -1;
}

int FileMode(const std::string &path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<int>(st.st_mode & 07777);
}

std::vector<std::string> SplitLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

int Shell(const std::string &command)
{
    int status = system(command.c_str());
    if (status == -1 || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

std::string DataDir()
{
    return VART_TEST_DATA_DIR;
}

std::string RealHomeRc()
{
    struct passwd *pw = getpwuid(getuid());
    std::string home = (pw != NULL && pw->pw_dir != NULL) ? pw->pw_dir : "/";
    return home + "/.vartenarc";
}

namespace {

/* Existence, size and modification time of the real home's .vartenarc,
 * with its bytes. */
std::string snapshot()
{
    struct stat st;
    std::string rc = RealHomeRc();
    if (stat(rc.c_str(), &st) != 0)
        return "absent";
    std::ostringstream out;
    out << st.st_size << ':' << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec << ':' << ReadFile(rc);
    return out.str();
}

class HomeRcGuard : public ::testing::Environment {
public:
    void SetUp() override { before_ = snapshot(); }
    void TearDown() override
    {
        EXPECT_EQ(before_, snapshot()) << "a test created or changed " << RealHomeRc();
    }

private:
    std::string before_;
};

} // namespace

void AddHomeRcGuard()
{
    ::testing::AddGlobalTestEnvironment(new HomeRcGuard);
}

} // namespace vt
