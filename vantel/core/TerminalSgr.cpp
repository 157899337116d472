// Character attributes (SGR), with the colon forms of underline styles and colours.
#include <algorithm>
#include <cstdio>
#include <cstring>

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

// The common codes in one pass, on the attribute as three words in registers (fore- and
// background, then style, underline style and the underline colour's first half, then its
// second half): a copy field by field costs more than the codes themselves, and is stored
// in the pieces the print path reads back. The first code it does not know sends the whole
// list to the general path, which starts again from the attribute as it was.
void Terminal::selectGraphicRendition(std::span<const int> pars) {
    static_assert(sizeof(Attribute) == 14 && sizeof(AttrColor) == 4);
    AttributeWords words = AttributeWords::of(curAttr);
    uint64_t& colors = words.first;
    uint32_t& middle = words.second;
    // A colour as its word; the palette index is its second byte.
    const auto word = [](AttrColor color) {
        uint32_t out;
        std::memcpy(&out, &color, 4);
        return uint64_t{out};
    };
    const uint64_t defaultColor = word(AttrColor::defaultColor());
    const uint64_t paletteColor = word(AttrColor::ansi256(0));
    constexpr uint64_t foreground = 0xFFFFFFFFULL, background = foreground << 32;
    const int n = static_cast<int>(pars.size());
    for (int i = 0; i < n; ++i) {
        const int p = pars[i];
        if (p == 38 || p == 48) {
            if (i + 2 >= n || pars[i + 1] != 5) return cmdCsiM(pars, {}, plainSeparators(n));
            const uint64_t color = paletteColor | uint64_t{colorComponent(pars[i + 2])} << 8;
            colors = p == 38 ? (colors & background) | color : (colors & foreground) | color << 32;
            i += 2;
        } else if (p == 0) {
            words = AttributeWords::of(Attribute::defaultAttribute);
        } else if (p >= 30 && p <= 37) {
            colors = (colors & background) | paletteColor | static_cast<uint64_t>(p - 30) << 8;
        } else if (p >= 40 && p <= 47) {
            colors = (colors & foreground) | (paletteColor | static_cast<uint64_t>(p - 40) << 8) << 32;
        } else if (p == 39) {
            colors = (colors & background) | defaultColor;
        } else if (p == 49) {
            colors = (colors & foreground) | defaultColor << 32;
        } else if (p == 1) {
            middle |= CharacterStyle::bold;
        } else {
            return cmdCsiM(pars, {}, plainSeparators(n));
        }
    }
    words.storeInto(curAttr);
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
