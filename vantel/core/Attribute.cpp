#include "vantel/core/Attribute.h"

namespace vantel {

namespace {

void appendColor(std::string& out, const Attribute::Color& color, bool foreground) {
    switch (color.kind) {
    case Attribute::Color::Kind::ansi256: {
        int index = color.code();
        if (index < 8) {
            out += foreground ? ";3" : ";4";
            out += std::to_string(index);
        } else if (index < 16) {
            out += foreground ? ";9" : ";10";
            out += std::to_string(index - 8);
        } else {
            out += foreground ? ";38;5;" : ";48;5;";
            out += std::to_string(index);
        }
        break;
    }
    case Attribute::Color::Kind::trueColor:
        out += foreground ? ";38;2;" : ";48;2;";
        out += std::to_string(color.red) + ";" + std::to_string(color.green) + ";" + std::to_string(color.blue);
        break;
    default:
        break;
    }
}

}  // namespace

std::string Attribute::toSgr() const {
    std::string out = "0";
    if (style.contains(CharacterStyle::bold)) out += ";1";
    if (style.contains(CharacterStyle::underline)) out += ";4";
    if (style.contains(CharacterStyle::blink)) out += ";5";
    if (style.contains(CharacterStyle::inverse)) out += ";7";
    if (style.contains(CharacterStyle::invisible)) out += ";8";
    appendColor(out, fg, true);
    appendColor(out, bg, false);
    out += "m";
    return out;
}

size_t Attribute::hash() const {
    size_t h = fg.hash();
    h = h * 1000003u ^ bg.hash();
    h = h * 1000003u ^ (size_t(style.rawValue) << 8 | size_t(underlineStyle));
    h = h * 1000003u ^ underlineColor_.hash();
    return h;
}

}  // namespace vantel
