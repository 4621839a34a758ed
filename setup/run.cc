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

#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

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
    kPathSize = 4096,   /* CreateFile's copy of its path */
    kShellPathMax = PARBUF_SIZE - 5 /* "#! ", the path, "\n", NUL */
};

const Nlm_Int2 kFull = 1;
const char kExecutable[] = "vartena";
const char kHierarchy[] = "&hierarchy";
const char kCompileFormat[] = "%s -c -o autodif.o autodif.cc %s";
const char kUserObject[] = "$(Paths.KERNEL)autodif$(Extensions.OBJ)";

const char kNoDirectory[] = "Specify full path to the VARTENA's home directory";
const char kNoExecutable[] = "The path you've specified does not contain VARTENA executable";
const char kBadDirectory[] =
    "The path you've specified cannot be stored in the settings file:\n"
    "it is too long, or it holds a %, ~ or ` character or a $( reference";
const char kNoSettings[] = "Cannot open settings file '%s'";
const char kNoBatch[] = "Cannot open batch file for compiler '%s'";
const char kNoClassFile[] = "Cannot open class description file\n%s";
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

/* Stores a copy of text: SetParam turns line breaks into "~" in place. */
Nlm_Boolean store(const char *section, const char *key, const char *text)
{
    std::string copy(text);
    return SetParam(section, key, &copy[0]);
}

/* A settings value read with GetParam, copied out of ParBuf; empty when the
 * store could not supply it (it has said why). */
std::string param(const char *section, const char *key)
{
    const char *value = GetParam(section, key);
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

/* A template line through the settings store ([TMP] TMP stored and read
 * back): references expanded, "~" a line break, backquotes gone; the result
 * is in ParBuf.  NULL when the expansion failed (the store has said so):
 * the half-expanded line would end in "$(" and a section name, which is
 * not written, since in a script it would break every line after it. */
const char *expandLine(const char *line)
{
    store("TMP", "TMP", line);
    return GetParamString("TMP", "TMP");
}

/* Writes an expanded line (at most 499 characters) and a line break. */
void putExpanded(const char *expanded, FILE *f)
{
    size_t n = strnlen(expanded, PARBUF_SIZE - 1);
    fwrite(expanded, 1, n, f);
    fputc('\n', f);
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

/* The file-number file: moved from its earlier name when only that one
 * exists, else created holding "-".  A file that cannot be created is
 * reported and the run goes on. */
void fileNumberFile(void)
{
    std::string names = param("Files", "NAMES");
    if (names.empty() || access(names.c_str(), F_OK) == 0)
        return;
    std::string earlier = param("Files", "NAMES1.2");
    if (!earlier.empty() && access(earlier.c_str(), F_OK) == 0)
        rename(earlier.c_str(), names.c_str());
    if (access(names.c_str(), F_OK) == 0)
        return;
    FILE *f = fopen(names.c_str(), "w");
    if (f == NULL) {
        alert("Cannot open file '%s'", names.c_str());
        return;
    }
    fputc('-', f);
    fclose(f);
    chmod(names.c_str(), 0644);
}

/* The compile script: made writable, truncated, made executable, then its
 * own first line and the style's table from its second line, expanded.
 * FALSE (after the alert) when it cannot be opened at all. */
Nlm_Boolean writeCompileScript(void)
{
    std::string batch = param("Compiler", "BATCH");
    chmod(batch.c_str(), 0600);
    FILE *f = batch.empty() ? NULL : Nlm_FileOpen(batch.c_str(), "wt");
    if (f == NULL) {
        alert(kNoBatch, batch.c_str());
        return FALSE;
    }
    Nlm_FileClose(f);
    chmod(batch.c_str(), 0755);
    f = Nlm_FileOpen(batch.c_str(), "wt");
    if (f == NULL)
        return TRUE;

    Nlm_Int2 style = Nlm_GetValue(gShellStyle);
    if (style < 1 || style > SHELL_STYLES)
        style = 1;
    const char *const *script = shells[style - 1].script;

    strcpy(ParBuf, "#! ");
    Nlm_GetTitle(tShellPath, ParBuf + 3, kShellPathMax + 1);
    ParBuf[3 + kShellPathMax] = '\0';
    strcat(ParBuf, "\n");
    Nlm_FilePuts(ParBuf, f);

    for (size_t i = 1; script[i] != NULL; i++) {
        const char *line = expandLine(script[i]);
        if (line != NULL)
            putExpanded(line, f);
    }
    SetParam("TMP", NULL, NULL);
    Nlm_FileClose(f);
    return TRUE;
}

/* The autodif object in the current directory: compiled when it is missing
 * or older than a source that exists.  A command that did not fit its
 * buffer is not run, which counts as a failed compilation. */
void compileAutodif(Nlm_Boolean commandFits)
{
    Nlm_Boolean haveObject, haveSource;
    time_t object = modified("autodif.o", &haveObject);
    Nlm_Boolean needed = !haveObject;
    static const char *const sources[] = {"autodif.c", "autodif.cc"};
    for (const char *source : sources) {
        time_t t = modified(source, &haveSource);
        if (haveObject && haveSource && difftime(t, object) > 0)
            needed = TRUE;
    }
    if (!needed)
        return;
    if (commandFits) {
        int status = system(CompAutodif);
        (void)status;
    }
    if (!commandFits || access("autodif.o", F_OK) != 0) {
        alert(kNoCompile);
        store("Libraries", "AUTODIFOPT", "-");
    }
}

/* The object of the Full installation, seen from a user directory; the
 * [TMP] section used to expand its path stays in the settings file. */
void checkUserObject(void)
{
    store("TMP", "TMP", kUserObject);
    const char *path = GetParam("TMP", "TMP");
    if (path == NULL || access(path, F_OK) != 0) {
        alert(kNoUserObject);
        store("Libraries", "AUTODIFOPT", "-");
    }
}

/* The current class from the line after "&hierarchy": its first word and
 * the description file named by its second.  A line of fewer than two
 * words, or none, changes neither key.  FALSE (after the alert) when the
 * class description file cannot be opened. */
Nlm_Boolean recordClass(char *work)
{
    std::string classFile = param("Files", "CLASSFILE");
    if (classFile.empty() || !DescOpen(classFile.c_str())) {
        DescClose();
        alert(kNoClassFile, classFile.c_str());
        return FALSE;
    }
    if (FindLine(kHierarchy) >= 0 && GetLine(CompAutodif) != NULL) {
        char first[PARBUF_SIZE];
        if (sscanf(CompAutodif, " %499s %499s", first, work) == 2) {
            store("Currents", "CLASSCUR", first);
            std::string second(work);
            const char *path = GetParam("Files", "CLASSFILECUR", second.c_str());
            if (path != NULL)
                store("Files", "CLASSFILECUR", path);
        }
    }
    DescClose();
    return TRUE;
}

/* The notice command with its "?" replaced, run in a scratch directory. */
void sendNotice(Nlm_Boolean full)
{
    std::string command(msg);
    size_t mark = command.find('?');
    if (mark != std::string::npos)
        command[mark] = full ? 'm' : 'u';
    RunInScratchDir(command.c_str(), NULL);
}

/* A home directory that reads back from the settings file exactly as it is
 * stored: no "%" (every formatted read would take it for a directive), no
 * reference, line break or empty character, and short enough for one
 * settings line. */
Nlm_Boolean storeKernel(const char *kernel)
{
    if (strchr(kernel, '%') != NULL)
        return FALSE;
    store("Paths", "KERNEL", kernel);
    const char *back = GetParamString("Paths", "KERNEL");
    return back != NULL && strcmp(back, kernel) == 0;
}

} // namespace

Nlm_Boolean CreateFile(const char *name, const char *const *lines, const char *permissions,
                       Nlm_Boolean expand)
{
    char path[kPathSize];
    if (name == NULL || strlen(name) >= sizeof path) {
        alert("Cannot open file '%s'", name != NULL ? name : "");
        return FALSE;
    }
    strcpy(path, name);
    chmod(path, 0600);
    FILE *f = Nlm_FileOpen(path, "wt");
    if (f == NULL) {
        alert("Cannot open file '%s'", path);
        return FALSE;
    }
    for (size_t i = 0; lines[i] != NULL; i++) {
        if (!expand) {
            if (fprintf(f, "%s\n", lines[i]) < 0) {
                alert("Cannot write file '%s'", path);
                break;
            }
            continue;
        }
        const char *line = expandLine(lines[i]);
        if (line != NULL)
            putExpanded(line, f);
    }
    Nlm_FileClose(f);
    if (expand)
        SetParam("TMP", NULL, NULL);
    chmod(path, permissionMode(permissions));
    return TRUE;
}

void SetupProc(Nlm_ButtoN)
{
    static char work[kWorkSize];
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

    /* .vartenarc from the template; the toolkit then parses it afresh, so
     * nothing a stopped run stored comes back */
    Nlm_Boolean full = Nlm_GetValue(gInst) == kFull;
    char settings[16] = ".";
    Nlm_FileBuildPath(settings, NULL, (Nlm_CharPtr) ".vartenarc");
    if (!CreateFile(settings, SetData, "rw-r--r--", FALSE)) {
        stopRun(kNoSettings, settings);
        return;
    }
    ReloadSettings();

    /* the window's values */
    fieldText(tKernel, work);
    size_t length = strlen(work);
    if (length == 0 || work[length - 1] != '/') {
        work[length] = '/';
        work[length + 1] = '\0';
    }
    if (!storeKernel(work)) {
        stopRun("%s", kBadDirectory);
        return;
    }
    store("Paths", "KERNELW", "./");

    std::string include = fieldText(tInclude, work);
    include += " -I";
    include += param("Paths", "KERNEL");
    store("Compiler", "INCLUDE", include.c_str());
    store("Compiler", "LIB", fieldText(tLib, work));
    store("Compiler", "CPPNAME", fieldText(tCppName, work));
    Nlm_GetTitle(tCppLib, ParBuf, PARBUF_SIZE);
    ParBuf[PARBUF_SIZE - 1] = '\0';
    store("Compiler", "CPPLIB", ParBuf);

    std::string cppName = fieldText(tCppName, work);
    int needed = snprintf(CompAutodif, sizeof CompAutodif, kCompileFormat, cppName.c_str(),
                          fieldText(tCppLib, work));
    Nlm_Boolean commandFits = needed >= 0 && (size_t)needed < sizeof CompAutodif;

    for (int i = 0; i < TUNING_ENTRIES; i++) {
        if (Adjust[i].field == NULL)
            continue;
        fieldText(Adjust[i].field, work);
        StrTrim(work);
        store(Adjust[i].section, Adjust[i].key, work[0] != '\0' ? work : "`");
    }

    /* files of both kinds of installation, and of each */
    fileNumberFile();
    if (full) {
        std::string initFile = param("Files", "INITFILE");
        if (!initFile.empty())
            CreateFile(initFile.c_str(), init, "r--r--r--", FALSE);
        if (!writeCompileScript()) {
            Nlm_Enable(gTerm);
            return;
        }
        if (GetParam("Paths", "INCLUDE") != NULL && GetParamAppend("Compiler", "HEADERF") != NULL)
            CreateFile(ParBuf, IncludeRhs, "r--r--r--", TRUE);
        compileAutodif(commandFits);
    } else {
        checkUserObject();
    }
    std::string visuals = param("Files", "VN");
    if (!visuals.empty())
        unlink(visuals.c_str());
    std::string palette = param("Files", "PALETTE");
    if (!palette.empty())
        CreateFile(palette.c_str(), Palette, "rw-r--r--", FALSE);

    if (!recordClass(work)) {
        Nlm_Enable(gTerm);
        return;
    }
    if (bReg != NULL && Nlm_GetStatus(bReg))
        sendNotice(full);
    Nlm_QuitProgram();
}
