#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/Rect.h"
#include "platform/gfx/Rgba.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Events.h"
#include "platform/ui/TextInput.h"

namespace platform::gpu {
class Device;
}

namespace platform::ui {

class View;
class BlurView;
class GpuView;
class Pasteboard;
struct MenuBar;

// A window: one content view filling it, a backing scale, and a surface (a Canvas of the window's
// size times the scale) that the views draw into. Views mark rectangles dirty; displayIfNeeded()
// draws exactly those, parents before children, each view clipped to them. Window coordinates
// are points with y up and the origin at the lower-left corner.
//
// It also routes events: keys to the first responder, the pointer to the view under it (or the
// view a held button was pressed on), with click counts by the system's double-click time and
// distance; it keeps the input method and the key-window state, and ticks the frame clock while a
// view animates. A backend derives from it: it schedules the drawing (scheduleDisplay), shows what
// was drawn (didDisplay) and feeds the events in. Main thread only.
class Window {
public:
    using Rect = gfx::Rect;
    using Size = gfx::Size;

    // Never more dirty rectangles than this: past it, a new one joins the nearest in their box.
    static constexpr size_t maxDirtyRects = 32;

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
    const std::string& title() const { return title_; }
    virtual void setTitle(const std::string& title) { title_ = title; }

    // The view that fills the window (not owned; it must outlive its time here).
    View* contentView() const { return contentView_; }
    void setContentView(View* view);

    // Marks a rectangle of the window dirty, grown to whole device pixels and cut at the bounds.
    void invalidate(const Rect& rect);
    bool needsDisplay() const { return !dirty_.empty(); }
    const std::vector<Rect>& dirtyRects() const { return dirty_; }
    // Draws the dirty rectangles, if any, and hands them to didDisplay (see drawsTypingFirst).
    void displayIfNeeded();
    // While keys came within `typingWindow`, a pass draws only the first responder's part of
    // what is dirty when there is more elsewhere, and everything else in the pass after: the view
    // typed into shows its echo without waiting for the rest of the window (tiles that flood
    // beside it). Never two such passes in a row, and none while a backdrop shows or keeps what
    // lay beneath it, or pixels were moved. Off by default.
    // The first pass after a key that finds nothing of the first responder dirty yet, within
    // `echoWait` of the key, draws nothing and leaves all to the next: the echo is on its way, and a
    // whole window drawn now would keep it waiting behind that pass. Never two such passes in a
    // row: keys before every frame still leave everything drawn every third frame at least.
    static constexpr runtime::Duration typingWindow{1'000'000'000};
    static constexpr runtime::Duration echoWait{8'000'000};
    // While the frames that draw animations take longer than a frame's time (a starved core, a
    // wall of launch veils), decorative animations wait this many times a frame's cost after
    // each frame that draws them, and at most `longestDecorativePause`, instead of asking for
    // the next frame at once: drawing them keeps to a third of the loop, the rest is the work's.
    static constexpr int decorativePauseFactor = 2;
    static constexpr runtime::Duration longestDecorativePause{1'000'000'000};
    // What the last frame that drew an animation's change cost: its tick and its display pass.
    runtime::Duration animationFrameCost() const { return animationFrameCost_; }
    // How many passes waited so, for benchmarks.
    uint64_t passesHeldForEcho() const { return passesHeldForEcho_; }
    void setDrawsTypingFirst(bool on) { drawsTypingFirst_ = on; }
    bool drawsTypingFirst() const { return drawsTypingFirst_; }
    // Draws the whole window now.
    void display();

    // What the views drew.
    const gfx::Canvas& surface() const { return *surface_; }

    // --- Keyboard focus -------------------------------------------------------------------------
    View* firstResponder() const { return firstResponder_; }
    // Moves the keyboard to `view` (null: to nobody): a view that takes the keyboard or a key
    // view. False when the current first responder refuses to let go, the view refuses to take it,
    // or letting go moved the keyboard elsewhere (that move stands). Asked for the view that has it
    // already, the backend puts its toolkit's keyboard there again.
    bool makeFirstResponder(View* view);
    // While makeFirstResponder asks the view that has the keyboard to let go: where the keyboard
    // goes (null: to nobody). None at any other time.
    std::optional<View*> keyboardGoingTo() const { return keyboardGoingTo_; }
    // A text field is being edited: the first responder is a field editor, or (in a toolkit's
    // window) one of its text entries has the keyboard.
    virtual bool isEditingText() const;
    // The window the user types into. The backend follows the toolkit; tests set it.
    bool isKeyWindow() const { return keyWindow_; }
    void setKeyWindow(bool key);
    // The input method (the headless one until a backend installs its own).
    TextInputContext* textInputContext() const { return textInput_.get(); }
    void setTextInputContext(std::unique_ptr<TextInputContext> context);

    // --- Keys held for a view on its way ---------------------------------------------------------
    // The user's action brings up a view that is to take the keyboard, but only later (shown a
    // turn on): until it becomes first responder, key events wait here in the order they came,
    // input method and all, instead of reaching whatever has the keyboard, and then go to it
    // before any later key. They were typed for that view and never go elsewhere: they are
    // dropped when the keyboard is given to another view, the view leaves the window, a hold
    // for another view begins, dropHeldKeys is called, or a key comes more than keyHoldLimit
    // after the hold began (that key then goes on as usual). Meanwhile the keyDownMonitor still
    // sees each press first: what it takes (the window's own shortcuts) acts at once, what it
    // passes on waits (it can tell by holdsKeys()), and so does the full-screen key. Past
    // maxHeldKeys, later keys are dropped. A null view: one still to be named by a later call;
    // until then the keyboard given elsewhere leaves the hold as it is. Given a view that has the
    // keyboard, sends at once.
    static constexpr size_t maxHeldKeys = 1024;
    static constexpr runtime::Duration keyHoldLimit{10'000'000'000};
    // `limit`, when given, replaces keyHoldLimit for a hold that begins now (one whose view comes
    // after slow work, such as the tiles a launch opens); naming its view keeps it.
    void holdKeysFor(View* view, std::optional<runtime::Duration> limit = std::nullopt);
    // The held keys go nowhere, but for the window's own shortcuts among them (what the
    // keyDownMonitor takes now), which act in their turn: one that brings up a view to take the
    // keyboard (a new tile) gets the keys typed after it.
    void dropHeldKeys();
    bool holdsKeys() const { return keyHold_.has_value(); }
    // The view the keys wait for (null while none is named, or none are held), and how many.
    View* keysHeldFor() const { return keyHold_ ? keyHold_->view : nullptr; }
    size_t heldKeyCount() const { return keyHold_ ? keyHold_->keys.size() : 0; }
    // A sheet that ended passes the keys that still reach it (typed after the action that ended
    // it, before the display server moved the keyboard) to the window it was over, until it is
    // shown again: the window they go to, while it lives.
    Window* keysGoTo() const { return keysGoToAlive_.expired() ? nullptr : keysGoTo_; }
    // The same, to be asked later, after this window may have gone (a backend keeps its
    // toolkit's window a while longer).
    std::function<Window*()> keysGoToLater() const {
        return [to = keysGoTo_, alive = keysGoToAlive_] { return alive.expired() ? nullptr : to; };
    }

    // --- Events in ------------------------------------------------------------------------------
    // True when something took the key. A press that no view takes moves the keyboard when it is
    // Tab, Shift+Tab or an arrow (selectKeyView); what is left goes back to the backend, whose
    // toolkit may use it.
    bool sendKeyEvent(const KeyEvent& event);
    // Moves the keyboard to the next key view of the content (the previous one, backward) in
    // reading order, round the ends; a view with parts of its own moves among them first. False
    // when there is no key view.
    bool selectKeyView(bool forward);
    // Downs get their click count here (the event's own is ignored).
    void sendMouseEvent(MouseEvent event);
    void sendScrollEvent(const ScrollEvent& event);
    // The pointer left the window (also ends what entered and moved expect).
    void pointerLeft(double timestamp = 0);
    // The modifiers of the key press being handled (the last one the window saw): what an action
    // run by a key reads as the current event's (Shift+Return searching backward).
    ModifierFlags currentKeyModifiers() const { return currentKeyModifiers_; }
    // A backend tells of a key press that one of its widgets handles itself.
    void noteKeyPress(const KeyEvent& event) {
        if (event.type == KeyEvent::Type::down) currentKeyModifiers_ = event.modifiers;
    }
    // The view the pointer is over, and the one a held button was pressed on.
    View* viewUnderPointer() const { return hoverView_; }
    View* mouseDownView() const { return mouseDownView_; }
    // Sees every pointer move with no button held before the view under the pointer does; the
    // move goes on to the views whatever the monitor does.
    std::function<void(const MouseEvent&)> mouseMovedMonitor;
    // Where the pointer is now, in window points, read from the window rather than from the event
    // being handled; none while unknown. A headless window says pointerLocation().
    virtual std::optional<gfx::Point> mouseLocationOutsideOfEventStream() const { return pointer_; }
    // The pointer's shape now, by name; the backend shows it.
    const std::string& cursorName() const { return cursorName_; }
    // Looks again which pointer shape the view under the pointer wants.
    void updateCursor();
    // Where the pointer was last seen over the window; none once it left.
    const std::optional<gfx::Point>& pointerLocation() const { return pointer_; }
    // The tool tip of the view under a point (the nearest one up the tree that has one), and that
    // view's rectangle in window points.
    struct ToolTip {
        std::string text;
        Rect rect;
    };
    std::optional<ToolTip> toolTipAt(gfx::Point locationInWindow) const;

    // --- Drags over the window (the backend feeds them in) -------------------------------------
    // The drag moved to a point, offering these types: the nearest view at or above the one there
    // that registered one of them is entered (the one before exited); the answer is what a drop
    // would do there.
    DragOperation dragMoved(const std::vector<std::string>& types, gfx::Point locationInWindow);
    // The drag left the window (or was given up): the view it was over is exited.
    void dragLeft();
    // Dropped at a point with this content: the destination performs it if it had accepted, and
    // is told the session ended. True when it took the drop.
    bool dragDropped(const Pasteboard& content, gfx::Point locationInWindow);
    // The view the drag is over now, if it accepted it.
    View* dragDestination() const { return dragDestination_; }

    // --- Animations ------------------------------------------------------------------------------
    FrameClock& frameClock() { return *frameClock_; }
    void setFrameClock(std::unique_ptr<FrameClock> clock);

    // Asked to close (the user clicked the close button); the backend calls it. Without a handler
    // the window stays.
    std::function<void()> onCloseRequest;

    // --- Visibility and the GPU -----------------------------------------------------------------
    // Shown on screen (mapped), and iconified. A headless window counts as shown until told
    // otherwise; a backend follows the toolkit. A change of either posts its notification on the
    // default centre with the window (a Window*) as the object; iconified posts only when it ends.
    static constexpr const char* didChangeVisibilityNotification = "platform.ui.Window.didChangeVisibility";
    static constexpr const char* didDeminiaturizeNotification = "platform.ui.Window.didDeminiaturize";
    bool isVisible() const { return visible_; }
    void setVisible(bool visible);
    bool isMiniaturized() const { return miniaturized_; }
    void setMiniaturized(bool miniaturized);
    // --- Full screen -----------------------------------------------------------------------------
    // Whether the window covers its screen, as the window manager last reported it. Entering and
    // leaving post these on the default centre with the window (a Window*) as the object.
    static constexpr const char* didEnterFullScreenNotification = "platform.ui.Window.didEnterFullScreen";
    static constexpr const char* didExitFullScreenNotification = "platform.ui.Window.didExitFullScreen";
    bool isFullScreen() const { return fullScreen_; }
    // Asks to enter or leave full screen. A toolkit's window manager answers later and
    // isFullScreen follows its answer; a headless window changes at once.
    virtual void setFullScreen(bool fullScreen) { fullScreenDidChange(fullScreen); }
    void toggleFullScreen() { setFullScreen(!fullScreen_); }
    // A window that allows it goes full screen and back with F11 (no modifier held), which
    // then reaches no view. Off by default: panels and sheets keep their size.
    bool allowsFullScreen() const { return allowsFullScreen_; }
    void setAllowsFullScreen(bool allows) { allowsFullScreen_ = allows; }

    // The user is dragging the window's size. Only headless windows are told (tests).
    bool inLiveResize() const { return inLiveResize_; }
    void setInLiveResize(bool live) { inLiveResize_ = live; }

    // The device GPU views in this window draw with: the process's headless device unless a
    // backend has one of its own; none when there is none.
    virtual std::shared_ptr<gpu::Device> gpuDevice();
    // A backend whose device comes once it is on screen says so until then, and posts
    // gpuDeviceDidChangeNotification when the device came or failed to come.
    static constexpr const char* gpuDeviceDidChangeNotification = "platform.ui.Window.gpuDeviceDidChange";
    virtual bool gpuDeviceIsPending() const { return false; }
    // A backend that shows GPU views' frames itself (from their textures, on its own GPU device)
    // says so; elsewhere a GPU view reads its frames back into the surface.
    virtual bool composesGpuViews() const { return false; }
    // The GPU views in this window (they enter and leave themselves), and a new frame of one.
    const std::vector<GpuView*>& gpuViews() const { return gpuViews_; }
    void addGpuView(GpuView* view);
    void removeGpuView(GpuView* view);
    virtual void gpuViewDidPresent(GpuView& /*view*/) {}

protected:
    // A GPU view entered or left the window.
    virtual void gpuViewsChanged() {}

public:
    // --- What a program's main window adds ------------------------------------------------------
    // Sees every key press before the first responder does; true swallows the press.
    std::function<bool(const KeyEvent&)> keyDownMonitor;
    // The menus a toolkit shows above the content; replaced whole, null for none.
    virtual void setMenuBar(std::shared_ptr<const MenuBar> bar) { menuBar_ = std::move(bar); }
    const std::shared_ptr<const MenuBar>& menuBar() const { return menuBar_; }
    // Opens the menu bar at its first menu with the keyboard in it (F10 where no view takes the
    // key); false without one. How often it was opened so. Each opening posts
    // didOpenMenuBarNotification on the default centre with the window (a Window*) as the object.
    virtual bool openMenuBar();
    static constexpr const char* didOpenMenuBarNotification = "platform.ui.Window.didOpenMenuBar";
    int menuBarOpenings() const { return menuBarOpenings_; }
    // The smallest size the user may give the window, in points.
    virtual void setMinimumSize(Size size) { minimumSize_ = size; }
    Size minimumSize() const { return minimumSize_; }
    // What shows where the content view draws nothing.
    virtual void setBackgroundColor(gfx::Rgba color) { backgroundColor_ = color; }
    gfx::Rgba backgroundColor() const { return backgroundColor_; }
    // Shows the window and brings it to the front; how often that was asked.
    virtual void present() {
        ++presentCount_;
        keysGoTo_ = nullptr;
    }
    int presentCount() const { return presentCount_; }

    // --- A window of its own over another (the reader) ---------------------------------------------
    // Its frame on the screen in points, from the screen's top-left corner; none where the display
    // server does not tell a program (Wayland) or nothing has placed it yet.
    virtual std::optional<Rect> screenFrame() const { return screenFrame_; }
    // Sizes the window to the frame and, where the display server lets a program place windows,
    // moves it there.
    virtual void setScreenFrame(const Rect& frame);
    // Kept above `parent` and brought along with it; null: a window of its own.
    virtual void setTransientFor(Window* parent) { transientFor_ = parent; }
    Window* transientFor() const { return transientFor_; }
    // Takes the window off the screen; present() shows it again.
    virtual void orderOut() { setVisible(false); }

    // --- Sheets and panels -----------------------------------------------------------------------
    // A name for the window's role ("bl.sheet" marks the application's sheets).
    const std::string& identifier() const { return identifier_; }
    void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }
    // A window shown modal over this one, at most one at a time. Its key presses reach this
    // window's keyDownMonitor too, and its close button ends it (response `cancelled`).
    static constexpr int cancelled = -1;
    Window* attachedSheet() const { return sheet_; }
    Window* sheetParent() const { return sheetParent_; }
    // Shows `sheet` over this window; one already attached ends first (its completion runs). The
    // completion gets the response once the sheet is off screen.
    void beginSheet(Window& sheet, std::function<void(int response)> completion);
    // Ends `sheet` when it is this window's sheet; nothing otherwise.
    void endSheet(Window& sheet, int response = 0);
    // A press offered before the first responder's keyDown: first to the views from the first
    // responder up (View::performKeyEquivalent, menu shortcuts); then F11 toggles full screen where
    // it is allowed, and Return or Escape, with no modifier, clicks a usable button of the window
    // that carries it as its key equivalent (Return only while the keyboard is on no control that
    // Return presses itself); true when one took it.
    bool performKeyEquivalent(const KeyEvent& event);

protected:
    // Something became dirty while nothing was: a backend arranges a call of displayIfNeeded.
    virtual void scheduleDisplay() {}
    // A rectangle (window points, whole device pixels) was added to what must be drawn.
    virtual void didInvalidate(const Rect& /*rect*/) {}
    // The surface's pixels in a rectangle (window points, whole device pixels) were moved; the
    // next didDisplay lists it too.
    virtual void didMovePixels(const Rect& /*rect*/) {}
    // A view changed inside what was already to be drawn (it may have moved, come or gone).
    virtual void didChangeWithinDirty() {}
    // The surface holds new pixels in these rectangles (window points).
    virtual void didDisplay(const std::vector<Rect>& /*rects*/) {}
    // A surface of the window's size and scale; a backend may give one its display server reads
    // without a copy. Not asked during the window's construction.
    virtual std::unique_ptr<gfx::Canvas> makeSurface(Size size, double scale);
    // Takes a new surface from makeSurface (the backend's choice changed) and draws all of it.
    void replaceSurface() { rebuildSurface(); }
    // The pointer's shape changed.
    virtual void applyCursor(const std::string& /*name*/) {}
    // The window manager put the window in full screen or took it out: the flag follows, and the
    // notification is posted when it changed.
    void fullScreenDidChange(bool fullScreen);
    // The toolkit shows a sheet modal over this window (centred on it), and takes it away.
    virtual void presentSheet(Window& sheet) { sheet.present(); }
    virtual void dismissSheet(Window& /*sheet*/) {}
    // The first responder changed (a backend moves the toolkit's keyboard focus along).
    virtual void firstResponderDidChange() {}

private:
    friend class View;
    friend class BlurView;
    // View::keyDown passed a key beyond the top of the chain.
    void keyWentUnhandled() { keyUnhandled_ = true; }
    // Keeps a key for the hold; false when the hold has run out (it ends, and the key goes on).
    bool holdKey(const KeyEvent& event);
    // The hold has run past its limit: it is dropped.
    bool holdEnded();
    // The keyboard moved: a hold for the view that has it now sends what it kept; one for
    // another view ends.
    void keyboardMovedForHold();
    // Tab, Shift+Tab and the arrows that no view took; F10 that no view took opens the menu bar.
    bool performKeyboardNavigation(const KeyEvent& event);
    // A view (none: the window itself) asks for a rectangle: backdrops drawn over the view learn
    // that what lies beneath them changed there.
    void invalidate(const Rect& rect, const View* source);
    // Adds a rectangle to what must be drawn and tells the backend; past maxDirtyRects, it joins
    // the one whose bounding box with it adds the least area to draw.
    void addDirty(const Rect& rect);
    // With drawsTypingFirst: leaves the first responder's part of the dirty area to draw now and
    // returns the rest, when the pass may do so.
    std::vector<Rect> deferAllButTyping();
    // With drawsTypingFirst: whether this pass waits for the echo of the key just typed.
    bool holdsForEcho();
    // Where the first responder shows, out to whole device pixels, if typing may go first now.
    std::optional<Rect> typingArea() const;
    // The views that show what the window drew beneath them (BlurView) enter and leave.
    void addBackdrop(BlurView* view);
    void removeBackdrop(BlurView* view);
    // A backdrop drawn over `view` that now covers what lies beneath it in `area`.
    bool coveredByBackdrop(const View& view, const Rect& area) const;
    bool hasCoveringBackdrop(const std::vector<View*>& views) const;
    // What of `rect` views beneath a covering backdrop among `subviews` (from `first` on) must
    // draw: outside it, and where what lies beneath it changed.
    void cutByBackdrops(const std::vector<View*>& subviews, size_t first, const Rect& rect,
                        std::vector<Rect>& out) const;
    void drawView(View& view, gfx::Canvas& canvas, const std::vector<Rect>& dirty, const Rect& visible);
    // Draws the subviews in order, each only where no opaque sibling above it covers the dirty rectangle.
    void drawSubviews(const std::vector<View*>& subviews, gfx::Canvas& canvas, const std::vector<Rect>& dirty,
                      const Rect& visible);
    // View::scrollRect: `rect` in the view's coordinates.
    bool scrollView(View& view, const Rect& rect, double dy);
    // Where `view` shows in the window: its bounds cut by the ancestors that clip and the window.
    Rect visibleRect(const View& view) const;
    // Visible views drawn after `view` over `area`: the window rectangles they paint there.
    // With `onSurface`, only views shown through a pass since, whose pixels the surface may hold.
    void paintedOver(const View& view, const Rect& area, std::vector<Rect>& rects, bool onSurface = false) const;
    // A backdrop that has just appeared takes what lies beneath it from the surface, where the
    // surface holds it; where it does not, the views beneath are drawn in this pass.
    void takeBeneathFromSurface(BlurView& backdrop);
    // Rounded corners and borders of `view` and its ancestors over `area`: window rectangles.
    void decorationsIn(const View& view, const Rect& area, std::vector<Rect>& rects) const;
    void drawShadowOf(View& view, gfx::Canvas& canvas, const std::vector<Rect>& dirty, const Rect& visible,
                      const Rect& frame);
    void drawSubviewsInRoundedShape(View& view, gfx::Canvas& canvas, const std::vector<Rect>& dirty,
                                    const Rect& inner, const Rect& frame);
    void rebuildSurface();
    // A view leaves the window: forget every pointer to it.
    void viewWillLeave(View& view);
    void viewDidAnimate(View& view);
    // Ticks with the frame clock while an animation moves continuously; otherwise one timer for
    // the next change (a blink's phase) and nothing while nothing changes.
    void scheduleAnimationTicks();
    // When decorative animations may move again: none while frames keep to a frame's time.
    std::optional<runtime::TimePoint> decorativeNotBefore() const;
    // A view in the window gained or lost tracking areas.
    void trackingAreasChanged(View& view);
    // Crossings and moves of the tracking areas for the pointer at `location` (none: it left).
    void updateTrackingAreas(const std::optional<gfx::Point>& location, const MouseEvent& event);
    void frameTick();
    View* viewAt(gfx::Point locationInWindow) const;
    // The nearest view at or above `view` that wants pointer moves.
    static View* trackingViewFor(View* view);
    void updateHover(View* under, const MouseEvent& event);
    int clickCountFor(const MouseEvent& event);

    Size size_;
    double scale_;
    std::string title_;
    std::shared_ptr<const MenuBar> menuBar_;
    int menuBarOpenings_ = 0;
    Size minimumSize_{0, 0};
    gfx::Rgba backgroundColor_{1, 1, 1, 1};
    int presentCount_ = 0;
    std::string identifier_;
    std::optional<Rect> screenFrame_;
    Window* transientFor_ = nullptr;
    Window* sheet_ = nullptr;
    Window* sheetParent_ = nullptr;
    std::function<void(int)> sheetCompletion_;
    // What the sheet's own key monitor and close button were before it was attached.
    std::function<bool(const KeyEvent&)> sheetKeyMonitor_;
    std::function<void()> sheetCloseRequest_;
    View* contentView_ = nullptr;
    std::unique_ptr<gfx::Canvas> surface_;
    std::vector<Rect> dirty_;
    // Rectangles whose pixels moved since the last display.
    std::vector<Rect> moved_;

    View* firstResponder_ = nullptr;
    std::optional<View*> keyboardGoingTo_;
    bool keyUnhandled_ = false;
    bool keyWindow_ = false;
    std::unique_ptr<TextInputContext> textInput_;
    struct KeyHold {
        View* view;
        runtime::TimePoint since;
        std::vector<KeyEvent> keys;
        runtime::Duration limit = keyHoldLimit;
    };
    std::optional<KeyHold> keyHold_;
    // Lives as long as the window: what holds a weak copy knows whether the window still does.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    Window* keysGoTo_ = nullptr;
    std::weak_ptr<int> keysGoToAlive_;

    View* hoverView_ = nullptr;
    View* trackingView_ = nullptr;
    View* mouseDownView_ = nullptr;
    std::string cursorName_ = "default";
    std::optional<gfx::Point> pointer_;
    std::vector<View*> trackingOwners_;
    struct InsideArea {
        View* view;
        int area;
        friend bool operator==(const InsideArea&, const InsideArea&) = default;
    };
    std::vector<InsideArea> insideAreas_;
    View* dragDestination_ = nullptr;
    View* dragEntered_ = nullptr;
    DragOperation dragOperation_ = DragOperation::none;
    ModifierFlags currentKeyModifiers_ = 0;
    struct LastPress {
        uint8_t button = 0;
        gfx::Point location;
        double timestamp = -1e9;
        int count = 0;
    } lastPress_;

    std::unique_ptr<FrameClock> frameClock_;
    std::vector<View*> animatingViews_;
    std::shared_ptr<runtime::WorkItem> animationTimer_;
    runtime::TimePoint lastAnimationTick_{};
    // The next display pass draws what a tick changed; the tick took `tickCost_`.
    bool tickDrawPending_ = false;
    runtime::Duration tickCost_{};
    runtime::Duration animationFrameCost_{};
    runtime::TimePoint decorativeDrawnAt_{};

    std::vector<GpuView*> gpuViews_;
    std::vector<BlurView*> backdrops_;
    // Display passes run.
    uint64_t passes_ = 0;
    bool visible_ = true;
    bool miniaturized_ = false;
    bool fullScreen_ = false;
    bool allowsFullScreen_ = false;
    bool inLiveResize_ = false;
    bool drawsTypingFirst_ = false;
    // The last pass drew the first responder's part alone.
    bool drewTypingAlone_ = false;
    // A key came since the last pass that drew (or held for its echo).
    bool keySincePass_ = false;
    bool heldLastPass_ = false;
    uint64_t passesHeldForEcho_ = 0;
    std::optional<runtime::TimePoint> lastKeyAt_;
};

}  // namespace platform::ui
