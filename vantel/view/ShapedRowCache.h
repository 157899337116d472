#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/BoundedCache.h"
#include "vantel/view/ShapedLineCache.h"

namespace vantel {

// Laid-out rows: texts longer than the short-run cache takes, shaped once per text, fonts and run
// boundaries (not colours) and shared by every view, so redrawing a row that did not change, or
// only moved (scrolling), shapes nothing. When full the least recently used row goes, one per new
// row: output that brings new rows every frame would otherwise pay for a thousand rows freed at
// once in one frame. Main thread only.
class ShapedRowCache {
public:
    static constexpr size_t capacity = 1024;

    static ShapedRowCache& shared();

    std::shared_ptr<const ShapedLine> line(const AttributedText& text);

    size_t count() const { return entries_.size(); }
    const platform::gfx::CacheCounters& counters() const { return entries_.counters(); }
    void clear() { entries_.clear(); }

private:
    struct Key {
        std::u16string text;
        std::vector<uint64_t> runs;  // font id and length of each run, interleaved
        friend bool operator==(const Key&, const Key&) = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const;
    };
    using Entries = platform::gfx::BoundedCache<Key, std::shared_ptr<const ShapedLine>, KeyHash>;
    Entries entries_{{.entries = capacity}, Entries::Eviction::leastRecentlyUsed};
};

// The layout of a segment's text from the short-run cache or the row cache, by its length.
std::shared_ptr<const ShapedLine> cachedShapedRow(const AttributedText& text);

}  // namespace vantel
