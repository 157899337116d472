// What a GPU row is made of: shaping and glyph entries, shapes, picture textures and quads, and
// the cursor.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "GpuScreenSupport.h"
#include "platform/gpu/Texture.h"
#include "platform/ui/SystemSettings.h"
#include "vantel/gpu/GpuGeometry.h"
#include "vantel/gpu/ShaperCache.h"
#include "vantel/graphics/KittyGraphicsPayload.h"

using namespace vantel;
using namespace std::chrono_literals;
using vantel::testing::GpuScreen;
using vantel::testing::kittyImage;
using Box = GpuGeometry::Box;

namespace {

const RowDrawData& rowData(GpuScreen& s, int row) { return *s.renderer().rowCache().at(row).data; }

// The box around coloured vertices.
Box bounds(const std::vector<ColorVertex>& vertices) {
    Box box{1e9f, 1e9f, -1e9f, -1e9f};
    for (const ColorVertex& v : vertices) {
        box.x0 = std::min(box.x0, v.position.x), box.y0 = std::min(box.y0, v.position.y);
        box.x1 = std::max(box.x1, v.position.x), box.y1 = std::max(box.y1, v.position.y);
    }
    return box;
}

std::array<uint8_t, 4> red(int, int) { return {255, 0, 0, 255}; }

// A placeholder cell of the image whose id is the foreground colour, at placement row 0.
std::string placeholderCell(int col) {
    static const char* columns[] = {"\xcc\x85", "\xcc\x8d", "\xcc\x8e", "\xcc\x90"};
    return std::string("\xf4\x8e\xbb\xae\xcc\x85") + columns[col];
}

}  // namespace

// The 2049th text evicts the first one inserted, even when it was just used; a hit keeps the
// order; equal texts in equal fonts share a shaping.
TEST(ShaperCache, KeepsItsBoundInFirstInOrder) {
    auto font = platform::gfx::Font::create("monospace", 13);
    ASSERT_TRUE(font);
    ShaperCache cache;
    EXPECT_FALSE(cache.shape(u"", font));
    auto first = cache.shape(u"t0", font);
    ASSERT_TRUE(first);
    auto text = [](int i) {
        const std::string digits = std::to_string(i);
        return u"t" + std::u16string(digits.begin(), digits.end());
    };
    for (int i = 1; i < 2048; ++i) ASSERT_TRUE(cache.shape(text(i), font));
    EXPECT_EQ(cache.count(), 2048u);
    EXPECT_EQ(cache.shape(u"t0", font), first);  // a hit: the same run, the order unchanged
    EXPECT_EQ(cache.order().front().text, u"t0");
    const uint64_t shaped = cache.shapedCount();
    cache.shape(u"one more", font);
    EXPECT_EQ(cache.count(), 2048u);
    EXPECT_FALSE(cache.contains(ShaperKey{font->id(), font->size(), u"t0"}));
    EXPECT_EQ(cache.shapedCount(), shaped + 1);
    EXPECT_NE(cache.shape(u"t0", font), first);  // shaped again
    // Another size of the same face is another key.
    auto larger = platform::gfx::Font::create("monospace", 14);
    EXPECT_NE(cache.shape(u"one more", larger), cache.shape(u"one more", font));
}

// A space has no ink and so no quad; letters go to the grayscale atlas in the text colour, an
// emoji white to the colour atlas; after a reset every glyph is rasterised again.
TEST(GpuGlyphs, AtlasesForEachKindOfGlyph) {
    GPU_TEST_DEVICE(device);
    GpuScreen s(20, 4);
    auto font = s.view().fontSet().normal;
    EXPECT_FALSE(s.renderer().glyphEntry(font, font->glyphIndex(' '), 13, 13));
    s.feed("\x1b[?25l    \r\nab\x1b[31mc\r\n\xf0\x9f\x98\x80");
    s.build();
    EXPECT_TRUE(rowData(s, 0).glyphCellsGray.empty());
    EXPECT_TRUE(rowData(s, 0).glyphCellsColor.empty());
    const RowDrawData& letters = rowData(s, 1);
    ASSERT_EQ(letters.glyphCellsGray.size(), 3u);
    EXPECT_EQ(letters.glyphCellsGray[0].color, GpuGeometry::colorToSimd(s.view().effectiveNativeForegroundColor()));
    EXPECT_NE(letters.glyphCellsGray[2].color, letters.glyphCellsGray[0].color);
    const RowDrawData& emoji = rowData(s, 2);
    ASSERT_EQ(emoji.glyphCellsColor.size(), 1u);
    EXPECT_TRUE(emoji.glyphCellsGray.empty());
    EXPECT_EQ(emoji.glyphCellsColor[0].color, (Float4{1, 1, 1, 1}));

    const uint64_t rasterised = s.renderer().statistics().glyphsRasterized;
    s.build();
    EXPECT_EQ(s.renderer().statistics().glyphsRasterized, rasterised);
    // A shape as large as the atlas can be: everything else goes, and comes back on next use.
    const int64_t side = s.renderer().grayscaleAtlas().maxSize();
    ASSERT_TRUE(
        s.renderer().customGlyphEntry(0x2588, static_cast<int>(side - 2), static_cast<int>(side - 2), 1, 0, false));
    EXPECT_EQ(s.renderer().glyphCacheCount(), 0u);
    EXPECT_TRUE(s.renderer().rowCache().empty());
    s.build();
    EXPECT_GE(s.renderer().statistics().glyphsRasterized, rasterised + 4);
}

// A glyph that finds no room is left out, and found room for on a later try: nothing is
// remembered of a failure.
TEST(GpuGlyphs, AFailureIsNotRemembered) {
    GPU_TEST_DEVICE(device);
    GpuScreen s(20, 4);
    auto font = s.view().fontSet().normal;
    GlyphAtlas& atlas = s.renderer().grayscaleAtlas();
    ASSERT_TRUE(atlas.ensureRegion(1022, 1022));
    atlas.frozen = true;
    EXPECT_FALSE(s.renderer().glyphEntry(font, font->glyphIndex('x'), 13, 13));
    atlas.frozen = false;
    EXPECT_TRUE(s.renderer().glyphEntry(font, font->glyphIndex('x'), 13, 13));
}

// Shapes are drawn white by the view's renderers into slot-sized coverage: a dark shade keeps
// three quarters, the thin powerline variants are not shapes, a wider slot is another entry.
TEST(GpuShapes, ShapesAsCoverage) {
    GPU_TEST_DEVICE(device);
    GpuScreen s(20, 4);
    GpuTerminalRenderer& renderer = s.renderer();
    const GlyphAtlas& atlas = renderer.grayscaleAtlas();
    auto coverageAtCentre = [&](uint32_t codePoint) -> int {
        auto entry = renderer.customGlyphEntry(codePoint, 8, 16, 1, 0, false);
        if (!entry) return -1;
        const AtlasRegion& r = entry->region;
        return atlas.data()[static_cast<size_t>(r.y + r.height / 2) * atlas.size() + r.x + r.width / 2];
    };
    struct Case {
        uint32_t codePoint;
        int coverage;
    } cases[] = {{0x2588, 255}, {0x2593, 191}, {0x2592, 128}, {0x2591, 64},
                 {0xE0B1, -1},  {0xE0B3, -1},  {0xE0B5, -1},  {'A', -1}};
    for (const Case& c : cases) EXPECT_EQ(coverageAtCentre(c.codePoint), c.coverage) << std::hex << c.codePoint;
    EXPECT_TRUE(renderer.customGlyphEntry(0xE0B0, 8, 16, 1, 0, true));
    const size_t before = renderer.customGlyphCacheCount();
    auto single = renderer.customGlyphEntry(0x2500, 8, 16, 1, 1, false);
    auto wide = renderer.customGlyphEntry(0x2500, 16, 16, 1, 1, false);
    ASSERT_TRUE(single && wide);
    EXPECT_NE(single->region, wide->region);
    EXPECT_EQ(wide->width, 16);
    EXPECT_EQ(renderer.customGlyphCacheCount(), before + 2);
    EXPECT_FALSE(renderer.customGlyphEntry(0x2500, 0, 16, 1, 1, false));
}

// A wide character's underline and strikethrough cover its whole slot, as the view draws them.
TEST(GpuShapes, DecorationsOfAWideCellCoverItsSlot) {
    GPU_TEST_DEVICE(device);
    GpuScreen s(20, 4);
    s.feed("\x1b[?25l\x1b[4m\xe6\xbc\xa2\x1b[0m \x1b[9m\xe6\xbc\xa2");
    s.build();
    const RowDrawData& row = rowData(s, 0);
    ASSERT_EQ(row.decorationCells.size(), 2u);
    for (const ColorCell& line : row.decorationCells) {
        EXPECT_FLOAT_EQ(line.size.x, static_cast<float>(std::ceil(2 * s.cell().width) * s.scale()));
    }
}

// Pictures: a texture holds its picture's bottom row first, as the atlases do; straight alpha is
// premultiplied, so half-transparent red over black is half red.
TEST(GpuImages, TexturesAreUprightAndPremultiplied) {
    GPU_TEST_DEVICE(device);
    GpuScreen s(20, 4);
    auto one = std::make_shared<KittyGraphicsPayload>(KittyGraphicsPayload::rgba({10, 20, 30, 255}, 1, 1));
    auto texture = s.renderer().payloadTexture(one);
    ASSERT_TRUE(texture);
    EXPECT_EQ(texture->width(), 1);
    EXPECT_EQ(texture->height(), 1);
    EXPECT_EQ(s.renderer().payloadTexture(one), texture);  // made once

    auto twoRows =
        std::make_shared<KittyGraphicsPayload>(KittyGraphicsPayload::rgba({255, 0, 0, 255, 0, 0, 255, 255}, 1, 2));
    auto upright = s.renderer().payloadTexture(twoRows);
    ASSERT_TRUE(upright);
    EXPECT_EQ(upright->readBytes(0, 0, 1, 1), (std::vector<uint8_t>{255, 0, 0, 255}));  // blue, bottom row first
    EXPECT_EQ(upright->readBytes(0, 1, 1, 1), (std::vector<uint8_t>{0, 0, 255, 255}));  // red on top

    s.feed("\x1b[?25l" + kittyImage("a=T,i=3", 4, 4, [](int, int) { return std::array<uint8_t, 4>{255, 0, 0, 128}; }));
    s.frame();
    const uint32_t half = s.pixel(1, 1);
    EXPECT_NEAR(static_cast<int>((half >> 16) & 0xFF), 128, 1);
    EXPECT_EQ(half & 0xFFFF, 0u);
}

// A picture sent again under the same id, with the same size and first bytes, shows its new
// pixels: textures belong to the payload object the store holds, not to an id.
TEST(GpuImages, ARetransmittedPictureShowsItsNewPixels) {
    GPU_TEST_DEVICE(device);
    GpuScreen s(20, 4);
    auto lowerHalfBlue = [](int, int y) {
        return y < 4 ? std::array<uint8_t, 4>{255, 0, 0, 255} : std::array<uint8_t, 4>{0, 0, 255, 255};
    };
    s.feed("\x1b[?25l" + kittyImage("a=t,i=5", 8, 8, red) + "\x1b_Ga=p,U=1,i=5,c=1,r=1,q=2\x1b\\\x1b[38;5;5m" +
           placeholderCell(0));
    s.frame();
    const int x = static_cast<int>(s.cell().width * s.scale() / 2);
    const int lower = static_cast<int>(s.cell().height * s.scale() * 0.6);
    EXPECT_EQ((s.pixel(x, lower) >> 16) & 0xFF, 255u);
    s.feed(kittyImage("a=t,i=5", 8, 8, lowerHalfBlue));
    s.terminal().updateFullScreen();
    s.view().updateDisplay(true);
    s.frame();
    EXPECT_EQ(s.pixel(x, lower) & 0xFF, 255u);
    EXPECT_EQ(s.renderer().kittyTextureCount(), 1u);  // the old picture's texture went with its payload
}

// A placement's Y offset moves its picture down, as in the view's own drawing.
TEST(GpuImages, PlaceholderOffsetsCountDownwards) {
    GPU_TEST_DEVICE(device);
    auto topOf = [](int offset) {
        GpuScreen s(20, 4);
        s.feed("\x1b[?25l" + kittyImage("a=t,i=6", 8, 16, red) +
               "\x1b_Ga=p,U=1,i=6,c=1,r=1,q=2,Y=" + std::to_string(offset) + "\x1b\\\x1b[38;5;6m" + placeholderCell(0));
        s.build();
        const RowDrawData& row = *s.renderer().rowCache().at(0).data;
        EXPECT_EQ(row.placeholderImageDraws.size(), 1u);
        return row.placeholderImageDraws.empty() ? 0.0f : row.placeholderImageDraws[0].vertices[4].position.y;
    };
    EXPECT_FLOAT_EQ(topOf(4), topOf(0) - 4);
}

// Textures of pictures the scroll-back keeps go once they pass the budget and the frame does not
// draw them.
TEST(GpuImages, PicturesOffScreenGoPastTheBudget) {
    GPU_TEST_DEVICE(device);
    GpuScreen s(10, 4);
    std::string sixel = "\x1bPq#1;2;90;10;10#1";
    for (int i = 0; i < 8; ++i) sixel += "~";
    sixel += "\x1b\\";
    s.feed("\x1b[?25l" + sixel);
    s.build();
    EXPECT_EQ(s.renderer().imageTextureCount(), 1u);
    s.renderer().pictureTextureBudget = 1;
    s.feed("\r\n\r\n\r\n\r\n\r\n" + sixel);
    s.build();
    EXPECT_EQ(s.renderer().imageTextureCount(), 1u);  // the one on screen
    s.build();
    EXPECT_EQ(s.renderer().imageTextureCount(), 1u);  // its row, taken from the cache, still draws it
    s.renderer().pictureTextureBudget = GpuTerminalRenderer::pictureTextureBudgetBytes;
    s.view().scrollUp(5);
    s.build();
    EXPECT_EQ(s.renderer().imageTextureCount(), 2u);  // the first made again; under the budget the second stays
}

// The cursor: as wide as its cell (two for a wide one), twice as wide on a doubled line but one
// cell high, bars and underlines 2 points thick and the hollow box 1.5, none while blinking off
// with focus, none outside the rows or columns drawn.
TEST(GpuCursor, ShapesAndPlaces) {
    GPU_TEST_DEVICE(device);
    for (double scale : {1.0, 2.0}) {
        GpuScreen s(20, 4, scale);
        s.view().setCaretViewTracksFocus(false);
        const float cw = static_cast<float>(s.cell().width * scale), ch = static_cast<float>(s.cell().height * scale);
        const float top = static_cast<float>(s.view().bounds().height * scale);
        auto cursor = [&] {
            const auto& normal = *s.view().fontSet().normal;
            return s.renderer().buildCursorDrawData(scale, s.cell().width, s.cell().height, normal.descent(),
                                                    normal.leading(), s.buffer().yDisp(), s.buffer().yDisp(),
                                                    s.buffer().yDisp() + 3);
        };
        struct Case {
            const char* bytes;
            Box expected;  // in cells from the top-left; heights in pixels when not a cell
        } cases[] = {
            {"\x1b[2 q\x1b[1;1H\xe6\xbc\xa2\x1b[1;1H", {0, 0, 2, 1}},  // a wide cell: two cells
            {"\x1b[2 q\x1b[2;1H\x1b#6ab\x1b[2;2H", {2, 1, 4, 2}},      // doubled: twice as wide
        };
        for (const Case& c : cases) {
            s.feed(c.bytes);
            const Box got = bounds(cursor().colorVertices);
            EXPECT_EQ(got,
                      (Box{c.expected.x0 * cw, top - c.expected.y1 * ch, c.expected.x1 * cw, top - c.expected.y0 * ch}))
                << c.bytes << " @" << scale;
        }
        s.feed("\x1b[3;1H\x1b#5\x1b[6 q");
        Box bar = bounds(cursor().colorVertices);
        EXPECT_EQ(bar.x1 - bar.x0, 2 * scale);
        s.feed("\x1b[4 q");
        Box underline = bounds(cursor().colorVertices);
        EXPECT_EQ(underline.y1 - underline.y0, 2 * scale);
        EXPECT_EQ(underline.x1 - underline.x0, cw);

        // Without focus a hollow box: 1.5 points, whole pixels at scale 2, a half-covered one at 1.
        s.view().setCaretViewTracksFocus(true);
        const auto hollow = cursor().colorVertices;
        const Box box = bounds(hollow);
        EXPECT_EQ(box.x1 - box.x0, cw);
        auto alphaAt = [&](float x, float y) {
            float alpha = 0;
            for (size_t i = 0; i < hollow.size(); i += 6) {
                if (x >= hollow[i].position.x && x < hollow[i + 4].position.x && y >= hollow[i].position.y &&
                    y < hollow[i + 4].position.y) {
                    alpha = hollow[i].color.w;
                }
            }
            return alpha;
        };
        const float middle = (box.y0 + box.y1) / 2;
        EXPECT_EQ(alphaAt(box.x0 + 0.5f, middle), 1.0f);
        EXPECT_NEAR(alphaAt(box.x0 + 1.5f, middle), scale == 1 ? 128 / 255.0 : 1.0, 1e-6);
        EXPECT_EQ(alphaAt(box.x0 + 3.5f, middle), 0.0f);

        // Blinking with focus: nothing in the off phase; without focus the box stays.
        s.view().setCaretViewTracksFocus(false);
        s.feed("\x1b[1 q");
        s.renderer().updateCursorBlinkTimer(true);
        s.loop.advance(s.renderer().cursorBlinkInterval());
        ASSERT_FALSE(s.renderer().cursorBlinkOn());
        EXPECT_TRUE(cursor().colorVertices.empty());
        s.view().setCaretViewTracksFocus(true);
        EXPECT_FALSE(cursor().colorVertices.empty());
        s.renderer().updateCursorBlinkTimer(false);

        // Off the rows drawn, and past the last column (after a full line): nothing.
        const auto& normal = *s.view().fontSet().normal;
        const int line = s.buffer().yBase() + s.buffer().y();
        EXPECT_TRUE(s.renderer()
                        .buildCursorDrawData(scale, s.cell().width, s.cell().height, normal.descent(), normal.leading(),
                                             s.buffer().yDisp(), line + 1, line + 2)
                        .colorVertices.empty());
        s.feed("\x1b[4;1H" + std::string(19, 'x'));
        EXPECT_FALSE(cursor().colorVertices.empty());
        s.buffer().setX(s.terminal().cols());  // a line just filled: the cursor waits past its end
        EXPECT_TRUE(cursor().colorVertices.empty());
    }
}

// On a right-to-left row the cursor stands at its cell's visual column, as the caret does.
TEST(GpuCursor, RightToLeftRowsPlaceItVisually) {
    GPU_TEST_DEVICE(device);
    GpuScreen s(20, 3);
    s.view().setCaretViewTracksFocus(false);
    s.feed("\x1b[2 q\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d abc\x1b[1;2H");
    const int visual = s.view().logicalToVisualCol(s.buffer().yBase(), 1);
    ASSERT_NE(visual, 1);
    const auto& normal = *s.view().fontSet().normal;
    auto data = s.renderer().buildCursorDrawData(1, s.cell().width, s.cell().height, normal.descent(), normal.leading(),
                                                 0, 0, 2);
    EXPECT_FLOAT_EQ(bounds(data.colorVertices).x0, static_cast<float>(visual * s.cell().width));
}

// Typing holds the GPU cursor shown, as it does the view's own caret: its blink stops at the first
// key (a frame is asked for) and starts again, shown first, half a second after the last key.
TEST(GpuCursor, TypingHoldsTheBlink) {
    GPU_TEST_DEVICE(device);
    GpuScreen s(20, 4);
    s.view().setCaretViewTracksFocus(false);
    s.feed("\x1b[1 q");
    s.frame();
    ASSERT_TRUE(s.renderer().cursorBlinkTimerRunning());
    s.loop.advance(s.renderer().cursorBlinkInterval());
    s.frame();
    ASSERT_FALSE(s.renderer().cursorBlinkOn());
    s.view().send(std::string_view("a"));
    s.loop.advance(20ms);
    EXPECT_TRUE(s.gpuView().frameRequested());
    s.frame();
    EXPECT_TRUE(s.renderer().cursorBlinkOn());
    EXPECT_FALSE(s.renderer().cursorBlinkTimerRunning());
    s.loop.advance(400ms);
    s.view().send(std::string_view("b"));
    s.loop.advance(400ms);
    s.frame();
    EXPECT_FALSE(s.renderer().cursorBlinkTimerRunning());
    s.loop.advance(120ms);
    EXPECT_TRUE(s.gpuView().frameRequested());
    s.frame();
    EXPECT_TRUE(s.renderer().cursorBlinkTimerRunning());
    EXPECT_TRUE(s.renderer().cursorBlinkOn());
}

// The GPU cursor blinks as the desktop says, as the caret view does: not at all where the desktop's
// carets hold still, at its rate otherwise (half its period shown), and no longer than its timeout,
// the timer ending by itself; each blink asks for the cursor's place alone to be drawn again.
TEST(GpuCursor, BlinksAsTheDesktopSays) {
    GPU_TEST_DEVICE(device);
    using Blink = platform::ui::SystemSettings::CaretBlink;
    struct Restore {
        Blink blink = platform::ui::SystemSettings::caretBlink();
        ~Restore() { platform::ui::SystemSettings::setCaretBlink(blink); }
    } restore;
    struct Case {
        const char* name;
        Blink desktop;
        bool blinks;
    };
    for (const Case& c : {Case{"still", {false, 1.0, 10}, false}, Case{"a blink of a second, for 3 s", {true, 1.0, 3}, true},
                          Case{"for good", {true, 0.4, 0}, true}}) {
        SCOPED_TRACE(c.name);
        platform::ui::SystemSettings::setCaretBlink(c.desktop);
        GpuScreen s(20, 4);
        s.view().setCaretViewTracksFocus(false);
        s.feed("\x1b[1 q");
        s.frame();
        ASSERT_EQ(s.renderer().cursorBlinkTimerRunning(), c.blinks);
        if (!c.blinks) continue;
        const auto half = std::chrono::duration_cast<platform::runtime::Duration>(std::chrono::duration<double>(c.desktop.period / 2));
        EXPECT_EQ(s.renderer().cursorBlinkInterval(), half);
        s.loop.advance(half - 1ms);
        EXPECT_TRUE(s.renderer().cursorBlinkOn());
        s.frame();
        s.loop.advance(1ms);
        EXPECT_FALSE(s.renderer().cursorBlinkOn());
        // Only the cursor's cell is asked to be drawn again.
        const auto caret = s.view().gpuHosting().gpuCaretRect();
        ASSERT_TRUE(caret);
        EXPECT_LE(caret->width, s.cell().width + 1);
        for (const auto& dirty : s.headless->window().dirtyRects()) {
            EXPECT_TRUE(s.gpuView().convertToWindow(*caret).contains(dirty))
                << dirty.x << "," << dirty.y << " " << dirty.width << "x" << dirty.height;
        }
        // No frame is drawn meanwhile: the timer itself ends at the timeout, the cursor shown.
        s.loop.advance(std::chrono::seconds(5));
        EXPECT_EQ(s.renderer().cursorBlinkTimerRunning(), c.desktop.timeout == 0);
        if (c.desktop.timeout > 0) {
            EXPECT_TRUE(s.renderer().cursorBlinkOn());
        }
    }
}
