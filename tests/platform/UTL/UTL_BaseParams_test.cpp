#include <gtest/gtest.h>

#include "UTL/UTL_BaseParams.h"
#include "UTL/UTL_BaseParamsVec.h"
#include "support/AllocationFailure.h"

namespace {

// Counts its destructions so ownership rules can be checked.
class CountedParams : public UTL_BaseParams {
  public:
    explicit CountedParams(const char* name, int* deaths) : m_pDeaths(deaths) { SetName(name); }
    ~CountedParams() override { ++*m_pDeaths; }

  private:
    int* m_pDeaths;
};

}  // namespace

TEST(UTL_ChangeCounter, OperatorsAddCompareAndReadTheValue) {
    UTL_ChangeCounter a;
    EXPECT_EQ(*a, 0);
    ++a;
    ++a;
    UTL_ChangeCounter b(5);
    EXPECT_EQ(*(a + b), 7);
    EXPECT_NE(a, b);
    a = b;
    EXPECT_EQ(a, b);
    a = 41;
    EXPECT_EQ(*++a, 42);
}

TEST(UTL_ChangeCounter, IncrementWrapsInsteadOfOverflowing) {
    UTL_ChangeCounter counter(2147483647);
    ++counter;
    EXPECT_EQ(*counter, -2147483647 - 1);
}

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

    vxrp_test::NothrowNewFailure failing;
    EXPECT_EQ(live.Clone(), nullptr);
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

TEST(UTL_BaseParamsVec, FindsByNameAndReleasesWhatItHolds) {
    int deaths = 0;
    {
        UTL_BaseParamsVec vec;
        vec.Add(new CountedParams("VXR_RotationParams", &deaths));
        auto* shared = new CountedParams("VXR_ClippingParams", &deaths);
        vec.AddShared(shared);
        vec.Add(nullptr);
        EXPECT_EQ(vec.GetCount(), 2u);
        EXPECT_EQ(vec.GetParams("VXR_ClippingParams"), shared);
        EXPECT_EQ(vec.GetParams("VXR_ProjectParams"), nullptr);
        EXPECT_EQ(vec.GetParams(nullptr), nullptr);
        EXPECT_EQ(vec.GetAt(5), nullptr);
        shared->Release();
        EXPECT_EQ(deaths, 0);
        EXPECT_EQ(vec.Remove("VXR_RotationParams"), 1u);
        EXPECT_EQ(deaths, 1);
    }
    EXPECT_EQ(deaths, 2);
}
