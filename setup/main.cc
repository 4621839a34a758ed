/*
 * The setup program's entry.  Vibrant's own start-up opens the X display
 * (without one it says so and ends with status 1) and calls Nlm_Main, which
 * builds the setup window, shows it and runs the event loop until "Cancel"
 * or the end of a Setup run asks to quit.
 */
#include "setup.h"

#include <stdlib.h>

/* The settings file is the working directory's: the toolkit's variable
 * that would skip it in favour of a system-wide file is dropped. */
extern "C" Nlm_Int2 Nlm_Main(void)
{
    unsetenv("NCBI_DONT_USE_LOCAL_CONFIG");
    Nlm_WindoW window = BuildSetupWindow();
    Nlm_Show(window);
    Nlm_ProcessEvents();
    return 0;
}
