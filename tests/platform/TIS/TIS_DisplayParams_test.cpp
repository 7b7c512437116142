#include <gtest/gtest.h>

#include <memory>

#include "TIS/TIS_DisplayParams.h"
#include "support/AllocationFailure.h"

TEST(TIS_DisplayParams, SetVisibleRemembersThePreviousVisibility) {
    TIS_DisplayParams display;
    EXPECT_TRUE(display.IsVisible());
    EXPECT_TRUE(display.WasVisible());
    EXPECT_FALSE(display.SetVisible(true));
    EXPECT_TRUE(display.SetVisible(false));
    EXPECT_FALSE(display.IsVisible());
    EXPECT_TRUE(display.WasVisible());
    EXPECT_FALSE(display.SetVisible(false));
    EXPECT_FALSE(display.WasVisible());
}

TEST(TIS_DisplayParams, CopiesClonesAndFrozenImagesTakeBothFlags) {
    TIS_DisplayParams source;
    source.SetVisible(false);
    std::unique_ptr<TIS_DisplayParams> clone(source.Clone());
    std::unique_ptr<TIS_DisplayParams> fresh(source.CreateObject());
    TIS_DisplayParams assigned;
    assigned = source;
    TIS_DisplayParams frozen;
    frozen.FreezeCopy(&source);
    for (const TIS_DisplayParams* copy : {clone.get(), &assigned, &frozen}) {
        EXPECT_FALSE(copy->IsVisible());
        EXPECT_TRUE(copy->WasVisible());
    }
    EXPECT_TRUE(fresh->IsVisible());
    frozen.FreezeCopy(nullptr);
    EXPECT_FALSE(frozen.IsVisible());

    vxrp_test::NothrowNewFailure failing;
    EXPECT_EQ(source.Clone(), nullptr);
    EXPECT_EQ(source.CreateObject(), nullptr);
}
