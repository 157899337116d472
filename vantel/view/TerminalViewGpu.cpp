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
    caretView_->setHidden(false);
    caretView_->updateCursorStyle();
}

void TerminalView::viewDidUnhide() {
    if (gpu_->gpuView()) gpu_->viewDidUnhide();
}

}  // namespace vantel
