#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "IP/IP_Matrix.h"
#include "VXR_RotationParams.h"
#include "log/Tmr_LogFile.h"
#include "support/AllocationFailure.h"
#include "support/LogExpectations.h"
#include "support/MatrixTestUtils.h"

namespace {

using vxrp_test::identity;
using vxrp_test::Mat;
using vxrp_test::max_difference;
using vxrp_test::product;

using Rot = VXR_RotationParams;

Mat matrix_of(const Rot& r) {
    Mat out;
    r.GetRotation(out.m);
    return out;
}

Mat matrix_of(UTL_BaseParams* p) {
    auto* r = dynamic_cast<Rot*>(p);
    EXPECT_NE(r, nullptr);
    return r != nullptr ? matrix_of(*r) : Mat{};
}

// A 3x3 orientation as rows, embedded in a 4x4 matrix.
Mat rows(std::initializer_list<std::initializer_list<float>> values) {
    Mat r = identity();
    int i = 0;
    for (const auto& row : values) {
        int j = 0;
        for (float v : row)
            r.m[i][j++] = v;
        ++i;
    }
    return r;
}

Mat turn(float degrees, char axis) {
    Mat r;
    IP_Mrotmat(r.m, degrees * std::numbers::pi_v<float> / 180.0f, axis);
    return r;
}

Mat inverse(const Mat& a) {
    Mat r;
    EXPECT_TRUE(IP_Minv(a.m, r.m));
    return r;
}

bool bitwise_equal(const Mat& a, const Mat& b) {
    return std::memcmp(a.m, b.m, sizeof a.m) == 0;
}

// Turning angle of a rotation matrix, in degrees.
double angle_of(const Mat& r) {
    const double c = (double(r.m[0][0]) + r.m[1][1] + r.m[2][2] - 1.0) * 0.5;
    return std::acos(std::fmax(-1.0, std::fmin(1.0, c))) * 180.0 / std::numbers::pi;
}

// The six views, written out as the axes they bring where (row vectors).
const Mat kAxialInferior = identity();
const Mat kAxialSuperior = rows({{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}});
const Mat kCoronalAnterior = rows({{1, 0, 0}, {0, 0, 1}, {0, -1, 0}});
const Mat kCoronalPosterior = rows({{-1, 0, 0}, {0, 0, -1}, {0, -1, 0}});
const Mat kSagittalLeft = rows({{0, 0, -1}, {1, 0, 0}, {0, -1, 0}});
const Mat kSagittalRight = rows({{0, 0, 1}, {-1, 0, 0}, {0, -1, 0}});

constexpr double kViewTolerance = 1e-6;

// Gives tests the protected counting turn.
class RotatingParams : public VXR_RotationParams {
  public:
    using VXR_RotationParams::operator=;
    using VXR_RotationParams::rotate;
};

}  // namespace

TEST(VXR_RotationParams, NewObjectIsRegisteredAndShowsTheCoronalAnteriorView) {
    Rot r;
    EXPECT_EQ(r.GetName(), "VXR_RotationParams");
    EXPECT_EQ(r.GetDefaultOrientation(), Rot::CoronalAnterior);
    // The identity swivelled by 90 degrees about x, bit for bit.
    Mat swivelled;
    IP_Mrotmat(swivelled.m, 90.0f * 0.017453292f, 'x');
    EXPECT_TRUE(bitwise_equal(matrix_of(r), swivelled));
    EXPECT_LT(max_difference(matrix_of(r), kCoronalAnterior), kViewTolerance);
    // Identity (+1), then the preset's swivel (+1).
    EXPECT_EQ(r.GetCounter(), 2);
}

TEST(VXR_RotationParams, SixPresetsShowTheirViews) {
    struct Case {
        void (Rot::*reset)();
        Rot::Orientation orientation;
        const Mat* view;
        int changes;
    };
    const Case cases[] = {
        {&Rot::ResetAxialInferior, Rot::AxialInferior, &kAxialInferior, 1},
        {&Rot::ResetAxialSuperior, Rot::AxialSuperior, &kAxialSuperior, 1},
        {&Rot::ResetCoronalAnterior, Rot::CoronalAnterior, &kCoronalAnterior, 1},
        {&Rot::ResetCoronalPosterior, Rot::CoronalPosterior, &kCoronalPosterior, 2},
        {&Rot::ResetSagittalLeft, Rot::SagittalLeft, &kSagittalLeft, 1},
        {&Rot::ResetSagittalRight, Rot::SagittalRight, &kSagittalRight, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.orientation);
        Rot r;
        r.SwivelVert(33.0f);  // the presets start from the identity, not from here
        const int before = r.GetCounter();
        (r.*c.reset)();
        EXPECT_LT(max_difference(matrix_of(r), *c.view), kViewTolerance);
        EXPECT_EQ(r.GetCounter() - before, c.changes);

        // ResetOrientation gives the same view with one change more.
        Rot viaDefault;
        viaDefault.SetDefaultOrientation(c.orientation);
        viaDefault.SwivelHoriz(10.0f);
        const int start = viaDefault.GetCounter();
        viaDefault.ResetOrientation();
        EXPECT_TRUE(bitwise_equal(matrix_of(viaDefault), matrix_of(r)));
        EXPECT_EQ(viaDefault.GetCounter() - start, c.changes + 1);

        // Reset adds one more still.
        viaDefault.Reset();
        EXPECT_TRUE(bitwise_equal(matrix_of(viaDefault), matrix_of(r)));
        EXPECT_EQ(viaDefault.GetCounter() - start, 2 * (c.changes + 1) + 1);
    }
}

TEST(VXR_RotationParams, ResetOrientationOutsideTheSixViewsLeavesTheIdentity) {
    for (int value : {6, -1, 1000}) {
        Rot r;
        r.SetDefaultOrientation(static_cast<Rot::Orientation>(value));
        EXPECT_EQ(r.GetDefaultOrientation(), value);
        const int before = r.GetCounter();
        r.ResetOrientation();
        EXPECT_TRUE(bitwise_equal(matrix_of(r), identity())) << value;
        EXPECT_EQ(r.GetCounter() - before, 1) << value;
    }
}

TEST(VXR_RotationParams, SetDefaultOrientationTouchesNeitherMatrixNorCounter) {
    Rot r;
    const Mat before = matrix_of(r);
    r.SetDefaultOrientation(Rot::SagittalRight);
    EXPECT_TRUE(bitwise_equal(matrix_of(r), before));
    EXPECT_EQ(r.GetCounter(), 2);
    r.ResetOrientation();
    EXPECT_LT(max_difference(matrix_of(r), kSagittalRight), kViewTolerance);
}

TEST(VXR_RotationParams, TurnsUseTheFloatDegreeFactorAndActAfterTheCurrentMatrix) {
    // Every whole and half degree: an implementation converting in double, or
    // with pi/180 spelt differently, differs from this in some of them.
    for (int half = -720; half <= 720; ++half) {
        const float degrees = static_cast<float>(half) * 0.5f;  // exact: |half| <= 720
        struct Case {
            void (Rot::*turn)(float);
            char axis;
        };
        for (const Case& c :
             {Case{&Rot::Roll, 'z'}, Case{&Rot::SwivelHoriz, 'y'}, Case{&Rot::SwivelVert, 'x'}}) {
            Rot r;
            const Mat start = matrix_of(r);
            (r.*c.turn)(degrees);
            Mat expected;
            IP_Mrotmat(expected.m, degrees * 0.017453292f, c.axis);
            expected = product(start, expected);
            ASSERT_TRUE(bitwise_equal(matrix_of(r), expected)) << degrees << " " << c.axis;
        }
    }
    // The turn acts after the current orientation: from the coronal anterior
    // view, a roll of 90 moves the image of x (row 0) to y.
    Rot r;
    r.Roll(90.0f);
    EXPECT_LT(max_difference(matrix_of(r), product(kCoronalAnterior, turn(90, 'z'))), 1e-6);
    EXPECT_NEAR(matrix_of(r).m[0][1], 1.0f, 1e-6f);
}

TEST(VXR_RotationParams, RollKeepsTheCounterWhileSwivelsFlipAndRotateAdvanceIt) {
    RotatingParams r;
    const int start = r.GetCounter();
    const Mat before = matrix_of(r);

    r.Roll(30.0f);
    EXPECT_GT(max_difference(matrix_of(r), before), 0.1);
    EXPECT_EQ(r.GetCounter(), start);
    const Mat quarter = turn(90, 'x');
    r.Roll(quarter.m);
    EXPECT_EQ(r.GetCounter(), start);

    r.SwivelHoriz(30.0f);
    EXPECT_EQ(r.GetCounter(), start + 1);
    r.SwivelVert(-15.0f);
    EXPECT_EQ(r.GetCounter(), start + 2);
    r.FlipView();
    EXPECT_EQ(r.GetCounter(), start + 3);
    r.rotate(quarter.m);
    EXPECT_EQ(r.GetCounter(), start + 4);

    // Reading and comparing change nothing.
    Mat out;
    r.GetRotation(out.m);
    Rot other;
    r.IsChanged(&other);
    EXPECT_EQ(r.GetCounter(), start + 4);
    EXPECT_EQ(other.GetCounter(), 2);
}

TEST(VXR_RotationParams, RollAndRotateWithAMatrixMultiplyOnTheRight) {
    RotatingParams r;
    Mat shift = identity();
    IP_Mtranslate(shift.m, 1.0f, 2.0f, 3.0f);
    r.Roll(shift.m);
    EXPECT_LT(max_difference(matrix_of(r), product(kCoronalAnterior, shift)), 1e-6);
    EXPECT_EQ(matrix_of(r).m[3][2], 3.0f);
    r.rotate(shift.m);
    EXPECT_EQ(matrix_of(r).m[3][2], 6.0f);
}

TEST(VXR_RotationParams, FlipViewTwiceReturnsToTheStartingMatrix) {
    Rot r;
    r.SwivelHoriz(17.0f);
    r.Roll(-40.0f);
    const Mat start = matrix_of(r);
    r.FlipView();
    EXPECT_GT(max_difference(matrix_of(r), start), 1.0);
    r.FlipView();
    EXPECT_LT(max_difference(matrix_of(r), start), 1e-6);
}

TEST(VXR_RotationParams, CopyTakesMatrixAndCounterButDefaultsToSagittalLeft) {
    Rot live;
    live.SetDefaultOrientation(Rot::AxialSuperior);
    live.SwivelHoriz(25.0f);
    Rot other;
    live.SetSource(&other);

    const Rot copy(live);
    EXPECT_TRUE(bitwise_equal(matrix_of(copy), matrix_of(live)));
    EXPECT_EQ(copy.GetCounter(), live.GetCounter());
    EXPECT_EQ(copy.GetName(), "VXR_RotationParams");
    EXPECT_EQ(copy.GetDefaultOrientation(), Rot::SagittalLeft);
    EXPECT_EQ(copy.GetSource(), nullptr);
}

TEST(VXR_RotationParams, CloneIsIndependentAndResetsToTheSagittalLeftView) {
    Rot live;
    live.SetDefaultOrientation(Rot::AxialSuperior);
    live.SwivelVert(12.0f);
    UTL_BaseParams* made = live.Clone();
    ASSERT_NE(made, nullptr);
    auto* clone = dynamic_cast<Rot*>(made);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->GetRefCount(), 1);
    EXPECT_TRUE(bitwise_equal(matrix_of(*clone), matrix_of(live)));
    EXPECT_EQ(clone->GetCounter(), live.GetCounter());

    const Mat liveBefore = matrix_of(live);
    clone->ResetOrientation();
    EXPECT_LT(max_difference(matrix_of(*clone), kSagittalLeft), kViewTolerance);
    EXPECT_TRUE(bitwise_equal(matrix_of(live), liveBefore));
    EXPECT_EQ(live.GetDefaultOrientation(), Rot::AxialSuperior);

    live.SwivelHoriz(50.0f);
    EXPECT_LT(max_difference(matrix_of(*clone), kSagittalLeft), kViewTolerance);
    EXPECT_EQ(made->Release(), 0);
}

TEST(VXR_RotationParams, TypedAssignmentCopiesTheDefaultVirtualAssignmentKeepsIt) {
    Rot source;
    source.SetDefaultOrientation(Rot::CoronalPosterior);
    source.SwivelHoriz(44.0f);
    source.SwivelHoriz(1.0f);

    Rot typed;
    typed = source;
    EXPECT_TRUE(bitwise_equal(matrix_of(typed), matrix_of(source)));
    EXPECT_EQ(typed.GetCounter(), source.GetCounter());
    EXPECT_EQ(typed.GetDefaultOrientation(), Rot::CoronalPosterior);

    Rot viaBase;
    UTL_BaseParams& base = viaBase;
    base = static_cast<const UTL_BaseParams&>(source);
    EXPECT_TRUE(bitwise_equal(matrix_of(viaBase), matrix_of(source)));
    EXPECT_EQ(viaBase.GetCounter(), source.GetCounter());
    EXPECT_EQ(viaBase.GetDefaultOrientation(), Rot::CoronalAnterior);

    // Self-assignment changes nothing.
    const Mat before = matrix_of(typed);
    typed = typed;
    base = static_cast<const UTL_BaseParams&>(viaBase);
    EXPECT_TRUE(bitwise_equal(matrix_of(typed), before));

    // From another class of parameter object only the base state comes over.
    UTL_BaseParams foreign;
    foreign.SetName("GRA_Params");
    base = foreign;
    EXPECT_TRUE(bitwise_equal(matrix_of(viaBase), matrix_of(source)));
    EXPECT_EQ(viaBase.GetName(), "GRA_Params");
    EXPECT_EQ(viaBase.GetCounter(), 0);
}

TEST(VXR_RotationParams, SetDataTakesOnlyTheMatrixAndCountsOneChange) {
    Rot source;
    source.SetDefaultOrientation(Rot::SagittalRight);
    source.ResetOrientation();
    source.SetName("renamed");
    Rot target;
    target.SetDefaultOrientation(Rot::AxialInferior);
    target.SetData(source);
    EXPECT_TRUE(bitwise_equal(matrix_of(target), matrix_of(source)));
    EXPECT_EQ(target.GetCounter(), 3);
    EXPECT_EQ(target.GetName(), "VXR_RotationParams");
    EXPECT_EQ(target.GetDefaultOrientation(), Rot::AxialInferior);

    UTL_BaseParams foreign;
    target.SetData(foreign);
    EXPECT_TRUE(bitwise_equal(matrix_of(target), matrix_of(source)));
    EXPECT_EQ(target.GetCounter(), 4);
}

TEST(VXR_RotationParams, FreezeTakesTheSourceMatrixAndCounterAndLogsEitherWay) {
    Rot live;
    live.SetDefaultOrientation(Rot::SagittalLeft);
    live.ResetOrientation();
    live.SwivelVert(5.0f);
    Rot copy;
    copy.SetDefaultOrientation(Rot::AxialSuperior);

    copy.Freeze();
    EXPECT_LT(max_difference(matrix_of(copy), kCoronalAnterior), kViewTolerance);
    EXPECT_EQ(copy.GetCounter(), 2);

    copy.SetSource(&live);
    copy.Freeze();
    EXPECT_TRUE(bitwise_equal(matrix_of(copy), matrix_of(live)));
    EXPECT_EQ(copy.GetCounter(), live.GetCounter());
    EXPECT_EQ(copy.GetDefaultOrientation(), Rot::AxialSuperior);

    const std::vector<Tmr_LogRecord> records = TmrGLog.Records();
    ASSERT_EQ(records.size(), 2u);
    for (const Tmr_LogRecord& record : records) {
        EXPECT_EQ(record.source, "VXR_RotationParams");
        EXPECT_EQ(record.level, 7);
        EXPECT_EQ(record.module, 460);
    }
    EXPECT_EQ(vxrp_test::TakeLogTexts(),
              (std::vector<std::string>{"freeze vol data  \n", "freeze vol data  \n"}));
}

TEST(VXR_RotationParams, DefrostOnlyLogs) {
    Rot live;
    Rot copy;
    copy.SwivelHoriz(10.0f);
    copy.SetSource(&live);
    const Mat before = matrix_of(copy);
    copy.Defrost();
    EXPECT_TRUE(bitwise_equal(matrix_of(copy), before));
    EXPECT_EQ(copy.GetCounter(), 3);
    EXPECT_EQ(live.GetCounter(), 2);
    const std::vector<Tmr_LogRecord> records = TmrGLog.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].source, "VXR_RotationParams");
    EXPECT_EQ(records[0].level, 7);
    EXPECT_EQ(vxrp_test::TakeLogTexts(), (std::vector<std::string>{"defrost vol data \n"}));
}

TEST(VXR_RotationParams, IsChangedComparesTurnsNotTranslations) {
    Rot a;
    Rot b;
    EXPECT_FALSE(a.IsChanged(nullptr));
    EXPECT_FALSE(a.IsChanged(&b));

    // Only the translation differs: no change.
    Mat shift = identity();
    IP_Mtranslate(shift.m, 40.0f, -25.0f, 300.0f);
    b.Roll(shift.m);
    EXPECT_FALSE(a.IsChanged(&b));
    EXPECT_FALSE(b.IsChanged(&a));

    // A translation column (projective part) is not compared either.
    Rot c;
    Mat column = identity();
    column.m[0][3] = 0.2f;
    c.Roll(column.m);
    EXPECT_FALSE(a.IsChanged(&c));

    // Counters play no part.
    Rot d;
    d.SwivelHoriz(0.0f);
    EXPECT_FALSE(a.IsChanged(&d));
}

TEST(VXR_RotationParams, IsChangedSeesTwoDegreesButNotOne) {
    struct Case {
        void (Rot::*turn)(float);
        const char* name;
    };
    for (const Case& c : {Case{&Rot::Roll, "roll"}, Case{&Rot::SwivelHoriz, "horizontal"},
                          Case{&Rot::SwivelVert, "vertical"}}) {
        for (float sense : {1.0f, -1.0f}) {
            Rot a;
            Rot b;
            (b.*c.turn)(2.0f * sense);
            EXPECT_TRUE(a.IsChanged(&b)) << c.name << " 2";
            EXPECT_TRUE(b.IsChanged(&a)) << c.name << " 2";
            Rot one;
            (one.*c.turn)(1.0f * sense);
            EXPECT_FALSE(a.IsChanged(&one)) << c.name << " 1";
            // The threshold sits near 1.81 degrees (2 - 2 cos a = 0.001).
            Rot below;
            (below.*c.turn)(1.80f * sense);
            EXPECT_FALSE(a.IsChanged(&below)) << c.name << " 1.80";
            Rot above;
            (above.*c.turn)(1.83f * sense);
            EXPECT_TRUE(a.IsChanged(&above)) << c.name << " 1.83";
        }
    }
    // A 1 degree turn about any axis stays below the tolerance.
    for (const IP_3Coord& axis : {IP_3Coord(1, 1, 1), IP_3Coord(0.3f, -2, 0.5f),
                                  IP_3Coord(-1, 0, 4), IP_3Coord(5, 5, -0.1f)}) {
        Rot a;
        Rot b;
        Mat oneDegree;
        ASSERT_TRUE(IP_Mgenrot(oneDegree.m, std::numbers::pi_v<float> / 180.0f, axis));
        b.Roll(oneDegree.m);
        EXPECT_FALSE(a.IsChanged(&b));
    }
    // The measure is per row: two degrees about the diagonal move each axis by
    // 2 (1 - cos a)(1 - 1/3) = 0.00081, which is no change; about an axis
    // perpendicular to y, the y row moves by the full 0.00122.
    for (const auto& [axis, changed] :
         {std::pair{IP_3Coord(1, 1, 1), false}, std::pair{IP_3Coord(-1, 0, 4), true}}) {
        Rot a;
        Rot b;
        Mat twoDegrees;
        ASSERT_TRUE(IP_Mgenrot(twoDegrees.m, std::numbers::pi_v<float> / 90.0f, axis));
        b.Roll(twoDegrees.m);
        EXPECT_EQ(a.IsChanged(&b), changed);
    }
}

TEST(VXR_RotationParams, IsChangedCountsNaNAndSingularMatricesAsChanged) {
    Rot a;
    Rot withNaN;
    Mat poison = identity();
    poison.m[1][1] = std::nanf("");
    withNaN.Roll(poison.m);
    EXPECT_TRUE(a.IsChanged(&withNaN));
    EXPECT_TRUE(withNaN.IsChanged(&a));

    Rot flat;
    Mat squash = identity();
    squash.m[2][2] = 0.0f;
    flat.Roll(squash.m);
    EXPECT_TRUE(flat.IsChanged(&a));
}

TEST(VXR_RotationParams, IsChangedAgainstAnotherClassComparesCounters) {
    Rot a;
    UTL_BaseParams other;
    EXPECT_TRUE(a.IsChanged(&other));
    other = 2;
    EXPECT_FALSE(a.IsChanged(&other));
}

TEST(VXR_RotationParams, InterpolateFillsEqualStepsBetweenTwoKeyFrames) {
    Rot first;  // coronal anterior
    Rot last;
    last.SetDefaultOrientation(Rot::SagittalLeft);
    last.ResetOrientation();
    const int firstCounter = first.GetCounter();

    UTL_BaseParams* frames[5] = {&first, nullptr, nullptr, nullptr, &last};
    Rot caller;
    ASSERT_TRUE(caller.Interpolate(frames, 5, nullptr));
    ASSERT_NE(frames[1], nullptr);
    ASSERT_NE(frames[2], nullptr);
    ASSERT_NE(frames[3], nullptr);
    EXPECT_EQ(frames[0], &first);
    EXPECT_EQ(frames[4], &last);

    // Each step is the same turn, a quarter of the whole, and the fourth step
    // lands on the last key frame.
    const Mat whole = product(inverse(matrix_of(first)), matrix_of(last));
    const Mat step = product(inverse(matrix_of(first)), matrix_of(frames[1]));
    EXPECT_NEAR(angle_of(step), angle_of(whole) / 4, 1e-3);
    for (int i = 1; i < 5; ++i) {
        const Mat between = product(inverse(matrix_of(frames[i - 1])), matrix_of(frames[i]));
        EXPECT_LT(max_difference(between, step), 1e-5) << "frame " << i;
    }
    for (int i = 1; i < 4; ++i) {
        auto* made = dynamic_cast<Rot*>(frames[i]);
        EXPECT_EQ(made->GetName(), "VXR_RotationParams");
        EXPECT_EQ(made->GetDefaultOrientation(), Rot::SagittalLeft);
        EXPECT_EQ(made->GetCounter(), firstCounter + i);
        EXPECT_EQ(made->GetRefCount(), 1);
        delete made;
    }
    // The key frames are untouched.
    EXPECT_LT(max_difference(matrix_of(first), kCoronalAnterior), kViewTolerance);
    EXPECT_LT(max_difference(matrix_of(last), kSagittalLeft), kViewTolerance);
}

TEST(VXR_RotationParams, InterpolateBetweenASingleAxisTurnStepsAboutThatAxis) {
    Rot first;
    first.ResetAxialInferior();
    Rot last;
    last.ResetAxialInferior();
    last.SwivelHoriz(90.0f);
    UTL_BaseParams* frames[4] = {&first, nullptr, nullptr, &last};
    ASSERT_TRUE(first.Interpolate(frames, 4, nullptr));
    EXPECT_LT(max_difference(matrix_of(frames[1]), turn(30, 'y')), 1e-6);
    EXPECT_LT(max_difference(matrix_of(frames[2]), turn(60, 'y')), 1e-6);
    delete frames[1];
    delete frames[2];
}

TEST(VXR_RotationParams, InterpolateAcrossAHalfTurnTurnsPositivelyAboutY) {
    Rot first;
    first.ResetAxialInferior();
    Rot last;
    last.ResetAxialSuperior();  // a half turn about y
    UTL_BaseParams* frames[3] = {&first, nullptr, &last};
    ASSERT_TRUE(first.Interpolate(frames, 3, nullptr));
    EXPECT_LT(max_difference(matrix_of(frames[1]), turn(90, 'y')), 1e-6);
    delete frames[1];
}

TEST(VXR_RotationParams, InterpolateWithoutLastKeyFrameMakesOneFullTurnAboutMinusY) {
    Rot first;
    first.SwivelVert(20.0f);  // any start
    const Mat start = matrix_of(first);
    UTL_BaseParams* frames[5] = {&first, nullptr, nullptr, nullptr, nullptr};
    ASSERT_TRUE(first.Interpolate(frames, 5, nullptr));
    for (int i = 1; i < 5; ++i) {
        ASSERT_NE(frames[i], nullptr) << i;
        // Frame i is turned by i * 72 degrees about -y, i.e. -i * 72 about y.
        const Mat expected = product(start, turn(-72.0f * static_cast<float>(i), 'y'));
        EXPECT_LT(max_difference(matrix_of(frames[i]), expected), 2e-6) << i;
        EXPECT_EQ(dynamic_cast<Rot*>(frames[i])->GetCounter(), first.GetCounter() + i);
    }
    // Frame 4: 288 degrees about -y relative to frame 0.
    const Mat relative = product(inverse(start), matrix_of(frames[4]));
    EXPECT_NEAR(angle_of(relative), 360.0 - 288.0, 1e-3);
    EXPECT_LT(max_difference(relative, turn(-288.0f, 'y')), 2e-6);
    for (int i = 1; i < 5; ++i)
        delete frames[i];

    // n = 2: the single new frame is a half turn away.
    UTL_BaseParams* pair[2] = {&first, nullptr};
    ASSERT_TRUE(first.Interpolate(pair, 2, nullptr));
    EXPECT_LT(max_difference(matrix_of(pair[1]), product(start, turn(180, 'y'))), 2e-6);
    delete pair[1];
}

TEST(VXR_RotationParams, InterpolateMakesNothingForTheSameRotation) {
    Rot first;
    Rot marker;  // stands in the slots so that any overwrite shows
    struct Case {
        const char* name;
        Mat lastTurn;
    };
    Mat shift = identity();
    IP_Mtranslate(shift.m, 10.0f, 20.0f, 30.0f);
    const Case cases[] = {
        {"identical", identity()},
        {"translation only", shift},
        {"one degree", turn(1.0f, 'z')},
    };
    for (const Case& c : cases) {
        Rot last;
        last.Roll(c.lastTurn.m);
        UTL_BaseParams* frames[5] = {&first, &marker, &marker, nullptr, &last};
        EXPECT_FALSE(first.Interpolate(frames, 5, nullptr)) << c.name;
        EXPECT_EQ(frames[1], &marker) << c.name;
        EXPECT_EQ(frames[2], &marker) << c.name;
        EXPECT_EQ(frames[3], nullptr) << c.name;
        EXPECT_EQ(frames[4], &last) << c.name;
    }
}

TEST(VXR_RotationParams, InterpolateOfTwoDifferentKeyFramesAnswersTrueAndMakesNothing) {
    Rot first;
    Rot last;
    last.FlipView();
    UTL_BaseParams* frames[2] = {&first, &last};
    EXPECT_TRUE(first.Interpolate(frames, 2, nullptr));
    EXPECT_EQ(frames[0], &first);
    EXPECT_EQ(frames[1], &last);
}

TEST(VXR_RotationParams, InterpolateRefusesATurnThatIsNoRotation) {
    Rot first;
    Mat stretch = identity();
    stretch.m[0][0] = 2.0f;
    Mat poison = identity();
    poison.m[0][1] = std::nanf("");
    for (const Mat* bad : {&stretch, &poison}) {
        Rot last;
        last.Roll(bad->m);
        UTL_BaseParams* frames[4] = {&first, nullptr, nullptr, &last};
        EXPECT_FALSE(first.Interpolate(frames, 4, nullptr));
        EXPECT_EQ(frames[1], nullptr);
        EXPECT_EQ(frames[2], nullptr);
        const std::vector<Tmr_LogRecord> records = TmrGLog.Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].source, "VXR_RotationParams");
        EXPECT_EQ(records[0].level, 7);
        EXPECT_EQ(vxrp_test::TakeLogTexts(),
                  (std::vector<std::string>{"Non-rotation matrix in Interpolate()\n"}));
    }
}

TEST(VXR_RotationParams, InterpolateRejectsBadInputAndMakesNothing) {
    Rot first;
    Rot last;
    last.FlipView();
    Rot marker;

    EXPECT_FALSE(first.Interpolate(nullptr, 5, nullptr));

    for (int n : {1, 0, -3}) {
        UTL_BaseParams* frames[3] = {&first, &marker, &last};
        EXPECT_FALSE(first.Interpolate(frames, n, nullptr)) << n;
        EXPECT_EQ(frames[1], &marker) << n;
    }

    UTL_BaseParams* noFirst[3] = {nullptr, &marker, &last};
    EXPECT_FALSE(first.Interpolate(noFirst, 3, nullptr));
    EXPECT_EQ(noFirst[1], &marker);
    UTL_BaseParams* noFirstNoLast[3] = {nullptr, &marker, nullptr};
    EXPECT_FALSE(first.Interpolate(noFirstNoLast, 3, nullptr));
    EXPECT_EQ(noFirstNoLast[2], nullptr);

    // Key frames of another class cannot be interpolated as rotations.
    UTL_BaseParams foreign;
    UTL_BaseParams* foreignFirst[3] = {&foreign, &marker, &last};
    EXPECT_FALSE(first.Interpolate(foreignFirst, 3, nullptr));
    EXPECT_EQ(foreignFirst[1], &marker);
    UTL_BaseParams* foreignLast[3] = {&first, &marker, &foreign};
    EXPECT_FALSE(first.Interpolate(foreignLast, 3, nullptr));
    EXPECT_EQ(foreignLast[1], &marker);
}

TEST(VXR_RotationParams, RunningOutOfMemoryAnywhereGivesNoCloneAndNoFrames) {
    // A name beyond the short-string buffer, so that its copy allocates too.
    Rot live;
    live.SetName("VXR_RotationParams of the main volume view");
    vxrp_test::FailEachAllocation(
        [&] {
            UTL_BaseParams* clone = live.Clone();
            if (clone != nullptr) {
                EXPECT_EQ(clone->GetName(), live.GetName());
                clone->Release();
            }
        },
        [](bool raised) { EXPECT_FALSE(raised); });

    // A five-frame movie between two views and a full turn: whichever
    // allocation fails, the answer is false, no slot changes and nothing made
    // before it is left behind (the leak check sees to that).
    Rot first;
    first.SetName("VXR_RotationParams of the main volume view");
    Rot last;
    last.FlipView();
    Rot marker;
    for (const bool fullTurn : {false, true}) {
        const int failures = vxrp_test::FailEachAllocation(
            [&] {
                UTL_BaseParams* movie[5] = {&first, &marker, &marker, &marker, &last};
                UTL_BaseParams* turn[3] = {&first, &marker, nullptr};
                UTL_BaseParams** frames = fullTurn ? turn : movie;
                const int n = fullTurn ? 3 : 5;
                const UTL_BaseParams* before[5] = {};
                std::copy(frames, frames + n, before);
                if (first.Interpolate(frames, n, nullptr)) {
                    for (int i = 1; i < n - (fullTurn ? 0 : 1); ++i) {
                        EXPECT_NE(frames[i], before[i]);
                        delete frames[i];
                    }
                } else {
                    EXPECT_TRUE(std::equal(frames, frames + n, before));
                }
            },
            [](bool raised) { EXPECT_FALSE(raised); });
        EXPECT_GE(failures, 3) << fullTurn;
    }
}
