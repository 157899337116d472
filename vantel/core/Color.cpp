#include "vantel/core/Color.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vantel {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

uint16_t scaleChannel(uint32_t value, int digits) {
    switch (digits) {
    case 1: return static_cast<uint16_t>(value * 0x1010);
    case 2: return static_cast<uint16_t>(std::min<uint32_t>(value, 255) * 257);
    case 3: return static_cast<uint16_t>(((value << 4) | (value >> 4)) & 0xFFFF);
    default: return static_cast<uint16_t>(value);
    }
}

std::vector<Color> palette(std::initializer_list<uint32_t> rgb) {
    std::vector<Color> colors;
    for (uint32_t v : rgb) colors.push_back(Color::fromRgb8((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
    return colors;
}

struct Lab {
    double l, a, b;
};

constexpr double whiteX = 0.95047, whiteY = 1.0, whiteZ = 1.08883;

Lab toLab(const Color& color) {
    auto linear = [](uint16_t channel) {
        double v8 = std::min(std::round(channel / 65535.0 * 255.0), 255.0);
        double c = v8 / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    double r = linear(color.red), g = linear(color.green), b = linear(color.blue);
    double x = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / whiteX;
    double y = (0.2126729 * r + 0.7151522 * g + 0.072175 * b) / whiteY;
    double z = (0.0193339 * r + 0.119192 * g + 0.9503041 * b) / whiteZ;
    auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; };
    double fx = f(x), fy = f(y), fz = f(z);
    return Lab{116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

Color fromLab(const Lab& lab) {
    double fy = (lab.l + 16.0) / 116.0;
    double fx = lab.a / 500.0 + fy;
    double fz = fy - lab.b / 200.0;
    auto finv = [](double t) {
        double t3 = t * t * t;
        return t3 > 0.008856 ? t3 : (t - 16.0 / 116.0) / 7.787;
    };
    double x = finv(fx) * whiteX, y = finv(fy) * whiteY, z = finv(fz) * whiteZ;
    double r = 3.2404542 * x - 1.5371385 * y - 0.4985314 * z;
    double g = -0.969266 * x + 1.8760108 * y + 0.041556 * z;
    double b = 0.0556434 * x - 0.2040259 * y + 1.0572252 * z;
    auto encode = [](double c) {
        c = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055;
        c = std::clamp(c, 0.0, 1.0);
        return static_cast<uint16_t>(static_cast<uint8_t>(c * 255.0 + 0.5) * 257);
    };
    return Color(encode(r), encode(g), encode(b));
}

Lab lerp(const Lab& x, const Lab& y, double t) {
    return Lab{x.l + (y.l - x.l) * t, x.a + (y.a - x.a) * t, x.b + (y.b - x.b) * t};
}

}  // namespace

std::string Color::formatAsXcolor() const {
    char text[32];
    std::snprintf(text, sizeof text, "rgb:%04x/%04x/%04x", red, green, blue);
    return text;
}

std::optional<Color> Color::parse(std::string_view text) {
    auto allHex = [](std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return hexValue(c) >= 0; });
    };
    bool valid = false;
    if (!text.empty() && text[0] == '#') {
        std::string_view digits = text.substr(1);
        size_t n = digits.size();
        valid = (n == 3 || n == 6 || n == 9 || n == 12) && allHex(digits);
    } else if (text.substr(0, 4) == "rgb:") {
        std::string_view rest = text.substr(4);
        int groups = 0;
        valid = true;
        while (valid) {
            size_t slash = rest.find('/');
            std::string_view group = rest.substr(0, slash);
            valid = !group.empty() && group.size() <= 4 && allHex(group);
            ++groups;
            if (slash == std::string_view::npos) break;
            rest = rest.substr(slash + 1);
        }
        valid = valid && groups == 3;
    }
    return valid ? parseColor(text) : std::nullopt;
}

std::optional<Color> Color::parseColor(std::string_view bytes) {
    if (!bytes.empty() && bytes[0] == '#') {
        std::string_view digits = bytes.substr(1);
        int per = 0;
        switch (digits.size()) {
        case 3: per = 1; break;
        case 6: per = 2; break;
        case 9: per = 3; break;
        case 12: per = 4; break;
        default: return std::nullopt;
        }
        uint32_t channel[3] = {0, 0, 0};
        for (int c = 0; c < 3; ++c) {
            for (int k = 0; k < per; ++k) {
                int v = hexValue(digits[c * per + k]);
                if (v < 0) return std::nullopt;
                channel[c] = channel[c] * 16 + v;
            }
        }
        return Color(scaleChannel(channel[0], per), scaleChannel(channel[1], per), scaleChannel(channel[2], per));
    }
    if (bytes.substr(0, 4) == "rgb:") {
        size_t i = 4;
        uint32_t channel[3] = {0, 0, 0};
        int longest = 0;
        for (int c = 0; c < 3; ++c) {
            int digits = 0;
            while (i < bytes.size() && digits < 4 && hexValue(bytes[i]) >= 0) {
                channel[c] = channel[c] * 16 + hexValue(bytes[i]);
                ++i;
                ++digits;
            }
            longest = std::max(longest, digits);
            if (i < bytes.size() && bytes[i] == '/') ++i;
        }
        if (longest == 0) return std::nullopt;
        return Color(scaleChannel(channel[0], longest), scaleChannel(channel[1], longest),
                     scaleChannel(channel[2], longest));
    }
    return std::nullopt;
}

std::vector<Color> Color::generateXtermPalette(const std::vector<Color>& initialColors) {
    static constexpr uint16_t levels[6] = {0x00, 0x5F, 0x87, 0xAF, 0xD7, 0xFF};
    std::vector<Color> result = initialColors;
    result.reserve(initialColors.size() + 240);
    for (int i = 0; i < 216; ++i) {
        result.push_back(fromRgb8(levels[(i / 36) % 6], levels[(i / 6) % 6], levels[i % 6]));
    }
    for (int k = 0; k < 24; ++k) {
        uint16_t v = static_cast<uint16_t>((0x08 + 10 * k) * 257);
        result.push_back(Color(v, v, v));
    }
    return result;
}

std::vector<Color> Color::generateBase16LabPalette(const std::vector<Color>& initialColors,
                                                   std::optional<Color> backgroundColor,
                                                   std::optional<Color> foregroundColor, bool harmonious) {
    if (initialColors.size() < 8) return generateXtermPalette(initialColors);
    Lab base[8];
    for (int i = 0; i < 8; ++i) base[i] = toLab(initialColors[i]);
    if (backgroundColor) base[0] = toLab(*backgroundColor);
    if (foregroundColor) base[7] = toLab(*foregroundColor);
    // Keep the cube running from dark to light unless the background must stay at its corner.
    if (!harmonious && base[7].l < base[0].l) std::swap(base[0], base[7]);

    std::vector<Color> result = initialColors;
    result.reserve(initialColors.size() + 240);
    for (int r = 0; r < 6; ++r) {
        double tr = r / 5.0;
        Lab c0 = lerp(base[0], base[1], tr), c1 = lerp(base[2], base[3], tr);
        Lab c2 = lerp(base[4], base[5], tr), c3 = lerp(base[6], base[7], tr);
        for (int g = 0; g < 6; ++g) {
            double tg = g / 5.0;
            Lab d0 = lerp(c0, c1, tg), d1 = lerp(c2, c3, tg);
            for (int b = 0; b < 6; ++b) result.push_back(fromLab(lerp(d0, d1, b / 5.0)));
        }
    }
    for (int k = 1; k <= 24; ++k) result.push_back(fromLab(lerp(base[0], base[7], k / 25.0)));
    return result;
}

Color Color::fromComponents(double r, double g, double b) {
    auto channel = [](double v) {
        if (std::isnan(v)) v = 0;
        return static_cast<uint16_t>(std::clamp(v, 0.0, 1.0) * 65535.0);
    };
    return Color(channel(r), channel(g), channel(b));
}

std::array<double, 4> Color::components() const { return {red / 65535.0, green / 65535.0, blue / 65535.0, 1.0}; }

const std::vector<Color>& Color::defaultInstalledColors() {
    static const std::vector<Color> colors = palette({0x000000, 0x990001, 0x00A603, 0x999900, 0x0300B2, 0xB200B2,
                                                      0x00A5B2, 0xBFBFBF, 0x8A898A, 0xE50001, 0x00D800, 0xE5E500,
                                                      0x0700FE, 0xE500E5, 0x00E5E5, 0xE5E5E5});
    return colors;
}

const std::vector<Color>& Color::xtermColors() {
    static const std::vector<Color> colors = palette({0x000000, 0xCD0000, 0x00CD00, 0xCDCD00, 0x0000EE, 0xCD00CD,
                                                      0x00CDCD, 0xE5E5E5, 0x7F7F7F, 0xFF0000, 0x00FF00, 0xFFFF00,
                                                      0x5C5CFF, 0xFF00FF, 0x00FFFF, 0xFFFFFF});
    return colors;
}

const std::vector<Color>& Color::vgaColors() {
    static const std::vector<Color> colors = palette({0x000000, 0xAA0000, 0x00AA00, 0xAA5500, 0x0000AA, 0xAA00AA,
                                                      0x00AAAA, 0xAAAAAA, 0x555555, 0xFF5555, 0x55FF55, 0xFFFF55,
                                                      0x5555FF, 0xFF55FF, 0x55FFFF, 0xFFFFFF});
    return colors;
}

const std::vector<Color>& Color::terminalAppColors() {
    static const std::vector<Color> colors = palette({0x000000, 0xC23621, 0x25BC24, 0xADAD27, 0x492EE1, 0xD338D3,
                                                      0x33BBC8, 0xCBCCCD, 0x818383, 0xFC391F, 0x31E722, 0xEAEC23,
                                                      0x5833FF, 0xF935F8, 0x14F0F0, 0xE9EBEB});
    return colors;
}

const std::vector<Color>& Color::paleColors() {
    static const std::vector<Color> colors = palette({0x2E3436, 0xCC0000, 0x4E9A06, 0xC4A000, 0x3465A4, 0x75507B,
                                                      0x06989A, 0xD3D7CF, 0x555753, 0xEF2929, 0x8AE234, 0xFCE94F,
                                                      0x729FCF, 0xAD7FA8, 0x34E2E2, 0xEEEEEC});
    return colors;
}

}  // namespace vantel
