#pragma once

#include <cstdint>
#include <span>

#include "platform/gfx/Image.h"

namespace platform::gfx {

// Decodes the encoded images the view shows (inline images, logos): PNG, JPEG, GIF (first frame),
// BMP, TIFF, ICO, WebP and SVG. The format is recognised from the leading bytes; nothing else is
// handed to a decoder. The size is read before any pixel is decoded, and an image beyond the limits
// is refused at that point. Safe on any thread.
class ImageDecoder {
public:
    static constexpr int64_t maxSide = 16384;
    static constexpr int64_t maxDecodedBytes = int64_t{256} << 20;

    enum class Status { decoded, refused, failed };
    struct Result {
        Status status = Status::failed;
        Image image;  // set when decoded
    };

    static Result decode(std::span<const uint8_t> data);
    // The same, refusing also images wider or higher than `sideLimit` (images shown small).
    static Result decode(std::span<const uint8_t> data, int64_t sideLimit);

    // Whether an image of this size may be decoded (4 bytes per pixel).
    static bool withinLimits(int64_t width, int64_t height);
};

}  // namespace platform::gfx
