#include "quiltdeck/sessions/TappedTerminalView.h"

#include "platform/ui/LinkPolicy.h"
#include "platform/ui/Scroller.h"
#include "quiltdeck/shell/LinkOpener.h"
#include "quiltdeck/shell/Log.h"
#include "vantel/view/TerminalProgressBarView.h"

namespace quiltdeck {

TappedTerminalView::TappedTerminalView(const Rect& frame) : LocalProcessTerminalView(frame) {}

TappedTerminalView::TappedTerminalView(const Rect& frame, FontRef font, const vantel::TerminalOptions& options)
    : LocalProcessTerminalView(frame, std::move(font), options) {}

void TappedTerminalView::dataReceived(std::span<const uint8_t> slice) {
    LocalProcessTerminalView::dataReceived(slice);
    if (onBytes) onBytes(slice);
}

void TappedTerminalView::send(vantel::TerminalView& source, std::span<const uint8_t> data) {
    if (onInput) onInput(data);
    LocalProcessTerminalView::send(source, data);
}

void TappedTerminalView::sendPasted(vantel::TerminalView& source, std::span<const uint8_t> data, uint64_t paste) {
    if (onInput) onInput(data);
    LocalProcessTerminalView::sendPasted(source, data, paste);
}

void TappedTerminalView::sendWhenRead(vantel::TerminalView& source, std::span<const uint8_t> data) {
    if (onInput) onInput(data);
    LocalProcessTerminalView::sendWhenRead(source, data);
}

void TappedTerminalView::requestOpenLink(vantel::TerminalView&, const std::string& link,
                                         const std::map<std::string, std::string>&) {
    // A path that names no file is no link.
    const auto url = defaultLinkURL(link);
    if (!url) return;
    using platform::ui::LinkDecision;
    const LinkDecision decision = platform::ui::LinkPolicy::decide(*url, platform::ui::LinkOrigin::terminal);
    if (decision.action == LinkDecision::Action::refuse) {
        Log::write("tile: refused " + (decision.scheme.empty() ? std::string("unnamed") : decision.scheme) + " link");
        return;
    }
    LinkOpener::follow(decision, window());
}

void TappedTerminalView::payloadCodesUsedUp(vantel::Terminal& source) {
    Log::write("tile: link codes used up: its " + std::to_string(source.options().maximumPayloadCodes) +
               " links are all on its lines; new links print as plain text until some leave");
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
