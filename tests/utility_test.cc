/* The utility layer: string editing, the settings store and its message
 * texts, description files, the library registry, and the file, directory,
 * dialog, command and event services.  One table a behaviour. */
#include <gtest/gtest.h>

#include "harness.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using vt::Str;
using vt::Texts;

std::string setting(std::string section, std::string key, std::string tail)
{
    return "Settings file 'vartena', section '" + section + "', key '" + key + "': " + tail;
}
std::string transln(std::string section, std::string key)
{
    return "Settings file 'vartena',\nsection '" + section + "',\nkey '" + key + "'\ncontains a reference to undefined value";
}
/* The texts, "|" after each; the parts of a braced list are made in order. */
std::string join(const Texts &texts)
{
    std::string all;
    for (const std::string &t : texts)
        all += t + "|";
    return all;
}

TEST(Strings, TrimSubstituteInsertAndFormatDirectives)
{
    for (auto t : std::vector<std::pair<const char *, const char *>>{
             {"", ""}, {" \t\r\n\x1a ", ""}, {"abc", "abc"}, {"\t a b\tc \r\n", "a b\tc"}, {"\x1ax\x1a", "x"}}) {
        char buf[32];
        EXPECT_STREQ(t.second, (StrTrim(strcpy(buf, t.first)), buf));
    }
    const struct { const char *text, *pat, *rep; bool word; const char *out; short count; } subs[] = {
        {"aaa", "a", "bb", false, "bbbbbb", 3}, {"aaaa", "aa", "x", false, "xx", 2}, {"x", "x", "xx", false, "xx", 1},
        {"x ax _x 1x", "x", "y", true, "y ax _y 1x", 2}, {"xx", "x", "a", true, "ax", 1}, {"\xe9x", "x", "y", true, "\xe9y", 1},
        {"abcb", "b", "", false, "ac", 2}, {"abc", "z", "y", false, "abc", 0}, {"abc", "", "y", false, "abc", 0}};
    for (const auto &c : subs) {
        char *s = Nlm_StringSave(c.text);
        short n = -1;
        char *r = StrSubstitute(s, c.pat, c.rep, c.word, &n);
        EXPECT_EQ(c.out + std::to_string(c.count), r + std::to_string(n));
        EXPECT_TRUE(c.count > 0 || r == s) << "nothing replaced: the same pointer";
        Nlm_MemFree(r);
    }
    for (auto c : std::vector<std::pair<short, const char *>>{{2, "abXYcd"}, {0, "XYabcd"}, {4, "abcdXY"}, {-3, "XYabcd"}, {200, "abcdXY"}}) {
        char *r = StrInsert(Nlm_StringSave("abcd"), c.first, "XY");
        EXPECT_STREQ(c.second, r);
        Nlm_MemFree(r);
    }
    char letters[8];
    EXPECT_EQ("5|s**d%|", join({std::to_string(FormatDirectives("%1$s %% %*.*d %l", letters, sizeof letters)), letters}));
    EXPECT_EQ(0, FormatDirectives("100%% $(A.B)", letters, sizeof letters));
}

/* [section] K1 .. Kn, each referring fan times to the next; the last is "`". */
std::string chain(std::string section, int n, int fan)
{
    std::string rc = "[" + section + "]\n";
    for (int i = 1; i < n; i++)
        for (int k = 0; k <= fan; k++)
            rc += k == 0 ? "K" + std::to_string(i) + "=" : "$(" + section + ".K" + std::to_string(i + 1) + ")" + (k == fan ? "\n" : "");
    return rc + "K" + std::to_string(n) + "=`\n";
}

TEST(Settings, ReadsExpandFormatAndFailWithOneAlert)
{
    const std::string V(240, 'v'), U(240, 'u');
    vt::ScratchDir dir("[KernelErrors]\nTRANSLN=Settings file '%s',~section '%s',~key '%s'~contains a reference to undefined value\n"
                       "_NoMemory=cannot allocate memory\nED_MEM=Editor:~$(KernelErrors._NoMemory)\n"
                       "ED_BAD=Editor %s:~$(KernelErrors._Gone) %s\n[Files]\nN12=n12\nFORMAT=vart%04x\nP=%s-$(Files.N)\nN=%d\n"
                       "F=%s%s\n[A]\nB=ab\nQ=`\nE=\nBQ=$`(X.Y)\nV=" + V + "\nU=" + U + "\n[X]\nY=xy\n[Paths]\nKERNEL=/opt/v/\n"
                       "KERNEL=/second/\n[S]\nNAMES=$(Files.N12)\nDOLLARS=$$(A.B)\nBROKEN=$ (A.B)$(.K)$(S.)$(S)$(A.B\n"
                       "PAREN=$(A) and $(B.C)\nCASE=$(paths.kernel)\nBLANK=$( Paths.KERNEL)\nTOQUOTE=[$(A.Q)]\nTOEMPTY=$(A.E)\n"
                       "TOBQ=<$(A.BQ)>\nTILDE=a~b`c\nEMPTY=\nSELF=$(S.SELF)\nC1=1$(S.C2)\nC2=2$(S.C1)\nAFTER=$(A.Q)$(A.Q)$(C.K3)\n"
                       "LONG=$(A.V)$(A.U)$(A.V)\nLINES=$(A.V)~$(A.U)~$(A.V)\nN=x%n\n" +
                       chain("C", REF_MAX_NESTING + 2, 1) + chain("F", 12, 2) + "K9X=$(F.K9)\n");
    vt::AlertLog alerts;
    const std::string deep = "references nest too deeply";
    const struct { const char *section, *key; std::string result, alert; } cases[] = {
        {"S", "NAMES", "n12", ""}, {"S", "DOLLARS", "$ab", ""}, {"S", "BROKEN", "$ (A.B)$(.K)$(S.)$(S)$(A.B", ""},
        {"S", "PAREN", "(null)", transln("S", "PAREN")}, {"s", "case", "/opt/v/", ""}, {"S", "BLANK", "(null)", transln("S", "BLANK")},
        {"A", "Q", "", ""}, {"S", "TOQUOTE", "[]", ""}, {"S", "TOEMPTY", "(null)", transln("S", "TOEMPTY")}, {"A", "BQ", "$(X.Y)", ""},
        {"S", "TOBQ", "<xy>", ""}, {"S", "TILDE", "a\nbc", ""}, {"S", "EMPTY", "(null)", setting("S", "EMPTY", "not found")},
        {"NO", "K", "(null)", setting("NO", "K", "not found")}, {"S", "SELF", "(null)", setting("S", "SELF", deep)},
        {"S", "C1", "(null)", setting("S", "C1", deep)}, {"C", "K2", "", ""}, {"C", "K1", "(null)", setting("C", "K1", deep)},
        {"S", "AFTER", "", ""}, {"F", "K9X", "", ""}, {"F", "K1", "(null)", setting("F", "K1", deep)},
        {"S", "LONG", V + U + V.substr(0, 19), ""}, {"S", "LINES", V + "\n" + U + "\n" + V.substr(0, 17), ""}};
    for (const auto &c : cases)
        for (int formatted = 0; formatted < 2; formatted++) {
            alerts.clear();
            strcpy(ParBuf, "keep");
            std::string result = Str(formatted ? GetParam(c.section, c.key) : GetParamString(c.section, c.key));
            EXPECT_EQ(c.result + "|" + c.alert, result + "|" + (alerts.count() == 1 ? alerts.texts()[0] : "")) << c.key;
            EXPECT_TRUE(!formatted || result != "(null)" || strcmp(ParBuf, "keep") == 0) << "a failed GetParam";
        }
    alerts.clear();
    std::string a(300, 'a'), b(300, 'b');
    EXPECT_EQ("vart0001", Str(GetParam("Files", "FORMAT", 1)));
    EXPECT_EQ("vart0001-7", Str(GetParam("Files", "P", ParBuf, 7))) << "ParBuf may be an argument";
    EXPECT_EQ(a + b.substr(0, 199), Str(GetParam("Files", "F", a.c_str(), b.c_str())));
    EXPECT_EQ("(null) x%n", Str(GetParam("S", "N")) + " " + Str(GetParamString("S", "N")));
    strcpy(ParBuf, "x.so$(A.B)`~");
    EXPECT_EQ("x.soab\nxy", Str(GetParamAppend("X", "Y"))) << "the whole buffer is expanded";
    memset(ParBuf, 'p', 499);
    EXPECT_EQ(std::string(499, 'p'), Str(GetParamAppend("A", "B"))) << "a full buffer still finds the key";
    EXPECT_EQ(NULL, GetParamAppend("A", "NONE"));
    EXPECT_EQ(setting("S", "N", "a %n directive is not allowed|") + setting("A", "NONE", "not found|"), join(alerts.texts()));
    char text[PARBUF_SIZE] = "pre~$(A.B)`$(A) and $(B.C) tail";
    EXPECT_EQ("0|pre\nab$(A) and $(B|", join({std::to_string(Translate(text, NULL, NULL)), text}));
    EXPECT_EQ("1|a~ab`|", join({std::to_string(TranslateRef(strcpy(text, "a~$(A.B)`"), "S", "K")), text}));
    memset(text, '#', 40);
    EXPECT_TRUE(TranslateBuf(strcpy(text, "<$(A.V)>"), 20, "S", "K"));
    EXPECT_EQ("<" + V.substr(0, 18) + std::string(20, '#'), std::string(text) + std::string(text + 20, 20));
    alerts.clear();
    for (const char *key : {"TRANSLN", "ED_MEM", "ED_BAD", "NOSUCHKEY"})
        EXPECT_TRUE(Warning(key, "vartena", "%d", "MAKERHS"));
    EXPECT_EQ(transln("%d", "MAKERHS") + "|Editor:\ncannot allocate memory|" + transln("KernelErrors", "ED_BAD") +
              "|Editor vartena:\n$(KernelErrors|", join(alerts.texts())) << "nested TRANSLN; a missing text shows nothing";
}

/* A change rewrites its own line only; the rest stays byte for byte. */
TEST(Settings, WritesChangeTheirLineOnlyOrAreRefused)
{
    const std::string rc = "; top\n[Paths]\nKERNEL=/opt/v/\nINCLUDE=$(Paths.KERNEL)\nkernel = /later/\n[Gone]\nX=1\n[gone]\nX=2\n; next\n[Last]\nA=1";
    const std::string head = rc.substr(0, rc.find("[Gone]")), tail = rc.substr(head.size()), fits(253, 'c'),
                      name = "the name cannot be stored";
    /* section, key, value, result, file afterwards, alert, value read back (NULL: not read) */
    const struct { const char *section, *key, *value; bool ok; std::string file, alert; const char *read; } cases[] = {
        {"Paths", "KERNEL", "", true, "; top\n[Paths]\nKERNEL=\nINCLUDE=$(Paths.KERNEL)\nkernel = /later/\n" + tail, "", NULL},
        {"paths", "K", "a\r\nb\r[Evil]\n", true, head + "K=a~b~[Evil]~\n" + tail, "", "a\nb\n[Evil]\n"},
        {"Gone", NULL, NULL, true, head + "; next\n[Last]\nA=1", "", NULL}, /* both */ {"Missing", NULL, NULL, false, rc, "", NULL},
        {"", "K", "v", false, rc, "", NULL}, {"Paths", "NONE", NULL, true, rc, "", NULL},
        {"Paths", "KERNEL", NULL, true, "; top\n[Paths]\nINCLUDE=$(Paths.KERNEL)\n" + tail, "", "(null)"}, /* every line */
        {"Last", "B", "2", true, rc + "\nB=2\n", "", "2"}, {"New", "K", fits.c_str(), true, rc + "\n[New]\nK=" + fits + "\n", "", fits.c_str()},
        {"New", "K2", fits.c_str(), false, rc, setting("New", "K2", "the value is too long for a settings line"), NULL},
        {"S", "a=b", "v", false, rc, setting("S", "a=b", name), NULL}, {"S]", "K", "v", false, rc, setting("S]", "K", name), NULL}};
    for (const auto &c : cases) {
        vt::ScratchDir dir(rc);
        vt::AlertLog alerts;
        std::string value = Str(c.value);
        EXPECT_EQ(c.ok, SetParam(c.section, c.key, c.value != NULL ? &value[0] : NULL) != 0) << c.section << "." << Str(c.key);
        EXPECT_EQ(c.file + "|" + c.alert, vt::ReadFile(".vartenarc") + "|" + (alerts.count() ? alerts.texts()[0] : ""));
        EXPECT_TRUE(c.read == NULL || Str(c.read) == Str(GetParamString(c.section, c.key))) << "read at once";
        EXPECT_EQ(!c.alert.empty() + (Str(c.read) == "(null)" && c.read != NULL), alerts.count()) << "and no other alert";
    }
    std::string header = "[A]\nB=1\n[S";
    EXPECT_EQ(1, settingsEdit(header, "s", "K", "v"));
    EXPECT_EQ("[A]\nB=1\n[S]\nK=v\n", header) << "a header that ends the file keeps its name";
    vt::ScratchDir dir("[A]\n");
    vt::AlertLog alerts;
    EXPECT_TRUE(GetConfigFilePath());
    EXPECT_FALSE(unlink(".vartenarc") || GetConfigFilePath() || SetParamTransient(NULL, "K", "v") || SetParamTransient("A", NULL, "v"));
    EXPECT_TRUE(SyncWrittenFiles() && alerts.count() == 0) << "the files written above are gone with their directories";
}

/* Whatever stands under the settings file's name or holds its lock, whatever
 * the environment says: no hang, no write through a link, only the working
 * directory's file, no change lost among eight programs storing at once (with
 * flock, and without it, as on NFS without a lock manager). */
TEST(Settings, SpecialFilesLinksLocksAndEnvironment)
{
    const std::string odd = "Settings file './.vartenarc': not a regular file", ab = "printf '[A]\\nB=x\\n' >.vartenarc; ",
                      writers = ab + "for w in 1 2 3 4 5 6 7 8; do VART_STORE=w$w " + vt::SuitePath + " >out.$w 2>&1 & done; n=0; until "
                                "[ $(ls ready.* | wc -l) = 8 ] || [ $((n += 1)) = 2000 ]; do sleep 0.01; done 2>/dev/null; touch go; wait",
                      noFlock = "export ASAN_OPTIONS=\"$ASAN_OPTIONS:verify_asan_link_order=0\" LD_PRELOAD=" VART_FAULT_SHIM " VART_FAULT_FLOCK=1; ",
                      allStored = "[ $(grep -c '^w[1-8]_[0-9]*=v$' .vartenarc) = 400 ] && [ \"$(cat out.*)\" = \"$(yes '50 stored' | head -8)\" ]";
    const struct { std::string make; bool stored; const char *read; Texts alerts; std::string after; } cases[] = {
        {"mkfifo .vartenarc", false, NULL, {odd, odd}, "test -p .vartenarc"},
        {"ln -s /dev/zero .vartenarc", false, NULL, {odd, odd}, "test -L .vartenarc"},
        {"mkdir .vartenarc", false, NULL, {odd, odd}, "test -d .vartenarc"},
        {"printf '[A]\\nB=theirs\\n' >t; chmod 600 t; ln -s t .vartenarc", true, "theirs", {},
         "test ! -L .vartenarc && [ $(stat -c %a .vartenarc) = 600 ] && [ \"$(cat t)\" = \"$(printf '[A]\\nB=theirs')\" ]"},
        {"ln -s no/rc .vartenarc", true, "(null)", {setting("A", "B", "not found")}, "test -f .vartenarc -a ! -e no"},
        {"mkdir s; printf '[A]\\nB=s\\n' >s/vartenarc; printf '[A]\\nB=here\\n' >.vartenarc", true, "here", {}, /* NCBI=s, skip local */
         "grep -qx C=1 .vartenarc && [ \"$(cat s/vartenarc)\" = \"$(printf '[A]\\nB=s')\" ]"},
        {ab + "(flock .vartenarc.lock sh -c 'touch held; exec sleep 9' &); until [ -e held ]; do sleep 0.01; done", false, "x",
         {setting("A", "C", "another program held the lock './.vartenarc.lock' for 3 seconds")}, "! grep -q C= .vartenarc"},
        {ab + "flock .vartenarc.lock true", true, "x", {}, "grep -qx C=1 .vartenarc && test ! -e .vartenarc.lock"}, /* left by the dead */
        {writers, true, "x", {}, allStored},
        {ab + "sh -c 'echo $$ $(hostname)' >.vartenarc.lock; " + noFlock + writers.substr(ab.size()), true, "x", {}, allStored}};
    for (const auto &c : cases) {
        vt::ScratchDir dir;
        vt::AlertLog alerts;
        ASSERT_EQ(0, vt::Shell("rm .vartenarc; " + c.make));
        vt::EnvSetting skip("NCBI_DONT_USE_LOCAL_CONFIG", "1"), shared("NCBI", dir / "s");
        ReloadSettings();
        char value[] = "1";
        EXPECT_EQ(c.stored, SetParam("A", "C", value) != 0) << c.make;
        std::string read = Str(GetParamString("A", "B"));
        EXPECT_EQ(Str(c.read) + "|" + join(c.alerts), read + "|" + join(alerts.texts())) << c.make;
        EXPECT_EQ(0, vt::Shell(c.after)) << c.after;
    }
}

struct Desc : ::testing::Test {
    void SetUp() override { settings(""); }
    void TearDown() override { DescClose(); }
    void settings(const std::string &more)
    {
        vt::WriteFile(".vartenarc", "[Paths]\nKERNEL=" + dir_.path() + "/k/\n" + more + "[KernelErrors]\nTRANSLN=undefined in '%s'\n[T]\nA=alpha\n");
        ReloadSettings();
    }
    bool open(const std::string &text) { return vt::WriteFile(dir_ / "k/d.vtn", text), DescOpen("./k/d.vtn"); }
    /* Up to n lines, "|" after each, by GetLine or, for a column >= 0, mGetLine. */
    std::string read(size_t n = 100, short column = -1)
    {
        std::string out;
        char buf[500];
        for (char *got; n-- > 0 && (got = column < 0 ? GetLine(buf) : mGetLine(buf, column)) != NULL;)
            out += std::string(got) + "|";
        return out;
    }
    vt::ScratchDir dir_;
    vt::AlertLog alerts_;
    int made_ = mkdir((dir_ / "k").c_str(), 0755);
};

TEST_F(Desc, LinesAreCleanedExpandedAndCutToTheirBuffer)
{
    ASSERT_TRUE(open("\n   \n! note\n\t \x1a\r\n"));
    EXPECT_EQ("0||1|", join({std::to_string(DescEof()), read(), std::to_string(DescEof())}));
    ASSERT_TRUE(open("   abc   ! note\n!only\nxyz\x1a\n$(T.A)-~`x\n``\npre $(T.NONE) post\nlast"));
    EXPECT_EQ("abc|xyz|alpha-\nx||pre $(T|last||1|", join({read(), std::to_string(DescEof())}));
    EXPECT_EQ(Texts{"undefined in 'vartena'"}, alerts_.texts());
    ASSERT_TRUE(open(std::string(400, 'a') + "\n"));
    EXPECT_EQ(std::string(349, 'a') + "|" + std::string(51, 'a') + "|", read());
    settings("[L]\nV=" + std::string(200, 'v') + "\nW=" + std::string(150, 'w') + "\n");
    ASSERT_TRUE(open("$(L.V)$(L.W)\nx\n$(L.V)$(L.W)\n&h\n"));
    char buf[500];
    memset(buf, 'Z', sizeof buf);
    ASSERT_EQ(buf, GetLine(buf));
    EXPECT_EQ(std::string(200, 'v') + std::string(149, 'w') + "|" + std::string(150, 'Z'),
              std::string(buf) + "|" + std::string(buf + 350, 150)) << "nothing written past 350 bytes";
    EXPECT_EQ(2, CountLines()) << "the module's own buffers hold the line cut too";
    EXPECT_LT(0, FindLine(buf)) << "FindLine sees the line as GetLine gives it";
    EXPECT_EQ("&h|", read());
}

TEST_F(Desc, NamesResolveThroughKernelAndIncludesGoTwoLevelsDeep)
{
    vt::WriteFile(dir_ / "k/m.vtn", "k\n");
    vt::WriteFile(dir_ / "k/o.vtn", "o1\n&&./k/x.vtn\no2\n");
    vt::WriteFile(dir_ / "k/x.vtn", "x1\n&&&missing.vtn\n");
    EXPECT_TRUE(DescOpen(strcpy(ParBuf, "m.vtn")));
    EXPECT_EQ(dir_ / "k/m.vtn", ParBuf);
    ASSERT_TRUE(open("a\n&&missing.vtn\n&&o.vtn"));
    EXPECT_EQ("a|o1|x1||0|&&&missing.vtn|o2||1|", join({read(3), std::to_string(DescEof()), read(), std::to_string(DescEof())}))
        << "the third level is a line";
    vt::WriteFile(".vartenarc", "");
    ReloadSettings();
    EXPECT_FALSE(DescOpen("m.vtn"));
    EXPECT_STREQ("m.vtn", ParBuf) << "the name as given stays for the caller's message";
    EXPECT_EQ(Texts{setting("Paths", "KERNEL", "not found")}, alerts_.texts());
}

TEST_F(Desc, FindCountSeekAndColumns)
{
    vt::WriteFile(dir_ / "k/inc.vtn", "i1|\n\ni2\n");
    ASSERT_TRUE(open("&hierarchy\nh1\n&&inc.vtn\nh2\n&other\no\n&hierarchy\ns1 s2\n"));
    const int first = FindLine("&hierarchy");
    EXPECT_EQ("4|3|h1|i1|||", join({std::to_string(CountLines()), std::to_string(mCountLines(1)), read(2)}));
    EXPECT_GT(FindLine("&hierarchy"), first);
    EXPECT_EQ("s1 s2||-1|0|", join({read(), std::to_string(FindLine("&hierarchy")), std::to_string(DescSeek(first))}));
    EXPECT_EQ("h1|", read(1));
    DescRewind();
    EXPECT_EQ("&hierarchy|", read(1));
    vt::WriteFile(dir_ / "k/inc.vtn", "&h\ni1\ni2|\n");
    ASSERT_TRUE(open("&&inc.vtn\nm1\n&t\n"));
    const int pos = FindLine("&h");
    EXPECT_EQ("16777219|2|i1||", join({std::to_string(pos), std::to_string(CountLines()), read(1)}));
    for (int bad : {-1, 2 << 24, 127 << 24})
        EXPECT_EQ(-1, DescSeek(bad)) << bad;
    EXPECT_EQ("i2||m1|&t||-1|", join({read(), std::to_string(DescSeek(pos))})) << "that file is closed now";
    ASSERT_TRUE(open("&s\na | b\na\na |  | z\nx|y\n&t\n"));
    EXPECT_EQ("&s|b|a|y|&t|", read(100, 1));
    ASSERT_TRUE(open("a|b\nq|\nd\n&next|x\nz\n"));
    EXPECT_EQ("2|3|", join({std::to_string(mCountLines(1)), std::to_string(CountLines())}));
    std::string many(66000, '\n');
    for (size_t i = 0; i < many.size(); i += 2)
        many[i] = 'x';
    ASSERT_TRUE(open(many));
    EXPECT_EQ(32767, CountLines()) << "counts saturate";
}

/* /dev/zero never ends and the open of a pipe without a writer never returns. */
TEST_F(Desc, OnlyRegularFilesBelow16MiBAreReadOrMeasured)
{
    alarm(20);
    ASSERT_EQ(0, vt::Shell("cd k && echo big >big.vtn && truncate -s 16777210 big.vtn && printf '\\nend\\n' >>big.vtn && "
                           "echo huge >huge.vtn && truncate -s 16777216 huge.vtn && mkfifo pipe.vtn && mkdir sub.vtn"));
    ASSERT_TRUE(open("&&big.vtn\n&&huge.vtn\none\n&&/dev/zero\n&&pipe.vtn\ntwo\n&&sub.vtn\nthree\n"));
    EXPECT_EQ("big|end|one|two|three|", read());
    EXPECT_TRUE(DescOpen("big.vtn") && FindLine("end") == 0xFFFFFF) << "a place at the end of the largest file";
    for (const char *name : {"./absent.vtn", "huge.vtn", "/dev/zero", "pipe.vtn", "sub.vtn"})
        EXPECT_FALSE(DescOpen(name)) << name;
    char buf[500];
    EXPECT_TRUE(GetLine(buf) == NULL && mGetLine(buf, 1) == NULL && FindLine("x") == -1 && CountLines() == 0 &&
                DescSeek(0) == -1 && DescEof()) << "a failed open reads as the end";
    auto width = [](const std::string &text) { return Nlm_StringWidth((text + "\n").c_str()); };
    for (auto c : std::vector<std::pair<std::string, short>>{{"", 0}, {"\n\n", 0}, {"iii\n\nwwwwww\nab\n", width("wwwwww")},
             {"iii\nwwwwww", width("wwwwww")}, {std::string(1898, 'm') + "\nshort\n", width(std::string(998, 'm'))}}) {
        vt::WriteFile("t.txt", c.first);
        EXPECT_EQ(c.second, FileLineMaxWidth("t.txt")) << c.first.substr(0, 20);
    }
    for (std::string path : {"absent", "k/pipe.vtn", "/dev/zero", "k"})
        EXPECT_EQ(0, FileLineMaxWidth(path.c_str())) << path;
    alarm(0);
    EXPECT_EQ(0u, alerts_.count());
}

Texts events; /* entry point calls as "library:entry:locks at the call" */
int countOf(const std::string &path)
{
    for (const LibSlot &slot : Libs)
        if (slot.name != NULL && path == slot.name)
            return slot.count;
    return 0;
}
void record(const char *library, const char *entry)
{
    events.push_back(std::string(library) + ":" + entry + ":" + std::to_string(countOf(*library == 'a' ? VART_LIB_A : VART_LIB_B)));
}
void noteUnlock(void) { events.push_back("callback:" + std::to_string(countOf(VART_LIB_A))); }

TEST(Libraries, LockCountInitialiseDeferAndShutDown)
{
    vt::ScratchDir dir("[Libraries]\nA=" VART_LIB_A "\nA2=$(Libraries.A)\nB=" VART_LIB_B "\nMISSING=./missing.so\n"
                       "PCT=./bad%%s.so\nRAW=./bad%s.so\nEXTRA=./p20.so\n[KernelErrors]\nLIBLOAD=- cannot load.~\n");
    vt::AlertLog alerts;
    CoreFuncTable[0] = reinterpret_cast<void *>(&record);
    void *a = LibraryLock("A");
    ASSERT_NE(nullptr, a);
    EXPECT_TRUE(a == LibraryLock("A2") && a == my_LibraryLock(VART_LIB_A)) << "a lock by path calls no entry point";
    EXPECT_EQ("a:_VartInit:1|a:_VartIInit:1|a:_VartInit:2|a:_VartIInit:2|", join(events));
    EXPECT_EQ(a, *static_cast<void **>(dlsym(a, "vart_handle")));
    EXPECT_EQ(nullptr, LibraryUnlock(a));
    EXPECT_EQ(2, countOf(VART_LIB_A));
    EXPECT_TRUE(my_LibraryUnlock(&events) == -1 && !LibraryUnlock(NULL) && !LibraryFuncAddress(NULL, "x") &&
                !LibraryFuncAddressCond(a, "no_such_function") && alerts.count() == 0);
    EXPECT_EQ(nullptr, LibraryFuncAddress(a, "no_such%s_function"));
    std::string parbuf;
    for (const char *key : {"MISSING", "PCT", "RAW", "NOPE"}) {
        EXPECT_EQ(nullptr, LibraryLock(key));
        parbuf += std::string(ParBuf) + "|";
    }
    EXPECT_EQ("./missing.so- cannot load.\n|./bad%s.so- cannot load.\n|./bad%s.so||", parbuf);
    ASSERT_EQ(5u, alerts.count());
    EXPECT_TRUE(alerts.texts()[0].find("no_such%s_function") != std::string::npos &&
                alerts.texts()[1].find("./missing.so: ") == 0 && alerts.texts()[2].find("./bad%s.so: ") == 0);
    EXPECT_EQ("Shared library path './bad%s.so' holds a printf directive: it is not loaded|" +
              setting("Libraries", "NOPE", "not found|"), alerts.texts()[3] + "|" + alerts.texts()[4] + "|");
    ASSERT_NE(nullptr, LibraryLock("B"));
    for (int i = 2; i <= LIB_SLOTS; i++)
        vt::WriteFile("p" + std::to_string(i) + ".so", vt::ReadFile(VART_LIB_PLAIN), 0755);
    for (int i = 2; i < LIB_SLOTS; i++)
        ASSERT_NE(nullptr, my_LibraryLock(("./p" + std::to_string(i) + ".so").c_str()));
    alerts.clear();
    EXPECT_EQ(nullptr, LibraryLock("EXTRA"));
    EXPECT_EQ(Texts{"More then 20 shared libraries are loaded"}, alerts.texts());
    EXPECT_EQ(Libs[5].handle, my_LibraryLock("./p5.so")) << "a loaded path can still be locked";
    LibHandles[0] = a;
    events.clear();
    LibraryUnlockRequest(a, noteUnlock);
    LibraryUnlockRequest(Libs[5].handle, NULL);
    LibraryUnlockRequest(a, noteUnlock);
    LibraryUnlockRequested();
    EXPECT_EQ("callback:2|callback:1|", join(events)) << "newest first, each callback before its unlock";
    EXPECT_TRUE(LibHandles[0] == NULL && Libs[5].count == 1 && UnlockList == NULL) << "LibHandles cleared with the last lock";
    LibraryLock("A"), LibraryLock("A"), events.clear();
    LibraryUnlockAll();
    EXPECT_EQ("a:_VartITerm:1|b:_VartITerm:1|", join(events));
    EXPECT_TRUE(std::all_of(Libs, Libs + LIB_SLOTS, [](const LibSlot &s) { return s.name == NULL; }));
    CoreFuncTable[0] = NULL;
}

short answer42(void) { return 42; }
void moveAway(XtPointer, XtIntervalId *) { EXPECT_EQ(0, chdir("sub")); }
int timerRuns;
void countTimer(XtPointer, XtIntervalId *) { timerRuns++; }

TEST(Files, DirectoriesTruncationCommandsEventsAndDialogs)
{
    vt::ScratchDir dir;
    mkdir("sub", 0755);
    ChangeDirectory(NULL);
    ChangeDirectory("no-such-dir");
    char *here = CurrentDirectory();
    EXPECT_EQ(dir.path() + dir.path(), vt::Output("pwd") + here);
    Nlm_MemFree(here);
    vt::WriteFile("data", "abcdef");
    FILE *update = fopen("data", "r+"), *reading = fopen("data", "r");
    EXPECT_FALSE(TruncateFile(reading, 0) || TruncateFile(update, -1) || TruncateFile(NULL, 0));
    EXPECT_TRUE(TruncateFile(update, 3) && vt::ReadFile("data") == "abc");
    fclose(update), fclose(reading);
    EXPECT_EQ(42, ExecuteCommand("exit 3", NULL, answer42));
    EXPECT_EQ(42, ExecuteCommand("echo done > out.txt", NULL, answer42));
    EXPECT_EQ("done\n", vt::ReadFile("out.txt"));
    timerRuns = 0;
    XtAppAddTimeOut(Nlm_appContext, 0, countTimer, NULL);
    usleep(20000);
    myProcessAnyEvent();
    EXPECT_EQ(1, timerRuns) << "a due timer alone is handled";
    myProcessAnyEvent();
    XtAppAddTimeOut(Nlm_appContext, 200, countTimer, NULL);
    auto start = std::chrono::steady_clock::now();
    int status = RunCommandWithEvents("sleep 0.5; exit 7");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7 && timerRuns == 2) << "timers run while the command does";
    EXPECT_TRUE(seconds > 0.5 && seconds < 0.6) << seconds << ": the end is seen at once";
    alarm(60);
    char buf[512] = "untouched";
    for (int confirm = 0; confirm < 2; confirm++) { /* answered from outside: Cancel, then OK */
        XtAppAddTimeOut(Nlm_appContext, 0, moveAway, NULL);
        /* Clicked again while the call lasts: a click can be lost (the dialog not yet ready, another test's
           window on top); the flag file goes as soon as the call returns, before the next dialog comes. */
        const std::string flag = dir / ("dialog" + std::to_string(confirm));
        vt::WriteFile(flag, "");
        vt::Shell("(n=0; while [ -e " + flag + " ] && [ $((n += 1)) -lt 300 ]; do"
                  " W=$(xdotool search --onlyvisible --name '^file_selection_popup$' 2>/dev/null | head -n1);"
                  " [ -n \"$W\" ] && sleep 0.3 && eval \"$(xdotool getwindowgeometry --shell $W)\" && [ -e " + flag +
                  " ] && xdotool windowraise $W mousemove $((X + " + std::string(confirm ? "45" : "45 + 2 * (WIDTH - 92) / 3") +
                  ")) $((Y + HEIGHT - 32)) click 1 && sleep 1.5; sleep 0.1; done) 2>/dev/null &");
        int chosen = confirm ? myGetOutputFileName(buf, 8, "new.txt") : myGetInputFileName(buf, sizeof buf, "txt");
        unlink(flag.c_str());
        EXPECT_EQ(std::to_string(confirm) + (confirm ? " 7 " : " 9 ") + dir.path(),
                  std::to_string(chosen) + " " + std::to_string(strlen(buf)) + " " + vt::Output("pwd"))
            << buf << ": untouched when cancelled, cut to the buffer; the working directory as it was";
    }
    alarm(0);
}

} // namespace
