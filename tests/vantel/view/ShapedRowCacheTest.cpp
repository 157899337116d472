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

// Rows are laid out once per text, fonts and runs (colours are not part of the key); the cache is
// emptied wholesale when full, and short texts go to the short-run cache instead.
TEST(ShapedRowCache, KeysOnTextAndFontsAndEmptiesWhenFull) {
    ShapedRowCache cache;
    auto mono = Font::systemFont();
    std::u16string row(120, u'x');
    auto first = cache.line(textOf(row, mono, {1, 0, 0, 1}));
    EXPECT_EQ(cache.line(textOf(row, mono, {0, 1, 0, 1})), first);
    EXPECT_NE(cache.line(textOf(row, mono->withTraits({true, false}))), first);
    EXPECT_EQ(first->runs[0].glyphs.glyphs.size(), 120u);
    for (char16_t c = 0x100; cache.count() < ShapedRowCache::capacity; ++c) cache.line(textOf(row + c, mono));
    cache.line(textOf(u"one more row", mono));
    EXPECT_EQ(cache.count(), 1u);

    size_t shortBefore = ShapedLineCache::shared().count();
    EXPECT_EQ(cachedShapedRow(textOf(u"ls -la", mono)), cachedShapedRow(textOf(u"ls -la", mono)));
    EXPECT_EQ(ShapedLineCache::shared().count(), shortBefore + 1);
}
