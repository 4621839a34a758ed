/*
 * The installation run: the action of "Setup" (SetupProc) and the template
 * writer it uses (CreateFile).
 *
 * A run disables the buttons, checks the home directory, writes .vartenarc
 * afresh from SetData, stores the window's values in it, writes or checks
 * the package's files and quits the program.  A stopping failure shows its
 * alert, gives the buttons back and returns; files written so far stay, and
 * the next run starts again from the template in every key.
 *
 * Files: every file is written whole beside its name and renamed into
 * place (WriteFileSafely), so a full disk, a file-size limit or a killed
 * run leaves each file old or new, never cut; the files a run wrote are
 * made durable when it ends or stops.  A failed write stops the run, since
 * the package cannot work without its files.  One run at a time in a
 * directory: a second one stops at the lock.
 *
 * A run either ends with an installation that works or stops with an
 * alert naming the field or file: fields are checked before anything is
 * written, and a Full run proves the compile script on a tiny system.
 *
 * Limits: field texts are read into a 16384-byte work buffer (at most 16380
 * characters); values and expanded template lines are the settings store's
 * (499 characters, a settings line 255); the compile command and the class
 * line hold 499 characters; the compile script's first line takes a shell
 * path of at most 495 characters.  A longer text is cut where cutting is
 * harmless; a home directory or a compile command that would have to be
 * cut is refused instead, so no file is written in a wrong place and no
 * half command runs.
 */
#include "setup.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>

/* The install notice goes to these two addresses, separated by a blank;
 * change them here. */
#define NOTICE_RECIPIENTS "vartena-authors@example.org vartena-notices@example.org"

/* The notice command; its "?" becomes "m" (Full) or "u" (User) in the copy
 * that a run sends, so msg itself keeps it.  It runs in a private scratch
 * directory, where del1 and del2 are made and removed. */
char msg[] = "echo '\nVARTENA 1.5? installed on'>del1;uname -a>del2;cat del1 del2|mail "
             NOTICE_RECIPIENTS ";rm del1 del2";

/* The autodif compile command of the current run, then its class line. */
char CompAutodif[PARBUF_SIZE];

namespace {

enum {
    kWorkSize = 16384,  /* field texts and paths */
    kFieldLimit = 16381, /* size given to Nlm_GetTitle: 16380 characters */
    kShellPathMax = PARBUF_SIZE - 5 /* "#! ", the path, "\n", NUL */
};

const Nlm_Int2 kFull = 1;
const char kExecutable[] = "vartena";
const char kHierarchy[] = "&hierarchy";
const char kCompileFormat[] = "%s -c -o autodif.o autodif.cc %s";
const char kUserObject[] = "$(Paths.KERNEL)autodif$(Extensions.OBJ)";

const char kNoDirectory[] = "Specify full path to the VARTENA's home directory";
const char kNoExecutable[] = "The path you've specified does not contain VARTENA executable";
const char kFieldRefused[] = "The \"%s\" field %s.\nPlease correct it and press Setup again.";
const char kTooLong[] = "is too long for a line of the settings file";
const char kLineBreakOrEmpty[] =
    "holds a ~ or ` character, which the settings file reads as a line break or as nothing";
const char kReference[] = "holds a $(Section.KEY) reference, which the settings file replaces by a value";
const char kDirectoryChars[] = "may hold no blank, comma, % or shell special character ;&|<>()$'\"\\`";
const char kDirectives[] = "may hold no printf directive but %s (or %% for a %)";
const char kTooManyNames[] =
    "holds more %s than the package fills in: it gives the command as many file names as the default has";
const char kProofFailed[] =
    "The compile script '%s' cannot build a system:\n%s\n"
    "Please check the C compiler's Include and Libraries and the shell path, then press Setup again.";
const char kNoSettings[] = "Cannot open settings file '%s'";
const char kNoBatch[] = "Cannot open batch file for compiler '%s'";
const char kNoClassFile[] = "Cannot open class description file\n%s";
const char kPercentClass[] =
    "Class description file '%s':\nthe class line after &hierarchy holds a %% character,\n"
    "so the current class is not recorded";
const char kLockFile[] = ".vartenarc.lock";
const char kLocked[] = "Another Setup is running in this directory: '%s' is locked";
const char kNoCompile[] =
    "Cannot compile autodif.cc.\nSymbolical differentiation feature will be disabled.\n"
    "Please check the name of C++ compiler\nand ensure it is accessable via the PATH variable";
const char kNoUserObject[] =
    "Could not run C++ compiler during the full installation.\n"
    "Symbolical differentiation feature will be disabled.";

/* An alert with one OK button; format has at most one "%s". */
void alert(const char *format, const char *arg = NULL)
{
    Nlm_Message(MSG_OK, format, arg);
}

/* The text of a control in the work buffer, at most 16380 characters. */
char *fieldText(Nlm_Handle control, char *work)
{
    work[0] = '\0';
    Nlm_GetTitle(control, work, kFieldLimit);
    work[kFieldLimit - 1] = '\0';
    return work;
}

/* The watch cursor over the window for as long as it lives, then the
 * arrow.  Set through the toolkit's shape switch, which calls
 * Nlm_WatchCursor and Nlm_ArrowCursor and keeps the shape it set. */
struct BusyCursor {
    BusyCursor() { Nlm_SetCursorShape(CURSOR_WATCH); }
    ~BusyCursor() { Nlm_SetCursorShape(CURSOR_ARROW); }
};

/* Stores a copy of text: SetParam turns line breaks into "~" in place.
 * FALSE when the settings file could not take it (the store has said why);
 * the run then stops, since the package cannot work from that file. */
Nlm_Boolean store(const char *section, const char *key, const char *text)
{
    std::string copy(text);
    return SetParam(section, key, &copy[0]);
}

/* A settings value, expanded and copied out of ParBuf (not used as a
 * format: no argument is passed); empty when the store could not supply it
 * (it has said why). */
std::string param(const char *section, const char *key)
{
    const char *value = GetParamString(section, key);
    return value != NULL ? std::string(value) : std::string();
}

/* Mode bits from a nine-character string such as "rw-r--r--". */
mode_t permissionMode(const char *permissions)
{
    static const mode_t bits[9] = {S_IRUSR, S_IWUSR, S_IXUSR, S_IRGRP, S_IWGRP,
                                   S_IXGRP, S_IROTH, S_IWOTH, S_IXOTH};
    static const char letters[] = "rwx";
    mode_t mode = 0;
    for (int i = 0; i < 9 && permissions[i] != '\0'; i++)
        if (permissions[i] == letters[i % 3])
            mode |= bits[i];
    return mode;
}

/* A template line expanded as the settings store reads a value back
 * ([TMP] TMP): references expanded, "~" a line break, backquotes gone; the
 * result is in ParBuf.  The line is expanded where it stands instead of
 * being stored in the settings file and read back, which would rewrite the
 * file once for every line and lose the line's leading blanks.  NULL when
 * the expansion failed (the store has said so): the half-expanded line
 * would end in "$(" and a section name, which is not written, since in a
 * script it would break every line after it. */
const char *expandLine(const char *line)
{
    size_t n = strnlen(line, PARBUF_SIZE - 1);
    memcpy(ParBuf, line, n);
    ParBuf[n] = '\0';
    return Translate(ParBuf, "TMP", "TMP") ? ParBuf : NULL;
}

/* The lines of a table from its line first on, each followed by a line
 * break, expanded when asked; a line that fails to expand is left out. */
std::string tableText(const char *const *lines, size_t first, Nlm_Boolean expand)
{
    std::string text;
    for (size_t i = first; lines[i] != NULL; i++) {
        const char *line = expand ? expandLine(lines[i]) : lines[i];
        if (line == NULL)
            continue;
        text += line;
        text += '\n';
    }
    return text;
}

/* Stops the run: the buttons work again and the window stays. */
void stopRun(const char *format, const char *arg = NULL)
{
    alert(format, arg);
    Nlm_Enable(gTerm);
}

time_t modified(const char *path, Nlm_Boolean *exists)
{
    struct stat st;
    *exists = stat(path, &st) == 0;
    return *exists ? st.st_mtime : 0;
}

/* TRUE when text holds what the settings store takes for a reference:
 * "$(", a section name, ".", a key, ")" (as its expansion scans them). */
Nlm_Boolean holdsReference(const char *text)
{
    for (const char *p = strstr(text, "$("); p != NULL; p = strstr(p + 1, "$(")) {
        const char *dot = strchr(p + 2, '.');
        if (dot != NULL && dot > p + 2 && dot[1] != '\0' && dot[1] != ')' && strchr(dot + 1, ')') != NULL)
            return TRUE;
    }
    return FALSE;
}

/* Refuses a field with the alert that names it; FALSE. */
Nlm_Boolean refuse(const char *label, const char *reason)
{
    Nlm_Message(MSG_OK, kFieldRefused, label, reason);
    return FALSE;
}

/* A value that the settings file gives back as it was typed, stored under
 * key: its line fits, and it holds no line break, empty character or
 * reference of the store's conventions.  FALSE after the alert. */
Nlm_Boolean storable(const char *label, const char *key, const std::string &value)
{
    if (strlen(key) + 1 + std::max<size_t>(value.size(), 1) > 255)
        return refuse(label, kTooLong);
    if (value.find_first_of("~`") != std::string::npos)
        return refuse(label, kLineBreakOrEmpty);
    if (holdsReference(value.c_str()))
        return refuse(label, kReference);
    return TRUE;
}

/* The value a field is stored as: its text, or the empty character for an
 * empty one, so that a script line referring to it stays and reads it as
 * nothing. */
std::string storedForm(const char *text)
{
    return text[0] != '\0' ? std::string(text) : std::string("`");
}

/* The home directory as it is stored, ending in "/". */
std::string kernelText(char *work)
{
    std::string kernel = fieldText(tKernel, work);
    if (kernel.empty() || kernel.back() != '/')
        kernel += '/';
    return kernel;
}

/* Every field checked before anything is written: each value must come
 * back from the settings file as typed; the home directory must be a
 * plain path that a compile command takes unquoted (no blank, comma,
 * "%" or shell special character); a tuning command may hold only "%s"
 * directives, no more than its default, since the package formats it
 * with that many file names.  FALSE after the alert naming the field. */
Nlm_Boolean fieldsStorable(char *work)
{
    std::string kernel = kernelText(work);
    if (kernel.find_first_of(" ,%;&|<>()$'\"\\`\n") != std::string::npos)
        return refuse("VARTENA directory", kDirectoryChars);
    if (!storable("VARTENA directory", "KERNEL", kernel))
        return FALSE;
    const struct {
        Nlm_TexT field;
        const char *label, *key;
    } compilers[] = {{tInclude, "Include", "INCLUDE"},
                     {tLib, "Libraries", "LIB"},
                     {tCppName, "Name", "CPPNAME"},
                     {tCppLib, "Options", "CPPLIB"}};
    for (const auto &c : compilers) {
        std::string value = fieldText(c.field, work);
        if (c.field == tInclude)
            value += " -I" + kernel;
        if (!storable(c.label, c.key, value))
            return FALSE;
    }
    for (int i = 0; i < TUNING_ENTRIES; i++) {
        if (Adjust[i].field == NULL)
            continue;
        fieldText(Adjust[i].field, work);
        StrTrim(work);
        if (!storable(Adjust[i].label, Adjust[i].key, work))
            return FALSE;
        char letters[PARBUF_SIZE];
        int count = FormatDirectives(work, letters, sizeof letters);
        if (strspn(letters, "s") != strlen(letters))
            return refuse(Adjust[i].label, kDirectives);
        int from = 0;
        const char *dflt = TuningDefault(&Adjust[i], &from);
        if (count > FormatDirectives(dflt != NULL ? dflt : "", NULL, 0))
            return refuse(Adjust[i].label, kTooManyNames);
    }
    return TRUE;
}

/* The file-number file: moved from its earlier name when only that one
 * exists, else created holding "-".  FALSE (after the alert) when it
 * cannot be created. */
Nlm_Boolean fileNumberFile(void)
{
    std::string names = param("Files", "NAMES");
    if (names.empty() || access(names.c_str(), F_OK) == 0)
        return TRUE;
    std::string earlier = param("Files", "NAMES1.2");
    if (!earlier.empty() && access(earlier.c_str(), F_OK) == 0)
        rename(earlier.c_str(), names.c_str());
    return access(names.c_str(), F_OK) == 0 || WriteFileSafely(names.c_str(), "-", 1, 0644, NULL);
}

/* The compile script: its own first line ("#! " and the shell path), then
 * the style's table from its second line, expanded, made executable.
 * FALSE (after the alert) when it cannot be written. */
Nlm_Boolean writeCompileScript(void)
{
    std::string batch = param("Compiler", "BATCH");
    Nlm_Int2 style = Nlm_GetValue(gShellStyle);
    if (style < 1 || style > SHELL_STYLES)
        style = 1;
    char shellPath[kShellPathMax + 1];
    shellPath[0] = '\0';
    Nlm_GetTitle(tShellPath, shellPath, sizeof shellPath);
    shellPath[kShellPathMax] = '\0';
    std::string text = std::string("#! ") + shellPath + "\n" + tableText(shells[style - 1].script, 1, TRUE);
    return WriteFileSafely(batch.c_str(), text.data(), text.size(), 0755, kNoBatch);
}

/* TRUE when autodif.o exists and no source that exists is newer. */
Nlm_Boolean autodifCurrent(void)
{
    Nlm_Boolean haveObject, haveSource;
    time_t object = modified("autodif.o", &haveObject);
    static const char *const sources[] = {"autodif.c", "autodif.cc"};
    for (const char *source : sources) {
        time_t t = modified(source, &haveSource);
        if (haveObject && haveSource && difftime(t, object) > 0)
            return FALSE;
    }
    return haveObject;
}

/* The autodif object in the current directory: compiled with the C++
 * compiler named compiler when it is missing or older than a source that
 * exists.  Without a compiler's name, or when the command did not fit its
 * buffer, nothing runs and the object counts as not made; after the
 * command, a failed exit or an object still missing or older than its
 * source counts so too.  FALSE when the settings file could not take
 * AUTODIFOPT. */
Nlm_Boolean compileAutodif(Nlm_Boolean commandFits, const std::string &compiler)
{
    if (!compiler.empty() && autodifCurrent())
        return TRUE;
    if (!compiler.empty() && commandFits) {
        std::string shown = "Compiling autodif.cc with " + compiler + " ...";
        int status = RunShowingStatus(CompAutodif, shown.c_str());
        if (status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0 && autodifCurrent())
            return TRUE;
    }
    alert(kNoCompile);
    return store("Libraries", "AUTODIFOPT", "-");
}

/* A one-equation system as the package writes its source: the line of
 * [Compiler] HEADER, which includes the system header, then the right-hand
 * side, using the header's macros.  At x = 1, p = 2 it gives 5. */
const char kProofSystem[] = "double vart_proof_rhs(double x, double p)\n"
                            "{\n"
                            "    return -x + sqr(p) + iff(x > 0, TRUE, FALSE) * dersub2(1, 1);\n"
                            "}\n";

/* The first lines of a log, at most eight of 100 characters; "" when it is
 * empty or missing. */
std::string logHead(const std::string &path)
{
    std::string head;
    FILE *f = OpenRegularFile(path.c_str());
    char line[101];
    for (int n = 0; f != NULL && n < 8 && fgets(line, sizeof line, f) != NULL; n++) {
        head += line;
        if (head.back() != '\n')
            head += '\n';
    }
    if (f != NULL)
        fclose(f);
    while (!head.empty() && head.back() == '\n')
        head.pop_back();
    return head;
}

/* The compile script proven as the package will use it, before the run
 * may end: the source of a tiny system written in a private directory
 * beside the script's users, [Compiler] MAKERHS run there with the
 * package's names for the source and the library, and the library it
 * built loaded and called.  The directory is removed with all it holds.
 * FALSE after the alert naming the script and showing the first lines of
 * the compiler's log. */
Nlm_Boolean proveCompileScript(void)
{
    std::string script = param("Compiler", "BATCH");
    ScratchDirectory dir(".");
    std::string source = param("Files", "RHS");
    const char *formatted = GetParam("Files", "FORMAT", 1);
    std::string library = formatted != NULL ? formatted : "";
    const char *header = GetParamString("Compiler", "HEADER");
    std::string text = std::string(header != NULL ? header : "") + kProofSystem;
    std::string sourceFile = dir.path() + "/" + source + param("Extensions", "C");
    std::string libraryFile = dir.path() + "/" + library + param("Extensions", "LIB");

    std::string failure;
    FILE *f = dir.path().empty() ? NULL : fopen(sourceFile.c_str(), "w");
    if (f == NULL || fputs(text.c_str(), f) == EOF || fclose(f) != 0) {
        failure = "no test system could be written in the working directory";
    } else {
        SetParamTransient("Compiler", "SOURCE", source.c_str());
        SetParamTransient("Compiler", "TARGET", library.c_str());
        SetParamTransient("Compiler", "DIFF", "n");
        std::string command = param("Compiler", "MAKERHS");
        ReloadSettings();
        dir.run(command + " >proof.log 2>&1", "Checking the compile script ...");
        void *handle = dlopen(libraryFile.c_str(), RTLD_NOW | RTLD_LOCAL);
        typedef double (*Rhs)(double, double);
        Rhs rhs = handle != NULL ? reinterpret_cast<Rhs>(dlsym(handle, "vart_proof_rhs")) : NULL;
        Nlm_Boolean works = rhs != NULL && rhs(1.0, 2.0) == 5.0;
        if (handle == NULL)
            failure = dlerror();
        if (handle != NULL)
            dlclose(handle);
        if (works)
            return TRUE;
        std::string log = logHead(dir.path() + "/" + param("Compiler", "LOGFILE"));
        if (log.empty())
            log = logHead(dir.path() + "/proof.log");
        if (!log.empty())
            failure = log;
        if (failure.empty())
            failure = "the library it built does not compute the system";
    }
    Nlm_Message(MSG_OK, kProofFailed, script.c_str(), failure.c_str());
    return FALSE;
}

/* The object of the Full installation, seen from a user directory; the
 * [TMP] section used to expand its path stays in the settings file. */
Nlm_Boolean checkUserObject(void)
{
    if (!store("TMP", "TMP", kUserObject))
        return FALSE;
    const char *path = GetParam("TMP", "TMP");
    if (path != NULL && access(path, F_OK) == 0)
        return TRUE;
    alert(kNoUserObject);
    return store("Libraries", "AUTODIFOPT", "-");
}

/* The current class from the line after "&hierarchy": its first word and
 * the description file named by its second.  A line of fewer than two
 * words, or none, changes neither key; nor does a line whose words hold a
 * "%", which every formatted read of the keys would take for a directive
 * (shown, and the run goes on).  FALSE (after the alert) when the class
 * description file cannot be opened or the settings file cannot take the
 * keys. */
Nlm_Boolean recordClass(char *work)
{
    std::string classFile = param("Files", "CLASSFILE");
    if (classFile.empty() || !DescOpen(classFile.c_str())) {
        DescClose();
        alert(kNoClassFile, classFile.c_str());
        return FALSE;
    }
    Nlm_Boolean stored = TRUE;
    char first[PARBUF_SIZE];
    if (FindLine(kHierarchy) >= 0 && GetLine(CompAutodif) != NULL &&
        sscanf(CompAutodif, " %499s %499s", first, work) == 2) {
        if (strchr(first, '%') != NULL || strchr(work, '%') != NULL) {
            alert(kPercentClass, classFile.c_str());
        } else {
            stored = store("Currents", "CLASSCUR", first);
            std::string second(work);
            const char *path = stored ? GetParam("Files", "CLASSFILECUR", second.c_str()) : NULL;
            if (path != NULL)
                stored = store("Files", "CLASSFILECUR", path);
        }
    }
    DescClose();
    return stored;
}

/* The notice command with its "?" replaced, run in a scratch directory. */
void sendNotice(Nlm_Boolean full)
{
    std::string command(msg);
    size_t mark = command.find('?');
    if (mark != std::string::npos)
        command[mark] = full ? 'm' : 'u';
    RunInScratchDir(command.c_str(), NULL, "Sending the install notice ...");
}

/* One Setup at a time in a directory: the settings file's lock, taken
 * for the run (TakeLock), so that the store's changes within the run take
 * it again at once while other programs' changes wait for the run to end.
 * A lock left by a process that died blocks nobody. */
class RunLock {
public:
    Nlm_Boolean take()
    {
        int taken = TakeLock(kLockFile, SETTINGS_LOCK_WAIT);
        if (taken <= 0)
            alert(taken == 0 ? kLocked : "Cannot write file '%s'", kLockFile);
        held_ = taken > 0;
        return held_;
    }
    ~RunLock()
    {
        if (held_)
            ReleaseLock(kLockFile);
    }

private:
    bool held_ = false;
};

/* The window's values into the settings file (checked by fieldsStorable),
 * the compile command into CompAutodif.  FALSE after the alert when a
 * value cannot be stored. */
Nlm_Boolean storeWindowValues(char *work, Nlm_Boolean *commandFits)
{
    std::string kernel = kernelText(work);
    if (!store("Paths", "KERNEL", kernel.c_str()) || !store("Paths", "KERNELW", "./"))
        return FALSE;
    std::string include = std::string(fieldText(tInclude, work)) + " -I" + kernel;
    if (!store("Compiler", "INCLUDE", include.c_str()) ||
        !store("Compiler", "LIB", storedForm(fieldText(tLib, work)).c_str()) ||
        !store("Compiler", "CPPNAME", storedForm(fieldText(tCppName, work)).c_str()) ||
        !store("Compiler", "CPPLIB", storedForm(fieldText(tCppLib, work)).c_str()))
        return FALSE;

    std::string cppName = fieldText(tCppName, work);
    int needed = snprintf(CompAutodif, sizeof CompAutodif, kCompileFormat, cppName.c_str(),
                          fieldText(tCppLib, work));
    *commandFits = !cppName.empty() && needed >= 0 && (size_t)needed < sizeof CompAutodif;

    for (int i = 0; i < TUNING_ENTRIES; i++) {
        if (Adjust[i].field == NULL)
            continue;
        fieldText(Adjust[i].field, work);
        StrTrim(work);
        if (!store(Adjust[i].section, Adjust[i].key, storedForm(work).c_str()))
            return FALSE;
    }
    return TRUE;
}

/* The run from the settings file on; TRUE when it reached its end, FALSE
 * when it stopped (its alert shown).  Every file of the installation must
 * be written, and on a Full installation the compile script must build a
 * system: without them the package cannot work.  A missing autodif only
 * disables the symbolic derivatives, so the run goes on after its alert. */
Nlm_Boolean install(char *work, Nlm_Boolean full)
{
    /* .vartenarc from the template; the toolkit then parses it afresh, so
     * nothing a stopped run stored comes back */
    char settings[16] = ".";
    Nlm_FileBuildPath(settings, NULL, (Nlm_CharPtr) ".vartenarc");
    std::string text = tableText(SetData, 0, FALSE);
    if (!WriteFileSafely(settings, text.data(), text.size(), 0644, kNoSettings))
        return FALSE;
    ReloadSettings();
    Nlm_Boolean commandFits = FALSE;
    if (!storeWindowValues(work, &commandFits) || !fileNumberFile())
        return FALSE;
    if (full) {
        std::string compiler = fieldText(tCppName, work);
        if (!CreateFile(param("Files", "INITFILE").c_str(), init, "r--r--r--", FALSE) || !writeCompileScript())
            return FALSE;
        if (GetParam("Paths", "INCLUDE") == NULL || GetParamAppend("Compiler", "HEADERF") == NULL ||
            !CreateFile(ParBuf, IncludeRhs, "r--r--r--", TRUE) || !proveCompileScript() ||
            !compileAutodif(commandFits, compiler))
            return FALSE;
    } else if (!checkUserObject()) {
        return FALSE;
    }
    std::string visuals = param("Files", "VN");
    if (!visuals.empty())
        unlink(visuals.c_str());
    return CreateFile(param("Files", "PALETTE").c_str(), Palette, "rw-r--r--", FALSE) && recordClass(work);
}

} // namespace

Nlm_Boolean CreateFile(const char *name, const char *const *lines, const char *permissions,
                       Nlm_Boolean expand)
{
    /* the name may lie in ParBuf, which the expansion overwrites */
    std::string path(name != NULL ? name : "");
    std::string text = tableText(lines, 0, expand);
    return WriteFileSafely(path.c_str(), text.data(), text.size(), (int)permissionMode(permissions), NULL);
}

void SetupProc(Nlm_ButtoN)
{
    static char work[kWorkSize];
    BusyCursor busy;
    Nlm_Disable(gTerm);

    /* the home directory must hold the executable */
    fieldText(tKernel, work);
    if (work[0] == '\0') {
        stopRun(kNoDirectory);
        return;
    }
    if (strlen(work) + 1 + sizeof kExecutable > sizeof work) {
        stopRun(kNoExecutable);
        return;
    }
    Nlm_FileBuildPath(work, NULL, (Nlm_CharPtr)kExecutable);
    if (access(work, F_OK) != 0) {
        stopRun(kNoExecutable);
        return;
    }

    /* the files written, each whole or not at all, are made durable at the
     * end, whether the run ends or stops */
    Nlm_Boolean full = Nlm_GetValue(gInst) == kFull;
    Nlm_Boolean done;
    {
        RunLock lock;
        done = fieldsStorable(work) && lock.take() && install(work, full);
        if (!SyncWrittenFiles())
            done = FALSE;
    }
    if (!done) {
        Nlm_Enable(gTerm);
        return;
    }
    if (bReg != NULL && Nlm_GetStatus(bReg))
        sendNotice(full);
    Nlm_QuitProgram();
}
