#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/gfx/BoundedCache.h"
#include "platform/gfx/Canvas.h"
#include "platform/gfx/RasterGlyph.h"

namespace vantel {

// Box-drawing and block cells rendered once per shape, cell size, scale and sub-pixel position as
// coverage masks, and blitted with their colour afterwards, as glyphs are. A mask is rendered by
// the very routine that would draw the cell, so a cached cell looks as a drawn one (overlapping
// strokes of a translucent colour no longer double up). Process-wide, emptied wholesale when its
// bytes pass the capacity. Main thread only.
class CustomGlyphCache {
public:
    static constexpr size_t capacityBytes = size_t{16} << 20;
    enum class Kind : uint8_t { boxDrawing, blockElement };

    explicit CustomGlyphCache(size_t capacity = capacityBytes) : entries_({.bytes = capacity}) {}
    static CustomGlyphCache& shared();

    // Cells can be blitted on a canvas that draws user space at its backing scale alone (no row
    // transform), with whole device pixels where whole device pixels of user space fall: the device
    // pixel of the user origin then, none otherwise.
    static std::optional<platform::gfx::Point> plainOrigin(const platform::gfx::Canvas& canvas);

    // Draws one cell through the cache on a canvas with that origin: `paint` draws it, opaque
    // white, on a canvas whose user space is laid out as the target's, with the cell's bottom-left
    // corner at the point given. `variant` tells apart what else changes the drawing (a line
    // thickness, antialiasing).
    template <typename Paint>
    void draw(platform::gfx::Canvas& canvas, platform::gfx::Point deviceOrigin, Kind kind, uint32_t codePoint,
              int variant, platform::gfx::Point cellOrigin, platform::gfx::Size cellSize, platform::gfx::Rgba color,
              Paint&& paint) {
        const Placement placement = place(deviceOrigin, canvas.scale(), kind, codePoint, variant, cellOrigin, cellSize);
        if (!placement.valid) {
            paint(canvas, cellOrigin);
            return;
        }
        const Entry* found = entries_.find(placement.key);
        const Entry& entry = found ? *found : render(placement, cellSize, canvas.scale(), paint);
        canvas.drawMask(entry.mask, placement.pixelX + entry.dx, placement.pixelY + entry.dy, color);
    }

    size_t count() const { return entries_.size(); }
    size_t byteCount() const { return entries_.bytes(); }
    const platform::gfx::CacheCounters& counters() const { return entries_.counters(); }
    void clear() { entries_.clear(); }

private:
    struct Key {
        uint32_t codePoint;
        int32_t variant;
        uint32_t width64, height64;  // the cell in 1/64 device pixel
        uint32_t scale64;
        uint8_t fractionX, fractionY;  // the cell's top-left corner within its device pixel, in 1/64
        Kind kind;
        friend bool operator==(const Key&, const Key&) = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const;
    };
    struct Entry {
        platform::gfx::RasterGlyph mask;  // the ink's bounding box only
        int dx = 0, dy = 0;               // from the cell's top-left device pixel to the mask's
    };
    // Where a cell lands in device pixels, and its key; not valid for a cell too large to cache.
    struct Placement {
        bool valid = false;
        Key key{};
        int pixelX = 0, pixelY = 0;
    };
    static Placement place(platform::gfx::Point deviceOrigin, double scale, Kind kind, uint32_t codePoint,
                           int variant, platform::gfx::Point cellOrigin, platform::gfx::Size cellSize);
    const Entry& render(const Placement& placement, platform::gfx::Size cellSize, double scale,
                        const std::function<void(platform::gfx::Canvas&, platform::gfx::Point)>& paint);

    platform::gfx::BoundedCache<Key, Entry, KeyHash> entries_;
};

}  // namespace vantel
