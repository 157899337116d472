#include "platform/ui/Screen.h"

#include <cmath>

namespace platform::ui {

namespace {

std::optional<double>& mainScale() {
    static std::optional<double> scale;
    return scale;
}

}  // namespace

std::optional<double> Screen::mainBackingScaleFactor() { return mainScale(); }

void Screen::setMainBackingScaleFactor(std::optional<double> scale) {
    if (scale && !(std::isfinite(*scale) && *scale > 0)) scale.reset();
    mainScale() = scale;
}

namespace {

std::optional<gfx::Rect>& workArea() {
    static std::optional<gfx::Rect> area;
    return area;
}

}  // namespace

std::optional<gfx::Rect> Screen::mainWorkArea() { return workArea(); }

void Screen::setMainWorkArea(std::optional<gfx::Rect> area) { workArea() = area; }

}  // namespace platform::ui
