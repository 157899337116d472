#include "quiltdeck/sessions/Drop.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <any>
#include <cerrno>
#include <cstring>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "platform/gfx/ImageDecoder.h"
#include "platform/gfx/PngEncoder.h"
#include "platform/runtime/GLibMainLoop.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "platform/runtime/WorkerPool.h"
#include "platform/ui/Pasteboard.h"
#include "quiltdeck/sessions/Session.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/shell/BarMessage.h"
#include "quiltdeck/shell/Lang.h"
#include "quiltdeck/shell/Log.h"
#include "support/ViewTestSupport.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;

constexpr int64_t secs = 1700000000;
const std::string start = "\x1b[200~";
const std::string end = "\x1b[201~";

std::vector<uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

// A 2 x 1 uncompressed RGB TIFF: one red pixel, one blue.
std::vector<uint8_t> tiff() {
    std::vector<uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto u16 = [&](uint16_t v) { out.push_back(v & 0xFF), out.push_back(v >> 8); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
    const std::vector<std::array<uint32_t, 3>> tags = {{256, 3, 2},   {257, 3, 1},   {258, 3, 134}, {259, 3, 1},
                                                       {262, 3, 2},   {273, 4, 140}, {277, 3, 3},   {278, 3, 1},
                                                       {279, 4, 6},   {284, 3, 1}};
    u16(static_cast<uint16_t>(tags.size()));
    for (const auto& [tag, type, value] : tags) {
        u16(static_cast<uint16_t>(tag)), u16(static_cast<uint16_t>(type)), u32(tag == 258 ? 3 : 1);
        type == 3 && tag != 258 ? (u16(static_cast<uint16_t>(value)), u16(0)) : u32(value);
    }
    u32(0);
    u16(8), u16(8), u16(8);
    for (uint8_t v : {255, 0, 0, 0, 0, 255}) out.push_back(v);
    return out;
}

// A 2 x 1 PNG: one red pixel, one blue.
std::vector<uint8_t> png() { return *platform::gfx::encodePng({2, 1, {0xFFFF0000, 0xFF0000FF}}); }

// The same PNG, its header saying it is `width` pixels wide (its check sum made anew), cut after
// `kept` bytes.
std::vector<uint8_t> pngOfWidth(uint32_t width, size_t kept = SIZE_MAX) {
    std::vector<uint8_t> out = png();
    for (int i = 0; i < 4; ++i) out[16 + i] = static_cast<uint8_t>(width >> (24 - 8 * i));
    const uint32_t sum = static_cast<uint32_t>(crc32(0, out.data() + 12, 17));
    for (int i = 0; i < 4; ++i) out[29 + i] = static_cast<uint8_t>(sum >> (24 - 8 * i));
    out.resize(std::min(out.size(), kept));
    return out;
}

Drop::Content files(std::vector<std::string> uris, std::optional<std::string> text = {}) {
    Drop::Content content;
    content.uris = std::move(uris);
    content.text = std::move(text);
    return content;
}
Drop::Content text(std::string value) { return files({}, std::move(value)); }
Drop::Content image(std::optional<std::vector<uint8_t>> png, std::optional<std::vector<uint8_t>> tiff = {}) {
    Drop::Content content;
    content.png = std::move(png);
    content.tiff = std::move(tiff);
    return content;
}

struct PasteCase {
    const char* name;
    Drop::Content content;
    std::string sent;  // between the markers; nothing sent when empty
    friend void PrintTo(const PasteCase& c, std::ostream* os) { *os << c.name; }
};

class DropPaste : public ::testing::TestWithParam<PasteCase> {};

// Framed for a program that reads the frame, as it stands for one that does not.
TEST_P(DropPaste, SendsOneBracketedPaste) {
    for (const bool bracketed : {true, false}) {
        SCOPED_TRACE(bracketed ? "bracketed" : "not bracketed");
        testing::TempFolder drops;
        std::vector<std::string> sent;
        const bool pasted = Drop::paste(
            GetParam().content, [&](std::string_view text) { sent.emplace_back(text); }, drops.path(), secs, bracketed);
        if (GetParam().sent.empty()) {
            EXPECT_FALSE(pasted);
            EXPECT_TRUE(sent.empty());
            continue;
        }
        EXPECT_TRUE(pasted);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0], bracketed ? start + GetParam().sent + end : GetParam().sent);
        // Nothing inside can end the paste early.
        if (bracketed) {
            EXPECT_EQ(sent[0].find(end), sent[0].size() - end.size());
        } else {
            EXPECT_EQ(sent[0].find(end), std::string::npos);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DropPaste,
    ::testing::Values(
        PasteCase{"TwoFiles", files({"file:///tmp/a.txt", "file:///tmp/my%20file.txt"}), "/tmp/a.txt '/tmp/my file.txt' "},
        PasteCase{"QuoteWithoutBlankIsQuoted", files({"file:///tmp/it's"}), "'/tmp/it'\\''s' "},
        PasteCase{"QuoteAndBlank", files({"file:///tmp/it's%20here"}), "'/tmp/it'\\''s here' "},
        PasteCase{"CommandSubstitution", files({"file:///tmp/$(id)"}), "'/tmp/$(id)' "},
        PasteCase{"Semicolon", files({"file:///tmp/a;b"}), "'/tmp/a;b' "},
        PasteCase{"Backquote", files({"file:///tmp/a%60b"}), "'/tmp/a`b' "},
        PasteCase{"PlainCharacters", files({"file:///tmp/a-b_c@d%25e+f=g:h,i.j"}), "/tmp/a-b_c@d%e+f=g:h,i.j "},
        PasteCase{"LettersBeyondAscii", files({"file:///tmp/caf%C3%A9"}), "/tmp/caf\xC3\xA9 "},
        PasteCase{"NewlineInName", files({"file:///tmp/a%0Ab"}), "'/tmp/a\nb' "},
        PasteCase{"EscapeInName", files({"file:///tmp/a%1B%5B201~b"}), "'/tmp/a[201~b' "},
        PasteCase{"LocalHost", files({"file://localhost/tmp/x"}), "/tmp/x "},
        PasteCase{"RemoteAndOtherSchemesSkipped",
                  files({"file://elsewhere/tmp/x", "https://example.com/y"}, "text"),
                  "text"},
        PasteCase{"FilesBeforeText", files({"file:///tmp/x"}, "text"), "/tmp/x "},
        PasteCase{"TextUnchangedButControls", text("a\tb\r\nc\x1b[201~d\x07\xC2\x9B" "e"),
                  "a\tb\r\nc[201~de"},
        PasteCase{"EmptyText", text(""), ""},
        PasteCase{"OnlyControls", text("\x1b\x03"), ""},
        PasteCase{"Nothing", files({}), ""},
        PasteCase{"UndecodableTiff", image({}, bytes(std::string_view("II*\0nonsense", 12))), ""},
        // Every picture is decoded before it is kept: a PNG's signature alone is not a picture.
        PasteCase{"UndecodablePng", image(bytes("\x89PNG\r\n\x1a\nnot really")), ""},
        PasteCase{"RandomBytesAsPng", image(bytes("\x13\x37random")), ""},
        PasteCase{"TruncatedPng", image(pngOfWidth(2, 40)), ""},
        PasteCase{"PngTooWide", image(pngOfWidth(20000)), ""}),
    [](const auto& info) { return std::string(info.param.name); });

class DropImage : public ::testing::Test {
protected:
    std::vector<std::string> paste(const Drop::Content& content, const std::filesystem::path& folder) {
        std::vector<std::string> sent;
        Drop::paste(content, [&](std::string_view text) { sent.emplace_back(text); }, folder, secs);
        return sent;
    }
    testing::TempFolder drops;
};

TEST_F(DropImage, PngIsKeptByteForByteAndNamesNeverClash) {
    const std::vector<uint8_t> png = quiltdeck::png();
    const auto first = paste(image(png, tiff()), drops.path());
    const auto second = paste(image(png), drops.path());
    const std::string a = (drops.path() / "1700000000-dropped.png").string();
    const std::string b = (drops.path() / "1700000000-2-dropped.png").string();
    EXPECT_EQ(first, std::vector<std::string>{start + a + " " + end});
    EXPECT_EQ(second, std::vector<std::string>{start + b + " " + end});
    EXPECT_EQ(testing::readFile(a), std::string(png.begin(), png.end()));
    EXPECT_EQ(testing::readFile(b), std::string(png.begin(), png.end()));
    // A pasted picture is the user's alone.
    for (const std::string& path : {a, b}) {
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << path;
    }
}

// A TIFF, another format offered as PNG, or the TIFF beside a PNG that does not decode: what
// decodes is kept, as PNG.
TEST_F(DropImage, TiffBecomesPng) {
    const struct {
        const char* name;
        Drop::Content content;
    } cases[] = {
        {"Tiff", image({}, tiff())},
        {"TiffOfferedAsPng", image(tiff())},
        {"BesideABrokenPng", image(bytes("\x89PNG\r\n\x1a\nnot really"), tiff())},
    };
    for (const auto& c : cases) {
        testing::TempFolder folder;
        const auto sent = paste(c.content, folder.path());
        ASSERT_EQ(sent.size(), 1u) << c.name;
        const std::string written = testing::readFile(folder.path() / "1700000000-dropped.png");
        EXPECT_TRUE(written.starts_with("\x89PNG\r\n\x1a\n")) << c.name;
        const auto decoded =
            platform::gfx::ImageDecoder::decode({reinterpret_cast<const uint8_t*>(written.data()), written.size()});
        ASSERT_EQ(decoded.status, platform::gfx::ImageDecoder::Status::decoded) << c.name;
        EXPECT_EQ(decoded.image.width, 2) << c.name;
        EXPECT_EQ(decoded.image.pixels, (std::vector<uint32_t>{0xFFFF0000, 0xFF0000FF})) << c.name;
    }
}

// A folder that refuses the file, a drops folder replaced by a link to another one or one that
// cannot be made, a picture larger than the pasteboard keeps or one that does not decode: no
// picture is kept anywhere and nothing is sent; the log says why (the first failure) and the bar
// that the picture was not kept, and why.
// A PNG with a byte of its last rows' data changed.
std::vector<uint8_t> withRowsBroken(std::vector<uint8_t> png) {
    png[png.size() - 12 - 8] ^= 0x5A;
    return png;
}

TEST_F(DropImage, APictureNotKeptSendsNothingAndSaysWhy) {
    // Permissions do not stop root; /proc refuses new files to everyone.
    std::filesystem::path locked = drops.path() / "locked";
    std::filesystem::create_directory(locked);
    ::chmod(locked.c_str(), 0555);
    if (::geteuid() == 0) locked = "/proc";
    const std::filesystem::path elsewhere = drops.path() / "elsewhere", linked = drops.path() / "drops";
    std::filesystem::create_directory(elsewhere);
    std::filesystem::create_directory_symlink(elsewhere, linked);
    // No one may make a folder in /sys; the look that follows the refusal finds nothing there.
    const std::filesystem::path unmade = "/sys/quiltdeck-drops";
    const int refusal = ::mkdir(unmade.c_str(), 0700) == 0 ? (::rmdir(unmade.c_str()), 0) : errno;
    Drop::Content tooLarge;
    tooLarge.imageTooLarge = true;
    tooLarge.text = "text";
    const struct {
        std::filesystem::path folder;
        std::string why;
        Drop::Content content = image(png());
        std::string said = "Picture not pasted: it could not be saved";
    } cases[] = {
        {locked, "drop: cannot save image ("},
        {linked, "drop: cannot save image (" + linked.string() + " is a symbolic link)"},
        {unmade, "drop: cannot save image (" + std::string(std::strerror(refusal)) + ")"},
        {drops.path(), "drop: picture not kept (larger than 67108864 bytes)", tooLarge,
         "Picture not pasted: it is larger than 67.1 MB, the most a picture may be"},
        {drops.path(), "drop: picture not kept (the TIFF does not decode)", image({}, bytes(std::string_view("II*\0nonsense", 12))),
         "Picture not pasted: it could not be read as an image"},
        {drops.path(), "drop: picture not kept (the PNG does not decode)", image(bytes("\x89PNG\r\n\x1a\nnot really")),
         "Picture not pasted: it could not be read as an image"},
        {drops.path(), "drop: picture not kept (the PNG does not decode)", image(bytes("\x13\x37random")),
         "Picture not pasted: it could not be read as an image"},
        // Its header whole, its rows wrong: read through to the end before it is kept.
        {drops.path(), "drop: picture not kept (the PNG does not decode)", image(withRowsBroken(png())),
         "Picture not pasted: it could not be read as an image"},
        {drops.path(), "drop: picture not kept (past 16384 pixels a side or 268435456 bytes decoded)", image(pngOfWidth(20000)),
         "Picture not pasted: it has more pixels than a picture may have"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> said;
        auto saying = platform::runtime::NotificationCenter::defaultCenter().subscribe(
            std::string(BarMessage::didPost), [&](const platform::runtime::Notification& note) {
                const auto& message = std::any_cast<BarMessage::Message>(note.object);
                said.push_back(message.topic + ": " + message.text().whole);
            });
        Log::flush();
        const size_t logStart = testing::logContents().size();
        EXPECT_TRUE(paste(c.content, c.folder).empty()) << c.folder;
        Log::flush();
        EXPECT_NE(testing::logContents().substr(logStart).find(c.why), std::string::npos) << c.why;
        platform::runtime::MainLoop::main().runUntil([&] { return !said.empty(); }, 5s);
        EXPECT_EQ(said, std::vector<std::string>{"paste: " + c.said}) << c.folder;
    }
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere)) << "nothing is written through the link";
    for (const auto& entry : std::filesystem::directory_iterator(drops.path())) {
        EXPECT_FALSE(entry.is_regular_file()) << entry.path() << ": no picture kept";
    }
}

TEST_F(DropImage, AShortWriteLeavesNoFile) {
    Log::flush();
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 16;
    ::setrlimit(RLIMIT_FSIZE, &small);
    std::string reason;
    const auto saved_path = Drop::saveImage(std::vector<uint8_t>(4096, 7), drops.path(), secs, reason);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved_path);
    EXPECT_FALSE(reason.empty());
    EXPECT_TRUE(std::filesystem::is_empty(drops.path()));
}

// A paste from the clipboard reaches the tile's child framed while the child asks for bracketed
// paste, as it stands while not; an end marker inside the text does not end it.
// A shell tile in `project` whose child `spawn` starts.
template <class Spawn>
std::shared_ptr<Session> openShellTile(platform::runtime::MainLoop& loop, Store& store, const testing::TempFolder& project,
                                       Spawn spawn, bool shell = true) {
    Session::Arguments arguments;
    arguments.cwd = project.path().string();
    arguments.name = shell ? "shell" : "assistant";
    arguments.isShell = shell;
    Session::Services services;
    services.loop = &loop;
    services.store = &store;
    services.spawn = std::move(spawn);
    return Session::open(arguments, services);
}

TEST(DropIntoSessionTest, TheChildGetsOneBracketedPaste) {
    platform::runtime::GLibMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    testing::TempFolder state, project;
    Store store(state.path());
    auto session = openShellTile(loop, store, project, [](TappedTerminalView& view, auto&&...) {
        view.startProcess("/bin/sh", {"-c", "stty raw -echo; printf '\\033[?2004h'; echo ready; exec cat -v"});
    });
    ASSERT_TRUE(loop.runUntil([&] { return session->screenText().find("ready") != std::string::npos; }, 15s));

    platform::ui::Pasteboard board;
    board.contentDidChange("hello\x1b[201~world");
    EXPECT_TRUE(Drop::paste(board, *session, state.path()));
    EXPECT_TRUE(loop.runUntil(
        [&] { return session->screenText().find("^[[200~hello[201~world^[[201~") != std::string::npos; }, 15s))
        << session->screenText();
    // The program turns bracketed paste off (what it wrote, as the terminal reads it): the text
    // alone, as `cat > file` would keep it; then on again.
    for (const char* mode : {"\x1b[?2004l", "\x1b[?2004h"}) {
        session->view().dataReceived(bytes(mode));
        const bool on = mode[5] == 'h';
        board.contentDidChange(on ? "again" : "plain");
        EXPECT_TRUE(Drop::paste(board, *session, state.path()));
        const std::string shown = on ? "^[[200~again^[[201~" : "world^[[201~plain";
        EXPECT_TRUE(loop.runUntil([&] { return session->screenText().find(shown) != std::string::npos; }, 15s))
            << session->screenText();
        // The tile's own Paste, from the clipboard, alike.
        board.contentDidChange(on ? "clip" : "bare");
        Drop::pasteClipboard(board, session, state.path());
        const std::string pasted = on ? "^[[201~^[[200~clip^[[201~" : "plainbare";
        EXPECT_TRUE(loop.runUntil([&] { return session->screenText().find(pasted) != std::string::npos; }, 15s))
            << session->screenText();
    }

    // From the clipboard, read only now: an image before the text (which is then not read), or
    // the text in the pieces its owner hands over, a character cut between two of them. A key
    // typed before the clipboard answers follows the paste. An owner that does not answer, or
    // breaks off, lets the key go at once, and the log and the bar say so.
    using How = platform::ui::Pasteboard::ReadEnd::How;
    using ReadEnd = platform::ui::Pasteboard::ReadEnd;
    struct LateClipboard : platform::ui::Pasteboard::Backend {
        platform::ui::Pasteboard::Items items;
        ReadEnd itemsEnd, textEnd;
        std::vector<std::string> pieces;
        int textReads = 0;
        void write(const std::optional<std::string>&) override {}
        platform::ui::Pasteboard::CancelRead readItems(platform::ui::Pasteboard::ItemsReader reader) override {
            platform::runtime::MainLoop::main().post([done = reader.done, items = items, end = itemsEnd] { done(items, end); });
            return {};
        }
        platform::ui::Pasteboard::CancelRead readText(platform::ui::Pasteboard::TextReader reader, size_t) override {
            ++textReads;
            for (const std::string& piece : pieces) reader.piece(piece);
            reader.end(textEnd);
            return {};
        }
    };
    const std::vector<std::string> cafe = {"caf\xc3", "\xa9\x1b[201~", "!"};
    const struct {
        std::optional<std::vector<uint8_t>> png;
        ReadEnd itemsEnd, textEnd;
        std::vector<std::string> pieces;
        std::string shown;
        int textReads;
        std::string logged, said;  // none when empty
    } cases[] = {
        {png(), {}, {}, cafe, "-dropped.png ^[[201~<1>", 0, "", ""},
        {std::nullopt, {}, {}, cafe, "^[[200~cafM-CM-)[201~!^[[201~<2>", 1, "", ""},
        {std::nullopt, {How::noAnswer}, {}, cafe, "<3>", 0, "paste: the clipboard did not answer; nothing pasted",
         "Nothing pasted: the clipboard did not answer"},
        {std::nullopt, {}, {How::gone}, cafe, "^[[200~cafM-CM-)[201~!^[[201~<4>", 1,
         "paste: cut short, the program holding the clipboard ended: 12 bytes read, all reached the tile",
         "Paste cut short after 12 B: the program holding the clipboard ended"},
        {std::nullopt, {}, {How::stopped}, {}, "<5>", 1, "paste: the clipboard did not answer; nothing pasted",
         "Nothing pasted: the clipboard did not answer"},
        {std::nullopt, {}, {How::tooLarge, 0, size_t{3} << 29}, {}, "<6>", 1,
         "paste: refused, the clipboard holds 1610612736 bytes, past the limit of 1073741824 bytes",
         "Nothing pasted: the clipboard holds 1.6 GB, more than the 1.1 GB one paste takes"},
        {std::nullopt, {}, {How::tooLarge}, cafe, "^[[200~cafM-CM-)[201~!^[[201~<7>", 1,
         "paste: cut short at the limit of 1073741824 bytes: 12 bytes read, all reached the tile",
         "Paste cut short at 1.1 GB, the most one paste takes"},
        // A picture that does not decode is neither kept nor typed, nor is the text read instead.
        {bytes("\x89PNG\r\n\x1a\nnot really"), {}, {}, cafe, "<8>", 0, "drop: picture not kept (the PNG does not decode)",
         "Picture not pasted: it could not be read as an image"},
        // An answer of a type not asked for, to the text or to what it offers, is refused and said.
        {std::nullopt, {}, {How::wrongType}, {}, "<9>", 1,
         "paste: refused, the clipboard answered with data of a type that was not asked for",
         "Nothing pasted: the clipboard answered with another kind of data than was asked for"},
        {std::nullopt, {How::wrongType}, {}, cafe, "<10>", 0,
         "paste: refused, the clipboard answered with data of a type that was not asked for",
         "Nothing pasted: the clipboard answered with another kind of data than was asked for"},
        {std::nullopt, {How::tooLarge}, {}, cafe, "<11>", 0,
         "paste: refused, the clipboard's list of types or files passed its limit",
         "Nothing pasted: the clipboard's list of types or files was longer than it may be"},
        {std::nullopt, {How::gone, 5000}, {}, cafe, "<12>", 0,
         "paste: the program holding the clipboard ended while files or a picture came (5000 bytes came); nothing pasted",
         "Nothing pasted: the program holding the clipboard ended after 5 kB of files or a picture"},
        // An owner gone inside a character: nothing of it goes, and what reached the tile is said;
        // a text that ends inside one was cut, though its read ended as a whole one (a pipe's).
        {std::nullopt, {}, {How::gone}, {"caf\xc3"}, "^[[200~caf^[[201~<13>", 1,
         "paste: cut short, the program holding the clipboard ended: 4 bytes read, 3 reached the tile, 1 dropped",
         "Paste cut short after 3 B: the program holding the clipboard ended"},
        {std::nullopt, {}, {}, {"caf\xf0\x9f\x99"}, "^[[200~caf^[[201~<14>", 1,
         "paste: cut short, the program holding the clipboard ended: 6 bytes read, 3 reached the tile, 3 dropped",
         "Paste cut short after 3 B: the program holding the clipboard ended"},
    };
    std::vector<std::string> said;
    auto saying = platform::runtime::NotificationCenter::defaultCenter().subscribe(
        std::string(BarMessage::didPost),
        [&](const platform::runtime::Notification& note) { said.push_back(std::any_cast<BarMessage::Message>(note.object).text().whole); });
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        platform::ui::Pasteboard clipboard;
        auto backend = std::make_unique<LateClipboard>();
        LateClipboard& late = *backend;
        late.items.png = c.png;
        late.itemsEnd = c.itemsEnd;
        late.textEnd = c.textEnd;
        late.pieces = c.pieces;
        clipboard.setBackend(std::move(backend));
        said.clear();
        Log::flush();
        const size_t logStart = testing::logContents().size();
        Drop::pasteClipboard(clipboard, session, state.path());
        session->view().send("<" + std::to_string(i + 1) + ">");
        auto unwrapped = [&] {
            std::string text = session->screenText();
            std::erase(text, '\n');
            return text;
        };
        EXPECT_TRUE(loop.runUntil([&] { return unwrapped().find(c.shown) != std::string::npos; }, 15s)) << unwrapped();
        EXPECT_EQ(late.textReads, c.textReads) << c.shown;
        loop.runUntil([&] { return !said.empty() || c.said.empty(); }, 5s);
        EXPECT_EQ(said, c.said.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.said}) << c.shown;
        Log::flush();
        const std::string log = testing::logContents().substr(logStart);
        if (c.logged.empty()) {
            EXPECT_EQ(log.find("paste: "), std::string::npos) << log;
        } else {
            EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        }
    }
    session->kill();
}

// On the program's clock: a paste slow to come is told on the bar while it comes (a lasting
// message of the paste topic, said anew each second it grew, never per piece), and its end replaces
// it, a whole paste taking it away, in the words of the language of the moment. The tile's keys go
// at 2 s while nothing came, and within 10 s while it trickles; Ctrl+C stops it at once.
TEST(DropIntoSessionTest, TheBarTellsOfAPasteStillComing) {
    using namespace std::chrono_literals;
    using Pasteboard = platform::ui::Pasteboard;
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    testing::TempFolder state, project;
    Store store(state.path());
    // Every read can be let go of, and says so.
    struct HeldClipboard : Pasteboard::Backend {
        std::vector<Pasteboard::ItemsReader> items;
        std::vector<Pasteboard::TextReader> texts;
        std::vector<std::string> cancelled;
        void write(const std::optional<std::string>&) override {}
        Pasteboard::CancelRead readItems(Pasteboard::ItemsReader reader) override {
            items.push_back(std::move(reader));
            return [this] { cancelled.push_back("items"); };
        }
        Pasteboard::CancelRead readText(Pasteboard::TextReader reader, size_t) override {
            texts.push_back(std::move(reader));
            return [this] { cancelled.push_back("text"); };
        }
    };
    std::vector<std::string> news;
    std::optional<BarMessage::Message> last;
    auto saying = platform::runtime::NotificationCenter::defaultCenter().subscribe(
        std::string(BarMessage::didPost), [&](const platform::runtime::Notification& note) {
            last = std::any_cast<BarMessage::Message>(note.object);
            news.push_back((last->lasting ? "+" : "") + last->topic + ": " + last->text().whole);
        });
    auto withdrawing = platform::runtime::NotificationCenter::defaultCenter().subscribe(
        std::string(BarMessage::didWithdraw),
        [&](const platform::runtime::Notification& note) { news.push_back("-" + std::any_cast<std::string>(note.object)); });
    platform::ui::KeyEvent ctrlC;
    ctrlC.key = platform::ui::Key::character;
    ctrlC.characters = "\x03";
    ctrlC.charactersIgnoringModifiers = "c";
    ctrlC.modifiers = platform::ui::Modifier::control;
    // At `ms` after the paste key: the clipboard answers what it holds ('i'), tells how many bytes
    // of files or a picture came so far ('b', as many as the piece), sends a piece of its text
    // ('p'), ends it whole ('e'), answers with a picture ('g'; 'G' and 'K': and in the same turn,
    // while the picture is checked, Ctrl+C is typed or the program is ended); or Ctrl+C is typed ('c'), the child reads all it is given ('r'),
    // the tile is closed ('x'), its program is ended as closing it does ('k') or ends by itself ('d'), the paste key is pressed again ('v': the clipboard's answers then go
    // to the latest read), the tile holds what it is given unread by its child ('h'), its child
    // reads its keys itself, raw, as an editor does ('w'), and relays them to a terminal of its own
    // ('y'). "<k>" is typed right after the first key.
    struct Step {
        int ms;
        char what;
        std::string piece = {};
    };
    const std::string waiting = "+paste: Waiting for the clipboard: the program that holds it has not answered yet";
    const std::string coming = "+paste: Pasting… 300 B so far: the clipboard is still sending. Ctrl+C stops the paste";
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::string sent;
        std::vector<std::string> news;
        std::string german = {};  // the last message's brief line, worded again in German
        std::vector<std::string> cancelled = {};
        size_t room = SIZE_MAX;  // what the child takes before it reads
        std::string logged = {};  // a line of the log it writes
        bool assistant = false;   // an assistant tile, not a shell's
    } cases[] = {
        {"LateOwner", {{2500, 'i'}, {2500, 'p', "late"}, {2500, 'e'}}, "<k>\x1b[200~late\x1b[201~", {waiting, "-paste"}},
        {"Trickle",
         {{0, 'i'}, {0, 'p', "a"}, {8500, 'p', "b"}, {17000, 'p', "c"}, {17000, 'e'}},
         "\x1b[200~ab\x1b[201~<k>",
         {"+paste: Pasting… 1 B so far: the clipboard is still sending. Ctrl+C stops the paste",
          "+paste: Pasting… 2 B so far: the clipboard is still sending. Ctrl+C stops the paste",
          "paste: Paste cut short after 2 B: the clipboard was too slow, so the keys typed behind it went on"},
         "2 B eingefügt, dann gekappt: zu langsam", {"text"}},
        {"CtrlC", {{0, 'i'}, {0, 'p', "ab"}, {500, 'c'}}, "\x1b[200~ab\x1b[201~<k>\x03",
         {"paste: Paste cut short after 2 B: stopped by Ctrl+C"}, {}, {"text"}},
        // A program that reads its keys itself took what it had of the paste: the words say so (an
        // editor has no prompt to give back); a relay's second Ctrl+C gives its prompt back, which
        // is never said in an assistant tile, whose CLI then offers to end the session.
        {"CtrlCAtARawReader", {{0, 'w'}, {0, 'i'}, {0, 'p', "ab"}, {500, 'c'}}, "\x1b[200~ab\x1b[201~<k>\x03",
         {"paste: Paste cut short after 2 B: stopped by Ctrl+C. The program in the tile reads its keys itself: what it had "
          "taken of the paste is its own"},
         "2 B eingefügt, dann gestoppt", {"text"}},
        {"CtrlCAtARelay", {{0, 'y'}, {0, 'i'}, {0, 'p', "ab"}, {500, 'c'}}, "\x1b[200~ab\x1b[201~<k>\x03",
         {"paste: Paste cut short after 2 B: stopped by Ctrl+C. The program in the tile passes its keys on to a terminal of "
          "its own (sudo, ssh, tmux): what it had taken of the paste is its own, and another Ctrl+C gives its prompt back"},
         "2 B eingefügt, dann gestoppt", {"text"}, SIZE_MAX,
         "paste: stopped by Ctrl+C (while reading): 2 bytes read, all reached the tile; its program reads its keys itself "
         "and relays them"},
        {"CtrlCAtARawReaderInAnAssistantTile", {{0, 'w'}, {0, 'i'}, {0, 'p', "ab"}, {500, 'c'}}, "\x1b[200~ab\x1b[201~<k>\x03",
         {"paste: Paste cut short after 2 B: stopped by Ctrl+C. The program in the tile reads its keys itself: what it had "
          "taken of the paste is its own"},
         {}, {"text"}, SIZE_MAX, {}, true},
        {"CtrlCAtARelayInAnAssistantTile", {{0, 'y'}, {0, 'i'}, {0, 'p', "ab"}, {500, 'c'}}, "\x1b[200~ab\x1b[201~<k>\x03",
         {"paste: Paste cut short after 2 B: stopped by Ctrl+C. The program in the tile reads its keys itself: what it had "
          "taken of the paste is its own"},
         {}, {"text"}, SIZE_MAX, {}, true},
        {"CtrlCBeforeTheClipboardAnswers", {{1500, 'c'}, {3000, 'i'}}, "<k>\x03",
         {waiting, "paste: Nothing pasted: stopped by Ctrl+C before anything came"}, "Nicht eingefügt: gestoppt", {"items"}},
        {"Whole", {{0, 'i'}, {0, 'p', "abc"}, {0, 'e'}}, "\x1b[200~abc\x1b[201~<k>", {"-paste"}},
        // Picture bytes coming are a paste coming; Ctrl+C lets their read go and says what came.
        {"PictureComingStoppedByCtrlC", {{0, 'b', std::string(300, 'x')}, {1500, 'c'}}, "<k>\x03",
         {coming, "paste: Nothing pasted: stopped by Ctrl+C after 300 B of files or a picture had come"},
         "Nicht eingefügt: nach 300 B gestoppt", {"items"}},
        // A picture is checked away from the loop: a Ctrl+C meanwhile keeps it from being saved or
        // typed, and closing the tile as well; each says what it stopped.
        {"CtrlCWhileAPictureIsChecked", {{0, 'G'}}, "<k>\x03",
         {"paste: Nothing pasted: stopped by Ctrl+C while the picture was checked"}, "Nicht eingefügt: gestoppt", {}, SIZE_MAX,
         "paste: stopped by Ctrl+C while the picture (90 bytes) was checked; nothing pasted"},
        {"ClosedWhileAPictureIsChecked", {{0, 'K'}}, "<k>", {"-paste"}, {}, {}, SIZE_MAX,
         "paste: stopped, the tile was closed while the picture (90 bytes) was checked; nothing pasted"},
        // A tile closed lets its reads go, of a picture or of text, and takes its words with it.
        {"ClosedWhileAPictureComes", {{0, 'b', std::string(300, 'x')}, {1500, 'x'}}, "", {coming, "-paste"}, {}, {"items"}},
        {"ClosedWhileTextComes", {{0, 'i'}, {0, 'p', "ab"}, {1500, 'x'}}, "\x1b[200~ab",
         {"+paste: Pasting… 2 B so far: the clipboard is still sending. Ctrl+C stops the paste", "-paste"}, {}, {"text"}},
        // Read whole but still going out to a child that reads slowly: "Pasting…" until all went.
        {"StillGoingOut", {{0, 'i'}, {0, 'p', "abc"}, {0, 'e'}, {2500, 'r'}}, "\x1b[200~abc\x1b[201~<k>",
         {"+paste: Pasting… 3 B still to go out to the program in the tile. Ctrl+C stops the paste", "-paste"},
         "Einfügen… noch 3 B", {}, 0},
        // Handed to the tile whole, but its child has not read it yet: still going out.
        {"StillUnreadInTheTile", {{0, 'h'}, {0, 'i'}, {0, 'p', "abc"}, {0, 'e'}, {2500, 'r'}}, "\x1b[200~abc\x1b[201~<k>",
         {"+paste: Pasting… 3 B still to go out to the program in the tile. Ctrl+C stops the paste", "-paste"},
         "Einfügen… noch 3 B"},
        // Ctrl+C then drops what had not gone, and says so.
        {"CtrlCWhileGoingOut", {{0, 'i'}, {0, 'p', "abc"}, {0, 'e'}, {1500, 'c'}, {2500, 'r'}}, "\x1b[200~\x1b[201~<k>\x03",
         {"+paste: Pasting… 3 B still to go out to the program in the tile. Ctrl+C stops the paste",
          "paste: Paste stopped by Ctrl+C: 3 B not sent"},
         {}, {}, 0},
        // Handed to the tile but unread by its child: Ctrl+C takes it back at once, whatever the
        // child reads, and the tile's end (closing it) does the same.
        {"CtrlCWhileUnreadInTheTile", {{0, 'h'}, {0, 'i'}, {0, 'p', "abc"}, {0, 'e'}, {1500, 'c'}},
         "\x1b[200~abc\x1b[201~<k>\x03",
         {"+paste: Pasting… 3 B still to go out to the program in the tile. Ctrl+C stops the paste",
          "paste: Paste stopped by Ctrl+C: 3 B not sent"}},
        {"CtrlCWhileGoingOutToARawReader", {{0, 'w'}, {0, 'i'}, {0, 'p', "abc"}, {0, 'e'}, {1500, 'c'}, {2500, 'r'}},
         "\x1b[200~\x1b[201~<k>\x03",
         {"+paste: Pasting… 3 B still to go out to the program in the tile. Ctrl+C stops the paste",
          "paste: Paste stopped by Ctrl+C: 3 B not sent. The program in the tile reads its keys itself: what it had taken "
          "of the paste is its own"},
         {}, {}, 0,
         "paste: stopped by Ctrl+C (after the read ended): 3 bytes read, 0 reached the tile, 3 dropped; its program reads its "
         "keys itself"},
        {"EndedWhileUnreadInTheTile", {{0, 'h'}, {0, 'i'}, {0, 'p', "abc"}, {0, 'e'}, {1500, 'd'}},
         "\x1b[200~abc\x1b[201~<k>",
         {"+paste: Pasting… 3 B still to go out to the program in the tile. Ctrl+C stops the paste",
          "paste: Paste stopped, the program in the tile ended: 3 B not sent"},
         "Gestoppt: 3 B nicht gesendet", {}, SIZE_MAX, "paste: stopped, the tile's program ended (after the read ended): 3 bytes read, 0 reached the tile, 3 dropped"},
        // A tile the user closes takes its words with it, and the log says it was closed.
        {"ClosedWhileUnreadInTheTile", {{0, 'h'}, {0, 'i'}, {0, 'p', "abc"}, {0, 'e'}, {1500, 'k'}},
         "\x1b[200~abc\x1b[201~<k>",
         {"+paste: Pasting… 3 B still to go out to the program in the tile. Ctrl+C stops the paste", "-paste"}, {}, {},
         SIZE_MAX, "paste: stopped, the tile was closed (after the read ended): 3 bytes read, 0 reached the tile, 3 dropped"},
        // One Ctrl+C stops two pastes: the bar names what neither sent, not only the last one's.
        {"CtrlCStopsTwoPastes",
         {{0, 'i'}, {0, 'p', "abc"}, {0, 'e'}, {100, 'v'}, {100, 'i'}, {100, 'p', "de"}, {100, 'e'}, {1500, 'c'}, {2500, 'r'}},
         "\x1b[200~\x1b[201~<k>\x1b[200~\x1b[201~\x03",
         {"+paste: Pasting… 3 B still to go out to the program in the tile. Ctrl+C stops the paste",
          "+paste: Pasting… 2 B still to go out to the program in the tile. Ctrl+C stops the paste",
          "paste: Paste stopped by Ctrl+C: 3 B not sent", "paste: Paste stopped by Ctrl+C: 5 B not sent"},
         "Gestoppt: 5 B nicht gesendet", {}, 0},
    };
    for (const auto& c : cases) {
        vantel::testing::RecordingViewOwner child;
        auto session = openShellTile(loop, store, project, [](auto&...) {}, !c.assistant);
        session->view().setTerminalDelegate(&child);
        // Its program reads pastes framed, as a shell's line editor does.
        session->view().dataReceived(bytes("\x1b[?2004h"));
        child.room = c.room;
        Pasteboard clipboard;
        auto backend = std::make_unique<HeldClipboard>();
        HeldClipboard& held = *backend;
        clipboard.setBackend(std::move(backend));
        news.clear();
        const auto start = loop.now();
        const uint64_t checksBefore = platform::gfx::ImageDecoder::imagesHandedToLoaders();
        const uint64_t checksHereBefore = platform::gfx::ImageDecoder::checksOnThisThread();
        Drop::pasteClipboard(clipboard, session, state.path());
        session->view().send("<k>");
        for (const Step& step : c.steps) {
            loop.advance(start + std::chrono::milliseconds(step.ms) - loop.now());
            if (step.what == 'i') held.items.back().done({}, {});
            if (step.what == 'g' || step.what == 'G' || step.what == 'K') {
                platform::ui::Pasteboard::Items picture;
                picture.png = png();
                held.items.back().done(std::move(picture), {});
                // Before the loop turns again: whatever the worker's pace, the check has not ended
                // on the main loop (unless it runs there).
                if (step.what == 'G') session->view().keyDown(ctrlC);
                if (step.what == 'K') session->kill();
            }
            if (step.what == 'b') held.items.back().came(step.piece.size());
            if (step.what == 'c') session->view().keyDown(ctrlC);
            if (step.what == 'p') held.texts.back().piece(step.piece);
            if (step.what == 'e') held.texts.back().end({});
            if (step.what == 'r') {
                child.room = SIZE_MAX;
                child.queues = false;
                child.unread = 0;
            }
            if (step.what == 'h') child.queues = true;
            if (step.what == 'w') child.keysRaw = true;
            if (step.what == 'y') child.keysRaw = child.relays = true;
            if (step.what == 'x') session.reset();
            if (step.what == 'k') session->kill();
            if (step.what == 'd') session->view().processTerminated(session->view().process(), 0);
            if (step.what == 'v') Drop::pasteClipboard(clipboard, session, state.path());
            loop.runPending();
        }
        platform::runtime::WorkerPool::shared().waitIdle(10s);
        loop.advance(2s);
        // A picture is checked, and never on the loop: a large one would hold the window.
        const bool picture = std::any_of(c.steps.begin(), c.steps.end(),
                                         [](const Step& step) { return std::string_view("gGK").find(step.what) != std::string_view::npos; });
        EXPECT_EQ(platform::gfx::ImageDecoder::imagesHandedToLoaders() > checksBefore, picture) << c.name;
        EXPECT_EQ(platform::gfx::ImageDecoder::checksOnThisThread(), checksHereBefore) << c.name;
        EXPECT_EQ(child.sent, c.sent) << c.name;
        EXPECT_FALSE(std::filesystem::exists(state.path() / "drops") && !std::filesystem::is_empty(state.path() / "drops"))
            << c.name << ": nothing saved";
        EXPECT_EQ(news, c.news) << c.name;
        EXPECT_EQ(held.cancelled, c.cancelled) << c.name;
        if (session) session->view().setTerminalDelegate(nullptr);
        Log::flush();
        if (!c.logged.empty()) {
            EXPECT_NE(testing::logContents().find(c.logged), std::string::npos) << c.name;
        }
        if (c.german.empty()) continue;
        Lang::setCurrent(Lang::de);
        EXPECT_EQ(last->text().shown, c.german) << c.name;
        Lang::setCurrent(Lang::en);
    }
}

}  // namespace
}  // namespace quiltdeck
