#include "platform/gfx/Font.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/gfx/FontFace.h"

#include FT_OUTLINE_H

using namespace platform::gfx;

// DejaVu Sans Mono: 2048 units per em, hhea 1901 / -483 / 0, post underline -40 / 90, "W" 1233
// wide, no OS/2 x-height ("x" is 1120 high).
TEST(Font, MetricsOfTheSystemFontAreUnhintedAndInPoints) {
    FontRef font = Font::create("monospace", 12);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->family(), "DejaVu Sans Mono");
    double unit = 12.0 / 2048;
    EXPECT_DOUBLE_EQ(font->ascent(), 1901 * unit);
    EXPECT_DOUBLE_EQ(font->descent(), 483 * unit);
    EXPECT_DOUBLE_EQ(font->leading(), 0);
    EXPECT_NEAR(font->advance(font->glyphIndex('W')), 7.2246, 1e-4);
    EXPECT_DOUBLE_EQ(font->underlinePosition(), -40 * unit);
    EXPECT_DOUBLE_EQ(font->underlineThickness(), 90 * unit);
    EXPECT_NEAR(font->xHeight(), 1120 * unit, 1.0 / 64);
    EXPECT_TRUE(font->inkBounds(font->glyphIndex(' ')).isEmpty());
    EXPECT_EQ(Font::systemFont()->size(), 13);
    EXPECT_EQ(Font::systemFont()->family(), "DejaVu Sans Mono");
}

TEST(Font, TraitsComeFromFontconfigElseTheyAreSynthesised) {
    struct Case {
        FontTraits traits;
        const char* file;
        bool sheared;
    } cases[] = {{{false, false}, "/DejaVuSansMono.ttf", false},
                 {{true, false}, "/DejaVuSansMono-Bold.ttf", false},
                 {{false, true}, "/DejaVuSansMono.ttf", true},
                 {{true, true}, "/DejaVuSansMono-Bold.ttf", true}};
    FontRef base = Font::systemFont(13);
    for (const Case& c : cases) {
        FontRef font = base->withTraits(c.traits);
        EXPECT_TRUE(font->filePath().ends_with(c.file)) << font->filePath();
        EXPECT_EQ(font->sheared(), c.sheared);
        EXPECT_FALSE(font->emboldened());
        EXPECT_EQ(font->size(), 13);
    }
    // The test fonts all have bold faces, so emboldening is checked on the regular face asked for bold.
    FcPattern* regular = FcPatternBuild(nullptr, FC_FILE, FcTypeString, base->filePath().c_str(), nullptr);
    auto face = FontFace::open(regular, nullptr, 13, FontTraits{true, false});
    FcPatternDestroy(regular);
    ASSERT_TRUE(face && face->emboldened);
    face->applySize(13, 13);
    ASSERT_EQ(FT_Load_Glyph(face->ft, base->glyphIndex('l'), FT_LOAD_NO_HINTING), 0);
    face->synthesize(face->ft->glyph->outline, 13);
    FT_BBox box;
    FT_Outline_Get_CBox(&face->ft->glyph->outline, &box);
    EXPECT_NEAR((box.xMax - box.xMin) / 64.0 - base->inkBounds(base->glyphIndex('l')).width, 13.0 / 24, 0.05);
}

TEST(Font, UnusableSizesBecomeTheDefault) {
    double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double size, expected;
    } cases[] = {{std::nan(""), 13}, {inf, 13}, {-inf, 13}, {0, 13}, {-2, 13}, {1e9, Font::maxSize}, {0.5, 0.5}};
    for (const Case& c : cases) EXPECT_EQ(Font::create("monospace", c.size)->size(), c.expected) << c.size;
}

TEST(Font, ColourStrikeMetricsAreScaledToTheSize) {
    FontRef emoji = Font::create("emoji", 13);
    EXPECT_TRUE(emoji->isColor());
    uint32_t g = emoji->glyphIndex(0x1F600);
    EXPECT_NEAR(emoji->inkBounds(g).height, 128 * 13.0 / 109, 0.01);
    EXPECT_NEAR(emoji->advance(g), 2550 * 13.0 / 2048, 1e-9);  // hmtx, not the strike
}
