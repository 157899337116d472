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
    struct Case {
        const char* input;
        std::optional<WindowManipulationCommand> command;
    } cases[] = {
        {"\x1b[1t", WindowManipulationCommand{Kind::deiconifyWindow}},
        {"\x1b[2t", WindowManipulationCommand{Kind::iconifyWindow}},
        {"\x1b[3;10;20t", WindowManipulationCommand{Kind::moveWindowTo, 10, 20}},
        {"\x1b[4;300;500t", WindowManipulationCommand{Kind::resizeWindowTo, 500, 300}},
        {"\x1b[5t", WindowManipulationCommand{Kind::bringToFront}},
        {"\x1b[6t", WindowManipulationCommand{Kind::sendToBack}},
        {"\x1b[7t", WindowManipulationCommand{Kind::refreshWindow}},
        {"\x1b[8;24;100t", WindowManipulationCommand{Kind::resizeTerminal, 100, 24}},
        {"\x1b[9;0t", WindowManipulationCommand{Kind::restoreMaximizedWindow}},
        {"\x1b[9;1t", WindowManipulationCommand{Kind::maximizeWindow}},
        {"\x1b[9;2t", WindowManipulationCommand{Kind::maximizeWindowVertically}},
        {"\x1b[9;3t", WindowManipulationCommand{Kind::maximizeWindowHorizontally}},
        {"\x1b[10;0t", WindowManipulationCommand{Kind::undoFullScreen}},
        {"\x1b[10;1t", WindowManipulationCommand{Kind::switchToFullScreen}},
        {"\x1b[10;2t", WindowManipulationCommand{Kind::toggleFullScreen}},
        {"\x1b[3;10t", std::nullopt},
        {"\x1b[1;1t", std::nullopt},
        {"\x1b[9;4t", std::nullopt},
        {"\x1b[11t", std::nullopt},
        {"\x1b[22t", std::nullopt},
    };
    for (const auto& c : cases) {
        WindowTerminal t;
        t.delegate.answer = std::vector<uint8_t>{'x'};
        t.feed(c.input);
        if (c.command) {
            ASSERT_EQ(t.delegate.commands.size(), 1u) << ::testing::PrintToString(std::string(c.input));
            EXPECT_EQ(t.delegate.commands[0], *c.command) << ::testing::PrintToString(std::string(c.input));
        } else {
            EXPECT_TRUE(t.delegate.commands.empty()) << ::testing::PrintToString(std::string(c.input));
        }
        // Whatever the host answers to an action is not sent on.
        EXPECT_EQ(t.delegate.replies(), "");
    }
}

TEST(TerminalWindowTest, SizeReports) {
    struct Case {
        const char* input;
        std::optional<std::pair<int, int>> cellSize;
        const char* reply;
    } cases[] = {
        {"\x1b[14t", std::make_pair(9, 18), "\x1b[4;450;720t"},
        {"\x1b[14t", std::nullopt, "\x1b[4;400;800t"},
        {"\x1b[14;2t", std::make_pair(9, 18), "\x1b[4;450;720t"},
        {"\x1b[15t", std::make_pair(9, 18), "\x1b[5;450;720t"},
        {"\x1b[16t", std::nullopt, "\x1b[6;16;10t"},
        {"\x1b[16t", std::make_pair(9, 18), "\x1b[6;18;9t"},
        {"\x1b[18t", std::nullopt, "\x1b[8;25;80t"},
        {"\x1b[19t", std::nullopt, "\x1b[9;25;80t"},
        {"\x1b G\x1b[18t", std::nullopt, "\x9b" "8;25;80t"},
        // Host-sized cells are not trusted to keep the products small.
        {"\x1b[14t", std::make_pair(2000000000, 2000000000), "\x1b[4;50000000000;160000000000t"},
    };
    for (const auto& c : cases) {
        WindowTerminal t;
        t.delegate.cellSize = c.cellSize;
        t.feed(c.input);
        EXPECT_EQ(t.delegate.replies(), c.reply) << ::testing::PrintToString(std::string(c.input));
        EXPECT_EQ(t.delegate.commands.size(), 1u);
    }
    WindowTerminal answered;
    answered.delegate.answer = std::vector<uint8_t>{'o', 'k'};
    answered.feed("\x1b[18t");
    EXPECT_EQ(answered.delegate.replies(), "ok");
}

TEST(TerminalWindowTest, TitleReportsNeverCarryTheTitle) {
    WindowTerminal t;
    t.feed("\x1b]2;secret\x07\x1b]1;icon\x07");
    t.delegate.clear();
    t.feed("\x1b[21t\x1b[20t\x1b G\x1b[21t");
    EXPECT_EQ(t.delegate.replies(), "\x1b]l\x1b\\\x1b]L\x1b\\\x9dl\x9c");
    EXPECT_TRUE(t.delegate.commands.empty());
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
    for (int i = 0; i < 1000; ++i) t.feed("\x1b]2;t" + std::to_string(i) + "\x07\x1b[22;0;0t");
    EXPECT_EQ(t->terminalTitleStack.size(), Terminal::maximumTitleStackDepth);
    EXPECT_EQ(t->terminalIconStack.size(), Terminal::maximumTitleStackDepth);
    EXPECT_EQ(t->terminalTitleStack.front(), "t990");
    for (int i = 0; i < 12; ++i) t.feed("\x1b[23;2t");
    EXPECT_EQ(t->terminalTitle, "t990");
    EXPECT_TRUE(t->terminalTitleStack.empty());
}

TEST(TerminalWindowTest, WithoutDelegateNothingHappens) {
    WindowTerminal t;
    t->setDelegate(nullptr);
    t.feed("\x1b[22;0t\x1b[18t\x1b[1t");
    EXPECT_TRUE(t->terminalTitleStack.empty());
    EXPECT_TRUE(t.delegate.commands.empty());
    EXPECT_TRUE(t.delegate.sends.empty());
}

TEST(TerminalWindowTest, UnhandledRequestsAreLogged) {
    WindowTerminal t;
    t->silentLog = false;
    ::testing::internal::CaptureStdout();
    t.feed("\x1b[3;10t\x1b[23t");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Info: Unhandled Window command: [3, 10]\nInfo: Unhandled Window command: [23]\n");
}
