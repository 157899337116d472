// The wheel and the touchpad (reports to the program, arrow keys on the alternate screen, or the
// scroll-back), and the timer that scrolls while a selection is dragged past an edge.
#include <algorithm>
#include <cmath>

#include "vantel/core/EscapeSequences.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

namespace Modifier = platform::ui::Modifier;
using MouseMode = Terminal::MouseMode;

void TerminalView::scrollWheel(const ScrollEvent& event) {
    if (!cellDimension_ || !(cellDimension_->height > 0)) return;
    // A notch is three lines; a touchpad's unit three cell heights, in points.
    const double dy = event.hasPreciseDeltas ? event.deltaY * touchpadCellHeightsPerUnit * cellDimension_->height
                                             : event.deltaY * wheelLinesPerNotch;
    scrollWheelBy(dy, event.hasPreciseDeltas, event);
}

void TerminalView::scrollWheelBy(double dy, bool precise, const ScrollEvent& event) {
    if (dy == 0 || !std::isfinite(dy)) return;
    if (!cellDimension_ || !(cellDimension_->height > 0)) return;
    const double cellHeight = cellDimension_->height;
    const MouseMode mode = terminal_->mouseMode;
    const bool report = settings_.allowMouseReporting && !((event.modifiers & Modifier::shift) && !terminal_->mouseShiftCapture) &&
                        mode != MouseMode::off;
    const bool alternate = terminal_->isCurrentBufferAlternate();
    if (!report && alternate && !terminal_->alternateScrollMode) {
        scrollAccumulator_ = 0;
        return;
    }
    const double d = dy * settings_.scrollSensitivity;
    double n = 0;
    if (!precise) {
        // Every wheel step moves at least one line; halves round away from zero.
        scrollAccumulator_ = 0;
        n = std::round(d);
        if (n == 0) n = dy > 0 ? 1 : -1;
    } else {
        const double a = d + scrollAccumulator_;
        n = std::trunc(a / cellHeight);
        scrollAccumulator_ = a - n * cellHeight;
        if (n == 0) return;
    }
    const bool up = n > 0;
    // Bounded: a runaway delta must not send millions of reports.
    const int count = static_cast<int>(std::min(std::fabs(n), 10'000.0));
    if (report) {
        const MouseHit hit = calculateMouseHit(convertFromWindow(event.locationInWindow));
        int flags = up ? 64 : 65;
        if (mode == MouseMode::vt200 || mode == MouseMode::buttonEventTracking || mode == MouseMode::anyEvent) {
            if (event.modifiers & Modifier::shift) flags |= 4;
            if (event.modifiers & Modifier::alt) flags |= 8;
            if (event.modifiers & Modifier::control) flags |= 16;
        }
        // Sending brings the caret into view: the row is the one under the pointer now.
        const int screenRow = screenRowOf(hit);
        for (int i = 0; i < count; ++i) sendMouseReport(flags, hit, screenRow);
        return;
    }
    if (alternate) {
        const auto key = EscapeSequences::cursorKey(up ? EscapeSequences::CursorKey::up : EscapeSequences::CursorKey::down,
                                                    terminal_->applicationCursor);
        std::vector<uint8_t> keys;
        for (int i = 0; i < count; ++i) keys.insert(keys.end(), key.begin(), key.end());
        send(std::span<const uint8_t>(keys));
        return;
    }
    if (up) {
        scrollTo(std::max(0, terminal_->buffer().yDisp() - count), true);
    } else {
        scrollDown(count);
    }
}

// --- Selection auto-scroll -------------------------------------------------------------------

void TerminalView::startSelectionAutoScrollTimer() {
    if (autoScrollTimer_) return;
    std::weak_ptr<int> alive = lifetime_;
    autoScrollTimer_ = loop_.scheduleRepeating(selectionAutoScrollInterval, [this, alive] {
        if (!alive.expired()) scrollingTimerElapsed();
    });
}

void TerminalView::stopSelectionAutoScrollTimer() {
    if (!autoScrollTimer_) return;
    autoScrollTimer_->cancel();
    autoScrollTimer_.reset();
}

void TerminalView::scrollingTimerElapsed() {
    if (autoScrollDelta_ == 0) return;
    if (autoScrollDelta_ < 0) {
        scrollTo(std::max(terminal_->buffer().yDisp() + autoScrollDelta_, 0), true);
    } else {
        scrollDown(autoScrollDelta_);
    }
    // The selection keeps growing while the pointer stands still beyond the edge.
    if (selection_->active() && lastSelectionDragPoint_) {
        selection_->dragExtend(calculateMouseHit(*lastSelectionDragPoint_).grid);
    }
    setNeedsDisplay();
}

}  // namespace vantel
