/*
 * The installation run: the action of "Setup" (SetupProc).
 *
 * A run reads the window once into a request and checks it; then, under
 * the settings file's lock, it builds the new installation beside the old
 * one: the settings file in memory (StageSettings) from SetData and the
 * request, every other file written beside its name (Transaction).  A Full
 * run proves the new compile script, header and autodif object in a
 * private directory in the home before anything replaces an old file.
 * Only then are the files put in place, the settings file last, as the
 * commit; a settings file replaced that differed is kept as .vartenarc.old.
 * A run that stops (a refused field, a failed write or proof, a locked
 * directory) leaves every file of the directory as it was, modes included,
 * and gives the buttons back; symbolic derivatives turned off (AUTODIFOPT
 * "-") are no stop.  The files a run wrote are made durable when it ends
 * or stops.
 *
 * A run that ends leaves an installation that works for every account that
 * can read the home: its shared files get modes that every account can
 * read, and a User run checks, as the account that runs it, what its later
 * builds need from the home.  Anything else is an alert that names the
 * field, file, mode or limit.
 *
 * Limits: field texts hold at most 16380 characters.  Every line a run
 * writes fits what its reader takes: a settings line 255 characters, a
 * template line expanded through the settings store 499, the compile
 * script's first line a shell path of 495.  A field that would make a line
 * longer is refused before anything is written, with the most it may hold
 * then, found by expanding the templates with it longer; no line is ever
 * written cut.
 */
#include "setup.h"

#include <dlfcn.h>
#include <errno.h>
#include <pwd.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

/* The install notice goes to these two addresses, separated by a blank;
 * change them here. */
#define NOTICE_RECIPIENTS "vartena-authors@example.org vartena-notices@example.org"

/* The notice command; its "?" becomes "m" (Full) or "u" (User) in the copy
 * that a run sends, so msg itself keeps it.  It runs in a private scratch
 * directory, where del1 and del2 are made and removed. */
char msg[] = "echo '\nVARTENA 1.5? installed on'>del1;uname -a>del2;cat del1 del2|mail "
             NOTICE_RECIPIENTS ";rm del1 del2";

namespace {

enum {
    kExpandedMax = 1 << 18, /* an expansion measured, whatever the fields hold */
    kSettingsLine = 255,  /* characters of a settings line */
    kExpandedLine = PARBUF_SIZE - 1, /* of a template line expanded by the store */
    kFirstLine = PARBUF_SIZE - 2 /* "#! " and a shell path of 495 */
};

const char kExecutable[] = "vartena";
const char kHierarchy[] = "&hierarchy";
const char kSettingsFile[] = "./.vartenarc";
const char kKeptSettings[] = "./.vartenarc.old";
const char kLockFile[] = ".vartenarc.lock";
const char kObject[] = "autodif.o";
const char kUserObject[] = "$(Paths.KERNEL)autodif$(Extensions.OBJ)";
/* The shell's special characters, which the home directory may not hold
 * (besides a blank, a comma and "%"): compile commands take it unquoted. */
const char kShellSpecials[] = ";&|<>()$'\"\\`";

const char kNoDirectory[] = "Specify full path to the VARTENA's home directory";
const char kNoExecutable[] = "The path you've specified does not contain VARTENA executable";
const char kUnsearchable[] = "The VARTENA directory '%s' (%s) cannot be searched by this account.\n"
                             "Please ask its owner to make it readable for every account.";
const char kFieldRefused[] = "The \"%s\" field %s.\nPlease correct it and press Setup again.";
const char kLineBreakOrEmpty[] =
    "holds a ~ or ` character, which the settings file reads as a line break or as nothing";
const char kReference[] = "holds a $(Section.KEY) reference, which the settings file replaces by a value";
const char kDirectoryChars[] = "may hold no blank, comma, %% or shell special character %s, nor a character "
                               "outside ASCII, which the field gives back as a blank";
const char kDirectives[] = "may hold no printf directive but %s (or %% for a %)";
const char kTooManyNames[] =
    "holds more %s than the package fills in: it gives the command as many file names as the default has";
const char kTooLong[] = "is too long: it makes %s %zu characters long, more than the %zu it may have; "
                        "with the other fields as they are, it may hold at most %zu characters";
const char kProofFailed[] =
    "The compile script '%s' cannot build a system:\n%s\n"
    "Please check the C compiler's Include and Libraries and the shell path, then press Setup again.";
const char kNoDerivatives[] =
    "The compile script '%s' cannot build the derivative program tmp_der:\n%s\n"
    "Symbolical differentiation feature will be disabled.\n"
    "Please check the C++ compiler's Name and Options.";
const char kNoSettings[] = "Cannot open settings file '%s'";
const char kNoBatch[] = "Cannot open batch file for compiler '%s'";
const char kNoClassFile[] = "Cannot open class description file\n%s";
const char kPercentClass[] =
    "Class description file '%s':\nthe class line after &hierarchy holds a %% character,\n"
    "so the current class is not recorded";
const char kLocked[] = "Another Setup is running in this directory: '%s' is locked";
const char kMadeFor[] = "The Full installation in '%s' was made for '%s': run a Full installation there again";
const char kHomeFile[] = "The %s '%s' (%s) cannot be %s by this account.\n"
                         "Please run a Full installation in the home directory again: it makes the file %s "
                         "for every account.";
const char kNoCompile[] =
    "Cannot compile autodif.cc.\nSymbolical differentiation feature will be disabled.\n"
    "Please check the name of C++ compiler\nand ensure it is accessable via the PATH variable";
const char kNoUserObject[] =
    "Could not run C++ compiler during the full installation.\n"
    "Symbolical differentiation feature will be disabled.";
const char kUnreadableObject[] =
    "The autodif object '%s' (%s) cannot be read by this account.\n"
    "Symbolical differentiation feature will be disabled.\n"
    "A Full installation in the home directory again makes it readable for every account.";

/* ---- The window's values, read once */

/* The request's texts, by index: the five fields of the directory and the
 * compilers, the shell path, then one per tuning entry. */
enum { kHome, kInclude, kLibraries, kCppName, kCppOptions, kShellPath, kTuning, kTexts = kTuning + TUNING_ENTRIES };
const char *const kLabels[kTuning] = {"VARTENA directory", "Include", "Libraries", "Name", "Options", "Shell path"};

/* What "Setup" found in the window; the run works from it alone. */
struct Request {
    bool full;
    bool notice;                 /* the install notice is to be sent */
    int shellStyle;              /* STYLE_CSH or STYLE_KSH */
    bool tuned[TUNING_ENTRIES];  /* the tuning entry has a field */
    std::string text[kTexts];    /* tuning texts trimmed */
    std::string kernel() const /* the home as stored, ending in "/" */
    {
        const std::string &home = text[kHome];
        return home.empty() || home.back() != '/' ? home + "/" : home;
    }
};

const char *label(int field)
{
    return field < kTuning ? kLabels[field] : Adjust[field - kTuning].label;
}

Request readWindow(void)
{
    Request r;
    r.full = Nlm_GetValue(gInst) == INST_FULL;
    r.notice = bReg != NULL && Nlm_GetStatus(bReg);
    r.shellStyle = Nlm_GetValue(gShellStyle) == STYLE_KSH ? STYLE_KSH : STYLE_CSH;
    r.text[kHome] = HomeDirectory().substr(0, FIELD_TEXT_MAX);
    const Nlm_TexT fields[] = {tInclude, tLib, tCppName, tCppLib, tShellPath};
    for (int i = kInclude; i <= kShellPath; i++)
        r.text[i] = FieldText(fields[i - kInclude]);
    for (int i = 0; i < TUNING_ENTRIES; i++) {
        r.tuned[i] = Adjust[i].field != NULL;
        if (r.tuned[i]) {
            r.text[kTuning + i] = FieldText(Adjust[i].field);
            StrTrim(&r.text[kTuning + i][0]);
            r.text[kTuning + i].resize(strlen(r.text[kTuning + i].c_str()));
        }
    }
    return r;
}

/* ---- Small helpers */

std::string format(const char *fmt, ...)
{
    va_list args, again;
    va_start(args, fmt);
    va_copy(again, args);
    int n = vsnprintf(NULL, 0, fmt, args);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        vsnprintf(&out[0], out.size() + 1, fmt, again);
    va_end(again);
    va_end(args);
    return out;
}

/* An alert with one OK button; format has at most two "%s". */
void alert(const char *format, const char *arg = NULL, const char *arg2 = NULL)
{
    Nlm_Message(MSG_OK, format, arg, arg2);
}

/* Refuses a field with the alert that names it; FALSE. */
Nlm_Boolean refuse(int field, const std::string &reason)
{
    Nlm_Message(MSG_OK, kFieldRefused, label(field), reason.c_str());
    return FALSE;
}

/* The watch cursor over the window for as long as it lives, then the
 * arrow.  Set through the toolkit's shape switch, which calls
 * Nlm_WatchCursor and Nlm_ArrowCursor and keeps the shape it set. */
struct BusyCursor {
    BusyCursor() { Nlm_SetCursorShape(CURSOR_WATCH); }
    ~BusyCursor() { Nlm_SetCursorShape(CURSOR_ARROW); }
};

/* Stores a copy of text: SetParam turns line breaks into "~" in place.
 * FALSE when the settings could not take it (the store has said why). */
Nlm_Boolean store(const char *section, const char *key, const std::string &text)
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
 * ([TMP] TMP): references expanded, "~" a line break, backquotes gone, in
 * a buffer that no line fills (the limits are checked apart), leading
 * blanks kept.  FALSE when the expansion failed (the store has said so):
 * the half-expanded line would end in "$(" and a section name, which is
 * not written, since in a script it would break every line after it. */
Nlm_Boolean expandLine(const char *line, std::string *out)
{
    for (size_t size = 4096;; size *= 4) {
        out->assign(line);
        out->resize(size, '\0');
        Nlm_Boolean ok = TranslateBuf(&(*out)[0], size, "TMP", "TMP");
        size_t length = strlen(out->c_str());
        out->resize(length);
        if (length < size - 1 || size >= kExpandedMax) /* else it may have been cut: again, larger */
            return ok;
    }
}

/* The value a field is stored as: its text, or the empty character for an
 * empty one, so that a script line referring to it stays and reads it as
 * nothing. */
std::string storedForm(const std::string &text)
{
    return !text.empty() ? text : std::string("`");
}

time_t modified(const std::string &path, bool *exists, mode_t *mode = NULL)
{
    struct stat st;
    *exists = stat(path.c_str(), &st) == 0;
    if (mode != NULL)
        *mode = *exists ? st.st_mode : 0;
    return *exists ? st.st_mtime : 0;
}

/* How a file stands, for an alert: "mode 0600, owner root", "missing", or
 * why it cannot be looked at. */
std::string describe(const std::string &path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? "missing" : strerror(errno);
    const struct passwd *pw = getpwuid(st.st_uid);
    return format("mode %04o, owner %s", st.st_mode & 07777,
                  pw != NULL ? pw->pw_name : std::to_string(st.st_uid).c_str());
}

/* ---- Checks before anything is written */

/* The values a run stores from the request, with the text each comes from. */
struct Setting {
    const char *section, *key;
    std::string value;
    int field; /* -1: none */
};

std::vector<Setting> settingsOf(const Request &r)
{
    std::vector<Setting> all = {{"Paths", "KERNEL", r.kernel(), kHome},
                                {"Paths", "KERNELW", "./", -1},
                                {"Compiler", "INCLUDE", r.text[kInclude] + " -I" + r.kernel(), kInclude},
                                {"Compiler", "LIB", storedForm(r.text[kLibraries]), kLibraries},
                                {"Compiler", "CPPNAME", storedForm(r.text[kCppName]), kCppName},
                                {"Compiler", "CPPLIB", storedForm(r.text[kCppOptions]), kCppOptions}};
    for (int i = 0; i < TUNING_ENTRIES; i++)
        if (r.tuned[i])
            all.push_back({Adjust[i].section, Adjust[i].key, storedForm(r.text[kTuning + i]), kTuning + i});
    return all;
}

/* Every field checked before the directory is touched: the home must be a
 * plain path that compile commands take unquoted and must hold the
 * executable; each value must come back from the settings file as typed;
 * a tuning command may hold only "%s" directives, no more than its
 * default, since the package formats it with that many file names.  The
 * lengths are checked once the settings are staged (lengthsFit).  FALSE
 * after the alert naming the field. */
Nlm_Boolean acceptable(const Request &r)
{
    if (r.text[kHome].empty())
        return alert(kNoDirectory), FALSE;
    if (r.kernel().find_first_of(std::string(" ,%\n") + kShellSpecials) != std::string::npos)
        return refuse(kHome, format(kDirectoryChars, kShellSpecials));
    std::string executable = r.kernel() + kExecutable;
    if (access(executable.c_str(), F_OK) != 0) {
        bool blocked = errno == EACCES;
        alert(blocked ? kUnsearchable : kNoExecutable, r.text[kHome].c_str(), describe(r.text[kHome]).c_str());
        return FALSE;
    }
    for (const Setting &s : settingsOf(r)) {
        /* an empty field is stored as the empty character on purpose */
        int flags = s.field < 0 ? 0 : SettingsValueCheck(s.key, s.field <= kInclude ? s.value.c_str() : r.text[s.field].c_str());
        if (flags & SETTINGS_VALUE_CONVENTION)
            return refuse(s.field, kLineBreakOrEmpty);
        if (flags & SETTINGS_VALUE_REFERENCE)
            return refuse(s.field, kReference);
    }
    for (int i = 0; i < TUNING_ENTRIES; i++) {
        const std::string &command = r.text[kTuning + i];
        char letters[PARBUF_SIZE];
        int count = FormatDirectives(command.c_str(), letters, sizeof letters);
        if (strspn(letters, "s") != strlen(letters))
            return refuse(kTuning + i, kDirectives);
        int from = 0;
        const char *dflt = TuningDefault(&Adjust[i], &from);
        if (r.tuned[i] && count > FormatDirectives(dflt != NULL ? dflt : "", NULL, 0))
            return refuse(kTuning + i, kTooManyNames);
    }
    return TRUE;
}

/* The settings staged afresh from the template with the request's values;
 * with trial, set for the reads only, so that no refusal of the store's
 * comes before the field's own.  FALSE when the store refused one. */
Nlm_Boolean stage(const Request &r, bool trial)
{
    StageSettings(TemplateText(SetData, 0, FALSE).c_str());
    for (const Setting &s : settingsOf(r))
        if (!(trial ? SetParamTransient(s.section, s.key, s.value.c_str()) : store(s.section, s.key, s.value)))
            return FALSE;
    return TRUE;
}

/* The compile script for the staged settings: "#! " and the shell path,
 * then the style's table from its second line, expanded. */
std::string scriptText(const Request &r)
{
    return "#! " + r.text[kShellPath] + "\n" + TemplateText(shells[r.shellStyle - 1].script, 1, TRUE);
}

/* A text a run writes and the most characters it may have. */
struct Written {
    std::string what;
    size_t length, limit;
};

/* Every text the run derives from the request, as long as it would be
 * written: the settings lines, on Full the compile script's and the
 * header's lines, and CLASSFILECUR for the class file named classFile. */
std::vector<Written> writtenTexts(const Request &r, const std::string &classFile)
{
    std::vector<Written> texts;
    stage(r, true);
    for (const Setting &s : settingsOf(r))
        texts.push_back({format("the line %s=... of the settings file", s.key), strlen(s.key) + 1 + s.value.size(),
                         kSettingsLine});
    std::string line;
    if (r.full) {
        texts.push_back({"the first line of the compile script", 3 + r.text[kShellPath].size(), kFirstLine});
        const char *const *script = shells[r.shellStyle - 1].script;
        for (int i = 1; script[i] != NULL; i++)
            texts.push_back({format("line %d of the compile script", i + 1), (expandLine(script[i], &line), line.size()),
                             kExpandedLine});
        for (int i = 0; IncludeRhs[i] != NULL; i++)
            texts.push_back({format("line %d of the system header", i + 1), (expandLine(IncludeRhs[i], &line), line.size()),
                             kExpandedLine});
    }
    if (!classFile.empty() && expandLine("CLASSFILECUR=$(Files.CLASSFILECUR)", &line))
        texts.push_back({"the line CLASSFILECUR=... of the settings file",
                         (size_t)snprintf(NULL, 0, line.c_str(), classFile.c_str()), kSettingsLine});
    return texts;
}

/* FALSE after the field's alert when a text the run would write passes its
 * limit.  The field named is the one that adds most to it, and the most it
 * may hold is found by trying it longer: the templates themselves say how
 * much each character of it adds. */
Nlm_Boolean lengthsFit(const Request &r, const std::string &classFile)
{
    const size_t trial = 16;
    std::vector<Written> texts = writtenTexts(r, classFile);
    for (size_t t = 0; t < texts.size(); t++) {
        if (texts[t].length <= texts[t].limit)
            continue;
        int blamed = kHome;
        size_t most = 0, slope = 1;
        for (int f = 0; f < kTexts; f++) {
            Request longer = r;
            longer.text[f] += std::string(trial, 'x');
            size_t grows = (writtenTexts(longer, classFile)[t].length - texts[t].length) / trial;
            if (grows > 0 && grows * r.text[f].size() > most)
                blamed = f, most = grows * r.text[f].size(), slope = grows;
        }
        size_t cut = (texts[t].length - texts[t].limit + slope - 1) / slope;
        size_t length = r.text[blamed].size();
        return refuse(blamed, format(kTooLong, texts[t].what.c_str(), texts[t].length, texts[t].limit,
                                     length > cut ? length - cut : 0));
    }
    return TRUE;
}

/* ---- The class of systems */

/* The first two words of the line after "&hierarchy" in the class
 * description file, "" when there is no such line of two words.  FALSE
 * (after the alert) when the file cannot be opened. */
Nlm_Boolean readClass(std::string *first, std::string *second)
{
    std::string classFile = param("Files", "CLASSFILE");
    first->clear(), second->clear();
    if (classFile.empty() || !DescOpen(classFile.c_str())) {
        DescClose();
        alert(kNoClassFile, classFile.c_str());
        return FALSE;
    }
    char line[PARBUF_SIZE], a[PARBUF_SIZE], b[PARBUF_SIZE];
    if (FindLine(kHierarchy) >= 0 && GetLine(line) != NULL && sscanf(line, " %499s %499s", a, b) == 2)
        *first = a, *second = b;
    DescClose();
    return TRUE;
}

/* The current class: its first word and the description file named by its
 * second.  Words that hold a "%", which every formatted read of the keys
 * would take for a directive, are not recorded (shown; the run goes on).
 * FALSE when the settings could not take the keys. */
Nlm_Boolean recordClass(const std::string &first, const std::string &second)
{
    if (first.empty())
        return TRUE;
    if (first.find('%') != std::string::npos || second.find('%') != std::string::npos) {
        alert(kPercentClass, param("Files", "CLASSFILE").c_str());
        return TRUE;
    }
    const char *path = store("Currents", "CLASSCUR", first) ? GetParam("Files", "CLASSFILECUR", second.c_str()) : NULL;
    return path != NULL && store("Files", "CLASSFILECUR", path);
}

/* ---- Full installation: the shared files, autodif and the proof */

/* TRUE when object exists, every account may read it, and no source that
 * exists is newer. */
bool autodifCurrent(const std::string &object)
{
    bool haveObject, haveSource;
    mode_t mode;
    time_t made = modified(object, &haveObject, &mode);
    static const char *const sources[] = {"autodif.c", "autodif.cc"};
    for (const char *source : sources) {
        time_t t = modified(source, &haveSource);
        if (haveObject && haveSource && difftime(t, made) > 0)
            return false;
    }
    return haveObject && (mode & 0444) == 0444;
}

/* Symbolic derivatives off, after the alert. */
Nlm_Boolean autodifOff(const char *format, const char *arg = NULL, const char *arg2 = NULL)
{
    alert(format, arg, arg2);
    store("Libraries", "AUTODIFOPT", "-");
    return FALSE;
}

/* autodif.o for the new installation, in dir: compiled there, with the C++
 * compiler of the request, when the home's is missing, older than a source
 * that exists, or not readable by every account; else the home's, linked
 * there for the proof.  The new object gets mode 0444, as the header and the
 * init file: every account that can read the home links it, and the next
 * Full run replaces it whole.  TRUE when symbolic derivatives are on; FALSE
 * after the alert when no object could be made. */
Nlm_Boolean stageAutodif(const Request &r, const ScratchDirectory &dir, Transaction &tx)
{
    std::string object = dir.path() + "/" + kObject;
    if (dir.path().empty() || r.text[kCppName].empty())
        return autodifOff(kNoCompile);
    if (autodifCurrent(kObject))
        return link(kObject, object.c_str()) == 0 || symlink("../autodif.o", object.c_str()) == 0;
    /* shorter than line 10 of the compile script, which holds both fields */
    std::string command = r.text[kCppName] + " -c -o " + object + " autodif.cc " + r.text[kCppOptions];
    std::string shown = "Compiling autodif.cc with " + r.text[kCppName] + " ...";
    int status = RunShowingStatus(command.c_str(), shown.c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || chmod(object.c_str(), 0444) != 0 ||
        !autodifCurrent(object))
        return autodifOff(kNoCompile);
    tx.place(kObject, object);
    return TRUE;
}

/* A one-equation system as the package writes its source: the line of
 * [Compiler] HEADER, which includes the system header, then the right-hand
 * side, using the header's macros.  At x = 1, p = 2 it gives 5.  The
 * derivative program includes the header as C++ and says that it ran. */
const char kProofSystem[] = "double vart_proof_rhs(double x, double p)\n"
                            "{\n"
                            "    return -x + sqr(p) + iff(x > 0, TRUE, FALSE) * dersub2(1, 1);\n"
                            "}\n";
const char kProofDerivatives[] = "#include <cstdio>\n#include \"vtn_sys.h\"\n"
                                 "int main() { std::printf(\"vartena proof: derivatives %d\\n\", TRUE); }\n";
const char kDerivativesRan[] = "vartena proof: derivatives 1";

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

/* The new compile script proven as the package will run it, on the run's
 * new files before any of them replaces an old one: dir, in the home, is
 * made a home of its own, holding the new header, the compile script
 * expanded for it and autodif.o (stageAutodif); there [Compiler] MAKERHS
 * builds a tiny system under the package's names, and the library it built
 * must load and compute it.  With derivatives on, the script's derivative
 * step (DIFF "y") must build and run a tmp_der of the proof's own, linking
 * autodif.o with the C++ options.  FALSE after the alert when the system is
 * not built; a failing derivative step alone turns symbolic derivatives
 * off with its alert, as a failed autodif compile does, since the package
 * works without them. */
Nlm_Boolean proveCompileScript(const Request &r, const ScratchDirectory &dir, const std::string &header,
                               bool derivatives)
{
    std::string script = param("Compiler", "BATCH"), failure;
    char cwd[4096];
    std::string home = dir.path().empty() || getcwd(cwd, sizeof cwd) == NULL
                           ? std::string() : std::string(cwd) + dir.path().substr(1) + "/";
    const char *formatted = GetParam("Files", "FORMAT", 1);
    std::string source = param("Files", "RHS"), library = formatted != NULL ? formatted : "";
    std::string headerName = param("Compiler", "HEADERF"), system = param("Compiler", "HEADER") + kProofSystem;

    /* the script and the command for that home, then the run's own again */
    SetParamTransient("Paths", "KERNEL", home.c_str());
    SetParamTransient("Compiler", "INCLUDE", (r.text[kInclude] + " -I" + home).c_str());
    SetParamTransient("Compiler", "SOURCE", source.c_str());
    SetParamTransient("Compiler", "TARGET", library.c_str());
    SetParamTransient("Compiler", "DIFF", derivatives ? "y" : "n");
    std::string shadow = scriptText(r), command;
    expandLine("$(Compiler.MAKERHS)", &command);
    SetParamTransient("Paths", "KERNEL", r.kernel().c_str());
    SetParamTransient("Compiler", "INCLUDE", (r.text[kInclude] + " -I" + r.kernel()).c_str());

    std::string base = dir.path() + "/";
    if (home.empty())
        failure = "no test system could be written in the working directory";
    else if (!WriteFileSafely((base + "CompRhs").c_str(), shadow.data(), shadow.size(), 0755, NULL) ||
             !WriteFileSafely((base + headerName).c_str(), header.data(), header.size(), 0444, NULL) ||
             !WriteFileSafely((base + source + param("Extensions", "C")).c_str(), system.data(), system.size(), 0644, NULL) ||
             (derivatives && !WriteFileSafely((base + "tmp_der" + param("Extensions", "CPP")).c_str(), kProofDerivatives,
                                              strlen(kProofDerivatives), 0644, NULL)))
        return FALSE;
    if (failure.empty()) {
        dir.run(command + " >proof.log 2>&1", "Checking the compile script ...");
        void *handle = dlopen((base + library + param("Extensions", "LIB")).c_str(), RTLD_NOW | RTLD_LOCAL);
        typedef double (*Rhs)(double, double);
        Rhs rhs = handle != NULL ? reinterpret_cast<Rhs>(dlsym(handle, "vart_proof_rhs")) : NULL;
        bool works = rhs != NULL && rhs(1.0, 2.0) == 5.0;
        const char *error = handle == NULL ? dlerror() : NULL;
        failure = error != NULL ? error : "";
        if (handle != NULL)
            dlclose(handle);
        std::string log = base + param("Compiler", "LOGFILE");
        if (works && derivatives && logHead(log + "1").find(kDerivativesRan) == std::string::npos)
            autodifOff(kNoDerivatives, script.c_str(), (logHead(log + "1") + "\n" + logHead(base + "proof.log")).c_str());
        if (works)
            return TRUE;
        failure = !logHead(log).empty() ? logHead(log) : !logHead(base + "proof.log").empty() ? logHead(base + "proof.log")
                  : !failure.empty() ? failure : "the library it built does not compute the system";
    }
    alert(kProofFailed, script.c_str(), failure.c_str());
    return FALSE;
}

/* The shared files of the home, staged, then proven. */
Nlm_Boolean installShared(const Request &r, const ScratchDirectory &dir, Transaction &tx)
{
    std::string header, headerPath = param("Paths", "INCLUDE") + param("Compiler", "HEADERF");
    header = TemplateText(IncludeRhs, 0, TRUE);
    if (!tx.CreateFile(param("Files", "INITFILE"), init, "r--r--r--", FALSE) ||
        !tx.write(param("Compiler", "BATCH"), scriptText(r), 0755, kNoBatch) ||
        !tx.write(headerPath, header, (int)permissionMode("r--r--r--")))
        return FALSE;
    bool derivatives = stageAutodif(r, dir, tx);
    return proveCompileScript(r, dir, header, derivatives);
}

/* ---- User installation: what the account needs from the home */

bool sameDirectory(const std::string &a, const std::string &b)
{
    char *x = realpath(a.c_str(), NULL), *y = realpath(b.c_str(), NULL);
    bool same = x != NULL && y != NULL && strcmp(x, y) == 0;
    free(x), free(y);
    return same;
}

/* What its later builds need from the home, checked as the account that
 * runs the User installation: a Full installation made for this home (its
 * settings name it, links resolved), its compile script to run and its
 * header to read (else a stop), autodif.o to read (else symbolic
 * derivatives off).  The [TMP] section used to expand the object's path
 * stays in the settings file.  FALSE after the alert that stops the run. */
Nlm_Boolean homeServes(const Request &r)
{
    char madeFor[PARBUF_SIZE];
    if (ReadSettingsFile((r.kernel() + ".vartenarc").c_str(), "Paths", "KERNEL", madeFor, sizeof madeFor) > 0 &&
        !sameDirectory(madeFor, r.kernel()))
        return alert(kMadeFor, r.text[kHome].c_str(), madeFor), FALSE;
    const struct { std::string path; int mode; const char *what, *verb, *made; } needed[] = {
        {param("Compiler", "BATCH"), R_OK | X_OK, "compile script", "run", "readable and executable"},
        {param("Paths", "INCLUDE") + param("Compiler", "HEADERF"), R_OK, "system header", "read", "readable"}};
    for (const auto &n : needed)
        if (access(n.path.c_str(), n.mode) != 0)
            return Nlm_Message(MSG_OK, kHomeFile, n.what, n.path.c_str(), describe(n.path).c_str(), n.verb, n.made), FALSE;
    if (!store("TMP", "TMP", kUserObject))
        return FALSE;
    std::string object = param("TMP", "TMP");
    if (access(object.c_str(), F_OK) != 0)
        autodifOff(kNoUserObject);
    else if (access(object.c_str(), R_OK) != 0)
        autodifOff(kUnreadableObject, object.c_str(), describe(object).c_str());
    return TRUE;
}

/* ---- The run */

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

/* The run under the lock; TRUE when the new installation is in place,
 * FALSE when it stopped (its alert shown) with the directory as it was. */
Nlm_Boolean install(const Request &r)
{
    std::string first, second;
    if (!lengthsFit(r, "") || !readClass(&first, &second) || !lengthsFit(r, second) || !stage(r, false))
        return FALSE;
    std::unique_ptr<ScratchDirectory> dir(r.full ? new ScratchDirectory(".") : NULL);
    Transaction tx;
    if (r.full ? !installShared(r, *dir, tx) : !homeServes(r))
        return FALSE;

    /* the file-number file, moved from its earlier name or made; the
     * visuals file goes; the palette */
    std::string names = param("Files", "NAMES"), earlier = param("Files", "NAMES1.2"), visuals = param("Files", "VN");
    if (!names.empty() && access(names.c_str(), F_OK) != 0) {
        if (!earlier.empty() && access(earlier.c_str(), F_OK) == 0)
            tx.move(earlier, names);
        else if (!tx.write(names, "-", 0644))
            return FALSE;
    }
    if (!visuals.empty())
        tx.remove(visuals);
    if (!tx.CreateFile(param("Files", "PALETTE"), Palette, "rw-r--r--", FALSE) || !recordClass(first, second))
        return FALSE;

    bool existed;
    std::string old = FileText(kSettingsFile, &existed), text = StagedSettings();
    return tx.write(kSettingsFile, text, 0644, kNoSettings, existed && old != text ? kKeptSettings : NULL) &&
           tx.commit();
}

} // namespace

std::string TemplateText(const char *const *lines, size_t first, Nlm_Boolean expand)
{
    std::string text, line;
    for (size_t i = first; lines[i] != NULL; i++) {
        if (expand && !expandLine(lines[i], &line))
            continue;
        text += expand ? line : lines[i];
        text += '\n';
    }
    return text;
}

Nlm_Boolean Transaction::CreateFile(const std::string &name, const char *const *lines, const char *permissions,
                                    Nlm_Boolean expand)
{
    return write(name, TemplateText(lines, 0, expand), (int)permissionMode(permissions));
}

void SetupProc(Nlm_ButtoN)
{
    BusyCursor busy;
    Nlm_Disable(gTerm);
    Request r = readWindow();
    Nlm_Boolean done;
    {
        RunLock lock;
        done = acceptable(r) && lock.take() && install(r);
        UnstageSettings();
        if (!SyncWrittenFiles())
            done = FALSE;
    }
    if (!done) {
        Nlm_Enable(gTerm);
        return;
    }
    if (r.notice)
        sendNotice(r.full);
    Nlm_QuitProgram();
}
