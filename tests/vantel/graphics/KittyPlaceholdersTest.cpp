#include <gtest/gtest.h>

#include "vantel/graphics/KittyPlaceholders.h"

using namespace vantel;

namespace {

using Color = Attribute::Color;

Attribute colors(Color fg, std::optional<Color> underline = std::nullopt) {
    Attribute a;
    a.fg = fg;
    a.setUnderlineColor(underline);
    return a;
}

struct PlaceholderCase {
    const char* name;
    Character character;
    Attribute attribute;
    std::optional<KittyPlaceholderCell> previous;
    std::optional<Attribute> previousAttribute;
    // imageId, placementId, placeholderRow, placeholderCol, msb; imageId 0 with row -1: no result
    uint32_t imageId;
    uint32_t placementId;
    int row;
    int col;
    int msb;
};

const Attribute index42 = colors(Color::ansi256(42));
const KittyPlaceholderCell at0x4{3, 9, 42, 0, 0, 4, 0};

class KittyPlaceholderDecode : public ::testing::TestWithParam<PlaceholderCase> {};

TEST_P(KittyPlaceholderDecode, Cells) {
    const auto& c = GetParam();
    const auto cell = KittyPlaceholderDecoder::decode(c.character, c.attribute, 3, 10, c.previous, c.previousAttribute);
    if (c.row < 0) {
        EXPECT_FALSE(cell);
        return;
    }
    ASSERT_TRUE(cell);
    EXPECT_EQ(std::tuple(cell->imageId, cell->placementId, cell->placeholderRow, cell->placeholderCol, cell->msb),
              std::tuple(c.imageId, c.placementId, c.row, c.col, c.msb));
    EXPECT_EQ(std::tuple(cell->row, cell->col), std::tuple(3, 10));
}

INSTANTIATE_TEST_SUITE_P(
    Table, KittyPlaceholderDecode,
    ::testing::Values(
        PlaceholderCase{"continuesRow", U"\U0010EEEE", index42, at0x4, index42, 42, 0, 0, 5, 0},
        PlaceholderCase{"noPrevious", U"\U0010EEEE", index42, std::nullopt, std::nullopt, 42, 0, 0, 0, 0},
        PlaceholderCase{"rowAndColumn", U"\U0010EEEE\u0305\u030D", colors(Color::trueColor(1, 2, 3)), std::nullopt,
                        std::nullopt, 66051, 0, 0, 1, 0},
        PlaceholderCase{"thirdDiacritic", U"\U0010EEEE\u0305\u0305\u030E", index42, std::nullopt, std::nullopt,
                        42 + 2 * 16777216u, 0, 0, 0, 2},
        PlaceholderCase{"highByteLimited", U"\U0010EEEE\u0305\u0305\U0001D244", index42, std::nullopt, std::nullopt,
                        42 + 255 * 16777216u, 0, 0, 0, 296},
        PlaceholderCase{"otherUnderlineBreaks", U"\U0010EEEE", colors(Color::ansi256(42), Color::ansi256(7)), at0x4,
                        index42, 42, 7, 0, 0, 0},
        PlaceholderCase{"otherForegroundBreaks", U"\U0010EEEE", colors(Color::ansi256(43)), at0x4, index42, 43, 0, 0,
                        0, 0},
        PlaceholderCase{"rowOnlyContinues", U"\U0010EEEE\u0305", index42, at0x4, index42, 42, 0, 0, 5, 0},
        PlaceholderCase{"rowOnlyOtherRow", U"\U0010EEEE\u030D", index42, at0x4, index42, 42, 0, 1, 0, 0},
        PlaceholderCase{"twoKeepInheritedMsb", U"\U0010EEEE\u0305\u0310", index42,
                        KittyPlaceholderCell{3, 9, 42, 0, 0, 2, 6}, index42, 42 + 6 * 16777216u, 0, 0, 3, 6},
        PlaceholderCase{"unknownMarkSkipped", U"\U0010EEEE\u0300\u030D", index42, std::nullopt, std::nullopt, 42, 0,
                        1, 0, 0},
        PlaceholderCase{"defaultColourIsZero", U"\U0010EEEE", Attribute(), std::nullopt, std::nullopt, 0, 0, 0, 0, 0},
        PlaceholderCase{"notPlaceholder", U"a\u0305", index42, std::nullopt, std::nullopt, 0, 0, -1, 0, 0},
        PlaceholderCase{"empty", U"", index42, std::nullopt, std::nullopt, 0, 0, -1, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
