#include "platform/ui/gtk/InputMethod.h"

#include <cmath>

namespace platform::ui::gtk {

namespace {

// UTF-16 units in the first `chars` characters of a UTF-8 string.
size_t utf16Units(const char* text, int chars) {
    size_t units = 0;
    const char* p = text;
    for (int i = 0; i < chars && *p; ++i) {
        units += g_utf8_get_char(p) > 0xFFFF ? 2 : 1;
        p = g_utf8_next_char(p);
    }
    return units;
}

}  // namespace

InputMethod::InputMethod(GtkWidget* widget) : widget_(widget), context_(gtk_im_multicontext_new()) {
    g_signal_connect(context_, "commit", G_CALLBACK(onCommit), this);
    g_signal_connect(context_, "preedit-changed", G_CALLBACK(onPreeditChanged), this);
    g_signal_connect(context_, "preedit-end", G_CALLBACK(onPreeditEnd), this);
    g_signal_connect(context_, "retrieve-surrounding", G_CALLBACK(onRetrieveSurrounding), this);
    g_signal_connect(context_, "delete-surrounding", G_CALLBACK(onDeleteSurrounding), this);
    if (gtk_widget_get_realized(widget_)) realize();
}

InputMethod::~InputMethod() {
    g_signal_handlers_disconnect_by_data(context_, this);
    gtk_im_context_set_client_window(context_, nullptr);
    g_object_unref(context_);
}

void InputMethod::realize() { gtk_im_context_set_client_window(context_, gtk_widget_get_window(widget_)); }

void InputMethod::unrealize() { gtk_im_context_set_client_window(context_, nullptr); }

void InputMethod::setWidget(GtkWidget* widget) {
    unrealize();
    widget_ = widget;
    if (gtk_widget_get_realized(widget_)) realize();
}

bool InputMethod::filterKeyEvent(const KeyEvent& event) {
    if (current_ && current_->keyval == event.keyval && current_->hardware_keycode == event.hardwareKeycode) {
        return gtk_im_context_filter_keypress(context_, current_);
    }
    // A key made up by the program: give the input method a toolkit event of it.
    GdkEvent* made = gdk_event_new(event.type == KeyEvent::Type::up ? GDK_KEY_RELEASE : GDK_KEY_PRESS);
    GdkWindow* window = gtk_widget_get_window(widget_);
    made->key.window = window ? GDK_WINDOW(g_object_ref(window)) : nullptr;
    made->key.keyval = event.keyval;
    made->key.hardware_keycode = event.hardwareKeycode;
    made->key.time = static_cast<guint32>(event.timestamp * 1000);
    guint state = 0;
    if (event.modifiers & Modifier::shift) state |= GDK_SHIFT_MASK;
    if (event.modifiers & Modifier::control) state |= GDK_CONTROL_MASK;
    if (event.modifiers & Modifier::alt) state |= GDK_MOD1_MASK;
    if (event.modifiers & Modifier::super) state |= GDK_SUPER_MASK;
    if (event.modifiers & Modifier::capsLock) state |= GDK_LOCK_MASK;
    if (event.modifiers & Modifier::numLock) state |= GDK_MOD2_MASK;
    if (event.modifiers & Modifier::altGraph) state |= GDK_MOD5_MASK;
    made->key.state = state;
    if (GdkDisplay* display = window ? gdk_window_get_display(window) : gdk_display_get_default()) {
        if (GdkSeat* seat = gdk_display_get_default_seat(display)) {
            gdk_event_set_device(made, gdk_seat_get_keyboard(seat));
        }
    }
    const bool taken = gtk_im_context_filter_keypress(context_, &made->key);
    gdk_event_free(made);
    return taken;
}

void InputMethod::focusIn() { gtk_im_context_focus_in(context_); }

void InputMethod::focusOut() { gtk_im_context_focus_out(context_); }

void InputMethod::reset() { gtk_im_context_reset(context_); }

void InputMethod::setCursorLocation(const gfx::Rect& rect) {
    // Widget coordinates have y down.
    const int height = gtk_widget_get_allocated_height(widget_);
    GdkRectangle area{static_cast<int>(std::floor(rect.x)), static_cast<int>(std::floor(height - rect.maxY())),
                      static_cast<int>(std::ceil(rect.width)), static_cast<int>(std::ceil(rect.height))};
    gtk_im_context_set_cursor_location(context_, &area);
}

void InputMethod::onCommit(GtkIMContext*, const char* text, InputMethod* self) {
    if (self->client() && text) self->client()->insertText(text, TextRange{});
}

void InputMethod::onPreeditChanged(GtkIMContext* context, InputMethod* self) {
    gchar* text = nullptr;
    gint cursor = 0;
    gtk_im_context_get_preedit_string(context, &text, nullptr, &cursor);
    if (self->client()) {
        if (text && *text) {
            self->client()->setMarkedText(text, TextRange{utf16Units(text, cursor), 0}, TextRange{});
        } else {
            self->client()->unmarkText();
        }
    }
    g_free(text);
}

void InputMethod::onPreeditEnd(GtkIMContext*, InputMethod* self) {
    // Always: a composition given up must not leave the client composing, even when the last
    // preedit it saw was empty.
    if (self->client()) self->client()->unmarkText();
}

}  // namespace platform::ui::gtk
