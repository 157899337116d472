#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/gfx/BoundedCache.h"
#include "platform/gfx/Image.h"
#include "vantel/graphics/KittyGraphicsPayload.h"

namespace vantel {

// The pictures of Kitty payloads, made once per payload for drawing: PNG decoded, straight alpha
// premultiplied. A picture lives while its payload does and the cache has room: pictures of payloads
// gone are dropped when a new one is made, and past `capacity` pictures or the byte budget the least
// recently used go one at a time, never one the frame being drawn has used, so a frame that shows
// more than the budget holds still makes each picture once. Main thread only.
class KittyPictureCache {
public:
    static constexpr size_t capacity = 1024;
    // The terminal's image budget by default; a view sets its own terminal's.
    static constexpr size_t defaultCapacityBytes = size_t{320} << 20;

    // A payload's picture, made now: PNG decoded within the decoder's limits, straight alpha
    // premultiplied. Empty when it does not decode.
    static platform::gfx::Image makePicture(const KittyGraphicsPayload& payload);

    // Pictures asked for from now on belong to a new frame. `capacityBytes`: the byte budget, at
    // least the image store's so that what the store keeps can be shown without remaking it.
    void beginFrame(size_t capacityBytes = defaultCapacityBytes);
    // The payload's picture; null when it does not decode.
    const platform::gfx::Image* picture(const std::shared_ptr<const KittyGraphicsPayload>& payload);
    size_t count() const { return entries_.size(); }
    size_t bytes() const { return entries_.bytes(); }
    // Pictures made so far (each a decode or a conversion of a payload).
    uint64_t made() const { return entries_.counters().misses; }
    const platform::gfx::CacheCounters& counters() const { return entries_.counters(); }
    void clear() { entries_.clear(); }

private:
    struct Entry {
        // The key is the payload's address, good while this still points at it: an address freed
        // and used again by another payload is not the same picture.
        std::weak_ptr<const KittyGraphicsPayload> payload;
        platform::gfx::Image image;  // empty when the payload does not decode
        uint64_t frame = 0;          // the last frame that used it
    };

    using Pictures = platform::gfx::BoundedCache<const KittyGraphicsPayload*, Entry>;

    Pictures entries_{{.entries = capacity, .bytes = defaultCapacityBytes}, Pictures::Eviction::leastRecentlyUsed};
    uint64_t frame_ = 1;
};

}  // namespace vantel
