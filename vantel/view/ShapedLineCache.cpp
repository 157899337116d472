#include "vantel/view/ShapedLineCache.h"

#include "vantel/core/UnicodeUtil.h"

namespace vantel {

namespace {

bool isEmojiPresentation(char32_t c) { return UnicodeUtil::isEmojiPresentation(c); }

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
    uint64_t h = 0xCBF29CE484222325ull ^ k.length;
    for (size_t i = 0; i < k.length; ++i) h = (h ^ k.text[i]) * 0x100000001B3ull;
    for (size_t i = 0; i < k.runCount; ++i) h = (h ^ (k.runs[i].fontId << 8 | k.runs[i].length)) * 0x100000001B3ull;
    return static_cast<size_t>(h ^ (h >> 32));
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
    auto it = entries_.find(key);
    if (it != entries_.end()) return it->second;
    if (entries_.size() >= capacity) entries_.clear();
    auto line = std::make_shared<const ShapedLine>(ShapedLine::shape(text));
    entries_.emplace(key, line);
    return line;
}

std::shared_ptr<const ShapedLine> cachedShapedLine(const AttributedText& text) {
    return ShapedLineCache::shared().line(text);
}

}  // namespace vantel
