#include <gtest/gtest.h>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::RecordingDelegate;
using vantel::testing::TestTerminalOf;

namespace {

// Records the OSC callbacks on top of what RecordingDelegate records.
struct OscDelegate : RecordingDelegate {
    struct Image {
        std::string data;
        ImageSizeRequest width;
        ImageSizeRequest height;
        bool preserveAspectRatio = false;
    };
    bool trusted = true;
    std::optional<std::vector<uint8_t>> clipboard;
    std::vector<std::string> copies;
    std::vector<ProgressReport> progress;
    std::vector<Image> images;
    std::vector<std::string> contents;
    std::optional<std::pair<Color, Color>> shown;

    bool isProcessTrusted(Terminal&) override { return trusted; }
    void hostCurrentDirectoryUpdated(Terminal& t) override { events.push_back("cwd:" + *t.hostCurrentDirectory); }
    void hostCurrentDocumentUpdated(Terminal& t) override { events.push_back("doc:" + *t.hostCurrentDocument); }
    void clipboardCopy(Terminal&, const std::vector<uint8_t>& content) override {
        copies.emplace_back(content.begin(), content.end());
        clipboard = content;
    }
    std::optional<std::vector<uint8_t>> clipboardRead(Terminal&) override { return clipboard; }
    void notify(Terminal&, const std::string& title, const std::string& body) override {
        events.push_back("notify:" + title + "|" + body);
    }
    void progressReport(Terminal&, const ProgressReport& report) override { progress.push_back(report); }
    void createImage(Terminal&, const std::vector<uint8_t>& data, ImageSizeRequest width, ImageSizeRequest height,
                     bool preserveAspectRatio) override {
        images.push_back({std::string(data.begin(), data.end()), width, height, preserveAspectRatio});
    }
    void iTermContent(Terminal&, std::span<const uint8_t> content) override {
        contents.emplace_back(content.begin(), content.end());
    }
    std::pair<Color, Color> getColors(Terminal& source) override {
        return shown ? *shown : RecordingDelegate::getColors(source);
    }
};

using OscTerminal = TestTerminalOf<OscDelegate>;

std::span<const uint8_t> bytes(std::string_view s) {
    return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

}  // namespace

TEST(TerminalOscTest, ColourQueriesAndChanges) {
    struct Case {
        const char* input;
        const char* reply;
    } cases[] = {
        {"\x1b]4;1;?\x07", "\x1b]4;1;rgb:c2c2/3636/2121\x1b\\"},
        {"\x1b]4;1;#102030;1;?\x07", "\x1b]4;1;rgb:1010/2020/3030\x1b\\"},
        {"\x1b]4;1;?;1;?\x1b\\", "\x1b]4;1;rgb:c2c2/3636/2121\x1b\\\x1b]4;1;rgb:c2c2/3636/2121\x1b\\"},
        {"\x1b]4;256;?\x07", ""},
        {"\x1b]4;x;?\x07", ""},
        {"\x1b]4;1\x07", ""},
        {"\x1b]4;1;bogus;1;?\x07", "\x1b]4;1;rgb:c2c2/3636/2121\x1b\\"},
        {"\x1b]10;?\x07", "\x1b]10;rgb:8a3d/8a3d/8a3d\x1b\\"},
        {"\x1b]10;;;?\x07", "\x1b]10;rgb:8a3d/8a3d/8a3d\x1b\\"},
        {"\x1b]11;?\x07", "\x1b]11;rgb:0000/0000/0000\x1b\\"},
        {"\x1b]12;?\x07", "\x1b]12;rgb:8a3d/8a3d/8a3d\x1b\\"},
        {"\x1b]12;#ff0000;?\x07", ""},  // the second field would be a fourth colour
        {"\x1b]11;#ff0000;?\x07", "\x1b]12;rgb:8a3d/8a3d/8a3d\x1b\\"},
        {"\x1b]12;#ff0000\x07\x1b]12;?\x07", "\x1b]12;rgb:ffff/0000/0000\x1b\\"},
        {"\x1b]10;?;?;?;?\x07",
         "\x1b]10;rgb:8a3d/8a3d/8a3d\x1b\\\x1b]11;rgb:0000/0000/0000\x1b\\\x1b]12;rgb:8a3d/8a3d/8a3d\x1b\\"},
        {"\x1b G\x1b]4;1;?\x07", "\x9d" "4;1;rgb:c2c2/3636/2121\x9c"},
    };
    for (const auto& c : cases) {
        OscTerminal t;
        t.feed(c.input);
        EXPECT_EQ(t.delegate.replies(), c.reply) << c.input;
    }
}

TEST(TerminalOscTest, ColourQueriesAnswerWhatTheHostShows) {
    OscTerminal t;
    t.delegate.shown = std::make_pair(Color(1, 2, 3), Color(0x1111, 0x2222, 0x3333));
    t.feed("\x1b]11;?\x07\x1b]12;?\x07");
    EXPECT_EQ(t.delegate.replies(), "\x1b]11;rgb:1111/2222/3333\x1b\\\x1b]12;rgb:0001/0002/0003\x1b\\");
}

TEST(TerminalOscTest, SettingDefaultColours) {
    OscTerminal t;
    t.feed("\x1b]10;#ffffff;#000080;#00ff00\x07");
    EXPECT_EQ(t->foregroundColor(), Color(0xffff, 0xffff, 0xffff));
    EXPECT_EQ(t->backgroundColor(), Color(0, 0, 0x8080));
    EXPECT_EQ(t->cursorColor(), Color(0, 0xffff, 0));
    t.feed("\x1b]112\x07");
    EXPECT_EQ(t->cursorColor(), std::nullopt);
    t.feed("\x1b]11;nonsense\x07");
    EXPECT_EQ(t->backgroundColor(), Color(0, 0, 0x8080));
}

TEST(TerminalOscTest, PaletteChangesAndResets) {
    OscTerminal t;
    const Color defaultZero = t->ansiColors[0];
    const Color defaultFive = t->ansiColors[5];
    t.feed("\x1b]4;0;#010203;5;#040506;200;#070809\x07");
    EXPECT_EQ(t.delegate.events, (std::vector<std::string>{"colorChanged:0", "colorChanged:5", "colorChanged:200"}));
    struct Case {
        const char* input;
        std::vector<std::string> events;
    } cases[] = {
        {"\x1b]104;300;-1\x07", {}},
        {"\x1b]104;x\x07", {"colorChanged:0"}},
        {"\x1b]104;5;;200\x07", {"colorChanged:5", "colorChanged:200"}},
        {"\x1b]104\x07", {"colorChanged:all"}},
        {"\x1b]104;\xc3\xa9\x07", {}},
    };
    for (const auto& c : cases) {
        t.delegate.clear();
        t.feed(c.input);
        EXPECT_EQ(t.delegate.events, c.events) << c.input;
    }
    EXPECT_EQ(t->ansiColors[0], defaultZero);
    EXPECT_EQ(t->ansiColors[5], defaultFive);
    EXPECT_EQ(t->ansiColors, t->defaultAnsiColors);
}

TEST(TerminalOscTest, Clipboard) {
    struct Case {
        std::string input;
        std::vector<std::string> copies;
        const char* reply;
    } cases[] = {
        {"\x1b]52;c;aGk=\x07\x1b]52;;?\x07", {"hi"}, "\x1b]52;c;aGk=\x1b\\"},
        {"\x1b]52;c;aGk=\x07\x1b]52;p;?\x1b\\", {"hi"}, "\x1b]52;p;aGk=\x1b\\"},
        {"\x1b]52;c;?\x07", {}, ""},  // no clipboard data, no reply
        // Malformed: not padded, outside the alphabet, no separator, not Base64 at all.
        {"\x1b]52;c;aGk\x07", {}, ""},
        {"\x1b]52;c;a*k=\x07", {}, ""},
        {"\x1b]52;c\x07", {}, ""},
        {"\x1b]52;c;\xc3\xa9\x07", {}, ""},
    };
    for (const auto& c : cases) {
        OscTerminal t;
        t.feed(c.input);
        EXPECT_EQ(t.delegate.copies, c.copies) << c.input;
        EXPECT_EQ(t.delegate.replies(), c.reply) << c.input;
    }
}

TEST(TerminalOscTest, ProgressReports) {
    using S = ProgressReport::State;
    struct Case {
        const char* data;
        std::optional<ProgressReport> report;
    } cases[] = {
        {"4;1", ProgressReport{S::set, 0}},
        {"4;1;150", ProgressReport{S::set, 100}},
        {"4;1;42;junk", ProgressReport{S::set, 42}},
        {"4;3", ProgressReport{S::indeterminate, std::nullopt}},
        {"4;2;-5", ProgressReport{S::error, 0}},
        {"4;4;", ProgressReport{S::pause, std::nullopt}},
        {"4;0;50", ProgressReport{S::remove, std::nullopt}},
        {"4;0;x", std::nullopt},
        {"4;1;x", std::nullopt},
        {"4;1;99999999999999999999", std::nullopt},
        {"4;5", std::nullopt},
        {"4;12", std::nullopt},
        {"4", std::nullopt},
        {"3;1", std::nullopt},
        {"4;1;\xc3\xa9", std::nullopt},
    };
    for (const auto& c : cases) {
        OscTerminal t;
        EXPECT_EQ(t->parseProgressReport(bytes(c.data)), c.report) << c.data;
        t.feed(std::string("\x1b]9;") + c.data + "\x07");
        if (c.report) EXPECT_EQ(t.delegate.progress, std::vector<ProgressReport>{*c.report}) << c.data;
        else EXPECT_TRUE(t.delegate.progress.empty()) << c.data;
    }
}

TEST(TerminalOscTest, DirectoryAndDocumentNeedATrustedProcess) {
    OscTerminal t;
    t.feed("\x1b]7;file://host/tmp/a b\x07\x1b]6;file:///doc.txt\x07");
    EXPECT_EQ(t->hostCurrentDirectory, "file://host/tmp/a b");
    EXPECT_EQ(t->hostCurrentDocument, "file:///doc.txt");
    EXPECT_EQ(t.delegate.events, (std::vector<std::string>{"cwd:file://host/tmp/a b", "doc:file:///doc.txt"}));

    t.delegate.clear();
    t.feed("\x1b]7;/tmp/\xff\x07");
    EXPECT_EQ(t->hostCurrentDirectory, "file://host/tmp/a b") << "invalid UTF-8 is ignored";

    OscTerminal untrusted;
    untrusted.delegate.trusted = false;
    untrusted.feed("\x1b]7;/tmp\x07\x1b]6;/doc\x07");
    EXPECT_EQ(untrusted->hostCurrentDirectory, std::nullopt);
    EXPECT_EQ(untrusted->hostCurrentDocument, std::nullopt);
    EXPECT_TRUE(untrusted.delegate.events.empty());
}

TEST(TerminalOscTest, HyperlinkStartAndEnd) {
    OscTerminal t;
    t.feed("\x1b]8;;http://a.example/x;y\x07");
    ASSERT_TRUE(t->activeHyperlink);
    EXPECT_EQ(t->activeHyperlink->kind, Terminal::ActiveHyperlink::Kind::pending);
    EXPECT_EQ(t->activeHyperlink->uri, ";http://a.example/x;y");
    t.feed("\x1b]8;;\x07");
    EXPECT_FALSE(t->activeHyperlink);
    t.feed("\x1b]8;id=1;\x07");
    ASSERT_TRUE(t->activeHyperlink) << "params with an empty URI still start a link";
    EXPECT_EQ(t->activeHyperlink->uri, "id=1;");
    t.feed("\x1b]8;;http://\xc3\xa9.example\x07");
    ASSERT_TRUE(t->activeHyperlink);
    EXPECT_EQ(t->activeHyperlink->uri, "") << "text that is not ASCII gives no URI";

    EXPECT_EQ(Terminal::parseHyperlinkPayload("id=1;http://x/?a;b"), "http://x/?a;b");
    EXPECT_EQ(Terminal::parseHyperlinkPayload(";"), "");
    EXPECT_EQ(Terminal::parseHyperlinkPayload("http://x"), std::nullopt);
}

TEST(TerminalOscTest, Notifications) {
    struct Case {
        const char* input;
        std::vector<std::string> events;
    } cases[] = {
        {"\x1b]777;notify;Build;done; 3 warnings\x07", {"notify:Build|done; 3 warnings"}},
        {"\x1b]777;notify;;\x07", {"notify:|"}},
        {"\x1b]777;notify;Title\x07", {}},
        {"\x1b]777;other;T;B\x07", {}},
        {"\x1b]777;notify;\xff;B\x07", {}},
    };
    for (const auto& c : cases) {
        OscTerminal t;
        t.feed(c.input);
        EXPECT_EQ(t.delegate.events, c.events) << c.input;
    }
}

TEST(TerminalOscTest, InlineFiles) {
    using R = ImageSizeRequest;
    struct Case {
        const char* args;
        R width;
        R height;
        bool preserve;
    } cases[] = {
        {"inline=1;width=50%;height=3", R::percent(50), R::cells(3), true},
        {"inline=1;width=200;height=199", R::tooLarge(), R::cells(199), true},
        {"inline=1;width=4096px;height=4095px", R::tooLarge(), R::pixels(4095), true},
        {"inline=1;width=0%;height=101%", R::automatic(), R::tooLarge(), true},
        {"inline=1;width=65535;height=+99999999999999999999px", R::tooLarge(), R::tooLarge(), true},
        {"inline=1;width=-5;height=0px", R::automatic(), R::automatic(), true},
        {"inline=1;width=auto;height=+7", R::automatic(), R::cells(7), true},
        {"inline=1;width=x;preserveAspectRatio=0", R::automatic(), R::automatic(), false},
        {"inline=1;width=5;width=6", R::cells(6), R::automatic(), true},
        {"inline=1;;width=5", R::automatic(), R::automatic(), true},  // reading stops at the empty segment
    };
    for (const auto& c : cases) {
        OscTerminal t;
        t.feed(std::string("\x1b]1337;File=") + c.args + ":aGk=\x07");
        ASSERT_EQ(t.delegate.images.size(), 1u) << c.args;
        const auto& image = t.delegate.images[0];
        EXPECT_EQ(image.data, "hi");
        EXPECT_EQ(image.width, c.width) << c.args;
        EXPECT_EQ(image.height, c.height) << c.args;
        EXPECT_EQ(image.preserveAspectRatio, c.preserve) << c.args;
        EXPECT_TRUE(t.delegate.contents.empty());
    }
}

TEST(TerminalOscTest, OtherOsc1337ContentGoesToTheHostWhole) {
    struct Case {
        const char* data;
        std::vector<std::string> contents;
    } cases[] = {
        {"File=name=x:aGk=", {"File=name=x:aGk="}},
        {"File=inline=0:aGk=", {"File=inline=0:aGk="}},
        {"SetUserVar=a=b", {"SetUserVar=a=b"}},
        {"File=inline=1:a*k=", {}},  // not Base64
        {"File=inline=1", {}},       // no colon
        {"NoEquals", {}},
        {"\xff=1", {}},
    };
    for (const auto& c : cases) {
        OscTerminal t;
        t.feed(std::string("\x1b]1337;") + c.data + "\x07");
        EXPECT_EQ(t.delegate.contents, c.contents) << c.data;
        EXPECT_TRUE(t.delegate.images.empty()) << c.data;
    }
}

TEST(TerminalOscTest, HostileOscPayloadsNeverCrash) {
    OscTerminal t;
    std::string noise;
    for (int i = 0; i < 4096; ++i) noise.push_back(static_cast<char>((i * 131 + 7) % 256 == 0x07 ? 'x' : (i * 131 + 7) % 256));
    for (int code : {4, 6, 7, 8, 9, 10, 11, 12, 52, 104, 112, 133, 777, 1337}) {
        t.feed("\x1b]" + std::to_string(code) + ";" + noise + "\x07");
        t.feed("\x1b]" + std::to_string(code) + ";\x07");
        t.feed("\x1b]" + std::to_string(code) + "\x07");
    }
    t.feed("\x1b]4;" + std::string(100000, ';') + "\x07");
    t.feed("\x1b]52;c;" + std::string(100001, 'A') + "\x07");
    SUCCEED();
}
