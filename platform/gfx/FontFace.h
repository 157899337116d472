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

// One face of a font file: FreeType's face and HarfBuzz's, both over one mapping of the file that
// the process keeps once, however many fonts, sizes and views use it. FreeType's size is set by
// applySize() before each use: the fonts that share the face take turns with it.
struct SharedFace {
    FT_Face ft = nullptr;
    hb_face_t* hb = nullptr;
    hb_blob_t* blob = nullptr;  // the file's bytes, shared by the faces of one file
    std::string path;
    int index = 0;
    // A bitmap face with several strikes keeps the strike the first size asked chose: such a face
    // is never shared between fonts.
    bool shared = true;

    SharedFace() = default;
    SharedFace(const SharedFace&) = delete;
    SharedFace& operator=(const SharedFace&) = delete;
    ~SharedFace();

    // Scales FreeType to `x` by `y` pixels per em; a bitmap-only face selects its nearest strike
    // instead. Returns the strike's pixels per em for bitmap-only faces, else 0; -1 on failure.
    double applySize(double x, double y);

private:
    double appliedX_ = -1;
    double appliedY_ = -1;
};

struct FontFace {
    std::shared_ptr<SharedFace> shared;
    FT_Face ft = nullptr;          // shared->ft
    hb_font_t* hb = nullptr;       // this font's own, over shared->hb, scaled by harfBuzzUnitsPerPoint
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

    // Opens the face a fontconfig pattern names, for `requested` traits at `size` points, over the
    // process's shared face of that file and index. Takes a reference to `request` (may be null).
    // Null when the file cannot be read, with the cause in `error` when given.
    static std::unique_ptr<FontFace> open(FcPattern* match, FcPattern* request, double size, FontTraits requested,
                                          std::string* error = nullptr);

    double applySize(double x, double y) { return shared->applySize(x, y); }
    // Thickens or slants a loaded outline as the face's synthesis asks, for `ppemY` pixels per em.
    void synthesize(FT_Outline& outline, double ppemY) const;
};

}  // namespace platform::gfx
