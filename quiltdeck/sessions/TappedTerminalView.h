#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>

#include "vantel/view/LocalProcessTerminalView.h"

namespace quiltdeck {

// A tile's terminal view: the library's local-process view with a tap on its
// output, and without a scroller or progress bar of its own. The terminal
// always takes the bytes before the tap sees them.
class TappedTerminalView : public vantel::LocalProcessTerminalView {
public:
    explicit TappedTerminalView(const Rect& frame);
    TappedTerminalView(const Rect& frame, FontRef font, const vantel::TerminalOptions& options);

    std::function<void(std::span<const uint8_t>)> onBytes;
    // What the user's keys and pastes hand to the child, as they go (not the terminal's replies).
    std::function<void(std::span<const uint8_t>)> onInput;

    void dataReceived(std::span<const uint8_t> slice) override;
    using LocalProcessTerminalView::send;
    void send(vantel::TerminalView& source, std::span<const uint8_t> data) override;
    void sendPasted(vantel::TerminalView& source, std::span<const uint8_t> data, uint64_t paste) override;
    void sendWhenRead(vantel::TerminalView& source, std::span<const uint8_t> data) override;
    // A link the user clicked, taken by the link rules: opened, revealed in its folder, asked
    // about in a dialog over the tile's window, or refused ("tile: refused <scheme> link").
    void requestOpenLink(vantel::TerminalView& source, const std::string& link,
                         const std::map<std::string, std::string>& params) override;
    // Said in the application's log, once a time: "tile: link codes used up ...".
    void payloadCodesUsedUp(vantel::Terminal& source) override;
    void hideScroller();
    void hideProgressBar();

protected:
    void resizeSubviews(Size oldSize) override;
};

}  // namespace quiltdeck
