#include <gtest/gtest.h>

#include <algorithm>

#include "KittyTestSupport.h"

using namespace vantel;
using namespace vantel::testing;

namespace {

// 1 x 1 RGBA images of 4 bytes each, under a budget of `limit` bytes.
struct Store {
    explicit Store(int64_t limit) : t(20, 10, [limit](TerminalOptions& o) { o.kittyImageCacheLimitBytes = limit; }) {}
    void transmit(int id, std::string extra = "") { t.feed(kittyApc("f=24,s=1,v=1,q=1,i=" + std::to_string(id) + extra, onePixel)); }
    std::string ids() {
        std::vector<uint32_t> ids;
        for (const auto& [id, image] : t.state().imagesById) ids.push_back(id);
        std::sort(ids.begin(), ids.end());
        std::string out;
        for (uint32_t id : ids) {
            if (!out.empty()) out += ',';
            out += std::to_string(id);
        }
        return out;
    }
    KittyTerminal t;
};

TEST(KittyImageStore, EvictsLeastRecentlyUsedFirst) {
    Store s(12);
    s.transmit(1);
    s.transmit(2);
    s.transmit(3);
    s.transmit(2);  // 2 is now the most recent
    EXPECT_EQ(s.t.state().totalImageBytes, 12);
    s.transmit(4);
    EXPECT_EQ(s.ids(), "2,3,4");
    s.transmit(5);
    EXPECT_EQ(s.ids(), "2,4,5");
    s.transmit(6);
    EXPECT_EQ(s.ids(), "4,5,6");
}

TEST(KittyImageStore, PutRefreshesTheClock) {
    Store s(8);
    s.transmit(1);
    s.transmit(2);
    s.t.kitty().updateKittyImageAccess(1);
    s.transmit(3);
    EXPECT_EQ(s.ids(), "1,3");
    EXPECT_EQ(s.t.kitty().updateKittyImageAccess(99), nullptr);
}

TEST(KittyImageStore, ZeroOrNegativeLimitEvictsAtOnceButStillShows) {
    for (int64_t limit : {int64_t{0}, int64_t{-5}}) {
        Store s(limit);
        s.t.feed(kittyApc("a=T,f=24,s=1,v=1,i=1,c=1,r=1", onePixel));
        EXPECT_EQ(s.t.replies(), reply("Gi=1;OK"));
        EXPECT_EQ(s.ids(), "");
        EXPECT_EQ(s.t.state().totalImageBytes, 0);
        EXPECT_EQ(s.t.placements(), "1:0@0,0");
        s.t.feed(kittyApc("a=p,i=1"));
        EXPECT_EQ(s.t.replies(), reply("Gi=1;ENOENT: image not found"));
    }
}

TEST(KittyImageStore, ReplacingAnIdAdjustsTheTotal) {
    Store s(1 << 20);
    s.transmit(1);
    s.t.feed(kittyApc("q=1,f=32,s=2,v=2,i=1", base64(std::string(16, 'x'))));
    EXPECT_EQ(s.t.state().totalImageBytes, 16);
    EXPECT_EQ(s.t.state().imagesById.size(), 1u);
}

TEST(KittyImageStore, PlacedImagesGoInTheSecondPassOnly) {
    Store s(8);
    s.transmit(1, ",U=1,a=T");  // a virtual placement keeps image 1 in use
    s.transmit(2);
    s.transmit(3);
    EXPECT_EQ(s.ids(), "1,3");
    s.t->setOptions([&] { auto o = s.t->options(); o.kittyImageCacheLimitBytes = 0; return o; }());
    s.transmit(4);
    EXPECT_EQ(s.ids(), "");
    EXPECT_EQ(s.t.state().placementsByKey.size(), 1u);  // the record stays
}

TEST(KittyImageStore, EvictionDropsEveryNumberOfTheImage) {
    Store s(4);
    auto payload = std::make_shared<const KittyGraphicsPayload>(KittyGraphicsPayload::rgba({1, 2, 3, 4}, 1, 1));
    s.t.kitty().storeKittyImage(payload, 5, 1);
    s.t.kitty().storeKittyImage(payload, 5, 2);
    s.t.kitty().storeKittyImage(payload, 6, 3);
    EXPECT_EQ(s.t.state().imageNumbers, (std::unordered_map<uint32_t, uint32_t>{{3, 6}}));
}

TEST(KittyImageStore, ClearAllEmptiesStoreAndLines) {
    Store s(1 << 20);
    s.transmit(1, ",a=T,p=1,c=1,r=1");
    s.t->activateAltBuffer(std::nullopt);
    s.transmit(2, ",a=T,p=1,c=1,r=1");
    s.t->activateNormalBuffer(false);
    s.t->clearAllKittyImages();
    EXPECT_FALSE(s.t->normalBuffer().hasAnyImages());
    EXPECT_FALSE(s.t->altBuffer().hasAnyImages());
    EXPECT_TRUE(s.t.state().imagesById.empty() && s.t.state().placementsByKey.empty());
    s.transmit(3);
    EXPECT_EQ(s.t.state().imagesById.at(3).lastAccessTick, 1u);
}

TEST(KittyImageStore, LeavingTheAlternateScreenDropsItsPlacements) {
    Store s(1 << 20);
    s.transmit(1, ",a=T,p=1,c=1,r=1");
    s.t.feed("\x1b[?1049h");
    s.transmit(2, ",a=T,p=1,c=1,r=1");
    s.transmit(3, ",a=T,p=1,U=1");
    s.t.feed("\x1b[?1049l");
    EXPECT_EQ(s.ids(), "1");
    EXPECT_EQ(s.t.state().placementsByKey.size(), 1u);
    EXPECT_EQ(s.t.placements(), "1:1@0,0");
}

}  // namespace

namespace {

// Tiny images, records and stacked slices cost memory the byte budget does not see.
TEST(KittyImageStoreLimits, CountsAreBounded) {
    Store s(1 << 20);
    s.t.kitty().setLimits({.maximumImages = 2, .maximumPlacements = 2, .maximumImagesPerLine = 3});
    s.transmit(1);
    s.transmit(2);
    s.transmit(3);
    EXPECT_EQ(s.ids(), "2,3");

    s.t.feed(kittyApc("a=p,i=2,U=1") + kittyApc("a=p,i=2,U=1") + kittyApc("a=p,i=2,U=1,p=1"));
    EXPECT_EQ(s.t.replies(), reply("Gi=2;OK") + reply("Gi=2;OK") + reply("Gi=2,p=1;OK"));  // p=1 replaces the first
    s.t.feed(kittyApc("a=p,i=2,U=1"));
    EXPECT_EQ(s.t.replies(), reply("Gi=2;ENOSPC: too many placements"));
    EXPECT_EQ(s.t.state().placementsByKey.size(), 2u);

    for (int i = 0; i < 5; ++i) s.t.feed(kittyApc("a=p,q=1,i=3,C=1,c=1,r=1"));
    EXPECT_EQ(s.t.slices(0).size(), 3u);
}

}  // namespace

namespace {

// At the count limit every new image evicts one: that must not walk or sort the store (the walk
// and sort once took 77 s here). Counted in work: no walk of the store or the lines at all.
TEST(KittyImageStoreLimits, EvictingAtTheCountLimitIsCheap) {
    Store s(int64_t{1} << 30);
    std::string stream;
    for (int id = 1; id <= 100'000; ++id) stream += kittyApc("q=1,f=24,s=1,v=1,i=" + std::to_string(id), onePixel);
    s.t.feed(stream);
    EXPECT_EQ(s.t.kitty().storeWalkSteps(), 0u);
    const auto& images = s.t.state().imagesById;
    EXPECT_EQ(images.size(), 65'536u);
    EXPECT_TRUE(images.contains(100'000) && images.contains(34'465));
    EXPECT_FALSE(images.contains(34'464));
}

// An image whose only slice left the scroll-back is unused again, so it goes first.
TEST(KittyImageStoreLimits, ImagesScrolledAwayAreUnused) {
    Store s(1 << 20);
    s.t.kitty().setLimits({.maximumImages = 2});
    s.t.feed(kittyApc("a=T,q=1,f=24,s=1,v=1,i=1,c=1,r=1", onePixel));
    s.transmit(2);
    EXPECT_TRUE(s.t.kitty().ledger().isUsed(1));
    for (int i = 0; i < 600; ++i) s.t.feed("\r\n");  // past the 500 lines of scroll-back
    EXPECT_FALSE(s.t.kitty().ledger().isUsed(1));
    s.transmit(3);
    EXPECT_EQ(s.ids(), "2,3");
}

}  // namespace

namespace {

// The store alone decides whether a record fits: a key it holds is replaced even at the bound, a
// new key at the bound is refused and leaves the records as they were.
TEST(KittyImageStoreLimits, RecordPlacementOwnsTheBound) {
    struct Case {
        const char* name;
        KittyPlacementKey key;
        bool stored;
        size_t count;
    } cases[] = {
        {"key held, at the bound", {1, 1}, true, 2},
        {"new key, at the bound", {1, 3}, false, 2},
        {"same placement id, other image", {2, 1}, false, 2},
    };
    for (const Case& c : cases) {
        Store s(1 << 20);
        s.t.kitty().setLimits({.maximumImages = 4, .maximumPlacements = 2, .maximumImagesPerLine = 3});
        for (uint32_t placement : {1u, 2u}) {
            KittyPlacementRecord earlier;
            earlier.imageId = 1, earlier.placementId = placement, earlier.col = 9;
            ASSERT_TRUE(s.t.kitty().recordPlacement(earlier));
        }
        KittyPlacementRecord record;
        record.imageId = c.key.imageId, record.placementId = c.key.placementId, record.col = 4;
        EXPECT_EQ(s.t.kitty().recordPlacement(record), c.stored) << c.name;
        const auto& records = s.t.state().placementsByKey;
        EXPECT_EQ(records.size(), c.count) << c.name;
        EXPECT_EQ(records.contains(c.key) && records.at(c.key).col == 4, c.stored) << c.name;
    }
}

}  // namespace
