#pragma once

#include <algorithm>
#include <optional>

#include "platform/ui/Scroller.h"
#include "platform/ui/View.h"

namespace platform::ui {

// Where a key moves a view scrolled `offset` of at most `most`, by pages of `page`: Page Down,
// Space (a page on), Page Up, Shift+Space (a page back), the up and down arrows (a line), Home
// and End (the ends). None for any other key, or one held with Control, Alt or Super.
std::optional<double> scrolledByKey(const KeyEvent& event, double offset, double page, double most);

// Shows the top part of a taller document view and scrolls it vertically: the wheel, Page Up and
// Page Down while the keyboard is inside it, the scroller at its right edge, and a view inside
// that takes the keyboard is brought into sight. The document keeps its own size (its owner sets
// it and calls documentDidResize); its width is the scroll view's. The scroller shows only while
// the document is taller. Controls inside are cut at the scroll view's edges, by the toolkit too.
class ScrollView : public View {
public:
    explicit ScrollView(const Rect& frame = {});
    ~ScrollView() override;

    bool isFlipped() const override { return true; }

    // The content, while it is still among this view's subviews (one destroyed or moved away first
    // is forgotten, never reached through a stale pointer).
    View* documentView() const;
    // Replaces the document (not owned); it goes to the top.
    void setDocumentView(View* document);
    // The document's height changed: the offset stays within it and the scroller follows.
    void documentDidResize();

    // How far the document is scrolled, 0 at its top; kept within 0...maximumOffset().
    double scrollOffset() const { return offset_; }
    double maximumOffset() const;
    void scrollTo(double offset);
    // Scrolls the least that shows `rect` (the scroll view's coordinates), its top first where it
    // is taller than the view.
    void scrollRectToVisible(const Rect& rect) override;

    void setFrameSize(Size size) override;
    void scrollWheel(const ScrollEvent& event) override;
    // Page Up and Page Down (without Shift, Control, Alt or Super) page the view; false for any
    // other key, or when the whole document shows.
    bool pageByKey(const KeyEvent& event);
    // The page keys page wherever the keyboard is inside; the control that has it keeps it.
    bool performKeyEquivalent(const KeyEvent& event) override { return pageByKey(event); }
    Scroller& scroller() { return scroller_; }

    // Kept in sight above and below what is scrolled to; a page keeps this much of the last one.
    static constexpr double margin = 12;
    // One notch of a wheel without precise deltas, one arrow key.
    static constexpr double lineStep = 32;
    // A page of a view `height` high.
    static double pageStep(double height) { return std::max(lineStep, height - margin); }

private:
    void place();

    View* document_ = nullptr;
    Scroller scroller_;
    double offset_ = 0;
};

}  // namespace platform::ui
