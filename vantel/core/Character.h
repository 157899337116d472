#pragma once

#include <string>
#include <string_view>

#include "vantel/core/Utf8.h"

namespace vantel {

// One user-perceived character (an extended grapheme cluster) as its Unicode scalars.
using Character = std::u32string;

// UTF-16 encoding of one scalar (a surrogate pair above U+FFFF).
void appendUtf16(std::u16string& out, char32_t scalar);

}  // namespace vantel
