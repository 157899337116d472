#pragma once

#include <optional>
#include <string_view>

#include "platform/ui/Menu.h"

namespace quiltdeck {

// Every command of the menu bar.
enum class MenuCommand {
    newSession, newShell, renameTile, tileLook, closeTile, resumeTile, restartTile, showHistory,
    newTab, nextTab, prevTab,
    toggleZoom, zoomLarger, zoomSmaller, jumpToAttention, interrupt,
    showBrowsers, showSettings, toggleAiTitles, chooseLanguage, focusTile, openMenuBar, quit,
    copy, paste, selectAll,
    showGuide, showBarMessage, openLicence, openThirdParty, openPrivacy, showLog, about, checkForUpdates,
};

// Who carries the commands out (the application delegate).
class MenuCommands {
public:
    virtual ~MenuCommands() = default;
    // `tag` is the tile index (0 to 8) for focusTile, the language's index for chooseLanguage,
    // else 0.
    virtual void perform(MenuCommand command, int tag) = 0;
    virtual bool isEnabled(MenuCommand command) const = 0;
    // Whether a setting's item shows its check mark (AI titles on).
    virtual bool isChecked(MenuCommand) const { return false; }
};

// The menu bar in the interface language of the moment: Session (with the AI titles
// switch and the interface language beside Settings, ending with Quit), Edit and
// Help (ending with About and Check for Updates), titles looked up when built. Each
// shortcut is Ctrl+Shift and the key, with Alt added where the command's key is a
// shifted one (New Shell, Next and Previous Tab), so every one is apart from what
// the programs in the tiles get. Tile 1 to 9 are hidden items: shortcuts only. Help's
// Open Menu Bar, Ctrl+Shift+M, opens the menu bar itself: the way to it while a
// terminal keeps F10; its Top Bar Message, Ctrl+Shift+I, says the bar's line whole.
// `commands` must outlive the menu bar.
platform::ui::MenuBar buildMenuBar(MenuCommands& commands);
// The command an item of buildMenuBar's performs; none for a separator or another's item.
std::optional<MenuCommand> commandOf(const platform::ui::MenuItem& item);
// The command acts on a tile, or on which tile has the keyboard: the tile typed into (rename, its
// look, close, stop, the Edit items), one it names or picks (Tile 1 to 9, zoom, the waiting one),
// or the wall shown (its walls, a new shell that takes the keyboard). The others open a window of
// their own (New Session, Settings, History, Help) or act on no tile (Quit, the menu bar).
bool actsOnATile(MenuCommand command);

}  // namespace quiltdeck
