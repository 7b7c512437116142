#include "MEM/MEM_PagerInfo.h"

#include <gtest/gtest.h>

#include <memory>

TEST(MEM_PagerInfo, HandleWithoutPagerIsEmptyAndCannotAllocate) {
    MEM_PagerInfo info;
    EXPECT_EQ(info.Size(), 0u);
    EXPECT_EQ(info.Data(), nullptr);
    EXPECT_FALSE(info.Allocate(16));
    EXPECT_EQ(info.Size(), 0u);
}

TEST(MEM_PagerInfo, CopiesShareOneBlockThatLivesUntilTheLastHandleLetsGo) {
    MEM_Pager pager;
    MEM_PagerInfo first(&pager);
    ASSERT_TRUE(first.Allocate(100));
    EXPECT_EQ(first.Size(), 100u);
    EXPECT_EQ(first.Data()[99], 0);
    MEM_PagerInfo second = first;
    EXPECT_TRUE(second.SharesBlockWith(first));
    first.Data()[3] = 7;
    EXPECT_EQ(second.Data()[3], 7);

    first.Release();
    EXPECT_EQ(first.Size(), 0u);
    EXPECT_EQ(second.Size(), 100u);
    EXPECT_EQ(pager.GetLiveBlocks(), 1u);

    // Emptying by assignment lets go the same way.
    second = MEM_PagerInfo();
    EXPECT_EQ(pager.GetLiveBlocks(), 0u);
    EXPECT_EQ(pager.GetLiveBytes(), 0u);
    // The released handle keeps its pager.
    EXPECT_TRUE(first.Allocate(8));
    EXPECT_EQ(pager.GetLiveBytes(), 8u);
}

TEST(MEM_PagerInfo, LimitRefusesWithoutCountingAndBlocksOutliveThePager) {
    auto pager = std::make_unique<MEM_Pager>(64);
    MEM_PagerInfo a(pager.get());
    MEM_PagerInfo b(pager.get());
    ASSERT_TRUE(a.Allocate(60));
    EXPECT_FALSE(b.Allocate(5));
    EXPECT_EQ(b.Size(), 0u);
    EXPECT_EQ(pager->GetLiveBytes(), 60u);
    EXPECT_TRUE(b.Allocate(4));
    pager.reset();
    // The blocks report to the pager's shared record, which outlives it.
    a.Release();
    b.Release();
    EXPECT_EQ(a.Size() + b.Size(), 0u);
}
