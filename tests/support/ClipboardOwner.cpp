// clipboard-owner: holds the X11 CLIPBOARD the way awkward programs do, for pasteboard-probe.
//   clipboard-owner MODE [MS]
// late-text MS      names its targets at once, gives the text MS ms after it is asked
// late-targets MS   names its targets MS ms after it is asked, gives the text at once
// late-picture MS   a PNG of 2 MiB, in parts, MS ms after it is asked
// refuse-targets    refuses to name its targets, gives UTF8_STRING when asked for it
// endless-ct        offers only COMPOUND_TEXT, in parts that never end
// endless-utf8      the same as UTF8_STRING
// trickle-utf8 MS, trickle-ct MS, trickle-png MS   a first part, then one byte MS ms after each
//                   request, without end (the last a picture)
// cut-utf8          a first part that ends inside a character ("caf" and the first byte of "é"),
//                   then nothing more: the next part never comes
// die-utf8 COUNT    a first part of 5000 "a" and COUNT bytes (1 to 3) of "🙂", then the program ends
//                   when it is asked for the next
// atom-reply COUNT  names UTF8_STRING, and answers a request for it with COUNT items of type ATOM
// atom-reply-all COUNT  names UTF8_STRING, COMPOUND_TEXT and STRING, and answers each as atom-reply
// links-then-atoms COUNT  names text/uri-list (a web address), image/png and UTF8_STRING, and answers
//                   the picture and the text as atom-reply
// many-targets COUNT   names UTF8_STRING after COUNT targets never named before, new ones each time
// incr-targets COUNT   names UTF8_STRING after COUNT others, in an incremental transfer
// Prints "owner" once it holds the clipboard and "asked" each time a reader asks for a next part.

#include <algorithm>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

Display* display;
Atom clipboard, targetsAtom, incr, utf8, compound, png;

Atom intern(const char* name) { return XInternAtom(display, name, False); }

void say(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

// One incremental transfer under way: the parts left (an endless one repeats its part).
struct Incremental {
    Window requestor = None;
    Atom property = None;
    Atom type = None;
    int format = 8;
    // Of format 32: longs, as the library takes them.
    std::string data;
    size_t at = 0;
    size_t part = 0;
    bool endless = false;
    bool trickle = false;
    bool stalls = false;
    bool dies = false;
    bool ended = false;
};

void notify(const XSelectionRequestEvent& request, Atom property) {
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.requestor = request.requestor;
    reply.xselection.selection = request.selection;
    reply.xselection.target = request.target;
    reply.xselection.property = property;
    reply.xselection.time = request.time;
    XSendEvent(display, request.requestor, False, 0, &reply);
    XFlush(display);
}

void sleepMs(int ms) { ::usleep(static_cast<useconds_t>(ms) * 1000); }

void setProperty(Window window, Atom property, Atom type, int format, const std::string& data, int mode = PropModeReplace) {
    const int unit = format == 32 ? sizeof(long) : 1;
    XChangeProperty(display, window, property, type, format, mode, reinterpret_cast<const unsigned char*>(data.data()),
                    static_cast<int>(data.size() / unit));
}

std::string longs(const std::vector<Atom>& atoms) {
    std::string data(atoms.size() * sizeof(long), '\0');
    for (size_t at = 0; at < atoms.size(); ++at) {
        const long item = static_cast<long>(atoms[at]);
        std::memcpy(data.data() + at * sizeof item, &item, sizeof item);
    }
    return data;
}

// `count` names never named before on this display, interned: a list of targets no reader knows.
std::vector<Atom> newNames(size_t count) {
    static int round = 0;
    ++round;
    std::vector<std::string> names;
    for (size_t at = 0; at < count; ++at) names.push_back("x-owner-" + std::to_string(::getpid()) + "-" + std::to_string(round) + "-" + std::to_string(at));
    std::vector<char*> pointers;
    for (auto& name : names) pointers.push_back(name.data());
    std::vector<Atom> atoms(count);
    XInternAtoms(display, pointers.data(), static_cast<int>(count), False, atoms.data());
    return atoms;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !(display = XOpenDisplay(nullptr))) return 2;
    const std::string mode = argv[1];
    const int ms = argc > 2 ? std::atoi(argv[2]) : 0;
    // The reader may take its window away part-way: its errors are expected here.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    clipboard = intern("CLIPBOARD");
    targetsAtom = intern("TARGETS");
    incr = intern("INCR");
    utf8 = intern("UTF8_STRING");
    compound = intern("COMPOUND_TEXT");
    png = intern("image/png");
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(display, clipboard, window, CurrentTime);
    XSync(display, False);
    if (XGetSelectionOwner(display, clipboard) != window) return 1;

    const bool compoundOnly = mode == "endless-ct" || mode == "trickle-ct";
    const bool picture = mode == "late-picture" || mode == "trickle-png";
    const Atom textType = compoundOnly ? compound : picture ? png : utf8;
    const bool allText = mode == "atom-reply-all";
    const bool linksThenAtoms = mode == "links-then-atoms";
    const Atom uriList = intern("text/uri-list");
    const size_t count = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 0;
    // Café, then Привет in ISO 8859-5, then back: a part may end anywhere in it.
    const std::string compoundLine = "caf\xe9 \x1b-L\xbf\xe0\xd8\xd2\xd5\xe2\x1b-A\n";
    // The next list of names never named before, made ahead of the request it answers: made at the
    // request, on a loaded machine it could take the reader's whole wait for a first answer.
    std::vector<Atom> unknown = mode == "many-targets" ? newNames(count) : std::vector<Atom>{};
    // Each reader's incremental transfer, by its window and property: readers may overlap.
    std::map<std::pair<Window, Atom>, Incremental> transfers;
    say("owner");
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == SelectionRequest) {
            const XSelectionRequestEvent& request = event.xselectionrequest;
            if (request.target == targetsAtom) {
                if (mode == "refuse-targets") {
                    notify(request, None);
                    continue;
                }
                if (mode == "late-targets") sleepMs(ms);
                std::vector<Atom> offered = {targetsAtom};
                if (mode == "many-targets") offered.insert(offered.end(), unknown.begin(), unknown.end());
                if (mode == "incr-targets") offered.insert(offered.end(), count, XA_INTEGER);
                offered.push_back(textType);
                if (allText) offered.insert(offered.end(), {compound, XA_STRING});
                if (linksThenAtoms) offered.insert(offered.end(), {uriList, png});
                if (mode == "incr-targets") {
                    Incremental& transfer = transfers[{request.requestor, request.property}];
                    transfer = Incremental{request.requestor, request.property, XA_ATOM, 32, longs(offered)};
                    transfer.part = size_t{64} << 10;
                    XSelectInput(display, request.requestor, PropertyChangeMask);
                    const long size = static_cast<long>(offered.size() * 4);
                    XChangeProperty(display, request.requestor, request.property, incr, 32, PropModeReplace,
                                    reinterpret_cast<const unsigned char*>(&size), 1);
                } else {
                    setProperty(request.requestor, request.property, XA_ATOM, 32, longs(offered));
                }
                notify(request, request.property);
                if (mode == "many-targets") unknown = newNames(count);
                continue;
            }
            if (linksThenAtoms && request.target == uriList) {
                setProperty(request.requestor, request.property, uriList, 8, "https://example.com/page\r\n");
                notify(request, request.property);
                continue;
            }
            const bool served = request.target == textType || (mode == "refuse-targets" && request.target == utf8) ||
                                (allText && (request.target == compound || request.target == XA_STRING)) ||
                                (linksThenAtoms && request.target == png);
            if (!served) {
                notify(request, None);
                continue;
            }
            if (mode == "late-text" || mode == "late-picture") sleepMs(ms);
            if (mode == "atom-reply" || allText || linksThenAtoms) {
                // Items that name no atom, in requests the server takes.
                const size_t chunk = size_t{1} << 20;
                for (size_t at = 0; at < count; at += chunk) {
                    std::vector<Atom> items(std::min(chunk, count - at));
                    for (size_t item = 0; item < items.size(); ++item) items[item] = 0x1000000 + at + item;
                    setProperty(request.requestor, request.property, XA_ATOM, 32, longs(items), at == 0 ? PropModeReplace : PropModeAppend);
                }
                notify(request, request.property);
                continue;
            }
            if (mode == "late-text" || mode == "late-targets" || mode == "refuse-targets" || mode == "many-targets" ||
                mode == "incr-targets") {
                const std::string text = mode == "refuse-targets"                              ? "served without targets"
                                         : mode == "many-targets" || mode == "incr-targets" ? "named among many"
                                                                                             : "late " + mode.substr(5);
                XChangeProperty(display, request.requestor, request.property, utf8, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
                notify(request, request.property);
                continue;
            }
            Incremental& transfer = transfers[{request.requestor, request.property}];
            transfer = Incremental{};
            transfer.requestor = request.requestor;
            transfer.property = request.property;
            transfer.type = request.target;
            if (mode == "late-picture") {
                transfer.data = "\x89PNG" + std::string((size_t{2} << 20) - 4, 'p');
                transfer.part = size_t{256} << 10;
            } else if (mode == "endless-ct" || mode == "endless-utf8") {
                const std::string line = mode == "endless-ct" ? compoundLine : "caf\xc3\xa9 \xd0\x9f\n";
                while (transfer.data.size() < (size_t{64} << 10)) transfer.data += line;
                transfer.part = transfer.data.size();
                transfer.endless = true;
            } else if (mode == "cut-utf8") {
                transfer.data = "caf\xc3";
                transfer.part = transfer.data.size();
                transfer.stalls = true;
            } else if (mode == "die-utf8") {
                transfer.data = std::string(5000, 'a') + std::string("\xf0\x9f\x99\x82").substr(0, std::clamp<size_t>(count, 1, 3));
                transfer.part = transfer.data.size();
                transfer.dies = true;
            } else {
                transfer.data = mode == "trickle-ct" ? compoundLine : picture ? std::string("\x89PNG\r\n\x1a\n") : std::string("start ");
                transfer.part = transfer.data.size();
                transfer.trickle = true;
            }
            XSelectInput(display, request.requestor, PropertyChangeMask);
            const long size = transfer.endless || transfer.trickle ? 1 : static_cast<long>(transfer.data.size());
            XChangeProperty(display, request.requestor, request.property, incr, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&size), 1);
            notify(request, request.property);
        } else if (event.type == PropertyNotify && event.xproperty.state == PropertyDelete) {
            const auto found = transfers.find({event.xproperty.window, event.xproperty.atom});
            if (found == transfers.end()) continue;
            Incremental& transfer = found->second;
            if (transfer.ended) {
                transfers.erase(found);
                continue;
            }
            say("asked");
            // Its first part given, it never gives another.
            if (transfer.stalls && transfer.at > 0) continue;
            if (transfer.dies && transfer.at > 0) std::_Exit(0);
            std::string part;
            if (transfer.trickle && transfer.at > 0) {
                sleepMs(ms);
                part.assign(1, transfer.type == compound ? '\xe9' : transfer.type == png ? 'p' : 'x');
            } else {
                part = transfer.data.substr(transfer.at, transfer.part);
                transfer.at += part.size();
                if (transfer.endless) transfer.at = 0;
                if (transfer.trickle) transfer.at = 1;
            }
            transfer.ended = part.empty();
            setProperty(transfer.requestor, transfer.property, transfer.type, transfer.format, part);
            XFlush(display);
        }
    }
}
