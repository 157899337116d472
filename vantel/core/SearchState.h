#pragma once

#include <optional>
#include <string>

#include "vantel/core/SearchOptions.h"

namespace vantel {

// What a search remembers between calls.
struct SearchState {
    std::optional<std::string> cachedSearchTerm;
    std::optional<SearchOptions> lastSearchOptions;
};

}  // namespace vantel
