#include "vantel/view/DictationOverlayTextView.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

namespace vantel {

namespace {

int units(double points) {
    if (!std::isfinite(points)) return 0;
    return static_cast<int>(std::lround(std::clamp(points, -1e6, 1e6) * PANGO_SCALE));
}

}  // namespace

struct DictationOverlayTextView::Layout {
    PangoContext* context = nullptr;
    PangoLayout* layout = nullptr;
    Layout() {
        context = pango_font_map_create_context(pango_cairo_font_map_get_default());
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        pango_cairo_context_set_font_options(context, options);
        cairo_font_options_destroy(options);
        pango_context_set_round_glyph_positions(context, FALSE);
        layout = pango_layout_new(context);
    }
    ~Layout() {
        g_object_unref(layout);
        g_object_unref(context);
    }
};

DictationOverlayTextView::DictationOverlayTextView(const Rect& frame)
    : View(frame), layout_(std::make_unique<Layout>()) {}

DictationOverlayTextView::~DictationOverlayTextView() = default;

void DictationOverlayTextView::setText(const std::string& text, const Style& style) {
    text_ = text;
    style_ = style;
    PangoLayout* layout = layout_->layout;
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, style.fontFamily.c_str());
    // 1 pt = 1 device pixel at scale 1.
    pango_font_description_set_absolute_size(font, std::clamp(style.fontSize, 1.0, 1000.0) * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_width(layout, std::max(1, units(style.width)));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_indent(layout, std::max(0, units(style.firstLineIndent)));
    PangoAttrList* attributes = pango_attr_list_new();
    pango_attr_list_insert(attributes, pango_attr_letter_spacing_new(std::max(0, units(style.kern))));
    pango_attr_list_insert(attributes, pango_attr_line_height_new_absolute(std::max(1, units(style.lineHeight))));
    pango_layout_set_attributes(layout, attributes);
    pango_attr_list_unref(attributes);
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    setNeedsDisplay();
}

int DictationOverlayTextView::lineCount() const {
    return text_.empty() ? 0 : pango_layout_get_line_count(layout_->layout);
}

double DictationOverlayTextView::usedHeight() const {
    // Every line is one cell high, however tall its glyphs.
    return lineCount() * style_.lineHeight;
}

std::vector<DictationOverlayTextView::Rect> DictationOverlayTextView::lineFragments() const {
    std::vector<Rect> fragments;
    const double height = frame().height;
    for (int i = 0; i < lineCount(); ++i) {
        const double indent = i == 0 ? std::max(0.0, style_.firstLineIndent) : 0;
        // Lines run downwards from the top edge; the view is not flipped.
        fragments.push_back(Rect{indent, height - (i + 1) * style_.lineHeight, std::max(0.0, style_.width - indent),
                                 style_.lineHeight});
    }
    return fragments;
}

void DictationOverlayTextView::draw(platform::gfx::Canvas& canvas, const Rect& dirty) {
    if (text_.empty()) return;
    if (overlayBackgroundColor.alpha > 0) {
        for (const Rect& fragment : lineFragments()) {
            if (fragment.intersects(dirty)) canvas.fill(fragment, overlayBackgroundColor);
        }
    }
    canvas.drawTextLayout(layout_->layout, {0, frame().height}, style_.foreground);
}

}  // namespace vantel
