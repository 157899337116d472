#pragma once

#include <gtk/gtk.h>

#include "platform/ui/TextInput.h"

namespace platform::ui::gtk {

// The toolkit's input method (a GtkIMMulticontext, so GTK_IM_MODULE picks the module) for the
// views of one widget: keys go through gtk_im_context_filter_keypress, commits reach the client's
// insertText, the preedit its setMarkedText (cursor in UTF-16 units), the end of a preedit its
// unmarkText. The widget gives the client window once realized; window coordinates are the
// widget's with y up.
class InputMethod : public TextInputContext {
public:
    explicit InputMethod(GtkWidget* widget);
    ~InputMethod() override;
    InputMethod(const InputMethod&) = delete;
    InputMethod& operator=(const InputMethod&) = delete;

    void realize();
    void unrealize();
    // The widget that takes the keys changed (the GL area took the drawing area's place, or back).
    void setWidget(GtkWidget* widget);
    // The toolkit's event behind the neutral one being handed round, so the input method sees the
    // real thing.
    void setCurrentEvent(GdkEventKey* event) { current_ = event; }

    bool filterKeyEvent(const KeyEvent& event) override;
    void focusIn() override;
    void focusOut() override;
    void reset() override;
    void setCursorLocation(const gfx::Rect& rect) override;

    GtkIMContext* context() const { return context_; }

private:
    static void onCommit(GtkIMContext*, const char* text, InputMethod* self);
    static void onPreeditChanged(GtkIMContext* context, InputMethod* self);
    static void onPreeditEnd(GtkIMContext*, InputMethod* self);
    static gboolean onRetrieveSurrounding(GtkIMContext*, InputMethod*) { return FALSE; }
    static gboolean onDeleteSurrounding(GtkIMContext*, gint, gint, InputMethod*) { return FALSE; }

    GtkWidget* widget_;
    GtkIMContext* context_;
    GdkEventKey* current_ = nullptr;
};

}  // namespace platform::ui::gtk
