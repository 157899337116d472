#include "vantel/core/TinyAtom.h"

#include <mutex>
#include <unordered_map>

namespace vantel {

namespace {

struct PayloadTable {
    std::mutex lock;
    std::unordered_map<uint16_t, std::any> map;
    uint16_t lastUsed = 0;
    // Released codes, handed out again once the fresh ones are used up, so a
    // long-running program keeps its hyperlinks.
    std::vector<uint16_t> released;
};

PayloadTable& table() {
    static PayloadTable* instance = new PayloadTable();  // lives until the process ends
    return *instance;
}

}  // namespace

std::optional<TinyAtom> TinyAtom::lookup(std::any value) {
    auto& t = table();
    std::lock_guard guard(t.lock);
    uint16_t code;
    if (t.lastUsed <= 65533) {
        code = ++t.lastUsed;
    } else if (!t.released.empty()) {
        code = t.released.back();
        t.released.pop_back();
    } else {
        return std::nullopt;
    }
    t.map[code] = std::move(value);
    return TinyAtom(code);
}

std::any TinyAtom::target() const {
    if (code == 0) return {};
    auto& t = table();
    std::lock_guard guard(t.lock);
    auto it = t.map.find(code);
    return it == t.map.end() ? std::any{} : it->second;
}

void TinyAtom::release(uint16_t code) {
    if (code == 0) return;
    auto& t = table();
    std::lock_guard guard(t.lock);
    if (t.map.erase(code)) t.released.push_back(code);
}

void TinyAtom::releaseAll(const std::vector<uint16_t>& codes) {
    auto& t = table();
    std::lock_guard guard(t.lock);
    for (uint16_t code : codes) {
        if (code != 0 && t.map.erase(code)) t.released.push_back(code);
    }
}

}  // namespace vantel
