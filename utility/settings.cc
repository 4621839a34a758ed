/*
 * The settings store: the package's only road to .vartenarc, read through
 * the toolkit's Nlm_GetAppParam with the file name "vartena" and written
 * by settings_file.cc.  The toolkit holds the parsed file; this file owns
 * ParBuf and applies the package's conventions on top: $(Section.KEY)
 * references, "~" for a line break and the backquote as the empty
 * character.
 *
 * Every text handled here fits a 500-byte buffer: a value, an expansion or
 * a formatted text that would grow past 499 characters is cut at 499.
 * Reference expansion is bounded in nesting and in the number of
 * replacements, so a value that refers to itself, directly or through
 * others, fails with one alert instead of expanding without end.
 */
#include <ncbi.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "internal.h"

char ParBuf[PARBUF_SIZE];

namespace {

const char *orEmpty(const char *s)
{
    return s != NULL ? s : "";
}

void notFound(const char *section, const char *key)
{
    Nlm_Message(ALERT_OK, "Settings file '%s', section '%s', key '%s': not found", SETTINGS_FILE,
                orEmpty(section), orEmpty(key));
}

/* The value of [section] key, cut to size - 1 characters, or FALSE after
 * the "not found" alert; buf is then empty. */
bool readValue(const char *section, const char *key, char *buf, size_t size)
{
    buf[0] = '\0';
    int found = section != NULL && key != NULL ? settingsGet(section, key, buf, size) : 0;
    if (found > 0)
        return true;
    buf[0] = '\0';
    if (found == 0)
        notFound(section, key);
    return false;
}

/* Cuts text at size - 1 characters when no NUL ends it within size bytes. */
void cutUnterminated(char *text, size_t size)
{
    if (strnlen(text, size) == size)
        text[size - 1] = '\0';
}

/* A reference at dollar, as the reads take it: "$(", a section name,
 * ".", a key, ")"; the offsets from the "$" of the section, the key and
 * the rest.  FALSE when dollar begins none. */
bool scanReference(const char *dollar, int *sectionAt, int *keyAt, int *restAt)
{
    *sectionAt = *keyAt = *restAt = 0;
    sscanf(dollar, "$(%n%*[^.].%n%*[^)])%n", sectionAt, keyAt, restAt);
    return *restAt != 0;
}

/*
 * The reference scan.  ends[] holds, outermost first, where the inserted
 * values that enclose the scan position end; a reference found inside
 * depth of them was brought in by a chain of depth references.  On an
 * undefined reference the text is left ending in "$(" and its section
 * name; on too deep a nesting the reference is left whole.
 */
unsigned char expandRefs(char *text, size_t size, const char *section, const char *key)
{
    size_t ends[REF_MAX_NESTING];
    int depth = 0;
    int replacements = 0;
    size_t pos = 0;

    for (;;) {
        char *dollar = strchr(text + pos, '$');
        if (dollar == NULL)
            return TRUE;
        pos = static_cast<size_t>(dollar - text);
        while (depth > 0 && ends[depth - 1] <= pos)
            depth--;

        int sectionAt, keyAt, restAt;
        if (!scanReference(dollar, &sectionAt, &keyAt, &restAt)) {
            pos++;
            continue;
        }
        if (depth == REF_MAX_NESTING || replacements == REF_MAX_REPLACEMENTS) {
            Nlm_Message(ALERT_OK, "Settings file '%s', section '%s', key '%s': references nest too deeply",
                        SETTINGS_FILE, orEmpty(section), orEmpty(key));
            return FALSE;
        }
        dollar[keyAt - 1] = '\0';
        dollar[restAt - 1] = '\0';

        char value[PARBUF_SIZE];
        int found = settingsGet(dollar + sectionAt, dollar + keyAt, value, sizeof value);
        if (found <= 0) {
            if (found == 0)
                Warning("TRANSLN", SETTINGS_FILE, orEmpty(section), orEmpty(key));
            return FALSE;
        }
        RemoveEmptyChars(value);

        /* value, then the rest after the reference's ")", over the text
         * from the "$" on, all cut to the room left in the buffer */
        const char *rest = dollar + restAt;
        size_t room = size - 1 - pos;
        size_t valueLen = strlen(value);
        size_t restLen = strlen(rest);
        if (valueLen > room)
            valueLen = room;
        if (restLen > room - valueLen)
            restLen = room - valueLen;
        memmove(dollar + valueLen, rest, restLen);
        dollar[valueLen + restLen] = '\0';
        memcpy(dollar, value, valueLen);
        replacements++;

        size_t oldEnd = pos + static_cast<size_t>(restAt);
        size_t newEnd = pos + valueLen;
        size_t length = newEnd + restLen;
        for (int i = 0; i < depth; i++) {
            ends[i] = ends[i] >= oldEnd ? ends[i] - oldEnd + newEnd : newEnd;
            if (ends[i] > length)
                ends[i] = length;
        }
        ends[depth++] = newEnd;
    }
}

} // namespace

unsigned char TranslateBuf(char *text, size_t size, const char *section, const char *key)
{
    if (text == NULL || size == 0)
        return FALSE;
    cutUnterminated(text, size);
    unsigned char ok = expandRefs(text, size, section, key);
    for (char *p = text; *p != '\0'; p++)
        if (*p == '~')
            *p = '\n';
    RemoveEmptyChars(text);
    return ok;
}

unsigned char Translate(char *text, const char *section, const char *key)
{
    return TranslateBuf(text, PARBUF_SIZE, section, key);
}

unsigned char TranslateRef(char *text, const char *section, const char *key)
{
    if (text == NULL)
        return FALSE;
    cutUnterminated(text, PARBUF_SIZE);
    return expandRefs(text, PARBUF_SIZE, section, key);
}

char *RemoveEmptyChars(char *text)
{
    if (text == NULL)
        return NULL;
    char *out = text;
    for (const char *in = text; *in != '\0'; in++)
        if (*in != '`')
            *out++ = *in;
    *out = '\0';
    return NULL;
}

char *GetParam(const char *section, const char *key, ...)
{
    char value[PARBUF_SIZE];
    if (!readValue(section, key, value, sizeof value) || !Translate(value, section, key))
        return NULL;
    char letters[PARBUF_SIZE];
    FormatDirectives(value, letters, sizeof letters);
    if (strchr(letters, 'n') != NULL) {
        Nlm_Message(ALERT_OK, "Settings file '%s', section '%s', key '%s': a %%n directive is not allowed",
                    SETTINGS_FILE, orEmpty(section), orEmpty(key));
        return NULL;
    }

    /* formatted apart from ParBuf, which a caller may pass as an argument */
    char formatted[PARBUF_SIZE];
    va_list args;
    va_start(args, key);
    if (vsnprintf(formatted, sizeof formatted, value, args) < 0)
        formatted[0] = '\0';
    va_end(args);
    memcpy(ParBuf, formatted, sizeof ParBuf);
    return ParBuf;
}

char *GetParamString(const char *section, const char *key)
{
    if (!readValue(section, key, ParBuf, sizeof ParBuf) || !Translate(ParBuf, section, key))
        return NULL;
    return ParBuf;
}

/* The value is read apart and then appended, so that a ParBuf already
 * (nearly) full still tells a present key from a missing one. */
char *GetParamAppend(const char *section, const char *key)
{
    char value[PARBUF_SIZE];
    if (!readValue(section, key, value, sizeof value))
        return NULL;
    size_t used = strnlen(ParBuf, sizeof ParBuf - 1);
    size_t valueLen = strlen(value);
    if (valueLen > sizeof ParBuf - 1 - used)
        valueLen = sizeof ParBuf - 1 - used;
    memcpy(ParBuf + used, value, valueLen);
    ParBuf[used + valueLen] = '\0';
    return Translate(ParBuf, section, key) ? ParBuf : NULL;
}

/* The toolkit's reader ends a line at a carriage return as at a newline,
 * so a raw "\r" in a stored value would begin a line of its own (a key or
 * a section header) when the file is read again.  Each line break, "\n",
 * "\r\n" or a lone "\r", becomes one "~", in place. */
static void storeLineBreaks(char *value)
{
    if (value == NULL)
        return;
    char *out = value;
    for (const char *p = value; *p != '\0'; p++) {
        if (*p == '\r' && p[1] == '\n')
            continue;
        *out++ = (*p == '\n' || *p == '\r') ? '~' : *p;
    }
    *out = '\0';
}

unsigned char SetParam(const char *section, const char *key, char *value)
{
    storeLineBreaks(value);
    return settingsSet(section, key, value);
}

int SettingsValueCheck(const char *key, const char *value)
{
    int flags = strlen(key != NULL ? key : "") + 1 + strlen(value) > SETTINGS_LINE_MAX ? SETTINGS_VALUE_TOO_LONG : 0;
    if (strpbrk(value, "~`") != NULL)
        flags |= SETTINGS_VALUE_CONVENTION;
    int sectionAt, keyAt, restAt;
    for (const char *dollar = strchr(value, '$'); dollar != NULL; dollar = strchr(dollar + 1, '$'))
        if (scanReference(dollar, &sectionAt, &keyAt, &restAt))
            return flags | SETTINGS_VALUE_REFERENCE;
    return flags;
}

unsigned char GetConfigFilePath(void)
{
    return access(".vartenarc", F_OK) == 0 ? TRUE : FALSE;
}
