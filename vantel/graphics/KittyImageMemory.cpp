#include "vantel/graphics/KittyImageMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <thread>

namespace vantel {

namespace {

// Giving back a large picture's pages takes tens of milliseconds (a 400 MB one, about 50): on
// a thread of its own, not on the loop that let it go.
constexpr size_t freedAsideBytes = size_t{16} << 20;

// The pages go back in slices first: unmapping the whole at once would hold the address
// space's lock for as long, and with it every page fault of the loop's thread.
void givePagesBack(const KittyGraphicsPayload* payload) {
    constexpr size_t slice = size_t{8} << 20;
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<uintptr_t>(payload->bytes.data());
    const uintptr_t first = (start + page - 1) / page * page;
    const uintptr_t end = (start + payload->bytes.size()) / page * page;
    for (uintptr_t at = first; at < end; at += slice) {
        ::madvise(reinterpret_cast<void*>(at), std::min<uintptr_t>(slice, end - at), MADV_DONTNEED);
    }
    delete payload;
}

void deletePayload(const KittyGraphicsPayload* payload) {
    if (payload->bytes.size() >= freedAsideBytes) {
        try {
            std::thread(givePagesBack, payload).detach();
            return;
        } catch (...) {
            // No thread to be had: freed here, as any other.
        }
    }
    delete payload;
}

}  // namespace

void KittyImageMemory::Release::operator()(const KittyGraphicsPayload* payload) const {
    if (auto owner = memory.lock()) owner->released(payload);
    deletePayload(payload);
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
