#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/gfx/Canvas.h"

namespace platform::gfx::testing {

// The device-pixel box (half open) around the pixels with ink, or, given `before`, around the
// pixels that differ from it. Empty when there are none.
struct InkBox {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = 0, y1 = 0;
    bool isEmpty() const { return x1 <= x0 || y1 <= y0; }
};

inline InkBox inkBox(const Canvas& canvas, const Canvas* before = nullptr) {
    InkBox box;
    for (int y = 0; y < canvas.pixelHeight(); ++y) {
        for (int x = 0; x < canvas.pixelWidth(); ++x) {
            uint32_t p = canvas.pixel(x, y);
            if (before ? p == before->pixel(x, y) : (p >> 24) == 0) continue;
            box = InkBox{std::min(box.x0, x), std::min(box.y0, y), std::max(box.x1, x + 1), std::max(box.y1, y + 1)};
        }
    }
    return box;
}

// The largest difference of one channel between two drawings of the same size (256 when the
// sizes differ).
inline int worstDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    if (a.size() != b.size()) return 256;
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        for (int shift = 0; shift < 32; shift += 8) {
            worst = std::max(worst, std::abs(int(a[i] >> shift & 0xFF) - int(b[i] >> shift & 0xFF)));
        }
    }
    return worst;
}

}  // namespace platform::gfx::testing
