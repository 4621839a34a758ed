/* The suite's main, inside a live toolkit: Vibrant's main calls Nlm_Main. */
#include <gtest/gtest.h>

#include "harness.h"

#include <chrono>
#include <ctime>

static MsgAnswer LIBCALLBACK printAlert(MsgKey, ErrSev, const char *, const char *message)
{
    return printf("alert: %s\n", message != NULL ? message : ""), ANS_OK;
}

std::string vt::SuitePath;

/* With VART_STORE=P, a writer beside others: once the file "go" is in the
 * working directory (at most 20 s later), it stores [W] P_0 .. P_49 and
 * prints how many SetParam took.  With VART_FAULT_HOME, the fault-injection
 * test's child: one Full run of that home from the working directory, ksh
 * style with /bin/sh; with VART_USER_HOME a User run of that home.  Each
 * prints every alert; the run then "quit in N ms" or "stopped in N ms". */
extern "C" Nlm_Int2 Nlm_Main(void)
{
    char *self = realpath(Nlm_GetArgv()[0], NULL);
    vt::SuitePath = self != NULL ? self : Nlm_GetArgv()[0];
    free(self);
    if (const char *writer = getenv("VART_STORE")) {
        Nlm_SetMessageHook(printAlert);
        vt::WriteFile(std::string("ready.") + writer, "");
        for (int i = 0; i < 20000 && !vt::Exists("go"); i++)
            usleep(1000);
        int stored = 0;
        for (int k = 0; k < 50; k++) {
            std::string key = writer + ("_" + std::to_string(k)), value = "v";
            stored += SetParam("W", key.c_str(), &value[0]);
        }
        return printf("%d stored\n", stored), 0;
    }
    if (getenv("VART_FAULT_HOME") != NULL || getenv("VART_USER_HOME") != NULL) {
        Nlm_SetMessageHook(printAlert);
        if (getenv("VART_USER_HOME") != NULL)
            vt::PrepareWindow(INST_USER, getenv("VART_USER_HOME"));
        else
            vt::PrepareWindow(INST_FULL, getenv("VART_FAULT_HOME"));
        Nlm_SetValue(gShellStyle, STYLE_KSH);
        vt::SetText(tShellPath, "/bin/sh ");
        auto start = std::chrono::steady_clock::now();
        double cpu = clock();
        SetupProc(NULL);
        printf("%s in %.1f ms (Setup's own work, the commands it runs apart: %.1f ms of CPU)\n", Nlm_Enabled(gTerm) ? "stopped" : "quit",
               std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
               (clock() - cpu) * 1000.0 / CLOCKS_PER_SEC);
        return 0;
    }
    int argc = static_cast<int>(Nlm_GetArgc());
    char **argv = Nlm_GetArgv();
    ::testing::InitGoogleTest(&argc, argv);
    return static_cast<Nlm_Int2>(RUN_ALL_TESTS());
}
