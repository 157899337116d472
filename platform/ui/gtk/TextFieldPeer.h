#pragma once

#include "platform/ui/TextField.h"
#include "platform/ui/gtk/WidgetPeer.h"

namespace platform::ui::gtk {

// A TextField as a GtkEntry: the user's edits, caret moves and focus changes go to the field as
// they happen; Return, Tab, Shift+Tab, Escape and the arrows up and down become its commands. The
// entry keeps its text and caret while the field's own text is the same. Its placeholder shows
// while it is empty, also while it has the keyboard (the toolkit hides it then): a field that is
// focused when it opens still says what to type.
class TextFieldPeer : public WidgetPeer {
public:
    TextFieldPeer(TextField& field, GtkWidget* fixed);

protected:
    void sync() override;
    std::string style() const override;

private:
    TextRange entrySelection() const;
    static void onChanged(GtkEditable* editable, TextFieldPeer* self);
    static void onCaret(GObject* entry, GParamSpec* spec, TextFieldPeer* self);
    static void onActivate(GtkEntry* entry, TextFieldPeer* self);
    static gboolean onKey(GtkWidget* entry, GdkEventKey* event, TextFieldPeer* self);
    static gboolean onFocusIn(GtkWidget* entry, GdkEventFocus* event, TextFieldPeer* self);
    static gboolean onFocusOut(GtkWidget* entry, GdkEventFocus* event, TextFieldPeer* self);
    static gboolean onDrawn(GtkWidget* entry, cairo_t* cr, TextFieldPeer* self);

    TextField& field_;
};

}  // namespace platform::ui::gtk
