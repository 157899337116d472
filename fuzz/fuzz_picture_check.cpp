// The picture check that keeps no pixels against the whole decode: they must say the same of
// every input. A mutated PNG mostly fails its checksums before anything is decoded, so the
// input's first byte chooses how it becomes a PNG:
// - even: the rest is what follows the signature, its chunks' checksums made right;
// - odd: the next bytes give a header (size, colour type, bit depth, interlacing) and a palette
//   length, then the palette, and the rest is the image data, compressed as the format asks.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/gfx/ImageDecoder.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

void put32(Bytes& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void chunk(Bytes& out, std::string_view type, const uint8_t* data, size_t size) {
    put32(out, static_cast<uint32_t>(size));
    const size_t start = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data, data + size);
    put32(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// The chunks as they came, each checksum written anew; what does not fill a chunk stays as it is.
Bytes mended(const uint8_t* data, size_t size) {
    Bytes out(data, data + size);
    for (size_t at = 0; at + 12 <= out.size();) {
        const uint32_t length = (uint32_t{out[at]} << 24) | (uint32_t{out[at + 1]} << 16) | (uint32_t{out[at + 2]} << 8) | out[at + 3];
        if (length > out.size() - at - 12) break;
        const uint32_t crc = static_cast<uint32_t>(crc32(0, out.data() + at + 4, length + 4));
        for (int i = 0; i < 4; ++i) out[at + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        at += 12 + length;
    }
    return out;
}

// A PNG made of a header read from the input and the rest as its image data.
Bytes built(const uint8_t* data, size_t size) {
    if (size < 6) return {};
    static constexpr uint8_t colourTypes[] = {0, 2, 3, 4, 6};
    static constexpr uint8_t depths[] = {1, 2, 4, 8, 16};
    Bytes header;
    put32(header, 1 + data[0] % 48);
    put32(header, 1 + data[1] % 48);
    header.push_back(depths[data[2] % 5]);
    header.push_back(colourTypes[data[3] % 5]);
    header.insert(header.end(), {0, 0, static_cast<uint8_t>(data[4] & 1)});
    const size_t paletteBytes = std::min<size_t>(3 * (data[5] % 257), size - 6);
    Bytes out(std::begin(signature), std::end(signature));
    chunk(out, "IHDR", header.data(), header.size());
    if (paletteBytes > 0) chunk(out, "PLTE", data + 6, paletteBytes);
    const uint8_t* image = data + 6 + paletteBytes;
    const size_t imageBytes = size - 6 - paletteBytes;
    uLongf packed = compressBound(static_cast<uLong>(imageBytes));
    Bytes compressed(packed);
    if (compress(compressed.data(), &packed, image, static_cast<uLong>(imageBytes)) != Z_OK) return {};
    // In two pieces, as writers split it.
    const size_t half = packed / 2;
    chunk(out, "IDAT", compressed.data(), half);
    chunk(out, "IDAT", compressed.data() + half, packed - half);
    chunk(out, "IEND", nullptr, 0);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    Bytes bytes;
    if (data[0] % 2 == 0) {
        bytes.assign(std::begin(signature), std::end(signature));
        const Bytes rest = mended(data + 1, size - 1);
        bytes.insert(bytes.end(), rest.begin(), rest.end());
    } else {
        bytes = built(data + 1, size - 1);
        if (bytes.empty()) return 0;
    }
    platform::gfx::ImageDecoder::Request request;
    request.rasterOnly = true;
    // Small pictures only: the decode keeps the pixels.
    request.sideLimit = 512;
    if (platform::gfx::ImageDecoder::check(bytes, request) != platform::gfx::ImageDecoder::decode(bytes, request).status)
        std::abort();
    return 0;
}
