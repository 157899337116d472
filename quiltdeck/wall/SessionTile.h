#pragma once

#include <memory>

#include "quiltdeck/sessions/Session.h"
#include "quiltdeck/wall/WallTile.h"

namespace quiltdeck {

// A wall tile that is a Session: the grid's calls reach the session, the
// session's callbacks reach the grid.
class SessionTile : public WallTile {
public:
    // The grid's tile factory: a session started in the request's folder.
    static std::unique_ptr<WallTile> make(const TileRequest& request, uint16_t hookPort);
    // What that session is started with.
    static Session::Arguments arguments(const TileRequest& request, uint16_t hookPort);

    explicit SessionTile(std::shared_ptr<Session> session);
    ~SessionTile() override;

    Session& session() { return *session_; }

    const std::string& id() const override { return session_->id(); }
    SessionStatus status() const override { return session_->status(); }
    std::string title() const override { return session_->title().text; }
    platform::ui::View& view() override { return session_->view(); }
    const std::string& wall() const override { return session_->wall; }
    void setWall(std::string wall) override { session_->wall = std::move(wall); }
    bool finished() const override { return session_->finished(); }
    void clearFinished() override { session_->clearFinished(); }
    std::string name() const override { return session_->name(); }
    std::string cwd() const override { return session_->cwd(); }
    bool isShell() const override { return session_->isShell(); }
    std::string tool() const override { return session_->tool(); }
    size_t metricCount() const override { return session_->metrics().size(); }
    bool hasFeed() const override { return session_->feed().has_value(); }
    const std::vector<Store::Metric>& metrics() const override { return session_->metrics(); }
    const std::optional<Store::Feed>& feed() const override { return session_->feed(); }
    std::optional<BrowserInfo> browser() const override { return session_->browser(); }
    std::optional<std::string> claudeSessionId() const override { return session_->claudeSessionId(); }
    bool continueLatest() const override { return session_->continueLatest(); }
    bool canResume() const override { return session_->hasSavedConversation(); }
    std::string takeTypedBeforeStart() override { return session_->takeTypedBeforeStart(); }
    bool pinnedTitle() const override { return session_->title().pinned; }
    void unpinTitle() override { session_->unpinTitle(); }
    bool booted() const override { return session_->isShell() || session_->booted(); }
    Foreground foreground() const override;
    bool pasteDrop(const platform::ui::Pasteboard& pasteboard) override;
    vantel::TerminalView* terminal() override { return &session_->view(); }
    StatusMachine::Title* titleState() override { return &session_->title(); }
    std::string lastPrompt() const override { return session_->lastPrompt(); }
    bool hasResumeId() const override { return session_->resumeId().has_value(); }
    std::string screenText() override { return session_->screenText(); }
    std::string lastWords() override { return session_->lastWords(); }
    Namer aiTitleNamer() override {
        return [session = session_](std::string_view name) { session->apply(name); };
    }
    void send(std::string_view text) override;
    void paste() override;
    void copySelection() override;
    void selectAll() override;
    void kill() override { session_->kill(); }
    Store::ClosedTile record() const override;
    void handleHook(const std::string& event, const nlohmann::json& body) override { session_->handleHook(event, body); }
    void rename(const std::string& title) override { session_->rename(title); }
    void applyMetrics(const nlohmann::json& body) override { session_->applyMetrics(body); }
    void applyFeed(const nlohmann::json& body) override { session_->applyFeed(body); }

private:
    std::shared_ptr<Session> session_;
};

}  // namespace quiltdeck
