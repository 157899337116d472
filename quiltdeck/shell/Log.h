#pragma once

#include <chrono>
#include <filesystem>
#include <string_view>

namespace quiltdeck {

// The application's one diagnostics channel: "log.txt" in the state folder, one
// time-stamped entry per write, and the run marker "running" that tells the next
// launch whether this run ended cleanly. Crash capture adds a "CRASH" entry for
// fatal signals and uncaught exceptions before the process dies.
class Log {
public:
    Log() = delete;

    // Any thread; returns at once, the entry is written later in call order.
    static void write(std::string_view message);
    // The first step of the launch: writes the marker and the launch entry and arms
    // crash capture. True when the previous run did not end cleanly.
    static bool beginRun();
    // Writes "quit", waits until every entry before it is in the file (at most `limit`), removes
    // the marker.
    static void endRun(std::chrono::milliseconds limit = std::chrono::milliseconds::max());
    // Waits until every entry written so far is in the file, or at most `limit`.
    static void flush(std::chrono::milliseconds limit = std::chrono::milliseconds::max());

    static const std::filesystem::path& url();

private:
    static void installCrashHandlers();
};

}  // namespace quiltdeck
