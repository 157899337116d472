// Text blinking: one flag that drawing consults, flipped by a 0.7 s timer that runs only while
// blinking cells are on screen, the view is in a window, the application is active and the desktop
// does not ask for reduced motion.
#include "platform/ui/SystemSettings.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

using platform::ui::SystemSettings;

void TerminalView::setupTextBlinking() {
    if (!textBlinkObservers_.empty()) return;
    textBlinkApplicationActive_ = SystemSettings::applicationActive();
    auto& center = platform::runtime::NotificationCenter::defaultCenter();
    std::weak_ptr<int> alive = lifetime_;
    textBlinkObservers_.push_back(center.subscribe(SystemSettings::applicationDidBecomeActiveNotification,
                                                   [this, alive](const platform::runtime::Notification&) {
                                                       if (alive.expired()) return;
                                                       textBlinkApplicationActive_ = true;
                                                       updateTextBlinkLifecycle();
                                                       if (isGpuRendererEligibleForRetry()) gpu_->requestFrame();
                                                   }));
    textBlinkObservers_.push_back(center.subscribe(SystemSettings::applicationWillResignActiveNotification,
                                                   [this, alive](const platform::runtime::Notification&) {
                                                       if (alive.expired()) return;
                                                       textBlinkApplicationActive_ = false;
                                                       updateTextBlinkLifecycle();
                                                   }));
    textBlinkObservers_.push_back(center.subscribe(SystemSettings::reduceMotionDidChangeNotification,
                                                   [this, alive](const platform::runtime::Notification&) {
                                                       if (!alive.expired()) updateTextBlinkLifecycle();
                                                   }));
    // The desktop's caret blink changed: the caret follows at once.
    textBlinkObservers_.push_back(center.subscribe(SystemSettings::caretBlinkDidChangeNotification,
                                                   [this, alive](const platform::runtime::Notification&) {
                                                       if (alive.expired()) return;
                                                       caretView_->updateCursorStyle();
                                                       gpu_->queueGpuDisplay();
                                                   }));
    updateTextBlinkLifecycle();
}

void TerminalView::updateTextBlinkLifecycle() {
    if (!loop_.isLoopThread()) {
        std::weak_ptr<int> alive = lifetime_;
        loop_.post([this, alive] {
            if (!alive.expired()) updateTextBlinkLifecycle();
        });
        return;
    }
    if (!terminal_) return;
    const std::vector<int> rows = visibleBlinkRows();
    const bool running =
        window() && textBlinkApplicationActive_ && !SystemSettings::reduceMotion() && !rows.empty();
    if (running) {
        if (textBlinkTimer_) return;
        textBlinkVisible_ = true;
        std::weak_ptr<int> alive = lifetime_;
        textBlinkTimer_ = loop_.scheduleRepeating(textBlinkInterval, [this, alive] {
            if (!alive.expired()) textBlinkTick();
        });
        return;
    }
    if (textBlinkTimer_) std::exchange(textBlinkTimer_, nullptr)->cancel();
    if (!textBlinkVisible_) {
        // Leaving the blink always leaves the text shown.
        textBlinkVisible_ = true;
        markRowsDirty(rows);
        queuePendingDisplay();
    }
}

void TerminalView::textBlinkTick() {
    // The conditions are checked by the next coalesced redraw, which this tick asks for.
    textBlinkVisible_ = !textBlinkVisible_;
    markRowsDirty(visibleBlinkRows());
    queuePendingDisplay();
}

void TerminalView::stopTextBlinking() {
    if (textBlinkTimer_) std::exchange(textBlinkTimer_, nullptr)->cancel();
    textBlinkVisible_ = true;
    textBlinkObservers_.clear();
}

void TerminalView::markRowsDirty(const std::vector<int>& absoluteRows) {
    const int yDisp = terminal_->buffer().yDisp();
    for (int row : absoluteRows) {
        const int screenRow = row - yDisp;
        if (screenRow >= 0) terminal_->updateRange(screenRow, false);
    }
}

std::vector<int> TerminalView::visibleBlinkRows() {
    std::vector<int> rows;
    if (!terminal_) return rows;
    Buffer& buffer = terminal_->buffer();
    const int count = buffer.lines().count();
    if (count == 0) return rows;
    const int start = std::max(buffer.yDisp(), 0);
    const int end = std::min(start + buffer.rows(), count);
    for (int row = start; row < end; ++row) {
        const BufferLine& line = buffer.lines()[row];
        const int cols = std::min(buffer.cols(), line.count());
        for (int col = 0; col < cols; ++col) {
            if (line[col].attribute.style.contains(CharacterStyle::blink)) {
                rows.push_back(row);
                break;
            }
        }
    }
    return rows;
}

}  // namespace vantel
