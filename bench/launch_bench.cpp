// A full wall's launch on a starved core: 16 assistant tiles of the fake `claude`, each burning its
// processor for a while before it prints anything, and a busy loop, all on the program's one core;
// the wall in a real GTK window on the real GLib loop (bench/launch_bench.sh runs it under Xvfb).
// Prints how late posted and timed work ran, the frames drawn, and for each tile when it came up
// and why (its start limit, the start hook, its screen) against when it opened.
//
//   launch_bench [--tiles N] [--burn S] [--load N --load-for S] [--no-hooks] [--together]
//                [--core C] [--claude PATH | --home DIR] [--limit S] [--no-busy-loop]
//   launch_bench --spin      (the busy loop)
//
// --load keeps N more busy loops on the core for the first S seconds (the CLIs' start then comes
// while the core is still starved); --no-hooks starts the CLIs without hooks, so that only what
// their screens show (or the start limit) brings the tiles up. The tiles open one a turn of the
// loop, as a launch restores them; --together opens them all in one turn. --home runs the tiles in
// a home made beforehand (its own `claude` on the login shell's path, its profile; the tiles'
// folders are DIR/projects/tile1 …), for another CLI than the stand-in: --burn does not reach it.
//
// Every process of the run (the program, its threads, the busy loops, the tiles' shells and CLIs)
// is pinned to core C (default: the last one), so the rest of the machine is left alone. The
// probes: a thread posts a stamped task every 10 ms (posted work's lateness: run − posted), and a
// timer re-armed every 10 ms notes how late it ran (timed work's lateness: run − due) and looks at
// the tiles. The run ends when every tile is up with its CLI's screen shown, or after --limit
// seconds (default: the burn and 40 s).
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchStats.h"
#include "platform/runtime/MainLoop.h"
#include "platform/ui/gtk/Toolkit.h"
#include "platform/ui/gtk/ToolkitWindow.h"
#include "quiltdeck/sessions/ClaudeCapabilities.h"
#include "quiltdeck/sessions/Session.h"
#include "quiltdeck/shell/Log.h"
#include "quiltdeck/shell/Theme.h"
#include "quiltdeck/wall/GridController.h"
#include "quiltdeck/wall/SessionTile.h"
#include "vantel/graphics/TerminalGraphics.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using platform::runtime::Clock;
using platform::runtime::MainLoop;
using platform::runtime::TimePoint;

constexpr platform::gfx::Size windowSize{1720, 1080};
constexpr auto probeInterval = 10ms;
// What the stand-in CLI writes before it burns: the cursor saved and restored.
constexpr uint64_t firstBytes = 4;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// How late work ran, and the most in each second of the run (by when it was posted or due).
struct Lateness : vantel::bench::Stats {
    std::vector<double> secondMost;
    void add(double v, double at) {
        Stats::add(v);
        const size_t second = static_cast<size_t>(std::max(at, 0.0));
        if (secondMost.size() <= second) secondMost.resize(second + 1, 0);
        secondMost[second] = std::max(secondMost[second], v);
    }
};

bool pinTo(int core) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(core, &set);
    return ::sched_setaffinity(0, sizeof set, &set) == 0;
}

// A home whose login shell finds the stand-in CLI first, burning as asked.
void makeHome(const fs::path& home, const std::string& claude, double burn) {
    fs::create_directories(home / ".local/bin");
    fs::copy_file(claude, home / ".local/bin/claude", fs::copy_options::overwrite_existing);
    ::chmod((home / ".local/bin/claude").c_str(), 0755);
    // The tiles' children get an environment of their own: the login shell sets what the CLI reads.
    std::ofstream(home / ".profile") << "PATH=\"$HOME/.local/bin:$PATH\"; export PATH\n"
                                     << "FAKE_CLAUDE_START_BURN=" << burn << "; export FAKE_CLAUDE_START_BURN\n";
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("SHELL", "/bin/bash", 1);
}

class ShownWindow : public platform::ui::gtk::ToolkitWindow {
public:
    explicit ShownWindow(Size size) : ToolkitWindow(size, "launch_bench") {}
    size_t frames = 0;

protected:
    void didDisplay(const std::vector<Rect>&) override { ++frames; }
};

struct TileRecord {
    std::shared_ptr<quiltdeck::Session> session;
    double openedAt = 0;
    std::optional<double> upAt;
    // The terminal showed nothing of the CLI when the tile came up.
    bool blankWhenUp = false;
    std::optional<double> shownAt;
    // When the CLI's own start screen first showed (its banner with the version, or a prompt sign),
    // whatever the login shell printed before it.
    std::optional<double> screenAt;
    // When the CLI had written more than its first bytes (which draw nothing), and when the
    // terminal had taken them all.
    std::optional<double> wroteAt, deliveredAt;
    std::string why;
};

bool blank(quiltdeck::Session& session) {
    auto& engine = session.view().getTerminal();
    for (int row = 0; row < engine.rows(); ++row) {
        const auto* line = engine.getLine(row);
        if (!line) continue;
        const std::string text = line->translateToString(true, 0, -1);
        if (text.find_first_not_of(' ') != std::string::npos) return false;
    }
    return true;
}

std::string formatted(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string describe(const TileRecord& r) {
    std::string text = r.why.empty() ? "-" : r.why;
    if (r.wroteAt) text += formatted(" [the CLI wrote at %.2f s", *r.wroteAt) + (r.deliveredAt ? formatted(", taken by %.2f s]", *r.deliveredAt) : "]");
    if (!r.upAt || !r.blankWhenUp) return text;
    if (!r.shownAt) return text + " (over a blank terminal, which stayed blank)";
    return text + " (over a blank terminal; the CLI's screen came " + formatted("%.2f s later)", *r.shownAt - *r.upAt);
}

bool showsStartScreen(quiltdeck::Session& session) {
    const std::string text = session.screenText();
    std::string packed;
    for (char c : text) {
        if (c != ' ' && c != '\n') packed += c;
    }
    return packed.find("ClaudeCodev") != std::string::npos || text.find("\u276F") != std::string::npos ||
           text.find("\u203A") != std::string::npos;
}

// Why each tile came up, from the log: "tile <first 8 of the id> up: <why>".
std::map<std::string, std::string> reasonsFromLog() {
    quiltdeck::Log::flush(5000ms);
    std::map<std::string, std::string> reasons;
    std::ifstream log(quiltdeck::Log::url());
    for (std::string line; std::getline(log, line);) {
        const size_t tile = line.find("tile ");
        const size_t up = line.find(" up: ");
        if (tile == std::string::npos || up == std::string::npos || up != tile + 13) continue;
        reasons[line.substr(tile + 5, 8)] = line.substr(up + 5);
    }
    return reasons;
}

int usage() {
    std::fprintf(stderr, "usage: launch_bench [--tiles N] [--burn S] [--load N --load-for S] [--no-hooks] [--together] "
                         "[--core C] [--claude PATH | --home DIR] [--limit S] [--no-busy-loop]\n");
    return 2;
}

pid_t spin() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/proc/self/exe", "launch_bench", "--spin", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

void stopSpinning(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc == 2 && std::strcmp(argv[1], "--spin") == 0) {
        std::atomic<uint64_t> spun{0};
        for (;;) spun.fetch_add(1, std::memory_order_relaxed);
    }
    int tiles = 16, load = 0;
    double burn = 25, loadFor = 0;
    bool withHooks = true, together = false, busy = true;
    int core = static_cast<int>(std::thread::hardware_concurrency()) - 1;
    std::optional<double> limit;
    fs::path home;
#ifdef QUILTDECK_FAKE_CLAUDE
    std::string claude = QUILTDECK_FAKE_CLAUDE;
#else
    std::string claude;
#endif
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--tiles" && hasValue) tiles = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--burn" && hasValue) burn = std::max(0.0, std::atof(argv[++i]));
        else if (arg == "--load" && hasValue) load = std::max(0, std::atoi(argv[++i]));
        else if (arg == "--load-for" && hasValue) loadFor = std::max(0.0, std::atof(argv[++i]));
        else if (arg == "--no-hooks") withHooks = false;
        else if (arg == "--together") together = true;
        else if (arg == "--no-busy-loop") busy = false;
        else if (arg == "--core" && hasValue) core = std::max(0, std::atoi(argv[++i]));
        else if (arg == "--claude" && hasValue) claude = argv[++i];
        else if (arg == "--home" && hasValue) home = fs::absolute(argv[++i]);
        else if (arg == "--limit" && hasValue) limit = std::max(1.0, std::atof(argv[++i]));
        else return usage();
    }
    if (home.empty() && (claude.empty() || !fs::exists(claude))) {
        std::fprintf(stderr, "launch_bench: no stand-in CLI (build fake_claude, or give --claude PATH)\n");
        return 2;
    }
    const double runLimit = limit.value_or(burn + 40);
    // Pinned before any thread or child is made: they all inherit the core.
    if (!pinTo(core)) {
        std::fprintf(stderr, "launch_bench: cannot pin to core %d\n", core);
        return 1;
    }
    const pid_t spinner = busy ? spin() : 0;
    int toolkitArgc = 1;
    if (!platform::ui::gtk::Toolkit::start(&toolkitArgc, &argv)) {
        std::fprintf(stderr, "launch_bench: no display (bench/launch_bench.sh runs it under Xvfb)\n");
        stopSpinning(spinner);
        return 1;
    }
    vantel::installGraphicsProtocols();
    char made[] = "/tmp/launch-bench-XXXXXX";
    if (!::mkdtemp(made)) return 1;
    const fs::path root = made;
    ::setenv("QUILTDECK_STATE_DIR", (root / "state").c_str(), 1);
    if (home.empty()) {
        home = root / "home";
        makeHome(home, claude, burn);
    } else {
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("SHELL", "/bin/bash", 1);
    }
    quiltdeck::Theme::setMode(quiltdeck::ThemeMode::dark);
    quiltdeck::Theme::resolve();
    MainLoop& loop = MainLoop::main();

    std::printf("launch_bench: %d assistant tiles %s, ", tiles, withHooks ? "with hooks" : "without hooks");
    if (home == root / "home") std::printf("each CLI burning %.0f s before it prints; %s", burn, busy ? "a busy loop" : "no busy loop");
    else std::printf("the CLI of %s; %s", home.c_str(), busy ? "a busy loop" : "no busy loop");
    if (load > 0) std::printf(" and %d more for the first %.0f s", load, loadFor);
    std::printf("; all on core %d; opened %s; a %gx%g GTK window\n", core, together ? "in one turn" : "one a turn",
                windowSize.width, windowSize.height);
    std::vector<TileRecord> records;
    // Made in full first: the poster thread reads the records made so far while more are made.
    records.reserve(static_cast<size_t>(tiles));
    std::atomic<size_t> recordCount{0};
    Lateness posted, timed;
    {
        quiltdeck::HookServer::Options hooks{0, 0, &loop, {}};
        auto grid = std::make_unique<quiltdeck::GridController>(
            [&](const quiltdeck::TileRequest& request, uint16_t port) {
                quiltdeck::Session::Services services;
                services.loop = &loop;
                // Probed and found without --settings: no hooks.
                services.capabilities = [withHooks] { return quiltdeck::ClaudeCapabilities::Snapshot{!withHooks, {}}; };
                auto session = quiltdeck::Session::open(quiltdeck::SessionTile::arguments(request, port), services);
                TileRecord record;
                record.session = session;
                records.push_back(std::move(record));
                recordCount.store(records.size());
                return std::make_unique<quiltdeck::SessionTile>(std::move(session));
            },
            hooks);
        grid->viewDidLoad();
        auto window = std::make_unique<ShownWindow>(windowSize);
        window->show();
        window->setContentView(&grid->view());
        window->setKeyWindow(true);
        loop.runUntil([] { return false; }, 1s);

        std::vector<pid_t> loaders;
        for (int i = 0; i < load; ++i) loaders.push_back(spin());
        // Ended off the loop, which may be starved.
        std::thread unloader([&loaders, loadFor] {
            std::this_thread::sleep_for(std::chrono::duration<double>(loadFor));
            for (pid_t pid : loaders) stopSpinning(pid);
        });
        const TimePoint start = Clock::now();
        const size_t framesBefore = window->frames;
        std::atomic<bool> probing{true};
        std::thread poster([&] {
            while (probing.load()) {
                const TimePoint at = Clock::now();
                loop.post([&posted, at, start] { posted.add(ms(Clock::now() - at), seconds(at - start)); });
                // Off the loop, which may be starved: when each CLI wrote.
                for (size_t i = 0; i < recordCount.load(); ++i) {
                    TileRecord& r = records[i];
                    const std::optional<uint64_t> written = r.session->view().process().outputWritten();
                    if (!r.wroteAt && (!written || *written > firstBytes)) r.wroteAt = seconds(at - start);
                }
                std::this_thread::sleep_for(probeInterval);
            }
        });
        std::shared_ptr<platform::runtime::WorkItem> probe;
        std::function<void(TimePoint)> arm = [&](TimePoint due) {
            probe = std::make_shared<platform::runtime::WorkItem>([&, due] {
                const TimePoint now = Clock::now();
                timed.add(ms(now - due), seconds(due - start));
                const double at = seconds(now - start);
                for (TileRecord& r : records) {
                    if (!r.upAt && r.session->booted()) {
                        r.upAt = at;
                        r.blankWhenUp = blank(*r.session);
                    }
                    if (!r.shownAt && !blank(*r.session)) r.shownAt = at;
                    if (!r.screenAt && showsStartScreen(*r.session)) r.screenAt = at;
                    auto& process = r.session->view().process();
                    const std::optional<uint64_t> written = process.outputWritten();
                    if (written && *written > firstBytes && !r.deliveredAt && process.outputDelivered() >= *written)
                        r.deliveredAt = at;
                }
                arm(now + probeInterval);
            });
            loop.postAt(due, probe);
        };
        arm(start + probeInterval);
        // One tile a turn of the loop, as a launch restores them.
        int opened = 0;
        std::function<void()> openNext = [&] {
            quiltdeck::TileRequest request;
            request.name = "tile" + std::to_string(++opened);
            request.cwd = (home / "projects" / request.name).string();
            fs::create_directories(request.cwd);
            if (grid->open(request)) records.back().openedAt = seconds(Clock::now() - start);
            if (opened < tiles && together) openNext();
            else if (opened < tiles) loop.post(openNext);
        };
        loop.post(openNext);
        auto done = [&] {
            return opened == tiles &&
                   std::all_of(records.begin(), records.end(), [](const TileRecord& r) { return r.upAt && r.shownAt && r.screenAt; });
        };
        loop.runUntil(done, std::chrono::duration_cast<platform::runtime::Duration>(std::chrono::duration<double>(runLimit)));
        const double took = seconds(Clock::now() - start);
        const size_t frames = window->frames - framesBefore;
        probing = false;
        poster.join();
        unloader.join();
        probe->cancel();

        const auto reasons = reasonsFromLog();
        for (TileRecord& r : records) {
            if (auto it = reasons.find(r.session->id().substr(0, 8)); it != reasons.end()) r.why = it->second;
        }
        std::printf("  work late: posted p50 %7.1f ms   p99 %7.1f ms   max %7.1f ms (%zu)   timed p50 %7.1f ms   p99 %7.1f ms   "
                    "max %7.1f ms (%zu)\n",
                    posted.percentile(50), posted.percentile(99), posted.max(), posted.values.size(), timed.percentile(50),
                    timed.percentile(99), timed.max(), timed.values.size());
        std::printf("  the most late in each second (posted, ms):");
        for (double most : posted.secondMost) std::printf(" %.0f", most);
        std::printf("\n  frames drawn: %zu in %.1f s (%.1f a second)\n", frames, took, frames / took);
        std::printf("  tile   opened    up at   by\n");
        vantel::bench::Stats limitFired;
        int byLimit = 0, blankAtLimit = 0, byScreen = 0, byHook = 0, neverUp = 0;
        int overWaitingOutput = 0;
        double blankIdle = 0;
        // Up before the CLI's own screen showed: idle over what the login shell printed, or nothing.
        vantel::bench::Stats aheadOfScreen;
        for (size_t i = 0; i < records.size(); ++i) {
            const TileRecord& r = records[i];
            const bool limited = r.why.find("no start screen") != std::string::npos;
            std::printf("  %4zu %7.2f s %8s   %s\n", i + 1, r.openedAt, r.upAt ? formatted("%.2f s", *r.upAt).c_str() : "never",
                        describe(r).c_str());
            if (r.upAt && r.screenAt && *r.upAt < *r.screenAt - 0.05) aheadOfScreen.add(*r.screenAt - *r.upAt);
            if (!r.upAt) ++neverUp;
            else if (limited) {
                ++byLimit;
                limitFired.add(*r.upAt - r.openedAt);
                if (r.blankWhenUp) ++blankAtLimit;
                // Its CLI had written its screen, which still waited to be read.
                if (r.blankWhenUp && r.wroteAt && *r.wroteAt <= *r.upAt) ++overWaitingOutput;
                if (r.blankWhenUp && r.shownAt) blankIdle = std::max(blankIdle, *r.shownAt - *r.upAt);
            } else if (r.why.rfind("hook", 0) == 0) {
                ++byHook;
            } else {
                ++byScreen;
            }
        }
        std::printf("  up by the start limit %d (fired %.1f-%.1f s after opening, p50 %.1f s), by a hook %d, by the screen %d, "
                    "never %d; by the limit over a blank terminal %d, %d of them with the CLI's output waiting (the longest "
                    "%.1f s before the CLI's screen came)\n",
                    byLimit, limitFired.values.empty() ? 0 : *std::min_element(limitFired.values.begin(), limitFired.values.end()),
                    limitFired.max(), limitFired.percentile(50), byHook, byScreen, neverUp, blankAtLimit, overWaitingOutput, blankIdle);
        std::printf("  up before the CLI's own screen showed: %zu (by %.1f-%.1f s); the screen never showed: %zu\n",
                    aheadOfScreen.values.size(),
                    aheadOfScreen.values.empty() ? 0 : *std::min_element(aheadOfScreen.values.begin(), aheadOfScreen.values.end()),
                    aheadOfScreen.max(),
                    static_cast<size_t>(std::count_if(records.begin(), records.end(), [](const TileRecord& r) { return !r.screenAt; })));
        grid->killAll();
        window->setContentView(nullptr);
        grid.reset();
        loop.runUntil([] { return false; }, 300ms);
    }
    stopSpinning(spinner);
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return 0;
}
