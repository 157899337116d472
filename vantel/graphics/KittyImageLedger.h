#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vantel {

// Which image ids the placements of one terminal use, and the stored images in
// the order they were last used, the unused ones apart: the store finds its
// least recently used image, unused or not, without walking lines or sorting.
class KittyImageLedger : public std::enable_shared_from_this<KittyImageLedger> {
public:
    // One placement's use of an image id, shared by its slices and its record:
    // the id counts as used while any of them lives, wherever it is dropped.
    class Use {
    public:
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        uint32_t imageId() const { return imageId_; }

    private:
        friend class KittyImageLedger;
        Use(std::weak_ptr<KittyImageLedger> ledger, uint32_t imageId) : ledger_(std::move(ledger)), imageId_(imageId) {}
        std::weak_ptr<KittyImageLedger> ledger_;
        uint32_t imageId_;
    };

    std::shared_ptr<const Use> use(uint32_t imageId);
    bool isUsed(uint32_t imageId) const;

    // The store tells of every image it takes, touches and drops, with its tick.
    void stored(uint32_t imageId, uint64_t tick);
    void unstored(uint32_t imageId);
    void storeCleared();
    // The stored image with the smallest tick among the unused ones, or among all.
    std::optional<uint32_t> leastRecentlyUsed(bool includeUsed) const;
    std::vector<uint32_t> unusedStoredImages() const;

private:
    struct Entry {
        int uses = 0;
        std::optional<uint64_t> tick;  // while stored
    };
    using Order = std::set<std::pair<uint64_t, uint32_t>>;

    void released(uint32_t imageId);
    Order& orderOf(const Entry& entry) { return entry.uses > 0 ? used_ : unused_; }
    void dropIfIdle(uint32_t imageId);

    std::unordered_map<uint32_t, Entry> entries_;
    Order unused_;
    Order used_;
};

}  // namespace vantel
