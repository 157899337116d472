#pragma once

#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ui/View.h"

namespace platform::ui {
class Pasteboard;
}
#include "quiltdeck/sessions/BrowserInfo.h"
#include "quiltdeck/sessions/StatusMachine.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/SessionStatus.h"
#include "vantel/view/TerminalView.h"

namespace quiltdeck {

// What opening a tile asks for; the empty values mean: no browser, no conversation
// to resume, no title, not named by a person, no command, the wall on show, a new id.
struct TileRequest {
    std::string cwd;
    std::string name;
    bool isShell = false;
    std::optional<BrowserInfo> browser;
    std::optional<std::string> resume;
    std::optional<std::string> title;
    bool userNamed = false;
    std::optional<std::string> command;
    std::optional<std::string> wall;
    // Where in the wall order the tile goes; none (or past the end): last.
    std::optional<long> at;
    bool continueLatest = false;
    bool carryOver = false;
    std::optional<std::string> id;
    // Typed by the user into the tile this one replaces, before its assistant started.
    std::string typedAhead;
    // Started by the program itself, not by the user (a conversation found gone): it
    // never changes the wall shown, and on another wall it takes neither focus nor zoom.
    bool automatic = false;
};

// One tile of the wall as the grid sees it: a session, its child and its terminal
// view. Main thread.
class WallTile {
public:
    virtual ~WallTile() = default;

    virtual const std::string& id() const = 0;
    virtual SessionStatus status() const = 0;
    virtual std::string title() const = 0;
    // The tile's terminal view: the grid places it, the keyboard goes to it.
    virtual platform::ui::View& view() = 0;
    virtual const std::string& wall() const = 0;
    virtual void setWall(std::string wall) = 0;

    // What the tile's card shows; the defaults suit a tile without a session.
    // A finished turn not yet seen by the user; the wall clears it when the tile is zoomed.
    virtual bool finished() const { return false; }
    virtual void clearFinished() {}
    virtual std::string name() const { return record().name; }
    virtual std::string cwd() const { return record().cwd; }
    virtual bool isShell() const { return record().isShell; }
    // The running tool's label, or how the child ended.
    virtual std::string tool() const { return {}; }
    virtual size_t metricCount() const { return metrics().size(); }
    virtual bool hasFeed() const { return feed().has_value(); }
    virtual const std::vector<Store::Metric>& metrics() const;
    virtual const std::optional<Store::Feed>& feed() const;
    virtual std::optional<BrowserInfo> browser() const { return std::nullopt; }
    virtual std::optional<std::string> claudeSessionId() const { return record().claudeSessionId; }
    virtual bool continueLatest() const { return false; }
    // A conversation to continue is kept: "Continue where it left off" is offered.
    virtual bool canResume() const { return claudeSessionId() || continueLatest(); }
    // What the user typed into it before its assistant started, while resuming: handed over once.
    virtual std::string takeTypedBeforeStart() { return {}; }
    virtual bool pinnedTitle() const { return false; }
    // Lets automatic titles apply again.
    virtual void unpinTitle() {}
    // The assistant has started (a shell counts as started).
    virtual bool booted() const { return true; }
    // Who reads the keys of the tile's terminal: the program the tile started (a shell at its
    // prompt), a command run from it that reads whole lines or none (a build, sleep), or a program
    // run from it that reads its keys one by one (an editor, a pager, a REPL, a nested shell).
    enum class Foreground { itsOwn, lineCommand, keyProgram };
    virtual Foreground foreground() const { return Foreground::itsOwn; }
    // Types what a drop offers into the tile as one paste; false when nothing was typed.
    virtual bool pasteDrop(const platform::ui::Pasteboard&) { return false; }
    // The terminal the tile's scaler fits; none for a tile without one.
    virtual vantel::TerminalView* terminal() { return nullptr; }

    // What the automatic titles read and stamp; none for a tile that never takes one.
    virtual StatusMachine::Title* titleState() { return nullptr; }
    // The user's last prompt; empty when there is none.
    virtual std::string lastPrompt() const { return {}; }
    // Started to resume a conversation.
    virtual bool hasResumeId() const { return false; }
    // The rows shown now, trimmed, joined with line feeds.
    virtual std::string screenText() { return {}; }
    // What the child said last when it ended with an error (its last lines); empty otherwise.
    virtual std::string lastWords() { return {}; }
    // Gives the tile an automatic title (nothing when its title is pinned). The call keeps
    // what it names alive: an answer that comes after the wall is gone still names the tile.
    using Namer = std::function<void(std::string_view name)>;
    virtual Namer aiTitleNamer() { return {}; }

    // Typed into the tile as the user's own input.
    virtual void send(std::string_view text) = 0;
    // Pastes what the general pasteboard holds (files, an image, text).
    virtual void paste() = 0;
    virtual void copySelection() = 0;
    virtual void selectAll() = 0;
    // Ends the child: its timers stop, it gets SIGTERM, no exit report follows. Also
    // for a tile whose child has already exited.
    virtual void kill() = 0;
    // What the store keeps of it (the open tiles, the history).
    virtual Store::ClosedTile record() const = 0;

    // What the hook server hands on.
    virtual void handleHook(const std::string& event, const nlohmann::json& body) = 0;
    virtual void rename(const std::string& title) = 0;
    virtual void applyMetrics(const nlohmann::json& body) = 0;
    virtual void applyFeed(const nlohmann::json& body) = 0;

    // Set by the grid.
    std::function<void()> onChange;       // anything the tile shows changed
    std::function<void()> onPersist;      // the open tiles should be saved
    std::function<void()> onResumeFailed; // the conversation to resume is gone
    // Set by the tile's card.
    std::function<void()> onBoot;         // the assistant has started
};

}  // namespace quiltdeck
