#pragma once

#include <string>
#include <string_view>

namespace vantel {

// One user-perceived character (an extended grapheme cluster) as its Unicode scalars.
using Character = std::u32string;

// UTF-8 encoding of scalars; invalid scalars become U+FFFD.
void appendUtf8(std::string& out, char32_t scalar);
// UTF-16 encoding of one scalar (a surrogate pair above U+FFFF).
void appendUtf16(std::u16string& out, char32_t scalar);
std::string toUtf8(std::u32string_view scalars);

// Decodes UTF-8; each malformed sequence (as the print path reads it) becomes one U+FFFD.
std::u32string fromUtf8(std::string_view bytes);

// Strict validation (no surrogates, no overlongs, nothing above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

inline bool isUnicodeScalar(uint32_t value) {
    return value < 0x110000 && (value < 0xD800 || value > 0xDFFF);
}

}  // namespace vantel
