#pragma once

#include <optional>

#include "platform/gfx/Font.h"
#include "platform/gfx/Rgba.h"
#include "vantel/core/Attribute.h"

namespace vantel {

// How a run of text looks: what the attribute dictionaries carried, one field per key, unset
// when the key is absent.
struct TextAttributes {
    platform::gfx::FontRef font;  // null: the system font
    std::optional<platform::gfx::Rgba> foreground;
    std::optional<platform::gfx::Rgba> background;
    std::optional<platform::gfx::Rgba> selectionBackground;
    UnderlineStyle underlineStyle = UnderlineStyle::none;  // none: no underline
    std::optional<platform::gfx::Rgba> underlineColor;
    bool strikethrough = false;  // one solid line through the text
    std::optional<platform::gfx::Rgba> strikethroughColor;
    // Left to right with override: the text keeps the order it is given in.
    bool leftToRightOverride = false;

    bool hasDecorations() const { return underlineStyle != UnderlineStyle::none || strikethrough; }

    // Fonts compare by identity.
    friend bool operator==(const TextAttributes&, const TextAttributes&) = default;
};

}  // namespace vantel
