#include <gtest/gtest.h>

#include "platform/ui/Button.h"
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
