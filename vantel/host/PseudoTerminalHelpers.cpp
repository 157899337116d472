#include "vantel/host/PseudoTerminalHelpers.h"

#include "platform/runtime/DescriptorLimit.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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

// Whether process `pid` is blocked waiting for input: in a read or a wait for a descriptor to get
// ready, as /proc tells (the call it is blocked in). Where that is not ours to read, whether it
// sleeps at all.
bool processWaitsForInput(pid_t pid) {
    const std::string folder = "/proc/" + std::to_string(pid);
    char text[64] = {};
    const int fd = ::open((folder + "/syscall").c_str(), O_RDONLY | O_CLOEXEC);
    ssize_t n = fd >= 0 ? ::read(fd, text, sizeof text - 1) : -1;
    if (fd >= 0) ::close(fd);
    if (n > 0) {
        text[n] = 0;
        char* end = nullptr;
        const long call = std::strtol(text, &end, 10);
        // "running", or -1 when blocked outside any call.
        if (end == text || call < 0) return false;
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
    const int statFd = ::open((folder + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    char stat[512] = {};
    n = statFd >= 0 ? ::read(statFd, stat, sizeof stat - 1) : -1;
    if (statFd >= 0) ::close(statFd);
    if (n <= 0) return true;  // gone: nothing to wait for
    // "pid (name) S ...": the name may hold anything, the state follows its last parenthesis.
    const char* close = std::strrchr(stat, ')');
    return !close || close[1] != ' ' || close[2] == 'S';
}

}  // namespace

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

std::optional<PseudoTerminalHelpers::CallCounts> PseudoTerminalHelpers::callCounts(pid_t pid) {
    if (pid <= 0) return std::nullopt;
    const int fd = ::open(("/proc/" + std::to_string(pid) + "/io").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char text[512] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return std::nullopt;
    // "syscr: 12\nsyscw: 34\n" among the other lines.
    const auto number = [&](const char* key) -> std::optional<uint64_t> {
        const char* at = std::strstr(text, key);
        if (!at) return std::nullopt;
        return std::strtoull(at + std::strlen(key), nullptr, 10);
    };
    const auto reads = number("syscr:"), writes = number("syscw:");
    if (!reads || !writes) return std::nullopt;
    return CallCounts{*reads, *writes};
}

bool PseudoTerminalHelpers::childWaitsForInput(int masterFd) {
    if (const auto unread = unreadInput(masterFd); unread && *unread > 0) return false;
    const pid_t group = ::tcgetpgrp(masterFd);
    // No foreground process to tell of: nothing waits on it.
    if (group <= 0) return true;
    return processWaitsForInput(group);
}

}  // namespace vantel
