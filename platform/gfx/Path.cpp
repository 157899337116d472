#include "platform/gfx/Path.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

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

namespace {

// The outline as pieces a stroke follows: straight lines and circular arcs.
struct Piece {
    bool arc = false;
    bool startsSubpath = false;
    Point from, to;                           // a line
    Point center;                             // an arc
    double radius = 0, start = 0, sweep = 0;  // sweep signed: negative runs clockwise
    double length() const { return arc ? std::fabs(sweep) * radius : std::hypot(to.x - from.x, to.y - from.y); }
    Point at(double fraction) const {
        if (!arc) return {from.x + (to.x - from.x) * fraction, from.y + (to.y - from.y) * fraction};
        const double a = start + sweep * fraction;
        return {center.x + radius * std::cos(a), center.y + radius * std::sin(a)};
    }
};

constexpr int curveSteps = 24;

template <typename ForEach>
std::vector<Piece> piecesOf(const ForEach& forEach) {
    std::vector<Piece> pieces;
    std::optional<Point> current, subpathStart;
    bool fresh = true;
    auto line = [&](Point to) {
        if (!current) {
            current = subpathStart = to;
            fresh = true;
            return;
        }
        Piece piece;
        piece.from = *current;
        piece.to = to;
        piece.startsSubpath = std::exchange(fresh, false);
        pieces.push_back(piece);
        current = to;
    };
    forEach([&](Path::Verb verb, const double* v) {
        switch (verb) {
            case Path::Verb::move:
                current = subpathStart = Point{v[0], v[1]};
                fresh = true;
                break;
            case Path::Verb::line: line({v[0], v[1]}); break;
            case Path::Verb::curve: {
                const Point p0 = current.value_or(Point{v[0], v[1]});
                if (!current) line(p0);
                for (int i = 1; i <= curveSteps; ++i) {
                    const double t = double(i) / curveSteps, r = 1 - t;
                    line({r * r * r * p0.x + 3 * r * r * t * v[0] + 3 * r * t * t * v[2] + t * t * t * v[4],
                          r * r * r * p0.y + 3 * r * r * t * v[1] + 3 * r * t * t * v[3] + t * t * t * v[5]});
                }
                break;
            }
            case Path::Verb::arc: {
                const double radius = std::max(0.0, v[2]);
                double a0 = v[3], a1 = v[4];
                const bool clockwise = v[5] != 0;
                // As Cairo sweeps: the end is moved a turn at a time past the start.
                if (!clockwise) {
                    while (a1 < a0) a1 += 2 * M_PI;
                } else {
                    while (a1 > a0) a1 -= 2 * M_PI;
                }
                Piece piece;
                piece.arc = true;
                piece.center = {v[0], v[1]};
                piece.radius = radius;
                piece.start = a0;
                piece.sweep = a1 - a0;
                line(piece.at(0));
                piece.startsSubpath = std::exchange(fresh, false);
                pieces.push_back(piece);
                current = piece.at(1);
                break;
            }
            case Path::Verb::close:
                if (current && subpathStart) line(*subpathStart);
                fresh = true;
                current = subpathStart;
                break;
        }
    });
    return pieces;
}

}  // namespace

double Path::length() const {
    double total = 0;
    for (const Piece& piece : piecesOf([this](auto f) { forEach([&](Element e) { f(e.verb, e.values); }); })) total += piece.length();
    return total;
}

Path Path::trimmed(double from, double to) const {
    Path out;
    if (!std::isfinite(from) || !std::isfinite(to)) return out;
    from = std::clamp(from, 0.0, 1.0);
    to = std::clamp(to, 0.0, 1.0);
    if (to <= from) return out;
    const std::vector<Piece> pieces = piecesOf([this](auto f) { forEach([&](Element e) { f(e.verb, e.values); }); });
    double total = 0;
    for (const Piece& piece : pieces) total += piece.length();
    if (!(total > 0)) return out;
    const double begin = from * total, end = to * total;
    double at = 0;
    bool joined = false;
    for (const Piece& piece : pieces) {
        const double length = piece.length();
        const double a = std::max(begin, at), b = std::min(end, at + length);
        if (piece.startsSubpath) joined = false;
        if (b > a) {
            const double f0 = length > 0 ? (a - at) / length : 0, f1 = length > 0 ? (b - at) / length : 0;
            if (!joined || f0 > 0) out.moveTo(piece.at(f0));
            if (piece.arc) {
                out.arc(piece.center, piece.radius, piece.start + piece.sweep * f0, piece.start + piece.sweep * f1, piece.sweep < 0);
            } else {
                out.lineTo(piece.at(f1));
            }
            joined = f1 >= 1;
        } else {
            joined = false;
        }
        at += length;
        if (at >= end) break;
    }
    return out;
}

}  // namespace platform::gfx
