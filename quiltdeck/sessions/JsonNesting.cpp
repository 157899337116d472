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

// The code unit of the four hex digits at `at`; -1 when they are not four hex digits.
int32_t hexUnit(std::string_view text, size_t at) {
    if (at + 4 > text.size()) return -1;
    int32_t unit = 0;
    for (size_t i = at; i < at + 4; ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) return -1;
        unit = unit * 16 + digit;
    }
    return unit;
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

std::optional<std::string> jsonLoneSurrogatesReplaced(std::string_view text) {
    std::optional<std::string> mended;
    // Backslashes stand only inside strings, and each begins an escape of its own.
    for (size_t at = text.find('\\'); at != std::string_view::npos; at = text.find('\\', at)) {
        if (at + 1 >= text.size() || text[at + 1] != 'u') {
            at += 2;
            continue;
        }
        const int32_t unit = hexUnit(text, at + 2);
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        if (high && text.substr(at + 6, 2) == "\\u") {
            const int32_t low = hexUnit(text, at + 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                at += 12;
                continue;
            }
        }
        if (high || (unit >= 0xDC00 && unit <= 0xDFFF)) {
            if (!mended) mended.emplace(text);
            mended->replace(at + 2, 4, "fffd");
        }
        at += unit < 0 ? 2 : 6;
    }
    return mended;
}

nlohmann::json parseJsonText(std::string_view text, int nestingLimit) {
    if (!jsonNestedWithin(text, nestingLimit)) return nlohmann::json(nlohmann::json::value_t::discarded);
    const std::optional<std::string> mended = jsonLoneSurrogatesReplaced(text);
    return nlohmann::json::parse(mended ? std::string_view(*mended) : text, nullptr, false);
}

}  // namespace quiltdeck
