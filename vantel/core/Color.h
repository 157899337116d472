#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantel {

// An RGB colour with 16-bit channels, used by palettes and colour settings.
// Cells never hold one; they hold palette indices or 8-bit direct colours.
struct Color {
    uint16_t red = 0;
    uint16_t green = 0;
    uint16_t blue = 0;

    constexpr Color() = default;
    constexpr Color(uint16_t r, uint16_t g, uint16_t b) : red(r), green(g), blue(b) {}
    // Each 8-bit channel (values above 255 count as 255) times 257.
    static constexpr Color fromRgb8(uint16_t r, uint16_t g, uint16_t b) {
        auto scale = [](uint16_t v) { return static_cast<uint16_t>((v > 255 ? 255 : v) * 257); };
        return Color(scale(r), scale(g), scale(b));
    }

    // "rgb:rrrr/gggg/bbbb" with four lower-case hexadecimal digits per channel.
    std::string formatAsXcolor() const;
    std::string formatted() const { return formatAsXcolor(); }

    // Validates "#" + 3/6/9/12 hex digits or "rgb:" + three groups of 1-4 hex digits, then parses.
    static std::optional<Color> parse(std::string_view text);
    // The lenient parser the OSC handlers use directly.
    static std::optional<Color> parseColor(std::string_view bytes);

    static std::vector<Color> generateXtermPalette(const std::vector<Color>& initialColors);
    static std::vector<Color> generateBase16LabPalette(const std::vector<Color>& initialColors,
                                                       std::optional<Color> backgroundColor,
                                                       std::optional<Color> foregroundColor, bool harmonious);

    // Conversions to and from a host's sRGB colour with components in 0...1.
    static Color fromComponents(double red, double green, double blue);
    std::array<double, 4> components() const;  // red, green, blue, alpha 1

    static const Color defaultForeground;
    static const Color defaultBackground;
    static const std::vector<Color>& defaultInstalledColors();
    static const std::vector<Color>& xtermColors();
    static const std::vector<Color>& vgaColors();
    static const std::vector<Color>& terminalAppColors();
    static const std::vector<Color>& paleColors();

    friend constexpr bool operator==(const Color&, const Color&) = default;
};

inline constexpr Color Color::defaultForeground{0x8A3D, 0x8A3D, 0x8A3D};
inline constexpr Color Color::defaultBackground{0, 0, 0};

// How palette entries 16-255 are derived from the 16 base colours.
enum class Ansi256PaletteStrategy : uint8_t { xterm, base16Lab, base16LabHarmonious };

}  // namespace vantel
