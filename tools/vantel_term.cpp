// One terminal in a window: a local-process terminal view running the user's shell, or a program.
//   vantel-term [--cols N] [--rows N] [--font-size PT] [--font FAMILY] [--dump-screen] [--gpu] [--debug]
//               [-- program [args...]]
// The window starts at the grid's size, follows resizes and the program's titles, and closes when
// the program ends. --dump-screen prints the last screen on standard output at the end, and when
// the view was scrolled back then, the rows it showed after a line "-- scrolled back N lines --".
// --gpu draws through the GPU renderer and reports its status on standard error as it changes;
// when the renderer cannot be made, the reason is reported and the view draws itself. --debug
// opens a second window with the buffer's debug view. The exit status is the program's.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/MainLoop.h"
#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/HiddenCharacters.h"
#include "platform/ui/gtk/Toolkit.h"
#include "platform/ui/gtk/ToolkitWindow.h"
#include "tools/FindProgram.h"
#include "vantel/gpu/GpuTerminalRenderer.h"
#include "vantel/view/LocalProcessTerminalView.h"
#include "vantel/view/TerminalDebugView.h"

extern char** environ;

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: vantel-term [--cols N] [--rows N] [--font-size PT] [--font FAMILY] [--dump-screen] [--gpu] "
                 "[--debug] [-- program [args...]]\n");
    return 2;
}

// The program's own environment with the terminal's variables in place of any it had.
std::vector<std::string> childEnvironment() {
    std::vector<std::string> env;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string text = *entry;
        if (text.rfind("TERM=", 0) == 0 || text.rfind("COLORTERM=", 0) == 0) continue;
        env.push_back(text);
    }
    env.push_back("TERM=xterm-256color");
    env.push_back("COLORTERM=truecolor");
    return env;
}

void dumpRows(vantel::Terminal& terminal, int first) {
    vantel::Buffer& buffer = terminal.buffer();
    for (int row = first; row < first + terminal.rows() && row < buffer.lines().count(); ++row) {
        const std::string text = buffer.lines()[row].translateToString(
            true, 0, -1, true, [&](const vantel::CharData& cell) { return terminal.getCharacter(cell); });
        std::string printable;
        for (char c : text) printable += c == '\0' ? ' ' : c;
        std::printf("%s\n", printable.c_str());
    }
}

void dumpScreen(vantel::Terminal& terminal) {
    vantel::Buffer& buffer = terminal.buffer();
    dumpRows(terminal, buffer.yBase());
    if (buffer.yDisp() < buffer.yBase()) {
        std::printf("-- scrolled back %d lines --\n", buffer.yBase() - buffer.yDisp());
        dumpRows(terminal, buffer.yDisp());
    }
    std::fflush(stdout);
}

class Owner : public vantel::LocalProcessTerminalViewDelegate {
public:
    explicit Owner(platform::ui::gtk::ToolkitWindow& window) : window_(window) {}
    void sizeChanged(vantel::LocalProcessTerminalView&, int, int) override {}
    void setTerminalTitle(vantel::LocalProcessTerminalView&, const std::string& title) override {
        // A program's title: nothing in it may reorder or hide what the title bar shows.
        const std::string shown = platform::ui::HiddenCharacters::dropped(title);
        window_.setTitle(shown.empty() ? "vantel-term" : shown);
    }
    void hostCurrentDirectoryUpdate(vantel::TerminalView&, const std::optional<std::string>&) override {}
    void processTerminated(vantel::TerminalView&, std::optional<int32_t> exitCode) override {
        status = exitCode;
        ended = true;
        platform::runtime::MainLoop::main().quit();
    }
    std::optional<int32_t> status;
    bool ended = false;

private:
    platform::ui::gtk::ToolkitWindow& window_;
};

}  // namespace

int main(int argc, char** argv) {
    vantel::TerminalOptions options;
    options.rows = 24;
    double fontSize = platform::gfx::Font::systemFontSize;
    std::string family = "monospace";
    bool dump = false;
    bool gpu = false;
    bool debug = false;
    int at = 1;
    for (; at < argc; ++at) {
        const std::string arg = argv[at];
        auto number = [&](double& target) {
            if (at + 1 >= argc) return false;
            char* end = nullptr;
            target = std::strtod(argv[++at], &end);
            return end && *end == '\0' && target > 0 && target < 1e5;
        };
        double value = 0;
        if (arg == "--") {
            ++at;
            break;
        } else if (arg == "--cols" && number(value)) {
            options.cols = static_cast<int>(value);
        } else if (arg == "--rows" && number(value)) {
            options.rows = static_cast<int>(value);
        } else if (arg == "--font-size" && number(value)) {
            fontSize = value;
        } else if (arg == "--font" && at + 1 < argc) {
            family = argv[++at];
        } else if (arg == "--dump-screen") {
            dump = true;
        } else if (arg == "--gpu") {
            gpu = true;
        } else if (arg == "--debug") {
            debug = true;
        } else {
            return usage();
        }
    }
    std::string program;
    std::vector<std::string> args;
    if (at < argc) {
        program = argv[at];
        args.assign(argv + at + 1, argv + argc);
    } else {
        const char* shell = std::getenv("SHELL");
        program = shell && *shell ? shell : "/bin/sh";
    }

    // Found as a shell finds it, before any window opens for a program that cannot start.
    const vantel::tools::Program found = vantel::tools::findProgram(program);
    if (!found.error.empty()) {
        std::fprintf(stderr, "vantel-term: %s: %s\n", program.c_str(), found.error.c_str());
        return found.status;
    }

    // The toolkit sees none of the arguments: they belong to the program ("--" included).
    int toolkitArgc = 1;
    char** toolkitArgv = argv;
    if (!platform::ui::gtk::Toolkit::start(&toolkitArgc, &toolkitArgv)) {
        std::fprintf(stderr, "vantel-term: cannot open the display\n");
        return 1;
    }

    platform::gfx::FontRef font = platform::gfx::Font::create(family, fontSize);
    if (!font) font = platform::gfx::Font::systemFont(fontSize);
    vantel::LocalProcessTerminalView view(platform::gfx::Rect{}, font, options);
    const platform::gfx::Rect optimal = view.getOptimalFrameSize();
    platform::ui::gtk::ToolkitWindow window({optimal.width, optimal.height}, "vantel-term");
    window.setContentView(&view);
    const platform::gfx::Size cell = *view.cellDimension();
    const double scroller = optimal.width - cell.width * view.getTerminal().cols();
    window.setResizeIncrements({scroller, 0}, cell);
    window.setMinimumSize({scroller + cell.width * 2, cell.height});
    Owner owner(window);
    view.processDelegate = &owner;
    window.onCloseRequest = [&] {
        // Closing the window ends the program; no exit report follows.
        view.terminate();
        platform::runtime::MainLoop::main().quit();
    };
    window.makeFirstResponder(&view);
    platform::runtime::NotificationCenter::Subscription gpuStatus;
    if (gpu) {
        vantel::GpuTerminalRenderer::install();
        gpuStatus = platform::runtime::NotificationCenter::defaultCenter().subscribe(
            vantel::terminalViewGpuRendererStatusDidChange,
            [&view, last = std::string()](const platform::runtime::Notification&) mutable {
                const std::string state = vantel::describe(view.gpuRendererStatus().state);
                if (state == last) return;
                last = state;
                std::fprintf(stderr, "vantel-term: GPU renderer %s\n", state.c_str());
            });
        if (auto error = view.setUseGpu(true))
            std::fprintf(stderr, "vantel-term: no GPU renderer (%s); the CPU renderer draws the view\n",
                         error->description().c_str());
    }
    window.show();
    // The buffer's slots beside the terminal, following its display updates.
    // The window goes first: it shows the view.
    std::unique_ptr<vantel::TerminalDebugView> debugView;
    std::unique_ptr<platform::ui::gtk::ToolkitWindow> debugWindow;
    if (debug) {
        debugWindow = std::make_unique<platform::ui::gtk::ToolkitWindow>(platform::gfx::Size{720, 480}, "vantel-term debug");
        debugView = std::make_unique<vantel::TerminalDebugView>(platform::gfx::Rect{0, 0, 720, 480}, view);
        debugWindow->setContentView(debugView.get());
        debugWindow->show();
    }
    view.startProcess(found.path, args, childEnvironment());
    if (!view.process().running()) {
        std::fprintf(stderr, "vantel-term: cannot start %s\n", program.c_str());
        return 127;
    }
    platform::runtime::MainLoop::main().run();
    // The last output that came with the exit.
    platform::runtime::MainLoop::main().runUntil([] { return false; }, std::chrono::milliseconds(50));
    if (dump) dumpScreen(view.getTerminal());
    debugWindow.reset();
    debugView.reset();
    view.processDelegate = nullptr;
    if (!owner.ended) view.terminate();
    if (!owner.status) return owner.ended ? 1 : 0;
    return WIFEXITED(*owner.status) ? WEXITSTATUS(*owner.status)
                                    : 128 + (WIFSIGNALED(*owner.status) ? WTERMSIG(*owner.status) : 0);
}
