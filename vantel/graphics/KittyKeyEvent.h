#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "vantel/core/KittyKeyboardFlags.h"

namespace vantel {

// Held modifiers and lock states; on the wire a modifier field is the bit set plus 1.
struct KittyKeyboardModifiers {
    int rawValue = 0;

    constexpr KittyKeyboardModifiers() = default;
    constexpr explicit KittyKeyboardModifiers(int raw) : rawValue(raw) {}

    static const KittyKeyboardModifiers shift;
    static const KittyKeyboardModifiers alt;
    static const KittyKeyboardModifiers ctrl;
    static const KittyKeyboardModifiers super;
    static const KittyKeyboardModifiers hyper;
    static const KittyKeyboardModifiers meta;
    static const KittyKeyboardModifiers capsLock;
    static const KittyKeyboardModifiers numLock;

    constexpr bool contains(KittyKeyboardModifiers other) const {
        return (rawValue & other.rawValue) == other.rawValue;
    }
    constexpr bool intersects(KittyKeyboardModifiers other) const { return (rawValue & other.rawValue) != 0; }
    constexpr bool empty() const { return rawValue == 0; }
    constexpr KittyKeyboardModifiers subtracting(KittyKeyboardModifiers other) const {
        return KittyKeyboardModifiers(rawValue & ~other.rawValue);
    }
    friend constexpr KittyKeyboardModifiers operator|(KittyKeyboardModifiers a, KittyKeyboardModifiers b) {
        return KittyKeyboardModifiers(a.rawValue | b.rawValue);
    }
    friend constexpr bool operator==(KittyKeyboardModifiers, KittyKeyboardModifiers) = default;
};

inline constexpr KittyKeyboardModifiers KittyKeyboardModifiers::shift{1};
inline constexpr KittyKeyboardModifiers KittyKeyboardModifiers::alt{2};
inline constexpr KittyKeyboardModifiers KittyKeyboardModifiers::ctrl{4};
inline constexpr KittyKeyboardModifiers KittyKeyboardModifiers::super{8};
inline constexpr KittyKeyboardModifiers KittyKeyboardModifiers::hyper{16};
inline constexpr KittyKeyboardModifiers KittyKeyboardModifiers::meta{32};
inline constexpr KittyKeyboardModifiers KittyKeyboardModifiers::capsLock{64};
inline constexpr KittyKeyboardModifiers KittyKeyboardModifiers::numLock{128};

enum class KittyKeyboardEventType : uint8_t { press = 1, repeat = 2, release = 3 };

// Keys that produce no character of their own, in the order of the protocol's key table.
// `deleteKey` is the Delete key (`delete` is a C++ keyword).
// clang-format off
enum class KittyFunctionalKey : uint8_t {
    escape, enter, tab, backspace, insert, deleteKey, up, down, left, right, home, end, pageUp, pageDown,
    f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12, f13, f14, f15, f16, f17, f18, f19, f20,
    f21, f22, f23, f24, f25, f26, f27, f28, f29, f30, f31, f32, f33, f34, f35,
    menu, capsLock, scrollLock, numLock, printScreen, pause,
    keypad0, keypad1, keypad2, keypad3, keypad4, keypad5, keypad6, keypad7, keypad8, keypad9,
    keypadDecimal, keypadDivide, keypadMultiply, keypadSubtract, keypadAdd, keypadEnter, keypadEqual,
    keypadSeparator, keypadLeft, keypadRight, keypadUp, keypadDown, keypadPageUp, keypadPageDown,
    keypadHome, keypadEnd, keypadInsert, keypadDelete, keypadBegin,
    mediaPlay, mediaPause, mediaPlayPause, mediaReverse, mediaStop, mediaFastForward, mediaRewind,
    mediaTrackNext, mediaTrackPrevious, mediaRecord, volumeDown, volumeUp, volumeMute,
    leftShift, leftControl, leftAlt, leftSuper, leftHyper, leftMeta,
    rightShift, rightControl, rightAlt, rightSuper, rightHyper, rightMeta,
    isoLevel3Shift, isoLevel5Shift
};
// clang-format on

// A key: a character key (its Unicode scalar is also its key code), a functional key, or none.
struct KittyKey {
    enum class Kind : uint8_t { unicode, functional, none };

    Kind kind = Kind::none;
    char32_t scalar = 0;
    KittyFunctionalKey functionalKey = KittyFunctionalKey::escape;

    static constexpr KittyKey unicode(char32_t scalar) { return {Kind::unicode, scalar, KittyFunctionalKey::escape}; }
    static constexpr KittyKey functional(KittyFunctionalKey key) { return {Kind::functional, 0, key}; }
    static constexpr KittyKey none() { return {}; }

    constexpr bool is(KittyFunctionalKey key) const { return kind == Kind::functional && functionalKey == key; }
    // The fourteen keys from leftShift to isoLevel5Shift.
    constexpr bool isModifierKey() const {
        return kind == Kind::functional && functionalKey >= KittyFunctionalKey::leftShift;
    }
};

// One key event as the view hands it to the encoder.
struct KittyKeyEvent {
    KittyKey key;
    KittyKeyboardModifiers modifiers;
    KittyKeyboardEventType eventType = KittyKeyboardEventType::press;
    // The text the key produces, UTF-8.
    std::optional<std::string> text;
    std::optional<char32_t> shiftedKey;
    std::optional<char32_t> baseLayoutKey;
    // An input method is composing.
    bool composing = false;
};

}  // namespace vantel
