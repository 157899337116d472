#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/Rect.h"
#include "platform/gfx/Rgba.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Events.h"

namespace platform::ui {

class Window;
class Pasteboard;
class TextInputClient;
class TextInputContext;

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
    // Adds just below `sibling` (on top when it is not a subview).
    void addSubview(View* view, View* below);
    // Adds just above or below `sibling`; without a sibling (or one that is not a subview), on top
    // of every subview or under all of them. A subview moved this way stays in the window.
    enum class Ordering { below, above };
    void addSubview(View* view, Ordering ordering, View* sibling);
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

    // --- Layer style ---------------------------------------------------------------------------
    // A shadow cast by the view's shape (its bounds, rounded), drawn under it and its subviews.
    struct Shadow {
        gfx::Rgba color{0, 0, 0, 1};
        double opacity = 0;
        // The blur as layers give it: about twice the deviation of a Gaussian.
        double radius = 3;
        // In y-up points whatever the view's flipping: a negative y falls below the view.
        Point offset{0, -3};
        // The shape's corner radius; none: the view's own.
        std::optional<double> cornerRadius;
        friend bool operator==(const Shadow&, const Shadow&) = default;
    };
    // Rounds the layer colour and the border; with clipsToBounds the subviews are cut at the
    // rounded shape too (the view's own drawing is not).
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double radius);
    // Drawn inside the bounds, over the subviews.
    double borderWidth() const { return borderWidth_; }
    const gfx::Rgba& borderColor() const { return borderColor_; }
    void setBorder(double width, gfx::Rgba color);
    const Shadow& shadow() const { return shadow_; }
    void setShadow(const Shadow& shadow);
    // The shadow's reach beyond the frame on each side; 0 without a shadow.
    double shadowOutset() const;
    // The area the view paints in its superview's coordinates: its frame and its shadow.
    Rect visualFrame() const;

    // Display. Rectangles are in the view's coordinates and cut at its bounds.
    void setNeedsDisplay(const Rect& rect);
    void setNeedsDisplay() { setNeedsDisplay(bounds()); }
    // Whether a part of the view waits to be drawn.
    bool needsDisplay() const;
    // Moves what the window shows of `rect` by `dy` points along the view's y axis, instead of
    // drawing it again: what leaves the rectangle is dropped, what it uncovers is marked dirty,
    // and dirty parts move along. Views drawn over the rectangle are drawn again where they were
    // and where their pixels went. False when the pixels cannot be moved (the view or an ancestor
    // hidden or fading, the view not opaque there, edges or distance not on whole device pixels,
    // the rectangle not wholly visible); the rectangle is then marked dirty instead.
    bool scrollRect(const Rect& rect, double dy);
    // True when draw() itself shows the view at its presentation opacity. The window then draws
    // it without a transparency layer, as long as it has no subviews, layer colour, border or shadow.
    virtual bool drawsItsOpacity() const { return false; }
    // Whether the window leaves the opacity to draw() now: it says so, and nothing else of it
    // (subviews, layer colour, border, shadow) needs the layer. draw() shows itself at this
    // opacity; at 1 when the window draws it in a layer.
    bool drawsOwnOpacityNow() const {
        return drawsItsOpacity() && subviews().empty() && !layerBackgroundColor() && borderWidth() <= 0 &&
               shadowOutset() <= 0;
    }
    // The part of the bounds the view paints over what lies below it (all of it unless said).
    virtual Rect paintedBounds() const { return bounds(); }
    // Draws `dirty` (the union of rectsBeingDrawn()); the canvas is in the view's coordinates and
    // clipped to `dirty`.
    virtual void draw(gfx::Canvas& canvas, const Rect& dirty);
    // The rectangles being drawn, inside draw; empty otherwise.
    const std::vector<Rect>& rectsBeingDrawn() const { return rectsBeingDrawn_; }
    // Diagnostic: prints the message, then "   -> " and each rectangle being drawn.
    void pending(const std::string& message) const;

    // The backing scale of the window; none outside a window.
    std::optional<double> backingScaleFactor() const;

    // Brings `rect` (the view's coordinates) into sight: a scroll view among the ancestors
    // scrolls to it; nothing else moves.
    virtual void scrollRectToVisible(const Rect& rect);

    // Coordinate conversion to and from the window (y up, origin at the lower-left corner).
    Point convertToWindow(Point p) const;
    Rect convertToWindow(const Rect& r) const;
    Point convertFromWindow(Point p) const;
    Rect convertFromWindow(const Rect& r) const;

    // --- Events (the responder chain) ---------------------------------------------------------
    // Key events go to the window's first responder, pointer events to the view under the pointer
    // (or, while a button is held, to the view it was pressed on). What a view does not handle goes
    // on to its superview.
    virtual bool acceptsFirstResponder() const { return false; }
    // A one-line text field being edited, which takes Escape before the window's key handling does.
    virtual bool isFieldEditor() const { return false; }
    // Asked when the view is to get (or lose) the keyboard; false refuses.
    virtual bool becomeFirstResponder() { return true; }
    virtual bool resignFirstResponder() { return true; }
    bool isFirstResponder() const;
    // Whether Tab and Shift+Tab stop at the view (the window's key view loop): one that takes
    // the keyboard, shown with its ancestors and not empty.
    virtual bool canBecomeKeyView() const;
    // Tab or Shift+Tab (or an arrow) while the view has the keyboard: a view with parts of its
    // own (the segments of a segmented control) moves among them first; false once it is at its
    // last part that way, and the loop moves on.
    virtual bool advanceKeyFocus(bool /*forward*/) { return false; }
    // The loop brings the keyboard to the view: forward from its first part, backward from its last.
    virtual void keyFocusEntered(bool /*forward*/) {}
    // Views that keep the keyboard among themselves while one of them has it: Tab, Shift+Tab and
    // the arrows go round them alone, in reading order (an editor open in the view names its field
    // and buttons). Asked of the views from the one with the keyboard up; empty: no such group.
    virtual std::vector<View*> keyViewGroup() { return {}; }
    // Shown: neither the view nor an ancestor is hidden.
    bool isHiddenOrHasHiddenAncestor() const;
    // A key press offered before keyDown, from the first responder up through its superviews:
    // menu shortcuts. True takes the key: keyDown does not see it.
    virtual bool performKeyEquivalent(const KeyEvent&) { return false; }
    virtual void keyDown(const KeyEvent& event);
    virtual void keyUp(const KeyEvent& event);
    virtual void flagsChanged(const KeyEvent& event);
    virtual void mouseDown(const MouseEvent& event);
    virtual void mouseUp(const MouseEvent& event);
    virtual void mouseDragged(const MouseEvent& event);
    // Only to views that want them (wantsMouseMoved), as entered and exited are.
    virtual void mouseMoved(const MouseEvent& event);
    virtual void mouseEntered(const MouseEvent&) {}
    virtual void mouseExited(const MouseEvent&) {}
    virtual void scrollWheel(const ScrollEvent& event);
    // The deepest visible view under a point of the superview's coordinates; null for none. A view
    // that never takes the pointer (a caret, a bar drawn over text) overrides it to return null.
    virtual View* hitTest(Point pointInSuperview);
    // Whether the pointer's moves over the view are reported (mouseMoved, entered, exited).
    bool wantsMouseMoved() const { return wantsMouseMoved_; }
    void setWantsMouseMoved(bool wants) { wantsMouseMoved_ = wants; }
    // The pointer's shape over the view by its name ("text" is the I-beam); none: the superview's.
    virtual std::optional<std::string> cursorName() const { return std::nullopt; }
    // The view's side of the input method, when it takes text.
    virtual TextInputClient* textInputClient() { return nullptr; }
    // The window's input method; null outside a window.
    TextInputContext* inputContext() const;

    // --- Opacity and animations ------------------------------------------------------------------
    // The view and its subviews are composited at this opacity (0...1).
    double opacity() const { return opacity_; }
    void setOpacity(double opacity);
    // Animations run by key; an animation of the property "opacity" (its key path, or its key)
    // animates the opacity. Adding under a key that is taken replaces that animation. An
    // animation stamps its begin time when it is added.
    void addAnimation(const std::string& key, Animation animation);
    void removeAnimation(const std::string& key);
    void removeAllAnimations();
    const Animation* animation(const std::string& key) const;
    bool hasAnimations() const { return !animations_.empty() || frameAnimation_; }
    // The animated value of a property now (the last added animation of it that runs); none when
    // no animation of it runs.
    std::optional<double> presentationValue(const std::string& property) const;
    // The opacity shown now.
    double presentationOpacity() const;

    // Frames through the open animation group (AnimationContext): animator().setFrame moves the
    // view from where it stands now; setFrame itself always sets at once and ends a running move.
    class Animator {
    public:
        explicit Animator(View& view) : view_(view) {}
        void setFrame(const Rect& frame) { view_.animateFrame(frame, false); }

    private:
        View& view_;
    };
    Animator animator() { return Animator(*this); }
    // Moves only inside a group that allows implicit animation; at once otherwise.
    void setFrameImplicitly(const Rect& frame) { animateFrame(frame, true); }
    bool isAnimatingFrame() const { return frameAnimation_.has_value(); }
    // Where the view is going: the end of its running move, else its frame.
    Rect targetFrame() const { return frameAnimation_ ? frameAnimation_->to : frame_; }
    // When the running move is due to end; none when the view does not move.
    std::optional<runtime::TimePoint> frameAnimationEnd() const;

    // --- Tracking areas --------------------------------------------------------------------------
    // A rectangle of the view (its own coordinates) whose pointer crossings and moves reach the
    // view as mouseEntered, mouseMoved and mouseExited with the area's number, whatever lies on
    // top of it, while the view is shown in a window. Numbers start at 1.
    int addTrackingArea(const Rect& rect);
    // An area that holds the pointer is exited first.
    void removeTrackingArea(int area);
    struct TrackingArea {
        int number = 0;
        Rect rect;
    };
    const std::vector<TrackingArea>& trackingAreas() const { return trackingAreas_; }

    // --- Tool tips ---------------------------------------------------------------------------------
    // The text a toolkit shows when the pointer rests on the view; empty: the superview's.
    virtual std::string toolTipText() const { return {}; }

    // --- Drops --------------------------------------------------------------------------------------
    // A drag over the view: the types it offers (MIME names), where it is, and, once dropped,
    // what it carries (the text and the items of a pasteboard).
    struct DraggingInfo {
        std::vector<std::string> types;
        gfx::Point locationInWindow;
        const Pasteboard* pasteboard = nullptr;
    };
    // The drags the view takes: any of these types. Empty: none (drags go on to its superview).
    void registerForDraggedTypes(std::vector<std::string> types) { draggedTypes_ = std::move(types); }
    void unregisterDraggedTypes() { draggedTypes_.clear(); }
    const std::vector<std::string>& registeredDraggedTypes() const { return draggedTypes_; }
    // A drag of a registered type came over the view; the answer holds while it moves there.
    virtual DragOperation draggingEntered(const DraggingInfo&) { return DragOperation::none; }
    virtual void draggingExited(const DraggingInfo&) {}
    // Dropped here (only after an answer other than none); true when it was taken.
    virtual bool performDragOperation(const DraggingInfo&) { return false; }
    // The drag session is over, dropped here or elsewhere, or given up.
    virtual void draggingEnded(const DraggingInfo&) {}

protected:
    // Told after the view (or an ancestor) entered or left a window.
    virtual void viewDidMoveToWindow() {}
    // Told when the window's backing scale changed, or the view entered a window.
    virtual void viewDidChangeBackingProperties() {}
    // Told when the view's window became or stopped being the key window.
    virtual void windowDidChangeKeyState() {}
    // Told after the frame size changed, with the old size: lays out subviews.
    virtual void resizeSubviews(Size /*oldSize*/) {}
    // Told when the view shows again: it or an ancestor was unhidden, and it is not hidden itself.
    virtual void viewDidUnhide() {}
    // Everything the view paints (its shadow too) must be drawn again.
    void invalidateVisual();

private:
    friend class Window;
    void setWindow(Window* window);
    void notifyBackingPropertiesChanged();
    void notifyUnhidden();
    void notifyKeyStateChanged();
    Point toSuperview(Point p) const;
    Point fromSuperview(Point p) const;
    // On a frame tick: drops ended animations (their completions are returned to be run).
    void collectEndedAnimations(std::vector<std::function<void()>>& completions);
    void animateFrame(const Rect& frame, bool implicit);
    // On a frame tick: the frame of the running move now; its end once it is over.
    void stepFrameAnimation();
    // Sets the frame without ending the running move.
    void applyFrame(const Rect& frame);
    void applyFrameNow(const Rect& frame);
    bool steppingFrame_ = false;
    struct FrameAnimation {
        Rect from, to;
        double duration = 0;
        TimingFunction timing;
        runtime::TimePoint begin{};
        std::shared_ptr<void> ticket;
    };
    Rect frameAt(const FrameAnimation& animation, runtime::TimePoint now) const;
    // When what the animations show next changes after `after`: `after` itself while one moves
    // continuously (a frame moving too) or has ended; none when none will change. Decorative
    // animations that run change no sooner than `decorativeNotBefore`, when it is told.
    std::optional<runtime::TimePoint> nextAnimationChange(
        runtime::TimePoint after, std::optional<runtime::TimePoint> decorativeNotBefore = std::nullopt) const;

    Rect frame_;
    View* superview_ = nullptr;
    Window* window_ = nullptr;
    std::vector<View*> subviews_;
    bool hidden_ = false;
    // The window's display passes when the view last came into it or was shown: a view that came
    // after the last pass has none of its pixels on the window's surface.
    uint64_t shownAtPass_ = 0;
    bool clipsToBounds_ = false;
    double cornerRadius_ = 0;
    double borderWidth_ = 0;
    gfx::Rgba borderColor_{0, 0, 0, 1};
    Shadow shadow_;
    // Outside a window: the view must be drawn once it enters one.
    bool pendingDisplay_ = false;
    std::optional<gfx::Rgba> layerBackgroundColor_;
    std::vector<Rect> rectsBeingDrawn_;
    bool wantsMouseMoved_ = false;
    double opacity_ = 1;
    std::vector<std::pair<std::string, Animation>> animations_;
    std::vector<TrackingArea> trackingAreas_;
    int nextTrackingArea_ = 1;
    std::vector<std::string> draggedTypes_;
    std::optional<FrameAnimation> frameAnimation_;
};

// A string such as "{{0, 0}, {80, 16}}" for diagnostics.
std::string describe(const gfx::Rect& rect);

}  // namespace platform::ui
