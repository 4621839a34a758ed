/*
 * Fuzz target: the settings store read over a settings file that the input
 * supplies.
 *
 * Input: the text of .vartenarc, then optionally a NUL byte and a text for
 * Translate.  For each input the file is written into the scratch
 * directory and the toolkit's parsed copy is dropped (ReloadSettings), so
 * the toolkit parses the new file; every section and key named in it (the
 * first 32) is read with GetParamString, GetParamAppend and, where the
 * caller's side of the format contract can be kept, GetParam; the text is
 * expanded with Translate in a buffer of exactly 500 bytes; a value is
 * stored with SetParam, which writes the file itself, read back and
 * removed again, and every other key must read as before.
 *
 * The format contract: GetParam uses the expanded value as a printf format
 * for its caller's arguments, and a value whose directives ask for
 * arguments the caller did not pass (a "%s" or "%n" with none) is the
 * caller's fault, not the store's: the package's formatted values are
 * fixed by its own template.  So the target passes eight int arguments and
 * calls GetParam only when the expanded value takes at most eight of them
 * ("%%", and d i u x X o c with flags and at most three digits of width and
 * precision; no "*", "$" or length modifier), and then requires the result
 * to be snprintf's of the same text.  Other values are read unformatted.
 * Warning's texts in [KernelErrors] are formats too, for three strings: the
 * target puts its own TRANSLN text ahead of the input and skips inputs that
 * open a section named KernelErrors.
 */
#include <ncbi.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "support.h"
#include "utility.h"

namespace {

const char kMessages[] = "[KernelErrors]\n"
                         "TRANSLN=Settings file '%s', section '%s', key '%s': undefined reference\n\n";
const size_t kMaxNames = 32;
const int kArgs[8] = {0, 1, -1, 42, INT_MAX, INT_MIN, 'A', 0x7f};

std::string lowerNoBlanks(const std::string &text)
{
    std::string out;
    for (char c : text)
        if (c != ' ' && c != '\t')
            out += static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string stripped(const std::string &text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

/* Sections and keys as the file names them: "[name]" lines and "key=" lines
 * inside a section. */
std::vector<std::pair<std::string, std::string>> namesIn(const std::string &file)
{
    std::vector<std::pair<std::string, std::string>> names;
    std::string section;
    for (const std::string &line : fz::LinesOf(file, "\r\n")) {
        if (names.size() == kMaxNames)
            break;
        if (!line.empty() && line[0] == '[') {
            section = line.substr(1, line.find(']') - 1);
            continue;
        }
        size_t eq = line.find('=');
        if (!section.empty() && !line.empty() && line[0] != ';' && eq != std::string::npos)
            names.emplace_back(section, stripped(line.substr(0, eq)));
    }
    return names;
}

/* TRUE when text as a printf format takes nothing but at most eight ints. */
bool takesEightInts(const char *text)
{
    int directives = 0;
    for (const char *p = text; *p != '\0'; p++) {
        if (*p != '%')
            continue;
        if (*++p == '%')
            continue;
        while (*p != '\0' && strchr("-+ #0", *p) != NULL)
            p++;
        int digits = 0;
        while (isdigit(static_cast<unsigned char>(*p)) && digits <= 3)
            p++, digits++;
        if (*p == '.') {
            p++;
            digits = 0;
            while (isdigit(static_cast<unsigned char>(*p)) && digits <= 3)
                p++, digits++;
        }
        if (digits > 3 || *p == '\0' || strchr("diuxXoc", *p) == NULL || ++directives > 8)
            return false;
    }
    return true;
}

void requireClean(const char *text, const char *what)
{
    fz::Require(strnlen(text, PARBUF_SIZE) < PARBUF_SIZE, what);
    fz::Require(strchr(text, '~') == NULL && strchr(text, '`') == NULL, what);
}

void readBack(const std::string &section, const std::string &key)
{
    const char *s = section.c_str();
    const char *k = key.c_str();

    fz::ResetAlerts();
    char *got = GetParamString(s, k);
    fz::Require(got == NULL || got == ParBuf, "GetParamString returns ParBuf or NULL");
    fz::Require((got == NULL) == (fz::Alerts() > 0), "GetParamString fails exactly with an alert");
    fz::Require(strnlen(ParBuf, PARBUF_SIZE) < PARBUF_SIZE, "ParBuf holds a terminated text");
    if (got == NULL)
        return;
    requireClean(ParBuf, "a value read holds no \"~\" or backquote and fits");
    std::string expanded = ParBuf;

    if (takesEightInts(expanded.c_str())) {
        char expected[PARBUF_SIZE];
        if (snprintf(expected, sizeof expected, expanded.c_str(), kArgs[0], kArgs[1], kArgs[2], kArgs[3],
                     kArgs[4], kArgs[5], kArgs[6], kArgs[7]) < 0)
            expected[0] = '\0';
        fz::ResetAlerts();
        got = GetParam(s, k, kArgs[0], kArgs[1], kArgs[2], kArgs[3], kArgs[4], kArgs[5], kArgs[6], kArgs[7]);
        fz::Require(got == ParBuf && fz::Alerts() == 0, "GetParam reads what GetParamString read");
        fz::Require(strcmp(ParBuf, expected) == 0, "GetParam formats the expanded value");
    }

    /* ParBuf holds the expansion; the appended value is expanded together
     * with it, and the text before its first "$" stays as it was */
    strcpy(ParBuf, expanded.c_str());
    fz::ResetAlerts();
    got = GetParamAppend(s, k);
    fz::Require(got == NULL || got == ParBuf, "GetParamAppend returns ParBuf or NULL");
    fz::Require((got == NULL) == (fz::Alerts() > 0), "GetParamAppend fails exactly with an alert");
    requireClean(ParBuf, "an appended read holds no \"~\" or backquote and fits");
    size_t kept = std::min(expanded.find('$'), expanded.size());
    fz::Require(strncmp(ParBuf, expanded.c_str(), kept) == 0, "GetParamAppend keeps the text before");
}

void translate(const std::string &text)
{
    char *buf = static_cast<char *>(malloc(PARBUF_SIZE));
    size_t len = std::min(strlen(text.c_str()), static_cast<size_t>(PARBUF_SIZE - 1));
    memcpy(buf, text.c_str(), len);
    buf[len] = '\0';
    fz::ResetAlerts();
    bool ok = Translate(buf, "Fuzz", "Text");
    fz::Require(ok == (fz::Alerts() == 0), "Translate fails exactly with an alert");
    requireClean(buf, "a translated text holds no \"~\" or backquote and fits");
    free(buf);
}

/* The value as SetParam must store it for SetParam("Fuzz", "Value", text):
 * each line break ("\n", "\r\n", a lone "\r") as one "~". */
std::string withTildes(const std::string &text)
{
    std::string stored;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        stored += text[i] == '\n' || text[i] == '\r' ? '~' : text[i];
    }
    return stored;
}

/* What the toolkit reads for each name, from the file as it is now. */
std::vector<std::string> rawReads(const std::vector<std::pair<std::string, std::string>> &names)
{
    ReloadSettings();
    std::vector<std::string> reads;
    for (const auto &name : names) {
        char raw[PARBUF_SIZE];
        Nlm_GetAppParam("vartena", name.first.c_str(), name.second.c_str(), "", raw, sizeof raw);
        reads.push_back(raw);
    }
    return reads;
}

/* The store writes the file itself: a change of [Fuzz] Value, stored or
 * removed, leaves every other key reading as before, whatever the file
 * holds; the stored value reads back as stored (the toolkit strips blanks
 * and tabs at its ends), or is refused with an alert and the file stays
 * byte for byte. */
void storeAndRead(const std::string &text, const std::string &file)
{
    std::vector<std::pair<std::string, std::string>> others;
    /* an empty key reads the section's list of keys, which a change alters */
    for (const auto &name : namesIn(file))
        if (!name.second.empty() && (lowerNoBlanks(name.first) != "fuzz" || lowerNoBlanks(name.second) != "value"))
            others.push_back(name);
    std::vector<std::string> before = rawReads(others);
    std::string rc = kMessages + file;

    std::string value = text.c_str();
    std::vector<char> copy(value.begin(), value.end());
    copy.push_back('\0');
    fz::ResetAlerts();
    bool stored = SetParam("Fuzz", "Value", copy.data());
    std::string form = withTildes(value);
    fz::Require(copy.data() == form, "SetParam turns the caller's line breaks into \"~\"");
    fz::Require(stored == (strlen("Value=") + form.size() <= 255), "SetParam stores what fits a line, only that");
    fz::Require(stored == (fz::Alerts() == 0), "SetParam fails exactly with an alert");
    if (!stored) {
        fz::Require(fz::ReadBytes(".vartenarc") == rc, "a refused value leaves the file byte for byte");
        return;
    }
    fz::Require(rawReads(others) == before, "a stored value leaves every other key as it was");
    char raw[PARBUF_SIZE];
    Nlm_GetAppParam("vartena", "Fuzz", "Value", "", raw, sizeof raw);
    fz::Require(raw == stripped(form), "the file holds the value that SetParam stored");
    fz::ResetAlerts();
    GetParamString("Fuzz", "Value");
    requireClean(ParBuf, "a stored value reads back clean");

    fz::Require(SetParam("Fuzz", "Value", NULL), "a key is removed");
    fz::Require(rawReads(others) == before, "a removed value leaves every other key as it was");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fz::EnterScratch(kMessages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input(reinterpret_cast<const char *>(data), size);
    size_t nul = input.find('\0');
    std::string file = input.substr(0, nul);
    std::string text = nul == std::string::npos ? std::string() : input.substr(nul + 1);
    if (lowerNoBlanks(file).find("[kernelerrors") != std::string::npos)
        return -1;

    std::string rc = kMessages + file;
    fz::WriteBytes(".vartenarc", rc.data(), rc.size());
    ReloadSettings();
    for (const auto &name : namesIn(file))
        readBack(name.first, name.second);
    translate(text);
    storeAndRead(text.empty() ? file : text, file);
    fz::CheckHome();
    return 0;
}
