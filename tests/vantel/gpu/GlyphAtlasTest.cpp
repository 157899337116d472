#include "vantel/gpu/GlyphAtlas.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/gpu/Texture.h"
#include "platform/runtime/SystemLog.h"
#include "support/GpuTestSupport.h"

using namespace vantel;
using platform::runtime::ScopedLogCapture;

namespace {

// A glyph bitmap of one alpha value (BGRA, white premultiplied).
std::vector<uint8_t> solidGlyph(int64_t width, int64_t height, uint8_t alpha) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width * height * 4), alpha);
    return pixels;
}

// The texture holds exactly the CPU copy.
void expectMirrored(GlyphAtlas& atlas) {
    const int side = static_cast<int>(atlas.size());
    EXPECT_TRUE(atlas.texture()->readBytes(0, 0, side, side) == atlas.data()) << "texture differs from its CPU copy";
}

AtlasRegion place(GlyphAtlas& atlas, int64_t width, int64_t height, uint8_t alpha = 255) {
    auto region = atlas.ensureRegion(width, height);
    EXPECT_TRUE(region);
    if (!region) return {};
    atlas.write(*region, solidGlyph(width, height, alpha), width, height);
    return *region;
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

TEST(GlyphAtlas, GlyphsGoOnShelvesWithAGutter) {
    GPU_TEST_DEVICE(device);
    auto atlas = GlyphAtlas::make(device, 1024, 8192, GlyphAtlasFormat::grayscale);
    ASSERT_TRUE(atlas);
    EXPECT_EQ(place(*atlas, 10, 20), (AtlasRegion{1, 1, 10, 20}));
    EXPECT_EQ(place(*atlas, 10, 20), (AtlasRegion{13, 1, 10, 20}));
    expectMirrored(*atlas);

    auto shelves = GlyphAtlas::make(device, 256, 1024, GlyphAtlasFormat::bgra);
    EXPECT_EQ(place(*shelves, 100, 30), (AtlasRegion{1, 1, 100, 30}));
    EXPECT_EQ(place(*shelves, 100, 50), (AtlasRegion{103, 1, 100, 50}));
    EXPECT_EQ(place(*shelves, 100, 10), (AtlasRegion{1, 53, 100, 10}));  // below the tallest
    expectMirrored(*shelves);
    EXPECT_FALSE(shelves->ensureRegion(0, 5));
    EXPECT_FALSE(shelves->ensureRegion(5, -1));
}

// A full 1024 atlas doubles, keeps every region and its texels, and logs the growth.
TEST(GlyphAtlas, GrowsAndKeepsEarlierGlyphs) {
    GPU_TEST_DEVICE(device);
    ScopedLogCapture log;
    auto atlas = GlyphAtlas::make(device, 1024, 8192, GlyphAtlasFormat::grayscale);
    std::vector<AtlasRegion> regions;
    for (int i = 0; i < 9; ++i) regions.push_back(place(*atlas, 300, 300, static_cast<uint8_t>(20 + i)));
    EXPECT_EQ(atlas->size(), 1024);
    const auto grown = place(*atlas, 300, 300, 99);
    EXPECT_EQ(atlas->size(), 2048);
    EXPECT_FALSE(atlas->didReset());
    EXPECT_EQ(grown, (AtlasRegion{1, 907, 300, 300}));
    for (size_t i = 0; i < regions.size(); ++i) {
        const auto& r = regions[i];
        EXPECT_EQ(atlas->data()[static_cast<size_t>((r.y + 5) * 2048 + r.x + 7)], 20 + i);
    }
    expectMirrored(*atlas);
    EXPECT_EQ(log.messages("GpuAtlas"), (std::vector<std::string>{"glyph atlas (grayscale) grow: 1024 -> 2048"}));
}

// At its largest the atlas empties itself, logs that once, and starts again at the corner.
TEST(GlyphAtlas, ResetsAtItsLargestAndFreezes) {
    GPU_TEST_DEVICE(device);
    ScopedLogCapture log;
    auto atlas = GlyphAtlas::make(device, 256, 256, GlyphAtlasFormat::grayscale);
    place(*atlas, 200, 100);
    place(*atlas, 200, 100);
    EXPECT_EQ(place(*atlas, 200, 100), (AtlasRegion{1, 1, 200, 100}));
    EXPECT_TRUE(atlas->didReset());
    expectMirrored(*atlas);  // all zero but the new glyph
    place(*atlas, 200, 100);
    EXPECT_FALSE(atlas->didReset());
    place(*atlas, 200, 100);
    EXPECT_TRUE(atlas->didReset());
    EXPECT_FALSE(atlas->ensureRegion(255, 10));  // wider than maxSize allows with its gutter
    EXPECT_EQ(atlas->size(), 256);

    atlas->frozen = true;
    place(*atlas, 200, 100);
    EXPECT_FALSE(atlas->ensureRegion(200, 100));
    EXPECT_FALSE(atlas->ensureRegion(200, 100));
    EXPECT_FALSE(atlas->didReset());
    EXPECT_EQ(log.messages("GpuAtlas"),
              (std::vector<std::string>{"glyph atlas (grayscale) reset at size 256: glyph working set exceeds capacity",
                                        "glyph atlas (grayscale) frozen and full; glyphs will be skipped this frame"}));
}

TEST(GlyphAtlas, AGrowthTheDeviceCannotMakeEndsInAReset) {
    GPU_TEST_DEVICE(device);
    ScopedLogCapture log;
    const int64_t beyond = int64_t(device->maxTextureSize()) * 2;
    auto atlas = GlyphAtlas::make(device, 1024, beyond, GlyphAtlasFormat::grayscale);
    place(*atlas, 10, 10);
    EXPECT_FALSE(atlas->ensureRegion(device->maxTextureSize(), 4));
    EXPECT_TRUE(atlas->didReset());
    EXPECT_EQ(atlas->size(), 1024);
    ASSERT_EQ(log.messages("GpuAtlas").size(), 2u);
    EXPECT_EQ(log.messages("GpuAtlas")[0],
              "glyph atlas (grayscale) grow to " + std::to_string(beyond) + " failed: texture allocation");
}

TEST(GlyphAtlas, MaximumSideFromTheEnvironment) {
    struct Case {
        const char* value;  // null: unset
        int64_t grayscale, bgra;
        int64_t onSmallDevice;  // a device that stops at 8192 texels
    } cases[] = {
        {nullptr, 8192, 4096, 8192}, {"300", 300, 300, 300},     {"-5", 256, 256, 256},
        {"0", 256, 256, 256},        {"20000", 16384, 16384, 8192}, {"+4000", 4000, 4000, 4000},
        {"abc", 8192, 4096, 8192},   {"", 8192, 4096, 8192},       {"30 0", 8192, 4096, 8192},
        {"99999999999999999999", 8192, 4096, 8192},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "unset");
        ScopedEnv env("VANTEL_ATLAS_MAX", c.value);
        EXPECT_EQ(GlyphAtlas::recommendedMaxSize(16384, GlyphAtlasFormat::grayscale), c.grayscale);
        EXPECT_EQ(GlyphAtlas::recommendedMaxSize(16384, GlyphAtlasFormat::bgra), c.bgra);
        EXPECT_EQ(GlyphAtlas::recommendedMaxSize(8192, GlyphAtlasFormat::grayscale), c.onSmallDevice);
    }
}

// At 300 both atlases start at 300 and never grow.
TEST(GlyphAtlas, ASmallMaximumNeverGrows) {
    GPU_TEST_DEVICE(device);
    ScopedLogCapture log;
    ScopedEnv env("VANTEL_ATLAS_MAX", "300");
    for (auto format : {GlyphAtlasFormat::grayscale, GlyphAtlasFormat::bgra}) {
        auto atlas = GlyphAtlas::make(device, 1024, GlyphAtlas::recommendedMaxSize(*device, format), format);
        EXPECT_EQ(atlas->size(), 300);
        for (int i = 0; i < 5; ++i) place(*atlas, 150, 150);
        EXPECT_EQ(atlas->size(), 300);
    }
}

// Coverage is the alpha byte; colour glyphs keep their bytes; the gutter repeats the edge texels,
// with the bitmap's rows turned over (atlas rows run from the glyph's bottom).
TEST(GlyphAtlas, WritesTexelsAndGutters) {
    GPU_TEST_DEVICE(device);
    auto gray = GlyphAtlas::make(device, 256, 256, GlyphAtlasFormat::grayscale);
    const std::vector<uint8_t> pixels{
        1, 2, 3, 10, 1, 2, 3, 20, 1, 2, 3, 30,  // top row
        10, 20, 30, 200, 1, 2, 3, 50, 1, 2, 3, 60,
    };
    auto region = *gray->ensureRegion(3, 2);
    gray->write(region, pixels, 3, 2);
    const std::vector<std::vector<int>> expected{
        {200, 200, 50, 60, 60},
        {200, 200, 50, 60, 60},
        {10, 10, 20, 30, 30},
        {10, 10, 20, 30, 30},
        {0, 0, 0, 0, 0},
    };
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(gray->data()[static_cast<size_t>(y * 256 + x)], expected[y][x]) << x << "," << y;
    expectMirrored(*gray);

    auto color = GlyphAtlas::make(device, 256, 256, GlyphAtlasFormat::bgra);
    auto colorRegion = *color->ensureRegion(3, 2);
    color->write(colorRegion, pixels, 3, 2);
    EXPECT_EQ(std::vector<uint8_t>(color->data().begin() + 4, color->data().begin() + 8), (std::vector<uint8_t>{10, 20, 30, 200}));
    expectMirrored(*color);

    // Against the right and bottom edges: no gutter beyond them.
    const AtlasRegion corner{253, 254, 3, 2};
    gray->write(corner, pixels, 3, 2);
    EXPECT_EQ(gray->data()[static_cast<size_t>(255 * 256 + 255)], 30);
    EXPECT_EQ(gray->data()[static_cast<size_t>(253 * 256 + 252)], 200);  // gutter above-left
    expectMirrored(*gray);

    // A size that does not match, or too few pixels, writes nothing.
    const auto before = gray->data();
    gray->write(region, pixels, 2, 2);
    gray->write(region, std::span<const uint8_t>(pixels).first(20), 3, 2);
    gray->write({300, 0, 3, 2}, pixels, 3, 2);
    EXPECT_TRUE(gray->data() == before);
}
