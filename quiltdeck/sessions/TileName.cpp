#include "quiltdeck/sessions/TileName.h"

#include "quiltdeck/sessions/PathText.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Shorten.h"

namespace quiltdeck {

namespace {

std::optional<std::string> finish(const std::string& words) {
    std::string trimmed = trimWhiteSpace(words);
    if (trimmed.empty()) return std::nullopt;
    return trimmed;
}

}  // namespace

std::string TileName::title(std::string_view title, bool shell) {
    return shell && title == "shell" ? t("shell") : std::string(title);
}

std::string TileName::name(std::string_view name, std::string_view cwd, bool shell, std::string_view home) {
    if (!shell) return std::string(name);
    const auto below = pathBelowHome(cwd, home);
    if (name == "shell" || (below && below->empty())) return t("shell");
    return t("shell_named", {std::string(name)});
}

std::string TileName::shown(std::string_view title, std::string_view name, std::string_view cwd, bool shell,
                           std::string_view home) {
    if (!title.empty()) return TileName::title(title, shell);
    return TileName::name(name.empty() ? lastPathComponent(cwd) : std::string(name), cwd, shell, home);
}

std::optional<std::string> TileName::promptWords(std::string_view prompt) {
    static constexpr std::string_view opening = "<pasted_content";
    static constexpr std::string_view closing = "</pasted_content>";
    // Where the next opening tag starts: its name ends at a blank, "/", ">" or the prompt's end.
    auto nextOpening = [](std::string_view text) {
        for (size_t at = text.find(opening); at != std::string_view::npos; at = text.find(opening, at + 1)) {
            const size_t after = at + opening.size();
            if (after == text.size() || std::string_view(" \t\r\n/>").find(text[after]) != std::string_view::npos)
                return at;
        }
        return std::string_view::npos;
    };
    std::string words;
    std::string_view rest = prompt;
    for (size_t at = nextOpening(rest); at != std::string_view::npos; at = nextOpening(rest)) {
        words.append(rest.substr(0, at)).push_back(' ');
        const size_t tagEnd = rest.find('>', at);
        // A prompt cut short (the title takes its first kilobytes) may end inside a tag or its text.
        if (tagEnd == std::string_view::npos) return finish(words);
        const bool empty = rest[tagEnd - 1] == '/';
        rest.remove_prefix(tagEnd + 1);
        if (empty) continue;
        const size_t end = rest.find(closing);
        words.append(rest.substr(0, end)).push_back(' ');
        if (end == std::string_view::npos) return finish(words);
        rest.remove_prefix(end + closing.size());
    }
    words += rest;
    return finish(words);
}

}  // namespace quiltdeck
