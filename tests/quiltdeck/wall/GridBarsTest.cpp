// The bar and the tab bar in full screen, on the virtual clock: they slide away after the pointer
// has rested and come back at the top edge.
#include <gtest/gtest.h>

#include "quiltdeck/shell/BarMessage.h"
#include "quiltdeck/wall/WallTestSupport.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
using platform::runtime::Duration;
using platform::ui::KeyEvent;
using platform::ui::MouseEvent;

class GridBars : public testing::WallTest {
protected:
    GridBars() {
        makeGrid();
        window.setAllowsFullScreen(true);
        open("shop");
        open("rent");
        settle();
    }

    // A pointer move to `fromTop` points below the window's top edge.
    void move(double fromTop) {
        MouseEvent e;
        e.type = MouseEvent::Type::moved;
        e.locationInWindow = {600, window.size().height - fromTop};
        window.sendMouseEvent(e);
    }
    void fullScreen(platform::ui::Window& w, bool on) {
        w.setFullScreen(on);
        loop.runPending();
    }
    void typeKey() {
        KeyEvent e;
        e.key = platform::ui::Key::character;
        e.characters = "a";
        window.sendKeyEvent(e);
    }
    void f11() {
        KeyEvent e;
        e.key = static_cast<platform::ui::Key>(static_cast<uint16_t>(platform::ui::Key::f1) + 10);
        window.sendKeyEvent(e);
        loop.runPending();
    }

    platform::ui::headless::HeadlessWindow other{{400, 300}, 1};
};

TEST_F(GridBars, HideAndShowAsThePointerAndFullScreenSay) {
    struct Step {
        std::function<void()> act;
        Duration wait;
        bool hidden;
        bool armed;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    auto enter = [this] { fullScreen(window, true); };
    auto leave = [this] { fullScreen(window, false); };
    auto nothing = [] {};
    auto message = [] { BarMessage::say("Not pasted"); };
    auto menus = [this] {
        window.openMenuBar();
        loop.runPending();
    };
    platform::ui::MenuBar menuBar;
    menuBar.menus.resize(1);
    window.setMenuBar(std::make_shared<platform::ui::MenuBar>(menuBar));
    const Case cases[] = {
        {"outside full screen they never hide",
         {{[&] { move(500); }, 10s, false, false}, {[&] { move(0); }, 10s, false, false}}},
        {"three seconds without a move",
         {{enter, 2999ms, false, true}, {nothing, 1ms, true, false}, {nothing, 10s, true, false}}},
        {"a move restarts the countdown",
         {{enter, 2s, false, true}, {[&] { move(500); }, 2s, false, true}, {nothing, 1s, true, false}}},
        {"the top edge brings them back",
         {{enter, 3s, true, false},
          {[&] { move(4.5); }, 5s, true, false},
          {[&] { move(4); }, 0s, false, true},
          {nothing, 3s, true, false},
          {[&] { move(0); }, 2s, false, true},
          {[&] { move(300); }, 2s, false, true},
          {nothing, 1s, true, false}}},
        {"leaving full screen with them hidden",
         {{enter, 3s, true, false}, {leave, 0s, false, false}, {[&] { move(500); }, 10s, false, false}}},
        {"leaving with them shown cancels the countdown", {{enter, 1s, false, true}, {leave, 10s, false, false}}},
        {"keys alone do not keep them",
         {{enter, 2s, false, true}, {[&] { typeKey(); }, 1s, true, false}}},
        {"another window entering arms nothing",
         {{[&] { fullScreen(other, true); }, 5s, false, false}, {[&] { fullScreen(other, false); }, 5s, false, false}}},
        {"another window leaving cancels the countdown until the next move",
         {{[&] { fullScreen(other, true); }, 0s, false, false},
          {enter, 1s, false, true},
          {[&] { fullScreen(other, false); }, 5s, false, false},
          {[&] { move(500); }, 3s, true, false}}},
        {"F11 in and out", {{[&] { f11(); }, 1s, false, true}, {[&] { f11(); }, 5s, false, false}}},
        {"a message brings them in for its time",
         {{enter, 3s, true, false}, {message, 11999ms, false, true}, {nothing, 1ms, true, false}}},
        {"a move does not cut its time short",
         {{enter, 3s, true, false}, {message, 1s, false, true}, {[&] { move(500); }, 10999ms, false, true}, {nothing, 1ms, true, false}}},
        {"a move after its time restarts the usual countdown",
         {{enter, 3s, true, false}, {message, 11s, false, true}, {[&] { move(500); }, 2999ms, false, true}, {nothing, 1ms, true, false}}},
        {"a message outside full screen arms nothing", {{message, 10s, false, false}}},
        {"the menus opened by keys bring them in",
         {{enter, 3s, true, false}, {menus, 2999ms, false, true}, {nothing, 1ms, true, false}}},
    };
    for (const Case& c : cases) {
        for (size_t i = 0; i < c.steps.size(); ++i) {
            SCOPED_TRACE(std::string(c.name) + ", step " + std::to_string(i + 1));
            const Step& step = c.steps[i];
            step.act();
            loop.advance(step.wait);
            EXPECT_EQ(grid->barHidden(), step.hidden);
            EXPECT_EQ(grid->barHidePending(), step.armed);
        }
        fullScreen(window, false);
        fullScreen(other, false);
        ASSERT_FALSE(grid->barHidden());
    }
}

TEST_F(GridBars, TheGridTakesTheBarsPlace) {
    using Rect = platform::gfx::Rect;
    const Rect shown = card("shop").frame();
    EXPECT_EQ(grid->bar().frame().y, 0);
    EXPECT_EQ(grid->tabs().frame().y, 52);

    fullScreen(window, true);
    settle();
    EXPECT_EQ(grid->bar().frame(), (Rect{0, 24, 1720, 52}));
    EXPECT_EQ(grid->tabs().frame(), (Rect{0, 76, 1720, 38}));
    EXPECT_EQ(card("shop").frame().y, 24 + 90 + 18);

    loop.advance(3s);
    settle();
    EXPECT_EQ(grid->bar().frame(), (Rect{0, -52, 1720, 52}));
    EXPECT_EQ(grid->tabs().frame(), (Rect{0, -38, 1720, 38}));
    EXPECT_EQ(card("shop").frame().y, 18);
    EXPECT_GT(card("shop").frame().height, shown.height);

    // Back within 0.2 s: the slide's 0.16 s from the next frame on.
    move(1);
    for (int frame = 0; frame < 12; ++frame) loop.advance(std::chrono::microseconds(16667));
    EXPECT_EQ(grid->bar().frame(), (Rect{0, 24, 1720, 52}));
    EXPECT_EQ(grid->tabs().frame(), (Rect{0, 76, 1720, 38}));

    fullScreen(window, false);
    settle();
    EXPECT_EQ(grid->bar().frame().y, 0);
    EXPECT_EQ(card("shop").frame(), shown);
}

TEST_F(GridBars, NoWindowNoHide) {
    window.setContentView(nullptr);
    grid.reset();
    makeGrid(false);
    grid->pointerMoved();
    grid->scheduleBarHide();
    EXPECT_FALSE(grid->barHidePending());
    fullScreen(window, true);
    EXPECT_FALSE(grid->barHidePending());
}

}  // namespace
}  // namespace quiltdeck
