#include <gtest/gtest.h>

#include "KittyTestSupport.h"

using namespace vantel;
using namespace vantel::testing;

namespace {

struct DeleteCase {
    const char* name;
    const char* keys;
    const char* expectedReply;  // the text inside the framing, or "" for none
    const char* remaining;      // normal screen | alternate screen
    const char* storedIds;
};

class KittyDelete : public ::testing::TestWithParam<DeleteCase> {};

// Normal screen: 5:1 at (0,0), 5:2 at (3,2) z=1, 4:1 over (6..7, 4..5) z=-1, 10:1 at
// (9,6), 11:1 at (12,7); alternate screen: 5:3 at (0,0). One cell is 10 x 20 pixels.
TEST_P(KittyDelete, Selectors) {
    KittyTerminal t;
    t.delegate.cellSize = std::pair(10, 20);
    for (int id : {4, 5, 10, 11}) t.feed(kittyApc("q=1,f=24,s=1,v=1,i=" + std::to_string(id), onePixel));
    auto place = [&](int col, int row, const std::string& keys) {
        t.moveCursor(col, row);
        t.feed(kittyApc("a=p,q=1," + keys));
    };
    place(0, 0, "i=5,p=1");
    place(3, 2, "i=5,p=2,z=1");
    place(6, 4, "i=4,p=1,c=2,r=2,z=-1");
    place(9, 6, "i=10,p=1");
    place(12, 7, "i=11,p=1");
    t->activateAltBuffer(std::nullopt);
    place(0, 0, "i=5,p=3");
    t->activateNormalBuffer(false);
    t.moveCursor(0, 0);

    t.feed(kittyApc(std::string("a=d,") + GetParam().keys));
    EXPECT_EQ(t.replies(), *GetParam().expectedReply ? reply(GetParam().expectedReply) : "");
    EXPECT_EQ(t.placements() + " | " + t.placements(&t->altBuffer()), GetParam().remaining);
    std::string ids;
    for (uint32_t id : {4u, 5u, 10u, 11u}) {
        if (!t.state().imagesById.contains(id)) continue;
        if (!ids.empty()) ids += ',';
        ids += std::to_string(id);
    }
    EXPECT_EQ(ids, GetParam().storedIds);
}

const char* all = "5:1@0,0 5:2@2,3 4:1@4,6 10:1@6,9 11:1@7,12 | 5:3@0,0";

INSTANTIATE_TEST_SUITE_P(
    Table, KittyDelete,
    ::testing::Values(
        // Record tests ignore the screen: the alternate screen's record at (0,0) is visible here too.
        DeleteCase{"visible", "q=0", "", " | ", "4,5,10,11"},
        DeleteCase{"visibleFreeing", "d=A", "", " | ", ""},
        DeleteCase{"imageAndPlacement", "d=i,i=5,p=2", "", "5:1@0,0 4:1@4,6 10:1@6,9 11:1@7,12 | 5:3@0,0", "4,5,10,11"},
        DeleteCase{"imageOnBothScreens", "d=I,i=5", "", "4:1@4,6 10:1@6,9 11:1@7,12 | ", "4,10,11"},
        DeleteCase{"missingImageId", "d=i", "G;EINVAL: missing image id", all, "4,5,10,11"},
        DeleteCase{"unknownNumber", "d=n,I=9", "", all, "4,5,10,11"},
        DeleteCase{"missingNumber", "d=N", "G;EINVAL: missing image number", all, "4,5,10,11"},
        DeleteCase{"atCursor", "d=c", "", "5:2@2,3 4:1@4,6 10:1@6,9 11:1@7,12 | ", "4,5,10,11"},
        DeleteCase{"atCellInside", "d=p,x=8,y=6", "", "5:1@0,0 5:2@2,3 10:1@6,9 11:1@7,12 | 5:3@0,0", "4,5,10,11"},
        DeleteCase{"atCellMissingY", "d=p,x=3", "G;EINVAL: missing cell position", all, "4,5,10,11"},
        DeleteCase{"atCellOtherZ", "d=q,x=7,y=5,z=0", "", all, "4,5,10,11"},
        DeleteCase{"atCellWithZ", "d=Q,x=7,y=5,z=-1", "", "5:1@0,0 5:2@2,3 10:1@6,9 11:1@7,12 | 5:3@0,0", "5,10,11"},
        DeleteCase{"column", "d=x,x=4", "", "5:1@0,0 4:1@4,6 10:1@6,9 11:1@7,12 | 5:3@0,0", "4,5,10,11"},
        DeleteCase{"missingColumn", "d=x", "G;EINVAL: missing column", all, "4,5,10,11"},
        DeleteCase{"row", "d=y,y=6", "", "5:1@0,0 5:2@2,3 10:1@6,9 11:1@7,12 | 5:3@0,0", "4,5,10,11"},
        DeleteCase{"missingRow", "d=y,y=0", "G;EINVAL: missing row", all, "4,5,10,11"},
        DeleteCase{"zIndex", "d=z,z=1", "", "5:1@0,0 4:1@4,6 10:1@6,9 11:1@7,12 | 5:3@0,0", "4,5,10,11"},
        DeleteCase{"zeroZIndexBothScreens", "d=z", "", "5:2@2,3 4:1@4,6 | ", "4,5,10,11"},
        DeleteCase{"idRange", "d=R,x=10,y=4", "", "11:1@7,12 | ", "11"},
        DeleteCase{"idRangeBeyondIds", "d=r,x=11,y=99999999999", "", "5:1@0,0 5:2@2,3 4:1@4,6 10:1@6,9 | 5:3@0,0",
                   "4,5,10,11"},
        DeleteCase{"missingRange", "d=r,x=3,i=4", "Gi=4;EINVAL: missing id range", all, "4,5,10,11"},
        DeleteCase{"unsupported", "d=k", "G;EINVAL: unsupported delete", all, "4,5,10,11"},
        DeleteCase{"quietOkError", "d=k,q=1", "G;EINVAL: unsupported delete", all, "4,5,10,11"},
        DeleteCase{"quietError", "d=k,q=2", "", all, "4,5,10,11"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KittyDeleteRecords, ZeroHighRecordCoversOneRow) {
    KittyTerminal t;
    t.feed(kittyApc("q=1,f=24,s=1,v=1,i=1", onePixel));
    t.moveCursor(2, 8);
    t.feed(kittyApc("a=p,q=1,i=1,p=4,U=1"));  // virtual: cols and rows are 0
    t.feed(kittyApc("a=d,d=p,x=3,y=10"));
    EXPECT_EQ(t.state().placementsByKey.size(), 1u);
    t.feed(kittyApc("a=d,d=P,x=3,y=9"));
    EXPECT_TRUE(t.state().placementsByKey.empty());
    EXPECT_TRUE(t.state().imagesById.empty());
}

}  // namespace
