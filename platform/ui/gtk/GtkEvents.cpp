#include "platform/ui/gtk/GtkEvents.h"

#include <gdk/gdkkeysyms.h>

namespace platform::ui::gtk {

Key keyFromKeyval(guint keyval) {
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F35) return functionKey(static_cast<int>(keyval - GDK_KEY_F1) + 1);
    if (keyval >= GDK_KEY_KP_0 && keyval <= GDK_KEY_KP_9) {
        return static_cast<Key>(static_cast<int>(Key::keypad0) + static_cast<int>(keyval - GDK_KEY_KP_0));
    }
    switch (keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_ISO_Enter: return Key::returnKey;
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
    case GDK_KEY_KP_Tab: return Key::tab;
    case GDK_KEY_BackSpace: return Key::backspace;
    case GDK_KEY_Escape: return Key::escape;
    case GDK_KEY_space: return Key::space;
    case GDK_KEY_Delete: return Key::deleteForward;
    case GDK_KEY_Insert: return Key::insert;
    case GDK_KEY_Home: return Key::home;
    case GDK_KEY_End: return Key::end;
    case GDK_KEY_Page_Up: return Key::pageUp;
    case GDK_KEY_Page_Down: return Key::pageDown;
    case GDK_KEY_Left: return Key::left;
    case GDK_KEY_Right: return Key::right;
    case GDK_KEY_Up: return Key::up;
    case GDK_KEY_Down: return Key::down;
    case GDK_KEY_KP_Decimal: return Key::keypadDecimal;
    case GDK_KEY_KP_Divide: return Key::keypadDivide;
    case GDK_KEY_KP_Multiply: return Key::keypadMultiply;
    case GDK_KEY_KP_Subtract: return Key::keypadSubtract;
    case GDK_KEY_KP_Add: return Key::keypadAdd;
    case GDK_KEY_KP_Enter: return Key::keypadEnter;
    case GDK_KEY_KP_Equal: return Key::keypadEquals;
    case GDK_KEY_KP_Separator: return Key::keypadSeparator;
    case GDK_KEY_KP_Begin: return Key::keypadBegin;
    case GDK_KEY_KP_Left: return Key::keypadLeft;
    case GDK_KEY_KP_Right: return Key::keypadRight;
    case GDK_KEY_KP_Up: return Key::keypadUp;
    case GDK_KEY_KP_Down: return Key::keypadDown;
    case GDK_KEY_KP_Home: return Key::keypadHome;
    case GDK_KEY_KP_End: return Key::keypadEnd;
    case GDK_KEY_KP_Page_Up: return Key::keypadPageUp;
    case GDK_KEY_KP_Page_Down: return Key::keypadPageDown;
    case GDK_KEY_KP_Insert: return Key::keypadInsert;
    case GDK_KEY_KP_Delete: return Key::keypadDelete;
    case GDK_KEY_Shift_L: return Key::shiftLeft;
    case GDK_KEY_Shift_R: return Key::shiftRight;
    case GDK_KEY_Control_L: return Key::controlLeft;
    case GDK_KEY_Control_R: return Key::controlRight;
    case GDK_KEY_Alt_L:
    case GDK_KEY_Meta_L: return Key::altLeft;
    case GDK_KEY_Alt_R:
    case GDK_KEY_Meta_R: return Key::altRight;
    case GDK_KEY_Super_L:
    case GDK_KEY_Hyper_L: return Key::superLeft;
    case GDK_KEY_Super_R:
    case GDK_KEY_Hyper_R: return Key::superRight;
    case GDK_KEY_Caps_Lock: return Key::capsLock;
    case GDK_KEY_Num_Lock: return Key::numLock;
    case GDK_KEY_ISO_Level3_Shift:
    case GDK_KEY_Mode_switch: return Key::altGraph;
    case GDK_KEY_Menu: return Key::menu;
    case GDK_KEY_Print: return Key::printScreen;
    case GDK_KEY_Scroll_Lock: return Key::scrollLock;
    case GDK_KEY_Pause: return Key::pause;
    default: break;
    }
    return gdk_keyval_to_unicode(keyval) != 0 ? Key::character : Key::unknown;
}

ModifierFlags modifiersFromState(guint state) {
    ModifierFlags flags = 0;
    if (state & GDK_SHIFT_MASK) flags |= Modifier::shift;
    if (state & GDK_CONTROL_MASK) flags |= Modifier::control;
    if (state & GDK_MOD1_MASK) flags |= Modifier::alt;
    if (state & (GDK_SUPER_MASK | GDK_MOD4_MASK)) flags |= Modifier::super;
    if (state & GDK_LOCK_MASK) flags |= Modifier::capsLock;
    if (state & GDK_MOD2_MASK) flags |= Modifier::numLock;
    if (state & GDK_MOD5_MASK) flags |= Modifier::altGraph;
    return flags;
}

ModifierFlags modifiersAfter(Key key, bool pressed, ModifierFlags before) {
    ModifierFlags bit = 0;
    switch (key) {
    case Key::shiftLeft:
    case Key::shiftRight: bit = Modifier::shift; break;
    case Key::controlLeft:
    case Key::controlRight: bit = Modifier::control; break;
    case Key::altLeft:
    case Key::altRight: bit = Modifier::alt; break;
    case Key::superLeft:
    case Key::superRight: bit = Modifier::super; break;
    case Key::altGraph: bit = Modifier::altGraph; break;
    // Locks toggle: the press that turns them on and the release after the one turning them off.
    case Key::capsLock: return pressed ? before ^ Modifier::capsLock : before;
    case Key::numLock: return pressed ? before ^ Modifier::numLock : before;
    default: return before;
    }
    return pressed ? before | bit : before & ~bit;
}

std::string utf8FromKeyval(guint keyval) {
    const gunichar c = gdk_keyval_to_unicode(keyval);
    if (c == 0) return {};
    char buffer[8];
    const int n = g_unichar_to_utf8(c, buffer);
    return std::string(buffer, static_cast<size_t>(n));
}

KeyEvent keyEventFrom(const GdkEventKey& event, bool isRepeat) {
    KeyEvent key;
    key.key = keyFromKeyval(event.keyval);
    const bool pressed = event.type == GDK_KEY_PRESS;
    key.type = isModifierKey(key.key) ? KeyEvent::Type::flagsChanged
                                      : (pressed ? KeyEvent::Type::down : KeyEvent::Type::up);
    key.keyval = event.keyval;
    key.hardwareKeycode = event.hardware_keycode;
    key.modifiers = modifiersAfter(key.key, pressed, modifiersFromState(event.state));
    key.isRepeat = isRepeat;
    key.timestamp = event.time / 1000.0;
    // The control characters these keys type; the others type their symbol's character.
    char control = 0;
    switch (key.key) {
    case Key::returnKey:
    case Key::keypadEnter: control = '\r'; break;
    case Key::tab: control = '\t'; break;
    case Key::backspace: control = '\x7f'; break;
    case Key::escape: control = '\x1b'; break;
    default: break;
    }
    if (control) key.characters = std::string(1, control);
    else if (!isModifierKey(key.key)) key.characters = utf8FromKeyval(event.keyval);
    key.charactersIgnoringModifiers = key.characters;
    key.unshiftedCharacters = key.characters;
    if (!isModifierKey(key.key)) {
        guint unshifted = 0;
        GdkKeymap* keymap = gdk_keymap_get_for_display(gdk_display_get_default());
        if (keymap && gdk_keymap_translate_keyboard_state(keymap, event.hardware_keycode, GdkModifierType(0),
                                                          event.group, &unshifted, nullptr, nullptr, nullptr)) {
            const std::string text = utf8FromKeyval(unshifted);
            if (!text.empty()) key.unshiftedCharacters = text;
        }
    }
    // Control turns the ASCII letters and @[\]^_ into their control characters, as typed text.
    if ((key.modifiers & Modifier::control) && key.characters.size() == 1) {
        const char c = key.characters[0];
        if (c >= '@' && c <= '_') key.characters = std::string(1, static_cast<char>(c - '@'));
        else if (c >= 'a' && c <= 'z') key.characters = std::string(1, static_cast<char>(c - 'a' + 1));
        else if (c == ' ' || c == '2') key.characters = std::string(1, '\0');
    }
    return key;
}

}  // namespace platform::ui::gtk
