#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/gpu/GpuTypes.h"

namespace platform::gpu {
class Device;
class Texture;
}  // namespace platform::gpu

namespace vantel {

enum class GlyphAtlasFormat { grayscale, bgra };

// Which of a renderer's two atlases holds an entry.
enum class GlyphAtlasKind { grayscale, color };

// A rectangle of an atlas in texels, from the texture's first row and column.
struct AtlasRegion {
    int64_t x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const AtlasRegion&, const AtlasRegion&) = default;
};

// One square texture into which glyphs are packed on shelves, with a CPU copy of every texel:
// growth (doubling up to maxSize) carries every glyph over without reading the texture back or
// rasterising again, and a write uploads only the glyph and its one-texel gutter. When even
// maxSize cannot hold what a frame needs, the atlas empties itself (didReset). A frozen atlas
// neither grows nor resets. Main thread only; logs in the "GpuAtlas" category.
class GlyphAtlas {
public:
    static constexpr int64_t minimumSize = 256;

    // Side = max(256, min(size, maxSize)); none when the device cannot make the texture.
    static std::unique_ptr<GlyphAtlas> make(std::shared_ptr<platform::gpu::Device> device, int64_t size,
                                            int64_t maxSize, GlyphAtlasFormat format);
    // The largest side for this format: VANTEL_ATLAS_MAX when it is a decimal integer (at least
    // 256, at most 16384 on a device that takes 16384-texel textures, else 8192), otherwise 8192
    // for grayscale and 4096 for colour.
    static int64_t recommendedMaxSize(const platform::gpu::Device& device, GlyphAtlasFormat format);
    // The same for a device whose textures may be `maxTextureSize` texels on a side.
    static int64_t recommendedMaxSize(int maxTextureSize, GlyphAtlasFormat format);

    // Room for a glyph of width × height pixels (the gutter is reserved around it, not part of
    // the region); grows or resets as needed. None for an empty glyph, one larger than maxSize
    // allows, or when a frozen atlas is full.
    std::optional<AtlasRegion> ensureRegion(int64_t width, int64_t height);
    // Copies a glyph laid out as GlyphBitmap pixels (premultiplied BGRA, rows from the top) into
    // a region ensureRegion returned, fills its gutter and uploads what changed. A size that
    // does not match the region, or too few pixels, is ignored.
    void write(const AtlasRegion& region, std::span<const uint8_t> pixels, int64_t width, int64_t height);

    GlyphAtlasFormat format() const { return format_; }
    int64_t bytesPerPixel() const { return bytesPerPixel_; }
    int64_t maxSize() const { return maxSize_; }
    int64_t size() const { return size_; }
    const std::shared_ptr<platform::gpu::Texture>& texture() const { return texture_; }
    // The CPU copy: size × size × bytesPerPixel bytes, row after row.
    const std::vector<uint8_t>& data() const { return data_; }
    bool didReset() const { return didReset_; }
    // Set by the frame builder for the last pass of a frame.
    bool frozen = false;

    static const char* formatName(GlyphAtlasFormat format);

private:
    GlyphAtlas(std::shared_ptr<platform::gpu::Device> device, GlyphAtlasFormat format, int64_t side, int64_t maxSize,
               std::shared_ptr<platform::gpu::Texture> texture);
    std::optional<AtlasRegion> reserve(int64_t width, int64_t height);
    void grow(int64_t newSize);
    void reset();
    void uploadAll();
    std::shared_ptr<platform::gpu::Texture> makeTexture(int64_t side) const;

    std::shared_ptr<platform::gpu::Device> device_;
    GlyphAtlasFormat format_;
    int64_t bytesPerPixel_;
    int64_t maxSize_;
    int64_t size_;
    std::shared_ptr<platform::gpu::Texture> texture_;
    std::vector<uint8_t> data_;
    int64_t nextX_ = 0;
    int64_t nextY_ = 0;
    int64_t rowHeight_ = 0;
    bool didReset_ = false;
    bool loggedFrozenMiss_ = false;
    bool loggedResetOverflow_ = false;
};

}  // namespace vantel
