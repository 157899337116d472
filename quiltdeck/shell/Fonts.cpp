#include "quiltdeck/shell/Fonts.h"

#include <cctype>
#include <string>

#include "quiltdeck/sessions/Store.h"

namespace quiltdeck {

namespace {

bool sameFamily(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace

platform::gfx::FontRef Fonts::terminal(double size) { return terminal(size, Store::shared().fontName()); }

platform::gfx::FontRef Fonts::terminal(double size, std::string_view storedChoice) {
    for (const auto& choice : choices) {
        if (choice.label != storedChoice || !choice.family) continue;
        // fontconfig always answers with some face; only the family asked for counts.
        auto font = platform::gfx::Font::create(*choice.family, size);
        if (font && sameFamily(font->family(), *choice.family)) return font;
        break;
    }
    return platform::gfx::Font::systemFont(size);
}

}  // namespace quiltdeck
