// Line feeds at the bottom of scroll regions of every shape, on both screens, checked
// against a screen model written for clarity: a scroll copies the region's rows up one by
// one, and the line leaving a region at the top of the normal screen joins the scroll-back.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <deque>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "support/TerminalTestSupport.h"
#include "vantel/core/SelectionService.h"

using namespace vantel;
using vantel::testing::scrollback;
using vantel::testing::TestTerminal;

namespace {

struct Line {
    std::string text;
    bool wrapped = false;
    friend bool operator==(const Line&, const Line&) = default;
};

struct Dirty {
    int start = INT_MAX, end = -1;                  // screen rows
    int invariantStart = INT_MAX, invariantEnd = -1;  // rows counted with the view's offset
    friend bool operator==(const Dirty&, const Dirty&) = default;
    friend void PrintTo(const Dirty& d, std::ostream* out) {
        *out << "rows " << d.start << "..." << d.end << ", invariant " << d.invariantStart << "..." << d.invariantEnd;
    }
};

class ReferenceScreen {
public:
    ReferenceScreen(int cols, int rows, int limit, bool keepsScrollback, int top, int bottom)
        : cols_(cols), rows_(rows), limit_(limit), keepsScrollback_(keepsScrollback), top_(top), bottom_(bottom) {}

    std::vector<Line> screen;
    std::deque<Line> scrollback;
    int x = 0, y = 0;
    int dropped = 0;  // scroll-back lines that fell off the limit
    Dirty dirty;

    // Marks the row it starts on before it writes, and the row it ends on after.
    void print(const std::string& text) {
        mark(y, false);
        for (char c : text) {
            if (x >= cols_) {
                x = 0;
                if (y == bottom_) {
                    scroll(true);
                } else if (y < rows_ - 1) {
                    screen[++y].wrapped = true;
                }
            }
            screen[y].text[x++] = c;
        }
        mark(y, false);
    }
    void lineFeed() {
        if (y == bottom_) scroll(false);
        else if (y < rows_ - 1) ++y;
        if (x >= cols_) x = cols_ - 1;
    }
    void carriageReturn() { x = 0; }
    // CUP to the first column of a row.
    void moveTo(int row) {
        mark(y, false);
        y = row;
        x = 0;
        mark(y, false);
    }
    // RI with the cursor at the region's top: the region moves down, a blank row opens at its top.
    void reverseIndex() {
        mark(y, false);
        for (int row = bottom_; row > top_; --row) screen[row] = screen[row - 1];
        screen[top_] = blank();
        mark(top_, false);
        mark(bottom_, false);
    }
    // SU (up) and SD: n passes at most the region's height; then no paragraph runs on across an
    // edge of the moved block.
    void scrollRegion(int n, bool up) {
        n = std::clamp(n, 1, up ? 2 * rows_ : rows_);
        const int height = bottom_ - top_ + 1;
        for (int pass = 0; pass < std::min(n, height); ++pass) {
            if (up) {
                for (int row = top_; row < bottom_; ++row) screen[row] = screen[row + 1];
                screen[bottom_] = blank();
            } else {
                for (int row = bottom_; row > top_; --row) screen[row] = screen[row - 1];
                screen[top_] = blank();
            }
        }
        screen[top_].wrapped = false;
        if (!up && n < height) screen[top_ + n].wrapped = false;
        if (bottom_ + 1 < rows_) screen[bottom_ + 1].wrapped = false;
        mark(top_, false);
        mark(bottom_, false);
    }

private:
    Line blank() const { return Line{std::string(cols_, ' '), false}; }

    int yDisp() const { return static_cast<int>(scrollback.size()); }

    void scroll(bool wrapped) {
        const Line leaving = screen[top_];
        for (int row = top_; row < bottom_; ++row) screen[row] = screen[row + 1];
        screen[bottom_] = Line{std::string(cols_, ' '), wrapped};  // as blank(), with the flag
        if (top_ == 0 && keepsScrollback_) {
            scrollback.push_back(leaving);
            if (static_cast<int>(scrollback.size()) > limit_) {
                scrollback.pop_front();
                ++dropped;
            }
        }
        mark(top_, true);
        mark(bottom_, true);
        if (top_ != 0 || !keepsScrollback_ || bottom_ != rows_ - 1) {
            mark(top_, false);
            mark(bottom_, false);
        }
    }
    void mark(int row, bool scrolling) {
        if (!scrolling) {
            dirty.invariantStart = std::min(dirty.invariantStart, yDisp() + row);
            dirty.invariantEnd = std::max(dirty.invariantEnd, yDisp() + row);
        }
        dirty.start = std::min(dirty.start, row);
        dirty.end = std::max(dirty.end, row);
    }

    int cols_, rows_, limit_;
    bool keepsScrollback_;
    int top_, bottom_;
};

Line lineOf(BufferLine& line, int cols) {
    Line out{std::string(static_cast<size_t>(cols), ' '), line.isWrapped()};
    for (int col = 0; col < cols && col < line.count(); ++col) {
        if (const int32_t code = line[col].code) out.text[static_cast<size_t>(col)] = static_cast<char>(code);
    }
    return out;
}

Dirty dirtyOf(Terminal& t) {
    Dirty d;
    if (auto range = t.getUpdateRange()) std::tie(d.start, d.end) = *range;
    if (auto range = t.getScrollInvariantUpdateRange()) std::tie(d.invariantStart, d.invariantEnd) = *range;
    return d;
}

// The rows of a region, 0-based; the whole screen when rows are not narrowed.
struct Shape {
    const char* name;
    int (*top)(int rows);
    int (*bottom)(int rows);
};

const Shape shapes[] = {
    {"full screen", [](int) { return 0; }, [](int rows) { return rows - 1; }},
    {"top, all but the last row", [](int) { return 0; }, [](int rows) { return rows - 2; }},
    {"top half", [](int) { return 0; }, [](int rows) { return rows / 2 - 1; }},
    {"bottom, all but the first row", [](int) { return 1; }, [](int rows) { return rows - 1; }},
    {"bottom half", [](int rows) { return rows / 2; }, [](int rows) { return rows - 1; }},
    {"middle", [](int rows) { return rows / 4; }, [](int rows) { return rows - 1 - rows / 4; }},
    {"two rows at the top", [](int) { return 0; }, [](int) { return 1; }},
};

void expectSameState(TestTerminal& t, const ReferenceScreen& model, int cols, int rows, const std::string& where) {
    Buffer& b = t->buffer();
    ASSERT_EQ(b.yBase(), static_cast<int>(model.scrollback.size())) << where;
    ASSERT_EQ(b.lines().count(), b.yBase() + rows) << where;
    EXPECT_EQ(b.yDisp(), b.yBase()) << where;
    EXPECT_EQ(b.totalLinesTrimmed(), model.dropped) << where;
    EXPECT_EQ(t.cursor(), std::make_pair(model.x, model.y)) << where;
    for (int row = 0; row < b.yBase(); ++row) {
        ASSERT_EQ(lineOf(b.lines()[row], cols), model.scrollback[static_cast<size_t>(row)])
            << where << ", scroll-back line " << row;
    }
    for (int y = 0; y < rows; ++y) {
        ASSERT_EQ(lineOf(b.lines()[b.yBase() + y], cols), model.screen[static_cast<size_t>(y)]) << where << ", row " << y;
    }
}

// 10,000 line feeds at the bottom of the region (and the scrolls of text wrapping there,
// with RI, SU and SD now and then): the screen, the scroll-back and its order, the wrap
// flags, the cursor and, after every step, the dirty rows agree with the model.
void runModel(const Shape& shape, int cols, int rows, bool alternate, int limit) {
    const std::string where = std::string(shape.name) + ", " + std::to_string(cols) + "x" + std::to_string(rows) +
                              (alternate ? ", alternate" : ", normal") + ", scroll-back " + std::to_string(limit);
    SCOPED_TRACE(where);
    const int top = shape.top(rows), bottom = shape.bottom(rows);
    TestTerminal t(cols, rows, scrollback(limit));
    if (alternate) t.feed("\x1b[?1049h");
    for (int y = 0; y < rows; ++y) t.feed("\x1b[" + std::to_string(y + 1) + ";1Hrow " + std::to_string(y));
    t.feed("\x1b[" + std::to_string(top + 1) + ";" + std::to_string(bottom + 1) + "r");
    t.feed("\x1b[" + std::to_string(bottom + 1) + ";1H");

    ReferenceScreen model(cols, rows, limit, !alternate, top, bottom);
    for (int y = 0; y < rows; ++y) model.screen.push_back(lineOf(*t->getLine(y), cols));
    model.y = bottom;

    std::mt19937 rng(static_cast<unsigned>(cols * 131 + rows * 7 + top * 3 + bottom + (alternate ? 1 : 0)));
    auto below = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto word = [&](int length) {
        std::string text;
        for (int i = 0; i < length; ++i) text += static_cast<char>('a' + below(26));
        return text;
    };
    auto cup = [](int row) { return "\x1b[" + std::to_string(row + 1) + ";1H"; };
    for (int feeds = 0; feeds < 10000; ++feeds) {
        std::string text, before;
        bool carriageReturn = true;
        t->clearUpdateRange();
        model.dirty = Dirty{};
        switch (below(20)) {
        case 0: case 1: case 2: case 3: case 4: case 5: case 6: case 7: case 8: case 9:
            text = "y";
            carriageReturn = false;
            break;
        case 10: case 11: case 12: text = word(1 + below(3 * cols)); break;  // wraps at the region's bottom
        case 13: case 14: text = word(1 + below(cols)); carriageReturn = false; break;  // may leave a wrap pending
        case 15: case 16: text = word(cols); break;  // exactly one row
        case 17:
            // Other moves of the region's rows now and then: RI at its top, SU and SD.
            before = cup(top) + "\x1bM" + cup(bottom);
            model.moveTo(top);
            model.reverseIndex();
            model.moveTo(bottom);
            break;
        case 18: {
            const int n = below(rows + 3);
            const bool up = below(2) == 0;
            before = "\x1b[" + std::to_string(n) + (up ? "S" : "T");
            model.scrollRegion(n, up);
            break;
        }
        default: break;  // an empty line
        }
        t.feed(before + text + (carriageReturn ? "\r\n" : "\n"));
        if (!text.empty()) model.print(text);
        if (carriageReturn) model.carriageReturn();
        model.lineFeed();
        ASSERT_EQ(dirtyOf(*t), model.dirty) << "after line feed " << feeds;
        if (feeds % 1000 == 999) expectSameState(t, model, cols, rows, "after line feed " + std::to_string(feeds));
    }
    expectSameState(t, model, cols, rows, "at the end");
    if (!alternate) {
        EXPECT_LE(static_cast<int>(model.scrollback.size()), limit) << "scroll-back capped at its limit";
    }
}

}  // namespace

TEST(RegionScrollModelTest, LineFeedsAtTheBottomOfEveryRegionMatchTheModel) {
    struct Geometry {
        int cols, rows;
    };
    // A scroll-back that fills within the stream and recycles, and one that never fills; 60
    // rows are enough for the alternate screen to turn its ring rather than move rows.
    for (const Shape& shape : shapes) {
        for (const Geometry g : {Geometry{80, 24}, Geometry{13, 7}, Geometry{30, 60}}) {
            for (const bool alternate : {false, true}) {
                for (const int limit : {50, 20000}) {
                    if (alternate && limit > 50) continue;  // the alternate screen keeps none either way
                    runModel(shape, g.cols, g.rows, alternate, limit);
                }
            }
        }
    }
}

// A selection moves with its text while the region scrolls under it, stays put on rows the
// scroll does not move, and is dropped when its text leaves the region; an OSC 8 link keeps
// its cells.
TEST(RegionScrollModelTest, SelectionsAndLinksMoveWithTheirText) {
    struct Case {
        const char* name;
        const char* region;  // DECSTBM and the cursor at the region's bottom
        bool alternate;
        int limit;
        int row;       // screen row of the selection and of the link, on a 10 x 8 screen
        int feeds;     // line feeds at the region's bottom
        int movedBy;   // rows the text moved up; -1: it left, so the selection is dropped
    } cases[] = {
        {"top region, room in the ring", "\x1b[1;5r\x1b[5;1H", false, 100, 3, 2, 2},
        {"top region, full ring", "\x1b[1;5r\x1b[5;1H", false, 2, 3, 2, 2},
        {"below a top region, room in the ring", "\x1b[1;5r\x1b[5;1H", false, 100, 6, 3, 0},
        {"below a top region, full ring", "\x1b[1;5r\x1b[5;1H", false, 2, 6, 3, 0},
        {"top region into the scroll-back", "\x1b[1;5r\x1b[5;1H", false, 100, 1, 3, 3},
        {"top region, alternate screen", "\x1b[1;5r\x1b[5;1H", true, 100, 3, 2, 2},
        {"top region, alternate screen, text leaves", "\x1b[1;5r\x1b[5;1H", true, 100, 1, 3, -1},
        {"below a top region, alternate screen", "\x1b[1;5r\x1b[5;1H", true, 100, 6, 3, 0},
        {"bottom region", "\x1b[4;8r\x1b[8;1H", false, 100, 6, 2, 2},
        {"above a bottom region", "\x1b[4;8r\x1b[8;1H", false, 2, 1, 4, 0},
        {"bottom region, text leaves", "\x1b[4;8r\x1b[8;1H", false, 100, 4, 2, -1},
        {"bottom region, alternate screen", "\x1b[2;8r\x1b[8;1H", true, 100, 6, 3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestTerminal t(10, 8, scrollback(c.limit));
        t.feed(vantel::testing::repeat("old\r\n", 12));  // some scroll-back first
        if (c.alternate) t.feed("\x1b[?1049h");
        for (int y = 0; y < 8; ++y) {
            t.feed("\x1b[" + std::to_string(y + 1) + ";1H");
            if (y == c.row) t.feed("\x1b]8;;https://example.com/" + std::to_string(y) + "\x1b\\");
            t.feed("line" + std::to_string(y) + "\x1b]8;;\x1b\\");
        }
        const std::string text = t.row(c.row);
        ASSERT_EQ(text, "line" + std::to_string(c.row));
        SelectionService selection(*t);
        const int ringRow = t->buffer().yBase() + c.row;
        selection.setSelection({0, ringRow}, {5, ringRow});
        ASSERT_EQ(selection.getSelectedText(), text);

        t.feed(c.region);
        t.feed(vantel::testing::repeat("\n", c.feeds));
        if (c.movedBy < 0) {
            EXPECT_FALSE(selection.active());
            continue;
        }
        EXPECT_TRUE(selection.active());
        EXPECT_EQ(selection.getSelectedText(), text);
        // The link sits where its text is now, on the screen or in the scroll-back.
        const Position now{1, t->buffer().yBase() + c.row - c.movedBy};
        EXPECT_EQ(t->link(Terminal::LinkLookupLocation::buffer(now), Terminal::LinkLookupMode::explicitOnly),
                  "https://example.com/" + std::to_string(c.row));
    }
}
