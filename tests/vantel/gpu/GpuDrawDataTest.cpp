// The draw-data build: which rows a frame builds again and which it takes from the row cache, the
// buffering modes, the passes an atlas change repeats, the buffer pool, and what is encoded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>

#include "GpuScreenSupport.h"
#include "platform/gpu/Buffer.h"
#include "platform/gpu/CommandQueue.h"
#include "platform/runtime/SystemLog.h"
#include "vantel/gpu/GpuBufferPool.h"

using namespace vantel;
using vantel::testing::GpuScreen;

namespace {

// A screen of text on every row: each row has glyphs (and so buffers) of its own.
void fill(GpuScreen& s, int rows) {
    std::string text;
    for (int r = 0; r < rows; ++r) text += "\x1b[" + std::to_string(r + 1) + ";1Hrow " + std::to_string(r) + " text";
    s.feed(text);
}

std::vector<std::string> messages(const platform::runtime::ScopedLogCapture& log, const char* category) {
    std::vector<std::string> out;
    for (const auto& entry : log.entries()) {
        if (entry.category == category) out.push_back(entry.message);
    }
    return out;
}

}  // namespace

// Nothing changed: the same buffers; one dirty row: that row; dirty rows off the screen: none.
TEST(GpuDrawData, OnlyChangedRowsAreBuiltAgain) {
    GPU_TEST_DEVICE(device);
    GpuScreen s(20, 6);
    fill(s, 6);
    DrawData first = s.build();
    ASSERT_EQ(first.rows.size(), 6u);
    EXPECT_EQ(s.rowsBuilt(), 6u);  // the first pass builds every row

    DrawData again = s.build();
    EXPECT_EQ(s.rowsBuilt(), 6u);
    for (size_t r = 0; r < 6; ++r) {
        ASSERT_TRUE(first.rows[r].glyphGrayBuffer);
        EXPECT_EQ(again.rows[r].glyphGrayBuffer, first.rows[r].glyphGrayBuffer) << r;
    }

    // The cursor's move marks the rows it leaves and enters; then output changes its row alone.
    s.feed("\x1b[3;1H");
    s.build();
    const uint64_t built = s.rowsBuilt();
    s.feed("changed");
    DrawData changed = s.build();
    EXPECT_EQ(s.rowsBuilt(), built + 1);
    EXPECT_NE(changed.rows[2].glyphGrayBuffer, first.rows[2].glyphGrayBuffer);
    EXPECT_EQ(changed.rows[1].glyphGrayBuffer, first.rows[1].glyphGrayBuffer);

    s.view().gpuHosting().gpuDirtyRange = std::make_pair(100, 120);
    s.build();
    EXPECT_EQ(s.rowsBuilt(), built + 1);
}

// A row is also built again when its line object, its generation or its bidi paragraph changed
// without a dirty range saying so.
TEST(GpuDrawData, RowsFollowTheirLinesAndParagraphs) {
    GPU_TEST_DEVICE(device);
    GpuScreen s(20, 6);
    // Row 4 and 5 hold one soft-wrapped paragraph.
    fill(s, 4);
    s.feed("\x1b[5;1H" + std::string(30, 'w'));
    s.build();
    const uint64_t built = s.rowsBuilt();

    struct Case {
        const char* name;
        std::function<void(GpuScreen&)> change;
        int rebuilt;
    } cases[] = {
        {"another line object", [](GpuScreen& g) { g.buffer().lines().set(1, BufferLine::make(g.terminal().cols())); },
         1},
        {"a new generation", [](GpuScreen& g) { g.buffer().lines()[2].touch(); }, 1},
        // The wrapped row's paragraph changes under the first row of it.
        {"a paragraph revision", [](GpuScreen& g) { g.buffer().lines()[5].touch(); }, 2},
    };
    uint64_t before = built;
    for (const Case& c : cases) {
        c.change(s);
        s.build();
        EXPECT_EQ(s.rowsBuilt() - before, static_cast<uint64_t>(c.rebuilt)) << c.name;
        before = s.rowsBuilt();
    }
}

// Frame-wide inputs rebuild every visible row.
TEST(GpuDrawData, FrameWideChangesRebuildEveryRow) {
    GPU_TEST_DEVICE(device);
    GpuScreen s(20, 6);
    for (int i = 0; i < 12; ++i) s.feed("line " + std::to_string(i) + "\r\n");
    s.build();
    struct Case {
        const char* name;
        std::function<void(GpuScreen&)> change;
    } cases[] = {
        {"scrolled up a line", [](GpuScreen& g) { g.view().scrollUp(1); }},
        {"scrolled down a line", [](GpuScreen& g) { g.view().scrollDown(1); }},
        {"resized",
         [](GpuScreen& g) {
             g.view().setFrameSize({g.view().frame().width, g.view().frame().height - g.cell().height});
         }},
        {"another font", [](GpuScreen& g) { g.view().setFont(platform::gfx::Font::create("monospace", 15)); }},
        {"the alternate screen", [](GpuScreen& g) { g.view().feed("\x1b[?1049h"); }},
        {"a Kitty image stored", [](GpuScreen& g) { g.view().feed("\x1b_Ga=t,f=32,s=1,v=1,i=7,q=2;AAAA/w==\x1b\\"); }},
    };
    for (const Case& c : cases) {
        const uint64_t before = s.rowsBuilt();
        c.change(s);
        s.view().gpuHosting().gpuDirtyRange.reset();  // no dirty rows: the signature alone
        DrawData data = s.build();
        EXPECT_EQ(s.rowsBuilt() - before, data.rows.size()) << c.name;
        EXPECT_GT(data.rows.size(), 0u) << c.name;
    }
}

// Switching to the aggregated mode keeps each row's lists and drops its buffers; switching back
// makes buffers from the lists without building the rows again.
TEST(GpuDrawData, BufferingModesShareTheRowCache) {
    GPU_TEST_DEVICE(device);
    GpuScreen s(20, 6);
    fill(s, 6);
    s.build();
    const uint64_t built = s.rowsBuilt();

    s.view().setGpuBufferingMode(GpuBufferingMode::perFrameAggregated);
    DrawData aggregated = s.build();
    ASSERT_TRUE(aggregated.frame);
    EXPECT_TRUE(aggregated.rows.empty());
    EXPECT_FALSE(aggregated.frame->glyphCellsGray.empty());
    for (const auto& [row, entry] : s.renderer().rowCache()) {
        EXPECT_TRUE(entry.data) << row;
        EXPECT_FALSE(entry.buffers) << row;
    }
    EXPECT_EQ(s.rowsBuilt(), built);

    s.view().setGpuBufferingMode(GpuBufferingMode::perRowPersistent);
    DrawData rows = s.build();
    EXPECT_FALSE(rows.frame);
    EXPECT_EQ(rows.rows.size(), 6u);
    for (const auto& [row, entry] : s.renderer().rowCache()) EXPECT_TRUE(entry.buffers) << row;
    EXPECT_EQ(s.rowsBuilt(), built);
}

// An atlas that grows once costs one more pass and one log line; one that is reset on every pass
// ends in a sixth, frozen pass, with the fault logged once, and is unfrozen afterwards.
TEST(GpuDrawData, AtlasChangesRepeatThePass) {
    GPU_TEST_DEVICE(device);
    {
        GpuScreen s(20, 6);
        fill(s, 6);
        // Only a glyph of at most 0 × 0 pixels still fits: the first glyph makes it grow.
        ASSERT_TRUE(s.renderer().grayscaleAtlas().ensureRegion(1022, 1022));
        platform::runtime::ScopedLogCapture log;
        const uint64_t passes = s.renderer().statistics().passes;
        s.build();
        EXPECT_EQ(s.renderer().statistics().passes - passes, 2u);
        EXPECT_EQ(s.renderer().grayscaleAtlas().size(), 2048);
        EXPECT_EQ(messages(log, "GpuAtlas"),
                  (std::vector<std::string>{"glyph atlas (grayscale) grow: 1024 -> 2048",
                                            "glyph atlas changed during frame build; rebuild pass 1/5"}));
    }
    {
        // Atlases of 256 texels cannot hold 94 glyphs of a 30-point font at scale 2.
        ::setenv("VANTEL_ATLAS_MAX", "256", 1);
        GpuScreen s(47, 2, 2, 30);
        ::unsetenv("VANTEL_ATLAS_MAX");
        std::string all;
        for (char c = '!'; c <= '~'; ++c) all.push_back(c);
        s.feed(all);
        platform::runtime::ScopedLogCapture log;
        const uint64_t passes = s.renderer().statistics().passes;
        DrawData data = s.build();
        EXPECT_EQ(s.renderer().statistics().passes - passes, 6u);
        const std::vector<std::string> atlas = messages(log, "GpuAtlas");
        for (int pass = 1; pass <= 5; ++pass) {
            const std::string line =
                "glyph atlas changed during frame build; rebuild pass " + std::to_string(pass) + "/5";
            EXPECT_EQ(std::count(atlas.begin(), atlas.end(), line), 1) << line;
        }
        EXPECT_EQ(std::count(atlas.begin(), atlas.end(),
                             "glyph working set exceeds max atlas capacity; some glyphs will be skipped this frame"),
                  1);
        EXPECT_FALSE(s.renderer().grayscaleAtlas().frozen);
        EXPECT_FALSE(s.renderer().colorAtlas().frozen);
        EXPECT_FALSE(data.rows.empty());  // the sixth pass is drawn, some glyphs left out
    }
}

// Rows whose buffers could not all be made keep their lists alone and get buffers next frame,
// without being built again.
TEST(GpuDrawData, ARowWithoutBuffersGetsThemNextFrame) {
    GPU_TEST_DEVICE(device);
    GpuScreen s(20, 6);
    fill(s, 6);
    s.device().testHooks.failBufferAllocation = true;
    DrawData failed = s.build();
    s.device().testHooks.failBufferAllocation = false;
    EXPECT_FALSE(failed.rows[0].glyphGrayBuffer);
    for (const auto& [row, entry] : s.renderer().rowCache()) {
        EXPECT_TRUE(entry.data);
        EXPECT_FALSE(entry.buffers) << row;
    }
    const uint64_t built = s.rowsBuilt();
    DrawData next = s.build();
    EXPECT_EQ(s.rowsBuilt(), built);
    EXPECT_TRUE(next.rows[0].glyphGrayBuffer);
    for (const auto& [row, entry] : s.renderer().rowCache()) EXPECT_TRUE(entry.buffers) << row;
}

// Size classes from 4096 bytes; at most four idle buffers of a length; nothing back before the
// frame's command buffer completed.
TEST(GpuBufferPool, SizeClassesIdleBuffersAndFences) {
    GPU_TEST_DEVICE(device);
    struct Size {
        size_t asked, got;
    } sizes[] = {{1, 4096}, {100, 4096}, {4096, 4096}, {4097, 8192}, {5000, 8192}, {8193, 16384}, {0, 0}};
    for (const Size& c : sizes) EXPECT_EQ(GpuBufferPool::sizeClass(c.asked), c.got) << c.asked;

    auto pool = std::make_shared<GpuBufferPool>(device);
    std::vector<std::shared_ptr<platform::gpu::Buffer>> five;
    for (int i = 0; i < 5; ++i) five.push_back(pool->dequeue(4096));
    pool->recycle(five);
    EXPECT_EQ(pool->availableCount(4096), 4u);
    EXPECT_EQ(pool->dequeue(4096), five[3]);  // the last one given back comes out first

    auto queue = device->makeCommandQueue();
    auto commandBuffer = queue->commandBuffer();
    ASSERT_TRUE(commandBuffer);
    pool->beginFrame();
    auto taken = pool->frameBuffer(100);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->length(), 4096u);
    const size_t idle = pool->availableCount(4096);
    device->testHooks.holdCompletion = true;
    pool->commit(*commandBuffer);
    commandBuffer->commit();
    device->finish();
    EXPECT_EQ(pool->availableCount(4096), idle);  // still in flight
    device->testHooks.holdCompletion = false;
    device->finish();
    EXPECT_EQ(pool->availableCount(4096), idle + 1);
}

// What a frame encodes: no picture, no text pipeline; no cursor, no cursor pass; one atlas per
// glyph layer. A frame without a command buffer is refused, and the next one draws from the
// rows it built.
TEST(GpuDrawData, EncodingSetsOnlyWhatIsDrawn) {
    GPU_TEST_DEVICE(device);
    for (auto mode : {GpuBufferingMode::perRowPersistent, GpuBufferingMode::perFrameAggregated}) {
        SCOPED_TRACE(static_cast<int>(mode));
        GpuScreen s(20, 6);
        s.view().setGpuBufferingMode(mode);
        s.feed("\x1b[?25lplain text \x1b[41m red \x1b[0m\xf0\x9f\x98\x80");
        s.frame();
        s.device().testHooks.recordCommands = true;
        s.device().encoderLogs.clear();
        s.feed("\x1b[2;1Hmore");
        s.frame();
        s.device().testHooks.recordCommands = false;
        ASSERT_EQ(s.device().encoderLogs.size(), 1u);
        const std::vector<std::string>& log = s.device().encoderLogs[0];
        auto count = [&](const std::string& line) { return std::count(log.begin(), log.end(), line); };
        auto starting = [&](const std::string& prefix) {
            return std::count_if(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
        };
        EXPECT_EQ(count("pipeline terminal_text_vertex+terminal_text_fragment"), 0);  // no pictures, no cursor glyph
        EXPECT_EQ(starting("pipeline terminal_color_vertex+"), 0);                    // no cursor
        EXPECT_EQ(count("pipeline terminal_cell_text_vertex+terminal_text_fragment_gray"), 1);
        EXPECT_EQ(count("pipeline terminal_cell_text_vertex+terminal_text_fragment"), 1);
        EXPECT_EQ(starting("fragment texture 0 r8Unorm"), 1);     // the grayscale atlas, once
        EXPECT_EQ(starting("fragment texture 0 bgra8Unorm"), 1);  // the colour atlas, once
        EXPECT_EQ(count("pipeline terminal_cell_color_vertex+terminal_color_fragment"), 1);  // backgrounds only

        const uint64_t before = s.rowsBuilt();
        s.device().testHooks.failCommandBuffer = true;
        s.feed("\x1b[3;1Hthird");
        s.gpuView().draw();
        s.device().testHooks.failCommandBuffer = false;
        EXPECT_GT(s.rowsBuilt(), before);  // built, not drawn
        const uint64_t built = s.rowsBuilt();
        s.loop.runPending();
        s.frame();
        EXPECT_EQ(s.rowsBuilt(), built);  // drawn from the row cache
    }
}
