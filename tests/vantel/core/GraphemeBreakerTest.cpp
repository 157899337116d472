#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "vantel/core/Character.h"
#include "vantel/core/GraphemeBreaker.h"

using namespace vantel;

namespace {

struct BreakCase {
    int line = 0;
    std::string source;
    std::u32string text;
    std::vector<size_t> boundaries;
};

// Lines look like "÷ 0020 × 0308 ÷ 0020 ÷"; ÷ marks a boundary, × none.
std::vector<BreakCase> loadBreakTests() {
    std::ifstream in(QUILTDECK_TEST_DATA "/GraphemeBreakTest.txt");
    std::vector<BreakCase> cases;
    std::string line;
    for (int lineNo = 1; std::getline(in, line); ++lineNo) {
        if (line.empty() || line[0] == '#') continue;
        BreakCase tc;
        tc.line = lineNo;
        tc.source = line;
        std::istringstream words(line);
        std::string word;
        while (words >> word) {
            if (word == "\xC3\xB7") {  // ÷
                tc.boundaries.push_back(tc.text.size());
            } else if (word != "\xC3\x97") {  // ×
                tc.text.push_back(static_cast<char32_t>(std::stoul(word, nullptr, 16)));
            }
        }
        cases.push_back(std::move(tc));
    }
    return cases;
}

const std::vector<BreakCase>& breakTests() {
    static const std::vector<BreakCase> cases = loadBreakTests();
    return cases;
}

}  // namespace

TEST(GraphemeBreakerTest, ConformanceFileIsThere) { EXPECT_GT(breakTests().size(), 1000u); }

TEST(GraphemeBreakerTest, ConformanceBoundaries) {
    for (const BreakCase& tc : breakTests()) {
        EXPECT_EQ(graphemeBoundaries(tc.text), tc.boundaries) << "line " << tc.line << ": " << tc.source;
    }
}

TEST(GraphemeBreakerTest, ConformanceIncremental) {
    GraphemeBreaker breaker;
    for (const BreakCase& tc : breakTests()) {
        // One breaker reused across lines checks that reset() forgets everything.
        breaker.reset();
        std::vector<size_t> got;
        for (size_t i = 0; i < tc.text.size(); ++i) {
            if (breaker.isBoundary(tc.text[i])) got.push_back(i);
        }
        got.push_back(tc.text.size());
        EXPECT_EQ(got, tc.boundaries) << "line " << tc.line << ": " << tc.source;
    }
}

TEST(GraphemeBreakerTest, ConformanceSingleCluster) {
    for (const BreakCase& tc : breakTests()) {
        const std::u32string& t = tc.text;
        bool single = tc.boundaries.size() == 2;
        EXPECT_EQ(isSingleGraphemeCluster(t), single) << "line " << tc.line << ": " << tc.source;
        std::u32string_view prefix(t.data(), t.size() - 1);
        EXPECT_EQ(isSingleGraphemeCluster(prefix, t.back()), single) << "line " << tc.line << ": " << tc.source;
    }
}

TEST(GraphemeBreakerTest, DirectCases) {
    struct Case {
        const char* name;
        std::u32string text;
        std::vector<size_t> boundaries;
    };
    const std::vector<Case> cases = {
        {"empty", U"", {}},
        {"e + combining acute", U"e\u0301", {0, 2}},
        {"CR LF", U"\r\n", {0, 2}},
        {"LF CR", U"\n\r", {0, 1, 2}},
        {"combining mark after control", U"\n\u0301", {0, 1, 2}},
        {"flag", U"\U0001F1E9\U0001F1EA", {0, 2}},
        {"two flags", U"\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7", {0, 2, 4}},
        {"three indicators", U"\U0001F1E9\U0001F1EA\U0001F1EB", {0, 2, 3}},
        {"family ZWJ sequence", U"\U0001F468\u200D\U0001F469\u200D\U0001F467", {0, 5}},
        {"skin tone then ZWJ", U"\U0001F44D\U0001F3FD\u200D\U0001F525", {0, 4}},
        {"ZWJ after a letter does not join", U"a\u200D\U0001F600", {0, 2, 3}},
        {"heart with emoji selector", U"\u2764\uFE0F", {0, 2}},
        {"Devanagari conjunct", U"\u0915\u094D\u0937", {0, 3}},
        {"conjunct with nukta and ZWJ", U"\u0915\u093C\u094D\u200D\u0937", {0, 5}},
        {"virama after a vowel", U"\u0905\u094D\u0915", {0, 2, 3}},
        {"Hangul syllable from jamo", U"\u1100\u1161\u11A8", {0, 3}},
        {"Hangul LV then L", U"\uAC00\u1100", {0, 1, 2}},
        {"prepend joins", U"\u0600\u0661", {0, 2}},
        {"not a scalar", std::u32string{char32_t(0x110000), char32_t(0xD800)}, {0, 1, 2}},
    };
    for (const Case& tc : cases) {
        EXPECT_EQ(graphemeBoundaries(tc.text), tc.boundaries) << tc.name;
        EXPECT_EQ(isSingleGraphemeCluster(tc.text), tc.boundaries.size() == 2) << tc.name;
    }
}

TEST(GraphemeBreakerTest, JoiningCandidates) {
    struct Case {
        std::u32string target;
        char32_t next;
        bool joins;
    };
    const Case cases[] = {
        {U"e", 0x0301, true},
        {U"", U'a', true},  // a lone scalar is one cluster
        {U"\U0001F1E9", 0x1F1EA, true},
        {U"\U0001F1E9\U0001F1EA", 0x1F1EB, false},
        {U"\U0001F468\u200D", 0x1F469, true},
        {U"a", U'b', false},
        {U"ab", 0x0301, false},  // the prefix is already two clusters
        {U"\u0915\u094D", 0x0937, true},
        {U"\u231A", 0xFE0E, true},
    };
    for (const Case& tc : cases) {
        EXPECT_EQ(isSingleGraphemeCluster(tc.target, tc.next), tc.joins) << toUtf8(tc.target);
        EXPECT_EQ(isSingleGraphemeCluster(tc.target + tc.next), tc.joins) << toUtf8(tc.target);
    }
}
