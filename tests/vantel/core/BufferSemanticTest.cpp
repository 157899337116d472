#include <gtest/gtest.h>

#include <climits>

#include "vantel/core/Buffer.h"

using namespace vantel;
using K = SemanticPromptKind;

namespace {

// 10 x 3 with two lines of scroll-back: the ring holds five lines.
struct SmallBuffer {
    SmallBuffer() : buffer(10, 3, 8, 2, {}) { buffer.fillViewportRows(); }
    void pushLine() {
        buffer.lines().push(buffer.getBlankLine(Attribute::defaultAttribute));
        if (buffer.lines().count() > buffer.rows()) buffer.setYBase(buffer.lines().count() - buffer.rows());
    }
    BufferLine& line(int row) { return buffer.lines()[row]; }
    Buffer buffer;
};

}  // namespace

TEST(BufferSemanticTest, GroupIdsSkipZeroWhenTheyWrap) {
    SmallBuffer s;
    s.buffer.semanticGroupCounter = UINT64_MAX;
    s.buffer.beginSemanticPromptGroup(0);
    EXPECT_EQ(s.buffer.activeSemanticGroupID, 1u);
    s.buffer.beginSemanticPromptGroup(1);
    EXPECT_EQ(s.buffer.activeSemanticGroupID, 2u);
    s.buffer.beginSemanticPromptGroup(3);  // outside the ring: nothing changes
    s.buffer.beginSemanticPromptGroup(-1);
    EXPECT_EQ(s.buffer.semanticGroupCounter, 2u);
    EXPECT_EQ(s.buffer.semanticPromptStartRow(), std::nullopt) << "a start line needs an opening mark";
    s.buffer.beginSemanticPromptGroup(1);
    s.buffer.setSemanticMark(K::initial, 1, 0);
    EXPECT_EQ(s.buffer.semanticPromptStartRow(), 1);
}

TEST(BufferSemanticTest, MarksAreClampedOnePerKindAndSorted) {
    SmallBuffer s;
    s.buffer.beginSemanticPromptGroup(0);
    s.buffer.setSemanticMark(K::right, 0, 200);
    s.buffer.setSemanticMark(K::initial, 0, 4);
    s.buffer.setSemanticMark(K::secondary, 0, -3);
    s.buffer.setSemanticMark(K::initial, 0, 6);
    s.buffer.setSemanticMark(K::initial, 7, 1);  // no such row
    EXPECT_EQ(s.line(0).semanticMarks(), (std::vector<SemanticMark>{{K::secondary, 0, 1}, {K::initial, 6, 1}, {K::right, 9, 1}}));
    EXPECT_EQ(s.buffer.semanticPromptMarks(0),
              (std::vector<SemanticPromptAnchor>{{{0, 0}, K::secondary}, {{6, 0}, K::initial}, {{9, 0}, K::right}}));
    EXPECT_TRUE(s.buffer.semanticPromptMarks(5).empty());
    EXPECT_EQ(s.buffer.activeSemanticPromptOrigin(), (Position{6, 0})) << "the initial mark is the origin";
}

TEST(BufferSemanticTest, StartRowFollowsItsLineAndRebindsWhenItLeaves) {
    SmallBuffer s;
    s.pushLine();
    s.pushLine();  // the ring is full: rows 0-4, screen rows 2-4
    s.buffer.setY(2);
    s.buffer.beginSemanticPromptGroup(1);
    s.buffer.setSemanticMark(K::initial, 1, 0);
    s.buffer.setSemanticMark(K::secondary, 3, 2);
    EXPECT_EQ(s.buffer.semanticPromptStartRow(), 1);
    EXPECT_EQ(s.buffer.semanticPromptRowScanCount, 0);

    s.pushLine();  // everything moves up one row
    EXPECT_EQ(s.buffer.semanticPromptStartRow(), 0);
    EXPECT_EQ(s.buffer.semanticPromptRowScanCount, 1);
    EXPECT_EQ(s.buffer.semanticPromptStartRow(), 0) << "found again through the cache";
    EXPECT_EQ(s.buffer.semanticPromptRowScanCount, 1);

    s.pushLine();  // the start line leaves the ring; the secondary prompt of the group is on row 1
    EXPECT_EQ(s.buffer.semanticPromptStartRow(), 1);
    EXPECT_EQ(s.buffer.activeSemanticPromptOrigin(), (Position{2, 1}));

    s.pushLine();
    s.pushLine();
    EXPECT_EQ(s.buffer.semanticPromptStartRow(), std::nullopt);
    EXPECT_EQ(s.buffer.semanticPromptStartLine, nullptr);
}

TEST(BufferSemanticTest, RebindingIgnoresMarksOfOtherGroups) {
    SmallBuffer s;
    s.buffer.beginSemanticPromptGroup(0);
    s.buffer.setSemanticMark(K::initial, 0, 0);
    s.buffer.beginSemanticPromptGroup(2);
    s.buffer.setSemanticMark(K::initial, 2, 0);
    s.line(2).destroySemanticState();
    EXPECT_EQ(s.buffer.semanticPromptStartRow(), std::nullopt) << "row 0 opens an older group";
}

TEST(BufferSemanticTest, ReuseOnlyOnTheStartLineWhilePrompting) {
    SmallBuffer s;
    s.buffer.beginSemanticPromptGroup(1);
    s.buffer.setSemanticMark(K::initial, 1, 0);
    EXPECT_FALSE(s.buffer.canReuseSemanticGroup(1)) << "idle";
    for (auto state : {SemanticInputState::prompt, SemanticInputState::armed}) {
        s.buffer.semanticInput = state;
        EXPECT_TRUE(s.buffer.canReuseSemanticGroup(1));
        EXPECT_FALSE(s.buffer.canReuseSemanticGroup(2));
        EXPECT_FALSE(s.buffer.canReuseSemanticGroup(9));
    }
    s.buffer.semanticInput = SemanticInputState::submitted;
    EXPECT_FALSE(s.buffer.canReuseSemanticGroup(1));
}

TEST(BufferSemanticTest, RowKinds) {
    // Rows: 0 prompt of group 1; 1 soft-wrapped from it; 2 hard continuation of group 1;
    // 3 hard continuation of another group; 4 plain output.
    SmallBuffer s;
    s.pushLine();
    s.pushLine();
    s.buffer.beginSemanticPromptGroup(0);
    s.buffer.setSemanticMark(K::initial, 0, 0);
    s.line(1).setWrapped(true);
    s.line(2).setSemanticHardContinuationGroup(1);
    s.line(3).setSemanticHardContinuationGroup(7);
    struct Case {
        int row;
        std::optional<K> kind;
        bool continuesHard;
    } cases[] = {
        {0, K::initial, false},      {1, K::continuation, false}, {2, K::continuation, true},
        {3, std::nullopt, false},    {4, std::nullopt, false},    {5, std::nullopt, false},
        {-1, std::nullopt, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(s.buffer.semanticRowKind(c.row), c.kind) << "row " << c.row;
        EXPECT_EQ(s.buffer.rowContinuesActiveGroupHard(c.row), c.continuesHard) << "row " << c.row;
    }
    s.line(4).setSemanticMark(K::continuation, 0, 9);
    EXPECT_EQ(s.buffer.semanticRowKind(4), K::continuation) << "a continuation mark of any group joins";
}

TEST(BufferSemanticTest, RelativeOriginIsTheLastSecondaryPromptBeforeThePosition) {
    SmallBuffer s;
    s.pushLine();
    s.buffer.beginSemanticPromptGroup(0);
    s.buffer.setSemanticMark(K::initial, 0, 2);
    s.buffer.setSemanticMark(K::secondary, 2, 4);
    struct Case {
        Position position;
        std::optional<Position> origin;
    } cases[] = {
        {{0, 1}, Position{2, 0}}, {{3, 2}, Position{2, 0}}, {{4, 2}, Position{4, 2}},
        {{0, 3}, Position{4, 2}}, {{0, 9}, Position{4, 2}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(s.buffer.semanticPromptRelativeOrigin(c.position), c.origin) << c.position.debugDescription();
    }
    s.buffer.beginSemanticPromptGroup(1);
    s.buffer.setSemanticMark(K::initial, 1, 0);
    EXPECT_EQ(s.buffer.semanticPromptRelativeOrigin({0, 0}), std::nullopt) << "above the origin";
    EXPECT_EQ(s.buffer.semanticPromptRelativeOrigin({5, 2}), (Position{0, 1})) << "secondary of an older group";
}

