#include "platform/gfx/Path.h"

#include <algorithm>
#include <cmath>

namespace platform::gfx {

int Path::valueCount(Verb verb) {
    switch (verb) {
        case Verb::move:
        case Verb::line: return 2;
        case Verb::curve: return 6;
        case Verb::arc: return 6;
        case Verb::close: return 0;
    }
    return 0;
}

void Path::moveTo(Point p) {
    verbs_.push_back(Verb::move);
    values_.insert(values_.end(), {p.x, p.y});
}

void Path::lineTo(Point p) {
    verbs_.push_back(Verb::line);
    values_.insert(values_.end(), {p.x, p.y});
}

void Path::curveTo(Point c1, Point c2, Point end) {
    verbs_.push_back(Verb::curve);
    values_.insert(values_.end(), {c1.x, c1.y, c2.x, c2.y, end.x, end.y});
}

void Path::arc(Point center, double radius, double startAngle, double endAngle, bool clockwise) {
    verbs_.push_back(Verb::arc);
    values_.insert(values_.end(), {center.x, center.y, radius, startAngle, endAngle, clockwise ? 1.0 : 0.0});
}

void Path::addRect(const Rect& r) {
    moveTo({r.x, r.y});
    lineTo({r.maxX(), r.y});
    lineTo({r.maxX(), r.maxY()});
    lineTo({r.x, r.maxY()});
    close();
}

void Path::addRoundedRect(const Rect& r, double radius) {
    if (r.isEmpty()) return;
    radius = std::clamp(radius, 0.0, std::min(r.width, r.height) / 2);
    constexpr double quarter = M_PI / 2;
    moveTo({r.x + radius, r.y});
    arc({r.maxX() - radius, r.y + radius}, radius, -quarter, 0);
    arc({r.maxX() - radius, r.maxY() - radius}, radius, 0, quarter);
    arc({r.x + radius, r.maxY() - radius}, radius, quarter, 2 * quarter);
    arc({r.x + radius, r.y + radius}, radius, 2 * quarter, 3 * quarter);
    close();
}

void Path::close() { verbs_.push_back(Verb::close); }

}  // namespace platform::gfx
