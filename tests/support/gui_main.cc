/* Entry of the GUI suites: Vibrant's own main opens the display and calls
 * Nlm_Main, so the tests run inside a live toolkit. */
#include <gtest/gtest.h>

#include "toolkit.h"

#include "support.h"

extern "C" Nlm_Int2 Nlm_Main(void)
{
    int argc = static_cast<int>(Nlm_GetArgc());
    char **argv = Nlm_GetArgv();
    ::testing::InitGoogleTest(&argc, argv);
    vt::AddHomeRcGuard();
    return static_cast<Nlm_Int2>(RUN_ALL_TESTS());
}
