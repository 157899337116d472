#pragma once

#include <optional>

#include "platform/gfx/Font.h"
#include "platform/gfx/Rgba.h"
#include "vantel/core/Attribute.h"

namespace vantel {

// Underline and strikethrough style values as the drawing code reads them: a line style, with a
// pattern in the second byte.
namespace PlatformUnderline {
inline constexpr int none = 0;
inline constexpr int single = 1;
inline constexpr int double_ = 9;
inline constexpr int patternDot = 0x100;
inline constexpr int patternDash = 0x200;
inline constexpr int dotted = single | patternDot;   // 257
inline constexpr int dashed = single | patternDash;  // 513
}  // namespace PlatformUnderline

// The platform value for a cell's underline style: curly draws as single (decorations draw the
// curl from `vantelUnderlineStyle`).
constexpr int platformUnderlineValue(UnderlineStyle style) {
    switch (style) {
        case UnderlineStyle::none: return PlatformUnderline::none;
        case UnderlineStyle::single: return PlatformUnderline::single;
        case UnderlineStyle::double_: return PlatformUnderline::double_;
        case UnderlineStyle::curly: return PlatformUnderline::single;
        case UnderlineStyle::dotted: return PlatformUnderline::dotted;
        case UnderlineStyle::dashed: return PlatformUnderline::dashed;
    }
    return PlatformUnderline::none;
}

// How a run of text looks: what the attribute dictionaries carried, one field per key, unset
// when the key is absent.
struct TextAttributes {
    platform::gfx::FontRef font;  // null: the system font
    std::optional<platform::gfx::Rgba> foreground;
    std::optional<platform::gfx::Rgba> background;
    std::optional<platform::gfx::Rgba> selectionBackground;
    std::optional<int> underlineStyle;  // a PlatformUnderline value
    std::optional<platform::gfx::Rgba> underlineColor;
    std::optional<int> strikethroughStyle;
    std::optional<platform::gfx::Rgba> strikethroughColor;
    std::optional<int> vantelUnderlineStyle;  // the cell's UnderlineStyle raw value
    // Left to right with override: the text keeps the order it is given in.
    bool leftToRightOverride = false;

    // Fonts compare by identity.
    friend bool operator==(const TextAttributes&, const TextAttributes&) = default;
};

}  // namespace vantel
