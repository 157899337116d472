// Character attributes (SGR).
#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::cmdCsiM(std::span<const int>, std::string_view) {}

}  // namespace vantel
