#include "platform/ui/View.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/ui/Window.h"

namespace platform::ui {

namespace {

double usableLength(double v) { return std::isfinite(v) && v > 0 ? v : 0.0; }
double usableCoordinate(double v) { return std::isfinite(v) ? v : 0.0; }

gfx::Rect spanning(gfx::Point a, gfx::Point b) {
    return gfx::Rect{std::min(a.x, b.x), std::min(a.y, b.y), std::fabs(b.x - a.x), std::fabs(b.y - a.y)};
}

}  // namespace

std::string describe(const gfx::Rect& r) {
    char text[128];
    std::snprintf(text, sizeof text, "{{%g, %g}, {%g, %g}}", r.x, r.y, r.width, r.height);
    return text;
}

View::View(const Rect& frame) {
    frame_ = Rect{usableCoordinate(frame.x), usableCoordinate(frame.y), usableLength(frame.width),
                  usableLength(frame.height)};
}

View::~View() {
    removeFromSuperview();
    for (View* sub : subviews_) {
        sub->superview_ = nullptr;
        sub->setWindow(nullptr);
    }
    if (window_) window_->viewWillLeave(*this);
    if (window_ && window_->contentView_ == this) {
        window_->invalidate(window_->bounds());
        window_->contentView_ = nullptr;
    }
}

void View::setFrame(const Rect& frame) {
    frameAnimation_.reset();
    applyFrame(frame);
}

void View::applyFrame(const Rect& frame) {
    const bool wasStepping = std::exchange(steppingFrame_, true);
    applyFrameNow(frame);
    steppingFrame_ = wasStepping;
}

void View::applyFrameNow(const Rect& frame) {
    setFrameOrigin({frame.x, frame.y});
    Size size{usableLength(frame.width), usableLength(frame.height)};
    if (size.width != frame_.width || size.height != frame_.height) setFrameSize(size);
}

void View::setFrameOrigin(Point origin) {
    if (!steppingFrame_) frameAnimation_.reset();
    origin = {usableCoordinate(origin.x), usableCoordinate(origin.y)};
    if (origin.x == frame_.x && origin.y == frame_.y) return;
    invalidateVisual();
    frame_.x = origin.x;
    frame_.y = origin.y;
    invalidateVisual();
}

void View::setFrameSize(Size size) {
    if (!steppingFrame_) frameAnimation_.reset();
    invalidateVisual();
    const Size old{frame_.width, frame_.height};
    frame_.width = usableLength(size.width);
    frame_.height = usableLength(size.height);
    invalidateVisual();
    if (old.width != frame_.width || old.height != frame_.height) resizeSubviews(old);
}

void View::addSubview(View* view) { addSubview(view, nullptr); }

void View::addSubview(View* view, View* below) {
    if (!view || view == this || view == below) return;
    for (View* a = superview_; a; a = a->superview_) {
        if (a == view) return;  // a view cannot hold its own ancestor
    }
    if (view->superview_ == this) {
        // A move within this view keeps it in the window; where it was in the order is drawn again.
        view->invalidateVisual();
        std::erase(subviews_, view);
    } else {
        view->removeFromSuperview();
    }
    auto at = std::find(subviews_.begin(), subviews_.end(), below);
    subviews_.insert(at, view);
    view->superview_ = this;
    view->setWindow(window_);
    view->setNeedsDisplay();
}

void View::addSubview(View* view, Ordering ordering, View* sibling) {
    const bool isSibling = sibling && sibling->superview_ == this && sibling != view;
    if (ordering == Ordering::below) {
        addSubview(view, isSibling ? sibling : (subviews_.empty() ? nullptr : subviews_.front()));
        // Below everything: a view that was the bottom one stays there.
        if (!isSibling && view && view->superview_ == this && subviews_.front() != view) {
            std::erase(subviews_, view);
            subviews_.insert(subviews_.begin(), view);
        }
        return;
    }
    if (!isSibling) {
        addSubview(view, nullptr);
        return;
    }
    const auto at = std::find(subviews_.begin(), subviews_.end(), sibling);
    View* next = at + 1 != subviews_.end() ? *(at + 1) : nullptr;
    if (next == view) next = at + 2 < subviews_.end() ? *(at + 2) : nullptr;
    addSubview(view, next);
}

void View::removeFromSuperview() {
    if (!superview_) return;
    invalidateVisual();
    auto& siblings = superview_->subviews_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    superview_ = nullptr;
    setWindow(nullptr);
}

void View::setHidden(bool hidden) {
    if (hidden == hidden_) return;
    if (hidden) invalidateVisual();
    hidden_ = hidden;
    if (hidden) return;
    if (window_) shownAtPass_ = window_->passes_;
    invalidateVisual();
    bool ancestorHidden = false;
    for (View* a = superview_; a; a = a->superview_) ancestorHidden = ancestorHidden || a->hidden_;
    if (!ancestorHidden) notifyUnhidden();
}

void View::notifyUnhidden() {
    if (hidden_) return;
    if (window_) shownAtPass_ = window_->passes_;
    viewDidUnhide();
    for (View* sub : subviews_) sub->notifyUnhidden();
}

void View::setLayerBackgroundColor(std::optional<gfx::Rgba> color) {
    if (color == layerBackgroundColor_) return;
    layerBackgroundColor_ = color;
    setNeedsDisplay();
}

void View::setCornerRadius(double radius) {
    radius = std::isfinite(radius) ? std::max(radius, 0.0) : 0.0;
    if (radius == cornerRadius_) return;
    cornerRadius_ = radius;
    invalidateVisual();
}

void View::setBorder(double width, gfx::Rgba color) {
    width = std::isfinite(width) ? std::max(width, 0.0) : 0.0;
    if (width == borderWidth_ && color == borderColor_) return;
    borderWidth_ = width;
    borderColor_ = color;
    setNeedsDisplay();
}

void View::setShadow(const Shadow& shadow) {
    if (shadow == shadow_) return;
    invalidateVisual();
    shadow_ = shadow;
    if (!std::isfinite(shadow_.radius) || shadow_.radius < 0) shadow_.radius = 0;
    if (!std::isfinite(shadow_.opacity)) shadow_.opacity = 0;
    shadow_.opacity = std::clamp(shadow_.opacity, 0.0, 1.0);
    shadow_.offset = {usableCoordinate(shadow_.offset.x), usableCoordinate(shadow_.offset.y)};
    invalidateVisual();
}

double View::shadowOutset() const {
    if (shadow_.opacity <= 0 || shadow_.color.alpha <= 0) return 0;
    // Three box passes of half the radius reach about one and a half radii.
    return std::ceil(1.5 * shadow_.radius) + std::max(std::fabs(shadow_.offset.x), std::fabs(shadow_.offset.y)) + 1;
}

View::Rect View::visualFrame() const {
    const double e = shadowOutset();
    return Rect{frame_.x - e, frame_.y - e, frame_.width + 2 * e, frame_.height + 2 * e};
}

void View::invalidateVisual() {
    if (hidden_) return;
    if (!window_) {
        pendingDisplay_ = true;
        return;
    }
    const double e = shadowOutset();
    window_->invalidate(convertToWindow(Rect{-e, -e, frame_.width + 2 * e, frame_.height + 2 * e}), this);
}

void View::setNeedsDisplay(const Rect& rect) {
    // A hidden view shows nothing; it is drawn again when it is shown.
    if (hidden_) return;
    Rect r = rect.intersection(bounds());
    if (r.isEmpty()) return;
    if (window_) {
        // What a clipping ancestor cuts away is never drawn: a large layer in a small view (a glow
        // in a tile) leaves no more to draw again than the view shows.
        Rect w = convertToWindow(r);
        for (const View* a = superview_; a && !w.isEmpty(); a = a->superview_) {
            if (a->clipsToBounds_) w = w.intersection(a->convertToWindow(a->bounds()));
        }
        if (!w.isEmpty()) window_->invalidate(w, this);
    } else {
        pendingDisplay_ = true;
    }
}

bool View::needsDisplay() const {
    if (!window_) return pendingDisplay_;
    Rect mine = convertToWindow(bounds());
    return std::any_of(window_->dirtyRects().begin(), window_->dirtyRects().end(),
                       [&](const Rect& d) { return d.intersects(mine); });
}

bool View::scrollRect(const Rect& rect, double dy) {
    if (!window_) return false;
    return window_->scrollView(*this, rect, dy);
}

void View::draw(gfx::Canvas&, const Rect&) {}

void View::pending(const std::string& message) const {
    std::printf("%s\n   ->", message.c_str());
    for (const Rect& r : rectsBeingDrawn_) std::printf(" %s", describe(r).c_str());
    std::printf("\n");
}

std::optional<double> View::backingScaleFactor() const {
    if (!window_) return std::nullopt;
    return window_->backingScaleFactor();
}

void View::setWindow(Window* window) {
    if (window_ == window) return;
    if (window_) window_->viewWillLeave(*this);
    // Out of a window nothing ticks: a move ends where it was going.
    if (!window && frameAnimation_) setFrame(frameAnimation_->to);
    window_ = window;
    if (window_) shownAtPass_ = window_->passes_;
    if (window_ && !trackingAreas_.empty()) window_->trackingAreasChanged(*this);
    if (window_ && hasAnimations()) window_->viewDidAnimate(*this);
    for (View* sub : subviews_) sub->setWindow(window);
    viewDidMoveToWindow();
    if (window) {
        viewDidChangeBackingProperties();
        pendingDisplay_ = false;
        setNeedsDisplay();
    }
}

void View::notifyKeyStateChanged() {
    windowDidChangeKeyState();
    // A copy: a view may change the tree when told.
    std::vector<View*> subviews = subviews_;
    for (View* sub : subviews) sub->notifyKeyStateChanged();
}

void View::notifyBackingPropertiesChanged() {
    viewDidChangeBackingProperties();
    for (View* sub : subviews_) sub->notifyBackingPropertiesChanged();
}

// A flipped view counts y down from its top edge; its frame origin is then its top-left corner
// in a flipped superview and its bottom-left corner in an unflipped one.
View::Point View::toSuperview(Point p) const {
    double yUp = isFlipped() ? frame_.height - p.y : p.y;
    bool parentFlipped = superview_ && superview_->isFlipped();
    return {frame_.x + p.x, parentFlipped ? frame_.y + frame_.height - yUp : frame_.y + yUp};
}

View::Point View::fromSuperview(Point p) const {
    bool parentFlipped = superview_ && superview_->isFlipped();
    double yUp = parentFlipped ? frame_.height - (p.y - frame_.y) : p.y - frame_.y;
    return {p.x - frame_.x, isFlipped() ? frame_.height - yUp : yUp};
}

View::Point View::convertToWindow(Point p) const {
    for (const View* v = this; v; v = v->superview_) p = v->toSuperview(p);
    return p;
}

View::Rect View::convertToWindow(const Rect& r) const {
    return spanning(convertToWindow(Point{r.x, r.y}), convertToWindow(Point{r.maxX(), r.maxY()}));
}

View::Point View::convertFromWindow(Point p) const {
    std::vector<const View*> chain;
    for (const View* v = this; v; v = v->superview_) chain.push_back(v);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) p = (*it)->fromSuperview(p);
    return p;
}

View::Rect View::convertFromWindow(const Rect& r) const {
    std::vector<const View*> chain;
    for (const View* v = this; v; v = v->superview_) chain.push_back(v);
    Point a{r.x, r.y}, b{r.maxX(), r.maxY()};
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        a = (*it)->fromSuperview(a);
        b = (*it)->fromSuperview(b);
    }
    return spanning(a, b);
}

// --- Events ------------------------------------------------------------------------------------

bool View::isFirstResponder() const { return window_ && window_->firstResponder() == this; }

void View::keyDown(const KeyEvent& event) {
    if (superview_) superview_->keyDown(event);
    // Past the top of the chain: no view took the key.
    else if (window_) window_->keyWentUnhandled();
}

bool View::isHiddenOrHasHiddenAncestor() const {
    for (const View* v = this; v; v = v->superview_) {
        if (v->hidden_) return true;
    }
    return false;
}

bool View::canBecomeKeyView() const {
    return window_ && acceptsFirstResponder() && !isHiddenOrHasHiddenAncestor() && frame_.width > 0 && frame_.height > 0;
}

void View::keyUp(const KeyEvent& event) {
    if (superview_) superview_->keyUp(event);
}

void View::flagsChanged(const KeyEvent& event) {
    if (superview_) superview_->flagsChanged(event);
}

void View::mouseDown(const MouseEvent& event) {
    if (superview_) superview_->mouseDown(event);
}

void View::mouseUp(const MouseEvent& event) {
    if (superview_) superview_->mouseUp(event);
}

void View::mouseDragged(const MouseEvent& event) {
    if (superview_) superview_->mouseDragged(event);
}

void View::mouseMoved(const MouseEvent& event) {
    if (superview_) superview_->mouseMoved(event);
}

void View::scrollRectToVisible(const Rect& rect) {
    if (superview_) superview_->scrollRectToVisible(superview_->convertFromWindow(convertToWindow(rect)));
}

void View::scrollWheel(const ScrollEvent& event) {
    if (superview_) superview_->scrollWheel(event);
}

View* View::hitTest(Point p) {
    if (hidden_) return nullptr;
    if (!(p.x >= frame_.x && p.x < frame_.maxX() && p.y >= frame_.y && p.y < frame_.maxY())) return nullptr;
    // A point in the superview's coordinates, whatever its flipping: through the window.
    const Point inSelf = fromSuperview(p);
    // Subviews' frames are in this view's coordinates; the topmost (last added) first.
    for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
        if (View* hit = (*it)->hitTest(inSelf)) return hit;
    }
    return this;
}

TextInputContext* View::inputContext() const { return window_ ? window_->textInputContext() : nullptr; }

// --- Opacity and animations -------------------------------------------------------------------

void View::setOpacity(double opacity) {
    opacity = std::isfinite(opacity) ? std::clamp(opacity, 0.0, 1.0) : opacity_;
    if (opacity == opacity_) return;
    opacity_ = opacity;
    setNeedsDisplay();
}

void View::addAnimation(const std::string& key, Animation animation) {
    animation.beginTime = animationNow();
    auto it = std::find_if(animations_.begin(), animations_.end(), [&](const auto& a) { return a.first == key; });
    if (it != animations_.end()) {
        it->second = std::move(animation);
    } else {
        animations_.emplace_back(key, std::move(animation));
    }
    setNeedsDisplay();
    if (window_) window_->viewDidAnimate(*this);
}

void View::removeAnimation(const std::string& key) {
    auto it = std::find_if(animations_.begin(), animations_.end(), [&](const auto& a) { return a.first == key; });
    if (it == animations_.end()) return;
    animations_.erase(it);
    setNeedsDisplay();
    if (window_) window_->scheduleAnimationTicks();
}

void View::removeAllAnimations() {
    if (animations_.empty()) return;
    animations_.clear();
    setNeedsDisplay();
    if (window_) window_->scheduleAnimationTicks();
}

const Animation* View::animation(const std::string& key) const {
    for (const auto& [name, animation] : animations_) {
        if (name == key) return &animation;
    }
    return nullptr;
}

std::optional<double> View::presentationValue(const std::string& property) const {
    if (animations_.empty()) return std::nullopt;
    const runtime::TimePoint now = animationNow();
    for (auto it = animations_.rbegin(); it != animations_.rend(); ++it) {
        const Animation& running = it->second;
        if ((running.keyPath.empty() ? it->first : running.keyPath) != property) continue;
        const double elapsed = std::chrono::duration<double>(now - running.beginTime).count();
        if (auto value = running.valueAt(elapsed)) return value;
    }
    return std::nullopt;
}

double View::presentationOpacity() const {
    // Asked for every view drawn: no clock read or key made for a view without animations.
    const double value = animations_.empty() ? opacity_ : presentationValue("opacity").value_or(opacity_);
    return std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : opacity_;
}

void View::animateFrame(const Rect& target, bool implicit) {
    const AnimationContext* group = AnimationContext::current();
    const bool animates = group && group->duration > 0 && window_ && (!implicit || group->allowsImplicitAnimation);
    if (!animates) {
        setFrame(target);
        return;
    }
    const runtime::TimePoint now = animationNow();
    const Rect from = frameAnimation_ ? frameAt(*frameAnimation_, now) : frame_;
    // The same destination keeps its move; a new one starts where the view stands.
    if (frameAnimation_ && frameAnimation_->to == target) return;
    if (!frameAnimation_ && from == target) return;
    frameAnimation_ = FrameAnimation{from, target, group->duration, group->timing, now, group->ticket()};
    window_->viewDidAnimate(*this);
}

View::Rect View::frameAt(const FrameAnimation& a, runtime::TimePoint now) const {
    const double elapsed = std::chrono::duration<double>(now - a.begin).count();
    if (!(elapsed < a.duration)) return a.to;
    const double p = a.timing.apply(std::max(elapsed, 0.0) / a.duration);
    auto mix = [p](double from, double to) { return from + (to - from) * p; };
    return Rect{mix(a.from.x, a.to.x), mix(a.from.y, a.to.y), mix(a.from.width, a.to.width),
                mix(a.from.height, a.to.height)};
}

std::optional<runtime::TimePoint> View::frameAnimationEnd() const {
    if (!frameAnimation_) return std::nullopt;
    return frameAnimation_->begin +
           std::chrono::duration_cast<runtime::Duration>(std::chrono::duration<double>(frameAnimation_->duration));
}

void View::stepFrameAnimation() {
    if (!frameAnimation_) return;
    const runtime::TimePoint now = animationNow();
    const Rect next = frameAt(*frameAnimation_, now);
    const bool ended = next == frameAnimation_->to;
    // Taken first: setting the frame may start another move of this view.
    std::optional<FrameAnimation> running = ended ? std::exchange(frameAnimation_, std::nullopt) : std::nullopt;
    applyFrame(next);
}

void View::collectEndedAnimations(std::vector<std::function<void()>>& completions) {
    const runtime::TimePoint now = animationNow();
    auto ended = [&](const std::pair<std::string, Animation>& a) {
        return a.second.hasEnded(std::chrono::duration<double>(now - a.second.beginTime).count());
    };
    for (auto& a : animations_) {
        if (ended(a) && a.second.completion) completions.push_back(std::move(a.second.completion));
    }
    const size_t before = animations_.size();
    animations_.erase(std::remove_if(animations_.begin(), animations_.end(), ended), animations_.end());
    if (animations_.size() != before) setNeedsDisplay();
}

std::optional<runtime::TimePoint> View::nextAnimationChange(runtime::TimePoint after,
                                                            std::optional<runtime::TimePoint> decorativeNotBefore) const {
    // A key time is a boundary; a tick a little past it sees the new value on either side.
    constexpr runtime::Duration pastKeyTime{1000};
    if (frameAnimation_) return after;
    std::optional<runtime::TimePoint> next;
    for (const auto& entry : animations_) {
        const Animation& running = entry.second;
        const double elapsed = std::chrono::duration<double>(after - running.beginTime).count();
        runtime::TimePoint at = after;
        if (!running.hasEnded(elapsed)) {
            const std::optional<double> change = running.nextChangeAfter(elapsed);
            if (!change || !std::isfinite(*change) || *change > 1e9) continue;
            if (*change > elapsed) {
                at = running.beginTime +
                     std::chrono::ceil<runtime::Duration>(std::chrono::duration<double>(*change)) + pastKeyTime;
            }
            if (running.decorative && decorativeNotBefore) at = std::max(at, *decorativeNotBefore);
        }
        if (!next || at < *next) next = at;
    }
    return next;
}

// --- Tracking areas -----------------------------------------------------------------------------

int View::addTrackingArea(const Rect& rect) {
    const int number = nextTrackingArea_++;
    trackingAreas_.push_back({number, rect});
    if (window_) window_->trackingAreasChanged(*this);
    return number;
}

void View::removeTrackingArea(int area) {
    const size_t before = trackingAreas_.size();
    std::erase_if(trackingAreas_, [&](const TrackingArea& a) { return a.number == area; });
    if (trackingAreas_.size() != before && window_) window_->trackingAreasChanged(*this);
}

}  // namespace platform::ui
