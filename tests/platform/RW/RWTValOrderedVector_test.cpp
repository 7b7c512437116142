#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "RW/RWTValOrderedVector.h"

namespace {

using IntVector = RWTValOrderedVector<int>;

IntVector Make(std::initializer_list<int> values) {
    IntVector v;
    for (int value : values) {
        v.append(value);
    }
    return v;
}

std::vector<int> Items(const IntVector& v) {
    return {v.begin(), v.end()};
}

// Expects call to raise RWBoundsErr with exactly message and v to be unchanged.
void ExpectBoundsError(IntVector& v, const std::function<void()>& call,
                       const std::string& message) {
    const std::vector<int> before = Items(v);
    try {
        call();
        ADD_FAILURE() << "no RWBoundsErr for: " << message;
    } catch (const RWBoundsErr& e) {
        EXPECT_EQ(std::string(e.why()), message);
        EXPECT_STREQ(e.what(), e.why());
    }
    EXPECT_EQ(Items(v), before);
}

}  // namespace

TEST(RWTValOrderedVector, KeepsValuesInInsertionOrder) {
    IntVector v;
    EXPECT_TRUE(v.isEmpty());
    v.insert(3);
    v.append(1);
    v.insert(2);
    EXPECT_EQ(Items(v), (std::vector<int>{3, 1, 2}));
    EXPECT_EQ(v.entries(), 3u);
    EXPECT_EQ(v.length(), 3u);
    EXPECT_EQ(v.first(), 3);
    EXPECT_EQ(v.last(), 2);
    v[1] = 7;
    v(2) = 8;
    EXPECT_EQ(Items(v), (std::vector<int>{3, 7, 8}));
    const IntVector& cv = v;
    EXPECT_EQ(cv[1], 7);
    EXPECT_EQ(cv(2), 8);
    EXPECT_EQ(cv.data()[0], 3);
}

TEST(RWTValOrderedVector, EveryIndexedAccessChecksItsBound) {
    IntVector v = Make({10, 20});
    const IntVector& cv = v;
    const std::string two = "Index (2) out of range [0->2)";
    ExpectBoundsError(
        v, [&] { (void)v[2]; }, two);
    ExpectBoundsError(
        v, [&] { (void)v(2); }, two);
    ExpectBoundsError(
        v, [&] { (void)cv[2]; }, two);
    ExpectBoundsError(
        v, [&] { (void)cv(2); }, two);
    ExpectBoundsError(
        v, [&] { (void)v.removeAt(2); }, two);
    ExpectBoundsError(
        v, [&] { v.insertAt(3, 0); }, "Index (3) out of range [0->2)");

    // A negative int index reaches the vector as a huge unsigned one.
    const int minusOne = -1;
    const std::string huge =
        "Index (" + std::to_string(static_cast<std::size_t>(minusOne)) + ") out of range [0->2)";
    ExpectBoundsError(
        v, [&] { (void)v[static_cast<std::size_t>(minusOne)]; }, huge);
    ExpectBoundsError(
        v, [&] { (void)v(static_cast<std::size_t>(minusOne)); }, huge);
    ExpectBoundsError(
        v, [&] { (void)v.removeAt(static_cast<std::size_t>(minusOne)); }, huge);
    ExpectBoundsError(
        v, [&] { v.insertAt(static_cast<std::size_t>(minusOne), 0); }, huge);
}

TEST(RWTValOrderedVector, FirstAndLastOfAnEmptyVectorRaise) {
    IntVector v;
    const std::string zero = "Index (0) out of range [0->0)";
    ExpectBoundsError(
        v, [&] { (void)v.first(); }, zero);
    ExpectBoundsError(
        v, [&] { (void)v[0]; }, zero);
    ExpectBoundsError(
        v, [&] { (void)v.removeAt(0); }, zero);
    EXPECT_THROW((void)v.last(), RWBoundsErr);
}

TEST(RWTValOrderedVector, InsertAtShiftsLaterEntriesAndAcceptsTheCount) {
    IntVector v = Make({1, 3});
    v.insertAt(1, 2);
    v.insertAt(0, 0);
    v.insertAt(v.entries(), 4);
    EXPECT_EQ(Items(v), (std::vector<int>{0, 1, 2, 3, 4}));
    // Inserting a copy of one of its own entries is safe.
    v.insertAt(0, v[4]);
    EXPECT_EQ(Items(v), (std::vector<int>{4, 0, 1, 2, 3, 4}));
}

TEST(RWTValOrderedVector, RemoveAtAnswersTheEntryAndClosesTheGap) {
    IntVector v = Make({5, 6, 7});
    EXPECT_EQ(v.removeAt(1), 6);
    EXPECT_EQ(Items(v), (std::vector<int>{5, 7}));
    EXPECT_EQ(v.removeAt(1), 7);
    EXPECT_EQ(v.removeAt(0), 5);
    EXPECT_TRUE(v.isEmpty());
}

TEST(RWTValOrderedVector, ResizeSetsTheCountWithNullPointers) {
    RWTValOrderedVector<int*> v;
    v.resize(3);
    ASSERT_EQ(v.entries(), 3u);
    EXPECT_EQ(v[2], nullptr);
    v.clear();
    EXPECT_TRUE(v.isEmpty());
    v.reserve(10);
    EXPECT_EQ(v.entries(), 0u);
}

TEST(RWTValOrderedVector, CopiesAreIndependentValues) {
    RWTValOrderedVector<std::string> a;
    a.append("bone");
    RWTValOrderedVector<std::string> b = a;
    b[0] = "vessel";
    EXPECT_EQ(a[0], "bone");
}

TEST(RWBoundsErr, MessageNamesTheIndexAndTheCount) {
    EXPECT_STREQ(RWBoundsErr::Index(5, 3).why(), "Index (5) out of range [0->3)");
    EXPECT_STREQ(RWBoundsErr::Index(0, 0).what(), "Index (0) out of range [0->0)");
    // Callers that catch the standard range error see it too.
    EXPECT_THROW(throw RWBoundsErr::Index(1, 0), std::out_of_range);
}
