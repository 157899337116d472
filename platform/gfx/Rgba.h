#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace platform::gfx {

// A colour in sRGB with straight (not premultiplied) alpha; components 0...1.
struct Rgba {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    static constexpr Rgba fromBytes(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
        return Rgba{r / 255.0, g / 255.0, b / 255.0, a / 255.0};
    }

    // Cairo's pixel word: premultiplied 0xAARRGGBB, components clamped (NaN reads as 0).
    uint32_t premultipliedArgb() const {
        double a = unit(alpha);
        auto byte = [](double v) { return static_cast<uint32_t>(std::lround(v * 255.0)); };
        return byte(a) << 24 | byte(unit(red) * a) << 16 | byte(unit(green) * a) << 8 | byte(unit(blue) * a);
    }

    friend constexpr bool operator==(const Rgba&, const Rgba&) = default;

private:
    static double unit(double v) { return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0); }
};

}  // namespace platform::gfx
