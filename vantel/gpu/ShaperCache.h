#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/gfx/Font.h"
#include "platform/gfx/Shaper.h"
#include "vantel/view/TextAttributes.h"

namespace vantel {

// A shaped text's key: the font by its id and size, and the text.
struct ShaperKey {
    uint64_t fontId = 0;
    double fontSize = 0;
    std::u16string text;
    friend bool operator==(const ShaperKey&, const ShaperKey&) = default;
};

// Consecutive glyphs drawn with one font (the fallback face when the requested one lacks them).
// Each glyph carries its position in points from the text's start and its UTF-16 index.
struct ShaperGlyphRun {
    platform::gfx::FontRef font;
    std::vector<platform::gfx::ShapedGlyph> glyphs;
};

// The shaping of one text: its glyph runs left to right, empty ones left out.
struct ShaperRun {
    std::vector<ShaperGlyphRun> glyphRuns;
    size_t glyphCount = 0;
};

// Shaped texts for the GPU rows, at most maxEntries of them, the first inserted going first
// (a hit does not move a text). A text is shaped as the view shapes an attribute run: one shaper
// call, left to right, the view's fallback and emoji rules. Main thread only.
class ShaperCache {
public:
    static constexpr size_t maxEntries = 2048;

    // Null for an empty text or one that shapes to no glyph run (nothing is stored then).
    std::shared_ptr<const ShaperRun> shape(std::u16string_view text, const platform::gfx::FontRef& font);
    void insert(ShaperKey key, std::shared_ptr<const ShaperRun> run);

    size_t count() const { return cache_.size(); }
    const std::deque<ShaperKey>& order() const { return order_; }
    bool contains(const ShaperKey& key) const { return cache_.count(key) != 0; }
    // Texts shaped so far (misses).
    uint64_t shapedCount() const { return shaped_; }
    void clear();

private:
    struct KeyHash {
        size_t operator()(const ShaperKey& key) const;
    };
    std::unordered_map<ShaperKey, std::shared_ptr<const ShaperRun>, KeyHash> cache_;
    std::deque<ShaperKey> order_;
    uint64_t shaped_ = 0;
};

}  // namespace vantel
