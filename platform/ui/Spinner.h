#pragma once

#include "platform/ui/Control.h"

namespace platform::ui {

// The indeterminate progress wheel.
class Spinner : public Control {
public:
    enum class Style { small, regular };

    explicit Spinner(const Rect& frame = {}) : Control(frame) {}

    bool isAnimating() const { return animating_; }
    void startAnimation();
    void stopAnimation();
    Style style() const { return style_; }
    void setStyle(Style style);
    // Not shown while stopped.
    bool hidesWhenStopped() const { return hidesWhenStopped_; }
    void setHidesWhenStopped(bool hides);

    Size fittingSize() const override;
    void draw(gfx::Canvas& canvas, const Rect& dirty) override;

private:
    bool animating_ = false;
    bool hidesWhenStopped_ = true;
    Style style_ = Style::regular;
};

}  // namespace platform::ui
