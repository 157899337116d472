#include "platform/ui/gtk/PasteboardData.h"

#include <gtk/gtk.h>

#include <cstring>

namespace platform::ui::gtk {

void addSelectionData(GtkSelectionData* data, Pasteboard::Items& items, std::optional<std::string>& text) {
    if (!data || gtk_selection_data_get_length(data) < 0) return;
    gchar* target = gdk_atom_name(gtk_selection_data_get_target(data));
    const std::string name = target ? target : "";
    g_free(target);
    if (name == "text/uri-list") {
        if (gchar** uris = gtk_selection_data_get_uris(data)) {
            for (gchar** uri = uris; *uri; ++uri) items.uris.emplace_back(*uri);
            g_strfreev(uris);
        }
        return;
    }
    if (name == "image/png" || name == "image/tiff") {
        const auto length = static_cast<size_t>(gtk_selection_data_get_length(data));
        if (length == 0 || length > Pasteboard::itemBytesLimit) return;
        const guchar* bytes = gtk_selection_data_get_data(data);
        (name == "image/png" ? items.png : items.tiff) = std::vector<uint8_t>(bytes, bytes + length);
        return;
    }
    if (guchar* utf8 = gtk_selection_data_get_text(data)) {
        text = reinterpret_cast<const char*>(utf8);
        g_free(utf8);
    }
}

void takeDragData(Pasteboard& board, GtkSelectionData* data) {
    Pasteboard::Items items = board.items();
    std::optional<std::string> text;
    addSelectionData(data, items, text);
    board.itemsDidChange(std::move(items));
    if (text) board.contentDidChange(std::move(text));
}

}  // namespace platform::ui::gtk
