// The output road end to end: a child on a pseudo-terminal writes a payload into a
// LocalProcessTerminalView in a window; the figures are throughput from the first byte to the
// last frame (beside a HeadlessTerminal on the same child and the bare engine), the length of the
// delivery passes, how late a 1 ms heartbeat on the main loop runs, frames per second, memory
// after long output, and the time from a key to its echo drawn, alone and beside views flooding.
// Beside the wall-clock figures, processor-time ones that a loaded machine does not inflate: the
// main thread's work between heartbeats, a frame's drawing, the main thread's work from a key to
// its echo drawn.
//
//   output_road [--mib N] [--reps N] [--payload NAME]... [--grid COLSxROWS]... [--scale S]...
//               [--window] [--no-latency] [--no-memory] [--memory-mib N]
//   output_road --child NAME COLS ROWS BYTES    (the writer the runs start)
//
// Headless, the window draws what is dirty at most 60 times a second, as a compositor would.
// With --window it is a real GTK window on $DISPLAY (bench/output_road.sh runs it under Xvfb at
// scale 1 and 2, GDK_SCALE setting the scale).
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/BenchPayloads.h"
#include "bench/BenchStats.h"
#include "platform/runtime/MainLoop.h"
#include "platform/ui/Window.h"
#include "platform/ui/gtk/Toolkit.h"
#include "platform/ui/gtk/ToolkitWindow.h"
#include "vantel/graphics/TerminalGraphics.h"
#include "vantel/host/HeadlessTerminal.h"
#include "vantel/view/LocalProcessTerminalView.h"

namespace {

using namespace std::chrono_literals;
using platform::runtime::Clock;
using platform::runtime::MainLoop;
using platform::runtime::TimePoint;
using Geometry = vantel::bench::Geometry;

constexpr size_t blockBytes = 4 << 20;
constexpr auto frameInterval = std::chrono::nanoseconds(16'666'667);

std::string selfPath;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The calling thread's processor time: what a loaded machine does not inflate by descheduling it.
double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}
double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

using vantel::bench::Stats;

// The payload's block, written over and over by the child; a run is a whole number of blocks.
std::string block(const std::string& name, Geometry g) {
    return vantel::bench::makePayload(name, g, blockBytes, vantel::bench::benchmarkSeed).bytes;
}

size_t runBytes(const std::string& name, Geometry g, size_t target) {
    const size_t size = block(name, g).size();
    return std::max<size_t>(1, (target + size - 1) / size) * size;
}

int runChild(const std::string& name, int cols, int rows, size_t bytes) {
    // The bytes as they are: no LF to CR LF on the way, so the reader can count them.
    termios mode;
    if (::tcgetattr(STDOUT_FILENO, &mode) == 0) {
        mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        ::tcsetattr(STDOUT_FILENO, TCSANOW, &mode);
    }
    const std::string data = block(name, Geometry{cols, rows});
    for (size_t written = 0; written < bytes;) {
        const size_t n = std::min(data.size(), bytes - written);
        for (size_t done = 0; done < n;) {
            const ssize_t w = ::write(STDOUT_FILENO, data.data() + done, n - done);
            if (w <= 0) return 1;
            done += static_cast<size_t>(w);
        }
        written += n;
    }
    return 0;
}

std::vector<std::string> childArgs(const std::string& name, Geometry g, size_t bytes) {
    return {"--child", name, std::to_string(g.cols), std::to_string(g.rows), std::to_string(bytes)};
}

size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<size_t>(::sysconf(_SC_PAGESIZE));
}

// --- Windows that count their frames ---------------------------------------------------------

struct FrameLog {
    size_t frames = 0;
    TimePoint last{};
    // Time spent drawing frames, and each frame's processor time (headless windows only).
    Clock::duration drawing{};
    Stats frameCpu;
    std::function<void()> onFrame;
    void frame() {
        ++frames;
        last = Clock::now();
        if (onFrame) onFrame();
    }
};

// Draws what is dirty as a toolkit's idle frame clock does: at once when the last frame is a
// frame's time ago, else when that time is up (so at most 60 frames a second).
class PacedWindow : public platform::ui::Window {
public:
    PacedWindow(Size size, double scale, FrameLog& log) : Window(size, scale), log_(log) {
        // What the base made dirty before this class existed.
        if (needsDisplay()) scheduleDisplay();
    }
    ~PacedWindow() override {
        if (pending_) pending_->cancel();
    }

protected:
    void scheduleDisplay() override {
        if (pending_) return;
        pending_ = std::make_shared<platform::runtime::WorkItem>([this] {
            pending_.reset();
            const TimePoint start = Clock::now();
            const double cpu = threadCpuMs();
            displayIfNeeded();
            log_.frameCpu.add(threadCpuMs() - cpu);
            log_.drawing += Clock::now() - start;
        });
        const TimePoint due = log_.last + frameInterval;
        if (due <= Clock::now()) MainLoop::main().post(pending_);
        else MainLoop::main().postAt(due, pending_);
    }
    void didDisplay(const std::vector<Rect>&) override { log_.frame(); }

private:
    FrameLog& log_;
    std::shared_ptr<platform::runtime::WorkItem> pending_;
};

class ShownWindow : public platform::ui::gtk::ToolkitWindow {
public:
    ShownWindow(Size size, FrameLog& log) : ToolkitWindow(size, "output_road"), log_(log) {}

protected:
    void didDisplay(const std::vector<Rect>&) override { log_.frame(); }

private:
    FrameLog& log_;
};

std::unique_ptr<platform::ui::Window> makeWindow(bool real, platform::gfx::Size size, double scale, FrameLog& log) {
    if (!real) return std::make_unique<PacedWindow>(size, scale, log);
    auto window = std::make_unique<ShownWindow>(size, log);
    window->show();
    return window;
}

// A view that notes the first byte and counts what it was fed.
class RoadView : public vantel::LocalProcessTerminalView {
public:
    using LocalProcessTerminalView::LocalProcessTerminalView;
    void dataReceived(std::span<const uint8_t> slice) override {
        if (received == 0) firstByte = Clock::now();
        received += slice.size();
        feed(slice);
        if (onData) onData(slice);
    }
    size_t received = 0;
    TimePoint firstByte{};
    std::function<void(std::span<const uint8_t>)> onData;
};

vantel::TerminalOptions options(Geometry g, int scrollback = 10000) {
    vantel::TerminalOptions o = vantel::TerminalOptions::defaultOptions();
    o.cols = g.cols;
    o.rows = g.rows;
    o.scrollback = scrollback;
    return o;
}

// A view of the grid in a window of its size (no scroller, as in the application's tiles).
struct Stage {
    FrameLog log;
    std::unique_ptr<RoadView> view;
    std::unique_ptr<platform::ui::Window> window;

    Stage(bool real, Geometry g, double scale) {
        view = std::make_unique<RoadView>(platform::gfx::Rect{}, platform::gfx::Font::systemFont(13), options(g));
        view->scroller().setHidden(true);
        const platform::gfx::Rect size = view->getOptimalFrameSize();
        window = makeWindow(real, {size.width, size.height}, scale, log);
        window->setContentView(view.get());
        // A tile the user does not type into: no caret blinks.
        window->setKeyWindow(true);
        // The window is up and has drawn before output comes, as a tile's is: making it (in a
        // toolkit, its surface shared with the display server) is not the road's cost.
        MainLoop::main().runUntil([] { return false; }, 300ms);
    }
    ~Stage() {
        view->terminate();
        window->setContentView(nullptr);
    }
};

// A 1 ms timer on the main loop and how late each of its runs came. Beside the wall clock, the main
// thread's processor time between two runs beyond the 1 ms: how late the run would have come had
// the thread had its core to itself (it overstates when the thread also idled meanwhile).
class Heartbeat {
public:
    void start() { arm(Clock::now() + 1ms); }
    void stop() {
        if (item_) item_->cancel();
    }
    Stats lateness;
    Stats busyLateness;

private:
    void arm(TimePoint due) {
        item_ = std::make_shared<platform::runtime::WorkItem>([this, due] {
            const TimePoint now = Clock::now();
            lateness.add(ms(now - due));
            const double cpu = threadCpuMs();
            if (lastCpu_ >= 0) busyLateness.add(std::max(0.0, cpu - lastCpu_ - 1));
            lastCpu_ = cpu;
            arm(now + 1ms);
        });
        MainLoop::main().postAt(due, item_);
    }
    std::shared_ptr<platform::runtime::WorkItem> item_;
    double lastCpu_ = -1;
};

// --- The runs --------------------------------------------------------------------------------

struct ViewRun {
    double mibps = 0;
    double fps = 0;
    double drawShare = 0;
    double deliverShare = 0;
    Stats drain;
    Stats late;
    Stats busyLate;
    Stats frameCpu;
    bool complete = false;
};

ViewRun runView(bool real, const std::string& name, Geometry g, double scale, size_t bytes) {
    ViewRun result;
    Stage stage(real, g, scale);
    RoadView& view = *stage.view;
    view.process().setDrainPassObserver([&](std::chrono::nanoseconds d) { result.drain.add(ms(d)); });
    std::optional<TimePoint> lastFrame, firstFrame;
    size_t frames = 0;
    stage.log.onFrame = [&] {
        if (view.received == 0 || lastFrame) return;
        // Frames from the first one after the first byte: their rate is intervals over time.
        if (!firstFrame) firstFrame = stage.log.last;
        ++frames;
        if (view.received >= bytes) lastFrame = stage.log.last;
    };
    Heartbeat heartbeat;
    heartbeat.start();
    view.startProcess(selfPath, childArgs(name, g, bytes));
    MainLoop::main().runUntil(
        [&] {
            // Output that leaves nothing dirty (the last frame already drawn) still needs a frame.
            if (view.received >= bytes && !lastFrame && !stage.window->needsDisplay() && !view.pendingDisplay()) {
                lastFrame = Clock::now();
            }
            return lastFrame.has_value();
        },
        600s);
    heartbeat.stop();
    result.late = heartbeat.lateness;
    result.busyLate = heartbeat.busyLateness;
    result.frameCpu = stage.log.frameCpu;
    if (!lastFrame || view.received < bytes) return result;
    result.complete = true;
    const double elapsed = seconds(*lastFrame - view.firstByte);
    result.mibps = bytes / 1048576.0 / elapsed;
    if (frames > 1 && firstFrame) result.fps = (frames - 1) / seconds(*lastFrame - *firstFrame);
    result.drawShare = seconds(stage.log.drawing) / elapsed;
    double delivering = 0;
    for (double d : result.drain.values) delivering += d / 1000;
    result.deliverShare = delivering / elapsed;
    return result;
}

// A headless terminal that notes its first byte and counts what it got.
class CountingHeadless : public vantel::HeadlessTerminal {
public:
    using HeadlessTerminal::HeadlessTerminal;
    void dataReceived(std::span<const uint8_t> slice) override {
        if (received == 0) firstByte = Clock::now();
        received += slice.size();
        HeadlessTerminal::dataReceived(slice);
        if (received >= expected && !done) {
            done = true;
            end = Clock::now();
        }
    }
    size_t received = 0;
    size_t expected = 0;
    bool done = false;
    TimePoint firstByte{}, end{};
};

double runHeadless(const std::string& name, Geometry g, size_t bytes) {
    CountingHeadless headless(nullptr, options(g), [](std::optional<int32_t>) {});
    headless.expected = bytes;
    headless.process().startProcess(selfPath, childArgs(name, g, bytes));
    MainLoop::main().runUntil([&] { return headless.done; }, 600s);
    headless.process().terminate();
    if (!headless.done) return 0;
    return bytes / 1048576.0 / seconds(headless.end - headless.firstByte);
}

// The engine alone, fed the same bytes in 64 KiB pieces.
double runEngine(const std::string& name, Geometry g, size_t bytes) {
    struct Quiet : vantel::TerminalDelegate {
        void send(vantel::Terminal&, std::span<const uint8_t>) override {}
    } quiet;
    const std::string data = block(name, g);
    vantel::Terminal terminal(&quiet, options(g));
    const auto start = Clock::now();
    for (size_t done = 0; done < bytes;) {
        for (size_t at = 0; at < data.size() && done < bytes; at += 65536) {
            const size_t n = std::min<size_t>(65536, data.size() - at);
            terminal.feed(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(data.data()) + at, n));
            done += n;
        }
    }
    return bytes / 1048576.0 / seconds(Clock::now() - start);
}

// Memory of one view after 64 MiB and after `totalMib` of plain text.
void runMemory(bool real, size_t totalMib) {
    const Geometry g{80, 25};
    const size_t total = runBytes("ascii", g, totalMib << 20);
    Stage stage(real, g, 1);
    std::optional<size_t> at64;
    size_t atStart = residentBytes();
    stage.view->onData = [&](std::span<const uint8_t>) {
        if (!at64 && stage.view->received >= (64u << 20)) at64 = residentBytes();
    };
    stage.view->startProcess(selfPath, childArgs("ascii", g, total));
    MainLoop::main().runUntil([&] { return stage.view->received >= total; }, 1800s);
    MainLoop::main().runUntil([] { return false; }, 100ms);
    std::printf("\nMemory of one 80x25 view with 10,000 lines of scroll-back (resident):\n");
    std::printf("  at start %7.1f MiB   after 64 MiB %7.1f MiB   after %zu MiB %7.1f MiB\n", atStart / 1048576.0,
                at64.value_or(0) / 1048576.0, total >> 20, residentBytes() / 1048576.0);
}

// Key to echo drawn: a view running cat (the terminal echoes what it is given), 200 keys, each
// sent once the one before is on screen; beside it `floods` views taking output without end.
void runLatency(bool real, int floods) {
    // Nine small tiles, the typed one at the top left.
    const Geometry g{60, 15};
    FrameLog log;
    const double tileWidth = 60 * 8, tileHeight = 15 * 16;
    auto window = makeWindow(real, {tileWidth * 3, tileHeight * 3}, 1, log);
    platform::ui::View wall(platform::gfx::Rect{0, 0, tileWidth * 3, tileHeight * 3});
    window->setContentView(&wall);
    std::vector<std::unique_ptr<RoadView>> views;
    for (int i = 0; i <= floods; ++i) {
        auto view = std::make_unique<RoadView>(
            platform::gfx::Rect{(i % 3) * tileWidth, (2 - i / 3) * tileHeight, tileWidth, tileHeight},
            platform::gfx::Font::systemFont(13), options(g));
        wall.addSubview(view.get());
        views.push_back(std::move(view));
    }
    RoadView& typed = *views[0];
    window->setKeyWindow(true);
    window->makeFirstResponder(&typed);
    typed.startProcess("/bin/cat");
    for (int i = 1; i <= floods; ++i) views[i]->startProcess(selfPath, childArgs("ascii", g, size_t(1) << 40));
    MainLoop::main().runUntil([] { return false; }, 300ms);

    Stats latency, busy;
    double sentCpu = 0;
    char expected = 0;
    bool echoed = false;
    std::optional<TimePoint> sent;
    typed.onData = [&](std::span<const uint8_t> slice) {
        if (sent && std::find(slice.begin(), slice.end(), static_cast<uint8_t>(expected)) != slice.end()) echoed = true;
    };
    log.onFrame = [&] {
        if (sent && echoed) {
            latency.add(ms(Clock::now() - *sent));
            busy.add(threadCpuMs() - sentCpu);
            sent.reset();
        }
    };
    for (int i = 0; i < 200; ++i) {
        if (i % 50 == 49) typed.send(std::string_view("\r"));
        // A brisk typist's pace.
        MainLoop::main().runUntil([] { return false; }, 50ms);
        expected = static_cast<char>('a' + i % 26);
        platform::ui::KeyEvent key;
        key.key = platform::ui::Key::character;
        key.characters = std::string(1, expected);
        key.charactersIgnoringModifiers = key.characters;
        key.keyval = static_cast<uint32_t>(expected);
        echoed = false;
        sent = Clock::now();
        sentCpu = threadCpuMs();
        window->sendKeyEvent(key);
        if (!MainLoop::main().runUntil([&] { return !sent; }, 5s)) {
            std::fprintf(stderr, "output_road: key %d not drawn within 5 s\n", i);
            sent.reset();
        }
    }
    for (auto& view : views) view->terminate();
    window->setContentView(nullptr);
    for (auto& view : views) view->removeFromSuperview();
    std::printf("  %-28s p50 %6.2f ms   p99 %6.2f ms   max %6.2f ms   (%zu of 200)   target p99 <= %s\n",
                floods ? "beside 8 views flooding" : "alone", latency.percentile(50), latency.percentile(99),
                latency.max(), latency.values.size(), floods ? "33 ms" : "5 ms");
    // What the main thread worked meanwhile: the wait on a machine with cores to spare (waits for
    // the next frame's turn not counted).
    std::printf("  %-28s p50 %6.2f ms   p99 %6.2f ms   max %6.2f ms   main thread's processor time\n", "",
                busy.percentile(50), busy.percentile(99), busy.max());
}

int usage() {
    std::fprintf(stderr,
                 "usage: output_road [--mib N] [--reps N] [--payload NAME]... [--grid COLSxROWS]... [--scale S]... [--window] "
                 "[--no-latency] [--no-memory] [--memory-mib N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    selfPath = argv[0];
    if (argc == 3 && std::strcmp(argv[1], "--memory-run") == 0) {
        vantel::installGraphicsProtocols();
        runMemory(false, std::strtoull(argv[2], nullptr, 10));
        return 0;
    }
    if (argc == 6 && std::strcmp(argv[1], "--child") == 0) {
        return runChild(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::strtoull(argv[5], nullptr, 10));
    }
    char resolved[4096];
    const ssize_t n = ::readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    if (n > 0) selfPath.assign(resolved, static_cast<size_t>(n));

    size_t mib = 64, memoryMib = 1024;
    int reps = 3;
    std::vector<std::string> payloads;
    std::vector<Geometry> grids;
    std::vector<double> scales;
    bool real = false, latency = true, memory = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--mib" && hasValue) {
            mib = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--reps" && hasValue) {
            reps = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--memory-mib" && hasValue) {
            memoryMib = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--payload" && hasValue) {
            payloads.push_back(argv[++i]);
            if (!vantel::bench::isPayloadName(payloads.back())) return usage();
        } else if (arg == "--grid" && hasValue) {
            Geometry g;
            if (std::sscanf(argv[++i], "%dx%d", &g.cols, &g.rows) != 2 || g.cols < 2 || g.rows < 1) return usage();
            grids.push_back(g);
        } else if (arg == "--scale" && hasValue) {
            scales.push_back(std::atof(argv[++i]));
        } else if (arg == "--window") {
            real = true;
        } else if (arg == "--no-latency") {
            latency = false;
        } else if (arg == "--no-memory") {
            memory = false;
        } else {
            return usage();
        }
    }
    if (payloads.empty()) payloads = {"ascii", "sgr", "wide", "tui"};
    if (grids.empty()) grids = {{80, 25}, {200, 60}};
    if (scales.empty()) scales = {1, 2};
    if (mib == 0) return usage();
    if (real) {
        int toolkitArgc = 1;
        if (!platform::ui::gtk::Toolkit::start(&toolkitArgc, &argv)) {
            std::fprintf(stderr, "output_road: no display for --window\n");
            return 1;
        }
        // The toolkit's scale (GDK_SCALE) is the only one a real window has.
        scales = {0};
    }
    vantel::installGraphicsProtocols();

    std::printf("output_road: %zu MiB per run, best of %d, %s; MiB/s from the first byte to the last frame\n", mib, reps,
                real ? "a GTK window" : "headless, frames paced as a toolkit's frame clock paces them");
    std::printf("%-6s %-7s %-5s %9s %9s %6s %9s %17s %17s %17s %6s %13s %15s\n", "", "grid", "scale", "view", "headless",
                "ratio", "engine", "drain p99/max ms", "late p99/max ms", "busy p99/max ms", "fps", "feed/draw %",
                "frame cpu p50/99");
    for (const std::string& name : payloads) {
        for (const Geometry& g : grids) {
            const size_t bytes = runBytes(name, g, mib << 20);
            const double engine = runEngine(name, g, bytes);
            for (double scale : scales) {
                // The best of a few runs each, taking turns: other work on the machine falls on both.
                double headless = 0;
                ViewRun run;
                for (int rep = 0; rep < reps; ++rep) {
                    headless = std::max(headless, runHeadless(name, g, bytes));
                    ViewRun candidate = runView(real, name, g, scale > 0 ? scale : 1, bytes);
                    if (candidate.complete && (!run.complete || candidate.mibps > run.mibps)) run = std::move(candidate);
                }
                char grid[16], scaleText[16];
                std::snprintf(grid, sizeof grid, "%dx%d", g.cols, g.rows);
                if (scale > 0) std::snprintf(scaleText, sizeof scaleText, "%.0f", scale);
                else std::snprintf(scaleText, sizeof scaleText, "%s", std::getenv("GDK_SCALE") ? std::getenv("GDK_SCALE") : "1");
                if (!run.complete) {
                    std::printf("%-6s %-7s %-5s   did not finish\n", name.c_str(), grid, scaleText);
                    continue;
                }
                char frameCpu[32] = "      -";
                if (!run.frameCpu.values.empty()) {
                    std::snprintf(frameCpu, sizeof frameCpu, "%7.2f/%-7.2f", run.frameCpu.percentile(50),
                                  run.frameCpu.percentile(99));
                }
                std::printf("%-6s %-7s %-5s %9.1f %9.1f %5.2fx %9.1f %8.2f/%-8.2f %8.2f/%-8.2f %8.2f/%-8.2f %6.1f "
                            "%6.0f/%-6.0f %s\n",
                            name.c_str(), grid, scaleText, run.mibps, headless, run.mibps / headless, engine,
                            run.drain.percentile(99), run.drain.max(), run.late.percentile(99), run.late.max(),
                            run.busyLate.percentile(99), run.busyLate.max(), run.fps, run.deliverShare * 100,
                            run.drawShare * 100, frameCpu);
            }
        }
    }
    std::printf("targets: view >= 0.8x headless; drain passes <= 4 ms plus one piece; heartbeat late <= 8/20 ms; "
                "fps <= 60\n(busy: the main thread's processor time between heartbeats beyond 1 ms; frame cpu: a "
                "frame's drawing in processor time, headless only)\n");
    if (latency) {
        std::printf("\nKey to echo drawn (200 keys):\n");
        runLatency(real, 0);
        runLatency(real, 8);
    }
    if (memory) {
        // In a process of its own, so that nothing of the runs above is in the figures.
        std::fflush(stdout);
        const std::string command = "'" + selfPath + "' --memory-run " + std::to_string(memoryMib);
        if (std::system(command.c_str()) != 0) std::printf("output_road: the memory run failed\n");
    }
    return 0;
}
