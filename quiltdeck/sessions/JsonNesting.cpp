#include "quiltdeck/sessions/JsonNesting.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace quiltdeck {

bool jsonNestedWithin(std::string_view text, int limit) {
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

namespace {

bool numberCharacter(char c) { return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E'; }

}  // namespace

bool jsonNumbersFinite(std::string_view text) {
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
            continue;
        }
        if (c != '-' && (c < '0' || c > '9')) continue;
        size_t end = i;
        bool exponent = false;
        for (; end < text.size() && numberCharacter(text[end]); ++end) exponent = exponent || text[end] == 'e' || text[end] == 'E';
        // Only an exponent or more digits than a double's range can overflow.
        if (exponent || end - i > 300) {
            const std::string number(text.substr(i, end - i));
            if (std::isinf(std::strtod(number.c_str(), nullptr))) return false;
        }
        i = end - 1;
    }
    return true;
}

}  // namespace quiltdeck
