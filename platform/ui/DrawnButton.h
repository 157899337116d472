#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/gfx/InterfaceFont.h"
#include "platform/runtime/MainLoop.h"
#include "platform/ui/Menu.h"
#include "platform/ui/RichText.h"
#include "platform/ui/View.h"

namespace platform::ui {

// A button drawn in the view tree itself, for buttons that must stack like any view (a tab under
// a dragged tile, a tile's close button under the zoom scrim), which a toolkit's widget over the
// window cannot. Its look is the view's layer style; it shows a styled title, centred, or one of
// a few symbols drawn in its tint. A click released over it runs its action; a right click shows
// its menu. One made keyboard-operable is a key view: it draws a ring inside its shape while it
// has the keyboard, and Space or Return presses it. Flipped.
class DrawnButton : public View {
public:
    enum class Symbol { none, plus, xmark, stack };

    explicit DrawnButton(const Rect& frame = {});

    bool isFlipped() const override { return true; }

    const RichText& attributedTitle() const { return title_; }
    void setAttributedTitle(RichText title);
    Symbol symbol() const { return symbol_; }
    // The symbol drawn about `pointSize` points high, its strokes by weight.
    void setSymbol(Symbol symbol, double pointSize, gfx::FontWeight weight);
    const gfx::Rgba& tint() const { return tint_; }
    void setTint(gfx::Rgba tint);

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    // A name the owner maps clicks back by (a tab's wall).
    const std::optional<std::string>& identifier() const { return identifier_; }
    void setIdentifier(std::optional<std::string> identifier) { identifier_ = std::move(identifier); }
    const std::string& toolTip() const { return toolTip_; }
    void setToolTip(std::string toolTip) { toolTip_ = std::move(toolTip); }
    std::string toolTipText() const override { return toolTip_; }
    const std::string& accessibilityDescription() const { return accessibilityDescription_; }
    void setAccessibilityDescription(std::string text) { accessibilityDescription_ = std::move(text); }

    std::function<void(DrawnButton&)> action;
    // Shown at the pointer on a right click; none: a right click does nothing.
    std::optional<Menu> menu;

    // Pressed with the pointer still over it.
    bool isHighlighted() const { return highlighted_; }
    // The title's size, or the symbol's.
    Size fittingSize() const;
    // Runs the action; false while disabled or hidden.
    bool performClick();

    bool isKeyboardOperable() const { return keyboardOperable_; }
    void setKeyboardOperable(bool operable);
    // Space and Return do nothing for a while: the keyboard came to the button while the user was
    // typing elsewhere, and what was typed ahead must not press it.
    void ignoreKeyPressesFor(runtime::Duration duration);
    // The ring's colour; the standard one until set (a ground it would not stand out on sets its own).
    void setFocusRingColor(std::optional<gfx::Rgba> color);
    bool acceptsFirstResponder() const override { return keyboardOperable_ && enabled_; }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    void keyDown(const KeyEvent& event) override;

    void mouseDown(const MouseEvent& event) override;
    void mouseDragged(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;
    void draw(gfx::Canvas& canvas, const Rect& dirty) override;

private:
    bool contains(gfx::Point locationInWindow) const;
    void drawSymbol(gfx::Canvas& canvas) const;

    RichText title_;
    Symbol symbol_ = Symbol::none;
    double symbolSize_ = 11;
    gfx::FontWeight symbolWeight_ = gfx::FontWeight::regular;
    gfx::Rgba tint_{0, 0, 0, 0.85};
    bool enabled_ = true;
    std::optional<std::string> identifier_;
    std::string toolTip_;
    std::string accessibilityDescription_;
    bool pressed_ = false;
    bool highlighted_ = false;
    bool keyboardOperable_ = false;
    std::optional<runtime::TimePoint> keyPressesFrom_;
    std::optional<gfx::Rgba> focusRingColor_;
};

}  // namespace platform::ui
