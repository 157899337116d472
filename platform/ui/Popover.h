#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/gfx/Rect.h"

namespace platform::ui {

class View;
class Window;

// A small transient window of content shown next to a rectangle of another window; a click
// outside it or Escape closes it, and so may its content. Each showing has a window of its own, made by the
// toolkit's presenter (headless: held until a test clicks outside or closes it). Main thread.
class Popover {
public:
    // The side of the anchor the popover prefers.
    enum class Edge { below, above };

    // Makes the popover's window for the toolkit; `outsideClick` is to be called when the user
    // clicks anywhere else.
    class Presenter {
    public:
        virtual ~Presenter() = default;
        virtual std::unique_ptr<Window> makeWindow(gfx::Size size, Window& parent, const gfx::Rect& anchor, Edge edge,
                                                   std::function<void()> outsideClick) = 0;
        // Puts the window on screen, once it holds the content.
        virtual void present(Window&) {}
    };
    static void setPresenter(std::shared_ptr<Presenter> presenter);

    // Where a popover of `size` stands, all in screen points with y down: centred on the anchor,
    // `gap` below it (above, for `above`), on the other side when its own has no room within the
    // parent's content `window` (else within the work area) and the other has; moved sideways to
    // lie within the window while it is no wider, and always within the work area when one is known.
    static gfx::Rect placement(gfx::Size size, const gfx::Rect& anchor, Edge edge, const gfx::Rect& window,
                               const std::optional<gfx::Rect>& workArea, double gap);

    Popover();
    ~Popover();
    Popover(const Popover&) = delete;
    Popover& operator=(const Popover&) = delete;

    // Shows `content` (the popover takes its frame's size) next to `anchor`, a rectangle in the
    // window points of `parent`. A popover already shown closes first.
    void show(View& content, Window& parent, const gfx::Rect& anchor, Edge edge = Edge::below);
    // Closes it; onClose runs once. Nothing when it is not shown.
    void close();
    bool isShown() const { return window_ != nullptr; }
    // Its window while shown.
    Window* window() const { return window_.get(); }
    // The anchor and side it was shown at.
    const gfx::Rect& anchor() const { return anchor_; }

    // Told after each showing closes, by the content or by a click outside.
    std::function<void()> onClose;

private:
    std::unique_ptr<Window> window_;
    View* content_ = nullptr;
    gfx::Rect anchor_;
    // Outlives the popover, so a click reported late finds it gone.
    std::shared_ptr<Popover*> self_;
};

}  // namespace platform::ui
