#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "support/BufferTextFill.h"
#include "support/TerminalTestSupport.h"
#include "vantel/core/SearchService.h"
#include "vantel/core/SelectionService.h"

using namespace vantel;
using vantel::testing::TestTerminal;
using vantel::testing::writeCells;

namespace {

struct Row {
    const char* text;
    bool wrapped = false;
};

struct Fixture {
    explicit Fixture(std::vector<Row> rows, int cols = 10) : t(cols, static_cast<int>(rows.size())), search(*t) {
        for (size_t i = 0; i < rows.size(); ++i) writeCells(t->buffer(), static_cast<int>(i), rows[i].text, 0, rows[i].wrapped);
    }
    TestTerminal t;
    SearchService search;
};

const SearchOptions plain(false, false, false);
const SearchOptions caseSensitive(true, false, false);
const SearchOptions regex(false, true, false);
const SearchOptions wholeWord(false, false, true);

}  // namespace

TEST(SearchServiceTest, FirstMatchFromTheTop) {
    struct Case {
        const char* name;
        std::vector<Row> rows;
        std::string term;
        std::optional<SearchOptions> options;
        std::optional<SearchResult> expected;
    } cases[] = {
        {"split across a wrap", {{"xxxxxxxhel"}, {"lo", true}}, "hello", plain, SearchResult{"hello", 7, 0, 5}},
        {"not across a hard line end", {{"xxxxxxxhel"}, {"lo"}}, "hello", plain, std::nullopt},
        {"case-insensitive by default", {{"say HeLLo"}}, "hello", std::nullopt, SearchResult{"hello", 4, 0, 5}},
        {"case-sensitive", {{"HELLO"}, {"hello"}}, "hello", caseSensitive, SearchResult{"hello", 0, 1, 5}},
        {"wide character: one character, two cells",
         {{"a\xe4\xb8\xad" "bc"}}, "\xe4\xb8\xad" "b", plain, SearchResult{"\xe4\xb8\xad" "b", 1, 0, 3}},
        {"after a wide character", {{"\xe4\xb8\xad\xe4\xb8\xad" "x"}}, "x", plain, SearchResult{"x", 4, 0, 1}},
        {"regex gives the matched text", {{"id=42;"}}, "[0-9]+", regex, SearchResult{"42", 3, 0, 2}},
        {"bad pattern", {{"abc"}}, "(", regex, std::nullopt},
        {"empty first match is none", {{"abc"}}, "x*", regex, std::nullopt},
        {"regex special characters are literal in a plain search", {{"a.c abc"}}, "a.c", plain,
         SearchResult{"a.c", 0, 0, 3}},
        {"whole word skips a part of a word", {{"cart car"}}, "car", wholeWord, SearchResult{"car", 5, 0, 3}},
        {"whole word by punctuation", {{"(car)"}}, "car", wholeWord, SearchResult{"car", 1, 0, 3}},
        {"empty term", {{"abc"}}, "", plain, std::nullopt},
    };
    for (const auto& c : cases) {
        Fixture f(c.rows, 10);
        EXPECT_EQ(f.search.findNext(c.term, c.options), c.expected) << c.name;
    }
}

TEST(SearchServiceTest, NextAndPreviousContinueAndWrapAround) {
    struct Step {
        bool next;
        const char* term;
        std::pair<int, int> at;  // col, row
    };
    const std::vector<std::pair<std::vector<Row>, std::vector<Step>>> cases = {
        {{{"foo"}, {"bar foo"}, {"baz"}},
         {{true, "foo", {0, 0}}, {true, "foo", {4, 1}}, {true, "foo", {0, 0}},  // wraps from the end to the top
          {true, "fo", {0, 0}}}},  // a changed term starts at the previous match's start
        {{{"foo"}, {"bar foo"}, {"baz"}}, {{false, "foo", {4, 1}}, {false, "foo", {0, 0}}, {false, "foo", {4, 1}}}},
        {{{"abcdefghij"}, {"klm needle", true}, {"zz"}}, {{false, "needle", {4, 1}}, {false, "needle", {4, 1}}}},
    };
    for (const auto& [rows, steps] : cases) {
        Fixture f(rows);
        for (const Step& step : steps) {
            auto found = step.next ? f.search.findNext(step.term, plain) : f.search.findPrevious(step.term, plain);
            ASSERT_TRUE(found) << rows[0].text << " " << step.term;
            EXPECT_EQ(std::pair(found->col, found->row), step.at) << rows[0].text << " " << step.term;
        }
    }
    Fixture f({{"foo"}});
    f.search.findNext("foo", plain);
    EXPECT_EQ(f.search.lastSelection, (SearchSelection{{0, 0}, {3, 0}}));
}

TEST(SearchServiceTest, FindAllAndSummary) {
    Fixture f({{"aa aaaaaaa"}, {"a x", true}, {"aa"}});
    EXPECT_TRUE(f.search.findAll("aa", plain, 0).empty());
    auto all = f.search.findAll("aa", plain, 100);
    ASSERT_EQ(all.size(), 6u);
    EXPECT_EQ(all[4], (SearchResult{"aa", 9, 0, 2})) << "spans the wrap into row 1";
    EXPECT_EQ(std::pair(all[5].col, all[5].row), std::pair(0, 2));
    EXPECT_EQ(f.search.findAll("aa", plain, 2).size(), 2u);

    f.search.findNext("aa", plain);
    f.search.findNext("aa", plain);
    EXPECT_EQ(f.search.searchMatchSummary("aa", plain, 100), std::pair(2, 6));
    f.search.reset();
    EXPECT_EQ(f.search.searchMatchSummary("aa", plain, 100), std::pair(0, 6));
    EXPECT_FALSE(f.search.state.cachedSearchTerm);
}

// The pattern would backtrack for longer than anyone waits; the match engine counts its steps
// and stops at the limit (the bound is in its steps, not in time).
TEST(SearchServiceTest, RunawayPatternTimesOutAsNoMatch) {
    std::string text(40, 'a');
    Fixture f({{(text + "!").c_str()}}, 60);
    f.search.engine.regexTimeLimit = 10;
    EXPECT_EQ(f.search.findNext("(a+)+$", regex), std::nullopt);
    EXPECT_TRUE(f.search.engine.timedOut());
    EXPECT_TRUE(f.search.findNext("a!", regex)) << "the next search starts afresh";
}

TEST(SearchServiceTest, CacheFollowsTheBuffer) {
    Fixture f({{"old"}});
    double now = 100;
    f.search.lineCache.clock = [&] { return now; };
    EXPECT_TRUE(f.search.findNext("old", plain));
    writeCells(f.t->buffer(), 0, "new");
    EXPECT_TRUE(f.search.findNext("old", plain)) << "cached text is reused for a while";
    now += 16;
    EXPECT_FALSE(f.search.findNext("old", plain)) << "then rebuilt";
    writeCells(f.t->buffer(), 0, "old");
    f.search.invalidate();
    EXPECT_TRUE(f.search.findNext("old", plain));
    EXPECT_FALSE(f.search.lastSelection == std::nullopt);
}

TEST(SearchServiceTest, ViewSideSelectsAndRevealsTheMatch) {
    TestTerminal t(10, 4, [](TerminalOptions& o) { o.scrollback = 100; });
    Buffer& b = t->buffer();
    for (int i = 0; i < 30; ++i) b.lines().push(b.getBlankLine(Attribute::defaultAttribute));
    b.setYBase(30);
    b.setYDisp(30);
    writeCells(b, 5, "target");
    SearchService search(*t);
    SelectionService selection(*t);
    search.selection = &selection;
    std::vector<int> scrolledTo;
    search.scrollTo = [&](int row) { scrolledTo.push_back(row); };

    EXPECT_TRUE(search.findNextAndSelect("target", plain));
    EXPECT_EQ(selection.start(), (Position{0, 5}));
    EXPECT_EQ(selection.end(), (Position{6, 5}));
    EXPECT_EQ(scrolledTo, (std::vector<int>{3})) << "centred";
    EXPECT_FALSE(search.findNextAndSelect("absent", plain));
    EXPECT_FALSE(selection.active());

    search.scrollTo = nullptr;
    search.scrollToReveal(20);
    EXPECT_EQ(b.yDisp(), 18);
    search.clearSearch();
    EXPECT_FALSE(search.state.cachedSearchTerm);
}

TEST(SearchServiceTest, RandomCellsAndTermsNeverMisplaceAMatch) {
    std::mt19937 random(11);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution(lo, hi)(random); };
    const char* terms[] = {"a", "ab", "\xe4\xb8\xad" "a", "b.", ".", "a|b", "(?<=a)b", "\\b", "x*"};
    for (int round = 0; round < 30; ++round) {
        TestTerminal t(pick(2, 12), pick(1, 6));
        Buffer& b = t->buffer();
        for (int i = 0; i < b.lines().count(); ++i) {
            BufferLine& line = b.lines()[i];
            for (int c = 0; c < line.count(); ++c) {
                const int kind = pick(0, 4);
                const int32_t code = kind == 0 ? 0 : kind == 1 ? 0x4E2D : kind == 2 ? 0x500000 : 'a' + pick(0, 2);
                line.setCell(c, CharData(Attribute::defaultAttribute, code, static_cast<int8_t>(kind == 1 ? 2 : pick(0, 1))));
            }
            line.setWrapped(pick(0, 1) == 1);
        }
        SearchService search(*t);
        for (const char* term : terms) {
            const SearchOptions options(pick(0, 1) == 1, pick(0, 1) == 1, pick(0, 1) == 1);
            for (int step = 0; step < 4; ++step) {
                auto next = pick(0, 1) ? search.findNext(term, options) : search.findPrevious(term, options);
                if (!next) continue;
                ASSERT_GE(next->row, 0);
                ASSERT_LT(next->row, b.lines().count());
                ASSERT_GE(next->col, 0);
                ASSERT_GE(next->size, 1);
            }
            for (const auto& match : search.findAll(term, options, 50)) ASSERT_LT(match.row, b.lines().count());
        }
    }
}
