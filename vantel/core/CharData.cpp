#include "vantel/core/CharData.h"

namespace vantel {

Character CharData::getCharacter() const {
    if (code < 0 || !isUnicodeScalar(static_cast<uint32_t>(code))) return U" ";
    return Character(1, static_cast<char32_t>(code));
}

std::string CharData::debugDescription() const {
    std::string out = "CharData: " + std::to_string(code) + " ";
    if (code >= 0 && isUnicodeScalar(static_cast<uint32_t>(code))) {
        appendUtf8(out, static_cast<char32_t>(code));
    } else {
        out += "?";
    }
    return out;
}

}  // namespace vantel
