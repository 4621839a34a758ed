/*
 * Text descriptors: the one module-wide reader of the package's description
 * files, with includes to two further levels, descriptor positions, section
 * counts and column selection; and the widest line of a text file.
 *
 * Contract
 * --------
 * - There is one descriptor.  in[0] is the file that DescOpen opened (NULL
 *   after a failed open), in[1] and in[2] are files opened by include lines
 *   ("&&name"); in[0] .. in[inl] are open, everything above inl is NULL.
 *   The descriptor owns these streams; DescClose, DescRewind, DescSeek and
 *   the end of an included file close them.  DescOpen while a descriptor is
 *   open closes all its streams first.
 * - Lines are cleaned in the caller's buffer (at least 350 bytes): at most
 *   349 characters are read at a time (a longer physical line comes in
 *   pieces), cut at the first "!", trimmed, skipped when empty, then
 *   expanded in place, within 350 bytes; a line whose expansion does not
 *   fit comes back as the first 349 characters of its expansion, without a
 *   message, and may end in part of a reference that is left as it stands.
 *   FindLine and the counts see every line exactly as GetLine gives it.
 * - Names: a name holding "/" is used as it stands; a plain name is looked
 *   up in the package's directory, [Paths] KERNEL.  The resolved name is in
 *   ParBuf.  When KERNEL cannot be read (the settings store has said so) or
 *   KERNEL and the name together exceed 499 characters, the name does not
 *   resolve: the open fails, and ParBuf holds the name as given (cut at 499).
 *   KERNEL is read without printf formatting, so a "%" in the directory is
 *   kept as it stands.
 * - Positions: level in bits 31..24, byte offset in bits 23..0; -1 is no
 *   position.  A file of 16 MiB or more cannot be given positions, so it is
 *   refused: DescOpen fails on it and an include of it is skipped, like a
 *   missing one.  So is anything but a regular file (a device, a pipe, a
 *   directory).  DescSeek with a negative position, or with a level that is
 *   not open now, changes nothing and returns -1.
 * - Counts stop at the next line beginning with "&", at the end of the
 *   description file, or at the end of the included file in which they
 *   began (that file must stay open for the descriptor to come back), and
 *   saturate at 32767.  The descriptor is then where it was before.
 * - After a failed DescOpen every reader reports the end at once, DescEof is
 *   TRUE, counts are 0 and DescSeek returns -1.
 * - One thread; nothing is guarded.
 */
#include <ncbi.h>
#include <vibrant.h>

#include <climits>
#include <cstring>
#include <sys/stat.h>

#include "internal.h"
#include "utility.h"

/* The descriptor: open streams by include level, and the level read now. */
static const short kLevels = 3;
static FILE *in[kLevels];
static short inl;

/* Nlm_FileGets limit: at most 349 characters per read. */
static const size_t kReadLimit = 350;
/* Room for a line's expansion: a caller's buffer holds 350 bytes; our own
 * are larger but expand within the same room, so that FindLine and the
 * counts see every line as GetLine gives it. */
static const size_t kCallerLine = 350;
static const size_t kOwnLine = 352;
/* Offsets of a position fit in 24 bits. */
static const long kOffsetMask = 0xFFFFFF;
static const long kMaxFileSize = 1L << 24;
/* Work buffer of FileLineMaxWidth: 998 characters, "\n" and the NUL. */
static const size_t kWidthBuf = 1000;

/* Puts name into ParBuf, cut at 499 characters, as the unresolved result. */
static void keepUnresolved(const char *name)
{
    strncpy(ParBuf, name, PARBUF_SIZE - 1);
    ParBuf[PARBUF_SIZE - 1] = '\0';
}

/* The file name to open for name, or NULL when it does not resolve.  A
 * plain name is KERNEL followed directly by the name, in ParBuf; name may
 * itself lie in ParBuf. */
static const char *descGetName(const char *name)
{
    if (strchr(name, '/') != NULL)
        return name;
    char *copy = Nlm_StringSave(name);
    if (copy == NULL)
        return NULL;
    const char *resolved = NULL;
    if (GetParamString("Paths", "KERNEL") != NULL
        && strlen(ParBuf) + strlen(copy) < PARBUF_SIZE) {
        strcat(ParBuf, copy);
        resolved = ParBuf;
    } else {
        keepUnresolved(copy);
    }
    Nlm_MemFree(copy);
    return resolved;
}

/* Opens a description file for reading, or NULL when name does not resolve,
 * the file cannot be opened, it is no regular file, or it is too large for
 * positions.  A device such as /dev/zero never ends and the open of a pipe
 * without a writer never returns, so neither is opened at all. */
static FILE *openDescFile(const char *name)
{
    const char *path = descGetName(name);
    FILE *fp = path != NULL ? OpenRegularFile(path) : NULL;
    struct stat st;
    if (fp != NULL && (fstat(fileno(fp), &st) != 0 || st.st_size >= kMaxFileSize)) {
        Nlm_FileClose(fp);
        return NULL;
    }
    return fp;
}

/* Closes every stream above level; the descriptor then reads at level. */
static void closeAbove(short level)
{
    while (inl > level) {
        Nlm_FileClose(in[inl]);
        in[inl] = NULL;
        inl--;
    }
}

static void closeAll(void)
{
    closeAbove(0);
    Nlm_FileClose(in[0]);
    in[0] = NULL;
}

/* The current position, or -1 when there is none (no file, or an offset
 * that does not fit). */
static int descTell(void)
{
    if (in[inl] == NULL)
        return -1;
    long offset = ftell(in[inl]);
    if (offset < 0 || offset > kOffsetMask)
        return -1;
    return (static_cast<int>(inl) << 24) | static_cast<int>(offset);
}

/* The next cleaned, non-empty line of the file at the current level, in
 * buf, expanded within size bytes; NULL at the end of that file. */
static char *getLine(char *buf, size_t size)
{
    FILE *fp = in[inl];
    if (fp == NULL)
        return NULL;
    do {
        if (Nlm_FileGets(buf, kReadLimit, fp) == NULL)
            return NULL;
        char *comment = strchr(buf, '!');
        if (comment != NULL)
            *comment = '\0';
        StrTrim(buf);
    } while (buf[0] == '\0');
    TranslateBuf(buf, size, NULL, NULL);
    return buf;
}

/* The next line, following includes; the end of an included file above
 * floor returns to the file that included it, the end at floor is the end. */
static char *readLine(char *buf, size_t size, short floor)
{
    for (;;) {
        if (getLine(buf, size) == NULL) {
            if (inl <= floor)
                return NULL;
            closeAbove(inl - 1);
            continue;
        }
        if (buf[0] != '&' || buf[1] != '&' || inl >= kLevels - 1)
            return buf;
        FILE *fp = openDescFile(buf + 2);
        if (fp != NULL)
            in[++inl] = fp;
    }
}

/* Field column of line ("|"-separated, from 0; a line with fewer fields
 * gives its last), cut and trimmed in place. */
static char *selectColumn(char *line, short column)
{
    char *field = line;
    for (short i = 0; i < column; i++) {
        char *bar = strchr(field, '|');
        if (bar == NULL)
            break;
        field = bar + 1;
    }
    char *end = strchr(field, '|');
    if (end != NULL)
        *end = '\0';
    StrTrim(field);
    return field;
}

/* Lines up to the next "&" line, counting only non-empty fields of column
 * when byColumn; the descriptor comes back to where it was. */
static short countSection(bool byColumn, short column)
{
    const int start = descTell();
    const short floor = inl;
    char line[kOwnLine];
    short count = 0;
    while (readLine(line, kCallerLine, floor) != NULL && line[0] != '&') {
        if (byColumn && selectColumn(line, column)[0] == '\0')
            continue;
        if (count < SHRT_MAX)
            count++;
    }
    DescSeek(start);
    return count;
}

extern "C" unsigned char DescOpen(const char *name)
{
    closeAll();
    inl = 0;
    in[0] = name != NULL ? openDescFile(name) : NULL;
    return in[0] != NULL ? TRUE : FALSE;
}

extern "C" void DescClose(void)
{
    closeAll();
    inl = 0;
}

extern "C" unsigned char DescEof(void)
{
    if (inl > 0)
        return FALSE;
    return in[0] == NULL || feof(in[0]) ? TRUE : FALSE;
}

extern "C" void DescRewind(void)
{
    closeAbove(0);
    if (in[0] != NULL)
        rewind(in[0]);
}

extern "C" int DescSeek(int pos)
{
    if (pos < 0)
        return -1;
    const short level = static_cast<short>(pos >> 24);
    if (level > inl || in[level] == NULL)
        return -1;
    closeAbove(level);
    return fseek(in[level], pos & kOffsetMask, SEEK_SET) == 0 ? 0 : -1;
}

extern "C" char *GetLine(char *buf)
{
    return readLine(buf, kCallerLine, 0);
}

extern "C" int FindLine(const char *text)
{
    char line[kOwnLine];
    if (text == NULL)
        return -1;
    while (readLine(line, kCallerLine, 0) != NULL)
        if (strcmp(line, text) == 0)
            return descTell();
    return -1;
}

extern "C" short CountLines(void)
{
    return countSection(false, 0);
}

extern "C" short mCountLines(short column)
{
    return countSection(true, column);
}

extern "C" char *mGetLine(char *buf, short column)
{
    while (readLine(buf, kCallerLine, 0) != NULL) {
        char *field = selectColumn(buf, column);
        if (field[0] == '\0')
            continue;
        if (field != buf)
            memmove(buf, field, strlen(field) + 1);
        return buf;
    }
    return NULL;
}

/* Empty lines are not measured; a line of more than 998 characters is
 * measured by its first 998 and the rest of it is passed over.  Anything
 * but a regular file measures 0, like a file that cannot be opened. */
extern "C" short FileLineMaxWidth(const char *path)
{
    FILE *fp = OpenRegularFile(path);
    if (fp == NULL)
        return 0;
    char *buf = static_cast<char *>(Nlm_MemGet(kWidthBuf, MGET_CLEAR | MGET_ERRPOST));
    short widest = 0;
    int c;
    while (buf != NULL && (c = getc(fp)) != EOF) {
        if (c == '\n')
            continue;
        ungetc(c, fp);
        if (fscanf(fp, "%998[^\n]", buf) != 1)
            break;
        while ((c = getc(fp)) != EOF && c != '\n')
            ;
        strcat(buf, "\n");
        short width = Nlm_StringWidth(buf);
        if (width > widest)
            widest = width;
    }
    Nlm_MemFree(buf);
    fclose(fp);
    return widest;
}
