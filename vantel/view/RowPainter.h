#pragma once

#include <span>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/Rgba.h"
#include "vantel/core/BufferLine.h"
#include "vantel/graphics/KittyImageStore.h"
#include "vantel/view/KittyPictureCache.h"
#include "vantel/view/RowImageRenderer.h"
#include "vantel/view/TerminalViewFontSet.h"
#include "vantel/view/TextAttributes.h"
#include "vantel/view/ViewLineInfo.h"

namespace vantel {

// Paints built rows with what the view hands it for one pass: backgrounds, pictures under the text,
// shapes, glyphs, placeholder cells, pictures over the text, and the decorations of each run.
// Geometry is the view's: points, y up.
class RowPainter {
public:
    using Rgba = platform::gfx::Rgba;
    using Canvas = platform::gfx::Canvas;
    using Point = platform::gfx::Point;

    // How the view draws; the fonts' normal face is set.
    struct Look {
        platform::gfx::Size cell;
        const TerminalViewFontSet* fonts = nullptr;
        double backingScale = 1;  // the window's, else the main screen's
        RowImageRenderer::Geometry images;
        // Of the baseline above a row's bottom edge.
        double baselineOffset = 0;
        bool fontSmoothing = true;
        bool antiAliasBlockElements = false;
        Rgba skipBackground;      // backgrounds of this colour are left to the layer colour
        Rgba textColor;           // glyphs of runs without a colour
        Rgba decorationColor;     // decorations of runs without a colour
    };
    // The pictures of the pass; without a Kitty store, placeholder cells draw nothing.
    struct Pictures {
        KittyPictureCache* cache = nullptr;
        const RowImageRenderer::VirtualPlacements* placements = nullptr;
        const KittyGraphicsState* kitty = nullptr;
    };

    RowPainter(const Look& look, const Pictures& pictures) : look_(look), pictures_(pictures) {}

    // The row whose bottom edge is at `y`, `width` wide, in its render mode (a doubled row is
    // clipped to its own full width).
    void paint(const ViewLineInfo& info, BufferLine::RenderLineMode mode, double y, double width,
               Canvas& canvas) const;

    void drawSegment(const ViewLineSegment& segment, double rowBottom, Canvas& canvas) const;
    // Underline and strikethrough of one run. Each position is a cell's left edge on the baseline;
    // each decoration covers `slotWidth` from there.
    void drawRunAttributes(const TextAttributes& attributes, std::span<const Point> positions, double slotWidth,
                           Canvas& canvas) const;
    // A row's cells drawn as shapes; `lineOrigin` is the row's bottom-left corner (in the row's own
    // coordinates for powerline glyphs, which snap by its render mode).
    void drawBoxDrawings(std::span<const BoxDrawingRenderItem> items, Point lineOrigin, Canvas& canvas) const;
    void drawBlockElements(std::span<const BlockElementRenderItem> items, Point lineOrigin, Canvas& canvas) const;
    void drawPowerlineGlyphs(std::span<const PowerlineRenderItem> items, Point lineOrigin,
                             BufferLine::RenderLineMode renderMode, Canvas& canvas) const;

private:
    void drawBackgrounds(const ViewLineInfo& info, double y, Canvas& canvas) const;

    Look look_;
    Pictures pictures_;
};

}  // namespace vantel
