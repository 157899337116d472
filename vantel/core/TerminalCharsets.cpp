// Character-set designation (ESC ( ) * + - . /) and invocation (SO, SI, locking shifts).
#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::setgCharset(uint8_t slot, const CharSetTable* table) {
    if (slot >= gCharsets.size()) return;
    gCharsets[slot] = table;
    if (slot == gLevel) charset = table;
}

void Terminal::selectCharset(std::string_view designation) {
    if (designation.size() != 2) {
        setgLevel(0);
        setgCharset(0, nullptr);
        return;
    }
    const CharSetTable* table = CharSets::find(static_cast<uint8_t>(designation[1]));
    switch (designation[0]) {
    case '(': setgCharset(0, table); break;
    case ')':
    case '-': setgCharset(1, table); break;
    case '*':
    case '.': setgCharset(2, table); break;
    case '+':
    case '/': setgCharset(3, table); break;
    default: break;
    }
}

}  // namespace vantel
