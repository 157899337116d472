// Kitty keyboard protocol flags per screen.
#include "vantel/core/Terminal.h"

namespace vantel {

bool Terminal::handleKittyKeyboardProtocol(std::span<const int>, std::string_view) { return false; }

}  // namespace vantel
