#include "vantel/gpu/ShaperCache.h"

#include <bit>
#include <functional>

#include "vantel/view/ShapedLineCache.h"

namespace vantel {

size_t ShaperCache::KeyHash::operator()(const ShaperKey& key) const {
    uint64_t h = std::hash<std::u16string>{}(key.text);
    h = (h ^ key.fontId) * 0x100000001B3ull;
    h = (h ^ std::bit_cast<uint64_t>(key.fontSize)) * 0x100000001B3ull;
    return static_cast<size_t>(h ^ (h >> 32));
}

std::shared_ptr<const ShaperRun> ShaperCache::shape(std::u16string_view text, const platform::gfx::FontRef& font) {
    if (text.empty() || !font) return nullptr;
    ShaperKey key{font->id(), font->size(), std::u16string(text)};
    if (auto found = cache_.find(key); found != cache_.end()) return found->second;

    // The view's own shaping of one attribute run.
    AttributedText single;
    TextAttributes attributes;
    attributes.font = font;
    single.append(text, attributes);
    ShapedLine shaped = ShapedLine::shape(single);
    ++shaped_;
    auto run = std::make_shared<ShaperRun>();
    for (ShapedLine::Run& part : shaped.runs) {
        if (part.glyphs.glyphs.empty()) continue;
        run->glyphCount += part.glyphs.glyphs.size();
        run->glyphRuns.push_back(ShaperGlyphRun{std::move(part.glyphs.font), std::move(part.glyphs.glyphs)});
    }
    if (run->glyphRuns.empty()) return nullptr;
    insert(std::move(key), run);
    return run;
}

void ShaperCache::insert(ShaperKey key, std::shared_ptr<const ShaperRun> run) {
    auto [slot, added] = cache_.insert_or_assign(key, std::move(run));
    if (added) order_.push_back(std::move(key));
    while (order_.size() > maxEntries) {
        cache_.erase(order_.front());
        order_.pop_front();
    }
}

void ShaperCache::clear() {
    cache_.clear();
    order_.clear();
}

}  // namespace vantel
