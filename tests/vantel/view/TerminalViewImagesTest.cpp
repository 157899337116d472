// Shapes and images in the view's frame: bytes fed to a headless terminal view, pixels read back.
#include <cairo.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <tuple>

#include "platform/gfx/ImageDecoder.h"
#include "platform/runtime/MainLoop.h"
#include "support/PngOfSize.h"
#include "vantel/core/Base64.h"
#include "vantel/core/Character.h"
#include "vantel/view/HeadlessTerminalRenderer.h"
#include "vantel/view/generated/BoxDrawingLines.h"

using namespace vantel;

namespace {

struct View {
    explicit View(double scale = 1) : renderer({20, 5, 13, "monospace", scale}) {
        renderer.view().setNativeBackgroundColor({0, 0, 0, 1});
        renderer.view().setNativeForegroundColor({1, 1, 1, 1});
    }
    const platform::gfx::Canvas& draw(std::string_view bytes) {
        renderer.feed(bytes);
        return renderer.render();
    }
    // The device pixel at a fraction of cell (col, row).
    uint32_t pixel(int col, int row, double fx = 0.5, double fy = 0.25) const {
        const auto cell = renderer.cell();
        const auto& surface = renderer.window().surface();
        return surface.pixel(int((col + fx) * cell.width * surface.scale()), int((row + fy) * cell.height * surface.scale()));
    }
    bool inked(int col, int row, double fx, double fy) const { return (pixel(col, row, fx, fy) & 0xFFFFFF) != 0; }
    HeadlessTerminalRenderer renderer;
};

// An opaque red PNG, Base64-encoded for OSC 1337.
std::string redPngBase64(int width, int height) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    return Base64::encode(quiltdeck::testing::pngOfSurface(surface));
}

// Eight pixels wide, six high, red: one sixel column repeated.
const char* redSixel = "\x1bPq\"1;1;8;6#1;2;100;0;0#1!8~\x1b\\";

}  // namespace

// With custom glyphs on, a line of "─" reaches both edges of every cell; off, it is the font's.
// Blocks fill their cell.
TEST(TerminalViewImages, ShapesReplaceFontGlyphs) {
    for (double scale : {1.0, 2.0}) {
        View shapes(scale), font(scale);
        font.renderer.view().setCustomBlockGlyphs(false);
        const char* row = "\xe2\x94\x80\xe2\x94\x80\xe2\x96\x88";  // ──█
        shapes.draw(row);
        font.draw(row);
        EXPECT_FALSE(shapes.inked(0, 0, 0.5, 0.2));
        EXPECT_TRUE(shapes.inked(2, 0, 0.01, 0.01) && shapes.inked(2, 0, 0.99, 0.99)) << scale;
        int shapeEdges = 0, fontEdges = 0;
        for (int y = 0; y < int(shapes.renderer.cell().height * scale); ++y) {
            double fy = (y + 0.5) / (shapes.renderer.cell().height * scale);
            shapeEdges += shapes.inked(0, 0, 0.99, fy) && shapes.inked(1, 0, 0.01, fy);
            fontEdges += font.inked(0, 0, 0.99, fy) && font.inked(1, 0, 0.01, fy);
        }
        EXPECT_EQ(shapeEdges, scale == 1 ? 1 : 2);  // the light line's thickness
        EXPECT_NE(fontEdges, shapeEdges);  // the font's line is thicker
    }
}

// An 80 × 24 screen of box characters drawn by the view: wherever two neighbouring cells face
// each other with arms of one kind, the pixels on both sides of their border (two each way) are
// inked alike along the whole border, at scales 1, 1.5 and 2. Diagonals, which reach past their
// corners by design, are left out.
TEST(TerminalViewImages, NoSeamsAcrossAWholeScreenOfBoxCharacters) {
    constexpr int cols = 80, rows = 24;
    std::vector<uint32_t> screen(cols * rows);
    uint32_t state = 2026;
    std::string bytes;
    for (int r = 0; r < rows; ++r) {
        bytes += "\x1b[" + std::to_string(r + 1) + ";1H";
        for (int c = 0; c < cols; ++c) {
            uint32_t& code = screen[r * cols + c];
            do {
                state = state * 1103515245 + 12345;
                code = 0x2500 + (state >> 16) % 128;
            } while (code >= 0x2571 && code <= 0x2573);
            appendUtf8(bytes, code);
        }
    }
    auto arm = [](uint32_t code, int shift) { return (boxDrawingLines[code - 0x2500] >> shift) & 0xFF; };
    for (double scale : {1.0, 1.5, 2.0}) {
        HeadlessTerminalRenderer view({cols, rows, 13, "monospace", scale});
        view.view().setNativeBackgroundColor({0, 0, 0, 1});
        view.view().setNativeForegroundColor({1, 1, 1, 1});
        view.feed(bytes);
        const platform::gfx::Canvas& canvas = view.render();
        const auto cell = view.cell();
        // The view lays cells on whole device pixels from the row's origin.
        const int cw = int(std::lround(cell.width * scale)), ch = int(std::lround(cell.height * scale));
        auto rowTop = [&](int r) {
            return canvas.pixelHeight() - int(std::lround((rows - r - 1) * cell.height * scale)) - ch;
        };
        auto inked = [&](int x, int y) { return (canvas.pixel(x, y) & 0xFFFFFF) != 0; };
        int joins = 0, seams = 0;
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                const uint32_t here = screen[r * cols + c];
                if (c + 1 < cols && arm(here, 8) != 0 && arm(here, 8) == arm(screen[r * cols + c + 1], 24)) {
                    ++joins;
                    const int border = (c + 1) * cw;
                    for (int y = rowTop(r) + 1; y < rowTop(r) + ch - 1; ++y) {
                        for (int x = border - 2; x <= border; ++x) seams += inked(x, y) != inked(x + 1, y);
                    }
                }
                if (r + 1 < rows && arm(here, 16) != 0 && arm(here, 16) == arm(screen[(r + 1) * cols + c], 0)) {
                    ++joins;
                    const int border = rowTop(r + 1);
                    for (int x = c * cw + 1; x < (c + 1) * cw - 1; ++x) {
                        for (int y = border - 2; y <= border; ++y) seams += inked(x, y) != inked(x, y + 1);
                    }
                }
            }
        }
        EXPECT_GT(joins, 400) << scale;
        EXPECT_EQ(seams, 0) << scale;
    }
}

// A Sixel image is attached at the cursor and drawn there; the cursor moves below it; when the
// screen scrolls, the image moves up with its line.
TEST(TerminalViewImages, SixelImagesScrollWithTheirLine) {
    View view;
    view.draw(std::string("\x1b[3;4H") + redSixel + "x");
    EXPECT_EQ(view.pixel(3, 2), 0xFFFF0000u);
    EXPECT_EQ(view.renderer.terminal().getCursorLocation(), std::pair(4, 3));
    EXPECT_NE(view.pixel(3, 3), 0xFFFF0000u);
    view.draw("\x1b[5;1H\n\n");
    EXPECT_EQ(view.pixel(3, 0), 0xFFFF0000u);
    EXPECT_NE(view.pixel(3, 2), 0xFFFF0000u);
}

// A Kitty placement of the engine's own is drawn on its cells: under the text with a negative
// z-index, over it otherwise. (Its size in pixels is the picture's: the cells are 8 × 16.)
TEST(TerminalViewImages, KittyPlacementsByZIndex) {
    for (int z : {-1, 0}) {
        View view;
        // A 16 × 16 green image placed at row 1, column 1, two cells wide and one high, under a block.
        std::string rgba;
        for (int i = 0; i < 256; ++i) rgba += std::string("\x00\xff\x00\xff", 4);
        std::string encoded = Base64::encode({reinterpret_cast<const uint8_t*>(rgba.data()), rgba.size()});
        view.draw("\x1b[2;2H\x1b_Ga=T,q=2,f=32,s=16,v=16,i=5,c=2,r=1,C=1,z=" + std::to_string(z) + ";" + encoded +
                  "\x1b\\\xe2\x96\x88");
        EXPECT_EQ(view.pixel(1, 1), z == 0 ? 0xFF00FF00u : 0xFFFFFFFFu) << z;
        EXPECT_EQ(view.pixel(2, 1), 0xFF00FF00u) << z;
    }
}

// A Kitty placement asked for in cells covers those cells at every backing scale, whatever the
// picture's own size.
TEST(TerminalViewImages, KittyPlacementCoversItsCellsAtEveryScale) {
    std::string rgba;
    for (int i = 0; i < 256; ++i) rgba += std::string("\x00\xff\x00\xff", 4);
    const std::string encoded = Base64::encode({reinterpret_cast<const uint8_t*>(rgba.data()), rgba.size()});
    for (double scale : {1.0, 2.0}) {
        View view(scale);
        view.draw("\x1b[2;2H\x1b_Ga=T,q=2,f=32,s=16,v=16,c=8,r=2,C=1;" + encoded + "\x1b\\");
        for (auto [col, row, green] : {std::tuple{1, 1, true}, {8, 1, true}, {8, 2, true}, {1, 2, true},
                                       {9, 1, false}, {4, 3, false}, {0, 1, false}}) {
            EXPECT_EQ(view.pixel(col, row) == 0xFF00FF00u, green) << col << "," << row << " at scale " << scale;
        }
    }
}

// A picture keeps every device pixel at any backing scale: its bands are whole device pixels wide,
// rounded up, so a narrow one keeps its last column and one narrower than a point is still drawn
// and moves the cursor as at scale 1.
TEST(TerminalViewImages, NarrowPicturesKeepEveryPixelColumnAtEveryScale) {
    for (int width : {48, 7, 2, 1}) {
        // `width` pixels wide, eight high, red.
        const std::string sixel = "\x1bPq\"1;1;" + std::to_string(width) + ";8#1;2;100;0;0#1!" + std::to_string(width) +
                                  "~-#1!" + std::to_string(width) + "B\x1b\\";
        for (double scale : {1.0, 2.0, 3.0}) {
            View view(scale);
            const platform::gfx::Canvas& canvas = view.draw(sixel + "x");
            int red = 0;
            for (int y = 0; y < canvas.pixelHeight(); ++y) {
                for (int x = 0; x < canvas.pixelWidth(); ++x) red += canvas.pixel(x, y) == 0xFFFF0000u;
            }
            EXPECT_EQ(red, width * 8) << width << " pixels at scale " << scale;
            EXPECT_EQ(view.renderer.terminal().getCursorLocation(), std::pair(1, 1)) << width << " at " << scale;
        }
    }
}

// Images that programs send are decoded from raster formats only: a small drawing with blur filters
// (seconds to decode) passes through the stream, never handed to a loader, and shows nothing.
TEST(TerminalViewImages, ProgramImagesAreNeverDrawings) {
    std::string svg =
        "<svg xmlns='http://www.w3.org/2000/svg' width='4000' height='4000'><filter id='f'>"
        "<feGaussianBlur stdDeviation='300'/><feGaussianBlur stdDeviation='300'/></filter>";
    for (int i = 0; i < 4; ++i) svg += "<rect filter='url(#f)' width='4000' height='4000' fill='red'/>";
    svg += "</svg>";
    View view;
    const uint64_t handedBefore = platform::gfx::ImageDecoder::imagesHandedToLoaders();
    view.draw("\x1b]1337;File=inline=1;width=2;height=1:" +
              Base64::encode({reinterpret_cast<const uint8_t*>(svg.data()), svg.size()}) + "\x07x");
    EXPECT_EQ(platform::gfx::ImageDecoder::imagesHandedToLoaders(), handedBefore);
    EXPECT_EQ(view.renderer.terminal().getCursorLocation(), std::pair(1, 0));
    EXPECT_EQ(view.renderer.terminal().getLine(0)->images(), nullptr);
}

// A Kitty placement of one pixel asking for 65535 × 65535 cells covers what the screen and the
// scroll-back hold at most: the screen still shows the line before it.
TEST(TerminalViewImages, HugePlacementLeavesTheScreenInPlace) {
    View view;
    view.draw("\r\nbefore\r\n\x1b_Ga=T,q=2,f=32,s=1,v=1,c=65535,r=65535;" + Base64::encode(std::vector<uint8_t>{255, 0, 0, 255}) +
              "\x1b\\after");
    Terminal& terminal = view.renderer.terminal();
    std::string screen = "|";
    for (int row = 0; row < terminal.rows(); ++row) {
        screen += terminal.getLine(row)->translateToString(true, 0, -1, true,
                                                           [&](const CharData& c) { return terminal.getCharacter(c); });
        screen += '|';
    }
    EXPECT_NE(screen.find("|before|"), std::string::npos) << screen;
    EXPECT_LE(terminal.buffer().yBase(), 1);
}


// A size past what the engine takes is a request too large to draw, not one for the natural size:
// the image is dropped and the text after it lands where it would with no image at all.
TEST(TerminalViewImages, OversizedInlineRequestsDrawNothing) {
    const std::string png = redPngBase64(6, 6);
    for (const char* size : {"width=65535", "width=4096px", "width=101%", "height=200", "width=99999999999999999999"}) {
        View view;
        const auto& canvas = view.draw(std::string("\x1b]1337;File=inline=1;") + size + ":" + png + "\x07x");
        EXPECT_EQ(view.renderer.terminal().getCursorLocation(), std::pair(1, 0)) << size;
        for (int row = 0; row < 5; ++row) EXPECT_EQ(view.renderer.terminal().getLine(row)->images(), nullptr) << size;
        bool red = false;
        for (int y = 0; y < canvas.pixelHeight() && !red; ++y) {
            for (int x = 0; x < canvas.pixelWidth() && !red; ++x) red = (canvas.pixel(x, y) & 0xFFFFFF) == 0xFF0000;
        }
        EXPECT_FALSE(red) << size;
    }
    // The same picture at a size within the limits is shown.
    View shown;
    shown.draw("\x1b]1337;File=inline=1;width=2:" + png + "\x07x");
    EXPECT_NE(shown.renderer.terminal().getLine(0)->images(), nullptr);
}

// A large Kitty picture is made (and, shown much smaller, scaled) on workers: its cells show a
// faint placeholder until it is ready, then the picture.
TEST(TerminalViewImages, LargeKittyPicturesShowAPlaceholderUntilReady) {
    constexpr int width = 1500, height = 1000;
    std::vector<uint8_t> rgba(size_t{width} * height * 4);
    for (size_t i = 0; i < rgba.size(); i += 4) rgba[i + 1] = rgba[i + 3] = 255;  // opaque green
    uLongf size = compressBound(static_cast<uLong>(rgba.size()));
    std::vector<uint8_t> packed(size);
    ASSERT_EQ(compress(packed.data(), &size, rgba.data(), static_cast<uLong>(rgba.size())), Z_OK);
    packed.resize(size);
    View view(2);
    view.draw("\x1b[2;2H\x1b_Ga=T,q=2,f=32,o=z,s=" + std::to_string(width) + ",v=" + std::to_string(height) +
              ",c=8,r=2,C=1;" + Base64::encode(packed) + "\x1b\\");
    const uint32_t placeholder = view.pixel(3, 1);
    EXPECT_NE(placeholder & 0xFFFFFF, 0u);
    EXPECT_EQ(placeholder & 0xFF, (placeholder >> 8) & 0xFF) << std::hex << placeholder;  // grey
    EXPECT_LT(placeholder & 0xFF, 0x40u);
    EXPECT_EQ(view.pixel(9, 1), 0xFF000000u);
    auto& loop = platform::runtime::MainLoop::main();
    const KittyPictureCache& pictures = view.renderer.view().kittyPictures();
    // The picture, then its copy at the size shown.
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(loop.runUntil([&] { return !pictures.busy(); }, std::chrono::seconds(20)));
        view.renderer.render();
    }
    for (auto [col, row] : {std::pair{1, 1}, {8, 2}, {3, 1}}) EXPECT_EQ(view.pixel(col, row), 0xFF00FF00u) << col;
    EXPECT_EQ(view.pixel(9, 1), 0xFF000000u);
    EXPECT_EQ(pictures.made(), 1u);
    // Every image deleted and the terminal reset: the picture and its copy go with the next update,
    // before anything is drawn.
    view.renderer.feed("\x1b_Ga=d,d=A\x1b\\\x1b" "c");
    EXPECT_TRUE(loop.runUntil([&] { return pictures.bytes() == 0; }, std::chrono::seconds(1)));
}

