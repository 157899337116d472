#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/InterfaceFont.h"

namespace platform::gfx {

// Fonts the application carries among its resources, made known to this process only: fontconfig
// (and so every Font) and Pango's interface text see them once added. Main thread.
class ApplicationFonts {
public:
    ApplicationFonts() = delete;

    // Adds one font file; false when fontconfig cannot read it.
    static bool add(const std::filesystem::path& file);
    // Tells the interface text layer that the set of fonts changed.
    static void changed();
    // The PostScript name of the face fontconfig picks for a family at a weight, when that face
    // really is of the family (fontconfig answers any request with some face).
    static std::optional<std::string> faceName(std::string_view family, FontWeight weight);
    // The families of the monospaced faces fontconfig knows, the added ones too, each by its first
    // name, sorted: what a terminal can be drawn in. Colour faces (emoji) and faces without Latin
    // letters and digits are left out.
    static std::vector<std::string> monospaceFamilies();
};

}  // namespace platform::gfx
