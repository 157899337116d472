#include "quiltdeck/sessions/StatusMachine.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/HiddenCharacters.h"
#include "quiltdeck/sessions/PathText.h"
#include "quiltdeck/sessions/ScreenScrape.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/sessions/TileName.h"
#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Log.h"
#include "quiltdeck/shell/Shorten.h"
#include "vantel/core/Utf8.h"

namespace quiltdeck {

namespace {

using Pattern = ScreenScrape::Pattern;
using nlohmann::json;

constexpr int promptTitleLength = 68;
constexpr int renameLength = 48;

std::string text(const json& body, const char* key) {
    if (!body.is_object()) return {};
    const auto found = body.find(key);
    return found != body.end() && found->is_string() ? found->get<std::string>() : std::string();
}

const json& object(const json& body, const char* key) {
    static const json empty = json::object();
    if (!body.is_object()) return empty;
    const auto found = body.find(key);
    return found != body.end() && found->is_object() ? *found : empty;
}

bool contains(std::u32string_view text, std::u32string_view phrase) {
    return text.find(phrase) != std::u32string_view::npos;
}

bool isHookEvent(std::string_view event) {
    static constexpr std::string_view events[] = {"UserPromptSubmit", "PreToolUse", "PostToolUse",
                                                  "Notification",     "Stop",       "SessionStart"};
    return std::find(std::begin(events), std::end(events), event) != std::end(events);
}

// What shows, packed, that the assistant's start screen is up, and how the log names it.
struct StartMarker {
    std::u32string_view packed;
    std::string_view what;
};
// The name with the version after it, as its banner and a first run's welcome
// show it: the bare name comes first in the window title, seconds before
// anything is drawn, and in notices. Either prompt sign: a narrow tile's banner
// leaves out the program's name. The footer stands under the prompt box alone.
constexpr StartMarker startMarkers[] = {
    {U"ClaudeCodev", "its banner"},
    {U"\u203A", "its prompt sign"},
    {U"\u276F", "its prompt sign"},
    {U"?forshortcuts", "the footer of its prompt box"},
    {U"trustthisfolder", "the folder-trust question"},
    {U"Tipsforgettingstarted", "its tips"},
    // The tile's own words when the CLI is missing: what to do, never under the starting veil.
    {U"ClaudeCodeisnotinstalledonthiscomputer", "that Claude Code is not installed"},
};

// A screen row as the log quotes it: without its margins, cut to a line's worth.
// A hook's words in a log line: a body may hold a megabyte of them.
constexpr int hookWordLimit = 80;

std::string quoted(std::u32string_view row) {
    constexpr int longest = 80;
    std::string text(1, '"');
    text += shorten(trimWhiteSpace(vantel::toUtf8(row)), longest);
    text += '"';
    return text;
}

}  // namespace

StatusMachine::StatusMachine(std::string cwd, bool isShell, Tile tile)
    : StatusMachine(std::move(cwd), isShell, std::move(tile), Services{}) {}

StatusMachine::StatusMachine(std::string cwd, bool isShell, Tile tile, Services services)
    : cwd_(std::move(cwd)),
      isShell_(isShell),
      tile_(std::move(tile)),
      loop_(services.loop ? *services.loop : platform::runtime::MainLoop::main()),
      store_(services.store ? *services.store : Store::shared()),
      notifications_(services.notifications ? *services.notifications
                                            : platform::runtime::NotificationCenter::defaultCenter()),
      home_(services.home ? *services.home : homeFolder().string()),
      logName_(std::move(services.logName)),
      status_(isShell ? SessionStatus::idle : SessionStatus::busy),
      busySince_(loop_.now()) {}

StatusMachine::~StatusMachine() {
    for (auto* item : {&settleTimer_, &trustReturn_, &startStep_}) {
        if (*item) (*item)->cancel();
    }
}

bool StatusMachine::settlePending() const { return settleTimer_ && !settleTimer_->isCancelled(); }

// --- Status ---------------------------------------------------------------------------------

void StatusMachine::set(SessionStatus status, std::optional<std::string> tool, std::string_view why) {
    if (status != status_)
        Log::write(logName_ + " " + std::string(rawValue(status_)) + " -> " + std::string(rawValue(status)) + ": " +
                   std::string(why));
    bool changed = status != status_ || (tool && *tool != tool_);
    if (status == SessionStatus::busy && finished_) {
        finished_ = false;
        changed = true;
    }
    if (status == SessionStatus::waiting) waitingSince_ = loop_.now();
    if (status == SessionStatus::busy && status_ != SessionStatus::busy) busySince_ = loop_.now();
    status_ = status;
    if (tool) tool_ = std::move(*tool);
    if (changed) this->changed();
}

void StatusMachine::handleHook(std::string_view event, const json& body) {
    const std::string sessionId = text(body, "session_id");
    if (!sessionId.empty() && sessionId != claudeSessionId_) {
        claudeSessionId_ = sessionId;
        if (onSessionId) onSessionId();
    }
    if (status_ == SessionStatus::exited) return;
    // Whatever it posts, the assistant is up (a SessionStart may have been lost on the way),
    // but it posts SessionStart seconds before it draws anything: the tile stays working until
    // its start screen shows, whatever the login shell printed before it (a greeting, a notice).
    if (!booted_ && event == "SessionStart") {
        if (!startHookHeld_) {
            Log::write(logName_ + " hook SessionStart before its start screen: held");
            // A screenful from here on is the assistant's own.
            bootBuffer_.clear();
            // It runs, and draws next: the start limit counts afresh from here, however long a
            // loaded machine took it to get this far.
            if (startStep_ && !startStep_->isCancelled()) countStart(startLimit_);
        }
        startHookHeld_ = true;
        quietByHook_ = true;
        turnByHook_ = false;
        return;
    }
    if (!booted_ && isHookEvent(event)) boot("hook " + std::string(event));

    if (event == "UserPromptSubmit") {
        const std::string prompt = trimWhiteSpace(text(body, "prompt"));
        if (!prompt.empty()) {
            const bool first = lastPrompt_.empty();
            lastPrompt_ = prompt;
            if (first && !title.pinned) {
                // The first kilobytes give the title's characters.
                const auto words = TileName::promptWords(prefixWithin(prompt, 4096));
                title.text = shorten(platform::ui::HiddenCharacters::dropped(words ? *words : t("pasted_text")),
                                     promptTitleLength);
                title.dirty = true;
                title.lastTitleAt = Title::distantPast;
            }
        }
        openTurn();
        set(SessionStatus::busy, "", "hook UserPromptSubmit");
        rearmSettle();
    } else if (event == "PreToolUse") {
        openTurn();
        const std::string name = text(body, "tool_name");
        set(SessionStatus::busy, toolLabel(name, object(body, "tool_input")), "hook PreToolUse " + shorten(name, hookWordLimit));
        rearmSettle();
    } else if (event == "PostToolUse") {
        openTurn();
        set(SessionStatus::busy, "", "hook PostToolUse");
        rearmSettle();
    } else if (event == "Notification") {
        const std::string type = text(body, "notification_type");
        if (type != "idle_prompt" && type != "auth_success") {
            quietByHook_ = false;
            noteQuestion(screen());
            // It names no tool (it comes a while after the question): the one asked about stays.
            const std::string tool = text(body, "tool_name");
            set(SessionStatus::waiting,
                tool.empty() ? std::nullopt : std::optional(toolLabel(tool, object(body, "tool_input"))),
                "hook Notification " + (type.empty() ? std::string("without a type") : shorten(type, hookWordLimit)));
        }
    } else if (event == "Stop") {
        if ((status_ == SessionStatus::busy || status_ == SessionStatus::waiting) && !lastPrompt_.empty())
            finished_ = true;
        quietByHook_ = true;
        turnByHook_ = false;
        set(SessionStatus::idle, "", "hook Stop");
        title.dirty = true;
    } else if (event == "SessionStart") {
        quietByHook_ = true;
        turnByHook_ = false;
        set(SessionStatus::idle, "", "hook SessionStart");
    }
    changed();
}

std::string StatusMachine::toolLabel(std::string_view name, const json& input) {
    const std::string tool(name);
    if (tool == "Bash") return "Bash: " + shorten(text(input, "command"), 38);
    if (tool == "Edit" || tool == "Write" || tool == "Read") return tool + ": " + lastPathComponent(text(input, "file_path"));
    if (tool == "Task" || tool == "Agent") return "Agent: " + shorten(text(input, "description"), 30);
    if (tool == "Grep" || tool == "Glob") return tool + ": " + shorten(text(input, "pattern"), 24);
    return tool;
}

// A hook of work opens a turn, or shows that the open one goes on.
void StatusMachine::openTurn() {
    quietByHook_ = false;
    turnByHook_ = true;
    workSeenAt_ = loop_.now();
}

// --- Output ---------------------------------------------------------------------------------

void StatusMachine::absorb(std::span<const uint8_t> bytes) {
    if (isShell_) return;
    // A character cut between two pieces (pieces of a starved loop's output are a few bytes) is
    // read whole with the next: a prompt sign cut in two would never be seen.
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::string joined;
    if (!cutCharacter_.empty()) {
        joined = std::exchange(cutCharacter_, std::string()).append(text);
        text = joined;
    }
    for (size_t lead = text.size(); lead > 0 && text.size() - lead < 4;) {
        const auto* data = reinterpret_cast<const uint8_t*>(text.data());
        if (vantel::utf8::isContinuationByte(data[--lead])) continue;
        if (vantel::utf8::decode(data + lead, text.size() - lead).isCut()) {
            cutCharacter_ = text.substr(lead);
            text = text.substr(0, lead);
        }
        break;
    }
    const std::u32string chunk = vantel::fromUtf8(text);

    if (status_ == SessionStatus::exited) return;

    // The last `frameLimit` characters of the output, without moving more of them than go.
    if (chunk.size() >= frameLimit) {
        frame_.assign(ScreenScrape::last(chunk, frameLimit));
    } else {
        if (frame_.size() + chunk.size() > frameLimit) frame_.erase(0, frame_.size() + chunk.size() - frameLimit);
        frame_ += chunk;
    }
    if (!booted_) noteBoot(chunk);
    // The hint on the chunk alone, so that the cost per chunk stays with the chunk.
    if (status_ != SessionStatus::waiting && ScreenScrape::matches(Pattern::busy, chunk))
        set(SessionStatus::busy, std::nullopt, "the output shows the interrupt hint");
    scheduleSettle();
}

void StatusMachine::scheduleSettle() {
    platform::runtime::Duration delay = settleDelay;
    // A key at a question is answered soon, however long the output goes on;
    // while the question stays, every `redecideDelay` of output looks again.
    if (status_ == SessionStatus::waiting) {
        if (const auto input = lastInput(); input && *input > waitingSince_) {
            const auto now = loop_.now();
            const auto latest = std::max(*input, lastSettleAt_) + redecideDelay;
            if (latest < now + delay) delay = latest > now ? latest - now : platform::runtime::Duration::zero();
        }
    }
    armSettle(delay);
}

void StatusMachine::armSettle(platform::runtime::Duration delay) {
    if (settleTimer_) settleTimer_->cancel();
    settleTimer_ = loop_.postAfter(delay, [this] {
        settleTimer_.reset();
        settle();
        changed();
    });
}

// A settle armed by the output before a hook that starts work would read a
// screen the assistant has not redrawn yet (no hint: idle for a moment); it
// comes a settle's delay after the hook instead. One comes even without
// output: a hook late behind its turn's output (an interrupt the user was
// quicker with) is looked at again.
void StatusMachine::rearmSettle() {
    if (!isShell_) scheduleSettle();
}

std::optional<platform::runtime::TimePoint> StatusMachine::lastInput() const {
    std::optional<platform::runtime::TimePoint> last = tile_.lastInputAt ? tile_.lastInputAt() : std::nullopt;
    if (trustInputAt_ && (!last || *trustInputAt_ > *last)) last = trustInputAt_;
    return last;
}

// Whether a screen without the hint leaves the turn a hook opened going, or
// what ended it: the screen shows the interrupt a key of the user's caused (a
// key since the work began: an earlier interrupt that a redraw prints again
// does not count), or nothing moved for `staleTurn`.
StatusMachine::TurnEnd StatusMachine::turnEnd(std::u32string_view screen, std::optional<size_t>& interrupt) {
    if (!turnByHook_) return TurnEnd::noTurn;
    if (inputSince(busySince_)) interrupt = ScreenScrape::interruptRow(screen, cursorRow());
    const TurnEnd end = interrupt                                 ? TurnEnd::interrupted
                        : loop_.now() - workSeenAt_ < staleTurn ? TurnEnd::held
                                                                : TurnEnd::stale;
    turnByHook_ = end == TurnEnd::held;
    return end;
}

bool StatusMachine::showsNoConversation() const {
    return !isShell_ && (sawNoConversation_ || contains(ScreenScrape::packed(screen()), noConversationPacked));
}

bool StatusMachine::inputSince(platform::runtime::TimePoint moment) const {
    const auto last = lastInput();
    return last && *last > moment;
}

std::u32string StatusMachine::screen() const { return tile_.screenText ? tile_.screenText() : std::u32string(); }

std::optional<size_t> StatusMachine::cursorRow() const { return tile_.cursorRow ? tile_.cursorRow() : std::nullopt; }

void StatusMachine::noteQuestion(std::u32string_view screen) { questionRow_ = ScreenScrape::questionRow(screen); }

void StatusMachine::settle() {
    if (status_ == SessionStatus::exited) return;
    lastSettleAt_ = loop_.now();
    const std::u32string cleaned = ScreenScrape::withoutEscapes(frame_);
    const std::u32string tail(ScreenScrape::last(cleaned, tailLimit));
    frame_.clear();

    if (contains(tail, U"Operation not permitted")) notifications_.post(std::string(accessDeniedNotification));
    const std::u32string packedTail = ScreenScrape::packed(tail);

    if (!trustAnswered_ && store_.autoTrustHome() && cwd_ == home_ && contains(packedTail, U"trustthisfolder") &&
        contains(packedTail, U"Accessingworkspace")) {
        answerTrust();
        return;
    }

    const std::u32string shown = screen();
    if (const size_t hash = std::hash<std::u32string>{}(shown); hash != screenHash_) {
        screenHash_ = hash;
        if (turnByHook_) workSeenAt_ = lastSettleAt_;
    }
    // Before the assistant is up, what it printed may go again before it exits.
    if (!booted_ && !sawNoConversation_)
        sawNoConversation_ = contains(ScreenScrape::packed(shown), noConversationPacked);
    // A question stays until a hook moves on, or the user answers it. It is
    // followed on the screen meanwhile: a redraw may move it.
    if (status_ == SessionStatus::waiting && !inputSince(waitingSince_)) {
        noteQuestion(shown);
        title.dirty = true;
        return;
    }

    // What the output asked counts where the assistant asks: its answer and
    // the tips under its spinner stand above the prompt box, a question of its
    // own takes the box's place.
    // A pointer may mark a choice of a list without numbers: the screen tells.
    const bool asked = ScreenScrape::matches(Pattern::waiting, tail) ||
                       ScreenScrape::matches(Pattern::waitingPacked, packedTail) ||
                       std::u32string_view(packedTail).find_first_of(U"\u276F\u203A") != std::u32string_view::npos;
    const auto question = asked ? ScreenScrape::questionRow(shown) : std::nullopt;
    if (!booted_) {
        // Still starting: a blank or half-drawn screen is no finished turn. A
        // question is the user's to see and answer.
        if (!question) return;
        boot("the screen asks " + quoted(ScreenScrape::row(shown, *question)));
    }
    if (question) {
        questionRow_ = question;
        set(SessionStatus::waiting, std::nullopt, "the screen asks " + quoted(ScreenScrape::row(shown, *question)));
    } else if (status_ == SessionStatus::waiting && questionRow_ &&
               ScreenScrape::asksUser(ScreenScrape::row(shown, *questionRow_))) {
        // A key the assistant ignores there (Ctrl+C) leaves the question on
        // the screen; the key still counts, so the next settle looks again.
    } else if (ScreenScrape::matches(Pattern::busy, shown) ||
               ScreenScrape::matches(Pattern::busyPacked, ScreenScrape::packed(shown))) {
        // After Stop or SessionStart a hint left on the screen does not start a turn.
        if (quietByHook_ && status_ != SessionStatus::busy)
            set(SessionStatus::idle, "", "a hint left on the screen after Stop or SessionStart");
        else
            set(SessionStatus::busy, std::nullopt, "the screen shows the interrupt hint");
    } else {
        std::optional<size_t> interrupt;
        switch (turnEnd(shown, interrupt)) {
            case TurnEnd::held:
                set(SessionStatus::busy, std::nullopt, "the turn a hook opened goes on without the hint on the screen");
                // Without output the turn still ends once the screen has stood still long enough.
                armSettle(workSeenAt_ + staleTurn - loop_.now());
                break;
            // Whatever ended the turn (an interrupt posts no hook), its tool is over.
            case TurnEnd::interrupted:
                set(SessionStatus::idle, "",
                    "the screen shows the interrupt " + quoted(ScreenScrape::row(shown, *interrupt)));
                break;
            case TurnEnd::stale: set(SessionStatus::idle, "", "the screen stood still for 30 s"); break;
            case TurnEnd::noTurn: set(SessionStatus::idle, "", "no interrupt hint on the screen"); break;
        }
    }
    title.dirty = true;
}

void StatusMachine::answerTrust() {
    trustAnswered_ = true;
    // Cursor down to "Yes, I trust this folder", then confirm.
    if (tile_.send) tile_.send("\x1b[B");
    trustInputAt_ = loop_.now();
    trustReturn_ = loop_.postAfter(trustReturnDelay, [this] {
        if (tile_.send) tile_.send("\r");
        trustInputAt_ = loop_.now();
    });
}

void StatusMachine::noteBoot(std::u32string_view chunk) {
    // The whole piece is looked at before the buffer keeps only its end: a starved tile's output
    // comes in large pieces, its prompt sign at the start of one followed by seconds of spinner.
    bootBuffer_ += chunk;
    const std::u32string packed = ScreenScrape::packed(ScreenScrape::withoutEscapes(bootBuffer_));
    if (bootBuffer_.size() > bootLimit) bootBuffer_.erase(0, bootBuffer_.size() - bootLimit);
    for (const StartMarker& marker : startMarkers) {
        if (contains(packed, marker.packed)) return screenUp("the screen shows " + std::string(marker.what));
    }
    // Only after the start hook: a login shell's message of the day is no start screen.
    if (startHookHeld_ && packed.size() >= bootTextLength) screenUp("the screen shows a screenful of text");
}

void StatusMachine::screenUp(std::string_view why) {
    const bool held = startHookHeld_;
    boot(why);
    if (held) set(SessionStatus::idle, "", "hook SessionStart");
}

void StatusMachine::boot(std::string_view why) {
    if (booted_) return;
    Log::write(logName_ + " up: " + std::string(why));
    // Held working since its start hook, as if idle: keys before now belong to no turn.
    if (startHookHeld_) busySince_ = loop_.now();
    startHookHeld_ = false;
    markBooted();
}

void StatusMachine::startTimedOut(platform::runtime::Duration waited) {
    if (booted_) return;
    if (isShell_) return markBooted();
    boot("no start screen within " + std::to_string(std::chrono::duration_cast<std::chrono::seconds>(waited).count()) +
         " s; the screen decides");
    // Without more output no settle would come: the screen as it stands decides now.
    if (status_ != SessionStatus::exited) armSettle(platform::runtime::Duration::zero());
}

void StatusMachine::countStart(platform::runtime::Duration limit) {
    startLimit_ = limit;
    startCounted_ = startHeldBack_ = {};
    if (isShell_) {
        // A shell shows no start screen to wait for: one timer, not a step every quarter second.
        if (startStep_) startStep_->cancel();
        startStep_ = loop_.postAfter(limit, [this] { markBooted(); });
        return;
    }
    armStartStep();
}

void StatusMachine::armStartStep() {
    if (startStep_) startStep_->cancel();
    // Armed from when the last step ran: the time a late step came late by is not counted.
    startStep_ = loop_.postAfter(startStep, [this] { startStepDone(); });
}

void StatusMachine::startStepDone() {
    if (booted_ || status_ == SessionStatus::exited) return;
    // A step in which output waited to be read is not counted (the waiting output may be the
    // start screen), unless output has kept waiting for a whole limit already. A step without
    // any ends the run: a starved loop's earlier waits do not use up the next one's.
    const bool waiting = tile_.outputWaiting && tile_.outputWaiting();
    if (waiting && startHeldBack_ < startLimit_) {
        startHeldBack_ += startStep;
    } else {
        startCounted_ += startStep;
        if (!waiting) startHeldBack_ = {};
    }
    if (startCounted_ >= startLimit_) return startTimedOut(startLimit_);
    armStartStep();
}

void StatusMachine::markBooted() {
    if (booted_) return;
    booted_ = true;
    bootBuffer_.clear();
    if (startStep_) startStep_->cancel();
    if (onBoot) onBoot();
}

// --- The end --------------------------------------------------------------------------------

void StatusMachine::stop() {
    turnByHook_ = false;
    if (settleTimer_) settleTimer_->cancel();
    settleTimer_.reset();
    if (startStep_) startStep_->cancel();
}

void StatusMachine::exited(std::string text) {
    if (status_ == SessionStatus::exited) return;
    stop();
    markBooted();
    set(SessionStatus::exited, std::move(text), "the child ended");
}

// --- Titles ---------------------------------------------------------------------------------

void StatusMachine::rename(std::string_view text) {
    std::string shortened = shorten(text, renameLength);
    if (shortened.empty()) return;
    title.text = shortened;
    title.pinned = true;
    title.userNamed = true;
    title.dirty = false;
    title.lastTitleAt = Title::distantFuture;
    if (cwd_ != home_) store_.setTileName(cwd_, std::move(shortened));
    changed();
    if (onPersist) onPersist();
}

void StatusMachine::applyAiTitle(std::string_view text) {
    if (title.pinned) return;
    title.text = shorten(platform::ui::HiddenCharacters::dropped(text), promptTitleLength);
    title.pinned = true;
    title.dirty = false;
    title.lastTitleAt = Title::distantFuture;
    changed();
    if (onPersist) onPersist();
}

void StatusMachine::unpinTitle() {
    title.pinned = false;
    title.userNamed = false;
    title.lastTitleAt = Title::distantPast;
    title.dirty = true;
    store_.setTileName(cwd_, std::nullopt);
    changed();
}

}  // namespace quiltdeck
