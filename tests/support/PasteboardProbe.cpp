// pasteboard-probe: on a real display, puts a URI list, a PNG and a TIFF on the
// clipboard as another program would, then checks that the general pasteboard
// keeps them beside the text once the owner changes, and that a drag's
// selection data reaches a pasteboard of its own. Exit status 0 when all hold.

#include <gtk/gtk.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/runtime/MainLoop.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/gtk/PasteboardData.h"
#include "platform/ui/gtk/Toolkit.h"

namespace {

const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 1, 2, 3};
const std::vector<uint8_t> tiff = {'I', 'I', '*', 0, 4, 5};

void provide(GtkClipboard*, GtkSelectionData* data, guint info, gpointer) {
    if (info == 0) {
        const gchar* uris[] = {"file:///tmp/a.txt", "file:///tmp/my%20file.txt", nullptr};
        gtk_selection_data_set_uris(data, const_cast<gchar**>(uris));
    } else {
        const auto& bytes = info == 1 ? png : tiff;
        gtk_selection_data_set(data, gtk_selection_data_get_target(data), 8, bytes.data(),
                               static_cast<gint>(bytes.size()));
    }
}

int fail(const char* what) {
    std::fprintf(stderr, "pasteboard-probe: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (!platform::ui::gtk::Toolkit::start(&argc, &argv)) return fail("no display");
    auto& board = platform::ui::Pasteboard::general();
    const GtkTargetEntry targets[] = {{const_cast<gchar*>("text/uri-list"), 0, 0},
                                      {const_cast<gchar*>("image/png"), 0, 1},
                                      {const_cast<gchar*>("image/tiff"), 0, 2}};
    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    if (!gtk_clipboard_set_with_data(clipboard, targets, 3, provide, nullptr, nullptr)) return fail("no owner");
    const bool read = platform::runtime::MainLoop::main().runUntil(
        [&] { return board.items().uris.size() == 2 && board.items().png && board.items().tiff; },
        std::chrono::seconds(10));
    if (!read) return fail("the clipboard's items did not arrive");
    if (board.items().uris[1] != "file:///tmp/my%20file.txt" || *board.items().png != png ||
        *board.items().tiff != tiff)
        return fail("the clipboard's items differ");

    platform::ui::Pasteboard drag;
    for (const char* target : {"text/uri-list", "image/png"}) {
        GtkSelectionData* data = gtk_clipboard_wait_for_contents(clipboard, gdk_atom_intern_static_string(target));
        if (!data) return fail("no selection data");
        platform::ui::gtk::takeDragData(drag, data);
        gtk_selection_data_free(data);
    }
    if (drag.items().uris.size() != 2 || !drag.items().png || drag.items().tiff) return fail("the drag's items differ");
    std::puts("pasteboard-probe: ok");
    return 0;
}
