// Prints what a terminal view's frame costs: a dense screen fed as bytes (every cell printable, eight
// colours, runs of bold, underline and background) drawn through a headless window, at 120×38 and
// 200×60, 13 pt, scale 1 and 2. For each: the cold first frame (fresh view, every cache empty), the
// warm median of full redraws, the warm median of redrawing one dirty row, and the median frame of
// output that scrolls the screen by one dense line (rows moved on the surface). Then bidirectional
// text: a 200×60 screen of mixed Arabic, Hebrew and Latin words redrawn with the bidi caches emptied
// before each frame, with them warm, and in logical order (the legacy left-to-right policy); and the
// same screen in Latin words alone, drawn with bidi layout and without it. Then 16 and 17 large Kitty
// pictures shown through placeholder cells. Frames of a flood of new output (output_road's wide
// and sgr payloads) at 200×60: the first, and the median and 99th percentile of the rest. Fonts
// come from the test fontconfig file, like the tests'.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "BenchPayloads.h"
#include "CacheReport.h"
#include "platform/gfx/FallbackFontCache.h"
#include "platform/gfx/GlyphCache.h"
#include "platform/gfx/PngEncoder.h"
#include "platform/gpu/Device.h"
#include "platform/ui/GpuView.h"
#include "vantel/core/Base64.h"
#include "vantel/gpu/GpuTerminalRenderer.h"
#include "vantel/view/HeadlessTerminalRenderer.h"
#include "vantel/view/ShapedLineCache.h"
#include "vantel/view/TerminalBidi.h"

namespace {

// Wall time, or with --cpu the thread's processor time, which a loaded machine does not inflate
// by descheduling the benchmark.
bool cpuTime = false;

struct Clock {
    static double now() {
        if (cpuTime) {
            timespec t{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
            return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
        }
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }
};

double msSince(double start) { return Clock::now() - start; }

// splitmix64: the same screen on every run.
uint64_t nextRandom(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Every cell printable; a new look every 4 to 19 cells: one of eight foregrounds, sometimes bold,
// underlined or on a coloured background.
std::string denseRow(int cols, uint64_t& state) {
    std::string bytes;
    int left = 0;
    for (int c = 0; c < cols; ++c) {
        if (left == 0) {
            uint64_t v = nextRandom(state);
            bytes += "\x1b[0;3" + std::to_string(v % 8);
            if ((v >> 8) % 4 == 0) bytes += ";1";
            if ((v >> 12) % 5 == 0) bytes += ";4";
            if ((v >> 16) % 6 == 0) bytes += ";4" + std::to_string((v >> 20) % 8);
            bytes += "m";
            left = 4 + static_cast<int>((v >> 24) % 16);
        }
        bytes.push_back(static_cast<char>('!' + nextRandom(state) % 94));
        --left;
    }
    return bytes + "\x1b[0m";
}

std::string denseScreen(int cols, int rows) {
    uint64_t state = 42;
    std::string bytes = "\x1b[H\x1b[2J";
    for (int r = 0; r < rows; ++r) bytes += "\x1b[" + std::to_string(r + 1) + ";1H" + denseRow(cols, state);
    return bytes;
}

// A frame such as htop or mc draws, every cell a shape: double-lined panels split by light lines,
// filled with bar graphs of block elements in a few colours. With `letters`, each shape is a letter
// instead, colours and all.
std::string shapeScreen(int cols, int rows, bool letters) {
    auto put = [letters](std::string& out, char32_t c) {
        if (letters) {
            out.push_back(static_cast<char>('A' + c % 26));
            return;
        }
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    };
    const char32_t bars[] = {0x2588, 0x2588, 0x2588, 0x258C, 0x2592, 0x2591, 0x2584, 0x2580};
    uint64_t state = 7;
    std::string bytes = "\x1b[H\x1b[2J";
    for (int r = 0; r < rows; ++r) {
        bytes += "\x1b[" + std::to_string(r + 1) + ";1H\x1b[36m";
        const bool top = r == 0, bottom = r == rows - 1, divider = r % 6 == 3;
        for (int c = 0; c < cols; ++c) {
            const bool left = c == 0, right = c == cols - 1, split = c % 40 == 39;
            char32_t shape;
            if (top || bottom) {
                shape = left ? (top ? 0x2554 : 0x255A) : right ? (top ? 0x2557 : 0x255D) : split ? (top ? 0x2564 : 0x2567) : 0x2550;
            } else if (divider) {
                shape = left ? 0x255F : right ? 0x2562 : split ? 0x253C : 0x2500;
            } else if (left || right) {
                shape = 0x2551;
            } else if (split) {
                shape = 0x2502;
            } else {
                if (c % 40 == 0) bytes += "\x1b[3" + std::to_string(1 + nextRandom(state) % 6) + "m";
                shape = bars[(c + r) % 8];
                if (c % 40 == 38) bytes += "\x1b[36m";
            }
            put(bytes, shape);
        }
    }
    return bytes + "\x1b[0m";
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void clearSharedCaches() {
    platform::gfx::GlyphCache::shared().clear();
    vantel::ShapedLineCache::shared().clear();
    platform::gfx::FallbackFontCache::shared().clear();
}

int fullRounds = 41;

// Rows of words from the lists, each row on its own line (no soft wraps), about as wide as the screen.
std::string wordScreen(int cols, int rows, bool mixed) {
    static const char* latin[] = {"status", "build", "ok", "src/main.cpp", "(done)", "error:", "42", "value", "[x]"};
    static const char* hebrew[] = {"\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D", "\xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D",
                                   "\xD7\x91\xD7\x93\xD7\x99\xD7\xA7\xD7\x94", "\xD7\xA7\xD7\x95\xD7\x91\xD7\xA5"};
    static const char* arabic[] = {"\xD8\xB3\xD9\x84\xD8\xA7\xD9\x85", "\xD9\x85\xD9\x84\xD9\x81",
                                   "\xD8\xA8\xD9\x86\xD8\xA7\xD8\xA1", "\xD8\xAE\xD8\xB7\xD8\xA3"};
    // Columns of each word, to fill a row without wrapping it.
    auto width = [](const char* word) {
        int n = 0;
        for (const char* p = word; *p; ++p) n += (static_cast<unsigned char>(*p) & 0xC0) != 0x80;
        return n;
    };
    uint64_t state = 7;
    std::string bytes = "\x1b[H\x1b[2J";
    for (int r = 0; r < rows; ++r) {
        bytes += "\x1b[" + std::to_string(r + 1) + ";1H";
        int used = 0;
        for (;;) {
            uint64_t v = nextRandom(state);
            const char* word = latin[v % 9];
            if (mixed && (v >> 8) % 3 == 1) word = hebrew[(v >> 16) % 4];
            if (mixed && (v >> 8) % 3 == 2) word = arabic[(v >> 16) % 4];
            if (used + width(word) + 1 > cols) break;
            bytes += word;
            bytes += ' ';
            used += width(word) + 1;
        }
    }
    return bytes;
}

void measureBidi(int cols, int rows) {
    vantel::HeadlessTerminalRenderer::Options options;
    options.cols = cols;
    options.rows = rows;
    options.fontSize = 13;
    vantel::HeadlessTerminalRenderer mixed(options), latin(options);
    mixed.feed(wordScreen(cols, rows, true));
    latin.feed(wordScreen(cols, rows, false));
    mixed.render();
    latin.render();
    auto redraw = [](vantel::HeadlessTerminalRenderer& renderer) {
        auto& window = renderer.window();
        window.invalidate(window.bounds());
        auto start = Clock::now();
        window.displayIfNeeded();
        return msSince(start);
    };
    std::vector<double> cold, warm, mixedLogical, withBidi, withoutBidi;
    for (int i = 0; i < fullRounds; ++i) {
        vantel::TerminalBidi::emptyCaches();
        cold.push_back(redraw(mixed));
        warm.push_back(redraw(mixed));
        mixed.view().setBidiHostPolicy(vantel::BidiHostPolicy::legacyLeftToRight);
        mixedLogical.push_back(redraw(mixed));
        mixed.view().setBidiHostPolicy(vantel::BidiHostPolicy::respectTerminal);
        // Interleaved, taking turns at going first, each after a frame of the same screen, so
        // that the load of the machine and the processor's caches fall on both alike.
        redraw(latin);
        for (int k = 0; k < 2; ++k) {
            const bool on = (k == 0) == (i % 2 == 0);
            latin.view().setBidiHostPolicy(on ? vantel::BidiHostPolicy::respectTerminal
                                              : vantel::BidiHostPolicy::legacyLeftToRight);
            (on ? withBidi : withoutBidi).push_back(redraw(latin));
        }
    }
    std::printf("  %3dx%-3d mixed Arabic, Hebrew, Latin: cold bidi caches %7.3f ms   warm %7.3f ms   "
                "logical order %7.3f ms\n",
                cols, rows, median(cold), median(warm), median(mixedLogical));
    std::printf("  %3dx%-3d Latin only: with bidi %7.3f ms   without %7.3f ms   overhead %+.1f %%\n", cols, rows,
                median(withBidi), median(withoutBidi), (median(withBidi) / median(withoutBidi) - 1) * 100);
}

void measure(int cols, int rows, double scale) {
    vantel::HeadlessTerminalRenderer::Options options;
    options.cols = cols;
    options.rows = rows;
    options.fontSize = 13;
    options.scale = scale;
    std::string screen = denseScreen(cols, rows);

    clearSharedCaches();
    auto start = Clock::now();
    vantel::HeadlessTerminalRenderer renderer(options);
    renderer.feed(screen);
    double setup = msSince(start);
    start = Clock::now();
    renderer.render();
    double cold = msSince(start);

    auto& window = renderer.window();
    std::vector<double> full, row;
    for (int i = 0; i < fullRounds; ++i) {
        window.invalidate(window.bounds());
        start = Clock::now();
        window.displayIfNeeded();
        full.push_back(msSince(start));
    }
    double cellHeight = renderer.cell().height;
    for (int i = 0; i < 10 * fullRounds; ++i) {
        int r = i % rows;
        renderer.view().setNeedsDisplay({0, window.size().height - (r + 1) * cellHeight, window.size().width, cellHeight});
        start = Clock::now();
        window.displayIfNeeded();
        row.push_back(msSince(start));
    }
    // Output that scrolls the screen by a line a frame: the rows move on the surface, the new one
    // is drawn (and the first, which lost what the row above it reached into it).
    uint64_t state = 43;
    std::vector<std::string> lines;
    for (int r = 0; r < rows; ++r) lines.push_back(denseRow(cols, state));
    std::vector<double> scrolled;
    renderer.feed("\x1b[" + std::to_string(rows) + ";1H");
    renderer.render();
    for (int i = 0; i < fullRounds; ++i) {
        renderer.view().feed("\r\n" + lines[static_cast<size_t>(i) % lines.size()]);
        start = Clock::now();
        renderer.view().updateDisplay(false);
        window.displayIfNeeded();
        scrolled.push_back(msSince(start));
    }
    std::printf("  %3dx%-3d scale %.0f   cold %7.3f ms (+ %6.3f ms view and feed)   warm %7.3f ms   one row %6.4f ms"
                "   scroll by a line %7.3f ms\n",
                cols, rows, scale, cold, setup, median(full), median(row), median(scrolled));
}

// Frames of a flood of output_road's payloads: each frame follows 64 KiB of new output, so every
// row holds text the caches have not seen. The first frame (every cache empty, the first sight of
// each emoji) apart; then the median and the 99th percentile of the next ones.
void measureFlood(const char* payload, int cols, int rows, double scale) {
    constexpr size_t piece = 64 * 1024;
    constexpr int frames = 160;
    const vantel::bench::Payload bytes =
        vantel::bench::makePayload(payload, {cols, rows}, piece * (frames + 1), 1);
    vantel::HeadlessTerminalRenderer::Options options;
    options.cols = cols;
    options.rows = rows;
    options.fontSize = 13;
    options.scale = scale;
    clearSharedCaches();
    vantel::HeadlessTerminalRenderer renderer(options);
    renderer.render();
    auto& window = renderer.window();
    std::vector<double> times;
    for (size_t at = 0; at < bytes.bytes.size() && times.size() <= frames; at += piece) {
        renderer.view().feed(std::string_view(bytes.bytes).substr(at, piece));
        auto start = Clock::now();
        renderer.view().updateDisplay(false);
        window.displayIfNeeded();
        times.push_back(msSince(start));
    }
    const double first = times.front();
    times.erase(times.begin());
    std::sort(times.begin(), times.end());
    std::printf("  %-5s %3dx%-3d scale %.0f   first %7.3f ms   p50 %7.3f ms   p99 %7.3f ms\n", payload, cols, rows, scale,
                first, times[times.size() / 2], times[times.size() * 99 / 100]);
}

// The warm median of full redraws of one screen.
double warmFullFrame(int cols, int rows, double scale, const std::string& screen) {
    vantel::HeadlessTerminalRenderer::Options options;
    options.cols = cols;
    options.rows = rows;
    options.fontSize = 13;
    options.scale = scale;
    vantel::HeadlessTerminalRenderer renderer(options);
    renderer.feed(screen);
    renderer.render();
    auto& window = renderer.window();
    std::vector<double> full;
    for (int i = 0; i < fullRounds; ++i) {
        window.invalidate(window.bounds());
        auto start = Clock::now();
        window.displayIfNeeded();
        full.push_back(msSince(start));
    }
    return median(full);
}

void measureShapes(int cols, int rows, double scale) {
    double shapes = warmFullFrame(cols, rows, scale, shapeScreen(cols, rows, false));
    double letters = warmFullFrame(cols, rows, scale, shapeScreen(cols, rows, true));
    std::printf("  %3dx%-3d scale %.0f   shapes %7.3f ms   letters %7.3f ms   shapes / letters %.2f\n", cols, rows,
                scale, shapes, letters, shapes / letters);
}

// Kitty pictures shown through placeholder cells: `count` stored 2048 × 2048 PNG images, each with a
// virtual placement of one cell, and every cell of the screen a placeholder of the next image in
// turn. The first frame makes every picture; the next ones find them made, however many there are.
void measurePictures(int cols, int rows, int count) {
    vantel::HeadlessTerminalRenderer::Options options;
    options.cols = cols;
    options.rows = rows;
    options.fontSize = 13;
    vantel::HeadlessTerminalRenderer renderer(options);
    std::string bytes;
    for (int id = 1; id <= count; ++id) {
        platform::gfx::Image picture;
        picture.width = picture.height = 2048;
        picture.pixels.assign(size_t{2048} * 2048, platform::gfx::Image::premultipliedPixel(uint8_t(id * 15), 80, 160, 255));
        const auto png = platform::gfx::encodePng(picture).value_or(std::vector<uint8_t>{});
        const std::string number = std::to_string(id);
        bytes += "\x1b_Ga=t,q=2,f=100,i=" + number + ";" + vantel::Base64::encode(png) + "\x1b\\";
        bytes += "\x1b_Ga=p,q=2,U=1,i=" + number + ",p=1,c=1,r=1\x1b\\";
    }
    bytes += "\x1b[H";
    for (int cell = 0; cell < cols * rows; ++cell) bytes += "\x1b[38;5;" + std::to_string(1 + cell % count) + "m\xf4\x8e\xbb\xae";
    renderer.feed(bytes);
    auto frame = [&] {
        auto& window = renderer.window();
        window.invalidate(window.bounds());
        auto start = Clock::now();
        window.displayIfNeeded();
        return msSince(start);
    };
    const double first = frame();
    const double next = std::min(frame(), frame());
    std::printf("  %3dx%-3d %2d pictures alternating cell by cell: first frame %9.1f ms   next frames %9.1f ms\n", cols,
                rows, count, first, next);
}


// The GPU path's draw-data build beside the view's own frames, on the dense screen: cold (a new
// renderer, every row and glyph made), warm (nothing changed), one dirty row, and scrolled by a
// line (every row built again from warm caches); with the rows built and glyphs rasterised by
// each, and the whole GPU frame (build, encoding and llvmpipe's drawing) for information.
struct CpuFrames {
    double cold = 0, warm = 0, row = 0;
};

CpuFrames cpuFrames(int cols, int rows, double scale, const std::string& screen) {
    vantel::HeadlessTerminalRenderer::Options options;
    options.cols = cols;
    options.rows = rows;
    options.fontSize = 13;
    options.scale = scale;
    std::vector<double> cold, full, row;
    for (int i = 0; i < 5; ++i) {
        clearSharedCaches();
        vantel::HeadlessTerminalRenderer renderer(options);
        renderer.feed(screen);
        auto start = Clock::now();
        renderer.render();
        cold.push_back(msSince(start));
    }
    vantel::HeadlessTerminalRenderer renderer(options);
    renderer.feed(screen);
    renderer.render();
    auto& window = renderer.window();
    for (int i = 0; i < fullRounds; ++i) {
        window.invalidate(window.bounds());
        auto start = Clock::now();
        window.displayIfNeeded();
        full.push_back(msSince(start));
    }
    const double cellHeight = renderer.cell().height;
    for (int i = 0; i < 10 * fullRounds; ++i) {
        const int r = i % rows;
        renderer.view().setNeedsDisplay({0, window.size().height - (r + 1) * cellHeight, window.size().width, cellHeight});
        auto start = Clock::now();
        window.displayIfNeeded();
        row.push_back(msSince(start));
    }
    return {median(cold), median(full), median(row)};
}

struct GpuStage {
    std::unique_ptr<vantel::HeadlessTerminalRenderer> headless;
    vantel::GpuTerminalRenderer* renderer = nullptr;
    double scale = 1;

    GpuStage(int cols, int rows, double pixelScale, const std::string& screen, vantel::GpuBufferingMode mode)
        : scale(pixelScale) {
        vantel::HeadlessTerminalRenderer::Options options;
        options.cols = cols;
        options.rows = rows;
        options.fontSize = 13;
        options.scale = scale;
        options.gpu = true;
        headless = std::make_unique<vantel::HeadlessTerminalRenderer>(options);
        renderer = dynamic_cast<vantel::GpuTerminalRenderer*>(headless->view().gpuHosting().gpuRenderer());
        headless->view().setGpuBufferingMode(mode);
        // Twice: a screen's worth of scroll-back to scroll into.
        headless->feed(screen + "\r\n" + screen);
        headless->view().updateDisplay(true);
    }
    // Milliseconds of one build, and the rows built and glyphs rasterised by it.
    double build(uint64_t& rowsBuilt, uint64_t& glyphs) {
        const auto before = renderer->statistics();
        auto start = Clock::now();
        vantel::DrawData data = renderer->buildDrawData(scale);
        const double ms = msSince(start);
        rowsBuilt = renderer->statistics().rowsBuilt - before.rowsBuilt;
        glyphs = renderer->statistics().glyphsRasterized - before.glyphsRasterized;
        return ms;
    }
};

void measureGpu(int cols, int rows, double scale) {
    const std::string screen = denseScreen(cols, rows);
    const CpuFrames cpu = cpuFrames(cols, rows, scale, screen);
    std::printf("  %3dx%-3d scale %.0f   view's own frame: cold %7.3f ms   warm %7.3f ms   one row %6.4f ms\n", cols, rows,
                scale, cpu.cold, cpu.warm, cpu.row);
    for (auto mode : {vantel::GpuBufferingMode::perRowPersistent, vantel::GpuBufferingMode::perFrameAggregated}) {
        const char* name = mode == vantel::GpuBufferingMode::perRowPersistent ? "per row " : "per frame";
        uint64_t rowsBuilt = 0, glyphs = 0, coldRows = 0, coldGlyphs = 0;
        std::vector<double> cold, warm, one, scrolled, frame;
        for (int i = 0; i < 5; ++i) {
            platform::gfx::FallbackFontCache::shared().clear();
            GpuStage fresh(cols, rows, scale, screen, mode);
            if (!fresh.renderer) {
                std::printf("  no GPU renderer: %s\n",
                            fresh.headless->gpuError() ? fresh.headless->gpuError()->description().c_str() : "?");
                return;
            }
            cold.push_back(fresh.build(coldRows, coldGlyphs));
        }
        GpuStage stage(cols, rows, scale, screen, mode);
        stage.build(rowsBuilt, glyphs);
        uint64_t warmRows = 0, warmGlyphs = 0, oneRows = 0, oneGlyphs = 0, scrollRows = 0, scrollGlyphs = 0;
        for (int i = 0; i < fullRounds; ++i) {
            uint64_t r = 0, g = 0;
            warm.push_back(stage.build(r, g));
            warmRows += r, warmGlyphs += g;
        }
        vantel::TerminalView& view = stage.headless->view();
        const int yDisp = view.getTerminal().buffer().yDisp();
        for (int i = 0; i < 10 * fullRounds; ++i) {
            view.gpuHosting().gpuDirtyRange = std::make_pair(yDisp + i % rows, yDisp + i % rows);
            uint64_t r = 0, g = 0;
            one.push_back(stage.build(r, g));
            oneRows += r, oneGlyphs += g;
        }
        for (int i = 0; i < fullRounds; ++i) {
            if (i % 2 == 0) view.scrollUp(1);
            else view.scrollDown(1);
            uint64_t r = 0, g = 0;
            scrolled.push_back(stage.build(r, g));
            scrollRows += r, scrollGlyphs += g;
        }
        // The whole frame on llvmpipe: for information only.
        auto& gpuView = *view.gpuHosting().gpuView();
        for (int i = 0; i < 11; ++i) {
            view.gpuHosting().gpuDirtyRange = std::make_pair(yDisp, yDisp);
            auto start = Clock::now();
            gpuView.draw();
            gpuView.device()->finish();
            frame.push_back(msSince(start));
        }
        std::printf("    %s cold %7.3f ms (%3llu rows, %5llu glyphs; %.2f x view)   warm %6.4f ms (%llu rows, %llu glyphs; "
                    "%.3f x view)\n",
                    name, median(cold), static_cast<unsigned long long>(coldRows),
                    static_cast<unsigned long long>(coldGlyphs), median(cold) / cpu.cold, median(warm),
                    static_cast<unsigned long long>(warmRows), static_cast<unsigned long long>(warmGlyphs),
                    median(warm) / cpu.warm);
        std::printf("              one row %6.4f ms (%.2f rows, %llu glyphs; %.2f x view)   scrolled %7.3f ms (%.0f rows, %llu "
                    "glyphs; %.2f x view warm)   GPU frame %7.3f ms\n",
                    median(one), double(oneRows) / (10 * fullRounds), static_cast<unsigned long long>(oneGlyphs),
                    median(one) / cpu.row, median(scrolled), double(scrollRows) / fullRounds,
                    static_cast<unsigned long long>(scrollGlyphs), median(scrolled) / cpu.warm, median(frame));
    }
}

}  // namespace

// Arguments such as 200x60@2, shapes@1 or bidi pick configurations; none runs them all. "gpu" (or
// gpu80x24@1 and the like) runs the GPU path's figures instead. --rounds N sets the number of full
// redraws (for a profiler); --cpu times the thread's processor time.
int main(int argc, char** argv) {
    std::vector<std::string> picked;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--rounds" && i + 1 < argc) {
            fullRounds = std::max(1, std::atoi(argv[++i]));
        } else if (std::string(argv[i]) == "--cpu") {
            cpuTime = true;
        } else {
            picked.push_back(argv[i]);
        }
    }
    // The GPU path only when asked for: "gpu", or "gpu80x24@1" and the like.
    std::vector<std::string> gpuPicked;
    for (const std::string& p : picked) {
        if (p.rfind("gpu", 0) == 0) gpuPicked.push_back(p.substr(3));
    }
    if (!gpuPicked.empty()) {
        ::setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
        vantel::GpuTerminalRenderer::install();
        std::printf("GPU path: draw-data builds beside the view's own frames, dense screen, 13 pt\n");
        for (auto [cols, rows] : {std::pair{80, 24}, std::pair{200, 60}}) {
            for (double scale : {1.0, 2.0}) {
                const std::string name = std::to_string(cols) + "x" + std::to_string(rows) + "@" + std::to_string(int(scale));
                if (std::find(gpuPicked.begin(), gpuPicked.end(), "") != gpuPicked.end() ||
                    std::find(gpuPicked.begin(), gpuPicked.end(), name) != gpuPicked.end()) {
                    measureGpu(cols, rows, scale);
                }
            }
        }
        return 0;
    }
    std::printf("view frame: dense screen, 13 pt, through a headless window (%s)\n",
                cpuTime ? "thread processor time" : "wall time");
    for (auto [cols, rows] : {std::pair{120, 38}, std::pair{200, 60}}) {
        for (double scale : {1.0, 2.0}) {
            std::string name = std::to_string(cols) + "x" + std::to_string(rows) + "@" + std::to_string(int(scale));
            bool wanted = picked.empty() || std::find(picked.begin(), picked.end(), name) != picked.end();
            if (wanted) measure(cols, rows, scale);
        }
    }
    std::printf("frames of a flood of new output (64 KiB a frame)\n");
    for (const char* payload : {"wide", "sgr"}) {
        for (double scale : {1.0, 2.0}) {
            const std::string name = std::string(payload) + "@" + std::to_string(int(scale));
            if (picked.empty() || std::find(picked.begin(), picked.end(), name) != picked.end()) {
                measureFlood(payload, 200, 60, scale);
            }
        }
    }
    std::printf("box drawing and block elements against letters, warm full frames\n");
    for (double scale : {1.0, 2.0}) {
        std::string name = "shapes@" + std::to_string(int(scale));
        if (picked.empty() || std::find(picked.begin(), picked.end(), name) != picked.end()) measureShapes(200, 60, scale);
    }
    if (picked.empty() || std::find(picked.begin(), picked.end(), "bidi") != picked.end()) {
        std::printf("bidirectional text, 13 pt, scale 1, full redraws\n");
        measureBidi(200, 60);
    }
    if (picked.empty() || std::find(picked.begin(), picked.end(), "pictures") != picked.end()) {
        std::printf("Kitty pictures through placeholder cells, 13 pt, scale 1\n");
        for (auto [cols, rows] : {std::pair{80, 24}, std::pair{200, 60}}) {
            for (int count : {16, 17}) measurePictures(cols, rows, count);
        }
    }
    printCacheCounters();
    return 0;
}
