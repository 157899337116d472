#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "vantel/core/TerminalTypes.h"
#include "vantel/graphics/KittyGraphicsControl.h"
#include "vantel/graphics/KittyGraphicsPayload.h"
#include "vantel/graphics/KittyImageLedger.h"

namespace vantel {

struct KittyGraphicsImage {
    // Shared with the placements made from it, so a slice never copies pixels.
    std::shared_ptr<const KittyGraphicsPayload> payload;
    int64_t byteSize = 0;
    uint64_t lastAccessTick = 0;
};

struct KittyPlacementKey {
    uint32_t imageId = 0;
    uint32_t placementId = 0;
    friend bool operator==(const KittyPlacementKey&, const KittyPlacementKey&) = default;
};

struct KittyPlacementKeyHash {
    size_t operator()(const KittyPlacementKey& key) const noexcept {
        return std::hash<uint64_t>()((uint64_t{key.imageId} << 32) | key.placementId);
    }
};

// One live placement, on either screen. Rows are absolute line indexes of its buffer.
struct KittyPlacementRecord {
    uint32_t imageId = 0;
    uint32_t placementId = 0;
    std::optional<uint32_t> parentImageId;
    std::optional<uint32_t> parentPlacementId;
    int parentOffsetH = 0;
    int parentOffsetV = 0;
    int pixelOffsetX = 0;
    int pixelOffsetY = 0;
    int col = 0;
    int row = 0;
    int cols = 0;
    int rows = 0;
    int zIndex = 0;
    bool isVirtual = false;
    bool isAlternateBuffer = false;
    // Keeps `imageId` in use while the record lives; shared with the placement's slices.
    std::shared_ptr<const KittyImageLedger::Use> use;

    KittyPlacementKey key() const { return {imageId, placementId}; }
    bool hasParent() const { return parentImageId && parentPlacementId; }
};

// The placement a host is asked to build from an image: while it is set, the host's image calls
// make Kitty slices (sized by these requests) and store the placement's record.
struct KittyPlacementContext {
    std::optional<uint32_t> imageId;
    std::optional<uint32_t> imageNumber;
    std::optional<uint32_t> placementId;
    std::optional<uint32_t> parentImageId;
    std::optional<uint32_t> parentPlacementId;
    int parentOffsetH = 0;
    int parentOffsetV = 0;
    int zIndex = 0;
    ImageSizeRequest widthRequest;
    ImageSizeRequest heightRequest;
    bool preserveAspectRatio = true;
    int cursorPolicy = 0;  // 0: the cursor moves past the image
    bool isRelative = false;
    int pixelOffsetX = 0;
    int pixelOffsetY = 0;
};

// A chunked transfer in progress: the first chunk's control and the base64 gathered so far.
struct KittyGraphicsPending {
    KittyGraphicsControl control;
    std::vector<uint8_t> base64Payload;
};

// The Kitty image store of one terminal.
struct KittyGraphicsState {
    std::unordered_map<uint32_t, KittyGraphicsImage> imagesById;
    std::unordered_map<uint32_t, uint32_t> imageNumbers;  // number (I) to image id
    uint32_t nextImageId = 1;
    uint32_t nextPlacementId = 1;
    std::optional<KittyGraphicsPending> pending;
    std::unordered_map<KittyPlacementKey, KittyPlacementRecord, KittyPlacementKeyHash> placementsByKey;
    int64_t totalImageBytes = 0;
    uint64_t nextImageAccessTick = 1;
};

}  // namespace vantel
