// Kitty deletion (a=d): the selectors, and the two removal routines every
// other removal of placements goes through.
#include <algorithm>
#include <cctype>
#include <limits>

#include "vantel/core/Terminal.h"
#include "vantel/graphics/KittyGraphics.h"

namespace vantel {

namespace {

// Extents use at least one cell each way; sums in 64 bits cannot overflow.
bool spans(int64_t start, int64_t length, int64_t value) {
    return value >= start && value <= start + std::max<int64_t>(length, 1) - 1;
}
bool imageCovers(const KittyPlacementImage& image, int64_t col, int64_t row) {
    return spans(image.kittyCol, image.kittyCols, col) && spans(image.kittyRow, image.kittyRows, row);
}
bool recordCovers(const KittyPlacementRecord& record, int64_t col, int64_t row) {
    return spans(record.col, record.cols, col) && spans(record.row, record.rows, row);
}

}  // namespace

void KittyGraphics::handleKittyDelete(const KittyGraphicsControl& control) {
    const char selector = control.deleteMode.value_or('a');
    const bool freesData = std::toupper(static_cast<unsigned char>(selector)) == static_cast<unsigned char>(selector);
    const int64_t x = control.cropX;
    const int64_t y = control.cropY;
    switch (std::tolower(static_cast<unsigned char>(selector))) {
        case 'a': deletePlacementsVisibleOnScreen(); break;
        case 'i':
            if (!control.imageId) return sendKittyError(control, "EINVAL: missing image id");
            deletePlacementsByImageId(*control.imageId, control.placementId);
            break;
        case 'n': {
            if (!control.imageNumber) return sendKittyError(control, "EINVAL: missing image number");
            auto found = state_.imageNumbers.find(*control.imageNumber);
            if (found != state_.imageNumbers.end()) deletePlacementsByImageId(found->second, control.placementId);
            break;
        }
        case 'c': {
            const Buffer& buffer = terminal_.buffer();
            deletePlacementsAtCell(buffer.x() + 1, buffer.y() + 1, std::nullopt);
            break;
        }
        case 'p':
        case 'q':
            if (x <= 0 || y <= 0) return sendKittyError(control, "EINVAL: missing cell position");
            deletePlacementsAtCell(x, y, selector == 'q' || selector == 'Q' ? std::optional(control.zIndex) : std::nullopt);
            break;
        case 'x':
            if (x <= 0) return sendKittyError(control, "EINVAL: missing column");
            deletePlacementsInColumn(x);
            break;
        case 'y':
            if (y <= 0) return sendKittyError(control, "EINVAL: missing row");
            deletePlacementsInRow(y);
            break;
        case 'z': deletePlacementsWithZIndex(control.zIndex); break;
        case 'r': {
            if (x <= 0 || y <= 0) return sendKittyError(control, "EINVAL: missing id range");
            // Ends past the id space are limited to its last id.
            constexpr int64_t lastId = std::numeric_limits<uint32_t>::max();
            deletePlacementsByImageIdRange(static_cast<uint32_t>(std::min({x, y, lastId})),
                                           static_cast<uint32_t>(std::min(std::max(x, y), lastId)));
            break;
        }
        default: return sendKittyError(control, "EINVAL: unsupported delete");
    }
    if (freesData) cleanupUnusedKittyImages();
}

void KittyGraphics::deletePlacements(const std::vector<Buffer*>& buffers, bool screenOnly, const ImageTest& imageTest,
                                     const RecordTest& recordTest) {
    KeySet fromLines;
    for (Buffer* buffer : buffers) {
        const int first = screenOnly ? buffer->yBase() : 0;
        const int end = screenOnly ? buffer->yBase() + buffer->rows() : buffer->lines().count();
        fromLines.merge(removeKittyPlacements(*buffer, first, end, imageTest));
    }
    KeySet records = removePlacementRecords(recordTest);
    // Records whose images lie outside the lines scanned above.
    std::erase_if(records, [&](const KittyPlacementKey& key) { return fromLines.contains(key); });
    removeKittyPlacementsByKey(records);
}

void KittyGraphics::deletePlacementsVisibleOnScreen() {
    Buffer& buffer = terminal_.buffer();
    const int64_t top = buffer.yBase();
    const int64_t bottom = top + buffer.rows() - 1;
    const int64_t right = buffer.cols() - 1;
    deletePlacements({&buffer}, true, [](const KittyPlacementImage&) { return true; },
                     [=](const KittyPlacementRecord& r) {
                         const int64_t lastCol = int64_t{r.col} + std::max(r.cols, 1) - 1;
                         const int64_t lastRow = int64_t{r.row} + std::max(r.rows, 1) - 1;
                         return lastCol >= 0 && r.col <= right && lastRow >= top && r.row <= bottom;
                     });
}

void KittyGraphics::deletePlacementsByImageId(uint32_t imageId, std::optional<uint32_t> placementId) {
    deletePlacements(
        {&terminal_.normalBuffer(), &terminal_.altBuffer()}, false,
        [=](const KittyPlacementImage& image) {
            return image.kittyImageId == imageId && (!placementId || image.kittyPlacementId == placementId);
        },
        [=](const KittyPlacementRecord& r) {
            return r.imageId == imageId && (!placementId || r.placementId == *placementId);
        });
}

void KittyGraphics::deletePlacementsAtCell(int64_t col, int64_t row, std::optional<int64_t> zIndex) {
    const int64_t column = col - 1;
    const int64_t line = row - 1 + terminal_.buffer().yBase();
    deletePlacements(
        {&terminal_.buffer()}, false,
        [=](const KittyPlacementImage& image) {
            return imageCovers(image, column, line) && (!zIndex || image.kittyZIndex == *zIndex);
        },
        [=](const KittyPlacementRecord& r) { return recordCovers(r, column, line) && (!zIndex || r.zIndex == *zIndex); });
}

void KittyGraphics::deletePlacementsInColumn(int64_t col) {
    const int64_t column = col - 1;
    deletePlacements(
        {&terminal_.buffer()}, false,
        [=](const KittyPlacementImage& image) { return spans(image.kittyCol, image.kittyCols, column); },
        [=](const KittyPlacementRecord& r) { return spans(r.col, r.cols, column); });
}

void KittyGraphics::deletePlacementsInRow(int64_t row) {
    const int64_t line = row - 1 + terminal_.buffer().yBase();
    deletePlacements(
        {&terminal_.buffer()}, false,
        [=](const KittyPlacementImage& image) { return spans(image.kittyRow, image.kittyRows, line); },
        [=](const KittyPlacementRecord& r) { return spans(r.row, r.rows, line); });
}

void KittyGraphics::deletePlacementsWithZIndex(int64_t zIndex) {
    deletePlacements(
        {&terminal_.normalBuffer(), &terminal_.altBuffer()}, false,
        [=](const KittyPlacementImage& image) { return image.kittyZIndex == zIndex; },
        [=](const KittyPlacementRecord& r) { return r.zIndex == zIndex; });
}

void KittyGraphics::deletePlacementsByImageIdRange(uint32_t min, uint32_t max) {
    deletePlacements(
        {&terminal_.normalBuffer(), &terminal_.altBuffer()}, false,
        [=](const KittyPlacementImage& image) {
            return image.kittyImageId && *image.kittyImageId >= min && *image.kittyImageId <= max;
        },
        [=](const KittyPlacementRecord& r) { return r.imageId >= min && r.imageId <= max; });
}

KittyGraphics::KeySet KittyGraphics::removeKittyPlacements(Buffer& buffer, int firstLine, int endLine,
                                                           const ImageTest& test, bool otherPicturesToo) {
    KeySet removed;
    auto& lines = buffer.lines();
    firstLine = std::max(firstLine, 0);
    endLine = std::min(endLine, lines.count());
    if (firstLine >= endLine || !buffer.hasAnyImages()) return removed;

    int smallest = -1;
    int largest = -1;
    for (int index = firstLine; index < endLine; ++index) {
        BufferLine* line = lines.peek(index);
        const TerminalImageList* images = line ? line->images() : nullptr;
        if (!images) continue;
        TerminalImageList kept;
        bool changed = false;
        for (const auto& image : *images) {
            const KittyPlacementImage* kitty =
                otherPicturesToo ? dynamic_cast<const KittyPlacementImage*>(image.get()) : asKittyImage(image);
            if (kitty && test(*kitty)) {
                changed = true;
                if (auto key = kitty->key()) removed.insert(*key);
            } else {
                kept.push_back(image);
            }
        }
        if (!changed) continue;
        if (kept.empty()) buffer.clearImagesFromLine(index);
        else line->setImages(std::move(kept));
        if (smallest < 0) smallest = index;
        largest = index;
    }
    if (smallest >= 0 && &buffer == &terminal_.buffer()) {
        const int first = smallest - buffer.yBase();
        const int last = largest - buffer.yBase();
        if (last >= 0 && first < terminal_.rows()) {
            terminal_.updateRange(std::max(first, 0));
            terminal_.updateRange(std::min(last, terminal_.rows() - 1));
        }
    }
    return removed;
}

KittyGraphics::KeySet KittyGraphics::removePlacementRecords(const RecordTest& test) {
    KeySet removed;
    for (const auto& [key, record] : state_.placementsByKey) {
        if (test(record)) removed.insert(key);
    }
    for (const auto& key : removed) state_.placementsByKey.erase(key);
    return removed;
}

KittyGraphics::KeySet KittyGraphics::removeKittyPlacementsByKey(const KeySet& keys) {
    KeySet removed;
    if (keys.empty()) return removed;
    auto inSet = [&](const KittyPlacementImage& image) {
        auto key = image.key();
        return key && keys.contains(*key);
    };
    for (Buffer* buffer : {&terminal_.normalBuffer(), &terminal_.altBuffer()}) {
        removed.merge(removeKittyPlacements(*buffer, 0, buffer->lines().count(), inSet));
    }
    return removed;
}

}  // namespace vantel
