// Rectangular area operations and presentation direction.
#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::csiCopyRectangularArea(std::span<const int>, std::string_view) {}
void Terminal::csiX(std::span<const int>, std::string_view) {}
void Terminal::csiZ(std::span<const int>, std::string_view) {}
void Terminal::csiOpenBrace(std::span<const int>, std::string_view) {}
void Terminal::cmdSelectPresentationDirection(std::span<const int>) {}
void Terminal::cmdSelectCharacterPath(std::span<const int>) {}

}  // namespace vantel
