#include "platform/runtime/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <utility>

#include "platform/runtime/WorkerPool.h"

extern char** environ;

namespace platform::runtime {

namespace {

int openPidDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
#else
    (void)pid;
    return -1;
#endif
}

std::vector<char*> pointersTo(const std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    pointers.reserve(texts.size() + 1);
    for (const auto& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

// Owns the spawn attributes and file actions for the length of one spawn.
struct SpawnSetup {
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
    int error = 0;

    SpawnSetup() {
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    void check(int result) {
        if (result != 0 && error == 0) error = result;
    }

    void configure(const ChildProcess::Options& options) {
        sigset_t all, none;
        sigfillset(&all);
        sigemptyset(&none);
        check(posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                                        POSIX_SPAWN_SETSIGMASK));
        check(posix_spawnattr_setpgroup(&attributes, 0));
        check(posix_spawnattr_setsigdefault(&attributes, &all));
        check(posix_spawnattr_setsigmask(&attributes, &none));
        const int streams[3] = {options.standardInput, options.standardOutput, options.standardError};
        for (int target = 0; target < 3; ++target) {
            if (streams[target] < 0)
                check(posix_spawn_file_actions_addopen(&actions, target, "/dev/null", O_RDWR, 0));
            else
                check(posix_spawn_file_actions_adddup2(&actions, streams[target], target));
        }
        check(posix_spawn_file_actions_addclosefrom_np(&actions, 3));
        if (options.directory) check(posix_spawn_file_actions_addchdir_np(&actions, options.directory->c_str()));
    }
};

void reapInBackground(pid_t pid, int pidfd) {
    WorkerPool::shared().submit([pid, pidfd] {
        if (pidfd >= 0) {
            pollfd entry{pidfd, POLLIN, 0};
            while (::poll(&entry, 1, -1) < 0 && errno == EINTR) {}
            ::close(pidfd);
        }
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    });
}

}  // namespace

std::optional<ChildProcess> ChildProcess::spawn(const Options& options, int* error) {
    auto fail = [error](int code) -> std::optional<ChildProcess> {
        if (error) *error = code;
        return std::nullopt;
    };
    if (options.arguments.empty() || options.arguments.front().empty()) return fail(ENOENT);
    SpawnSetup setup;
    setup.configure(options);
    if (setup.error != 0) return fail(setup.error);
    auto argv = pointersTo(options.arguments);
    std::vector<char*> envp;
    if (options.environment) envp = pointersTo(*options.environment);
    pid_t pid = -1;
    const int result = ::posix_spawn(&pid, argv[0], &setup.actions, &setup.attributes, argv.data(),
                                     options.environment ? envp.data() : environ);
    if (result != 0) return fail(result);
    return ChildProcess(pid, openPidDescriptor(pid));
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      pidfd_(std::exchange(other.pidfd_, -1)),
      reaped_(std::exchange(other.reaped_, true)),
      waitStatus_(other.waitStatus_) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        release();
        pid_ = std::exchange(other.pid_, -1);
        pidfd_ = std::exchange(other.pidfd_, -1);
        reaped_ = std::exchange(other.reaped_, true);
        waitStatus_ = other.waitStatus_;
    }
    return *this;
}

ChildProcess::~ChildProcess() { release(); }

void ChildProcess::release() {
    if (!reaped_ && pid_ > 0) reap();
    if (!reaped_ && pid_ > 0) {
        reapInBackground(pid_, std::exchange(pidfd_, -1));
        reaped_ = true;
    }
    if (pidfd_ >= 0) ::close(std::exchange(pidfd_, -1));
}

bool ChildProcess::signalGroup(int signal) {
    if (reaped_ || pid_ <= 0) return false;
    return ::killpg(pid_, signal) == 0;
}

bool ChildProcess::hasExited() {
    if (reaped_) return true;
    if (pidfd_ >= 0) {
        pollfd entry{pidfd_, POLLIN, 0};
        return ::poll(&entry, 1, 0) > 0 && (entry.revents & (POLLIN | POLLHUP | POLLERR));
    }
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) < 0) return errno == ECHILD;
    return info.si_pid == pid_;
}

bool ChildProcess::waitForExit(Duration timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (hasExited()) return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        if (pidfd_ >= 0) {
            pollfd entry{pidfd_, POLLIN, 0};
            ::poll(&entry, 1, static_cast<int>(std::min<int64_t>(left.count() + 1, 60000)));
        } else {
            std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(5)));
        }
    }
}

std::optional<int> ChildProcess::reap() {
    if (reaped_) return waitStatus_;
    if (pid_ <= 0) return std::nullopt;
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(pid_, &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0) return std::nullopt;
    reaped_ = true;
    if (pidfd_ >= 0) ::close(std::exchange(pidfd_, -1));
    if (result == pid_) waitStatus_ = status;
    return waitStatus_;
}

}  // namespace platform::runtime
