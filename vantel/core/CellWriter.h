#pragma once

// The print path's cell writer. Private to the engine: only the print path's sources
// include it.

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "vantel/core/Attribute.h"
#include "vantel/core/CharData.h"
#include "vantel/core/TinyAtom.h"

namespace vantel {

// A cell as its three 8-byte words, put together in registers: a cell assembled in memory
// field by field and read back whole waits for its stores to drain. The attribute is read in
// the pieces a copy of one stores (8, 4 and 2 bytes), so reading one just set does not wait
// either. The last two bytes (padding) are zero.
struct CellWords {
    uint64_t head;       // code, width, semantic code, payload
    uint64_t attribute;  // the attribute's first eight bytes
    uint64_t tail;       // its last six
};

inline CellWords cellWords(int32_t code, int8_t width, TinyAtom payload, uint8_t semanticCode,
                           const Attribute& attribute) {
    static_assert(sizeof(Attribute) == 14 && sizeof(CharData) == 24);
    const AttributeWords words = AttributeWords::of(attribute);
    return {static_cast<uint32_t>(code) | uint64_t{static_cast<uint8_t>(width)} << 32 | uint64_t{semanticCode} << 40 |
                uint64_t{payload.code} << 48,
            words.first, words.second | uint64_t{words.third} << 32};
}

// Writes cells made from one template cell with the code (and width) replaced: runs of
// printable ASCII, and single characters of any kind.
// Made once per run of text: the template is kept in registers, since rebuilding it through
// memory for every short word stalls on store forwarding.
class CellWriter {
public:
    CellWriter() : CellWriter(CharData()) {}
    // The template of an ordinary cell, put together in registers (colourful output makes a
    // writer for nearly every character).
    CellWriter(const Attribute& attribute, TinyAtom payload, uint8_t semanticCode) {
#if defined(__SSE2__)
        const CellWords words = cellWords(0, 1, payload, semanticCode, attribute);
        tail_ = _mm_cvtsi64_si128(static_cast<long long>(words.tail));
        first_ = _mm_set_epi64x(static_cast<long long>(words.attribute), static_cast<long long>(words.head));
        setFromFirstAndTail();
#else
        blank_ = CharData(0, 1, payload, semanticCode, attribute);
        blank_.code = 0;
#endif
    }
    explicit CellWriter(const CharData& cell) {
#if defined(__SSE2__)
        // The code is the first field of a cell; two cells are 48 bytes, three 16-byte stores.
        static_assert(sizeof(CharData) == 24);
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&cell));
        tail_ = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(reinterpret_cast<const unsigned char*>(&cell) + 16));
        first_ = _mm_and_si128(low, _mm_set_epi32(-1, -1, -1, 0));
        setFromFirstAndTail();
#else
        blank_ = cell;
        blank_.code = 0;
#endif
    }

    void write(CharData* cells, const uint8_t* bytes, int n) const {
#if defined(__SSE2__)
        auto* out = reinterpret_cast<unsigned char*>(cells);
        if (n >= 2 && n <= 8) {
            // Words between escape sequences: four pair writes whatever the length, the last
            // ones moved back to overlap, so no branch depends on how long the word is.
            for (int k = 0; k < 8; k += 2) writePair(out, bytes, std::min(k, n - 2));
            return;
        }
        int i = 0;
        for (; i + 2 <= n; i += 2, out += 48) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(first_, _mm_cvtsi32_si128(bytes[i])));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16),
                             _mm_or_si128(middle_, _mm_slli_si128(_mm_cvtsi32_si128(bytes[i + 1]), 8)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), last_);
        }
        if (i < n) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(first_, _mm_cvtsi32_si128(bytes[i])));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), tail_);
        }
#else
        for (int i = 0; i < n; ++i) {
            CharData cell = blank_;
            cell.code = bytes[i];
            std::memcpy(static_cast<void*>(cells + i), &cell, sizeof cell);
        }
#endif
    }

    // One cell of any character: the template with this code and width.
    void writeOne(CharData* cell, int32_t code, int8_t width) const {
#if defined(__SSE2__)
        const uint64_t head = static_cast<uint32_t>(code) | static_cast<uint64_t>(static_cast<uint8_t>(width)) << 32;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cell),
                         _mm_or_si128(firstWithoutWidth_, _mm_cvtsi64_si128(static_cast<long long>(head))));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(reinterpret_cast<unsigned char*>(cell) + 16), tail_);
#else
        CharData written = blank_;
        written.code = code;
        written.width = width;
        std::memcpy(static_cast<void*>(cell), &written, sizeof written);
#endif
    }

    // The second half of a wide character: the template without code or width.
    void writeSpacer(CharData* cell) const {
#if defined(__SSE2__)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cell), firstWithoutWidth_);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(reinterpret_cast<unsigned char*>(cell) + 16), tail_);
#else
        writeOne(cell, 0, 0);
#endif
    }

private:
#if defined(__SSE2__)
    void setFromFirstAndTail() {
        middle_ = _mm_unpacklo_epi64(tail_, first_);
        firstWithoutWidth_ = _mm_and_si128(first_, _mm_set_epi32(-1, -1, ~0xFF, 0));
        last_ = _mm_unpacklo_epi64(_mm_srli_si128(first_, 8), tail_);
    }
    void writePair(unsigned char* out, const uint8_t* bytes, int at) const {
        unsigned char* pair = out + 24 * at;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pair), _mm_or_si128(first_, _mm_cvtsi32_si128(bytes[at])));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pair + 16),
                         _mm_or_si128(middle_, _mm_slli_si128(_mm_cvtsi32_si128(bytes[at + 1]), 8)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pair + 32), last_);
    }
    __m128i first_, middle_, last_, tail_, firstWithoutWidth_;
#else
    CharData blank_;
#endif
};

// One cell written as three words, for a lone character whose attribute may have just
// changed (building a writer for it would cost more than the write). The same bytes as a
// CellWriter made from these values writes.
inline void writeCell(CharData* cell, int32_t code, int8_t width, TinyAtom payload, uint8_t semanticCode,
                      const Attribute& attribute) {
    const CellWords words = cellWords(code, width, payload, semanticCode, attribute);
    auto* out = reinterpret_cast<unsigned char*>(cell);
    std::memcpy(out, &words.head, 8);
    std::memcpy(out + 8, &words.attribute, 8);
    std::memcpy(out + 16, &words.tail, 8);
}

// The writer for the current attribute, payload and semantic content, kept between runs:
// building one from a cell just assembled field by field costs more than most runs of text
// between escape sequences.
class CellWriterCache {
public:
    const CellWriter& writerFor(const Attribute& attribute, TinyAtom payload, uint8_t semanticCode) {
        if (!valid_ || payload.code != payload_.code || semanticCode != semanticCode_ ||
            !sameBytes(attribute, attribute_)) {
            writer_ = CellWriter(attribute, payload, semanticCode);
            attribute_ = attribute;
            payload_ = payload;
            semanticCode_ = semanticCode;
            valid_ = true;
        }
        return writer_;
    }

private:
    // A byte compare of two attributes, in the pieces a copy of one stores (8, 4 and 2 bytes),
    // so that comparing an attribute just copied does not wait for the stores to drain. A
    // false mismatch (padding) only rebuilds the writer.
    static bool sameBytes(const Attribute& a, const Attribute& b) {
        return AttributeWords::of(a).sameAs(AttributeWords::of(b));
    }

    CellWriter writer_;
    Attribute attribute_;
    TinyAtom payload_;
    uint8_t semanticCode_ = 0;
    bool valid_ = false;
};

}  // namespace vantel
