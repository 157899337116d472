#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "platform/gfx/Canvas.h"
#include "vantel/core/TerminalImage.h"
#include "vantel/graphics/KittyImageStore.h"
#include "vantel/graphics/KittyPlaceholders.h"
#include "vantel/graphics/KittyPlacementImage.h"
#include "vantel/view/KittyPictureCache.h"

namespace vantel {

// Draws the images attached to a row and the Kitty placeholder cells of a row: the view's own image
// bands and the Kitty slices the engine attaches. Geometry is the view's: points, y up.
class RowImageRenderer {
public:
    // A row's images in drawing order: Kitty images under the text (z-index below 0) and over it,
    // each by z-index and then image id (no id first), and the other images in row order, over
    // the text after the Kitty ones.
    struct Lists {
        std::vector<const KittyPlacementImage*> kittyBelow;
        std::vector<const KittyPlacementImage*> kittyAbove;
        std::vector<const KittyPlacementImage*> others;
    };
    static Lists sort(const TerminalImageList* images);

    struct Geometry {
        platform::gfx::Size cell;
        double scale = 1;  // the window's backing scale, 1 without a window
        // Where a picture is still being made.
        platform::gfx::Rgba placeholder{0.5, 0.5, 0.5, 0.15};
    };
    // Draws images of the row whose top edge is at `rowTop`. A Kitty slice shows its part of the
    // placement's picture, clipped to the row; pixel offsets move right and down.
    static void draw(std::span<const KittyPlacementImage* const> images, double rowTop, const Geometry& geometry,
                     platform::gfx::Canvas& canvas, KittyPictureCache& pictures);
    // Where an image of the row whose top edge is at `rowTop` is drawn: an image band at its
    // size, a Kitty slice as its whole placement (clipped to the row when drawn).
    static platform::gfx::Rect imageRect(const KittyPlacementImage& image, double rowTop, const Geometry& geometry);
    // Draws the payload's picture scaled into `rect`, within `clip`: the placeholder while it is
    // being made, and a large one shown much smaller from its scaled copy.
    static void drawPicture(const std::shared_ptr<const KittyGraphicsPayload>& payload, const platform::gfx::Rect& rect,
                            const platform::gfx::Rect& clip, const Geometry& geometry, platform::gfx::Canvas& canvas,
                            KittyPictureCache& pictures);

    // The virtual placements of one screen by image id, each list by placement id.
    using VirtualPlacements = std::unordered_map<uint32_t, std::vector<KittyPlacementRecord>>;
    static VirtualPlacements virtualPlacements(const KittyGraphicsState& state, bool alternateScreen);

    // Each placeholder cell shows its own part of its placement's picture, fitted into the
    // placement's grid of cells. `rowBottom` is the row's bottom edge.
    // The placement a placeholder cell shows: the first of its image whose placement id matches
    // (any, for id 0) and that covers the cell's placeholder row and column; none without one.
    static const KittyPlacementRecord* placementFor(const KittyPlaceholderCell& cell,
                                                     const VirtualPlacements& placements);
    // The placement's grid of cells, its top-left cell placeholderCol columns left of and
    // placeholderRow rows above the cell, moved by the pixel offsets.
    static platform::gfx::Rect placeholderGrid(const KittyPlaceholderCell& cell, const KittyPlacementRecord& record,
                                               double rowBottom, const Geometry& geometry);
    static void drawPlaceholders(std::span<const KittyPlaceholderCell> cells, const VirtualPlacements& placements,
                                 const KittyGraphicsState& state, double rowBottom, const Geometry& geometry,
                                 platform::gfx::Canvas& canvas, KittyPictureCache& pictures);
};

}  // namespace vantel
