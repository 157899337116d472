#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
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

// The text with each escaped surrogate that has no partner written as \ufffd: JSON.stringify
// writes half an emoji as a lone "\ud83d", which the grammar allows and this parser refuses, so a
// whole document would be lost for one character. Nothing when the text holds none (the usual
// case: no copy).
std::optional<std::string> jsonLoneSurrogatesReplaced(std::string_view text);

// Another program's JSON text parsed: discarded when it is no JSON or nests deeper than
// `nestingLimit`, a lone escaped surrogate read as U+FFFD.
nlohmann::json parseJsonText(std::string_view text, int nestingLimit);

}  // namespace quiltdeck
