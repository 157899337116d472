// Feeds arbitrary bytes after a PNG signature to the picture check that keeps no pixels and to
// the whole decode: they must say the same of every input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/gfx/ImageDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static constexpr uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> bytes(std::begin(signature), std::end(signature));
    bytes.insert(bytes.end(), data, data + size);
    platform::gfx::ImageDecoder::Request request;
    request.rasterOnly = true;
    // Small pictures only: the decode keeps the pixels.
    request.sideLimit = 512;
    if (platform::gfx::ImageDecoder::check(bytes, request) != platform::gfx::ImageDecoder::decode(bytes, request).status)
        std::abort();
    return 0;
}
