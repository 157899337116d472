#include "platform/gfx/FontStore.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/gfx/FontFallback.h"

using namespace platform::gfx;

namespace {

// Lines of /proc/self/maps naming the file.
int mappingsOf(const std::string& path) {
    std::ifstream maps("/proc/self/maps");
    int count = 0;
    for (std::string line; std::getline(maps, line);) count += line.ends_with(path) ? 1 : 0;
    return count;
}

}  // namespace

TEST(FontStore, ARequestAnswersTheSameFontAndAFileHasOneFace) {
    struct Case {
        const char* name;
        FontRef (*other)();
        bool sameFont;
        bool sameFace;
    } cases[] = {
        {"the same request", [] { return Font::systemFont(13); }, true, true},
        {"by way of withSize", [] { return Font::systemFont(20)->withSize(13); }, true, true},
        {"another size", [] { return Font::systemFont(14); }, false, true},
        {"slanted by us", [] { return Font::systemFont(13)->withTraits({.italic = true}); }, false, true},
        {"the bold face's own file", [] { return Font::systemFont(13)->withTraits({.bold = true}); }, false, false},
        {"the face asked for by its name", [] { return Font::create("DejaVu Sans Mono", 13); }, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FontRef first = Font::systemFont(13);
        FontRef other = c.other();
        ASSERT_TRUE(first && other);
        EXPECT_EQ(first == other, c.sameFont);
        EXPECT_EQ(first->face().shared == other->face().shared, c.sameFace);
        // A shared face is sized for each use: the metrics stay each font's own.
        EXPECT_NEAR(other->advance(other->glyphIndex('W')) / other->size(), 1233.0 / 2048, 1e-9);
    }
}

// Many sizes, each with its fallbacks: every file stays mapped once, and the store keeps no more
// fonts than its capacity once nothing else holds them.
TEST(FontStore, SizesWithoutEndMapEachFileOnceAndKeepTheLastFew) {
    const std::string mono = Font::systemFont()->filePath();
    const std::string emoji = Font::create("emoji", 13)->filePath();
    const uint64_t first = Font::systemFont(100)->id();
    const size_t aliveBefore = FontStore::shared().liveFonts();
    for (int i = 0; i < 3 * static_cast<int>(FontStore::capacity); ++i) {
        FontRef base = Font::systemFont(100 + i * 0.5);
        EXPECT_EQ(FontFallback::fontFor(base, U"\U0001F600")->filePath(), emoji);
        EXPECT_EQ(FontFallback::fontFor(base, U"\u05D0")->family(), "DejaVu Sans");
        EXPECT_LE(mappingsOf(mono), 1);
        EXPECT_LE(mappingsOf(emoji), 1);
    }
    EXPECT_EQ(FontStore::shared().keptFonts(), FontStore::capacity);
    // Each kept base holds its two fallback fonts.
    EXPECT_LE(FontStore::shared().liveFonts(), aliveBefore + 3 * FontStore::capacity);
    // The oldest is made anew; the latest is still the same.
    EXPECT_NE(Font::systemFont(100)->id(), first);
    const FontRef latest = Font::systemFont(100 + (3 * FontStore::capacity - 1) * 0.5);
    EXPECT_EQ(Font::systemFont(latest->size()), latest);
}

// A base made again after its like was let go finds the fallback fonts still in use, not copies.
TEST(FontStore, BasesOfOneRequestShareTheirFallbackFonts) {
    FontRef base = Font::systemFont(77);
    const uint64_t baseId = base->id();
    const FontRef hebrew = FontFallback::fontFor(base, U"\u05D0");
    ASSERT_NE(hebrew, base);
    base.reset();
    for (size_t i = 0; i < FontStore::capacity; ++i) Font::systemFont(200 + static_cast<double>(i));
    FontRef again = Font::systemFont(77);
    EXPECT_NE(again->id(), baseId);
    EXPECT_EQ(FontFallback::fontFor(again, U"\u05D0"), hebrew);
    // Another size is another fallback font.
    EXPECT_NE(FontFallback::fontFor(Font::systemFont(78), U"\u05D0"), hebrew);
}
