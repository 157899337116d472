#include "platform/ui/gtk/ControlHost.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/ui/Button.h"
#include "platform/ui/ControlDrawing.h"
#include "platform/ui/Label.h"
#include "platform/ui/PangoText.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/RichTextView.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/Spinner.h"
#include "platform/ui/Window.h"
#include "platform/ui/gtk/GtkEvents.h"
#include "platform/ui/gtk/TableViewPeer.h"
#include "platform/ui/gtk/TextFieldPeer.h"
#include "platform/ui/gtk/WebViewPeer.h"
#include "platform/ui/gtk/WidgetPeer.h"

namespace platform::ui::gtk {

namespace {

class ButtonPeer : public WidgetPeer {
public:
    ButtonPeer(Button& button, GtkWidget* fixed)
        : WidgetPeer(button, fixed, button.type() == Button::Type::checkBox ? gtk_check_button_new() : gtk_button_new()),
          button_(button) {
        g_signal_connect(widget_, button.type() == Button::Type::checkBox ? "toggled" : "clicked", G_CALLBACK(onClicked), this);
    }

protected:
    void sync() override {
        Quiet quiet(syncing_);
        if (button_.type() == Button::Type::checkBox) {
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget_), button_.state() == Button::State::on);
        }
        const bool showsImage = button_.image() && !button_.image()->isEmpty() && button_.title().empty();
        if (!button_.symbolName().empty() && button_.title().empty()) showSymbol();
        else if (showsImage) showImage();
        else showTitle();
        // A click leaves the keyboard where it is (a field being edited keeps it); Tab brings it.
        gtk_widget_set_focus_on_click(widget_, FALSE);
    }
    std::string style() const override {
        std::string css;
        const auto& look = button_.look();
        if (look) {
            css += "button, checkbutton { background-image: none; box-shadow: none; text-shadow: none; outline: none;";
            css += " background-color: " + (look->fill ? cssColour(*look->fill) : std::string("transparent")) + ";";
            css += " border: " + std::to_string(look->borderWidth) + "px solid " + cssColour(look->borderColor) + ";";
            css += " border-radius: " + std::to_string(look->cornerRadius) + "px; }\n";
        } else if (!button_.isBordered()) {
            css += "button { background: none; border: none; box-shadow: none; }\n";
        }
        if (button_.type() == Button::Type::checkBox) {
            // The box as wide as the stand-in's, its title after the same gap.
            char box[160];
            std::snprintf(box, sizeof box, "check { min-width: %gpx; min-height: %gpx; border: 1px solid; padding: 0; margin: 0 %gpx 0 0; }\n",
                          Button::checkBoxSide - 2, Button::checkBoxSide - 2, Button::checkBoxTitleX - Button::checkBoxSide);
            css += box;
        }
        if (button_.type() == Button::Type::checkBox && button_.contentTintColor()) {
            // Drawn as the stand-in draws it: a box in the tint, filled with it once on, the tick
            // in the colour that stands out from the tint.
            const gfx::Rgba& tint = *button_.contentTintColor();
            css += "check { background-image: none; background-color: transparent; box-shadow: none; -gtk-icon-shadow: none;"
                   " border-radius: 3px; border-color: " + cssColour(tint) + "; color: " + cssColour(tint) + "; }\n";
            css += "check:checked, check:checked:hover { background-color: " + cssColour(tint) + "; color: " +
                   cssColour(drawing::checkMark(tint)) + "; }\n";
        }
        // A symbolic icon takes the tint as its colour.
        if (!button_.symbolName().empty() && button_.contentTintColor()) {
            css += "button, button image { color: " + cssColour(*button_.contentTintColor()) + "; }\n";
        }
        // A button without the toolkit's ring (a pill) draws a ring of its own inside its shape.
        if (!button_.showsFocusRing() || look) {
            css += "* { outline: none; }\nbutton:focus, checkbutton:focus { box-shadow: inset 0 0 0 2px " +
                   cssColour(drawing::focusRing) + "; }\n";
        }
        return css;
    }
    void afterPlace() override {
        if (button_.image() && button_.title().empty() && button_.symbolName().empty()) showImage();
    }

private:
    GtkWidget* childLabel() {
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget_));
        if (child && GTK_IS_LABEL(child)) return child;
        if (child) gtk_container_remove(GTK_CONTAINER(widget_), child);
        GtkWidget* label = gtk_label_new(nullptr);
        setInterfaceFontOptions(label);
        gtk_container_add(GTK_CONTAINER(widget_), label);
        gtk_widget_show(label);
        return label;
    }
    void showTitle() {
        GtkWidget* label = childLabel();
        const RichText title = button_.shownTitle();
        const std::string text = title.string();
        gtk_label_set_text(GTK_LABEL(label), text.c_str());
        if (button_.attributedTitle() || button_.contentTintColor()) {
            gtk_label_set_attributes(GTK_LABEL(label), pango::attributes(title, 0, text.size()).get());
        } else {
            // A plain title in the button's font and the theme's own colour for its button, which
            // follows the light or dark theme.
            pango::AttrListPtr font(pango_attr_list_new());
            pango_attr_list_insert(font.get(), pango_attr_font_desc_new(pango::fontDescription(button_.font()).get()));
            gtk_label_set_attributes(GTK_LABEL(label), font.get());
        }
        // A wrapping title takes the lines it needs in the width it is given; others end in "…".
        // A check box's title starts at its box and leaves the room after it to the focus ring.
        const bool wraps = button_.titleWrapWidth().has_value(), checkBox = button_.type() == Button::Type::checkBox;
        gtk_label_set_line_wrap(GTK_LABEL(label), wraps);
        gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
        // A check box's title is never cut: the toolkit may measure it a point wider than the
        // stand-in does, and the box is then that point wider than its frame.
        gtk_label_set_xalign(GTK_LABEL(label), wraps || checkBox ? 0.0f : 0.5f);
        gtk_widget_set_margin_end(label, checkBox ? static_cast<int>(Button::checkBoxRingRoom) : 0);
        gtk_label_set_ellipsize(GTK_LABEL(label), wraps || checkBox ? PANGO_ELLIPSIZE_NONE : PANGO_ELLIPSIZE_END);
    }
    void showSymbol() {
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget_));
        if (child && !GTK_IS_IMAGE(child)) {
            gtk_container_remove(GTK_CONTAINER(widget_), child);
            child = nullptr;
        }
        if (!child) {
            child = gtk_image_new();
            gtk_container_add(GTK_CONTAINER(widget_), child);
            gtk_widget_show(child);
        }
        gtk_image_set_from_icon_name(GTK_IMAGE(child), button_.symbolName().c_str(), GTK_ICON_SIZE_BUTTON);
        gtk_image_set_pixel_size(GTK_IMAGE(child), static_cast<int>(std::lround(button_.symbolSize())));
    }
    void showImage() {
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget_));
        if (child && !GTK_IS_IMAGE(child)) {
            gtk_container_remove(GTK_CONTAINER(widget_), child);
            child = nullptr;
        }
        if (!child) {
            child = gtk_image_new();
            gtk_container_add(GTK_CONTAINER(widget_), child);
            gtk_widget_show(child);
        }
        // Scaled proportionally into the button, at the window's scale.
        const gfx::Image& image = *button_.image();
        const double box = std::max(1, std::min(w_, h_));
        const double fit = std::min(box / image.width, box / image.height);
        const int scale = std::max(1, gtk_widget_get_scale_factor(widget_));
        GdkPixbuf* full = pixbufOf(image);
        if (!full) return;
        const int pw = std::max(1, static_cast<int>(std::lround(image.width * fit * scale)));
        const int ph = std::max(1, static_cast<int>(std::lround(image.height * fit * scale)));
        GdkPixbuf* scaled = gdk_pixbuf_scale_simple(full, pw, ph, GDK_INTERP_BILINEAR);
        g_object_unref(full);
        if (!scaled) return;
        cairo_surface_t* surface = gdk_cairo_surface_create_from_pixbuf(scaled, scale, nullptr);
        gtk_image_set_from_surface(GTK_IMAGE(child), surface);
        cairo_surface_destroy(surface);
        g_object_unref(scaled);
    }
    static void onClicked(GtkWidget* widget, ButtonPeer* self) {
        if (self->syncing_) return;
        if (self->button_.type() == Button::Type::checkBox) {
            const bool active = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget));
            if (active == (self->button_.state() == Button::State::on)) return;
        }
        // The control may go in its action: nothing of this peer is used afterwards.
        self->button_.performClick();
    }

    Button& button_;
};

class PopUpPeer : public WidgetPeer {
public:
    PopUpPeer(PopUpButton& popUp, GtkWidget* fixed) : WidgetPeer(popUp, fixed, gtk_combo_box_text_new()), popUp_(popUp) {
        g_signal_connect(widget_, "changed", G_CALLBACK(onChanged), this);
        gtk_widget_set_focus_on_click(widget_, FALSE);
    }

protected:
    void sync() override {
        Quiet quiet(syncing_);
        if (shownItems_ != popUp_.items()) {
            gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(widget_));
            for (const std::string& item : popUp_.items()) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(widget_), item.c_str());
            shownItems_ = popUp_.items();
        }
        gtk_combo_box_set_active(GTK_COMBO_BOX(widget_), popUp_.indexOfSelectedItem());
    }
    std::string style() const override {
        return "combobox, combobox * { " + cssFont(popUp_.font()) + " }\ncombobox button { padding: 0 4px; min-height: 0; }\n";
    }
    // The inner button's own padding and height would make the pop-up taller than its frame.
    std::string innerStyle() const override {
        return "button { padding: 0 4px 0 8px; min-height: 0; }\ncellview { " + cssFont(popUp_.font()) + " }\n";
    }

private:
    static void onChanged(GtkComboBox* box, PopUpPeer* self) {
        if (self->syncing_) return;
        const int index = gtk_combo_box_get_active(box);
        if (index == self->popUp_.indexOfSelectedItem()) return;
        self->popUp_.choose(index);
    }

    PopUpButton& popUp_;
    std::vector<std::string> shownItems_;
};

class SegmentedPeer : public WidgetPeer {
public:
    SegmentedPeer(SegmentedControl& control, GtkWidget* fixed)
        : WidgetPeer(control, fixed, gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0)), segmented_(control) {
        gtk_style_context_add_class(gtk_widget_get_style_context(widget_), "linked");
    }

protected:
    void sync() override {
        Quiet quiet(syncing_);
        const auto& segments = segmented_.segments();
        if (buttons_.size() != segments.size()) rebuild();
        for (size_t i = 0; i < segments.size(); ++i) {
            GtkWidget* button = buttons_[i];
            gtk_button_set_label(GTK_BUTTON(button), segments[i].image ? nullptr : segments[i].label.c_str());
            gtk_widget_set_sensitive(button, segments[i].enabled);
            gtk_widget_set_size_request(button, static_cast<int>(std::lround(segmented_.widthOfSegment(static_cast<int>(i)))), -1);
            gtk_widget_set_tooltip_text(button, segments[i].toolTip.empty() ? nullptr : segments[i].toolTip.c_str());
            if (segments[i].image) {
                GdkPixbuf* pixbuf = pixbufOf(*segments[i].image);
                GtkWidget* image = nullptr;
                if (pixbuf) {
                    // An image drawn for the window's scale shows at its size in points.
                    const double points = segments[i].imageSize ? segments[i].imageSize->width : segments[i].image->width;
                    const int scale = std::max(1, static_cast<int>(std::lround(segments[i].image->width / std::max(1.0, points))));
                    cairo_surface_t* surface = gdk_cairo_surface_create_from_pixbuf(pixbuf, scale, nullptr);
                    image = gtk_image_new_from_surface(surface);
                    cairo_surface_destroy(surface);
                    g_object_unref(pixbuf);
                }
                gtk_button_set_image(GTK_BUTTON(button), image);
                gtk_button_set_always_show_image(GTK_BUTTON(button), TRUE);
            }
            if (GTK_IS_TOGGLE_BUTTON(button)) {
                gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(button), segmented_.selectedSegment() == static_cast<int>(i));
            }
        }
        // The keyboard moved to another segment.
        if (hasKeyboard()) focus();
    }
    GtkWidget* focusTarget() override {
        const int index = segmented_.focusedSegment();
        return index >= 0 && index < static_cast<int>(buttons_.size()) ? buttons_[static_cast<size_t>(index)] : nullptr;
    }
    void focusMovedTo(GtkWidget* widget) override {
        for (size_t i = 0; i < buttons_.size(); ++i) {
            if (buttons_[i] == widget) segmented_.setFocusedSegment(static_cast<int>(i));
        }
    }
    std::string style() const override {
        std::string css = "button { " + cssFont(segmented_.font()) + " padding: 0 4px; }\n";
        if (const auto& look = segmented_.look()) {
            // The selected segment stands out by its own fill in either theme.
            css += "button { background-image: none; box-shadow: none; text-shadow: none; -gtk-icon-shadow: none;"
                   " background-color: " + cssColour(look->fill) + "; color: " + cssColour(look->text) +
                   "; border-color: " + cssColour(look->border) + "; }\n";
            css += "button:hover { background-color: " + cssColour(look->fill) + "; }\n";
            css += "button:checked, button:checked:hover { background-color: " + cssColour(look->selectedFill) +
                   "; color: " + cssColour(look->selectedText) + "; }\n";
            // The ring stands out from the fill it is drawn on, the selected one's too.
            css += "button:focus { outline-color: " + cssColour(drawing::focusRingOn(look->fill)) + "; }\n";
            css += "button:checked:focus { outline-color: " + cssColour(drawing::focusRingOn(look->selectedFill)) + "; }\n";
        }
        return css;
    }

private:
    void rebuild() {
        for (GtkWidget* button : buttons_) gtk_widget_destroy(button);
        buttons_.clear();
        const bool selecting = segmented_.tracking() == SegmentedControl::Tracking::selectOne;
        for (size_t i = 0; i < segmented_.segments().size(); ++i) {
            GtkWidget* button = selecting ? gtk_toggle_button_new() : gtk_button_new();
            g_object_set_data(G_OBJECT(button), "segment", GINT_TO_POINTER(static_cast<int>(i)));
            g_signal_connect(button, "clicked", G_CALLBACK(onClicked), this);
            gtk_widget_set_focus_on_click(button, FALSE);
            gtk_style_context_add_provider(gtk_widget_get_style_context(button), GTK_STYLE_PROVIDER(css_),
                                           GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
            gtk_box_pack_start(GTK_BOX(widget_), button, TRUE, TRUE, 0);
            gtk_widget_show(button);
            buttons_.push_back(button);
        }
    }
    static void onClicked(GtkWidget* button, SegmentedPeer* self) {
        if (self->syncing_) return;
        const int index = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "segment"));
        if (!self->segmented_.choose(index)) self->update();  // refused: show the state as it is
    }

    SegmentedControl& segmented_;
    std::vector<GtkWidget*> buttons_;
};

std::string escapedMarkup(const std::string& text) {
    gchar* escaped = g_markup_escape_text(text.c_str(), static_cast<gssize>(text.size()));
    std::string result(escaped);
    g_free(escaped);
    return result;
}

class LabelPeer : public WidgetPeer {
public:
    LabelPeer(Label& label, GtkWidget* fixed) : WidgetPeer(label, fixed, gtk_label_new(nullptr)), label_(label) {
        g_signal_connect(widget_, "activate-link", G_CALLBACK(onLink), this);
        g_signal_connect(widget_, "key-press-event", G_CALLBACK(onKey), this);
        gtk_label_set_xalign(GTK_LABEL(widget_), 0);
        gtk_label_set_yalign(GTK_LABEL(widget_), 0);
    }
    // The link, not the whole text (the toolkit selects all of a selectable label it focuses),
    // shows as chosen: it is what Space or Return opens.
    void focus() override {
        WidgetPeer::focus();
        if (!label_.isKeyboardOperable() || !gtk_widget_is_focus(widget_)) return;
        int start = 0;
        const RichText text = label_.shownText();
        for (const auto& run : text.runs()) {
            const int length = static_cast<int>(g_utf8_strlen(run.text.c_str(), static_cast<gssize>(run.text.size())));
            if (!run.attributes.link.empty()) {
                gtk_label_select_region(GTK_LABEL(widget_), start, start + length);
                return;
            }
            start += length;
        }
    }

protected:
    void sync() override {
        const RichText text = label_.shownText();
        const std::string whole = text.string();
        bool links = false;
        for (const auto& run : text.runs()) links = links || !run.attributes.link.empty();
        if (links) {
            // Links need markup; the styling still comes from the attributes.
            std::string markup;
            for (const auto& run : text.runs()) {
                if (run.attributes.link.empty()) markup += escapedMarkup(run.text);
                else markup += "<a href=\"" + escapedMarkup(run.attributes.link) + "\">" + escapedMarkup(run.text) + "</a>";
            }
            gtk_label_set_markup(GTK_LABEL(widget_), markup.c_str());
        } else {
            gtk_label_set_text(GTK_LABEL(widget_), whole.c_str());
        }
        gtk_label_set_attributes(GTK_LABEL(widget_), pango::attributes(text, 0, whole.size()).get());
        // A single line is drawn at the fractional glyph positions it was measured at: rounded,
        // each advance can gain up to half a pixel, and a line placed at exactly its measured
        // width ends in an ellipsis. Wrapped text keeps the toolkit's rounding, which its
        // measured heights follow.
        pango_context_set_round_glyph_positions(gtk_widget_get_pango_context(widget_), label_.wraps());
        gtk_label_set_line_wrap(GTK_LABEL(widget_), label_.wraps());
        gtk_label_set_line_wrap_mode(GTK_LABEL(widget_), PANGO_WRAP_WORD_CHAR);
        gtk_label_set_lines(GTK_LABEL(widget_), label_.maximumLines() > 0 ? label_.maximumLines() : -1);
        gtk_label_set_ellipsize(GTK_LABEL(widget_), label_.truncation() == Truncation::tail     ? PANGO_ELLIPSIZE_END
                                                    : label_.truncation() == Truncation::middle ? PANGO_ELLIPSIZE_MIDDLE
                                                                                                : PANGO_ELLIPSIZE_NONE);
        gtk_label_set_selectable(GTK_LABEL(widget_), label_.isSelectable());
        // Without a window of its own (not selectable, no link) the label lets the pointer pass
        // to the drawing area under it, which shows the tip.
        takesPointer_ = links || label_.isSelectable();
        const TextAlignment alignment = text.empty() ? label_.alignment() : text.runs()[0].attributes.paragraph.alignment;
        gtk_label_set_xalign(GTK_LABEL(widget_), alignment == TextAlignment::left ? 0.0f : alignment == TextAlignment::center ? 0.5f : 1.0f);
        gtk_label_set_justify(GTK_LABEL(widget_), alignment == TextAlignment::left     ? GTK_JUSTIFY_LEFT
                                                  : alignment == TextAlignment::center ? GTK_JUSTIFY_CENTER
                                                                                       : GTK_JUSTIFY_RIGHT);
    }

    bool showsToolTip() const override { return takesPointer_; }

private:
    static gboolean onLink(GtkLabel*, const gchar* uri, LabelPeer* self) {
        if (self->label_.onLink && uri) self->label_.onLink(uri);
        return TRUE;
    }
    // Space or Return on a label that has the keyboard opens its link, as on the stand-in.
    static gboolean onKey(GtkWidget*, GdkEventKey* event, LabelPeer* self) {
        constexpr guint held = GDK_SHIFT_MASK | GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SUPER_MASK;
        const bool press = event->keyval == GDK_KEY_space || event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter;
        return press && !(event->state & held) && self->label_.isKeyboardOperable() && self->label_.openLink();
    }

    Label& label_;
    bool takesPointer_ = false;
};

class SpinnerPeer : public WidgetPeer {
public:
    SpinnerPeer(Spinner& spinner, GtkWidget* fixed) : WidgetPeer(spinner, fixed, gtk_spinner_new()), spinner_(spinner) {}

protected:
    void sync() override {
        if (spinner_.isAnimating()) gtk_spinner_start(GTK_SPINNER(widget_));
        else gtk_spinner_stop(GTK_SPINNER(widget_));
        gtk_widget_set_opacity(widget_, spinner_.isAnimating() || !spinner_.hidesWhenStopped() ? 1 : 0);
    }

private:
    Spinner& spinner_;
};

class TextViewPeer : public WidgetPeer {
public:
    TextViewPeer(RichTextView& view, GtkWidget* fixed)
        : WidgetPeer(view, fixed, gtk_scrolled_window_new(nullptr, nullptr)), view_(view), text_(gtk_text_view_new()) {
        gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(widget_), GTK_POLICY_NEVER, GTK_POLICY_ALWAYS);
        gtk_text_view_set_editable(GTK_TEXT_VIEW(text_), FALSE);
        gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(text_), FALSE);
        gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(text_), GTK_WRAP_WORD_CHAR);
        setInterfaceFontOptions(text_);
        gtk_style_context_add_provider(gtk_widget_get_style_context(text_), GTK_STYLE_PROVIDER(css_),
                                       GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
        gtk_container_add(GTK_CONTAINER(widget_), text_);
        gtk_widget_show(text_);
        g_signal_connect(text_, "key-press-event", G_CALLBACK(onKey), this);
        g_signal_connect(adjustment(), "value-changed", G_CALLBACK(onScrolled), this);
    }
    // Before the widgets go (the base destroys them): their last signals find no peer.
    ~TextViewPeer() override {
        g_signal_handlers_disconnect_by_data(text_, this);
        g_signal_handlers_disconnect_by_data(adjustment(), this);
    }

protected:
    GtkWidget* focusTarget() override { return text_; }
    void sync() override {
        // Inside onScrolled the view follows the toolkit, not the other way round.
        const bool following = syncing_;
        Quiet quiet(syncing_);
        // The view's own scrolling (a key without the toolkit's keyboard, the program); the
        // toolkit's text may be a little taller than the view measures it, so only a change is sent.
        if (view_.scrollOffset() != sentOffset_) {
            sentOffset_ = view_.scrollOffset();
            if (!following) gtk_adjustment_set_value(adjustment(), sentOffset_);
        }
        const gfx::Size inset = view_.textInset();
        const int horizontal = static_cast<int>(std::lround(inset.width)), vertical = static_cast<int>(std::lround(inset.height));
        gtk_text_view_set_left_margin(GTK_TEXT_VIEW(text_), horizontal);
        gtk_text_view_set_right_margin(GTK_TEXT_VIEW(text_), horizontal);
        gtk_text_view_set_top_margin(GTK_TEXT_VIEW(text_), vertical);
        gtk_text_view_set_bottom_margin(GTK_TEXT_VIEW(text_), vertical);
        if (!(shown_ == view_.text())) fill();
    }
    std::string style() const override {
        if (view_.drawsBackground()) return "textview text, scrolledwindow { background-color: " + cssColour(view_.backgroundColor()) + "; }\n";
        return "textview, textview text, scrolledwindow { background-color: transparent; }\n";
    }

private:
    GtkAdjustment* adjustment() const { return gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(widget_)); }
    // The keys scroll the toolkit's text as the view scrolls its own (a text view without a caret
    // leaves Space alone), as far as the toolkit's text goes.
    static gboolean onKey(GtkWidget*, GdkEventKey* event, TextViewPeer* self) {
        GtkAdjustment* vertical = self->adjustment();
        const double most = gtk_adjustment_get_upper(vertical) - gtk_adjustment_get_page_size(vertical);
        if (most <= 0) return FALSE;
        const std::optional<double> to = scrolledByKey(keyEventFrom(*event, false), gtk_adjustment_get_value(vertical),
                                                       ScrollView::pageStep(gtk_adjustment_get_page_size(vertical)), most);
        if (!to) return FALSE;
        gtk_adjustment_set_value(vertical, *to);
        return TRUE;
    }
    static void onScrolled(GtkAdjustment* adjustment, TextViewPeer* self) {
        if (self->syncing_) return;
        Quiet quiet(self->syncing_);
        self->view_.scrollTo(gtk_adjustment_get_value(adjustment));
        self->sentOffset_ = self->view_.scrollOffset();
    }
    // One tag per run: the same attributes the measure uses, paragraph styles included.
    void fill() {
        shown_ = view_.text();
        GtkTextBuffer* buffer = gtk_text_buffer_new(nullptr);
        GtkTextIter end;
        for (const RichText::Run& run : shown_.runs()) {
            const TextAttributes& a = run.attributes;
            GdkRGBA colour{a.color.red, a.color.green, a.color.blue, a.color.alpha};
            GtkTextTag* tag = gtk_text_buffer_create_tag(buffer, nullptr, "font-desc", pango::fontDescription(a.font).get(),
                                                         "foreground-rgba", &colour, "letter-spacing",
                                                         static_cast<int>(std::lround(a.kern * PANGO_SCALE)), "underline",
                                                         a.underline ? PANGO_UNDERLINE_SINGLE : PANGO_UNDERLINE_NONE,
                                                         "pixels-above-lines", static_cast<int>(std::lround(a.paragraph.spacingBefore)),
                                                         "pixels-below-lines", static_cast<int>(std::lround(a.paragraph.spacingAfter)),
                                                         "pixels-inside-wrap", static_cast<int>(std::lround(a.paragraph.lineSpacing)),
                                                         "indent", -static_cast<int>(std::lround(a.paragraph.headIndent)), nullptr);
            if (!a.paragraph.tabStops.empty()) {
                PangoTabArray* tabs = pango_tab_array_new(static_cast<int>(a.paragraph.tabStops.size()), FALSE);
                for (size_t i = 0; i < a.paragraph.tabStops.size(); ++i)
                    pango_tab_array_set_tab(tabs, static_cast<int>(i), PANGO_TAB_LEFT, static_cast<int>(std::lround(a.paragraph.tabStops[i] * PANGO_SCALE)));
                g_object_set(tag, "tabs", tabs, nullptr);
                pango_tab_array_free(tabs);
            }
            gtk_text_buffer_get_end_iter(buffer, &end);
            gtk_text_buffer_insert_with_tags(buffer, &end, run.text.c_str(), static_cast<gint>(run.text.size()), tag, nullptr);
        }
        gtk_text_view_set_buffer(GTK_TEXT_VIEW(text_), buffer);
        g_object_unref(buffer);
    }

    RichTextView& view_;
    GtkWidget* text_;
    RichText shown_;
    double sentOffset_ = 0;
};

std::unique_ptr<WidgetPeer> makePeer(Control& control, GtkWidget* fixed) {
    if (auto* popUp = dynamic_cast<PopUpButton*>(&control)) return std::make_unique<PopUpPeer>(*popUp, fixed);
    if (auto* button = dynamic_cast<Button*>(&control)) return std::make_unique<ButtonPeer>(*button, fixed);
    if (auto* segmented = dynamic_cast<SegmentedControl*>(&control)) return std::make_unique<SegmentedPeer>(*segmented, fixed);
    if (auto* label = dynamic_cast<Label*>(&control)) return std::make_unique<LabelPeer>(*label, fixed);
    if (auto* spinner = dynamic_cast<Spinner*>(&control)) return std::make_unique<SpinnerPeer>(*spinner, fixed);
    if (auto* text = dynamic_cast<RichTextView*>(&control)) return std::make_unique<TextViewPeer>(*text, fixed);
    if (auto* table = dynamic_cast<TableView*>(&control)) return std::make_unique<TableViewPeer>(*table, fixed);
    if (auto* field = dynamic_cast<TextField*>(&control)) return std::make_unique<TextFieldPeer>(*field, fixed);
    if (auto* web = dynamic_cast<WebView*>(&control)) return makeWebViewPeer(*web, fixed);
    return nullptr;
}

}  // namespace

ControlHost::ControlHost(Window& window, GtkWidget* fixed) : window_(window), fixed_(fixed) {
    // The controls' keyboard focus shows as a clear ring (the theme's own is a faint dotted line);
    // the toolkit draws it only once the keyboard is in use in the window.
    static GtkCssProvider* ring = [] {
        GtkCssProvider* provider = gtk_css_provider_new();
        const std::string css = ".platform-controls *:focus { outline: 2px solid " + cssColour(drawing::focusRing) +
                                "; outline-offset: -2px; -gtk-outline-radius: 4px; }\n";
        gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
        if (GdkScreen* screen = gdk_screen_get_default())
            gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(provider), GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        return provider;
    }();
    (void)ring;
    gtk_style_context_add_class(gtk_widget_get_style_context(fixed_), "platform-controls");
}

ControlHost::~ControlHost() {
    if (idle_) g_source_remove(idle_);
    for (auto& [view, clip] : clips_) g_object_unref(clip.layout);
}

GtkWidget* ControlHost::clipFor(const View& scrollView, GtkWidget* container) {
    auto found = clips_.find(&scrollView);
    if (found == clips_.end()) {
        Clip clip;
        // A layout asks for no more room than it is given, whatever its children need, and its
        // windows cut them at its edges; the pointer passes through where no control is.
        clip.layout = gtk_layout_new(nullptr, nullptr);
        g_object_ref_sink(clip.layout);
        g_signal_connect_after(clip.layout, "realize", G_CALLBACK(+[](GtkWidget* layout, gpointer) {
                                   gdk_window_set_pass_through(gtk_widget_get_window(layout), TRUE);
                                   gdk_window_set_pass_through(gtk_layout_get_bin_window(GTK_LAYOUT(layout)), TRUE);
                               }), nullptr);
        putWidget(container, clip.layout, 0, 0);
        found = clips_.emplace(&scrollView, clip).first;
    }
    Clip& clip = found->second;
    if (gtk_widget_get_parent(clip.layout) != container) {
        gtk_container_remove(GTK_CONTAINER(gtk_widget_get_parent(clip.layout)), clip.layout);
        putWidget(container, clip.layout, 0, 0);
        clip.x = clip.y = -1;
    }
    clip.used = true;
    return clip.layout;
}

void ControlHost::placeAll(View& view, bool visible, double windowHeight, GtkWidget* container, gfx::Point origin) {
    visible = visible && !view.isHidden();
    // Window points from the top-left, less the container's own place.
    auto placed = [&](const View& shown) {
        const gfx::Rect frame = shown.convertToWindow(shown.bounds());
        return gfx::Rect{frame.x - origin.x, windowHeight - frame.maxY() - origin.y, frame.width, frame.height};
    };
    if (auto* control = dynamic_cast<Control*>(&view)) {
        if (!control->peer() && visible) {
            if (auto peer = makePeer(*control, container)) control->setPeer(std::move(peer));
        }
        if (auto* peer = dynamic_cast<WidgetPeer*>(control->peer())) {
            peer->setContainer(container);
            peer->place(placed(*control), visible);
        }
    }
    if (dynamic_cast<ScrollView*>(&view)) {
        GtkWidget* layout = clipFor(view, container);
        Clip& clip = clips_[&view];
        const gfx::Rect at = placed(view);
        const int x = static_cast<int>(std::lround(at.x)), y = static_cast<int>(std::lround(at.y));
        const int w = std::max(1, static_cast<int>(std::lround(at.width))), h = std::max(1, static_cast<int>(std::lround(at.height)));
        if (x != clip.x || y != clip.y) moveWidget(container, layout, x, y);
        if (w != clip.width || h != clip.height) gtk_widget_set_size_request(layout, w, h);
        clip.x = x, clip.y = y, clip.width = w, clip.height = h;
        gtk_widget_set_visible(layout, visible);
        container = layout;
        origin = {origin.x + x, origin.y + y};
    }
    for (View* sub : view.subviews()) placeAll(*sub, visible, windowHeight, container, origin);
}

void ControlHost::schedulePlacement() {
    if (!idle_) idle_ = g_idle_add_full(G_PRIORITY_HIGH_IDLE, onIdle, this, nullptr);
}

gboolean ControlHost::onIdle(gpointer data) {
    auto* self = static_cast<ControlHost*>(data);
    self->idle_ = 0;
    self->place();
    return G_SOURCE_REMOVE;
}

void ControlHost::place() {
    for (auto& [view, clip] : clips_) clip.used = false;
    if (View* content = window_.contentView()) placeAll(*content, true, window_.size().height, fixed_, {0, 0});
    // The containers of scroll views that left the window; a widget still in one goes back to
    // the window's own container (the next placement puts it where it belongs).
    for (auto it = clips_.begin(); it != clips_.end();) {
        if (it->second.used) {
            ++it;
            continue;
        }
        GtkWidget* layout = it->second.layout;
        GList* children = gtk_container_get_children(GTK_CONTAINER(layout));
        for (GList* child = children; child; child = child->next) {
            if (WidgetPeer* peer = WidgetPeer::of(GTK_WIDGET(child->data))) peer->setContainer(fixed_);
            else gtk_container_remove(GTK_CONTAINER(layout), GTK_WIDGET(child->data));
        }
        g_list_free(children);
        gtk_widget_destroy(layout);
        g_object_unref(layout);
        it = clips_.erase(it);
    }
}

}  // namespace platform::ui::gtk
