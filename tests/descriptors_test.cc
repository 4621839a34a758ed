/* The text descriptor on description files that each test writes into its
 * own scratch directory, with KERNEL naming the directory "kernel/". */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "support.h"
#include "utility.h"

namespace {

using Lines = std::vector<std::string>;

class Desc : public ::testing::Test {
protected:
    vt::ScratchDir dir;
    vt::AlertLog alerts;

    void SetUp() override
    {
        mkdir((dir / "kernel").c_str(), 0755);
        settings("[Paths]\nKERNEL=" + dir.path() + "/kernel/\n");
    }
    void TearDown() override { DescClose(); }
    void settings(const std::string &text)
    {
        vt::WriteFile(dir / ".vartenarc", text + "[KernelErrors]\nTRANSLN=undefined in '%s'\n[T]\nA=alpha\n");
        vt::DropSettingsCache();
    }
    void file(const std::string &name, const std::string &text) { vt::WriteFile(dir / name, text); }
    bool open(const std::string &text)
    {
        file("d.vtn", text);
        return DescOpen("./d.vtn");
    }
    /* Up to n further lines, by GetLine, or by mGetLine of a column >= 0. */
    Lines read(size_t n = 100, short column = -1)
    {
        Lines out;
        char buf[500];
        for (char *got; out.size() < n && (got = column < 0 ? GetLine(buf) : mGetLine(buf, column)) != NULL;)
            out.push_back(got);
        return out;
    }
};

size_t openFiles()
{
    std::filesystem::directory_iterator fds("/proc/self/fd");
    return std::distance(begin(fds), end(fds));
}

/* Lines are cut at the comment, trimmed, skipped when empty and expanded;
 * long ones come in pieces of 349 and expand within the buffer. */
TEST_F(Desc, LinesAreCleanedExpandedAndCutToTheBuffer)
{
    ASSERT_TRUE(open("\n   \n! note\n\t \x1a\r\n"));
    EXPECT_FALSE(DescEof());
    EXPECT_EQ(Lines(), read());
    EXPECT_TRUE(DescEof());
    ASSERT_TRUE(open("   abc   ! note\n!only\nxyz\x1a\n$(T.A)-~`x\n``\npre $(T.NONE) post\nlast"));
    EXPECT_EQ(Lines({"abc", "xyz", "alpha-\nx", "", "pre $(T", "last"}), read());
    EXPECT_TRUE(DescEof()) << "the last line had no newline";
    EXPECT_EQ(Lines({"undefined in 'vartena'"}), alerts.texts());

    const std::string line(400, 'a');
    ASSERT_TRUE(open(line + "\n"));
    EXPECT_EQ(Lines({line.substr(0, 349), line.substr(349)}), read());
    settings("[L]\nV=" + std::string(200, 'v') + "\nW=" + std::string(150, 'w') + "\n");
    for (const char *refs : {"$(L.V)$(L.W)", "$(L.W)$(L.V)"}) { /* 350 characters once expanded */
        ASSERT_TRUE(open(std::string(refs) + "\n" + refs + "\n"));
        char buf[500];
        ASSERT_EQ(buf, GetLine(buf));
        EXPECT_EQ(0, DescSeek(0));
        EXPECT_LT(0, FindLine(buf)) << "FindLine sees the line as GetLine gives it";
        EXPECT_EQ(Lines{buf}, read());
    }
    settings("[L]\nV=" + std::string(200, 'v') + "\n");
    const std::string grows = std::string(100, 'p') + "$(L.V)$(L.V)\n";
    ASSERT_TRUE(open(grows + grows + "&h\n"));
    EXPECT_EQ(2, CountLines()) << "the module's own buffers hold the line cut too";
    char buf[500];
    memset(buf, 'Z', sizeof buf);
    ASSERT_EQ(buf, GetLine(buf));
    EXPECT_EQ(std::string(100, 'p') + std::string(249, 'v'), buf);
    EXPECT_EQ(std::string(150, 'Z'), std::string(buf + 350, 150)) << "written past 350 bytes";
}

/* A plain name resolves through KERNEL, read without printf formatting, to
 * at most 499 characters, or not at all; a name with a slash as it stands. */
TEST_F(Desc, PlainNamesResolveThroughKernelOrNotAtAll)
{
    file("kernel/main.vtn", "k\n");
    strcpy(ParBuf, "main.vtn");
    ASSERT_TRUE(DescOpen(ParBuf));
    EXPECT_EQ(dir.path() + "/kernel/main.vtn", ParBuf);
    EXPECT_EQ(Lines({"k"}), read());
    std::string kernel = dir.path() + "/" + std::string(488 - dir.path().size(), 'k') + "/";
    settings("[Paths]\nKERNEL=$(T.K1)$(T.K2)\n[T]\nK1=" + kernel.substr(0, 245) + "\nK2=" + kernel.substr(245) + "\n");
    EXPECT_FALSE(DescOpen("123456789"));
    EXPECT_EQ(kernel + "123456789", ParBuf) << "499 characters resolve (no such file)";
    EXPECT_FALSE(DescOpen("1234567890"));
    EXPECT_STREQ("1234567890", ParBuf);
    mkdir((dir / "p%sq").c_str(), 0755);
    file("p%sq/m.vtn", "pct\n");
    settings("[Paths]\nKERNEL=" + dir.path() + "/p%sq/\n");
    EXPECT_TRUE(DescOpen("m.vtn"));
    EXPECT_EQ(0u, alerts.count());
    file("main.vtn", "not through KERNEL\n");
    settings("");
    EXPECT_FALSE(DescOpen("main.vtn"));
    EXPECT_EQ(Lines({"Settings file 'vartena', section 'Paths', key 'KERNEL': not found"}), alerts.texts());
    EXPECT_STREQ("main.vtn", ParBuf) << "the name as given stays for the caller's message";
    EXPECT_TRUE(DescOpen("./kernel/main.vtn"));
}

TEST_F(Desc, IncludesGoTwoLevelsDeepAndAnOpenClosesThem)
{
    file("kernel/other.vtn", "o1\n&&./kernel/x.vtn\no2\n");
    file("kernel/x.vtn", "x1\n&&&missing.vtn\n");
    const size_t before = openFiles();
    ASSERT_TRUE(open("a\n&&missing.vtn\n&&other.vtn"));
    EXPECT_EQ(Lines({"a", "o1", "x1"}), read(3));
    EXPECT_FALSE(DescEof()) << "inside an include on the last line";
    EXPECT_EQ(before + 3, openFiles());
    ASSERT_TRUE(DescOpen("./d.vtn"));
    EXPECT_EQ(before + 1, openFiles());
    EXPECT_EQ(Lines({"a", "o1", "x1", "&&&missing.vtn", "o2"}), read()) << "the third level is a line";
    EXPECT_TRUE(DescEof());
    EXPECT_EQ(0u, alerts.count());
    ASSERT_TRUE(open("x\n&&./d.vtn\ny\n"));
    EXPECT_EQ(Lines({"x", "x", "x", "&&./d.vtn", "y", "y", "y"}), read());
    DescClose();
    EXPECT_EQ(before, openFiles());
}

/* A count begun in an included file stops at its end; DescSeek to no
 * position or to a level not open changes nothing. */
TEST_F(Desc, FindLineFindsEachHeaderInTurnAndCountsComeBackToIt)
{
    file("kernel/inc.vtn", "i1|\n\ni2\n");
    ASSERT_TRUE(open("&hierarchy\nh1\n&&inc.vtn\nh2\n&other\no\n&hierarchy\ns1 s2\n"));
    const int first = FindLine("&hierarchy");
    EXPECT_EQ(4, CountLines());
    EXPECT_EQ(3, mCountLines(1));
    EXPECT_EQ(Lines({"h1", "i1|"}), read(2));
    EXPECT_GT(FindLine("&hierarchy"), first);
    EXPECT_EQ(Lines({"s1 s2"}), read());
    EXPECT_EQ(-1, FindLine("&hierarchy"));
    EXPECT_EQ(0, DescSeek(first));
    EXPECT_EQ(Lines{"h1"}, read(1));
    DescRewind();
    EXPECT_EQ(Lines{"&hierarchy"}, read(1));

    file("kernel/inc.vtn", "&h\ni1\ni2|\n");
    ASSERT_TRUE(open("&&inc.vtn\nm1\n&t\n"));
    const int pos = FindLine("&h");
    EXPECT_EQ((1 << 24) | 3, pos);
    EXPECT_EQ(2, CountLines());
    EXPECT_EQ(1, mCountLines(1));
    EXPECT_EQ(Lines{"i1"}, read(1));
    for (int bad : {-1, 2 << 24, 127 << 24})
        EXPECT_EQ(-1, DescSeek(bad)) << bad;
    EXPECT_EQ(Lines({"i2|", "m1", "&t"}), read());
    EXPECT_EQ(-1, DescSeek(pos)) << "that file is closed now";
}

TEST_F(Desc, ColumnsSkipEmptyFieldsAndFallBackOnTheLastField)
{
    ASSERT_TRUE(open("&s\na | b\na\na |  | z\nx|y\n&t\n"));
    EXPECT_EQ(Lines({"&s", "b", "a", "y", "&t"}), read(100, 1));
    ASSERT_TRUE(open("a|b\nq|\nd\n&next|x\nz\n"));
    EXPECT_EQ(2, mCountLines(1));
    EXPECT_EQ(3, CountLines());
    EXPECT_EQ(Lines({"a", "q", "d", "&next", "z"}), read(100, 0));
    std::string many(66000, '\n');
    for (size_t i = 0; i < many.size(); i += 2)
        many[i] = 'x';
    ASSERT_TRUE(open(many));
    EXPECT_EQ(32767, CountLines()) << "counts saturate";
}

/* /dev/zero never ends and the open of a pipe without a writer never returns:
 * either would stall the reader (the alarm ends the suite then). */
TEST_F(Desc, OnlyRegularFilesBelow16MiBAreOpenedOrIncluded)
{
    alarm(20);
    file("kernel/big.vtn", "big\n");
    ASSERT_EQ(0, truncate((dir / "kernel/big.vtn").c_str(), (1 << 24) - 1));
    file("kernel/huge.vtn", "huge\n");
    ASSERT_EQ(0, truncate((dir / "kernel/huge.vtn").c_str(), 1 << 24));
    ASSERT_EQ(0, mkfifo((dir / "kernel/pipe.vtn").c_str(), 0644));
    ASSERT_EQ(0, mkdir((dir / "kernel/sub.vtn").c_str(), 0755));
    ASSERT_TRUE(open("&&big.vtn\n&&huge.vtn\none\n&&/dev/zero\n&&pipe.vtn\ntwo\n&&sub.vtn\nthree\n"));
    EXPECT_EQ(Lines({"big", "one", "two", "three"}), read()) << "each include but the first is skipped";
    for (const char *name : {"./absent.vtn", "huge.vtn", "/dev/zero", "pipe.vtn", "sub.vtn"})
        EXPECT_FALSE(DescOpen(name)) << name;
    alarm(0);
    EXPECT_EQ(0u, alerts.count());
    char buf[500];
    EXPECT_TRUE(GetLine(buf) == NULL && mGetLine(buf, 1) == NULL) << "a failed open reads as the end";
    EXPECT_EQ(-1, FindLine("x"));
    EXPECT_EQ(0, CountLines());
    EXPECT_EQ(-1, DescSeek(0));
    EXPECT_TRUE(DescEof());
}

} // namespace
