#pragma once

#include <optional>
#include <string>

#include "platform/gfx/Image.h"
#include "platform/gfx/InterfaceFont.h"
#include "platform/ui/Control.h"
#include "platform/ui/RichText.h"

namespace platform::ui {

// A push button or a check box: a title (plain, or styled text that replaces the plain one's
// look) or an image, a bezel, and optionally a layer look of its own (fill, border, corner
// radius) that a toolkit draws in place of its bezel.
class Button : public Control {
public:
    enum class Type { push, checkBox };
    enum class BezelStyle { rounded, regularSquare, smallSquare, badge };
    enum class ControlSize { regular, small };
    enum class State { off, on };
    // A key that clicks the button while its window has the keyboard and no one else takes it.
    enum class KeyEquivalent { none, returnKey, escape };

    // Drawn by the layer under the title.
    struct Look {
        std::optional<gfx::Rgba> fill;
        double borderWidth = 0;
        gfx::Rgba borderColor{0, 0, 0, 0};
        double cornerRadius = 0;
        friend bool operator==(const Look&, const Look&) = default;
    };

    explicit Button(Type type = Type::push, const Rect& frame = {});

    Type type() const { return type_; }

    const std::string& title() const { return title_; }
    // Drops a styled title: the plain title shows in the button's font.
    void setTitle(std::string title);
    const std::optional<RichText>& attributedTitle() const { return attributedTitle_; }
    // The title becomes the styled text's string.
    void setAttributedTitle(RichText title);
    const gfx::InterfaceFont& font() const { return font_; }
    void setFont(gfx::InterfaceFont font);
    // The colour of a check box's box and title; none: the toolkit's.
    const std::optional<gfx::Rgba>& contentTintColor() const { return tint_; }
    void setContentTintColor(std::optional<gfx::Rgba> color);

    const std::optional<gfx::Image>& image() const { return image_; }
    // Shown alone, scaled proportionally into the button.
    void setImage(std::optional<gfx::Image> image);
    // A symbolic icon of the desktop's icon theme by name ("window-close-symbolic"), shown alone
    // at `symbolSize` points in the content tint; the stand-in draws a likeness of the ones it
    // knows. Empty: none.
    const std::string& symbolName() const { return symbolName_; }
    double symbolSize() const { return symbolSize_; }
    void setSymbol(std::string name, double size);

    bool isBordered() const { return bordered_; }
    void setBordered(bool bordered);
    BezelStyle bezelStyle() const { return bezel_; }
    void setBezelStyle(BezelStyle style);
    ControlSize controlSize() const { return size_; }
    // Small also picks the small system font (11 pt) for a plain title.
    void setControlSize(ControlSize size);
    // A check box's title wraps to more lines within the frame's width; its fitting size keeps
    // that width and is as tall as the lines.
    bool wrapsTitle() const { return wrapsTitle_; }
    void setWrapsTitle(bool wraps);
    bool showsFocusRing() const { return focusRing_; }
    void setShowsFocusRing(bool shows);
    const std::optional<Look>& look() const { return look_; }
    void setLook(std::optional<Look> look);

    State state() const { return state_; }
    void setState(State state);
    KeyEquivalent keyEquivalent() const { return keyEquivalent_; }
    void setKeyEquivalent(KeyEquivalent key);

    // A click by the user: a check box changes its state first, then the action runs. Nothing
    // while disabled or hidden; false then.
    bool performClick();

    // The title as shown: the styled title, else the plain one in the button's font.
    RichText shownTitle() const;
    // A check box's box, where its title starts after it, the room kept after the title for the
    // focus ring (drawn inside the frame), and the width its title wraps at.
    static constexpr double checkBoxSide = 14;
    static constexpr double checkBoxTitleX = 18;
    static constexpr double checkBoxRingRoom = 4;
    std::optional<double> titleWrapWidth() const;
    Size fittingSize() const override;
    void draw(gfx::Canvas& canvas, const Rect& dirty) override;

    bool isKeyboardOperable() const override { return true; }
    // Space or Return clicks it.
    void keyDown(const KeyEvent& event) override;

private:
    void drawSymbol(gfx::Canvas& canvas, const Rect& box) const;

    Type type_;
    std::string title_;
    std::optional<RichText> attributedTitle_;
    gfx::InterfaceFont font_;
    std::optional<gfx::Rgba> tint_;
    std::optional<gfx::Image> image_;
    std::string symbolName_;
    double symbolSize_ = 16;
    bool bordered_ = true;
    BezelStyle bezel_ = BezelStyle::rounded;
    ControlSize size_ = ControlSize::regular;
    bool focusRing_ = true;
    bool wrapsTitle_ = false;
    std::optional<Look> look_;
    State state_ = State::off;
    KeyEquivalent keyEquivalent_ = KeyEquivalent::none;
};

}  // namespace platform::ui
