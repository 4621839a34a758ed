/* The field help is not built yet: the Help items show nothing for now. */
#include "setup.h"

void HelpProc(Nlm_IteM) {}
