#pragma once

#include <string>
#include <string_view>

namespace vantel::testing {

// `word` as one word of a command line the shell reads back byte for byte: the paths a test
// puts there (the checkout, the temporary folder) may hold spaces, quotes or `$`.
inline std::string shellWord(std::string_view word) {
    std::string quoted = "'";
    for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace vantel::testing
