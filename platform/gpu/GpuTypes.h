#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::gpu {

// Texel formats. BGRA8 is stored as RGBA8 and uploaded and read as GL_BGRA, so its bytes are
// blue, green, red, alpha as Cairo's image words are. Nothing converts to or from sRGB.
enum class PixelFormat { r8Unorm, bgra8Unorm, rgba8Unorm };

constexpr size_t bytesPerPixel(PixelFormat format) { return format == PixelFormat::r8Unorm ? 1 : 4; }
const char* pixelFormatName(PixelFormat format);

struct ClearColor {
    double red = 0, green = 0, blue = 0, alpha = 1;
};

enum class LoadAction { dontCare, load, clear };

enum class BlendFactor { zero, one, sourceAlpha, oneMinusSourceAlpha };

// Colour attachment 0's blending; the operation is always addition.
struct BlendState {
    bool enabled = false;
    BlendFactor sourceRGB = BlendFactor::one;
    BlendFactor destinationRGB = BlendFactor::zero;
    BlendFactor sourceAlpha = BlendFactor::one;
    BlendFactor destinationAlpha = BlendFactor::zero;
};

enum class SamplerFilter { nearest, linear };
enum class SamplerAddressMode { clampToEdge, repeat };

struct SamplerDescriptor {
    SamplerFilter minFilter = SamplerFilter::nearest;
    SamplerFilter magFilter = SamplerFilter::nearest;
    SamplerAddressMode sAddressMode = SamplerAddressMode::clampToEdge;
    SamplerAddressMode tAddressMode = SamplerAddressMode::clampToEdge;
};

// Mirrors the command-buffer states a renderer tracks: 0 to 5 in this order.
enum class CommandBufferStatus { notEnqueued, enqueued, committed, scheduled, completed, error };

}  // namespace platform::gpu
