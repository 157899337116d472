// Scrolling: index, reverse index, SU/SD, column scrolls.
#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::cmdIndex() {}
void Terminal::scroll(bool) {}
void Terminal::emitLineFeed() {
    if (tdel_) tdel_->linefeed(*this);
}
void Terminal::reverseIndex() {}
void Terminal::cmdScrollDown(std::span<const int>) {}
void Terminal::cmdScrollUp(std::span<const int>, std::string_view) {}
void Terminal::columnIndex(bool) {}
void Terminal::columnScroll(bool, int) {}
void Terminal::hardenBidiScrollBoundaries(bool, int) {}
void Terminal::hardenBidiLineShiftBoundaries(int, std::optional<int>, int) {}
void Terminal::resetBufferLine(int, bool, std::optional<BidiPresentationState>) {}

}  // namespace vantel
