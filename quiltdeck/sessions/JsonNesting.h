#pragma once

#include <string_view>

namespace quiltdeck {

// Whether no array or object in the JSON text lies deeper than `limit` levels.
// Copying, comparing and printing a parsed value recurse once per level, so
// text from outside is measured before it is parsed. Text that is not JSON
// passes when its brackets do.
bool jsonNestedWithin(std::string_view text, int limit);

}  // namespace quiltdeck
