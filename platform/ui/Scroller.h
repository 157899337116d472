#pragma once

namespace platform::ui {

// The state of a vertical scroller beside a scrolling view: whether it can be used, where its knob
// stands (0 top ... 1 bottom), how much of the track the knob takes, and its look. A model: the
// toolkit backend shows it; the headless backend keeps just the values.
class Scroller {
public:
    enum class Style { legacy, overlay };

    // The width a scroller of the regular size takes beside the content, in points.
    static constexpr double regularWidth = 15;
    static double scrollerWidth(Style) { return regularWidth; }

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    double doubleValue() const { return value_; }
    void setDoubleValue(double value);
    double knobProportion() const { return knobProportion_; }
    void setKnobProportion(double proportion);
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden) { hidden_ = hidden; }
    Style style() const { return style_; }
    void setStyle(Style style) { style_ = style; }

private:
    bool enabled_ = false;
    double value_ = 0;
    double knobProportion_ = 0;
    bool hidden_ = false;
    Style style_ = Style::overlay;
};

}  // namespace platform::ui
