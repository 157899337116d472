#pragma once

#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime/VirtualMainLoop.h"
#include "platform/runtime/WorkerPool.h"
#include "platform/ui/Application.h"
#include "platform/ui/Modals.h"
#include "platform/ui/headless/HeadlessModals.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/app/AppDelegate.h"
#include "quiltdeck/sessions/Uuid.h"
#include "quiltdeck/shell/Shorten.h"

namespace quiltdeck::testing {

// A tile with no child: what the grid and the shell do to it is recorded.
class FakeTile : public WallTile {
public:
    class TileView : public platform::ui::View {
    public:
        bool acceptsFirstResponder() const override { return true; }
        void keyDown(const platform::ui::KeyEvent& event) override {
            typed += event.characters;
            keys.push_back(event.key);
        }
        // What reached it as keys.
        std::string typed;
        std::vector<platform::ui::Key> keys;
    };

    explicit FakeTile(const TileRequest& request)
        : request(request), id_(request.id.value_or(newUuid())) {
        titles->text = request.title.value_or(request.name);
    }

    const std::string& id() const override { return id_; }
    SessionStatus status() const override { return status_; }
    std::string title() const override { return titles->text; }
    platform::ui::View& view() override { return view_; }
    const std::string& typed() const { return view_.typed; }
    const std::vector<platform::ui::Key>& keysTyped() const { return view_.keys; }
    const std::string& wall() const override { return wall_; }
    void setWall(std::string wall) override { wall_ = std::move(wall); }
    void send(std::string_view text) override { sent += text; }
    void paste() override { ++pastes; }
    void copySelection() override { ++copies; }
    void selectAll() override { ++selectAlls; }
    void kill() override { ++kills; }
    Store::ClosedTile record() const override {
        Store::ClosedTile record;
        record.title = titles->text;
        record.cwd = request.cwd;
        record.isShell = request.isShell;
        record.claudeSessionId = request.resume;
        record.userNamed = request.userNamed;
        return record;
    }
    void handleHook(const std::string& event, const nlohmann::json&) override { hooks.push_back(event); }
    void rename(const std::string& title) override { titles->text = title; }
    void applyMetrics(const nlohmann::json&) override {}
    void applyFeed(const nlohmann::json&) override {}

    // Changes the status as the session would, telling the grid.
    void setStatus(SessionStatus status) {
        status_ = status;
        if (onChange) onChange();
    }
    bool finished() const override { return finished_; }
    Foreground foreground() const override { return foregroundNow; }
    // What the automatic titles see; `titles` outlives the tile while a namer holds it.
    StatusMachine::Title* titleState() override { return request.isShell ? nullptr : titles.get(); }
    std::string lastPrompt() const override { return prompt; }
    bool hasResumeId() const override { return request.resume.has_value(); }
    std::string takeTypedBeforeStart() override { return std::exchange(typedAhead, std::string()); }
    std::string screenText() override { return screen; }
    Namer aiTitleNamer() override {
        return [titles = titles](std::string_view name) {
            if (titles->pinned) return;
            titles->text = shorten(name, 68);
            titles->pinned = true;
            titles->dirty = false;
            titles->lastTitleAt = StatusMachine::Title::distantFuture;
        };
    }
    void clearFinished() override { finished_ = false; }
    // A turn ended: idle and finished, as the session tells it.
    void finishTurn() {
        status_ = SessionStatus::idle;
        finished_ = true;
        if (onChange) onChange();
    }

    TileRequest request;
    std::string sent;
    int pastes = 0, copies = 0, selectAlls = 0, kills = 0;
    std::vector<std::string> hooks;
    std::shared_ptr<StatusMachine::Title> titles = std::make_shared<StatusMachine::Title>();
    std::string prompt;
    std::string screen;
    std::string typedAhead;
    // What runs in its terminal's foreground (from a shell tile's prompt).
    Foreground foregroundNow = Foreground::itsOwn;

private:
    std::string id_;
    std::string wall_;
    SessionStatus status_ = SessionStatus::busy;
    bool finished_ = false;
    TileView view_;
};

// An application delegate on headless windows and fake tiles, on the virtual clock.
class HeadlessApp {
public:
    HeadlessApp()
        : delegate(std::make_unique<AppDelegate>(
              [](platform::gfx::Size size) { return std::make_unique<platform::ui::headless::HeadlessWindow>(size, 1); },
              [this](const TileRequest& request, uint16_t) {
                  auto tile = std::make_unique<FakeTile>(request);
                  tiles.push_back(tile.get());
                  if (onTileMade) onTileMade(*tile);
                  return tile;
              },
              HookServer::Options{0, 0, &loop, {}})) {
        platform::ui::Modals::reset();
        platform::ui::Application::shared().reset();
        platform::ui::Application::shared().setDelegate(delegate.get());
    }
    ~HeadlessApp() {
        // The capability probe's refresh may still run: it hands its result to this loop.
        platform::runtime::WorkerPool::shared().waitIdle(std::chrono::seconds(60));
        platform::ui::Application::shared().reset();
        platform::ui::Modals::reset();
        delegate.reset();
        loop.runPending();
    }

    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    std::vector<FakeTile*> tiles;  // every tile made, closed ones too while they live
    std::function<void(FakeTile&)> onTileMade;  // before the grid has it
    std::unique_ptr<AppDelegate> delegate;

    platform::ui::headless::HeadlessModals& modals() { return *platform::ui::headless::HeadlessModals::current(); }
    platform::ui::Window& window() { return *delegate->window(); }
    GridController& grid() { return delegate->grid(); }
    platform::ui::Application& application() { return platform::ui::Application::shared(); }
};

}  // namespace quiltdeck::testing
