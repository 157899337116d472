#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vantel {

// The control keys of one Kitty graphics command. Absent, empty or unparsable
// values leave the default; ids that do not parse stay absent.
struct KittyGraphicsControl {
    char action = 't';                   // a
    int64_t suppressResponses = 0;       // q
    int64_t format = 32;                 // f
    char transmission = 'd';             // t
    int64_t width = 0;                   // s
    int64_t height = 0;                  // v
    int64_t cropX = 0;                   // x
    int64_t cropY = 0;                   // y
    int64_t cropWidth = 0;               // w
    int64_t cropHeight = 0;              // h
    int64_t dataSize = 0;                // S
    int64_t dataOffset = 0;              // O
    std::optional<uint32_t> imageId;     // i
    std::optional<uint32_t> imageNumber; // I
    std::optional<uint32_t> placementId; // p
    std::optional<uint32_t> parentImageId;      // P
    std::optional<uint32_t> parentPlacementId;  // Q
    int64_t offsetH = 0;                 // H
    int64_t offsetV = 0;                 // V
    int64_t pixelOffsetX = 0;            // X
    int64_t pixelOffsetY = 0;            // Y
    int64_t unicodePlaceholder = 0;      // U
    int64_t zIndex = 0;                  // z
    int64_t more = 0;                    // m
    std::optional<char> compression;     // o
    int64_t columns = 0;                 // c
    int64_t rows = 0;                    // r
    int64_t cursorPolicy = 0;            // C
    std::optional<char> deleteMode;      // d
};

struct KittyGraphicsCommand {
    KittyGraphicsControl control;
    // The still-encoded payload: everything after the first ';'.
    std::span<const uint8_t> payload;
};

// Never fails: pieces it cannot use are skipped.
KittyGraphicsCommand parseKittyGraphicsControl(std::span<const uint8_t> data);

// Reply texts without their APC framing.
std::string kittyOkReplyText(std::optional<uint32_t> imageId, std::optional<uint32_t> imageNumber,
                             std::optional<uint32_t> placementId);
std::string kittyErrorReplyText(const KittyGraphicsControl& control, std::string_view message);

}  // namespace vantel
