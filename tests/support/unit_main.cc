/* Entry of the suites that need no display: plain main, no Vibrant start-up. */
#include <gtest/gtest.h>

#include "support.h"

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    vt::AddHomeRcGuard();
    return RUN_ALL_TESTS();
}
