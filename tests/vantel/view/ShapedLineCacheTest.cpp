#include "vantel/view/ShapedLineCache.h"

#include <gtest/gtest.h>

using namespace vantel;
using platform::gfx::Font;
using platform::gfx::Rgba;

namespace {

TextAttributes colored(Rgba foreground, platform::gfx::FontRef font = nullptr) {
    TextAttributes attributes;
    attributes.font = std::move(font);
    attributes.foreground = foreground;
    return attributes;
}

AttributedText textOf(std::u16string_view text, const TextAttributes& attributes = {}) {
    AttributedText t;
    t.append(text, attributes);
    return t;
}

}  // namespace

TEST(ShapedLineCache, CachesTextsOfAtMostEightUnits) {
    ShapedLineCache cache;
    AttributedText eight = textOf(u"abcdefgh"), nine = textOf(u"abcdefghi");
    auto first = cache.line(eight);
    EXPECT_EQ(cache.line(eight), first);
    EXPECT_NE(cache.line(nine), cache.line(nine));
    EXPECT_EQ(cache.count(), 1u);
    EXPECT_EQ(cache.line(nine)->runs[0].glyphs.glyphs.size(), 9u);
}

// The key is the text, the fonts and the run boundaries; colours are read from the attributes
// when drawing.
TEST(ShapedLineCache, KeysOnTextFontsAndRunsNotColours) {
    ShapedLineCache cache;
    auto mono = Font::systemFont();
    auto red = cache.line(textOf(u"ab", colored({1, 0, 0, 1}, mono)));
    EXPECT_EQ(cache.line(textOf(u"ab", colored({0, 0, 1, 1}, mono))), red);
    cache.line(textOf(u"ab", colored({1, 0, 0, 1}, mono->withTraits({true, false}))));
    AttributedText split = textOf(u"a", colored({1, 0, 0, 1}, mono));
    split.append(u"b", colored({0, 1, 0, 1}, mono));
    cache.line(split);
    // An equal font (the same face and size asked for by name) is another font.
    cache.line(textOf(u"ab", colored({1, 0, 0, 1}, Font::create("DejaVu Sans Mono", Font::systemFontSize))));
    EXPECT_EQ(cache.count(), 4u);
}

TEST(ShapedLineCache, The2049thLineEmptiesTheCache) {
    ShapedLineCache cache;
    for (char16_t c = 0x100; c < 0x100 + ShapedLineCache::capacity; ++c) cache.line(textOf(std::u16string(1, c)));
    EXPECT_EQ(cache.count(), ShapedLineCache::capacity);
    cache.line(textOf(u"x"));
    EXPECT_EQ(cache.count(), 1u);
}

TEST(ShapedLine, GlyphRunsKeepTheirAttributeRunAndContinueAcrossRuns) {
    AttributedText text = textOf(u"ab", colored({1, 0, 0, 1}));
    text.append(u"\U0001F600c", colored({0, 1, 0, 1}));
    ShapedLine line = ShapedLine::shape(text);
    struct Expected {
        size_t attributeRun;
        const char* family;
        uint32_t start;
    } expected[] = {{0, "DejaVu Sans Mono", 0}, {1, "Noto Color Emoji", 2}, {1, "DejaVu Sans Mono", 4}};
    ASSERT_EQ(line.runs.size(), 3u);
    double x = 0;
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(line.runs[i].attributeRun, expected[i].attributeRun);
        EXPECT_EQ(line.runs[i].glyphs.font->family(), expected[i].family);
        EXPECT_EQ(line.runs[i].glyphs.start, expected[i].start);
        EXPECT_EQ(line.runs[i].glyphs.glyphs.front().cluster, expected[i].start);
        EXPECT_DOUBLE_EQ(line.runs[i].glyphs.glyphs.front().x, x);
        for (const auto& g : line.runs[i].glyphs.glyphs) x += g.advance;
    }
    EXPECT_DOUBLE_EQ(line.width, x);
}
