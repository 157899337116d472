// Prints what a glyph costs the view: a hit (blit from the glyph cache) and a miss (FreeType
// renders it, then the blit), for ASCII and emoji at 13 pt at scale 1 and 2, and the short-run
// shaping cache's hit and miss. Fonts come from the test fontconfig file, like the tests'.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "CacheReport.h"
#include "platform/gfx/Canvas.h"
#include "platform/gfx/GlyphCache.h"
#include "vantel/view/FontDimensions.h"
#include "vantel/view/ShapedLineCache.h"

using namespace platform::gfx;

namespace {

constexpr int cols = 120, rows = 38;

// Best of `reps` runs, in nanoseconds.
double bestNs(int reps, const std::function<void()>& run) {
    double best = 1e300;
    for (int i = 0; i < reps; ++i) {
        auto start = std::chrono::steady_clock::now();
        run();
        best = std::min(best, std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

struct Figures {
    double hit, miss;
};

// A dense frame: every row filled with glyphs taken in turn from `glyphs`, `step` cells apart.
Figures measureGlyphs(const Font& font, const std::vector<uint32_t>& glyphs, int step, double scale) {
    Size cell = vantel::computeFontDimensions(*Font::systemFont(13), 1, scale);
    Canvas canvas({cols * cell.width, rows * cell.height}, scale);
    std::vector<std::vector<GlyphPlacement>> frame(rows);
    size_t next = 0;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c + step <= cols; c += step) {
            frame[r].push_back({glyphs[next++ % glyphs.size()], {c * cell.width, (rows - r - 1) * cell.height + 4}});
        }
    }
    size_t perFrame = frame.size() * frame[0].size();
    auto drawFrame = [&] {
        for (const auto& row : frame) canvas.drawGlyphs(font, row, Rgba{0.9, 0.9, 0.9, 1});
    };
    drawFrame();  // warm
    double hit = bestNs(20, drawFrame) / static_cast<double>(perFrame);
    // Misses: the cache emptied before each glyph set is drawn once.
    std::vector<GlyphPlacement> once;
    for (size_t i = 0; i < glyphs.size(); ++i) once.push_back({glyphs[i], {(i % 40) * cell.width * 3, 20}});
    double miss = bestNs(10, [&] {
                      GlyphCache::shared().clear();
                      canvas.drawGlyphs(font, once, Rgba{0.9, 0.9, 0.9, 1});
                  }) /
                  static_cast<double>(once.size());
    std::printf("    dense %dx%d frame: %.3f ms\n", cols, rows, hit * perFrame / 1e6);
    return {hit, miss};
}

void shapingCache() {
    const char16_t* words[] = {u"ls", u"-la", u"total", u"drwxr-x", u"user", u"4096", u"Jan", u"README", u"src", u"main.c"};
    std::vector<vantel::AttributedText> texts;
    vantel::TextAttributes attributes;
    attributes.font = Font::systemFont(13);
    for (const char16_t* w : words) {
        vantel::AttributedText t;
        t.append(w, attributes);
        texts.push_back(t);
    }
    vantel::ShapedLineCache& cache = vantel::ShapedLineCache::shared();
    for (const auto& t : texts) cache.line(t);
    constexpr int rounds = 2000;
    double hit = bestNs(10, [&] {
                     for (int i = 0; i < rounds; ++i) {
                         for (const auto& t : texts) cache.line(t);
                     }
                 }) /
                 (rounds * texts.size());
    double miss = bestNs(10, [&] {
                      for (int i = 0; i < 50; ++i) {
                          cache.clear();
                          for (const auto& t : texts) cache.line(t);
                      }
                  }) /
                  (50 * texts.size());
    std::printf("shaping cache (short runs)   hit %8.1f ns   miss %8.1f ns   (%.0fx)\n", hit, miss, miss / hit);
}

}  // namespace

int main() {
    FontRef mono = Font::systemFont(13);
    FontRef emoji = Font::create("emoji", 13);
    std::vector<uint32_t> ascii, faces;
    for (char32_t c = '!'; c <= '~'; ++c) ascii.push_back(mono->glyphIndex(c));
    for (char32_t c = 0x1F600; c < 0x1F640; ++c) faces.push_back(emoji->glyphIndex(c));
    std::printf("glyph_bench: ns per glyph, %s and %s at 13 pt, best runs\n", mono->family().c_str(),
                emoji->family().c_str());
    for (double scale : {1.0, 2.0}) {
        std::printf("scale %.0f\n", scale);
        Figures a = measureGlyphs(*mono, ascii, 1, scale);
        std::printf("  ASCII   hit %8.1f ns   miss %8.1f ns   (%.0fx)\n", a.hit, a.miss, a.miss / a.hit);
        Figures e = measureGlyphs(*emoji, faces, 2, scale);
        std::printf("  emoji   hit %8.1f ns   miss %8.1f ns   (%.0fx)\n", e.hit, e.miss, e.miss / e.hit);
    }
    shapingCache();
    printCacheCounters();
    return 0;
}
