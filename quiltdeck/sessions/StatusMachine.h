#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/runtime/MainLoop.h"
#include "quiltdeck/sessions/Date.h"
#include "quiltdeck/shell/SessionStatus.h"

namespace platform::runtime {
class NotificationCenter;
}

namespace quiltdeck {

class Store;

// What an assistant tile is doing, read from two sources: the hook events its
// assistant posts (exact, and first in rank), and its output. A chunk that
// shows the interrupt hint makes the tile busy at once; once the output has
// been quiet for a moment, a settle decides between waiting (a question in
// the output since the last settle), busy (the hint on the screen as it
// stands) and idle. A question holds until a hook moves on or the user
// types; then it holds while the screen still shows it, and the decision
// comes at most `redecideDelay` after the key however busy the output. A
// turn that a hook opened is not ended by a screen that merely lacks the
// hint (a small terminal has no room for it): Stop, an interrupt the output
// shows, a question or the exit end it, or a screen unchanged for
// `staleTurn`. A hook that starts work drops a settle armed before it, and
// whatever ends a turn clears the tool; a Notification names no tool, so the
// one asked about stays. The same pass answers the folder-trust question
// when the user allowed it for the home folder. The assistant is ready once
// its start screen shows (banner or prompt sign) or a hook of work comes.
// Until then the tile is starting: busy, whatever a quiet screen
// shows (its first bytes may be no more than cursor moves, or what the login
// shell printed), unless the screen asks the user something. SessionStart
// comes seconds before the start screen and is held until it shows. The
// owner gives up waiting after a while (`countStart`, counted afresh from
// SessionStart), and the screen decides from then on. That while counts only time in which the program
// could look at the tile's output: not the time its loop came late by, nor
// time in which output waited to be read, and the screen decides only once
// none waits. Titles (first prompt, renames, automatic titles) are decided
// here too. Shell tiles keep the status they were made with until they end.
// Main loop only.
class StatusMachine {
public:
    static constexpr platform::runtime::Duration settleDelay = std::chrono::milliseconds(350);
    // After the user's key at a question, the latest a settle comes, even
    // while the output goes on (a spinner redrawn all the time).
    static constexpr platform::runtime::Duration redecideDelay = std::chrono::milliseconds(600);
    static constexpr platform::runtime::Duration trustReturnDelay = std::chrono::milliseconds(250);
    // The start limit is counted in steps of this much: a step whose check finds no output waiting
    // counts this much, however late the check came (what it came late by is not counted).
    static constexpr platform::runtime::Duration startStep = std::chrono::milliseconds(250);
    // A working assistant redraws its spinner several times a second: a turn
    // whose screen stood still this long is left to the screen's verdict.
    static constexpr platform::runtime::Duration staleTurn = std::chrono::seconds(30);
    static constexpr size_t frameLimit = 20000;
    static constexpr size_t tailLimit = 3000;
    static constexpr size_t bootLimit = 6000;
    // This much visible text without a start-screen marker also counts as booted.
    static constexpr size_t bootTextLength = 1501;
    static constexpr std::string_view accessDeniedNotification = "bl.accessDenied";
    // Packed: a narrow terminal gets the words placed with cursor moves.
    static constexpr std::u32string_view noConversationPacked = U"Noconversationfound";

    struct Services {
        platform::runtime::MainLoop* loop = nullptr;                      // the program's loop when none
        Store* store = nullptr;                                           // Store::shared() when none
        platform::runtime::NotificationCenter* notifications = nullptr;  // the default centre when none
        std::optional<std::string> home;                                  // homeFolder() when none
        // How the log names the tile in the line that says why its status changed.
        std::string logName = "tile";
    };

    // What the machine reads of its tile and writes to it.
    struct Tile {
        // The rows of the active screen as they stand (not where the user has
        // scrolled to), trimmed on the right and joined with "\n".
        std::function<std::u32string()> screenText;
        // The cursor's row on that screen; the last row when none is told.
        std::function<std::optional<size_t>()> cursorRow;
        // When the user last typed, pasted or clicked into the tile; none before that.
        std::function<std::optional<platform::runtime::TimePoint>()> lastInputAt;
        // Text typed into the tile as if by the user.
        std::function<void(std::string_view)> send;
        // Whether output of the child waits that the machine has not had yet: read and not
        // delivered, or still on the terminal. Nothing waits when none is told.
        std::function<bool()> outputWaiting;
    };

    // The title and what decides the next one.
    struct Title {
        std::string text;
        // The screen changed since the last title decision.
        bool dirty = false;
        // When the tile was last sent for an automatic title, on the main loop's clock.
        // The distant future stops automatic titles; the distant past allows one at once.
        // Compare them, never subtract them.
        static constexpr platform::runtime::TimePoint distantPast = platform::runtime::TimePoint::min();
        static constexpr platform::runtime::TimePoint distantFuture = platform::runtime::TimePoint::max();
        platform::runtime::TimePoint lastTitleAt = distantPast;
        // Fixed: neither the first prompt nor an automatic title changes it.
        bool pinned = false;
        // Chosen by a person (or by the assistant on the person's request).
        bool userNamed = false;
    };

    StatusMachine(std::string cwd, bool isShell, Tile tile);
    StatusMachine(std::string cwd, bool isShell, Tile tile, Services services);
    ~StatusMachine();
    StatusMachine(const StatusMachine&) = delete;
    StatusMachine& operator=(const StatusMachine&) = delete;

    std::function<void()> onChange;
    std::function<void()> onSessionId;
    std::function<void()> onPersist;
    std::function<void()> onBoot;

    // --- What comes in ------------------------------------------------------------------
    // One chunk of output, after the terminal has taken it.
    void absorb(std::span<const uint8_t> bytes);
    // A hook event with its JSON body (an object; anything else counts as empty).
    void handleHook(std::string_view event, const nlohmann::json& body);
    // The child ended: the status becomes `exited` with `text` as its label, for good.
    void exited(std::string text);
    // The tile hands over to another (its resumed conversation is gone) or is
    // killed: no more settles nor start counting, and nothing else changes.
    void stop();
    // The assistant is up: the launch veil goes. Said in no log line (the exit's own says it).
    void markBooted();
    // The assistant showed no start screen in the time it had: up all the same, said in the
    // log, and the screen as it stands decides the status.
    void startTimedOut(platform::runtime::Duration waited);
    // Gives the assistant `limit` to come up, counted only while the program could look at its
    // output (see above), then times the start out once no output waits; output that keeps
    // waiting holds that back for another `limit` at most.
    void countStart(platform::runtime::Duration limit);
    // The start time counted so far.
    platform::runtime::Duration startCounted() const { return startCounted_; }

    // --- Titles ---------------------------------------------------------------------------
    Title title;
    // A person's title (or the assistant's on their request): pinned, and kept
    // for the folder unless it is the home folder. A blank text changes nothing.
    void rename(std::string_view text);
    // An automatic title; ignored while the title is pinned.
    void applyAiTitle(std::string_view text);
    // Gives the title back to automatic naming and forgets the folder's name.
    void unpinTitle();

    // --- What the tile shows ------------------------------------------------------------------
    SessionStatus status() const { return status_; }
    // The assistant stopped after working on a prompt; cleared when busy again,
    // and by the wall once the user has looked at the tile.
    bool finished() const { return finished_; }
    void clearFinished() { finished_ = false; }
    const std::string& tool() const { return tool_; }
    const std::string& lastPrompt() const { return lastPrompt_; }
    const std::optional<std::string>& claudeSessionId() const { return claudeSessionId_; }
    void setClaudeSessionId(std::optional<std::string> id) { claudeSessionId_ = std::move(id); }
    bool booted() const { return booted_; }
    bool trustAnswered() const { return trustAnswered_; }
    // The terminal shows, or showed before the assistant was up, "No
    // conversation found" (a resume of a conversation that is gone). Reads
    // the screen: for the exit, not for every chunk.
    bool showsNoConversation() const;
    bool settlePending() const;

    // The label of a tool call for the tile: "Bash: <command>", "Read: <file>" ...
    static std::string toolLabel(std::string_view name, const nlohmann::json& input);

private:
    // `why` goes to the log when the status changes: the hook, the rule or the screen's line.
    void set(SessionStatus status, std::optional<std::string> tool, std::string_view why);
    void settle();
    void noteBoot(std::u32string_view text);
    // Up, with the reason in the log.
    void boot(std::string_view why);
    // Up by its start screen: a start hook held till then is taken.
    void screenUp(std::string_view why);
    void answerTrust();
    void armStartStep();
    void startStepDone();
    void scheduleSettle();
    void armSettle(platform::runtime::Duration delay);
    void openTurn();
    enum class TurnEnd { noTurn, held, interrupted, stale };
    TurnEnd turnEnd(std::u32string_view screen, std::optional<size_t>& interrupt);
    std::optional<platform::runtime::TimePoint> lastInput() const;
    bool inputSince(platform::runtime::TimePoint moment) const;
    std::u32string screen() const;
    std::optional<size_t> cursorRow() const;
    void rearmSettle();
    void noteQuestion(std::u32string_view screen);
    void changed() {
        if (onChange) onChange();
    }

    const std::string cwd_;
    const bool isShell_;
    Tile tile_;
    platform::runtime::MainLoop& loop_;
    Store& store_;
    platform::runtime::NotificationCenter& notifications_;
    const std::string home_;
    const std::string logName_;

    SessionStatus status_;
    bool finished_ = false;
    std::string tool_;
    std::string lastPrompt_;
    std::optional<std::string> claudeSessionId_;
    bool booted_ = false;
    // SessionStart came before the start screen: the tile comes up, idle, with the screen.
    bool startHookHeld_ = false;
    bool trustAnswered_ = false;
    bool sawNoConversation_ = false;
    // The last hook that set a status was Stop or SessionStart: the assistant
    // said it is done, and only a chunk with the hint or a hook makes it busy.
    bool quietByHook_ = false;
    // A hook opened the turn in progress (UserPromptSubmit, PreToolUse,
    // PostToolUse), and when the turn last showed life (a hook of work, or a
    // screen that changed from one settle to the next).
    bool turnByHook_ = false;
    platform::runtime::TimePoint workSeenAt_{};
    size_t screenHash_ = 0;
    // When the tile last turned busy (by a hook or by the hint).
    platform::runtime::TimePoint busySince_{};
    // When `waiting` was last decided; input after it lets a settle decide again.
    platform::runtime::TimePoint waitingSince_{};
    // The screen row of the question the tile waits on (its last row that asks).
    std::optional<size_t> questionRow_;
    platform::runtime::TimePoint lastSettleAt_{};
    std::optional<platform::runtime::TimePoint> trustInputAt_;

    std::u32string bootBuffer_;
    std::u32string frame_;
    // The start of a character the last piece of output ended inside of.
    std::string cutCharacter_;
    std::shared_ptr<platform::runtime::WorkItem> settleTimer_;
    std::shared_ptr<platform::runtime::WorkItem> trustReturn_;
    std::shared_ptr<platform::runtime::WorkItem> startStep_;
    platform::runtime::Duration startLimit_{};
    platform::runtime::Duration startCounted_{};
    // The steps in a row not counted because output waited.
    platform::runtime::Duration startHeldBack_{};
};

}  // namespace quiltdeck
