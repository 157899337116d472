#include "vantel/core/Character.h"

namespace vantel {

void appendUtf16(std::u16string& out, char32_t scalar) {
    if (scalar < 0x10000) {
        out.push_back(static_cast<char16_t>(scalar));
    } else {
        scalar -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (scalar >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (scalar & 0x3FF)));
    }
}

}  // namespace vantel
