#include "platform/gfx/RasterGlyph.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/gfx/FontFace.h"

#include FT_BITMAP_H
#include FT_OUTLINE_H

namespace platform::gfx {

namespace {

int strideFor(int width, bool color) { return color ? width * 4 : (width + 3) & ~3; }

// Copies FreeType's bitmap (gray, mono or BGRA) into a glyph with Cairo-friendly rows.
RasterGlyph copyBitmap(FT_GlyphSlot slot) {
    RasterGlyph out;
    FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.width == 0 || bitmap.rows == 0 || bitmap.pitch < 0) return out;
    FT_Bitmap converted;
    FT_Bitmap_Init(&converted);
    const FT_Bitmap* source = &bitmap;
    int levels = 255;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.pixel_mode != FT_PIXEL_MODE_BGRA) {
        if (FT_Bitmap_Convert(freeTypeLibrary(), &bitmap, &converted, 1) != 0) return out;
        source = &converted;
        levels = std::max(1, converted.num_grays - 1);
    } else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
        levels = std::max(1, bitmap.num_grays - 1);
    }
    out.color = source->pixel_mode == FT_PIXEL_MODE_BGRA;
    out.width = static_cast<int>(source->width);
    out.height = static_cast<int>(source->rows);
    out.left = slot->bitmap_left;
    out.top = slot->bitmap_top;
    out.stride = strideFor(out.width, out.color);
    out.pixels.assign(static_cast<size_t>(out.stride) * static_cast<size_t>(out.height), 0);
    size_t rowBytes = static_cast<size_t>(out.width) * (out.color ? 4 : 1);
    for (int y = 0; y < out.height; ++y) {
        const uint8_t* from = source->buffer + static_cast<ptrdiff_t>(y) * source->pitch;
        uint8_t* to = out.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(out.stride);
        if (out.color || levels == 255) {
            std::copy(from, from + rowBytes, to);
        } else {
            for (size_t x = 0; x < rowBytes; ++x) to[x] = static_cast<uint8_t>(std::min(255, from[x] * 255 / levels));
        }
    }
    FT_Bitmap_Done(freeTypeLibrary(), &converted);
    return out;
}

std::optional<RasterGlyph> renderOutline(FontFace& face, uint32_t glyph, double sizeX, double sizeY, bool smoothing) {
    if (face.applySize(sizeX, sizeY) < 0) return std::nullopt;
    FT_Int32 flags = smoothing ? FT_LOAD_TARGET_LIGHT : FT_LOAD_NO_HINTING;
    flags |= face.color ? FT_LOAD_COLOR : FT_LOAD_NO_BITMAP;
    if (FT_Load_Glyph(face.ft, glyph, flags) != 0) return RasterGlyph{};
    FT_GlyphSlot slot = face.ft->glyph;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (slot->outline.n_points == 0) return RasterGlyph{};
        face.synthesize(slot->outline, sizeY);
        FT_BBox box;
        FT_Outline_Get_CBox(&slot->outline, &box);
        // The bitmap FreeType would allocate: the box rounded out to whole pixels.
        if (((box.xMax + 63) >> 6) - (box.xMin >> 6) > RasterGlyph::maxSide ||
            ((box.yMax + 63) >> 6) - (box.yMin >> 6) > RasterGlyph::maxSide) {
            return std::nullopt;
        }
        if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return RasterGlyph{};
    }
    return copyBitmap(slot);
}

std::optional<RasterGlyph> renderFromStrike(FontFace& face, uint32_t glyph, double sizeX, double sizeY) {
    double strike = face.applySize(sizeX, sizeY);
    if (strike <= 0) return std::nullopt;
    if (FT_Load_Glyph(face.ft, glyph, FT_LOAD_COLOR) != 0 || face.ft->glyph->format != FT_GLYPH_FORMAT_BITMAP) {
        return RasterGlyph{};
    }
    double strikeX = face.ft->size->metrics.x_ppem > 0 ? face.ft->size->metrics.x_ppem : strike;
    double fx = sizeX / strikeX, fy = sizeY / strike;
    const FT_Bitmap& bitmap = face.ft->glyph->bitmap;
    double width = std::ceil(bitmap.width * fx - 1e-6), height = std::ceil(bitmap.rows * fy - 1e-6);
    if (width > RasterGlyph::maxSide || height > RasterGlyph::maxSide) return std::nullopt;
    RasterGlyph source = copyBitmap(face.ft->glyph);
    if (source.width == 0 || width < 1 || height < 1) return RasterGlyph{};
    // The box starts at the scaled corner, rounded, and is as tall as the scaled bitmap: a 128 px
    // strike at 109 ppem drawn at 13 ppem stays within 16 rows.
    RasterGlyph out = RasterGlyph::resample(source, fx, fy, static_cast<int>(width), static_cast<int>(height));
    out.left = static_cast<int>(std::lround(source.left * fx));
    out.top = static_cast<int>(std::lround(source.top * fy));
    return out;
}

}  // namespace

RasterGlyph RasterGlyph::resample(const RasterGlyph& source, double fx, double fy, int width, int height) {
    RasterGlyph out;
    out.color = source.color;
    out.width = width;
    out.height = height;
    out.stride = strideFor(width, out.color);
    out.pixels.assign(static_cast<size_t>(out.stride) * static_cast<size_t>(height), 0);
    int channels = source.color ? 4 : 1;
    // Horizontal pass into floats, then the vertical pass. The source columns under each output
    // column and their weights are worked out once, and the source read row by row.
    struct Tap {
        int sx;
        float weight;
    };
    std::vector<Tap> taps;
    std::vector<size_t> firstTap(static_cast<size_t>(width) + 1, 0);
    for (int x = 0; x < width; ++x) {
        double from = x / fx, to = (x + 1) / fx;
        for (int sx = static_cast<int>(from); sx < source.width && sx < to; ++sx) {
            auto weight = static_cast<float>((std::min<double>(sx + 1, to) - std::max<double>(sx, from)) * fx);
            if (weight > 0) taps.push_back({sx, weight});
        }
        firstTap[static_cast<size_t>(x) + 1] = taps.size();
    }
    std::vector<float> columns(static_cast<size_t>(source.height) * static_cast<size_t>(width) * channels, 0.f);
    // Sums kept in registers, added in the same order as ever, so the floats are the same.
    auto horizontal = [&]<int n>() {
        for (int y = 0; y < source.height; ++y) {
            const uint8_t* line = &source.pixels[static_cast<size_t>(y) * source.stride];
            float* q = &columns[static_cast<size_t>(y) * width * n];
            for (int x = 0; x < width; ++x, q += n) {
                float sum[n] = {};
                for (size_t t = firstTap[static_cast<size_t>(x)]; t < firstTap[static_cast<size_t>(x) + 1]; ++t) {
                    const uint8_t* p = line + static_cast<size_t>(taps[t].sx) * n;
                    for (int c = 0; c < n; ++c) sum[c] += taps[t].weight * p[c];
                }
                for (int c = 0; c < n; ++c) q[c] = sum[c];
            }
        }
    };
    if (channels == 4) {
#if defined(__SSE2__)
        // The four channels of a pixel side by side: the same products and sums, lane by lane.
        const __m128i zero = _mm_setzero_si128();
        for (int y = 0; y < source.height; ++y) {
            const uint8_t* line = &source.pixels[static_cast<size_t>(y) * source.stride];
            float* q = &columns[static_cast<size_t>(y) * width * 4];
            for (int x = 0; x < width; ++x, q += 4) {
                __m128 sum = _mm_setzero_ps();
                for (size_t t = firstTap[static_cast<size_t>(x)]; t < firstTap[static_cast<size_t>(x) + 1]; ++t) {
                    int32_t pixel;
                    std::memcpy(&pixel, line + static_cast<size_t>(taps[t].sx) * 4, 4);
                    __m128i wide = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(pixel), zero), zero);
                    sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(taps[t].weight), _mm_cvtepi32_ps(wide)));
                }
                _mm_storeu_ps(q, sum);
            }
        }
#else
        horizontal.template operator()<4>();
#endif
    } else {
        horizontal.template operator()<1>();
    }
    for (int y = 0; y < height; ++y) {
        double from = y / fy, to = (y + 1) / fy;
        uint8_t* row = out.pixels.data() + static_cast<size_t>(y) * out.stride;
        for (int sy = static_cast<int>(from); sy < source.height && sy < to; ++sy) {
            auto weight = static_cast<float>((std::min<double>(sy + 1, to) - std::max<double>(sy, from)) * fy);
            if (weight <= 0) continue;
            const float* q = &columns[static_cast<size_t>(sy) * width * channels];
            for (int i = 0; i < width * channels; ++i) {
                float v = row[i] + weight * q[i];
                row[i] = static_cast<uint8_t>(std::min(255.f, v + 0.5f));
            }
        }
    }
    return out;
}

std::optional<RasterGlyph> RasterGlyph::render(const Font& font, uint32_t glyph, double sizeX, double sizeY,
                                               bool smoothing) {
    if (!(sizeX > 0 && sizeY > 0 && sizeX <= 65535 && sizeY <= 65535)) return std::nullopt;
    FontFace& face = font.face();
    if (glyph >= static_cast<uint32_t>(face.ft->num_glyphs)) return RasterGlyph{};
    return face.scalable ? renderOutline(face, glyph, sizeX, sizeY, smoothing)
                         : renderFromStrike(face, glyph, sizeX, sizeY);
}

}  // namespace platform::gfx
