#include <gtest/gtest.h>

#include "vantel/view/TerminalView.h"

using namespace vantel;
using platform::gfx::Rect;

namespace {

// A 10 × 3 view (8 × 16 cells and the scroller's 15 points).
struct Row {
    TerminalView view{Rect{0, 0, 95, 48}};

    ViewLineInfo build(std::string_view bytes, int row = 0) {
        Terminal& t = view.getTerminal();
        t.feed(bytes);
        int absolute = t.buffer().yDisp() + row;
        return view.buildAttributedString(absolute, t.buffer().lines()[absolute], t.cols());
    }
};

std::u16string trimmed(std::u16string text) {
    while (!text.empty() && text.back() == u' ') text.pop_back();
    return text;
}

}  // namespace

// A segment per width; a cell's units all map to its ordinal (identity while each cell has one).
TEST(TerminalViewRowBuilder, SegmentsSplitByCellWidth) {
    struct Segment {
        int column, columnWidth;
        std::u16string text;
        std::vector<int> ordinals;  // of the first units; none: the identity
    };
    struct Case {
        const char* bytes;
        std::vector<Segment> segments;
    } cases[] = {
        {"abc", {{0, 1, u"abc", {}}}},
        {"a\xe4\xb8\xad" "b", {{0, 1, u"a", {}}, {1, 2, u"\u4e2d", {}}, {3, 1, u"b", {}}}},
        {"\xf0\x9f\x98\x80", {{0, 2, u"\U0001F600", {0, 0}}, {2, 1, u"", {}}}},
        {"\xe2\x98\xba" "x", {{0, 1, u"\u263a\ufe0ex", {0, 0, 1}}}},  // text presentation asked for
        {"e\xcc\x81" "f", {{0, 1, u"e\u0301f", {0, 0, 1}}}},
    };
    for (const Case& c : cases) {
        ViewLineInfo info = Row().build(c.bytes);
        ASSERT_EQ(info.segments.size(), c.segments.size()) << c.bytes;
        for (size_t i = 0; i < c.segments.size(); ++i) {
            const ViewLineSegment& s = info.segments[i];
            const Segment& e = c.segments[i];
            EXPECT_EQ(std::tuple(s.column, s.columnWidth, trimmed(s.attributedString.text), s.characterCount),
                      std::tuple(e.column, e.columnWidth, e.text, 1)) << c.bytes << i;
            EXPECT_EQ(s.utf16IsCellIdentity, e.ordinals.empty()) << c.bytes << i;
            for (size_t k = 0; k < e.ordinals.size(); ++k) EXPECT_EQ(s.cellOrdinal(k), e.ordinals[k]) << c.bytes << k;
        }
    }
}

TEST(TerminalViewRowBuilder, SelectedColumns) {
    using Range = std::optional<std::pair<int, int>>;
    struct Case {
        Position start, end;
        int row;
        Range columns;
    } cases[] = {
        {{2, 0}, {9, 0}, 0, std::pair{2, 10}},  // ends on the last column: it is included
        {{2, 0}, {5, 0}, 0, std::pair{2, 5}},
        {{9, 0}, {2, 0}, 0, std::pair{2, 9}},  // dragged right to left: not
        {{4, 0}, {4, 0}, 0, std::nullopt},
        {{3, 0}, {4, 2}, 0, std::pair{3, 10}},
        {{3, 0}, {4, 2}, 1, std::pair{0, 10}},
        {{3, 0}, {4, 2}, 2, std::pair{0, 4}},
        {{3, 0}, {9, 1}, 1, std::pair{0, 10}},
        {{4, 2}, {3, 0}, 0, std::pair{3, 10}},
        {{4, 2}, {3, 0}, 2, std::pair{0, 4}},
        {{4, 2}, {3, 0}, 3, std::nullopt},
    };
    Row r;
    EXPECT_EQ(r.view.selectedColumnsRange(0, 10), std::nullopt);
    for (const Case& c : cases) {
        r.view.selection().setSelection(c.start, c.end);
        r.view.selection().setActive(true);
        EXPECT_EQ(r.view.selectedColumnsRange(c.row, 10), c.columns) << c.start.col << "," << c.start.row << " " << c.row;
    }
}

// Box drawing, block elements and powerline shapes become items with a space in their place;
// with custom glyphs off, or in a blinked-off cell, they stay text.
TEST(TerminalViewRowBuilder, CustomGlyphItems) {
    struct Case {
        bool custom, blinkOff;
        size_t boxes, blocks, powerline;
        std::u16string text;
    } cases[] = {
        {true, false, 1, 1, 1, u"   \ue0b1x"},
        {false, false, 0, 0, 0, u"\u250c\u2580\ue0b0\ue0b1x"},
        {true, true, 0, 0, 0, u""},
    };
    for (const Case& c : cases) {
        Row r;
        r.view.setCustomBlockGlyphs(c.custom);
        r.view.setTextBlinkVisible(!c.blinkOff);
        ViewLineInfo info = r.build(c.blinkOff ? "\x1b[5m\xe2\x94\x8c\xe2\x96\x80\xee\x82\xb0\xee\x82\xb1x"
                                               : "\xe2\x94\x8c\xe2\x96\x80\xee\x82\xb0\xee\x82\xb1x");
        EXPECT_EQ(info.boxDrawings.size(), c.boxes);
        EXPECT_EQ(info.blockElements.size(), c.blocks);
        EXPECT_EQ(info.powerlineGlyphs.size(), c.powerline);
        EXPECT_EQ(trimmed(info.segments[0].attributedString.text), c.text) << c.custom << c.blinkOff;
        if (c.boxes) {
            EXPECT_EQ(info.powerlineGlyphs[0].column, 2);
            EXPECT_EQ(info.powerlineGlyphs[0].codePoint, 0xE0B0u);
            EXPECT_EQ(info.blockElements[0].foregroundColor, r.view.effectiveNativeForegroundColor());
            EXPECT_EQ(info.blockElements[0].rects.data(), BlockElementMapping::rects(0x2580)->data());
        }
    }
}

// Concealed and blinked-off cells are spaces with a clear foreground and no decoration; copying
// still gets the text.
TEST(TerminalViewRowBuilder, HiddenCellsShowNothing) {
    struct Case {
        const char* bytes;
        bool blinkVisible;
        bool hidden;
    } cases[] = {
        {"\x1b[8;4;9mhide", true, true},
        {"\x1b[5;4;9mhide", false, true},
        {"\x1b[5;4;9mhide", true, false},
    };
    for (const Case& c : cases) {
        Row r;
        r.view.setTextBlinkVisible(c.blinkVisible);
        ViewLineInfo info = r.build(c.bytes);
        const TextAttributes& a = info.segments[0].attributedString.runs[0].attributes;
        EXPECT_EQ(trimmed(info.segments[0].attributedString.text), c.hidden ? u"" : u"hide") << c.bytes;
        EXPECT_EQ(a.foreground->alpha == 0, c.hidden) << c.bytes;
        EXPECT_EQ(a.hasDecorations(), !c.hidden) << c.bytes;
        EXPECT_EQ(r.view.getTerminal().getText({0, 0}, {4, 0}), "hide");
    }
}

TEST(TerminalViewRowBuilder, ACellShapesAtMost32Scalars) {
    std::string marks = "e";
    for (int i = 0; i < 200; ++i) marks += "\xcc\x81";
    Row r;
    ViewLineInfo info = r.build(marks + "f");
    EXPECT_EQ(trimmed(info.segments[0].attributedString.text).size(), 33u);  // 32 scalars and "f"
}

TEST(TerminalViewRowBuilder, PlaceholdersAndHighlightedLinks) {
    Row r;
    r.view.setLinkHighlightMode(LinkHighlightMode::always);
    // Image 5 in the foreground colour; rows and columns by diacritic, the second cell continuing.
    ViewLineInfo info = r.build("\x1b[38;5;5m\xf4\x8e\xbb\xae\xcc\x85\xcc\x85\xf4\x8e\xbb\xae\xcc\x85\x1b[m"
                                "\x1b]8;;http://x\x1b\\ln\x1b]8;;\x1b\\k");
    ASSERT_EQ(info.kittyPlaceholders.size(), 2u);
    EXPECT_EQ(info.kittyPlaceholders[1].col, 1);
    EXPECT_EQ(info.kittyPlaceholders[1].imageId, 5u);
    EXPECT_EQ(info.kittyPlaceholders[1].placeholderCol, 1);
    const auto& text = info.segments[0].attributedString;
    EXPECT_EQ(trimmed(text.text), u"  lnk");
    ASSERT_GE(text.runs.size(), 3u);
    EXPECT_EQ(text.runs[1].length, 2u);
    EXPECT_EQ(text.runs[1].attributes.underlineStyle, UnderlineStyle::dashed);
    EXPECT_EQ(text.runs[2].attributes.underlineStyle, UnderlineStyle::none);
}
