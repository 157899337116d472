#include "platform/gfx/BidiTypesetter.h"

#include <gtest/gtest.h>

using namespace platform::gfx;

// Levels come from the whole text, each line is reordered on its own; the orders themselves are
// pinned by the layout's tests.
TEST(BidiTypesetterTest, LinesOfOneParagraph) {
    auto typesetter = BidiTypesetter::make(u"ab\u05D0\u05D1\u2029c", true);
    ASSERT_TRUE(typesetter);
    auto line = typesetter->line(1, 3);
    ASSERT_TRUE(line);
    ASSERT_EQ(line->size(), 3u);
    const int indices[] = {3, 2, 1};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ((*line)[i].stringIndex, indices[i]);
        EXPECT_EQ((*line)[i].x, double(i));
        EXPECT_EQ((*line)[i].rightToLeft, i < 2);
    }
    EXPECT_FALSE(typesetter->line(3, 3)) << "across the paragraph separator";
    EXPECT_FALSE(typesetter->line(5, 2)) << "past the end";
    EXPECT_FALSE(typesetter->line(1, 0));
    EXPECT_FALSE(BidiTypesetter::make(u"", false));
}
