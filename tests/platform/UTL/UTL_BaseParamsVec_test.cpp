#include <gtest/gtest.h>

#include "UTL/UTL_BaseParams.h"
#include "UTL/UTL_BaseParamsVec.h"

namespace {

class TrackedParams : public UTL_BaseParams {
  public:
    TrackedParams(const char* name, int* pDeaths) : m_pDeaths(pDeaths) { SetName(name); }
    using UTL_BaseParams::operator=;
    ~TrackedParams() override { ++*m_pDeaths; }

  private:
    int* m_pDeaths;
};

}  // namespace

TEST(UTL_BaseParamsVec, FindsByNameAndReleasesWhatItHolds) {
    int deaths = 0;
    {
        UTL_BaseParamsVec vec;
        vec.Add(new TrackedParams("VXR_RotationParams", &deaths));
        auto* shared = new TrackedParams("VXR_ClippingParams", &deaths);
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

TEST(UTL_BaseParamsVec, GetParamsAnswersTheFirstAddedOfOneName) {
    int deaths = 0;
    UTL_BaseParamsVec vec;
    auto* first = new TrackedParams("VXR_ProjectParams", &deaths);
    auto* second = new TrackedParams("VXR_ProjectParams", &deaths);
    vec.Add(first);
    vec.Add(second);
    EXPECT_EQ(vec.GetParams("VXR_ProjectParams"), first);
    EXPECT_EQ(vec.GetAt(1), second);
    EXPECT_EQ(vec.GetParams("vxr_projectparams"), nullptr);  // names are exact
    // Remove takes out every object of the name and releases each once.
    EXPECT_EQ(vec.Remove("VXR_ProjectParams"), 2u);
    EXPECT_EQ(deaths, 2);
    EXPECT_EQ(vec.GetCount(), 0u);
    EXPECT_EQ(vec.Remove("VXR_ProjectParams"), 0u);
}

TEST(UTL_BaseParamsVec, RemoveKeepsTheOrderOfTheOthers) {
    int deaths = 0;
    UTL_BaseParamsVec vec;
    vec.Add(new TrackedParams("A", &deaths));
    vec.Add(new TrackedParams("B", &deaths));
    vec.Add(new TrackedParams("C", &deaths));
    vec.Add(new TrackedParams("B", &deaths));
    vec.Add(new TrackedParams("D", &deaths));
    EXPECT_EQ(vec.Remove("B"), 2u);
    ASSERT_EQ(vec.GetCount(), 3u);
    EXPECT_EQ(vec.GetAt(0)->GetName(), "A");
    EXPECT_EQ(vec.GetAt(1)->GetName(), "C");
    EXPECT_EQ(vec.GetAt(2)->GetName(), "D");
}

TEST(UTL_BaseParamsVec, ASharedObjectOutlivesTheVector) {
    int deaths = 0;
    auto* shared = new TrackedParams("GSI_SpaceInfo", &deaths);
    {
        UTL_BaseParamsVec vec;
        vec.AddShared(shared);
        EXPECT_EQ(shared->GetRefCount(), 2);
        vec.AddShared(nullptr);
        EXPECT_EQ(vec.GetCount(), 1u);
    }
    EXPECT_EQ(deaths, 0);
    EXPECT_EQ(shared->GetRefCount(), 1);
    EXPECT_EQ(shared->Release(), 0);
    EXPECT_EQ(deaths, 1);
}
