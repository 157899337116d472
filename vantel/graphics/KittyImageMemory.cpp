#include "vantel/graphics/KittyImageMemory.h"

#include <algorithm>

namespace vantel {

void KittyImageMemory::Release::operator()(const KittyGraphicsPayload* payload) const {
    if (auto owner = memory.lock()) owner->released(payload);
    delete payload;
}

KittyImageMemory::Payload KittyImageMemory::hold(KittyGraphicsPayload payload) {
    const auto bytes = static_cast<int64_t>(payload.byteSize());
    return hold(std::move(payload), bytes);
}

KittyImageMemory::Payload KittyImageMemory::holdElsewhere(int64_t bytes) {
    return hold(KittyGraphicsPayload{}, std::max<int64_t>(bytes, 0));
}

KittyImageMemory::Payload KittyImageMemory::hold(KittyGraphicsPayload payload, int64_t bytes) {
    auto* held = new KittyGraphicsPayload(std::move(payload));
    Payload shared(held, Release{weak_from_this()});
    entries_[held] = order_.insert(order_.end(), Entry{held, bytes});
    heldBytes_ += bytes;
    evictableBytes_ += bytes;
    return shared;
}

void KittyImageMemory::touch(const Payload& payload) {
    auto found = entries_.find(payload.get());
    if (found == entries_.end() || found->second->evicted) return;
    order_.splice(order_.end(), order_, found->second);
}

std::vector<const KittyGraphicsPayload*> KittyImageMemory::leastRecentlyUsed(int64_t amount,
                                                                            const KittyGraphicsPayload* keep) const {
    std::vector<const KittyGraphicsPayload*> oldest;
    for (auto entry = order_.begin(); entry != order_.end() && amount > 0; ++entry) {
        if (entry->payload == keep) continue;
        oldest.push_back(entry->payload);
        amount -= entry->bytes;
    }
    return oldest;
}

void KittyImageMemory::evicted(const KittyGraphicsPayload* payload) {
    auto found = entries_.find(payload);
    if (found == entries_.end() || found->second->evicted) return;
    found->second->evicted = true;
    evictableBytes_ -= found->second->bytes;
    evicted_.splice(evicted_.end(), order_, found->second);
}

void KittyImageMemory::released(const KittyGraphicsPayload* payload) {
    auto found = entries_.find(payload);
    if (found == entries_.end()) return;
    const Entry& entry = *found->second;
    heldBytes_ -= entry.bytes;
    if (!entry.evicted) evictableBytes_ -= entry.bytes;
    (entry.evicted ? evicted_ : order_).erase(found->second);
    entries_.erase(found);
}

}  // namespace vantel
