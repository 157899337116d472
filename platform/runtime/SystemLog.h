#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform::runtime {

enum class LogLevel { debug, info, error, fault };

std::string_view logLevelName(LogLevel level);

struct LogEntry {
    LogLevel level = LogLevel::info;
    std::string category;  // empty: the default log
    std::string message;
};

// The library's diagnostic log: one process-wide sink that takes a level, a category and a
// message. Without a sink of its own it writes errors and faults to standard error, and the
// other levels too when VANTEL_PROFILE is "1". Safe from any thread; the sink runs on the
// writer's thread and must not write to the log itself.
class SystemLog {
public:
    using Sink = std::function<void(const LogEntry&)>;

    static void write(LogLevel level, std::string_view category, std::string_view message);
    // A line about input refused or not shown (a picture that does not decode, say), of which a
    // program may send any number: the first `refusalLinesPerKind` of a kind (a few words that
    // name it) are written, then at most one line a minute, "and N more: <kind>". The minute is
    // the main loop's.
    static void writeRefusal(LogLevel level, std::string_view category, std::string_view kind,
                             std::string_view message);
    static constexpr int refusalLinesPerKind = 5;
    // Replaces the sink; an empty one restores the default.
    static void setSink(Sink sink);
};

// Collects what is logged while it lives (tests), refusals counted afresh; the previous sink comes
// back afterwards.
class ScopedLogCapture {
public:
    ScopedLogCapture();
    ~ScopedLogCapture();
    ScopedLogCapture(const ScopedLogCapture&) = delete;
    ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

    std::vector<LogEntry> entries() const;
    // The messages of one category, in order.
    std::vector<std::string> messages(std::string_view category) const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace platform::runtime
