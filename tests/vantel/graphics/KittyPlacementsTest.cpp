#include <gtest/gtest.h>

#include "KittyTestSupport.h"

using namespace vantel;
using namespace vantel::testing;

namespace {

// A w x h RGBA image under id `id`, base64, pixel i holding bytes {i, i, i, 255}.
std::string image(int w, int h) {
    std::string raw;
    for (int i = 0; i < w * h; ++i) raw += std::string{char(i), char(i), char(i), char(255)};
    return base64(raw);
}

struct Placements : ::testing::Test {
    Placements() {
        t.delegate.cellSize = std::pair(10, 20);
        t.feed(kittyApc("q=1,f=32,s=30,v=40,i=1", image(30, 40)));
        t.feed(kittyApc("q=1,f=32,s=2,v=2,i=2", image(2, 2)));
    }
    std::string put(const std::string& keys) {
        t.feed(kittyApc("a=p," + keys));
        return t.replies();
    }
    const KittyPlacementRecord& record(uint32_t image, uint32_t placement) {
        return t.state().placementsByKey.at({image, placement});
    }
    KittyTerminal t;
};

TEST_F(Placements, PutAtTheCursorAdvancesPastTheImage) {
    t.moveCursor(5, 1);
    EXPECT_EQ(put("i=1,p=7"), reply("Gi=1,p=7;OK"));
    EXPECT_EQ(t.placements(), "1:7@1,5");
    EXPECT_EQ(t.slices(2).size(), 1u);
    EXPECT_EQ(t.slices(3).size(), 0u);
    EXPECT_EQ(t.cursor(), std::pair(8, 3));
    const auto& r = record(1, 7);
    EXPECT_EQ(std::tie(r.col, r.row, r.cols, r.rows, r.isVirtual), std::tuple(5, 1, 3, 2, false));
}

TEST_F(Placements, CursorPolicyAndCellRequests) {
    t.moveCursor(5, 1);
    put("i=1,C=1");
    EXPECT_EQ(t.cursor(), std::pair(5, 1));
    put("i=1,c=4");  // height follows the aspect ratio: 40 x 53.3 pixels
    EXPECT_EQ(t.cursor(), std::pair(9, 4));
    put("i=2,c=2,r=1,X=100");
    EXPECT_EQ(t.slices(4).back()->kittyPixelOffsetX, 9);
    t.delegate.cellSize.reset();  // without a cell size only c and r move the cursor
    t.moveCursor(0, 6);
    put("i=1");
    EXPECT_EQ(t.cursor(), std::pair(0, 6));
}

TEST_F(Placements, SameKeyReplacesThePlacement) {
    put("i=1,p=2");
    t.moveCursor(10, 5);
    put("i=1,p=2");
    EXPECT_EQ(t.placements(), "1:2@5,10");
    EXPECT_EQ(t.state().placementsByKey.size(), 1u);
}

TEST_F(Placements, ParentsAndOffsets) {
    t.moveCursor(3, 2);
    put("i=2,p=1,c=1,r=1");
    t.moveCursor(0, 0);
    EXPECT_EQ(put("i=1,p=5,P=2,Q=1,H=2,V=1"), reply("Gi=1,p=5;OK"));
    EXPECT_EQ(t.placements(), "2:1@2,3 1:5@3,5");
    EXPECT_EQ(t.cursor(), std::pair(0, 0));  // relative placements leave the cursor
    EXPECT_EQ(put("i=1,P=2"), reply("Gi=1;OK"));  // P alone is ignored
    EXPECT_EQ(put("i=1,P=9,Q=9"), reply("Gi=1;ENOPARENT: parent placement not found"));
    EXPECT_EQ(put("i=1,p=5,P=2,Q=1,V=50"), reply("Gi=1;EINVAL: placement out of range"));
    EXPECT_FALSE(t.state().placementsByKey.contains({1, 5}));  // removed before the range check
}

TEST_F(Placements, ParentOnTheOtherScreen) {
    put("i=2,p=1");
    put("i=1,p=1");  // keeps image 1 in use across the switch
    t->activateAltBuffer(std::nullopt);
    EXPECT_EQ(put("i=1,P=2,Q=1"), reply("Gi=1;ENOPARENT: parent placement not in current buffer"));
}

TEST_F(Placements, ParentLoopsResolveToNothing) {
    put("i=1,p=1,c=1,r=1");
    put("i=2,p=1,P=1,Q=1,V=1");
    EXPECT_EQ(put("i=1,p=1,P=2,Q=1,V=1"), reply("Gi=1,p=1;OK"));
    EXPECT_EQ(put("i=2,p=9,P=1,Q=1"), reply("Gi=2;ENOPARENT: parent placement not found"));
    const auto before = t.state().placementsByKey.size();
    t.kitty().updateKittyRelativePlacementsForCurrentBuffer();
    EXPECT_EQ(t.state().placementsByKey.size(), before);
}

TEST_F(Placements, VirtualPlacements) {
    t.moveCursor(4, 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(put("i=2,U=1,c=5"), reply("Gi=2;OK"));
    for (uint32_t id : {1u, 2u, 3u}) {
        const auto& r = record(2, id);
        EXPECT_EQ(std::tie(r.col, r.row, r.cols, r.rows, r.isVirtual), std::tuple(4, 3, 5, 0, true));
    }
    EXPECT_EQ(t.placements(), "");
    EXPECT_EQ(t.cursor(), std::pair(4, 3));
    EXPECT_EQ(put("i=2,U=1,P=1"), reply("Gi=2;EINVAL: virtual placement cannot refer to parent"));
}

TEST_F(Placements, Cropping) {
    EXPECT_EQ(put("i=2,x=2"), reply("Gi=2;EINVAL: bad crop"));
    put("i=2,x=1,w=5,c=1,r=1");
    const auto& cropped = *t.slices(0).back()->source;
    EXPECT_EQ(std::tuple(cropped.width, cropped.height), std::tuple(1, 2));
    EXPECT_EQ(cropped.bytes, (std::vector<uint8_t>{1, 1, 1, 255, 3, 3, 3, 255}));

    // A cropped PNG keeps straight alpha, like the same pixels sent as f=32.
    t.feed(kittyApc("q=1,f=100,i=3", base64(makePng(2, 2, solidPixels(2, 2, {200, 100, 50, 128})))));
    t.moveCursor(0, 5);
    put("i=3,w=1,h=1");
    EXPECT_FALSE(t.slices(5).back()->source->isPng());
    EXPECT_EQ(t.slices(5).back()->source->bytes, (std::vector<uint8_t>{200, 100, 50, 128}));
    t.feed(kittyApc("q=1,f=100,i=4", base64(makePng(2, 2, solidPixels(2, 2)).substr(0, 40))));
    EXPECT_EQ(put("i=4,x=1"), reply("Gi=4;ENOTSUP: cannot crop png"));
}

// Lines that move (a scroll trimming the ring) carry the parent's slices; the
// child follows and both records take their new rows.
TEST_F(Placements, RelativePlacementsFollowTheirParent) {
    t.moveCursor(1, 4);
    put("i=2,p=1,c=2,r=1");
    put("i=1,p=2,P=2,Q=1,H=1,V=2,c=1,r=1");
    EXPECT_EQ(t.placements(), "2:1@4,1 1:2@6,2");
    t.kitty().moveKittyPlacementImages(t->buffer(), {2, 1}, -3, 1, 1);
    t.kitty().updateKittyRelativePlacementsForCurrentBuffer();
    EXPECT_EQ(t.placements(), "2:1@1,1 1:2@3,2");
    EXPECT_EQ(record(2, 1).row, 1);
    EXPECT_EQ(record(1, 2).row, 3);
}

TEST_F(Placements, TransmitAndDisplayWithoutIdIsSilent) {
    t.feed(kittyApc("a=T,f=24,s=1,v=1,c=1,r=1", onePixel));
    EXPECT_EQ(t.replies(), "");
    EXPECT_EQ(t.placements(), "0:0@0,0");
    EXPECT_EQ(t.state().imagesById.size(), 2u);
}

}  // namespace

namespace {

// Without a cell size, c and r still move the cursor: down by index (scrolling at
// the bottom) and across by c.
TEST(KittyPlacementCursor, IndexesWithoutACellSize) {
    KittyTerminal t(20, 5);
    t.feed(kittyApc("q=1,f=24,s=1,v=1,i=1", onePixel));
    t.feed("\x1b[4;3H");
    t.feed(kittyApc("a=p,q=1,i=1,p=1,c=4,r=3"));
    EXPECT_EQ(t.cursor(), std::pair(6, 4));
    EXPECT_EQ(t->buffer().yBase(), 2);
    EXPECT_EQ(t.placements(), "1:1@3,2");
}

// A placement's rows are clamped to what the screen and its scroll-back hold: with a cell size (as the
// view gives) "before" stays on the screen; without one, at most that many lines scroll.
TEST(KittyPlacementCursor, RowsAreClampedToWhatTheBufferHolds) {
    for (bool withCellSize : {true, false}) {
        KittyTerminal t(20, 5, [](TerminalOptions& o) { o.scrollback = 3; });
        if (withCellSize) t.delegate.cellSize = std::pair(10, 20);
        t.feed("\r\nbefore\r\n" + kittyApc("a=T,q=2,f=32,s=1,v=1,i=1,p=1,c=65535,r=65535", base64(std::string("\xff\0\0\xff", 4))) +
               "after");
        EXPECT_EQ(t.state().placementsByKey.at({1, 1}).rows, 8) << withCellSize;
        EXPECT_LE(t->buffer().totalLinesTrimmed(), 8) << withCellSize;
        // The cursor went to the last cell, where "after" wraps and scrolls one line.
        if (withCellSize) {
            EXPECT_EQ(t.row(0), "before");
            EXPECT_EQ(t.row(4), "fter");
        }
    }
}

// Once the scroll-back ring is full every scroll drops its oldest line: the lines
// carry the slices, the records follow them and a child keeps its offset.
TEST(KittyPlacementCursor, RecordsFollowLinesWhenTheRingDropsItsOldest) {
    KittyTerminal t(20, 4, [](TerminalOptions& o) { o.scrollback = 2; });
    t.delegate.cellSize = std::pair(10, 20);
    t.feed(kittyApc("q=1,f=24,s=1,v=1,i=1", onePixel));
    t.feed("\n\n\n\n\n\n\x1b[2;2H");  // the ring is full: 2 + 4 lines
    t.feed(kittyApc("a=p,q=1,i=1,p=1,C=1"));
    t.feed(kittyApc("a=p,q=1,i=1,p=2,P=1,Q=1,H=3,V=1"));
    EXPECT_EQ(t.placements(), "1:1@3,1 1:2@4,4");
    t.feed("\x1b[4;1H\n");
    EXPECT_EQ(t.placements(), "1:1@2,1 1:2@3,4");
    const auto& parent = t.state().placementsByKey.at({1, 1});
    const auto& child = t.state().placementsByKey.at({1, 2});
    EXPECT_EQ(std::tuple(parent.row, child.row, child.col), std::tuple(2, 3, 4));
}

TEST(KittyPlacementCursor, EraseDisplayClearsEverything) {
    KittyTerminal t;
    t.feed(kittyApc("a=T,q=1,f=24,s=1,v=1,i=1,p=1,c=1,r=1", onePixel));
    t.feed("\x1b[2J");
    EXPECT_FALSE(t->buffer().hasAnyImages());
    EXPECT_TRUE(t.state().imagesById.empty() && t.state().placementsByKey.empty());
    EXPECT_EQ(t.state().nextImageAccessTick, 1u);
}

}  // namespace
