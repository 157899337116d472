#include "platform/ui/Window.h"

#include <algorithm>
#include <limits>
#include <cmath>
#include <functional>
#include <span>
#include <utility>

#include "platform/gfx/Scale.h"
#include "platform/gpu/Device.h"
#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/BlurView.h"
#include "platform/ui/Button.h"
#include "platform/ui/KeyViewLoop.h"
#include "platform/ui/LayerDrawing.h"
#include "platform/ui/Menu.h"
#include "platform/ui/SystemSettings.h"
#include "platform/ui/View.h"
#include "platform/ui/Modals.h"
#include "platform/ui/headless/HeadlessTextInputContext.h"

namespace platform::ui {

using gfx::usableScale;

namespace {

// Opens the menu bar when no view takes it: a terminal keeps it for its program.
constexpr Key menuBarKey = functionKey(10);
constexpr Key fullScreenKey = functionKey(11);

// The rectangle grown out to whole device pixels.
gfx::Rect outToPixels(const gfx::Rect& rect, double scale) {
    const double x0 = std::floor(rect.minX() * scale) / scale, y0 = std::floor(rect.minY() * scale) / scale;
    const double x1 = std::ceil(rect.maxX() * scale) / scale, y1 = std::ceil(rect.maxY() * scale) / scale;
    return gfx::Rect{x0, y0, x1 - x0, y1 - y0};
}

// What of `from` lies outside `cut`, as up to four rectangles added to `out`.
void subtract(const gfx::Rect& from, const gfx::Rect& cut, std::vector<gfx::Rect>& out) {
    const gfx::Rect c = cut.isEmpty() ? gfx::Rect{} : from.intersection(cut);
    if (c.isEmpty()) {
        if (!from.isEmpty()) out.push_back(from);
        return;
    }
    auto add = [&](const gfx::Rect& r) {
        if (r.width > 0 && r.height > 0) out.push_back(r);
    };
    add({from.x, from.y, from.width, c.y - from.y});
    add({from.x, c.maxY(), from.width, from.maxY() - c.maxY()});
    add({from.x, c.y, c.x - from.x, c.height});
    add({c.maxX(), c.y, from.maxX() - c.maxX(), c.height});
}

// The body of a frame with rounded corners as two boxes (one box without corners), `inset` in
// from its edges and snapped inwards to whole device pixels: a pixel wholly inside is wholly
// painted by a ground filling the shape. Added to `out` where they meet `clip` (any of them).
void addCross(const gfx::Rect& f, double radius, double inset, double scale, std::span<const gfx::Rect> clip,
              std::vector<gfx::Rect>& out) {
    const double r = std::min(radius, std::min(f.width, f.height) / 2);
    auto add = [&](double x0, double y0, double x1, double y1) {
        x0 = std::ceil(x0 * scale) / scale, y0 = std::ceil(y0 * scale) / scale;
        x1 = std::floor(x1 * scale) / scale, y1 = std::floor(y1 * scale) / scale;
        if (!(x1 > x0 && y1 > y0)) return;
        for (const gfx::Rect& c : clip) {
            const gfx::Rect piece = gfx::Rect{x0, y0, x1 - x0, y1 - y0}.intersection(c);
            if (!piece.isEmpty()) out.push_back(piece);
        }
    };
    add(f.x + r + inset, f.y + inset, f.maxX() - r - inset, f.maxY() - inset);
    if (r > 0) add(f.x + inset, f.y + r + inset, f.maxX() - inset, f.maxY() - r - inset);
}

// Where subviews of `view` (or theirs, a few levels down) paint their whole frame opaquely, in
// window points, inside `clip`: what lies under those will be painted over. Only views that meet
// `near` are looked into. A shown blur reads what was painted beneath it, so nothing drawn after
// it counts: true when one was met.
bool opaqueCovers(const View& view, std::span<const gfx::Rect> clip, const gfx::Rect& near, double scale, int depth,
                  std::vector<gfx::Rect>& out) {
    for (const View* sub : view.subviews()) {
        if (!sub->isHidden() && dynamic_cast<const BlurView*>(sub)) return true;
        const auto& ground = sub->layerBackgroundColor();
        const bool opaque = sub->isOpaque() || (ground && ground->alpha >= 1);
        // What an opaque view that clips holds lies inside its own cover, nearly all of it.
        const bool deeper = depth > 1 && !sub->subviews().empty() && !(opaque && sub->clipsToBounds());
        if (sub->isHidden() || !(opaque || deeper)) continue;
        const gfx::Rect f = sub->convertToWindow(sub->bounds());
        if (!f.intersects(near) || sub->presentationOpacity() < 1) continue;
        if (opaque) addCross(f, sub->cornerRadius(), 0, scale, clip, out);
        if (!deeper) continue;
        if (sub->clipsToBounds()) {
            std::vector<gfx::Rect> inner;
            addCross(f, sub->cornerRadius(), 0, scale, clip, inner);
            if (!inner.empty() && opaqueCovers(*sub, inner, near, scale, depth - 1, out)) return true;
        } else if (opaqueCovers(*sub, clip, near, scale, depth - 1, out)) {
            return true;
        }
    }
    return false;
}

gfx::Size usableSize(gfx::Size size) {
    auto side = [](double v) { return std::isfinite(v) && v > 0 ? v : 0.0; };
    return {side(size.width), side(size.height)};
}

bool finite(const gfx::Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height);
}

// What of `rects` lies outside every cover; `rects` as they are when that takes too many pieces.
std::vector<gfx::Rect> outside(const std::vector<gfx::Rect>& rects, const std::vector<gfx::Rect>& covers) {
    std::vector<gfx::Rect> pieces = rects, left;
    for (const gfx::Rect& c : covers) {
        left.clear();
        for (const gfx::Rect& p : pieces) subtract(p, c, left);
        std::swap(pieces, left);
        if (pieces.size() > 64) return rects;
    }
    return pieces;
}

// Whether `view` is drawn before `above` and not as a part of it: an ancestor, or a view that
// comes earlier in the order where their branches part.
bool drawnBelow(const View& view, const View& above) {
    const View* branches[64];
    size_t depth = 0;
    for (const View* a = &above; a && depth < std::size(branches); a = a->superview()) branches[depth++] = a;
    const View* child = nullptr;
    for (const View* v = &view; v; child = v, v = v->superview()) {
        const View* const* at = std::find(branches, branches + depth, v);
        if (at == branches + depth) continue;
        if (v == &above) return false;
        if (!child) return true;
        const View* towardsAbove = *(at - 1);
        for (const View* sub : v->subviews()) {
            if (sub == child) return true;
            if (sub == towardsAbove) return false;
        }
        return false;
    }
    return false;
}

}  // namespace

Window::Window(Size size, double backingScaleFactor)
    : size_(usableSize(size)),
      scale_(usableScale(backingScaleFactor)),
      textInput_(std::make_unique<headless::HeadlessTextInputContext>()),
      frameClock_(std::make_unique<LoopFrameClock>()) {
    rebuildSurface();
}

Window::~Window() {
    // A sheet going with its window is off screen; a window going with its sheet leaves it alone.
    if (sheetParent_) sheetParent_->endSheet(*this, cancelled);
    if (sheet_) {
        sheet_->sheetParent_ = nullptr;
        sheet_ = nullptr;
    }
    frameClock_->stop();
    if (animationTimer_) animationTimer_->cancel();
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

void Window::setVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    runtime::NotificationCenter::defaultCenter().post(didChangeVisibilityNotification, this);
}

void Window::setMiniaturized(bool miniaturized) {
    if (miniaturized == miniaturized_) return;
    miniaturized_ = miniaturized;
    if (!miniaturized) runtime::NotificationCenter::defaultCenter().post(didDeminiaturizeNotification, this);
}

void Window::fullScreenDidChange(bool fullScreen) {
    if (fullScreen == fullScreen_) return;
    fullScreen_ = fullScreen;
    runtime::NotificationCenter::defaultCenter().post(
        fullScreen ? didEnterFullScreenNotification : didExitFullScreenNotification, this);
}

std::shared_ptr<gpu::Device> Window::gpuDevice() { return gpu::Device::systemDefault(); }

void Window::addGpuView(GpuView* view) {
    if (!view || std::find(gpuViews_.begin(), gpuViews_.end(), view) != gpuViews_.end()) return;
    gpuViews_.push_back(view);
    gpuViewsChanged();
}

void Window::removeGpuView(GpuView* view) {
    if (std::erase(gpuViews_, view)) gpuViewsChanged();
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

std::unique_ptr<gfx::Canvas> Window::makeSurface(Size size, double scale) {
    return std::make_unique<gfx::Canvas>(size, scale, gfx::Canvas::Storage::resident);
}

void Window::rebuildSurface() {
    // The old one goes first: a window's surface is large.
    surface_.reset();
    surface_ = makeSurface(size_, scale_);
    for (BlurView* b : backdrops_) b->onSurface_ = false;
    dirty_.clear();
    moved_.clear();
    invalidate(bounds());
}

void Window::addBackdrop(BlurView* view) {
    if (view && std::find(backdrops_.begin(), backdrops_.end(), view) == backdrops_.end()) backdrops_.push_back(view);
}

void Window::removeBackdrop(BlurView* view) { std::erase(backdrops_, view); }

bool Window::coveredByBackdrop(const View& view, const Rect& area) const {
    for (const BlurView* b : backdrops_) {
        if ((b->canCover() || b->restores()) && b->convertToWindow(b->bounds()).intersects(area) && drawnBelow(view, *b))
            return true;
    }
    return false;
}

void Window::cutByBackdrops(const std::vector<View*>& subviews, size_t first, const Rect& rect,
                            std::vector<Rect>& out) const {
    std::vector<Rect> pieces{rect}, left;
    for (size_t j = first; j < subviews.size(); ++j) {
        const auto b = std::find(backdrops_.begin(), backdrops_.end(), subviews[j]);
        if (b == backdrops_.end() || !(*b)->covering_) continue;
        // Under it only what changed there is drawn; it paints all the rest.
        const Rect covers = visibleRect(**b);
        left.clear();
        for (const Rect& p : pieces) {
            subtract(p, covers, left);
            for (const Rect& changed : (*b)->changesBeneath()) {
                const Rect c = p.intersection(covers).intersection(changed);
                if (!c.isEmpty()) left.push_back(c);
            }
        }
        std::swap(pieces, left);
    }
    out.insert(out.end(), pieces.begin(), pieces.end());
}

bool Window::hasCoveringBackdrop(const std::vector<View*>& views) const {
    for (const BlurView* b : backdrops_) {
        if (b->covering_ && std::find(views.begin(), views.end(), b) != views.end()) return true;
    }
    return false;
}

void Window::invalidate(const Rect& rect) { invalidate(rect, nullptr); }

void Window::invalidate(const Rect& rect, const View* source) {
    if (!finite(rect) || rect.isEmpty()) return;
    // Whole device pixels, so every clip of the drawing stays a box the glyph blitter can use.
    Rect r = outToPixels(rect, scale_).intersection(bounds());
    if (r.isEmpty()) return;
    // Backdrops over the source keep their copy of what lies beneath them, but for this; what they
    // take again is drawn in whole blocks of their copy.
    std::vector<std::pair<BlurView*, Rect>> grown;
    for (BlurView* b : backdrops_) {
        if (b == source) continue;
        const bool beneath = !source || drawnBelow(*source, *b);
        // Until a backdrop is first drawn, it notes where the surface will not hold what lies
        // beneath it: what views drawn in the last pass asked for (beneath it, or over it, whose
        // pixels are there). Views shown since are looked for when it is drawn.
        if (b->fresh_ && (!source || source->shownAtPass_ < passes_)) b->notUnderSurface(r);
        // Hidden, it still learns of changes until it has put back what lay beneath it.
        if ((b->isHidden() && !b->restores()) || !beneath) continue;
        if (auto g = b->beneathChanged(r); g && !r.contains(*g)) grown.emplace_back(b, *g);
    }
    for (const auto& [b, g] : grown) invalidate(g, b);
    bool wasClean = dirty_.empty();
    if (std::any_of(dirty_.begin(), dirty_.end(), [&](const Rect& d) { return d.contains(r); })) {
        // Already to be drawn, but a view in it may have moved since the last call.
        didChangeWithinDirty();
        return;
    }
    dirty_.erase(std::remove_if(dirty_.begin(), dirty_.end(), [&](const Rect& d) { return r.contains(d); }),
                 dirty_.end());
    addDirty(r);
    if (wasClean) scheduleDisplay();
}

void Window::addDirty(const Rect& rect) {
    dirty_.push_back(rect);
    didInvalidate(rect);
    // One rectangle too many: the new one joins the one whose box with it adds the least to draw.
    // All of them as one box would draw the gaps between far parts too (a wall's sixteen tiles
    // and what lies between them).
    if (dirty_.size() > maxDirtyRects) {
        const auto area = [](const Rect& r) { return r.width * r.height; };
        const Rect added = dirty_.back();
        dirty_.pop_back();
        size_t nearest = 0;
        double least = std::numeric_limits<double>::infinity();
        for (size_t i = 0; i < dirty_.size(); ++i) {
            const double grown = area(dirty_[i].united(added)) - area(dirty_[i]) - area(added);
            if (grown < least) least = grown, nearest = i;
        }
        const Rect merged = dirty_[nearest].united(added);
        // What the box now holds is drawn with it.
        std::erase_if(dirty_, [&](const Rect& d) { return merged.contains(d); });
        dirty_.push_back(merged);
    }
}

bool Window::scrollView(View& view, const Rect& rect, double dy) {
    const Rect area = view.convertToWindow(rect);
    // The distance along the window's y axis (a flipped view counts the other way).
    const double moveBy = view.convertToWindow(gfx::Point{0, dy}).y - view.convertToWindow(gfx::Point{0, 0}).y;
    auto redraw = [&] {
        view.setNeedsDisplay(rect);
        return false;
    };
    if (!finite(area) || area.isEmpty() || !std::isfinite(moveBy)) return redraw();
    auto onPixels = [this](double v) { return std::fabs(v * scale_ - std::round(v * scale_)) < 1e-6; };
    if (!onPixels(area.minX()) || !onPixels(area.minY()) || !onPixels(area.maxX()) || !onPixels(area.maxY()) ||
        !onPixels(moveBy)) {
        return redraw();
    }
    for (const View* v = &view; v; v = v->superview()) {
        if (v->isHidden() || v->presentationOpacity() < 1) return redraw();
    }
    const bool opaque = view.isOpaque() || (view.layerBackgroundColor() && view.layerBackgroundColor()->alpha >= 1);
    if (!opaque || !visibleRect(view).contains(area) || std::fabs(moveBy) >= area.height) return redraw();
    // Under a backdrop the window shows the backdrop's pixels, not the view's.
    if (coveredByBackdrop(view, area)) return redraw();
    if (moveBy == 0) return true;

    const int x0 = static_cast<int>(std::lround(area.minX() * scale_));
    const int x1 = static_cast<int>(std::lround(area.maxX() * scale_));
    const int y0 = static_cast<int>(std::lround((size_.height - area.maxY()) * scale_));
    const int y1 = static_cast<int>(std::lround((size_.height - area.minY()) * scale_));
    // Window y grows upwards, device rows downwards.
    surface_->movePixels(x0, y0, x1, y1, -static_cast<int>(std::lround(moveBy * scale_)));
    moved_.push_back(area);
    didMovePixels(area);

    auto shifted = [&](const Rect& r) { return Rect{r.x, r.y + moveBy, r.width, r.height}.intersection(area); };
    std::vector<Rect> again;
    for (const Rect& d : dirty_) {
        if (d.intersects(area)) again.push_back(shifted(d.intersection(area)));
    }
    again.push_back(moveBy > 0 ? Rect{area.x, area.y, area.width, moveBy}
                               : Rect{area.x, area.maxY() + moveBy, area.width, -moveBy});
    // What other views painted over the area moved with it: they are drawn again where they were
    // and where their pixels went.
    std::vector<Rect> over;
    paintedOver(view, area, over);
    decorationsIn(view, area, over);
    for (const Rect& o : over) {
        again.push_back(o);
        again.push_back(shifted(o));
    }
    for (const Rect& r : again) invalidate(r, &view);
    return true;
}

Window::Rect Window::visibleRect(const View& view) const {
    Rect visible = view.convertToWindow(view.bounds()).intersection(bounds());
    for (const View* a = view.superview(); a; a = a->superview()) {
        if (a->clipsToBounds()) visible = visible.intersection(a->convertToWindow(a->bounds()));
    }
    return visible;
}

void Window::paintedOver(const View& view, const Rect& area, std::vector<Rect>& rects, bool onSurface) const {
    // Views draw parents first, then subviews in order: everything after `view` in that order
    // lies over it.
    bool after = false;
    std::function<void(const View&)> walk = [&](const View& v) {
        if (v.isHidden()) return;
        if (&v == &view) {
            after = true;
        } else if (after && (!onSurface || v.shownAtPass_ < passes_)) {
            // A shadow reaches past the bounds.
            const double e = v.shadowOutset();
            Rect reach = v.paintedBounds();
            reach = Rect{reach.x - e, reach.y - e, reach.width + 2 * e, reach.height + 2 * e};
            const Rect painted = v.convertToWindow(reach).intersection(area);
            if (!painted.isEmpty()) rects.push_back(painted);
        }
        for (const View* sub : v.subviews()) walk(*sub);
    };
    if (contentView_) walk(*contentView_);
}

void Window::decorationsIn(const View& view, const Rect& area, std::vector<Rect>& rects) const {
    // The view's and its ancestors' rounded corners show what lies beneath, and their borders are
    // drawn over the subviews: none of those pixels may travel with the content.
    auto add = [&](const Rect& r) {
        const Rect cut = r.intersection(area);
        if (!cut.isEmpty()) rects.push_back(cut);
    };
    for (const View* v = &view; v; v = v->superview()) {
        const Rect f = v->convertToWindow(v->bounds());
        const double r = std::min({v->cornerRadius(), f.width / 2, f.height / 2});
        if (r > 0) {
            add(Rect{f.minX(), f.minY(), r, r});
            add(Rect{f.maxX() - r, f.minY(), r, r});
            add(Rect{f.minX(), f.maxY() - r, r, r});
            add(Rect{f.maxX() - r, f.maxY() - r, r, r});
        }
        const double w = std::min({v->borderWidth(), f.width, f.height});
        if (w > 0 && v->borderColor().alpha > 0) {
            add(Rect{f.minX(), f.minY(), f.width, w});
            add(Rect{f.minX(), f.maxY() - w, f.width, w});
            add(Rect{f.minX(), f.minY(), w, f.height});
            add(Rect{f.maxX() - w, f.minY(), w, f.height});
        }
    }
}

std::optional<Window::Rect> Window::typingArea() const {
    if (!drawsTypingFirst_ || !firstResponder_ || !lastKeyAt_ || !moved_.empty()) return std::nullopt;
    if (runtime::MainLoop::main().now() - *lastKeyAt_ > typingWindow) return std::nullopt;
    for (const BlurView* b : backdrops_) {
        if (!b->isHidden() || b->restoring_ || b->restores()) return std::nullopt;
    }
    for (const View* v = firstResponder_; v; v = v->superview()) {
        if (v->isHidden()) return std::nullopt;
    }
    // Out to whole device pixels, as dirty rectangles are: a pixel the view's edge cuts is drawn
    // in one pass with all that covers it, not in two, each leaving the other's part as it was.
    return outToPixels(visibleRect(*firstResponder_), scale_);
}

bool Window::holdsForEcho() {
    // Never two passes in a row, or keys before every frame would keep the rest from being drawn.
    const bool heldLast = std::exchange(heldLastPass_, false);
    if (!std::exchange(keySincePass_, false) || heldLast || drewTypingAlone_) return false;
    if (runtime::MainLoop::main().now() - *lastKeyAt_ > echoWait) return false;
    const std::optional<Rect> area = typingArea();
    if (!area || area->isEmpty()) return false;
    heldLastPass_ = std::none_of(dirty_.begin(), dirty_.end(), [&](const Rect& d) { return !d.intersection(*area).isEmpty(); });
    return heldLastPass_;
}

std::vector<Window::Rect> Window::deferAllButTyping() {
    const bool drewAlone = std::exchange(drewTypingAlone_, false);
    if (drewAlone) return {};
    const std::optional<Rect> area = typingArea();
    if (!area) return {};
    std::vector<Rect> now, later;
    for (const Rect& d : dirty_) {
        const Rect inside = d.intersection(*area);
        if (!inside.isEmpty()) now.push_back(inside);
        subtract(d, *area, later);
    }
    std::erase_if(later, [](const Rect& r) { return r.isEmpty(); });
    if (now.empty() || later.empty()) return {};
    dirty_ = std::move(now);
    drewTypingAlone_ = true;
    return later;
}

void Window::displayIfNeeded() {
    if (dirty_.empty() && moved_.empty()) return;
    const runtime::TimePoint passStart = animationNow();
    if (holdsForEcho()) {
        ++passesHeldForEcho_;
        // All of it in the next pass: the backend drew nothing of it this time.
        for (const Rect& r : dirty_) didInvalidate(r);
        scheduleDisplay();
        return;
    }
    std::vector<Rect> later = deferAllButTyping();
    for (BlurView* b : backdrops_) {
        if (b->fresh_) takeBeneathFromSurface(*b);
    }
    std::vector<Rect> rects = std::move(dirty_);
    dirty_.clear();
    std::vector<Rect> moved = std::move(moved_);
    moved_.clear();
    for (BlurView* b : backdrops_) b->beginPass(rects);
    gfx::Canvas& canvas = *surface_;
    // The window itself is transparent: what no view paints stays clear. A content view with a
    // layer colour, or an opaque one, paints all of it anyway.
    bool covered = contentView_ && !contentView_->isHidden() &&
                   (contentView_->layerBackgroundColor() || contentView_->isOpaque());
    // A backdrop hidden since the last pass puts back what lay beneath it, before anything is
    // drawn: the views beneath then draw only where they changed, over it. Only where the content
    // view paints all it is given: elsewhere what left the changed places must be cleared.
    for (BlurView* b : backdrops_) {
        if (!b->restoring_) continue;
        if (covered) b->putBack(canvas, rects);
        else b->restoring_ = b->covering_ = false;
    }
    if (!covered) {
        for (const Rect& r : rects) canvas.clear(r);
    }
    if (contentView_ && !rects.empty()) drawView(*contentView_, canvas, rects, bounds());
    rects.insert(rects.end(), moved.begin(), moved.end());
    ++passes_;
    didDisplay(rects);
    if (std::exchange(tickDrawPending_, false)) animationFrameCost_ = tickCost_ + (animationNow() - passStart);
    if (later.empty()) return;
    // The rest in the next pass, as if asked for now.
    const bool wasClean = dirty_.empty();
    for (const Rect& r : later) addDirty(r);
    if (wasClean) scheduleDisplay();
}

void Window::takeBeneathFromSurface(BlurView& backdrop) {
    // Nothing has been drawn yet, it is not shown whole on whole pixels, or the surface still holds
    // its own picture (hidden and shown again between two passes).
    if (passes_ == 0 || backdrop.onSurface_) return;
    for (const View* v = &backdrop; v; v = v->superview()) {
        if (v->isHidden() || v->presentationOpacity() < 1) return;
        if (v != &backdrop && v->clipsToBounds() && v->cornerRadius() > 0) return;
    }
    const Rect area = backdrop.convertToWindow(backdrop.bounds());
    if (visibleRect(backdrop) != area) return;
    std::vector<Rect> unseen = backdrop.unseen_;
    paintedOver(backdrop, area, unseen, true);
    // Views beneath it shown since the last pass.
    bool reached = false;
    std::function<void(const View&)> walk = [&](const View& v) {
        if (reached || v.isHidden()) return;
        if (&v == &backdrop) {
            reached = true;
            return;
        }
        if (v.shownAtPass_ >= passes_) {
            const double e = v.shadowOutset();
            const Rect p = v.paintedBounds();
            const Rect r = v.convertToWindow(Rect{p.x - e, p.y - e, p.width + 2 * e, p.height + 2 * e}).intersection(area);
            if (!r.isEmpty()) unseen.push_back(r);
        }
        for (const View* sub : v.subviews()) walk(*sub);
    };
    if (contentView_) walk(*contentView_);
    decorationsIn(backdrop, area, unseen);
    if (!backdrop.takeFromSurface(*surface_)) return;
    // There the views beneath are drawn and taken in this pass, in whole blocks of its copy.
    for (const Rect& r : unseen) {
        if (const auto grown = backdrop.beneathChanged(r)) invalidate(*grown, &backdrop);
    }
}

void Window::display() {
    invalidate(bounds());
    displayIfNeeded();
}

void Window::drawView(View& view, gfx::Canvas& canvas, const std::vector<Rect>& dirty, const Rect& visible) {
    if (view.isHidden()) return;
    // A view fading as a whole: it and its subviews are drawn into a layer shown at its opacity.
    const double opacity = view.presentationOpacity();
    if (opacity <= 0) return;
    const bool layered = opacity < 1 && !view.drawsOwnOpacityNow();
    if (layered) {
        // The layer is as large as the clip: cut to where the view and its subviews may draw, or a
        // small fading view would clear and composite a layer the size of every dirty rectangle.
        std::vector<Rect> reach;
        for (const Rect& d : dirty) {
            const Rect r = d.intersection(visible);
            if (!r.isEmpty()) reach.push_back(r);
        }
        if (reach.empty()) return;
        canvas.save();
        canvas.clip(reach);
        canvas.beginTransparencyLayer();
    }
    Rect frame = view.convertToWindow(view.bounds());
    drawShadowOf(view, canvas, dirty, visible, frame);
    Rect area = visible.intersection(frame);
    std::vector<Rect> rects;
    Rect all;
    for (const Rect& d : dirty) {
        Rect r = d.intersection(area);
        if (r.isEmpty()) continue;
        rects.push_back(r);
        all = all.united(r);
    }
    // What opaque subviews or a covering backdrop will paint over needs neither the ground nor the
    // drawing of this view.
    std::vector<Rect> own = rects;
    if (!own.empty() && !view.subviews().empty()) {
        std::vector<Rect> clip;
        if (view.clipsToBounds()) addCross(frame, view.cornerRadius(), 0, canvas.scale(), std::span(&area, 1), clip);
        else clip.push_back(visible);
        std::vector<Rect> covers;
        opaqueCovers(view, clip, all, canvas.scale(), 3, covers);
        for (const Rect& c : covers) {
            std::vector<Rect> left;
            for (const Rect& p : own) subtract(p, c, left);
            own = std::move(left);
        }
        if (!own.empty() && !backdrops_.empty() && hasCoveringBackdrop(view.subviews())) {
            std::vector<Rect> left;
            for (const Rect& r : own) cutByBackdrops(view.subviews(), 0, r, left);
            own = std::move(left);
        }
        all = Rect{};
        for (const Rect& r : own) all = all.united(r);
    }
    if (!own.empty()) {
        canvas.save();
        canvas.clip(own);
        gfx::Point origin = view.convertToWindow(gfx::Point{0, 0});
        bool yDown = view.convertToWindow(gfx::Point{0, 1}).y < origin.y;
        canvas.translate(origin.x, origin.y);
        if (yDown) canvas.scaleBy(1, -1);
        view.rectsBeingDrawn_.clear();
        for (const Rect& r : own) view.rectsBeingDrawn_.push_back(view.convertFromWindow(r));
        Rect dirtyInView = view.convertFromWindow(all);
        if (const auto& color = view.layerBackgroundColor()) {
            canvas.setClearColor(*color);
            if (view.cornerRadius() > 0 || (color->alpha < 1 && view.superview())) {
                // Composited over what lies beneath, in the rounded shape.
                canvas.fill(roundedRectPath(view.bounds(), view.cornerRadius()), *color);
            } else if (!view.isOpaque()) {
                canvas.clear(dirtyInView);
            }
        }
        view.draw(canvas, dirtyInView);
        view.rectsBeingDrawn_.clear();
        canvas.restore();
    }
    Rect inner = view.clipsToBounds() ? area : visible;
    if (view.clipsToBounds() && view.cornerRadius() > 0) {
        drawSubviewsInRoundedShape(view, canvas, dirty, inner, frame);
    } else {
        // A copy: drawing may add or remove views.
        drawSubviews(std::vector<View*>(view.subviews()), canvas, dirty, inner);
    }
    // The border is stroked where the dirty rectangles reach its band; inside it there is nothing of it.
    std::vector<Rect> edges;
    if (!rects.empty() && view.borderWidth() > 0 && view.borderColor().alpha > 0) {
        std::vector<Rect> inside;
        addCross(frame, view.cornerRadius(), view.borderWidth(), canvas.scale(), std::span(&area, 1), inside);
        edges = rects;
        for (const Rect& c : inside) {
            std::vector<Rect> left;
            for (const Rect& p : edges) subtract(p, c, left);
            edges = std::move(left);
        }
    }
    if (!edges.empty()) {
        canvas.save();
        canvas.clip(edges);
        const double w = view.borderWidth(), half = w / 2;
        const Rect edge{frame.x + half, frame.y + half, std::max(0.0, frame.width - w), std::max(0.0, frame.height - w)};
        gfx::StrokeStyle style;
        style.width = w;
        canvas.stroke(roundedRectPath(edge, std::max(0.0, view.cornerRadius() - half)), view.borderColor(), style);
        canvas.restore();
    }
    if (layered) {
        canvas.endTransparencyLayer(opacity);
        canvas.restore();
    }
}

void Window::drawShadowOf(View& view, gfx::Canvas& canvas, const std::vector<Rect>& dirty, const Rect& visible,
                          const Rect& frame) {
    const View::Shadow& shadow = view.shadow();
    const double outset = view.shadowOutset();
    if (outset <= 0) return;
    const Rect shape{frame.x + shadow.offset.x, frame.y + shadow.offset.y, frame.width, frame.height};
    const Rect reach = visible.intersection(Rect{frame.x - outset, frame.y - outset, frame.width + 2 * outset,
                                                 frame.height + 2 * outset});
    // Where an opaque ground of the view or of a subview will cover it, the shadow need not be
    // drawn: inside that frame, a device pixel in from its edges and clear of its rounded corners.
    std::vector<Rect> covered;
    const double px = 1 / std::max(1.0, canvas.scale());
    auto coverBy = [&](const View& v) {
        const auto& ground = v.layerBackgroundColor();
        if (v.isHidden() || !ground || ground->alpha < 1 || v.presentationOpacity() < 1) return;
        Rect f = v.convertToWindow(v.bounds());
        if (&v != &view && view.clipsToBounds()) f = f.intersection(frame);
        const double r = std::min(v.cornerRadius(), std::min(f.width, f.height) / 2);
        // Whole device pixels inwards: a clip edge through a pixel would leave part of its shadow out.
        auto add = [&](double x0, double y0, double x1, double y1) {
            const double s = canvas.scale();
            x0 = std::ceil(x0 * s) / s, y0 = std::ceil(y0 * s) / s;
            x1 = std::floor(x1 * s) / s, y1 = std::floor(y1 * s) / s;
            if (x1 > x0 && y1 > y0) covered.push_back(Rect{x0, y0, x1 - x0, y1 - y0});
        };
        add(f.x + r + px, f.y + px, f.maxX() - r - px, f.maxY() - px);
        add(f.x + px, f.y + r + px, f.maxX() - px, f.maxY() - r - px);
    };
    coverBy(view);
    for (const View* sub : view.subviews()) coverBy(*sub);
    std::vector<Rect> rects;
    for (const Rect& d : dirty) {
        std::vector<Rect> pieces{d.intersection(reach)};
        // Apart from the pieces already taken: each is drawn on its own, once.
        auto cut = [&](const Rect& c) {
            std::vector<Rect> left;
            for (const Rect& p : pieces) subtract(p, c, left);
            pieces = std::move(left);
        };
        for (const Rect& c : covered) cut(c);
        for (size_t i = 0, taken = rects.size(); i < taken && !pieces.empty(); ++i) cut(rects[i]);
        for (const Rect& p : pieces) {
            if (!p.isEmpty()) rects.push_back(p);
        }
    }
    if (rects.empty()) return;
    gfx::Rgba color = shadow.color;
    color.alpha *= shadow.opacity;
    // One box at a time: the shadow's images are composited straight into a box clip, and those
    // that miss it cost nothing, where a clip of many boxes would make a mask for every image.
    for (const Rect& r : rects) {
        canvas.save();
        canvas.clip(r);
        drawShadow(canvas, shape, shadow.cornerRadius.value_or(view.cornerRadius()), shadow.radius, color, r);
        canvas.restore();
    }
}

// The body of a rounded shape is three boxes, where drawing keeps its box clips and its fast
// glyphs; only the four corners are drawn through the rounded clip.
void Window::drawSubviewsInRoundedShape(View& view, gfx::Canvas& canvas, const std::vector<Rect>& dirty,
                                        const Rect& inner, const Rect& frame) {
    const double r = std::min(view.cornerRadius(), std::min(frame.width, frame.height) / 2);
    const Rect boxes[] = {{frame.x, frame.y + r, frame.width, frame.height - 2 * r},
                          {frame.x + r, frame.y, frame.width - 2 * r, r},
                          {frame.x + r, frame.maxY() - r, frame.width - 2 * r, r}};
    const Rect corners[] = {{frame.x, frame.y, r, r},
                            {frame.maxX() - r, frame.y, r, r},
                            {frame.x, frame.maxY() - r, r, r},
                            {frame.maxX() - r, frame.maxY() - r, r, r}};
    auto cut = [&](const auto& pieces) {
        std::vector<Rect> out;
        for (const Rect& d : dirty) {
            for (const Rect& piece : pieces) {
                Rect c = d.intersection(piece);
                if (!c.isEmpty()) out.push_back(c);
            }
        }
        return out;
    };
    std::vector<View*> subviews = view.subviews();
    const std::vector<Rect> body = cut(boxes);
    if (!body.empty()) drawSubviews(subviews, canvas, body, inner);
    const std::vector<Rect> cornerRects = cut(corners);
    if (cornerRects.empty()) return;
    canvas.save();
    canvas.clip(roundedRectPath(frame, r));
    drawSubviews(subviews, canvas, cornerRects, inner);
    canvas.restore();
}

void Window::drawSubviews(const std::vector<View*>& subviews, gfx::Canvas& canvas, const std::vector<Rect>& dirty,
                          const Rect& visible) {
    // Opaque square siblings that paint every pixel of their frame, in window points.
    std::vector<Rect> covers(subviews.size());
    // The last backdrop that covers what lies beneath it in this pass: the views before it are
    // drawn only where they are not covered.
    size_t backdrop = 0;
    for (size_t i = 0; i < subviews.size(); ++i) {
        const View& v = *subviews[i];
        if (!v.isHidden() && v.isOpaque() && v.cornerRadius() <= 0 && v.presentationOpacity() >= 1)
            covers[i] = v.convertToWindow(v.bounds());
        for (const BlurView* b : backdrops_) {
            if (b == &v && b->covering_) backdrop = i + 1;
        }
    }
    // Where later siblings paint every pixel (an opaque view or ground): a view without subviews
    // under them (a scrim, a blur) is drawn only around them.
    std::vector<std::vector<Rect>> grounds(subviews.size());
    bool anyGround = false;
    for (size_t i = 1; i < subviews.size(); ++i) {
        const View& v = *subviews[i];
        const auto& ground = v.layerBackgroundColor();
        if (v.isHidden() || v.presentationOpacity() < 1 || !(v.isOpaque() || (ground && ground->alpha >= 1))) continue;
        addCross(v.convertToWindow(v.bounds()), v.cornerRadius(), 0, canvas.scale(), std::span(&visible, 1), grounds[i]);
        anyGround = anyGround || !grounds[i].empty();
    }
    // A shown blur reads what was drawn beneath it: no sibling over it covers a view beneath it.
    std::vector<size_t> below(subviews.size(), subviews.size());
    for (size_t i = subviews.size(); i-- > 1;) {
        const bool blur = !subviews[i]->isHidden() && dynamic_cast<const BlurView*>(subviews[i]);
        below[i - 1] = blur ? i : below[i];
    }
    std::vector<Rect> shown, over;
    for (size_t i = 0; i < subviews.size(); ++i) {
        View& sub = *subviews[i];
        // Where the view draws: its frame and shadow, unless its subviews may run past it.
        std::optional<Rect> reach;
        if (sub.clipsToBounds() || sub.subviews().empty()) {
            const Rect f = sub.convertToWindow(sub.bounds());
            const double o = sub.shadowOutset();
            reach = Rect{f.x - o, f.y - o, f.width + 2 * o, f.height + 2 * o};
        }
        shown.clear();
        for (const Rect& d : dirty) {
            const Rect drawn = reach ? d.intersection(*reach) : d;
            bool covered = drawn.isEmpty();
            for (size_t j = i + 1; j < below[i] && !covered; ++j) covered = !covers[j].isEmpty() && covers[j].contains(drawn);
            if (covered) continue;
            if (i + 1 < backdrop) cutByBackdrops(subviews, i + 1, d, shown);
            else shown.push_back(d);
        }
        // A blur keeps its copy whole by taking all it is given until it covers.
        const auto* blur = dynamic_cast<const BlurView*>(&sub);
        if (anyGround && !shown.empty() && sub.subviews().empty() && (!blur || blur->covering_)) {
            over.clear();
            for (size_t j = i + 1; j < below[i]; ++j) over.insert(over.end(), grounds[j].begin(), grounds[j].end());
            if (!over.empty()) shown = outside(shown, over);
        }
        if (!shown.empty()) drawView(sub, canvas, shown, visible);
    }
}

// --- Keyboard focus --------------------------------------------------------------------------------

bool Window::makeFirstResponder(View* view) {
    if (view == firstResponder_) {
        firstResponderDidChange();
        keyboardMovedForHold();
        return true;
    }
    if (view && (view->window() != this || !(view->acceptsFirstResponder() || view->canBecomeKeyView()))) return false;
    View* const leaving = firstResponder_;
    if (leaving) {
        const std::optional<View*> outer = std::exchange(keyboardGoingTo_, view);
        const bool letGo = leaving->resignFirstResponder();
        keyboardGoingTo_ = outer;
        if (!letGo) return false;
    }
    // Letting go moved the keyboard itself (a field that ends its editing).
    if (firstResponder_ != leaving) return firstResponder_ == view;
    firstResponder_ = nullptr;
    if (view && view->becomeFirstResponder()) firstResponder_ = view;
    textInput_->setClient(firstResponder_ ? firstResponder_->textInputClient() : nullptr);
    // What takes the keyboard comes into sight where it was scrolled away.
    if (firstResponder_) firstResponder_->scrollRectToVisible(firstResponder_->bounds());
    firstResponderDidChange();
    const bool took = firstResponder_ == view;
    keyboardMovedForHold();
    return took;
}

void Window::holdKeysFor(View* view, std::optional<runtime::Duration> limit) {
    if (view && view->window() != this) return;
    if (keyHold_ && keyHold_->view && keyHold_->view != view) keyHold_.reset();
    if (!keyHold_) keyHold_ = KeyHold{view, runtime::MainLoop::main().now(), {}, limit.value_or(keyHoldLimit)};
    keyHold_->view = view;
    if (view && view == firstResponder_) keyboardMovedForHold();
}

void Window::dropHeldKeys() {
    if (!keyHold_) return;
    const std::vector<KeyEvent> keys = std::move(keyHold_->keys);
    keyHold_.reset();
    View* const had = firstResponder_;
    const bool asking = Modals::isShowing();
    for (const KeyEvent& key : keys) {
        // One of them brought up a question: what was typed before it was shown answers nothing.
        if (!asking && Modals::isShowing()) break;
        // A shortcut among them brought up a view that took the keyboard, or is to take it: the
        // rest were typed for it.
        if (keyHold_ || firstResponder_ != had) {
            sendKeyEvent(key);
            continue;
        }
        if (key.type != KeyEvent::Type::down) continue;
        if (auto monitor = keyDownMonitor; monitor && monitor(key)) {
            noteKeyPress(key);
            continue;
        }
        // With no view to take it, the menu bar's key opens the menu bar, as it does then.
        const bool bare = !(key.modifiers & (Modifier::shift | Modifier::control | Modifier::alt | Modifier::super));
        if (bare && key.key == menuBarKey && !firstResponder_) openMenuBar();
    }
}

bool Window::holdEnded() {
    if (runtime::MainLoop::main().now() - keyHold_->since <= keyHold_->limit) return false;
    keyHold_.reset();
    return true;
}

bool Window::holdKey(const KeyEvent& event) {
    if (holdEnded()) return false;
    if (keyHold_->keys.size() < maxHeldKeys) keyHold_->keys.push_back(event);
    return true;
}

void Window::keyboardMovedForHold() {
    if (!keyHold_ || !firstResponder_ || !keyHold_->view) return;
    if (keyHold_->view != firstResponder_) {
        keyHold_.reset();
        return;
    }
    const std::vector<KeyEvent> keys = std::move(keyHold_->keys);
    keyHold_.reset();
    // Each through the whole path, as if it came now: a key among them may move the keyboard
    // again, or begin another hold that keeps the rest. One that brings up a question (closing a
    // tile that runs) ends them: what was typed before it was shown answers nothing.
    const bool asking = Modals::isShowing();
    for (const KeyEvent& key : keys) {
        if (!asking && Modals::isShowing()) break;
        sendKeyEvent(key);
    }
}

bool Window::isEditingText() const { return firstResponder_ && firstResponder_->isFieldEditor(); }

void Window::setKeyWindow(bool key) {
    if (key == keyWindow_) return;
    keyWindow_ = key;
    if (key) textInput_->focusIn();
    else textInput_->focusOut();
    if (contentView_) contentView_->notifyKeyStateChanged();
}

void Window::setTextInputContext(std::unique_ptr<TextInputContext> context) {
    if (!context) context = std::make_unique<headless::HeadlessTextInputContext>();
    textInput_ = std::move(context);
    textInput_->setClient(firstResponder_ ? firstResponder_->textInputClient() : nullptr);
    if (keyWindow_) textInput_->focusIn();
}

// --- Events ------------------------------------------------------------------------------------

bool Window::sendKeyEvent(const KeyEvent& event) {
    if (Window* next = keysGoTo()) return next->sendKeyEvent(event);
    if (keyHold_) {
        // The window's own shortcuts act at once; the monitor passes on what the view on its way
        // would take, which waits with the rest.
        if (event.type == KeyEvent::Type::down && !holdEnded()) {
            if (auto monitor = keyDownMonitor; monitor && monitor(event)) {
                noteKeyPress(event);
                return true;
            }
            // Full screen is the window's, whichever view is to take the keyboard.
            const bool bare = !(event.modifiers & (Modifier::shift | Modifier::control | Modifier::alt | Modifier::super));
            if (bare && event.key == fullScreenKey && allowsFullScreen_) {
                noteKeyPress(event);
                toggleFullScreen();
                return true;
            }
        }
        if (holdKey(event)) return true;
    }
    noteKeyPress(event);
    if (event.type == KeyEvent::Type::down) {
        lastKeyAt_ = runtime::MainLoop::main().now();
        keySincePass_ = true;
        // A copy: the monitor may replace itself (a sheet it ends gets its own back).
        if (auto monitor = keyDownMonitor; monitor && monitor(event)) return true;
        if (performKeyEquivalent(event)) return true;
    }
    if (!firstResponder_) return event.type == KeyEvent::Type::down ? performKeyboardNavigation(event) : true;
    switch (event.type) {
    case KeyEvent::Type::down: {
        // A key sent from inside a handler keeps the outer one's answer apart.
        const bool outer = std::exchange(keyUnhandled_, false);
        firstResponder_->keyDown(event);
        const bool unhandled = std::exchange(keyUnhandled_, outer);
        return !unhandled || performKeyboardNavigation(event);
    }
    case KeyEvent::Type::up:
        // Input methods also follow releases; one that takes it keeps it from the view.
        if (firstResponder_->textInputClient() && textInput_->filterKeyEvent(event)) return true;
        firstResponder_->keyUp(event);
        break;
    case KeyEvent::Type::flagsChanged: firstResponder_->flagsChanged(event); break;
    }
    return true;
}

bool Window::openMenuBar() {
    if (!menuBar_ || menuBar_->menus.empty()) return false;
    ++menuBarOpenings_;
    runtime::NotificationCenter::defaultCenter().post(didOpenMenuBarNotification, this);
    return true;
}

bool Window::performKeyboardNavigation(const KeyEvent& event) {
    if (event.modifiers & (Modifier::alt | Modifier::super)) return false;
    const bool shift = event.modifiers & Modifier::shift, control = event.modifiers & Modifier::control;
    if (event.key == menuBarKey) return !shift && !control && openMenuBar();
    switch (event.key) {
    case Key::tab: return selectKeyView(!shift);
    case Key::left:
    case Key::up:
    case Key::keypadLeft:
    case Key::keypadUp: return !shift && !control && selectKeyView(false);
    case Key::right:
    case Key::down:
    case Key::keypadRight:
    case Key::keypadDown: return !shift && !control && selectKeyView(true);
    default: return false;
    }
}

bool Window::selectKeyView(bool forward) {
    if (!contentView_) return false;
    if (firstResponder_ && firstResponder_->advanceKeyFocus(forward)) return true;
    // A group that holds the view with the keyboard keeps it among its views.
    std::vector<View*> group;
    for (View* v = firstResponder_; v && group.empty(); v = v->superview()) {
        group = v->keyViewGroup();
        if (std::find(group.begin(), group.end(), firstResponder_) == group.end()) group.clear();
    }
    View* next = group.empty() ? KeyViewLoop::next(*contentView_, firstResponder_, forward) : KeyViewLoop::next(group, firstResponder_, forward);
    if (!next) return false;
    next->keyFocusEntered(forward);
    makeFirstResponder(next);
    return true;
}

View* Window::viewAt(gfx::Point p) const {
    if (!contentView_) return nullptr;
    // The content view's frame is the window's bounds, so window points are its superview's.
    return contentView_->hitTest(p);
}

View* Window::trackingViewFor(View* view) {
    for (View* v = view; v; v = v->superview()) {
        if (v->wantsMouseMoved()) return v;
    }
    return nullptr;
}

int Window::clickCountFor(const MouseEvent& event) {
    const double distance = SystemSettings::doubleClickDistance();
    const bool near = std::fabs(event.locationInWindow.x - lastPress_.location.x) <= distance &&
                      std::fabs(event.locationInWindow.y - lastPress_.location.y) <= distance;
    const bool soon = event.timestamp - lastPress_.timestamp <= SystemSettings::doubleClickInterval() &&
                      event.timestamp >= lastPress_.timestamp;
    const int count = event.button == lastPress_.button && near && soon ? lastPress_.count + 1 : 1;
    lastPress_ = LastPress{event.button, event.locationInWindow, event.timestamp, count};
    return count;
}

void Window::updateHover(View* under, const MouseEvent& event) {
    hoverView_ = under;
    View* tracking = trackingViewFor(under);
    if (tracking != trackingView_) {
        MouseEvent crossing = event;
        if (View* old = trackingView_) {
            trackingView_ = nullptr;
            crossing.type = MouseEvent::Type::exited;
            old->mouseExited(crossing);
        }
        trackingView_ = tracking;
        if (tracking) {
            crossing.type = MouseEvent::Type::entered;
            tracking->mouseEntered(crossing);
        }
    }
    updateCursor();
}

void Window::updateCursor() {
    std::string name = "default";
    for (View* v = hoverView_; v; v = v->superview()) {
        if (auto wanted = v->cursorName()) {
            name = *wanted;
            break;
        }
    }
    if (name == cursorName_) return;
    cursorName_ = name;
    applyCursor(name);
}

void Window::sendMouseEvent(MouseEvent event) {
    // A drag with no view pressed is a move; the monitor sees it before any view, tracking
    // areas included, and reads the pointer where the move took it. A copy: the monitor may
    // replace itself.
    const bool move = event.type == MouseEvent::Type::moved || (event.type == MouseEvent::Type::dragged && !mouseDownView_);
    if (event.type != MouseEvent::Type::exited) pointer_ = event.locationInWindow;
    if (auto monitor = mouseMovedMonitor; monitor && move) monitor(event);
    if (event.type != MouseEvent::Type::exited) {
        // A copy of the event: the areas get their own types and numbers.
        updateTrackingAreas(pointer_, event);
    }
    switch (event.type) {
    case MouseEvent::Type::down: {
        event.clickCount = clickCountFor(event);
        View* target = viewAt(event.locationInWindow);
        updateHover(target, event);
        if (!target) return;
        mouseDownView_ = target;
        // A press moves the keyboard to the nearest view that takes it.
        for (View* v = target; v; v = v->superview()) {
            if (v->acceptsFirstResponder()) {
                makeFirstResponder(v);
                break;
            }
        }
        if (mouseDownView_) mouseDownView_->mouseDown(event);
        break;
    }
    case MouseEvent::Type::up: {
        event.clickCount = lastPress_.count;
        View* target = mouseDownView_ ? mouseDownView_ : viewAt(event.locationInWindow);
        mouseDownView_ = nullptr;
        if (target) target->mouseUp(event);
        updateHover(viewAt(event.locationInWindow), event);
        break;
    }
    case MouseEvent::Type::dragged:
        if (mouseDownView_) {
            event.clickCount = lastPress_.count;
            mouseDownView_->mouseDragged(event);
            break;
        }
        event.type = MouseEvent::Type::moved;
        [[fallthrough]];
    case MouseEvent::Type::moved: {
        updateHover(viewAt(event.locationInWindow), event);
        if (trackingView_) trackingView_->mouseMoved(event);
        break;
    }
    case MouseEvent::Type::entered:
        updateHover(viewAt(event.locationInWindow), event);
        break;
    case MouseEvent::Type::exited: pointerLeft(event.timestamp); break;
    }
}

void Window::sendScrollEvent(const ScrollEvent& event) {
    if (View* target = viewAt(event.locationInWindow)) target->scrollWheel(event);
}

void Window::pointerLeft(double timestamp) {
    MouseEvent event;
    event.type = MouseEvent::Type::exited;
    event.timestamp = timestamp;
    hoverView_ = nullptr;
    pointer_.reset();
    updateTrackingAreas(std::nullopt, event);
    if (View* old = std::exchange(trackingView_, nullptr)) old->mouseExited(event);
    updateCursor();
}

void Window::viewWillLeave(View& view) {
    auto within = [&](View* v) {
        for (; v; v = v->superview()) {
            if (v == &view) return true;
        }
        return false;
    };
    if (within(firstResponder_)) {
        firstResponder_ = nullptr;
        textInput_->setClient(nullptr);
    }
    if (keyHold_ && within(keyHold_->view)) keyHold_.reset();
    if (within(hoverView_)) hoverView_ = nullptr;
    if (within(trackingView_)) trackingView_ = nullptr;
    if (within(mouseDownView_)) mouseDownView_ = nullptr;
    if (within(dragDestination_)) dragDestination_ = nullptr;
    if (within(dragEntered_)) dragEntered_ = nullptr;
    std::erase(animatingViews_, &view);
    if (animatingViews_.empty()) {
        frameClock_->stop();
        if (animationTimer_) std::exchange(animationTimer_, nullptr)->cancel();
    }
    std::erase(trackingOwners_, &view);
    std::erase_if(insideAreas_, [&](const InsideArea& a) { return a.view == &view; });
    // A content view that goes elsewhere is no longer this window's content.
    if (contentView_ == &view) {
        contentView_ = nullptr;
        invalidate(bounds());
    }
}

// --- Animations --------------------------------------------------------------------------------

void Window::setFrameClock(std::unique_ptr<FrameClock> clock) {
    const bool running = frameClock_->isRunning();
    frameClock_->stop();
    frameClock_ = clock ? std::move(clock) : std::make_unique<LoopFrameClock>();
    if (running) frameClock_->start([this] { frameTick(); });
}

void Window::viewDidAnimate(View& view) {
    if (animatingViews_.empty()) lastAnimationTick_ = animationNow();
    if (std::find(animatingViews_.begin(), animatingViews_.end(), &view) == animatingViews_.end()) {
        animatingViews_.push_back(&view);
    }
    scheduleAnimationTicks();
}

std::optional<runtime::TimePoint> Window::decorativeNotBefore() const {
    if (animationFrameCost_ <= LoopFrameClock::interval) return std::nullopt;
    return decorativeDrawnAt_ + animationFrameCost_ +
           std::min<runtime::Duration>(animationFrameCost_ * decorativePauseFactor, longestDecorativePause);
}

void Window::scheduleAnimationTicks() {
    std::erase_if(animatingViews_, [](View* view) { return !view->hasAnimations(); });
    const runtime::TimePoint now = animationNow();
    const std::optional<runtime::TimePoint> decorative = decorativeNotBefore();
    std::optional<runtime::TimePoint> next;
    for (View* view : animatingViews_) {
        if (auto at = view->nextAnimationChange(now, decorative); at && (!next || *at < *next)) next = at;
    }
    if (animationTimer_) std::exchange(animationTimer_, nullptr)->cancel();
    if (next && *next <= now) {
        if (!frameClock_->isRunning()) frameClock_->start([this] { frameTick(); });
        return;
    }
    frameClock_->stop();
    if (!next) return;
    animationTimer_ = runtime::MainLoop::main().postAfter(*next - now, [this] {
        animationTimer_.reset();
        frameTick();
    });
}

void Window::frameTick() {
    const runtime::TimePoint now = animationNow();
    const runtime::TimePoint since = std::exchange(lastAnimationTick_, now);
    const std::optional<runtime::TimePoint> decorative = decorativeNotBefore();
    if (!decorative || *decorative <= now) decorativeDrawnAt_ = now;
    std::vector<std::function<void()>> completions;
    bool drawn = false;
    // A copy: completions and redraws may add or drop views.
    std::vector<View*> views = animatingViews_;
    for (View* view : views) {
        if (std::find(animatingViews_.begin(), animatingViews_.end(), view) == animatingViews_.end()) continue;
        // A moving frame is drawn every tick; other animations only when they show something else
        // than at the last tick.
        const bool moving = view->isAnimatingFrame();
        view->stepFrameAnimation();
        if (auto at = view->nextAnimationChange(since, decorative); moving || (at && *at <= now)) {
            view->setNeedsDisplay();
            drawn = true;
        }
        view->collectEndedAnimations(completions);
    }
    // The frame's cost is this tick's and the pass that draws what it changed.
    if (drawn) {
        tickDrawPending_ = true;
        tickCost_ = animationNow() - now;
    }
    scheduleAnimationTicks();
    for (auto& completion : completions) completion();
}

}  // namespace platform::ui

namespace platform::ui {

namespace {

Button* buttonWithKey(View& view, Button::KeyEquivalent key) {
    if (view.isHidden()) return nullptr;
    if (auto* button = dynamic_cast<Button*>(&view); button && button->keyEquivalent() == key && button->isEnabled()) {
        return button;
    }
    for (View* sub : view.subviews()) {
        if (Button* found = buttonWithKey(*sub, key)) return found;
    }
    return nullptr;
}

}  // namespace

void Window::setScreenFrame(const Rect& frame) {
    screenFrame_ = frame;
    setSize({frame.width, frame.height});
}

bool Window::performKeyEquivalent(const KeyEvent& event) {
    if (event.type != KeyEvent::Type::down) return false;
    // The views' own shortcuts first, from the one that has the keyboard up.
    for (View* v = firstResponder_; v; v = v->superview()) {
        if (v->performKeyEquivalent(event)) return true;
    }
    const ModifierFlags held = event.modifiers & (Modifier::shift | Modifier::control | Modifier::alt | Modifier::super);
    if (held != 0) return false;
    if (event.key == fullScreenKey && allowsFullScreen_) {
        toggleFullScreen();
        return true;
    }
    if (!contentView_) return false;
    Button::KeyEquivalent key = Button::KeyEquivalent::none;
    // A focused button, check box or segment is pressed by Return itself.
    const auto* focused = dynamic_cast<const Control*>(firstResponder_);
    const bool pressesFocused = focused && focused->isKeyboardOperable() && focused->canBecomeKeyView();
    if ((event.key == Key::returnKey || event.key == Key::keypadEnter) && !pressesFocused) key = Button::KeyEquivalent::returnKey;
    if (event.key == Key::escape) key = Button::KeyEquivalent::escape;
    if (key == Button::KeyEquivalent::none) return false;
    Button* button = buttonWithKey(*contentView_, key);
    return button && button->performClick();
}

void Window::beginSheet(Window& sheet, std::function<void(int)> completion) {
    if (&sheet == this || sheet.sheetParent_) return;
    if (sheet_) endSheet(*sheet_, cancelled);
    sheet_ = &sheet;
    sheet.sheetParent_ = this;
    sheet.keysGoTo_ = nullptr;
    sheetCompletion_ = std::move(completion);
    sheetKeyMonitor_ = std::move(sheet.keyDownMonitor);
    sheetCloseRequest_ = std::move(sheet.onCloseRequest);
    // The application's key handling sees the sheet's keys (Escape ends it there).
    sheet.keyDownMonitor = [this, own = sheetKeyMonitor_](const KeyEvent& event) {
        if (own && own(event)) return true;
        return keyDownMonitor && keyDownMonitor(event);
    };
    sheet.onCloseRequest = [this, &sheet] { endSheet(sheet, cancelled); };
    presentSheet(sheet);
}

void Window::endSheet(Window& sheet, int response) {
    if (sheet_ != &sheet) return;
    sheet_ = nullptr;
    sheet.sheetParent_ = nullptr;
    sheet.keyDownMonitor = std::move(sheetKeyMonitor_);
    sheet.onCloseRequest = std::move(sheetCloseRequest_);
    sheet.keysGoTo_ = this;
    sheet.keysGoToAlive_ = alive_;
    dismissSheet(sheet);
    // Last: the completion may let the sheet and its owner go.
    if (auto completion = std::move(sheetCompletion_)) completion(response);
}

// --- Tracking areas, tool tips and drags ---------------------------------------------------------

namespace {

bool shown(const View& view) {
    for (const View* v = &view; v; v = v->superview()) {
        if (v->isHidden()) return false;
    }
    return true;
}

}  // namespace

void Window::trackingAreasChanged(View& view) {
    if (view.trackingAreas().empty()) {
        std::erase(trackingOwners_, &view);
    } else if (std::find(trackingOwners_.begin(), trackingOwners_.end(), &view) == trackingOwners_.end()) {
        trackingOwners_.push_back(&view);
    }
    // An area that went away is left; one that came under the pointer is entered at the next move.
    std::erase_if(insideAreas_, [&](const InsideArea& a) {
        if (a.view != &view) return false;
        for (const View::TrackingArea& area : view.trackingAreas()) {
            if (area.number == a.area) return false;
        }
        return true;
    });
}

void Window::updateTrackingAreas(const std::optional<gfx::Point>& location, const MouseEvent& event) {
    if (trackingOwners_.empty() && insideAreas_.empty()) return;
    std::vector<InsideArea> now;
    if (location) {
        for (View* view : trackingOwners_) {
            if (!shown(*view)) continue;
            const gfx::Point p = view->convertFromWindow(*location);
            for (const View::TrackingArea& area : view->trackingAreas()) {
                if (p.x >= area.rect.x && p.x < area.rect.maxX() && p.y >= area.rect.y && p.y < area.rect.maxY())
                    now.push_back({view, area.number});
            }
        }
    }
    const std::vector<InsideArea> before = std::exchange(insideAreas_, now);
    // Each call below may change the tree: every view is looked for again first.
    auto stillHere = [&](View* view) { return std::find(trackingOwners_.begin(), trackingOwners_.end(), view) != trackingOwners_.end(); };
    MouseEvent crossing = event;
    for (const InsideArea& a : before) {
        if (std::find(now.begin(), now.end(), a) != now.end() || !stillHere(a.view)) continue;
        crossing.type = MouseEvent::Type::exited;
        crossing.trackingArea = a.area;
        a.view->mouseExited(crossing);
    }
    for (const InsideArea& a : now) {
        if (!stillHere(a.view)) continue;
        crossing.trackingArea = a.area;
        if (std::find(before.begin(), before.end(), a) == before.end()) {
            crossing.type = MouseEvent::Type::entered;
            a.view->mouseEntered(crossing);
        }
        if (event.type == MouseEvent::Type::moved && stillHere(a.view)) {
            crossing.type = MouseEvent::Type::moved;
            a.view->mouseMoved(crossing);
        }
    }
}

std::optional<Window::ToolTip> Window::toolTipAt(gfx::Point location) const {
    for (View* v = viewAt(location); v; v = v->superview()) {
        std::string text = v->toolTipText();
        if (!text.empty()) return ToolTip{std::move(text), v->convertToWindow(v->bounds())};
    }
    return std::nullopt;
}

DragOperation Window::dragMoved(const std::vector<std::string>& types, gfx::Point location) {
    View* destination = nullptr;
    for (View* v = viewAt(location); v && !destination; v = v->superview()) {
        for (const std::string& type : v->registeredDraggedTypes()) {
            if (std::find(types.begin(), types.end(), type) != types.end()) {
                destination = v;
                break;
            }
        }
    }
    View::DraggingInfo info{types, location, nullptr};
    if (destination != dragEntered_) {
        if (View* old = std::exchange(dragEntered_, nullptr)) {
            dragDestination_ = nullptr;
            old->draggingExited(info);
        }
        dragEntered_ = destination;
        dragOperation_ = destination ? destination->draggingEntered(info) : DragOperation::none;
    }
    dragDestination_ = dragOperation_ != DragOperation::none ? dragEntered_ : nullptr;
    return dragDestination_ ? dragOperation_ : DragOperation::none;
}

void Window::dragLeft() {
    View::DraggingInfo info;
    dragDestination_ = nullptr;
    dragOperation_ = DragOperation::none;
    if (View* old = std::exchange(dragEntered_, nullptr)) old->draggingExited(info);
}

bool Window::dragDropped(const Pasteboard& content, gfx::Point location) {
    View::DraggingInfo info{{}, location, &content};
    View* destination = std::exchange(dragDestination_, nullptr);
    dragOperation_ = DragOperation::none;
    const bool taken = destination && destination->performDragOperation(info);
    // Unless the view went in its own handling (leaving the window forgets it).
    if (View* entered = std::exchange(dragEntered_, nullptr)) entered->draggingEnded(info);
    return taken;
}

}  // namespace platform::ui
