#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <any>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::TestTerminal;

using vantel::testing::repeat;
using vantel::testing::screenSnapshot;

namespace {

// Empty cells read as U+0000 in row text.
std::string empty(int n) { return std::string(static_cast<size_t>(n), '\0'); }

}  // namespace

TEST(TerminalPrintTest, PrintingPastTheLastColumnWrapsOntoAMarkedRow) {
    TestTerminal t;
    t.feed(repeat("x", 80));
    EXPECT_EQ(t.cursor(), std::make_pair(80, 0)) << "pending wrap sits one past the last column";
    t.feed("y");
    EXPECT_EQ(t.cell(0, 1).code, 'y');
    EXPECT_TRUE(t.wrapped(1));
    EXPECT_FALSE(t.wrapped(0));
    EXPECT_EQ(t.cursor(), std::make_pair(1, 1));

    TestTerminal crlf;
    crlf.feed(repeat("x", 80) + "\r\nz");
    EXPECT_EQ(crlf.row(1), "z");
    EXPECT_FALSE(crlf.wrapped(1));
    EXPECT_EQ(crlf.row(2), "");
}

// Text that wraps at the bottom of the screen scrolls it: the row it started on and the row
// it ended on are dirty, in the numbering that follows the scroll-back.
TEST(TerminalPrintTest, TextWrappingAtTheBottomMarksEveryRowItWroteOn) {
    const struct {
        const char* name;
        const char* setup;
        int firstRow;  // counted with the view's offset, before the scroll
        int lastRow;
    } cases[] = {
        {"into the scroll-back", "", 2, 3},
        {"on the alternate screen, whose scroll marks its rows", "\x1b[?1049h", 0, 2},
        {"twice, into the scroll-back", "", 2, 4},
    };
    for (const auto& c : cases) {
        TestTerminal t(10, 3, vantel::testing::scrollback(100));
        t.feed(c.setup);
        t.feed("\x1b[3;1H");
        t->clearUpdateRange();
        t.feed(repeat("x", c.lastRow == 4 ? 25 : 15));
        EXPECT_EQ(t->getScrollInvariantUpdateRange(), std::make_pair(c.firstRow, c.lastRow)) << c.name;
    }
}

TEST(TerminalPrintTest, ClustersWidthsAndSelectors) {
    struct Case {
        const char* name;
        std::string input;
        std::string row0;
        int cursorX;
        std::vector<int> widths;  // of the first cells
    } cases[] = {
        {"combining acute joins", "e\u0301", "e\u0301", 1, {1, 1}},
        {"keycap base widens with emoji selector", "#\uFE0F", "#\uFE0F", 2, {2, 0, 1}},
        {"watch narrows with text selector", "\u231A\uFE0E", "\u231A\uFE0E", 1, {1, 1}},
        {"selector after a character without variants is dropped", "\U0001F600\uFE0E", "\U0001F600", 2, {2, 0}},
        {"flag of two indicators is one wide cell", "\U0001F1E9\U0001F1EA", "\U0001F1E9\U0001F1EA", 2, {2, 0, 1}},
        {"third indicator starts a new cell", "\U0001F1E9\U0001F1EA\U0001F1EB", "\U0001F1E9\U0001F1EA\U0001F1EB", 4,
         {2, 0, 2, 0}},
        {"joiner at column 0 is dropped", "\u200D", "", 0, {1}},
        {"joiner after a wide character joins it, not its spacer", "\u4E2D\u200D", "\u4E2D\u200D", 2, {2, 0, 1}},
        {"emoji zwj sequence stays one cell", "\U0001F468\u200D\U0001F469", "\U0001F468\u200D\U0001F469", 2, {2, 0, 1}},
        {"skin tone modifier joins", "\U0001F44D\U0001F3FD", "\U0001F44D\U0001F3FD", 2, {2, 0}},
        {"hangul jamo vowel joins its lead", "\u1100\u1161", "\u1100\u1161", 2, {2, 0}},
        {"wide character takes two cells", "\u4E2Da", "\u4E2Da", 3, {2, 0, 1}},
        {"combining mark after a space joins the space", " \u0301x", " \u0301x", 2, {1, 1}},
        {"DEL and C1 bytes print nothing", "a\x7f" "b\xc2\x85" "c", "abc", 3, {1, 1, 1}},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        t.feed(c.input);
        EXPECT_EQ(t.row(0), c.row0) << c.name;
        EXPECT_EQ(t.cursor().first, c.cursorX) << c.name;
        for (size_t i = 0; i < c.widths.size(); ++i) {
            EXPECT_EQ(t.cell(static_cast<int>(i), 0).width, c.widths[i]) << c.name << " cell " << i;
        }
    }
}

TEST(TerminalPrintTest, FirstInternedClusterGetsTheFirstIndex) {
    TestTerminal t;
    t.feed("e\u0301");
    EXPECT_EQ(t.cell(0, 0).code, 0x400001);
    EXPECT_EQ(t->getCharacter(t.cell(0, 0)), U"e\u0301");
    t.feed("e\u0301");
    EXPECT_EQ(t.cell(1, 0).code, 0x400001) << "the same cluster reuses its index";
    EXPECT_EQ(t->character(0x400999), U" ") << "an index never handed out";
    EXPECT_EQ(t->character(0xD800), U" ");
}

TEST(TerminalPrintTest, RegionalIndicatorsCanBeNarrow) {
    TestTerminal t(80, 25, [](TerminalOptions& o) { o.regionalIndicatorWidth = RegionalIndicatorWidth::narrow; });
    t.feed("\U0001F1E9");
    EXPECT_EQ(t.cell(0, 0).width, 1);
    EXPECT_EQ(t.cursor().first, 1);
    t.feed("\U0001F1EA");
    EXPECT_EQ(t.cell(0, 0).width, 2);
    EXPECT_EQ(t.cell(1, 0).width, 0);
    EXPECT_EQ(t.cursor().first, 2);
}

TEST(TerminalPrintTest, InvalidUtf8ShowsTheLeadByteAndRereadsWhatFollows) {
    struct Case {
        const char* name;
        std::vector<std::string> runs;
        std::string row0;
    } cases[] = {
        {"non-continuation after a lead byte", {"\xe2\x28\xa1"}, "\u00e2(\u00a1"},
        {"lead byte then plain text", {"\xe2" "abc"}, "\u00e2" "abc"},
        {"lead byte at the end of a read, letters in the next", {"x\xe2", "abc"}, "x\u00e2" "abc"},
        {"two continuation bytes then a letter", {"\xf0\x9f\x98" "A"}, "\u00f0" "A"},
        {"surrogate drops its continuation bytes", {"\xed\xa0\x80" "z"}, "\u00edz"},
        {"overlong form", {"\xe0\x80\xaf" "z"}, "\u00e0z"},
        {"bytes that never start a sequence print as themselves", {"\xc0\xaf" "z"}, "\u00c0\u00afz"},
        {"stray continuation byte prints as itself", {"\xa9"}, "\u00a9"},
        {"sequence split over three reads", {"\xf0", "\x9f\x98", "\x80!"}, "\U0001F600!"},
        {"lead byte then a new lead byte", {"\xe2\xc3\xa9"}, "\u00e2\u00e9"},
        {"value past U+10FFFF", {"\xf4\x90\x80\x80" "k"}, "\u00f4k"},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        for (const auto& run : c.runs) t.feed(run);
        EXPECT_EQ(t.row(0), c.row0) << c.name;
    }
}

TEST(TerminalPrintTest, SequenceCutByAControlCompletesAfterIt) {
    TestTerminal t;
    t.feed("\xe2\x82");
    EXPECT_EQ(t.cursor().first, 0) << "an unfinished sequence prints nothing yet";
    t.feed("\r\xac");
    EXPECT_EQ(t.row(0), "\u20ac");
}

TEST(TerminalPrintTest, AsciiFastPathMatchesTheGeneralPath) {
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 400);
        for (int i = 0; i < length; ++i) {
            const int pick = static_cast<int>(random() % 20);
            char c = static_cast<char>(0x20 + random() % 95);
            if (c == '#') c = '$';  // the one byte the United Kingdom set replaces
            text += pick == 0 ? std::string("\r\n") : std::string(1, c);
        }
        for (bool wrap : {true, false}) {
            TestTerminal fast(20, 5), general(20, 5);
            fast.setWraparound(wrap);
            general.setWraparound(wrap);
            // A designated set with replacements sends every byte through the general path.
            general.feed("\x1b(A");
            ASSERT_NE(general->charset, nullptr);
            fast.feed(text);
            general.feed(text);
            ASSERT_EQ(screenSnapshot(*fast), screenSnapshot(*general)) << "round " << round << " wrap " << wrap << ": " << text;
        }
    }
}

TEST(TerminalPrintTest, RandomUtf8SplitAtEveryByteBoundaryGivesTheSameScreen) {
    const std::vector<std::string> pieces = {"a", " ", "\u00e9", "\u0301", "\u4e2d", "\U0001F600", "\uFE0F", "\uFE0E",
                                             "\u200D", "\U0001F1E9", "\U0001F3FD", "\u1161", "#", "\xe2", "\x82",
                                             "\xf0\x9f", "\xc3", "\xa9", "\xed\xa0\x80", "\r\n"};
    std::mt19937 random(11);
    for (int round = 0; round < 20; ++round) {
        std::string text;
        for (int i = 0; i < 30; ++i) text += pieces[random() % pieces.size()];
        TestTerminal whole(7, 3);
        whole.feed(text);
        for (size_t split = 1; split < text.size(); ++split) {
            TestTerminal parts(7, 3);
            parts.feed(text.substr(0, split));
            parts.feed(text.substr(split));
            ASSERT_EQ(screenSnapshot(*parts), screenSnapshot(*whole)) << "round " << round << " split at " << split;
        }
    }
}

TEST(TerminalPrintTest, HostileSequencesKeepTheCursorOnTheScreen) {
    const std::vector<std::string> finals = {"@", "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M", "P",
                                             "S", "T", "X", "Z", "`", "a", "b", "d", "e", "f", "g", "r", "s", "u",
                                             " q", "'}", "'~"};
    const std::vector<std::string> escapes = {"\x1b" "7", "\x1b" "8", "\x1b" "D", "\x1b" "E", "\x1b" "M", "\x1b" "6",
                                              "\x1b" "9", "\x1b#8", "\x1b#6", "\x1b)0", "\x0e", "\x0f", "\b", "\t",
                                              "\n", "\r", "\x1bH", "\u4e2d", "e\u0301", "#\uFE0F", "\xe2"};
    const std::vector<int> values = {0, 1, 2, 3, 5, 80, 1000, 65535};
    std::mt19937 random(3);
    for (auto [cols, rows] : {std::pair{2, 1}, {3, 2}, {10, 4}, {80, 25}}) {
        TestTerminal t(cols, rows, [](TerminalOptions& o) { o.scrollback = 4; });
        for (int step = 0; step < 3000; ++step) {
            switch (random() % 8) {
            case 0: t.setMarginMode(random() % 2); break;
            case 1: t->originMode = random() % 2; break;
            case 2: t.setInsertMode(random() % 4 == 0); break;
            case 3: t.setWraparound(random() % 3 != 0); break;
            case 4: t->reverseWraparound = random() % 2; break;
            case 5: t.feed(escapes[random() % escapes.size()]); break;
            default: {
                std::string csi = "\x1b[" + std::to_string(values[random() % values.size()]) + ";" +
                                  std::to_string(values[random() % values.size()]) + finals[random() % finals.size()];
                t.feed(csi + "xy");
            }
            }
            const auto [x, y] = t.cursor();
            ASSERT_TRUE(x >= 0 && x <= cols && y >= 0 && y < rows) << "step " << step << " at " << x << "," << y;
            const Buffer& b = t->buffer();
            ASSERT_LE(b.yBase() + rows, b.lines().count());
            ASSERT_LE(b.scrollBottom(), rows - 1);
        }
    }
}

TEST(TerminalPrintTest, RightEdgeWideCharactersAndInsertMode) {
    const std::string e8 = empty(8);
    struct Case {
        const char* name;
        bool wraparound;
        bool insert;
        std::string input;
        std::vector<std::string> rows;
        std::pair<int, int> cursor;
        int wrappedRow = -1;
    } cases[] = {
        {"without wraparound the last column is overwritten", false, false, "\x1b[1;9Habc", {e8 + "ac", "", "", "", ""},
         {9, 0}},
        {"without wraparound a wide character that does not fit is dropped", false, false, "\x1b[1;9Habc\u4e2d",
         {e8 + "ac", "", "", "", ""}, {9, 0}},
        {"a wide character at the last column wraps", true, false, "\x1b[1;10H\u4e2d", {"", "\u4e2d", "", "", ""},
         {2, 1}, 1},
        {"insert mode shifts the row", true, true, "abcdefghi\x1b[1;2HXY", {"aXYbcdefgh", "", "", "", ""}, {3, 0}},
        {"a wide character pushes the tail off the edge", true, true, "abcdefghi\x1b[1;8H\u4e2d",
         {"abcdefg\u4e2dh", "", "", "", ""}, {9, 0}},
        {"a wide character pushed into the last column is blanked", true, true, "abcdefgh\u4e2d\x1b[1;1HZ",
         {"Zabcdefgh", "", "", "", ""}, {1, 0}},
        {"a wrap at the region bottom scrolls only the region", true, false, "top\x1b[2;4r\x1b[4;9Habc",
         {"top", "", e8 + "ab", "c", ""}, {1, 3}, 3},
        // Below the region on the last row there is nowhere to wrap to: the row is rewritten.
        {"below the region on the last row", true, false, "top\x1b[1;3r\x1b[5;9Habc",
         {"top", "", "", "", std::string("c").append(empty(7)).append("ab")}, {1, 4}},
    };
    for (const auto& c : cases) {
        TestTerminal t(10, 5);
        t.setWraparound(c.wraparound);
        t.setInsertMode(c.insert);
        t.feed(c.input);
        EXPECT_EQ(t.rows(), c.rows) << c.name;
        EXPECT_EQ(t.cursor(), c.cursor) << c.name;
        for (int y = 0; y < 5; ++y) EXPECT_EQ(t.wrapped(y), y == c.wrappedRow) << c.name << " row " << y;
    }
}

// Without autowrap a write into the last usable column leaves the cursor on it; marks and REP
// that follow still belong to the character written there, however the bytes arrive.
TEST(TerminalPrintTest, WithoutAutowrapTheCursorStaysOnTheLastColumn) {
    const std::string e8 = empty(8);
    struct Case {
        const char* name;
        std::vector<std::string> feeds;
        std::string row0;
        int x;
    } cases[] = {
        {"an ASCII run ending in the last column", {"\x1b[1;9Hab"}, e8 + "ab", 9},
        {"an ASCII run past it, then EL", {"\x1b[1;9Habc\x1b[K"}, e8 + "a", 9},
        {"other characters", {"\x1b[1;9H\u00e9\u00fc\u00f6"}, e8 + "\u00e9\u00f6", 9},
        {"a wide character in the last two columns", {"\x1b[1;9H\u4e2d"}, e8 + "\u4e2d", 9},
        {"a mark in the same run", {"\x1b[1;9Hxe\u0301"}, e8 + "xe\u0301", 9},
        {"a mark in the next run", {"\x1b[1;9Hxe", "\u0301"}, e8 + "xe\u0301", 9},
        {"REP repeats the held character", {"\x1b[1;9Hab\x1b[3b"}, e8 + "ab", 9},
        {"a text selector narrows the character before the cursor", {"\x1b[1;9H\u231a", "\ufe0e", "x"},
         e8 + "\u231a\ufe0ex", 9},
        {"a later write that only reaches the last column holds nothing", {"\x1b[1;10Hx\x1b[1;1Habcdefghi", "\u0301"},
         "abcdefghi\u0301x", 9},
        {"a second mark joins the held character too", {"\x1b[1;9Hxe", "\u0301", "\u0323"},
         e8 + "xe\u0301\u0323", 9},
    };
    for (const auto& c : cases) {
        TestTerminal t(10, 4);
        t.feed("\x1b[?7l");
        for (const auto& part : c.feeds) t.feed(part);
        EXPECT_EQ(t.row(0), c.row0) << c.name;
        EXPECT_EQ(t.cursor(), std::make_pair(c.x, 0)) << c.name;
    }

    TestTerminal margins(12, 10);
    margins.feed("\x1b[9;1HPPPPPPPPPPPP\x1b[?69h\x1b[5;9s\x1b[5;9r\x1b[?7l\x1b[9;8Habcdef\x1b[6n");
    EXPECT_EQ(margins.delegate.replies(), "\x1b[9;9R");
    EXPECT_EQ(margins.row(8), "PPPPPPPafPPP");
    margins.feed("\x1b[X");
    EXPECT_EQ(margins.row(8), std::string("PPPPPPPa\0PPP", 12));
}

TEST(TerminalPrintTest, CellsCarryTheAttributeHyperlinkAndSemanticContent) {
    TestTerminal t;
    t->curAttr = Attribute(Attribute::Color::ansi256(1), Attribute::Color::ansi256(2),
                           CharacterStyle(CharacterStyle::bold));
    const Attribute attribute = t->curAttr;
    t->buffer().semanticContent = SemanticContent::output();
    t->activeHyperlink = Terminal::ActiveHyperlink{Terminal::ActiveHyperlink::Kind::pending, ";https://a", TinyAtom()};
    t.feed("ab\u4e2d");
    const CharData a = t.cell(0, 0);
    ASSERT_TRUE(a.hasPayload());
    EXPECT_EQ(std::any_cast<std::string>(a.getPayload()), ";https://a");
    EXPECT_EQ(t.cell(1, 0).payload, a.payload);
    EXPECT_EQ(t.cell(3, 0).payload, a.payload) << "the spacer of a wide character too";
    EXPECT_EQ(a.semanticContentCode, 6);
    EXPECT_EQ(a.attribute, attribute);
    EXPECT_EQ(t.cell(2, 0).attribute, attribute);
    EXPECT_EQ(t->activeHyperlink->kind, Terminal::ActiveHyperlink::Kind::resolved);
    EXPECT_EQ(t->payloadCodes().count(a.payload.code), 1u);
    t->curAttr = Attribute::defaultAttribute;
    t.feed("\u0301");
    EXPECT_EQ(t.cell(2, 0).attribute, attribute) << "joining keeps the cell's own attribute";
    t.feed("e\u0301");
    EXPECT_EQ(t.cell(4, 0).payload, a.payload);

    t->activeHyperlink->kind = Terminal::ActiveHyperlink::Kind::unavailable;
    t.feed("c");
    EXPECT_FALSE(t.cell(5, 0).hasPayload());
    t->activeHyperlink.reset();
    t.feed("\xc3\xa9");
    EXPECT_FALSE(t.cell(6, 0).hasPayload());
}

TEST(TerminalPrintTest, PrintMarksTheCursorRowsDirty) {
    TestTerminal t;
    t.feed("\x1b[5;1H");
    t->clearUpdateRange();
    t.feed(repeat("x", 85));
    EXPECT_EQ(t->getUpdateRange(), std::make_optional(std::make_pair(4, 5)));
}

// Runs of plain characters take their own path; written left to right on a fresh screen,
// insert mode (which always takes the general path) must give the same text. (Insert mode
// leaves its own blanks in the buffer's attribute, so blank cells compare by width only.)
TEST(TerminalPrintTest, PlainRunPathMatchesTheGeneralPath) {
    const std::vector<std::string> pieces = {"a", "\u00e9", "\u0301", "\u4e2d", "\u03a9", "\U0001F600", "\uFE0F",
                                             "\uFE0E", "\u200D", "\U0001F1E9", "\U0001F1EA", "\U0001F3FD", "\u231A",
                                             "\uAC00", "\u1161", "\U00020000", "\u0903", "\r\n", "\xe2\x28\xa1",
                                             "hello", "\u231A\u200D", "\u2764\uFE0F", "e\u0301\u0323",
                                             "\U0001F468\u200D\U0001F469\u200D\U0001F467", "a\u200Db"};
    std::mt19937 random(5);
    for (int round = 0; round < 300; ++round) {
        std::string text;
        for (int i = 0; i < 40; ++i) text += pieces[random() % pieces.size()];
        for (bool wrap : {true, false}) {
            TestTerminal plain(9, 6), general(9, 6);
            plain.setWraparound(wrap);
            general.setWraparound(wrap);
            general.feed("\x1b[4h");
            plain.feed(text);
            general.feed(text);
            auto cells = [](TestTerminal& t) {
                std::vector<std::pair<int32_t, int>> out;
                for (int y = 0; y < t->rows(); ++y) {
                    for (const CharData& c : t->getLine(y)->getData()) {
                        out.emplace_back(c.code, c.code ? c.width + 10 * (c.attribute == t->curAttr) : c.width);
                    }
                    out.emplace_back(-1, t.wrapped(y));
                }
                return out;
            };
            ASSERT_EQ(cells(plain), cells(general)) << "round " << round << " wrap " << wrap;
            ASSERT_EQ(plain.cursor(), general.cursor()) << "round " << round << " wrap " << wrap;
        }
    }
}

// Every distinct cluster takes a table entry for the terminal's life; a stream of new ones
// must not take all memory. Past the bound, new clusters keep their base character.
TEST(TerminalPrintTest, GraphemeTableIsBounded) {
    TestTerminal t(80, 5);
    t.feed("e\u0301\r\n");
    const int32_t known = t->getLine(0)->cells()[0].code;
    std::string stream;
    int made = 0;
    for (char32_t first = 0x300; first < 0x370 && made <= Terminal::maximumInternedGraphemes; ++first) {
        for (char32_t second = 0x300; second < 0x370 && made <= Terminal::maximumInternedGraphemes; ++second) {
            for (char32_t third = 0x300; third < 0x308 && made <= Terminal::maximumInternedGraphemes; ++third) {
                for (char32_t c : {U'a', first, second, third}) appendUtf8(stream, c);
                stream += "\r";
                ++made;
            }
        }
    }
    t.feed(stream);
    EXPECT_TRUE(t->graphemeTableFull());
    t.feed("\x1b[H" "o\u0302\u0323\u0304 e\u0301 \U0001F9A9");
    const CharData* cells = t->getLine(0)->cells();
    EXPECT_EQ(cells[0].code, 'o') << "a new cluster keeps its base character";
    EXPECT_EQ(cells[2].code, known) << "clusters seen before still resolve";
    EXPECT_EQ(cells[4].code, 0x1F9A9) << "a new scalar above U+FFFF is stored as itself";
    EXPECT_EQ(t->getCharacter(cells[4]), U"\U0001F9A9");
}

// A cell holds at most 32 scalars: later marks are dropped however they arrive, while what
// does not join still prints in the next cell.
TEST(TerminalPrintTest, ClusterOfOneCellStopsAtThirtyTwoScalars) {
    const std::string acute = "\u0301";
    const std::u32string capped = std::u32string(U"a").append(31, U'\u0301');
    struct Case {
        const char* name;
        std::vector<std::string> feeds;
        std::u32string first;
        std::u32string second;
    } cases[] = {
        {"one feed", {"a" + repeat(acute, 100)}, capped, U""},
        {"a mark per feed", [&] {
             std::vector<std::string> feeds{"a"};
             for (int i = 0; i < 100; ++i) feeds.push_back(acute);
             return feeds;
         }(),
         capped, U""},
        {"varied marks", {"a" + repeat("\u0300\u0301\u0302\u0323", 20)},
         [] {
             std::u32string cell = U"a";
             for (int i = 0; i < 8; ++i) cell += U"\u0300\u0301\u0302\u0323";
             return cell.substr(0, 32);
         }(),
         U""},
        {"a letter after a full cell prints", {"a" + repeat(acute, 40) + "b"}, capped, U"b"},
        {"a second mark run after a letter has its own room", {"a" + repeat(acute, 40) + "b" + repeat(acute, 40)},
         capped, std::u32string(U"b").append(31, U'\u0301')},
        {"a joiner past the cap is dropped, the emoji after it stands alone",
         {"a" + repeat(acute, 31) + "\u200d\U0001F600"}, capped, U"\U0001F600"},
    };
    for (const auto& c : cases) {
        TestTerminal t(10, 2);
        for (const auto& part : c.feeds) t.feed(part);
        EXPECT_EQ(t->getCharacter(t.cell(0, 0)), c.first) << c.name;
        if (c.second.empty()) {
            EXPECT_EQ(t.cell(1, 0).code, 0) << c.name;
            EXPECT_EQ(t.cursor().first, 1) << c.name;
        } else {
            EXPECT_EQ(t->getCharacter(t.cell(1, 0)), c.second) << c.name;
            EXPECT_EQ(t.cursor().first, 1 + t.cell(1, 0).width) << c.name;
        }
    }
}

// A flood of marks on one character costs no more than the capped cell (32 KiB took 1.1 GiB and
// 1.6 s before). Counted in work, not time: joins past the cluster's bound are found among the
// known joins (a few are decided from the cell's text, not one per mark), and the heap stays.
TEST(TerminalPrintTest, FloodOfMarksOnOneCellIsCheap) {
    TestTerminal t(80, 25);
    const std::string piece = repeat("\u0301", 32 * 1024);
    const size_t heapBefore = ::mallinfo2().uordblks;
    t.feed("a");
    for (int i = 0; i < 128; ++i) t.feed(piece);
    // A cell holds 32 scalars at most: about as many joins are decided, the rest are known.
    EXPECT_LE(t->joinsDecided(), 64u) << "of " << 128 * 32 * 1024 << " marks";
    const size_t heapAfter = ::mallinfo2().uordblks;
    EXPECT_LT(heapAfter - std::min(heapAfter, heapBefore), size_t{1} << 20);
    EXPECT_EQ(t->getCharacter(t.cell(0, 0)).size(), 32u);
}

// Long clusters fill the table by the scalars they hold, before its count of entries: past
// that a new cluster keeps its base character, while those seen before still resolve.
TEST(TerminalPrintTest, LongClustersStopAtTheTablesScalarBound) {
    TestTerminal t(40, 5);
    t.feed("e\u0301");
    const int32_t known = t.cell(0, 0).code;
    // Every cell takes 31 new clusters of 2 to 32 scalars (527 in all).
    const int cells = static_cast<int>(Terminal::maximumInternedClusterScalars / 527) + 2;
    std::string stream;
    for (int cell = 0; cell < cells; ++cell) {
        stream += "\r";
        appendUtf8(stream, static_cast<char32_t>(0x4E00 + cell));
        for (int mark = 0; mark < 31; ++mark) appendUtf8(stream, static_cast<char32_t>(0x300 + (cell + mark) % 0x70));
    }
    t.feed(stream);
    EXPECT_FALSE(t->graphemeTableFull()) << "far from the count of entries";
    t.feed("\x1b[H" "o\u0302\u0323 e\u0301");
    EXPECT_EQ(t.cell(0, 0).code, 'o') << "a new cluster keeps its base character";
    EXPECT_EQ(t.cell(2, 0).code, known) << "clusters seen before still resolve";
}

// The second half of a wide character has the character's own attribute, whichever step wrote
// it; the blanks insert mode opens have what erasing leaves. Neither is reverse video unasked.
TEST(TerminalPrintTest, SpacersAndInsertBlanksTakeTheAttributeOfWhatIsWritten) {
    const Attribute red(Attribute::Color::defaultColor(), Attribute::Color::ansi256(1), CharacterStyle());
    const Attribute green(Attribute::Color::defaultColor(), Attribute::Color::ansi256(2), CharacterStyle());
    const Attribute redBold(Attribute::Color::defaultColor(), Attribute::Color::ansi256(1),
                            CharacterStyle(CharacterStyle::bold));
    struct Case {
        const char* name;
        std::string input;
        int col;  // the cell looked at, on row 0
        Attribute attribute;
    } cases[] = {
        {"a run of plain characters", "\x1b[41m\u4e2d" "a", 1, red},
        {"one character alone", "\x1b[41m\u4e2d", 1, red},
        {"the general path (insert mode)", "\x1b[4h\x1b[41m\u4e2d" "a", 1, red},
        {"the general path (a designated set)", "\x1b(0\x1b[41m\u4e2d" "a", 1, red},
        {"after a joiner", "x\u200d\x1b[41m\u4e2d", 2, red},
        {"a wide character wrapped to the next row", "\x1b[1;10H\x1b[41m\u4e2d\x1b[1;1H", -1, red},
        {"REP of a wide character (it repeats the spacer)", "\x1b[1;41m\u4e2d\x1b[0m\x1b[b", 2, redBold},
        {"an emoji selector widening its character", "\x1b[41m#\ufe0f", 1, red},
        {"a wide character pushed into the last column by insert mode", "abcdefgh\u4e2d\x1b[1;1H\x1b[4h\x1b[42mZ", 9,
         green},
        {"the same with the default background", "abcdefgh\u4e2d\x1b[1;1H\x1b[4hZ", 9, Attribute::defaultAttribute},
    };
    for (const auto& c : cases) {
        TestTerminal t(10, 3);
        t.feed(c.input);
        const CharData cell = c.col >= 0 ? t.cell(c.col, 0) : t.cell(1, 1);
        EXPECT_EQ(cell.attribute, c.attribute) << c.name;
        EXPECT_NE(cell.attribute.bg, Attribute::Color::defaultInvertedColor()) << c.name;
    }
}

// A control byte inside a run of text is dropped, wherever the reads end; it never takes a cell.
TEST(TerminalPrintTest, ControlBytesInsideTextTakeNoCell) {
    for (const std::string input : {"ab\x19" "cd", "\xe2\x82\x19\xac" "cd", "ab\x7f" "cd", "\x19" "abcd"}) {
        for (size_t split = 0; split < input.size(); ++split) {
            TestTerminal t(10, 2);
            if (split) t.feed(input.substr(0, split));
            t.feed(input.substr(split));
            const std::string row = t.row(0);
            EXPECT_EQ(row.find_first_of(std::string("\x19\x7f", 2)), std::string::npos) << "split at " << split;
            EXPECT_EQ(row.substr(row.size() - 2), "cd") << "split at " << split;
        }
    }
}

// With margins a single column wide, a wide character that follows a full row wraps once, as
// the general rules say, and leaves the row above alone.
TEST(TerminalPrintTest, AWideCharacterWiderThanTheMarginsWrapsOnce) {
    const std::string input = "\x1b[?69h\x1b[10;10s" "abcdefghij\u4e2d";
    for (size_t split = 0; split < input.size(); ++split) {
        TestTerminal t(10, 2);
        if (split) t.feed(input.substr(0, split));
        t.feed(input.substr(split));
        EXPECT_EQ(t.row(0), "abcdefghij") << "split at " << split;
        EXPECT_EQ(t.row(1), empty(9) + "\u4e2d") << "split at " << split;
        EXPECT_TRUE(t.wrapped(1)) << "split at " << split;
    }
}
