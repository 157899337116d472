#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "vantel/core/Character.h"
#include "vantel/core/generated/UnicodeTables.h"

namespace vantel {

namespace unicode_detail {

// UTF-8 lead-byte classes: low nibble = sequence length, 0xF0 = ASCII, 0xF1 = cannot start a sequence.
constexpr std::array<uint8_t, 256> makeLeadByteTable() {
    std::array<uint8_t, 256> t{};
    for (int b = 0; b < 256; ++b) {
        uint8_t v;
        if (b < 0x80) v = 0xF0;
        else if (b < 0xC2) v = 0xF1;
        else if (b < 0xE0) v = 0x02;
        else if (b == 0xE0) v = 0x13;
        else if (b == 0xED) v = 0x23;
        else if (b < 0xF0) v = 0x03;
        else if (b == 0xF0) v = 0x34;
        else if (b < 0xF4) v = 0x04;
        else if (b == 0xF4) v = 0x44;
        else v = 0xF1;
        t[static_cast<size_t>(b)] = v;
    }
    return t;
}

}  // namespace unicode_detail

// Column widths and the Unicode properties the screen model needs. Never instantiated.
class UnicodeUtil {
public:
    UnicodeUtil() = delete;

    // One inclusive range of code points; range tables are sorted by lo and disjoint.
    struct LH {
        uint32_t lo;
        uint32_t hi;
    };

    // Indexed by a byte; only the low nibble (the sequence length) matters to the decoder.
    static constexpr std::array<uint8_t, 256> first = unicode_detail::makeLeadByteTable();

    static constexpr size_t lowPlaneSize = 0x2000;
    // computeColumnWidth for U+0000..U+1FFF, built on first use.
    static const std::array<int8_t, lowPlaneSize>& lowPlaneWidths();

    // Characters that take two columns.
    static const std::array<LH, 123> wideCharacterTable;
    // Characters that have both a text and an emoji presentation (selected with U+FE0E / U+FE0F).
    static const std::array<LH, 183> presentationSequenceTable;

    // 0, 1 or 2 columns; -1 for characters that are never printed (C0 and C1 controls).
    static int computeColumnWidth(char32_t rune);

    // 1 when rune lies in table[0]..table[max], else 0.
    static int bisearch(char32_t rune, const LH* table, int max);

    static bool isPresentationSequenceBase(char32_t rune);

    // One scalar at or above U+0100 that is Emoji but not Emoji_Presentation.
    static bool prefersTextPresentation(const Character& ch);
    // ch followed by U+FE0E when prefersTextPresentation(ch), else ch.
    static std::u32string textPresentationAdjusted(const Character& ch);

    static GeneralCategory generalCategory(char32_t c) { return ucd::properties(c).generalCategory; }
    static uint8_t canonicalCombiningClass(char32_t c) { return ucd::properties(c).combiningClass; }
    static bool isAlphabetic(char32_t c) { return (ucd::properties(c).flags & ucd::flagAlphabetic) != 0; }
    static EastAsianWidth eastAsianWidth(char32_t c) { return ucd::properties(c).eastAsianWidth; }
    static bool isEmoji(char32_t c) { return (ucd::properties(c).flags & ucd::flagEmoji) != 0; }
    static bool isEmojiPresentation(char32_t c) { return (ucd::properties(c).flags & ucd::flagEmojiPresentation) != 0; }
};

}  // namespace vantel
