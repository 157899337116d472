#include "vantel/graphics/KittyGraphicsPayload.h"

#include <zlib.h>

#include <algorithm>
#include <array>

#include "vantel/core/Base64.h"
#include "vantel/graphics/KittyInflater.h"
#include "vantel/graphics/KittyPayloadLoader.h"

namespace vantel {

namespace {

bool validSide(int64_t side) { return side >= 1 && side <= kittyMaximumSide; }

}  // namespace

std::optional<std::vector<uint8_t>> decodeKittyBase64(std::span<const uint8_t> text) {
    Base64::DecodeOptions options;
    options.skipForeignCharacters = true;
    auto decoded = Base64::decode(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), options);
    if (!decoded) return std::nullopt;
    return std::move(decoded.bytes);
}

KittyPayloadLoad loadKittyPayload(const KittyGraphicsControl& control, std::span<const uint8_t> base64Payload) {
    return KittyPayloadLoader(control, base64Payload).runToEnd();
}

std::optional<KittyGraphicsPayload> decodeKittyPayload(const KittyGraphicsControl& control,
                                                       std::span<const uint8_t> base64Payload) {
    return KittyPayloadLoader(control, base64Payload, KittyPayloadLoader::Medium::inBand).runToEnd().payload;
}

size_t kittyReadLimit(const KittyGraphicsControl& control) {
    if (control.format == 100) return kittyMaximumDataBytes;
    const auto expected = kittyExpectedDataSize(control);
    if (!expected) return 0;
    const auto pixels = static_cast<uLong>(*expected);
    return control.compression ? static_cast<size_t>(compressBound(pixels)) : static_cast<size_t>(pixels);
}

size_t kittyPngReadLimit(std::span<const uint8_t> header) {
    if (!validateKittyPngDimensions(header)) return 0;
    const auto [width, height] = *kittyPngPixelSize(header);
    // Unfiltered 16-bit RGBA rows in stored deflate blocks, and room for ancillary chunks.
    const auto rows = static_cast<uLong>(height) * (static_cast<uLong>(width) * 8 + 1);
    return std::min(kittyMaximumDataBytes, static_cast<size_t>(compressBound(rows)) + (size_t{1} << 20));
}

size_t kittyInflateLimit(const KittyGraphicsControl& control) {
    const auto expected = kittyExpectedDataSize(control);
    return expected ? static_cast<size_t>(*expected) : kittyMaximumDataBytes;
}

std::optional<std::vector<uint8_t>> decompressKittyData(std::vector<uint8_t> data, std::optional<char> compression,
                                                        size_t limit) {
    if (!compression) {
        if (data.size() > kittyMaximumDataBytes) return std::nullopt;
        return data;
    }
    if (*compression != 'z') return std::nullopt;
    return decompressZlib(data, limit);
}

std::optional<std::vector<uint8_t>> decompressZlib(std::span<const uint8_t> data, size_t limit) {
    KittyInflater inflater(data, limit);
    while (!inflater.inflateSome(kittyMaximumDataBytes)) {
    }
    return inflater.take();
}

std::optional<int64_t> kittyExpectedDataSize(const KittyGraphicsControl& control) {
    if (!validSide(control.width) || !validSide(control.height)) return std::nullopt;
    if (control.format == 32) return control.width * control.height * 4;
    if (control.format == 24) return control.width * control.height * 3;
    return std::nullopt;
}

std::optional<KittyGraphicsPayload> decodeKittyPayloadData(const KittyGraphicsControl& control,
                                                           std::vector<uint8_t> rawData) {
    if (rawData.size() > kittyMaximumDataBytes) return std::nullopt;
    if (control.format == 100) {
        if (!validateKittyPngDimensions(rawData)) return std::nullopt;
        return KittyGraphicsPayload::png(std::move(rawData));
    }
    const auto expected = kittyExpectedDataSize(control);
    if (!expected || static_cast<int64_t>(rawData.size()) != *expected) return std::nullopt;
    const int width = static_cast<int>(control.width);
    const int height = static_cast<int>(control.height);
    if (control.format == 32) return KittyGraphicsPayload::rgba(std::move(rawData), width, height);

    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    widenRgbToRgba(rawData.data(), pixels.data(), pixels.size() / 4);
    return KittyGraphicsPayload::rgba(std::move(pixels), width, height);
}

void widenRgbToRgba(const uint8_t* from, uint8_t* to, size_t pixels) {
    for (const uint8_t* end = to + pixels * 4; to != end; to += 4, from += 3) {
        to[0] = from[0];
        to[1] = from[1];
        to[2] = from[2];
        to[3] = 255;
    }
}

}  // namespace vantel
