#include "platform/ui/StackView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/Control.h"

namespace platform::ui {

StackView::StackView(Orientation orientation, const Rect& frame)
    : View(frame),
      orientation_(orientation),
      alignment_(orientation == Orientation::horizontal ? Alignment::center : Alignment::leading) {}

void StackView::setOrientation(Orientation orientation) {
    orientation_ = orientation;
    layout();
}

void StackView::setSpacing(double spacing) {
    spacing_ = std::isfinite(spacing) ? std::max(0.0, spacing) : 0.0;
    layout();
}

void StackView::setAlignment(Alignment alignment) {
    alignment_ = alignment;
    layout();
}

void StackView::addArrangedSubview(View* view, std::optional<double> width) {
    if (!view || view == this) return;
    const auto found = std::find(arranged_.begin(), arranged_.end(), view);
    if (found != arranged_.end()) {
        widths_.erase(widths_.begin() + (found - arranged_.begin()));
        arranged_.erase(found);
    }
    arranged_.push_back(view);
    widths_.push_back(width && std::isfinite(*width) ? std::optional<double>(std::max(0.0, *width)) : std::nullopt);
    if (view->superview() != this) addSubview(view);
    layout();
}

void StackView::moveArrangedSubview(View* view, size_t index) {
    const auto found = std::find(arranged_.begin(), arranged_.end(), view);
    if (found == arranged_.end()) return;
    const size_t from = static_cast<size_t>(found - arranged_.begin());
    const std::optional<double> width = widths_[from];
    arranged_.erase(found);
    widths_.erase(widths_.begin() + static_cast<std::ptrdiff_t>(from));
    index = std::min(index, arranged_.size());
    arranged_.insert(arranged_.begin() + static_cast<std::ptrdiff_t>(index), view);
    widths_.insert(widths_.begin() + static_cast<std::ptrdiff_t>(index), width);
    layout();
}

void StackView::removeArrangedSubview(View* view) {
    const auto found = std::find(arranged_.begin(), arranged_.end(), view);
    if (found == arranged_.end()) return;
    widths_.erase(widths_.begin() + (found - arranged_.begin()));
    arranged_.erase(found);
    if (view->superview() == this) view->removeFromSuperview();
    layout();
}

void StackView::removeAllArrangedSubviews() {
    const std::vector<View*> leaving = arranged_;
    arranged_.clear();
    widths_.clear();
    for (View* view : leaving) {
        if (view->superview() == this) view->removeFromSuperview();
    }
}

View::Size StackView::sizeOf(const View& view) const {
    if (const auto* control = dynamic_cast<const Control*>(&view)) return control->fittingSize();
    if (const auto* stack = dynamic_cast<const StackView*>(&view)) return stack->fittingSize();
    return {view.frame().width, view.frame().height};
}

View::Size StackView::fittingSize() const {
    double along = 0, across = 0;
    size_t shown = 0;
    for (size_t i = 0; i < arranged_.size(); ++i) {
        if (arranged_[i]->isHidden()) continue;
        Size size = sizeOf(*arranged_[i]);
        if (widths_[i]) size.width = *widths_[i];
        const bool horizontal = orientation_ == Orientation::horizontal;
        along += horizontal ? size.width : size.height;
        across = std::max(across, horizontal ? size.height : size.width);
        ++shown;
    }
    if (shown > 1) along += spacing_ * static_cast<double>(shown - 1);
    return orientation_ == Orientation::horizontal ? Size{along, across} : Size{across, along};
}

void StackView::layout() {
    const bool horizontal = orientation_ == Orientation::horizontal;
    // The line is as thick as the stack, or as its thickest view when that is more.
    const Size fitted = fittingSize();
    const double lineThickness = std::max(horizontal ? frame().height : frame().width, horizontal ? fitted.height : fitted.width);
    double position = 0;
    for (size_t i = 0; i < arranged_.size(); ++i) {
        View* view = arranged_[i];
        if (view->isHidden()) continue;
        Size size = sizeOf(*view);
        if (widths_[i]) size.width = *widths_[i];
        const double thickness = horizontal ? size.height : size.width;
        const double offset = alignment_ == Alignment::center ? std::floor((lineThickness - thickness) / 2) : 0;
        view->setFrame(horizontal ? Rect{position, offset, size.width, size.height} : Rect{offset, position, size.width, size.height});
        if (auto* stack = dynamic_cast<StackView*>(view)) stack->layout();
        position += (horizontal ? size.width : size.height) + spacing_;
    }
}

void StackView::resizeSubviews(Size) { layout(); }

}  // namespace platform::ui
