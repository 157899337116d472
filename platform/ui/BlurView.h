#pragma once

#include <memory>
#include <optional>

#include "platform/gfx/Image.h"
#include "platform/runtime/MainLoop.h"
#include "platform/ui/View.h"

namespace platform::ui {

// Shows what lies beneath it, blurred: the pixels the window has just drawn under the view are
// kept at a quarter of their resolution, and a box blur of them is drawn stretched over the view,
// with an optional tint on top. The blur is made again only after what lies beneath changed, and
// at most ten times a second; meanwhile the last one stays. Reads the window's surface, so it
// must not sit inside a view that fades as a whole.
class BlurView : public View {
public:
    static constexpr int reduction = 4;
    static constexpr int blurRadius = 3;  // quarter pixels, three passes
    static constexpr runtime::Duration minimumInterval = std::chrono::milliseconds(100);
    // A block of the kept copy counts as changed when a channel moved by more than this.
    static constexpr int significantChange = 6;

    explicit BlurView(const Rect& frame = {});
    ~BlurView() override;

    const std::optional<gfx::Rgba>& tint() const { return tint_; }
    void setTint(std::optional<gfx::Rgba> tint);
    // How often the blur was made (for tests and benchmarks).
    int blurCount() const { return blurCount_; }

    bool isFlipped() const override { return false; }
    void draw(gfx::Canvas& canvas, const Rect& dirty) override;
    View* hitTest(Point) override { return nullptr; }

private:
    // The view in device pixels.
    struct Box {
        int x, y, width, height;
    };
    // Takes the freshly drawn pixels of a run of blocks into the kept copy; true when they
    // differ from it.
    bool capture(gfx::Canvas& canvas, const Box& box, int blockX, int blockY, int blocks, int blockRows);
    void blurNow();
    void scheduleBlur();

    std::optional<gfx::Rgba> tint_;
    gfx::Image beneath_;
    gfx::Image blurred_;
    bool stale_ = false;
    runtime::TimePoint lastBlur_{};
    std::shared_ptr<runtime::WorkItem> pending_;
    int blurCount_ = 0;
};

}  // namespace platform::ui
