#include <gtest/gtest.h>

#include <cstdio>

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

// Palette entries as "RRGGBB" words, eight to a string (each channel an 8-bit value times 257).
std::vector<Color> hexPalette(std::initializer_list<const char*> rows) {
    std::vector<Color> colors;
    for (const char* row : rows) {
        for (const char* at = row; *at;) {
            unsigned value = 0;
            int length = 0;
            std::sscanf(at, "%6x%n", &value, &length);
            colors.push_back(Color::fromRgb8((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF));
            at += length;
            while (*at == ' ') ++at;
        }
    }
    return colors;
}

// Every entry: the 16 given colours, the cube of the six levels 00 5F 87 AF D7 FF (red
// outermost, blue innermost) and the 24 greys 08, 12, ... EE.
TEST(ColorTest, XtermPalette) {
    auto palette = Color::generateXtermPalette(Color::xtermColors());
    ASSERT_EQ(palette.size(), 256u);
    EXPECT_TRUE(std::equal(Color::xtermColors().begin(), Color::xtermColors().end(), palette.begin()));
    const std::vector<Color> cubeAndGreys = hexPalette({
        "000000 00005F 000087 0000AF 0000D7 0000FF 005F00 005F5F", "005F87 005FAF 005FD7 005FFF 008700 00875F",
        "008787 0087AF 0087D7 0087FF 00AF00 00AF5F 00AF87 00AFAF", "00AFD7 00AFFF 00D700 00D75F 00D787 00D7AF",
        "00D7D7 00D7FF 00FF00 00FF5F 00FF87 00FFAF 00FFD7 00FFFF", "5F0000 5F005F 5F0087 5F00AF 5F00D7 5F00FF",
        "5F5F00 5F5F5F 5F5F87 5F5FAF 5F5FD7 5F5FFF 5F8700 5F875F", "5F8787 5F87AF 5F87D7 5F87FF 5FAF00 5FAF5F",
        "5FAF87 5FAFAF 5FAFD7 5FAFFF 5FD700 5FD75F 5FD787 5FD7AF", "5FD7D7 5FD7FF 5FFF00 5FFF5F 5FFF87 5FFFAF",
        "5FFFD7 5FFFFF 870000 87005F 870087 8700AF 8700D7 8700FF", "875F00 875F5F 875F87 875FAF 875FD7 875FFF",
        "878700 87875F 878787 8787AF 8787D7 8787FF 87AF00 87AF5F", "87AF87 87AFAF 87AFD7 87AFFF 87D700 87D75F",
        "87D787 87D7AF 87D7D7 87D7FF 87FF00 87FF5F 87FF87 87FFAF", "87FFD7 87FFFF AF0000 AF005F AF0087 AF00AF",
        "AF00D7 AF00FF AF5F00 AF5F5F AF5F87 AF5FAF AF5FD7 AF5FFF", "AF8700 AF875F AF8787 AF87AF AF87D7 AF87FF",
        "AFAF00 AFAF5F AFAF87 AFAFAF AFAFD7 AFAFFF AFD700 AFD75F", "AFD787 AFD7AF AFD7D7 AFD7FF AFFF00 AFFF5F",
        "AFFF87 AFFFAF AFFFD7 AFFFFF D70000 D7005F D70087 D700AF", "D700D7 D700FF D75F00 D75F5F D75F87 D75FAF",
        "D75FD7 D75FFF D78700 D7875F D78787 D787AF D787D7 D787FF", "D7AF00 D7AF5F D7AF87 D7AFAF D7AFD7 D7AFFF",
        "D7D700 D7D75F D7D787 D7D7AF D7D7D7 D7D7FF D7FF00 D7FF5F", "D7FF87 D7FFAF D7FFD7 D7FFFF FF0000 FF005F",
        "FF0087 FF00AF FF00D7 FF00FF FF5F00 FF5F5F FF5F87 FF5FAF", "FF5FD7 FF5FFF FF8700 FF875F FF8787 FF87AF",
        "FF87D7 FF87FF FFAF00 FFAF5F FFAF87 FFAFAF FFAFD7 FFAFFF", "FFD700 FFD75F FFD787 FFD7AF FFD7D7 FFD7FF",
        "FFFF00 FFFF5F FFFF87 FFFFAF FFFFD7 FFFFFF 080808 121212", "1C1C1C 262626 303030 3A3A3A 444444 4E4E4E",
        "585858 626262 6C6C6C 767676 808080 8A8A8A 949494 9E9E9E", "A8A8A8 B2B2B2 BCBCBC C6C6C6 D0D0D0 DADADA",
        "E4E4E4 EEEEEE",
    });
    ASSERT_EQ(cubeAndGreys.size(), 240u);
    for (size_t i = 0; i < 240; ++i) EXPECT_EQ(palette[16 + i], cubeAndGreys[i]) << "entry " << 16 + i;
}

// Every entry of the L*a*b* cube and greys for the engine's own start: the Terminal.app
// colours, the default background and foreground; and for a light background kept at the
// cube's corner. The values follow the conversion constants of the palette rules.
TEST(ColorTest, Base16LabPaletteEntries) {
    const auto& base = Color::terminalAppColors();
    const std::vector<Color> dark = hexPalette({
        "000000 19112C 271955 342081 3F27B0 492EE1 152711 283035",
        "37385C 424085 4C48B0 5250DD 1E4818 32503D 415762 4B5F88",
        "5266AF 566DD8 246D1D 397244 467867 4F7D8A 5482AE 5487D3",
        "269321 3B9649 47996B 4D9C8C 4F9FAD 4AA1CE 25BC24 38BC4E",
        "41BC6E 44BB8D 40BBAA 33BBC8 2A130B 3D1932 4D1E59 5B2483",
        "6729B0 702FDE 373215 493839 573E5E 634585 6C4BAD 7251D8",
        "42511A 52573F 5E5C62 686186 6E66AB 716BD1 4B731F 587644",
        "627A65 697D86 6D80A8 6D84CA 509622 5B9748 639868 679986",
        "679AA5 649BC3 53BA24 5BB84B 5FB66A 5FB585 5CB3A0 54B1BB",
        "4C1D13 5F2037 6E245D 7B2885 862CAF 8D31DC 583C18 68403C",
        "754460 7F4885 864DAB 8B51D3 625A1C 6E5D41 796062 806384",
        "8567A7 876ACA 697820 737A44 7A7B64 7F7D83 817EA2 8080C2",
        "6E9723 749747 799665 7B9581 7A959C 7694B8 6FB725 73B449",
        "74B165 73AE7E 6FAB97 68A8AF 722618 81273C 8F2961 992C87",
        "A12FAF A633D9 7A451B 864740 914A62 994C85 9E4FA9 A152CE",
        "80611F 8A6342 916462 976582 9967A2 9969C4 857D21 8B7C44",
        "907C62 937C7F 937C9C 907CB9 879824 8A9646 8C9461 8C927B",
        "8A8F94 858DAE 86B425 87B047 86AB60 83A677 7EA28D 769EA2",
        "992E1D A52E41 AF2F65 B73089 BB32AF BD35D6 9D4D1F A64E43",
        "AD4F64 B24F85 B451A7 B452C9 9F6821 A56744 A96762 AC6780",
        "AC679E AA67BD A08123 A37F44 A57D60 A57B7B A37995 9E78B0",
        "9E9925 9F9545 9E915E 9B8E76 978A8D 9187A3 9BB126 98AB44",
        "95A55B 909F70 8A9983 819496 C23621 CA3546 D03468 D3358B",
        "D536AE D338D3 C15522 C65446 C95365 CA5284 CA52A4 C652C4",
        "BE6E24 C06C45 C16A62 C1687E BE669A B965B6 BA8425 BA8045",
        "B97D5F B67977 B1768F AB73A7 B59926 B29443 AE8E5B A98970",
        "A38485 9B7F99 ADAD27 A8A642 A29F56 9C9869 94917A 8A8A8A",
        "080808 101010 151515 1A1A1A 1E1E1E 232323 282828 2D2D2D",
        "323232 373737 3C3C3C 414141 464646 4C4C4C 515151 575757",
        "5C5C5C 626262 676767 6D6D6D 737373 787878 7E7E7E 848484",
    });
    const std::vector<Color> lightHarmonious = hexPalette({
        "FFFFFF E3D4FB C4AAF5 A381EF 7D58E8 492EE1 DCF3D4 C7D1D8",
        "B1AFDA 978FDC 7A6FDD 5250DD B7E6AB AACDB6 9BB4BF 899BC8",
        "7384D1 566DD8 91D881 8CC894 84B7A5 79A7B5 6A97C4 5487D3",
        "66CA57 68C271 67BA8A 63B1A1 5AA9B8 4AA1CE 25BC24 38BC4E",
        "41BC6E 44BB8D 40BBAA 33BBC8 FBD8CF E5B6D4 CD95D7 B274DA",
        "9453DD 702FDE DDD3AF CCB7B8 B89BBF A380C6 8A66CC 6B4BD1",
        "BFCE8F B2B79C A3A1A7 928BB1 7E75BB 6460C4 9FC86F 97B680",
        "8CA58F 7F939D 6F83AA 5A72B7 7CC14D 78B463 72A777 699B89",
        "5D8F9A 4A83AA 53BA24 54B245 52AA5E 4DA274 429A88 2F929C",
        "F2B1A1 E398AE D180BA BE67C6 A84DD1 8D31DC DBB48A CD9E98",
        "BD87A5 AB72B0 975CBB 7E46C6 C3B674 B6A282 A88D8F 977A9B",
        "8566A6 6E53B1 AAB75D 9EA46C 91927A 828086 716F91 5C5E9C",
        "8EB744 84A656 799564 6B8571 5B757D 476687 6FB725 66A73D",
        "5C984E 50895C 407A68 296C73 E68A74 DD7A8A D36A9E C759B2",
        "B847C5 A633D9 D59567 CB847A BF738B B1629B A151AB 8D40BB",
        "C49E59 B78C6A A97A78 9A6985 895792 74469E B1A64B A39359",
        "938065 836D70 705B79 5B4982 9DAE3A 8D9848 7C8452 6A6F5A",
        "575C61 404A66 86B425 749D35 62863E 4F7144 3A5C49 21484C",
        "D6634A D55A67 D25183 CE489E C73FBA BD35D6 CC7645 C66A5D",
        "BE5E72 B45287 A9459B 9A39B0 C2863F B67652 A96762 9B5770",
        "8B487E 78398B B79538 A58147 946D51 815A5A 6D4762 573568",
        "AAA330 938A3A 7D7240 675A44 504446 372F47 9BB126 7F922C",
        "65752E 4B592E 313F2C 162628 C23621 CA3546 D03468 D3358B",
        "D536AE D338D3 C15522 BF4E40 BB475A B63F73 AF388C A531A5",
        "BE6E24 B3603A A7524C 99455C 8B376B 7A2979 BA8425 A66F34",
        "925A3E 7D4645 68334B 512050 B59926 987C2C 7C602F 61462F",
        "462C2D 2B152A ADAD27 888823 65641F 444318 252411 000000",
        "F3F3F3 E8E8E8 DDDDDD D1D1D1 C6C6C6 BBBBBB B0B0B0 A6A6A6",
        "9B9B9B 919191 868686 7C7C7C 727272 686868 5E5E5E 555555",
        "4B4B4B 424242 393939 303030 282828 1F1F1F 181818 0E0E0E",
    });
    ASSERT_EQ(dark.size(), 240u);
    ASSERT_EQ(lightHarmonious.size(), 240u);
    const auto engine =
        Color::generateBase16LabPalette(base, Color::defaultBackground, Color::defaultForeground, false);
    const auto harmonious =
        Color::generateBase16LabPalette(base, Color(0xFFFF, 0xFFFF, 0xFFFF), Color(0, 0, 0), true);
    ASSERT_EQ(engine.size(), 256u);
    ASSERT_EQ(harmonious.size(), 256u);
    EXPECT_TRUE(std::equal(base.begin(), base.end(), engine.begin()));
    for (size_t i = 0; i < 240; ++i) {
        EXPECT_EQ(engine[16 + i], dark[i]) << "entry " << 16 + i;
        EXPECT_EQ(harmonious[16 + i], lightHarmonious[i]) << "harmonious entry " << 16 + i;
    }
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
