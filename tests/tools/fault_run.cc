/* One installation in the working directory for the fault-injection test:
 * the setup window built, the Installation kind VART_KIND (1 Full, 2 User)
 * chosen, the directory field set to VART_HOME, the ksh style with
 * /bin/sh, "Setup" pressed in process.  Prints every alert, then "quit"
 * when the run reached its end or "stopped". */
#include "toolkit.h"

#include <cstdio>
#include <cstdlib>

static MsgAnswer LIBCALLBACK printAlert(MsgKey, ErrSev, const char *, const char *message)
{
    printf("alert: %s\n", message != NULL ? message : "");
    return ANS_OK;
}

extern "C" Nlm_Int2 Nlm_Main(void)
{
    const char *kind = getenv("VART_KIND"), *home = getenv("VART_HOME");
    Nlm_SetMessageHook(printAlert);
    BuildSetupWindow();
    Nlm_SetValue(gInst, static_cast<Nlm_Int2>(kind != NULL ? atoi(kind) : 1));
    InstActnProc(gInst);
    Nlm_SetTitle(tKernel, const_cast<char *>(home != NULL ? home : ""));
    Nlm_SetValue(gShellStyle, 2);
    Nlm_SetTitle(tShellPath, const_cast<char *>("/bin/sh "));
    SetupProc(NULL);
    printf("%s\n", Nlm_QuittingProgram() ? "quit" : "stopped");
    return 0;
}
