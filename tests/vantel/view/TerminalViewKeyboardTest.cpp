// Keys to bytes: the legacy tables, Alt as Meta, Control, the Kitty keyboard protocol, the menu
// shortcuts taken before the keys, modifier keys, and an input method's compositions.
#include <gtest/gtest.h>

#include "support/InputTestSupport.h"
#include "vantel/view/TerminalFindBarView.h"

using namespace vantel;
using namespace vantel::testing;

namespace {

struct KeyCase {
    const char* name;
    KeyEvent event;
    std::string sent;
};

std::string runKey(const KeyEvent& e, const std::string& setup = "", bool optionAsMeta = true) {
    InputFixture f;
    TerminalViewSettings settings = f.view.settings();
    settings.optionAsMetaKey = optionAsMeta;
    f.view.apply(settings);
    if (!setup.empty()) f.view.feed(setup);
    f.take();
    return f.key(e);
}

}  // namespace

TEST(TerminalViewKeyboard, LegacyKeys) {
    const KeyCase cases[] = {
        {"a", typed("a"), "a"},
        {"Shift+a", typed("A", Mod::shift), "A"},
        {"Return", controlKey(Key::returnKey), "\r"},
        {"Tab", controlKey(Key::tab), "\t"},
        {"Shift+Tab", controlKey(Key::tab, Mod::shift), "\x1b[Z"},
        {"Backspace", controlKey(Key::backspace), "\x7f"},
        {"Escape", controlKey(Key::escape), "\x1b"},
        {"Up", pressed(Key::up), "\x1b[A"},
        {"Left", pressed(Key::left), "\x1b[D"},
        {"Home", pressed(Key::home), "\x1b[H"},
        {"Delete", pressed(Key::deleteForward), "\x1b[3~"},
        {"F1", pressed(Key::f1), "\x1bOP"},
        {"F5", pressed(platform::ui::functionKey(5)), "\x1b[15~"},
        {"F12", pressed(platform::ui::functionKey(12)), "\x1b[24~"},
        {"Shift+Up", pressed(Key::up, Mod::shift), "\x1b[1;2A"},
        {"Alt+x", typed("x", Mod::alt), "\x1bx"},
        {"Alt+Shift+x", typed("X", Mod::alt | Mod::shift), "\x1bX"},
        {"Alt+Backspace", controlKey(Key::backspace, Mod::alt), "\x1b\x7f"},
        {"Alt+Return", controlKey(Key::returnKey, Mod::alt), "\x1b\r"},
        // Control first, then the Meta prefix.
        {"Ctrl+Alt+x", typed("x", Mod::control | Mod::alt), "\x1b\x18"},
        {"Ctrl+Alt+1", typed("1", Mod::control | Mod::alt), ""},
        {"Ctrl+a", typed("a", Mod::control), "\x01"},
        {"Ctrl+Shift+x", typed("X", Mod::control | Mod::shift), "\x18"},
        {"Ctrl+1", typed("1", Mod::control), ""},
        {"Ctrl+space", typed(" ", Mod::control, Key::space), std::string(1, '\0')},
        {"Ctrl+6", typed("6", Mod::control), "\x1e"},
        {"Ctrl+[", typed("[", Mod::control), "\x1b"},
        {"Ctrl+Left", pressed(Key::left, Mod::control), "\x1b[1;5D"},
        // AltGr types text, never a Meta prefix.
        {"AltGr+e", typed("\xe2\x82\xac", Mod::altGraph), "\xe2\x82\xac"},
        {"AltGr with Alt", typed("\xe2\x82\xac", Mod::altGraph | Mod::alt), "\xe2\x82\xac"},
        // Super is the Command key: nothing of its own to send, but its bindings.
        {"Super+x", typed("x", Mod::super), ""},
        {"Super+Left", pressed(Key::left, Mod::super), "\x1b" "b"},
        {"Super+Right", pressed(Key::right, Mod::super), "\x1b" "f"},
        // The keypad: digits with NumLock, navigation without.
        {"keypad 5", typed("5", 0, static_cast<Key>(static_cast<int>(Key::keypad0) + 5)), "5"},
        {"keypad Enter", pressed(Key::keypadEnter), "\r"},
        {"keypad Left", pressed(Key::keypadLeft), "\x1b[D"},
        {"keypad PageUp", pressed(Key::keypadPageUp), "\x1b[5~"},
    };
    for (const KeyCase& c : cases) EXPECT_EQ(runKey(c.event), c.sent) << c.name;
}

TEST(TerminalViewKeyboard, ModesAndSettingsChangeWhatKeysSend) {
    EXPECT_EQ(runKey(pressed(Key::up), "\x1b[?1h"), "\x1bOA") << "application cursor";
    EXPECT_EQ(runKey(typed("5", 0, static_cast<Key>(static_cast<int>(Key::keypad0) + 5)), "\x1b="), "\x1bOu") << "application keypad";
    // Alt not as Meta: the key reaches the input system and types its text.
    EXPECT_EQ(runKey(typed("x", Mod::alt), "", false), "x");
    // Alt+Left then is an editing command nobody handles: nothing is sent.
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(runKey(pressed(Key::left, Mod::alt), "", false), "");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Unhandle selector moveWordLeft:\n");
    InputFixture f;
    TerminalViewSettings settings = f.view.settings();
    settings.backspaceSendsControlH = true;
    f.view.apply(settings);
    EXPECT_EQ(f.key(controlKey(Key::backspace)), "\x08");
}

TEST(TerminalViewKeyboard, PageKeysPageTheNormalScreenLocally) {
    InputFixture f;
    for (int i = 0; i < 20; ++i) f.view.feed("line\r\n");
    f.take();
    const int bottom = f.view.getTerminal().buffer().yDisp();
    EXPECT_EQ(f.key(pressed(Key::pageUp)), "");
    EXPECT_EQ(f.view.getTerminal().buffer().yDisp(), bottom - 4);
    EXPECT_EQ(f.key(pressed(Key::pageDown)), "");
    EXPECT_EQ(f.view.getTerminal().buffer().yDisp(), bottom);
    // Shift pages too, and in application cursor mode the plain key goes to the program.
    EXPECT_EQ(f.key(pressed(Key::pageUp, Mod::shift)), "");
    EXPECT_EQ(f.view.getTerminal().buffer().yDisp(), bottom - 4);
    f.view.feed("\x1b[?1h");
    EXPECT_EQ(f.key(pressed(Key::pageDown)), "\x1b[6~");
    // On the alternate screen the keys belong to the program.
    f.view.feed("\x1b[?1l\x1b[?1049h");
    f.take();
    EXPECT_EQ(f.key(pressed(Key::pageDown)), "\x1b[6~");
    EXPECT_EQ(f.key(pressed(Key::pageUp, Mod::shift)), "\x1b[5;2~");
}

TEST(TerminalViewKeyboard, SuperAltOTogglesMeta) {
    InputFixture f;
    const KeyEvent toggle = typed("o", Mod::super | Mod::alt);
    EXPECT_EQ(f.key(toggle), "");
    EXPECT_FALSE(f.view.settings().optionAsMetaKey);
    // Without Kitty flags the key still reaches the input system.
    ASSERT_FALSE(f.inputMethod().keysSeen.empty());
    EXPECT_EQ(f.inputMethod().keysSeen.back().characters, "o");
    f.inputMethod().keysSeen.clear();
    f.view.feed("\x1b[>1u");
    EXPECT_EQ(f.key(toggle), "");
    EXPECT_TRUE(f.view.settings().optionAsMetaKey);
    EXPECT_TRUE(f.inputMethod().keysSeen.empty()) << "with Kitty flags the toggle takes the key";
}

TEST(TerminalViewKeyboard, KittyKeys) {
    const KeyCase cases[] = {
        {"a", typed("a"), "a"},
        {"Ctrl+a", typed("a", Mod::control), "\x1b[97;5u"},
        {"Alt+a", typed("a", Mod::alt), "\x1b[97;3u"},
        {"Escape", controlKey(Key::escape), "\x1b[27u"},
        {"Return", controlKey(Key::returnKey), "\r"},
        {"Up", pressed(Key::up), "\x1b[A"},
        {"Shift+F1", pressed(Key::f1, Mod::shift), "\x1b[1;2P"},
        {"Super+Up", pressed(Key::up, Mod::super), "\x1b[1;9A"},
    };
    for (const KeyCase& c : cases) EXPECT_EQ(runKey(c.event, "\x1b[>1u"), c.sent) << c.name;
    // All keys as escape codes, with the US layout's key as the base-layout alternate.
    EXPECT_EQ(runKey(typed("a"), "\x1b[>8u"), "\x1b[97u");
    KeyEvent cyrillic = typed("\xd1\x84");  // ф on the key of "a"
    cyrillic.hardwareKeycode = usKeycode('a');
    EXPECT_EQ(runKey(cyrillic, "\x1b[>12u"), "\x1b[1092::97u");
}

TEST(TerminalViewKeyboard, KittyReleases) {
    InputFixture f;
    f.view.feed("\x1b[>3u");  // disambiguate and report events
    f.take();
    EXPECT_EQ(f.key(released(typed("a"))), "") << "a text key's release";
    EXPECT_EQ(f.key(released(pressed(Key::up))), "\x1b[1;1:3A");
    EXPECT_EQ(f.key(released(controlKey(Key::returnKey))), "");
    EXPECT_EQ(f.key(released(typed("a", Mod::control))), "\x1b[97;5:3u");
    // A repeat reports as one.
    KeyEvent repeat = pressed(Key::up);
    repeat.isRepeat = true;
    EXPECT_EQ(f.key(repeat), "\x1b[1;1:2A");
}

TEST(TerminalViewKeyboard, ModifierKeysTakeTheirOwnPath) {
    InputFixture f;
    f.view.feed("hello");
    f.view.selectAll();
    // Control going down is no key press: the selection stays for the copy that follows.
    f.window.sendKeyEvent(modifierKey(Key::controlLeft, Mod::control));
    f.window.sendKeyEvent(modifierKey(Key::shiftLeft, Mod::control | Mod::shift));
    EXPECT_TRUE(f.view.selectionActive());
    EXPECT_EQ(f.key(typed("C", Mod::control | Mod::shift)), "");
    EXPECT_EQ(platform::ui::Pasteboard::general().string().value_or(""), "hello");
    // With all keys reported the modifier keys are keys too.
    f.view.feed("\x1b[>10u");
    f.take();
    EXPECT_EQ(f.key(modifierKey(Key::shiftLeft, Mod::shift)), "\x1b[57441;2u");
    EXPECT_EQ(f.key(modifierKey(Key::shiftLeft, 0)), "\x1b[57441;1:3u");
    EXPECT_EQ(f.key(modifierKey(Key::altRight, Mod::alt)), "\x1b[57449;3u") << "Alt whether or not it is Meta";
}

TEST(TerminalViewKeyboard, MenuShortcutsAreTakenBeforeTheKeys) {
    InputFixture f;
    f.view.feed("one two");
    f.take();
    // Without a selection Copy is disabled, and still no interrupt reaches the program.
    EXPECT_EQ(f.key(typed("C", Mod::control | Mod::shift)), "");
    EXPECT_FALSE(platform::ui::Pasteboard::general().string().has_value());
    EXPECT_EQ(f.key(typed("A", Mod::control | Mod::shift)), "");
    EXPECT_TRUE(f.view.selectionActive());
    EXPECT_EQ(f.key(typed("C", Mod::control | Mod::shift)), "");
    EXPECT_EQ(platform::ui::Pasteboard::general().string().value_or(""), "one two");
    EXPECT_EQ(f.key(typed("V", Mod::control | Mod::shift)), "one two");
    // Another layout: the key of "c" on the US layout.
    KeyEvent cyrillic = typed("\xd0\xa1", Mod::control | Mod::shift);
    cyrillic.hardwareKeycode = usKeycode('c');
    f.view.selectAll();
    EXPECT_EQ(f.key(cyrillic), "");
    // Ctrl+Shift+F opens the find bar.
    EXPECT_EQ(f.key(typed("F", Mod::control | Mod::shift)), "");
    ASSERT_NE(f.view.findBar(), nullptr);
    EXPECT_FALSE(f.view.findBar()->isHidden());
}

TEST(TerminalViewKeyboard, DeadKeysComposeThroughTheInputMethod) {
    for (const char* flags : {"", "\x1b[>1u"}) {
        InputFixture f;
        f.view.feed(flags);
        f.take();
        // An input method that turns ´ and e into é.
        auto& im = f.inputMethod();
        im.onKey = [&im](const KeyEvent& e) {
            if (e.keyval == 0xfe51) {  // dead_acute
                im.preedit("\xc2\xb4", 1);
                return true;
            }
            if (e.characters == "e") {
                // As the toolkit's simple input method does: the text, then the end of the preedit.
                im.commit("\xc3\xa9");
                im.endPreedit();
                return true;
            }
            return false;
        };
        KeyEvent dead = pressed(Key::unknown);
        dead.keyval = 0xfe51;
        EXPECT_EQ(f.key(dead), "");
        EXPECT_TRUE(f.view.hasMarkedText());
        EXPECT_EQ(f.key(typed("e")), "\xc3\xa9") << "flags: " << (*flags ? "disambiguate" : "none");
        EXPECT_FALSE(f.view.hasMarkedText());
        EXPECT_FALSE(f.view.kittyIsComposing());
    }
}

TEST(TerminalViewKeyboard, KeysWorkAfterACancelledComposition) {
    InputFixture f;
    f.view.feed("\x1b[>1u");
    f.take();
    auto& im = f.inputMethod();
    im.preedit("\xc2\xb4", 1);
    EXPECT_TRUE(f.view.kittyIsComposing());
    // The input method gives up: first an empty preedit, then its end.
    f.view.setMarkedText("", {0, 0}, {});
    EXPECT_TRUE(f.view.kittyIsComposing()) << "composing until the input method ends it";
    im.endPreedit();
    EXPECT_FALSE(f.view.kittyIsComposing());
    EXPECT_EQ(f.key(typed("a", Mod::control)), "\x1b[97;5u");
    EXPECT_EQ(f.key(typed("x")), "x");
}
