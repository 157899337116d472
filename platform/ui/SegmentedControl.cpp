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

bool SegmentedControl::choose(int index) {
    if (index < 0 || index >= static_cast<int>(segments_.size()) || !segments_[static_cast<size_t>(index)].enabled || !isUsable()) {
        return false;
    }
    clicked_ = index;
    if (tracking_ == Tracking::selectOne) setSelectedSegment(index);
    return sendAction();
}

RichText SegmentedControl::labelText(const Segment& segment) const {
    TextAttributes attributes;
    attributes.font = font_;
    attributes.color = drawing::text;
    return RichText(segment.label, attributes);
}

double SegmentedControl::widthOfSegment(int index) const {
    if (index < 0 || index >= static_cast<int>(segments_.size())) return 0;
    const Segment& segment = segments_[static_cast<size_t>(index)];
    if (segment.width > 0) return segment.width;
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
        canvas.fill(cell, i == selected_ ? gfx::Rgba{0.75, 0.8, 0.9, 1} : gfx::Rgba{0.94, 0.94, 0.94, 1});
        drawing::strokeInside(canvas, cell, gfx::Rgba{0.6, 0.6, 0.6, 1}, 1);
        if (segment.image && !segment.image->isEmpty()) {
            const Size natural = imageSizeOf(segment);
            const double s = std::min(1.0, std::min((w - 4) / natural.width, (box.height - 4) / natural.height));
            const double iw = natural.width * s, ih = natural.height * s;
            canvas.drawImage(*segment.image, Rect{x + (w - iw) / 2, (box.height - ih) / 2, iw, ih});
        } else {
            const RichText label = labelText(segment);
            const Size text = label.measure();
            label.draw(canvas, Rect{x + (w - text.width) / 2, (box.height - text.height) / 2, text.width + 1, text.height}, isFlipped(), {});
        }
        x += w;
    }
}

}  // namespace platform::ui
