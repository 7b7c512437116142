#include <gtest/gtest.h>

#include "UTL/UTL_Color.h"
#include "UTL/UTL_Point.h"

TEST(UTL_Color, DefaultIsBlackAndEqualityLooksAtEveryChannel) {
    const UTL_Color black;
    EXPECT_EQ(black, UTL_Color(0, 0, 0));
    EXPECT_EQ(black.GetRed() + black.GetGreen() + black.GetBlue(), 0);
    const UTL_Color c(255, 128, 7);
    EXPECT_EQ(c.GetRed(), 255);
    EXPECT_EQ(c.GetGreen(), 128);
    EXPECT_EQ(c.GetBlue(), 7);
    EXPECT_NE(c, UTL_Color(0, 128, 7));
    EXPECT_NE(c, UTL_Color(255, 0, 7));
    EXPECT_NE(c, UTL_Color(255, 128, 0));
    UTL_Color d;
    d = c;
    EXPECT_EQ(d, c);
    d.SetRed(1);
    d.SetGreen(2);
    d.SetBlue(3);
    EXPECT_EQ(d, UTL_Color(1, 2, 3));
    EXPECT_EQ(c, UTL_Color(255, 128, 7));
    // Channels are kept as given; clamping is the packer's business.
    EXPECT_EQ(UTL_Color(300, -1, 0).GetRed(), 300);
}

TEST(UTL_Point, DefaultIsTheOriginAndEqualityLooksAtBothCoordinates) {
    EXPECT_EQ(UTL_Point(), UTL_Point(0, 0));
    const UTL_Point p(3, -4);
    EXPECT_EQ(p.x, 3);
    EXPECT_EQ(p.y, -4);
    EXPECT_NE(p, UTL_Point(3, 4));
    EXPECT_NE(p, UTL_Point(-3, -4));
}
