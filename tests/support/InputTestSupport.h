#pragma once

// Neutral key, mouse and scroll events as the GTK backend makes them, for tests of the views'
// input on the headless backend; and a terminal view of 10 × 20 cells in a key window.

#include <string>

#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/Events.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/headless/HeadlessTextInputContext.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "support/ViewTestSupport.h"

namespace vantel::testing {

namespace Mod = platform::ui::Modifier;
using platform::ui::Key;
using platform::ui::KeyEvent;
using platform::ui::ModifierFlags;
using platform::ui::MouseEvent;
using platform::ui::ScrollEvent;

// The evdev code + 8 of a US-layout key, as X11 reports it; 0 for keys without one here.
inline uint16_t usKeycode(char c) {
    static const std::string rows[] = {"1234567890-=", "qwertyuiop[]", "asdfghjkl;'`", "\\zxcvbnm,./"};
    static const int firsts[] = {2, 16, 30, 43};
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c == ' ') return 57 + 8;
    for (int i = 0; i < 4; ++i) {
        const size_t at = rows[i].find(c);
        if (at != std::string::npos) return static_cast<uint16_t>(firsts[i] + at + 8);
    }
    return 0;
}

// A key press that types `text` (before Control applies), as the toolkit gives it.
inline KeyEvent typed(const std::string& text, ModifierFlags modifiers = 0, Key key = Key::character) {
    KeyEvent e;
    e.type = KeyEvent::Type::down;
    e.key = key;
    e.characters = text;
    e.charactersIgnoringModifiers = text;
    e.unshiftedCharacters = text;
    e.modifiers = modifiers;
    if (text.size() == 1) {
        e.keyval = static_cast<unsigned char>(text[0]);
        e.hardwareKeycode = usKeycode(text[0]);
    }
    // Control turns letters and @[\]^_ into control characters, as typed text.
    if ((modifiers & Mod::control) && text.size() == 1) {
        const char c = text[0];
        if (c >= '@' && c <= '_') e.characters = std::string(1, static_cast<char>(c - '@'));
        else if (c >= 'a' && c <= 'z') e.characters = std::string(1, static_cast<char>(c - 'a' + 1));
        else if (c == ' ' || c == '2') e.characters = std::string(1, '\0');
    }
    return e;
}

// A key that types nothing of its own (arrows, F-keys, the keypad's navigation keys).
inline KeyEvent pressed(Key key, ModifierFlags modifiers = 0) {
    KeyEvent e;
    e.type = KeyEvent::Type::down;
    e.key = key;
    e.modifiers = modifiers;
    return e;
}

// Return, Tab, Backspace and Escape carry their control characters.
inline KeyEvent controlKey(Key key, ModifierFlags modifiers = 0) {
    const char c = key == Key::returnKey ? '\r' : key == Key::tab ? '\t' : key == Key::backspace ? '\x7f' : '\x1b';
    KeyEvent e = typed(std::string(1, c), modifiers, key);
    e.hardwareKeycode = key == Key::returnKey ? 36 : key == Key::tab ? 23 : key == Key::backspace ? 22 : 9;
    return e;
}

inline KeyEvent released(KeyEvent e) {
    e.type = KeyEvent::Type::up;
    return e;
}

// A modifier key's own event: the modifiers after it.
inline KeyEvent modifierKey(Key key, ModifierFlags after) {
    KeyEvent e;
    e.type = KeyEvent::Type::flagsChanged;
    e.key = key;
    e.modifiers = after;
    return e;
}

// A terminal view of 10 × 20 cells filling a key window, with an owner that records what is sent.
struct InputFixture {
    static constexpr platform::gfx::Size cell{10, 20};
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    platform::ui::headless::HeadlessWindow window;
    FixedCellView<> view;
    RecordingViewOwner owner;

    explicit InputFixture(int cols = 10, int rows = 4)
        : window({cols * cell.width, rows * cell.height}, 1), view(cell, platform::gfx::Rect{}, nullptr, gridOptions(cols, rows)) {
        view.scroller().setHidden(true);
        window.setContentView(&view);
        view.setTerminalDelegate(&owner);
        window.setKeyWindow(true);
        window.makeFirstResponder(&view);
        platform::ui::Pasteboard::general().clearContents();
        platform::ui::Pasteboard::find().clearContents();
    }
    ~InputFixture() { view.setTerminalDelegate(nullptr); }

    platform::ui::headless::HeadlessTextInputContext& inputMethod() {
        return static_cast<platform::ui::headless::HeadlessTextInputContext&>(*window.textInputContext());
    }
    // What the view sent since the last call.
    std::string take() { return std::exchange(owner.sent, std::string()); }
    std::string key(const KeyEvent& e) {
        window.sendKeyEvent(e);
        return take();
    }

    // The window point at the middle of a cell (column, screen row).
    platform::gfx::Point at(int col, int row) const {
        return {col * cell.width + cell.width / 2, window.size().height - (row * cell.height + cell.height / 2)};
    }
    void mouse(MouseEvent::Type type, platform::gfx::Point point, ModifierFlags modifiers = 0, double time = 0) {
        MouseEvent e;
        e.type = type;
        e.button = MouseEvent::left;
        e.locationInWindow = point;
        e.modifiers = modifiers;
        e.timestamp = time;
        window.sendMouseEvent(e);
    }
    void click(platform::gfx::Point point, ModifierFlags modifiers = 0, double time = 0) {
        mouse(MouseEvent::Type::down, point, modifiers, time);
        mouse(MouseEvent::Type::up, point, modifiers, time);
    }
    void scroll(double deltaY, bool precise = false, ModifierFlags modifiers = 0, platform::gfx::Point point = {5, 5}) {
        ScrollEvent e;
        e.locationInWindow = point;
        e.deltaY = deltaY;
        e.hasPreciseDeltas = precise;
        e.modifiers = modifiers;
        window.sendScrollEvent(e);
    }
};

}  // namespace vantel::testing
