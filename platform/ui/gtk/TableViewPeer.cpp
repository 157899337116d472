#include "platform/ui/gtk/TableViewPeer.h"

#include <cmath>

#include "platform/ui/PangoText.h"

namespace platform::ui::gtk {

TableViewPeer::TableViewPeer(TableView& table, GtkWidget* fixed)
    : WidgetPeer(table, fixed, gtk_scrolled_window_new(nullptr, nullptr)), table_(table), list_(gtk_list_box_new()) {
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(widget_), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_list_box_set_selection_mode(GTK_LIST_BOX(list_), GTK_SELECTION_SINGLE);
    // A single click selects; activating takes a double click.
    gtk_list_box_set_activate_on_single_click(GTK_LIST_BOX(list_), FALSE);
    gtk_style_context_add_provider(gtk_widget_get_style_context(list_), GTK_STYLE_PROVIDER(css_),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
    gtk_container_add(GTK_CONTAINER(widget_), list_);
    gtk_widget_show(list_);
    g_signal_connect(list_, "row-selected", G_CALLBACK(onRowSelected), this);
    g_signal_connect(list_, "row-activated", G_CALLBACK(onRowActivated), this);
    GtkAdjustment* vertical = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(widget_));
    g_signal_connect(vertical, "value-changed", G_CALLBACK(onScrolled), this);
}

void TableViewPeer::fill() {
    shown_ = table_.rows();
    shownRowHeight_ = table_.rowHeight();
    GList* children = gtk_container_get_children(GTK_CONTAINER(list_));
    for (GList* child = children; child; child = child->next) gtk_widget_destroy(GTK_WIDGET(child->data));
    g_list_free(children);
    const int height = static_cast<int>(std::lround(table_.rowHeight()));
    for (const TableView::Row& row : shown_) {
        const std::string text = row.text.string();
        GtkWidget* label = gtk_label_new(text.c_str());
        setInterfaceFontOptions(label);
        gtk_label_set_attributes(GTK_LABEL(label), pango::attributes(row.text, 0, text.size()).get());
        gtk_label_set_xalign(GTK_LABEL(label), 0);
        gtk_label_set_yalign(GTK_LABEL(label), 0.5);
        gtk_label_set_lines(GTK_LABEL(label), row.maximumLines > 0 ? row.maximumLines : -1);
        gtk_label_set_line_wrap(GTK_LABEL(label), row.maximumLines != 1);
        gtk_label_set_ellipsize(GTK_LABEL(label), row.truncation == Truncation::middle ? PANGO_ELLIPSIZE_MIDDLE
                                                  : row.truncation == Truncation::tail ? PANGO_ELLIPSIZE_END
                                                                                       : PANGO_ELLIPSIZE_NONE);
        gtk_widget_set_margin_start(label, 6);
        gtk_widget_set_margin_end(label, 6);
        GtkWidget* item = gtk_list_box_row_new();
        // The table's rules reach the row itself (a provider styles only its own widget).
        gtk_style_context_add_provider(gtk_widget_get_style_context(item), GTK_STYLE_PROVIDER(css_),
                                       GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
        gtk_widget_set_size_request(item, -1, height);
        gtk_container_add(GTK_CONTAINER(item), label);
        gtk_widget_show_all(item);
        gtk_container_add(GTK_CONTAINER(list_), item);
    }
}

void TableViewPeer::sync() {
    Quiet quiet(syncing_);
    if (shown_ != table_.rows() || shownRowHeight_ != table_.rowHeight()) fill();
    GtkListBoxRow* selected = table_.selectedRow() >= 0 ? gtk_list_box_get_row_at_index(GTK_LIST_BOX(list_), table_.selectedRow()) : nullptr;
    if (gtk_list_box_get_selected_row(GTK_LIST_BOX(list_)) != selected) {
        if (selected) gtk_list_box_select_row(GTK_LIST_BOX(list_), selected);
        else gtk_list_box_unselect_all(GTK_LIST_BOX(list_));
    }
    GtkAdjustment* vertical = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(widget_));
    if (std::abs(gtk_adjustment_get_value(vertical) - table_.scrollOffset()) >= 1) gtk_adjustment_set_value(vertical, table_.scrollOffset());
}

GtkWidget* TableViewPeer::focusTarget() {
    GtkListBoxRow* selected = gtk_list_box_get_selected_row(GTK_LIST_BOX(list_));
    return selected ? GTK_WIDGET(selected) : list_;
}

std::string TableViewPeer::style() const {
    std::string css = table_.drawsBackground() ? "list, scrolledwindow { background-color: " + cssColour(table_.backgroundColor()) + "; }\n"
                                               : "list, scrolledwindow, row { background-color: transparent; }\n";
    // The table's own highlight, whose ground suits the rows' colours; without a ground of its own,
    // a quiet grey that leaves them readable in either theme.
    if (table_.selectionColor())
        css += "row:selected, row:selected:focus { background-color: " + cssColour(*table_.selectionColor()) + "; }\n";
    else if (!table_.drawsBackground())
        css += "row:selected, row:selected:focus { background-color: rgba(128, 128, 128, 0.22); }\n";
    return css;
}

void TableViewPeer::onRowSelected(GtkListBox*, GtkListBoxRow* row, TableViewPeer* self) {
    if (self->syncing_ || !row) return;
    const int index = gtk_list_box_row_get_index(row);
    if (index != self->table_.selectedRow()) self->table_.clickRow(index, 1);
}

void TableViewPeer::onRowActivated(GtkListBox*, GtkListBoxRow* row, TableViewPeer* self) {
    if (self->syncing_ || !row) return;
    // The control may go in its action: nothing of this peer is used afterwards.
    self->table_.activateRow(gtk_list_box_row_get_index(row));
}

void TableViewPeer::onScrolled(GtkAdjustment* adjustment, TableViewPeer* self) {
    if (self->syncing_) return;
    Quiet quiet(self->syncing_);
    self->table_.scrollTo(gtk_adjustment_get_value(adjustment));
}

}  // namespace platform::ui::gtk
