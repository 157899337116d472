#include <gtest/gtest.h>

#include <random>

#include "support/StreamCheck.h"
#include "vantel/core/EscapeSequenceParser.h"

using vantel::testing::RecordingParser;

using namespace vantel;

namespace {

std::span<const uint8_t> bytes(std::string_view s) {
    return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

using Events = std::vector<std::string>;

// The calls as a parser of this build gives them: exactly, or, when every parser walks its
// table one byte at a time, as reads of one byte can give them (runs joined, errors apart).
vantel::testing::NormalizedCalls shaped(const RecordingParser& parser, const Events& events) {
    if (parser.byteAtATime()) return vantel::testing::normalizeCalls(events);
    return {events, {}};
}

}  // namespace

TEST(EscapeSequenceParserTest, Sequences) {
    struct Case {
        std::string input;
        Events expected;
    } cases[] = {
        {"\x1b[38;2;10;20;30m", {"csi::38,2,10,20,30:;;;;:m"}},
        {"\x1b[4:3m", {"csi::4,3:\x3a:m"}},
        {"\x1b[m", {"csi::0::m"}},
        {"\x1b[99999m", {"csi::65535::m"}},
        {"\x1b[?25h", {"csi:?:25::h"}},
        {"\x1b[1;2?h", {}},
        {"\x1b[1;2?hX", {"print:X"}},
        {"\x1b]0;title\x07", {"osc:0:title"}},
        {"\x1b]0;title\x1b\\", {"osc:0:title", "esc:\\"}},
        {"\x1b]0;ti\x9ctle", {}},  // 8-bit ST inside the payload is data; the string stays open
        {"\x1b]2;abc\x18", {}},
        {"\x1b]x;y\x07", {}},
        {"\x1b]112\x07", {"osc:112:"}},
        {"\x1b]99999999999999999999;x\x07", {}},
        {"\x1b_Ga=q;AAAA\x1b\\", {"apc:G:a=q;AAAA", "esc:\\"}},
        {"\x1bP q#0;2;0;0;0\x1b\\", {"hook: :q", "put:#0;2;0;0;0", "unhook", "esc:\\"}},
        {"\x1bPq#0\x1a", {"hook::q", "exec:26"}},
        {"w\xc3\xb6rd", {"print:w\xc3\xb6rd"}},
        {"ab\x9b" "cd", {"print:ab\x9b" "cd"}},
        {"\x1b\x9b" "5n", {"csi::5::n"}},
        {"ab\x19" "cd", {"error:25", "print:ab\x19" "cd"}},
        {"a\rb", {"print:a", "exec:13", "print:b"}},
        {"\x1b[1\x0a" "2H", {"exec:10", "csi::12::H"}},
        {"\x1b#8", {"esc:#8"}},
        {"\x1bX ignored \x1b\\Z", {"esc:\\", "print:Z"}},
    };
    for (const auto& c : cases) {
        RecordingParser parser;
        EXPECT_EQ(shaped(parser, parser.run(c.input)), shaped(parser, c.expected)) << "input: " << c.input;
    }
}

TEST(EscapeSequenceParserTest, ParameterLimit) {
    RecordingParser parser;
    std::string params24, params25;
    for (int i = 0; i < 24; ++i) {
        if (i) params24 += ';';
        params24 += std::to_string(i);
    }
    params25 = params24 + ";24";
    EXPECT_EQ(parser.run("\x1b[" + params24 + "m").size(), 1u);
    EXPECT_EQ(parser.run("\x1b[" + params25 + "m"), Events{});
    EXPECT_EQ(parser.run("\x1b[2J"), Events{"csi::2::J"}) << "the next sequence parses normally";
}

TEST(EscapeSequenceParserTest, SplitsAnywhereGiveTheSameEvents) {
    const std::string input =
        "ab\x1b[38;2;1;2;3mcd\x1b]0;title\x1b\\e\x1bP q#0;1\x1b\\\x1b_Gx=1;QUJD\x07\xe2\x82\xac\x1b[?2026h";
    RecordingParser whole;
    const auto expected = vantel::testing::normalizeCalls(whole.run(input));
    for (size_t split = 0; split <= input.size(); ++split) {
        RecordingParser parser;
        parser.parse(bytes(std::string_view(input).substr(0, split)));
        parser.parse(bytes(std::string_view(input).substr(split)));
        // Print runs and DCS payload may arrive in two pieces: compared joined.
        EXPECT_EQ(vantel::testing::normalizeCalls(parser.events), expected) << "split at " << split;
    }
}

TEST(EscapeSequenceParserTest, OverlongStringsAreDroppedWhole) {
    RecordingParser parser;
    parser.maximumStringLength = 8;
    EXPECT_EQ(parser.run("\x1b]0;12345678\x07"), Events{}) << "payload 0;12345678 is 10 bytes";
    EXPECT_EQ(parser.run("\x1b]0;123456\x07"), Events{"osc:0:123456"});
    EXPECT_EQ(parser.run("\x1b_G123456789\x1b\\"), Events{"esc:\\"});
    Events dcs = parser.run("\x1bPq12345678901234\x1b\\");
    EXPECT_EQ(std::count(dcs.begin(), dcs.end(), "unhook"), 0);
    EXPECT_EQ(parser.run("\x1b]0;ok\x07"), Events{"osc:0:ok"}) << "the limit applies per string";
}

TEST(EscapeSequenceParserTest, AbortingErrorHandlerLeavesTheParserAsFound) {
    RecordingParser parser;
    parser.setByteAtATime(false);  // an abort leaves one read, whole
    parser.parse(bytes("\x1b[12"));
    parser.errorHandler = [](const ParsingState& s) {
        ParsingState copy = s;
        copy.abort = true;
        return copy;
    };
    parser.parse(bytes(";3\x19more"));
    parser.errorHandler = [](const ParsingState& s) { return s; };
    parser.events.clear();
    parser.parse(bytes("H"));
    EXPECT_EQ(parser.events, Events{"csi::12::H"});
}


// UTF-8 inside a string has continuation bytes 0x80-0x9F, which are also the 8-bit controls
// (0x9C is ST, 0x9B CSI). After the first payload byte they are payload, wherever the reads end.
TEST(EscapeSequenceParserTest, Utf8InStringsSurvivesAnyCut) {
    struct Case {
        std::string input;
        Events expected;
    } cases[] = {
        {"\x1b]0;\xe2\x9c\xb3 name\x07", {"osc:0:\xe2\x9c\xb3 name"}},
        {"\x1b]2;\xe2\x9d\xaf \xe2\x9b\xb0\x1b\\", {"osc:2:\xe2\x9d\xaf \xe2\x9b\xb0", "esc:\\"}},
        {"\x1b]8;;http://x/\xf0\x9f\x98\x80\x07", {"osc:8:;http://x/\xf0\x9f\x98\x80"}},
        {"\x1b\x9d" "0;\xe2\x9c\xb3\x07", {"osc:0:\xe2\x9c\xb3"}},
        {"\x1b_X\xe2\x9c\xb3\xf0\x9f\x98\x80\x1b\\", {"apc:X:\xe2\x9c\xb3\xf0\x9f\x98\x80", "esc:\\"}},
        {"\x1bP$q\xe2\x9b\xb0\x1b\\", {"hook:$:q", "put:\xe2\x9b\xb0", "unhook", "esc:\\"}},
        {"\x1bPq\xe2\x9c\xb3\x85\x1b\\", {"hook::q", "put:\xe2\x9c\xb3\x85", "unhook", "esc:\\"}},
        // Before any payload an 8-bit control keeps its meaning.
        {"\x1b]\x9cZ", {"print:Z"}},
        {"\x1bPq\x9cZ", {"hook::q", "unhook", "print:Z"}},
        {"\x1bPq\x85Z", {"hook::q", "exec:133", "print:Z"}},
        // Other controls after the first payload byte are skipped; BEL, CAN and ESC still end it.
        {"\x1b]0;a\x1a\x19" "b\x07", {"osc:0:ab"}},
        {"\x1b]0;\xe2\x9c\x18\xb3", {"print:\xb3"}},
    };
    for (const auto& c : cases) {
        RecordingParser whole;
        EXPECT_EQ(shaped(whole, whole.run(c.input)), shaped(whole, c.expected)) << "fed whole: " << c.input;
        for (size_t split = 1; split < c.input.size(); ++split) {
            RecordingParser parser;
            parser.parse(bytes(std::string_view(c.input).substr(0, split)));
            parser.parse(bytes(std::string_view(c.input).substr(split)));
            EXPECT_EQ(vantel::testing::normalizeCalls(parser.events).calls,
                      vantel::testing::normalizeCalls(c.expected).calls)
                << "split at " << split << ": " << c.input;
        }
        RecordingParser table;
        table.setByteAtATime(true);
        EXPECT_EQ(vantel::testing::normalizeCalls(table.run(c.input)).calls,
                  vantel::testing::normalizeCalls(c.expected).calls)
            << "byte at a time: " << c.input;
    }
}

// The default reaches parsers made after it is set, and only those: a test program turns it on
// to test the table alone with the binaries it has.
TEST(EscapeSequenceParserTest, TheByteAtATimeDefaultReachesNewParsersOnly) {
    const bool before = EscapeSequenceParser::byteAtATimeByDefault();
    for (bool on : {true, false, true}) {
        const bool earlier = EscapeSequenceParser::byteAtATimeByDefault();
        RecordingParser existing;
        EscapeSequenceParser::setByteAtATimeByDefault(on);
        RecordingParser made;
        EXPECT_EQ(made.byteAtATime(), on);
        EXPECT_EQ(existing.byteAtATime(), earlier) << "made before: " << on;
        EXPECT_EQ(shaped(made, made.run("\x1b[1;2Hx")), shaped(made, Events{"csi::1,2:;:H", "print:x"})) << on;
    }
    EscapeSequenceParser::setByteAtATimeByDefault(before);
}
