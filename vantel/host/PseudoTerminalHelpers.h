#pragma once

#include <sys/ioctl.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantel {

// Small pseudo-terminal utilities.
class PseudoTerminalHelpers {
public:
    struct Child {
        pid_t pid;
        int masterFd;
    };

    // Starts `executable` on a new pseudo-terminal with `args` as its whole
    // argument vector and `env` as its environment, in `currentDirectory` when
    // given (a failed chdir is ignored). An exec failure ends the child with
    // status 127. The master is close-on-exec, so no later child inherits it.
    // Nothing when the terminal cannot be opened or the fork fails.
    static std::optional<Child> fork(const std::string& executable, const std::vector<std::string>& args,
                                     const std::vector<std::string>& env,
                                     const std::optional<std::string>& currentDirectory,
                                     const winsize& desiredWindowSize);
    // ioctl(TIOCSWINSZ); returns its result.
    static int setWinSize(int masterPtyDescriptor, const winsize& windowSize);
    // ioctl(FIONREAD): the call's result and the byte count (0 when it failed).
    static std::pair<int, int> availableBytes(int fd);
    // Whether the child's side of the terminal at `masterFd` holds no input unread and its
    // foreground process waits for more (blocked reading, or waiting for a descriptor). True when
    // it cannot be told.
    static bool childWaitsForInput(int masterFd);
    // The input the child's side of the terminal at `masterFd` holds that its programs have not
    // read; none when it cannot be told. The child's side is reached through the master
    // (TIOCGPTPEER), or by its name where the kernel has no such call.
    static std::optional<int> unreadInput(int masterFd);
    // Tests: the child's side is reached by its name alone, as on a kernel without TIOCGPTPEER.
    static void setPeerByNameOnly(bool on);
    // How many reads and writes (system calls) process `pid` has made, as /proc tells; none where
    // that is not ours to read, or the process is gone. A process that left a read or wrote since
    // an earlier look has moved on, whatever it is blocked in now.
    struct CallCounts {
        uint64_t reads = 0;
        uint64_t writes = 0;
        friend bool operator==(const CallCounts&, const CallCounts&) = default;
    };
    static std::optional<CallCounts> callCounts(pid_t pid);

private:
    // NUL-terminated copies with a terminating null pointer, made before the
    // fork because the child may not allocate.
    class CStringArray {
    public:
        char* const* data() { return pointers_.data(); }
        size_t count() const { return strings_.size(); }

    private:
        friend class PseudoTerminalHelpers;
        std::vector<std::string> strings_;
        std::vector<char*> pointers_;
    };
    static std::optional<CStringArray> allocateCStringArray(const std::vector<std::string>& strings);
};

}  // namespace vantel
