#include "quiltdeck/app/AppDelegate.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "platform/gfx/PngEncoder.h"
#include "platform/runtime/MainLoop.h"
#include "platform/ui/Modals.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Workspace.h"
#include "quiltdeck/panels/IconWriter.h"
#include "quiltdeck/panels/Setup.h"
#include "quiltdeck/panels/StateNotice.h"
#include "quiltdeck/panels/Sheets.h"
#include "quiltdeck/sessions/Browsers.h"
#include "quiltdeck/sessions/ClaudeCapabilities.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/AppVersion.h"
#include "quiltdeck/shell/DurableFile.h"
#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/LaunchOptions.h"
#include "quiltdeck/shell/Log.h"
#include "quiltdeck/shell/LoginItem.h"
#include "quiltdeck/shell/Resources.h"
#include "quiltdeck/shell/Theme.h"
#include "quiltdeck/shell/Updater.h"

namespace quiltdeck {

namespace fs = std::filesystem;
using platform::runtime::MainLoop;
using platform::runtime::NotificationCenter;
using platform::ui::Alert;
using platform::ui::Application;
using platform::ui::KeyEvent;
using platform::ui::Modals;
namespace Modifier = platform::ui::Modifier;

namespace {

std::string folderName(const std::string& path) {
    const fs::path p(path);
    const std::string name = p.filename().string();
    return name.empty() ? p.parent_path().filename().string() : name;
}

}  // namespace

AppDelegate::AppDelegate(WindowMaker makeWindow, GridController::TileFactory makeTile,
                         HookServer::Options hookOptions)
    : makeWindow_(std::move(makeWindow)),
      grid_(std::make_unique<GridController>(std::move(makeTile), std::move(hookOptions))) {}

AppDelegate::~AppDelegate() {
    observers_.clear();
    // A sheet ends before the window it is shown over, and lets its owner go.
    if (window_ && window_->attachedSheet()) window_->endSheet(*window_->attachedSheet(), platform::ui::Window::cancelled);
    guide_.reset();
    picker_.reset();
    historyPanel_.reset();
    settingsPanel_.reset();
    browsersPanel_.reset();
    if (window_) {
        window_->keyDownMonitor = nullptr;
        window_->onCloseRequest = nullptr;
        window_->setContentView(nullptr);
    }
    // The tiles and the hook server go before the window they are shown in.
    grid_.reset();
    window_.reset();
}

platform::gfx::Rgba AppDelegate::windowBackground(bool dark) {
    return dark ? platform::gfx::Rgba::fromBytes(11, 12, 13) : platform::gfx::Rgba::fromBytes(233, 232, 230);
}

void AppDelegate::after(double seconds, std::function<void()> work) {
    std::weak_ptr<int> alive = alive_;
    MainLoop::main().postAfter(std::chrono::duration_cast<platform::runtime::Duration>(std::chrono::duration<double>(seconds)),
                               [alive, work = std::move(work)] {
                                   if (!alive.expired()) work();
                               });
}

// --- Launch ---------------------------------------------------------------------------------------

void AppDelegate::applicationDidFinishLaunching() {
    if (launched_) return;
    launched_ = true;
    const bool unclean = Log::beginRun();
    LoginItem::apply();
    // Nothing here is kept from reading a folder (no access alert), and an installed program is
    // never in a place it could update itself from: both checks of the launch are left out.
    Fonts::registerBundled();
    const auto mode = themeModeFrom(Store::shared().themeMode()).value_or(ThemeMode::system);
    Theme::setMode(mode);
    Store::shared().setThemeMode(std::string(rawValue(mode)));
    Theme::resolve();
    Updater::shared().start();
    makeWindow();

    std::weak_ptr<int> alive = alive_;
    grid_->onSessionsChanged = [this, alive] {
        if (alive.expired()) return;
        updateWindowTitle();
        syncMenu();
    };
    grid_->onActiveChanged = [this, alive] {
        if (!alive.expired()) syncMenu();
    };
    grid_->onNewRequested = [this, alive] {
        if (!alive.expired()) openPicker(false);
    };
    grid_->onGuideRequested = [this, alive] {
        if (!alive.expired()) showGuide();
    };
    grid_->onHistoryRequested = [this, alive] {
        if (!alive.expired()) showHistory();
    };
    grid_->onSettingsRequested = [this, alive] {
        if (!alive.expired()) showSettings();
    };
    grid_->onBrowsersRequested = [this, alive] {
        if (!alive.expired()) showBrowsers();
    };
    grid_->onChangeFolderRequested = [this, alive](const std::string& id) {
        if (!alive.expired()) openFolderPicker(id);
    };
    // The menu's AI titles item shows the setting, whichever way it changed.
    grid_->onAiTitlesChanged = [this, alive] {
        if (!alive.expired()) buildMenu();
    };
    window_->keyDownMonitor = [this, alive](const KeyEvent& event) {
        return !alive.expired() && handleKeyDown(event);
    };
    auto& center = NotificationCenter::defaultCenter();
    observers_.push_back(center.subscribe(std::string(Theme::didChange), [this, alive](const auto&) {
        if (!alive.expired()) applyTheme();
    }));
    buildMenu();
    observers_.push_back(center.subscribe(std::string(Lang::didChange), [this, alive](const auto&) {
        if (alive.expired()) return;
        buildMenu();
        updateWindowTitle();
        NotificationCenter::defaultCenter().post(std::string(Theme::didChange));
    }));
    window_->present();
    grid_->viewDidLoad();

    // What is typed before the tiles open (the CLI's capability probe may take seconds) waits for
    // the tile that gets the keyboard, whole and in order, however long the probe takes. With none
    // on its way, nothing waits: a shell opened meanwhile needs nothing of the probe.
    if (grid_->hasTilesToRestore() || env("OPEN")) window_->holdKeysFor(nullptr, launchKeyHold);
    ClaudeCapabilities::probe([this, alive] {
        if (!alive.expired()) afterCapabilities();
    });

    const auto snapshot = env("SNAPSHOT");
    if (snapshot) startSnapshotMode(*snapshot);
    if (unclean && !snapshot) after(1.5, [this] { showUncleanRunAlert(); });
    // The bar tells it in any case (it reads the process's store).
    if (!snapshot) showStateNotice(Store::shared());
    after(20.0, [] { Browsers::shared().refresh(false); });
}

platform::gfx::Size AppDelegate::windowSizeFor(std::optional<platform::gfx::Rect> area) {
    platform::gfx::Size size = windowSize;
    if (area) {
        size.width = std::min(size.width, area->width);
        size.height = std::min(size.height, area->height - windowChromeHeight);
    }
    return size;
}

void AppDelegate::makeWindow() {
    const platform::gfx::Size size = windowSizeFor(platform::ui::Screen::mainWorkArea());
    window_ = makeWindow_(size);
    window_->setTitle("Quiltdeck");
    // Never more than fits the work area: a larger minimum would push the window past its edge.
    window_->setMinimumSize({std::min(minimumWindowSize.width, size.width), std::min(minimumWindowSize.height, size.height)});
    window_->setAllowsFullScreen(true);
    // The tile typed into shows its echo in the next frame, whatever the others draw.
    window_->setDrawsTypingFirst(true);
    applyTheme();
    window_->setContentView(&grid_->root());
    std::weak_ptr<int> alive = alive_;
    window_->onCloseRequest = [this, alive] {
        if (!alive.expired()) windowShouldClose();
    };
}

void AppDelegate::applyTheme() {
    if (!window_) return;
    const auto background = windowBackground(Theme::isDark());
    window_->setBackgroundColor(background);
}

void AppDelegate::afterCapabilities() {
    Setup::shared().start();
    if (env("OPEN")) openStartupSessions();
    else grid_->restoreOpenTiles();
    tilesOpened_ = true;
}

void AppDelegate::openStartupSessions() {
    const auto value = env("OPEN");
    if (!value) return;
    for (const fs::path& folder : startupFolders(*value, homeFolder())) {
        std::error_code error;
        if (!fs::exists(folder, error)) continue;
        TileRequest request;
        request.cwd = folder.string();
        request.name = folderName(request.cwd);
        grid_->open(std::move(request));
    }
    grid_->launchTilesOpened();
}

void AppDelegate::showUncleanRunAlert() {
    Alert alert;
    alert.messageText = t("crash_title");
    alert.informativeText = t("crash_info");
    alert.buttons = {t("ok"), t("menu_show_log")};
    std::weak_ptr<int> alive = alive_;
    alert.present(window_.get(), [this, alive](int button) {
        if (button == 1 && !alive.expired()) showLog();
    });
}

void AppDelegate::showLog() {
    const fs::path log = Log::url();
    openOrSayWhere(log, "show log", t("log_not_opened"), t("log_not_opened_info", {log.string()}));
}

void AppDelegate::openOrSayWhere(const fs::path& file, std::string_view action, std::string title, std::string where) {
    if (platform::ui::Workspace::openFile(file.string())) return;
    const std::string name = file.filename().string();
    if (platform::ui::Workspace::openFile(file.parent_path().string())) {
        Log::write(std::string(action) + ": no application opened " + name + ", its folder was opened");
        return;
    }
    Log::write(std::string(action) + ": neither " + name + " nor its folder could be opened");
    Alert alert;
    alert.messageText = std::move(title);
    alert.informativeText = std::move(where);
    alert.buttons = {t("ok")};
    alert.present(window_.get(), [](int) {});
}

void AppDelegate::showBarMessage() {
    Alert alert;
    if (const auto& said = grid_->bar().said()) {
        alert.messageText = said->shown;
        if (said->whole != said->shown) alert.informativeText = said->whole;
    } else {
        alert.messageText = t("bar_message_none");
    }
    alert.buttons = {t("ok")};
    alert.present(window_.get(), [](int) {});
}

void AppDelegate::showStateNotice(const Store& store) {
    grid_->bar().setStateStore(store);
    if (const auto alert = StateNotice::alert(store)) alert->present(window_.get(), [](int) {});
}

void AppDelegate::updateWindowTitle() {
    if (!window_) return;
    const size_t waiting = grid_->waitingCount();
    const auto count = static_cast<long long>(waiting);
    window_->setTitle(waiting > 0 ? "Quiltdeck (" + std::to_string(waiting) + " " + tCount("waiting_for_you", count) + ")"
                                  : std::string("Quiltdeck"));
}

void AppDelegate::applicationShouldPresent() {
    if (window_) window_->present();
}

// --- Snapshot mode --------------------------------------------------------------------------------

void AppDelegate::startSnapshotMode(const std::string& path) {
    const std::string action = env("SNAPSHOT_ACTION").value_or("");
    if (action == "zoom") {
        after(3.0, [this] {
            const auto tiles = grid_->sessions();
            if (tiles.empty()) return;
            Store::shared().setZoomScale(1.4);
            grid_->zoom(tiles.front()->id());
        });
    } else if (action == "login") {
        after(2.0, [] { Setup::shared().login(false); });
    } else if (action == "tabs") {
        after(3.0, [this] {
            const auto tiles = grid_->sessions();
            if (tiles.size() < 2) return;
            grid_->move(tiles[1]->id(), std::string(snapshotWall));
        });
    }
    after(snapshotDelay(env("SNAPSHOT_DELAY")), [this, path] { captureSnapshot(path); });
}

void AppDelegate::captureSnapshot(const std::string& path) {
    if (!window_ || !window_->contentView()) {
        Application::shared().exit(2);
        return;
    }
    window_->display();
    const auto png = platform::gfx::encodePng(window_->surface().image());
    if (!png) {
        Application::shared().exit(2);
        return;
    }
    int code = 0;
    const std::string_view bytes(reinterpret_cast<const char*>(png->data()), png->size());
    if (!writeFileDurably(path, bytes)) {
        std::cerr << "quiltdeck: cannot write " << path << ": " << std::strerror(errno) << "\n";
        code = 1;
    }
    grid_->killAll();
    Store::shared().flush(stateSaveLimit);
    Log::endRun();
    Application::shared().exit(code);
}

// --- Keys -----------------------------------------------------------------------------------------

std::string AppDelegate::shortcutKey(const KeyEvent& event) {
    if (event.key == platform::ui::Key::returnKey || event.key == platform::ui::Key::keypadEnter) return "Return";
    std::string key = !event.unshiftedCharacters.empty() ? event.unshiftedCharacters : event.charactersIgnoringModifiers;
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
}

bool AppDelegate::handleKeyDown(const KeyEvent& event) {
    if (event.type != KeyEvent::Type::down) return false;
    if (event.key == platform::ui::Key::escape) {
        // The application's own sheets end on Escape, whichever window has the keyboard.
        if (platform::ui::Window* sheet = window_ ? window_->attachedSheet() : nullptr;
            sheet && sheet->identifier() == Sheets::identifier) {
            window_->endSheet(*sheet, platform::ui::Window::cancelled);
            return true;
        }
        if (Modals::isShowing()) {
            Modals::cancelShowing();
            return true;
        }
        if (grid_->escapePressed()) return true;
    }
    const bool control = event.modifiers & Modifier::control, shift = event.modifiers & Modifier::shift,
               alt = event.modifiers & Modifier::alt, super = event.modifiers & Modifier::super;
    const std::string key = shortcutKey(event);
    // While keys wait for a tile on its way (the restored tiles at launch, one just opened), what
    // acts on a tile waits with them and acts in its turn, on the tile it names; what opens a
    // window of its own or acts on no tile acts at once.
    const bool tileOnItsWay = window_ && window_->holdsKeys();
    // Stop Claude: Ctrl+Shift+S, also with no tile to send it to.
    if (key == "s" && control && shift && !alt && !super) {
        if (tileOnItsWay) return false;
        if (WallTile* tile = grid_->activeSession()) tile->send("\x1b");
        return true;
    }
    const auto bar = window_ ? window_->menuBar() : nullptr;
    if (!bar) return false;
    const platform::ui::MenuItem* item = bar->itemForShortcut(key, control, shift, alt, super);
    if (!item) return false;
    if (const auto command = commandOf(*item); tileOnItsWay && command && actsOnATile(*command)) return false;
    platform::ui::MenuBar::perform(*item);
    // Taken even when disabled: Ctrl+Shift+C never reaches the tile as an interrupt.
    return true;
}

void AppDelegate::buildMenu() {
    builtTileState_ = menuTileState();
    if (window_) window_->setMenuBar(std::make_shared<platform::ui::MenuBar>(buildMenuBar(*this)));
}

std::pair<bool, bool> AppDelegate::menuTileState() const {
    return {grid_->canRestartActive(true), grid_->canRestartActive(false)};
}

void AppDelegate::syncMenu() {
    if (menuRebuildPosted_ || menuTileState() == builtTileState_) return;
    // Not while a menu item's action may still be running from the bar being replaced.
    menuRebuildPosted_ = true;
    std::weak_ptr<int> alive = alive_;
    MainLoop::main().post([this, alive] {
        if (alive.expired()) return;
        menuRebuildPosted_ = false;
        if (menuTileState() != builtTileState_) buildMenu();
    });
}

// --- Menu commands --------------------------------------------------------------------------------

bool AppDelegate::isEnabled(MenuCommand command) const {
    switch (command) {
        case MenuCommand::checkForUpdates: return Updater::shared().canCheckForUpdates();
        case MenuCommand::resumeTile: return grid_->canRestartActive(true);
        case MenuCommand::restartTile: return grid_->canRestartActive(false);
        default: return true;
    }
}

bool AppDelegate::isChecked(MenuCommand command) const {
    return command == MenuCommand::toggleAiTitles && Store::shared().aiTitles();
}

void AppDelegate::perform(MenuCommand command, int tag) {
    WallTile* active = grid_->activeSession();
    switch (command) {
        case MenuCommand::newSession: openPicker(false); break;
        case MenuCommand::newShell: {
            TileRequest request;
            request.cwd = homeFolder().string();
            // The word itself, not its translation: the card says it in whatever language is current
            // (a name stored in one language would stay in it).
            request.name = "shell";
            request.isShell = true;
            grid_->open(std::move(request));
            break;
        }
        case MenuCommand::closeTile:
            if (Modals::isShowing()) {
                Modals::cancelShowing();
            } else if (platform::ui::Window* sheet = window_ ? window_->attachedSheet() : nullptr) {
                window_->endSheet(*sheet, platform::ui::Window::cancelled);
            } else if (const auto id = grid_->activeId()) {
                grid_->requestClose(*id);
            }
            break;
        case MenuCommand::interrupt:
            if (active) active->send("\x1b");
            break;
        case MenuCommand::resumeTile:
        case MenuCommand::restartTile:
            if (const auto id = grid_->activeId(); id && grid_->canRestartActive(command == MenuCommand::resumeTile)) {
                // The menu bar is built anew once the tile is replaced: after its item is done.
                grid_->restartSoon(*id, command == MenuCommand::resumeTile);
            }
            break;
        case MenuCommand::renameTile:
            if (const auto id = grid_->activeId()) {
                if (TileView* card = grid_->tile(*id)) card->beginRename();
            }
            break;
        case MenuCommand::tileLook:
            if (const auto id = grid_->activeId()) {
                if (TileView* card = grid_->tile(*id)) card->showLook();
            }
            break;
        case MenuCommand::openMenuBar:
            if (window_) window_->openMenuBar();
            break;
        case MenuCommand::focusTile: grid_->focus(tag); break;
        case MenuCommand::newTab: grid_->newWall(); break;
        case MenuCommand::nextTab: grid_->nextWall(1); break;
        case MenuCommand::prevTab: grid_->nextWall(-1); break;
        case MenuCommand::toggleZoom:
            if (grid_->zoomId()) {
                grid_->unzoom();
            } else if (const auto id = grid_->activeId()) {
                grid_->zoom(*id);
            }
            break;
        // Only while a tile is zoomed; the store keeps the scale within its bounds.
        case MenuCommand::zoomLarger: grid_->changeZoomScale(0.1); break;
        case MenuCommand::zoomSmaller: grid_->changeZoomScale(-0.1); break;
        case MenuCommand::jumpToAttention: grid_->jumpToAttention(); break;
        case MenuCommand::quit: Application::shared().terminate(); break;
        case MenuCommand::copy:
            if (active) active->copySelection();
            break;
        case MenuCommand::paste:
            if (active) active->paste();
            break;
        case MenuCommand::selectAll:
            if (active) active->selectAll();
            break;
        case MenuCommand::openLicence: openBundled("LICENSE.txt", "menu_licence"); break;
        case MenuCommand::openThirdParty: openBundled("THIRD-PARTY-LICENSES.txt", "menu_third_party"); break;
        case MenuCommand::openPrivacy: openBundled("PRIVACY.md", "menu_privacy"); break;
        case MenuCommand::showLog: showLog(); break;
        case MenuCommand::about: showAbout(); break;
        case MenuCommand::checkForUpdates: Updater::shared().checkForUpdates(); break;
        case MenuCommand::showGuide: showGuide(); break;
        case MenuCommand::showBarMessage: showBarMessage(); break;
        case MenuCommand::showHistory: showHistory(); break;
        case MenuCommand::showSettings: showSettings(); break;
        case MenuCommand::showBrowsers: showBrowsers(); break;
        case MenuCommand::toggleAiTitles: grid_->setAiTitles(!Store::shared().aiTitles()); break;
        case MenuCommand::chooseLanguage:
            if (tag >= 0 && tag < Lang::count) grid_->bar().chooseLanguage(Lang::allCases()[static_cast<size_t>(tag)]);
            break;
        default: break;
    }
}

namespace {

// The icon About shows, in pixels: the size the toolkit gives an About panel's logo.
constexpr int aboutIconPixels = 128;

}  // namespace

void AppDelegate::showAbout() {
    platform::ui::AboutInfo about;
    about.programName = "Quiltdeck";
    about.version = AppVersion::shortVersion();
    about.comments = t("about_comment");
    about.copyright = t("about_copyright");
    about.iconName = "org.quiltdeck.Quiltdeck";
    about.icon = IconWriter::image(aboutIconPixels);
    about.windowTitle = t("menu_about");
    about.closeTitle = t("close");
    Modals::showAbout(about, window_.get());
}

void AppDelegate::showGuide() {
    if (!window_) return;
    guide_ = GuideWindow::make();
    guide_->present(*window_);
}

void AppDelegate::openBundled(std::string_view name, std::string_view titleKey) {
    const auto file = Resources::url(name);
    if (!file) {
        Log::write("help: " + std::string(name) + " is not among the resources");
        return;
    }
    openOrSayWhere(*file, "help", t("document_not_opened", {t(titleKey)}), t("document_not_opened_info", {file->string()}));
}

void AppDelegate::openPicker(bool shell) {
    std::weak_ptr<int> alive = alive_;
    presentPicker(shell, [this, alive](const Project& project, bool shell, const std::optional<BrowserInfo>& browser) {
        if (alive.expired()) return;
        TileRequest request;
        request.cwd = project.dir;
        request.name = folderName(project.dir);
        request.isShell = shell;
        request.browser = browser;
        grid_->open(std::move(request));
    });
}

void AppDelegate::openFolderPicker(const std::string& tileId) {
    std::weak_ptr<int> alive = alive_;
    // The tile keeps its kind and its browser: the picker's shell choice and browser are not used.
    presentPicker(false, [this, alive, tileId](const Project& project, bool, const std::optional<BrowserInfo>&) {
        if (!alive.expired()) grid_->moveFolder(tileId, project.dir);
    });
}

void AppDelegate::presentPicker(bool shell, PickerWindow::ChooseHandler choose) {
    if (!window_ || picker_ || window_->attachedSheet() || Modals::isShowing()) return;
    Browsers::shared().refresh(false);
    auto picker = std::make_shared<PickerWindow>(shell);
    std::weak_ptr<int> alive = alive_;
    picker->onClose = [this, alive] {
        if (!alive.expired()) picker_.reset();
    };
    picker->onChoose = std::move(choose);
    picker_ = picker;
    picker->present(*window_);
}

void AppDelegate::showHistory() {
    if (!window_) return;
    historyPanel_ = std::make_shared<HistoryWindow>();
    std::weak_ptr<int> alive = alive_;
    historyPanel_->onReopen = [this, alive](const Store::ClosedTile& record) {
        if (!alive.expired()) grid_->reopen(record, true);
    };
    historyPanel_->present(*window_);
}

void AppDelegate::showSettings() {
    if (!window_) return;
    settingsPanel_ = std::make_shared<SettingsWindow>();
    settingsPanel_->present(*window_);
}

void AppDelegate::showBrowsers() {
    if (!window_) return;
    browsersPanel_ = std::make_shared<BrowsersWindow>(grid_->hooks().port());
    browsersPanel_->present(*window_);
}

// --- Quit -----------------------------------------------------------------------------------------

platform::ui::ApplicationDelegate::TerminateReply AppDelegate::applicationShouldTerminate() {
    if (quitConfirmed_ || Updater::shared().installing()) return TerminateReply::now;
    return confirmQuit(false) ? TerminateReply::later : TerminateReply::now;
}

bool AppDelegate::windowShouldClose() {
    if (!confirmQuit(true)) {
        quitConfirmed_ = true;
        Application::shared().terminate();
    }
    return false;
}

std::string AppDelegate::quitInformation(size_t claude, size_t shells, const std::optional<std::string>& lost) {
    if (lost) return claude + shells == 0 ? *lost : *lost + "\n\n" + t("quit_info_ends");
    const auto count = [](size_t n) { return static_cast<long long>(n); };
    if (shells == 0) return tCount("quit_info", count(claude));
    if (claude == 0) return tCount("quit_info_shells", count(shells));
    return tCount("quit_info_claude", count(claude)) + "\n\n" + tCount("quit_info_shells", count(shells));
}

std::optional<std::string> AppDelegate::lastSave() {
    Store& store = Store::shared();
    grid_->saveOpenTiles();
    if (!store.readOnly() && store.saveError() != 0) {
        store.save();
        store.flush(lastSaveTry);
    }
    return StateNotice::lostAtQuit(store);
}

bool AppDelegate::confirmQuit(bool fromWindow) {
    const size_t live = grid_->liveCount();
    // Nothing runs, and nothing is lost that was not said at launch (a read-only store).
    const std::optional<std::string> lost = lastSave();
    if (live < 1 && (!lost || Store::shared().readOnly())) return false;
    Alert alert;
    alert.messageText = t("quit_q");
    const size_t shells = grid_->liveShellCount();
    alert.informativeText = quitInformation(live - shells, shells, lost);
    alert.style = Alert::Style::warning;
    alert.buttons = {t("quit"), t("cancel")};
    std::weak_ptr<int> alive = alive_;
    alert.present(window_.get(), [this, alive, fromWindow](int button) {
        if (!fromWindow) {
            Application::shared().replyToApplicationShouldTerminate(button == 0);
            return;
        }
        if (button != 0 || alive.expired()) return;
        quitConfirmed_ = true;
        Application::shared().terminate();
    });
    return true;
}

void AppDelegate::endWithoutTheMainThread(int signal) {
    const Store& store = Store::shared();
    const bool saved = store.readOnly() || store.flush(forcedEndStateWait);
    Log::write("quit: signal " + std::to_string(signal) + ": the program did not end in time, so the process ends now" +
               (saved ? " with the state saved" : ", the state not saved"));
    if (saved) Log::endRun(forcedEndLogWait);
    else Log::flush(forcedEndLogWait);
}

void AppDelegate::applicationWillTerminate() {
    // A check that ends while the program quits would log after "quit".
    Setup::shared().stop();
    grid_->recordExitedTiles();
    grid_->saveOpenTiles();
    grid_->killAll();
    // The store's writer takes the last change to the disk while the children end.
    const Store& store = Store::shared();
    if (!store.readOnly() && !store.flush(stateSaveLimit)) {
        Log::write(store.saveError() != 0 ? "quit: the last changes were not saved: " + writeFailureText(store.saveError())
                                          : std::string("quit: the last changes were not saved in time"));
    }
    Log::endRun();
}

}  // namespace quiltdeck
