#include "quiltdeck/wall/ScalerView.h"

#include <algorithm>
#include <cmath>

#include "platform/gfx/Path.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/wall/TileView.h"
#include "vantel/view/TerminalView.h"

namespace quiltdeck {

using platform::runtime::MainLoop;

ScalerView::ScalerView(const Rect& frame) : View(frame) { setClipsToBounds(true); }

ScalerView::~ScalerView() {
    if (resizeWork_) resizeWork_->cancel();
}

void ScalerView::setTerminal(platform::ui::View* hosted, vantel::TerminalView* terminal) {
    if (hosted_ && hosted_ != hosted && hosted_->superview() == this) hosted_->removeFromSuperview();
    hosted_ = hosted;
    terminal_ = terminal;
    if (hosted_) addSubview(hosted_);
}

double ScalerView::targetSize(double m, bool zoomed) {
    if (!std::isfinite(m)) m = 11.5;
    if (!zoomed) return std::max(std::min(m, 22.0), 9.0);
    if (m >= 22) return 24;
    if (m >= 9) return std::min(m + 4, 24.0);
    return 13;
}

void ScalerView::fit() {
    if (!hosted_ || tooSmall()) return;
    scheduleFit();
}

void ScalerView::scheduleFit() {
    if (resizeWork_) resizeWork_->cancel();
    std::weak_ptr<int> alive = alive_;
    resizeWork_ = MainLoop::main().postAfter(fitDelay, [this, alive] {
        if (alive.expired()) return;
        resizeWork_.reset();
        // A loaded window's frame clock can tick less often than the delay: a tile still moving is
        // fitted where it stops, not at a passing size its program would be told of. A move whose
        // end is long past was not stepped (no frame clock): fitted as it stands.
        if (const auto ends = moveEnds(); ends && MainLoop::main().now() < *ends + stalledMove) {
            scheduleFit();
            return;
        }
        applyFit();
    });
}

std::optional<platform::runtime::TimePoint> ScalerView::moveEnds() const {
    std::optional<platform::runtime::TimePoint> last;
    for (const View* v = this; v; v = v->superview()) {
        if (const auto end = v->frameAnimationEnd(); end && (!last || *end > *last)) last = end;
    }
    return last;
}

void ScalerView::setFrameSize(Size size) {
    View::setFrameSize(size);
    fit();
}

void ScalerView::applyFit() {
    if (!hosted_ || tooSmall()) return;
    ++fits_;
    const Rect wanted{inset, inset, std::max(bounds().width - 2 * inset, 1.0), std::max(bounds().height - 2 * inset, 1.0)};
    const bool moves = hosted_->frame() != wanted;
    if (terminal_) {
        const double size = targetSize(Store::shared().minFontSize(), interactive_);
        const auto& font = terminal_->font();
        if (!font || std::fabs(font->size() - size) > 0.01) {
            Fonts::registerBundled();
            // Font and frame together: the new columns and rows come from the new cell, once.
            if (moves) {
                terminal_->setFont(Fonts::terminal(size), wanted);
            } else {
                terminal_->setFont(Fonts::terminal(size));
            }
        }
    }
    if (!moves) return;
    if (hosted_->frame() != wanted) hosted_->setFrame(wanted);
    hosted_->setNeedsDisplay();
    if (!terminal_) return;
    blankWatch_ = 0;
    watchBlank();
}

void ScalerView::watchBlank() {
    std::weak_ptr<int> alive = alive_;
    MainLoop::main().postAfter(blankWatch_ == 0 ? firstBlankCheck : blankCheckInterval, [this, alive] {
        if (alive.expired() || blankWatch_ >= blankCheckLimit) return;
        ++blankWatch_;
        if (nudgeIfBlank()) watchBlank();
    });
}

bool ScalerView::nudgeIfBlank() {
    if (!terminal_) return false;
    auto& engine = terminal_->getTerminal();
    for (int row = 0; row < engine.rows(); ++row) {
        if (const auto* line = engine.getLine(row); line && !line->translateToString(true, 0, -1).empty()) return false;
    }
    ++nudges_;
    const Rect kept = terminal_->frame();
    // Never below nothing: the engine keeps at least one row whatever the frame.
    terminal_->setFrame(Rect{kept.x, kept.y, kept.width, std::max(kept.height - 1, 0.0)});
    std::weak_ptr<int> alive = alive_;
    MainLoop::main().postAfter(nudgeTime, [this, alive, kept, fitsThen = fits_] {
        // A fit meanwhile has set the frame of the tile as it is now: the one kept is stale, and
        // putting it back would leave the terminal and its child at an old layout's size.
        if (alive.expired() || !terminal_ || fits_ != fitsThen) return;
        terminal_->setFrame(kept);
        terminal_->setNeedsDisplay();
    });
    return true;
}

platform::ui::View* ScalerView::hitTest(Point p) {
    View* hit = View::hitTest(p);
    if (!hit) return nullptr;
    return interactive_ ? hit : this;
}

namespace {

TileView* enclosingTile(platform::ui::View* view) {
    for (platform::ui::View* v = view->superview(); v; v = v->superview()) {
        if (auto* tile = dynamic_cast<TileView*>(v)) return tile;
    }
    return nullptr;
}

}  // namespace

void ScalerView::mouseDown(const platform::ui::MouseEvent& event) {
    if (TileView* tile = enclosingTile(this)) tile->mouseDown(event);
}

void ScalerView::mouseDragged(const platform::ui::MouseEvent& event) {
    if (TileView* tile = enclosingTile(this)) tile->mouseDragged(event);
}

void ScalerView::mouseUp(const platform::ui::MouseEvent& event) {
    if (TileView* tile = enclosingTile(this)) tile->mouseUp(event);
}

// --- ResizeGrip -------------------------------------------------------------------------------------

void ResizeGrip::setTint(platform::gfx::Rgba color) {
    tint = color;
    setNeedsDisplay();
}

void ResizeGrip::draw(platform::gfx::Canvas& canvas, const Rect&) {
    const double w = bounds().width, h = bounds().height;
    platform::gfx::Path path;
    for (const double d : {4.0, 9.0, 14.0}) {
        path.moveTo({w - 3, d});
        path.lineTo({d, h - 3});
    }
    platform::gfx::StrokeStyle style;
    style.width = 1.5;
    style.cap = platform::gfx::StrokeStyle::Cap::round;
    platform::gfx::Rgba color = tint;
    color.alpha *= 0.7;
    canvas.stroke(path, color, style);
}

void ResizeGrip::mouseDown(const platform::ui::MouseEvent& event) {
    if (onDrag) onDrag(event.locationInWindow);
}

void ResizeGrip::mouseDragged(const platform::ui::MouseEvent& event) {
    if (onDrag) onDrag(event.locationInWindow);
}

}  // namespace quiltdeck
