#pragma once

namespace vantel {

// The keyboard enhancement flags a program asks for with CSI > flags u. The engine
// stores and compares whole values per screen; the key encoder reads the bits.
struct KittyKeyboardFlags {
    int rawValue = 0;

    constexpr KittyKeyboardFlags() = default;
    constexpr explicit KittyKeyboardFlags(int raw) : rawValue(raw) {}

    static const KittyKeyboardFlags disambiguate;
    static const KittyKeyboardFlags reportEvents;
    static const KittyKeyboardFlags reportAlternates;
    static const KittyKeyboardFlags reportAllKeys;
    static const KittyKeyboardFlags reportText;
    static const KittyKeyboardFlags knownMask;

    constexpr bool contains(KittyKeyboardFlags other) const { return (rawValue & other.rawValue) == other.rawValue; }
    constexpr bool empty() const { return rawValue == 0; }
    friend constexpr KittyKeyboardFlags operator|(KittyKeyboardFlags a, KittyKeyboardFlags b) {
        return KittyKeyboardFlags(a.rawValue | b.rawValue);
    }
    friend constexpr KittyKeyboardFlags operator&(KittyKeyboardFlags a, KittyKeyboardFlags b) {
        return KittyKeyboardFlags(a.rawValue & b.rawValue);
    }
    friend constexpr bool operator==(KittyKeyboardFlags, KittyKeyboardFlags) = default;
};

inline constexpr KittyKeyboardFlags KittyKeyboardFlags::disambiguate{1};
inline constexpr KittyKeyboardFlags KittyKeyboardFlags::reportEvents{2};
inline constexpr KittyKeyboardFlags KittyKeyboardFlags::reportAlternates{4};
inline constexpr KittyKeyboardFlags KittyKeyboardFlags::reportAllKeys{8};
inline constexpr KittyKeyboardFlags KittyKeyboardFlags::reportText{16};
inline constexpr KittyKeyboardFlags KittyKeyboardFlags::knownMask{0x1f};

}  // namespace vantel
