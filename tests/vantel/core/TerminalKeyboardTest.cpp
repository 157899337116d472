#include <gtest/gtest.h>

#include "support/TerminalTestSupport.h"
#include "vantel/core/EscapeSequences.h"

using namespace vantel;
using vantel::testing::TestTerminal;

namespace {

std::string text(std::span<const uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace

TEST(TerminalKeyboardTest, FlagsPushPopSetAndQuery) {
    struct Case {
        const char* input;
        const char* reply;
    } cases[] = {
        {"\x1b[>1u\x1b[?u", "\x1b[?1u"},
        {"\x1b[>1u\x1b[<u\x1b[?u", "\x1b[?0u"},
        {"\x1b[>255u\x1b[?u", "\x1b[?31u"},
        {"\x1b[>u\x1b[?u", "\x1b[?0u"},
        {"\x1b[>1u\x1b[>2u\x1b[<5u\x1b[?u", "\x1b[?0u"},
        {"\x1b[>1u\x1b[>2u\x1b[>4u\x1b[<2u\x1b[?u", "\x1b[?1u"},
        {"\x1b[>1u\x1b[>2u\x1b[<0u\x1b[?u", "\x1b[?1u"},
        {"\x1b[=1u\x1b[=4;2u\x1b[?u", "\x1b[?5u"},
        {"\x1b[=5u\x1b[=4;3u\x1b[?u", "\x1b[?1u"},
        {"\x1b[=5u\x1b[=4;7u\x1b[?u", "\x1b[?5u"},
        {"\x1b[=5u\x1b[=;1u\x1b[?u", "\x1b[?0u"},
        {"\x1b G\x1b[>8u\x1b[?u", "\x9b?8u"},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        t.feed(c.input);
        EXPECT_EQ(t.delegate.replies(), c.reply) << ::testing::PrintToString(std::string(c.input));
    }
}

TEST(TerminalKeyboardTest, StackKeepsTheSixteenNewest) {
    TestTerminal t;
    for (int value = 1; value <= 17; ++value) t.feed("\x1b[>" + std::to_string(value) + "u");
    EXPECT_EQ(t->keyboardModeNormal.stack.size(), 16u);
    EXPECT_EQ(t->keyboardModeNormal.stack.front(), KittyKeyboardFlags(1));
    t.feed("\x1b[<16u");
    // The first push's earlier value (0) was dropped; the second push's (1) is the oldest left.
    EXPECT_EQ(t->keyboardEnhancementFlags(), KittyKeyboardFlags(1));
    EXPECT_TRUE(t->keyboardModeNormal.stack.empty());
}

TEST(TerminalKeyboardTest, EachScreenHasItsOwnFlags) {
    TestTerminal t;
    t.feed("\x1b[>1u\x1b[?1049h\x1b[>4u\x1b[?u");
    EXPECT_EQ(t->keyboardEnhancementFlags(), KittyKeyboardFlags(4));
    t.feed("\x1b[?1049l\x1b[?u");
    EXPECT_EQ(t.delegate.replies(), "\x1b[?4u\x1b[?1u");
    EXPECT_EQ(t->keyboardModeNormal.stack.size(), 1u);
    EXPECT_EQ(t->keyboardModeAlt.stack.size(), 1u);
}

TEST(TerminalKeyboardTest, OnlyOnePrefixByteIsOurs) {
    TestTerminal t;
    const int none[] = {0};
    EXPECT_FALSE(t->handleKittyKeyboardProtocol(none, ""));
    EXPECT_FALSE(t->handleKittyKeyboardProtocol(none, ">>"));
    EXPECT_FALSE(t->handleKittyKeyboardProtocol(none, "!"));
    EXPECT_TRUE(t->handleKittyKeyboardProtocol(none, "<"));
    EXPECT_TRUE(t->handleKittyKeyboardProtocol({}, ">"));
}

TEST(EscapeSequencesTest, KeysByCursorMode) {
    using Key = EscapeSequences::CursorKey;
    struct Case {
        Key key;
        const char* normal;
        const char* application;
    } cases[] = {
        {Key::up, "\x1b[A", "\x1bOA"},     {Key::down, "\x1b[B", "\x1bOB"}, {Key::left, "\x1b[D", "\x1bOD"},
        {Key::right, "\x1b[C", "\x1bOC"}, {Key::home, "\x1b[H", "\x1bOH"}, {Key::end, "\x1b[F", "\x1bOF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text(EscapeSequences::cursorKey(c.key, false)), c.normal);
        EXPECT_EQ(text(EscapeSequences::cursorKey(c.key, true)), c.application);
    }
}

TEST(EscapeSequencesTest, FixedSequences) {
    const std::pair<std::span<const uint8_t>, const char*> cases[] = {
        {EscapeSequences::cmdNewLine, "\n"},          {EscapeSequences::cmdRet, "\r"},
        {EscapeSequences::cmdEsc, "\x1b"},            {EscapeSequences::cmdDel, "\x7f"},
        {EscapeSequences::cmdDelKey, "\x1b[3~"},      {EscapeSequences::cmdTab, "\t"},
        {EscapeSequences::cmdBackTab, "\x1b[Z"},      {EscapeSequences::cmdPageUp, "\x1b[5~"},
        {EscapeSequences::cmdPageDown, "\x1b[6~"},    {EscapeSequences::cmdInsert, "\x1b[2~"},
        {EscapeSequences::emacsBack, "\x1b" "b"},     {EscapeSequences::emacsForward, "\x1b" "f"},
        {EscapeSequences::controlLeft, "\x1b[1;5D"},  {EscapeSequences::controlRight, "\x1b[1;5C"},
        {EscapeSequences::bracketedPasteStart, "\x1b[200~"}, {EscapeSequences::bracketedPasteEnd, "\x1b[201~"},
    };
    for (const auto& [bytes, expected] : cases) EXPECT_EQ(text(bytes), expected);

    const char* functionKeys[] = {"\x1bOP",   "\x1bOQ",   "\x1bOR",   "\x1bOS",   "\x1b[15~", "\x1b[17~",
                                  "\x1b[18~", "\x1b[19~", "\x1b[20~", "\x1b[21~", "\x1b[23~", "\x1b[24~"};
    ASSERT_EQ(EscapeSequences::cmdF.size(), 12u);
    for (size_t i = 0; i < 12; ++i) EXPECT_EQ(text(EscapeSequences::cmdF[i]), functionKeys[i]) << "F" << i + 1;
}
