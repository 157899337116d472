#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/gfx/Rgba.h"

namespace quiltdeck {

class StoredSettings;

// The tile tints: the accent of a tile's chrome, one of eight per theme. A
// colour the user chose for a folder wins in both themes; otherwise the folder
// path is hashed into the table of the theme in force, read at every call.
class Tints {
public:
    Tints() = delete;

    // Blue, green, amber, rose, violet, teal, brown, olive.
    static constexpr std::array<uint32_t, 8> dark = {0x7AA2E0, 0x86C1A6, 0xD6A96A, 0xC58FA8,
                                                     0x9B9BD8, 0x74C0C7, 0xC49A7A, 0xA9BE7C};
    static constexpr std::array<uint32_t, 8> light = {0x3C6FB5, 0x2F7D5C, 0x9A6B1E, 0x94486B,
                                                      0x5A5AA8, 0x246E76, 0x8A5530, 0x5B7429};
    // The interface text keys of the entries, in table order.
    static constexpr std::array<std::string_view, 8> nameKeys = {"c_blue",   "c_green", "c_amber", "c_rose",
                                                                 "c_violet", "c_teal",  "c_brown", "c_olive"};

    // The table of the theme in force.
    static const std::array<uint32_t, 8>& current();

    // The folder's tint, opaque: its stored colour when it parses, else the hashed entry.
    static platform::gfx::Rgba tint(const std::string& folder);
    static platform::gfx::Rgba tint(const std::string& folder, const StoredSettings& settings);

    // djb2 over the UTF-8 bytes, wrapping at 64 bits.
    static uint64_t hash(std::string_view key);
    // A stored colour text: hexadecimal digits of either case, an optional leading "+", at most
    // 32 bits; anything else (a "#", "0x", other letters, empty) is none.
    static std::optional<uint32_t> parse(std::string_view text);
    // How a choice is stored: upper-case hexadecimal without prefix or leading zeros.
    static std::string hex(uint32_t rgb);
    // The low 24 bits as an opaque colour.
    static platform::gfx::Rgba colour(uint32_t rgb);
};

}  // namespace quiltdeck
