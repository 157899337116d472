#include "vantel/core/Consistency.h"

#include <array>
#include <atomic>

namespace vantel {

namespace {

std::array<std::atomic<uint64_t>, static_cast<size_t>(Inconsistency::count)>& counters() {
    static std::array<std::atomic<uint64_t>, static_cast<size_t>(Inconsistency::count)> all{};
    return all;
}

}  // namespace

void noteInconsistency(Inconsistency kind) {
    counters()[static_cast<size_t>(kind)].fetch_add(1, std::memory_order_relaxed);
}

uint64_t inconsistencies(Inconsistency kind) {
    return counters()[static_cast<size_t>(kind)].load(std::memory_order_relaxed);
}

void assertionFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: assertion failed: %s\n", file, line, condition);
    std::abort();
}

}  // namespace vantel
