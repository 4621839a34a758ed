/* Working directory, truncation and commands, without a display. */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <climits>
#include <cstdio>
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

TEST(ChangeDirectory, IgnoresNullAndDirectoriesThatCannotBeEntered)
{
    vt::ScratchDir dir;
    ASSERT_EQ(0, mkdir("sub", 0755));
    vt::WriteFile("plain", "x");
    for (const char *path : {(const char *)NULL, "no-such-directory", "plain"})
        ChangeDirectory(path);
    EXPECT_EQ(dir.path(), workingDirectory());
    ChangeDirectory("sub");
    EXPECT_EQ(dir / "sub", workingDirectory());
}

/* A path of 4,094 characters fills the block; a longer one gives the empty text. */
TEST(CurrentDirectory, RecordsPathsThatFitItsBlockAndElseTheEmptyText)
{
    for (size_t length : {4094, 4095}) {
        vt::ScratchDir dir;
        std::string here = workingDirectory();
        ASSERT_LE(here.size() + 2, length);
        while (here.size() < length) {
            const size_t left = length - here.size();
            const std::string name(left > 200 ? 150 : left - 1, 'd');
            ASSERT_EQ(0, mkdir(name.c_str(), 0755));
            ASSERT_EQ(0, chdir(name.c_str()));
            here += "/" + name;
        }
        ASSERT_EQ(here, workingDirectory());
        char *recorded = CurrentDirectory();
        ASSERT_NE(nullptr, recorded);
        EXPECT_EQ(length == 4094 ? here : "", recorded) << length;
        Nlm_MemFree(recorded);
    }
}

TEST(TruncateFile, CutsAStreamOpenedForUpdateAndRefusesAnyOther)
{
    vt::ScratchDir dir;
    vt::WriteFile("data", "abcdef");
    FILE *reading = fopen("data", "r");
    FILE *update = fopen("data", "r+");
    ASSERT_TRUE(reading != NULL && update != NULL);
    EXPECT_EQ(FALSE, TruncateFile(reading, 0));
    EXPECT_EQ(FALSE, TruncateFile(update, -1));
    EXPECT_EQ(FALSE, TruncateFile(NULL, 0));
    EXPECT_EQ("abcdef", vt::ReadFile("data"));
    EXPECT_EQ(TRUE, TruncateFile(update, 3));
    EXPECT_EQ("abc", vt::ReadFile("data"));
    EXPECT_EQ(TRUE, TruncateFile(update, 0));
    fclose(reading);
    fclose(update);
    EXPECT_EQ("", vt::ReadFile("data"));
}

int callbackCalls;
std::string seenByCallback;

short answer42(void)
{
    callbackCalls++;
    seenByCallback = vt::ReadFile("out.txt");
    return 42;
}

TEST(ExecuteCommand, RunsTheCommandToItsEndAndCallsTheCallbackWhateverItsFate)
{
    vt::ScratchDir dir;
    callbackCalls = 0;
    EXPECT_EQ(42, ExecuteCommand("no-such-command-vartena 2>/dev/null", NULL, answer42));
    EXPECT_EQ(42, ExecuteCommand("exit 3", NULL, answer42));
    EXPECT_EQ(42, ExecuteCommand("sleep 0.2; echo done > out.txt", NULL, answer42));
    EXPECT_EQ(3, callbackCalls);
    EXPECT_EQ("done\n", seenByCallback);
}

} // namespace
