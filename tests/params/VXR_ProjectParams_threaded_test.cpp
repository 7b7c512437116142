#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "IP/IP_Tissue.h"
#include "VXR_MIP_ProjectParams.h"
#include "VXR_VolR_ProjectParams.h"
#include "support/LogExpectations.h"
#include "support/ProjectionLog.h"
#include "support/ProjectionSamples.h"

using vxrp_test::MakeMultiVolData;
using vxrp_test::TakeLogTexts;

TEST(VXR_ProjectParamsThreaded, TryEnterAnswersFalseAtOnceWhileAnotherThreadHoldsTheLock) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(1);
    VXR_VolR_ProjectParams volr;
    ASSERT_TRUE(volr.IncrementalCopyVolData(data.get(), nullptr, 0, -1));
    ASSERT_TRUE(volr.EnterDataProtectCriticalSection());
    bool entered = true;
    std::thread([&] { entered = volr.TryEnterDataProtectCriticalSection(); }).join();
    EXPECT_FALSE(entered);
    volr.LeaveDataProtectCriticalSection();
    std::thread([&] {
        entered = volr.TryEnterDataProtectCriticalSection();
        if (entered) {
            volr.LeaveDataProtectCriticalSection();
        }
    }).join();
    EXPECT_TRUE(entered);
}

// Two readers take the slow data's lock (one waiting, one only trying) while a
// third thread rebuilds the slow data under the same lock: the section excludes
// the others (a plain counter stays exact) and the readers always see a whole
// set of projected volumes. Run under ThreadSanitizer this also shows the lock
// paths free of data races.
TEST(VXR_ProjectParamsThreaded, ReadersAndARebuildUnderTheLockNeverOverlap) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(2);
    IP_MultiRealListVol tissues;
    VXR_MIP_ProjectParams mip;
    ASSERT_TRUE(mip.IncrementalCopyVolData(data.get(), tissues, false, 0, -1, 0));
    TakeLogTexts();
    IP_MultiVolDataIncMIP* slow = mip.GetMIPParams()->GetSlow();

    constexpr int kRounds = 2000;
    long inside = 0;  // guarded by the section only
    std::atomic<bool> bad_view{false};
    std::atomic<bool> go{false};
    auto read = [&] {
        const int n = slow->GetNVolData();
        if (n != 2 || slow->GetVolData(1) == nullptr ||
            slow->GetVolData(1)->GetVoxel(3, 3, 3) != 63) {
            bad_view = true;
        }
        ++inside;
    };
    std::thread waiter([&] {
        while (!go) {
        }
        for (int r = 0; r < kRounds; ++r) {
            if (mip.EnterDataProtectCriticalSection()) {
                read();
                mip.LeaveDataProtectCriticalSection();
            }
        }
    });
    std::thread trier([&] {
        while (!go) {
        }
        for (int r = 0; r < kRounds;) {
            if (mip.TryEnterDataProtectCriticalSection()) {
                read();
                mip.LeaveDataProtectCriticalSection();
                ++r;
            } else {
                std::this_thread::yield();
            }
        }
    });
    std::thread builder([&] {
        while (!go) {
        }
        for (int r = 0; r < 50; ++r) {
            // Not incremental: every round exchanges the projected volumes.
            if (!slow->Rebuild(data.get(), &tissues, false, 1, 0, -1, 1, true, 0)) {
                bad_view = true;
            }
        }
    });
    go = true;
    waiter.join();
    trier.join();
    builder.join();
    EXPECT_FALSE(bad_view);
    EXPECT_EQ(inside, 2L * kRounds);
}
