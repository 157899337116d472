// Control characters.
#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::cmdBackspace() {}
void Terminal::cmdLineFeedBasic() {}
void Terminal::cmdCarriageReturn() {}
void Terminal::setgLevel(uint8_t) {}

}  // namespace vantel
