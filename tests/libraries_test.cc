/* The shared library registry on libraries built with the tests: vart_entry_a
 * and vart_entry_b report their entry points' calls, vart_plain has none. */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <vector>

#include "support.h"
#include "utility.h"

namespace {

using Texts = std::vector<std::string>;

const std::string LibA = VART_LIB_A, LibB = VART_LIB_B, LibPlain = VART_LIB_PLAIN;
const std::string LibLoadText = "- cannot load.\n";
/* Failing and extra libraries lie in the scratch directory. */
const std::string Rc = "[Libraries]\nA=" + LibA + "\nA_AGAIN=$(Libraries.A)\nB=" + LibB + "\nPLAIN=" + LibPlain +
                       "\nMISSING=./missing.so\nPERCENT=./bad%%s%%n%%d.so\nEXTRA=./plain20.so\n"
                       "RAW_S=./bad%s.so\nRAW_N=$(Libraries.A)%n\n"
                       "[KernelErrors]\nLIBLOAD=- cannot load.~\n";

int countOf(const std::string &path)
{
    for (int i = 0; i < LIB_SLOTS; i++)
        if (Libs[i].name != NULL && path == Libs[i].name)
            return Libs[i].count;
    return 0;
}

long slotsInUse()
{
    return std::count_if(Libs, Libs + LIB_SLOTS, [](const LibSlot &slot) { return slot.name != NULL; });
}

/* Entry point calls as "library:entry:lock count at the call". */
Texts events;

void record(const char *library, const char *entry)
{
    events.push_back(std::string(library) + ":" + entry + ":" +
                     std::to_string(countOf(*library == 'a' ? LibA : LibB)));
}

/* Whether the loader holds path loaded, without loading it. */
bool loaded(const std::string &path)
{
    void *handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle != NULL)
        dlclose(handle);
    return handle != NULL;
}

void *exported(void *handle, const char *name)
{
    void **address = static_cast<void **>(dlsym(handle, name));
    return address != NULL ? *address : reinterpret_cast<void *>(-1);
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, slotsInUse());
        ASSERT_EQ(nullptr, UnlockList);
        events.clear();
        CoreFuncTable[0] = reinterpret_cast<void *>(&record);
        LibHandles[0] = NULL;
    }

    void TearDown() override
    {
        LibraryUnlockAll();
        LibraryUnlockRequested(); /* requests left only free themselves now */
        CoreFuncTable[0] = NULL;
    }

    vt::ScratchDir dir_{Rc};
    vt::AlertLog alerts_;
};

TEST_F(Registry, LocksOfOnePathShareOneSlotAndEachLockByKeyInitialises)
{
    void *a = LibraryLock("A");
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(a, LibraryLock("A"));
    EXPECT_EQ(a, LibraryLock("A_AGAIN"));
    EXPECT_EQ(a, my_LibraryLock(LibA.c_str())) << "a lock by path calls no entry point";
    EXPECT_EQ(1, slotsInUse());
    EXPECT_EQ(4, countOf(LibA));
    EXPECT_EQ(static_cast<void *>(InterFuncTable), exported(a, "vart_inter_table"));
    EXPECT_EQ(a, exported(a, "vart_handle"));
    EXPECT_EQ((Texts{"a:_VartInit:1", "a:_VartIInit:1", "a:_VartInit:2", "a:_VartIInit:2",
                     "a:_VartInit:3", "a:_VartIInit:3"}),
              events) << "the core table reaches _VartInit, which reports through it";

    for (int left = 3; left >= 0; left--) {
        EXPECT_EQ(nullptr, LibraryUnlock(a));
        EXPECT_EQ(left, countOf(LibA));
        EXPECT_EQ(left > 0, loaded(LibA));
    }
    EXPECT_EQ(0, slotsInUse());
    EXPECT_EQ(6u, events.size()) << "an ordinary unlock does not call _VartITerm";
    EXPECT_EQ(0u, alerts_.count());
}

/* A failed symbol lookup leaves a loader error that the refusal must not show. */
TEST_F(Registry, TwentyFirstLibraryIsRefusedWhileALoadedPathCanStillBeLocked)
{
    const std::string bytes = vt::ReadFile(LibPlain);
    for (int i = 0; i <= LIB_SLOTS; i++)
        vt::WriteFile("plain" + std::to_string(i) + ".so", bytes, 0755);
    for (int i = 0; i < LIB_SLOTS; i++)
        ASSERT_NE(nullptr, my_LibraryLock(("./plain" + std::to_string(i) + ".so").c_str())) << i;
    EXPECT_EQ(LIB_SLOTS, slotsInUse()) << "copies of one library are loaded apart";
    EXPECT_EQ(nullptr, LibraryFuncAddressCond(Libs[0].handle, "no_such_function"));
    EXPECT_EQ(nullptr, LibraryLock("EXTRA"));
    EXPECT_EQ(Texts{"More then 20 shared libraries are loaded"}, alerts_.texts());
    EXPECT_FALSE(loaded("./plain20.so"));

    EXPECT_EQ(Libs[5].handle, my_LibraryLock("./plain5.so"));
    EXPECT_EQ(2, Libs[5].count);
    EXPECT_EQ(1u, alerts_.count());
}

/* The loader's text names the path; for bad%s%n%d.so it would not survive
 * being used as a format.  A lock by path shows nothing. */
TEST_F(Registry, FailedLoadFreesItsSlotAndLeavesPathAndLibLoadTextInParBuf)
{
    vt::WriteFile("bad%s%n%d.so", "not a shared library\n");
    for (const std::string key : {"MISSING", "PERCENT"}) {
        const std::string path = key == "MISSING" ? "./missing.so" : "./bad%s%n%d.so";
        alerts_.clear();
        EXPECT_EQ(nullptr, LibraryLock(key.c_str()));
        EXPECT_EQ(path + LibLoadText, ParBuf);
        ASSERT_EQ(1u, alerts_.count());
        EXPECT_EQ(0u, alerts_.texts()[0].find(path + ": ")) << alerts_.texts()[0];
        strcpy(ParBuf, "previous text");
        EXPECT_EQ(nullptr, my_LibraryLock(path.c_str()));
        EXPECT_EQ(path + LibLoadText, ParBuf);
        EXPECT_EQ(1u, alerts_.count());
    }
    EXPECT_EQ(0, slotsInUse());
    void *a = LibraryLock("A");
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(a, Libs[0].handle) << "the failed loads left slot 0 free";

    alerts_.clear();
    vt::WriteFile(".vartenarc", "[Libraries]\nMISSING=./missing.so\n");
    vt::DropSettingsCache();
    EXPECT_EQ(nullptr, LibraryLock("MISSING"));
    EXPECT_STREQ("./missing.so", ParBuf) << "without the LIBLOAD text";
    ASSERT_EQ(2u, alerts_.count());
    EXPECT_EQ("Settings file 'vartena', section 'KernelErrors', key 'LIBLOAD': not found", alerts_.texts()[0]);
    EXPECT_EQ(0u, alerts_.texts()[1].find("./missing.so: ")) << alerts_.texts()[1];
}

TEST_F(Registry, UnknownKeysHandlesAndSymbolsChangeNothing)
{
    void *plain = LibraryLock("PLAIN");
    ASSERT_NE(nullptr, plain);
    EXPECT_EQ(nullptr, LibraryLock("NOPE"));
    EXPECT_EQ(nullptr, LibraryLock("RAW_S")) << "never formatted with arguments nobody passed";
    EXPECT_EQ(nullptr, LibraryLock("RAW_N"));
    EXPECT_EQ((Texts{"Settings file 'vartena', section 'Libraries', key 'NOPE': not found",
                     "Shared library path './bad%s.so' holds a printf directive: it is not loaded",
                     "Shared library path '" + LibA + "%n' holds a printf directive: it is not loaded"}),
              alerts_.texts());
    alerts_.clear();
    int other = 0;
    EXPECT_EQ(nullptr, LibraryUnlock(NULL));
    EXPECT_EQ(-1, my_LibraryUnlock(&other));
    EXPECT_EQ(-1, my_LibraryUnlock(NULL)) << "a free slot's NULL handle is no match";
    EXPECT_EQ(1, countOf(LibPlain));

    auto answer = reinterpret_cast<int (*)(void)>(LibraryFuncAddress(plain, "vart_plain_answer"));
    ASSERT_NE(nullptr, answer);
    EXPECT_EQ(7, answer());
    EXPECT_EQ(nullptr, LibraryFuncAddress(NULL, "vart_plain_answer"));
    EXPECT_EQ(0u, alerts_.count());
    EXPECT_EQ(nullptr, LibraryFuncAddress(plain, "no_such%s_function"));
    ASSERT_EQ(1u, alerts_.count());
    EXPECT_NE(std::string::npos, alerts_.texts()[0].find("no_such%s_function")) << alerts_.texts()[0];
}

/* Notes which of the libraries A, B and PLAIN hold a slot when it runs. */
void noteLoaded(void)
{
    events.push_back(std::string(countOf(LibA) ? "a" : "") + (countOf(LibB) ? "b" : "") +
                     (countOf(LibPlain) ? "p" : ""));
}

void requestAgain(void)
{
    LibraryUnlockRequest(Libs[0].handle, NULL);
}

/* A request made by a callback waits for the next round, so every round
 * ends; the host's LibHandles entry is cleared with the last lock. */
TEST_F(Registry, DeferredUnlocksRunNewestFirstWithTheirCallbacksBeforeTheUnlock)
{
    for (const char *key : {"A", "A", "A", "B", "PLAIN"})
        ASSERT_NE(nullptr, LibraryLock(key));
    void *a = Libs[0].handle;
    events.clear();
    LibHandles[0] = a;
    LibraryUnlockRequest(a, noteLoaded);
    LibraryUnlockRequest(Libs[1].handle, noteLoaded);
    LibraryUnlockRequest(Libs[2].handle, noteLoaded);
    EXPECT_EQ(3, slotsInUse()) << "a request alone unlocks nothing";
    LibraryUnlockRequested();
    EXPECT_EQ((Texts{"abp", "ab", "a"}), events);
    EXPECT_EQ(nullptr, UnlockList);
    EXPECT_EQ(2, countOf(LibA));

    LibraryUnlockRequest(a, requestAgain);
    LibraryUnlockRequested();
    EXPECT_EQ(1, countOf(LibA));
    EXPECT_EQ(a, LibHandles[0]) << "a library that stays loaded stays in use";
    ASSERT_NE(nullptr, UnlockList);
    EXPECT_EQ(nullptr, UnlockList->next);
    EXPECT_EQ(a, UnlockList->handle);
    LibraryUnlockRequested();
    EXPECT_EQ(nullptr, UnlockList);
    EXPECT_EQ(nullptr, LibHandles[0]);
    EXPECT_EQ(0, slotsInUse());
}

TEST_F(Registry, UnlockAllCallsTermOnceWithOneLockLeftAndFreesEverySlot)
{
    for (const char *key : {"A", "A", "A", "PLAIN", "B"})
        ASSERT_NE(nullptr, LibraryLock(key));
    void *plain = Libs[1].handle;
    LibraryUnlockRequest(plain, NULL);
    events.clear();

    LibraryUnlockAll();
    EXPECT_EQ((Texts{"a:_VartITerm:1", "b:_VartITerm:1"}), events);
    EXPECT_EQ(0, slotsInUse());
    EXPECT_FALSE(loaded(LibA) || loaded(LibB) || loaded(LibPlain));
    ASSERT_NE(nullptr, UnlockList) << "requests still waiting are left";
    EXPECT_EQ(plain, UnlockList->handle);
    EXPECT_EQ(0u, alerts_.count());
}

} // namespace
