#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "IP/IP_ClipManager.h"
#include "IP/IP_Matrix.h"
#include "params/VXR_ClippingParams.h"
#include "support/AllocationFailure.h"
#include "support/LogExpectations.h"
#include "support/MatrixTestUtils.h"
#include "support/TestRandom.h"

namespace {

using Clip = VXR_ClippingParams;
using vxrp_test::TestRandom;

constexpr double kDegrees = 180.0 / std::numbers::pi;

struct Plane {
    double n[3];
    double d;
};

void set_plane(Clip& params, int number, float a, float b, float c, float d) {
    IP_ClippingPlane* plane = params.GetClipManager()->NewClipPlane(number);
    ASSERT_NE(plane, nullptr);
    ASSERT_TRUE(plane->SetPlaneEq(a, b, c, d));
}

Plane plane_of(UTL_BaseParams* params, int number) {
    auto* clip = dynamic_cast<Clip*>(params);
    EXPECT_NE(clip, nullptr);
    const IP_ClippingPlane* plane = clip != nullptr ? clip->GetClipPlane(number) : nullptr;
    EXPECT_NE(plane, nullptr) << "plane " << number;
    float eq[4] = {0, 0, 0, 0};
    if (plane != nullptr) {
        plane->GetPlaneEq(eq);
    }
    return Plane{{eq[0], eq[1], eq[2]}, eq[3]};
}

double dot(const Plane& p, const Plane& q) {
    return p.n[0] * q.n[0] + p.n[1] * q.n[1] + p.n[2] * q.n[2];
}

double degrees_between(const Plane& p, const Plane& q) {
    return std::acos(std::fmax(-1.0, std::fmin(1.0, dot(p, q)))) * kDegrees;
}

double normal_length(const Plane& p) {
    return std::sqrt(dot(p, p));
}

// The plane (0, 0, 1, d) turned by `degrees` about x (right-handed, row
// vectors: z turns toward -y).
void set_turned_plane(Clip& params, int number, double degrees, float d) {
    const double r = degrees / kDegrees;
    set_plane(params, number, 0.0f, static_cast<float>(-std::sin(r)),
              static_cast<float>(std::cos(r)), d);
}

void release(UTL_BaseParams** frames, int from, int to) {
    for (int i = from; i <= to; ++i) {
        delete frames[i];
        frames[i] = nullptr;
    }
}

}  // namespace

TEST(VXR_ClippingParams, NewObjectIsRegisteredWithAnEmptyManager) {
    Clip params;
    EXPECT_EQ(params.GetName(), "VXR_ClippingParams");
    ASSERT_NE(params.GetClipManager(), nullptr);
    EXPECT_EQ(params.GetNumberClipPlanes(), 0);
    EXPECT_EQ(params.GetCounter(), 0);
}

TEST(VXR_ClippingParams, EveryWrapperCountsOneChangeAndDirectEditsCountNone) {
    float shift[4][4];
    IP_Midnt(shift);
    IP_Mtranslate(shift, 0.0f, 0.0f, 2.0f);
    struct Case {
        const char* name;
        std::function<void(Clip&)> call;
    };
    const Case cases[] = {
        {"HideClipping", [](Clip& c) { c.HideClipping(true); }},
        {"HideSlab", [](Clip& c) { c.HideSlab(true); }},
        {"Reset", [](Clip& c) { c.Reset(IP_ClipManager::ALL_PLANES); }},
        {"FlipClip", [](Clip& c) { c.FlipClip(1); }},
        {"FlipClip unknown", [](Clip& c) { c.FlipClip(99); }},
        {"Transform", [&](Clip& c) { c.Transform(shift, 1); }},
        {"NewClipPlane", [](Clip& c) { c.NewClipPlane(5); }},
        {"NewClipPlane held", [](Clip& c) { c.NewClipPlane(1); }},
        {"NewClipPlane negative", [](Clip& c) { c.NewClipPlane(-3); }},
    };
    for (const Case& c : cases) {
        Clip params;
        set_plane(params, 1, 0, 0, 1, 1);
        const int before = params.GetCounter();
        const int modifications = params.GetClipManager()->GetModificationCount();
        c.call(params);
        EXPECT_EQ(params.GetCounter(), before + 1) << c.name;
        EXPECT_GE(params.GetClipManager()->GetModificationCount(), modifications) << c.name;
    }

    Clip params;
    set_plane(params, 1, 0, 0, 1, 1);
    params.Transform(shift, 1);
    EXPECT_DOUBLE_EQ(plane_of(&params, 1).d, 3.0);
    params.FlipClip(1);
    EXPECT_DOUBLE_EQ(plane_of(&params, 1).d, -3.0);
    EXPECT_EQ(params.GetNumberClipPlanes(), 1);
    EXPECT_EQ(params.GetClipPlane(2), nullptr);
    // Edits through the manager or its planes leave the counter alone.
    const int before = params.GetCounter();
    params.GetClipManager()->GetClipPlane(1)->Flip();
    params.GetClipManager()->NewClipPlane(4);
    params.GetClipPlane(4);
    params.GetNumberClipPlanes();
    EXPECT_EQ(params.GetCounter(), before);
}

TEST(VXR_ClippingParams, CopiesNeverShareAManager) {
    Clip live;
    set_plane(live, 2, 1, 0, 0, 4);
    ++live;
    std::unique_ptr<UTL_BaseParams> clone(live.Clone());
    auto* copy = dynamic_cast<Clip*>(clone.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetCounter(), live.GetCounter());
    EXPECT_NE(copy->GetClipManager(), live.GetClipManager());
    EXPECT_EQ(copy->GetClipManager()->GetModificationCount(),
              live.GetClipManager()->GetModificationCount());
    copy->FlipClip(2);
    EXPECT_DOUBLE_EQ(plane_of(&live, 2).d, 4.0);

    Clip typed;
    set_plane(typed, 8, 0, 1, 0, 1);
    typed = live;
    Clip virtualTarget;
    static_cast<UTL_BaseParams&>(virtualTarget) = static_cast<const UTL_BaseParams&>(live);
    for (Clip* target : {&typed, &virtualTarget}) {
        EXPECT_NE(target->GetClipManager(), live.GetClipManager());
        EXPECT_EQ(target->GetNumberClipPlanes(), 1);
        EXPECT_DOUBLE_EQ(plane_of(target, 2).d, 4.0);
        EXPECT_EQ(target->GetCounter(), live.GetCounter());
        EXPECT_EQ(target->GetName(), "VXR_ClippingParams");
    }
    typed = typed;
    EXPECT_EQ(typed.GetNumberClipPlanes(), 1);
}

TEST(VXR_ClippingParams, SetDataTakesThePlanesAndCountsInBothCounters) {
    Clip source;
    set_plane(source, 3, 0, 0, 1, 2);
    Clip target;
    const int counter = target.GetCounter();
    target.SetData(source);
    EXPECT_EQ(target.GetCounter(), counter + 1);
    EXPECT_EQ(target.GetClipManager()->GetModificationCount(),
              source.GetClipManager()->GetModificationCount() + 1);
    EXPECT_DOUBLE_EQ(plane_of(&target, 3).d, 2.0);
}

TEST(VXR_ClippingParams, FreezeTakesTheSourcePlanesOnlyWhenTheirCountsDiffer) {
    Clip live;
    set_plane(live, 1, 1, 0, 0, 1);
    std::unique_ptr<UTL_BaseParams> clone(live.Clone());
    auto* copy = dynamic_cast<Clip*>(clone.get());
    copy->SetSource(&live);

    // The same number of edits on each side: the counts agree, the copy keeps
    // its own planes but adopts the counter.
    live.GetClipManager()->GetClipPlane(1)->SetPlaneEq(1, 0, 0, 5);
    copy->GetClipManager()->GetClipPlane(1)->SetPlaneEq(1, 0, 0, 7);
    ++live;
    copy->Freeze();
    EXPECT_EQ(vxrp_test::TakeLogTexts(), (std::vector<std::string>{"freeze vol data  \n"}));
    EXPECT_DOUBLE_EQ(plane_of(copy, 1).d, 7.0);
    EXPECT_EQ(copy->GetCounter(), live.GetCounter());

    live.NewClipPlane(6);
    copy->Freeze();
    EXPECT_EQ(vxrp_test::TakeLogTexts(), (std::vector<std::string>{"freeze vol data  \n"}));
    EXPECT_DOUBLE_EQ(plane_of(copy, 1).d, 5.0);
    EXPECT_EQ(copy->GetNumberClipPlanes(), 2);
    EXPECT_EQ(copy->GetCounter(), live.GetCounter());

    Clip alone;
    alone.Freeze();
    alone.Defrost();
    EXPECT_EQ(vxrp_test::TakeLogTexts(),
              (std::vector<std::string>{"freeze vol data  \n", "defrost vol data \n"}));
}

TEST(VXR_ClippingParams, IsChangedComparesOrientationAndPositionWithinTolerances) {
    struct Case {
        const char* name;
        float mine;  // this object holds plane 0: z = mine
        float other[4];
        bool changed;
    };
    const float s2 = std::sin(2.0f / 57.2958f);
    const float c2 = std::cos(2.0f / 57.2958f);
    const float s3 = std::sin(3.0f / 57.2958f);
    const float c3 = std::cos(3.0f / 57.2958f);
    const Case cases[] = {
        {"same", 1, {0, 0, 1, 1}, false},
        {"negated", 1, {0, 0, -1, -1}, false},
        {"moved 0.03 along the normal", 1, {0, 0, 1, 1.03f}, false},
        {"moved 0.04 along the normal", 1, {0, 0, 1, 1.04f}, true},
        {"turned 2 degrees about the origin", 0, {0, s2, c2, 0}, false},
        {"turned 3 degrees about the origin", 0, {0, s3, c3, 0}, true},
        // 2 degrees at distance 1 moves the nearest point by 0.035.
        {"turned 2 degrees at distance 1", 1, {0, s2, c2, 1}, true},
        {"negated and moved", 1, {0, 0, -1, -1.1f}, true},
        {"at right angles", 1, {1, 0, 0, 1}, true},
    };
    for (const Case& c : cases) {
        Clip mine;
        set_plane(mine, 0, 0, 0, 1, c.mine);
        Clip other;
        set_plane(other, 0, c.other[0], c.other[1], c.other[2], c.other[3]);
        const int counter = mine.GetCounter();
        EXPECT_EQ(mine.IsChanged(&other), c.changed) << c.name;
        EXPECT_EQ(mine.GetCounter(), counter) << c.name;
    }
    Clip mine;
    EXPECT_FALSE(mine.IsChanged(nullptr));
}

TEST(VXR_ClippingParams, IsChangedBringsThePlaneNumbersIntoLine) {
    Clip mine;
    set_plane(mine, 1, 1, 0, 0, 1);
    set_plane(mine, 3, 0, 1, 0, 1);
    Clip other;
    set_plane(other, 1, 1, 0, 0, 1);
    set_plane(other, 7, 0, 0, -1, 2);
    other.GetClipManager()->NewClipPlane(8);
    other.GetClipManager()->SetSlab(7, 8);

    EXPECT_FALSE(mine.IsChanged(&other));
    EXPECT_EQ(mine.GetClipPlane(3), nullptr);
    ASSERT_NE(mine.GetClipPlane(7), nullptr);
    EXPECT_DOUBLE_EQ(plane_of(&mine, 7).d, 2.0);
    EXPECT_EQ(mine.GetClipPlane(7)->GetSlabPartner(), 8);
    EXPECT_EQ(mine.GetNumberClipPlanes(), 3);
    // Now the sets agree, and a moved common plane is a change.
    other.GetClipPlane(1)->SetPlaneEq(1, 0, 0, 2);
    EXPECT_TRUE(mine.IsChanged(&other));
    EXPECT_DOUBLE_EQ(plane_of(&mine, 1).d, 1.0);  // common planes are never copied
}

TEST(VXR_ClippingParams, InterpolateTurnsAPlaneThroughTheOriginInEqualSteps) {
    Clip first;
    set_turned_plane(first, 4, 0.0, 0.0f);
    Clip last;
    set_turned_plane(last, 4, 40.0, 0.0f);
    UTL_BaseParams* frames[5] = {&first, nullptr, nullptr, nullptr, &last};
    ASSERT_TRUE(first.Interpolate(frames, 5, nullptr));
    for (int i = 1; i <= 3; ++i) {
        const Plane p = plane_of(frames[i], 4);
        EXPECT_NEAR(degrees_between(plane_of(&first, 4), p), 10.0 * i, 1e-3) << i;
        EXPECT_NEAR(degrees_between(p, plane_of(&last, 4)), 40.0 - 10.0 * i, 1e-3) << i;
        EXPECT_NEAR(p.d, 0.0, 1e-6);
        EXPECT_EQ(frames[i]->GetCounter(), first.GetCounter() + i);
    }
    release(frames, 1, 3);
}

TEST(VXR_ClippingParams, InterpolateMovesOnlyWhenOneStepExceedsTheThreshold) {
    struct Case {
        float move;
        int n;
        bool answer;
        int made;
    };
    const Case cases[] = {
        {0.3f, 11, false, 0},  // steps of 0.03: below the threshold
        {0.3f, 6, true, 4},    // steps of 0.06
        {0.3f, 2, true, 0},    // one step: nothing to make
        {0.0f, 5, false, 0},   // the same planes
    };
    for (const Case& c : cases) {
        Clip first;
        set_plane(first, 0, 0, 1, 0, 1);
        Clip last;
        set_plane(last, 0, 0, 1, 0, 1 + c.move);
        UTL_BaseParams* marker = &last;
        std::vector<UTL_BaseParams*> frames(static_cast<std::size_t>(c.n), marker);
        frames.front() = &first;
        EXPECT_EQ(first.Interpolate(frames.data(), c.n, nullptr), c.answer) << c.n;
        for (int i = 1; i <= c.made; ++i) {
            EXPECT_NEAR(plane_of(frames[std::size_t(i)], 0).d, 1.0 + double(c.move) * i / (c.n - 1),
                        1e-6);
        }
        for (int i = c.made + 1; i < c.n; ++i) {
            EXPECT_EQ(frames[std::size_t(i)], marker);
        }
        release(frames.data(), 1, c.made);
    }
}

TEST(VXR_ClippingParams, InterpolateStepsTheDistanceEvenlyWhileAnOffsetPlaneTurns) {
    struct Case {
        float fromDistance;
        double degrees;
        float toDistance;
        int n;
    };
    const Case cases[] = {
        // 50 mm from the centre, turned by 90 degrees over ten steps: every
        // frame stays 50 mm away instead of cutting in on the chord.
        {50.0f, 90.0, 50.0f, 11},
        {10.0f, 30.0, 20.0f, 4},
        // Nearly the same plane flipped: the chord step (0.029) is below the
        // threshold, yet the plane must cross the origin to arrive.
        {5.0f, 176.0, -5.0f, 13},
    };
    for (const Case& c : cases) {
        Clip first;
        set_turned_plane(first, 0, 0.0, c.fromDistance);
        Clip last;
        set_turned_plane(last, 0, c.degrees, c.toDistance);
        std::vector<UTL_BaseParams*> frames(static_cast<std::size_t>(c.n), nullptr);
        frames.front() = &first;
        frames.back() = &last;
        ASSERT_TRUE(first.Interpolate(frames.data(), c.n, nullptr)) << c.degrees;
        const int s = c.n - 1;
        for (int i = 1; i < s; ++i) {
            const Plane p = plane_of(frames[std::size_t(i)], 0);
            EXPECT_NEAR(p.d, c.fromDistance + double(c.toDistance - c.fromDistance) * i / s, 1e-4)
                << c.degrees << " frame " << i;
            EXPECT_NEAR(degrees_between(plane_of(&first, 0), p), c.degrees * i / s, 1e-3)
                << c.degrees << " frame " << i;
        }
        release(frames.data(), 1, s - 1);
    }
}

TEST(VXR_ClippingParams, InterpolatedFramesStepEvenlyToTheLastKeyFrameOverGeneratedPlanes) {
    TestRandom rng(1503);
    int movies = 0;
    for (int trial = 0; trial < 150; ++trial) {
        Clip first;
        Clip last;
        const int planes = rng.Int(1, 3);
        for (int k = 0; k < planes; ++k) {
            float a[4];
            float b[4];
            for (float* eq : {a, b}) {
                for (int j = 0; j < 3; ++j) {
                    eq[j] = rng.Uniform(-1, 1);
                }
                eq[3] = rng.Uniform(-60, 60);
            }
            if (std::fabs(a[0]) + std::fabs(a[1]) + std::fabs(a[2]) < 0.1f ||
                std::fabs(b[0]) + std::fabs(b[1]) + std::fabs(b[2]) < 0.1f) {
                continue;
            }
            set_plane(first, k, a[0], a[1], a[2], a[3]);
            set_plane(last, k, b[0], b[1], b[2], b[3]);
        }
        const int n = rng.Int(3, 12);
        std::vector<UTL_BaseParams*> frames(static_cast<std::size_t>(n), nullptr);
        frames.front() = &first;
        frames.back() = &last;
        if (!first.Interpolate(frames.data(), n, nullptr)) {
            continue;
        }
        ++movies;
        const int s = n - 1;
        for (int k = 0; k < planes; ++k) {
            if (first.GetClipPlane(k) == nullptr) {
                continue;
            }
            const Plane p1 = plane_of(&first, k);
            const Plane p2 = plane_of(&last, k);
            // Whether this plane turns is decided as the comparison decides.
            const bool turns = std::fabs(dot(p1, p2)) < 0.999;
            const double total = turns ? degrees_between(p1, p2) : 0.0;
            for (int i = 1; i < s; ++i) {
                const Plane p = plane_of(frames[std::size_t(i)], k);
                EXPECT_NEAR(normal_length(p), 1.0, 1e-6);
                EXPECT_TRUE(std::isfinite(p.d));
                // Frame i is i steps along, and s - i steps short of the end.
                EXPECT_NEAR(degrees_between(p1, p), total * i / s, 0.02) << trial;
                if (turns) {
                    EXPECT_NEAR(degrees_between(p, p2), total * (s - i) / s, 0.02) << trial;
                }
                const Plane prev = plane_of(frames[std::size_t(i - 1)], k);
                EXPECT_NEAR(degrees_between(prev, p), total / s, 0.02) << trial;
                EXPECT_NEAR(p.d - prev.d, (p.d - p1.d) / i, 1e-3) << trial;
            }
            // A plane that moves at all reaches the last key frame one step
            // past the last made frame.
            double chord2 = 0.0;
            for (int j = 0; j < 3; ++j) {
                const double step = (p2.d * p2.n[j] - p1.d * p1.n[j]) / s;
                chord2 += step * step;
            }
            if (turns || chord2 > 0.0011) {
                const Plane end = plane_of(frames[std::size_t(s - 1)], k);
                const double step = (end.d - p1.d) / (s - 1);
                const double endDistance = turns ? p2.d : p2.d * dot(p1, p2);
                EXPECT_NEAR(end.d + step, endDistance, 1e-3) << trial;
                if (turns) {
                    EXPECT_NEAR(degrees_between(end, p2), total / s, 0.02) << trial;
                }
            }
        }
        release(frames.data(), 1, s - 1);
    }
    EXPECT_GT(movies, 100);
}

TEST(VXR_ClippingParams, InterpolateRefusesBadInputWithoutTouchingTheSlots) {
    Clip first;
    set_plane(first, 0, 1, 0, 0, 0);
    Clip last;
    set_plane(last, 0, 0, 1, 0, 0);
    Clip empty;
    Clip otherNumbers;
    set_plane(otherNumbers, 5, 0, 1, 0, 0);
    Clip antiparallel;
    set_plane(antiparallel, 0, -1, 0, 0, 0);
    UTL_BaseParams foreign;
    UTL_BaseParams* marker = &empty;

    struct Case {
        const char* name;
        Clip* self;
        UTL_BaseParams* key0;
        UTL_BaseParams* key1;
        int n;
    };
    const Case cases[] = {
        {"n = 1", &first, &first, &last, 1},
        {"n = 0", &first, &first, &last, 0},
        {"null last", &first, &first, nullptr, 4},
        {"null first", &first, nullptr, &last, 4},
        {"foreign last", &first, &first, &foreign, 4},
        {"foreign first", &first, &foreign, &last, 4},
        {"no planes here", &empty, &empty, &last, 4},
        {"no common plane", &first, &first, &otherNumbers, 4},
        {"same plane facing the other way", &first, &first, &antiparallel, 4},
    };
    for (const Case& c : cases) {
        UTL_BaseParams* frames[4] = {c.key0, marker, marker, c.key1};
        EXPECT_FALSE(c.self->Interpolate(frames, c.n, nullptr)) << c.name;
        EXPECT_EQ(frames[1], marker) << c.name;
        EXPECT_EQ(frames[2], marker) << c.name;
    }
    EXPECT_FALSE(first.Interpolate(nullptr, 4, nullptr));
}

TEST(VXR_ClippingParams, RunningOutOfMemoryGivesNoCloneNoFramesAndASafeEmptyObject) {
    Clip live;
    set_plane(live, 0, 1, 0, 0, 0);
    // The object itself, then its manager.
    for (int succeeding = 0; succeeding < 2; ++succeeding) {
        vxrp_test::NothrowNewFailure failing(succeeding);
        EXPECT_EQ(live.Clone(), nullptr) << succeeding;
    }

    Clip last;
    set_plane(last, 0, 0, 1, 0, 0);
    UTL_BaseParams* marker = &last;
    // The list of new frames, then two allocations per frame.
    for (int succeeding = 0; succeeding < 5; ++succeeding) {
        UTL_BaseParams* frames[4] = {&live, marker, marker, &last};
        {
            vxrp_test::NothrowNewFailure failing(succeeding);
            EXPECT_FALSE(live.Interpolate(frames, 4, nullptr)) << succeeding;
        }
        EXPECT_EQ(frames[1], marker);
        EXPECT_EQ(frames[2], marker);
    }

    // A default object whose manager could not be made.
    std::unique_ptr<Clip> bare;
    {
        vxrp_test::NothrowNewFailure failing;
        bare = std::make_unique<Clip>();
    }
    ASSERT_EQ(bare->GetClipManager(), nullptr);
    bare->HideClipping(true);
    bare->HideSlab(true);
    bare->Reset(IP_ClipManager::ALL_PLANES);
    bare->FlipClip(0);
    float m[4][4];
    IP_Midnt(m);
    bare->Transform(m, 0);
    EXPECT_EQ(bare->NewClipPlane(0), nullptr);
    EXPECT_EQ(bare->GetCounter(), 6);
    EXPECT_EQ(bare->GetClipPlane(0), nullptr);
    EXPECT_EQ(bare->GetNumberClipPlanes(), 0);
    EXPECT_FALSE(bare->IsChanged(&live));
    EXPECT_FALSE(live.IsChanged(bare.get()));
    EXPECT_EQ(live.GetNumberClipPlanes(), 1);
    UTL_BaseParams* frames[3] = {bare.get(), nullptr, &live};
    EXPECT_FALSE(bare->Interpolate(frames, 3, nullptr));
    *bare = live;
    bare->SetData(live);
    EXPECT_EQ(bare->GetClipManager(), nullptr);
    std::unique_ptr<UTL_BaseParams> copy(bare->Clone());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(dynamic_cast<Clip*>(copy.get())->GetClipManager(), nullptr);
}
