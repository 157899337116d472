#pragma once

#include <string_view>

#include "platform/gfx/Font.h"

namespace platform::gfx {

// Whether a scalar is shown as an emoji by default (the Unicode Emoji_Presentation property).
using EmojiPresentationTest = bool (*)(char32_t);

// Chooses the font that draws one cluster (a base character with its marks, selectors and
// joined characters) when the base font lacks it. Main thread only.
class FontFallback {
public:
    // ICU's Emoji_Presentation; callers with newer tables pass their own.
    static bool icuEmojiPresentation(char32_t c);

    // The first font in fontconfig's sort of the base's request that covers every scalar of the
    // cluster except variation selectors and joiners; the base itself when it covers them, or when
    // no font does. A cluster with U+FE0F, or whose first scalar is an emoji by default, tries colour
    // fonts first; one with U+FE0E tries the others first. Fallback fonts take the base's size and
    // traits and are made once per base font.
    static FontRef fontFor(const FontRef& base, std::u32string_view cluster,
                           EmojiPresentationTest isEmojiPresentation = icuEmojiPresentation);

    // Whether some font of the base's fallback list has `c` (true for selectors and joiners, which
    // need no glyph). When none has it, fontFor() answers the base for `c` alone.
    static bool anyFallbackHas(const Font& base, char32_t c);

    // Whether the font has every scalar of the cluster that needs a glyph.
    static bool covers(const Font& font, std::u32string_view cluster);
};

}  // namespace platform::gfx
