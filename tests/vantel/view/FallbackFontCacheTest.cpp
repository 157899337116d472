#include "vantel/view/FallbackFontCache.h"

#include <gtest/gtest.h>

#include "vantel/view/ShapedLineCache.h"

using namespace vantel;
using platform::gfx::Font;

TEST(FallbackFontCache, ResolvesWithTheEnginesEmojiProperties) {
    struct Case {
        Character character;
        const char* family;
    } cases[] = {{U"A", "DejaVu Sans Mono"}, {U"\u05D0", "DejaVu Sans"}, {U"\u2764\uFE0F", "Noto Color Emoji"},
                 // Unicode 15 added it with emoji presentation; the engine's tables know it.
                 {U"\U0001FAE8", "Noto Color Emoji"}};
    FallbackFontCache cache;
    auto base = Font::systemFont();
    for (const Case& c : cases) EXPECT_EQ(cache.resolve(c.character, base, isEmojiPresentation)->family(), c.family);
    EXPECT_EQ(resolvedFont(U"A", base), base);
}

TEST(FallbackFontCache, DistinctEqualFontsMakeTwoEntries) {
    FallbackFontCache cache;
    cache.resolve(U"\u05D0", Font::systemFont());
    cache.resolve(U"\u05D0", Font::systemFont());
    EXPECT_EQ(cache.count(), 2u);
}

// Keys hold font ids: a font made after a zoom, even at a freed font's address, gets fallbacks of
// its own size.
TEST(FallbackFontCache, AZoomedFontGetsFallbacksAtItsOwnSize) {
    FallbackFontCache cache;
    for (double size = 10; size < 30; size += 1) {
        auto base = Font::create("monospace", size);
        EXPECT_EQ(cache.resolve(U"\u05D0", base)->size(), size);
    }
}

TEST(FallbackFontCache, The1025thEntryEmptiesTheCache) {
    FallbackFontCache cache;
    auto base = Font::systemFont();
    // Ideographs: no test font has them, so each is looked for and takes an entry.
    for (char32_t c = 0x4E00; c < 0x4E00 + FallbackFontCache::capacity; ++c) cache.resolve(Character(1, c), base);
    EXPECT_EQ(cache.count(), FallbackFontCache::capacity);
    cache.resolve(U"\u05D0", base);
    cache.resolve(U"\u05D0", base);
    EXPECT_EQ(cache.count(), 1u);
}

// What the base draws as text by itself is answered without an entry; everything else is looked
// for once. Either way the answer is the one fontFor() gives.
TEST(FallbackFontCache, OnlyCharactersTheBaseCannotDrawAsTextTakeEntries) {
    struct Case {
        Character cluster;
        const char* family;
        bool entry;
    } cases[] = {
        {U"A", "DejaVu Sans Mono", false},
        {U"\u2500", "DejaVu Sans Mono", false},            // box drawing, in the base
        {U"\u05D0", "DejaVu Sans", true},                  // Hebrew: another face
        {U"\u4E2D", "DejaVu Sans Mono", true},             // nobody has it: the base, looked for
        {U"\U0001F600", "Noto Color Emoji", true},         // an emoji by default
        {U"\u2764\uFE0F", "Noto Color Emoji", true},       // two scalars
        {U"A\u0301", "DejaVu Sans Mono", true},            // a mark: a cluster of two
        {U"\uFE0F", "Noto Color Emoji", true},             // a lone selector asks for colour
    };
    auto base = Font::systemFont();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.family);
        FallbackFontCache cache;
        const auto font = cache.resolve(c.cluster, base, isEmojiPresentation);
        ASSERT_TRUE(font);
        EXPECT_EQ(font->family(), c.family);
        EXPECT_EQ(font, platform::gfx::FontFallback::fontFor(base, c.cluster, isEmojiPresentation));
        EXPECT_EQ(cache.count(), c.entry ? 1u : 0u);
        EXPECT_EQ(cache.resolve(c.cluster, base, isEmojiPresentation), font);
    }
}

// The shaper and the cells ask one cache: a character the shaper resolved is a hit for a cell.
TEST(FallbackFontCache, TheShaperAndTheCellsShareEntries) {
    FallbackFontCache& shared = FallbackFontCache::shared();
    shared.clear();
    const auto base = Font::systemFont();
    TextAttributes attributes;
    attributes.font = base;
    AttributedText text;
    text.append(u"\u05D0\u05D1", attributes);
    const ShapedLine line = ShapedLine::shape(text);
    ASSERT_FALSE(line.runs.empty());
    const size_t entries = shared.count();
    const uint64_t hits = shared.counters().hits;
    EXPECT_EQ(resolvedFont(U"\u05D0", base), line.runs[0].glyphs.font);
    EXPECT_EQ(shared.count(), entries);
    EXPECT_EQ(shared.counters().hits, hits + 1);
}
