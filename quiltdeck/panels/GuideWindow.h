#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/FlippedView.h"
#include "platform/ui/RichText.h"
#include "platform/ui/RichTextView.h"
#include "platform/ui/Window.h"
#include "quiltdeck/panels/PillButton.h"

namespace quiltdeck {

// The guide: one styled text (title, introduction, sections, the table of keys) in a sheet over
// the main window, built anew at every presentation in the language, theme and terminal font of
// that moment. A new one for every request; the sheet keeps it alive while it is up. Main thread.
class GuideWindow : public std::enable_shared_from_this<GuideWindow> {
public:
    static constexpr double width = 560;
    static constexpr double height = 640;
    // Wide enough for the longest key text in the terminal font.
    static constexpr double keyColumn = 200;

    struct KeyRow {
        std::string_view keys;  // the same in every language; "%@" is the mouse's word ("click")
        std::string_view description;  // a text key
    };
    static constexpr std::array<KeyRow, 19> keyRows = {{
        {"Ctrl+Shift+N", "guide_k_new"},
        {"Ctrl+Shift+Alt+N", "guide_k_shell"},
        {"%@ / Ctrl+Shift+Enter", "guide_k_zoom"},
        {"Ctrl+Shift++ / -", "guide_k_zoomsize"},
        {"Esc", "guide_k_esc"},
        {"Ctrl+Shift+1 \u2026 9", "guide_k_jump"},
        {"Ctrl+Shift+J", "guide_k_waiting"},
        {"Ctrl+Shift+S", "guide_k_stop"},
        {"Ctrl+Shift+W / \u2715", "guide_k_close"},
        {"Ctrl+Shift+Y", "guide_k_history"},
        {"Ctrl+Shift+R", "guide_k_rename"},
        {"Ctrl+Shift+L", "guide_k_look"},
        {"Ctrl+Shift+T", "guide_k_tabs"},
        {"Ctrl+Shift+B", "guide_k_browsers"},
        {"Ctrl+Shift+,", "guide_k_settings"},
        {"Ctrl+Shift+C / V", "guide_k_copy"},
        {"Ctrl+Shift+M", "guide_k_menus"},
        {"Ctrl+Shift+I", "guide_k_bar_message"},
        {"F10", "guide_k_f10"},
    }};

    static std::shared_ptr<GuideWindow> make() { return std::make_shared<GuideWindow>(); }
    GuideWindow();
    ~GuideWindow();

    // Builds the panel and shows it as a sheet of `window` (ending the sheet there first), the
    // keyboard in the text, which it scrolls.
    void present(platform::ui::Window& window);
    // Ends the sheet (the close button).
    void dismiss();
    // The panel while it exists.
    platform::ui::Window* panel() const { return panel_.get(); }

    // "Guide" in the current language: the text of "guide" with its first letter upper-cased.
    static std::string title();
    // The whole guide text.
    static platform::ui::RichText body();

    // The panel's content (560 wide, 640 high or as high as `maximumHeight` allows but never under
    // 200, from the top): the scrolling text and the close pill under it, which Return presses too. Built by
    // build(), which present() calls with the height of the window it shows over.
    void build(double maximumHeight = height);
    platform::ui::FlippedView& content() { return content_; }
    platform::ui::RichTextView& text() { return text_; }
    PillButton* closeButton() { return close_.get(); }

private:
    // The ground, the text and the pill in the theme now in force (while it shows, on each change).
    void applyTheme();

    platform::ui::FlippedView content_;
    platform::ui::RichTextView text_;
    std::unique_ptr<PillButton> close_;
    platform::runtime::NotificationCenter::Subscription themeObserver_;
    // Last: the window goes before the views it shows.
    std::unique_ptr<platform::ui::Window> panel_;
};

}  // namespace quiltdeck
