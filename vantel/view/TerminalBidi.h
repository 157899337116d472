#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/gfx/BidiTypesetter.h"
#include "platform/gfx/BoundedCache.h"
#include "vantel/core/BidiPresentationState.h"
#include "vantel/core/Character.h"
#include "vantel/view/BidiRowLayout.h"

namespace platform::gfx {
class Font;
}

namespace vantel {

class Buffer;
class BufferLine;
class Terminal;

// How rows holding right-to-left text are shown: the visual order of a row's cells, the form
// each cell shows (Arabic joining, mirrored brackets and box corners), and the column maps.
// The unit of layout is the paragraph, a run of rows joined by soft wraps. Finished layouts are
// cached process-wide twice: by paragraph identity (buffer, rows, revision) and by content, so
// text scrolled to other rows reuses its layout. No per-terminal state. Rows are absolute
// indices into the buffer's line list (0 is the oldest scroll-back row).
class TerminalBidi {
public:
    TerminalBidi() = delete;

    // One logical cell of a paragraph.
    struct Cell {
        int row = 0;         // absolute buffer row
        int logicalCol = 0;
        int width = 1;       // at least 1
        Character text;      // " " for an empty cell
        friend bool operator==(const Cell&, const Cell&) = default;
    };

    // Rows first to last, both included.
    struct RowRange {
        int first = 0;
        int last = 0;
        bool contains(int row) const { return row >= first && row <= last; }
        friend bool operator==(const RowRange&, const RowRange&) = default;
    };

    struct ParagraphResult {
        std::map<int, BidiRowLayout> rows;  // a row without an entry is shown in logical order
        BidiDirection baseDirection = BidiDirection::leftToRight;
        // False when no row of the paragraph holds a right-to-left candidate.
        bool hasPotentialRTL = true;
        const BidiRowLayout* row(int absoluteRow) const {
            auto it = rows.find(absoluteRow);
            return it == rows.end() ? nullptr : &it->second;
        }
    };
    using ParagraphResultRef = std::shared_ptr<const ParagraphResult>;

    enum class Joining : uint8_t { none, transparent, causing, right, left, dual };

    // Offsets 0..<n of one row's cells from left to right, and whether each cell (by offset)
    // lies in a right-to-left run.
    struct VisualOrder {
        std::vector<int> order;
        std::vector<bool> rtl;
    };

    static constexpr size_t cacheCapacity = 256;

    // --- Layout -----------------------------------------------------------------------------

    // The layout of the implicit paragraph holding `row`; null when the row is out of range,
    // explicit, or in a soft-wrapped run longer than the terminal's maximumBidiParagraphRows.
    // `font` is the view's normal font, which keys the caches.
    static ParagraphResultRef paragraphResult(int row, Buffer& buffer, int cols, const Terminal& terminal,
                                              const platform::gfx::Font& font);
    // One explicit right-to-left row, mirrored column by column; not cached.
    static std::optional<BidiRowLayout> explicitRightToLeftLayout(int row, Buffer& buffer, int cols,
                                                                  const Terminal& terminal);
    // What every consumer (rows, caret, hit-testing) asks: the row's layout by its bidi state,
    // or null when the row is shown in logical order. `mayNeedBidi`, when given, receives
    // mayNeedBidi() of the row, from the paragraph's cached result where that tells.
    static std::shared_ptr<const BidiRowLayout> rowLayout(int row, Buffer& buffer, int cols, const Terminal& terminal,
                                                          const platform::gfx::Font& font,
                                                          bool* mayNeedBidi = nullptr);
    // A range of changed rows widened to whole paragraphs: every row whose layout the change can move.
    static RowRange renderingDependencyRange(RowRange rows, Buffer& buffer, int maximumRows);
    // The revision of the paragraph holding `row`; 0 when the row is out of range, explicit or in no paragraph.
    static uint64_t layoutRevision(int row, Buffer& buffer, int maximumRows);

    static std::optional<RowRange> paragraphBounds(int row, Buffer& buffer, int maximumRows);
    // Changes with any edit, replacement or wrap change of the paragraph's rows.
    static uint64_t paragraphRevision(RowRange bounds, Buffer& buffer);
    // `ranges` and `usedColumns` hold one entry per row of `bounds`: the row's cells in `cells`
    // (lo, hi) and its used-column count.
    static ParagraphResult buildParagraph(RowRange bounds, const std::vector<Cell>& cells,
                                          const std::vector<std::pair<int, int>>& ranges,
                                          const std::vector<int>& usedColumns, int cols,
                                          const BidiPresentationState& state, bool hasPotentialRTL,
                                          uint64_t revision);

    // --- Shaping and mirroring --------------------------------------------------------------

    // One optional form per cell, in logical order over the whole paragraph.
    static std::vector<std::optional<Character>> shapeArabic(const std::vector<Cell>& cells);
    // The joining type as the shaping scans see it: U+200C and non-joining scalars give none,
    // unlisted Mn, Me and Cf give transparent.
    static Joining joiningType(char32_t scalar);
    // The mirrored text of a cell in a right-to-left run: its bidi mirror when the text is one
    // scalar that has one, else its box-drawing mirror when boxMirroring is on.
    static std::optional<Character> mirroredText(const Character& text, bool boxMirroring);

    // --- Ordering and direction -------------------------------------------------------------

    // Whether the row holds any right-to-left candidate in its first `cols` cells.
    static bool mayNeedBidi(const BufferLine& line, int cols, const Terminal& terminal);
    static bool isRightToLeftCandidate(char32_t scalar);
    static BidiDirection detectedBaseDirection(const std::vector<Cell>& cells, BidiDirection fallback);
    // The one UTF-16 unit a cell takes in the string the bidi algorithm runs over.
    static char16_t probeScalar(const Character& text);
    static std::unique_ptr<platform::gfx::BidiTypesetter> makeTypesetter(const std::vector<Cell>& cells,
                                                                         BidiDirection direction);
    // The order of cells lo..<hi as one line of the typeset paragraph.
    static std::optional<VisualOrder> computeVisualOrder(int lo, int hi,
                                                         const platform::gfx::BidiTypesetter& typesetter,
                                                         BidiDirection baseDirection);
    // The order read from glyph positions; offsets without a glyph are placed beside their neighbours.
    static std::optional<VisualOrder> visualOrderFromGlyphs(
        const std::vector<platform::gfx::BidiTypesetter::Glyph>& glyphs, int lo, int n, BidiDirection baseDirection);

    // --- Caches -----------------------------------------------------------------------------

    struct CacheStatistics {
        size_t paragraphEntries = 0;
        size_t contentEntries = 0;
        uint64_t paragraphHits = 0;
        uint64_t contentHits = 0;
        uint64_t builds = 0;  // paragraphs laid out (not answered from a cache)
        platform::gfx::CacheCounters paragraph;
        platform::gfx::CacheCounters content;
    };
    static CacheStatistics cacheStatistics();
    static void emptyCaches();
};

}  // namespace vantel
