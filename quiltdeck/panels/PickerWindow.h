#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/Button.h"
#include "platform/ui/FlippedView.h"
#include "platform/ui/Label.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/StackView.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "quiltdeck/sessions/BrowserInfo.h"
#include "quiltdeck/sessions/Projects.h"

namespace quiltdeck {

class Browsers;

// The project picker: a sheet over the main window with a search field, the Claude / Shell
// switch, the project folders (the home folder first), the browser chips and a hint. It is driven
// from the keyboard by one handler on its window, ahead of its widgets: the arrows move through
// the list, Tab and Shift+Tab through the browsers, Return opens (a shell with Shift or the Shell
// kind), Escape cancels. Ctrl+Tab and Ctrl+Shift+Tab move the keyboard through the switch, the
// close button and the chips, where Tab goes on and Space or Return presses as on other sheets. A choice is one call of onChoose, then the sheet ends; every end of the
// sheet, whoever ends it, cleans up once and calls onClose. Made anew for each showing; it takes
// the colours of a new theme while it shows, and grows below when its hint needs two lines.
// Main thread.
class PickerWindow : public std::enable_shared_from_this<PickerWindow> {
public:
    using ChooseHandler = std::function<void(const Project& project, bool shell, const std::optional<BrowserInfo>& browser)>;

    // The sheet's size with a hint of one line.
    static constexpr platform::gfx::Size size{620, 470};
    static constexpr double rowHeight = 28;

    // `browsers` must outlive the picker (the process's service in the program).
    explicit PickerWindow(bool shell);
    PickerWindow(bool shell, Browsers& browsers);
    ~PickerWindow();
    PickerWindow(const PickerWindow&) = delete;
    PickerWindow& operator=(const PickerWindow&) = delete;

    ChooseHandler onChoose;
    // After every end of the sheet, a commit's too.
    std::function<void()> onClose;
    // Where the folders come from, and the home folder; the disk's and $HOME unless a test says.
    std::function<std::vector<Project>()> listProjects;
    std::string home;

    // Builds the sheet and shows it over `window`; every end of the sheet cleans up once.
    void present(platform::ui::Window& window);


    // --- What the sheet does (its controls and its key handler call these) ------------------------
    void reloadProjects();
    // The search text changed.
    void searchChanged();
    void move(int delta);
    void rebuildChips();
    void pickChip(int tag);
    void cycleBrowser(bool back);
    // Chooses the selected row; nothing without one.
    void commit(bool shell);
    // Ends the sheet without a choice.
    void dismiss();
    void kindChanged();
    // The sheet's key handler: true when it took the key.
    bool handleKey(const platform::ui::KeyEvent& event);

    // --- Pure parts --------------------------------------------------------------------------------
    // The home row first, then the listed folders but home itself.
    static std::vector<Project> withHomeRow(const std::vector<Project>& listed, const std::string& home);
    // The projects that match the query (trimmed of spaces and tabs, lower-cased) in order: short
    // path matches before keyword-only ones, then recent ones, then shorter short paths, then list
    // order. An empty query keeps every project in list order.
    static std::vector<Project> filtered(const std::vector<Project>& all, std::string_view query);
    // The row's text: name and three spaces, then the detail in the smaller, dimmer font.
    static platform::ui::RichText rowText(const Project& project, const std::string& home);
    // The choice after `picked` in [none, browsers...], forwards or back, wrapping; a browser no
    // longer listed counts from none.
    static std::optional<BrowserInfo> nextBrowser(const std::vector<BrowserInfo>& list,
                                                  const std::optional<BrowserInfo>& picked, bool back);

    // --- What tests and the delegate look at ------------------------------------------------------
    platform::ui::Window* panel() const { return panel_.get(); }
    platform::ui::FlippedView& content() { return content_; }
    platform::ui::TextField& search() { return search_; }
    platform::ui::SegmentedControl& kind() { return kind_; }
    platform::ui::TableView& table() { return table_; }
    platform::ui::StackView& chipRow() { return chipRow_; }
    platform::ui::Label& foot() { return foot_; }
    platform::ui::Button& closeButton() { return close_; }
    const std::vector<std::unique_ptr<platform::ui::Button>>& chips() const { return chips_; }
    const std::vector<Project>& all() const { return all_; }
    const std::vector<Project>& shown() const { return shown_; }
    const std::optional<BrowserInfo>& pickedBrowser() const { return pickedBrowser_; }
    bool wantsShell() const { return wantsShell_; }
    // The sheet is up (between present and its end).
    bool isShowing() const { return showing_; }

    // The sheet's content, in the theme of the moment (present builds it).
    void build();

private:
    // A button, a chip or the switch has the keyboard (not the field or the list).
    bool controlHasKeyboard() const;
    void reloadTable();
    // The colours of the theme now in force, on the sheet, its rows and its chips.
    void applyTheme();
    // What every end of the sheet does, once.
    void cleanUp();

    Browsers& browsers_;
    bool wantsShell_;
    std::unique_ptr<platform::ui::Window> panel_;
    platform::ui::FlippedView content_;
    platform::ui::TextField search_;
    platform::ui::Button close_;
    platform::ui::SegmentedControl kind_;
    platform::ui::TableView table_;
    platform::ui::StackView chipRow_{platform::ui::StackView::Orientation::horizontal};
    platform::ui::Label foot_;
    std::vector<std::unique_ptr<platform::ui::Button>> chips_;
    std::vector<Project> all_;
    std::vector<Project> shown_;
    std::optional<BrowserInfo> pickedBrowser_;
    platform::runtime::NotificationCenter::Subscription browsersToken_;
    platform::runtime::NotificationCenter::Subscription themeObserver_;
    bool showing_ = false;
    bool cleanedUp_ = false;
};

}  // namespace quiltdeck
