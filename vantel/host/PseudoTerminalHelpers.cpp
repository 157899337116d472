#include "vantel/host/PseudoTerminalHelpers.h"

#include "platform/runtime/DescriptorLimit.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <new>

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

}  // namespace vantel
