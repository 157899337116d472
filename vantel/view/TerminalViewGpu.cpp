// The view's side of the GPU renderer that GpuRendererHosting leaves to the view: its caret while
// the renderer draws the cursor, and showing again.
#include "vantel/view/TerminalView.h"

namespace vantel {

void TerminalView::hostingHideCaret() {
    caretView_->removeAllAnimations();
    caretView_->setOpacity(1);
    caretView_->setHidden(true);
}

void TerminalView::hostingRestoreCaret() {
    caretView_->setHidden(!showsCaret_);
    caretView_->updateCursorStyle();
}

void TerminalView::setShowsCaret(bool shows) {
    if (showsCaret_ == shows) return;
    showsCaret_ = shows;
    // While the renderer draws the cursor, the caret view stays hidden and the next frame follows.
    if (isUsingGpuRenderer()) {
        if (gpu_->gpuView()) gpu_->requestFrame();
        return;
    }
    caretView_->setHidden(!shows);
}

void TerminalView::viewDidUnhide() {
    if (gpu_->gpuView()) gpu_->viewDidUnhide();
}

}  // namespace vantel
