// Links under a cell: OSC 8 hyperlinks stored on cells, and URLs and paths recognised in the text,
// across wrapped rows and rows whose seam looks like the inside of a link.
#include <algorithm>
#include <any>
#include <cctype>
#include <chrono>
#include <map>
#include <tuple>

#include <time.h>

#include <unicode/uchar.h>
#include <unicode/uregex.h>
#include <unicode/uset.h>
#include <unicode/utf16.h>

#include "vantel/core/Terminal.h"

namespace vantel {

namespace {

// ICU syntax, used verbatim.
constexpr std::string_view implicitLinkPatternText =
    R"re((?:https?://|mailto:|ftp://|file:|ssh:|git://|ssh://|tel:|magnet:|ipfs://|ipns://|gemini://|gopher://|news:)(?:(?:\[[:0-9a-fA-F]+\](?::[0-9]+)?)|[\w\-.~:/?#@!$&*+,;=%](?:(?:[\(\[]\w*[\)\]]))?)+(?<![,.])|(?:\.\.\/|\.\/|(?<!\w)~\/|(?:[\w][\w\-.]*\/)*(?<!\w)\$[A-Za-z_]\w*\/|\.[\w][\w\-.]*\/|(?<![\w~\/])\/(?!\/))(?:(?=[\w\-.~:\/?#@!$&*+;=%]*\.)[\w\-.~:\/?#@!$&*+;=%]+(?:(?<!:) (?!\w+:\/\/)[\w\-.~:\/?#@!$&*+;=%]*[\/.])*(?<!:)(?: +(?= *$))?|(?![\w\-.~:\/?#@!$&*+;=%]*\.)[\w\-.~:\/?#@!$&*+;=%]+(?:(?<!:) (?!\w+:\/\/)[\w\-.~:\/?#@!$&*+;=%]+)*(?<!:)(?: +(?= *$))?)|(?=[\w\-.~:\/?#@!$&*+;=%]*\.)(?<!\w)[\w][\w\-.]*\/[\w\-.~:\/?#@!$&*+;=%]+(?:(?<!:) (?!\w+:\/\/)[\w\-.~:\/?#@!$&*+;=%]*[\/.])*(?<!:)(?: +(?= *$))?)re";

constexpr std::string_view implicitContinuationCharacters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._~:/?#[]@!$&*+,;=%()";

// Cells examined on each side of the looked-up cell: a lookup stays cheap on a huge wrapped line.
constexpr int implicitLinkContextCells = 4096;
// Columns examined on each side of a seam between two rows.
constexpr int seamContextColumns = 96;
// Regular-expression work per attempt, in ICU's time-limit units (about a millisecond each).
constexpr int32_t implicitLinkTimeLimit = 50;
// Processor-time budget of one search, for text that defeats the start-position filter. Time the
// thread spends preempted does not count, so a loaded machine finds the same links.
constexpr std::chrono::milliseconds implicitLinkSearchBudget{50};

std::chrono::nanoseconds threadCpuTime() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// The compiled pattern, shared by the process; null when it does not compile.
const URegularExpression* sharedImplicitLinkRegex() {
    static const URegularExpression* compiled = [] {
        std::u16string pattern(implicitLinkPatternText.begin(), implicitLinkPatternText.end());
        UErrorCode status = U_ZERO_ERROR;
        UParseError parseError;
        URegularExpression* regex =
            uregex_open(pattern.data(), static_cast<int32_t>(pattern.size()), 0, &parseError, &status);
        if (U_FAILURE(status)) {
            if (regex) uregex_close(regex);
            return static_cast<URegularExpression*>(nullptr);
        }
        return regex;
    }();
    return compiled;
}

// A matcher of this thread: a URegularExpression carries its match state, so each thread has its own clone.
URegularExpression* implicitLinkMatcher() {
    struct Holder {
        URegularExpression* regex = nullptr;
        ~Holder() {
            if (regex) uregex_close(regex);
        }
    };
    thread_local Holder holder;
    if (!holder.regex) {
        const URegularExpression* shared = sharedImplicitLinkRegex();
        if (!shared) return nullptr;
        UErrorCode status = U_ZERO_ERROR;
        holder.regex = uregex_clone(shared, &status);
        if (U_FAILURE(status)) {
            holder.regex = nullptr;
            return nullptr;
        }
        uregex_setTimeLimit(holder.regex, implicitLinkTimeLimit, &status);
    }
    return holder.regex;
}

// The word characters of the pattern's \w.
const USet* patternWordCharacters() {
    static const USet* set = [] {
        static const std::u16string_view pattern =
            u"[\\p{Alphabetic}\\p{Mark}\\p{Decimal_Number}\\p{Connector_Punctuation}\\u200c\\u200d]";
        UErrorCode status = U_ZERO_ERROR;
        USet* words = uset_openPattern(pattern.data(), static_cast<int32_t>(pattern.size()), &status);
        if (U_FAILURE(status)) return static_cast<USet*>(nullptr);
        uset_freeze(words);
        return words;
    }();
    return set;
}

constexpr std::u16string_view schemes[] = {u"http", u"mailto:", u"ftp://", u"file:", u"ssh:", u"git://", u"tel:",
                                           u"magnet:", u"ipfs://", u"ipns://", u"gemini://", u"gopher://", u"news:"};

constexpr std::u16string_view urlPunctuation = u"-.~:/?#@!$&*+;=%";

// Where a match of the pattern can begin. Each test is a condition that every match starting at
// a position needs, read off the pattern, so skipping the other positions changes no result;
// it keeps long runs of URL characters from costing time quadratic in their length.
class MatchStarts {
public:
    explicit MatchStarts(std::u16string_view text) : text_(text) {
        const int32_t length = static_cast<int32_t>(text.size());
        wordRunEnd_.assign(length + 1, length);
        pathRunEnd_.assign(length + 1, length);
        dotAhead_.assign(length + 1, 0);
        // Right to left, one code point at a time; the trail half of a pair is never a start.
        for (int32_t next = length; next > 0;) {
            int32_t at = next;
            UChar32 c;
            U16_PREV(text.data(), 0, at, c);
            const bool word = isWord(c);
            const bool wordDashDot = word || c == '-' || c == '.';
            wordRunEnd_[at] = wordDashDot ? wordRunEnd_[next] : at;
            pathRunEnd_[at] = wordDashDot || c == '/' ? pathRunEnd_[next] : at;
            const bool urlCharacter = word || (c < 0x80 && urlPunctuation.find(static_cast<char16_t>(c)) != std::u16string_view::npos);
            dotAhead_[at] = urlCharacter && (c == '.' || dotAhead_[next]);
            next = at;
        }
    }

    static bool isWord(UChar32 c) {
        const USet* words = patternWordCharacters();
        return c >= 0 && (!words || uset_contains(words, c));
    }

    bool mayStartAt(int32_t at, int32_t resumedAt, UChar32 c, UChar32 previous, UChar32 following) const {
        const std::u16string_view rest = text_.substr(at);
        switch (c) {
        case '.':  // "../", "./" or ".name/"
            return rest.starts_with(u"../") || following == '/' || (isWord(following) && unitAt(wordRunEnd_[at]) == '/');
        case '~': return following == '/' && !isWord(previous);
        case '$': return !isWord(previous) && (following == '_' || (following < 0x80 && std::isalpha(following)));
        case '/': return following != '/' && previous != '~' && previous != '/' && !isWord(previous);
        default: break;
        }
        for (auto scheme : schemes) {
            if (rest.starts_with(scheme)) return true;
        }
        if (!isWord(c)) return false;
        // Past the first character of a run of word characters the same match starts one earlier.
        if (at != resumedAt && isWord(previous)) return false;
        // "name/..." containing a "." further on, or "name/.../$VARIABLE/".
        return (unitAt(wordRunEnd_[at]) == '/' && dotAhead_[at]) || unitAt(pathRunEnd_[at]) == '$';
    }

private:
    char16_t unitAt(int32_t index) const { return index < static_cast<int32_t>(text_.size()) ? text_[index] : 0; }

    std::u16string_view text_;
    std::vector<int32_t> wordRunEnd_;  // end of the run of [\w\-.] from each position
    std::vector<int32_t> pathRunEnd_;  // end of the run of [\w\-./] from each position
    std::vector<uint8_t> dotAhead_;    // a "." before the run of URL characters from each position ends
};

// Calls `visit(start, end)` with the UTF-16 range of each match that starts before `stopAt`, in
// the order a left-to-right search finds them, until it returns true.
template <class Visit>
bool forEachImplicitLinkMatch(const std::u16string& text, int32_t stopAt, Visit&& visit) {
    URegularExpression* regex = implicitLinkMatcher();
    if (!regex) return false;
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = static_cast<int32_t>(text.size());
    uregex_setText(regex, text.data(), length, &status);
    const auto deadline = threadCpuTime() + implicitLinkSearchBudget;
    const MatchStarts starts(text);
    bool stopped = false;
    int32_t at = 0;
    int32_t resumedAt = 0;
    UChar32 previous = -1;
    while (U_SUCCESS(status) && at < length && at < stopAt) {
        int32_t next = at;
        UChar32 c;
        U16_NEXT(text.data(), next, length, c);
        UChar32 following = -1;
        if (next < length) {
            int32_t afterNext = next;
            U16_NEXT(text.data(), afterNext, length, following);
        }
        if (starts.mayStartAt(at, resumedAt, c, previous, following)) {
            if (threadCpuTime() > deadline) break;
            if (uregex_lookingAt(regex, at, &status) && U_SUCCESS(status)) {
                const int32_t end = uregex_end(regex, 0, &status);
                if (U_FAILURE(status)) break;
                if (visit(at, end)) {
                    stopped = true;
                    break;
                }
                if (end > at) {
                    at = resumedAt = end;
                    int32_t back = end;
                    U16_PREV(text.data(), 0, back, previous);
                    continue;
                }
                resumedAt = next;  // after an empty match the search goes on one character later
            }
        }
        previous = c;
        at = next;
    }
    // Never leave the matcher pointing at text that is about to go away.
    UErrorCode resetStatus = U_ZERO_ERROR;
    static const char16_t empty[1] = {0};
    uregex_setText(regex, empty, 0, &resetStatus);
    return stopped;
}


std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        appendUtf8(out, c);
    }
    return out;
}

bool isTrailSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// A range that splits a surrogate pair is no range of the string.
bool isScalarAligned(const std::u16string& text, int32_t start, int32_t end) {
    auto aligned = [&](int32_t at) { return at <= 0 || at >= static_cast<int32_t>(text.size()) || !isTrailSurrogate(text[at]); };
    return aligned(start) && aligned(end);
}

bool isWhitespace(const Character& ch) { return !ch.empty() && u_isUWhiteSpace(static_cast<UChar32>(ch[0])); }

bool isContinuationCharacter(const Character& ch) {
    if (ch.empty()) return false;
    return std::all_of(ch.begin(), ch.end(), [](char32_t c) {
        return c < 0x80 && implicitContinuationCharacters.find(static_cast<char>(c)) != std::string_view::npos;
    });
}

// The covered second half of a wide character.
bool isWideContinuation(const BufferLine& line, int col) {
    return col > 0 && line[col].code == 0 && line[col - 1].width == 2;
}

struct ImplicitCellRef {
    int64_t row = 0;
    int64_t col = 0;
    int64_t width = 1;
};

// The joined text of a group of rows with, for each character, the cell it came from.
struct ImplicitLineMap {
    std::u16string joinedText;
    std::vector<ImplicitCellRef> cellRefs;
    std::vector<int32_t> cellStarts;  // UTF-16 offset of each character, plus the end
    int64_t targetRow = 0;
    int64_t targetCol = 0;
    size_t targetIndex = 0;  // the character of the target cell

    // The character index that holds a UTF-16 offset (the count at the end).
    size_t characterAt(int32_t offset) const {
        auto it = std::upper_bound(cellStarts.begin(), cellStarts.end() - 1, offset);
        return static_cast<size_t>(it - cellStarts.begin()) - 1;
    }
};

struct LinkRowEdgeInfo {
    int64_t firstCol = 0;
    Character firstCharacter;
    int64_t lastCol = 0;
    Character lastCharacter;
};

// Link lookup over one buffer of a terminal.
class LinkFinder {
public:
    LinkFinder(Terminal& terminal, Buffer& buffer) : terminal_(terminal), buffer_(buffer), cols_(terminal.cols()) {}

    std::optional<Terminal::LinkMatch> explicitLinkMatch(Position p);
    std::optional<Terminal::LinkMatch> implicitLinkMatch(Position p);

private:
    int lineCount() const { return buffer_.lines().count(); }
    BufferLine& line(int row) { return buffer_.lines()[row]; }
    int limit(const BufferLine& l) const { return std::min(l.count(), cols_); }
    Character characterOf(const CharData& cell) const {
        Character ch = terminal_.character(cell.code);
        if (ch == Character(1, U'\0')) return U" ";
        return ch;
    }

    std::optional<uint16_t> payloadCode(Position p);
    std::optional<ImplicitLineMap> buildImplicitLineMap(Position p);
    std::optional<std::pair<int, int>> heuristicImplicitGroup(int row, int maxRows);
    bool isImplicitContinuationRow(int row, int start);
    bool canJoinImplicitRows(int upper, int lower);
    std::optional<LinkRowEdgeInfo> linkRowEdgeInfo(int row);
    bool seamContainsImplicitLink(int upper, int lower, int upperLastCol, int lowerFirstCol);
    std::u16string implicitLineSegmentText(const BufferLine& l, int startCol, int endCol) const;

    Terminal& terminal_;
    Buffer& buffer_;
    int cols_;
};

std::optional<uint16_t> LinkFinder::payloadCode(Position p) {
    if (p.row < 0 || p.row >= lineCount()) return std::nullopt;
    const BufferLine& l = line(p.row);
    const int rowLimit = limit(l);
    if (rowLimit < 1) return std::nullopt;
    const int col = std::clamp(p.col, 0, rowLimit - 1);
    if (l[col].payload.code != 0) return l[col].payload.code;
    if (isWideContinuation(l, col) && l[col - 1].payload.code != 0) return l[col - 1].payload.code;
    return std::nullopt;
}

std::optional<Terminal::LinkMatch> LinkFinder::explicitLinkMatch(Position p) {
    auto code = payloadCode(p);
    if (!code) return std::nullopt;
    const BufferLine& l = line(p.row);
    const int rowLimit = limit(l);
    if (rowLimit < 1) return std::nullopt;
    const int col = std::clamp(p.col, 0, rowLimit - 1);
    int startCol = col;
    while (startCol > 0 && payloadCode({startCol - 1, p.row}) == code) --startCol;
    int endCol = col;
    while (endCol < rowLimit && payloadCode({endCol, p.row}) == code) ++endCol;
    if (endCol <= startCol) return std::nullopt;

    std::optional<std::string> stored;
    for (int probe : {col, col - 1}) {
        const CharData& cell = l[std::clamp(probe, 0, l.count() - 1)];
        if (cell.payload.code == 0) continue;
        std::any value = cell.payload.target();
        if (auto* text = std::any_cast<std::string>(&value)) {
            stored = *text;
            break;
        }
    }
    if (!stored) return std::nullopt;
    auto uri = Terminal::parseHyperlinkPayload(*stored);
    if (!uri) return std::nullopt;
    Terminal::LinkMatch match;
    match.text = std::move(*uri);
    match.row = p.row;
    match.range = {startCol, endCol};
    match.isExplicit = true;
    match.rowRanges.push_back({p.row, match.range});
    return match;
}

std::u16string LinkFinder::implicitLineSegmentText(const BufferLine& l, int startCol, int endCol) const {
    std::u16string text;
    for (int col = std::max(startCol, 0); col < std::min(endCol, l.count()); ++col) {
        if (isWideContinuation(l, col)) continue;
        for (char32_t c : characterOf(l[col])) appendUtf16(text, c);
    }
    return text;
}

std::optional<LinkRowEdgeInfo> LinkFinder::linkRowEdgeInfo(int row) {
    if (row < 0 || row >= lineCount()) return std::nullopt;
    const BufferLine& l = line(row);
    const int rowLimit = limit(l);
    const int trimmed = l.getTrimmedLength();
    if (rowLimit < 1 || trimmed < 1) return std::nullopt;
    const int scanLimit = std::min(rowLimit, trimmed);
    // A visible character at col: a cell with a code, or the covered half read as its wide character.
    auto visible = [&](int col) -> std::optional<Character> {
        if (l[col].code != 0) return characterOf(l[col]);
        if (isWideContinuation(l, col)) return characterOf(l[col - 1]);
        return std::nullopt;
    };
    std::optional<int> first;
    for (int col = 0; col < scanLimit && !first; ++col) {
        if (col == 0 && l[0].code == 0) continue;
        auto ch = visible(col);
        if (ch && !isWhitespace(*ch)) first = col;
    }
    if (!first) return std::nullopt;
    for (int col = scanLimit - 1; col >= *first; --col) {
        auto ch = visible(col);
        if (ch && !isWhitespace(*ch)) return LinkRowEdgeInfo{*first, *visible(*first), col, *ch};
    }
    return std::nullopt;
}

bool LinkFinder::seamContainsImplicitLink(int upper, int lower, int upperLastCol, int lowerFirstCol) {
    if (!sharedImplicitLinkRegex()) return false;
    if (upper < 0 || upper >= lineCount() || lower < 0 || lower >= lineCount()) return false;
    const BufferLine& upperLine = line(upper);
    const int upperEnd = std::min({cols_, upperLine.count(), upperLastCol + 1});
    if (upperEnd < 1) return false;
    const int upperStart = upperEnd > seamContextColumns - 1 ? upperEnd - seamContextColumns : 0;
    std::u16string joined = implicitLineSegmentText(upperLine, upperStart, upperEnd);
    if (joined.empty()) return false;

    const BufferLine& lowerLine = line(lower);
    const int lowerLimit = std::min({cols_, lowerLine.count(), lowerLine.getTrimmedLength()});
    if (lowerFirstCol >= lowerLimit) return false;
    std::u16string lowerText =
        implicitLineSegmentText(lowerLine, lowerFirstCol, std::min(lowerLimit, lowerFirstCol + seamContextColumns));
    if (lowerText.empty()) return false;

    const int32_t seam = static_cast<int32_t>(joined.size());
    joined += lowerText;
    return forEachImplicitLinkMatch(joined, seam, [&](int32_t start, int32_t end) {
        if (start >= seam || end <= seam) return false;
        if (!isScalarAligned(joined, start, end)) return false;
        if (start == 0) return true;
        return joined[start - 1] != u'$';
    });
}

bool LinkFinder::canJoinImplicitRows(int upper, int lower) {
    auto u = linkRowEdgeInfo(upper);
    auto l = linkRowEdgeInfo(lower);
    if (!u || !l) return false;
    // The upper row must run to (near) the right edge, as text that the program broke itself.
    const int margin = cols_ >= 10 ? cols_ / 5 : 2;
    if (u->lastCol < cols_ - margin) return false;
    if (!isContinuationCharacter(u->lastCharacter) || !isContinuationCharacter(l->firstCharacter)) return false;
    return seamContainsImplicitLink(upper, lower, static_cast<int>(u->lastCol), static_cast<int>(l->firstCol));
}

std::optional<std::pair<int, int>> LinkFinder::heuristicImplicitGroup(int row, int maxRows) {
    int start = row;
    while (start >= 1 && row - start < maxRows && canJoinImplicitRows(start - 1, start)) --start;
    int end = row;
    while (end + 1 < lineCount() && end - row < maxRows && canJoinImplicitRows(end, end + 1)) ++end;
    if (start == row && end == row) return std::nullopt;
    return std::make_pair(start, end);
}

bool LinkFinder::isImplicitContinuationRow(int row, int start) {
    if (row <= start) return false;
    if (line(row).isWrapped()) return true;
    return canJoinImplicitRows(row - 1, row);
}

std::optional<ImplicitLineMap> LinkFinder::buildImplicitLineMap(Position p) {
    if (p.row < 0 || p.row >= lineCount()) return std::nullopt;
    const BufferLine& targetLine = line(p.row);
    const int targetLimit = limit(targetLine);
    if (targetLimit < 1) return std::nullopt;
    int targetCol = std::clamp(p.col, 0, targetLimit - 1);
    if (isWideContinuation(targetLine, targetCol)) --targetCol;

    // Rows are joined only so far from the target: a link that long is cut, every other one is whole.
    const int maxRows = implicitLinkContextCells / std::max(cols_, 1) + 1;
    int start = p.row;
    while (start > 0 && p.row - start < maxRows && line(start).isWrapped()) --start;
    int end = p.row;
    while (end + 1 < lineCount() && end - p.row < maxRows && line(end + 1).isWrapped()) ++end;
    if (start == p.row && end == p.row) {
        if (auto group = heuristicImplicitGroup(p.row, maxRows)) std::tie(start, end) = *group;
    }

    ImplicitLineMap map;
    map.targetRow = p.row;
    map.targetCol = targetCol;
    bool targetSeen = false;
    for (int row = start; row <= end; ++row) {
        const BufferLine& l = line(row);
        const int textLimit = std::min({l.count(), cols_, l.getTrimmedLength()});
        if (textLimit < 1) continue;
        int firstCol = 0;
        if (isImplicitContinuationRow(row, start)) {
            std::optional<int> found;
            for (int col = 0; col < textLimit && !found; ++col) {
                const CharData& cell = isWideContinuation(l, col) ? l[col - 1] : l[col];
                if (cell.code != 0 && !isWhitespace(characterOf(cell))) found = col;
            }
            if (!found) continue;
            firstCol = *found;
        }
        if (row == p.row && targetCol >= firstCol && targetCol < textLimit) targetSeen = true;
        for (int col = firstCol; col < textLimit; ++col) {
            if (isWideContinuation(l, col)) continue;
            const CharData& cell = l[col];
            if (row == p.row && col == targetCol) map.targetIndex = map.cellRefs.size();
            map.cellStarts.push_back(static_cast<int32_t>(map.joinedText.size()));
            for (char32_t c : characterOf(cell)) appendUtf16(map.joinedText, c);
            map.cellRefs.push_back({row, col, std::max<int64_t>(cell.width, 1)});
        }
    }
    map.cellStarts.push_back(static_cast<int32_t>(map.joinedText.size()));
    if (map.joinedText.empty() || map.cellRefs.empty() || !targetSeen) return std::nullopt;
    return map;
}

std::optional<Terminal::LinkMatch> LinkFinder::implicitLinkMatch(Position p) {
    auto map = buildImplicitLineMap(p);
    if (!map || !sharedImplicitLinkRegex()) return std::nullopt;
    const std::u16string& text = map->joinedText;
    std::optional<Terminal::LinkMatch> result;
    forEachImplicitLinkMatch(text, map->cellStarts[map->targetIndex] + 1, [&](int32_t start, int32_t end) {
        if (end - start < 1 || !isScalarAligned(text, start, end)) return false;
        const size_t lower = map->characterAt(start);
        if (lower > 0) {
            const int32_t before = map->cellStarts[lower - 1];
            if (map->cellStarts[lower] - before == 1 && text[before] == u'$') return false;
        }
        size_t upper = map->characterAt(end);
        if (map->cellStarts[upper] < end) ++upper;
        upper = std::min(upper, map->cellRefs.size());
        if (lower >= upper) return false;

        std::map<int64_t, Terminal::LinkMatch::Columns> spans;
        bool coversTarget = false;
        for (size_t i = lower; i < upper; ++i) {
            const ImplicitCellRef& ref = map->cellRefs[i];
            const int from = static_cast<int>(ref.col);
            const int to = static_cast<int>(ref.col + ref.width);
            auto [it, inserted] = spans.try_emplace(ref.row, Terminal::LinkMatch::Columns{from, to});
            if (!inserted) {
                it->second.start = std::min(it->second.start, from);
                it->second.end = std::max(it->second.end, to);
            }
            if (ref.row == map->targetRow && map->targetCol >= ref.col && map->targetCol < ref.col + ref.width) {
                coversTarget = true;
            }
        }
        auto target = spans.find(map->targetRow);
        if (!coversTarget || target == spans.end() || target->second.end <= target->second.start) return false;

        Terminal::LinkMatch match;
        match.text = utf16ToUtf8(std::u16string_view(text).substr(start, end - start));
        match.row = map->targetRow;
        match.range = target->second;
        match.isExplicit = false;
        for (const auto& [row, columns] : spans) match.rowRanges.push_back({row, columns});
        result = std::move(match);
        return true;
    });
    return result;
}

}  // namespace

std::string_view Terminal::implicitLinkPattern() { return implicitLinkPatternText; }

std::optional<Position> Terminal::resolveLinkLocation(LinkLookupLocation location, Buffer& in) const {
    Position position = location.position;
    if (location.kind == LinkLookupLocation::Kind::screen) position.row += in.yDisp();
    const int count = in.lines().count();
    if (count == 0) return std::nullopt;
    position.row = std::clamp(position.row, 0, count - 1);
    position.col = std::clamp(position.col, 0, cols_ - 1);
    return position;
}

std::optional<Terminal::LinkMatch> Terminal::linkMatch(LinkLookupLocation location, LinkLookupMode mode) {
    Buffer& b = *buffer_;
    auto position = resolveLinkLocation(location, b);
    if (!position) return std::nullopt;
    LinkFinder finder(*this, b);
    if (auto match = finder.explicitLinkMatch(*position)) return match;
    if (mode == LinkLookupMode::explicitAndImplicit) return finder.implicitLinkMatch(*position);
    return std::nullopt;
}

std::optional<std::string> Terminal::link(LinkLookupLocation location, LinkLookupMode mode) {
    auto match = linkMatch(location, mode);
    if (!match) return std::nullopt;
    return std::move(match->text);
}

}  // namespace vantel
