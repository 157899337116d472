#include "quiltdeck/shell/Shorten.h"

#include <gtest/gtest.h>

namespace quiltdeck {
namespace {

TEST(Shorten, CollapsesWhiteSpaceAndCutsWithAnEllipsis) {
    const std::string sixty = "abcdefghij abcdefghij abcdefghij abcdefghij ab, efghijklmnop";  // a comma is 47th
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
    struct Case {
        std::string text;
        int max;
        std::string expected;
    };
    const Case cases[] = {
        {"  Fix   the\nbuild  ", 48, "Fix the build"},
        {"\u3000a\u00A0\u2028b\u0085", 10, "a b"},
        {sixty, 48, "abcdefghij abcdefghij abcdefghij abcdefghij ab…"},
        {std::string(48, 'x'), 48, std::string(48, 'x')},
        {std::string(49, 'x'), 48, std::string(47, 'x') + "…"},
        {"- short", 48, "- short"},
        {"- " + std::string(60, 'y'), 10, std::string(7, 'y') + "…"},
        {"ab, cd.: efgh", 9, "ab, cd…"},
        {family + family + family, 2, family + "…"},
        {"e\u0301e\u0301e\u0301", 3, "e\u0301e\u0301e\u0301"},
        {"abc", 1, "…"},
        {"abc", 0, ""},
        {"abc", -5, ""},
        {"   ", 5, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(shorten(c.text, c.max), c.expected) << c.text << " / " << c.max;
}

// A cut never keeps part of a character, and a text that is no UTF-8 is cut where asked.
TEST(Shorten, PrefixWithinEndsOnACharacterBoundary) {
    struct Case {
        std::string text;
        size_t bytes;
        std::string expected;
    };
    const Case cases[] = {
        {"abc", 3, "abc"},
        {"abc", 2, "ab"},
        {"a\u4E2D", 3, "a"},
        {"a\U0001F600", 4, "a"},
        {"a\U0001F600", 5, "a\U0001F600"},
        {"\x80\x80\x80\x80\x80", 4, "\x80"},
    };
    for (const Case& c : cases) EXPECT_EQ(prefixWithin(c.text, c.bytes), c.expected) << c.text << " / " << c.bytes;
}

}  // namespace
}  // namespace quiltdeck
