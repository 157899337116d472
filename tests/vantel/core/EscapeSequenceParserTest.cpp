#include <gtest/gtest.h>

#include <random>

#include "vantel/core/EscapeSequenceParser.h"

using namespace vantel;

namespace {

std::span<const uint8_t> bytes(std::string_view s) {
    return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

struct RecordingDcs : DcsHandler {
    std::vector<std::string>* events;
    explicit RecordingDcs(std::vector<std::string>* e) : events(e) {}
    void hook(std::string_view collect, std::span<const int>, uint8_t flag) override {
        events->push_back("hook:" + std::string(collect) + ":" + static_cast<char>(flag));
    }
    void put(std::span<const uint8_t> data) override {
        events->push_back("put:" + std::string(data.begin(), data.end()));
    }
    void unhook() override { events->push_back("unhook"); }
};

// Records the parser's output as text events instead of acting on a terminal.
struct RecordingParser : EscapeSequenceParser {
    std::vector<std::string> events;

    RecordingParser() : EscapeSequenceParser(nullptr) {
        printHandler = [this](Bytes data) { events.push_back("print:" + std::string(data.begin(), data.end())); };
        errorHandler = [this](const ParsingState& s) {
            events.push_back("error:" + std::to_string(s.code));
            return s;
        };
    }
    static std::string list(std::span<const int> pars) {
        std::string out;
        for (size_t i = 0; i < pars.size(); ++i) {
            if (i) out += ',';
            out += std::to_string(pars[i]);
        }
        return out;
    }
    void dispatchExecute(uint8_t code) override { events.push_back("exec:" + std::to_string(code)); }
    void dispatchCsi(uint8_t code, std::span<const int> pars, std::string_view collect) override {
        events.push_back("csi:" + std::string(collect) + ":" + list(pars) + ":" + std::string(parsTxt()) + ":" +
                         static_cast<char>(code));
    }
    void dispatchEsc(std::string_view collect, uint8_t code) override {
        events.push_back("esc:" + std::string(collect) + static_cast<char>(code));
    }
    void dispatchOsc(int64_t code, std::span<const uint8_t> data) override {
        events.push_back("osc:" + std::to_string(code) + ":" + std::string(data.begin(), data.end()));
    }
    void dispatchApc(uint8_t command, std::span<const uint8_t> content) override {
        events.push_back(std::string("apc:") + static_cast<char>(command) + ":" +
                         std::string(content.begin(), content.end()));
    }
    std::unique_ptr<DcsHandler> dispatchDcs(std::string_view, uint8_t, std::span<const int>) override {
        return std::make_unique<RecordingDcs>(&events);
    }

    std::vector<std::string> run(std::string_view input) {
        events.clear();
        parse(bytes(input));
        return events;
    }
};

using Events = std::vector<std::string>;

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
        EXPECT_EQ(parser.run(c.input), c.expected) << "input: " << c.input;
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
    Events expected = whole.run(input);
    for (size_t split = 0; split <= input.size(); ++split) {
        RecordingParser parser;
        parser.parse(bytes(std::string_view(input).substr(0, split)));
        parser.parse(bytes(std::string_view(input).substr(split)));
        // Print runs and DCS payload may arrive in two pieces; join adjacent ones before comparing.
        Events joined;
        for (auto& e : parser.events) {
            for (const char* kind : {"print:", "put:"}) {
                if (!joined.empty() && e.rfind(kind, 0) == 0 && joined.back().rfind(kind, 0) == 0) {
                    joined.back() += e.substr(std::string(kind).size());
                    goto next;
                }
            }
            joined.push_back(e);
        next:;
        }
        EXPECT_EQ(joined, expected) << "split at " << split;
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

