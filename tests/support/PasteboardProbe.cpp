// pasteboard-probe: on a real display, puts a URI list, a PNG, a TIFF and a text on the clipboard
// as a window of this process would, and then from a second process (itself, run as
// `pasteboard-probe --own`) with a text of a few megabytes, then checks that the general pasteboard reads none of it
// when the owner changes, reads the URIs and one image when asked, and the texts (the other
// process's in the pieces it hands over, a Latin-1 one made UTF-8); that its own copy stays its
// own; and that a drag's selection data reaches a pasteboard of its own. Exit status 0 when all hold.

#include <gtk/gtk.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/MainLoop.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/gtk/PasteboardData.h"
#include "platform/ui/gtk/Toolkit.h"

namespace {

using namespace std::chrono_literals;
using platform::ui::Pasteboard;

const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 1, 2, 3};
const std::vector<uint8_t> tiff = {'I', 'I', '*', 0, 4, 5};
// More than the toolkit sends in one part: it arrives in several.
std::string bigText() {
    std::string text;
    for (int n = 0; text.size() < (size_t{3} << 20); ++n) text += "line " + std::to_string(n) + " caf\xc3\xa9\n";
    return text;
}
const std::string text = bigText();
bool secondProcess = false;
int served[4] = {};
const GtkTargetEntry targets[] = {{const_cast<gchar*>("text/uri-list"), 0, 0},
                                  {const_cast<gchar*>("image/png"), 0, 1},
                                  {const_cast<gchar*>("image/tiff"), 0, 2},
                                  {const_cast<gchar*>("UTF8_STRING"), 0, 3}};

void provide(GtkClipboard*, GtkSelectionData* data, guint info, gpointer) {
    ++served[info];
    if (info == 0) {
        const gchar* uris[] = {"file:///tmp/a.txt", "file:///tmp/my%20file.txt", nullptr};
        gtk_selection_data_set_uris(data, const_cast<gchar**>(uris));
    } else if (info == 3) {
        const std::string& shown = secondProcess ? text : std::string("in-process");
        gtk_selection_data_set(data, gtk_selection_data_get_target(data), 8,
                               reinterpret_cast<const guchar*>(shown.data()), static_cast<gint>(shown.size()));
    } else {
        const auto& bytes = info == 1 ? png : tiff;
        gtk_selection_data_set(data, gtk_selection_data_get_target(data), 8, bytes.data(),
                               static_cast<gint>(bytes.size()));
    }
}

// The second process: owns the clipboard, with the big text, until it is ended.
int ownInSecondProcess() {
    if (!gtk_init_check(nullptr, nullptr)) return 1;
    secondProcess = true;
    if (!gtk_clipboard_set_with_data(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), targets, 4, provide, nullptr, nullptr))
        return 1;
    gtk_main();
    return 0;
}

void provideLatin1(GtkClipboard*, GtkSelectionData* data, guint, gpointer) {
    gtk_selection_data_set(data, gtk_selection_data_get_target(data), 8, reinterpret_cast<const guchar*>("caf\xe9"), 4);
}

int fail(const char* what) {
    std::fprintf(stderr, "pasteboard-probe: %s\n", what);
    return 1;
}

bool wait(const std::function<bool()>& until) { return platform::runtime::MainLoop::main().runUntil(until, 10s); }
void settle() { platform::runtime::MainLoop::main().runUntil([] { return false; }, 300ms); }

// The URIs and the PNG (the TIFF beside it is not read); empty when they differ.
const char* itemsRead(Pasteboard& board) {
    std::optional<Pasteboard::Items> items;
    board.requestItems([&](Pasteboard::Items read) { items = std::move(read); });
    if (!wait([&] { return items.has_value(); })) return "the clipboard's items did not arrive";
    if (items->uris.size() != 2 || items->uris[1] != "file:///tmp/my%20file.txt" || items->png != png || items->tiff)
        return "the clipboard's items differ";
    return "";
}

// The text as the pasteboard hands it over, in its pieces.
struct TextRead {
    std::string text;
    int pieces = 0;
    std::optional<bool> whole;
};
TextRead textRead(Pasteboard& board) {
    TextRead read;
    board.requestText({[&](std::string piece) {
                           read.text += piece;
                           ++read.pieces;
                       },
                       [&](bool whole) { read.whole = whole; }});
    wait([&] { return read.whole.has_value(); });
    return read;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--own") return ownInSecondProcess();
    if (!platform::ui::gtk::Toolkit::start(&argc, &argv)) return fail("no display");
    auto& board = Pasteboard::general();
    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);

    // Our own copy is answered from memory and stays ours when the toolkit reports the change.
    board.setString("ours");
    settle();
    if (board.string() != "ours") return fail("our own copy was forgotten");

    // A window of this process copies: nothing is read until asked for, then what is asked.
    if (!gtk_clipboard_set_with_data(clipboard, targets, 4, provide, nullptr, nullptr)) return fail("no owner");
    if (!wait([&] { return !board.string(); })) return fail("another owner's copy did not replace ours");
    settle();
    if (served[0] + served[1] + served[2] + served[3] > 0 || board.items() != Pasteboard::Items{})
        return fail("the new owner's content was read before a paste asked for it");
    if (const char* failure = itemsRead(board); *failure) return fail(failure);
    if (served[2] != 0 || served[3] != 0) return fail("more was read than the items");
    if (const TextRead read = textRead(board); read.text != "in-process") return fail("the text of this process differs");

    // Another process copies, with a text larger than one part of a transfer.
    const int changes = board.changeCount();
    const pid_t other = ::fork();
    if (other == 0) {
        ::execl("/proc/self/exe", "pasteboard-probe", "--own", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const bool changed = wait([&] { return board.changeCount() != changes; });
    const char* itemFailure = changed ? itemsRead(board) : "";
    const TextRead read = changed ? textRead(board) : TextRead{};
    ::kill(other, SIGTERM);
    ::waitpid(other, nullptr, 0);
    if (!changed) return fail("the other process did not take the clipboard");
    if (*itemFailure) return fail(itemFailure);
    if (!read.whole || !*read.whole || read.text != text) return fail("the other process's text differs");
    if (read.pieces < 2) return fail("the other process's text came in one piece");

    const GtkTargetEntry latin1[] = {{const_cast<gchar*>("STRING"), 0, 0}};
    if (!gtk_clipboard_set_with_data(clipboard, latin1, 1, provideLatin1, nullptr, nullptr)) return fail("no owner");
    std::optional<std::optional<std::string>> string;
    board.requestString([&](std::optional<std::string> got) { string = std::move(got); });
    if (!wait([&] { return string.has_value(); })) return fail("the Latin-1 text did not arrive");
    if (*string != "caf\xc3\xa9") return fail("the Latin-1 text was not made UTF-8");

    Pasteboard drag;
    for (const char* target : {"text/uri-list", "image/png"}) {
        if (!gtk_clipboard_set_with_data(clipboard, targets, 4, provide, nullptr, nullptr)) return fail("no owner");
        GtkSelectionData* data = gtk_clipboard_wait_for_contents(clipboard, gdk_atom_intern_static_string(target));
        if (!data) return fail("no selection data");
        platform::ui::gtk::takeDragData(drag, data);
        gtk_selection_data_free(data);
    }
    if (drag.items().uris.size() != 2 || !drag.items().png || drag.items().tiff) return fail("the drag's items differ");
    std::puts("pasteboard-probe: ok");
    return 0;
}
