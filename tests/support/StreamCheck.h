#pragma once

// The parser's fast paths against its table walk alone: the same stream, fed in reads of any
// size with the fast paths, and fed one byte at a time through the table, must give the same
// calls and the same screen. Shared by the random tests and a fuzz target; no test framework.

#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "support/TerminalRecording.h"
#include "vantel/core/EscapeSequenceParser.h"
#include "vantel/core/Terminal.h"

namespace vantel::testing {

inline std::span<const uint8_t> bytesOf(std::string_view s) {
    return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

struct RecordingDcs : DcsHandler {
    std::vector<std::string>* events;
    explicit RecordingDcs(std::vector<std::string>* e) : events(e) {}
    void hook(std::string_view collect, std::span<const int>, uint8_t flag) override {
        events->push_back("hook:" + std::string(collect) + ":" + static_cast<char>(flag));
    }
    void put(std::span<const uint8_t> data) override {
        events->push_back("put:" + std::string(data.begin(), data.end()));
    }
    void unhook() override { events->push_back("unhook"); }
};

// Records the parser's output as text events instead of acting on a terminal.
struct RecordingParser : EscapeSequenceParser {
    std::vector<std::string> events;

    RecordingParser() : EscapeSequenceParser(nullptr) {
        printHandler = [this](Bytes data) { events.push_back("print:" + std::string(data.begin(), data.end())); };
        errorHandler = [this](const ParsingState& s) {
            events.push_back("error:" + std::to_string(s.code));
            return s;
        };
    }
    static std::string list(std::span<const int> pars) {
        std::string out;
        for (size_t i = 0; i < pars.size(); ++i) {
            if (i) out += ',';
            out += std::to_string(pars[i]);
        }
        return out;
    }
    void dispatchExecute(uint8_t code) override { events.push_back("exec:" + std::to_string(code)); }
    void dispatchCsi(uint8_t code, std::span<const int> pars, std::string_view collect) override {
        events.push_back("csi:" + std::string(collect) + ":" + list(pars) + ":" + std::string(parsTxt()) + ":" +
                         static_cast<char>(code));
    }
    void dispatchEsc(std::string_view collect, uint8_t code) override {
        events.push_back("esc:" + std::string(collect) + static_cast<char>(code));
    }
    void dispatchOsc(int64_t code, std::span<const uint8_t> data) override {
        events.push_back("osc:" + std::to_string(code) + ":" + std::string(data.begin(), data.end()));
    }
    void dispatchApc(uint8_t command, std::span<const uint8_t> content) override {
        events.push_back(std::string("apc:") + static_cast<char>(command) + ":" +
                         std::string(content.begin(), content.end()));
    }
    std::unique_ptr<DcsHandler> dispatchDcs(std::string_view, uint8_t, std::span<const int>) override {
        return std::make_unique<RecordingDcs>(&events);
    }

    std::vector<std::string> run(std::string_view input) {
        events.clear();
        parse(bytesOf(input));
        return events;
    }
};

// Calls as the reads' sizes cannot change them: adjacent print runs and DCS payload slices
// joined, the payload of a DCS string that never ends (cancelled: the payload of earlier
// reads was handed over, that of the cancelling read was not) left out, and error reports
// apart (a report comes before the text of its own read that precedes it, so its place among
// the prints depends on where reads end).
struct NormalizedCalls {
    std::vector<std::string> calls;
    std::vector<std::string> errors;
    friend bool operator==(const NormalizedCalls&, const NormalizedCalls&) = default;
};

inline NormalizedCalls normalizeCalls(const std::vector<std::string>& events) {
    NormalizedCalls out;
    for (const std::string& e : events) {
        if (e.rfind("error:", 0) == 0) {
            out.errors.push_back(e);
            continue;
        }
        bool joined = false;
        for (const char* kind : {"print:", "put:"}) {
            const std::string_view prefix(kind);
            if (e.rfind(prefix, 0) == 0 && !out.calls.empty() && out.calls.back().rfind(prefix, 0) == 0) {
                out.calls.back() += e.substr(prefix.size());
                joined = true;
            }
        }
        if (!joined) out.calls.push_back(e);
    }
    // Payload of a hook that no unhook follows.
    std::vector<std::string> kept;
    for (size_t i = 0; i < out.calls.size(); ++i) {
        const std::string& e = out.calls[i];
        if (e.rfind("put:", 0) == 0) {
            size_t next = i + 1;
            if (next == out.calls.size() || out.calls[next] != "unhook") continue;
        }
        kept.push_back(e);
    }
    out.calls = std::move(kept);
    return out;
}

// Feeds `stream` in reads that end after each offset in `cuts` (the rest in one last read).
template <class Feed>
void feedInReads(std::string_view stream, const std::vector<size_t>& cuts, Feed&& feed) {
    size_t at = 0;
    for (size_t cut : cuts) {
        if (cut <= at || cut > stream.size()) continue;
        feed(bytesOf(stream.substr(at, cut - at)));
        at = cut;
    }
    if (at < stream.size()) feed(bytesOf(stream.substr(at)));
}

// Everything a terminal shows and tells: both screens, replies, delegate calls, titles.
inline std::string terminalTranscript(Terminal& terminal, const RecordingDelegate& delegate) {
    std::string out = screenSnapshot(terminal);
    out += "replies=" + delegate.replies() + "\n";
    for (const std::string& e : delegate.events) out += "event " + e + "\n";
    for (const auto& bitmap : delegate.bitmaps) {
        out += "bitmap " + std::to_string(bitmap.width) + "x" + std::to_string(bitmap.height) + " " +
               std::to_string(std::hash<std::string_view>()(std::string_view(
                   reinterpret_cast<const char*>(bitmap.bytes.data()), bitmap.bytes.size()))) +
               "\n";
    }
    out += "title=" + terminal.terminalTitle + " icon=" + terminal.iconTitle + "\n";
    return out;
}

// The first way the table walk alone differs from the fast paths on `stream`, or nothing.
inline std::optional<std::string> tableWalkDifference(std::string_view stream, const std::vector<size_t>& cuts,
                                                      const TerminalOptions& options) {
    RecordingParser fast, table;
    table.setByteAtATime(true);
    fast.setByteAtATime(false);
    feedInReads(stream, cuts, [&](std::span<const uint8_t> read) { fast.parse(read); });
    table.parse(bytesOf(stream));
    const NormalizedCalls fastCalls = normalizeCalls(fast.events), tableCalls = normalizeCalls(table.events);
    if (fastCalls.calls != tableCalls.calls) {
        for (size_t i = 0; i < std::max(fastCalls.calls.size(), tableCalls.calls.size()); ++i) {
            const std::string a = i < fastCalls.calls.size() ? fastCalls.calls[i] : "(none)";
            const std::string b = i < tableCalls.calls.size() ? tableCalls.calls[i] : "(none)";
            if (a != b) return "call " + std::to_string(i) + ": fast paths " + a + ", table walk " + b;
        }
    }
    if (fastCalls.errors != tableCalls.errors) return std::string("error reports differ");

    RecordingDelegate fastDelegate, tableDelegate;
    VirtualScheduler scheduler;
    Terminal fastTerminal(&fastDelegate, options, &scheduler), tableTerminal(&tableDelegate, options, &scheduler);
    fastTerminal.parser().setByteAtATime(false);
    tableTerminal.parser().setByteAtATime(true);
    feedInReads(stream, cuts, [&](std::span<const uint8_t> read) { fastTerminal.feed(read); });
    tableTerminal.feed(bytesOf(stream));
    const std::string a = terminalTranscript(fastTerminal, fastDelegate);
    const std::string b = terminalTranscript(tableTerminal, tableDelegate);
    if (a != b) {
        size_t line = 0, at = 0;
        while (at < a.size() && at < b.size() && a[at] == b[at]) line += a[at++] == '\n';
        const size_t from = at > 60 ? at - 60 : 0;
        return "terminal transcripts differ in line " + std::to_string(line) + " at byte " + std::to_string(at) +
               ":\nfast paths: ..." + a.substr(from, 160) + "\ntable walk: ..." + b.substr(from, 160);
    }
    return std::nullopt;
}

// Random streams of four kinds, each aimed at one part of the parser and the print path.
class StreamMaker {
public:
    enum class Kind { bytes, utf8, graphemes, escapes };
    explicit StreamMaker(uint32_t seed) : rng_(seed) {}

    std::string make(Kind kind, size_t pieces) {
        std::string out;
        for (size_t i = 0; i < pieces; ++i) {
            switch (kind) {
            case Kind::bytes: out.push_back(static_cast<char>(pick(256))); break;
            case Kind::utf8: appendUtf8Piece(out); break;
            case Kind::graphemes: appendGraphemePiece(out); break;
            case Kind::escapes: appendEscapePiece(out); break;
            }
        }
        return out;
    }

    // Read boundaries anywhere, from single bytes to long reads.
    std::vector<size_t> cuts(size_t length) {
        std::vector<size_t> out;
        size_t at = 0;
        while (at < length) {
            at += 1 + static_cast<size_t>(pick(3) == 0 ? pick(4) : pick(40));
            out.push_back(at);
        }
        return out;
    }

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

private:
    std::string oneOf(std::initializer_list<const char*> items) {
        const int n = static_cast<int>(items.size());
        return *(items.begin() + pick(n));
    }

    void appendUtf8Piece(std::string& out) {
        switch (pick(8)) {
        case 0: out += oneOf({"\r\n", "\n", "\r", "\t", "\b"}); break;
        case 1: out += oneOf({"\xe2", "\xf0\x9f", "\xc3", "\xe2\x9c", "\x9c", "\xb3", "\xed\xa0\x80", "\xc0\xaf",
                              "\xf4\x90\x80\x80", "\xff", "\xe0\x80\xaf"});
            break;  // cut, stray, surrogate, overlong and out-of-range bytes
        default:
            out += oneOf({"hello ", "w\xc3\xb6rld", "\xce\xb1\xce\xb2\xce\xb3", "\xd0\xb6\xd1\x8b",
                          "\xe4\xb8\xad\xe6\x96\x87", "\xe3\x81\x8b\xe3\x81\xaa", "\xea\xb0\x80",
                          "\xe2\x9c\xb3 name", "\xe2\x9d\xaf", "\xe2\x9b\xb0", "\xf0\x9f\x98\x80", "\xef\xbc\xa1",
                          "\xc2\xa0", "x", "  "});
            break;
        }
    }

    void appendGraphemePiece(std::string& out) {
        out += oneOf({"e\xcc\x81", "\xcc\x81", "\xcc\xa3", "\xe2\x80\x8d", "\xef\xb8\x8f", "\xef\xb8\x8e",
                      "\xe2\x8c\x9a", "#", "\xe2\x9d\xa4", "\xf0\x9f\x87\xa9", "\xf0\x9f\x87\xaa",
                      "\xf0\x9f\x8f\xbd", "\xf0\x9f\x91\xa8", "\xf0\x9f\x91\xa9", "\xf0\x9f\x91\xa7",
                      "\xe1\x84\x80", "\xe1\x85\xa1", "\xe1\x86\xa8", "\xe0\xa4\x95", "\xe0\xa4\xbf",
                      "\xe4\xb8\xad", "a", " ", "\r\n", "\xf3\xa0\x84\x80", "\xe1\xa0\x8b"});
        if (pick(12) == 0) out += oneOf({"\x1b[4h", "\x1b[4l", "\x1b[?7l", "\x1b[?7h", "\x1b[H", "\x1b[3G"});
    }

    std::string number() {
        switch (pick(5)) {
        case 0: return std::to_string(pick(10));
        case 1: return std::to_string(pick(300));
        case 2: return "99999";
        case 3: return std::to_string(pick(4000));
        default: return "";
        }
    }

    std::string params() {
        std::string out;
        int n = pick(5);
        if (pick(25) == 0) n = 26;
        for (int i = 0; i < n; ++i) {
            if (i) out += pick(5) == 0 ? ":" : ";";
            out += number();
        }
        return out;
    }

    std::string stringPayload() {
        std::string out;
        const int n = pick(4);
        for (int i = 0; i < n; ++i) {
            out += oneOf({"title", " ", "\xe2\x9c\xb3", "\xe2\x9d\xaf", "\xe2\x9b\xb0", "\xf0\x9f\x98\x80",
                          "\xc3\xa9", ";", "http://x/\xe4\xb8\xad", "\x01", "\x1a", "\x19", "\x7f", "\x9c", "\x9d",
                          "\x85"});
        }
        return out;
    }

    std::string terminator() { return oneOf({"\x07", "\x1b\\", "\x9c", "\x18", "\x1a", "\x1b[m", ""}); }

    void appendEscapePiece(std::string& out) {
        static const char* finals = "@ABCDEFGHIJKLMPSTXZ`abcdefghlmnpqrstuxyz{}~";
        switch (pick(16)) {
        case 0:
            out += "\x1b[" + oneOf({"", "?", ">", "<", "=", "?"}) + params() + oneOf({"", "", "", " ", "$", "'", "#"}) +
                   std::string(1, finals[pick(43)]);
            break;
        case 1:
            out += oneOf({"\x1b[?1049h", "\x1b[?1049l", "\x1b[?7l", "\x1b[?7h", "\x1b[4h", "\x1b[4l", "\x1b[?6h",
                          "\x1b[?6l", "\x1b[?69h", "\x1b[2;9s", "\x1b[2;4r", "\x1b[r", "\x1b[?69l", "\x1b[41m",
                          "\x1b[0m", "\x1b[7m", "\x1b[38;5;200m"});
            break;
        case 2:
            out += "\x1b]" + oneOf({"0", "1", "2", "8", "7", "9", "52", "133", "777", "4242", "x"}) + ";" +
                   stringPayload() + terminator();
            break;
        case 3: out += "\x9d" + oneOf({"0", "2", "8"}) + ";" + stringPayload() + terminator(); break;
        case 4: out += "\x1bP" + oneOf({"", "$", "+", "1;2"}) + "q" + stringPayload() + terminator(); break;
        case 5: out += "\x1b_" + oneOf({"G", "X", ""}) + stringPayload() + terminator(); break;
        case 6: out += oneOf({"\x1bX", "\x1b^", "\x98", "\x9e"}) + stringPayload() + terminator(); break;
        case 7: out += "\x1b" + std::string(1, "78DEHMc=>()*+#%n|~ "[pick(19)]) + std::string(1, "0AB8GF@"[pick(7)]); break;
        case 8: out.push_back(static_cast<char>(0x80 + pick(32))); break;
        case 9: out.push_back(static_cast<char>(pick(32))); break;
        case 10: out += "\x1b[" + number() + "b"; break;
        case 11: out += "\x9b" + params() + std::string(1, finals[pick(43)]); break;
        case 12: out += oneOf({"\x1b", "\x1b[", "\x1b]", "\x1bP", "\x1b[1;"}); break;  // cut off
        default: appendUtf8Piece(out); break;
        }
    }

    std::mt19937 rng_;
};

}  // namespace vantel::testing
