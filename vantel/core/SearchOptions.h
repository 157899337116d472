#pragma once

#include <string>

#include "vantel/core/Position.h"

namespace vantel {

// How a search matches. Absent options mean a case-insensitive plain search.
struct SearchOptions {
    bool caseSensitive = false;
    bool regex = false;
    bool wholeWord = false;

    SearchOptions() = default;
    SearchOptions(bool caseSensitive, bool regex, bool wholeWord)
        : caseSensitive(caseSensitive), regex(regex), wholeWord(wholeWord) {}
    friend bool operator==(const SearchOptions&, const SearchOptions&) = default;
};

// One match: its text (the term itself for a plain search), start cell (ring row) and the
// cells it covers, counted across rows as `cols` per row.
struct SearchResult {
    std::string term;
    int col = 0;
    int row = 0;
    int size = 0;
    friend bool operator==(const SearchResult&, const SearchResult&) = default;
};

// The range of the previous match or of the user's selection; `end` is the cell after it.
struct SearchSelection {
    Position start;
    Position end;
    friend bool operator==(const SearchSelection&, const SearchSelection&) = default;
};

}  // namespace vantel
