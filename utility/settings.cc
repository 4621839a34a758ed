/* The settings store (being written). */
#include "utility.h"

char ParBuf[PARBUF_SIZE];
