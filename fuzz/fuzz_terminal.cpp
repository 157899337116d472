// Feeds arbitrary bytes to a terminal, split where the input says, and exercises
// the read-back paths. Any crash, leak or sanitizer report is a bug.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "vantel/core/Terminal.h"

namespace {

class SinkDelegate : public vantel::TerminalDelegate {
public:
    void send(vantel::Terminal&, std::span<const uint8_t>) override {}
};

class ImmediateScheduler : public vantel::Scheduler {
public:
    struct Item : vantel::Cancellable {
        void cancel() override {}
    };
    std::shared_ptr<vantel::Cancellable> scheduleAfter(double, std::function<void()>) override {
        return std::make_shared<Item>();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    SinkDelegate delegate;
    ImmediateScheduler scheduler;
    vantel::TerminalOptions options;
    options.cols = 2 + data[0] % 100;
    options.rows = 1 + data[1] % 40;
    options.scrollback = data[2] % 50;
    options.maximumStringLength = 4096;
    // A small quota, so that short inputs reach it.
    options.maximumPayloadCodes = 64;
    vantel::Terminal terminal(&delegate, options, &scheduler);
    terminal.silentLog = true;

    std::span<const uint8_t> rest(data + 3, size - 3);
    // Split the stream into runs whose lengths come from the stream itself.
    size_t at = 0;
    while (at < rest.size()) {
        size_t n = 1 + rest[at] % 64;
        n = std::min(n, rest.size() - at);
        terminal.feed(rest.subspan(at, n));
        at += n;
    }
    for (int row = 0; row < terminal.rows(); ++row) {
        auto* line = terminal.getLine(row);
        if (!line) continue;
        (void)line->translateToString(true);
        // However many marks arrive, a cell holds a cluster of at most 32 scalars.
        for (int col = 0; col < line->count(); ++col) {
            if (terminal.getCharacter((*line)[col]).size() > 32) std::abort();
        }
    }
    terminal.garbageCollectPayload();
    if (terminal.payloadCodes().size() > options.maximumPayloadCodes) std::abort();
    return 0;
}
