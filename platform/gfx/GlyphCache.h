#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/gfx/BoundedCache.h"
#include "platform/gfx/RasterGlyph.h"

namespace platform::gfx {

// Rendered glyphs, process-wide: FreeType renders a glyph once per font, device size and smoothing,
// and every later draw blits the stored bitmap. When the stored bytes would pass its capacity the
// cache is emptied wholesale. Main thread only.
class GlyphCache {
public:
    static constexpr size_t capacityBytes = size_t{64} << 20;

    explicit GlyphCache(size_t capacity = capacityBytes) : entries_({.bytes = capacity}) {}
    // The process's cache, of capacityBytes.
    static GlyphCache& shared();

    // The glyph at `sizeX` by `sizeY` device pixels per em (the font size times the canvas's x and
    // y scale, so a doubled row gets a real wide glyph). A glyph without ink is stored with width 0.
    // Null when it cannot be rendered (larger than RasterGlyph::maxSide); that is not stored. The
    // pointer is good until the next lookup.
    const RasterGlyph* lookup(const Font& font, uint32_t glyph, double sizeX, double sizeY, bool smoothing);

    size_t count() const { return entries_.size(); }
    size_t byteCount() const { return entries_.bytes(); }
    // Hits include those answered from the recent lookups.
    CacheCounters counters() const;
    void clear();

private:
    struct Key {
        uint64_t rasterId;
        uint32_t glyph;
        uint32_t sizeX;  // 1/64 pixel per em
        uint32_t sizeY;
        bool smoothing;
        friend bool operator==(const Key&, const Key&) = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const;
    };
    // The last lookups by hash slot, so runs of repeated glyphs skip the table.
    struct Recent {
        Key key;
        const RasterGlyph* glyph = nullptr;
    };
    static constexpr size_t recentSlots = 1024;

    void forgetRecent();

    BoundedCache<Key, RasterGlyph, KeyHash> entries_;
    Recent recent_[recentSlots];
    uint64_t recentHits_ = 0;
};

}  // namespace platform::gfx
