#include "vantel/view/InlineImages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/gfx/Canvas.h"
#include "support/TerminalTestSupport.h"
#include "vantel/graphics/TerminalGraphics.h"
#include "vantel/view/ImageBand.h"

using namespace vantel;
using namespace vantel::testing;
using platform::gfx::Image;
using platform::gfx::Rect;
using platform::gfx::Size;
using R = ImageSizeRequest;

namespace {

// A view of 10 × 5 cells of 8 × 16 points.
const InlineImageView view1{{80, 80}, {8, 16}, 1};
const InlineImageView view2{{80, 80}, {8, 16}, 2};

// Opaque straight-alpha RGBA bytes, every pixel (r, g, b, a).
std::vector<uint8_t> rgba(int width, int height, std::array<uint8_t, 4> pixel = {10, 200, 30, 255}) {
    std::vector<uint8_t> out;
    for (int i = 0; i < width * height; ++i) out.insert(out.end(), pixel.begin(), pixel.end());
    return out;
}

struct Screen {
    Screen() : t((installGraphicsProtocols(), 10), 5) {}
    KittyGraphics& kitty() { return *kittyGraphicsOf(*t); }
    // The bands on a screen row.
    std::vector<ImageBand*> bands(int row) {
        std::vector<ImageBand*> out;
        const BufferLine* line = t->getLine(row);
        if (!line || !line->images()) return out;
        for (const auto& image : *line->images()) out.push_back(dynamic_cast<ImageBand*>(image.get()));
        return out;
    }
    void bitmap(int width, int height, const InlineImageView& view = view1, std::array<uint8_t, 4> pixel = {10, 200, 30, 255}) {
        InlineImages::createImageFromBitmap(*t, view, rgba(width, height, pixel), width, height);
    }
    TestTerminal t;
};

}  // namespace

TEST(InlineImages, KittyAspectFitRect) {
    struct Case {
        Size image;
        Rect rect, expected;
    } cases[] = {{{200, 100}, {0, 0, 100, 100}, {0, 25, 100, 50}},
                 {{100, 200}, {10, 10, 100, 100}, {35, 10, 50, 100}},
                 {{0, 100}, {0, 0, 100, 100}, {0, 0, 100, 100}},
                 {{200, 100}, {5, 5, 0, 100}, {5, 5, 0, 100}}};
    for (const Case& c : cases) EXPECT_EQ(InlineImages::kittyAspectFitRect(c.image, c.rect), c.expected);
}

// Frame 80 × 80, cells 8 × 16; a natural size of 200 × 100 pixels unless said otherwise.
TEST(InlineImages, LayoutFromRequests) {
    struct Case {
        R width, height;
        bool preserve;
        double scale;
        std::optional<InlineImages::Layout> expected;  // none: dropped
        Size natural = {200, 100};
    } cases[] = {
        {R::cells(10), R::automatic(), true, 1, InlineImages::Layout{80, 40, 10, 3, {0, 0, 80, 40}}},
        {R::automatic(), R::cells(2), true, 1, InlineImages::Layout{64, 32, 8, 2, {0, 0, 64, 32}}},
        {R::percent(100), R::automatic(), true, 1, InlineImages::Layout{80, 40, 10, 3, {0, 0, 80, 40}}},
        {R::pixels(50), R::pixels(30), false, 1, InlineImages::Layout{50, 30, 7, 2, {0, 0, 50, 30}}},
        // Both sides asked for: the picture is fitted and centred.
        {R::cells(4), R::cells(4), true, 1, InlineImages::Layout{32, 64, 4, 4, {0, 24, 32, 16}}},
        // Natural size in points at the backing scale.
        {R::automatic(), R::automatic(), true, 2, InlineImages::Layout{100, 50, 13, 4, {0, 0, 100, 50}}},
        {R::automatic(), R::automatic(), true, 1, InlineImages::Layout{600, 300, 75, 19, {0, 0, 600, 300}}, {600, 300}},
        {R::pixels(0), R::pixels(0), false, 1, InlineImages::Layout{0, 0, 0, 0, {0, 0, 0, 0}}},
        // Past eight frames, or a natural side of 0: dropped.
        {R::cells(65535), R::automatic(), true, 1, std::nullopt},
        {R::automatic(), R::pixels(641), false, 1, std::nullopt},
        {R::percent(900), R::cells(1), true, 1, std::nullopt},
        {R::automatic(), R::automatic(), true, 1, std::nullopt, {0, 100}},
        {R::cells(2), R::automatic(), true, 1, std::nullopt, {200, 0}},
        // More rows than the screen and scroll-back hold.
        {R::automatic(), R::cells(31), false, 1, std::nullopt},
    };
    for (const Case& c : cases) {
        auto layout = InlineImages::layout(c.natural, c.width, c.height, c.preserve, {{80, 80}, {8, 16}, c.scale}, 30);
        ASSERT_EQ(layout.has_value(), c.expected.has_value()) << c.width.value << " " << c.height.value;
        if (!layout) continue;
        EXPECT_EQ((std::tuple{layout->width, layout->height, layout->cols, layout->rows, layout->content}),
                  (std::tuple{c.expected->width, c.expected->height, c.expected->cols, c.expected->rows,
                              c.expected->content}))
            << c.width.value << " " << c.height.value;
    }
}

// A Sixel bitmap wider than the view is shown at the frame's width, its aspect kept; a narrower
// one at its natural size over the backing scale. The cursor ends at the start column, one line
// below the last band.
TEST(InlineImages, SixelBitmapsAreSizedToTheFrame) {
    struct Case {
        int width, height;
        InlineImageView view;
        int bandWidth, rows;
        std::pair<int, int> imagePixels;  // of each band
    } cases[] = {{200, 100, view1, 80, 3, {80, 16}}, {40, 20, view2, 20, 1, {40, 32}}, {60, 33, view1, 60, 3, {60, 16}}};
    for (const Case& c : cases) {
        Screen s;
        s.t.feed("\r\n  ");
        s.bitmap(c.width, c.height, c.view);
        for (int row = 1; row < 1 + c.rows; ++row) {
            auto bands = s.bands(row);
            ASSERT_EQ(bands.size(), 1u) << c.width << " " << row;
            EXPECT_EQ((std::tuple{bands[0]->pixelWidth, bands[0]->pixelHeight, bands[0]->col, bands[0]->kittyIsKitty}),
                      (std::tuple{c.bandWidth, 16, 2, false}));
            EXPECT_EQ((std::pair{bands[0]->image.width, bands[0]->image.height}), c.imagePixels);
        }
        EXPECT_TRUE(s.bands(1 + c.rows).empty());
        EXPECT_EQ(s.t.cursor(), std::pair(2, 1 + c.rows));
    }
}

// 33 pixel rows in cells of 16: the third band holds one row of picture and is transparent below.
// A half-transparent red pixel stays half-transparent red (premultiplied once, not darkened).
TEST(InlineImages, BandPixels) {
    Screen s;
    s.bitmap(60, 33, view1, {255, 0, 0, 128});
    const Image& last = s.bands(2)[0]->image;
    EXPECT_EQ(last.pixels[0], 0x80800000u);
    EXPECT_EQ(last.pixels[1 * 60 + 5], 0u);
    EXPECT_EQ(last.pixels[15 * 60 + 59], 0u);
    EXPECT_EQ(s.bands(0)[0]->image.pixels[15 * 60 + 59], 0x80800000u);
}

// A picture taller than the screen scrolls it; then every row is marked dirty.
TEST(InlineImages, ScrollingMarksEveryRowDirty) {
    struct Case {
        int height;
        std::pair<int, int> dirty;
    } cases[] = {{32, {1, 2}}, {128, {0, 5}}};
    for (const Case& c : cases) {
        Screen s;
        s.t.feed("\r\n");
        s.t->clearUpdateRange();
        s.bitmap(8, c.height);
        EXPECT_EQ(s.t->getUpdateRange(), c.dirty) << c.height;
    }
}

// With a Kitty placement the record is stored and every band carries the placement; with cursor
// policy 0 the cursor moves right of the image (clamped to the last column), otherwise below it.
TEST(InlineImages, KittyPlacements) {
    struct Case {
        int startCol;
        R width, height;
        int cursorPolicy;
        bool relative;
        int cols, rows;
        std::pair<int, int> cursor;
    } cases[] = {
        {4, R::cells(3), R::cells(2), 0, false, 3, 2, {7, 3}},
        {8, R::cells(3), R::cells(2), 0, false, 3, 2, {9, 3}},
        {4, R::cells(3), R::cells(2), 1, false, 3, 2, {4, 3}},
        {4, R::cells(3), R::cells(2), 0, true, 3, 2, {4, 3}},
        // No rows: nothing attached, no line feed, but the record, and the cursor still moves on.
        {4, R::cells(3), R::pixels(0), 0, false, 3, 0, {7, 2}},
        {4, R::cells(3), R::pixels(0), 1, false, 3, 0, {4, 1}},
    };
    for (const Case& c : cases) {
        Screen s;
        s.t.feed("\r\n" + std::string(c.startCol, ' '));
        KittyPlacementContext context;
        context.imageId = 7;
        context.placementId = 3;
        context.zIndex = -2;
        context.widthRequest = c.width;
        context.heightRequest = c.height;
        context.preserveAspectRatio = false;
        context.cursorPolicy = c.cursorPolicy;
        context.isRelative = c.relative;
        context.pixelOffsetX = 5;
        s.kitty().placementContext = context;
        s.bitmap(20, 20);
        const KittyPlacementRecord& record = s.kitty().state().placementsByKey.at({7, 3});
        EXPECT_EQ((std::tuple{record.col, record.row, record.cols, record.rows, record.zIndex, record.isVirtual}),
                  (std::tuple{c.startCol, 1, c.cols, c.rows, -2, false}));
        for (int row = 1; row < 1 + c.rows; ++row) {
            auto bands = s.bands(row);
            ASSERT_EQ(bands.size(), 1u);
            const ImageBand& b = *bands[0];
            EXPECT_TRUE(b.kittyIsKitty);
            EXPECT_EQ((std::tuple{b.kittyImageId, b.kittyPlacementId, b.kittyZIndex, b.kittyPixelOffsetX}),
                      (std::tuple{std::optional<uint32_t>(7), std::optional<uint32_t>(3), -2, 5}));
            EXPECT_EQ((std::tuple{b.kittyCol, b.kittyRow, b.kittyCols, b.kittyRows}),
                      (std::tuple{c.startCol, 1, c.cols, c.rows}));
        }
        EXPECT_TRUE(s.bands(1 + c.rows).empty());
        EXPECT_EQ(s.t.cursor(), c.cursor) << c.startCol << " " << c.cursorPolicy;
    }
}

// Encoded files go through the image decoder; data that is not an image, an oversized request or
// a bitmap whose bytes do not match its size attaches nothing.
TEST(InlineImages, EncodedImagesAndRefusals) {
    platform::gfx::Canvas picture({24, 40}, 1);
    picture.fill(Rect{0, 0, 24, 40}, {0, 0, 1, 1});
    auto path = std::filesystem::temp_directory_path() / "inline-images-test.png";
    ASSERT_TRUE(picture.writePng(path));
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> png((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::filesystem::remove(path);

    Screen s;
    InlineImages::createImage(*s.t, view1, png, R::automatic(), R::automatic(), true);
    EXPECT_EQ(s.bands(0).size(), 1u);
    EXPECT_EQ(s.bands(2).size(), 1u);
    EXPECT_EQ(s.bands(0)[0]->image.pixels[0], 0xFF0000FFu);
    EXPECT_EQ(s.t.cursor(), std::pair(0, 3));

    Screen refused;
    const std::vector<uint8_t> text{'n', 'o', 't'};
    InlineImages::createImage(*refused.t, view1, text, R::automatic(), R::automatic(), true);
    InlineImages::createImage(*refused.t, view1, png, R::cells(65535), R::automatic(), true);
    InlineImages::createImageFromBitmap(*refused.t, view1, rgba(4, 4), 4, 5);
    for (int row = 0; row < 5; ++row) EXPECT_TRUE(refused.bands(row).empty());
    EXPECT_EQ(refused.t.cursor(), std::pair(0, 0));
}

// Pictures drawn over and over on one line keep only the newest few hundred bands.
TEST(InlineImages, OneLineHoldsABoundedNumberOfImages) {
    Screen s;
    for (size_t i = 0; i < InlineImages::maximumImagesPerLine + 20; ++i) {
        s.bitmap(4, 4);
        s.t.feed("\x1b[A");
    }
    EXPECT_EQ(s.bands(0).size(), InlineImages::maximumImagesPerLine);
}
