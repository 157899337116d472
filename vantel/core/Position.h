#pragma once

#include <cstdint>
#include <string>

namespace vantel {

// A cell coordinate, ordered row first.
struct Position {
    int col = 0;
    int row = 0;

    enum class compareResult { before, after, equal };

    static compareResult compare(const Position& a, const Position& b) {
        if (a.row < b.row) return compareResult::before;
        if (a.row > b.row) return compareResult::after;
        if (a.col < b.col) return compareResult::before;
        if (a.col > b.col) return compareResult::after;
        return compareResult::equal;
    }

    std::string debugDescription() const { return "col=" + std::to_string(col) + " row=" + std::to_string(row); }

    friend bool operator==(const Position&, const Position&) = default;
    friend bool operator<(const Position& a, const Position& b) {
        return a.row < b.row || (a.row == b.row && a.col < b.col);
    }
};

}  // namespace vantel
