// A real toolkit window on the virtual display: what reaches the X window after views change piece
// by piece equals the window's surface.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/gfx/Canvas.h"
#include "platform/runtime/MainLoop.h"
#include "platform/ui/Alert.h"
#include "platform/ui/View.h"
#include "platform/ui/gtk/ModalPresenterGtk.h"
#include "platform/ui/gtk/Toolkit.h"
#include "platform/ui/gtk/ToolkitWindow.h"

using platform::gfx::Rect;
using platform::gfx::Rgba;
using platform::runtime::MainLoop;

namespace {

// Horizontal stripes one point high, each row its own colour, that scroll by moving their pixels:
// moved pixels show where they land.
class StripesView : public platform::ui::View {
public:
    using View::View;
    bool isOpaque() const override { return true; }
    void draw(platform::gfx::Canvas& canvas, const Rect& dirty) override {
        for (int y = static_cast<int>(dirty.minY()); y < dirty.maxY(); ++y) {
            const int row = ((y - offset_) % 100 + 100) % 100;
            const double v = (row * 37 % 100) / 100.0;
            canvas.fill(Rect{0, double(y), bounds().width, 1}, Rgba{v, 1 - v, 0.5, 1});
        }
    }
    bool scrollBy(int dy) {
        offset_ += dy;
        return scrollRect(bounds(), dy);
    }

private:
    int offset_ = 0;
};

struct Scene {
    platform::ui::View root{Rect{0, 0, 240, 160}};
    StripesView stripes{Rect{120, 20, 100, 120}};
    platform::ui::View a{Rect{10, 10, 30, 30}}, b{Rect{60, 100, 40, 20}}, c{Rect{20, 60, 50, 50}};
    Scene() {
        root.setLayerBackgroundColor(Rgba{0.1, 0.12, 0.15, 1});
        a.setLayerBackgroundColor(Rgba{0.9, 0.2, 0.2, 1});
        b.setLayerBackgroundColor(Rgba{0.2, 0.8, 0.3, 1});
        c.setLayerBackgroundColor(Rgba{0.3, 0.3, 0.9, 1});
        for (platform::ui::View* v : {static_cast<platform::ui::View*>(&stripes), &a, &b, &c}) root.addSubview(v);
    }
};

// The area's pixels on the X server, as 0xRRGGBB words.
std::vector<uint32_t> onScreen(platform::ui::gtk::ToolkitWindow& window, int width, int height) {
    std::vector<uint32_t> out;
    GdkWindow* area = gtk_widget_get_window(window.contentWidget());
    if (!area) return out;
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(area, 0, 0, width, height);
    if (!shot) return out;
    const int stride = gdk_pixbuf_get_rowstride(shot), channels = gdk_pixbuf_get_n_channels(shot);
    const guchar* data = gdk_pixbuf_read_pixels(shot);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const guchar* p = data + y * stride + x * channels;
            out.push_back(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
        }
    }
    g_object_unref(shot);
    return out;
}

// The surface's pixels (all opaque here), as 0xRRGGBB words.
std::vector<uint32_t> drawn(const platform::ui::Window& window) {
    const auto& surface = window.surface();
    auto image = surface.copyPixels(0, 0, surface.pixelWidth(), surface.pixelHeight());
    for (auto& p : image.pixels) p &= 0xffffff;
    return image.pixels;
}

size_t differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    if (a.size() != b.size()) return std::max(a.size(), b.size());
    size_t n = 0;
    for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
    return n;
}

// Runs the loop until the window has nothing left to draw and the screen shows the surface.
size_t settle(platform::ui::gtk::ToolkitWindow& window) {
    size_t wrong = 0;
    MainLoop::main().runUntil(
        [&] {
            if (window.needsDisplay()) return false;
            wrong = differing(onScreen(window, 240, 160), drawn(window));
            return wrong == 0;
        },
        std::chrono::seconds(3));
    return wrong;
}

}  // namespace

class ToolkitWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        int argc = 0;
        ASSERT_TRUE(platform::ui::gtk::Toolkit::start(&argc, nullptr)) << "no display";
    }
};

TEST_F(ToolkitWindowTest, WhatReachesTheScreenPieceByPieceIsTheSurface) {
    struct Case {
        const char* name;
        std::function<void(Scene&)> change;
    };
    const std::vector<Case> cases = {
        {"nothing changed", [](Scene&) {}},
        {"a view changes colour", [](Scene& s) { s.a.setLayerBackgroundColor(Rgba{1, 0.9, 0.1, 1}); }},
        {"a view moves over another", [](Scene& s) { s.b.setFrame(Rect{30, 70, 40, 20}); }},
        {"views far apart change together",
         [](Scene& s) {
             s.a.setLayerBackgroundColor(Rgba{0.5, 0.5, 0.5, 1});
             s.b.setFrame(Rect{190, 130, 40, 20});
         }},
        {"a view hides", [](Scene& s) { s.c.setHidden(true); }},
        {"pixels move up", [](Scene& s) { ASSERT_TRUE(s.stripes.scrollBy(7)); }},
        {"pixels move down beside a change",
         [](Scene& s) {
             ASSERT_TRUE(s.stripes.scrollBy(-13));
             s.a.setFrame(Rect{15, 5, 30, 30});
         }},
        {"pixels move twice within a frame",
         [](Scene& s) {
             ASSERT_TRUE(s.stripes.scrollBy(5));
             ASSERT_TRUE(s.stripes.scrollBy(9));
         }},
        {"the ground changes", [](Scene& s) { s.root.setLayerBackgroundColor(Rgba{0.8, 0.8, 0.75, 1}); }},
    };
    platform::ui::gtk::ToolkitWindow window({240, 160}, "toolkit window test");
    Scene scene;
    window.setContentView(&scene.root);
    window.show();
    ASSERT_EQ(settle(window), 0u) << "the first frame";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.change(scene);
        EXPECT_EQ(settle(window), 0u);
        // The surface holds what a fresh drawing of the scene holds.
        const auto piecemeal = drawn(window);
        window.invalidate(window.bounds());
        EXPECT_EQ(settle(window), 0u);
        EXPECT_EQ(differing(piecemeal, drawn(window)), 0u);
    }
    window.setContentView(nullptr);
}

// An alert breaks a long link where it has to, and shows nothing that is not in it: no hyphen at
// the break (a hyphen drawn there is a glyph more than the characters of its run).
TEST_F(ToolkitWindowTest, AnAlertBreaksALongLinkWithoutAddingAHyphen) {
    platform::ui::gtk::ModalPresenterGtk presenter([](platform::ui::Window*) -> GtkWindow* { return nullptr; });
    std::string link = "evil://";
    for (int i = 0; i < 40; ++i) link += "abcdefghij";
    presenter.showAlert({"Open this link?", link, platform::ui::Alert::Style::warning, {"Cancel", "Open"}}, nullptr,
                        [](int) {});
    GtkLabel* shown = nullptr;
    MainLoop::main().runUntil(
        [&] {
            GList* windows = gtk_window_list_toplevels();
            for (GList* w = windows; w && !shown; w = w->next) {
                if (!GTK_IS_MESSAGE_DIALOG(w->data) || !gtk_widget_get_mapped(GTK_WIDGET(w->data))) continue;
                GList* labels = gtk_container_get_children(
                    GTK_CONTAINER(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(w->data))));
                for (GList* l = labels; l; l = l->next) {
                    if (GTK_IS_LABEL(l->data) && gtk_label_get_text(GTK_LABEL(l->data)) == link) shown = GTK_LABEL(l->data);
                }
                g_list_free(labels);
            }
            g_list_free(windows);
            return shown != nullptr;
        },
        std::chrono::seconds(3));
    ASSERT_NE(shown, nullptr);
    PangoLayout* layout = gtk_label_get_layout(shown);
    EXPECT_GT(pango_layout_get_line_count(layout), 1);
    for (GSList* line = pango_layout_get_lines_readonly(layout); line; line = line->next) {
        for (GSList* run = static_cast<PangoLayoutLine*>(line->data)->runs; run; run = run->next) {
            const auto* glyphs = static_cast<PangoGlyphItem*>(run->data);
            EXPECT_EQ(glyphs->glyphs->num_glyphs, glyphs->item->num_chars);
        }
    }
    presenter.cancelShown();
}

namespace {

// Takes the keyboard and notes the characters it gets.
class Typed : public platform::ui::View {
public:
    using View::View;
    bool acceptsFirstResponder() const override { return true; }
    void keyDown(const platform::ui::KeyEvent& event) override { text += event.characters; }
    std::string text;
};

// A press and a release of `keyval` on `window`, as the X server sends them, into the toolkit's queue.
void putKey(GdkWindow* window, guint keyval) {
    GdkDisplay* display = gdk_window_get_display(window);
    for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
        GdkEvent* event = gdk_event_new(type);
        event->key.window = GDK_WINDOW(g_object_ref(window));
        event->key.keyval = keyval;
        event->key.time = GDK_CURRENT_TIME;
        GdkKeymapKey* keys = nullptr;
        gint count = 0;
        if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval, &keys, &count) && count > 0)
            event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
        g_free(keys);
        gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(display)));
        gdk_event_put(event);
        gdk_event_free(event);
    }
}

}  // namespace

// Keys the display server sent to a sheet before it ended (typed straight after its Return) reach
// the window beneath, whether the sheet's Window stays or goes at once; on their own, the toolkit
// drops a press that reaches a hidden window, and a window destroyed takes its keys with it.
TEST_F(ToolkitWindowTest, KeysSentToASheetThatEndedReachTheWindowBeneath) {
    for (const bool sheetGoes : {false, true}) {
        Typed tile{Rect{0, 0, 240, 160}}, field{Rect{0, 0, 120, 80}};
        platform::ui::gtk::ToolkitWindow main({240, 160}, "main");
        auto sheet = std::make_unique<platform::ui::gtk::ToolkitWindow>(platform::gfx::Size{120, 80}, "sheet");
        main.setContentView(&tile);
        sheet->setContentView(&field);
        main.present();
        ASSERT_TRUE(MainLoop::main().runUntil([&] { return main.isVisible(); }, std::chrono::seconds(3)));
        main.makeFirstResponder(&tile);
        main.beginSheet(*sheet, nullptr);
        sheet->makeFirstResponder(&field);
        ASSERT_TRUE(MainLoop::main().runUntil([&] { return sheet->isVisible(); }, std::chrono::seconds(3)));
        GdkWindow* sheetWindow = GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(sheet->nativeWindow()))));
        main.endSheet(*sheet);
        if (sheetGoes) sheet.reset();
        for (guint keyval : {GDK_KEY_k, GDK_KEY_2}) putKey(sheetWindow, keyval);
        MainLoop::main().runUntil([&] { return tile.text.size() >= 2; }, std::chrono::seconds(3));
        EXPECT_EQ(tile.text, "k2") << (sheetGoes ? "the sheet's Window gone" : "the sheet's Window kept");
        EXPECT_EQ(field.text, "");
        g_object_unref(sheetWindow);
        if (sheet) sheet->setContentView(nullptr);
        main.setContentView(nullptr);
    }
}
