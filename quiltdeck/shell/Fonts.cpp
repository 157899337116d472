#include "quiltdeck/shell/Fonts.h"

#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

#include "platform/gfx/ApplicationFonts.h"
#include "quiltdeck/shell/Resources.h"
#include "quiltdeck/shell/StoredSettings.h"

namespace quiltdeck {

namespace fs = std::filesystem;
using platform::gfx::FontWeight;

namespace {

constexpr std::string_view interFamily = "Inter";

std::optional<std::string_view> interName(FontWeight weight) {
    switch (weight) {
        case FontWeight::regular: return "Inter-Regular";
        case FontWeight::medium: return "Inter-Medium";
        case FontWeight::semibold: return "Inter-SemiBold";
        case FontWeight::bold: return "Inter-Bold";
        default: return std::nullopt;
    }
}

std::vector<fs::path> filesWithExtension(const fs::path& folder, std::string_view extension) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->path().extension() == extension && it->is_regular_file(error)) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int Fonts::registerBundled() {
    static bool registered = false;
    if (registered) return 0;
    registered = true;
    const fs::path folder = Resources::folder() / "fonts";
    int added = 0;
    for (std::string_view extension : {".ttf", ".otf"}) {
        for (const fs::path& file : filesWithExtension(folder, extension)) {
            if (platform::gfx::ApplicationFonts::add(file)) ++added;
        }
    }
    if (added > 0) platform::gfx::ApplicationFonts::changed();
    return added;
}

platform::gfx::InterfaceFont Fonts::ui(double size, FontWeight weight) {
    registerBundled();
    if (const auto name = interName(weight)) {
        const auto face = platform::gfx::ApplicationFonts::faceName(interFamily, weight);
        if (face && *face == *name) return {std::string(interFamily), weight, size, *face};
    }
    return platform::gfx::InterfaceFont::system(size, weight);
}

platform::gfx::FontRef Fonts::terminal(double size) { return terminal(size, StoredSettings::shared().fontName()); }

platform::gfx::InterfaceFont Fonts::terminalText(double size) {
    platform::gfx::InterfaceFont font;
    font.size = size;
    if (auto terminal = Fonts::terminal(size)) font.family = terminal->family();
    else font.family = "monospace";
    return font;
}

std::string_view Fonts::choiceOf(std::string_view stored) {
    return stored == StoredSettings::formerDefaultFontName ? carriedTerminalFont : stored;
}

platform::gfx::FontRef Fonts::terminal(double size, std::string_view storedChoice) {
    registerBundled();
    storedChoice = choiceOf(storedChoice);
    for (const auto& choice : choices) {
        if (choice.label != storedChoice || !choice.family) continue;
        // fontconfig always answers with some face; only the family asked for counts.
        if (!platform::gfx::ApplicationFonts::faceName(*choice.family, FontWeight::regular)) break;
        if (auto font = platform::gfx::Font::create(*choice.family, size)) return font;
        break;
    }
    return platform::gfx::Font::systemFont(size);
}

}  // namespace quiltdeck
