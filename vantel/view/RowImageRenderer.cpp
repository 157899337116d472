#include "vantel/view/RowImageRenderer.h"

#include <algorithm>

#include "vantel/view/ImageBand.h"
#include "vantel/view/InlineImages.h"

namespace vantel {

using platform::gfx::Canvas;
using platform::gfx::Rect;
using platform::gfx::Size;

RowImageRenderer::Lists RowImageRenderer::sort(const TerminalImageList* images) {
    Lists lists;
    if (!images) return lists;
    for (const auto& image : *images) {
        const auto* placed = dynamic_cast<const KittyPlacementImage*>(image.get());
        if (!placed) continue;
        if (!placed->kittyIsKitty) {
            lists.others.push_back(placed);
        } else {
            (placed->kittyZIndex < 0 ? lists.kittyBelow : lists.kittyAbove).push_back(placed);
        }
    }
    auto order = [](const KittyPlacementImage* a, const KittyPlacementImage* b) {
        if (a->kittyZIndex != b->kittyZIndex) return a->kittyZIndex < b->kittyZIndex;
        return a->kittyImageId.value_or(0) + uint64_t{a->kittyImageId.has_value()} <
               b->kittyImageId.value_or(0) + uint64_t{b->kittyImageId.has_value()};
    };
    std::stable_sort(lists.kittyBelow.begin(), lists.kittyBelow.end(), order);
    std::stable_sort(lists.kittyAbove.begin(), lists.kittyAbove.end(), order);
    return lists;
}

void RowImageRenderer::draw(std::span<const KittyPlacementImage* const> images, double rowTop,
                            const Geometry& geometry, Canvas& canvas, KittyPictureCache& pictures) {
    const Size cell = geometry.cell;
    const double scale = geometry.scale > 0 ? geometry.scale : 1.0;
    for (const KittyPlacementImage* image : images) {
        const double x = image->col * cell.width + image->kittyPixelOffsetX / scale;
        // Kitty's offsets count downwards; the view's y grows upwards.
        const double offsetY = image->kittyPixelOffsetY / scale;
        if (const auto* band = dynamic_cast<const ImageBand*>(image)) {
            canvas.drawImage(band->image, Rect{x, rowTop - band->height - offsetY, band->width, band->height});
            continue;
        }
        // A slice of the engine's own: its row of the whole placement, sized in device pixels.
        const platform::gfx::Image* picture = pictures.picture(image->source);
        if (!picture) continue;
        const double width = image->pixelWidth / scale, height = image->pixelHeight / scale;
        const double top = rowTop + image->sliceRow * cell.height - offsetY;
        canvas.save();
        canvas.clip(Rect{0, rowTop - cell.height, canvas.size().width, cell.height});
        canvas.drawImage(*picture, Rect{x, top - height, width, height});
        canvas.restore();
    }
}

RowImageRenderer::VirtualPlacements RowImageRenderer::virtualPlacements(const KittyGraphicsState& state,
                                                                        bool alternateScreen) {
    VirtualPlacements placements;
    for (const auto& [key, record] : state.placementsByKey) {
        if (record.isVirtual && record.isAlternateBuffer == alternateScreen) placements[key.imageId].push_back(record);
    }
    for (auto& [id, list] : placements) {
        std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.placementId < b.placementId; });
    }
    return placements;
}

void RowImageRenderer::drawPlaceholders(std::span<const KittyPlaceholderCell> cells,
                                        const VirtualPlacements& placements, const KittyGraphicsState& state,
                                        double rowBottom, const Geometry& geometry, Canvas& canvas,
                                        KittyPictureCache& pictures) {
    const Size cell = geometry.cell;
    const double scale = geometry.scale > 0 ? geometry.scale : 1.0;
    for (const KittyPlaceholderCell& placeholder : cells) {
        auto list = placements.find(placeholder.imageId);
        if (list == placements.end()) continue;
        auto record = std::find_if(list->second.begin(), list->second.end(), [&](const KittyPlacementRecord& r) {
            return (placeholder.placementId == 0 || r.placementId == placeholder.placementId) && r.cols > 0 &&
                   r.rows > 0 && placeholder.placeholderCol < r.cols && placeholder.placeholderRow < r.rows;
        });
        auto stored = state.imagesById.find(placeholder.imageId);
        if (record == list->second.end() || stored == state.imagesById.end()) continue;
        const platform::gfx::Image* picture = pictures.picture(stored->second.payload);
        if (!picture) continue;
        // The placement's grid: its top-left cell lies placeholderCol columns left and
        // placeholderRow rows above this one.
        const Rect grid{(placeholder.col - placeholder.placeholderCol) * cell.width + record->pixelOffsetX / scale,
                        rowBottom + (placeholder.placeholderRow - (record->rows - 1)) * cell.height -
                            record->pixelOffsetY / scale,
                        record->cols * cell.width, record->rows * cell.height};
        if (grid.isEmpty()) continue;
        const Rect fitted =
            InlineImages::kittyAspectFitRect(Size{double(picture->width), double(picture->height)}, grid);
        canvas.save();
        canvas.clip(Rect{placeholder.col * cell.width, rowBottom, cell.width, cell.height});
        canvas.drawImage(*picture, fitted);
        canvas.restore();
    }
}

}  // namespace vantel
