#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "vantel/core/generated/UnicodeTables.h"

namespace vantel {

// Extended grapheme cluster boundaries by the UAX #29 rules (with the Indic conjunct rule
// GB9c), fed one scalar at a time.
//
//   GraphemeBreaker b;
//   for (char32_t c : text) if (b.isBoundary(c)) { /* a cluster starts at c */ }
//
// Values that are not Unicode scalars are treated like unassigned code points.
class GraphemeBreaker {
public:
    // Whether a cluster boundary lies before `next`, given everything fed since the last reset.
    // The first scalar after construction or reset() always starts a cluster.
    bool isBoundary(char32_t next) noexcept;

    // Forget the text fed so far.
    void reset() noexcept { *this = GraphemeBreaker(); }

private:
    // Where the text before the next scalar stands for the emoji ZWJ rule.
    enum class PictState : uint8_t { None, Pictographic, PictographicZwj };
    // Where it stands for the Indic conjunct rule.
    enum class ConjunctState : uint8_t { None, Consonant, ConsonantLinker };

    bool started_ = false;
    GraphemeClusterBreak prev_ = GraphemeClusterBreak::Other;
    bool oddRegionalIndicators_ = false;  // an odd run of regional indicators ends the text
    PictState pict_ = PictState::None;
    ConjunctState conjunct_ = ConjunctState::None;
};

// Boundary offsets into text, in scalars: 0, each cluster start, and text.size(). Empty for empty text.
std::vector<size_t> graphemeBoundaries(std::u32string_view text);

// True when text is exactly one extended grapheme cluster; false for empty text. Does not allocate.
bool isSingleGraphemeCluster(std::u32string_view text) noexcept;

// Same question for prefix followed by next, without building the joined string.
bool isSingleGraphemeCluster(std::u32string_view prefix, char32_t next) noexcept;

}  // namespace vantel
