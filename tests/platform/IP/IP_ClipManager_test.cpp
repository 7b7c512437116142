#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "IP/IP_ClipManager.h"
#include "IP/IP_Matrix.h"
#include "support/MatrixTestUtils.h"
#include "support/TestRandom.h"

namespace {

using vxrp_test::Mat;
using vxrp_test::TestRandom;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Eq {
    float v[4];
};

Eq eq_of(const IP_ClippingPlane& plane) {
    Eq e;
    plane.GetPlaneEq(e.v);
    return e;
}

double normal_length(const Eq& e) {
    return std::hypot(double(e.v[0]), double(e.v[1]), double(e.v[2]));
}

// The plane with equation coefficients chosen at random, on a manager.
IP_ClippingPlane* random_plane(IP_ClipManager& manager, int number, TestRandom& rng) {
    IP_ClippingPlane* plane = manager.NewClipPlane(number);
    EXPECT_NE(plane, nullptr);
    while (!plane->SetPlaneEq(rng.Uniform(-1, 1), rng.Uniform(-1, 1), rng.Uniform(-1, 1),
                              rng.Uniform(-2, 2))) {
    }
    return plane;
}

// A random point on the plane: a random point projected onto it.
IP_3Coord point_on(const IP_ClippingPlane& plane, TestRandom& rng) {
    const Eq e = eq_of(plane);
    IP_3Coord p(rng.Uniform(-5, 5), rng.Uniform(-5, 5), rng.Uniform(-5, 5));
    const double s = plane.SignedDistance(p);
    return IP_3Coord(static_cast<float>(p.x - s * e.v[0]), static_cast<float>(p.y - s * e.v[1]),
                     static_cast<float>(p.z - s * e.v[2]));
}

// A rigid motion (turn about a random axis, then a shift) or, every third
// time, an affine one with a scaling and a mirror thrown in.
Mat random_motion(TestRandom& rng, int kind) {
    Mat m;
    const IP_3Coord axis(rng.Uniform(-1, 1), rng.Uniform(-1, 1), rng.Uniform(-1, 1) + 0.01f);
    IP_Mgenrot(m.m, rng.Uniform(-3.1f, 3.1f), axis);
    if (kind % 3 == 2) {
        Mat scale = vxrp_test::identity();
        scale.m[0][0] = rng.Uniform(0.5f, 2.0f);
        scale.m[1][1] = -rng.Uniform(0.5f, 2.0f);
        m = vxrp_test::product(m, scale);
    }
    IP_Mtranslate(m.m, rng.Uniform(-10, 10), rng.Uniform(-10, 10), rng.Uniform(-10, 10));
    return m;
}

IP_3Coord times(const IP_3Coord& p, const Mat& m) {
    IP_3Coord r;
    IP_vec3mlt(p, m.m, r);
    return r;
}

// The unit cube as six planes numbered 0..5, the way the box faces are laid
// out: each normal points out of the cube.
void add_unit_cube(IP_ClipManager& manager) {
    const float faces[6][4] = {{-1, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, -1, 0},
                               {1, 0, 0, 1},  {0, 1, 0, 1},  {0, 0, 1, 1}};
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(manager.NewClipPlane(i)->SetPlaneEq(faces[i]));
    }
}

std::vector<int> walk(IP_ClipManager& manager) {
    std::vector<int> numbers;
    manager.ResetIterator();
    while (IP_ClippingPlane* p = manager.GetNextPlane()) {
        numbers.push_back(p->GetNumber());
    }
    return numbers;
}

}  // namespace

TEST(IP_ClippingPlane, SetPlaneEqNormalisesAndRefusesPlanesThatAreNoPlanes) {
    IP_ClipManager manager;
    IP_ClippingPlane* plane = manager.NewClipPlane(1);
    ASSERT_TRUE(plane->SetPlaneEq(0.0f, 3.0f, 4.0f, 10.0f));
    const Eq e = eq_of(*plane);
    EXPECT_FLOAT_EQ(e.v[1], 0.6f);
    EXPECT_FLOAT_EQ(e.v[2], 0.8f);
    EXPECT_FLOAT_EQ(e.v[3], 2.0f);
    // The signed distance is the true distance once normalised.
    EXPECT_DOUBLE_EQ(plane->SignedDistance(IP_3Coord(0, 0, 0)), -2.0);

    const float refused[][4] = {
        {0, 0, 0, 1},                             // no normal
        {kNaN, 0, 1, 0},       {0, 0, 1, kNaN},   // NaN
        {kInf, 0, 0, 0},       {0, 1, 0, -kInf},  // infinity
        {1e-30f, 0, 0, 1e30f},                    // d beyond float range once normalised
    };
    for (const auto& r : refused) {
        const int before = manager.GetModificationCount();
        EXPECT_FALSE(plane->SetPlaneEq(r));
        const Eq after = eq_of(*plane);
        EXPECT_EQ(after.v[3], e.v[3]);
        EXPECT_EQ(after.v[2], e.v[2]);
        EXPECT_EQ(manager.GetModificationCount(), before);
    }
    EXPECT_FALSE(plane->SetPlaneEq(nullptr));
}

TEST(IP_ClippingPlane, FlipKeepsThePlaneAndSwapsTheKeptSide) {
    IP_ClipManager manager;
    IP_ClippingPlane* plane = manager.NewClipPlane(0);
    ASSERT_TRUE(plane->SetPlaneEq(1, 0, 0, 2));  // keeps x <= 2
    EXPECT_TRUE(plane->Keeps(IP_3Coord(1, 7, 7)));
    EXPECT_FALSE(plane->Keeps(IP_3Coord(3, 0, 0)));
    EXPECT_FALSE(plane->Keeps(IP_3Coord(kNaN, 0, 0)));
    EXPECT_TRUE(plane->Keeps(IP_3Coord(2.5f, 0, 0), 0.5));

    EXPECT_TRUE(manager.Flip(0));
    EXPECT_FALSE(plane->Keeps(IP_3Coord(1, 7, 7)));
    EXPECT_TRUE(plane->Keeps(IP_3Coord(3, 0, 0)));
    EXPECT_DOUBLE_EQ(plane->SignedDistance(IP_3Coord(2, 5, -5)), 0.0);
    EXPECT_FALSE(manager.Flip(9));
}

TEST(IP_ClippingPlane, TransformCarriesEveryPointOnThePlaneAndKeepsItsSides) {
    TestRandom rng(1501);
    for (int trial = 0; trial < 300; ++trial) {
        IP_ClipManager manager;
        IP_ClippingPlane* plane = random_plane(manager, 3, rng);
        const IP_ClippingPlane before = *plane;
        const Mat m = random_motion(rng, trial);
        const IP_3Coord on = point_on(before, rng);
        const IP_3Coord off(rng.Uniform(-5, 5), rng.Uniform(-5, 5), rng.Uniform(-5, 5));

        ASSERT_TRUE(manager.Transform(m.m, 3));
        EXPECT_NEAR(normal_length(eq_of(*plane)), 1.0, 1e-6);
        EXPECT_NEAR(plane->SignedDistance(times(on, m)), 0.0, 1e-4) << "trial " << trial;
        if (std::fabs(before.SignedDistance(off)) > 1e-2) {
            EXPECT_EQ(plane->Keeps(times(off, m)), before.Keeps(off)) << "trial " << trial;
        }
    }
}

TEST(IP_ClippingPlane, TransformByASingularOrMissingMatrixChangesNothing) {
    IP_ClipManager manager;
    IP_ClippingPlane* plane = manager.NewClipPlane(0);
    ASSERT_TRUE(plane->SetPlaneEq(0, 1, 0, 4));
    Mat flat = vxrp_test::identity();
    flat.m[1][1] = 0.0f;
    Mat poisoned = vxrp_test::identity();
    poisoned.m[3][0] = kNaN;
    const int before = manager.GetModificationCount();
    EXPECT_FALSE(manager.Transform(flat.m, 0));
    EXPECT_FALSE(manager.Transform(poisoned.m, 0));
    EXPECT_FALSE(manager.Transform(nullptr, 0));
    EXPECT_FALSE(manager.Transform(vxrp_test::identity().m, 1));
    EXPECT_EQ(eq_of(*plane).v[3], 4.0f);
    EXPECT_EQ(manager.GetModificationCount(), before);
}

TEST(IP_ClipManager, NewClipPlaneKeepsNumbersAndRefusesBeyondItsRoom) {
    IP_ClipManager manager;
    EXPECT_EQ(manager.NewClipPlane(-1), nullptr);
    IP_ClippingPlane* seven = manager.NewClipPlane(7);
    ASSERT_NE(seven, nullptr);
    EXPECT_EQ(seven->GetNumber(), 7);
    EXPECT_EQ(seven->GetSlabPartner(), -1);
    ASSERT_TRUE(seven->SetPlaneEq(1, 0, 0, 3));
    // Asking again gives the same plane, untouched.
    EXPECT_EQ(manager.NewClipPlane(7), seven);
    EXPECT_EQ(eq_of(*seven).v[3], 3.0f);
    EXPECT_EQ(manager.GetClipPlane(7), seven);
    EXPECT_EQ(manager.GetClipPlane(8), nullptr);

    for (int i = 100; manager.GetNPlanes() < kIP_MaxClipPlanes; ++i) {
        ASSERT_NE(manager.NewClipPlane(i), nullptr);
    }
    EXPECT_EQ(manager.NewClipPlane(1), nullptr);
    EXPECT_EQ(manager.NewClipPlane(7), seven);  // held ones are still answered
    EXPECT_TRUE(manager.FreeClipPlane(7));
    EXPECT_FALSE(manager.FreeClipPlane(7));
    EXPECT_NE(manager.NewClipPlane(1), nullptr);
}

TEST(IP_ClipManager, WalkGoesByAscendingNumberAndSurvivesFreeingAndAdding) {
    IP_ClipManager manager;
    for (int n : {5, 1, 9, 3}) {
        manager.NewClipPlane(n);
    }
    EXPECT_EQ(walk(manager), (std::vector<int>{1, 3, 5, 9}));

    std::vector<int> seen;
    manager.ResetIterator();
    while (IP_ClippingPlane* p = manager.GetNextPlane()) {
        seen.push_back(p->GetNumber());
        if (p->GetNumber() == 3) {
            manager.FreeClipPlane(3);  // the plane being visited
            manager.FreeClipPlane(5);  // one not reached yet
            manager.NewClipPlane(7);   // one added ahead of the walk
            manager.NewClipPlane(2);   // one added behind it
        }
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 3, 7, 9}));
    EXPECT_EQ(walk(manager), (std::vector<int>{1, 2, 7, 9}));
}

TEST(IP_ClipManager, SlabsLinkBothWaysAndFreeingOnePartnerFreesTheOther) {
    IP_ClipManager manager;
    for (int n = 0; n < 4; ++n) {
        manager.NewClipPlane(n);
    }
    EXPECT_FALSE(manager.SetSlab(0, 0));
    EXPECT_FALSE(manager.SetSlab(0, 8));
    ASSERT_TRUE(manager.SetSlab(0, 1));
    EXPECT_EQ(manager.GetClipPlane(0)->GetSlabPartner(), 1);
    EXPECT_EQ(manager.GetClipPlane(1)->GetSlabPartner(), 0);
    // Re-pairing 1 with 2 leaves 0 without partner.
    ASSERT_TRUE(manager.SetSlab(2, 1));
    EXPECT_FALSE(manager.GetClipPlane(0)->IsSlabPlane());
    EXPECT_EQ(manager.GetClipPlane(1)->GetSlabPartner(), 2);
    EXPECT_TRUE(manager.FreeClipPlane(2));
    EXPECT_FALSE(manager.GetClipPlane(1)->IsSlabPlane());
    ASSERT_TRUE(manager.SetSlab(1, 3));
    EXPECT_TRUE(manager.BreakSlab(3));
    EXPECT_FALSE(manager.GetClipPlane(1)->IsSlabPlane());
    EXPECT_FALSE(manager.BreakSlab(42));

    // A plane never becomes its own partner through assignment.
    ASSERT_TRUE(manager.SetSlab(0, 1));
    IP_ClippingPlane copy = *manager.GetClipPlane(0);
    *manager.GetClipPlane(1) = copy;
    EXPECT_EQ(manager.GetClipPlane(1)->GetSlabPartner(), -1);
}

TEST(IP_ClipManager, FreeAllClipPlaneRemovesTheKindItNames) {
    struct Case {
        IP_ClipManager::ClipTypeEn type;
        std::vector<int> left;
    };
    const Case cases[] = {
        {IP_ClipManager::CLIP_PLANES, {1, 2}},
        {IP_ClipManager::SLAB_PLANES, {0, 3}},
        {IP_ClipManager::ALL_PLANES, {}},
        {static_cast<IP_ClipManager::ClipTypeEn>(9), {0, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        IP_ClipManager manager;
        for (int n = 0; n < 4; ++n) {
            manager.NewClipPlane(n);
        }
        manager.SetSlab(1, 2);
        manager.FreeAllClipPlane(c.type);
        EXPECT_EQ(walk(manager), c.left) << c.type;
    }
}

TEST(IP_ClipManager, EveryChangeAdvancesTheModificationCountWhicheverWayItIsMade) {
    IP_ClipManager manager;
    int expected = manager.GetModificationCount();
    const auto changed = [&](const char* what) {
        ++expected;
        EXPECT_EQ(manager.GetModificationCount(), expected) << what;
    };
    IP_ClippingPlane* plane = manager.NewClipPlane(0);
    changed("new plane");
    manager.NewClipPlane(1);
    changed("second plane");
    plane->SetPlaneEq(1, 0, 0, 1);
    changed("equation through the plane pointer");
    plane->Flip();
    changed("flip through the plane pointer");
    manager.Transform(vxrp_test::identity().m, 0);
    changed("transform");
    *manager.GetClipPlane(1) = *plane;
    changed("plane assignment");
    manager.SetSlab(0, 1);
    changed("slab");
    manager.HideAllClipPlanes(true);
    changed("hide clip planes");
    manager.HideAllSlabPlanes(true);
    changed("hide slab planes");
    manager.FreeClipPlane(1);
    changed("free");
    manager.Modified();
    changed("by hand");

    // Lookups and walks change nothing.
    manager.GetClipPlane(0);
    walk(manager);
    manager.NewClipPlane(0);
    EXPECT_EQ(manager.GetModificationCount(), expected);
}

TEST(IP_ClipManager, CopiesAreDeepAndCarryPlanesFlagsAndCount) {
    IP_VolRClipManager source;
    ASSERT_TRUE(source.NewClipPlane(2)->SetPlaneEq(0, 0, 1, 5));
    source.NewClipPlane(4);
    source.SetSlab(2, 4);
    source.HideAllSlabPlanes(true);

    IP_VolRClipManager copy(source);
    IP_VolRClipManager assigned;
    assigned.NewClipPlane(9);
    assigned = source;
    for (IP_ClipManager* m :
         {static_cast<IP_ClipManager*>(&copy), static_cast<IP_ClipManager*>(&assigned)}) {
        EXPECT_EQ(walk(*m), (std::vector<int>{2, 4}));
        EXPECT_EQ(m->GetModificationCount(), source.GetModificationCount());
        EXPECT_TRUE(m->AreSlabPlanesHidden());
        EXPECT_FALSE(m->AreClipPlanesHidden());
        EXPECT_EQ(m->GetClipPlane(2)->GetSlabPartner(), 4);
        EXPECT_EQ(eq_of(*m->GetClipPlane(2)).v[3], 5.0f);
        EXPECT_NE(m->GetClipPlane(2), source.GetClipPlane(2));
        // A change through a copy's plane counts in the copy only.
        m->GetClipPlane(2)->Flip();
        EXPECT_EQ(m->GetModificationCount(), source.GetModificationCount() + 1);
        EXPECT_EQ(eq_of(*source.GetClipPlane(2)).v[3], 5.0f);
    }
    IP_ClipManager& self = assigned;
    self = assigned;
    EXPECT_EQ(walk(assigned), (std::vector<int>{2, 4}));
}

TEST(IP_ClipManager, TheRegionIsWhatEveryVisiblePlaneKeeps) {
    IP_ClipManager manager;
    add_unit_cube(manager);
    EXPECT_TRUE(manager.IsInside(IP_3Coord(0.5f, 0.5f, 0.5f)));
    EXPECT_TRUE(manager.IsInside(IP_3Coord(1, 1, 0)));  // the boundary belongs to it
    EXPECT_FALSE(manager.IsInside(IP_3Coord(1.1f, 0.5f, 0.5f)));
    EXPECT_TRUE(manager.IsInside(IP_3Coord(1.1f, 0.5f, 0.5f), 0.2));
    EXPECT_FALSE(manager.IsInside(IP_3Coord(0.5f, kNaN, 0.5f)));

    // A slab of the two planes z >= 0.25 and z <= 0.75.
    ASSERT_TRUE(manager.NewClipPlane(6)->SetPlaneEq(0, 0, -1, -0.25f));
    ASSERT_TRUE(manager.NewClipPlane(7)->SetPlaneEq(0, 0, 1, 0.75f));
    manager.SetSlab(6, 7);
    EXPECT_FALSE(manager.IsInside(IP_3Coord(0.5f, 0.5f, 0.9f)));
    manager.HideAllSlabPlanes(true);
    EXPECT_TRUE(manager.IsHidden(*manager.GetClipPlane(6)));
    EXPECT_FALSE(manager.IsHidden(*manager.GetClipPlane(0)));
    EXPECT_TRUE(manager.IsInside(IP_3Coord(0.5f, 0.5f, 0.9f)));
    manager.HideAllClipPlanes(true);
    EXPECT_TRUE(manager.IsInside(IP_3Coord(40, -3, 0.9f)));  // nothing clips

    // A ray along x through the cube enters at 0 and leaves at 1.
    manager.HideAllClipPlanes(false);
    double tmin = -std::numeric_limits<double>::infinity();
    double tmax = std::numeric_limits<double>::infinity();
    ASSERT_TRUE(manager.ClipLine(IP_3Coord(-2, 0.5f, 0.5f), IP_3Coord(1, 0, 0), tmin, tmax));
    EXPECT_DOUBLE_EQ(tmin, 2.0);
    EXPECT_DOUBLE_EQ(tmax, 3.0);
    // Parallel to a face and outside it: nothing.
    tmin = 0.0;
    tmax = 10.0;
    EXPECT_FALSE(manager.ClipLine(IP_3Coord(-2, 2, 0.5f), IP_3Coord(1, 0, 0), tmin, tmax));
    tmin = 0.0;
    tmax = 10.0;
    EXPECT_FALSE(manager.ClipLine(IP_3Coord(-2, 0.5f, 0.5f), IP_3Coord(kNaN, 0, 0), tmin, tmax));
}

TEST(IP_ClipManager, ClipLineAgreesWithThePointTestOverGeneratedPlanes) {
    TestRandom rng(1502);
    for (int trial = 0; trial < 200; ++trial) {
        IP_ClipManager manager;
        const int planes = rng.Int(0, 6);
        for (int i = 0; i < planes; ++i) {
            random_plane(manager, i, rng);
        }
        if (planes > 1 && rng.Chance(30)) {
            manager.SetSlab(0, 1);
            manager.HideAllSlabPlanes(true);
        }
        const IP_3Coord from(rng.Uniform(-3, 3), rng.Uniform(-3, 3), rng.Uniform(-3, 3));
        const IP_3Coord dir(rng.Uniform(-3, 3), rng.Uniform(-3, 3), rng.Uniform(-3, 3));
        double tmin = 0.0;
        double tmax = 1.0;
        const bool any = manager.ClipLine(from, dir, tmin, tmax);
        const auto at = [&](double t) {
            return IP_3Coord(static_cast<float>(from.x + t * dir.x),
                             static_cast<float>(from.y + t * dir.y),
                             static_cast<float>(from.z + t * dir.z));
        };
        for (int k = 0; k <= 100; ++k) {
            const double t = k / 100.0;
            const bool inside = any && t >= tmin && t <= tmax;
            // Away from the ends, where rounding decides, both tests agree.
            const bool clear = !any || (std::fabs(t - tmin) > 1e-4 && std::fabs(t - tmax) > 1e-4);
            if (clear) {
                EXPECT_EQ(manager.IsInside(at(t), inside ? 1e-5 : -1e-5), inside)
                    << "trial " << trial << " t " << t;
            }
        }
        if (any) {
            EXPECT_TRUE(manager.IsInside(at(tmin), 1e-4));
            EXPECT_TRUE(manager.IsInside(at(tmax), 1e-4));
        }
    }
}
