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
    constexpr bool contains(const Rect& o) const {
        return o.x >= x && o.y >= y && o.maxX() <= maxX() && o.maxY() <= maxY();
    }
    // The common part; empty (all zero) when they do not meet.
    constexpr Rect intersection(const Rect& o) const {
        if (!intersects(o)) return Rect{};
        double x0 = std::max(x, o.x), y0 = std::max(y, o.y);
        return Rect{x0, y0, std::min(maxX(), o.maxX()) - x0, std::min(maxY(), o.maxY()) - y0};
    }
    // The smallest rectangle holding both; an empty one adds nothing.
    constexpr Rect united(const Rect& o) const {
        if (o.isEmpty()) return *this;
        if (isEmpty()) return o;
        double x0 = std::min(x, o.x), y0 = std::min(y, o.y);
        return Rect{x0, y0, std::max(maxX(), o.maxX()) - x0, std::max(maxY(), o.maxY()) - y0};
    }

    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace platform::gfx
