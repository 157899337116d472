#pragma once

// The FreeType, HarfBuzz and fontconfig side of a Font. Internal to platform/gfx: nothing outside
// this folder includes it.

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gfx/Font.h"

namespace platform::gfx {

// The process's FreeType library (main thread only; never torn down).
FT_Library freeTypeLibrary();

struct FontFace {
    FT_Face ft = nullptr;
    hb_font_t* hb = nullptr;       // scaled by harfBuzzUnitsPerPoint
    FcPattern* pattern = nullptr;  // the matched font's pattern
    FcPattern* request = nullptr;  // the substituted request; fallback lists are sorted from it
    FcCharSet* charset = nullptr;  // owned by `pattern`
    std::string family;
    std::string path;
    int index = 0;
    int unitsPerEm = 0;
    bool color = false;
    bool scalable = true;
    bool emboldened = false;
    bool sheared = false;

    // Unhinted metrics at the font's size, filled on first use.
    struct GlyphMetrics {
        double advance;
        Rect ink;
    };
    std::unordered_map<uint32_t, GlyphMetrics> metrics;

    // Fallback list: fontconfig's sort of `request`, and the fonts made from it so far.
    FcFontSet* fallbackSet = nullptr;
    bool fallbackSorted = false;
    // Each font of the sort with what the choice reads of it, read once: a screen of characters the
    // base lacks asks for thousands of choices a frame.
    struct FallbackCandidate {
        FcPattern* pattern;  // owned by fallbackSet
        FcCharSet* charset;  // owned by the pattern, may be null
        bool color;
    };
    std::vector<FallbackCandidate> fallbackCandidates;
    // Every character some candidate has: a character outside it is drawn by the base, found
    // without walking the list (screens of characters no font has would walk it for each).
    FcCharSet* fallbackUnion = nullptr;
    std::unordered_map<std::string, FontRef> fallbackFonts;

    static constexpr int harfBuzzUnitsPerPoint = 1024;

    FontFace() = default;
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;
    ~FontFace();

    // Opens the face a fontconfig pattern names, for `requested` traits at `size` points. Takes a
    // reference to `request` (may be null). Null when the file cannot be read, with the cause in
    // `error` when given.
    static std::unique_ptr<FontFace> open(FcPattern* match, FcPattern* request, double size, FontTraits requested,
                                          std::string* error = nullptr);

    // Scales FreeType to `x` by `y` pixels per em; a bitmap-only face selects its nearest strike
    // instead. Returns the strike's pixels per em for bitmap-only faces, else 0; -1 on failure.
    double applySize(double x, double y);
    // Thickens or slants a loaded outline as the face's synthesis asks, for `ppemY` pixels per em.
    void synthesize(FT_Outline& outline, double ppemY) const;

private:
    double appliedX_ = -1;
    double appliedY_ = -1;
};

}  // namespace platform::gfx
