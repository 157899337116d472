#include "quiltdeck/sessions/Drop.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/gfx/ImageDecoder.h"
#include "platform/runtime/GLibMainLoop.h"
#include "platform/ui/Pasteboard.h"
#include "quiltdeck/sessions/Session.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/shell/Log.h"

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

TEST_P(DropPaste, SendsOneBracketedPaste) {
    testing::TempFolder drops;
    std::vector<std::string> sent;
    const bool pasted = Drop::paste(
        GetParam().content, [&](std::string_view text) { sent.emplace_back(text); }, drops.path(), secs);
    if (GetParam().sent.empty()) {
        EXPECT_FALSE(pasted);
        EXPECT_TRUE(sent.empty());
        return;
    }
    EXPECT_TRUE(pasted);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], start + GetParam().sent + end);
    // Nothing inside can end the paste early.
    EXPECT_EQ(sent[0].find(end), sent[0].size() - end.size());
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
        PasteCase{"UndecodableTiff", image({}, bytes(std::string_view("II*\0nonsense", 12))), ""}),
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
    const std::vector<uint8_t> png = bytes("\x89PNG\r\n\x1a\nnot really");
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

TEST_F(DropImage, TiffBecomesPng) {
    const auto sent = paste(image({}, tiff()), drops.path());
    ASSERT_EQ(sent.size(), 1u);
    const std::string written = testing::readFile(drops.path() / "1700000000-dropped.png");
    const auto decoded =
        platform::gfx::ImageDecoder::decode({reinterpret_cast<const uint8_t*>(written.data()), written.size()});
    ASSERT_EQ(decoded.status, platform::gfx::ImageDecoder::Status::decoded);
    EXPECT_EQ(decoded.image.width, 2);
    EXPECT_EQ(decoded.image.pixels, (std::vector<uint32_t>{0xFFFF0000, 0xFF0000FF}));
}

TEST_F(DropImage, AFolderThatRefusesTheFileSendsNothing) {
    // Permissions do not stop root; /proc refuses new files to everyone.
    std::filesystem::path folder = drops.path() / "locked";
    std::filesystem::create_directory(folder);
    ::chmod(folder.c_str(), 0555);
    if (::geteuid() == 0) folder = "/proc";
    const size_t logStart = testing::logContents().size();
    EXPECT_TRUE(paste(image(bytes("png")), folder).empty());
    Log::flush();
    EXPECT_NE(testing::logContents().substr(logStart).find("drop: cannot save image ("), std::string::npos);
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

// A paste from the clipboard reaches the tile's child framed, whatever the
// child asked for; an end marker inside the text does not end it.
TEST(DropIntoSessionTest, TheChildGetsOneBracketedPaste) {
    platform::runtime::GLibMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    testing::TempFolder state, project;
    Store store(state.path());
    Session::Arguments arguments;
    arguments.cwd = project.path().string();
    arguments.name = "shell";
    arguments.isShell = true;
    Session::Services services;
    services.loop = &loop;
    services.store = &store;
    services.spawn = [](TappedTerminalView& view, auto&&...) {
        view.startProcess("/bin/sh", {"-c", "stty raw -echo; echo ready; exec cat -v"});
    };
    auto session = Session::open(arguments, services);
    ASSERT_TRUE(loop.runUntil([&] { return session->screenText().find("ready") != std::string::npos; }, 15s));

    platform::ui::Pasteboard board;
    board.contentDidChange("hello\x1b[201~world");
    EXPECT_TRUE(Drop::paste(board, *session, state.path()));
    EXPECT_TRUE(loop.runUntil(
        [&] { return session->screenText().find("^[[200~hello[201~world^[[201~") != std::string::npos; }, 15s))
        << session->screenText();

    // From the clipboard, read only now: an image before the text (which is then not read), or
    // the text in the pieces its owner hands over, a character cut between two of them. A key
    // typed before the clipboard answers follows the paste.
    struct LateClipboard : platform::ui::Pasteboard::Backend {
        platform::ui::Pasteboard::Items items;
        int textReads = 0;
        void write(const std::optional<std::string>&) override {}
        void readItems(std::function<void(platform::ui::Pasteboard::Items)> done) override {
            platform::runtime::MainLoop::main().post([done, items = items] { done(items); });
        }
        void readText(platform::ui::Pasteboard::TextReader reader) override {
            ++textReads;
            for (const char* piece : {"caf\xc3", "\xa9\x1b[201~", "!"}) reader.piece(piece);
            reader.end(true);
        }
    };
    const struct {
        std::optional<std::vector<uint8_t>> png;
        std::string shown;
        int textReads;
    } cases[] = {
        {bytes("\x89PNG\r\n\x1a\n"), "-dropped.png ^[[201~k", 0},
        {std::nullopt, "^[[200~cafM-CM-)[201~!^[[201~k", 1},
    };
    for (const auto& c : cases) {
        platform::ui::Pasteboard clipboard;
        auto backend = std::make_unique<LateClipboard>();
        LateClipboard& late = *backend;
        late.items.png = c.png;
        clipboard.setBackend(std::move(backend));
        Drop::pasteClipboard(clipboard, session, state.path());
        session->view().send("k");
        auto unwrapped = [&] {
            std::string text = session->screenText();
            std::erase(text, '\n');
            return text;
        };
        EXPECT_TRUE(loop.runUntil([&] { return unwrapped().find(c.shown) != std::string::npos; }, 15s)) << unwrapped();
        EXPECT_EQ(late.textReads, c.textReads) << c.shown;
    }
    session->kill();
}

}  // namespace
}  // namespace quiltdeck
