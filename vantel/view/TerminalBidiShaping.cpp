// Arabic joining forms and the mirroring of brackets and box corners, decided per cell.
#include <algorithm>
#include <array>

#include "vantel/core/UnicodeUtil.h"
#include "vantel/view/TerminalBidi.h"
#include "vantel/view/generated/BidiUnicodeTables.h"

namespace vantel {

namespace {

constexpr char32_t zeroWidthNonJoiner = 0x200C;
constexpr char32_t lam = 0x0644;

struct LamAlef {
    char32_t alef;
    char32_t isolated;
    char32_t final;
};
constexpr std::array<LamAlef, 4> lamAlef = {{
    {0x0622, 0xFEF5, 0xFEF6},
    {0x0623, 0xFEF7, 0xFEF8},
    {0x0625, 0xFEF9, 0xFEFA},
    {0x0627, 0xFEFB, 0xFEFC},
}};

// Left-right mirrors of box-drawing corners and tees, both ways.
constexpr std::array<std::pair<char32_t, char32_t>, 19> boxMirrorPairs = {{
    {0x250C, 0x2510}, {0x2514, 0x2518}, {0x251C, 0x2524}, {0x250F, 0x2513}, {0x2517, 0x251B},
    {0x2523, 0x252B}, {0x2554, 0x2557}, {0x255A, 0x255D}, {0x2560, 0x2563}, {0x256D, 0x256E},
    {0x2570, 0x256F}, {0x2552, 0x2555}, {0x2558, 0x255B}, {0x2553, 0x2556}, {0x2559, 0x255C},
    {0x255E, 0x2561}, {0x255F, 0x2562}, {0x2574, 0x2576}, {0x2578, 0x257A},
}};

std::optional<char32_t> boxMirror(char32_t c) {
    for (const auto& [a, b] : boxMirrorPairs) {
        if (c == a) return b;
        if (c == b) return a;
    }
    return std::nullopt;
}

const ucd::ArabicForms* formsOf(char32_t letter) {
    const auto& table = ucd::unicode17Forms;
    auto it = std::lower_bound(table.begin(), table.end(), letter,
                               [](const ucd::ArabicForms& f, char32_t c) { return f.letter < c; });
    return it != table.end() && it->letter == letter ? &*it : nullptr;
}

const LamAlef* lamAlefOf(char32_t alef) {
    for (const LamAlef& entry : lamAlef) {
        if (entry.alef == alef) return &entry;
    }
    return nullptr;
}

char32_t firstScalar(const TerminalBidi::Cell& cell) { return cell.text.empty() ? U' ' : cell.text[0]; }

// The form followed by the cell's marks (its second and later scalars).
Character compose(char32_t form, const Character& text) {
    Character out(1, form);
    if (text.size() > 1) out.append(text, 1);
    return out;
}

bool isTransparent(char32_t s) { return TerminalBidi::joiningType(s) == TerminalBidi::Joining::transparent; }

bool joinsBackward(const std::vector<TerminalBidi::Cell>& cells, size_t i) {
    using J = TerminalBidi::Joining;
    for (size_t k = i; k-- > 0;) {
        const char32_t s = firstScalar(cells[k]);
        if (isTransparent(s)) continue;
        const J type = TerminalBidi::joiningType(s);
        return type == J::left || type == J::dual || type == J::causing;
    }
    return false;
}

bool joinsForward(const std::vector<TerminalBidi::Cell>& cells, size_t i) {
    using J = TerminalBidi::Joining;
    for (size_t k = i + 1; k < cells.size(); ++k) {
        const char32_t s = firstScalar(cells[k]);
        if (isTransparent(s)) continue;
        const J type = TerminalBidi::joiningType(s);
        return type == J::right || type == J::dual || type == J::causing;
    }
    return false;
}

}  // namespace

TerminalBidi::Joining TerminalBidi::joiningType(char32_t s) {
    if (s == zeroWidthNonJoiner) return Joining::none;
    const auto& table = ucd::unicode17JoiningRanges;
    if (s >= table.front().first && s <= table.back().last) {
        auto it = std::upper_bound(table.begin(), table.end(), s,
                                   [](char32_t c, const ucd::JoiningRange& r) { return c < r.first; });
        if (it != table.begin() && s <= std::prev(it)->last) return static_cast<Joining>(std::prev(it)->type);
    }
    const GeneralCategory gc = UnicodeUtil::generalCategory(s);
    const bool mark = gc == GeneralCategory::Mn || gc == GeneralCategory::Me || gc == GeneralCategory::Cf;
    return mark ? Joining::transparent : Joining::none;
}

std::vector<std::optional<Character>> TerminalBidi::shapeArabic(const std::vector<Cell>& cells) {
    std::vector<std::optional<Character>> display(cells.size());
    size_t i = 0;
    while (i < cells.size()) {
        const char32_t s = firstScalar(cells[i]);
        const Joining type = joiningType(s);
        if (type == Joining::none) {
            if (const ucd::ArabicForms* forms = formsOf(s)) display[i] = compose(forms->isolated, cells[i].text);
            ++i;
            continue;
        }
        if (type != Joining::right && type != Joining::dual) {
            ++i;
            continue;
        }
        const bool prevJoins = joinsBackward(cells, i);
        if (s == lam && i + 1 < cells.size()) {
            if (const LamAlef* ligature = lamAlefOf(firstScalar(cells[i + 1]))) {
                Character text = compose(prevJoins ? ligature->final : ligature->isolated, cells[i].text);
                if (cells[i + 1].text.size() > 1) text.append(cells[i + 1].text, 1);
                display[i] = std::move(text);
                display[i + 1] = Character(U" ");
                i += 2;
                continue;
            }
        }
        const ucd::ArabicForms* forms = formsOf(s);
        if (!forms) {
            ++i;
            continue;
        }
        char32_t form;
        if (type == Joining::right) {
            form = prevJoins ? forms->final : forms->isolated;
        } else {
            const bool nextJoins = joinsForward(cells, i);
            if (prevJoins && nextJoins) form = forms->medial ? forms->medial : forms->final;
            else if (prevJoins) form = forms->final;
            else if (nextJoins) form = forms->initial ? forms->initial : forms->isolated;
            else form = forms->isolated;
        }
        display[i] = compose(form, cells[i].text);
        ++i;
    }
    return display;
}

std::optional<Character> TerminalBidi::mirroredText(const Character& text, bool boxMirroring) {
    if (text.size() != 1) return std::nullopt;
    const auto& table = ucd::unicode17Mirror;
    auto it = std::lower_bound(table.begin(), table.end(), text[0],
                               [](const ucd::MirrorPair& p, char32_t c) { return p.from < c; });
    if (it != table.end() && it->from == text[0]) return Character(1, it->to);
    if (boxMirroring) {
        if (auto partner = boxMirror(text[0])) return Character(1, *partner);
    }
    return std::nullopt;
}

}  // namespace vantel
