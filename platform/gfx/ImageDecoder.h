#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "platform/gfx/Image.h"

namespace platform::gfx {

// Decodes the encoded images the view shows (inline images, logos): PNG, JPEG, GIF (first frame),
// BMP, TIFF, ICO, WebP and SVG, and ICNS where the system has a loader for it. The format is recognised from the leading bytes; nothing else is
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

    // What one decode accepts, beyond the limits.
    struct Request {
        // Images wider or higher are refused (images shown small).
        int64_t sideLimit = maxSide;
        // Only PNG, JPEG, GIF, BMP, TIFF and WebP, for images that programs send: their decoding
        // takes time in proportion to their pixels, while a small drawing with filters can take
        // minutes. Other formats are refused unread.
        bool rasterOnly = false;
        // Asked with the size the header gives; false refuses the image before any pixel is decoded.
        std::function<bool(int64_t width, int64_t height)> accepts;
        // Above 0: scaled down on decoding, proportionally, to fit a square of this many pixels (a
        // thumbnail). SVG is drawn at that size; other formats are scaled once read.
        int fitSide = 0;
    };

    // Whether the image decodes within the request, without keeping its pixels: a PNG is read a
    // row at a time (memory about the file's size, however large the picture), any other format
    // decoded whole and let go. `decoded` when it does. Takes time in proportion to the pixels:
    // not for the main thread with a large picture.
    static Status check(std::span<const uint8_t> data, const Request& request);

    static Result decode(std::span<const uint8_t> data);
    // The same, refusing also images wider or higher than `sideLimit` (images shown small).
    static Result decode(std::span<const uint8_t> data, int64_t sideLimit);
    static Result decode(std::span<const uint8_t> data, const Request& request);

    // Whether images of a MIME type ("image/png") are recognised and a loader reads them: what a
    // file chooser may offer.
    static bool readsMimeType(std::string_view mimeType);

    // Whether an image of this size may be decoded (4 bytes per pixel).
    static bool withinLimits(int64_t width, int64_t height);

    // Images handed to a loader so far in this process (for tests and figures).
    static uint64_t imagesHandedToLoaders();
    // Checks run so far on the calling thread (for tests: a large one must not hold a window's loop).
    static uint64_t checksOnThisThread();
};

}  // namespace platform::gfx
