#include "vantel/gpu/GlyphAtlas.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/gpu/Device.h"
#include "platform/gpu/Texture.h"
#include "platform/runtime/SystemLog.h"

namespace vantel {

using platform::runtime::LogLevel;
using platform::runtime::SystemLog;

namespace {

constexpr const char* logCategory = "GpuAtlas";
// Far beyond any texture; keeps the gutter arithmetic from overflowing.
constexpr int64_t largestGlyphSide = int64_t(1) << 30;

platform::gpu::PixelFormat texelFormat(GlyphAtlasFormat format) {
    return format == GlyphAtlasFormat::bgra ? platform::gpu::PixelFormat::bgra8Unorm : platform::gpu::PixelFormat::r8Unorm;
}

// An optional sign, then digits only, without overflow.
std::optional<int64_t> parseDecimal(std::string_view text) {
    if (text.empty()) return std::nullopt;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    uint64_t magnitude = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (!negative && magnitude > uint64_t(INT64_MAX)) return std::nullopt;
    if (negative && magnitude > uint64_t(INT64_MAX) + 1) return std::nullopt;
    return negative ? int64_t(0 - magnitude) : int64_t(magnitude);
}

}  // namespace

const char* GlyphAtlas::formatName(GlyphAtlasFormat format) {
    return format == GlyphAtlasFormat::bgra ? "bgra" : "grayscale";
}

GlyphAtlas::GlyphAtlas(std::shared_ptr<platform::gpu::Device> device, GlyphAtlasFormat format, int64_t side,
                       int64_t maxSize, std::shared_ptr<platform::gpu::Texture> texture)
    : device_(std::move(device)),
      format_(format),
      bytesPerPixel_(format == GlyphAtlasFormat::bgra ? 4 : 1),
      maxSize_(std::max(maxSize, side)),
      size_(side),
      texture_(std::move(texture)),
      data_(static_cast<size_t>(side * side * bytesPerPixel_), 0) {}

std::shared_ptr<platform::gpu::Texture> GlyphAtlas::makeTexture(int64_t side) const {
    if (side > INT32_MAX) return nullptr;
    return device_->makeTexture(texelFormat(format_), static_cast<int>(side), static_cast<int>(side));
}

std::unique_ptr<GlyphAtlas> GlyphAtlas::make(std::shared_ptr<platform::gpu::Device> device, int64_t size,
                                             int64_t maxSize, GlyphAtlasFormat format) {
    if (!device) return nullptr;
    const int64_t side = std::max(minimumSize, std::min(size, maxSize));
    if (side > INT32_MAX) return nullptr;
    // Only written regions are ever sampled, so the new texture is not uploaded.
    auto texture = device->makeTexture(texelFormat(format), static_cast<int>(side), static_cast<int>(side));
    if (!texture) return nullptr;
    return std::unique_ptr<GlyphAtlas>(new GlyphAtlas(std::move(device), format, side, maxSize, std::move(texture)));
}

int64_t GlyphAtlas::recommendedMaxSize(const platform::gpu::Device& device, GlyphAtlasFormat format) {
    return recommendedMaxSize(device.maxTextureSize(), format);
}

int64_t GlyphAtlas::recommendedMaxSize(int maxTextureSize, GlyphAtlasFormat format) {
    const char* value = std::getenv("VANTEL_ATLAS_MAX");
    if (auto parsed = value ? parseDecimal(value) : std::nullopt) {
        // Devices that take 16384-texel textures may go that far.
        const int64_t cap = maxTextureSize >= 16384 ? 16384 : 8192;
        return std::min(std::max(minimumSize, *parsed), cap);
    }
    return format == GlyphAtlasFormat::grayscale ? 8192 : 4096;
}

std::optional<AtlasRegion> GlyphAtlas::reserve(int64_t width, int64_t height) {
    if (width > size_ || height > size_) return std::nullopt;
    if (nextX_ + width > size_) {
        // The shelf closes even when the next shelf has no room either.
        nextX_ = 0;
        nextY_ += rowHeight_;
        rowHeight_ = 0;
    }
    if (nextY_ + height > size_) return std::nullopt;
    AtlasRegion region{nextX_, nextY_, width, height};
    nextX_ += width;
    rowHeight_ = std::max(rowHeight_, height);
    return region;
}

std::optional<AtlasRegion> GlyphAtlas::ensureRegion(int64_t width, int64_t height) {
    didReset_ = false;
    if (width < 1 || height < 1 || width > largestGlyphSide || height > largestGlyphSide) return std::nullopt;
    const int64_t paddedWidth = width + 2, paddedHeight = height + 2;
    auto glyphRegion = [&](const AtlasRegion& padded) { return AtlasRegion{padded.x + 1, padded.y + 1, width, height}; };
    if (auto padded = reserve(paddedWidth, paddedHeight)) return glyphRegion(*padded);
    if (frozen) {
        if (!loggedFrozenMiss_) {
            loggedFrozenMiss_ = true;
            SystemLog::write(LogLevel::fault, logCategory,
                             std::string("glyph atlas (") + formatName(format_) +
                                 ") frozen and full; glyphs will be skipped this frame");
        }
        return std::nullopt;
    }
    if (maxSize_ < paddedWidth || maxSize_ < paddedHeight) return std::nullopt;
    int64_t side = size_;
    while (side < maxSize_) {
        if (side >= std::max(paddedWidth, paddedHeight) && side >= nextY_ + paddedHeight) break;
        side *= 2;
    }
    side = std::min(side, maxSize_);
    if (side > size_) {
        grow(side);
        if (auto padded = reserve(paddedWidth, paddedHeight)) return glyphRegion(*padded);
    }
    if (!loggedResetOverflow_) {
        loggedResetOverflow_ = true;
        SystemLog::write(LogLevel::error, logCategory,
                         std::string("glyph atlas (") + formatName(format_) + ") reset at size " + std::to_string(size_) +
                             ": glyph working set exceeds capacity");
    }
    reset();
    didReset_ = true;
    if (auto padded = reserve(paddedWidth, paddedHeight)) return glyphRegion(*padded);
    return std::nullopt;
}

void GlyphAtlas::grow(int64_t newSize) {
    if (newSize <= size_) return;
    auto texture = makeTexture(newSize);
    if (!texture) {
        SystemLog::write(LogLevel::error, logCategory,
                         std::string("glyph atlas (") + formatName(format_) + ") grow to " + std::to_string(newSize) +
                             " failed: texture allocation");
        return;
    }
    SystemLog::write(LogLevel::info, logCategory,
                     std::string("glyph atlas (") + formatName(format_) + ") grow: " + std::to_string(size_) + " -> " +
                         std::to_string(newSize));
    std::vector<uint8_t> data(static_cast<size_t>(newSize * newSize * bytesPerPixel_), 0);
    const size_t oldRow = static_cast<size_t>(size_ * bytesPerPixel_), newRow = static_cast<size_t>(newSize * bytesPerPixel_);
    for (int64_t y = 0; y < size_; ++y)
        std::memcpy(data.data() + static_cast<size_t>(y) * newRow, data_.data() + static_cast<size_t>(y) * oldRow, oldRow);
    size_ = newSize;
    data_ = std::move(data);
    texture_ = std::move(texture);
    loggedFrozenMiss_ = loggedResetOverflow_ = false;
    uploadAll();
}

void GlyphAtlas::reset() {
    nextX_ = nextY_ = rowHeight_ = 0;
    std::fill(data_.begin(), data_.end(), 0);
    uploadAll();
}

void GlyphAtlas::uploadAll() {
    texture_->replaceRegion(0, 0, static_cast<int>(size_), static_cast<int>(size_), data_.data(),
                            static_cast<size_t>(size_ * bytesPerPixel_));
}

void GlyphAtlas::write(const AtlasRegion& region, std::span<const uint8_t> pixels, int64_t width, int64_t height) {
    if (region.width != width || region.height != height || width < 1 || height < 1) return;
    if (region.x < 0 || region.y < 0 || region.x + width > size_ || region.y + height > size_) return;
    if (pixels.size() < static_cast<size_t>(width * height * 4)) return;
    const int64_t bpp = bytesPerPixel_;
    const int64_t rowBytes = size_ * bpp;
    auto at = [&](int64_t x, int64_t y) { return data_.data() + y * rowBytes + x * bpp; };

    // The bitmap's rows run from the top; the atlas's rows from the glyph's bottom.
    for (int64_t r = 0; r < height; ++r) {
        const uint8_t* source = pixels.data() + (height - 1 - r) * width * 4;
        uint8_t* destination = at(region.x, region.y + r);
        if (format_ == GlyphAtlasFormat::grayscale) {
            for (int64_t c = 0; c < width; ++c) destination[c] = source[c * 4 + 3];
        } else {
            std::memcpy(destination, source, static_cast<size_t>(width * 4));
        }
    }

    // Gutter: the edge texels repeated, so that filtering at an edge never reaches a neighbour.
    const int64_t gx0 = std::max<int64_t>(0, region.x - 1), gy0 = std::max<int64_t>(0, region.y - 1);
    const int64_t gx1 = std::min(size_, region.x + width + 1), gy1 = std::min(size_, region.y + height + 1);
    const size_t glyphRowBytes = static_cast<size_t>(width * bpp);
    for (int64_t y = gy0; y < region.y; ++y) std::memcpy(at(region.x, y), at(region.x, region.y), glyphRowBytes);
    for (int64_t y = region.y + height; y < gy1; ++y)
        std::memcpy(at(region.x, y), at(region.x, region.y + height - 1), glyphRowBytes);
    for (int64_t y = gy0; y < gy1; ++y) {
        for (int64_t x = gx0; x < region.x; ++x) std::memcpy(at(x, y), at(region.x, y), static_cast<size_t>(bpp));
        for (int64_t x = region.x + width; x < gx1; ++x)
            std::memcpy(at(x, y), at(region.x + width - 1, y), static_cast<size_t>(bpp));
    }
    texture_->replaceRegion(static_cast<int>(gx0), static_cast<int>(gy0), static_cast<int>(gx1 - gx0),
                            static_cast<int>(gy1 - gy0), at(gx0, gy0), static_cast<size_t>(rowBytes));
}

}  // namespace vantel
