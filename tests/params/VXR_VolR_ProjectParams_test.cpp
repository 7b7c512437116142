#include "VXR_VolR_ProjectParams.h"

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

    volr.GetNBoxParams(0)->m_nPictState = 5;  // marks the first box
    ASSERT_TRUE(volr.IncrementalCopyVolData(data.get(), nullptr, 0, -1));
    EXPECT_EQ(TakeLogLines(kSource), (LogLines{{7, "IncrementalCopyVolData with_delete = true\n"},
                                               {6, Ptr(&volr) + " IncrementalCopyVolData\n"}}));
    EXPECT_EQ(volr.GetBoxParamsCount(), 1u);
    // A new box, not the marked one (which may have left its memory to it).
    EXPECT_EQ(volr.GetNBoxParams(0)->m_nPictState, 0);

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

TEST(VXR_VolR_ProjectParams, FreezeCountsOnceForAnEmptyPictureAndLeavesTheSourcesBoxes) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(1);
    MEM_Pager pager;
    VXR_VolR_ProjectParams source;
    build_slow(source, *data, nullptr);
    paint(source, pager);
    source.SetMaxState(3);
    std::unique_ptr<VXR_VolR_ProjectParams> copy(
        static_cast<VXR_VolR_ProjectParams*>(source.Clone()));
    copy->SetSource(&source);
    copy->SetMaxState(1);
    const int before = source.GetCounter();
    copy->Freeze();
    EXPECT_EQ(TakeLogLines(kSource), (LogLines{{7, "freeze vol data  \n"}}));
    EXPECT_EQ(source.GetCounter(), before);
    EXPECT_EQ(source.GetVolRBox(0)->GetRGBTPict().Size(), 32u);
    EXPECT_TRUE(copy->HasPrivateTPict());
    EXPECT_EQ(copy->GetMaxState(), 3);
    copy->GetVolRBox(0)->GetRGBTPict().Release();
    copy->Freeze();
    copy->Freeze();
    TakeLogTexts();
    EXPECT_EQ(source.GetCounter(), before + 2);  // once per Freeze, not per box
    copy->SetSource(nullptr);
    VXR_VolR_ProjectParams alone;
    alone.Freeze();
    EXPECT_EQ(TakeLogLines(kSource), (LogLines{{7, "freeze vol data  \n"}}));
    EXPECT_FALSE(alone.HasPrivateTPict());
}

TEST(VXR_VolR_ProjectParams, DefrostHandsEverythingToTheSourceAndRewiresItsColourManager) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(1);
    Tables tables;
    IP_VolRTissueList list;
    VXR_VolR_ProjectParams source;
    std::unique_ptr<VXR_VolR_ProjectParams> copy(
        static_cast<VXR_VolR_ProjectParams*>(source.Clone()));
    copy->SetSource(&source);
    copy->Freeze();
    ASSERT_TRUE(copy->IncrementalBuildTisInd(data.get(), tables.pointers, 0, -1, 15, false, list));
    build_slow(*copy, *data, tables.pointers);
    ASSERT_TRUE(copy->IncrementalBuildFastFromSlowVolData(data.get(), nullptr, 0, -1));
    ASSERT_TRUE(copy->SetCTableValidationPtr(nullptr));
    copy->SetVolRState(6, 12);
    copy->SetVolDataState(8);
    copy->SetPictState(2);
    copy->GetIPVolRParams()->GetBox() = IP_Box::FromCorners(IP_3Coord(1, 1, 1), IP_3Coord(2, 3, 4));
    TakeLogTexts();
    copy->Defrost();
    EXPECT_EQ(TakeLogLines(kSource), (LogLines{{7, "defrost vol data \n"}}));
    IP_VolRParamsVolR* s = source.GetVolRParams();
    IP_VolRParamsVolR* c = copy->GetVolRParams();
    EXPECT_EQ(s->GetSlow(), c->GetSlow());
    EXPECT_EQ(s->GetFast(), c->GetFast());
    EXPECT_EQ(source.GetMultiTisInd(), copy->GetMultiTisInd());
    EXPECT_EQ(source.GetColorTables(), copy->GetColorTables());
    EXPECT_EQ(source.GetCTableValidationPtr(), copy->GetCTableValidationPtr());
    EXPECT_EQ(*source.GetBox(), *copy->GetBox());
    EXPECT_EQ(source.GetBoxParamsCount(), 1u);
    EXPECT_EQ(source.GetVolRState(6), 12);
    EXPECT_EQ(source.GetVolDataState(), 8);
    EXPECT_EQ(source.GetPictState(), 2);
    EXPECT_EQ(s->GetSlow()->GetMultiTisInd(), source.GetMultiTisInd());
    EXPECT_EQ(s->GetSlow()->GetColorTable(9), tables.pointers[9]);
}

TEST(VXR_VolR_ProjectParams, ClearOfACopyKeepsWhatTheSourceHoldsButResetsItsColourManager) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(1);
    Tables tables;
    MEM_Pager pager;
    VXR_VolR_ProjectParams source;
    build_slow(source, *data, tables.pointers);
    paint(source, pager);
    std::unique_ptr<VXR_VolR_ProjectParams> copy(
        static_cast<VXR_VolR_ProjectParams*>(source.Clone()));
    copy->SetSource(&source);
    copy->Freeze();
    TakeLogTexts();
    IP_MultiVolDataIncVolR* slow = source.GetVolRParams()->GetSlow();
    ASSERT_EQ(slow->GetColorTable(0), tables.pointers[0]);
    VXR_VolR_ProjectParams* c = copy.get();
    IP_VolRBoxParamsVolR* box = c->GetVolRBox(0);
    IP_VolRBoxParamsVolR* source_box = source.GetVolRBox(0);
    // The copy's boxes share the source's pictures; the source's go at the end.
    const LogLines expected{
        {7, "delete fast_mvoldata (nil)\n"},
        {7, "delete m_MVolRTisInd (nil)\n"},
        {7, "Clear, private_tpict, this = " + Ptr(c) + ", m_lstBoxParams[i] = " + Ptr(box) +
                ", rgbtpict = " + Ptr(box->GetRGBTPict().Data()) + "\n"},
        {6, Ptr(c) + " !m_bOriginalCopy, private_tpict\n"},
        {5, "Clear: ClearTPict\n"},
        {5, "ClearTPict, this = " + Ptr(&source) + ", m_lstBoxParams[i] = " + Ptr(source_box) +
                ", rgbtpict = " + Ptr(source_box->GetRGBTPict().Data()) + "\n"},
        {6, Ptr(&source) + " ClearTPict " + Ptr(source_box->GetThirdPict().Data()) + " = NULL\n"}};
    copy->Clear(true);
    EXPECT_EQ(TakeLogLines(kSource), expected);
    EXPECT_EQ(source.GetVolRParams()->GetSlow(), slow);
    EXPECT_EQ(slow->GetNVolData(), 1);
    EXPECT_EQ(slow->GetColorTable(0), nullptr);
    EXPECT_NE(source.GetColorTables(), nullptr);
    EXPECT_EQ(copy->GetBoxParamsCount(), 0u);
    EXPECT_EQ(source.GetBoxParamsCount(), 1u);
    EXPECT_EQ(source_box->GetThirdPict().Size(), 0u);
    EXPECT_EQ(source.GetPictState(), 0);
    EXPECT_EQ(pager.GetLiveBlocks(), 0u);
}

TEST(VXR_VolR_ProjectParams, ClearOfAStandaloneObjectDropsItsReferencesAndLogsTheFlag) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(1);
    Tables tables;
    const long live = IP_RefCounted::GetLiveCount();
    for (const bool with_delete : {false, true}) {
        VXR_VolR_ProjectParams builder;
        build_slow(builder, *data, tables.pointers);
        VXR_VolR_ProjectParams volr;
        volr = builder;  // holds data without having built them
        builder.ForceLocalCopy();
        TakeLogTexts();
        volr.SetVolDataState(4);
        IP_MultiVolDataIncVolR* slow = volr.GetVolRParams()->GetSlow();
        volr.Clear(with_delete);
        EXPECT_EQ(TakeLogLines(kSource),
                  (LogLines{{7, "org delete mvoldata " + Ptr(slow) + "\n"},
                            {7, std::string("Clear !m_bOriginalCopy with_delete = ") +
                                    (with_delete ? "1" : "0") + "\n"},
                            {6, Ptr(&volr) + " Clear\n"}}));
        EXPECT_EQ(volr.GetVolRParams()->GetSlow(), nullptr);
        EXPECT_EQ(volr.GetColorTables(), nullptr);
        EXPECT_EQ(volr.GetVolDataState(), with_delete ? 0 : 4);
        EXPECT_EQ(volr.GetBoxParamsCount(), 0u);
    }
    TakeLogTexts();
    EXPECT_EQ(IP_RefCounted::GetLiveCount(), live);
}

TEST(VXR_VolR_ProjectParams, BuildOnACopyResetsTheSourcesFirstBoxWithItsLines) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(1);
    MEM_Pager pager;
    VXR_VolR_ProjectParams source;
    build_slow(source, *data, nullptr);
    paint(source, pager);
    source.SetPictState(5);
    std::unique_ptr<VXR_VolR_ProjectParams> copy(
        static_cast<VXR_VolR_ProjectParams*>(source.Clone()));
    copy->SetSource(&source);
    IP_VolRBoxParamsVolR* box = source.GetVolRBox(0);
    const LogLines expected{{7, "IncrementalCopyVolData with_delete = true\n"},
                            {6, Ptr(copy.get()) + " IncrementalCopyVolData\n"},
                            {7, "ResetBoxParams, source, this = " + Ptr(copy.get()) +
                                    ", source_boxparams = " + Ptr(box) +
                                    ", rgbtpict = " + Ptr(box->GetRGBTPict().Data()) + "\n"},
                            {6, Ptr(&source) + " ResetBoxParams of source " +
                                    Ptr(box->GetThirdPict().Data()) + " = NULL\n"}};
    ASSERT_TRUE(copy->IncrementalCopyVolData(data.get(), nullptr, 0, -1));
    EXPECT_EQ(TakeLogLines(kSource), expected);
    for (IP_VolRBoxParamsVolR* b : {source.GetVolRBox(0), source.GetVolRTranspBox(0)}) {
        EXPECT_EQ(b->GetRGBTPict().Size() + b->GetSecondPict().Size() + b->GetThirdPict().Size(),
                  0u);
        EXPECT_EQ(b->m_nPictState, 0);
    }
    EXPECT_EQ(source.GetPictState(), 0);
    EXPECT_EQ(copy->GetBoxParamsCount(), 1u);
    EXPECT_EQ(pager.GetLiveBlocks(), 0u);
}

TEST(VXR_VolR_ProjectParams, ForceLocalCopyClearsPicturesAndMarksEveryStateStale) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(1);
    Tables tables;
    MEM_Pager pager;
    VXR_VolR_ProjectParams volr;
    build_slow(volr, *data, tables.pointers);
    paint(volr, pager);
    const int counter = volr.GetCounter();
    IP_VolRBoxParamsVolR* box = volr.GetVolRBox(0);
    const LogLines expected{
        {5, "ForceLocalCopy: ClearTPict\n"},
        {5, "ClearTPict, this = " + Ptr(&volr) + ", m_lstBoxParams[i] = " + Ptr(box) +
                ", rgbtpict = " + Ptr(box->GetRGBTPict().Data()) + "\n"},
        {6, Ptr(&volr) + " ClearTPict " + Ptr(box->GetThirdPict().Data()) + " = NULL\n"}};
    volr.ForceLocalCopy();
    EXPECT_EQ(TakeLogLines(kSource), expected);
    EXPECT_EQ(volr.GetVolRParams()->GetSlow(), nullptr);
    EXPECT_EQ(volr.GetColorTables(), nullptr);
    EXPECT_EQ(volr.GetMultiTisInd(), nullptr);
    EXPECT_FALSE(volr.IsOriginalCopy());
    EXPECT_EQ(volr.GetVolDataState(), -1);
    EXPECT_EQ(volr.GetPictState(), 0);
    for (int i = 0; i < VXR_VolR_ProjectParams::kVolRStateCount; ++i) {
        EXPECT_EQ(volr.GetVolRState(i), -1);
    }
    EXPECT_EQ(volr.GetCounter(), counter + 1);
    EXPECT_EQ(pager.GetLiveBlocks(), 0u);
    EXPECT_EQ(box->GetLightingPoint3DArr().size(), 4u);  // only Clear destroys them
}

TEST(VXR_VolR_ProjectParams, RelateNeedsSlowDataAndColourTables) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(1);
    VXR_VolR_ProjectParams volr;
    float view[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    IP_3Coord out(9, 9, 9);
    EXPECT_FALSE(volr.Relate(IP_3Coord(1, 1, 0), view, nullptr, &out));
    build_slow(volr, *data, nullptr);
    EXPECT_FALSE(volr.Relate(IP_3Coord(1, 1, 0), view, nullptr, &out));
    EXPECT_EQ(out.x, 9.0f);
    std::vector<unsigned int> opaque(4096, 0xFFu);
    const unsigned int* tables[kIP_TissueCount] = {};
    tables[kIP_DefaultTissue] = opaque.data();
    ASSERT_TRUE(volr.SetColorTables(tables));
    ASSERT_TRUE(volr.Relate(IP_3Coord(1, 2, 0), view, nullptr, &out));
    EXPECT_EQ(out.x, 1.0f);
    EXPECT_EQ(out.y, 2.0f);
    EXPECT_EQ(out.z, 0.0f);
}

TEST(VXR_VolR_ProjectParams, CloneFailingAtEachAllocationAnswersNullAndLeaksNothing) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(1);
    Tables tables;
    VXR_VolR_ProjectParams source;
    build_slow(source, *data, tables.pointers);
    const long live = IP_RefCounted::GetLiveCount();
    for (int succeeding = 0;; ++succeeding) {
        std::unique_ptr<UTL_BaseParams> clone;
        {
            vxrp_test::NothrowNewFailure failure(succeeding);
            clone.reset(source.Clone());
        }
        if (clone == nullptr) {
            EXPECT_EQ(IP_RefCounted::GetLiveCount(), live);
            continue;
        }
        auto* copy = static_cast<VXR_VolR_ProjectParams*>(clone.get());
        EXPECT_EQ(copy->GetBoxParamsCount(), 1u);
        EXPECT_EQ(copy->GetColorTables(), source.GetColorTables());
        EXPECT_GT(succeeding, 0);
        clone.reset();
        EXPECT_EQ(IP_RefCounted::GetLiveCount(), live);
        break;
    }
}

TEST(VXR_VolR_ProjectParams, BuildsAnswerFalseWhenTheirDataObjectCannotBeMade) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(1);
    IP_VolRTissueList list;
    VXR_VolR_ProjectParams volr;
    const long live = IP_RefCounted::GetLiveCount();
    {
        vxrp_test::NothrowNewFailure failure;
        EXPECT_FALSE(volr.IncrementalCopyVolData(data.get(), nullptr, 0, -1));
        EXPECT_FALSE(volr.IncrementalBuildFastFromSlowVolData(data.get(), nullptr, 0, -1));
        EXPECT_FALSE(volr.IncrementalBuildTisInd(data.get(), nullptr, 0, -1, 15, false, list));
    }
    EXPECT_EQ(volr.GetVolRParams()->GetSlow(), nullptr);
    EXPECT_EQ(volr.GetVolRParams()->GetFast(), nullptr);
    EXPECT_EQ(volr.GetMultiTisInd(), nullptr);
    EXPECT_EQ(volr.GetBoxParamsCount(), 0u);
    EXPECT_EQ(IP_RefCounted::GetLiveCount(), live);
}
