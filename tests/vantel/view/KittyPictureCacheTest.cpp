#include "vantel/view/KittyPictureCache.h"

#include <gtest/gtest.h>

using namespace vantel;

namespace {

constexpr size_t pictureBytes = 64 * 64 * 4;

std::vector<std::shared_ptr<const KittyGraphicsPayload>> payloads(int count) {
    std::vector<std::shared_ptr<const KittyGraphicsPayload>> out;
    for (int i = 0; i < count; ++i) {
        out.push_back(std::make_shared<KittyGraphicsPayload>(
            KittyGraphicsPayload::rgba(std::vector<uint8_t>(pictureBytes, static_cast<uint8_t>(i)), 64, 64)));
    }
    return out;
}

}  // namespace

// Seventeen pictures shown cell by cell in turn, as placeholders alternating across a screen: each
// is made once in the first frame and found in the next, whether the budget holds them all, one
// fewer (the frame's pictures stay over it) or none.
TEST(KittyPictureCache, AFrameMakesEachPictureOnce) {
    const auto pictures = payloads(17);
    for (size_t budget : {17 * pictureBytes, 16 * pictureBytes, size_t{0}}) {
        KittyPictureCache cache;
        for (int frame = 0; frame < 2; ++frame) {
            cache.beginFrame(budget);
            for (int cell = 0; cell < 80 * 24; ++cell) ASSERT_NE(cache.picture(pictures[cell % 17]), nullptr);
            EXPECT_EQ(cache.made(), 17u) << budget << " after frame " << frame;
        }
    }
}

// Past the budget the least recently used pictures go, one at a time, and never one the frame
// being drawn has shown.
TEST(KittyPictureCache, LeastRecentlyUsedGoFirst) {
    const auto pictures = payloads(5);
    KittyPictureCache cache;
    cache.beginFrame(3 * pictureBytes);
    for (int i : {0, 1, 2, 3}) cache.picture(pictures[i]);  // all four in one frame: over the budget
    EXPECT_EQ(cache.count(), 4u);
    cache.beginFrame(3 * pictureBytes);
    cache.picture(pictures[0]);
    cache.picture(pictures[4]);  // makes room: 1 and 2 go, 3 stays
    EXPECT_EQ(std::tuple(cache.count(), cache.bytes(), cache.made()), std::tuple(3u, 3 * pictureBytes, 5u));
    for (int i : {0, 3, 4}) cache.picture(pictures[i]);
    EXPECT_EQ(cache.made(), 5u);
    cache.picture(pictures[1]);
    EXPECT_EQ(cache.made(), 6u);
}
