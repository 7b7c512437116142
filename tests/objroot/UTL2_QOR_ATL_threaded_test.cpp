#include <gtest/gtest.h>

#include <barrier>
#include <cstddef>
#include <thread>
#include <vector>

#include "objroot/UTL2_QOR_ATL.h"
#include "support/ObjectRootSamples.h"

namespace {

using vxrp_test::MultiObject;

constexpr int kPerThread = 1000000;

// Runs `work(thread index)` on two threads released together.
template <class Work>
void on_two_threads(Work work) {
    std::barrier start(2);
    std::thread first([&] {
        start.arrive_and_wait();
        work(0);
    });
    std::thread second([&] {
        start.arrive_and_wait();
        work(1);
    });
    first.join();
    second.join();
}

// Whether the values of both threads together hold every value from `low` to
// `high` exactly once.
bool is_each_value_once(const std::vector<ULONG> (&seen)[2], ULONG low, ULONG high) {
    std::vector<unsigned char> found(high - low + 1, 0);
    std::size_t total = 0;
    for (const std::vector<ULONG>& values : seen) {
        for (const ULONG value : values) {
            if (value < low || value > high || found[value - low] != 0) {
                return false;
            }
            found[value - low] = 1;
        }
        total += values.size();
    }
    return total == found.size();
}

}  // namespace

// Two threads each take a million references, then each drop a million: every
// count from 1 to 2,000,000 is answered exactly once on the way up and every
// count from 1,999,999 to 0 on the way down, so no update was lost or doubled.
TEST(CComObjectRootQorExThreaded, CountsExactlyUnderTwoThreads) {
    MultiObject object;
    std::vector<ULONG> seen[2];
    on_two_threads([&](int t) {
        seen[t].reserve(kPerThread);
        for (int i = 0; i < kPerThread; ++i) {
            seen[t].push_back(object.InternalAddRef());
        }
    });
    EXPECT_TRUE(is_each_value_once(seen, 1, 2 * kPerThread));
    EXPECT_EQ(object.RefCount(), 2 * kPerThread);

    on_two_threads([&](int t) {
        seen[t].clear();
        for (int i = 0; i < kPerThread; ++i) {
            seen[t].push_back(object.InternalRelease());
        }
    });
    EXPECT_TRUE(is_each_value_once(seen, 0, 2 * kPerThread - 1));
    EXPECT_EQ(object.RefCount(), 0);

    // Interleaved on both threads at once, the count ends where it started.
    object.InternalAddRef();
    on_two_threads([&](int /*t*/) {
        for (int i = 0; i < kPerThread / 10; ++i) {
            object.InternalAddRef();
            object.InternalRelease();
        }
    });
    EXPECT_EQ(object.RefCount(), 1);
}

TEST(CComObjectRootQorExThreaded, TheObjectLockExcludesTheOtherThread) {
    MultiObject object;
    long guarded = 0;  // only ever touched under the object's lock
    on_two_threads([&](int /*t*/) {
        for (int i = 0; i < 100000; ++i) {
            CComObjectLockT<MultiObject> lock(&object);
            ++guarded;
        }
    });
    EXPECT_EQ(guarded, 200000);
}
