#include "quiltdeck/wall/HeaderWash.h"

#include <array>

#include "quiltdeck/shell/Theme.h"
#include "quiltdeck/wall/TileLayout.h"

namespace quiltdeck {

HeaderWash::HeaderWash(const Rect& frame) : View(frame) {}

void HeaderWash::setTint(platform::gfx::Rgba tint) {
    tint_ = tint;
    setNeedsDisplay();
}

void HeaderWash::draw(platform::gfx::Canvas& canvas, const Rect&) {
    const Rect box = bounds();
    platform::gfx::Rgba strong = tint_, clear = tint_;
    strong.alpha = TileLayout::washAlpha(Theme::isDark());
    clear.alpha = 0;
    const std::array<platform::gfx::GradientStop, 2> stops = {{{0, strong}, {1, clear}}};
    // Flipped: from the bottom edge up.
    canvas.fillLinearGradient(box, {0, box.height}, {0, 0}, stops);
}

}  // namespace quiltdeck
