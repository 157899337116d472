#include "vantel/view/InlineImages.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/FailureLog.h"
#include "platform/gfx/ImageDecoder.h"
#include "platform/gfx/Scale.h"
#include "vantel/core/Terminal.h"
#include "vantel/graphics/TerminalGraphics.h"
#include "vantel/view/ImageBand.h"

namespace vantel {

using platform::gfx::Canvas;
using platform::gfx::Image;
using platform::gfx::ImageDecoder;
using platform::gfx::Rect;
using platform::gfx::Size;
using Kind = ImageSizeRequest::Kind;

namespace {

double requested(ImageSizeRequest request, double cell, double frame, double natural, double backingScale) {
    switch (request.kind) {
        case Kind::cells: return request.value * cell;
        case Kind::pixels: return request.value;
        case Kind::percent: return request.value * 0.01 * frame;
        case Kind::automatic: return natural / backingScale;
        // Past every limit: the layout refuses the image.
        case Kind::tooLarge: return std::numeric_limits<double>::infinity();
    }
    return 0;
}

const KittyPlacementContext* placementContextOf(Terminal& terminal) {
    KittyGraphics* kitty = kittyGraphicsOf(terminal);
    return kitty && kitty->placementContext ? &*kitty->placementContext : nullptr;
}

// Attaches a band to a buffer line; a line full of images gives up its oldest.
void attach(Buffer& buffer, std::shared_ptr<ImageBand> band, int line) {
    if (line < 0 || line >= buffer.lines().count()) return;
    BufferLine& target = buffer.lines()[line];
    if (const TerminalImageList* images = target.images();
        images && images->size() >= InlineImages::maximumImagesPerLine) {
        TerminalImageList kept(images->begin() + 1, images->end());
        target.setImages(std::move(kept));
    }
    buffer.attachImage(std::move(band), line);
}

void storePlacementRecord(Terminal& terminal, const KittyPlacementContext& context, int col, int row, int cols,
                          int rows) {
    KittyGraphics* kitty = kittyGraphicsOf(terminal);
    if (!kitty || !context.imageId || !context.placementId) return;
    KittyPlacementRecord record;
    record.imageId = *context.imageId;
    record.placementId = *context.placementId;
    record.parentImageId = context.parentImageId;
    record.parentPlacementId = context.parentPlacementId;
    record.parentOffsetH = context.parentOffsetH;
    record.parentOffsetV = context.parentOffsetV;
    record.pixelOffsetX = context.pixelOffsetX;
    record.pixelOffsetY = context.pixelOffsetY;
    record.col = col;
    record.row = row;
    record.cols = cols;
    record.rows = rows;
    record.zIndex = context.zIndex;
    record.isAlternateBuffer = terminal.isCurrentBufferAlternate();
    kitty->recordPlacement(std::move(record));
}

}  // namespace

std::optional<InlineImages::Layout> InlineImages::layout(Size natural, ImageSizeRequest widthRequest,
                                                         ImageSizeRequest heightRequest, bool preserveAspectRatio,
                                                         const InlineImageView& view, int maximumRows) {
    const Size cell = view.cell;
    const double scale = platform::gfx::usableScale(view.backingScale);
    // A side of 0 would be divided by in the aspect ratio.
    if (!(natural.width > 0) || !(natural.height > 0) || !(cell.width > 0) || !(cell.height > 0)) return std::nullopt;
    double width = requested(widthRequest, cell.width, view.frame.width, natural.width, scale);
    double height = requested(heightRequest, cell.height, view.frame.height, natural.height, scale);
    const bool widthGiven = widthRequest.kind != Kind::automatic, heightGiven = heightRequest.kind != Kind::automatic;
    Layout layout;
    if (preserveAspectRatio && widthGiven && !heightGiven) height = width * natural.height / natural.width;
    if (preserveAspectRatio && !widthGiven && heightGiven) width = height * natural.width / natural.height;
    if (!std::isfinite(width) || !std::isfinite(height)) return std::nullopt;
    // Programs choose these sizes: past a few frames, or past what a band or all bands may hold,
    // the image is dropped as an unreadable one would be.
    const double maximumWidth = maximumFrames * std::max(view.frame.width, cell.width);
    const double maximumHeight = maximumFrames * std::max(view.frame.height, cell.height);
    if (width > maximumWidth || height > maximumHeight || width * scale > Canvas::maxPixelSide) return std::nullopt;
    layout.width = width;
    layout.height = height;
    layout.rows = static_cast<int>(std::max(0.0, std::ceil(height / cell.height)));
    layout.cols = static_cast<int>(std::max(0.0, std::ceil(width / cell.width)));
    if (layout.rows > maximumRows) return std::nullopt;
    const double bandBytes = std::ceil(std::max(0.0, width) * scale) * std::ceil(cell.height * scale) * 4;
    if (bandBytes * layout.rows > static_cast<double>(ImageDecoder::maxDecodedBytes)) return std::nullopt;
    layout.content = preserveAspectRatio && widthGiven && heightGiven
                         ? kittyAspectFitRect(natural, Rect{0, 0, width, height})
                         : Rect{0, 0, width, height};
    return layout;
}

Image InlineImages::band(const Image& image, const Layout& layout, int index, double cellHeight, double scale) {
    Canvas canvas({layout.width, cellHeight}, scale);
    // The picture's top edge lies index bands above this band's top.
    const Rect& content = layout.content;
    const double bandTop = index * cellHeight;
    canvas.drawImage(image, Rect{content.x, cellHeight - (content.maxY() - bandTop), content.width, content.height});
    return canvas.image();
}

Rect InlineImages::kittyAspectFitRect(Size imageSize, const Rect& rect) {
    if (!(imageSize.width > 0) || !(imageSize.height > 0) || !(rect.width > 0) || !(rect.height > 0)) return rect;
    const double scale = std::min(rect.width / imageSize.width, rect.height / imageSize.height);
    const double width = imageSize.width * scale, height = imageSize.height * scale;
    return Rect{rect.x + (rect.width - width) / 2, rect.y + (rect.height - height) / 2, width, height};
}

void InlineImages::createImageFromBitmap(Terminal& terminal, const InlineImageView& view,
                                         std::span<const uint8_t> bytes, int width, int height) {
    if (!ImageDecoder::withinLimits(width, height)) return;
    // The bytes are straight alpha; the band surfaces are premultiplied.
    Image image = Image::fromRgba(bytes, width, height);
    if (image.isEmpty()) return;
    if (const KittyPlacementContext* context = placementContextOf(terminal)) {
        insertImage(terminal, view, image, context->widthRequest, context->heightRequest, context->preserveAspectRatio);
        return;
    }
    const ImageSizeRequest widthRequest =
        width > view.frame.width ? ImageSizeRequest::percent(100) : ImageSizeRequest::automatic();
    insertImage(terminal, view, image, widthRequest, ImageSizeRequest::automatic(), true);
}

void InlineImages::createImage(Terminal& terminal, const InlineImageView& view, std::span<const uint8_t> data,
                               ImageSizeRequest width, ImageSizeRequest height, bool preserveAspectRatio) {
    // Programs send these: raster formats only, and an image the layout would drop is refused
    // from its header, before its pixels are decoded.
    ImageDecoder::Request request;
    request.rasterOnly = true;
    const int maximumRows = terminal.buffer().lines().maxLength();
    request.accepts = [&](int64_t naturalWidth, int64_t naturalHeight) {
        return layout(Size{double(naturalWidth), double(naturalHeight)}, width, height, preserveAspectRatio, view,
                      maximumRows)
            .has_value();
    };
    ImageDecoder::Result decoded = ImageDecoder::decode(data, request);
    if (decoded.status != ImageDecoder::Status::decoded) {
        // Once per picture: a program that sends the same one again and again is explained by one line.
        const bool refused = decoded.status == ImageDecoder::Status::refused;
        const std::string_view bytes(reinterpret_cast<const char*>(data.data()), data.size());
        // And a program that sends thousands of different ones by a few lines a minute.
        platform::gfx::logRefusalOnce(
            "images",
            std::string(refused ? "inline refused " : "inline undecodable ") + std::to_string(data.size()) + " " +
                std::to_string(std::hash<std::string_view>{}(bytes)),
            refused ? "inline images refused" : "inline images that do not decode",
            "an inline image of " + std::to_string(data.size()) + " bytes is not shown: " +
                (refused ? "refused (not a raster format, or larger than the screen or the decoder takes)"
                         : "it does not decode"));
        return;
    }
    insertImage(terminal, view, decoded.image, width, height, preserveAspectRatio);
}

void InlineImages::insertImage(Terminal& terminal, const InlineImageView& view, const Image& image,
                               ImageSizeRequest width, ImageSizeRequest height, bool preserveAspectRatio) {
    if (image.isEmpty()) return;
    Buffer& buffer = terminal.buffer();
    const std::optional<Layout> layout =
        InlineImages::layout(Size{double(image.width), double(image.height)}, width, height, preserveAspectRatio, view,
                             buffer.lines().maxLength());
    if (!layout) return;
    const KittyPlacementContext* context = placementContextOf(terminal);
    const double scale = platform::gfx::usableScale(view.backingScale);
    const int startCol = buffer.x();
    const int startLine = buffer.y() + buffer.yBase();
    if (context) storePlacementRecord(terminal, *context, startCol, startLine, layout->cols, layout->rows);

    // Whole device pixels, rounded up: a narrow picture keeps its last column, and one less than a
    // point wide is still drawn.
    const double bandWidth = std::ceil(layout->width * scale - 1e-9) / scale, bandHeight = view.cell.height;
    std::vector<Image> pictures;
    int64_t pictureBytes = 0;
    // Bands without pixels are skipped, line feeds and all.
    for (int i = 0; bandWidth > 0 && bandHeight > 0 && i < layout->rows; ++i) {
        pictures.push_back(band(image, *layout, i, view.cell.height, scale));
        pictureBytes += static_cast<int64_t>(pictures.back().pixels.size() * sizeof(uint32_t));
    }
    // The bands count against the terminal's image budget, like the engine's own images.
    KittyGraphics* kitty = kittyGraphicsOf(terminal);
    const std::shared_ptr<const KittyGraphicsPayload> held =
        kitty && !pictures.empty() ? kitty->holdShownPicture(pictureBytes) : nullptr;
    bool scrolled = false;
    for (Image& picture : pictures) {
        auto piece = std::make_shared<ImageBand>(std::move(picture), bandWidth, bandHeight, buffer.x());
        piece->source = held;
        if (context) {
            piece->kittyIsKitty = true;
            piece->kittyImageId = context->imageId;
            piece->kittyImageNumber = context->imageNumber;
            piece->kittyPlacementId = context->placementId;
            piece->kittyZIndex = context->zIndex;
            piece->kittyCol = startCol;
            piece->kittyRow = startLine;
            piece->kittyCols = layout->cols;
            piece->kittyRows = layout->rows;
            piece->kittyPixelOffsetX = context->pixelOffsetX;
            piece->kittyPixelOffsetY = context->pixelOffsetY;
        }
        attach(buffer, std::move(piece), buffer.y() + buffer.yBase());
        terminal.updateRange(buffer.y());

        const int x = buffer.x(), yBase = buffer.yBase(), linesTop = buffer.totalLinesTrimmed();
        terminal.cmdLineFeedBasic();
        buffer.setX(x);
        scrolled = scrolled || buffer.yBase() != yBase || buffer.totalLinesTrimmed() != linesTop;
    }
    if (scrolled) terminal.updateFullScreen();
    // Past the budget the least recently shown images go, from the lines and the store.
    if (held) kitty->enforceKittyImageMemory(held.get());

    if (context && context->cursorPolicy == 0 && !context->isRelative) {
        const int col = startCol + std::max(layout->cols, 1);
        const int row = startLine + std::max(layout->rows, 1) - buffer.yBase();
        if (col >= 0) buffer.setX(col);
        if (row >= 0) buffer.setY(row);
        terminal.restrictCursor(true);
    }
}

}  // namespace vantel
