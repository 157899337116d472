#include "quiltdeck/sessions/ClaudeCLI.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/runtime/WorkerPool.h"
#include "quiltdeck/sessions/ProcessCapture.h"
#include "quiltdeck/sessions/SessionLaunch.h"
#include "quiltdeck/sessions/ShellCommand.h"
#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/StateFolder.h"
#include "vantel/core/Utf8.h"

namespace quiltdeck {

namespace {

// Writes the prompt into the CLI's input once `promptDelay` has passed,
// unless the run is over first; either way the input ends up closed.
class PromptWriter {
public:
    PromptWriter(int fd, std::string prompt)
        : fd_(fd), prompt_(std::move(prompt)), thread_([this](std::stop_token stop) { run(stop); }) {}
    PromptWriter(const PromptWriter&) = delete;
    PromptWriter& operator=(const PromptWriter&) = delete;
    ~PromptWriter() { finish(); }

    // Calls off a write not yet begun or still blocked, and closes the input
    // when the writer has not.
    void finish() {
        if (!thread_.joinable()) return;
        thread_.request_stop();
        thread_.join();
        if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    }

private:
    void run(std::stop_token stop) {
        {
            std::mutex mutex;
            std::condition_variable_any wake;
            std::unique_lock lock(mutex);
            wake.wait_for(lock, stop, ClaudeCLI::promptDelay, [] { return false; });
        }
        if (stop.stop_requested()) return;
        // A CLI that never reads makes the write fail, not end the program.
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        size_t written = 0;
        while (written < prompt_.size() && !stop.stop_requested()) {
            const ssize_t n = ::write(fd_, prompt_.data() + written, prompt_.size() - written);
            if (n > 0) {
                written += static_cast<size_t>(n);
            } else if (n < 0 && errno == EAGAIN) {
                pollfd entry{fd_, POLLOUT, 0};
                ::poll(&entry, 1, 20);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                break;
            }
        }
        ::close(std::exchange(fd_, -1));
    }

    int fd_;
    std::string prompt_;
    std::jthread thread_;  // last: starts once the rest is ready
};

// Runs under way; the last one to end clears what they left.
std::atomic<int> runsUnderWay{0};

// A login shell's status for a command it did not find.
constexpr int32_t commandNotFound = 127;

ClaudeCLI::Reply runOnce(const std::string& command, const std::filesystem::path& folder, std::string prompt,
                         platform::runtime::Duration timeout) {
    using Failure = ClaudeCLI::Failure;
    StateFolder::makeFolder(folder);
    ++runsUnderWay;
    struct Clear {
        const std::filesystem::path& folder;
        ~Clear() {
            if (--runsUnderWay == 0) ClaudeCLI::removeConversations(folder);
        }
    } clear{folder};
    int input[2];
    if (::pipe2(input, O_CLOEXEC) != 0) return ClaudeCLI::Reply::failing(Failure::failed);
    ::fcntl(input[1], F_SETFL, ::fcntl(input[1], F_GETFL) | O_NONBLOCK);
    PromptWriter writer(input[1], std::move(prompt));
    platform::runtime::ChildProcess::Options process;
    process.arguments = ShellCommand::loginShellArguments(command);
    process.directory = folder.string();
    process.standardInput = input[0];
    ProcessCapture::Report report;
    auto result = ProcessCapture::run(process, timeout, &report);
    ::close(input[0]);
    writer.finish();
    using Ending = ProcessCapture::Ending;
    if (report.ending == Ending::terminated || report.ending == Ending::killed)
        return ClaudeCLI::Reply::failing(Failure::timedOut);
    if (result && result->status == commandNotFound) return ClaudeCLI::Reply::failing(Failure::missing);
    if (!result || result->status != 0 || !vantel::isValidUtf8(result->output))
        return ClaudeCLI::Reply::failing(Failure::failed);
    return ClaudeCLI::Reply(std::move(result->output));
}

}  // namespace

std::string ClaudeCLI::oneShotCommand(const std::vector<std::string>& allowedTools, bool chrome,
                                      const ClaudeCapabilities::Snapshot& capabilities) {
    std::string text(ShellCommand::pathExport);
    text += " exec claude -p";
    if (chrome && capabilities.allows("--chrome")) text += " --chrome";
    if (capabilities.allows("--model")) {
        text += " --model ";
        text += ShellCommand::quoteForShell(model);
    }
    if (capabilities.allows("--strict-mcp-config")) text += " --strict-mcp-config";
    if (capabilities.allows("--disable-slash-commands")) text += " --disable-slash-commands";
    if (capabilities.allows("--no-session-persistence")) text += " --no-session-persistence";
    // Never without a refusal: a CLI that knows neither flag refuses the run instead.
    if (capabilities.allows("--tools")) {
        text += " --tools ''";
    } else {
        text += " --disallowedTools";
        for (const auto tool : builtInTools) {
            text += ' ';
            text += tool;
        }
    }
    if (!allowedTools.empty() && capabilities.allows("--allowedTools")) {
        text += " --allowedTools";
        for (const auto& tool : allowedTools) {
            text += ' ';
            text += ShellCommand::quoteForShell(tool);
        }
    }
    return text;
}

std::filesystem::path ClaudeCLI::conversationsOf(const std::filesystem::path& folder,
                                                 const std::filesystem::path& home) {
    // The CLI keys its files by the folder as the system names it, links resolved.
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(folder, error);
    return home / ".claude" / "projects" / SessionLaunch::folderKey((error ? folder : real).string());
}

void ClaudeCLI::removeConversations(const std::filesystem::path& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(conversationsOf(folder, homeFolder()), ignored);
}

void ClaudeCLI::oneShot(std::string prompt, std::vector<std::string> allowedTools, bool chrome,
                        platform::runtime::Duration timeout, Done done) {
    // The capabilities are read here, on the caller's thread, once.
    std::string command = oneShotCommand(allowedTools, chrome, ClaudeCapabilities::snapshot());
    std::filesystem::path folder = StateFolder::path() / "drops";
    platform::runtime::WorkerPool::shared().submit(
        [command = std::move(command), folder = std::move(folder), prompt = std::move(prompt), timeout,
         done = std::move(done)]() mutable {
            auto answer = runOnce(command, folder, std::move(prompt), timeout);
            platform::runtime::MainLoop::main().post([done = std::move(done), answer = std::move(answer)] {
                if (done) done(answer);
            });
        });
}

}  // namespace quiltdeck
