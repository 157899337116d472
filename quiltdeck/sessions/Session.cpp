#include "quiltdeck/sessions/Session.h"

#include <string.h>
#include <signal.h>
#include <sys/wait.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/runtime/NotificationCenter.h"
#include "quiltdeck/sessions/Drop.h"
#include "quiltdeck/sessions/HookTexts.h"
#include "quiltdeck/sessions/PathText.h"
#include "quiltdeck/sessions/ScreenScrape.h"
#include "quiltdeck/sessions/SessionLaunch.h"
#include "quiltdeck/sessions/ShellCommand.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/sessions/Uuid.h"
#include "quiltdeck/shell/AnsiPalette.h"
#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Log.h"
#include "quiltdeck/shell/Shorten.h"
#include "quiltdeck/shell/Theme.h"
#include "vantel/core/Utf8.h"

namespace quiltdeck {

namespace {

using Rgba = platform::gfx::Rgba;

std::string capitalized(const std::string& text) {
    std::u32string scalars = vantel::fromUtf8(text);
    if (!scalars.empty()) scalars[0] = static_cast<char32_t>(u_toupper(static_cast<UChar32>(scalars[0])));
    return vantel::toUtf8(scalars);
}

constexpr Rgba rgb(int r, int g, int b) { return Rgba{r / 255.0, g / 255.0, b / 255.0, 1}; }

vantel::TerminalOptions tileOptions() {
    vantel::TerminalOptions options;
    options.cols = Session::columns;
    options.rows = Session::rowCount;
    options.termName = "xterm-256color";
    options.scrollback = Session::scrollback;
    return options;
}

}  // namespace

std::shared_ptr<Session> Session::open(Arguments arguments) { return open(std::move(arguments), Services{}); }

std::shared_ptr<Session> Session::open(Arguments arguments, Services services) {
    std::shared_ptr<Session> session(new Session(arguments, std::move(services)));
    session->build(arguments);
    return session;
}

Session::Session(Arguments arguments, Services services)
    : services_(std::move(services)),
      loop_(services_.loop ? *services_.loop : platform::runtime::MainLoop::main()),
      store_(services_.store ? *services_.store : Store::shared()),
      id_(arguments.id && !arguments.id->empty() ? *arguments.id : newUuid()),
      name_(arguments.name),
      cwd_(arguments.cwd),
      isShell_(arguments.isShell),
      hookPort_(arguments.hookPort) {
    if (isShell_) {
        command_ = arguments.command;
    } else {
        continueLatest_ = arguments.continueLatest;
        browser_ = arguments.browser;
        resumeId_ = arguments.resume;
    }
}

std::string Session::firstTitle(const Arguments& arguments, const Store& store) {
    if (arguments.command) return arguments.name;
    if (auto stored = store.tileNames().find(arguments.cwd); stored != store.tileNames().end()) return stored->second;
    if (arguments.isShell) return arguments.name == "shell" ? "shell" : lastPathComponent(arguments.cwd);
    return capitalized(lastPathComponent(arguments.cwd));
}

void Session::build(const Arguments& arguments) {
    std::weak_ptr<Session> weak = weak_from_this();

    StatusMachine::Tile tile;
    tile.screenText = [this] { return ScreenScrape::activeScreen(view_->getTerminal()); };
    tile.cursorRow = [this]() -> std::optional<size_t> {
        return static_cast<size_t>(std::max(view_->getTerminal().buffer().y(), 0));
    };
    tile.lastInputAt = [this]() -> std::optional<platform::runtime::TimePoint> {
        const uint64_t last = view_->lastUserInputUptimeNs();
        if (last == 0) return std::nullopt;
        return platform::runtime::TimePoint(std::chrono::nanoseconds(last));
    };
    tile.send = [this](std::string_view text) { view_->send(text); };
    tile.outputWaiting = [this] {
        auto& process = view_->process();
        if (absorbsQueued_ > 0 || process.hasPendingOutput()) return true;
        // None while reading stops for back-pressure: then output waits too.
        const std::optional<uint64_t> written = process.outputWritten();
        return !written || *written > process.outputDelivered();
    };
    machine_ = std::make_unique<StatusMachine>(
        cwd_, isShell_, std::move(tile),
        StatusMachine::Services{&loop_, &store_, services_.notifications, services_.home, "tile " + shortId()});
    machine_->setClaudeSessionId(arguments.resume);
    machine_->title.text = firstTitle(arguments, store_);
    // The machine lives as long as the session: its callbacks may use `this`.
    machine_->onChange = [this] {
        if (onChange) onChange();
    };
    machine_->onSessionId = [this] {
        if (onSessionId) onSessionId();
    };
    machine_->onPersist = [this] {
        if (onPersist) onPersist();
    };
    machine_->onBoot = [this] {
        // Up: what was typed went to its own assistant.
        recordingTypedInput_ = false;
        typedBeforeStart_.clear();
        if (onBoot) onBoot();
    };

    LiveMetrics::Services metricServices;
    if (services_.clock) metricServices.clock = services_.clock;
    metricServices.loop = &loop_;
    metricServices.store = &store_;
    metrics_ = std::make_unique<LiveMetrics>(id_, cwd_, [this] { return status() == SessionStatus::exited; },
                                             metricServices);
    metrics_->onChange = [this] {
        if (onChange) onChange();
    };

    view_ = std::make_unique<TappedTerminalView>(platform::gfx::Rect{0, 0, 900, 600}, Fonts::terminal(fontSize, store_.fontName()),
                                                 tileOptions());
    view_->processDelegate = this;
    view_->setNativeBackgroundColor(Theme::isDark() ? rgb(17, 17, 19) : rgb(24, 24, 28));
    view_->setNativeForegroundColor(rgb(228, 228, 231));
    view_->installColors(AnsiPalette::current());
    view_->hideScroller();
    view_->setPastedTextDropped([view = view_.get(), shell = isShell_](size_t bytes, vantel::PasteStop why) {
        Drop::sayPastedTextDropped(bytes, why, Drop::stopReached(*view, shell));
    });
    const auto optimal = view_->getOptimalFrameSize();
    view_->setFrameSize({optimal.width, optimal.height});
    view_->onBytes = [this, weak](std::span<const uint8_t> slice) {
        ++absorbsQueued_;
        loop_.post([weak, bytes = std::vector<uint8_t>(slice.begin(), slice.end())] {
            if (auto session = weak.lock()) {
                --session->absorbsQueued_;
                session->machine_->absorb(bytes);
            }
        });
    };

    auto& title = machine_->title;
    const bool storedName = store_.tileNames().count(cwd_) > 0;
    if (arguments.title && !arguments.title->empty()) {
        title.text = *arguments.title;
        if (arguments.userNamed) {
            title.userNamed = title.pinned = true;
            title.lastTitleAt = StatusMachine::Title::distantFuture;
        } else {
            title.dirty = true;
            title.lastTitleAt = StatusMachine::Title::distantPast;
        }
    } else if (storedName) {
        title.userNamed = title.pinned = true;
        title.lastTitleAt = StatusMachine::Title::distantFuture;
    }

    // A resume that fails ends its child before it reads a key: what is typed meanwhile is kept
    // for the tile that starts afresh, until the tile comes up. The record is what was typed from
    // the start: it stops at the first piece that does not fit.
    if (resumeId_ || continueLatest_) {
        recordingTypedInput_ = true;
        view_->onInput = [this](std::span<const uint8_t> bytes) {
            if (!recordingTypedInput_) return;
            if (machine_->booted() || typedBeforeStart_.size() + bytes.size() > typedAheadLimit) {
                recordingTypedInput_ = false;
                return;
            }
            typedBeforeStart_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        };
    }

    if (services_.startChild) start();
    if (!arguments.typedAhead.empty()) view_->send(arguments.typedAhead);

    machine_->countStart(bootFallback);
    if (arguments.carryOver) metrics_->carryOver();
}

Session::~Session() {
    view_->onBytes = nullptr;
    view_->onInput = nullptr;
    view_->processDelegate = nullptr;
}

// --- Start ------------------------------------------------------------------------------------

std::string Session::commandText() const {
    const std::string shell = services_.shell ? *services_.shell : ShellCommand::loginShell();
    if (isShell_) return SessionLaunch::shellCommand(command_, shell);
    SessionLaunch::Assistant assistant;
    assistant.id = id_;
    assistant.name = name_;
    assistant.hookPort = hookPort_;
    assistant.resumeId = resumeId_;
    assistant.continueLatest = continueLatest_;
    assistant.latestSessionId = [this] {
        return SessionLaunch::latestSessionId(cwd_, services_.home ? *services_.home : homeFolder().string());
    };
    assistant.permissionMode = store_.permissionMode();
    if (browser_) assistant.browserBinding = HookTexts::browserBinding(browser_->deviceId, browser_->label(store_));
    const auto capabilities = services_.capabilities ? services_.capabilities() : ClaudeCapabilities::snapshot();
    return SessionLaunch::assistantCommand(assistant, capabilities, shell);
}

bool Session::hasSavedConversation() const {
    if (isShell_) return false;
    const std::string home = services_.home ? *services_.home : homeFolder().string();
    if (const auto& id = claudeSessionId()) return SessionLaunch::conversationSaved(cwd_, *id, home);
    return continueLatest_ && SessionLaunch::latestSessionId(cwd_, home).has_value();
}

std::vector<std::string> Session::environment() const { return SessionLaunch::environment(id_); }

void Session::start() {
    Log::write("tile open " + shortId() + " " + (isShell_ ? "shell" : "claude") + " in " + cwd_ +
               (resumeId_ ? " (resume)" : ""));
    const std::string shell = services_.shell ? *services_.shell : ShellCommand::loginShell();
    const std::vector<std::string> args = {"-lc", commandText()};
    if (services_.spawn)
        services_.spawn(*view_, shell, args, environment(), cwd_);
    else
        view_->startProcess(shell, args, environment(), std::nullopt, cwd_);
    store_.remember(cwd_);
    // No child at all (a child may have come and gone already: it has a pid).
    if (view_->process().shellPid() <= 0) {
        // Reported like an exec that failed, once the owner has set its callbacks.
        std::weak_ptr<Session> weak = weak_from_this();
        loop_.post([weak] {
            if (auto session = weak.lock()) session->exited(failedStartStatus);
        });
    }
}

// --- The end ----------------------------------------------------------------------------------

void Session::processTerminated(vantel::TerminalView&, std::optional<int32_t> exitCode) {
    awaitEndOfOutput(exitCode.value_or(0), loop_.now() + outputGrace, std::nullopt);
}

// The exit can be reported before the child's last output is on the
// terminal: the status rules judge it on everything the child wrote, however
// long a busy loop takes to hand that over (a full wall starting delivers
// each tile's output a slice per turn).
void Session::awaitEndOfOutput(int32_t rawStatus, platform::runtime::TimePoint deadline,
                               std::optional<uint64_t> written) {
    auto& process = view_->process();
    bool delivered = false;
    if (process.childfd() < 0) {
        // The reader saw the end: all it read is there once delivered.
        delivered = !process.hasPendingOutput();
    } else if (loop_.now() >= deadline) {
        // Something the child left holds its terminal open: what the child wrote by now counts.
        if (!written) written = process.outputWritten();
        delivered = written && process.outputDelivered() >= *written;
    }
    if (!delivered && loop_.now() >= deadline - outputGrace + outputWaitLimit) {
        Log::write("tile exit " + shortId() + ": the child's output still waits after " +
                   std::to_string(std::chrono::duration_cast<std::chrono::seconds>(outputWaitLimit).count()) +
                   " s; judged on what the terminal shows");
        delivered = true;
    }
    std::weak_ptr<Session> weak = weak_from_this();
    if (delivered) {
        // Queued behind the output that the last delivery handed on.
        loop_.post([weak, rawStatus] {
            if (auto session = weak.lock()) session->exited(rawStatus);
        });
        return;
    }
    loop_.postAfter(std::chrono::milliseconds(2), [weak, rawStatus, deadline, written] {
        if (auto session = weak.lock()) session->awaitEndOfOutput(rawStatus, deadline, written);
    });
}

void Session::exited(int32_t rawStatus) {
    if (exitHandled_) return;
    exitHandled_ = true;
    // A signal is no exit code: named as one.
    if (WIFSIGNALED(rawStatus)) {
        Log::write("tile exit " + shortId() + " by signal " + std::to_string(WTERMSIG(rawStatus)) + " (" +
                   signalName(WTERMSIG(rawStatus)) + ")");
    } else if (const auto signal = signalOfCode(WEXITSTATUS(rawStatus))) {
        Log::write("tile exit " + shortId() + " code " + std::to_string(WEXITSTATUS(rawStatus)) + " (" +
                   signalName(*signal) + ")");
    } else {
        Log::write("tile exit " + shortId() + " code " + std::to_string(WEXITSTATUS(rawStatus)));
    }
    // Gone only where its file is: a CLI that fails at once for another cause (a settings file it
    // cannot read) leaves a conversation that can be continued once that is mended.
    if (resumeId_ && rawStatus != 0 && machine_->showsNoConversation() && !hasSavedConversation()) {
        Log::write("tile " + shortId() + ": saved conversation is gone, starting fresh");
        machine_->setClaudeSessionId(std::nullopt);
        metrics_->stop();
        machine_->stop();
        std::weak_ptr<Session> weak = weak_from_this();
        loop_.post([weak] {
            if (auto session = weak.lock(); session && session->onResumeFailed) session->onResumeFailed();
        });
        return;
    }
    metrics_->stop();
    exitStatus_ = rawStatus;
    machine_->exited(exitText(rawStatus));
}

std::string Session::signalName(int signal) {
    const char* abbreviation = ::sigabbrev_np(signal);
    return abbreviation ? "SIG" + std::string(abbreviation) : std::to_string(signal);
}

std::optional<int> Session::signalOfCode(int code) {
    if (code <= 128 || code >= 128 + NSIG || !::sigabbrev_np(code - 128)) return std::nullopt;
    return code - 128;
}

std::string Session::exitText(int32_t rawStatus) {
    if (WIFSIGNALED(rawStatus)) return t("session_ended_signal", {signalName(WTERMSIG(rawStatus))});
    const int code = WEXITSTATUS(rawStatus);
    if (const auto signal = signalOfCode(code)) return t("session_ended_signal", {signalName(*signal)});
    return code == 0 ? t("session_ended") : t("session_ended_code", {code});
}

namespace {

bool isRuleCharacter(char32_t c) { return (c >= 0x2500 && c <= 0x259F) || isWhiteSpace(c); }

// A question's machinery under what it says: a choice ("❯ 2. Exit and fix manually") or its key
// hint ("Enter to confirm · Esc to cancel").
bool isChoiceOrHint(std::string_view line) {
    const std::u32string text = vantel::fromUtf8(line);
    size_t at = 0;
    if (at < text.size() && (text[at] == U'\u276F' || text[at] == U'\u203A' || text[at] == U'>')) ++at;
    while (at < text.size() && isWhiteSpace(text[at])) ++at;
    const size_t digits = at;
    while (at < text.size() && text[at] >= U'0' && text[at] <= U'9') ++at;
    if (at > digits && at + 1 < text.size() && text[at] == U'.' && isWhiteSpace(text[at + 1])) return true;
    std::string lower(line);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const char* hint : {"enter to confirm", "esc to cancel", "enter to continue", "enter to select"}) {
        if (lower.find(hint) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

std::string Session::lastWords() {
    if (!exitStatus_ || status() != SessionStatus::exited || !WIFEXITED(*exitStatus_)) return {};
    const int code = WEXITSTATUS(*exitStatus_);
    if (code == 0 || signalOfCode(code)) return {};
    std::vector<std::string> lines;
    for (const std::string& line : screenLines(true)) {
        const size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos) continue;
        std::string text = line.substr(start, line.find_last_not_of(' ') + 1 - start);
        // A rule says nothing.
        const std::u32string scalars = vantel::fromUtf8(text);
        if (std::all_of(scalars.begin(), scalars.end(), isRuleCharacter)) continue;
        lines.push_back(std::move(text));
    }
    // Ended at a question (an error's dialog left with "Exit"): its words, not its choices.
    size_t end = lines.size();
    while (end > 0 && isChoiceOrHint(lines[end - 1])) --end;
    if (end == 0) end = lines.size();
    constexpr size_t shown = 2;  // as many as the card's detail shows
    std::string words;
    for (size_t i = end > shown ? end - shown : 0; i < end; ++i) {
        if (!words.empty()) words += '\n';
        words += lines[i];
    }
    return words;
}

std::string Session::tool() const {
    if (exitStatus_ && status() == SessionStatus::exited) return exitText(*exitStatus_);
    return machine_->tool();
}

void Session::kill() {
    machine_->stop();
    metrics_->stop();
    view_->terminate();
}

std::string Session::screenText() {
    const std::vector<std::string> rows = screenLines(false);
    std::string text;
    for (size_t i = 0; i < rows.size(); ++i) text += (i ? "\n" : "") + rows[i];
    return text;
}

std::vector<std::string> Session::screenLines(bool joinWrapped) {
    auto& terminal = view_->getTerminal();
    std::vector<std::string> lines;
    for (int row = 0; row < terminal.rows(); ++row) {
        const vantel::BufferLine* line = terminal.getLine(row);
        if (!line) continue;
        const vantel::BufferLine* next = row + 1 < terminal.rows() ? terminal.getLine(row + 1) : nullptr;
        // A row the line wraps on from keeps its blanks: they are the line's.
        const bool wrapsOn = joinWrapped && next && next->isWrapped();
        std::string text = line->translateToString(!wrapsOn, 0, -1, true);
        // Cells never written (a tab's, a cursor move's) show as blanks, and are.
        std::replace(text.begin(), text.end(), '\0', ' ');
        if (joinWrapped && !lines.empty() && line->isWrapped()) lines.back() += text;
        else lines.push_back(std::move(text));
    }
    return lines;
}

}  // namespace quiltdeck
