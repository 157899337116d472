#pragma once

#include <cstdint>
#include <optional>

#include "vantel/core/Attribute.h"
#include "vantel/core/Character.h"

namespace vantel {

// The placeholder character of Kitty images shown through text.
inline constexpr char32_t kittyPlaceholderCharacter = 0x10EEEE;

// One decoded placeholder cell: which image cell it shows.
struct KittyPlaceholderCell {
    int row = 0;
    int col = 0;
    uint32_t imageId = 0;
    uint32_t placementId = 0;
    int placeholderRow = 0;
    int placeholderCol = 0;
    int msb = 0;
    friend bool operator==(const KittyPlaceholderCell&, const KittyPlaceholderCell&) = default;
};

struct KittyPlaceholder {
    // The position of a row/column diacritic in the published list, or nothing.
    static std::optional<int> diacriticIndex(char32_t scalar);
    static constexpr int diacriticCount = 297;
};

// Pure: reads only this cell and the decoded cell to its left in the same row.
struct KittyPlaceholderDecoder {
    static std::optional<KittyPlaceholderCell> decode(const Character& character, const Attribute& attribute, int row,
                                                      int col, const std::optional<KittyPlaceholderCell>& previous,
                                                      const std::optional<Attribute>& previousAttribute);
};

}  // namespace vantel
