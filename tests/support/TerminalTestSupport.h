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

#include "support/TerminalRecording.h"
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
