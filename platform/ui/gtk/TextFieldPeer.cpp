#include "platform/ui/gtk/TextFieldPeer.h"

#include <optional>
#include <string>

#include "platform/ui/Window.h"

namespace platform::ui::gtk {

TextFieldPeer::TextFieldPeer(TextField& field, GtkWidget* fixed) : WidgetPeer(field, fixed, gtk_entry_new()), field_(field) {
    g_signal_connect(widget_, "changed", G_CALLBACK(onChanged), this);
    g_signal_connect(widget_, "notify::cursor-position", G_CALLBACK(onCaret), this);
    g_signal_connect(widget_, "notify::selection-bound", G_CALLBACK(onCaret), this);
    g_signal_connect(widget_, "activate", G_CALLBACK(onActivate), this);
    g_signal_connect(widget_, "key-press-event", G_CALLBACK(onKey), this);
    g_signal_connect(widget_, "focus-in-event", G_CALLBACK(onFocusIn), this);
    g_signal_connect(widget_, "focus-out-event", G_CALLBACK(onFocusOut), this);
    g_signal_connect_after(widget_, "draw", G_CALLBACK(onDrawn), this);
    // The frame gives the width: the entry's own least width (some 150 pixels) would run past a
    // shorter frame, over what lies beside it.
    gtk_entry_set_width_chars(GTK_ENTRY(widget_), 1);
}

TextRange TextFieldPeer::entrySelection() const {
    gint start = 0, end = 0;
    if (gtk_editable_get_selection_bounds(GTK_EDITABLE(widget_), &start, &end)) {
        return {static_cast<size_t>(start), static_cast<size_t>(end - start)};
    }
    return {static_cast<size_t>(gtk_editable_get_position(GTK_EDITABLE(widget_))), 0};
}

void TextFieldPeer::sync() {
    Quiet quiet(syncing_);
    // Only a different text is set: setting it again would move the user's caret.
    if (field_.stringValue() != gtk_entry_get_text(GTK_ENTRY(widget_))) gtk_entry_set_text(GTK_ENTRY(widget_), field_.stringValue().c_str());
    const TextRange wanted = field_.selectedRange();
    if (!(entrySelection() == wanted)) {
        gtk_editable_select_region(GTK_EDITABLE(widget_), static_cast<gint>(wanted.location), static_cast<gint>(wanted.location + wanted.length));
    }
    gtk_entry_set_placeholder_text(GTK_ENTRY(widget_), field_.placeholder().c_str());
    gtk_entry_set_has_frame(GTK_ENTRY(widget_), field_.isBordered());
    gtk_editable_set_editable(GTK_EDITABLE(widget_), field_.isEditable());
}

std::string TextFieldPeer::style() const {
    std::string css = "entry { " + cssFont(field_.font());
    if (field_.textColor()) css += " color: " + cssColour(*field_.textColor()) + "; caret-color: " + cssColour(*field_.textColor()) + ";";
    if (!field_.isBordered() || !field_.drawsBackground()) css += " background: transparent; border: none; box-shadow: none;";
    if (!field_.isBordered()) css += " padding: 0 2px;";
    else css += " padding: 0 6px;";
    css += " }\n";
    // Selected text keeps the field's colour on a highlight mixed from it: the theme's own (white
    // on blue) reads under 4.5:1.
    if (const auto& text = field_.textColor()) {
        css += "entry selection, entry selection:focus { color: " + cssColour(*text) + "; background-color: " +
               cssColour({text->red, text->green, text->blue, 0.22}) + "; }\n";
    }
    if (!field_.showsFocusRing()) css += "entry, entry:focus { outline: none; box-shadow: none; }\n";
    // The entry looks its placeholder's colour up by this name.
    if (field_.placeholderColor()) css += "@define-color placeholder_text_color " + cssColour(*field_.placeholderColor()) + ";\n";
    return css;
}

void TextFieldPeer::onChanged(GtkEditable* editable, TextFieldPeer* self) {
    if (self->syncing_) return;
    const std::string text = gtk_entry_get_text(GTK_ENTRY(editable));
    self->field_.userEdited(text, self->entrySelection());
}

void TextFieldPeer::onCaret(GObject*, GParamSpec*, TextFieldPeer* self) {
    if (self->syncing_) return;
    // Inside the entry's own edit (a selection typed over is deleted first): the caret moves before
    // the text is told, and a sync now would put the old text back. The change tells both.
    if (self->field_.stringValue() != gtk_entry_get_text(GTK_ENTRY(self->widget_))) return;
    Quiet quiet(self->syncing_);
    self->field_.userSelected(self->entrySelection());
}

void TextFieldPeer::onActivate(GtkEntry*, TextFieldPeer* self) {
    if (self->syncing_) return;
    self->field_.userCommand(TextField::Command::insertNewline);
}

gboolean TextFieldPeer::onKey(GtkWidget*, GdkEventKey* event, TextFieldPeer* self) {
    const bool shift = event->state & GDK_SHIFT_MASK;
    std::optional<TextField::Command> command;
    switch (event->keyval) {
        case GDK_KEY_Tab:
        case GDK_KEY_KP_Tab: command = shift ? TextField::Command::insertBacktab : TextField::Command::insertTab; break;
        case GDK_KEY_ISO_Left_Tab: command = TextField::Command::insertBacktab; break;
        case GDK_KEY_Escape: command = TextField::Command::cancelOperation; break;
        case GDK_KEY_Up:
        case GDK_KEY_KP_Up: command = TextField::Command::moveUp; break;
        case GDK_KEY_Down:
        case GDK_KEY_KP_Down: command = TextField::Command::moveDown; break;
        default: break;
    }
    // Return comes as the entry's activate; what no one takes goes on to the entry.
    if (!command || !self->field_.onCommand) return FALSE;
    return self->field_.userCommand(*command);
}

gboolean TextFieldPeer::onFocusIn(GtkWidget*, GdkEventFocus*, TextFieldPeer* self) {
    // A click into the entry gives the field the window's keyboard too (it begins editing then).
    Window* window = self->field_.window();
    if (window && window->firstResponder() != &self->field_ && window->makeFirstResponder(&self->field_)) return FALSE;
    self->field_.userBeganEditing();
    return FALSE;
}

gboolean TextFieldPeer::onDrawn(GtkWidget* entry, cairo_t* cr, TextFieldPeer* self) {
    const std::string& placeholder = self->field_.placeholder();
    if (placeholder.empty() || !gtk_widget_has_focus(entry) || gtk_entry_get_text_length(GTK_ENTRY(entry)) > 0) return FALSE;
    // Where the entry draws its text, in the placeholder's colour; without one, in the text's
    // colour dimmed as the toolkit dims a placeholder.
    GdkRectangle area;
    gtk_entry_get_text_area(GTK_ENTRY(entry), &area);
    GtkStyleContext* style = gtk_widget_get_style_context(entry);
    GdkRGBA colour;
    gtk_style_context_get_color(style, gtk_style_context_get_state(style), &colour);
    colour.alpha *= 0.5;
    if (const auto& own = self->field_.placeholderColor()) colour = {own->red, own->green, own->blue, own->alpha};
    PangoLayout* layout = gtk_widget_create_pango_layout(entry, placeholder.c_str());
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    cairo_save(cr);
    cairo_rectangle(cr, area.x, area.y, area.width, area.height);
    cairo_clip(cr);
    cairo_set_source_rgba(cr, colour.red, colour.green, colour.blue, colour.alpha);
    cairo_move_to(cr, area.x, area.y + (area.height - height) / 2.0);
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
    g_object_unref(layout);
    return FALSE;
}

gboolean TextFieldPeer::onFocusOut(GtkWidget*, GdkEventFocus*, TextFieldPeer* self) {
    // Leaving with a changed text commits it; the control may go in its action.
    self->field_.userEndedEditing();
    return FALSE;
}

}  // namespace platform::ui::gtk
