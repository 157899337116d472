#include "quiltdeck/shell/AppMenus.h"

#include <cstdlib>
#include <string>

#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Lang.h"

namespace quiltdeck {

using platform::ui::Menu;
using platform::ui::MenuItem;
using platform::ui::Shortcut;

namespace {

// The menus' Command key is Ctrl+Shift here; a shifted command key adds Alt. `key` is the key
// unshifted on a US layout; `alternate`, the character itself where another layout has it
// unshifted.
Shortcut command(std::string key, bool shifted = false, std::string alternate = "") {
    return Shortcut{std::move(key), std::move(alternate), true, true, shifted, false};
}

struct Entry {
    MenuCommand command;
    std::string_view titleKey;  // empty: a separator
    Shortcut shortcut;
};

MenuItem itemFor(const Entry& entry, MenuCommands& commands) {
    if (entry.titleKey.empty()) return MenuItem::separatorItem();
    MenuItem item;
    item.title = t(entry.titleKey);
    item.shortcut = entry.shortcut;
    item.enabled = commands.isEnabled(entry.command);
    const MenuCommand which = entry.command;
    item.action = [&commands, which](const MenuItem& sender) { commands.perform(which, sender.tag); };
    item.identifier = std::to_string(static_cast<int>(which));
    return item;
}

Menu menu(std::string title, std::initializer_list<Entry> entries, MenuCommands& commands) {
    Menu made{std::move(title), {}};
    for (const Entry& entry : entries) made.items.push_back(itemFor(entry, commands));
    return made;
}

constexpr Entry separator{MenuCommand::quit, "", {}};

}  // namespace

platform::ui::MenuBar buildMenuBar(MenuCommands& commands) {
    platform::ui::MenuBar bar;
    Menu session = menu(t("menu_session"),
                        {
                            {MenuCommand::newSession, "menu_new", command("n")},
                            {MenuCommand::newShell, "menu_new_shell", command("n", true)},
                            {MenuCommand::renameTile, "menu_rename", command("r")},
                            {MenuCommand::tileLook, "menu_tile_look", command("l")},
                            {MenuCommand::closeTile, "menu_close", command("w")},
                            // The ended tile's two buttons.
                            {MenuCommand::resumeTile, "menu_resume", {}},
                            {MenuCommand::restartTile, "menu_restart", {}},
                            {MenuCommand::showHistory, "menu_history", command("y")},
                            separator,
                            {MenuCommand::newTab, "new_tab", command("t")},
                            {MenuCommand::nextTab, "next_tab", command("]", true)},
                            {MenuCommand::prevTab, "prev_tab", command("[", true)},
                            separator,
                            {MenuCommand::toggleZoom, "menu_zoom", command("Return")},
                            {MenuCommand::zoomLarger, "menu_zoom_larger", command("=", false, "+")},
                            {MenuCommand::zoomSmaller, "menu_zoom_smaller", command("-")},
                            {MenuCommand::jumpToAttention, "menu_next_waiting", command("j")},
                            {MenuCommand::interrupt, "menu_interrupt", command("s")},
                            separator,
                            {MenuCommand::showBrowsers, "menu_browsers", command("b")},
                            {MenuCommand::showSettings, "menu_settings", command(",")},
                        },
                        commands);
    // The top bar's two settings, for the keyboard: a terminal keeps Tab from the bar.
    MenuItem aiTitles = itemFor({MenuCommand::toggleAiTitles, "menu_ai_titles", {}}, commands);
    aiTitles.checkable = true;
    aiTitles.checked = commands.isChecked(MenuCommand::toggleAiTitles);
    session.items.push_back(std::move(aiTitles));
    MenuItem language;
    language.title = t("language");
    for (const Lang lang : Lang::allCases()) {
        MenuItem choice = itemFor({MenuCommand::chooseLanguage, "language", {}}, commands);
        choice.title = std::string(lang.ownName());
        choice.tag = lang.index();
        choice.checked = lang == Lang::current();
        language.submenu.push_back(std::move(choice));
    }
    session.items.push_back(std::move(language));
    for (int i = 1; i <= 9; ++i) {
        MenuItem tile = itemFor({MenuCommand::focusTile, "menu_tile", command(std::to_string(i))}, commands);
        tile.title.append(1, ' ').append(std::to_string(i));
        tile.tag = i - 1;
        tile.hidden = true;
        session.items.push_back(std::move(tile));
    }
    session.items.push_back(MenuItem::separatorItem());
    session.items.push_back(itemFor({MenuCommand::quit, "menu_quit", command("q")}, commands));
    bar.menus.push_back(std::move(session));

    bar.menus.push_back(menu(t("menu_edit"),
                             {
                                 {MenuCommand::copy, "copy", command("c")},
                                 {MenuCommand::paste, "paste", command("v")},
                                 {MenuCommand::selectAll, "select_all", command("a")},
                             },
                             commands));

    bar.menus.push_back(menu(t("menu_help"),
                             {
                                 {MenuCommand::showGuide, "menu_readme", command("/", false, "?")},
                                 {MenuCommand::openMenuBar, "menu_open_menus", command("m")},
                                 {MenuCommand::showBarMessage, "menu_bar_message", command("i")},
                                 separator,
                                 {MenuCommand::openLicence, "menu_licence", {}},
                                 {MenuCommand::openThirdParty, "menu_third_party", {}},
                                 {MenuCommand::openPrivacy, "menu_privacy", {}},
                                 separator,
                                 {MenuCommand::showLog, "menu_show_log", {}},
                                 separator,
                                 {MenuCommand::about, "menu_about", {}},
                                 {MenuCommand::checkForUpdates, "menu_check_updates", {}},
                             },
                             commands));
    return bar;
}

std::optional<MenuCommand> commandOf(const platform::ui::MenuItem& item) {
    if (item.identifier.empty() || item.separator) return std::nullopt;
    const int value = std::atoi(item.identifier.c_str());
    if (value < 0 || value > static_cast<int>(MenuCommand::checkForUpdates)) return std::nullopt;
    return static_cast<MenuCommand>(value);
}

bool actsOnATile(MenuCommand command) {
    switch (command) {
        case MenuCommand::newShell:
        case MenuCommand::renameTile:
        case MenuCommand::tileLook:
        case MenuCommand::closeTile:
        case MenuCommand::resumeTile:
        case MenuCommand::restartTile:
        case MenuCommand::nextTab:
        case MenuCommand::prevTab:
        case MenuCommand::toggleZoom:
        case MenuCommand::zoomLarger:
        case MenuCommand::zoomSmaller:
        case MenuCommand::jumpToAttention:
        case MenuCommand::interrupt:
        case MenuCommand::focusTile:
        case MenuCommand::copy:
        case MenuCommand::paste:
        case MenuCommand::selectAll: return true;
        default: return false;
    }
}

}  // namespace quiltdeck
