// Copy, paste, select all and what the menus may do.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "support/InputTestSupport.h"

using namespace vantel;
using namespace vantel::testing;
using platform::ui::Pasteboard;
using Item = TerminalView::UserInterfaceItem;
using How = Pasteboard::ReadEnd::How;

namespace {

// A clipboard that answers later, as another program's does, in the pieces the test hands over.
// Every read can be let go of, and says so: "text 0", "items 1"…
class LateClipboard : public Pasteboard::Backend {
public:
    void write(const std::optional<std::string>& text) override { held = text; }
    Pasteboard::CancelRead readItems(Pasteboard::ItemsReader reader) override {
        if (!holdItems) {
            reader.done({}, {});
            return {};
        }
        items.push_back(std::move(reader));
        return [this, read = items.size() - 1] { cancelled.push_back("items " + std::to_string(read)); };
    }
    Pasteboard::CancelRead readText(Pasteboard::TextReader reader, size_t most) override {
        limit = most;
        pending.push_back(std::move(reader));
        return [this, read = pending.size() - 1] { cancelled.push_back("text " + std::to_string(read)); };
    }
    // The owner hands over these pieces and ends as `how` says.
    void answer(size_t read, std::vector<std::string> pieces, How how = How::whole) {
        for (std::string& piece : pieces) pending[read].piece(std::move(piece));
        pending[read].end({how});
    }
    std::optional<std::string> held;
    std::vector<Pasteboard::TextReader> pending;
    bool holdItems = false;
    std::vector<Pasteboard::ItemsReader> items;
    std::vector<std::string> cancelled;
    size_t limit = 0;
};

// An owner of `size` bytes of a known text (a cap of the read's limit: an endless one), handing
// them over in pieces while its reader has room, and waiting for room when it has none, as the
// backends do. It never goes on once the read was let go of.
struct PumpingOwner {
    Pasteboard::TextReader reader;
    size_t size = 0, piece = 0, limit = 0;
    size_t given = 0;
    bool endless = false;
    size_t mostHeld = 0;
    static char at(size_t i) { return static_cast<char>('a' + (i * 7 + i / 26) % 26); }
    static std::string text(size_t from, size_t length) {
        std::string out(length, ' ');
        for (size_t i = 0; i < length; ++i) out[i] = at(from + i);
        return out;
    }
    void go() {
        const size_t end = endless ? limit : std::min(size, limit);
        // A reader without a window takes all there is.
        while (given < end && !(reader.ahead && reader.ahead->full())) {
            const size_t length = std::min(piece, end - given);
            given += length;
            reader.piece(text(given - length, length));
            if (reader.ahead) mostHeld = std::max(mostHeld, reader.ahead->held());
        }
        if (given == end) return reader.end({endless || size > limit ? How::tooLarge : How::whole});
        reader.ahead->whenRoom([this] { go(); });
    }
};

// A view (in `mode`) whose clipboard belongs to another program.
struct LatePaste : InputFixture {
    LateClipboard* clipboard;
    explicit LatePaste(const char* mode) {
        view.feed(mode);
        take();
        auto backend = std::make_unique<LateClipboard>();
        clipboard = backend.get();
        Pasteboard::general().setBackend(std::move(backend));
    }
    ~LatePaste() { Pasteboard::general().setBackend(nullptr); }
};

// An owner whose writer holds what the view hands over until its child reads it, up to `limit`
// bytes, and takes back pasted text it holds, as a local process does.
struct WriterOwner : RecordingViewOwner {
    struct Write {
        std::string bytes;
        uint64_t paste = 0;
        bool whenRead = false;
    };
    void send(TerminalView& source, std::span<const uint8_t> data) override { sendPasted(source, data, 0); }
    void sendWhenRead(TerminalView& source, std::span<const uint8_t> data) override {
        sendPasted(source, data, 0);
        writes.back().whenRead = true;
        whenRead += std::string(data.begin(), data.end());
    }
    void sendInsisting(TerminalView& source, std::span<const uint8_t> data) override {
        sendPasted(source, data, 0);
        insisted += std::string(data.begin(), data.end());
    }
    void sendPasted(TerminalView&, std::span<const uint8_t> data, uint64_t paste) override {
        writes.push_back({std::string(data.begin(), data.end()), paste});
        queued += data.size();
    }
    size_t inputRoom(TerminalView&) override { return limit - std::min(limit, queued); }
    size_t inputUnread(TerminalView&) override { return queued; }
    std::map<uint64_t, size_t> takeBackPastes(TerminalView&, bool& flushed) override {
        flushed = false;
        std::map<uint64_t, size_t> taken;
        for (auto write = writes.begin(); write != writes.end();) {
            // The front write's read part stays.
            const size_t keep = write == writes.begin() ? readOfFront : 0;
            if (!write->paste || write->bytes.size() == keep) {
                ++write;
                continue;
            }
            taken[write->paste] += write->bytes.size() - keep;
            queued -= write->bytes.size() - keep;
            if (keep) {
                write->bytes.resize(keep);
                ++write;
            } else {
                write = writes.erase(write);
            }
        }
        return taken;
    }
    // The child reads up to `bytes`.
    void childReads(size_t bytes) {
        while (bytes > 0 && !writes.empty()) {
            const size_t n = std::min(bytes, writes.front().bytes.size() - readOfFront);
            read += writes.front().bytes.substr(readOfFront, n);
            readOfFront += n;
            queued -= n;
            bytes -= n;
            if (readOfFront == writes.front().bytes.size()) {
                writes.pop_front();
                readOfFront = 0;
            }
        }
    }
    std::deque<Write> writes;
    size_t readOfFront = 0, queued = 0, limit = 256 << 10;
    std::string read;
    // What went once the child had read what came before it.
    std::string whenRead;
    std::string insisted;
};

}  // namespace

TEST(TerminalViewClipboard, Validation) {
    InputFixture f;
    f.view.feed("text");
    const struct {
        Item item;
        bool withoutSelection, withSelection;
    } cases[] = {
        {{"copy:", 0, {}}, false, true},
        {{"paste:", 0, {}}, true, true},
        {{"selectAll:", 0, {}}, true, true},
        {{"performFindPanelAction:", 1, {}}, true, true},
        {{"performFindPanelAction:", 3, {}}, true, true},
        {{"performFindPanelAction:", 7, {}}, false, true},
        {{"performFindPanelAction:", 11, {}}, false, false},
        {{"performTextFinderAction:", 11, {}}, true, true},
        {{"performTextFinderAction:", 13, {}}, true, true},
        {{"performTextFinderAction:", 7, {}}, false, true},
        {{"performTextFinderAction:", 4, {}}, false, false},
    };
    for (const auto& c : cases) {
        f.view.selectNone();
        EXPECT_EQ(f.view.validateUserInterfaceItem(c.item), c.withoutSelection) << c.item.action << c.item.tag;
        f.view.selectAll();
        EXPECT_EQ(f.view.validateUserInterfaceItem(c.item), c.withSelection) << c.item.action << c.item.tag;
    }
    // What the view does not know is disabled, with one line on standard output.
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(f.view.validateUserInterfaceItem({"cut:", 0, "Cut"}));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Validating User Interface Item: Cut\n");
}

TEST(TerminalViewClipboard, CopyWritesEvenAnEmptySelection) {
    InputFixture f(20, 4);
    f.view.feed("hello world");
    Pasteboard::general().setString("before");
    f.view.copy();
    ASSERT_TRUE(Pasteboard::general().string().has_value());
    EXPECT_EQ(*Pasteboard::general().string(), "");
    f.view.selection().setSelection({6, 0}, {11, 0});
    f.view.copy();
    EXPECT_EQ(*Pasteboard::general().string(), "world");
    // The menu command of a disabled Copy does nothing.
    f.view.selectNone();
    EXPECT_FALSE(f.view.performMenuAction({"copy:", 0, {}}));
    EXPECT_EQ(*Pasteboard::general().string(), "world");
}

TEST(TerminalViewClipboard, PasteArrivesLaterAndIsFramed) {
    LatePaste f("\x1b[?2004h");
    f.view.paste();
    EXPECT_EQ(f.take(), "") << "nothing until the text arrives";
    ASSERT_EQ(f.clipboard->pending.size(), 1u);
    f.clipboard->answer(0, {"abc"});
    EXPECT_EQ(f.take(), "\x1b[200~abc\x1b[201~");
    // Nothing textual: an empty paste.
    f.view.paste();
    f.clipboard->answer(1, {});
    EXPECT_EQ(f.take(), "\x1b[200~\x1b[201~");
    // A view gone before the text came hears nothing of it.
    {
        InputFixture gone;
        Pasteboard::general().ownerDidChange();
        gone.view.paste();
    }
    ASSERT_EQ(f.clipboard->pending.size(), 3u);
    f.clipboard->answer(2, {"late"});
}

// Another program's text goes out as its pieces come, filtered as the whole would be; keys typed
// meanwhile wait behind it. An owner that breaks off still leaves a closed paste; one that sent
// nothing leaves nothing, and the keys go at once. The owner hears how the read ended.
// A key never waits long: an owner slow to start lets it go first, one that trickles is cut when
// the key has waited its limit, and Ctrl+C cuts the paste at once, going after it.
TEST(TerminalViewClipboard, PastedPiecesGoOutAsTheyCome) {
    using namespace std::chrono_literals;
    const struct {
        const char* name;
        const char* mode;
        std::vector<std::string> pieces;
        How how;
        std::string firstOut;  // after the first piece
        std::string out;       // then, with the key typed after the paste
        // The first piece comes `late` after the paste key (typed at once), each next `every` later.
        std::chrono::milliseconds late = 0ms, every = 0ms;
        const char* typedAfterFirst = "";  // "^C": Ctrl+C
        std::optional<Pasteboard::ReadEnd> endsAs = std::nullopt;  // when the view cut the read
        PasteStop stop = PasteStop::none;
        // What the child takes until the read ended (then all).
        size_t room = SIZE_MAX;
        // What the paste's end says went out, where not every byte read did.
        std::optional<size_t> went = std::nullopt;
    } cases[] = {
        {"Bracketed", "\x1b[?2004h", {"ab", "cd"}, How::whole, "\x1b[200~ab", "cd\x1b[201~k"},
        {"Plain", "", {"ab", "cd"}, How::whole, "ab", "cdk"},
        // A character cut between pieces waits for its rest; controls are dropped wherever they fall.
        {"CutCharacter", "", {"\xe2\x82", "\xac\x1b[201~\x03"}, How::whole, "", "\xe2\x82\xac[201~k"},
        // A text that ends inside a character was cut by its owner (one that went away from a pipe
        // reads as whole): nothing of the character goes, and the read is told as cut.
        {"CutAtTheEnd", "", {"a\xe2\x82"}, How::whole, "a", "k", 0ms, 0ms, "", Pasteboard::ReadEnd{How::gone, 3},
         PasteStop::none, SIZE_MAX, 1},
        {"CutAtTheEndFramed", "\x1b[?2004h", {"a", "\xf0\x9f\x99"}, How::whole, "\x1b[200~a", "\x1b[201~k", 0ms, 0ms, "",
         Pasteboard::ReadEnd{How::gone, 4}, PasteStop::none, SIZE_MAX, 1},
        {"OwnerGoneInsideACharacter", "", {"a\xc3"}, How::gone, "a", "k", 0ms, 0ms, "", std::nullopt, PasteStop::none,
         SIZE_MAX, 1},
        {"OwnerGoneInsideACharacterFramed", "\x1b[?2004h", {"ab\xe2\x80"}, How::gone, "\x1b[200~ab", "\x1b[201~k", 0ms,
         0ms, "", std::nullopt, PasteStop::none, SIZE_MAX, 2},
        {"CutAtTheLimitInsideACharacter", "\x1b[?2004h", {"a\xe2"}, How::tooLarge, "\x1b[200~a", "\x1b[201~k", 0ms, 0ms,
         "", std::nullopt, PasteStop::none, SIZE_MAX, 1},
        {"Stopped", "\x1b[?2004h", {"ab"}, How::stopped, "\x1b[200~ab", "\x1b[201~k"},
        {"OwnerGone", "\x1b[?2004h", {"ab", "c"}, How::gone, "\x1b[200~ab", "c\x1b[201~k"},
        {"CutAtTheLimit", "\x1b[?2004h", {"ab"}, How::tooLarge, "\x1b[200~ab", "\x1b[201~k"},
        {"OnlyControls", "\x1b[?2004h", {"\x1b\x03"}, How::whole, "", "\x1b[200~\x1b[201~k"},
        {"EmptyClipboard", "\x1b[?2004h", {}, How::whole, "", "\x1b[200~\x1b[201~k"},
        {"NoAnswer", "\x1b[?2004h", {}, How::noAnswer, "", "k"},
        {"TooLargeToStart", "\x1b[?2004h", {}, How::tooLarge, "", "k"},
        // Late: the key goes at 2 s, the text after it when it comes, a key typed then behind it.
        {"LateFirstPart", "\x1b[?2004h", {"ab", "cd"}, How::whole, "k\x1b[200~ab", "cd\x1b[201~j", 2500ms, 0ms, "j"},
        {"LateEmptyClipboard", "\x1b[?2004h", {}, How::whole, "k", "\x1b[200~\x1b[201~", 3000ms},
        {"HungOwner", "\x1b[?2004h", {}, How::noAnswer, "k", "", 10000ms},
        {"Trickle", "\x1b[?2004h", {"a", "b", "c"}, How::whole, "\x1b[200~a", "b\x1b[201~k", 0ms, 9000ms, "",
         Pasteboard::ReadEnd{How::cancelled, 2}, PasteStop::keysWaited},
        {"CtrlC", "\x1b[?2004h", {"ab", "cd"}, How::whole, "\x1b[200~ab", "\x1b[201~k\x03", 0ms, 0ms, "^C",
         Pasteboard::ReadEnd{How::cancelled, 2}, PasteStop::interrupted},
        {"CtrlCUnderTheKeyboardProtocol", "\x1b[?2004h\x1b[>1u", {"ab"}, How::whole, "\x1b[200~ab", "\x1b[201~k\x1b[99;5u",
         0ms, 0ms, "^C", Pasteboard::ReadEnd{How::cancelled, 2}, PasteStop::interrupted},
        {"CtrlCBeforeTheFirstPart", "\x1b[?2004h", {}, How::whole, "", "k\x03", 0ms, 0ms, "^C",
         Pasteboard::ReadEnd{How::cancelled, 0}, PasteStop::interrupted},
        // Stopped inside a character, for a program that reads raw: nothing of the character goes
        // (no replacement character), and it is not told as gone.
        {"CtrlCInsideACharacter", "", {"a\xe2\x82"}, How::whole, "a", "k\x03", 0ms, 0ms, "^C",
         Pasteboard::ReadEnd{How::cancelled, 3}, PasteStop::interrupted, SIZE_MAX, 1},
        {"CtrlCInsideACharacterFramed", "\x1b[?2004h", {"a\xe2\x82"}, How::whole, "\x1b[200~a", "\x1b[201~k\x03", 0ms, 0ms,
         "^C", Pasteboard::ReadEnd{How::cancelled, 3}, PasteStop::interrupted, SIZE_MAX, 1},
        // An answer of a type not asked for ends the read: what came is closed as a paste.
        {"WrongType", "\x1b[?2004h", {"ab"}, How::wrongType, "\x1b[200~ab", "\x1b[201~k"},
        {"WrongTypeAtOnce", "\x1b[?2004h", {}, How::wrongType, "", "k"},
        // A child that reads nothing for 12 s: the key waits on it, not on the owner, and is not
        // a reason to cut the paste; it goes once the child took the whole.
        {"SlowChild", "\x1b[?2004h", {"ab", "cd"}, How::whole, "", "\x1b[200~abcd\x1b[201~k", 0ms, 12000ms, "",
         std::nullopt, PasteStop::none, 0},
    };
    for (const auto& c : cases) {
        LatePaste f(c.mode);
        std::optional<Pasteboard::ReadEnd> ended;
        PasteStop stop = PasteStop::none;
        size_t sent = SIZE_MAX;
        f.owner.room = c.room;
        f.view.pasteText(Pasteboard::general(), *c.mode != 0, true, std::nullopt,
                         [&](const Pasteboard::ReadEnd& end, PasteStop why, size_t gone) { ended = end, stop = why, sent = gone; });
        f.view.send(std::string_view("k"));
        EXPECT_EQ(f.take(), "") << c.name << ": the key waits for the paste";
        size_t bytes = 0;
        for (const std::string& piece : c.pieces) bytes += piece.size();
        f.loop.advance(c.late);
        if (!c.pieces.empty()) f.clipboard->pending[0].piece(c.pieces[0]);
        EXPECT_EQ(f.take(), c.firstOut) << c.name;
        if (std::string_view(c.typedAfterFirst) == "^C") f.window.sendKeyEvent(typed("c", Mod::control));
        else f.view.send(std::string_view(c.typedAfterFirst));
        for (size_t i = 1; i < c.pieces.size(); ++i) {
            f.loop.advance(c.every);
            f.clipboard->pending[0].piece(c.pieces[i]);
        }
        f.clipboard->pending[0].end({c.how});
        if (c.room != SIZE_MAX) {
            EXPECT_FALSE(ended) << c.name << ": told once the last byte went out";
            f.owner.room = SIZE_MAX;
            f.loop.advance(20ms);
        }
        EXPECT_EQ(f.take(), c.out) << c.name;
        EXPECT_EQ(f.view.pasteBytesWaiting(), 0u) << c.name;
        EXPECT_EQ(ended, c.endsAs.value_or(Pasteboard::ReadEnd{c.how, bytes, std::nullopt})) << c.name;
        EXPECT_EQ(stop, c.stop) << c.name;
        // Every byte read went out: Ctrl+C came when nothing waited.
        EXPECT_EQ(sent, c.went.value_or(ended ? ended->bytes : SIZE_MAX)) << c.name;
    }
    // A paste that must not send a bare frame (a tile's) sends nothing for a text of controls.
    {
        LatePaste f("");
        f.view.pasteText(Pasteboard::general(), true, false);
        f.clipboard->answer(0, {"\x1b", "\x03"});
        f.view.send(std::string_view("k"));
        EXPECT_EQ(f.take(), "k");
    }
    // Without the bracket the keyboard protocol sends the paste as one text event: the whole of it.
    LatePaste f("\x1b[>1u");
    f.view.paste();
    f.clipboard->pending[0].piece("a");
    EXPECT_EQ(f.take(), "");
    f.clipboard->answer(0, {"bc"});
    EXPECT_EQ(f.take(), "abc");
}

// Each paste reads no faster than its tile takes it: an owner is asked for more only while the
// text of its paste still waiting stays under the window, so what is held never passes the window
// and a piece, however large or endless the clipboard and however many pastes wait; the front one
// always goes on, the child gets every byte in order, and a read let go of asks for nothing more.
TEST(TerminalViewClipboard, AReadKeepsToItsWindow) {
    using namespace std::chrono_literals;
    constexpr size_t window = 64 << 10, piece = 4 << 10, limit = 1 << 20;
    const struct {
        const char* name;
        size_t size;         // of each owner's text; 0: endless (cut at the limit)
        int presses;         // pastes one after another, each of its own owner
        size_t childTakes;   // bytes every 5 ms; SIZE_MAX: all at once
        int ctrlCAfter = 0;  // steps of 5 ms, then Ctrl+C
    } cases[] = {
        {"FastChild", limit / 2, 1, SIZE_MAX},
        {"SlowChild", limit / 2, 1, 16 << 10},
        {"EndlessOwner", 0, 1, 16 << 10},
        {"ThreePressesOnAnEndlessClipboard", 0, 3, 16 << 10},
        {"CtrlC", 0, 1, 16 << 10, 20},
    };
    for (const auto& c : cases) {
        LatePaste f("\x1b[?2004h");
        Pasteboard::general().setTextLimit(limit);
        f.view.setPasteReadAhead(window);
        f.owner.room = c.childTakes;
        std::deque<PumpingOwner> owners;
        std::vector<std::optional<Pasteboard::ReadEnd>> ends(static_cast<size_t>(c.presses));
        for (int press = 0; press < c.presses; ++press) {
            f.view.pasteText(Pasteboard::general(), true, true, std::nullopt,
                             [&ends, press](const Pasteboard::ReadEnd& end, PasteStop, size_t) { ends[static_cast<size_t>(press)] = end; });
            owners.push_back({std::move(f.clipboard->pending.back()), c.size, piece, f.clipboard->limit});
            owners.back().endless = c.size == 0;
        }
        for (PumpingOwner& owner : owners) owner.go();
        size_t mostWaiting = f.view.pasteBytesWaiting();
        int steps = 0;
        const auto over = [&] {
            for (const auto& end : ends) {
                if (!end) return false;
            }
            return f.view.pasteBytesWaiting() == 0;
        };
        for (; !over() && steps < 10'000; ++steps) {
            if (c.ctrlCAfter && steps == c.ctrlCAfter) f.window.sendKeyEvent(typed("c", Mod::control));
            if (c.childTakes != SIZE_MAX) f.owner.room = c.childTakes;
            f.loop.advance(5ms);
            mostWaiting = std::max(mostWaiting, f.view.pasteBytesWaiting());
        }
        ASSERT_TRUE(over()) << c.name << ": every paste went out";
        for (const PumpingOwner& owner : owners) EXPECT_LT(owner.mostHeld, window + piece) << c.name;
        EXPECT_LT(mostWaiting, static_cast<size_t>(c.presses) * (window + piece) + 64) << c.name;
        const std::string sent = f.take();
        if (c.ctrlCAfter) {
            // Cut where it stood, what came and had not gone dropped; the owner asked for nothing more.
            EXPECT_EQ(ends[0]->how, How::cancelled) << c.name;
            EXPECT_EQ(f.clipboard->cancelled, std::vector<std::string>{"text 0"}) << c.name;
            EXPECT_LT(owners[0].given, sent.size() - 13 + window + piece) << c.name;
            EXPECT_GT(owners[0].given, sent.size() - 13) << c.name << ": some was dropped";
            EXPECT_EQ(sent.substr(sent.size() - 7), "\x1b[201~\x03") << c.name;
            EXPECT_EQ(sent.substr(6, sent.size() - 13), PumpingOwner::text(0, sent.size() - 13)) << c.name;
            continue;
        }
        std::string expected;
        for (const PumpingOwner& owner : owners) expected += "\x1b[200~" + PumpingOwner::text(0, owner.given) + "\x1b[201~";
        EXPECT_EQ(sent.size(), expected.size()) << c.name;
        EXPECT_TRUE(sent == expected) << c.name << ": every byte in order";
        for (size_t press = 0; press < owners.size(); ++press) {
            EXPECT_EQ(owners[press].given, c.size ? c.size : limit) << c.name;
            EXPECT_EQ(ends[press]->how, c.size ? How::whole : How::tooLarge) << c.name;
        }
        // The child's pace, not the owner's: a slow child takes as many steps as its text needs.
        if (c.childTakes != SIZE_MAX) {
            EXPECT_GE(static_cast<size_t>(steps + 1) * c.childTakes, owners.size() * owners[0].given) << c.name;
        }
    }
    Pasteboard::general().setTextLimit(Pasteboard::textBytesLimit);
}

// A stop drops every byte of the paste the program holds, the writer's too, and tells its owner at
// once what reached the child, whatever the child reads: what is sent next (the Ctrl+C) goes next,
// after the paste's frame, and keys typed after the paste stay after it.
TEST(TerminalViewClipboard, AStopDropsWhatTheWriterHolds) {
    using namespace std::chrono_literals;
    const struct {
        const char* name;
        size_t childReads;  // every 5 ms
        PasteStop stop;
        const char* typedAfter = "";
        // The program stops reading pastes framed before the Ctrl+C: its key need not wait.
        bool framesOffFirst = false;
    } cases[] = {
        {"CtrlC, a slow child", 16 << 10, PasteStop::interrupted},
        {"CtrlC, a child that reads nothing", 0, PasteStop::interrupted},
        {"CtrlC, a key typed after the paste", 16 << 10, PasteStop::interrupted, "k"},
        {"CtrlC, frames turned off meanwhile", 16 << 10, PasteStop::interrupted, "", true},
        {"The child ends", 16 << 10, PasteStop::ended},
    };
    const std::string text = PumpingOwner::text(0, 1 << 20);
    for (const auto& c : cases) {
        LatePaste f("\x1b[?2004h");
        WriterOwner writer;
        f.view.setTerminalDelegate(&writer);
        std::optional<Pasteboard::ReadEnd> ended;
        PasteStop stop = PasteStop::none;
        size_t sent = SIZE_MAX;
        f.view.pasteText(Pasteboard::general(), true, true, std::nullopt,
                         [&](const Pasteboard::ReadEnd& end, PasteStop why, size_t gone) { ended = end, stop = why, sent = gone; });
        std::vector<std::string> pieces;
        for (size_t at = 0; at < text.size(); at += 64 << 10) pieces.push_back(text.substr(at, 64 << 10));
        f.clipboard->answer(0, pieces);
        for (int step = 0; step < 10; ++step) {
            writer.childReads(c.childReads);
            f.loop.advance(5ms);
        }
        f.view.send(std::string_view(c.typedAfter));
        EXPECT_FALSE(ended) << c.name;
        const size_t readBefore = writer.read.size();
        if (c.framesOffFirst) f.view.feed("\x1b[?2004l");
        if (c.stop == PasteStop::interrupted) f.window.sendKeyEvent(typed("c", Mod::control));
        else f.view.stopPastes(c.stop);
        // The Ctrl+C goes once the child has read the paste's end, not the keys typed before it.
        EXPECT_EQ(writer.whenRead, c.stop == PasteStop::interrupted && !c.framesOffFirst ? "\x03" : "") << c.name;
        f.loop.runPending();
        // Told at once, the child reading nothing more meanwhile.
        ASSERT_TRUE(ended) << c.name;
        EXPECT_EQ(stop, c.stop) << c.name;
        EXPECT_EQ(ended->bytes, text.size()) << c.name;
        EXPECT_EQ(writer.read.size(), readBefore) << c.name;
        // What reached the child: the frame's start, and the text it read.
        EXPECT_EQ(sent, readBefore > 6 ? readBefore - 6 : 0) << c.name;
        writer.childReads(SIZE_MAX);
        const std::string after = writer.read.substr(readBefore);
        std::string tail = c.stop == PasteStop::interrupted ? std::string(c.typedAfter) + "\x03" : c.typedAfter;
        // The text begun in the front write ends as it was written; then the frame's end, the keys.
        EXPECT_TRUE(after.ends_with("\x1b[201~" + tail)) << c.name << ": " << after.substr(0, 40);
        EXPECT_LE(after.size(), 8 + tail.size() + (256 << 10)) << c.name;
        EXPECT_EQ(writer.read, "\x1b[200~" + text.substr(0, writer.read.size() - 12 - tail.size()) + "\x1b[201~" + tail)
            << c.name << ": the child got the text's start, in order";
        EXPECT_EQ(f.view.pasteBytesWaiting(), 0u) << c.name;
        // Another Ctrl+C, with no paste to stop: the user insists, and it goes at once.
        EXPECT_EQ(writer.insisted, "") << c.name;
        f.window.sendKeyEvent(typed("c", Mod::control));
        EXPECT_EQ(writer.insisted, "\x03") << c.name;
        EXPECT_EQ(writer.whenRead, c.stop == PasteStop::interrupted && !c.framesOffFirst ? "\x03" : "") << c.name;
        f.view.setTerminalDelegate(&f.owner);
    }
}

// A view that goes lets go of every read of its pastes still under way, of text and of items,
// so that no owner is asked for anything more.
TEST(TerminalViewClipboard, AViewGoneLetsItsReadsGo) {
    const struct {
        const char* name;
        int texts, items;
        std::vector<std::string> cancelled;
    } cases[] = {
        {"None", 0, 0, {}},
        {"AText", 1, 0, {"text 0"}},
        {"Items", 0, 1, {"items 0"}},
        {"TextsAndItems", 2, 1, {"items 0", "text 0", "text 1"}},
    };
    for (const auto& c : cases) {
        auto backend = std::make_unique<LateClipboard>();
        LateClipboard& clipboard = *backend;
        clipboard.holdItems = true;
        {
            InputFixture f;
            Pasteboard::general().setBackend(std::move(backend));
            for (int i = 0; i < c.texts; ++i) f.view.pasteText(Pasteboard::general(), true, true);
            for (int i = 0; i < c.items; ++i) {
                f.view.readItemsInPlace(Pasteboard::general(), f.view.holdInputPlace(), [](Pasteboard::Items) {});
            }
            EXPECT_TRUE(clipboard.cancelled.empty()) << c.name;
        }
        std::vector<std::string> cancelled = clipboard.cancelled;
        std::sort(cancelled.begin(), cancelled.end());
        EXPECT_EQ(cancelled, c.cancelled) << c.name;
        Pasteboard::general().setBackend(nullptr);
    }
}

TEST(TerminalViewClipboard, SelectAll) {
    InputFixture f;
    f.view.feed("one\r\ntwo");
    EXPECT_TRUE(f.view.performMenuAction({"selectAll:", 0, {}}));
    EXPECT_EQ(f.view.getSelection().value_or(""), "one\ntwo");
}
