/* The suite's main, inside a live toolkit: Vibrant's main calls Nlm_Main. */
#include <gtest/gtest.h>

#include "harness.h"

#include <chrono>

static MsgAnswer LIBCALLBACK printAlert(MsgKey, ErrSev, const char *, const char *message)
{
    return printf("alert: %s\n", message != NULL ? message : ""), ANS_OK;
}

/* With VART_FAULT_HOME, the fault-injection test's child: one Full run of
 * that home from the working directory, ksh style with /bin/sh, printing
 * every alert and then "quit in N ms" or "stopped in N ms". */
extern "C" Nlm_Int2 Nlm_Main(void)
{
    if (getenv("VART_FAULT_HOME") != NULL) {
        Nlm_SetMessageHook(printAlert);
        vt::PrepareWindow(1, getenv("VART_FAULT_HOME"));
        Nlm_SetValue(gShellStyle, 2);
        vt::SetText(tShellPath, "/bin/sh ");
        auto start = std::chrono::steady_clock::now();
        SetupProc(NULL);
        printf("%s in %.1f ms\n", Nlm_Enabled(gTerm) ? "stopped" : "quit",
               std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        return 0;
    }
    int argc = static_cast<int>(Nlm_GetArgc());
    char **argv = Nlm_GetArgv();
    ::testing::InitGoogleTest(&argc, argv);
    return static_cast<Nlm_Int2>(RUN_ALL_TESTS());
}
