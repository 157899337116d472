#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quiltdeck {

// Characters here are user-perceived characters (extended grapheme clusters, by
// the engine's breaker); white space is the Unicode White_Space property.

// Whitespace runs collapsed to one space and trimmed; when the result has more
// than `max` characters, its first max - 1 characters trimmed of " ,.:;-" at both
// ends, then "…". Empty when max < 1.
std::string shorten(std::string_view text, int max);

bool isWhiteSpace(char32_t c);
// The text without white space at either end.
std::string trimWhiteSpace(std::string_view text);
// The first `count` characters of the text (all of it when it has fewer).
std::string firstCharacters(std::string_view text, size_t count);
// The last `count` characters of the text (all of it when it has fewer).
std::string lastCharacters(std::string_view text, size_t count);
size_t characterCount(std::string_view text);

// At most `bytes` bytes from the start of the text, ending on a UTF-8 sequence boundary (never
// half a character). Cheap on any length: what bounds a text before it is measured or drawn.
std::string_view prefixWithin(std::string_view text, size_t bytes);

}  // namespace quiltdeck
