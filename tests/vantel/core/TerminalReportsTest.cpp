#include <gtest/gtest.h>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::RecordingDelegate;
using vantel::testing::TestTerminal;
using vantel::testing::TestTerminalOf;

namespace {

// Writes text straight into the active buffer's screen row.
void putText(Terminal& t, int row, int col, std::u32string_view text) {
    BufferLine& line = t.buffer().lines()[t.buffer().yBase() + row];
    for (char32_t c : text) line.setCell(col++, t.makeCharDataForScalar(Attribute::defaultAttribute, c, 1));
}

struct ReplyCase {
    const char* input;
    const char* reply;
};

void expectReplies(std::span<const ReplyCase> cases, const std::function<void(TestTerminal&)>& prepare = {}) {
    for (const auto& c : cases) {
        TestTerminal t;
        if (prepare) prepare(t);
        t.feed(c.input);
        EXPECT_EQ(t.delegate.replies(), c.reply) << ::testing::PrintToString(std::string(c.input));
    }
}

}  // namespace

TEST(TerminalReportsTest, DeviceAttributes) {
    const ReplyCase cases[] = {
        {"\x1b[c", "\x1b[?65;4;1;6;21;22;17;28c"},
        {"\x1b[0c", "\x1b[?65;4;1;6;21;22;17;28c"},
        {"\x1b G\x1b[c", "\x9b?65;4;1;6;21;22;17;28c"},
        {"\x1b[1c", ""},
        {"\x1b[>c", "\x1b[>65;20;1c"},
        {"\x1b[>0c", "\x1b[>65;20;1c"},
        {"\x1b[=c", ""},
    };
    expectReplies(cases);
}

TEST(TerminalReportsTest, PrimaryAttributesDependOnTheTerminalName) {
    const std::pair<std::string, std::string> cases[] = {
        {"xterm", "\x1b[?65;4;1;6;21;22;17;28c"},
        {"screen-256color", "\x1b[?1;2c"},
        {"rxvt-unicode", "\x1b[?1;2c"},
        {"linux", "\x1b[?6c"},
        {"vt100", ""},
    };
    for (const auto& [name, reply] : cases) {
        TestTerminal t(80, 25, [&](TerminalOptions& o) { o.termName = name; });
        t.feed("\x1b[c");
        EXPECT_EQ(t.delegate.replies(), reply) << name;
    }
    TestTerminal noSixel(80, 25, [](TerminalOptions& o) { o.enableSixelReported = false; });
    noSixel.feed("\x1b[c");
    EXPECT_EQ(noSixel.delegate.replies(), "\x1b[?65;1;6;21;22;17;28c");
}

TEST(TerminalReportsTest, DeviceStatusAndCursorPosition) {
    const ReplyCase cases[] = {
        {"\x1b[5n", "\x1b[0n"},
        {"\x1b[6n", "\x1b[3;5R"},
        {"\x1b[?6n", "\x1b[?3;5;1R"},
        {"\x1b G\x1b[6n", "\x9b" "3;5R"},
        // Origin mode counts from the region's top; the left margin only with margins on for DECXCPR.
        {"\x1b[?6h\x1b[6n", "\x1b[2;3R"},
        {"\x1b[?6h\x1b[?6n", "\x1b[?2;5;1R"},
        {"\x1b[?6;69h\x1b[?6n", "\x1b[?2;3;1R"},
        {"\x1b[n", ""},
        {"\x1b[7n", ""},
        {"\x1b[>6n", ""},
        {"\x1b[?15n", "\x1b[?10n"},
        {"\x1b[?25n", "\x1b[?21n"},
        {"\x1b[?26n", "\x1b[?27;1;0;0n"},
        {"\x1b[?55n", "\x1b[?53n"},
        {"\x1b[?56n", "\x1b[?57;1n"},
        {"\x1b[?62n", "\x1b[0*{"},
        {"\x1b[?63;7n", "\x1bP7!~0000\x1b\\"},
        {"\x1b[?63n", "\x1bP0!~0000\x1b\\"},
        {"\x1b[?75n", "\x1b[?70n"},
        {"\x1b[?85n", "\x1b[?83n"},
        {"\x1b[?5n", ""},
    };
    expectReplies(cases, [](TestTerminal& t) {
        t->buffer().setX(4);
        t->buffer().setY(2);
        t->buffer().setScrollTop(1);
        t->buffer().marginLeft = 2;
    });
}

TEST(TerminalReportsTest, CursorWaitingToWrapIsReportedInTheLastColumn) {
    TestTerminal t;
    t->buffer().setX(80);
    t.feed("\x1b[6n\x1b[?6n");
    EXPECT_EQ(t.delegate.replies(), "\x1b[1;80R\x1b[?1;80;1R");
}

TEST(TerminalReportsTest, VersionReport) {
    const ReplyCase cases[] = {
        {"\x1b[>q", "\x1bP>|Vantel 1.20.0+v1.20.0:\x1b\\"},
        {"\x1b[>0q", "\x1bP>|Vantel 1.20.0+v1.20.0:\x1b\\"},
        {"\x1b G\x1b[>q", "\x1bP>|Vantel 1.20.0+v1.20.0:\x1b\\"},
        {"\x1b[>1q", ""},
        {"\x1b[>0;0q", ""},
    };
    expectReplies(cases);
}

TEST(TerminalReportsTest, VersionIdentity) {
    struct Case {
        std::optional<std::string> tag, branch, version;
        std::string identity;
    } cases[] = {
        {"v1.2", std::nullopt, "unknown", "Vantel 1.2:"},
        {"vv1", "main", "abc", "Vantel v1-main+abc:"},
        {"v", std::nullopt, std::nullopt, "Vantel:"},
        {"\x01\xff", "\n", "\x7f", "Vantel:"},
        {"1.0\x1b", "fix\tme", "9", "Vantel 1.0-fixme+9:"},
    };
    for (const auto& c : cases) EXPECT_EQ(Terminal::xtVersionIdentity(c.tag, c.branch, c.version), c.identity);
    const std::string longIdentity = Terminal::xtVersionIdentity(std::string(300, 'a'), std::nullopt, std::nullopt);
    EXPECT_EQ(longIdentity.size(), 256u);
    EXPECT_EQ(longIdentity, "Vantel " + std::string(248, 'a') + ":");
}

TEST(TerminalReportsTest, SettingRequests) {
    const ReplyCase cases[] = {
        {"\x1b[1m\x1bP$qm\x1b\\", "\x1bP1$r0;1m\x1b\\"},
        {"\x1b[1;31;48;5;200m\x1bP$qm\x1b\\", "\x1bP1$r0;1;31;48;5;200m\x1b\\"},
        {"\x1bP$qr\x1b\\", "\x1bP1$r1;25r\x1b\\"},
        {"\x1bP$qs\x1b\\", "\x1bP1$r1;80s\x1b\\"},
        {"\x1bP$q\"q\x1b\\", "\x1bP1$r\"q\x1b\\"},
        {"\x1bP$q\"p\x1b\\", "\x1bP1$r65;1\"p\x1b\\"},
        {"\x1bP$q q\x1b\\", "\x1bP1$r2 q\x1b\\"},
        {"\x1bP$qx\x1b\\", "\x1bP0$r\x1b\\"},
        {"\x1bP$q\x1b\\", "\x1bP0$r\x1b\\"},
        {"\x1bP$qm\xc3\xa9\x1b\\", "\x1bP0$r\x1b\\"},
        {"\x1b G\x1bP$qm\x1b\\", "\x90" "1$r0m\x9c"},
        {"\x1b G\x1bP$qy\x1b\\", "\x90" "0$r\x9c"},
    };
    expectReplies(cases);
}

TEST(TerminalReportsTest, OverlongSettingRequestIsRefusedWithoutGrowing) {
    TestTerminal t;
    // Exactly at the limit is still read (and is not a known request).
    t.feed("\x1bP$q" + std::string(64, ' ') + "\x1b\\");
    EXPECT_EQ(t.delegate.replies(), "\x1bP0$r\x1b\\");
    t.delegate.clear();
    // A known request hidden behind a flood is refused, arriving in pieces or not.
    t.feed("\x1bP$q");
    for (int i = 0; i < 1000; ++i) t.feed(std::string(100, 'm'));
    t.feed("\x1b\\");
    t.feed("\x1bP$q" + std::string(65, 'r') + "\x1b\\");
    EXPECT_EQ(t.delegate.replies(), "\x1bP0$r\x1b\\\x1bP0$r\x1b\\");
    t.delegate.clear();
    t.feed("\x1bP$qm\x1b\\");
    EXPECT_EQ(t.delegate.replies(), "\x1bP1$r0m\x1b\\");
}

TEST(TerminalReportsTest, RectangleChecksum) {
    const ReplyCase cases[] = {
        {"\x1b[1;1;1;1;1;2*y", "\x1bP1!~0083\x1b\\"},
        {"\x1b[1;1;2;1;2;2*y", "\x1bP1!~0040\x1b\\"},
        {"\x1b[1;1;1;1;1;4*y", "\x1bP1!~018c\x1b\\"},
        {"\x1b[2;1;1;3;1;3*y", "\x1bP2!~00e9\x1b\\"},
        {"\x1b[5*y", "\x1bP5!~0000\x1b\\"},
        {"\x1b[5;1*y", "\x1bP5!~0000\x1b\\"},
        {"\x1b[1;1;1;2;1;1*y", "\x1bP1!~0000\x1b\\"},
        {"\x1b G\x1b[1;1;1;1;1;2*y", "\x90" "1!~0083\x9c"},
        {"\x1b[9;1;1;1;1;1*y", "\x1bP9!~0041\x1b\\"},
    };
    expectReplies(cases, [](TestTerminal& t) {
        putText(*t, 0, 0, U"AB");
        putText(*t, 0, 2, U"\u00e9");
    });

    // The whole default screen: 80 x 25 cells, all read as spaces.
    TestTerminal blank;
    blank.feed("\x1b[1;1;1*y");
    EXPECT_EQ(blank.delegate.replies(), "\x1bP1!~" + [] {
        char text[16];
        std::snprintf(text, sizeof text, "%04x", 80 * 25 * 0x20);
        return std::string(text);
    }() + "\x1b\\");
}

TEST(TerminalReportsTest, ChecksumCountsEveryScalarOfACluster) {
    TestTerminal t;
    const int32_t cluster = t->code(U"e\u0301");
    t->buffer().lines()[0].setCell(0, t->makeCharData(Attribute::defaultAttribute, cluster, 1));
    t.feed("\x1b[1;1;1;1;1;1*y");
    char expected[32];
    std::snprintf(expected, sizeof expected, "\x1bP1!~%04x\x1b\\", 0x65 + 0x301);
    EXPECT_EQ(t.delegate.replies(), expected);
}

TEST(TerminalReportsTest, ChecksumOnlyForTrustedProcesses) {
    struct Untrusting : RecordingDelegate {
        bool isProcessTrusted(Terminal&) override { return false; }
    };
    TestTerminalOf<Untrusting> t;
    putText(*t, 0, 0, U"AB");
    t.feed("\x1b[1;1;1;1;1;2*y");
    EXPECT_EQ(t.delegate.replies(), "\x1bP1!~0000\x1b\\");
}

TEST(TerminalReportsTest, NoDelegateNoReply) {
    TestTerminal t;
    t->setDelegate(nullptr);
    t.feed("\x1b[c\x1b[6n\x1bP$qm\x1b\\\x1b[1;1;1*y\x1b[?1$p");
    EXPECT_TRUE(t.delegate.sends.empty());
}
