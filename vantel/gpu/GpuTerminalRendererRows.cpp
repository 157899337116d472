// One row of the screen as GPU lists, from the view's own row description: backgrounds, shapes,
// pictures, glyphs on the cell grid and decorations, each where the view's drawing puts it.
#include <algorithm>
#include <cmath>

#include "platform/gpu/Texture.h"
#include "vantel/gpu/GpuGeometry.h"
#include "vantel/gpu/GpuTerminalRenderer.h"
#include "vantel/view/BoxDrawingRenderer.h"
#include "vantel/view/GlyphSlotFit.h"
#include "vantel/view/ImageBand.h"
#include "vantel/view/InlineImages.h"
#include "vantel/view/PowerlineRenderer.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

using platform::gfx::Rect;
using platform::gfx::Rgba;
using Box = GpuGeometry::Box;
using Quad = GpuGeometry::Quad;
using Mode = BufferLine::RenderLineMode;

namespace {

// A glyph's pen in drawable pixels (y up) to the pixel its bitmap is laid on: the view's canvas
// rounds the pen to the nearest pixel counted from the top-left corner.
int penPixelX(double x) { return static_cast<int>(std::lround(x)); }
int penPixelY(double y) { return static_cast<int>(std::ceil(y - 0.5)); }

Quad atlasQuad(const AtlasRegion& region, int64_t side, float x0, float y0, float x1, float y1) {
    const float s = static_cast<float>(side);
    return Quad{x0,
                y0,
                x1,
                y1,
                static_cast<float>(region.x) / s,
                static_cast<float>(region.y) / s,
                static_cast<float>(region.x + region.width) / s,
                static_cast<float>(region.y + region.height) / s};
}

}  // namespace

RowDrawData GpuTerminalRenderer::buildRowDrawData(int row, const PassContext& pass) {
    RowDrawData data;
    if (!pass.view || !pass.terminal) return data;
    TerminalView& view = *pass.view;
    Terminal& terminal = *pass.terminal;
    Buffer& buffer = terminal.buffer();
    if (row < 0 || row >= buffer.lines().count()) return data;
    BufferLine& line = buffer.lines()[row];

    const double scale = pass.scale, cellWidth = pass.cellWidth, cellHeight = pass.cellHeight;
    const int cellWidthPx = std::max(1, static_cast<int>(std::lround(cellWidth * scale)));
    const int cellHeightPx = std::max(1, static_cast<int>(std::lround(cellHeight * scale)));
    const double rowY = pass.boundsHeight - (row - pass.yDisp + 1) * cellHeight;
    const double rowTop = rowY + cellHeight;
    const double rowBottomPx = rowY * scale;
    const double rowTopPx = rowBottomPx + cellHeight * scale;
    const double baselineY = rowY + pass.yOffset;
    const Mode mode = line.renderMode();
    const bool doubledHeight = mode == Mode::doubledTop || mode == Mode::doubledDown;
    const double sx = mode == Mode::single ? 1 : 2, sy = doubledHeight ? 2 : 1;
    const ClipRect band{0, static_cast<float>(rowBottomPx), static_cast<float>(pass.viewWidthPx),
                        static_cast<float>(rowTopPx)};
    const std::optional<ClipRect> rowClip = doubledHeight ? std::optional(band) : std::nullopt;
    const double pivotY = mode == Mode::doubledTop ? rowTopPx : mode == Mode::doubledDown ? rowBottomPx : 0;
    const platform::gfx::Font& normal = *pass.normal;
    const platform::gfx::FontRef& normalRef = view.fontSet().normal;
    const Rgba defaultForeground = view.effectiveNativeForegroundColor();

    const ViewLineInfo info = view.buildAttributedString(row, line, terminal.cols());

    auto atlasOf = [this](GlyphAtlasKind kind) -> GlyphAtlas& {
        return kind == GlyphAtlasKind::color ? *colorAtlas_ : *grayscaleAtlas_;
    };

    // Shapes: a slot-sized coverage bitmap each, tinted with the cell's colour.
    if (!info.boxDrawings.empty() || !info.blockElements.empty() || !info.powerlineGlyphs.empty()) {
        const int baseThicknessPx = BoxDrawingRenderer::baseThicknessPx(normal.underlineThickness(), scale);
        const bool antiAlias = view.antiAliasCustomBlockGlyphs();
        auto place = [&](const CustomGlyphEntry& entry, double x0, double y0, double width, double height, Rgba color) {
            const Box box = GpuGeometry::transformRect(mode, pivotY, x0, y0, x0 + width, y0 + height);
            const Quad quad = atlasQuad(entry.region, grayscaleAtlas_->size(), box.x0, box.y0, box.x1, box.y1);
            if (auto cut = GpuGeometry::clip(quad, rowClip)) {
                data.glyphCellsGray.push_back(GpuGeometry::textCell(*cut, GpuGeometry::colorToSimd(color)));
            }
            return box;
        };
        const double rowBottomSnapped = std::round(rowBottomPx);
        for (const BoxDrawingRenderItem& item : info.boxDrawings) {
            const int width = item.columnWidth * cellWidthPx;
            auto entry = customGlyphEntry(item.codePoint, width, cellHeightPx, scale, baseThicknessPx, false);
            if (!entry) continue;
            Rgba color = item.foregroundColor;
            color.alpha = std::clamp(color.alpha, 0.0, 1.0);
            place(*entry, item.column * cellWidthPx, rowBottomSnapped, width, cellHeightPx, color);
        }
        for (const BlockElementRenderItem& item : info.blockElements) {
            if (!antiAlias) {
                const int width = item.columnWidth * cellWidthPx;
                auto entry = customGlyphEntry(item.codePoint, width, cellHeightPx, scale, 0, false);
                if (entry) {
                    place(*entry, item.column * cellWidthPx, rowBottomSnapped, width, cellHeightPx,
                          item.foregroundColor);
                }
                continue;
            }
            const double width = item.columnWidth * cellWidth * scale;
            const int widthPx = std::max(1, static_cast<int>(std::lround(width)));
            auto entry = customGlyphEntry(item.codePoint, widthPx, cellHeightPx, scale, 0, true);
            if (entry) {
                place(*entry, item.column * cellWidth * scale, rowBottomPx, width, cellHeightPx, item.foregroundColor);
            }
        }
        for (const PowerlineRenderItem& item : info.powerlineGlyphs) {
            auto entry = customGlyphEntry(item.codePoint, item.columnWidth * cellWidthPx, cellHeightPx, scale, 0, true);
            if (!entry) continue;
            const Box box = place(*entry, item.column * cellWidthPx, rowBottomSnapped, entry->width, entry->height,
                                  item.foregroundColor);
            // The column beside the flat side takes the shape's colour, so no seam shows.
            auto join = PowerlineRenderer::devicePixelJoinRect(item.codePoint,
                                                               Rect{box.x0, box.y0, box.x1 - box.x0, box.y1 - box.y0});
            if (!join) continue;
            const Box joinBox{static_cast<float>(join->minX()), static_cast<float>(join->minY()),
                              static_cast<float>(join->maxX()), static_cast<float>(join->maxY())};
            if (auto cut = GpuGeometry::clip(joinBox, rowClip)) {
                GpuGeometry::appendSolid(*cut, GpuGeometry::colorToSimd(item.foregroundColor), data.powerlineJoinCells);
            }
        }
    }

    // Backgrounds: one rectangle per attribute run that has one the frame's clear does not paint.
    const Rgba skip = view.effectiveNativeBackgroundColor();
    for (const ViewLineSegment& segment : info.segments) {
        size_t start = 0;
        for (const AttributedText::Run& run : segment.attributedString.runs) {
            const size_t end = start + run.length;
            const TextAttributes& a = run.attributes;
            const std::optional<Rgba>& background = a.selectionBackground ? a.selectionBackground : a.background;
            if (background && *background != skip && run.length > 0) {
                const int from = segment.column + segment.cellOrdinal(start) * segment.columnWidth;
                const int to = segment.column + (segment.cellOrdinal(end - 1) + 1) * segment.columnWidth;
                if (to > from) {
                    const Box box = GpuGeometry::transformRect(mode, pivotY, from * cellWidth * scale, rowBottomPx,
                                                               to * cellWidth * scale, rowTopPx);
                    if (auto cut = GpuGeometry::clip(box, rowClip)) {
                        GpuGeometry::appendSolid(*cut, GpuGeometry::colorToSimd(*background), data.backgroundCells);
                    }
                }
            }
            start = end;
        }
    }

    // Pictures attached to the line, in the view's order and places.
    if (!info.images.empty()) {
        const RowImageRenderer::Lists lists = RowImageRenderer::sort(&info.images);
        const RowImageRenderer::Geometry geometry{platform::gfx::Size{cellWidth, cellHeight}, pass.backing};
        auto owner = [&](const KittyPlacementImage* image) -> std::shared_ptr<TerminalImage> {
            for (const auto& held : info.images) {
                if (held.get() == image) return held;
            }
            return nullptr;
        };
        auto add = [&](const std::vector<const KittyPlacementImage*>& images, std::vector<ImageDraw>& out) {
            for (const KittyPlacementImage* image : images) {
                const bool isBand = dynamic_cast<const ImageBand*>(image) != nullptr;
                auto picture = isBand ? texture(owner(image)) : payloadTexture(image->source);
                if (!picture) continue;
                // A slice shows its row of the whole placement: clipped to the row.
                auto draw = GpuGeometry::imageDraw(
                    std::move(picture), RowImageRenderer::imageRect(*image, rowTop, geometry), Rect{0, 0, 1, 1}, mode,
                    isBand ? rowClip : std::optional(band), pivotY, scale);
                if (draw) out.push_back(std::move(*draw));
            }
        };
        add(lists.kittyBelow, data.underImageDraws);
        add(lists.kittyAbove, data.overImageDraws);
        add(lists.others, data.otherImageDraws);
    }

    // Glyphs on the cell grid: a cell's first glyph at the cell's left edge, further glyphs of the
    // cell (marks) at their offset from it; wide cells fit their glyph into the slot.
    for (const ViewLineSegment& segment : info.segments) {
        const AttributedText& text = segment.attributedString;
        if (text.text.empty()) continue;
        const std::u16string_view all(text.text);
        size_t start = 0;
        for (const AttributedText::Run& run : text.runs) {
            const size_t end = start + run.length;
            if (run.length == 0 || start >= all.size()) {
                start = end;
                continue;
            }
            const TextAttributes& a = run.attributes;
            const platform::gfx::FontRef& font = a.font ? a.font : normalRef;
            std::shared_ptr<const ShaperRun> shaped =
                shaperCache_.shape(all.substr(start, std::min<size_t>(run.length, all.size() - start)), font);
            if (shaped) {
                const Float4 color = GpuGeometry::colorToSimd(a.foreground.value_or(defaultForeground));
                int lastOrdinal = -1;
                double cellStartX = 0;
                for (const ShaperGlyphRun& glyphs : shaped->glyphRuns) {
                    if (!glyphs.font) continue;
                    for (const platform::gfx::ShapedGlyph& g : glyphs.glyphs) {
                        const int ordinal = segment.cellOrdinal(start + g.cluster);
                        if (ordinal != lastOrdinal) {
                            lastOrdinal = ordinal;
                            cellStartX = g.x;
                        }
                        const int column = segment.column + ordinal * segment.columnWidth;
                        const GlyphSlotFit fit =
                            segment.columnWidth > 1
                                ? glyphSlotFit(*glyphs.font, g.glyph, segment.columnWidth, view.cellDimension(), normal)
                                : GlyphSlotFit{};
                        auto entry = glyphEntry(glyphs.font, g.glyph, glyphs.font->size() * (scale * sx) * fit.scale,
                                                glyphs.font->size() * (scale * sy) * fit.scale);
                        if (!entry || entry->width <= 0 || entry->height <= 0) continue;
                        const double penX = (column * cellWidth + (g.x - cellStartX) + fit.dx) * scale * sx;
                        double penY = (baselineY + g.y + fit.dy) * scale;
                        if (doubledHeight) penY = pivotY + 2 * (penY - pivotY);
                        const int x0 = penPixelX(penX) + entry->bearingX;
                        const int y0 = penPixelY(penY) + entry->bearingY;
                        GlyphAtlas& atlas = atlasOf(entry->atlasKind);
                        const Quad quad = atlasQuad(entry->region, atlas.size(), float(x0), float(y0),
                                                    float(x0 + entry->width), float(y0 + entry->height));
                        auto cut = GpuGeometry::clip(quad, rowClip);
                        if (!cut) continue;
                        if (entry->atlasKind == GlyphAtlasKind::color) {
                            data.glyphCellsColor.push_back(GpuGeometry::textCell(*cut, Float4{1, 1, 1, 1}));
                        } else {
                            data.glyphCellsGray.push_back(GpuGeometry::textCell(*cut, color));
                        }
                    }
                }
            }

            // Decorations cover every cell of the run, a wide cell's whole slot.
            if (a.hasDecorations() && run.length > 0) {
                const double length = std::ceil(segment.columnWidth * cellWidth);
                auto lineWidth = [scale](double thickness) {
                    return std::max(0.5, std::round(thickness * scale) / scale);
                };
                for (int o = segment.cellOrdinal(start), last = segment.cellOrdinal(end - 1); o <= last; ++o) {
                    const double x = (segment.column + o * segment.columnWidth) * cellWidth;
                    if (a.underlineStyle != UnderlineStyle::none) {
                        const UnderlineStyle style = a.underlineStyle;
                        const double p = normal.underlinePosition(), w = lineWidth(normal.underlineThickness());
                        const Float4 c = GpuGeometry::colorToSimd(a.underlineColor.value_or(defaultForeground));
                        const UnderlineStyle drawn = style == UnderlineStyle::double_ ? UnderlineStyle::single : style;
                        GpuGeometry::appendUnderlineSegments(x * scale, (x + length) * scale, (baselineY + p) * scale,
                                                             w * scale, c, drawn, scale, mode, pivotY, rowClip,
                                                             data.decorationCells);
                        if (style == UnderlineStyle::double_) {
                            GpuGeometry::appendUnderlineSegments(
                                x * scale, (x + length) * scale, (baselineY + p - (w + 1)) * scale, w * scale, c,
                                UnderlineStyle::single, scale, mode, pivotY, rowClip, data.decorationCells);
                        }
                    }
                    if (a.strikethrough) {
                        const platform::gfx::Font& runFont = a.font ? *a.font : normal;
                        const double w = lineWidth(runFont.underlineThickness());
                        const double y = (runFont.xHeight() + w) / 2;
                        const Float4 c = GpuGeometry::colorToSimd(a.strikethroughColor.value_or(defaultForeground));
                        GpuGeometry::appendUnderlineSegments(x * scale, (x + length) * scale, (baselineY + y) * scale,
                                                             w * scale, c, UnderlineStyle::single, scale, mode, pivotY,
                                                             rowClip, data.decorationCells);
                    }
                }
            }
            start = end;
        }
    }

    // Kitty placeholder cells: each shows its part of its placement's picture, fitted into the
    // placement's grid of cells.
    if (!info.kittyPlaceholders.empty() && pass.kitty) {
        const RowImageRenderer::Geometry geometry{platform::gfx::Size{cellWidth, cellHeight}, pass.backing};
        for (const KittyPlaceholderCell& cell : info.kittyPlaceholders) {
            const KittyPlacementRecord* record = RowImageRenderer::placementFor(cell, pass.placements);
            auto stored = pass.kitty->imagesById.find(cell.imageId);
            if (!record || stored == pass.kitty->imagesById.end()) continue;
            auto picture = payloadTexture(stored->second.payload);
            if (!picture) continue;
            const Rect grid = RowImageRenderer::placeholderGrid(cell, *record, rowY, geometry);
            if (grid.isEmpty()) continue;
            const Rect fitted = InlineImages::kittyAspectFitRect(
                platform::gfx::Size{double(picture->width()), double(picture->height())}, grid);
            const Rect visible = fitted.intersection(Rect{cell.col * cellWidth, rowY, cellWidth, cellHeight});
            if (visible.isEmpty() || fitted.isEmpty()) continue;
            const Rect uv{(visible.minX() - fitted.minX()) / fitted.width,
                          (visible.minY() - fitted.minY()) / fitted.height, visible.width / fitted.width,
                          visible.height / fitted.height};
            auto draw = GpuGeometry::imageDraw(std::move(picture), visible, uv, mode, rowClip, pivotY, scale);
            if (draw) data.placeholderImageDraws.push_back(std::move(*draw));
        }
    }
    return data;
}

}  // namespace vantel
