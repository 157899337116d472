#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/gfx/Rect.h"

namespace platform::gfx {

class Font;
struct FontFace;
using FontRef = std::shared_ptr<const Font>;

struct FontTraits {
    bool bold = false;
    bool italic = false;
    friend constexpr bool operator==(FontTraits, FontTraits) = default;
};

// A face at a size, found through fontconfig and read with FreeType. 1 pt = 1 device pixel at
// scale 1. Metrics are unhinted, in points, with y up (descent is positive below the baseline).
// Fonts are immutable and shared: the same request answers the same font while it is alive or one
// of the last few asked for, and fonts of one file share its face and one mapping of it (see
// FontStore). Main thread only.
class Font {
public:
    static constexpr double systemFontSize = 13;
    static constexpr double maxSize = 8192;

    // The best match for a fontconfig family or alias ("monospace", "DejaVu Sans"). A size that is
    // not finite or not above 0 becomes systemFontSize, one above maxSize is clamped. When no face
    // has the traits, the nearest is emboldened or sheared. Null only when fontconfig knows no font.
    static FontRef create(std::string_view family, double size, FontTraits traits = {});
    // The system font: `monospace`.
    static FontRef systemFont(double size = systemFontSize);

    // The same request with other traits or another size.
    FontRef withTraits(FontTraits traits) const;
    FontRef withSize(double size) const;

    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    // Serial number, never reused in the process; every cache keyed by a font uses it, so a font
    // made later at the same address is never mistaken for an old one.
    uint64_t id() const { return id_; }
    // The same for every font made from the same face file with the same synthesis: their glyphs
    // render alike at a given size, so rendered glyphs are shared between them (each view makes
    // its own fonts). A bitmap face with several strikes keeps its own: which strike it scales
    // from depends on the first size asked of it.
    uint64_t rasterId() const { return rasterId_; }
    double size() const { return size_; }
    FontTraits traits() const { return traits_; }  // as requested
    const std::string& family() const;            // of the face, e.g. "DejaVu Sans Mono"
    const std::string& filePath() const;
    bool isColor() const;      // colour glyphs (bitmap strikes such as Noto Color Emoji)
    bool emboldened() const;   // bold drawn by thickening a regular face
    bool sheared() const;      // italic drawn by slanting an upright face

    // hhea ascent, descent and line gap, or the OS/2 typographic ones when the face asks for them.
    double ascent() const { return ascent_; }
    double descent() const { return descent_; }
    double leading() const { return leading_; }
    // From the post table: the underline's top below the baseline (negative) and its thickness.
    double underlinePosition() const { return underlinePosition_; }
    double underlineThickness() const { return underlineThickness_; }
    // OS/2 x-height, else the ink top of "x".
    double xHeight() const { return xHeight_; }

    uint32_t glyphIndex(char32_t c) const;  // 0 (the missing-glyph box) when the face lacks it
    bool covers(char32_t c) const;
    double advance(uint32_t glyph) const;   // horizontal, from hmtx at this size
    Rect inkBounds(uint32_t glyph) const;   // empty for a glyph without ink

    // The FreeType and HarfBuzz side, for the rest of platform/gfx.
    FontFace& face() const { return *face_; }

private:
    Font(std::unique_ptr<FontFace> face, std::string requestFamily, double size, FontTraits traits);
    // Takes an opened face; FontFallback makes its fonts this way.
    static FontRef adopt(std::unique_ptr<FontFace> face, std::string requestFamily, double size, FontTraits traits);
    void loadMetrics();
    friend class FontFallback;

    uint64_t id_;
    uint64_t rasterId_;
    std::unique_ptr<FontFace> face_;
    std::string requestFamily_;
    double size_;
    FontTraits traits_;
    double ascent_ = 0, descent_ = 0, leading_ = 0;
    double underlinePosition_ = 0, underlineThickness_ = 0, xHeight_ = 0;
};

}  // namespace platform::gfx
