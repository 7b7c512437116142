#include "IP/IP_Projector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "IP/IP_ClipManager.h"
#include "IP/IP_Matrix.h"
#include "IP/IP_VolRParams.h"
#include "support/ProjectionSamples.h"
#include "support/TestRandom.h"

using vxrp_test::MakeVolume;

namespace {

// MIP or volume-rendering parameters whose slow data are built from data.
template <class Params, class Slow>
struct Scene {
    std::unique_ptr<IP_MultiVolData> data = std::make_unique<IP_MultiVolData>();
    Params params;

    void add(std::unique_ptr<IP_VolData> volume) { data->AddVolData(volume.release()); }
    void build() {
        auto* slow = new Slow;
        if constexpr (std::is_same_v<Slow, IP_MultiVolDataIncMIP>) {
            ASSERT_TRUE(slow->Rebuild(data.get(), nullptr, false, 1, 0, -1, 1, true, 0));
        } else {
            ASSERT_TRUE(slow->Rebuild(data.get(), nullptr, nullptr, 1, 0, -1, 1, true));
        }
        params.SetSlow(slow);
        slow->Release();
    }
};
using MIPScene = Scene<IP_VolRParamsMIP, IP_MultiVolDataIncMIP>;
using VolRScene = Scene<IP_VolRParamsVolR, IP_MultiVolDataIncVolR>;

// An 8-voxel cube of zeros with the given voxels set.
struct Voxel {
    int i, j, k;
    IP_Voxel value;
};
std::unique_ptr<IP_VolData> cube(const std::vector<Voxel>& set) {
    auto volume = MakeVolume(8, 8, 8, [](int, int, int) { return 0; });
    for (const Voxel& v : set) {
        volume->SetVoxel(v.i, v.j, v.k, v.value);
    }
    return volume;
}

void expect_point(const IP_3Coord& p, float x, float y, float z) {
    EXPECT_FLOAT_EQ(p.x, x);
    EXPECT_FLOAT_EQ(p.y, y);
    EXPECT_FLOAT_EQ(p.z, z);
    EXPECT_EQ(p.w, 1.0f);
}

// A table of 4096 entries whose opacity byte is opacity(value).
template <class Opacity>
std::vector<unsigned int> table(Opacity opacity) {
    std::vector<unsigned int> t(4096);
    for (unsigned v = 0; v < t.size(); ++v) {
        t[v] = 0xFFFFFF00u | (unsigned(opacity(int(v))) & 0xFFu);
    }
    return t;
}

}  // namespace

TEST(IP_MIPProjector, FindsTheBrightestVoxelAlongTheRayWithinTheClipRegion) {
    MIPScene scene;
    scene.add(cube({{2, 5, 6, 100}, {2, 5, 1, 50}, {2, 5, 3, 50}}));
    scene.build();
    IP_3Coord physical(9, 9, 9), voxel(9, 9, 9);
    ASSERT_TRUE(
        IP_MIPProjector::Screen2Physical(&scene.params, IP_3Coord(2, 5, 40), &physical, &voxel));
    expect_point(physical, 2, 5, 6);
    expect_point(voxel, 2, 5, 6);

    // A plane keeping z <= 4 hides the brightest; of two equal values the one
    // nearer the viewer wins.
    IP_VolRClipManager clip;
    ASSERT_TRUE(clip.NewClipPlane(1)->SetPlaneEq(0, 0, 1, 4));
    scene.params.SetClipManager(&clip);
    ASSERT_TRUE(
        IP_MIPProjector::Screen2Physical(&scene.params, IP_3Coord(2, 5, 0), &physical, nullptr));
    expect_point(physical, 2, 5, 1);
    clip.HideAllClipPlanes(true);
    ASSERT_TRUE(
        IP_MIPProjector::Screen2Physical(&scene.params, IP_3Coord(2, 5, 0), nullptr, &voxel));
    expect_point(voxel, 2, 5, 6);
    scene.params.SetClipManager(nullptr);
}

TEST(IP_MIPProjector, AnswersFalseAndWritesNothingWithoutAnAnswer) {
    MIPScene scene;
    scene.add(cube({{1, 1, 1, 10}}));
    IP_3Coord out(9, 9, 9);
    EXPECT_FALSE(IP_MIPProjector::Screen2Physical(&scene.params, IP_3Coord(1, 1, 0), &out, &out));
    EXPECT_FALSE(IP_MIPProjector::Screen2Physical(nullptr, IP_3Coord(1, 1, 0), &out, &out));
    scene.build();
    EXPECT_FALSE(IP_MIPProjector::Screen2Physical(&scene.params, IP_3Coord(20, 1, 0), &out, &out));
    EXPECT_FALSE(IP_MIPProjector::Screen2Physical(&scene.params, IP_3Coord(NAN, 1, 0), &out, &out));
    float singular[4][4] = {};
    scene.params.SetViewMatrix(singular);
    EXPECT_FALSE(IP_MIPProjector::Screen2Physical(&scene.params, IP_3Coord(1, 1, 0), &out, &out));
    EXPECT_EQ(out.x, 9.0f);
}

TEST(IP_MIPProjector, FindsARandomBrightVoxelThroughRandomTurnedAndShiftedViews) {
    vxrp_test::TestRandom random(1107);
    auto index = [&](int) { return random.Int(0, 7); };
    auto unit = [&](int) { return random.Uniform(-1.0f, 1.0f); };
    int rng = 0;
    for (int round = 0; round < 60; ++round) {
        const Voxel bright{index(rng), index(rng), index(rng), 1000};
        MIPScene scene;
        auto volume = MakeVolume(
            8, 8, 8, [](int i, int j, int k) { return (i * 5 + j * 3 + k) % 7; },
            IP_3Coord(-3.5f, 10.0f, 2.0f));
        volume->SetVoxel(bright.i, bright.j, bright.k, bright.value);
        scene.add(std::move(volume));
        scene.build();
        float view[4][4];
        IP_3Coord axis(unit(rng), unit(rng), unit(rng));
        if (!IP_Mgenrot(view, 3.0f * unit(rng), axis)) {
            IP_Midnt(view);
        }
        IP_Mtranslate(view, 40 * unit(rng), 40 * unit(rng), 40 * unit(rng));
        scene.params.SetViewMatrix(view);
        const IP_3Coord centre(-3.5f + float(bright.i), 10.0f + float(bright.j),
                               2.0f + float(bright.k));
        IP_3Coord screen;
        IP_vec3mlt(centre, view, screen);
        IP_3Coord physical, voxel;
        ASSERT_TRUE(IP_MIPProjector::Screen2Physical(&scene.params, screen, &physical, &voxel));
        EXPECT_EQ(voxel.x, float(bright.i)) << round;
        EXPECT_EQ(voxel.y, float(bright.j)) << round;
        EXPECT_EQ(voxel.z, float(bright.k)) << round;
        EXPECT_NEAR(physical.x, centre.x, 1e-5);
        EXPECT_NEAR(physical.z, centre.z, 1e-5);
    }
}

TEST(IP_MIPProjector, VesselPickTakesTheMiddleOfTheBrightRunAndTheHighestVolumeWins) {
    MIPScene scene;
    scene.add(cube({{4, 4, 3, 80}, {4, 4, 4, 90}, {4, 4, 5, 100}, {4, 4, 7, 20}}));
    scene.add(cube({{4, 4, 0, 70}}));
    scene.build();
    IP_3Coord voxel;
    ASSERT_TRUE(
        IP_MIPProjector::VesselScreen2Physical(&scene.params, IP_3Coord(4, 4, 0), nullptr, &voxel));
    expect_point(voxel, 4, 4, 4);
    ASSERT_TRUE(
        IP_MIPProjector::Screen2Physical(&scene.params, IP_3Coord(4, 4, 0), nullptr, &voxel));
    expect_point(voxel, 4, 4, 5);
}

TEST(IP_VolRProjector, StopsWhereTheAccumulatedOpacityReachesTheThreshold) {
    VolRScene scene;
    scene.add(cube({{3, 3, 2, 40}, {3, 3, 6, 255}, {5, 5, 5, 5000}}));
    scene.build();
    const std::vector<unsigned int> opacity = table([](int v) { return v; });
    const unsigned int* tables[kIP_TissueCount] = {};
    tables[kIP_DefaultTissue] = opacity.data();
    IP_3Coord voxel;
    struct Case {
        int threshold;
        float z;
    };
    // Two samples of opacity 40/255 accumulate to about 0.29.
    for (const Case c : {Case{60, 2}, Case{128, 6}, Case{0, 2}}) {
        scene.params.SetOpacityThreshold(c.threshold);
        ASSERT_TRUE(IP_VolRProjector::Screen2Physical(&scene.params, IP_3Coord(3, 3, 0), nullptr,
                                                      &voxel, tables, nullptr));
        EXPECT_EQ(voxel.z, c.z) << c.threshold;
    }
    // A value beyond the 12-bit table is transparent, as are missing tables.
    EXPECT_FALSE(IP_VolRProjector::Screen2Physical(&scene.params, IP_3Coord(5, 5, 0), nullptr,
                                                   &voxel, tables, nullptr));
    EXPECT_FALSE(IP_VolRProjector::Screen2Physical(&scene.params, IP_3Coord(3, 3, 0), nullptr,
                                                   &voxel, nullptr, nullptr));
    tables[kIP_DefaultTissue] = nullptr;
    EXPECT_FALSE(IP_VolRProjector::Screen2Physical(&scene.params, IP_3Coord(3, 3, 0), nullptr,
                                                   &voxel, tables, nullptr));
}

TEST(IP_VolRProjector, TissueIndexChoosesEachVoxelsTable) {
    VolRScene scene;
    scene.add(cube({{1, 6, 2, 7}, {1, 6, 5, 9}}));
    scene.build();
    const std::vector<unsigned int> clear = table([](int) { return 0; });
    const std::vector<unsigned int> solid = table([](int) { return 255; });
    const unsigned int* tables[kIP_TissueCount] = {};
    tables[kIP_DefaultTissue] = clear.data();
    tables[3] = solid.data();
    IP_VolRTissueList list;
    list.Add(3, 9, 9);
    auto* index = new IP_MultiVolRTisIndInc;
    ASSERT_TRUE(index->Rebuild(scene.data.get(), 0, -1, kIP_DefaultTissue, false, list));
    IP_3Coord voxel;
    EXPECT_FALSE(IP_VolRProjector::Screen2Physical(&scene.params, IP_3Coord(1, 6, 0), nullptr,
                                                   &voxel, tables, nullptr));
    ASSERT_TRUE(IP_VolRProjector::Screen2Physical(&scene.params, IP_3Coord(1, 6, 0), nullptr,
                                                  &voxel, tables, index));
    expect_point(voxel, 1, 6, 5);
    index->Release();
}

TEST(IP_VolRProjector, VesselPickTakesTheMiddleOfTheOpaqueRun) {
    VolRScene scene;
    scene.add(cube({{2, 2, 2, 1}, {2, 2, 3, 1}, {2, 2, 4, 1}, {2, 2, 5, 1}, {2, 2, 6, 1}}));
    scene.build();
    const std::vector<unsigned int> opacity = table([](int v) { return v == 1 ? 255 : 0; });
    const unsigned int* tables[kIP_TissueCount] = {};
    tables[kIP_DefaultTissue] = opacity.data();
    IP_3Coord physical;
    ASSERT_TRUE(IP_VolRProjector::VesselScreen2Physical(&scene.params, IP_3Coord(2, 2, 0),
                                                        &physical, nullptr, tables, nullptr));
    expect_point(physical, 2, 2, 4);
    ASSERT_TRUE(IP_VolRProjector::Screen2Physical(&scene.params, IP_3Coord(2, 2, 0), &physical,
                                                  nullptr, tables, nullptr));
    expect_point(physical, 2, 2, 2);
}
