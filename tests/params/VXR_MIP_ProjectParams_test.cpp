#include "VXR_MIP_ProjectParams.h"

#include <gtest/gtest.h>

#include <memory>

#include "IP/IP_Tissue.h"
#include "UTL/UTL_BaseParamsVec.h"
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

const std::string kSource = "VXR_MIP_ProjectParams";

// Opens the protected helpers to the tests.
class OpenMIP : public VXR_MIP_ProjectParams {
  public:
    using VXR_MIP_ProjectParams::operator=;
    using VXR_MIP_ProjectParams::copy_boxParams;
    using VXR_MIP_ProjectParams::InvalidateFast;
    using VXR_MIP_ProjectParams::InvalidateSlow;
};

// Builds slow data of n volumes on p and forgets the log lines.
void build_slow(VXR_MIP_ProjectParams& p, IP_MultiVolData& data) {
    IP_MultiRealListVol tissues;
    ASSERT_TRUE(p.IncrementalCopyVolData(&data, tissues, false, 0, -1, 0));
    TakeLogTexts();
}

// Gives every box of p a picture of its own.
void paint(VXR_MIP_ProjectParams& p, MEM_Pager& pager) {
    for (unsigned i = 0; i < p.GetBoxParamsCount(); ++i) {
        for (IP_VolRBoxParams* box : {p.GetNBoxParams(i), p.GetNTranspBoxParams(i)}) {
            box->GetTPict() = MEM_PagerInfo(&pager);
            ASSERT_TRUE(box->GetTPict().Allocate(64));
            box->m_nPictState = 3;
        }
    }
}

}  // namespace

TEST(VXR_ProjectParams, NewObjectsRegisterTheSharedNameAndHoldNoBoxes) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    VXR_MIP_ProjectParams mip;
    EXPECT_EQ(mip.GetName(), "VXR_ProjectParams");
    EXPECT_EQ(mip.GetNBoxParams(0), nullptr);
    EXPECT_EQ(mip.GetNTranspBoxParams(0), nullptr);
    EXPECT_NE(mip.GetIPVolRParams(), nullptr);
    EXPECT_EQ(mip.GetBox(), &mip.GetIPVolRParams()->GetBox());
    EXPECT_EQ(mip.GetBoundingBox(), &mip.GetIPVolRParams()->GetBoundingBox());
    EXPECT_FALSE(mip.IsOriginalCopy());
    std::unique_ptr<UTL_BaseParams> copy(mip.Clone());
    EXPECT_EQ(copy->GetName(), "VXR_ProjectParams");
    mip.Reset();
    EXPECT_EQ(mip.GetCounter(), 1);
}

TEST(VXR_ProjectParams, InvalidateDropsOnlyTheSourcesReferencesAndOnlyWithASource) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(1);
    OpenMIP source;
    build_slow(source, *data);
    IP_MultiRealListVol tissues;
    ASSERT_TRUE(source.IncrementalBuildFastFromSlowVolData(data.get(), tissues, false, 0, -1, 0));
    TakeLogTexts();

    source.Invalidate();  // no source: nothing
    EXPECT_NE(source.GetMIPParams()->GetSlow(), nullptr);

    VXR_MIP_ProjectParams clone(source);
    clone.SetSource(&source);
    IP_MultiVolDataIncMIP* slow = clone.GetMIPParams()->GetSlow();
    clone.Invalidate();
    EXPECT_EQ(TakeLogLines("VXR_ProjectParams"), (LogLines{{7, "Invalidate source vol data\n"}}));
    EXPECT_EQ(source.GetMIPParams()->GetSlow(), nullptr);
    EXPECT_EQ(source.GetMIPParams()->GetFast(), nullptr);
    EXPECT_EQ(clone.GetMIPParams()->GetSlow(), slow);
    EXPECT_NE(clone.GetMIPParams()->GetFast(), nullptr);
    clone.SetSource(nullptr);
}

TEST(VXR_ProjectParams, InvalidateSlowAndFastEachDropOneReference) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(1);
    IP_MultiRealListVol tissues;
    VXR_MIP_ProjectParams source;
    build_slow(source, *data);
    ASSERT_TRUE(source.IncrementalBuildFastFromSlowVolData(data.get(), tissues, false, 0, -1, 0));
    TakeLogTexts();
    OpenMIP copy;
    copy.SetSource(&source);
    copy.InvalidateSlow();
    EXPECT_EQ(TakeLogLines("VXR_ProjectParams"),
              (LogLines{{7, "Invalidate slow source vol data\n"}}));
    EXPECT_EQ(source.GetMIPParams()->GetSlow(), nullptr);
    EXPECT_NE(source.GetMIPParams()->GetFast(), nullptr);
    copy.InvalidateFast();
    EXPECT_EQ(TakeLogLines("VXR_ProjectParams"),
              (LogLines{{7, "Invalidate fast source vol data\n"}}));
    EXPECT_EQ(source.GetMIPParams()->GetFast(), nullptr);
}

TEST(VXR_ProjectParams, FreezeKeepsTheLargerMaxStateAndTakesZoomAndCounter) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    struct Case {
        int copy_state;
        int source_state;
        int expected;
    };
    for (const Case c : {Case{5, 3, 5}, Case{2, 3, 3}, Case{-4, -9, -4}}) {
        TakeLogTexts();  // the previous case's objects going
        VXR_MIP_ProjectParams source;
        source.SetMaxState(c.source_state);
        source.GetIPVolRParams()->SetZoomAccess(12);
        source.Reset();
        VXR_MIP_ProjectParams copy;
        copy.SetMaxState(c.copy_state);
        copy.SetSource(&source);
        copy.Freeze();
        EXPECT_EQ(copy.GetMaxState(), c.expected);
        EXPECT_EQ(copy.GetIPVolRParams()->GetZoomAccess(), 12);
        EXPECT_EQ(copy.GetCounter(), source.GetCounter());
        EXPECT_TRUE(copy.HasPrivateTPict());
        EXPECT_EQ(TakeLogLines(kSource), (LogLines{{7, "freeze vol data  \n"}}));
        copy.SetMaxState(40);
        copy.Defrost();
        EXPECT_EQ(source.GetMaxState(), 40);
        EXPECT_FALSE(copy.HasPrivateTPict());
        TakeLogTexts();
    }
}

TEST(VXR_ProjectParams, LockOperationsAnswerFalseWithoutSlowData) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    VXR_MIP_ProjectParams mip;
    EXPECT_FALSE(mip.EnterDataProtectCriticalSection());
    EXPECT_FALSE(mip.TryEnterDataProtectCriticalSection());
    mip.LeaveDataProtectCriticalSection();  // nothing to leave: no effect
}

TEST(VXR_MIP_ProjectParams, SlowBuildAppendsOneBoxPairPerVolumeAndReplacesTheOldOnes) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(3);
    IP_MultiRealListVol tissues;
    VXR_MIP_ProjectParams mip;
    ASSERT_TRUE(mip.IncrementalCopyVolData(data.get(), tissues, false, 0, -1, 0));
    IP_MultiVolDataIncMIP* slow = mip.GetMIPParams()->GetSlow();
    ASSERT_NE(slow, nullptr);
    EXPECT_EQ(slow->GetNVolData(), 3);
    EXPECT_EQ(
        TakeLogLines(kSource),
        (LogLines{{7, "incremental copy slow vol data newMultiVolData: " + Ptr(slow) + "\n"}}));
    ASSERT_EQ(mip.GetBoxParamsCount(), 3u);
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_EQ(mip.GetMIPBox(i)->m_nCounter, -1);
        EXPECT_EQ(mip.GetMIPTranspBox(i)->m_nCounter, -1);
    }
    EXPECT_EQ(mip.GetNBoxParams(3), nullptr);
    EXPECT_TRUE(mip.IsOriginalCopy());

    MEM_Pager pager;
    paint(mip, pager);
    mip.SetPictState(9);
    LogLines expected;
    for (unsigned i = 0; i < 3; ++i) {
        expected.emplace_back(7, Ptr(&mip) +
                                     " VXR_MIP_ProjectParams::IncrementalCopyVolData delete " +
                                     Ptr(mip.GetNBoxParams(i)->GetTPict().Data()) + "\n");
    }
    expected.emplace_back(7, "incremental copy slow vol data newMultiVolData: " + Ptr(slow) + "\n");
    ASSERT_TRUE(mip.IncrementalCopyVolData(data.get(), tissues, true, 0, -1, 0));
    EXPECT_EQ(TakeLogLines(kSource), expected);
    EXPECT_EQ(mip.GetMIPParams()->GetSlow(), slow);  // rebuilt in place
    EXPECT_EQ(mip.GetBoxParamsCount(), 3u);
    // New boxes, not the painted ones (which may have left their memory to them).
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_EQ(mip.GetNBoxParams(i)->m_nPictState, 0);
        EXPECT_EQ(mip.GetNBoxParams(i)->GetTPict().Data(), nullptr);
    }
    EXPECT_EQ(mip.GetPictState(), 0);
    EXPECT_EQ(pager.GetLiveBlocks(), 0u);
}

TEST(VXR_MIP_ProjectParams, BuildOfDataWithoutVolumesAddsNoBoxesAndKeepsTheCopyFlag) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    IP_MultiVolData empty;
    IP_MultiRealListVol tissues;
    VXR_MIP_ProjectParams mip;
    EXPECT_TRUE(mip.IncrementalCopyVolData(&empty, tissues, false, 0, -1, 0));
    EXPECT_TRUE(mip.IncrementalBuildFastFromSlowVolData(&empty, tissues, false, 0, -1, 0));
    EXPECT_EQ(mip.GetBoxParamsCount(), 0u);
    EXPECT_FALSE(mip.IsOriginalCopy());
    // A failing platform build is answered, and the boxes follow what is there.
    EXPECT_FALSE(mip.IncrementalCopyVolData(nullptr, tissues, false, 0, -1, 0));
    EXPECT_EQ(mip.GetBoxParamsCount(), 0u);
}

TEST(VXR_MIP_ProjectParams, FastBuildLeavesTheBoxesAndCopiesNeedTheirData) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(2);
    IP_MultiRealListVol tissues;
    VXR_MIP_ProjectParams mip;
    EXPECT_FALSE(mip.CopyVolDataWithTissue(data.get(), tissues, 0, -1, 0));
    EXPECT_FALSE(mip.CopyFastFromSlowVolData(data.get(), tissues, 0, -1, 0));
    ASSERT_TRUE(mip.IncrementalBuildFastFromSlowVolData(data.get(), tissues, false, 0, -1, 0));
    IP_MultiVolDataIncMIP* fast = mip.GetMIPParams()->GetFast();
    EXPECT_EQ(fast->GetBuild().step, 2);
    EXPECT_EQ(
        TakeLogLines(kSource),
        (LogLines{{7, "incremental copy fast vol data newMultiVolData: " + Ptr(fast) + "\n"}}));
    EXPECT_EQ(mip.GetBoxParamsCount(), 0u);
    EXPECT_TRUE(mip.IsOriginalCopy());

    build_slow(mip, *data);
    IP_MultiVolDataIncMIP* slow = mip.GetMIPParams()->GetSlow();
    tissues.AddRange(1, 0, 5);
    ASSERT_TRUE(mip.CopyVolDataWithTissue(data.get(), tissues, 0, -1, -3));
    ASSERT_TRUE(mip.CopyFastFromSlowVolData(data.get(), tissues, 0, -1, -3));
    EXPECT_EQ(
        TakeLogLines(kSource),
        (LogLines{
            {7, "copy slow vol data with new tissue, newMultiVolData: " + Ptr(slow) + "\n"},
            {7, "copy fast vol data with new tissue, newMultiVolData: " + Ptr(fast) + "\n"}}));
    EXPECT_EQ(slow->GetVolData(1)->GetVoxel(3, 3, 3), -3);
    EXPECT_EQ(slow->GetVolData(0)->GetVoxel(3, 3, 3), 63);
}

TEST(VXR_MIP_ProjectParams, CopyBoxParamsRemovesSurplusFromTheFrontThenAssigns) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    struct Case {
        int from;
        int to;
    };
    for (const Case c : {Case{3, 5}, Case{5, 3}, Case{2, 2}, Case{0, 2}}) {
        const auto from_data = MakeMultiVolData(c.from);
        const auto to_data = MakeMultiVolData(c.to);
        OpenMIP from;
        OpenMIP to;
        build_slow(from, *from_data);
        build_slow(to, *to_data);
        for (unsigned i = 0; i < from.GetBoxParamsCount(); ++i) {
            from.GetMIPBox(i)->m_nValue = int(i) + 100;
            from.GetMIPTranspBox(i)->m_nValue = int(i) + 200;
        }
        std::vector<IP_VolRBoxParams*> kept;
        for (unsigned i = 0; i < to.GetBoxParamsCount(); ++i) {
            kept.push_back(to.GetNBoxParams(i));
        }
        to.copy_boxParams(&from, &to);
        ASSERT_EQ(to.GetBoxParamsCount(), unsigned(c.from));
        for (unsigned i = 0; i < unsigned(c.from); ++i) {
            if (c.from <= c.to) {
                // The last from-count boxes of the target stay, in order.
                EXPECT_EQ(to.GetNBoxParams(i), kept[i + unsigned(c.to - c.from)]);
            }
            EXPECT_EQ(to.GetMIPBox(i)->m_nValue, int(i) + 100);
            EXPECT_EQ(to.GetMIPTranspBox(i)->m_nValue, int(i) + 200);
        }
    }
}

TEST(VXR_MIP_ProjectParams, SetTissueListOnACopyDropsTheSharedListForBoth) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    VXR_MIP_ProjectParams source;
    auto* list = new IP_MultiRealListVol;
    source.SetTissueList(list);
    VXR_MIP_ProjectParams copy(source);
    EXPECT_EQ(copy.GetTissueList(), list);
    EXPECT_EQ(list->GetRefCount(), 2);
    copy.SetSource(&source);
    const long live = IP_RefCounted::GetLiveCount();
    auto* other = new IP_MultiRealListVol;
    copy.SetTissueList(other);
    EXPECT_EQ(source.GetTissueList(), nullptr);
    EXPECT_EQ(copy.GetTissueList(), other);
    EXPECT_EQ(IP_RefCounted::GetLiveCount(), live);  // the shared list went, the new one came
    copy.SetSource(nullptr);
}

TEST(VXR_MIP_ProjectParams, FreezeResetsTheSourcesPicturesAndCountsOnceForAnEmptyCopyPicture) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(2);
    MEM_Pager pager;
    VXR_MIP_ProjectParams source;
    build_slow(source, *data);
    paint(source, pager);
    source.GetMIPBox(1)->m_bFlag = 1;
    source.GetMIPBox(1)->m_nValue = 8;
    source.SetPictState(4);
    std::unique_ptr<VXR_MIP_ProjectParams> copy(
        static_cast<VXR_MIP_ProjectParams*>(source.Clone()));
    copy->SetSource(&source);
    // The copy's pictures are shared with the source's: the source letting go
    // of them leaves the copy's.
    EXPECT_TRUE(
        copy->GetNBoxParams(0)->GetTPict().SharesBlockWith(source.GetNBoxParams(0)->GetTPict()));
    const int before = source.GetCounter();
    copy->Freeze();
    EXPECT_EQ(TakeLogLines(kSource),
              (LogLines{{7, Ptr(&source) + " VXR_MIP_ProjectParams::Freeze reset\n"},
                        {7, Ptr(&source) + " VXR_MIP_ProjectParams::Freeze reset\n"},
                        {7, "freeze vol data  \n"}}));
    EXPECT_EQ(source.GetCounter(), before);  // the copy still has its pictures
    for (unsigned i = 0; i < 2; ++i) {
        for (IP_VolRBoxParamsMIP* box : {source.GetMIPBox(i), source.GetMIPTranspBox(i)}) {
            EXPECT_EQ(box->GetTPict().Size(), 0u);
            EXPECT_EQ(box->m_nPictState, 0);
            EXPECT_EQ(box->m_bFlag, 0);
            EXPECT_EQ(box->m_nValue, 0);
        }
    }
    EXPECT_EQ(source.GetPictState(), 0);
    EXPECT_TRUE(copy->HasPrivateTPict());

    // A copy whose first box has no picture: the source counts exactly one change.
    copy->GetNBoxParams(0)->GetTPict().Release();
    copy->GetNBoxParams(1)->GetTPict().Release();
    copy->Freeze();
    TakeLogTexts();
    EXPECT_EQ(source.GetCounter(), before + 1);
    EXPECT_EQ(copy->GetCounter(), source.GetCounter());
    copy.reset();
    TakeLogTexts();
}

TEST(VXR_MIP_ProjectParams, DefrostHandsDataBoxesListAndStatesToTheSource) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(2);
    VXR_MIP_ProjectParams source;
    std::unique_ptr<VXR_MIP_ProjectParams> copy(
        static_cast<VXR_MIP_ProjectParams*>(source.Clone()));
    copy->SetSource(&source);
    copy->Freeze();
    build_slow(*copy, *data);
    auto* list = new IP_MultiRealListVol;
    copy->SetTissueList(list);
    copy->GetIPVolRParams()->GetBoundingBox() =
        IP_Box::FromCorners(IP_3Coord(0, 0, 0), IP_3Coord(3, 3, 3));
    copy->GetIPVolRParams()->GetBox() = IP_Box::FromCorners(IP_3Coord(1, 1, 1), IP_3Coord(2, 2, 2));
    copy->SetVolDataState(17);
    copy->SetPictState(6);
    copy->GetMIPBox(1)->m_nValue = 33;
    copy->Defrost();
    EXPECT_EQ(TakeLogLines(kSource), (LogLines{{7, "defrost vol data \n"}}));
    EXPECT_EQ(source.GetMIPParams()->GetSlow(), copy->GetMIPParams()->GetSlow());
    EXPECT_EQ(source.GetTissueList(), list);
    EXPECT_EQ(*source.GetBoundingBox(), *copy->GetBoundingBox());
    EXPECT_EQ(*source.GetBox(), *copy->GetBox());
    EXPECT_EQ(source.GetBoxParamsCount(), 2u);
    EXPECT_EQ(source.GetMIPBox(1)->m_nValue, 33);
    EXPECT_NE(source.GetNBoxParams(1), copy->GetNBoxParams(1));
    EXPECT_EQ(source.GetVolDataState(), 17);
    EXPECT_EQ(source.GetPictState(), 6);
    copy.reset();
    TakeLogTexts();
    // The source keeps what the copy built.
    EXPECT_EQ(source.GetMIPParams()->GetSlow()->GetNVolData(), 2);
}

TEST(VXR_MIP_ProjectParams, ClearOfAnObjectThatBuiltItsDataKeepsThemAndEmptiesTheBoxes) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(1);
    for (const bool with_delete : {false, true}) {
        VXR_MIP_ProjectParams mip;
        build_slow(mip, *data);
        mip.SetVolDataState(5);
        mip.Clear(with_delete);
        EXPECT_TRUE(TakeLogTexts().empty());
        EXPECT_NE(mip.GetMIPParams()->GetSlow(), nullptr);
        EXPECT_EQ(mip.GetVolDataState(), 5);
        EXPECT_EQ(mip.GetBoxParamsCount(), 0u);
    }
}

TEST(VXR_MIP_ProjectParams, ClearOfAStandaloneObjectLogsAndDropsItsReferences) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(1);
    const long live = IP_RefCounted::GetLiveCount();
    for (const bool with_delete : {false, true}) {
        // Data a live object holds without having built them.
        VXR_MIP_ProjectParams mip;
        VXR_MIP_ProjectParams builder;
        build_slow(builder, *data);
        mip = builder;
        builder.ForceLocalCopy();
        TakeLogTexts();
        IP_MultiVolDataIncMIP* slow = mip.GetMIPParams()->GetSlow();
        ASSERT_NE(slow, nullptr);
        mip.SetVolDataState(5);
        mip.Clear(with_delete);
        EXPECT_EQ(TakeLogLines(kSource),
                  (LogLines{{7, "org delete mvoldata " + Ptr(slow) + "\n"}}));
        EXPECT_EQ(mip.GetMIPParams()->GetSlow(), nullptr);
        EXPECT_EQ(mip.GetVolDataState(), with_delete ? 0 : 5);
        EXPECT_EQ(mip.GetBoxParamsCount(), 0u);
    }
    EXPECT_EQ(IP_RefCounted::GetLiveCount(), live);
}

TEST(VXR_MIP_ProjectParams, ClearOfACopyWhoseSourceHasDataKeepsTheDataAndEmptiesTheBoxes) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(2);
    VXR_MIP_ProjectParams source;
    build_slow(source, *data);
    std::unique_ptr<VXR_MIP_ProjectParams> copy(
        static_cast<VXR_MIP_ProjectParams*>(source.Clone()));
    copy->SetSource(&source);
    IP_MultiVolDataIncMIP* slow = source.GetMIPParams()->GetSlow();
    copy->Clear(true);
    EXPECT_TRUE(TakeLogTexts().empty());
    EXPECT_EQ(copy->GetBoxParamsCount(), 0u);
    EXPECT_EQ(source.GetMIPParams()->GetSlow(), slow);
    EXPECT_EQ(slow->GetNVolData(), 2);
    EXPECT_EQ(source.GetBoxParamsCount(), 2u);
}

TEST(VXR_MIP_ProjectParams, ClearWithPrivatePicturesLogsEachBoxAndResetsBothStates) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(2);
    MEM_Pager pager;
    VXR_MIP_ProjectParams source;
    std::unique_ptr<VXR_MIP_ProjectParams> copy(
        static_cast<VXR_MIP_ProjectParams*>(source.Clone()));
    copy->SetSource(&source);
    copy->Freeze();
    build_slow(*copy, *data);
    paint(*copy, pager);
    copy->SetPictState(3);
    source.SetPictState(3);
    IP_MultiVolDataIncMIP* slow = copy->GetMIPParams()->GetSlow();
    const LogLines expected{
        {7, "delete mvoldata " + Ptr(slow) + "\n"},
        {7, Ptr(copy.get()) + " VXR_MIP_ProjectParams::Clear private_tpict reset " +
                Ptr(copy->GetNBoxParams(0)->GetTPict().Data()) + "\n"},
        {7, Ptr(copy.get()) + " VXR_MIP_ProjectParams::Clear private_tpict reset " +
                Ptr(copy->GetNBoxParams(1)->GetTPict().Data()) + "\n"}};
    copy->Clear(false);
    EXPECT_EQ(TakeLogLines(kSource), expected);
    EXPECT_EQ(copy->GetMIPParams()->GetSlow(), nullptr);
    EXPECT_EQ(copy->GetPictState(), 0);
    EXPECT_EQ(source.GetPictState(), 0);
    EXPECT_EQ(pager.GetLiveBlocks(), 0u);
}

TEST(VXR_MIP_ProjectParams, ForceLocalCopyStandsAloneResettingPicturesAndStates) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(2);
    MEM_Pager pager;
    VXR_MIP_ProjectParams source;
    build_slow(source, *data);
    VXR_MIP_ProjectParams mip(source);
    paint(mip, pager);
    mip.GetMIPBox(0)->m_bFlag = 1;
    mip.GetMIPTranspBox(1)->m_nValue = 4;
    IP_VolRParams& params = *mip.GetIPVolRParams();
    params.GetPict(2) = MEM_PagerInfo(&pager);
    ASSERT_TRUE(params.GetPict(2).Allocate(10));
    params.SetPictValue(77);
    const int counter = mip.GetCounter();
    const LogLines expected{{7, Ptr(&mip) + " VXR_MIP_ProjectParams::ForceLocalCopy reset " +
                                    Ptr(mip.GetNBoxParams(0)->GetTPict().Data()) + "\n"},
                            {7, Ptr(&mip) + " VXR_MIP_ProjectParams::ForceLocalCopy reset " +
                                    Ptr(mip.GetNBoxParams(1)->GetTPict().Data()) + "\n"}};
    mip.ForceLocalCopy();
    EXPECT_EQ(TakeLogLines(kSource), expected);
    EXPECT_EQ(mip.GetMIPParams()->GetSlow(), nullptr);
    EXPECT_NE(source.GetMIPParams()->GetSlow(), nullptr);
    EXPECT_FALSE(mip.IsOriginalCopy());
    EXPECT_EQ(mip.GetVolDataState(), -1);
    EXPECT_EQ(mip.GetPictState(), 0);
    EXPECT_EQ(mip.GetMIPBox(0)->m_bFlag, 0);
    EXPECT_EQ(mip.GetMIPTranspBox(1)->m_nValue, 0);
    EXPECT_EQ(params.GetPictValue(), 0);
    EXPECT_EQ(pager.GetLiveBlocks(), 0u);
    EXPECT_EQ(mip.GetCounter(), counter + 1);
    EXPECT_EQ(mip.GetBoxParamsCount(), 2u);
}

TEST(VXR_MIP_ProjectParams, AssignmentCopiesDeeplyAndSharesOnlyPlatformData) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(2);
    VXR_MIP_ProjectParams a;
    build_slow(a, *data);
    a.SetTissueList(new IP_MultiRealListVol);
    a.SetMaxState(3);
    VXR_MIP_ProjectParams b;
    b = a;
    EXPECT_NE(b.GetIPVolRParams(), a.GetIPVolRParams());
    EXPECT_EQ(b.GetMIPParams()->GetSlow(), a.GetMIPParams()->GetSlow());
    EXPECT_EQ(b.GetTissueList(), a.GetTissueList());
    EXPECT_EQ(b.GetBoxParamsCount(), 2u);
    EXPECT_NE(b.GetNBoxParams(0), a.GetNBoxParams(0));
    EXPECT_EQ(b.GetMaxState(), 3);
    // Through the base's reference, the same.
    VXR_MIP_ProjectParams c;
    static_cast<UTL_BaseParams&>(c) = a;
    EXPECT_EQ(c.GetBoxParamsCount(), 2u);
    b = b;
    EXPECT_EQ(b.GetBoxParamsCount(), 2u);
}

TEST(VXR_MIP_ProjectParams, RelateStoresViewAndClipAndAnswersFalseWithoutSlowData) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    VXR_MIP_ProjectParams mip;
    float view[4][4] = {{0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 1, 0}, {5, 6, 7, 1}};
    IP_3Coord out(9, 9, 9);
    auto* clip = reinterpret_cast<IP_VolRClipManager*>(&out);  // only stored, never used here
    EXPECT_FALSE(mip.Relate(IP_3Coord(1, 2, 3), view, clip, &out));
    float stored[4][4];
    mip.GetIPVolRParams()->GetViewMatrix(stored);
    EXPECT_EQ(stored[3][1], 6.0f);
    EXPECT_EQ(stored[1][0], -1.0f);
    EXPECT_EQ(mip.GetIPVolRParams()->GetClipManager(), clip);
    EXPECT_EQ(out.x, 9.0f);
    mip.GetIPVolRParams()->SetClipManager(nullptr);
}

TEST(VXR_MIP_ProjectParams, CloneFailingAtEachAllocationAnswersNullAndLeaksNothing) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(3);
    VXR_MIP_ProjectParams source;
    build_slow(source, *data);
    source.SetTissueList(new IP_MultiRealListVol);
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
        auto* copy = static_cast<VXR_MIP_ProjectParams*>(clone.get());
        EXPECT_EQ(copy->GetBoxParamsCount(), 3u);
        EXPECT_EQ(copy->GetTissueList(), source.GetTissueList());
        EXPECT_GT(succeeding, 0);
        clone.reset();
        EXPECT_EQ(IP_RefCounted::GetLiveCount(), live);
        break;
    }
    EXPECT_EQ(source.GetBoxParamsCount(), 3u);
}

TEST(VXR_MIP_ProjectParams, BuildsAnswerFalseWhenTheirDataObjectCannotBeMade) {
    vxrp_test::ClearLinesAtEnd clear_lines;
    const auto data = MakeMultiVolData(2);
    IP_MultiRealListVol tissues;
    VXR_MIP_ProjectParams source;
    build_slow(source, *data);
    VXR_MIP_ProjectParams copy;
    copy.SetSource(&source);
    IP_MultiVolDataIncMIP* watched = source.GetMIPParams()->GetSlow();
    watched->AddRef();
    {
        vxrp_test::NothrowNewFailure failure;
        EXPECT_FALSE(copy.IncrementalCopyVolData(data.get(), tissues, false, 0, -1, 0));
        EXPECT_FALSE(
            copy.IncrementalBuildFastFromSlowVolData(data.get(), tissues, false, 0, -1, 0));
    }
    // The slow build had already invalidated the source's data.
    EXPECT_EQ(TakeLogLines("VXR_ProjectParams"), (LogLines{{7, "Invalidate source vol data\n"}}));
    EXPECT_EQ(source.GetMIPParams()->GetSlow(), nullptr);
    EXPECT_EQ(copy.GetMIPParams()->GetSlow(), nullptr);
    EXPECT_EQ(copy.GetMIPParams()->GetFast(), nullptr);
    EXPECT_EQ(copy.GetBoxParamsCount(), 0u);
    EXPECT_EQ(watched->GetRefCount(), 1);  // only the test still holds the source's data
    watched->Release();
    copy.SetSource(nullptr);
}
