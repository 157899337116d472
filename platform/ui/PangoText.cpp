#include "platform/ui/PangoText.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

namespace platform::ui::pango {

namespace {

int units(double points) {
    if (!std::isfinite(points)) return 0;
    return static_cast<int>(std::lround(std::clamp(points, -1e6, 1e6) * PANGO_SCALE));
}

guint16 channel(double v) { return static_cast<guint16>(std::lround(std::clamp(std::isnan(v) ? 0.0 : v, 0.0, 1.0) * 65535)); }

void insert(PangoAttrList* list, PangoAttribute* attribute, size_t begin, size_t end) {
    attribute->start_index = static_cast<guint>(begin);
    attribute->end_index = static_cast<guint>(end);
    pango_attr_list_insert(list, attribute);
}

PangoAlignment alignmentOf(TextAlignment alignment) {
    switch (alignment) {
        case TextAlignment::center: return PANGO_ALIGN_CENTER;
        case TextAlignment::right: return PANGO_ALIGN_RIGHT;
        case TextAlignment::left: break;
    }
    return PANGO_ALIGN_LEFT;
}

PangoEllipsizeMode ellipsizeOf(Truncation truncation) {
    switch (truncation) {
        case Truncation::tail: return PANGO_ELLIPSIZE_END;
        case Truncation::middle: return PANGO_ELLIPSIZE_MIDDLE;
        case Truncation::none: break;
    }
    return PANGO_ELLIPSIZE_NONE;
}

void applyParagraphStyle(PangoLayout* layout, const ParagraphStyle& style) {
    pango_layout_set_alignment(layout, alignmentOf(style.alignment));
    pango_layout_set_spacing(layout, units(std::max(0.0, style.lineSpacing)));
    if (style.headIndent > 0) pango_layout_set_indent(layout, -units(style.headIndent));
    if (!style.tabStops.empty()) {
        PangoTabArray* tabs = pango_tab_array_new(static_cast<int>(style.tabStops.size()), FALSE);
        for (size_t i = 0; i < style.tabStops.size(); ++i) {
            pango_tab_array_set_tab(tabs, static_cast<int>(i), PANGO_TAB_LEFT, units(std::max(0.0, style.tabStops[i])));
        }
        pango_layout_set_tabs(layout, tabs);
        pango_tab_array_free(tabs);
    }
}

}  // namespace

void applyInterfaceFontOptions(PangoContext* context) {
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    pango_context_set_round_glyph_positions(context, FALSE);
}

PangoContext* interfaceContext() {
    static PangoContext* context = [] {
        PangoContext* made = pango_font_map_create_context(pango_cairo_font_map_get_default());
        applyInterfaceFontOptions(made);
        return made;
    }();
    return context;
}

FontDescriptionPtr fontDescription(const gfx::InterfaceFont& font) {
    FontDescriptionPtr description(pango_font_description_new());
    pango_font_description_set_family(description.get(), font.family.c_str());
    pango_font_description_set_weight(description.get(), static_cast<PangoWeight>(static_cast<int>(font.weight)));
    const double size = std::isfinite(font.size) && font.size > 0 ? std::min(font.size, 1000.0) : 13.0;
    pango_font_description_set_absolute_size(description.get(), size * PANGO_SCALE);
    return description;
}

AttrListPtr attributes(const RichText& text, size_t begin, size_t end) {
    AttrListPtr list(pango_attr_list_new());
    size_t at = 0;
    for (const RichText::Run& run : text.runs()) {
        const size_t runBegin = at, runEnd = at + run.text.size();
        at = runEnd;
        const size_t from = std::max(runBegin, begin), to = std::min(runEnd, end);
        if (from >= to) continue;
        const size_t a = from - begin, b = to - begin;
        const TextAttributes& style = run.attributes;
        insert(list.get(), pango_attr_font_desc_new(fontDescription(style.font).get()), a, b);
        insert(list.get(), pango_attr_foreground_new(channel(style.color.red), channel(style.color.green), channel(style.color.blue)), a, b);
        if (style.color.alpha < 1) insert(list.get(), pango_attr_foreground_alpha_new(std::max<guint16>(1, channel(style.color.alpha))), a, b);
        if (style.kern != 0) insert(list.get(), pango_attr_letter_spacing_new(units(style.kern)), a, b);
        if (style.underline) insert(list.get(), pango_attr_underline_new(PANGO_UNDERLINE_SINGLE), a, b);
        if (style.tabularDigits) insert(list.get(), pango_attr_font_features_new("tnum 1"), a, b);
    }
    return list;
}

std::vector<LaidParagraph> layParagraphs(const RichText& text, const TextLayoutOptions& options) {
    std::vector<LaidParagraph> laid;
    if (text.empty()) return laid;
    const std::string whole = text.string();
    const std::vector<RichText::Paragraph> paragraphs = text.paragraphs();
    const bool limited = options.maximumLines > 0;
    int linesLeft = options.maximumLines;
    const bool hasWidth = options.width && std::isfinite(*options.width);
    const double width = hasWidth ? std::max(0.0, *options.width) : 0.0;
    for (const RichText::Paragraph& paragraph : paragraphs) {
        if (limited && linesLeft <= 0) break;
        LayoutPtr layout(pango_layout_new(interfaceContext()));
        // An empty paragraph is as high as the font it would have.
        if (const TextAttributes* style = text.attributesAt(paragraph.begin)) {
            pango_layout_set_font_description(layout.get(), fontDescription(style->font).get());
        }
        pango_layout_set_text(layout.get(), whole.data() + paragraph.begin, static_cast<int>(paragraph.end - paragraph.begin));
        pango_layout_set_attributes(layout.get(), attributes(text, paragraph.begin, paragraph.end).get());
        applyParagraphStyle(layout.get(), paragraph.style);
        const bool cut = options.truncation != Truncation::none;
        if (hasWidth && (options.wraps || cut)) pango_layout_set_width(layout.get(), units(width));
        pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
        if (cut && hasWidth) {
            pango_layout_set_ellipsize(layout.get(), ellipsizeOf(options.truncation));
            // Negative: a number of lines; the last one shown takes the ellipsis.
            int lines = !options.wraps ? 1 : limited ? linesLeft : 0;
            if (options.linesPerParagraph > 0) lines = lines > 0 ? std::min(lines, options.linesPerParagraph) : options.linesPerParagraph;
            if (lines > 0) pango_layout_set_height(layout.get(), -lines);
        }
        int count = pango_layout_get_line_count(layout.get());
        if (!options.wraps && !cut) count = std::min(count, 1);
        if (options.linesPerParagraph > 0) count = std::min(count, options.linesPerParagraph);
        if (limited) count = std::min(count, linesLeft);
        linesLeft -= count;
        laid.push_back({std::move(layout), paragraph, count});
    }
    return laid;
}

}  // namespace platform::ui::pango
