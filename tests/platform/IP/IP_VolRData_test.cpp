#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <memory>
#include <stdexcept>

#include "IP/IP_MultiVolDataInc.h"
#include "IP/IP_Tissue.h"
#include "IP/IP_VolData.h"
#include "IP/IP_VolRParams.h"
#include "support/ProjectionSamples.h"

using vxrp_test::MakeMultiVolData;
using vxrp_test::MakeVolume;

namespace {

IP_Voxel ramp(int i, int j, int k) {
    return i + 10 * j + 100 * k;
}

// Releases a counted object at the end of a test.
struct Released {
    void operator()(IP_RefCounted* p) const { p->Release(); }
};
template <class T>
using Counted = std::unique_ptr<T, Released>;

}  // namespace

TEST(IP_VolData, RefusesBadGeometryAndMapsPhysicalPointsToCells) {
    IP_VolGeometry bad;
    bad.nx = 0;
    bad.ny = bad.nz = 1;
    EXPECT_THROW(IP_VolData{bad}, std::invalid_argument);
    bad.nx = 1;
    bad.sy = 0.0f;
    EXPECT_THROW(IP_VolData{bad}, std::invalid_argument);
    bad.sy = 1.0f;
    bad.bits_stored = 17;
    EXPECT_THROW(IP_VolData{bad}, std::invalid_argument);

    IP_VolGeometry g;
    g.nx = 4;
    g.ny = 3;
    g.nz = 2;
    g.sx = 2.0f;
    g.position = IP_3Coord(10, 0, 0);
    int i = -1, j = -1, k = -1;
    // Cells reach half a spacing either side of the voxel centres.
    EXPECT_TRUE(g.PhysicalToVoxel(IP_3Coord(9.0f, -0.5f, 1.49f), i, j, k));
    EXPECT_EQ((std::array<int, 3>{i, j, k}), (std::array<int, 3>{0, 0, 1}));
    EXPECT_TRUE(g.PhysicalToVoxel(IP_3Coord(16.9f, 2.4f, 0.0f), i, j, k));
    EXPECT_EQ((std::array<int, 3>{i, j, k}), (std::array<int, 3>{3, 2, 0}));
    EXPECT_FALSE(g.PhysicalToVoxel(IP_3Coord(17.0f, 0, 0), i, j, k));
    EXPECT_FALSE(g.PhysicalToVoxel(IP_3Coord(NAN, 0, 0), i, j, k));
}

TEST(IP_VolData, TableRangeFollowsStoredBitsAndSignedness) {
    IP_VolGeometry g;
    g.bits_stored = 12;
    EXPECT_TRUE(g.InTableRange(0));
    EXPECT_TRUE(g.InTableRange(4095));
    EXPECT_FALSE(g.InTableRange(4096));
    EXPECT_FALSE(g.InTableRange(-1));
    g.is_signed = true;
    EXPECT_TRUE(g.InTableRange(-2048));
    EXPECT_TRUE(g.InTableRange(2047));
    EXPECT_FALSE(g.InTableRange(2048));
    EXPECT_FALSE(g.InTableRange(-2049));
}

TEST(IP_VolDataProj, SamplesByStepAndSlicesAndDropsValuesNoTissueKeeps) {
    const auto source = MakeVolume(5, 4, 6, ramp, IP_3Coord(1, 2, 3));
    IP_MultiRealListVol keep;
    ASSERT_TRUE(keep.AddRange(0, 0, 250));
    ASSERT_TRUE(keep.AddRange(0, 400, 500));
    const IP_ProjBuild build{2, 1, 4, false};
    const IP_VolDataProj proj(*source, build, &keep, 0, -7);

    EXPECT_EQ(proj.GetCurrVolData(), source.get());
    const IP_VolGeometry& g = proj.GetGeometry();
    EXPECT_EQ((std::array<int, 3>{g.nx, g.ny, g.nz}), (std::array<int, 3>{3, 2, 2}));
    EXPECT_FLOAT_EQ(g.sx, 2.0f);
    EXPECT_FLOAT_EQ(g.position.z, 4.0f);
    for (int k = 0; k < g.nz; ++k) {
        for (int j = 0; j < g.ny; ++j) {
            for (int i = 0; i < g.nx; ++i) {
                int si = 0, sj = 0, sk = 0;
                proj.ToSourceVoxel(i, j, k, si, sj, sk);
                EXPECT_EQ((std::array<int, 3>{si, sj, sk}),
                          (std::array<int, 3>{2 * i, 2 * j, 1 + 2 * k}));
                const IP_Voxel v = ramp(si, sj, sk);
                const bool kept = v <= 250 || (v >= 400 && v <= 500);
                EXPECT_EQ(proj.GetVoxel(i, j, k), kept ? v : -7) << i << j << k;
            }
        }
    }
    EXPECT_TRUE(proj.GetBlockMaxima().empty());
}

TEST(IP_VolDataProj, BlockExtremaBoundEveryVoxelOfTheirBlock) {
    const auto source = MakeVolume(
        19, 9, 10, [](int i, int j, int k) { return (i * 7 + j * 13 + k * 5) % 31 - 9; });
    const IP_VolDataProj proj(*source, IP_ProjBuild{1, 0, -1, true}, nullptr, 0, 0);
    const IP_VolGeometry& g = proj.GetGeometry();
    constexpr int B = IP_VolDataProj::kBlock;
    const int bx = (g.nx + B - 1) / B, by = (g.ny + B - 1) / B;
    ASSERT_EQ(proj.GetBlockMaxima().size(), std::size_t(bx * by * ((g.nz + B - 1) / B)));
    for (int k = 0; k < g.nz; ++k) {
        for (int j = 0; j < g.ny; ++j) {
            for (int i = 0; i < g.nx; ++i) {
                const std::size_t b = std::size_t(((k / B) * by + j / B) * bx + i / B);
                EXPECT_LE(proj.GetBlockMinima()[b], proj.GetVoxel(i, j, k));
                EXPECT_GE(proj.GetBlockMaxima()[b], proj.GetVoxel(i, j, k));
            }
        }
    }
}

TEST(IP_VolDataProj, RefusesBadStepsAndEmptySliceRanges) {
    const auto source = MakeVolume(2, 2, 3, ramp);
    for (const IP_ProjBuild& bad : {IP_ProjBuild{0, 0, -1, false}, IP_ProjBuild{1, 3, -1, false},
                                    IP_ProjBuild{1, 2, 1, false}}) {
        EXPECT_THROW(IP_VolDataProj(*source, bad, nullptr, 0, 0), std::invalid_argument);
    }
}

TEST(IP_MultiVolDataInc, RebuildMakesOneProjectedVolumePerSourceVolumeAndFailsWithoutChange) {
    const auto data = MakeMultiVolData(3);
    Counted<IP_MultiVolDataIncMIP> mip(new IP_MultiVolDataIncMIP);
    ASSERT_TRUE(mip->Rebuild(data.get(), nullptr, false, 1, 0, -1, 1, true, 0));
    ASSERT_EQ(mip->GetNVolData(), 3);
    for (int v = 0; v < 3; ++v) {
        EXPECT_EQ(mip->GetVolData(v)->GetCurrVolData(), data->GetVolData(v));
    }
    EXPECT_EQ(mip->GetVolData(3), nullptr);
    EXPECT_EQ(mip->GetVolData(-1), nullptr);

    const IP_VolDataProj* before = mip->GetVolData(0);
    EXPECT_FALSE(mip->Rebuild(nullptr, nullptr, false, 1, 0, -1, 1, true, 0));
    EXPECT_FALSE(mip->Rebuild(data.get(), nullptr, false, 0, 0, -1, 1, true, 0));
    EXPECT_FALSE(mip->Rebuild(data.get(), nullptr, false, 1, 9, -1, 1, true, 0));
    EXPECT_EQ(mip->GetVolData(0), before);

    IP_MultiVolData empty;
    EXPECT_TRUE(mip->Rebuild(&empty, nullptr, false, 1, 0, -1, 1, true, 0));
    EXPECT_EQ(mip->GetNVolData(), 0);
}

TEST(IP_MultiVolDataInc, IncrementalRebuildKeepsOnlyVolumesThatAreStillCurrent) {
    const auto data = MakeMultiVolData(2);
    Counted<IP_MultiVolDataIncMIP> mip(new IP_MultiVolDataIncMIP);
    ASSERT_TRUE(mip->Rebuild(data.get(), nullptr, true, 1, 0, -1, 0, false, 0));
    const IP_VolDataProj* first = mip->GetVolData(0);
    const IP_VolDataProj* second = mip->GetVolData(1);
    data->GetVolData(1)->SetVoxel(0, 0, 0, 99);
    ASSERT_TRUE(mip->Rebuild(data.get(), nullptr, true, 1, 0, -1, 0, false, 0));
    EXPECT_EQ(mip->GetVolData(0), first);
    EXPECT_NE(mip->GetVolData(1), second);
    EXPECT_EQ(mip->GetVolData(1)->GetVoxel(0, 0, 0), 99);
    // A different step, or no incremental flag, builds everything again.
    ASSERT_TRUE(mip->Rebuild(data.get(), nullptr, true, 2, 0, -1, 0, false, 0));
    EXPECT_NE(mip->GetVolData(0), first);
    EXPECT_EQ(mip->GetVolData(0)->GetGeometry().nx, 2);
}

TEST(IP_MultiVolDataInc, CopyWithTissueKeepsTheStepAndAppliesTheNewList) {
    const auto data = MakeMultiVolData(1);
    Counted<IP_MultiVolDataIncMIP> mip(new IP_MultiVolDataIncMIP);
    ASSERT_TRUE(mip->Rebuild(data.get(), nullptr, false, 2, 0, -1, 0, false, 0));
    IP_MultiRealListVol list;
    list.AddRange(0, 0, 10);
    ASSERT_TRUE(mip->CopyWithTissue(data.get(), &list, 0, -1, -1));
    EXPECT_EQ(mip->GetBuild().step, 2);
    EXPECT_EQ(mip->GetVolData(0)->GetVoxel(1, 0, 0), 2);   // source (2, 0, 0) holds 2
    EXPECT_EQ(mip->GetVolData(0)->GetVoxel(0, 1, 0), 8);   // source (0, 2, 0) holds 8
    EXPECT_EQ(mip->GetVolData(0)->GetVoxel(0, 0, 1), -1);  // source (0, 0, 2) holds 32
}

TEST(IP_MultiVolRTisIndInc, FirstClaimingEntryWinsAndIncrementalRebuildRecomputesOnlyItsSlices) {
    const auto data = MakeMultiVolData(1);  // values i + 4j + 16k, 0 .. 63
    IP_VolRTissueList list;
    ASSERT_TRUE(list.Add(2, 0, 20));
    ASSERT_TRUE(list.Add(3, 10, 40));
    EXPECT_FALSE(list.Add(16, 0, 1));
    EXPECT_FALSE(list.Add(1, 5, 4));
    Counted<IP_MultiVolRTisIndInc> index(new IP_MultiVolRTisIndInc);
    ASSERT_TRUE(index->Rebuild(data.get(), 0, -1, 99, false, list));
    EXPECT_EQ(index->GetTissue(0, 3, 3, 0), 2);                  // 15
    EXPECT_EQ(index->GetTissue(0, 1, 1, 1), 3);                  // 21
    EXPECT_EQ(index->GetTissue(0, 0, 0, 3), kIP_DefaultTissue);  // 48: the fallback, clamped
    EXPECT_EQ(index->GetTissue(1, 0, 0, 0), kIP_DefaultTissue);
    EXPECT_EQ(index->GetSource(0), data->GetVolData(0));

    IP_VolRTissueList other;
    other.Add(5, 0, 63);
    ASSERT_TRUE(index->Rebuild(data.get(), 1, 1, 0, true, other));
    EXPECT_EQ(index->GetTissue(0, 1, 1, 1), 5);
    EXPECT_EQ(index->GetTissue(0, 3, 3, 0), 2);  // slice 0 kept
    EXPECT_FALSE(index->Rebuild(nullptr, 0, -1, 0, false, other));
    EXPECT_EQ(index->GetTissue(0, 1, 1, 1), 5);
}

TEST(IP_MultiVolDataIncVolR, ColourManagerSharesTheIndexCopiesTablePointersAndResets) {
    const auto data = MakeMultiVolData(1);
    const unsigned int table[4] = {};
    const unsigned int* tables[kIP_TissueCount] = {};
    tables[4] = table;
    Counted<IP_MultiVolRTisIndInc> index(new IP_MultiVolRTisIndInc);
    Counted<IP_MultiVolDataIncVolR> volr(new IP_MultiVolDataIncVolR);
    ASSERT_TRUE(volr->Rebuild(data.get(), tables, index.get(), 1, 0, -1, 1, true));
    tables[4] = nullptr;  // a copy was taken
    EXPECT_EQ(volr->GetColorTable(4), table);
    EXPECT_EQ(volr->GetMultiTisInd(), index.get());
    EXPECT_EQ(index->GetRefCount(), 2);
    volr->ResetCManager();
    EXPECT_EQ(volr->GetColorTable(4), nullptr);
    EXPECT_EQ(volr->GetMultiTisInd(), nullptr);
    EXPECT_EQ(index->GetRefCount(), 1);
    EXPECT_EQ(volr->GetNVolData(), 1);
}

TEST(IP_VolRParams, AssignmentSharesDataAndArraysAndEveryHolderReleasesItsOwn) {
    const long live = IP_RefCounted::GetLiveCount();
    {
        IP_VolRParamsVolR a;
        auto* slow = new IP_MultiVolDataIncVolR;
        a.SetSlow(slow);
        slow->Release();
        auto* tables = new IP_ColorTableArray;
        a.SetColorTableArray(tables);
        tables->Release();
        a.SetZoomAccess(7);
        a.GetBoundingBox() = IP_Box::FromCorners(IP_3Coord(1, 2, 3), IP_3Coord(4, 5, 6));
        {
            IP_VolRParamsVolR b;
            b = a;
            EXPECT_EQ(b.GetSlow(), slow);
            EXPECT_EQ(b.GetColorTables(), a.GetColorTables());
            EXPECT_EQ(b.GetZoomAccess(), 7);
            EXPECT_EQ(b.GetBoundingBox(), a.GetBoundingBox());
            EXPECT_EQ(slow->GetRefCount(), 2);
            b = b;
            EXPECT_EQ(slow->GetRefCount(), 2);
        }
        EXPECT_EQ(slow->GetRefCount(), 1);
        EXPECT_EQ(IP_RefCounted::GetLiveCount(), live + 2);
    }
    EXPECT_EQ(IP_RefCounted::GetLiveCount(), live);
}

TEST(IP_VolRBoxParams, AssignmentCopiesStateAndSharesPictures) {
    MEM_Pager pager;
    IP_VolRBoxParamsVolR a;
    a.GetRGBTPict() = MEM_PagerInfo(&pager);
    ASSERT_TRUE(a.GetRGBTPict().Allocate(12));
    a.m_nPictState = 5;
    a.GetLightingPoint3DArr().resize(3);
    IP_VolRBoxParamsVolR b;
    b = a;
    EXPECT_TRUE(b.GetRGBTPict().SharesBlockWith(a.GetRGBTPict()));
    EXPECT_EQ(b.m_nPictState, 5);
    EXPECT_EQ(b.GetLightingPoint3DArr().size(), 3u);
    b.Destroy_LightingPoint3DArr();
    EXPECT_TRUE(b.GetLightingPoint3DArr().empty());
    a.GetRGBTPict().Release();
    EXPECT_EQ(pager.GetLiveBlocks(), 1u);
    b.GetRGBTPict().Release();
    EXPECT_EQ(pager.GetLiveBlocks(), 0u);
}
