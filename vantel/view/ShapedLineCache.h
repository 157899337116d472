#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gfx/BoundedCache.h"
#include "platform/gfx/Shaper.h"
#include "vantel/view/AttributedText.h"

namespace vantel {

// An attributed text laid out: glyph runs left to right, each tied to the attribute run it draws
// (colours and decorations come from there, so they are not part of the layout).
struct ShapedLine {
    struct Run {
        size_t attributeRun = 0;  // index into AttributedText::runs
        platform::gfx::GlyphRun glyphs;
    };
    std::vector<Run> runs;
    double width = 0;

    // Shapes every attribute run with its font (the system font when it has none), with fallback.
    static ShapedLine shape(const AttributedText& text);
};

// Laid-out short texts, shared by every view: texts of at most maxUnits UTF-16 units are shaped
// once per text, fonts and run boundaries (not colours); longer ones are shaped every time.
// Emptied wholesale when full. Main thread only.
class ShapedLineCache {
public:
    static constexpr size_t capacity = 2048;
    static constexpr size_t maxUnits = 8;

    static ShapedLineCache& shared();

    std::shared_ptr<const ShapedLine> line(const AttributedText& text);

    size_t count() const { return entries_.size(); }
    const platform::gfx::CacheCounters& counters() const { return entries_.counters(); }
    void clear() { entries_.clear(); }

private:
    struct RunKey {
        uint64_t fontId;
        uint32_t length;
        friend bool operator==(const RunKey&, const RunKey&) = default;
    };
    struct Key {
        std::array<char16_t, maxUnits> text{};
        std::array<RunKey, maxUnits> runs{};
        uint8_t length = 0;
        uint8_t runCount = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const;
    };
    platform::gfx::BoundedCache<Key, std::shared_ptr<const ShapedLine>, KeyHash> entries_{{.entries = capacity}};
};

// ShapedLineCache::shared().line(text).
std::shared_ptr<const ShapedLine> cachedShapedLine(const AttributedText& text);

}  // namespace vantel
