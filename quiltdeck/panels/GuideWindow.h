#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ui/FlippedView.h"
#include "platform/ui/RichText.h"
#include "platform/ui/RichTextView.h"
#include "quiltdeck/panels/PillButton.h"

namespace quiltdeck {

// The guide: one styled text (title, introduction, sections, the table of keys) in a sheet over
// the main window, built anew at every presentation in the language, theme and terminal font of
// that moment. Main thread.
class GuideWindow {
public:
    static constexpr double width = 560;
    static constexpr double height = 640;
    // Wide enough for the longest key text in the terminal font.
    static constexpr double keyColumn = 200;

    struct KeyRow {
        std::string_view keys;  // the same in every language
        std::string_view description;  // a text key
    };
    static constexpr std::array<KeyRow, 15> keyRows = {{
        {"Ctrl+Shift+N", "guide_k_new"},
        {"Ctrl+Shift+Alt+N", "guide_k_shell"},
        {"click / Ctrl+Shift+Enter", "guide_k_zoom"},
        {"Ctrl+Shift++ / -", "guide_k_zoomsize"},
        {"Esc", "guide_k_esc"},
        {"Ctrl+Shift+1 \u2026 9", "guide_k_jump"},
        {"Ctrl+Shift+J", "guide_k_waiting"},
        {"Ctrl+Shift+S", "guide_k_stop"},
        {"Ctrl+Shift+W / \u2715", "guide_k_close"},
        {"Ctrl+Shift+Y", "guide_k_history"},
        {"Ctrl+Shift+R", "guide_k_rename"},
        {"Ctrl+Shift+T", "guide_k_tabs"},
        {"Ctrl+Shift+B", "guide_k_browsers"},
        {"Ctrl+Shift+,", "guide_k_settings"},
        {"Ctrl+Shift+C / V", "guide_k_copy"},
    }};

    GuideWindow();
    ~GuideWindow();

    // "Guide" in the current language: the text of "guide" with its first letter upper-cased.
    static std::string title();
    // The whole guide text.
    static platform::ui::RichText body();

    // The panel's content (560 × 640, from the top): the scrolling text and the close pill. Built
    // by build(), which present() calls.
    void build();
    platform::ui::FlippedView& content() { return content_; }
    platform::ui::RichTextView& text() { return text_; }
    PillButton* closeButton() { return close_.get(); }

private:
    platform::ui::FlippedView content_;
    platform::ui::RichTextView text_;
    std::unique_ptr<PillButton> close_;
};

}  // namespace quiltdeck
