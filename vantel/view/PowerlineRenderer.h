#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/gfx/Canvas.h"
#include "vantel/core/BufferLine.h"

namespace vantel {

// A cell holding one of the filled powerline separators U+E0B0, U+E0B2, U+E0B4 or U+E0B6.
struct PowerlineRenderItem {
    int column = 0;
    int columnWidth = 1;
    uint32_t codePoint = 0;
    platform::gfx::Rgba foregroundColor;
};

// The filled powerline separators of shell prompts, drawn as shapes that fill their cell exactly:
// a triangle or a half-disc pointing right or left. The thin outline variants stay text.
class PowerlineRenderer {
public:
    struct Glyph {
        bool pointsRight = false;  // the tip on the right, the flat side on the left
        bool rounded = false;      // a half-disc instead of a triangle
        friend constexpr bool operator==(const Glyph&, const Glyph&) = default;
    };

    // The shape of a code point; none outside U+E0B0...U+E0B6 and for the outline variants.
    static std::optional<Glyph> glyph(uint32_t codePoint);

    // For a filled glyph and its cell already in device pixels: the one-pixel column just outside
    // the glyph's flat side, which the glyph's colour covers so no hairline shows against the
    // neighbouring cell. None for any other code point.
    static std::optional<platform::gfx::Rect> devicePixelJoinRect(uint32_t codePoint,
                                                                  const platform::gfx::Rect& transformedCellRect);

    // Draws one row's items. `lineOrigin` is the row's bottom-left corner in the row's own
    // coordinates (scaled by its render mode); `scale` the backing scale.
    static void drawItems(std::span<const PowerlineRenderItem> items, platform::gfx::Point lineOrigin,
                          BufferLine::RenderLineMode renderMode, platform::gfx::Size cellSize, double scale,
                          platform::gfx::Canvas& canvas);
};

}  // namespace vantel
