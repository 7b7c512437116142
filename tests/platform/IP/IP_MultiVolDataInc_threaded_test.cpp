#include <gtest/gtest.h>

#include <thread>

#include "IP/IP_MultiVolDataInc.h"

TEST(IP_MultiVolDataIncThreaded, TryEnterAnswersFalseAtOnceWhileAnotherThreadHoldsTheLock) {
    auto* data = new IP_MultiVolDataIncMIP;
    data->EnterDataProtectCriticalSection();
    // The holder may enter again (a recursive section).
    ASSERT_TRUE(data->TryEnterDataProtectCriticalSection());
    data->LeaveDataProtectCriticalSection();
    bool other_got_it = true;
    std::thread([&] { other_got_it = data->TryEnterDataProtectCriticalSection(); }).join();
    EXPECT_FALSE(other_got_it);
    data->LeaveDataProtectCriticalSection();
    std::thread([&] {
        other_got_it = data->TryEnterDataProtectCriticalSection();
        if (other_got_it) {
            data->LeaveDataProtectCriticalSection();
        }
    }).join();
    EXPECT_TRUE(other_got_it);
    data->Release();
}
