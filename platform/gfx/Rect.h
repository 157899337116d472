#pragma once

#include <algorithm>

namespace platform::gfx {

// Geometry in points. Views use y-up coordinates: the origin is the lower-left corner.
struct Point {
    double x = 0;
    double y = 0;
    friend constexpr bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend constexpr bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    constexpr double minX() const { return x; }
    constexpr double minY() const { return y; }
    constexpr double maxX() const { return x + width; }
    constexpr double maxY() const { return y + height; }
    constexpr bool isEmpty() const { return !(width > 0 && height > 0); }
    constexpr bool intersects(const Rect& o) const {
        return !isEmpty() && !o.isEmpty() && x < o.maxX() && o.x < maxX() && y < o.maxY() && o.y < maxY();
    }

    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace platform::gfx
