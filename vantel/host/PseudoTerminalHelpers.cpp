#include "vantel/host/PseudoTerminalHelpers.h"

#include "platform/runtime/DescriptorLimit.h"
#include "platform/runtime/ProcessTree.h"

#include <dirent.h>
#include <fcntl.h>
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

}  // namespace

std::optional<PseudoTerminalHelpers::ProcessLook> PseudoTerminalHelpers::look(pid_t pid) {
    if (pid <= 0) return std::nullopt;
    const std::string folder = "/proc/" + std::to_string(pid);
    const auto stat = readProcFile(folder + "/stat");
    if (!stat) return std::nullopt;
    ProcessLook seen;
    // "pid (name) S ppid pgrp ...": the name may hold anything, the rest follows its last parenthesis.
    const size_t close = stat->rfind(')');
    if (close == std::string::npos || close + 2 >= stat->size()) return std::nullopt;
    seen.state = (*stat)[close + 2];
    long parent = 0, group = 0;
    if (std::sscanf(stat->c_str() + close + 3, "%ld %ld", &parent, &group) != 2) return std::nullopt;
    seen.parent = static_cast<pid_t>(parent);
    seen.group = static_cast<pid_t>(group);
    // Every user may read a process's status: its signals, and how often it has gone to sleep.
    if (const auto status = readProcFile(folder + "/status")) {
        const uint64_t interrupt = uint64_t{1} << (SIGINT - 1);
        const uint64_t pending = field(*status, "SigPnd:", 16).value_or(0) | field(*status, "ShdPnd:", 16).value_or(0);
        seen.interruptPending = pending & interrupt;
        seen.interruptIgnored = field(*status, "SigIgn:", 16).value_or(0) & interrupt;
        seen.sleeps = field(*status, "voluntary_ctxt_switches:").value_or(0);
    }
    // Only its owner, or who may trace it, reads the call it is blocked in.
    if (const auto call = readProcFile(folder + "/syscall")) {
        char* end = nullptr;
        const long number = std::strtol(call->c_str(), &end, 10);
        // "running" reads as no number.
        seen.call = end == call->c_str() ? -1 : number;
    }
    return seen;
}

bool PseudoTerminalHelpers::ProcessLook::waitsForInput() const {
    if (call) return *call >= 0 && isInputWait(*call);
    return state == 'S';
}

std::vector<pid_t> PseudoTerminalHelpers::foregroundReaders(int masterFd, pid_t leader) {
    const pid_t group = ::tcgetpgrp(masterFd);
    if (group <= 0) return {};
    // The group's processes in the session, found down from its leader: those with no child of
    // their own in the group read (a program's wrapper, waiting for it, reads nothing).
    std::vector<pid_t> members;
    std::vector<pid_t> parents;
    std::vector<pid_t> queue{leader};
    constexpr size_t mostLooked = 4096;
    for (size_t next = 0; leader > 0 && next < queue.size() && next < mostLooked; ++next) {
        const pid_t pid = queue[next];
        const auto seen = look(pid);
        if (!seen) continue;
        if (seen->group == group) {
            members.push_back(pid);
            parents.push_back(seen->parent);
        }
        for (const pid_t child : childrenOf(pid)) queue.push_back(child);
    }
    std::vector<pid_t> readers;
    for (const pid_t member : members) {
        if (std::find(parents.begin(), parents.end(), member) == parents.end()) readers.push_back(member);
    }
    // A group out of the session's reach: its leader, as the terminal names it.
    if (readers.empty()) readers.push_back(group);
    return readers;
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
    int unread = 0;
    const bool told = ::ioctl(peer, FIONREAD, &unread) == 0;
    ::close(peer);
    if (!told) return std::nullopt;
    return unread;
}

bool PseudoTerminalHelpers::childWaitsForInput(int masterFd, pid_t leader) {
    if (const auto unread = unreadInput(masterFd); unread && *unread > 0) return false;
    // No foreground process to tell of: nothing waits on it.
    if (::tcgetpgrp(masterFd) <= 0) return true;
    const auto readers = foregroundReaders(masterFd, leader);
    return std::any_of(readers.begin(), readers.end(), [&](pid_t reader) {
        const auto seen = look(reader);
        // Gone: nothing to wait for.
        if (!seen) return true;
        if (!seen->waitsForInput()) return false;
        // Asleep, where the call cannot be read: not on its output, which would wait unread.
        return seen->call || availableBytes(masterFd).second == 0;
    });
}

}  // namespace vantel
