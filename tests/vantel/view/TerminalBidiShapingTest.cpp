#include <gtest/gtest.h>

#include "vantel/view/TerminalBidi.h"
#include "vantel/view/generated/BidiUnicodeTables.h"

using namespace vantel;
using Display = std::optional<Character>;

namespace {

std::vector<TerminalBidi::Cell> cellsOf(const std::vector<Character>& texts) {
    std::vector<TerminalBidi::Cell> cells;
    for (const Character& text : texts) cells.push_back({0, static_cast<int>(cells.size()), 1, text});
    return cells;
}

std::string show(const std::vector<Display>& display) {
    std::string out;
    for (const Display& d : display) {
        out += "[";
        if (d) out += toUtf8(*d);
        out += "]";
    }
    return out;
}

const Display none = std::nullopt;
const Character beh = U"\u0628", alef = U"\u0627", lam = U"\u0644", noon = U"\u06BA";

}  // namespace

TEST(TerminalBidiShapingTest, ContextualForms) {
    struct Case {
        const char* name;
        std::vector<Character> cells;
        std::vector<Display> expected;
    } cases[] = {
        {"beh alone", {beh}, {U"\uFE8F"}},
        {"beh beh", {beh, beh}, {U"\uFE91", U"\uFE90"}},
        {"beh beh beh", {beh, beh, beh}, {U"\uFE91", U"\uFE92", U"\uFE90"}},
        {"alef cannot join forward", {alef, beh}, {U"\uFE8D", U"\uFE8F"}},
        {"beh alef", {beh, alef}, {U"\uFE91", U"\uFE8E"}},
        {"a mark cell is skipped by both scans", {beh, U"\u064E", beh}, {U"\uFE91", none, U"\uFE90"}},
        {"zero width non-joiner", {beh, U"\u200C", beh}, {U"\uFE8F", none, U"\uFE8F"}},
        {"tatweel joins both ways", {beh, U"\u0640", beh}, {U"\uFE91", none, U"\uFE90"}},
        {"lam alef after nothing", {lam, alef}, {U"\uFEFB", U" "}},
        {"lam alef after beh", {beh, lam, alef}, {U"\uFE91", U"\uFEFC", U" "}},
        {"lam then a mark cell then alef is no ligature", {lam, U"\u064E", alef}, {U"\uFEDF", none, U"\uFE8E"}},
        {"marks of both cells follow the ligature", {U"\u0644\u064E", U"\u0627\u0651"}, {U"\uFEFB\u064E\u0651", U" "}},
        {"a mark in the cell follows its form", {U"\u0628\u0650", beh}, {U"\uFE91\u0650", U"\uFE90"}},
        {"noon ghunna between behs has no medial", {beh, noon, beh}, {U"\uFE91", U"\uFB9F", U"\uFE90"}},
        {"noon ghunna starting a word has no initial", {noon, beh}, {U"\uFB9E", U"\uFE90"}},
        {"hamza never joins", {beh, U"\u0621", beh}, {U"\uFE8F", U"\uFE80", U"\uFE8F"}},
        {"latin breaks joining", {beh, U"x", beh}, {U"\uFE8F", none, U"\uFE8F"}},
        {"an empty cell reads as a space", {beh, U"", beh}, {U"\uFE8F", none, U"\uFE8F"}},
        {"nothing", {}, {}},
    };
    for (const Case& tc : cases) {
        EXPECT_EQ(show(TerminalBidi::shapeArabic(cellsOf(tc.cells))), show(tc.expected)) << tc.name;
    }
}

TEST(TerminalBidiShapingTest, JoiningTypes) {
    using J = TerminalBidi::Joining;
    const std::pair<char32_t, J> cases[] = {
        {0x0620, J::dual},    {0x0627, J::right},       {0x0640, J::causing},     {0x200D, J::causing},
        {0xA872, J::left},    {0x1E94B, J::transparent}, {0x070F, J::transparent}, {0x064E, J::transparent},
        {0x200C, J::none},    {0x0621, J::none},        {U'a', J::none},          {0xFFFFFFFF, J::none},
    };
    for (const auto& [scalar, type] : cases) EXPECT_EQ(TerminalBidi::joiningType(scalar), type) << uint32_t(scalar);
}

TEST(TerminalBidiShapingTest, Mirroring) {
    const std::tuple<Character, bool, Display> cases[] = {
        {U"(", false, U")"},           {U">", false, U"<"},           {U"\uFF62", false, U"\uFF63"},
        {U"\u250C", false, none},      {U"\u250C", true, U"\u2510"},  {U"\u2578", true, U"\u257A"},
        {U"\u2500", true, none},       {U"(\u0301", true, none},      {U"a", true, none},
        {U"", true, none},
    };
    for (const auto& [text, box, expected] : cases) EXPECT_EQ(TerminalBidi::mirroredText(text, box), expected);
}

// The generated tables hold the counts the data gives (the generator checks them first).
TEST(TerminalBidiShapingTest, TableSizes) {
    EXPECT_EQ(std::tuple(ucd::unicode17JoiningRanges.size(), ucd::unicode17Forms.size(), ucd::unicode17Mirror.size()),
              std::tuple(157u, 76u, 428u));
}
