#include <gtest/gtest.h>

#include <random>

#include "support/BufferTextFill.h"
#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::ringRowText;
using vantel::testing::TestTerminal;
using vantel::testing::writeCells;

namespace {

void withScrollback(TerminalOptions& options) { options.scrollback = 1000; }

// Every logical line's characters, empty cells left out; trailing empty lines dropped.
std::vector<std::u32string> logicalLines(Buffer& buffer) {
    std::vector<std::u32string> out;
    for (int i = 0; i < buffer.lines().count(); ++i) {
        const BufferLine& line = buffer.lines()[i];
        if (i == 0 || !line.isWrapped()) out.emplace_back();
        for (int c = 0; c < line.count(); ++c) {
            if (line[c].code != 0) out.back().push_back(static_cast<char32_t>(line[c].code));
        }
    }
    while (!out.empty() && out.back().empty()) out.pop_back();
    return out;
}

// Lays the lines out as the print path would, with wide characters that do not fit moving
// to the next row; returns the cell of the last '@'.
Position layOut(Buffer& buffer, const std::vector<std::u32string>& lines) {
    const int cols = buffer.cols();
    Position marker{-1, -1};
    int row = 0;
    auto rowAt = [&](int r) -> BufferLine& {
        while (buffer.lines().count() <= r) buffer.lines().push(buffer.getBlankLine(Attribute::defaultAttribute));
        return buffer.lines()[r];
    };
    for (const auto& text : lines) {
        rowAt(row).setWrapped(false);
        int col = 0;
        for (char32_t c : text) {
            const int width = UnicodeUtil::computeColumnWidth(c) == 2 ? 2 : 1;
            if (col + width > cols) {
                rowAt(++row).setWrapped(true);
                col = 0;
            }
            rowAt(row).setCell(col, CharData(Attribute::defaultAttribute, static_cast<int32_t>(c), width));
            if (width == 2) rowAt(row).setCell(col + 1, CharData(Attribute::defaultAttribute, 0, 0));
            if (c == U'@') marker = {col, row};
            col += width;
        }
        ++row;
    }
    return marker;
}

std::u32string cursorCharacter(Terminal& t) {
    Buffer& b = t.buffer();
    return t.character(b.lines()[b.yBase() + b.y()][b.x()].code);
}

}  // namespace

TEST(BufferReflowTest, WrappedRowJoinsWhenWiderAndSplitsWhenNarrower) {
    TestTerminal t(10, 5, withScrollback);
    writeCells(t->buffer(), 0, "abcdefghij");
    writeCells(t->buffer(), 1, "klm", 0, true);
    t->buffer().setY(3);

    t->resize(20, 5);
    EXPECT_EQ(ringRowText(*t, 0), "abcdefghijklm");
    EXPECT_FALSE(t->buffer().lines()[1].isWrapped());
    EXPECT_EQ(ringRowText(*t, 1), "");
    EXPECT_EQ(t.cursor(), (std::pair{0, 2})) << "the cursor moves up with its row";
    EXPECT_EQ(t->buffer().lines().count(), 5);

    t->resize(10, 5);
    EXPECT_EQ(ringRowText(*t, 0), "abcdefghij");
    EXPECT_EQ(ringRowText(*t, 1), "klm");
    EXPECT_TRUE(t->buffer().lines()[1].isWrapped());
    EXPECT_EQ(t.cursor(), (std::pair{0, 3}));
    EXPECT_EQ(t->buffer().lines()[0].count(), 10);
}

TEST(BufferReflowTest, WideCharacterMovesWholeAndRejoins) {
    TestTerminal t(10, 4, withScrollback);
    writeCells(t->buffer(), 0, "abcdefgh\xe4\xb8\xad");  // the wide character fills columns 8 and 9
    t->buffer().setY(3);
    t->resize(9, 4);
    EXPECT_EQ(ringRowText(*t, 0), "abcdefgh");
    EXPECT_EQ(t->buffer().lines()[0][8].code, 0) << "a filler cell stays behind";
    EXPECT_EQ(ringRowText(*t, 1), "\xe4\xb8\xad");
    EXPECT_TRUE(t->buffer().lines()[1].isWrapped());
    t->resize(10, 4);
    EXPECT_EQ(ringRowText(*t, 0), "abcdefgh\xe4\xb8\xad");
    EXPECT_FALSE(t->buffer().lines()[1].isWrapped());
}

TEST(BufferReflowTest, CursorGroupIsReflowedAndTheCursorKeepsItsCharacter) {
    TestTerminal t(20, 4, withScrollback);
    writeCells(t->buffer(), 0, "abcdefghijklmnopqrst");
    t->buffer().setX(15);  // on 'p'
    t->resize(10, 4);
    EXPECT_EQ(ringRowText(*t, 0), "abcdefghij");
    EXPECT_EQ(ringRowText(*t, 1), "klmnopqrst") << "narrowing keeps the text of the cursor's row";
    EXPECT_EQ(cursorCharacter(*t), U"p");
    t->resize(7, 4);
    EXPECT_EQ(cursorCharacter(*t), U"p");
    t->resize(30, 4);
    EXPECT_EQ(ringRowText(*t, 0), "abcdefghijklmnopqrst");
    EXPECT_EQ(t.cursor(), (std::pair{15, 0}));
}

TEST(BufferReflowTest, CursorPastTheLastColumnStaysAfterItsCharacter) {
    TestTerminal t(10, 3, withScrollback);
    writeCells(t->buffer(), 0, "abcdefghij");
    writeCells(t->buffer(), 1, "kl", 0, true);
    t->buffer().setY(1);
    t->buffer().setX(2);
    t->resize(6, 3);
    EXPECT_EQ(ringRowText(*t, 1), "ghijkl");
    EXPECT_EQ(t.cursor(), (std::pair{6, 1})) << "one beyond the last column, as after printing 'l'";
    t->resize(12, 3);
    EXPECT_EQ(ringRowText(*t, 0), "abcdefghijkl");
    EXPECT_EQ(t.cursor(), (std::pair{12, 0}));
}

TEST(BufferReflowTest, AlternateBufferNeverReflows) {
    TestTerminal t(10, 3);
    t->activateAltBuffer(std::nullopt);
    writeCells(t->altBuffer(), 0, "abcdefghij");
    writeCells(t->altBuffer(), 1, "kl", 0, true);
    t->resize(5, 3);
    EXPECT_EQ(t->altBuffer().lines()[0].count(), 10) << "longer lines are kept";
    EXPECT_EQ(ringRowText(*t, 1), "kl");
    t->resize(20, 3);
    EXPECT_EQ(t->altBuffer().lines()[0].count(), 20);
    EXPECT_EQ(ringRowText(*t, 0), "abcdefghij");
    EXPECT_TRUE(t->altBuffer().lines()[1].isWrapped());
}

TEST(BufferReflowTest, RowChangesUseScrollbackFirst) {
    TestTerminal t(10, 5, withScrollback);
    Buffer& b = t->buffer();
    for (int i = 0; i < 5; ++i) b.lines().push(b.getBlankLine(Attribute::defaultAttribute));
    b.setYBase(5);
    b.setYDisp(5);
    b.setY(4);
    t->resize(10, 8);
    EXPECT_EQ(b.yBase(), 2);
    EXPECT_EQ(b.y(), 7) << "scroll-back lines come into view before blank ones are added";
    EXPECT_EQ(b.lines().count(), 10);
    t->resize(10, 6);
    EXPECT_EQ(b.yBase(), 4) << "with the cursor on the last row the screen moves down instead";
    EXPECT_EQ(b.y(), 5);
}

TEST(BufferReflowTest, NarrowingScrollsOnlyWhenNoBlankRowIsLeft) {
    TestTerminal t(10, 3, withScrollback);
    writeCells(t->buffer(), 0, "abcdefghij");
    t->resize(5, 3);
    EXPECT_EQ(t->buffer().yBase(), 0) << "the blank row below took the new row";
    EXPECT_EQ(t->buffer().lines().count(), 3);
    writeCells(t->buffer(), 2, "xyz");
    t->buffer().setY(2);
    t->resize(2, 3);
    EXPECT_GT(t->buffer().yBase(), 0);
    EXPECT_EQ(cursorCharacter(*t), U"x");
    EXPECT_EQ(logicalLines(t->buffer()), (std::vector<std::u32string>{U"abcdefghij", U"xyz"}));
}

TEST(BufferReflowTest, FullRingDropsItsOldestLines) {
    TestTerminal t(10, 2, [](TerminalOptions& o) { o.scrollback = 1; });
    writeCells(t->buffer(), 0, "abcdefghij");
    writeCells(t->buffer(), 1, "klmnopqrst");
    t->buffer().setY(1);
    t->resize(5, 2);
    EXPECT_EQ(t->buffer().lines().count(), 3);
    EXPECT_EQ(ringRowText(*t, 2), "pqrst");
    EXPECT_EQ(cursorCharacter(*t), U"k");
    EXPECT_EQ(t->buffer().yBase() + t->buffer().y(), 1);
}

TEST(BufferReflowTest, RandomTextSurvivesManyWidths) {
    std::mt19937 random(20261206);
    const std::u32string alphabet = U"abcdefghijklmnopqrstuvwxyz0123456789\u4e2d\u00e9";
    for (int round = 0; round < 40; ++round) {
        const int rows = 12;
        TestTerminal t(std::uniform_int_distribution(6, 40)(random), rows, withScrollback);
        std::vector<std::u32string> lines(std::uniform_int_distribution(1, 15)(random));
        for (size_t i = 0; i < lines.size(); ++i) {
            const int maxLength = i + 1 == lines.size() ? 20 : 60;
            const int length = std::uniform_int_distribution(i + 1 == lines.size() ? 1 : 0, maxLength)(random);
            for (int k = 0; k < length; ++k) {
                lines[i].push_back(alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(random)]);
            }
        }
        std::u32string& last = lines.back();
        last[std::uniform_int_distribution<size_t>(0, last.size() - 1)(random)] = U'@';
        Buffer& b = t->buffer();
        const Position marker = layOut(b, lines);
        const int count = b.lines().count();
        b.setYBase(std::max(0, count - rows));
        b.setYDisp(b.yBase());
        b.setY(marker.row - b.yBase());
        b.setX(marker.col);
        while (!lines.empty() && lines.back().empty()) lines.pop_back();
        ASSERT_EQ(logicalLines(b), lines);

        for (int step = 0; step < 25; ++step) {
            const int cols = std::uniform_int_distribution(6, 50)(random);
            t->resize(cols, rows);
            Buffer& now = t->buffer();
            ASSERT_EQ(logicalLines(now), lines) << "round " << round << " step " << step << " cols " << cols;
            ASSERT_EQ(cursorCharacter(*t), U"@") << "round " << round << " step " << step << " cols " << cols;
            ASSERT_GE(now.lines().count(), now.yBase() + rows);
            for (int i = 0; i < now.lines().count(); ++i) ASSERT_GE(now.lines()[i].count(), cols);
        }
    }
}

TEST(BufferReflowTest, PromptMarksTravelWithTheirText) {
    TestTerminal t(10, 4, withScrollback);
    Buffer& b = t->buffer();
    writeCells(b, 0, "abcdefghij");
    writeCells(b, 1, "$ ls", 0, true);
    b.lines()[1].setSemanticMark(SemanticPromptKind::initial, 0, 7);
    b.setSemanticPromptStartLine(b.lines().ref(1));
    b.setY(3);
    t->resize(20, 4);
    ASSERT_EQ(b.lines()[0].semanticMarks().size(), 1u);
    EXPECT_EQ(b.lines()[0].semanticMarks()[0].column, 10);
    EXPECT_EQ(b.semanticPromptStartLine.get(), &b.lines()[0]);
    t->resize(10, 4);
    EXPECT_TRUE(b.lines()[0].semanticMarks().empty());
    ASSERT_EQ(b.lines()[1].semanticMarks().size(), 1u);
    EXPECT_EQ(b.lines()[1].semanticMarks()[0].column, 0);
    EXPECT_EQ(b.semanticPromptStartLine.get(), &b.lines()[1]);
}

TEST(BufferReflowTest, RandomCellsAndSizesKeepTheBufferConsistent) {
    std::mt19937 random(7);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution(lo, hi)(random); };
    for (int round = 0; round < 30; ++round) {
        TestTerminal t(pick(2, 30), pick(1, 8), [&](TerminalOptions& o) { o.scrollback = pick(0, 20); });
        Buffer& b = t->buffer();
        for (int i = 0; i < b.lines().count(); ++i) {
            BufferLine& line = b.lines()[i];
            for (int c = 0; c < line.count(); ++c) {
                const int kind = pick(0, 5);
                const int32_t code = kind == 0 ? 0 : kind == 1 ? 0x4E2D : kind == 2 ? 0x400001 : 'a' + pick(0, 25);
                line.setCell(c, CharData(Attribute::defaultAttribute, code, static_cast<int8_t>(kind == 1 ? 2 : pick(0, 1))));
            }
            line.setWrapped(pick(0, 1) == 1);
        }
        b.setY(pick(0, t->rows() - 1));
        b.setX(pick(0, t->cols()));
        for (int step = 0; step < 20; ++step) {
            t->resize(pick(2, 40), pick(1, 10));
            ASSERT_GE(b.y(), 0);
            ASSERT_LT(b.y(), t->rows());
            ASSERT_LE(b.x(), t->cols());
            ASSERT_LE(b.yDisp(), b.yBase());
            ASSERT_GE(b.lines().count(), b.yBase() + t->rows());
            ASSERT_LE(b.lines().count(), b.lines().maxLength());
            for (int i = 0; i < b.lines().count(); ++i) ASSERT_GE(b.lines()[i].count(), t->cols());
        }
    }
}
