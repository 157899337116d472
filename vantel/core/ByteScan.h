#pragma once

// Scans of the byte stream that the parser and the print path run over every byte of
// plain text: sixteen bytes per step with SSE2 (always there on x86-64), else eight.

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantel::bytescan {

// The index of the first byte below 0x20 in bytes[from, length), or length.
inline size_t firstControlByte(const uint8_t* bytes, size_t from, size_t length) {
    size_t i = from;
#if defined(__SSE2__)
    // Signed compare: high-bit bytes are negative, so they are biased up by 0x80 first.
    const __m128i bias = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i limit = _mm_set1_epi8(static_cast<char>(0x20 ^ 0x80));
    for (; i + 16 <= length; i += 16) {
        const __m128i chunk = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i)), bias);
        if (const int mask = _mm_movemask_epi8(_mm_cmplt_epi8(chunk, limit))) return i + __builtin_ctz(mask);
    }
#endif
    constexpr uint64_t ones = 0x0101010101010101ULL;
    constexpr uint64_t highBits = 0x8080808080808080ULL;
    for (; i + 8 <= length; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        // Flags the bytes below 0x20 (high-bit bytes never count); the lowest flag is exact.
        if (const uint64_t found = (word - ones * 0x20) & ~word & highBits) return i + (__builtin_ctzll(found) >> 3);
    }
    while (i < length && bytes[i] > 0x1F) ++i;
    return i;
}

// The end of the run of printable ASCII (0x20-0x7E) starting at `from`, before `length`.
inline size_t printableAsciiEnd(const uint8_t* bytes, size_t from, size_t length) {
    size_t i = from;
#if defined(__SSE2__)
    const __m128i low = _mm_set1_epi8(0x1F);
    const __m128i high = _mm_set1_epi8(0x7F);
    for (; i + 16 <= length; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        // Printable bytes are above 0x1F and below 0x7F as signed values; high-bit bytes are negative.
        const __m128i printable = _mm_and_si128(_mm_cmpgt_epi8(chunk, low), _mm_cmplt_epi8(chunk, high));
        const int mask = ~_mm_movemask_epi8(printable) & 0xFFFF;
        if (mask) return i + __builtin_ctz(mask);
    }
#endif
    constexpr uint64_t ones = 0x0101010101010101ULL;
    constexpr uint64_t highBits = 0x8080808080808080ULL;
    for (; i + 8 <= length; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        const uint64_t below = (word - ones * 0x20) & ~word & highBits;
        const uint64_t above = ((word + ones * (127 - 0x7E)) | word) & highBits;
        // The lowest flagged byte is exact; carries only disturb the bytes above it.
        if (const uint64_t found = below | above) return i + (__builtin_ctzll(found) >> 3);
    }
    while (i < length && static_cast<uint8_t>(bytes[i] - 0x20) < 0x5F) ++i;
    return i;
}

// Whether one of the eight bytes of `word` is `byte`.
inline bool hasByte(uint64_t word, uint8_t byte) {
    const uint64_t x = word ^ (0x0101010101010101ULL * byte);
    return ((x - 0x0101010101010101ULL) & ~x & 0x8080808080808080ULL) != 0;
}

// For the eight bytes of `word` (read little-endian), the top bit of each byte that is no
// decimal digit; `digits` gets the bytes with '0' taken away (0-9 for the digits).
inline uint64_t nonDigitBytes(uint64_t word, uint64_t& digits) {
    digits = word ^ 0x3030303030303030ULL;
    // After the xor a digit is 0-9: adding 0x76 to a byte's low seven bits reaches its top bit
    // from 10 up, and a top bit set already stays. No carry crosses bytes.
    return (((digits & 0x7F7F7F7F7F7F7F7FULL) + 0x7676767676767676ULL) | digits) & 0x8080808080808080ULL;
}

// The value of the first `count` (at most three) of the digit bytes `digits` gives, without
// a branch on the count: the digits moved up to end at the third byte, zeros before them.
inline int smallDecimal(uint64_t digits, int count) {
    const uint32_t v = static_cast<uint32_t>(digits << (8 * (3 - count)));
    return static_cast<int>((v & 0xFF) * 100 + ((v >> 8) & 0xFF) * 10 + ((v >> 16) & 0xFF));
}

// "38;5;" and "48;5;" (a palette colour's head) as the low five bytes of a word read
// little-endian.
constexpr uint64_t paletteWord(char first) {
    return uint64_t(uint8_t(first)) | uint64_t('8') << 8 | uint64_t(';') << 16 | uint64_t('5') << 24 |
           uint64_t(';') << 32;
}
constexpr uint64_t paletteForeground = paletteWord('3'), paletteBackground = paletteWord('4');
constexpr uint64_t paletteHeadMask = 0xFFFFFFFFFFULL;

}  // namespace vantel::bytescan
