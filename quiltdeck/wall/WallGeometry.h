#pragma once

#include <cstddef>
#include <optional>

#include "platform/gfx/Rect.h"

namespace quiltdeck {

// Where everything of the wall goes, in the root view's flipped points (y
// down from the top edge): the bar and the tab bar across the top, the grid of
// equal cells with 18-point gaps under them, the zoomed tile centred over the
// grid area at its scale, and the empty card. Pure arithmetic; cells of a
// window too small for its gaps are empty, never negative.
struct WallGeometry {
    using Point = platform::gfx::Point;
    using Rect = platform::gfx::Rect;
    using Size = platform::gfx::Size;

    static constexpr double barHeight = 52;
    static constexpr double tabBarHeight = 38;
    static constexpr double band = barHeight + tabBarHeight;
    static constexpr double barParkedY = -52;
    static constexpr double tabBarParkedY = -38;
    static constexpr double minimumFullScreenInset = 24;
    static constexpr double gap = 18;
    static constexpr double zoomWidthShare = 0.58;
    static constexpr double zoomHeightShare = 0.66;
    static constexpr double zoomMargin = 36;
    static constexpr double emptyLeft = 40;
    static constexpr double emptyInset = 80;
    static constexpr double emptyLift = 20;
    static constexpr double emptyMinimumTop = 24;
    static constexpr double zoomMinimumWidth = 200;
    static constexpr double zoomMinimumHeight = 150;

    double width = 0;   // the root view's bounds
    double height = 0;
    double top = 0;     // the full-screen inset
    bool barHidden = false;
    size_t count = 0;   // tiles on the wall shown

    // 1, 2, 3, 4 or 5 columns for 1, 2–4, 5–9, 10–16 and 17 or more tiles.
    static size_t columns(size_t count);
    static size_t rows(size_t count);

    Rect barFrame() const;
    Rect tabBarFrame() const;
    double gridTop() const { return top + (barHidden ? 0 : band); }
    double gridHeight() const;
    Rect gridArea() const { return Rect{0, gridTop(), width, gridHeight()}; }
    // One cell, never negative; zero without tiles.
    Size cell() const;
    Rect slotFrame(size_t slot) const;
    // The zoomed tile at `scale`, kept 18 points inside the grid area.
    Rect zoomFrame(double scale) const;
    // The slot under a point: a gap belongs to the cell before it, the margins
    // and beyond to the nearest edge cell, the rest of a short last row to the
    // last tile. None without tiles.
    std::optional<size_t> slotIndex(Point point) const;
    // The zoom scale that puts the zoomed tile's corner at `corner`, its centre
    // staying at `centre` (before the store's clamp); none without a grid area.
    std::optional<double> gripScale(Point corner, Point centre) const;
    double emptyCardWidth() const { return width - emptyInset; }
    // The empty card for content `contentHeight` high (rounded up to a point).
    Rect emptyCardFrame(double contentHeight) const;
};

}  // namespace quiltdeck
