#include <gtest/gtest.h>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::repeat;
using vantel::testing::TestTerminal;
const auto bytes = vantel::testing::asBytes;
using K = SemanticPromptKind;
using Input = SemanticInputState;

namespace {

std::vector<uint8_t> classes(TestTerminal& t, int row, int count) {
    std::vector<uint8_t> out;
    for (int col = 0; col < count; ++col) out.push_back(t->buffer().lines()[row][col].semanticContentCode);
    return out;
}

const SemanticPromptPointerSnapshot plainClick{false, false, 1, true};

// "$ " then "echo" on row 0; "> " then "abc" on row 1 after a hard line break; the cursor after "abc".
void twoLinePrompt(TestTerminal& t, std::string_view options) {
    t.feed("\x1b]133;A" + std::string(options) + "\x07$ \x1b]133;B\x07" "echo\r\n");
    t.feed("\x1b]133;A;k=c\x07> \x1b]133;B\x07" "abc");
}

}  // namespace

TEST(TerminalSemanticTest, PromptInputAndOutputClasses) {
    TestTerminal t;
    t.feed("\x1b]133;A\x07$ \x1b]133;B\x07ls\x1b]133;C\x07\r\nout");
    EXPECT_EQ(t.row(0), "$ ls");
    EXPECT_EQ(classes(t, 0, 5), (std::vector<uint8_t>{1, 1, 5, 5, 0}));
    EXPECT_EQ(classes(t, 1, 4), (std::vector<uint8_t>{6, 6, 6, 0}));
    EXPECT_EQ(t->buffer().semanticInput, Input::submitted);
    EXPECT_EQ(t->semanticContent({2, 0}), SemanticContent::input());
    EXPECT_EQ(t->semanticContent({79, 1}), SemanticContent::none());
    EXPECT_EQ(t->semanticContent({80, 0}), std::nullopt);
    EXPECT_EQ(t->semanticPromptMarks(0), (std::vector<SemanticPromptAnchor>{{{0, 0}, K::initial}}));
    EXPECT_EQ(t->activeSemanticPromptOrigin(), (Position{0, 0}));
    EXPECT_EQ(t->semanticRowKind(0), K::initial);
}

TEST(TerminalSemanticTest, EchoedEnterIsNoContinuationOnceOutputStarts) {
    TestTerminal t;
    t.feed("\x1b]133;A\x07$ \x1b]133;B\x07ls\r\n");
    EXPECT_EQ(t->buffer().lines()[1].semanticHardContinuationGroup(), 1u);
    t.feed("\x1b]133;C\x07");
    EXPECT_EQ(t->buffer().lines()[1].semanticHardContinuationGroup(), std::nullopt);
}

TEST(TerminalSemanticTest, FreshLineBeforeAPromptAfterOutputWithoutNewline) {
    TestTerminal t;
    t.feed("partial\x1b]133;A\x07$ ");
    EXPECT_EQ(t.row(0), "partial");
    EXPECT_EQ(t.row(1), "$ ");
    EXPECT_EQ(t->semanticPromptMarks(1), (std::vector<SemanticPromptAnchor>{{{0, 1}, K::initial}}));
    t.feed("\x1b]133;L\x07");
    EXPECT_EQ(t.cursor(), (std::pair<int, int>{0, 2})) << "L after the prompt text moves to a fresh line";
}

TEST(TerminalSemanticTest, CommandsAndOptions) {
    struct Case {
        const char* input;
        SemanticContent content;
        Input state;
        SemanticPromptClickMode click;
        std::vector<SemanticMark> marks;
    } cases[] = {
        {"\x1b]133;A\x07", SemanticContent::prompt(K::initial), Input::prompt, SemanticPromptClickMode::none(),
         {{K::initial, 0, 1}}},
        {"\x1b]133;A;k=s;cl=v\x07", SemanticContent::prompt(K::secondary), Input::prompt,
         SemanticPromptClickMode::cursorKeys(SemanticPromptCursorClickMode::conservativeVertical), {{K::secondary, 0, 1}}},
        {"\x1b]133;N;cl=w;click_events=2\x07", SemanticContent::prompt(K::initial), Input::prompt,
         SemanticPromptClickMode::clickEventsRelative(), {{K::initial, 0, 1}}},
        {"\x1b]133;A;click_events=1;click_events=0;cl=line\x07", SemanticContent::prompt(K::initial), Input::prompt,
         SemanticPromptClickMode::cursorKeys(SemanticPromptCursorClickMode::line), {{K::initial, 0, 1}}},
        {"\x1b]133;A;aid=7;junk\x07", SemanticContent::prompt(K::initial), Input::prompt,
         SemanticPromptClickMode::none(), {{K::initial, 0, 1}}},
        {"\x1b]133;A;k=r\x07", SemanticContent::none(), Input::idle, SemanticPromptClickMode::none(), {{K::right, 0, 0}}},
        {"\x1b]133;A;k=c\x07", SemanticContent::prompt(K::continuation), Input::prompt, SemanticPromptClickMode::none(),
         {}},
        {"\x1b]133;P;k=i\x07", SemanticContent::prompt(K::initial), Input::idle, SemanticPromptClickMode::none(),
         {{K::initial, 0, 1}}},
        {"\x1b]133;B\x07", SemanticContent::input(), Input::armed, SemanticPromptClickMode::none(), {}},
        {"\x1b]133;D;0\x07", SemanticContent::output(), Input::submitted, SemanticPromptClickMode::none(), {}},
        // Ignored whole: a bad option value, a long command, an unknown command, no command, bad UTF-8.
        {"\x1b]133;A;k=x\x07", SemanticContent::none(), Input::idle, SemanticPromptClickMode::none(), {}},
        {"\x1b]133;A;special_key=2\x07", SemanticContent::none(), Input::idle, SemanticPromptClickMode::none(), {}},
        {"\x1b]133;AB\x07", SemanticContent::none(), Input::idle, SemanticPromptClickMode::none(), {}},
        {"\x1b]133;Z\x07", SemanticContent::none(), Input::idle, SemanticPromptClickMode::none(), {}},
        {"\x1b]133;\x07", SemanticContent::none(), Input::idle, SemanticPromptClickMode::none(), {}},
        {"\x1b]133;A;k=\xff\x07", SemanticContent::none(), Input::idle, SemanticPromptClickMode::none(), {}},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        t.feed(c.input);
        const Buffer& b = t->buffer();
        EXPECT_EQ(b.semanticContent, c.content) << c.input;
        EXPECT_EQ(b.semanticInput, c.state) << c.input;
        EXPECT_EQ(b.semanticClickMode, c.click) << c.input;
        EXPECT_EQ(t->buffer().lines()[0].semanticMarks(), c.marks) << c.input;
    }
}

TEST(TerminalSemanticTest, RepeatedPromptOnItsStartLineKeepsTheGroup) {
    TestTerminal t;
    t.feed("\x1b]133;A\x07");
    EXPECT_EQ(t->buffer().activeSemanticGroupID, 1u);
    t.feed("\x1b]133;A\x07");
    EXPECT_EQ(t->buffer().activeSemanticGroupID, 1u) << "redrawn prompt";
    t.feed("\x1b]133;N\x07");
    EXPECT_EQ(t->buffer().activeSemanticGroupID, 2u) << "N always opens a group";
    t.feed("\x1b]133;C\x07");
    t.feed("\x1b]133;A\x07");
    EXPECT_EQ(t->buffer().activeSemanticGroupID, 3u) << "after output a prompt is a new one";
}

TEST(TerminalSemanticTest, TheAlternateScreenEndsTheCommandAndKeepsNoMarks) {
    TestTerminal t;
    t.feed("\x1b]133;A\x07\x1b]133;B\x07\x1b[?1049h");
    EXPECT_EQ(t->normalBuffer().semanticInput, Input::submitted);
    EXPECT_EQ(t->normalBuffer().semanticContent, SemanticContent::output());
    EXPECT_EQ(t->altBuffer().semanticInput, Input::submitted);
    EXPECT_EQ(t->altBuffer().semanticContent, SemanticContent::none()) << "content that is none stays none";
    t.feed("\x1b]133;A\x07\x1b]133;B\x07");
    EXPECT_FALSE(t->buffer().lines()[0].hasSemanticMarks());
    EXPECT_EQ(t->buffer().semanticInput, Input::submitted) << "only the switch itself changed it";
    EXPECT_EQ(t->buffer().activeSemanticGroupID, 0u);
}

TEST(TerminalSemanticTest, ResetForgetsPromptsAndScreenMarks) {
    TestTerminal t;
    twoLinePrompt(t, ";cl=m");
    t->resetSemanticPromptState(false);
    EXPECT_TRUE(t->buffer().lines()[0].hasSemanticMarks());
    EXPECT_EQ(t->buffer().semanticInput, Input::idle);
    EXPECT_EQ(t->buffer().semanticClickMode, SemanticPromptClickMode::none());
    EXPECT_EQ(t->buffer().semanticPromptStartLine, nullptr);
    EXPECT_EQ(t->buffer().activeSemanticGroupID, 1u) << "ids are never handed out twice";
    t->resetSemanticPromptState(true);
    EXPECT_FALSE(t->buffer().lines()[0].hasSemanticMarks());
    EXPECT_EQ(t->buffer().lines()[1].semanticHardContinuationGroup(), std::nullopt);
}

TEST(TerminalSemanticTest, LineAdvanceIntoAnotherGroupsLineClearsItsPromptCells) {
    TestTerminal t;
    Buffer& b = t->buffer();
    b.lines()[1].setCell(0, CharData('x', 1, {}, 5, Attribute::defaultAttribute));
    b.lines()[1].setCell(1, CharData('y', 1, {}, 6, Attribute::defaultAttribute));
    b.lines()[1].setSemanticHardContinuationGroup(99);
    t.feed("\x1b]133;A\x07\x1b]133;B\x07\r\n");
    EXPECT_EQ(classes(t, 1, 2), (std::vector<uint8_t>{0, 6}));
    EXPECT_EQ(b.lines()[1].semanticHardContinuationGroup(), 1u);
    EXPECT_EQ(t->semanticRowKind(1), K::continuation);
    t->finishSemanticLineAdvance(false);
    t.feed("\x1b]133;C\x07");
    b.setY(2);
    t->finishSemanticLineAdvance(true);
    EXPECT_EQ(b.lines()[2].semanticHardContinuationGroup(), std::nullopt) << "only while a prompt is edited";
}

TEST(TerminalSemanticTest, SubmissionScanner) {
    struct Case {
        std::vector<std::string> chunks;
        bool submitted;
    } cases[] = {
        {{"ls\r"}, true},
        {{"ls\n"}, true},
        {{"ls"}, false},
        {{"\x1b[200~a\rb\x1b[201~"}, false},
        {{"\x1b[200~a\rb\x1b[201~\r"}, true},
        {{"\x1b[200~a", "\r", "\x1b[201~"}, false},
        {{"\x1b[13u"}, true},
        {{"\x1b[13;5u"}, true},
        {{"\x1b[13;1:3u"}, false},
        {{"\x1b[13;1:1u"}, true},
        {{"\x1b[13:13;1u"}, true},
        {{"\x1b[131u"}, false},
        {{"\x1b[1", "3u"}, true},
        {{"\x1bOM"}, true},
        {{"\x1bOA"}, false},
        {{"\x1b[A\x1b[B"}, false},
        {{"\x1b\x1b[13u"}, true},
        {{"\x1b[" + std::string(100, '1') + "u"}, false},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        bool submitted = false;
        std::string all;
        for (const std::string& chunk : c.chunks) {
            submitted = t->scanUserInputForSubmission(bytes(chunk));
            all += chunk;
        }
        EXPECT_EQ(submitted, c.submitted) << all;
    }
}

TEST(TerminalSemanticTest, SendingUserInputSubmitsAnArmedPrompt) {
    TestTerminal t;
    t.feed("\x1b]133;A\x07\x1b]133;B\x07");
    t->sendUserInput(bytes("\x1b[200~x\ry\x1b[201~"));
    EXPECT_EQ(t->buffer().semanticInput, Input::armed);
    t->sendUserInput(bytes("\r"));
    EXPECT_EQ(t->buffer().semanticInput, Input::submitted);
    EXPECT_EQ(t.delegate.replies(), "\x1b[200~x\ry\x1b[201~\r");
}

TEST(TerminalSemanticTest, ClickMovesTheCursorInsideTheInput) {
    struct Case {
        const char* options;
        bool applicationCursor;
        Position cursor;
        Position click;
        std::optional<std::string> sent;
    } cases[] = {
        // One row: "$ echo" then a hard break and "> abc"; the cursor stands after "abc" (5, 1).
        {";cl=line", false, {2, 0}, {5, 0}, repeat("\x1b[C", 3)},
        {";cl=line", false, {5, 0}, {3, 0}, repeat("\x1b[D", 2)},
        {";cl=line", true, {2, 0}, {4, 0}, repeat("\x1bOC", 2)},
        {";cl=line", false, {5, 0}, {5, 0}, std::nullopt},
        {";cl=line", false, {5, 1}, {4, 0}, std::nullopt},
        {";cl=m", false, {5, 1}, {4, 0}, repeat("\x1b[D", 6)},
        {";cl=m", true, {5, 1}, {4, 0}, repeat("\x1bOD", 6)},
        {";cl=v", false, {5, 1}, {4, 0}, repeat("\x1b[D", 3) + "\x1b[A" + repeat("\x1b[C", 2)},
        {";cl=w", false, {2, 0}, {4, 1}, repeat("\x1b[D", 0) + "\x1b[B" + repeat("\x1b[C", 2)},
        {";cl=v;special_key=1", false, {5, 1}, {4, 0}, repeat("\x1b[1;1u", 6)},
        {";cl=m;special_key=1", false, {2, 0}, {3, 1}, repeat("\x1b[1u", 6)},
        {";cl=m", false, {5, 1}, {60, 1}, std::nullopt},  // past the input: same offset
        {";cl=m", false, {5, 1}, {4, 3}, std::nullopt},   // not a row of the prompt
        {"", false, {5, 1}, {4, 0}, std::nullopt},        // the shell asked for nothing
        {";click_events=1", false, {5, 1}, {3, 1}, "\x1b[<0;4;2M"},
        {";click_events=2", false, {5, 1}, {3, 1}, "\x1b[<0;4;1M"},
        {";click_events=2", false, {5, 1}, {3, 0}, "\x1b[<0;4;0M"},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        twoLinePrompt(t, c.options);
        t->applicationCursor = c.applicationCursor;
        t->buffer().setX(c.cursor.col);
        t->buffer().setY(c.cursor.row);
        t.delegate.clear();
        const bool handled = t->handleSemanticPromptClick(c.click, {}, plainClick);
        EXPECT_EQ(handled, c.sent.has_value()) << c.options << " click " << c.click.debugDescription();
        EXPECT_EQ(t.delegate.replies(), c.sent.value_or("")) << c.options << " click " << c.click.debugDescription();
    }
}

TEST(TerminalSemanticTest, ClickOnTheCoveredHalfOfAWideCharacter) {
    TestTerminal t;
    t.feed("\x1b]133;A;cl=line\x07$ \x1b]133;B\x07\xe4\xb8\xadx\x1b[3G");
    EXPECT_FALSE(t->handleSemanticPromptClick({3, 0}, {})) << "lands on the wide character: no move";
    EXPECT_TRUE(t->handleSemanticPromptClick({4, 0}, {}));
    EXPECT_EQ(t.delegate.replies(), "\x1b[C");
}

TEST(TerminalSemanticTest, ClickRoutingNeedsAnArmedPromptAndTheRightModifiers) {
    using Mods = SemanticPromptClickModifiers;
    const Mods none{};
    const Mods command{Mods::command};
    struct Case {
        SemanticPromptClickBehavior behavior;
        Mods modifiers;
        SemanticPromptPointerSnapshot snapshot;
        bool routed;
    } cases[] = {
        {SemanticPromptClickBehavior::enabled(), none, plainClick, true},
        {SemanticPromptClickBehavior::enabled(), command, plainClick, false},
        {SemanticPromptClickBehavior::requireModifier(command), command, plainClick, true},
        {SemanticPromptClickBehavior::requireModifier(command), Mods{Mods::command | Mods::shift}, plainClick, false},
        {SemanticPromptClickBehavior::requireModifier(command), none, plainClick, false},
        {SemanticPromptClickBehavior::disabled(), none, plainClick, false},
        {SemanticPromptClickBehavior::enabled(), none, {true, false, 1, true}, false},
        {SemanticPromptClickBehavior::enabled(), none, {false, true, 1, true}, false},
        {SemanticPromptClickBehavior::enabled(), none, {false, false, 2, true}, false},
        {SemanticPromptClickBehavior::enabled(), none, {false, false, 1, false}, false},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        twoLinePrompt(t, ";cl=m");
        t->semanticPromptClickBehavior = c.behavior;
        EXPECT_EQ(t->mightRouteSemanticPromptClick(c.modifiers, c.snapshot), c.routed);
        EXPECT_EQ(t->handleSemanticPromptClick({2, 1}, c.modifiers, c.snapshot), c.routed);
    }
    TestTerminal submitted;
    twoLinePrompt(submitted, ";cl=m");
    submitted->sendUserInput(bytes("\r"));
    EXPECT_FALSE(submitted->mightRouteSemanticPromptClick({}, plainClick));
    EXPECT_FALSE(submitted->handleSemanticPromptClick({2, 1}, {}));
}

TEST(TerminalSemanticTest, RandomPromptsLookupsAndClicksNeverCrash) {
    const char* pieces[] = {"\x1b]133;A\x07", "\x1b]133;A;k=s;cl=v\x07", "\x1b]133;A;k=c\x07", "\x1b]133;A;k=r\x07",
                            "\x1b]133;N;click_events=2\x07", "\x1b]133;P;k=i\x07", "\x1b]133;B\x07", "\x1b]133;C\x07",
                            "\x1b]133;L\x07", "\x1b]8;;http://x/\x07", "\x1b]8;;\x07", "$ ", "abc ", "https://a.b/c",
                            "\r\n", "\r", "\n", "\x1b[?1049h", "\x1b[?1049l", "\x1b[2J", "\x1b[3J", "\x1b[H",
                            "\x1b[10;70H", "\xe4\xb8\xad", "\x1b" "c"};
    uint32_t seed = 99;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    TestTerminal t(20, 6, [](TerminalOptions& o) { o.scrollback = 30; });
    for (int step = 0; step < 3000; ++step) {
        t.feed(pieces[next() % std::size(pieces)]);
        const int rows = t->buffer().lines().count();
        const Position at{static_cast<int>(next() % 24) - 2, static_cast<int>(next() % (rows + 4)) - 2};
        t->linkMatch(Terminal::LinkLookupLocation::buffer(at), Terminal::LinkLookupMode::explicitAndImplicit);
        t->handleSemanticPromptClick(at, {});
        t->semanticRowKind(at.row);
        t->semanticContent(at);
        t->buffer().semanticPromptRelativeOrigin(at);
        if (step % 7 == 0) t->sendUserInput(bytes("x\r"));
    }
    SUCCEED();
}
