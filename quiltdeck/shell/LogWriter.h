#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>

namespace quiltdeck {

// Appends whole entries to one log file on a thread of its own, in the order
// they were handed over. Handing over never waits for the disk: entries past
// `pendingLimit` bytes of backlog are dropped and counted.
//
// Before each entry, a file above `trimThreshold` bytes is cut in place to its
// last `trimKeep` bytes (truncated, then written), so that descriptors opened
// on it elsewhere keep appending to the same file.
//
// Only a regular file is written: when a symbolic link, a FIFO, a device or a
// folder sits at the name, the writer says so once on standard error and drops
// every entry from then on.
class LogWriter {
public:
    static constexpr uintmax_t trimThreshold = 1'000'000;
    static constexpr size_t trimKeep = 500'000;
    static constexpr size_t pendingLimit = 4u << 20;

    explicit LogWriter(std::filesystem::path file);
    // Writes what is queued, then ends the thread.
    ~LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    // "2026-12-05T18:38:32Z  message\n": UTC, whole seconds, two spaces. Control characters of
    // the message (line breaks, tabs, escapes, C1, the Unicode line separators and the bidi marks
    // such as U+202E) are written as \n, \r, \t, \xHH or \uHHHH, and each byte that is no UTF-8
    // as \xHH, so that an entry is one line that reads as written whatever a folder name or a
    // program's answer holds. Lines of `more` follow it each on a line of its own, escaped the
    // same way (a call stack).
    static std::string entry(std::string_view message, std::span<const std::string> more = {});
    // The text with its control characters escaped as above.
    static std::string escaped(std::string_view text);

    void append(std::string entry);
    // Returns once everything appended before the call is in the file, or the
    // limit has passed (false); at once on the writer's own thread.
    bool flush(std::chrono::milliseconds limit = std::chrono::milliseconds::max());
    bool onWriterThread() const { return std::this_thread::get_id() == thread_.get_id(); }
    const std::filesystem::path& file() const { return file_; }

private:
    void run(std::stop_token stop);
    void writeBatch(std::deque<std::string>& batch);
    // Opens the log file for appending; -1 with errno set when it cannot be.
    int open();

    const std::filesystem::path file_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::condition_variable written_;
    std::deque<std::string> pending_;
    size_t pendingBytes_ = 0;
    size_t dropped_ = 0;
    uint64_t appendedCount_ = 0;
    uint64_t writtenCount_ = 0;
    bool withoutFile_ = false;  // the writer's thread only
    // Another user's log file that open() moved aside, still to be told in the new one.
    std::optional<std::filesystem::path> movedAside_;  // the writer's thread only
    std::jthread thread_;  // last: starts once the rest is ready
};

}  // namespace quiltdeck
