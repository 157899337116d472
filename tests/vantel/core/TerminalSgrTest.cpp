#include <gtest/gtest.h>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::TestTerminal;

namespace {

using C = Attribute::Color;
constexpr uint8_t bold = CharacterStyle::bold;
constexpr uint8_t underline = CharacterStyle::underline;
constexpr uint8_t italic = CharacterStyle::italic;

Attribute attr(C fg, C bg, uint8_t style, UnderlineStyle under = UnderlineStyle::none,
               std::optional<C> underColor = std::nullopt) {
    return Attribute(fg, bg, CharacterStyle(style), under, underColor);
}

const C none = C::defaultColor();

}  // namespace

TEST(TerminalSgrTest, AttributesFromSequences) {
    struct Case {
        const char* input;
        Attribute expected;
    } cases[] = {
        // A reset gives the default background, not the inverted one of a fresh buffer.
        {"\x1b[1;4;31;7;44m\x1b[0m", Attribute::defaultAttribute},
        {"\x1b[1;0;3m", attr(none, none, italic)},
        {"\x1b[1;2;3;5;7;8;9m", attr(none, none, 0xFF & ~underline)},
        {"\x1b[1;2;3;5;7;8;9;22;23;25;27;28;29m", attr(none, none, 0)},
        {"\x1b[4:3m", attr(none, none, underline, UnderlineStyle::curly)},
        {"\x1b[4m\x1b[4:0m", attr(none, none, 0)},
        {"\x1b[4:9m", attr(none, none, underline, UnderlineStyle::single)},
        {"\x1b[4;3m", attr(none, none, underline | italic, UnderlineStyle::single)},
        {"\x1b[1;21m", attr(none, none, bold | underline, UnderlineStyle::double_)},
        {"\x1b[1;2m\x1b[22m", attr(none, none, 0)},
        {"\x1b[31;42m", attr(C::ansi256(1), C::ansi256(2), 0)},
        {"\x1b[95;103m", attr(C::ansi256(13), C::ansi256(11), 0)},
        {"\x1b[31;42m\x1b[39;49m", attr(none, none, 0)},
        {"\x1b[38;5;300m", attr(C::ansi256(255), none, 0)},
        {"\x1b[38;2;1;2;3m", attr(C::trueColor(1, 2, 3), none, 0)},
        {"\x1b[38;2;999;2;3;1m", attr(C::trueColor(255, 2, 3), none, bold)},
        {"\x1b[31m\x1b[38;2;10m", attr(C::ansi256(1), none, 0)},
        {"\x1b[38;5m", attr(none, none, 0)},
        {"\x1b[38;7;1m", attr(none, none, bold)},
        {"\x1b[38:2:10:20:30m", attr(C::trueColor(10, 20, 30), none, 0)},
        {"\x1b[38:2:0:10:20:30m", attr(C::trueColor(10, 20, 30), none, 0)},
        {"\x1b[38:2:0:10:20:30:99;1m", attr(C::trueColor(10, 20, 30), none, bold)},
        {"\x1b[31m\x1b[38:2:10:20;1m", attr(C::ansi256(1), none, bold)},
        {"\x1b[38:5:12;1m", attr(C::ansi256(12), none, bold)},
        {"\x1b[58;5;196m", attr(none, none, 0, UnderlineStyle::none, C::ansi256(196))},
        {"\x1b[58:2::1:2:3m", attr(none, none, 0, UnderlineStyle::none, C::trueColor(1, 2, 3))},
        {"\x1b[58;5;196m\x1b[59m", attr(none, none, 0)},
        {"\x1b[4:3;58:5:9;38;5;1m", attr(C::ansi256(1), none, underline, UnderlineStyle::curly, C::ansi256(9))},
        {"\x1b[>4;2m", Attribute::defaultAttribute},
        {"\x1b[1m\x1b[>4;2m", attr(none, none, bold)},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        ::testing::internal::CaptureStdout();
        t.feed(c.input);
        ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(t->curAttr, c.expected) << ::testing::PrintToString(std::string(c.input)) << " gives "
                                          << t->curAttr.toSgr();
    }
}

TEST(TerminalSgrTest, UnknownParametersAreLoggedOnlyWhenAsked) {
    TestTerminal t;
    const std::string input = "\x1b[6m\x1b[1;60;3m\x1b[38;2;10m\x1b[>4;2m\x1b[38:2:10:20m";
    ::testing::internal::CaptureStdout();
    t.feed(input);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << "silent by default";
    EXPECT_EQ(t.logged(input),
              "Info: Unknown SGR attribute: 6 [6]\nInfo: Unknown SGR attribute: 60 [1, 60, 3]\n"
              "Info: Unknown SGR attribute: 10 [38, 2, 10]\n");
}
