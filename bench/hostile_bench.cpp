// Feeds hostile output to a headless terminal and prints, per stream, the bytes
// taken, MiB/s and the peak resident memory, so that a change that loses a
// bound shows. Each stream runs in a child process of its own (its peak is its
// own), under an address-space cap and a time cap: a stream that runs out of
// either is reported as such instead of taking the machine down.
//
//   hostile_bench [--mib N] [--seconds S] [--cap-mib M] [stream ...]
//
// The clipboard streams need an X display (tests/smoke/on_xvfb.sh build/release/bench/hostile_bench
// clip-58 clip-500 clip-paste-500): another program there is this one, started again as
// `hostile_bench --clipboard-owner MIB`, owning the clipboard with a text of that size.
#include <fcntl.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/runtime/GLibMainLoop.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/Window.h"
#include "platform/ui/gtk/Toolkit.h"
#include "vantel/core/Base64.h"
#include "vantel/core/Character.h"
#include "vantel/graphics/TerminalGraphics.h"
#include "vantel/host/HeadlessTerminal.h"
#include "vantel/view/InlineImages.h"
#include "vantel/view/LocalProcessTerminalView.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Settings {
    size_t bytes = size_t{64} << 20;
    double seconds = 30;
    size_t capBytes = size_t{4} << 30;
};

// The next piece of a stream; empty when it has nothing more.
using Generator = std::function<std::string()>;

// Repeats `unit(n)` for n = 0, 1, ... in pieces of about 128 KiB.
Generator repeating(std::function<std::string(uint64_t)> unit) {
    return [unit, n = uint64_t{0}]() mutable {
        std::string piece;
        while (piece.size() < 128 * 1024) piece += unit(n++);
        return piece;
    };
}

std::string zlibBomb() {
    const std::string zeros(size_t{10000} * 10000 * 4, '\0');
    uLongf size = compressBound(zeros.size());
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(zeros.data()), zeros.size(),
              9);
    out.resize(size);
    return vantel::Base64::encode({reinterpret_cast<const uint8_t*>(out.data()), out.size()});
}

struct Result {
    size_t fed = 0;
    double seconds = 0;
    std::string note;
};

// a=T of the zlib bomb, a new id each time.
Generator kittyBombs() {
    return repeating([body = zlibBomb()](uint64_t n) {
        return "\x1b_Ga=T,q=2,f=32,o=z,s=10000,v=10000,c=1,r=1,i=" + std::to_string(n + 1) + ";" + body + "\x1b\\";
    });
}

// Runs `run` with the base64 name of a sparse file of `size` bytes, removed afterwards.
Result withSparseFile(off_t size, const std::function<Result(const std::string& name)>& run) {
    char path[] = "/tmp/hostile-bench-sparse-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0 || ::ftruncate(fd, size) != 0) {
        if (fd >= 0) ::close(fd);
        ::unlink(path);
        return Result{0, 0, "no sparse file"};
    }
    ::close(fd);
    Result result = run(vantel::Base64::encode({reinterpret_cast<const uint8_t*>(path), std::strlen(path)}));
    ::unlink(path);
    return result;
}

// Puts bitmaps on the lines as a terminal view does (a 100 x 25 view of 8 x 16 point cells at
// scale 2), instead of keeping them as the headless host does.
class ViewLikeHeadless : public vantel::HeadlessTerminal {
public:
    using HeadlessTerminal::HeadlessTerminal;
    void createImageFromBitmap(vantel::Terminal& source, std::vector<uint8_t>& bytes, int width, int height) override {
        vantel::InlineImages::createImageFromBitmap(source, {{800, 400}, {8, 16}, 2}, bytes, width, height);
    }
};

// Feeds in-process, through the host's own entry for child output.
template <class Host = vantel::HeadlessTerminal>
Result feedHeadless(const Settings& settings, vantel::TerminalOptions options, Generator next,
                    const std::function<std::string(vantel::HeadlessTerminal&)>& describe = {}) {
    platform::runtime::GLibMainLoop loop;
    platform::runtime::ScopedMainLoop scope(loop);
    Host headless(nullptr, std::move(options), [](std::optional<int32_t>) {});
    Result result;
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::duration<double>(settings.seconds);
    while (result.fed < settings.bytes && Clock::now() < deadline) {
        const std::string piece = next();
        if (piece.empty()) break;
        headless.dataReceived({reinterpret_cast<const uint8_t*>(piece.data()), piece.size()});
        result.fed += piece.size();
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (describe) result.note = describe(headless);
    return result;
}

double threadCpuMs() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The longest the loop went without running a 1 ms tick, and the most processor time its
// thread used between two ticks (which time spent descheduled on a busy machine does not inflate).
struct StallWatch {
    explicit StallWatch(platform::runtime::MainLoop& loop)
        : ticker(loop.scheduleRepeating(1ms, [this] {
              const auto now = Clock::now();
              const double cpuMs = threadCpuMs();
              longestStall = std::max(longestStall, now - lastTick);
              mostCpuMs = std::max(mostCpuMs, cpuMs - lastCpuMs);
              lastTick = now;
              lastCpuMs = cpuMs;
          })) {}
    void stop() { ticker->cancel(); }
    double longestMs() const { return std::chrono::duration<double, std::milli>(longestStall).count(); }

    Clock::duration longestStall{};
    double mostCpuMs = 0;
    Clock::time_point lastTick = Clock::now();
    double lastCpuMs = threadCpuMs();
    std::shared_ptr<platform::runtime::WorkItem> ticker;
};

// A real child writes the stream from a file and never reads its input.
class CountingHeadless : public vantel::HeadlessTerminal {
public:
    using HeadlessTerminal::HeadlessTerminal;
    void dataReceived(std::span<const uint8_t> slice) override {
        received += slice.size();
        HeadlessTerminal::dataReceived(slice);
    }
    size_t received = 0;
};

Result feedFromChild(const Settings& settings, vantel::TerminalOptions options, Generator next) {
    char path[] = "/tmp/hostile-bench-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) return {0, 0, "no temporary file"};
    size_t total = 0;
    while (total < settings.bytes) {
        const std::string piece = next();
        if (piece.empty() || ::write(fd, piece.data(), piece.size()) != static_cast<ssize_t>(piece.size())) break;
        total += piece.size();
    }
    ::close(fd);

    platform::runtime::GLibMainLoop loop;
    platform::runtime::ScopedMainLoop scope(loop);
    CountingHeadless headless(nullptr, std::move(options), [](std::optional<int32_t>) {});
    StallWatch stalls(loop);
    const auto start = Clock::now();
    headless.process().startProcess("/bin/sh",
                                    {"-c", std::string("stty raw -echo; cat '") + path + "'; exec sleep 1000"});
    loop.runUntil([&] { return headless.received >= total; },
                  std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(settings.seconds)));
    Result result{headless.received, std::chrono::duration<double>(Clock::now() - start).count(), {}};
    stalls.stop();
    const auto figures = headless.process().writeFigures();
    headless.process().terminate();
    ::unlink(path);
    char note[200];
    std::snprintf(note, sizeof note,
                  "longest loop stall %.1f ms (%.1f ms of processor), replies queued at most %.1f MiB, %zu dropped",
                  stalls.longestMs(), stalls.mostCpuMs, figures.peakQueuedBytes / 1048576.0, figures.droppedReplies);
    result.note = note;
    return result;
}

// A paste of 58 MB into a view whose child reads everything (bracketed paste on): how long the main
// loop stalls, and how many bytes reach the child.
Result pasteIntoView(const Settings& settings) {
    char path[] = "/tmp/hostile-bench-paste-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) return {0, 0, "no temporary file"};
    ::close(fd);
    std::string text;
    for (uint64_t n = 0; text.size() < size_t{58} << 20; ++n) {
        text += "line " + std::to_string(n) + "\tthe quick brown fox jumps over the lazy dog\n";
    }
    const size_t expected = text.size() + 12;  // and the two brackets

    platform::runtime::GLibMainLoop loop;
    platform::runtime::ScopedMainLoop scope(loop);
    vantel::LocalProcessTerminalView view(platform::gfx::Rect{0, 0, 800, 400});
    view.startProcess("/bin/sh", {"-c", std::string("stty raw -echo; exec cat > '") + path + "'"});
    view.feed(std::string_view("\x1b[?2004h"));
    loop.runUntil([] { return false; }, std::chrono::milliseconds(200));
    auto written = [&] {
        struct stat info {};
        return ::stat(path, &info) == 0 ? static_cast<size_t>(info.st_size) : size_t{0};
    };
    StallWatch stalls(loop);
    const auto start = Clock::now();
    view.insertText(text, {}, true);
    const auto limit = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(settings.seconds));
    loop.runUntil([&] { return written() >= expected; }, limit);
    Result result{written(), std::chrono::duration<double>(Clock::now() - start).count(), {}};
    stalls.stop();
    view.terminate();
    ::unlink(path);
    char note[200];
    std::snprintf(note, sizeof note, "longest loop stall %.1f ms (%.1f ms of processor), %zu of %zu bytes reached the child",
                  stalls.longestMs(), stalls.mostCpuMs, result.fed, expected);
    result.note = note;
    return result;
}

vantel::TerminalOptions sized(int cols, int rows) {
    vantel::TerminalOptions options;
    options.cols = cols;
    options.rows = rows;
    return options;
}

// Draws what is dirty as a toolkit's frame clock does: at most 60 frames a second.
class PacedWindow : public platform::ui::Window {
public:
    PacedWindow(platform::gfx::Size size, double scale) : Window(size, scale) {
        if (needsDisplay()) scheduleDisplay();
    }
    ~PacedWindow() override {
        if (pending_) pending_->cancel();
    }
    size_t frames = 0;

protected:
    void scheduleDisplay() override {
        if (pending_) return;
        auto& loop = platform::runtime::MainLoop::main();
        pending_ = std::make_shared<platform::runtime::WorkItem>([this] {
            pending_.reset();
            last_ = Clock::now();
            displayIfNeeded();
            ++frames;
        });
        const auto due = last_ + std::chrono::nanoseconds(16'666'667);
        if (due <= Clock::now()) loop.post(pending_);
        else loop.postAt(due, pending_);
    }

private:
    std::shared_ptr<platform::runtime::WorkItem> pending_;
    Clock::time_point last_{};
};

// Ten a=T of 10000x10000 pictures named by file (t=f, 400 MB each) from a real child, into a
// terminal view in a headless window that draws its frames: how long the main loop stalls while
// the pictures arrive, are made ready for drawing and replace one another.
Result picturesIntoView(const Settings& settings, const std::string& name, const char* placement) {
    std::string stream;
    for (int n = 1; n <= 10; ++n) {
        stream += "\x1b[H\x1b_Ga=T,q=2,t=f,f=32,s=10000,v=10000,C=1," + std::string(placement) + "i=" + std::to_string(n) +
                  ";" + name + "\x1b\\";
    }
    char path[] = "/tmp/hostile-bench-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) return {0, 0, "no temporary file"};
    const bool written = ::write(fd, stream.data(), stream.size()) == static_cast<ssize_t>(stream.size());
    ::close(fd);
    if (!written) return {0, 0, "no temporary file"};

    platform::runtime::GLibMainLoop loop;
    platform::runtime::ScopedMainLoop scope(loop);
    vantel::TerminalOptions options = sized(80, 25);
    struct CountingView : vantel::LocalProcessTerminalView {
        using LocalProcessTerminalView::LocalProcessTerminalView;
        void dataReceived(std::span<const uint8_t> slice) override {
            received += slice.size();
            feed(slice);
        }
        size_t received = 0;
    };
    auto view = std::make_unique<CountingView>(platform::gfx::Rect{}, platform::gfx::Font::systemFont(13), options);
    view->scroller().setHidden(true);
    const platform::gfx::Rect size = view->getOptimalFrameSize();
    PacedWindow window({size.width, size.height}, 2);
    window.setContentView(view.get());
    window.setKeyWindow(true);
    loop.runUntil([] { return false; }, std::chrono::milliseconds(300));

    StallWatch stalls(loop);
    const auto start = Clock::now();
    view->startProcess("/bin/sh", {"-c", std::string("stty raw -echo; cat '") + path + "'; exec sleep 1000"});
    const auto limit = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(settings.seconds));
    loop.runUntil([&] { return view->received >= stream.size(); }, limit);
    // Then until what arrived is drawn, and a little longer for what is let go of afterwards.
    loop.runUntil([&] { return !view->kittyPictures().busy() && !window.needsDisplay(); }, limit);
    loop.runUntil([] { return false; }, std::chrono::seconds(1));
    Result result{view->received, std::chrono::duration<double>(Clock::now() - start).count(), {}};
    stalls.stop();
    view->terminate();
    window.setContentView(nullptr);
    ::unlink(path);
    char note[200];
    std::snprintf(note, sizeof note, "longest loop stall %.1f ms (%.1f ms of processor), %zu frames, %llu pictures made",
                  stalls.longestMs(), stalls.mostCpuMs, window.frames,
                  static_cast<unsigned long long>(view->kittyPictures().made()));
    result.note = note;
    return result;
}

// Pastes of 4 KiB to a child that reads nothing: what the host queues for it stays bounded.
Result sendToSilentChild(const Settings& settings) {
    platform::runtime::GLibMainLoop loop;
    platform::runtime::ScopedMainLoop scope(loop);
    vantel::TerminalOptions options;
    vantel::HeadlessTerminal headless(nullptr, std::move(options), [](std::optional<int32_t>) {});
    headless.process().startProcess("/bin/sh", {"-c", "stty raw -echo; exec sleep 1000"});
    loop.runUntil([] { return false; }, std::chrono::milliseconds(200));
    const std::string paste(4096, 'p');
    Result result;
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::duration<double>(settings.seconds);
    while (result.fed < settings.bytes && Clock::now() < deadline) {
        headless.process().send({reinterpret_cast<const uint8_t*>(paste.data()), paste.size()});
        result.fed += paste.size();
        if (result.fed % (1 << 20) == 0) loop.runUntil([] { return false; }, std::chrono::milliseconds(0));
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const auto figures = headless.process().writeFigures();
    headless.process().terminate();
    char note[128];
    std::snprintf(note, sizeof note, "queued at most %.1f MiB, %zu pastes refused", figures.peakQueuedBytes / 1048576.0,
                  figures.refusedInputs);
    result.note = note;
    return result;
}

// The clipboard's text of another program: ASCII lines, exactly `bytes` long.
std::string clipboardText(size_t bytes) {
    std::string text;
    text.reserve(bytes + 64);
    for (uint64_t n = 0; text.size() < bytes; ++n) text += "line " + std::to_string(n) + " the quick brown fox jumps\n";
    text.resize(bytes);
    return text;
}

// `hostile_bench --clipboard-owner MIB`: owns the clipboard with that text until it is ended, as an
// editor that copied it would; says "owned" on standard output once it does.
int ownClipboard(size_t mib) {
    if (!gtk_init_check(nullptr, nullptr)) return 1;
    static const std::string text = clipboardText(mib << 20);
    const GtkTargetEntry targets[] = {{const_cast<gchar*>("UTF8_STRING"), 0, 0},
                                      {const_cast<gchar*>("text/plain;charset=utf-8"), 0, 0}};
    auto provide = [](GtkClipboard*, GtkSelectionData* data, guint, gpointer) {
        gtk_selection_data_set(data, gtk_selection_data_get_target(data), 8, reinterpret_cast<const guchar*>(text.data()),
                               static_cast<gint>(text.size()));
    };
    if (!gtk_clipboard_set_with_data(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), targets, 2, provide, nullptr, nullptr))
        return 1;
    std::printf("owned\n");
    std::fflush(stdout);
    gtk_main();
    return 0;
}

// The other program, started before this process opens the display, ended by its process id.
class ClipboardOwner {
public:
    explicit ClipboardOwner(size_t mib) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            ::close(fds[0]);
            ::close(fds[1]);
            const std::string size = std::to_string(mib);
            ::execl("/proc/self/exe", "hostile_bench", "--clipboard-owner", size.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        said_ = fds[0];
        ::fcntl(said_, F_SETFL, O_NONBLOCK);
    }
    ~ClipboardOwner() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (said_ >= 0) ::close(said_);
    }
    bool owns() {
        char buffer[16];
        if (!owned_ && said_ >= 0 && ::read(said_, buffer, sizeof buffer) > 0) owned_ = true;
        return owned_;
    }

private:
    pid_t pid_ = -1;
    int said_ = -1;
    bool owned_ = false;
};

bool openDisplay() {
    int argc = 0;
    return std::getenv("DISPLAY") && platform::ui::gtk::Toolkit::start(&argc, nullptr);
}

// Another program copies `mib` MiB while nothing is pasted: how long the main loop stalls from
// the copy until the pasteboard has read it (if it does) and let go of what it read.
Result anotherProgramCopies(const Settings& settings, size_t mib) {
    ClipboardOwner owner(mib);
    if (!openDisplay()) return {0, 0, "needs an X display (tests/smoke/on_xvfb.sh)"};
    platform::runtime::GLibMainLoop loop(platform::runtime::GLibMainLoop::ContextChoice::programDefault);
    platform::runtime::ScopedMainLoop scope(loop);
    auto& board = platform::ui::Pasteboard::general();
    const auto limit = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(settings.seconds));
    StallWatch stalls(loop);
    const int changes = board.changeCount();
    if (!loop.runUntil([&] { return owner.owns(); }, limit)) return {0, 0, "the other program did not take the clipboard"};
    const auto start = Clock::now();
    // A pasteboard that reads every new owner's text has it here when it is done.
    const bool read = loop.runUntil([&] { return board.string() && board.string()->size() == mib << 20; },
                                    std::min(limit, std::chrono::nanoseconds(std::chrono::seconds(15))));
    loop.runUntil([] { return false; }, std::chrono::milliseconds(1500));
    Result result{read ? mib << 20 : 0, std::chrono::duration<double>(Clock::now() - start).count(), {}};
    stalls.stop();
    char note[200];
    std::snprintf(note, sizeof note, "longest loop stall %.1f ms (%.1f ms of processor), %d changes seen, text %s",
                  stalls.longestMs(), stalls.mostCpuMs, board.changeCount() - changes, read ? "read" : "not read");
    result.note = note;
    return result;
}

// Another program copied `mib` MiB; the view pastes it (bracketed paste on) to a child that reads it
// all: how long the loop stalls before the first bytes reach the child, and over the whole paste.
Result pasteAnotherProgramsCopy(const Settings& settings, size_t mib) {
    ClipboardOwner owner(mib);
    if (!openDisplay()) return {0, 0, "needs an X display (tests/smoke/on_xvfb.sh)"};
    char path[] = "/tmp/hostile-bench-paste-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) return {0, 0, "no temporary file"};
    ::close(fd);
    platform::runtime::GLibMainLoop loop(platform::runtime::GLibMainLoop::ContextChoice::programDefault);
    platform::runtime::ScopedMainLoop scope(loop);
    auto& board = platform::ui::Pasteboard::general();
    const auto limit = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(settings.seconds));
    vantel::LocalProcessTerminalView view(platform::gfx::Rect{0, 0, 800, 400});
    view.startProcess("/bin/sh", {"-c", std::string("stty raw -echo; exec cat > '") + path + "'"});
    view.feed(std::string_view("\x1b[?2004h"));
    if (!loop.runUntil([&] { return owner.owns(); }, limit)) return {0, 0, "the other program did not take the clipboard"};
    // Whatever the change of owner sets off is over before the paste.
    loop.runUntil([&] { return board.string() && board.string()->size() == mib << 20; }, std::chrono::seconds(15));
    loop.runUntil([] { return false; }, std::chrono::milliseconds(1500));
    auto written = [&] {
        struct stat info {};
        return ::stat(path, &info) == 0 ? static_cast<size_t>(info.st_size) : size_t{0};
    };
    const size_t expected = (mib << 20) + 12;  // and the two brackets
    StallWatch stalls(loop);
    const auto start = Clock::now();
    view.paste();
    loop.runUntil([&] { return written() > 0; }, limit);
    const double firstMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const double firstStall = stalls.longestMs();
    loop.runUntil([&] { return written() >= expected; }, limit);
    Result result{written(), std::chrono::duration<double>(Clock::now() - start).count(), {}};
    loop.runUntil([] { return false; }, std::chrono::milliseconds(1500));
    stalls.stop();
    view.terminate();
    ::unlink(path);
    char note[240];
    std::snprintf(note, sizeof note,
                  "first bytes after %.0f ms, longest loop stall before them %.1f ms, over the paste %.1f ms (%.1f ms of "
                  "processor), %zu of %zu bytes reached the child",
                  firstMs, firstStall, stalls.longestMs(), stalls.mostCpuMs, result.fed, expected);
    result.note = note;
    return result;
}

struct Stream {
    const char* name;
    const char* what;
    std::function<Result(const Settings&)> run;
};

std::vector<Stream> streams() {
    return {
        {"marks", "one letter, then U+0301 without end",
         [](const Settings& s) {
             return feedHeadless(s, sized(80, 25), [first = true]() mutable {
                 std::string piece = std::exchange(first, false) ? "a" : "";
                 for (int i = 0; i < 65536; ++i) piece += "\xcc\x81";
                 return piece;
             });
         }},
        {"marks-mixed", "letters, each with 40 marks from U+0300..U+036F in a varying order",
         [](const Settings& s) {
             return feedHeadless(s, sized(80, 25), repeating([](uint64_t n) {
                 std::string unit(1, static_cast<char>('a' + n % 26));
                 uint64_t state = n * 0x9E3779B97F4A7C15ull + 1;
                 for (int i = 0; i < 40; ++i) {
                     state ^= state << 13;
                     state ^= state >> 7;
                     state ^= state << 17;
                     vantel::appendUtf8(unit, static_cast<char32_t>(0x300 + state % 0x70));
                 }
                 return unit + (n % 80 == 79 ? "\r\n" : "");
             }));
         }},
        {"letters", "lines of letters, fed in-process: the figure marks compare with",
         [](const Settings& s) {
             return feedHeadless(s, sized(80, 25), repeating([](uint64_t n) {
                 return "line " + std::to_string(n) + " the quick brown fox jumps over the lazy dog\r\n";
             }));
         }},
        {"kitty-bomb", "a=T of a zlib-compressed 10000x10000 image, a new id each time",
         [](const Settings& s) { return feedHeadless(s, sized(80, 25), kittyBombs()); }},
        {"kitty-count", "a=t of 1x1 images, a new id each time",
         [](const Settings& s) {
             return feedHeadless(s, sized(80, 25), repeating([](uint64_t n) {
                 return "\x1b_Ga=t,q=2,f=24,s=1,v=1,i=" + std::to_string(n + 1) + ";CgoU\x1b\\";
             }));
         }},
        {"kitty-file", "t=f of a 400 MB sparse file that claims a 1x1 image, over and over",
         [](const Settings& s) {
             return withSparseFile(off_t{400} << 20, [&](const std::string& name) {
                 return feedHeadless(s, sized(80, 25), repeating([name](uint64_t n) {
                     return "\x1b_Ga=t,q=2,t=f,f=32,s=1,v=1,i=" + std::to_string(n % 1000 + 1) + ";" + name + "\x1b\\";
                 }));
             });
         }},
        {"kitty-z-pty", "the kitty-bomb stream from a real child: the load goes in steps, the loop stays free",
         [](const Settings& s) { return feedFromChild(s, sized(80, 25), kittyBombs()); }},
        {"kitty-f-pty", "t=f of a 400 MB file that is a 10000x10000 picture, from a real child",
         [](const Settings& s) {
             return withSparseFile(off_t{400'000'000}, [&](const std::string& name) {
                 return feedFromChild(s, sized(80, 25), repeating([name](uint64_t n) {
                     return "\x1b_Ga=t,q=2,t=f,f=32,s=10000,v=10000,i=" + std::to_string(n % 1000 + 1) + ";" + name +
                            "\x1b\\";
                 }));
             });
         }},
        {"kitty-f-view", "ten t=f 10000x10000 pictures, each shown in 40x20 cells, into a view drawing frames",
         [](const Settings& s) {
             return withSparseFile(off_t{400'000'000},
                                   [&](const std::string& name) { return picturesIntoView(s, name, "c=40,r=20,"); });
         }},
        {"sixel", "DCS q \"1;1;9999;9999 #1!9999~ ST, kept by the headless host",
         [](const Settings& s) {
             return feedHeadless(s, sized(80, 25), repeating([](uint64_t) {
                 return std::string("\x1bPq\"1;1;9999;9999#1!9999~\x1b\\");
             }), [](vantel::HeadlessTerminal& h) {
                 size_t bytes = 0;
                 for (const auto& image : h.images()) bytes += image.bytes.size();
                 return std::to_string(h.images().size()) + " images kept, " + std::to_string(bytes >> 20) + " MiB";
             });
         }},
        {"sixel-view", "the same Sixel stream on every row in turn, put on the lines as the view puts it",
         [](const Settings& s) {
             return feedHeadless<ViewLikeHeadless>(s, sized(80, 25), repeating([](uint64_t n) {
                 return "\x1b[" + std::to_string(n % 25 + 1) + "H\x1bPq\"1;1;9999;9999#1!9999~\x1b\\";
             }), [](vantel::HeadlessTerminal& h) {
                 const vantel::KittyGraphics* kitty = vantel::kittyGraphicsOf(h.terminal());
                 return kitty ? std::to_string(kitty->memory().heldBytes() >> 20) + " MiB of pictures on the lines"
                              : std::string("no graphics");
             });
         }},
        {"links", "OSC 8 with a new target each time",
         [](const Settings& s) {
             return feedHeadless(s, sized(80, 25), repeating([](uint64_t n) {
                 return "\x1b]8;;https://example.com/" + std::to_string(n) + "\x1b\\x\x1b]8;;\x1b\\" +
                        (n % 80 == 79 ? "\r\n" : "");
             }), [](vantel::HeadlessTerminal& h) {
                 return std::to_string(h.terminal().payloadCodes().size()) + " payload codes held";
             });
         }},
        {"replies", "DA and OSC 4 queries from a child that never reads (real child)",
         [](const Settings& s) {
             return feedFromChild(s, sized(80, 25),
                                  repeating([](uint64_t) { return std::string("\x1b[c\x1b]4;1;?\x07"); }));
         }},
        {"input", "the host sends 4 KiB pastes to a child that never reads (real child)",
         [](const Settings& s) { return sendToSilentChild(s); }},
        {"paste-view", "a 58 MB bracketed paste into a view whose child reads it all",
         [](const Settings& s) { return pasteIntoView(s); }},
        {"clip-58", "another program copies 58 MiB, nothing pasted (X display)",
         [](const Settings& s) { return anotherProgramCopies(s, 58); }},
        {"clip-500", "another program copies 500 MiB, nothing pasted (X display)",
         [](const Settings& s) { return anotherProgramCopies(s, 500); }},
        {"clip-paste-500", "the view pastes another program's 500 MiB copy (X display)",
         [](const Settings& s) { return pasteAnotherProgramsCopy(s, 500); }},
        {"plain", "lines of letters (real child): the delivery path's own pace, for comparison",
         [](const Settings& s) {
             return feedFromChild(s, sized(80, 25), repeating([](uint64_t n) {
                 return "line " + std::to_string(n) + " the quick brown fox jumps over the lazy dog\r\n";
             }));
         }},
        {"slow", "DECALN on a 4096x2048 screen (real child)",
         [](const Settings& s) {
             return feedFromChild(s, sized(4096, 2048), repeating([](uint64_t) { return std::string("\x1b#8"); }));
         }},
    };
}

// Runs one stream in a child; prints its line.
void runInChild(const Stream& stream, const Settings& settings) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return;
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        // The host's log lines (a refused paste, dropped replies) would drown the table.
        const int quiet = ::open("/dev/null", O_WRONLY);
        if (quiet >= 0) {
            ::dup2(quiet, STDOUT_FILENO);
            ::dup2(quiet, STDERR_FILENO);
            ::close(quiet);
        }
        rlimit cap{settings.capBytes, settings.capBytes};
        ::setrlimit(RLIMIT_AS, &cap);
        // A stream that ignores the time cap (one slow command) is stopped from outside.
        ::alarm(static_cast<unsigned>(settings.seconds * 3 + 30));
        vantel::installGraphicsProtocols();
        const Result result = stream.run(settings);
        char line[512];
        const int n = std::snprintf(line, sizeof line, "%zu %.6f %s", result.fed, result.seconds, result.note.c_str());
        [[maybe_unused]] ssize_t written = ::write(pipeFds[1], line, static_cast<size_t>(n));
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string out;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double peakMiB = usage.ru_maxrss / 1024.0;
    size_t fed = 0;
    double seconds = 0;
    int used = 0;
    if (WIFEXITED(status) && std::sscanf(out.c_str(), "%zu %lf %n", &fed, &seconds, &used) >= 2) {
        std::printf("%-12s %10.2f %9.2f %10.1f %9.1f  %s\n", stream.name, fed / 1048576.0, seconds,
                    seconds > 0 ? fed / 1048576.0 / seconds : 0.0, peakMiB, out.c_str() + used);
    } else {
        const char* how = WIFSIGNALED(status) ? strsignal(WTERMSIG(status)) : "failed";
        std::printf("%-12s %10s %9s %10s %9.1f  died: %s\n", stream.name, "-", "-", "-", peakMiB, how);
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--clipboard-owner") return ownClipboard(std::strtoull(argv[2], nullptr, 10));
    Settings settings;
    std::vector<std::string> only;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--mib" && i + 1 < argc) {
            settings.bytes = std::strtoull(argv[++i], nullptr, 10) << 20;
        } else if (arg == "--seconds" && i + 1 < argc) {
            settings.seconds = std::strtod(argv[++i], nullptr);
        } else if (arg == "--cap-mib" && i + 1 < argc) {
            settings.capBytes = std::strtoull(argv[++i], nullptr, 10) << 20;
        } else if (arg.rfind("--", 0) == 0) {
            std::fprintf(stderr, "usage: hostile_bench [--mib N] [--seconds S] [--cap-mib M] [stream ...]\n");
            return 2;
        } else {
            only.push_back(arg);
        }
    }
    std::printf("each stream up to %zu MiB or %.0f s, address space capped at %zu MiB\n", settings.bytes >> 20,
                settings.seconds, settings.capBytes >> 20);
    std::printf("%-12s %10s %9s %10s %9s  %s\n", "stream", "MiB fed", "seconds", "MiB/s", "peak MiB", "note");
    for (const Stream& stream : streams()) {
        if (!only.empty() && std::find(only.begin(), only.end(), stream.name) == only.end()) continue;
        runInChild(stream, settings);
    }
    return 0;
}
