#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "UTL/UTL_Numeric.h"

TEST(UTL_TruncToInt, TruncatesTowardZeroInsideTheIntRange) {
    EXPECT_EQ(UTL_TruncToInt(127.99), 127);
    EXPECT_EQ(UTL_TruncToInt(-127.99), -127);
    EXPECT_EQ(UTL_TruncToInt(0.49f), 0);
    EXPECT_EQ(UTL_TruncToInt(-0.99f), 0);
    EXPECT_EQ(UTL_TruncToInt(2147483647.9), INT_MAX);
    EXPECT_EQ(UTL_TruncToInt(-2147483648.9), INT_MIN);
    EXPECT_EQ(UTL_TruncToInt(16777217.0f), 16777216);  // the float itself is 2^24
}

TEST(UTL_TruncToInt, GivesZeroForNaNAndSaturatesBeyondTheRange) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(UTL_TruncToInt(std::nan("")), 0);
    EXPECT_EQ(UTL_TruncToInt(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(UTL_TruncToInt(inf), INT_MAX);
    EXPECT_EQ(UTL_TruncToInt(-inf), INT_MIN);
    EXPECT_EQ(UTL_TruncToInt(std::numeric_limits<float>::infinity()), INT_MAX);
    EXPECT_EQ(UTL_TruncToInt(2147483648.0), INT_MAX);
    EXPECT_EQ(UTL_TruncToInt(-2147483649.0), INT_MIN);
    EXPECT_EQ(UTL_TruncToInt(3.0e38f), INT_MAX);
    EXPECT_EQ(UTL_TruncToInt(-1e300), INT_MIN);
}

TEST(UTL_MaxPixelValue, IsTwoToTheBitsMinusOneAndSaturates) {
    EXPECT_EQ(UTL_MaxPixelValue(0), 0);
    EXPECT_EQ(UTL_MaxPixelValue(1), 1);
    EXPECT_EQ(UTL_MaxPixelValue(12), 4095);
    EXPECT_EQ(UTL_MaxPixelValue(16), 65535);
    EXPECT_EQ(UTL_MaxPixelValue(30), 1073741823);
    EXPECT_EQ(UTL_MaxPixelValue(31), INT_MAX);
    EXPECT_EQ(UTL_MaxPixelValue(64), INT_MAX);
    EXPECT_EQ(UTL_MaxPixelValue(-3), 0);
}
