#include "quiltdeck/wall/TileView.h"

#include <gtest/gtest.h>

#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/Control.h"
#include "quiltdeck/app/AppDelegateTestSupport.h"
#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Theme.h"

namespace quiltdeck {
namespace {

using platform::gfx::Rect;
using platform::gfx::Rgba;

class TileViewTest : public ::testing::Test {
protected:
    TileViewTest() {
        Theme::setMode(ThemeMode::dark);
        Theme::resolve();
        tile.applyTheme();
        tile.setFrame(Rect{0, 0, 600, 400});
    }
    static TileRequest project() {
        TileRequest request;
        request.cwd = "/tmp/project";
        request.name = "project";
        return request;
    }
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    testing::FakeTile session{project()};
    TileView tile{session};
};

TEST_F(TileViewTest, LayoutOfTheCard) {
    EXPECT_EQ(tile.card().frame(), (Rect{0, 0, 600, 400}));
    EXPECT_EQ(tile.dot().frame(), (Rect{20, 23, 6, 6}));
    EXPECT_EQ(tile.closeButton().frame(), (Rect{558, 15, 22, 22}));
    EXPECT_EQ(tile.moveButton().frame(), (Rect{530, 15, 22, 22}));
    EXPECT_EQ(tile.scaler().frame(), (Rect{0, 52, 600, 348}));
    EXPECT_EQ(tile.grip().frame(), (Rect{574, 374, 22, 22}));
    EXPECT_TRUE(tile.grip().isHidden());
    // The grip stays in front of the scaler.
    EXPECT_EQ(tile.card().subviews().back(), &tile.grip());
    // A narrow tile still gives its labels 40 points; they are drawn in the card, never widgets.
    tile.setFrame(Rect{0, 0, 100, 300});
    EXPECT_EQ(tile.titleLabel().frame().width, 40);
    EXPECT_EQ(tile.titleLabel().truncation(), platform::ui::Truncation::tail);
    EXPECT_EQ(dynamic_cast<platform::ui::Control*>(&tile.titleLabel()), nullptr);
    // The light theme insets the terminal by 10 with rounded corners.
    Theme::setMode(ThemeMode::light);
    Theme::resolve();
    tile.applyTheme();
    tile.setFrame(Rect{0, 0, 600, 400});
    EXPECT_EQ(tile.scaler().frame(), (Rect{10, 52, 580, 338}));
    EXPECT_EQ(tile.scaler().cornerRadius(), 10);
    Theme::setMode(ThemeMode::dark);
    Theme::resolve();
}

TEST_F(TileViewTest, ChromeFollowsTheStatusAndTheZoom) {
    struct Case {
        const char* name;
        SessionStatus status;
        bool zoomed;
        Rgba border;
        double shadowOpacity, shadowRadius, shadowY;
    };
    Rgba waiting = Rgba::fromBytes(224, 162, 71);
    waiting.alpha = 0.8;
    const Case cases[] = {
        {"Ordinary", SessionStatus::busy, false, {1, 1, 1, 0.08}, 0.32, 14, -4},
        {"Zoomed", SessionStatus::busy, true, {1, 1, 1, 0.16}, 0.62, 56, -18},
        {"Waiting", SessionStatus::waiting, false, waiting, 0.32, 14, -4},
    };
    for (const Case& c : cases) {
        session.setStatus(c.status);
        tile.setZoomed(c.zoomed);
        tile.refresh();
        EXPECT_EQ(tile.card().borderColor(), c.border) << c.name;
        EXPECT_EQ(tile.card().borderWidth(), 1) << c.name;
        EXPECT_EQ(tile.shadow().opacity, c.shadowOpacity) << c.name;
        EXPECT_EQ(tile.shadow().radius, c.shadowRadius) << c.name;
        EXPECT_EQ(tile.shadow().offset.y, c.shadowY) << c.name;
        EXPECT_EQ(tile.grip().isHidden(), !c.zoomed) << c.name;
        EXPECT_EQ(tile.scaler().interactive(), c.zoomed) << c.name;
    }
    EXPECT_EQ(tile.dot().layerBackgroundColor(), Theme::status(SessionStatus::waiting));
    session.finishTurn();
    tile.refresh();
    EXPECT_EQ(tile.dot().layerBackgroundColor(), Rgba::fromBytes(95, 176, 122));
    EXPECT_NE(tile.subLabel().string().find(t("st_done")), std::string::npos);
    session.setStatus(SessionStatus::exited);
    tile.refresh();
    EXPECT_EQ(tile.dot().layerBackgroundColor(), Rgba::fromBytes(92, 92, 100));
    EXPECT_NE(tile.subLabel().string().find(t("st_exited")), std::string::npos);
}

TEST_F(TileViewTest, TheSameZoomTwiceDoesNothing) {
    tile.setZoomed(true);
    loop.advance(std::chrono::seconds(1));
    const int fits = tile.scaler().fitCount();
    tile.setZoomed(true);
    loop.advance(std::chrono::seconds(1));
    EXPECT_EQ(tile.scaler().fitCount(), fits);
    EXPECT_FALSE(tile.scaler().fitPending());
}

TEST_F(TileViewTest, LabelsAndButtons) {
    tile.setIndexText("3");
    EXPECT_EQ(tile.indexLabel().string(), "3");
    EXPECT_EQ(tile.titleLabel().string(), "project");
    EXPECT_NE(tile.subLabel().string().find("/tmp/project"), std::string::npos);
    int closes = 0;
    platform::ui::View* anchor = nullptr;
    tile.onCloseRequested = [&] { ++closes; };
    tile.onMoveRequested = [&](platform::ui::View& v) { anchor = &v; };
    tile.closeButton().performClick();
    tile.moveButton().performClick();
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(anchor, &tile.moveButton());
}

}  // namespace
}  // namespace quiltdeck
