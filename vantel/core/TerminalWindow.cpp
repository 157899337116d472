// Window operations (CSI t) and the title stack.
#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::cmdWindowOptions(std::span<const int>) {}

}  // namespace vantel
