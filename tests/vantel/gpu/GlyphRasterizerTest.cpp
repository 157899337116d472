#include "vantel/gpu/GlyphRasterizer.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vantel;
using platform::gfx::Font;
using platform::gfx::Rect;

TEST(GlyphRasterizer, PixelBoxRoundsTheInkOutward) {
    struct Case {
        Rect ink;
        GlyphRasterizer::PixelBox box;
    } cases[] = {
        {{-0.3, 0, 5.5, 1}, {-1, 0, 7, 1}},  // x from -0.3 to 5.2
        {{0, 0, 7, 10}, {0, 0, 7, 10}},
        {{1.5, -2.25, 3, 4}, {1, -3, 4, 5}},
        {{std::nan(""), 0, 1, 1}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(GlyphRasterizer::pixelBox(c.ink), c.box) << c.ink.x;
}

TEST(GlyphRasterizer, ColourIsAnyPixelWithUnequalChannels) {
    EXPECT_FALSE(GlyphRasterizer::hasColor({}));
    EXPECT_FALSE(GlyphRasterizer::hasColor({7, 7, 7, 200, 0, 0, 0, 0}));
    EXPECT_TRUE(GlyphRasterizer::hasColor({7, 7, 7, 200, 0, 1, 0, 255}));
    EXPECT_TRUE(GlyphRasterizer::hasColor({9, 7, 7, 9}));
}

// Unhinted, the bitmap is the ink box rounded out; grey glyphs are white with coverage as alpha.
TEST(GlyphRasterizer, GreyGlyphsAreWhiteAndCroppedToTheirInk) {
    auto font = Font::create("monospace", 23.7);
    GlyphRasterizer rasterizer;
    rasterizer.fontSmoothing = false;
    for (char32_t c : {U'A', U'g', U'W', U'j', U'@', U'_'}) {
        uint16_t glyph = static_cast<uint16_t>(font->glyphIndex(c));
        std::optional<GlyphBitmap> bitmap = rasterizer.rasterize(*font, glyph);
        ASSERT_TRUE(bitmap);
        GlyphRasterizer::PixelBox box = GlyphRasterizer::pixelBox(font->inkBounds(glyph));
        EXPECT_EQ((GlyphRasterizer::PixelBox{bitmap->bearingX, bitmap->bearingY, bitmap->width, bitmap->height}), box)
            << static_cast<char>(c);
        EXPECT_FALSE(bitmap->isColor);
        ASSERT_EQ(bitmap->pixels.size(), static_cast<size_t>(bitmap->width * bitmap->height * 4));
        for (size_t i = 0; i < bitmap->pixels.size(); i += 4) ASSERT_EQ(bitmap->pixels[i], bitmap->pixels[i + 3]);
        EXPECT_EQ(rasterizer.rasterize(*font, glyph)->pixels, bitmap->pixels);
    }
}

// Smoothing hints lightly but stays grayscale: LCD output would tint grey glyphs and make them
// pass for colour.
TEST(GlyphRasterizer, SmoothedGlyphsStayGrey) {
    auto font = Font::create("monospace", 13);
    GlyphRasterizer smooth, plain;
    plain.fontSmoothing = false;
    bool differ = false;
    for (char32_t c = '!'; c <= '~'; ++c) {
        uint16_t glyph = static_cast<uint16_t>(font->glyphIndex(c));
        std::optional<GlyphBitmap> bitmap = smooth.rasterize(*font, glyph);
        ASSERT_TRUE(bitmap);
        EXPECT_FALSE(bitmap->isColor) << static_cast<char>(c);
        EXPECT_FALSE(GlyphRasterizer::hasColor(bitmap->pixels)) << static_cast<char>(c);
        differ = differ || bitmap->pixels != plain.rasterize(*font, glyph)->pixels;
    }
    EXPECT_TRUE(differ);  // the hinting shows somewhere
}

TEST(GlyphRasterizer, NothingWithoutInkOrBeyondTheLimit) {
    GlyphRasterizer rasterizer;
    auto font = Font::systemFont();
    EXPECT_FALSE(rasterizer.rasterize(*font, static_cast<uint16_t>(font->glyphIndex(' '))));
    auto huge = Font::create("monospace", 7000);
    EXPECT_FALSE(rasterizer.rasterize(*huge, static_cast<uint16_t>(huge->glyphIndex('W'))));
    auto emoji = Font::create("emoji", 26);
    std::optional<GlyphBitmap> smile = rasterizer.rasterize(*emoji, static_cast<uint16_t>(emoji->glyphIndex(0x1F600)));
    ASSERT_TRUE(smile);
    EXPECT_TRUE(smile->isColor);
}

// Colour glyphs whose pixels are all greys still come from the colour table: they keep their own
// colours, whatever the text colour.
TEST(GlyphRasterizer, GreyColourGlyphsAreColourGlyphs) {
    GlyphRasterizer rasterizer;
    auto emoji = Font::create("emoji", 26);
    for (char32_t c : {U'\U0001F5A4', U'\u2B1B', U'\u26AB', U'\u26AA', U'\U0001F90D', U'\U0001F3F4'}) {
        std::optional<GlyphBitmap> bitmap = rasterizer.rasterize(*emoji, static_cast<uint16_t>(emoji->glyphIndex(c)));
        ASSERT_TRUE(bitmap) << std::hex << static_cast<uint32_t>(c);
        EXPECT_TRUE(bitmap->isColor) << std::hex << static_cast<uint32_t>(c);
    }
}
