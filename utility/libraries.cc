/*
 * The shared library registry: the package's own libraries, loaded through
 * the dynamic loader and counted, so that a library locked several times is
 * loaded once and closed when its last lock is released.
 *
 * Ownership: a slot in use owns the heap copy of its path and one dlopen
 * reference; an unlock request is owned by UnlockList until it is carried
 * out.  Failures are shown once, where they happen: a loader error text is
 * always shown as text, never used as a format.
 */
#include <ncbi.h>

#include <dlfcn.h>
#include <cstring>

#include "internal.h"

struct LibSlot Libs[LIB_SLOTS];
struct UnlockRequest *UnlockList;
void *CoreFuncTable[CORE_FUNCS];
void *InterFuncTable[INTER_FUNCS];
void *LibHandles[1];

namespace {

/* Entry points a library may export; their results are ignored. */
typedef void (*InitEntry)(void *coreTable);
typedef void (*InterInitEntry)(void *interTable, void *handle);
typedef void (*TermEntry)(void);

/* The loader's text for the last failed load of my_LibraryLock, "" when
 * its last call loaded nothing or loaded fine.  Kept here because the
 * LIBLOAD lookup in between may call the loader and lose its error. */
char loadError[PARBUF_SIZE];

void keepLoadError()
{
    const char *text = dlerror();
    if (text == NULL)
        text = "";
    strncpy(loadError, text, sizeof loadError - 1);
    loadError[sizeof loadError - 1] = '\0';
}

/* The lowest-numbered slot in use that holds handle, or -1.  Free slots
 * are never matched, also not by a NULL handle. */
int slotOf(void *handle)
{
    for (int i = 0; i < LIB_SLOTS; i++)
        if (Libs[i].name != NULL && Libs[i].handle == handle)
            return i;
    return -1;
}

/* Releases one lock of slot i (in use); the last one frees the slot and
 * closes the library. */
void releaseSlot(int i)
{
    struct LibSlot *slot = &Libs[i];
    if (--slot->count > 0)
        return;
    void *handle = slot->handle;
    Nlm_MemFree(slot->name);
    slot->name = NULL;
    slot->handle = NULL;
    slot->count = 0;
    dlclose(handle);
}

/* dlsym without a message; a failed lookup leaves no loader error behind
 * for a later report to pick up. */
void *lookUp(void *handle, const char *name, bool report)
{
    if (handle == NULL || name == NULL)
        return NULL;
    dlerror();
    void *address = dlsym(handle, name);
    const char *text = dlerror();
    if (address == NULL && text != NULL && report)
        Nlm_Message(ALERT_OK, "%s", text);
    return address;
}

/* Clears the first entry of the host's LibHandles that holds handle. */
void forgetInUse(void *handle)
{
    for (size_t k = 0; k < sizeof LibHandles / sizeof LibHandles[0]; k++) {
        if (LibHandles[k] == handle) {
            LibHandles[k] = NULL;
            return;
        }
    }
}

/* ParBuf receives path (cut to fit) unless path already is ParBuf's text. */
void pathToParBuf(const char *path)
{
    if (path == ParBuf)
        return;
    size_t length = strnlen(path, PARBUF_SIZE - 1);
    memmove(ParBuf, path, length);
    ParBuf[length] = '\0';
}

} // namespace

void *my_LibraryLock(const char *path)
{
    loadError[0] = '\0';
    if (path == NULL)
        return NULL;

    int freeSlot = -1;
    for (int i = 0; i < LIB_SLOTS; i++) {
        if (Libs[i].name == NULL) {
            if (freeSlot < 0)
                freeSlot = i;
        } else if (strcmp(Libs[i].name, path) == 0) {
            Libs[i].count++;
            return Libs[i].handle;
        }
    }
    if (freeSlot < 0) {
        Nlm_Message(ALERT_OK, "More then %i shared libraries are loaded", LIB_SLOTS);
        return NULL;
    }

    void *handle = dlopen(path, RTLD_LAZY);
    if (handle == NULL) {
        keepLoadError();
        /* ParBuf: the path followed by the expanded LIBLOAD text (or, with
         * the key missing, the path alone after the "not found" alert). */
        pathToParBuf(path);
        GetParamAppend("KernelErrors", "LIBLOAD");
        return NULL;
    }

    /* No memory for the name: the toolkit has reported it; nothing stays
     * loaded. */
    char *name = Nlm_StringSave(path);
    if (name == NULL) {
        dlclose(handle);
        return NULL;
    }
    Libs[freeSlot].name = name;
    Libs[freeSlot].handle = handle;
    Libs[freeSlot].count = 1;
    return handle;
}

/* The path is the expanded value with "%%" read as "%", as formatting it
 * without arguments would give; any other directive would take an
 * argument that nobody passes, so such a path is refused. */
void *LibraryLock(const char *key)
{
    char *path = GetParamString("Libraries", key);
    if (path == NULL)
        return NULL;
    if (FormatDirectives(path, NULL, 0) > 0) {
        Nlm_Message(ALERT_OK, "Shared library path '%s' holds a printf directive: it is not loaded", path);
        return NULL;
    }
    char *out = path;
    for (const char *in = path; *in != '\0'; in++) {
        *out++ = *in;
        if (in[0] == '%' && in[1] == '%')
            in++;
    }
    *out = '\0';

    void *handle = my_LibraryLock(path);
    if (handle == NULL) {
        if (loadError[0] != '\0')
            Nlm_Message(ALERT_OK, "%s", loadError);
        return NULL;
    }

    InitEntry init = reinterpret_cast<InitEntry>(LibraryFuncAddressCond(handle, "_VartInit"));
    if (init != NULL)
        init(CoreFuncTable);
    InterInitEntry interInit =
        reinterpret_cast<InterInitEntry>(LibraryFuncAddressCond(handle, "_VartIInit"));
    if (interInit != NULL)
        interInit(InterFuncTable, handle);
    return handle;
}

int my_LibraryUnlock(void *handle)
{
    int i = slotOf(handle);
    if (i >= 0)
        releaseSlot(i);
    return i;
}

void *LibraryUnlock(void *handle)
{
    if (handle != NULL)
        my_LibraryUnlock(handle);
    return NULL;
}

void *LibraryFuncAddress(void *handle, const char *name)
{
    return lookUp(handle, name, true);
}

void *LibraryFuncAddressCond(void *handle, const char *name)
{
    return lookUp(handle, name, false);
}

/* Without memory for the request the toolkit reports it and the list stays
 * as it was: the library keeps its lock. */
void LibraryUnlockRequest(void *handle, void (*callback)(void))
{
    struct UnlockRequest *request = static_cast<struct UnlockRequest *>(
        Nlm_MemGet(sizeof *request, MGET_CLEAR | MGET_ERRPOST));
    if (request == NULL)
        return;
    request->handle = handle;
    request->callback = callback;
    request->next = UnlockList;
    UnlockList = request;
}

/* The requests made so far are taken off UnlockList at once and carried
 * out newest first; a request that a callback makes meanwhile waits in
 * UnlockList for the next call, so every call ends. */
void LibraryUnlockRequested(void)
{
    struct UnlockRequest *pending = UnlockList;
    UnlockList = NULL;
    while (pending != NULL) {
        struct UnlockRequest *request = pending;
        pending = request->next;
        if (request->callback != NULL)
            request->callback();
        int i = slotOf(request->handle);
        if (i >= 0 && Libs[i].count == 1)
            forgetInUse(request->handle);
        LibraryUnlock(request->handle);
        Nlm_MemFree(request);
    }
}

/* "_VartITerm" runs once per library, with exactly one lock left. */
void LibraryUnlockAll(void)
{
    for (int i = 0; i < LIB_SLOTS; i++) {
        if (Libs[i].name == NULL || Libs[i].count <= 0)
            continue;
        void *handle = Libs[i].handle;
        while (Libs[i].count > 1)
            releaseSlot(i);
        TermEntry term = reinterpret_cast<TermEntry>(LibraryFuncAddressCond(handle, "_VartITerm"));
        if (term != NULL)
            term();
        /* the entry point may have released the library itself */
        if (Libs[i].name != NULL && Libs[i].handle == handle)
            releaseSlot(i);
    }
}
