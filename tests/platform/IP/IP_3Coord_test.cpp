#include <gtest/gtest.h>

#include <cmath>

#include "IP/IP_3Coord.h"

TEST(IP_3Coord, DefaultIsTheOriginAsAPoint) {
    const IP_3Coord p;
    EXPECT_EQ(p.x, 0.0f);
    EXPECT_EQ(p.y, 0.0f);
    EXPECT_EQ(p.z, 0.0f);
    EXPECT_EQ(p.w, 1.0f);
    EXPECT_EQ(IP_3Coord(1, 2, 3).w, 1.0f);
}

TEST(IP_3Coord, NormalizeScalesXyzToUnitLengthAndKeepsW) {
    IP_3Coord p(3, 0, -4, 7);
    ASSERT_TRUE(p.Normalize());
    EXPECT_FLOAT_EQ(p.x, 0.6f);
    EXPECT_EQ(p.y, 0.0f);
    EXPECT_FLOAT_EQ(p.z, -0.8f);
    EXPECT_EQ(p.w, 7.0f);

    // Lengths whose square would under- or overflow a float still normalise.
    for (float size : {1e-30f, 1e30f}) {
        IP_3Coord q(size, size, 0);
        ASSERT_TRUE(q.Normalize()) << size;
        EXPECT_FLOAT_EQ(q.x, std::sqrt(0.5f)) << size;
        EXPECT_FLOAT_EQ(q.y, std::sqrt(0.5f)) << size;
    }
}

TEST(IP_3Coord, NormalizeLeavesAZeroOrNonFiniteVectorUnchanged) {
    IP_3Coord zero(0, 0, 0, 1);
    EXPECT_FALSE(zero.Normalize());
    EXPECT_EQ(zero.x, 0.0f);
    EXPECT_EQ(zero.y, 0.0f);
    EXPECT_EQ(zero.z, 0.0f);

    IP_3Coord withNaN(1, std::nanf(""), 0);
    EXPECT_FALSE(withNaN.Normalize());
    EXPECT_EQ(withNaN.x, 1.0f);

    IP_3Coord withInf(INFINITY, 1, 0);
    EXPECT_FALSE(withInf.Normalize());
    EXPECT_EQ(withInf.y, 1.0f);
}

TEST(IP_3Coord, WithinDistanceFromLineMeasuresToTheSegmentNotTheLine) {
    const IP_3Coord from(0, 0, 0);
    const IP_3Coord to(10, 0, 0);
    EXPECT_TRUE(IP_3Coord(5, 1, 0).WithinDistanceFromLine(from, to, 1.0f));
    EXPECT_FALSE(IP_3Coord(5, 1.1f, 0).WithinDistanceFromLine(from, to, 1.0f));
    // Distance in 3-D: z counts.
    EXPECT_FALSE(IP_3Coord(5, 0.8f, 0.8f).WithinDistanceFromLine(from, to, 1.0f));
    // Beyond an end, the distance is to that end point.
    EXPECT_TRUE(IP_3Coord(10.6f, 0.6f, 0).WithinDistanceFromLine(from, to, 1.0f));
    EXPECT_FALSE(IP_3Coord(11.5f, 0, 0).WithinDistanceFromLine(from, to, 1.0f));
    EXPECT_FALSE(IP_3Coord(-1.5f, 0, 0).WithinDistanceFromLine(from, to, 1.0f));
    // The direction of the segment does not matter; w plays no part.
    EXPECT_TRUE(IP_3Coord(5, 1, 0, 0).WithinDistanceFromLine(to, from, 1.0f));
}

TEST(IP_3Coord, WithinDistanceFromLineHandlesDegenerateInput) {
    const IP_3Coord dot(2, 2, 2);
    EXPECT_TRUE(IP_3Coord(2, 2.5f, 2).WithinDistanceFromLine(dot, dot, 0.5f));
    EXPECT_FALSE(IP_3Coord(2, 2.6f, 2).WithinDistanceFromLine(dot, dot, 0.5f));
    EXPECT_TRUE(IP_3Coord(2, 2, 2).WithinDistanceFromLine(dot, dot, 0.0f));
    EXPECT_FALSE(IP_3Coord(2, 2, 2).WithinDistanceFromLine(dot, dot, -1.0f));
    EXPECT_FALSE(IP_3Coord(2, 2, 2).WithinDistanceFromLine(dot, dot, std::nanf("")));
    EXPECT_FALSE(IP_3Coord(std::nanf(""), 2, 2).WithinDistanceFromLine(dot, IP_3Coord(), 5.0f));
}
