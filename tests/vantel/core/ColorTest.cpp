#include <gtest/gtest.h>

#include "vantel/core/CharSets.h"
#include "vantel/core/Color.h"

using namespace vantel;

TEST(ColorTest, Parse) {
    struct Case {
        const char* text;
        std::optional<Color> expected;
    } cases[] = {
        {"#fff", Color(0xF0F0, 0xF0F0, 0xF0F0)},
        {"#ffffff", Color(0xFFFF, 0xFFFF, 0xFFFF)},
        {"#fffffffff", Color(0xFFFF, 0xFFFF, 0xFFFF)},
        {"#ffffffffffff", Color(0xFFFF, 0xFFFF, 0xFFFF)},
        {"rgb:f/ff/fff", Color(0x00F0, 0x0FFF, 0xFFFF)},
        {"rgb:800/0/0", Color(0x8080, 0, 0)},
        {"rgb:ffff/8080/0000", Color(0xFFFF, 0x8080, 0)},
        {"#12345", std::nullopt},
        {"rgb:1/2", std::nullopt},
        {"rgb:1/2/", std::nullopt},
        {"rgb:12345/0/0", std::nullopt},
        {"red", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(Color::parse(c.text), c.expected) << c.text;
    // The handlers' own parser is lenient about groups.
    EXPECT_EQ(Color::parseColor("rgb:1/2"), Color(0x1010, 0x2020, 0));
    EXPECT_EQ(Color::parseColor("rgb:"), std::nullopt);
}

TEST(ColorTest, XtermPalette) {
    auto palette = Color::generateXtermPalette(Color::xtermColors());
    ASSERT_EQ(palette.size(), 256u);
    EXPECT_EQ(palette[16], Color(0, 0, 0));
    EXPECT_EQ(palette[17], Color::fromRgb8(0, 0, 0x5F));
    EXPECT_EQ(palette[196], Color::fromRgb8(0xFF, 0, 0));
    EXPECT_EQ(palette[231], Color(0xFFFF, 0xFFFF, 0xFFFF));
    EXPECT_EQ(palette[232], Color(0x0808, 0x0808, 0x0808));
    EXPECT_EQ(palette[255], Color(0xEEEE, 0xEEEE, 0xEEEE));
    EXPECT_EQ(palette[1], Color(0xCDCD, 0, 0));
}

TEST(ColorTest, Base16LabPalette) {
    const auto& base = Color::terminalAppColors();
    Color white(0xFFFF, 0xFFFF, 0xFFFF), black(0, 0, 0);
    auto light = Color::generateBase16LabPalette(base, white, black, false);
    auto dark = Color::generateBase16LabPalette(base, black, white, false);
    ASSERT_EQ(light.size(), 256u);
    EXPECT_TRUE(std::equal(light.begin() + 16, light.end(), dark.begin() + 16))
        << "a light background gives the same cube as the swapped dark one";
    EXPECT_EQ(dark[16], black);
    EXPECT_EQ(dark[231], white);
    auto harmonious = Color::generateBase16LabPalette(base, white, black, true);
    EXPECT_EQ(harmonious[16], white);
    EXPECT_EQ(harmonious[231], black);
    // Greys run from the background towards the foreground, excluding both ends.
    EXPECT_NE(dark[232], black);
    EXPECT_LT(dark[232].red, dark[255].red);

    std::vector<Color> seven(base.begin(), base.begin() + 7);
    EXPECT_EQ(Color::generateBase16LabPalette(seven, black, white, false), Color::generateXtermPalette(seven));
}

TEST(ColorTest, PlatformComponents) {
    EXPECT_EQ(Color::fromComponents(1.0, 0.5, -2.0), Color(0xFFFF, 0x7FFF, 0));
    EXPECT_EQ(Color::fromComponents(7.0, 0, 0).red, 0xFFFF);
    auto c = Color(0xFFFF, 0, 0x8000).components();
    EXPECT_DOUBLE_EQ(c[0], 1.0);
    EXPECT_DOUBLE_EQ(c[3], 1.0);
}

TEST(CharSetsTest, TablesByFinalByte) {
    auto translate = [](uint8_t final, char c) {
        const CharSetTable* table = CharSets::find(final);
        char32_t r = table ? table->translate(static_cast<uint8_t>(c)) : 0;
        return r ? r : static_cast<char32_t>(c);
    };
    std::u32string box;
    for (char c : std::string("lqqk_")) box += translate('0', c);
    EXPECT_EQ(box, U"┌──┐_");
    EXPECT_EQ(translate('2', 'x'), U'│');
    EXPECT_EQ(translate('A', '#'), U'£');
    EXPECT_EQ(translate('A', '['), U'[');
    EXPECT_EQ(translate('B', '#'), U'#');
    EXPECT_EQ(translate('4', '['), U'\u0133');
    EXPECT_EQ(CharSets::find('C'), CharSets::find('5'));
    EXPECT_EQ(CharSets::find('E'), CharSets::find('6'));
    EXPECT_EQ(CharSets::find('H'), CharSets::find('7'));
    EXPECT_EQ(CharSets::find('X'), nullptr);
}
