/* A package library with the three entry points, built as LIBRARY_NAME "a"
 * and "b" (and, with PLAIN, as one without them).  Each call goes to the
 * recorder that the host put first in its core table, void recorder(const
 * char *library, const char *entry); the handle given is kept for the tests. */
void *vart_handle;

#ifndef PLAIN
typedef void (*Recorder)(const char *library, const char *entry);
static void **core;
static void report(const char *entry)
{
    if (core != 0 && core[0] != 0)
        ((Recorder)core[0])(LIBRARY_NAME, entry);
}
void _VartInit(void *coreTable) { core = coreTable, report("_VartInit"); }
void _VartIInit(void *interTable, void *handle) { (void)interTable, vart_handle = handle, report("_VartIInit"); }
void _VartITerm(void) { report("_VartITerm"); }
#endif
