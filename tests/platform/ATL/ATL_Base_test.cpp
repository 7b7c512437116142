#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "ATL/ATL_Base.h"
#include "support/AllocationFailure.h"

namespace {

// Whether another thread could enter `section` right now.
bool free_for_another_thread(CComCriticalSection& section) {
    bool entered = false;
    std::thread other([&] {
        entered = section.TryLock();
        if (entered) {
            section.Unlock();
        }
    });
    other.join();
    return entered;
}

}  // namespace

TEST(CComCriticalSection, OwnerMayReenterWhileOtherThreadsAreKeptOut) {
    CComAutoCriticalSection section;
    EXPECT_TRUE(section.IsInitialized());
    EXPECT_EQ(section.Lock(), S_OK);
    EXPECT_TRUE(section.TryLock());  // the owner enters again
    EXPECT_FALSE(free_for_another_thread(section));
    section.Unlock();
    EXPECT_FALSE(free_for_another_thread(section));  // still held once
    section.Unlock();
    EXPECT_TRUE(free_for_another_thread(section));

    // A copy gets a lock of its own; assignment keeps the target's.
    CComAutoCriticalSection copy(section);
    CComAutoCriticalSection assigned;
    assigned = section;
    section.Lock();
    EXPECT_TRUE(free_for_another_thread(copy));
    EXPECT_TRUE(free_for_another_thread(assigned));
    section.Unlock();
}

TEST(CComCriticalSection, CreationFailsCleanlyWhenMemoryRunsOut) {
    vxrp_test::NothrowNewFailure outOfMemory;
    CComCriticalSection section;
    EXPECT_EQ(section.Init(), E_OUTOFMEMORY);
    EXPECT_FALSE(section.IsInitialized());
    try {
        CComAutoCriticalSection doomed;
        ADD_FAILURE() << "created without memory";
    } catch (const CAtlException& error) {
        EXPECT_EQ(error.Error(), E_OUTOFMEMORY);
        EXPECT_EQ(std::string(error.what()), "object-root error (HRESULT 0x8007000E)");
    }
}

TEST(CComMultiThreadModel, CountsAnswerTheNewValue) {
    LONG count = 0;
    EXPECT_EQ(CComMultiThreadModel::Increment(&count), 1u);
    EXPECT_EQ(CComMultiThreadModel::Decrement(&count), 0u);
    EXPECT_EQ(CComSingleThreadModel::Increment(&count), 1u);
    EXPECT_EQ(CComSingleThreadModel::Decrement(&count), 0u);

    DWORD here = GetCurrentThreadId();
    DWORD there = here;
    std::thread other([&] { there = GetCurrentThreadId(); });
    other.join();
    EXPECT_EQ(GetCurrentThreadId(), here);
    EXPECT_NE(there, here);
}
