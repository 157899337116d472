#include "vantel/view/KittyPictureCache.h"

#include "platform/gfx/ImageDecoder.h"

namespace vantel {

using platform::gfx::Image;

namespace {

Image pictureOf(const KittyGraphicsPayload& payload) {
    if (!payload.isPng()) return Image::fromRgba(payload.bytes, payload.width, payload.height);
    std::optional<KittyPixels> pixels = decodePngToRgba(payload.bytes);
    return pixels ? Image::fromRgba(pixels->bytes, pixels->width, pixels->height) : Image{};
}

}  // namespace

const Image* KittyPictureCache::picture(const std::shared_ptr<const KittyGraphicsPayload>& payload) {
    if (!payload) return nullptr;
    auto found = entries_.find(payload.get());
    // An address freed and used again by another payload is not the same picture.
    if (found != entries_.end() && found->second.payload.lock() == payload) {
        return found->second.image.isEmpty() ? nullptr : &found->second.image;
    }
    if (found != entries_.end()) {
        bytes_ -= found->second.image.pixels.size() * 4;
        entries_.erase(found);
    }
    // Pictures of payloads that are gone (their images deleted) make room first.
    std::erase_if(entries_, [this](const auto& item) {
        if (!item.second.payload.expired()) return false;
        bytes_ -= item.second.image.pixels.size() * 4;
        return true;
    });
    Image image = pictureOf(*payload);
    const size_t bytes = image.pixels.size() * 4;
    if (entries_.size() >= capacity || bytes_ + bytes > capacityBytes) clear();
    bytes_ += bytes;
    const Entry& entry = entries_.emplace(payload.get(), Entry{payload, std::move(image)}).first->second;
    return entry.image.isEmpty() ? nullptr : &entry.image;
}

void KittyPictureCache::clear() {
    entries_.clear();
    bytes_ = 0;
}

}  // namespace vantel
