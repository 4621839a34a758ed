/*
 * Fuzz target: string editing.  The input picks an operation and its
 * strings; each string is a heap block of exactly its length plus the NUL,
 * so a read or write past it is caught.  Results are compared with plain
 * std::string models of the operations' contracts in utility.h:
 * StrTrim strips the five blanks at both ends; StrSubstitute replaces left
 * to right without overlap, never searching a replacement again, with the
 * word-start rule looking at the character before the occurrence in the
 * string as edited so far; StrInsert puts the insert at the position, a
 * negative one counting as 0 and one past the end as the end.  Strings stay
 * within the operations' 16-bit domain.
 */
#include <ncbi.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "support.h"
#include "utility.h"

namespace {

const char kBlanks[] = " \n\r\t\x1a";

char *owned(const std::string &text)
{
    char *s = static_cast<char *>(Nlm_MemGet(text.size() + 1, MGET_ERRPOST));
    memcpy(s, text.c_str(), text.size() + 1);
    return s;
}

bool isWord(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

void checkTrim(const std::string &text)
{
    char *s = owned(text);
    StrTrim(s);
    size_t first = text.find_first_not_of(kBlanks, 0, sizeof kBlanks - 1);
    std::string expected;
    if (first != std::string::npos)
        expected = text.substr(first, text.find_last_not_of(kBlanks, std::string::npos, sizeof kBlanks - 1) - first + 1);
    fz::Require(expected == s, "StrTrim strips the five blanks at both ends");
    Nlm_MemFree(s);
}

void checkSubstitute(const std::string &text, const std::string &pat, const std::string &rep, bool wordStart)
{
    std::string expected = text;
    short expectedCount = 0;
    if (!pat.empty()) {
        size_t from = 0, at;
        while ((at = expected.find(pat, from)) != std::string::npos) {
            if (wordStart && at > 0 && isWord(expected[at - 1])) {
                from = at + pat.size();
                continue;
            }
            expected.replace(at, pat.size(), rep);
            from = at + rep.size();
            expectedCount++;
        }
    }
    char *s = owned(text);
    short count = -1;
    char *result = StrSubstitute(s, pat.c_str(), rep.c_str(), wordStart, &count);
    fz::Require(expected == result, "StrSubstitute replaces as its contract says");
    fz::Require(count == expectedCount, "StrSubstitute counts its replacements");
    fz::Require(count > 0 || result == s, "StrSubstitute hands back the same block when nothing changed");
    Nlm_MemFree(result);
}

void checkInsert(const std::string &text, short pos, const std::string &ins)
{
    size_t at = pos < 0 ? 0 : std::min(static_cast<size_t>(pos), text.size());
    std::string expected = text.substr(0, at) + ins + text.substr(at);
    char *result = StrInsert(owned(text), pos, ins.c_str());
    fz::Require(result != NULL && expected == result, "StrInsert puts the insert at the position");
    Nlm_MemFree(result);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fz::EnterScratch("");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    /* the longest result: 1000 + 1000 * 30 characters, within 32,767 */
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
        checkTrim(in.ConsumeRandomLengthString(2000).c_str());
        break;
    case 1: {
        bool wordStart = in.ConsumeBool();
        std::string pat = in.ConsumeRandomLengthString(20).c_str();
        std::string rep = in.ConsumeRandomLengthString(30).c_str();
        checkSubstitute(in.ConsumeRandomLengthString(1000).c_str(), pat, rep, wordStart);
        break;
    }
    default: {
        short pos = in.ConsumeIntegral<short>();
        std::string ins = in.ConsumeRandomLengthString(1000).c_str();
        checkInsert(in.ConsumeRandomLengthString(1000).c_str(), pos, ins);
        break;
    }
    }
    return 0;
}
