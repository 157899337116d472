#pragma once

#include <string>
#include <vector>

#include "platform/ui/Window.h"

namespace platform::ui::headless {

// A window with no display: it draws when asked (displayIfNeeded) into its Cairo image, remembers
// what it drew, and saves the image as a PNG. Tests and tools draw through it.
class HeadlessWindow : public Window {
public:
    using Window::Window;

    // Whether something became dirty since the last display (what a real backend would schedule).
    bool displayScheduled() const { return displayScheduled_; }
    // How many displays drew something, and the rectangles of the last one.
    int displayCount() const { return displayCount_; }
    const std::vector<Rect>& lastDisplayedRects() const { return lastDisplayedRects_; }

    // A device pixel of the surface (from the top-left) as a premultiplied 0xAARRGGBB word.
    uint32_t pixel(int x, int y) const { return surface().pixel(x, y); }
    bool writePng(const std::string& path) const { return surface().writePng(path); }

    // Shown when presented, as a toolkit's window is once it is mapped.
    void present() override {
        Window::present();
        setVisible(true);
    }

protected:
    void scheduleDisplay() override { displayScheduled_ = true; }
    void didDisplay(const std::vector<Rect>& rects) override;

private:
    bool displayScheduled_ = false;
    int displayCount_ = 0;
    std::vector<Rect> lastDisplayedRects_;
};

}  // namespace platform::ui::headless
