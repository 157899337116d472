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

// Every line of the conformance file: the boundaries, the same one scalar at a time from a
// breaker reused across lines (reset must forget everything), and the single-cluster test.
TEST(GraphemeBreakerTest, Conformance) {
    ASSERT_GT(breakTests().size(), 1000u);
    GraphemeBreaker breaker;
    for (const BreakCase& tc : breakTests()) {
        const std::u32string& t = tc.text;
        EXPECT_EQ(graphemeBoundaries(t), tc.boundaries) << "line " << tc.line << ": " << tc.source;
        breaker.reset();
        std::vector<size_t> incremental;
        for (size_t i = 0; i < t.size(); ++i) {
            if (breaker.isBoundary(t[i])) incremental.push_back(i);
        }
        incremental.push_back(t.size());
        EXPECT_EQ(incremental, tc.boundaries) << "line " << tc.line << ": " << tc.source;
        const bool single = tc.boundaries.size() == 2;
        EXPECT_EQ(isSingleGraphemeCluster(t), single) << "line " << tc.line << ": " << tc.source;
        EXPECT_EQ(isSingleGraphemeCluster(std::u32string_view(t.data(), t.size() - 1), t.back()), single)
            << "line " << tc.line << ": " << tc.source;
    }
}

TEST(GraphemeBreakerTest, InputsTheFileDoesNotHave) {
    struct Case {
        const char* name;
        std::u32string text;
        std::vector<size_t> boundaries;
    };
    const std::vector<Case> cases = {
        {"empty", U"", {}},
        {"not a scalar", std::u32string{char32_t(0x110000), char32_t(0xD800)}, {0, 1, 2}},
        {"conjunct with nukta and ZWJ", U"\u0915\u093C\u094D\u200D\u0937", {0, 5}},
        {"virama after a vowel", U"\u0905\u094D\u0915", {0, 2, 3}},
    };
    for (const Case& tc : cases) {
        EXPECT_EQ(graphemeBoundaries(tc.text), tc.boundaries) << tc.name;
        EXPECT_EQ(isSingleGraphemeCluster(tc.text), tc.boundaries.size() == 2) << tc.name;
    }
    EXPECT_TRUE(isSingleGraphemeCluster(U"", U'a')) << "a lone scalar is one cluster";
    EXPECT_FALSE(isSingleGraphemeCluster(U"ab", 0x0301)) << "the prefix is already two clusters";
}
