#pragma once

#include <array>
#include <cstdint>
#include <map>

namespace vantel {

// A DEC or national replacement character set: what each 7-bit byte prints as.
// A byte without an entry prints as itself.
struct CharSetTable {
    std::array<char32_t, 128> map{};  // 0 = no entry
    int size = 0;                     // number of entries

    // The replacement for a byte, or 0 when it prints unchanged.
    char32_t translate(uint8_t byte) const { return byte < 128 ? map[byte] : 0; }
};

// The process-wide, read-only tables, keyed by the final byte that designates them.
class CharSets {
public:
    CharSets() = delete;
    static const std::map<uint8_t, const CharSetTable*>& all();
    // The table for a designation's final byte, or null when that final is not supported.
    static const CharSetTable* find(uint8_t finalByte);
};

}  // namespace vantel
