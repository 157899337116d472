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
    memory_->touch(payload);
    const KittyGraphicsPayload* stored = payload.get();
    state_.imagesById[imageId] = KittyGraphicsImage{std::move(payload), byteSize, tick};
    ledger_->stored(imageId, tick);
    state_.totalImageBytes += byteSize;
    if (imageNumber) {
        state_.imageNumbers[*imageNumber] = imageId;
        numbersOfImage_[imageId].push_back(*imageNumber);
    }
    enforceKittyImageCacheLimit();
    enforceKittyImageMemory(stored);
}

const KittyGraphicsImage* KittyGraphics::updateKittyImageAccess(uint32_t imageId) {
    auto found = state_.imagesById.find(imageId);
    if (found == state_.imagesById.end()) return nullptr;
    found->second.lastAccessTick = state_.nextImageAccessTick++;
    ledger_->stored(imageId, found->second.lastAccessTick);
    memory_->touch(found->second.payload);
    return &found->second;
}

void KittyGraphics::collectUsedKittyImageIds(Buffer& buffer, std::unordered_set<uint32_t>& into) {
    if (!buffer.hasAnyImages()) return;
    auto& lines = buffer.lines();
    storeWalkSteps_ += static_cast<uint64_t>(lines.count());
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

int64_t KittyGraphics::imageBudgetBytes() const {
    return std::clamp<int64_t>(terminal_.options().kittyImageCacheLimitBytes, 0, int64_t{1} << 32);
}

std::shared_ptr<const KittyGraphicsPayload> KittyGraphics::holdShownPicture(int64_t bytes) {
    return memory_->holdElsewhere(bytes);
}

void KittyGraphics::evictStoredImage(uint32_t imageId) {
    auto found = state_.imagesById.find(imageId);
    if (found == state_.imagesById.end()) return;
    subtractClamped(state_.totalImageBytes, found->second.byteSize);
    state_.imagesById.erase(found);
    ledger_->unstored(imageId);
    removeKittyImageNumbers(imageId);
}

void KittyGraphics::enforceKittyImageCacheLimit() {
    const int64_t limit = imageBudgetBytes();
    auto fits = [&] { return state_.totalImageBytes <= limit && state_.imagesById.size() <= limits_.maximumImages; };
    // Unused images first, least recently used first; then used ones the same way.
    // What is on the screen stays drawn from its slices; only later puts of these ids fail.
    for (bool includeUsed : {false, true}) {
        while (!fits()) {
            const auto oldest = ledger_->leastRecentlyUsed(includeUsed);
            if (!oldest) break;
            evictStoredImage(*oldest);
        }
    }
}

void KittyGraphics::enforceKittyImageMemory(const KittyGraphicsPayload* keep) {
    const int64_t limit = imageBudgetBytes();
    if (memory_->evictableBytes() <= limit) return;
    // Down to seven eighths, so that the line walk below is paid once per many images.
    const int64_t target = limit - limit / 8;
    const auto victims = memory_->leastRecentlyUsed(memory_->evictableBytes() - target, keep);
    if (victims.empty()) return;
    const std::unordered_set<const KittyGraphicsPayload*> evicting(victims.begin(), victims.end());
    std::vector<uint32_t> storedIds;
    storeWalkSteps_ += state_.imagesById.size();
    for (const auto& [id, image] : state_.imagesById) {
        if (evicting.contains(image.payload.get())) storedIds.push_back(id);
    }
    for (uint32_t id : storedIds) evictStoredImage(id);
    KeySet removed;
    for (Buffer* buffer : {&terminal_.normalBuffer(), &terminal_.altBuffer()}) {
        storeWalkSteps_ += static_cast<uint64_t>(buffer->lines().count());
        removed.merge(removeKittyPlacements(
            *buffer, 0, buffer->lines().count(),
            [&](const KittyPlacementImage& image) { return evicting.contains(image.source.get()); }, true));
    }
    for (const auto& key : removed) state_.placementsByKey.erase(key);
    // Whatever still holds one of them (a line copy somewhere) keeps it; it is not ours to free again.
    for (const KittyGraphicsPayload* payload : victims) memory_->evicted(payload);
}

void KittyGraphics::cleanupUnusedKittyImages() {
    const std::vector<uint32_t> unused = ledger_->unusedStoredImages();
    storeWalkSteps_ += unused.size();
    for (uint32_t id : unused) evictStoredImage(id);
}

void KittyGraphics::removeKittyImageNumbers(uint32_t imageId) {
    // Through the numbers given with the image, not a walk of every number.
    auto numbers = numbersOfImage_.find(imageId);
    if (numbers == numbersOfImage_.end()) return;
    for (uint32_t number : numbers->second) {
        // A number given again since names another image now.
        if (auto found = state_.imageNumbers.find(number); found != state_.imageNumbers.end() && found->second == imageId) {
            state_.imageNumbers.erase(found);
        }
    }
    numbersOfImage_.erase(numbers);
}

void KittyGraphics::clearAllKittyImages() {
    // The terminal has already cleared the lines of both buffers and marked the rows.
    state_.imagesById.clear();
    ledger_->storeCleared();
    state_.imageNumbers.clear();
    numbersOfImage_.clear();
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
