#include "quiltdeck/panels/JobRun.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

#include "platform/runtime/ProcessTree.h"
#include "quiltdeck/shell/Env.h"

namespace quiltdeck {

using platform::runtime::ChildProcess;
using platform::runtime::IoEvents;
using platform::runtime::MainLoop;
using platform::runtime::ProcessTree;

namespace {

// How much one readiness of the pipe reads before the loop gets a turn.
constexpr size_t readBudget = size_t{1} << 20;
constexpr auto exitPollInterval = std::chrono::milliseconds(20);

int32_t decodeStatus(int waitStatus) {
    if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) return WTERMSIG(waitStatus);
    return -1;
}

void setNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

// A write to a pipe whose reader is gone must fail with EPIPE, not end the
// program: SIGPIPE is held back on this thread for the write and a signal it
// raised is taken off again.
ssize_t writeWithoutPipeSignal(int fd, std::string_view bytes) {
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    sigset_t pendingBefore;
    ::sigpending(&pendingBefore);
    ssize_t n;
    do {
        n = ::write(fd, bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    const int error = errno;
    if (n < 0 && error == EPIPE && !sigismember(&pendingBefore, SIGPIPE)) {
        const timespec none{0, 0};
        while (::sigtimedwait(&pipeSignal, nullptr, &none) < 0 && errno == EINTR) {}
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return n;
}

}  // namespace

std::shared_ptr<JobRun> JobRun::start(Options options, Line line, Done done) {
    std::shared_ptr<JobRun> run(new JobRun(std::move(line), std::move(done)));
    auto fail = [&run] {
        run->closeDescriptors();
        run->finished_ = true;
        MainLoop::main().post([done = run->done_] {
            if (done) done(-1);
        });
        return run;
    };
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) return fail();
    run->output_ = output[0];
    setNonBlocking(run->output_);
    int input[2] = {-1, -1};
    if (options.input) {
        if (::pipe2(input, O_CLOEXEC) != 0) {
            ::close(output[1]);
            return fail();
        }
        run->input_ = input[1];
        setNonBlocking(run->input_);
    }
    ChildProcess::Options process;
    process.arguments = std::move(options.arguments);
    process.directory = homeFolder().string();
    process.standardInput = input[0];
    process.standardOutput = output[1];
    process.standardError = output[1];
    run->child_ = ChildProcess::spawn(process);
    ::close(output[1]);
    if (input[0] >= 0) ::close(input[0]);
    if (!run->child_) return fail();
    run->watch(run);
    return run;
}

JobRun::~JobRun() {
    if (!finished_ && child_) killEverything(SIGKILL);
    for (auto* watch : {&outputWatch_, &exitWatch_}) {
        if (*watch) (*watch)->cancel();
    }
    for (auto* item : {&exitPoll_, &flushTimer_, &killTimer_}) {
        if (*item) (*item)->cancel();
    }
    closeDescriptors();
}

void JobRun::watch(const std::shared_ptr<JobRun>& self) {
    MainLoop& loop = MainLoop::main();
    self_ = self;
    std::weak_ptr<JobRun> weak = self;
    outputWatch_ = loop.watchDescriptor(output_, platform::runtime::IoEvent::readable, [weak](IoEvents) {
        if (auto run = weak.lock()) run->readAvailable();
    });
    if (child_->exitDescriptor() >= 0) {
        exitWatch_ = loop.watchDescriptor(child_->exitDescriptor(), platform::runtime::IoEvent::readable,
                                          [weak](IoEvents) {
                                              if (auto run = weak.lock()) run->childExited();
                                          });
    } else {
        exitPoll_ = loop.scheduleRepeating(exitPollInterval, [weak] {
            if (auto run = weak.lock(); run && run->child_->hasExited()) run->childExited();
        });
    }
}

void JobRun::readAvailable() {
    if (outputEnded_ || output_ < 0) return;
    char chunk[65536];
    for (size_t taken = 0; taken < readBudget;) {
        const ssize_t n = ::read(output_, chunk, sizeof chunk);
        if (n > 0) {
            taken += static_cast<size_t>(n);
            deliver(lines_.absorb(std::string_view(chunk, static_cast<size_t>(n))));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return;
        outputEnded_ = true;
        if (outputWatch_) outputWatch_->cancel();
        if (exited_) finish();
        return;
    }
}

void JobRun::deliver(std::vector<std::string> lines) {
    for (auto& line : lines) {
        MainLoop::main().post([callback = line_, text = std::move(line)]() mutable {
            if (callback) callback(std::move(text));
        });
    }
}

void JobRun::childExited() {
    if (exited_) return;
    exited_ = true;
    if (exitWatch_) exitWatch_->cancel();
    if (exitPoll_) exitPoll_->cancel();
    readAvailable();
    if (finished_) return;
    if (outputEnded_) {
        finish();
        return;
    }
    // Something the child started still holds the pipe: what is on its way
    // gets a moment, then the run ends without waiting for it.
    flushTimer_ = MainLoop::main().postAfter(flushDelay, [weak = self_] {
        if (auto run = weak.lock()) run->finish();
    });
}

void JobRun::finish() {
    if (finished_) return;
    finished_ = true;
    readAvailable();
    deliver(lines_.finish());
    for (auto* watch : {&outputWatch_, &exitWatch_}) {
        if (*watch) (*watch)->cancel();
    }
    for (auto* item : {&exitPoll_, &flushTimer_, &killTimer_}) {
        if (*item) (*item)->cancel();
    }
    // A cancelled job leaves nothing of its group behind.
    if (cancelled_) child_->signalGroup(SIGKILL);
    const auto waitStatus = child_->reap();
    const int32_t status = waitStatus ? decodeStatus(*waitStatus) : -1;
    closeDescriptors();
    MainLoop::main().post([done = done_, status] {
        if (done) done(status);
    });
}

std::optional<std::string> JobRun::send(std::string_view bytes) {
    if (input_ < 0 || !running()) return std::string(std::strerror(EPIPE));
    if (bytes.size() > maxInput) return std::string(std::strerror(EMSGSIZE));
    const ssize_t n = writeWithoutPipeSignal(input_, bytes);
    if (n < 0) return std::string(std::strerror(errno));
    if (static_cast<size_t>(n) != bytes.size()) return std::string("short write");
    return std::nullopt;
}

void JobRun::cancel() {
    if (!child_ || finished_) return;
    cancelled_ = true;
    killEverything(SIGTERM);
    if (killTimer_) return;
    killTimer_ = MainLoop::main().postAfter(killDelay, [weak = self_] {
        if (auto run = weak.lock(); run && !run->finished_) run->killEverything(SIGKILL);
    });
}

void JobRun::killEverything(int signal) {
    ProcessTree::signalDescendants(child_->pid(), signal);
    child_->signalGroup(signal);
}

void JobRun::closeDescriptors() {
    if (output_ >= 0) ::close(std::exchange(output_, -1));
    if (input_ >= 0) ::close(std::exchange(input_, -1));
}

}  // namespace quiltdeck
