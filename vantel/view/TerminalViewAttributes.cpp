#include "vantel/view/ColorUtilities.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

namespace {

bool isDefaultKind(const Attribute::Color& c) { return c.isDefault() || c.isDefaultInverted(); }

bool isTrueColor(const Attribute::Color& c) { return c.kind == Attribute::Color::Kind::trueColor; }

// A true colour is its bytes; mapColor's cache is for callers that look the same ones up again.
platform::gfx::Rgba colorOf(TerminalView& view, const Attribute::Color& color, bool isFg, bool isBold, bool useBright) {
    if (isTrueColor(color)) return platform::gfx::Rgba::fromBytes(color.red, color.green, color.blue);
    return view.mapColor(color, isFg, isBold, useBright);
}

bool hasTrueColor(const Attribute& attribute) {
    const std::optional<Attribute::Color> underline = attribute.underlineColor();
    return isTrueColor(attribute.fg) || isTrueColor(attribute.bg) || (underline && isTrueColor(*underline));
}

const platform::gfx::FontRef& face(const TerminalViewFontSet& fonts, bool bold, bool italic) {
    if (bold) return italic ? fonts.boldItalic : fonts.bold;
    return italic ? fonts.italic : fonts.normal;
}

}  // namespace

TextAttributes TerminalView::getAttributes(const Attribute& attribute, bool withUrl) {
    auto& cache = withUrl ? urlAttributes_ : attributes_;
    // Output that sets true colours of its own brings thousands of attributes seen once: made
    // each time, they neither churn the cache nor empty it every few frames.
    const bool uncached = hasTrueColor(attribute);
    if (!uncached) {
        if (const TextAttributes* found = cache.find(attribute)) return *found;
    }

    const CharacterStyle style = attribute.style;
    Attribute::Color fg = attribute.fg, bg = attribute.bg;
    if (style.contains(CharacterStyle::inverse)) {
        std::swap(fg, bg);
        if (isDefaultKind(fg)) fg = Attribute::Color::defaultInvertedColor();
        if (isDefaultKind(bg)) bg = Attribute::Color::defaultInvertedColor();
    }
    const bool bold = style.contains(CharacterStyle::bold);
    // Without bright colours, the bright eight show as their normal colours in the bold face.
    const bool brightAsBold = fg.isAnsi256() && fg.code() >= 8 && fg.code() <= 15 && !settings_.useBrightColors;

    TextAttributes attributes;
    attributes.font = face(fontSet_, bold || brightAsBold, style.contains(CharacterStyle::italic));
    Rgba foreground = colorOf(*this, fg, true, bold, settings_.useBrightColors);
    Rgba background = colorOf(*this, bg, false, false, true);
    if (style.contains(CharacterStyle::dim)) foreground = dimmedColor(foreground, background);
    addColorsAndDecorations(attributes, attribute, foreground, background);
    if (withUrl) {
        attributes.underlineStyle = UnderlineStyle::dashed;
        attributes.underlineColor = foreground;
    }

    if (uncached) return attributes;
    return cache.insert(attribute, attributes);
}

TextAttributes TerminalView::getAttributedValue(const Attribute& attribute, Rgba usingFg, Rgba andBg) {
    const CharacterStyle style = attribute.style;
    Rgba foreground = usingFg, background = andBg;
    if (style.contains(CharacterStyle::inverse)) std::swap(foreground, background);
    TextAttributes attributes;
    attributes.font = face(fontSet_, style.contains(CharacterStyle::bold), style.contains(CharacterStyle::italic));
    addColorsAndDecorations(attributes, attribute, foreground, background);
    return attributes;
}

void TerminalView::addColorsAndDecorations(TextAttributes& attributes, const Attribute& attribute, Rgba foreground,
                                           Rgba background) {
    const CharacterStyle style = attribute.style;
    attributes.foreground = foreground;
    attributes.background = background;
    if (style.contains(CharacterStyle::underline)) {
        // The underline bit with a style of none draws single.
        attributes.underlineStyle = attribute.underlineStyle == UnderlineStyle::none ? UnderlineStyle::single
                                                                                      : attribute.underlineStyle;
        auto color = attribute.underlineColor();
        attributes.underlineColor =
            color ? colorOf(*this, *color, true, style.contains(CharacterStyle::bold), settings_.useBrightColors) : foreground;
    }
    if (style.contains(CharacterStyle::crossedOut)) {
        attributes.strikethroughColor = foreground;
        attributes.strikethrough = true;
    }
}

}  // namespace vantel
