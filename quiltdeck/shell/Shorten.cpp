#include "quiltdeck/shell/Shorten.h"

#include <vector>

#include "vantel/core/GraphemeBreaker.h"
#include "vantel/core/Utf8.h"

namespace quiltdeck {

namespace {

constexpr char32_t ellipsis = U'\u2026';

bool isCutPunctuation(char32_t c) {
    return c == U' ' || c == U',' || c == U'.' || c == U':' || c == U';' || c == U'-';
}

}  // namespace

bool isWhiteSpace(char32_t c) {
    if (c <= 0x20) return c == 0x20 || (c >= 0x09 && c <= 0x0D);
    if (c < 0x85) return false;
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

std::string trimWhiteSpace(std::string_view text) {
    const std::u32string scalars = vantel::fromUtf8(text);
    size_t begin = 0, end = scalars.size();
    while (begin < end && isWhiteSpace(scalars[begin])) ++begin;
    while (end > begin && isWhiteSpace(scalars[end - 1])) --end;
    return vantel::toUtf8(std::u32string_view(scalars).substr(begin, end - begin));
}

std::string firstCharacters(std::string_view text, size_t count) {
    const std::u32string scalars = vantel::fromUtf8(text);
    const std::vector<size_t> bounds = vantel::graphemeBoundaries(scalars);
    if (bounds.size() <= count + 1) return vantel::toUtf8(scalars);
    return vantel::toUtf8(std::u32string_view(scalars).substr(0, bounds[count]));
}

std::string lastCharacters(std::string_view text, size_t count) {
    const std::u32string scalars = vantel::fromUtf8(text);
    const std::vector<size_t> bounds = vantel::graphemeBoundaries(scalars);
    if (bounds.size() <= count + 1) return vantel::toUtf8(scalars);
    return vantel::toUtf8(std::u32string_view(scalars).substr(bounds[bounds.size() - 1 - count]));
}

size_t characterCount(std::string_view text) {
    const std::vector<size_t> bounds = vantel::graphemeBoundaries(vantel::fromUtf8(text));
    return bounds.empty() ? 0 : bounds.size() - 1;
}

std::string_view prefixWithin(std::string_view text, size_t bytes) {
    if (text.size() <= bytes) return text;
    // A sequence is at most four bytes: at most three continuation bytes are stepped back over.
    size_t end = bytes;
    while (end > 0 && bytes - end < 3 && vantel::utf8::isContinuationByte(static_cast<uint8_t>(text[end]))) --end;
    return text.substr(0, end);
}

std::string shorten(std::string_view text, int max) {
    if (max < 1) return {};
    std::u32string collapsed;
    bool pendingSpace = false;
    for (char32_t c : vantel::fromUtf8(text)) {
        if (isWhiteSpace(c)) {
            pendingSpace = !collapsed.empty();
            continue;
        }
        if (pendingSpace) collapsed += U' ';
        pendingSpace = false;
        collapsed += c;
    }
    const std::vector<size_t> bounds = vantel::graphemeBoundaries(collapsed);
    const size_t characters = bounds.empty() ? 0 : bounds.size() - 1;
    if (characters <= static_cast<size_t>(max)) return vantel::toUtf8(collapsed);

    // Clusters [first, last) of the kept max - 1; only a cluster that is one
    // scalar of the set is trimmed.
    size_t first = 0, last = static_cast<size_t>(max) - 1;
    auto isCut = [&](size_t cluster) {
        return bounds[cluster + 1] - bounds[cluster] == 1 && isCutPunctuation(collapsed[bounds[cluster]]);
    };
    while (first < last && isCut(first)) ++first;
    while (last > first && isCut(last - 1)) --last;
    std::u32string result = collapsed.substr(bounds[first], bounds[last] - bounds[first]);
    result += ellipsis;
    return vantel::toUtf8(result);
}

}  // namespace quiltdeck
