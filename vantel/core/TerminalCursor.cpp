// Cursor movement, save and restore, scroll region and margins.
#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::restrictCursor() {}
void Terminal::cmdCursorUp(std::span<const int>) {}
void Terminal::cmdCursorDown(std::span<const int>) {}
void Terminal::cursorForward(int) {}
void Terminal::cursorBackward(int) {}
void Terminal::cmdCursorCharAbsolute(std::span<const int>) {}
void Terminal::cmdCursorPosition(std::span<const int>) {}
void Terminal::cmdCharPosAbsolute(std::span<const int>) {}
void Terminal::cmdHPositionRelative(std::span<const int>) {}
void Terminal::cmdLinePosAbsolute(std::span<const int>) {}
void Terminal::cmdVPositionRelative(std::span<const int>) {}
void Terminal::cmdHVPosition(std::span<const int>) {}
void Terminal::cmdTabClear(std::span<const int>) {}
void Terminal::cmdSaveCursor(std::span<const int>) {}
void Terminal::cmdRestoreCursor(std::span<const int>) {}
void Terminal::cmdSetScrollRegion(std::span<const int>, std::string_view) {}
void Terminal::cmdSetMargins(std::span<const int>, std::string_view) {}
void Terminal::cmdSetCursorStyle(std::span<const int>, std::string_view) {}

}  // namespace vantel
