#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantel {
class Terminal;
}

namespace quiltdeck {

// Reading the assistant's state from what it prints: the status phrases, the
// escape sequences to ignore, and packed text (every white-space character
// removed), in which words that the assistant placed with cursor movements
// instead of blanks still read as phrases. Text is in Unicode scalars.
class ScreenScrape {
public:
    ScreenScrape() = delete;

    enum class Pattern {
        waiting,        // a question to the user, on cleaned text
        busy,           // the interrupt hint, on a chunk or cleaned text
        waitingPacked,  // the same questions, on packed text
        busyPacked,     // the hint, on packed text
    };

    // Case-insensitive search for the pattern anywhere in the text.
    static bool matches(Pattern pattern, std::u32string_view text);
    // The row asks the user something: the waiting pattern on it, or on it packed, or a choice
    // pointed at in a list ("  ❯ Dark mode", numbered or not).
    static bool asksUser(std::u32string_view text);
    // Row `row` of a screen (rows joined with "\n"); empty past the last row.
    static std::u32string_view row(std::u32string_view screen, size_t row);
    // The index of the last row of a screen that asks the user something.
    static std::optional<size_t> lastQuestionRow(std::u32string_view screen);
    // The row of the rule over the assistant's prompt box, the lowest on the screen: its top
    // edge (a plain rule, whatever label it carries, or a rounded box's) from the row's first
    // column, the prompt sign under it there, the lines typed into it indented, its bottom edge
    // (or the screen's foot), then only its footer, indented, however many rows (the shortcuts
    // at a narrow width take more than a dozen). What it says above the box (its answer, the
    // prompts it echoes, a tip under the spinner) asks nobody: a question of its own takes the
    // box's place.
    static std::optional<size_t> promptBoxRow(std::u32string_view screen);
    // The last row that asks the user, when the assistant asks it now: no prompt
    // box on the screen, and the row below the transcript's last turn (set apart
    // from it by a rule, or right under the prompt that started it).
    static std::optional<size_t> questionRow(std::u32string_view screen);
    // The row of an interrupted turn's line ("⎿  Interrupted · What should …")
    // at or above `cursorRow` (the last row when none), when no work shows
    // after it (an answer's or a tool's "●" or "⏺", a spinner's "…"): the last thing
    // the assistant said. Read whole from the screen, since a redraw writes
    // only the cells that change and the corner mark may be there already.
    static std::optional<size_t> interruptRow(std::u32string_view screen, std::optional<size_t> cursorRow);

    // The text without the control sequences the scraper ignores: ESC, then
    // any of "[]()#;?", then digits and ';', then one final character.
    static std::u32string withoutEscapes(std::u32string_view text);
    // The text without white space (the Unicode White_Space characters).
    static std::u32string packed(std::u32string_view text);
    // The rows of the terminal's active screen as they stand, whatever part
    // of the scroll-back is shown: trimmed on the right, joined with "\n",
    // cells never written as blanks.
    static std::u32string activeScreen(vantel::Terminal& terminal);

    // The last `count` scalars of the text (all of it when shorter).
    static std::u32string_view last(std::u32string_view text, size_t count) {
        return text.size() > count ? text.substr(text.size() - count) : text;
    }
};

}  // namespace quiltdeck
