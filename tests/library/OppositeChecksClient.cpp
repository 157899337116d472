// A program built as a user of the engine might build it, with the other assertion setting than
// the libraries it links: without NDEBUG against a release build, with NDEBUG and no checks
// against the checked sanitizer build. It feeds text through the engine, reads it back through
// the inline accessors of the public headers and writes cells itself the way the print path
// does; any disagreement on a line's layout shows as wrong text or a failed assertion.
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "vantel/core/Terminal.h"

namespace {

class Delegate : public vantel::TerminalDelegate {
public:
    void send(vantel::Terminal&, std::span<const uint8_t>) override {}
};

int failures = 0;

void expect(bool holds, const std::string& what) {
    if (holds) return;
    std::fprintf(stderr, "opposite-checks client: %s\n", what.c_str());
    ++failures;
}

std::string rowText(vantel::Terminal& terminal, int row) {
    const vantel::BufferLine* line = terminal.getLine(row);
    if (!line) return "<no line>";
    return line->translateToString(true, 0, -1, true,
                                   [&](const vantel::CharData& cell) { return terminal.getCharacter(cell); });
}

}  // namespace

int main() {
#if defined(VANTEL_CHECKS)
    std::printf("built with the engine's checks on (no NDEBUG)\n");
#else
    std::printf("built with NDEBUG and the engine's checks off\n");
#endif
    Delegate delegate;
    vantel::TerminalOptions options;
    options.cols = 40;
    options.rows = 5;
    options.scrollback = 100;
    vantel::Terminal terminal(&delegate, options);

    // Enough lines to scroll, so that lines are cleared and written again (the lazy blanking).
    for (int i = 0; i < 30; ++i) terminal.feed("line " + std::to_string(i) + " \xc3\xa9t\xc3\xa9 e\xcc\x81\r\n");
    terminal.feed("last");
    for (int row = 0; row < 4; ++row) {
        const std::string want = "line " + std::to_string(26 + row) + " \xc3\xa9t\xc3\xa9 e\xcc\x81";
        expect(rowText(terminal, row) == want, "row " + std::to_string(row) + " reads '" + rowText(terminal, row) +
                                                   "', not '" + want + "'");
    }
    expect(rowText(terminal, 4) == "last", "the last row reads '" + rowText(terminal, 4) + "'");

    // Cell by cell through operator[], and a write through the writer the print path uses.
    vantel::BufferLine& line = *terminal.getLine(4);
    expect(line.count() == 40, "the line holds " + std::to_string(line.count()) + " cells");
    expect(line[0].code == 'l' && line[3].code == 't' && line[4].code == 0, "cells of 'last' read back wrong");
    line.clear(vantel::Attribute());
    vantel::CharData* cells = line.cellsForWriting(2);
    for (int col = 2; col < 5; ++col) cells[col] = vantel::CharData(vantel::Attribute(), 'a' + col, 1);
    line.noteCellsWritten(2, 3);
    expect(line.translateToString(true) == std::string(2, '\0') + "cde", "written cells read back wrong");
    expect(line[0].code == 0 && line[1].code == 0 && line[39].code == 0, "cleared cells read back wrong");

    terminal.feed("\x1b[2J\x1b[Hagain");
    expect(rowText(terminal, 0) == "again", "after a clear the first row reads '" + rowText(terminal, 0) + "'");
    if (failures == 0) std::printf("text read back as fed\n");
    return failures == 0 ? 0 : 1;
}
