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
#include "platform/ui/gtk/CompoundText.h"
#include "platform/ui/gtk/WaylandSelection.h"

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
using CancelRead = Pasteboard::CancelRead;

constexpr gint64 stepLimitUs = gint64{SelectionReader::stepLimitSeconds} * G_USEC_PER_SEC;

// Whether anybody holds the CLIPBOARD: the program that copied may have quit, leaving nothing.
bool x11Owned() {
#ifdef GDK_WINDOWING_X11
    GdkDisplay* display = gdk_display_get_default();
    return XGetSelectionOwner(GDK_DISPLAY_XDISPLAY(display), gdk_x11_get_xatom_by_name_for_display(display, "CLIPBOARD")) != None;
#else
    return true;
#endif
}

std::string atomName(GdkAtom atom) {
    gchar* name = gdk_atom_name(atom);
    std::string named = name ? name : "";
    g_free(name);
    return named;
}

// The INCR property's value: a lower bound of the size (a CARD32, which the library hands over
// in a long).
std::optional<size_t> announcedSize(const guchar* data, gint length) {
    if (length >= static_cast<gint>(sizeof(long))) return static_cast<size_t>(*reinterpret_cast<const unsigned long*>(data) & 0xFFFFFFFFu);
    if (length >= 4) return static_cast<size_t>(*reinterpret_cast<const uint32_t*>(data));
    return std::nullopt;
}

// One read on X11: a hidden window of its own is the requestor, so the owner's parts come to it
// alone, and a read given up on leaves nothing of the toolkit's waiting. Deleting the property
// after each part asks the owner for the next; a read let go of deletes nothing more and takes
// its window away.
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
    CancelRead cancel() {
        return [this, alive = std::weak_ptr<int>(alive_)] {
            if (!alive.expired()) release();
        };
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
        if (g_get_monotonic_time() - self->lastHeard_ < stepLimitUs) return G_SOURCE_CONTINUE;
        self->finish(self->answered_ ? Outcome::stopped : Outcome::noAnswer);
        return G_SOURCE_CONTINUE;
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
        // A refusal can come as an answer whose property holds nothing (the toolkit names one).
        if (!data || length < 0) {
            gdk_property_delete(window, property_);
            return finish(first ? Outcome::refused : Outcome::stopped);
        }
        if (size > limit_ - std::min(received_, limit_)) {
            gdk_property_delete(window, property_);
            return finish(Outcome::tooLarge);
        }
        received_ += size;
        const bool last = !incremental_ || size == 0;
        if (last) gdk_property_delete(window, property_);
        if (size > 0 && handler_.type && !std::exchange(typeTold_, true)) handler_.type(atomName(type));
        // The reader may let the read go from its piece: nothing of this one may be touched then,
        // its handler included.
        const std::weak_ptr<int> alive = alive_;
        if (size > 0) {
            const auto piece = handler_.piece;
            piece(std::string(reinterpret_cast<const char*>(data), size));
        }
        if (alive.expired()) return;
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

    void release() {
        g_source_remove(watchdog_);
        g_signal_handlers_disconnect_by_data(clipboard(), this);
        g_signal_handlers_disconnect_by_data(window_, this);
        gtk_widget_destroy(window_);
        delete this;
    }
    void finish(Outcome outcome) {
        auto end = std::move(handler_.end);
        const SelectionReader::End told{outcome, size_};
        release();
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
    bool typeTold_ = false;
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

// From a window of this process the toolkit reads the content whole, within the process.
CancelRead readWhole(GdkAtom target, size_t limit, SelectionReader::Handler handler) {
    auto shared = std::make_shared<SelectionReader::Handler>(std::move(handler));
    using Read = Bounded<std::function<void(GtkSelectionData*)>>;
    auto deadline = Deadline::start(SelectionReader::stepLimitSeconds * 1000, [shared] { shared->end({Outcome::noAnswer, {}}); });
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
                     if (size > 0 && shared->type) shared->type(atomName(gtk_selection_data_get_data_type(data)));
                     if (size > 0) shared->piece(std::string(reinterpret_cast<const char*>(gtk_selection_data_get_data(data)), size));
                     shared->end({Outcome::whole, size});
                 }});
    return [deadline] { deadline->finish(); };
}

// The owner's targets (none: it refused to name them), or how asking ended.
using TargetsNext = std::function<void(std::optional<std::vector<std::string>>, Outcome)>;

// Where one read reaches the clipboard's owner: the X11 selection (our own reader, or the
// toolkit's within the process) or our Wayland data device. Holds the latter weakly: a read may
// outlive the backend.
struct Source {
    std::weak_ptr<WaylandSelection> wayland;
    bool onWayland = false;

    bool owned() const {
        if (onWayland) {
            const auto selection = wayland.lock();
            return selection && selection->types();
        }
        return !onX11() || x11Owned();
    }

    CancelRead targets(TargetsNext next) const {
        // Wayland names the types with the offer: nothing to wait for.
        if (onWayland) {
            const auto selection = wayland.lock();
            if (selection) next(selection->types().value_or(std::vector<std::string>{}), Outcome::whole);
            else next({}, Outcome::gone);
            return {};
        }
        if (onX11() && !ownedHere()) {
            auto bytes = std::make_shared<std::string>();
            return SelectionReader::read(atom("TARGETS"), size_t{1} << 20,
                                         {[bytes](std::string piece) { bytes->append(piece); },
                                          [bytes, next = std::move(next)](SelectionReader::End end) {
                                              if (end.outcome == Outcome::refused) return next(std::nullopt, Outcome::whole);
                                              if (end.outcome != Outcome::whole) return next({}, end.outcome);
                                              std::vector<GdkAtom> atoms(bytes->size() / sizeof(GdkAtom));
                                              if (!atoms.empty()) std::memcpy(atoms.data(), bytes->data(), atoms.size() * sizeof(GdkAtom));
                                              std::vector<std::string> names;
                                              for (GdkAtom target : atoms) names.push_back(atomName(target));
                                              next(std::move(names), Outcome::whole);
                                          }});
        }
        using Request = Bounded<TargetsNext>;
        auto shared = std::make_shared<TargetsNext>(std::move(next));
        auto deadline = Deadline::start(SelectionReader::stepLimitSeconds * 1000, [shared] { (*shared)({}, Outcome::noAnswer); });
        gtk_clipboard_request_targets(
            clipboard(),
            [](GtkClipboard*, GdkAtom* atoms, gint count, gpointer user) {
                std::unique_ptr<Request> request(static_cast<Request*>(user));
                if (!request->deadline->finish()) return;
                std::vector<std::string> names;
                for (gint at = 0; atoms && at < count; ++at) names.push_back(atomName(atoms[at]));
                request->then(std::move(names), Outcome::whole);
            },
            new Request{deadline, [shared](std::optional<std::vector<std::string>> targets, Outcome outcome) {
                            (*shared)(std::move(targets), outcome);
                        }});
        return [deadline] { deadline->finish(); };
    }

    CancelRead read(const std::string& target, size_t limit, SelectionReader::Handler handler) const {
        if (!onWayland) return SelectionReader::read(gdk_atom_intern(target.c_str(), FALSE), limit, std::move(handler));
        const auto selection = wayland.lock();
        if (selection) return selection->read(target, limit, std::move(handler));
        handler.end({Outcome::gone, {}});
        return {};
    }
};

bool offers(const std::vector<std::string>& targets, std::string_view name) {
    return std::find(targets.begin(), targets.end(), name) != targets.end();
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

// The text targets to ask, best first: those the owner names, or, when it refused to name any,
// each in turn until one is served.
std::vector<std::string> textTargets(const std::optional<std::vector<std::string>>& named) {
    static const std::vector<std::string> known = {"UTF8_STRING", "text/plain;charset=utf-8", "COMPOUND_TEXT",
                                                   "TEXT",        "STRING",                   "text/plain"};
    if (!named) return {"UTF8_STRING", "COMPOUND_TEXT", "TEXT", "STRING"};
    std::vector<std::string> chosen;
    for (const std::string& name : known) {
        if (offers(*named, name)) chosen.push_back(name);
    }
    return chosen;
}

// One text read: the owner's targets, then each text target in turn until one is served, made
// UTF-8 as it comes and held to the limit after that too. Each step's transfer is the one a
// cancel lets go of.
struct TextRead {
    Pasteboard::TextReader reader;
    size_t limit = 0;
    Source source;
    std::vector<std::string> candidates;
    size_t next = 0;
    enum class Encoding { utf8, latin1, compound } encoding = Encoding::utf8;
    std::unique_ptr<CompoundText> compound;
    size_t handed = 0;
    CancelRead current;
    int steps = 0;
    bool over = false;
};

void endRead(const std::shared_ptr<TextRead>& read, Pasteboard::ReadEnd end) {
    if (std::exchange(read->over, true)) return;
    read->current = {};
    read->reader.end(end);
}

// A step may end (and the next begin) before its start returns: only the latest step's cancel is kept.
void beginStep(const std::shared_ptr<TextRead>& read, const std::function<CancelRead()>& start) {
    const int step = ++read->steps;
    CancelRead cancel = start();
    if (read->steps == step && !read->over) read->current = std::move(cancel);
}

void hand(const std::shared_ptr<TextRead>& read, std::string text) {
    if (text.empty() || read->over) return;
    if (text.size() > read->limit - read->handed) {
        if (auto cancel = std::exchange(read->current, {})) cancel();
        return endRead(read, {Pasteboard::ReadEnd::How::tooLarge});
    }
    read->handed += text.size();
    read->reader.piece(std::move(text));
}

std::string decode(TextRead& read, std::string bytes) {
    switch (read.encoding) {
        case TextRead::Encoding::utf8: return bytes;
        case TextRead::Encoding::latin1: return latin1ToUtf8(bytes);
        case TextRead::Encoding::compound: return read.compound->add(bytes);
    }
    return bytes;
}

void readNextTarget(const std::shared_ptr<TextRead>& read) {
    // No text target was served: the clipboard holds no text.
    if (read->next == read->candidates.size()) return endRead(read, {});
    const std::string target = read->candidates[read->next++];
    read->encoding = TextRead::Encoding::utf8;
    read->compound.reset();
    beginStep(read, [&] {
        return read->source.read(
            target, read->limit,
            {[read](std::string bytes) {
                 if (!read->over) hand(read, decode(*read, std::move(bytes)));
             },
             [read](SelectionReader::End end) {
                 if (read->over) return;
                 read->current = {};
                 // The owner changed between its targets and the read, or refused to name them.
                 if (end.outcome == Outcome::refused) return readNextTarget(read);
                 if (read->compound) hand(read, read->compound->finish());
                 endRead(read, readEnd(end));
             },
             [read](std::string type) {
                 if (type == "STRING") read->encoding = TextRead::Encoding::latin1;
                 if (type == "COMPOUND_TEXT") {
                     read->encoding = TextRead::Encoding::compound;
                     read->compound = std::make_unique<CompoundText>();
                 }
             }});
    });
}

// The URI list, then one image (PNG before TIFF), each read up to the pasteboard's limit; what is
// refused or too large is left out. An owner that does not answer, stops or goes ends the read.
void readItems(Source source, std::vector<const char*> wanted, size_t next, Pasteboard::Items items,
               Pasteboard::ItemsDone done) {
    if (next == wanted.size()) return done(std::move(items), {});
    auto bytes = std::make_shared<std::string>();
    const char* target = wanted[next];
    source.read(
        target, Pasteboard::itemBytesLimit,
        {[bytes](std::string piece) { bytes->append(piece); },
         [bytes, source, wanted, next, items = std::move(items), done = std::move(done)](SelectionReader::End end) mutable {
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
             readItems(std::move(source), std::move(wanted), next + 1, std::move(items), std::move(done));
         }});
}

// This program's own text is served from `held_` while it owns the clipboard; the toolkit tells
// of another owner by calling `clear` (it was ours) or by the owner-change signal.
class ClipboardBackend : public Pasteboard::Backend {
public:
    explicit ClipboardBackend(Pasteboard& board)
        : board_(board),
          clipboard_(clipboard()),
          owner_(G_OBJECT(g_object_new(G_TYPE_OBJECT, nullptr))),
          wayland_(WaylandSelection::bind()) {
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
    CancelRead readItems(Pasteboard::ItemsReader reader) override {
        const Source source = this->source();
        if (!source.owned()) {
            reader.done({}, {});
            return {};
        }
        source.targets([source, done = std::move(reader.done)](std::optional<std::vector<std::string>> targets, Outcome outcome) mutable {
            if (outcome != Outcome::whole) return done({}, readEnd({outcome, {}}));
            std::vector<const char*> wanted;
            const auto& named = targets.value_or(std::vector<std::string>{});
            if (offers(named, "text/uri-list")) wanted.push_back("text/uri-list");
            if (offers(named, "image/png")) {
                wanted.push_back("image/png");
            } else if (offers(named, "image/tiff")) {
                wanted.push_back("image/tiff");
            }
            gtk::readItems(source, std::move(wanted), 0, {}, std::move(done));
        });
        return {};
    }
    CancelRead readText(Pasteboard::TextReader reader, size_t limit) override {
        auto read = std::make_shared<TextRead>();
        read->source = source();
        // Nobody holds the clipboard (the program that copied quit): it is empty, not silent.
        if (!read->source.owned()) {
            reader.end({});
            return {};
        }
        read->reader = std::move(reader);
        read->limit = limit;
        beginStep(read, [&] {
            return read->source.targets([read](std::optional<std::vector<std::string>> targets, Outcome outcome) {
                if (read->over) return;
                read->current = {};
                if (outcome != Outcome::whole) return endRead(read, readEnd({outcome, {}}));
                read->candidates = textTargets(targets);
                readNextTarget(read);
            });
        });
        return [read] {
            if (std::exchange(read->over, true)) return;
            if (auto cancel = std::exchange(read->current, {})) cancel();
        };
    }

private:
    // A window of this process (a text field's copy) hands its content over within the process,
    // through the toolkit; elsewhere on Wayland our own data device reads the offer.
    Source source() const {
        return {wayland_, wayland_ && !gtk_clipboard_get_owner(clipboard_)};
    }
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
    std::shared_ptr<WaylandSelection> wayland_;
};

}  // namespace

std::unique_ptr<Pasteboard::Backend> makeClipboardBackend(Pasteboard& board) {
    return std::make_unique<ClipboardBackend>(board);
}

Pasteboard::CancelRead SelectionReader::read(GdkAtom target, size_t limit, Handler handler) {
    if (!handler.piece || !handler.end) return {};
    // A window of this process (a text field's copy) hands its content over within the process.
    if (onX11() && !ownedHere()) return (new Transfer(target, limit, std::move(handler)))->cancel();
    return readWhole(target, limit, std::move(handler));
}

}  // namespace platform::ui::gtk
