#include "platform/ui/gtk/ClipboardBackend.h"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include <algorithm>
#include <cstring>
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

// Runs `expired` once, `ms` from now, unless `finish` comes first: a toolkit request has no
// limit of its own that a paste could wait on.
class Deadline {
public:
    static std::shared_ptr<Deadline> start(guint ms, std::function<void()> expired) {
        auto deadline = std::shared_ptr<Deadline>(new Deadline(std::move(expired)));
        deadline->timer_ = g_timeout_add_full(
            G_PRIORITY_DEFAULT, ms,
            [](gpointer data) {
                const auto self = *static_cast<std::shared_ptr<Deadline>*>(data);
                self->timer_ = 0;
                if (!std::exchange(self->over_, true)) self->expired_();
                return G_SOURCE_REMOVE;
            },
            new std::shared_ptr<Deadline>(deadline), [](gpointer data) { delete static_cast<std::shared_ptr<Deadline>*>(data); });
        return deadline;
    }
    // True for the answer that came in time; false once the limit passed (the answer is let go).
    bool finish() {
        if (std::exchange(over_, true)) return false;
        if (const guint timer = std::exchange(timer_, 0)) g_source_remove(timer);
        return true;
    }

private:
    explicit Deadline(std::function<void()> expired) : expired_(std::move(expired)) {}
    std::function<void()> expired_;
    guint timer_ = 0;
    bool over_ = false;
};

using Outcome = SelectionReader::Outcome;

// The INCR property's value: a lower bound of the size (a CARD32, which the library hands over
// in a long).
std::optional<size_t> announcedSize(const guchar* data, gint length) {
    if (length >= static_cast<gint>(sizeof(long))) return static_cast<size_t>(*reinterpret_cast<const unsigned long*>(data) & 0xFFFFFFFFu);
    if (length >= 4) return static_cast<size_t>(*reinterpret_cast<const uint32_t*>(data));
    return std::nullopt;
}

// One read on X11: a hidden window of its own is the requestor, so the owner's parts come to it
// alone, and a read given up on leaves nothing of the toolkit's waiting. Deleting the property
// after each part asks the owner for the next.
class Transfer {
public:
    static constexpr guint watchdogTickMs = 100;

    Transfer(GdkAtom target, size_t limit, SelectionReader::Handler handler)
        : limit_(limit), handler_(std::move(handler)), window_(gtk_invisible_new()), lastHeard_(g_get_monotonic_time()) {
        gtk_widget_add_events(window_, GDK_PROPERTY_CHANGE_MASK);
        gtk_widget_realize(window_);
        g_signal_connect(window_, "selection-notify-event", G_CALLBACK(onSelectionNotify), this);
        g_signal_connect(window_, "property-notify-event", G_CALLBACK(onPropertyNotify), this);
        g_signal_connect(clipboard(), "owner-change", G_CALLBACK(onOwnerChange), this);
        watchdog_ = g_timeout_add(watchdogTickMs, onWatchdog, this);
        gdk_selection_convert(gtk_widget_get_window(window_), GDK_SELECTION_CLIPBOARD, target, GDK_CURRENT_TIME);
    }

private:
    static gboolean onSelectionNotify(GtkWidget*, GdkEventSelection* event, Transfer* self) {
        self->heard();
        if (event->property == GDK_NONE) {
            self->finish(Outcome::refused);
            return TRUE;
        }
        self->property_ = event->property;
        self->take(true);
        return TRUE;
    }
    static gboolean onPropertyNotify(GtkWidget*, GdkEventProperty* event, Transfer* self) {
        if (!self->incremental_ || event->atom != self->property_ || event->state != GDK_PROPERTY_NEW_VALUE) return FALSE;
        self->heard();
        self->take(false);
        return TRUE;
    }
    // The owner's program ended (or its window went): no more of it will come. Once another
    // program took the clipboard, the end told is that one's, and the transfer goes on.
    static void onOwnerChange(GtkClipboard*, GdkEvent* event, Transfer* self) {
        const GdkOwnerChange reason = event->owner_change.reason;
        if (reason == GDK_OWNER_CHANGE_NEW_OWNER) self->ownerReplaced_ = true;
        else if (!self->ownerReplaced_) self->finish(Outcome::gone);
    }
    static gboolean onWatchdog(gpointer data) {
        auto* self = static_cast<Transfer*>(data);
        const gint64 limit = self->answered_ ? gint64{SelectionReader::idleLimitSeconds} * G_USEC_PER_SEC
                                             : gint64{SelectionReader::answerLimitMs} * 1000;
        if (g_get_monotonic_time() - self->lastHeard_ < limit) return G_SOURCE_CONTINUE;
        self->watchdog_ = 0;
        self->finish(self->answered_ ? Outcome::stopped : Outcome::noAnswer);
        return G_SOURCE_REMOVE;
    }

    void heard() {
        answered_ = true;
        lastHeard_ = g_get_monotonic_time();
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
            size_ = announcedSize(data, length);
            // Known to be too large before any of it comes: none of it is taken.
            if (size_ && *size_ > limit_) return finish(Outcome::tooLarge);
            return askForNext();
        }
        const auto size = static_cast<size_t>(std::max(length, 0));
        if (first && !incremental_) size_ = size;
        if (!data || length < 0) {
            gdk_property_delete(window, property_);
            return finish(Outcome::stopped);
        }
        if (size > limit_ - std::min(received_, limit_)) {
            gdk_property_delete(window, property_);
            return finish(Outcome::tooLarge);
        }
        received_ += size;
        const bool last = !incremental_ || size == 0;
        if (last) gdk_property_delete(window, property_);
        if (size > 0) handler_.piece(std::string(reinterpret_cast<const char*>(data), size));
        if (last) return finish(Outcome::whole);
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

    void finish(Outcome outcome) {
        if (watchdog_) g_source_remove(watchdog_);
        g_signal_handlers_disconnect_by_data(clipboard(), this);
        g_signal_handlers_disconnect_by_data(window_, this);
        gtk_widget_destroy(window_);
        auto end = std::move(handler_.end);
        const SelectionReader::End told{outcome, size_};
        delete this;
        end(told);
    }

    size_t limit_;
    SelectionReader::Handler handler_;
    GtkWidget* window_;
    gint64 lastHeard_;
    guint watchdog_ = 0;
    bool answered_ = false;
    bool ownerReplaced_ = false;
    GdkAtom property_ = GDK_NONE;
    bool incremental_ = false;
    std::optional<size_t> size_;
    size_t received_ = 0;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// A toolkit request's answer and the deadline that may come first, as its user data.
template <class Then>
struct Bounded {
    std::shared_ptr<Deadline> deadline;
    Then then;
};

// Elsewhere (and within the process) the toolkit reads the content whole: nothing is heard of it
// until it has all come, so it has the limit between two parts of a transfer.
void readWhole(GdkAtom target, size_t limit, SelectionReader::Handler handler) {
    auto shared = std::make_shared<SelectionReader::Handler>(std::move(handler));
    using Read = Bounded<std::function<void(GtkSelectionData*)>>;
    auto deadline = Deadline::start(SelectionReader::idleLimitSeconds * 1000, [shared] { shared->end({Outcome::noAnswer, {}}); });
    gtk_clipboard_request_contents(
        clipboard(), target,
        [](GtkClipboard*, GtkSelectionData* data, gpointer user) {
            std::unique_ptr<Read> read(static_cast<Read*>(user));
            if (read->deadline->finish()) read->then(data);
        },
        new Read{deadline, [shared, limit](GtkSelectionData* data) {
                     const gint length = data ? gtk_selection_data_get_length(data) : -1;
                     if (length < 0) return shared->end({Outcome::refused, {}});
                     const auto size = static_cast<size_t>(length);
                     if (size > limit) return shared->end({Outcome::tooLarge, size});
                     if (size > 0) shared->piece(std::string(reinterpret_cast<const char*>(gtk_selection_data_get_data(data)), size));
                     shared->end({Outcome::whole, size});
                 }});
}

// The clipboard's targets, then `next` with them (none when nobody owns it or it did not answer,
// which `outcome` tells).
using TargetsNext = std::function<void(std::vector<GdkAtom>, Outcome)>;

void withTargets(TargetsNext next) {
    if (onX11() && !ownedHere()) {
        auto bytes = std::make_shared<std::string>();
        SelectionReader::read(atom("TARGETS"), size_t{1} << 20,
                              {[bytes](std::string piece) { bytes->append(piece); },
                               [bytes, next = std::move(next)](SelectionReader::End end) {
                                   std::vector<GdkAtom> targets(bytes->size() / sizeof(GdkAtom));
                                   if (end.outcome == Outcome::whole && !targets.empty())
                                       std::memcpy(targets.data(), bytes->data(), targets.size() * sizeof(GdkAtom));
                                   // A refusal is an owner that answered: it has no targets.
                                   next(std::move(targets), end.outcome == Outcome::refused ? Outcome::whole : end.outcome);
                               }});
        return;
    }
    using Request = Bounded<TargetsNext>;
    auto shared = std::make_shared<TargetsNext>(std::move(next));
    auto deadline = Deadline::start(SelectionReader::answerLimitMs, [shared] { (*shared)({}, Outcome::noAnswer); });
    gtk_clipboard_request_targets(
        clipboard(),
        [](GtkClipboard*, GdkAtom* atoms, gint count, gpointer user) {
            std::unique_ptr<Request> request(static_cast<Request*>(user));
            if (!request->deadline->finish()) return;
            request->then(atoms ? std::vector<GdkAtom>(atoms, atoms + count) : std::vector<GdkAtom>{}, Outcome::whole);
        },
        new Request{deadline, [shared](std::vector<GdkAtom> targets, Outcome outcome) { (*shared)(std::move(targets), outcome); }});
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

Pasteboard::ReadEnd readEnd(SelectionReader::End end) {
    using How = Pasteboard::ReadEnd::How;
    switch (end.outcome) {
        case Outcome::whole:
        case Outcome::refused: return {How::whole, 0, end.size};
        case Outcome::noAnswer: return {How::noAnswer, 0, end.size};
        case Outcome::stopped: return {How::stopped, 0, end.size};
        case Outcome::gone: return {How::gone, 0, end.size};
        case Outcome::tooLarge: return {How::tooLarge, 0, end.size};
    }
    return {};
}

// An owner that offers none of the plain text targets: the toolkit converts what it has, whole.
void readTextWhole(std::shared_ptr<Pasteboard::TextReader> reader, size_t limit) {
    using Request = Bounded<std::function<void(const gchar*)>>;
    auto deadline = Deadline::start(SelectionReader::idleLimitSeconds * 1000,
                                    [reader] { reader->end({Pasteboard::ReadEnd::How::noAnswer, 0, {}}); });
    gtk_clipboard_request_text(
        clipboard(),
        [](GtkClipboard*, const gchar* text, gpointer user) {
            std::unique_ptr<Request> request(static_cast<Request*>(user));
            if (request->deadline->finish()) request->then(text);
        },
        new Request{deadline, [reader, limit](const gchar* text) {
                        const size_t size = text ? std::strlen(text) : 0;
                        if (size > limit) return reader->end({Pasteboard::ReadEnd::How::tooLarge, 0, size});
                        if (size > 0) reader->piece(text);
                        reader->end({});
                    }});
}

void readText(const std::vector<GdkAtom>& targets, std::shared_ptr<Pasteboard::TextReader> reader, size_t limit) {
    const char* chosen = nullptr;
    for (const char* name : {"UTF8_STRING", "text/plain;charset=utf-8", "STRING"}) {
        if (offers(targets, name)) {
            chosen = name;
            break;
        }
    }
    if (!chosen) return readTextWhole(std::move(reader), limit);
    const bool latin1 = std::string_view(chosen) == "STRING";
    SelectionReader::read(atom(chosen), limit,
                          {[reader, latin1](std::string piece) {
                               reader->piece(latin1 ? latin1ToUtf8(piece) : std::move(piece));
                           },
                           [reader, limit](SelectionReader::End end) {
                               // The owner changed between its targets and the read.
                               if (end.outcome == Outcome::refused) return readTextWhole(reader, limit);
                               reader->end(readEnd(end));
                           }});
}

// The URI list, then one image (PNG before TIFF), each read up to the pasteboard's limit; what is
// refused or too large is left out. An owner that does not answer, stops or goes ends the read.
void readItems(std::vector<const char*> wanted, size_t next, Pasteboard::Items items, Pasteboard::ItemsDone done) {
    if (next == wanted.size()) return done(std::move(items), {});
    auto bytes = std::make_shared<std::string>();
    SelectionReader::read(
        atom(wanted[next]), Pasteboard::itemBytesLimit,
        {[bytes](std::string piece) { bytes->append(piece); },
         [bytes, wanted, next, items = std::move(items), done = std::move(done)](SelectionReader::End end) mutable {
             const std::string_view name = wanted[next];
             if (end.outcome == Outcome::noAnswer || end.outcome == Outcome::stopped || end.outcome == Outcome::gone)
                 return done(std::move(items), readEnd(end));
             if (end.outcome == Outcome::whole && name == "text/uri-list") {
                 if (gchar** uris = g_uri_list_extract_uris(bytes->c_str())) {
                     for (gchar** uri = uris; *uri; ++uri) items.uris.emplace_back(*uri);
                     g_strfreev(uris);
                 }
             } else if (end.outcome == Outcome::whole && !bytes->empty()) {
                 (name == "image/png" ? items.png : items.tiff) = std::vector<uint8_t>(bytes->begin(), bytes->end());
             } else if (end.outcome == Outcome::tooLarge && name != "text/uri-list") {
                 items.imageTooLarge = true;
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
    void readItems(Pasteboard::ItemsDone done) override {
        withTargets([done = std::move(done)](std::vector<GdkAtom> targets, Outcome outcome) mutable {
            if (outcome != Outcome::whole) return done({}, readEnd({outcome, {}}));
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
    Pasteboard::CancelRead readText(Pasteboard::TextReader reader, size_t limit) override {
        auto shared = std::make_shared<Pasteboard::TextReader>(std::move(reader));
        withTargets([shared, limit](std::vector<GdkAtom> targets, Outcome outcome) {
            if (outcome != Outcome::whole) return shared->end(readEnd({outcome, {}}));
            gtk::readText(targets, shared, limit);
        });
        return {};
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
