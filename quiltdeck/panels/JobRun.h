#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/ChildProcess.h"
#include "platform/runtime/MainLoop.h"
#include "quiltdeck/panels/JobLines.h"

namespace quiltdeck {

// One child process of a setup job, watched on the main loop: standard output
// and standard error share one pipe, the working folder is the home folder,
// the child leads a process group of its own. Its cleaned output lines and
// then its exit status reach the main loop in order, each in a block of its
// own; the status comes once the output has ended, or `flushDelay` after the
// exit when something the child started still holds the pipe. Main thread.
class JobRun {
public:
    using Line = std::function<void(std::string line)>;
    using Done = std::function<void(int32_t status)>;

    static constexpr platform::runtime::Duration flushDelay = std::chrono::milliseconds(300);
    static constexpr platform::runtime::Duration killDelay = std::chrono::seconds(3);
    // Larger input is refused rather than written in pieces.
    static constexpr size_t maxInput = 4096;

    struct Options {
        // The program's path, then its arguments.
        std::vector<std::string> arguments;
        // Gives the child a standard-input pipe for `send`; else the null device.
        bool input = false;
    };

    // Never null. A child that cannot start reports status -1 (nothing else).
    // The status is the exit code, or the number of the signal that ended it.
    static std::shared_ptr<JobRun> start(Options options, Line line, Done done);
    // A run still going is killed with everything it started; its callbacks
    // never come.
    ~JobRun();
    JobRun(const JobRun&) = delete;
    JobRun& operator=(const JobRun&) = delete;

    // Started and not yet seen to exit.
    bool running() const { return child_ && !exited_; }
    pid_t pid() const { return child_ ? child_->pid() : -1; }

    // Writes the bytes to the child's input at once and whole, never waiting
    // and never raising SIGPIPE. Nothing on success, else why it failed.
    std::optional<std::string> send(std::string_view bytes);

    // SIGTERM to every descendant (deepest first), then to the group; what is
    // still there `killDelay` later gets SIGKILL. The exit is reported as any
    // other. Returns at once.
    void cancel();

private:
    JobRun(Line line, Done done) : line_(std::move(line)), done_(std::move(done)) {}
    void watch(const std::shared_ptr<JobRun>& self);
    void readAvailable();
    void deliver(std::vector<std::string> lines);
    void childExited();
    void finish();
    void killEverything(int signal);
    void closeDescriptors();

    std::weak_ptr<JobRun> self_;
    Line line_;
    Done done_;
    JobLines lines_;
    std::optional<platform::runtime::ChildProcess> child_;
    int output_ = -1;
    int input_ = -1;
    bool outputEnded_ = false;
    bool exited_ = false;
    bool finished_ = false;
    bool cancelled_ = false;
    std::shared_ptr<platform::runtime::Watch> outputWatch_;
    std::shared_ptr<platform::runtime::Watch> exitWatch_;
    std::shared_ptr<platform::runtime::WorkItem> exitPoll_;
    std::shared_ptr<platform::runtime::WorkItem> flushTimer_;
    std::shared_ptr<platform::runtime::WorkItem> killTimer_;
};

}  // namespace quiltdeck
