#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vantel/core/SearchEngine.h"
#include "vantel/core/SearchLineCache.h"
#include "vantel/core/SearchOptions.h"
#include "vantel/core/SearchState.h"

namespace vantel {

class SelectionService;
class Terminal;

// The find bar's entry point: one per view, searching the active buffer of its terminal,
// scroll-back included, and remembering where the previous match was. The view-side
// half (selecting the match and bringing it into view) works through two hooks, so the
// engine needs no view type.
class SearchService {
public:
    explicit SearchService(Terminal& terminal);

    std::optional<SearchResult> findNext(const std::string& term, const std::optional<SearchOptions>& options);
    std::optional<SearchResult> findPrevious(const std::string& term, const std::optional<SearchOptions>& options);
    // At most `limit` matches, from the top.
    std::vector<SearchResult> findAll(const std::string& term, const std::optional<SearchOptions>& options, int limit);
    // Drops cached text and the previous match: call when the terminal is fed or resized.
    void invalidate();
    // As invalidate, and forgets the term and options too.
    void reset();

    Terminal& terminal() const { return terminal_; }
    SearchState state;
    SearchLineCache lineCache;
    SearchEngine engine;
    std::optional<SearchSelection> lastSelection;
    std::optional<SearchResult> lastResult;

    // --- View side --------------------------------------------------------------------------
    // The view's selection: read as the place to search from, set to the match.
    SelectionService* selection = nullptr;
    // Scrolls the view so that the ring row is the top one; without it yDisp is set directly.
    std::function<void(int row)> scrollTo;

    // Searches from the selection, selects the match and, when asked, scrolls it into view.
    bool findNextAndSelect(const std::string& term, const std::optional<SearchOptions>& options,
                           bool scrollToResult = true);
    bool findPreviousAndSelect(const std::string& term, const std::optional<SearchOptions>& options,
                               bool scrollToResult = true);
    void clearSearch();
    // (1-based index of the last match among all, total); (0, total) when the last match is not among them.
    std::pair<int, int> searchMatchSummary(const std::string& term, const std::optional<SearchOptions>& options,
                                           int limit);
    // Centres the row in the view unless it is already visible; the alternate screen never scrolls.
    void scrollToReveal(int row);

private:
    Position endOf(const SearchResult& result) const;
    void remember(const std::string& term, const std::optional<SearchResult>& result);
    bool selectResult(const std::optional<SearchResult>& result, bool scrollToResult);
    void takeSelection();

    Terminal& terminal_;
};

}  // namespace vantel
