#include <gtest/gtest.h>

#include <unordered_set>

#include "KittyTestSupport.h"

using namespace vantel;
using namespace vantel::testing;

namespace {

constexpr int64_t budget = 1 << 20;
constexpr int side = 256;  // 256 KiB of pixels
constexpr int64_t imageBytes = int64_t{side} * side * 4;

// The decoded bytes the store and every slice on the lines of both screens hold, each payload once.
int64_t bytesHeld(KittyTerminal& t) {
    std::unordered_set<const KittyGraphicsPayload*> seen;
    int64_t total = 0;
    auto count = [&](const KittyGraphicsPayload* payload) {
        if (payload && seen.insert(payload).second) total += static_cast<int64_t>(payload->byteSize());
    };
    for (const auto& [id, image] : t.state().imagesById) count(image.payload.get());
    for (Buffer* buffer : {&t->normalBuffer(), &t->altBuffer()}) {
        for (int line = 0; line < buffer->lines().count(); ++line) {
            for (auto* slice : t.slices(line, buffer)) count(slice->source.get());
        }
    }
    return total;
}

struct BudgetCase {
    const char* name;
    std::string keys;  // "N" is replaced by the command's number
};

class KittyImageMemoryBudget : public ::testing::TestWithParam<BudgetCase> {};

// Slices keep what they show alive; it counts, and the oldest goes from the store and the lines alike.
TEST_P(KittyImageMemoryBudget, ShownImagesStayWithinTheBudget) {
    KittyTerminal t(20, 10, [](TerminalOptions& o) {
        o.kittyImageCacheLimitBytes = budget;
        o.scrollback = 100;
    });
    const std::string pixels = base64(zlibCompress(std::string(imageBytes, '\x40')));
    for (int n = 1; n <= 24; ++n) {
        std::string keys = GetParam().keys;
        if (auto at = keys.find('N'); at != std::string::npos) keys.replace(at, 1, std::to_string(n));
        t.feed(kittyApc("a=T,q=2,f=32,o=z,s=256,v=256,c=2,r=1," + keys, pixels));
        ASSERT_LE(bytesHeld(t), budget + imageBytes) << "after image " << n;
        EXPECT_EQ(t.kitty().memory().heldBytes(), bytesHeld(t));
    }
    const bool numbered = GetParam().keys.find("i=N") != std::string::npos;
    if (numbered) {
        EXPECT_NE(t.placements().find("24:"), std::string::npos) << "the newest image is shown";
    }
    t.feed("\x1b[2J");
    EXPECT_EQ(t.kitty().memory().heldBytes(), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, KittyImageMemoryBudget,
                         ::testing::Values(BudgetCase{"storedAndShown", "i=N"}, BudgetCase{"shownOnly", "C=1"},
                                           BudgetCase{"cropped", "x=1,i=N"}, BudgetCase{"placedTwice", "i=N,p=N"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(KittyImageMemory, PutRefreshesAndEvictionTakesStoreAndSlicesTogether) {
    KittyTerminal t(20, 10, [](TerminalOptions& o) { o.kittyImageCacheLimitBytes = 3 * imageBytes; });
    const std::string pixels = base64(std::string(imageBytes, '\x40'));
    for (int id = 1; id <= 3; ++id) t.feed(kittyApc("a=T,q=2,f=32,s=256,v=256,c=1,r=1,i=" + std::to_string(id), pixels));
    t.feed(kittyApc("a=p,q=2,i=1,c=1,r=1"));  // 1 is now more recent than 2
    t.feed(kittyApc("a=T,q=2,f=32,s=256,v=256,c=1,r=1,i=4", pixels));
    EXPECT_FALSE(t.state().imagesById.contains(2));
    EXPECT_TRUE(t.state().imagesById.contains(1));
    EXPECT_EQ(t.placements().find("2:"), std::string::npos) << t.placements();
    EXPECT_LE(bytesHeld(t), 3 * imageBytes);
}

// With no budget at all the image just shown still shows; the one before it goes.
TEST(KittyImageMemory, ZeroBudgetKeepsOnlyTheNewestImage) {
    KittyTerminal t(20, 10, [](TerminalOptions& o) { o.kittyImageCacheLimitBytes = 0; });
    t.feed(kittyApc("a=T,f=24,s=1,v=1,i=1,p=1,c=1,r=1", onePixel) + kittyApc("a=T,f=24,s=1,v=1,i=2,p=1,c=1,r=1", onePixel));
    EXPECT_EQ(t.placements(), "2:1@1,1");
    EXPECT_EQ(t.state().placementsByKey.size(), 1u);
    EXPECT_EQ(t.kitty().memory().heldBytes(), 4);
}

}  // namespace
