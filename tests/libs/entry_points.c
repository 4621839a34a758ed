/*
 * A package library with the three entry points, built once per name in
 * LIBRARY_NAME.  Every call is reported to the recorder that the host has
 * put in the first entry of its core table,
 *     void recorder(const char *library, const char *entry);
 * so that calls made just before the library is closed can still be seen.
 * The tables and the handle given are kept for the tests to read.
 */
#ifndef LIBRARY_NAME
#error "LIBRARY_NAME must name the library"
#endif

#include <stddef.h>

typedef void (*Recorder)(const char *library, const char *entry);

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
    vart_core_table = coreTable;
    report("_VartInit");
}

void _VartIInit(void *interTable, void *handle)
{
    vart_inter_table = interTable;
    vart_handle = handle;
    report("_VartIInit");
}

void _VartITerm(void)
{
    report("_VartITerm");
}
