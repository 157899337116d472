// The keyboard alone: Tab and Shift+Tab through a window's controls in reading order, the arrows,
// Space and Return on the control that has the keyboard, and keys left to the toolkit.
#include "platform/ui/KeyViewLoop.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/Button.h"
#include "platform/ui/FlippedView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Menu.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/TextField.h"
#include "platform/ui/headless/HeadlessWindow.h"

using namespace platform::ui;
using platform::gfx::Rect;

namespace {

KeyEvent press(Key key, ModifierFlags modifiers = 0, std::string text = "") {
    KeyEvent e;
    e.key = key;
    e.characters = text;
    e.charactersIgnoringModifiers = text;
    e.modifiers = modifiers;
    return e;
}

// Takes every key, as a terminal does.
class KeyEater : public View {
public:
    using View::View;
    bool acceptsFirstResponder() const override { return true; }
    void keyDown(const KeyEvent&) override { ++keys; }
    int keys = 0;
};

// A sheet laid out top-down: a pop-up and a small button on one row (tops 3 apart), a segmented
// control, a label, two check boxes, a disabled and a hidden button, a field and Close last.
struct Sheet {
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    headless::HeadlessWindow window{{400, 400}, 1};
    FlippedView content{Rect{0, 0, 400, 400}};
    FlippedView group{Rect{0, 100, 400, 200}};
    PopUpButton popUp{Rect{20, 20, 200, 26}};
    Button small{Button::Type::push, Rect{240, 23, 80, 20}};
    SegmentedControl segments{Rect{20, 30, 300, 24}};
    Label note{Rect{20, 0, 300, 20}};
    Button right{Button::Type::checkBox, Rect{200, 70, 150, 20}};
    Button left{Button::Type::checkBox, Rect{20, 70, 150, 20}};
    Button disabled{Button::Type::push, Rect{20, 320, 80, 24}};
    Button hidden{Button::Type::push, Rect{120, 320, 80, 24}};
    TextField field{Rect{20, 350, 200, 24}};
    Button close{Button::Type::push, Rect{300, 360, 80, 24}};
    std::map<const View*, std::string> names{{&popUp, "popUp"},   {&small, "small"},     {&segments, "segments"},
                                             {&right, "right"},   {&left, "left"},       {&field, "field"},
                                             {&close, "close"},   {&disabled, "disabled"}, {&hidden, "hidden"},
                                             {nullptr, "nobody"}};
    std::vector<std::string> pressed;

    Sheet() {
        window.setContentView(&content);
        // Added out of reading order: the loop sorts by place, not by the tree.
        for (View* view : std::initializer_list<View*>{&close, &field, &group, &small, &popUp, &disabled, &hidden})
            content.addSubview(view);
        for (View* view : std::initializer_list<View*>{&note, &right, &left, &segments}) group.addSubview(view);
        std::vector<SegmentedControl::Segment> three(3);
        for (size_t i = 0; i < three.size(); ++i) three[i].label = std::string(1, static_cast<char>('A' + i));
        segments.setSegments(std::move(three));
        segments.setSelectedSegment(1);
        popUp.addItem("a");
        popUp.addItem("b");
        popUp.selectItem(0);
        disabled.setEnabled(false);
        hidden.setHidden(true);
        for (Button* button : {&small, &right, &left, &close, &disabled}) {
            button->setAction([this](Control& sender) { pressed.push_back(names[&sender]); });
        }
        segments.setAction([this](Control&) { pressed.push_back(std::string("segment ").append(std::to_string(segments.selectedSegment()))); });
        popUp.setAction([this](Control&) { pressed.push_back("item " + popUp.titleOfSelectedItem()); });
    }
    std::string focused() {
        std::string name = names[window.firstResponder()];
        if (window.firstResponder() == &segments) name.append(1, ' ').append(std::to_string(segments.focusedSegment()));
        return name;
    }
    std::vector<std::string> walk(Key key, ModifierFlags modifiers, int count) {
        std::vector<std::string> seen;
        for (int i = 0; i < count; ++i) {
            EXPECT_TRUE(window.sendKeyEvent(press(key, modifiers)));
            seen.push_back(focused());
        }
        return seen;
    }
};

}  // namespace

TEST(KeyViewLoop, ReadingOrderSkipsWhatCannotTakeTheKeyboard) {
    Sheet s;
    std::vector<std::string> order;
    for (View* view : KeyViewLoop::inReadingOrder(s.content)) order.push_back(s.names[view]);
    EXPECT_EQ(order, (std::vector<std::string>{"popUp", "small", "segments", "left", "right", "field", "close"}));
    // A view that had the keyboard keeps its place among them once hidden.
    s.small.setHidden(true);
    order.clear();
    for (View* view : KeyViewLoop::inReadingOrder(s.content, &s.small)) order.push_back(s.names[view]);
    EXPECT_EQ(order, (std::vector<std::string>{"popUp", "small", "segments", "left", "right", "field", "close"}));
    EXPECT_EQ(KeyViewLoop::next(s.content, &s.small, true), &s.segments);
    EXPECT_EQ(KeyViewLoop::next(s.content, &s.small, false), &s.popUp);
    FlippedView empty{Rect{0, 0, 10, 10}};
    EXPECT_EQ(KeyViewLoop::next(empty, nullptr, true), nullptr);
}

TEST(KeyViewLoop, TabAndShiftTabGoRoundEverySegmentAndControl) {
    struct Case {
        const char* name;
        Key key;
        ModifierFlags modifiers;
        int count;
        std::vector<std::string> seen;
    } const cases[] = {
        {"Tab", Key::tab, 0, 10,
         {"popUp", "small", "segments 0", "segments 1", "segments 2", "left", "right", "field", "close", "popUp"}},
        {"Shift+Tab", Key::tab, Modifier::shift, 8,
         {"close", "field", "right", "left", "segments 2", "segments 1", "segments 0", "small"}},
        {"Right", Key::right, 0, 4, {"popUp", "small", "segments 0", "segments 1"}},
        // A field keeps the arrows that move its caret.
        {"Left", Key::left, 0, 3, {"close", "field", "field"}},
    };
    for (const Case& c : cases) {
        Sheet s;
        EXPECT_EQ(s.walk(c.key, c.modifiers, c.count), c.seen) << c.name;
        EXPECT_TRUE(s.pressed.empty()) << c.name;
    }
}

TEST(KeyViewLoop, SpaceAndReturnPressTheFocusedControl) {
    struct Case {
        const char* name;
        int tabs;
        Key key;
        std::vector<std::string> pressed;
        std::string focusedAfter;
    } const cases[] = {
        {"Space on a button", 2, Key::space, {"small"}, "small"},
        {"Return on a button before the default one", 2, Key::returnKey, {"small"}, "small"},
        {"Space on a segment selects it", 3, Key::space, {"segment 0"}, "segments 0"},
        {"Return on a check box toggles it", 6, Key::returnKey, {"left"}, "left"},
        {"Down on a pop-up chooses the next item", 1, Key::down, {"item b"}, "popUp"},
        {"Return with nobody focused presses the default button", 0, Key::returnKey, {"close"}, "nobody"},
        {"Return in a field presses the default button", 8, Key::returnKey, {"close"}, "field"},
    };
    for (const Case& c : cases) {
        Sheet s;
        s.close.setKeyEquivalent(Button::KeyEquivalent::returnKey);
        s.walk(Key::tab, 0, c.tabs);
        s.window.sendKeyEvent(press(c.key));
        EXPECT_EQ(s.pressed, c.pressed) << c.name;
        EXPECT_EQ(s.focused(), c.focusedAfter) << c.name;
    }
    Sheet s;
    s.walk(Key::tab, 0, 6);
    s.window.sendKeyEvent(press(Key::space));
    EXPECT_EQ(s.left.state(), Button::State::on);
    // A hidden button no longer takes Space; the key is left over, and Tab goes on from its place.
    s.walk(Key::tab, Modifier::shift, 4);
    ASSERT_EQ(s.focused(), "small");
    s.small.setHidden(true);
    EXPECT_FALSE(s.window.sendKeyEvent(press(Key::space)));
    EXPECT_EQ(s.walk(Key::tab, 0, 1), std::vector<std::string>{"segments 0"});
}

TEST(KeyViewLoop, AViewThatTakesTheKeysKeepsTheKeyboard) {
    Sheet s;
    KeyEater terminal{Rect{20, 200, 300, 90}};
    s.content.addSubview(&terminal);
    s.window.makeFirstResponder(&terminal);
    for (Key key : {Key::tab, Key::left, Key::down, Key::space, Key::returnKey}) {
        EXPECT_TRUE(s.window.sendKeyEvent(press(key)));
        EXPECT_TRUE(s.window.sendKeyEvent(press(key, Modifier::shift)));
    }
    EXPECT_EQ(terminal.keys, 10);
    EXPECT_EQ(s.window.firstResponder(), &terminal);
    // F10 opens the menu bar only where no view takes it (the terminal keeps it), and not with Shift.
    auto bar = std::make_shared<MenuBar>();
    bar->menus.push_back(Menu{"Help", {}});
    s.window.setMenuBar(bar);
    const Key f10 = static_cast<Key>(static_cast<uint16_t>(Key::f1) + 9);
    EXPECT_TRUE(s.window.sendKeyEvent(press(f10)));
    EXPECT_EQ(terminal.keys, 11);
    s.window.makeFirstResponder(&s.field);
    EXPECT_TRUE(s.window.sendKeyEvent(press(f10)));
    EXPECT_FALSE(s.window.sendKeyEvent(press(f10, Modifier::shift)));
    EXPECT_EQ(s.window.menuBarOpenings(), 1);
    s.window.makeFirstResponder(&terminal);
    // Other keys no view takes go back to the backend; Tab with Alt is no move.
    s.window.makeFirstResponder(&s.close);
    EXPECT_FALSE(s.window.sendKeyEvent(press(Key::character, 0, "a")));
    EXPECT_FALSE(s.window.sendKeyEvent(press(Key::tab, Modifier::alt)));
    EXPECT_EQ(s.window.firstResponder(), &s.close);
    // From a control the loop reaches the terminal too.
    EXPECT_TRUE(s.window.sendKeyEvent(press(Key::tab, Modifier::shift)));
    EXPECT_TRUE(s.window.sendKeyEvent(press(Key::tab, Modifier::shift)));
    EXPECT_EQ(s.window.firstResponder(), &terminal);
}

// A first responder that, letting go, hands the keyboard elsewhere itself keeps that move.
TEST(KeyViewLoop, AMoveMadeWhileLettingGoStands) {
    Sheet s;
    KeyEater terminal{Rect{20, 200, 300, 90}};
    s.content.addSubview(&terminal);
    s.field.onEndEditing = [&](TextField&) { s.window.makeFirstResponder(&terminal); };
    ASSERT_TRUE(s.window.makeFirstResponder(&s.field));
    EXPECT_FALSE(s.window.makeFirstResponder(&s.close));
    EXPECT_EQ(s.window.firstResponder(), &terminal);
}

// A group that holds the view with the keyboard keeps it among its views (an editor's field and
// buttons); the view letting go learns where the keyboard goes.
TEST(KeyViewLoop, AGroupKeepsTheKeyboardAmongItsViews) {
    struct Editor : FlippedView {
        using FlippedView::FlippedView;
        std::vector<View*> keyViewGroup() override { return {&close, &field}; }
        Button close{Button::Type::push, Rect{300, 20, 80, 24}};
        TextField field{Rect{20, 10, 200, 24}};
    };
    Sheet s;
    Editor editor{Rect{0, 300, 400, 60}};
    s.content.addSubview(&editor);
    for (View* view : std::initializer_list<View*>{&editor.field, &editor.close}) editor.addSubview(view);
    std::vector<View*> goingTo;
    editor.field.onEndEditing = [&](TextField&) { goingTo.push_back(s.window.keyboardGoingTo().value_or(&s.content)); };
    ASSERT_TRUE(s.window.makeFirstResponder(&editor.field));
    for (Key key : {Key::tab, Key::tab, Key::up, Key::up}) s.window.sendKeyEvent(press(key));
    EXPECT_EQ(s.window.firstResponder(), &editor.field);
    s.window.makeFirstResponder(nullptr);
    EXPECT_EQ(goingTo, (std::vector<View*>{&editor.close, &editor.close, nullptr}));
    EXPECT_FALSE(s.window.keyboardGoingTo());
}
