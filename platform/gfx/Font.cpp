#include "platform/gfx/Font.h"

#include <atomic>
#include <cmath>
#include <optional>

#include "platform/gfx/FailureLog.h"
#include "platform/gfx/FontFace.h"
#include "platform/gfx/FontStore.h"

#include FT_ADVANCES_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

namespace platform::gfx {

namespace {

std::atomic<uint64_t> nextFontId{1};

// Fonts drawing their glyphs alike share one raster id: same file, face index and synthesis.
uint64_t rasterIdFor(const FontFace& face, uint64_t fontId) {
    if (!face.scalable && face.ft->num_fixed_sizes > 1) return fontId;
    static std::unordered_map<std::string, uint64_t> ids;
    std::string key = face.path;
    key += '\0';
    key += std::to_string(face.index);
    key += face.emboldened ? 'b' : '-';
    key += face.sheared ? 'i' : '-';
    auto [it, inserted] = ids.try_emplace(std::move(key), 0);
    if (inserted) it->second = nextFontId.fetch_add(1, std::memory_order_relaxed);
    return it->second;
}

double sanitizedSize(double size) {
    if (!std::isfinite(size) || size <= 0) return Font::systemFontSize;
    return std::min(size, Font::maxSize);
}

FcPattern* requestPattern(std::string_view family, double size, FontTraits traits) {
    FcPattern* pattern = FcPatternCreate();
    std::string name(family);
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    // 1 pt = 1 px: fontconfig sees pixel sizes only.
    FcPatternAddDouble(pattern, FC_PIXEL_SIZE, size);
    FcPatternAddInteger(pattern, FC_WEIGHT, traits.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, traits.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    return pattern;
}

std::string patternString(FcPattern* pattern, const char* object) {
    FcChar8* value = nullptr;
    if (FcPatternGetString(pattern, object, 0, &value) != FcResultMatch || !value) return {};
    return reinterpret_cast<const char*>(value);
}

int patternInteger(FcPattern* pattern, const char* object, int fallback) {
    int value = fallback;
    FcPatternGetInteger(pattern, object, 0, &value);
    return value;
}

}  // namespace

FT_Library freeTypeLibrary() {
    static FT_Library library = [] {
        FT_Library made = nullptr;
        if (FT_Init_FreeType(&made) != 0) made = nullptr;
        return made;
    }();
    return library;
}

// MARK: - FontFace

FontFace::~FontFace() {
    if (hb) hb_font_destroy(hb);
    if (fallbackUnion) FcCharSetDestroy(fallbackUnion);
    if (fallbackSet) FcFontSetDestroy(fallbackSet);
    if (pattern) FcPatternDestroy(pattern);
    if (request) FcPatternDestroy(request);
}

std::unique_ptr<FontFace> FontFace::open(FcPattern* match, FcPattern* request, double size, FontTraits requested,
                                         std::string* error) {
    auto fail = [error](std::string why) -> std::unique_ptr<FontFace> {
        if (error) *error = std::move(why);
        return nullptr;
    };
    if (!match) return fail("fontconfig matched no font");
    auto face = std::make_unique<FontFace>();
    face->path = patternString(match, FC_FILE);
    face->index = patternInteger(match, FC_INDEX, 0);
    if (face->path.empty()) return fail("fontconfig's match names no file");
    face->shared = FontStore::shared().face(face->path, face->index, error);
    if (!face->shared) return nullptr;
    face->ft = face->shared->ft;
    FcPatternReference(match);
    face->pattern = match;
    if (request) {
        FcPatternReference(request);
        face->request = request;
    }
    face->family = patternString(match, FC_FAMILY);
    if (face->family.empty() && face->ft->family_name) face->family = face->ft->family_name;
    FcPatternGetCharSet(match, FC_CHARSET, 0, &face->charset);
    face->scalable = FT_IS_SCALABLE(face->ft);
    face->color = FT_HAS_COLOR(face->ft);
    auto* head = static_cast<TT_Header*>(FT_Get_Sfnt_Table(face->ft, FT_SFNT_HEAD));
    face->unitsPerEm = head && head->Units_Per_EM > 0 ? head->Units_Per_EM : face->ft->units_per_EM;
    if (face->unitsPerEm <= 0) face->unitsPerEm = 1000;
    // Our own synthesis: fontconfig's rules for it are not always configured.
    if (!face->color && face->scalable) {
        face->emboldened = requested.bold && patternInteger(match, FC_WEIGHT, FC_WEIGHT_REGULAR) < FC_WEIGHT_DEMIBOLD;
        face->sheared = requested.italic && patternInteger(match, FC_SLANT, FC_SLANT_ROMAN) == FC_SLANT_ROMAN;
    }

    face->hb = hb_font_create(face->shared->hb);
    int scale = static_cast<int>(std::lround(size * harfBuzzUnitsPerPoint));
    hb_font_set_scale(face->hb, scale, scale);
    return face;
}

void FontFace::synthesize(FT_Outline& outline, double ppemY) const {
    if (emboldened) {
        auto strength = static_cast<FT_Pos>(std::lround(ppemY * 64 / 24));
        FT_Outline_EmboldenXY(&outline, strength, strength);
    }
    if (sheared) {
        FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};
        FT_Outline_Transform(&outline, &shear);
    }
}

// MARK: - Font

Font::Font(std::unique_ptr<FontFace> face, std::string requestFamily, double size, FontTraits traits)
    : id_(nextFontId.fetch_add(1, std::memory_order_relaxed)),
      rasterId_(rasterIdFor(*face, id_)),
      face_(std::move(face)),
      requestFamily_(std::move(requestFamily)),
      size_(size),
      traits_(traits) {
    loadMetrics();
}

Font::~Font() = default;

FontRef Font::adopt(std::unique_ptr<FontFace> face, std::string requestFamily, double size, FontTraits traits) {
    if (!face) return nullptr;
    return FontRef(new Font(std::move(face), std::move(requestFamily), size, traits));
}

FontRef Font::create(std::string_view family, double size, FontTraits traits) {
    size = sanitizedSize(size);
    FcPattern* request = requestPattern(family, size, traits);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, request, &result);
    // Matched every time: fonts the application adds may answer the same request differently.
    std::optional<FontStore::Key> key;
    if (match) {
        key = FontStore::Key{std::string(family), patternString(match, FC_FILE), patternInteger(match, FC_INDEX, 0), size,
                             traits, false};
        if (FontRef made = FontStore::shared().find(*key, true)) {
            FcPatternDestroy(match);
            FcPatternDestroy(request);
            return made;
        }
    }
    std::string error;
    std::unique_ptr<FontFace> face = FontFace::open(match, request, size, traits, &error);
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(request);
    if (!face) {
        const std::string name(family);
        logFailureOnce("fonts", "font " + name, "no font for \"" + name + "\": " + error);
    }
    FontRef font = adopt(std::move(face), std::string(family), size, traits);
    if (key) FontStore::shared().remember(*key, font, true);
    return font;
}

FontRef Font::systemFont(double size) { return create("monospace", size); }

FontRef Font::withTraits(FontTraits traits) const { return create(requestFamily_, size_, traits); }

FontRef Font::withSize(double size) const { return create(requestFamily_, size, traits_); }

const std::string& Font::family() const { return face_->family; }
const std::string& Font::filePath() const { return face_->path; }
bool Font::isColor() const { return face_->color; }
bool Font::emboldened() const { return face_->emboldened; }
bool Font::sheared() const { return face_->sheared; }

void Font::loadMetrics() {
    FT_Face ft = face_->ft;
    double scale = size_ / face_->unitsPerEm;
    auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(ft, FT_SFNT_HHEA));
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
    auto* post = static_cast<TT_Postscript*>(FT_Get_Sfnt_Table(ft, FT_SFNT_POST));
    bool os2Usable = os2 && os2->version != 0xFFFF;
    double ascent = ft->ascender, descent = -ft->descender, gap = ft->height - ft->ascender + ft->descender;
    if (os2Usable && (os2->fsSelection & (1 << 7)) != 0) {  // USE_TYPO_METRICS
        ascent = os2->sTypoAscender;
        descent = -os2->sTypoDescender;
        gap = os2->sTypoLineGap;
    } else if (hhea && (hhea->Ascender != 0 || hhea->Descender != 0)) {
        ascent = hhea->Ascender;
        descent = -hhea->Descender;
        gap = hhea->Line_Gap;
    }
    if (ascent + descent <= 0) {  // a face without usable vertical metrics
        ascent = 0.8 * face_->unitsPerEm;
        descent = 0.2 * face_->unitsPerEm;
    }
    ascent_ = ascent * scale;
    descent_ = descent * scale;
    leading_ = std::max(0.0, gap) * scale;
    if (post) {
        underlinePosition_ = static_cast<FT_Short>(post->underlinePosition) * scale;
        underlineThickness_ = static_cast<FT_Short>(post->underlineThickness) * scale;
    } else {
        underlineThickness_ = ft->underline_thickness * scale;
        underlinePosition_ = ft->underline_position * scale + underlineThickness_ / 2;
    }
    if (os2Usable && os2->version >= 2 && os2->sxHeight > 0) {
        xHeight_ = os2->sxHeight * scale;
    } else {
        uint32_t x = glyphIndex('x');
        Rect ink = x ? inkBounds(x) : Rect{};
        xHeight_ = ink.isEmpty() ? ascent_ / 2 : ink.maxY();
    }
}

uint32_t Font::glyphIndex(char32_t c) const { return FT_Get_Char_Index(face_->ft, c); }

bool Font::covers(char32_t c) const {
    if (face_->charset) return FcCharSetHasChar(face_->charset, c);
    return glyphIndex(c) != 0;
}

namespace {

FontFace::GlyphMetrics measure(FontFace& face, uint32_t glyph, double size) {
    FontFace::GlyphMetrics m{0, {}};
    double scale = size / face.unitsPerEm;
    FT_Fixed advance = 0;
    if (FT_Get_Advance(face.ft, glyph, FT_LOAD_NO_SCALE, &advance) == 0) m.advance = advance * scale;
    double strike = face.applySize(size, size);
    if (strike < 0) return m;
    // A strike's metrics are read without decoding its bitmap (a PNG in colour fonts).
    FT_Int32 flags = face.scalable ? FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP : FT_LOAD_COLOR | FT_LOAD_BITMAP_METRICS_ONLY;
    if (FT_Load_Glyph(face.ft, glyph, flags) != 0) return m;
    FT_GlyphSlot slot = face.ft->glyph;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (slot->outline.n_points == 0) return m;
        face.synthesize(slot->outline, size);
        FT_BBox box;
        FT_Outline_Get_CBox(&slot->outline, &box);
        m.ink = Rect{box.xMin / 64.0, box.yMin / 64.0, (box.xMax - box.xMin) / 64.0, (box.yMax - box.yMin) / 64.0};
    } else if (strike > 0) {
        // A strike glyph's ink is its bitmap, scaled from the strike to this size.
        double k = size / strike / 64.0;
        const FT_Glyph_Metrics& gm = slot->metrics;
        m.ink = Rect{gm.horiBearingX * k, (gm.horiBearingY - gm.height) * k, gm.width * k, gm.height * k};
    }
    return m;
}

const FontFace::GlyphMetrics& metricsOf(FontFace& face, uint32_t glyph, double size) {
    static const FontFace::GlyphMetrics none{0, {}};
    // Only real glyph ids get an entry, so the table stays within the face's glyph count.
    if (glyph >= static_cast<uint32_t>(face.ft->num_glyphs)) return none;
    auto it = face.metrics.find(glyph);
    if (it == face.metrics.end()) it = face.metrics.emplace(glyph, measure(face, glyph, size)).first;
    return it->second;
}

}  // namespace

double Font::advance(uint32_t glyph) const { return metricsOf(*face_, glyph, size_).advance; }

Rect Font::inkBounds(uint32_t glyph) const { return metricsOf(*face_, glyph, size_).ink; }

}  // namespace platform::gfx
