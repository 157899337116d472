#include "quiltdeck/panels/JobLines.h"

#include <gtest/gtest.h>

namespace quiltdeck {
namespace {

using Lines = std::vector<std::string>;

struct SplitCase {
    const char* name;
    std::vector<std::string> reads;
    Lines beforeEnd;  // delivered as the reads come
    Lines atEnd;      // delivered by the end of the output
    friend void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }
};

class JobLinesSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(JobLinesSplit, LinesAsTheyArriveAndAtTheEnd) {
    const auto& c = GetParam();
    JobLines lines;
    Lines got;
    for (const auto& read : c.reads) {
        for (auto& line : lines.absorb(read)) got.push_back(line);
    }
    EXPECT_EQ(got, c.beforeEnd);
    EXPECT_EQ(lines.finish(), c.atEnd);
}

const std::string check = "\xE2\x9C\x93";  // ✓

INSTANTIATE_TEST_SUITE_P(
    Cases, JobLinesSplit,
    ::testing::Values(
        SplitCase{"CrLfGivesNoEmptyLine", {"abc\r\ndef\n"}, {"abc", "def"}, {}},
        SplitCase{"PartialLineWaitsForItsEnd", {"ab", "c", "d\nrest"}, {"abcd"}, {"rest"}},
        SplitCase{"PromptOnUnfinishedLineComesAtOnce", {"Paste code here if prompted > "}, {"Paste code here if prompted >"}, {}},
        SplitCase{"ColourCodesAroundTextAreRemoved", {"\x1b[1mbold\x1b[0m\n"}, {"bold"}, {}},
        SplitCase{"OnlyEscapesAndBlanksGiveNothing", {"  \x1b[2K\x1b[1G \t\n"}, {}, {}},
        SplitCase{"BareCarriageReturnsSplitProgress", {"10%\r20%\r30%"}, {"10%", "20%"}, {"30%"}},
        SplitCase{"CheckMarkCutBetweenReads",
                  {check.substr(0, 1), check.substr(1, 1), check.substr(2) + " Installed\n"}, {check + " Installed"}, {}},
        SplitCase{"CheckMarkCutAfterAPrompt", {"> " + check.substr(0, 2), check.substr(2) + "\n"}, {">", check}, {}},
        SplitCase{"MalformedBytesBecomeReplacements", {"a\xff" "b\n"}, {"a\xEF\xBF\xBD" "b"}, {}},
        SplitCase{"GreaterThanInsideAnEscapeIsNoPrompt", {"\x1b[>4;1mwait"}, {}, {"wait"}},
        SplitCase{"UnfinishedLastLineAtTheEnd", {"done"}, {}, {"done"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct CleanCase {
    const char* name;
    std::string bytes;
    std::string shown;
    friend void PrintTo(const CleanCase& c, std::ostream* os) { *os << c.name; }
};

class JobLinesClean : public ::testing::TestWithParam<CleanCase> {};

TEST_P(JobLinesClean, EveryEscapeAndControlButTabGoes) { EXPECT_EQ(JobLines::clean(GetParam().bytes), GetParam().shown); }

const std::string url = "https://claude.com/cai/oauth/authorize?code=true&state=x";

INSTANTIATE_TEST_SUITE_P(
    Cases, JobLinesClean,
    ::testing::Values(
        CleanCase{"Osc8LinkGivesItsText",
                  "visit: \x1b]8;;" + url + "\x1b\\\x1b[94m" + url + "\x1b[39m\x1b]8;;\x1b\\", "visit: " + url},
        CleanCase{"TitleEndedByBel", "\x1b]0;title\x07text", "text"},
        CleanCase{"UnterminatedOscRunsToTheEnd", "text\x1b]8;;https://evil.example/", "text"},
        CleanCase{"DcsAndApcStrings", "a\x1bPq#0;2;0;0;0\x1b\\b\x1b_Gf=100;AAAA\x1b\\c", "abc"},
        CleanCase{"EightBitCsiAndOsc", "a\xC2\x9B" "31mb\xC2\x9D" "0;t\xC2\x9C" "c", "abc"},
        CleanCase{"CharsetAndKeypadEscapes", "\x1b(Ba\x1b=b\x1b" "7c", "abc"},
        CleanCase{"ControlsGoTabStays", "a\x01\x08\x7f" "b\tc", "ab\tc"},
        CleanCase{"TrailingLoneEscape", "abc\x1b", "abc"},
        CleanCase{"BlanksAndTabsTrimmed", " \t x \t ", "x"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JobLinesTest, EndlessLineComesInPiecesCutBetweenCharacters) {
    JobLines lines;
    // 'a' then two-byte characters, so that the limit falls inside one of them.
    std::string text = "a";
    while (text.size() < JobLines::maxLine + 100) text += "\xC3\xA9";
    const auto got = lines.absorb(text);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].size(), JobLines::maxLine - 1);
    const auto rest = lines.finish();
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(got[0].size() + rest[0].size(), text.size());
    EXPECT_EQ(rest[0].substr(0, 2), "\xC3\xA9");
}

struct UrlCase {
    const char* name;
    std::string line;
    std::optional<std::string> url;
    friend void PrintTo(const UrlCase& c, std::ostream* os) { *os << c.name; }
};

class JobLinesUrl : public ::testing::TestWithParam<UrlCase> {};

TEST_P(JobLinesUrl, SignInAddress) { EXPECT_EQ(JobLines::loginURL(GetParam().line), GetParam().url); }

INSTANTIATE_TEST_SUITE_P(
    Cases, JobLinesUrl,
    ::testing::Values(
        UrlCase{"AfterText", "If the browser didn't open, visit: " + url, url},
        UrlCase{"EndsAtABlank", "visit " + url + " and paste", url},
        UrlCase{"EndsAtATab", "visit " + url + "\tnext", url},
        UrlCase{"WithPort", "https://localhost:8080/cb", "https://localhost:8080/cb"},
        UrlCase{"PlainHttpIsNot", "http://claude.com/x", std::nullopt},
        UrlCase{"NoHost", "https:///path", std::nullopt},
        UrlCase{"BadHost", "https://exa_mple.com/", std::nullopt},
        UrlCase{"BadPort", "https://example.com:80a/", std::nullopt},
        UrlCase{"TooLong", "https://example.com/" + std::string(JobLines::maxURL, 'a'), std::nullopt},
        UrlCase{"LongestAllowed", "https://e.com/" + std::string(JobLines::maxURL - 14, 'a'),
                "https://e.com/" + std::string(JobLines::maxURL - 14, 'a')},
        UrlCase{"NoAddress", "Opening browser to sign in", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quiltdeck
