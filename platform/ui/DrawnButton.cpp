#include "platform/ui/DrawnButton.h"

#include <algorithm>
#include <cmath>

#include "platform/gfx/Path.h"
#include "platform/ui/Control.h"
#include "platform/ui/ControlDrawing.h"
#include "platform/ui/LayerDrawing.h"
#include "platform/ui/PopUpMenu.h"
#include "platform/ui/Window.h"

namespace platform::ui {

DrawnButton::DrawnButton(const Rect& frame) : View(frame) {}

void DrawnButton::setAttributedTitle(RichText title) {
    if (title == title_) return;
    title_ = std::move(title);
    setNeedsDisplay();
}

void DrawnButton::setSymbol(Symbol symbol, double pointSize, gfx::FontWeight weight) {
    symbol_ = symbol;
    symbolSize_ = std::isfinite(pointSize) && pointSize > 0 ? pointSize : 11;
    symbolWeight_ = weight;
    setNeedsDisplay();
}

void DrawnButton::setTint(gfx::Rgba tint) {
    if (tint == tint_) return;
    tint_ = tint;
    setNeedsDisplay();
}

void DrawnButton::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    setNeedsDisplay();
}

View::Size DrawnButton::fittingSize() const {
    if (symbol_ != Symbol::none && title_.empty()) return {std::ceil(symbolSize_), std::ceil(symbolSize_)};
    TextLayoutOptions options;
    options.wraps = false;
    return title_.measure(options);
}

bool DrawnButton::performClick() {
    if (!enabled_) return false;
    for (const View* v = this; v; v = v->superview()) {
        if (v->isHidden()) return false;
    }
    // A copy: the action may replace the button's action or end its owner.
    if (auto run = action) run(*this);
    return true;
}

void DrawnButton::setKeyboardOperable(bool operable) {
    keyboardOperable_ = operable;
    if (!operable && isFirstResponder()) window()->makeFirstResponder(nullptr);
}

void DrawnButton::ignoreKeyPressesFor(runtime::Duration duration) {
    keyPressesFrom_ = runtime::MainLoop::main().now() + duration;
}

void DrawnButton::setFocusRingColor(std::optional<gfx::Rgba> color) {
    if (color == focusRingColor_) return;
    focusRingColor_ = color;
    if (isFirstResponder()) setNeedsDisplay();
}

bool DrawnButton::becomeFirstResponder() {
    setNeedsDisplay();
    return true;
}

bool DrawnButton::resignFirstResponder() {
    setNeedsDisplay();
    return true;
}

void DrawnButton::keyDown(const KeyEvent& event) {
    if (Control::isPressKey(event)) {
        if (!keyPressesFrom_ || runtime::MainLoop::main().now() >= *keyPressesFrom_) performClick();
        return;
    }
    View::keyDown(event);
}

bool DrawnButton::contains(gfx::Point locationInWindow) const {
    const gfx::Point p = convertFromWindow(locationInWindow);
    return p.x >= 0 && p.y >= 0 && p.x < bounds().width && p.y < bounds().height;
}

void DrawnButton::mouseDown(const MouseEvent& event) {
    if (event.button == MouseEvent::right) {
        if (menu && enabled_) PopUpMenu::popUp(*menu, *this, convertFromWindow(event.locationInWindow));
        return;
    }
    if (event.button != MouseEvent::left || !enabled_) return;
    pressed_ = true;
    highlighted_ = true;
    setNeedsDisplay();
}

void DrawnButton::mouseDragged(const MouseEvent& event) {
    if (!pressed_) return;
    const bool inside = contains(event.locationInWindow);
    if (inside == highlighted_) return;
    highlighted_ = inside;
    setNeedsDisplay();
}

void DrawnButton::mouseUp(const MouseEvent& event) {
    if (!pressed_) return;
    pressed_ = false;
    const bool inside = contains(event.locationInWindow);
    if (highlighted_) {
        highlighted_ = false;
        setNeedsDisplay();
    }
    if (inside) performClick();
}

void DrawnButton::draw(gfx::Canvas& canvas, const Rect&) {
    const Rect box = bounds();
    if (highlighted_) canvas.fill(roundedRectPath(box, cornerRadius()), gfx::Rgba{0.5, 0.5, 0.5, 0.18});
    if (keyboardOperable_ && isFirstResponder()) {
        // Inside the button's own shape, as a pill's ring is.
        gfx::StrokeStyle ring;
        ring.width = 2;
        const Rect inset{box.x + 1, box.y + 1, box.width - 2, box.height - 2};
        canvas.stroke(roundedRectPath(inset, std::max(0.0, cornerRadius() - 1)), focusRingColor_.value_or(drawing::focusRing), ring);
    }
    if (symbol_ != Symbol::none) drawSymbol(canvas);
    if (title_.empty()) return;
    TextLayoutOptions options;
    options.wraps = false;
    options.width = box.width;
    options.truncation = Truncation::tail;
    const Size size = title_.measure(options);
    // Centred in both directions (the title's own paragraph alignment is not used here).
    const double x = std::max(0.0, (box.width - size.width) / 2);
    const double y = std::max(0.0, (box.height - size.height) / 2);
    title_.draw(canvas, Rect{x, y, std::min(size.width, box.width), size.height}, true, options);
}

void DrawnButton::drawSymbol(gfx::Canvas& canvas) const {
    const Rect box = bounds();
    const double s = symbolSize_;
    const double cx = box.width / 2, cy = box.height / 2;
    gfx::StrokeStyle style;
    style.width = std::max(1.0, s * (symbolWeight_ >= gfx::FontWeight::bold       ? 0.16
                                     : symbolWeight_ >= gfx::FontWeight::semibold ? 0.13
                                                                                  : 0.1));
    style.cap = gfx::StrokeStyle::Cap::round;
    style.join = gfx::StrokeStyle::Join::round;
    gfx::Path path;
    switch (symbol_) {
    case Symbol::plus: {
        const double h = s * 0.45;
        path.moveTo({cx - h, cy});
        path.lineTo({cx + h, cy});
        path.moveTo({cx, cy - h});
        path.lineTo({cx, cy + h});
        break;
    }
    case Symbol::xmark: {
        const double h = s * 0.36;
        path.moveTo({cx - h, cy - h});
        path.lineTo({cx + h, cy + h});
        path.moveTo({cx + h, cy - h});
        path.lineTo({cx - h, cy + h});
        break;
    }
    case Symbol::stack: {
        // A card with two edges of cards behind it, above.
        const double w = s * 0.95, h = s * 0.6;
        path.addRoundedRect(Rect{cx - w / 2, cy - h / 2 + s * 0.2, w, h}, s * 0.12);
        path.moveTo({cx - w / 2 + s * 0.12, cy - h / 2 + s * 0.02});
        path.lineTo({cx + w / 2 - s * 0.12, cy - h / 2 + s * 0.02});
        path.moveTo({cx - w / 2 + s * 0.24, cy - h / 2 - s * 0.16});
        path.lineTo({cx + w / 2 - s * 0.24, cy - h / 2 - s * 0.16});
        break;
    }
    case Symbol::none: return;
    }
    gfx::Rgba color = tint_;
    if (!enabled_) color.alpha *= 0.4;
    canvas.stroke(path, color, style);
}

}  // namespace platform::ui
