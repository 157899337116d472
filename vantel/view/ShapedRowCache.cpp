#include "vantel/view/ShapedRowCache.h"

#include "platform/gfx/HashCombine.h"

namespace vantel {

size_t ShapedRowCache::KeyHash::operator()(const Key& k) const {
    size_t h = std::hash<std::u16string>{}(k.text);
    for (uint64_t r : k.runs) h = platform::gfx::hashCombine(h, r);
    return h;
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
    if (auto* found = entries_.find(key)) return *found;
    return entries_.insert(key, std::make_shared<const ShapedLine>(ShapedLine::shape(text)));
}

std::shared_ptr<const ShapedLine> cachedShapedRow(const AttributedText& text) {
    if (text.text.size() <= ShapedLineCache::maxUnits && text.runs.size() <= ShapedLineCache::maxUnits) {
        return cachedShapedLine(text);
    }
    return ShapedRowCache::shared().line(text);
}

}  // namespace vantel
