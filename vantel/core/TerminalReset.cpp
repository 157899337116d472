// Full reset, resize and scroll-back size.
#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::resetToInitialState() {}
void Terminal::resize(int, int) {}

}  // namespace vantel
