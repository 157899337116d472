// Focus: the caret shows whether the view has the keyboard in the key window, and the program
// hears of first-responder changes when it asked for focus reports.
#include "platform/ui/SystemSettings.h"
#include "platform/ui/Window.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

bool TerminalView::hasFocus() const { return hasFocus_ && (!window() || window()->isKeyWindow()); }

void TerminalView::setHasFocus(bool focus) {
    hasFocus_ = focus;
    caretView_->focused = focus;
    if (focus) restartCaretBlinkTimeout();
    caretView_->updateCursorStyle();
    gpu_->queueGpuDisplay();
}

bool TerminalView::becomeFirstResponder() {
    if (!View::becomeFirstResponder()) return false;
    setHasFocus(true);
    caretView_->updateCursorStyle();
    terminal_->reportedFocusState = true;
    if (terminal_->sendFocus) terminal_->sendFocusReport();
    return true;
}

bool TerminalView::resignFirstResponder() {
    if (!View::resignFirstResponder()) return false;
    // A blinking caret stops visible.
    caretView_->removeAllAnimations();
    caretView_->setOpacity(1);
    setHasFocus(false);
    terminal_->reportedFocusState = false;
    if (terminal_->sendFocus) terminal_->sendFocusReport();
    return true;
}

void TerminalView::windowDidChangeKeyState() {
    // Only the caret's look changes; the program hears of first-responder changes alone.
    if (hasFocus()) restartCaretBlinkTimeout();
    caretView_->updateCursorStyle();
    gpu_->queueGpuDisplay();
}

void TerminalView::viewDidMoveToWindow() {
    // Another surface, or none: nothing drawn is there.
    drawnRows_.forgetAll();
    gpu_->viewDidMoveToWindow();
    caretView_->updateCursorStyle();
    updateTextBlinkLifecycle();
}

std::optional<double> TerminalView::caretBlinkSecondsLeft() const {
    const double timeout = platform::ui::SystemSettings::caretBlink().timeout;
    if (!(timeout > 0)) return std::nullopt;
    return timeout - std::chrono::duration<double>(loop_.now() - caretBlinkRestartedAt_).count();
}

bool TerminalView::caretMayBlink() const {
    const std::optional<double> left = caretBlinkSecondsLeft();
    return platform::ui::SystemSettings::caretBlink().on && (!left || *left > 0);
}

void TerminalView::restartCaretBlinkTimeout() { caretBlinkRestartedAt_ = loop_.now(); }

void TerminalView::holdCaretBlink() {
    // Input starts the desktop's blink timeout afresh: a caret that held still blinks again.
    const bool wasStill = platform::ui::SystemSettings::caretBlink().on && !caretMayBlink();
    restartCaretBlinkTimeout();
    // The GPU renderer draws the cursor itself and asks whether a hold is on at every frame.
    const bool gpuCaret = gpu_->gpuRenderer() != nullptr;
    if (!caretView_->hasAnimations() && !caretBlinkResume_ && !gpuCaret && !wasStill) return;
    caretView_->updateAnimation(false);
    if (caretBlinkResume_) {
        caretBlinkResume_->cancel();
    } else if (gpuCaret) {
        gpu_->queueGpuDisplay();
    }
    std::weak_ptr<int> alive = lifetime_;
    caretBlinkResume_ = loop_.postAfter(caretBlinkHoldAfterInput, [this, alive] {
        if (alive.expired()) return;
        caretBlinkResume_.reset();
        caretView_->updateCursorStyle();
        if (gpu_->gpuRenderer()) gpu_->queueGpuDisplay();
    });
}

void TerminalView::ensureCaretIsVisible() {
    if (terminal_->synchronizedOutputActive()) return;
    const Buffer& buffer = terminal_->buffer();
    const int row = buffer.yBase() + buffer.y();
    if (row < buffer.yDisp() || row >= buffer.yDisp() + terminal_->rows()) scrollTo(buffer.yBase(), true);
}

}  // namespace vantel
