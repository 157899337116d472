#pragma once

// Helpers for tests of terminal views on the headless backend with the virtual clock: an owner
// that records what the view tells it, and views whose cells have an exact size.

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime/VirtualMainLoop.h"
#include "vantel/view/TerminalView.h"

namespace platform::gfx {
inline void PrintTo(const Rect& r, std::ostream* out) {
    *out << "{" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << "}";
}
inline void PrintTo(const Size& s, std::ostream* out) { *out << "{" << s.width << ", " << s.height << "}"; }
}  // namespace platform::gfx

namespace vantel::testing {

class RecordingViewOwner : public TerminalViewDelegate {
public:
    void sizeChanged(TerminalView&, int cols, int rows) override { sizes.emplace_back(cols, rows); }
    void setTerminalTitle(TerminalView&, const std::string& title) override { titles.push_back(title); }
    void hostCurrentDirectoryUpdate(TerminalView&, const std::optional<std::string>& d) override { directory = d; }
    void send(TerminalView&, std::span<const uint8_t> data) override {
        sent.append(data.begin(), data.end());
        ++sends;
        // A local process refuses a paste's write that does not fit (a key always goes in).
        if (room != SIZE_MAX && data.size() > room && data.size() > 64) ++overflows;
        if (room != SIZE_MAX) room -= std::min(room, data.size());
        if (queues) unread += data.size();
    }
    size_t inputRoom(TerminalView&) override { return room; }
    size_t inputUnread(TerminalView&) override { return unread; }
    void sendPasted(TerminalView& view, std::span<const uint8_t> data, uint64_t paste) override {
        send(view, data);
        if (queues) unreadPastes[paste] += data.size();
    }
    bool interruptKeySignals(TerminalView&) override { return !keysRaw; }
    bool interruptRelayed(TerminalView&) override { return relays; }
    // What of the pastes is still unread, all of it.
    std::map<uint64_t, size_t> takeBackPastes(TerminalView&, bool& flushed) override {
        flushed = false;
        for (const auto& [paste, bytes] : unreadPastes) unread -= std::min(unread, bytes);
        return std::exchange(unreadPastes, {});
    }
    void scrolled(TerminalView&, double position) override { positions.push_back(position); }
    void rangeChanged(TerminalView&, int startY, int endY) override { ranges.emplace_back(startY, endY); }
    void bell(TerminalView&) override { ++bells; }
    void clipboardCopy(TerminalView&, std::span<const uint8_t> content) override {
        copies.emplace_back(content.begin(), content.end());
    }
    std::optional<std::vector<uint8_t>> clipboardRead(TerminalView&) override {
        ++clipboardReads;
        if (!clipboard) return std::nullopt;
        return std::vector<uint8_t>(clipboard->begin(), clipboard->end());
    }

    std::vector<std::pair<int, int>> sizes;
    std::vector<std::string> titles;
    std::optional<std::string> directory;
    std::string sent;
    int sends = 0;
    size_t room = SIZE_MAX;  // what the owner takes before its child reads; SIZE_MAX: unlimited
    int overflows = 0;  // writes larger than the room left
    bool queues = false;  // what is sent waits in the owner, unread by its child, until `unread` is emptied
    bool keysRaw = false;  // its child reads its keys itself: the interrupt key makes no signal
    bool relays = false;   // and sends them on to a terminal where it does (a relay)
    size_t unread = 0;
    std::map<uint64_t, size_t> unreadPastes;  // of `unread`, the pastes' text
    std::vector<double> positions;
    std::vector<std::pair<int, int>> ranges;
    int bells = 0;
    std::vector<std::string> copies;
    std::optional<std::string> clipboard;
    int clipboardReads = 0;
};

// A view (TerminalView or a subclass) whose cell has the given size, whatever its font. Made with
// an empty frame the grid is the options' one.
template <class Base = TerminalView>
class FixedCellView : public Base {
public:
    template <class... Args>
    FixedCellView(platform::gfx::Size cell, Args&&... args) : Base(std::forward<Args>(args)...), cell_(cell) {
        this->resetFont();
    }
    platform::gfx::Size computeFontDimensions() const override { return cell_; }

private:
    platform::gfx::Size cell_;
};

inline TerminalOptions gridOptions(int cols, int rows) {
    TerminalOptions options = TerminalOptions::defaultOptions();
    options.cols = cols;
    options.rows = rows;
    return options;
}

}  // namespace vantel::testing
