#include "vantel/view/TerminalBidi.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/gfx/Font.h"
#include "support/BufferTextFill.h"
#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::TestTerminal;
using vantel::testing::writeCells;
using RowRange = TerminalBidi::RowRange;

namespace {

constexpr auto implicit = BidiSupportMode::implicit, explicit_ = BidiSupportMode::explicit_;
constexpr auto ltr = BidiDirection::leftToRight, rtl = BidiDirection::rightToLeft;
constexpr BidiPresentationState rightToLeftFallback{implicit, false, rtl, false};
constexpr BidiPresentationState explicitRightToLeft{explicit_, false, rtl, false};

class TerminalBidiTest : public ::testing::Test {
protected:
    void SetUp() override { TerminalBidi::emptyCaches(); }
    std::shared_ptr<const BidiRowLayout> layout(TestTerminal& t, int row) {
        return TerminalBidi::rowLayout(row, t->buffer(), t->cols(), *t, *font);
    }
    TerminalBidi::ParagraphResultRef paragraph(TestTerminal& t, int row) {
        return TerminalBidi::paragraphResult(row, t->buffer(), t->cols(), *t, *font);
    }
    static TerminalBidi::CacheStatistics stats() { return TerminalBidi::cacheStatistics(); }

    platform::gfx::FontRef font = platform::gfx::Font::systemFont(13);
};

// Logical columns from the left edge; "=x" marks a cell shown as x.
std::string visual(const BidiRowLayout& layout) {
    std::string out;
    for (const BidiCell& cell : layout.visualCells) {
        if (!out.empty()) out += ' ';
        out += std::to_string(cell.logicalCol);
        if (cell.display) out.append("=").append(toUtf8(*cell.display));
    }
    return out;
}

// Each logical column has one visual column, which maps back to the first column of its cell;
// the columns of a wide cell keep their order. Cells cover as the row is walked: a cell of width
// w covers w columns, whatever the next cell holds.
void expectInverseMaps(const BidiRowLayout& layout, BufferLine& line, int cols) {
    ASSERT_EQ(layout.logicalToVisualCol.size(), size_t(cols));
    std::vector<int> seen(size_t(cols), 0);
    for (int start = 0, c = 0; c < cols; ++c) {
        if (c >= start + std::max(1, int(line[start].width))) start = c;
        const int v = layout.logicalToVisualCol[size_t(c)];
        ASSERT_TRUE(v >= 0 && v < cols) << c;
        ++seen[size_t(v)];
        EXPECT_EQ(layout.visualToLogicalCol[size_t(v)], start) << c;
        EXPECT_EQ(v, layout.logicalToVisualCol[size_t(start)] + (c - start)) << c;
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), cols);
}

}  // namespace

TEST_F(TerminalBidiTest, RowsAndTheirVisualCells) {
    // Name, text, state, visual cells (nullptr: no layout).
    const std::tuple<const char*, const char*, BidiPresentationState, const char*> cases[] = {
        {"latin", "abc", {}, nullptr},
        {"latin, right-to-left fallback", "abc", rightToLeftFallback, "7 6 5 4 3 0 1 2"},
        {"latin detected as left-to-right", "abc", {implicit, true, rtl, false}, nullptr},
        {"hebrew after latin", "ab \xD7\x90\xD7\x91", {}, "0 1 2 4 3 5 6 7"},
        {"hebrew first", "\xD7\x90\xD7\x91 ab", {}, "7 6 5 3 4 2 1 0"},
        {"brackets in a right-to-left paragraph", "\xD7\x90(\xD7\x91) (a)", {}, "7=( 6 5=) 4 3=( 2 1=) 0"},
        {"brackets mirror in right-to-left runs only", "(a) \xD7\x90(\xD7\x91)", {}, "0 1 2 3 7=( 6 5=) 4"},
        {"spaces inside the text are ordered", "\xD7\x90 \xD7\x91", rightToLeftFallback, "7 6 5 4 3 2 1 0"},
        {"a wide cell in a right-to-left run", "\xD7\x90\xF0\x9F\x98\x80\xD7\x91", {}, "7 6 5 4 3 1 0"},
        {"arabic joins and mirrors", "\xD8\xA8\xD8\xA8(", {}, "7 6 5 4 3 2=) 1=\xEF\xBA\x90 0=\xEF\xBA\x91"},
        {"explicit right-to-left row", "(ab", explicitRightToLeft, "7 6 5 4 3 2 1 0=)"},
        {"explicit left-to-right row", "\xD7\x90\xD7\x91", {explicit_, false, ltr, false}, nullptr},
        {"explicit box corner, no mirroring", "\xE2\x94\x8C", explicitRightToLeft, "7 6 5 4 3 2 1 0"},
        {"explicit box corner, mirroring", "\xE2\x94\x8C\xE2\x94\x80", {explicit_, false, rtl, true},
         "7 6 5 4 3 2 1 0=\xE2\x94\x90"},
        {"box mirroring in a paragraph", "\xD7\x90\xE2\x94\x8C\xD7\x91", {implicit, true, ltr, true},
         "7 6 5 4 3 2 1=\xE2\x94\x90 0"},
    };
    for (const auto& [name, text, state, expected] : cases) {
        TestTerminal t(8, 3);
        writeCells(t->buffer(), 0, text);
        t->buffer().lines()[0].setBidiState(state);
        auto row = layout(t, 0);
        ASSERT_EQ(row != nullptr, expected != nullptr) << name;
        if (!row) continue;
        EXPECT_EQ(visual(*row), expected) << name;
        expectInverseMaps(*row, t->buffer().lines()[0], 8);
    }
}

TEST_F(TerminalBidiTest, ParagraphOverSoftWraps) {
    TestTerminal t(4, 5);
    Buffer& b = t->buffer();
    // A word of four Arabic letters over rows 0 and 1, then a third wrapped row.
    writeCells(b, 0, "xy\xD8\xA8\xD8\xA8");
    writeCells(b, 1, "\xD8\xA8\xD8\xA8", 0, true);
    writeCells(b, 2, "z", 0, true);
    auto result = paragraph(t, 1);
    ASSERT_TRUE(result && result->row(0) && result->row(1));
    EXPECT_EQ(result->baseDirection, ltr);
    EXPECT_EQ(visual(*result->row(0)), "0 1 3=\xEF\xBA\x92 2=\xEF\xBA\x91");
    // The word keeps its joins across the wrap.
    EXPECT_EQ(visual(*result->row(1)), "1=\xEF\xBA\x90 0=\xEF\xBA\x92 2 3");
    EXPECT_EQ(paragraph(t, 2), result);
    EXPECT_EQ(TerminalBidi::renderingDependencyRange({1, 1}, b, 500), (RowRange{0, 2}));
}

TEST_F(TerminalBidiTest, ParagraphBoundsAndWidening) {
    // Name, wrap flag per row, limit, row, bounds.
    const std::tuple<const char*, std::vector<bool>, int, int, std::optional<RowRange>> cases[] = {
        {"single row", {false, false, false}, 500, 1, RowRange{1, 1}},
        {"row 0 starts a paragraph even when wrapped", {true, true, false}, 500, 0, RowRange{0, 1}},
        {"up and down", {false, false, true, true, false}, 500, 2, RowRange{1, 3}},
        {"exactly the limit", {false, true, true, false}, 3, 1, RowRange{0, 2}},
        {"one over the limit has no paragraph", {false, true, true, true}, 3, 3, std::nullopt},
        {"nor from its top", {false, true, true, true}, 3, 0, std::nullopt},
        {"a limit below 1 counts as 1", {false, true}, 0, 0, std::nullopt},
        {"out of range", {false}, 500, 5, std::nullopt},
    };
    for (const auto& [name, wrapped, limit, row, bounds] : cases) {
        TestTerminal t(4, int(wrapped.size()));
        for (size_t r = 0; r < wrapped.size(); ++r) t->buffer().lines()[int(r)].setWrapped(wrapped[r]);
        EXPECT_EQ(TerminalBidi::paragraphBounds(row, t->buffer(), limit), bounds) << name;
        if (row >= int(wrapped.size())) continue;
        EXPECT_EQ(TerminalBidi::renderingDependencyRange({row, row}, t->buffer(), limit),
                  bounds.value_or(RowRange{row, row})) << name;
        EXPECT_EQ(TerminalBidi::layoutRevision(row, t->buffer(), limit) != 0, bounds.has_value()) << name;
    }
    // Both ends widen; an explicit row does not.
    TestTerminal t(4, 6);
    Buffer& b = t->buffer();
    for (int r : {1, 2, 4, 5}) b.lines()[r].setWrapped(true);
    EXPECT_EQ(TerminalBidi::renderingDependencyRange({1, 4}, b, 500), (RowRange{0, 5}));
    EXPECT_EQ(TerminalBidi::renderingDependencyRange({-3, 99}, b, 500), (RowRange{0, 5}));
    b.lines()[2].setBidiState(explicitRightToLeft);
    EXPECT_EQ(TerminalBidi::renderingDependencyRange({2, 2}, b, 500), (RowRange{2, 2}));
    EXPECT_EQ(TerminalBidi::layoutRevision(2, b, 500), 0u);
    EXPECT_FALSE(paragraph(t, 2));
}

// The terminal's own limit: a wrapped run of Hebrew one row longer than it is shown in logical
// order, row by row, and not widened; at the limit it is one paragraph.
TEST_F(TerminalBidiTest, ParagraphsPastTheTerminalsLimitHaveNoLayout) {
    for (int limit : {3, 4}) {
        TestTerminal t(4, 5, [limit](TerminalOptions& o) { o.maximumBidiParagraphRows = limit; });
        // Thirteen letters over four rows of four columns.
        t.feed("\xD7\x90\xD7\x91\xD7\x92\xD7\x93\xD7\x94\xD7\x95\xD7\x96\xD7\x97\xD7\x98\xD7\x99\xD7\x9A"
               "\xD7\x9B\xD7\x9C");
        Buffer& b = t->buffer();
        ASSERT_TRUE(b.lines()[3].isWrapped());
        for (int row = 0; row < 4; ++row) {
            EXPECT_EQ(paragraph(t, row) != nullptr, limit == 4) << limit << " " << row;
            EXPECT_EQ(layout(t, row) != nullptr, limit == 4) << limit << " " << row;
        }
        EXPECT_EQ(TerminalBidi::renderingDependencyRange({1, 1}, b, limit),
                  (limit == 4 ? RowRange{0, 3} : RowRange{1, 1}));
    }
}

TEST_F(TerminalBidiTest, CachesByIdentityAndByContent) {
    TestTerminal t(6, 6);
    Buffer& b = t->buffer();
    writeCells(b, 0, "abc");
    auto latin = paragraph(t, 0);
    ASSERT_TRUE(latin && latin->rows.empty());
    EXPECT_EQ(paragraph(t, 0), latin);
    EXPECT_EQ(std::tuple(stats().paragraphHits, stats().builds), std::tuple(1u, 0u)) << "latin is only scanned";

    writeCells(b, 1, "\xD7\x90\xD7\x91 x");
    writeCells(b, 2, "yz", 0, true);
    auto first = paragraph(t, 1);
    ASSERT_TRUE(first && first->row(1));
    const uint64_t revision = TerminalBidi::layoutRevision(2, b, 500);
    EXPECT_EQ(first->row(1)->paragraphRevision, revision);
    // An edit of one row: a new revision, and the next lookup lays the paragraph out again.
    writeCells(b, 2, "yw", 0, true);
    EXPECT_NE(TerminalBidi::layoutRevision(1, b, 500), revision);
    auto edited = paragraph(t, 1);
    EXPECT_NE(edited, first);
    EXPECT_EQ(stats().builds, 2u);
    // The same text two rows down: another paragraph, the same content.
    writeCells(b, 3, "\xD7\x90\xD7\x91 x");
    writeCells(b, 4, "yw", 0, true);
    auto moved = paragraph(t, 4);
    ASSERT_TRUE(moved && moved->row(3) && moved->row(4) && !moved->row(1));
    EXPECT_EQ(std::tuple(stats().builds, stats().contentHits), std::tuple(2u, 1u));
    EXPECT_EQ(moved->row(3)->visualCells, edited->row(1)->visualCells);
    EXPECT_EQ(moved->row(3)->paragraphRevision, TerminalBidi::layoutRevision(3, b, 500));
    // No columns: nothing to lay out, and nothing breaks.
    b.lines()[5].setBidiState(rightToLeftFallback);
    auto none = TerminalBidi::paragraphResult(5, b, -3, *t, *font);
    ASSERT_TRUE(none && none->row(5));
    EXPECT_TRUE(none->row(5)->visualCells.empty());
}

// Scrolling in a full ring moves every row to another index and recycles the oldest line.
TEST_F(TerminalBidiTest, ScrolledTextReusesItsLayoutAndRecycledLinesDoNot) {
    TestTerminal t(6, 3, vantel::testing::scrollback(2));
    t.feed("1\r\n2\r\n\xD7\x90\xD7\x91 x\r\n4\r\n5");  // the ring of 5 lines is full
    Buffer& b = t->buffer();
    auto before = layout(t, 2);
    ASSERT_TRUE(before);
    const uint64_t oldestSerial = b.lines()[0].serial();
    t.feed("\r\n6");
    ASSERT_EQ(b.lines()[4].serial(), oldestSerial) << "the oldest line came back as the newest";
    auto after = layout(t, 1);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->visualCells, before->visualCells);
    EXPECT_EQ(stats().contentHits, 1u);
    EXPECT_FALSE(layout(t, 4));
    t.feed("\r\x1b[2K\xD7\x92");
    auto recycled = layout(t, 4);
    ASSERT_TRUE(recycled);
    TerminalBidi::emptyCaches();
    EXPECT_EQ(*recycled, *layout(t, 4));
}

// A buffer made where a freed one lived, holding other text after as many edits, never gets
// the old layouts back.
TEST_F(TerminalBidiTest, NewBuffersNeverGetOldLayouts) {
    const char* texts[] = {"\xD7\x90(", "(\xD7\x90", "a\xD7\x90", "\xD7\x90" "a", "\xD7\x90)", "\xD7\x90(", "(\xD7\x90"};
    for (const char* text : texts) {
        TestTerminal t(6, 2);
        writeCells(t->buffer(), 0, text);
        auto cached = layout(t, 0);
        // A new font misses every identity entry, so its layout is made from the text.
        auto fresh = TerminalBidi::rowLayout(0, t->buffer(), 6, *t, *font->withSize(14));
        ASSERT_TRUE(cached && fresh);
        EXPECT_EQ(*cached, *fresh) << text;
    }
}

TEST_F(TerminalBidiTest, CachesAreEmptiedWholesaleWhenFull) {
    TestTerminal t(4, 3);
    writeCells(t->buffer(), 0, "\xD7\x90");
    for (int cols = 1; cols <= 256; ++cols) TerminalBidi::paragraphResult(0, t->buffer(), cols, *t, *font);
    EXPECT_EQ(std::tuple(stats().paragraphEntries, stats().contentEntries), std::tuple(256u, 256u));
    TerminalBidi::paragraphResult(0, t->buffer(), 999, *t, *font);
    EXPECT_EQ(std::tuple(stats().paragraphEntries, stats().contentEntries), std::tuple(1u, 1u));
}

// Random rows of every kind of character the layout treats apart, in every state: each row
// laid out covers its columns once, with maps inverse to each other.
TEST_F(TerminalBidiTest, RandomRowsKeepTheirMapsWhole) {
    const char* pieces[] = {"a", "1", " ", "(", "]", "\xD7\x90", "\xD8\xA8", "\xD9\x84\xD8\xA7", "\xD9\x8E", "\xE4\xB8\xAD",
                            "\xF0\x9F\x98\x80", "\xE2\x80\x8D", "\xE2\x80\x8F", "\xE2\x80\xAE", "\xE2\x80\xA9", "\xE2\x94\x8C",
                            "\x1b[3C", "\r\n"};
    std::mt19937 random(27);
    for (int round = 0; round < 40; ++round) {
        TestTerminal t(9, 6);
        for (int i = 0; i < 60; ++i) t.feed(pieces[random() % std::size(pieces)]);
        Buffer& b = t->buffer();
        for (int row = 0; row < b.lines().count(); ++row) {
            b.lines()[row].setBidiState({random() % 4 == 0 ? explicit_ : implicit, bool(random() % 2),
                                         random() % 2 ? rtl : ltr, bool(random() % 2)});
        }
        for (int row = 0; row < b.lines().count(); ++row) {
            if (auto rowLayout = layout(t, row)) expectInverseMaps(*rowLayout, b.lines()[row], 9);
        }
    }
}
