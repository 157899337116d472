#pragma once

// Helpers for tests that run real children on real pseudo-terminals: a loop
// to wait on with generous time-outs, the test child, and its output pattern.

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/runtime/MainLoop.h"

namespace vantel::testing {

#ifdef QUILTDECK_TEST_CHILD
inline const std::string testChild = QUILTDECK_TEST_CHILD;
#endif

// Waiting is bounded in seconds, so that a loaded machine still passes.
inline constexpr auto childTimeout = std::chrono::seconds(30);

inline bool waitFor(platform::runtime::MainLoop& loop, const std::function<bool()>& done,
                    std::chrono::nanoseconds timeout = childTimeout) {
    return loop.runUntil(done, timeout);
}

// What the test child's "pattern" mode writes: 16-byte records, each its own
// offset in 15 digits and a '|'.
inline std::string expectedPattern(size_t total) {
    std::string out;
    out.reserve(total);
    char record[32];
    for (size_t offset = 0; offset < total; offset += 16) {
        std::snprintf(record, sizeof record, "%015zu|", offset);
        out.append(record, 16);
    }
    return out;
}

}  // namespace vantel::testing
