#include "quiltdeck/sessions/ScreenScrape.h"

#include <unicode/uregex.h>

#include <algorithm>
#include <array>
#include <vector>

#include "quiltdeck/shell/Shorten.h"
#include "vantel/core/Terminal.h"
#include "vantel/core/Utf8.h"

namespace quiltdeck {

namespace {

// Written as ICU patterns, all matched without regard to case. Besides the words of its
// questions, the assistant's pointer on a numbered choice ("❯ 1. Dark mode") asks, whatever
// the screen (its first run's, a login's, a permission's).
constexpr std::array<std::u16string_view, 4> patternTexts = {
    u"Do you want to|Would you like to|1\\.\\s*Yes|\\(y/n\\)|Approve|awaiting your|Press Enter to continue|"
    u"trust this folder|Enter to confirm|[\u276F\u203A]\\s*[0-9]+\\.\\s",
    u"esc to interrupt|ctrl\\+c to (stop|interrupt)",
    u"Doyouwantto|Wouldyouliketo|1\\.Yes|trustthisfolder|Entertoconfirm|PressEntertocontinue|[\u276F\u203A][0-9]+\\.[^0-9]",
    u"esctointerrupt",
};

// The compiled patterns, shared by the process; a null entry did not compile.
const std::array<URegularExpression*, 4>& sharedPatterns() {
    static const std::array<URegularExpression*, 4> compiled = [] {
        std::array<URegularExpression*, 4> made{};
        for (size_t i = 0; i < patternTexts.size(); ++i) {
            UErrorCode status = U_ZERO_ERROR;
            UParseError parseError;
            made[i] = uregex_open(patternTexts[i].data(), static_cast<int32_t>(patternTexts[i].size()),
                                  UREGEX_CASE_INSENSITIVE, &parseError, &status);
            if (U_FAILURE(status) && made[i]) {
                uregex_close(made[i]);
                made[i] = nullptr;
            }
        }
        return made;
    }();
    return compiled;
}

// A regular expression carries its match state, so each thread has its own clones.
URegularExpression* matcher(ScreenScrape::Pattern pattern) {
    struct Holder {
        std::array<URegularExpression*, 4> regex{};
        ~Holder() {
            for (auto* r : regex) {
                if (r) uregex_close(r);
            }
        }
    };
    thread_local Holder holder;
    const auto index = static_cast<size_t>(pattern);
    if (!holder.regex[index] && sharedPatterns()[index]) {
        UErrorCode status = U_ZERO_ERROR;
        holder.regex[index] = uregex_clone(sharedPatterns()[index], &status);
        if (U_FAILURE(status)) holder.regex[index] = nullptr;
    }
    return holder.regex[index];
}

std::u16string utf16(std::u32string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        if (c >= 0x10000 && c <= 0x10FFFF) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) ? 0xFFFD : c);
        }
    }
    return out;
}

bool isIntroducer(char32_t c) {
    return c == U'[' || c == U']' || c == U'(' || c == U')' || c == U'#' || c == U';' || c == U'?';
}
bool isDigit(char32_t c) { return c >= U'0' && c <= U'9'; }
bool isFinal(char32_t c) {
    return isDigit(c) || (c >= U'A' && c <= U'P') || (c >= U'R' && c <= U'T') || c == U'Z' || c == U'c' ||
           (c >= U'f' && c <= U'n') || c == U't' || c == U'q' || c == U'r' || c == U'y' || c == U'=' ||
           c == U'>' || c == U'<';
}

// Length of the sequence that starts with the ESC at `at`, 0 when none does.
// The regular expression it stands for backtracks only into the digits: the
// introducers never match a final character, so the longest run of them is
// the only one that can lead to a match.
size_t escapeLength(std::u32string_view text, size_t at) {
    size_t i = at + 1;
    while (i < text.size() && isIntroducer(text[i])) ++i;
    size_t lastDigit = std::u32string_view::npos;
    while (i < text.size() && (isDigit(text[i]) || text[i] == U';')) {
        if (isDigit(text[i])) lastDigit = i;
        ++i;
    }
    if (i < text.size() && isFinal(text[i])) return i + 1 - at;
    return lastDigit == std::u32string_view::npos ? 0 : lastDigit + 1 - at;
}

}  // namespace

namespace {

// Every match of the interrupt hint holds "c to" ("esc to …", "ctrl+c to …"; "cto" packed), in
// any case: no other character folds to c, t or o. Text without it cannot match, and most of a
// flood's output has none, so the expression is not run over it.
bool mayHoldHint(std::u32string_view text, bool packed) {
    const auto lower = [](char32_t c) { return c | 0x20; };
    const size_t span = packed ? 3 : 4;
    for (size_t i = 0; i + span <= text.size(); ++i) {
        if (lower(text[i]) != U'c') continue;
        const size_t t = packed ? i + 1 : i + 2;
        if ((packed || text[i + 1] == U' ') && lower(text[t]) == U't' && lower(text[t + 1]) == U'o') return true;
    }
    return false;
}

}  // namespace

bool ScreenScrape::matches(Pattern pattern, std::u32string_view text) {
    URegularExpression* regex = matcher(pattern);
    if (!regex || text.empty()) return false;
    if ((pattern == Pattern::busy || pattern == Pattern::busyPacked) && !mayHoldHint(text, pattern == Pattern::busyPacked))
        return false;
    const std::u16string units = utf16(text);
    UErrorCode status = U_ZERO_ERROR;
    uregex_setText(regex, units.data(), static_cast<int32_t>(units.size()), &status);
    const bool found = U_SUCCESS(status) && uregex_find(regex, 0, &status) && U_SUCCESS(status);
    // The matcher must not keep pointing at the text that goes away now.
    UErrorCode resetStatus = U_ZERO_ERROR;
    static const UChar empty[1] = {0};
    uregex_setText(regex, empty, 0, &resetStatus);
    return found;
}


std::u32string_view ScreenScrape::row(std::u32string_view screen, size_t row) {
    size_t start = 0;
    for (; row > 0; --row) {
        start = screen.find(U'\n', start);
        if (start == std::u32string_view::npos) return {};
        ++start;
    }
    return screen.substr(start, screen.find(U'\n', start) - start);
}

namespace {

std::vector<std::u32string_view> rowsOf(std::u32string_view screen) {
    std::vector<std::u32string_view> rows;
    for (size_t start = 0; start <= screen.size();) {
        const size_t end = std::min(screen.find(U'\n', start), screen.size());
        rows.push_back(screen.substr(start, end - start));
        start = end + 1;
    }
    return rows;
}

bool isBoxDrawing(char32_t c) { return c >= 0x2500 && c <= 0x257F; }
bool isBlockElement(char32_t c) { return c >= 0x2580 && c <= 0x259F; }

std::u32string_view trimmed(std::u32string_view row) {
    while (!row.empty() && isWhiteSpace(row.front())) row.remove_prefix(1);
    while (!row.empty() && isWhiteSpace(row.back())) row.remove_suffix(1);
    return row;
}

// A rule around the prompt: a row of box-drawing characters, a few at least, which may carry a
// label between them (the tile's name, "──── p01 ─").
bool isRule(std::u32string_view row) {
    row = trimmed(row);
    size_t lead = 0;
    while (lead < row.size() && isBoxDrawing(row[lead])) ++lead;
    return lead >= 3 && isBoxDrawing(row.back());
}

// A row that sets what follows apart: a rule, or a run of block elements ("▔▔▔▔" over a menu).
bool isSeparator(std::u32string_view row) {
    row = trimmed(row);
    if (isRule(row)) return true;
    size_t blocks = 0;
    for (char32_t c : row) {
        if (!isBlockElement(c)) return false;
        ++blocks;
    }
    return blocks >= 3;
}

// Horizontal lines alone, which may carry a label between them ("──── p01 ─"): no corner, tee or
// cross of a drawn table or frame.
bool isPlainRule(std::u32string_view row) {
    row = trimmed(row);
    size_t lead = 0;
    while (lead < row.size() && row[lead] == U'\u2500') ++lead;
    if (lead < 3 || row.back() != U'\u2500') return false;
    return std::none_of(row.begin(), row.end(), [](char32_t c) { return isBoxDrawing(c) && c != U'\u2500'; });
}

// The assistant's prompt box: between two plain rules, or in a rounded box of its own. The
// assistant draws its edges and the prompt sign from the row's first column; what is typed into
// the box, and everything under it, stands indented: a rule or a table's row typed into it is no
// edge, and a question's choice ("  ❯ 1. Yes") or a table's cell no prompt sign.
enum class BoxShape { none, ruled, rounded };

BoxShape boxTop(std::u32string_view row) {
    while (!row.empty() && isWhiteSpace(row.back())) row.remove_suffix(1);
    if (row.size() >= 5 && row.front() == U'\u256D' && row.back() == U'\u256E')
        return isPlainRule(row.substr(1, row.size() - 2)) ? BoxShape::rounded : BoxShape::none;
    return !row.empty() && row.front() == U'\u2500' && isPlainRule(row) ? BoxShape::ruled : BoxShape::none;
}

bool isBoxBottom(std::u32string_view row, BoxShape shape) {
    while (!row.empty() && isWhiteSpace(row.back())) row.remove_suffix(1);
    if (shape == BoxShape::ruled) return !row.empty() && row.front() == U'\u2500' && isPlainRule(row);
    return row.size() >= 5 && row.front() == U'\u2570' && row.back() == U'\u256F' &&
           isPlainRule(row.substr(1, row.size() - 2));
}

bool isPromptSign(char32_t c) { return c == U'>' || c == U'\u276F' || c == U'\u203A'; }

// The row the user types into: the prompt sign first (behind the rounded box's side and blanks).
bool isPromptRow(std::u32string_view row, BoxShape shape) {
    if (shape == BoxShape::rounded) {
        if (row.empty() || row.front() != U'\u2502') return false;
        row = trimmed(row.substr(1));
    }
    return !row.empty() && isPromptSign(row.front());
}

// A row inside the box under its prompt row: what is typed there, indented under the text.
bool isInsideBox(std::u32string_view row, BoxShape shape) {
    if (shape == BoxShape::rounded) return !row.empty() && row.front() == U'\u2502';
    return row.empty() || isWhiteSpace(row.front());
}

// A row under the box: its footer (hints, a mode, the shortcuts, however many rows), indented.
bool isFooterRow(std::u32string_view row) {
    return trimmed(row).empty() || (isWhiteSpace(row.front()) && !isSeparator(row));
}

bool isPointer(char32_t c) { return c == U'\u276F' || c == U'\u203A'; }

// A choice pointed at in a list of them ("  ❯ Dark mode", "❯ ✔ Auto"): the pointer, indented, then
// a word. The prompt's own sign stands at the row's start.
bool isChoiceRow(std::u32string_view row) {
    size_t at = 0;
    while (at < row.size() && isWhiteSpace(row[at])) ++at;
    return at > 0 && at + 2 < row.size() && isPointer(row[at]) && isWhiteSpace(row[at + 1]) &&
           !isWhiteSpace(row[at + 2]);
}

// A row of the transcript that starts a part of a turn: the user's prompt as it was sent ("❯ fix
// it", "> fix it"), or what the assistant said or ran ("● …", "⏺ …"), at the row's start.
bool startsTurnPart(std::u32string_view row) {
    return !row.empty() && (isPointer(row.front()) || row.front() == U'>' || row.front() == U'\u25CF' ||
                            row.front() == U'\u23FA');
}
bool isPromptEcho(std::u32string_view row) { return !row.empty() && (isPointer(row.front()) || row.front() == U'>'); }

constexpr std::u32string_view interruptMark = U"\u23BFInterrupted";

}  // namespace

bool ScreenScrape::asksUser(std::u32string_view text) {
    return matches(Pattern::waiting, text) || matches(Pattern::waitingPacked, packed(text)) || isChoiceRow(text);
}

std::optional<size_t> ScreenScrape::lastQuestionRow(std::u32string_view screen) {
    std::optional<size_t> found;
    const auto rows = rowsOf(screen);
    for (size_t index = 0; index < rows.size(); ++index) {
        if (asksUser(rows[index])) found = index;
    }
    return found;
}

std::optional<size_t> ScreenScrape::promptBoxRow(std::u32string_view screen) {
    const auto rows = rowsOf(screen);
    for (size_t index = rows.size(); index-- > 1;) {
        const BoxShape shape = boxTop(rows[index - 1]);
        if (shape == BoxShape::none || !isPromptRow(rows[index], shape)) continue;
        // Its shape down to the foot of the screen: the lines typed, the bottom (or the screen's
        // foot cutting the box short), then the footer, nothing of the transcript.
        size_t below = index + 1;
        while (below < rows.size() && !isBoxBottom(rows[below], shape) && isInsideBox(rows[below], shape)) ++below;
        if (below < rows.size() && !isBoxBottom(rows[below], shape)) continue;
        size_t after = below + 1;
        while (after < rows.size() && isFooterRow(rows[after])) ++after;
        if (after >= rows.size()) return index - 1;
    }
    return std::nullopt;
}

std::optional<size_t> ScreenScrape::questionRow(std::u32string_view screen) {
    const auto question = lastQuestionRow(screen);
    if (!question) return std::nullopt;
    // While the prompt box shows, the assistant asks nothing: its answers, the user's own prompts
    // it echoes and the tips stand above it, what the user types stands in it; a question of its
    // own takes the box's place.
    if (promptBoxRow(screen)) return std::nullopt;
    // Without the box, a question counts below the transcript's last turn: set apart from what
    // was said (a dialog's rule over it), or straight under the prompt that started the turn. What
    // an answer shows (a list it points at) is no question.
    const auto rows = rowsOf(screen);
    std::optional<size_t> turn;
    for (size_t index = 0; index <= *question; ++index) {
        if (startsTurnPart(rows[index])) turn = index;
    }
    if (!turn) return question;
    if (*turn == *question) return std::nullopt;
    if (isPromptEcho(rows[*turn])) return question;
    for (size_t index = *turn + 1; index < *question; ++index) {
        if (isSeparator(rows[index])) return question;
    }
    return std::nullopt;
}

std::optional<size_t> ScreenScrape::interruptRow(std::u32string_view screen, std::optional<size_t> cursorRow) {
    const auto rows = rowsOf(screen);
    const size_t last = std::min(cursorRow.value_or(rows.size() - 1), rows.size() - 1);
    for (size_t index = last + 1; index-- > 0;) {
        const std::u32string_view row = rows[index];
        if (packed(row).find(interruptMark) != std::u32string::npos) return index;
        // Work after it: the interrupt is an earlier turn's.
        if (row.find_first_of(U"\u23FA\u25CF\u2026") != std::u32string_view::npos)
            return std::nullopt;
    }
    return std::nullopt;
}

std::u32string ScreenScrape::withoutEscapes(std::u32string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (text[i] == U'\x1b') {
            if (const size_t length = escapeLength(text, i)) {
                i += length;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

std::u32string ScreenScrape::packed(std::u32string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        if (!isWhiteSpace(c)) out += c;
    }
    return out;
}

std::u32string ScreenScrape::activeScreen(vantel::Terminal& terminal) {
    auto& buffer = terminal.buffer();
    auto& lines = buffer.lines();
    std::string text;
    for (int row = 0; row < terminal.rows() && buffer.yBase() + row < lines.count(); ++row) {
        if (row > 0) text += '\n';
        text += lines[buffer.yBase() + row].translateToString(true);
    }
    std::u32string screen = vantel::fromUtf8(text);
    // Cells never written (a cursor move went over them) read as blanks, as they look.
    std::replace(screen.begin(), screen.end(), U'\0', U' ');
    return screen;
}

}  // namespace quiltdeck
