#include "quiltdeck/shell/LaunchOptions.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace quiltdeck {

namespace {

std::string_view trimmed(std::string_view text) {
    auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

std::vector<std::filesystem::path> startupFolders(std::string_view value, const std::filesystem::path& home) {
    std::vector<std::filesystem::path> folders;
    size_t start = 0;
    while (start <= value.size()) {
        const size_t comma = value.find(',', start);
        const size_t end = comma == std::string_view::npos ? value.size() : comma;
        const std::string_view piece = trimmed(value.substr(start, end - start));
        if (!piece.empty()) {
            if (piece == "~" || piece == "~/") folders.push_back(home);
            else if (piece.starts_with("~/")) folders.push_back(home / std::filesystem::path(piece.substr(2)));
            else folders.emplace_back(piece);
        }
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return folders;
}

double snapshotDelay(const std::optional<std::string>& value) {
    constexpr double fallback = 6.0;
    if (!value || value->empty() || std::isspace(static_cast<unsigned char>(value->front()))) return fallback;
    char* end = nullptr;
    const double seconds = std::strtod(value->c_str(), &end);
    if (end != value->c_str() + value->size() || !std::isfinite(seconds)) return fallback;
    return std::max(seconds, 0.0);
}

}  // namespace quiltdeck
