// Character-set designation and invocation.
#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::setgCharset(uint8_t, const CharSetTable*) {}
void Terminal::selectCharset(std::string_view) {}

}  // namespace vantel
