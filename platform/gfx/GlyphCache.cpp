#include "platform/gfx/GlyphCache.h"

#include <cmath>

namespace platform::gfx {

namespace {

// What an entry costs beyond its pixels: the node, the key and the bookkeeping.
constexpr size_t entryOverhead = 96;

}  // namespace

size_t GlyphCache::KeyHash::operator()(const Key& k) const {
    uint64_t h = k.fontId * 0x9E3779B97F4A7C15ull;
    h ^= (static_cast<uint64_t>(k.glyph) << 1 | (k.smoothing ? 1 : 0)) * 0xC2B2AE3D27D4EB4Full;
    h ^= (static_cast<uint64_t>(k.sizeX) << 32 | k.sizeY) * 0x165667B19E3779F9ull;
    return static_cast<size_t>(h ^ (h >> 29));
}

GlyphCache& GlyphCache::shared() {
    static GlyphCache* cache = new GlyphCache();
    return *cache;
}

void GlyphCache::clear() {
    entries_.clear();
    for (Recent& r : recent_) r.glyph = nullptr;
    bytes_ = 0;
}

const RasterGlyph* GlyphCache::lookup(const Font& font, uint32_t glyph, double sizeX, double sizeY, bool smoothing) {
    if (!(sizeX > 0 && sizeY > 0 && sizeX < 65536 && sizeY < 65536)) return nullptr;
    Key key{font.id(), glyph, static_cast<uint32_t>(std::lround(sizeX * 64)),
            static_cast<uint32_t>(std::lround(sizeY * 64)), smoothing};
    size_t hash = KeyHash{}(key);
    Recent& recent = recent_[hash % recentSlots];
    if (recent.glyph && recent.key == key) return recent.glyph;
    auto it = entries_.find(key);
    if (it == entries_.end()) {
        std::optional<RasterGlyph> rendered = RasterGlyph::render(font, glyph, key.sizeX / 64.0, key.sizeY / 64.0, smoothing);
        if (!rendered) return nullptr;
        size_t cost = rendered->pixels.size() + entryOverhead;
        if (bytes_ + cost > capacity_) clear();
        bytes_ += cost;
        it = entries_.emplace(key, std::move(*rendered)).first;
    }
    recent.key = key;
    recent.glyph = &it->second;
    return recent.glyph;
}

}  // namespace platform::gfx
