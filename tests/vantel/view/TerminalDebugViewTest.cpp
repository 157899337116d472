// The debug view: the ring's slots as stored and in order, yDisp and yBase marked, the status line.
#include <gtest/gtest.h>

#include "support/InputTestSupport.h"
#include "vantel/view/TerminalDebugView.h"

using namespace vantel;
using namespace vantel::testing;

TEST(TerminalDebugView, ShowsEverySlotOfTheRing) {
    InputFixture f;
    TerminalOptions options = gridOptions(10, 4);
    options.scrollback = 96;
    FixedCellView<> view(InputFixture::cell, platform::gfx::Rect{}, nullptr, options);
    for (int i = 0; i < 120; ++i) view.feed("row " + std::to_string(i) + "\r\n");
    view.scrollTo(50);
    TerminalDebugView debug(platform::gfx::Rect{0, 0, 400, 300}, view);
    EXPECT_EQ(view.debug(), &debug);
    EXPECT_EQ(debug.statusLine(), "WAITING");
    ASSERT_EQ(debug.slotCount(), 100);
    const Buffer& buffer = view.getTerminal().buffer();
    for (int i = 0; i < debug.slotCount(); ++i) {
        const std::string logical = debug.logicalLineRow(i);
        const std::string flags = std::string(i == buffer.yDisp() ? "D" : " ") + (i == buffer.yBase() ? "B" : " ");
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "[%03d]", i);
        EXPECT_EQ(logical.substr(0, 7), prefix + flags) << i;
        EXPECT_EQ(logical.size(), 7u + 10u) << "ten columns";
        EXPECT_EQ(debug.rawSlotRow(i).substr(0, 9).front(), '[');
    }
    EXPECT_EQ(debug.logicalLineRow(50).substr(5, 2), "D ");
    EXPECT_EQ(debug.logicalLineRow(buffer.yBase()).substr(5, 2), " B");
    // It follows the display updates.
    view.feed("x");
    view.updateDisplay(false);
    EXPECT_EQ(debug.statusLine().rfind("x: ", 0), 0u);
    EXPECT_NE(debug.statusLine().find(" yBase: " + std::to_string(buffer.yBase()) + " clc: 100 startIndex: "),
              std::string::npos);
    EXPECT_EQ(debug.getDebugString(nullptr, 10, "[p]"), "[p]<empty>");
    // Drawn: black rows on white.
    platform::ui::headless::HeadlessWindow window({400, 300}, 1);
    window.setContentView(&debug);
    window.displayIfNeeded();
    EXPECT_EQ(window.pixel(399, 150), 0xFFFFFFFFu);
    window.writePng(::testing::TempDir() + "terminal_debug_view.png");
    window.setContentView(nullptr);
}
