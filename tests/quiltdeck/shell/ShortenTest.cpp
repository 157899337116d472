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

}  // namespace
}  // namespace quiltdeck
