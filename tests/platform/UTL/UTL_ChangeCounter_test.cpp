#include <gtest/gtest.h>

#include "UTL/UTL_ChangeCounter.h"

TEST(UTL_ChangeCounter, OperatorsAddCompareAndReadTheValue) {
    UTL_ChangeCounter a;
    EXPECT_EQ(*a, 0);
    ++a;
    ++a;
    UTL_ChangeCounter b(5);
    EXPECT_EQ(*(a + b), 7);
    EXPECT_NE(a, b);
    a = b;
    EXPECT_EQ(a, b);
    a = 41;
    EXPECT_EQ(*++a, 42);
}

TEST(UTL_ChangeCounter, IncrementWrapsInsteadOfOverflowing) {
    UTL_ChangeCounter counter(2147483647);
    ++counter;
    EXPECT_EQ(*counter, -2147483647 - 1);
}

TEST(UTL_ChangeCounter, SumWrapsAndLeavesBothOperands) {
    const UTL_ChangeCounter a(2147483647);
    const UTL_ChangeCounter b(2);
    const UTL_ChangeCounter sum = a + b;
    EXPECT_EQ(*sum, -2147483647);
    EXPECT_EQ(*a, 2147483647);
    EXPECT_EQ(*b, 2);
    EXPECT_TRUE(a != b);
    EXPECT_FALSE(a == b);
    EXPECT_EQ(UTL_ChangeCounter(-3).GetCounter(), -3);
}
