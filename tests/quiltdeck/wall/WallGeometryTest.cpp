#include "quiltdeck/wall/WallGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quiltdeck {
namespace {

using Rect = WallGeometry::Rect;
using Point = WallGeometry::Point;

WallGeometry wall(double width, double height, size_t count) {
    WallGeometry g;
    g.width = width;
    g.height = height;
    g.count = count;
    return g;
}

void expectRect(const Rect& r, double x, double y, double w, double h) {
    EXPECT_NEAR(r.x, x, 1e-9);
    EXPECT_NEAR(r.y, y, 1e-9);
    EXPECT_NEAR(r.width, w, 1e-9);
    EXPECT_NEAR(r.height, h, 1e-9);
}

TEST(WallGeometry, ColumnsAndRowsByCount) {
    struct Case {
        size_t count, columns, rows;
    };
    const Case cases[] = {{0, 1, 0},  {1, 1, 1},  {2, 2, 1},  {4, 2, 2},  {5, 3, 2},  {9, 3, 3},
                          {10, 4, 3}, {16, 4, 4}, {17, 5, 4}, {25, 5, 5}, {64, 5, 13}};
    for (const Case& c : cases) {
        EXPECT_EQ(WallGeometry::columns(c.count), c.columns) << c.count;
        EXPECT_EQ(WallGeometry::rows(c.count), c.rows) << c.count;
    }
}

TEST(WallGeometry, CellsOfTheMainWindow) {
    const WallGeometry g = wall(1720, 1080, 4);
    EXPECT_EQ(g.cell().width, 833);
    EXPECT_EQ(g.cell().height, 468);
    expectRect(g.slotFrame(2), 18, 594, 833, 468);
    expectRect(g.slotFrame(3), 869, 594, 833, 468);
    // One tile fills the grid area less 18 points on every side.
    expectRect(wall(1720, 1080, 1).slotFrame(0), 18, 108, 1684, 954);
    // Five make two rows of three.
    const WallGeometry five = wall(1720, 1080, 5);
    EXPECT_EQ(five.slotFrame(4).y, five.slotFrame(3).y);
    EXPECT_GT(five.slotFrame(3).y, five.slotFrame(2).y);
}

TEST(WallGeometry, BarsAndTheGridArea) {
    struct Case {
        const char* name;
        double top;
        bool hidden;
        double barY, tabsY, gridY;
    };
    const Case cases[] = {{"Shown", 0, false, 0, 52, 90},
                          {"FullScreenInset", 24, false, 24, 76, 114},
                          {"Hidden", 24, true, -52, -38, 24},
                          {"HiddenNoInset", 0, true, -52, -38, 0}};
    for (const Case& c : cases) {
        WallGeometry g = wall(1000, 700, 3);
        g.top = c.top;
        g.barHidden = c.hidden;
        expectRect(g.barFrame(), 0, c.barY, 1000, 52);
        expectRect(g.tabBarFrame(), 0, c.tabsY, 1000, 38);
        expectRect(g.gridArea(), 0, c.gridY, 1000, 700 - c.gridY);
    }
}

TEST(WallGeometry, CellsOfAWindowSmallerThanItsGapsAreEmpty) {
    const WallGeometry g = wall(60, 200, 64);
    EXPECT_EQ(g.cell().width, 0);
    EXPECT_EQ(g.cell().height, 0);
    EXPECT_EQ(wall(0, 0, 3).cell().width, 0);
    EXPECT_EQ(wall(1720, 1080, 0).cell().width, 0);
}

TEST(WallGeometry, ZoomFrames) {
    expectRect(wall(1720, 1080, 4).zoomFrame(1), 361.2, 258.3, 997.6, 653.4);
    // Limited by the margins on a small window, still centred.
    const Rect big = wall(900, 600, 4).zoomFrame(1.6);
    EXPECT_NEAR(big.height, 474, 1e-9);
    EXPECT_NEAR(big.width, 835.2, 1e-9);
    EXPECT_NEAR(big.y + big.height / 2, 90 + 510 / 2.0, 1e-9);
    const Rect tiny = wall(20, 100, 1).zoomFrame(1);
    EXPECT_EQ(tiny.width, 0);
    EXPECT_EQ(tiny.height, 0);
}

TEST(WallGeometry, SlotUnderAPoint) {
    // 1720 × 1080 with five tiles: three columns of 549.33, two rows of 468.
    const WallGeometry g = wall(1720, 1080, 5);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* name;
        Point point;
        size_t slot;
    };
    const Case cases[] = {
        {"FirstCell", {100, 200}, 0},
        {"LeftOfTheGrid", {-50, 200}, 0},
        {"AboveTheGrid", {700, 0}, 1},
        {"GapBelongsToTheCellBefore", {18 + 549.3 + 9, 200}, 0},
        {"GapBelowBelongsToTheRowAbove", {100, 108 + 468 + 9}, 0},
        {"SecondRow", {100, 700}, 3},
        {"BelowTheLastRow", {700, 5000}, 4},
        {"EmptyRestOfTheLastRow", {1500, 700}, 4},
        {"RightOfTheGrid", {9000, 200}, 2},
        {"NotANumber", {nan, nan}, 0},
        {"Infinite", {inf, -inf}, 2},
    };
    for (const Case& c : cases) EXPECT_EQ(g.slotIndex(c.point), c.slot) << c.name;
    EXPECT_EQ(wall(1720, 1080, 0).slotIndex({100, 100}), std::nullopt);
    // Cells of no size: the pitch is the gap alone, never zero.
    const WallGeometry squeezed = wall(10, 10, 9);
    EXPECT_EQ(squeezed.slotIndex({0, 0}), 0u);
    EXPECT_EQ(squeezed.slotIndex({1e9, 1e9}), 8u);
}

TEST(WallGeometry, GripScale) {
    const WallGeometry g = wall(1720, 1080, 4);
    const Point centre{860, 585};
    struct Case {
        const char* name;
        Point corner;
        double scale;
    };
    const Case cases[] = {
        {"Outwards", {centre.x + 600, centre.y + 400}, 800 / 653.4},
        {"AtTheCentreTheSmallestSize", centre, 150 / 653.4},
        {"PastTheCentre", {centre.x - 300, centre.y - 300}, 150 / 653.4},
        {"WidthWins", {centre.x + 900, centre.y + 100}, 1800 / 997.6},
    };
    for (const Case& c : cases) EXPECT_NEAR(*g.gripScale(c.corner, centre), c.scale, 1e-9) << c.name;
    EXPECT_NEAR(*g.gripScale({centre.x + 600, centre.y + 400}, centre), 1.2244, 5e-5);
    EXPECT_EQ(wall(0, 0, 1).gripScale({10, 10}, {0, 0}), std::nullopt);
    EXPECT_EQ(g.gripScale({std::numeric_limits<double>::quiet_NaN(), 0}, centre), std::nullopt);
}

TEST(WallGeometry, EmptyCard) {
    const WallGeometry g = wall(1000, 700, 0);
    expectRect(g.emptyCardFrame(300.2), 40, 90 + (610 - 301) * 0.5 - 20, 920, 301);
    // A card taller than the grid area keeps 24 points above it.
    expectRect(g.emptyCardFrame(900), 40, 114, 920, 900);
}

}  // namespace
}  // namespace quiltdeck
