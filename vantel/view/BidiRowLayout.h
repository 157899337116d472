#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "vantel/core/BidiPresentationState.h"
#include "vantel/core/Character.h"

namespace vantel {

// One cell as shown: which logical cell stands at this place, and what it shows there.
struct BidiCell {
    int logicalCol = 0;  // the logical column of the cell's first column
    int width = 1;       // columns, at least 1
    std::optional<Character> display;  // shown instead of the cell's own text (a shaped or mirrored form)

    friend bool operator==(const BidiCell&, const BidiCell&) = default;
};

// The visual layout of one buffer row. A cell of width w at visual column v maps logical
// columns logicalCol + k to v + k, and each of those visual columns back to logicalCol, so
// a wide cell keeps its own column order even inside a right-to-left run.
struct BidiRowLayout {
    std::vector<BidiCell> visualCells;      // left to right, covering the row
    std::vector<int> logicalToVisualCol;    // cols entries
    std::vector<int> visualToLogicalCol;    // cols entries
    BidiDirection baseDirection = BidiDirection::leftToRight;
    uint64_t paragraphRevision = 0;

    // The visual column of a logical one (unchanged outside the row).
    int visualCol(int logicalCol) const {
        return logicalCol >= 0 && logicalCol < static_cast<int>(logicalToVisualCol.size())
                   ? logicalToVisualCol[static_cast<size_t>(logicalCol)]
                   : logicalCol;
    }
    // The logical column shown at a visual one (unchanged outside the row).
    int logicalCol(int visualCol) const {
        return visualCol >= 0 && visualCol < static_cast<int>(visualToLogicalCol.size())
                   ? visualToLogicalCol[static_cast<size_t>(visualCol)]
                   : visualCol;
    }

    friend bool operator==(const BidiRowLayout&, const BidiRowLayout&) = default;
};

}  // namespace vantel
