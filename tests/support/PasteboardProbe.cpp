// pasteboard-probe: on a real display, puts a URI list, a PNG, a TIFF and a text on the clipboard
// as a window of this process would, and then from a second process (itself, run as
// `pasteboard-probe --own`) with a text of a few megabytes, then checks that the general pasteboard reads none of it
// when the owner changes, reads the URIs and one image when asked, and the texts (the other
// process's in the pieces it hands over, a Latin-1 one made UTF-8); that its own copy stays its
// own; and that a drag's selection data reaches a pasteboard of its own. Then that a read never
// waits on an owner for long: a text past the limit is refused before any of it comes, an owner
// killed part-way ends the read at once with what came, and one that never answers (`--own-hung`)
// ends it at the step limit; owners that answer late or refuse to name their targets still paste,
// an empty clipboard is read as empty, an endless COMPOUND_TEXT is cut at the limit in bounded
// memory, a read let go of stops the transfer on each path, hostile answers (a reply of the wrong
// type, lists of targets long or never seen) end at once with their true cause in bounded memory,
// and a reader's read-ahead holds the owner back (clipboard-owner plays these).
// Exit status 0 when all hold.

#include <fcntl.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/MainLoop.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/gtk/ClipboardBackend.h"
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

// The second process: owns the clipboard, with the big text, until it is ended; `hung`, it never
// answers a request, as a program that hangs.
int ownInSecondProcess(bool hung) {
    if (!gtk_init_check(nullptr, nullptr)) return 1;
    secondProcess = true;
    if (!gtk_clipboard_set_with_data(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), targets, 4, provide, nullptr, nullptr))
        return 1;
    if (hung) {
        gdk_display_sync(gdk_display_get_default());
        for (;;) ::pause();
    }
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

bool wait(const std::function<bool()>& until, std::chrono::milliseconds limit = 10s) {
    return platform::runtime::MainLoop::main().runUntil(until, limit);
}
void settle() { platform::runtime::MainLoop::main().runUntil([] { return false; }, 300ms); }

// The URIs and the PNG (the TIFF beside it is not read); empty when they differ.
const char* itemsRead(Pasteboard& board) {
    std::optional<Pasteboard::Items> items;
    board.requestItems({[&](Pasteboard::Items read, Pasteboard::ReadEnd) { items = std::move(read); }});
    if (!wait([&] { return items.has_value(); })) return "the clipboard's items did not arrive";
    if (items->uris.size() != 2 || items->uris[1] != "file:///tmp/my%20file.txt" || items->png != png || items->tiff)
        return "the clipboard's items differ";
    return "";
}

// The text as the pasteboard hands it over, in its pieces.
struct TextRead {
    std::string text;
    int pieces = 0;
    std::optional<Pasteboard::ReadEnd> end;
};
// `firstPiece` runs once, when the first piece comes.
TextRead textRead(Pasteboard& board, const std::function<void()>& firstPiece = {}) {
    TextRead read;
    board.requestText({[&](std::string piece) {
                           read.text += piece;
                           if (++read.pieces == 1 && firstPiece) firstPiece();
                       },
                       [&](Pasteboard::ReadEnd end) { read.end = end; }});
    wait([&] { return read.end.has_value(); }, 30s);
    return read;
}

bool ownedElsewhere() {
    GdkWindow* owner = gdk_selection_owner_get(GDK_SELECTION_CLIPBOARD);
    return owner && gdk_window_get_window_type(owner) == GDK_WINDOW_FOREIGN;
}

// Another process that takes the clipboard; 0 when it did not.
pid_t startOwner(const char* mode) {
    gtk_clipboard_clear(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
    const pid_t owner = ::fork();
    if (owner == 0) {
        ::execl("/proc/self/exe", "pasteboard-probe", mode, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (!wait(ownedElsewhere)) {
        ::kill(owner, SIGKILL);
        ::waitpid(owner, nullptr, 0);
        return 0;
    }
    return owner;
}

void end(pid_t process) {
    ::kill(process, SIGKILL);
    ::waitpid(process, nullptr, 0);
}

long long msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// clipboard-owner in another process, its lines read back: it says when it holds the clipboard and
// each time a reader asks it for a next part.
struct StandIn {
    pid_t pid = 0;
    int lines = -1;
    int asked = 0;
    std::string pending;
    int askedSoFar() {
        char buffer[256];
        ssize_t count;
        while ((count = ::read(lines, buffer, sizeof buffer)) > 0) pending.append(buffer, static_cast<size_t>(count));
        for (size_t line; (line = pending.find('\n')) != std::string::npos; pending.erase(0, line + 1)) {
            if (pending.compare(0, line, "asked") == 0) ++asked;
        }
        return asked;
    }
    void end() {
        if (pid) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (lines >= 0) ::close(lines);
        pid = 0;
        lines = -1;
    }
};

StandIn startStandIn(const std::vector<const char*>& args) {
    gtk_clipboard_clear(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return {};
    StandIn standIn;
    standIn.pid = ::fork();
    if (standIn.pid == 0) {
        ::dup2(fds[1], 1);
        std::vector<char*> argv = {const_cast<char*>("clipboard-owner")};
        for (const char* arg : args) argv.push_back(const_cast<char*>(arg));
        argv.push_back(nullptr);
        ::execv(CLIPBOARD_OWNER, argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    standIn.lines = fds[0];
    if (!wait(ownedElsewhere)) standIn.end();
    return standIn;
}

// The windows on the display: a read let go of leaves none of its own behind.
unsigned windowsOnDisplay() {
    Display* x = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count);
    if (children) XFree(children);
    return count;
}

// A figure of /proc/self/status in MiB: "VmHWM" the highest resident memory since the last reset,
// "VmRSS" the resident memory now.
long memoryMiB(const char* field = "VmHWM") {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return -1;
    char line[256];
    long kib = -1;
    const std::string format = std::string(field) + ": %ld kB";
    while (std::fgets(line, sizeof line, status)) {
        if (std::sscanf(line, format.c_str(), &kib) == 1) break;
    }
    std::fclose(status);
    return kib / 1024;
}
long peakMiB() { return memoryMiB(); }
void resetPeak() {
    if (std::FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", refs);
        std::fclose(refs);
    }
}

using How = Pasteboard::ReadEnd::How;
const long long stepLimit = platform::ui::gtk::SelectionReader::stepLimitSeconds * 1000LL;

// Owners that are slow but work, or hold nothing: each read ends as it should, within its ceiling.
const char* ownersThatWork(Pasteboard& board) {
    struct Row {
        const char* name;
        // clipboard-owner's mode and time; none: the owner quits before the read.
        std::vector<const char*> owner;
        bool items;
        const char* text;
        long long atLeastMs, ceilingMs;
    };
    const Row rows[] = {
        {"a text given 2.5 s late", {"late-text", "2500"}, false, "late text", 2500, 6000},
        {"a text given 5 s late", {"late-text", "5000"}, false, "late text", 5000, 8500},
        {"targets named 2.5 s late", {"late-targets", "2500"}, false, "late targets", 2500, 6000},
        {"a 2 MiB picture given 2.5 s late", {"late-picture", "2500"}, true, nullptr, 2500, 8000},
        {"an owner that refuses to name its targets", {"refuse-targets"}, false, "served without targets", 0, 3000},
        {"an empty clipboard (its owner quit)", {}, false, "", 0, 1000},
    };
    for (const Row& row : rows) {
        StandIn owner = startStandIn(row.owner.empty() ? std::vector<const char*>{"late-text", "0"} : row.owner);
        if (!owner.pid) return row.name;
        if (row.owner.empty()) {
            owner.end();
            if (!wait([] { return gdk_selection_owner_get(GDK_SELECTION_CLIPBOARD) == nullptr; })) return row.name;
        }
        const auto start = std::chrono::steady_clock::now();
        bool fits = false;
        if (row.items) {
            std::optional<Pasteboard::ReadEnd> end;
            Pasteboard::Items items;
            board.requestItems({[&](Pasteboard::Items read, Pasteboard::ReadEnd how) {
                items = std::move(read);
                end = how;
            }});
            wait([&] { return end.has_value(); }, 30s);
            fits = end && end->whole() && items.png && items.png->size() == (size_t{2} << 20);
        } else {
            const TextRead read = textRead(board);
            fits = read.end && read.end->whole() && read.text == row.text && read.end->bytes == read.text.size();
            if (!fits && read.end)
                std::printf("pasteboard-probe: %s: ended %d with %zu bytes: %s\n", row.name, static_cast<int>(read.end->how),
                            read.end->bytes, read.text.c_str());
        }
        const long long took = msSince(start);
        owner.end();
        std::printf("pasteboard-probe: %s: %lld ms\n", row.name, took);
        if (!fits || took < row.atLeastMs || took > row.ceilingMs) return row.name;
    }
    return "";
}

// An owner that offers only COMPOUND_TEXT and never ends: read by our own reader in parts, made
// UTF-8, cut at the limit with memory that does not grow with it.
const char* endlessFallback(Pasteboard& board) {
    StandIn owner = startStandIn({"endless-ct"});
    if (!owner.pid) return "the endless owner did not take the clipboard";
    const size_t limit = size_t{128} << 20;
    board.setTextLimit(limit);
    resetPeak();
    const long before = peakMiB();
    const auto start = std::chrono::steady_clock::now();
    std::string head;
    std::optional<Pasteboard::ReadEnd> end;
    board.requestText({[&](std::string piece) {
                           if (head.size() < 64) head += piece.substr(0, 64);
                       },
                       [&](Pasteboard::ReadEnd how) { end = how; }});
    wait([&] { return end.has_value(); }, 120s);
    const long long took = msSince(start);
    const long grew = peakMiB() - before;
    board.setTextLimit(Pasteboard::textBytesLimit);
    owner.end();
    std::printf("pasteboard-probe: an endless COMPOUND_TEXT owner was cut at %zu bytes in %lld ms, the peak memory grew "
                "%ld MiB\n",
                end ? end->bytes : 0, took, grew);
    if (!end || end->how != How::tooLarge || end->bytes > limit || end->bytes < limit - (size_t{256} << 10))
        return "an endless owner on the fallback path was not cut at the limit";
    if (head.rfind("caf\xc3\xa9 \xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82\n", 0) != 0)
        return "the COMPOUND_TEXT was not made UTF-8";
    if (grew > 48) return "the memory grew with an endless owner's text";
    return "";
}

// A read let go of part-way, on each path: the end comes at once, nothing after it, the owner is
// asked for nothing more and no window of the read is left. A picture's read says how much came
// as it comes.
const char* cancelledReads(Pasteboard& board) {
    struct Row {
        const char* name;
        std::vector<const char*> owner;
        const char* starts;
        int piecesFirst;
        bool picture = false;
    };
    const Row rows[] = {
        {"a trickle of UTF-8", {"trickle-utf8", "200"}, "start xx", 3},
        {"a trickle of COMPOUND_TEXT", {"trickle-ct", "200"}, "caf\xc3\xa9 \xd0\x9f", 3},
        {"an owner that never answers", {"late-text", "600000"}, "", 0},
        {"a trickle of a picture", {"trickle-png", "200"}, "", 3, true},
    };
    for (const Row& row : rows) {
        const unsigned windows = windowsOnDisplay();
        StandIn owner = startStandIn(row.owner);
        if (!owner.pid) return row.name;
        const unsigned ownerWindows = windowsOnDisplay();
        TextRead read;
        size_t came = 0;
        const auto start = std::chrono::steady_clock::now();
        Pasteboard::CancelRead cancel =
            row.picture ? board.requestItems({[&](Pasteboard::Items, Pasteboard::ReadEnd end) { read.end = end; },
                                              [&](size_t bytes) {
                                                  came = bytes;
                                                  ++read.pieces;
                                              }})
                        : board.requestText({[&](std::string piece) {
                                                 read.text += piece;
                                                 came = read.text.size();
                                                 ++read.pieces;
                                             },
                                             [&](Pasteboard::ReadEnd end) { read.end = end; }});
        if (row.piecesFirst > 0) wait([&] { return read.pieces >= row.piecesFirst; });
        else wait([] { return false; }, 500ms);
        const int asked = owner.askedSoFar();
        const int pieces = read.pieces;
        if (!cancel || read.end || read.pieces < row.piecesFirst) return owner.end(), row.name;
        cancel();
        const bool atOnce = read.end && read.end->how == How::cancelled && read.end->bytes == came;
        read.end.reset();
        wait([] { return false; }, 1500ms);
        const bool quiet = !read.end && read.pieces == pieces && owner.askedSoFar() == asked;
        const bool windowGone = windowsOnDisplay() == ownerWindows;
        owner.end();
        std::printf("pasteboard-probe: %s let go after %lld ms and %zu bytes\n", row.name, msSince(start), came);
        if (!atOnce || !quiet || !windowGone || read.text.rfind(row.starts, 0) != 0) return row.name;
        wait([&] { return windowsOnDisplay() == windows; }, 2s);
    }
    return "";
}

// What the process writes to its standard error while it lives, line by line.
class ErrorLines {
public:
    ErrorLines() : file_(std::tmpfile()) {
        std::fflush(stderr);
        saved_ = ::dup(2);
        if (file_) ::dup2(::fileno(file_), 2);
    }
    ~ErrorLines() { restore(); }
    std::vector<std::string> lines() {
        restore();
        std::vector<std::string> lines;
        if (!file_) return lines;
        std::rewind(file_);
        char line[512];
        while (std::fgets(line, sizeof line, file_)) lines.emplace_back(line);
        return lines;
    }

private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        saved_ = -1;
    }
    std::FILE* file_;
    int saved_ = -1;
};

// Owners whose answers are hostile: each paste ends at once with its true cause, says it in one
// line at most (the toolkit says nothing), and leaves the memory as it was, paste after paste.
const char* hostileAnswers(Pasteboard& board) {
    struct Row {
        const char* name;
        std::vector<const char*> owner;
        How how;
        const char* text;
        // The log's lines of each paste, and the words of the first.
        size_t lines;
        const char* says;
        long long ceilingMs;
        // Its files and pictures read first, as a tile's paste reads them.
        bool itemsFirst = false;
    };
    const Row rows[] = {
        {"a text answered as 3,000,000 items of type ATOM", {"atom-reply", "3000000"}, How::wrongType, "", 1, "ATOM", 3000},
        // Each text type tried in turn, each refused: one line for the paste.
        {"every text type answered as items of type ATOM", {"atom-reply-all", "1000"}, How::wrongType, "", 1,
         "and 2 more of what was asked likewise", 3000},
        // A refused picture beside links that were read is no refusal of the paste: only the text's is said.
        {"links, then a picture and a text answered as items of type ATOM", {"links-then-atoms", "1000"}, How::wrongType, "",
         1, "UTF8_STRING", 3000, true},
        {"100,000 targets never named before", {"many-targets", "100000"}, How::whole, "named among many", 1, "more than", 8000},
        {"10,000 targets never named before", {"many-targets", "10000"}, How::whole, "named among many", 0, "", 3000},
        {"targets past 1 MiB, in parts", {"incr-targets", "300000"}, How::whole, "named among many", 1, "more than", 8000},
    };
    const int pastes = 5;
    for (const Row& row : rows) {
        StandIn owner = startStandIn(row.owner);
        if (!owner.pid) return row.name;
        long first = 0;
        long long slowest = 0;
        for (int paste = 0; paste < pastes; ++paste) {
            ErrorLines errors;
            const auto start = std::chrono::steady_clock::now();
            if (row.itemsFirst) {
                std::optional<Pasteboard::ReadEnd> itemsEnd;
                board.requestItems({[&](Pasteboard::Items, Pasteboard::ReadEnd end) { itemsEnd = end; }});
                if (!wait([&] { return itemsEnd.has_value(); }) || !itemsEnd->whole()) return owner.end(), row.name;
            }
            const TextRead read = textRead(board);
            slowest = std::max(slowest, msSince(start));
            const auto lines = errors.lines();
            if (paste == 0) first = memoryMiB("VmRSS");
            const bool said = lines.size() == row.lines && (row.lines == 0 || lines[0].find(row.says) != std::string::npos);
            if (!read.end || read.end->how != row.how || read.text != row.text || !said) {
                std::printf("pasteboard-probe: %s: ended %d with \"%s\", %zu lines in the log%s%s", row.name,
                            read.end ? static_cast<int>(read.end->how) : -1, read.text.c_str(), lines.size(),
                            lines.empty() ? "\n" : ", the first: ", lines.empty() ? "" : lines[0].c_str());
                return owner.end(), row.name;
            }
        }
        const long grew = memoryMiB("VmRSS") - first;
        owner.end();
        std::printf("pasteboard-probe: %s: %d pastes, the slowest %lld ms, the memory grew %ld MiB after the first\n", row.name,
                    pastes, slowest, grew);
        if (slowest > row.ceilingMs || grew > 4) return row.name;
    }
    return "";
}

// A reader that holds all it may ahead of its child: the owner is asked for no next part until
// there is room, however long that takes (the wait is not the owner's), on the plain path and
// the converted one alike; memory stays within the read-ahead; room made goes on.
const char* readAheadKept(Pasteboard& board) {
    struct Row {
        const char* name;
        std::vector<const char*> owner;
        const char* starts;
        long long fullMs;
    };
    const Row rows[] = {
        {"an endless UTF-8 owner", {"endless-utf8"}, "caf\xc3\xa9 \xd0\x9f\n", stepLimit + 1000},
        {"an endless COMPOUND_TEXT owner", {"endless-ct"}, "caf\xc3\xa9 \xd0\x9f\xd1\x80", 1000},
    };
    const size_t aheadBytes = size_t{4} << 20;
    for (const Row& row : rows) {
        StandIn owner = startStandIn(row.owner);
        if (!owner.pid) return row.name;
        auto ahead = std::make_shared<Pasteboard::ReadAhead>(aheadBytes);
        resetPeak();
        const long before = peakMiB();
        size_t came = 0;
        std::string head;
        std::optional<Pasteboard::ReadEnd> end;
        Pasteboard::CancelRead cancel = board.requestText({[&](std::string piece) {
                                                               came += piece.size();
                                                               if (head.size() < 64) head += piece.substr(0, 64);
                                                               ahead->setHeld(ahead->held() + piece.size());
                                                           },
                                                           [&](Pasteboard::ReadEnd how) { end = how; }, ahead});
        const bool filled = wait([&] { return ahead->full(); });
        settle();
        const int asked = owner.askedSoFar();
        const size_t held = came;
        wait([] { return false; }, std::chrono::milliseconds(row.fullMs));
        const bool waited = !end && came == held && owner.askedSoFar() == asked;
        const bool bounded = held < aheadBytes + (size_t{256} << 10);
        // The child takes it all: the owner is asked again at once.
        ahead->setHeld(0);
        const bool wentOn = wait([&] { return owner.askedSoFar() > asked && came > held; }, 2s);
        if (cancel) cancel();
        const long grew = peakMiB() - before;
        owner.end();
        std::printf("pasteboard-probe: %s, its reader full: %zu bytes held, %d parts asked, none more in %lld ms; the "
                    "peak memory grew %ld MiB\n",
                    row.name, held, asked, row.fullMs, grew);
        if (!filled || !waited || !bounded || !wentOn || grew > 48 || head.rfind(row.starts, 0) != 0) return row.name;
    }
    return "";
}

// Reads from owners that misbehave; an empty text when every read ended as it should.
const char* boundedReads(Pasteboard& board) {
    // Known to be too large from the start of the transfer: nothing of it comes.
    pid_t owner = startOwner("--own");
    if (!owner) return "the owner did not take the clipboard";
    board.setTextLimit(text.size() / 2);
    TextRead read = textRead(board);
    board.setTextLimit(Pasteboard::textBytesLimit);
    if (!read.end || read.end->how != How::tooLarge || read.end->bytes != 0 || read.end->size < text.size() / 2)
        return end(owner), "a text known to pass the limit was not refused whole";
    // Killed after its first part: the read ends at once, with what came.
    auto start = std::chrono::steady_clock::now();
    read = textRead(board, [&] { end(owner); });
    const long long gone = msSince(start);
    if (!read.end || read.end->how != How::gone || read.end->bytes == 0 || read.end->bytes >= text.size() ||
        read.end->bytes != read.text.size())
        return "an owner killed part-way did not end the read with what came";
    const size_t came = read.end->bytes;
    // One that dies inside a character: the read is gone, not whole, with every byte that came, so
    // that the paste cuts the character rather than sending it broken.
    for (const char* count : {"1", "2", "3"}) {
        StandIn dying = startStandIn({"die-utf8", count});
        if (!dying.pid) return "the owner that dies inside a character did not take the clipboard";
        read = textRead(board);
        dying.end();
        const std::string sent = std::string(5000, 'a') + std::string("\xf0\x9f\x99\x82").substr(0, std::strtoul(count, nullptr, 10));
        if (!read.end || read.end->how != How::gone || read.text != sent || read.end->bytes != sent.size())
            return "an owner that died inside a character did not end the read as gone with what came";
    }
    // One that never answers: its targets, its items and its text each give up within the limit.
    owner = startOwner("--own-hung");
    if (!owner) return "the hung owner did not take the clipboard";
    start = std::chrono::steady_clock::now();
    std::optional<Pasteboard::ReadEnd> itemsEnd;
    board.requestItems({[&](Pasteboard::Items, Pasteboard::ReadEnd end) { itemsEnd = end; }});
    wait([&] { return itemsEnd.has_value(); }, 30s);
    const long long items = msSince(start);
    start = std::chrono::steady_clock::now();
    read = textRead(board);
    const long long silent = msSince(start);
    end(owner);
    std::printf("pasteboard-probe: an owner killed part-way ended the read in %lld ms (%zu bytes came); one that never "
                "answers ended the items' read in %lld ms, the text's in %lld ms\n",
                gone, came, items, silent);
    if (!itemsEnd || itemsEnd->how != How::noAnswer || items < stepLimit - 200 || items > stepLimit + 1500)
        return "the items of an owner that never answers were not given up at the step limit";
    if (!read.end || read.end->how != How::noAnswer || silent < stepLimit - 200 || silent > stepLimit + 1500)
        return "the text of an owner that never answers was not given up at the step limit";
    for (auto* check : {ownersThatWork, endlessFallback, cancelledReads, hostileAnswers, readAheadKept}) {
        if (const char* failure = check(board); *failure) return failure;
    }
    return "";
}

// `--read-once`, on any display (Wayland's above all), as the program would be: a window reads the
// clipboard once and says how it ended, how long it took and how much memory it took at most
// (`--cancel-after MS` lets the read go then, `--limit BYTES` sets the pasteboard's limit,
// `--linger MS` stays that long after the end, to see that nothing more comes, `--read items`
// reads the URIs and picture instead of the text, `--ahead BYTES` keeps the read to a read-ahead
// that a tile's child empties at `--drain BYTES` a second, `--busy MS` keeps the loop that long
// with each piece, as a window at work does, so that the owner writes faster than it is read).
int readOnce(int argc, char** argv) {
    if (!platform::ui::gtk::Toolkit::start(&argc, &argv)) return fail("no display");
    long long cancelAfter = -1;
    long long linger = 300;
    bool items = false;
    size_t drain = 0;
    long long busy = 0;
    std::shared_ptr<Pasteboard::ReadAhead> ahead;
    auto& board = Pasteboard::general();
    for (int at = 2; at + 1 < argc; at += 2) {
        if (std::string(argv[at]) == "--cancel-after") cancelAfter = std::atoll(argv[at + 1]);
        if (std::string(argv[at]) == "--linger") linger = std::atoll(argv[at + 1]);
        if (std::string(argv[at]) == "--limit") board.setTextLimit(std::strtoull(argv[at + 1], nullptr, 10));
        if (std::string(argv[at]) == "--read") items = std::string(argv[at + 1]) == "items";
        if (std::string(argv[at]) == "--ahead")
            ahead = std::make_shared<Pasteboard::ReadAhead>(std::strtoull(argv[at + 1], nullptr, 10));
        if (std::string(argv[at]) == "--drain") drain = std::strtoull(argv[at + 1], nullptr, 10);
        if (std::string(argv[at]) == "--busy") busy = std::atoll(argv[at + 1]);
    }
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_show(window);
    // A compositor without a keyboard may never say the window is active: the read is tried anyway.
    const bool active = wait([&] { return gtk_window_is_active(GTK_WINDOW(window)); }, 3s);
    settle();
    resetPeak();
    const long before = peakMiB();
    std::string head;
    size_t came = 0;
    size_t picture = 0;
    std::optional<Pasteboard::ReadEnd> end;
    const auto start = std::chrono::steady_clock::now();
    // What came is held, as a tile holds it, until its child takes it at `drain` bytes a second:
    // the peak memory is that of the program, the text's included.
    size_t taken = 0;
    std::deque<std::string> held;
    size_t takenOfFront = 0;
    auto tick = std::chrono::steady_clock::now();
    std::function<void()> hold = [&] {
        const long long ms = msSince(tick);
        tick += std::chrono::milliseconds(ms);
        const size_t now = std::min(came, taken + drain * static_cast<size_t>(ms) / 1000);
        for (size_t gone = now - taken; gone > 0 && !held.empty();) {
            const size_t n = std::min(gone, held.front().size() - takenOfFront);
            takenOfFront += n;
            gone -= n;
            if (takenOfFront == held.front().size()) {
                held.pop_front();
                takenOfFront = 0;
            }
        }
        taken = now;
        if (ahead) ahead->setHeld(came - taken);
    };
    const guint drainTick = ahead ? g_timeout_add(
                                        10,
                                        [](gpointer data) -> gboolean {
                                            (*static_cast<std::function<void()>*>(data))();
                                            return G_SOURCE_CONTINUE;
                                        },
                                        &hold)
                                  : 0;
    Pasteboard::CancelRead cancel =
        items ? board.requestItems({[&](Pasteboard::Items read, Pasteboard::ReadEnd how) {
                                        picture = read.png ? read.png->size() : 0;
                                        end = how;
                                    },
                                    [&](size_t bytes) { came = bytes; }})
              : board.requestText({[&](std::string piece) {
                                       came += piece.size();
                                       if (head.size() < 24) head += piece.substr(0, 24 - head.size());
                                       held.push_back(std::move(piece));
                                       hold();
                                       if (busy > 0) ::usleep(static_cast<useconds_t>(busy * 1000));
                                   },
                                   [&](Pasteboard::ReadEnd how) { end = how; }, ahead});
    if (cancelAfter >= 0) {
        wait([&] { return end.has_value(); }, std::chrono::milliseconds(cancelAfter));
        if (!end && cancel) cancel();
    }
    wait([&] { return end.has_value(); }, 120s);
    const long long took = msSince(start);
    // Nothing may come after the end.
    const size_t atEnd = came;
    wait([] { return false; }, std::chrono::milliseconds(linger));
    if (drainTick) g_source_remove(drainTick);
    for (char& c : head) {
        if (c == '\n') c = ' ';
    }
    std::printf("active=%d how=%d bytes=%zu came=%zu after=%zu ms=%lld peakMiB=%ld png=%zu head=%s\n", active,
                end ? static_cast<int>(end->how) : -1, end ? end->bytes : 0, atEnd, came - atEnd, took, peakMiB() - before,
                picture, head.c_str());
    return end ? 0 : 1;
}

// `--copy-out FILE`: a window of this program copies the file's text, as a copy in a tile does, and
// holds the clipboard until it is ended; "owning" once the compositor has the copy.
int copyOut(int argc, char** argv) {
    if (!platform::ui::gtk::Toolkit::start(&argc, &argv)) return fail("no display");
    std::ifstream file(argv[2], std::ios::binary);
    const std::string copied((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!file) return fail("the text to copy could not be read");
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_show(window);
    wait([&] { return gtk_window_is_active(GTK_WINDOW(window)); }, 3s);
    Pasteboard::general().setString(copied);
    gdk_display_sync(gdk_display_get_default());
    std::printf("owning bytes=%zu\n", copied.size());
    std::fflush(stdout);
    gtk_main();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--read-once") return readOnce(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "--copy-out") return copyOut(argc, argv);
    if (argc == 2 && std::string(argv[1]) == "--own") return ownInSecondProcess(false);
    if (argc == 2 && std::string(argv[1]) == "--own-hung") return ownInSecondProcess(true);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
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
    if (!read.end || !read.end->whole() || read.text != text) return fail("the other process's text differs");
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
    if (const char* failure = boundedReads(board); *failure) return fail(failure);
    std::puts("pasteboard-probe: ok");
    return 0;
}
