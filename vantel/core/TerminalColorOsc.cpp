// Colour OSC commands: palette, default colours, cursor colour.
#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::oscChangeOrQueryColorIndex(std::span<const uint8_t>) {}
void Terminal::oscSetColors(std::span<const uint8_t>, int) {}
void Terminal::oscResetColor(std::span<const uint8_t>) {}

}  // namespace vantel
