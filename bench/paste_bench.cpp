// Pastes a large text from a stand-in clipboard owner into a terminal view whose child reads it on
// a pseudo-terminal, and prints how long until the child had it all, the most pasted text the view
// held waiting, what the owner had handed over by then and the process's peak memory. The owner
// hands over 64 KiB parts, four a loop turn (as a pipe or an X11 transfer does; --part-kib and
// --parts change that), and waits while its reader's read-ahead is full, as the clipboard backends do.
//   paste_bench [--mib N] [--endless] [--presses N] [--every-ms N] [--child-mbps N] [--seconds S]
//               [--part-kib N] [--parts N]
// --endless: an owner that never ends (the read is cut at the 1 GiB limit); --child-mbps: a child
// that reads about that many MB a second (else as fast as it can); --seconds: Ctrl+C after that
// long, and the figures up to then.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "platform/runtime/MainLoop.h"
#include "platform/ui/Pasteboard.h"
#include "vantel/view/LocalProcessTerminalView.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using platform::runtime::MainLoop;
using platform::ui::Pasteboard;

// A kernel's figure from /proc/self/status, in MiB.
double statusMib(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::strtod(line.c_str() + std::strlen(field) + 1, nullptr) / 1024;
    }
    return 0;
}

class PumpingOwner : public Pasteboard::Backend {
public:
    PumpingOwner(size_t bytes, bool endless, size_t partBytes, int partsPerTurn)
        : bytes_(bytes), endless_(endless), partsPerTurn_(partsPerTurn) {
        // Lines of text, as a log or a source file copied.
        for (size_t i = 0; part_.size() < partBytes; ++i) part_ += (i % 80 == 79) ? '\n' : static_cast<char>('a' + i % 26);
        part_.resize(partBytes);
    }
    void write(const std::optional<std::string>&) override {}
    Pasteboard::CancelRead readItems(Pasteboard::ItemsReader reader) override {
        reader.done({}, {});
        return {};
    }
    Pasteboard::CancelRead readText(Pasteboard::TextReader reader, size_t limit) override {
        auto read = std::make_shared<Read>();
        read->reader = std::move(reader);
        read->end = endless_ ? limit : std::min(bytes_, limit);
        read->cut = endless_ || bytes_ > limit;
        ++reads;
        step(read);
        return [read] { read->over = true; };
    }
    size_t given = 0;
    int reads = 0, ended = 0;

private:
    struct Read {
        Pasteboard::TextReader reader;
        size_t given = 0, end = 0;
        bool cut = false, over = false;
    };
    void step(std::shared_ptr<Read> read) {
        MainLoop::main().post([this, read] {
            if (read->over) return;
            for (int part = 0; part < partsPerTurn_ && read->given < read->end; ++part) {
                if (read->reader.ahead && read->reader.ahead->full()) {
                    return read->reader.ahead->whenRoom([this, read] { step(read); });
                }
                const size_t length = std::min(part_.size(), read->end - read->given);
                read->given += length;
                given += length;
                read->reader.piece(part_.substr(0, length));
            }
            if (read->given < read->end) return step(read);
            read->over = true;
            ++ended;
            read->reader.end({read->cut ? Pasteboard::ReadEnd::How::tooLarge : Pasteboard::ReadEnd::How::whole});
        });
    }
    size_t bytes_;
    bool endless_;
    int partsPerTurn_;
    std::string part_;
};

// A view that knows when its child is ready.
class SinkView : public vantel::LocalProcessTerminalView {
public:
    using LocalProcessTerminalView::LocalProcessTerminalView;
    void dataReceived(std::span<const uint8_t> slice) override {
        seen.append(slice.begin(), slice.end());
        feed(slice);
    }
    std::string seen;
};

int usage() {
    std::fprintf(stderr, "usage: paste_bench [--mib N] [--endless] [--presses N] [--every-ms N] [--child-mbps N] [--seconds S] "
                         "[--part-kib N] [--parts N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    size_t mib = 200;
    bool endless = false;
    int presses = 1, everyMs = 700;
    double childMbps = 0, seconds = 0;
    size_t partKib = 64;
    int parts = 4;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--mib" && hasValue) mib = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--endless") endless = true;
        else if (arg == "--presses" && hasValue) presses = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--every-ms" && hasValue) everyMs = std::atoi(argv[++i]);
        else if (arg == "--child-mbps" && hasValue) childMbps = std::atof(argv[++i]);
        else if (arg == "--seconds" && hasValue) seconds = std::atof(argv[++i]);
        else if (arg == "--part-kib" && hasValue) partKib = std::max<size_t>(1, std::strtoull(argv[++i], nullptr, 10));
        else if (arg == "--parts" && hasValue) parts = std::max(1, std::atoi(argv[++i]));
        else return usage();
    }
    auto backend = std::make_unique<PumpingOwner>(mib << 20, endless, partKib << 10, parts);
    PumpingOwner& owner = *backend;
    Pasteboard::general().setBackend(std::move(backend));

    vantel::TerminalOptions options = vantel::TerminalOptions::defaultOptions();
    options.cols = 80;
    options.rows = 24;
    SinkView view(platform::gfx::Rect{}, nullptr, options);
    // No echo, no line editing: every byte goes to the reader as it is.
    std::string reader = "exec cat >/dev/null";
    if (childMbps > 0) {
        const long chunk = static_cast<long>(childMbps * 1e6 / 20);
        reader = "while :; do head -c " + std::to_string(chunk) + " >/dev/null; sleep 0.05; done";
    }
    view.startProcess("/bin/sh", {"-c", "stty raw -echo; echo ready; " + reader});
    if (!MainLoop::main().runUntil([&] { return view.seen.find("ready") != std::string::npos; }, 10s)) {
        std::fprintf(stderr, "the child did not start\n");
        return 1;
    }
    const double baseMib = statusMib("VmRSS:");
    size_t mostHeld = 0;
    double mostRss = baseMib;
    const auto start = Clock::now();
    for (int press = 0; press < presses; ++press) {
        MainLoop::main().postAfter(std::chrono::milliseconds(press * everyMs),
                                   [&view] { view.pasteText(Pasteboard::general(), true, true); });
    }
    const auto drained = [&] {
        mostHeld = std::max(mostHeld, view.pasteBytesWaiting());
        return owner.ended == presses && view.pasteBytesWaiting() == 0 &&
               view.process().inputRoom() == vantel::LocalProcess::writeQueueLimit;
    };
    // Sampled every 50 ms besides: what the owner has handed over that the child has not taken.
    std::shared_ptr<platform::runtime::WorkItem> sampler;
    std::function<void()> sample = [&] {
        mostHeld = std::max(mostHeld, view.pasteBytesWaiting());
        mostRss = std::max(mostRss, statusMib("VmRSS:"));
        sampler = MainLoop::main().postAfter(50ms, sample);
    };
    sample();
    const auto limit = seconds > 0 ? std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)) : 600s;
    const bool whole = MainLoop::main().runUntil(drained, limit);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    sampler->cancel();
    const double taken = static_cast<double>(owner.given - view.pasteBytesWaiting()) / 1e6;
    std::printf("%s owner, %d press(es) %d ms apart, child %s: %s after %.2f s\n", endless ? "endless" : (std::to_string(mib) + " MiB").c_str(),
                presses, everyMs, childMbps > 0 ? (std::to_string(static_cast<int>(childMbps)) + " MB/s").c_str() : "as fast as it reads",
                whole ? "all went to the child" : "stopped", elapsed);
    std::printf("  handed over by the owner %.1f MB, went out to the child %.1f MB (%.1f MB/s)\n", owner.given / 1e6, taken,
                taken / elapsed);
    std::printf("  most held by the view %.1f MB; memory %.0f MiB before, %.0f MiB at most (VmHWM %.0f MiB)\n", mostHeld / 1e6,
                baseMib, mostRss, statusMib("VmHWM:"));
    if (!whole) {
        platform::ui::KeyEvent ctrlC;
        ctrlC.type = platform::ui::KeyEvent::Type::down;
        ctrlC.key = platform::ui::Key::character;
        ctrlC.characters = "\x03";
        ctrlC.charactersIgnoringModifiers = "c";
        ctrlC.modifiers = platform::ui::Modifier::control;
        view.keyDown(ctrlC);
        MainLoop::main().runUntil([] { return false; }, 200ms);
    }
    view.terminate();
    Pasteboard::general().setBackend(nullptr);
    return 0;
}
