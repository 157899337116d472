// What tiles and zooms leave behind: the wall in a headless 1720 x 1080 window with eight tiles
// open, then tiles opened and closed one after another (shell tiles, then assistant tiles running
// the fake `claude`), then one tile zoomed in and out. Before and after each run: the mappings of
// font files in /proc/self/maps (all of them, and the most of any one file), resident memory, the
// address space and the bytes malloc holds in use.
//
//   tile_memory_bench [--tiles N] [--zooms N] [--shell-only] [--system-fonts]
//
// The tiles' children are real (a login shell, the fake assistant) on a real main loop; each tile
// is drawn once it shows its first screen, then closed. The zoomed tile shows the assistant's
// symbols, ideographs and emoji, so its fonts' fallbacks are loaded at each size. The tests' fonts
// unless --system-fonts (then the machine's, as the program has them).
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/GLibMainLoop.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/sessions/ClaudeCapabilities.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/Theme.h"
#include "quiltdeck/wall/GridController.h"
#include "quiltdeck/wall/SessionTile.h"
#include "quiltdeck/wall/TileView.h"
#include "vantel/graphics/TerminalGraphics.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using quiltdeck::GridController;
using quiltdeck::TileView;
using quiltdeck::TileRequest;
using quiltdeck::WallTile;

struct Memory {
    int fontMappings = 0;     // lines of /proc/self/maps naming a font file
    int mostOfOneFile = 0;    // the most of them naming one file
    std::string mostFile;
    double rssMiB = 0;
    double addressMiB = 0;
    double heapMiB = 0;       // malloc's bytes in use
};

bool isFontFile(const std::string& path) {
    for (const char* ending : {".ttf", ".otf", ".ttc", ".otc", ".TTF", ".OTF", ".TTC", ".pcf", ".pcf.gz", ".woff", ".woff2"}) {
        if (path.ends_with(ending)) return true;
    }
    return false;
}

Memory measure() {
    Memory m;
    std::ifstream maps("/proc/self/maps");
    std::map<std::string, int> perFile;
    for (std::string line; std::getline(maps, line);) {
        const size_t slash = line.find('/');
        if (slash == std::string::npos) continue;
        const std::string path = line.substr(slash);
        if (!isFontFile(path)) continue;
        ++m.fontMappings;
        if (int n = ++perFile[path]; n > m.mostOfOneFile) {
            m.mostOfOneFile = n;
            m.mostFile = fs::path(path).filename().string();
        }
    }
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) m.rssMiB = std::atof(line.c_str() + 6) / 1024;
        if (line.starts_with("VmSize:")) m.addressMiB = std::atof(line.c_str() + 7) / 1024;
    }
    m.heapMiB = static_cast<double>(mallinfo2().uordblks) / (1 << 20);
    return m;
}

void print(const char* what, const Memory& m) {
    std::printf("  %-26s font mappings %4d (most of one file %3d, %s), resident %7.1f MiB, address space %8.1f MiB, "
                "heap in use %7.1f MiB\n",
                what, m.fontMappings, m.mostOfOneFile, m.mostFile.empty() ? "-" : m.mostFile.c_str(), m.rssMiB,
                m.addressMiB, m.heapMiB);
}

void printGrowth(const Memory& from, const Memory& to, int count, const char* per) {
    std::printf(" growth: font mappings %+d, resident %+.1f MiB (%+.3f MiB per %s), heap %+.1f MiB (%+.3f MiB per %s)\n",
                to.fontMappings - from.fontMappings, to.rssMiB - from.rssMiB, (to.rssMiB - from.rssMiB) / count, per,
                to.heapMiB - from.heapMiB, (to.heapMiB - from.heapMiB) / count, per);
}

// A home whose login shell finds the fake `claude` first.
void makeHome(const fs::path& home) {
    fs::create_directories(home / ".local/bin");
#ifdef QUILTDECK_FAKE_CLAUDE
    fs::copy_file(QUILTDECK_FAKE_CLAUDE, home / ".local/bin/claude", fs::copy_options::overwrite_existing);
    ::chmod((home / ".local/bin/claude").c_str(), 0755);
#endif
    std::ofstream(home / ".profile") << "PATH=\"$HOME/.local/bin:$PATH\"; export PATH\nPS1='$ '; export PS1\n";
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("SHELL", "/bin/bash", 1);
}

class Bench {
public:
    explicit Bench(fs::path folder) : folder_(std::move(folder)) {
        quiltdeck::HookServer::Options hooks{0, 0, &loop_, {}};
        grid_ = std::make_unique<GridController>(
            [this](const TileRequest& request, uint16_t port) {
                quiltdeck::Session::Services services;
                services.loop = &loop_;
                services.capabilities = [] { return quiltdeck::ClaudeCapabilities::Snapshot{}; };
                return std::make_unique<quiltdeck::SessionTile>(
                    quiltdeck::Session::open(quiltdeck::SessionTile::arguments(request, port), services));
            },
            hooks);
        grid_->viewDidLoad();
        window_.setContentView(&grid_->view());
    }
    ~Bench() {
        grid_->killAll();
        grid_.reset();
        loop_.runUntil([] { return false; }, 200ms);
    }

    WallTile* open(bool shell) {
        TileRequest request;
        char name[32];
        std::snprintf(name, sizeof name, "t%d", opened_++);
        request.name = name;
        request.cwd = (folder_ / request.name).string();
        fs::create_directories(request.cwd);
        request.isShell = shell;
        WallTile* tile = grid_->open(request);
        // Its first screen drawn: a prompt, or the assistant's banner.
        loop_.runUntil([&] { return tile->booted() && !screen(*tile).empty(); }, 10s);
        settle(300ms);
        return tile;
    }
    void close(WallTile* tile) {
        const std::string folder = tile->cwd();
        grid_->close(tile->id());
        settle(100ms);
        fs::remove_all(folder);
    }
    void zoom(WallTile* tile, bool in) {
        if (in) grid_->zoom(tile->id());
        else grid_->unzoom();
        TileView* card = grid_->tile(tile->id());
        loop_.runUntil([&] { return !card || !card->isAnimatingFrame(); }, 5s);
        // The scaler's fit comes 0.08 s after the last tick; then a frame is drawn at the new size.
        settle(150ms);
    }
    void settle(platform::runtime::Duration d) {
        loop_.runUntil([] { return false; }, d);
        window_.displayIfNeeded();
    }
    static std::string screen(WallTile& tile) {
        auto* terminal = tile.terminal();
        if (!terminal) return {};
        std::string text;
        auto& engine = terminal->getTerminal();
        for (int row = 0; row < engine.rows(); ++row) {
            if (const auto* line = engine.getLine(row)) text += line->translateToString(true, 0, -1);
        }
        return text;
    }

    platform::runtime::GLibMainLoop loop_;
    platform::runtime::ScopedMainLoop scoped_{loop_};
    platform::ui::headless::HeadlessWindow window_{{1720, 1080}, 1};
    fs::path folder_;
    std::unique_ptr<GridController> grid_;
    int opened_ = 0;
};

void runTiles(Bench& bench, int count, bool shell) {
    std::printf("%d %s tiles opened and closed, eight tiles open throughout:\n", count, shell ? "shell" : "assistant");
    // A few first, so that what every process makes once (fonts, caches, the hook server's
    // buffers) is there before the count starts.
    for (int i = 0; i < 5; ++i) bench.close(bench.open(shell));
    const Memory before = measure();
    print("before", before);
    const auto start = std::chrono::steady_clock::now();
    Memory half;
    for (int i = 0; i < count; ++i) {
        bench.close(bench.open(shell));
        if (i + 1 == count / 2) half = measure();
    }
    const Memory after = measure();
    print("half-way", half);
    print("after", after);
    std::printf(" ");
    printGrowth(before, after, count, "tile");
    // The history and the recent folders fill up to their limits over the first tiles.
    std::printf("  second half:");
    printGrowth(half, after, count - count / 2, "tile");
    std::printf("  (%.1f s)\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

void runZooms(Bench& bench, int count) {
    std::printf("one shell tile zoomed in and out %d times, showing symbols, ideographs and emoji:\n", count);
    WallTile* tile = bench.open(true);
    tile->send("clear; printf '\\342\\234\\273 \\342\\217\\272 \\342\\235\\257 \\342\\216\\277 "
               "\\344\\270\\255\\346\\226\\207 \\360\\237\\230\\200 \\342\\234\\223 \\342\\226\\266\\n'\r");
    bench.settle(500ms);
    for (int i = 0; i < 3; ++i) {
        bench.zoom(tile, true);
        bench.zoom(tile, false);
    }
    const Memory before = measure();
    print("before", before);
    const auto start = std::chrono::steady_clock::now();
    Memory half;
    for (int i = 0; i < count; ++i) {
        bench.zoom(tile, true);
        bench.zoom(tile, false);
        if (i + 1 == count / 2) half = measure();
    }
    const Memory after = measure();
    print("half-way", half);
    print("after", after);
    std::printf(" ");
    printGrowth(before, after, count, "zoom");
    std::printf("  (%.1f s)\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    bench.close(tile);
}

int usage() {
    std::fprintf(stderr, "usage: tile_memory_bench [--tiles N] [--zooms N] [--shell-only] [--system-fonts]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int tiles = 200, zooms = 200;
    bool assistant = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--tiles" && hasValue) tiles = std::max(0, std::atoi(argv[++i]));
        else if (arg == "--zooms" && hasValue) zooms = std::max(0, std::atoi(argv[++i]));
        else if (arg == "--shell-only") assistant = false;
        else if (arg == "--system-fonts") ::unsetenv("FONTCONFIG_FILE");  // before fontconfig reads it
        else return usage();
    }
#ifndef QUILTDECK_FAKE_CLAUDE
    assistant = false;
#endif
    vantel::installGraphicsProtocols();
    char made[] = "/tmp/tile-memory-bench-XXXXXX";
    if (!::mkdtemp(made)) return 1;
    const fs::path root = made;
    ::setenv("QUILTDECK_STATE_DIR", (root / "state").c_str(), 1);
    makeHome(root / "home");
    quiltdeck::Theme::setMode(quiltdeck::ThemeMode::dark);
    quiltdeck::Theme::resolve();
    {
        Bench bench(root / "projects");
        std::printf("tile_memory_bench: the wall headless at 1720x1080, %s fonts\n",
                    std::getenv("FONTCONFIG_FILE") ? "the tests'" : "the system's");
        for (int i = 0; i < 8; ++i) bench.open(true);
        if (tiles > 0) runTiles(bench, tiles, true);
        if (tiles > 0 && assistant) runTiles(bench, tiles, false);
        if (zooms > 0) runZooms(bench, zooms);
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return 0;
}
