#include "platform/gpu/Texture.h"

#include <gtest/gtest.h>

#include <numeric>

#include "platform/gpu/Buffer.h"
#include "support/GpuTestSupport.h"

using namespace platform::gpu;

namespace {

std::vector<uint8_t> ramp(size_t count, uint8_t start) {
    std::vector<uint8_t> bytes(count);
    std::iota(bytes.begin(), bytes.end(), start);
    return bytes;
}

}  // namespace

// Every format goes up and comes back byte for byte, also from rows wider than the rectangle and
// with odd widths (unpack alignment 1); BGRA comes back in the order it went up.
TEST(GpuTexture, RegionsRoundTripInEveryFormat) {
    GPU_TEST_DEVICE(device);
    for (PixelFormat format : {PixelFormat::r8Unorm, PixelFormat::bgra8Unorm, PixelFormat::rgba8Unorm}) {
        SCOPED_TRACE(pixelFormatName(format));
        auto texture = device->makeTexture(format, 7, 5);
        ASSERT_TRUE(texture);
        const size_t texel = bytesPerPixel(format);
        const size_t sourceRow = 5 * texel;  // 3 texels used of 5
        auto source = ramp(sourceRow * 2, 11);
        texture->replaceRegion(2, 1, 3, 2, source.data(), sourceRow);
        auto back = texture->readBytes(2, 1, 3, 2);
        ASSERT_EQ(back.size(), 3 * 2 * texel);
        for (size_t row = 0; row < 2; ++row)
            EXPECT_TRUE(std::equal(back.begin() + row * 3 * texel, back.begin() + (row + 1) * 3 * texel,
                                   source.begin() + row * sourceRow));
        const size_t before = texture->readBytes(0, 0, 7, 5).size();
        texture->replaceRegion(5, 4, 3, 1, source.data(), sourceRow);  // reaches past the edge: ignored
        texture->replaceRegion(0, 0, 1, 1, source.data(), texel - 1 + (texel == 1));
        EXPECT_EQ(texture->readBytes(0, 0, 7, 5).size(), before);
        EXPECT_TRUE(texture->readBytes(6, 0, 2, 1).empty());
    }
}

TEST(GpuTexture, SizesBeyondTheDeviceGiveNone) {
    GPU_TEST_DEVICE(device);
    EXPECT_GE(device->maxTextureSize(), 1024);
    EXPECT_FALSE(device->makeTexture(PixelFormat::r8Unorm, device->maxTextureSize() + 1, 4));
    EXPECT_FALSE(device->makeTexture(PixelFormat::r8Unorm, 4, 0));
    EXPECT_FALSE(device->makeTexture(PixelFormat::bgra8Unorm, -1, 4));
    EXPECT_TRUE(device->makeTexture(PixelFormat::r8Unorm, device->maxTextureSize(), 1));
}

TEST(GpuBuffer, CopiesItsBytesAndRefusesWhenTold) {
    GPU_TEST_DEVICE(device);
    const uint8_t bytes[] = {1, 2, 3, 4, 5};
    auto buffer = device->makeBuffer(bytes, sizeof bytes);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(buffer->length(), 5u);
    EXPECT_EQ(std::vector<uint8_t>(buffer->contents(), buffer->contents() + 5), std::vector<uint8_t>(bytes, bytes + 5));
    EXPECT_FALSE(device->makeBuffer(0));
    device->testHooks.failBufferAllocation = true;
    EXPECT_FALSE(device->makeBuffer(16));
    device->testHooks.failBufferAllocation = false;
}
