#include "platform/ui/BlurView.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/gfx/BoxBlur.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Canvas.h"
#include "platform/ui/Window.h"

namespace platform::ui {

namespace {

// More rectangles of change than this are merged into their bounding box.
constexpr size_t maxChanges = 32;
// Changes cut by the rectangles a pass draws: more pieces than this and the pass's rectangles
// stand for them.
constexpr size_t maxPassPieces = 128;

bool onPixel(double v) { return std::fabs(v - std::round(v)) < 1e-6; }

// Adds a rectangle to a list, merged into their bounding box once too many.
void noteIn(std::vector<View::Rect>& rects, const View::Rect& rect) {
    rects.push_back(rect);
    if (rects.size() > maxChanges) {
        View::Rect all;
        for (const View::Rect& c : rects) all = all.united(c);
        rects.assign(1, all);
    }
}

}  // namespace

BlurView::BlurView(const Rect& frame) : View(frame) {}

BlurView::~BlurView() {
    if (pending_) pending_->cancel();
    if (registeredWindow_) registeredWindow_->removeBackdrop(this);
}

void BlurView::setTint(std::optional<gfx::Rgba> tint) {
    if (tint == tint_) return;
    tint_ = tint;
    tinted_ = {};
    made_.assign(made_.size(), false);
    setNeedsDisplay();
}

void BlurView::viewDidMoveToWindow() {
    forget();
    onSurface_ = false;
    unseen_.clear();
    if (!window()) {
        enlarged_.reset();
        made_.clear();
        full_.reset();
    }
    if (registeredWindow_ == window()) return;
    if (registeredWindow_) registeredWindow_->removeBackdrop(this);
    registeredWindow_ = window();
    if (registeredWindow_) registeredWindow_->addBackdrop(this);
}

void BlurView::viewDidChangeBackingProperties() { forget(); }

// What lay beneath while it was hidden went unseen.
void BlurView::viewDidUnhide() { forget(); }

void BlurView::forget() {
    fresh_ = true;
    fromSurface_ = false;
    whole_ = false;
    covering_ = false;
    changes_.clear();
    made_.assign(made_.size(), false);
    fullWhole_ = false;
    untaken_.clear();
    staleFull_.clear();
}

void BlurView::keepFull(const Box& box) {
    if (full_ && fullWidth_ == box.width && fullHeight_ == box.height) return;
    full_.reset(new uint32_t[static_cast<size_t>(box.width) * static_cast<size_t>(box.height)]);
    fullWidth_ = box.width;
    fullHeight_ = box.height;
    fullWhole_ = false;
}

std::optional<BlurView::Box> BlurView::pixelBox() const {
    const Window* w = window();
    if (!w) return std::nullopt;
    const double s = w->backingScaleFactor(), top = w->size().height;
    const Rect f = convertToWindow(bounds());
    const double x0 = f.minX() * s, x1 = f.maxX() * s, y0 = (top - f.maxY()) * s, y1 = (top - f.minY()) * s;
    if (!onPixel(x0) || !onPixel(x1) || !onPixel(y0) || !onPixel(y1) || x1 - x0 < 1 || y1 - y0 < 1) return std::nullopt;
    auto px = [](double v) { return static_cast<int>(std::lround(v)); };
    return Box{px(x0), px(y0), px(x1) - px(x0), px(y1) - px(y0)};
}

bool BlurView::canCover() const {
    const Window* w = window();
    if (!w || !whole_ || blurred_.isEmpty() || !blurredOpaque_) return false;
    if (wholeScale_ != w->backingScaleFactor() || wholeFrame_ != convertToWindow(bounds())) return false;
    for (const View* v = this; v; v = v->superview()) {
        if (v->isHidden() || v->presentationOpacity() < 1) return false;
        if (v != this && v->clipsToBounds() && v->cornerRadius() > 0) return false;
    }
    return pixelBox().has_value();
}

void BlurView::beginPass(const std::vector<Rect>& drawn) {
    changesDrawn_ = std::move(changes_);
    changes_.clear();
    unseen_.clear();
    // Changes of the last pass it was not drawn for never reached the full copy.
    for (const Rect& r : untaken_) noteIn(staleFull_, r);
    untaken_ = changesDrawn_;
    bool shown = window() != nullptr;
    for (const View* v = this; v && shown; v = v->superview()) shown = !v->isHidden();
    restoring_ = false;
    // Hiding it asked for all its place to be drawn again, in this pass.
    if (!shown) onSurface_ = false;
    if (shown) {
        covering_ = canCover();
        keepWithin(drawn);
        untaken_ = changesDrawn_;
        return;
    }
    // Hidden with a whole copy: what lay beneath goes back, and the views beneath are drawn where
    // it changed since the copy was taken.
    const bool back = fullWhole_ && canPutBack();
    std::vector<Rect> stale = std::move(staleFull_);
    if (back && stale.empty() && changesDrawn_.empty()) {
        // Nothing beneath changed: the copy holds, pass after pass (a tile leaving the zoom moves
        // over what lay beneath), until something beneath changes.
        restoring_ = covering_ = true;
        untaken_.clear();
        return;
    }
    // Its copies go while it is not shown.
    forget();
    restoring_ = back;
    covering_ = back;
    if (back) changesDrawn_.insert(changesDrawn_.end(), stale.begin(), stale.end());
    keepWithin(drawn);
}

void BlurView::keepWithin(const std::vector<Rect>& drawn) {
    // Every change was asked to be drawn, but a list merged into its bounding box claims more:
    // only what the pass draws beneath is taken into the copies.
    std::vector<Rect> pieces;
    for (const Rect& c : changesDrawn_) {
        for (const Rect& d : drawn) {
            const Rect piece = c.intersection(d);
            if (!piece.isEmpty()) pieces.push_back(piece);
        }
    }
    if (pieces.size() > maxPassPieces) {
        // Too many to cut by: all that the pass draws over the view counts as changed.
        const Rect mine = convertToWindow(bounds());
        pieces.clear();
        for (const Rect& d : drawn) {
            const Rect piece = d.intersection(mine);
            if (!piece.isEmpty()) pieces.push_back(piece);
        }
    }
    changesDrawn_ = std::move(pieces);
}

bool BlurView::canPutBack() const {
    const Window* w = window();
    if (!w || !full_ || wholeScale_ != w->backingScaleFactor() || wholeFrame_ != convertToWindow(bounds())) return false;
    for (const View* v = this; v; v = v->superview()) {
        if (v != this && v->isHidden()) return false;
        if (v->presentationOpacity() < 1) return false;
        if (v != this && v->clipsToBounds() && v->cornerRadius() > 0) return false;
    }
    const auto box = pixelBox();
    return box && box->width == fullWidth_ && box->height == fullHeight_ && box->x >= 0 && box->y >= 0 &&
           box->x + box->width <= w->surface().pixelWidth() && box->y + box->height <= w->surface().pixelHeight();
}

void BlurView::putBack(gfx::Canvas& canvas, const std::vector<Rect>& rects) {
    const Window* w = window();
    const auto box = pixelBox();
    if (!restoring_ || !w || !box || !full_) return;
    const double s = w->backingScaleFactor(), top = w->size().height;
    auto px = [](double v) { return static_cast<int>(std::lround(v)); };
    for (const Rect& r : rects) {
        const int x0 = px(r.minX() * s), x1 = px(r.maxX() * s), y0 = px((top - r.maxY()) * s), y1 = px((top - r.minY()) * s);
        const int cx0 = std::max(x0, box->x), cy0 = std::max(y0, box->y);
        const int cx1 = std::min(x1, box->x + box->width), cy1 = std::min(y1, box->y + box->height);
        if (cx1 <= cx0 || cy1 <= cy0) continue;
        canvas.replacePixels(full_.get(), box->width, cx0 - box->x, cy0 - box->y, cx1 - cx0, cy1 - cy0, cx0, cy0);
    }
}

void BlurView::notUnderSurface(const Rect& rect) {
    unseen_.push_back(rect);
    if (unseen_.size() > maxChanges) {
        Rect all;
        for (const Rect& c : unseen_) all = all.united(c);
        unseen_.assign(1, all);
    }
}

bool BlurView::takeFromSurface(const gfx::Canvas& surface) {
    const Window* w = window();
    const auto box = pixelBox();
    if (!w || !box || box->x < 0 || box->y < 0 || box->x + box->width > surface.pixelWidth() ||
        box->y + box->height > surface.pixelHeight()) {
        return false;
    }
    gfx::Image reduced = surface.downsampledPixels(box->x, box->y, box->width, box->height, reduction);
    const int qw = (box->width + reduction - 1) / reduction, qh = (box->height + reduction - 1) / reduction;
    if (reduced.width != qw || reduced.height != qh) return false;
    // A blur of opaque pixels is opaque.
    if (!std::all_of(reduced.pixels.begin(), reduced.pixels.end(), [](uint32_t p) { return p >> 24 == 0xff; })) return false;
    beneath_ = std::move(reduced);
    keepFull(*box);
    surface.readPixels(box->x, box->y, box->width, box->height, full_.get(), box->width);
    fullWhole_ = true;
    // Blurred once the pass has drawn what the surface lacks; until then only its opacity counts.
    blurred_ = beneath_;
    tinted_ = {};
    made_.assign(made_.size(), false);
    blurredOpaque_ = true;
    whole_ = true;
    wholeFrame_ = convertToWindow(bounds());
    wholeScale_ = w->backingScaleFactor();
    fromSurface_ = true;
    return true;
}

std::optional<View::Rect> BlurView::beneathChanged(const Rect& rect) {
    const Window* w = window();
    if (!w) return std::nullopt;
    Rect r = rect.intersection(convertToWindow(bounds()));
    if (r.isEmpty()) return std::nullopt;
    if (const auto box = pixelBox()) {
        // Out to whole blocks of the kept copy, on the window's device pixels (rows from the top).
        const double s = w->backingScaleFactor(), top = w->size().height;
        auto out = [&](double v, int origin, int length, bool up) {
            const double blocks = (v - origin) / reduction;
            const int b = static_cast<int>(up ? std::ceil(blocks - 1e-6) : std::floor(blocks + 1e-6));
            return origin + std::clamp(b * reduction, 0, length);
        };
        const int x0 = out(r.minX() * s, box->x, box->width, false), x1 = out(r.maxX() * s, box->x, box->width, true);
        const int y0 = out((top - r.maxY()) * s, box->y, box->height, false);
        const int y1 = out((top - r.minY()) * s, box->y, box->height, true);
        r = Rect{x0 / s, top - y1 / s, (x1 - x0) / s, (y1 - y0) / s};
    }
    changes_.push_back(r);
    if (changes_.size() > maxChanges) {
        Rect all;
        for (const Rect& c : changes_) all = all.united(c);
        changes_.assign(1, all);
    }
    return r;
}

void BlurView::draw(gfx::Canvas& canvas, const Rect&) {
    // The view's box in device pixels; the kept copy covers it in blocks of reduction².
    const gfx::Point a = canvas.userToDevice({0, 0});
    const gfx::Point b = canvas.userToDevice({bounds().width, bounds().height});
    const int x0 = static_cast<int>(std::lround(std::min(a.x, b.x))), y0 = static_cast<int>(std::lround(std::min(a.y, b.y)));
    const int width = static_cast<int>(std::lround(std::fabs(b.x - a.x)));
    const int height = static_cast<int>(std::lround(std::fabs(b.y - a.y)));
    if (width <= 0 || height <= 0) return;
    const Box box{x0, y0, width, height};
    const int qw = (width + reduction - 1) / reduction, qh = (height + reduction - 1) / reduction;
    if (beneath_.width != qw || beneath_.height != qh) {
        beneath_ = gfx::Image{qw, qh, std::vector<uint32_t>(static_cast<size_t>(qw) * static_cast<size_t>(qh), 0)};
        blurred_ = {};
        tinted_ = {};
        made_.clear();
        forget();
    }
    keepFull(box);
    untaken_.clear();
    bool changed = false;
    const Rect mine = bounds();
    const bool all = std::any_of(rectsBeingDrawn().begin(), rectsBeingDrawn().end(), [&](const Rect& r) {
        return r.minX() <= mine.minX() + 1e-6 && r.minY() <= mine.minY() + 1e-6 && r.maxX() >= mine.maxX() - 1e-6 &&
               r.maxY() >= mine.maxY() - 1e-6;
    });
    if (covering_) {
        // Only what changed beneath was drawn there, all of it, though views over this one may
        // leave it less to draw.
        const Rect shown = window()->visibleRect(*this);
        std::vector<Rect> pieces;
        for (const Rect& c : changesDrawn_) {
            const Rect piece = convertFromWindow(c.intersection(shown));
            if (!piece.isEmpty()) pieces.push_back(piece);
        }
        changed = captureRects(canvas, box, pieces);
    } else {
        changed = captureRects(canvas, box, rectsBeingDrawn());
        if (all) {
            whole_ = true;
            wholeFrame_ = convertToWindow(bounds());
            wholeScale_ = canvas.scale();
            fullWhole_ = true;
            staleFull_.clear();
        }
    }
    // What the surface lacked is in the first blur.
    const bool atOnce = std::exchange(fromSurface_, false);
    fresh_ = false;
    onSurface_ = true;
    if (changed || blurred_.isEmpty() || atOnce) {
        stale_ = true;
        if (blurred_.isEmpty() || atOnce || runtime::MainLoop::main().now() - lastBlur_ >= minimumInterval) {
            blurNow();
            // Drawn whole at the next pass, where only the dirty rectangles showed it now.
            if (!all) setNeedsDisplay();
        } else {
            scheduleBlur();
        }
    }
    if (blurred_.isEmpty()) return;
    if (blurredOpaque_ && replacesPixels(canvas)) {
        drawEnlarged(canvas, box);
        return;
    }
    const double scale = canvas.scale();
    const double w = blurred_.width * reduction / scale, h = blurred_.height * reduction / scale;
    // The view is not flipped: the image's top row goes to its top edge.
    canvas.drawImage(blurred_, Rect{0, bounds().height - h, w, h});
    if (tint_) canvas.fill(bounds(), *tint_);
}

bool BlurView::replacesPixels(const gfx::Canvas& canvas) const {
    for (const View* v = this; v; v = v->superview()) {
        if (v->presentationOpacity() < 1) return false;
        if (v != this && v->clipsToBounds() && v->cornerRadius() > 0) return false;
    }
    const gfx::Point a = canvas.userToDevice({0, 0});
    const gfx::Point b = canvas.userToDevice({bounds().width, bounds().height});
    return onPixel(a.x) && onPixel(a.y) && onPixel(b.x) && onPixel(b.y);
}

const gfx::Image& BlurView::tintedBlur() {
    if (!tint_) return blurred_;
    if (tinted_.isEmpty()) {
        // The tint composited as a fill composites it, at the blur's own size: enlarging is
        // linear, so the tint may as well come before it.
        gfx::Canvas small(Size{double(blurred_.width), double(blurred_.height)}, 1);
        small.drawImageAtPixel(blurred_, 0, 0);
        small.fill(Rect{0, 0, double(blurred_.width), double(blurred_.height)}, *tint_);
        tinted_ = small.image();
    }
    return tinted_;
}

void BlurView::drawEnlarged(gfx::Canvas& canvas, const Box& box) {
    const gfx::Image& image = tintedBlur();
    if (!enlarged_ || enlargedWidth_ != box.width || enlargedHeight_ != box.height) {
        // Not zeroed: a square is written whole before it is read.
        enlarged_.reset(new uint32_t[static_cast<size_t>(box.width) * static_cast<size_t>(box.height)]);
        enlargedWidth_ = box.width;
        enlargedHeight_ = box.height;
        made_.clear();
    }
    const int tilesX = (box.width + tileSide - 1) / tileSide, tilesY = (box.height + tileSide - 1) / tileSide;
    made_.resize(static_cast<size_t>(tilesX) * static_cast<size_t>(tilesY), false);
    for (const Rect& r : rectsBeingDrawn()) {
        // Device pixels of the view's box, rows from the top.
        const gfx::Point p = canvas.userToDevice({r.minX(), r.minY()}), q = canvas.userToDevice({r.maxX(), r.maxY()});
        const int x0 = std::max(0, static_cast<int>(std::floor(std::min(p.x, q.x) + 1e-6)) - box.x);
        const int y0 = std::max(0, static_cast<int>(std::floor(std::min(p.y, q.y) + 1e-6)) - box.y);
        const int x1 = std::min(box.width, static_cast<int>(std::ceil(std::max(p.x, q.x) - 1e-6)) - box.x);
        const int y1 = std::min(box.height, static_cast<int>(std::ceil(std::max(p.y, q.y) - 1e-6)) - box.y);
        if (x1 <= x0 || y1 <= y0) continue;
        for (int ty = y0 / tileSide; ty * tileSide < y1; ++ty) {
            const int sy = ty * tileSide, sy1 = std::min(box.height, sy + tileSide);
            // Squares side by side that are still to be made are made in one go.
            for (int tx = x0 / tileSide; tx * tileSide < x1;) {
                const size_t row = static_cast<size_t>(ty) * static_cast<size_t>(tilesX);
                if (made_[row + static_cast<size_t>(tx)]) {
                    ++tx;
                    continue;
                }
                const int first = tx;
                for (; tx * tileSide < x1 && !made_[row + static_cast<size_t>(tx)]; ++tx) made_[row + static_cast<size_t>(tx)] = true;
                const int sx = first * tileSide, sx1 = std::min(box.width, tx * tileSide);
                gfx::enlargedInto(image, reduction, sx, sy, sx1, sy1, enlarged_.get() + static_cast<ptrdiff_t>(sy) * box.width + sx,
                                  box.width);
            }
        }
        canvas.replacePixels(enlarged_.get(), box.width, x0, y0, x1 - x0, y1 - y0, box.x + x0, box.y + y0);
    }
}

bool BlurView::captureRects(gfx::Canvas& canvas, const Box& box, const std::vector<Rect>& rects) {
    // Whole blocks only: the pixels around a dirty rectangle still hold this view's last blur.
    auto inBlocks = [&](double v, int origin, bool up) {
        const double blocks = (v - origin) / reduction;
        return static_cast<int>(up ? std::ceil(blocks - 1e-6) : std::floor(blocks + 1e-6));
    };
    const int qw = beneath_.width, qh = beneath_.height;
    // Rectangles overlap (the same change told twice, dirty areas grown to blocks): each block
    // is read once.
    std::vector<uint8_t> marked;
    for (const Rect& r : rects) {
        const gfx::Point p = canvas.userToDevice({r.x, r.y}), q = canvas.userToDevice({r.maxX(), r.maxY()});
        const int bx0 = std::max(0, inBlocks(std::min(p.x, q.x), box.x, true));
        const int by0 = std::max(0, inBlocks(std::min(p.y, q.y), box.y, true));
        // A rectangle reaching the view's edge takes the partial block there.
        const double right = std::max(p.x, q.x), bottom = std::max(p.y, q.y);
        const int bx1 = right >= box.x + box.width - 1e-6 ? qw : std::min(qw, inBlocks(right, box.x, false));
        const int by1 = bottom >= box.y + box.height - 1e-6 ? qh : std::min(qh, inBlocks(bottom, box.y, false));
        if (bx1 <= bx0 || by1 <= by0) continue;
        if (marked.empty()) marked.assign(static_cast<size_t>(qw) * static_cast<size_t>(qh), 0);
        for (int y = by0; y < by1; ++y) {
            std::fill_n(marked.begin() + static_cast<ptrdiff_t>(y) * qw + bx0, bx1 - bx0, uint8_t{1});
        }
    }
    if (marked.empty()) return false;
    // Runs of marked blocks, as tall as the rows below repeat them.
    bool changed = false;
    for (int y = 0; y < qh; ++y) {
        uint8_t* row = marked.data() + static_cast<ptrdiff_t>(y) * qw;
        for (int x = 0; x < qw;) {
            if (!row[x]) {
                ++x;
                continue;
            }
            int end = x;
            while (end < qw && row[end]) ++end;
            int rows = 1;
            auto same = [&](int below) {
                const uint8_t* r = marked.data() + static_cast<ptrdiff_t>(below) * qw;
                return std::all_of(r + x, r + end, [](uint8_t m) { return m == 1; }) && (x == 0 || !r[x - 1]) &&
                       (end == qw || !r[end]);
            };
            while (y + rows < qh && same(y + rows)) ++rows;
            for (int k = 1; k < rows; ++k) std::fill_n(marked.begin() + static_cast<ptrdiff_t>(y + k) * qw + x, end - x, uint8_t{0});
            changed |= capture(canvas, box, x, y, end - x, rows);
            x = end;
        }
    }
    return changed;
}

bool BlurView::capture(gfx::Canvas& canvas, const Box& box, int bx, int by, int bw, int bh) {
    // Blocks on the view's right and bottom edges may be partial.
    const int w = std::min(bw * reduction, box.width - bx * reduction);
    const int h = std::min(bh * reduction, box.height - by * reduction);
    const gfx::Image reduced = canvas.downsampledPixels(box.x + bx * reduction, box.y + by * reduction, w, h, reduction);
    if (full_ && fullWidth_ == box.width && fullHeight_ == box.height) {
        canvas.readPixels(box.x + bx * reduction, box.y + by * reduction, w, h,
                          full_.get() + static_cast<ptrdiff_t>(by * reduction) * box.width + bx * reduction, box.width);
    }
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
    blurredOpaque_ = std::all_of(blurred_.pixels.begin(), blurred_.pixels.end(), [](uint32_t p) { return p >> 24 == 0xff; });
    // A blur that lets light through shows what lies beneath it: all of that is drawn again.
    if (!blurredOpaque_) whole_ = false;
    tinted_ = {};
    made_.assign(made_.size(), false);
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
