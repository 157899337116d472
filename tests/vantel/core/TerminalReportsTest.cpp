// What the terminal answers on the child's input: one row per request.
#include <gtest/gtest.h>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::RecordingDelegate;
using vantel::testing::TestTerminal;
using vantel::testing::TestTerminalOf;

namespace {

// Cursor at row 3, column 5 (1-based), a region from row 2, a left margin at column 3,
// and "ABé" on the first row, a combined "é" on the second.
void prepareScreen(Terminal& t) {
    Buffer& b = t.buffer();
    b.setX(4);
    b.setY(2);
    b.setScrollTop(1);
    b.marginLeft = 2;
    int col = 0;
    for (char32_t c : std::u32string_view(U"AB\u00e9")) {
        b.lines()[0].setCell(col++, t.makeCharDataForScalar(Attribute::defaultAttribute, c, 1));
    }
    b.lines()[1].setCell(0, t.makeCharDataForCharacter(Attribute::defaultAttribute, U"e\u0301", 1));
}

}  // namespace

TEST(TerminalReportsTest, Replies) {
    struct Case {
        std::string input;
        const char* reply;
    } cases[] = {
        // Device attributes.
        {"\x1b[c", "\x1b[?65;4;1;6;21;22;17;28c"},
        {"\x1b G\x1b[0c", "\x9b?65;4;1;6;21;22;17;28c"},
        {"\x1b[1c\x1b[=c", ""},
        {"\x1b[>c", "\x1b[>65;20;1c"},
        // Status and cursor position; origin mode counts from the region, the column from the
        // left margin only with margins on.
        {"\x1b[5n", "\x1b[0n"},
        {"\x1b[6n", "\x1b[3;5R"},
        {"\x1b[H\x1b[3;5H\x1b[6n", "\x1b[3;5R"},
        {"\x1b[H" + std::string(80, 'x') + "\x1b[6n\x1b[?6n", "\x1b[1;80R\x1b[?1;80;1R"},
        {"\x1b[?6n", "\x1b[?3;5;1R"},
        {"\x1b G\x1b[6n", "\x9b" "3;5R"},
        {"\x1b[?6h\x1b[6n\x1b[?6n", "\x1b[2;5R\x1b[?2;5;1R"},
        {"\x1b[?6;69h\x1b[6n", "\x1b[2;3R"},
        {"\x1b[?6;69h\x1b[?6n", "\x1b[?2;3;1R"},
        {"\x1b[n\x1b[>6n\x1b[?5n", ""},
        {"\x1b[?26n\x1b[?62n", "\x1b[?27;1;0;0n\x1b[0*{"},
        {"\x1b[?63;7n", "\x1bP7!~0000\x1b\\"},
        // Version: always 7-bit.
        {"\x1b G\x1b[>q", "\x1bP>|Vantel 1.20.0+v1.20.0:\x1b\\"},
        {"\x1b[>1q\x1b[>0;0q", ""},
        // Settings.
        {"\x1b[1m\x1bP$qm\x1b\\", "\x1bP1$r0;1m\x1b\\"},
        {"\x1b[1;31;48;5;200m\x1bP$qm\x1b\\", "\x1bP1$r0;1;31;48;5;200m\x1b\\"},
        {"\x1bP$qr\x1b\\", "\x1bP1$r2;25r\x1b\\"},
        {"\x1bP$qs\x1b\\", "\x1bP1$r3;80s\x1b\\"},
        {"\x1bP$q\"p\x1b\\\x1bP$q q\x1b\\", "\x1bP1$r65;1\"p\x1b\\\x1bP1$r1 q\x1b\\"},
        {"\x1b[4 q\x1bP$q q\x1b\\\x1b[0 q\x1bP$q q\x1b\\", "\x1bP1$r4 q\x1b\\\x1bP1$r1 q\x1b\\"},
        {"\x1b[6 q\x1bP$q q\x1b\\", "\x1bP1$r6 q\x1b\\"},
        {"\x1bP$qx\x1b\\\x1bP$qm\xc3\xa9\x1b\\", "\x1bP0$r\x1b\\\x1bP0$r\x1b\\"},
        {"\x1b G\x1bP$qm\x1b\\", "\x90" "1$r0m\x9c"},
        // Checksums: empty cells count as spaces, a cluster by all its scalars.
        {"\x1b[1;1;1;1;1;2*y", "\x1bP1!~0083\x1b\\"},
        {"\x1b[HCD\x1b[1;1;1;1;1;2*y", "\x1bP1!~0087\x1b\\"},
        {"\x1b[1;1;3;1;3;2*y", "\x1bP1!~0040\x1b\\"},
        {"\x1b[2;1;1;3;1;3*y", "\x1bP2!~00e9\x1b\\"},
        {"\x1b[1;1;2;1;2;1*y", "\x1bP1!~0366\x1b\\"},
        {"\x1b[1;1;1*y", "\x1bP1!~fe52\x1b\\"},
        {"\x1b[5*y\x1b[1;1;1;2;1;1*y", "\x1bP5!~0000\x1b\\\x1bP1!~0000\x1b\\"},
        {"\x1b G\x1b[1;1;1;1;1;2*y", "\x90" "1!~0083\x9c"},
        // Mode reports.
        {"\x1b[?1049$p\x1b[?25$p", "\x1b[?1049;0$y\x1b[?25;1$y"},
        {"\x1b[$p\x1b G\x1b[?$p", "\x1b[;0$y\x9b;0$y"},
        {"\x1b[20h\x1b[20$p\x1b[12$p\x1b[6$p", "\x1b[20;1$y\x1b[12;1$y\x1b[6;0$y"},
        {"\x1b[1$p\x1b[8l\x1b[8$p", "\x1b[1;4$y\x1b[8;2$y"},
        {"\x1b[?1;66h\x1b[?1$p\x1b[?1007$p\x1b[?10$p", "\x1b[?1;1$y\x1b[?1007;1$y\x1b[?10;4$y"},
        {"\x1b[?1006h\x1b[?1015l\x1b[?1006$p", "\x1b[?1006;2$y"},
        {"\x1b[?1002h\x1b[?1000$p\x1b[?9l\x1b[?1002$p", "\x1b[?1000;2$y\x1b[?1002;2$y"},
        {"\x1b[?1049h\x1b[?2026h\x1b[?47$p\x1b[?2026$p", "\x1b[?47;1$y\x1b[?2026;1$y"},
        {"\x1b[?7l\x1b[?45h\x1b[?45$p\x1b[?7h\x1b[?45h\x1b[?45$p", "\x1b[?45;2$y\x1b[?45;1$y"},
        // Saved bidi modes come back; other modes are never saved.
        {"\x1b[?2500h\x1b[?2500s\x1b[?2500l\x1b[?2500r\x1b[?2500$p", "\x1b[?2500;1$y"},
        {"\x1b[?1s\x1b[?1h\x1b[?1r\x1b[?1$p", "\x1b[?1;1$y"},
        // Keyboard flags of the active screen.
        {"\x1b[>1u\x1b[?u\x1b[<u\x1b[?u", "\x1b[?1u\x1b[?0u"},
        {"\x1b[>255u\x1b[?u", "\x1b[?31u"},
        {"\x1b[>1u\x1b[>2u\x1b[<5u\x1b[?u", "\x1b[?0u"},
        {"\x1b[>1u\x1b[>2u\x1b[>4u\x1b[<2u\x1b[?u", "\x1b[?1u"},
        {"\x1b[=1u\x1b[=4;2u\x1b[?u\x1b[=4;3u\x1b[?u\x1b[=4;7u\x1b[?u", "\x1b[?5u\x1b[?1u\x1b[?1u"},
        {"\x1b[>1u\x1b[?1049h\x1b[>4u\x1b[?u\x1b[?1049l\x1b[?u", "\x1b[?4u\x1b[?1u"},
        {"\x1b G\x1b[>8u\x1b[?u", "\x9b?8u"},
        // Window reports the host leaves to us, with a 10 x 16 cell; titles are never echoed.
        {"\x1b[14t\x1b[16t", "\x1b[4;400;800t\x1b[6;16;10t"},
        {"\x1b[18t\x1b G\x1b[19t", "\x1b[8;25;80t\x9b" "9;25;80t"},
        {"\x1b]2;secret\x07\x1b[21t\x1b[20t\x1b G\x1b[21t", "\x1b]l\x1b\\\x1b]L\x1b\\\x9dl\x9c"},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        prepareScreen(*t);
        t.feed(c.input);
        EXPECT_EQ(t.delegate.replies(), c.reply) << ::testing::PrintToString(c.input);
    }
}

TEST(TerminalReportsTest, PrimaryAttributesDependOnTheTerminalName) {
    const std::pair<std::string, std::string> cases[] = {
        {"screen-256color", "\x1b[?1;2c"}, {"rxvt-unicode", "\x1b[?1;2c"}, {"linux", "\x1b[?6c"}, {"vt100", ""}};
    for (const auto& [name, reply] : cases) {
        TestTerminal t(80, 25, [&](TerminalOptions& o) { o.termName = name; });
        t.feed("\x1b[c");
        EXPECT_EQ(t.delegate.replies(), reply) << name;
    }
    TestTerminal noSixel(80, 25, [](TerminalOptions& o) { o.enableSixelReported = false; });
    noSixel.feed("\x1b[c");
    EXPECT_EQ(noSixel.delegate.replies(), "\x1b[?65;1;6;21;22;17;28c");
}

TEST(TerminalReportsTest, VersionIdentity) {
    struct Case {
        std::optional<std::string> tag, branch, version;
        std::string identity;
    } cases[] = {
        {"v1.2", std::nullopt, "unknown", "Vantel 1.2:"},
        {"vv1", "main", "abc", "Vantel v1-main+abc:"},
        {"v", std::nullopt, std::nullopt, "Vantel:"},
        {"1.0\x1b", "fix\tme\xff", "9", "Vantel 1.0-fixme+9:"},
        {std::string(300, 'a'), std::nullopt, std::nullopt, "Vantel " + std::string(248, 'a') + ":"},
    };
    for (const auto& c : cases) EXPECT_EQ(Terminal::xtVersionIdentity(c.tag, c.branch, c.version), c.identity);
}

TEST(TerminalReportsTest, OverlongSettingRequestIsRefusedWithoutGrowing) {
    TestTerminal t;
    // 64 bytes are still read (and are no known request); a flood is cut off, in pieces or not.
    t.feed("\x1bP$q" + std::string(64, ' ') + "\x1b\\");
    t.feed("\x1bP$q");
    for (int i = 0; i < 1000; ++i) t.feed(std::string(100, 'm'));
    t.feed("\x1b\\\x1bP$q" + std::string(65, 'r') + "\x1b\\");
    t.feed("\x1bP$qm\x1b\\");
    EXPECT_EQ(t.delegate.replies(), "\x1bP0$r\x1b\\\x1bP0$r\x1b\\\x1bP0$r\x1b\\\x1bP1$r0m\x1b\\");
}

TEST(TerminalReportsTest, ChecksumOnlyForTrustedProcesses) {
    struct Untrusting : RecordingDelegate {
        bool isProcessTrusted(Terminal&) override { return false; }
    };
    TestTerminalOf<Untrusting> t;
    prepareScreen(*t);
    t.feed("\x1b[1;1;1;1;1;2*y");
    EXPECT_EQ(t.delegate.replies(), "\x1bP1!~0000\x1b\\");
}
