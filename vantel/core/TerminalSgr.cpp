// Character attributes (SGR), with the colon forms of underline styles and colours.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "vantel/core/ByteScan.h"
#include "vantel/core/EscapeSequenceParser.h"
#include "vantel/core/TextUtil.h"
#include "vantel/core/Terminal.h"

namespace vantel {

namespace {

using AttrColor = Attribute::Color;

uint8_t colorComponent(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

// Red, green and blue from three parameters starting at `first`.
AttrColor trueColorAt(std::span<const int> pars, int first) {
    return AttrColor::trueColor(colorComponent(pars[first]), colorComponent(pars[first + 1]),
                                colorComponent(pars[first + 2]));
}

// Whether parameter i is joined to the next one by a colon.
bool colonAfter(std::span<const int> pars, std::string_view separators, int i) {
    return i >= 0 && i + 1 < static_cast<int>(pars.size()) && i < static_cast<int>(separators.size()) &&
           separators[i] == ':';
}

UnderlineStyle underlineStyleFromSubparameter(int value) {
    switch (value) {
    case 0: return UnderlineStyle::none;
    case 2: return UnderlineStyle::double_;
    case 3: return UnderlineStyle::curly;
    case 4: return UnderlineStyle::dotted;
    case 5: return UnderlineStyle::dashed;
    default: return UnderlineStyle::single;
    }
}

// The separators of n parameters all joined by semicolons.
std::string_view plainSeparators(int n) {
    static constexpr std::string_view semicolons = ";;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;";
    return semicolons.substr(0, static_cast<size_t>(std::clamp(n - 1, 0, static_cast<int>(semicolons.size()))));
}

void setUnderline(Attribute& attr, UnderlineStyle style) {
    if (style == UnderlineStyle::none) attr.style.remove(CharacterStyle::underline);
    else attr.style.insert(CharacterStyle::underline);
    attr.underlineStyle = style;
}

}  // namespace

void Terminal::cmdCsiM(std::span<const int> pars, std::string_view collect) {
    cmdCsiM(pars, collect, parser_->parsTxt());
}

void Terminal::cmdCsiM(std::span<const int> pars, std::string_view collect, std::string_view separators) {
    // CSI > Ps m and friends set key modifier options, not attributes.
    if (!collect.empty()) return;
    if (pars.size() == 1 && pars[0] == 0) {
        curAttr = Attribute::defaultAttribute;
        return;
    }
    Attribute attr = curAttr;
    const int n = static_cast<int>(pars.size());
    int i = 0;
    while (i < n) {
        const int p = pars[i];
        if (p >= 30 && p <= 37) {
            attr.fg = AttrColor::ansi256(static_cast<uint8_t>(p - 30));
        } else if (p >= 40 && p <= 47) {
            attr.bg = AttrColor::ansi256(static_cast<uint8_t>(p - 40));
        } else if (p >= 90 && p <= 97) {
            attr.fg = AttrColor::ansi256(static_cast<uint8_t>(p - 82));
        } else if (p >= 100 && p <= 107) {
            attr.bg = AttrColor::ansi256(static_cast<uint8_t>(p - 92));
        } else if (p == 38 || p == 48 || p == 58) {
            const int start = i + 1;
            const ExtendedColor extended = parseExtendedColor(pars, separators, start, colonAfter(pars, separators, i));
            if (extended.color) {
                if (p == 38) attr.fg = *extended.color;
                else if (p == 48) attr.bg = *extended.color;
                else attr.setUnderlineColor(*extended.color);
            }
            i = extended.length >= 2 ? start + extended.length : start + 1;
            continue;
        } else if (p == 4) {
            if (colonAfter(pars, separators, i)) {
                setUnderline(attr, underlineStyleFromSubparameter(pars[i + 1]));
                i += 2;
                continue;
            }
            setUnderline(attr, UnderlineStyle::single);
        } else {
            switch (p) {
            case 0: attr = Attribute::defaultAttribute; break;
            case 1: attr.style.insert(CharacterStyle::bold); break;
            case 2: attr.style.insert(CharacterStyle::dim); break;
            case 3: attr.style.insert(CharacterStyle::italic); break;
            case 5: attr.style.insert(CharacterStyle::blink); break;
            case 7: attr.style.insert(CharacterStyle::inverse); break;
            case 8: attr.style.insert(CharacterStyle::invisible); break;
            case 9: attr.style.insert(CharacterStyle::crossedOut); break;
            case 21: setUnderline(attr, UnderlineStyle::double_); break;
            case 22: attr.style.remove(CharacterStyle::bold | CharacterStyle::dim); break;
            case 23: attr.style.remove(CharacterStyle::italic); break;
            case 24: setUnderline(attr, UnderlineStyle::none); break;
            case 25: attr.style.remove(CharacterStyle::blink); break;
            case 27: attr.style.remove(CharacterStyle::inverse); break;
            case 28: attr.style.remove(CharacterStyle::invisible); break;
            case 29: attr.style.remove(CharacterStyle::crossedOut); break;
            case 39: attr.fg = AttrColor::defaultColor(); break;
            case 49: attr.bg = AttrColor::defaultColor(); break;
            case 59: attr.setUnderlineColor(std::nullopt); break;
            default:
                if (!silentLog) log("Unknown SGR attribute: " + std::to_string(p) + " " + text::decimalList(pars));
                break;
            }
        }
        ++i;
    }
    curAttr = attr;
}

namespace {

// The attribute in two words: the colours (fore- and background, a Color each), and the rest
// (style, underline style and the underline colour, AttributeWords' second and third).
struct SgrWords {
    uint64_t colors;
    uint64_t rest;
};

// What one code does to those words: each is kept where its mask is set and takes the bits
// given, so a colour, a style set or cleared and a reset are the same two operations per word,
// with no branch on which code it was. The rest's mask has its top bit set for the codes that
// have a step (the rest itself never uses that bit).
struct SgrStep {
    uint64_t colorsKept = 0;
    uint64_t colorsSet = 0;
    uint64_t restKept = 0;
    uint64_t restSet = 0;
};

// Codes below this may have a step; 38 and 48 go their own way.
constexpr int sgrStepCount = 108;
constexpr uint64_t hasStep = uint64_t{1} << 63;
constexpr uint64_t keepAll = ~uint64_t{0};
constexpr uint64_t foregroundWord = 0xFFFFFFFFULL, backgroundWord = foregroundWord << 32;
constexpr uint64_t underlineStyleByte = 0xFF00;

uint64_t colorWord(AttrColor color) {
    uint32_t out;
    std::memcpy(&out, &color, 4);
    return out;
}

SgrWords sgrWords(const Attribute& attribute) {
    const AttributeWords words = AttributeWords::of(attribute);
    return {words.first, words.second | uint64_t{words.third} << 32};
}

std::array<SgrStep, sgrStepCount> makeSgrSteps() {
    std::array<SgrStep, sgrStepCount> steps{};
    const auto foreground = [&](int code, AttrColor color) { steps[code] = {backgroundWord, colorWord(color), keepAll, 0}; };
    const auto background = [&](int code, AttrColor color) {
        steps[code] = {foregroundWord, colorWord(color) << 32, keepAll, 0};
    };
    const auto styles = [&](int code, uint8_t inserted, uint8_t removed) {
        steps[code] = {keepAll, 0, ~uint64_t{removed}, inserted};
    };
    const auto underline = [&](int code, UnderlineStyle style) {
        const uint64_t bit = style == UnderlineStyle::none ? 0 : CharacterStyle::underline;
        steps[code] = {keepAll, 0, ~(underlineStyleByte | CharacterStyle::underline),
                       bit | static_cast<uint64_t>(style) << 8};
    };
    const SgrWords reset = sgrWords(Attribute::defaultAttribute);
    steps[0] = {0, reset.colors, 0, reset.rest};
    styles(1, CharacterStyle::bold, 0);
    styles(2, CharacterStyle::dim, 0);
    styles(3, CharacterStyle::italic, 0);
    underline(4, UnderlineStyle::single);
    styles(5, CharacterStyle::blink, 0);
    styles(7, CharacterStyle::inverse, 0);
    styles(8, CharacterStyle::invisible, 0);
    styles(9, CharacterStyle::crossedOut, 0);
    underline(21, UnderlineStyle::double_);
    styles(22, 0, CharacterStyle::bold | CharacterStyle::dim);
    styles(23, 0, CharacterStyle::italic);
    underline(24, UnderlineStyle::none);
    styles(25, 0, CharacterStyle::blink);
    styles(27, 0, CharacterStyle::inverse);
    styles(28, 0, CharacterStyle::invisible);
    styles(29, 0, CharacterStyle::crossedOut);
    for (int i = 0; i < 8; ++i) {
        foreground(30 + i, AttrColor::ansi256(static_cast<uint8_t>(i)));
        background(40 + i, AttrColor::ansi256(static_cast<uint8_t>(i)));
        foreground(90 + i, AttrColor::ansi256(static_cast<uint8_t>(8 + i)));
        background(100 + i, AttrColor::ansi256(static_cast<uint8_t>(8 + i)));
    }
    foreground(39, AttrColor::defaultColor());
    background(49, AttrColor::defaultColor());
    // No underline colour: the default attribute's, above the style and underline style bytes.
    steps[59] = {keepAll, 0, 0xFFFF, reset.rest & ~uint64_t{0xFFFF}};
    for (SgrStep& step : steps) {
        if (step.colorsKept | step.colorsSet | step.restKept | step.restSet) step.restKept |= hasStep;
    }
    return steps;
}

const std::array<SgrStep, sgrStepCount> sgrSteps = makeSgrSteps();

// The codes of one SGR on the attribute's words; false at the first it leaves to the general
// path. With `colons`, bit i of `colonBits` set says a colon follows parameter i.
template <bool colons>
[[gnu::always_inline]] inline bool applySgr(SgrWords& words, std::span<const int> pars, uint32_t colonBits) {
    uint64_t colors = words.colors, rest = words.rest;
    const uint64_t paletteColor = colorWord(AttrColor::ansi256(0));
    const uint64_t trueColor = colorWord(AttrColor::trueColor(0, 0, 0));
    const int n = static_cast<int>(pars.size());
    for (int i = 0; i < n; ++i) {
        const int p = pars[i];
        if (p == 38 || p == 48) {
            if (i + 2 >= n) [[unlikely]] return false;
            uint64_t color;
            if (pars[i + 1] == 5) [[likely]] {
                if (colons && (colonBits >> i & 3)) return false;
                color = paletteColor | uint64_t{colorComponent(pars[i + 2])} << 8;
                i += 2;
            } else if (pars[i + 1] == 2 && i + 4 < n) {
                if (colons && (colonBits >> i & 15)) return false;
                color = trueColor | uint64_t{colorComponent(pars[i + 2])} << 8 |
                        uint64_t{colorComponent(pars[i + 3])} << 16 | uint64_t{colorComponent(pars[i + 4])} << 24;
                i += 4;
            } else {
                return false;
            }
            colors = p == 38 ? (colors & backgroundWord) | color : (colors & foregroundWord) | color << 32;
            continue;
        }
        if (static_cast<unsigned>(p) >= sgrStepCount) return false;
        const SgrStep& step = sgrSteps[p];
        if (!(step.restKept & hasStep)) return false;
        if (colons && (colonBits >> i & 1)) {
            if (p != 4) return false;
            // 4:N, an underline style; one that is not known underlines once.
            const uint64_t style = static_cast<unsigned>(pars[i + 1]) <= 5 ? static_cast<uint64_t>(pars[i + 1]) : 1;
            rest = (rest & ~(underlineStyleByte | CharacterStyle::underline)) |
                   (style ? CharacterStyle::underline : 0) | style << 8;
            ++i;
            continue;
        }
        colors = (colors & step.colorsKept) | step.colorsSet;
        rest = (rest & step.restKept) | step.restSet;
    }
    words = {colors, rest};
    return true;
}

}  // namespace

// The common codes in one pass, on the attribute as two words in registers: a copy field by
// field costs more than the codes themselves, and the words are stored in the pieces the print
// path reads back. Codes with a step take it; palette and true colours, and an underline style
// after a colon (`4:3`), are read too. The first code it does not know, or a colon anywhere
// else, sends the whole list to the general path, which starts again from the attribute as it
// was.
void Terminal::selectGraphicRendition(std::span<const int> pars, uint32_t colons) {
    static_assert(sizeof(Attribute) == 14 && sizeof(AttrColor) == 4);
    SgrWords words = sgrWords(curAttr);
    if (colons ? applySgr<true>(words, pars, colons) : applySgr<false>(words, pars, 0)) {
        AttributeWords{words.colors, static_cast<uint32_t>(words.rest), static_cast<uint16_t>(words.rest >> 32)}
            .storeInto(curAttr);
        return;
    }
    cmdCsiM(pars, {}, colons ? parser_->parsTxt() : plainSeparators(static_cast<int>(pars.size())));
}

// The commonest SGR of colourful output, every cell its own: "38;5;N;48;5;M" and style codes,
// each code taken as it is read, without the list of numbers in between. Anything it does not
// know (a code without a step, three digits, an empty parameter, a colon, true colour, a
// final other than 'm', too many parameters or too few bytes) leaves it all to the parser's
// other ways, which read the sequence again.
int64_t Terminal::selectGraphicRenditionFrom(const uint8_t* bytes, int64_t available) {
    SgrWords words = sgrWords(curAttr);
    uint64_t colors = words.colors, rest = words.rest;
    const uint64_t paletteColor = colorWord(AttrColor::ansi256(0));
    int count = 0;
    int64_t i = 0;
    for (;;) {
        // The widest item reads 13 bytes; the count keeps within the parser's limit.
        if (i + 16 > available || count + 3 > EscapeSequenceParser::maximumParameters) return 0;
        uint64_t head;
        std::memcpy(&head, bytes + i, 8);
        head &= bytescan::paletteHeadMask;
        if (head == bytescan::paletteForeground || head == bytescan::paletteBackground) {
            uint64_t index, digits;
            std::memcpy(&index, bytes + i + 5, 8);
            const int n = __builtin_ctzll(bytescan::nonDigitBytes(index, digits) | 1ULL << 63) >> 3;
            if (n == 0 || n > 3) return 0;
            const uint64_t color = paletteColor | uint64_t{colorComponent(bytescan::smallDecimal(digits, n))} << 8;
            colors = head == bytescan::paletteForeground ? (colors & backgroundWord) | color
                                                         : (colors & foregroundWord) | color << 32;
            count += 3;
            i += 5 + n;
        } else {
            const unsigned first = static_cast<unsigned>(bytes[i]) - '0';
            const unsigned second = static_cast<unsigned>(bytes[i + 1]) - '0';
            if (first >= 10) return 0;
            unsigned code = first;
            if (second < 10) {
                if (static_cast<unsigned>(bytes[i + 2]) - '0' < 10) return 0;
                code = first * 10 + second;
                ++i;
            }
            ++i;
            if (code >= sgrStepCount) return 0;
            const SgrStep& step = sgrSteps[code];
            if (!(step.restKept & hasStep)) return 0;
            colors = (colors & step.colorsKept) | step.colorsSet;
            rest = (rest & step.restKept) | step.restSet;
            ++count;
        }
        if (bytes[i] == 'm') break;
        if (bytes[i] != ';') return 0;
        ++i;
    }
    AttributeWords{colors, static_cast<uint32_t>(rest), static_cast<uint16_t>(rest >> 32)}.storeInto(curAttr);
    return i + 1;
}

Terminal::ExtendedColor Terminal::parseExtendedColor(std::span<const int> pars, std::string_view separators,
                                                     int startIndex, bool usesColon) {
    const int n = static_cast<int>(pars.size());
    const int s = startIndex;
    if (s < 0 || s >= n) return {std::nullopt, 0};
    const int selector = pars[s];
    if (!usesColon) {
        if (selector == 5) {
            if (s + 1 < n) return {AttrColor::ansi256(colorComponent(pars[s + 1])), 2};
            return {std::nullopt, 1};
        }
        if (selector == 2 && s + 3 < n) {
            return {trueColorAt(pars, s + 1), 4};
        }
        return {std::nullopt, 1};
    }
    // The colon group: the selector and every sub-parameter joined to it by colons.
    int k = s;
    while (k < n - 1 && colonAfter(pars, separators, k)) ++k;
    const int length = k - s + 1;
    std::optional<AttrColor> color;
    if (selector == 5 && length >= 2) {
        color = AttrColor::ansi256(colorComponent(pars[s + 1]));
    } else if (selector == 2 && length == 4) {
        color = trueColorAt(pars, s + 1);
    } else if (selector == 2 && length >= 5) {
        // 38:2:Pi:r:g:b carries a colour-space identifier first; it is not used.
        color = trueColorAt(pars, s + 2);
    }
    return {color, length};
}

}  // namespace vantel
