// Erase and edit: ED, EL, ICH, DCH, IL, DL, ECH, REP, DECIC, DECDC, DECALN, line sizes.
#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::cmdInsertChars(std::span<const int>) {}
void Terminal::cmdDeleteChars(std::span<const int>) {}
void Terminal::cmdEraseChars(std::span<const int>) {}
void Terminal::cmdEraseInDisplay(std::span<const int>) {}
void Terminal::cmdEraseInLine(std::span<const int>) {}
void Terminal::cmdInsertLines(std::span<const int>) {}
void Terminal::cmdDeleteLines(std::span<const int>) {}
void Terminal::cmdRepeatPrecedingCharacter(std::span<const int>) {}
void Terminal::cmdDeleteColumns(std::span<const int>) {}
void Terminal::csiCloseBrace(std::span<const int>, std::string_view) {}
void Terminal::cmdScreenAlignmentPattern() {}
void Terminal::setLineRenderMode(BufferLine::RenderLineMode) {}

}  // namespace vantel
