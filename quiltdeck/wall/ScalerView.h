#pragma once

#include <memory>
#include <optional>

#include "platform/runtime/MainLoop.h"
#include "platform/ui/View.h"

namespace vantel {
class TerminalView;
}

namespace quiltdeck {

// Holds a tile's terminal and fits it to the tile: never by scaling, by a font
// size (a fixed one for an ordinary tile, a larger one for the zoomed tile) and
// a frame inset 18 points on every side, from which the terminal takes its
// columns and rows and tells its child. Size changes come in bursts (a zoom, a
// window resize): fits are debounced to one, 0.08 s after the last, and wait
// while the tile's frame moves. A terminal that stays blank after a size change
// is nudged (1 point shorter for 0.05 s) so that its child hears of a size
// change again. Clicks reach the terminal only while the tile is zoomed;
// otherwise they go to the tile. Main thread.
class ScalerView : public platform::ui::View {
public:
    static constexpr double inset = 18;
    static constexpr platform::runtime::Duration fitDelay = std::chrono::milliseconds(80);
    static constexpr platform::runtime::Duration firstBlankCheck = std::chrono::milliseconds(400);
    static constexpr platform::runtime::Duration blankCheckInterval = std::chrono::milliseconds(1500);
    static constexpr int blankCheckLimit = 20;
    static constexpr platform::runtime::Duration nudgeTime = std::chrono::milliseconds(50);
    // How long past its end a move that was never stepped holds a fit back.
    static constexpr platform::runtime::Duration stalledMove = std::chrono::seconds(1);

    explicit ScalerView(const Rect& frame = {});
    ~ScalerView() override;

    bool isFlipped() const override { return true; }

    // The view shown inside (the tile's terminal view) and, when it is a terminal,
    // the terminal that is fitted. Neither is owned.
    void setTerminal(platform::ui::View* hosted, vantel::TerminalView* terminal);
    vantel::TerminalView* terminal() const { return terminal_; }
    platform::ui::View* hosted() const { return hosted_; }

    // True while the tile is zoomed.
    bool interactive() const { return interactive_; }
    void setInteractive(bool interactive) { interactive_ = interactive; }

    // The font size for a minimum font size setting: 9…22 for an ordinary tile,
    // four points more (at most 24) for the zoomed one.
    static double targetSize(double minimumFontSize, bool zoomed);

    // A fit 0.08 s from now, in place of one still pending.
    void fit();
    bool fitPending() const { return static_cast<bool>(resizeWork_); }
    // How many fits ran, and how many blank checks since the last frame change.
    int fitCount() const { return fits_; }
    int blankWatch() const { return blankWatch_; }
    int nudgeCount() const { return nudges_; }

    void setFrameSize(Size size) override;
    View* hitTest(Point pointInSuperview) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void mouseDragged(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;

private:
    void scheduleFit();
    void applyFit();
    // When the last running move of this view or a view holding it is due to end.
    std::optional<platform::runtime::TimePoint> moveEnds() const;
    void watchBlank();
    bool nudgeIfBlank();
    bool tooSmall() const { return bounds().width <= 1 || bounds().height <= 1; }

    platform::ui::View* hosted_ = nullptr;
    vantel::TerminalView* terminal_ = nullptr;
    bool interactive_ = false;
    std::shared_ptr<platform::runtime::WorkItem> resizeWork_;
    int blankWatch_ = 0;
    int fits_ = 0;
    int nudges_ = 0;
    // Delayed work holds it weakly and does nothing once the scaler is gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The zoomed tile's corner handle: three diagonal strokes, the crosshair
// pointer, and every press and drag reported in window coordinates. Not flipped.
class ResizeGrip : public platform::ui::View {
public:
    using View::View;

    std::function<void(Point locationInWindow)> onDrag;
    platform::gfx::Rgba tint{0.56, 0.56, 0.58, 1};
    void setTint(platform::gfx::Rgba color);

    void draw(platform::gfx::Canvas& canvas, const Rect& dirty) override;
    std::optional<std::string> cursorName() const override { return "crosshair"; }
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void mouseDragged(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent&) override {}
};

}  // namespace quiltdeck
