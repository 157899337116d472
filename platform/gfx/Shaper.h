#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/gfx/Font.h"
#include "platform/gfx/FontFallback.h"

namespace platform::gfx {

// One glyph of a shaped text. Positions are in points from the start of the text, y up.
struct ShapedGlyph {
    uint32_t glyph = 0;
    uint32_t cluster = 0;  // the UTF-16 index, in the whole text, of the cluster it draws
    double x = 0;
    double y = 0;
    double advance = 0;
};

// Consecutive clusters drawn with one font.
struct GlyphRun {
    FontRef font;
    uint32_t start = 0;   // UTF-16 range of the text
    uint32_t length = 0;
    std::vector<ShapedGlyph> glyphs;
};

struct ShapedText {
    std::vector<GlyphRun> runs;
    double width = 0;  // the sum of the advances
};

// Shapes UTF-16 text with HarfBuzz, always left to right (the view orders bidi text itself).
// Clusters the font lacks go to the fallback font (through FallbackFontCache), and a new run starts wherever the font changes.
// Advances are the font's own at its size, never a bitmap strike's. Main thread only.
class Shaper {
public:
    static ShapedText shape(std::u16string_view text, const FontRef& font,
                            EmojiPresentationTest isEmojiPresentation = FontFallback::icuEmojiPresentation);
};

}  // namespace platform::gfx
