#pragma once

#include "platform/ui/Control.h"
#include "platform/ui/RichText.h"

namespace platform::ui {

// Styled text in a scrolling view: read-only, selectable, its lines wrapped to the view's width
// less the inset, with a vertical scroller. With the keyboard it scrolls by the page keys, Space,
// the arrows, Home and End.
class RichTextView : public Control {
public:
    explicit RichTextView(const Rect& frame = {}) : Control(frame) {}

    const RichText& text() const { return text_; }
    void setText(RichText text);
    // Between the view's edges and the text, horizontally and vertically.
    Size textInset() const { return inset_; }
    void setTextInset(Size inset);
    bool isSelectable() const { return selectable_; }
    void setSelectable(bool selectable);
    bool drawsBackground() const { return drawsBackground_; }
    void setDrawsBackground(bool draws);
    const gfx::Rgba& backgroundColor() const { return background_; }
    void setBackgroundColor(gfx::Rgba color);

    // The whole text with its insets at the view's width.
    Size documentSize() const;
    // How far the text is scrolled, 0 at the top; kept within the document.
    double scrollOffset() const { return scrollOffset_; }
    void scrollTo(double offset);

    // Scrolls as the key asks (scrolledByKey); false for a key that does not scroll, or when the
    // whole text shows.
    bool scrollByKey(const KeyEvent& event);

    bool acceptsFirstResponder() const override { return true; }
    void keyDown(const KeyEvent& event) override;
    Size fittingSize() const override { return documentSize(); }
    void draw(gfx::Canvas& canvas, const Rect& dirty) override;
    void setFrameSize(Size size) override;

private:
    RichText text_;
    Size inset_;
    bool selectable_ = true;
    bool drawsBackground_ = true;
    gfx::Rgba background_{1, 1, 1, 1};
    double scrollOffset_ = 0;
};

}  // namespace platform::ui
