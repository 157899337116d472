#pragma once

#include <cstdint>
#include <string>

#include "platform/gfx/Rect.h"

namespace platform::ui {

// Modifier keys held during an event, as a bit set. `super` is the key the views treat as Command;
// `altGraph` marks characters typed through AltGr (text, never a Meta prefix).
using ModifierFlags = unsigned;
namespace Modifier {
inline constexpr ModifierFlags shift = 1;
inline constexpr ModifierFlags control = 2;
inline constexpr ModifierFlags alt = 4;
inline constexpr ModifierFlags super = 8;
inline constexpr ModifierFlags capsLock = 16;
inline constexpr ModifierFlags numLock = 32;
inline constexpr ModifierFlags altGraph = 64;
}  // namespace Modifier

// Keys named by what they do, whatever the keyboard layout. Keys that type characters are
// `character`: their text is in the event.
enum class Key : uint16_t {
    unknown,
    character,
    returnKey,
    tab,
    backspace,
    escape,
    space,
    deleteForward,
    insert,
    home,
    end,
    pageUp,
    pageDown,
    left,
    right,
    up,
    down,
    // Function keys: f1 + n is F(n + 1), up to F35.
    f1,
    f35 = f1 + 34,
    // The numeric keypad: keypad0 + n is the digit n.
    keypad0,
    keypad9 = keypad0 + 9,
    keypadDecimal,
    keypadDivide,
    keypadMultiply,
    keypadSubtract,
    keypadAdd,
    keypadEnter,
    keypadEquals,
    keypadSeparator,
    keypadBegin,
    // The keypad's navigation keys (Num Lock off).
    keypadLeft,
    keypadRight,
    keypadUp,
    keypadDown,
    keypadHome,
    keypadEnd,
    keypadPageUp,
    keypadPageDown,
    keypadInsert,
    keypadDelete,
    // Modifier keys themselves (they arrive as flagsChanged, never as a key press).
    shiftLeft,
    shiftRight,
    controlLeft,
    controlRight,
    altLeft,
    altRight,
    superLeft,
    superRight,
    capsLock,
    numLock,
    altGraph,
    menu,
    printScreen,
    scrollLock,
    pause,
};

inline constexpr Key functionKey(int n) { return static_cast<Key>(static_cast<int>(Key::f1) + n - 1); }
inline constexpr bool isModifierKey(Key key) { return key >= Key::shiftLeft && key <= Key::altGraph; }

// A key press, release or modifier change. A press of a key that is already down is a repeat.
struct KeyEvent {
    enum class Type : uint8_t { down, up, flagsChanged };
    Type type = Type::down;
    Key key = Key::unknown;
    // The text the key types with the modifiers applied (UTF-8), and without Control, Alt and Super
    // (Shift and AltGr kept, as the layout gives them); empty for keys that type nothing.
    std::string characters;
    std::string charactersIgnoringModifiers;
    // What the key types with no modifier at all, on the layout's first level ("=" for the key
    // that types "+" with Shift on a US layout): menu shortcuts match it.
    std::string unshiftedCharacters;
    // The toolkit's symbol (an X keysym) and the hardware code of the key (evdev code + 8 on X11).
    uint32_t keyval = 0;
    uint16_t hardwareKeycode = 0;
    // The modifiers held, this key's own change applied (so a Shift press has shift set).
    ModifierFlags modifiers = 0;
    bool isRepeat = false;
    // Seconds on the monotonic clock.
    double timestamp = 0;
};

// A pointer event. Locations are window points (y up, origin at the lower-left corner).
struct MouseEvent {
    enum class Type : uint8_t { down, up, dragged, moved, entered, exited };
    enum Button : uint8_t { left = 0, right = 1, middle = 2 };
    Type type = Type::moved;
    // The button pressed or released, or the first one held during a drag.
    uint8_t button = left;
    // 1 for a single press, 2 for the second press of a double click, and so on; the window counts
    // them from the system's double-click time and distance.
    int clickCount = 0;
    gfx::Point locationInWindow;
    ModifierFlags modifiers = 0;
    double timestamp = 0;
    // Entered, moved and exited of a tracking area carry its number; 0 for the view's own.
    int trackingArea = 0;
};

// What a drag from another program (or within this one) does when dropped.
enum class DragOperation : uint8_t { none, copy };

// Scrolling by wheel or touchpad. Deltas point where the content moves: positive y scrolls up
// (towards older lines). A wheel gives whole notches (±1 per notch, or fractions for smooth
// wheels); a touchpad gives precise deltas in the toolkit's scroll units.
struct ScrollEvent {
    gfx::Point locationInWindow;
    double deltaX = 0;
    double deltaY = 0;
    bool hasPreciseDeltas = false;
    ModifierFlags modifiers = 0;
    double timestamp = 0;
};

}  // namespace platform::ui
