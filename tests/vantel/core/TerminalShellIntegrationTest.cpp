#include <gtest/gtest.h>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::TestTerminal;
using Location = Terminal::LinkLookupLocation;
using Mode = Terminal::LinkLookupMode;

// Shell integration and links over what the child printed, end to end through the parser.

namespace {

// These tests need the print path and the control characters.
bool canPrint() {
    TestTerminal probe;
    probe.feed("x\r\ny");
    return probe.row(0) == "x" && probe.row(1) == "y";
}

#define REQUIRE_PRINT_PATH() \
    if (!canPrint()) GTEST_SKIP() << "printing is not on this branch"

std::vector<uint8_t> classes(TestTerminal& t, int row, int count) {
    std::vector<uint8_t> out;
    for (int col = 0; col < count; ++col) out.push_back(t->buffer().lines()[row][col].semanticContentCode);
    return out;
}

}  // namespace

TEST(TerminalShellIntegrationTest, PrintedCellsCarryPromptInputAndOutputClasses) {
    REQUIRE_PRINT_PATH();
    TestTerminal t;
    t.feed("\x1b]133;A\x07$ \x1b]133;B\x07ls\x1b]133;C\x07\r\nout");
    EXPECT_EQ(t.row(0), "$ ls");
    EXPECT_EQ(classes(t, 0, 5), (std::vector<uint8_t>{1, 1, 5, 5, 0}));
    EXPECT_EQ(classes(t, 1, 4), (std::vector<uint8_t>{6, 6, 6, 0}));
}

TEST(TerminalShellIntegrationTest, FreshLineBeforeAPromptAfterOutputWithoutNewline) {
    REQUIRE_PRINT_PATH();
    TestTerminal t;
    t.feed("partial\x1b]133;A\x07$ ");
    EXPECT_EQ(t.row(0), "partial");
    EXPECT_EQ(t.row(1), "$ ");
    EXPECT_EQ(t->semanticPromptMarks(1), (std::vector<SemanticPromptAnchor>{{{0, 1}, SemanticPromptKind::initial}}));
    t.feed("\x1b]133;L\x07");
    EXPECT_EQ(t.cursor(), (std::pair<int, int>{0, 2}));
}

TEST(TerminalShellIntegrationTest, MultiLineInputAndClickAcrossLines) {
    REQUIRE_PRINT_PATH();
    TestTerminal t;
    t.feed("\x1b]133;A;cl=v\x07$ \x1b]133;B\x07" "echo \\\r\n\x1b]133;A;k=c\x07> \x1b]133;B\x07" "abc");
    EXPECT_EQ(t->buffer().lines()[1].semanticHardContinuationGroup(), t->buffer().activeSemanticGroupID);
    EXPECT_EQ(t->semanticRowKind(1), SemanticPromptKind::continuation);
    EXPECT_TRUE(t->handleSemanticPromptClick({4, 0}, {}));
    EXPECT_EQ(t.delegate.replies(), "\x1b[D\x1b[D\x1b[D\x1b[A\x1b[C\x1b[C");
    t.delegate.clear();
    t->buffer().setX(2);
    t->buffer().setY(0);
    EXPECT_TRUE(t->handleSemanticPromptClick({5, 0}, {}));
    EXPECT_EQ(t.delegate.replies(), "\x1b[C\x1b[C\x1b[C");
}

TEST(TerminalShellIntegrationTest, HyperlinkPrintedUnderOsc8) {
    REQUIRE_PRINT_PATH();
    TestTerminal t;
    t.feed("see \x1b]8;id=1;http://example.com/a;b\x1b\\this link\x1b]8;;\x1b\\ now");
    const Terminal::LinkMatch expected{"http://example.com/a;b", 0, {4, 13}, true, {{0, {4, 13}}}};
    for (int col : {4, 8, 12}) EXPECT_EQ(t->linkMatch(Location::buffer({col, 0}), Mode::explicitOnly), expected);
    EXPECT_EQ(t->link(Location::screen({13, 0}), Mode::explicitAndImplicit), std::nullopt);
    EXPECT_EQ(t->link(Location::screen({3, 0}), Mode::explicitAndImplicit), std::nullopt);
}

TEST(TerminalShellIntegrationTest, UrlPrintedAcrossTheRightEdge) {
    REQUIRE_PRINT_PATH();
    TestTerminal t(20, 5);
    t.feed("go https://example.com/path x");
    const std::vector<Terminal::LinkMatch::RowRange> rows{{0, {3, 20}}, {1, {0, 7}}};
    const Terminal::LinkMatch fromUpper{"https://example.com/path", 0, {3, 20}, false, rows};
    const Terminal::LinkMatch fromLower{"https://example.com/path", 1, {0, 7}, false, rows};
    EXPECT_EQ(t->linkMatch(Location::screen({10, 0}), Mode::explicitAndImplicit), fromUpper);
    EXPECT_EQ(t->linkMatch(Location::screen({2, 1}), Mode::explicitAndImplicit), fromLower);
}

TEST(TerminalShellIntegrationTest, UrlBrokenByTheProgramJoinsOnlyNearTheEdge) {
    REQUIRE_PRINT_PATH();
    struct Case {
        int column;
        bool joined;
    } cases[] = {{70, true}, {60, false}};
    for (const auto& c : cases) {
        TestTerminal t;
        // The first part ends at `column`; the program breaks the line itself.
        const std::string head = "https://example.org/a/";
        t.feed("\x1b[1;" + std::to_string(c.column - static_cast<int>(head.size()) + 2) + "H" + head +
               "\r\nb/c.txt more");
        auto link = t->link(Location::screen({c.column, 0}), Mode::explicitAndImplicit);
        EXPECT_EQ(link, c.joined ? "https://example.org/a/b/c.txt" : "https://example.org/a/") << c.column;
    }
}
