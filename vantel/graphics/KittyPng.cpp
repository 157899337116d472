// PNG header checks and decoding for Kitty graphics (libpng's simplified reader).
#include <png.h>

#include <array>
#include <climits>
#include <cstring>

#include "vantel/graphics/KittyGraphicsPayload.h"

namespace vantel {

namespace {

uint32_t readBigEndian(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

bool validSide(int64_t side) { return side >= 1 && side <= kittyMaximumSide; }

}  // namespace

std::optional<std::pair<int, int>> kittyPngPixelSize(std::span<const uint8_t> data) {
    // Signature, then the IHDR chunk: length 13, type, width, height.
    static constexpr std::array<uint8_t, 8> signature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (data.size() < 24 || std::memcmp(data.data(), signature.data(), signature.size()) != 0) return std::nullopt;
    if (readBigEndian(data.data() + 8) != 13 || std::memcmp(data.data() + 12, "IHDR", 4) != 0) return std::nullopt;
    const uint32_t width = readBigEndian(data.data() + 16);
    const uint32_t height = readBigEndian(data.data() + 20);
    if (width > INT_MAX || height > INT_MAX) return std::nullopt;
    return std::pair<int, int>(static_cast<int>(width), static_cast<int>(height));
}

bool validateKittyPngDimensions(std::span<const uint8_t> data) {
    const auto size = kittyPngPixelSize(data);
    return size && validSide(size->first) && validSide(size->second);
}

std::optional<KittyPixels> decodePngToRgba(std::span<const uint8_t> data) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data.data(), data.size())) return std::nullopt;
    // The header is read; sides are checked before any pixel memory is taken.
    if (!validSide(image.width) || !validSide(image.height)) {
        png_image_free(&image);
        return std::nullopt;
    }
    image.format = PNG_FORMAT_RGBA;
    KittyPixels pixels;
    pixels.width = static_cast<int>(image.width);
    pixels.height = static_cast<int>(image.height);
    pixels.bytes.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.bytes.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    // Straight alpha, like f=32 data: a cropped PNG must look like the same picture sent raw.
    return pixels;
}

}  // namespace vantel
