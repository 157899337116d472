#include "quiltdeck/sessions/ClaudeCapabilities.h"

#include <sys/stat.h>

#include <filesystem>
#include <mutex>

#include "platform/runtime/WorkerPool.h"
#include "quiltdeck/sessions/Defaults.h"
#include "quiltdeck/sessions/ProcessCapture.h"
#include "quiltdeck/sessions/ShellCommand.h"
#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/Log.h"
#include "vantel/core/Utf8.h"

namespace quiltdeck {

using platform::runtime::MainLoop;

namespace {

struct State {
    std::mutex mutex;
    ClaudeCapabilities::Snapshot snapshot;
    bool installed = false;
    platform::runtime::Duration probeTimeout = ClaudeCapabilities::defaultProbeTimeout;
};

State& state() {
    static State* const instance = new State();
    return *instance;
}

// Written on the main loop only; the lock is for readers on other threads.
void setAnswer(std::set<std::string> flags, bool installed) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.snapshot = {true, std::move(flags)};
    s.installed = installed;
}

std::string cacheKey(const std::string& key) { return std::string(ClaudeCapabilities::cachePrefix) + key; }

std::string joined(const std::set<std::string>& flags) {
    std::string text;
    for (const auto& flag : flags) {
        if (!text.empty()) text += ' ';
        text += flag;
    }
    return text;
}

// What the probe learnt: the help text, or why there is none to use.
struct ProbeOutcome {
    std::string helpText;
    // Set when the probe gave no answer to use.
    const char* failure = nullptr;
};

ProbeOutcome runHelp(platform::runtime::Duration timeout) {
    platform::runtime::ChildProcess::Options process;
    process.arguments = ShellCommand::loginShellArguments(std::string(ShellCommand::pathExport) +
                                                          "command -v claude >/dev/null 2>&1 && claude --help");
    ProcessCapture::Report report;
    auto result = ProcessCapture::run(process, timeout, &report);
    if (report.ending == ProcessCapture::Ending::notStarted) return {};
    if (report.ending == ProcessCapture::Ending::outputTooLarge) return {{}, "claude probe gave too much output"};
    if (!result) return {{}, "claude probe timed out"};
    if (!vantel::isValidUtf8(result->output)) return {};
    return {std::move(result->output)};
}

}  // namespace

ClaudeCapabilities::Snapshot ClaudeCapabilities::snapshot() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.snapshot;
}

bool ClaudeCapabilities::installed() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.installed;
}

void ClaudeCapabilities::reset() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.snapshot = {};
    s.installed = false;
    s.probeTimeout = defaultProbeTimeout;
}

void ClaudeCapabilities::setProbeTimeout(platform::runtime::Duration timeout) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.probeTimeout = timeout;
}

std::set<std::string> ClaudeCapabilities::flagsIn(std::string_view helpText) {
    std::set<std::string> found;
    for (auto flag : knownFlags) {
        if (helpText.find(flag) != std::string_view::npos) found.emplace(flag);
    }
    return found;
}

std::optional<std::string> ClaudeCapabilities::binaryKey() {
    const std::string home = homeFolder().string();
    const std::string candidates[] = {"/opt/homebrew/bin/claude", "/usr/local/bin/claude", home + "/.local/bin/claude",
                                      home + "/.npm-global/bin/claude", home + "/.claude/local/bin/claude"};
    for (const auto& candidate : candidates) {
        std::error_code error;
        const auto resolved = std::filesystem::canonical(candidate, error);
        struct stat info {};
        if (error || ::stat(resolved.c_str(), &info) != 0) continue;
        // Whole seconds, truncated toward zero also before 1970.
        long long seconds = info.st_mtim.tv_sec;
        if (seconds < 0 && info.st_mtim.tv_nsec > 0) ++seconds;
        return resolved.string() + "@" + std::to_string(seconds);
    }
    return std::nullopt;
}

void ClaudeCapabilities::probe(std::function<void()> done) {
    const auto key = binaryKey();
    if (key) {
        if (auto cached = Defaults::standard().stringArray(cacheKey(*key))) {
            setAnswer(std::set<std::string>(cached->begin(), cached->end()), true);
            if (done) done();
            runProbe(key, [](bool) {});
            return;
        }
    }
    runProbe(binaryKey(), [done = std::move(done)](bool) {
        if (done) done();
    });
}

void ClaudeCapabilities::runProbe(std::optional<std::string> key, std::function<void(bool)> done) {
    platform::runtime::Duration timeout;
    {
        std::lock_guard lock(state().mutex);
        timeout = state().probeTimeout;
    }
    platform::runtime::WorkerPool::shared().submit([key = std::move(key), done = std::move(done), timeout]() mutable {
        ProbeOutcome outcome = runHelp(timeout);
        MainLoop::main().post([key = std::move(key), done = std::move(done), outcome = std::move(outcome)] {
            if (outcome.failure) {
                // Nothing learnt: every flag stays allowed, nothing is cached.
                Log::write(outcome.failure);
                done(false);
                return;
            }
            const bool found = !outcome.helpText.empty();
            const auto flags = flagsIn(outcome.helpText);
            setAnswer(flags, found);
            Log::write(found ? "claude found, flags: " + joined(flags) : "claude not found");
            if (key && found) Defaults::standard().setStringArray(cacheKey(*key), {flags.begin(), flags.end()});
            done(found);
        });
    });
}

}  // namespace quiltdeck
