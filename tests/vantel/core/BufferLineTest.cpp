#include <gtest/gtest.h>

#include <random>

#include "vantel/core/Buffer.h"
#include "vantel/core/BufferLine.h"

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
    testing::internal::CaptureStdout();
    line->setCell(80, cell('q'));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ((*line)[79].code, 'q');
    EXPECT_EQ((*line)[200].code, 'q') << "reads past the end read the last cell";
    EXPECT_EQ(out, "BufferLine: You passed an index out of range, adjusting to prevent crash, but you should debug\n");
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

TEST(BufferLineTest, StaysCompact) {
    // A scroll-back line costs its cells plus a small header and one ring slot.
    EXPECT_LE(sizeof(BufferLine) + sizeof(LineRef), 64u);
}

// A clear only rewrites the cells written since the last clear; any edit that forgets
// to say what it wrote would leave stale cells behind. Random edits against a plain model.
TEST(BufferLineTest, ClearAfterAnyEditLeavesOnlyBlanks) {
    std::mt19937 rng(7);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    Attribute red;
    red.bg = Attribute::Color::ansi256(1);
    const CharData redBlank(0, 1, TinyAtom(), 0, red);
    for (int round = 0; round < 300; ++round) {
        LineRef line = BufferLine::make(1 + pick(30));
        LineRef other = BufferLine::make(1 + pick(30));
        other->fill(cell('o'));
        for (int step = 0; step < 6; ++step) {
            const int n = line->count();
            switch (pick(9)) {
            case 0: line->setCell(pick(n), cell('a' + pick(26))); break;
            case 1: line->fill(cell('f'), pick(n), pick(n)); break;
            case 2: line->insertCells(pick(n), pick(4), pick(n), cell('i')); break;
            case 3: line->deleteCells(pick(n), pick(4), pick(n), CharData::Null); break;
            case 4: line->copyFrom(*other, pick(other->count()), pick(n), pick(8)); break;
            case 5: line->resize(1 + pick(40), pick(2) ? CharData::Null : cell('w')); break;
            case 6: line->clear(pick(2) ? Attribute() : red); break;
            case 7: {
                const int from = pick(n);
                const int count = 1 + pick(n - from);
                CharData* cells = line->mutableCells(from, count);
                for (int i = 0; i < count; ++i) cells[i] = cell('m');
                break;
            }
            default: line->replaceCells(pick(n), pick(n + 1), pick(2) ? CharData::Null : redBlank); break;
            }
        }
        line->clear(Attribute());
        for (int col = 0; col < line->count(); ++col) ASSERT_EQ((*line)[col], CharData::Null) << "round " << round;
    }
}
