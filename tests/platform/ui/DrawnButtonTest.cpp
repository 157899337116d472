#include "platform/ui/DrawnButton.h"

#include <gtest/gtest.h>

#include <tuple>

#include "platform/ui/PopUpMenu.h"
#include "platform/ui/headless/HeadlessWindow.h"

using namespace platform::ui;
using platform::gfx::Point;
using platform::gfx::Rect;

namespace {

class Root : public View {
public:
    using View::View;
    bool isFlipped() const override { return true; }
};

class DrawnButtonTest : public ::testing::Test {
protected:
    DrawnButtonTest() {
        window.setContentView(&root);
        root.addSubview(&button);
        button.action = [this](DrawnButton&) { ++clicks; };
    }
    ~DrawnButtonTest() override { PopUpMenu::setPresenter(nullptr); }
    // Points from the window's top-left.
    void mouse(MouseEvent::Type type, Point p, uint8_t which = MouseEvent::left) {
        MouseEvent e;
        e.type = type;
        e.button = which;
        e.locationInWindow = {p.x, 100 - p.y};
        window.sendMouseEvent(e);
    }
    headless::HeadlessWindow window{{200, 100}, 1};
    Root root;
    DrawnButton button{Rect{20, 20, 60, 26}};
    int clicks = 0;
};

TEST_F(DrawnButtonTest, ClickedWhenReleasedOverIt) {
    struct Case {
        const char* name;
        Point release;
        bool enabled;
        int clicks;
    };
    const Case cases[] = {{"ReleasedOver", {50, 30}, true, 1},
                          {"DraggedOffAndReleased", {150, 80}, true, 0},
                          {"Disabled", {50, 30}, false, 0}};
    for (const Case& c : cases) {
        clicks = 0;
        button.setEnabled(c.enabled);
        mouse(MouseEvent::Type::down, {30, 30});
        EXPECT_EQ(button.isHighlighted(), c.enabled) << c.name;
        mouse(MouseEvent::Type::dragged, c.release);
        mouse(MouseEvent::Type::up, c.release);
        EXPECT_EQ(clicks, c.clicks) << c.name;
        EXPECT_FALSE(button.isHighlighted()) << c.name;
    }
    button.setEnabled(true);
    button.setHidden(true);
    EXPECT_FALSE(button.performClick());
}

TEST_F(DrawnButtonTest, RightClickShowsItsMenuWithChecksAndSeparators) {
    std::string picked;
    Menu menu;
    MenuItem rename;
    rename.title = "Rename Tab";
    rename.checked = true;
    rename.action = [&](const MenuItem& item) { picked = item.title; };
    MenuItem off = rename;
    off.title = "Off";
    off.enabled = false;
    menu.items = {rename, MenuItem::separatorItem(), off};
    button.menu = menu;
    mouse(MouseEvent::Type::down, {40, 30}, MouseEvent::right);
    auto* menus = headless::HeadlessMenus::current();
    ASSERT_TRUE(menus && menus->shown());
    EXPECT_EQ(menus->shownIn(), &window);
    EXPECT_EQ(menus->shownAt().x, 40);
    EXPECT_EQ(menus->shownAt().y, 70);
    EXPECT_TRUE(menus->shown()->items[0].checked);
    EXPECT_TRUE(menus->shown()->items[1].separator);
    EXPECT_FALSE(menus->pick("Off"));  // disabled: nothing runs
    EXPECT_FALSE(menus->shown());
    mouse(MouseEvent::Type::down, {40, 30}, MouseEvent::right);
    EXPECT_TRUE(menus->pick("Rename Tab"));
    EXPECT_EQ(picked, "Rename Tab");
    EXPECT_EQ(clicks, 0);
    // Without a menu a right click does nothing.
    button.menu.reset();
    mouse(MouseEvent::Type::down, {40, 30}, MouseEvent::right);
    EXPECT_FALSE(menus->shown());
    EXPECT_EQ(menus->popUpCount(), 2);
}

// Keyboard-operable: a key view that plain Space and Return press and that draws its ring while it
// has the keyboard; any other key goes on up. Its tool tip shows at the pointer.
TEST_F(DrawnButtonTest, TheKeyboardPressesOneMadeOperable) {
    auto key = [&](Key which, ModifierFlags modifiers = 0) {
        KeyEvent event;
        event.type = KeyEvent::Type::down;
        event.key = which;
        event.modifiers = modifiers;
        window.sendKeyEvent(event);
    };
    EXPECT_FALSE(window.makeFirstResponder(&button));
    button.setKeyboardOperable(true);
    ASSERT_TRUE(window.makeFirstResponder(&button));
    window.displayIfNeeded();
    EXPECT_EQ(window.pixel(50, 21) & 0xffffff, 0x3585e3u);  // the ring, inside its top edge
    const std::tuple<Key, ModifierFlags, int> cases[] = {{Key::space, 0, 1},        {Key::returnKey, 0, 1},
                                                         {Key::keypadEnter, 0, 1},  {Key::returnKey, Modifier::shift, 0},
                                                         {Key::space, Modifier::control, 0}, {Key::character, 0, 0}};
    for (const auto& [which, modifiers, count] : cases) {
        clicks = 0;
        key(which, modifiers);
        EXPECT_EQ(clicks, count) << static_cast<int>(which) << " " << modifiers;
    }
    button.setToolTip("Start fresh");
    EXPECT_EQ(window.toolTipAt({50, 70})->text, "Start fresh");
    button.setKeyboardOperable(false);
    EXPECT_EQ(window.firstResponder(), nullptr);
}

TEST_F(DrawnButtonTest, StacksLikeAnyViewAndDrawsItsLook) {
    // A view over the button covers it and takes its clicks.
    View cover(Rect{0, 0, 200, 100});
    root.addSubview(&cover);
    mouse(MouseEvent::Type::down, {50, 30});
    mouse(MouseEvent::Type::up, {50, 30});
    EXPECT_EQ(clicks, 0);
    cover.removeFromSuperview();
    button.setLayerBackgroundColor(platform::gfx::Rgba{0, 0, 1, 1});
    button.setCornerRadius(13);
    button.setSymbol(DrawnButton::Symbol::plus, 11, platform::gfx::FontWeight::bold);
    button.setTint(platform::gfx::Rgba{1, 1, 1, 1});
    window.displayIfNeeded();
    EXPECT_GE((window.pixel(50, 33) >> 16) & 0xff, 0xf0u);  // the plus's centre
    EXPECT_EQ(window.pixel(25, 30), 0xff0000ffu);  // the fill
    EXPECT_EQ(window.pixel(20, 20), 0u);           // cut off by the round corner
    EXPECT_EQ(button.fittingSize().width, 11);
}

}  // namespace
