#include "quiltdeck/sessions/TappedTerminalView.h"

#include "platform/ui/Scroller.h"
#include "vantel/view/TerminalProgressBarView.h"

namespace quiltdeck {

TappedTerminalView::TappedTerminalView(const Rect& frame) : LocalProcessTerminalView(frame) {}

TappedTerminalView::TappedTerminalView(const Rect& frame, FontRef font, const vantel::TerminalOptions& options)
    : LocalProcessTerminalView(frame, std::move(font), options) {}

void TappedTerminalView::dataReceived(std::span<const uint8_t> slice) {
    LocalProcessTerminalView::dataReceived(slice);
    if (onBytes) onBytes(slice);
}

void TappedTerminalView::resizeSubviews(Size oldSize) {
    LocalProcessTerminalView::resizeSubviews(oldSize);
    hideScroller();
    hideProgressBar();
}

void TappedTerminalView::hideScroller() {
    for (auto* subview : subviews()) {
        if (dynamic_cast<platform::ui::Scroller*>(subview) && !subview->isHidden()) subview->setHidden(true);
    }
}

void TappedTerminalView::hideProgressBar() {
    for (auto* subview : subviews()) {
        if (dynamic_cast<vantel::TerminalProgressBarView*>(subview) && !subview->isHidden()) subview->setHidden(true);
    }
}

}  // namespace quiltdeck
