// Scrolling by moving pixels: the plan for a screen that moved, and frames drawn with moves that
// must equal full redraws pixel for pixel over random streams.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/headless/HeadlessWindow.h"
#include "support/ViewTestSupport.h"
#include "vantel/core/Base64.h"
#include "vantel/view/DrawnRows.h"

using namespace vantel;
using namespace std::chrono_literals;
using platform::gfx::Rect;
using platform::gfx::Size;
using platform::runtime::ScopedMainLoop;
using platform::runtime::VirtualMainLoop;
using platform::ui::headless::HeadlessWindow;
using Stamp = DrawnRows::Stamp;

namespace {

Stamp line(uint64_t serial) {
    Stamp s;
    s.serial = serial;
    return s;
}

// Rows drawn showing lines `drawn` (serials; 0 a band never drawn), each under the one before.
DrawnRows drawnRows(const std::vector<uint64_t>& drawn) {
    DrawnRows rows;
    rows.reset(static_cast<int>(drawn.size()));
    for (size_t r = 0; r < drawn.size(); ++r) {
        if (drawn[r] == 0) continue;
        rows.drawnWhole(static_cast<int>(r), r == 0 ? Stamp{} : line(drawn[r - 1]), line(drawn[r]));
    }
    return rows;
}

std::vector<Stamp> screen(const std::vector<uint64_t>& serials) {
    std::vector<Stamp> stamps;
    for (uint64_t s : serials) stamps.push_back(line(s));
    return stamps;
}

std::string staleRows(const DrawnRows::Plan& plan) {
    std::string out;
    for (bool s : plan.stale) out += s ? 'x' : '.';
    return out;
}

}  // namespace

TEST(DrawnRows, PlansTheMoveThatSparesTheMostDrawing) {
    struct Case {
        const char* name;
        std::vector<uint64_t> drawn, now;
        bool moves;
        int shift = 0, first = 0, last = 0, areaFirst = 0, areaLast = 0;
        const char* stale = "";
    };
    const std::vector<Case> cases = {
        // The first band lost the row above it; the new last row is drawn.
        {"up by one", {1, 2, 3, 4, 5, 6, 7, 8}, {2, 3, 4, 5, 6, 7, 8, 9}, true, 1, 0, 6, 0, 7, "x......x"},
        {"up by three", {1, 2, 3, 4, 5, 6, 7, 8}, {4, 5, 6, 7, 8, 9, 10, 11}, true, 3, 0, 4, 0, 7, "x....xxx"},
        // Reverse index at the top: the old first row keeps its band but not the row above it.
        {"down by one", {1, 2, 3, 4, 5, 6, 7, 8}, {9, 1, 2, 3, 4, 5, 6, 7}, true, -1, 1, 7, 0, 7, "xx......"},
        // A region above a status line that stays: the status line's band has a new row above.
        {"region above a status line",
         {1, 2, 3, 4, 5, 6, 7, 99},
         {2, 3, 4, 5, 6, 7, 8, 99},
         true, 1, 0, 5, 0, 6, "x.....xx"},
        {"nothing moved", {1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 3, 4, 5, 6, 7, 9}, false},
        {"all new", {1, 2, 3, 4, 5, 6, 7, 8}, {11, 12, 13, 14, 15, 16, 17, 18}, false},
        {"one row found again", {1, 2, 3, 4, 5, 6, 7, 8}, {8, 12, 13, 14, 15, 16, 17, 18}, false},
        // Two rows reused cannot pay for moving eight bands.
        {"too little spared", {1, 2, 3, 4, 5, 6, 7, 8}, {7, 8, 13, 14, 15, 16, 17, 18}, false},
        {"never drawn", {0, 0, 0, 0, 0, 0, 0, 0}, {2, 3, 4, 5, 6, 7, 8, 9}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DrawnRows rows = drawnRows(c.drawn);
        const std::vector<Stamp> now = screen(c.now);
        auto plan = rows.planScroll(now);
        ASSERT_EQ(plan.has_value(), c.moves);
        if (!plan) continue;
        EXPECT_EQ(plan->shift, c.shift);
        EXPECT_EQ(plan->first, c.first);
        EXPECT_EQ(plan->last, c.last);
        EXPECT_EQ(plan->areaFirst, c.areaFirst);
        EXPECT_EQ(plan->areaLast, c.areaLast);
        EXPECT_EQ(staleRows(*plan), c.stale);
    }
}

TEST(DrawnRows, StampsHoldOnlyForWhatTheRowShowed) {
    struct Case {
        const char* name;
        Stamp drawn, now;
        bool same;
    };
    Stamp blinkShown = line(5), blinkHidden = line(5), noBlink = line(5), selected = line(5), other = line(5),
          pictures = line(5), now = line(5);
    blinkShown.blink = 1;
    blinkHidden.blink = 2;
    selected.selectionStart = 2, selected.selectionEnd = 6;
    other.generation = 1;
    pictures.reusable = false;
    now.blink = 1;
    const std::vector<Case> cases = {
        {"same line", noBlink, now, true},
        {"blinking text in the same phase", blinkShown, now, true},
        {"blinking text in the other phase", blinkHidden, now, false},
        {"selected then, not now", selected, now, false},
        {"changed since", other, now, false},
        {"pictures from outside the line", pictures, now, false},
    };
    for (const Case& c : cases) EXPECT_EQ(DrawnRows::same(c.drawn, c.now), c.same) << c.name;
}

TEST(DrawnRows, AMoveCarriesTheBandsAndForgetsWhatItUncovered) {
    DrawnRows rows = drawnRows({1, 2, 3, 4});
    const std::vector<Stamp> now = screen({2, 3, 4, 5});
    auto plan = rows.planScroll(now);
    ASSERT_TRUE(plan);
    rows.applyMove(*plan);
    EXPECT_TRUE(rows.knows(0));
    EXPECT_TRUE(rows.knows(2));
    EXPECT_FALSE(rows.knows(3));
    // Drawn in part with other content, a band is forgotten; with the same, it is kept.
    rows.drawnInPart(1, line(2), line(3));
    EXPECT_TRUE(rows.knows(1));
    rows.drawnInPart(1, line(2), line(42));
    EXPECT_FALSE(rows.knows(1));
}

// --- Frames with moves against full redraws ----------------------------------------------------

namespace {

constexpr int cols = 30, rows = 12;

uint64_t nextRandom(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// One view in a window of its own; the caret steady so that time does not change it.
struct Stage {
    HeadlessWindow window;
    vantel::testing::FixedCellView<> view;
    explicit Stage(double scale, Size cell = {8, 17})
        : window({cols * 8.0 * 2, rows * 20.0 * 2}, scale),
          view(cell, Rect{}, platform::gfx::Font::systemFont(13), vantel::testing::gridOptions(cols, rows)) {
        const Rect frame = view.getOptimalFrameSize();
        view.scroller().setHidden(true);
        window.setSize({frame.width, frame.height});
        window.setContentView(&view);
        window.setKeyWindow(true);
        window.makeFirstResponder(&view);
        view.feed("\x1b[2 q");
    }
};

// A random piece of output: lines that scroll, regions, reverse scrolls, cursor moves, wide and
// combining text, right-to-left words, blinking text, links, double-width rows and pictures.
std::string randomPiece(uint64_t& state) {
    auto pick = [&](uint64_t n) { return nextRandom(state) % n; };
    static const char* const words[] = {"alpha", "漢字", "e\u0301te\u0301", "\u05e9\u05dc\u05d5\u05dd", "\U0001F600",
                                        "\u2500\u2502\u253c", "\u2588\u2591", "mot", "\u0645\u0631\u062d\u0628\u0627"};
    static const char* const looks[] = {"\x1b[0m", "\x1b[1;31m", "\x1b[42m", "\x1b[4;35m", "\x1b[5m", "\x1b[7m"};
    std::string out;
    auto text = [&] {
        const int count = 1 + static_cast<int>(pick(6));
        for (int i = 0; i < count; ++i) {
            out += looks[pick(std::size(looks))];
            if (pick(8) == 0) out += "\x1b]8;;https://example.org/" + std::to_string(pick(100)) + "\x1b\\";
            out += words[pick(std::size(words))];
            if (pick(8) == 0) out += "\x1b]8;;\x1b\\";
            out += ' ';
        }
        out += "\x1b[0m";
    };
    switch (pick(12)) {
    case 0:
    case 1:
    case 2:
    case 3: {
        // Lines at the bottom: the screen scrolls by one to a few rows.
        const int lines = 1 + static_cast<int>(pick(3));
        out += "\x1b[" + std::to_string(rows) + ";1H";
        for (int i = 0; i < lines; ++i) {
            out += "\r\n";
            text();
        }
        break;
    }
    case 4: {
        // A region that scrolls while the rows around it stay.
        const int top = 1 + static_cast<int>(pick(4)), bottom = rows - static_cast<int>(pick(4));
        out += "\x1b[" + std::to_string(top) + ";" + std::to_string(bottom) + "r";
        out += "\x1b[" + std::to_string(bottom) + ";1H\n";
        text();
        if (pick(2)) out += "\x1b[" + std::to_string(1 + pick(2)) + (pick(2) ? "S" : "T");
        if (pick(2)) out += "\x1b[" + std::to_string(top) + ";1H\x1bM";
        out += "\x1b[r";
        break;
    }
    case 5:
        out += "\x1b[" + std::to_string(1 + pick(rows)) + ";" + std::to_string(1 + pick(cols)) + "H";
        text();
        break;
    case 6:
        out += "\x1b[" + std::to_string(1 + pick(rows)) + ";1H" + (pick(2) ? "\x1b#6" : pick(2) ? "\x1b#3" : "\x1b#4");
        text();
        break;
    case 7:
        out += "\x1b[" + std::to_string(rows) + ";1H\r\n\x1bPq\"1;1;16;12#1;2;100;0;0#1!16~-#1!16~\x1b\\";
        break;
    case 8: {
        const std::vector<uint8_t> pixels = {0, 0, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255};
        out += "\x1b[" + std::to_string(rows) + ";3H\x1b_Ga=T,q=2,f=24,s=2,v=2,c=2,r=1;" + Base64::encode(pixels) +
               "\x1b\\\r\n";
        break;
    }
    case 9:
        out += "\x1b[" + std::to_string(rows) + ";1H\x1b[" + std::to_string(1 + pick(3)) + "S";
        break;
    case 10:
        out += "\x1b[H\x1b[" + std::to_string(1 + pick(2)) + "T";
        break;
    default:
        out += "\r\n";
        text();
        break;
    }
    return out;
}

// Something the user does between pieces: a selection, a link under the pointer, time passing.
void randomAction(uint64_t& state, Stage& moved, Stage& full, VirtualMainLoop& loop) {
    auto pick = [&](uint64_t n) { return nextRandom(state) % n; };
    switch (pick(10)) {
    case 0: {
        const int yBase = moved.view.getTerminal().buffer().yBase();
        const Position start{static_cast<int>(pick(cols)), yBase + static_cast<int>(pick(rows))};
        const Position end{static_cast<int>(pick(cols)), yBase + static_cast<int>(pick(rows))};
        for (Stage* s : {&moved, &full}) {
            s->view.selection().setSelection(start, end);
            s->view.getTerminal().updateFullScreen();
            s->view.queuePendingDisplay();
        }
        break;
    }
    case 1: {
        const int yBase = moved.view.getTerminal().buffer().yBase();
        Terminal::LinkMatch::RowRange range;
        range.row = yBase + static_cast<int>(pick(rows));
        range.range.start = static_cast<int>(pick(cols / 2));
        range.range.end = range.range.start + 1 + static_cast<int>(pick(cols / 2));
        for (Stage* s : {&moved, &full}) {
            s->view.setLinkHighlightMode(LinkHighlightMode::hover);
            auto old = s->view.linkHighlightRange();
            s->view.setLinkHighlightRange(std::vector<Terminal::LinkMatch::RowRange>{range});
            s->view.invalidateLinkHighlight(old, s->view.linkHighlightRange());
            s->view.queuePendingDisplay();
        }
        break;
    }
    case 2:
        // Text blinks a phase.
        loop.advance(TerminalView::textBlinkInterval);
        break;
    default: break;
    }
}

}  // namespace

TEST(TerminalViewDrawnRows, FramesThatMoveRowsEqualFullRedraws) {
    // The font's own cell, and a taller one (more line spacing).
    const Size natural = *TerminalView(Rect{}, platform::gfx::Font::systemFont(13)).cellDimension();
    for (const Size cell : {natural, Size{natural.width, natural.height + 5}})
    for (double scale : {1.0, 2.0}) {
        for (uint64_t seed = 1; seed <= 6; ++seed) {
            SCOPED_TRACE("scale " + std::to_string(scale) + " seed " + std::to_string(seed) + " cell height " +
                         std::to_string(cell.height));
            VirtualMainLoop loop;
            ScopedMainLoop scoped{loop};
            Stage moved(scale, cell), full(scale, cell);
            uint64_t state = seed;
            int moves = 0;
            for (int step = 0; step < 120; ++step) {
                const std::string piece = randomPiece(state);
                moved.view.feed(piece);
                full.view.feed(piece);
                randomAction(state, moved, full, loop);
                const uint64_t before = moved.view.rowMoveCount();
                loop.advance(20ms);
                moves += moved.view.rowMoveCount() > before ? 1 : 0;
                moved.window.displayIfNeeded();
                full.view.setNeedsDisplay();
                full.window.displayIfNeeded();
                const platform::gfx::Image a = moved.window.surface().image(), b = full.window.surface().image();
                ASSERT_EQ(a.pixels.size(), b.pixels.size());
                size_t differ = 0, first = a.pixels.size();
                for (size_t i = 0; i < a.pixels.size(); ++i) {
                    if (a.pixels[i] == b.pixels[i]) continue;
                    ++differ;
                    first = std::min(first, i);
                }
                if (differ) {
                    moved.window.writePng("drawn-rows-moved.png");
                    full.window.writePng("drawn-rows-full.png");
                }
                ASSERT_EQ(differ, 0u) << "step " << step << ": first at x " << first % a.width << " y "
                                      << first / a.width << " after " << ::testing::PrintToString(piece);
            }
            // The streams scroll often enough that most of their frames move rows.
            EXPECT_GT(moves, 20);
        }
    }
}

TEST(TerminalViewDrawnRows, AScrollByOneLineDrawsTheNewRowAndTheFirstOnly) {
    VirtualMainLoop loop;
    ScopedMainLoop scoped{loop};
    Stage stage(1);
    const double cellHeight = stage.view.cellDimension()->height;
    for (int i = 0; i < rows; ++i) stage.view.feed("line " + std::to_string(i) + "\r\n");
    loop.advance(20ms);
    stage.window.displayIfNeeded();
    stage.view.feed("the next line\r\n");
    loop.advance(20ms);
    ASSERT_EQ(stage.view.rowMoveCount(), 1u);
    // The first band (it lost what the row above reached into it), and the bottom: the row
    // written, the new empty last row, and the strip below the grid.
    std::vector<Rect> dirty = stage.window.dirtyRects();
    std::sort(dirty.begin(), dirty.end(), [](const Rect& a, const Rect& b) { return a.y > b.y; });
    ASSERT_EQ(dirty.size(), 2u);
    const double height = stage.view.bounds().height;
    EXPECT_EQ(dirty[0], (Rect{0, height - cellHeight, stage.view.bounds().width, cellHeight}));
    EXPECT_EQ(dirty[1], (Rect{0, 0, stage.view.bounds().width, height - (rows - 2) * cellHeight}));
}

