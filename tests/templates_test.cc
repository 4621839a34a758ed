/* The template tables against the files a fresh installation must write:
 * a missing comma silently joins two lines, so every table is compared
 * whole with its expected text. */
#include <gtest/gtest.h>

#include <string>

#include "toolkit.h"
#include "support.h"

namespace {

size_t countLines(const char *const *table)
{
    size_t n = 0;
    while (table[n] != NULL)
        n++;
    return n;
}

std::string joined(const char *const *table, size_t from = 0)
{
    std::string text;
    for (size_t i = from; table[i] != NULL; i++)
        text += std::string(table[i]) + "\n";
    return text;
}

std::string expected(const char *name)
{
    return vt::ReadFile(vt::DataDir() + "/" + name);
}

TEST(Templates, SettingsFileTemplateIsTheWholeFile)
{
    EXPECT_EQ(215u, countLines(SetData));
    EXPECT_EQ(expected("vartenarc.golden"), joined(SetData));
    for (size_t i = 0; SetData[i] != NULL; i++)
        EXPECT_LE(strlen(SetData[i]), 222u) << SetData[i];
}

TEST(Templates, InitResourceFileIs290LinesOf6451Bytes)
{
    EXPECT_EQ(290u, countLines(init));
    EXPECT_EQ(6451u, joined(init).size());
    EXPECT_EQ(expected("init.cpf.golden"), joined(init));
    EXPECT_STREQ("&archive", init[0]);
    EXPECT_STREQ("Courier-BoldOblique", init[289]);
}

TEST(Templates, CompileScriptsCarryAFirstLineOfBlanksThatIsNeverWritten)
{
    EXPECT_EQ(std::string("#! /bin/csh -f") + std::string(35, ' '), CompileRhs[0]);
    EXPECT_EQ(std::string("#! /bin/bash") + std::string(41, ' '), CompileRhsKsh[0]);
    EXPECT_EQ(expected("compile_csh.golden"), joined(CompileRhs, 1));
    EXPECT_EQ(expected("compile_ksh.golden"), joined(CompileRhsKsh, 1));
    EXPECT_EQ(countLines(CompileRhs), countLines(CompileRhsKsh));
}

TEST(Templates, HeaderAndPalette)
{
    EXPECT_EQ(expected("vtn_sys.table.golden"), joined(IncludeRhs));
    EXPECT_EQ(26u, countLines(Palette));
    EXPECT_EQ(expected("palette.cpf.golden"), joined(Palette));
}

} // namespace
