// The host's source-and-copy life cycle, played on both projection kinds: a live
// object, a rendering copy per frame (Clone, SetSource, Freeze), the builds on
// the copy, pictures rendered into its boxes, Defrost, and the objects going in
// the orders a host really uses. After each play every shared platform object
// and every picture is gone, and (under the sanitizers) none was freed twice or
// used after it was freed.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "IP/IP_Matrix.h"
#include "IP/IP_Tissue.h"
#include "VXR_MIP_ProjectParams.h"
#include "VXR_VolR_ProjectParams.h"
#include "support/LogExpectations.h"
#include "support/ProjectionLog.h"
#include "support/ProjectionSamples.h"

using vxrp_test::MakeMultiVolData;
using vxrp_test::TakeLogTexts;

namespace {

constexpr int kVolumes = 2;

// Every value fully opaque.
struct OpaqueTables {
    std::vector<unsigned int> table = std::vector<unsigned int>(4096, 0xFFu);
    const unsigned int* pointers[kIP_TissueCount];
    OpaqueTables() {
        for (const unsigned int*& p : pointers) {
            p = table.data();
        }
    }
};

struct MIPKind {
    using Params = VXR_MIP_ProjectParams;
    static IP_MultiVolDataInc* slow(const Params& p) { return p.GetMIPParams()->GetSlow(); }
    static void build(Params& p, IP_MultiVolData& data, OpaqueTables&) {
        IP_MultiRealListVol tissues;
        ASSERT_TRUE(p.IncrementalCopyVolData(&data, tissues, true, 0, -1, 0));
        ASSERT_TRUE(p.IncrementalBuildFastFromSlowVolData(&data, tissues, true, 0, -1, 0));
        p.SetTissueList(new IP_MultiRealListVol);
        p.SetSlowTissueList(p.GetTissueList());
    }
    // The MIP of i + 4j + 16k along z is at the last slice.
    static void expect_picks(Params& p) {
        float view[4][4];
        IP_Midnt(view);
        IP_3Coord out;
        ASSERT_TRUE(p.Relate(IP_3Coord(1, 2, 0), view, nullptr, &out));
        EXPECT_EQ(out.z, 3.0f);
    }
};

struct VolRKind {
    using Params = VXR_VolR_ProjectParams;
    static IP_MultiVolDataInc* slow(const Params& p) { return p.GetVolRParams()->GetSlow(); }
    static void build(Params& p, IP_MultiVolData& data, OpaqueTables& tables) {
        IP_VolRTissueList list;
        list.Add(2, 0, 20);
        ASSERT_TRUE(p.IncrementalBuildTisInd(&data, tables.pointers, 0, -1, 15, true, list));
        ASSERT_TRUE(p.IncrementalCopyVolData(&data, tables.pointers, 0, -1));
        ASSERT_TRUE(p.IncrementalBuildFastFromSlowVolData(&data, tables.pointers, 0, -1));
        const void* checks[kIP_TissueCount] = {};
        ASSERT_TRUE(p.SetCTableValidationPtr(checks));
    }
    // Everything opaque: the first slice.
    static void expect_picks(Params& p) {
        float view[4][4];
        IP_Midnt(view);
        IP_3Coord out;
        ASSERT_TRUE(p.Relate(IP_3Coord(1, 2, 0), view, nullptr, &out));
        EXPECT_EQ(out.z, 0.0f);
    }
};

// The world a play runs in: processed data, tables, a pager, and the count of
// shared platform objects before it started.
template <class Kind>
struct Play {
    using Params = typename Kind::Params;
    std::unique_ptr<IP_MultiVolData> data = MakeMultiVolData(kVolumes);
    OpaqueTables tables;
    MEM_Pager pager;
    long live_before = IP_RefCounted::GetLiveCount();

    // A copy of live made and frozen as the renderer's host does it.
    std::unique_ptr<Params> clone(Params& live) {
        std::unique_ptr<Params> copy(static_cast<Params*>(live.Clone()));
        EXPECT_NE(copy, nullptr);
        copy->SetSource(&live);
        copy->Freeze();
        return copy;
    }
    // Builds and renders on the copy.
    void render(Params& copy) {
        Kind::build(copy, *data, tables);
        for (unsigned i = 0; i < copy.GetBoxParamsCount(); ++i) {
            for (IP_VolRBoxParams* box : {copy.GetNBoxParams(i), copy.GetNTranspBoxParams(i)}) {
                box->GetTPict() = MEM_PagerInfo(&pager);
                ASSERT_TRUE(box->GetTPict().Allocate(256));
            }
        }
    }
    void expect_usable(Params& p) {
        IP_MultiVolDataInc* slow = Kind::slow(p);
        ASSERT_NE(slow, nullptr);
        EXPECT_EQ(slow->GetNVolData(), kVolumes);
        ASSERT_TRUE(p.TryEnterDataProtectCriticalSection());
        EXPECT_EQ(slow->GetVolData(1)->GetCurrVolData(), data->GetVolData(1));
        p.LeaveDataProtectCriticalSection();
        Kind::expect_picks(p);
    }
    void expect_all_gone() {
        EXPECT_EQ(IP_RefCounted::GetLiveCount(), live_before);
        EXPECT_EQ(pager.GetLiveBlocks(), 0u);
    }
};

template <class Kind>
void play_frames_one_copy_at_a_time() {
    vxrp_test::ClearLinesAtEnd clear_lines;
    Play<Kind> play;
    {
        typename Kind::Params live;
        for (int frame = 0; frame < 3; ++frame) {
            auto copy = play.clone(live);
            play.render(*copy);
            copy->Defrost();
            EXPECT_EQ(Kind::slow(live), Kind::slow(*copy));
            copy.reset();
            play.expect_usable(live);
        }
        TakeLogTexts();
    }
    play.expect_all_gone();
}

template <class Kind>
void play_overlapping_copies() {
    vxrp_test::ClearLinesAtEnd clear_lines;
    Play<Kind> play;
    {
        typename Kind::Params live;
        auto first = play.clone(live);
        play.render(*first);
        first->Defrost();
        // The next frame's copy is made while the first is still rendering.
        auto second = play.clone(live);
        play.render(*second);
        first.reset();
        second->Defrost();
        play.expect_usable(live);
        auto third = play.clone(live);
        second.reset();
        play.render(*third);
        third->Defrost();
        third.reset();
        play.expect_usable(live);
        TakeLogTexts();
    }
    play.expect_all_gone();
}

template <class Kind>
void play_live_object_going_first() {
    vxrp_test::ClearLinesAtEnd clear_lines;
    Play<Kind> play;
    {
        auto live = std::make_unique<typename Kind::Params>();
        auto copy = play.clone(*live);
        play.render(*copy);
        copy->Defrost();
        // The host unlinks the copy before the source goes.
        copy->SetSource(nullptr);
        live->Clear(true);
        live.reset();
        play.expect_usable(*copy);
        copy->Clear(true);
        TakeLogTexts();
    }
    play.expect_all_gone();
}

template <class Kind>
void play_copy_not_handed_back() {
    vxrp_test::ClearLinesAtEnd clear_lines;
    Play<Kind> play;
    {
        typename Kind::Params live;
        auto copy = play.clone(live);
        play.render(*copy);
        copy.reset();  // no Defrost: what the copy built goes with it
        EXPECT_EQ(Kind::slow(live), nullptr);
        auto next = play.clone(live);
        play.render(*next);
        next->Defrost();
        next.reset();
        play.expect_usable(live);
        TakeLogTexts();
    }
    play.expect_all_gone();
}

template <class Kind>
void play_force_local_copy_while_a_copy_shares_the_data() {
    vxrp_test::ClearLinesAtEnd clear_lines;
    Play<Kind> play;
    {
        typename Kind::Params live;
        auto first = play.clone(live);
        play.render(*first);
        first->Defrost();
        first.reset();
        auto copy = play.clone(live);  // shares the live object's data
        live.ForceLocalCopy();         // the live object lets go of them
        EXPECT_EQ(Kind::slow(live), nullptr);
        play.expect_usable(*copy);
        play.render(*copy);
        copy->Defrost();
        copy.reset();
        play.expect_usable(live);
        // And once more with nobody else holding the data.
        live.ForceLocalCopy();
        TakeLogTexts();
        EXPECT_EQ(IP_RefCounted::GetLiveCount(), play.live_before);
    }
    play.expect_all_gone();
}

template <class Kind>
void play_assignment_and_clear_in_either_order() {
    vxrp_test::ClearLinesAtEnd clear_lines;
    Play<Kind> play;
    {
        typename Kind::Params live;
        auto copy = play.clone(live);
        play.render(*copy);
        copy->Defrost();
        typename Kind::Params other;
        other = live;  // a third holder of everything
        copy->Clear(true);
        live.Clear(true);
        EXPECT_EQ(Kind::slow(live), nullptr);
        play.expect_usable(other);
        // The last holder dropping its references frees the data, even when it
        // is not asked to delete them.
        other.Clear(false);
        copy.reset();
        TakeLogTexts();
        EXPECT_EQ(IP_RefCounted::GetLiveCount(), play.live_before);
    }
    play.expect_all_gone();
}

}  // namespace

TEST(VXR_ProjectParams, LifeCycleOneCopyPerFrameLeavesTheSourceUsableAndNothingBehind) {
    play_frames_one_copy_at_a_time<MIPKind>();
    play_frames_one_copy_at_a_time<VolRKind>();
}

TEST(VXR_ProjectParams, LifeCycleOverlappingCopiesFreeEverythingExactlyOnce) {
    play_overlapping_copies<MIPKind>();
    play_overlapping_copies<VolRKind>();
}

TEST(VXR_ProjectParams, LifeCycleSourceGoingFirstLeavesTheUnlinkedCopyItsData) {
    play_live_object_going_first<MIPKind>();
    play_live_object_going_first<VolRKind>();
}

TEST(VXR_ProjectParams, LifeCycleCopyDestroyedWithoutDefrostTakesItsBuildAlong) {
    play_copy_not_handed_back<MIPKind>();
    play_copy_not_handed_back<VolRKind>();
}

TEST(VXR_ProjectParams, LifeCycleForceLocalCopyNeitherFreesSharedDataNorLeaksIt) {
    play_force_local_copy_while_a_copy_shares_the_data<MIPKind>();
    play_force_local_copy_while_a_copy_shares_the_data<VolRKind>();
}

TEST(VXR_ProjectParams, LifeCycleClearsOfSeveralHoldersInEitherOrder) {
    play_assignment_and_clear_in_either_order<MIPKind>();
    play_assignment_and_clear_in_either_order<VolRKind>();
}
