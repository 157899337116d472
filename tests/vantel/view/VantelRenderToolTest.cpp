// The vantel-render tool as a developer runs it: a file of bytes in, a PNG of the frame out.
#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

int run(const std::string& arguments, const std::string& environment = "") {
    std::string command = environment + " " + QUILTDECK_VANTEL_RENDER + " " + arguments + " 2>/dev/null";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    ASSERT_EQ(run("--cols 20 --rows 4 --scale 2 " + in + " " + out), 0);
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

TEST(VantelRenderTool, RefusesWhatItCannotUse) {
    std::string in = scratch("in.bin"), out = scratch("out.png");
    std::ofstream(in, std::ios::binary) << "x";
    struct Case {
        std::string arguments;
        int status;
    } cases[] = {
        {in, 2},                                        // no output
        {"--cols 0 " + in + " " + out, 2},              // not a usable number
        {"--colour 3 " + in + " " + out, 2},            // no such option
        {in + ".missing " + out, 1},                    // nothing to read
        {in + " " + ::testing::TempDir() + "no/such/folder/x.png", 1},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.arguments), c.status) << c.arguments;

    // A machine without fonts: an error, not a crash.
    std::string noFonts = scratch("no-fonts.conf");
    std::ofstream(noFonts) << "<?xml version=\"1.0\"?>\n<fontconfig><cachedir>" << scratch("no-fonts-cache")
                           << "</cachedir></fontconfig>\n";
    EXPECT_EQ(run(in + " " + out, "FONTCONFIG_FILE=" + noFonts), 1);
    std::remove(in.c_str());
    std::remove(noFonts.c_str());
}
