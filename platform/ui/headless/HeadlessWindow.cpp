#include "platform/ui/headless/HeadlessWindow.h"

namespace platform::ui::headless {

void HeadlessWindow::didDisplay(const std::vector<Rect>& rects) {
    displayScheduled_ = needsDisplay();
    ++displayCount_;
    lastDisplayedRects_ = rects;
}

}  // namespace platform::ui::headless
