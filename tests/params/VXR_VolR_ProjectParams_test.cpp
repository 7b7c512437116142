#include "params/VXR_VolR_ProjectParams.h"

#include <gtest/gtest.h>

#include <memory>

#include "IP/IP_Tissue.h"
#include "support/AllocationFailure.h"
#include "support/LogExpectations.h"
#include "support/ProjectionLog.h"
#include "support/ProjectionSamples.h"

using vxrp_test::LogLines;
using vxrp_test::MakeMultiVolData;
using vxrp_test::Ptr;
using vxrp_test::TakeLogLines;
using vxrp_test::TakeLogTexts;

namespace {

const std::string kSource = "VXR_VolR_ProjectParams";

class OpenVolR : public VXR_VolR_ProjectParams {
  public:
    using VXR_VolR_ProjectParams::operator=;
    using VXR_VolR_ProjectParams::append_box_pair;
    using VXR_VolR_ProjectParams::copy_boxParams;
};

// Sixteen distinct table pointers into one block (never read by these tests).
struct Tables {
    unsigned int block[kIP_TissueCount] = {};
    const unsigned int* pointers[kIP_TissueCount];
    Tables() {
        for (int t = 0; t < kIP_TissueCount; ++t) {
            pointers[t] = &block[t];
        }
    }
};

void build_slow(VXR_VolR_ProjectParams& p, IP_MultiVolData& data, const unsigned int** tables) {
    ASSERT_TRUE(p.IncrementalCopyVolData(&data, tables, 0, -1));
    TakeLogTexts();
}

void paint(VXR_VolR_ProjectParams& p, MEM_Pager& pager) {
    for (unsigned i = 0; i < p.GetBoxParamsCount(); ++i) {
        for (IP_VolRBoxParamsVolR* box : {p.GetVolRBox(i), p.GetVolRTranspBox(i)}) {
            for (MEM_PagerInfo* pict :
                 {&box->GetRGBTPict(), &box->GetSecondPict(), &box->GetThirdPict()}) {
                *pict = MEM_PagerInfo(&pager);
                ASSERT_TRUE(pict->Allocate(32));
            }
            box->m_nPictState = 2;
            box->GetLightingPoint3DArr().resize(4);
        }
    }
}

}  // namespace

TEST(VXR_VolR_ProjectParams, ConsecutiveSlowBuildsKeepExactlyOneBoxPerList) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(3);
    Tables tables;
    VXR_VolR_ProjectParams volr;
    ASSERT_TRUE(volr.IncrementalCopyVolData(data.get(), tables.pointers, 0, -1));
    EXPECT_TRUE(TakeLogTexts().empty());
    EXPECT_EQ(volr.GetBoxParamsCount(), 1u);
    EXPECT_NE(volr.GetNTranspBoxParams(0), nullptr);
    EXPECT_TRUE(volr.IsOriginalCopy());
    EXPECT_EQ(volr.GetColorTables()[7], tables.pointers[7]);
    IP_MultiVolDataIncVolR* slow = volr.GetVolRParams()->GetSlow();
    EXPECT_EQ(slow->GetNVolData(), 3);
    EXPECT_EQ(slow->GetColorTable(7), tables.pointers[7]);

    const IP_VolRBoxParams* first = volr.GetNBoxParams(0);
    ASSERT_TRUE(volr.IncrementalCopyVolData(data.get(), nullptr, 0, -1));
    EXPECT_EQ(TakeLogLines(kSource), (LogLines{{7, "IncrementalCopyVolData with_delete = true\n"},
                                               {6, Ptr(&volr) + " IncrementalCopyVolData\n"}}));
    EXPECT_EQ(volr.GetBoxParamsCount(), 1u);
    EXPECT_NE(volr.GetNBoxParams(0), first);

    ASSERT_TRUE(volr.IncrementalBuildFastFromSlowVolData(data.get(), tables.pointers, 0, -1));
    EXPECT_EQ(TakeLogLines(kSource),
              (LogLines{{7, "IncrementalBuildFastFromSlowVolData with_delete = true\n"},
                        {6, Ptr(&volr) + " IncrementalBuildFastFromSlowVolData\n"}}));
    EXPECT_EQ(volr.GetBoxParamsCount(), 1u);
    EXPECT_EQ(volr.GetVolRParams()->GetFast()->GetBuild().step, 2);
}

TEST(VXR_VolR_ProjectParams, BuildOfDataWithoutVolumesAddsNoBox) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    IP_MultiVolData empty;
    VXR_VolR_ProjectParams volr;
    EXPECT_TRUE(volr.IncrementalCopyVolData(&empty, nullptr, 0, -1));
    EXPECT_EQ(volr.GetBoxParamsCount(), 0u);
    EXPECT_FALSE(volr.IsOriginalCopy());
    EXPECT_EQ(volr.GetColorTables(), nullptr);
}

TEST(VXR_VolR_ProjectParams, CopiesWithTissueNeedTheirDataAndLogTheirObject) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(1);
    Tables tables;
    VXR_VolR_ProjectParams volr;
    EXPECT_FALSE(volr.CopyVolDataWithTissue(data.get(), tables.pointers, 0, -1));
    EXPECT_FALSE(volr.CopyFastFromSlowVolData(data.get(), tables.pointers, 0, -1));
    build_slow(volr, *data, nullptr);
    ASSERT_TRUE(volr.IncrementalBuildFastFromSlowVolData(data.get(), nullptr, 0, -1));
    TakeLogTexts();
    IP_MultiVolDataIncVolR* slow = volr.GetVolRParams()->GetSlow();
    IP_MultiVolDataIncVolR* fast = volr.GetVolRParams()->GetFast();
    ASSERT_TRUE(volr.CopyVolDataWithTissue(data.get(), tables.pointers, 1, 2));
    ASSERT_TRUE(volr.CopyFastFromSlowVolData(data.get(), nullptr, 1, 2));
    EXPECT_EQ(
        TakeLogLines(kSource),
        (LogLines{
            {7, "copy slow vol data with new tissue, newMultiVolData: " + Ptr(slow) + "\n"},
            {7, "copy fast vol data with new tissue, newMultiVolData: " + Ptr(fast) + "\n"}}));
    EXPECT_EQ(slow->GetVolData(0)->GetGeometry().nz, 2);
    EXPECT_EQ(slow->GetColorTable(3), tables.pointers[3]);
}

TEST(VXR_VolR_ProjectParams, ColourTablesOfACopyReplaceTheSourcesArrayOnFirstUse) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    Tables tables;
    Tables other;
    VXR_VolR_ProjectParams source;
    ASSERT_TRUE(source.SetColorTables(tables.pointers));
    ASSERT_TRUE(source.SetCTableValidationPtr(reinterpret_cast<const void**>(tables.pointers)));
    VXR_VolR_ProjectParams copy(source);  // no data: the copy makes its own arrays
    EXPECT_NE(copy.GetColorTables(), source.GetColorTables());
    EXPECT_EQ(copy.GetColorTables()[5], tables.pointers[5]);
    EXPECT_EQ(copy.GetCTableValidationPtr(), nullptr);

    VXR_VolR_ProjectParams fresh;
    fresh.SetSource(&source);
    ASSERT_TRUE(fresh.SetColorTables(other.pointers));
    EXPECT_EQ(source.GetColorTables(), nullptr);
    EXPECT_NE(source.GetCTableValidationPtr(), nullptr);
    ASSERT_TRUE(fresh.SetCTableValidationPtr(nullptr));
    EXPECT_EQ(source.GetCTableValidationPtr(), nullptr);
    EXPECT_EQ(fresh.GetCTableValidationPtr()[0], nullptr);

    // Running out of memory: false, the source's reference already gone.
    VXR_VolR_ProjectParams starved;
    ASSERT_TRUE(source.SetColorTables(tables.pointers));
    starved.SetSource(&source);
    {
        vxrp_test::NothrowNewFailure failure;
        EXPECT_FALSE(starved.SetColorTables(other.pointers));
    }
    EXPECT_EQ(source.GetColorTables(), nullptr);
    EXPECT_EQ(starved.GetColorTables(), nullptr);
}

TEST(VXR_VolR_ProjectParams, ResetSlowMultiTisIndLeavesOnlyTheLastTable) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(1);
    Tables tables;
    unsigned int own[1] = {};
    VXR_VolR_ProjectParams volr;
    volr.ResetSlowMultiTisInd(own);  // no array yet: nothing but the line
    EXPECT_EQ(TakeLogLines(kSource), (LogLines{{7, "ResetSlowMultiTisInd\n"}}));
    EXPECT_EQ(volr.GetColorTables(), nullptr);

    build_slow(volr, *data, tables.pointers);
    volr.ResetSlowMultiTisInd(own);
    EXPECT_EQ(TakeLogLines(kSource), (LogLines{{7, "ResetSlowMultiTisInd\n"}}));
    for (int t = 0; t < kIP_DefaultTissue; ++t) {
        EXPECT_EQ(volr.GetColorTables()[t], nullptr);
    }
    EXPECT_EQ(volr.GetColorTables()[15], own);
    IP_MultiVolDataIncVolR* slow = volr.GetVolRParams()->GetSlow();
    EXPECT_EQ(slow->GetColorTable(15), own);
    EXPECT_EQ(slow->GetColorTable(0), nullptr);
}

TEST(VXR_VolR_ProjectParams, TissueIndexIsBuiltSharedAndReset) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(1);
    Tables tables;
    IP_VolRTissueList list;
    list.Add(4, 0, 31);
    VXR_VolR_ProjectParams source;
    ASSERT_TRUE(source.IncrementalBuildTisInd(data.get(), tables.pointers, 0, -1, 15, false, list));
    IP_MultiVolRTisIndInc* index = source.GetMultiTisInd();
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->GetTissue(0, 0, 0, 0), 4);
    EXPECT_EQ(index->GetTissue(0, 0, 0, 3), 15);
    EXPECT_EQ(source.GetColorTables()[4], tables.pointers[4]);

    build_slow(source, *data, nullptr);
    VXR_VolR_ProjectParams copy(source);
    EXPECT_EQ(copy.GetMultiTisInd(), index);
    EXPECT_EQ(copy.GetVolRParams()->GetSlow()->GetMultiTisInd(), index);
    copy.SetSource(&source);
    // The copy's own build replaces the shared index and drops the source's.
    ASSERT_TRUE(copy.ResetTisInd(nullptr));
    EXPECT_EQ(copy.GetMultiTisInd(), nullptr);
    EXPECT_EQ(source.GetMultiTisInd(), nullptr);
    ASSERT_TRUE(copy.IncrementalBuildTisInd(data.get(), nullptr, 0, -1, 1, false, list));
    EXPECT_NE(copy.GetMultiTisInd(), nullptr);
    EXPECT_FALSE(copy.IncrementalBuildTisInd(nullptr, nullptr, 0, -1, 1, false, list));
    copy.SetSource(nullptr);
}

TEST(VXR_VolR_ProjectParams, CopyBoxParamsRemovesSurplusFromTheEndAndAppendsMissingOnes) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(1);
    OpenVolR from;
    build_slow(from, *data, nullptr);
    from.GetVolRBox(0)->m_nPictState = 42;
    from.GetVolRTranspBox(0)->m_nPictState = 43;
    OpenVolR to;
    for (int n = 0; n < 3; ++n) {
        ASSERT_TRUE(to.append_box_pair());
    }
    IP_VolRBoxParams* first = to.GetNBoxParams(0);
    to.copy_boxParams(&from, &to);
    ASSERT_EQ(to.GetBoxParamsCount(), 1u);
    EXPECT_EQ(to.GetNBoxParams(0), first);
    EXPECT_EQ(to.GetVolRBox(0)->m_nPictState, 42);
    EXPECT_EQ(to.GetVolRTranspBox(0)->m_nPictState, 43);

    OpenVolR three;
    for (int n = 0; n < 3; ++n) {
        ASSERT_TRUE(three.append_box_pair());
        three.GetVolRBox(unsigned(n))->m_nPictState = n + 1;
    }
    to.copy_boxParams(&three, &to);
    ASSERT_EQ(to.GetBoxParamsCount(), 3u);
    EXPECT_EQ(to.GetNBoxParams(0), first);
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_EQ(to.GetVolRBox(i)->m_nPictState, int(i) + 1);
        EXPECT_NE(to.GetNBoxParams(i), three.GetNBoxParams(i));
    }
}
