#pragma once

// Puts text straight into a buffer's cells, for tests that need text on screen without the
// print path: one character per scalar, wide characters taking two cells.

#include <string_view>

#include "vantel/core/Terminal.h"
#include "vantel/core/UnicodeUtil.h"

namespace vantel::testing {

// Writes `utf8` into ring row `row` from column `col`; returns the column after it.
inline int writeCells(Buffer& buffer, int row, std::string_view utf8, int col = 0, bool wrapped = false,
                      Attribute attribute = Attribute::defaultAttribute) {
    BufferLine& line = buffer.lines()[row];
    for (char32_t c : fromUtf8(utf8)) {
        const int width = UnicodeUtil::computeColumnWidth(c) == 2 ? 2 : 1;
        if (col + width > line.count()) break;
        line.setCell(col, CharData(attribute, static_cast<int32_t>(c), static_cast<int8_t>(width)));
        if (width == 2) line.setCell(col + 1, CharData(attribute, 0, 0));
        col += width;
    }
    line.setWrapped(wrapped);
    return col;
}

// Row `row` of the active buffer (a ring index) as the selection text reads it.
inline std::string ringRowText(Terminal& terminal, int row) {
    return terminal.translateBufferLineToString(terminal.buffer(), row, 0, -1);
}

}  // namespace vantel::testing
