#include "vantel/host/PseudoTerminalHelpers.h"

#include "platform/runtime/DescriptorLimit.h"
#include "platform/runtime/ProcessTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <string>

namespace vantel {

namespace {

struct PseudoTerminal {
    int master = -1;
    int slave = -1;
};

// Both ends are opened close-on-exec: a process that forks from another thread
// meanwhile must not carry them into its child.
std::optional<PseudoTerminal> openPseudoTerminal(const winsize& size) {
    PseudoTerminal pty;
    pty.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.master < 0) return std::nullopt;
    if (::grantpt(pty.master) != 0 || ::unlockpt(pty.master) != 0) {
        ::close(pty.master);
        return std::nullopt;
    }
#ifdef TIOCGPTPEER
    pty.slave = ::ioctl(pty.master, TIOCGPTPEER, O_RDWR | O_NOCTTY | O_CLOEXEC);
#endif
    if (pty.slave < 0) {
        char name[128];
        if (::ptsname_r(pty.master, name, sizeof name) == 0) pty.slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    if (pty.slave < 0) {
        ::close(pty.master);
        return std::nullopt;
    }
    ::ioctl(pty.slave, TIOCSWINSZ, &size);
    return pty;
}

// Every descriptor from `first` up: those the program opened without close-on-exec too.
void closeDescriptorsFrom(int first) {
#ifdef SYS_close_range
    if (::syscall(SYS_close_range, first, ~0U, 0) == 0) return;
#endif
    const long last = ::sysconf(_SC_OPEN_MAX);
    for (long fd = first; fd < (last > 0 ? last : 65536); ++fd) ::close(static_cast<int>(fd));
}

// Handlers and ignored signals of this program are none of the child's business.
void resetSignalDispositions() {
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    ::sigemptyset(&standard.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal) ::sigaction(signal, &standard, nullptr);
}

}  // namespace

std::optional<PseudoTerminalHelpers::CStringArray> PseudoTerminalHelpers::allocateCStringArray(
    const std::vector<std::string>& strings) {
    try {
        CStringArray array;
        array.strings_ = strings;
        array.pointers_.reserve(strings.size() + 1);
        for (auto& s : array.strings_) array.pointers_.push_back(s.data());
        array.pointers_.push_back(nullptr);
        return array;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<PseudoTerminalHelpers::Child> PseudoTerminalHelpers::fork(
    const std::string& executable, const std::vector<std::string>& args, const std::vector<std::string>& env,
    const std::optional<std::string>& currentDirectory, const winsize& desiredWindowSize) {
    auto argv = allocateCStringArray(args);
    auto envp = allocateCStringArray(env);
    std::optional<std::string> program, directory;
    try {
        program = executable;
        directory = currentDirectory;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (!argv || !envp) return std::nullopt;
    auto pty = openPseudoTerminal(desiredWindowSize);
    if (!pty) return std::nullopt;

    // No handler of ours may run in the child before its signals are reset.
    sigset_t all, previous;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The child: only async-signal-safe calls from here on.
        resetSignalDispositions();
        ::setsid();
        ::ioctl(pty->slave, TIOCSCTTY, 0);
        ::dup2(pty->slave, STDIN_FILENO);
        ::dup2(pty->slave, STDOUT_FILENO);
        ::dup2(pty->slave, STDERR_FILENO);
        closeDescriptorsFrom(STDERR_FILENO + 1);
        platform::runtime::restoreStartingDescriptorLimit();
        // A folder that cannot be entered leaves the child in the inherited one.
        if (directory && ::chdir(directory->c_str()) != 0) {
        }
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(program->c_str(), argv->data(), envp->data());
        ::_exit(127);
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(pty->slave);
    if (pid < 0) {
        ::close(pty->master);
        return std::nullopt;
    }
    return Child{pid, pty->master};
}

int PseudoTerminalHelpers::setWinSize(int masterPtyDescriptor, const winsize& windowSize) {
    return ::ioctl(masterPtyDescriptor, TIOCSWINSZ, &windowSize);
}

std::pair<int, int> PseudoTerminalHelpers::availableBytes(int fd) {
    int size = 0;
    const int status = ::ioctl(fd, FIONREAD, &size);
    return {status, size};
}

namespace {

// A small /proc file read whole; none when it cannot be read or says nothing.
std::optional<std::string> readProcFile(const std::string& path) {
    auto text = platform::runtime::ProcessTree::readProcFile(path);
    if (!text || text->empty()) return std::nullopt;
    return text;
}

// The number after `key` in a /proc text ("voluntary_ctxt_switches: 12"); base 16 for the signal masks.
std::optional<uint64_t> field(const std::string& text, const char* key, int base = 10) {
    const size_t at = text.find(key);
    if (at == std::string::npos) return std::nullopt;
    const char* start = text.c_str() + at + std::strlen(key);
    char* end = nullptr;
    const unsigned long long value = std::strtoull(start, &end, base);
    if (end == start) return std::nullopt;
    return value;
}

bool isInputWait(long call) {
    static constexpr long waits[] = {
#ifdef SYS_read
        SYS_read,
#endif
#ifdef SYS_readv
        SYS_readv,
#endif
#ifdef SYS_select
        SYS_select,
#endif
#ifdef SYS_pselect6
        SYS_pselect6,
#endif
#ifdef SYS_poll
        SYS_poll,
#endif
#ifdef SYS_ppoll
        SYS_ppoll,
#endif
#ifdef SYS_epoll_wait
        SYS_epoll_wait,
#endif
#ifdef SYS_epoll_pwait
        SYS_epoll_pwait,
#endif
#ifdef SYS_epoll_pwait2
        SYS_epoll_pwait2,
#endif
    };
    return std::find(std::begin(waits), std::end(waits), call) != std::end(waits);
}

// The children of process `pid`, of all its threads.
std::vector<pid_t> childrenOf(pid_t pid) {
    std::vector<pid_t> children;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* folder = ::opendir(tasks.c_str());
    if (!folder) return children;
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        const auto text = readProcFile(tasks + "/" + entry->d_name + "/children");
        if (!text) continue;
        const char* at = text->c_str();
        for (char* end = nullptr;; at = end) {
            const long child = std::strtol(at, &end, 10);
            if (end == at) break;
            if (child > 0) children.push_back(static_cast<pid_t>(child));
        }
    }
    ::closedir(folder);
    return children;
}

bool isGone(char state) { return state == 'Z' || state == 'X' || state == 'x'; }

// What /proc/<pid>/stat tells every user: state, parent, group, controlling terminal and name.
struct StatLine {
    char state = 0;
    pid_t parent = 0;
    pid_t group = 0;
    long terminal = 0;  // its device number; 0: none
    std::string name;
};

std::optional<StatLine> statOf(const std::string& folder) {
    const auto stat = readProcFile(folder + "/stat");
    if (!stat) return std::nullopt;
    // "pid (name) S ppid pgrp session tty_nr ...": the name may hold anything, the rest follows its
    // last parenthesis.
    const size_t open = stat->find('(');
    const size_t close = stat->rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open || close + 2 >= stat->size())
        return std::nullopt;
    long parent = 0, group = 0, session = 0, terminal = 0;
    if (std::sscanf(stat->c_str() + close + 3, "%ld %ld %ld %ld", &parent, &group, &session, &terminal) != 4)
        return std::nullopt;
    return StatLine{(*stat)[close + 2], static_cast<pid_t>(parent), static_cast<pid_t>(group), terminal,
                    stat->substr(open + 1, close - open - 1)};
}

std::optional<StatLine> statOf(pid_t pid) { return statOf("/proc/" + std::to_string(pid)); }

// The live processes of the terminal's foreground `group` in the session, down from its leader,
// nearest first (at most `mostWalked` looked at). Only the stat line of each: the walk may pass
// hundreds (a build's jobs).
struct Member {
    pid_t pid;
    pid_t parent;
    std::string name;
};
std::vector<Member> groupMembers(pid_t group, pid_t leader, size_t mostWalked) {
    std::vector<Member> members;
    std::vector<pid_t> queue{leader};
    for (size_t next = 0; leader > 0 && next < queue.size() && next < mostWalked; ++next) {
        const pid_t pid = queue[next];
        const auto stat = statOf(pid);
        if (!stat || isGone(stat->state)) continue;
        if (stat->group == group) members.push_back({pid, stat->parent, stat->name});
        for (const pid_t child : childrenOf(pid)) queue.push_back(child);
    }
    return members;
}

// Programs that send the keys they read on to a terminal elsewhere (another machine, a
// multiplexer's server), by the name the system gives them.
bool relaysByName(std::string_view name) {
    for (const std::string_view relay : {"ssh", "mosh-client", "screen", "tmux", "tmux: client"}) {
        if (name == relay) return true;
    }
    return false;
}

// The system call the process is blocked in (-1: none, running); none where it is not ours to read.
std::optional<long> callOf(const std::string& folder) {
    const auto call = readProcFile(folder + "/syscall");
    if (!call) return std::nullopt;
    char* end = nullptr;
    const long number = std::strtol(call->c_str(), &end, 10);
    // "running" reads as no number.
    return end == call->c_str() ? -1 : number;
}

bool isChildWait(long call) {
#ifdef SYS_wait4
    if (call == SYS_wait4) return true;
#endif
#ifdef SYS_waitid
    if (call == SYS_waitid) return true;
#endif
    return false;
}


}  // namespace

std::optional<PseudoTerminalHelpers::ProcessLook> PseudoTerminalHelpers::look(pid_t pid) {
    if (pid <= 0) return std::nullopt;
    const std::string folder = "/proc/" + std::to_string(pid);
    const auto stat = statOf(folder);
    if (!stat) return std::nullopt;
    ProcessLook seen;
    seen.state = stat->state;
    seen.parent = stat->parent;
    seen.group = stat->group;
    // Every user may read a process's status: its signals, and how often it has gone to sleep.
    if (const auto status = readProcFile(folder + "/status")) {
        const uint64_t interrupt = uint64_t{1} << (SIGINT - 1);
        const uint64_t pending = field(*status, "SigPnd:", 16).value_or(0) | field(*status, "ShdPnd:", 16).value_or(0);
        seen.interruptPending = pending & interrupt;
        seen.interruptIgnored = field(*status, "SigIgn:", 16).value_or(0) & interrupt;
        seen.sleeps = field(*status, "voluntary_ctxt_switches:").value_or(0);
    }
    // Only its owner, or who may trace it, reads the call it is blocked in.
    seen.call = callOf(folder);
    return seen;
}

bool PseudoTerminalHelpers::ProcessLook::waitsForInput() const {
    if (call) return *call >= 0 && isInputWait(*call);
    return state == 'S';
}

PseudoTerminalHelpers::Foreground PseudoTerminalHelpers::foreground(int masterFd, pid_t leader) {
    Foreground found;
    found.group = ::tcgetpgrp(masterFd);
    if (found.group <= 0) {
        found.group = 0;
        return found;
    }
    const std::vector<Member> members = groupMembers(found.group, leader, mostWalked);
    for (const Member& member : members) {
        if (found.readers.size() == mostReaders) break;
        const bool parent = std::any_of(members.begin(), members.end(),
                                        [&](const Member& other) { return other.parent == member.pid; });
        // A wrapper waits for its child; a reader may have started one (a helper, a job of its own).
        if (parent) {
            const auto call = callOf("/proc/" + std::to_string(member.pid));
            if (!call || isChildWait(*call)) continue;
        }
        found.readers.push_back(member.pid);
    }
    // A group out of the session's reach: its leader, as the terminal names it.
    if (found.readers.empty()) found.readers.push_back(found.group);
    return found;
}

std::vector<pid_t> PseudoTerminalHelpers::foregroundReaders(int masterFd, pid_t leader) {
    return foreground(masterFd, leader).readers;
}

bool PseudoTerminalHelpers::foregroundRelays(int masterFd, pid_t leader) {
    const pid_t group = ::tcgetpgrp(masterFd);
    const auto session = statOf(leader);
    if (group <= 0 || !session) return false;
    std::vector<Member> members = groupMembers(group, leader, mostWalked);
    // A group out of the session's reach: its leader, as the terminal names it.
    if (members.empty()) {
        if (const auto stat = statOf(group); stat && !isGone(stat->state)) members.push_back({group, stat->parent, stat->name});
    }
    for (const Member& member : members) {
        if (relaysByName(member.name)) return true;
        // A terminal of its own, which a child of its has for its controlling terminal (sudo's,
        // script's): what it reads of this one it writes there.
        for (const pid_t child : childrenOf(member.pid)) {
            const auto stat = statOf(child);
            if (stat && stat->terminal != 0 && stat->terminal != session->terminal) return true;
        }
    }
    return false;
}

namespace {

std::atomic<bool> peerByNameOnly{false};

// The child's side of the terminal, opened to look at it (never to become anyone's terminal).
int openPeer(int masterFd) {
    constexpr int flags = O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK;
#ifdef TIOCGPTPEER
    if (!peerByNameOnly.load()) {
        const int peer = ::ioctl(masterFd, TIOCGPTPEER, flags);
        if (peer >= 0) return peer;
    }
#endif
    char name[128];
    if (::ptsname_r(masterFd, name, sizeof name) != 0) return -1;
    return ::open(name, flags);
}

}  // namespace

void PseudoTerminalHelpers::setPeerByNameOnly(bool on) { peerByNameOnly.store(on); }

std::optional<int> PseudoTerminalHelpers::unreadInput(int masterFd) {
    const int peer = openPeer(masterFd);
    if (peer < 0) return std::nullopt;
    // What was written last may still be on its way in (the kernel hands it to the terminal's line
    // discipline on a worker of its own): a look for input waits for that hand-over, so that none
    // of it reads as read already.
    pollfd ready{peer, POLLIN, 0};
    ::poll(&ready, 1, 0);
    int unread = 0;
    const bool told = ::ioctl(peer, FIONREAD, &unread) == 0;
    ::close(peer);
    if (!told) return std::nullopt;
    return unread;
}

bool PseudoTerminalHelpers::childWaitsForInput(int masterFd, pid_t leader) {
    return readersWaitForInput(masterFd, foreground(masterFd, leader).readers);
}

bool PseudoTerminalHelpers::readersWaitForInput(int masterFd, const std::vector<pid_t>& readers) {
    return readersWaitForInput(masterFd, readers, unreadInput(masterFd));
}

bool PseudoTerminalHelpers::readersWaitForInput(int masterFd, const std::vector<pid_t>& readers,
                                                std::optional<int> unread) {
    if (unread && *unread > 0) return false;
    // No foreground process to tell of: nothing waits on it.
    if (readers.empty()) return true;
    return std::any_of(readers.begin(), readers.end(), [&](pid_t reader) {
        const std::string folder = "/proc/" + std::to_string(reader);
        const auto stat = statOf(folder);
        // Gone: nothing to wait for.
        if (!stat || isGone(stat->state)) return true;
        ProcessLook seen;
        seen.state = stat->state;
        seen.call = callOf(folder);
        if (!seen.waitsForInput()) return false;
        // Asleep, where the call cannot be read: not on its output, which would wait unread.
        return seen.call || availableBytes(masterFd).second == 0;
    });
}

}  // namespace vantel
