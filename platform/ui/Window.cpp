#include "platform/ui/Window.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/View.h"

namespace platform::ui {

namespace {

double usableScale(double scale) { return std::isfinite(scale) && scale > 0 ? scale : 1.0; }

gfx::Size usableSize(gfx::Size size) {
    auto side = [](double v) { return std::isfinite(v) && v > 0 ? v : 0.0; };
    return {side(size.width), side(size.height)};
}

bool finite(const gfx::Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height);
}

}  // namespace

Window::Window(Size size, double backingScaleFactor) : size_(usableSize(size)), scale_(usableScale(backingScaleFactor)) {
    rebuildSurface();
}

Window::~Window() {
    if (contentView_) contentView_->setWindow(nullptr);
}

void Window::setSize(Size size) {
    size = usableSize(size);
    if (size == size_) return;
    size_ = size;
    rebuildSurface();
    if (contentView_) contentView_->setFrame(bounds());
}

void Window::setBackingScaleFactor(double scale) {
    scale = usableScale(scale);
    if (scale == scale_) return;
    scale_ = scale;
    rebuildSurface();
    if (contentView_) contentView_->notifyBackingPropertiesChanged();
}

void Window::setContentView(View* view) {
    if (view == contentView_) return;
    if (contentView_) contentView_->setWindow(nullptr);
    contentView_ = view;
    invalidate(bounds());
    if (!view) return;
    view->removeFromSuperview();
    view->setFrame(bounds());
    view->setWindow(this);
}

void Window::rebuildSurface() {
    surface_ = std::make_unique<gfx::Canvas>(size_, scale_);
    dirty_.clear();
    invalidate(bounds());
}

void Window::invalidate(const Rect& rect) {
    if (!finite(rect) || rect.isEmpty()) return;
    // Whole device pixels, so every clip of the drawing stays a box the glyph blitter can use.
    double x0 = std::floor(rect.minX() * scale_) / scale_, y0 = std::floor(rect.minY() * scale_) / scale_;
    double x1 = std::ceil(rect.maxX() * scale_) / scale_, y1 = std::ceil(rect.maxY() * scale_) / scale_;
    Rect r = Rect{x0, y0, x1 - x0, y1 - y0}.intersection(bounds());
    if (r.isEmpty()) return;
    bool wasClean = dirty_.empty();
    if (std::any_of(dirty_.begin(), dirty_.end(), [&](const Rect& d) { return d.contains(r); })) return;
    dirty_.erase(std::remove_if(dirty_.begin(), dirty_.end(), [&](const Rect& d) { return r.contains(d); }),
                 dirty_.end());
    dirty_.push_back(r);
    if (dirty_.size() > maxDirtyRects) {
        Rect all;
        for (const Rect& d : dirty_) all = all.united(d);
        dirty_.assign(1, all);
    }
    if (wasClean) scheduleDisplay();
}

void Window::displayIfNeeded() {
    if (dirty_.empty()) return;
    std::vector<Rect> rects = std::move(dirty_);
    dirty_.clear();
    gfx::Canvas& canvas = *surface_;
    // The window itself is transparent: what no view paints stays clear. A content view with a
    // layer colour, or an opaque one, paints all of it anyway.
    bool covered = contentView_ && !contentView_->isHidden() &&
                   (contentView_->layerBackgroundColor() || contentView_->isOpaque());
    if (!covered) {
        for (const Rect& r : rects) canvas.clear(r);
    }
    if (contentView_) drawView(*contentView_, canvas, rects, bounds());
    didDisplay(rects);
}

void Window::display() {
    invalidate(bounds());
    displayIfNeeded();
}

void Window::drawView(View& view, gfx::Canvas& canvas, const std::vector<Rect>& dirty, const Rect& visible) {
    if (view.isHidden()) return;
    Rect frame = view.convertToWindow(view.bounds());
    Rect area = visible.intersection(frame);
    std::vector<Rect> rects;
    Rect all;
    for (const Rect& d : dirty) {
        Rect r = d.intersection(area);
        if (r.isEmpty()) continue;
        rects.push_back(r);
        all = all.united(r);
    }
    if (!rects.empty()) {
        canvas.save();
        canvas.clip(rects);
        gfx::Point origin = view.convertToWindow(gfx::Point{0, 0});
        bool yDown = view.convertToWindow(gfx::Point{0, 1}).y < origin.y;
        canvas.translate(origin.x, origin.y);
        if (yDown) canvas.scaleBy(1, -1);
        view.rectsBeingDrawn_.clear();
        for (const Rect& r : rects) view.rectsBeingDrawn_.push_back(view.convertFromWindow(r));
        Rect dirtyInView = view.convertFromWindow(all);
        if (view.layerBackgroundColor()) {
            canvas.setClearColor(*view.layerBackgroundColor());
            if (!view.isOpaque()) canvas.clear(dirtyInView);
        }
        view.draw(canvas, dirtyInView);
        view.rectsBeingDrawn_.clear();
        canvas.restore();
    }
    Rect inner = view.clipsToBounds() ? area : visible;
    // A copy: drawing may add or remove views.
    std::vector<View*> subviews = view.subviews();
    for (View* sub : subviews) drawView(*sub, canvas, dirty, inner);
}

}  // namespace platform::ui
