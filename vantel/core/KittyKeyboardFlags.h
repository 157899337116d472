#pragma once

#include <cstdint>

namespace vantel {

// Progressive keyboard enhancements a program asked for with CSI > flags u.
// The engine stores and compares whole values; the key encoder reads the bits.
struct KittyKeyboardFlags {
    int32_t rawValue = 0;

    static constexpr int32_t disambiguate = 1;
    static constexpr int32_t reportEvents = 2;
    static constexpr int32_t reportAlternates = 4;
    static constexpr int32_t reportAllKeys = 8;
    static constexpr int32_t reportText = 16;
    static constexpr int32_t knownBits = 0x1F;

    constexpr KittyKeyboardFlags() = default;
    constexpr explicit KittyKeyboardFlags(int32_t raw) : rawValue(raw) {}

    constexpr bool contains(int32_t flags) const { return (rawValue & flags) == flags; }
    constexpr void insert(int32_t flags) { rawValue |= flags; }
    constexpr void remove(int32_t flags) { rawValue &= ~flags; }
    constexpr bool isEmpty() const { return rawValue == 0; }
    friend constexpr bool operator==(KittyKeyboardFlags, KittyKeyboardFlags) = default;
};

}  // namespace vantel
