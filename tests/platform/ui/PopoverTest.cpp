#include "platform/ui/Popover.h"

#include <gtest/gtest.h>

#include "platform/ui/Button.h"
#include "platform/ui/headless/HeadlessPopovers.h"

namespace platform::ui {
namespace {

using headless::PopoverWindow;

TEST(Popover, ShowsItsContentNextToTheAnchorUntilClosed) {
    headless::HeadlessWindow parent({800, 600}, 2);
    View content({0, 0, 436, 232});
    Popover popover;
    int closed = 0;
    popover.onClose = [&] { ++closed; };
    popover.show(content, parent, {100, 400, 300, 28});
    ASSERT_TRUE(popover.isShown());
    EXPECT_EQ(popover.window()->size(), (gfx::Size{436, 232}));
    EXPECT_EQ(popover.window()->backingScaleFactor(), 2);
    EXPECT_EQ(popover.window()->contentView(), &content);
    EXPECT_EQ(&static_cast<PopoverWindow*>(popover.window())->parent(), &parent);
    EXPECT_EQ(popover.anchor(), (gfx::Rect{100, 400, 300, 28}));

    static_cast<PopoverWindow*>(popover.window())->clickOutside();
    EXPECT_FALSE(popover.isShown());
    EXPECT_EQ(content.window(), nullptr);
    EXPECT_EQ(closed, 1);
    popover.close();  // shown no more: nothing
    EXPECT_EQ(closed, 1);
}

// The content may close its own popover from an action; a second showing replaces the first.
TEST(Popover, ContentClosesItAndShowingAgainReplacesTheWindow) {
    headless::HeadlessWindow parent({800, 600}, 1);
    View content({0, 0, 200, 100});
    Button choice;
    content.addSubview(&choice);
    Popover popover;
    int closed = 0;
    popover.onClose = [&] { ++closed; };
    popover.show(content, parent, {0, 0, 10, 10});
    popover.show(content, parent, {20, 20, 10, 10});
    EXPECT_EQ(closed, 1);
    choice.setAction([&](Control&) { popover.close(); });
    EXPECT_TRUE(choice.performClick());
    EXPECT_FALSE(popover.isShown());
    EXPECT_EQ(closed, 2);
}

TEST(Popover, ALateClickFindsItGone) {
    headless::HeadlessWindow parent({800, 600}, 1);
    View content({0, 0, 200, 100});
    std::function<void()> lateClick;
    struct Keeping : Popover::Presenter {
        std::function<void()>* keep;
        std::unique_ptr<Window> makeWindow(gfx::Size size, Window& parent, const gfx::Rect&, Popover::Edge,
                                           std::function<void()> outsideClick) override {
            *keep = outsideClick;
            return std::make_unique<headless::HeadlessWindow>(size, parent.backingScaleFactor());
        }
    };
    auto presenter = std::make_shared<Keeping>();
    presenter->keep = &lateClick;
    Popover::setPresenter(presenter);
    {
        Popover popover;
        popover.show(content, parent, {0, 0, 10, 10});
    }
    lateClick();  // nothing: the popover is gone
    Popover::setPresenter(nullptr);
    EXPECT_EQ(content.window(), nullptr);
}

}  // namespace
}  // namespace platform::ui
