#include "platform/ui/gtk/ToolkitWindow.h"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <vector>

#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/Control.h"
#include "platform/ui/GpuView.h"
#include "platform/ui/Menu.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/PopUpMenu.h"
#include "platform/ui/SystemSettings.h"
#include "platform/ui/View.h"
#include "platform/ui/gtk/ControlHost.h"
#include "platform/ui/gtk/GpuCompositor.h"
#include "platform/ui/gtk/GtkEvents.h"
#include "platform/ui/gtk/InputMethod.h"
#include "platform/ui/gtk/MenuBarWidget.h"
#include "platform/ui/gtk/WidgetPeer.h"

namespace platform::ui::gtk {

namespace {

// How many toolkit windows are active: the application is active while one is.
int& activeWindows() {
    static int count = 0;
    return count;
}

// Ticks with the widget's frame clock while started.
class WidgetFrameClock : public FrameClock {
public:
    explicit WidgetFrameClock(GtkWidget* widget) : widget_(widget) {}
    ~WidgetFrameClock() override { stop(); }
    void start(std::function<void()> tick) override {
        tick_ = std::move(tick);
        if (id_ == 0) id_ = gtk_widget_add_tick_callback(widget_, onTick, this, nullptr);
    }
    void stop() override {
        if (id_ != 0) gtk_widget_remove_tick_callback(widget_, id_);
        id_ = 0;
    }
    bool isRunning() const override { return id_ != 0; }
    void setWidget(GtkWidget* widget) {
        const bool running = id_ != 0;
        auto tick = tick_;
        stop();
        widget_ = widget;
        if (running) start(std::move(tick));
    }

private:
    static gboolean onTick(GtkWidget*, GdkFrameClock*, gpointer data) {
        auto* self = static_cast<WidgetFrameClock*>(data);
        // The tick may stop the clock; a copy keeps the callable alive meanwhile.
        auto tick = self->tick_;
        if (tick) tick();
        return G_SOURCE_CONTINUE;
    }

    GtkWidget* widget_;
    guint id_ = 0;
    std::function<void()> tick_;
};

uint8_t buttonIndex(guint button) {
    switch (button) {
    case 1: return MouseEvent::left;
    case 2: return MouseEvent::middle;
    case 3: return MouseEvent::right;
    default: return static_cast<uint8_t>(std::min<guint>(button, 255));
    }
}

}  // namespace

namespace {

// Sheets that ended, until the display server reports them off screen. Keys typed for the window
// beneath may still be on their way to one (sent before the server moved the keyboard); the
// toolkit would drop a press that reaches a hidden window: they go to the window beneath
// instead, as if typed there. A sheet's toolkit window is kept that long (a second at most), even
// when its Window goes.
class EndedSheets {
public:
    static void add(GtkWidget* sheet, std::function<Window*()> keysGoTo) {
        remove(sheet);
        if (!installed) {
            gdk_event_handler_set(route, nullptr, nullptr);
            installed = true;
        }
        entries().push_back({GTK_WIDGET(g_object_ref(sheet)), std::move(keysGoTo), g_timeout_add(keptAtMostMs, onEnd, sheet)});
    }
    // Shown again: what reaches it is its own.
    static void remove(GtkWidget* sheet) {
        if (Entry* e = find(sheet)) end(*e, false);
    }
    // Its Window goes: the toolkit's window goes once nothing more can reach it. False when it
    // is not kept.
    static bool adopt(GtkWidget* sheet) {
        Entry* e = find(sheet);
        if (e) e->adopted = true;
        return e;
    }

private:
    static constexpr guint keptAtMostMs = 1000;
    struct Entry {
        GtkWidget* sheet;
        std::function<Window*()> keysGoTo;
        guint timer;
        bool adopted = false;
        bool ending = false;
    };
    static inline bool installed = false;
    static std::vector<Entry>& entries() {
        static std::vector<Entry> list;
        return list;
    }
    static Entry* find(GtkWidget* sheet) {
        for (Entry& e : entries()) {
            if (e.sheet == sheet) return &e;
        }
        return nullptr;
    }
    static void end(Entry& e, bool destroy) {
        if (e.timer) g_source_remove(e.timer);
        GtkWidget* sheet = e.sheet;
        std::erase_if(entries(), [&](const Entry& x) { return &x == &e; });
        if (destroy) gtk_widget_destroy(sheet);
        g_object_unref(sheet);
    }
    static gboolean onEnd(gpointer sheet) {
        if (Entry* e = find(static_cast<GtkWidget*>(sheet))) {
            e->timer = 0;
            end(*e, e->adopted);
        }
        return G_SOURCE_REMOVE;
    }
    static void route(GdkEvent* event, gpointer) {
        if (!entries().empty() && event->any.window) reroute(event);
        gtk_main_do_event(event);
    }
    static void reroute(GdkEvent* event) {
        GdkWindow* window = gdk_window_get_toplevel(event->any.window);
        for (Entry& e : entries()) {
            if (gtk_widget_get_window(e.sheet) != window) continue;
            if (event->type == GDK_KEY_PRESS || event->type == GDK_KEY_RELEASE) {
                auto* to = dynamic_cast<ToolkitWindow*>(e.keysGoTo());
                GdkWindow* beneath = to ? gtk_widget_get_window(GTK_WIDGET(to->nativeWindow())) : nullptr;
                if (beneath) {
                    g_object_unref(event->key.window);
                    event->key.window = GDK_WINDOW(g_object_ref(beneath));
                }
            } else if (event->type == GDK_UNMAP && !e.ending) {
                // Off screen: what the server sends after this is not for it. Ended after this
                // event, not inside the toolkit's handling of it.
                e.ending = true;
                g_source_remove(e.timer);
                e.timer = g_idle_add(onEnd, e.sheet);
            }
            return;
        }
    }
};

// Moves the display server's keyboard from the sheet that has it to the window beneath before the
// sheet goes: the keys typed next reach that window at once, instead of no window until the
// window manager gives it the keyboard.
void handKeyboardBeneath(GtkWindow* sheet, GtkWindow* beneath) {
#ifdef GDK_WINDOWING_X11
    GdkWindow* target = gtk_widget_get_window(GTK_WIDGET(beneath));
    if (!target || !GDK_IS_X11_WINDOW(target) || !gtk_window_is_active(sheet) || !gdk_window_is_viewable(target)) return;
    GdkDisplay* display = gdk_window_get_display(target);
    gdk_x11_display_error_trap_push(display);
    XSetInputFocus(GDK_DISPLAY_XDISPLAY(display), GDK_WINDOW_XID(target), RevertToParent, gtk_get_current_event_time());
    gdk_x11_display_error_trap_pop_ignored(display);
#else
    (void)sheet;
    (void)beneath;
#endif
}

}  // namespace

struct ToolkitWindow::Impl {
    ToolkitWindow& owner;
    GtkWidget* window = nullptr;
    // The widget in the window: the drawing area, or the compositor's GL area.
    GtkWidget* area = nullptr;
    GtkWidget* drawing = nullptr;
    std::unique_ptr<GpuCompositor> compositor;
    int pendingStops = 0;
    GtkRequisition minimum{-1, -1};
    InputMethod* inputMethod = nullptr;       // owned by the Window
    WidgetFrameClock* frameClock = nullptr;  // owned by the Window
    GtkWidget* box = nullptr;  // the menu bar above the area
    // The area with the controls' widgets laid over it.
    GtkWidget* overlay = nullptr;
    GtkWidget* fixed = nullptr;
    std::unique_ptr<ControlHost> controls;
    // A popover: the user working anywhere else closes it.
    std::function<void()> outsideClick;
    guint outsideIdle = 0;
    GtkWidget* menuBar = nullptr;
    GtkCssProvider* background = nullptr;
    std::set<guint16> keysDown;
    bool active = false;
    // A drag leaves the area just before it is dropped there: the leave waits a turn.
    guint dragLeaveIdle = 0;
    guint focusRepairIdle = 0;
    gfx::Point dropLocation;
    // The surface is an image the display server shares (while the drawing area is realized).
    bool sharesSurface = false;

    explicit Impl(ToolkitWindow& o) : owner(o) {}

    double height() const { return owner.size().height; }
    gfx::Point location(double x, double y) const { return {x, height() - y}; }

    static gboolean onDraw(GtkWidget*, cairo_t* cr, Impl* self) {
        self->owner.displayIfNeeded();
        const gfx::Canvas& surface = self->owner.surface();
        const double scale = surface.scale();
        cairo_save(cr);
        // Our surface is in device pixels already: one of ours on one of the screen's.
        cairo_scale(cr, 1 / scale, 1 / scale);
        cairo_set_source_surface(cr, surface.surface(), 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_restore(cr);
        return TRUE;
    }
    static void onSizeAllocate(GtkWidget* widget, GdkRectangle* allocation, Impl* self) {
        self->owner.setBackingScaleFactor(gtk_widget_get_scale_factor(widget));
        self->owner.setSize(Size{double(allocation->width), double(allocation->height)});
        self->controls->schedulePlacement();
    }
    // Keys for a widget of the controls (a text view, a pop-up) pass the window's key handling
    // first, as the drawing area's keys do.
    static gboolean onWindowKey(GtkWidget* window, GdkEventKey* event, Impl* self) {
        GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
        if (!focus || focus == self->area || event->type != GDK_KEY_PRESS) return FALSE;
        const KeyEvent key = keyEventFrom(*event, false);
        self->owner.noteKeyPress(key);
        if (auto monitor = self->owner.keyDownMonitor; monitor && monitor(key)) return TRUE;
        if (self->owner.performKeyEquivalent(key)) return TRUE;
        // F10 opens the menu bar from a control as well (no control uses it).
        constexpr guint held = GDK_SHIFT_MASK | GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SUPER_MASK;
        return event->keyval == GDK_KEY_F10 && !(event->state & held) && self->owner.openMenuBar();
    }
    static gboolean onFocusOut(GtkWidget*, GdkEventFocus*, Impl* self) {
        // Not inside the toolkit's own handling of the event: the popover's window may go.
        if (self->outsideClick && !self->outsideIdle) {
            self->outsideIdle = g_idle_add(
                [](gpointer data) -> gboolean {
                    auto* impl = static_cast<Impl*>(data);
                    impl->outsideIdle = 0;
                    if (auto click = impl->outsideClick) click();
                    return G_SOURCE_REMOVE;
                },
                self);
        }
        return FALSE;
    }
    static void onScaleFactor(GtkWidget* widget, GParamSpec*, Impl* self) {
        self->owner.setBackingScaleFactor(gtk_widget_get_scale_factor(widget));
    }
    static void onRealize(GtkWidget* widget, Impl* self) {
        self->inputMethod->realize();
        self->owner.applyCursor(self->owner.cursorName());
        if (widget == self->drawing) {
            self->sharesSurface = true;
            self->owner.replaceSurface();
        }
    }
    static void onUnrealize(GtkWidget* widget, Impl* self) {
        self->inputMethod->unrealize();
        // The shared image belongs to the display of the area's window.
        if (widget == self->drawing && self->sharesSurface) {
            self->sharesSurface = false;
            self->owner.replaceSurface();
        }
    }
    static gboolean onMap(GtkWidget*, GdkEvent* event, Impl* self) {
        self->owner.setVisible(event->type == GDK_MAP);
        return FALSE;
    }
    static gboolean onWindowState(GtkWidget*, GdkEventWindowState* event, Impl* self) {
        self->owner.setMiniaturized(event->new_window_state & GDK_WINDOW_STATE_ICONIFIED);
        if (event->changed_mask & GDK_WINDOW_STATE_FULLSCREEN) {
            const bool full = event->new_window_state & GDK_WINDOW_STATE_FULLSCREEN;
            // Full screen belongs to the views: the menu bar steps aside, so the pointer meets the
            // views at the top edge. Its shortcuts are the views' keys and keep working.
            if (self->menuBar) gtk_widget_set_visible(self->menuBar, !full);
            self->owner.fullScreenDidChange(full);
        }
        return FALSE;
    }

    void connectArea(GtkWidget* widget) {
        gtk_widget_set_can_focus(widget, TRUE);
        gtk_widget_add_events(widget, GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK | GDK_BUTTON_PRESS_MASK |
                                          GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK | GDK_ENTER_NOTIFY_MASK |
                                          GDK_LEAVE_NOTIFY_MASK | GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK |
                                          GDK_FOCUS_CHANGE_MASK);
        g_signal_connect(widget, "size-allocate", G_CALLBACK(onSizeAllocate), this);
        g_signal_connect(widget, "notify::scale-factor", G_CALLBACK(onScaleFactor), this);
        g_signal_connect(widget, "realize", G_CALLBACK(onRealize), this);
        g_signal_connect(widget, "unrealize", G_CALLBACK(onUnrealize), this);
        g_signal_connect(widget, "key-press-event", G_CALLBACK(onKey), this);
        g_signal_connect(widget, "key-release-event", G_CALLBACK(onKey), this);
        g_signal_connect(widget, "button-press-event", G_CALLBACK(onButton), this);
        g_signal_connect(widget, "button-release-event", G_CALLBACK(onButton), this);
        g_signal_connect(widget, "motion-notify-event", G_CALLBACK(onMotion), this);
        g_signal_connect(widget, "enter-notify-event", G_CALLBACK(onCrossing), this);
        g_signal_connect(widget, "leave-notify-event", G_CALLBACK(onCrossing), this);
        g_signal_connect(widget, "scroll-event", G_CALLBACK(onScroll), this);
        gtk_widget_set_has_tooltip(widget, TRUE);
        g_signal_connect(widget, "query-tooltip", G_CALLBACK(onQueryTooltip), this);
        // Drops are the views' to take: no default handling of motion, highlight or drop.
        static const GtkTargetEntry targets[] = {
            {const_cast<gchar*>("text/uri-list"), 0, 0},  {const_cast<gchar*>("image/png"), 0, 0},
            {const_cast<gchar*>("image/tiff"), 0, 0},     {const_cast<gchar*>("UTF8_STRING"), 0, 0},
            {const_cast<gchar*>("text/plain;charset=utf-8"), 0, 0}, {const_cast<gchar*>("text/plain"), 0, 0},
            {const_cast<gchar*>("STRING"), 0, 0},
        };
        gtk_drag_dest_set(widget, static_cast<GtkDestDefaults>(0), targets, G_N_ELEMENTS(targets), GDK_ACTION_COPY);
        g_signal_connect(widget, "drag-motion", G_CALLBACK(onDragMotion), this);
        g_signal_connect(widget, "drag-leave", G_CALLBACK(onDragLeave), this);
        g_signal_connect(widget, "drag-drop", G_CALLBACK(onDragDrop), this);
        g_signal_connect(widget, "drag-data-received", G_CALLBACK(onDragData), this);
    }

    static gboolean onQueryTooltip(GtkWidget*, gint x, gint y, gboolean keyboard, GtkTooltip* tooltip, Impl* self) {
        if (keyboard) return FALSE;
        const auto tip = self->owner.toolTipAt(self->location(x, y));
        if (!tip) return FALSE;
        gtk_tooltip_set_text(tooltip, tip->text.c_str());
        // Widget coordinates have y down; the tip stays up while the pointer is on that view.
        GdkRectangle area{static_cast<int>(std::floor(tip->rect.x)), static_cast<int>(std::floor(self->height() - tip->rect.maxY())),
                          static_cast<int>(std::ceil(tip->rect.width)), static_cast<int>(std::ceil(tip->rect.height))};
        gtk_tooltip_set_tip_area(tooltip, &area);
        return TRUE;
    }

    // The neutral names of what a drag offers: text in any of its encodings is one type.
    static std::vector<std::string> offeredTypes(GdkDragContext* context) {
        std::vector<std::string> types;
        auto add = [&](const std::string& type) {
            if (std::find(types.begin(), types.end(), type) == types.end()) types.push_back(type);
        };
        for (GList* t = gdk_drag_context_list_targets(context); t; t = t->next) {
            gchar* name = gdk_atom_name(GDK_POINTER_TO_ATOM(t->data));
            const std::string type = name ? name : "";
            g_free(name);
            if (type == "UTF8_STRING" || type == "STRING" || type == "TEXT" || type.rfind("text/plain", 0) == 0) {
                add("text/plain;charset=utf-8");
            } else if (!type.empty()) {
                add(type);
            }
        }
        return types;
    }
    // The target asked for at a drop, in the order a terminal prefers: files, images, text.
    static GdkAtom dropTarget(GdkDragContext* context) {
        GList* offered = gdk_drag_context_list_targets(context);
        for (const char* wanted : {"text/uri-list", "image/png", "image/tiff", "UTF8_STRING", "text/plain;charset=utf-8",
                                   "text/plain", "STRING"}) {
            const GdkAtom atom = gdk_atom_intern_static_string(wanted);
            if (g_list_find(offered, GDK_ATOM_TO_POINTER(atom))) return atom;
        }
        return GDK_NONE;
    }
    void cancelDragLeave() {
        if (dragLeaveIdle) g_source_remove(dragLeaveIdle);
        dragLeaveIdle = 0;
    }
    static gboolean onDragMotion(GtkWidget*, GdkDragContext* context, gint x, gint y, guint time, Impl* self) {
        self->cancelDragLeave();
        const DragOperation operation = self->owner.dragMoved(offeredTypes(context), self->location(x, y));
        gdk_drag_status(context, operation == DragOperation::copy ? GDK_ACTION_COPY : static_cast<GdkDragAction>(0), time);
        return TRUE;
    }
    static void onDragLeave(GtkWidget*, GdkDragContext*, guint, Impl* self) {
        self->cancelDragLeave();
        self->dragLeaveIdle = g_idle_add(
            [](gpointer data) -> gboolean {
                auto* impl = static_cast<Impl*>(data);
                impl->dragLeaveIdle = 0;
                impl->owner.dragLeft();
                return G_SOURCE_REMOVE;
            },
            self);
    }
    static gboolean onDragDrop(GtkWidget* widget, GdkDragContext* context, gint x, gint y, guint time, Impl* self) {
        self->cancelDragLeave();
        const GdkAtom target = dropTarget(context);
        if (target == GDK_NONE || !self->owner.dragDestination()) {
            self->owner.dragLeft();
            gtk_drag_finish(context, FALSE, FALSE, time);
            return TRUE;
        }
        self->dropLocation = self->location(x, y);
        gtk_drag_get_data(widget, context, target, time);
        return TRUE;
    }
    static void onDragData(GtkWidget*, GdkDragContext* context, gint, gint, GtkSelectionData* data, guint, guint time,
                           Impl* self) {
        Pasteboard content;
        gchar* name = gdk_atom_name(gtk_selection_data_get_target(data));
        const std::string type = name ? name : "";
        g_free(name);
        Pasteboard::Items items;
        if (type == "text/uri-list") {
            if (gchar** uris = gtk_selection_data_get_uris(data)) {
                for (gchar** u = uris; *u; ++u) items.uris.emplace_back(*u);
                g_strfreev(uris);
            }
        } else if (type == "image/png" || type == "image/tiff") {
            gint length = 0;
            const guchar* bytes = gtk_selection_data_get_data_with_length(data, &length);
            if (bytes && length > 0) {
                std::vector<uint8_t> image(bytes, bytes + length);
                if (type == "image/png") items.png = std::move(image);
                else items.tiff = std::move(image);
            }
        } else if (guchar* text = gtk_selection_data_get_text(data)) {
            content.contentDidChange(std::string(reinterpret_cast<const char*>(text)));
            g_free(text);
        }
        content.itemsDidChange(std::move(items));
        const bool taken = self->owner.dragDropped(content, self->dropLocation);
        gtk_drag_finish(context, taken, FALSE, time);
    }

    // Puts `next` in the window in place of the widget there; keys, the input method and the
    // frame clock follow it.
    void useWidget(GtkWidget* next) {
        if (next == area) return;
        GtkWidget* previous = area;
        const bool focused = gtk_widget_has_focus(previous);
        g_object_ref(previous);
        gtk_container_remove(GTK_CONTAINER(overlay), previous);
        area = next;
        gtk_widget_set_size_request(next, minimum.width, minimum.height);
        gtk_container_add(GTK_CONTAINER(overlay), next);
        gtk_widget_show(next);
        inputMethod->setWidget(next);
        frameClock->setWidget(next);
        if (focused) gtk_widget_grab_focus(next);
        g_object_unref(previous);
        owner.invalidate(owner.bounds());
    }

    // The GL area comes with the first wish for a device and goes in once the window is
    // realized; when its device came or failed to come, the views hear of it.
    void startCompositor() {
        compositor = std::make_unique<GpuCompositor>(owner, [this] { compositorChanged(); });
        connectArea(compositor->widget());
        if (gtk_widget_get_realized(window)) attachCompositor();
        else g_signal_connect(window, "realize", G_CALLBACK(onWindowRealize), this);
    }
    static void onWindowRealize(GtkWidget* widget, Impl* self) {
        g_signal_handlers_disconnect_by_func(widget, reinterpret_cast<gpointer>(onWindowRealize), self);
        if (self->compositor) self->attachCompositor();
    }
    // Only when a 3.3 core context can be had: a context the toolkit made for a window stays with
    // it for its painting, and a bad one spoils the window.
    void attachCompositor() {
        std::string why;
        if (!GpuCompositor::contextsAvailable(&why)) return compositor->fail(why);
        useWidget(compositor->widget());
    }
    void compositorChanged() {
        runtime::NotificationCenter::defaultCenter().post(Window::gpuDeviceDidChangeNotification,
                                                          static_cast<Window*>(&owner));
        // A failed area gives its place back (not inside its own signal).
        if (compositor && compositor->hasFailed()) scheduleStopCompositor();
    }
    void scheduleStopCompositor() {
        ++pendingStops;
        g_idle_add(
            [](gpointer data) -> gboolean {
                static_cast<Impl*>(data)->stopCompositor();
                return G_SOURCE_REMOVE;
            },
            this);
    }
    void stopCompositor() {
        --pendingStops;
        if (!compositor || !(compositor->hasFailed() || owner.gpuViews().empty())) return;
        useWidget(drawing);
        g_signal_handlers_disconnect_by_data(compositor->widget(), this);
        compositor.reset();
    }
    static void onActive(GtkWidget* window, GParamSpec*, Impl* self) {
        const bool active = gtk_window_is_active(GTK_WINDOW(window));
        if (active == self->active) return;
        self->active = active;
        activeWindows() += active ? 1 : -1;
        self->owner.setKeyWindow(active);
        SystemSettings::setApplicationActive(activeWindows() > 0);
    }
    static gboolean onDelete(GtkWidget*, GdkEvent*, Impl* self) {
        // The owner decides; the window never goes by itself.
        if (auto handler = self->owner.onCloseRequest) handler();
        return TRUE;
    }
    static gboolean onKey(GtkWidget*, GdkEventKey* event, Impl* self) {
        const bool pressed = event->type == GDK_KEY_PRESS;
        // A lock key changes its state when pressed; its release changes nothing.
        if (!pressed && (event->keyval == GDK_KEY_Caps_Lock || event->keyval == GDK_KEY_Num_Lock)) return TRUE;
        bool repeat = false;
        if (pressed) repeat = !self->keysDown.insert(event->hardware_keycode).second;
        else self->keysDown.erase(event->hardware_keycode);
        self->inputMethod->setCurrentEvent(event);
        const bool taken = self->owner.sendKeyEvent(keyEventFrom(*event, repeat));
        self->inputMethod->setCurrentEvent(nullptr);
        self->updateInputCursor();
        // A press no view took goes on to the toolkit (the menu bar's keys, say).
        return taken || !pressed;
    }
    // The toolkit moves its keyboard (Tab, Shift+Tab or an arrow that no widget took): the
    // window's key view loop decides where, so drawn views and widgets share one order.
    static gboolean onFocusMove(GtkWidget*, GtkDirectionType direction, Impl* self) {
        const bool forward = direction == GTK_DIR_TAB_FORWARD || direction == GTK_DIR_DOWN || direction == GTK_DIR_RIGHT;
        self->owner.selectKeyView(forward);
        return TRUE;
    }
    // The first responder follows the toolkit's keyboard into a control's widget, and out of it
    // to the drawing area (a click there).
    static void onSetFocus(GtkWindow*, GtkWidget* focus, Impl* self) {
        View* current = self->owner.firstResponder();
        if (!focus) {
            self->scheduleFocusRepair();
            return;
        }
        if (WidgetPeer* peer = WidgetPeer::of(focus)) {
            peer->focusMovedTo(focus);
            Control& control = peer->control();
            if (&control != current && control.canBecomeKeyView()) self->owner.makeFirstResponder(&control);
            return;
        }
        auto* control = dynamic_cast<Control*>(current);
        if (focus == self->area && control && control->peer()) self->owner.makeFirstResponder(nullptr);
    }
    // The widget that had the keyboard went (hidden or destroyed): the keyboard returns to the
    // first responder, or to the drawing area when that can no longer take it.
    void scheduleFocusRepair() {
        if (focusRepairIdle) return;
        focusRepairIdle = g_idle_add(
            [](gpointer data) -> gboolean {
                auto* impl = static_cast<Impl*>(data);
                impl->focusRepairIdle = 0;
                if (gtk_window_get_focus(GTK_WINDOW(impl->window)) || !gtk_widget_get_visible(impl->window)) return G_SOURCE_REMOVE;
                auto* control = dynamic_cast<Control*>(impl->owner.firstResponder());
                if (control && !control->canBecomeKeyView()) impl->owner.makeFirstResponder(nullptr);
                else impl->owner.firstResponderDidChange();
                return G_SOURCE_REMOVE;
            },
            this);
    }
    static gboolean onButton(GtkWidget* widget, GdkEventButton* event, Impl* self) {
        // Double and triple presses come as their own events besides the plain ones: the window
        // counts clicks itself.
        if (event->type != GDK_BUTTON_PRESS && event->type != GDK_BUTTON_RELEASE) return TRUE;
        if (event->type == GDK_BUTTON_PRESS) gtk_widget_grab_focus(widget);
        MouseEvent mouse;
        mouse.type = event->type == GDK_BUTTON_PRESS ? MouseEvent::Type::down : MouseEvent::Type::up;
        mouse.button = buttonIndex(event->button);
        mouse.locationInWindow = self->location(event->x, event->y);
        mouse.modifiers = modifiersFromState(event->state);
        mouse.timestamp = event->time / 1000.0;
        self->owner.sendMouseEvent(mouse);
        return TRUE;
    }
    static gboolean onMotion(GtkWidget*, GdkEventMotion* event, Impl* self) {
        MouseEvent mouse;
        const guint held = event->state & (GDK_BUTTON1_MASK | GDK_BUTTON2_MASK | GDK_BUTTON3_MASK);
        mouse.type = held ? MouseEvent::Type::dragged : MouseEvent::Type::moved;
        mouse.button = (held & GDK_BUTTON1_MASK) ? MouseEvent::left
                       : (held & GDK_BUTTON3_MASK) ? MouseEvent::right
                                                   : MouseEvent::middle;
        mouse.locationInWindow = self->location(event->x, event->y);
        mouse.modifiers = modifiersFromState(event->state);
        mouse.timestamp = event->time / 1000.0;
        self->owner.sendMouseEvent(mouse);
        return TRUE;
    }
    static gboolean onCrossing(GtkWidget*, GdkEventCrossing* event, Impl* self) {
        if (event->detail == GDK_NOTIFY_INFERIOR) return FALSE;
        MouseEvent mouse;
        mouse.type = event->type == GDK_ENTER_NOTIFY ? MouseEvent::Type::entered : MouseEvent::Type::exited;
        mouse.locationInWindow = self->location(event->x, event->y);
        mouse.modifiers = modifiersFromState(event->state);
        mouse.timestamp = event->time / 1000.0;
        self->owner.sendMouseEvent(mouse);
        return FALSE;
    }
    static gboolean onScroll(GtkWidget*, GdkEventScroll* event, Impl* self) {
        ScrollEvent scroll;
        scroll.locationInWindow = self->location(event->x, event->y);
        scroll.modifiers = modifiersFromState(event->state);
        scroll.timestamp = event->time / 1000.0;
        switch (event->direction) {
        case GDK_SCROLL_UP: scroll.deltaY = 1; break;
        case GDK_SCROLL_DOWN: scroll.deltaY = -1; break;
        case GDK_SCROLL_LEFT: scroll.deltaX = 1; break;
        case GDK_SCROLL_RIGHT: scroll.deltaX = -1; break;
        case GDK_SCROLL_SMOOTH: {
            GdkDevice* device = gdk_event_get_source_device(reinterpret_cast<GdkEvent*>(event));
            scroll.hasPreciseDeltas = device && gdk_device_get_source(device) == GDK_SOURCE_TOUCHPAD;
            scroll.deltaX = -event->delta_x;
            scroll.deltaY = -event->delta_y;
            break;
        }
        }
        if (scroll.deltaX == 0 && scroll.deltaY == 0) return TRUE;
        self->owner.sendScrollEvent(scroll);
        return TRUE;
    }

    void updateInputCursor() {
        TextInputClient* client = inputMethod->client();
        if (!client) return;
        inputMethod->setCursorLocation(client->firstRectForCharacterRange(client->selectedRange()));
    }
};

ToolkitWindow::ToolkitWindow(Size size, const std::string& title)
    : Window(size, 1), impl_(std::make_unique<Impl>(*this)) {
    Impl& d = *impl_;
    d.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_ref_sink(d.window);
    d.drawing = gtk_drawing_area_new();
    g_object_ref_sink(d.drawing);
    d.area = d.drawing;
    d.box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    d.overlay = gtk_overlay_new();
    gtk_container_add(GTK_CONTAINER(d.overlay), d.area);
    d.fixed = gtk_fixed_new();
    gtk_overlay_add_overlay(GTK_OVERLAY(d.overlay), d.fixed);
    // Where no control lies, the pointer reaches the area under the controls' layer.
    gtk_overlay_set_overlay_pass_through(GTK_OVERLAY(d.overlay), d.fixed, TRUE);
    gtk_box_pack_end(GTK_BOX(d.box), d.overlay, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(d.window), d.box);
    // The drawing area paints every pixel under it: the window's background is not filled in
    // first on every frame (a pass of the X server over all that changed). The menu bar, which
    // may leave its background to the window, paints the window's colour itself.
    gtk_widget_set_app_paintable(d.window, TRUE);
    d.background = gtk_css_provider_new();
    gtk_css_provider_load_from_data(d.background, "window, menubar { background-color: @theme_bg_color; }", -1, nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(d.window), GTK_STYLE_PROVIDER(d.background),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    d.controls = std::make_unique<ControlHost>(*this, d.fixed);
    gtk_window_set_default_size(GTK_WINDOW(d.window), static_cast<int>(std::lround(size.width)),
                                static_cast<int>(std::lround(size.height)));
    gtk_window_set_title(GTK_WINDOW(d.window), title.c_str());
    Window::setTitle(title);

    auto input = std::make_unique<InputMethod>(d.area);
    d.inputMethod = input.get();
    setTextInputContext(std::move(input));
    auto clock = std::make_unique<WidgetFrameClock>(d.area);
    d.frameClock = clock.get();
    setFrameClock(std::move(clock));

    g_signal_connect(d.drawing, "draw", G_CALLBACK(Impl::onDraw), &d);
    d.connectArea(d.drawing);
    g_signal_connect(d.window, "notify::is-active", G_CALLBACK(Impl::onActive), &d);
    g_signal_connect(d.window, "delete-event", G_CALLBACK(Impl::onDelete), &d);
    g_signal_connect(d.window, "key-press-event", G_CALLBACK(Impl::onWindowKey), &d);
    g_signal_connect(d.window, "focus-out-event", G_CALLBACK(Impl::onFocusOut), &d);
    g_signal_connect(d.window, "focus", G_CALLBACK(Impl::onFocusMove), &d);
    g_signal_connect_after(d.window, "set-focus", G_CALLBACK(Impl::onSetFocus), &d);
    gtk_widget_add_events(d.window, GDK_STRUCTURE_MASK);
    g_signal_connect(d.window, "map-event", G_CALLBACK(Impl::onMap), &d);
    g_signal_connect(d.window, "unmap-event", G_CALLBACK(Impl::onMap), &d);
    g_signal_connect(d.window, "window-state-event", G_CALLBACK(Impl::onWindowState), &d);
    // Not on screen until the toolkit maps it.
    setVisible(false);
}

ToolkitWindow::~ToolkitWindow() {
    Impl& d = *impl_;
    // Off its parent while this window can still be taken off screen.
    if (Window* parent = sheetParent()) parent->endSheet(*this, cancelled);
    d.outsideClick = nullptr;
    if (d.outsideIdle) g_source_remove(d.outsideIdle);
    d.cancelDragLeave();
    // The controls give their widgets back while the window still holds them.
    setContentView(nullptr);
    d.controls.reset();
    // Nothing may call back into a window that is going.
    g_signal_handlers_disconnect_by_data(d.drawing, &d);
    if (d.compositor) g_signal_handlers_disconnect_by_data(d.compositor->widget(), &d);
    g_signal_handlers_disconnect_by_data(d.window, &d);
    // The controls' widgets going may have asked for the keyboard's return.
    if (d.focusRepairIdle) g_source_remove(d.focusRepairIdle);
    while (d.pendingStops > 0 && g_idle_remove_by_data(&d)) --d.pendingStops;
    if (d.active) {
        activeWindows() -= 1;
        SystemSettings::setApplicationActive(activeWindows() > 0);
    }
    setFrameClock(nullptr);
    setTextInputContext(nullptr);
    if (d.background) g_object_unref(d.background);
    if (d.compositor || !EndedSheets::adopt(d.window)) {
        EndedSheets::remove(d.window);
        gtk_widget_destroy(d.window);
    }
    g_object_unref(d.window);
    d.compositor.reset();
    g_object_unref(d.drawing);
}

void ToolkitWindow::show() {
    Impl& d = *impl_;
    // The area has the keyboard from the start: a window shown without a focus widget would have
    // the toolkit pick its first one.
    if (!gtk_window_get_focus(GTK_WINDOW(d.window))) gtk_window_set_focus(GTK_WINDOW(d.window), d.area);
    // The window's own widgets only: a control's widget shows while its view does (the controls'
    // placement says so), and the menu bar stays aside in full screen. Showing them all would bring
    // back the widgets of hidden views, over the views and taking the pointer.
    for (GtkWidget* widget : {d.area, d.fixed, d.overlay, d.box, d.window}) gtk_widget_show(widget);
    d.controls->schedulePlacement();
    // A control that has the keyboard keeps it.
    firstResponderDidChange();
    gtk_window_present(GTK_WINDOW(impl_->window));
}

// The window manager answers with a window-state event (EWMH _NET_WM_STATE_FULLSCREEN).
void ToolkitWindow::setFullScreen(bool fullScreen) {
    if (fullScreen) gtk_window_fullscreen(GTK_WINDOW(impl_->window));
    else gtk_window_unfullscreen(GTK_WINDOW(impl_->window));
}

std::optional<gfx::Point> ToolkitWindow::mouseLocationOutsideOfEventStream() const {
    // Asked of the toplevel and moved into the area: the area may draw in its parent's window.
    GdkWindow* window = gtk_widget_get_window(impl_->window);
    GdkSeat* seat = window ? gdk_display_get_default_seat(gdk_window_get_display(window)) : nullptr;
    GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
    if (!pointer) return Window::mouseLocationOutsideOfEventStream();
    int x = 0, y = 0, inAreaX = 0, inAreaY = 0;
    gdk_window_get_device_position(window, pointer, &x, &y, nullptr);
    if (!gtk_widget_translate_coordinates(impl_->window, impl_->area, x, y, &inAreaX, &inAreaY))
        return Window::mouseLocationOutsideOfEventStream();
    return impl_->location(inAreaX, inAreaY);
}

bool ToolkitWindow::isEditingText() const {
    if (Window::isEditingText()) return true;
    // A GTK entry over the drawing area (a rename field, a control's peer) counts as a field editor.
    GtkWidget* focus = impl_->window ? gtk_window_get_focus(GTK_WINDOW(impl_->window)) : nullptr;
    return focus && GTK_IS_ENTRY(focus) && gtk_widget_has_focus(focus);
}

void ToolkitWindow::setTitle(const std::string& title) {
    Window::setTitle(title);
    gtk_window_set_title(GTK_WINDOW(impl_->window), title.c_str());
}

void ToolkitWindow::setMinimumSize(Size size) {
    Window::setMinimumSize(size);
    impl_->minimum = {static_cast<int>(std::ceil(size.width)), static_cast<int>(std::ceil(size.height))};
    gtk_widget_set_size_request(impl_->area, impl_->minimum.width, impl_->minimum.height);
}

void ToolkitWindow::setMenuBar(std::shared_ptr<const MenuBar> bar) {
    Window::setMenuBar(bar);
    Impl& d = *impl_;
    if (d.menuBar) gtk_widget_destroy(d.menuBar);
    d.menuBar = bar ? makeMenuBarWidget(std::move(bar)) : nullptr;
    if (!d.menuBar) return;
    gtk_box_pack_start(GTK_BOX(d.box), d.menuBar, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(d.box), d.menuBar, 0);
    // The menus never take the keyboard from the views.
    gtk_widget_set_can_focus(d.menuBar, FALSE);
    gtk_style_context_add_provider(gtk_widget_get_style_context(d.menuBar), GTK_STYLE_PROVIDER(d.background),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    if (isFullScreen()) gtk_widget_hide(d.menuBar);
}

bool ToolkitWindow::openMenuBar() {
    Impl& d = *impl_;
    if (!d.menuBar || !Window::openMenuBar()) return false;
    if (gtk_widget_get_visible(d.menuBar)) {
        gtk_menu_shell_select_first(GTK_MENU_SHELL(d.menuBar), FALSE);
        return true;
    }
    View* content = contentView();
    if (!content) return false;
    Menu menus;
    for (const Menu& menu : menuBar()->menus) {
        MenuItem item;
        item.title = menu.title;
        item.submenu = menu.items;
        menus.items.push_back(std::move(item));
    }
    PopUpMenu::popUp(menus, *content, {0, content->isFlipped() ? 0.0 : content->bounds().height});
    return true;
}

void ToolkitWindow::setBackgroundColor(gfx::Rgba color) {
    Window::setBackgroundColor(color);
    Impl& d = *impl_;
    auto byte = [](double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    char css[96];
    std::snprintf(css, sizeof css, "window, menubar { background-color: rgb(%d,%d,%d); }", byte(color.red), byte(color.green),
                  byte(color.blue));
    gtk_css_provider_load_from_data(d.background, css, -1, nullptr);
}

void ToolkitWindow::present() {
    EndedSheets::remove(impl_->window);
    Window::present();
    show();
}

GtkWindow* ToolkitWindow::nativeWindow() const { return GTK_WINDOW(impl_->window); }

void ToolkitWindow::setResizeIncrements(Size base, Size increment) {
    GdkGeometry hints{};
    hints.base_width = static_cast<int>(std::lround(base.width));
    hints.base_height = static_cast<int>(std::lround(base.height));
    hints.width_inc = std::max(1, static_cast<int>(std::lround(increment.width)));
    hints.height_inc = std::max(1, static_cast<int>(std::lround(increment.height)));
    gtk_window_set_geometry_hints(GTK_WINDOW(impl_->window), nullptr, &hints,
                                  static_cast<GdkWindowHints>(GDK_HINT_BASE_SIZE | GDK_HINT_RESIZE_INC));
}

void ToolkitWindow::didMovePixels(const Rect& rect) { didInvalidate(rect); }

std::unique_ptr<gfx::Canvas> ToolkitWindow::makeSurface(Size size, double scale) {
    GdkWindow* area = impl_ && impl_->sharesSurface ? gtk_widget_get_window(impl_->drawing) : nullptr;
    if (!area) return Window::makeSurface(size, scale);
    // With X11's shared memory, an image the server reads where it lies: a frame reaches the
    // window without a copy into the toolkit's buffer first. Elsewhere an ordinary image.
    return std::make_unique<gfx::Canvas>(
        size, scale,
        [area](int width, int height) {
            return gdk_window_create_similar_image_surface(area, CAIRO_FORMAT_ARGB32, width, height, 1);
        },
        gfx::Canvas::Storage::resident);
}

void ToolkitWindow::didInvalidate(const Rect& rect) {
    // Widget coordinates have y down.
    const int x = static_cast<int>(std::floor(rect.x));
    const int y = static_cast<int>(std::floor(size().height - rect.maxY()));
    const int right = static_cast<int>(std::ceil(rect.maxX()));
    const int bottom = static_cast<int>(std::ceil(size().height - rect.y));
    if (impl_->compositor && impl_->area == impl_->compositor->widget()) impl_->compositor->queueRender();
    else gtk_widget_queue_draw_area(impl_->area, x, y, right - x, bottom - y);
    // Views may have moved, come or gone: their controls' widgets follow.
    impl_->controls->schedulePlacement();
}

// Placement may have run since the region became dirty: the widgets follow this change too.
void ToolkitWindow::didChangeWithinDirty() { impl_->controls->schedulePlacement(); }

GtkWidget* ToolkitWindow::contentWidget() const { return impl_->area; }

void ToolkitWindow::presentSheet(Window& sheet) {
    auto* panel = dynamic_cast<ToolkitWindow*>(&sheet);
    if (!panel) return Window::presentSheet(sheet);
    GtkWindow* native = panel->nativeWindow();
    gtk_window_set_transient_for(native, nativeWindow());
    gtk_window_set_modal(native, TRUE);
    gtk_window_set_type_hint(native, GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_position(native, GTK_WIN_POS_CENTER_ON_PARENT);
    gtk_window_set_resizable(native, FALSE);
    gtk_window_set_skip_taskbar_hint(native, TRUE);
    panel->present();
}

void ToolkitWindow::dismissSheet(Window& sheet) {
    auto* panel = dynamic_cast<ToolkitWindow*>(&sheet);
    if (!panel) return;
    handKeyboardBeneath(panel->nativeWindow(), nativeWindow());
    EndedSheets::add(GTK_WIDGET(panel->nativeWindow()), panel->keysGoToLater());
    gtk_widget_hide(GTK_WIDGET(panel->nativeWindow()));
    gtk_window_set_transient_for(panel->nativeWindow(), nullptr);
    gtk_window_present(nativeWindow());
}

void ToolkitWindow::becomePopover(ToolkitWindow& parent, std::function<void()> outsideClick) {
    GtkWindow* native = nativeWindow();
    gtk_window_set_decorated(native, FALSE);
    gtk_window_set_resizable(native, FALSE);
    gtk_window_set_transient_for(native, parent.nativeWindow());
    gtk_window_set_type_hint(native, GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_skip_taskbar_hint(native, TRUE);
    gtk_window_set_skip_pager_hint(native, TRUE);
    impl_->outsideClick = std::move(outsideClick);
}

void ToolkitWindow::moveTo(int x, int y) { gtk_window_move(nativeWindow(), x, y); }

namespace {

// Only an X11 server lets a program say where its windows go and tells where they are.
bool placesWindows(GtkWindow* window) {
#ifdef GDK_WINDOWING_X11
    return GDK_IS_X11_DISPLAY(gtk_widget_get_display(GTK_WIDGET(window)));
#else
    (void)window;
    return false;
#endif
}

}  // namespace

std::optional<gfx::Rect> ToolkitWindow::screenFrame() const {
    if (!placesWindows(nativeWindow()) || !gtk_widget_get_visible(impl_->window)) return std::nullopt;
    int x = 0, y = 0, width = 0, height = 0;
    gtk_window_get_position(nativeWindow(), &x, &y);
    gtk_window_get_size(nativeWindow(), &width, &height);
    return gfx::Rect{double(x), double(y), double(width), double(height)};
}

void ToolkitWindow::setScreenFrame(const Rect& frame) {
    const int width = std::max(impl_->minimum.width, static_cast<int>(std::lround(frame.width)));
    const int height = std::max(impl_->minimum.height, static_cast<int>(std::lround(frame.height)));
    gtk_window_set_default_size(nativeWindow(), width, height);
    gtk_window_resize(nativeWindow(), width, height);
    if (placesWindows(nativeWindow())) moveTo(static_cast<int>(std::lround(frame.x)), static_cast<int>(std::lround(frame.y)));
}

void ToolkitWindow::setTransientFor(Window* parent) {
    Window::setTransientFor(parent);
    auto* shown = dynamic_cast<ToolkitWindow*>(parent);
    gtk_window_set_transient_for(nativeWindow(), shown ? shown->nativeWindow() : nullptr);
}

void ToolkitWindow::orderOut() { gtk_widget_hide(impl_->window); }

void ToolkitWindow::didDisplay(const std::vector<Rect>& rects) {
    if (impl_->compositor) impl_->compositor->surfaceChanged(rects);
}

std::shared_ptr<gpu::Device> ToolkitWindow::gpuDevice() {
    if (!impl_->compositor) impl_->startCompositor();
    return impl_->compositor ? impl_->compositor->device() : nullptr;
}

bool ToolkitWindow::gpuDeviceIsPending() const { return impl_->compositor && impl_->compositor->isPending(); }

bool ToolkitWindow::composesGpuViews() const { return impl_->compositor && impl_->compositor->device(); }

void ToolkitWindow::gpuViewDidPresent(GpuView&) {
    if (impl_->compositor) impl_->compositor->queueRender();
}

void ToolkitWindow::gpuViewsChanged() {
    // The GL area stays only while the window holds GPU views.
    if (impl_ && impl_->compositor && !impl_->compositor->isPending() && gpuViews().empty())
        impl_->scheduleStopCompositor();
}

void ToolkitWindow::firstResponderDidChange() {
    Impl& d = *impl_;
    // A control's widget takes the toolkit's keyboard (one still to be made takes it when made);
    // any other view has it through the drawing area.
    if (auto* control = dynamic_cast<Control*>(firstResponder())) {
        if (control->peer()) control->peer()->focus();
        d.controls->schedulePlacement();
    } else if (!gtk_widget_has_focus(d.area)) {
        gtk_widget_grab_focus(d.area);
    }
}

void ToolkitWindow::applyCursor(const std::string& name) {
    GdkWindow* window = gtk_widget_get_window(impl_->area);
    if (!window) return;
    GdkCursor* cursor = gdk_cursor_new_from_name(gdk_window_get_display(window), name.c_str());
    gdk_window_set_cursor(window, cursor);
    if (cursor) g_object_unref(cursor);
}

}  // namespace platform::ui::gtk
