#include <ncbi.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "support.h"
#include "utility.h"

namespace fz {

namespace {

std::string scratch;
std::string homeBefore;
int alerts = 0;

MsgAnswer LIBCALLBACK countAlert(MsgKey, ErrSev, const char *, const char *)
{
    alerts++;
    return ANS_OK;
}

std::string homeRc()
{
    struct passwd *pw = getpwuid(getuid());
    std::string home = (pw != NULL && pw->pw_dir != NULL) ? pw->pw_dir : "/";
    return home + "/.vartenarc";
}

/* Existence, size, modification time and bytes of the real home's file. */
std::string homeState()
{
    struct stat st;
    std::string rc = homeRc();
    if (stat(rc.c_str(), &st) != 0)
        return "absent";
    std::ifstream in(rc, std::ios::binary);
    std::ostringstream out;
    out << st.st_size << ':' << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec << ':' << in.rdbuf();
    return out.str();
}

void removeScratch()
{
    if (!scratch.empty() && chdir("/") == 0)
        system(("rm -rf '" + scratch + "'").c_str());
}

} // namespace

const std::string &EnterScratch(const std::string &rc)
{
    char tmpl[] = "/tmp/vartena-fuzz-XXXXXX";
    if (mkdtemp(tmpl) == NULL) {
        perror("mkdtemp");
        abort();
    }
    scratch = tmpl;
    unsetenv("NCBI");
    unsetenv("NCBI_DONT_USE_LOCAL_CONFIG");
    if (chdir(scratch.c_str()) != 0)
        abort();
    WriteBytes(".vartenarc", rc.data(), rc.size());
    atexit(removeScratch);
    Nlm_SetMessageHook(countAlert);
    /* Nlm_FileOpen's notice of a file that cannot be opened is no alert */
    ErrSetMessageLevel(SEV_MAX);
    ErrSetLogLevel(SEV_MAX);
    ReloadSettings();
    homeBefore = homeState();
    return scratch;
}

std::string ReadBytes(const std::string &path)
{
    std::string text;
    FILE *f = fopen(path.c_str(), "rb");
    if (f == NULL)
        return text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    fclose(f);
    return text;
}

void WriteBytes(const std::string &path, const char *data, size_t size)
{
    FILE *fp = fopen(path.c_str(), "wb");
    if (fp == NULL || fwrite(data, 1, size, fp) != size || fclose(fp) != 0) {
        fprintf(stderr, "cannot write %s: %s\n", path.c_str(), strerror(errno));
        abort();
    }
}

int Alerts() { return alerts; }
void ResetAlerts() { alerts = 0; }

void CheckHome()
{
    Require(access(".vartenarc", F_OK) == 0, "the working directory lost its .vartenarc");
    Require(homeState() == homeBefore, "the real home's .vartenarc was created or changed");
}

void Require(bool cond, const char *what)
{
    if (!cond) {
        fprintf(stderr, "property failed: %s\n", what);
        abort();
    }
}

std::vector<std::string> LinesOf(const std::string &text, const char *ends)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = std::min(text.find_first_of(ends, start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace fz
