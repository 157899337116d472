#pragma once

#include <memory>
#include <vector>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/Rect.h"

namespace platform::ui {

class View;

// A window: one content view filling it, a backing scale, and a surface (a Canvas of the window's
// size times the scale) that the views draw into. Views mark rectangles dirty; displayIfNeeded()
// draws exactly those, parents before children, each view clipped to them. Window coordinates
// are points with y up and the origin at the lower-left corner. A backend derives from it: it
// schedules the drawing (scheduleDisplay) and shows what was drawn (didDisplay). Main thread only.
class Window {
public:
    using Rect = gfx::Rect;
    using Size = gfx::Size;

    // More dirty rectangles than this are merged into their bounding box.
    static constexpr size_t maxDirtyRects = 8;

    // A scale that is not finite or not above 0 is 1.
    Window(Size size, double backingScaleFactor);
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    Size size() const { return size_; }
    Rect bounds() const { return Rect{0, 0, size_.width, size_.height}; }
    // A new size resizes the content view and redraws everything.
    void setSize(Size size);
    double backingScaleFactor() const { return scale_; }
    void setBackingScaleFactor(double scale);

    // The view that fills the window (not owned; it must outlive its time here).
    View* contentView() const { return contentView_; }
    void setContentView(View* view);

    // Marks a rectangle of the window dirty, grown to whole device pixels and cut at the bounds.
    void invalidate(const Rect& rect);
    bool needsDisplay() const { return !dirty_.empty(); }
    const std::vector<Rect>& dirtyRects() const { return dirty_; }
    // Draws the dirty rectangles, if any, and hands them to didDisplay.
    void displayIfNeeded();
    // Draws the whole window now.
    void display();

    // What the views drew.
    const gfx::Canvas& surface() const { return *surface_; }

protected:
    // Something became dirty while nothing was: a backend arranges a call of displayIfNeeded.
    virtual void scheduleDisplay() {}
    // The surface holds new pixels in these rectangles (window points).
    virtual void didDisplay(const std::vector<Rect>& /*rects*/) {}

private:
    friend class View;
    void drawView(View& view, gfx::Canvas& canvas, const std::vector<Rect>& dirty, const Rect& visible);
    void rebuildSurface();

    Size size_;
    double scale_;
    View* contentView_ = nullptr;
    std::unique_ptr<gfx::Canvas> surface_;
    std::vector<Rect> dirty_;
};

}  // namespace platform::ui
