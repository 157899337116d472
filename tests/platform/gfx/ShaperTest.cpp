#include "platform/gfx/Shaper.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/gfx/Canvas.h"
#include "support/CanvasInk.h"

using namespace platform::gfx;

namespace {

struct FallbackCase {
    const char* name;
    std::u16string text;
    const char* family;
    friend void PrintTo(const FallbackCase& c, std::ostream* os) { *os << c.name; }
};

class Fallback : public ::testing::TestWithParam<FallbackCase> {};

}  // namespace

TEST_P(Fallback, PicksTheFontOfTheCluster) {
    ShapedText shaped = Shaper::shape(GetParam().text, Font::systemFont(13));
    ASSERT_EQ(shaped.runs.size(), 1u);
    EXPECT_EQ(shaped.runs[0].font->family(), GetParam().family);
    EXPECT_EQ(shaped.runs[0].length, GetParam().text.size());
    // Without a font for it, the base's missing-glyph box is drawn.
    EXPECT_EQ(shaped.runs[0].glyphs[0].glyph == 0, GetParam().text == u"\u4E00");
}

INSTANTIATE_TEST_SUITE_P(
    Table, Fallback,
    ::testing::Values(FallbackCase{"latin", u"A", "DejaVu Sans Mono"},
                      FallbackCase{"hebrew", u"\u05D0", "DejaVu Sans"},
                      // DejaVu has both, but emoji presentation prefers a colour font.
                      FallbackCase{"emojiPresentation", u"\U0001F600", "Noto Color Emoji"},
                      FallbackCase{"emojiSelector", u"\u2764\uFE0F", "Noto Color Emoji"},
                      FallbackCase{"textSelector", u"\u263A\uFE0E", "DejaVu Sans Mono"},
                      FallbackCase{"noFont", u"\u4E00", "DejaVu Sans Mono"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Shaper, RunsSplitWhereTheFontChangesAndCountUtf16Units) {
    ShapedText shaped = Shaper::shape(u"ab\u05D0\U0001F600cd", Font::systemFont(13));
    struct Expected {
        const char* family;
        uint32_t start, length, firstCluster;
    } expected[] = {{"DejaVu Sans Mono", 0, 2, 0}, {"DejaVu Sans", 2, 1, 2}, {"Noto Color Emoji", 3, 2, 3},
                    {"DejaVu Sans Mono", 5, 2, 5}};
    ASSERT_EQ(shaped.runs.size(), 4u);
    double x = 0;
    for (size_t i = 0; i < 4; ++i) {
        const GlyphRun& run = shaped.runs[i];
        EXPECT_EQ(run.font->family(), expected[i].family);
        EXPECT_EQ(run.start, expected[i].start);
        EXPECT_EQ(run.length, expected[i].length);
        EXPECT_EQ(run.glyphs.front().cluster, expected[i].firstCluster);
        EXPECT_DOUBLE_EQ(run.glyphs.front().x, x);
        for (const ShapedGlyph& g : run.glyphs) x += g.advance;
    }
    EXPECT_DOUBLE_EQ(shaped.width, x);
    // Advances at the requested size, never the 109 ppem strike's.
    EXPECT_NEAR(shaped.runs[2].glyphs[0].advance, 2550 * 13.0 / 2048, 1e-3);
}

// A base with a combining mark is one cluster; the mark's ink lies in the base's cell, above the
// x-height (checked against the base drawn alone).
TEST(Shaper, CombiningMarksStayOnTheirBase) {
    FontRef font = Font::systemFont(13);
    double cellWidth = 8, cellHeight = 16, baseline = std::ceil(font->descent());
    for (std::u16string text : {u"e\u0301", u"q\u0301"}) {
        ShapedText shaped = Shaper::shape(text, font);
        ASSERT_EQ(shaped.runs.size(), 1u);
        for (const ShapedGlyph& g : shaped.runs[0].glyphs) EXPECT_EQ(g.cluster, 0u);
        for (double scale : {1.0, 2.0}) {
            auto draw = [&](const ShapedText& s) {
                auto canvas = std::make_unique<Canvas>(Size{3 * cellWidth, cellHeight}, scale);
                std::vector<GlyphPlacement> glyphs;
                for (const ShapedGlyph& g : s.runs[0].glyphs) glyphs.push_back({g.glyph, {cellWidth + g.x, baseline + g.y}});
                canvas->drawGlyphs(*s.runs[0].font, glyphs, Rgba{1, 1, 1, 1});
                return canvas;
            };
            auto alone = draw(Shaper::shape(text.substr(0, 1), font));
            auto marked = draw(shaped);
            auto mark = platform::gfx::testing::inkBox(*marked, alone.get());
            ASSERT_FALSE(mark.isEmpty());
            EXPECT_GE(mark.x0, cellWidth * scale);
            EXPECT_LE(mark.x1, 2 * cellWidth * scale);
            EXPECT_LE(mark.y1, (cellHeight - baseline - font->xHeight()) * scale);
        }
    }
}
