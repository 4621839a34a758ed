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

/* A change rewrites its own line only, and only with what the toolkit's
 * reader gives back; the rest of the file stays byte for byte. */
TEST(SettingsWrite, ChangesTheirLineOnlyAndRefuseWhatTheFileCannotHold)
{
    const std::string rc = "; top\n[Paths]\nKERNEL=/opt/v/\nINCLUDE=$(Paths.KERNEL)\n[Gone]\nX=1\n; next\n[Last]\nA=1";
    const std::string head = "; top\n[Paths]\nKERNEL=/opt/v/\nINCLUDE=$(Paths.KERNEL)\n", tail = "[Gone]\nX=1\n; next\n[Last]\nA=1";
    const std::string fits(255 - 2, 'c'), tooLong = fits + "c";
    const char *kNull = "(null)";
    const struct {
        const char *section, *key;
        std::string value;
        bool ok;
        std::string file, alert;
    } cases[] = {
        {"Paths", "KERNEL", "", true, "; top\n[Paths]\nKERNEL=\nINCLUDE=$(Paths.KERNEL)\n" + tail, ""},
        {"paths", "K", "a\r\nb\r[Evil]\n", true, head + "K=a~b~[Evil]~\n" + tail, ""},
        {"Gone", NULL, kNull, true, head + "; next\n[Last]\nA=1", ""},
        {"Missing", NULL, kNull, false, rc, ""},
        {"", "K", "v", false, rc, ""},
        {"Paths", "KERNEL", kNull, true, "; top\n[Paths]\nINCLUDE=$(Paths.KERNEL)\n" + tail, ""},
        {"Paths", "NONE", kNull, true, rc, ""},
        {"Last", "B", "2", true, rc + "\nB=2\n", ""},
        {"New", "K", fits, true, rc + "\n[New]\nK=" + fits + "\n", ""},
        {"New", "K", tooLong, false, rc, alert("New", "K", "the value is too long for a settings line")},
        {"S", "a=b", "v", false, rc, alert("S", "a=b", "the name cannot be stored")},
        {"S]", "K", "v", false, rc, alert("S]", "K", "the name cannot be stored")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.section) + "." + str(c.key) + "=" + c.value);
        Store s(rc);
        std::string value = c.value;
        EXPECT_EQ(c.ok, SetParam(c.section, c.key, value == kNull ? NULL : &value[0]) != 0);
        EXPECT_EQ(c.file, vt::ReadFile(".vartenarc"));
        EXPECT_EQ(c.alert.empty() ? Texts() : Texts{c.alert}, s.alerts.texts());
    }
    Store s(rc);
    char value[] = "a\nb";
    ASSERT_TRUE(SetParam("Paths", "K", value));
    EXPECT_STREQ("a~b", value) << "the caller's string holds what is stored";
    EXPECT_EQ("a\nb", str(GetParamString("Paths", "K"))) << "the change is read at once";
    EXPECT_EQ("/opt/v/", str(GetParamString("Paths", "INCLUDE")));
    EXPECT_TRUE(GetConfigFilePath());
    ASSERT_EQ(0, unlink(".vartenarc"));
    EXPECT_FALSE(GetConfigFilePath()) << "the settings file is looked for in the current directory";
}

/* Whatever stands under the settings file's name, and whatever the
 * environment says: no hang, no write through a link, nothing outside
 * the working directory's file read or touched, a failed write reported
 * with the file as it was. */
TEST(SettingsWrite, SpecialFilesLinksEnvironmentAndFailedWrites)
{
    const std::string notRegular = "Settings file './.vartenarc': not a regular file";
    const struct {
        const char *name;
        std::string make; /* shell commands run in the scratch directory */
        const char *read; /* [A] B after the change, NULL when refused */
        Texts alerts;
        std::string after; /* shell test that must hold afterwards */
        long sizeLimit;   /* bytes a file may grow to, 0 for no limit */
    } cases[] = {
        {"pipe", "rm .vartenarc; mkfifo .vartenarc", NULL, {notRegular, notRegular}, "test -p .vartenarc", 0},
        {"device", "rm .vartenarc; ln -s /dev/zero .vartenarc", NULL, {notRegular, notRegular},
         "test -L .vartenarc", 0},
        {"directory", "rm .vartenarc; mkdir .vartenarc", NULL, {notRegular, notRegular}, "test -d .vartenarc", 0},
        {"link", "printf '[A]\\nB=theirs\\n' > theirs; chmod 600 theirs; rm .vartenarc; ln -s theirs .vartenarc",
         "theirs", {},
         "test ! -L .vartenarc && test \"$(stat -c %a .vartenarc)\" = 600 && test \"$(cat theirs)\" = \"$(printf '[A]\\nB=theirs')\"",
         0},
        {"dangling link", "rm .vartenarc; ln -s nowhere/rc .vartenarc", "(null)", {alert("A", "B", "not found")},
         "test -f .vartenarc && test ! -L .vartenarc && test ! -e nowhere", 0},
        {"local file skipped by the toolkit's variable",
         "mkdir shared; printf '[A]\\nB=shared\\n' > shared/vartenarc; printf '[A]\\nB=local\\n' > .vartenarc",
         "local", {}, "grep -qx C=1 .vartenarc && test \"$(cat shared/vartenarc)\" = \"$(printf '[A]\\nB=shared')\"", 0},
        {"file-size limit", "printf '[A]\\nB=old\\n' > .vartenarc", "old", {"Cannot write file './.vartenarc'"},
         "test \"$(cat .vartenarc)\" = \"$(printf '[A]\\nB=old')\" && test -z \"$(ls -A | grep -v '^.vartenarc$')\"", 12},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Store s("");
        ASSERT_EQ(0, vt::Shell(c.make));
        vt::EnvSetting skip("NCBI_DONT_USE_LOCAL_CONFIG", "1"), shared("NCBI", s.dir / "shared");
        vt::DropSettingsCache();
        char value[] = "1";
        vt::FileSizeLimit limit(c.sizeLimit);
        EXPECT_EQ(c.read != NULL && c.sizeLimit == 0, SetParam("A", "C", value) != 0);
        EXPECT_EQ(c.read != NULL ? c.read : "(null)", str(GetParamString("A", "B")));
        EXPECT_EQ(c.alerts, s.alerts.texts());
        EXPECT_EQ(0, vt::Shell(c.after)) << c.after;
        EXPECT_STREQ("1", getenv("NCBI_DONT_USE_LOCAL_CONFIG")) << "the environment is left as it was";
    }
}

/* A value holding "%n" would write through an argument nobody passed. */
TEST(SettingsRead, APercentNDirectiveIsRefused)
{
    Store s("[A]\nN=x%n\nNN=x%%n %5.2lf\nSTAR=%-*.*s|\n");
    EXPECT_EQ(NULL, GetParam("A", "N"));
    EXPECT_EQ("x%n  1.50", str(GetParam("A", "NN", 1.5)));
    EXPECT_EQ("ab |", str(GetParam("A", "STAR", 3, 2, "abc")));
    EXPECT_EQ(Texts{alert("A", "N", "a %n directive is not allowed")}, s.alerts.texts());
    char letters[8];
    EXPECT_EQ(5, FormatDirectives("%1$s %% %*.*d %l", letters, sizeof letters));
    EXPECT_STREQ("s**d%", letters);
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
