#include "vantel/view/KittyPictureCache.h"

#include "platform/gfx/ImageDecoder.h"
#include "platform/runtime/SystemLog.h"

namespace vantel {

using platform::gfx::Image;

Image KittyPictureCache::makePicture(const KittyGraphicsPayload& payload) {
    if (!payload.isPng()) return Image::fromRgba(payload.bytes, payload.width, payload.height);
    std::optional<KittyPixels> pixels = decodePngToRgba(payload.bytes);
    return pixels ? Image::fromRgba(pixels->bytes, pixels->width, pixels->height) : Image{};
}

namespace {

size_t bytesOf(const Image& image) { return image.pixels.size() * sizeof(uint32_t); }

}  // namespace

void KittyPictureCache::beginFrame(size_t capacityBytes) {
    ++frame_;
    entries_.setLimits({.entries = capacity, .bytes = capacityBytes});
}

const Image* KittyPictureCache::picture(const std::shared_ptr<const KittyGraphicsPayload>& payload) {
    if (!payload) return nullptr;
    Entry* found = entries_.find(payload.get(), [&](const Entry& e) { return e.payload.lock() == payload; });
    if (!found) {
        // Pictures of payloads that are gone (their images deleted) make room first.
        entries_.eraseIf([](const Entry& e) { return e.payload.expired(); });
        Image image = makePicture(*payload);
        // Said once per payload: the empty picture is kept like any other.
        if (image.isEmpty()) {
            platform::runtime::SystemLog::write(
                platform::runtime::LogLevel::error, "images",
                payload->isPng() ? "a Kitty picture did not decode: " + std::to_string(payload->bytes.size()) +
                                       " bytes of PNG that libpng refuses"
                                 : "a Kitty picture did not decode: " + std::to_string(payload->bytes.size()) +
                                       " bytes do not make " + std::to_string(payload->width) + "x" +
                                       std::to_string(payload->height) + " RGBA pixels");
        }
        const size_t bytes = bytesOf(image);
        // The least recently used go first; what this frame has drawn stays, over the budget if need be.
        found = &entries_.insert(payload.get(), Entry{payload, std::move(image), frame_}, bytes,
                                 [this](const Entry& e) { return e.frame == frame_; });
    }
    found->frame = frame_;
    return found->image.isEmpty() ? nullptr : &found->image;
}

}  // namespace vantel
