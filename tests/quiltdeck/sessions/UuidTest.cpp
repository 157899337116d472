#include "quiltdeck/sessions/Uuid.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace quiltdeck {
namespace {

TEST(UuidTest, RandomVersionFourInUpperCase) {
    const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const std::string id = newUuid();
        EXPECT_TRUE(std::regex_match(id, form)) << id;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 100u);
}

}  // namespace
}  // namespace quiltdeck
