#include <gtest/gtest.h>

#include <cmath>

#include "platform/ui/Button.h"
#include "platform/ui/DesktopAppearance.h"
#include "platform/ui/Label.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/RichTextView.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/Spinner.h"
#include "platform/ui/headless/HeadlessWindow.h"

using namespace platform::ui;
using platform::gfx::Rect;

namespace {

// Counts what a peer would have to show again.
class CountingPeer : public ControlPeer {
public:
    explicit CountingPeer(int& updates, bool showsToolTip = true) : updates_(updates), showsToolTip_(showsToolTip) {}
    void update() override { ++updates_; }
    bool showsToolTip() const override { return showsToolTip_; }

private:
    int& updates_;
    bool showsToolTip_;
};

SegmentedControl::Segment segment(std::string label, double width = 0, bool enabled = true) {
    SegmentedControl::Segment made;
    made.label = std::move(label);
    made.width = width;
    made.enabled = enabled;
    return made;
}

const std::string longText = "a label long enough to need three or four lines at a narrow width, and then some";

}  // namespace

TEST(Button, ClicksAsAUserWouldOnlyWhileUsable) {
    struct Case {
        const char* name;
        Button::Type type;
        bool enabled, hidden, superviewHidden;
        int actions;
        Button::State state;
    } cases[] = {
        {"push", Button::Type::push, true, false, false, 1, Button::State::off},
        {"checkBox", Button::Type::checkBox, true, false, false, 1, Button::State::on},
        {"disabled", Button::Type::checkBox, false, false, false, 0, Button::State::off},
        {"hidden", Button::Type::push, true, true, false, 0, Button::State::off},
        {"inHiddenView", Button::Type::push, true, false, true, 0, Button::State::off},
    };
    for (const Case& c : cases) {
        View parent;
        Button button(c.type);
        parent.addSubview(&button);
        int actions = 0;
        Button::State seen = Button::State::off;
        button.setAction([&](Control& sender) {
            ++actions;
            seen = static_cast<Button&>(sender).state();
        });
        button.setEnabled(c.enabled);
        button.setHidden(c.hidden);
        parent.setHidden(c.superviewHidden);
        EXPECT_EQ(button.performClick(), c.actions > 0) << c.name;
        EXPECT_EQ(actions, c.actions) << c.name;
        EXPECT_EQ(button.state(), c.state) << c.name;
        // The action sees the new state of a check box.
        if (c.actions) {
            EXPECT_EQ(seen, c.state) << c.name;
        }
    }
    Button noAction;
    EXPECT_TRUE(noAction.performClick());
}

TEST(Button, APlainTitleDropsTheStyledOne) {
    Button button;
    TextAttributes bold;
    bold.font.weight = platform::gfx::FontWeight::bold;
    button.setAttributedTitle(RichText("Open", bold));
    EXPECT_EQ(button.title(), "Open");
    button.setTitle("Close");
    EXPECT_FALSE(button.attributedTitle());
    EXPECT_EQ(button.shownTitle().runs()[0].attributes.font.weight, platform::gfx::FontWeight::regular);
}

// Every shown property tells the peer once, and only when it changes.
TEST(Button, TellsItsPeerOfChanges) {
    Button button;
    int updates = 0;
    button.setPeer(std::make_unique<CountingPeer>(updates));
    EXPECT_EQ(updates, 1);
    button.setTitle("A");
    button.setTitle("A");
    button.setEnabled(false);
    button.setLook(Button::Look{});
    button.setLook(Button::Look{});
    button.setState(Button::State::on);
    EXPECT_EQ(updates, 5);
}

// A toolkit's widget belongs to the window it was made in.
TEST(Button, DropsItsPeerWhenItLeavesTheWindow) {
    headless::HeadlessWindow window({100, 100}, 1);
    View content;
    window.setContentView(&content);
    Button button;
    content.addSubview(&button);
    int updates = 0;
    button.setPeer(std::make_unique<CountingPeer>(updates));
    button.setFrame({10, 10, 50, 20});
    EXPECT_TRUE(button.peer());
    button.removeFromSuperview();
    EXPECT_FALSE(button.peer());
    window.setContentView(nullptr);
}

// A control without a toolkit's widget shows its tool tip itself, and so does one whose widget
// the pointer passes through (a plain label's).
TEST(Label, ToolTipWithoutAWidget) {
    Label label;
    label.setToolTip("Shop");
    int updates = 0;
    label.setPeer(std::make_unique<CountingPeer>(updates));
    EXPECT_EQ(label.toolTipText(), "");
    label.setPeer(nullptr);
    EXPECT_EQ(label.toolTipText(), "Shop");
    label.setPeer(std::make_unique<CountingPeer>(updates, false));
    EXPECT_EQ(label.toolTipText(), "Shop");
}

// Sizes to fit: the title's measure plus a margin that depends on the kind of button.
TEST(Button, FittingSizes) {
    Button push, pill, small, checkBox(Button::Type::checkBox), image;
    for (Button* b : {&push, &pill, &small, &checkBox}) b->setTitle("Choose from disk");
    pill.setBordered(false);
    pill.setBezelStyle(Button::BezelStyle::regularSquare);
    small.setControlSize(Button::ControlSize::small);
    image.setImage(platform::gfx::Image{20, 10, std::vector<uint32_t>(200, 0xFF000000u)});
    const double text = push.shownTitle().measure().width;
    EXPECT_EQ(push.fittingSize().width, text + 24);
    EXPECT_EQ(pill.fittingSize().width, text + 8);
    EXPECT_LT(small.fittingSize().width, push.fittingSize().width);  // 11 pt, not 13
    // The box, a gap, the title in whole points and the focus ring's room after it.
    EXPECT_EQ(checkBox.fittingSize().width, 14 + 4 + std::ceil(text) + 4);
    EXPECT_EQ(image.fittingSize(), (platform::gfx::Size{20, 10}));
    Button empty(Button::Type::checkBox);
    EXPECT_EQ(empty.fittingSize().width, 14);
}

// A wrapping check box keeps its frame's width and takes the lines its title needs there.
TEST(Button, AWrappingCheckBoxTitleTakesTheLinesItNeeds) {
    struct Case {
        double width;
        bool wraps;
        int lines;
    } cases[] = {{2000, true, 1}, {260, true, 2}, {150, true, 4}, {140, true, 5}, {140, false, 1}};
    Button one(Button::Type::checkBox);
    one.setTitle("x");
    const double line = one.shownTitle().measure().height;
    for (const Case& c : cases) {
        Button box(Button::Type::checkBox, Rect{0, 0, c.width, 20});
        box.setTitle("Answer the folder-trust question for my home folder automatically");
        box.setWrapsTitle(c.wraps);
        const auto size = box.fittingSize();
        SCOPED_TRACE(std::to_string(c.width) + (c.wraps ? " wrapping" : ""));
        if (c.wraps) {
            EXPECT_EQ(size.width, c.width);
        }
        // As many lines as the case says (a measure rounds up to whole points).
        EXPECT_GT(size.height, line * (c.lines - 1) + 1);
        EXPECT_LE(size.height, std::max(18.0, line * c.lines + 1));
        EXPECT_EQ(box.titleWrapWidth().has_value(), c.wraps);
    }
    // Only a check box wraps.
    Button push(Button::Type::push, Rect{0, 0, 60, 20});
    push.setTitle("a long enough title for two lines");
    push.setWrapsTitle(true);
    EXPECT_FALSE(push.titleWrapWidth());
}

// Without colours of their own the stand-ins draw as the toolkit's widgets do in the palette the
// application applied: dark controls with light titles, or the reverse.
TEST(Button, PlainTitlesFollowTheAppliedPalette) {
    for (bool dark : {false, true}) {
        DesktopAppearance::applyApplicationDark(dark);
        Button plain;
        plain.setTitle("Close");
        const auto colour = plain.shownTitle().runs()[0].attributes.color;
        EXPECT_EQ(colour.red > 0.5, dark) << dark;
        Button tinted;
        tinted.setTitle("Close");
        tinted.setContentTintColor(platform::gfx::Rgba{1, 0, 0, 1});
        EXPECT_EQ(tinted.shownTitle().runs()[0].attributes.color, (platform::gfx::Rgba{1, 0, 0, 1}));
    }
    DesktopAppearance::applyApplicationDark(false);
}

TEST(PopUpButton, ChoosingSelectsThenActsAndOutsideChangesNothing) {
    PopUpButton popUp;
    EXPECT_EQ(popUp.indexOfSelectedItem(), -1);
    EXPECT_EQ(popUp.titleOfSelectedItem(), "");
    for (const char* item : {"English", "Deutsch", "中文"}) popUp.addItem(item);
    EXPECT_EQ(popUp.indexOfSelectedItem(), 0);
    std::vector<int> chosen;
    popUp.setAction([&](Control& sender) { chosen.push_back(static_cast<PopUpButton&>(sender).indexOfSelectedItem()); });
    popUp.selectItem(2);  // by the program: no action
    EXPECT_TRUE(chosen.empty());
    for (int index : {1, 3, -1}) popUp.choose(index);
    EXPECT_EQ(chosen, std::vector<int>{1});
    EXPECT_EQ(popUp.titleOfSelectedItem(), "Deutsch");
    popUp.selectItem(7);
    EXPECT_EQ(popUp.indexOfSelectedItem(), -1);
    // As wide as the widest item, whichever is selected.
    const double width = popUp.fittingSize().width;
    popUp.selectItem(0);
    EXPECT_EQ(popUp.fittingSize().width, width);
}

TEST(SegmentedControl, SelectingAndMomentarySegments) {
    SegmentedControl control;
    control.setSegments({segment("one"), segment("two"), segment("off", 0, false)});
    int actions = 0;
    control.setAction([&](Control&) { ++actions; });
    EXPECT_TRUE(control.choose(1));
    EXPECT_EQ(control.selectedSegment(), 1);
    EXPECT_FALSE(control.choose(2));  // a disabled segment
    EXPECT_FALSE(control.choose(3));
    EXPECT_EQ(control.selectedSegment(), 1);
    control.setTracking(SegmentedControl::Tracking::momentary);
    EXPECT_TRUE(control.choose(0));
    EXPECT_EQ(control.selectedSegment(), -1);
    EXPECT_EQ(control.clickedSegment(), 0);
    EXPECT_EQ(actions, 2);
    control.setSegments({segment("a", 50), segment("b")});
    EXPECT_EQ(control.widthOfSegment(0), 50);
    EXPECT_EQ(control.fittingSize().width, 50 + control.widthOfSegment(1));
    // What a segment needs, whatever width it was given.
    control.setSegments({segment("a segment far too long for its width", 40), segment("b")});
    EXPECT_GT(control.neededWidthOfSegment(0), 40);
    EXPECT_EQ(control.neededWidthOfSegment(1), control.widthOfSegment(1));
    EXPECT_EQ(control.neededWidthOfSegment(2), 0);
}

// A look of its own: every segment on its fill, the selected one on its own, titles to match.
TEST(SegmentedControl, DrawsItsOwnLook) {
    platform::ui::headless::HeadlessWindow window({200, 30}, 1);
    SegmentedControl control(Rect{0, 0, 200, 30});
    control.setSegments({segment("", 100), segment("", 100)});
    const auto fill = platform::gfx::Rgba::fromBytes(25, 27, 29), selected = platform::gfx::Rgba::fromBytes(70, 75, 84);
    control.setLook(SegmentedControl::Look{fill, {1, 1, 1, 1}, selected, {1, 1, 1, 1}, {0, 0, 0, 0}});
    control.setSelectedSegment(1);
    window.setContentView(&control);
    window.display();
    EXPECT_EQ(window.pixel(50, 15) & 0xFFFFFF, 0x191B1Du);
    EXPECT_EQ(window.pixel(150, 15) & 0xFFFFFF, 0x464B54u);
    window.setContentView(nullptr);
}

TEST(Label, FitsPlainWrappedAndCutText) {
    Label label({0, 0, 120, 20});
    label.setText(longText);
    const auto line = label.fittingSize();
    label.setWraps(true);
    const auto wrapped = label.fittingSize();  // at its frame's width
    EXPECT_LE(wrapped.width, 120);
    EXPECT_GT(wrapped.height, 2 * line.height);
    label.setPreferredMaxLayoutWidth(300);
    EXPECT_LT(label.fittingSize().height, wrapped.height);
    label.setPreferredMaxLayoutWidth(std::nullopt);
    label.setMaximumLines(2);
    EXPECT_NEAR(label.fittingSize().height, 2 * line.height, 2);
    // Styled text keeps its own font when the label's font changes.
    TextAttributes big;
    big.font.size = 30;
    label.setRichText(RichText("Big", big));
    label.setFont(platform::gfx::InterfaceFont::system(8, platform::gfx::FontWeight::regular));
    EXPECT_EQ(label.shownText().runs()[0].attributes.font.size, 30);
    label.setText("small");
    EXPECT_EQ(label.shownText().runs()[0].attributes.font.size, 8);
}

TEST(Label, ReportsAClickOnALink) {
    Label label({0, 0, 300, 20});
    TextAttributes link;
    link.link = "https://example.org/a";
    RichText text("read ", TextAttributes{});
    text.append("this", link);
    label.setRichText(text);
    std::string opened;
    label.onLink = [&](const std::string& url) { opened = url; };
    const double before = RichText("read ", TextAttributes{}).measure().width;
    EXPECT_FALSE(label.clickLink({1, 5}));
    EXPECT_TRUE(label.clickLink({before + 4, 5}));
    EXPECT_EQ(opened, "https://example.org/a");
}

TEST(RichTextView, DocumentFollowsTheWidthAndScrollingStaysInside) {
    TextAttributes plain;
    RichText text;
    for (int i = 0; i < 40; ++i) text.append(longText + "\n", plain);
    RichTextView view({0, 0, 560, 300});
    view.setText(text);
    view.setTextInset({24, 20});
    const double tall = view.documentSize().height;
    EXPECT_GT(tall, 600);
    EXPECT_NEAR(tall, text.measure(560 - 48).height + 40, 0.5);
    view.scrollTo(1e9);
    EXPECT_EQ(view.scrollOffset(), tall - 300);
    view.scrollTo(-5);
    EXPECT_EQ(view.scrollOffset(), 0);
    view.scrollTo(tall);
    view.setFrameSize({560, tall + 100});  // everything fits: back to the top
    EXPECT_EQ(view.scrollOffset(), 0);
}

TEST(Spinner, ShowsOnlyWhileSpinning) {
    Spinner spinner({0, 0, 16, 16});
    spinner.setStyle(Spinner::Style::small);
    EXPECT_EQ(spinner.fittingSize(), (platform::gfx::Size{16, 16}));
    headless::HeadlessWindow window({16, 16}, 1);
    window.setContentView(&spinner);
    window.display();
    EXPECT_EQ(window.pixel(2, 8), 0u);
    spinner.startAnimation();
    EXPECT_TRUE(spinner.isAnimating());
    window.display();
    bool ink = false;
    for (int x = 0; x < 16; ++x)
        for (int y = 0; y < 16; ++y) ink = ink || window.pixel(x, y) != 0;
    EXPECT_TRUE(ink);
    window.setContentView(nullptr);
}
