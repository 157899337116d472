#include "vantel/view/BoxDrawingRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/CanvasInk.h"
#include "vantel/view/FontDimensions.h"
#include "vantel/view/generated/BoxDrawingLines.h"

using namespace vantel;
using platform::gfx::Canvas;
using platform::gfx::Font;
using platform::gfx::Rgba;
using platform::gfx::Size;
using platform::gfx::testing::inkBox;

namespace {

int alphaAt(const Canvas& c, int x, int y) { return static_cast<int>(c.pixel(x, y) >> 24); }

// One cell filling the canvas at scale 1, drawn half transparent so that overlapping boxes show:
// '.' nothing, '+' one box, '#' two, '*' three.
std::vector<std::string> picture(uint32_t codePoint, int width, int height, int baseThicknessPx) {
    Canvas canvas({double(width), double(height)}, 1);
    canvas.setAntialias(false);
    BoxDrawingRenderer::draw(codePoint, canvas, {0, 0}, {double(width), double(height)}, 1, {1, 1, 1, 0.5},
                             baseThicknessPx);
    std::vector<std::string> rows;
    for (int y = 0; y < height; ++y) {
        std::string row;
        for (int x = 0; x < width; ++x) {
            int a = alphaAt(canvas, x, y);
            row += a == 0 ? '.' : a <= 130 ? '+' : a <= 200 ? '#' : '*';
        }
        rows.push_back(row);
    }
    return rows;
}

// A picture from bands: each (row count, row text).
std::vector<std::string> bands(std::initializer_list<std::pair<int, const char*>> spec) {
    std::vector<std::string> rows;
    for (auto [count, text] : spec) rows.insert(rows.end(), count, text);
    return rows;
}

}  // namespace

// The arms of each code point come from its Unicode name: one kind a byte (1 light, 2 heavy,
// 3 double), up in the lowest byte, then right, down, left. Dashes, arcs and diagonals have
// routines of their own (0); everything else has an arm.
TEST(BoxDrawingRenderer, LineKindsFollowTheCharacterNames) {
    const std::pair<uint32_t, uint32_t> cases[] = {{0x2500, 0x01000100}, {0x251E, 0x00010102}, {0x2561, 0x03010001},
                                                   {0x257C, 0x01000200}, {0x2574, 0x01000000}, {0x2545, 0x02020101},
                                                   {0x256C, 0x03030303}};
    for (auto [c, lines] : cases) EXPECT_EQ(boxDrawingLines[c - 0x2500], lines) << std::hex << c;
    for (uint32_t c = 0x2500; c <= 0x257F; ++c) {
        bool own = (c >= 0x2504 && c <= 0x250B) || (c >= 0x254C && c <= 0x254F) || (c >= 0x256D && c <= 0x2573);
        EXPECT_EQ(boxDrawingLines[c - 0x2500] == 0, own) << std::hex << c;
    }
}

// Cells of 9 × 19 pixels with t = 2: the bands are rows 8-9 (double: 6-7 and 10-11) and columns
// 3-4 (double: 1-2 and 5-6).
TEST(BoxDrawingRenderer, WorkedCells) {
    struct Case {
        uint32_t codePoint;
        int width;
        std::vector<std::string> expected;
    } cases[] = {
        // Right arm (3, 8, 9, 10) and left arm (0, 8, 5, 10) overlap in columns 3-4.
        {0x2500, 9, bands({{8, "........."}, {2, "+++##++++"}, {9, "........."}})},
        // The up arm stops where the horizontal band begins.
        {0x2534, 9, bands({{8, "...++...."}, {2, "+++##++++"}, {9, "........."}})},
        // Up and down arms overlap in the band.
        {0x2502, 9, bands({{8, "...++...."}, {2, "...##...."}, {9, "...++...."}})},
        {0x2501, 9, bands({{7, "........."}, {4, "+++##++++"}, {8, "........."}})},
        // Outer strokes meet at (1, 6); the inner ones start at (5, 10): the inner corner stays open.
        {0x2554, 9,
         bands({{6, "........."}, {2, ".##++++++"}, {2, ".++......"}, {2, ".++..##++"}, {7, ".++..++.."}})},
        // Three dashes of two with gaps of one, starting half a gap in.
        {0x2504, 9, bands({{8, "........."}, {2, "++.++.++."}, {9, "........."}})},
        // Too narrow for three dashes and gaps: solid.
        {0x2504, 5, bands({{8, "....."}, {2, "+++++"}, {9, "....."}})},
        // Vertical dashes start at the top edge; the spare pixel goes to the first.
        {0x2506, 9,
         bands({{4, "...++...."}, {3, "........."}, {3, "...++...."}, {3, "........."}, {3, "...++...."},
                {3, "........."}})},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(picture(c.codePoint, c.width, 19, 2), c.expected) << std::hex << c.codePoint;
    }
}

// Arcs and diagonals are antialiased and reach the edges their arms name; a ring is hollow.
TEST(BoxDrawingRenderer, ArcsAndDiagonals) {
    struct Case {
        uint32_t codePoint;
        std::vector<std::pair<int, int>> inked, empty;  // pixels of a 16 × 32 cell at scale 2
        std::pair<int, int> partial;                    // an antialiased one
    } cases[] = {
        {0x256D, {{7, 31}, {15, 15}}, {{0, 0}, {7, 0}, {0, 15}, {12, 20}}, {9, 15}},  // down and right
        {0x256F, {{7, 0}, {0, 15}}, {{15, 31}, {15, 15}, {7, 31}}, {6, 11}},          // up and left
        {0x2571, {{15, 0}, {0, 31}, {8, 16}}, {{0, 0}, {15, 31}}, {9, 16}},
        {0x2573, {{0, 0}, {15, 31}, {15, 0}, {0, 31}}, {{8, 0}, {0, 16}}, {2, 1}},
    };
    for (const Case& c : cases) {
        Canvas canvas({8, 16}, 2);
        canvas.setAntialias(false);
        BoxDrawingRenderer::draw(c.codePoint, canvas, {0, 0}, {8, 16}, 2, {1, 1, 1, 1}, 2);
        for (auto [x, y] : c.inked)
            EXPECT_GT(alphaAt(canvas, x, y), 0) << std::hex << c.codePoint << " " << x << "," << y;
        for (auto [x, y] : c.empty)
            EXPECT_EQ(alphaAt(canvas, x, y), 0) << std::hex << c.codePoint << " " << x << "," << y;
        EXPECT_GT(alphaAt(canvas, c.partial.first, c.partial.second) % 255, 0) << std::hex << c.codePoint;
        EXPECT_FALSE(canvas.antialias());
    }
}

// Other code points, and a scale or cell that is not usable, draw nothing. A rounded corner in a
// one-pixel cell has radius 0: its stubs and a disc of half the thickness, that one pixel.
TEST(BoxDrawingRenderer, EdgeCases) {
    for (auto [codePoint, scale, width] : {std::tuple{0x2580u, 1.0, 8.0}, {0x24FFu, 1.0, 8.0}, {0x2500u, 0.0, 8.0},
                                           {0x2500u, double(NAN), 8.0}, {0x2500u, 1.0, double(INFINITY)}}) {
        Canvas canvas({8, 16}, 1);
        BoxDrawingRenderer::draw(codePoint, canvas, {0, 0}, {width, 16}, scale, {1, 1, 1, 1}, 1);
        EXPECT_TRUE(inkBox(canvas).isEmpty()) << std::hex << codePoint;
    }
    for (uint32_t corner = 0x256D; corner <= 0x2570; ++corner) {
        Canvas canvas({3, 3}, 1);
        BoxDrawingRenderer::draw(corner, canvas, {1, 1}, {1, 1}, 1, {1, 1, 1, 1}, 1);
        auto box = inkBox(canvas);
        EXPECT_EQ((std::array{box.x0, box.y0, box.x1, box.y1, alphaAt(canvas, 1, 1)}), (std::array{1, 1, 2, 2, 255}));
    }
    EXPECT_EQ(BoxDrawingRenderer::baseThicknessPx(0.6, 1), 1);
    EXPECT_EQ(BoxDrawingRenderer::baseThicknessPx(0.6, 2), 2);
    EXPECT_EQ(BoxDrawingRenderer::baseThicknessPx(1.2, 2), 3);  // 3.24
}

// Drawn through the cell cache, a row looks as its cells drawn one by one (antialiased edges may
// round differently by one level).
TEST(BoxDrawingRenderer, CachedRowsMatchDrawnCells) {
    for (double scale : {1.0, 1.5, 2.0}) {
        const Size cell{22 / scale, 47 / scale};
        std::vector<BoxDrawingRenderItem> items;
        for (uint32_t c = 0x2500; c <= 0x257F; ++c) items.push_back({int(c - 0x2500), 1, c, {0.2, 0.8, 1, 1}});
        Canvas cached({128 * cell.width, cell.height}, scale), direct({128 * cell.width, cell.height}, scale);
        BoxDrawingRenderer::drawItems(items, {0, 0}, cell, scale, 3, cached);
        direct.setAntialias(false);
        for (const auto& item : items) {
            BoxDrawingRenderer::draw(item.codePoint, direct, {item.column * cell.width, 0}, cell, scale,
                                     item.foregroundColor, 3);
        }
        int differing = 0;
        for (int y = 0; y < cached.pixelHeight(); ++y) {
            for (int x = 0; x < cached.pixelWidth(); ++x) {
                for (int shift = 0; shift < 32; shift += 8) {
                    differing += std::abs(int(cached.pixel(x, y) >> shift & 0xFF) - int(direct.pixel(x, y) >> shift & 0xFF)) > 1;
                }
            }
        }
        EXPECT_EQ(differing, 0) << scale;
    }
}

// A whole 80 × 24 screen of box characters, rows laid out as the view lays them: wherever two
// neighbouring cells face each other with arms of one kind, every pixel row (column) of the line
// is continuous across their border, at scales 1, 1.5 and 2, with the frame on whole device
// pixels (cells from the cache) or not (cells drawn).
TEST(BoxDrawingRenderer, NoSeamsAcrossAWholeScreen) {
    constexpr int cols = 80, rows = 24;
    auto font = Font::create("monospace", 13);
    uint32_t state = 12345;
    std::vector<uint32_t> screen(cols * rows);
    for (uint32_t& c : screen) {
        // Diagonals reach past their corners by design; they are left out.
        do {
            state = state * 1103515245 + 12345;
            c = 0x2500 + (state >> 16) % 128;
        } while (c >= 0x2571 && c <= 0x2573);
    }
    auto arm = [](uint32_t c, int shift) { return (boxDrawingLines[c - 0x2500] >> shift) & 0xFF; };
    for (double scale : {1.0, 1.5, 2.0}) {
        const Size cell = computeFontDimensions(*font, 1, scale);
        const int base = BoxDrawingRenderer::baseThicknessPx(font->underlineThickness(), scale);
        const int cellWidthPx = int(std::lround(cell.width * scale)),
                  cellHeightPx = int(std::lround(cell.height * scale));
        for (double extra : {0.0, 0.25}) {
            const double height = rows * cell.height + extra;
            Canvas canvas({cols * cell.width, height}, scale);
            for (int r = 0; r < rows; ++r) {
                std::vector<BoxDrawingRenderItem> items;
                for (int c = 0; c < cols; ++c) items.push_back({c, 1, screen[r * cols + c], {1, 1, 1, 1}});
                BoxDrawingRenderer::drawItems(items, {0, height - (r + 1) * cell.height}, cell, scale, base, canvas);
            }
            auto inked = [&](int x, int y) { return alphaAt(canvas, x, y) != 0; };
            // The first device pixel row of screen row r.
            auto rowTop = [&](int r) {
                double bottom = std::round((height - (r + 1) * cell.height) * scale);
                return int(std::ceil(height * scale - bottom - cellHeightPx - 0.5));
            };
            int joins = 0, seams = 0;
            for (int r = 0; r < rows; ++r) {
                for (int c = 0; c < cols; ++c) {
                    uint32_t here = screen[r * cols + c];
                    if (c + 1 < cols && arm(here, 8) != 0 && arm(here, 8) == arm(screen[r * cols + c + 1], 24)) {
                        const int border = (c + 1) * cellWidthPx;
                        ++joins;
                        for (int y = rowTop(r) + 1; y < rowTop(r) + cellHeightPx - 1; ++y) {
                            seams += inked(border - 1, y) != inked(border, y);
                        }
                    }
                    if (r + 1 < rows && arm(here, 16) != 0 && arm(here, 16) == arm(screen[(r + 1) * cols + c], 0)) {
                        const int border = rowTop(r + 1);
                        ++joins;
                        for (int x = c * cellWidthPx + 1; x < (c + 1) * cellWidthPx - 1; ++x) {
                            seams += inked(x, border - 1) != inked(x, border);
                        }
                    }
                }
            }
            EXPECT_GT(joins, 400);
            EXPECT_EQ(seams, 0) << scale << " " << extra;
        }
    }
}
