// CSI sequences of plain parameters (CUP, SGR and the rest) and lone characters between
// sequences take a short way through the parser; cut anywhere, or fed one byte at a time
// through the table, a stream must leave every cell, the cursor, the attribute and the dirty
// rows exactly as they are.
#include <gtest/gtest.h>

#include <string>

#include "bench/BenchPayloads.h"
#include "support/StreamCheck.h"
#include "vantel/core/CellWriter.h"

using namespace vantel;
using vantel::testing::bytesOf;
using vantel::testing::RecordingDelegate;
using vantel::testing::terminalTranscript;
using vantel::testing::VirtualScheduler;

namespace {

// Everything the short ways may touch, down to the fields the screen snapshot leaves out.
std::string fullState(Terminal& terminal, const RecordingDelegate& delegate) {
    std::string out = terminalTranscript(terminal, delegate);
    for (Buffer* buffer : {&terminal.normalBuffer(), &terminal.altBuffer()}) {
        for (int row = 0; row < buffer->lines().count(); ++row) {
            BufferLine& line = buffer->lines()[row];
            for (int col = 0; col < line.count(); ++col) {
                const CharData& cell = line[col];
                // Payload codes are handed out per process: only whether a cell has one.
                out += std::to_string(cell.hasPayload()) + ":" + std::to_string(cell.semanticContentCode) + " ";
            }
            out += "\n";
        }
    }
    const Attribute& attr = terminal.currentAttribute();
    out += "attribute=" + std::to_string(attr.hash()) + "\n";
    if (const auto range = terminal.getUpdateRange()) {
        out += "dirty=" + std::to_string(range->first) + "-" + std::to_string(range->second) + "\n";
    }
    return out;
}

enum class Feed { whole, cutAt, byteAtATime };

std::string run(std::string_view stream, int cols, int rows, Feed feed, size_t cut = 0) {
    TerminalOptions options;
    options.cols = cols;
    options.rows = rows;
    options.scrollback = 3;
    RecordingDelegate delegate;
    VirtualScheduler scheduler;
    Terminal terminal(&delegate, options, &scheduler);
    terminal.parser().setByteAtATime(feed == Feed::byteAtATime);
    // A new terminal has every row to draw: start clean, so the rows each way marks compare.
    terminal.clearUpdateRange();
    if (feed == Feed::cutAt) {
        terminal.feed(bytesOf(stream.substr(0, cut)));
        terminal.feed(bytesOf(stream.substr(cut)));
    } else {
        terminal.feed(bytesOf(stream));
    }
    return fullState(terminal, delegate);
}

}  // namespace

TEST(CsiFastPathTest, EveryCutAndTheTableWalkLeaveTheSameTerminal) {
    struct Case {
        const char* name;
        std::string stream;
        int cols = 10;
        int rows = 5;
    } cases[] = {
        {"CUP and lone characters", "\x1b[2;3HX\x1b[5;10HY\x1b[1;1HZ\x1b[4;7Hq"},
        {"CUP with empty, missing and huge parameters", "\x1b[HA\x1b[;5HB\x1b[4;HC\x1b[99999;99999HD\x1b[3HE"},
        // On a screen big enough that no two of these land on the same cell.
        {"CUP of one to four digits, empty and extra parameters",
         "\x1b[1;1HA\x1b[3;100HB\x1b[100;3HC\x1b[1000;2HD\x1b[2;1000HE\x1b[;5HF\x1b[4;HG\x1b[0;7HI"
         "\x1b[5;6;7HJ\x1b[6:3HK\x1b[7HL\x1b[12;9HM\x1b[13;10HN\x1b[2C\x1b[14HO\x1b[007;008HP\x1b[15;5fQ"
         "\x1b[16;999HR\x1b[99;1HS\x1b[H",
         120, 40},
        {"CUP in origin mode inside a region", "\x1b[2;4r\x1b[?6h\x1b[2;3HX\x1b[9;9HY\x1b[HZ\x1b[?6l\x1b[r"},
        // The row the character lands on is marked once, by the CUP before it.
        {"a lone character after CUP in origin mode", "\x1b[2;5r\x1b[?6h\x1b[3;3HX\x1b[m"},
        {"a lone character after line feeds and SGR", "\n\n\x1b[1mX\x1b[m"},
        {"256-colour pairs", "\x1b[38;5;196;48;5;21mX\x1b[38;5;7;48;5;255mY\x1b[0mZ"},
        {"palette colours of zero to four digits, in groups up to the parameter limit",
         "\x1b[38;5;mA\x1b[38;5;7mB\x1b[48;5;42mC\x1b[38;5;255;48;5;0mD\x1b[38;5;1234mE\x1b[1;38;5;100;4mF"
         "\x1b[38;5;9:1mG\x1b[38;5:9mH\x1b[48;5;12;38;5;34;48;5;56;38;5;78;48;5;90;38;5;123;48;5;45;38;5;67mI"
         "\x1b[38;5;1;38;5;2;38;5;3;38;5;4;38;5;5;38;5;6;38;5;7;38;5;8mJ\x1b[38;5;003;48;5;000mK"
         // A group that would pass the 24th parameter, and a 25th after eight groups: both ignored.
         "\x1b[0m\x1b[1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;38;5;1mL\x1b[0m"
         "\x1b[1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;38;5;2mM"
         "\x1b[38;5;1;38;5;2;38;5;3;38;5;4;38;5;5;38;5;6;38;5;7;38;5;8;1mN\x1b[5;1Hsixteen more bytes"},
        {"a palette pair, then style codes of one and two digits and what they may not be",
         "\x1b[38;5;1;48;5;22;1;3;4mA\x1b[48;5;200;38;5;3;22;23;24mB\x1b[38;5;9;0;107;4mC\x1b[38;5;9;01;03mD"
         "\x1b[38;5;9;001mE\x1b[38;5;9;;3mF\x1b[38;5;9;3;mG\x1b[38;5;9;6;26mH\x1b[48;5;9;10mI\x1b[38;5;9;38;2;1;2;3mJ"
         "\x1b[48;5;9;58;5;3mK\x1b[38;5;9;4:3mL\x1b[38;5;9;3HM\x1b[48;5;9;1;2qN\x1b[38;5;12;999mO\x1b[38;5;9;99mP"
         "\x1b[38;5;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;38;5;2mQ"
         "\x1b[38;5;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;3mR\x1b[38;5;7;48;5;8;1;3;4mS\x1b[0m"
         "\x1b[48;5;100;21;9;2;7;8;5;25;27;28;29;39;49;59;31;42;95;103mT and some more text after it"},
        {"basic colours, bold, defaults", "\x1b[1;31;42mA\x1b[39;49mB\x1b[22;4mC\x1b[;34mD\x1b[mE"},
        {"a reset in the middle of a list", "\x1b[1;31;0;44mA\x1b[45;0mB"},
        {"incomplete and true colours", "\x1b[38;5mA\x1b[48;5;300mB\x1b[48;2;1;2;3mC\x1b[38;2;10;20mD\x1b[38;9;1mE"},
        {"an unknown code among known ones", "\x1b[31;7;38;5;9;53;44mA\x1b[1;99999999;32mB"},
        {"colon sub-parameters", "\x1b[38:5:200mA\x1b[4:3;48;5;1mB\x1b[58:2::1:2:3mC\x1b[38;5:1mD"},
        {"every style code set and cleared",
         "\x1b[1;2;3;4;5;7;8;9mA\x1b[22;23;24;25;27;28;29mB\x1b[21mC\x1b[3;9;7mD\x1b[4;21;24mE\x1b[2;22;1mF"
         "\x1b[58;5;3;4m\x1b[59mG\x1b[0;8;28;5mH\x1b[6;26;10mI"},
        {"bright colours and their neighbours",
         "\x1b[90mA\x1b[97;100mB\x1b[107;89mC\x1b[98mD\x1b[99;108mE\x1b[109;95;103mF\x1b[39;49mG"},
        {"true colours of every length, clamped and cut short",
         "\x1b[38;2;1;2;3mA\x1b[48;2;255;128;0;38;2;0;0;0mB\x1b[38;2;999;1000;256mC\x1b[48;2;1;2mD"
         "\x1b[38;2mE\x1b[1;38;2;4;5;6;3mF\x1b[48;2;;;mG\x1b[38;2;7;8;9;48;5;10;4mH"},
        {"underline styles after a colon",
         "\x1b[4:0mA\x1b[4:1mB\x1b[4:2mC\x1b[4:3mD\x1b[4:4mE\x1b[4:5mF\x1b[4:6mG\x1b[4:99999mH\x1b[4:mI"
         "\x1b[4:3:1mJ\x1b[1;4:2;3mK\x1b[4:3;24mL\x1b[24;4:4mM\x1b[21;4:0;4mN\x1b[38;5;4:3mO\x1b[4;4:5mP"},
        {"colons anywhere else",
         "\x1b[38:2::1:2:3mA\x1b[48:5:7mB\x1b[38;5:9mC\x1b[38;2;1:2;3mD\x1b[1:2mE\x1b[0:4mF\x1b[3;21:1mG"
         "\x1b[58:2:1:2:3mH\x1b[4:3:5;31mI\x1b[2:3HJ\x1b[1;2:3HK\x1b[:mL\x1b[4::3mM"},
        {"23, 24 and 25 parameters",
         "\x1b[1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;31mA"
         "\x1b[1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;32mB"
         "\x1b[1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;33mC"
         "\x1b[2;3;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1HD"},
        {"controls inside the sequence", "\x1b[3\n;4HX\x1b[2;\r5HY\x1b[3\x18;4HZ\x1b[4\x1a;4Hq\x1b[1\x1b[32mW"},
        {"DEL inside the sequence", "\x1b[3;\x7f" "4HX\x1b[3\x7f" "1mY"},
        {"8-bit CSI", "\x9b" "2;6HX\x9b" "31mY\x9b" "HZ"},
        {"private markers and intermediates", "\x1b[?25l\x1b[2 qX\x1b[>1;2mY\x1b[=5HZ\x1b[?1;2H!\x1b[1$H#"},
        {"other finals", "ABCDEFGHIJ\x1b[2J\x1b[3;1HK\x1b[1K\x1b[5C\x1b[2AX\x1b[3;3f\x1b[2@Y\x1b[1P"},
        {"a lone character before other escapes", "A\x1b" "7B\x1b" "8C\x1b" "DD\x1b]0;t\x07" "E\x1bPqF"},
        {"DEL and text runs between sequences", "\x7f\x1b[HX\x1b[2;2Hab\x1b[3;3Hcde\x1b[1;1H \x1b[m"},
        {"a cut character before a sequence", "ab\xe2\x1b[2;2HX\xe2\x9c\x1b[3;3HY\xe2\x9c\nZ\x1b[4;4H"},
        {"insert mode", "abcdef\x1b[4h\x1b[1;1HX\x1b[1;3HY\x1b[4l\x1b[1;5HZ\x1b[1;1H"},
        {"a translated character set", "\x1b(0\x1b[1;1Hq\x1b[1;2Hx\x1b(B\x1b[1;3Hq\x1b[1;1H"},
        {"a hyperlink", "\x1b]8;;http://x\x07\x1b[2;2HL\x1b]8;;\x07\x1b[3;3HM\x1b[1;1H"},
        {"the last column, with and without autowrap",
         "\x1b[1;10HA\x1b[1;10HBC\x1b[?7l\x1b[2;10HD\x1b[2;10HE\x1b[3;9HFG\x1b[?7h\x1b[5;10HHI\x1b[1;1H"},
        {"left and right margins", "\x1b[?69h\x1b[3;6s\x1b[2;6HX\x1b[2;7HY\x1b[?6h\x1b[1;9HZ\x1b[?6l\x1b[?69l\x1b[H"},
        {"a semantic prompt", "\x1b]133;A\x07\x1b[1;1HP\x1b]133;B\x07\x1b[1;3HI\x1b]133;C\x07\x1b[2;1HO"},
        {"the alternate screen", "\x1b[?1049h\x1b[2;2H\x1b[35mX\x1b[?1049l\x1b[3;3HY"},
        {"scrolling below the screen", "\x1b[5;1Ha\n\x1b[5;10Hb\x1b[5;10Hcd\n\x1b[31me\x1b[5;1H"},
    };
    for (const Case& c : cases) {
        const std::string expected = run(c.stream, c.cols, c.rows, Feed::byteAtATime);
        ASSERT_EQ(run(c.stream, c.cols, c.rows, Feed::whole), expected) << c.name << ", in one read";
        for (size_t cut = 1; cut < c.stream.size(); ++cut) {
            ASSERT_EQ(run(c.stream, c.cols, c.rows, Feed::cutAt, cut), expected) << c.name << ", cut after byte " << cut;
        }
    }
}

// The payloads the short ways were made for, at two sizes, against the table walk.
TEST(CsiFastPathTest, BenchmarkPayloadsLeaveTheTerminalOfTheTableWalk) {
    for (const char* name : {"sgr-cell", "dense_cells", "cup-char", "sgr", "repaint", "cursor", "tui"}) {
        for (const bench::Geometry g : {bench::Geometry{80, 24}, bench::Geometry{200, 60}}) {
            const std::string stream = bench::makePayload(name, g, 48 * 1024, bench::benchmarkSeed).bytes;
            EXPECT_EQ(run(stream, g.cols, g.rows, Feed::whole), run(stream, g.cols, g.rows, Feed::byteAtATime))
                << name << " at " << g.cols << "x" << g.rows;
        }
    }
}

// The short way for a lone character builds its cell field by field; the writer for runs
// builds the same cell from its template.
TEST(CsiFastPathTest, ALoneCharacterGetsTheCellOfARun) {
    const Attribute attributes[] = {
        Attribute::defaultAttribute,
        Attribute(Attribute::Color::ansi256(196), Attribute::Color::trueColor(1, 2, 3),
                  CharacterStyle(CharacterStyle::bold | CharacterStyle::italic), UnderlineStyle::curly,
                  Attribute::Color::ansi256(4)),
        Attribute::empty,
    };
    for (const Attribute& attribute : attributes) {
        for (uint8_t semantic : {uint8_t{0}, uint8_t{6}}) {
            const TinyAtom payload(static_cast<uint16_t>(semantic * 1000 + 7));
            CharData written[2];
            const uint8_t letter = 'Q';
            CellWriter(attribute, payload, semantic).write(&written[0], &letter, 1);
            writeCell(&written[1], 'Q', 1, payload, semantic, attribute);
            EXPECT_EQ(written[0], written[1]);
            EXPECT_EQ(written[0], CharData('Q', 1, payload, semantic, attribute));
        }
    }
}
