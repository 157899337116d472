#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "vantel/graphics/KittyGraphicsControl.h"

namespace vantel {

// A decoded Kitty image: PNG bytes as received, or straight RGBA pixels
// (4 bytes a pixel, rows top to bottom, `bytes.size() == width * height * 4`).
struct KittyGraphicsPayload {
    enum class Kind : uint8_t { png, rgba };
    Kind kind = Kind::rgba;
    std::vector<uint8_t> bytes;
    int width = 0;   // rgba only
    int height = 0;  // rgba only

    static KittyGraphicsPayload png(std::vector<uint8_t> data) { return {Kind::png, std::move(data), 0, 0}; }
    static KittyGraphicsPayload rgba(std::vector<uint8_t> pixels, int width, int height) {
        return {Kind::rgba, std::move(pixels), width, height};
    }
    bool isPng() const { return kind == Kind::png; }
    size_t byteSize() const { return bytes.size(); }
};

// The bound for decoded base64, file and shared-memory reads and inflated data.
inline constexpr size_t kittyMaximumDataBytes = 419'430'400;
// Pixel sides of raw data and of PNG images.
inline constexpr int64_t kittyMaximumSide = 10'000;

// Exactly one of the two is set.
struct KittyPayloadLoad {
    std::optional<KittyGraphicsPayload> payload;
    std::string errorMessage;
};

struct KittyPixels {
    std::vector<uint8_t> bytes;
    int width = 0;
    int height = 0;
};

// Standard base64; bytes outside the alphabet (line breaks, stray characters) are skipped.
std::optional<std::vector<uint8_t>> decodeKittyBase64(std::span<const uint8_t> text);

// The medium dispatcher of transmissions (a=t, a=T), loading at once (see KittyPayloadLoader for
// the same in steps). The file (t=f), temporary file (t=t) and shared-memory (t=s) media carry
// the path or the object's name in the payload.
KittyPayloadLoad loadKittyPayload(const KittyGraphicsControl& control, std::span<const uint8_t> base64Payload);
// In-band data only, whatever the medium key says (queries use it too).
std::optional<KittyGraphicsPayload> decodeKittyPayload(const KittyGraphicsControl& control,
                                                       std::span<const uint8_t> base64Payload);

// Bytes `offset` onward of a regular file, `size` of them (0: to the end). A range
// longer than `maximumBytes` (or the data bound) is refused before anything is read.
std::optional<std::vector<uint8_t>> readKittyFileData(const std::string& path, int64_t offset, int64_t size,
                                                      bool deleteAfterRead,
                                                      size_t maximumBytes = kittyMaximumDataBytes);
// Copies a range of a POSIX shared-memory object and unlinks the object once it
// is read; an object refused before that is left alone.
std::optional<std::vector<uint8_t>> readKittySharedMemory(const std::string& name, std::optional<int64_t> expectedSize,
                                                          int64_t offset, int64_t size,
                                                          size_t maximumBytes = kittyMaximumDataBytes);
// The most bytes worth reading from a file or object for this control: the
// pixel size for raw data (its deflate bound when compressed), else the data bound.
size_t kittyReadLimit(const KittyGraphicsControl& control);
// For uncompressed PNG data: the largest file its header's sides allow, or 0
// when `header` does not start a PNG of valid sides.
inline constexpr size_t kittyPngHeaderBytes = 24;
size_t kittyPngReadLimit(std::span<const uint8_t> header);
bool isKittyTempPath(const std::string& path);
std::optional<std::string> resolveKittyRealPath(const std::string& path);

// `limit` bounds the output: inflation stops and fails as soon as it is passed.
std::optional<std::vector<uint8_t>> decompressKittyData(std::vector<uint8_t> data, std::optional<char> compression,
                                                        size_t limit = kittyMaximumDataBytes);
std::optional<std::vector<uint8_t>> decompressZlib(std::span<const uint8_t> data, size_t limit = kittyMaximumDataBytes);
// The bound for inflating data of this control: the pixel size for raw formats.
size_t kittyInflateLimit(const KittyGraphicsControl& control);

// Checks the bytes against the format and sides; f=24 gains an opaque alpha byte per pixel.
std::optional<KittyGraphicsPayload> decodeKittyPayloadData(const KittyGraphicsControl& control,
                                                           std::vector<uint8_t> rawData);
// `pixels` RGB pixels of `from` as opaque RGBA into `to`.
void widenRgbToRgba(const uint8_t* from, uint8_t* to, size_t pixels);
// width * height * 4 (f=32) or * 3 (f=24) when both sides are 1...10000.
std::optional<int64_t> kittyExpectedDataSize(const KittyGraphicsControl& control);

// PNG header checks (nothing is decoded) and decoding to straight RGBA.
bool validateKittyPngDimensions(std::span<const uint8_t> data);
std::optional<std::pair<int, int>> kittyPngPixelSize(std::span<const uint8_t> data);
std::optional<KittyPixels> decodePngToRgba(std::span<const uint8_t> data);

}  // namespace vantel
