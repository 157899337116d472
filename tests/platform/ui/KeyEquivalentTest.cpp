// Key equivalents offered from the first responder up before the keys, the modifiers of the key
// being handled, and where the window last saw the pointer.
#include <gtest/gtest.h>

#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/Button.h"
#include "platform/ui/headless/HeadlessWindow.h"

using namespace platform::ui;
using platform::gfx::Rect;
using platform::runtime::ScopedMainLoop;
using platform::runtime::VirtualMainLoop;

namespace {

KeyEvent press(Key key, const std::string& text = "", ModifierFlags modifiers = 0) {
    KeyEvent e;
    e.key = key;
    e.characters = text;
    e.charactersIgnoringModifiers = text;
    e.modifiers = modifiers;
    return e;
}

// Takes Ctrl+<its letter> as its shortcut and logs the keys it gets.
class ShortcutView : public View {
public:
    ShortcutView(const Rect& frame, std::string letter, std::string& log) : View(frame), letter_(letter), log_(log) {}
    bool performKeyEquivalent(const KeyEvent& e) override {
        if (!(e.modifiers & Modifier::control) || e.characters != letter_) return false;
        log_ += "shortcut " + letter_ + ";";
        return true;
    }
    void keyDown(const KeyEvent& e) override { log_ += "key " + e.characters + ";"; }
    bool acceptsFirstResponder() const override { return true; }

private:
    std::string letter_;
    std::string& log_;
};

struct Scene {
    VirtualMainLoop loop;
    ScopedMainLoop scoped{loop};
    headless::HeadlessWindow window{{300, 100}, 1};
    std::string log;
    ShortcutView root{Rect{0, 0, 300, 100}, "k", log};
    ShortcutView inner{Rect{10, 10, 100, 24}, "j", log};
    Scene() {
        window.setContentView(&root);
        root.addSubview(&inner);
        window.makeFirstResponder(&inner);
    }
};

}  // namespace

TEST(KeyEquivalents, ComeFirstFromTheFirstResponderUp) {
    Scene s;
    s.window.sendKeyEvent(press(Key::character, "j", Modifier::control));
    s.window.sendKeyEvent(press(Key::character, "k", Modifier::control));
    s.window.sendKeyEvent(press(Key::character, "x", Modifier::control));
    EXPECT_EQ(s.log, "shortcut j;shortcut k;key x;");
    KeyEvent up = press(Key::character, "k", Modifier::control);
    up.type = KeyEvent::Type::up;
    EXPECT_FALSE(s.window.performKeyEquivalent(up)) << "only presses";
    // The views go before the window's default button; a key no view takes clicks it.
    Button defaultButton(Button::Type::push, Rect{220, 10, 60, 24});
    defaultButton.setKeyEquivalent(Button::KeyEquivalent::returnKey);
    int clicks = 0;
    defaultButton.setAction([&](Control&) { ++clicks; });
    s.root.addSubview(&defaultButton);
    s.window.sendKeyEvent(press(Key::returnKey, "\r"));
    EXPECT_EQ(clicks, 1);
    s.window.makeFirstResponder(nullptr);
    EXPECT_FALSE(s.window.performKeyEquivalent(press(Key::character, "k", Modifier::control)))
        << "without a first responder no view is asked";
}

TEST(KeyEquivalents, TheModifiersOfTheKeyBeingHandled) {
    Scene s;
    EXPECT_EQ(s.window.currentKeyModifiers(), 0u);
    s.window.sendKeyEvent(press(Key::returnKey, "\r", Modifier::shift));
    EXPECT_EQ(s.window.currentKeyModifiers(), Modifier::shift);
    s.window.noteKeyPress(press(Key::returnKey, "\r"));
    EXPECT_EQ(s.window.currentKeyModifiers(), 0u);
}

TEST(KeyEquivalents, ThePointersLastPlace) {
    Scene s;
    EXPECT_FALSE(s.window.pointerLocation().has_value());
    MouseEvent moved;
    moved.type = MouseEvent::Type::moved;
    moved.locationInWindow = {40, 60};
    s.window.sendMouseEvent(moved);
    ASSERT_TRUE(s.window.pointerLocation().has_value());
    EXPECT_EQ(*s.window.pointerLocation(), (platform::gfx::Point{40, 60}));
    s.window.pointerLeft();
    EXPECT_FALSE(s.window.pointerLocation().has_value());
}
