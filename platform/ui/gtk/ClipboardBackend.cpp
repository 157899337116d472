#include "platform/ui/gtk/ClipboardBackend.h"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/runtime/MainLoop.h"

namespace platform::ui::gtk {

namespace {

GdkAtom atom(const char* name) { return gdk_atom_intern_static_string(name); }

bool onX11() {
#ifdef GDK_WINDOWING_X11
    GdkDisplay* display = gdk_display_get_default();
    return display && GDK_IS_X11_DISPLAY(display);
#else
    return false;
#endif
}

GtkClipboard* clipboard() { return gtk_clipboard_get(GDK_SELECTION_CLIPBOARD); }

// Another program's window is known here only as a foreign one.
bool ownedHere() {
    GdkWindow* owner = gdk_selection_owner_get(GDK_SELECTION_CLIPBOARD);
    return owner && gdk_window_get_window_type(owner) != GDK_WINDOW_FOREIGN;
}

// One read on X11: a hidden window of its own is the requestor, so the owner's parts come to it
// alone. Deleting the property after each part asks the owner for the next.
class Transfer {
public:
    Transfer(GdkAtom target, size_t limit, SelectionReader::Handler handler)
        : limit_(limit), handler_(std::move(handler)), window_(gtk_invisible_new()), lastHeard_(g_get_monotonic_time()) {
        gtk_widget_add_events(window_, GDK_PROPERTY_CHANGE_MASK);
        gtk_widget_realize(window_);
        g_signal_connect(window_, "selection-notify-event", G_CALLBACK(onSelectionNotify), this);
        g_signal_connect(window_, "property-notify-event", G_CALLBACK(onPropertyNotify), this);
        watchdog_ = g_timeout_add_seconds(1, onWatchdog, this);
        gdk_selection_convert(gtk_widget_get_window(window_), GDK_SELECTION_CLIPBOARD, target, GDK_CURRENT_TIME);
    }

private:
    static gboolean onSelectionNotify(GtkWidget*, GdkEventSelection* event, Transfer* self) {
        self->lastHeard_ = g_get_monotonic_time();
        if (event->property == GDK_NONE) {
            self->finish(SelectionReader::Outcome::refused);
            return TRUE;
        }
        self->property_ = event->property;
        self->take(true);
        return TRUE;
    }
    static gboolean onPropertyNotify(GtkWidget*, GdkEventProperty* event, Transfer* self) {
        if (!self->incremental_ || event->atom != self->property_ || event->state != GDK_PROPERTY_NEW_VALUE) return FALSE;
        self->lastHeard_ = g_get_monotonic_time();
        self->take(false);
        return TRUE;
    }
    static gboolean onWatchdog(gpointer data) {
        auto* self = static_cast<Transfer*>(data);
        if (g_get_monotonic_time() - self->lastHeard_ < gint64{SelectionReader::idleLimitSeconds} * G_USEC_PER_SEC) {
            return G_SOURCE_CONTINUE;
        }
        self->watchdog_ = 0;
        self->finish(SelectionReader::Outcome::cutShort);
        return G_SOURCE_REMOVE;
    }

    // The property as it stands: the first answer (the whole content, or the start of an
    // incremental transfer) or the next part of one; an empty part ends the transfer.
    void take(bool first) {
        GdkWindow* window = gtk_widget_get_window(window_);
        guchar* data = nullptr;
        GdkAtom type = GDK_NONE;
        gint format = 0;
        const gint length = gdk_selection_property_get(window, &data, &type, &format);
        std::unique_ptr<guchar, decltype(&g_free)> owned(data, g_free);
        if (first && data && type == atom("INCR")) {
            incremental_ = true;
            return askForNext();
        }
        const auto size = static_cast<size_t>(std::max(length, 0));
        if (!data || length < 0 || size > limit_ - std::min(received_, limit_)) {
            gdk_property_delete(window, property_);
            return finish(SelectionReader::Outcome::cutShort);
        }
        received_ += size;
        const bool last = !incremental_ || size == 0;
        if (last) gdk_property_delete(window, property_);
        if (size > 0) handler_.piece(std::string(reinterpret_cast<const char*>(data), size));
        if (last) return finish(SelectionReader::Outcome::whole);
        askForNext();
    }

    // The owner sends the next part once the property is deleted: not before the loop has had a
    // turn for its other work, or an owner that answers at once would keep it to this transfer.
    void askForNext() {
        std::weak_ptr<int> alive = alive_;
        platform::runtime::MainLoop::main().post([this, alive] {
            if (!alive.expired()) gdk_property_delete(gtk_widget_get_window(window_), property_);
        });
    }

    void finish(SelectionReader::Outcome outcome) {
        if (watchdog_) g_source_remove(watchdog_);
        g_signal_handlers_disconnect_by_data(window_, this);
        gtk_widget_destroy(window_);
        auto end = std::move(handler_.end);
        delete this;
        end(outcome);
    }

    size_t limit_;
    SelectionReader::Handler handler_;
    GtkWidget* window_;
    gint64 lastHeard_;
    guint watchdog_ = 0;
    GdkAtom property_ = GDK_NONE;
    bool incremental_ = false;
    size_t received_ = 0;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// Elsewhere (and within the process) the toolkit reads the content whole.
struct WholeRead {
    size_t limit;
    SelectionReader::Handler handler;
};

void readWhole(GdkAtom target, size_t limit, SelectionReader::Handler handler) {
    gtk_clipboard_request_contents(
        clipboard(), target,
        [](GtkClipboard*, GtkSelectionData* data, gpointer user) {
            std::unique_ptr<WholeRead> read(static_cast<WholeRead*>(user));
            const gint length = data ? gtk_selection_data_get_length(data) : -1;
            if (length < 0) return read->handler.end(SelectionReader::Outcome::refused);
            const auto size = static_cast<size_t>(length);
            if (size > read->limit) return read->handler.end(SelectionReader::Outcome::cutShort);
            if (size > 0) read->handler.piece(std::string(reinterpret_cast<const char*>(gtk_selection_data_get_data(data)), size));
            read->handler.end(SelectionReader::Outcome::whole);
        },
        new WholeRead{limit, std::move(handler)});
}

// The clipboard's targets, then `next` with them (none when nobody owns it).
void withTargets(std::function<void(std::vector<GdkAtom>)> next) {
    using Next = std::function<void(std::vector<GdkAtom>)>;
    gtk_clipboard_request_targets(
        clipboard(),
        [](GtkClipboard*, GdkAtom* atoms, gint count, gpointer user) {
            std::unique_ptr<Next> next(static_cast<Next*>(user));
            (*next)(atoms ? std::vector<GdkAtom>(atoms, atoms + count) : std::vector<GdkAtom>{});
        },
        new Next(std::move(next)));
}

bool offers(const std::vector<GdkAtom>& targets, const char* name) {
    return std::find(targets.begin(), targets.end(), atom(name)) != targets.end();
}

std::string latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const unsigned char c : bytes) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// An owner that offers none of the plain text targets: the toolkit converts what it has, whole.
void readTextWhole(Pasteboard::TextReader reader) {
    gtk_clipboard_request_text(
        clipboard(),
        [](GtkClipboard*, const gchar* text, gpointer user) {
            std::unique_ptr<Pasteboard::TextReader> reader(static_cast<Pasteboard::TextReader*>(user));
            if (text && *text) reader->piece(text);
            reader->end(true);
        },
        new Pasteboard::TextReader(std::move(reader)));
}

void readText(const std::vector<GdkAtom>& targets, Pasteboard::TextReader reader) {
    const char* chosen = nullptr;
    for (const char* name : {"UTF8_STRING", "text/plain;charset=utf-8", "STRING"}) {
        if (offers(targets, name)) {
            chosen = name;
            break;
        }
    }
    if (!chosen) return readTextWhole(std::move(reader));
    const bool latin1 = std::string_view(chosen) == "STRING";
    auto shared = std::make_shared<Pasteboard::TextReader>(std::move(reader));
    SelectionReader::read(atom(chosen), Pasteboard::textBytesLimit,
                          {[shared, latin1](std::string piece) {
                               shared->piece(latin1 ? latin1ToUtf8(piece) : std::move(piece));
                           },
                           [shared](SelectionReader::Outcome outcome) {
                               // The owner changed between its targets and the read.
                               if (outcome == SelectionReader::Outcome::refused) return readTextWhole(std::move(*shared));
                               shared->end(outcome == SelectionReader::Outcome::whole);
                           }});
}

// The URI list, then one image (PNG before TIFF), each read up to the pasteboard's limit; what is
// refused, broken off or too large is left out.
void readItems(std::vector<const char*> wanted, size_t next, Pasteboard::Items items,
               std::function<void(Pasteboard::Items)> done) {
    if (next == wanted.size()) return done(std::move(items));
    auto bytes = std::make_shared<std::string>();
    SelectionReader::read(
        atom(wanted[next]), Pasteboard::itemBytesLimit,
        {[bytes](std::string piece) { bytes->append(piece); },
         [bytes, wanted, next, items = std::move(items), done = std::move(done)](SelectionReader::Outcome outcome) mutable {
             const std::string_view name = wanted[next];
             if (outcome == SelectionReader::Outcome::whole && name == "text/uri-list") {
                 if (gchar** uris = g_uri_list_extract_uris(bytes->c_str())) {
                     for (gchar** uri = uris; *uri; ++uri) items.uris.emplace_back(*uri);
                     g_strfreev(uris);
                 }
             } else if (outcome == SelectionReader::Outcome::whole && !bytes->empty()) {
                 (name == "image/png" ? items.png : items.tiff) = std::vector<uint8_t>(bytes->begin(), bytes->end());
             }
             readItems(std::move(wanted), next + 1, std::move(items), std::move(done));
         }});
}

// This program's own text is served from `held_` while it owns the clipboard; the toolkit tells
// of another owner by calling `clear` (it was ours) or by the owner-change signal.
class ClipboardBackend : public Pasteboard::Backend {
public:
    explicit ClipboardBackend(Pasteboard& board)
        : board_(board), clipboard_(clipboard()), owner_(G_OBJECT(g_object_new(G_TYPE_OBJECT, nullptr))) {
        g_object_set_data(owner_, "backend", this);
        g_signal_connect(clipboard_, "owner-change", G_CALLBACK(onOwnerChange), this);
    }
    ~ClipboardBackend() override {
        g_signal_handlers_disconnect_by_data(clipboard_, this);
        writing_ = true;
        if (gtk_clipboard_get_owner(clipboard_) == owner_) gtk_clipboard_clear(clipboard_);
        g_object_unref(owner_);
    }

    void write(const std::optional<std::string>& text) override {
        writing_ = true;
        if (!text) {
            gtk_clipboard_clear(clipboard_);
            held_.clear();
        } else {
            held_ = *text;
            GtkTargetList* list = gtk_target_list_new(nullptr, 0);
            gtk_target_list_add_text_targets(list, 0);
            gint count = 0;
            GtkTargetEntry* table = gtk_target_table_new_from_list(list, &count);
            if (gtk_clipboard_set_with_owner(clipboard_, table, static_cast<guint>(count), provide, clear, owner_)) {
                gtk_clipboard_set_can_store(clipboard_, nullptr, 0);
            }
            gtk_target_table_free(table, count);
            gtk_target_list_unref(list);
        }
        writing_ = false;
    }
    void readItems(std::function<void(Pasteboard::Items)> done) override {
        withTargets([done = std::move(done)](std::vector<GdkAtom> targets) mutable {
            std::vector<const char*> wanted;
            if (offers(targets, "text/uri-list")) wanted.push_back("text/uri-list");
            if (offers(targets, "image/png")) {
                wanted.push_back("image/png");
            } else if (offers(targets, "image/tiff")) {
                wanted.push_back("image/tiff");
            }
            gtk::readItems(std::move(wanted), 0, {}, std::move(done));
        });
    }
    void readText(Pasteboard::TextReader reader) override {
        withTargets([reader = std::move(reader)](std::vector<GdkAtom> targets) mutable {
            gtk::readText(targets, std::move(reader));
        });
    }

private:
    static ClipboardBackend* of(gpointer owner) {
        return static_cast<ClipboardBackend*>(g_object_get_data(G_OBJECT(owner), "backend"));
    }
    static void provide(GtkClipboard*, GtkSelectionData* data, guint, gpointer owner) {
        const std::string& text = of(owner)->held_;
        gtk_selection_data_set_text(data, text.data(), static_cast<gint>(text.size()));
    }
    static void clear(GtkClipboard*, gpointer owner) {
        ClipboardBackend* self = of(owner);
        if (self->writing_) return;
        self->held_ = std::string();
        self->board_.ownerDidChange();
    }
    static void onOwnerChange(GtkClipboard* clipboard, GdkEvent*, ClipboardBackend* self) {
        if (gtk_clipboard_get_owner(clipboard) != self->owner_) self->board_.ownerDidChange();
    }

    Pasteboard& board_;
    GtkClipboard* clipboard_;
    GObject* owner_;
    std::string held_;
    bool writing_ = false;
};

}  // namespace

std::unique_ptr<Pasteboard::Backend> makeClipboardBackend(Pasteboard& board) {
    return std::make_unique<ClipboardBackend>(board);
}

void SelectionReader::read(GdkAtom target, size_t limit, Handler handler) {
    if (!handler.piece || !handler.end) return;
    // A window of this process (a text field's copy) hands its content over within the process.
    if (onX11() && !ownedHere()) {
        new Transfer(target, limit, std::move(handler));
    } else {
        readWhole(target, limit, std::move(handler));
    }
}

}  // namespace platform::ui::gtk
