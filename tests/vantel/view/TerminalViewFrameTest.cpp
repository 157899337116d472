// The drawing frame, checked on rendered pixels: bytes are fed to a headless terminal view and the
// image is read back by properties (colours at cell centres, where ink lies).
#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "platform/ui/headless/HeadlessWindow.h"
#include "vantel/view/ColorUtilities.h"
#include "vantel/view/HeadlessTerminalRenderer.h"

using namespace vantel;
using platform::gfx::Canvas;
using platform::gfx::Rect;
using platform::gfx::Rgba;

namespace {

struct Px {
    int r = 0, g = 0, b = 0, a = 0;
    friend bool operator==(const Px&, const Px&) = default;
};

std::ostream& operator<<(std::ostream& out, const Px& p) {
    return out << "(" << p.r << ", " << p.g << ", " << p.b << ", " << p.a << ")";
}

Px unpremultiplied(uint32_t p) {
    int a = static_cast<int>(p >> 24);
    if (a == 0) return {};
    auto channel = [&](int shift) { return (static_cast<int>((p >> shift) & 255) * 255 + a / 2) / a; };
    return {channel(16), channel(8), channel(0), a};
}

Px bytes(Rgba c) {
    auto b = [](double v) { return static_cast<int>(std::lround(v * 255)); };
    return {b(c.red), b(c.green), b(c.blue), b(c.alpha)};
}

bool near(Px a, Px b, int tolerance = 2) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance &&
           std::abs(a.a - b.a) <= tolerance;
}

// Equal within rounding, for EXPECT_PRED2 (which prints both colours).
bool similar(Px a, Px b) { return near(a, b); }

// Device pixels, half open.
struct Box {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = 0, y1 = 0;
    bool isEmpty() const { return x1 <= x0 || y1 <= y0; }
    bool inside(const Box& o) const { return isEmpty() || (x0 >= o.x0 && y0 >= o.y0 && x1 <= o.x1 && y1 <= o.y1); }
};

const Rgba foreground = Rgba::fromBytes(200, 200, 200), background = Rgba::fromBytes(20, 20, 60);

struct Frame {
    HeadlessTerminalRenderer renderer;
    double scale;
    double cw, ch;

    explicit Frame(int cols = 20, int rows = 5, double scale = 1, double fontSize = 13)
        : renderer({cols, rows, fontSize, "monospace", scale}), scale(scale) {
        renderer.view().setNativeForegroundColor(foreground);
        renderer.view().setNativeBackgroundColor(background);
        cw = renderer.cell().width * scale;
        ch = renderer.cell().height * scale;
    }
    const Canvas& draw(std::string_view bytes) {
        renderer.feed(bytes);
        return renderer.render();
    }
    const Canvas& canvas() const { return renderer.window().surface(); }
    Box cells(int col, int row, int cols = 1, int rows = 1) const {
        return {int(col * cw), int(row * ch), int((col + cols) * cw), int((row + rows) * ch)};
    }
    Px at(int x, int y) const { return unpremultiplied(canvas().pixel(x, y)); }
    Px centre(int col, int row) const { return at(int((col + 0.5) * cw), int((row + 0.5) * ch)); }
    // The box around pixels that are not the background, inside `region` (the whole image by default).
    Box ink(std::optional<Box> region = std::nullopt) const {
        Box r = region.value_or(Box{0, 0, canvas().pixelWidth(), canvas().pixelHeight()}), found;
        for (int y = r.y0; y < r.y1; ++y) {
            for (int x = r.x0; x < r.x1; ++x) {
                if (near(at(x, y), bytes(background), 8)) continue;
                found = {std::min(found.x0, x), std::min(found.y0, y), std::max(found.x1, x + 1), std::max(found.y1, y + 1)};
            }
        }
        return found;
    }
    // Pixel rows of a column (device x) that hold a colour, inside a cell row.
    std::vector<int> rowsWith(int x, int row, Px colour) const {
        std::vector<int> ys;
        for (int y = int(row * ch); y < int((row + 1) * ch); ++y) {
            if (near(at(x, y), colour, 8)) ys.push_back(y);
        }
        return ys;
    }
};

}  // namespace

TEST(TerminalViewFrame, CellCentreBackgrounds) {
    Frame f;
    Terminal& t = f.renderer.terminal();
    f.draw("\x1b[41m \x1b[101m \x1b[48;5;196m \x1b[48;2;10;150;30m \x1b[7m \x1b[m ");
    Px expected[] = {bytes(makeRgba(t.ansiColors[1])), bytes(makeRgba(t.ansiColors[9])),
                     bytes(makeRgba(t.ansiColors[196])), {10, 150, 30, 255}, bytes(foreground), bytes(background)};
    for (int col = 0; col < 6; ++col) EXPECT_PRED2(similar, f.centre(col, 0), expected[col]) << col;
    // Reverse video swaps the defaults, the inverse cell's too.
    f.draw("\x1b[?5h");
    EXPECT_PRED2(similar, f.centre(4, 0), bytes(background));
    EXPECT_PRED2(similar, f.centre(5, 0), bytes(foreground));
    EXPECT_PRED2(similar, f.centre(0, 0), expected[0]);
    // With a translucent background an inverse default cell stays opaque.
    f.renderer.view().setBackgroundOpacity(0.5);
    f.draw("");
    EXPECT_EQ(f.centre(4, 0).a, 255);
    EXPECT_EQ(f.centre(5, 0).a, 255);  // reverse video: the foreground is the layer colour
    f.draw("\x1b[?5l");
    EXPECT_EQ(f.centre(5, 0).a, 128);
}

// The strip below the last whole row shows the background, translucent when it is.
TEST(TerminalViewFrame, DefaultCellsAndTheBottomStripShowTheBackground) {
    platform::ui::headless::HeadlessWindow window({80, 16 * 3 + 7}, 1);
    TerminalView view(Rect{0, 0, 80, 16 * 3 + 7});
    view.setNativeBackgroundColor(background);
    window.setContentView(&view);
    window.displayIfNeeded();
    EXPECT_EQ(unpremultiplied(window.pixel(40, 8)), bytes(background));
    EXPECT_EQ(unpremultiplied(window.pixel(40, 16 * 3 + 3)), bytes(background));
    view.setBackgroundOpacity(0.5);
    window.displayIfNeeded();
    EXPECT_EQ(window.pixel(40, 8) >> 24, 128u);
}

TEST(TerminalViewFrame, InkStaysInItsCells) {
    struct Case {
        const char* what;
        const char* bytes;
        int col, row, cols;
    } cases[] = {
        {"A at (5, 2)", "\x1b[3;6HA", 5, 2, 1},
        {"wide hexagram", "\x1b[2;3H\xe4\xb7\x80", 2, 1, 2},
        {"emoji", "\x1b[4;8H\xf0\x9f\x98\x80", 7, 3, 2},
        {"e and a combining acute", "\x1b[1;10He\xcc\x81", 9, 0, 1},
    };
    for (double scale : {1.0, 2.0}) {
        for (const Case& c : cases) {
            Frame f(20, 5, scale);
            f.draw(c.bytes);
            Box ink = f.ink();
            EXPECT_FALSE(ink.isEmpty()) << c.what;
            EXPECT_TRUE(ink.inside(f.cells(c.col, c.row, c.cols))) << c.what << " at scale " << scale;
        }
    }
}

TEST(TerminalViewFrame, ColourRules) {
    Frame f;
    f.renderer.view().setCustomBlockGlyphs(false);
    Terminal& t = f.renderer.terminal();
    f.draw("\x1b[1;31m\xe2\x96\x88\x1b[1;37m\xe2\x96\x88\x1b[1;91m\xe2\x96\x88\x1b[0;2m\xe2\x96\x88\x1b[m");
    EXPECT_PRED2(similar, f.centre(0, 0), bytes(makeRgba(t.ansiColors[9])));
    EXPECT_PRED2(similar, f.centre(1, 0), bytes(makeRgba(t.ansiColors[7])));
    EXPECT_PRED2(similar, f.centre(2, 0), bytes(makeRgba(t.ansiColors[9])));
    EXPECT_PRED2(similar, f.centre(3, 0), bytes(dimmedColor(foreground, background)));
    // Selected: the selection colour behind black text. (With mouse reporting allowed, the line
    // feed below would drop the selection.)
    TerminalViewSettings settings = f.renderer.view().settings();
    settings.allowMouseReporting = false;
    f.renderer.view().apply(settings);
    f.renderer.view().selection().setSelection({1, 1}, {3, 1});
    f.renderer.view().selection().setActive(true);
    f.draw("\r\n \xe2\x96\x88");
    EXPECT_PRED2(similar, f.centre(1, 1), (Px{0, 0, 0, 255}));
    EXPECT_PRED2(similar, f.centre(2, 1), (Px{0, 166, 178, 255}));
}

TEST(TerminalViewFrame, BlinkHiddenAndConcealedCellsDrawNothing) {
    for (const char* bytes : {"\x1b[5;4;9mXY", "\x1b[8;4;9mXY"}) {
        Frame f;
        f.renderer.view().setTextBlinkVisible(false);
        f.draw(bytes);
        EXPECT_TRUE(f.ink().isEmpty()) << bytes;
    }
}

// Each decoration alone on blank cells of a 40 pt font, at scale 1 and 2: its rows, pattern,
// colour and line width.
TEST(TerminalViewFrame, Decorations) {
    for (double scale : {1.0, 2.0}) {
        Frame f(8, 8, scale, 40);
        const platform::gfx::Font& font = *f.renderer.view().fontSet().normal;
        const int w = std::max<int>(std::lround(0.5 * scale), std::lround(font.underlineThickness() * scale));
        f.draw("\x1b[4m    \x1b[m\r\n\x1b[4:2m    \x1b[m\r\n\x1b[4:3m    \x1b[m\r\n\x1b[4:4m    \x1b[m\r\n"
               "\x1b[4:5m    \x1b[m\r\n\x1b[4;58;2;255;0;0m    \x1b[m\r\n\x1b[9m    \x1b[m\r\n\x1b[4m\xf0\x9f\x98\x80");
        const Px fg = bytes(foreground);
        int x = int(1.5 * f.cw);
        // Single, and the underline colour: one band of w rows.
        for (auto [row, colour] : {std::pair{0, fg}, std::pair{5, Px{255, 0, 0, 255}}}) {
            std::vector<int> ys = f.rowsWith(x, row, colour);
            ASSERT_EQ(ys.size(), size_t(w)) << scale << " row " << row;
            EXPECT_EQ(ys.back() - ys.front() + 1, w);
        }
        // Double: two bands, the second w + 1 points lower.
        std::vector<int> doubled = f.rowsWith(x, 1, fg);
        ASSERT_EQ(doubled.size(), size_t(2 * w)) << scale;
        EXPECT_EQ(doubled.back() - doubled.front() + 1, w + int(std::lround((w / scale + 1) * scale)));
        // Curly: the line moves up and down across a cell.
        std::set<int> tops;
        for (int px = 0; px < int(4 * f.cw); ++px) {
            auto ys = f.rowsWith(px, 2, fg);
            if (!ys.empty()) tops.insert(ys.front());
        }
        EXPECT_GE(tops.size(), 3u) << scale;
        // Dotted and dashed: gaps along the line, shorter dots than dashes.
        const int underlineY = f.rowsWith(x, 0, fg).front();
        auto runsAlong = [&](int row) {
            int y = underlineY + int(row * f.ch);
            std::vector<int> on;
            int length = 0;
            for (int px = 0; px < int(f.cw); ++px) {
                bool lit = near(f.at(px, y), fg, 8);
                if (lit) ++length;
                if ((!lit || px + 1 == int(f.cw)) && length) on.push_back(length), length = 0;
            }
            return on;
        };
        auto dots = runsAlong(3), dashes = runsAlong(4);
        EXPECT_GE(dots.size(), 2u) << scale;
        EXPECT_GE(dashes.size(), 2u) << scale;
        EXPECT_LT(dots.front(), dashes.front()) << scale;
        // Strikethrough above the baseline, below the underline's row not at all.
        std::vector<int> strike = f.rowsWith(x, 6, fg);
        ASSERT_EQ(strike.size(), size_t(w)) << scale;
        EXPECT_LT(strike.front(), underlineY + 6 * f.ch - 3 * w);
        // A wide glyph's underline covers both its cells.
        EXPECT_EQ(f.rowsWith(int(1.5 * f.cw), 7, fg).size(), size_t(w)) << scale;
    }
}

// A run's decorations as its attributes carry them, drawn over two cells of a 40 pt font: how many
// pixel rows hold ink, in how many bands, whether the line has gaps. No underline still draws the
// strikethrough.
TEST(TerminalViewFrame, DecorationsDrawTheStyleTheRunCarries) {
    struct Case {
        UnderlineStyle underline;
        bool strikethrough;
        int bands;  // -1: the line wanders over more than two rows (curly)
        bool gaps;
    } cases[] = {
        {UnderlineStyle::none, false, 0, false},   {UnderlineStyle::none, true, 1, false},
        {UnderlineStyle::single, false, 1, false}, {UnderlineStyle::double_, false, 2, false},
        {UnderlineStyle::dotted, false, 1, true},  {UnderlineStyle::dashed, false, 1, true},
        {UnderlineStyle::curly, false, -1, false}, {UnderlineStyle::single, true, 2, false},
    };
    Frame f(4, 2, 1, 40);
    TerminalView& view = f.renderer.view();
    const double cell = f.cw, baseline = f.ch;
    const platform::gfx::Point positions[] = {{0, baseline}, {cell, baseline}};
    for (const Case& c : cases) {
        Canvas canvas({4 * cell, 2 * baseline}, 1);
        TextAttributes a;
        a.underlineStyle = c.underline;
        a.strikethrough = c.strikethrough;
        a.underlineColor = a.strikethroughColor = Rgba{1, 1, 1, 1};
        view.drawRunAttributes(a, positions, cell, canvas);
        std::set<int> rows;
        int litColumns = 0;
        for (int x = 0; x < int(2 * cell); ++x) {
            bool lit = false;
            for (int y = 0; y < canvas.pixelHeight(); ++y) {
                if (canvas.pixel(x, y) >> 24) rows.insert(y), lit = true;
            }
            litColumns += lit;
        }
        int bands = 0;
        for (int y : rows) bands += !rows.contains(y - 1);
        const std::string what = std::to_string(int(c.underline)) + (c.strikethrough ? " struck" : "");
        if (c.bands < 0) {
            EXPECT_GT(rows.size(), 2u) << what;
        } else {
            EXPECT_EQ(bands, c.bands) << what;
        }
        if (c.bands != 0) {
            EXPECT_EQ(litColumns < int(2 * cell), c.gaps) << what << " " << litColumns;
        }
    }
}

TEST(TerminalViewFrame, DoubleWidthAndDoubleHeightRows) {
    Frame wide;
    wide.draw("\x1b#6 A");
    Box ink = wide.ink();
    EXPECT_FALSE(ink.isEmpty());
    EXPECT_TRUE(ink.inside(wide.cells(2, 0, 2))) << ink.x0 << ".." << ink.x1;

    Frame tall;
    tall.draw("\x1b[2;1H\x1b#3Ag\r\n\x1b#4Ag");
    ink = tall.ink();
    EXPECT_TRUE(ink.inside(tall.cells(0, 1, 4, 2)));
    EXPECT_FALSE(tall.ink(tall.cells(0, 1, 4, 1)).isEmpty());
    EXPECT_FALSE(tall.ink(tall.cells(0, 2, 4, 1)).isEmpty());
    EXPECT_GT(ink.x1 - ink.x0, 2 * tall.cw);
}

// A dirty rectangle that covers part of a row draws the whole row; a doubled row is clipped to
// its own full width, whatever the rectangle's left edge.
TEST(TerminalViewFrame, DirtyRectanglesDrawWholeRows) {
    struct Case {
        const char* bytes;
        Rect dirty;  // in cells, y up from the bottom of a 10 × 3 view
    } cases[] = {
        {"\x1b[2;1HWWWWWWWWWW", {0, 1, 10, 0.5}},
        {"\x1b[1;1H\x1b#3WWWWW\r\n\x1b#4WWWWW", {3, 1, 5, 2}},
    };
    for (const Case& c : cases) {
        Frame full(10, 3);
        full.draw(c.bytes);
        TerminalView& view = full.renderer.view();
        Canvas partial({view.bounds().width, view.bounds().height}, 1);
        partial.setClearColor(background);
        Rect dirty{c.dirty.x * full.cw, c.dirty.y * full.ch, c.dirty.width * full.cw, c.dirty.height * full.ch};
        view.drawTerminalContents(dirty, partial, 0);
        int x0 = int(dirty.minX()), x1 = int(dirty.maxX());
        int y0 = int(view.bounds().height - dirty.maxY()), y1 = int(view.bounds().height - dirty.minY());
        int rowTop = int((view.bounds().height - dirty.maxY()) / full.ch) * int(full.ch);
        int differing = 0, inkAboveTheRectangle = 0;
        for (int y = 0; y < partial.pixelHeight(); ++y) {
            for (int x = 0; x < partial.pixelWidth(); ++x) {
                if (x >= x0 && x < x1 && y >= y0 && y < y1 && unpremultiplied(partial.pixel(x, y)) != full.at(x, y)) {
                    ++differing;
                }
                if (y >= rowTop && y < y0 && (partial.pixel(x, y) >> 24) != 0) ++inkAboveTheRectangle;
            }
        }
        EXPECT_EQ(differing, 0) << c.bytes;
        if (c.dirty.height < 1) {
            EXPECT_GT(inkAboveTheRectangle, 0) << "the whole row is drawn";
        }
    }
}

// Two golden images of one sample screen, compared with a tolerance (a few pixels may differ by a
// little between FreeType builds). After a deliberate change of the drawing, regenerate them with
//   QUILTDECK_UPDATE_GOLDENS=1 build/release/tests/vantel_view_tests --gtest_filter='TerminalViewGolden.*'
// and look at them before committing.
TEST(TerminalViewGolden, SampleScreen) {
    const char* sample =
        "Plain \x1b[1mbold\x1b[m \x1b[3mitalic\x1b[m \x1b[31mred\x1b[m \x1b[1;31mbright\x1b[m \x1b[38;5;196m196\x1b[m "
        "\x1b[38;2;40;200;90mtrue\x1b[m\r\n"
        "\x1b[7minverse\x1b[m \x1b[4munder\x1b[m \x1b[4:3mcurly\x1b[m \x1b[4:2mdouble\x1b[m \x1b[4:4mdots\x1b[m\r\n"
        "\x1b[4:5mdashes\x1b[m \x1b[9mstrike\x1b[m \x1b[4;58;5;2mgreen line\x1b[m \x1b[2mdim\x1b[m\r\n"
        "\x1b[41m red bg \x1b[m \x1b[44;33m blue/yellow \x1b[m \x1b[8mhidden\x1b[m|\r\n"
        "wide \xe4\xb7\x80 emoji \xf0\x9f\x98\x80 e\xcc\x81 \xe2\x94\x8c\xe2\x94\x80\xe2\x94\x90 \xe2\x96\x80\xe2\x96\x84\r\n"
        "\x1b#6double width\r\n\x1b#3double height\r\n\x1b#4double height\r\n\x1b[?25l";
    for (double scale : {1.0, 2.0}) {
        HeadlessTerminalRenderer renderer({40, 9, 13, "monospace", scale});
        renderer.feed(sample);
        const Canvas& drawn = renderer.render();
        std::string path = std::string(QUILTDECK_TEST_DATA) + "/view/sample@" + std::to_string(int(scale)) + "x.png";
        if (std::getenv("QUILTDECK_UPDATE_GOLDENS")) {
            ASSERT_TRUE(drawn.writePng(path));
            continue;
        }
        cairo_surface_t* golden = cairo_image_surface_create_from_png(path.c_str());
        ASSERT_EQ(cairo_surface_status(golden), CAIRO_STATUS_SUCCESS) << path;
        ASSERT_EQ(cairo_image_surface_get_width(golden), drawn.pixelWidth());
        ASSERT_EQ(cairo_image_surface_get_height(golden), drawn.pixelHeight());
        cairo_surface_flush(golden);
        const unsigned char* data = cairo_image_surface_get_data(golden);
        int stride = cairo_image_surface_get_stride(golden), differing = 0;
        for (int y = 0; y < drawn.pixelHeight(); ++y) {
            for (int x = 0; x < drawn.pixelWidth(); ++x) {
                uint32_t expected = reinterpret_cast<const uint32_t*>(data + y * stride)[x];
                differing += !near(unpremultiplied(expected), unpremultiplied(drawn.pixel(x, y)), 32);
            }
        }
        cairo_surface_destroy(golden);
        EXPECT_LE(differing, drawn.pixelWidth() * drawn.pixelHeight() / 200) << path;
    }
}
