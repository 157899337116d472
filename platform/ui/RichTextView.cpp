#include "platform/ui/RichTextView.h"

#include "platform/ui/ScrollView.h"

#include <algorithm>
#include <cmath>

namespace platform::ui {

void RichTextView::setText(RichText text) {
    text_ = std::move(text);
    scrollTo(scrollOffset_);
    changed();
}

void RichTextView::setTextInset(Size inset) {
    inset_ = {std::isfinite(inset.width) ? std::max(0.0, inset.width) : 0.0,
              std::isfinite(inset.height) ? std::max(0.0, inset.height) : 0.0};
    changed();
}

void RichTextView::setSelectable(bool selectable) { setProperty(selectable_, selectable); }

void RichTextView::setDrawsBackground(bool draws) { setProperty(drawsBackground_, draws); }

void RichTextView::setBackgroundColor(gfx::Rgba color) { setProperty(background_, color); }

View::Size RichTextView::documentSize() const {
    const double width = std::max(0.0, frame().width - 2 * inset_.width);
    const Size text = text_.measure(width);
    return {frame().width, text.height + 2 * inset_.height};
}

void RichTextView::scrollTo(double offset) {
    const double most = std::max(0.0, documentSize().height - frame().height);
    const double clamped = std::isfinite(offset) ? std::clamp(offset, 0.0, most) : 0.0;
    if (clamped == scrollOffset_) return;
    scrollOffset_ = clamped;
    changed();
}

bool RichTextView::scrollByKey(const KeyEvent& event) {
    const double most = std::max(0.0, documentSize().height - frame().height);
    if (most <= 0) return false;
    const std::optional<double> to = scrolledByKey(event, scrollOffset_, ScrollView::pageStep(frame().height), most);
    if (!to) return false;
    scrollTo(*to);
    return true;
}

void RichTextView::keyDown(const KeyEvent& event) {
    if (!scrollByKey(event)) Control::keyDown(event);
}

void RichTextView::setFrameSize(Size size) {
    Control::setFrameSize(size);
    scrollTo(scrollOffset_);
}

void RichTextView::draw(gfx::Canvas& canvas, const Rect&) {
    if (peer()) return;
    const Rect box = bounds();
    if (drawsBackground_) canvas.fill(box, background_);
    const double width = std::max(0.0, box.width - 2 * inset_.width);
    TextLayoutOptions options;
    options.width = width;
    const double height = documentSize().height;
    // The document's top edge, scrolled: in a y-up view it lies above the view's top.
    const Rect textRect = isFlipped() ? Rect{inset_.width, inset_.height - scrollOffset_, width, height}
                                      : Rect{inset_.width, box.height - height + scrollOffset_ + inset_.height, width, height - 2 * inset_.height};
    canvas.save();
    canvas.clip(box);
    text_.draw(canvas, textRect, isFlipped(), options);
    canvas.restore();
}

}  // namespace platform::ui
