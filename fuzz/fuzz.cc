/* libFuzzer targets over the utility layer: VART_FUZZ_TARGET 1 is fuzz_settings, 2 fuzz_descriptors,
 * 3 fuzz_strings.  Each works in a scratch directory holding a .vartenarc before anything is read or
 * written: the toolkit finds the home through the password database, not $HOME. */
#include <ncbi.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fuzzer/FuzzedDataProvider.h>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

#include "utility.h"

#define REQUIRE(c) \
    ((c) ? (void)0 : (fprintf(stderr, "property failed: %s (line %d)\n", #c, __LINE__), abort()))
typedef std::vector<std::string> Lines;
static const size_t npos = std::string::npos;
[[maybe_unused]] static const char kBlanks[] = " \n\r\t\x1a"; /* StrTrim's */
static const char kMessages[] = "[KernelErrors]\n"
                                "TRANSLN=Settings file '%s', section '%s', key '%s': undefined reference\n\n";
static std::string scratch;
static int alerts;
[[maybe_unused]] static std::string readFile(const char *p) { std::stringstream s; s << std::ifstream(p).rdbuf(); return s.str(); }
static void writeFile(const std::string &p, const std::string &t) { REQUIRE(std::ofstream(p) << t << std::flush); }
[[maybe_unused]] static Lines linesOf(const std::string &text, const std::string &ends)
{
    Lines lines;
    for (size_t at = 0, end = 0; end != npos; at = end + 1)
        lines.push_back(text.substr(at, (end = text.find_first_of(ends, at)) - at));
    return lines;
}
static std::string strip(const std::string &text, const char *blanks)
{
    size_t first = text.find_first_not_of(blanks);
    return first == npos ? "" : text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    char dir[] = "/tmp/vartena-fuzz-XXXXXX";
    REQUIRE(mkdtemp(dir) != NULL && chdir((scratch = dir).c_str()) == 0);
    std::string rc = kMessages;
    if (VART_FUZZ_TARGET == 2) /* for references: long, self-referring, an include, "~", "!", "|", "&", "`" */
        rc += "[Paths]\nKERNEL=./\n\n[V]\nA=alpha\nSELF=$(V.SELF)s\nINC=&&a.vtn\nNL=one~two\nEMPTY=`\nBANG=a!b\n"
              "BAR=p | q |\nAMP=&section\nREF=$`(V.A)\nLONG=" + std::string(240, 'x') + "\n";
    writeFile(".vartenarc", rc);
    atexit([] { std::error_code e; std::filesystem::remove_all(scratch, e); });
    unsetenv("NCBI"), unsetenv("NCBI_DONT_USE_LOCAL_CONFIG");
    Nlm_SetMessageHook([](MsgKey, ErrSev, const char *, const char *) { return alerts++, ANS_OK; });
    ErrSetMessageLevel(SEV_MAX); /* a file that cannot be opened is no alert */
    ReloadSettings();
    return 0;
}

#if VART_FUZZ_TARGET == 1
/* Input: .vartenarc after our [KernelErrors] (inputs naming it are skipped: its texts are formats),
 * then maybe a NUL and a text for Translate and SetParam.  Each of the first 32 keys is read (with
 * GetParam too when its value takes at most eight ints, which it is given); a read succeeds exactly
 * when it shows no alert and gives a clean text; the store's own reader gives what the toolkit's does;
 * a stored value reads back, the other keys as before. */
typedef std::vector<std::pair<std::string, std::string>> Names;
static bool clean(const char *text) { return strnlen(text, PARBUF_SIZE) < PARBUF_SIZE && !strpbrk(text, "~`"); }
static bool eightInts(const char *p) /* "%%", and at most eight plain int directives or "%n" */
{
    int n = 0;
    for (; (p = strchr(p, '%')) != NULL; p += 2)
        if (p[1] != '%' && (p[1] == '\0' || !strchr("diuxXocn", p[1]) || ++n > 8))
            return false;
    return true;
}
static Lines rawReads(const Names &names)
{
    ReloadSettings();
    Lines reads;
    char buf[PARBUF_SIZE];
    for (const auto &n : names)
        reads.push_back((Nlm_GetAppParam("vartena", n.first.c_str(), n.second.c_str(), "", buf, sizeof buf), buf));
    return reads;
}
static bool shownIfFailed(bool ok) { return ok == (alerts == 0); } /* alerts counted since the call began */
#define READS(call) shownIfFailed((alerts = 0, (call) != NULL))
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input(reinterpret_cast<const char *>(data), size);
    std::string file = input.substr(0, input.find('\0')), text = input.substr(std::min(file.size() + 1, size));
    if (strcasestr(file.c_str(), "[KernelErrors") != NULL)
        return -1;
    std::string rc = kMessages + file, value = text.empty() ? file : text.c_str(), form, section;
    writeFile(".vartenarc", rc);
    ReloadSettings();
    Names others; /* all but [Fuzz] Value and empty keys (which read a section's key list) */
    for (const std::string &line : linesOf(file, "\r\n")) {
        if (line[0] == '[' || section.empty() || line[0] == ';' || line.find('=') == npos || others.size() == 32) {
            section = line[0] == '[' ? line.substr(1, line.find(']') - 1) : section;
            continue;
        }
        std::string key = strip(line.substr(0, line.find('=')), " \t");
        const char *s = section.c_str(), *k = key.c_str();
        if (*k != '\0' && (strcasecmp(s, "Fuzz") != 0 || strcasecmp(k, "Value") != 0))
            others.emplace_back(section, key);
        REQUIRE(READS(GetParamString(s, k)) && clean(ParBuf));
        std::string expanded = ParBuf;
        REQUIRE(!eightInts(ParBuf) || (READS(GetParam(s, k, 0, 1, -1, 42, INT_MAX, INT_MIN, 'A', 0x7f)) && clean(ParBuf)));
        REQUIRE((strcpy(ParBuf, expanded.c_str()), READS(GetParamAppend(s, k))) && clean(ParBuf));
    }
    char buf[PARBUF_SIZE];
    snprintf(buf, sizeof buf, "%s", text.c_str());
    REQUIRE(shownIfFailed((alerts = 0, Translate(buf, "Fuzz", "Text"))) && clean(buf));
    for (size_t i = 0; i < value.size(); i++) /* each line break ("\n", "\r\n", "\r") as one "~" */
        if (value.compare(i, 2, "\r\n") != 0)
            form += value[i] == '\r' || value[i] == '\n' ? '~' : value[i];
    Lines before = rawReads(others);
    for (size_t i = 0; i < others.size(); i++) /* the store's own reader (staged settings) reads as the toolkit's */
        REQUIRE((ReadSettingsFile(".vartenarc", others[i].first.c_str(), others[i].second.c_str(), buf, sizeof buf), buf) == before[i]);
    bool ok = (alerts = 0, SetParam("Fuzz", "Value", &value[0]));
    REQUIRE(form == value.c_str() && ok == (alerts == 0) && ok == (form.size() + strlen("Value=") <= 255));
    REQUIRE(ok ? rawReads(others) == before && rawReads({{"Fuzz", "Value"}})[0] == strip(form, " \t")
               : readFile(".vartenarc") == rc);
    REQUIRE(!ok || (SetParam("Fuzz", "Value", NULL) && rawReads(others) == before));
    return 0;
}

#elif VART_FUZZ_TARGET == 2
/* Input: up to five parts separated by NULs: main.vtn; a.vtn, b.vtn, c.vtn for include lines ("&&a.vtn");
 * a control part whose first byte picks the column and the line to find, the rest (if any) being the
 * line to find.  Caller buffers hold exactly 350 bytes.  Endless reading is a timeout. */
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Lines parts = linesOf(std::string(reinterpret_cast<const char *>(data), size), {'\0'}), lines, want, got;
    parts.resize(5);
    size_t includers = 0, pick = static_cast<unsigned char>(parts[4][0]), column = pick % 4;
    for (size_t i = 0; i < 4; i++) {
        writeFile(i == 0 ? "main.vtn" : std::string(1, 'a' + i - 1) + ".vtn", parts[i]);
        for (const std::string &line : linesOf(parts[i], "\n"))
            includers += line.find("&&") != npos || line.find("$(") != npos;
    }
    if (includers > 8) /* each repeats the lines after it: runs grow long, not wrong */
        return -1;
    std::vector<char> block(350);
    char *buf = block.data();
    REQUIRE(DescOpen("main.vtn"));
    while (GetLine(buf) != NULL)
        lines.push_back((REQUIRE(strnlen(buf, 350) < 350), buf));
    /* FindLine finds the first line equal to the one sought; DescSeek comes
     * back there; CountLines counts to an "&" line or the end of the file */
    std::string sought = parts[4].size() > 1 ? parts[4].substr(1) : lines.empty() ? "" : lines[pick % lines.size()];
    DescRewind();
    int pos = FindLine(sought.c_str());
    size_t next = std::find(lines.begin(), lines.end(), sought) - lines.begin() + 1, end = next;
    while (end < lines.size() && lines[end][0] != '&')
        end++;
    REQUIRE(next <= lines.size() ? pos >= 0 && DescSeek(pos) == 0 : pos == -1 && DescEof());
    short count = CountLines();
    REQUIRE(count >= 0 && static_cast<size_t>(count) <= end - next && CountLines() == count);
    REQUIRE(GetLine(buf) == NULL ? next >= lines.size() : next < lines.size() && lines[next] == buf);
    /* mGetLine gives the lines' non-empty fields (past column "|" or the
     * last, up to the next, trimmed), mCountLines those before an "&" line */
    size_t counted = 0, inSection = 1;
    for (const std::string &line : lines) {
        Lines fields = linesOf(line, "|");
        std::string field = strip(fields[std::min(column, fields.size() - 1)], kBlanks);
        inSection &= line[0] != '&';
        if (!field.empty())
            want.push_back(field), counted += inSection;
    }
    DescRewind();
    REQUIRE(static_cast<size_t>(mCountLines(column)) == std::min<size_t>(counted, SHRT_MAX));
    while (mGetLine(buf, column) != NULL)
        got.push_back(buf);
    REQUIRE(got == want);
    DescClose();
    return 0;
}

#else
/* StrTrim, StrSubstitute and StrInsert on heap blocks of exactly the string and its NUL, against
 * std::string models of their contracts. */
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    int op = in.ConsumeIntegralInRange<int>(0, 2);
    bool wordStart = op == 1 && in.ConsumeBool();
    short pos = op == 2 ? in.ConsumeIntegral<short>() : 0, count = -1, wantCount = 0;
    std::string pat = op != 0 ? in.ConsumeRandomLengthString(op == 1 ? 20 : 1000).c_str() : ""; /* or insert */
    std::string rep = op == 1 ? in.ConsumeRandomLengthString(30).c_str() : "";
    std::string text = in.ConsumeRandomLengthString(op == 0 ? 2000 : 1000).c_str(), want = text;
    char *s = static_cast<char *>(memcpy(Nlm_MemGet(text.size() + 1, 0), text.c_str(), text.size() + 1));
    if (op == 0) {
        StrTrim(s), want = strip(text, kBlanks);
    } else if (op == 1) {
        /* left to right, never searching a replacement again, word starts in the string as edited */
        for (size_t at = 0; !pat.empty() && (at = want.find(pat, at)) != npos;)
            if (wordStart && at > 0 && isalnum(static_cast<unsigned char>(want[at - 1])))
                at += pat.size();
            else
                want.replace(at, pat.size(), rep), at += rep.size(), wantCount++;
        s = StrSubstitute(s, pat.c_str(), rep.c_str(), wordStart, &count);
    } else {
        s = StrInsert(s, pos, pat.c_str()), want.insert(pos < 0 ? 0 : std::min<size_t>(pos, text.size()), pat);
    }
    REQUIRE(s != NULL && want == s && count == (op == 1 ? wantCount : -1));
    Nlm_MemFree(s);
    return 0;
}
#endif
