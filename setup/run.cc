/* The installation run is not built yet: "Setup" does nothing for now. */
#include "setup.h"

void SetupProc(Nlm_ButtoN) {}
