#pragma once

#include <string_view>

namespace quiltdeck {

// Whether no array or object in the JSON text lies deeper than `limit` levels.
// Copying, comparing and printing a parsed value recurse once per level, so
// text from outside is measured before it is parsed. Text that is not JSON
// passes when its brackets do.
bool jsonNestedWithin(std::string_view text, int limit);

// Whether every number of the JSON text (outside strings) fits a double: the grammar allows
// 1e999, which no parser here can hold, so a document with one would be read as nothing.
bool jsonNumbersFinite(std::string_view text);

}  // namespace quiltdeck
