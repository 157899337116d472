// The vantel-render tool as a developer runs it: a file of bytes in, a PNG of the frame out.
#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "support/ShellWord.h"

namespace {

using vantel::testing::shellWord;

// `arguments` and `environment` are command-line text, their paths already quoted.
int run(const std::string& arguments, const std::string& environment = "", const std::string& errors = "/dev/null") {
    std::string command =
        environment + " " + shellWord(QUILTDECK_VANTEL_RENDER) + " " + arguments + " 2>" + shellWord(errors);
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The exit status and what the tool said on stderr.
std::pair<int, std::string> runSaying(const std::string& arguments) {
    FILE* pipe = ::popen((shellWord(QUILTDECK_VANTEL_RENDER) + " " + arguments + " 2>&1").c_str(), "r");
    std::string said;
    char chunk[256];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) said.append(chunk, n);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, said};
}

// A path of its own for each test process: ctest runs the tests side by side.
std::string scratch(const std::string& name) {
    return ::testing::TempDir() + "vantel-render-" + std::to_string(getpid()) + "-" + name;
}

}  // namespace

// 20 × 4 cells of 8 × 16 points at scale 2; the first cell has a red background.
TEST(VantelRenderTool, WritesTheFrameAsAPng) {
    std::string in = scratch("in.bin"), out = scratch("out.png");
    std::ofstream(in, std::ios::binary) << "\x1b[41mX\x1b[m done";
    ASSERT_EQ(run("--cols 20 --rows 4 --scale 2 " + shellWord(in) + " " + shellWord(out)), 0);
    cairo_surface_t* png = cairo_image_surface_create_from_png(out.c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(png), 320);
    EXPECT_EQ(cairo_image_surface_get_height(png), 128);
    cairo_surface_flush(png);
    auto pixel = [&](int x, int y) {
        return reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(png) + y * cairo_image_surface_get_stride(png))[x];
    };
    EXPECT_GT(pixel(2, 2) >> 16 & 0xFF, 0x80u);  // red
    EXPECT_LT(pixel(2, 2) >> 8 & 0xFF, 0x40u);
    cairo_surface_destroy(png);
    std::remove(in.c_str());
    std::remove(out.c_str());
}

// --gpu: the frame the GPU renderer presented, cleared to the background the bytes set; with
// VANTEL_PROFILE=1 the renderer's timed signposts go to standard error.
TEST(VantelRenderTool, DrawsWithTheGpuRenderer) {
    std::string in = scratch("in.bin"), out = scratch("gpu.png"), errors = scratch("errors.txt");
    std::ofstream(in, std::ios::binary) << "\x1b]11;rgb:20/40/80\x07X";
    ASSERT_EQ(run("--cols 10 --rows 2 --gpu " + shellWord(in) + " " + shellWord(out), "LIBGL_ALWAYS_SOFTWARE=1 VANTEL_PROFILE=1",
                  errors),
              0);
    std::ifstream text(errors);
    const std::string log((std::istreambuf_iterator<char>(text)), std::istreambuf_iterator<char>());
    if (log.find("no GPU renderer") != std::string::npos) {
        if (std::getenv("QUILTDECK_REQUIRE_GPU")) FAIL() << log;
        GTEST_SKIP() << log;
    }
    EXPECT_NE(log.find("GpuProfile begin Gpu.Draw #"), std::string::npos) << log;
    EXPECT_NE(log.find("GpuProfile end Gpu.Draw #"), std::string::npos) << log;
    cairo_surface_t* png = cairo_image_surface_create_from_png(out.c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    cairo_surface_flush(png);
    const auto* pixels = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(png));
    const int stride = cairo_image_surface_get_stride(png) / 4;
    EXPECT_EQ(pixels[stride * 15 + 70], 0xff204080u);  // the background, cleared
    // The row drawn on the GPU too: the letter in the first cell.
    int ink = 0;
    for (int y = 0; y < 14; ++y) {
        for (int x = 0; x < 7; ++x) ink += pixels[y * stride + x] != 0xff204080u;
    }
    EXPECT_GT(ink, 5);
    cairo_surface_destroy(png);
    for (const auto& path : {in, out, errors}) std::remove(path.c_str());
}

// Both drawing paths leave the caret out unless --caret asks for it, and then draw the same one.
TEST(VantelRenderTool, BothPathsShowTheCaretOnlyWhenAsked) {
    std::string in = scratch("caret.bin"), errors = scratch("caret-errors.txt");
    std::ofstream(in, std::ios::binary) << "abc";  // the cursor stands visible in the fourth cell
    struct Picture {
        std::vector<uint32_t> pixels;
        int width = 0, height = 0;
        uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    };
    auto render = [&](const std::string& options, const std::string& name) {
        const std::string out = scratch(name);
        EXPECT_EQ(run("--cols 10 --rows 2 " + options + " " + shellWord(in) + " " + shellWord(out),
                      "LIBGL_ALWAYS_SOFTWARE=1", errors),
                  0);
        Picture picture;
        cairo_surface_t* png = cairo_image_surface_create_from_png(out.c_str());
        if (cairo_surface_status(png) == CAIRO_STATUS_SUCCESS) {
            cairo_surface_flush(png);
            picture.width = cairo_image_surface_get_width(png);
            picture.height = cairo_image_surface_get_height(png);
            for (int y = 0; y < picture.height; ++y) {
                const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(png) +
                                                                    y * cairo_image_surface_get_stride(png));
                picture.pixels.insert(picture.pixels.end(), row, row + picture.width);
            }
        }
        cairo_surface_destroy(png);
        std::remove(out.c_str());
        return picture;
    };
    const Picture cpu = render("", "caret-cpu.png"), gpu = render("--gpu", "caret-gpu.png");
    std::ifstream text(errors);
    const std::string log((std::istreambuf_iterator<char>(text)), std::istreambuf_iterator<char>());
    if (log.find("no GPU renderer") != std::string::npos) {
        if (std::getenv("QUILTDECK_REQUIRE_GPU")) FAIL() << log;
        GTEST_SKIP() << log;
    }
    const Picture cpuCaret = render("--caret", "caret-cpu-shown.png"), gpuCaret = render("--caret --gpu", "caret-gpu-shown.png");
    ASSERT_EQ(cpu.width, 80);
    ASSERT_EQ(cpu.height, 32);
    for (const Picture* p : {&gpu, &cpuCaret, &gpuCaret}) ASSERT_EQ(std::pair(p->width, p->height), std::pair(80, 32));
    // The cursor's cell: 8 x 16 pixels from (24, 0).
    const uint32_t ground = cpu.at(70, 24);
    auto inked = [&](const Picture& p) {
        int ink = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 24; x < 32; ++x) ink += p.at(x, y) != ground;
        }
        return ink;
    };
    EXPECT_EQ(inked(cpu), 0);
    EXPECT_EQ(inked(gpu), 0);
    EXPECT_GT(inked(cpuCaret), 8);
    EXPECT_EQ(inked(gpuCaret), inked(cpuCaret));
    auto channelGap = [](uint32_t a, uint32_t b) {
        int gap = 0;
        for (int shift = 0; shift < 32; shift += 8)
            gap = std::max(gap, std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)));
        return gap;
    };
    for (int y = 0; y < 16; ++y) {
        for (int x = 24; x < 32; ++x) EXPECT_LE(channelGap(cpuCaret.at(x, y), gpuCaret.at(x, y)), 1) << x << "," << y;
    }
    std::remove(in.c_str());
    std::remove(errors.c_str());
}

TEST(VantelRenderTool, RefusesWhatItCannotUse) {
    std::string in = scratch("in.bin"), out = scratch("out.png");
    std::ofstream(in, std::ios::binary) << "x";
    struct Case {
        std::string arguments;
        int status;
    } cases[] = {
        {shellWord(in), 2},                                          // no output
        {"--cols 0 " + shellWord(in) + " " + shellWord(out), 2},     // not a usable number
        {"--colour 3 " + shellWord(in) + " " + shellWord(out), 2},   // no such option
        {shellWord(in + ".missing") + " " + shellWord(out), 1},      // nothing to read
        {shellWord(in) + " " + shellWord(::testing::TempDir() + "no/such/folder/x.png"), 1},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.arguments), c.status) << c.arguments;

    // A machine without fonts: an error, not a crash.
    std::string noFonts = scratch("no-fonts.conf");
    std::ofstream(noFonts) << "<?xml version=\"1.0\"?>\n<fontconfig><cachedir>" << scratch("no-fonts-cache")
                           << "</cachedir></fontconfig>\n";
    EXPECT_EQ(run(shellWord(in) + " " + shellWord(out), "FONTCONFIG_FILE=" + shellWord(noFonts)), 1);
    std::remove(in.c_str());
    std::remove(noFonts.c_str());
}

// A frame no picture holds whole (16384 pixels a side), or one without a pixel, is refused with one
// line naming the grid, the cell's size, the font size and the scale; a grid raised to its minimum
// is drawn, and said so.
TEST(VantelRenderTool, RefusesFramesPastThePictureLimit) {
    std::string in = scratch("frame.bin"), out = scratch("frame.png");
    std::ofstream(in, std::ios::binary) << "x";
    struct Case {
        std::string options;
        int status;
        std::string said;
    } cases[] = {
        {"--cols 4000", 2, "vantel-render: 4000 columns of 8 x 16 points (font size 13) at scale 1 make a frame 32000 "
                           "pixels wide, past the limit of 16384\n"},
        {"--font-size 500", 2, " pixels wide, past the limit of 16384\n"},
        {"--scale 1000000", 2, " at scale 1e+06 make a frame "},
        {"--rows 1100", 2, "1100 rows of 8 x 16 points (font size 13) at scale 1 make a frame 17600 pixels high"},
        {"--scale 0.0001", 2, "make a frame less than one pixel wide\n"},
        {"--cols 1 --rows 2", 0, "vantel-render: --cols 1 raised to the minimum of 2\n"},
        {"--cols 2048 --rows 2", 0, ""},  // 16384 pixels wide: just within
    };
    for (const Case& c : cases) {
        const auto [status, said] = runSaying("--font-size 13 " + c.options + " " + shellWord(in) + " " + shellWord(out));
        EXPECT_EQ(status, c.status) << c.options;
        if (c.said.empty()) EXPECT_EQ(said, "") << c.options;
        else EXPECT_NE(said.find(c.said), std::string::npos) << c.options << ": " << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), c.said.empty() ? 0 : 1) << c.options;
        std::remove(out.c_str());
    }
    std::remove(in.c_str());
}

