#include "platform/gfx/GlyphCache.h"

#include <cmath>

#include "platform/gfx/HashCombine.h"

namespace platform::gfx {

namespace {

// What an entry costs beyond its pixels: the node, the key and the bookkeeping.
constexpr size_t entryOverhead = 96;

}  // namespace

size_t GlyphCache::KeyHash::operator()(const Key& k) const {
    size_t h = hashCombine(0, k.rasterId);
    h = hashCombine(h, uint64_t{k.glyph} << 1 | (k.smoothing ? 1 : 0));
    return hashCombine(h, uint64_t{k.sizeX} << 32 | k.sizeY);
}

GlyphCache& GlyphCache::shared() {
    static GlyphCache* cache = new GlyphCache();
    return *cache;
}

void GlyphCache::forgetRecent() {
    for (Recent& r : recent_) r.glyph = nullptr;
}

void GlyphCache::clear() {
    entries_.clear();
    forgetRecent();
}

CacheCounters GlyphCache::counters() const {
    auto counters = entries_.counters();
    return {counters.hits + recentHits_, counters.misses, counters.evictions};
}

const RasterGlyph* GlyphCache::lookup(const Font& font, uint32_t glyph, double sizeX, double sizeY, bool smoothing) {
    if (!(sizeX > 0 && sizeY > 0 && sizeX < 65536 && sizeY < 65536)) return nullptr;
    Key key{font.rasterId(), glyph, static_cast<uint32_t>(std::lround(sizeX * 64)),
            static_cast<uint32_t>(std::lround(sizeY * 64)), smoothing};
    size_t hash = KeyHash{}(key);
    Recent& recent = recent_[hash % recentSlots];
    if (recent.glyph && recent.key == key) {
        ++recentHits_;
        return recent.glyph;
    }
    const RasterGlyph* found = entries_.find(key);
    if (!found) {
        std::optional<RasterGlyph> rendered = RasterGlyph::render(font, glyph, key.sizeX / 64.0, key.sizeY / 64.0, smoothing);
        if (!rendered) return nullptr;
        size_t cost = rendered->pixels.size() + entryOverhead;
        const uint64_t evictions = entries_.counters().evictions;
        found = &entries_.insert(key, std::move(*rendered), cost);
        // Emptied to make room: the recent lookups point at freed glyphs.
        if (entries_.counters().evictions != evictions) forgetRecent();
    }
    recent.key = key;
    recent.glyph = found;
    return recent.glyph;
}

}  // namespace platform::gfx
