#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/Button.h"
#include "platform/ui/FlippedView.h"
#include "platform/ui/RichText.h"
#include "platform/ui/TableView.h"
#include "platform/ui/Window.h"
#include "quiltdeck/sessions/Date.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/Lang.h"

namespace quiltdeck {

// The history sheet: the closed tiles, newest first, each with its title, name, folder, when it
// was closed and what it can resume; Reopen takes the chosen record out of the history and hands
// it on (the sheet ends), Remove from history forgets the record shown in the row. It shows a
// copy of the store's list, taken when it is built and after each removal. Plain push buttons, no
// pills, each as wide as its title; the sheet takes the colours of a new theme while it shows.
// Main thread.
class HistoryWindow : public std::enable_shared_from_this<HistoryWindow> {
public:
    static constexpr platform::gfx::Size size{640, 420};
    static constexpr double rowHeight = 58;
    static constexpr int promptLength = 110;
    static constexpr size_t promptBytesRead = 4096;

    HistoryWindow();
    ~HistoryWindow();
    HistoryWindow(const HistoryWindow&) = delete;
    HistoryWindow& operator=(const HistoryWindow&) = delete;

    std::function<void(const Store::ClosedTile& record)> onReopen;
    // The home folder the paths are shortened by; $HOME unless a test says.
    std::string home;

    // Builds the sheet and shows it over `window`.
    void present(platform::ui::Window& window);
    // The sheet's content with a fresh copy of the store's list (present builds it).
    void build();

    void reopenSelected();
    void forgetSelected();
    void dismiss();

    // --- Pure parts ----------------------------------------------------------------------------------
    // The row of a record: title; name (" (shell)"), folder, date and marks; the last prompt.
    static platform::ui::RichText rowText(const Store::ClosedTile& record, const std::string& home);
    static std::string detailLine(const Store::ClosedTile& record, const std::string& home);
    // Day, short month and time as the language writes them ("Dec 7, 9:36 PM", "7. Dez., 21:36"),
    // in the local time zone.
    static std::string formatDate(Date date, Lang lang);

    // --- What tests look at ----------------------------------------------------------------------------
    platform::ui::Window* panel() const { return panel_.get(); }
    platform::ui::FlippedView& content() { return content_; }
    platform::ui::TableView& table() { return table_; }
    platform::ui::Button& reopenButton() { return reopen_; }
    platform::ui::Button& forgetButton() { return forget_; }
    platform::ui::Button& closeButton() { return close_; }
    const std::vector<Store::ClosedTile>& entries() const { return entries_; }

private:
    void reload();
    // The ground and the rows in the theme now in force.
    void applyTheme();

    std::unique_ptr<platform::ui::Window> panel_;
    platform::ui::FlippedView content_;
    platform::ui::TableView table_;
    platform::ui::Button reopen_;
    platform::ui::Button forget_;
    platform::ui::Button close_;
    std::vector<Store::ClosedTile> entries_;
    platform::runtime::NotificationCenter::Subscription themeObserver_;
};

}  // namespace quiltdeck
