#include "vantel/view/BlockElementMapping.h"

#include <array>

namespace vantel {

namespace {

constexpr BlockAlpha full = BlockAlpha::full;

struct Entry {
    uint8_t count;
    std::array<BlockElementRect, 3> rects;
};

// Indexed by code point − U+2580; each rectangle is (x0, x1, y0, y1, alpha).
constexpr std::array<Entry, 32> table{{
    {1, {{{0, 8, 0, 4, full}}}},  // U+2580 upper half
    {1, {{{0, 8, 7, 8, full}}}},  // U+2581 lower one eighth
    {1, {{{0, 8, 6, 8, full}}}},
    {1, {{{0, 8, 5, 8, full}}}},
    {1, {{{0, 8, 4, 8, full}}}},  // U+2584 lower half
    {1, {{{0, 8, 3, 8, full}}}},
    {1, {{{0, 8, 2, 8, full}}}},
    {1, {{{0, 8, 1, 8, full}}}},
    {1, {{{0, 8, 0, 8, full}}}},  // U+2588 full block
    {1, {{{0, 7, 0, 8, full}}}},
    {1, {{{0, 6, 0, 8, full}}}},
    {1, {{{0, 5, 0, 8, full}}}},
    {1, {{{0, 4, 0, 8, full}}}},  // U+258C left half
    {1, {{{0, 3, 0, 8, full}}}},
    {1, {{{0, 2, 0, 8, full}}}},
    {1, {{{0, 1, 0, 8, full}}}},
    {1, {{{4, 8, 0, 8, full}}}},  // U+2590 right half
    {1, {{{0, 8, 0, 8, BlockAlpha::light}}}},
    {1, {{{0, 8, 0, 8, BlockAlpha::medium}}}},
    {1, {{{0, 8, 0, 8, BlockAlpha::dark}}}},
    {1, {{{0, 8, 0, 1, full}}}},  // U+2594 upper one eighth
    {1, {{{7, 8, 0, 8, full}}}},  // U+2595 right one eighth
    {1, {{{0, 4, 4, 8, full}}}},  // U+2596 quadrants
    {1, {{{4, 8, 4, 8, full}}}},
    {1, {{{0, 4, 0, 4, full}}}},
    {3, {{{0, 4, 0, 4, full}, {0, 4, 4, 8, full}, {4, 8, 4, 8, full}}}},
    {2, {{{0, 4, 0, 4, full}, {4, 8, 4, 8, full}}}},
    {3, {{{0, 4, 0, 4, full}, {4, 8, 0, 4, full}, {0, 4, 4, 8, full}}}},
    {3, {{{0, 4, 0, 4, full}, {4, 8, 0, 4, full}, {4, 8, 4, 8, full}}}},
    {1, {{{4, 8, 0, 4, full}}}},
    {2, {{{4, 8, 0, 4, full}, {0, 4, 4, 8, full}}}},
    {3, {{{4, 8, 0, 4, full}, {0, 4, 4, 8, full}, {4, 8, 4, 8, full}}}},  // U+259F
}};

}  // namespace

std::optional<std::span<const BlockElementRect>> BlockElementMapping::rects(uint32_t codePoint) {
    if (codePoint < first || codePoint > last) return std::nullopt;
    const Entry& entry = table[codePoint - first];
    return std::span<const BlockElementRect>(entry.rects.data(), entry.count);
}

double BlockElementMapping::factor(BlockAlpha alpha) {
    switch (alpha) {
        case BlockAlpha::full: return 1;
        case BlockAlpha::dark: return 0.75;
        case BlockAlpha::medium: return 0.5;
        case BlockAlpha::light: return 0.25;
    }
    return 1;
}

}  // namespace vantel
