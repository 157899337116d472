#pragma once

#include <atomic>
#include <cstdint>

namespace vantel {

namespace serial_detail {
inline std::atomic<uint64_t> next{1};
}

// A number that no other object of the process has had or will have, so that a cache keyed
// by it can never mistake a new object made at a freed one's address for the old one.
inline uint64_t makeSerialNumber() { return serial_detail::next.fetch_add(1, std::memory_order_relaxed); }

}  // namespace vantel
