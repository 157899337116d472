// Feeds one benchmark payload to Vantel over and over, for profiling with perf or
// callgrind:  feed_profile <payload> [cols rows] [rounds] [--steady]
// --steady keeps one terminal for every round (scroll-back already full), otherwise
// each round starts a fresh terminal as the engine benchmark does. SB=n in the environment
// sets the scroll-back (default 10000), to tell memory stalls from work.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>

#include "BenchPayloads.h"
#include "vantel/core/Terminal.h"

namespace {
class Sink : public vantel::TerminalDelegate {
public:
    void send(vantel::Terminal&, std::span<const uint8_t>) override {}
};
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: feed_profile <payload> [cols rows] [rounds] [--steady]\n");
        return 2;
    }
    bool steady = false;
    int positional[3] = {80, 24, 4};
    int count = 0;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--steady") == 0) steady = true;
        else if (count < 3) positional[count++] = std::atoi(argv[i]);
    }
    vantel::bench::Geometry geometry{positional[0], positional[1]};
    const int rounds = positional[2];
    auto payload = vantel::bench::makePayload(argv[1], geometry, vantel::bench::payloadSize(argv[1], 8 << 20),
                                              vantel::bench::benchmarkSeed);
    std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(payload.bytes.data()), payload.bytes.size());

    Sink sink;
    vantel::TerminalOptions options;
    options.cols = geometry.cols;
    options.rows = geometry.rows;
    options.scrollback = std::getenv("SB") ? std::atoi(std::getenv("SB")) : 10000;
    std::unique_ptr<vantel::Terminal> terminal;
    double best = 1e9;
    for (int round = 0; round < rounds; ++round) {
        if (!terminal || !steady) terminal = std::make_unique<vantel::Terminal>(&sink, options);
        auto start = std::chrono::steady_clock::now();
        for (size_t at = 0; at < bytes.size(); at += 65536) terminal->feed(bytes.subspan(at, std::min<size_t>(65536, bytes.size() - at)));
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = std::min(best, seconds);
    }
    std::printf("%s %dx%d: %.1f MiB/s (best of %d%s)\n", argv[1], geometry.cols, geometry.rows,
                bytes.size() / best / (1 << 20), rounds, steady ? ", steady" : "");
    return 0;
}
