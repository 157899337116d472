#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/Rect.h"
#include "platform/gfx/Rgba.h"

namespace platform::ui {

class Window;

// A rectangle of a window that draws itself. Its frame is in its superview's coordinates, its
// bounds in its own: points with y up and the origin at the lower-left corner, unless the view
// is flipped (then y grows downwards from the top edge). Subviews are not owned: whoever made a
// view keeps it alive, and a view leaves its superview when it is destroyed. Main thread only.
class View {
public:
    using Point = gfx::Point;
    using Rect = gfx::Rect;
    using Size = gfx::Size;

    explicit View(const Rect& frame = {});
    virtual ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // Geometry.
    Rect frame() const { return frame_; }
    void setFrame(const Rect& frame);
    void setFrameOrigin(Point origin);
    // Stores the size and marks the view for display; subclasses override it to follow size changes.
    virtual void setFrameSize(Size size);
    Rect bounds() const { return Rect{0, 0, frame_.width, frame_.height}; }
    virtual bool isFlipped() const { return false; }
    // An opaque view paints every pixel of its dirty rectangle (a Canvas::clear counts, showing the
    // layer colour), so the window paints nothing under it first.
    virtual bool isOpaque() const { return false; }

    // The tree.
    View* superview() const { return superview_; }
    const std::vector<View*>& subviews() const { return subviews_; }
    // Adds on top of the others; a view in another superview moves here.
    void addSubview(View* view);
    void removeFromSuperview();
    Window* window() const { return window_; }
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    // Drawing of this view and its subviews is cut at its bounds.
    bool clipsToBounds() const { return clipsToBounds_; }
    void setClipsToBounds(bool clips) { clipsToBounds_ = clips; }

    // Layer colour: painted under whatever the view draws, so a Canvas::clear inside draw shows it
    // (a translucent colour stays translucent). None: the view draws over what lies below it.
    const std::optional<gfx::Rgba>& layerBackgroundColor() const { return layerBackgroundColor_; }
    void setLayerBackgroundColor(std::optional<gfx::Rgba> color);

    // Display. Rectangles are in the view's coordinates and cut at its bounds.
    void setNeedsDisplay(const Rect& rect);
    void setNeedsDisplay() { setNeedsDisplay(bounds()); }
    // Whether a part of the view waits to be drawn.
    bool needsDisplay() const;
    // Draws `dirty` (the union of rectsBeingDrawn()); the canvas is in the view's coordinates and
    // clipped to `dirty`.
    virtual void draw(gfx::Canvas& canvas, const Rect& dirty);
    // The rectangles being drawn, inside draw; empty otherwise.
    const std::vector<Rect>& rectsBeingDrawn() const { return rectsBeingDrawn_; }
    // Diagnostic: prints the message, then "   -> " and each rectangle being drawn.
    void pending(const std::string& message) const;

    // The backing scale of the window; none outside a window.
    std::optional<double> backingScaleFactor() const;

    // Coordinate conversion to and from the window (y up, origin at the lower-left corner).
    Point convertToWindow(Point p) const;
    Rect convertToWindow(const Rect& r) const;
    Rect convertFromWindow(const Rect& r) const;

protected:
    // Told after the view (or an ancestor) entered or left a window.
    virtual void viewDidMoveToWindow() {}
    // Told when the window's backing scale changed, or the view entered a window.
    virtual void viewDidChangeBackingProperties() {}

private:
    friend class Window;
    void setWindow(Window* window);
    void notifyBackingPropertiesChanged();
    Point toSuperview(Point p) const;
    Point fromSuperview(Point p) const;

    Rect frame_;
    View* superview_ = nullptr;
    Window* window_ = nullptr;
    std::vector<View*> subviews_;
    bool hidden_ = false;
    bool clipsToBounds_ = false;
    // Outside a window: the view must be drawn once it enters one.
    bool pendingDisplay_ = false;
    std::optional<gfx::Rgba> layerBackgroundColor_;
    std::vector<Rect> rectsBeingDrawn_;
};

// A string such as "{{0, 0}, {80, 16}}" for diagnostics.
std::string describe(const gfx::Rect& rect);

}  // namespace platform::ui
