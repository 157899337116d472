#pragma once

// Every sheet, panel and card of the program, built with a little data (two closed tiles, two
// browsers, two projects) over a main window, for the tests that look at all of them at once.

#include <cerrno>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/View.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"
#include "quiltdeck/panels/BarView.h"
#include "quiltdeck/panels/BrowsersWindow.h"
#include "quiltdeck/panels/GuideWindow.h"
#include "quiltdeck/panels/HistoryWindow.h"
#include "quiltdeck/panels/LookPopover.h"
#include "quiltdeck/panels/OnboardingView.h"
#include "quiltdeck/panels/PickerWindow.h"
#include "quiltdeck/panels/ReaderWindow.h"
#include "quiltdeck/panels/ScriptedBrowsers.h"
#include "quiltdeck/panels/ScriptedSetupProbe.h"
#include "quiltdeck/panels/SettingsWindow.h"
#include "quiltdeck/app/AppDelegateTestSupport.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/DurableFile.h"
#include "quiltdeck/shell/Theme.h"
#include "quiltdeck/shell/Tints.h"
#include "quiltdeck/wall/TileView.h"

namespace quiltdeck::testing {

class PanelGallery {
public:
    // One piece shown: its name, its content, and the window it shows in when it has one of its
    // own (a sheet, the reader); cards and the bar are shown in a window of the test's.
    struct Shown {
        std::string name;
        platform::ui::View* root = nullptr;
        platform::ui::Window* window = nullptr;
    };

    // `runPending` lets the browser service's answers arrive (the loop of the test).
    PanelGallery(platform::ui::Window& main, std::function<void()> runPending) : main_(main), runPending_(std::move(runPending)) {
        Store& store = Store::shared();
        clearHistory();
        Store::ClosedTile shell;
        shell.title = "shell";
        shell.name = "marmalade";
        shell.cwd = "/home/u/Projects/marmalade";
        shell.isShell = true;
        Store::ClosedTile claude;
        claude.title = "Fix the build";
        claude.name = "quince";
        claude.cwd = "/home/u/Projects/quince";
        claude.claudeSessionId = "s-1";
        claude.browserId = "b-1";
        claude.lastPrompt = "make the tests pass again and explain what was wrong";
        store.recordClosed(shell);
        store.recordClosed(claude);
        store.setLabel("Work", "0f3a9c2e-77aa-4d1b");
        store.setBrowserAccounts({{"9b1e44d0-1c2d-4e5f", "me@example.org"}});
    }
    ~PanelGallery() {
        endSheet();
        clearHistory();
        Store::shared().setLabel("", "0f3a9c2e-77aa-4d1b");
        Store::shared().setBrowserAccounts({});
        Store::shared().setOnboarded(false);
        Store::shared().setTileColor("/home/u/Projects/quince", std::nullopt);
    }
    PanelGallery(const PanelGallery&) = delete;
    PanelGallery& operator=(const PanelGallery&) = delete;

    static void clearHistory() {
        while (!Store::shared().closed().empty()) Store::shared().removeClosed(0);
    }
    void listBrowsers() {
        browsers_.list({{"0f3a9c2e-77aa-4d1b", "Chrome"}, {"9b1e44d0-1c2d-4e5f", "Chrome"}});
        runPending_();
    }
    void endSheet() {
        if (platform::ui::Window* sheet = main_.attachedSheet()) main_.endSheet(*sheet);
        runPending_();
    }

    // The sheets, each presented over the main window (the one before ends first).
    std::shared_ptr<SettingsWindow> settings() {
        auto settings = std::make_shared<SettingsWindow>();
        settings->present(main_);
        return settings;
    }
    std::shared_ptr<HistoryWindow> history() {
        auto history = std::make_shared<HistoryWindow>();
        history->home = "/home/u";
        history->present(main_);
        return history;
    }
    std::shared_ptr<PickerWindow> picker(bool shell) {
        listBrowsers();
        auto picker = std::make_shared<PickerWindow>(shell, *browsers_.browsers);
        picker->home = "/home/u";
        picker->listProjects = [] {
            return std::vector<Project>{{"/home/u/Projects/quince", "~/Projects/quince", true, "quince"},
                                        {"/home/u/Projects/marmalade", "~/Projects/marmalade", false, "marmalade"}};
        };
        picker->present(main_);
        return picker;
    }
    std::shared_ptr<BrowsersWindow> browsersPanel(bool listed) {
        if (listed) listBrowsers();
        auto panel = std::make_shared<BrowsersWindow>(4711, *browsers_.browsers);
        panel->present(main_);
        if (!listed) {
            browsers_.answer(std::nullopt);
            runPending_();
        }
        return panel;
    }
    std::shared_ptr<GuideWindow> guide() {
        auto guide = std::make_shared<GuideWindow>();
        guide->present(main_);
        return guide;
    }
    // With a web engine (a headless test says there is one).
    ReaderWindow& reader() {
        reader_.open("https://news.test/a", "A headline that says what the page is about", "Tech news", main_);
        return reader_;
    }
    std::shared_ptr<LookPopover> look() {
        auto look = LookPopover::make("/nonexistent/folder", [] {});
        look->view().setFrameSize(look->preferredContentSize());
        return look;
    }
    // The states of the setup the card shows differently.
    struct CardState {
        const char* name;
        Setup::Stage stage;
        Setup::Job job;
        bool awaitingCode;
    };
    static constexpr CardState cardStates[] = {
        {"needs install", Setup::Stage::needsInstall, Setup::Job::none, false},
        {"installing", Setup::Stage::needsInstall, Setup::Job::installing, false},
        {"needs sign-in", Setup::Stage::needsLogin, Setup::Job::none, false},
        {"waiting for the code", Setup::Stage::needsLogin, Setup::Job::loggingIn, true},
        {"ready", Setup::Stage::ready, Setup::Job::none, false},
    };
    std::unique_ptr<OnboardingView> card(double width, const CardState& state) {
        return card(width, state.stage, state.job, state.awaitingCode);
    }
    // The setup card in a state of the setup.
    std::unique_ptr<OnboardingView> card(double width, Setup::Stage stage, Setup::Job job, bool awaitingCode) {
        Store::shared().setOnboarded(false);
        auto card = std::make_unique<OnboardingView>(platform::gfx::Rect{0, 0, width, 760}, *setup_);
        Setup::Snapshot snapshot;
        snapshot.stage = stage;
        snapshot.job = job;
        snapshot.awaitingCode = awaitingCode;
        if (awaitingCode) snapshot.loginURL = "https://claude.ai/oauth/authorize?code=true";
        card->reload(snapshot);
        return card;
    }
    std::unique_ptr<BarView> bar(double width) {
        auto bar = std::make_unique<BarView>(platform::gfx::Rect{0, 0, width, BarView::height});
        bar->update(16, 9, 3, 2);
        return bar;
    }
    // The bar while saves of its store's file fail for a full disk; the store lives as long as
    // the gallery.
    std::unique_ptr<BarView> barSayingSavesFail(double width) {
        if (!failingStore_) {
            failingStore_ = std::make_unique<Store>(failingFolder_.path());
            failDurableWritesWith(ENOSPC);
            failingStore_->setAiTitles(false);
            failingStore_->flush();
            failDurableWritesWith(0);
            runPending_();
        }
        auto bar = this->bar(width);
        bar->setStateStore(*failingStore_);
        return bar;
    }
    const Store& failingStore() const { return *failingStore_; }
    // The bar of a store whose file loaded with a record left out.
    std::unique_ptr<BarView> barSayingRecordsLeftOut(double width) {
        return barOfStoreLoading(leftOutStore_, leftOutFolder_, R"({"closed":[null,{"title":"a"}]})", width);
    }
    const Store& leftOutStore() const { return *leftOutStore_; }
    // The bar of a run that started afresh: its file did not parse and was set aside.
    std::unique_ptr<BarView> barSayingStartedAfresh(double width) {
        return barOfStoreLoading(afreshStore_, afreshFolder_, R"({"openTiles":[{"title":"a")", width);
    }
    const Store& afreshStore() const { return *afreshStore_; }
    // The bar of a store that loaded `document` from `folder` (once).
    std::unique_ptr<BarView> barOfStoreLoading(std::unique_ptr<Store>& store, const TempFolder& folder,
                                               const char* document, double width) {
        if (!store) {
            writeFile(folder / "state.json", document);
            store = std::make_unique<Store>(folder.path());
        }
        auto bar = this->bar(width);
        bar->setStateStore(*store);
        return bar;
    }

    // A tile with what a session shows on its card: a tool, numbers and headlines, no browser.
    class CardTile : public FakeTile {
    public:
        using FakeTile::FakeTile;
        std::string name() const override { return request.name; }
        std::string tool() const override { return "Bash: make test"; }
        const std::vector<Store::Metric>& metrics() const override { return metricList; }
        const std::optional<Store::Feed>& feed() const override { return feedData; }
        std::optional<std::string> claudeSessionId() const override { return request.resume; }
        std::vector<Store::Metric> metricList{{"cost", "$1.84", {}, {}, {}}, {"tests", "212", {}, {}, {}}};
        std::optional<Store::Feed> feedData = Store::Feed{"News", "", 300, {{"Release notes are out", "https://example.com/a"},
                                                                           {"A plain headline", ""}}, {}};
    };

    // A tile's card as it shows while its title is edited, once its program has ended (with both
    // of its buttons), or idle after a finished turn (its sub line's "done" word), in the folder's
    // colour `tint` (an index of the theme's palette; none: the colour the folder's path picks).
    enum class TileCardState { renaming, ended, done };
    struct TileCard {
        std::unique_ptr<CardTile> tile;
        std::unique_ptr<TileView> view;
    };
    TileCard tileCard(double width, TileCardState state, double height = 400, std::optional<size_t> tint = std::nullopt) {
        TileRequest request;
        request.cwd = "/home/u/Projects/quince";
        request.name = "quince";
        request.title = "Fix the build";
        request.resume = "s-1";
        std::optional<std::string> colour;
        if (tint) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%06X", (Theme::isDark() ? Tints::dark : Tints::light)[*tint % 8]);
            colour = hex;
        }
        Store::shared().setTileColor(request.cwd, colour);
        TileCard card{std::make_unique<CardTile>(request), nullptr};
        card.view = std::make_unique<TileView>(*card.tile);
        card.view->setFrame({0, 0, width, height});
        if (state == TileCardState::renaming) {
            card.view->beginRename();
        } else if (state == TileCardState::done) {
            card.tile->finishTurn();
            card.view->refresh();
        } else {
            card.tile->setStatus(SessionStatus::exited);
            card.view->refresh();
        }
        return card;
    }

    ScriptedBrowsers& scriptedBrowsers() { return browsers_; }

private:
    platform::ui::Window& main_;
    std::function<void()> runPending_;
    ScriptedBrowsers browsers_;
    std::shared_ptr<ScriptedProbe::Script> script_ = std::make_shared<ScriptedProbe::Script>();
    std::shared_ptr<Setup> setup_ = Setup::make(std::make_unique<ScriptedProbe>(script_));
    ReaderWindow reader_;
    TempFolder failingFolder_;
    TempFolder leftOutFolder_;
    std::unique_ptr<Store> leftOutStore_;
    TempFolder afreshFolder_;
    std::unique_ptr<Store> afreshStore_;
    std::unique_ptr<Store> failingStore_;
};

}  // namespace quiltdeck::testing
