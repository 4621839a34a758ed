/* Working directory, truncation and commands, without a display. */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "support.h"
#include "utility.h"

namespace {

std::string workingDirectory()
{
    char buf[PATH_MAX];
    return getcwd(buf, sizeof buf) != NULL ? std::string(buf) : std::string();
}

/* CurrentDirectory's text, the block freed. */
std::string recorded()
{
    char *dir = CurrentDirectory();
    if (dir == NULL)
        return "(null)";
    std::string text = dir;
    Nlm_MemFree(dir);
    return text;
}

long fileSize(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

TEST(ChangeDirectory, IgnoresNullAndDirectoriesThatCannotBeEntered)
{
    vt::ScratchDir dir;
    ASSERT_EQ(0, mkdir("sub", 0755));
    vt::WriteFile("plain", "x");
    ChangeDirectory(NULL);
    ChangeDirectory("no-such-directory");
    ChangeDirectory("plain");
    EXPECT_EQ(dir.path(), workingDirectory());
    ChangeDirectory("sub");
    EXPECT_EQ(dir / "sub", workingDirectory());
}

/* Descends from the scratch directory into nested directories until the
 * working directory's path has exactly length characters. */
void descendTo(size_t length)
{
    std::string here = workingDirectory();
    ASSERT_LE(here.size() + 2, length);
    while (here.size() < length) {
        size_t remaining = length - here.size();
        size_t name = 200;
        if (remaining <= 201)
            name = remaining - 1;
        else if (remaining - 201 < 2)
            name = 100;  /* never leave a remainder too short for "/x" */
        std::string component(name, 'd');
        ASSERT_EQ(0, mkdir(component.c_str(), 0755));
        ASSERT_EQ(0, chdir(component.c_str()));
        here += "/" + component;
    }
    ASSERT_EQ(length, here.size());
}

TEST(CurrentDirectory, RecordsA4094CharacterPath)
{
    vt::ScratchDir dir;
    ASSERT_NO_FATAL_FAILURE(descendTo(4094));
    EXPECT_EQ(workingDirectory(), recorded());
}

TEST(CurrentDirectory, GivesTheEmptyTextForAPathOf4095Characters)
{
    vt::ScratchDir dir;
    ASSERT_NO_FATAL_FAILURE(descendTo(4095));
    EXPECT_EQ("", recorded());
}

TEST(CurrentDirectory, GivesTheEmptyTextInARemovedDirectory)
{
    vt::ScratchDir dir;
    ASSERT_EQ(0, mkdir("gone", 0755));
    ASSERT_EQ(0, chdir("gone"));
    ASSERT_EQ(0, rmdir((dir / "gone").c_str()));
    EXPECT_EQ("", recorded());
    ASSERT_EQ(0, chdir(dir.path().c_str()));
}

TEST(TruncateFile, CutsAStreamOpenedForUpdateKeepingTheHead)
{
    vt::ScratchDir dir;
    vt::WriteFile("data", "abcdef");
    FILE *stream = fopen("data", "r+");
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(TRUE, TruncateFile(stream, 3));
    EXPECT_EQ(3, fileSize("data"));
    EXPECT_EQ(TRUE, TruncateFile(stream, 0));
    EXPECT_EQ(0, fileSize("data"));
    fclose(stream);
    EXPECT_EQ("", vt::ReadFile("data"));
}

TEST(TruncateFile, RefusesAReadOnlyStreamANegativeLengthAndNoStream)
{
    vt::ScratchDir dir;
    vt::WriteFile("data", "abcdef");
    FILE *stream = fopen("data", "r");
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(FALSE, TruncateFile(stream, 0));
    fclose(stream);
    stream = fopen("data", "r+");
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(FALSE, TruncateFile(stream, -1));
    fclose(stream);
    EXPECT_EQ(FALSE, TruncateFile(NULL, 0));
    EXPECT_EQ("abcdef", vt::ReadFile("data"));
}

int callbackCalls;
std::string seenByCallback;

short answer42(void)
{
    callbackCalls++;
    seenByCallback = vt::ReadFile("out.txt");
    return 42;
}

TEST(ExecuteCommand, CallsTheCallbackAfterACommandThatFailsOrDoesNotExist)
{
    vt::ScratchDir dir;
    callbackCalls = 0;
    EXPECT_EQ(42, ExecuteCommand("no-such-command-vartena 2>/dev/null", NULL, answer42));
    EXPECT_EQ(42, ExecuteCommand("exit 3", NULL, answer42));
    EXPECT_EQ(2, callbackCalls);
}

TEST(ExecuteCommand, RunsTheCommandToItsEndBeforeTheCallback)
{
    vt::ScratchDir dir;
    EXPECT_EQ(42, ExecuteCommand("sleep 0.2; echo done > out.txt", NULL, answer42));
    EXPECT_EQ("done\n", seenByCallback);
}

} // namespace
