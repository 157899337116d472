#pragma once

#include <optional>
#include <string>

namespace platform::gfx {

// Weights of interface text, as CSS and OpenType number them.
enum class FontWeight : int {
    thin = 100,
    ultraLight = 200,
    light = 300,
    regular = 400,
    medium = 500,
    semibold = 600,
    bold = 700,
    heavy = 800,
    black = 900,
};

// A font for interface text (labels, buttons, titles), laid out by Pango: a family, a weight and
// a size in points. `face` names the exact face when one was asked for and found.
struct InterfaceFont {
    // The desktop's sans-serif font, as fontconfig resolves it.
    static constexpr const char* systemFamily = "sans-serif";

    std::string family = systemFamily;
    FontWeight weight = FontWeight::regular;
    double size = 13;
    std::optional<std::string> face;

    static InterfaceFont system(double size, FontWeight weight) { return {systemFamily, weight, size, std::nullopt}; }
    bool isSystem() const { return family == systemFamily; }
    friend bool operator==(const InterfaceFont&, const InterfaceFont&) = default;
};

}  // namespace platform::gfx
