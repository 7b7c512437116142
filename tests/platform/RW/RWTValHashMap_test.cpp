#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "RW/RWCollectable.h"
#include "RW/RWTValHashMap.h"

namespace {

struct LengthHash {
    unsigned operator()(const std::string& s) const { return static_cast<unsigned>(s.size()); }
};
// Every key in one bucket: lookups must rest on the equality functor alone.
struct ConstantHash {
    unsigned operator()(const std::string& /*s*/) const { return 7u; }
};
struct ExactEqual {
    bool operator()(const std::string& a, const std::string& b) const { return a == b; }
};
// Equal when the first letters match: the map must use this, not operator==.
struct FirstLetterEqual {
    bool operator()(const std::string& a, const std::string& b) const {
        return a.substr(0, 1) == b.substr(0, 1);
    }
};
struct FirstLetterHash {
    unsigned operator()(const std::string& s) const {
        return s.empty() ? 0u : static_cast<unsigned char>(s[0]);
    }
};

}  // namespace

TEST(RWTValHashMap, InsertFindAndRemoveWorkUnderCollidingHashes) {
    RWTValHashMap<std::string, int, ConstantHash, ExactEqual> map;
    EXPECT_TRUE(map.isEmpty());
    EXPECT_TRUE(map.insertKeyAndValue("bone", 1));
    EXPECT_TRUE(map.insertKeyAndValue("lung", 2));
    EXPECT_TRUE(map.insertKeyAndValue("vessel", 3));
    EXPECT_EQ(map.entries(), 3u);

    int value = -1;
    EXPECT_TRUE(map.findValue("lung", value));
    EXPECT_EQ(value, 2);
    value = -1;
    EXPECT_FALSE(map.findValue("Lung", value));
    EXPECT_EQ(value, -1) << "a failed find leaves the out value alone";
    EXPECT_TRUE(map.contains("vessel"));
    EXPECT_FALSE(map.contains("lesion"));

    EXPECT_TRUE(map.remove("lung"));
    EXPECT_FALSE(map.remove("lung"));
    EXPECT_FALSE(map.contains("lung"));
    EXPECT_EQ(map.entries(), 2u);
    EXPECT_TRUE(map.findValue("bone", value));
    EXPECT_EQ(value, 1);
}

TEST(RWTValHashMap, DuplicateKeyIsRefusedAndKeepsTheFirstValue) {
    RWTValHashMap<std::string, int, LengthHash, ExactEqual> map;
    EXPECT_TRUE(map.insertKeyAndValue("minus", 1));
    EXPECT_FALSE(map.insertKeyAndValue("minus", 2));
    int value = 0;
    ASSERT_TRUE(map.findValue("minus", value));
    EXPECT_EQ(value, 1);
    EXPECT_EQ(map.entries(), 1u);
}

TEST(RWTValHashMap, KeyIdentityComesFromTheEqualityFunctor) {
    RWTValHashMap<std::string, int, FirstLetterHash, FirstLetterEqual> map;
    EXPECT_TRUE(map.insertKeyAndValue("bone", 1));
    EXPECT_FALSE(map.insertKeyAndValue("brain", 2));
    int value = 0;
    EXPECT_TRUE(map.findValue("bxx", value));
    EXPECT_EQ(value, 1);
    EXPECT_TRUE(map.remove("b"));
    EXPECT_TRUE(map.isEmpty());
}

TEST(RWTValHashMap, SubscriptInsertsANullValueForAMissingKey) {
    RWTValHashMap<std::string, int*, LengthHash, ExactEqual> map;
    EXPECT_EQ(map["vessel"], nullptr);
    EXPECT_EQ(map.entries(), 1u);
    int target = 5;
    map["vessel"] = &target;
    int* found = nullptr;
    ASSERT_TRUE(map.findValue("vessel", found));
    EXPECT_EQ(found, &target);
}

TEST(RWTValHashMap, IterationVisitsEveryEntryOnceAndClearLeavesPointeesAlone) {
    auto owned = std::make_unique<int>(42);
    RWTValHashMap<std::string, int*, ConstantHash, ExactEqual> map;
    int a = 1, b = 2;
    map.insertKeyAndValue("a", &a);
    map.insertKeyAndValue("b", &b);
    map.insertKeyAndValue("owned", owned.get());
    std::map<std::string, int> seen;
    for (const auto& entry : map) {
        seen[entry.first] += *entry.second;
    }
    EXPECT_EQ(seen, (std::map<std::string, int>{{"a", 1}, {"b", 2}, {"owned", 42}}));
    map.clear();
    EXPECT_TRUE(map.isEmpty());
    EXPECT_EQ(*owned, 42);
}

TEST(RWCollectable, BaseOperationsAreIdentityBasedAndStoreNothing) {
    RWCollectable a;
    RWCollectable b;
    EXPECT_EQ(a.isA(), RWCollectable::classID);
    EXPECT_EQ(a.binaryStoreSize(), 0u);
    EXPECT_TRUE(a.isEqual(&a));
    EXPECT_FALSE(a.isEqual(&b));
    EXPECT_FALSE(a.isEqual(nullptr));
    EXPECT_EQ(a.compareTo(&a), 0);
    EXPECT_EQ(a.compareTo(&b), -b.compareTo(&a));
    EXPECT_NE(a.compareTo(&b), 0);
    EXPECT_EQ(a.compareTo(nullptr), 1);
    EXPECT_EQ(a.hash(), a.hash());

    std::unique_ptr<RWCollectable> species(a.newSpecies());
    std::unique_ptr<RWCollectable> copy(a.copy());
    ASSERT_NE(species, nullptr);
    ASSERT_NE(copy, nullptr);
    EXPECT_FALSE(copy->isEqual(&a)) << "a copy is a distinct object";
    EXPECT_EQ(copy->isA(), RWCollectable::classID);
}
