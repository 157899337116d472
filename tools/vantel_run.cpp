// Runs a program on a pseudo-terminal behind the Vantel engine, with no window, and
// prints the screen it leaves behind as text:
//   vantel-run [--cols N] [--rows N] [--scrollback N] [--timeout SECONDS] [--all] -- program [args...]
// --all also prints the scroll-back above the screen. The program is found on PATH as a shell
// finds it and gets the caller's environment, with TERM and COLORTERM set for the engine. The
// exit status is the program's; one that cannot be started gets a line on standard error and
// the status a shell gives (127 not found, 126 not executable).
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/runtime/GLibMainLoop.h"
#include "vantel/graphics/TerminalGraphics.h"
#include "tools/FindProgram.h"
#include "vantel/host/HeadlessTerminal.h"

namespace {

using vantel::tools::findProgram;
using vantel::tools::Program;

// The caller's environment with the engine's TERM and COLORTERM in place of its own.
std::vector<std::string> childEnvironment() {
    std::vector<std::string> engine;
    for (const std::string& entry : vantel::Terminal::getEnvironmentVariables("xterm-256color", true)) {
        if (entry.starts_with("TERM=") || entry.starts_with("COLORTERM=")) engine.push_back(entry);
    }
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view text(*entry);
        if (text.starts_with("TERM=") || text.starts_with("COLORTERM=")) continue;
        env.emplace_back(text);
    }
    env.insert(env.end(), engine.begin(), engine.end());
    return env;
}

// The exit is reported as soon as the child is gone, while its last output may still wait in
// the terminal or in the host: runs the loop until the host has read to the end of the terminal
// and fed everything to the engine. Children of the program that keep the terminal open give no
// end; then it stops once nothing has come for a moment.
void feedWhatTheHostHolds(platform::runtime::MainLoop& loop, vantel::LocalProcess& process,
                          platform::runtime::Duration timeout) {
    constexpr auto quiet = std::chrono::milliseconds(200);
    size_t passes = process.deliveryFigures().drainPasses;
    auto lastDelivery = std::chrono::steady_clock::now();
    loop.runUntil(
        [&] {
            if (process.childfd() < 0 && !process.hasPendingOutput()) return true;
            const auto now = std::chrono::steady_clock::now();
            const size_t seen = process.deliveryFigures().drainPasses;
            if (seen != passes || process.hasPendingOutput()) {
                passes = seen;
                lastDelivery = now;
                return false;
            }
            return now - lastDelivery >= quiet;
        },
        timeout);
}

int usage() {
    std::fprintf(stderr,
                 "usage: vantel-run [--cols N] [--rows N] [--scrollback N] [--timeout SECONDS] [--all] -- program "
                 "[args...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    vantel::TerminalOptions options;
    double timeout = 30;
    bool all = false;
    int at = 1;
    for (; at < argc; ++at) {
        const std::string arg = argv[at];
        auto number = [&](int& target) {
            if (at + 1 >= argc) return false;
            target = std::atoi(argv[++at]);
            return true;
        };
        if (arg == "--") {
            ++at;
            break;
        } else if (arg == "--cols") {
            if (!number(options.cols)) return usage();
        } else if (arg == "--rows") {
            if (!number(options.rows)) return usage();
        } else if (arg == "--scrollback") {
            if (!number(options.scrollback)) return usage();
        } else if (arg == "--timeout" && at + 1 < argc) {
            timeout = std::atof(argv[++at]);
        } else if (arg == "--all") {
            all = true;
        } else {
            return usage();
        }
    }
    if (at >= argc) return usage();
    const std::string program = argv[at];
    const std::vector<std::string> args(argv + at + 1, argv + argc);
    const Program found = findProgram(program);
    if (!found.error.empty()) {
        std::fprintf(stderr, "vantel-run: %s: %s\n", program.c_str(), found.error.c_str());
        return found.status;
    }

    vantel::installGraphicsProtocols();
    platform::runtime::GLibMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    std::optional<int32_t> status;
    bool ended = false;
    vantel::HeadlessTerminal headless(&loop, options, [&](std::optional<int32_t> exitCode) {
        status = exitCode;
        ended = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                                 std::chrono::duration<double>(timeout));
    auto remaining = [&] {
        return std::chrono::duration_cast<platform::runtime::Duration>(
            std::max(deadline - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero()));
    };
    headless.process().startProcess(found.path, args, childEnvironment(), program);
    const bool finished = loop.runUntil([&] { return ended; }, remaining());
    if (finished) feedWhatTheHostHolds(loop, headless.process(), remaining());

    vantel::Terminal& terminal = headless.terminal();
    vantel::Buffer& buffer = terminal.buffer();
    const int first = all ? 0 : buffer.yBase();
    for (int row = first; row < buffer.yBase() + terminal.rows(); ++row) {
        const std::string text = buffer.lines()[row].translateToString(
            true, 0, -1, true, [&](const vantel::CharData& cell) { return terminal.getCharacter(cell); });
        std::string printable;
        for (char c : text) printable += c == '\0' ? ' ' : c;
        std::printf("%s\n", printable.c_str());
    }
    if (!finished) {
        std::fprintf(stderr, "vantel-run: %s still running after %.0f s; stopped it\n", program.c_str(), timeout);
        headless.process().terminate();
        return 124;
    }
    if (!status) return 1;
    // The raw wait status: the exit code sits in the high byte.
    return WIFEXITED(*status) ? WEXITSTATUS(*status) : 128 + (WIFSIGNALED(*status) ? WTERMSIG(*status) : 0);
}
