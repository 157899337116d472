#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

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
};

}  // namespace platform::gfx
