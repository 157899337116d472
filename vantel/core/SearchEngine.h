#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "vantel/core/SearchLineCache.h"
#include "vantel/core/SearchOptions.h"

struct URegularExpression;

namespace vantel {

class Terminal;

// Matches a term against the logical lines of the active buffer, forwards or backwards,
// as plain text or an ICU regular expression. User patterns run under a time limit; one
// that runs out ends the whole search with no match.
class SearchEngine {
public:
    SearchEngine(Terminal& terminal, SearchLineCache& lineCache);
    ~SearchEngine();
    SearchEngine(const SearchEngine&) = delete;
    SearchEngine& operator=(const SearchEngine&) = delete;

    // The space and the ASCII punctuation that may stand around a whole word.
    static bool isNonWordCharacter(char16_t c);

    // The first match at or after the position, to the end of the buffer, without wrapping.
    std::optional<SearchResult> find(const std::string& term, int startRow, int startCol,
                                     const std::optional<SearchOptions>& searchOptions);
    std::optional<SearchResult> findNextWithSelection(const std::string& term,
                                                      const std::optional<SearchOptions>& searchOptions,
                                                      const std::optional<std::string>& cachedSearchTerm,
                                                      const std::optional<SearchSelection>& previous);
    std::optional<SearchResult> findPreviousWithSelection(const std::string& term,
                                                          const std::optional<SearchOptions>& searchOptions,
                                                          const std::optional<std::string>& cachedSearchTerm,
                                                          const std::optional<SearchSelection>& previous);
    // Matches in the logical line through `searchPosition` (a column, possibly past the row, and a
    // ring row): forwards the first at or after it, backwards the last that ends before it.
    std::optional<SearchResult> findInLine(const std::string& term, Position searchPosition,
                                           const std::optional<SearchOptions>& searchOptions, bool isReverse);

    // Steps of the ICU match engine one line may take (about a millisecond each), and the
    // wall-clock budget of one search call.
    int regexTimeLimit = 200;
    std::chrono::milliseconds searchBudget{2000};
    // Whether the last search gave up on a pattern that ran too long.
    bool timedOut() const { return timedOut_; }

private:
    bool prepare(const std::string& term, const std::optional<SearchOptions>& options);
    void beginSearch();
    bool stopped();
    int logicalLineStart(int row);
    bool isLineStart(int row);
    std::optional<SearchResult> forwardFrom(const std::string& term, Position start,
                                            const std::optional<SearchOptions>& options, bool scanFollowing);

    Terminal& terminal_;
    SearchLineCache& lineCache_;
    struct Compiled;
    std::unique_ptr<Compiled> compiled_;
    bool timedOut_ = false;
    std::chrono::steady_clock::time_point deadline_;
};

}  // namespace vantel
