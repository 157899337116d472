#include "vantel/view/ShapedRowCache.h"

#include <gtest/gtest.h>

using namespace vantel;
using platform::gfx::Font;

namespace {

AttributedText textOf(std::u16string_view text, platform::gfx::FontRef font, platform::gfx::Rgba colour = {}) {
    TextAttributes a;
    a.font = std::move(font);
    a.foreground = colour;
    AttributedText t;
    t.append(text, a);
    return t;
}

}  // namespace

// Rows are laid out once per text, fonts and runs (colours are not part of the key); when full the
// least recently used row goes, one at a time, and short texts go to the short-run cache instead.
TEST(ShapedRowCache, KeysOnTextAndFontsAndDropsTheLeastRecentlyUsedWhenFull) {
    ShapedRowCache cache;
    auto mono = Font::systemFont();
    std::u16string row(120, u'x');
    auto first = cache.line(textOf(row, mono, {1, 0, 0, 1}));
    EXPECT_EQ(cache.line(textOf(row, mono, {0, 1, 0, 1})), first);
    EXPECT_NE(cache.line(textOf(row, mono->withTraits({true, false}))), first);
    EXPECT_EQ(first->runs[0].glyphs.glyphs.size(), 120u);
    for (char16_t c = 0x100; cache.count() < ShapedRowCache::capacity; ++c) cache.line(textOf(row + c, mono));
    EXPECT_EQ(cache.line(textOf(row, mono)), first);  // used again: the newest
    cache.line(textOf(u"one more row", mono));
    EXPECT_EQ(cache.count(), ShapedRowCache::capacity);
    const uint64_t misses = cache.counters().misses;
    EXPECT_EQ(cache.line(textOf(row, mono)), first);
    cache.line(textOf(row + u'\u0100', mono));  // the oldest but one: still there
    EXPECT_EQ(cache.counters().misses, misses);
    cache.line(textOf(row, mono->withTraits({true, false})));  // the oldest: gone
    EXPECT_EQ(cache.counters().misses, misses + 1);
    EXPECT_EQ(cache.count(), ShapedRowCache::capacity);

    size_t shortBefore = ShapedLineCache::shared().count();
    EXPECT_EQ(cachedShapedRow(textOf(u"ls -la", mono)), cachedShapedRow(textOf(u"ls -la", mono)));
    EXPECT_EQ(ShapedLineCache::shared().count(), shortBefore + 1);
}
