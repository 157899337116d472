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
    for (char32_t c = 0x100; c < 0x100 + FallbackFontCache::capacity; ++c) cache.resolve(Character(1, c), base);
    EXPECT_EQ(cache.count(), FallbackFontCache::capacity);
    cache.resolve(U"A", base);
    cache.resolve(U"A", base);
    EXPECT_EQ(cache.count(), 1u);
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
