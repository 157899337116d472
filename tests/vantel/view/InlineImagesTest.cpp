#include "vantel/view/InlineImages.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/ImageDecoder.h"
#include "support/TerminalTestSupport.h"
#include "vantel/graphics/TerminalGraphics.h"
#include "vantel/view/ImageBand.h"

using namespace vantel;
using namespace vantel::testing;
using platform::gfx::Rect;
using platform::gfx::Size;
using Layout = InlineImages::Layout;
using R = ImageSizeRequest;

namespace {

// A view of 10 × 5 cells of 8 × 16 points.
const InlineImageView view1{{80, 80}, {8, 16}, 1};

std::vector<uint8_t> rgba(int width, int height, std::array<uint8_t, 4> pixel = {10, 200, 30, 255}) {
    std::vector<uint8_t> out;
    for (int i = 0; i < width * height; ++i) out.insert(out.end(), pixel.begin(), pixel.end());
    return out;
}

// A grey PNG of one bit per pixel: small however large it says it is, and whole.
std::vector<uint8_t> greyPng(uint32_t width, uint32_t height) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto be32 = [&](uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
    };
    auto chunk = [&](const char* type, const std::vector<uint8_t>& data) {
        be32(static_cast<uint32_t>(data.size()));
        const size_t start = out.size();
        out.insert(out.end(), type, type + 4);
        out.insert(out.end(), data.begin(), data.end());
        be32(static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
    };
    std::vector<uint8_t> header;
    out.swap(header);
    be32(width), be32(height);
    out.insert(out.end(), {1, 0, 0, 0, 0});  // one bit, grey
    out.swap(header);
    const std::vector<uint8_t> rows(size_t{height} * (1 + (width + 7) / 8), 0);
    uLongf size = compressBound(rows.size());
    std::vector<uint8_t> compressed(size);
    compress2(compressed.data(), &size, rows.data(), rows.size(), 9);
    compressed.resize(size);
    chunk("IHDR", header);
    chunk("IDAT", compressed);
    chunk("IEND", {});
    return out;
}

struct Screen {
    Screen() : t((installGraphicsProtocols(), 10), 5) {}
    KittyGraphics& kitty() { return *kittyGraphicsOf(*t); }
    std::vector<ImageBand*> bands(int row) {
        std::vector<ImageBand*> out;
        if (const TerminalImageList* images = t->getLine(row)->images()) {
            for (const auto& image : *images) out.push_back(dynamic_cast<ImageBand*>(image.get()));
        }
        return out;
    }
    void bitmap(int width, int height, const InlineImageView& view = view1,
                std::array<uint8_t, 4> pixel = {1, 2, 3, 255}) {
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
                 {{200, 100}, {0, 0, 50, 50}, {0, 12.5, 50, 25}},
                 {{0, 100}, {0, 0, 100, 100}, {0, 0, 100, 100}}};
    for (const Case& c : cases) EXPECT_EQ(InlineImages::kittyAspectFitRect(c.image, c.rect), c.expected);
}

// Frame 80 × 80, cells 8 × 16, at most 30 rows; a natural size of 200 × 100 pixels unless said otherwise.
TEST(InlineImages, LayoutFromRequests) {
    struct Case {
        R width, height;
        bool preserve;
        double scale;
        std::optional<Layout> expected;  // none: dropped
        Size natural = {200, 100};
    } cases[] = {
        {R::cells(10), R::automatic(), true, 1, Layout{80, 40, 10, 3, {0, 0, 80, 40}}},
        {R::automatic(), R::cells(2), true, 1, Layout{64, 32, 8, 2, {0, 0, 64, 32}}},
        {R::percent(100), R::automatic(), true, 1, Layout{80, 40, 10, 3, {0, 0, 80, 40}}},
        {R::pixels(50), R::pixels(30), false, 1, Layout{50, 30, 7, 2, {0, 0, 50, 30}}},
        // Both sides asked for: the picture is fitted and centred.
        {R::cells(4), R::cells(4), true, 1, Layout{32, 64, 4, 4, {0, 24, 32, 16}}},
        {R::automatic(), R::automatic(), true, 2, Layout{100, 50, 13, 4, {0, 0, 100, 50}}},
        {R::automatic(), R::automatic(), true, 1, Layout{600, 300, 75, 19, {0, 0, 600, 300}}, {600, 300}},
        {R::pixels(0), R::pixels(0), false, 1, Layout{0, 0, 0, 0, {0, 0, 0, 0}}},
        // Past eight frames, more rows than the buffer holds, or a natural side of 0: dropped.
        {R::cells(65535), R::automatic(), true, 1, std::nullopt},
        {R::tooLarge(), R::automatic(), true, 1, std::nullopt},
        {R::cells(1), R::tooLarge(), false, 1, std::nullopt},
        {R::automatic(), R::pixels(641), false, 1, std::nullopt},
        {R::percent(900), R::cells(1), true, 1, std::nullopt},
        {R::automatic(), R::cells(31), false, 1, std::nullopt},
        {R::automatic(), R::automatic(), true, 1, std::nullopt, {0, 100}},
        {R::cells(2), R::automatic(), true, 1, std::nullopt, {200, 0}},
    };
    for (const Case& c : cases) {
        auto layout = InlineImages::layout(c.natural, c.width, c.height, c.preserve, {{80, 80}, {8, 16}, c.scale}, 30);
        ASSERT_EQ(layout.has_value(), c.expected.has_value()) << c.width.value << " " << c.height.value;
        if (!layout) continue;
        EXPECT_EQ((std::tuple{layout->width, layout->height, layout->cols, layout->rows, layout->content}),
                  (std::tuple{c.expected->width, c.expected->height, c.expected->cols, c.expected->rows,
                              c.expected->content}));
    }
}

// A Sixel bitmap wider than the view is shown at the frame's width, its aspect kept; a narrower
// one at its natural size over the backing scale. The cursor ends at the start column, one line
// below the last band.
TEST(InlineImages, SixelBitmapsAreSizedToTheFrame) {
    struct Case {
        int width, height;
        double scale;
        int bandWidth, rows;
        std::pair<int, int> bandPixels;
    } cases[] = {{200, 100, 1, 80, 3, {80, 16}}, {40, 20, 2, 20, 1, {40, 32}}, {60, 33, 1, 60, 3, {60, 16}}};
    for (const Case& c : cases) {
        Screen s;
        s.t.feed("\r\n  ");
        s.bitmap(c.width, c.height, {{80, 80}, {8, 16}, c.scale});
        for (int row = 1; row < 1 + c.rows; ++row) {
            ASSERT_EQ(s.bands(row).size(), 1u) << c.width << " " << row;
            const ImageBand& band = *s.bands(row)[0];
            EXPECT_EQ((std::tuple{band.pixelWidth, band.pixelHeight, band.col, band.kittyIsKitty}),
                      (std::tuple{c.bandWidth, 16, 2, false}));
            EXPECT_EQ((std::pair{band.image.width, band.image.height}), c.bandPixels);
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
    const auto& last = s.bands(2)[0]->image.pixels;
    EXPECT_EQ((std::vector{last[0], last[60 + 5], last[15 * 60 + 59]}), (std::vector{0x80800000u, 0u, 0u}));
    EXPECT_EQ(s.bands(0)[0]->image.pixels[15 * 60 + 59], 0x80800000u);
}

// A picture taller than the screen scrolls it; then every row is marked dirty.
TEST(InlineImages, ScrollingMarksEveryRowDirty) {
    for (auto [height, dirty] : {std::pair{32, std::pair{1, 2}}, {128, {0, 5}}}) {
        Screen s;
        s.t.feed("\r\n");
        s.t->clearUpdateRange();
        s.bitmap(8, height);
        EXPECT_EQ(s.t->getUpdateRange(), dirty) << height;
    }
}

// With a Kitty placement the record is stored and every band carries the placement; with cursor
// policy 0 (not relative) the cursor moves right of the image, else below it.
TEST(InlineImages, KittyPlacements) {
    struct Case {
        int startCol;
        R height;
        int cursorPolicy;
        bool relative;
        int rows;
        std::pair<int, int> cursor;
    } cases[] = {
        {4, R::cells(2), 0, false, 2, {7, 3}},
        {8, R::cells(2), 0, false, 2, {9, 3}},  // clamped to the last column
        {4, R::cells(2), 1, false, 2, {4, 3}},
        {4, R::cells(2), 0, true, 2, {4, 3}},
        // No rows: nothing attached, no line feed; the record is stored and the cursor moves on.
        {4, R::pixels(0), 0, false, 0, {7, 2}},
        {4, R::pixels(0), 1, false, 0, {4, 1}},
    };
    for (const Case& c : cases) {
        Screen s;
        s.t.feed("\r\n" + std::string(c.startCol, ' '));
        KittyPlacementContext& k = s.kitty().placementContext.emplace();
        k.imageId = 7, k.placementId = 3, k.zIndex = -2, k.pixelOffsetX = 5;
        k.widthRequest = R::cells(3), k.heightRequest = c.height, k.preserveAspectRatio = false;
        k.cursorPolicy = c.cursorPolicy, k.isRelative = c.relative;
        s.bitmap(20, 20);
        const KittyPlacementRecord& record = s.kitty().state().placementsByKey.at({7, 3});
        EXPECT_EQ((std::tuple{record.col, record.row, record.cols, record.rows, record.zIndex, record.isVirtual}),
                  (std::tuple{c.startCol, 1, 3, c.rows, -2, false}));
        for (int row = 1; row < 1 + c.rows; ++row) {
            ASSERT_EQ(s.bands(row).size(), 1u);
            const ImageBand& b = *s.bands(row)[0];
            EXPECT_EQ(
                (std::tuple{b.kittyIsKitty, *b.kittyImageId, *b.kittyPlacementId, b.kittyZIndex, b.kittyPixelOffsetX}),
                (std::tuple{true, 7u, 3u, -2, 5}));
            EXPECT_EQ((std::tuple{b.kittyCol, b.kittyRow, b.kittyCols, b.kittyRows}),
                      (std::tuple{c.startCol, 1, 3, c.rows}));
        }
        EXPECT_TRUE(s.bands(1 + c.rows).empty());
        EXPECT_EQ(s.t.cursor(), c.cursor) << c.startCol << " " << c.cursorPolicy;
    }
}

// Encoded files go through the image decoder. Data that is not an image, an oversized request and
// a bitmap whose bytes do not match its size attach nothing. One line keeps a bounded number of
// images when pictures are drawn over and over in one place.
TEST(InlineImages, EncodedImagesRefusalsAndBounds) {
    platform::gfx::Canvas picture({24, 40}, 1);
    picture.fill(Rect{0, 0, 24, 40}, {0, 0, 1, 1});
    auto path = std::filesystem::temp_directory_path() / "inline-images-test.png";
    ASSERT_TRUE(picture.writePng(path));
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> png((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::filesystem::remove(path);

    Screen s;
    InlineImages::createImage(*s.t, view1, png, R::automatic(), R::automatic(), true);
    EXPECT_EQ(s.bands(2).size(), 1u);
    EXPECT_EQ(s.bands(0)[0]->image.pixels[0], 0xFF0000FFu);
    EXPECT_EQ(s.t.cursor(), std::pair(0, 3));

    Screen refused;
    InlineImages::createImage(*refused.t, view1, std::vector<uint8_t>{'n', 'o'}, R::automatic(), R::automatic(), true);
    InlineImages::createImage(*refused.t, view1, png, R::cells(65535), R::automatic(), true);
    InlineImages::createImageFromBitmap(*refused.t, view1, rgba(4, 4), 4, 5);
    for (int row = 0; row < 5; ++row) EXPECT_TRUE(refused.bands(row).empty());
    EXPECT_EQ(refused.t.cursor(), std::pair(0, 0));

    for (size_t i = 0; i < InlineImages::maximumImagesPerLine + 20; ++i) {
        refused.bitmap(4, 4);
        refused.t.feed("\x1b[A");
    }
    EXPECT_EQ(refused.bands(0).size(), InlineImages::maximumImagesPerLine);
}

// Bands count against the terminal's image budget together with the engine's own images: past
// it the least recently shown leave the lines (and the store), the newest picture stays, and
// what the lines let go of is no longer counted.
TEST(InlineImages, BandsStayWithinTheImageBudget) {
    installGraphicsProtocols();
    constexpr int64_t bandBytes = 80 * 16 * 4;
    constexpr int64_t budget = 8 * bandBytes;
    TestTerminal t(10, 5, [](TerminalOptions& o) {
        o.kittyImageCacheLimitBytes = budget;
        o.scrollback = 100;
    });
    KittyGraphics& kitty = *kittyGraphicsOf(*t);
    t.feed("\x1b_Ga=t,q=2,f=24,s=1,v=1,i=1;CgoU\x1b\\");
    ASSERT_TRUE(kitty.state().imagesById.contains(1));

    auto bandsHeld = [&] {
        std::vector<const ImageBand*> bands;
        Buffer& buffer = t->normalBuffer();
        for (int line = 0; line < buffer.lines().count(); ++line) {
            if (const TerminalImageList* images = buffer.lines()[line].images()) {
                for (const auto& image : *images) bands.push_back(dynamic_cast<const ImageBand*>(image.get()));
            }
        }
        return bands;
    };
    for (int i = 0; i < 40; ++i) {
        const auto shade = static_cast<uint8_t>(i);
        InlineImages::createImageFromBitmap(*t, view1, rgba(80, 16, {shade, 0, 0, 255}), 80, 16);
        ASSERT_LE(kitty.memory().heldBytes(), budget) << "after picture " << i;
    }
    const auto bands = bandsHeld();
    EXPECT_EQ(kitty.memory().heldBytes(), static_cast<int64_t>(bands.size()) * bandBytes);
    EXPECT_GE(bands.size(), 6u);
    EXPECT_LE(bands.size(), 8u);
    EXPECT_EQ(bands.back()->image.pixels[0], 0xFF270000u) << "the newest picture is kept";
    EXPECT_FALSE(kitty.state().imagesById.contains(1)) << "the stored image was the oldest";

    t.feed("\x1b" "c");
    EXPECT_TRUE(bandsHeld().empty());
    EXPECT_EQ(kitty.memory().heldBytes(), 0);
}

// A program's image that the layout would drop is refused from its header's size: an 8192 × 8192
// picture never has its 192 MiB of pixels decoded. Each runs in a child of its own, so that the
// child's peak memory is the image's.
TEST(InlineImages, ImagesTheLayoutDropsAreNeverDecoded) {
    platform::gfx::ImageDecoder::decode(greyPng(1, 1));  // the decoder's modules are loaded before the fork
    struct Case {
        uint32_t side;
        int bands;
    } cases[] = {{8192, 0}, {40, 3}};
    for (const Case& c : cases) {
        const std::vector<uint8_t> png = greyPng(c.side, c.side);
        const long pageKiB = ::sysconf(_SC_PAGESIZE) / 1024;
        long pages = 0, resident = 0;
        std::ifstream("/proc/self/statm") >> pages >> resident;
        const pid_t child = ::fork();
        if (child == 0) {
            Screen s;
            InlineImages::createImage(*s.t, view1, png, R::automatic(), R::automatic(), true);
            int bands = 0;
            for (int row = 0; row < 5; ++row) bands += static_cast<int>(s.bands(row).size());
            ::_exit(bands);
        }
        int status = 0;
        rusage usage{};
        ASSERT_EQ(::wait4(child, &status, 0, &usage), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.bands) << c.side;
        EXPECT_LT(usage.ru_maxrss - resident * pageKiB, 64 * 1024) << c.side << ": peak KiB above the parent's";
    }
}

// Floods of pictures stay within the terminal's image budget, plus the newest picture, at any backing
// scale: 1 × 1 PNGs each asked 4095 pixels wide, and Sixels as wide as the screen, line after line
// into the scroll-back. Pages of ordinary pictures keep every band.
TEST(InlineImages, FloodsStayWithinTheImageBudget) {
    installGraphicsProtocols();
    const std::vector<uint8_t> pixel = greyPng(1, 1);
    auto widePng = [&](Terminal& t, const InlineImageView& view) {
        InlineImages::createImage(t, view, pixel, R::pixels(4095), R::pixels(1), false);
    };
    auto wideSixel = [](Terminal& t, const InlineImageView& view) {
        InlineImages::createImageFromBitmap(t, view, rgba(640, 6), 640, 6);
    };
    auto ordinary = [](Terminal& t, const InlineImageView& view) {
        InlineImages::createImageFromBitmap(t, view, rgba(160, 64), 160, 64);
    };
    struct Case {
        const char* name;
        double scale;
        int64_t budget;
        std::function<void(Terminal&, const InlineImageView&)> send;
        int64_t newest;  // the bytes of one picture's bands
        size_t bands;    // all kept; 0: some went
    } cases[] = {
        {"wide PNGs", 1, 4 << 20, widePng, 4095 * 16 * 4, 0},
        {"wide PNGs at scale 2", 2, 4 << 20, widePng, 4095 * 32 * 4, 0},
        {"screen-wide Sixels", 1, 4 << 20, wideSixel, 640 * 16 * 4, 0},
        {"screen-wide Sixels at scale 2", 2, 4 << 20, wideSixel, 640 * 32 * 4, 0},
        {"ordinary pictures at scale 2", 2, 320 << 20, ordinary, 2 * 160 * 32 * 4, 400},
    };
    for (const Case& c : cases) {
        TestTerminal t(80, 24, [&](TerminalOptions& o) {
            o.kittyImageCacheLimitBytes = c.budget;
            o.scrollback = 1000;
        });
        const InlineImageView view{{640, 384}, {8, 16}, c.scale};
        auto bandBytes = [&] {
            int64_t bytes = 0;
            size_t count = 0;
            Buffer& buffer = t->normalBuffer();
            for (int line = 0; line < buffer.lines().count(); ++line) {
                if (const TerminalImageList* images = buffer.lines()[line].images()) {
                    for (const auto& image : *images) {
                        bytes += static_cast<int64_t>(dynamic_cast<const ImageBand&>(*image).image.pixels.size() * 4);
                        ++count;
                    }
                }
            }
            return std::pair(bytes, count);
        };
        int64_t most = 0;
        for (int i = 0; i < 200; ++i) {
            c.send(*t, view);
            most = std::max(most, bandBytes().first);
        }
        EXPECT_LE(most, c.budget + c.newest) << c.name;
        EXPECT_LE(kittyGraphicsOf(*t)->memory().heldBytes(), c.budget + c.newest) << c.name;
        if (c.bands) {
            EXPECT_EQ(bandBytes(), std::pair(c.newest * 200, c.bands)) << c.name;
        }
    }
}


// The view asks the store to record its placement: at the store's bound on records a placement
// under a new key still shows its bands, and only its record is dropped; one under a key the store
// holds replaces that record.
TEST(InlineImages, KittyPlacementRecordsKeepTheStoresBound) {
    struct Case {
        uint32_t placementId;
        bool recorded;
    } cases[] = {{1, true}, {2, false}};
    for (const Case& c : cases) {
        Screen s;
        s.kitty().setLimits({.maximumImages = 4, .maximumPlacements = 1, .maximumImagesPerLine = 4});
        KittyPlacementRecord earlier;
        earlier.imageId = 7, earlier.placementId = 1, earlier.col = 9;
        ASSERT_TRUE(s.kitty().recordPlacement(earlier));
        KittyPlacementContext& k = s.kitty().placementContext.emplace();
        k.imageId = 7, k.placementId = c.placementId;
        k.widthRequest = R::cells(2), k.heightRequest = R::cells(1), k.preserveAspectRatio = false;
        s.bitmap(16, 16);
        const auto& records = s.kitty().state().placementsByKey;
        EXPECT_EQ(records.size(), 1u) << c.placementId;
        EXPECT_EQ(records.contains({7, c.placementId}), c.recorded) << c.placementId;
        EXPECT_EQ(records.at({7, 1}).col, c.recorded ? 0 : 9) << c.placementId;
        EXPECT_EQ(s.bands(0).size(), 1u) << c.placementId;
    }
}
