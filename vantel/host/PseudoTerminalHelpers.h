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
    // Whether the child's side of the terminal at `masterFd` holds no input unread and a process of
    // its foreground group that reads it (foregroundReaders) waits for more: blocked reading, or
    // waiting for a descriptor; where that call is not ours to read, asleep while the terminal
    // holds none of its output unread. True when it cannot be told.
    static bool childWaitsForInput(int masterFd, pid_t sessionLeader = 0);
    // The input the child's side of the terminal at `masterFd` holds that its programs have not
    // read, what was written to the master and is still on its way in among it; none when it
    // cannot be told. The child's side is reached through the master
    // (TIOCGPTPEER), or by its name where the kernel has no such call.
    static std::optional<int> unreadInput(int masterFd);
    // Tests: the child's side is reached by its name alone, as on a kernel without TIOCGPTPEER.
    static void setPeerByNameOnly(bool on);

    // What /proc tells of a process. Every user reads its state, its group, its signals and how
    // often it went to sleep; only its owner (or who may trace it) the call it is blocked in.
    struct ProcessLook {
        char state = 0;  // 'R' running, 'S' asleep, 'T' stopped ...
        pid_t parent = 0;
        pid_t group = 0;
        // Voluntary context switches of its main thread: one more each time it blocks.
        uint64_t sleeps = 0;
        bool interruptPending = false;
        bool interruptIgnored = false;
        // The system call it is blocked in (-1: none, running); none where that is not ours to read.
        std::optional<long> call;
        // Blocked in a read or a wait for a descriptor; asleep, where the call cannot be read.
        bool waitsForInput() const;
    };
    // None when the process is gone.
    static std::optional<ProcessLook> look(pid_t pid);

    // The terminal's foreground as one walk down from the session's leader finds it: its group,
    // and those of the group's processes that read the terminal. A wrapper, waiting for its child
    // in the group (`sh -c 'prog; true'`), reads nothing; a reader with a helper child or a zombie
    // of its own reads all the same. Where the call a process waits in is not ours to read, one
    // with a live child in the group is taken for a wrapper. The walk looks at `mostWalked`
    // processes at most and names `mostReaders` readers at most, the nearest the leader first;
    // the group's leader where it finds none.
    struct Foreground {
        pid_t group = 0;  // 0: no foreground group to tell of
        std::vector<pid_t> readers;
    };
    static constexpr size_t mostWalked = 1024;
    static constexpr size_t mostReaders = 16;
    static Foreground foreground(int masterFd, pid_t sessionLeader);
    // foreground(...).readers.
    static std::vector<pid_t> foregroundReaders(int masterFd, pid_t sessionLeader);
    // A process of the terminal's foreground group sends the keys it reads on to another terminal,
    // where the interrupt key makes a signal again: one of its own, which a child of its has for its
    // controlling terminal (sudo with use_pty, script, su --pty), or one elsewhere, as its name says
    // (ssh, mosh, tmux, screen). A walk as foreground's.
    static bool foregroundRelays(int masterFd, pid_t sessionLeader);
    // As childWaitsForInput, for readers already found; `unread` as unreadInput told it just now.
    static bool readersWaitForInput(int masterFd, const std::vector<pid_t>& readers);
    static bool readersWaitForInput(int masterFd, const std::vector<pid_t>& readers, std::optional<int> unread);

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
