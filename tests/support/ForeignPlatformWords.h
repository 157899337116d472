#pragma once

// Words of another desktop that must not reach a user of this one: its dock, its file manager,
// its drawing and GPU layers, its fonts (and another's that this system lacks) and its name, also as the other languages write them.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace testing_support {

// The first such word in `text`, as written there; none when it has none. "Mac" counts only as
// a word of its own ("Machine" and "Macro" pass), "dock" at the start of a word in any case and
// inflection ("Docku").
inline std::optional<std::string> foreignPlatformWord(std::string_view text) {
    static constexpr std::array<std::string_view, 13> anywhere = {
        "bundle.sh", "Metal", "CoreGraphics", "Core Graphics", "Finder", "SF Mono", "Menlo", "Monaco", "Courier New",
        "macOS", "程序坞", "Мак", "苹果电脑"};
    for (std::string_view word : anywhere) {
        if (text.find(word) != std::string_view::npos) return std::string(word);
    }
    auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    for (size_t at = text.find("Mac"); at != std::string_view::npos; at = text.find("Mac", at + 1)) {
        const bool starts = at == 0 || !letter(text[at - 1]);
        const bool ends = at + 3 >= text.size() || !letter(text[at + 3]) || text[at + 3] == 's';
        if (starts && ends) return std::string(text.substr(at, 3));
    }
    for (size_t at = 0; at + 4 <= text.size(); ++at) {
        std::string word;
        for (size_t i = 0; i < 4; ++i) word += static_cast<char>(text[at + i] | 0x20);
        const bool starts = at == 0 || !letter(text[at - 1]);
        if (starts && (word == "dock" || word == "doki")) return std::string(text.substr(at, 4));
    }
    return std::nullopt;
}

}  // namespace testing_support
