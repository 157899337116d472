#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/MainLoop.h"

namespace platform::runtime {

// One child started with posix_spawn: in a process group of its own, with
// only descriptors 0 to 2 inherited and every signal at its default (SIGPIPE
// included, whatever this process does with it). A pidfd tells of its exit
// without reaping it, so the group can still be signalled safely until the
// owner reaps this child, and only this child.
class ChildProcess {
public:
    struct Options {
        // arguments[0] is the program's path; the search path is not consulted.
        std::vector<std::string> arguments;
        std::optional<std::string> directory;
        // None: this process's own environment at the time of the spawn.
        std::optional<std::vector<std::string>> environment;
        // Descriptors of the caller to become 0, 1 and 2; -1 means the null device.
        int standardInput = -1;
        int standardOutput = -1;
        int standardError = -1;
    };

    // Nothing when the child cannot be started (no program, no folder); then
    // `error`, when given, receives the errno value.
    static std::optional<ChildProcess> spawn(const Options& options, int* error = nullptr);

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // A child not yet reaped is reaped in the background whenever it exits;
    // it is not signalled.
    ~ChildProcess();

    pid_t pid() const { return pid_; }
    // Signals the child's whole process group. Refused (false) once the child
    // is reaped, since its id may then belong to someone else.
    bool signalGroup(int signal);
    // Whether the child has exited; does not reap it.
    bool hasExited();
    // Waits up to `timeout` for the exit; does not reap.
    bool waitForExit(Duration timeout);
    // Readable once the child has exited (a pidfd); -1 where pidfds are missing.
    int exitDescriptor() const { return pidfd_; }
    // Reaps the exited child; nothing while it runs. Later calls repeat the
    // raw wait status. Someone else having reaped it gives nothing as well.
    std::optional<int> reap();
    bool reaped() const { return reaped_; }

private:
    ChildProcess(pid_t pid, int pidfd) : pid_(pid), pidfd_(pidfd) {}
    void release();

    pid_t pid_ = -1;
    int pidfd_ = -1;
    bool reaped_ = false;
    std::optional<int> waitStatus_;
};

}  // namespace platform::runtime
