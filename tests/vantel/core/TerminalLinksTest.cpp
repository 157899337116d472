#include <gtest/gtest.h>

#include <unicode/uregex.h>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::TestTerminal;
using Location = Terminal::LinkLookupLocation;
using Mode = Terminal::LinkLookupMode;
using Match = Terminal::LinkMatch;

namespace vantel {
void PrintTo(const Terminal::LinkMatch& m, std::ostream* os) {
    *os << "{\"" << m.text << "\" row " << m.row << " [" << m.range.start << "," << m.range.end << ")"
        << (m.isExplicit ? " explicit" : "") << " rows:";
    for (const auto& r : m.rowRanges) *os << " " << r.row << "[" << r.range.start << "," << r.range.end << ")";
    *os << "}";
}
}  // namespace vantel

namespace {

// A terminal whose cells the tests write directly, as a child's output would have left them.
struct LinkScreen {
    explicit LinkScreen(int cols = 80, int rows = 5, int scrollback = 500)
        : t(cols, rows, [scrollback](TerminalOptions& o) { o.scrollback = scrollback; }) {}

    Buffer& buffer() { return t->buffer(); }

    // Makes sure ring rows 0 ... n-1 exist, scrolling the screen down as a child's output would.
    void ensureRows(int n) {
        Buffer& b = buffer();
        while (b.lines().count() < n) b.lines().push(b.getBlankLine(Attribute::defaultAttribute));
        b.setYBase(std::max(b.lines().count() - b.rows(), 0));
        b.setYDisp(b.yBase());
    }

    // Writes text from (col, row); CJK ideographs take two cells.
    void write(int row, int col, std::u32string_view text, TinyAtom payload = {}) {
        ensureRows(row + 1);
        BufferLine& line = buffer().lines()[row];
        for (char32_t c : text) {
            const int8_t width = c >= 0x3000 ? 2 : 1;
            line.setCell(col, CharData(static_cast<int32_t>(c), width, payload, 0, Attribute::defaultAttribute));
            if (width == 2) line.setCell(col + 1, CharData(0, 0, payload, 0, Attribute::defaultAttribute));
            col += width;
        }
    }
    void wrap(int row) {
        ensureRows(row + 1);
        buffer().lines()[row].setWrapped(true);
    }
    TinyAtom payload(std::string stored) { return *t->makePayload(std::any(std::move(stored))); }

    std::optional<Match> at(int col, int row, Mode mode = Mode::explicitAndImplicit) {
        return t->linkMatch(Location::buffer({col, row}), mode);
    }

    TestTerminal t;
};

Match implicit(std::string text, int64_t row, std::vector<Match::RowRange> rows) {
    Match m;
    m.text = std::move(text);
    m.row = row;
    for (const auto& r : rows) {
        if (r.row == row) m.range = r.range;
    }
    m.rowRanges = std::move(rows);
    return m;
}

}  // namespace

TEST(TerminalLinksTest, ExplicitLinksCoverTheirCellsRowByRow) {
    LinkScreen s;
    const TinyAtom link = s.payload("id=7;http://a.example/x;y");
    s.write(0, 0, U"go ");
    s.write(0, 3, U"here", link);
    s.write(1, 0, U"more", link);
    const Match expected{"http://a.example/x;y", 0, {3, 7}, true, {{0, {3, 7}}}};
    for (int col = 3; col < 7; ++col) EXPECT_EQ(s.at(col, 0), expected) << col;
    EXPECT_EQ(s.at(2, 0, Mode::explicitOnly), std::nullopt);
    EXPECT_EQ(s.at(1, 1), (Match{"http://a.example/x;y", 1, {0, 4}, true, {{1, {0, 4}}}}))
        << "the link continuing on the next row is a match of its own";
    EXPECT_EQ(s.t->link(Location::buffer({4, 0}), Mode::explicitOnly), "http://a.example/x;y");

    s.write(2, 2, U"\u4e2d", s.payload(";file:///%E4%B8%AD"));
    const Match wide{"file:///%E4%B8%AD", 2, {2, 4}, true, {{2, {2, 4}}}};
    EXPECT_EQ(s.at(2, 2), wide);
    EXPECT_EQ(s.at(3, 2), wide) << "the covered half reports the wide character's link";

    // Payloads that are no links.
    s.write(3, 0, U"ab", s.payload("no separator"));
    s.write(4, 0, U"ab", *s.t->makePayload(std::any(42)));
    EXPECT_EQ(s.at(0, 3, Mode::explicitOnly), std::nullopt);
    EXPECT_EQ(s.at(0, 4, Mode::explicitOnly), std::nullopt);
}

TEST(TerminalLinksTest, LookupLocationsAreClampedOntoTheBuffer) {
    LinkScreen s(20, 3);
    s.ensureRows(10);  // seven rows of scroll-back
    s.write(8, 0, U"x", s.payload(";http://eight"));
    s.write(9, 0, U"x", s.payload(";http://nine"));
    EXPECT_EQ(s.t->link(Location::screen({0, 1}), Mode::explicitOnly), "http://eight");
    EXPECT_EQ(s.t->link(Location::buffer({-5, 400}), Mode::explicitOnly), "http://nine");
    EXPECT_EQ(s.t->resolveLinkLocation(Location::screen({99, 99}), s.buffer()), (Position{19, 9}));
}

TEST(TerminalLinksTest, ImplicitLinksInOneRow) {
    struct Case {
        std::u32string text;
        int col;
        std::optional<std::string> link;
        int start = 0;
        int end = 0;
    } cases[] = {
        {U"see https://example.com/a_b?x=1, then", 10, "https://example.com/a_b?x=1", 4, 31},
        {U"see https://example.com/a_b?x=1, then", 32, std::nullopt},
        {U"open ./src/main.cpp now", 7, "./src/main.cpp", 5, 19},
        {U"mail mailto:me@example.org.", 8, "mailto:me@example.org", 5, 26},
        {U"cost$file:abc", 8, std::nullopt},  // the rest of a variable reference
        {U"\u4e2d https://x.org/p", 9, "https://x.org/p", 3, 18},
        {U"\u4e2d https://x.org/p", 1, std::nullopt},
        {U"plain words only", 3, std::nullopt},
    };
    for (const auto& c : cases) {
        LinkScreen s;
        s.write(0, 0, c.text);
        auto match = s.at(c.col, 0);
        if (!c.link) {
            EXPECT_EQ(match, std::nullopt) << c.col;
            continue;
        }
        EXPECT_EQ(match, implicit(*c.link, 0, {{0, {c.start, c.end}}})) << *c.link;
        EXPECT_EQ(s.at(c.col, 0, Mode::explicitOnly), std::nullopt);
    }
}

TEST(TerminalLinksTest, UnwrappedRowsJoinOnlyWhenTheUpperRowReachesTheEdge) {
    // 80 columns: the upper row must end at column 64 or later.
    struct Case {
        int lastCol;
        bool joined;
    } cases[] = {{70, true}, {64, true}, {63, false}, {60, false}};
    for (const auto& c : cases) {
        LinkScreen s;
        const std::u32string head = U"https://example.org/";
        const int start = c.lastCol - static_cast<int>(head.size()) + 1;
        s.write(0, start, head);
        s.write(1, 0, U"deep/file.txt and more");
        auto fromUpper = s.at(start + 2, 0);
        auto fromLower = s.at(3, 1);
        if (c.joined) {
            const auto rows = std::vector<Match::RowRange>{{0, {start, c.lastCol + 1}}, {1, {0, 13}}};
            EXPECT_EQ(fromUpper, implicit("https://example.org/deep/file.txt", 0, rows)) << c.lastCol;
            EXPECT_EQ(fromLower, implicit("https://example.org/deep/file.txt", 1, rows)) << c.lastCol;
        } else {
            EXPECT_EQ(fromUpper, implicit("https://example.org/", 0, {{0, {start, c.lastCol + 1}}})) << c.lastCol;
            EXPECT_EQ(fromLower, implicit("deep/file.txt", 1, {{1, {0, 13}}})) << c.lastCol;
        }
    }
}

TEST(TerminalLinksTest, SeamNeedsContinuationCharactersOnBothSides) {
    LinkScreen s;
    s.write(0, 50, U"https://example.org/deep/file");
    s.write(1, 0, U"  {x}.txt");
    EXPECT_EQ(s.at(52, 0), implicit("https://example.org/deep/file", 0, {{0, {50, 79}}}));
}

TEST(TerminalLinksTest, HugeWrappedLineIsExaminedOnlyAroundTheCell) {
    // A wrapped line of 20000 rows; the lookups stay quick and find nearby links exactly.
    const int rows = 20000;
    LinkScreen s(80, 5, rows);
    std::u32string filler(80, U'x');
    for (int r = 0; r < rows; ++r) {
        s.write(r, 0, filler);
        if (r > 0) s.wrap(r);
    }
    std::u32string around = U" https://example.net/wrapped/";
    s.write(10000, 70, around.substr(0, 10));
    s.write(10001, 0, around.substr(10) + U" ");
    const auto expectedRows = std::vector<Match::RowRange>{{10000, {71, 80}}, {10001, {0, 19}}};
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(s.at(75, 10000), implicit("https://example.net/wrapped/", 10000, expectedRows));
    }
    // A path far longer than the bound is cut to the rows around the cell.
    LinkScreen p(80, 5, 1000);
    std::u32string segments;
    while (segments.size() < 80) segments += U"a.b/";
    segments.resize(80);
    for (int r = 0; r < 1000; ++r) {
        p.write(r, 0, segments);
        if (r > 0) p.wrap(r);
    }
    auto cut = p.at(10, 500);
    ASSERT_TRUE(cut);
    EXPECT_LT(cut->rowRanges.size(), 200u);
    EXPECT_GT(cut->rowRanges.size(), 100u);
    EXPECT_LE(cut->rowRanges.front().row, 500 - 50);
    EXPECT_GE(cut->rowRanges.back().row, 500 + 50);
}

TEST(TerminalLinksTest, ImplicitLinksMatchAPlainSearchOfTheRow) {
    // The lookup skips start positions that cannot begin a match; it must find what a plain
    // left-to-right search of the whole row finds.
    const std::string pattern(Terminal::implicitLinkPattern());
    std::u16string pattern16(pattern.begin(), pattern.end());
    UErrorCode status = U_ZERO_ERROR;
    URegularExpression* regex = uregex_open(pattern16.data(), static_cast<int32_t>(pattern16.size()),
                                            0, nullptr, &status);
    ASSERT_TRUE(U_SUCCESS(status));
    const char* pieces[] = {"a",  "b1", ".",  "..", "/",       "//", "~",  "$",     "$HOME", ":",  "@", "?", "=",
                            "#",  " ",  "  ", ",",  "http://", "s",  "x.", "file:", "./",    "../", "-", "_", "(",
                            ")", "[", "]",  "\xc3\xa9", "ssh://", "t", "$A_b/", "~/", "a.b/", "%", "+", ";"};
    uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int round = 0; round < 400; ++round) {
        std::string text;
        while (true) {
            std::string piece = pieces[next() % std::size(pieces)];
            if (text.size() + piece.size() > 60) break;
            text += piece;
        }
        std::u32string scalars = fromUtf8(text);
        LinkScreen s;
        s.write(0, 0, scalars);
        std::u16string text16;
        for (char32_t c : scalars) text16.push_back(static_cast<char16_t>(c));
        status = U_ZERO_ERROR;
        uregex_setText(regex, text16.data(), static_cast<int32_t>(text16.size()), &status);
        std::vector<std::pair<int, int>> matches;
        while (uregex_findNext(regex, &status)) {
            const int start = uregex_start(regex, 0, &status);
            const int end = uregex_end(regex, 0, &status);
            if (end > start && !(start > 0 && text16[start - 1] == u'$')) matches.emplace_back(start, end);
        }
        for (int col = 0; col < static_cast<int>(scalars.size()); ++col) {
            std::optional<Match> expected;
            for (auto [start, end] : matches) {
                if (start <= col && col < end) {
                    std::u32string part = scalars.substr(start, end - start);
                    expected = implicit(toUtf8(part), 0, {{0, {start, end}}});
                    break;
                }
            }
            ASSERT_EQ(s.at(col, 0), expected) << "\"" << text << "\" col " << col;
        }
    }
    uregex_setText(regex, u"", 0, &status);
    uregex_close(regex);
}

TEST(TerminalLinksTest, TextPrintedUnderOsc8) {
    TestTerminal t;
    t.feed("see \x1b]8;id=1;http://example.com/a;b\x1b\\this link\x1b]8;;\x1b\\ now");
    const Terminal::LinkMatch expected{"http://example.com/a;b", 0, {4, 13}, true, {{0, {4, 13}}}};
    for (int col : {4, 8, 12}) EXPECT_EQ(t->linkMatch(Location::buffer({col, 0}), Mode::explicitOnly), expected);
    EXPECT_EQ(t->link(Location::screen({13, 0}), Mode::explicitAndImplicit), std::nullopt);
    EXPECT_EQ(t->link(Location::screen({3, 0}), Mode::explicitAndImplicit), std::nullopt);
}

TEST(TerminalLinksTest, UrlPrintedAcrossTheRightEdge) {
    TestTerminal t(20, 5);
    t.feed("go https://example.com/path x");
    const std::vector<Terminal::LinkMatch::RowRange> rows{{0, {3, 20}}, {1, {0, 7}}};
    const Terminal::LinkMatch fromUpper{"https://example.com/path", 0, {3, 20}, false, rows};
    const Terminal::LinkMatch fromLower{"https://example.com/path", 1, {0, 7}, false, rows};
    EXPECT_EQ(t->linkMatch(Location::screen({10, 0}), Mode::explicitAndImplicit), fromUpper);
    EXPECT_EQ(t->linkMatch(Location::screen({2, 1}), Mode::explicitAndImplicit), fromLower);
}

