#include "quiltdeck/sessions/PathText.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace quiltdeck {

namespace {

std::string_view withoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return path;
}

}  // namespace

std::optional<std::string_view> pathBelowHome(std::string_view path, std::string_view home) {
    if (home.empty()) return std::nullopt;
    home = withoutTrailingSlashes(home);
    // The root folder as home: its slash is the one that follows it.
    if (home == "/") home = {};
    if (!path.starts_with(home)) return std::nullopt;
    std::string_view rest = path.substr(home.size());
    if (!rest.empty() && rest.front() != '/') return std::nullopt;
    return rest;
}

std::string abbreviatingHome(std::string_view path, std::string_view home) {
    const auto rest = pathBelowHome(path, home);
    if (!rest) return std::string(path);
    std::string result = "~";
    result.append(*rest);
    return result;
}

std::string lastPathComponent(std::string_view path) {
    path = withoutTrailingSlashes(path);
    if (path == "/") return "/";
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string deletingLastPathComponent(std::string_view path) {
    path = withoutTrailingSlashes(path);
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return "";
    if (slash == 0) return "/";
    return std::string(withoutTrailingSlashes(path.substr(0, slash)));
}

std::string lowerCased(std::string_view text) {
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    unicode.toLower(icu::Locale::getRoot());
    std::string result;
    unicode.toUTF8String(result);
    return result;
}

std::string upperCased(std::string_view text) {
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    unicode.toUpper(icu::Locale::getRoot());
    std::string result;
    unicode.toUTF8String(result);
    return result;
}

}  // namespace quiltdeck
