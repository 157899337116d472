// Bidirectional rows in the view: built in visual order, drawn where the layout says, and mapped
// back for the pointer and the selection.
#include <gtest/gtest.h>

#include <cmath>

#include "vantel/view/HeadlessTerminalRenderer.h"

using namespace vantel;
using platform::gfx::Rect;

namespace {

constexpr auto ltr = BidiDirection::leftToRight, rtl = BidiDirection::rightToLeft;
constexpr BidiPresentationState explicitLeftToRight{BidiSupportMode::explicit_, false, ltr, false};
constexpr BidiPresentationState rightToLeft{BidiSupportMode::implicit, false, rtl, false};
constexpr auto respect = BidiHostPolicy::respectTerminal, legacy = BidiHostPolicy::legacyLeftToRight;

// A 10 × 3 view (8 × 16 cells and the scroller's 15 points).
struct View {
    TerminalView view{Rect{0, 0, 95, 48}};
    Terminal& terminal() { return view.getTerminal(); }
    ViewLineInfo build() { return view.buildAttributedString(0, terminal().buffer().lines()[0], terminal().cols()); }
};

// Each segment as "column:text", trailing blanks dropped.
std::string segments(const ViewLineInfo& info) {
    std::string out;
    for (const ViewLineSegment& s : info.segments) {
        std::u16string text = s.attributedString.text;
        while (!text.empty() && text.back() == u' ') text.pop_back();
        if (!out.empty()) out += ' ';
        out.append(std::to_string(s.column)).append(":");
        for (char16_t c : text) appendUtf8(out, c);
    }
    return out;
}

// How far the device pixels of a box differ from the background (the last pixel), over all channels.
double ink(const platform::gfx::Canvas& canvas, double x, double y, double width, double height) {
    const uint32_t background = canvas.pixel(canvas.pixelWidth() - 1, canvas.pixelHeight() - 1);
    double sum = 0;
    for (int py = int(y); py < int(y + height); ++py) {
        for (int px = int(x); px < int(x + width); ++px) {
            const uint32_t p = canvas.pixel(px, py);
            for (int shift : {0, 8, 16}) sum += std::abs(int((p >> shift) & 255) - int((background >> shift) & 255));
        }
    }
    return sum;
}

}  // namespace

TEST(TerminalViewBidi, RowsAreBuiltInVisualOrder) {
    struct Case {
        const char* bytes;
        BidiPresentationState state;
        BidiHostPolicy policy;
        std::string expected;
        bool override_;
    } cases[] = {
        {"ab c", {}, respect, "0:ab c", false},
        {"ab \xD7\x90\xD7\x91", {}, respect, "0:ab \xD7\x91\xD7\x90", true},
        {"ab \xD7\x90\xD7\x91", {}, legacy, "0:ab \xD7\x90\xD7\x91", false},
        {"ab \xD7\x90\xD7\x91", explicitLeftToRight, respect, "0:ab \xD7\x90\xD7\x91", true},
        // Joining letters show their forms, each shaped on its own, at the right margin.
        {"\xD8\xA8\xD8\xA8", rightToLeft, respect, "0: 8:\xEF\xBA\x90 9:\xEF\xBA\x91", true},
    };
    for (const Case& tc : cases) {
        View v;
        v.view.setBidiHostPolicy(tc.policy);
        v.terminal().feed(tc.bytes);
        v.terminal().buffer().lines()[0].setBidiState(tc.state);
        ViewLineInfo info = v.build();
        ASSERT_FALSE(info.segments.empty());
        EXPECT_EQ(std::tuple(segments(info), info.segments[0].attributedString.runs[0].attributes.leftToRightOverride),
                  std::tuple(tc.expected, tc.override_)) << tc.bytes << int(tc.policy);
    }
}

// The pointer's visual column selects the logical cell shown there, and the selection is drawn
// where that cell shows.
TEST(TerminalViewBidi, ClickingAVisualColumnSelectsTheLogicalCellUnderIt) {
    View v;
    v.terminal().feed("ab \xD7\x90\xD7\x91\xD7\x92");  // shown as "ab גבא"
    struct Case {
        int visual, logical;
        const char* text;
    } cases[] = {{0, 0, "a"}, {3, 5, "\xD7\x92"}, {4, 4, "\xD7\x91"}, {5, 3, "\xD7\x90"}, {7, 7, ""}};
    for (const Case& tc : cases) {
        const int col = v.view.visualToLogicalCol(0, tc.visual);
        EXPECT_EQ(col, tc.logical);
        EXPECT_EQ(v.view.logicalToVisualCol(0, col), tc.visual);
        v.view.selection().setSelection({col, 0}, {col + 1, 0});
        v.view.selection().setActive(true);
        EXPECT_EQ(v.view.selection().getSelectedText(), tc.text) << tc.visual;
        // The selected run's background stands at the visual column.
        int selectedVisual = -1;
        for (const ViewLineSegment& s : v.build().segments) {
            size_t at = 0;
            for (const AttributedText::Run& run : s.attributedString.runs) {
                if (run.attributes.selectionBackground) selectedVisual = s.column + s.cellOrdinal(at) * s.columnWidth;
                at += run.length;
            }
        }
        EXPECT_EQ(selectedVisual, tc.visual);
    }
    v.view.setBidiHostPolicy(legacy);
    EXPECT_EQ(v.view.visualToLogicalCol(0, 3), 3);
    EXPECT_EQ(v.view.logicalToVisualCol(-1, 4), 4);
}

// The caret's column after text: left of it in a right-to-left row, right of it otherwise.
TEST(TerminalViewBidi, CaretColumn) {
    View v;
    v.terminal().feed("\xD7\x90\xD7\x91\r\nab\xD7\x90");
    EXPECT_EQ(std::tuple(v.view.logicalToVisualCol(0, 2), v.view.logicalToVisualCol(1, 3), v.view.logicalToVisualCol(2, 0)),
              std::tuple(10 - 1 - 2, 3, 0));
}

// The caret view itself stands over the visual column of the cursor's cell.
TEST(TerminalViewBidi, TheCaretStandsOverItsCellsVisualColumn) {
    struct Case {
        const char* name;
        const char* text;  // ends with the cursor where it is wanted
        BidiHostPolicy policy;
        int visual;
    } cases[] = {
        {"on the last Hebrew letter", "ab \xD7\x90\xD7\x91\xD7\x92\x1b[1;6H", respect, 3},
        {"on the first Hebrew letter", "ab \xD7\x90\xD7\x91\xD7\x92\x1b[1;4H", respect, 5},
        {"on Latin before the run", "ab \xD7\x90\xD7\x91\xD7\x92\x1b[1;2H", respect, 1},
        {"after the text of a right-to-left row", "\xD7\x90\xD7\x91", respect, 10 - 1 - 2},
        {"legacy policy: logical column", "ab \xD7\x90\xD7\x91\xD7\x92\x1b[1;6H", legacy, 5},
    };
    for (const Case& c : cases) {
        View v;
        v.view.setBidiHostPolicy(c.policy);
        v.terminal().feed(c.text);
        v.view.updateCursorPosition();
        ASSERT_NE(v.view.caretView(), nullptr);
        const double cellWidth = v.view.caretView()->frame().width;
        EXPECT_DOUBLE_EQ(v.view.caretView()->frame().x, c.visual * cellWidth) << c.name;
    }
}

TEST(TerminalViewBidi, RedrawRowsCoverWholeParagraphs) {
    View v;
    v.terminal().feed("0123456789ab\r\nx");  // screen rows 0 and 1 are one paragraph
    // Dirty rows, then the rows to draw and whether they were widened.
    const std::tuple<int, int, int, int, bool> cases[] = {
        {1, 1, 0, 1, true}, {2, 2, 2, 2, true}, {-1, 1, -1, 1, false}, {2, 1, 2, 1, false}, {1, 5, 1, 5, false}};
    for (const auto& [start, end, first, last, widened] : cases) {
        TerminalView::RedrawRows rows = v.view.bidiRedrawRows(start, end);
        EXPECT_EQ(std::tuple(rows.first, rows.last, rows.bufferRows.has_value()), std::tuple(first, last, widened))
            << start << "," << end;
    }
    // A paragraph that starts in the scroll-back: the screen rows stop at the top.
    v.terminal().feed("\r\n0123456789abcdefghijklmno\r\nx");
    TerminalView::RedrawRows rows = v.view.bidiRedrawRows(0, 0);
    EXPECT_EQ(std::tuple(rows.first, rows.last), std::tuple(0, 1));
    EXPECT_EQ(rows.bufferRows, std::pair(3, 5));
}

// Drawn: a row of Hebrew and Latin puts each glyph where the layout shows its cell. Row 1 holds
// the expected picture as plain left-to-right text; the ink of every cell must match.
TEST(TerminalViewBidi, GlyphsAreDrawnAtTheirVisualColumns) {
    HeadlessTerminalRenderer renderer({12, 2, 13, "monospace", 2});
    renderer.feed("ab \xD7\x90\xD7\x91\xD7\x92 cd\r\nab \xD7\x92\xD7\x91\xD7\x90 cd");
    renderer.terminal().buffer().lines()[1].setBidiState(explicitLeftToRight);
    const platform::gfx::Canvas& canvas = renderer.render();
    const double cw = renderer.cell().width * 2, ch = renderer.cell().height * 2;
    auto coverage = [&](int col, int row) { return ink(canvas, col * cw, row * ch, cw, ch); };
    for (int col = 0; col < 12; ++col) {
        EXPECT_NEAR(coverage(col, 0), coverage(col, 1), 0.02 * coverage(col, 1) + 1) << "column " << col;
    }
    // The letters differ enough for the comparison to tell them apart.
    EXPECT_GT(std::abs(coverage(3, 1) - coverage(5, 1)), 0.1 * coverage(5, 1));
}

// A double-width or double-height row lays its text out over the cells it shows: four Hebrew
// letters on 30 columns end at the right edge, in reverse order. Each case's last rows hold the
// expected picture, the letters already reversed and laid out left to right.
TEST(TerminalViewBidi, DoubledRowsEndAtTheRightEdge) {
    const std::string hebrew = "\xD7\x90\xD7\x91\xD7\x92\xD7\x93", reversed = std::string(11, ' ') + "\xD7\x93\xD7\x92\xD7\x91\xD7\x90";
    struct Case {
        const char* name;
        std::string bytes;
        int rows;  // of the row under test; as many expected rows follow
    } cases[] = {
        {"double width", "\x1b#6" + hebrew + "\r\n\x1b#6" + reversed, 1},
        {"double height", "\x1b#3" + hebrew + "\r\n\x1b#4" + hebrew + "\r\n\x1b#3" + reversed + "\r\n\x1b#4" + reversed, 2},
    };
    for (const Case& c : cases) {
        HeadlessTerminalRenderer renderer({30, 4, 13, "monospace", 1});
        renderer.feed(c.bytes);
        for (int row = c.rows; row < 2 * c.rows; ++row) renderer.terminal().buffer().lines()[row].setBidiState(explicitLeftToRight);
        const platform::gfx::Canvas& canvas = renderer.render();
        const double cw = renderer.cell().width * 2, ch = renderer.cell().height;
        auto coverage = [&](int doubleCell, int row) { return ink(canvas, doubleCell * cw, row * ch, cw, ch); };
        for (int row = 0; row < c.rows; ++row) {
            for (int cell = 0; cell < 15; ++cell) {
                const double expected = coverage(cell, c.rows + row);
                EXPECT_EQ(expected > 0, cell >= 11) << c.name << ": double cell " << cell;
                EXPECT_NEAR(coverage(cell, row), expected, 0.02 * expected + 1) << c.name << ": double cell " << cell;
            }
        }
    }
}

