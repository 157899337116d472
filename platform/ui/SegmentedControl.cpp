#include "platform/ui/SegmentedControl.h"

#include <algorithm>

#include "platform/ui/ControlDrawing.h"

namespace platform::ui {

namespace {

constexpr double segmentPadding = 8;
constexpr double height = 24;

gfx::Size imageSizeOf(const SegmentedControl::Segment& segment) {
    if (segment.imageSize) return *segment.imageSize;
    return {double(segment.image->width), double(segment.image->height)};
}

}  // namespace

SegmentedControl::SegmentedControl(const Rect& frame)
    : Control(frame), font_(gfx::InterfaceFont::system(13, gfx::FontWeight::regular)) {}

void SegmentedControl::setSegments(std::vector<Segment> segments) {
    segments_ = std::move(segments);
    if (selected_ >= static_cast<int>(segments_.size())) selected_ = -1;
    changed();
}

void SegmentedControl::setTracking(Tracking tracking) {
    tracking_ = tracking;
    if (tracking_ == Tracking::momentary) selected_ = -1;
    changed();
}

void SegmentedControl::setSelectedSegment(int index) {
    const int chosen = index >= 0 && index < static_cast<int>(segments_.size()) ? index : -1;
    if (chosen == selected_) return;
    selected_ = chosen;
    changed();
}

void SegmentedControl::setFont(gfx::InterfaceFont font) { setProperty(font_, std::move(font)); }

void SegmentedControl::setLook(std::optional<Look> look) { setProperty(look_, std::move(look)); }

bool SegmentedControl::choose(int index) {
    if (index < 0 || index >= static_cast<int>(segments_.size()) || !segments_[static_cast<size_t>(index)].enabled || !isUsable()) {
        return false;
    }
    clicked_ = index;
    if (tracking_ == Tracking::selectOne) setSelectedSegment(index);
    return sendAction();
}

int SegmentedControl::usableSegmentAfter(int from, bool forward) const {
    const int count = static_cast<int>(segments_.size());
    for (int i = from + (forward ? 1 : -1); i >= 0 && i < count; i += forward ? 1 : -1) {
        if (segments_[static_cast<size_t>(i)].enabled) return i;
    }
    return -1;
}

int SegmentedControl::focusedSegment() const {
    const int count = static_cast<int>(segments_.size());
    if (focused_ && *focused_ >= 0 && *focused_ < count) return *focused_;
    if (selected_ >= 0 && segments_[static_cast<size_t>(selected_)].enabled) return selected_;
    return usableSegmentAfter(-1, true);
}

void SegmentedControl::setFocusedSegment(int index) {
    if (index < 0 || index >= static_cast<int>(segments_.size()) || focused_ == index) return;
    focused_ = index;
    changed();
}

bool SegmentedControl::advanceKeyFocus(bool forward) {
    const int next = usableSegmentAfter(focusedSegment(), forward);
    if (next < 0) return false;
    setFocusedSegment(next);
    return true;
}

void SegmentedControl::keyFocusEntered(bool forward) {
    const int first = forward ? usableSegmentAfter(-1, true) : usableSegmentAfter(static_cast<int>(segments_.size()), false);
    if (first >= 0) setFocusedSegment(first);
}

void SegmentedControl::keyDown(const KeyEvent& event) {
    if (isPressKey(event) && choose(focusedSegment())) return;
    Control::keyDown(event);
}

RichText SegmentedControl::labelText(const Segment& segment, bool selected) const {
    TextAttributes attributes;
    attributes.font = font_;
    attributes.color = look_ ? (selected ? look_->selectedText : look_->text) : drawing::text();
    return RichText(segment.label, attributes);
}

double SegmentedControl::widthOfSegment(int index) const {
    if (index < 0 || index >= static_cast<int>(segments_.size())) return 0;
    const Segment& segment = segments_[static_cast<size_t>(index)];
    if (segment.width > 0) return segment.width;
    return neededWidthOfSegment(index);
}

double SegmentedControl::neededWidthOfSegment(int index) const {
    if (index < 0 || index >= static_cast<int>(segments_.size())) return 0;
    const Segment& segment = segments_[static_cast<size_t>(index)];
    double content = labelText(segment).measure().width;
    if (segment.image && !segment.image->isEmpty()) content = std::max(content, imageSizeOf(segment).width);
    return content + 2 * segmentPadding;
}

View::Size SegmentedControl::fittingSize() const {
    double width = 0;
    for (int i = 0; i < static_cast<int>(segments_.size()); ++i) width += widthOfSegment(i);
    return {width, height};
}

void SegmentedControl::draw(gfx::Canvas& canvas, const Rect&) {
    if (peer()) return;
    const Rect box = bounds();
    double x = 0;
    for (int i = 0; i < static_cast<int>(segments_.size()); ++i) {
        const Segment& segment = segments_[static_cast<size_t>(i)];
        const double w = widthOfSegment(i);
        const Rect cell{x, 0, w, box.height};
        const bool selected = i == selected_;
        if (look_) {
            canvas.fill(cell, selected ? look_->selectedFill : look_->fill);
            drawing::strokeInside(canvas, cell, look_->border, 1);
        } else {
            drawing::bezel(canvas, cell);
            if (selected) canvas.fill(Rect{cell.x + 1, cell.y + 1, cell.width - 2, cell.height - 2}, drawing::selectedFill());
        }
        if (i == focusedSegment() && isFirstResponder()) {
            if (look_) drawing::focusRingInside(canvas, cell, selected ? look_->selectedFill : look_->fill);
            else if (selected) drawing::focusRingInside(canvas, cell, drawing::selectedFill());
            else drawing::focusRingInside(canvas, cell);
        }
        if (segment.image && !segment.image->isEmpty()) {
            const Size natural = imageSizeOf(segment);
            const double s = std::min(1.0, std::min((w - 4) / natural.width, (box.height - 4) / natural.height));
            const double iw = natural.width * s, ih = natural.height * s;
            canvas.drawImage(*segment.image, Rect{x + (w - iw) / 2, (box.height - ih) / 2, iw, ih});
        } else {
            const RichText label = labelText(segment, selected);
            const Size text = label.measure();
            label.draw(canvas, Rect{x + (w - text.width) / 2, (box.height - text.height) / 2, text.width + 1, text.height}, isFlipped(), {});
        }
        x += w;
    }
}

}  // namespace platform::ui
