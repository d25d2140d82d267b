#include "Wendle/WendleArrays.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using V = std::vector<std::string>;

TEST(WendleArrays, MoveObjectEndsBeforeTheObjectThatStoodAtTheTarget) {
    V a{"a", "b", "c", "d"};
    EXPECT_TRUE(moveObjectAtIndex(a, 1, 3)); // before "d"
    EXPECT_EQ(a, (V{"a", "c", "b", "d"}));
    a = {"a", "b", "c", "d"};
    EXPECT_TRUE(moveObjectAtIndex(a, 3, 1)); // before "b"
    EXPECT_EQ(a, (V{"a", "d", "b", "c"}));
    a = {"a", "b", "c", "d"};
    EXPECT_TRUE(moveObjectAtIndex(a, 0, 4)); // the count: to the end
    EXPECT_EQ(a, (V{"b", "c", "d", "a"}));
    a = {"a", "b", "c", "d"};
    EXPECT_TRUE(moveObjectAtIndex(a, 3, 0));
    EXPECT_EQ(a, (V{"d", "a", "b", "c"}));
}

TEST(WendleArrays, MoveObjectOntoItselfOrItsSuccessorChangesNothing) {
    V a{"a", "b", "c"};
    EXPECT_TRUE(moveObjectAtIndex(a, 1, 1));
    EXPECT_EQ(a, (V{"a", "b", "c"}));
    EXPECT_TRUE(moveObjectAtIndex(a, 1, 2)); // before "c", where it already is
    EXPECT_EQ(a, (V{"a", "b", "c"}));
    EXPECT_TRUE(moveObjectAtIndex(a, 2, 3));
    EXPECT_EQ(a, (V{"a", "b", "c"}));
}

TEST(WendleArrays, MoveObjectRefusesIndexesOutOfRange) {
    V a{"a", "b"};
    EXPECT_FALSE(moveObjectAtIndex(a, 2, 0));
    EXPECT_FALSE(moveObjectAtIndex(a, 0, 3));
    EXPECT_EQ(a, (V{"a", "b"}));
    V empty;
    EXPECT_FALSE(moveObjectAtIndex(empty, 0, 0));
}

TEST(WendleArrays, MoveObjectsKeepTheirOrderAsOneBlock) {
    V a{"a", "b", "c", "d", "e", "f"};
    EXPECT_TRUE(moveObjectsAtIndexes(a, {4, 0, 2}, 5)); // any order in, array order out
    EXPECT_EQ(a, (V{"b", "d", "a", "c", "e", "f"}));
    a = {"a", "b", "c", "d", "e", "f"};
    EXPECT_TRUE(moveObjectsAtIndexes(a, {3, 5}, 1));
    EXPECT_EQ(a, (V{"a", "d", "f", "b", "c", "e"}));
    a = {"a", "b", "c", "d", "e", "f"};
    EXPECT_TRUE(moveObjectsAtIndexes(a, {1, 3}, 6));
    EXPECT_EQ(a, (V{"a", "c", "e", "f", "b", "d"}));
    a = {"a", "b", "c", "d", "e", "f"};
    EXPECT_TRUE(moveObjectsAtIndexes(a, {2, 4}, 0));
    EXPECT_EQ(a, (V{"c", "e", "a", "b", "d", "f"}));
}

TEST(WendleArrays, MoveObjectsWhenTheTargetObjectMovesToo) {
    // The block lands before the first object at or after the target that stays.
    V a{"a", "b", "c", "d", "e"};
    EXPECT_TRUE(moveObjectsAtIndexes(a, {0, 2, 3}, 2));
    EXPECT_EQ(a, (V{"b", "a", "c", "d", "e"}));
    a = {"a", "b", "c", "d", "e"};
    EXPECT_TRUE(moveObjectsAtIndexes(a, {3, 4}, 3)); // nothing stays after: the end
    EXPECT_EQ(a, (V{"a", "b", "c", "d", "e"}));
}

TEST(WendleArrays, MoveObjectsAgreesWithSingleMove) {
    for (std::size_t n = 1; n <= 5; ++n)
        for (std::size_t from = 0; from < n; ++from)
            for (std::size_t to = 0; to <= n; ++to) {
                std::vector<int> one(n), many(n);
                for (std::size_t i = 0; i < n; ++i)
                    one[i] = many[i] = static_cast<int>(i);
                ASSERT_TRUE(moveObjectAtIndex(one, from, to));
                ASSERT_TRUE(moveObjectsAtIndexes(many, {from}, to));
                EXPECT_EQ(one, many) << n << " " << from << " " << to;
            }
}

TEST(WendleArrays, MoveObjectsRefusesBadInputAndHandlesDuplicatesAndNothing) {
    V a{"a", "b", "c"};
    EXPECT_FALSE(moveObjectsAtIndexes(a, {0, 3}, 1));
    EXPECT_FALSE(moveObjectsAtIndexes(a, {0}, 4));
    EXPECT_EQ(a, (V{"a", "b", "c"}));
    EXPECT_TRUE(moveObjectsAtIndexes(a, {}, 1));
    EXPECT_EQ(a, (V{"a", "b", "c"}));
    EXPECT_TRUE(moveObjectsAtIndexes(a, {2, 2, 2}, 0));
    EXPECT_EQ(a, (V{"c", "a", "b"}));
}

TEST(WendleArrays, MovesWorkWithMoveOnlyObjects) {
    std::vector<std::unique_ptr<int>> a;
    for (int i = 0; i < 4; ++i)
        a.push_back(std::make_unique<int>(i));
    EXPECT_TRUE(moveObjectsAtIndexes(a, {0, 1}, 4));
    EXPECT_TRUE(moveObjectAtIndex(a, 3, 0));
    std::vector<int> values;
    for (auto& p : a)
        values.push_back(*p);
    EXPECT_EQ(values, (std::vector<int>{1, 2, 3, 0}));
}

TEST(WendleArrays, InsertObjectsPutsTheBlockInOrderBeforeTheIndex) {
    V a{"a", "b"};
    EXPECT_TRUE(wendle_insertObjects(a, V{"x", "y"}, 1));
    EXPECT_EQ(a, (V{"a", "x", "y", "b"}));
    EXPECT_TRUE(wendle_insertObjects(a, V{"z"}, 4)); // the count: at the end
    EXPECT_EQ(a, (V{"a", "x", "y", "b", "z"}));
    EXPECT_FALSE(wendle_insertObjects(a, V{"w"}, 6));
    EXPECT_EQ(a.size(), 5u);
}

} // namespace
