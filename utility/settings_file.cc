/*
 * The settings file itself: where it is, whether it may be read, and how
 * a change is written into it.
 *
 * Reads go through the toolkit's Nlm_GetAppParam, which parses the file
 * once and keeps its copy.  Writes do not go through the toolkit, whose
 * Nlm_SetAppParam rewrites the file in place and does not report a failed
 * write: the store edits the text of the file on disk, line by line as the
 * toolkit's reader sees it, writes the result whole beside it and renames
 * it into place (WriteFileSafely), then drops the toolkit's copy so that
 * the next read parses the new file.  Every line that the change does not
 * concern stays byte for byte, so the file reads back with every key as
 * before plus the change.
 *
 * The toolkit's reader, as the store relies on it: the file is read in
 * pieces of at most 255 bytes, each ending after a line feed (a longer line
 * comes as several pieces, each read as a line); a piece that begins with a
 * line feed or a carriage return is passed over, one that begins with ";"
 * is a comment, one that begins with "[" opens the section named by what
 * follows up to "]"; any other piece, cut at its first carriage return or
 * line feed, is a key before its first "=" (the whole piece without one),
 * with blanks and tabs trimmed.  Pieces before the first section are
 * ignored.  Names match without regard to case; only the first section of
 * a name is read, and the first occurrence of a key in it.
 */
#include <ncbi.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "internal.h"

namespace {

const char kSkipLocal[] = "NCBI_DONT_USE_LOCAL_CONFIG";
const char kLocalFile[] = "./.vartenarc";
const size_t kPieceMax = SETTINGS_LINE_MAX; /* bytes the reader takes at once */

/* Hides NCBI_DONT_USE_LOCAL_CONFIG from the toolkit for one call: the
 * package's settings file is the working directory's, and with the
 * variable set the toolkit would read a system-wide file instead while
 * creating and truncating one in the home directory. */
struct LocalFilesAllowed {
    std::string saved;
    bool hidden = false;
    LocalFilesAllowed()
    {
        const char *value = getenv(kSkipLocal);
        if (value != NULL) {
            saved = value;
            hidden = true;
            unsetenv(kSkipLocal);
        }
    }
    ~LocalFilesAllowed()
    {
        if (hidden)
            setenv(kSkipLocal, saved.c_str(), 1);
    }
};

enum State { kUnchecked, kUsable, kRefused };
State state = kUnchecked;

std::string homeFile()
{
    const struct passwd *pw = getpwuid(getuid());
    if (pw == NULL || pw->pw_dir == NULL || pw->pw_dir[0] == '\0')
        return std::string();
    return std::string(pw->pw_dir) + "/.vartenarc";
}

/* The file the toolkit reads: the first entry of its search that names
 * something (a dangling link names nothing), or "" when there is none. */
std::string foundFile()
{
    const char *ncbi = getenv("NCBI");
    std::string shared = ncbi != NULL && ncbi[0] != '\0' ? ncbi : "/etc/ncbi";
    const std::string candidates[] = {kLocalFile, homeFile(), shared + "/vartenarc", shared + "/.vartenarc"};
    struct stat st;
    for (const std::string &path : candidates)
        if (!path.empty() && stat(path.c_str(), &st) == 0)
            return path;
    return std::string();
}

void notRegular(const std::string &path)
{
    Nlm_Message(ALERT_OK, "Settings file '%s': not a regular file", path.c_str());
}

/* FALSE once the file the toolkit would read has been found to be no
 * regular file (said once), until the next ReloadSettings. */
bool usable()
{
    if (state == kUnchecked) {
        std::string path = foundFile();
        struct stat st;
        state = kUsable;
        if (!path.empty() && stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            notRegular(path);
            state = kRefused;
        }
    }
    return state == kUsable;
}

/* ---- The reader's view of a text */

struct Piece {
    size_t begin, end;
};

std::vector<Piece> pieces(const std::string &text)
{
    std::vector<Piece> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = pos;
        while (end < text.size() && end - pos < kPieceMax)
            if (text[end++] == '\n')
                break;
        out.push_back({pos, end});
        pos = end;
    }
    return out;
}

enum Kind { kSkip, kComment, kHeader, kEntry };

/* The kind of a piece and, for a header or an entry, its name. */
Kind classify(const std::string &text, const Piece &p, std::string *name)
{
    char first = text[p.begin];
    if (first == '\n' || first == '\r')
        return kSkip;
    if (first == ';')
        return kComment;
    size_t end = p.begin;
    if (first == '[') {
        end = p.begin + 1;
        while (end < p.end && text[end] != ']' && text[end] != '\0')
            end++;
        *name = text.substr(p.begin + 1, end - p.begin - 1);
        return kHeader;
    }
    while (end < p.end && text[end] != '\r' && text[end] != '\n' && text[end] != '\0' && text[end] != '=')
        end++;
    size_t from = p.begin;
    while (from < end && (text[from] == ' ' || text[from] == '\t'))
        from++;
    while (end > from && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        end--;
    *name = text.substr(from, end - from);
    return kEntry;
}

bool sameName(const std::string &a, const char *b)
{
    return strlen(b) == a.size() && Nlm_StrICmp(a.c_str(), b) == 0;
}

/* The value of an entry as the reader gives it: what follows its first
 * "=" up to a line break, blanks and tabs trimmed; an entry without "="
 * holds its own name. */
std::string entryValue(const std::string &text, const Piece &p, const std::string &name)
{
    size_t from = p.begin;
    while (from < p.end && text[from] != '=' && text[from] != '\r' && text[from] != '\n' && text[from] != '\0')
        from++;
    if (from == p.end || text[from] != '=')
        return name;
    size_t end = ++from;
    while (end < p.end && text[end] != '\r' && text[end] != '\n' && text[end] != '\0')
        end++;
    while (from < end && (text[from] == ' ' || text[from] == '\t'))
        from++;
    while (end > from && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        end--;
    return text.substr(from, end - from);
}

/* ---- Settings held in memory (StageSettings) */

/* A section and a key as one name that matches without regard to case. */
std::string nameOf(const std::string &section, const std::string &key)
{
    std::string name = section + '\n' + key;
    for (char &c : name)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return name;
}

struct Staged {
    bool active = false;
    std::string text;
    std::map<std::string, std::string> stored; /* values as stored, ends' blanks kept */
    std::map<std::string, std::string> read;   /* the text as the reader sees it */
    bool readValid = false;
} staged;

/* Every value of a settings text as the reader gives it, by nameOf: the
 * first of each key in the first section of each name. */
std::map<std::string, std::string> readerView(const std::string &text)
{
    std::map<std::string, std::string> view;
    std::vector<std::string> seen;
    std::string name, current;
    bool reading = false;
    for (const Piece &p : pieces(text)) {
        Kind kind = classify(text, p, &name);
        if (kind == kHeader) {
            current = nameOf(name, "");
            reading = std::find(seen.begin(), seen.end(), current) == seen.end();
            seen.push_back(current);
        } else if (kind == kEntry && reading) {
            view.emplace(current + nameOf("", name).substr(1), entryValue(text, p, name));
        }
    }
    return view;
}

/* The value of [section] key in the staged settings, or NULL. */
const std::string *stagedValue(const char *section, const char *key)
{
    auto s = staged.stored.find(nameOf(section, key));
    if (s != staged.stored.end())
        return &s->second;
    if (!staged.readValid)
        staged.read = readerView(staged.text), staged.readValid = true;
    auto r = staged.read.find(nameOf(section, key));
    return r != staged.read.end() ? &r->second : NULL;
}

/* value into buf as Nlm_GetAppParam places it: cut to size - 1, its
 * length returned. */
int placeValue(const std::string *value, char *buf, size_t size)
{
    size_t n = value != NULL ? std::min(value->size(), size - 1) : 0;
    if (n > 0)
        memcpy(buf, value->data(), n);
    buf[n] = '\0';
    return static_cast<int>(n);
}

/* The staged settings after SetParam: the text edited as the file would
 * be, the value kept as stored. */
unsigned char stagedSet(const char *section, const char *key, const char *value)
{
    bool wholeSection = key == NULL || key[0] == '\0';
    if (settingsEdit(staged.text, section, key, value) < 0 && (wholeSection || value != NULL))
        return FALSE;
    staged.readValid = false;
    std::string prefix = nameOf(section, "");
    if (wholeSection) {
        for (auto it = staged.stored.lower_bound(prefix); it != staged.stored.end() && it->first.compare(0, prefix.size(), prefix) == 0;)
            it = staged.stored.erase(it);
    } else if (value == NULL) {
        staged.stored.erase(nameOf(section, key));
    } else {
        staged.stored[nameOf(section, key)] = value;
    }
    return TRUE;
}

/* ---- Reading and writing the file */

/* The file a change is written to: the working directory's when there is
 * one, else the home directory's (made there when missing). */
std::string writeTarget()
{
    struct stat st;
    return lstat(kLocalFile, &st) == 0 ? std::string(kLocalFile) : homeFile();
}

/* The text of path into text and the mode to keep; FALSE after an alert.
 * A dangling link reads as an empty file (it is replaced by the write). */
bool readTarget(const std::string &path, bool exists, std::string *text, int *mode)
{
    mode_t mask = umask(0);
    umask(mask);
    *mode = static_cast<int>(0666 & ~mask);
    text->clear();
    struct stat st;
    if (!exists)
        return true;
    /* a link's file keeps what may read it: its content is copied under
     * its mode, never under a wider one */
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        *mode = static_cast<int>(st.st_mode & 07777);
    if (readRegularFile(path, text))
        return true;
    if (stat(path.c_str(), &st) != 0 && errno == ENOENT)
        return true;
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        notRegular(path);
    else
        Nlm_Message(ALERT_OK, "Cannot open file '%s'", path.c_str());
    return false;
}

/* A name the file can hold and give back: a section without "]" or a line
 * break; a key without "=" or a line break, not beginning with ";" or "[",
 * without blanks or tabs at its ends. */
bool storable(const char *section, const char *key)
{
    if (strpbrk(section, "]\r\n") != NULL || strlen(section) + 2 > SETTINGS_LINE_MAX)
        return false;
    if (key == NULL || key[0] == '\0')
        return true;
    size_t n = strlen(key);
    return strpbrk(key, "=\r\n") == NULL && key[0] != ';' && key[0] != '[' && key[0] != ' ' &&
           key[0] != '\t' && key[n - 1] != ' ' && key[n - 1] != '\t';
}

} // namespace

int settingsGet(const char *section, const char *key, char *buf, size_t size)
{
    buf[0] = '\0';
    if (staged.active)
        return placeValue(key[0] != '\0' ? stagedValue(section, key) : NULL, buf, size);
    if (!usable())
        return -1;
    LocalFilesAllowed allowed;
    return Nlm_GetAppParam(SETTINGS_FILE, section, key, "", buf, static_cast<Nlm_Int2>(size));
}

unsigned char SetParamTransient(const char *section, const char *key, const char *value)
{
    char any[2];
    if (section == NULL || key == NULL || value == NULL || *section == '\0' || *key == '\0' || *value == '\0' ||
        settingsGet(section, key, any, sizeof any) < 0)
        return FALSE;
    if (staged.active)
        return staged.stored[nameOf(section, key)] = value, TRUE;
    LocalFilesAllowed allowed;
    return Nlm_TransientSetAppParam(SETTINGS_FILE, section, key, value);
}

int settingsEdit(std::string &text, const char *section, const char *key, const char *value)
{
    const bool wholeSection = key == NULL || key[0] == '\0';
    std::vector<Piece> all = pieces(text), cut;
    std::string name, headerName;
    const size_t none = all.size();
    size_t header = none, entry = none, last = none; /* of the first section of the name */
    size_t open = none, openLast = none;             /* the section of the name being read */
    int sections = 0;
    for (size_t i = 0; i <= all.size(); i++) {
        Kind kind = i < all.size() ? classify(text, all[i], &name) : kHeader;
        if (kind == kHeader) {
            if (open != none && wholeSection)
                cut.push_back({all[open].begin, all[openLast].end});
            open = none;
            if (i < all.size() && sameName(name, section)) {
                open = openLast = i;
                if (sections++ == 0)
                    header = last = i, headerName = name;
            }
            continue;
        }
        if (open == none || kind != kEntry)
            continue;
        openLast = i;
        if (sections > 1)
            continue;
        last = i;
        if (!wholeSection && sameName(name, key)) {
            if (value == NULL)
                cut.push_back(all[i]);
            else if (entry == none)
                entry = i;
        }
    }

    if (wholeSection || value == NULL) {
        if (cut.empty())
            return -1;
        for (size_t i = cut.size(); i-- > 0;)
            text.erase(cut[i].begin, cut[i].end - cut[i].begin);
        return 1;
    }
    std::string line = std::string(key) + "=" + value + "\n";
    if (entry != none) {
        text.replace(all[entry].begin, all[entry].end - all[entry].begin, line);
    } else if (header != none) {
        size_t at = all[last].end;
        if (text[at - 1] == '\n') {
            text.insert(at, line);
        } else if (last == header && at == text.size() && at - all[header].begin < kPieceMax) {
            /* a header that ends the file without "]" runs to the file's
             * end: a line break after it would become part of its name */
            text.replace(all[header].begin, at - all[header].begin, "[" + headerName + "]\n" + line);
        } else {
            text.insert(at, "\n" + line);
        }
    } else {
        if (!text.empty() && text.back() != '\n')
            text += '\n';
        text += "[" + std::string(section) + "]\n" + line;
    }
    return 1;
}

namespace {

/* The change made on the file at path as it is now (the caller holds its
 * lock); FALSE after the alert. */
unsigned char changeFile(const std::string &path, const char *section, const char *key, const char *value)
{
    struct stat st;
    bool exists = lstat(path.c_str(), &st) == 0;
    std::string text;
    int mode;
    if (!readTarget(path, exists, &text, &mode))
        return FALSE;
    std::string before = text;
    if (settingsEdit(text, section, key, value) < 0)
        return key == NULL || key[0] == '\0' ? FALSE : TRUE;
    if (exists && text == before)
        return TRUE;
    return WriteFileSafely(path.c_str(), text.data(), text.size(), mode, NULL);
}

} // namespace

unsigned char settingsSet(const char *section, const char *key, const char *value)
{
    if (section == NULL || section[0] == '\0')
        return FALSE;
    bool removesSection = key == NULL || key[0] == '\0';
    if (!storable(section, key) || (value != NULL && strpbrk(value, "\r\n") != NULL)) {
        Nlm_Message(ALERT_OK, "Settings file '%s', section '%s', key '%s': the name cannot be stored",
                    SETTINGS_FILE, section, key != NULL ? key : "");
        return FALSE;
    }
    if (!removesSection && value != NULL && (SettingsValueCheck(key, value) & SETTINGS_VALUE_TOO_LONG)) {
        Nlm_Message(ALERT_OK,
                    "Settings file '%s', section '%s', key '%s': the value is too long for a settings line",
                    SETTINGS_FILE, section, key);
        return FALSE;
    }

    if (staged.active)
        return stagedSet(section, key, value);
    std::string path = writeTarget();
    if (path.empty()) {
        Nlm_Message(ALERT_OK, "Cannot open file '%s'", ".vartenarc");
        return FALSE;
    }
    std::string lock = path + ".lock";
    int taken = TakeLock(lock.c_str(), SETTINGS_LOCK_WAIT);
    if (taken == 0)
        Nlm_Message(ALERT_OK, "Settings file '%s', section '%s', key '%s': another program held the lock '%s' for %d seconds",
                    SETTINGS_FILE, section, removesSection ? "" : key, lock.c_str(), SETTINGS_LOCK_WAIT);
    else if (taken < 0)
        Nlm_Message(ALERT_OK, "Cannot write file '%s'", lock.c_str());
    unsigned char changed = taken > 0 ? changeFile(path, section, key, value) : FALSE;
    if (taken > 0)
        ReleaseLock(lock.c_str());
    /* the next read parses the file as this change left it, with the
     * changes of other programs made before it */
    ReloadSettings();
    return changed;
}

/* The toolkit keeps its parsed copy until it reads another settings file;
 * Nlm_FlushAppParam does not drop it, Nlm_FreeConfigStruct does. */
void ReloadSettings(void)
{
    Nlm_FreeConfigStruct();
    state = kUnchecked;
}

unsigned char StageSettings(const char *text)
{
    if (text == NULL)
        return FALSE;
    staged.active = true;
    staged.text = text;
    staged.stored.clear();
    staged.readValid = false;
    return TRUE;
}

const char *StagedSettings(void)
{
    return staged.active ? staged.text.c_str() : NULL;
}

void UnstageSettings(void)
{
    staged = Staged();
    ReloadSettings();
}

int ReadSettingsFile(const char *path, const char *section, const char *key, char *buf, size_t size)
{
    if (buf == NULL || size == 0)
        return 0;
    buf[0] = '\0';
    std::string text;
    if (path == NULL || section == NULL || key == NULL || key[0] == '\0' || !readRegularFile(path, &text))
        return 0;
    std::map<std::string, std::string> view = readerView(text);
    auto found = view.find(nameOf(section, key));
    return placeValue(found != view.end() ? &found->second : NULL, buf, size);
}
