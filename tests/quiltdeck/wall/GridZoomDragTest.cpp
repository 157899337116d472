// Zoom, focus, attention, the zoomed tile's grip, the layout, and dragging tiles.
#include <gtest/gtest.h>

#include "platform/ui/Window.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/wall/WallTestSupport.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
using platform::gfx::Point;
using platform::gfx::Rect;
using Strings = std::vector<std::string>;
using testing::FakeTile;

// A view that stands in for a text field being edited.
class FieldEditor : public platform::ui::View {
public:
    bool acceptsFirstResponder() const override { return true; }
    bool isFieldEditor() const override { return true; }
};

void expectNear(const Rect& a, const Rect& b) {
    EXPECT_NEAR(a.x, b.x, 1e-9);
    EXPECT_NEAR(a.y, b.y, 1e-9);
    EXPECT_NEAR(a.width, b.width, 1e-9);
    EXPECT_NEAR(a.height, b.height, 1e-9);
}

class GridZoomDrag : public testing::WallTest {
protected:
    void tiles(int n) {
        makeGrid();
        for (int i = 1; i <= n; ++i) open(std::to_string(i));
        settle();
    }
    // A mouse event on the window, the point in the root view's (flipped) points.
    void mouse(platform::ui::MouseEvent::Type type, Point p, int clicks = 1) {
        platform::ui::MouseEvent e;
        e.type = type;
        e.clickCount = clicks;
        e.locationInWindow = grid->view().convertToWindow(p);
        e.timestamp = timestamp += 1;
        window.sendMouseEvent(e);
    }
    void drag(Point from, std::vector<Point> through) {
        mouse(platform::ui::MouseEvent::Type::down, from);
        for (Point p : through) mouse(platform::ui::MouseEvent::Type::dragged, p);
        mouse(platform::ui::MouseEvent::Type::up, through.back());
    }
    Point headerOf(const std::string& name) {
        const Rect f = card(name).frame();
        return {f.x + f.width / 2, f.y + 20};
    }
    double timestamp = 100;
};

TEST_F(GridZoomDrag, ZoomUnzoomAndTheScrim) {
    tiles(4);
    fakeNamed("2").setStatus(SessionStatus::idle);
    grid->zoom(idOf("2"));
    EXPECT_EQ(grid->activeId(), idOf("2"));
    EXPECT_FALSE(grid->scrim().isHidden());
    EXPECT_FALSE(grid->scrimBlur().isHidden());
    // Over the scrim, under the bar and the tab bar.
    const auto& subviews = grid->view().subviews();
    const auto at = [&](const platform::ui::View* v) { return std::find(subviews.begin(), subviews.end(), v) - subviews.begin(); };
    EXPECT_LT(at(&grid->scrim()), at(&card("2")));
    EXPECT_LT(at(&card("2")), at(&grid->tabs()));
    EXPECT_LT(at(&card("2")), at(&grid->bar()));
    settle();
    EXPECT_TRUE(card("2").isZoomed());
    expectNear(card("2").frame(), Rect{361.2, 258.3, 997.6, 653.4});
    EXPECT_TRUE(card("2").scaler().interactive());
    EXPECT_FALSE(card("2").grip().isHidden());
    // A click on the scrim un-zooms; the tile goes back to its slot.
    mouse(platform::ui::MouseEvent::Type::down, {10, 200});
    EXPECT_FALSE(grid->zoomId());
    settle();
    EXPECT_EQ(card("2").frame(), (Rect{869, 108, 833, 468}));
    EXPECT_FALSE(card("2").scaler().interactive());
    EXPECT_TRUE(card("2").grip().isHidden());
}

// A zoom's first frame takes what lies beneath the blur from the window as drawn: a tile away
// from the zoomed one is not drawn again for it, whether the zoom raises the bars (the first) or
// finds them on top (the next).
TEST_F(GridZoomDrag, AZoomLeavesTheTilesAwayFromItsCardUndrawn) {
    class Counted : public platform::ui::View {
    public:
        using View::View;
        void draw(platform::gfx::Canvas&, const Rect&) override { ++draws; }
        int draws = 0;
    };
    tiles(9);
    Counted counted{Rect{40, 80, 30, 30}};
    card("9").addSubview(&counted);
    window.displayIfNeeded();
    for (const char* name : {"1", "2", "1"}) {
        SCOPED_TRACE(name);
        grid->zoom(idOf(name));
        counted.draws = 0;
        window.displayIfNeeded();
        EXPECT_TRUE(grid->scrimBlur().coversBeneath());
        EXPECT_EQ(counted.draws, 0);
        settle();
        window.displayIfNeeded();
        grid->unzoom();
        settle();
        window.displayIfNeeded();
    }
    counted.removeFromSuperview();
}

TEST_F(GridZoomDrag, EscapeUnzoomsUnlessATextFieldIsEdited) {
    tiles(2);
    EXPECT_FALSE(grid->escapePressed());
    grid->zoom(idOf("1"));
    FieldEditor editor;
    grid->view().addSubview(&editor);
    window.makeFirstResponder(&editor);
    EXPECT_FALSE(grid->escapePressed());
    EXPECT_TRUE(grid->zoomId());
    window.makeFirstResponder(nullptr);
    EXPECT_TRUE(grid->escapePressed());
    EXPECT_FALSE(grid->zoomId());
}

TEST_F(GridZoomDrag, FocusByPosition) {
    tiles(3);
    struct Case {
        long index;
        std::optional<std::string> zoomed;
    };
    const Case cases[] = {{-1, std::nullopt}, {3, std::nullopt}, {2, "3"}, {0, "1"}};
    for (const Case& c : cases) {
        grid->focus(c.index);
        EXPECT_EQ(grid->zoomId(), c.zoomed ? std::optional(idOf(*c.zoomed)) : std::nullopt) << c.index;
    }
    loop.runPending();
    EXPECT_EQ(window.firstResponder(), &fakeNamed("1").view());
    Store::shared().setWalls({"Empty"});
    grid->showWall("Empty");
    grid->focus(0);
    EXPECT_FALSE(grid->zoomId());
}

TEST_F(GridZoomDrag, AttentionJumps) {
    Store::shared().setWalls({"W"});
    tiles(3);
    FakeTile& away = open("away", "W");
    grid->showWall("");
    // Only on another wall: shown and zoomed.
    away.setStatus(SessionStatus::waiting);
    grid->jumpToAttention();
    EXPECT_EQ(grid->currentWall(), "W");
    EXPECT_EQ(grid->zoomId(), away.id());
    // The wall shown wins over an earlier tile elsewhere, even later in the order.
    grid->showWall("");
    fakeNamed("3").setStatus(SessionStatus::waiting);
    grid->jumpToAttention();
    EXPECT_EQ(grid->zoomId(), idOf("3"));
    // Two waiting on the wall shown alternate.
    fakeNamed("1").setStatus(SessionStatus::waiting);
    Strings jumps;
    for (int i = 0; i < 3; ++i) {
        grid->jumpToAttention();
        jumps.push_back(nameOf(*grid->zoomId()));
    }
    EXPECT_EQ(jumps, (Strings{"1", "3", "1"}));
    EXPECT_EQ(fakeNamed("1").status(), SessionStatus::waiting);
    // The zoomed tile alone needs the user: nothing happens.
    fakeNamed("3").setStatus(SessionStatus::busy);
    away.setStatus(SessionStatus::busy);
    grid->jumpToAttention();
    EXPECT_EQ(grid->zoomId(), idOf("1"));
}

TEST_F(GridZoomDrag, TheGripScalesTheZoomedTileWithinItsBounds) {
    tiles(4);
    grid->resizeZoom({1500, 1000});  // nothing zoomed
    EXPECT_EQ(Store::shared().zoomScale(), 1.0);
    grid->zoom(idOf("1"));
    settle();
    const Rect f = card("1").frame();
    const Point centre{f.x + f.width / 2, f.y + f.height / 2};
    struct Case {
        const char* name;
        Point corner;
        double scale;
    };
    const Case cases[] = {
        {"Outwards", {centre.x + 600, centre.y + 400}, 800 / 653.4},
        {"TowardsTheCentre", {centre.x + 10, centre.y + 10}, 0.5},
        {"FarOut", {centre.x + 5000, centre.y + 5000}, 1.6},
    };
    for (const Case& c : cases) {
        grid->resizeZoom(c.corner);
        EXPECT_NEAR(Store::shared().zoomScale(), c.scale, 1e-9) << c.name;
        // At once, not animated: the tile follows the pointer.
        EXPECT_FALSE(card("1").isAnimatingFrame()) << c.name;
        EXPECT_EQ(card("1").frame(), grid->geometry().zoomFrame(Store::shared().zoomScale())) << c.name;
    }
    EXPECT_EQ(card("1").frame().height, 990 - 36);  // limited by the margins at 1.6
    // Through the grip itself: its window point reaches the grid in the root's points.
    Store::shared().setZoomScale(1);
    grid->relayout();
    ResizeGrip& grip = card("1").grip();
    platform::ui::MouseEvent press;
    press.type = platform::ui::MouseEvent::Type::down;
    press.locationInWindow = grid->view().convertToWindow(Point{centre.x + 600, centre.y + 400});
    grip.mouseDown(press);
    EXPECT_NEAR(Store::shared().zoomScale(), 800 / 653.4, 1e-9);
    // On a window with no grid area, nothing changes.
    window.setSize({900, 80});
    grid->resizeZoom({800, 70});
    EXPECT_NEAR(Store::shared().zoomScale(), 800 / 653.4, 1e-9);
}

TEST_F(GridZoomDrag, ZoomLargerAndSmallerOnlyWhileZoomed) {
    tiles(1);
    grid->changeZoomScale(0.1);
    EXPECT_EQ(Store::shared().zoomScale(), 1.0);
    grid->zoom(idOf("1"));
    for (int i = 0; i < 10; ++i) grid->changeZoomScale(0.1);
    EXPECT_EQ(Store::shared().zoomScale(), 1.6);
    for (int i = 0; i < 20; ++i) grid->changeZoomScale(-0.1);
    EXPECT_EQ(Store::shared().zoomScale(), 0.5);
}

TEST_F(GridZoomDrag, AFinishedMarkGoesWhenTheTileIsSeen) {
    tiles(2);
    FakeTile& tile = fakeNamed("1");
    tile.finishTurn();
    EXPECT_EQ(grid->model().counts().done, 1);
    EXPECT_NE(grid->tabs().buttons()[0].second->attributedTitle().string().find("\u2713" "1"), std::string::npos);
    grid->zoom(tile.id());
    EXPECT_FALSE(tile.finished());
    EXPECT_EQ(grid->model().counts().done, 0);
    EXPECT_EQ(grid->tabs().buttons()[0].second->attributedTitle().string(), t("tab_main"));
    // Finished again while zoomed: cleared when the keyboard comes back to it.
    tile.finishTurn();
    grid->focusActive();
    EXPECT_FALSE(tile.finished());
    // A waiting tile keeps its status when zoomed.
    fakeNamed("2").setStatus(SessionStatus::waiting);
    grid->zoom(idOf("2"));
    EXPECT_EQ(fakeNamed("2").status(), SessionStatus::waiting);
}

TEST_F(GridZoomDrag, AHeaderClickZoomsAfterTheDoubleClickTime) {
    tiles(2);
    const Point header = headerOf("2");
    mouse(platform::ui::MouseEvent::Type::down, header);
    mouse(platform::ui::MouseEvent::Type::up, header);
    EXPECT_TRUE(card("2").clickPending());
    EXPECT_FALSE(grid->zoomId());
    loop.advance(1s);
    EXPECT_EQ(grid->zoomId(), idOf("2"));
    grid->unzoom();
    // A double click renames (later) and never clicks.
    mouse(platform::ui::MouseEvent::Type::down, header);
    mouse(platform::ui::MouseEvent::Type::up, header);
    mouse(platform::ui::MouseEvent::Type::down, header, 2);
    mouse(platform::ui::MouseEvent::Type::up, header, 2);
    loop.advance(1s);
    EXPECT_FALSE(grid->zoomId());
    // The terminal of an ordinary tile: the click zooms at once, the terminal never has it.
    const Rect f = card("1").frame();
    mouse(platform::ui::MouseEvent::Type::down, {f.x + 100, f.y + 200});
    EXPECT_NE(window.mouseDownView(), &fakeNamed("1").view());
    mouse(platform::ui::MouseEvent::Type::up, {f.x + 100, f.y + 200});
    EXPECT_EQ(grid->zoomId(), idOf("1"));
    // Zoomed, the terminal takes the clicks below the header.
    settle();
    const Rect z = card("1").frame();
    mouse(platform::ui::MouseEvent::Type::down, {z.x + 100, z.y + 200});
    EXPECT_EQ(window.mouseDownView(), &fakeNamed("1").view());
    mouse(platform::ui::MouseEvent::Type::up, {z.x + 100, z.y + 200});
}

TEST_F(GridZoomDrag, DragsStartAtEightPoints) {
    tiles(4);
    const Point from = headerOf("1");
    struct Case {
        const char* name;
        double dx;
        bool drags;
    };
    const Case cases[] = {{"SevenPoints", 7, false}, {"EightPoints", 8, true}};
    for (const Case& c : cases) {
        mouse(platform::ui::MouseEvent::Type::down, from);
        mouse(platform::ui::MouseEvent::Type::dragged, {from.x + c.dx, from.y});
        EXPECT_EQ(grid->dragId().has_value(), c.drags) << c.name;
        EXPECT_EQ(card("1").clickPending(), false) << c.name;
        mouse(platform::ui::MouseEvent::Type::up, {from.x + c.dx, from.y});
        // A press that never dragged still clicks, after the double-click time.
        EXPECT_EQ(card("1").clickPending(), !c.drags) << c.name;
        loop.advance(1s);
        EXPECT_EQ(grid->zoomId().has_value(), !c.drags) << c.name;
        if (grid->zoomId()) grid->unzoom();
        settle();
    }
}

TEST_F(GridZoomDrag, DraggingReordersLiveAndSavesAtTheDrop) {
    tiles(4);
    // Zoomed once, a tile stays over the (hidden) scrim: the dragged tile still goes over it.
    grid->zoom(idOf("3"));
    grid->unzoom();
    settle();
    const Point slot3 = headerOf("3");
    mouse(platform::ui::MouseEvent::Type::down, headerOf("1"));
    mouse(platform::ui::MouseEvent::Type::dragged, {headerOf("1").x + 20, headerOf("1").y});
    ASSERT_EQ(grid->dragId(), idOf("1"));
    // Lifted: over every tile, under the bar and the tab bar; see-through, with a large shadow.
    const auto& subviews = grid->view().subviews();
    const auto at = [&](const platform::ui::View* v) { return std::find(subviews.begin(), subviews.end(), v) - subviews.begin(); };
    for (const char* other : {"2", "3", "4"}) EXPECT_GT(at(&card("1")), at(&card(other))) << other;
    EXPECT_LT(at(&card("1")), at(&grid->tabs()));
    EXPECT_LT(at(&card("1")), at(&grid->bar()));
    EXPECT_EQ(card("1").opacity(), GridController::dragOpacity);
    EXPECT_EQ(card("1").shadow().radius, 36);
    mouse(platform::ui::MouseEvent::Type::dragged, slot3);
    EXPECT_EQ(order(), (Strings{"2", "3", "1", "4"}));
    EXPECT_EQ(card("1").indexText(), "3");
    // Under the pointer: centred, the header's middle at the pointer.
    EXPECT_EQ(card("1").frame().x, slot3.x - 833 / 2.0);
    EXPECT_EQ(card("1").frame().y, slot3.y - 26);
    // Not saved before the drop.
    EXPECT_NE(Store::shared().openTiles()[0].name, "2");
    // A layout meanwhile leaves the dragged tile where the pointer put it.
    const Rect held = card("1").frame();
    grid->relayout();
    EXPECT_EQ(card("1").frame(), held);
    mouse(platform::ui::MouseEvent::Type::up, slot3);
    EXPECT_FALSE(grid->dragId());
    EXPECT_EQ(card("1").opacity(), 1);
    EXPECT_EQ(card("1").shadow().radius, 14);
    EXPECT_EQ(grid->activeId(), idOf("1"));
    EXPECT_EQ(Store::shared().openTiles()[0].name, "2");
    EXPECT_EQ(Store::shared().openTiles()[2].name, "1");
    settle();
    EXPECT_EQ(card("1").frame(), (Rect{18, 594, 833, 468}));
    // At rest it lies under the blur again, above the other tiles.
    EXPECT_LT(at(&card("1")), at(&grid->scrimBlur()));
}

TEST_F(GridZoomDrag, ReorderCases) {
    struct Case {
        const char* name;
        std::string dragged, over;
        Strings order;
    };
    const Case cases[] = {
        {"LastOverTheFirst", "4", "1", {"4", "1", "2", "3"}},
        {"FirstOverTheThird", "1", "3", {"2", "3", "1", "4"}},
        {"OverItself", "2", "2", {"1", "2", "3", "4"}},
    };
    for (const Case& c : cases) {
        grid.reset();
        made.clear();
        testing::resetWallState();
        tiles(4);
        const Point over = headerOf(c.over);
        drag(headerOf(c.dragged), {{headerOf(c.dragged).x + 30, headerOf(c.dragged).y}, over});
        EXPECT_EQ(order(), c.order) << c.name;
    }
}

TEST_F(GridZoomDrag, OtherWallsKeepTheirPlaces) {
    Store::shared().setWalls({"W"});
    makeGrid();
    open("1");
    open("w1", "W");
    open("2", "");
    open("w2", "W");
    open("3", "");
    grid->showWall("");
    settle();
    drag(headerOf("1"), {{headerOf("1").x + 30, headerOf("1").y}, headerOf("3")});
    EXPECT_EQ(order(), (Strings{"w1", "2", "w2", "3", "1"}));
    EXPECT_EQ(onWall("W"), (Strings{"w1", "w2"}));
}

TEST_F(GridZoomDrag, NoDragWhileZoomed) {
    tiles(4);
    grid->zoom(idOf("2"));
    settle();
    grid->dragBegan(idOf("1"));
    grid->dragMoved(headerOf("3"));
    grid->dragEnded(headerOf("3"));
    EXPECT_FALSE(grid->dragId());
    EXPECT_EQ(order(), (Strings{"1", "2", "3", "4"}));
    // The zoomed tile's own header never starts one.
    const Point header = headerOf("2");
    mouse(platform::ui::MouseEvent::Type::down, header);
    mouse(platform::ui::MouseEvent::Type::dragged, {header.x + 50, header.y + 50});
    EXPECT_FALSE(grid->dragId());
    mouse(platform::ui::MouseEvent::Type::up, {header.x + 50, header.y + 50});
}

TEST_F(GridZoomDrag, DroppingOnATab) {
    Store::shared().setWalls({"W"});
    tiles(2);
    settle();
    const auto& tabs = grid->tabs().buttons();
    const Rect wTab = tabs[1].second->frame();
    const Rect mainTab = tabs[0].second->frame();
    const Point tabBar = grid->tabs().frame().y == 52 ? Point{0, 52} : Point{};
    auto inBar = [&](double x, double y) { return Point{x + tabBar.x, y + tabBar.y}; };
    grid->dragBegan(idOf("1"));
    // Within 3 points of a tab, in the gap: that tab lights up.
    grid->dragMoved(inBar(wTab.x - 2, 19));
    EXPECT_EQ(grid->tabs().dropTarget(), "W");
    grid->dragMoved(inBar(wTab.maxX() + 4, 19));
    EXPECT_EQ(grid->tabs().dropTarget(), std::nullopt);
    grid->dragMoved(inBar(wTab.x + 5, 19));
    EXPECT_EQ(grid->tabs().dropTarget(), "W");
    // Leaving the bar clears it at the next move.
    grid->dragMoved({400, 400});
    EXPECT_EQ(grid->tabs().dropTarget(), std::nullopt);
    grid->dragMoved(inBar(wTab.x + 5, 19));
    grid->dragEnded(inBar(wTab.x + 5, 19));
    EXPECT_EQ(grid->tabs().dropTarget(), std::nullopt);
    ASSERT_TRUE(modals().shownAlert());
    EXPECT_EQ(modals().shownAlert()->messageText, t("move_tile_q", {"1", "W"}));
    modals().clickButton(0);
    EXPECT_EQ(onWall("W"), Strings{"1"});
    // On the current wall's tab, or outside the bar: nothing is asked.
    for (const Point drop : {inBar(mainTab.x + 5, 19), Point{400, 400}}) {
        grid->dragBegan(idOf("2"));
        grid->dragMoved(drop);
        grid->dragEnded(drop);
        EXPECT_FALSE(platform::ui::Modals::isShowing());
    }
}

}  // namespace
}  // namespace quiltdeck
