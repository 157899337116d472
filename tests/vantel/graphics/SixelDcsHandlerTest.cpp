#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "support/TerminalTestSupport.h"
#include "vantel/graphics/SixelDcsHandler.h"
#include "vantel/graphics/TerminalGraphics.h"

using namespace vantel;
using vantel::testing::RecordingDelegate;
using vantel::testing::TestTerminal;
using Bitmap = RecordingDelegate::Bitmap;

namespace {

using Rgba = std::array<uint8_t, 4>;

std::unique_ptr<TestTerminal> makeTerminal() {
    installGraphicsProtocols();
    return std::make_unique<TestTerminal>();
}

std::vector<Bitmap> feedSixel(TestTerminal& t, const std::string& payload, const std::string& parameters = "") {
    t.feed("\x1bP" + parameters + "q" + payload + "\x1b\\");
    return t.delegate.bitmaps;
}

// One letter a pixel: r g b w primaries and white, ~ mid grey, . transparent, 0-9 the terminal's colour.
Rgba legend(Terminal& terminal, char c) {
    switch (c) {
    case 'r': return {255, 0, 0, 255};
    case 'g': return {0, 255, 0, 255};
    case 'b': return {0, 0, 255, 255};
    case 'w': return {255, 255, 255, 255};
    case '~': return {127, 127, 127, 255};
    case '.': return {0, 0, 0, 0};
    default: {
        const Color& color = terminal.ansiColors.at(static_cast<size_t>(c - '0'));
        return {static_cast<uint8_t>(color.red >> 8), static_cast<uint8_t>(color.green >> 8),
                static_cast<uint8_t>(color.blue >> 8), 255};
    }
    }
}

std::vector<uint8_t> picture(Terminal& terminal, const std::vector<std::string>& rows) {
    std::vector<uint8_t> bytes;
    for (const std::string& row : rows)
        for (char c : row) {
            const Rgba px = legend(terminal, c);
            bytes.insert(bytes.end(), px.begin(), px.end());
        }
    return bytes;
}

// One band `width` pixels wide painted `times` times over.
std::vector<std::string> overdraw(int width, int times) {
    std::vector<std::string> puts{"#0"};
    std::string band = "!";
    band += std::to_string(width);
    band += "~$";
    for (int i = 0; i < times; ++i) puts.push_back(band);
    return puts;
}

std::vector<std::string> repeatRow(const std::string& row, int count) { return std::vector<std::string>(count, row); }

}  // namespace

TEST(SixelDcsHandlerTest, DecodesToExactRgba) {
    struct Case {
        const char* name;
        std::string payload;
        int width;
        int height;
        std::vector<std::string> rows;
    } cases[] = {
        {"rgb register", "#0;2;100;0;0#0~~-", 2, 6, repeatRow("rr", 6)},
        {"hls register, hue 120 is red", "#1;1;120;50;100#1~-", 1, 6, repeatRow("r", 6)},
        {"undefined register takes the terminal colour", "#5!10~", 10, 6, repeatRow("5555555555", 6)},
        {"register beyond the terminal's table is transparent", "#300!10~", 10, 6, repeatRow("..........", 6)},
        {"$ returns to the left edge of the band", "#0;2;0;0;100#0??$~~", 2, 6, repeatRow("bb", 6)},
        {"repeat of zero draws nothing and does not advance", "#0;2;0;100;0#0~!0~", 1, 6, repeatRow("g", 6)},
        {"raster attributes do not size the image", "\"1;1;20;20#0;2;100;0;0#0~~", 2, 6, repeatRow("rr", 6)},
        {"bits map top to bottom", "#1;2;100;0;0#1@$#2;2;0;0;100#2A", 1, 2, {"r", "b"}},
        {"- starts the next band", "#1;2;100;0;0#1@-@", 1, 7, {"r", ".", ".", ".", ".", ".", "r"}},
        {"a # without numbers ends the image", "#0;2;100;0;0#0~#~~", 1, 6, repeatRow("r", 6)},
        {"an unknown colour space only selects", "#3;7;100;0;0#3~", 1, 6, repeatRow("3", 6)},
        {"a transparent register overwrites", "#1;2;100;0;0#1~~$#300~", 2, 6, repeatRow(".r", 6)},
        {"repeat count", "#0;2;100;100;100#0!3@", 3, 1, {"www"}},
        {"! without digits is ignored", "#0;2;100;0;0#0!~", 1, 6, repeatRow("r", 6)},
        {"percentages are clamped", "#0;2;150;0;0#0@", 1, 1, {"r"}},
        {"a register keeps its colour within the image",
         "#1;2;0;0;100#1@-#1@",
         1,
         7,
         {"b", ".", ".", ".", ".", ".", "b"}},
        {"hls grey", "#1;1;0;50;0#1@", 1, 1, {"~"}},
        {"hls hue above 360 is clamped (blue)", "#1;1;400;50;100#1@", 1, 1, {"b"}},
        {"line breaks in the payload are skipped", "#0;2;100;0;0\r\n#0~\r\n~", 2, 6, repeatRow("rr", 6)},
        {"blank sixels widen the image", "#0;2;100;0;0#0!2?@", 3, 1, {"..r"}},
        {"bands with nothing drawn below do not count", "#0;2;100;0;0#0@-----", 1, 1, {"r"}},
        {"extra colour parameters are ignored", "#0;2;0;100;0;9;9#0@", 1, 1, {"g"}},
        // Empty images are still delivered.
        {"no colour introducer", "\"1;1;4;4~~~", 0, 0, {}},
        {"no payload", "", 0, 0, {}},
        {"# without numbers first", "#~~", 0, 0, {}},
        {"only blank sixels", "#0!5?", 5, 0, {}},
    };
    for (const Case& c : cases) {
        auto t = makeTerminal();
        auto bitmaps = feedSixel(*t, c.payload);
        ASSERT_EQ(bitmaps.size(), 1u) << c.name;
        EXPECT_EQ(bitmaps[0].width, c.width) << c.name;
        EXPECT_EQ(bitmaps[0].height, c.height) << c.name;
        EXPECT_EQ(bitmaps[0].bytes, picture(**t, c.rows)) << c.name;
    }
}

TEST(SixelDcsHandlerTest, OversizedImagesAreDropped) {
    const std::string bands(1666, '-');
    struct Case {
        const char* name;
        std::string payload;
        int width;  // 0: dropped
        int height;
    } cases[] = {
        {"width at the cap", "#0!10000~", 10000, 6},
        {"width over the cap", "#0!10001~", 0, 0},
        {"width over the cap in steps", "#0!9999~~~", 0, 0},
        {"width over the cap in a later band", "#0~-!10001?", 0, 0},
        {"height at the cap", "#0" + bands + "N", 1, 10000},
        {"height over the cap", "#0" + bands + "O", 0, 0},
        {"repeat count far beyond any integer", "#0!99999999999999999999999~", 0, 0},
        {"register far beyond any integer", "#99999999999999;2;100;0;0#99999999999999~", 1, 6},
    };
    for (const Case& c : cases) {
        auto t = makeTerminal();
        auto bitmaps = feedSixel(*t, c.payload);
        if (c.width == 0) {
            EXPECT_TRUE(bitmaps.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(bitmaps.size(), 1u) << c.name;
        EXPECT_EQ(bitmaps[0].width, c.width) << c.name;
        EXPECT_EQ(bitmaps[0].height, c.height) << c.name;
        EXPECT_EQ(bitmaps[0].bytes.size(), static_cast<size_t>(c.width) * c.height * 4) << c.name;
    }
}

TEST(SixelDcsHandlerTest, DataAndBitmapLimits) {
    struct Case {
        const char* name;
        SixelDcsHandler::Limits limits;
        std::vector<std::string> puts;
        bool delivered;
    } cases[] = {
        {"data at the limit", {.maximumDataBytes = 8}, {"#0~~", "~~~~"}, true},
        {"data over the limit", {.maximumDataBytes = 8}, {"#0~~", "~~~~", "~"}, false},
        {"bitmap at the limit", {.maximumBitmapBytes = 2 * 6 * 4}, {"#0~~"}, true},
        {"bitmap over the limit", {.maximumBitmapBytes = 2 * 6 * 4 - 1}, {"#0~~"}, false},
        {"width limit", {.maximumWidth = 1}, {"#0~~"}, false},
        {"height limit", {.maximumHeight = 5}, {"#0~"}, false},
        // 2048 x 6 pixels painted 16 times over is within the budget, 17 times is not.
        {"overdraw at the budget", {.maximumOverdraw = 16, .minimumPaintBudget = 0}, overdraw(2048, 16), true},
        {"overdraw over the budget", {.maximumOverdraw = 16, .minimumPaintBudget = 0}, overdraw(2048, 17), false},
        {"small images may overdraw up to the minimum budget",
         {.maximumOverdraw = 1, .minimumPaintBudget = 48000},
         overdraw(8, 1000),
         true},
        {"and no further", {.maximumOverdraw = 1, .minimumPaintBudget = 47999}, overdraw(8, 1000), false},
        {"the default budget stops a hostile repaint", {}, overdraw(10000, 100), false},
    };
    for (const Case& c : cases) {
        TestTerminal t;
        SixelDcsHandler handler(*t, c.limits);
        handler.hook("", {}, 'q');
        for (const std::string& data : c.puts)
            handler.put(std::span(reinterpret_cast<const uint8_t*>(data.data()), data.size()));
        handler.unhook();
        EXPECT_EQ(t.delegate.bitmaps.size(), c.delivered ? 1u : 0u) << c.name;
    }
}

TEST(SixelDcsHandlerTest, PayloadSplitAcrossFeedsDecodesTheSame) {
    const std::string payload = "#1;2;100;0;0#1!3~-#2;1;0;50;100#2@$#1A";
    auto whole = makeTerminal();
    auto expected = feedSixel(*whole, payload, "0;1;0");
    ASSERT_EQ(expected.size(), 1u);

    auto t = makeTerminal();
    const std::string sequence = "\x1bP0;1;0q" + payload + "\x1b\\";
    for (char c : sequence) t->feed(std::string_view(&c, 1));
    ASSERT_EQ(t->delegate.bitmaps.size(), 1u);
    EXPECT_EQ(t->delegate.bitmaps[0].width, 3);
    EXPECT_EQ(t->delegate.bitmaps[0].height, 8);
    EXPECT_EQ(t->delegate.bitmaps[0].bytes, expected[0].bytes);
}

TEST(SixelDcsHandlerTest, RegistersDoNotCarryOverToTheNextImage) {
    auto t = makeTerminal();
    feedSixel(*t, "#1;2;0;0;100#1@");
    auto bitmaps = feedSixel(*t, "#1@");
    ASSERT_EQ(bitmaps.size(), 2u);
    EXPECT_EQ(bitmaps[0].bytes, picture(**t, {"b"}));
    EXPECT_EQ(bitmaps[1].bytes, picture(**t, {"1"}));
}

TEST(SixelDcsHandlerTest, NoDelegateIsHarmless) {
    auto t = makeTerminal();
    (*t)->setDelegate(nullptr);
    t->feed("\x1bPq#0;2;100;0;0#0~~\x1b\\\x1b]2;after\x07");
    EXPECT_EQ((*t)->terminalTitle, "after");
}

TEST(SixelDcsHandlerTest, HlsToRgb) {
    struct Case {
        int hue, lum, sat;
        uint32_t rgb;
    } cases[] = {
        {0, 50, 100, 0x0000FF},   {60, 50, 100, 0xFF00FF},  {180, 50, 100, 0xFFFF00}, {240, 50, 100, 0x00FF00},
        {360, 50, 100, 0x0000FF}, {150, 50, 100, 0xFF7F00}, {120, 25, 100, 0x7F0000}, {120, 75, 100, 0xFF7F7F},
        {0, 100, 0, 0xFFFFFF},    {0, 0, 100, 0x000000},    {120, 50, 50, 0xBF3F3F},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SixelDcsHandler::hlsToRgb(c.hue, c.lum, c.sat), c.rgb) << c.hue << "," << c.lum << "," << c.sat;
    EXPECT_EQ(SixelDcsHandler::sixelRgb(100, 50, 0), 0xFF7F00FFu);
    EXPECT_EQ(SixelDcsHandler::pctToByte(-5), 0);
    EXPECT_EQ(SixelDcsHandler::pctToByte(101), 255);
}
