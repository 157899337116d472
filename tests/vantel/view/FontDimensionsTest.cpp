#include "vantel/view/FontDimensions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "vantel/view/TerminalViewFontSet.h"

using namespace vantel;
using platform::gfx::Font;

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
const double notANumber = std::nan("");

struct DimensionCase {
    const char* name;
    const char* family;
    double size, lineSpacing, scale;
    double width, height;
    friend void PrintTo(const DimensionCase& c, std::ostream* os) { *os << c.name; }
};

class FontDimensions : public ::testing::TestWithParam<DimensionCase> {};

}  // namespace

// DejaVu Sans Mono: "W" is 0.602 em, ascent + descent 1.164 em.
TEST_P(FontDimensions, CellSize) {
    const DimensionCase& c = GetParam();
    platform::gfx::Size cell = computeFontDimensions(*Font::create(c.family, c.size), c.lineSpacing, c.scale);
    EXPECT_DOUBLE_EQ(cell.width, c.width);
    EXPECT_DOUBLE_EQ(cell.height, c.height);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FontDimensions,
    ::testing::Values(DimensionCase{"twelve", "monospace", 12, 1, 1, 7, 14},
                      DimensionCase{"twelveRetina", "monospace", 12, 1, 2, 7, 14},
                      DimensionCase{"fourteen", "monospace", 14, 1, 1, 8, 17},
                      DimensionCase{"fourteenRetina", "monospace", 14, 1, 2, 8.5, 17},
                      DimensionCase{"spacing", "monospace", 12, 1.2, 1, 7, 17},
                      DimensionCase{"widthRoundsToZero", "monospace", 0.5, 1, 1, 1, 1},
                      DimensionCase{"hugeSpacing", "monospace", 12, 1e6, 1, 7, 8192},
                      // Noto Color Emoji has no "W": its missing glyph is 1.245 em wide.
                      DimensionCase{"hugeWidth", "emoji", Font::maxSize, 1, 1, 8192, 8192},
                      DimensionCase{"infiniteSpacing", "monospace", 12, inf, 1, 7, 14},
                      DimensionCase{"nanSpacing", "monospace", 12, notANumber, 1, 7, 14},
                      DimensionCase{"negativeSpacing", "monospace", 12, -1, 1, 7, 14},
                      DimensionCase{"nanScale", "monospace", 14, 1, notANumber, 8, 17},
                      DimensionCase{"zeroScale", "monospace", 14, 1, 0, 8, 17},
                      DimensionCase{"nanSize", "monospace", notANumber, 1, 1, 8, 16},
                      DimensionCase{"negativeSize", "monospace", -12, 1, 1, 8, 16}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TerminalViewFontSet, FourFacesFromOneBase) {
    TerminalViewFontSet set = TerminalViewFontSet::make(nullptr);
    ASSERT_TRUE(set.normal && set.bold && set.italic && set.boldItalic);
    EXPECT_EQ(set.normal->family(), "DejaVu Sans Mono");
    EXPECT_EQ(set.normal->size(), 13);
    EXPECT_TRUE(set.bold->filePath().ends_with("DejaVuSansMono-Bold.ttf"));
    EXPECT_TRUE(set.italic->sheared() && !set.italic->traits().bold);
    EXPECT_TRUE(set.boldItalic->filePath().ends_with("DejaVuSansMono-Bold.ttf") && set.boldItalic->sheared());
    for (const auto& font : {set.bold, set.italic, set.boldItalic}) EXPECT_EQ(font->size(), 13);

    // The traits add to the base's: the italic of a bold base is bold italic.
    TerminalViewFontSet fromBold = TerminalViewFontSet::make(Font::create("monospace", 20, {true, false}));
    EXPECT_EQ(fromBold.italic->traits(), (platform::gfx::FontTraits{true, true}));
    EXPECT_EQ(fromBold.bold->size(), 20);
}
