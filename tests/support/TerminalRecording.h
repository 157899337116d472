#pragma once

// What a terminal tells its host, recorded as text, without any test framework: a delegate
// that records every call, a virtual-clock scheduler and a snapshot of both screens. The
// tests and the fuzz targets share them.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vantel/core/Terminal.h"

namespace vantel::testing {

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
    void payloadCodesUsedUp(Terminal&) override { events.push_back("payloadCodesUsedUp"); }

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

}  // namespace vantel::testing
