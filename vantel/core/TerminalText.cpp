// Text export: rows and ranges as text, whole buffers as encoded bytes.
#include <algorithm>

#include "vantel/core/Terminal.h"

namespace vantel {

namespace {

struct RowText {
    std::string text;
    int64_t characters = 0;
};

RowText rowText(const Terminal& terminal, const BufferLine& line, int start, int end) {
    RowText out;
    int stop = end == -1 ? line.count() : std::min(end, line.count());
    stop = std::min(stop, line.getTrimmedLength());
    const CharData* cells = line.cells();
    for (int col = std::max(start, 0); col < stop; ++col) {
        const CharData& cell = cells[col];
        if (col > 0 && cell.code == 0 && cells[col - 1].width == 2) continue;
        for (char32_t scalar : terminal.character(cell.code)) appendUtf8(out.text, scalar == 0 ? U' ' : scalar);
        ++out.characters;
        if (cell.width == 2 && col + 1 < stop && cells[col + 1].code == 0) ++col;
    }
    return out;
}

// Only cells that were never written: an erase with a colour leaves a row that is not empty.
bool isEmptyRow(const BufferLine& line) {
    const CharData* cells = line.cells();
    for (int i = 0; i < line.count(); ++i) {
        if (cells[i].code != 0 || !(cells[i].attribute == Attribute::defaultAttribute)) return false;
    }
    return true;
}

bool encodeScalar(std::string& out, char32_t c, Terminal::TextEncoding encoding) {
    auto push16 = [&](uint16_t unit, bool little) {
        out.push_back(static_cast<char>(little ? unit & 0xFF : unit >> 8));
        out.push_back(static_cast<char>(little ? unit >> 8 : unit & 0xFF));
    };
    switch (encoding) {
    case Terminal::TextEncoding::utf8: appendUtf8(out, c); return true;
    case Terminal::TextEncoding::ascii:
        if (c > 0x7F) return false;
        out.push_back(static_cast<char>(c));
        return true;
    case Terminal::TextEncoding::isoLatin1:
        if (c > 0xFF) return false;
        out.push_back(static_cast<char>(c));
        return true;
    case Terminal::TextEncoding::utf16LittleEndian:
    case Terminal::TextEncoding::utf16BigEndian: {
        const bool little = encoding == Terminal::TextEncoding::utf16LittleEndian;
        if (c < 0x10000) {
            push16(static_cast<uint16_t>(c), little);
        } else {
            const uint32_t v = c - 0x10000;
            push16(static_cast<uint16_t>(0xD800 + (v >> 10)), little);
            push16(static_cast<uint16_t>(0xDC00 + (v & 0x3FF)), little);
        }
        return true;
    }
    }
    return false;
}

}  // namespace

std::string Terminal::translateBufferLineToString(Buffer& buffer, int line, int start, int end) {
    if (line < 0 || line >= buffer.lines().count()) return {};
    return rowText(*this, buffer.lines()[line], start, end).text;
}

std::vector<Line> Terminal::getSelectedLines(Position start, Position end, Buffer& buffer) {
    std::vector<Line> result(1);
    const int count = buffer.lines().count();
    if (start.row < 0 || start.row >= count) return result;
    end.row = std::min(end.row, count - 1);

    auto fragment = [&](int row, int startCol, int endCol) {
        RowText text = rowText(*this, buffer.lines()[row], startCol, endCol);
        return LineFragment{std::move(text.text), row, startCol, text.characters};
    };
    // Empty rows are held back: they count only when a row with content follows them.
    std::vector<LineFragment> pendingBlanks;
    auto addBlanks = [&] {
        for (size_t i = 0; i < pendingBlanks.size(); ++i) {
            if (i > 0 && pendingBlanks[i].line != pendingBlanks[i - 1].line) result.emplace_back();
            result.back().add(std::move(pendingBlanks[i]));
        }
        pendingBlanks.clear();
    };

    if (!isEmptyRow(buffer.lines()[start.row])) {
        result.back().add(fragment(start.row, start.col, end.row <= start.row ? end.col : -1));
    }
    for (int row = start.row + 1; row < end.row; ++row) {
        const BufferLine& line = buffer.lines()[row];
        if (isEmptyRow(line)) {
            if (!line.isWrapped()) pendingBlanks.push_back(LineFragment::lineBreak(row - 1));
            pendingBlanks.push_back(fragment(row, 0, -1));
            continue;
        }
        addBlanks();
        if (!line.isWrapped()) {
            result.back().add(LineFragment::lineBreak(row - 1));
            result.emplace_back();
        }
        result.back().add(fragment(row, 0, -1));
    }
    if (end.row != start.row) {
        const BufferLine& last = buffer.lines()[end.row];
        if (isEmptyRow(last)) return result;
        addBlanks();
        if (!last.isWrapped()) {
            result.back().add(LineFragment::lineBreak(end.row - 1));
            result.emplace_back();
        }
        result.back().add(fragment(end.row, 0, end.col));
    }
    return result;
}

std::string Terminal::getText(Position start, Position end) {
    Position lo = start, hi = end;
    if (hi < lo) std::swap(lo, hi);
    if (lo == hi) return {};
    Buffer& buffer = *buffer_;
    const int count = buffer.lines().count();
    if (lo.row < 0 || lo.row >= count) return {};
    return Line::joinedText(getSelectedLines(lo, Position{hi.col, std::min(hi.row, count - 1)}, buffer));
}

std::vector<uint8_t> Terminal::getBufferAsData(BufferKind kind, TextEncoding encoding) {
    Buffer& buffer = kind == BufferKind::normal ? *normalBuffer_ : kind == BufferKind::alt ? *altBuffer_ : *buffer_;
    std::vector<uint8_t> data;
    std::string row;
    for (int i = 0; i < buffer.lines().count(); ++i) {
        const BufferLine& line = buffer.lines()[i];
        const int stop = std::min(line.getTrimmedLength(), line.count());
        row.clear();
        bool encodable = true;
        // One character per cell and no other rule: empty cells and wide halves read as U+0000.
        for (int col = 0; col < stop && encodable; ++col) {
            const int32_t code = line.cells()[col].code;
            const char32_t c = code >= 0 && isUnicodeScalar(static_cast<uint32_t>(code)) ? static_cast<char32_t>(code) : U' ';
            encodable = encodeScalar(row, c, encoding);
        }
        if (!encodable) continue;
        data.insert(data.end(), row.begin(), row.end());
        data.push_back(0x0A);
    }
    return data;
}

}  // namespace vantel
