#pragma once

// UTF-8: the engine's one decoder, and the conversions and validation built on it, for the
// engine and the application alike. The print path, text conversion and validation all read
// sequences through the decoder, so they agree on where a character starts and ends.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantel::utf8 {

struct Sequence {
    // Markers in place of a scalar, above every scalar value.
    // invalid: a byte that starts no sequence, a sequence broken by a byte that does not
    // continue it, or a complete one for an overlong form, a surrogate or a value past U+10FFFF.
    static constexpr char32_t invalid = 0x110000;
    // cut: a well-formed start that the available bytes end before it is complete.
    static constexpr char32_t cut = 0x110001;

    char32_t scalar;
    // Bytes it takes: the whole sequence; for a broken one its lead byte and the continuation
    // bytes after it (the byte that broke it starts the next sequence); for a cut one all
    // that is there.
    uint32_t length;

    bool isScalar() const { return scalar < invalid; }
    bool isCut() const { return scalar == cut; }
};

inline bool isContinuationByte(uint8_t byte) { return (byte & 0xC0) == 0x80; }

// The length of a well-formed sequence from its lead byte (0xC2-0xF4): what a hot loop adds
// after decode gave it a scalar, without carrying the length out of the decoder.
inline uint32_t wellFormedLength(uint8_t lead) { return 2u + (lead >= 0xE0) + (lead >= 0xF0); }

namespace detail {

// A lead byte of `announced` bytes whose fast check failed: broken, or cut by the end.
inline Sequence incomplete(const uint8_t* bytes, size_t available, uint32_t announced) {
    uint32_t present = 1;
    while (present < announced && present < available && isContinuationByte(bytes[present])) ++present;
    if (present == announced) return {Sequence::invalid, announced};
    return {present == available ? Sequence::cut : Sequence::invalid, present};
}

}  // namespace detail

// The sequence at bytes[0, available); available is at least 1. Callers on hot paths take
// ASCII before they get here, so the longer sequences are tested first.
inline Sequence decode(const uint8_t* bytes, size_t available) {
    const uint8_t lead = bytes[0];
    if (lead >= 0xC2 && lead <= 0xDF) {
        if (available < 2 || !isContinuationByte(bytes[1])) return detail::incomplete(bytes, available, 2);
        return {static_cast<char32_t>((lead & 0x1F) << 6 | (bytes[1] & 0x3F)), 2};
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (available < 3 || !isContinuationByte(bytes[1]) || !isContinuationByte(bytes[2])) {
            return detail::incomplete(bytes, available, 3);
        }
        const char32_t value = (lead & 0x0F) << 12 | (bytes[1] & 0x3F) << 6 | (bytes[2] & 0x3F);
        if (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF)) return {Sequence::invalid, 3};
        return {value, 3};
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (available < 4 || !isContinuationByte(bytes[1]) || !isContinuationByte(bytes[2]) ||
            !isContinuationByte(bytes[3])) {
            return detail::incomplete(bytes, available, 4);
        }
        const char32_t value =
            (lead & 0x07) << 18 | (bytes[1] & 0x3F) << 12 | (bytes[2] & 0x3F) << 6 | (bytes[3] & 0x3F);
        if (value < 0x10000 || value > 0x10FFFF) return {Sequence::invalid, 4};
        return {value, 4};
    }
    return {lead < 0x80 ? char32_t(lead) : Sequence::invalid, 1};
}

}  // namespace vantel::utf8

namespace vantel {

inline bool isUnicodeScalar(uint32_t value) {
    return value < 0x110000 && (value < 0xD800 || value > 0xDFFF);
}

// UTF-8 encoding of scalars; invalid scalars become U+FFFD.
void appendUtf8(std::string& out, char32_t scalar);
std::string toUtf8(std::u32string_view scalars);

// Decodes UTF-8; each malformed sequence (as the print path reads it) becomes one U+FFFD.
std::u32string fromUtf8(std::string_view bytes);

// Strict validation (no surrogates, no overlongs, nothing above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

}  // namespace vantel
