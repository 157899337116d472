// Scrolling by the keyboard and the wheel: a scroll view over a taller document of controls (the
// page keys wherever the keyboard is inside, the control that takes the keyboard brought into
// sight, in the document's order).
#include "platform/ui/ScrollView.h"

#include <gtest/gtest.h>

#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/Button.h"
#include "platform/ui/FlippedView.h"
#include "platform/ui/headless/HeadlessWindow.h"

using namespace platform::ui;
using platform::gfx::Rect;

namespace {

KeyEvent press(Key key, ModifierFlags modifiers = 0, std::string text = "") {
    KeyEvent e;
    e.key = key;
    e.characters = text;
    e.modifiers = modifiers;
    return e;
}

// A page of 188 from 200 of at most 500: never past the ends; held with Control, no scrolling.
TEST(ScrollView, KeysMoveByLinesPagesAndToTheEnds) {
    EXPECT_EQ(scrolledByKey(press(Key::character, 0, " "), 200, 188, 500), 388);
    EXPECT_EQ(scrolledByKey(press(Key::space, Modifier::shift), 50, 188, 500), 0);
    EXPECT_EQ(scrolledByKey(press(Key::up), 200, 188, 500), 200 - ScrollView::lineStep);
    EXPECT_EQ(scrolledByKey(press(Key::end), 200, 188, 500), 500);
    EXPECT_EQ(scrolledByKey(press(Key::pageDown, Modifier::control), 200, 188, 500), std::nullopt);
}

// A view 200 high over a document 600 high: a button near its top, one in the middle, one at its
// foot, and one outside the scroll view.
struct Scrolling {
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    headless::HeadlessWindow window{{400, 300}, 1};
    FlippedView content{Rect{0, 0, 400, 300}};
    ScrollView scroll{Rect{0, 0, 400, 200}};
    FlippedView document{Rect{0, 0, 400, 600}};
    Button top{Button::Type::push, Rect{20, 20, 80, 24}};
    Button middle{Button::Type::push, Rect{20, 300, 80, 24}};
    Button foot{Button::Type::push, Rect{20, 560, 80, 24}};
    Button outside{Button::Type::push, Rect{300, 250, 80, 24}};

    Scrolling() {
        window.setContentView(&content);
        content.addSubview(&scroll);
        content.addSubview(&outside);
        scroll.setDocumentView(&document);
        for (Button* button : {&top, &middle, &foot}) document.addSubview(button);
    }
};

TEST(ScrollView, PageKeysWheelAndTheKeyboardsFocusScrollIt) {
    Scrolling s;
    // Kept inside the document, which a shorter document pulls back.
    s.scroll.scrollTo(1e9);
    EXPECT_EQ(s.document.frame(), (Rect{0, -400, 400, 600}));
    s.document.setFrameSize({400, 300});
    s.scroll.documentDidResize();
    EXPECT_EQ(s.scroll.scrollOffset(), 100);
    s.document.setFrameSize({400, 600});
    s.scroll.scrollTo(0);
    const double page = ScrollView::pageStep(200);
    // Page Down while a control inside has the keyboard: the view pages, the control keeps it.
    ASSERT_TRUE(s.window.makeFirstResponder(&s.top));
    EXPECT_TRUE(s.window.sendKeyEvent(press(Key::pageDown)));
    EXPECT_EQ(s.scroll.scrollOffset(), page);
    EXPECT_EQ(s.window.firstResponder(), &s.top);
    EXPECT_TRUE(s.window.sendKeyEvent(press(Key::pageUp)));
    EXPECT_EQ(s.scroll.scrollOffset(), 0);
    // The wheel: notches by lines, precise deltas by points.
    ScrollEvent wheel;
    wheel.locationInWindow = {200, 250};
    wheel.deltaY = -2;
    s.window.sendScrollEvent(wheel);
    EXPECT_EQ(s.scroll.scrollOffset(), 2 * ScrollView::lineStep);
    wheel.hasPreciseDeltas = true;
    wheel.deltaY = 20;
    s.window.sendScrollEvent(wheel);
    EXPECT_EQ(s.scroll.scrollOffset(), 2 * ScrollView::lineStep - 20);
    // Tab goes through the document before what lies below the scroll view, though the middle
    // button is scrolled out below the one outside; it comes into sight.
    s.scroll.scrollTo(0);
    ASSERT_TRUE(s.window.makeFirstResponder(&s.top));
    EXPECT_TRUE(s.window.sendKeyEvent(press(Key::tab)));
    EXPECT_EQ(s.window.firstResponder(), &s.middle);
    EXPECT_EQ(s.scroll.scrollOffset(), 324 + ScrollView::margin - 200);
    // Tab to the button at the foot: it comes into sight with a margin below it; back to the top
    // one: the view scrolls up to it.
    s.scroll.scrollTo(0);
    ASSERT_TRUE(s.window.makeFirstResponder(&s.foot));
    EXPECT_EQ(s.scroll.scrollOffset(), 584 + ScrollView::margin - 200);
    EXPECT_TRUE(s.window.sendKeyEvent(press(Key::tab)));  // to the button outside: nothing moves
    EXPECT_EQ(s.window.firstResponder(), &s.outside);
    EXPECT_EQ(s.scroll.scrollOffset(), 584 + ScrollView::margin - 200);
    EXPECT_TRUE(s.window.sendKeyEvent(press(Key::tab)));
    EXPECT_EQ(s.window.firstResponder(), &s.top);
    EXPECT_EQ(s.scroll.scrollOffset(), 20 - ScrollView::margin);
    // Page keys do nothing outside it.
    ASSERT_TRUE(s.window.makeFirstResponder(&s.outside));
    s.window.sendKeyEvent(press(Key::pageDown));
    EXPECT_EQ(s.scroll.scrollOffset(), 20 - ScrollView::margin);
}

}  // namespace
