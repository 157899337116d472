#pragma once

#include <cmath>

namespace platform::gfx {

// A backing scale to draw with: the one given when it is a positive finite number, else 1.
inline double usableScale(double scale) { return std::isfinite(scale) && scale > 0 ? scale : 1.0; }

}  // namespace platform::gfx
