#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "vantel/core/Buffer.h"
#include "vantel/core/BufferLine.h"
#include "vantel/core/CircularBufferLineList.h"

using namespace vantel;

namespace {

CharData cell(char32_t c, int8_t width = 1) { return CharData(Attribute(), static_cast<int32_t>(c), width); }

LineRef lineOf(const std::u32string& text) {
    LineRef line = BufferLine::make(static_cast<int>(text.size()));
    for (size_t i = 0; i < text.size(); ++i) line->setCell(static_cast<int>(i), cell(text[i]));
    return line;
}

std::string text(const BufferLine& line) { return line.translateToString(); }

}  // namespace

TEST(BufferLineTest, InsertAndDeleteCellsStayInsideTheMargin) {
    struct Case {
        bool insert;
        int pos, n, rightMargin;
        const char* expected;
    } cases[] = {
        {true, 2, 3, 5, "ABXXXCGHIJ"},
        {false, 2, 3, 5, "ABFXXXGHIJ"},
        {false, 2, 10, 5, "ABXXXXGHIJ"},  // more than the room blanks to the margin only
        {true, 2, 10, 5, "ABXXXXGHIJ"},
        {true, 0, 1, 9, "XABCDEFGHI"},
        {false, 9, 1, 9, "ABCDEFGHIX"},
        {true, 12, 1, 9, "ABXCDEFGHI"},  // the position is taken modulo the margin width
        {true, 3, 0, 9, "ABCDEFGHIJ"},
    };
    for (const auto& c : cases) {
        LineRef line = lineOf(U"ABCDEFGHIJ");
        uint64_t before = line->generation();
        if (c.insert) line->insertCells(c.pos, c.n, c.rightMargin, cell('X'));
        else line->deleteCells(c.pos, c.n, c.rightMargin, cell('X'));
        EXPECT_EQ(text(*line), c.expected) << (c.insert ? "insert " : "delete ") << c.pos << "," << c.n;
        EXPECT_GT(line->generation(), before);
    }
}

TEST(BufferLineTest, MarksKeepOnePerKindInColumnOrderAndShiftWithEdits) {
    LineRef line = lineOf(U"ABCDEFGHIJ");
    line->setSemanticMark(SemanticPromptKind::initial, 5, 1);
    line->setSemanticMark(SemanticPromptKind::secondary, 2, 1);
    line->setSemanticMark(SemanticPromptKind::initial, 8, 2);
    EXPECT_EQ(line->semanticMarks(), (std::vector<SemanticMark>{{SemanticPromptKind::secondary, 2, 1},
                                                                {SemanticPromptKind::initial, 8, 2}}));
    line->marksClampTo(4);
    EXPECT_EQ(line->semanticMarks()[1].column, 3);
    line->resize(3, cell('Z'));
    EXPECT_EQ(line->semanticMarks()[1].column, 2) << "a narrower row clamps its marks";
    line->resize(10, cell('Z'));
    line->marksClampTo(0);
    EXPECT_TRUE(line->semanticMarks().empty());

    line->setSemanticMark(SemanticPromptKind::initial, 4, 1);
    line->insertCells(2, 10, 7, cell('X'));
    EXPECT_EQ(line->semanticMarks().at(0).column, 7) << "clamped to the margin";
    line->deleteCells(2, 3, 9, cell('X'));
    EXPECT_EQ(line->semanticMarks().at(0).column, 4);
    line->setSemanticMark(SemanticPromptKind::right, 1, 1);
    line->deleteCells(0, 1, 9, cell('X'));  // a mark at the position stays at the position
    EXPECT_EQ(line->semanticMarks().at(0).column, 0);
}

TEST(BufferLineTest, TranslateToString) {
    LineRef line = BufferLine::make(6);
    line->setCell(0, cell('a'));
    line->setCell(1, cell(0x4E00, 2));
    line->setCell(2, CharData(Attribute(), 0, 0));
    line->setCell(3, cell('b'));
    line->setCell(4, CharData(Attribute(), 0x400001, 1));
    EXPECT_EQ(line->translateToString(true), std::string("a\xE4\xB8\x80") + '\0' + "b ");
    EXPECT_EQ(line->translateToString(true, 0, -1, true), "a\xE4\xB8\x80" "b ");
    EXPECT_EQ(line->translateToString(false, 3, 4), "b");
    EXPECT_EQ(line->translateToString(true, 5, -1), "");
    auto provider = [](const CharData& c) -> Character {
        return c.code == 0x400001 ? Character(U"e\u0301") : c.getCharacter();
    };
    EXPECT_EQ(line->translateToString(true, 3, -1, false, provider), "be\xCC\x81");
}

TEST(BufferLineTest, OutOfRangeWriteGoesToTheLastCell) {
    LineRef line = BufferLine::make(80);
    const uint64_t before = inconsistencies(Inconsistency::cellIndexOutOfRange);
    testing::internal::CaptureStdout();
    line->setCell(80, cell('q'));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ((*line)[79].code, 'q');
    EXPECT_EQ((*line)[200].code, 'q') << "reads past the end read the last cell";
    EXPECT_EQ(inconsistencies(Inconsistency::cellIndexOutOfRange), before + 1);
    EXPECT_EQ(out, "") << "counted, not printed";
}

TEST(BufferLineTest, StyledBlanksAreContentPayloadsAndClassesAreNot) {
    LineRef line = BufferLine::make(4);
    EXPECT_FALSE(line->hasAnyContent());
    CharData styled;
    styled.attribute.bg = Attribute::Color::ansi256(1);
    line->setCell(2, styled);
    CharData payloadOnly(0, 1, TinyAtom(7), 5, Attribute::defaultAttribute);
    line->setCell(1, payloadOnly);
    EXPECT_TRUE(line->hasContent(2));
    EXPECT_FALSE(line->hasContent(1));
}

// A snapshot takes everything; a copy into an existing row leaves it its images and render mode.
TEST(BufferLineTest, CopiesCarryCellsAndRowState) {
    LineRef source = lineOf(U"ABCDEF");
    source->setWrapped(true);
    source->setImages(TerminalImageList{});
    source->setRenderMode(BufferLine::RenderLineMode::doubleWidth);
    LineRef snapshot = BufferLine::copyOf(*source);
    EXPECT_EQ(std::tuple(text(*snapshot), snapshot->isWrapped(), snapshot->hasImages(), snapshot->renderMode()),
              std::tuple("ABCDEF", true, true, BufferLine::RenderLineMode::doubleWidth));
    LineRef target = BufferLine::make(3);
    target->copyFrom(*static_cast<const BufferLine*>(source.get()));
    EXPECT_EQ(std::tuple(text(*target), target->isWrapped(), target->hasImages(), target->renderMode()),
              std::tuple("ABCDEF", true, false, BufferLine::RenderLineMode::single));
}

TEST(BufferLineTest, RangeCopyWithinALineAndMarksTravel) {
    LineRef line = lineOf(U"ABCDEFGH");
    line->copyFrom(*line, 0, 2, 4);
    EXPECT_EQ(text(*line), "ABABCDGH");
    line = lineOf(U"ABCDEFGH");
    line->copyFrom(*line, 2, 0, 4);
    EXPECT_EQ(text(*line), "CDEFEFGH");

    LineRef source = lineOf(U"abcdef");
    source->setSemanticMark(SemanticPromptKind::secondary, 2, 4);
    LineRef dest = lineOf(U"UVWXYZ");
    dest->setSemanticMark(SemanticPromptKind::right, 4, 4);
    dest->copyFrom(*source, 1, 3, 3);
    EXPECT_EQ(text(*dest), "UVWbcd");
    EXPECT_TRUE(source->semanticMarks().empty()) << "the mark moved away with its cell";
    ASSERT_EQ(dest->semanticMarks().size(), 1u) << "the overwritten mark is gone";
    EXPECT_EQ(dest->semanticMarks()[0], (SemanticMark{SemanticPromptKind::secondary, 4, 4}));

    source->setSemanticHardContinuationGroup(5);
    dest->copyFrom(*source, 0, 0, 6);
    EXPECT_EQ(dest->semanticHardContinuationGroup(), 5u) << "a whole-line copy moves the hard continuation";
    EXPECT_FALSE(source->semanticHardContinuationGroup().has_value());
}

// Caches key lines by serial: a line made where a freed one lived, or a copy, is another line.
TEST(BufferLineTest, SerialsAreNeverReused) {
    LineRef first = BufferLine::make(10);
    const uint64_t firstSerial = first->serial();
    const BufferLine* firstAddress = first.get();
    first = LineRef();
    LineRef second = BufferLine::make(10);
    EXPECT_NE(second->serial(), firstSerial) << (second.get() == firstAddress ? "same address" : "new address");
    EXPECT_NE(BufferLine::copyOf(*second)->serial(), second->serial());
    BufferLine onHeap(10);
    EXPECT_GT(onHeap.serial(), second->serial());
}

TEST(BufferLineTest, StaysCompact) {
    // A scroll-back line costs its cells plus a small header and one ring slot.
    EXPECT_LE(sizeof(BufferLine) + sizeof(LineRef), 64u);
}

// A clear to blank cells leaves the old cells in place until the line is next used, and a
// writer that overwrites a range blanks only the rest; cells that were blank before the first
// one written are not blanked again. Random edits on a line against the same
// edits on a reference line that is filled instead of cleared, read back through every reader.
TEST(BufferLineTest, ClearedCellsReadBlankThroughEveryReader) {
    std::mt19937 rng(7);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    Attribute red;
    red.bg = Attribute::Color::ansi256(1);
    const CharData redBlank(0, 1, TinyAtom(), 0, red);
    auto sameCells = [](const BufferLine& line, const BufferLine& reference, int reader) -> std::string {
        if (line.count() != reference.count()) return "count";
        const std::vector<CharData> expected = reference.getData();
        switch (reader) {
        case 0: return line.getData() == expected ? "" : "getData";
        case 1:
            for (int col = 0; col < line.count(); ++col) {
                if (!(line[col] == expected[static_cast<size_t>(col)])) return "operator[]";
            }
            return "";
        case 2:
            return std::equal(expected.begin(), expected.end(), line.cells()) ? "" : "cells";
        case 3: return line.translateToString(true) == reference.translateToString(true) ? "" : "translateToString";
        case 4: return line.getTrimmedLength() == reference.getTrimmedLength() ? "" : "getTrimmedLength";
        case 5: return line.hasAnyContent() == reference.hasAnyContent() ? "" : "hasAnyContent";
        default: return BufferLine::copyOf(line)->getData() == expected ? "" : "copyOf";
        }
    };
    for (int round = 0; round < 600; ++round) {
        // Now and then a row wider than the blank cells a line keeps count of at its start.
        const int cols = round % 6 == 5 ? 200 + pick(120) : 1 + pick(30);
        LineRef line = BufferLine::make(cols), reference = BufferLine::make(cols);
        LineRef other = BufferLine::make(1 + pick(30));
        other->fill(cell('o'));
        for (int step = 0; step < 12; ++step) {
            const int n = line->count();
            // Overwrites from the left after a clear (the next output on a recycled line) are
            // twice as likely, so a line often goes through several of them while stale.
            const int op = pick(13) % 12;
            const int a = pick(n), b = pick(n), c = pick(8), d = pick(26), source = pick(other->count());
            for (BufferLine* target : {line.get(), reference.get()}) {
                switch (op) {
                case 0: target->setCell(a, cell('a' + d)); break;
                case 1: target->fill(cell('f'), a, b); break;
                case 2: target->insertCells(a, c % 4, b, cell('i')); break;
                case 3: target->deleteCells(a, c % 4, b, CharData::Null); break;
                case 4: target->copyFrom(*other, source, a, c); break;
                case 5: target->resize(1 + d + c, c % 2 ? CharData::Null : cell('w')); break;
                case 6:
                case 7: {
                    const Attribute attribute = c % 3 ? Attribute() : red;
                    if (target == line.get()) target->clear(attribute);
                    else target->fill(CharData(0, 1, TinyAtom(), 0, attribute));
                    break;
                }
                case 8:
                case 10: {
                    const int from = op == 10 ? a % 3 % n : a;
                    const int count = 1 + b % (n - from);
                    CharData* cells = target->mutableCells(from, count);
                    for (int i = 0; i < count; ++i) cells[i] = cell('m');
                    break;
                }
                case 11: {
                    // A writer that learns how far it gets as it goes.
                    const int from = a % 3 % n;
                    const int count = b % (n - from + 1);
                    CharData* cells = target->cellsForWriting(from);
                    for (int i = 0; i < count; ++i) cells[from + i] = cell('w');
                    target->noteCellsWritten(from, count);
                    break;
                }
                default: target->replaceCells(a, b, c % 2 ? CharData::Null : redBlank); break;
                }
            }
            // Reading settles the line, so most steps go unread and edits pile up on old cells.
            if (pick(3) != 0 && step != 11) continue;
            const int reader = pick(7);
            ASSERT_EQ(sameCells(*line, *reference, reader), "") << "round " << round << " step " << step << " op " << op;
        }
    }
}

#if defined(VANTEL_CHECKS)
// A writer that takes a line's cells writes before the line settles what a clear left: the
// line must not be read or changed otherwise until the writer says what it wrote.
TEST(BufferLineDeathTest, ALineIsNotReadWhileAWriterHoldsItsCells) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case {
        const char* name;
        void (*touch)(BufferLine&);
    } cases[] = {
        {"a read", [](BufferLine& line) { (void)line[3]; }},
        {"a write", [](BufferLine& line) { line.setCell(3, CharData()); }},
        {"a clear", [](BufferLine& line) { line.clear(Attribute()); }},
        {"a second writer", [](BufferLine& line) { (void)line.cellsForWriting(0); }},
    };
    for (const auto& c : cases) {
        LineRef line = BufferLine::make(10);
        line->setCell(5, CharData(Attribute(), 'x', 1));
        line->clear(Attribute());
        (void)line->cellsForWriting(2);
        EXPECT_DEATH(c.touch(*line), "assertion failed") << c.name;
        line->noteCellsWritten(2, 0);
        EXPECT_EQ((*line)[5].code, 0) << "after the writer: " << c.name;
    }
}
#endif

// Writes after clears on either side of the old cells, through both writers, then a clear and
// a read: nothing written before the last clear shows, whichever cells the line counted blank.
TEST(BufferLineTest, WritesAroundOldCellsLeaveNothingAfterTheNextClear) {
    // 'w': mutableCells over from...to-1, 'n': cellsForWriting and noteCellsWritten, 'x': clear.
    struct Step {
        char kind;
        int from = 0, to = 0;
    };
    const struct {
        const char* name;
        int cols;
        std::vector<Step> steps;
    } cases[] = {
        {"left of a few old cells", 40, {{'w', 30, 31}, {'x'}, {'w', 5, 6}, {'x'}}},
        {"left of a few old cells, then right of them", 40, {{'w', 30, 31}, {'x'}, {'w', 5, 6}, {'w', 35, 36}, {'x'}}},
        {"left of many old cells, then into them", 40, {{'w', 10, 40}, {'x'}, {'w', 2, 3}, {'w', 20, 22}, {'x'}}},
        {"just left of many old cells, then into them", 40, {{'w', 10, 40}, {'x'}, {'w', 8, 10}, {'w', 20, 22}, {'x'}}},
        {"left of many old cells, then into them by the other writer", 40,
         {{'w', 10, 40}, {'x'}, {'w', 2, 3}, {'n', 20, 22}, {'x'}}},
        {"into the old cells, then left of them", 40, {{'w', 10, 30}, {'x'}, {'w', 15, 16}, {'w', 3, 4}, {'x'}}},
        {"past the old cells", 40, {{'w', 5, 6}, {'x'}, {'w', 30, 31}, {'x'}, {'w', 2, 3}, {'x'}}},
        {"twice cleared, unread", 40, {{'w', 12, 20}, {'x'}, {'x'}, {'w', 3, 4}, {'x'}}},
        {"a wide row, far right", 300, {{'w', 280, 281}, {'x'}, {'w', 290, 291}, {'x'}, {'w', 270, 271}, {'x'}}},
        {"a wide row, across the counted cells", 300, {{'w', 250, 262}, {'x'}, {'w', 100, 101}, {'x'}}},
    };
    for (const auto& c : cases) {
        LineRef line = BufferLine::make(c.cols), reference = BufferLine::make(c.cols);
        char next = 'a';
        for (const Step& step : c.steps) {
            for (BufferLine* target : {line.get(), reference.get()}) {
                if (step.kind == 'x') {
                    if (target == line.get()) target->clear(Attribute());
                    else target->fill(CharData::Null);
                    continue;
                }
                const int count = step.to - step.from;
                CharData* cells = step.kind == 'w' ? target->mutableCells(step.from, count)
                                                   : target->cellsForWriting(step.from) + step.from;
                for (int i = 0; i < count; ++i) cells[i] = cell(static_cast<char32_t>(next));
                if (step.kind == 'n') target->noteCellsWritten(step.from, count);
            }
            ++next;
        }
        EXPECT_EQ(line->getData(), reference->getData()) << c.name;
        EXPECT_EQ(text(*line), std::string(static_cast<size_t>(c.cols), '\0')) << c.name;
    }
}

// Lines of a ring that goes away are handed to the next one in address order, whatever order
// the ring held them in; a few freed lines come back as they are. In a process of its own: the
// allocation cache is shared, and lines other tests left there may already fill it.
TEST(LineAllocationDeathTest, ReleasedLinesComeBackInAddressOrder) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto check = [] {
        constexpr int cols = 777;
        std::vector<LineRef> lines;
        for (int i = 0; i < 300; ++i) lines.push_back(BufferLine::make(cols));
        std::vector<const BufferLine*> first;
        for (const LineRef& line : lines) first.push_back(line.get());
        std::mt19937 rng(3);
        std::shuffle(lines.begin(), lines.end(), rng);
        {
            CircularBufferLineList ring(300);
            for (LineRef& line : lines) ring.push(std::move(line));
        }
        lines.clear();
        std::vector<const BufferLine*> again;
        for (int i = 0; i < 300; ++i) lines.push_back(BufferLine::make(cols));
        for (const LineRef& line : lines) again.push_back(line.get());
        if (!std::is_sorted(again.begin(), again.end())) {
            std::fputs("not in address order\n", stderr);
            std::exit(1);
        }
        std::sort(first.begin(), first.end());
        if (again != first) {
            std::fputs("not the lines the ring let go\n", stderr);
            std::exit(1);
        }
        const BufferLine* last = lines.back().get();
        lines.pop_back();
        if (BufferLine::make(cols).get() != last) {
            std::fputs("a freed line is not the next one made\n", stderr);
            std::exit(1);
        }
        std::exit(0);
    };
    EXPECT_EXIT(check(), ::testing::ExitedWithCode(0), "");
}
