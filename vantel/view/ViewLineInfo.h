#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/gfx/Rgba.h"
#include "vantel/core/TerminalImage.h"
#include "vantel/graphics/KittyPlaceholders.h"
#include "vantel/view/AttributedText.h"
#include "vantel/view/BlockElementRenderer.h"
#include "vantel/view/BoxDrawingRenderer.h"
#include "vantel/view/PowerlineRenderer.h"

namespace vantel {

// One run of cells of equal width in a built row: its text with attribute runs, and for each
// UTF-16 unit of the text the ordinal (within the segment) of the cell it belongs to.
struct ViewLineSegment {
    int column = 0;       // visual column of the first cell
    int columnWidth = 1;  // of every cell: cell n starts at column + n × columnWidth
    int characterCount = 0;  // pieces of text appended (one per flushed run); never 0 when emitted
    AttributedText attributedString;
    std::vector<int> utf16ToCellOrdinal;
    bool utf16IsCellIdentity = true;  // every cell gave at most one unit: unit index = ordinal

    // The cell ordinal of a UTF-16 index; an index past the map reads its last entry.
    int cellOrdinal(size_t utf16Index) const {
        if (utf16IsCellIdentity) return static_cast<int>(utf16Index);
        if (utf16ToCellOrdinal.empty()) return 0;
        return utf16ToCellOrdinal[std::min(utf16Index, utf16ToCellOrdinal.size() - 1)];
    }
};

// One buffer row, built for drawing: its segments left to right, its attached images, the Kitty
// placeholder cells in column order and the cells drawn as shapes.
struct ViewLineInfo {
    std::vector<ViewLineSegment> segments;
    TerminalImageList images;
    std::vector<KittyPlaceholderCell> kittyPlaceholders;
    std::vector<BoxDrawingRenderItem> boxDrawings;
    std::vector<BlockElementRenderItem> blockElements;
    std::vector<PowerlineRenderItem> powerlineGlyphs;
    // Some cell blinks: the row looks different in each phase of the blink.
    bool blinks = false;
};

}  // namespace vantel
