#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quiltdeck {

// Path strings as the picker and the logos read them: plain text, not normalised.

// The rest of `path` after `home` when home is its leading part, followed by
// "/" or the end ("/x" or ""); nothing otherwise. Trailing slashes of home are
// ignored; an empty home matches nothing.
std::optional<std::string_view> pathBelowHome(std::string_view path, std::string_view home);

// `path` with a leading home folder written as "~".
std::string abbreviatingHome(std::string_view path, std::string_view home);

// The last component ("shop" of "/a/shop/"); "/" for the root folder.
std::string lastPathComponent(std::string_view path);
// The path without its last component ("/a" of "/a/shop", "/" of "/a").
std::string deletingLastPathComponent(std::string_view path);

// Unicode lower and upper case, independent of the interface language.
std::string lowerCased(std::string_view text);
std::string upperCased(std::string_view text);

}  // namespace quiltdeck
