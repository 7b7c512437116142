#include <gtest/gtest.h>

#include "UTL/UTL_BaseParams.h"
#include "UTL/UTL_BaseParamsVec.h"

namespace {

class TrackedParams : public UTL_BaseParams {
  public:
    TrackedParams(const char* name, int* pDeaths) : m_pDeaths(pDeaths) { SetName(name); }
    ~TrackedParams() override { ++*m_pDeaths; }

  private:
    int* m_pDeaths;
};

}  // namespace

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

TEST(UTL_ChangeCounter, SumWrapsAndLeavesBothOperands) {
    const UTL_ChangeCounter a(2147483647);
    const UTL_ChangeCounter b(2);
    const UTL_ChangeCounter sum = a + b;
    EXPECT_EQ(*sum, -2147483647);
    EXPECT_EQ(*a, 2147483647);
    EXPECT_EQ(*b, 2);
    EXPECT_TRUE(a != b);
    EXPECT_FALSE(a == b);
    EXPECT_EQ(UTL_ChangeCounter(-3).GetCounter(), -3);
}
