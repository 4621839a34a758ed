/* The toolkit's headers and the setup module's, for the suites: include it
 * after GoogleTest.  The toolkit defines macros named like GoogleTest's
 * internals (Message, GetString); they are dropped here, so suites write
 * Nlm_Message and Nlm_GetString in full. */
#ifndef VARTENA_TEST_TOOLKIT_H
#define VARTENA_TEST_TOOLKIT_H

#include <ncbi.h>
#include <vibrant.h>

#include "setup.h"

#undef Message
#undef GetString

#endif
