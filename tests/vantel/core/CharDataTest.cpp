#include <gtest/gtest.h>

#include "vantel/core/CharData.h"

using namespace vantel;

TEST(CharDataTest, NullIsBlankWithDefaultAttribute) {
    EXPECT_EQ(CharData::Null.code, 0);
    EXPECT_EQ(CharData::Null.width, 1);
    EXPECT_EQ(CharData::Null.attribute, Attribute::defaultAttribute);
    EXPECT_NE(Attribute::empty, Attribute::defaultAttribute);
}
