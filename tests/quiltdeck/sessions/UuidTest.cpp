#include "quiltdeck/sessions/Uuid.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>

namespace quiltdeck {
namespace {

TEST(UuidTest, RandomVersionFourInUpperCase) {
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const std::string id = newUuid();
        ASSERT_EQ(id.size(), 36u);
        for (size_t at = 0; at < id.size(); ++at) {
            const bool dash = at == 8 || at == 13 || at == 18 || at == 23;
            EXPECT_TRUE(dash ? id[at] == '-' : std::isxdigit(static_cast<unsigned char>(id[at])) && !std::islower(id[at]))
                << id;
        }
        EXPECT_EQ(id[14], '4') << id;
        EXPECT_NE(std::string("89AB").find(id[19]), std::string::npos) << id;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 100u);
}

}  // namespace
}  // namespace quiltdeck
