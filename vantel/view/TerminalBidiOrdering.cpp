// Whether a row can need right-to-left layout, the detected paragraph direction, and the
// visual order of a row's cells from the bidi algorithm run over one proxy unit per cell.
#include <algorithm>

#include "vantel/core/BufferLine.h"
#include "vantel/core/Terminal.h"
#include "vantel/core/UnicodeUtil.h"
#include "vantel/view/TerminalBidi.h"

namespace vantel {

using platform::gfx::BidiTypesetter;

namespace {

constexpr char32_t leftToRightMark = 0x200E;
constexpr char32_t rightToLeftMark = 0x200F;

bool inRange(char32_t s, char32_t lo, char32_t hi) { return s >= lo && s <= hi; }

// Letters that join in Arabic script all enter the algorithm as one non-joining AL letter.
bool isArabicLetterForProbe(char32_t s) {
    return inRange(s, 0x0620, 0x064A) || inRange(s, 0x066E, 0x066F) || inRange(s, 0x0671, 0x06D5) ||
           inRange(s, 0x06EE, 0x06EF) || inRange(s, 0x06FA, 0x06FF) || inRange(s, 0x0750, 0x077F) ||
           inRange(s, 0x0870, 0x088F) || inRange(s, 0x08A0, 0x08D2) || s == 0x200D;
}

bool isRightToLeftPlane(char32_t s) { return inRange(s, 0x10800, 0x10FFF) || inRange(s, 0x1E800, 0x1EFFF); }

}  // namespace

bool TerminalBidi::isRightToLeftCandidate(char32_t s) {
    return inRange(s, 0x0590, 0x08FF) || inRange(s, 0xFB1D, 0xFDFF) || inRange(s, 0xFE70, 0xFEFC) ||
           isRightToLeftPlane(s) || s == rightToLeftMark || s == 0x202B || s == 0x202E || s == 0x2067;
}

bool TerminalBidi::mayNeedBidi(const BufferLine& line, int cols, const Terminal& terminal) {
    const int limit = std::min(line.count(), cols);
    if (limit <= 0) return false;
    const CharData* cells = line.cells();
    for (int col = 0; col < limit;) {
        const CharData& cell = cells[col];
        col += cell.width > 0 ? cell.width : 1;
        if (cell.code < 0x0590) continue;
        if (cell.code < CharData::maxRune) {
            if (isRightToLeftCandidate(static_cast<char32_t>(cell.code))) return true;
            continue;
        }
        for (char32_t s : terminal.character(cell.code)) {
            if (isRightToLeftCandidate(s)) return true;
        }
    }
    return false;
}

BidiDirection TerminalBidi::detectedBaseDirection(const std::vector<Cell>& cells, BidiDirection fallback) {
    for (const Cell& cell : cells) {
        for (char32_t s : cell.text) {
            if (s == leftToRightMark) return BidiDirection::leftToRight;
            if (s == rightToLeftMark) return BidiDirection::rightToLeft;
            if (!UnicodeUtil::isAlphabetic(s)) continue;
            return isRightToLeftCandidate(s) ? BidiDirection::rightToLeft : BidiDirection::leftToRight;
        }
    }
    return fallback;
}

char16_t TerminalBidi::probeScalar(const Character& text) {
    if (text.empty()) return u' ';
    const char32_t s = text[0];
    if (UnicodeUtil::canonicalCombiningClass(s) != 0) return u'\u00B7';
    const GeneralCategory gc = UnicodeUtil::generalCategory(s);
    if (gc == GeneralCategory::Mn || gc == GeneralCategory::Me) return u'\u00B7';
    if (isArabicLetterForProbe(s)) return u'\u0621';
    if (s < 0x10000) return static_cast<char16_t>(s);
    if (isRightToLeftPlane(s)) return u'\u200F';
    return u'\u00B7';
}

std::unique_ptr<BidiTypesetter> TerminalBidi::makeTypesetter(const std::vector<Cell>& cells, BidiDirection direction) {
    if (cells.empty()) return nullptr;
    std::u16string proxy;
    proxy.reserve(cells.size());
    for (const Cell& cell : cells) proxy.push_back(probeScalar(cell.text));
    return BidiTypesetter::make(std::move(proxy), direction == BidiDirection::rightToLeft);
}

std::optional<TerminalBidi::VisualOrder> TerminalBidi::computeVisualOrder(int lo, int hi,
                                                                          const BidiTypesetter& typesetter,
                                                                          BidiDirection baseDirection) {
    const int n = hi - lo;
    if (n <= 0) return VisualOrder{};
    auto glyphs = typesetter.line(lo, n);
    if (!glyphs) return std::nullopt;
    return visualOrderFromGlyphs(*glyphs, lo, n, baseDirection);
}

std::optional<TerminalBidi::VisualOrder> TerminalBidi::visualOrderFromGlyphs(
    const std::vector<BidiTypesetter::Glyph>& glyphs, int lo, int n, BidiDirection baseDirection) {
    if (n <= 0) return VisualOrder{};
    const bool baseRightToLeft = baseDirection == BidiDirection::rightToLeft;
    struct Position {
        double x;
        int offset;
    };
    std::vector<Position> positions;
    positions.reserve(glyphs.size());
    std::vector<signed char> dir(static_cast<size_t>(n), -1);  // -1 unknown, else 0 or 1
    for (const BidiTypesetter::Glyph& glyph : glyphs) {
        const int i = glyph.stringIndex - lo;
        if (i < 0 || i >= n) continue;
        positions.push_back({glyph.x, i});
        dir[static_cast<size_t>(i)] = glyph.rightToLeft ? 1 : 0;
    }
    std::stable_sort(positions.begin(), positions.end(), [](const Position& a, const Position& b) {
        return a.x < b.x || (a.x == b.x && a.offset < b.offset);
    });
    std::vector<int> order;
    order.reserve(static_cast<size_t>(n));
    std::vector<bool> present(static_cast<size_t>(n), false);
    for (const Position& p : positions) {
        if (present[static_cast<size_t>(p.offset)]) continue;
        present[static_cast<size_t>(p.offset)] = true;
        order.push_back(p.offset);
    }

    // Offsets without a glyph take the direction of their nearest known neighbour and stand
    // beside their logical neighbour on the side that direction gives.
    auto placeOf = [&](int offset) {
        return static_cast<size_t>(std::find(order.begin(), order.end(), offset) - order.begin());
    };
    for (int i = 0; i < n && static_cast<int>(order.size()) < n; ++i) {
        if (present[static_cast<size_t>(i)]) continue;
        signed char direction = baseRightToLeft ? 1 : 0;
        for (int d = 1; i - d >= 0 || i + d < n; ++d) {
            if (i - d >= 0 && dir[static_cast<size_t>(i - d)] >= 0) {
                direction = dir[static_cast<size_t>(i - d)];
                break;
            }
            if (i + d < n && dir[static_cast<size_t>(i + d)] >= 0) {
                direction = dir[static_cast<size_t>(i + d)];
                break;
            }
        }
        dir[static_cast<size_t>(i)] = direction;
        size_t at = order.size();
        if (i > 0 && present[static_cast<size_t>(i - 1)]) {
            at = placeOf(i - 1) + (direction ? 0 : 1);
        } else if (i + 1 < n && present[static_cast<size_t>(i + 1)]) {
            at = placeOf(i + 1) + (direction ? 1 : 0);
        }
        order.insert(order.begin() + static_cast<std::ptrdiff_t>(at), i);
        present[static_cast<size_t>(i)] = true;
    }
    if (static_cast<int>(order.size()) != n) return std::nullopt;

    VisualOrder result;
    result.order = std::move(order);
    result.rtl.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const signed char d = dir[static_cast<size_t>(i)];
        result.rtl[static_cast<size_t>(i)] = d >= 0 ? d == 1 : baseRightToLeft;
    }
    return result;
}

}  // namespace vantel
