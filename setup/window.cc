/*
 * The setup window: its construction, the Installation and Shell style
 * switches, the directory check and "Cancel".
 *
 * BuildSetupWindow makes every control in a fixed order (directory row,
 * compilers, tuning, switches, install-notice preview), aligns the fields
 * and boxes across the groups, then spreads the buttons over the aligned
 * directory row.
 * The handles are file-scope and live until the process ends; each build
 * starts from NULL handles, so a callback never reaches a control of an
 * earlier window.  All of it runs on the one GUI thread.
 *
 * Limits: lines of "shells.vtn" and of the preview file are read into
 * ParBuf, at most 499 characters; the rest of a longer line is dropped.
 * Shell names of 20 characters or more never match.  The shell path is
 * left empty when SHELL is unset or when SHELL with its option would not
 * fit 499 characters.  The directory field takes the whole working
 * directory (up to 4095 characters); when it cannot be had the field keeps
 * its text.
 */
#include "setup.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

/* ---- Window state: made by BuildSetupWindow, NULL until then */

Nlm_WindoW wSetup;
Nlm_TexT tKernel, tInclude, tLib, tCppName, tCppLib, tShellPath;
Nlm_GrouP gC, gCpp, gAdjust, gInst, gShellStyle, gShellPath, gReg, gTerm;
Nlm_PrompT pStatus;
Nlm_MenU mAdjust;
Nlm_ButtoN bReg;
Nlm_IteM iKernel, iC, iCpp, iInst, iShell;

/* label, section, key, field, item, help; the help texts belong to the
 * field help.  Walks take exactly the first three entries. */
struct TuningEntry Adjust[TUNING_ENTRIES + 1] = {
    {"Printer command", "Visual", "HCPRINTER", NULL, NULL, helpPrinter},
    {"PostScript previewer", "Visual", "HCVIEWER", NULL, NULL, helpPreviewer},
    {"External differentiator", "Compiler", "EXTDIFF", NULL, NULL, helpDifferentiator},
    {NULL, NULL, NULL, NULL, NULL, NULL},
};

/* name, option appended to SHELL, compile script; row n is radio value n */
const struct ShellStyle shells[SHELL_STYLES] = {
    {"csh", " -f", CompileRhs},
    {"ksh", " ", CompileRhsKsh},
};

/* ---- Module state */

static const char kTitle[] = "vartena 1.5 setup";
static const char kShellFile[] = "shells.vtn";
/* The preview's command: the file del3 it leaves holds an empty line, the
 * version line and the output of uname -a.  It runs in a private directory
 * (RunInScratchDir), never in the working directory. */
static const char kPreviewCommand[] =
    "echo '\nVARTENA 1.5? installed on'>del1;uname -a>del2;cat del1 del2>del3";
static const char kConsent[] =
    "I authorize the following e-mail message be sent to the authors:";
static const char kNoticeUse[] =
    "This data will be used to notify you about new versions of Vartena";

enum { kNameMax = 19,       /* longest shell name that can match */
       kFieldChars = 25,    /* width of a text field in characters */
       kDirBuf = 4096 };    /* the directory field as read and as set */

static Nlm_Int2 halfWidth, halfHeight;
static Nlm_GrouP gNoticeLines; /* the preview lines inside gReg */
/* The working directory as the Installation switch put it into tKernel,
 * and the field's text just after (HomeDirectory). */
static std::string fullDirectory, fullDirectoryShown;
/* The preview's version line and where its installation letter stands;
 * the letter follows the Installation switch, so the text shown is the
 * text sent. */
static Nlm_PrompT pVersion;
static std::string versionText;
static size_t versionMark;

/* ---- Small helpers */

std::string FieldText(Nlm_TexT field)
{
    std::vector<char> text(FIELD_TEXT_MAX + 1, '\0');
    Nlm_GetTitle(field, text.data(), (Nlm_Uint4)text.size());
    text.back() = '\0';
    return text.data();
}

/* Reads one line of f into ParBuf, at most 499 characters and its line
 * feed; the rest of a longer line is read and dropped.  FALSE at the end
 * of the file or on a read error. */
static Nlm_Boolean readLine(FILE *f)
{
    size_t n = 0;
    int c = EOF;
    Nlm_Boolean any = FALSE;
    while ((c = fgetc(f)) != EOF) {
        any = TRUE;
        if (n < PARBUF_SIZE - 1)
            ParBuf[n++] = (char)c;
        if (c == '\n')
            break;
    }
    ParBuf[n] = '\0';
    return any;
}

static Nlm_Boolean isAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

/* As the scan "%s %c": the first word of line and the first non-blank
 * character after it.  FALSE when either is missing or the word is longer
 * than a shell name can be. */
static Nlm_Boolean splitShellLine(const char *line, char *word, char *letter)
{
    const char *p = line;
    while (*p != '\0' && isspace((unsigned char)*p))
        p++;
    size_t n = 0;
    while (p[n] != '\0' && !isspace((unsigned char)p[n]))
        n++;
    if (n == 0 || n > kNameMax)
        return FALSE;
    memcpy(word, p, n);
    word[n] = '\0';
    p += n;
    while (*p != '\0' && isspace((unsigned char)*p))
        p++;
    if (*p == '\0')
        return FALSE;
    *letter = *p;
    return TRUE;
}

/* The style a shell gets when "shells.vtn" does not decide: ksh for the
 * Bourne family, whose shells cannot run a csh script, csh for csh, tcsh
 * and anything unknown. */
static Nlm_Int2 familyStyle(const char *base)
{
    static const char *const bourne[] = {"sh", "bash", "dash", "ksh", "mksh", "pdksh", "zsh", "ash", "busybox"};
    for (const char *name : bourne)
        if (strcmp(base, name) == 0)
            return STYLE_KSH;
    return STYLE_CSH;
}

/* The style value (1 csh, 2 ksh) for the shell named by SHELL: the last
 * line of "shells.vtn" in the working directory that names its base name
 * and a style letter decides; without the file or such a line, the shell's
 * family; csh without SHELL.  A "shells.vtn" that is no regular file (a
 * pipe would never end the read) counts as missing. */
static Nlm_Int2 detectShellStyle(void)
{
    const char *shell = getenv("SHELL");
    if (shell == NULL)
        return STYLE_CSH;
    const char *slash = strrchr(shell, '/');
    const char *base = slash != NULL ? slash + 1 : shell;
    Nlm_Int2 style = familyStyle(base);
    FILE *f = strlen(base) <= kNameMax ? OpenRegularFile(kShellFile) : NULL;
    if (f == NULL)
        return style;
    while (readLine(f)) {
        StrTrim(ParBuf);
        char word[kNameMax + 1];
        char letter;
        if (!isAsciiLetter(ParBuf[0]) || !splitShellLine(ParBuf, word, &letter))
            continue;
        if (strcmp(word, base) != 0)
            continue;
        if (letter >= 'A' && letter <= 'Z')
            letter = (char)(letter - 'A' + 'a');
        if (letter == 'c')
            style = STYLE_CSH;
        else if (letter == 'k')
            style = STYLE_KSH;
    }
    fclose(f);
    return style;
}

/* A prompt of the window's kind: default font, left-justified. */
static Nlm_PrompT prompt(Nlm_GrouP parent, const char *text, Nlm_Int2 height)
{
    return Nlm_StaticPrompt(parent, (Nlm_CharPtr)text, 0, height, Nlm_systemFont, 'l');
}

/* A framed group with the window's margins and spacing. */
static Nlm_GrouP framedGroup(Nlm_GrouP parent, Nlm_Int2 columns, Nlm_Int2 rows,
                             const char *title, Nlm_GrpActnProc action)
{
    Nlm_GrouP g = Nlm_NormalGroup(parent, columns, rows, (Nlm_CharPtr)title, Nlm_systemFont, action);
    Nlm_SetGroupMargins(g, halfWidth, halfHeight);
    Nlm_SetGroupSpacing(g, halfWidth, halfHeight);
    return g;
}

/* A labelled one-line text field of the window's width. */
static Nlm_TexT labelledField(Nlm_GrouP parent, const char *label, const char *text,
                              Nlm_TxtActnProc action)
{
    prompt(parent, label, Nlm_dialogTextHeight);
    return Nlm_DialogText(parent, (Nlm_CharPtr)text, kFieldChars, action);
}

/* ---- Construction phases */

static void resetState(void)
{
    wSetup = NULL;
    tKernel = tInclude = tLib = tCppName = tCppLib = tShellPath = NULL;
    gC = gCpp = gAdjust = gInst = gShellStyle = gShellPath = gReg = gTerm = NULL;
    gNoticeLines = NULL;
    pVersion = NULL;
    pStatus = NULL;
    mAdjust = NULL;
    bReg = NULL;
    iKernel = iC = iCpp = iInst = iShell = NULL;
    fullDirectory.clear();
    fullDirectoryShown.clear();
    for (int i = 0; i < TUNING_ENTRIES; i++) {
        Adjust[i].field = NULL;
        Adjust[i].item = NULL;
    }
}

const char *TuningDefault(const struct TuningEntry *e, int *from)
{
    size_t keyLen = strlen(e->key);
    const char *header = NULL;
    for (int n = 0; SetData[n] != NULL; n++) {
        const char *line = SetData[n];
        if (line[0] == '[') {
            header = line;
            continue;
        }
        if (n < *from || strncmp(line, e->key, keyLen) != 0 || line[keyLen] != '=')
            continue;
        snprintf(ParBuf, PARBUF_SIZE, "[%s]", e->section);
        if (header == NULL || strcmp(ParBuf, header) != 0)
            continue;
        *from = n + 1;
        return line + keyLen + 1;
    }
    return NULL;
}

/* One row per line of the settings template that holds an entry's key
 * under the entry's section; the default is the rest of the line. */
static void addTuningRows(void)
{
    for (int i = 0; i < TUNING_ENTRIES; i++) {
        struct TuningEntry *e = &Adjust[i];
        e->field = NULL;
        e->item = NULL;
        int from = 0;
        for (const char *text; (text = TuningDefault(e, &from)) != NULL;) {
            e->field = labelledField(gAdjust, e->label, text, NULL);
            e->item = Nlm_CommandItem(mAdjust, (Nlm_CharPtr)e->label, HelpProc);
        }
    }
}

/* The preview's version line with "m" on Full and "u" on User. */
static void showInstallationLetter(void)
{
    if (pVersion == NULL)
        return;
    versionText[versionMark] = Nlm_GetValue(gInst) == INST_FULL ? 'm' : 'u';
    Nlm_SetTitle(pVersion, (Nlm_CharPtr)versionText.c_str());
}

/* Reads the preview file left in dir and makes the "Registration" group
 * from it; without a readable file gReg and bReg stay NULL. */
static void buildNoticeGroup(const char *dir)
{
    std::string path = std::string(dir) + "/del3";
    FILE *f = fopen(path.c_str(), "r");
    if (f == NULL)
        return;
    gReg = framedGroup((Nlm_GrouP)wSetup, 0, 10, "Registration", NULL);
    bReg = Nlm_CheckBox(gReg, (Nlm_CharPtr)kConsent, NULL);
    Nlm_SetStatus(bReg, FALSE);
    gNoticeLines = Nlm_HiddenGroup(gReg, 0, 20, NULL);
    Nlm_SetGroupMargins(gNoticeLines, (Nlm_Int2)(2 * halfWidth), 0);
    Nlm_SetGroupSpacing(gNoticeLines, 0, 0);
    while (readLine(f)) {
        StrTrim(ParBuf);
        char *mark = strchr(ParBuf, '?');
        if (ParBuf[0] == '\0')
            continue;
        if (mark == NULL || pVersion != NULL) {
            prompt(gNoticeLines, ParBuf, 0);
            continue;
        }
        /* made with the wider letter, so that either fits */
        *mark = 'm';
        versionText = ParBuf;
        versionMark = (size_t)(mark - ParBuf);
        pVersion = prompt(gNoticeLines, ParBuf, 0);
        showInstallationLetter();
    }
    prompt(gReg, kNoticeUse, 0);
    fclose(f);
}

/* Makes a trial button in gTerm and removes it again: its width, and how
 * far left of its slot the toolkit sets a push button (the frame of a
 * default button: 2 pixels with Motif); the next slot begins after that
 * button's right edge. */
static Nlm_Int2 trialButtonWidth(const char *title, Nlm_Int2 *inset)
{
    Nlm_RecT group, r;
    Nlm_GetPosition(gTerm, &group);
    Nlm_ButtoN b = Nlm_PushButton(gTerm, (Nlm_CharPtr)title, NULL);
    Nlm_GetPosition(b, &r);
    Nlm_Remove(b);
    if (inset != NULL)
        *inset = (Nlm_Int2)(group.left > r.left ? group.left - r.left : 0);
    return (Nlm_Int2)(r.right - r.left);
}

/* "Setup" and "Cancel" spread over the directory row's width with three
 * equal gaps: before "Setup", between the buttons, after "Cancel".  The
 * group's margins start at the toolkit's 0, so the first trial shows the
 * button inset, which margins and spacing make up for. */
static void addButtons(Nlm_GrouP directoryRow)
{
    Nlm_RecT r;
    Nlm_GetPosition(directoryRow, &r);
    Nlm_Int2 width = (Nlm_Int2)(r.right - r.left);
    Nlm_Int2 inset = 0;
    gTerm = Nlm_HiddenGroup((Nlm_GrouP)wSetup, 3, 0, NULL);
    width = (Nlm_Int2)(width - trialButtonWidth("Setup", &inset));
    width = (Nlm_Int2)(width - trialButtonWidth("Cancel", NULL));
    Nlm_Int2 gap = (Nlm_Int2)(width / 3);
    Nlm_SetGroupMargins(gTerm, (Nlm_Int2)(gap + inset), halfHeight);
    Nlm_SetGroupSpacing(gTerm, (Nlm_Int2)(gap + inset), halfHeight);
    Nlm_PushButton(gTerm, (Nlm_CharPtr)"Setup", SetupProc);
    Nlm_PushButton(gTerm, (Nlm_CharPtr)"Cancel", CancelProc);
}

/* The status line: a prompt as wide as the button row, laid over it, so
 * that it takes no room of its own and the window keeps its size; shown
 * in place of the buttons while a command runs. */
static void addStatusLine(void)
{
    Nlm_RecT row;
    Nlm_GetPosition(gTerm, &row);
    pStatus = Nlm_StaticPrompt((Nlm_GrouP)wSetup, (Nlm_CharPtr)"", (Nlm_Int2)(row.right - row.left), 0,
                               Nlm_systemFont, 'c');
    Nlm_RecT line;
    Nlm_GetPosition(pStatus, &line);
    Nlm_Int2 top = (Nlm_Int2)((row.top + row.bottom - (line.bottom - line.top)) / 2);
    Nlm_LoadRect(&line, row.left, top, row.right, (Nlm_Int2)(top + line.bottom - line.top));
    Nlm_SetPosition(pStatus, &line);
    Nlm_Hide(pStatus);
}

/* The eight text fields get one left and one right edge: one list per
 * tuning entry, which ends early when the entry has no field. */
static void alignTextFields(void)
{
    for (int i = 0; i < TUNING_ENTRIES; i++)
        Nlm_AlignObjects(ALIGN_JUSTIFY, (Nlm_Handle)tKernel, (Nlm_Handle)tInclude,
                         (Nlm_Handle)tLib, (Nlm_Handle)tCppName, (Nlm_Handle)tCppLib,
                         (Nlm_Handle)Adjust[i].field, (Nlm_Handle)NULL);
}

/* Every list ends at its first NULL handle, as Nlm_AlignObjects reads it.
 * The consent box can reach further right than the fields (it does in the
 * 7x13 font), and the right alignment then widens the directory field
 * alone: the fields are aligned once more so that all eight keep one right
 * edge. */
static void alignWindow(void)
{
    alignTextFields();
    Nlm_AlignObjects(ALIGN_RIGHT, (Nlm_Handle)tKernel, (Nlm_Handle)tShellPath,
                     (Nlm_Handle)bReg, (Nlm_Handle)NULL);
    Nlm_AlignObjects(ALIGN_LOWER, (Nlm_Handle)gInst, (Nlm_Handle)gShellStyle,
                     (Nlm_Handle)gShellPath, (Nlm_Handle)NULL);
    alignTextFields();
}

Nlm_WindoW BuildSetupWindow(void)
{
    resetState();
    halfWidth = (Nlm_Int2)(Nlm_stdCharWidth >> 1);
    halfHeight = (Nlm_Int2)(Nlm_stdFontHeight >> 1);

    wSetup = Nlm_FixedWindow(-50, -50, -10, -10, (Nlm_CharPtr)kTitle, NULL);
    Nlm_MenU help = Nlm_PulldownMenu(wSetup, (Nlm_CharPtr)"Help");

    /* directory row */
    Nlm_GrouP directoryRow = Nlm_HiddenGroup((Nlm_GrouP)wSetup, 2, 0, NULL);
    Nlm_SetGroupMargins(directoryRow, halfWidth, halfHeight);
    Nlm_SetGroupSpacing(directoryRow, halfWidth, halfHeight);
    tKernel = labelledField(directoryRow, "VARTENA directory", "", PathCheckProc);
    iKernel = Nlm_CommandItem(help, (Nlm_CharPtr)"VARTENA directory", HelpProc);

    /* compilers */
    gC = framedGroup((Nlm_GrouP)wSetup, 2, 0, "C compiler", NULL);
    tInclude = labelledField(gC, "Include", "", NULL);
    tLib = labelledField(gC, "Libraries", "-lc -lm", NULL);
    iC = Nlm_CommandItem(help, (Nlm_CharPtr)"C compiler", HelpProc);
    gCpp = framedGroup((Nlm_GrouP)wSetup, 2, 0, "C++ compiler", NULL);
    tCppName = labelledField(gCpp, "Name", "c++", NULL);
    tCppLib = labelledField(gCpp, "Options", " -O2 -fPIC -lc -lm", NULL);
    iCpp = Nlm_CommandItem(help, (Nlm_CharPtr)"C++ compiler", HelpProc);

    /* tuning */
    gAdjust = framedGroup((Nlm_GrouP)wSetup, 2, 0, "Tuning", NULL);
    mAdjust = Nlm_SubMenu(help, (Nlm_CharPtr)"Tuning");
    addTuningRows();

    /* switches: installation kind, shell style, shell path */
    Nlm_GrouP switchRow = Nlm_HiddenGroup((Nlm_GrouP)wSetup, 5, 0, NULL);
    Nlm_SetGroupSpacing(switchRow, halfWidth, halfHeight);
    gInst = framedGroup(switchRow, 2, 0, "Installation", InstActnProc);
    iInst = Nlm_CommandItem(help, (Nlm_CharPtr)"Installation", HelpProc);
    Nlm_RadioButton(gInst, (Nlm_CharPtr)"Full");
    Nlm_RadioButton(gInst, (Nlm_CharPtr)"User");
    Nlm_SetValue(gInst, INST_USER);
    InstActnProc(gInst);
    gShellStyle = framedGroup(switchRow, 2, 0, "Shell style", ShellStyleProc);
    for (int i = 0; i < SHELL_STYLES; i++)
        Nlm_RadioButton(gShellStyle, (Nlm_CharPtr)shells[i].name);
    gShellPath = Nlm_NormalGroup(switchRow, 2, 0, (Nlm_CharPtr)"Shell path", Nlm_systemFont, NULL);
    Nlm_SetGroupMargins(gShellPath, halfWidth, halfHeight);
    tShellPath = Nlm_DialogText(gShellPath, (Nlm_CharPtr)"", 1, NULL);
    iShell = Nlm_CommandItem(help, (Nlm_CharPtr)"Shell", HelpProc);
    Nlm_SetValue(gShellStyle, detectShellStyle());
    ShellStyleProc(gShellStyle);
    if (Nlm_GetValue(gInst) != INST_FULL) {
        Nlm_Hide(gShellStyle);
        Nlm_Hide(gShellPath);
    }

    /* install notice */
    RunInScratchDir(kPreviewCommand, buildNoticeGroup);
    InstActnProc(gInst);

    /* alignment across the groups, then the buttons, spread over the
     * directory row as the alignment leaves it */
    alignWindow();
    addButtons(directoryRow);
    addStatusLine();
    return wSetup;
}

/* ---- Commands run while the window stays alive */

int RunShowingStatus(const char *command, const char *status)
{
    Nlm_SetTitle(pStatus, (Nlm_CharPtr)status);
    Nlm_Hide(gTerm);
    Nlm_Show(pStatus);
    int result = RunCommandWithEvents(command);
    Nlm_Hide(pStatus);
    Nlm_SetTitle(pStatus, (Nlm_CharPtr)"");
    Nlm_Show(gTerm);
    return result;
}

/* ---- Callbacks */

void InstActnProc(Nlm_GrouP group)
{
    showInstallationLetter();
    if (Nlm_GetValue(group) == INST_FULL) {
        char dir[kDirBuf];
        if (getcwd(dir, sizeof dir) != NULL) {
            Nlm_SetTitle(tKernel, dir);
            fullDirectory = dir;
            fullDirectoryShown = FieldText(tKernel);
        }
        Nlm_Enable(gC);
        Nlm_Enable(iC);
        Nlm_Show(gShellStyle);
        Nlm_Enable(iShell);
        Nlm_Show(gShellPath);
        Nlm_Enable(gCpp);
        Nlm_Enable(iCpp);
    } else {
        Nlm_Disable(gC);
        Nlm_Disable(iC);
        Nlm_Hide(gShellStyle);
        Nlm_Disable(iShell);
        Nlm_Hide(gShellPath);
        Nlm_Disable(gCpp);
        Nlm_Disable(iCpp);
    }
}

std::string HomeDirectory(void)
{
    std::string text = FieldText(tKernel);
    return !fullDirectory.empty() && text == fullDirectoryShown ? fullDirectory : text;
}

void ShellStyleProc(Nlm_GrouP group)
{
    Nlm_Int2 style = Nlm_GetValue(group);
    if (style < 1 || style > SHELL_STYLES)
        return;
    const char *shell = getenv("SHELL");
    const char *option = shells[style - 1].option;
    size_t shellLen = shell != NULL ? strlen(shell) : 0;
    size_t optionLen = strlen(option);
    if (shell == NULL || shellLen + optionLen >= PARBUF_SIZE) {
        Nlm_SetTitle(tShellPath, (Nlm_CharPtr)"");
        return;
    }
    memcpy(ParBuf, shell, shellLen);
    memcpy(ParBuf + shellLen, option, optionLen + 1);
    Nlm_SetTitle(tShellPath, ParBuf);
}

/* Setting the text puts the toolkit's caret at the start; it is put back
 * where the user was typing, so that the next keys follow the text. */
void PathCheckProc(Nlm_TexT field)
{
    char text[kDirBuf];
    Nlm_GetTitle(field, text, sizeof text);
    char *bad = strpbrk(text, " \\,");
    if (bad == NULL)
        return;
    Nlm_Beep();
    Nlm_Int4 caret = Nlm_GetTextCursorPos(field);
    Nlm_Int4 removed = (Nlm_Int4)(bad - text);
    memmove(bad, bad + 1, strlen(bad + 1) + 1);
    Nlm_SetTitle(field, text);
    if (caret > removed)
        caret--;
    Nlm_SetTextCursorPos(field, caret);
}

void CancelProc(Nlm_ButtoN)
{
    Nlm_QuitProgram();
}
