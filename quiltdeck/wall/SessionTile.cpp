#include "quiltdeck/wall/SessionTile.h"

#include "platform/ui/Pasteboard.h"
#include "quiltdeck/sessions/Drop.h"
#include "quiltdeck/sessions/Store.h"

namespace quiltdeck {

std::unique_ptr<WallTile> SessionTile::make(const TileRequest& request, uint16_t hookPort) {
    return std::make_unique<SessionTile>(Session::open(arguments(request, hookPort)));
}

Session::Arguments SessionTile::arguments(const TileRequest& request, uint16_t hookPort) {
    Session::Arguments arguments;
    arguments.cwd = request.cwd;
    arguments.name = request.name;
    arguments.isShell = request.isShell;
    arguments.browser = request.isShell ? std::nullopt : request.browser;
    arguments.hookPort = hookPort;
    arguments.resume = request.resume;
    arguments.title = request.title;
    arguments.userNamed = request.userNamed;
    arguments.command = request.command;
    arguments.continueLatest = request.continueLatest;
    arguments.carryOver = request.carryOver;
    arguments.id = request.id;
    arguments.typedAhead = request.typedAhead;
    return arguments;
}

SessionTile::SessionTile(std::shared_ptr<Session> session) : session_(std::move(session)) {
    // The grid sets its callbacks on the tile after this; the session calls through them then.
    session_->onChange = [this] {
        if (onChange) onChange();
    };
    session_->onPersist = [this] {
        if (onPersist) onPersist();
    };
    session_->onSessionId = [this] {
        if (onPersist) onPersist();
    };
    session_->onResumeFailed = [this] {
        if (onResumeFailed) onResumeFailed();
    };
    session_->onBoot = [this] {
        if (onBoot) onBoot();
    };
}

SessionTile::~SessionTile() {
    session_->onChange = nullptr;
    session_->onPersist = nullptr;
    session_->onSessionId = nullptr;
    session_->onResumeFailed = nullptr;
    session_->onBoot = nullptr;
}

bool SessionTile::pasteDrop(const platform::ui::Pasteboard& pasteboard) { return Drop::paste(pasteboard, *session_); }

void SessionTile::send(std::string_view text) { session_->view().send(text); }

WallTile::Foreground SessionTile::foreground() const {
    switch (session_->view().process().foreground()) {
        case vantel::LocalProcess::Foreground::lineReader: return Foreground::lineCommand;
        case vantel::LocalProcess::Foreground::keyReader: return Foreground::keyProgram;
        default: return Foreground::itsOwn;
    }
}

void SessionTile::paste() {
    Drop::pasteClipboard(platform::ui::Pasteboard::general(), session_, Store::shared().dir() / "drops");
}

void SessionTile::copySelection() {
    if (auto text = session_->view().getSelection(); text && !text->empty())
        platform::ui::Pasteboard::general().setString(std::move(*text));
}

void SessionTile::selectAll() { session_->view().selectAll(); }

Store::ClosedTile SessionTile::record() const {
    Store::ClosedTile record;
    record.title = session_->title().text;
    record.name = session_->name();
    record.cwd = session_->cwd();
    record.isShell = session_->isShell();
    if (session_->browser()) record.browserId = session_->browser()->deviceId;
    record.claudeSessionId = session_->claudeSessionId();
    if (!session_->lastPrompt().empty()) record.lastPrompt = session_->lastPrompt();
    record.userNamed = session_->title().userNamed;
    return record;
}

}  // namespace quiltdeck
