#pragma once

// Helpers for tests that run real children on real pseudo-terminals: a loop
// to wait on with generous time-outs, the test child, and its output pattern.

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include <unistd.h>

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

// While it lives, this process looks at others as an unprivileged user would (effective ids of
// user nobody): another user's processes (those it started as root) show only what every user may
// read of them. Nothing where the process is not root.
class Unprivileged {
public:
    Unprivileged() : was_(::geteuid() == 0) {
        if (was_ && (::setegid(65534) != 0 || ::seteuid(65534) != 0)) was_ = false;
    }
    ~Unprivileged() {
        if (!was_) return;
        [[maybe_unused]] const int user = ::seteuid(0);
        [[maybe_unused]] const int group = ::setegid(0);
    }
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;

private:
    bool was_;
};

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
