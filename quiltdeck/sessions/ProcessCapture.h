#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/runtime/ChildProcess.h"

namespace quiltdeck {

// Runs one short-lived child to its end under a time limit and collects its
// standard output. It blocks the calling thread (never the main thread): up
// to `timeout` + 0.3 s when the child ends, up to `timeout` + 4 s when it must
// be stopped. Time-outs and overflows signal the child's whole process group.
class ProcessCapture {
public:
    ProcessCapture() = delete;

    struct Result {
        // The exit code, or the number of the signal that ended the child.
        int32_t status = 0;
        std::string output;
    };

    // How a run ended, for callers that must tell the absent cases apart.
    enum class Ending { exited, notStarted, terminated, killed, outputTooLarge };
    struct Report {
        Ending ending = Ending::notStarted;
        // The raw wait status, when the child was reaped.
        std::optional<int> waitStatus;
    };

    static constexpr size_t maxOutput = size_t{16} << 20;
    static constexpr platform::runtime::Duration drainWait = std::chrono::milliseconds(300);
    static constexpr platform::runtime::Duration stopWait = std::chrono::seconds(2);

    // `process.standardOutput` is replaced by the capture pipe; the other
    // streams stay the caller's. Nothing when the child cannot be started,
    // outlives `timeout` or writes more than `maxOutput`.
    static std::optional<Result> run(platform::runtime::ChildProcess::Options process,
                                     platform::runtime::Duration timeout, Report* report = nullptr);
};

}  // namespace quiltdeck
