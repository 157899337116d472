#include "vantel/graphics/KittyGraphicsPayload.h"

#include <zlib.h>

#include <algorithm>
#include <array>

#include "vantel/core/Base64.h"

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
    switch (control.transmission) {
        case 'd': {
            auto payload = decodeKittyPayload(control, base64Payload);
            if (!payload) return {std::nullopt, "EINVAL: bad payload"};
            return {std::move(payload), {}};
        }
        case 'f': return loadKittyFilePayload(control, base64Payload, false);
        case 't': return loadKittyFilePayload(control, base64Payload, true);
        case 's': return loadKittySharedMemoryPayload(control, base64Payload);
        default: return {std::nullopt, "ENOTSUP: unsupported transmission"};
    }
}

std::optional<KittyGraphicsPayload> decodeKittyPayload(const KittyGraphicsControl& control,
                                                       std::span<const uint8_t> base64Payload) {
    if (base64Payload.empty()) return std::nullopt;
    auto decoded = decodeKittyBase64(base64Payload);
    if (!decoded || decoded->size() > kittyMaximumDataBytes) return std::nullopt;
    auto data = decompressKittyData(std::move(*decoded), control.compression, kittyInflateLimit(control));
    if (!data) return std::nullopt;
    return decodeKittyPayloadData(control, std::move(*data));
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
    constexpr size_t window = 65'536;
    limit = std::min(limit, kittyMaximumDataBytes);
    if (data.size() > kittyMaximumDataBytes) return std::nullopt;

    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return std::nullopt;
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());

    std::vector<uint8_t> out;
    // A limit below the data bound is the exact pixel size: taken at once, the buffer
    // never doubles or shrinks by copying (untouched pages cost nothing).
    if (limit < kittyMaximumDataBytes) out.reserve(limit + 1);
    int status = Z_OK;
    // Stop as soon as the output passes the limit, so a small bomb never gets far.
    while (status == Z_OK && out.size() <= limit) {
        const size_t used = out.size();
        // Within what is already allocated while there is room.
        const size_t step = out.capacity() > used ? std::min(window, out.capacity() - used) : window;
        out.resize(used + step);
        stream.next_out = out.data() + used;
        stream.avail_out = static_cast<uInt>(step);
        status = inflate(&stream, Z_NO_FLUSH);
        out.resize(used + (step - stream.avail_out));
        // No progress with input exhausted: the stream was cut short.
        if (status == Z_BUF_ERROR) break;
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END || out.size() > limit) return std::nullopt;
    if (out.capacity() - out.size() > window) out.shrink_to_fit();
    return out;
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
    const uint8_t* from = rawData.data();
    for (uint8_t* to = pixels.data(); to != pixels.data() + pixels.size(); to += 4, from += 3) {
        to[0] = from[0];
        to[1] = from[1];
        to[2] = from[2];
        to[3] = 255;
    }
    return KittyGraphicsPayload::rgba(std::move(pixels), width, height);
}

}  // namespace vantel
