#include "vantel/view/ShapedLineCache.h"

#include <cstring>

#include "platform/gfx/HashCombine.h"
#include "vantel/view/FallbackFontCache.h"

namespace vantel {

namespace {

const platform::gfx::FontRef& fontOf(const TextAttributes& attributes) {
    static const platform::gfx::FontRef systemFont = platform::gfx::Font::systemFont();
    return attributes.font ? attributes.font : systemFont;
}

}  // namespace

ShapedLine ShapedLine::shape(const AttributedText& text) {
    ShapedLine line;
    std::u16string_view all(text.text);
    size_t start = 0;
    for (size_t i = 0; i < text.runs.size() && start < all.size(); ++i) {
        size_t length = std::min<size_t>(text.runs[i].length, all.size() - start);
        platform::gfx::ShapedText shaped =
            platform::gfx::Shaper::shape(all.substr(start, length), fontOf(text.runs[i].attributes), isEmojiPresentation);
        // Runs are shaped apart (the terminal never splits a cluster between attributes); their
        // positions and clusters continue from the runs before.
        for (platform::gfx::GlyphRun& run : shaped.runs) {
            run.start += static_cast<uint32_t>(start);
            for (platform::gfx::ShapedGlyph& g : run.glyphs) {
                g.x += line.width;
                g.cluster += static_cast<uint32_t>(start);
            }
            line.runs.push_back(Run{i, std::move(run)});
        }
        line.width += shaped.width;
        start += length;
    }
    return line;
}

size_t ShapedLineCache::KeyHash::operator()(const Key& k) const {
    using platform::gfx::hashCombine;
    // The text four units at a time (units past its length are zero, so all of it can be taken).
    uint64_t words[sizeof(k.text) / sizeof(uint64_t)];
    std::memcpy(words, k.text.data(), sizeof(words));
    size_t h = k.length;
    for (uint64_t word : words) h = hashCombine(h, word);
    for (size_t i = 0; i < k.runCount; ++i) h = hashCombine(h, k.runs[i].fontId << 8 | k.runs[i].length);
    return h;
}

ShapedLineCache& ShapedLineCache::shared() {
    // Destroyed at exit, so no font outlives the process's end (leak checkers cannot follow the
    // offsets inside fontconfig's patterns).
    static ShapedLineCache cache;
    return cache;
}

std::shared_ptr<const ShapedLine> ShapedLineCache::line(const AttributedText& text) {
    // The run count only passes the unit count when runs are empty; such texts are not cached.
    if (text.text.size() > maxUnits || text.runs.size() > maxUnits) {
        return std::make_shared<const ShapedLine>(ShapedLine::shape(text));
    }
    Key key;
    key.length = static_cast<uint8_t>(text.text.size());
    std::copy(text.text.begin(), text.text.end(), key.text.begin());
    for (const AttributedText::Run& run : text.runs) {
        key.runs[key.runCount++] = RunKey{fontOf(run.attributes)->id(), run.length};
    }
    if (auto* found = entries_.find(key)) return *found;
    return entries_.insert(key, std::make_shared<const ShapedLine>(ShapedLine::shape(text)));
}

std::shared_ptr<const ShapedLine> cachedShapedLine(const AttributedText& text) {
    return ShapedLineCache::shared().line(text);
}

}  // namespace vantel
