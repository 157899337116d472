// The window's routing of keys, pointer and scroll events, focus and pointer shapes, and the
// frame ticks of animations.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/runtime/NotificationCenter.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/Scroller.h"
#include "platform/ui/SystemSettings.h"
#include "platform/ui/View.h"
#include "platform/ui/headless/HeadlessTextInputContext.h"
#include "platform/ui/headless/HeadlessWindow.h"

using namespace platform::ui;
using namespace std::chrono_literals;
using platform::gfx::Point;
using platform::gfx::Rect;
using platform::runtime::ScopedMainLoop;
using platform::runtime::VirtualMainLoop;

namespace {

// Writes what it gets into a shared log.
class LoggingView : public View, public TextInputClient {
public:
    LoggingView(const char* name, const Rect& frame, std::string& log) : View(frame), name_(name), log_(log) {}
    bool takesKeys = true;
    bool letsGo = true;
    std::optional<std::string> cursor;
    bool acceptsFirstResponder() const override { return takesKeys; }
    bool resignFirstResponder() override { return letsGo; }
    void keyDown(const KeyEvent& e) override {
        if (inputContext() && inputContext()->filterKeyEvent(e)) return;
        note("key " + e.characters);
    }
    void keyUp(const KeyEvent& e) override { note("up " + e.characters); }
    void mouseDown(const MouseEvent& e) override { note("down" + std::to_string(e.clickCount)); }
    void mouseDragged(const MouseEvent&) override { note("drag"); }
    void mouseUp(const MouseEvent&) override { note("up"); }
    void mouseMoved(const MouseEvent&) override { note("moved"); }
    void mouseEntered(const MouseEvent&) override { note("entered"); }
    void mouseExited(const MouseEvent&) override { note("exited"); }
    void scrollWheel(const ScrollEvent& e) override { note("scroll " + std::to_string(int(e.deltaY))); }
    std::optional<std::string> cursorName() const override { return cursor; }
    TextInputClient* textInputClient() override { return this; }
    void insertText(std::string_view text, TextRange) override { note("text " + std::string(text)); }
    void setMarkedText(std::string_view text, TextRange, TextRange) override { note("marked " + std::string(text)); }
    void unmarkText() override { note("unmark"); }
    bool hasMarkedText() const override { return false; }
    TextRange markedRange() const override { return {}; }
    TextRange selectedRange() const override { return {0, 0}; }
    Rect firstRectForCharacterRange(TextRange) override { return convertToWindow(bounds()); }

private:
    void note(const std::string& what) { log_ += std::string(log_.empty() ? "" : ", ") + name_ + ":" + what; }
    const char* name_;
    std::string& log_;
};

MouseEvent mouse(MouseEvent::Type type, Point at, double time = 0, uint8_t button = MouseEvent::left) {
    MouseEvent e;
    e.type = type;
    e.locationInWindow = at;
    e.timestamp = time;
    e.button = button;
    return e;
}

KeyEvent key(const char* text, KeyEvent::Type type = KeyEvent::Type::down) {
    KeyEvent e;
    e.type = type;
    e.key = Key::character;
    e.characters = text;
    return e;
}

// A 200 × 100 window: a left view and a right one (the right one holding a small inner view).
struct Scene {
    VirtualMainLoop loop;
    ScopedMainLoop scoped{loop};
    headless::HeadlessWindow window{{200, 100}, 1};
    std::string log;
    LoggingView root{"root", Rect{}, log};
    LoggingView left{"left", Rect{0, 0, 100, 100}, log};
    LoggingView right{"right", Rect{100, 0, 100, 100}, log};
    LoggingView inner{"inner", Rect{10, 10, 20, 20}, log};

    Scene() {
        root.takesKeys = false;
        window.setContentView(&root);
        root.addSubview(&left);
        root.addSubview(&right);
        right.addSubview(&inner);
        inner.takesKeys = false;
    }
    std::string take() { return std::exchange(log, ""); }
};

}  // namespace

TEST(WindowEvents, KeysGoToTheFirstResponderThroughItsInputMethod) {
    Scene s;
    s.window.sendKeyEvent(key("a"));
    EXPECT_EQ(s.take(), "");  // nobody has the keyboard
    EXPECT_FALSE(s.window.makeFirstResponder(&s.inner));
    EXPECT_TRUE(s.window.makeFirstResponder(&s.left));
    s.left.letsGo = false;
    EXPECT_FALSE(s.window.makeFirstResponder(&s.right));
    EXPECT_EQ(s.window.firstResponder(), &s.left);
    s.left.letsGo = true;
    auto& im = static_cast<headless::HeadlessTextInputContext&>(*s.window.textInputContext());
    EXPECT_EQ(im.client(), &s.left);
    // The input method takes what it wants and commits through the client.
    im.onKey = [&](const KeyEvent& e) {
        if (e.characters != "'") return false;
        im.preedit("'", 1);
        return true;
    };
    s.window.sendKeyEvent(key("'"));
    s.window.sendKeyEvent(key("x"));
    im.commit("\xc3\xa9");
    s.window.sendKeyEvent(key("x", KeyEvent::Type::up));
    EXPECT_EQ(s.take(), "left:marked ', left:key x, left:text \xc3\xa9, left:up x");
    // Focus of the window reaches the input method.
    s.window.setKeyWindow(true);
    EXPECT_TRUE(im.focused);
    s.window.setKeyWindow(false);
    EXPECT_FALSE(im.focused);
}

// Keys held for a view on its way go to it, in order and through its input method, once it has
// the keyboard, before any later key; otherwise nowhere.
TEST(WindowEvents, KeysHeldForAViewOnItsWayReachItInOrderOrNowhere) {
    const struct {
        const char* name;
        std::function<void(Scene&)> play;
        const char* expected;
    } cases[] = {
        {"it takes the keyboard",
         [](Scene& s) {
             s.window.makeFirstResponder(&s.left);
             s.window.holdKeysFor(&s.right);
             for (const char* text : {"k", "'", "e"}) s.window.sendKeyEvent(key(text));
             s.window.sendKeyEvent(key("e", KeyEvent::Type::up));
             s.window.makeFirstResponder(&s.right);
             s.window.sendKeyEvent(key("2"));
         },
         "right:key k, right:marked ', right:text \xc3\xa9, right:up e, right:key 2"},
        {"it has the keyboard already",
         [](Scene& s) {
             s.window.makeFirstResponder(&s.right);
             s.window.holdKeysFor(&s.right);
             s.window.sendKeyEvent(key("k"));
         },
         "right:key k"},
        {"it is named after the keys came",
         [](Scene& s) {
             s.window.holdKeysFor(nullptr);
             s.window.sendKeyEvent(key("k"));
             // The keyboard passing elsewhere meanwhile leaves them waiting.
             s.window.makeFirstResponder(&s.left);
             s.window.sendKeyEvent(key("2"));
             s.window.holdKeysFor(&s.right);
             s.window.makeFirstResponder(&s.right);
         },
         "right:key k, right:key 2"},
        {"the keyboard goes to another view",
         [](Scene& s) {
             s.window.holdKeysFor(&s.right);
             s.window.sendKeyEvent(key("k"));
             s.window.makeFirstResponder(&s.left);
             s.window.sendKeyEvent(key("2"));
             s.window.makeFirstResponder(&s.right);
         },
         "left:key 2"},
        {"another view is waited for",
         [](Scene& s) {
             s.window.holdKeysFor(&s.right);
             s.window.sendKeyEvent(key("k"));
             s.window.holdKeysFor(&s.left);
             s.window.sendKeyEvent(key("2"));
             s.window.makeFirstResponder(&s.left);
         },
         "left:key 2"},
        {"it leaves the window",
         [](Scene& s) {
             s.window.makeFirstResponder(&s.left);
             s.window.holdKeysFor(&s.right);
             s.window.sendKeyEvent(key("k"));
             s.right.removeFromSuperview();
             s.window.sendKeyEvent(key("2"));
         },
         "left:key 2"},
        {"they are dropped",
         [](Scene& s) {
             s.window.holdKeysFor(&s.right);
             s.window.sendKeyEvent(key("k"));
             s.window.dropHeldKeys();
             s.window.makeFirstResponder(&s.right);
             s.window.sendKeyEvent(key("2"));
         },
         "right:key 2"},
        {"a key comes after the limit",
         [](Scene& s) {
             s.window.makeFirstResponder(&s.left);
             s.window.holdKeysFor(&s.right);
             s.window.sendKeyEvent(key("k"));
             s.loop.advance(Window::keyHoldLimit - 1ms);
             s.window.sendKeyEvent(key("2"));
             s.loop.advance(2ms);
             s.window.sendKeyEvent(key("n"));
             s.window.makeFirstResponder(&s.right);
         },
         "left:key n"},
    };
    for (const auto& c : cases) {
        Scene s;
        auto& im = static_cast<headless::HeadlessTextInputContext&>(*s.window.textInputContext());
        im.onKey = [&](const KeyEvent& e) {
            if (e.characters == "'") im.preedit("'", 1);
            else if (e.characters == "e" && e.type == KeyEvent::Type::down) im.commit("\xc3\xa9");
            return e.characters == "'" || (e.characters == "e" && e.type == KeyEvent::Type::down);
        };
        c.play(s);
        EXPECT_EQ(s.take(), c.expected) << c.name;
        EXPECT_FALSE(s.window.holdsKeys()) << c.name;
    }
    // Past the bound, later keys are dropped; the first ones still arrive.
    Scene s;
    s.window.holdKeysFor(&s.right);
    for (size_t i = 0; i < Window::maxHeldKeys + 5; ++i) s.window.sendKeyEvent(key(i < 2 ? "k" : "x"));
    EXPECT_EQ(s.window.heldKeyCount(), Window::maxHeldKeys);
    s.window.makeFirstResponder(&s.right);
    const std::string log = s.take();
    EXPECT_EQ(log.substr(0, 24), "right:key k, right:key k");
    EXPECT_EQ(std::count(log.begin(), log.end(), ','), static_cast<long>(Window::maxHeldKeys) - 1);
}

TEST(WindowEvents, PressesDragsAndReleasesStayWithTheViewPressed) {
    Scene s;
    s.window.sendMouseEvent(mouse(MouseEvent::Type::down, {50, 50}));
    s.window.sendMouseEvent(mouse(MouseEvent::Type::dragged, {150, 50}));
    s.window.sendMouseEvent(mouse(MouseEvent::Type::up, {150, 50}));
    EXPECT_EQ(s.take(), "left:down1, left:drag, left:up");
    EXPECT_EQ(s.window.firstResponder(), &s.left);
    // The inner view takes no keyboard: the press gives it to the view around it.
    s.window.sendMouseEvent(mouse(MouseEvent::Type::down, {115, 15}));
    EXPECT_EQ(s.take(), "inner:down1");
    EXPECT_EQ(s.window.firstResponder(), &s.right);
    s.window.sendScrollEvent(ScrollEvent{{150, 90}, 0, 3});
    EXPECT_EQ(s.take(), "right:scroll 3");
}

TEST(WindowEvents, ClickCountsFollowTheDoubleClickTimeAndDistance) {
    SystemSettings::setDoubleClickInterval(0.4);
    SystemSettings::setDoubleClickDistance(5);
    struct Press {
        double time;
        Point at;
        uint8_t button;
        int count;
    } presses[] = {
        {0, {50, 50}, 0, 1},   {0.3, {52, 53}, 0, 2}, {0.6, {50, 50}, 0, 3}, {1.1, {50, 50}, 0, 1},
        {1.2, {57, 50}, 0, 1}, {1.3, {57, 50}, 1, 1}, {1.4, {57, 50}, 0, 1},
    };
    Scene s;
    for (const Press& p : presses) {
        s.window.sendMouseEvent(mouse(MouseEvent::Type::down, p.at, p.time, p.button));
        s.window.sendMouseEvent(mouse(MouseEvent::Type::up, p.at, p.time, p.button));
        EXPECT_EQ(s.take(), "left:down" + std::to_string(p.count) + ", left:up") << p.time;
    }
}

TEST(WindowEvents, PointerMovesReachOnlyViewsThatWantThemAndPickTheCursor) {
    Scene s;
    s.right.setWantsMouseMoved(true);
    s.right.cursor = "text";
    s.window.sendMouseEvent(mouse(MouseEvent::Type::moved, {50, 50}));
    EXPECT_EQ(s.take(), "");
    EXPECT_EQ(s.window.cursorName(), "default");
    s.window.sendMouseEvent(mouse(MouseEvent::Type::moved, {150, 50}));
    s.window.sendMouseEvent(mouse(MouseEvent::Type::moved, {115, 15}));  // the inner view: still inside
    EXPECT_EQ(s.take(), "right:entered, right:moved, right:moved");
    EXPECT_EQ(s.window.cursorName(), "text");
    s.window.pointerLeft();
    EXPECT_EQ(s.take(), "right:exited");
    EXPECT_EQ(s.window.cursorName(), "default");
    // A view that goes is forgotten.
    s.window.sendMouseEvent(mouse(MouseEvent::Type::down, {150, 50}));
    s.right.removeFromSuperview();
    EXPECT_EQ(s.window.mouseDownView(), nullptr);
    EXPECT_EQ(s.window.firstResponder(), nullptr);
}

TEST(WindowEvents, TheMoveMonitorSeesEveryMoveFirstAndPassesItOn) {
    Scene s;
    s.right.setWantsMouseMoved(true);
    std::vector<Point> seen;
    s.window.mouseMovedMonitor = [&](const MouseEvent& e) {
        s.log += std::string(s.log.empty() ? "" : ", ") + "monitor";
        seen.push_back(e.locationInWindow);
        // The window already knows where the move went.
        EXPECT_EQ(s.window.mouseLocationOutsideOfEventStream(), e.locationInWindow);
    };
    EXPECT_EQ(s.window.mouseLocationOutsideOfEventStream(), std::nullopt);
    s.window.sendMouseEvent(mouse(MouseEvent::Type::moved, {150, 50}));
    s.window.sendMouseEvent(mouse(MouseEvent::Type::moved, {50, 99}));  // over a view that wants no moves
    s.window.sendMouseEvent(mouse(MouseEvent::Type::down, {50, 20}));
    s.window.sendMouseEvent(mouse(MouseEvent::Type::dragged, {60, 20}));
    s.window.sendMouseEvent(mouse(MouseEvent::Type::up, {60, 20}));
    EXPECT_EQ(s.take(), "monitor, right:entered, right:moved, monitor, right:exited, left:down1, left:drag, left:up");
    EXPECT_EQ(seen, (std::vector<Point>{{150, 50}, {50, 99}}));
    EXPECT_EQ(s.window.mouseLocationOutsideOfEventStream(), (Point{60, 20}));
    s.window.pointerLeft();
    EXPECT_EQ(s.window.mouseLocationOutsideOfEventStream(), std::nullopt);
}

TEST(WindowEvents, FullScreenFlipsPostsAndF11TogglesWhereAllowed) {
    Scene s;
    headless::HeadlessWindow other{{10, 10}, 1};
    std::vector<std::string> posted;
    auto& center = platform::runtime::NotificationCenter::defaultCenter();
    auto record = [&](const char* what) {
        return [&, what](const platform::runtime::Notification& n) {
            const auto* from = std::any_cast<Window*>(&n.object);
            posted.push_back(std::string(what) + (from && *from == &other ? " other" : ""));
        };
    };
    auto entered = center.subscribe(Window::didEnterFullScreenNotification, record("enter"));
    auto exited = center.subscribe(Window::didExitFullScreenNotification, record("exit"));
    KeyEvent f11;
    f11.key = static_cast<Key>(static_cast<uint16_t>(Key::f1) + 10);
    s.left.takesKeys = true;
    s.window.makeFirstResponder(&s.left);
    s.take();

    struct Step {
        const char* name;
        std::function<void()> act;
        bool fullScreen;
        std::vector<std::string> posted;
        std::string reachedView;
    };
    KeyEvent shiftF11 = f11;
    shiftF11.modifiers = Modifier::shift;
    const Step steps[] = {
        {"F11 where not allowed reaches the view", [&] { s.window.sendKeyEvent(f11); }, false, {}, "left:key "},
        {"allowed", [&] { s.window.setAllowsFullScreen(true); }, false, {}, ""},
        {"F11 enters", [&] { s.window.sendKeyEvent(f11); }, true, {"enter"}, ""},
        {"asked again: nothing", [&] { s.window.setFullScreen(true); }, true, {}, ""},
        {"Shift+F11 is the view's", [&] { s.window.sendKeyEvent(shiftF11); }, true, {}, "left:key "},
        {"another window enters", [&] { other.setFullScreen(true); }, true, {"enter other"}, ""},
        {"F11 leaves", [&] { s.window.sendKeyEvent(f11); }, false, {"exit"}, ""},
        {"the other leaves", [&] { other.toggleFullScreen(); }, false, {"exit other"}, ""},
    };
    for (const Step& step : steps) {
        step.act();
        s.loop.runPending();
        EXPECT_EQ(s.window.isFullScreen(), step.fullScreen) << step.name;
        EXPECT_EQ(std::exchange(posted, {}), step.posted) << step.name;
        EXPECT_EQ(s.take(), step.reachedView) << step.name;
    }
}

// Ticks run while a view animates and stop after its last animation ended (its completion runs).
TEST(WindowEvents, FrameTicksOnlyWhileSomethingAnimates) {
    Scene s;
    s.window.displayIfNeeded();
    EXPECT_FALSE(s.window.frameClock().isRunning());
    bool completed = false;
    Animation fade = Animation::basic(1, 0, 0.1);
    fade.completion = [&] { completed = true; };
    s.left.addAnimation("opacity", fade);
    EXPECT_TRUE(s.window.frameClock().isRunning());
    s.loop.advance(50ms);
    EXPECT_NEAR(s.left.presentationOpacity(), 0.5, 0.01);
    EXPECT_TRUE(s.window.needsDisplay());
    // Drawn as a whole at that opacity.
    s.left.setLayerBackgroundColor(platform::gfx::Rgba{1, 0, 0, 1});
    s.window.displayIfNeeded();
    EXPECT_NEAR(s.window.pixel(50, 50) >> 24, 128, 3);
    s.loop.advance(100ms);
    EXPECT_TRUE(completed);
    EXPECT_FALSE(s.left.hasAnimations());
    EXPECT_FALSE(s.window.frameClock().isRunning());
    EXPECT_EQ(s.loop.pendingTimerCount(), 0u);
}

// A blink (discrete key frames) draws its view only when it changes: one timer for the next
// change, no frame ticks; a fade beside it ticks until it ends; removing the blink leaves nothing.
TEST(WindowEvents, StepAnimationsWakeTheWindowOnlyAtTheirKeyTimes) {
    Scene s;
    s.window.displayIfNeeded();
    Animation blink = Animation::keyFrames({1, 0}, {0, 0.5}, 1);
    blink.discrete = true;
    blink.repeatCount = Animation::infinite;
    s.left.addAnimation("opacity", blink);
    EXPECT_FALSE(s.window.frameClock().isRunning());
    EXPECT_EQ(s.loop.pendingTimerCount(), 1u);
    s.window.displayIfNeeded();
    // Every 10 ms for 2.99 s: drawn at 0.5, 1, 1.5, 2 and 2.5 s.
    std::vector<int> drawnAt;
    for (int ms = 10; ms < 3000; ms += 10) {
        s.loop.advance(10ms);
        EXPECT_FALSE(s.window.frameClock().isRunning()) << ms;
        if (!s.window.needsDisplay()) continue;
        drawnAt.push_back(ms);
        EXPECT_EQ(s.left.presentationOpacity(), (ms / 500) % 2 ? 0 : 1) << ms;
        s.window.displayIfNeeded();
    }
    EXPECT_EQ(drawnAt, (std::vector<int>{510, 1010, 1510, 2010, 2510}));
    // A fade on another view needs frames; when it ends the blink's timer is all that is left.
    s.right.addAnimation("opacity", Animation::basic(1, 0, 0.1));
    EXPECT_TRUE(s.window.frameClock().isRunning());
    s.loop.advance(150ms);
    EXPECT_FALSE(s.right.hasAnimations());
    EXPECT_FALSE(s.window.frameClock().isRunning());
    EXPECT_EQ(s.loop.pendingTimerCount(), 1u);
    s.left.removeAnimation("opacity");
    EXPECT_EQ(s.loop.pendingTimerCount(), 0u);
    // Leaving the window takes the view's animations' timer along.
    s.left.addAnimation("opacity", blink);
    s.left.removeFromSuperview();
    EXPECT_EQ(s.loop.pendingTimerCount(), 0u);
}

// While the frames that draw it take longer than a frame's time, a decorative animation is
// drawn after a pause of twice the frame's cost (a second at most) instead of at every tick, and
// with no frame ticks meanwhile; an animation that is not decorative keeps every tick, and quick
// frames bring every tick back. Counted in display passes over 3 s of the loop's clock.
TEST(WindowEvents, DecorativeAnimationsSlowDownWhileFramesComeLate) {
    struct Case {
        const char* name;
        bool decorative;
        platform::runtime::Duration cost;  // of each frame's drawing
        platform::runtime::Duration quickFrom;  // after this, frames cost 1 ms
        int leastPasses, mostPasses;  // in the last second
    };
    const Case cases[] = {
        {"quick frames", true, 5ms, 3s, 55, 61},
        // Each pass 50 ms, then 100 ms without a tick: one pass in 150 ms.
        {"slow frames", true, 50ms, 3s, 6, 7},
        {"slow frames of an animation that is not decorative", false, 50ms, 3s, 19, 20},
        // 400 ms, then the longest pause.
        {"very slow frames", true, 400ms, 3s, 1, 1},
        {"slow frames, then quick ones", true, 50ms, 1500ms, 55, 61},
    };
    for (const Case& c : cases) {
        Scene s;
        class SlowView : public View {
        public:
            SlowView(Scene& scene, platform::runtime::Duration cost) : View(Rect{0, 0, 50, 50}), cost(cost), scene_(scene) {}
            void draw(platform::gfx::Canvas&, const Rect&) override { scene_.loop.skipTime(cost); }
            platform::runtime::Duration cost;

        private:
            Scene& scene_;
        } slow(s, c.cost);
        s.left.addSubview(&slow);
        s.window.displayIfNeeded();
        Animation spin = Animation::basic(0, 1, 1);
        spin.repeatCount = Animation::infinite;
        spin.decorative = c.decorative;
        slow.addAnimation("spin", spin);
        const platform::runtime::TimePoint start = s.loop.now();
        int lastSecond = 0;
        bool tickedWhilePaced = false;
        while (s.loop.now() - start < 3s) {
            if (s.loop.now() - start >= c.quickFrom) slow.cost = 1ms;
            s.loop.advance(1ms);
            if (!s.window.needsDisplay()) {
                tickedWhilePaced |= c.decorative && slow.cost > 16ms && s.window.frameClock().isRunning();
                continue;
            }
            if (s.loop.now() - start >= 2s) ++lastSecond;
            s.window.displayIfNeeded();
        }
        EXPECT_GE(lastSecond, c.leastPasses) << c.name;
        EXPECT_LE(lastSecond, c.mostPasses) << c.name;
        EXPECT_FALSE(tickedWhilePaced) << c.name;
        slow.removeFromSuperview();
    }
}

TEST(Scroller, PartsDragsAndWidths) {
    VirtualMainLoop loop;
    ScopedMainLoop scoped(loop);
    headless::HeadlessWindow window({15, 100}, 1);
    Scroller scroller(Rect{0, 0, 15, 100});
    window.setContentView(&scroller);
    std::vector<Scroller::Part> parts;
    scroller.action = [&](Scroller& s) { parts.push_back(s.hitPart()); };
    EXPECT_EQ(scroller.testPart({7, 50}), Scroller::Part::noPart);  // disabled
    scroller.setEnabled(true);
    scroller.setKnobProportion(0.25);
    scroller.setDoubleValue(0.5);
    // The knob: 25 points long, halfway down the 75 it can travel.
    EXPECT_EQ(scroller.rectForPart(Scroller::Part::knob), (Rect{0, 100 - 37.5 - 25, 15, 25}));
    EXPECT_EQ(scroller.testPart({7, 90}), Scroller::Part::decrementPage);
    EXPECT_EQ(scroller.testPart({7, 50}), Scroller::Part::knob);
    EXPECT_EQ(scroller.testPart({7, 10}), Scroller::Part::incrementPage);
    window.sendMouseEvent(mouse(MouseEvent::Type::down, {7, 90}));
    window.sendMouseEvent(mouse(MouseEvent::Type::up, {7, 90}));
    window.sendMouseEvent(mouse(MouseEvent::Type::down, {7, 10}, 1));
    window.sendMouseEvent(mouse(MouseEvent::Type::up, {7, 10}, 1));
    // Grabbing the knob and dragging it to the top, and past it.
    window.sendMouseEvent(mouse(MouseEvent::Type::down, {7, 50}, 2));
    window.sendMouseEvent(mouse(MouseEvent::Type::dragged, {7, 50 + 37.5 / 2}, 2));
    EXPECT_DOUBLE_EQ(scroller.doubleValue(), 0.25);
    window.sendMouseEvent(mouse(MouseEvent::Type::dragged, {7, 500}, 2));
    window.sendMouseEvent(mouse(MouseEvent::Type::up, {7, 500}, 2));
    EXPECT_EQ(scroller.doubleValue(), 0);
    EXPECT_EQ(parts, (std::vector<Scroller::Part>{Scroller::Part::decrementPage, Scroller::Part::incrementPage,
                                                  Scroller::Part::knob, Scroller::Part::knob}));
    EXPECT_EQ(Scroller::scrollerWidth(Scroller::Style::overlay), 15);
    EXPECT_EQ(Scroller::scrollerWidth(Scroller::Style::legacy), 17);
    // Values from outside are clamped, or ignored when not finite.
    scroller.setDoubleValue(7);
    scroller.setKnobProportion(std::nan(""));
    EXPECT_EQ(std::pair(scroller.doubleValue(), scroller.knobProportion()), std::pair(1.0, 0.25));
}

TEST(Scroller, AMovingKnobRedrawsWhereItWasAndIsAndPaintsOnlyItself) {
    VirtualMainLoop loop;
    ScopedMainLoop scoped(loop);
    headless::HeadlessWindow window({15, 100}, 1);
    Scroller scroller(Rect{0, 0, 15, 100});
    window.setContentView(&scroller);
    EXPECT_TRUE(scroller.paintedBounds().isEmpty());  // disabled: nothing
    scroller.setEnabled(true);
    scroller.setKnobProportion(0.25);
    window.displayIfNeeded();
    const Rect before = scroller.rectForPart(Scroller::Part::knob);
    EXPECT_EQ(scroller.paintedBounds(), before);
    scroller.setDoubleValue(1);
    const Rect after = scroller.rectForPart(Scroller::Part::knob);
    EXPECT_EQ(window.dirtyRects(), (std::vector<Rect>{before, after}));
    scroller.setStyle(Scroller::Style::legacy);
    EXPECT_EQ(scroller.paintedBounds(), scroller.bounds());
}
