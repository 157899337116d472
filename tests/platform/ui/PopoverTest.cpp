#include "platform/ui/Popover.h"

#include <gtest/gtest.h>

#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/Button.h"
#include "platform/ui/headless/HeadlessPopovers.h"

namespace platform::ui {
namespace {

using headless::PopoverWindow;

TEST(Popover, ShowsItsContentNextToTheAnchorUntilClosed) {
    headless::HeadlessWindow parent({800, 600}, 2);
    View content({0, 0, 436, 232});
    Popover popover;
    int closed = 0;
    popover.onClose = [&] { ++closed; };
    popover.show(content, parent, {100, 400, 300, 28});
    ASSERT_TRUE(popover.isShown());
    EXPECT_EQ(popover.window()->size(), (gfx::Size{436, 232}));
    EXPECT_EQ(popover.window()->backingScaleFactor(), 2);
    EXPECT_EQ(popover.window()->contentView(), &content);
    EXPECT_EQ(&static_cast<PopoverWindow*>(popover.window())->parent(), &parent);
    EXPECT_EQ(popover.anchor(), (gfx::Rect{100, 400, 300, 28}));

    static_cast<PopoverWindow*>(popover.window())->clickOutside();
    EXPECT_FALSE(popover.isShown());
    EXPECT_EQ(content.window(), nullptr);
    EXPECT_EQ(closed, 1);
    popover.close();  // shown no more: nothing
    EXPECT_EQ(closed, 1);
}

// A popover hangs under its anchor, inside the parent window: a dot at the window's left edge
// keeps it from running past that edge (screen points, y down; the window at 100, 100).
TEST(Popover, StaysInsideTheWindowUnderItsAnchor) {
    const gfx::Rect window{100, 100, 800, 600}, screen{0, 0, 1920, 1200};
    const gfx::Size size{300, 200};
    struct Case {
        const char* name;
        gfx::Rect anchor;
        Popover::Edge edge;
        gfx::Rect window;
        std::optional<gfx::Rect> workArea;
        gfx::Point origin;
    } const cases[] = {
        {"centred under a wide anchor", {400, 300, 100, 20}, Popover::Edge::below, window, screen, {300, 326}},
        {"a dot at the window's left edge", {110, 150, 6, 6}, Popover::Edge::below, window, screen, {100, 162}},
        {"a dot at the window's right edge", {880, 150, 10, 10}, Popover::Edge::below, window, screen, {600, 166}},
        {"no room below in the window: above", {400, 600, 100, 20}, Popover::Edge::below, window, screen, {300, 394}},
        {"above when asked", {400, 400, 100, 20}, Popover::Edge::above, window, screen, {300, 194}},
        {"no room above: below", {400, 150, 100, 20}, Popover::Edge::above, window, screen, {300, 176}},
        {"room on neither side in the window: the work area's", {400, 200, 100, 20}, Popover::Edge::below,
         {100, 100, 800, 300}, screen, {300, 226}},
        {"wider than the window: within the work area", {10, 50, 10, 10}, Popover::Edge::below, {0, 0, 200, 600},
         screen, {0, 66}},
        {"no work area known", {10, 50, 10, 10}, Popover::Edge::below, {0, 0, 200, 600}, std::nullopt, {-135, 66}},
        {"the work area ends below the window", {400, 650, 100, 20}, Popover::Edge::below, window, gfx::Rect{0, 0, 1920, 800},
         {300, 444}},
    };
    for (const Case& c : cases) {
        const gfx::Rect placed = Popover::placement(size, c.anchor, c.edge, c.window, c.workArea, 6);
        EXPECT_EQ(placed, (gfx::Rect{c.origin.x, c.origin.y, size.width, size.height})) << c.name;
    }
}

// The content may close its own popover from an action; a second showing replaces the first.
TEST(Popover, ContentClosesItAndShowingAgainReplacesTheWindow) {
    headless::HeadlessWindow parent({800, 600}, 1);
    View content({0, 0, 200, 100});
    Button choice;
    content.addSubview(&choice);
    Popover popover;
    int closed = 0;
    popover.onClose = [&] { ++closed; };
    popover.show(content, parent, {0, 0, 10, 10});
    popover.show(content, parent, {20, 20, 10, 10});
    EXPECT_EQ(closed, 1);
    choice.setAction([&](Control&) { popover.close(); });
    EXPECT_TRUE(choice.performClick());
    EXPECT_FALSE(popover.isShown());
    EXPECT_EQ(closed, 2);
}

// Escape closes it after the key's handling (its window goes with it); other keys and Escape with a
// modifier go on to the content, and a popover gone before the turn is not touched.
TEST(Popover, EscapeClosesIt) {
    runtime::VirtualMainLoop loop;
    runtime::ScopedMainLoop scoped(loop);
    headless::HeadlessWindow parent({800, 600}, 1);
    View content({0, 0, 200, 100});
    KeyEvent escape;
    escape.key = Key::escape;
    KeyEvent shifted = escape;
    shifted.modifiers = Modifier::shift;
    KeyEvent letter;
    letter.key = Key::character;
    letter.characters = "a";
    Popover popover;
    int closed = 0;
    popover.onClose = [&] { ++closed; };
    popover.show(content, parent, {0, 0, 10, 10});
    EXPECT_FALSE(popover.window()->sendKeyEvent(letter));
    popover.window()->sendKeyEvent(shifted);
    EXPECT_TRUE(popover.window()->sendKeyEvent(escape));
    EXPECT_TRUE(popover.isShown());
    loop.runPending();
    EXPECT_FALSE(popover.isShown());
    EXPECT_EQ(closed, 1);
    {
        Popover gone;
        gone.show(content, parent, {0, 0, 10, 10});
        gone.window()->sendKeyEvent(escape);
    }
    loop.runPending();
    EXPECT_EQ(content.window(), nullptr);
}

TEST(Popover, ALateClickFindsItGone) {
    headless::HeadlessWindow parent({800, 600}, 1);
    View content({0, 0, 200, 100});
    std::function<void()> lateClick;
    struct Keeping : Popover::Presenter {
        std::function<void()>* keep;
        std::unique_ptr<Window> makeWindow(gfx::Size size, Window& parent, const gfx::Rect&, Popover::Edge,
                                           std::function<void()> outsideClick) override {
            *keep = outsideClick;
            return std::make_unique<headless::HeadlessWindow>(size, parent.backingScaleFactor());
        }
    };
    auto presenter = std::make_shared<Keeping>();
    presenter->keep = &lateClick;
    Popover::setPresenter(presenter);
    {
        Popover popover;
        popover.show(content, parent, {0, 0, 10, 10});
    }
    lateClick();  // nothing: the popover is gone
    Popover::setPresenter(nullptr);
    EXPECT_EQ(content.window(), nullptr);
}

}  // namespace
}  // namespace platform::ui
