#include "platform/gfx/GlyphBlitter.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform::gfx {

namespace {

// Each byte of `x` times `a` / 255, rounded; two channels at a time.
inline uint32_t multiply(uint32_t x, uint32_t a) {
    uint32_t rb = (x & 0x00FF00FF) * a + 0x00800080;
    rb = ((rb + ((rb >> 8) & 0x00FF00FF)) >> 8) & 0x00FF00FF;
    uint32_t ag = ((x >> 8) & 0x00FF00FF) * a + 0x00800080;
    ag = (ag + ((ag >> 8) & 0x00FF00FF)) & 0xFF00FF00;
    return rb | ag;
}

// Bytewise saturating add.
inline uint32_t add(uint32_t x, uint32_t y) {
    uint32_t rb = (x & 0x00FF00FF) + (y & 0x00FF00FF);
    rb |= 0x10000100 - ((rb >> 8) & 0x00010001);
    uint32_t ag = ((x >> 8) & 0x00FF00FF) + ((y >> 8) & 0x00FF00FF);
    ag |= 0x10000100 - ((ag >> 8) & 0x00010001);
    return (rb & 0x00FF00FF) | ((ag & 0x00FF00FF) << 8);
}

inline uint32_t over(uint32_t source, uint32_t destination) {
    return add(source, multiply(destination, 255 - (source >> 24)));
}

#if defined(__SSE2__)
// Two pixels at a time, one 16-bit lane per channel (blue, green, red, alpha).
inline __m128i divideBy255(__m128i t) {
    t = _mm_add_epi16(t, _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}

inline __m128i over2(__m128i source, __m128i destination) {
    __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(source, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
    return _mm_add_epi16(source, divideBy255(_mm_mullo_epi16(destination, _mm_sub_epi16(_mm_set1_epi16(255), alpha))));
}

// Tints four coverage bytes with the colour and composites them over four pixels.
inline void tint4(const uint8_t* coverage, uint32_t* out, __m128i color) {
    uint32_t four;
    std::memcpy(&four, coverage, 4);
    if (four == 0) return;
    const __m128i zero = _mm_setzero_si128();
    __m128i c = _mm_cvtsi32_si128(static_cast<int>(four));
    c = _mm_unpacklo_epi8(c, c);
    c = _mm_unpacklo_epi16(c, c);  // each coverage byte four times
    __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(out));
    __m128i lo = over2(divideBy255(_mm_mullo_epi16(color, _mm_unpacklo_epi8(c, zero))), _mm_unpacklo_epi8(d, zero));
    __m128i hi = over2(divideBy255(_mm_mullo_epi16(color, _mm_unpackhi_epi8(c, zero))), _mm_unpackhi_epi8(d, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(lo, hi));
}

// Composites four colour pixels, scaled by `alpha`, over four pixels.
inline void composite4(const uint32_t* source, uint32_t* out, __m128i alpha, bool scaled) {
    const __m128i zero = _mm_setzero_si128();
    __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(s, zero)) == 0xFFFF) return;
    __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(out));
    __m128i slo = _mm_unpacklo_epi8(s, zero), shi = _mm_unpackhi_epi8(s, zero);
    if (scaled) {
        slo = divideBy255(_mm_mullo_epi16(slo, alpha));
        shi = divideBy255(_mm_mullo_epi16(shi, alpha));
    }
    __m128i lo = over2(slo, _mm_unpacklo_epi8(d, zero));
    __m128i hi = over2(shi, _mm_unpackhi_epi8(d, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(lo, hi));
}
#endif

#if defined(__x86_64__)
#define WIDE __attribute__((target("avx2")))

WIDE inline __m256i divideBy255x8(__m256i t) {
    t = _mm256_add_epi16(t, _mm256_set1_epi16(128));
    return _mm256_srli_epi16(_mm256_add_epi16(t, _mm256_srli_epi16(t, 8)), 8);
}

WIDE inline __m256i over8(__m256i source, __m256i destination) {
    __m256i alpha = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(source, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
    return _mm256_add_epi16(source,
                            divideBy255x8(_mm256_mullo_epi16(destination, _mm256_sub_epi16(_mm256_set1_epi16(255), alpha))));
}

// Eight pixels at a time where the processor has 256-bit integer vectors; each pixel gets exactly
// the arithmetic of tint4.
WIDE void tintRowsWide(const RasterGlyph& glyph, const GlyphBlitter::Target& target, int x, int y, int x0, int x1,
                       int y0, int y1, uint32_t color) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i color16 = _mm256_unpacklo_epi8(_mm256_set1_epi32(static_cast<int>(color)), zero);
    const bool opaque = (color >> 24) == 255;
    for (int row = y0; row < y1; ++row) {
        const uint8_t* coverage = glyph.pixels.data() + static_cast<size_t>(row - y) * glyph.stride - x;
        uint32_t* out = target.pixels + static_cast<ptrdiff_t>(row) * target.stride;
        int col = x0;
        for (; col + 8 <= x1; col += 8) {
            uint64_t eight;
            std::memcpy(&eight, coverage + col, 8);
            if (eight == 0) continue;
            if (eight == ~uint64_t{0} && opaque) {
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + col), _mm256_set1_epi32(static_cast<int>(color)));
                continue;
            }
            // Each coverage byte four times, pixels 0-3 in the low half and 4-7 in the high one.
            __m128i c = _mm_cvtsi64_si128(static_cast<long long>(eight));
            c = _mm_unpacklo_epi8(c, c);
            const __m256i spread = _mm256_set_m128i(_mm_unpackhi_epi16(c, c), _mm_unpacklo_epi16(c, c));
            const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(out + col));
            const __m256i lo = over8(divideBy255x8(_mm256_mullo_epi16(color16, _mm256_unpacklo_epi8(spread, zero))),
                                     _mm256_unpacklo_epi8(d, zero));
            const __m256i hi = over8(divideBy255x8(_mm256_mullo_epi16(color16, _mm256_unpackhi_epi8(spread, zero))),
                                     _mm256_unpackhi_epi8(d, zero));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + col), _mm256_packus_epi16(lo, hi));
        }
        const __m128i color8 = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(color)), _mm_setzero_si128());
        for (; col + 4 <= x1; col += 4) tint4(coverage + col, out + col, color8);
        for (; col < x1; ++col) {
            uint32_t c = coverage[col];
            if (c == 0) continue;
            out[col] = c == 255 && opaque ? color : over(multiply(color, c), out[col]);
        }
    }
}

// Colour glyphs eight pixels at a time, each with exactly composite4's arithmetic. Runs of clear
// pixels are skipped and runs of opaque ones stored, as compositing them would leave or give.
WIDE void compositeRowsWide(const RasterGlyph& glyph, const GlyphBlitter::Target& target, int x, int y, int x0,
                            int x1, int y0, int y1, uint32_t alpha) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i alpha16 = _mm256_set1_epi16(static_cast<short>(alpha));
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const bool scaled = alpha != 255;
    const __m128i alpha8 = _mm_set1_epi16(static_cast<short>(alpha));
    for (int row = y0; row < y1; ++row) {
        const auto* bgra =
            reinterpret_cast<const uint32_t*>(glyph.pixels.data() + static_cast<size_t>(row - y) * glyph.stride) - x;
        uint32_t* out = target.pixels + static_cast<ptrdiff_t>(row) * target.stride;
        int col = x0;
        for (; col + 8 <= x1; col += 8) {
            const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bgra + col));
            if (_mm256_testz_si256(s, s)) continue;
            if (!scaled && _mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_and_si256(s, opaque), opaque)) == -1) {
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + col), s);
                continue;
            }
            __m256i slo = _mm256_unpacklo_epi8(s, zero), shi = _mm256_unpackhi_epi8(s, zero);
            if (scaled) {
                slo = divideBy255x8(_mm256_mullo_epi16(slo, alpha16));
                shi = divideBy255x8(_mm256_mullo_epi16(shi, alpha16));
            }
            const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(out + col));
            const __m256i lo = over8(slo, _mm256_unpacklo_epi8(d, zero));
            const __m256i hi = over8(shi, _mm256_unpackhi_epi8(d, zero));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + col), _mm256_packus_epi16(lo, hi));
        }
        for (; col + 4 <= x1; col += 4) composite4(bgra + col, out + col, alpha8, scaled);
        for (; col < x1; ++col) {
            uint32_t s = bgra[col];
            if (s == 0) continue;
            if (scaled) s = multiply(s, alpha);
            out[col] = over(s, out[col]);
        }
    }
}

bool hasWideVectors() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#undef WIDE
#endif

}  // namespace

bool GlyphBlitter::wideVectorsAllowed = true;

void GlyphBlitter::blit(const RasterGlyph& glyph, const Target& target, int x, int y, uint32_t color, Box clip) {
    int x0 = std::max({x, clip.x0, 0}), x1 = std::min({x + glyph.width, clip.x1, target.width});
    int y0 = std::max({y, clip.y0, 0}), y1 = std::min({y + glyph.height, clip.y1, target.height});
    if (x0 >= x1 || y0 >= y1 || (color >> 24) == 0) return;
    uint32_t alpha = color >> 24;
#if defined(__x86_64__)
    if (wideVectorsAllowed && hasWideVectors()) {
        if (glyph.color) {
            compositeRowsWide(glyph, target, x, y, x0, x1, y0, y1, alpha);
        } else {
            tintRowsWide(glyph, target, x, y, x0, x1, y0, y1, color);
        }
        return;
    }
#endif
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i color16 = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(color)), zero);
    const __m128i alpha16 = _mm_set1_epi16(static_cast<short>(alpha));
#endif
    for (int row = y0; row < y1; ++row) {
        const uint8_t* source = glyph.pixels.data() + static_cast<size_t>(row - y) * glyph.stride;
        uint32_t* out = target.pixels + static_cast<ptrdiff_t>(row) * target.stride;
        int col = x0;
        if (glyph.color) {
            const auto* bgra = reinterpret_cast<const uint32_t*>(source) - x;
#if defined(__SSE2__)
            for (; col + 4 <= x1; col += 4) composite4(bgra + col, out + col, alpha16, alpha != 255);
#endif
            for (; col < x1; ++col) {
                uint32_t s = bgra[col];
                if (s == 0) continue;
                if (alpha != 255) s = multiply(s, alpha);
                out[col] = over(s, out[col]);
            }
        } else {
            const uint8_t* coverage = source - x;
#if defined(__SSE2__)
            for (; col + 4 <= x1; col += 4) {
                uint32_t four;
                std::memcpy(&four, coverage + col, 4);
                // Solid ink of an opaque colour (shapes that fill their cell) is just stored.
                if (four == 0xFFFFFFFF && alpha == 255) {
                    std::fill_n(out + col, 4, color);
                } else {
                    tint4(coverage + col, out + col, color16);
                }
            }
#endif
            for (; col < x1; ++col) {
                uint32_t c = coverage[col];
                if (c == 0) continue;
                out[col] = c == 255 && alpha == 255 ? color : over(multiply(color, c), out[col]);
            }
        }
    }
}

}  // namespace platform::gfx
