#include "vantel/view/RowImageRenderer.h"

#include <algorithm>

#include "platform/gfx/Scale.h"
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

Rect RowImageRenderer::imageRect(const KittyPlacementImage& image, double rowTop, const Geometry& geometry) {
    const Size cell = geometry.cell;
    const double scale = platform::gfx::usableScale(geometry.scale);
    const double x = image.col * cell.width + image.kittyPixelOffsetX / scale;
    // Kitty's offsets count downwards; the view's y grows upwards.
    const double offsetY = image.kittyPixelOffsetY / scale;
    if (const auto* band = dynamic_cast<const ImageBand*>(&image)) {
        return Rect{x, rowTop - band->height - offsetY, band->width, band->height};
    }
    // A slice of the engine's own: its row of the whole placement, sized in device pixels.
    const double width = image.pixelWidth / scale, height = image.pixelHeight / scale;
    const double top = rowTop + image.sliceRow * cell.height - offsetY;
    return Rect{x, top - height, width, height};
}

void RowImageRenderer::draw(std::span<const KittyPlacementImage* const> images, double rowTop,
                            const Geometry& geometry, Canvas& canvas, KittyPictureCache& pictures) {
    const Size cell = geometry.cell;
    for (const KittyPlacementImage* image : images) {
        const Rect rect = imageRect(*image, rowTop, geometry);
        if (const auto* band = dynamic_cast<const ImageBand*>(image)) {
            canvas.drawImage(band->image, rect);
            continue;
        }
        drawPicture(image->source, rect, Rect{0, rowTop - cell.height, canvas.size().width, cell.height}, geometry,
                    canvas, pictures);
    }
}

namespace {

void drawReady(const platform::gfx::Image& picture, const std::shared_ptr<const KittyGraphicsPayload>& payload,
               const Rect& rect, const RowImageRenderer::Geometry& geometry, Canvas& canvas,
               KittyPictureCache& pictures) {
    const auto sampling = canvas.imageSampling(Size{double(picture.width), double(picture.height)}, rect);
    if (!sampling || !sampling->worthACopy()) return canvas.drawImage(picture, rect);
    const KittyPictureCache::Copy copy = pictures.scaledCopy(payload, *sampling);
    if (copy.exact) {
        canvas.drawSampledCopy(*copy.exact, *sampling, rect);
    } else if (copy.standIn) {
        canvas.drawImage(*copy.standIn, rect);
    } else if (copy.failed) {
        canvas.drawImage(picture, rect);
    } else {
        canvas.fill(rect, geometry.placeholder);
    }
}

}  // namespace

void RowImageRenderer::drawPicture(const std::shared_ptr<const KittyGraphicsPayload>& payload, const Rect& rect,
                                   const Rect& clip, const Geometry& geometry, Canvas& canvas,
                                   KittyPictureCache& pictures) {
    const KittyPictureCache::Picture picture = pictures.lookup(payload);
    if (picture.state == KittyPictureCache::Picture::State::failed) return;
    canvas.save();
    canvas.clip(clip);
    if (picture.image) {
        drawReady(*picture.image, payload, rect, geometry, canvas, pictures);
    } else {
        canvas.fill(rect, geometry.placeholder);
    }
    canvas.restore();
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

const KittyPlacementRecord* RowImageRenderer::placementFor(const KittyPlaceholderCell& cell,
                                                           const VirtualPlacements& placements) {
    auto list = placements.find(cell.imageId);
    if (list == placements.end()) return nullptr;
    auto record = std::find_if(list->second.begin(), list->second.end(), [&](const KittyPlacementRecord& r) {
        return (cell.placementId == 0 || r.placementId == cell.placementId) && r.cols > 0 && r.rows > 0 &&
               cell.placeholderCol < r.cols && cell.placeholderRow < r.rows;
    });
    return record == list->second.end() ? nullptr : &*record;
}

Rect RowImageRenderer::placeholderGrid(const KittyPlaceholderCell& cell, const KittyPlacementRecord& record,
                                       double rowBottom, const Geometry& geometry) {
    const Size size = geometry.cell;
    const double scale = platform::gfx::usableScale(geometry.scale);
    return Rect{(cell.col - cell.placeholderCol) * size.width + record.pixelOffsetX / scale,
                rowBottom + (cell.placeholderRow - (record.rows - 1)) * size.height - record.pixelOffsetY / scale,
                record.cols * size.width, record.rows * size.height};
}

void RowImageRenderer::drawPlaceholders(std::span<const KittyPlaceholderCell> cells,
                                        const VirtualPlacements& placements, const KittyGraphicsState& state,
                                        double rowBottom, const Geometry& geometry, Canvas& canvas,
                                        KittyPictureCache& pictures) {
    const Size cell = geometry.cell;
    for (const KittyPlaceholderCell& placeholder : cells) {
        const KittyPlacementRecord* record = placementFor(placeholder, placements);
        auto stored = state.imagesById.find(placeholder.imageId);
        if (!record || stored == state.imagesById.end()) continue;
        const std::shared_ptr<const KittyGraphicsPayload>& payload = stored->second.payload;
        const KittyPictureCache::Picture picture = pictures.lookup(payload);
        if (picture.state == KittyPictureCache::Picture::State::failed) continue;
        const Rect grid = placeholderGrid(placeholder, *record, rowBottom, geometry);
        if (grid.isEmpty()) continue;
        // While it is being made, the size its pixels say, when they say one.
        const Size size = picture.image ? Size{double(picture.image->width), double(picture.image->height)}
                          : payload && !payload->isPng() ? Size{double(payload->width), double(payload->height)}
                                                         : Size{grid.width, grid.height};
        const Rect fitted = InlineImages::kittyAspectFitRect(size, grid);
        drawPicture(payload, fitted, Rect{placeholder.col * cell.width, rowBottom, cell.width, cell.height}, geometry,
                    canvas, pictures);
    }
}

}  // namespace vantel
