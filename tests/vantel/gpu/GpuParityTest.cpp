// The same screens drawn by the view itself and by the GPU renderer, at scale 1 and 2: nearly every
// pixel alike, and exactly alike where nothing is filtered (backgrounds, shapes, cursor shapes,
// picture interiors). Each screen leaves <screen>@<scale>-cpu.png, -gpu.png and -diff.png in
// the test temporary folder's "gpu-parity" to look at.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "GpuScreenSupport.h"
#include "platform/gfx/Canvas.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/PngEncoder.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "vantel/core/Base64.h"
#include "vantel/gpu/GpuTerminalRenderer.h"
#include "vantel/view/HeadlessTerminalRenderer.h"

using namespace vantel;
using platform::runtime::ScopedMainLoop;
using platform::runtime::VirtualMainLoop;
using vantel::testing::kittyImage;

namespace {

// A rectangle whose pixels must match to within 1, from its top-left corner, in cells, points or
// device pixels; shrunk by `inset` device pixels (a picture's filtered edge).
struct Exact {
    enum class Unit { cells, points, pixels };
    Unit unit = Unit::cells;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    int inset = 0;
    double originX = 0, originY = 0;  // in points, for pixels: a picture at its own size
};

Exact cells(double col0, double row0, double col1, double row1) { return {Exact::Unit::cells, col0, row0, col1, row1}; }
Exact points(double x0, double y0, double x1, double y1, int inset) {
    return {Exact::Unit::points, x0, y0, x1, y1, inset};
}
Exact pixels(double originX, double originY, double x0, double y0, double x1, double y1, int inset) {
    return {Exact::Unit::pixels, x0, y0, x1, y1, inset, originX, originY};
}

struct Screen {
    std::string name;
    int cols = 24;
    int rows = 6;
    std::string bytes;
    std::vector<Exact> exact;
    bool caret = false;                          // the caret is drawn (the view's own drawing shows it only then)
    bool focused = false;                        // drawn as if the view had the keyboard
    std::function<void(TerminalView&)> prepare;  // after the bytes, before drawing
};

// Four quadrants of solid colour: interiors that filtering leaves alone.
std::array<uint8_t, 4> quadrants(int x, int y, int width, int height, uint8_t alpha) {
    const bool right = x >= width / 2, bottom = y >= height / 2;
    if (!right && !bottom) return {230, 40, 40, alpha};
    if (right && !bottom) return {40, 200, 60, alpha};
    if (!right) return {40, 80, 230, alpha};
    return {240, 220, 30, alpha};
}

// A placeholder cell of the image whose id is the foreground colour, at a placement row and column
// (their diacritics).
std::string placeholder(int row, int col) {
    static const char* diacritics[] = {"\xcc\x85", "\xcc\x8d", "\xcc\x8e", "\xcc\x90"};
    return std::string("\xf4\x8e\xbb\xae") + diacritics[row] + diacritics[col];
}

const char* hidden = "\x1b[?25l";

Screen screen(std::string name, int cols, int rows, std::string bytes, std::vector<Exact> exact = {}) {
    Screen s;
    s.name = std::move(name);
    s.cols = cols;
    s.rows = rows;
    s.bytes = std::move(bytes);
    s.exact = std::move(exact);
    return s;
}

std::vector<Screen> screens() {
    std::vector<Screen> list;
    list.push_back(
        screen("sgr", 30, 6,
               std::string(hidden) +
                   "plain \x1b[1mbold\x1b[0m \x1b[2mdim\x1b[0m \x1b[3mitalic\x1b[0m \x1b[7minverse\x1b[0m\r\n"
                   "\x1b[31mred\x1b[32m green\x1b[33m yellow\x1b[34m blue\x1b[35m magenta\x1b[0m\r\n"
                   "\x1b[1;91mbright\x1b[0;44m  on blue  \x1b[0m \x1b[9mstrike\x1b[0m\r\n"
                   "\x1b[42m      \x1b[0m \x1b[45;30m black on magenta \x1b[0m",
               {cells(0, 3, 6, 4), cells(11, 2, 22, 3)}));
    std::string colors = hidden;
    for (int i = 0; i < 24; ++i) colors += "\x1b[48;5;" + std::to_string(16 + i * 9) + "m ";
    colors += "\x1b[0m\r\n";
    for (int i = 0; i < 24; ++i)
        colors += "\x1b[48;2;" + std::to_string(i * 10) + ";120;" + std::to_string(240 - i * 10) + "m ";
    colors += "\x1b[0m\r\n";
    for (int i = 0; i < 24; ++i) colors += "\x1b[38;5;" + std::to_string(160 + i) + "m#";
    colors += "\r\n\x1b[38;2;255;128;0mtrue orange \x1b[38;2;0;200;255mtrue cyan\x1b[0m";
    list.push_back(screen("colors", 24, 5, colors, {cells(0, 0, 24, 2)}));
    list.push_back(screen("wide", 24, 4,
                          std::string(hidden) + "ab\xe6\xbc\xa2\xe5\xad\x97"
                                                "cd\r\n"
                                                "\xf0\x9f\x98\x80 smile \xf0\x9f\x8e\x89 party\r\n"
                                                "x\xe2\x9d\xa4\xef\xb8\x8fy \xe2\x9c\x85 done",
                          {}));
    std::string shapes = hidden;
    shapes +=
        "\x1b[36m\xe2\x94\x8c\xe2\x94\x80\xe2\x94\x80\xe2\x94\xac\xe2\x94\x80\xe2\x94\x90 "
        "\xe2\x95\x94\xe2\x95\x90\xe2\x95\x97\r\n"
        "\xe2\x94\x82"
        "ab\xe2\x94\x82"
        "c\xe2\x94\x82 \xe2\x95\x91x\xe2\x95\x91\r\n"
        "\xe2\x94\x94\xe2\x94\x80\xe2\x94\x80\xe2\x94\xb4\xe2\x94\x80\xe2\x94\x98 "
        "\xe2\x95\x9a\xe2\x95\x90\xe2\x95\x9d\x1b[0m\r\n";
    shapes +=
        "\x1b[33m\xe2\x96\x88\xe2\x96\x93\xe2\x96\x92\xe2\x96\x91\xe2\x96\x80\xe2\x96\x84\xe2\x96\x8c\xe2\x96\x90"
        "\xe2\x96\x96\xe2\x96\x9f\x1b[0m\r\n";
    shapes +=
        "\x1b[30;42m main \x1b[32;44m\xee\x82\xb0\x1b[37;44m src \x1b[34;49m\xee\x82\xb0\x1b[0m "
        "\x1b[31;43m\xee\x82\xb4 x \x1b[33;49m\xee\x82\xb4\x1b[0m \xee\x82\xb1\r\n";
    list.push_back(
        screen("shapes", 24, 6, shapes,
               {cells(0, 0, 7, 1), cells(7, 0, 10, 1), cells(0, 2, 7, 3), cells(7, 2, 10, 3), cells(0, 1, 1, 2),
                cells(3, 1, 4, 2), cells(5, 1, 6, 2), cells(7, 1, 8, 2), cells(9, 1, 10, 2), cells(0, 3, 10, 4),
                cells(6, 4, 7, 5), cells(12, 4, 13, 5), cells(14, 4, 15, 5), cells(18, 4, 19, 5)}));
    list.push_back(screen("decorations", 24, 6,
                          std::string(hidden) +
                              "\x1b[4msingle\x1b[0m \x1b[4:2mdouble\x1b[0m\r\n"
                              "\x1b[4:3mcurly\x1b[0m \x1b[4:4mdotted\x1b[0m \x1b[4:5mdashed\x1b[0m\r\n"
                              "\x1b[9mstrike\x1b[0m \x1b[4;58;2;255;0;0mred under\x1b[0m\r\n"
                              "\x1b[4m\xe6\xbc\xa2\xe5\xad\x97\x1b[0m \x1b[9m\xe6\xbc\xa2\x1b[0m wide",
                          {}));

    // Every cursor style, with the keyboard and without.
    const char* styles[] = {"blinkBlock", "steadyBlock", "blinkUnderline", "steadyUnderline", "blinkBar", "steadyBar"};
    for (int style = 0; style < 6; ++style) {
        for (bool focused : {true, false}) {
            // Blinking styles with focus fade the view's caret in and out: only their steady twins
            // are compared there (the renderer's blink phase starts on).
            if (focused && style % 2 == 0) continue;
            Screen s = screen(std::string("cursor-") + styles[style] + (focused ? "-focused" : "-unfocused"), 12, 3,
                              "abc \xe6\xbc\xa2 xyz\r\n  \x1b[" + std::to_string(style + 1) + " q\x1b[1;4H",
                              {cells(3, 0, 4, 1)});
            s.caret = true;
            s.focused = focused;
            list.push_back(s);
        }
    }
    Screen letter = screen("cursor-block-letter", 12, 3, "abc \xe6\xbc\xa2 xyz\x1b[2 q\x1b[1;2H");
    letter.caret = letter.focused = true;
    list.push_back(letter);
    Screen wideCursor = screen("cursor-block-wide", 12, 3, "abc \xe6\xbc\xa2 xyz\x1b[2 q\x1b[1;5H");
    wideCursor.caret = wideCursor.focused = true;
    list.push_back(wideCursor);

    // A Sixel picture: two colour bands, 24 × 12 pixels.
    std::string sixel = std::string(hidden) + "pic:\x1bPq#1;2;90;10;10#2;2;10;30;90#1";
    for (int i = 0; i < 24; ++i) sixel += "~";
    sixel += "-#2";
    for (int i = 0; i < 24; ++i) sixel += "~";
    sixel += "\x1b\\";
    // The interiors of the picture's two bands, at its own pixels from column 4.
    list.push_back(screen("sixel", 16, 5, sixel, {pixels(32, 0, 0, 0, 24, 6, 2), pixels(32, 0, 0, 6, 24, 12, 2)}));

    // Kitty: a picture placed at the cursor, a half-transparent one with a Y offset, and one
    // through placeholder cells.
    std::string kitty = std::string(hidden) + "\x1b[44m" + std::string(20, ' ') + "\x1b[0m\r";
    kitty += kittyImage("a=T,i=1,C=1", 24, 24, [](int x, int y) { return quadrants(x, y, 24, 24, 255); });
    kitty += "\x1b[1;8H";
    kitty += kittyImage("a=T,i=2,C=1,Y=5", 16, 16, [](int x, int y) { return quadrants(x, y, 16, 16, 128); });
    kitty += "\x1b[4;1H";
    kitty += kittyImage("a=T,i=3,U=1,c=4,r=2", 32, 16, [](int x, int y) { return quadrants(x, y, 32, 16, 255); });
    kitty += "\x1b[38;5;3m" + placeholder(0, 0) + placeholder(0, 1) + placeholder(0, 2) + placeholder(0, 3) + "\r\n" +
             placeholder(1, 0) + placeholder(1, 1) + placeholder(1, 2) + placeholder(1, 3) + "\x1b[0m";
    // The quadrants of each picture: the first and the half-transparent one at their own pixels,
    // the third fitted into its 4 × 2 cells (32 × 16 points, 8 points down).
    std::vector<Exact> quads;
    for (int q = 0; q < 4; ++q) {
        const int qx = q % 2, qy = q / 2;
        quads.push_back(pixels(0, 0, qx * 12, qy * 12, qx * 12 + 12, qy * 12 + 12, 2));
        quads.push_back(pixels(56, 0, qx * 8, 5 + qy * 8, qx * 8 + 8, 5 + qy * 8 + 8, 2));
        quads.push_back(points(qx * 16, 56 + qy * 8, qx * 16 + 16, 64 + qy * 8, 2));
    }
    list.push_back(screen("kitty", 20, 6, kitty, quads));

    Screen selection =
        screen("selection", 24, 4, std::string(hidden) + "select some of this\r\nand this line too\r\nbut not this");
    selection.prepare = [](TerminalView& view) { view.selection().setSelection({7, 0}, {8, 1}); };
    list.push_back(selection);

    list.push_back(screen(
        "double", 24, 6,
        std::string(hidden) + "normal row\r\n\x1b#3Double top\r\n\x1b#4Double top\r\n\x1b#6Wide row\r\nend", {}));

    // Colour emoji whose pixels are greys, and a family sequence, under red text: their own colours
    // on both paths.
    list.push_back(screen("grey-emoji", 24, 3,
                          std::string(hidden) +
                              "\x1b[31m\xf0\x9f\x96\xa4\xe2\xac\x9b\xe2\x9a\xab\xf0\x9f\x8f\xb4\xe2\x9a\xaa"
                              "\xf0\x9f\xa4\x8d x\r\n"
                              "\xf0\x9f\x91\xa8\xe2\x80\x8d\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x91\xa7 family\x1b[0m",
                          {}));

    // A visible cursor in a picture that leaves the caret out: neither path draws it.
    list.push_back(screen("caret-left-out", 12, 3, "abc xyz\x1b[1;4H", {cells(2, 0, 5, 1)}));

    // A Hebrew row with the cursor in it: the caret stands at the visual column.
    Screen hebrew = screen("hebrew", 24, 3,
                           "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d \xd7\xa2\xd7\x95\xd7\x9c\xd7\x9d abc\x1b[2 q\x1b[1;2H");
    hebrew.caret = hebrew.focused = true;
    list.push_back(hebrew);
    return list;
}

// The largest difference of one channel between two premultiplied pixels.
int channelDifference(uint32_t a, uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        worst =
            std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    }
    return worst;
}

struct Drawn {
    std::unique_ptr<HeadlessTerminalRenderer> renderer;
    platform::gfx::Image image;
};

Drawn draw(const Screen& screen, double scale, bool gpu) {
    HeadlessTerminalRenderer::Options options;
    options.cols = screen.cols;
    options.rows = screen.rows;
    options.scale = scale;
    options.showCaret = screen.caret;
    options.gpu = gpu;
    Drawn drawn{std::make_unique<HeadlessTerminalRenderer>(options), {}};
    TerminalView& view = drawn.renderer->view();
    view.setNativeForegroundColor(platform::gfx::Rgba::fromBytes(220, 220, 210));
    view.setNativeBackgroundColor(platform::gfx::Rgba::fromBytes(24, 26, 34));
    view.setCaretViewTracksFocus(!screen.focused);
    drawn.renderer->feed(screen.bytes);
    if (screen.prepare) screen.prepare(view);
    drawn.renderer->render();
    drawn.image = drawn.renderer->window().surface().image();
    return drawn;
}

}  // namespace

TEST(GpuParity, BothPathsDrawTheSameScreens) {
    GPU_TEST_DEVICE(device);
    VirtualMainLoop loop;
    ScopedMainLoop scoped(loop);
    GpuTerminalRenderer::install();
    const std::filesystem::path folder = std::filesystem::path(::testing::TempDir()) / "gpu-parity";
    std::filesystem::create_directories(folder);

    for (const Screen& shown : screens()) {
        for (double scale : {1.0, 2.0}) {
            const Screen& screen = shown;
            const std::string name = screen.name + "@" + std::to_string(static_cast<int>(scale));
            SCOPED_TRACE(name);
            Drawn cpu = draw(screen, scale, false);
            Drawn gpu = draw(screen, scale, true);
            ASSERT_TRUE(gpu.renderer->view().isUsingGpuRenderer())
                << (gpu.renderer->gpuError() ? gpu.renderer->gpuError()->description() : "");
            ASSERT_GE(gpu.renderer->view().gpuHosting().gpuView()->presentedFrameCount(), 1u);
            ASSERT_EQ(cpu.image.width, gpu.image.width);
            ASSERT_EQ(cpu.image.height, gpu.image.height);
            const platform::gfx::Size cell = cpu.renderer->cell();

            platform::gfx::Image diff = cpu.image;
            size_t close = 0, exactMisses = 0;
            for (int y = 0; y < cpu.image.height; ++y) {
                for (int x = 0; x < cpu.image.width; ++x) {
                    const size_t i = static_cast<size_t>(y) * cpu.image.width + x;
                    const int d = channelDifference(cpu.image.pixels[i], gpu.image.pixels[i]);
                    if (d <= 4) ++close;
                    // What matches shows dimmed; small differences yellow, large ones red.
                    const uint32_t c = cpu.image.pixels[i];
                    const uint8_t grey =
                        static_cast<uint8_t>((((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF)) / 12);
                    diff.pixels[i] = d <= 1   ? platform::gfx::Image::premultipliedPixel(grey, grey, grey, 255)
                                     : d <= 4 ? platform::gfx::Image::premultipliedPixel(230, 200, 0, 255)
                                              : platform::gfx::Image::premultipliedPixel(
                                                    255, static_cast<uint8_t>(std::max(0, 80 - d)), 40, 255);
                    for (const Exact& e : screen.exact) {
                        const double sx = e.unit == Exact::Unit::cells    ? cell.width * scale
                                          : e.unit == Exact::Unit::points ? scale
                                                                          : 1;
                        const double sy = e.unit == Exact::Unit::cells ? cell.height * scale : sx;
                        const double ox = e.originX * scale, oy = e.originY * scale;
                        if (x >= ox + e.x0 * sx + e.inset && x < ox + e.x1 * sx - e.inset &&
                            y >= oy + e.y0 * sy + e.inset && y < oy + e.y1 * sy - e.inset && d > 1) {
                            ++exactMisses;
                        }
                    }
                }
            }
            EXPECT_TRUE(cpu.renderer->writePng((folder / (name + "-cpu.png")).string()));
            EXPECT_TRUE(gpu.renderer->writePng((folder / (name + "-gpu.png")).string()));
            const auto png = platform::gfx::encodePng(diff);
            ASSERT_TRUE(png);
            if (FILE* out = std::fopen((folder / (name + "-diff.png")).string().c_str(), "wb")) {
                std::fwrite(png->data(), 1, png->size(), out);
                std::fclose(out);
            }
            const double share = static_cast<double>(close) / static_cast<double>(cpu.image.pixels.size());
            EXPECT_GE(share, 0.995) << "pixels within 4 of the view's own: " << share * 100 << " %";
            EXPECT_EQ(exactMisses, 0u) << "pixels off by more than 1 where they must match";
            std::printf("%-36s %.3f %% within 4\n", name.c_str(), share * 100);
        }
    }
    std::printf("pictures in %s\n", folder.string().c_str());
}
