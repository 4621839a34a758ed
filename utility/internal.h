/*
 * internal.h - declarations shared by the files of the utility layer only;
 * the package's programs include utility.h.  C linkage like utility.h.
 */
#ifndef VARTENA_UTILITY_INTERNAL_H
#define VARTENA_UTILITY_INTERNAL_H

#include <stddef.h>

#include "utility.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The name every settings call hands to the toolkit, which turns it into
 * ".vartenarc". */
#define SETTINGS_FILE "vartena"

/* Message key of every alert: a modal alert with a single OK button. */
#define ALERT_OK 1

/* The toolkit reads a settings line of at most this many characters and
 * takes the rest of a longer line for a line of its own. */
#define SETTINGS_LINE_MAX 255

/* A reference may be expanded inside at most this many inserted values
 * (a chain of this many keys expands, one more fails), and one expansion
 * replaces at most REF_MAX_REPLACEMENTS references; past either bound the
 * read fails with "references nest too deeply". */
#define REF_MAX_NESTING 32
#define REF_MAX_REPLACEMENTS 1000

/* Nlm_GetAppParam on the package's settings file into buf: the length of
 * the value, 0 when it is missing or empty, -1 when the settings file is
 * no regular file (shown once, see ReloadSettings). */
int settingsGet(const char *section, const char *key, char *buf, size_t size);

/* SetParam after its line breaks have become "~". */
unsigned char settingsSet(const char *section, const char *key, const char *value);

#ifdef __cplusplus
}

#include <string>

/* One change to the text of a settings file, as SetParam makes it: a NULL
 * or empty key removes the section, a NULL value the key, anything else
 * sets the key (replacing its line, else added at the end of its section,
 * else in a new section at the end of the text).  1 when the text was
 * changed, -1 when the section or key to remove is not there. */
int settingsEdit(std::string &text, const char *section, const char *key, const char *value);

/* The whole of the regular file at path into text; false (text empty)
 * when it is no regular file or cannot be read.  No alert. */
bool readRegularFile(const std::string &path, std::string *text);

/* path made absolute against the working directory ("./" dropped). */
std::string absolutePath(const std::string &path);
#endif

#endif /* VARTENA_UTILITY_INTERNAL_H */
