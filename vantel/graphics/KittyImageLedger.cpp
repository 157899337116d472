#include "vantel/graphics/KittyImageLedger.h"

namespace vantel {

KittyImageLedger::Use::~Use() {
    if (auto ledger = ledger_.lock()) ledger->released(imageId_);
}

std::shared_ptr<const KittyImageLedger::Use> KittyImageLedger::use(uint32_t imageId) {
    Entry& entry = entries_[imageId];
    if (entry.uses++ == 0 && entry.tick) {
        unused_.erase({*entry.tick, imageId});
        used_.insert({*entry.tick, imageId});
    }
    return std::shared_ptr<const Use>(new Use(weak_from_this(), imageId));
}

void KittyImageLedger::released(uint32_t imageId) {
    auto found = entries_.find(imageId);
    if (found == entries_.end()) return;
    Entry& entry = found->second;
    if (--entry.uses == 0 && entry.tick) {
        used_.erase({*entry.tick, imageId});
        unused_.insert({*entry.tick, imageId});
    }
    dropIfIdle(imageId);
}

bool KittyImageLedger::isUsed(uint32_t imageId) const {
    auto found = entries_.find(imageId);
    return found != entries_.end() && found->second.uses > 0;
}

void KittyImageLedger::stored(uint32_t imageId, uint64_t tick) {
    Entry& entry = entries_[imageId];
    Order& order = orderOf(entry);
    if (entry.tick) order.erase({*entry.tick, imageId});
    entry.tick = tick;
    order.insert({tick, imageId});
}

void KittyImageLedger::unstored(uint32_t imageId) {
    auto found = entries_.find(imageId);
    if (found == entries_.end() || !found->second.tick) return;
    orderOf(found->second).erase({*found->second.tick, imageId});
    found->second.tick.reset();
    dropIfIdle(imageId);
}

void KittyImageLedger::storeCleared() {
    unused_.clear();
    used_.clear();
    std::erase_if(entries_, [](const auto& entry) { return entry.second.uses == 0; });
    for (auto& [id, entry] : entries_) entry.tick.reset();
}

void KittyImageLedger::dropIfIdle(uint32_t imageId) {
    auto found = entries_.find(imageId);
    if (found != entries_.end() && found->second.uses == 0 && !found->second.tick) entries_.erase(found);
}

std::optional<uint32_t> KittyImageLedger::leastRecentlyUsed(bool includeUsed) const {
    std::optional<std::pair<uint64_t, uint32_t>> oldest;
    if (!unused_.empty()) oldest = *unused_.begin();
    if (includeUsed && !used_.empty() && (!oldest || *used_.begin() < *oldest)) oldest = *used_.begin();
    if (!oldest) return std::nullopt;
    return oldest->second;
}

std::vector<uint32_t> KittyImageLedger::unusedStoredImages() const {
    std::vector<uint32_t> ids;
    ids.reserve(unused_.size());
    for (const auto& [tick, id] : unused_) ids.push_back(id);
    return ids;
}

}  // namespace vantel
