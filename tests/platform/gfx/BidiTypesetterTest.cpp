#include "platform/gfx/BidiTypesetter.h"

#include <gtest/gtest.h>

using namespace platform::gfx;

// Lines are reordered on their own over levels resolved for the whole text.
TEST(BidiTypesetterTest, LinesOfOneParagraph) {
    struct Case {
        const char* name;
        std::u16string text;
        bool rightToLeft;
        int start, length;
        std::optional<std::vector<int>> indices;  // string indices from left to right
        std::vector<bool> rtl;                   // per glyph, left to right
    } cases[] = {
        {"latin then hebrew", u"ab\u05D0\u05D1", false, 0, 4, std::vector<int>{0, 1, 3, 2}, {false, false, true, true}},
        {"forced right-to-left", u"ab\u05D0\u05D1", true, 0, 4, std::vector<int>{3, 2, 0, 1}, {true, true, false, false}},
        {"second line alone", u"ab\u05D0\u05D1", true, 2, 2, std::vector<int>{3, 2}, {true, true}},
        {"digits keep their order in a right-to-left run", u"\u05D012", true, 0, 3, std::vector<int>{1, 2, 0},
         {false, false, true}},
        {"a line across a paragraph separator", u"a\u2029b", false, 0, 3, std::nullopt, {}},
        {"a range outside the text", u"abc", false, 2, 2, std::nullopt, {}},
        {"an empty range", u"abc", false, 1, 0, std::nullopt, {}},
    };
    for (const Case& tc : cases) {
        auto typesetter = BidiTypesetter::make(tc.text, tc.rightToLeft);
        ASSERT_TRUE(typesetter) << tc.name;
        auto glyphs = typesetter->line(tc.start, tc.length);
        ASSERT_EQ(glyphs.has_value(), tc.indices.has_value()) << tc.name;
        if (!glyphs) continue;
        std::vector<int> indices;
        std::vector<bool> rtl;
        for (size_t i = 0; i < glyphs->size(); ++i) {
            indices.push_back((*glyphs)[i].stringIndex);
            rtl.push_back((*glyphs)[i].rightToLeft);
            EXPECT_EQ((*glyphs)[i].x, double(i)) << tc.name;
        }
        EXPECT_EQ(indices, *tc.indices) << tc.name;
        EXPECT_EQ(rtl, tc.rtl) << tc.name;
    }
    EXPECT_FALSE(BidiTypesetter::make(u"", false));
}
