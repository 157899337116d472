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

bool ScreenScrape::asksUser(std::u32string_view text) {
    return matches(Pattern::waiting, text) || matches(Pattern::waitingPacked, packed(text));
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

// A row of box-drawing characters alone (a few at least): the rules around the prompt.
bool isRule(std::u32string_view row) {
    size_t lines = 0;
    for (char32_t c : row) {
        if (isBoxDrawing(c)) ++lines;
        else if (!isWhiteSpace(c)) return false;
    }
    return lines >= 3;
}

// The row the user types into: the prompt sign first, after blanks and a box's side.
bool isPromptRow(std::u32string_view row) {
    for (char32_t c : row) {
        if (isWhiteSpace(c) || c == U'\u2502') continue;
        return c == U'>' || c == U'\u276F' || c == U'\u203A';
    }
    return false;
}

constexpr std::u32string_view interruptMark = U"\u23BFInterrupted";

}  // namespace

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
        if (isPromptRow(rows[index]) && isRule(rows[index - 1])) return index - 1;
    }
    return std::nullopt;
}

std::optional<size_t> ScreenScrape::questionRow(std::u32string_view screen) {
    const auto question = lastQuestionRow(screen);
    if (!question) return std::nullopt;
    // Above the box, or in it (what the user types there, "1. fix it", asks nobody).
    const auto box = promptBoxRow(screen);
    return box && *box + 1 >= *question ? std::nullopt : question;
}

std::optional<size_t> ScreenScrape::interruptRow(std::u32string_view screen, std::optional<size_t> cursorRow) {
    const auto rows = rowsOf(screen);
    const size_t last = std::min(cursorRow.value_or(rows.size() - 1), rows.size() - 1);
    for (size_t index = last + 1; index-- > 0;) {
        const std::u32string_view row = rows[index];
        if (packed(row).find(interruptMark) != std::u32string::npos) return index;
        // Work after it: the interrupt is an earlier turn's.
        if (row.find(U'\u23FA') != std::u32string_view::npos || row.find(U'\u2026') != std::u32string_view::npos)
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
