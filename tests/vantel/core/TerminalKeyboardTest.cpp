#include <gtest/gtest.h>

#include "support/TerminalTestSupport.h"
#include "vantel/core/EscapeSequences.h"

using namespace vantel;
using vantel::testing::TestTerminal;

namespace {

std::string text(std::span<const uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace

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

TEST(TerminalKeyboardTest, PlainFinalURestoresTheCursor) {
    TestTerminal t;
    t.feed("\x1b[3;4H\x1b[s\x1b[H\x1b[?u\x1b[=1;9u");
    EXPECT_EQ(t.cursor(), std::make_pair(0, 0));
    t.feed("\x1b[u");
    EXPECT_EQ(t.cursor(), std::make_pair(3, 2));
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

TEST(EscapeSequencesTest, CursorAndFunctionKeys) {
    using Key = EscapeSequences::CursorKey;
    const std::pair<Key, char> keys[] = {{Key::up, 'A'},    {Key::down, 'B'}, {Key::right, 'C'},
                                         {Key::left, 'D'},  {Key::home, 'H'}, {Key::end, 'F'}};
    for (auto [key, final] : keys) {
        EXPECT_EQ(text(EscapeSequences::cursorKey(key, false)), std::string("\x1b[") + final);
        EXPECT_EQ(text(EscapeSequences::cursorKey(key, true)), std::string("\x1bO") + final);
    }
    const char* functionKeys[] = {"\x1bOP",   "\x1bOQ",   "\x1bOR",   "\x1bOS",   "\x1b[15~", "\x1b[17~",
                                  "\x1b[18~", "\x1b[19~", "\x1b[20~", "\x1b[21~", "\x1b[23~", "\x1b[24~"};
    for (size_t i = 0; i < 12; ++i) EXPECT_EQ(text(EscapeSequences::cmdF.at(i)), functionKeys[i]) << "F" << i + 1;
}
