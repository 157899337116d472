#pragma once

#include "platform/gfx/Rgba.h"
#include "platform/ui/View.h"

namespace quiltdeck {

// The tinted wash behind a tile's header: the tint strongest along the bottom
// edge (alpha 0.18 dark, 0.14 light), fading to nothing at the top. Flipped;
// never takes the pointer.
class HeaderWash : public platform::ui::View {
public:
    explicit HeaderWash(const Rect& frame = {});

    bool isFlipped() const override { return true; }
    View* hitTest(Point) override { return nullptr; }

    const platform::gfx::Rgba& tint() const { return tint_; }
    // Redraws the wash.
    void setTint(platform::gfx::Rgba tint);

    void draw(platform::gfx::Canvas& canvas, const Rect& dirty) override;

private:
    platform::gfx::Rgba tint_{0, 0, 0, 0};
};

}  // namespace quiltdeck
