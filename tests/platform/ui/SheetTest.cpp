#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/ui/Button.h"
#include "platform/ui/View.h"
#include "platform/ui/headless/HeadlessWindow.h"

namespace platform::ui {
namespace {

using headless::HeadlessWindow;

KeyEvent press(Key key, ModifierFlags modifiers = 0) {
    KeyEvent event;
    event.key = key;
    event.modifiers = modifiers;
    return event;
}

TEST(Sheet, OneAtATimeOverItsWindow) {
    HeadlessWindow main({800, 600}, 1), first({300, 200}, 1), second({300, 200}, 1);
    std::vector<std::string> ended;
    main.beginSheet(first, [&](int response) { ended.push_back("first " + std::to_string(response)); });
    EXPECT_EQ(main.attachedSheet(), &first);
    EXPECT_EQ(first.sheetParent(), &main);
    EXPECT_EQ(first.presentCount(), 1);
    // A second sheet ends the first before it shows.
    main.beginSheet(second, [&](int response) { ended.push_back("second " + std::to_string(response)); });
    EXPECT_EQ(main.attachedSheet(), &second);
    EXPECT_EQ(first.sheetParent(), nullptr);
    main.endSheet(first, 5);  // not attached: nothing
    main.endSheet(second, 1);
    EXPECT_EQ(main.attachedSheet(), nullptr);
    EXPECT_EQ(ended, (std::vector<std::string>{"first -1", "second 1"}));
    main.beginSheet(main, nullptr);  // never over itself
    EXPECT_EQ(main.attachedSheet(), nullptr);
}

// The window's key handling sees the sheet's keys; the close button ends the sheet.
TEST(Sheet, KeysReachTheWindowsMonitorAndTheCloseButtonEndsIt) {
    HeadlessWindow main({800, 600}, 1), sheet({300, 200}, 1);
    int seen = 0;
    main.keyDownMonitor = [&](const KeyEvent& event) {
        ++seen;
        if (event.key != Key::escape || !main.attachedSheet()) return false;
        main.endSheet(*main.attachedSheet(), Window::cancelled);
        return true;
    };
    int responses = 0;
    main.beginSheet(sheet, [&](int response) {
        EXPECT_EQ(response, Window::cancelled);
        ++responses;
    });
    sheet.sendKeyEvent(press(Key::character));
    sheet.sendKeyEvent(press(Key::escape));
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(main.attachedSheet(), nullptr);
    EXPECT_FALSE(sheet.keyDownMonitor);  // its own again (none)

    main.beginSheet(sheet, [&](int) { ++responses; });
    ASSERT_TRUE(sheet.onCloseRequest);
    sheet.onCloseRequest();
    EXPECT_EQ(main.attachedSheet(), nullptr);
    EXPECT_FALSE(sheet.onCloseRequest);
    EXPECT_EQ(responses, 2);
}

TEST(Sheet, AWindowThatGoesLeavesNoSheetBehind) {
    HeadlessWindow main({800, 600}, 1);
    int responses = 0;
    {
        HeadlessWindow sheet({300, 200}, 1);
        main.beginSheet(sheet, [&](int) { ++responses; });
    }
    EXPECT_EQ(main.attachedSheet(), nullptr);
    EXPECT_EQ(responses, 1);
    HeadlessWindow sheet({300, 200}, 1);
    {
        HeadlessWindow parent({800, 600}, 1);
        parent.beginSheet(sheet, nullptr);
    }
    EXPECT_EQ(sheet.sheetParent(), nullptr);
}

// Takes the keyboard and notes the characters it gets.
class Typed : public View {
public:
    bool acceptsFirstResponder() const override { return true; }
    void keyDown(const KeyEvent& event) override { text += event.characters; }
    std::string text;
};

KeyEvent typed(const char* text) {
    KeyEvent event = press(Key::character);
    event.characters = text;
    return event;
}

// Keys typed after what ended a sheet may still reach it (sent before the keyboard moved): they
// go to the window it was over, until the sheet shows again or that window goes.
TEST(Sheet, KeysThatReachAnEndedSheetGoToItsWindowUntilItShowsAgain) {
    Typed tile, field;
    auto main = std::make_unique<HeadlessWindow>(gfx::Size{800, 600}, 1);
    HeadlessWindow sheet({300, 200}, 1);
    main->setContentView(&tile);
    sheet.setContentView(&field);
    main->makeFirstResponder(&tile);
    main->beginSheet(sheet, nullptr);
    sheet.makeFirstResponder(&field);
    sheet.sendKeyEvent(typed("q"));
    main->endSheet(sheet);
    EXPECT_EQ(sheet.keysGoTo(), main.get());
    for (const char* text : {"k", "2"}) sheet.sendKeyEvent(typed(text));
    main->sendKeyEvent(typed("n"));
    EXPECT_EQ(tile.text, "k2n");
    EXPECT_EQ(field.text, "q");
    main->beginSheet(sheet, nullptr);
    sheet.sendKeyEvent(typed("p"));
    main->endSheet(sheet);
    sheet.present();
    sheet.sendKeyEvent(typed("s"));
    EXPECT_EQ(field.text, "qps");
    main->beginSheet(sheet, nullptr);
    main->endSheet(sheet);
    const auto later = sheet.keysGoToLater();
    EXPECT_EQ(later(), main.get());
    main.reset();
    EXPECT_EQ(sheet.keysGoTo(), nullptr);
    EXPECT_EQ(later(), nullptr);
    sheet.sendKeyEvent(typed("t"));
    EXPECT_EQ(field.text, "qpst");
}

// Return and Escape click the usable button that carries them, when nothing takes the press first.
TEST(KeyEquivalent, ReturnAndEscapeClickTheirButtons) {
    HeadlessWindow window({300, 200}, 1);
    View content;
    window.setContentView(&content);
    Button ok, cancel, hidden;
    for (Button* b : {&hidden, &ok, &cancel}) content.addSubview(b);
    ok.setKeyEquivalent(Button::KeyEquivalent::returnKey);
    cancel.setKeyEquivalent(Button::KeyEquivalent::escape);
    hidden.setKeyEquivalent(Button::KeyEquivalent::returnKey);
    hidden.setHidden(true);
    std::string clicks;
    ok.setAction([&](Control&) { clicks += "ok "; });
    cancel.setAction([&](Control&) { clicks += "cancel "; });
    hidden.setAction([&](Control&) { clicks += "hidden "; });
    struct Case {
        Key key;
        ModifierFlags modifiers;
        bool taken;
    } cases[] = {{Key::returnKey, 0, true},   {Key::keypadEnter, 0, true},         {Key::escape, 0, true},
                 {Key::returnKey, Modifier::control, false}, {Key::escape, Modifier::shift, false}, {Key::tab, 0, false}};
    for (const Case& c : cases) EXPECT_EQ(window.performKeyEquivalent(press(c.key, c.modifiers)), c.taken);
    EXPECT_EQ(clicks, "ok ok cancel ");
    ok.setEnabled(false);
    EXPECT_FALSE(window.performKeyEquivalent(press(Key::returnKey)));
    // The window's monitor comes first.
    window.keyDownMonitor = [](const KeyEvent&) { return true; };
    window.sendKeyEvent(press(Key::escape));
    EXPECT_EQ(clicks, "ok ok cancel ");
    window.keyDownMonitor = nullptr;
    window.sendKeyEvent(press(Key::escape));
    EXPECT_EQ(clicks, "ok ok cancel cancel ");
    window.setContentView(nullptr);
}

}  // namespace
}  // namespace platform::ui
