#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <unordered_map>
#include <utility>

namespace platform::gfx {

// What a cache answered: hits, misses, and entries dropped to make room (not by clear() or erase()).
struct CacheCounters {
    uint64_t hits = 0;
    uint64_t misses = 0;
    uint64_t evictions = 0;
};

// A map that stays within a number of entries, a number of bytes, or both. When an insertion would
// pass a limit, a cache of `Eviction::clearWhenFull` is emptied wholesale first (cheap to keep, and
// right where a working set either fits or does not); one of `Eviction::leastRecentlyUsed` drops its
// least recently used entries after the insertion until it is back within its limits. Counts hits,
// misses and evicted entries for the benchmarks. Values stay where they are until their entry goes.
// Not thread-safe.
template <typename K, typename V, typename Hash = std::hash<K>>
class BoundedCache {
public:
    enum class Eviction : uint8_t { clearWhenFull, leastRecentlyUsed };
    static constexpr size_t unlimited = std::numeric_limits<size_t>::max();

    struct Limits {
        size_t entries = unlimited;
        size_t bytes = unlimited;
    };
    using Counters = CacheCounters;

    explicit BoundedCache(Limits limits, Eviction eviction = Eviction::clearWhenFull)
        : limits_(limits), eviction_(eviction) {}
    BoundedCache(const BoundedCache&) = delete;
    BoundedCache& operator=(const BoundedCache&) = delete;

    // The value, counted as a hit (and made the most recent), or null, counted as a miss. The
    // table's own lookup is inlined here: lookups are the hot path of every cache.
    [[gnu::flatten]] V* find(const K& key) {
        auto it = entries_.find(key);
        return it == entries_.end() ? miss() : hit(it->second);
    }
    // As find(), where a stored value `valid` refuses is dropped and counted as a miss.
    template <typename Valid>
    V* find(const K& key, Valid&& valid) {
        auto it = entries_.find(key);
        if (it == entries_.end()) return miss();
        if (!valid(std::as_const(it->second.value))) {
            remove(it);
            return miss();
        }
        return hit(it->second);
    }
    // Without counting or reordering.
    const V* peek(const K& key) const {
        auto it = entries_.find(key);
        return it == entries_.end() ? nullptr : &it->second.value;
    }
    V* peek(const K& key) {
        auto it = entries_.find(key);
        return it == entries_.end() ? nullptr : &it->second.value;
    }

    // Stores the value (replacing the key's old one) as the most recent entry of `bytes` bytes.
    V& insert(const K& key, V value, size_t bytes = 0) {
        return insert(key, std::move(value), bytes, [](const V&) { return false; });
    }
    // As insert(); a least-recently-used cache keeps the entries `keep` holds on to, over its limits
    // if need be (and always the new one). Out of line, so that the callers' lookups inline.
    template <typename Keep>
    [[gnu::noinline]] V& insert(const K& key, V value, size_t bytes, Keep&& keep) {
        if (auto it = entries_.find(key); it != entries_.end()) remove(it);
        if (eviction_ == Eviction::clearWhenFull && !fits(entries_.size() + 1, bytes_ + bytes)) {
            counters_.evictions += entries_.size();
            clear();
        }
        auto [it, inserted] = entries_.try_emplace(key, std::move(value), bytes);
        it->second.key = &it->first;
        bytes_ += bytes;
        link(it->second);
        if (eviction_ == Eviction::leastRecentlyUsed) {
            while (!fits(entries_.size(), bytes_) && oldest_ != &it->second && !keep(std::as_const(oldest_->value))) {
                ++counters_.evictions;
                remove(entries_.find(*oldest_->key));
            }
        }
        return it->second.value;
    }

    void erase(const K& key) {
        if (auto it = entries_.find(key); it != entries_.end()) remove(it);
    }
    // Drops every entry `drop` says to, uncounted.
    template <typename Drop>
    void eraseIf(Drop&& drop) {
        for (auto it = entries_.begin(); it != entries_.end();) {
            auto next = std::next(it);
            if (drop(std::as_const(it->second.value))) remove(it);
            it = next;
        }
    }
    void clear() {
        entries_.clear();
        oldest_ = newest_ = nullptr;
        bytes_ = 0;
    }

    // New limits take effect at the next insertion.
    void setLimits(Limits limits) { limits_ = limits; }
    Limits limits() const { return limits_; }
    size_t size() const { return entries_.size(); }
    size_t bytes() const { return bytes_; }
    const Counters& counters() const { return counters_; }
    void resetCounters() { counters_ = {}; }

private:
    // Map nodes never move, so the recency list links them in place.
    struct Slot {
        Slot(V v, size_t b) : value(std::move(v)), bytes(b) {}
        V value;
        size_t bytes;
        const K* key = nullptr;
        Slot* older = nullptr;
        Slot* newer = nullptr;
    };
    using Map = std::unordered_map<K, Slot, Hash>;

    V* miss() {
        ++counters_.misses;
        return nullptr;
    }
    V* hit(Slot& slot) {
        ++counters_.hits;
        touch(slot);
        return &slot.value;
    }
    bool fits(size_t entries, size_t bytes) const { return entries <= limits_.entries && bytes <= limits_.bytes; }

    void link(Slot& slot) {
        if (eviction_ != Eviction::leastRecentlyUsed) return;
        slot.older = newest_;
        slot.newer = nullptr;
        if (newest_) newest_->newer = &slot;
        newest_ = &slot;
        if (!oldest_) oldest_ = &slot;
    }
    void unlink(Slot& slot) {
        if (eviction_ != Eviction::leastRecentlyUsed) return;
        (slot.older ? slot.older->newer : oldest_) = slot.newer;
        (slot.newer ? slot.newer->older : newest_) = slot.older;
    }
    void touch(Slot& slot) {
        if (eviction_ != Eviction::leastRecentlyUsed || newest_ == &slot) return;
        unlink(slot);
        link(slot);
    }
    void remove(typename Map::iterator it) {
        unlink(it->second);
        bytes_ -= it->second.bytes;
        entries_.erase(it);
    }

    Map entries_;
    Limits limits_;
    Eviction eviction_;
    Slot* oldest_ = nullptr;
    Slot* newest_ = nullptr;
    size_t bytes_ = 0;
    Counters counters_;
};

}  // namespace platform::gfx
