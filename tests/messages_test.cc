/* Warning: message texts from [KernelErrors], expanded, formatted and shown
 * as one alert each; the nested TRANSLN message keeps its own buffers. */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <string>

#include "support.h"

namespace {

const std::string Errors =
    "[KernelErrors]\n"
    "_NoMemory=cannot allocate memory\n"
    "TRANSLN=Settings file '%s',~section '%s',~key '%s'~contains a reference to undefined value\n"
    "ED_MEM=Editor:~$(KernelErrors._NoMemory)\n"
    "ED_BAD=Editor %s:~$(KernelErrors._Gone) %s\n"
    "PLAIN=%s and %i\n"
    "LONG=%s%s\n";

TEST(Warning, ShowsTheExpandedTextFormattedOnceAndCutAt499)
{
    vt::ScratchDir dir(Errors);
    vt::AlertLog alerts;
    EXPECT_TRUE(Warning("TRANSLN", "vartena", "Compiler", "MAKERHS"));
    EXPECT_TRUE(Warning("ED_MEM"));
    EXPECT_TRUE(Warning("PLAIN", "%d", 5));
    std::string a(300, 'a'), b(300, 'b');
    EXPECT_TRUE(Warning("LONG", a.c_str(), b.c_str()));
    EXPECT_EQ((std::vector<std::string>{"Settings file 'vartena',\nsection 'Compiler',\nkey 'MAKERHS'\n"
                                        "contains a reference to undefined value",
                                        "Editor:\ncannot allocate memory", "%d and 5", a + b.substr(0, 199)}),
              alerts.texts());
}

TEST(Warning, AMissingTextShowsNothing)
{
    vt::ScratchDir dir(Errors);
    vt::AlertLog alerts;
    EXPECT_TRUE(Warning("NOSUCHKEY", 1));
    EXPECT_TRUE(Warning(NULL));
    vt::WriteFile(".vartenarc", "[Other]\nTRANSLN=x\n");
    vt::DropSettingsCache();
    EXPECT_TRUE(Warning("TRANSLN", "vartena", "S", "K"));
    EXPECT_EQ(0u, alerts.count());
}

TEST(Warning, TheNestedTranslnLeavesTheMessageInProgressAlone)
{
    vt::ScratchDir dir(Errors);
    vt::AlertLog alerts;
    EXPECT_TRUE(Warning("ED_BAD", "one", "two"));
    EXPECT_EQ((std::vector<std::string>{"Settings file 'vartena',\nsection 'KernelErrors',\nkey 'ED_BAD'\n"
                                        "contains a reference to undefined value",
                                        "Editor one:\n$(KernelErrors"}),
              alerts.texts());
}

TEST(Warning, ATranslnTextWithAnUndefinedReferenceEnds)
{
    vt::ScratchDir dir("[KernelErrors]\nTRANSLN=%s %s %s: $(X.Y)\nM=m $(X.Z)\n");
    vt::AlertLog alerts;
    EXPECT_TRUE(Warning("M"));
    EXPECT_EQ((std::vector<std::string>{"vartena KernelErrors M: $(X", "m $(X"}), alerts.texts());
}

} // namespace
