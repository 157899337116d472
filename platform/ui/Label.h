#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/gfx/InterfaceFont.h"
#include "platform/ui/Control.h"
#include "platform/ui/RichText.h"

namespace platform::ui {

// A text that is shown, not edited: plain in the label's font and colour, or styled text that
// carries its own. It may wrap, stop after a number of lines, cut its end or its middle with an
// ellipsis, let the user select it, and report a click on a link.
class Label : public Control {
public:
    explicit Label(const Rect& frame = {});

    const std::string& text() const { return text_; }
    // Drops styled text.
    void setText(std::string text);
    const std::optional<RichText>& richText() const { return richText_; }
    void setRichText(RichText text);
    // For plain text only: styled text keeps its own.
    const gfx::InterfaceFont& font() const { return font_; }
    void setFont(gfx::InterfaceFont font);
    const gfx::Rgba& textColor() const { return color_; }
    void setTextColor(gfx::Rgba color);
    TextAlignment alignment() const { return alignment_; }
    void setAlignment(TextAlignment alignment);

    bool wraps() const { return wraps_; }
    void setWraps(bool wraps);
    int maximumLines() const { return maximumLines_; }
    void setMaximumLines(int lines);
    Truncation truncation() const { return truncation_; }
    void setTruncation(Truncation truncation);
    bool isSelectable() const { return selectable_; }
    void setSelectable(bool selectable);
    // The width a wrapping label fits its lines to; none: its frame's width.
    const std::optional<double>& preferredMaxLayoutWidth() const { return preferredWidth_; }
    void setPreferredMaxLayoutWidth(std::optional<double> width);

    std::function<void(const std::string& url)> onLink;
    // A click on a link of the text; false when none lies there.
    bool clickLink(gfx::Point pointFromTopLeft);
    // A text with a link (and someone to tell) is worked by the keyboard: Tab and Shift+Tab reach
    // the label, Space or Return opens its first link.
    bool isKeyboardOperable() const override;
    // Reports the text's first link; false when it has none.
    bool openLink();
    void keyDown(const KeyEvent& event) override;

    // What is shown: the styled text, else the plain text in the label's font and colour.
    RichText shownText() const;
    // How the shown text is fitted into `width`.
    TextLayoutOptions layoutOptions(std::optional<double> width) const;
    Size fittingSize() const override;
    void draw(gfx::Canvas& canvas, const Rect& dirty) override;

private:
    std::string firstLink() const;

    std::string text_;
    std::optional<RichText> richText_;
    gfx::InterfaceFont font_;
    gfx::Rgba color_{0, 0, 0, 0.85};
    TextAlignment alignment_ = TextAlignment::left;
    bool wraps_ = false;
    int maximumLines_ = 0;
    Truncation truncation_ = Truncation::none;
    bool selectable_ = false;
    std::optional<double> preferredWidth_;
};

}  // namespace platform::ui
