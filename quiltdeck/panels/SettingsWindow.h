#pragma once

#include <array>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/Button.h"
#include "platform/ui/FlippedView.h"
#include "platform/ui/Label.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/Window.h"
#include "quiltdeck/panels/PillButton.h"

namespace quiltdeck {

// The settings sheet: theme, terminal font and smallest type, logo style, the assistant's
// permission mode for new tiles, the home-folder trust answer and open at login. Every control
// writes its value to the store at once and tells the application (theme or font notification,
// the theme resolver, the login item); there is no Apply or Cancel. Built anew at each showing
// from the stored values; its rows stand one under the other, each note as tall as its lines, and
// the sheet as tall as its rows, but never taller than its window: then the rows scroll above the
// close button. It takes the colours of a new theme while it shows. Main thread.
class SettingsWindow : public std::enable_shared_from_this<SettingsWindow> {
public:
    static constexpr double width = 560;
    static constexpr double margin = 24;
    // The stored permission modes, in the order of the menu.
    static constexpr std::array<std::string_view, 3> permModes = {"acceptEdits", "manual", "auto"};
    static constexpr std::array<std::string_view, 3> permLabels = {"perm_accept", "perm_manual", "perm_auto"};
    // The smallest type a tile may use, in points (15 is not offered).
    static constexpr std::array<int, 6> minimumSizes = {10, 11, 12, 13, 14, 16};
    static constexpr double markImageSize = 22;

    SettingsWindow();
    ~SettingsWindow();
    SettingsWindow(const SettingsWindow&) = delete;
    SettingsWindow& operator=(const SettingsWindow&) = delete;

    // Builds the sheet and shows it over `window`.
    void present(platform::ui::Window& window);
    // The sheet's content from the stored values, in the theme of the moment, with the mark
    // images drawn at `scale`, no taller than `maximumHeight` (present builds it at the window's
    // scale and for the window's height).
    void build(double scale = 1, double maximumHeight = std::numeric_limits<double>::infinity());
    // The sheet's size, from its rows as build() placed them.
    platform::gfx::Size size() const { return {content_.frame().width, content_.frame().height}; }
    // The colours and mark images of the theme now in force (on every theme change).
    void applyTheme();

    // --- Actions -------------------------------------------------------------------------------------
    void pickTheme();
    void pickFont();
    void pickSize();
    void pickMark();
    void pickPerm();
    void toggleTrust();
    void toggleLogin();
    void close();

    // --- Pure parts ----------------------------------------------------------------------------------
    // The size item for a stored size: its nearest whole number (halves away from zero) and " pt";
    // none when that is not finite or not offered.
    static std::optional<std::string> sizeItemTitle(double stored);
    // What a size item's title stores: the number without " pt"; 11 when it does not read whole.
    static double sizeFromTitle(std::string title);
    // The selected logo segment: "chevrons" and anything that names no style show converge.
    static int markSegment(std::string_view stored);
    // The permission item of a stored mode; 0 when it matches none.
    static int permIndex(std::string_view stored);
    // The logo choice's picture, `markImageSize` points square in `ink`, at `scale` pixels a point.
    static platform::gfx::Image markImage(int style, platform::gfx::Rgba ink, double scale);

    // --- What tests look at ----------------------------------------------------------------------------
    platform::ui::Window* panel() const { return panel_.get(); }
    platform::ui::FlippedView& content() { return content_; }
    // The rows above the close button, which scroll when the sheet is held lower than they are.
    platform::ui::ScrollView& rowsView() { return scroll_; }
    platform::ui::SegmentedControl& themePicker() { return themePicker_; }
    platform::ui::PopUpButton& fontPicker() { return fontPicker_; }
    platform::ui::PopUpButton& sizePicker() { return sizePicker_; }
    platform::ui::SegmentedControl& markPicker() { return markPicker_; }
    platform::ui::PopUpButton& permPicker() { return permPicker_; }
    platform::ui::Button& trustToggle() { return trustToggle_; }
    platform::ui::Button& loginToggle() { return loginToggle_; }
    platform::ui::Button& closeButton() { return close_; }
    const std::vector<std::unique_ptr<platform::ui::Label>>& texts() const { return texts_; }

private:
    platform::ui::Label& addText(std::string_view key, bool heading);
    // Places the rows one under the other and sizes the sheet to them.
    void layout();

    std::unique_ptr<platform::ui::Window> panel_;
    platform::ui::FlippedView content_;
    // The rows outlive the view that scrolls them.
    platform::ui::FlippedView rows_;
    platform::ui::ScrollView scroll_;
    platform::ui::SegmentedControl themePicker_;
    platform::ui::PopUpButton fontPicker_;
    platform::ui::PopUpButton sizePicker_;
    platform::ui::SegmentedControl markPicker_;
    platform::ui::Button trustToggle_{platform::ui::Button::Type::checkBox};
    platform::ui::Button loginToggle_{platform::ui::Button::Type::checkBox};
    platform::ui::PopUpButton permPicker_;
    platform::ui::Button close_;
    std::vector<std::unique_ptr<platform::ui::Label>> texts_;
    double scale_ = 1;
    double maximumHeight_ = std::numeric_limits<double>::infinity();
    platform::runtime::NotificationCenter::Subscription themeObserver_;
};

}  // namespace quiltdeck
