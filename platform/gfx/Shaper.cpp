#include "platform/gfx/Shaper.h"

#include <unicode/ubrk.h>

#include <string>

#include "platform/gfx/FailureLog.h"
#include "platform/gfx/FallbackFontCache.h"
#include "platform/gfx/FontFace.h"

namespace platform::gfx {

namespace {

UBreakIterator* characterBreaker() {
    static UBreakIterator* breaker = [] {
        UErrorCode error = U_ZERO_ERROR;
        UBreakIterator* made = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &error);
        return U_SUCCESS(error) ? made : nullptr;
    }();
    return breaker;
}

// Below U+0300 no unit joins its neighbour (a terminal row holds no CR LF), so every unit is a cluster.
bool unitsAreClusters(std::u16string_view text) {
    for (char16_t u : text) {
        if (u >= 0x300) return false;
    }
    return true;
}

// Calls f(start, end) for each grapheme cluster.
template <typename F>
void forEachCluster(std::u16string_view text, F&& f) {
    UBreakIterator* breaker = unitsAreClusters(text) ? nullptr : characterBreaker();
    UErrorCode error = U_ZERO_ERROR;
    if (breaker) ubrk_setText(breaker, text.data(), static_cast<int32_t>(text.size()), &error);
    if (!breaker || U_FAILURE(error)) {
        for (size_t i = 0; i < text.size();) {
            size_t next = i + 1;
            if (next < text.size() && (text[i] & 0xFC00) == 0xD800 && (text[next] & 0xFC00) == 0xDC00) ++next;
            f(i, next);
            i = next;
        }
        return;
    }
    int32_t start = ubrk_first(breaker);
    for (int32_t end = ubrk_next(breaker); end != UBRK_DONE; start = end, end = ubrk_next(breaker)) {
        f(static_cast<size_t>(start), static_cast<size_t>(end));
    }
    ubrk_setText(breaker, nullptr, 0, &error);  // holds no pointer into the caller's text
}

void decode(std::u16string_view units, std::u32string& out) {
    out.clear();
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if ((c & 0xFC00) == 0xD800 && i + 1 < units.size() && (units[i + 1] & 0xFC00) == 0xDC00) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        }
        out.push_back(c);
    }
}

void shapeRun(std::u16string_view text, GlyphRun& run, double& pen) {
    static hb_buffer_t* buffer = hb_buffer_create();
    hb_buffer_clear_contents(buffer);
    hb_buffer_add_utf16(buffer, reinterpret_cast<const uint16_t*>(text.data()), static_cast<int>(text.size()),
                        run.start, static_cast<int>(run.length));
    hb_buffer_set_direction(buffer, HB_DIRECTION_LTR);
    hb_buffer_guess_segment_properties(buffer);
    hb_shape(run.font->face().hb, buffer, nullptr, 0);
    if (!hb_buffer_allocation_successful(buffer)) {
        logFailureOnce("fonts", "shaping " + run.font->filePath(),
                       "shaping failed with " + run.font->family() + ": HarfBuzz ran out of memory; the run is not drawn");
        return;
    }
    unsigned count = 0;
    const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer, &count);
    const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer, &count);
    constexpr double unit = 1.0 / FontFace::harfBuzzUnitsPerPoint;
    run.glyphs.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        double advance = positions[i].x_advance * unit;
        run.glyphs.push_back(ShapedGlyph{infos[i].codepoint, infos[i].cluster, pen + positions[i].x_offset * unit,
                                         positions[i].y_offset * unit, advance});
        pen += advance;
    }
}

}  // namespace

ShapedText Shaper::shape(std::u16string_view text, const FontRef& font, EmojiPresentationTest isEmojiPresentation) {
    ShapedText shaped;
    if (!font && !text.empty()) logFailureOnce("fonts", "shaping without a font", "shaping: no font; the text is not drawn");
    if (!font || text.empty()) return shaped;
    std::u32string cluster;
    forEachCluster(text, [&](size_t start, size_t end) {
        decode(text.substr(start, end - start), cluster);
        FontRef chosen = FallbackFontCache::shared().resolve(cluster, font, isEmojiPresentation);
        if (!shaped.runs.empty() && shaped.runs.back().font == chosen) {
            shaped.runs.back().length += static_cast<uint32_t>(end - start);
        } else {
            shaped.runs.push_back(GlyphRun{chosen, static_cast<uint32_t>(start), static_cast<uint32_t>(end - start), {}});
        }
    });
    double pen = 0;
    for (GlyphRun& run : shaped.runs) shapeRun(text, run, pen);
    shaped.width = pen;
    return shaped;
}

}  // namespace platform::gfx
