#pragma once

#include <cstdint>

namespace platform::runtime {

// Raises the soft limit on open descriptors to `wanted`, or to the hard limit
// when that is lower; never lowers it. Returns the soft limit in force
// afterwards (UINT64_MAX for none). Child processes inherit it.
uint64_t raiseDescriptorLimit(uint64_t wanted);

}  // namespace platform::runtime
