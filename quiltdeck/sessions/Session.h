#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/runtime/MainLoop.h"
#include "quiltdeck/sessions/BrowserInfo.h"
#include "quiltdeck/sessions/ClaudeCapabilities.h"
#include "quiltdeck/sessions/LiveMetrics.h"
#include "quiltdeck/sessions/StatusMachine.h"
#include "quiltdeck/sessions/TappedTerminalView.h"
#include "quiltdeck/shell/SessionStatus.h"

namespace platform::runtime {
class NotificationCenter;
}

namespace quiltdeck {

class Store;

// One tile of the wall: one child (the assistant CLI, or a login shell for a
// shell tile) in one folder, shown in one terminal view that the session
// owns. It knows the tile's identity, title, status and tool label, and tells
// its owner of changes through callbacks; it keeps no reference to the owner.
// The tile wall makes sessions and reads them; the hook server's routes reach
// a session by its id. Main loop only; made with `open`, held by a shared_ptr
// so that the work it leaves on the loop can tell when it is gone.
class Session : public vantel::LocalProcessTerminalViewDelegate, public std::enable_shared_from_this<Session> {
public:
    static constexpr int columns = 120;
    static constexpr int rowCount = 38;
    static constexpr int scrollback = 8000;
    static constexpr double fontSize = 12.5;
    // The start limit, counted only while the program could look at the tile's output
    // (StatusMachine::countStart).
    static constexpr platform::runtime::Duration bootFallback = std::chrono::seconds(12);
    // A child that could not be started is reported as an exec that failed.
    static constexpr int32_t failedStartStatus = 127 << 8;
    // How long an exit waits for the end of the child's output before it takes
    // what the child wrote by then as all (a process it left behind may hold
    // the terminal open).
    static constexpr platform::runtime::Duration outputGrace = std::chrono::milliseconds(500);
    // However the output stalls, the exit is judged after this long on what is on the terminal.
    static constexpr platform::runtime::Duration outputWaitLimit = std::chrono::seconds(30);

    struct Arguments {
        std::string cwd;
        std::string name;
        bool isShell = false;
        std::optional<BrowserInfo> browser;
        uint16_t hookPort = 0;
        std::optional<std::string> resume;
        std::optional<std::string> title;
        bool userNamed = false;
        std::optional<std::string> command;
        bool continueLatest = false;
        bool carryOver = false;
        std::optional<std::string> id;
        // Typed by the user into the tile this one replaces, before its assistant started: the
        // child gets it first.
        std::string typedAhead;
    };

    // What a test replaces.
    struct Services {
        platform::runtime::MainLoop* loop = nullptr;                      // the program's loop
        Store* store = nullptr;                                           // Store::shared()
        platform::runtime::NotificationCenter* notifications = nullptr;  // the default centre
        std::optional<std::string> home;                                  // the user's home folder
        std::optional<std::string> shell;                                 // the login shell
        std::function<ClaudeCapabilities::Snapshot()> capabilities;      // ClaudeCapabilities::snapshot
        std::function<Date()> clock;                                      // Date::now
        // Starts nothing: the tile shows what the test feeds it (replays).
        bool startChild = true;
        // Starts the child on the view; the view's startProcess when none.
        using Spawn = std::function<void(TappedTerminalView& view, const std::string& shell,
                                         const std::vector<std::string>& args,
                                         const std::vector<std::string>& environment, const std::string& cwd)>;
        Spawn spawn;
    };

    // Builds the tile and starts its child.
    static std::shared_ptr<Session> open(Arguments arguments);
    static std::shared_ptr<Session> open(Arguments arguments, Services services);
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // --- Identity -----------------------------------------------------------------------------
    const std::string& id() const { return id_; }
    const std::string& name() const { return name_; }
    const std::string& cwd() const { return cwd_; }
    bool isShell() const { return isShell_; }
    const std::optional<BrowserInfo>& browser() const { return browser_; }
    const std::optional<std::string>& resumeId() const { return resumeId_; }
    const std::optional<std::string>& command() const { return command_; }
    bool continueLatest() const { return continueLatest_; }
    // Whether the assistant keeps a conversation to resume: the one of the tile's conversation id,
    // or (continuing the latest) any in its folder. A tile closed before its first prompt has an
    // id, but the assistant saved nothing under it.
    bool hasSavedConversation() const;
    // What the user typed into a tile started to resume a conversation, before its assistant
    // started (at most `typedAheadLimit` bytes): a tile whose conversation is found gone hands it
    // to the one that starts afresh in its place.
    const std::string& typedBeforeStart() const { return typedBeforeStart_; }
    // That record, handed over once: the record ends.
    std::string takeTypedBeforeStart() {
        recordingTypedInput_ = false;
        return std::exchange(typedBeforeStart_, std::string());
    }
    static constexpr size_t typedAheadLimit = 1 << 20;
    // "SIGKILL" for 9; the number when the signal has no name.
    static std::string signalName(int signal);
    // The wall the tile belongs to; empty: the main wall. Set by the tile wall.
    std::string wall;

    TappedTerminalView& view() { return *view_; }

    // --- What the tile shows ------------------------------------------------------------------
    SessionStatus status() const { return machine_->status(); }
    bool finished() const { return machine_->finished(); }
    // The user has seen the finished turn (the tile was zoomed); nothing is told.
    void clearFinished() { machine_->clearFinished(); }
    // The running tool's label; once the child has ended, how it ended, in the language of the
    // moment (a language switch reaches an ended tile too).
    std::string tool() const;
    const std::string& lastPrompt() const { return machine_->lastPrompt(); }
    const std::optional<std::string>& claudeSessionId() const { return machine_->claudeSessionId(); }
    bool booted() const { return machine_->booted(); }
    // Title, whether it changed since the last decision, when it was last decided,
    // pinned and user-named; the wall's automatic titles read and set it.
    StatusMachine::Title& title() { return machine_->title; }
    const std::vector<Store::Metric>& metrics() const { return metrics_->metrics(); }
    const std::optional<Store::Feed>& feed() const { return metrics_->feed(); }

    // Callbacks, all on the main loop.
    std::function<void()> onSessionId;
    std::function<void()> onPersist;
    std::function<void()> onChange;
    std::function<void()> onBoot;
    std::function<void()> onResumeFailed;

    // --- What comes in ------------------------------------------------------------------------
    void handleHook(std::string_view event, const nlohmann::json& body) { machine_->handleHook(event, body); }
    void rename(std::string_view title) { machine_->rename(title); }
    void apply(std::string_view aiTitle) { machine_->applyAiTitle(aiTitle); }
    void unpinTitle() { machine_->unpinTitle(); }
    void markBooted() { machine_->markBooted(); }
    void applyMetrics(const nlohmann::json& body) { metrics_->applyMetrics(body); }
    void applyFeed(const nlohmann::json& body) { metrics_->applyFeed(body); }

    // Ends the child (SIGTERM; no exit report follows) and every timer.
    void kill();
    // The rows shown now (from the scrolled position), trimmed, joined with "\n"; cells never
    // written (a tab's, a cursor move's) as blanks.
    std::string screenText();
    // What the child said last, when it ended with an error code: the last lines its screen
    // shows (at most two, trimmed, each whole however many rows it wrapped over), above the
    // choices and key hint of a question it ended at, for the card to show over the screen it
    // veils. Empty while it runs, when it ended well or by a signal, or said nothing.
    std::string lastWords();
    // The screen's rows as text, or its lines (rows a line wrapped over joined).
    std::vector<std::string> screenLines(bool joinWrapped);

    // --- LocalProcessTerminalViewDelegate -----------------------------------------------------
    void sizeChanged(vantel::LocalProcessTerminalView&, int, int) override {}
    void setTerminalTitle(vantel::LocalProcessTerminalView&, const std::string&) override {}
    void hostCurrentDirectoryUpdate(vantel::TerminalView&, const std::optional<std::string>&) override {}
    // The raw wait status; handled once the output that came before it is taken.
    void processTerminated(vantel::TerminalView& source, std::optional<int32_t> exitCode) override;

    // The command text and environment the child starts with.
    std::string commandText() const;
    std::vector<std::string> environment() const;
    // The first title: a shell command's name, the folder's stored name, "shell",
    // or the folder's last component (capitalised for the assistant).
    static std::string firstTitle(const Arguments& arguments, const Store& store);

private:
    Session(Arguments arguments, Services services);
    void build(const Arguments& arguments);
    void start();
    void awaitEndOfOutput(int32_t rawStatus, platform::runtime::TimePoint deadline, std::optional<uint64_t> written);
    void exited(int32_t rawStatus);
    // How the child ended, from its wait status: an exit code, or the signal that ended it (also
    // one a shell tells by the code 128 + its number, as a program that caught it exits).
    static std::string exitText(int32_t rawStatus);
    // The signal an exit code stands for, as a shell gives 128 + its number; none for others.
    static std::optional<int> signalOfCode(int code);
    std::string shortId() const { return id_.substr(0, 8); }

    Services services_;
    platform::runtime::MainLoop& loop_;
    Store& store_;
    const std::string id_;
    std::string name_;
    const std::string cwd_;
    const bool isShell_;
    std::optional<BrowserInfo> browser_;
    std::optional<std::string> resumeId_;
    std::optional<std::string> command_;
    bool continueLatest_ = false;
    uint16_t hookPort_ = 0;
    bool exitHandled_ = false;
    // The ended child's wait status.
    std::optional<int32_t> exitStatus_;
    // Output the terminal has taken that the status machine has not had yet, in pieces.
    size_t absorbsQueued_ = 0;
    std::string typedBeforeStart_;
    bool recordingTypedInput_ = false;

    std::unique_ptr<TappedTerminalView> view_;
    std::unique_ptr<StatusMachine> machine_;
    std::unique_ptr<LiveMetrics> metrics_;
};

}  // namespace quiltdeck
