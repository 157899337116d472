#include "platform/ui/Scroller.h"

#include <algorithm>
#include <cmath>

namespace platform::ui {

namespace {

double unit(double v, double otherwise) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : otherwise; }

}  // namespace

void Scroller::setDoubleValue(double value) { value_ = unit(value, value_); }

void Scroller::setKnobProportion(double proportion) { knobProportion_ = unit(proportion, knobProportion_); }

}  // namespace platform::ui
