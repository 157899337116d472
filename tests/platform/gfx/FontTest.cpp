#include "platform/gfx/Font.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string_view>
#include <vector>

#include "platform/gfx/FontFace.h"

#include FT_OUTLINE_H

using namespace platform::gfx;

// DejaVu Sans Mono: 2048 units per em, hhea 1901 / -483 / 0, post underline -40 / 90, "W" 1233
// wide, no OS/2 x-height ("x" is 1120 high).
TEST(Font, MetricsOfTheSystemFontAreUnhintedAndInPoints) {
    FontRef font = Font::create("monospace", 12);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->family(), "DejaVu Sans Mono");
    double unit = 12.0 / 2048;
    EXPECT_DOUBLE_EQ(font->ascent(), 1901 * unit);
    EXPECT_DOUBLE_EQ(font->descent(), 483 * unit);
    EXPECT_DOUBLE_EQ(font->leading(), 0);
    EXPECT_NEAR(font->advance(font->glyphIndex('W')), 7.2246, 1e-4);
    EXPECT_DOUBLE_EQ(font->underlinePosition(), -40 * unit);
    EXPECT_DOUBLE_EQ(font->underlineThickness(), 90 * unit);
    EXPECT_NEAR(font->xHeight(), 1120 * unit, 1.0 / 64);
    EXPECT_TRUE(font->inkBounds(font->glyphIndex(' ')).isEmpty());
    EXPECT_EQ(Font::systemFont()->size(), 13);
    EXPECT_EQ(Font::systemFont()->family(), "DejaVu Sans Mono");
}

TEST(Font, TraitsComeFromFontconfigElseTheyAreSynthesised) {
    struct Case {
        FontTraits traits;
        const char* file;
        bool sheared;
    } cases[] = {{{false, false}, "/DejaVuSansMono.ttf", false},
                 {{true, false}, "/DejaVuSansMono-Bold.ttf", false},
                 {{false, true}, "/DejaVuSansMono.ttf", true},
                 {{true, true}, "/DejaVuSansMono-Bold.ttf", true}};
    FontRef base = Font::systemFont(13);
    for (const Case& c : cases) {
        FontRef font = base->withTraits(c.traits);
        EXPECT_TRUE(font->filePath().ends_with(c.file)) << font->filePath();
        EXPECT_EQ(font->sheared(), c.sheared);
        EXPECT_FALSE(font->emboldened());
        EXPECT_EQ(font->size(), 13);
    }
    // The test fonts all have bold faces, so emboldening is checked on the regular face asked for bold.
    FcPattern* regular = FcPatternBuild(nullptr, FC_FILE, FcTypeString, base->filePath().c_str(), nullptr);
    auto face = FontFace::open(regular, nullptr, 13, FontTraits{true, false});
    FcPatternDestroy(regular);
    ASSERT_TRUE(face && face->emboldened);
    face->applySize(13, 13);
    ASSERT_EQ(FT_Load_Glyph(face->ft, base->glyphIndex('l'), FT_LOAD_NO_HINTING), 0);
    face->synthesize(face->ft->glyph->outline, 13);
    FT_BBox box;
    FT_Outline_Get_CBox(&face->ft->glyph->outline, &box);
    EXPECT_NEAR((box.xMax - box.xMin) / 64.0 - base->inkBounds(base->glyphIndex('l')).width, 13.0 / 24, 0.05);
}

TEST(Font, UnusableSizesBecomeTheDefault) {
    double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double size, expected;
    } cases[] = {{std::nan(""), 13}, {inf, 13}, {-inf, 13}, {0, 13}, {-2, 13}, {1e9, Font::maxSize}, {0.5, 0.5}};
    for (const Case& c : cases) EXPECT_EQ(Font::create("monospace", c.size)->size(), c.expected) << c.size;
}

TEST(Font, ColourStrikeMetricsAreScaledToTheSize) {
    FontRef emoji = Font::create("emoji", 13);
    EXPECT_TRUE(emoji->isColor());
    uint32_t g = emoji->glyphIndex(0x1F600);
    EXPECT_NEAR(emoji->inkBounds(g).height, 128 * 13.0 / 109, 0.01);
    EXPECT_NEAR(emoji->advance(g), 2550 * 13.0 / 2048, 1e-9);  // hmtx, not the strike
}

namespace {

// A copy of DejaVu Sans Mono whose OS/2 table asks for its typographic metrics (1556 / -492 / 410,
// unlike hhea's 1901 / -483 / 0), renamed "DejaVu Sans Typo" so that it is asked for by name.
std::string fontWithTypoMetrics(const std::string& from) {
    std::ifstream in(from, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u16 = [&](size_t at) { return static_cast<unsigned>(static_cast<uint8_t>(bytes[at]) << 8 | static_cast<uint8_t>(bytes[at + 1])); };
    auto u32 = [&](size_t at) { return u16(at) << 16 | u16(at + 2); };
    for (unsigned i = 0, tables = u16(4); i < tables; ++i) {
        size_t entry = 12 + 16 * i, offset = u32(entry + 8), length = u32(entry + 12);
        std::string_view tag(&bytes[entry], 4);
        if (tag == "OS/2") bytes[offset + 63] |= static_cast<char>(0x80);  // fsSelection bit 7
        if (tag != "name") continue;
        for (std::string_view mono : {std::string_view("Mono"), std::string_view("\0M\0o\0n\0o", 8)}) {
            for (size_t at = offset; at + mono.size() <= offset + length; ++at) {
                if (std::string_view(&bytes[at], mono.size()) != mono) continue;
                for (size_t k = 0; k < mono.size(); ++k) {
                    if (mono[k]) bytes[at + k] = "Typo"[mono.size() == 4 ? k : k / 2];
                }
            }
        }
    }
    std::string path = ::testing::TempDir() + "DejaVuSansTypo-" + std::to_string(getpid()) + ".ttf";
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

}  // namespace

TEST(Font, TypographicMetricsWhenTheFaceAsksForThem) {
    std::string path = fontWithTypoMetrics(Font::systemFont()->filePath());
    ASSERT_TRUE(FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8*>(path.c_str())));
    FontRef font = Font::create("DejaVu Sans Typo", 12);
    ASSERT_EQ(font->family(), "DejaVu Sans Typo");
    double unit = 12.0 / 2048;
    EXPECT_DOUBLE_EQ(font->ascent(), 1556 * unit);
    EXPECT_DOUBLE_EQ(font->descent(), 492 * unit);
    EXPECT_DOUBLE_EQ(font->leading(), 410 * unit);
    font.reset();
    FcConfigAppFontClear(nullptr);  // the other tests see only the test fonts
    std::remove(path.c_str());
}
