// The Kitty image store: storing, access ticks, the byte budget and clearing.
#include <algorithm>

#include "vantel/core/Terminal.h"
#include "vantel/graphics/KittyGraphics.h"

namespace vantel {

namespace {

void subtractClamped(int64_t& total, int64_t amount) { total = std::max<int64_t>(0, total - amount); }

}  // namespace

void KittyGraphics::storeKittyImage(std::shared_ptr<const KittyGraphicsPayload> payload, uint32_t imageId,
                                    std::optional<uint32_t> imageNumber) {
    const auto byteSize = static_cast<int64_t>(payload->byteSize());
    const uint64_t tick = state_.nextImageAccessTick++;
    if (auto old = state_.imagesById.find(imageId); old != state_.imagesById.end()) {
        subtractClamped(state_.totalImageBytes, old->second.byteSize);
    }
    state_.imagesById[imageId] = KittyGraphicsImage{std::move(payload), byteSize, tick};
    state_.totalImageBytes += byteSize;
    if (imageNumber) state_.imageNumbers[*imageNumber] = imageId;
    enforceKittyImageCacheLimit();
}

const KittyGraphicsImage* KittyGraphics::updateKittyImageAccess(uint32_t imageId) {
    auto found = state_.imagesById.find(imageId);
    if (found == state_.imagesById.end()) return nullptr;
    found->second.lastAccessTick = state_.nextImageAccessTick++;
    return &found->second;
}

void KittyGraphics::collectUsedKittyImageIds(Buffer& buffer, std::unordered_set<uint32_t>& into) {
    if (!buffer.hasAnyImages()) return;
    auto& lines = buffer.lines();
    for (int row = 0; row < lines.count(); ++row) {
        const BufferLine* line = lines.peek(row);
        const TerminalImageList* images = line ? line->images() : nullptr;
        if (!images) continue;
        for (const auto& image : *images) {
            if (auto* kitty = asKittyImage(image); kitty && kitty->kittyImageId) into.insert(*kitty->kittyImageId);
        }
    }
}

std::unordered_set<uint32_t> KittyGraphics::collectUsedKittyImageIds() {
    std::unordered_set<uint32_t> used;
    collectUsedKittyImageIds(terminal_.normalBuffer(), used);
    collectUsedKittyImageIds(terminal_.altBuffer(), used);
    // A virtual placement has nothing on the lines but keeps its image in use.
    for (const auto& [key, record] : state_.placementsByKey) used.insert(record.imageId);
    return used;
}

void KittyGraphics::enforceKittyImageCacheLimit() {
    const int64_t limit = std::clamp<int64_t>(terminal_.options().kittyImageCacheLimitBytes, 0, int64_t{1} << 32);
    auto fits = [&] {
        return state_.totalImageBytes <= limit && state_.imagesById.size() <= limits_.maximumImages;
    };
    if (fits()) return;

    auto evictOldest = [&](const std::unordered_set<uint32_t>* skipUsed) {
        std::vector<std::pair<uint64_t, uint32_t>> candidates;
        candidates.reserve(state_.imagesById.size());
        for (const auto& [id, image] : state_.imagesById) {
            if (!skipUsed || !skipUsed->contains(id)) candidates.emplace_back(image.lastAccessTick, id);
        }
        std::sort(candidates.begin(), candidates.end());
        for (const auto& [tick, id] : candidates) {
            auto found = state_.imagesById.find(id);
            subtractClamped(state_.totalImageBytes, found->second.byteSize);
            state_.imagesById.erase(found);
            removeKittyImageNumbers(id);
            auto fits = [&] {
        return state_.totalImageBytes <= limit && state_.imagesById.size() <= limits_.maximumImages;
    };
    if (fits()) return;
        }
    };
    const auto used = collectUsedKittyImageIds();
    evictOldest(&used);
    // What is on the screen stays drawn from its slices; only later puts of these ids fail.
    if (!fits()) evictOldest(nullptr);
}

void KittyGraphics::cleanupUnusedKittyImages() {
    const auto used = collectUsedKittyImageIds();
    std::vector<uint32_t> unused;
    for (const auto& [id, image] : state_.imagesById) {
        if (!used.contains(id)) unused.push_back(id);
    }
    for (uint32_t id : unused) {
        auto found = state_.imagesById.find(id);
        subtractClamped(state_.totalImageBytes, found->second.byteSize);
        state_.imagesById.erase(found);
        removeKittyImageNumbers(id);
    }
}

void KittyGraphics::removeKittyImageNumbers(uint32_t imageId) {
    std::erase_if(state_.imageNumbers, [imageId](const auto& entry) { return entry.second == imageId; });
}

void KittyGraphics::clearAllKittyImages() {
    // The terminal has already cleared the lines of both buffers and marked the rows.
    state_.imagesById.clear();
    state_.imageNumbers.clear();
    state_.placementsByKey.clear();
    state_.totalImageBytes = 0;
    state_.nextImageAccessTick = 1;
}

void KittyGraphics::clearKittyImages(Buffer& buffer, bool isAlternateBuffer) {
    const KeySet onLines =
        removeKittyPlacements(buffer, 0, buffer.lines().count(), [](const KittyPlacementImage&) { return true; });
    KeySet records = removePlacementRecords(
        [isAlternateBuffer](const KittyPlacementRecord& record) { return record.isAlternateBuffer == isAlternateBuffer; });
    std::erase_if(records, [&](const KittyPlacementKey& key) { return onLines.contains(key); });
    removeKittyPlacementsByKey(records);
    cleanupUnusedKittyImages();
}

}  // namespace vantel
