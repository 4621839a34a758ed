/*
 * String editing: trimming in place, and substitution and insertion on
 * owned heap strings.  A new block always comes from Nlm_MemGet with
 * clear-memory and report-failure, so the toolkit reports an exhausted
 * heap itself; the old block goes back with Nlm_MemFree.
 */
#include <ncbi.h>

#include <climits>
#include <cstring>

#include "utility.h"

namespace {

bool isTrimBlank(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == 0x1A;
}

bool isWordChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

char *newBlock(size_t size)
{
    return static_cast<char *>(Nlm_MemGet(size, MGET_CLEAR | MGET_ERRPOST));
}

} // namespace

extern "C" void StrTrim(char *s)
{
    if (s == NULL)
        return;
    size_t first = 0;
    while (s[first] != '\0' && isTrimBlank(s[first]))
        first++;
    if (s[first] == '\0') {
        s[0] = '\0';
        return;
    }
    size_t last = first + strlen(s + first) - 1;
    while (last > first && isTrimBlank(s[last]))
        last--;
    size_t len = last - first + 1;
    memmove(s, s + first, len);
    s[len] = '\0';
}

/* An empty pattern replaces nothing (it would match everywhere without
 * end).  When a block cannot be had, the string as far as it has been
 * edited is returned and the remaining occurrences are left. */
extern "C" char *StrSubstitute(char *s, const char *pat, const char *rep,
                               unsigned char wordStart, short *count)
{
    if (count != NULL)
        *count = 0;
    if (s == NULL || pat == NULL || pat[0] == '\0')
        return s;
    if (rep == NULL)
        rep = "";
    const size_t patLen = strlen(pat);
    const size_t repLen = strlen(rep);
    size_t from = 0;
    for (;;) {
        char *hit = strstr(s + from, pat);
        if (hit == NULL)
            return s;
        size_t at = static_cast<size_t>(hit - s);
        if (wordStart && at > 0 && isWordChar(s[at - 1])) {
            from = at + patLen;
            continue;
        }
        size_t len = strlen(s);
        char *grown = newBlock(len - patLen + repLen + 1);
        if (grown == NULL)
            return s;
        memcpy(grown, s, at);
        memcpy(grown + at, rep, repLen);
        memcpy(grown + at + repLen, s + at + patLen, len - at - patLen + 1);
        Nlm_MemFree(s);
        s = grown;
        from = at + repLen;
        if (count != NULL && *count < SHRT_MAX)
            (*count)++;
    }
}

/* A negative position inserts in front, one beyond the end appends.  When
 * no block can be had the result is NULL and s is kept, unchanged. */
extern "C" char *StrInsert(char *s, short pos, const char *ins)
{
    if (s == NULL)
        return NULL;
    if (ins == NULL)
        ins = "";
    const size_t len = strlen(s);
    const size_t insLen = strlen(ins);
    size_t at = pos < 0 ? 0 : static_cast<size_t>(pos);
    if (at > len)
        at = len;
    char *grown = newBlock(len + insLen + 1);
    if (grown == NULL)
        return NULL;
    memcpy(grown, s, at);
    memcpy(grown + at, ins, insLen);
    memcpy(grown + at + insLen, s + at, len - at + 1);
    Nlm_MemFree(s);
    return grown;
}

/* A directive: "%", an argument position ("1$"), flags, a width, a
 * precision, length modifiers, then the conversion letter.  The letters
 * after a length modifier are taken as they come: what a directive holds
 * is for vsnprintf to judge, what it takes is for the caller. */
extern "C" int FormatDirectives(const char *format, char *letters, size_t size)
{
    int count = 0;
    size_t kept = 0;
    auto keep = [&](char letter) {
        count++;
        if (letters != NULL && kept + 1 < size)
            letters[kept++] = letter;
    };
    for (const char *p = format != NULL ? format : ""; *p != '\0'; p++) {
        if (*p != '%')
            continue;
        if (p[1] == '%') {
            p++;
            continue;
        }
        p++;
        while (*p >= '0' && *p <= '9')
            p++;
        if (*p == '$')
            p++;
        while (*p != '\0' && strchr("-+ #0'I", *p) != NULL)
            p++;
        for (int part = 0; part < 2; part++) { /* width, then precision */
            if (part == 1) {
                if (*p != '.')
                    break;
                p++;
            }
            if (*p == '*') {
                keep('*');
                p++;
                while (*p >= '0' && *p <= '9')
                    p++;
                if (*p == '$')
                    p++;
            }
            while (*p >= '0' && *p <= '9')
                p++;
        }
        while (*p != '\0' && strchr("hlLqjzZt", *p) != NULL)
            p++;
        if (*p == '\0') {
            keep('%');
            break;
        }
        keep(*p);
    }
    if (letters != NULL && size > 0)
        letters[kept] = '\0';
    return count;
}
