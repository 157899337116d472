// Keys of the toolkit as the views get them, and its simple input method composing into a terminal
// view on the headless window: run on a virtual display with GTK_IM_MODULE=gtk-im-context-simple.
#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "platform/ui/gtk/GtkEvents.h"
#include "platform/ui/gtk/InputMethod.h"
#include "platform/ui/gtk/Toolkit.h"
#include "support/InputTestSupport.h"

using namespace vantel;
using namespace vantel::testing;
using platform::ui::gtk::InputMethod;

namespace {

// A GDK key event on the widget's window, as the X server would send it.
struct ToolkitKey {
    GdkEvent* event;
    ToolkitKey(GtkWidget* widget, guint keyval, guint state = 0, bool press = true) {
        event = gdk_event_new(press ? GDK_KEY_PRESS : GDK_KEY_RELEASE);
        event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
        event->key.keyval = keyval;
        event->key.state = state;
        event->key.time = GDK_CURRENT_TIME;
        GdkKeymapKey* keys = nullptr;
        gint count = 0;
        GdkDisplay* display = gdk_display_get_default();
        if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval, &keys, &count) && count > 0) {
            event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
        }
        g_free(keys);
        gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(display)));
    }
    ~ToolkitKey() { gdk_event_free(event); }
    GdkEventKey& key() { return event->key; }
};

// A terminal view on the headless window whose input method is the toolkit's, on an unshown
// widget of its own.
struct ToolkitInput : InputFixture {
    GtkWidget* widget = nullptr;
    InputMethod* inputMethod = nullptr;
    ToolkitInput() : InputFixture(20, 4) {
        widget = gtk_offscreen_window_new();
        g_object_ref_sink(widget);
        gtk_widget_realize(widget);
        auto method = std::make_unique<InputMethod>(widget);
        inputMethod = method.get();
        window.setTextInputContext(std::move(method));
        window.setKeyWindow(false);
        window.setKeyWindow(true);
    }
    ~ToolkitInput() {
        window.setTextInputContext(nullptr);
        gtk_widget_destroy(widget);
        g_object_unref(widget);
    }
    // The toolkit's key through the window, as the real window hands it round.
    std::string type(guint keyval, guint state = 0) {
        for (bool press : {true, false}) {
            ToolkitKey key(widget, keyval, state, press);
            inputMethod->setCurrentEvent(&key.key());
            window.sendKeyEvent(platform::ui::gtk::keyEventFrom(key.key(), false));
            inputMethod->setCurrentEvent(nullptr);
        }
        return take();
    }
};

}  // namespace

class Toolkit : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        int argc = 0;
        ASSERT_TRUE(platform::ui::gtk::Toolkit::start(&argc, nullptr)) << "no display";
    }
};

TEST_F(Toolkit, KeysAsTheViewsGetThem) {
    GtkWidget* widget = gtk_offscreen_window_new();
    gtk_widget_realize(widget);
    const struct {
        guint keyval;
        guint state;
        Key key;
        std::string characters;
        ModifierFlags modifiers;
    } cases[] = {
        {GDK_KEY_Return, 0, Key::returnKey, "\r", 0},
        {GDK_KEY_BackSpace, GDK_MOD1_MASK, Key::backspace, "\x7f", Mod::alt},
        {GDK_KEY_Escape, 0, Key::escape, "\x1b", 0},
        {GDK_KEY_ISO_Left_Tab, GDK_SHIFT_MASK, Key::tab, "\t", Mod::shift},
        {GDK_KEY_F1, 0, Key::f1, "", 0},
        {GDK_KEY_KP_Left, 0, Key::keypadLeft, "", 0},
        {GDK_KEY_KP_Page_Down, 0, Key::keypadPageDown, "", 0},
        {GDK_KEY_KP_5, GDK_MOD2_MASK, static_cast<Key>(static_cast<int>(Key::keypad0) + 5), "5", Mod::numLock},
        {GDK_KEY_KP_Enter, 0, Key::keypadEnter, "\r", 0},
        {GDK_KEY_C, GDK_CONTROL_MASK | GDK_SHIFT_MASK, Key::character, "\x03", Mod::control | Mod::shift},
        {GDK_KEY_x, GDK_SUPER_MASK, Key::character, "x", Mod::super},
        {GDK_KEY_EuroSign, GDK_MOD5_MASK, Key::character, "\xe2\x82\xac", Mod::altGraph},
    };
    for (const auto& c : cases) {
        ToolkitKey key(widget, c.keyval, c.state);
        const KeyEvent e = platform::ui::gtk::keyEventFrom(key.key(), false);
        EXPECT_EQ(e.key, c.key) << c.keyval;
        EXPECT_EQ(e.characters, c.characters) << c.keyval;
        EXPECT_EQ(e.modifiers, c.modifiers) << c.keyval;
        EXPECT_EQ(e.type, KeyEvent::Type::down);
    }
    // Modifier keys are modifier changes, with the state after them.
    ToolkitKey control(widget, GDK_KEY_Control_L, 0);
    const KeyEvent down = platform::ui::gtk::keyEventFrom(control.key(), false);
    EXPECT_EQ(down.type, KeyEvent::Type::flagsChanged);
    EXPECT_EQ(down.modifiers, Mod::control);
    ToolkitKey released(widget, GDK_KEY_Control_L, GDK_CONTROL_MASK, false);
    EXPECT_EQ(platform::ui::gtk::keyEventFrom(released.key(), false).modifiers, 0u);
    gtk_widget_destroy(widget);
}

TEST_F(Toolkit, DeadKeysComposeThroughTheSimpleInputMethod) {
    for (const char* flags : {"", "\x1b[>1u"}) {
        ToolkitInput f;
        f.view.feed(flags);
        f.take();
        EXPECT_EQ(f.type(GDK_KEY_dead_acute), "");
        EXPECT_TRUE(f.view.kittyIsComposing());
        EXPECT_EQ(f.type(GDK_KEY_e), "\xc3\xa9") << "plain UTF-8, flags " << (*flags ? "disambiguate" : "none");
        EXPECT_FALSE(f.view.kittyIsComposing());
        EXPECT_FALSE(f.view.hasMarkedText());
        EXPECT_EQ(f.type(GDK_KEY_a), "a");
        EXPECT_EQ(f.type(GDK_KEY_x, GDK_MOD1_MASK), *flags ? "\x1b[120;3u" : "\x1bx") << "Alt past the input method";
    }
}

TEST_F(Toolkit, KeysWorkAfterACancelledComposition) {
    ToolkitInput f;
    f.view.feed("\x1b[>1u");
    f.take();
    EXPECT_EQ(f.type(GDK_KEY_dead_grave), "");
    EXPECT_TRUE(f.view.kittyIsComposing());
    // The window loses the keyboard: the toolkit drops the composition.
    f.window.setKeyWindow(false);
    f.inputMethod->reset();
    f.window.setKeyWindow(true);
    EXPECT_FALSE(f.view.kittyIsComposing()) << "a composition given up ends";
    EXPECT_EQ(f.type(GDK_KEY_a, GDK_CONTROL_MASK), "\x1b[97;5u");
    EXPECT_EQ(f.type(GDK_KEY_b), "b");
}
