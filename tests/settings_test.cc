/* The settings store on a real .vartenarc read and written by the toolkit
 * (reads, references, conventions, limits, cycles, writes), and the message
 * texts of [KernelErrors] shown by Warning. */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <cstring>
#include <string>
#include <unistd.h>

#include "internal.h"
#include "support.h"

namespace {

typedef std::vector<std::string> Texts;

std::string alert(const char *section, const char *key, const char *tail)
{
    return std::string("Settings file 'vartena', section '") + section + "', key '" + key + "': " + tail;
}

std::string transln(const char *section, const char *key)
{
    return std::string("Settings file 'vartena',\nsection '") + section + "',\nkey '" + key +
           "'\ncontains a reference to undefined value";
}

std::string str(const char *s)
{
    return s != NULL ? s : "(null)";
}

/* [section] K1 .. Kkeys, each referring fanOut times to the next; the last
 * is a single backquote. */
std::string chain(const char *section, int keys, int fanOut)
{
    std::string rc = std::string("[") + section + "]\n";
    for (int i = 1; i < keys; i++) {
        rc += "K" + std::to_string(i) + "=";
        for (int n = 0; n < fanOut; n++)
            rc += std::string("$(") + section + ".K" + std::to_string(i + 1) + ")";
        rc += "\n";
    }
    return rc + "K" + std::to_string(keys) + "=`\n";
}

const std::string V(240, 'v'), U(240, 'u');

/* A scratch directory whose .vartenarc holds rc, and the alerts shown. */
struct Store {
    explicit Store(const std::string &rc) : dir(rc) {}
    vt::ScratchDir dir;
    vt::AlertLog alerts;
};

const std::string Errors =
    "[KernelErrors]\nTRANSLN=Settings file '%s',~section '%s',~key '%s'~contains a reference to undefined value\n"
    "_NoMemory=cannot allocate memory\nED_MEM=Editor:~$(KernelErrors._NoMemory)\n"
    "ED_BAD=Editor %s:~$(KernelErrors._Gone) %s\nPLAIN=%s and %i\nLONG=%s%s\n";

const std::string Rc = Errors +
    "[Files]\nNAMES1.2=n12\nFORMAT=vart%04x\nP=%s-$(Files.N)\nN=%d\nF=%s%s\n[A]\nB=ab\nQ=`\nE=\nBQ=$`(X.Y)\nV=" + V + "\nU=" + U + "\n[X]\nY=xy\n"
    "[Paths]\nKERNEL=/opt/v/\nKERNEL=/second/\n"
    "[S]\nNAMES=$(Files.NAMES1.2)\nDOLLARS=$$(A.B)\nBROKEN=$ (A.B)$(.K)$(S.)$(S)$(A.B\nPAREN=$(A) and $(B.C)\n"
    "CASE=$(paths.kernel)\nBLANK=$( Paths.KERNEL)\nQUOTE=`\nTOQUOTE=[$(A.Q)]\nTOEMPTY=$(A.E)\nBQ=$`(X.Y)\n"
    "TOBQ=<$(A.BQ)>\nTILDE=a~b`c\nEMPTY=\nSELF=$(S.SELF)\nGROW=x$(S.GROW)\nC1=1$(S.C2)\nC2=2$(S.C3)\nC3=3$(S.C1)\n"
    "WRAP=$(A.Q)$(A.Q)\nAFTER=$(S.WRAP)$(C.K3)\nLONG=$(A.V)$(A.U)$(A.V)\nLINES=$(A.V)~$(A.U)~$(A.V)\n" +
    chain("C", REF_MAX_NESTING + 2, 1) + chain("F", 12, 2) + "K9X=$(F.K9)\n";

TEST(SettingsRead, ReferencesConventionsBoundsFailuresAndFormatting)
{
    struct {
        const char *section, *key;
        std::string result, alert;
    } cases[] = {
        {"S", "NAMES", "n12", ""},
        {"S", "DOLLARS", "$ab", ""},
        {"S", "BROKEN", "$ (A.B)$(.K)$(S.)$(S)$(A.B", ""},
        {"S", "PAREN", "(null)", transln("S", "PAREN")},
        {"s", "case", "/opt/v/", ""},
        {"S", "BLANK", "(null)", transln("S", "BLANK")},
        {"S", "QUOTE", "", ""},
        {"S", "TOQUOTE", "[]", ""},
        {"S", "TOEMPTY", "(null)", transln("S", "TOEMPTY")},
        {"S", "BQ", "$(X.Y)", ""},
        {"S", "TOBQ", "<xy>", ""},
        {"S", "TILDE", "a\nbc", ""},
        {"S", "EMPTY", "(null)", alert("S", "EMPTY", "not found")},
        {"S", "NONE", "(null)", alert("S", "NONE", "not found")},
        {"NONE", "NAMES", "(null)", alert("NONE", "NAMES", "not found")},
        {"S", "SELF", "(null)", alert("S", "SELF", "references nest too deeply")},
        {"S", "GROW", "(null)", alert("S", "GROW", "references nest too deeply")},
        {"S", "C1", "(null)", alert("S", "C1", "references nest too deeply")},
        {"C", "K2", "", ""}, /* REF_MAX_NESTING references one inside the other */
        {"C", "K1", "(null)", alert("C", "K1", "references nest too deeply")},
        {"S", "AFTER", "", ""}, /* values expanded to nothing end where they stood */
        {"F", "K9X", "", ""},   /* fans out to 8 empty values */
        {"F", "K1", "(null)", alert("F", "K1", "references nest too deeply")}, /* 2048 */
        {"S", "LONG", V + U + V.substr(0, 19), ""},
        {"S", "LINES", V + "\n" + U + "\n" + V.substr(0, 17), ""},
    };

    Store s(Rc);
    for (auto &c : cases) {
        for (int formatted = 0; formatted < 2; formatted++) {
            s.alerts.clear();
            strcpy(ParBuf, "keep");
            char *result = formatted ? GetParam(c.section, c.key) : GetParamString(c.section, c.key);
            EXPECT_EQ(c.result, str(result)) << c.section << "." << c.key;
            EXPECT_EQ(c.alert.empty() ? Texts() : Texts{c.alert}, s.alerts.texts()) << c.key;
            if (formatted == 1 && result == NULL) {
                EXPECT_STREQ("keep", ParBuf) << "a failed GetParam leaves ParBuf alone";
            }
        }
    }

    /* formatting follows expansion and is cut at 499 */
    s.alerts.clear();
    std::string a(300, 'a'), b(300, 'b');
    EXPECT_EQ("vart0001", str(GetParam("Files", "FORMAT", 1)));
    EXPECT_EQ("vart0001-7", str(GetParam("Files", "P", ParBuf, 7))) << "ParBuf may be an argument";
    EXPECT_EQ(a + b.substr(0, 199), str(GetParam("Files", "F", a.c_str(), b.c_str())));
    EXPECT_EQ(0u, s.alerts.count());
}

TEST(SettingsRead, AppendExpandsTheWholeBuffer)
{
    std::string rc;
    for (size_t i = 0; SetData[i] != NULL; i++)
        rc += std::string(SetData[i]) + "\n";
    Store s(rc + "[X]\nL=- cannot load.~\n");
    strcpy(ParBuf, "x.so");
    EXPECT_EQ("x.so- cannot load.\n", str(GetParamAppend("X", "L")));
    strcpy(ParBuf, "$(Extensions.C)`~");
    EXPECT_EQ(".c\n- cannot load.\n", str(GetParamAppend("KernelErrors", "LIBLOAD")));
    memset(ParBuf, 'p', 499);
    EXPECT_EQ(std::string(499, 'p'), str(GetParamAppend("X", "L"))) << "a full buffer still finds the key";
    EXPECT_EQ(NULL, GetParamAppend("X", "NONE"));
    EXPECT_EQ(std::string(499, 'p'), ParBuf);
    EXPECT_EQ(Texts{alert("X", "NONE", "not found")}, s.alerts.texts());
}

TEST(Translate, CutsAtAFailureAndNeverWritesPastItsSize)
{
    Store s(Rc);
    char text[PARBUF_SIZE] = "pre~$(A.B)`$(A) and $(B.C) tail";
    EXPECT_FALSE(Translate(text, NULL, NULL));
    EXPECT_STREQ("pre\nab$(A) and $(B", text);
    strcpy(text, "a~$(A.B)`");
    EXPECT_TRUE(TranslateRef(text, "S", "K"));
    EXPECT_STREQ("a~ab`", text);
    EXPECT_EQ(NULL, RemoveEmptyChars(text));
    EXPECT_STREQ("a~ab", text);
    memset(text, '#', 40);
    strcpy(text, "<$(A.V)>");
    EXPECT_TRUE(TranslateBuf(text, 20, "S", "K"));
    EXPECT_EQ("<" + V.substr(0, 18), std::string(text));
    EXPECT_EQ(std::string(20, '#'), std::string(text + 20, 20));
    memset(text, 'u', 40);
    EXPECT_TRUE(TranslateBuf(text, 10, "S", "K"));
    EXPECT_EQ(std::string(9, 'u'), std::string(text)) << "an unterminated text is cut";
    EXPECT_EQ(Texts{transln("", "")}, s.alerts.texts());
}

TEST(SettingsWrite, NewlinesBecomeTildesAndEveryChangeIsOnDisk)
{
    Store s(Errors + "[Paths]\nKERNEL=/opt/v/\nINCLUDE=$(Paths.KERNEL)\n[Gone]\nX=1\n");
    char value[] = "a\nb", empty[] = "";
    EXPECT_TRUE(SetParam("Paths", "K", value));
    EXPECT_STREQ("a~b", value);
    EXPECT_TRUE(SetParam("Paths", "KERNEL", empty));
    EXPECT_TRUE(SetParam("Gone", NULL, NULL));
    EXPECT_FALSE(SetParam("Gone", NULL, NULL));
    EXPECT_FALSE(SetParam("", "K", value));
    vt::DropSettingsCache();
    EXPECT_EQ(Errors + "\n[Paths]\nKERNEL=\nINCLUDE=$(Paths.KERNEL)\nK=a~b\n\n", vt::ReadFile(".vartenarc"));
    EXPECT_EQ("a\nb", str(GetParamString("Paths", "K")));
    EXPECT_EQ(NULL, GetParam("Paths", "INCLUDE"));
    EXPECT_EQ(Texts{transln("Paths", "INCLUDE")}, s.alerts.texts());
    EXPECT_TRUE(GetConfigFilePath());
    ASSERT_EQ(0, unlink(".vartenarc"));
    EXPECT_FALSE(GetConfigFilePath()) << "the settings file is looked for in the current directory";
}

/* The toolkit's reader ends a line at a carriage return and at its line
 * limit: a raw one, or the rest of a long value, could open a section. */
TEST(SettingsWrite, ACarriageReturnOrAnOverlongValueCannotOpenASection)
{
    const struct {
        std::string value, afterSet, read;
    } cases[] = {{"a\r\nb\r[Evil]\rNEXT=x\r", "a~b~[Evil]~NEXT=x~", "a\nb\n[Evil]\nNEXT=x\n"},
                 {std::string(253, 'c') + "[Evil]", std::string(253, 'c') + "[Evil]", std::string(253, 'c')}};
    for (const auto &c : cases) {
        Store s("[S]\nK=old\nNEXT=n\n");
        std::string value = c.value;
        EXPECT_TRUE(SetParam("S", "K", &value[0]));
        EXPECT_EQ(c.afterSet, value.c_str());
        vt::DropSettingsCache();
        EXPECT_EQ(c.read, str(GetParamString("S", "K")));
        EXPECT_EQ("n", str(GetParamString("S", "NEXT")));
        EXPECT_EQ(NULL, GetParamString("Evil", "NEXT"));
        EXPECT_EQ(Texts{alert("Evil", "NEXT", "not found")}, s.alerts.texts());
    }
}

/* The TRANSLN alert raised while ED_BAD is expanded leaves that message in
 * progress alone; a "%d" argument is shown as it stands; a missing text
 * shows nothing. */
TEST(Warning, ShowsTheExpandedTextFormattedOnceAndCutAt499)
{
    Store s(Errors);
    std::string a(300, 'a'), b(300, 'b');
    EXPECT_TRUE(Warning("TRANSLN", "vartena", "Compiler", "MAKERHS"));
    EXPECT_TRUE(Warning("ED_MEM"));
    EXPECT_TRUE(Warning("PLAIN", "%d", 5));
    EXPECT_TRUE(Warning("LONG", a.c_str(), b.c_str()));
    EXPECT_TRUE(Warning("ED_BAD", "one", "two"));
    EXPECT_TRUE(Warning("NOSUCHKEY", 1)) << "a missing text shows nothing";
    EXPECT_TRUE(Warning(NULL));
    EXPECT_EQ((Texts{transln("Compiler", "MAKERHS"), "Editor:\ncannot allocate memory", "%d and 5",
                     a + b.substr(0, 199), transln("KernelErrors", "ED_BAD"), "Editor one:\n$(KernelErrors"}),
              s.alerts.texts());

    s.alerts.clear();
    vt::WriteFile(".vartenarc", "[KernelErrors]\nTRANSLN=%s %s %s: $(X.Y)\nM=m $(X.Z)\n");
    vt::DropSettingsCache();
    EXPECT_TRUE(Warning("M"));
    EXPECT_EQ((Texts{"vartena KernelErrors M: $(X", "m $(X"}), s.alerts.texts())
        << "a TRANSLN text with an undefined reference ends the nesting";
}

} // namespace
