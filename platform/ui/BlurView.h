#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/gfx/Image.h"
#include "platform/runtime/MainLoop.h"
#include "platform/ui/View.h"

namespace platform::ui {

// Shows what lies beneath it, blurred: the pixels the window has just drawn under the view are
// kept at a quarter of their resolution, and a box blur of them is drawn stretched over the view,
// with an optional tint on top. The blur is made again only after what lies beneath changed, and
// at most ten times a second; meanwhile the last one stays. Reads the window's surface, so it
// must not sit inside a view that fades as a whole.
//
// Once it holds an opaque blur of all it covers, the window draws the views beneath it only where
// they asked to be drawn (it is told of every such rectangle). An opaque blur on whole device
// pixels is tinted at its own resolution, enlarged into a kept copy at full resolution as its
// squares are first drawn, and copied from there. It also keeps what lies beneath it at full
// resolution: hidden, it puts that back where nothing beneath changed since, and the window draws
// the views beneath only where they did; while nothing beneath changes, it goes on doing so.
class BlurView : public View {
public:
    static constexpr int reduction = 4;
    static constexpr int blurRadius = 3;  // quarter pixels, three passes
    static constexpr runtime::Duration minimumInterval = std::chrono::milliseconds(100);
    // A block of the kept copy counts as changed when a channel moved by more than this.
    static constexpr int significantChange = 6;
    // The enlarged blur is made in squares of this many device pixels, as they are first drawn.
    static constexpr int tileSide = 128;

    explicit BlurView(const Rect& frame = {});
    ~BlurView() override;

    const std::optional<gfx::Rgba>& tint() const { return tint_; }
    void setTint(std::optional<gfx::Rgba> tint);
    // How often the blur was made (for tests and benchmarks).
    int blurCount() const { return blurCount_; }
    // Whether the views beneath will be drawn only where they changed (for tests and benchmarks).
    bool coversBeneath() const { return canCover(); }

    bool isFlipped() const override { return false; }
    void draw(gfx::Canvas& canvas, const Rect& dirty) override;
    View* hitTest(Point) override { return nullptr; }

protected:
    void viewDidMoveToWindow() override;
    void viewDidChangeBackingProperties() override;
    void viewDidUnhide() override;

private:
    friend class Window;
    // The view in device pixels.
    struct Box {
        int x, y, width, height;
    };
    // --- What the window asks ---
    // It holds an opaque blur of all it covers, where it is now, in a window that lets it copy
    // pixels (no fading or rounded clip above it).
    bool canCover() const;
    // A display pass of these rectangles begins: whether the view covers what lies beneath it in
    // this pass, and where that changed since the last one (window points, within the rectangles).
    void beginPass(const std::vector<Rect>& drawn);
    void keepWithin(const std::vector<Rect>& drawn);
    const std::vector<Rect>& changesBeneath() const { return changesDrawn_; }
    // Before it is first drawn: where the window's surface may not hold what lies beneath it.
    void notUnderSurface(const Rect& rect);
    // Takes all it covers from the surface as last drawn; false when it cannot cover with that
    // (not on whole pixels, or the blur lets light through).
    bool takeFromSurface(const gfx::Canvas& surface);
    // What lies beneath changed in a window rectangle: the rectangle grown to whole blocks, to be
    // drawn again.
    std::optional<Rect> beneathChanged(const Rect& rect);
    // Hidden with a copy of all that lies beneath it, as last drawn: while it puts that back,
    // until something beneath changes, it keeps learning where it changed.
    bool restores() const { return fullWhole_ && isHidden(); }
    // In a pass that puts back what lay beneath it: writes its copy into the window rectangles
    // where they meet it, before anything is drawn.
    void putBack(gfx::Canvas& canvas, const std::vector<Rect>& rects);

    // Takes the freshly drawn pixels of a run of blocks into the kept copy; true when they
    // differ from it.
    bool capture(gfx::Canvas& canvas, const Box& box, int blockX, int blockY, int blocks, int blockRows);
    // Captures rectangles (the view's points) in whole blocks, each block once; true when they changed.
    bool captureRects(gfx::Canvas& canvas, const Box& box, const std::vector<Rect>& rects);
    // The box when it lies on whole device pixels.
    std::optional<Box> pixelBox() const;
    void blurNow();
    void scheduleBlur();
    // Forgets the kept copy: the next drawing takes all of it again.
    void forget();
    // Whether its pixels may be written straight into the window's: opaque, on whole device
    // pixels, with nothing above it that fades it or clips it round.
    bool replacesPixels(const gfx::Canvas& canvas) const;
    // The blur with its tint over it, at the blur's resolution.
    const gfx::Image& tintedBlur();
    // Copies the enlarged, tinted blur into the rectangles being drawn, making the squares it lacks.
    void drawEnlarged(gfx::Canvas& canvas, const Box& box);

    std::optional<gfx::Rgba> tint_;
    gfx::Image beneath_;
    gfx::Image blurred_;
    bool blurredOpaque_ = false;
    bool stale_ = false;
    runtime::TimePoint lastBlur_{};
    std::shared_ptr<runtime::WorkItem> pending_;
    int blurCount_ = 0;

    Window* registeredWindow_ = nullptr;
    // The kept copy holds all the view covers, at this place and scale.
    bool whole_ = false;
    Rect wholeFrame_;
    double wholeScale_ = 0;
    bool covering_ = false;
    // Where what lies beneath changed: waiting for the next pass, and in the pass being drawn.
    std::vector<Rect> changes_;
    std::vector<Rect> changesDrawn_;
    // Not drawn since it appeared: its own pixels are not on the surface.
    bool fresh_ = true;
    // Its pixels are on the window's surface: it was drawn, and no pass drew its place without it.
    bool onSurface_ = false;
    std::vector<Rect> unseen_;
    // This pass's copy came from the surface: what the pass takes again is blurred at once.
    bool fromSurface_ = false;
    // The tinted blur, made when first drawn after the blur or the tint changed.
    gfx::Image tinted_;
    // What lies beneath at full resolution (the view's device pixels), whole once all of it was
    // taken; and whether this pass puts it back.
    std::unique_ptr<uint32_t[]> full_;
    int fullWidth_ = 0, fullHeight_ = 0;
    bool fullWhole_ = false;
    bool restoring_ = false;
    // Changes told for this pass, until it is drawn and takes them; and those it never took
    // (it was not drawn: all of them lay under views over it), where the full copy is stale.
    std::vector<Rect> untaken_;
    std::vector<Rect> staleFull_;
    // Makes room for the full copy at the box's size (its contents then unknown).
    void keepFull(const Box& box);
    // The full copy fits where the view is now, on a surface it may be written into.
    bool canPutBack() const;
    // The tinted blur enlarged to the view's device pixels, and which of its squares are made.
    // The memory stays while the view keeps its size: zoomed again, the blur needs it again.
    std::unique_ptr<uint32_t[]> enlarged_;
    int enlargedWidth_ = 0, enlargedHeight_ = 0;
    std::vector<bool> made_;
};

}  // namespace platform::ui
