#include "vantel/view/TerminalProgressBarView.h"

#include <algorithm>

namespace vantel {

using platform::ui::Animation;
using platform::ui::TimingFunction;

TerminalProgressBarView::TerminalProgressBarView(const Rect& frame) : View(frame) {
    setClipsToBounds(true);
    setHidden(true);
}

void TerminalProgressBarView::apply(State state, std::optional<uint8_t> progress) {
    state_ = state;
    progress_ = progress;
    setHidden(state == State::remove);
    if (isHidden()) {
        removeAnimation(indeterminateAnimationKey);
        return;
    }
    const platform::gfx::Rgba color = state == State::error   ? errorColor
                                      : state == State::pause ? pauseColor
                                                              : accentColor;
    bar_.color = color;
    track_.color = platform::gfx::Rgba{color.red, color.green, color.blue, 0.3};
    track_.frame = bounds();
    if (progress) updateDeterminate(*progress, true);
    else updateIndeterminate();
    setNeedsDisplay();
}

void TerminalProgressBarView::setFrameSize(Size size) {
    View::setFrameSize(size);
    layout();
}

void TerminalProgressBarView::layout() {
    if (isHidden()) return;
    track_.frame = bounds();
    if (progress_) updateDeterminate(*progress_, false);
    else updateIndeterminate();
}

void TerminalProgressBarView::updateDeterminate(uint8_t progress, bool animated) {
    track_.hidden = true;
    removeAnimation(indeterminateAnimationKey);
    const Rect b = bounds();
    const double width = b.width * std::min<int>(progress, 100) / 100.0;
    const double shownWidth = presentationBarFrame().width;
    bar_.frame = Rect{0, 0, width, b.height};
    if (animated && shownWidth != width) {
        Animation grow = Animation::basic(shownWidth, width, determinateDuration);
        grow.timing = TimingFunction::easeInEaseOut();
        addAnimation(widthAnimationKey, std::move(grow));
    } else {
        removeAnimation(widthAnimationKey);
    }
    setNeedsDisplay();
}

void TerminalProgressBarView::updateIndeterminate() {
    track_.hidden = false;
    removeAnimation(widthAnimationKey);
    const Rect b = bounds();
    const double segment = b.width * barWidthRatio;
    bar_.frame = Rect{0, 0, segment, b.height};
    if (segment > 0 && b.width > segment) {
        removeAnimation(indeterminateAnimationKey);
        Animation sweep = Animation::basic(segment / 2, b.width - segment / 2, indeterminateDuration);
        sweep.autoreverses = true;
        sweep.repeatCount = Animation::infinite;
        sweep.decorative = true;
        sweep.timing = TimingFunction::easeInEaseOut();
        addAnimation(indeterminateAnimationKey, std::move(sweep));
    }
    setNeedsDisplay();
}

TerminalProgressBarView::Rect TerminalProgressBarView::presentationBarFrame() const {
    Rect frame = bar_.frame;
    if (auto width = presentationValue(widthAnimationKey)) frame.width = *width;
    // The sweep moves the segment's centre.
    if (auto centre = presentationValue(indeterminateAnimationKey)) frame.x = *centre - frame.width / 2;
    return frame;
}

void TerminalProgressBarView::draw(platform::gfx::Canvas& canvas, const Rect&) {
    // Over the text: the bar covers only what it fills.
    if (!track_.hidden && track_.color) canvas.fill(track_.frame, *track_.color);
    if (!bar_.hidden && bar_.color) canvas.fill(presentationBarFrame(), *bar_.color);
}

}  // namespace vantel
