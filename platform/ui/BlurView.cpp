#include "platform/ui/BlurView.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/gfx/BoxBlur.h"
#include "platform/gfx/Canvas.h"

namespace platform::ui {

BlurView::BlurView(const Rect& frame) : View(frame) {}

BlurView::~BlurView() {
    if (pending_) pending_->cancel();
}

void BlurView::setTint(std::optional<gfx::Rgba> tint) {
    if (tint == tint_) return;
    tint_ = tint;
    setNeedsDisplay();
}

void BlurView::draw(gfx::Canvas& canvas, const Rect&) {
    // The view's box in device pixels; the kept copy covers it in blocks of reduction².
    const gfx::Point a = canvas.userToDevice({0, 0});
    const gfx::Point b = canvas.userToDevice({bounds().width, bounds().height});
    const int x0 = static_cast<int>(std::lround(std::min(a.x, b.x))), y0 = static_cast<int>(std::lround(std::min(a.y, b.y)));
    const int width = static_cast<int>(std::lround(std::fabs(b.x - a.x)));
    const int height = static_cast<int>(std::lround(std::fabs(b.y - a.y)));
    if (width <= 0 || height <= 0) return;
    const int qw = (width + reduction - 1) / reduction, qh = (height + reduction - 1) / reduction;
    if (beneath_.width != qw || beneath_.height != qh) {
        beneath_ = gfx::Image{qw, qh, std::vector<uint32_t>(static_cast<size_t>(qw) * static_cast<size_t>(qh), 0)};
        blurred_ = {};
    }
    bool changed = false;
    for (const Rect& r : rectsBeingDrawn()) {
        const gfx::Point p = canvas.userToDevice({r.x, r.y}), q = canvas.userToDevice({r.maxX(), r.maxY()});
        // Whole blocks only: the pixels around a dirty rectangle still hold this view's last blur.
        auto inBlocks = [&](double v, int origin, bool up) {
            const double blocks = (v - origin) / reduction;
            return static_cast<int>(up ? std::ceil(blocks - 1e-6) : std::floor(blocks + 1e-6));
        };
        const int bx0 = std::max(0, inBlocks(std::min(p.x, q.x), x0, true));
        const int by0 = std::max(0, inBlocks(std::min(p.y, q.y), y0, true));
        // A rectangle reaching the view's edge takes the partial block there.
        const double right = std::max(p.x, q.x), bottom = std::max(p.y, q.y);
        const int bx1 = right >= x0 + width - 1e-6 ? qw : std::min(qw, inBlocks(right, x0, false));
        const int by1 = bottom >= y0 + height - 1e-6 ? qh : std::min(qh, inBlocks(bottom, y0, false));
        if (bx1 > bx0 && by1 > by0) changed |= capture(canvas, Box{x0, y0, width, height}, bx0, by0, bx1 - bx0, by1 - by0);
    }
    if (changed || blurred_.isEmpty()) {
        stale_ = true;
        if (blurred_.isEmpty() || runtime::MainLoop::main().now() - lastBlur_ >= minimumInterval) {
            blurNow();
            // Drawn whole at the next pass, where only the dirty rectangles showed it now.
            setNeedsDisplay();
        } else {
            scheduleBlur();
        }
    }
    if (!blurred_.isEmpty()) {
        const double scale = canvas.scale();
        const double w = blurred_.width * reduction / scale, h = blurred_.height * reduction / scale;
        // The view is not flipped: the image's top row goes to its top edge.
        canvas.drawImage(blurred_, Rect{0, bounds().height - h, w, h});
    }
    if (tint_) canvas.fill(bounds(), *tint_);
}

bool BlurView::capture(gfx::Canvas& canvas, const Box& box, int bx, int by, int bw, int bh) {
    // Blocks on the view's right and bottom edges may be partial.
    const int w = std::min(bw * reduction, box.width - bx * reduction);
    const int h = std::min(bh * reduction, box.height - by * reduction);
    const gfx::Image pixels = canvas.copyPixels(box.x + bx * reduction, box.y + by * reduction, w, h);
    const gfx::Image reduced = gfx::downsampled(pixels, reduction);
    bool changed = false;
    for (int y = 0; y < std::min(bh, reduced.height); ++y) {
        for (int x = 0; x < std::min(bw, reduced.width); ++x) {
            uint32_t& kept = beneath_.pixels[static_cast<size_t>((by + y) * beneath_.width + bx + x)];
            const uint32_t fresh = reduced.pixels[static_cast<size_t>(y * reduced.width + x)];
            if (kept == fresh) continue;
            // Text drawn under another clip differs in its antialiasing by a few levels: only a
            // real change blurs again.
            for (int c = 0; c < 32 && !changed; c += 8) {
                const int a = static_cast<int>((kept >> c) & 0xff), b = static_cast<int>((fresh >> c) & 0xff);
                changed = std::abs(a - b) > significantChange;
            }
            kept = fresh;
        }
    }
    return changed;
}

void BlurView::blurNow() {
    if (pending_) std::exchange(pending_, nullptr)->cancel();
    blurred_ = beneath_;
    gfx::boxBlur(blurred_, blurRadius, 3, gfx::BlurEdges::extended);
    lastBlur_ = runtime::MainLoop::main().now();
    stale_ = false;
    ++blurCount_;
}

void BlurView::scheduleBlur() {
    if (pending_) return;
    auto& loop = runtime::MainLoop::main();
    // Until it runs, this view is the only owner of the item: it is cancelled with the view.
    pending_ = std::make_shared<runtime::WorkItem>([this] {
        pending_.reset();
        if (!stale_) return;
        blurNow();
        setNeedsDisplay();
    });
    loop.postAt(lastBlur_ + minimumInterval, pending_);
}

}  // namespace platform::ui
