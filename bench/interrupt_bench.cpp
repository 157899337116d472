// Keys typed while a Ctrl+C waits for the program that reads its terminal, behind a foreground
// group of many processes (a build's jobs, a launcher's helpers): the Ctrl+C is held (its reader
// never reads) while the writer looks at the group every few milliseconds. Prints how long each key
// typed into that tile held the loop (its send), and how long a key typed into another tile right
// after took to come back as its echo.
//   interrupt_bench [--group N] [--keys N] [--every-ms N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/runtime/MainLoop.h"
#include "vantel/host/LocalProcess.h"
#include "vantel/host/PseudoTerminalHelpers.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using platform::runtime::MainLoop;

class Sink : public vantel::LocalProcessDelegate {
public:
    void processTerminated(vantel::LocalProcess&, std::optional<int32_t>) override { ended = true; }
    void dataReceived(std::span<const uint8_t> slice) override { seen.append(slice.begin(), slice.end()); }
    winsize getWindowSize() override { return winsize{24, 80, 0, 0}; }
    std::string seen;
    bool ended = false;
};

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())))];
}

void print(const char* what, const std::vector<double>& ms) {
    std::printf("  %-34s p50 %7.3f ms  p99 %7.3f ms  max %7.3f ms  (%zu keys)\n", what, percentile(ms, 0.5),
                percentile(ms, 0.99), ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()), ms.size());
}

int usage() {
    std::fprintf(stderr, "usage: interrupt_bench [--group N] [--keys N] [--every-ms N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int group = 300, keys = 100, everyMs = 20;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--group" && hasValue) group = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--keys" && hasValue) keys = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--every-ms" && hasValue) everyMs = std::max(1, std::atoi(argv[++i]));
        else return usage();
    }
    // The other tile: every key comes back as its echo.
    Sink echoes;
    vantel::LocalProcess other(&echoes);
    other.startProcess("/bin/sh", {"-c", "stty -icanon; echo ready; exec cat"});
    // The held tile: the group's leader never reads, its helpers sleep (in its group, as a shell
    // without job control starts them).
    Sink held;
    vantel::LocalProcess tile(&held);
    tile.startProcess("/bin/sh", {"-c", "i=1; while [ $i -lt " + std::to_string(group) +
                                            " ]; do sleep 600 & i=$((i+1)); done; echo ready; exec sleep 600"});
    const auto ready = [](Sink& sink) { return sink.seen.find("ready") != std::string::npos; };
    if (!MainLoop::main().runUntil([&] { return ready(echoes) && ready(held); }, 60s)) {
        std::fprintf(stderr, "the children did not start\n");
        return 1;
    }
    // Held from here until the reader's bound; the keys are typed within it.
    const uint8_t interrupt = 0x03;
    tile.sendWhenRead({&interrupt, 1});
    const auto heldSince = Clock::now();
    std::vector<double> sendMs, echoMs;
    const uint8_t key = 'x';
    for (int i = 0; i < keys && Clock::now() - heldSince < vantel::LocalProcess::readerWaitLimit - 200ms; ++i) {
        const size_t before = echoes.seen.size();
        const auto typed = Clock::now();
        tile.send({&key, 1});
        const auto sent = Clock::now();
        other.send({&key, 1});
        MainLoop::main().runUntil([&] { return echoes.seen.size() > before; }, 10s);
        sendMs.push_back(std::chrono::duration<double, std::milli>(sent - typed).count());
        echoMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - typed).count());
        MainLoop::main().runUntil([] { return false; }, std::chrono::milliseconds(everyMs));
    }
    std::printf("a Ctrl+C held in a foreground group of %d processes, a key every %d ms:\n", group, everyMs);
    print("send into the held tile", sendMs);
    print("key to echo in another tile", echoMs);
    // One walk of the group, as the writer makes it at most every foregroundLookAge.
    std::vector<double> walkMs;
    for (int i = 0; i < 20; ++i) {
        const auto start = Clock::now();
        const auto found = vantel::PseudoTerminalHelpers::foreground(tile.childfd(), tile.shellPid());
        walkMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (found.readers.empty()) std::printf("  no reader found\n");
    }
    std::printf("  one walk of the group: p50 %.3f ms, max %.3f ms\n", percentile(walkMs, 0.5),
                *std::max_element(walkMs.begin(), walkMs.end()));
    const auto figures = tile.writeFigures();
    std::printf("  waits that ran to their bound: reader %zu, interrupt %zu\n", figures.readerWaitsPastLimit,
                figures.interruptWaitsPastLimit);
    tile.terminate();
    other.terminate();
    MainLoop::main().runUntil([] { return false; }, 100ms);
    return 0;
}
