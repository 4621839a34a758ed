/* The text descriptor on description files that each test writes into its
 * own scratch directory, with KERNEL naming the directory "kernel/". */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <cstring>
#include <dirent.h>
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
    std::string next()
    {
        char buf[500];
        return GetLine(buf) != NULL ? buf : "(end)";
    }
    /* The remaining lines, by GetLine, or by mGetLine of a column >= 0. */
    Lines rest(short column = -1)
    {
        Lines out;
        char buf[500];
        for (char *got; out.size() < 100 && (got = column < 0 ? GetLine(buf) : mGetLine(buf, column)) != NULL;)
            out.push_back(got);
        return out;
    }
};

size_t openFiles()
{
    size_t n = 0;
    DIR *d = opendir("/proc/self/fd");
    while (d != NULL && readdir(d) != NULL)
        n++;
    closedir(d);
    return n;
}

TEST_F(Desc, LinesAreCutAtTheCommentTrimmedSkippedWhenEmptyAndExpanded)
{
    ASSERT_TRUE(open("\n   \n! note\n\t \x1a\r\n"));
    EXPECT_FALSE(DescEof());
    EXPECT_EQ(Lines(), rest());
    EXPECT_TRUE(DescEof());
    ASSERT_TRUE(open("   abc   ! note\n!only\nxyz\x1a\n$(T.A)-~`x\n``\npre $(T.NONE) post\nlast"));
    EXPECT_EQ(Lines({"abc", "xyz", "alpha-\nx", "", "pre $(T", "last"}), rest());
    EXPECT_TRUE(DescEof()) << "the last line had no newline";
    EXPECT_EQ(Lines({"undefined in 'vartena'"}), alerts.texts());
}

TEST_F(Desc, LongLinesComeInPiecesOf349AndExpandWithinTheBuffer)
{
    std::string line;
    for (int i = 0; i < 400; i++)
        line += static_cast<char>('a' + i % 26);
    ASSERT_TRUE(open(line + "\n"));
    EXPECT_EQ(Lines({line.substr(0, 349), line.substr(349)}), rest());
    settings("[L]\nV=" + std::string(200, 'v') + "\n");
    const std::string grows = std::string(100, 'p') + "$(L.V)$(L.V)\n";
    ASSERT_TRUE(open(grows + grows + "&h\n"));
    EXPECT_EQ(2, CountLines()) << "the module's own buffers hold the line cut too";
    char buf[500];
    for (short column : {-1, 0}) {
        memset(buf, 'Z', sizeof buf);
        ASSERT_EQ(buf, column < 0 ? GetLine(buf) : mGetLine(buf, column));
        EXPECT_EQ(std::string(100, 'p') + std::string(249, 'v'), buf);
        EXPECT_EQ(std::string(150, 'Z'), std::string(buf + 350, 150)) << "written past 350 bytes";
    }
}

TEST_F(Desc, PlainNamesResolveThroughKernelOrNotAtAll)
{
    file("kernel/main.vtn", "k\n");
    strcpy(ParBuf, "main.vtn");
    ASSERT_TRUE(DescOpen(ParBuf));
    EXPECT_EQ(dir.path() + "/kernel/main.vtn", ParBuf);
    EXPECT_EQ(Lines({"k"}), rest());
    EXPECT_EQ(0u, alerts.count());
    settings("");
    EXPECT_FALSE(DescOpen("main.vtn"));
    EXPECT_EQ(Lines({"Settings file 'vartena', section 'Paths', key 'KERNEL': not found"}), alerts.texts());
    EXPECT_STREQ("main.vtn", ParBuf) << "the name as given stays for the caller's message";
    EXPECT_TRUE(DescOpen("./kernel/main.vtn")) << "a name with a slash needs no KERNEL";
    mkdir((dir / "p%sq").c_str(), 0755);
    file("p%sq/m.vtn", "pct\n");
    settings("[Paths]\nKERNEL=" + dir.path() + "/p%sq/\n");
    EXPECT_TRUE(DescOpen("m.vtn")) << "KERNEL is no printf format";
}

TEST_F(Desc, AResolvedNameHoldsAtMost499Characters)
{
    std::string kernel = dir.path() + "/" + std::string(488 - dir.path().size(), 'k') + "/";
    settings("[Paths]\nKERNEL=$(T.K1)$(T.K2)\n[T]\nK1=" + kernel.substr(0, 245) + "\nK2=" + kernel.substr(245) + "\n");
    EXPECT_FALSE(DescOpen("123456789"));
    EXPECT_EQ(kernel + "123456789", ParBuf) << "499 characters resolve (no such file)";
    EXPECT_FALSE(DescOpen("1234567890"));
    EXPECT_STREQ("1234567890", ParBuf);
    EXPECT_EQ(0u, alerts.count());
}

TEST_F(Desc, IncludesGoTwoLevelsDeepAndReturnToTheIncluder)
{
    file("kernel/other.vtn", "o1\n&&./kernel/x.vtn\no2\n");
    file("kernel/x.vtn", "x1\n&&&missing.vtn\n");
    ASSERT_TRUE(open("a\n&&other.vtn\n&&missing.vtn\nb\n"));
    EXPECT_EQ(Lines({"a", "o1", "x1"}), Lines({next(), next(), next()}));
    EXPECT_FALSE(DescEof()) << "inside an included file";
    EXPECT_EQ(Lines({"&&&missing.vtn", "o2", "b"}), rest()) << "the third level is a line";
    EXPECT_TRUE(DescEof());
    EXPECT_EQ(0u, alerts.count());
    ASSERT_TRUE(open("x\n&&./d.vtn\ny\n"));
    EXPECT_EQ(Lines({"x", "x", "x", "&&./d.vtn", "y", "y", "y"}), rest());
}

TEST_F(Desc, FindLineFindsEachHeaderInTurnAndCountsComeBack)
{
    file("kernel/inc.vtn", "i1|\n\ni2\n");
    ASSERT_TRUE(open("&hierarchy\nh1\n&&inc.vtn\nh2\n&other\no\n&hierarchy\ns1 s2\n"));
    const int first = FindLine("&hierarchy");
    EXPECT_EQ(11, first);
    EXPECT_EQ(4, CountLines());
    EXPECT_EQ(3, mCountLines(1));
    EXPECT_EQ(Lines({"h1", "i1|"}), Lines({next(), next()}));
    EXPECT_GT(FindLine("&hierarchy"), first);
    EXPECT_EQ(Lines({"s1 s2"}), rest());
    EXPECT_EQ(-1, FindLine("&hierarchy"));
    EXPECT_TRUE(DescEof());
    EXPECT_EQ(0, DescSeek(first));
    EXPECT_EQ("h1", next());
    DescRewind();
    EXPECT_EQ("&hierarchy", next());
}

TEST_F(Desc, ACountBegunInAnIncludedFileStopsAtItsEnd)
{
    file("kernel/inc.vtn", "&h\ni1\ni2|\n");
    ASSERT_TRUE(open("&&inc.vtn\nm1\n&t\n"));
    const int pos = FindLine("&h");
    EXPECT_EQ((1 << 24) | 3, pos);
    EXPECT_EQ(2, CountLines());
    EXPECT_EQ(1, mCountLines(1));
    EXPECT_EQ(Lines({"i1", "i2|", "m1", "&t"}), rest());
    EXPECT_EQ(-1, DescSeek(pos)) << "that file is closed now";
    ASSERT_TRUE(open("a\nb\n"));
    EXPECT_EQ("a", next());
    EXPECT_EQ(-1, DescSeek(-1));
    EXPECT_EQ(-1, DescSeek(1 << 24));
    EXPECT_EQ(-1, DescSeek(127 << 24));
    EXPECT_EQ(Lines({"b"}), rest());
}

TEST_F(Desc, ColumnsSkipEmptyFieldsAndFallBackOnTheLastField)
{
    ASSERT_TRUE(open("&s\na | b\na\na |  | z\nx|y\n&t\n"));
    EXPECT_EQ(Lines({"&s", "b", "a", "y", "&t"}), rest(1));
    ASSERT_TRUE(open("a|b\nq|\nd\n&next|x\nz\n"));
    EXPECT_EQ(2, mCountLines(1));
    EXPECT_EQ(3, CountLines());
    EXPECT_EQ(Lines({"a", "q", "d", "&next", "z"}), rest(0));
    std::string many;
    for (int i = 0; i < 33000; i++)
        many += "x\n";
    ASSERT_TRUE(open(many));
    EXPECT_EQ(32767, CountLines()) << "counts saturate";
}

TEST_F(Desc, AFailedOpenReadsAsTheEndAndAnOpenClosesWhatWasOpen)
{
    ASSERT_FALSE(DescOpen("./absent.vtn"));
    char buf[500];
    EXPECT_EQ(NULL, GetLine(buf));
    EXPECT_EQ(NULL, mGetLine(buf, 1));
    EXPECT_EQ(-1, FindLine("x"));
    EXPECT_EQ(0, CountLines());
    EXPECT_EQ(-1, DescSeek(0));
    EXPECT_TRUE(DescEof());
    DescRewind();
    DescClose();
    file("kernel/i1.vtn", "&&i2.vtn\n");
    file("kernel/i2.vtn", "deep\n");
    const size_t before = openFiles();
    ASSERT_TRUE(open("&&i1.vtn\n"));
    EXPECT_EQ("deep", next());
    EXPECT_EQ(before + 3, openFiles());
    ASSERT_TRUE(DescOpen("./d.vtn"));
    EXPECT_EQ(before + 1, openFiles());
    DescClose();
    EXPECT_EQ(before, openFiles());
}

TEST_F(Desc, FilesOf16MiBOrMoreAreRefused)
{
    file("kernel/big.vtn", "big\n");
    ASSERT_EQ(0, truncate((dir / "kernel/big.vtn").c_str(), (1 << 24) - 1));
    ASSERT_TRUE(open("&&big.vtn\nend\n"));
    EXPECT_EQ(Lines({"big", "end"}), rest());
    ASSERT_EQ(0, truncate((dir / "kernel/big.vtn").c_str(), 1 << 24));
    DescRewind();
    EXPECT_EQ(Lines({"end"}), rest()) << "the include is skipped";
    EXPECT_FALSE(DescOpen("big.vtn"));
}

/* /dev/zero never ends and the open of a pipe without a writer never
 * returns: read as description files, either would stall the reader (the
 * alarm ends the suite then). */
TEST_F(Desc, OnlyRegularFilesAreOpenedSoNoDeviceOrPipeStallsTheReader)
{
    alarm(20);
    ASSERT_EQ(0, mkfifo((dir / "kernel/pipe.vtn").c_str(), 0644));
    ASSERT_EQ(0, mkdir((dir / "kernel/sub.vtn").c_str(), 0755));
    ASSERT_TRUE(open("&&/dev/zero\none\n&&pipe.vtn\ntwo\n&&sub.vtn\nthree\n"));
    EXPECT_EQ(Lines({"one", "two", "three"}), rest()) << "each include is skipped";
    EXPECT_FALSE(DescOpen("/dev/zero"));
    EXPECT_FALSE(DescOpen("pipe.vtn"));
    EXPECT_FALSE(DescOpen("sub.vtn"));
    EXPECT_EQ(0u, alerts.count());
    alarm(0);
}

} // namespace
