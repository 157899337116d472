#pragma once

#include <cstddef>
#include <memory>
#include <unordered_map>

#include "platform/gfx/Image.h"
#include "vantel/graphics/KittyGraphicsPayload.h"

namespace vantel {

// The pictures of Kitty payloads, made once per payload for drawing: PNG decoded, straight alpha
// premultiplied. A picture lives while its payload does and the cache has room: pictures of payloads
// gone are dropped when a new one is made, and past `capacity` pictures or `capacityBytes` the cache
// is emptied wholesale. Main thread only.
class KittyPictureCache {
public:
    static constexpr size_t capacity = 64;
    static constexpr size_t capacityBytes = size_t{256} << 20;

    // The payload's picture; null when it does not decode.
    const platform::gfx::Image* picture(const std::shared_ptr<const KittyGraphicsPayload>& payload);
    size_t count() const { return entries_.size(); }
    void clear();

private:
    struct Entry {
        std::weak_ptr<const KittyGraphicsPayload> payload;
        platform::gfx::Image image;  // empty when the payload does not decode
    };
    std::unordered_map<const KittyGraphicsPayload*, Entry> entries_;
    size_t bytes_ = 0;
};

}  // namespace vantel
