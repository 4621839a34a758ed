/*
 * A package library with the three entry points, built once per name in
 * LIBRARY_NAME.  Every call is counted in the exported counters, and the
 * arguments are kept, for the registry's tests to read through the loader.
 * When the host has put a recorder in the first entry of its core table,
 *     void recorder(const char *library, const char *entry);
 * every call is also reported there, so that calls made just before the
 * library is closed can still be seen.
 */
#ifndef LIBRARY_NAME
#error "LIBRARY_NAME must name the library"
#endif

#include <stddef.h>

typedef void (*Recorder)(const char *library, const char *entry);

int vart_init_calls;
int vart_iinit_calls;
int vart_iterm_calls;
void *vart_core_table;
void *vart_inter_table;
void *vart_handle;

static void report(const char *entry)
{
    if (vart_core_table == NULL)
        return;
    Recorder recorder = (Recorder)((void **)vart_core_table)[0];
    if (recorder != NULL)
        recorder(LIBRARY_NAME, entry);
}

void _VartInit(void *coreTable)
{
    vart_init_calls++;
    vart_core_table = coreTable;
    report("_VartInit");
}

void _VartIInit(void *interTable, void *handle)
{
    vart_iinit_calls++;
    vart_inter_table = interTable;
    vart_handle = handle;
    report("_VartIInit");
}

void _VartITerm(void)
{
    vart_iterm_calls++;
    report("_VartITerm");
}

int vart_answer(void)
{
    return 42;
}
