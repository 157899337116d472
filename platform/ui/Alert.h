#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/gfx/Image.h"

namespace platform::ui {

class Window;

// A message with buttons, shown modal over a window (or alone) through Modals: one modal at a
// time, the first button the default, Escape (or closing it) answers `cancelled`.
struct Alert {
    enum class Style { informational, warning, critical };
    static constexpr int cancelled = -1;

    std::string messageText;
    std::string informativeText;
    Style style = Style::warning;
    std::vector<std::string> buttons;

    // The index of the button that ended it, or `cancelled`.
    using Completion = std::function<void(int button)>;
    // Shows it over the window once the modals before it have been answered.
    void present(Window* window, Completion completion) const;
};

// A folder chooser: the chosen folder's path, or nothing when cancelled. An empty accept label
// is the toolkit's own "Open".
struct FolderChooser {
    std::string title;
    std::string acceptLabel;
    std::string initialFolder;

    using Completion = std::function<void(std::optional<std::string> folder)>;
    void present(Window* window, Completion completion) const;
};

// A chooser of one file among the given MIME types, beside whatever else is open: the chosen
// file's path, or nothing when cancelled.
struct FileChooser {
    std::string title;
    std::string message;
    std::string initialFolder;
    std::vector<std::string> mimeTypes;

    using Completion = std::function<void(std::optional<std::string> file)>;
    void present(Window* window, Completion completion) const;
};

// A one-line question: a title, an entry holding `initial` (it has the keyboard), and buttons
// of which the first is the default (Return). The answer is the entry's text when the first
// button ended it, nothing otherwise.
struct TextPrompt {
    std::string title;
    std::string initial;
    std::vector<std::string> buttons;
    // The entry's size in points.
    double fieldWidth = 260;
    double fieldHeight = 24;

    using Completion = std::function<void(std::optional<std::string> text)>;
    // Modal over the window once the modals before it have been answered.
    void present(Window* window, Completion completion) const;
    // Modal to the whole program, now: returns once it is answered.
    std::optional<std::string> runModal() const;
};

// What the About panel shows. The program's own picture goes before an icon of the desktop's
// theme (which is there only once the program is installed); the title and the close button's
// title, when given, replace the toolkit's (in the toolkit's language, not the program's).
struct AboutInfo {
    std::string programName;
    std::string version;
    std::string comments;
    std::string copyright;
    std::string website;
    std::string iconName;
    std::optional<gfx::Image> icon;
    std::string windowTitle;
    std::string closeTitle;
};

}  // namespace platform::ui
