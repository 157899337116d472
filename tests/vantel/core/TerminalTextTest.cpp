#include <gtest/gtest.h>

#include "support/BufferTextFill.h"
#include "support/TerminalTestSupport.h"
#include "vantel/core/SelectionService.h"

using namespace vantel;
using vantel::testing::TestTerminal;
using vantel::testing::writeCells;

namespace {

struct RowSpec {
    const char* text;  // nullptr: leave the row untouched
    bool wrapped = false;
};

std::string exportRange(std::vector<RowSpec> rows, Position start, Position end) {
    TestTerminal t(10, 6);
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].text) writeCells(t->buffer(), static_cast<int>(i), rows[i].text, 0, rows[i].wrapped);
    }
    return t->getText(start, end);
}

}  // namespace

TEST(TerminalTextTest, RangesReadAsLogicalLines) {
    struct Case {
        const char* name;
        std::vector<RowSpec> rows;
        Position start, end;
        std::string expected;
    } cases[] = {
        {"end column is exclusive", {{"abcdefgh"}}, {2, 0}, {5, 0}, "cde"},
        {"two rows", {{"ab"}, {"cd"}}, {0, 0}, {2, 1}, "ab\ncd"},
        {"wrapped row joins", {{"ab"}, {"cd", true}}, {0, 0}, {2, 1}, "abcd"},
        {"empty rows between content", {{"a"}, {nullptr}, {nullptr}, {"b"}}, {0, 0}, {1, 3}, "a\n\n\nb"},
        {"empty rows at the end add nothing", {{"a"}, {nullptr}, {nullptr}}, {0, 0}, {0, 2}, "a"},
        {"empty first row adds nothing itself", {{nullptr}, {"b"}}, {0, 0}, {1, 1}, "\nb"},
        {"wide character once", {{"\xe4\xb8\xadx"}}, {0, 0}, {3, 0}, "\xe4\xb8\xadx"},
        {"empty cell inside reads as space", {{"a"}}, {0, 0}, {10, 0}, "a"},
        {"either order", {{"ab"}, {"cd"}}, {2, 1}, {0, 0}, "ab\ncd"},
        {"equal positions", {{"ab"}}, {1, 0}, {1, 0}, ""},
        {"first row past the buffer", {{"ab"}}, {0, 7}, {0, 9}, ""},
        {"last row lowered to the last line", {{"ab"}, {nullptr}, {nullptr}, {nullptr}, {nullptr}, {"z"}},
         {0, 0}, {1, 40}, "ab\n\n\n\n\nz"},
    };
    for (const auto& c : cases) EXPECT_EQ(exportRange(c.rows, c.start, c.end), c.expected) << c.name;
}

TEST(TerminalTextTest, EmptyCellInsideRowIsSpaceInTextAndNulInData) {
    TestTerminal t(10, 1);
    writeCells(t->buffer(), 0, "a");
    writeCells(t->buffer(), 0, "b", 2);
    EXPECT_EQ(t->getText({0, 0}, {5, 0}), "a b");
    const auto data = t->getBufferAsData(Terminal::BufferKind::normal);
    EXPECT_EQ(std::string(data.begin(), data.end()), std::string("a\0b\n", 4));
}

TEST(TerminalTextTest, ColouredEraseIsNotAnEmptyRow) {
    TestTerminal t(10, 3);
    writeCells(t->buffer(), 0, "a");
    Attribute red = Attribute::defaultAttribute;
    red.bg = Attribute::Color::ansi256(1);
    t->buffer().lines()[1].fill(CharData(red, 0, 1));
    writeCells(t->buffer(), 2, "b");
    const auto lines = t->getSelectedLines({0, 0}, {1, 2}, t->buffer());
    EXPECT_EQ(Line::joinedText(lines), "a\n\nb");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].debugDescription(), "2/2: [a][\\n][");
}

TEST(TerminalTextTest, BufferAsDataPerBufferAndEncoding) {
    TestTerminal t(10, 3);
    t->activateAltBuffer(std::nullopt);
    writeCells(t->altBuffer(), 0, "hi");
    auto alt = t->getBufferAsData(Terminal::BufferKind::alt);
    EXPECT_EQ(std::string(alt.begin(), alt.end()), "hi\n\n\n");
    EXPECT_EQ(t->getBufferAsData(Terminal::BufferKind::active), alt);

    writeCells(t->normalBuffer(), 0, "\xc3\xa9\xe4\xb8\xad");  // é, then a wide character
    writeCells(t->normalBuffer(), 1, "ok");
    auto utf8 = t->getBufferAsData(Terminal::BufferKind::normal);
    EXPECT_EQ(std::string(utf8.begin(), utf8.end()), std::string("\xc3\xa9\xe4\xb8\xad\0\nok\n\n", 11));
    auto ascii = t->getBufferAsData(Terminal::BufferKind::normal, Terminal::TextEncoding::ascii);
    EXPECT_EQ(std::string(ascii.begin(), ascii.end()), "ok\n\n") << "a row the encoding cannot hold is left out";
    auto utf16 = t->getBufferAsData(Terminal::BufferKind::normal, Terminal::TextEncoding::utf16LittleEndian);
    EXPECT_EQ(std::string(utf16.begin(), utf16.begin() + 6), std::string("\xe9\0\x2d\x4e\0\0", 6));
}


TEST(TerminalTextTest, LineFragmentsFindTheirPosition) {
    Line line;
    line.add(LineFragment{std::string("ab"), 0, 0, 2});
    line.add(LineFragment{std::nullopt, 0, 2, 0});
    line.add(LineFragment::lineBreak(0));
    EXPECT_EQ(line.toString(), "ab\n");
    EXPECT_EQ(line.length(), 3);
    EXPECT_EQ(line.getFragmentIndex(1), 0);
    EXPECT_EQ(line.getFragmentIndex(2), 2) << "the empty fragment holds no position";
    EXPECT_EQ(line.getFragmentIndex(3), -1);
}
