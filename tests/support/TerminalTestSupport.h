#pragma once

// Shared helpers for engine tests: a delegate that records what it is told, a
// virtual-clock scheduler, and a terminal bundled with both.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vantel/core/Terminal.h"

namespace vantel::testing {

inline std::span<const uint8_t> asBytes(std::string_view s) {
    return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

inline std::string repeat(std::string_view text, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += text;
    return out;
}

// A terminal option setter: `n` lines of scroll-back.
inline std::function<void(TerminalOptions&)> scrollback(int n) {
    return [n](TerminalOptions& o) { o.scrollback = n; };
}

// Runs scheduled work when the test advances time.
class VirtualScheduler : public Scheduler {
public:
    struct Item : Cancellable {
        double due;
        uint64_t order;
        std::function<void()> work;
        bool cancelled = false;
        void cancel() override { cancelled = true; }
    };

    std::shared_ptr<Cancellable> scheduleAfter(double seconds, std::function<void()> work) override {
        auto item = std::make_shared<Item>();
        item->due = now + seconds;
        item->order = nextOrder++;
        item->work = std::move(work);
        items.push_back(item);
        return item;
    }

    // Runs everything due up to now + seconds, in time order.
    void advance(double seconds) {
        const double target = now + seconds;
        for (;;) {
            std::shared_ptr<Item> next;
            for (auto& item : items) {
                if (item->cancelled || item->due > target) continue;
                if (!next || item->due < next->due || (item->due == next->due && item->order < next->order)) next = item;
            }
            if (!next) break;
            now = next->due;
            items.erase(std::find(items.begin(), items.end(), next));
            next->work();
        }
        now = target;
        items.erase(std::remove_if(items.begin(), items.end(), [](auto& i) { return i->cancelled; }), items.end());
    }

    size_t pending() const {
        return std::count_if(items.begin(), items.end(), [](auto& i) { return !i->cancelled; });
    }

    double now = 0;
    uint64_t nextOrder = 0;
    std::vector<std::shared_ptr<Item>> items;
};

// Records every delegate call as a line of text, and every reply.
class RecordingDelegate : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t> data) override {
        sends.emplace_back(data.begin(), data.end());
    }
    void setTerminalTitle(Terminal&, const std::string& title) override { events.push_back("title:" + title); }
    void setTerminalIconTitle(Terminal&, const std::string& title) override { events.push_back("icon:" + title); }
    void bell(Terminal&) override { events.push_back("bell"); }
    void synchronizedOutputChanged(Terminal&, bool active) override {
        events.push_back(std::string("sync:") + (active ? "on" : "off"));
    }
    void bufferActivated(Terminal&) override { events.push_back("bufferActivated"); }
    void colorChanged(Terminal&, std::optional<int> index) override {
        events.push_back("colorChanged:" + (index ? std::to_string(*index) : std::string("all")));
    }
    void mouseModeChanged(Terminal&) override { events.push_back("mouseModeChanged"); }
    void scrolled(Terminal&, int yDisp) override { events.push_back("scrolled:" + std::to_string(yDisp)); }
    void linefeed(Terminal&) override { events.push_back("linefeed"); }
    void showCursor(Terminal&) override { events.push_back("showCursor"); }
    void hideCursor(Terminal&) override { events.push_back("hideCursor"); }
    void selectionChanged(Terminal&) override { events.push_back("selectionChanged"); }
    void cursorStyleChanged(Terminal&, CursorStyle style) override {
        events.push_back(std::string("cursorStyle:") + tagName(style));
    }
    void createImageFromBitmap(Terminal&, std::vector<uint8_t>& bytes, int width, int height) override {
        bitmaps.push_back({width, height, bytes});
    }

    // All replies concatenated.
    std::string replies() const {
        std::string out;
        for (const auto& s : sends) out.append(s.begin(), s.end());
        return out;
    }
    void clear() {
        sends.clear();
        events.clear();
        bitmaps.clear();
    }
    size_t count(const std::string& event) const { return std::count(events.begin(), events.end(), event); }

    // An RGBA bitmap handed over for display.
    struct Bitmap {
        int width = 0;
        int height = 0;
        std::vector<uint8_t> bytes;
    };

    std::vector<std::string> sends;
    std::vector<std::string> events;
    std::vector<Bitmap> bitmaps;
};

// Every line of both buffers with wrap flags, cell attributes and the cursor: two
// terminals that received the same bytes must give the same snapshot.
inline std::string screenSnapshot(Terminal& terminal) {
    std::string out;
    auto dump = [&](Buffer& buffer, const char* name) {
        for (const std::string& part : {std::string(name), std::string(" x="), std::to_string(buffer.x()),
                                        std::string(" y="), std::to_string(buffer.y()), std::string(" yBase="),
                                        std::to_string(buffer.yBase()), std::string(" count="),
                                        std::to_string(buffer.lines().count()), std::string("\n")}) {
            out += part;
        }
        for (int row = 0; row < buffer.lines().count(); ++row) {
            BufferLine& line = buffer.lines()[row];
            out += line.isWrapped() ? "+" : "|";
            for (int col = 0; col < line.count(); ++col) {
                const CharData& cell = line[col];
                if (cell.code == 0 && cell.attribute == Attribute::defaultAttribute && cell.width == 1) {
                    out += '.';
                    continue;
                }
                for (char32_t c : terminal.getCharacter(cell)) appendUtf8(out, c);
                out += '{';
                out += std::to_string(cell.width);
                out += ',';
                out += std::to_string(cell.attribute.hash());
                out += '}';
            }
            out += "\n";
        }
    };
    dump(terminal.normalBuffer(), "normal");
    dump(terminal.altBuffer(), "alt");
    out += "active=" + std::string(terminal.isCurrentBufferAlternate() ? "alt" : "normal") + "\n";
    return out;
}

// A terminal with a recording delegate and a virtual clock.
template <class Delegate = RecordingDelegate>
struct TestTerminalOf {
    explicit TestTerminalOf(int cols = 80, int rows = 25, std::function<void(TerminalOptions&)> configure = {}) {
        TerminalOptions options;
        options.cols = cols;
        options.rows = rows;
        if (configure) configure(options);
        terminal = std::make_unique<Terminal>(&delegate, options, &scheduler);
        delegate.clear();
    }
    Terminal& operator*() { return *terminal; }
    Terminal* operator->() { return terminal.get(); }
    void feed(std::string_view text) { terminal->feed(text); }

    // The visible row as text, trailing empty cells trimmed, clusters resolved.
    std::string row(int y) {
        BufferLine* line = terminal->getLine(y);
        if (!line) return {};
        return line->translateToString(true, 0, -1, true,
                                       [this](const CharData& c) { return terminal->getCharacter(c); });
    }
    // Every visible row as text.
    std::vector<std::string> rows() {
        std::vector<std::string> out;
        for (int y = 0; y < terminal->rows(); ++y) out.push_back(row(y));
        return out;
    }
    // Rows "r0", "r1", ... with the cursor after the last one.
    void fillRows() {
        for (int y = 0; y < terminal->rows(); ++y) feed((y ? "\r\nr" : "r") + std::to_string(y));
    }
    // What the terminal logs while reading `input` with logging on.
    std::string logged(std::string_view input) {
        terminal->silentLog = false;
        ::testing::internal::CaptureStdout();
        feed(input);
        return ::testing::internal::GetCapturedStdout();
    }
    std::pair<int, int> cursor() { return terminal->getCursorLocation(); }
    // The cell at a visible position (a blank cell outside the screen).
    CharData cell(int col, int row) { return terminal->getCharData(col, row).value_or(CharData::Null); }
    bool wrapped(int y) {
        BufferLine* line = terminal->getLine(y);
        return line && line->isWrapped();
    }
    // Mode switches for tests that do not go through SM/RM; the buffers mirror the terminal.
    void setWraparound(bool on) {
        terminal->wraparound = terminal->normalBuffer().wraparound = terminal->altBuffer().wraparound = on;
    }
    void setInsertMode(bool on) {
        terminal->insertMode = terminal->normalBuffer().insertMode = terminal->altBuffer().insertMode = on;
    }
    void setMarginMode(bool on) {
        terminal->marginMode = terminal->normalBuffer().marginMode = terminal->altBuffer().marginMode = on;
    }

    Delegate delegate;
    VirtualScheduler scheduler;
    std::unique_ptr<Terminal> terminal;
};

using TestTerminal = TestTerminalOf<>;

}  // namespace vantel::testing
