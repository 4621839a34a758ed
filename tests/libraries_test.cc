/* The shared library registry on real libraries built with the tests:
 * vart_entry_a and vart_entry_b export the three entry points and count
 * their calls, vart_plain exports none. */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <cstring>
#include <dlfcn.h>
#include <string>
#include <vector>

#include "support.h"
#include "utility.h"

#if !defined(VART_LIB_A) || !defined(VART_LIB_B) || !defined(VART_LIB_PLAIN)
#error "the test libraries' paths must be given"
#endif

namespace {

const std::string LibA = VART_LIB_A;
const std::string LibB = VART_LIB_B;
const std::string LibPlain = VART_LIB_PLAIN;

const char *const LibLoadText = "- cannot load.\n";

/* Calls of the entry points as the libraries report them, each with the
 * lock count its library's slot had at that moment. */
std::vector<std::string> events;

int countOf(const std::string &path)
{
    for (int i = 0; i < LIB_SLOTS; i++)
        if (Libs[i].name != NULL && path == Libs[i].name)
            return Libs[i].count;
    return 0;
}

void record(const char *library, const char *entry)
{
    std::string path = std::string(library) == "a" ? LibA : LibB;
    events.push_back(std::string(library) + ":" + entry + ":" + std::to_string(countOf(path)));
}

int slotsInUse()
{
    int n = 0;
    for (int i = 0; i < LIB_SLOTS; i++)
        n += Libs[i].name != NULL;
    return n;
}

/* Whether the loader holds path loaded, without loading it. */
bool loaded(const std::string &path)
{
    void *handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle == NULL)
        return false;
    dlclose(handle);
    return true;
}

int counter(void *handle, const char *name)
{
    int *address = static_cast<int *>(dlsym(handle, name));
    return address != NULL ? *address : -1;
}

void *pointer(void *handle, const char *name)
{
    void **address = static_cast<void **>(dlsym(handle, name));
    return address != NULL ? *address : reinterpret_cast<void *>(-1);
}

class Registry : public ::testing::Test {
protected:
    Registry()
    {
        vt::WriteFile(".vartenarc",
                      "[Libraries]\n"
                      "A=" + LibA + "\n"
                      "A_AGAIN=$(Libraries.A)\n"
                      "B=" + LibB + "\n"
                      "PLAIN=" + LibPlain + "\n"
                      "MISSING=" + (dir_ / "missing.so") + "\n"
                      "PERCENT=" + (dir_ / "bad%%s%%n%%d.so") + "\n"
                      "EXTRA=" + (dir_ / "plain20.so") + "\n"
                      "\n"
                      "[KernelErrors]\n"
                      "LIBLOAD=- cannot load.~\n");
        vt::DropSettingsCache();
    }

    void SetUp() override
    {
        ASSERT_EQ(0, slotsInUse());
        ASSERT_EQ(nullptr, UnlockList);
        events.clear();
        CoreFuncTable[0] = reinterpret_cast<void *>(&record);
        LibHandles[0] = NULL;
        alerts_.clear();
    }

    void TearDown() override
    {
        LibraryUnlockAll();
        while (UnlockList != NULL) {
            struct UnlockRequest *next = UnlockList->next;
            Nlm_MemFree(UnlockList);
            UnlockList = next;
        }
        CoreFuncTable[0] = NULL;
        LibHandles[0] = NULL;
    }

    /* count copies of the plain library, plain0.so ... in the scratch
     * directory: distinct files the loader loads apart. */
    std::vector<std::string> plainCopies(int count)
    {
        std::vector<std::string> paths;
        std::string bytes = vt::ReadFile(LibPlain);
        for (int i = 0; i < count; i++) {
            paths.push_back(dir_ / ("plain" + std::to_string(i) + ".so"));
            vt::WriteFile(paths.back(), bytes, 0755);
        }
        return paths;
    }

    vt::ScratchDir dir_;
    vt::AlertLog alerts_;
};

TEST_F(Registry, OneKeyLockedTwiceIsLoadedOnceAndInitialisedTwice)
{
    void *first = LibraryLock("A");
    ASSERT_NE(nullptr, first);
    void *second = LibraryLock("A");
    EXPECT_EQ(first, second);
    EXPECT_EQ(1, slotsInUse());
    EXPECT_EQ(2, countOf(LibA));
    EXPECT_EQ(2, counter(first, "vart_init_calls"));
    EXPECT_EQ(2, counter(first, "vart_iinit_calls"));
    EXPECT_EQ(0, counter(first, "vart_iterm_calls"));
    EXPECT_EQ(static_cast<void *>(CoreFuncTable), pointer(first, "vart_core_table"));
    EXPECT_EQ(static_cast<void *>(InterFuncTable), pointer(first, "vart_inter_table"));
    EXPECT_EQ(first, pointer(first, "vart_handle"));
    EXPECT_EQ((std::vector<std::string>{"a:_VartInit:1", "a:_VartIInit:1", "a:_VartInit:2",
                                        "a:_VartIInit:2"}),
              events);

    EXPECT_EQ(nullptr, LibraryUnlock(first));
    EXPECT_EQ(1, countOf(LibA));
    EXPECT_TRUE(loaded(LibA));
    EXPECT_EQ(nullptr, LibraryUnlock(second));
    EXPECT_EQ(0, slotsInUse());
    EXPECT_FALSE(loaded(LibA));
    EXPECT_EQ(4u, events.size()) << "an ordinary unlock does not call _VartITerm";
    EXPECT_EQ(0u, alerts_.count());
}

TEST_F(Registry, TwoKeysWithTheSamePathShareOneSlot)
{
    void *a = LibraryLock("A");
    void *again = LibraryLock("A_AGAIN");
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(a, again);
    EXPECT_EQ(1, slotsInUse());
    EXPECT_EQ(LibA, std::string(Libs[0].name));
    EXPECT_EQ(2, Libs[0].count);
    EXPECT_EQ(a, my_LibraryLock(LibA.c_str()));
    EXPECT_EQ(3, Libs[0].count);
    EXPECT_EQ(2, counter(a, "vart_init_calls")) << "a lock by path calls no entry point";
    EXPECT_EQ(0u, alerts_.count());
}

TEST_F(Registry, TwentyFirstLibraryIsRefusedWhileALoadedPathCanStillBeLocked)
{
    std::vector<std::string> paths = plainCopies(LIB_SLOTS + 1);
    std::vector<void *> handles;
    for (int i = 0; i < LIB_SLOTS; i++) {
        handles.push_back(my_LibraryLock(paths[i].c_str()));
        ASSERT_NE(nullptr, handles.back()) << paths[i];
    }
    for (int i = 1; i < LIB_SLOTS; i++)
        EXPECT_NE(handles[i - 1], handles[i]);

    EXPECT_EQ(nullptr, my_LibraryLock(paths[LIB_SLOTS].c_str()));
    EXPECT_EQ((std::vector<std::string>{"More then 20 shared libraries are loaded"}), alerts_.texts());
    EXPECT_FALSE(loaded(paths[LIB_SLOTS]));
    for (int i = 0; i < LIB_SLOTS; i++) {
        EXPECT_EQ(paths[i], std::string(Libs[i].name));
        EXPECT_EQ(handles[i], Libs[i].handle);
        EXPECT_EQ(1, Libs[i].count);
    }

    EXPECT_EQ(handles[5], my_LibraryLock(paths[5].c_str()));
    EXPECT_EQ(2, Libs[5].count);
    EXPECT_EQ(1u, alerts_.count());
}

TEST_F(Registry, RefusedLockShowsNoStaleLoaderText)
{
    std::vector<std::string> paths = plainCopies(LIB_SLOTS + 1);  /* EXTRA is the 21st */
    for (int i = 0; i < LIB_SLOTS; i++)
        ASSERT_NE(nullptr, my_LibraryLock(paths[i].c_str()));
    EXPECT_EQ(nullptr, LibraryFuncAddressCond(Libs[0].handle, "no_such_function"));
    EXPECT_EQ(nullptr, LibraryLock("EXTRA"));
    EXPECT_EQ((std::vector<std::string>{"More then 20 shared libraries are loaded"}), alerts_.texts());
}

/* The loader's text names the path; for bad%s%n%d.so it would not
 * survive being used as a format. */
TEST_F(Registry, FailedLoadShowsTheLoaderTextAndLeavesPathAndLibLoadTextInParBuf)
{
    std::string missing = dir_ / "missing.so";
    EXPECT_EQ(nullptr, LibraryLock("MISSING"));
    EXPECT_EQ(missing + LibLoadText, std::string(ParBuf));
    ASSERT_EQ(1u, alerts_.count());
    EXPECT_NE(std::string::npos, alerts_.texts()[0].find(missing + ": cannot open shared object file"))
        << alerts_.texts()[0];

    std::string percent = dir_ / "bad%s%n%d.so";
    vt::WriteFile(percent, "not a shared library\n");
    EXPECT_EQ(nullptr, LibraryLock("PERCENT"));
    EXPECT_EQ(percent + LibLoadText, std::string(ParBuf));
    ASSERT_EQ(2u, alerts_.count());
    EXPECT_NE(std::string::npos, alerts_.texts()[1].find(percent)) << alerts_.texts()[1];
    EXPECT_EQ(0, slotsInUse());

    void *a = LibraryLock("A");
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(a, Libs[0].handle) << "the failed loads left slot 0 free";
}

TEST_F(Registry, FailedLoadByPathCopiesThePathAndShowsNothing)
{
    std::string path = dir_ / "missing.so";
    strcpy(ParBuf, "previous text");
    EXPECT_EQ(nullptr, my_LibraryLock(path.c_str()));
    EXPECT_EQ(path + LibLoadText, std::string(ParBuf));
    EXPECT_EQ(0u, alerts_.count());
}

TEST_F(Registry, FailedLoadWithoutTheLibLoadTextLeavesThePathAlone)
{
    vt::WriteFile(".vartenarc", "[Libraries]\nMISSING=" + (dir_ / "missing.so") + "\n");
    vt::DropSettingsCache();
    EXPECT_EQ(nullptr, LibraryLock("MISSING"));
    EXPECT_EQ(dir_ / "missing.so", std::string(ParBuf));
    ASSERT_EQ(2u, alerts_.count());
    EXPECT_EQ("Settings file 'vartena', section 'KernelErrors', key 'LIBLOAD': not found",
              alerts_.texts()[0]);
    EXPECT_NE(std::string::npos, alerts_.texts()[1].find("missing.so"));
}

TEST_F(Registry, MissingKeyAndUnknownHandlesChangeNothing)
{
    void *a = LibraryLock("A");
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(nullptr, LibraryLock("NOPE"));
    EXPECT_EQ((std::vector<std::string>{
                  "Settings file 'vartena', section 'Libraries', key 'NOPE': not found"}),
              alerts_.texts());
    int dummy = 0;
    EXPECT_EQ(nullptr, LibraryUnlock(NULL));
    EXPECT_EQ(-1, my_LibraryUnlock(&dummy));
    EXPECT_EQ(-1, my_LibraryUnlock(NULL)) << "a free slot's NULL handle is no match";
    EXPECT_EQ(1, slotsInUse());
    EXPECT_EQ(1, Libs[0].count);
    for (int i = 1; i < LIB_SLOTS; i++)
        EXPECT_EQ(0, Libs[i].count) << i;
    EXPECT_EQ(1u, alerts_.count());
}

TEST_F(Registry, FunctionAddressesAndMissingSymbols)
{
    void *a = LibraryLock("A");
    void *plain = LibraryLock("PLAIN");
    ASSERT_NE(nullptr, plain);
    int (*answer)(void) = reinterpret_cast<int (*)(void)>(LibraryFuncAddress(a, "vart_answer"));
    ASSERT_NE(nullptr, answer);
    EXPECT_EQ(42, answer());
    int (*plainAnswer)(void) =
        reinterpret_cast<int (*)(void)>(LibraryFuncAddressCond(plain, "vart_plain_answer"));
    ASSERT_NE(nullptr, plainAnswer);
    EXPECT_EQ(7, plainAnswer());
    EXPECT_EQ(0u, alerts_.count());

    EXPECT_EQ(nullptr, LibraryFuncAddressCond(plain, "_VartInit"));
    EXPECT_EQ(nullptr, LibraryFuncAddress(NULL, "vart_answer"));
    EXPECT_EQ(0u, alerts_.count());
    EXPECT_EQ(nullptr, LibraryFuncAddress(plain, "no_such%s_function"));
    ASSERT_EQ(1u, alerts_.count());
    EXPECT_NE(std::string::npos, alerts_.texts()[0].find("no_such%s_function")) << alerts_.texts()[0];
}

std::vector<std::string> callbacks;

void firstCallback(void)
{
    callbacks.push_back("first:" + std::to_string(countOf(LibA)));
}

void secondCallback(void)
{
    callbacks.push_back("second:" + std::to_string(countOf(LibB)));
}

void thirdCallback(void)
{
    callbacks.push_back("third:" + std::to_string(countOf(LibPlain)));
}

TEST_F(Registry, DeferredUnlocksRunNewestFirstWithTheirCallbacksBeforeTheUnlock)
{
    void *a = LibraryLock("A");
    void *b = LibraryLock("B");
    void *plain = LibraryLock("PLAIN");
    ASSERT_NE(nullptr, plain);
    callbacks.clear();
    LibraryUnlockRequest(a, firstCallback);
    LibraryUnlockRequest(b, secondCallback);
    LibraryUnlockRequest(plain, thirdCallback);
    ASSERT_NE(nullptr, UnlockList);
    EXPECT_EQ(plain, UnlockList->handle);
    EXPECT_EQ(3, slotsInUse()) << "a request alone unlocks nothing";

    LibraryUnlockRequested();
    EXPECT_EQ((std::vector<std::string>{"third:1", "second:1", "first:1"}), callbacks);
    EXPECT_EQ(nullptr, UnlockList);
    EXPECT_EQ(0, slotsInUse());
}

TEST_F(Registry, DeferredUnlockWithoutCallbackAndTheHostsHandleTable)
{
    void *a = LibraryLock("A");
    LibraryLock("A");
    void *b = LibraryLock("B");
    ASSERT_NE(nullptr, b);

    LibHandles[0] = a;
    LibraryUnlockRequest(a, NULL);
    LibraryUnlockRequested();
    EXPECT_EQ(a, LibHandles[0]) << "a library that stays loaded stays in use";
    EXPECT_EQ(1, countOf(LibA));

    LibHandles[0] = b;
    LibraryUnlockRequest(b, NULL);
    LibraryUnlockRequested();
    EXPECT_EQ(nullptr, LibHandles[0]);
    EXPECT_EQ(0, countOf(LibB));
}

void *requestedAgain;

void requestAgain(void)
{
    LibraryUnlockRequest(requestedAgain, NULL);
}

TEST_F(Registry, RequestMadeByACallbackWaitsForTheNextRound)
{
    requestedAgain = LibraryLock("A");
    LibraryLock("A");
    ASSERT_NE(nullptr, requestedAgain);
    LibraryUnlockRequest(requestedAgain, requestAgain);
    LibraryUnlockRequested();
    EXPECT_EQ(1, countOf(LibA));
    ASSERT_NE(nullptr, UnlockList);
    EXPECT_EQ(nullptr, UnlockList->next);
    EXPECT_EQ(requestedAgain, UnlockList->handle);

    LibraryUnlockRequested();
    EXPECT_EQ(0, countOf(LibA));
    EXPECT_EQ(nullptr, UnlockList);
}

TEST_F(Registry, UnlockAllCallsTermOnceWithOneLockLeftAndFreesEverySlot)
{
    void *a = LibraryLock("A");
    LibraryLock("A");
    LibraryLock("A");
    void *plain = LibraryLock("PLAIN");
    void *b = LibraryLock("B");
    ASSERT_NE(nullptr, b);
    ASSERT_EQ(3, countOf(LibA));
    LibraryUnlockRequest(plain, NULL);
    events.clear();

    LibraryUnlockAll();
    EXPECT_EQ((std::vector<std::string>{"a:_VartITerm:1", "b:_VartITerm:1"}), events);
    EXPECT_EQ(0, slotsInUse());
    EXPECT_FALSE(loaded(LibA));
    EXPECT_FALSE(loaded(LibB));
    EXPECT_FALSE(loaded(LibPlain));
    ASSERT_NE(nullptr, UnlockList) << "requests still waiting are left";
    EXPECT_EQ(plain, UnlockList->handle);
    EXPECT_NE(nullptr, a);
    EXPECT_EQ(0u, alerts_.count());
}

} // namespace
