#include "platform/ui/ScrollView.h"

#include <algorithm>
#include <cmath>

namespace platform::ui {

std::optional<double> scrolledByKey(const KeyEvent& event, double offset, double page, double most) {
    if (event.type != KeyEvent::Type::down || (event.modifiers & (Modifier::control | Modifier::alt | Modifier::super))) return std::nullopt;
    const bool shift = event.modifiers & Modifier::shift;
    const bool space = event.key == Key::space || (event.key == Key::character && event.characters == " ");
    std::optional<double> to;
    if (event.key == Key::pageDown || (space && !shift)) to = offset + page;
    else if (event.key == Key::pageUp || (space && shift)) to = offset - page;
    else if (event.key == Key::down || event.key == Key::keypadDown) to = offset + ScrollView::lineStep;
    else if (event.key == Key::up || event.key == Key::keypadUp) to = offset - ScrollView::lineStep;
    else if (event.key == Key::home) to = 0;
    else if (event.key == Key::end) to = most;
    if (!to) return std::nullopt;
    return std::clamp(*to, 0.0, std::max(0.0, most));
}

ScrollView::ScrollView(const Rect& frame) : View(frame) {
    setClipsToBounds(true);
    scroller_.setHidden(true);
    scroller_.action = [this](Scroller& scroller) {
        const double page = pageStep(bounds().height);
        switch (scroller.hitPart()) {
        case Scroller::Part::knob: scrollTo(scroller.doubleValue() * maximumOffset()); break;
        case Scroller::Part::decrementPage: scrollTo(offset_ - page); break;
        case Scroller::Part::incrementPage: scrollTo(offset_ + page); break;
        default: break;
        }
    };
    addSubview(&scroller_);
    place();
}

ScrollView::~ScrollView() {
    if (View* document = documentView()) document->removeFromSuperview();
}

View* ScrollView::documentView() const {
    if (!document_) return nullptr;
    const auto& subviews = this->subviews();
    return std::find(subviews.begin(), subviews.end(), document_) != subviews.end() ? document_ : nullptr;
}

void ScrollView::setDocumentView(View* document) {
    if (document == document_) return;
    if (View* old = documentView()) old->removeFromSuperview();
    document_ = document;
    offset_ = 0;
    if (document_) addSubview(document_, View::Ordering::below, &scroller_);
    place();
}

void ScrollView::documentDidResize() { scrollTo(offset_); }

double ScrollView::maximumOffset() const {
    const View* document = documentView();
    if (!document) return 0;
    return std::max(0.0, document->frame().height - bounds().height);
}

void ScrollView::scrollTo(double offset) {
    offset_ = std::isfinite(offset) ? std::clamp(offset, 0.0, maximumOffset()) : 0.0;
    place();
}

void ScrollView::place() {
    const Rect box = bounds();
    View* document = documentView();
    if (document) {
        const Rect at{0, -offset_, box.width, document->frame().height};
        if (!(document->frame() == at)) {
            document->setFrame(at);
            setNeedsDisplay();
        }
    }
    const double most = maximumOffset();
    scroller_.setFrame({box.width - Scroller::overlayWidth, 0, Scroller::overlayWidth, box.height});
    scroller_.setHidden(most <= 0);
    scroller_.setEnabled(most > 0);
    if (most > 0) {
        scroller_.setKnobProportion(box.height / document->frame().height);
        scroller_.setDoubleValue(offset_ / most);
    }
}

void ScrollView::scrollRectToVisible(const Rect& rect) {
    const double height = bounds().height;
    // The rectangle as it would stand at the top of the document.
    const double top = rect.y + offset_, bottom = rect.maxY() + offset_;
    double offset = offset_;
    if (bottom + margin > offset + height) offset = bottom + margin - height;
    if (top - margin < offset) offset = top - margin;
    scrollTo(offset);
    View::scrollRectToVisible(Rect{rect.x, top - offset_, rect.width, rect.height});
}

void ScrollView::setFrameSize(Size size) {
    View::setFrameSize(size);
    scrollTo(offset_);
}

void ScrollView::scrollWheel(const ScrollEvent& event) {
    if (maximumOffset() <= 0) return View::scrollWheel(event);
    scrollTo(offset_ - (event.hasPreciseDeltas ? event.deltaY : event.deltaY * lineStep));
}

bool ScrollView::pageByKey(const KeyEvent& event) {
    // Only the page keys: the arrows, Space, Home and End belong to the control that has the keyboard.
    if ((event.key != Key::pageDown && event.key != Key::pageUp) || (event.modifiers & Modifier::shift) || maximumOffset() <= 0) return false;
    const std::optional<double> to = scrolledByKey(event, offset_, pageStep(bounds().height), maximumOffset());
    if (!to) return false;
    scrollTo(*to);
    return true;
}

}  // namespace platform::ui
