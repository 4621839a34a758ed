/* The widest line of a text file, measured in the toolkit's current font
 * inside a live toolkit. */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <string>
#include <sys/stat.h>

#include "support.h"
#include "utility.h"

namespace {

short widthOf(const std::string &line)
{
    return Nlm_StringWidth((line + "\n").c_str());
}

short measure(const vt::ScratchDir &dir, const std::string &text)
{
    vt::WriteFile(dir / "t.txt", text);
    return FileLineMaxWidth((dir / "t.txt").c_str());
}

/* A pipe without a writer would block the open, a device never ends. */
TEST(FileLineMaxWidth, IsZeroForNothingToMeasure)
{
    vt::ScratchDir dir;
    ASSERT_EQ(0, mkfifo((dir / "pipe").c_str(), 0644));
    for (const std::string &path : {dir / "absent.txt", dir / "pipe", std::string("/dev/zero"), dir.path()})
        EXPECT_EQ(0, FileLineMaxWidth(path.c_str())) << path;
    EXPECT_EQ(0, measure(dir, ""));
    EXPECT_EQ(0, measure(dir, "\n\n\n"));
}

TEST(FileLineMaxWidth, TakesTheWidestLineWithItsNewline)
{
    vt::ScratchDir dir;
    ASSERT_GT(widthOf("wwwwww"), widthOf("iii"));
    EXPECT_EQ(widthOf("wwwwww"), measure(dir, "iii\n\nwwwwww\nab\n"));
    EXPECT_EQ(widthOf("wwwwww"), measure(dir, "iii\nwwwwww")) << "a last line without a newline";
    EXPECT_EQ(widthOf("x"), measure(dir, "\nx"));
}

TEST(FileLineMaxWidth, MeasuresTheFirst998CharactersOfALongerLine)
{
    vt::ScratchDir dir;
    const std::string head(998, 'm');
    ASSERT_GT(widthOf(head), widthOf(std::string(500, 'm')));
    EXPECT_EQ(widthOf(head), measure(dir, head + std::string(1500, 'm') + "\nshort\n"));
}

} // namespace
