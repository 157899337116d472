// Scrolling by the keyboard and the wheel: a scroll view over a taller document of controls (the
// page keys wherever the keyboard is inside, the control that takes the keyboard brought into
// sight), and a scrolling text that has the keyboard itself.
#include "platform/ui/ScrollView.h"

#include <gtest/gtest.h>

#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/Button.h"
#include "platform/ui/FlippedView.h"
#include "platform/ui/RichTextView.h"
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

TEST(ScrollView, KeysMoveByLinesPagesAndToTheEnds) {
    const struct {
        const char* name;
        KeyEvent key;
        std::optional<double> to;
    } cases[] = {
        {"page down", press(Key::pageDown), 388},
        {"space", press(Key::space), 388},
        {"space typed", press(Key::character, 0, " "), 388},
        {"page up", press(Key::pageUp), 12},
        {"shift space", press(Key::space, Modifier::shift), 12},
        {"down", press(Key::down), 232},
        {"up", press(Key::up), 168},
        {"home", press(Key::home), 0},
        {"end", press(Key::end), 500},
        {"control page down", press(Key::pageDown, Modifier::control), std::nullopt},
        {"a letter", press(Key::character, 0, "j"), std::nullopt},
        {"tab", press(Key::tab), std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(scrolledByKey(c.key, 200, 188, 500), c.to) << c.name;
    // Never past the ends.
    EXPECT_EQ(scrolledByKey(press(Key::pageDown), 450, 188, 500), 500);
    EXPECT_EQ(scrolledByKey(press(Key::pageUp), 50, 188, 500), 0);
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

TEST(ScrollView, TheOffsetStaysInsideTheDocumentAndTheScrollerShowsIt) {
    Scrolling s;
    EXPECT_EQ(s.scroll.maximumOffset(), 400);
    EXPECT_FALSE(s.scroll.scroller().isHidden());
    for (const auto& [asked, kept] : {std::pair{150.0, 150.0}, {1e9, 400.0}, {-3.0, 0.0}, {std::nan(""), 0.0}}) {
        s.scroll.scrollTo(asked);
        EXPECT_EQ(s.scroll.scrollOffset(), kept) << asked;
        EXPECT_EQ(s.document.frame(), (Rect{0, -kept, 400, 600})) << asked;
        EXPECT_DOUBLE_EQ(s.scroll.scroller().doubleValue(), kept / 400) << asked;
    }
    // A shorter document pulls the offset back; one that fits hides the scroller.
    s.scroll.scrollTo(400);
    s.document.setFrameSize({400, 300});
    s.scroll.documentDidResize();
    EXPECT_EQ(s.scroll.scrollOffset(), 100);
    s.document.setFrameSize({400, 150});
    s.scroll.documentDidResize();
    EXPECT_EQ(s.scroll.scrollOffset(), 0);
    EXPECT_TRUE(s.scroll.scroller().isHidden());
}

TEST(ScrollView, PageKeysWheelAndTheKeyboardsFocusScrollIt) {
    Scrolling s;
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

// A scrolling text with the keyboard: the page keys, Space and the arrows move it; with all of it
// in sight it takes no key, and the arrows go on to the key view loop.
TEST(ScrollView, AScrollingTextWithTheKeyboardScrollsByKeys) {
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    headless::HeadlessWindow window{{400, 300}, 1};
    FlippedView content{Rect{0, 0, 400, 300}};
    RichTextView text{Rect{0, 0, 400, 250}};
    Button close{Button::Type::push, Rect{300, 260, 80, 24}};
    window.setContentView(&content);
    content.addSubview(&text);
    content.addSubview(&close);
    RichText long_;
    for (int i = 0; i < 60; ++i) long_.append("line " + std::to_string(i) + "\n", TextAttributes{});
    text.setText(long_);
    ASSERT_GT(text.documentSize().height, 500);
    ASSERT_TRUE(window.makeFirstResponder(&text));
    const double page = ScrollView::pageStep(250), most = text.documentSize().height - 250;
    const struct {
        KeyEvent key;
        double offset;
    } steps[] = {
        {press(Key::pageDown), page},
        {press(Key::space), 2 * page},
        {press(Key::up), 2 * page - ScrollView::lineStep},
        {press(Key::end), most},
        {press(Key::down), most},  // at the end it still takes the arrow
        {press(Key::home), 0},
    };
    for (const auto& step : steps) {
        EXPECT_TRUE(window.sendKeyEvent(step.key));
        EXPECT_EQ(text.scrollOffset(), step.offset);
        EXPECT_EQ(window.firstResponder(), &text);
    }
    text.setText(RichText("short", TextAttributes{}));
    EXPECT_TRUE(window.sendKeyEvent(press(Key::down)));
    EXPECT_EQ(window.firstResponder(), &close);
}

}  // namespace
