#include <gtest/gtest.h>

#include "vantel/core/Buffer.h"
#include "vantel/core/CellWriter.h"

using namespace vantel;

namespace {

std::unique_ptr<Buffer> makeBuffer(int cols = 80, int rows = 25, std::optional<int> scrollback = 100) {
    return std::make_unique<Buffer>(cols, rows, 8, scrollback, BidiPresentationState());
}

void pushLines(Buffer& buffer, int n) {
    for (int i = 0; i < n; ++i) buffer.lines().push(buffer.getBlankLine(Attribute()));
}

}  // namespace

TEST(BufferTest, TabStopScans) {
    auto buffer = makeBuffer();
    struct Case {
        bool next, marginMode;
        int index, expected;
    } cases[] = {
        {true, false, 79, 79}, {true, false, 0, 8}, {true, false, 72, 79}, {false, false, 0, 0},
        {false, false, 9, 8},  {false, false, 8, 0}, {false, false, 200, 72},
    };
    for (const auto& c : cases) {
        int got = c.next ? buffer->nextTabStop(c.marginMode, c.index) : buffer->previousTabStop(c.index);
        EXPECT_EQ(got, c.expected) << (c.next ? "next " : "previous ") << c.index;
    }
    buffer->marginRight = 20;
    EXPECT_EQ(buffer->nextTabStop(true, 16), 20);
    buffer->tabClear(8);
    buffer->tabSet(3);
    buffer->tabSet(500);  // ignored
    EXPECT_EQ(buffer->nextTabStop(false, 0), 3);
    EXPECT_EQ(buffer->nextTabStop(false, 3), 16);
    buffer->setX(10);
    EXPECT_EQ(buffer->previousTabStop(), 3);
}

TEST(BufferTest, NegativeCursorAndRegionWritesAreIgnored) {
    auto buffer = makeBuffer();
    for (int value : {5, -1}) {
        buffer->setX(value);
        buffer->setY(value);
        buffer->setYDisp(value);
        buffer->setScrollTop(value);
        buffer->setScrollBottom(value);
    }
    for (int value : {buffer->x(), buffer->y(), buffer->yDisp(), buffer->scrollTop(), buffer->scrollBottom()}) {
        EXPECT_EQ(value, 5);
    }
}

TEST(BufferTest, DroppingAllHistoryKeepsTheScreen) {
    auto buffer = makeBuffer(80, 25, 200);
    pushLines(*buffer, 125);
    buffer->setYBase(100);
    buffer->setYDisp(100);
    buffer->savedY = 5;
    buffer->lines()[100].setCell(0, CharData(Attribute(), 'T', 1));
    buffer->changeHistorySize(std::nullopt);
    EXPECT_EQ(buffer->yBase(), 0);
    EXPECT_EQ(buffer->yDisp(), 0);
    EXPECT_EQ(buffer->lines().maxLength(), 25);
    EXPECT_EQ(buffer->lines().count(), 25);
    EXPECT_EQ(buffer->lines()[0][0].code, 'T');
    EXPECT_EQ(buffer->savedY, 5);
    EXPECT_FALSE(buffer->hasScrollback());
}

TEST(BufferTest, ClearScrollbackWhileScrolledBack) {
    auto buffer = makeBuffer(80, 25, 200);
    pushLines(*buffer, 60);
    buffer->setYBase(35);
    buffer->setYDisp(10);
    buffer->lines()[35].setCell(0, CharData(Attribute(), 'T', 1));
    buffer->clearScrollback();
    EXPECT_EQ(buffer->yBase(), 0);
    EXPECT_EQ(buffer->yDisp(), 0);
    EXPECT_EQ(buffer->lines().count(), 25);
    EXPECT_EQ(buffer->lines()[0][0].code, 'T');
}

TEST(BufferTest, ImageCountFollowsPushAndRecycle) {
    auto buffer = makeBuffer(4, 2, 1);  // capacity 3
    LineRef withImage = buffer->getBlankLine(Attribute());
    withImage->setImages(TerminalImageList{});
    buffer->lines().push(withImage);
    EXPECT_TRUE(buffer->hasAnyImages());
    pushLines(*buffer, 2);
    buffer->lines().recycle(Attribute());
    EXPECT_FALSE(buffer->hasAnyImages());
    LineRef again = buffer->getBlankLine(Attribute());
    again->setImages(TerminalImageList{});
    buffer->lines().push(again);
    EXPECT_EQ(buffer->linesWithImagesCount(), 1);
    buffer->clearImagesFromLine(2);
    EXPECT_FALSE(buffer->hasAnyImages());
    EXPECT_FALSE(again->hasImages());
}

TEST(BufferTest, GetCharOutsideTheLineIsNull) {
    auto buffer = makeBuffer(10, 3);
    buffer->fillViewportRows();
    buffer->lines()[1].setCell(2, CharData(Attribute(), 'z', 1));
    EXPECT_EQ(buffer->getCharAtBufferRelative({2, 1}).code, 'z');
    EXPECT_EQ(buffer->getCharAtBufferRelative({10, 1}), CharData::Null);
    EXPECT_EQ(buffer->getCharAtBufferRelative({-1, 1}), CharData::Null);
    EXPECT_EQ(buffer->getChar({2, 1}).code, 'z');
}

TEST(BufferTest, FindRowSearchesOutwardFromTheHint) {
    auto buffer = makeBuffer(4, 6);
    buffer->fillViewportRows();
    BufferLine* target = &buffer->lines()[1];
    std::vector<int> visited;
    auto found = buffer->findRow(3, [&](const BufferLine& line) {
        for (int i = 0; i < buffer->lines().count(); ++i) {
            if (&buffer->lines()[i] == &line) visited.push_back(i);
        }
        return &line == target;
    });
    EXPECT_EQ(found, 1);
    EXPECT_EQ(visited, (std::vector<int>{3, 4, 2, 5, 1}));
    EXPECT_FALSE(buffer->findRow(99, [](const BufferLine&) { return false; }).has_value());
}

// Every length, through each of the writer's shapes (pairs, overlapping pairs, odd tails):
// exactly the cells asked for, each the template with its byte as code.
TEST(BufferTest, CellWriterWritesExactlyTheCellsAskedFor) {
    Attribute red;
    red.fg = Attribute::Color::trueColor(200, 10, 20);
    red.style = CharacterStyle(CharacterStyle::bold);
    const CharData templateCell(0, 1, TinyAtom(7), 5, red);
    const CharData sentinel(Attribute(), '#', 2);
    const CellWriter writer(templateCell);
    for (int n = 0; n <= 40; ++n) {
        std::vector<CharData> cells(static_cast<size_t>(n) + 2, sentinel);
        std::vector<uint8_t> bytes(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) bytes[static_cast<size_t>(i)] = static_cast<uint8_t>('A' + (i * 7) % 26);
        writer.write(cells.data() + 1, bytes.data(), n);
        EXPECT_EQ(cells.front(), sentinel) << n;
        EXPECT_EQ(cells.back(), sentinel) << n;
        for (int i = 0; i < n; ++i) {
            CharData expected = templateCell;
            expected.code = bytes[static_cast<size_t>(i)];
            ASSERT_EQ(cells[static_cast<size_t>(i) + 1], expected) << "length " << n << " cell " << i;
        }
    }
    // Any code and width, for characters outside ASCII.
    for (const auto& [code, width] : std::vector<std::pair<int32_t, int8_t>>{{0x4E2D, 2}, {0x400123, 1}, {0, 0}}) {
        CharData cells[3] = {sentinel, sentinel, sentinel};
        writer.writeOne(cells + 1, code, width);
        CharData expected = templateCell;
        expected.code = code;
        expected.width = width;
        EXPECT_EQ(cells[1], expected) << code;
        EXPECT_EQ(cells[0], sentinel);
        EXPECT_EQ(cells[2], sentinel);
    }
}
