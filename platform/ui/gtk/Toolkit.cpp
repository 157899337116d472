#include "platform/ui/gtk/Toolkit.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/DesktopAppearance.h"
#include "platform/ui/Modals.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Sound.h"
#include "platform/ui/SystemSettings.h"
#include "platform/ui/WindowMaker.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Workspace.h"
#include "platform/ui/gtk/ClipboardBackend.h"
#include "platform/ui/gtk/MenuPresenterGtk.h"
#include "platform/ui/gtk/ModalPresenterGtk.h"
#include "platform/ui/gtk/PopoverPresenterGtk.h"
#include "platform/ui/gtk/ToolkitWindow.h"
#include "platform/ui/gtk/WebViewPeer.h"

namespace platform::ui::gtk {

namespace {

bool startedFlag = false;

void readSettings() {
    GtkSettings* settings = gtk_settings_get_default();
    if (!settings) return;
    gint clickTime = 400, clickDistance = 5, blinkTime = 1200, blinkTimeout = 10;
    gboolean animations = TRUE, blink = TRUE;
    g_object_get(settings, "gtk-double-click-time", &clickTime, "gtk-double-click-distance", &clickDistance,
                 "gtk-enable-animations", &animations, "gtk-cursor-blink", &blink, "gtk-cursor-blink-time", &blinkTime,
                 "gtk-cursor-blink-timeout", &blinkTimeout, nullptr);
    SystemSettings::setDoubleClickInterval(clickTime / 1000.0);
    SystemSettings::setDoubleClickDistance(clickDistance);
    SystemSettings::setReduceMotion(!animations);
    // The desktop's caret blink, as every text caret on it follows it.
    SystemSettings::setCaretBlink({blink != FALSE, blinkTime / 1000.0, static_cast<double>(blinkTimeout)});
}

void onSettingChanged(GtkSettings*, GParamSpec*, gpointer) { readSettings(); }

void followScreenScale() {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
    if (!monitor && display && gdk_display_get_n_monitors(display) > 0) monitor = gdk_display_get_monitor(display, 0);
    if (!monitor) return;
    Screen::setMainBackingScaleFactor(gdk_monitor_get_scale_factor(monitor));
    GdkRectangle area{};
    gdk_monitor_get_workarea(monitor, &area);
    // Window points have y up from the bottom of the screen.
    GdkRectangle whole{};
    gdk_monitor_get_geometry(monitor, &whole);
    Screen::setMainWorkArea(gfx::Rect{static_cast<double>(area.x - whole.x),
                                      static_cast<double>(whole.y + whole.height - (area.y + area.height)),
                                      static_cast<double>(area.width), static_cast<double>(area.height)});
}

}  // namespace

bool Toolkit::started() { return startedFlag; }

bool Toolkit::start(int* argc, char*** argv) {
    if (startedFlag) return true;
    if (!gtk_init_check(argc, argv)) return false;
    startedFlag = true;
    Sound::setBeeper([] {
        if (GdkDisplay* display = gdk_display_get_default()) gdk_display_beep(display);
    });
    Workspace::setOpener([](const std::string& url) {
        GError* error = nullptr;
        const bool opened = gtk_show_uri_on_window(nullptr, url.c_str(), GDK_CURRENT_TIME, &error);
        if (error) {
            std::fprintf(stderr, "Could not open %s: %s\n", url.c_str(), error->message);
            g_error_free(error);
        }
        return opened;
    });
    Workspace::setRevealer(Workspace::revealWithFileManager);
    followScreenScale();
    WebView::setEngineAvailable(webEngineBuiltIn());
    Pasteboard::general().setBackend(makeClipboardBackend(Pasteboard::general()));
    readSettings();
    if (GtkSettings* settings = gtk_settings_get_default()) {
        for (const char* name : {"notify::gtk-double-click-time", "notify::gtk-double-click-distance",
                                 "notify::gtk-enable-animations", "notify::gtk-cursor-blink", "notify::gtk-cursor-blink-time",
                                 "notify::gtk-cursor-blink-timeout"}) {
            g_signal_connect(settings, name, G_CALLBACK(onSettingChanged), nullptr);
        }
    }
    Modals::setPresenter(std::make_shared<ModalPresenterGtk>([](Window* window) -> GtkWindow* {
        auto* shown = dynamic_cast<ToolkitWindow*>(window);
        return shown ? shown->nativeWindow() : nullptr;
    }));
    // Panels and popovers are toolkit windows too.
    WindowMaker::install([](gfx::Size size, const std::string& title) -> std::unique_ptr<Window> {
        return std::make_unique<ToolkitWindow>(size, title);
    });
    Popover::setPresenter(std::make_shared<PopoverPresenterGtk>());
    PopUpMenu::setPresenter(std::make_shared<MenuPresenterGtk>());
    DesktopAppearance::setApplier([](bool dark) {
        if (GtkSettings* settings = gtk_settings_get_default())
            g_object_set(settings, "gtk-application-prefer-dark-theme", dark ? TRUE : FALSE, nullptr);
    });
    // F10 and Alt with a letter belong to the programs in the windows, not to the menu bar.
    if (GtkSettings* settings = gtk_settings_get_default())
        g_object_set(settings, "gtk-menu-bar-accel", "", "gtk-enable-mnemonics", FALSE, nullptr);
    // Until a window is active, the program is not the one the user works in.
    SystemSettings::setApplicationActive(false);
    return true;
}

}  // namespace platform::ui::gtk
