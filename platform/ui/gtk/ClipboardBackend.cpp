#include "platform/ui/gtk/ClipboardBackend.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ui/gtk/CompoundText.h"
#include "platform/ui/gtk/WaylandSelection.h"

namespace platform::ui::gtk {

namespace {

using Outcome = SelectionReader::Outcome;
using CancelRead = Pasteboard::CancelRead;
using How = Pasteboard::ReadEnd::How;

GtkClipboard* clipboard() { return gtk_clipboard_get(GDK_SELECTION_CLIPBOARD); }

// Where one read reaches the clipboard's owner: the X11 selection (our own reader, or the
// toolkit's within the process) or our Wayland data device. Holds the latter weakly: a read may
// outlive the backend.
struct Source {
    std::weak_ptr<WaylandSelection> wayland;
    bool onWayland = false;

    bool owned() const {
        if (!onWayland) return SelectionReader::owned();
        const auto selection = wayland.lock();
        return selection && selection->types();
    }
    CancelRead targets(SelectionReader::TargetsNext next) const {
        if (!onWayland) return SelectionReader::targets(std::move(next));
        // Wayland names the types with the offer: nothing to wait for.
        const auto selection = wayland.lock();
        if (selection) next(selection->types().value_or(std::vector<std::string>{}), Outcome::whole);
        else next(std::nullopt, Outcome::gone);
        return {};
    }
    CancelRead read(const std::string& target, size_t limit, SelectionReader::Handler handler) const {
        if (!onWayland) return SelectionReader::read(target, limit, std::move(handler));
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

Pasteboard::ReadEnd readEnd(SelectionReader::End end, size_t bytes = 0) {
    switch (end.outcome) {
        case Outcome::whole:
        case Outcome::refused: return {How::whole, bytes, end.size};
        case Outcome::wrongType: return {How::wrongType, bytes, end.size};
        case Outcome::noAnswer: return {How::noAnswer, bytes, end.size};
        case Outcome::stopped: return {How::stopped, bytes, end.size};
        case Outcome::gone: return {How::gone, bytes, end.size};
        case Outcome::tooLarge: return {How::tooLarge, bytes, end.size};
    }
    return {};
}

// The transfers of one read, one at a time. A step may end (and the next begin) before its start
// returns: only the latest step's cancel is kept.
struct Steps {
    CancelRead current;
    int count = 0;
    bool over = false;

    void begin(const std::function<CancelRead()>& start) {
        const int step = ++count;
        CancelRead cancel = start();
        if (count == step && !over) current = std::move(cancel);
    }
    // The step under way ended of itself.
    void ended() { current = {}; }
    // Ends the read, letting the step under way go; false when it had ended.
    bool end() {
        if (std::exchange(over, true)) return false;
        if (auto cancel = std::exchange(current, {})) cancel();
        return true;
    }
};

// The text targets to ask, best first: those the owner names, or, when it would not name any,
// each in turn until one is served.
std::vector<std::string> textTargets(const std::optional<std::vector<std::string>>& named) {
    if (!named) return {"UTF8_STRING", "COMPOUND_TEXT", "TEXT", "STRING"};
    std::vector<std::string> chosen;
    for (const std::string& name : SelectionReader::textTypes()) {
        if (offers(*named, name)) chosen.push_back(name);
    }
    return chosen;
}

// One text read: the owner's targets, then each text target in turn until one is served, made
// UTF-8 as it comes and held to the limit after that too.
// What an owner answered with data of types not asked for, over a whole read: one line of the log,
// said when the refusals ended the read (a picture refused beside files that came ends nothing).
struct Refusals {
    std::string first;
    size_t count = 0;
    void add(const std::string& refusal) {
        if (count++ == 0) first = refusal;
    }
    // At the read's end.
    void say() {
        if (count == 0) return;
        std::string line = "clipboard: the owner answered " + first;
        if (count > 1) line += ", and " + std::to_string(count - 1) + " more of what was asked likewise,";
        std::fprintf(stderr, "%s which was not asked for; refused\n", line.c_str());
    }
};

struct TextRead {
    Pasteboard::TextReader reader;
    size_t limit = 0;
    Source source;
    std::vector<std::string> candidates;
    size_t next = 0;
    // A target was answered with data of another type.
    bool wrongType = false;
    Refusals refusals;
    enum class Encoding { utf8, latin1, compound } encoding = Encoding::utf8;
    std::unique_ptr<CompoundText> compound;
    size_t handed = 0;
    Steps steps;
};

void endRead(const std::shared_ptr<TextRead>& read, Pasteboard::ReadEnd end) {
    if (!read->steps.end()) return;
    if (end.how == How::wrongType) read->refusals.say();
    read->reader.end(end);
}

void hand(const std::shared_ptr<TextRead>& read, std::string text) {
    if (text.empty() || read->steps.over) return;
    if (text.size() > read->limit - read->handed) return endRead(read, {How::tooLarge});
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
    // No text target was served: the clipboard holds no text, or none of a type that was asked.
    if (read->next == read->candidates.size()) return endRead(read, {read->wrongType ? How::wrongType : How::whole});
    const std::string target = read->candidates[read->next++];
    read->encoding = TextRead::Encoding::utf8;
    read->compound.reset();
    read->steps.begin([&] {
        return read->source.read(
            target, read->limit,
            {[read](std::string bytes) {
                 if (!read->steps.over) hand(read, decode(*read, std::move(bytes)));
             },
             [read](SelectionReader::End end) {
                 if (read->steps.over) return;
                 read->steps.ended();
                 // The owner changed between its targets and the read, or would not name them.
                 if (end.outcome == Outcome::refused) return readNextTarget(read);
                 if (end.outcome == Outcome::wrongType) read->refusals.add(end.refusal);
                 if (end.outcome == Outcome::wrongType && read->handed == 0) {
                     read->wrongType = true;
                     return readNextTarget(read);
                 }
                 if (read->compound) hand(read, read->compound->finish());
                 endRead(read, readEnd(end));
             },
             [read](std::string type) {
                 if (type == "STRING") read->encoding = TextRead::Encoding::latin1;
                 if (type == "COMPOUND_TEXT") {
                     read->encoding = TextRead::Encoding::compound;
                     read->compound = std::make_unique<CompoundText>();
                 }
             },
             read->reader.ahead});
    });
}

// One read of the URIs and pictures: the owner's targets, then the URI list and one picture (PNG
// before TIFF), each up to the pasteboard's limit; what is refused or too large is left out. An
// owner that does not answer, stops or goes ends the read with what came.
struct ItemsRead {
    Pasteboard::ItemsReader reader;
    Source source;
    std::vector<std::string> wanted;
    size_t next = 0;
    Pasteboard::Items items;
    size_t came = 0;
    bool wrongType = false;
    Refusals refusals;
    Steps steps;
};

void endItems(const std::shared_ptr<ItemsRead>& read, How how, std::optional<size_t> size = std::nullopt) {
    if (!read->steps.end()) return;
    if (how == How::wrongType) read->refusals.say();
    read->reader.done(std::move(read->items), {how, read->came, size});
}

void keepItem(Pasteboard::Items& items, std::string_view target, const std::string& bytes) {
    if (target == "text/uri-list") {
        if (gchar** uris = g_uri_list_extract_uris(bytes.c_str())) {
            for (gchar** uri = uris; *uri; ++uri) items.uris.emplace_back(*uri);
            g_strfreev(uris);
        }
    } else if (!bytes.empty()) {
        (target == "image/png" ? items.png : items.tiff) = std::vector<uint8_t>(bytes.begin(), bytes.end());
    }
}

void readNextItem(const std::shared_ptr<ItemsRead>& read) {
    const Pasteboard::Items& items = read->items;
    // One picture is enough.
    while (read->next < read->wanted.size() && read->wanted[read->next] != "text/uri-list" &&
           (items.png || items.tiff || items.imageTooLarge))
        ++read->next;
    if (read->next == read->wanted.size()) {
        const bool none = items.uris.empty() && !items.png && !items.tiff && !items.imageTooLarge;
        return endItems(read, none && read->wrongType ? How::wrongType : How::whole);
    }
    const std::string target = read->wanted[read->next++];
    auto bytes = std::make_shared<std::string>();
    read->steps.begin([&] {
        return read->source.read(target, Pasteboard::itemBytesLimit,
                                 {[read, bytes](std::string piece) {
                                      if (read->steps.over) return;
                                      read->came += piece.size();
                                      bytes->append(piece);
                                      if (read->reader.came) read->reader.came(read->came);
                                  },
                                  [read, bytes, target](SelectionReader::End end) {
                                      if (read->steps.over) return;
                                      read->steps.ended();
                                      switch (end.outcome) {
                                          case Outcome::noAnswer:
                                          case Outcome::stopped:
                                          case Outcome::gone: return endItems(read, readEnd(end).how, end.size);
                                          case Outcome::whole: keepItem(read->items, target, *bytes); break;
                                          case Outcome::tooLarge: read->items.imageTooLarge |= target != "text/uri-list"; break;
                                          case Outcome::wrongType:
                                              read->wrongType = true;
                                              read->refusals.add(end.refusal);
                                              break;
                                          case Outcome::refused: break;
                                      }
                                      readNextItem(read);
                                  }});
    });
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
        auto read = std::make_shared<ItemsRead>();
        read->source = source();
        if (!read->source.owned()) {
            reader.done({}, {});
            return {};
        }
        read->reader = std::move(reader);
        read->steps.begin([&] {
            return read->source.targets([read](std::optional<std::vector<std::string>> targets, Outcome outcome) {
                if (read->steps.over) return;
                read->steps.ended();
                if (outcome != Outcome::whole) return endItems(read, readEnd({outcome, {}}).how);
                for (const char* wanted : {"text/uri-list", "image/png", "image/tiff"}) {
                    if (targets && offers(*targets, wanted)) read->wanted.emplace_back(wanted);
                }
                readNextItem(read);
            });
        });
        return [read] { read->steps.end(); };
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
        read->steps.begin([&] {
            return read->source.targets([read](std::optional<std::vector<std::string>> targets, Outcome outcome) {
                if (read->steps.over) return;
                read->steps.ended();
                if (outcome != Outcome::whole) return endRead(read, readEnd({outcome, {}}));
                read->candidates = textTargets(targets);
                readNextTarget(read);
            });
        });
        return [read] { read->steps.end(); };
    }

private:
    // A window of this process (a text field's copy) hands its content over within the process,
    // through the toolkit; elsewhere on Wayland our own data device reads the offer.
    Source source() const { return {wayland_, wayland_ && !gtk_clipboard_get_owner(clipboard_)}; }
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

}  // namespace platform::ui::gtk
