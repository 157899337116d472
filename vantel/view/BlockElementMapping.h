#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace vantel {

// How much of the foreground's alpha a block rectangle keeps: 1, 0.75, 0.5 and 0.25.
enum class BlockAlpha : uint8_t { full, dark, medium, light };

// One rectangle of a block element in eighths of the cell: x from the left edge, y from the top
// edge, covering x0 ≤ x < x1 and y0 ≤ y < y1.
struct BlockElementRect {
    uint8_t x0 = 0, x1 = 8, y0 = 0, y1 = 8;
    BlockAlpha alpha = BlockAlpha::full;
    friend constexpr bool operator==(const BlockElementRect&, const BlockElementRect&) = default;
};

// The rectangles of the 32 block elements U+2580...U+259F (halves, eighths, quadrants and shades),
// so they tile without gaps instead of relying on the font's glyphs. The table is constant and
// shared by every thread.
class BlockElementMapping {
public:
    static constexpr uint32_t first = 0x2580;
    static constexpr uint32_t last = 0x259F;

    // The rectangles of a block element; none for any other code point. The span points into the
    // constant table and stays valid for the life of the program.
    static std::optional<std::span<const BlockElementRect>> rects(uint32_t codePoint);
    // The alpha factor of a shade: 1, 0.75, 0.5 or 0.25.
    static double factor(BlockAlpha alpha);
};

}  // namespace vantel
