#include <gtest/gtest.h>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::RecordingDelegate;
using vantel::testing::TestTerminalOf;

namespace {

using Kind = WindowManipulationCommand::Kind;

// Records window commands and answers them as configured.
struct WindowDelegate : RecordingDelegate {
    std::optional<std::vector<uint8_t>> answer;
    std::optional<std::pair<int, int>> cellSize;
    std::vector<WindowManipulationCommand> commands;

    std::optional<std::vector<uint8_t>> windowCommand(Terminal&, const WindowManipulationCommand& command) override {
        commands.push_back(command);
        return answer;
    }
    std::optional<std::pair<int, int>> cellSizeInPixels(Terminal&) override { return cellSize; }
};

using WindowTerminal = TestTerminalOf<WindowDelegate>;

}  // namespace

TEST(TerminalWindowTest, RequestsGoToTheHost) {
    using Command = WindowManipulationCommand;
    const std::pair<const char*, std::vector<Command>> cases[] = {
        {"\x1b[1t", {Command{Kind::deiconifyWindow}}},
        {"\x1b[3;10;20t", {Command{Kind::moveWindowTo, 10, 20}}},
        {"\x1b[4;300;500t", {Command{Kind::resizeWindowTo, 500, 300}}},
        {"\x1b[8;24;100t", {Command{Kind::resizeTerminal, 100, 24}}},
        {"\x1b[9;1t", {Command{Kind::maximizeWindow}}},
        {"\x1b[10;0t", {Command{Kind::undoFullScreen}}},
        {"\x1b[3;10t\x1b[9;4t\x1b[22t", {}},
    };
    for (const auto& [input, commands] : cases) {
        WindowTerminal t;
        t.delegate.answer = std::vector<uint8_t>{'x'};
        t.feed(input);
        EXPECT_EQ(t.delegate.commands, commands) << ::testing::PrintToString(std::string(input));
        // Whatever the host answers to an action is not sent on.
        EXPECT_EQ(t.delegate.replies(), "");
    }
}

TEST(TerminalWindowTest, SizeReportsAskTheHostFirst) {
    WindowTerminal t;
    t.delegate.cellSize = std::make_pair(9, 18);
    t.feed("\x1b[14t\x1b[15t\x1b[16t");
    // Host-sized cells are not trusted to keep the products small.
    t.delegate.cellSize = std::make_pair(2000000000, 2000000000);
    t.feed("\x1b[14;2t");
    EXPECT_EQ(t.delegate.replies(), "\x1b[4;450;720t\x1b[5;450;720t\x1b[6;18;9t\x1b[4;50000000000;160000000000t");
    EXPECT_EQ(t.delegate.commands.size(), 4u);
    t.delegate.clear();
    t.delegate.answer = std::vector<uint8_t>{'o', 'k'};
    t.feed("\x1b[18t");
    EXPECT_EQ(t.delegate.replies(), "ok");
    // An empty answer declines: no reply at all, not even the engine's own.
    t.delegate.clear();
    t.delegate.answer = std::vector<uint8_t>{};
    t.feed("\x1b[14t\x1b[16t");
    EXPECT_EQ(t.delegate.replies(), "");
}

TEST(TerminalWindowTest, TitleStack) {
    WindowTerminal t;
    t.feed("\x1b]2;one\x07\x1b]1;i1\x07\x1b[22;0t\x1b]2;two\x07\x1b]1;i2\x07");
    t.delegate.clear();
    t.feed("\x1b[23;0t");
    EXPECT_EQ(t->terminalTitle, "one");
    EXPECT_EQ(t->iconTitle, "i1");
    EXPECT_EQ(t.delegate.events, (std::vector<std::string>{"title:one", "icon:i1"}));

    // Empty stacks: nothing happens.
    t.delegate.clear();
    t.feed("\x1b[23;2t\x1b[23;1t\x1b[23;0;0t");
    EXPECT_TRUE(t.delegate.events.empty());

    // Window and icon titles have stacks of their own.
    t.feed("\x1b[22;2t\x1b]2;three\x07\x1b[22;1t\x1b]1;i3\x07\x1b[23;1t");
    EXPECT_EQ(t->iconTitle, "i1");
    EXPECT_EQ(t->terminalTitle, "three");
    t.feed("\x1b[23;2t");
    EXPECT_EQ(t->terminalTitle, "one");
}

TEST(TerminalWindowTest, TitleStackKeepsTheNewestTen) {
    WindowTerminal t;
    for (int i = 0; i < 1001; ++i) t.feed("\x1b]2;t" + std::to_string(i) + "\x07\x1b[22;0;0t");
    EXPECT_EQ(t->terminalTitleStack.size(), Terminal::maximumTitleStackDepth);
    EXPECT_EQ(t->terminalIconStack.size(), Terminal::maximumTitleStackDepth);
    EXPECT_EQ(t->terminalTitleStack.front(), "t991");
    for (int i = 0; i < 12; ++i) t.feed("\x1b[23;2t");
    EXPECT_EQ(t->terminalTitle, "t991");
    EXPECT_TRUE(t->terminalTitleStack.empty());
}

