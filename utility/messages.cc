/*
 * The package's message texts: section [KernelErrors] of the settings
 * file, each text under a short message key, expanded like any settings
 * value and then used as a printf format.
 *
 * Warning owns a Format and a Buf of 500 bytes for each level of nesting.
 * The one nesting the package knows is the TRANSLN message raised while a
 * text is being expanded; it works on the next level's buffers and leaves
 * the message in progress alone, which is then shown as its expansion left
 * it.  A Warning called at a deeper level (TRANSLN's own text holding an
 * undefined reference) shows nothing, so the nesting always ends.
 */
#include <ncbi.h>

#include <cstdarg>
#include <cstdio>

#include "internal.h"

namespace {

const int WarningLevels = 2;

char Format[WarningLevels][PARBUF_SIZE];
char Buf[WarningLevels][PARBUF_SIZE];
int level = 0;

} // namespace

unsigned char Warning(const char *key, ...)
{
    if (key == NULL || level == WarningLevels)
        return TRUE;
    char *format = Format[level];
    char *buf = Buf[level];
    if (settingsGet("KernelErrors", key, format, PARBUF_SIZE) <= 0)
        return TRUE;

    /* the buffers of this level stay taken until the alert is closed */
    level++;
    Translate(format, "KernelErrors", key);
    va_list args;
    va_start(args, key);
    if (vsnprintf(buf, PARBUF_SIZE, format, args) < 0)
        buf[0] = '\0';
    va_end(args);
    Nlm_Message(ALERT_OK, "%s", buf);
    level--;
    return TRUE;
}
