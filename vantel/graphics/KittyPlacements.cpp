// Kitty placements: at the cursor, relative to a parent, virtual; cropping, the
// slices attached to buffer lines, the cursor afterwards, and keeping relative
// placements in step when lines move.
#include <algorithm>
#include <cmath>

#include "vantel/core/Terminal.h"
#include "vantel/graphics/KittyGraphics.h"

namespace vantel {

namespace {

// Control values far beyond any screen are limited, so the sums below stay in range.
constexpr int64_t maximumCells = 10'000;
constexpr int64_t maximumOffset = 1 << 24;

int clampToInt(int64_t value, int64_t limit) { return static_cast<int>(std::clamp(value, -limit, limit)); }
// Positions of long parent chains stay far from the ends of int.
constexpr int64_t maximumPosition = int64_t{1} << 30;

struct CellSize {
    int width = 0;
    int height = 0;
};

std::optional<CellSize> cellSizeOf(Terminal& terminal) {
    TerminalDelegate* delegate = terminal.delegate();
    if (!delegate) return std::nullopt;
    const auto size = delegate->cellSizeInPixels(terminal);
    // A zero side would be divided by.
    if (!size || size->first <= 0 || size->second <= 0) return std::nullopt;
    return CellSize{size->first, size->second};
}

struct PixelOffsets {
    int x = 0;
    int y = 0;
};

PixelOffsets pixelOffsetsFor(const KittyGraphicsControl& control, const std::optional<CellSize>& cell) {
    PixelOffsets offsets{clampToInt(std::max<int64_t>(control.pixelOffsetX, 0), maximumOffset),
                         clampToInt(std::max<int64_t>(control.pixelOffsetY, 0), maximumOffset)};
    if ((offsets.x > 0 || offsets.y > 0) && cell) {
        offsets.x = std::max(0, std::min(offsets.x, cell->width - 1));
        offsets.y = std::max(0, std::min(offsets.y, cell->height - 1));
    }
    return offsets;
}

std::optional<std::pair<int, int>> pixelSizeOf(const KittyGraphicsPayload& payload) {
    if (!payload.isPng()) return std::pair(payload.width, payload.height);
    return kittyPngPixelSize(payload.bytes);
}

// The cells a placement covers and its size on the screen in pixels.
struct Spans {
    int cols = 0;
    int rows = 0;
    int pixelWidth = 0;
    int pixelHeight = 0;
};

std::optional<Spans> spansFor(const KittyGraphicsPayload& shown, int columns, int rows, bool preserveAspectRatio,
                              PixelOffsets offsets, const std::optional<CellSize>& cell) {
    const auto imageSize = pixelSizeOf(shown);
    if (columns > 0 && rows > 0) {
        Spans spans{columns, rows, 0, 0};
        if (cell) {
            spans.pixelWidth = columns * cell->width;
            spans.pixelHeight = rows * cell->height;
        } else if (imageSize) {
            spans.pixelWidth = imageSize->first;
            spans.pixelHeight = imageSize->second;
        }
        return spans;
    }
    if (!cell || !imageSize || imageSize->first <= 0 || imageSize->second <= 0) return std::nullopt;
    const double imageWidth = imageSize->first;
    const double imageHeight = imageSize->second;
    double width = columns > 0 ? double(columns) * cell->width : imageWidth;
    double height = rows > 0 ? double(rows) * cell->height : imageHeight;
    if (preserveAspectRatio) {
        if (rows > 0 && columns <= 0) width = height * (imageWidth / imageHeight);
        if (columns > 0 && rows <= 0) height = width / (imageWidth / imageHeight);
    }
    const double limit = double(maximumCells) * 4096;
    width = std::min(width, limit);
    height = std::min(height, limit);
    Spans spans;
    spans.cols = std::max(1, static_cast<int>(std::ceil((offsets.x + width) / cell->width)));
    spans.rows = std::max(1, static_cast<int>(std::ceil((height + offsets.y) / cell->height)));
    spans.pixelWidth = static_cast<int>(std::lround(width));
    spans.pixelHeight = static_cast<int>(std::lround(height));
    return spans;
}

struct Crop {
    std::shared_ptr<const KittyGraphicsPayload> shown;
    const char* error = nullptr;
};

// New pixels are held by `memory`, so that they count against the image budget.
Crop cropPayload(std::shared_ptr<const KittyGraphicsPayload> payload, const KittyGraphicsControl& control,
                 KittyImageMemory& memory) {
    if (control.cropX == 0 && control.cropY == 0 && control.cropWidth == 0 && control.cropHeight == 0) {
        return {std::move(payload)};
    }
    if (payload->isPng()) {
        auto decoded = decodePngToRgba(payload->bytes);
        if (!decoded) return {nullptr, "ENOTSUP: cannot crop png"};
        payload = memory.hold(KittyGraphicsPayload::rgba(std::move(decoded->bytes), decoded->width, decoded->height));
    }
    const int64_t width = payload->width;
    const int64_t height = payload->height;
    const int64_t x0 = std::clamp<int64_t>(control.cropX, 0, width);
    const int64_t y0 = std::clamp<int64_t>(control.cropY, 0, height);
    const int64_t cropWidth = control.cropWidth <= 0 ? width - x0 : std::min(control.cropWidth, width - x0);
    const int64_t cropHeight = control.cropHeight <= 0 ? height - y0 : std::min(control.cropHeight, height - y0);
    if (x0 == 0 && y0 == 0 && cropWidth == width && cropHeight == height) return {std::move(payload)};
    if (cropWidth < 1 || cropHeight < 1) return {nullptr, "EINVAL: bad crop"};

    std::vector<uint8_t> pixels(static_cast<size_t>(cropWidth * cropHeight * 4));
    const size_t rowBytes = static_cast<size_t>(cropWidth * 4);
    for (int64_t row = 0; row < cropHeight; ++row) {
        const uint8_t* from = payload->bytes.data() + static_cast<size_t>(((y0 + row) * width + x0) * 4);
        std::copy(from, from + rowBytes, pixels.data() + static_cast<size_t>(row) * rowBytes);
    }
    return {memory.hold(
        KittyGraphicsPayload::rgba(std::move(pixels), static_cast<int>(cropWidth), static_cast<int>(cropHeight)))};
}

}  // namespace

bool KittyGraphics::displayKittyImage(std::shared_ptr<const KittyGraphicsPayload> payload,
                                      const KittyGraphicsControl& control, std::optional<uint32_t> imageId,
                                      std::optional<uint32_t> imageNumber) {
    Buffer& buffer = terminal_.buffer();
    const auto cell = cellSizeOf(terminal_);
    const int columns = clampToInt(std::max<int64_t>(control.columns, 0), maximumCells);
    const int rows = clampToInt(std::max<int64_t>(control.rows, 0), maximumCells);
    const PixelOffsets offsets = pixelOffsetsFor(control, cell);

    if (control.unicodePlaceholder == 1) {
        if (control.parentImageId || control.parentPlacementId) {
            sendKittyError(control, "EINVAL: virtual placement cannot refer to parent");
            return false;
        }
        if (!imageId) return true;
        uint32_t placementId;
        if (control.placementId) {
            placementId = *control.placementId;
        } else {
            placementId = state_.nextPlacementId == 0 ? 1 : state_.nextPlacementId;
            state_.nextPlacementId = placementId + 1;
        }
        removeKittyPlacement(*imageId, placementId);
        if (!roomForRecord(control, {*imageId, placementId})) return false;
        KittyPlacementRecord record;
        record.imageId = *imageId;
        record.placementId = placementId;
        record.pixelOffsetX = offsets.x;
        record.pixelOffsetY = offsets.y;
        record.col = buffer.x();
        record.row = buffer.y() + buffer.yBase();
        record.cols = columns;
        record.rows = rows;
        record.zIndex = clampToInt(control.zIndex, INT32_MAX);
        record.isVirtual = true;
        record.isAlternateBuffer = terminal_.isCurrentBufferAlternate();
        record.use = ledger_->use(*imageId);
        recordPlacement(std::move(record));
        return true;
    }

    const bool preserveAspectRatio = control.columns == 0 || control.rows == 0;
    const Origin origin = resolveKittyPlacementOrigin(control);
    if (origin.errorMessage) {
        sendKittyError(control, *origin.errorMessage);
        return false;
    }
    Crop crop = cropPayload(std::move(payload), control, *memory_);
    if (!crop.shown) {
        sendKittyError(control, crop.error);
        return false;
    }
    const KittyGraphicsPayload& shown = *crop.shown;

    const std::optional<uint32_t> placedImageId = imageId ? imageId : control.imageId;
    const std::optional<uint32_t> placedImageNumber = imageNumber ? imageNumber : control.imageNumber;
    const int savedX = buffer.x();
    const int savedY = buffer.y();
    if (imageId && control.placementId) removeKittyPlacement(*imageId, *control.placementId);
    if (placedImageId && control.placementId && !roomForRecord(control, {*placedImageId, *control.placementId})) {
        return false;
    }

    if (origin.isRelative) {
        // Only rows of the screen: a cursor below it would be outside the grid.
        const int screenRow = *origin.row - buffer.yBase();
        if (screenRow < 0 || screenRow >= terminal_.rows()) {
            sendKittyError(control, "EINVAL: placement out of range");
            return false;
        }
        buffer.setY(screenRow);
        buffer.setX(std::clamp(*origin.col, 0, terminal_.cols() - 1));
    }
    const int placementCol = buffer.x();
    const int placementRow = buffer.y() + buffer.yBase();

    auto spans = spansFor(shown, columns, rows, preserveAspectRatio, offsets, cell);
    // A placement covers at most the lines the buffer holds, the screen and its scroll-back: a
    // taller one would only scroll all of them out, a line at a time. Its picture keeps its size.
    const int capacity = std::max(1, buffer.lines().maxLength());
    if (spans) spans->rows = std::min(spans->rows, capacity);
    if (terminal_.delegate()) {
        // Without a cell size, a side not given in cells takes one cell.
        const Spans laid = spans.value_or(Spans{std::max(columns, 1), std::clamp(rows, 1, capacity), 0, 0});
        const auto imageSize = pixelSizeOf(shown);
        const int pixelWidth = laid.pixelWidth > 0 ? laid.pixelWidth : imageSize ? imageSize->first : 0;
        const int pixelHeight = laid.pixelHeight > 0 ? laid.pixelHeight : imageSize ? imageSize->second : 0;
        // One use for the placement: its slices and record keep the image id in use together.
        const auto use = placedImageId ? ledger_->use(*placedImageId) : nullptr;
        memory_->touch(crop.shown);
        for (int slice = 0; slice < laid.rows; ++slice) {
            const int line = placementRow + slice;
            if (line >= buffer.lines().count()) break;
            auto image = std::make_shared<KittyPlacementImage>();
            image->kittyImageId = placedImageId;
            image->kittyImageNumber = placedImageNumber;
            image->kittyPlacementId = control.placementId;
            image->kittyZIndex = clampToInt(control.zIndex, INT32_MAX);
            image->kittyCol = placementCol;
            image->kittyRow = placementRow;
            image->kittyCols = laid.cols;
            image->kittyRows = laid.rows;
            image->kittyPixelOffsetX = offsets.x;
            image->kittyPixelOffsetY = offsets.y;
            image->col = placementCol;
            image->sliceRow = slice;
            image->pixelWidth = pixelWidth;
            image->pixelHeight = pixelHeight;
            image->source = crop.shown;
            image->use = use;
            attachSlice(buffer, std::move(image), line);
            terminal_.updateRange(line - buffer.yBase());
        }
        // Only placements with both ids can be found again by key.
        if (placedImageId && control.placementId) {
            KittyPlacementRecord record;
            record.imageId = *placedImageId;
            record.placementId = *control.placementId;
            record.parentImageId = control.parentImageId;
            record.parentPlacementId = control.parentPlacementId;
            record.parentOffsetH = clampToInt(control.offsetH, maximumOffset);
            record.parentOffsetV = clampToInt(control.offsetV, maximumOffset);
            record.pixelOffsetX = offsets.x;
            record.pixelOffsetY = offsets.y;
            record.col = placementCol;
            record.row = placementRow;
            record.cols = laid.cols;
            record.rows = laid.rows;
            record.zIndex = clampToInt(control.zIndex, INT32_MAX);
            record.isAlternateBuffer = terminal_.isCurrentBufferAlternate();
            record.use = use;
            recordPlacement(std::move(record));
        }
        enforceKittyImageMemory(crop.shown.get());
    }

    if (origin.isRelative || control.cursorPolicy == 1) {
        buffer.setX(savedX);
        buffer.setY(savedY);
    } else if (spans) {
        if (cell) {
            buffer.setX(placementCol + spans->cols);
            buffer.setY(std::max(0, placementRow + spans->rows - buffer.yBase()));
        } else {
            buffer.setX(placementCol);
            buffer.setY(placementRow - buffer.yBase());
            for (int i = 0; i < spans->rows; ++i) terminal_.cmdIndex();
            buffer.setX(placementCol + spans->cols);
        }
        terminal_.restrictCursor();
        buffer.setX(std::min(buffer.x(), terminal_.cols() - 1));
        buffer.setY(std::min(buffer.y(), terminal_.rows() - 1));
    }
    return true;
}

bool KittyGraphics::hasRoomForRecord(const KittyPlacementKey& key) const {
    return state_.placementsByKey.size() < limits_.maximumPlacements || state_.placementsByKey.contains(key);
}

bool KittyGraphics::recordPlacement(KittyPlacementRecord record) {
    const KittyPlacementKey key = record.key();
    if (!hasRoomForRecord(key)) return false;
    state_.placementsByKey[key] = std::move(record);
    return true;
}

bool KittyGraphics::roomForRecord(const KittyGraphicsControl& control, const KittyPlacementKey& key) {
    if (hasRoomForRecord(key)) return true;
    sendKittyError(control, "ENOSPC: too many placements");
    return false;
}

void KittyGraphics::attachSlice(Buffer& buffer, std::shared_ptr<KittyPlacementImage> slice, int line) {
    // Placing over and over without an id stacks slices: the oldest Kitty slice makes room.
    if (const TerminalImageList* images = buffer.lines()[line].images();
        images && images->size() >= limits_.maximumImagesPerLine) {
        TerminalImageList kept = *images;
        auto oldest = std::find_if(kept.begin(), kept.end(), [](const auto& image) { return asKittyImage(image); });
        if (oldest == kept.end()) return;
        kept.erase(oldest);
        buffer.lines()[line].setImages(std::move(kept));
    }
    buffer.attachImage(std::move(slice), line);
}

KittyGraphics::Origin KittyGraphics::resolveKittyPlacementOrigin(const KittyGraphicsControl& control) {
    if (!control.parentImageId || !control.parentPlacementId) return {};
    const KittyPlacementKey parent{*control.parentImageId, *control.parentPlacementId};
    auto record = state_.placementsByKey.find(parent);
    if (record == state_.placementsByKey.end()) return {{}, {}, true, "ENOPARENT: parent placement not found"};
    if (record->second.isAlternateBuffer != terminal_.isCurrentBufferAlternate()) {
        return {{}, {}, true, "ENOPARENT: parent placement not in current buffer"};
    }
    const Positions positions = collectKittyPlacementPositions(terminal_.buffer());
    Positions resolved;
    KeySet visiting;
    const auto position = resolveKittyPlacementPosition(parent, positions, resolved, visiting);
    if (!position) return {{}, {}, true, "ENOPARENT: parent placement not found"};
    const int64_t col = int64_t{position->col} + std::clamp<int64_t>(control.offsetH, -maximumOffset, maximumOffset);
    const int64_t row = int64_t{position->row} + std::clamp<int64_t>(control.offsetV, -maximumOffset, maximumOffset);
    return {clampToInt(col, maximumPosition), clampToInt(row, maximumPosition), true, std::nullopt};
}

void KittyGraphics::removeKittyPlacement(uint32_t imageId, uint32_t placementId) {
    auto same = [=](const KittyPlacementImage& image) {
        return image.kittyImageId == imageId && image.kittyPlacementId == placementId;
    };
    KeySet removed;
    for (Buffer* buffer : {&terminal_.normalBuffer(), &terminal_.altBuffer()}) {
        removed.merge(removeKittyPlacements(*buffer, 0, buffer->lines().count(), same));
    }
    for (const auto& key : removed) state_.placementsByKey.erase(key);
    state_.placementsByKey.erase(KittyPlacementKey{imageId, placementId});
}

KittyGraphics::Positions KittyGraphics::collectKittyPlacementPositions(Buffer& buffer) {
    Positions positions;
    if (!buffer.hasAnyImages()) return positions;
    auto& lines = buffer.lines();
    for (int index = 0; index < lines.count(); ++index) {
        const BufferLine* line = lines.peek(index);
        const TerminalImageList* images = line ? line->images() : nullptr;
        if (!images) continue;
        for (const auto& image : *images) {
            const KittyPlacementImage* kitty = asKittyImage(image);
            if (!kitty) continue;
            // Lines are walked top down, so the first sighting is the placement's top row.
            if (auto key = kitty->key()) positions.try_emplace(*key, Cell{index, kitty->col});
        }
    }
    return positions;
}

std::optional<KittyGraphics::Cell> KittyGraphics::resolveKittyPlacementPosition(const KittyPlacementKey& key,
                                                                                 const Positions& positions,
                                                                                 Positions& resolved,
                                                                                 KeySet& visiting) {
    if (auto done = resolved.find(key); done != resolved.end()) return done->second;
    auto found = state_.placementsByKey.find(key);
    if (found == state_.placementsByKey.end()) return std::nullopt;
    const KittyPlacementRecord record = found->second;
    if (record.isAlternateBuffer != terminal_.isCurrentBufferAlternate() || visiting.contains(key)) return std::nullopt;

    visiting.insert(key);
    Cell position{record.row, record.col};
    if (!record.isVirtual) {
        if (auto onLines = positions.find(key); onLines != positions.end()) position = onLines->second;
    }
    if (record.hasParent()) {
        const auto parent = resolveKittyPlacementPosition({*record.parentImageId, *record.parentPlacementId},
                                                          positions, resolved, visiting);
        if (!parent) {
            visiting.erase(key);
            return std::nullopt;
        }
        position = {clampToInt(int64_t{parent->row} + record.parentOffsetV, maximumPosition),
                    clampToInt(int64_t{parent->col} + record.parentOffsetH, maximumPosition)};
    }
    visiting.erase(key);
    resolved[key] = position;
    return position;
}

void KittyGraphics::updateKittyRelativePlacementsForCurrentBuffer() {
    Buffer& buffer = terminal_.buffer();
    const bool alternate = terminal_.isCurrentBufferAlternate();
    // Runs on every scroll of a buffer with images: skip the line walk when no record could change.
    const bool anyRecord = std::any_of(state_.placementsByKey.begin(), state_.placementsByKey.end(),
                                       [&](const auto& entry) { return entry.second.isAlternateBuffer == alternate; });
    if (!anyRecord) return;
    const Positions positions = collectKittyPlacementPositions(buffer);

    for (auto& [key, record] : state_.placementsByKey) {
        if (record.isAlternateBuffer != alternate || record.isVirtual) continue;
        if (auto found = positions.find(key); found != positions.end()) {
            record.row = found->second.row;
            record.col = found->second.col;
        }
    }

    std::vector<KittyPlacementKey> relative;
    for (const auto& [key, record] : state_.placementsByKey) {
        if (record.isAlternateBuffer == alternate && record.hasParent()) relative.push_back(key);
    }
    Positions resolved;
    KeySet visiting;
    for (const auto& key : relative) {
        const auto position = resolveKittyPlacementPosition(key, positions, resolved, visiting);
        auto found = state_.placementsByKey.find(key);
        if (!position || found == state_.placementsByKey.end()) continue;
        KittyPlacementRecord& record = found->second;
        if (!record.isVirtual) {
            Cell current{record.row, record.col};
            if (auto onLines = positions.find(key); onLines != positions.end()) current = onLines->second;
            if (current.row != position->row || current.col != position->col) {
                moveKittyPlacementImages(buffer, key, position->row - current.row, position->row, position->col);
            }
        }
        record.row = position->row;
        record.col = position->col;
    }
}

void KittyGraphics::moveKittyPlacementImages(Buffer& buffer, const KittyPlacementKey& key, int deltaRow,
                                             int newTopRow, int newLeftCol) {
    auto& lines = buffer.lines();
    std::vector<std::pair<int, std::shared_ptr<TerminalImage>>> taken;
    for (int index = 0; index < lines.count(); ++index) {
        BufferLine* line = lines.peek(index);
        const TerminalImageList* images = line ? line->images() : nullptr;
        if (!images) continue;
        TerminalImageList kept;
        const size_t before = taken.size();
        for (const auto& image : *images) {
            const KittyPlacementImage* kitty = asKittyImage(image);
            if (kitty && kitty->key() == key) taken.emplace_back(index + deltaRow, image);
            else kept.push_back(image);
        }
        if (taken.size() == before) continue;
        if (kept.empty()) buffer.clearImagesFromLine(index);
        else line->setImages(std::move(kept));
    }
    for (auto& [target, image] : taken) {
        if (target < 0 || target >= lines.count()) continue;
        auto* kitty = static_cast<KittyPlacementImage*>(image.get());
        kitty->col = newLeftCol;
        kitty->kittyCol = newLeftCol;
        kitty->kittyRow = newTopRow;
        buffer.attachImage(std::move(image), target);
    }
    terminal_.updateFullScreen();
}

}  // namespace vantel
