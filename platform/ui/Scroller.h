#pragma once

#include <functional>

#include "platform/ui/View.h"

namespace platform::ui {

// A vertical scroller beside a scrolling view, drawn by us: a slot and a knob whose place shows
// the value (0 top ... 1 bottom) and whose length shows the knob proportion. A press on the knob
// drags it (the action runs with hitPart() knob as the value moves); a press in the slot above or
// below the knob pages (decrementPage, incrementPage). The overlay style shows a thin knob and no
// slot; the legacy style a slot and a wider knob, and takes more room. Headless it behaves the
// same; tests drive it with mouse events.
class Scroller : public View {
public:
    enum class Style { legacy, overlay };
    enum class Part { noPart, decrementPage, knob, incrementPage, decrementLine, incrementLine, knobSlot };

    // The width a scroller of the regular size takes beside the content, in points.
    static constexpr double overlayWidth = 15;
    static constexpr double legacyWidth = 17;
    static double scrollerWidth(Style style) { return style == Style::legacy ? legacyWidth : overlayWidth; }
    // A knob is never shorter than this.
    static constexpr double minimumKnobLength = 18;

    explicit Scroller(const Rect& frame = {});

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    double doubleValue() const { return value_; }
    // Clamped to 0...1; a value that is not finite is ignored.
    void setDoubleValue(double value);
    double knobProportion() const { return knobProportion_; }
    void setKnobProportion(double proportion);
    Style style() const { return style_; }
    void setStyle(Style style);

    // The action, run when the user moves the scroller; hitPart() tells how.
    std::function<void(Scroller&)> action;
    Part hitPart() const { return hitPart_; }
    // The part under a point of the scroller (its own coordinates).
    Part testPart(Point point) const;
    Rect rectForPart(Part part) const;

    void draw(gfx::Canvas& canvas, const Rect& dirty) override;
    // Nothing while disabled; the overlay style paints only its knob.
    Rect paintedBounds() const override;
    void mouseDown(const MouseEvent& event) override;
    void mouseDragged(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;

    // Grey: it shows on dark and on light backgrounds alike.
    static constexpr gfx::Rgba knobColor{0.55, 0.55, 0.55, 0.8};
    static constexpr gfx::Rgba slotColor{0.5, 0.5, 0.5, 0.15};

private:
    // The knob's length and the distance it can travel.
    double knobLength() const;
    double travel() const { return std::max(0.0, bounds().height - knobLength()); }
    void fire(Part part);
    // The knob moved or changed length: only where it was and where it is are drawn again.
    void knobChanged(const Rect& before);

    bool enabled_ = false;
    double value_ = 0;
    double knobProportion_ = 0;
    Style style_ = Style::overlay;
    Part hitPart_ = Part::noPart;
    // While the knob is dragged: where in the knob it was taken (from its top edge).
    std::optional<double> dragGrip_;
};

}  // namespace platform::ui
