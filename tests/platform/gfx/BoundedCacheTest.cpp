#include "platform/gfx/BoundedCache.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "platform/gfx/HashCombine.h"

using namespace platform::gfx;

namespace {

using Cache = BoundedCache<int, int>;
constexpr auto clearing = Cache::Eviction::clearWhenFull;
constexpr auto lru = Cache::Eviction::leastRecentlyUsed;

// Runs a script of steps over a cache: "i3:10" inserts key 3 (value 30) costing 10 bytes, "f3"
// finds key 3, "e3" erases it. Returns the keys left.
std::set<int> run(Cache& cache, const std::string& script) {
    std::istringstream steps(script);
    std::string step;
    while (steps >> step) {
        const int key = std::stoi(step.substr(1));
        if (step[0] == 'i') {
            const size_t colon = step.find(':');
            cache.insert(key, key * 10, colon == std::string::npos ? 0 : std::stoul(step.substr(colon + 1)));
        } else if (step[0] == 'f') {
            if (int* v = cache.find(key)) {
                EXPECT_EQ(*v, key * 10) << step;
            }
        } else if (step[0] == 'e') {
            cache.erase(key);
        }
    }
    std::set<int> left;
    for (int k = 0; k < 100; ++k) {
        if (cache.peek(k)) left.insert(k);
    }
    return left;
}

}  // namespace

TEST(BoundedCache, EvictsAsItsPolicySays) {
    struct Case {
        const char* name;
        Cache::Eviction eviction;
        Cache::Limits limits;
        const char* script;
        std::set<int> left;
        uint64_t hits, misses, evictions;
        size_t bytes;
    } cases[] = {
        {"clearing: the entry past the limit empties it first", clearing, {.entries = 3}, "i1 i2 i3 i4", {4}, 0, 0, 3, 0},
        {"clearing: within the limit nothing goes", clearing, {.entries = 3}, "i1 i2 i3 f1 f2 f9", {1, 2, 3}, 2, 1, 0, 0},
        {"clearing: replacing a key at the limit keeps the others", clearing, {.entries = 3}, "i1 i2 i3 i2", {1, 2, 3},
         0, 0, 0, 0},
        {"clearing: bytes past the limit empty it", clearing, {.bytes = 100}, "i1:40 i2:40 i3:30", {3}, 0, 0, 2, 30},
        {"clearing: bytes exactly at the limit fit", clearing, {.bytes = 100}, "i1:40 i2:60", {1, 2}, 0, 0, 0, 100},
        {"clearing: an entry larger than the limit is still kept", clearing, {.bytes = 100}, "i1:10 i2:150", {2}, 0, 0,
         1, 150},
        {"lru: the least recently inserted goes", lru, {.entries = 3}, "i1 i2 i3 i4", {2, 3, 4}, 0, 0, 1, 0},
        {"lru: a find makes an entry recent", lru, {.entries = 3}, "i1 i2 i3 f1 i4", {1, 3, 4}, 1, 0, 1, 0},
        {"lru: a replaced key becomes recent", lru, {.entries = 3}, "i1 i2 i3 i1 i4", {1, 3, 4}, 0, 0, 1, 0},
        {"lru: bytes drop as many as needed", lru, {.bytes = 100}, "i1:30 i2:30 i3:30 i4:80", {4}, 0, 0, 3, 80},
        {"lru: both limits hold", lru, {.entries = 2, .bytes = 100}, "i1:10 i2:10 i3:10 f2 i4:90", {2, 4}, 1, 0, 2, 100},
        {"lru: an erased entry leaves the order", lru, {.entries = 2}, "i1 i2 e1 i3 f2 f1", {2, 3}, 1, 1, 0, 0},
        {"lru: the newest alone over the limit stays", lru, {.bytes = 50}, "i1:10 i2:70", {2}, 0, 0, 1, 70},
    };
    for (const Case& c : cases) {
        Cache cache(c.limits, c.eviction);
        EXPECT_EQ(run(cache, c.script), c.left) << c.name;
        EXPECT_EQ(cache.counters().hits, c.hits) << c.name;
        EXPECT_EQ(cache.counters().misses, c.misses) << c.name;
        EXPECT_EQ(cache.counters().evictions, c.evictions) << c.name;
        EXPECT_EQ(cache.bytes(), c.bytes) << c.name;
        EXPECT_EQ(cache.size(), c.left.size()) << c.name;
    }
}

TEST(BoundedCache, KeepsWhatTheCallerHoldsOnToOverItsLimit) {
    Cache cache({.entries = 2}, lru);
    auto pinned = [](const int& value) { return value == 10; };
    cache.insert(1, 10, 0, pinned);
    cache.insert(2, 20, 0, pinned);
    cache.insert(3, 30, 0, pinned);  // 1 is the oldest but held: nothing goes
    EXPECT_EQ(run(cache, ""), (std::set<int>{1, 2, 3}));
    cache.insert(4, 40);  // unheld now: 1 and 2 go
    EXPECT_EQ(run(cache, ""), (std::set<int>{3, 4}));
}

TEST(BoundedCache, ARefusedEntryIsAMissAndGoes) {
    Cache cache({.entries = 4});
    cache.insert(1, 10);
    EXPECT_EQ(cache.find(1, [](const int& v) { return v != 10; }), nullptr);
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(cache.counters().misses, 1u);
    cache.insert(1, 11);
    ASSERT_NE(cache.find(1, [](const int& v) { return v == 11; }), nullptr);
    EXPECT_EQ(cache.counters().hits, 1u);
}

TEST(BoundedCache, KeysWhoseHashesCollideStayApart) {
    struct Collide {
        size_t operator()(const std::string&) const { return 7; }
    };
    for (auto eviction : {BoundedCache<std::string, int, Collide>::Eviction::clearWhenFull,
                          BoundedCache<std::string, int, Collide>::Eviction::leastRecentlyUsed}) {
        BoundedCache<std::string, int, Collide> cache({.entries = 3}, eviction);
        cache.insert("a", 1);
        cache.insert("b", 2);
        cache.insert("c", 3);
        ASSERT_NE(cache.find("b"), nullptr);
        EXPECT_EQ(*cache.find("b"), 2);
        EXPECT_EQ(*cache.find("c"), 3);
        EXPECT_EQ(cache.find("d"), nullptr);
        cache.erase("a");
        EXPECT_EQ(cache.find("a"), nullptr);
        EXPECT_EQ(*cache.find("b"), 2);
    }
}

TEST(BoundedCache, ClearAndEraseAreNotEvictions) {
    Cache cache({.entries = 2, .bytes = 100}, lru);
    run(cache, "i1:10 i2:20 e1");
    EXPECT_EQ(cache.bytes(), 20u);
    cache.clear();
    EXPECT_EQ(cache.bytes(), 0u);
    EXPECT_EQ(cache.counters().evictions, 0u);
    // The order was emptied with the entries: a new run evicts the right one.
    EXPECT_EQ(run(cache, "i3 i4 i5"), (std::set<int>{4, 5}));
    cache.resetCounters();
    EXPECT_EQ(cache.counters().evictions, 0u);
}

TEST(BoundedCache, NewLimitsTakeEffectAtTheNextInsertion) {
    Cache cache({.bytes = 100}, lru);
    run(cache, "i1:40 i2:40");
    cache.setLimits({.bytes = 50});
    EXPECT_EQ(cache.size(), 2u);
    EXPECT_EQ(run(cache, "i3:10"), (std::set<int>{2, 3}));
}

TEST(HashCombine, OrderAndEveryValueCount) {
    const size_t ab = hashCombine(hashCombine(0, 1), 2);
    EXPECT_NE(ab, hashCombine(hashCombine(0, 2), 1));
    EXPECT_NE(ab, hashCombine(hashCombine(0, 1), 3));
    EXPECT_NE(hashCombine(0, 0), hashCombine(0, 1));
    // Small neighbouring keys spread over the low bits that pick a bucket.
    std::set<size_t> buckets;
    for (uint64_t v = 0; v < 64; ++v) buckets.insert(hashCombine(0, v) % 64);
    EXPECT_GT(buckets.size(), 32u);
}
