// Rectangular area operations (DECCRA, DECERA, DECSERA, DECFRA) and presentation direction (SPD, SCP).
#include <algorithm>
#include <cstdio>
#include <vector>

#include "vantel/core/TextUtil.h"
#include "vantel/core/Terminal.h"

namespace vantel {

namespace {

std::optional<int> parameterAt(std::span<const int> pars, size_t index) {
    if (index >= pars.size()) return std::nullopt;
    return pars[index];
}

// Applies `change` to every cell of the area, then marks its rows for redraw.
template <class Change>
void changeRectangle(Terminal& t, const Terminal::RectangularArea& area, Change change) {
    Buffer& b = t.buffer();
    for (int row = area.top; row <= area.bottom; ++row) {
        BufferLine& line = b.lines()[b.yBase() + row];
        for (int col = area.left; col <= area.right; ++col) {
            CharData cell = line[col];
            change(cell);
            line.setCell(col, cell);
        }
    }
    t.updateRange(area.top, false);
    t.updateRange(area.bottom, false);
}

bool isUnicodeScalarValue(int value) { return value >= 0 && value < 0x110000 && !(value >= 0xD800 && value <= 0xDFFF); }

}  // namespace

std::optional<Terminal::RectangularArea> Terminal::getRectangleFromRequest(std::span<const int> pars) const {
    // Far-out values only need to stay past the screen; keeping them small keeps the sums exact.
    int top = std::clamp(parameterAt(pars, 0).value_or(1), 1, rows_ + 1);
    int left = std::clamp(parameterAt(pars, 1).value_or(1), 1, cols_ + 1);
    int bottom = parameterAt(pars, 2).value_or(0);
    int right = parameterAt(pars, 3).value_or(0);
    bottom = bottom > 0 ? std::min(bottom, rows_) : rows_;
    right = right > 0 ? std::min(right, cols_) : cols_;
    const auto [rowOffset, colOffset] = originOffsets();
    top += rowOffset;
    bottom += rowOffset;
    left += colOffset;
    right += colOffset;
    if (bottom < top || right < left) return std::nullopt;
    return RectangularArea{std::min(top - 1, rows_ - 1), std::min(left - 1, cols_ - 1), std::min(bottom - 1, rows_ - 1),
                           std::min(right - 1, cols_ - 1)};
}

void Terminal::csiCopyRectangularArea(std::span<const int> pars, std::string_view collect) {
    if (collect != "$") return;
    auto orDefault = [&](size_t index, int fallback) {
        const int value = parameterAt(pars, index).value_or(0);
        return value == 0 ? fallback : value;
    };
    const int sourcePage = orDefault(4, 1);
    const int destinationPage = orDefault(7, 1);
    if (sourcePage != 1 || destinationPage != 1) return;
    const int source[4] = {orDefault(0, 1), orDefault(1, 1), orDefault(2, rows_), orDefault(3, cols_)};
    auto area = getRectangleFromRequest(source);
    if (!area) return;
    // The destination counts from the same origin as the source.
    const auto [rowOffset, colOffset] = originOffsets();
    const int destinationTop = std::min(std::clamp(orDefault(5, 1) - 1, 0, rows_ - 1) + rowOffset, rows_ - 1);
    const int destinationLeft = std::min(std::clamp(orDefault(6, 1) - 1, 0, cols_ - 1) + colOffset, cols_ - 1);

    // Copy out first, so an overlapping destination receives the original cells.
    const int width = area->right - area->left + 1;
    const int height = area->bottom - area->top + 1;
    std::vector<CharData> cells;
    cells.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
    Buffer& b = *buffer_;
    for (int row = area->top; row <= area->bottom; ++row) {
        const BufferLine& line = b.lines()[b.yBase() + row];
        for (int col = area->left; col <= area->right; ++col) cells.push_back(line[col]);
    }
    const int rowsToWrite = std::min(height, rows_ - destinationTop);
    const int colsToWrite = std::min(width, cols_ - destinationLeft);
    for (int r = 0; r < rowsToWrite; ++r) {
        BufferLine& line = b.lines()[b.yBase() + destinationTop + r];
        for (int c = 0; c < colsToWrite; ++c) {
            line.setCell(destinationLeft + c, cells[static_cast<size_t>(r) * width + c]);
        }
    }
    if (rowsToWrite > 0) {
        updateRange(destinationTop, false);
        updateRange(destinationTop + rowsToWrite - 1, false);
    }
}

void Terminal::csiX(std::span<const int> pars, std::string_view collect) {
    if (collect == "$") return cmdFillRectangularArea(pars);
    if (silentLog) return;
    log("Not implemented CSI x with collect: collect=" + text::byteList(collect) +
        " and pars=" + text::decimalList(pars));
}

void Terminal::csiZ(std::span<const int> pars, std::string_view collect) {
    if (collect == "$") return cmdDECERA(pars);
    if (collect == "'") log("TODO: Enable Locator Reporting (DECELR)");
}

void Terminal::csiOpenBrace(std::span<const int> pars, std::string_view collect) {
    if (collect == "$") return cmdSelectiveEraseRectangularArea(pars);
    if (!silentLog) log("CSI # { not implemented - XTPUSHSGR with " + text::decimalList(pars));
}

void Terminal::cmdDECERA(std::span<const int> pars) {
    auto area = getRectangleFromRequest(pars);
    if (!area) return;
    const CharData erased(0x20, 1, TinyAtom(), 0, curAttr);
    changeRectangle(*this, *area, [&](CharData& cell) { cell = erased; });
}

void Terminal::cmdSelectiveEraseRectangularArea(std::span<const int> pars) {
    auto area = getRectangleFromRequest(pars);
    if (!area) return;
    // Nothing is protected here, so every cell is erasable; colours and links stay.
    changeRectangle(*this, *area, [](CharData& cell) { cell.setValue(0x20, 1); });
}

void Terminal::cmdFillRectangularArea(std::span<const int> pars) {
    const int requested = pars.empty() ? 0 : pars[0];
    const int32_t fill = isUnicodeScalarValue(requested) ? requested : 0x20;
    auto area = getRectangleFromRequest(pars.empty() ? pars : pars.subspan(1));
    if (!area) return;
    const CharData filled(fill, 1, TinyAtom(), 0, curAttr);
    changeRectangle(*this, *area, [&](CharData& cell) { cell = filled; });
}

// --- Presentation direction -------------------------------------------------------------------

void Terminal::applyFallbackDirection(BidiDirection direction) {
    BidiPresentationState state = currentBidiState;
    state.fallbackDirection = direction;
    applyBidiState(state, {BidiStateProperty::fallbackDirection});
}

void Terminal::cmdSelectPresentationDirection(std::span<const int> pars) {
    switch (pars.empty() ? 0 : pars[0]) {
    case 0: applyFallbackDirection(BidiDirection::leftToRight); break;
    case 3: applyFallbackDirection(BidiDirection::rightToLeft); break;
    default: break;
    }
}

void Terminal::cmdSelectCharacterPath(std::span<const int> pars) {
    switch (pars.empty() ? 0 : pars[0]) {
    case 0: applyFallbackDirection(options_.initialBidiState.fallbackDirection); break;
    case 1: applyFallbackDirection(BidiDirection::leftToRight); break;
    case 2: applyFallbackDirection(BidiDirection::rightToLeft); break;
    default: break;
    }
}

}  // namespace vantel
