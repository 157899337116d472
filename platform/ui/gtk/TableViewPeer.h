#pragma once

#include <vector>

#include "platform/ui/TableView.h"
#include "platform/ui/gtk/WidgetPeer.h"

namespace platform::ui::gtk {

// A TableView as a GtkListBox in a GtkScrolledWindow: one label per row at the row height, one
// selected row, a double click (or Enter on a row the list has the keyboard in) activating it.
class TableViewPeer : public WidgetPeer {
public:
    TableViewPeer(TableView& table, GtkWidget* fixed);

protected:
    void sync() override;
    std::string style() const override;
    // The selected row, or the list when none is.
    GtkWidget* focusTarget() override;

private:
    void fill();
    static void onRowSelected(GtkListBox* list, GtkListBoxRow* row, TableViewPeer* self);
    static void onRowActivated(GtkListBox* list, GtkListBoxRow* row, TableViewPeer* self);
    static void onScrolled(GtkAdjustment* adjustment, TableViewPeer* self);

    TableView& table_;
    GtkWidget* list_;
    std::vector<TableView::Row> shown_;
    double shownRowHeight_ = 0;
};

}  // namespace platform::ui::gtk
