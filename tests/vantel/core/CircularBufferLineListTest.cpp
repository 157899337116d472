#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "vantel/core/CircularBufferLineList.h"

using namespace vantel;

namespace {

struct Ring {
    CircularBufferLineList list;
    std::vector<bool> pushed, recycled;
    int made = 0, attached = 0;

    explicit Ring(int capacity) : list(capacity) {
        list.makeEmpty = [this](int) {
            ++made;
            return BufferLine::make(1);
        };
        list.onLinePushed = [this](bool images) { pushed.push_back(images); };
        list.onLineRecycled = [this](bool images) { recycled.push_back(images); };
        list.onLineAttached = [this](BufferLine&) { ++attached; };
    }
};

LineRef named(char c, bool images = false) {
    LineRef line = BufferLine::make(1);
    line->setCell(0, CharData(Attribute(), c, 1));
    if (images) line->setImages(TerminalImageList{});
    return line;
}

std::string contents(CircularBufferLineList& list) {
    std::string out;
    for (int i = 0; i < list.count(); ++i) {
        int code = list[i][0].code;
        out += code ? static_cast<char>(code) : '.';
    }
    return out;
}

}  // namespace

TEST(CircularBufferLineListTest, PushOntoFullRingDropsOldest) {
    Ring ring(3);
    for (char c : {'A', 'B', 'C'}) ring.list.push(named(c));
    ring.list.push(named('D', true));
    EXPECT_EQ(contents(ring.list), "BCD");
    EXPECT_EQ(ring.list.count(), 3);
    EXPECT_EQ(ring.pushed.back(), true);
    EXPECT_EQ(ring.attached, 4);
}

TEST(CircularBufferLineListTest, RecycleReusesTheOldestLineInPlace) {
    Ring ring(3);
    LineRef a = named('A', true);
    a->setWrapped(true);
    a->setSemanticMark(SemanticPromptKind::initial, 0, 1);
    ring.list.push(a);
    ring.list.push(named('B'));
    ring.list.push(named('C'));
    uint64_t g = a->generation();
    ring.list.recycle(Attribute());
    EXPECT_EQ(contents(ring.list), "BC.");
    EXPECT_EQ(&ring.list[2], a.get());
    EXPECT_FALSE(a->isWrapped());
    EXPECT_FALSE(a->hasImages());
    EXPECT_TRUE(a->semanticMarks().empty());
    EXPECT_EQ(a->recycleGeneration(), 1u);
    EXPECT_GT(a->generation(), g);
    ASSERT_EQ(ring.recycled.size(), 1u);
    EXPECT_TRUE(ring.recycled[0]);
    EXPECT_EQ(ring.attached, 3) << "recycling attaches nothing";
}

TEST(CircularBufferLineListTest, RaisingCapacityRelinearises) {
    Ring ring(3);
    for (char c : {'A', 'B', 'C', 'D', 'E'}) ring.list.push(named(c));  // start index is now 2
    ring.list.setMaxLength(5);
    EXPECT_EQ(ring.list.count(), 3);
    EXPECT_EQ(contents(ring.list), "CDE");
    ring.list.push(named('F'));
    ring.list.push(named('G'));
    EXPECT_EQ(contents(ring.list), "CDEFG");
}

TEST(CircularBufferLineListTest, ShiftElementsRefusesTargetsAtOrBelowLineZero) {
    Ring ring(5);
    for (char c : {'A', 'B', 'C', 'D', 'E'}) ring.list.push(named(c));
    const uint64_t before = inconsistencies(Inconsistency::ringShiftRefused);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(ring.list.shiftElements(1, 2, -1));
    EXPECT_FALSE(ring.list.shiftElements(0, -1, 1));
    EXPECT_FALSE(ring.list.shiftElements(5, 1, 1));
    EXPECT_FALSE(ring.list.shiftElements(-1, 1, 2));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(inconsistencies(Inconsistency::ringShiftRefused), before + 4);
    EXPECT_EQ(out, "") << "counted, not printed";
    EXPECT_EQ(contents(ring.list), "ABCDE");
    EXPECT_TRUE(ring.list.shiftElements(2, 2, -1));
    // Lines move: the vacated slot is empty until the caller fills it (a read makes a blank).
    EXPECT_EQ(contents(ring.list), "ACD.E");

    Ring growing(4);
    for (char c : {'A', 'B', 'C'}) growing.list.push(named(c));
    EXPECT_TRUE(growing.list.shiftElements(1, 2, 2));
    EXPECT_EQ(contents(growing.list), "..BC") << "shifting forward grows the ring and drops the oldest";
}

TEST(CircularBufferLineListTest, SpliceInsertsAndDrops) {
    Ring ring(4);
    for (char c : {'A', 'B', 'C', 'D'}) ring.list.push(named(c));
    std::vector<int> changed;
    ring.list.splice(1, 1, {named('X'), named('Y')}, [&](int i) { changed.push_back(i); });
    EXPECT_EQ(ring.list.count(), 4) << "inserting past the capacity drops the oldest";
    EXPECT_EQ(contents(ring.list), "XYCD");
    EXPECT_FALSE(changed.empty());

    Ring small(5);
    for (char c : {'A', 'B', 'C'}) small.list.push(named(c));
    small.list.splice(1, 0, {named('X')}, {});
    EXPECT_EQ(contents(small.list), "AXBC");
}

TEST(CircularBufferLineListTest, TrimStartAndPop) {
    Ring ring(5);
    for (char c : {'A', 'B', 'C', 'D'}) ring.list.push(named(c));
    ring.list.trimStart(2);
    EXPECT_EQ(contents(ring.list), "CD");
    ring.list.pop();
    EXPECT_EQ(contents(ring.list), "C");
    ring.list.trimStart(9);
    EXPECT_EQ(ring.list.count(), 0);
}


// Moves across the seam of the slots, for every place the ring can start: the same order as
// moving an element of a plain array, and every line object still held exactly once.
TEST(CircularBufferLineListTest, MoveLineKeepsOrderAcrossTheSeam) {
    const struct {
        int from, to;
    } moves[] = {{0, 6}, {6, 0}, {1, 5}, {5, 1}, {2, 3}, {3, 2}, {4, 4}, {0, 1}, {6, 5}, {-1, 2}, {2, 7}};
    for (int start = 0; start < 7; ++start) {
        for (const auto& m : moves) {
            Ring ring(7);
            for (int i = 0; i < 7 + start; ++i) ring.list.push(named(static_cast<char>('A' + i)));
            std::string expected = contents(ring.list);
            std::vector<LineRef> held;
            for (int i = 0; i < 7; ++i) held.push_back(ring.list.ref(i));
            ring.list.moveLine(m.from, m.to);
            if (m.from >= 0 && m.to < 7) {
                const char moved = expected[static_cast<size_t>(m.from)];
                expected.erase(static_cast<size_t>(m.from), 1);
                expected.insert(static_cast<size_t>(m.to), 1, moved);
            }
            EXPECT_EQ(contents(ring.list), expected) << "start " << start << ", " << m.from << " to " << m.to;
            for (int i = 0; i < 7; ++i) {
                EXPECT_EQ(std::count(held.begin(), held.end(), ring.list.ref(i)), 1) << "start " << start;
            }
        }
    }
}
