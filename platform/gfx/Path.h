#pragma once

#include <vector>

#include "platform/gfx/Rect.h"

namespace platform::gfx {

// A vector path in the canvas's user space (y-up points), replayed by Canvas::fill and Canvas::stroke.
class Path {
public:
    enum class Verb : unsigned char { move, line, curve, arc, close };

    void moveTo(Point p);
    void lineTo(Point p);
    void curveTo(Point control1, Point control2, Point end);
    // Angles in radians from the x axis; `clockwise` as seen with y up.
    void arc(Point center, double radius, double startAngle, double endAngle, bool clockwise = false);
    void addRect(const Rect& r);
    // A rectangle with quarter-circle corners; the radius is cut to half the shorter side.
    void addRoundedRect(const Rect& r, double radius);
    void close();

    bool isEmpty() const { return verbs_.empty(); }

    // The length of the outline (curves measured along a fine polyline).
    double length() const;
    // The part of the outline from one fraction of its length to another (0...1), as a stroke
    // draws it: pieces of lines and arcs, curves as polylines. Empty when `to` <= `from`.
    Path trimmed(double from, double to) const;

    struct Element {
        Verb verb;
        const double* values;  // move, line: x y; curve: 6; arc: cx cy r start end clockwise
    };
    template <typename F>
    void forEach(F&& f) const {
        const double* v = values_.data();
        for (Verb verb : verbs_) {
            f(Element{verb, v});
            v += valueCount(verb);
        }
    }

private:
    static int valueCount(Verb verb);

    std::vector<Verb> verbs_;
    std::vector<double> values_;
};

}  // namespace platform::gfx
