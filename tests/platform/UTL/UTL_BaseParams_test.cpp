#include <gtest/gtest.h>

#include "UTL/UTL_BaseParams.h"
#include "support/AllocationFailure.h"

TEST(UTL_BaseParams, CopyKeepsCounterAndNameButNotSourceOrReferences) {
    UTL_BaseParams live;
    live.SetName("GRA_Params");
    ++live;
    live.AddRef();
    UTL_BaseParams other;
    live.SetSource(&other);

    UTL_BaseParams* copy = live.Clone();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetName(), "GRA_Params");
    EXPECT_EQ(copy->GetCounter(), 1);
    EXPECT_EQ(copy->GetSource(), nullptr);
    EXPECT_EQ(copy->GetRefCount(), 1);
    EXPECT_EQ(copy->Release(), 0);
    live.Release();

    live.SetName("a registered name too long for the short-string buffer");
    vxrp_test::FailEachAllocation(
        [&] {
            UTL_BaseParams* clone = live.Clone();
            if (clone != nullptr) {
                EXPECT_EQ(clone->GetName(), live.GetName());
                clone->Release();
            }
        },
        [](bool raised) { EXPECT_FALSE(raised); });
}

TEST(UTL_BaseParams, AssignmentCopiesStateButNeitherReferencesNorSource) {
    UTL_BaseParams source;
    UTL_BaseParams a;
    a.SetName("VXR_RotationParams");
    a.SetUpdatedFromDDP(true);
    a = 9;
    UTL_BaseParams b;
    b.SetSource(&source);
    b.AddRef();
    b = a;
    EXPECT_EQ(b.GetName(), "VXR_RotationParams");
    EXPECT_EQ(b.GetCounter(), 9);
    EXPECT_TRUE(b.IsUpdatedFromDDP());
    EXPECT_EQ(b.GetSource(), &source);  // the host's link stays as the host set it
    EXPECT_EQ(b.GetRefCount(), 2);
    b = b;
    EXPECT_EQ(b.GetName(), "VXR_RotationParams");
    // Through the base reference the virtual assignment is the one called.
    UTL_BaseParams& base = b;
    UTL_BaseParams c;
    c.SetName("other");
    base = c;
    EXPECT_EQ(b.GetName(), "other");
    b.SetName(nullptr);
    EXPECT_EQ(b.GetName(), "");
}

TEST(UTL_BaseParams, FreezeAdoptsTheSourceCounterOnlyWhenLinked) {
    UTL_BaseParams live;
    for (int i = 0; i < 3; ++i)
        ++live;
    UTL_BaseParams copy;
    copy.Freeze();
    EXPECT_EQ(copy.GetCounter(), 0);
    copy.SetSource(&live);
    copy.Freeze();
    EXPECT_EQ(copy.GetCounter(), 3);
    EXPECT_FALSE(copy.IsChanged(&live));
    ++live;
    EXPECT_TRUE(copy.IsChanged(&live));
    EXPECT_FALSE(copy.IsChanged(nullptr));
}

TEST(UTL_BaseParams, BaseSetDataCountsAChangeAndInterpolateMakesNothing) {
    UTL_BaseParams a, b;
    a.SetData(b);
    EXPECT_EQ(a.GetCounter(), 1);
    UTL_BaseParams* frames[3] = {&a, nullptr, &b};
    EXPECT_FALSE(a.Interpolate(frames, 3, nullptr));
    EXPECT_EQ(frames[1], nullptr);
}
