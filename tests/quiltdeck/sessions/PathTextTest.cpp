#include "quiltdeck/sessions/PathText.h"

#include <gtest/gtest.h>

namespace quiltdeck {
namespace {

TEST(PathText, HomeIsReplacedOnlyAsTheLeadingFolder) {
    const struct {
        const char* path;
        const char* home;
        const char* abbreviated;
    } cases[] = {
        {"/home/al/x", "/home/al", "~/x"},
        {"/home/al", "/home/al", "~"},
        {"/home/al/x", "/home/al/", "~/x"},
        {"/home/alice/x", "/home/al", "/home/alice/x"},
        {"/srv/home/al/x", "/home/al", "/srv/home/al/x"},
        {"/home/al/home/al", "/home/al", "~/home/al"},
        {"/x", "", "/x"},
        {"/x", "/", "~/x"},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(abbreviatingHome(test.path, test.home), test.abbreviated) << test.path << " " << test.home;
    }
}

}  // namespace
}  // namespace quiltdeck
