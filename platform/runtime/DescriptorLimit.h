#pragma once

#include <cstdint>

namespace platform::runtime {

// Raises the soft limit on open descriptors to `wanted`, or to the hard limit
// when that is lower; never lowers it. Returns the soft limit in force
// afterwards (UINT64_MAX for none; 0 when it cannot be read). Child processes inherit it, but for those that
// restoreStartingDescriptorLimit() gives the starting one back.
uint64_t raiseDescriptorLimit(uint64_t wanted);

// Puts back the limits the process had before its first raise, if it made one. For a child
// between fork and exec (async-signal-safe): a user's shell gets the limit of their session.
void restoreStartingDescriptorLimit();

}  // namespace platform::runtime
