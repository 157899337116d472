#include "vantel/view/RowPainter.h"

#include <gtest/gtest.h>

#include <string>

using namespace vantel;
using platform::gfx::Canvas;
using platform::gfx::Font;
using platform::gfx::Rgba;

namespace {

const Rgba red{1, 0, 0, 1}, green{0, 1, 0, 1}, blue{0, 0, 1, 1}, layer{0, 0, 0, 1}, white{1, 1, 1, 1};

struct Painter {
    TerminalViewFontSet fonts = TerminalViewFontSet::make(Font::create("monospace", 13, {}));
    KittyPictureCache pictures;
    RowPainter::Look look() const {
        RowPainter::Look l;
        l.cell = {8, 16};
        l.fonts = &fonts;
        l.images = {{8, 16}, 1};
        l.baselineOffset = 4;
        l.skipBackground = layer;
        l.textColor = white;
        l.decorationColor = blue;
        return l;
    }
    RowPainter painter() { return RowPainter(look(), {&pictures, nullptr, nullptr}); }
};

TextAttributes withBackground(std::optional<Rgba> background, std::optional<Rgba> selection = std::nullopt) {
    TextAttributes a;
    a.background = background;
    a.selectionBackground = selection;
    return a;
}

// Whether a pixel is (premultiplied, opaque) this colour; transparent for none.
bool shows(const Canvas& canvas, int x, int y, std::optional<Rgba> colour) {
    const uint32_t p = canvas.pixel(x, y);
    if (!colour) return p >> 24 == 0;
    auto byte = [](double v) { return uint32_t(std::lround(v * 255)); };
    return p == (0xFF000000u | byte(colour->red) << 16 | byte(colour->green) << 8 | byte(colour->blue));
}

}  // namespace

// Each run's background fills its cells, the layer's colour is left to the layer, a selection
// background wins; a double-width row covers twice the width.
TEST(RowPainter, BackgroundsByRunAndRenderMode) {
    struct Case {
        BufferLine::RenderLineMode mode;
        int cellPixels;
    } cases[] = {{BufferLine::RenderLineMode::single, 8}, {BufferLine::RenderLineMode::doubleWidth, 16}};
    const std::optional<Rgba> expected[] = {red, red, std::nullopt, green, std::nullopt};
    for (const Case& c : cases) {
        Painter p;
        ViewLineInfo info;
        ViewLineSegment& segment = info.segments.emplace_back();
        segment.attributedString.append(u"  ", withBackground(red));
        segment.attributedString.append(u" ", withBackground(layer));
        segment.attributedString.append(u" ", withBackground(red, green));
        segment.attributedString.append(u" ", withBackground(std::nullopt));
        Canvas canvas({80, 16}, 1);
        p.painter().paint(info, c.mode, 0, 80, canvas);
        for (int cell = 0; cell < 5; ++cell) {
            EXPECT_TRUE(shows(canvas, cell * c.cellPixels + c.cellPixels / 2, 8, expected[cell]))
                << int(c.mode) << " cell " << cell << " " << std::hex << canvas.pixel(cell * c.cellPixels + 4, 8);
        }
    }
}

// A decoration without a colour of its own takes the painter's decoration colour, not the text's.
TEST(RowPainter, DecorationColours) {
    struct Case {
        std::optional<Rgba> underlineColor;
        bool strikethrough;
        bool blueInk, redInk;
    } cases[] = {{std::nullopt, false, true, false}, {red, false, false, true}, {red, true, true, true}};
    for (const Case& c : cases) {
        Painter p;
        TextAttributes a;
        a.underlineStyle = UnderlineStyle::single;
        a.underlineColor = c.underlineColor;
        a.strikethrough = c.strikethrough;
        const RowPainter::Point positions[] = {{0, 8}, {8, 8}};
        Canvas canvas({16, 16}, 1);
        p.painter().drawRunAttributes(a, positions, 8, canvas);
        bool blueInk = false, redInk = false;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) blueInk |= shows(canvas, x, y, blue), redInk |= shows(canvas, x, y, red);
        }
        EXPECT_EQ(std::pair(blueInk, redInk), std::pair(c.blueInk, c.redInk)) << c.strikethrough;
    }
}
