#include <gtest/gtest.h>

#include <functional>

#include "vantel/view/ColorUtilities.h"
#include "vantel/view/TerminalView.h"

using namespace vantel;
using platform::gfx::Rect;
using platform::gfx::Rgba;
using Color8 = Attribute::Color;

namespace {

const Color8 none = Color8::defaultColor();

Attribute attribute(Color8 fg, uint8_t style, UnderlineStyle underline = UnderlineStyle::none,
                    std::optional<Color8> underlineColor = std::nullopt) {
    return Attribute(fg, none, CharacterStyle(style), underline, underlineColor);
}

}  // namespace

// Bold brightens only 0-6; without bright colours only 8-15 are lowered (and drawn bold), the 240
// above keep their own colour and face.
TEST(TerminalViewColors, PaletteIndexAndFace) {
    TerminalView view(Rect{0, 0, 200, 100});
    const auto& fonts = view.fontSet();
    struct Case {
        int code;
        bool bold, bright;
        int index;
        const platform::gfx::FontRef& font;
    } cases[] = {
        {1, true, true, 9, fonts.bold},    {7, true, true, 7, fonts.bold},     {9, true, true, 9, fonts.bold},
        {9, false, true, 9, fonts.normal}, {9, false, false, 1, fonts.bold},   {12, true, false, 4, fonts.bold},
        {12, false, false, 4, fonts.bold},
        {196, false, false, 196, fonts.normal}, {255, true, false, 255, fonts.bold},
    };
    for (const Case& c : cases) {
        TerminalViewSettings settings = view.settings();
        settings.useBrightColors = c.bright;
        view.apply(settings);
        view.resetCaches();
        TextAttributes a = view.getAttributes(attribute(Color8::ansi256(uint8_t(c.code)), c.bold ? 1 : 0), false);
        EXPECT_EQ(a.foreground, makeRgba(view.getTerminal().ansiColors[size_t(c.index)])) << c.code << c.bold << c.bright;
        EXPECT_EQ(a.font, c.font) << c.code << c.bold << c.bright;
    }
}

// installColors takes exactly 16; any other count leaves the palette but still drops the view's
// cached colours. Palette changes from the program reach the view per index or all at once.
TEST(TerminalViewColors, PaletteChangesReachTheView) {
    TerminalView view(Rect{0, 0, 200, 100});
    auto colour = [&](int code) { return view.mapColor(Color8::ansi256(uint8_t(code)), true, false, true); };
    Rgba before = colour(2);
    view.installColors(std::vector<Color>(17, Color(65535, 0, 0)));
    EXPECT_EQ(colour(2), before);
    view.installColors(std::vector<Color>(16, Color(0, 65535, 0)));
    EXPECT_EQ(colour(2), (Rgba{0, 1, 0, 1}));
    view.getTerminal().feed("\x1b]4;5;#ff0000\x1b\\");
    EXPECT_EQ(colour(5), (Rgba{1, 0, 0, 1}));
    view.getTerminal().feed("\x1b]104\x1b\\");
    EXPECT_EQ(colour(5), (Rgba{0, 1, 0, 1}));
}

// A palette change remakes only its own slot, a change of all of them every slot; installColors
// with another count than 16 still drops the cached slots. The palette is changed behind the
// view's back so that a stale slot shows.
TEST(TerminalViewColors, PaletteSlotsAreRemadeAsTold) {
    TerminalView view(Rect{0, 0, 200, 100});
    Terminal& t = view.getTerminal();
    auto colour = [&](int code) { return view.mapColor(Color8::ansi256(uint8_t(code)), true, false, true); };
    const Color red(65535, 0, 0), green(0, 65535, 0), blue(0, 0, 65535), original6 = t.ansiColors[6];
    struct Case {
        const char* what;
        std::function<void()> change;
        std::vector<std::pair<int, Color>> expected;
    } cases[] = {
        {"slot 5", [&] { view.colorChanged(t, 5); }, {{5, red}, {6, original6}}},
        {"all slots", [&] { view.colorChanged(t, std::nullopt); }, {{5, red}, {6, green}}},
        {"15 colours", [&] { view.installColors(std::vector<Color>(15, blue)); }, {{5, red}, {6, green}}},
    };
    for (const Case& c : cases) {
        view.resetCaches();
        t.resetAllColors();
        colour(5), colour(6);  // cached
        t.ansiColors[5] = red;
        t.ansiColors[6] = green;
        c.change();
        for (auto [code, expected] : c.expected) EXPECT_EQ(colour(code), makeRgba(expected)) << c.what << " " << code;
    }
}

// Under reverse video the defaults swap; the inverted default is opaque, the default as it is.
TEST(TerminalViewColors, DefaultColoursUnderReverseVideo) {
    TerminalView view(Rect{0, 0, 200, 100});
    const Rgba fg{0.9, 0.9, 0.9, 1}, bg{0.1, 0.1, 0.3, 0.5}, opaqueBg{0.1, 0.1, 0.3, 1};
    view.setNativeForegroundColor(fg);
    view.setNativeBackgroundColor(bg);
    struct Case {
        bool reverse;
        Color8 color;
        bool isFg;
        Rgba expected;
    } cases[] = {
        {false, Color8::defaultColor(), true, fg},           {false, Color8::defaultColor(), false, bg},
        {false, Color8::defaultInvertedColor(), true, opaqueBg}, {false, Color8::defaultInvertedColor(), false, fg},
        {true, Color8::defaultColor(), true, bg},            {true, Color8::defaultColor(), false, fg},
        {true, Color8::defaultInvertedColor(), true, fg},    {true, Color8::defaultInvertedColor(), false, opaqueBg},
    };
    for (const Case& c : cases) {
        view.getTerminal().feed(c.reverse ? "\x1b[?5h" : "\x1b[?5l");
        EXPECT_EQ(view.mapColor(c.color, c.isFg, false, true), c.expected) << c.reverse << c.isFg;
    }
}

// The 4097th distinct true colour empties the cache before it is stored.
TEST(TerminalViewColors, TrueColourCacheIsBounded) {
    TerminalView view(Rect{0, 0, 200, 100});
    for (int i = 0; i < 4096; ++i) view.mapColor(Color8::trueColor(uint8_t(i), uint8_t(i >> 8), 7), true, false, true);
    EXPECT_EQ(view.cachedTrueColorCount(), 4096u);
    view.mapColor(Color8::trueColor(1, 0, 7), true, false, true);
    EXPECT_EQ(view.cachedTrueColorCount(), 4096u);  // a hit stores nothing
    EXPECT_EQ(view.mapColor(Color8::trueColor(1, 2, 3), true, false, true), Rgba::fromBytes(1, 2, 3));
    EXPECT_EQ(view.cachedTrueColorCount(), 1u);
}

TEST(TerminalViewAttributes, DecorationsAndInverse) {
    TerminalView view(Rect{0, 0, 200, 100});
    const Rgba fg = view.nativeForegroundColor();
    const uint8_t underline = CharacterStyle::underline;
    struct Case {
        const char* what;
        Attribute attribute;
        bool withUrl;
        UnderlineStyle underline;
        bool strike;
        std::optional<Rgba> underlineColor;
    } cases[] = {
        {"underline bit, style none", attribute(none, underline), false, UnderlineStyle::single, false, fg},
        {"curly, coloured", attribute(none, underline, UnderlineStyle::curly, Color8::trueColor(255, 0, 0)), false,
         UnderlineStyle::curly, false, Rgba{1, 0, 0, 1}},
        {"double link", attribute(none, underline, UnderlineStyle::double_), true, UnderlineStyle::dashed, false, fg},
        {"crossed out", attribute(none, CharacterStyle::crossedOut), false, UnderlineStyle::none, true, std::nullopt},
        {"dotted, crossed out", attribute(none, uint8_t(underline | CharacterStyle::crossedOut), UnderlineStyle::dotted), false,
         UnderlineStyle::dotted, true, fg},
        {"style without the underline bit", attribute(none, CharacterStyle::none, UnderlineStyle::double_), false, UnderlineStyle::none,
         false, std::nullopt},
    };
    for (const Case& c : cases) {
        TextAttributes a = view.getAttributes(c.attribute, c.withUrl);
        EXPECT_EQ(a.underlineStyle, c.underline) << c.what;
        EXPECT_EQ(a.strikethrough, c.strike) << c.what;
        EXPECT_EQ(a.underlineColor, c.underlineColor) << c.what;
    }
    Attribute inverse = attribute(none, CharacterStyle::inverse);
    EXPECT_EQ(view.getAttributedValue(inverse, Rgba{1, 1, 1, 1}, Rgba{0, 0, 0, 1}).foreground, (Rgba{0, 0, 0, 1}));
}

// Each cache is emptied when a 4097th attribute arrives; the link cache on its own.
TEST(TerminalViewAttributes, CachesAreBounded) {
    TerminalView view(Rect{0, 0, 200, 100});
    view.getAttributes(attribute(Color8::ansi256(1), 0), true);
    for (int i = 0; i < 4097; ++i) {
        if (i == 4096) {
            EXPECT_EQ(view.cachedAttributeCount(false), 4096u);
        }
        // 4097 distinct pairs of palette colours (true colours are not cached).
        view.getAttributes(Attribute(Color8::ansi256(uint8_t(i)), Color8::ansi256(uint8_t(i >> 8)), CharacterStyle()), false);
    }
    EXPECT_EQ(view.cachedAttributeCount(false), 1u);
    EXPECT_EQ(view.cachedAttributeCount(true), 1u);
}

// Attributes with a true colour anywhere are made each time and stored nowhere, the colour cache
// included; what they give is what the colours say, also under inverse and dim. Palette-only
// attributes are still cached.
TEST(TerminalViewAttributes, TrueColourAttributesAreMadeUncached) {
    TerminalView view(Rect{0, 0, 200, 100});
    const Rgba fg = view.nativeForegroundColor(), bg = view.nativeBackgroundColor();
    const Rgba red = Rgba::fromBytes(200, 10, 20), blue = Rgba::fromBytes(5, 6, 250);
    const Rgba palette1 = view.mapColor(Color8::ansi256(1), true, false, true);
    const uint8_t underline = CharacterStyle::underline;
    struct Case {
        const char* what;
        Attribute attribute;
        Rgba foreground, background;
        std::optional<Rgba> underlineColor;
        bool cached;
    } cases[] = {
        {"true foreground", Attribute(Color8::trueColor(200, 10, 20), none, CharacterStyle()), red, bg, std::nullopt, false},
        {"true background", Attribute(none, Color8::trueColor(5, 6, 250), CharacterStyle()), fg, blue, std::nullopt, false},
        {"true underline", attribute(Color8::ansi256(1), underline, UnderlineStyle::curly, Color8::trueColor(5, 6, 250)),
         palette1, bg, blue, false},
        {"inverse", Attribute(Color8::trueColor(200, 10, 20), Color8::trueColor(5, 6, 250), CharacterStyle(CharacterStyle::inverse)),
         blue, red, std::nullopt, false},
        {"dim", Attribute(Color8::trueColor(200, 10, 20), Color8::trueColor(5, 6, 250), CharacterStyle(CharacterStyle::dim)),
         dimmedColor(red, blue), blue, std::nullopt, false},
        {"palette only", attribute(Color8::ansi256(1), underline), palette1, bg, palette1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        view.resetCaches();
        const TextAttributes a = view.getAttributes(c.attribute, false);
        EXPECT_EQ(a.foreground, c.foreground);
        EXPECT_EQ(a.background, c.background);
        EXPECT_EQ(a.underlineColor, c.underlineColor);
        EXPECT_EQ(view.getAttributes(c.attribute, false), a);
        EXPECT_EQ(view.cachedAttributeCount(false), c.cached ? 1u : 0u);
        EXPECT_EQ(view.cachedTrueColorCount(), 0u);
    }
}
