#include "vantel/view/ShapedRowCache.h"

namespace vantel {

size_t ShapedRowCache::KeyHash::operator()(const Key& k) const {
    uint64_t h = std::hash<std::u16string>{}(k.text);
    for (uint64_t r : k.runs) h = (h ^ r) * 0x100000001B3ull;
    return static_cast<size_t>(h ^ (h >> 32));
}

ShapedRowCache& ShapedRowCache::shared() {
    // Destroyed at exit, so no font outlives the process's end.
    static ShapedRowCache cache;
    return cache;
}

std::shared_ptr<const ShapedLine> ShapedRowCache::line(const AttributedText& text) {
    static const platform::gfx::FontRef systemFont = platform::gfx::Font::systemFont();
    Key key{text.text, {}};
    key.runs.reserve(text.runs.size() * 2);
    for (const AttributedText::Run& run : text.runs) {
        key.runs.push_back((run.attributes.font ? run.attributes.font : systemFont)->id());
        key.runs.push_back(run.length);
    }
    auto it = entries_.find(key);
    if (it != entries_.end()) return it->second;
    if (entries_.size() >= capacity) entries_.clear();
    auto line = std::make_shared<const ShapedLine>(ShapedLine::shape(text));
    entries_.emplace(std::move(key), line);
    return line;
}

std::shared_ptr<const ShapedLine> cachedShapedRow(const AttributedText& text) {
    if (text.text.size() <= ShapedLineCache::maxUnits && text.runs.size() <= ShapedLineCache::maxUnits) {
        return cachedShapedLine(text);
    }
    return ShapedRowCache::shared().line(text);
}

}  // namespace vantel
