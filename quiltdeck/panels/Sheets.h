#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>

namespace platform::ui {
class Window;
}

namespace quiltdeck {

// Panels shown as sheets over a window: one at a time, each marked as the application's own
// (Escape ends those), its owner kept alive while it is up. Main thread.
class Sheets {
public:
    Sheets() = delete;

    static constexpr std::string_view identifier = "bl.sheet";

    // Marks `panel`, ends the sheet already over `window` (its completion runs), keeps `owner`
    // under the panel's identity and shows the panel as a sheet of `window`; when it ends, the
    // owner is let go and `completion` runs with the response.
    static void present(platform::ui::Window& panel, platform::ui::Window& window, std::shared_ptr<void> owner,
                        std::function<void(int response)> completion = nullptr);
    // The most a sheet over `window` may be high: the window's own height, so that a sheet never
    // hangs past its window's bottom edge (a taller sheet scrolls its content).
    static double maximumHeight(const platform::ui::Window& window);
    // Whether an owner is kept for the panel, and how many are.
    static bool owns(const platform::ui::Window& panel);
    static size_t ownerCount();
};

}  // namespace quiltdeck
