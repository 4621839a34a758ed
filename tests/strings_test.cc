#include <gtest/gtest.h>

#include "toolkit.h"

#include <cstring>
#include <string>

#include "utility.h"

namespace {

char *owned(const char *text)
{
    return Nlm_StringSave(text);
}

/* Runs StrSubstitute on a fresh owned copy of text and frees the result. */
std::string substitute(const char *text, const char *pat, const char *rep, bool wordStart,
                       short *count = NULL)
{
    char *s = StrSubstitute(owned(text), pat, rep, wordStart, count);
    std::string result = s;
    Nlm_MemFree(s);
    return result;
}

std::string insert(const char *text, short pos, const char *ins)
{
    char *s = StrInsert(owned(text), pos, ins);
    std::string result = s != NULL ? s : "(null)";
    Nlm_MemFree(s);
    return result;
}

std::string trimmed(const char *text)
{
    char buf[64];
    strcpy(buf, text);
    StrTrim(buf);
    return buf;
}

TEST(StrTrim, LeavesTheEmptyTextForBlanksOnly)
{
    EXPECT_EQ("", trimmed(""));
    EXPECT_EQ("", trimmed(" \t\r\n\x1a "));
}

TEST(StrTrim, StripsTheFiveBlanksAtBothEndsAndKeepsInnerOnes)
{
    EXPECT_EQ("abc", trimmed("abc"));
    EXPECT_EQ("a b\tc", trimmed("\t a b\tc \r\n"));
    EXPECT_EQ("x", trimmed("\x1ax\x1a"));
    EXPECT_EQ("a", trimmed("a     "));
}

TEST(StrSubstitute, NeverSearchesAReplacementAgain)
{
    short count = -1;
    EXPECT_EQ("bbbbbb", substitute("aaa", "a", "bb", false, &count));
    EXPECT_EQ(3, count);
    EXPECT_EQ("bbbbbb", substitute("aaa", "a", "bb", false, &count));
    EXPECT_EQ(3, count) << "the counter is reset on entry";
    EXPECT_EQ("xx", substitute("aaaa", "aa", "x", false));
    EXPECT_EQ("xx", substitute("x", "x", "xx", false, &count));
    EXPECT_EQ(1, count);
}

TEST(StrSubstitute, AtWordStartsLooksAtTheCharacterBeforeInTheCurrentString)
{
    EXPECT_EQ("y ax _y 1x", substitute("x ax _x 1x", "x", "y", true));
    EXPECT_EQ("ax", substitute("xx", "x", "a", true));
    EXPECT_EQ("\xe9y", substitute("\xe9x", "x", "y", true)) << "bytes above 0x7F are not word characters";
}

TEST(StrSubstitute, AbsentOrEmptyPatternGivesBackTheSamePointer)
{
    char *s = owned("abc");
    short count = -1;
    EXPECT_EQ(s, StrSubstitute(s, "z", "y", false, &count));
    EXPECT_EQ(0, count);
    EXPECT_EQ(s, StrSubstitute(s, "", "y", false, &count));
    EXPECT_EQ(0, count);
    EXPECT_STREQ("abc", s);
    Nlm_MemFree(s);
}

TEST(StrSubstitute, ReplacesByTheEmptyText)
{
    EXPECT_EQ("ac", substitute("abcb", "b", "", false));
}

TEST(StrInsert, InsertsInFrontInsideAndAtTheEnd)
{
    EXPECT_EQ("abXYcd", insert("abcd", 2, "XY"));
    EXPECT_EQ("XYabcd", insert("abcd", 0, "XY"));
    EXPECT_EQ("abcdXY", insert("abcd", 4, "XY"));
}

TEST(StrInsert, ClampsAPositionOutsideTheString)
{
    EXPECT_EQ("XYabcd", insert("abcd", -3, "XY"));
    EXPECT_EQ("abcdXY", insert("abcd", 200, "XY"));
}

} // namespace
