#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/Application.h"
#include "platform/ui/Events.h"
#include "platform/ui/Window.h"
#include "quiltdeck/panels/BrowsersWindow.h"
#include "quiltdeck/panels/GuideWindow.h"
#include "quiltdeck/panels/HistoryWindow.h"
#include "quiltdeck/panels/PickerWindow.h"
#include "quiltdeck/panels/SettingsWindow.h"
#include "quiltdeck/shell/AppMenus.h"
#include "quiltdeck/wall/GridController.h"

namespace quiltdeck {

// The application: the launch sequence that builds the main window around the
// wall, the key handling ahead of the tiles, the menu bar and its commands, the
// quit confirmation and the termination step, the snapshot mode, and the window
// title. Works on platform::ui alone: the program hands it toolkit windows, tests
// headless ones. Main thread.
class AppDelegate : public platform::ui::ApplicationDelegate, public MenuCommands {
public:
    using WindowMaker = std::function<std::unique_ptr<platform::ui::Window>(platform::gfx::Size size)>;

    static constexpr platform::gfx::Size windowSize{1720, 1080};
    // Small enough that the window with its title bar and menu bar fits a work area of 960 by
    // 600 points.
    static constexpr platform::gfx::Size minimumWindowSize{900, 480};
    // What the desktop's title bar and the window's menu bar take of the work area's height
    // beyond the size the window is asked for.
    static constexpr double windowChromeHeight = 64;
    // The window's size on a work area: the wanted size where it fits, else the work area less
    // the window's chrome.
    static platform::gfx::Size windowSizeFor(std::optional<platform::gfx::Rect> workArea);
    // How long the end of the program waits for the store's writer to save the last change: past
    // it a disk that hangs is given up (the file keeps the last whole document).
    static constexpr std::chrono::milliseconds stateSaveLimit{3000};
    // How long the quit question waits for its last try to save, so that it says only what will
    // hold: past it a disk that hangs is taken as it was.
    static constexpr std::chrono::milliseconds lastSaveTry{1000};
    // What a forced end waits for the store's writer and for the log's, after the main loop had half
    // a second to take the signal: the process is gone within a second.
    static constexpr std::chrono::milliseconds forcedEndStateWait{250}, forcedEndLogWait{150};
    // How long keys typed at launch may wait for the tile that takes the keyboard: the CLI's
    // capability probe (at most its own limit) and the restore after it.
    static constexpr std::chrono::seconds launchKeyHold{60};
    // For a termination signal the main loop did not take in time (on the signal's own thread):
    // the store's writer does not need the main thread, so when the last change reaches the disk
    // the run ends cleanly, with nothing for the next launch to report. The log gets a moment, no
    // more: what holds the main thread (a hung disk) may hold its writer.
    static void endWithoutTheMainThread(int signal);
    // The wall the "tabs" snapshot step moves the second tile to.
    static constexpr std::string_view snapshotWall = "Snapshot";

    AppDelegate(WindowMaker makeWindow, GridController::TileFactory makeTile, HookServer::Options hookOptions = {});
    ~AppDelegate() override;

    // --- Application ------------------------------------------------------------------------
    void applicationDidFinishLaunching() override;
    TerminateReply applicationShouldTerminate() override;
    void applicationWillTerminate() override;
    void applicationShouldPresent() override;

    // The close button: asks to quit, never closes the window alone.
    bool windowShouldClose();
    bool quitConfirmed() const { return quitConfirmed_; }

    // "Quiltdeck", or "Quiltdeck (n waiting for you)".
    void updateWindowTitle();
    // While the store leaves its file alone: the bar says so for the run, and an alert at once.
    void showStateNotice(const Store& store);
    // The folders of OPEN that exist, as tiles.
    void openStartupSessions();
    // Runs ahead of the tiles for every key press; true when it took the press.
    bool handleKeyDown(const platform::ui::KeyEvent& event);
    // The menu bar anew, in the interface language of the moment.
    void buildMenu();
    // The menu bar anew on the next turn of the loop when what its items for the active tile
    // can do has changed (the tile ended, another became active).
    void syncMenu();
    // New Session and New Shell from the picker: the chosen folder as a tile, with the chosen
    // browser. None while a picker is open or a sheet is over the window.
    void openPicker(bool shell);
    // A tile's change of folder: the picked folder replaces the tile by one there, in its place.
    // None while a picker is open or a sheet is over the window.
    void openFolderPicker(const std::string& tileId);
    // Each a new panel over the main window, kept as the current one of its kind.
    void showHistory();
    void showSettings();
    void showBrowsers();
    PickerWindow* picker() const { return picker_.get(); }
    HistoryWindow* historyPanel() const { return historyPanel_.get(); }
    SettingsWindow* settingsPanel() const { return settingsPanel_.get(); }
    BrowsersWindow* browsersPanel() const { return browsersPanel_.get(); }
    // A new guide over the main window, kept as the current one.
    // About: the program's icon, its texts in the interface language.
    void showAbout();
    void showGuide();
    GuideWindow* guide() const { return guide_.get(); }
    // An alert with all of what the top bar's line says now (the keyboard's way to its tool tip,
    // and to a line the bar has no room for), or that it says nothing.
    void showBarMessage();

    // --- Menu commands -----------------------------------------------------------------------
    void perform(MenuCommand command, int tag) override;
    bool isEnabled(MenuCommand command) const override;
    bool isChecked(MenuCommand command) const override;

    platform::ui::Window* window() const { return window_.get(); }
    GridController& grid() { return *grid_; }
    // The assistant CLI's flags are known and the tiles were opened or restored.
    bool tilesOpened() const { return tilesOpened_; }

    // The window's background for the palette in force.
    static platform::gfx::Rgba windowBackground(bool dark);
    // The key a press stands for in the menus' shortcuts: its unshifted character, or "Return".
    static std::string shortcutKey(const platform::ui::KeyEvent& event);
    // What the quit question says becomes of the running tiles: the Claude tiles' conversations are
    // resumed at the next launch, the shells open again in their folders. While the state is not
    // saved (`lost`: what a quit loses and why), that instead, and that what runs in them is ended.
    static std::string quitInformation(size_t claude, size_t shells,
                                       const std::optional<std::string>& lost = std::nullopt);

private:
    void makeWindow();
    void applyTheme();
    void afterCapabilities();
    // Asks whether to quit; false, asking nothing, when nothing runs and nothing would be lost
    // that was not said at launch.
    bool confirmQuit(bool fromWindow);
    // The open tiles saved and, while saves fail, one more try: what a quit now would lose, if
    // anything (StateNotice::lostAtQuit).
    std::optional<std::string> lastSave();
    void startSnapshotMode(const std::string& path);
    void captureSnapshot(const std::string& path);
    void showUncleanRunAlert();
    // The log, as openOrSayWhere opens a file; the alert names it by its path.
    void showLog();
    // A document of the resources, by its full name; the alert names it by its Help item's title.
    void openBundled(std::string_view name, std::string_view titleKey);
    // The file with the desktop's handler; where none opens it (one that needs a terminal where
    // there is none), its folder; where that does not open either, an alert that says where it is.
    void openOrSayWhere(const std::filesystem::path& file, std::string_view action, std::string title, std::string where);
    // A picker over the main window whose choice goes to `choose`; none while one is open or a sheet
    // or a modal is up.
    void presentPicker(bool shell, PickerWindow::ChooseHandler choose);
    // Runs `work` after `seconds` on the main loop while this delegate lives.
    void after(double seconds, std::function<void()> work);

    // What the active tile's items could do when the menu bar was built: continue, start fresh.
    std::pair<bool, bool> menuTileState() const;

    WindowMaker makeWindow_;
    std::pair<bool, bool> builtTileState_{false, false};
    bool menuRebuildPosted_ = false;
    std::unique_ptr<GridController> grid_;
    std::unique_ptr<platform::ui::Window> window_;
    std::shared_ptr<GuideWindow> guide_;
    std::shared_ptr<PickerWindow> picker_;
    std::shared_ptr<HistoryWindow> historyPanel_;
    std::shared_ptr<SettingsWindow> settingsPanel_;
    std::shared_ptr<BrowsersWindow> browsersPanel_;
    bool quitConfirmed_ = false;
    bool launched_ = false;
    bool tilesOpened_ = false;
    std::vector<platform::runtime::NotificationCenter::Subscription> observers_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace quiltdeck
