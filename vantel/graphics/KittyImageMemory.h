#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

#include "vantel/graphics/KittyGraphicsPayload.h"

namespace vantel {

// Every decoded image one terminal's Kitty graphics hold, stored or only shown
// on lines, counted once from the moment it is held until its last holder lets
// go, in the order it was last used.
class KittyImageMemory : public std::enable_shared_from_this<KittyImageMemory> {
public:
    using Payload = std::shared_ptr<const KittyGraphicsPayload>;

    // The payload, counted until its last copy goes.
    Payload hold(KittyGraphicsPayload payload);
    // A token for `bytes` that live elsewhere (pictures the host made and put on the lines),
    // counted and evicted like a payload until its last copy goes.
    Payload holdElsewhere(int64_t bytes);
    // Stored, put or shown: it becomes the most recently used. Payloads not held here are ignored.
    void touch(const Payload& payload);

    // Bytes of every held payload still alive.
    int64_t heldBytes() const { return heldBytes_; }
    // The part of those that eviction may still free.
    int64_t evictableBytes() const { return evictableBytes_; }
    // The least recently used payloads whose bytes reach `amount`, oldest first, never `keep`.
    std::vector<const KittyGraphicsPayload*> leastRecentlyUsed(int64_t amount, const KittyGraphicsPayload* keep) const;
    // Its holders were told to let go; whatever still holds it is no longer ours to free.
    void evicted(const KittyGraphicsPayload* payload);

private:
    struct Entry {
        const KittyGraphicsPayload* payload;
        int64_t bytes;
        bool evicted = false;
    };
    struct Release {
        std::weak_ptr<KittyImageMemory> memory;
        void operator()(const KittyGraphicsPayload* payload) const;
    };

    Payload hold(KittyGraphicsPayload payload, int64_t bytes);
    void released(const KittyGraphicsPayload* payload);

    std::list<Entry> order_;  // evictable, least recently used first
    std::list<Entry> evicted_;
    std::unordered_map<const KittyGraphicsPayload*, std::list<Entry>::iterator> entries_;
    int64_t heldBytes_ = 0;
    int64_t evictableBytes_ = 0;
};

}  // namespace vantel
