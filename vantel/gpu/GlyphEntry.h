#pragma once

#include <cstddef>
#include <cstdint>

#include "vantel/gpu/GlyphAtlas.h"

namespace vantel {

// A glyph as the GPU atlases hold it: the font by its id, the size in device pixels per em on
// each axis (in 1/64), the glyph, and whether it was smoothed.
struct GlyphKey {
    uint64_t fontId = 0;
    uint32_t sizeX64 = 0;
    uint32_t sizeY64 = 0;
    uint32_t glyph = 0;
    bool smoothing = true;
    friend bool operator==(const GlyphKey&, const GlyphKey&) = default;
};

struct GlyphKeyHash {
    size_t operator()(const GlyphKey& key) const {
        uint64_t h = key.fontId * 0x9E3779B97F4A7C15ull;
        h ^= (uint64_t{key.glyph} << 1 | (key.smoothing ? 1 : 0)) * 0xC2B2AE3D27D4EB4Full;
        h ^= (uint64_t{key.sizeX64} << 32 | key.sizeY64) * 0x165667B19E3779F9ull;
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

// Where a glyph's bitmap lies in its atlas, its size and its bearing (the bitmap's lower-left
// corner from the pen, y up), all in pixels. A glyph without ink is remembered as such (no
// region, no quad): it is never drawn, so it is not rasterised again for every row.
struct GlyphEntry {
    AtlasRegion region;
    int width = 0;
    int height = 0;
    int bearingX = 0;
    int bearingY = 0;
    bool isColor = false;
    GlyphAtlasKind atlasKind = GlyphAtlasKind::grayscale;
    bool inkless = false;
};

// A shape drawn for a cell (box drawing, block element, powerline separator) at a slot size.
struct CustomGlyphKey {
    uint32_t codePoint = 0;
    int cellWidthPx = 0;
    int cellHeightPx = 0;
    int baseThicknessPx = 0;
    int scale = 1;  // rounded, at least 1
    bool antiAlias = false;
    friend bool operator==(const CustomGlyphKey&, const CustomGlyphKey&) = default;
};

struct CustomGlyphKeyHash {
    size_t operator()(const CustomGlyphKey& key) const {
        uint64_t h =
            (uint64_t{key.codePoint} << 32 | static_cast<uint32_t>(key.baseThicknessPx)) * 0x9E3779B97F4A7C15ull;
        h ^= (uint64_t(static_cast<uint32_t>(key.cellWidthPx)) << 32 | static_cast<uint32_t>(key.cellHeightPx)) *
             0xC2B2AE3D27D4EB4Full;
        h ^= (uint64_t(static_cast<uint32_t>(key.scale)) << 1 | (key.antiAlias ? 1 : 0)) * 0x165667B19E3779F9ull;
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

// The shape's region of the grayscale atlas; its size is the slot's.
struct CustomGlyphEntry {
    AtlasRegion region;
    int width = 0;
    int height = 0;
};

}  // namespace vantel
