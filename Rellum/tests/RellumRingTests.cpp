#include "Rellum/RellumRing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <random>
#include <vector>

namespace {

using Ring = RellumRing<std::unique_ptr<int>>;

std::vector<int> contents(const Ring& ring) {
    std::vector<int> out;
    for (const auto& value : ring)
        out.push_back(value ? *value : -1);
    return out;
}

std::vector<int> contents(const std::deque<int>& model) {
    return {model.begin(), model.end()};
}

// Values put into the gap the ring opens at `at`.
void insertAt(Ring& ring, std::size_t at, const std::vector<int>& values) {
    ring.insertEmpty(at, values.size());
    for (std::size_t k = 0; k < values.size(); ++k)
        ring[at + k] = std::make_unique<int>(values[k]);
}

// Random insertions and erasures at the ends (a line at the bottom, the
// oldest line dropped) and on either side of the middle, across the wrap of
// the ring and its growth, against a deque.
TEST(RellumRing, MatchesADequeThroughWrapsGrowthAndMovesOfEitherSide) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
        std::mt19937 rng(seed);
        auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
        Ring ring;
        std::deque<int> model;
        int next = 0;
        for (int step = 0; step < 600; ++step) {
            const std::size_t what = pick(10);
            if (what < 4) {
                insertAt(ring, model.size(), {next});
                model.push_back(next++);
            } else if (what < 6 && !model.empty()) {
                ring.erase(0, 1);
                model.pop_front();
            } else if (what < 8) {
                const std::size_t at = pick(model.size() + 1);
                std::vector<int> fresh;
                const std::size_t n = 1 + pick(5);
                for (std::size_t k = 0; k < n; ++k) {
                    fresh.push_back(next);
                    model.insert(model.begin() + int64_t(at + k), next++);
                }
                insertAt(ring, at, fresh);
            } else if (!model.empty()) {
                const std::size_t first = pick(model.size());
                const std::size_t last = first + pick(std::min<std::size_t>(6, model.size() - first + 1));
                ring.erase(first, last);
                model.erase(model.begin() + int64_t(first), model.begin() + int64_t(last));
            }
            ASSERT_EQ(contents(ring), contents(model)) << "seed " << seed << " step " << step;
        }
    }
}

TEST(RellumRing, IteratorsServeBinarySearchAndDistances) {
    Ring ring;
    // Wrapped: the front has been taken from and the end added to.
    for (int i = 0; i < 12; ++i)
        insertAt(ring, ring.size(), {i * 10});
    ring.erase(0, 8);
    for (int i = 12; i < 22; ++i)
        insertAt(ring, ring.size(), {i * 10});
    auto it = std::lower_bound(ring.begin(), ring.end(), 155,
                               [](const std::unique_ptr<int>& v, int target) { return *v < target; });
    ASSERT_NE(it, ring.end());
    EXPECT_EQ(**it, 160);
    EXPECT_EQ(it - ring.begin(), 8);
    EXPECT_EQ(*ring[ring.size() - 1], 210);
    EXPECT_EQ(ring.end() - ring.begin(), int64_t(ring.size()));
}

} // namespace
