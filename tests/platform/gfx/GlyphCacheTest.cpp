#include "platform/gfx/GlyphCache.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <tuple>

#include "platform/gfx/GlyphBlitter.h"
#include "platform/gfx/RasterGlyph.h"
#include "platform/gfx/Rgba.h"

using namespace platform::gfx;

TEST(GlyphCache, RendersAGlyphOncePerFontDeviceSizeAndSmoothing) {
    GlyphCache cache;
    FontRef font = Font::systemFont(13);
    uint32_t g = font->glyphIndex('g');
    const RasterGlyph* first = cache.lookup(*font, g, 13, 13, true);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(cache.lookup(*font, g, 13, 13, true), first);
    EXPECT_EQ(cache.count(), 1u);
    const RasterGlyph* wide = cache.lookup(*font, g, 26, 13, true);
    cache.lookup(*font, g, 26, 26, true);
    cache.lookup(*font, g, 13, 13, false);
    // An equal font (another view's) draws the same glyph: it is rendered once for both.
    EXPECT_EQ(cache.lookup(*font->withSize(13), g, 13, 13, true), first);
    EXPECT_EQ(cache.count(), 4u);
    EXPECT_GT(wide->width, first->width * 3 / 2);
    EXPECT_EQ(wide->height, first->height);
}

TEST(GlyphCache, KeepsEmptyGlyphsAndRefusesHugeOnes) {
    GlyphCache cache;
    FontRef font = Font::systemFont(13);
    const RasterGlyph* space = cache.lookup(*font, font->glyphIndex(' '), 13, 13, true);
    ASSERT_NE(space, nullptr);
    EXPECT_EQ(space->width, 0);
    EXPECT_EQ(cache.lookup(*font, font->glyphIndex('W'), 6000, 6000, true), nullptr);
    EXPECT_EQ(cache.lookup(*font, font->glyphIndex('W'), std::nan(""), 13, true), nullptr);
    EXPECT_EQ(cache.count(), 1u);
}

TEST(GlyphCache, EmptiesWholesaleWhenFull) {
    GlyphCache cache(4000);
    FontRef font = Font::systemFont(13);
    size_t most = 0;
    for (char c = 'A'; c <= 'Z'; ++c) {
        cache.lookup(*font, font->glyphIndex(c), 30, 30, true);
        most = std::max(most, cache.count());
        EXPECT_LE(cache.byteCount(), 4000u);
    }
    EXPECT_GT(most, 3u);
    EXPECT_LT(cache.count(), most);
}

// Fonts made apart share rendered glyphs only where they would render them alike: the same face
// file and the same synthesis, whatever their point size (the device size is in the key).
TEST(GlyphCache, FontsShareRenderedGlyphsOnlyWhenTheyDrawAlike) {
    struct Case {
        const char* name;
        FontRef (*other)();
        char32_t character;
        bool shared;
    };
    const Case cases[] = {
        {"the same request again", [] { return Font::systemFont(13); }, 'g', true},
        {"another point size", [] { return Font::systemFont(20); }, 'g', true},
        {"the bold face's own file", [] { return Font::systemFont(13)->withTraits({.bold = true}); }, 'g', false},
        {"a slanted regular face", [] { return Font::systemFont(13)->withTraits({.italic = true}); }, 'g', false},
        {"another family", [] { return Font::create("sans-serif", 13); }, 'g', false},
        {"an emoji font made twice", [] { return Font::create("emoji", 13); }, U'\U0001F600', true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GlyphCache cache;
        FontRef first = c.character == 'g' ? Font::systemFont(13) : Font::create("emoji", 13);
        FontRef other = c.other();
        ASSERT_TRUE(first && other);
        const uint32_t g = first->glyphIndex(c.character);
        const RasterGlyph* mine = cache.lookup(*first, g, 26, 26, true);
        ASSERT_NE(mine, nullptr);
        const RasterGlyph copy = *mine;
        const RasterGlyph* theirs = cache.lookup(*other, other->glyphIndex(c.character), 26, 26, true);
        ASSERT_NE(theirs, nullptr);
        EXPECT_EQ(cache.count(), c.shared ? 1u : 2u);
        EXPECT_EQ(first->rasterId() == other->rasterId(), c.shared);
        // What is shared is what the other font renders by itself.
        std::optional<RasterGlyph> own = RasterGlyph::render(*other, other->glyphIndex(c.character), 26, 26, true);
        ASSERT_TRUE(own);
        EXPECT_EQ(own->pixels, theirs->pixels);
        EXPECT_EQ(std::tie(own->width, own->height, own->left, own->top),
                  std::tie(theirs->width, theirs->height, theirs->left, theirs->top));
        if (!c.shared) {
            EXPECT_NE(copy.pixels, theirs->pixels);
        }
    }
}

// The only strike of Noto Color Emoji is 128 px high at 109 ppem; it is scaled to the size.
TEST(GlyphCache, ColourEmojiAreScaledFromTheirStrike) {
    GlyphCache cache;
    FontRef emoji = Font::create("emoji", 13);
    for (double scale : {1.0, 2.0}) {
        const RasterGlyph* g = cache.lookup(*emoji, emoji->glyphIndex(0x1F600), 13 * scale, 13 * scale, true);
        ASSERT_NE(g, nullptr);
        EXPECT_TRUE(g->color);
        EXPECT_LE(g->height, 16 * scale);
        EXPECT_GE(g->height, 15 * scale);
    }
}

namespace {

struct BlitCase {
    const char* name;
    const char* family;
    char32_t character;
    Rgba color;
    uint32_t background;
    friend void PrintTo(const BlitCase& c, std::ostream* os) { *os << c.name; }
};

class GlyphBlit : public ::testing::TestWithParam<BlitCase> {};

}  // namespace

// The direct blit gives what Cairo's own composite of the same bitmap gives, within one level.
TEST_P(GlyphBlit, EqualsCairosComposite) {
    const BlitCase& p = GetParam();
    FontRef font = Font::create(p.family, 20);
    std::optional<RasterGlyph> glyph = RasterGlyph::render(*font, font->glyphIndex(p.character), 20, 20, true);
    ASSERT_TRUE(glyph && glyph->width > 0);
    cairo_surface_t* ours = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 40, 40);
    cairo_surface_t* theirs = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 40, 40);
    for (cairo_surface_t* s : {ours, theirs}) {
        auto* px = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s));
        std::fill(px, px + 40 * 40, p.background);
        cairo_surface_mark_dirty(s);
    }
    GlyphBlitter::blit(*glyph, {reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(ours)), 40, 40, 40}, 3, 4,
                       p.color.premultipliedArgb(), {0, 0, 40, 40});
    cairo_t* cr = cairo_create(theirs);
    cairo_surface_t* mask = cairo_image_surface_create_for_data(
        glyph->pixels.data(), glyph->color ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_A8, glyph->width, glyph->height, glyph->stride);
    if (glyph->color) {
        cairo_set_source_surface(cr, mask, 3, 4);
        cairo_paint_with_alpha(cr, p.color.alpha);
    } else {
        cairo_set_source_rgba(cr, p.color.red, p.color.green, p.color.blue, p.color.alpha);
        cairo_mask_surface(cr, mask, 3, 4);
    }
    cairo_surface_flush(theirs);
    const uint8_t* a = cairo_image_surface_get_data(ours);
    const uint8_t* b = cairo_image_surface_get_data(theirs);
    for (int i = 0; i < 40 * 40 * 4; ++i) ASSERT_LE(std::abs(a[i] - b[i]), 1) << "byte " << i;
    cairo_destroy(cr);
    for (cairo_surface_t* s : {ours, theirs, mask}) cairo_surface_destroy(s);
}

INSTANTIATE_TEST_SUITE_P(
    Table, GlyphBlit,
    ::testing::Values(BlitCase{"opaqueOnClear", "monospace", 'g', {1, 1, 1, 1}, 0},
                      BlitCase{"opaqueOnDark", "monospace", '@', {0.9, 0.6, 0.1, 1}, 0xFF202830},
                      BlitCase{"translucentOnTranslucent", "monospace", 'W', {1, 0, 0, 0.5}, 0x80402010},
                      BlitCase{"emoji", "emoji", 0x1F680, {0, 0, 0, 1}, 0xFF336699},
                      BlitCase{"translucentEmoji", "emoji", 0x1F600, {0, 0, 0, 0.3}, 0x80100800}),
    [](const auto& info) { return std::string(info.param.name); });

// Eight pixels at a time or four, the blit is the same to the bit: masks of every width and
// offset, runs of empty and solid coverage, opaque and translucent colours, clipped edges.
TEST(GlyphBlit, WideVectorsGiveTheSameBits) {
    uint64_t state = 7;
    auto next = [&] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state >> 33);
    };
    for (int round = 0; round < 300; ++round) {
        RasterGlyph glyph;
        glyph.width = 1 + static_cast<int>(next() % 37);
        glyph.height = 1 + static_cast<int>(next() % 9);
        glyph.stride = glyph.width + static_cast<int>(next() % 4);
        glyph.pixels.resize(static_cast<size_t>(glyph.stride) * glyph.height);
        for (auto& c : glyph.pixels) {
            const uint32_t kind = next() % 4;
            c = static_cast<uint8_t>(kind == 0 ? 0 : kind == 1 ? 255 : next());
        }
        const uint32_t alpha = next() % 3 == 0 ? next() % 256 : 255;
        auto channel = [&] { return alpha ? next() % (alpha + 1) : 0; };
        const uint32_t color = alpha << 24 | channel() << 16 | channel() << 8 | channel();
        const int x = static_cast<int>(next() % 40) - 4, y = static_cast<int>(next() % 12) - 2;
        const GlyphBlitter::Box clip{static_cast<int>(next() % 6), 0, 40 - static_cast<int>(next() % 6), 12};
        std::vector<uint32_t> background(40 * 12);
        for (auto& p : background) {
            const uint32_t a = next() % 256;
            p = a << 24 | (next() % (a + 1)) << 16 | (next() % (a + 1)) << 8 | (next() % (a + 1));
        }
        std::vector<uint32_t> wide = background, narrow = background;
        GlyphBlitter::wideVectorsAllowed = true;
        GlyphBlitter::blit(glyph, {wide.data(), 40, 40, 12}, x, y, color, clip);
        GlyphBlitter::wideVectorsAllowed = false;
        GlyphBlitter::blit(glyph, {narrow.data(), 40, 40, 12}, x, y, color, clip);
        GlyphBlitter::wideVectorsAllowed = true;
        ASSERT_EQ(wide, narrow) << "round " << round;
    }
}

// Colour glyphs too: premultiplied pixels in runs of clear, opaque and translucent ones, drawn
// at full and at partial opacity, at every offset and clip, give the same bits both ways.
TEST(GlyphBlit, WideVectorsGiveTheSameBitsForColourGlyphs) {
    uint64_t state = 11;
    auto next = [&] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state >> 33);
    };
    auto premultiplied = [&](uint32_t a) {
        return a << 24 | (next() % (a + 1)) << 16 | (next() % (a + 1)) << 8 | (next() % (a + 1));
    };
    for (int round = 0; round < 400; ++round) {
        RasterGlyph glyph;
        glyph.color = true;
        glyph.width = 1 + static_cast<int>(next() % 37);
        glyph.height = 1 + static_cast<int>(next() % 9);
        glyph.stride = (glyph.width + static_cast<int>(next() % 3)) * 4;
        glyph.pixels.resize(static_cast<size_t>(glyph.stride) * glyph.height);
        auto* pixels = reinterpret_cast<uint32_t*>(glyph.pixels.data());
        // Runs, so that whole groups of eight are clear or opaque now and then.
        for (size_t i = 0; i < glyph.pixels.size() / 4;) {
            const uint32_t kind = next() % 3, run = 1 + next() % 12;
            for (uint32_t k = 0; k < run && i < glyph.pixels.size() / 4; ++k, ++i) {
                pixels[i] = kind == 0 ? 0 : kind == 1 ? premultiplied(255) : premultiplied(next() % 256);
            }
        }
        const uint32_t alpha = next() % 2 == 0 ? 255 : next() % 256;
        const int x = static_cast<int>(next() % 40) - 4, y = static_cast<int>(next() % 12) - 2;
        const GlyphBlitter::Box clip{static_cast<int>(next() % 6), 0, 40 - static_cast<int>(next() % 6), 12};
        std::vector<uint32_t> background(40 * 12);
        for (auto& p : background) p = premultiplied(next() % 256);
        std::vector<uint32_t> wide = background, narrow = background;
        const uint32_t color = alpha << 24;
        GlyphBlitter::wideVectorsAllowed = true;
        GlyphBlitter::blit(glyph, {wide.data(), 40, 40, 12}, x, y, color, clip);
        GlyphBlitter::wideVectorsAllowed = false;
        GlyphBlitter::blit(glyph, {narrow.data(), 40, 40, 12}, x, y, color, clip);
        GlyphBlitter::wideVectorsAllowed = true;
        ASSERT_EQ(wide, narrow) << "round " << round << " alpha " << alpha;
    }
}

namespace {

// Strike scaling as it was first written: column by column over every source row, each sum kept
// in memory. The one in use must give the same bytes.
RasterGlyph resampledColumnByColumn(const RasterGlyph& source, double fx, double fy, int width, int height) {
    RasterGlyph out;
    out.color = source.color;
    out.width = width;
    out.height = height;
    out.stride = source.color ? width * 4 : (width + 3) & ~3;
    out.pixels.assign(static_cast<size_t>(out.stride) * height, 0);
    const int channels = source.color ? 4 : 1;
    std::vector<float> columns(static_cast<size_t>(source.height) * width * channels, 0.f);
    for (int x = 0; x < width; ++x) {
        double from = x / fx, to = (x + 1) / fx;
        for (int sx = static_cast<int>(from); sx < source.width && sx < to; ++sx) {
            auto weight = static_cast<float>((std::min<double>(sx + 1, to) - std::max<double>(sx, from)) * fx);
            if (weight <= 0) continue;
            for (int y = 0; y < source.height; ++y) {
                const uint8_t* p = &source.pixels[static_cast<size_t>(y) * source.stride + static_cast<size_t>(sx) * channels];
                float* q = &columns[(static_cast<size_t>(y) * width + x) * channels];
                for (int c = 0; c < channels; ++c) q[c] += weight * p[c];
            }
        }
    }
    for (int y = 0; y < height; ++y) {
        double from = y / fy, to = (y + 1) / fy;
        uint8_t* row = out.pixels.data() + static_cast<size_t>(y) * out.stride;
        for (int sy = static_cast<int>(from); sy < source.height && sy < to; ++sy) {
            auto weight = static_cast<float>((std::min<double>(sy + 1, to) - std::max<double>(sy, from)) * fy);
            if (weight <= 0) continue;
            const float* q = &columns[static_cast<size_t>(sy) * width * channels];
            for (int i = 0; i < width * channels; ++i) row[i] = static_cast<uint8_t>(std::min(255.f, row[i] + weight * q[i] + 0.5f));
        }
    }
    return out;
}

}  // namespace

// Colour strikes (136 × 128 at 109 ppem) and grey bitmaps scaled down to terminal sizes, up, and
// by odd factors: the same bytes as the first way of doing it.
TEST(RasterGlyph, ResamplingGivesTheSameBytesAsColumnByColumn) {
    struct Case {
        const char* what;
        bool color;
        int width, height;
        double fx, fy;
    } cases[] = {
        {"emoji strike to 13 px", true, 136, 128, 13.0 / 109, 13.0 / 109},
        {"emoji strike to 26 px", true, 136, 128, 26.0 / 109, 26.0 / 109},
        {"emoji strike, wide slot", true, 136, 128, 31.5 / 109, 26.0 / 109},
        {"odd sizes", true, 37, 23, 0.37, 0.61},
        {"enlarged", true, 9, 7, 2.5, 1.75},
        {"unscaled", true, 12, 5, 1.0, 1.0},
        {"grey", false, 41, 33, 0.3, 0.45},
        {"grey enlarged", false, 5, 6, 3.2, 2.0},
    };
    uint64_t state = 5;
    auto next = [&] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state >> 33);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RasterGlyph source;
        source.color = c.color;
        source.width = c.width;
        source.height = c.height;
        source.stride = c.color ? c.width * 4 : (c.width + 3) & ~3;
        source.pixels.resize(static_cast<size_t>(source.stride) * c.height);
        for (auto& b : source.pixels) b = static_cast<uint8_t>(next() % 3 == 0 ? 0 : next() % 3 == 0 ? 255 : next());
        const int width = static_cast<int>(std::ceil(c.width * c.fx - 1e-6));
        const int height = static_cast<int>(std::ceil(c.height * c.fy - 1e-6));
        const RasterGlyph ours = RasterGlyph::resample(source, c.fx, c.fy, width, height);
        const RasterGlyph first = resampledColumnByColumn(source, c.fx, c.fy, width, height);
        EXPECT_EQ(ours.width, first.width);
        EXPECT_EQ(ours.height, first.height);
        EXPECT_EQ(ours.stride, first.stride);
        EXPECT_EQ(ours.pixels, first.pixels);
    }
}
