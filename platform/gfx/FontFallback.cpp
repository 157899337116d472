#include "platform/gfx/FontFallback.h"

#include <unicode/uchar.h>

#include <algorithm>

#include "platform/gfx/FailureLog.h"
#include "platform/gfx/FontFace.h"
#include "platform/gfx/FontStore.h"

namespace platform::gfx {

namespace {

enum class Presentation { any, emoji, text };

// Selectors and joiners draw nothing of their own, so no font needs to cover them.
bool needsNoGlyph(char32_t c) {
    return (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF) || c == 0x200D || c == 0x200C;
}

Presentation presentationOf(std::u32string_view cluster, EmojiPresentationTest isEmojiPresentation) {
    for (char32_t c : cluster) {
        if (c == 0xFE0E) return Presentation::text;
        if (c == 0xFE0F) return Presentation::emoji;
    }
    if (!cluster.empty() && isEmojiPresentation && isEmojiPresentation(cluster.front())) return Presentation::emoji;
    return Presentation::any;
}

bool charsetCovers(const FcCharSet* charset, std::u32string_view cluster) {
    if (!charset) return false;
    for (char32_t c : cluster) {
        if (!needsNoGlyph(c) && !FcCharSetHasChar(charset, c)) return false;
    }
    return true;
}

bool prefers(Presentation presentation, bool color) {
    return presentation == Presentation::any || (presentation == Presentation::emoji) == color;
}

const std::vector<FontFace::FallbackCandidate>* sortedFallbacks(FontFace& face) {
    if (!face.fallbackSorted) {
        face.fallbackSorted = true;
        if (face.request) {
            FcResult result = FcResultNoMatch;
            // Untrimmed: trimming would drop a colour font whose characters an earlier font covers.
            face.fallbackSet = FcFontSort(nullptr, face.request, FcFalse, nullptr, &result);
        }
        if (FcFontSet* set = face.fallbackSet) {
            face.fallbackCandidates.reserve(static_cast<size_t>(std::max(0, set->nfont)));
            face.fallbackUnion = FcCharSetCreate();
            for (int i = 0; i < set->nfont; ++i) {
                FontFace::FallbackCandidate candidate{set->fonts[i], nullptr, false};
                FcBool color = FcFalse;
                FcPatternGetBool(candidate.pattern, FC_COLOR, 0, &color);
                candidate.color = color != FcFalse;
                FcPatternGetCharSet(candidate.pattern, FC_CHARSET, 0, &candidate.charset);
                if (candidate.charset && face.fallbackUnion) FcCharSetMerge(face.fallbackUnion, candidate.charset, nullptr);
                face.fallbackCandidates.push_back(candidate);
            }
        }
    }
    return face.fallbackSet ? &face.fallbackCandidates : nullptr;
}

}  // namespace

bool FontFallback::icuEmojiPresentation(char32_t c) {
    return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_EMOJI_PRESENTATION);
}

bool FontFallback::covers(const Font& font, std::u32string_view cluster) {
    const FontFace& face = font.face();
    if (face.charset) return charsetCovers(face.charset, cluster);
    for (char32_t c : cluster) {
        if (!needsNoGlyph(c) && font.glyphIndex(c) == 0) return false;
    }
    return true;
}

bool FontFallback::anyFallbackHas(const Font& base, char32_t c) {
    if (needsNoGlyph(c)) return true;
    FontFace& face = base.face();
    if (!sortedFallbacks(face)) return false;
    // Without the union (out of memory) every candidate may have it.
    return !face.fallbackUnion || FcCharSetHasChar(face.fallbackUnion, c);
}

FontRef FontFallback::fontFor(const FontRef& base, std::u32string_view cluster,
                              EmojiPresentationTest isEmojiPresentation) {
    if (!base || cluster.empty()) return base;
    Presentation presentation = presentationOf(cluster, isEmojiPresentation);
    if (prefers(presentation, base->isColor()) && covers(*base, cluster)) return base;

    FontFace& face = base->face();
    const std::vector<FontFace::FallbackCandidate>* candidates = sortedFallbacks(face);
    if (!candidates) return base;
    FcPattern* chosen = nullptr;
    // First pass: fonts of the preferred kind; second: any font.
    for (int pass = 0; pass < 2 && !chosen; ++pass) {
        if (pass == 1 && presentation == Presentation::any) break;
        for (const FontFace::FallbackCandidate& candidate : *candidates) {
            if (pass == 0 && !prefers(presentation, candidate.color)) continue;
            if (charsetCovers(candidate.charset, cluster)) {
                chosen = candidate.pattern;
                break;
            }
        }
    }
    if (!chosen) return base;

    FcChar8* file = nullptr;
    int index = 0;
    FcPatternGetString(chosen, FC_FILE, 0, &file);
    FcPatternGetInteger(chosen, FC_INDEX, 0, &index);
    if (!file) return base;
    std::string path = reinterpret_cast<const char*>(file);
    if (path == face.path && index == face.index) return base;
    std::string key = path + '#' + std::to_string(index);
    auto it = face.fallbackFonts.find(key);
    if (it != face.fallbackFonts.end()) return it->second;
    // Bases of one family, size and traits share their fallback fonts (every view at a size has
    // the same base, and a base made again after a zoom finds the fonts its like made).
    const FontStore::Key shared{base->requestFamily_, path, index, base->size(), base->traits(), true};
    FontRef font = FontStore::shared().find(shared, false);
    if (!font) {
        std::string error;
        std::unique_ptr<FontFace> opened = FontFace::open(chosen, face.request, base->size(), base->traits(), &error);
        if (!opened) logFailureOnce("fonts", "fallback " + key, "fallback font " + path + " did not load: " + error);
        std::string family = opened ? opened->family : std::string();
        font = Font::adopt(std::move(opened), std::move(family), base->size(), base->traits());
        if (!font) return base;
        FontStore::shared().remember(shared, font, false);
    }
    face.fallbackFonts.emplace(std::move(key), font);
    return font;
}

}  // namespace platform::gfx
