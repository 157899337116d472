#include "vantel/core/SearchService.h"

#include <algorithm>

#include "vantel/core/SelectionService.h"
#include "vantel/core/Terminal.h"

namespace vantel {

SearchService::SearchService(Terminal& terminal)
    : lineCache(terminal), engine(terminal, lineCache), terminal_(terminal) {}

Position SearchService::endOf(const SearchResult& result) const {
    const int64_t cols = std::max(terminal_.cols(), 1);
    const int64_t cell = static_cast<int64_t>(result.row) * cols + result.col + result.size;
    return Position{static_cast<int>(cell % cols), static_cast<int>(cell / cols)};
}

void SearchService::remember(const std::string& term, const std::optional<SearchResult>& result) {
    state.cachedSearchTerm = term;
    lastResult = result;
    if (!result) {
        lastSelection.reset();
        return;
    }
    const Position start{result->col, result->row};
    lastSelection = SearchSelection{start, result->size < 1 ? start : endOf(*result)};
}

std::optional<SearchResult> SearchService::findNext(const std::string& term,
                                                    const std::optional<SearchOptions>& options) {
    if (term.empty()) return std::nullopt;
    state.lastSearchOptions = options;
    auto result = engine.findNextWithSelection(term, options, state.cachedSearchTerm, lastSelection);
    remember(term, result);
    return result;
}

std::optional<SearchResult> SearchService::findPrevious(const std::string& term,
                                                        const std::optional<SearchOptions>& options) {
    if (term.empty()) return std::nullopt;
    state.lastSearchOptions = options;
    auto result = engine.findPreviousWithSelection(term, options, state.cachedSearchTerm, lastSelection);
    remember(term, result);
    return result;
}

std::vector<SearchResult> SearchService::findAll(const std::string& term, const std::optional<SearchOptions>& options,
                                                 int limit) {
    std::vector<SearchResult> results;
    if (term.empty() || limit <= 0) return results;
    lineCache.initLinesCache();
    auto match = engine.find(term, 0, 0, options);
    const int64_t cols = std::max(terminal_.cols(), 1);
    const int count = terminal_.buffer().lines().count();
    while (match && static_cast<int>(results.size()) < limit) {
        if (!results.empty() && results.back().col == match->col && results.back().row == match->row) break;
        results.push_back(*match);
        const int64_t next = static_cast<int64_t>(match->row) * cols + match->col + std::max(match->size, 1);
        const Position from{static_cast<int>(next % cols), static_cast<int>(next / cols)};
        match = engine.findInLine(term, from, options, false);
        for (int row = from.row + 1; !match && row < count && !engine.timedOut(); ++row) {
            if (row > 0 && terminal_.buffer().lines()[row].isWrapped()) continue;
            match = engine.findInLine(term, Position{0, row}, options, false);
        }
    }
    return results;
}

void SearchService::invalidate() {
    lineCache.invalidate();
    lastResult.reset();
    lastSelection.reset();
}

void SearchService::reset() {
    invalidate();
    state.cachedSearchTerm.reset();
    state.lastSearchOptions.reset();
}

// --- View side -------------------------------------------------------------------------------

void SearchService::takeSelection() {
    if (!selection || !selection->active()) {
        lastSelection.reset();
        return;
    }
    Position start = selection->start(), end = selection->end();
    if (end < start) std::swap(start, end);
    lastSelection = SearchSelection{start, end};
}

bool SearchService::selectResult(const std::optional<SearchResult>& result, bool scrollToResult) {
    if (!result) {
        if (selection->active()) selection->setActive(false);
        return false;
    }
    const Position start{result->col, result->row};
    selection->setSelection(start, result->size > 0 ? endOf(*result) : start);
    if (scrollToResult) scrollToReveal(result->row);
    return true;
}

bool SearchService::findNextAndSelect(const std::string& term, const std::optional<SearchOptions>& options,
                                      bool scrollToResult) {
    if (!selection) return false;
    takeSelection();
    return selectResult(findNext(term, options), scrollToResult);
}

bool SearchService::findPreviousAndSelect(const std::string& term, const std::optional<SearchOptions>& options,
                                          bool scrollToResult) {
    if (!selection) return false;
    takeSelection();
    return selectResult(findPrevious(term, options), scrollToResult);
}

void SearchService::clearSearch() {
    reset();
    if (selection && selection->active()) selection->selectNone();
}

std::pair<int, int> SearchService::searchMatchSummary(const std::string& term,
                                                      const std::optional<SearchOptions>& options, int limit) {
    const auto all = findAll(term, options, limit);
    const int total = static_cast<int>(all.size());
    if (!lastResult) return {0, total};
    for (int i = 0; i < total; ++i) {
        if (all[i].col == lastResult->col && all[i].row == lastResult->row) return {i + 1, total};
    }
    return {0, total};
}

void SearchService::scrollToReveal(int row) {
    Buffer& buffer = terminal_.buffer();
    const int rows = terminal_.rows();
    if (rows <= 0 || terminal_.isCurrentBufferAlternate()) return;
    if (row >= buffer.yDisp() && row <= buffer.yDisp() + rows - 1) return;
    const int target = std::clamp(row - rows / 2, 0, std::max(buffer.lines().count() - rows, 0));
    if (scrollTo) {
        scrollTo(target);
        return;
    }
    if (target != buffer.yDisp()) {
        buffer.setYDisp(target);
        terminal_.updateFullScreen();
    }
}

}  // namespace vantel
