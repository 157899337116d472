#include "vantel/core/SearchEngine.h"

#include <unicode/uregex.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "vantel/core/Terminal.h"

namespace vantel {

namespace {

std::u16string toUtf16(const std::string& utf8) {
    std::u16string out;
    for (char32_t c : fromUtf8(utf8)) {
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

// Character index of the character holding UTF-16 index `unit` (rounding down or up).
int characterFloor(const SearchLineText& line, int unit) {
    auto it = std::upper_bound(line.characterStarts.begin(), line.characterStarts.end(), unit);
    return static_cast<int>(it - line.characterStarts.begin()) - 1;
}

int characterCeil(const SearchLineText& line, int unit) {
    auto it = std::lower_bound(line.characterStarts.begin(), line.characterStarts.end(), unit);
    return static_cast<int>(it - line.characterStarts.begin());
}

int unitOf(const SearchLineText& line, int character) {
    return character < line.characterCount() ? line.characterStarts[character] : static_cast<int>(line.text.size());
}

}  // namespace

struct SearchEngine::Compiled {
    std::string term;
    std::optional<SearchOptions> options;
    URegularExpression* regex = nullptr;
    ~Compiled() {
        if (regex) uregex_close(regex);
    }
};

SearchEngine::SearchEngine(Terminal& terminal, SearchLineCache& lineCache)
    : terminal_(terminal), lineCache_(lineCache) {}

SearchEngine::~SearchEngine() = default;

bool SearchEngine::isNonWordCharacter(char16_t c) {
    static constexpr std::u16string_view set = u" ~!@#$%^&*()+`-=[]{}|\\;:\"',./<>?";
    return set.find(c) != std::u16string_view::npos;
}

bool SearchEngine::prepare(const std::string& term, const std::optional<SearchOptions>& options) {
    if (compiled_ && compiled_->term == term && compiled_->options == options) return compiled_->regex != nullptr;
    compiled_ = std::make_unique<Compiled>();
    compiled_->term = term;
    compiled_->options = options;
    const bool regex = options && options->regex;
    const bool caseSensitive = options && options->caseSensitive;
    uint32_t flags = regex ? 0 : UREGEX_LITERAL;
    if (!caseSensitive) flags |= UREGEX_CASE_INSENSITIVE;
    const std::u16string pattern = toUtf16(term);
    UParseError parseError;
    UErrorCode status = U_ZERO_ERROR;
    URegularExpression* compiled = uregex_open(reinterpret_cast<const UChar*>(pattern.data()),
                                               static_cast<int32_t>(pattern.size()), flags, &parseError, &status);
    if (U_FAILURE(status)) {
        if (compiled) uregex_close(compiled);
        return false;
    }
    // A user's pattern can backtrack for minutes; a line that takes too long counts as no match.
    uregex_setTimeLimit(compiled, regexTimeLimit, &status);
    compiled_->regex = compiled;
    return true;
}

void SearchEngine::beginSearch() {
    timedOut_ = false;
    deadline_ = std::chrono::steady_clock::now() + searchBudget;
}

bool SearchEngine::stopped() {
    if (!timedOut_ && std::chrono::steady_clock::now() > deadline_) timedOut_ = true;
    return timedOut_;
}

bool SearchEngine::isLineStart(int row) { return row == 0 || !terminal_.buffer().lines()[row].isWrapped(); }

int SearchEngine::logicalLineStart(int row) {
    while (row > 0 && terminal_.buffer().lines()[row].isWrapped()) --row;
    return row;
}

std::optional<SearchResult> SearchEngine::findInLine(const std::string& term, Position searchPosition,
                                                     const std::optional<SearchOptions>& options, bool isReverse) {
    const int count = terminal_.buffer().lines().count();
    if (searchPosition.row < 0 || searchPosition.row >= count || term.empty()) return std::nullopt;
    if (!prepare(term, options) || timedOut_) return std::nullopt;
    const int head = logicalLineStart(searchPosition.row);
    const SearchLineText& line = lineCache_.line(head);

    // The first character at or after the cell; a column past the row counts on into the rows below.
    const int cols = std::max(terminal_.cols(), 1);
    int rowInLine = searchPosition.row - head;
    if (searchPosition.col >= cols) {
        rowInLine += searchPosition.col / cols;
        searchPosition.col %= cols;
    }
    auto after = std::lower_bound(line.cells.begin(), line.cells.end(), searchPosition.col,
                                  [&](const SearchLineText::CellOfCharacter& cell, int col) {
                                      return cell.row < rowInLine || (cell.row == rowInLine && cell.col < col);
                                  });
    const int offset = static_cast<int>(after - line.cells.begin());

    URegularExpression* regex = compiled_->regex;
    UErrorCode status = U_ZERO_ERROR;
    uregex_setText(regex, reinterpret_cast<const UChar*>(line.text.data()), static_cast<int32_t>(line.text.size()),
                   &status);
    const int offsetUnit = unitOf(line, offset);
    if (isReverse) uregex_setRegion(regex, 0, offsetUnit, &status);
    else uregex_setRegion(regex, offsetUnit, static_cast<int32_t>(line.text.size()), &status);
    if (U_FAILURE(status)) return std::nullopt;

    const bool wholeWord = options && options->wholeWord;
    auto passesWholeWord = [&](int startUnit, int endUnit) {
        if (!wholeWord) return true;
        const bool beforeOk = startUnit == 0 || isNonWordCharacter(line.text[startUnit - 1]);
        const bool afterOk = endUnit >= static_cast<int>(line.text.size()) || isNonWordCharacter(line.text[endUnit]);
        return beforeOk && afterOk;
    };
    int matchStart = -1, matchEnd = -1;
    while (uregex_findNext(regex, &status)) {
        const int s = uregex_start(regex, 0, &status);
        const int e = uregex_end(regex, 0, &status);
        if (U_FAILURE(status)) break;
        if (s == e) {
            // An empty match is none; backwards it only counts when it would be the last one.
            if (!isReverse) break;
            matchStart = matchEnd = -1;
            continue;
        }
        if (!passesWholeWord(s, e)) continue;
        matchStart = s;
        matchEnd = e;
        if (!isReverse) break;
    }
    if (status == U_REGEX_TIME_OUT || status == U_REGEX_STOPPED_BY_CALLER) {
        timedOut_ = true;
        return std::nullopt;
    }
    if (matchStart < 0) return std::nullopt;

    const int first = std::max(characterFloor(line, matchStart), 0);
    const int last = std::max(characterCeil(line, matchEnd) - 1, first);
    const auto& startCell = line.cells[first];
    const auto& endCell = line.cells[std::min(last, line.characterCount() - 1)];
    const int endCol = endCell.col + std::max<int>(endCell.width, 1);
    SearchResult result;
    if (options && options->regex) {
        SearchLineText matched;
        matched.text = line.text.substr(matchStart, matchEnd - matchStart);
        result.term = matched.lineAsString();
    } else {
        result.term = term;
    }
    result.col = startCell.col;
    result.row = head + startCell.row;
    result.size = endCol - startCell.col + terminal_.cols() * (endCell.row - startCell.row);
    return result;
}

std::optional<SearchResult> SearchEngine::forwardFrom(const std::string& term, Position start,
                                                      const std::optional<SearchOptions>& options,
                                                      bool scanFollowing) {
    if (auto found = findInLine(term, start, options, false)) return found;
    if (!scanFollowing) return std::nullopt;
    const int count = terminal_.buffer().lines().count();
    for (int row = std::max(start.row + 1, 0); row < count && !stopped(); ++row) {
        if (!isLineStart(row)) continue;
        if (auto found = findInLine(term, Position{0, row}, options, false)) return found;
    }
    return std::nullopt;
}

std::optional<SearchResult> SearchEngine::find(const std::string& term, int startRow, int startCol,
                                               const std::optional<SearchOptions>& options) {
    if (term.empty()) return std::nullopt;
    beginSearch();
    return forwardFrom(term, Position{startCol, startRow}, options, true);
}

std::optional<SearchResult> SearchEngine::findNextWithSelection(const std::string& term,
                                                                const std::optional<SearchOptions>& options,
                                                                const std::optional<std::string>& cachedSearchTerm,
                                                                const std::optional<SearchSelection>& previous) {
    if (term.empty()) return std::nullopt;
    lineCache_.initLinesCache();
    beginSearch();
    Position start{0, 0};
    // The same term goes on after the previous match; a new one may match where the old one did.
    if (previous) start = cachedSearchTerm == term ? previous->end : previous->start;
    if (auto found = forwardFrom(term, start, options, true)) return found;
    for (int row = 0; row < start.row && row < terminal_.buffer().lines().count() && !stopped(); ++row) {
        if (!isLineStart(row)) continue;
        if (auto found = findInLine(term, Position{0, row}, options, false)) return found;
    }
    if (previous && !stopped()) return findInLine(term, Position{0, previous->start.row}, options, false);
    return std::nullopt;
}

std::optional<SearchResult> SearchEngine::findPreviousWithSelection(
    const std::string& term, const std::optional<SearchOptions>& options,
    const std::optional<std::string>& cachedSearchTerm, const std::optional<SearchSelection>& previous) {
    if (term.empty()) return std::nullopt;
    lineCache_.initLinesCache();
    beginSearch();
    const int count = terminal_.buffer().lines().count();
    if (count == 0) return std::nullopt;
    const int cols = terminal_.cols();
    Position start{cols, count - 1};
    if (previous) {
        start = previous->start;
        if (cachedSearchTerm != term) {
            if (auto found = findInLine(term, start, options, false)) return found;
        }
    }
    if (start.row >= count) start = Position{cols, count - 1};
    if (start.row < 0) start = Position{0, 0};
    if (auto found = findInLine(term, start, options, true)) return found;
    const int head = logicalLineStart(start.row);
    for (int row = head - 1; row >= 0 && !stopped(); --row) {
        if (!isLineStart(row)) continue;
        if (auto found = findInLine(term, Position{INT32_MAX, row}, options, true)) return found;
    }
    for (int row = count - 1; row > head && !stopped(); --row) {
        if (!isLineStart(row)) continue;
        if (auto found = findInLine(term, Position{INT32_MAX, row}, options, true)) return found;
    }
    // Wrapped all the way round: the start's own line, after the start, is all that is left.
    if (stopped()) return std::nullopt;
    return findInLine(term, Position{INT32_MAX, head}, options, true);
}

}  // namespace vantel
