#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vantel {

// What a terminal view last drew in each row band of its window's surface, so that a frame after
// the screen scrolled can move those pixels instead of drawing the rows again.
//
// A stamp names what a row shows: its line (serial and generation), the revision of its bidi
// paragraph (a row's order hangs on the rows it wraps with) and what the view lays over it (the
// selected columns, the highlighted link, the phase of blinking text). A row whose look hangs
// on more than that (pictures found outside its line) is never reused. Glyphs may reach into the
// row below, so a band is remembered with the row drawn above it too; the first band has nothing
// above it (the default stamp).
class DrawnRows {
public:
    struct Stamp {
        uint64_t serial = 0;
        uint64_t generation = 0;
        uint64_t paragraph = 0;
        int selectionStart = 0;
        int selectionEnd = 0;
        uint64_t highlight = 0;
        // Drawn: 0 when the row holds no blinking text, else the phase it was drawn in (1 shown,
        // 2 hidden). Now: the phase.
        uint8_t blink = 0;
        bool reusable = true;
    };
    // Whether a row drawn as `drawn` looks as one stamped `now` would.
    static bool same(const Stamp& drawn, const Stamp& now);

    // A move: the band of row `r + shift` goes to row r for each r in first...last; `area` is the
    // rows the pixels move within (sources and destinations). `stale` lists the rows whose band
    // must be drawn after it.
    struct Plan {
        int shift = 0;
        int first = 0;
        int last = -1;
        int areaFirst = 0;
        int areaLast = -1;
        std::vector<bool> stale;
        int staleCount() const;
    };

    int rows() const { return static_cast<int>(bands_.size()); }
    // Forgets everything and keeps `rows` bands.
    void reset(int rows);
    void forgetAll() { reset(rows()); }
    // Band `row` was drawn whole, `stamp` over `above`.
    void drawnWhole(int row, const Stamp& above, const Stamp& stamp);
    // Band `row` was drawn in part (or not as a row alone): its old stamps hold only when they
    // match what was drawn.
    void drawnInPart(int row, const Stamp& above, const Stamp& stamp);
    bool knows(int row) const { return row >= 0 && row < rows() && bands_[row].known; }

    // The move that spares the most drawing for a screen whose rows now carry `now` (one stamp per
    // row, the same count as rows()), when it spares enough to pay for moving the pixels; the
    // stamp above the first row is the default one.
    std::optional<Plan> planScroll(std::span<const Stamp> now) const;
    // The pixels moved as planned: the bands follow them; rows of the area that got no band
    // (what the move uncovered) are forgotten.
    void applyMove(const Plan& plan);

private:
    struct Band {
        bool known = false;
        Stamp above;
        Stamp row;
    };
    // Whether band `source` would show row `r` of `now` correctly at row r.
    bool fits(const Band& band, std::span<const Stamp> now, int r) const;

    std::vector<Band> bands_;
};

}  // namespace vantel
