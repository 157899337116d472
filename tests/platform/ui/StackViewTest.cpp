#include <gtest/gtest.h>

#include "platform/ui/Label.h"
#include "platform/ui/StackView.h"

using namespace platform::ui;
using platform::gfx::Rect;

// Views stand in order with the gap between them, at their own sizes or a given width; a
// horizontal line centres them across, a vertical one keeps them at the leading edge; hidden
// views take no room.
TEST(StackView, PlacesViewsInOrderWithTheirGaps) {
    View a({0, 0, 30, 10}), b({0, 0, 20, 20}), hidden({0, 0, 50, 50}), c({0, 0, 10, 4});
    hidden.setHidden(true);
    struct Case {
        StackView::Orientation orientation;
        std::vector<Rect> frames;
        platform::gfx::Size fitting;
    } cases[] = {
        {StackView::Orientation::horizontal, {{0, 5, 30, 10}, {36, 0, 20, 20}, {62, 8, 40, 4}}, {102, 20}},
        {StackView::Orientation::vertical, {{0, 0, 30, 10}, {0, 16, 20, 20}, {0, 42, 40, 4}}, {40, 46}},
    };
    for (const Case& test : cases) {
        StackView stack(test.orientation);
        stack.setSpacing(6);
        stack.addArrangedSubview(&a);
        stack.addArrangedSubview(&b);
        stack.addArrangedSubview(&hidden);
        stack.addArrangedSubview(&c, 40);
        EXPECT_EQ(a.frame(), test.frames[0]);
        EXPECT_EQ(b.frame(), test.frames[1]);
        EXPECT_EQ(c.frame(), test.frames[2]);
        EXPECT_EQ(stack.fittingSize(), test.fitting);
        EXPECT_EQ(a.superview(), &stack);
    }
}

// Moving keeps the view and its width; removing takes it out of the stack and its superview;
// adding a view again moves it to the end instead of listing it twice.
TEST(StackView, MovesRemovesAndNeverListsTwice) {
    StackView stack(StackView::Orientation::horizontal);
    stack.setSpacing(0);
    View a({0, 0, 10, 10}), b({0, 0, 10, 10}), c({0, 0, 10, 10});
    for (View* v : {&a, &b, &c}) stack.addArrangedSubview(v);
    stack.moveArrangedSubview(&c, 0);
    EXPECT_EQ(stack.arrangedSubviews(), (std::vector<View*>{&c, &a, &b}));
    EXPECT_EQ(c.frame().x, 0);
    stack.moveArrangedSubview(&c, 99);
    EXPECT_EQ(stack.arrangedSubviews().back(), &c);
    stack.addArrangedSubview(&a);
    EXPECT_EQ(stack.arrangedSubviews(), (std::vector<View*>{&b, &c, &a}));
    stack.removeArrangedSubview(&c);
    EXPECT_EQ(c.superview(), nullptr);
    EXPECT_EQ(a.frame().x, 10);
    stack.removeAllArrangedSubviews();
    EXPECT_TRUE(stack.arrangedSubviews().empty());
    EXPECT_TRUE(stack.subviews().empty());
}

// Controls take their fitting size, nested stacks theirs.
TEST(StackView, ControlsAndNestedStacksFitTheirContent) {
    StackView column(StackView::Orientation::vertical), row(StackView::Orientation::horizontal);
    Label label;
    label.setText("fits");
    row.addArrangedSubview(&label);
    column.addArrangedSubview(&row);
    EXPECT_EQ(row.frame().width, label.fittingSize().width);
    EXPECT_EQ(label.frame().width, label.fittingSize().width);
    EXPECT_GT(label.frame().height, 0);
}
