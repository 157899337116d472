#include "platform/runtime/DescriptorLimit.h"

#include <sys/resource.h>

#include <algorithm>

namespace platform::runtime {

namespace {

// Written once on the main thread before any child is made; read in forked children only.
rlimit startingLimit{};
bool raised = false;

}  // namespace

void restoreStartingDescriptorLimit() {
    if (raised) ::setrlimit(RLIMIT_NOFILE, &startingLimit);
}

uint64_t raiseDescriptorLimit(uint64_t wanted) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    const rlim_t target = limit.rlim_max == RLIM_INFINITY ? static_cast<rlim_t>(wanted)
                                                          : std::min<rlim_t>(limit.rlim_max, static_cast<rlim_t>(wanted));
    if (limit.rlim_cur != RLIM_INFINITY && target > limit.rlim_cur) {
        if (!raised) startingLimit = limit;
        raised = true;
        limit.rlim_cur = target;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit.rlim_cur == RLIM_INFINITY ? UINT64_MAX : static_cast<uint64_t>(limit.rlim_cur);
}

}  // namespace platform::runtime
