#include "platform/ui/gtk/SelectionReader.h"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <X11/Xatom.h>
#include <gdk/gdkx.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

namespace platform::ui::gtk {

namespace {

using Outcome = SelectionTransfer::Outcome;
using Handler = SelectionTransfer::Handler;

GtkClipboard* clipboard() { return gtk_clipboard_get(GDK_SELECTION_CLIPBOARD); }

bool onX11() {
#ifdef GDK_WINDOWING_X11
    GdkDisplay* display = gdk_display_get_default();
    return display && GDK_IS_X11_DISPLAY(display);
#else
    return false;
#endif
}

// Another program's window is known here only as a foreign one.
bool ownedHere() {
    GdkWindow* owner = gdk_selection_owner_get(GDK_SELECTION_CLIPBOARD);
    return owner && gdk_window_get_window_type(owner) != GDK_WINDOW_FOREIGN;
}

// Our own X11 reader, for a window of another program.
bool readsOwnX11() { return onX11() && !ownedHere(); }

bool isText(const std::string& name) {
    const auto& text = SelectionReader::textTypes();
    return std::find(text.begin(), text.end(), name) != text.end();
}

// The types an answer to `target` may come as, best first, and their format.
std::vector<std::string> typesServing(const std::string& target) {
    if (target == "TARGETS") return {"ATOM", "TARGETS"};
    if (isText(target)) return SelectionReader::textTypes();
    return {target};
}
int formatOf(const std::string& target) { return target == "TARGETS" ? 32 : 8; }

// "UTF8_STRING with ATOM of format 32 (12 bytes)": said once for a whole read by its reader.
std::string refused(const std::string& target, const std::string& type, int format, size_t bytes) {
    return target + " with " + type + " of format " + std::to_string(format) + " (" + std::to_string(bytes) + " bytes)";
}

// Through the toolkit, answered whole: a window of this process, or a display our own reader does
// not reach.
class ToolkitRequest : public SelectionTransfer {
public:
    static Pasteboard::CancelRead start(const std::string& target, size_t limit, Handler handler) {
        auto* request = new ToolkitRequest(target, limit, std::move(handler));
        // Within the process the answer may come before the request returns.
        Pasteboard::CancelRead cancel = request->cancel();
        struct Pending {
            ToolkitRequest* request;
            std::weak_ptr<void> alive;
        };
        gtk_clipboard_request_contents(
            clipboard(), gdk_atom_intern(target.c_str(), FALSE),
            [](GtkClipboard*, GtkSelectionData* data, gpointer user) {
                const std::unique_ptr<Pending> pending(static_cast<Pending*>(user));
                if (!pending->alive.expired()) pending->request->answered(data);
            },
            new Pending{request, request->alive()});
        return cancel;
    }

private:
    ToolkitRequest(std::string target, size_t limit, Handler handler)
        : SelectionTransfer(std::move(handler)), target_(std::move(target)), limit_(limit) {}

    void answered(GtkSelectionData* data) {
        heard();
        const gint length = data ? gtk_selection_data_get_length(data) : -1;
        if (length < 0) return finish(Outcome::refused);
        const auto size = static_cast<size_t>(length);
        const GdkAtom given = gtk_selection_data_get_data_type(data);
        const auto types = typesServing(target_);
        const auto type = std::find_if(types.begin(), types.end(),
                                       [&](const std::string& name) { return gdk_atom_intern(name.c_str(), FALSE) == given; });
        if (type == types.end() || gtk_selection_data_get_format(data) != formatOf(target_)) {
            return finish(Outcome::wrongType, std::nullopt,
                          refused(target_, "another type", gtk_selection_data_get_format(data), size));
        }
        if (size > limit_) return finish(Outcome::tooLarge, size);
        if (!hand(std::string(reinterpret_cast<const char*>(gtk_selection_data_get_data(data)), size), *type)) return;
        finish(Outcome::whole, size);
    }

    std::string target_;
    size_t limit_;
};

#ifdef GDK_WINDOWING_X11

// The INCR property's value: a lower bound of the size.
std::optional<size_t> announcedSize(const std::string& value) {
    if (value.size() < sizeof(uint32_t)) return std::nullopt;
    uint32_t size = 0;
    std::memcpy(&size, value.data(), sizeof size);
    return size;
}

// One read of another program's selection: a hidden window of its own is the requestor, so the
// owner's parts come to it alone, and a read given up on leaves nothing of the toolkit's waiting.
// Deleting the property after each part asks the owner for the next; a read let go of deletes
// nothing more and takes its window away. The property is read with Xlib, its type and size
// first: an answer of a type that was not asked for, or past the limit, is never fetched.
class X11Transfer : public SelectionTransfer {
public:
    static Pasteboard::CancelRead start(const std::string& target, size_t limit, Handler handler) {
        auto* transfer = new X11Transfer(target, limit, std::move(handler));
        Pasteboard::CancelRead cancel = transfer->cancel();
        gdk_selection_convert(gtk_widget_get_window(transfer->window_), GDK_SELECTION_CLIPBOARD,
                              gdk_atom_intern(target.c_str(), FALSE), GDK_CURRENT_TIME);
        return cancel;
    }

private:
    // What a property holds, without its value; `type` None: there is none.
    struct Property {
        Atom type = None;
        int format = 0;
        // In the server's units (format 32: four bytes an item), as the value is handed on.
        size_t bytes = 0;
    };

    X11Transfer(std::string target, size_t limit, Handler handler)
        : SelectionTransfer(std::move(handler)), target_(std::move(target)), limit_(limit), window_(gtk_invisible_new()) {
        gtk_widget_add_events(window_, GDK_PROPERTY_CHANGE_MASK);
        gtk_widget_realize(window_);
        GdkWindow* window = gtk_widget_get_window(window_);
        x_ = GDK_WINDOW_XDISPLAY(window);
        xid_ = GDK_WINDOW_XID(window);
        incr_ = gdk_x11_get_xatom_by_name_for_display(gdk_window_get_display(window), "INCR");
        g_signal_connect(window_, "selection-notify-event", G_CALLBACK(onSelectionNotify), this);
        g_signal_connect(window_, "property-notify-event", G_CALLBACK(onPropertyNotify), this);
        g_signal_connect(clipboard(), "owner-change", G_CALLBACK(onOwnerChange), this);
    }
    ~X11Transfer() override {
        g_signal_handlers_disconnect_by_data(clipboard(), this);
        g_signal_handlers_disconnect_by_data(window_, this);
        gtk_widget_destroy(window_);
    }

    static gboolean onSelectionNotify(GtkWidget* widget, GdkEventSelection* event, X11Transfer* self) {
        self->heard();
        if (event->property == GDK_NONE) {
            self->finish(Outcome::refused);
            return TRUE;
        }
        self->property_ = gdk_x11_atom_to_xatom_for_display(gtk_widget_get_display(widget), event->property);
        self->take(true);
        return TRUE;
    }
    static gboolean onPropertyNotify(GtkWidget* widget, GdkEventProperty* event, X11Transfer* self) {
        if (!self->incremental_ || event->state != GDK_PROPERTY_NEW_VALUE ||
            gdk_x11_atom_to_xatom_for_display(gtk_widget_get_display(widget), event->atom) != self->property_)
            return FALSE;
        self->heard();
        self->take(false);
        return TRUE;
    }
    // The owner's program ended (or its window went): no more of it will come. Once another
    // program took the clipboard, the end told is that one's, and the transfer goes on.
    static void onOwnerChange(GtkClipboard*, GdkEvent* event, X11Transfer* self) {
        const GdkOwnerChange reason = event->owner_change.reason;
        if (reason == GDK_OWNER_CHANGE_NEW_OWNER) self->ownerReplaced_ = true;
        else if (!self->ownerReplaced_) self->finish(Outcome::gone);
    }

    // The property's type and size, and with `value` its value up to `units` of four bytes
    // (items of format 32 as four bytes each, as the server holds them).
    Property get(long units, Atom type, std::string* value = nullptr) const {
        Atom given = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        GdkDisplay* display = gtk_widget_get_display(window_);
        gdk_x11_display_error_trap_push(display);
        const int status = XGetWindowProperty(x_, xid_, property_, 0, units, False, type, &given, &format, &items, &after, &data);
        gdk_x11_display_error_trap_pop_ignored(display);
        Property property;
        if (status == Success && given != None) property = {given, format, static_cast<size_t>(after + items * (format / 8))};
        if (value && data && format == 8) {
            value->assign(reinterpret_cast<const char*>(data), items);
        } else if (value && data && format == 32) {
            // The library hands the items over as longs.
            value->resize(items * sizeof(uint32_t));
            for (unsigned long at = 0; at < items; ++at) {
                const auto item = static_cast<uint32_t>(reinterpret_cast<const unsigned long*>(data)[at]);
                std::memcpy(value->data() + at * sizeof item, &item, sizeof item);
            }
        }
        if (data) XFree(data);
        return property;
    }
    Property query() const { return get(0, AnyPropertyType); }
    std::string fetch(const Property& property) const {
        std::string value;
        get(static_cast<long>((property.bytes + 3) / 4), property.type, &value);
        return value;
    }
    void deleteProperty() {
        XDeleteProperty(x_, xid_, property_);
        XFlush(x_);
    }

    // The type of an answer, when it serves the request: the first answer's decides, the parts
    // of an incremental transfer keep it.
    const std::string* served(const Property& property) {
        if (typeName_) return property.type == type_ && property.format == format_ ? typeName_ : nullptr;
        if (property.format != formatOf(target_)) return nullptr;
        for (const std::string& name : types_) {
            if (gdk_x11_get_xatom_by_name_for_display(gtk_widget_get_display(window_), name.c_str()) != property.type) continue;
            type_ = property.type;
            format_ = property.format;
            return typeName_ = &name;
        }
        return nullptr;
    }
    void refuse(const Property& property) {
        const bool atom = property.type == XA_ATOM;
        std::string refusal =
            refused(target_, atom ? std::string("ATOM") : "atom " + std::to_string(property.type), property.format, property.bytes);
        deleteProperty();
        finish(Outcome::wrongType, std::nullopt, std::move(refusal));
    }

    // The property as it stands: the first answer (the whole content, or the start of an
    // incremental transfer) or the next part of one; an empty part ends the transfer.
    void take(bool first) {
        const Property property = query();
        if (property.type == None) return finish(first ? Outcome::refused : Outcome::stopped);
        if (first && property.type == incr_) {
            incremental_ = true;
            size_ = announcedSize(fetch(property));
            // Known to be too large before any of it comes: none of it is taken.
            if (size_ && *size_ > limit_) return finish(Outcome::tooLarge, size_);
            return askForNext();
        }
        const bool ending = incremental_ && property.bytes == 0;
        const std::string* type = ending ? &target_ : served(property);
        if (!type) return refuse(property);
        if (!incremental_) size_ = property.bytes;
        if (property.bytes > limit_ - std::min(received(), limit_)) {
            deleteProperty();
            return finish(Outcome::tooLarge, size_);
        }
        std::string value = property.bytes > 0 ? fetch(property) : std::string();
        const bool last = !incremental_ || value.empty();
        if (last) deleteProperty();
        if (!hand(std::move(value), *type)) return;
        if (last) return finish(Outcome::whole, size_);
        whenRoom([this] { askForNext(); });
    }

    // The owner sends the next part once the property is deleted: not before the loop has had a
    // turn for its other work, or an owner that answers at once would keep it to this transfer.
    void askForNext() {
        runtime::MainLoop::main().post([this, alive = alive()] {
            if (!alive.expired()) deleteProperty();
        });
    }

    std::string target_;
    std::vector<std::string> types_ = typesServing(target_);
    size_t limit_;
    GtkWidget* window_;
    Display* x_ = nullptr;
    Window xid_ = None;
    Atom property_ = None;
    Atom incr_ = None;
    Atom type_ = None;
    int format_ = 0;
    const std::string* typeName_ = nullptr;
    bool ownerReplaced_ = false;
    bool incremental_ = false;
    std::optional<size_t> size_;
};

// The known targets among an owner's list of X atoms, looked up without naming an atom: the
// toolkit would keep every name it was told for good, and a list may hold thousands never seen.
std::vector<std::string> knownOfXAtoms(const std::string& list) {
    std::vector<uint32_t> offered(list.size() / sizeof(uint32_t));
    if (!offered.empty()) std::memcpy(offered.data(), list.data(), offered.size() * sizeof(uint32_t));
    const auto& known = SelectionReader::knownTargets();
    std::vector<char*> names;
    for (const std::string& name : known) names.push_back(const_cast<char*>(name.c_str()));
    std::vector<Atom> atoms(known.size(), None);
    XInternAtoms(GDK_DISPLAY_XDISPLAY(gdk_display_get_default()), names.data(), static_cast<int>(names.size()), True, atoms.data());
    std::vector<std::string> found;
    for (size_t at = 0; at < known.size(); ++at) {
        if (atoms[at] != None && std::find(offered.begin(), offered.end(), atoms[at]) != offered.end()) found.push_back(known[at]);
    }
    return found;
}

#endif

// The same of the toolkit's answer, an array of its atoms.
std::vector<std::string> knownOfToolkitAtoms(const std::string& list) {
    std::vector<GdkAtom> offered(list.size() / sizeof(GdkAtom));
    if (!offered.empty()) std::memcpy(offered.data(), list.data(), offered.size() * sizeof(GdkAtom));
    std::vector<std::string> found;
    for (const std::string& name : SelectionReader::knownTargets()) {
        if (std::find(offered.begin(), offered.end(), gdk_atom_intern(name.c_str(), FALSE)) != offered.end()) found.push_back(name);
    }
    return found;
}

}  // namespace

const std::vector<std::string>& SelectionReader::textTypes() {
    static const std::vector<std::string> text = {"UTF8_STRING", "text/plain;charset=utf-8", "COMPOUND_TEXT",
                                                  "TEXT",        "STRING",                   "text/plain"};
    return text;
}

const std::vector<std::string>& SelectionReader::knownTargets() {
    static const std::vector<std::string> known = [] {
        std::vector<std::string> all = textTypes();
        all.insert(all.end(), {"text/uri-list", "image/png", "image/tiff"});
        return all;
    }();
    return known;
}

bool SelectionReader::owned() {
#ifdef GDK_WINDOWING_X11
    if (onX11()) {
        GdkDisplay* display = gdk_display_get_default();
        return XGetSelectionOwner(GDK_DISPLAY_XDISPLAY(display), gdk_x11_get_xatom_by_name_for_display(display, "CLIPBOARD")) != None;
    }
#endif
    return true;
}

Pasteboard::CancelRead SelectionReader::targets(TargetsNext next) {
    auto list = std::make_shared<std::string>();
    const bool x11 = readsOwnX11();
    const size_t atomBytes = x11 ? sizeof(uint32_t) : sizeof(GdkAtom);
    return read("TARGETS", targetsLimit * atomBytes,
                {[list](std::string piece) { list->append(piece); },
                 [list, x11, next = std::move(next)](End end) {
                     switch (end.outcome) {
                         case Outcome::whole:
#ifdef GDK_WINDOWING_X11
                             if (x11) return next(knownOfXAtoms(*list), Outcome::whole);
#endif
                             return next(knownOfToolkitAtoms(*list), Outcome::whole);
                         case Outcome::tooLarge:
                             std::fprintf(stderr,
                                          "clipboard: the owner names more than %zu targets; none of them is read, its text "
                                          "targets are asked in turn\n",
                                          targetsLimit);
                             return next(std::nullopt, Outcome::whole);
                         case Outcome::refused:
                         case Outcome::wrongType: return next(std::nullopt, Outcome::whole);
                         default: return next(std::nullopt, end.outcome);
                     }
                 }});
}

Pasteboard::CancelRead SelectionReader::read(const std::string& target, size_t limit, Handler handler) {
    if (!handler.piece || !handler.end) return {};
#ifdef GDK_WINDOWING_X11
    if (readsOwnX11()) return X11Transfer::start(target, limit, std::move(handler));
#endif
    return ToolkitRequest::start(target, limit, std::move(handler));
}

}  // namespace platform::ui::gtk
