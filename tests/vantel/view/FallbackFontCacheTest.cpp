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
    // One face at one size, asked for by two names: two fonts.
    cache.resolve(U"\u05D0", Font::systemFont());
    cache.resolve(U"\u05D0", Font::create("DejaVu Sans Mono", Font::systemFontSize));
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
    // Ideographs with a mark: clusters of two are always looked for, and take an entry each.
    for (char32_t c = 0x4E00; c < 0x4E00 + FallbackFontCache::capacity; ++c) cache.resolve(Character{c, 0x301}, base);
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
        {U"\u4E2D", "DejaVu Sans Mono", false},            // nobody has it: the base, no entry
        {U"\u4E2D\u0301", "DejaVu Sans Mono", true},       // nobody has it, with a mark: looked for
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

// A lone character no fallback font has is answered without walking the list; every answer, in
// every range, is still the one fontFor() gives.
TEST(FallbackFontCache, LoneCharactersNoFontHasAreTheBaseWithoutAnEntry) {
    struct Range {
        char32_t first, last;
        const char* what;
        bool someoneHasSome;  // some character of the range is in a fallback font
    } ranges[] = {
        {0x20, 0x24F, "Latin", true},
        {0x0590, 0x05FF, "Hebrew", true},
        {0x2190, 0x27BF, "arrows to dingbats", true},
        {0x4E00, 0x4FFF, "ideographs", false},
        {0xAC00, 0xADFF, "Hangul", false},
        {0xE000, 0xE0FF, "private use", false},
        {0xFE00, 0xFE0F, "selectors", true},
        {0xFF01, 0xFF5E, "fullwidth forms", false},
        {0x1F300, 0x1F6FF, "emoji", true},
        {0x10FF00, 0x10FFFD, "the last plane", false},
    };
    const auto base = Font::systemFont();
    for (auto test : {isEmojiPresentation, static_cast<platform::gfx::EmojiPresentationTest>(nullptr)}) {
        for (const Range& r : ranges) {
            SCOPED_TRACE(r.what);
            FallbackFontCache cache;
            bool someoneHas = false;
            for (char32_t c = r.first; c <= r.last; ++c) {
                const Character one(1, c);
                const size_t before = cache.count();
                const auto font = cache.resolve(one, base, test);
                ASSERT_EQ(font, platform::gfx::FontFallback::fontFor(base, one, test)) << std::hex << uint32_t(c);
                const bool has = platform::gfx::FontFallback::anyFallbackHas(*base, c);
                someoneHas = someoneHas || has;
                // No font has it: the base, and nothing stored.
                if (!has) {
                    ASSERT_EQ(font, base) << std::hex << uint32_t(c);
                    ASSERT_EQ(cache.count(), before) << std::hex << uint32_t(c);
                }
            }
            EXPECT_EQ(someoneHas, r.someoneHasSome);
        }
    }
}
