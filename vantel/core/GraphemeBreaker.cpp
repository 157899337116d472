#include "vantel/core/GraphemeBreaker.h"

namespace vantel {

namespace {

using GCB = GraphemeClusterBreak;

bool isControlLike(GCB p) { return p == GCB::Control || p == GCB::CR || p == GCB::LF; }

// The pair rules in order; the state-dependent ones (emoji ZWJ, conjuncts, regional
// indicators) are left to the caller and reported here as "no decision".
enum class PairRule { Break, NoBreak, Undecided };

PairRule pairRule(GCB prev, GCB next) {
    if (prev == GCB::CR && next == GCB::LF) return PairRule::NoBreak;
    if (isControlLike(prev) || isControlLike(next)) return PairRule::Break;
    switch (prev) {
        case GCB::L:
            if (next == GCB::L || next == GCB::V || next == GCB::LV || next == GCB::LVT) return PairRule::NoBreak;
            break;
        case GCB::LV:
        case GCB::V:
            if (next == GCB::V || next == GCB::T) return PairRule::NoBreak;
            break;
        case GCB::LVT:
        case GCB::T:
            if (next == GCB::T) return PairRule::NoBreak;
            break;
        default:
            break;
    }
    if (next == GCB::Extend || next == GCB::ZWJ || next == GCB::SpacingMark) return PairRule::NoBreak;
    if (prev == GCB::Prepend) return PairRule::NoBreak;
    return PairRule::Undecided;
}

}  // namespace

bool GraphemeBreaker::isBoundary(char32_t next) noexcept {
    const ucd::CodePointProperties& props = ucd::properties(next);
    const GCB cur = props.graphemeClusterBreak;
    const IndicConjunctBreak incb = props.indicConjunctBreak;
    const bool pictographic = (props.flags & ucd::flagExtendedPictographic) != 0;

    bool boundary;
    if (!started_) {
        boundary = true;
    } else {
        switch (pairRule(prev_, cur)) {
            case PairRule::Break: boundary = true; break;
            case PairRule::NoBreak: boundary = false; break;
            default:
                if (incb == IndicConjunctBreak::Consonant && conjunct_ == ConjunctState::ConsonantLinker) {
                    boundary = false;
                } else if (pictographic && pict_ == PictState::PictographicZwj) {
                    boundary = false;
                } else if (cur == GCB::RegionalIndicator && prev_ == GCB::RegionalIndicator) {
                    boundary = !oddRegionalIndicators_;
                } else {
                    boundary = true;
                }
                break;
        }
    }

    // Carry the state forward to the scalar after this one.
    started_ = true;
    prev_ = cur;
    oddRegionalIndicators_ = cur == GCB::RegionalIndicator && !oddRegionalIndicators_;
    if (pictographic) {
        pict_ = PictState::Pictographic;
    } else if (pict_ == PictState::Pictographic && cur == GCB::Extend) {
        // stays: Extend* may follow the pictograph before the joiner
    } else if (pict_ == PictState::Pictographic && cur == GCB::ZWJ) {
        pict_ = PictState::PictographicZwj;
    } else {
        pict_ = PictState::None;
    }
    switch (incb) {
        case IndicConjunctBreak::Consonant:
            conjunct_ = ConjunctState::Consonant;
            break;
        case IndicConjunctBreak::Linker:
            if (conjunct_ != ConjunctState::None) conjunct_ = ConjunctState::ConsonantLinker;
            break;
        case IndicConjunctBreak::Extend:
            break;  // keeps whatever the consonant run had
        case IndicConjunctBreak::None:
            conjunct_ = ConjunctState::None;
            break;
    }
    return boundary;
}

std::vector<size_t> graphemeBoundaries(std::u32string_view text) {
    std::vector<size_t> out;
    if (text.empty()) return out;
    GraphemeBreaker breaker;
    for (size_t i = 0; i < text.size(); ++i) {
        if (breaker.isBoundary(text[i])) out.push_back(i);
    }
    out.push_back(text.size());
    return out;
}

bool isSingleGraphemeCluster(std::u32string_view text) noexcept {
    if (text.empty()) return false;
    GraphemeBreaker breaker;
    breaker.isBoundary(text[0]);
    for (size_t i = 1; i < text.size(); ++i) {
        if (breaker.isBoundary(text[i])) return false;
    }
    return true;
}

bool isSingleGraphemeCluster(std::u32string_view prefix, char32_t next) noexcept {
    GraphemeBreaker breaker;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (breaker.isBoundary(prefix[i]) && i > 0) return false;
    }
    return !breaker.isBoundary(next) || prefix.empty();
}

}  // namespace vantel
