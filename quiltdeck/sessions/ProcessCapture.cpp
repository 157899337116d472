#include "quiltdeck/sessions/ProcessCapture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace quiltdeck {

using platform::runtime::ChildProcess;
using platform::runtime::Clock;
using platform::runtime::Duration;
using platform::runtime::TimePoint;

namespace {

// The reading end of the capture pipe and what came through it.
class OutputReader {
public:
    explicit OutputReader(int fd) : fd_(fd) {}
    ~OutputReader() { ::close(fd_); }
    OutputReader(const OutputReader&) = delete;
    OutputReader& operator=(const OutputReader&) = delete;

    int fd() const { return atEnd_ ? -1 : fd_; }
    bool atEnd() const { return atEnd_; }
    bool overflowed() const { return overflowed_; }
    std::string take() { return std::move(output_); }

    // Reads what is there without blocking.
    void readAvailable() {
        char chunk[65536];
        while (!atEnd_ && !overflowed_) {
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n > 0) {
                if (output_.size() + static_cast<size_t>(n) > ProcessCapture::maxOutput) {
                    overflowed_ = true;
                    output_.clear();
                } else {
                    output_.append(chunk, static_cast<size_t>(n));
                }
            } else if (n == 0) {
                atEnd_ = true;
            } else if (errno != EINTR) {
                if (errno != EAGAIN) atEnd_ = true;
                return;
            }
        }
    }

private:
    int fd_;
    std::string output_;
    bool atEnd_ = false;
    bool overflowed_ = false;
};

enum class WaitFor { exit, endOfOutput };

// Reads output until the child exits (or the output ends), the output
// overflows, or `deadline` passes. True when what was waited for happened.
bool pump(ChildProcess& child, OutputReader& reader, TimePoint deadline, WaitFor goal) {
    for (;;) {
        if (reader.overflowed()) return false;
        if (goal == WaitFor::exit ? child.hasExited() : reader.atEnd()) return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd entries[2];
        nfds_t count = 0;
        if (reader.fd() >= 0) entries[count++] = {reader.fd(), POLLIN, 0};
        const int exitFd = goal == WaitFor::exit ? child.exitDescriptor() : -1;
        if (exitFd >= 0) entries[count++] = {exitFd, POLLIN, 0};
        // Without a pidfd the exit is looked for every few milliseconds.
        int sliceMs = static_cast<int>(std::min<int64_t>(left.count() + 1, 60000));
        if (goal == WaitFor::exit && exitFd < 0) sliceMs = std::min(sliceMs, 5);
        if (::poll(entries, count, sliceMs) > 0 && reader.fd() >= 0 && entries[0].revents) reader.readAvailable();
    }
}

int32_t decodeStatus(int waitStatus) {
    if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) return WTERMSIG(waitStatus);
    return waitStatus;
}

}  // namespace

std::optional<ProcessCapture::Result> ProcessCapture::run(ChildProcess::Options process, Duration timeout,
                                                          Report* report) {
    Report local;
    Report& outcome = report ? *report : local;
    outcome = Report{};
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    OutputReader reader(fds[0]);
    process.standardOutput = fds[1];
    auto child = ChildProcess::spawn(process);
    ::close(fds[1]);
    if (!child) return std::nullopt;

    const bool exitedInTime = pump(*child, reader, Clock::now() + timeout, WaitFor::exit);
    if (exitedInTime) pump(*child, reader, Clock::now() + drainWait, WaitFor::endOfOutput);

    if (reader.overflowed()) {
        outcome.ending = Ending::outputTooLarge;
        child->signalGroup(SIGKILL);
        child->waitForExit(stopWait);
    } else if (!exitedInTime) {
        outcome.ending = Ending::terminated;
        child->signalGroup(SIGTERM);
        if (!pump(*child, reader, Clock::now() + stopWait, WaitFor::exit)) {
            outcome.ending = Ending::killed;
            child->signalGroup(SIGKILL);
            child->waitForExit(stopWait);
        }
        // Whatever of the group outlived its leader goes too, while the
        // group's id is still ours (the leader is not reaped yet).
        child->signalGroup(SIGKILL);
    } else {
        outcome.ending = Ending::exited;
    }
    outcome.waitStatus = child->reap();
    if (outcome.ending != Ending::exited || !outcome.waitStatus) return std::nullopt;
    return Result{decodeStatus(*outcome.waitStatus), reader.take()};
}

}  // namespace quiltdeck
