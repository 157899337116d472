#include "quiltdeck/sessions/JsonNesting.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace quiltdeck {

namespace {

constexpr size_t stop = std::string_view::npos;

// Calls `visit` with the position of each character outside the text's strings; it returns the
// last position it has read (its own, or further), or `stop` to end the walk with false.
template <class Visit>
bool walkOutsideStrings(std::string_view text, Visit visit) {
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if ((i = visit(i)) == stop) {
            return false;
        }
    }
    return true;
}

bool numberCharacter(char c) { return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E'; }

}  // namespace

bool jsonNestedWithin(std::string_view text, int limit) {
    int depth = 0;
    return walkOutsideStrings(text, [&](size_t i) {
        const char c = text[i];
        if ((c == '[' || c == '{') && ++depth > limit) return stop;
        if (c == ']' || c == '}') --depth;
        return i;
    });
}

bool jsonNumbersFinite(std::string_view text) {
    return walkOutsideStrings(text, [&](size_t i) {
        if (text[i] != '-' && (text[i] < '0' || text[i] > '9')) return i;
        size_t end = i;
        bool exponent = false;
        for (; end < text.size() && numberCharacter(text[end]); ++end) exponent = exponent || text[end] == 'e' || text[end] == 'E';
        // Only an exponent or more digits than a double's range can overflow.
        if (exponent || end - i > 300) {
            const std::string number(text.substr(i, end - i));
            if (std::isinf(std::strtod(number.c_str(), nullptr))) return stop;
        }
        return end - 1;
    });
}

}  // namespace quiltdeck
