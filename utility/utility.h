/*
 * utility.h - the utility layer shared by the package's programs.
 *
 * Contract
 * --------
 * - C linkage, C types only: the package's C programs include this header
 *   as it stands.  Booleans are the toolkit's one-byte truth value
 *   (unsigned char, TRUE 1, FALSE 0); 16-bit counts are short.
 * - Ownership: ParBuf is one shared 500-byte buffer; a text returned in it
 *   is valid until its next use by anyone, so callers copy what they keep.
 *   StrSubstitute and StrInsert take an owned heap string (Nlm_MemGet /
 *   Nlm_StringSave) and hand back the string that stands for it from then
 *   on; the pointer passed in must not be used again.  CurrentDirectory
 *   returns a block that the caller frees with Nlm_MemFree.
 * - Failures are reported once, where they happen, in a modal alert
 *   (Nlm_Message with key 1); the operation then returns NULL or FALSE and
 *   callers do not report it again.
 * - Limits: texts read from the settings file, their expansions and
 *   formatted texts hold at most 499 characters; a longer text is cut at
 *   499.  Nothing here writes past a buffer.
 * - Files: every file written here (the settings file included) is written
 *   whole to a temporary file beside it and renamed over it, so it holds
 *   either its old or its new content at every instant; a symbolic link in
 *   its place is replaced, never written through.  Files are read only when
 *   they are regular files, so a pipe or a device never blocks a read.
 * - Programs side by side: any number of the package's programs may store
 *   settings in one directory at once.  Each SetParam is one change under
 *   the settings file's lock, made on the file as it is then; a SetParam
 *   that returns TRUE is in the file afterwards.  Within a program there is
 *   one thread, and nothing is guarded.
 */
#ifndef VARTENA_UTILITY_H
#define VARTENA_UTILITY_H

#include <stddef.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Settings store: .vartenarc through the toolkit's settings functions */

#define PARBUF_SIZE 500

/* The shared result buffer of the settings reads, empty at start. */
extern char ParBuf[PARBUF_SIZE];

/* Reads [section] key, expands references, "~" and backquotes, then uses the
 * result as a printf format for the further arguments; the result is in
 * ParBuf.  NULL (after an alert) when the key is missing or empty, a
 * reference in it is undefined, or the expanded text holds a "%n"
 * directive (which would write through an argument); ParBuf is then left
 * untouched. */
char *GetParam(const char *section, const char *key, ...);

/* As GetParam without the formatting step; the value is read straight into
 * ParBuf, which is empty after "not found". */
char *GetParamString(const char *section, const char *key);

/* Appends the value to the text now in ParBuf and expands the whole. */
char *GetParamAppend(const char *section, const char *key);

/* Stores value under [section] key; every line break of value ("\n",
 * "\r\n" or a lone "\r") becomes one "~" in place, in the caller's
 * string.  A NULL or empty key removes every section of that name, a NULL
 * value every line of the key in the section that the reads take (the
 * first of its name), so that what was removed reads as missing.
 *
 * The settings file (the one the reads find: the working directory's, else
 * the home directory's, created there when there is none) is changed under
 * its lock, the file named with ".lock" added, held for this change only:
 * it is read afresh, edited line by line (every other line kept as it
 * stands), written whole beside itself and renamed into place.  A writer
 * waits up to SETTINGS_LOCK_WAIT seconds for another program's change; a
 * lock whose holder died is taken over at once.  The change is durable
 * once the program calls SyncWrittenFiles.
 *
 * Reads come from the toolkit's parsed copy of the file, made at the first
 * read after the program starts, after its last SetParam and after
 * ReloadSettings: a long-running program sees the changes of other
 * programs after its next SetParam or ReloadSettings, not before.
 *
 * TRUE when the change is in the file.  FALSE without an alert for a NULL
 * or empty section, or a section to remove that does not exist; FALSE
 * after one alert when the line "key=value" would not fit the 255
 * characters of a settings line, when a name cannot be held by the file,
 * when the lock stayed held for the whole wait, or when the file cannot
 * be read or written (it then stays as it was). */
unsigned char SetParam(const char *section, const char *key, char *value);

/* Seconds a change of the settings file waits for its lock: a change
 * holds it for well under a millisecond, so this outlasts a queue of any
 * number of them on a slow disk, while a program's window freezes no
 * longer than this when a Setup run holds the lock. */
#define SETTINGS_LOCK_WAIT 3

/* Sets [section] key to value in the toolkit's parsed copy only, for the
 * reads of this process: the file is not written, and the value is gone
 * at the next ReloadSettings or SetParam.  FALSE without an alert for a
 * NULL or empty name or value, or a settings file that cannot be read. */
unsigned char SetParamTransient(const char *section, const char *key, const char *value);

/* How a value stored under key reads back, as flags: 0 when exactly as it
 * stands (up to blanks at its ends, which every read strips);
 * SETTINGS_VALUE_TOO_LONG when the line "key=value" would pass the 255
 * characters of a settings line (SetParam refuses it);
 * SETTINGS_VALUE_CONVENTION when it holds a "~" or a backquote, read as a
 * line break or as nothing; SETTINGS_VALUE_REFERENCE when it holds what
 * the reads take for a $(Section.KEY) reference and replace by a value. */
#define SETTINGS_VALUE_TOO_LONG 1
#define SETTINGS_VALUE_CONVENTION 2
#define SETTINGS_VALUE_REFERENCE 4
int SettingsValueCheck(const char *key, const char *value);

/* Settings held in memory, for a task that writes the settings file only
 * when it is done (Setup's run): StageSettings makes text, the whole text
 * of a settings file, the settings that every read and SetParam of this
 * process works on from then on; the file is neither read nor written
 * meanwhile.  SetParam edits the text as it would edit the file (the same
 * refusals, no lock), and a value stored reads back as it was stored,
 * blanks at its ends included, as from the toolkit's parsed copy;
 * SetParamTransient sets a value for the reads only.  Any other value
 * reads as the file's text gives it.  StagedSettings gives the text as it
 * stands (NULL when nothing is staged), valid until the next SetParam or
 * UnstageSettings; UnstageSettings drops it, and the next read parses the
 * file.  FALSE for a NULL text. */
unsigned char StageSettings(const char *text);
const char *StagedSettings(void);
void UnstageSettings(void);

/* The value of [section] key in the settings file at path (another
 * directory's), read as the toolkit reads one, unexpanded, into buf of
 * size bytes (cut to size - 1); its length, 0 when it is missing or empty
 * or the file cannot be read.  No alert. */
int ReadSettingsFile(const char *path, const char *section, const char *key, char *buf, size_t size);

/* Expands $(Section.KEY) references in text (a 500-byte buffer), then turns
 * "~" into newlines and removes backquotes.  section and key name the
 * setting being read in the TRANSLN alert and may be NULL.  FALSE when a
 * reference is undefined (the text is then cut at that reference) or when
 * the references nest without end. */
unsigned char Translate(char *text, const char *section, const char *key);

/* Translate on a buffer of size bytes (at least 1): a text that grows past
 * size - 1 characters is cut there, and nothing is written past size
 * bytes; a text with no NUL within size is cut at size - 1 first.  FALSE
 * without an alert for a NULL text or a size of 0.  Translate is
 * TranslateBuf with PARBUF_SIZE. */
unsigned char TranslateBuf(char *text, size_t size, const char *section, const char *key);

/* Reference expansion alone, as in Translate. */
unsigned char TranslateRef(char *text, const char *section, const char *key);

/* Removes every backquote from text in place; always returns NULL. */
char *RemoveEmptyChars(char *text);

/* TRUE when an entry ".vartenarc" exists in the current directory. */
unsigned char GetConfigFilePath(void);

/* Drops the toolkit's parsed copy of the settings file, so that the next
 * read or write parses the file on disk afresh (found again from the
 * current directory).  Values stored earlier and not yet on disk are lost;
 * SetParam always writes through, so there are none.
 *
 * The settings file is looked for in the working directory, then in the
 * home directory (from the password database), then in the directory named
 * by NCBI (/etc/ncbi without it).  NCBI_DONT_USE_LOCAL_CONFIG is not
 * obeyed: the package's settings are per directory.  A settings file that
 * is not a regular file (a pipe, a device, a directory) is shown in one
 * alert and every read and write fails until the next ReloadSettings. */
void ReloadSettings(void);

/* Shows the message of key in section [KernelErrors], expanded and used as
 * a printf format for the further arguments.  A missing text shows nothing.
 * Always TRUE. */
unsigned char Warning(const char *key, ...);

/* ---- String editing */

/* Strips space, newline, carriage return, tab and 0x1A from both ends. */
void StrTrim(char *s);

/* Replaces every occurrence of pat by rep, left to right without overlap,
 * never searching a replacement again; with wordStart only where the
 * occurrence does not follow an ASCII letter or digit.  *count (if given)
 * receives the number of replacements.  Returns the owned string. */
char *StrSubstitute(char *s, const char *pat, const char *rep,
                    unsigned char wordStart, short *count);

/* Inserts ins at position pos (0 .. length of s) of the owned string s and
 * returns the new owned string. */
char *StrInsert(char *s, short pos, const char *ins);

/* ---- Description files: the one module-wide text descriptor */

/* Descriptor position: level in bits 31..24, byte offset in bits 23..0;
 * -1 is no position. */
unsigned char DescOpen(const char *name);
void DescClose(void);
unsigned char DescEof(void);
void DescRewind(void);
int DescSeek(int pos);
/* buf holds at least 350 bytes; it is returned, or NULL at the end. */
char *GetLine(char *buf);
int FindLine(const char *text);
short CountLines(void);
short mCountLines(short column);
char *mGetLine(char *buf, short column);
/* Width in pixels of the widest line of a text file in the GUI library's
 * current font; 0 when the file cannot be opened. */
short FileLineMaxWidth(const char *path);

/* ---- Files, directories, dialogs and commands */

/* The conversion letters of the printf directives of format, in order, into
 * letters (at most size - 1 of them; NULL or 0 keeps none); "%%" is no
 * directive, a "*" width or precision counts as a directive "*" of its own
 * (it takes an argument), and an unfinished directive at the end as "%".
 * Returns the number of directives. */
int FormatDirectives(const char *format, char *letters, size_t size);

/* Opens path for reading when it names a regular file (a link to one is
 * followed); NULL for anything else (missing, unreadable, a pipe, a device,
 * a directory), without an alert and without blocking.  Close it with
 * fclose or Nlm_FileClose. */
FILE *OpenRegularFile(const char *path);

/* The whole of the regular file at path (OpenRegularFile) in a new block,
 * NUL-terminated, that the caller frees with Nlm_MemFree, its length in
 * *length (if given); NULL without an alert when it cannot be read. */
char *ReadRegularFile(const char *path, size_t *length);

/* Replaces path with length bytes of data and the mode: the data goes to a
 * new temporary file in path's directory, every write and the close are
 * checked, the mode is set on the open file, and the file is renamed over
 * path (a link in its place is replaced; the file it named is never
 * touched).  On failure the temporary file is removed, path is as it was,
 * and FALSE comes after one alert: openAlert (a format taking the path;
 * NULL gives "Cannot open file '%s'") when no temporary file can be made,
 * "Cannot write file '%s'" when a later step fails.  Paths written are
 * remembered for SyncWrittenFiles. */
unsigned char WriteFileSafely(const char *path, const char *data, size_t length, int mode,
                              const char *openAlert);

/* An exclusive lock between processes named by path, a file made for it
 * (mode 0644) and removed when the lock is released; waits up to seconds
 * while another process holds it.  A lock whose holder died is taken over
 * at once: the holder keeps an flock on the file, or, where the file
 * system has none (ENOLCK), the file holds "pid host" and counts as left
 * when that process is gone (a lock of another host after ten minutes).
 * A process that holds the lock takes it again at once, counted: each
 * TakeLock that returns 1 is matched by one ReleaseLock.  1 when taken, 0
 * when another process held it all the while, -1 when the file cannot be
 * made or written (errno tells why).  No alert: the caller says what the
 * lock guards. */
int TakeLock(const char *path, double seconds);
void ReleaseLock(const char *path);

/* WriteFileSafely in its two steps, for a task that puts several files in
 * place together.  WriteFileBeside writes the new file whole under a
 * temporary name in path's directory and returns that name in a block
 * that the caller frees with Nlm_MemFree, or NULL after the alert;
 * RenameWrittenFile renames a file over another (remembered for
 * SyncWrittenFiles), FALSE after "Cannot write file '%s'" naming to. */
char *WriteFileBeside(const char *path, const char *data, size_t length, int mode, const char *openAlert);
unsigned char RenameWrittenFile(const char *from, const char *to);

/* Makes the files written since the last call, and their directories,
 * durable (one fsync each; one removed since is passed over).  FALSE after
 * "Cannot write file '%s'" for the first one that fails. */
unsigned char SyncWrittenFiles(void);

void ChangeDirectory(const char *path);
/* A new 4,095-byte block holding the working directory ("" when it cannot
 * be had), or NULL when no memory is left. */
char *CurrentDirectory(void);
unsigned char TruncateFile(FILE *stream, int length);
unsigned char myGetInputFileName(char *buf, size_t size, const char *ext);
unsigned char myGetOutputFileName(char *buf, size_t size, const char *dflt);
short ExecuteCommand(const char *command, void *unused, short (*callback)(void));
void myProcessAnyEvent(void);

/* Runs a shell command line (/bin/sh -c) as a child and, until it ends,
 * hands pending X events and due timers to their handlers with
 * myProcessAnyEvent, so that windows keep being drawn; meanwhile it sleeps
 * on the X connection and the child, never spinning.  Keys, buttons and
 * pointer moves that arrive meanwhile are dropped, so no control acts
 * while the command runs (handlers of other events run nested in the
 * call).  The child is the leader of a process group of its own and gets
 * SIGTERM when the calling thread ends first.  Returns the wait status as
 * system gives it, -1 when no child could be started. */
int RunCommandWithEvents(const char *command);

/* ---- Shared library registry */

#define LIB_SLOTS 20

/* A slot is in use exactly when name is not NULL. */
struct LibSlot {
    char *name;    /* heap copy of the path as loaded */
    void *handle;  /* the dynamic loader's handle */
    int count;     /* locks not yet released */
};
extern struct LibSlot Libs[LIB_SLOTS];

/* A deferred unlock; the list runs newest first. */
struct UnlockRequest {
    struct UnlockRequest *next;
    void (*callback)(void);
    void *handle;
};
extern struct UnlockRequest *UnlockList;

/* The host's service tables, handed to "_VartInit" and "_VartIInit". */
#define CORE_FUNCS 32
#define INTER_FUNCS 32
extern void *CoreFuncTable[CORE_FUNCS];
extern void *InterFuncTable[INTER_FUNCS];
extern void *LibHandles[1];

/* The library whose path is [Libraries] key, expanded; "%%" in the path
 * reads as "%", and a path with any other printf directive is refused with
 * an alert. */
void *LibraryLock(const char *key);
void *my_LibraryLock(const char *path);
void *LibraryUnlock(void *handle);
int my_LibraryUnlock(void *handle);
void *LibraryFuncAddress(void *handle, const char *name);
void *LibraryFuncAddressCond(void *handle, const char *name);
void LibraryUnlockRequest(void *handle, void (*callback)(void));
void LibraryUnlockRequested(void);
void LibraryUnlockAll(void);

#ifdef __cplusplus
}
#endif

#endif /* VARTENA_UTILITY_H */
