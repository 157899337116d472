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

std::vector<Fonts::Choice> Fonts::choices() {
    registerBundled();
    std::vector<Choice> offered{{std::string(systemMonospace), std::nullopt}};
    const std::vector<std::string> families = platform::gfx::ApplicationFonts::monospaceFamilies();
    if (std::find(families.begin(), families.end(), carriedTerminalFont) != families.end())
        offered.push_back({std::string(carriedTerminalFont), std::string(carriedTerminalFont)});
    for (const std::string& family : families) {
        if (family != carriedTerminalFont) offered.push_back({family, family});
    }
    return offered;
}

platform::gfx::FontRef Fonts::terminal(double size, std::string_view storedChoice) {
    registerBundled();
    storedChoice = choiceOf(storedChoice);
    // A family of its own, not one fontconfig stands in for it (it answers any name with a face).
    if (storedChoice != systemMonospace && !storedChoice.empty() &&
        platform::gfx::ApplicationFonts::faceName(storedChoice, FontWeight::regular)) {
        if (auto font = platform::gfx::Font::create(std::string(storedChoice), size)) return font;
    }
    return platform::gfx::Font::systemFont(size);
}

}  // namespace quiltdeck
