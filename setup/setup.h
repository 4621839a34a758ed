/*
 * setup.h - private header of the setup module: the window's control
 * handles and tables, the template tables, and the procedures that the
 * module's files share.
 *
 * The handles are made once by BuildSetupWindow and live until the process
 * ends; a handle whose control was not made is NULL.  The template tables
 * are constant data ending in a NULL entry.  Everything runs on the one GUI
 * thread.  (Include GoogleTest before this header: the toolkit's headers
 * define macros such as Message and GetString.)
 */
#ifndef VARTENA_SETUP_H
#define VARTENA_SETUP_H

#include <ncbi.h>
#include <vibrant.h>

#include "utility.h"

#include <string>
#include <vector>

/* ---- Template tables (files of their own) */

extern const char *const SetData[];       /* .vartenarc, 215 lines */
extern const char *const init[];          /* init resource file, 290 lines */
extern const char *const CompileRhs[];    /* compile script, csh style */
extern const char *const CompileRhsKsh[]; /* compile script, ksh style */
extern const char *const IncludeRhs[];    /* system header vtn_sys.h */
extern const char *const Palette[];       /* palette file, 26 lines */

/* ---- Window state */

/* The values of gInst and gShellStyle. */
enum { INST_FULL = 1, INST_USER = 2 };
enum { STYLE_CSH = 1, STYLE_KSH = 2 };

extern Nlm_WindoW wSetup;     /* the setup window */
extern Nlm_TexT tKernel;      /* package directory */
extern Nlm_TexT tInclude;     /* C compiler include options */
extern Nlm_TexT tLib;         /* C compiler libraries */
extern Nlm_TexT tCppName;     /* C++ compiler name */
extern Nlm_TexT tCppLib;      /* C++ compiler options */
extern Nlm_TexT tShellPath;   /* the shell path */
extern Nlm_GrouP gC;          /* "C compiler" */
extern Nlm_GrouP gCpp;        /* "C++ compiler" */
extern Nlm_GrouP gAdjust;     /* "Tuning" */
extern Nlm_MenU mAdjust;      /* "Tuning" submenu of Help */
extern Nlm_GrouP gInst;       /* "Installation": INST_FULL or INST_USER */
extern Nlm_GrouP gShellStyle; /* "Shell style": row n of shells, STYLE_CSH or STYLE_KSH */
extern Nlm_GrouP gShellPath;  /* "Shell path" */
extern Nlm_GrouP gReg;        /* "Registration", NULL without a notice */
extern Nlm_ButtoN bReg;       /* the notice consent, NULL without a notice */
extern Nlm_GrouP gTerm;       /* the "Setup" and "Cancel" buttons */
extern Nlm_PrompT pStatus;    /* what runs now, in place of the buttons */
extern Nlm_IteM iKernel, iC, iCpp, iInst, iShell; /* Help menu items */

/* A tuning entry: label (prompt and Help item), settings section and key,
 * the text field and Help item made at start-up (NULL when the template has
 * no line for the key), the help text.  Adjust holds three entries and a
 * terminating entry of NULLs; every walk takes exactly the first three. */
struct TuningEntry {
    const char *label;
    const char *section;
    const char *key;
    Nlm_TexT field;
    Nlm_IteM item;
    const char *help;
};
#define TUNING_ENTRIES 3
extern struct TuningEntry Adjust[TUNING_ENTRIES + 1];

/* The next default of a tuning entry in the settings template SetData at
 * or after line *from: the text after "KEY=" of a line under the entry's
 * section; *from then indexes the line after it.  NULL when there is no
 * further one. */
const char *TuningDefault(const struct TuningEntry *e, int *from);

/* A shell style: radio label, option appended to SHELL for the shell path,
 * compile-script table.  The radio value of a row is its position from 1. */
struct ShellStyle {
    const char *name;
    const char *option;
    const char *const *script;
};
#define SHELL_STYLES 2
extern const struct ShellStyle shells[SHELL_STYLES];

/* The install notice's command line, with one "?" that the run replaces by
 * "m" (Full) or "u" (User). */
extern char msg[];

/* ---- Window (window.cc) */

/* Builds the whole setup window, switches and alignment included, and
 * returns it, not yet shown.  Nlm_Main shows it and runs the event loop. */
Nlm_WindoW BuildSetupWindow(void);

/* Runs a shell command line while the window stays alive
 * (RunCommandWithEvents): status is shown in place of the buttons, keys
 * and clicks are dropped, redraws and timers go on; then the buttons are
 * back.  The wait status. */
int RunShowingStatus(const char *command, const char *status);

/* The text of a field, at most FIELD_TEXT_MAX characters. */
#define FIELD_TEXT_MAX 16380
std::string FieldText(Nlm_TexT field);

/* The home directory as the window holds it: the working directory that
 * the Installation switch put into tKernel, as long as the field still
 * shows it (the field gives each character outside ASCII back as a
 * blank), else the field's text. */
std::string HomeDirectory(void);

void InstActnProc(Nlm_GrouP group);
void ShellStyleProc(Nlm_GrouP group);
void PathCheckProc(Nlm_TexT field);
void CancelProc(Nlm_ButtoN button);

/* ---- Private scratch directories (scratch.cc) */

/* A private temporary directory, made when the owner is made and removed
 * with everything in it when the owner goes: ".vartena-XXXXXX" in parent,
 * or "vartena-XXXXXX" under TMPDIR (else /tmp) without one.  path() is ""
 * when none could be made. */
class ScratchDirectory {
public:
    explicit ScratchDirectory(const char *parent = NULL);
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory &) = delete;
    ScratchDirectory &operator=(const ScratchDirectory &) = delete;
    const std::string &path() const { return path_; }
    /* Runs a shell command line with the directory as its working
     * directory, showing status while it runs (RunShowingStatus) when one
     * is given; the wait status, -1 without a directory. */
    int run(const std::string &command, const char *status = NULL) const;

private:
    std::string path_;
};

/* Runs a shell command line with a private temporary directory as its
 * working directory, then calls read(dir) while the directory still exists,
 * and removes the directory with everything in it.  FALSE when no
 * temporary directory could be made (read is not called then). */
Nlm_Boolean RunInScratchDir(const char *command, void (*read)(const char *dir), const char *status = NULL);

/* ---- Installation run (run.cc) */

void SetupProc(Nlm_ButtoN button);

/* ---- The files of a run, put in place together (transaction.cc) */

/* Changes of a directory made at once by commit: new files written beside
 * their names beforehand, files placed, moved or removed.  commit makes
 * them in order, each old file keeping a second name until all are made;
 * when one fails (after its alert) every one made is undone, so that each
 * name holds its old file and mode again, and commit is FALSE.  Whatever is
 * staged and not committed is removed with the transaction. */
class Transaction {
public:
    Transaction() = default;
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    /* text with mode beside path now (WriteFileBeside: FALSE after its
     * alert), for path; with keepOld, an old file that differs stays under
     * that name (replacing an older one). */
    Nlm_Boolean write(const std::string &path, const std::string &text, int mode, const char *openAlert = NULL,
                      const char *keepOld = NULL);
    /* Writes a template table as write does, with the nine-character
     * permission string; with expand, each line expanded as the settings
     * store reads a value (a line that fails is left out: the store has
     * said why). */
    Nlm_Boolean CreateFile(const std::string &name, const char *const *lines, const char *permissions,
                           Nlm_Boolean expand);
    void place(const std::string &path, const std::string &file); /* file renamed over path */
    void move(const std::string &from, const std::string &to);    /* when to is free then */
    void remove(const std::string &path);
    Nlm_Boolean commit();

private:
    enum Kind { kReplace, kMove, kRemove };
    struct Step {
        Kind kind;
        std::string from, to, backup, keepOld;
        bool applied;
    };
    Nlm_Boolean apply(Step &s);
    void undo(Step &s);
    std::vector<Step> steps_;
};

/* The whole text of a regular file (ReadRegularFile); *read false and ""
 * when it cannot be read. */
std::string FileText(const std::string &path, bool *read);

/* The lines of a template table from its line first on, each followed by
 * a line break; with expand, each expanded as the settings store reads a
 * value, a line that fails to expand left out (the store has said why). */
std::string TemplateText(const char *const *lines, size_t first, Nlm_Boolean expand);

/* ---- Field help (help.cc) */

/* The help texts of the three tuning entries, carried as their help field. */
extern const char helpPrinter[], helpPreviewer[], helpDifferentiator[];

extern Nlm_WindoW msgPrevWin;
void HelpProc(Nlm_IteM item);
void helpMessage(const char *text);
void msgCloseProc(Nlm_WindoW window);

#endif /* VARTENA_SETUP_H */
