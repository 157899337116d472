#include "vantel/view/KittyPictureCache.h"

#include "platform/gfx/ImageDecoder.h"

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
    capacityBytes_ = capacityBytes;
}

const Image* KittyPictureCache::picture(const std::shared_ptr<const KittyGraphicsPayload>& payload) {
    if (!payload) return nullptr;
    auto found = entries_.find(payload.get());
    // An address freed and used again by another payload is not the same picture.
    if (found != entries_.end() && found->second->payload.lock() == payload) {
        order_.splice(order_.end(), order_, found->second);
        found->second->frame = frame_;
        return found->second->image.isEmpty() ? nullptr : &found->second->image;
    }
    if (found != entries_.end()) erase(found->second);
    // Pictures of payloads that are gone (their images deleted) make room first.
    for (auto it = order_.begin(); it != order_.end();) {
        auto next = std::next(it);
        if (it->payload.expired()) erase(it);
        it = next;
    }
    Image image = makePicture(*payload);
    ++made_;
    bytes_ += bytesOf(image);
    order_.push_back(Entry{payload.get(), payload, std::move(image), frame_});
    entries_[payload.get()] = std::prev(order_.end());
    makeRoom();
    return order_.back().image.isEmpty() ? nullptr : &order_.back().image;
}

// The least recently used go first; what this frame has drawn stays, over the budget if need be.
void KittyPictureCache::makeRoom() {
    while ((entries_.size() > capacity || bytes_ > capacityBytes_) && order_.front().frame != frame_) {
        erase(order_.begin());
    }
}

void KittyPictureCache::erase(Order::iterator entry) {
    bytes_ -= bytesOf(entry->image);
    entries_.erase(entry->key);
    order_.erase(entry);
}

void KittyPictureCache::clear() {
    entries_.clear();
    order_.clear();
    bytes_ = 0;
}

}  // namespace vantel
