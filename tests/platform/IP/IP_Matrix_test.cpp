#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "IP/IP_Matrix.h"
#include "support/MatrixTestUtils.h"

namespace {

using vxrp_test::identity;
using vxrp_test::Mat;
using vxrp_test::max_difference;
using vxrp_test::product;

Mat rotation(float radians, char axis) {
    Mat r;
    EXPECT_TRUE(IP_Mrotmat(r.m, radians, axis));
    return r;
}

Mat general_rotation(float radians, IP_3Coord axis) {
    Mat r;
    EXPECT_TRUE(IP_Mgenrot(r.m, radians, axis));
    return r;
}

Mat power(const Mat& a, int k) {
    Mat r = identity();
    for (int i = 0; i < k; ++i)
        r = product(r, a);
    return r;
}

bool all_nan(const Mat& a) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (!std::isnan(a.m[i][j]))
                return false;
    return true;
}

IP_3Coord apply(const Mat& a, IP_3Coord p) {
    IP_3Coord r;
    IP_vec3mlt(p, a.m, r);
    return r;
}

void expect_point_near(const IP_3Coord& p, float x, float y, float z, float tol = 1e-6f) {
    EXPECT_NEAR(p.x, x, tol);
    EXPECT_NEAR(p.y, y, tol);
    EXPECT_NEAR(p.z, z, tol);
    EXPECT_EQ(p.w, 1.0f);
}

// Orthonormal 3x3 block, determinant +1, affine last column.
void expect_proper_rotation(const Mat& r, double tol = 2e-7) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            double dot = 0.0;
            for (int k = 0; k < 3; ++k)
                dot += double(r.m[i][k]) * r.m[j][k];
            EXPECT_NEAR(dot, i == j ? 1.0 : 0.0, tol) << "rows " << i << ", " << j;
        }
        EXPECT_EQ(r.m[i][3], 0.0f);
        EXPECT_EQ(r.m[3][i], 0.0f);
    }
    EXPECT_EQ(r.m[3][3], 1.0f);
    const auto& m = r.m;
    const double det = double(m[0][0]) * (double(m[1][1]) * m[2][2] - double(m[1][2]) * m[2][1]) -
                       double(m[0][1]) * (double(m[1][0]) * m[2][2] - double(m[1][2]) * m[2][0]) +
                       double(m[0][2]) * (double(m[1][0]) * m[2][1] - double(m[1][1]) * m[2][0]);
    EXPECT_NEAR(det, 1.0, 4 * tol);
}

// a * b = I, each element within a few float roundings of the terms that form
// it: translations of hundreds leave residues of 1e-5 that are no fault.
void expect_product_is_identity(const Mat& a, const Mat& b) {
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            double size = 0.0;
            for (int k = 0; k < 4; ++k) {
                sum += double(a.m[i][k]) * b.m[k][j];
                size += std::fabs(double(a.m[i][k]) * b.m[k][j]);
            }
            const double tol = 8.0 * std::numeric_limits<float>::epsilon() * size + 1e-7;
            EXPECT_NEAR(sum, i == j ? 1.0 : 0.0, tol) << "element " << i << ", " << j;
        }
    }
}

IP_3Coord random_unit(std::mt19937& gen) {
    std::normal_distribution<float> normal;
    IP_3Coord u;
    do {
        u = IP_3Coord(normal(gen), normal(gen), normal(gen));
    } while (!u.Normalize());
    return u;
}

// A rigid motion with a scaling, shifted well away from the origin: the kind
// of physical-to-screen matrix the viewer builds.
Mat random_affine(std::mt19937& gen) {
    std::uniform_real_distribution<float> angle(-3.1f, 3.1f);
    std::uniform_real_distribution<float> scale(0.2f, 5.0f);
    std::uniform_real_distribution<float> shift(-300.0f, 300.0f);
    Mat r = general_rotation(angle(gen), random_unit(gen));
    Mat s = identity();
    s.m[0][0] = scale(gen);
    s.m[1][1] = scale(gen);
    s.m[2][2] = scale(gen);
    Mat a = product(s, r);
    IP_Mtranslate(a.m, shift(gen), shift(gen), shift(gen));
    return a;
}

}  // namespace

TEST(IP_Matrix, PointsAreRowVectorsAndTheLeftFactorActsFirst) {
    const Mat turn = rotation(std::numbers::pi_v<float> / 2, 'z');
    Mat shift = identity();
    IP_Mtranslate(shift.m, 5.0f, 0.0f, 0.0f);

    // Turn first, then shift: (1, 0, 0) -> (0, 1, 0) -> (5, 1, 0).
    expect_point_near(apply(product(turn, shift), IP_3Coord(1, 0, 0)), 5, 1, 0);
    // Shift first, then turn: (1, 0, 0) -> (6, 0, 0) -> (0, 6, 0).
    expect_point_near(apply(product(shift, turn), IP_3Coord(1, 0, 0)), 0, 6, 0, 1e-5f);
    // The translation of an affine matrix lives in row 3.
    EXPECT_EQ(shift.m[3][0], 5.0f);
    EXPECT_EQ(shift.m[0][3], 0.0f);
}

TEST(IP_Matrix, RotationsAreRightHandedAboutEveryAxis) {
    const float quarter = std::numbers::pi_v<float> / 2;
    expect_point_near(apply(rotation(quarter, 'z'), IP_3Coord(1, 0, 0)), 0, 1, 0);
    expect_point_near(apply(rotation(quarter, 'x'), IP_3Coord(0, 1, 0)), 0, 0, 1);
    expect_point_near(apply(rotation(quarter, 'y'), IP_3Coord(0, 0, 1)), 1, 0, 0);
    // Upper-case axis names are the same axes.
    EXPECT_EQ(max_difference(rotation(0.3f, 'Y'), rotation(0.3f, 'y')), 0.0);
}

TEST(IP_Matrix, UnknownRotationAxisAnswersFalseWithTheIdentity) {
    Mat r = rotation(1.0f, 'x');
    EXPECT_FALSE(IP_Mrotmat(r.m, 1.0f, 'w'));
    EXPECT_EQ(max_difference(r, identity()), 0.0);
}

TEST(IP_Matrix, ProductIsSafeWhenTheOutputIsAnOperand) {
    std::mt19937 gen(7);
    const Mat a = random_affine(gen);
    const Mat b = random_affine(gen);
    const Mat expected = product(a, b);

    Mat left = a;
    IP_Mmul(left.m, b.m, left.m);
    EXPECT_EQ(max_difference(left, expected), 0.0);
    Mat right = b;
    IP_Mmul(a.m, right.m, right.m);
    EXPECT_EQ(max_difference(right, expected), 0.0);
    Mat both = a;
    IP_Mmul(both.m, both.m, both.m);
    EXPECT_EQ(max_difference(both, product(a, a)), 0.0);
}

TEST(IP_Matrix, MatrixTimesItsInverseIsTheIdentity) {
    std::mt19937 gen(11);
    std::uniform_real_distribution<float> element(-1.0f, 1.0f);
    for (int trial = 0; trial < 200; ++trial) {
        Mat m;
        if (trial % 2 == 0) {
            m = random_affine(gen);
        } else {
            // A general (projective) matrix, kept away from singular.
            for (auto& row : m.m)
                for (float& v : row)
                    v = element(gen);
            for (int i = 0; i < 4; ++i)
                m.m[i][i] += 4.0f;
        }
        Mat inv;
        ASSERT_TRUE(IP_Minv(m.m, inv.m)) << "trial " << trial;
        expect_product_is_identity(m, inv);
        expect_product_is_identity(inv, m);
        if (HasFailure())
            FAIL() << "trial " << trial;
    }
}

TEST(IP_Matrix, InverseMayOverwriteItsInput) {
    std::mt19937 gen(3);
    const Mat m = random_affine(gen);
    Mat expected;
    ASSERT_TRUE(IP_Minv(m.m, expected.m));
    Mat inPlace = m;
    ASSERT_TRUE(IP_Minv(inPlace.m, inPlace.m));
    EXPECT_EQ(max_difference(inPlace, expected), 0.0);
}

TEST(IP_Matrix, InverseIgnoresUnitsButRejectsSingularMatricesAndInversesBeyondFloat) {
    // Very different row scales are still perfectly invertible.
    Mat scaled = identity();
    scaled.m[0][0] = 1e-4f;
    scaled.m[1][1] = 1e4f;
    Mat inv;
    ASSERT_TRUE(IP_Minv(scaled.m, inv.m));
    EXPECT_NEAR(inv.m[0][0], 1e4f, 1e-1f);
    EXPECT_NEAR(inv.m[1][1], 1e-4f, 1e-10f);

    std::vector<Mat> singular;
    Mat zeroRow = identity();
    zeroRow.m[2][2] = 0.0f;  // flattens z
    singular.push_back(zeroRow);
    Mat twinRows = identity();
    for (int j = 0; j < 4; ++j)
        twinRows.m[1][j] = twinRows.m[0][j] * 3.0f;
    singular.push_back(twinRows);
    Mat dependent = identity();  // row 2 = row 0 + row 1, up to float rounding
    dependent.m[0][0] = 0.1f;
    dependent.m[0][1] = 0.7f;
    dependent.m[1][0] = 0.3f;
    dependent.m[1][1] = 0.9f;
    dependent.m[2][0] = 0.4f;
    dependent.m[2][1] = 1.6f;
    dependent.m[2][2] = 0.0f;
    singular.push_back(dependent);
    Mat zero{};
    singular.push_back(zero);
    Mat withNaN = identity();
    withNaN.m[1][2] = std::nanf("");
    singular.push_back(withNaN);
    Mat withInf = identity();
    withInf.m[3][0] = INFINITY;
    singular.push_back(withInf);
    Mat tiny = identity();  // invertible, but its inverse does not fit in float
    for (int i = 0; i < 3; ++i)
        tiny.m[i][i] = 1e-40f;
    singular.push_back(tiny);

    for (std::size_t i = 0; i < singular.size(); ++i) {
        Mat out = identity();
        EXPECT_FALSE(IP_Minv(singular[i].m, out.m)) << "case " << i;
        EXPECT_TRUE(all_nan(out)) << "case " << i;
    }
}

TEST(IP_Matrix, RotationsStayOrthonormalForAnyAngleAndAxis) {
    std::mt19937 gen(5);
    std::uniform_real_distribution<float> angle(-20.0f, 20.0f);
    for (int trial = 0; trial < 100; ++trial) {
        const float a = angle(gen);
        expect_proper_rotation(rotation(a, "xyz"[trial % 3]));
        expect_proper_rotation(general_rotation(a, random_unit(gen)));
    }
    // A long chain of small turns, as a user's drag produces, stays a rotation.
    Mat chain = identity();
    for (int i = 0; i < 1000; ++i)
        chain = product(chain, general_rotation(0.01f, IP_3Coord(1, 2, 3)));
    expect_proper_rotation(chain, 1e-4);
}

TEST(IP_Matrix, GeneralRotationNormalisesItsAxisAndRejectsAZeroAxis) {
    EXPECT_LT(max_difference(general_rotation(0.7f, IP_3Coord(0, 0, 1)), rotation(0.7f, 'z')),
              1e-7);
    EXPECT_LT(max_difference(general_rotation(0.7f, IP_3Coord(0, -3, 0)), rotation(-0.7f, 'y')),
              1e-7);
    // The axis' w plays no part.
    EXPECT_EQ(max_difference(general_rotation(0.7f, IP_3Coord(1, 2, 3, 0)),
                             general_rotation(0.7f, IP_3Coord(2, 4, 6, 9))),
              0.0);

    Mat out = rotation(1.0f, 'x');
    EXPECT_FALSE(IP_Mgenrot(out.m, 0.7f, IP_3Coord(0, 0, 0)));
    EXPECT_EQ(max_difference(out, identity()), 0.0);
    EXPECT_FALSE(IP_Mgenrot(out.m, 0.7f, IP_3Coord(std::nanf(""), 1, 0)));
    EXPECT_EQ(max_difference(out, identity()), 0.0);
}

// The clipping interpolation turns a plane with IP_Mgenrot(angle(n1, n2), n1 x n2)
// and relies on it arriving at n2.
TEST(IP_Matrix, TurningByTheAngleBetweenNormalsAboutTheirCrossProductCarriesOneToTheOther) {
    std::mt19937 gen(13);
    for (int trial = 0; trial < 200; ++trial) {
        const IP_3Coord n1 = random_unit(gen);
        const IP_3Coord n2 = random_unit(gen);
        const float dot = n1.x * n2.x + n1.y * n2.y + n1.z * n2.z;
        if (std::fabs(dot) > 0.999f)
            continue;  // no well-defined axis; the interpolation skips these too
        const IP_3Coord axis(n1.y * n2.z - n1.z * n2.y, n1.z * n2.x - n1.x * n2.z,
                             n1.x * n2.y - n1.y * n2.x);
        const Mat turn = general_rotation(std::acos(dot), axis);

        // The plane n1 . p = 4 carried by the turn.
        float plane[4] = {n1.x, n1.y, n1.z, 4.0f};
        ASSERT_TRUE(IP_myeqtrans(plane, turn.m));
        EXPECT_NEAR(plane[0], n2.x, 2e-6f) << "trial " << trial;
        EXPECT_NEAR(plane[1], n2.y, 2e-6f) << "trial " << trial;
        EXPECT_NEAR(plane[2], n2.z, 2e-6f) << "trial " << trial;
        EXPECT_NEAR(plane[3], 4.0f, 1e-5f) << "trial " << trial;

        // The normal as a direction goes the same way.
        const IP_3Coord carried = apply(turn, n1);
        EXPECT_NEAR(carried.x, n2.x, 2e-6f);
        EXPECT_NEAR(carried.y, n2.y, 2e-6f);
        EXPECT_NEAR(carried.z, n2.z, 2e-6f);
    }
}

TEST(IP_Matrix, PointOnAPlaneStaysOnItWhenBothAreCarriedByOneMatrix) {
    std::mt19937 gen(17);
    std::uniform_real_distribution<float> coord(-100.0f, 100.0f);
    for (int trial = 0; trial < 200; ++trial) {
        Mat m = random_affine(gen);
        if (trial % 4 == 3) {
            m.m[0][3] = 0.001f;  // a mild perspective
            m.m[2][3] = -0.002f;
        }
        const IP_3Coord n = random_unit(gen);
        const float d = coord(gen);
        // A point on n . p = d: a random point projected onto the plane.
        IP_3Coord p(coord(gen), coord(gen), coord(gen));
        const double off = double(n.x) * p.x + double(n.y) * p.y + double(n.z) * p.z - d;
        p = IP_3Coord(static_cast<float>(p.x - off * n.x), static_cast<float>(p.y - off * n.y),
                      static_cast<float>(p.z - off * n.z));

        float plane[4] = {n.x, n.y, n.z, d};
        ASSERT_TRUE(IP_myeqtrans(plane, m.m));
        const IP_3Coord q = apply(m, p);
        const double normal = std::sqrt(double(plane[0]) * plane[0] + double(plane[1]) * plane[1] +
                                        double(plane[2]) * plane[2]);
        const double residual =
            (double(plane[0]) * q.x + double(plane[1]) * q.y + double(plane[2]) * q.z - plane[3]) /
            normal;
        const double size = std::fmax(1.0, std::fabs(q.x) + std::fabs(q.y) + std::fabs(q.z));
        EXPECT_LT(std::fabs(residual) / size, 1e-5) << "trial " << trial;
    }
}

TEST(IP_Matrix, CarryingAPlaneByAScaledBoxMovesAFaceAndASingularMatrixLeavesItAlone) {
    // The unit cube's face x = 1 under "scale by 2, then shift by 3" lies at x = 5.
    Mat box = identity();
    box.m[0][0] = box.m[1][1] = box.m[2][2] = 2.0f;
    IP_Mtranslate(box.m, 3.0f, 3.0f, 3.0f);
    float face[4] = {1, 0, 0, 1};
    ASSERT_TRUE(IP_myeqtrans(face, box.m));
    EXPECT_FLOAT_EQ(face[3] / face[0], 5.0f);
    EXPECT_EQ(face[1], 0.0f);
    EXPECT_EQ(face[2], 0.0f);
    // The outward sense of the face is kept.
    EXPECT_GT(face[0], 0.0f);

    Mat flat = identity();
    flat.m[2][2] = 0.0f;
    float plane[4] = {0, 0, 1, 2};
    EXPECT_FALSE(IP_myeqtrans(plane, flat.m));
    EXPECT_EQ(plane[2], 1.0f);
    EXPECT_EQ(plane[3], 2.0f);
}

TEST(IP_Matrix, PointTransformTakesWAsOneAndDividesProjectiveResults) {
    Mat shift = identity();
    IP_Mtranslate(shift.m, 1.0f, 2.0f, 3.0f);
    // Whatever w the point carries, it is taken as a point (w = 1).
    expect_point_near(apply(shift, IP_3Coord(1, 1, 1, 0)), 2, 3, 4);
    expect_point_near(apply(shift, IP_3Coord(1, 1, 1, 7)), 2, 3, 4);

    Mat perspective = identity();
    perspective.m[2][3] = 0.5f;  // w' = 1 + z / 2
    expect_point_near(apply(perspective, IP_3Coord(4, 6, 2)), 2, 3, 1);

    // w' = 0: a direction comes back undivided.
    const IP_3Coord atInfinity = apply(perspective, IP_3Coord(4, 6, -2));
    EXPECT_EQ(atInfinity.x, 4.0f);
    EXPECT_EQ(atInfinity.y, 6.0f);
    EXPECT_EQ(atInfinity.z, -2.0f);
    EXPECT_EQ(atInfinity.w, 0.0f);

    IP_3Coord p(1, 0, 0);
    IP_vec3mlt(p, rotation(std::numbers::pi_v<float> / 2, 'z').m, p);
    expect_point_near(p, 0, 1, 0);
}

TEST(IP_Matrix, TranslationIsAppliedAfterWhatTheMatrixDoes) {
    Mat m = rotation(std::numbers::pi_v<float> / 2, 'z');
    IP_Mtranslate(m.m, 5.0f, 0.0f, 0.0f);
    expect_point_near(apply(m, IP_3Coord(1, 0, 0)), 5, 1, 0);
    IP_Mtranslate(m.m, 0.0f, -1.0f, 2.0f);
    expect_point_near(apply(m, IP_3Coord(1, 0, 0)), 5, 0, 2);

    // A projective matrix: the translation still follows the whole map.
    Mat perspective = identity();
    perspective.m[2][3] = 0.5f;
    IP_Mtranslate(perspective.m, 1.0f, 0.0f, 0.0f);
    expect_point_near(apply(perspective, IP_3Coord(4, 6, 2)), 3, 3, 1);
}

TEST(IP_Matrix, KthPowerOfARootIsTheMatrix) {
    std::mt19937 gen(19);
    std::uniform_real_distribution<float> angle(-3.1f, 3.1f);
    std::uniform_real_distribution<float> shift(-50.0f, 50.0f);
    for (int trial = 0; trial < 60; ++trial) {
        Mat m = general_rotation(angle(gen), random_unit(gen));
        if (trial % 2 == 1)
            IP_Mtranslate(m.m, shift(gen), shift(gen), shift(gen));
        for (int k : {1, 2, 3, 4, 7, 12}) {
            Mat root;
            ASSERT_TRUE(IP_MgenNRoot(root.m, m.m, k)) << "trial " << trial << " k " << k;
            Mat turnOnly = root;
            turnOnly.m[3][0] = turnOnly.m[3][1] = turnOnly.m[3][2] = 0.0f;
            expect_proper_rotation(turnOnly);
            EXPECT_LT(max_difference(power(root, k), m), trial % 2 == 1 ? 1e-4 : 2e-6)
                << "trial " << trial << " k " << k;
        }
    }
}

TEST(IP_Matrix, RootIsTheSmallestTurnInTheMatrixOwnSense) {
    const float pi = std::numbers::pi_v<float>;
    Mat root;
    ASSERT_TRUE(IP_MgenNRoot(root.m, rotation(pi / 2, 'z').m, 3));
    EXPECT_LT(max_difference(root, rotation(pi / 6, 'z')), 1e-6);
    ASSERT_TRUE(IP_MgenNRoot(root.m, rotation(-2 * pi / 3, 'x').m, 2));
    EXPECT_LT(max_difference(root, rotation(-pi / 3, 'x')), 1e-6);
    // 270 degrees one way is 90 the other: the root takes the short way.
    ASSERT_TRUE(IP_MgenNRoot(root.m, rotation(3 * pi / 2, 'y').m, 2));
    EXPECT_LT(max_difference(root, rotation(-pi / 4, 'y')), 1e-6);

    // The identity's root is the identity, for any k.
    ASSERT_TRUE(IP_MgenNRoot(root.m, identity().m, 5));
    EXPECT_EQ(max_difference(root, identity()), 0.0);

    // A pure translation is shared out evenly, even for a huge k.
    Mat shift = identity();
    IP_Mtranslate(shift.m, 10.0f, -20.0f, 30.0f);
    ASSERT_TRUE(IP_MgenNRoot(root.m, shift.m, 1000000));
    EXPECT_NEAR(root.m[3][0], 1e-5f, 1e-11f);
    EXPECT_NEAR(root.m[3][1], -2e-5f, 1e-11f);
    EXPECT_NEAR(root.m[3][2], 3e-5f, 1e-11f);

    // The root may overwrite the matrix.
    Mat inPlace = rotation(pi / 2, 'z');
    ASSERT_TRUE(IP_MgenNRoot(inPlace.m, inPlace.m, 3));
    EXPECT_LT(max_difference(inPlace, rotation(pi / 6, 'z')), 1e-6);
}

TEST(IP_Matrix, RootsOfTurnsJustShortOfAHalfTurnAreAsExactAsAnyOther) {
    // Near a half turn sin(angle) is small, so an axis read from the
    // antisymmetric part alone carries the matrix's rounding magnified some
    // thousandfold; the k-th power then misses the matrix by 5e-5.
    std::mt19937 gen(23);
    std::uniform_real_distribution<double> shortfall(1.0005e-3, 0.05);
    for (int trial = 0; trial < 400; ++trial) {
        const float angle = static_cast<float>(std::numbers::pi - shortfall(gen));
        const Mat m = general_rotation(trial % 2 == 0 ? angle : -angle, random_unit(gen));
        for (int k : {2, 3, 5}) {
            Mat root;
            ASSERT_TRUE(IP_MgenNRoot(root.m, m.m, k)) << "trial " << trial << " k " << k;
            EXPECT_LT(max_difference(power(root, k), m), 1e-6) << "trial " << trial << " k " << k;
        }
    }
}

TEST(IP_Matrix, HalfTurnRootTurnsPositivelyAboutTheAxisWithItsLargestComponentPositive) {
    const float pi = std::numbers::pi_v<float>;
    Mat root;
    // Half turns about y and about -y are the same matrix (up to rounding).
    for (float sense : {1.0f, -1.0f}) {
        ASSERT_TRUE(IP_MgenNRoot(root.m, rotation(sense * pi, 'y').m, 2));
        EXPECT_LT(max_difference(root, rotation(pi / 2, 'y')), 1e-6) << sense;
        ASSERT_TRUE(IP_MgenNRoot(root.m, general_rotation(pi, IP_3Coord(0, -sense, 0)).m, 4));
        EXPECT_LT(max_difference(root, rotation(pi / 4, 'y')), 1e-6) << sense;
    }
    // Axis (0, -1, -1): y and z tie in magnitude, so the first of them is made
    // positive and the root turns about (0, 1, 1).
    ASSERT_TRUE(IP_MgenNRoot(root.m, general_rotation(pi, IP_3Coord(0, -1, -1)).m, 2));
    EXPECT_LT(max_difference(root, general_rotation(pi / 2, IP_3Coord(0, 1, 1))), 1e-6);

    // Just short of a half turn about -y, within the tolerance: still answered
    // about +y, the long way round, and still a true root.
    const float nearHalf = pi - 5e-4f;
    const Mat almost = rotation(-nearHalf, 'y');
    ASSERT_TRUE(IP_MgenNRoot(root.m, almost.m, 2));
    EXPECT_LT(max_difference(root, general_rotation((2 * pi - nearHalf) / 2, IP_3Coord(0, 1, 0))),
              1e-6);
    EXPECT_LT(max_difference(power(root, 2), almost), 1e-6);

    // Beyond the tolerance the matrix's own sense decides.
    const Mat clear = rotation(-(pi - 0.01f), 'y');
    ASSERT_TRUE(IP_MgenNRoot(root.m, clear.m, 2));
    EXPECT_LT(max_difference(root, rotation(-(pi - 0.01f) / 2, 'y')), 1e-6);
}

TEST(IP_Matrix, MatricesThatAreNoRigidMotionHaveNoRoot) {
    std::vector<Mat> bad;
    Mat mirror = identity();
    mirror.m[0][0] = -1.0f;
    bad.push_back(mirror);
    Mat inverted = identity();  // a point reflection: orthonormal but det -1
    inverted.m[0][0] = inverted.m[1][1] = inverted.m[2][2] = -1.0f;
    bad.push_back(inverted);
    Mat grown = identity();
    grown.m[0][0] = grown.m[1][1] = grown.m[2][2] = 1.01f;
    bad.push_back(grown);
    Mat sheared = identity();
    sheared.m[1][0] = 0.1f;
    bad.push_back(sheared);
    Mat projective = identity();
    projective.m[2][3] = 0.1f;
    bad.push_back(projective);
    Mat withNaN = rotation(0.5f, 'x');
    withNaN.m[1][1] = std::nanf("");
    bad.push_back(withNaN);
    for (std::size_t i = 0; i < bad.size(); ++i) {
        Mat out = rotation(1.0f, 'z');
        EXPECT_FALSE(IP_MgenNRoot(out.m, bad[i].m, 2)) << "case " << i;
        EXPECT_EQ(max_difference(out, identity()), 0.0) << "case " << i;
    }

    Mat out;
    EXPECT_FALSE(IP_MgenNRoot(out.m, rotation(0.5f, 'x').m, 0));
    EXPECT_FALSE(IP_MgenNRoot(out.m, rotation(0.5f, 'x').m, -3));

    // Rounding drift inside the tolerance is still a rotation.
    Mat drifted = rotation(0.5f, 'x');
    for (auto& row : drifted.m)
        for (int j = 0; j < 3; ++j)
            row[j] *= 1.0004f;
    EXPECT_TRUE(IP_MgenNRoot(out.m, drifted.m, 2));
}
