#pragma once

// Payload generators of the engine benchmark. Every payload is made from a fixed seed,
// so each engine and each run sees the same bytes, and ends in the same trailer: the
// cursor goes to the last row and writes a marker that the final screen must show.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantel::bench {

struct Geometry {
    int cols = 80;
    int rows = 24;
};

struct Payload {
    std::string bytes;
    // Text the last row starts with once every byte is processed.
    std::string marker;
    // Text the row above the marker must hold exactly (trailing blanks trimmed); empty: not checked.
    std::string lastLine;
};

struct PayloadKind {
    std::string_view name;
    std::string_view description;
    // The payload is this fraction of the others' size: a peer scrolling every two bytes would
    // take minutes for a full one, and a few hundred thousand scrolls are steady enough.
    int sizeDivisor = 1;
};

inline constexpr std::array<PayloadKind, 20> payloadKinds{{
    {"ascii", "plain ASCII source text in CR LF lines, some tab-indented, some wider than 80 columns"},
    {"utf8", "mixed UTF-8: accents, combining marks, Greek, Cyrillic, CJK, emoji with ZWJ, flags, modifiers"},
    {"sgr", "words with SGR: 256-colour and true-colour fore- and background, bold, italic, underline, inverse"},
    {"repaint", "full-screen repaints: CUP to each row, a full row of coloured segments, synchronized output"},
    {"cursor", "cursor motion: CUP, CUU/CUD/CUF/CUB, CHA, VPA, CNL/CPL, DECSC/DECRC, BS and HT between short writes"},
    {"scroll", "scrolling of the full screen and of top and bottom DECSTBM regions: LF at the margin, SU/SD, RI, IL/DL"},
    {"wide", "wide characters only: CJK ideographs, Hangul, fullwidth forms and emoji, wrapping at odd columns"},
    {"tui", "full-screen frames of a text-mode program: box-drawing borders, two panes, meters, half synchronized"},
    {"lf", "y LF over and over at the bottom of the full screen: a scroll into the scroll-back every two bytes", 8},
    {"lf-top", "y LF at the bottom of a region from the first row to the row above the last (1-23 at 24 rows)", 8},
    {"lf-top-half", "y LF at the bottom of a region over the upper half (1-12 at 24 rows)", 8},
    {"lf-bot", "y LF at the bottom of a region from the second row to the last (2-24 at 24 rows)", 8},
    {"lf-bot-half", "y LF at the bottom of a region over the lower half (13-24 at 24 rows)", 8},
    {"alt-top", "as lf-top on the alternate screen", 8},
    {"alt-top-half", "as lf-top-half on the alternate screen", 8},
    {"alt-bot", "as lf-bot on the alternate screen", 8},
    {"alt-bot-half", "as lf-bot-half on the alternate screen", 8},
    {"sgr-cell", "every cell of the screen written with its own 256-colour SGR pair, screen after screen"},
    {"cup-char", "CUP to a random cell and one character there, over and over"},
    {"dense_cells", "every cell with its own SGR of 256-colour pair and italic or underline (1;3;4 and the like)"},
}};

inline const PayloadKind* findPayloadKind(std::string_view name) {
    for (const PayloadKind& kind : payloadKinds) {
        if (kind.name == name) return &kind;
    }
    return nullptr;
}

// Bytes of the payload `name` when the others are `bytes` long.
inline size_t payloadSize(std::string_view name, size_t bytes) {
    const PayloadKind* kind = findPayloadKind(name);
    return kind ? bytes / static_cast<size_t>(kind->sizeDivisor) : bytes;
}

inline bool isPayloadName(std::string_view name) { return findPayloadKind(name) != nullptr; }

// splitmix64: tiny, fast and the same on every platform (std distributions are not).
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return n <= 0 ? 0 : static_cast<int>(next() % static_cast<uint64_t>(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool chance(int percent) { return below(100) < percent; }
    template <class T, size_t N>
    const T& pick(const std::array<T, N>& items) {
        return items[static_cast<size_t>(below(static_cast<int>(N)))];
    }

private:
    uint64_t state_;
};

namespace detail {

inline void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

inline void appendInt(std::string& out, int value) { out += std::to_string(value); }

inline void csi(std::string& out, std::string_view params, char final) {
    out += "\x1b[";
    out += params;
    out += final;
}

inline void cup(std::string& out, int row1, int col1) {
    out += "\x1b[";
    appendInt(out, row1);
    out += ';';
    appendInt(out, col1);
    out += 'H';
}

// A token and the columns it takes on every engine we compare against.
struct Token {
    std::string_view text;
    int columns;
};

inline constexpr std::array<std::string_view, 48> codeWords{
    "int", "auto", "const", "return", "if", "else", "for", "while", "std::vector<int>", "std::string",
    "nullptr", "true", "false", "size_t", "count", "buffer", "line", "index", "offset", "result", "value",
    "=", "==", "!=", "+", "-", "*", "->", "&&", "||", "(", ")", "{", "}", "[i]", "0", "1", "42",
    "\"text\"", "'x'", "//", "static_cast<int>(n)", "width", "height", "cells", "row", "col", "frame"};

inline constexpr std::array<std::string_view, 24> proseWords{
    "the", "terminal", "prints", "each", "line", "of", "output", "and", "keeps", "scroll-back", "for", "later",
    "reading", "while", "cursor", "moves", "across", "screen", "with", "colour", "text", "session", "tile", "wall"};

inline constexpr std::array<Token, 44> mixedTokens{{
    {"hello", 5}, {"world", 5}, {"terminal", 8}, {"output", 6}, {"line", 4}, {"text", 4},
    {"caf\xc3\xa9", 4}, {"na\xc3\xafve", 5}, {"Gr\xc3\xb6\xc3\x9f" "e", 5}, {"se\xc3\xb1or", 5},
    {"\xc3\x86r\xc3\xb8sk\xc3\xb8" "bing", 10}, {"fa\xc3\xa7" "ade", 6},
    // Combining marks: e + acute, a + diaeresis, o + circumflex + dot below, n + tilde.
    {"e\xcc\x81", 1}, {"a\xcc\x88", 1}, {"o\xcc\x82\xcc\xa3", 1}, {"n\xcc\x83" "o", 2},
    {"\xce\xba\xce\xb1\xce\xbb\xce\xb7\xce\xbc\xce\xad\xcf\x81\xce\xb1", 8},
    {"\xd0\xbf\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82", 6},
    {"\xd0\x97\xd0\xb4\xd1\x80\xd0\xb0\xd0\xb2\xd1\x81\xd1\x82\xd0\xb2\xd1\x83\xd0\xb9\xd1\x82\xd0\xb5", 12},
    {"\xe6\xbc\xa2\xe5\xad\x97", 4}, {"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e", 6},
    {"\xe4\xb8\xad\xe6\x96\x87\xe5\xad\x97\xe7\xac\xa6", 8}, {"\xed\x95\x9c\xea\xb5\xad\xec\x96\xb4", 6},
    {"\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88", 6},
    {"\xf0\x9f\x98\x80", 2}, {"\xf0\x9f\x8e\x89", 2}, {"\xf0\x9f\x9a\x80", 2},
    {"\xf0\x9f\x91\x8d\xf0\x9f\x8f\xbd", 2},                                          // thumbs up + skin tone
    {"\xf0\x9f\x91\xa8\xe2\x80\x8d\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x91\xa7", 2},  // family, ZWJ
    {"\xf0\x9f\x87\xa9\xf0\x9f\x87\xaa", 2},                                          // flag
    {"\xe2\x9d\xa4\xef\xb8\x8f", 2},                                                  // heart + VS16
    {"\xe2\x86\x92", 1}, {"\xe2\x80\xa2", 1}, {"\xe2\x80\x94", 1}, {"\xe2\x9c\x93", 1}, {"\xe2\x94\x80\xe2\x94\x80", 2},
    {"\xc2\xa9", 1}, {"\xc2\xb1", 1}, {"\xc2\xb5s", 2}, {"\xe2\x82\xac" "12", 3},
    {"done", 4}, {"error", 5}, {"warning", 7}, {"ok", 2},
}};

inline void sgr(std::string& out, Rng& rng) {
    out += "\x1b[";
    switch (rng.below(9)) {
    case 0: out += "38;5;"; appendInt(out, rng.below(256)); break;
    case 1: out += "48;5;"; appendInt(out, rng.below(256)); break;
    case 2:
    case 3:
        out += "38;2;";
        appendInt(out, rng.below(256)); out += ';';
        appendInt(out, rng.below(256)); out += ';';
        appendInt(out, rng.below(256));
        break;
    case 4:
        out += "48;2;";
        appendInt(out, rng.below(256)); out += ';';
        appendInt(out, rng.below(256)); out += ';';
        appendInt(out, rng.below(256));
        break;
    case 5: out += rng.pick(std::array<std::string_view, 6>{"1", "3", "4", "7", "22", "2"}); break;
    case 6: out += '0'; break;
    case 7:
        out += "1;38;5;"; appendInt(out, rng.below(256));
        out += ";48;2;"; appendInt(out, rng.below(256)); out += ';';
        appendInt(out, rng.below(256)); out += ';'; appendInt(out, rng.below(256));
        break;
    default: out += "3"; appendInt(out, rng.below(8)); out += ";4"; appendInt(out, rng.below(8)); break;
    }
    out += 'm';
}

// One line of code-like ASCII; most fit in 80 columns, a few wrap.
inline std::string codeLine(Rng& rng) {
    std::string line;
    const int roll = rng.below(100);
    if (roll < 10) return line;
    const int target = roll < 80 ? rng.between(8, 70) : roll < 95 ? rng.between(70, 100) : rng.between(100, 160);
    const int depth = rng.below(5);
    if (rng.chance(20)) {
        line.append(static_cast<size_t>(depth), '\t');
    } else {
        line.append(static_cast<size_t>(depth * 4), ' ');
    }
    while (static_cast<int>(line.size()) < target) {
        line += rng.pick(codeWords);
        line += ' ';
    }
    line.back() = ';';
    return line;
}

inline void ascii(std::string& out, Rng& rng, size_t target) {
    while (out.size() < target) {
        out += codeLine(rng);
        out += "\r\n";
    }
}

inline void utf8(std::string& out, Rng& rng, const Geometry& g, size_t target) {
    while (out.size() < target) {
        const int columns = rng.between(10, g.cols + g.cols / 4);
        int used = 0;
        while (used < columns) {
            const Token& token = rng.pick(mixedTokens);
            out += token.text;
            out += ' ';
            used += token.columns + 1;
        }
        out += "\r\n";
    }
}

inline void sgrText(std::string& out, Rng& rng, const Geometry& g, size_t target) {
    while (out.size() < target) {
        const int columns = rng.between(10, g.cols - 1);
        int used = 0;
        while (used < columns) {
            if (rng.chance(70)) sgr(out, rng);
            const std::string_view word = rng.pick(proseWords);
            out += word;
            out += ' ';
            used += static_cast<int>(word.size()) + 1;
        }
        if (rng.chance(50)) out += "\x1b[0m";
        out += "\r\n";
    }
}

inline void repaint(std::string& out, Rng& rng, const Geometry& g, size_t target) {
    static constexpr std::string_view glyphs = "abcdefghijklmnopqrstuvwxyz0123456789 .:-=+#%|/";
    while (out.size() < target) {
        const bool synchronized = rng.chance(50);
        if (synchronized) out += "\x1b[?2026h";
        out += "\x1b[?25l";
        if (rng.chance(20)) out += "\x1b[H\x1b[2J";
        for (int row = 1; row <= g.rows; ++row) {
            cup(out, row, 1);
            int col = 0;
            while (col < g.cols) {
                if (rng.chance(80)) sgr(out, rng);
                const int len = std::min(rng.between(3, 20), g.cols - col);
                for (int i = 0; i < len; ++i) {
                    out += glyphs[static_cast<size_t>(rng.below(static_cast<int>(glyphs.size())))];
                }
                col += len;
            }
        }
        out += "\x1b[0m\x1b[?25h";
        if (synchronized) out += "\x1b[?2026l";
    }
}

inline void cursor(std::string& out, Rng& rng, const Geometry& g, size_t target) {
    static constexpr std::array<char, 4> relative{'A', 'B', 'C', 'D'};
    while (out.size() < target) {
        switch (rng.below(10)) {
        case 0:
        case 1: cup(out, rng.between(1, g.rows), rng.between(1, g.cols)); break;
        case 2:
        case 3: out += "\x1b["; appendInt(out, rng.between(1, 12)); out += rng.pick(relative); break;
        case 4: out += "\x1b["; appendInt(out, rng.between(1, g.cols)); out += 'G'; break;
        case 5: out += "\x1b["; appendInt(out, rng.between(1, g.rows)); out += 'd'; break;
        case 6: out += "\x1b["; appendInt(out, rng.between(1, 3)); out += rng.chance(50) ? 'E' : 'F'; break;
        case 7: out += rng.chance(50) ? "\x1b" "7" : "\x1b" "8"; break;
        case 8: out += rng.chance(50) ? "\b\b" : "\t"; break;
        default: out += "\x1b["; appendInt(out, rng.between(100, 999)); out += rng.pick(relative); break;
        }
        const int len = rng.between(1, 8);
        for (int i = 0; i < len; ++i) out += static_cast<char>('a' + rng.below(26));
    }
    out += "\x1b" "8";
}

inline void scrollLines(std::string& out, Rng& rng, int count) {
    for (int i = 0; i < count; ++i) {
        const int words = rng.between(2, 10);
        for (int w = 0; w < words; ++w) {
            out += rng.pick(proseWords);
            out += ' ';
        }
        out += "\r\n";
    }
}

inline void scrolling(std::string& out, Rng& rng, const Geometry& g, size_t target) {
    const int half = std::max(g.rows / 2, 2);
    while (out.size() < target) {
        // Full screen: each LF at the bottom scrolls into the scroll-back.
        out += "\x1b[r";
        cup(out, g.rows, 1);
        scrollLines(out, rng, g.rows * 2);
        // Top region, as a status line at the bottom would leave it.
        out += "\x1b[1;"; appendInt(out, half); out += 'r';
        cup(out, half, 1);
        scrollLines(out, rng, g.rows);
        out += "\x1b["; appendInt(out, rng.between(1, half)); out += 'S';
        out += "\x1b["; appendInt(out, rng.between(1, half)); out += 'T';
        cup(out, 1, 1);
        for (int i = 0; i < half; ++i) out += "\x1bMtop ";
        cup(out, rng.between(1, half), 1);
        out += "\x1b[2L\x1b[1M";
        // Bottom region, as below a fixed header.
        out += "\x1b["; appendInt(out, half + 1); out += ';'; appendInt(out, g.rows); out += 'r';
        cup(out, g.rows, 1);
        scrollLines(out, rng, g.rows);
        cup(out, half + 1, 1);
        for (int i = 0; i < half; ++i) out += "\x1bMbottom ";
        out += "\x1b["; appendInt(out, rng.between(1, g.rows - half)); out += 'S';
        out += "\x1b[3L\x1b[2M";
    }
    out += "\x1b[r";
}

inline char32_t wideScalar(Rng& rng) {
    switch (rng.below(4)) {
    case 0: return static_cast<char32_t>(rng.between(0x4E00, 0x9FA5));  // CJK ideographs
    case 1: return static_cast<char32_t>(rng.between(0xAC00, 0xD7A3));  // Hangul syllables
    case 2: return static_cast<char32_t>(rng.between(0xFF01, 0xFF5E));  // fullwidth forms
    default: return static_cast<char32_t>(rng.between(0x1F600, 0x1F64F));  // emoticons
    }
}

inline void wide(std::string& out, Rng& rng, const Geometry& g, size_t target) {
    while (out.size() < target) {
        // An odd start now and then puts a wide character on the last column, forcing an early wrap.
        if (rng.chance(30)) out += '.';
        const int count = rng.between(g.cols / 4, g.cols);
        for (int i = 0; i < count; ++i) appendUtf8(out, wideScalar(rng));
        out += "\r\n";
    }
}

// One row of a pane, exactly `width` columns: coloured words, or a meter like [|||||    ] 42%.
inline void paneRow(std::string& out, Rng& rng, int width) {
    int used = 0;
    if (width >= 12 && rng.chance(30)) {
        const int inner = width - 7;
        const int filled = rng.below(inner + 1);
        out += "\x1b[1m[\x1b[32m";
        out.append(static_cast<size_t>(filled), '|');
        out += "\x1b[0m";
        out.append(static_cast<size_t>(inner - filled), ' ');
        out += ']';
        std::string percent = std::to_string(filled * 100 / std::max(inner, 1)) + "%";
        while (percent.size() < 5) percent.insert(percent.begin(), ' ');
        out += percent;
        used = width;
    }
    while (used < width) {
        if (rng.chance(40)) sgr(out, rng);
        std::string_view word = rng.pick(proseWords);
        if (used + static_cast<int>(word.size()) > width) word = word.substr(0, static_cast<size_t>(width - used));
        out += word;
        used += static_cast<int>(word.size());
        if (used < width) {
            out += ' ';
            ++used;
        }
    }
    out += "\x1b[0m";
}

// Full-screen frames as a text-mode program draws them: a box-drawing border with a title, two
// panes split by a vertical line, and half of the frames inside synchronized output.
inline void tui(std::string& out, Rng& rng, const Geometry& g, size_t target) {
    static constexpr std::string_view horizontal = "\xe2\x94\x80", vertical = "\xe2\x94\x82";
    auto line = [&](int count) {
        for (int i = 0; i < count; ++i) out += horizontal;
    };
    while (out.size() < target) {
        const bool synchronized = rng.chance(50);
        if (synchronized) out += "\x1b[?2026h";
        out += "\x1b[?25l";
        const int split = std::clamp(g.cols / 2 + rng.between(-3, 3), 2, std::max(2, g.cols - 2));
        const int left = split - 2, right = g.cols - split - 1;
        for (int row = 1; row <= g.rows; ++row) {
            cup(out, row, 1);
            if (row == 1 || row == g.rows) {
                out += row == 1 ? "\xe2\x94\x8c" : "\xe2\x94\x94";
                line(left);
                out += row == 1 ? "\xe2\x94\xac" : "\xe2\x94\xb4";
                line(right);
                out += row == 1 ? "\xe2\x94\x90" : "\xe2\x94\x98";
            } else {
                out += vertical;
                paneRow(out, rng, left);
                out += vertical;
                paneRow(out, rng, right);
                out += vertical;
            }
        }
        out += "\x1b[0m\x1b[?25h";
        if (synchronized) out += "\x1b[?2026l";
    }
}

// Rows of words on every row of the screen, so rows that a scroll must leave alone hold text.
inline void fillScreen(std::string& out, Rng& rng, const Geometry& g) {
    out += "\x1b[H";
    for (int row = 1; row <= g.rows; ++row) {
        std::string text = "row " + std::to_string(row);
        const size_t columns = static_cast<size_t>(rng.between(g.cols / 4, g.cols - 1));
        while (true) {
            const std::string_view word = rng.pick(proseWords);
            if (text.size() + 1 + word.size() > columns) break;
            text += ' ';
            text += word;
        }
        out += text;
        if (row < g.rows) out += "\r\n";
    }
}

// The rows of a scroll region in one of four shapes: anchored at the top or the bottom
// of the screen, taking all rows but one or half of them (1-23, 1-12, 2-24, 13-24 at 24 rows).
struct RegionShape {
    bool top;
    bool half;
};

inline std::pair<int, int> regionRows(const Geometry& g, RegionShape shape) {
    const int half = std::max(g.rows / 2, 1);
    if (shape.top) return {1, shape.half ? half : g.rows - 1};
    return {shape.half ? half + 1 : 2, g.rows};
}

// `y` LF without end at the bottom of a region (none: the full screen), on either screen:
// a scroll every two bytes.
inline void lineFeeds(std::string& out, Rng& rng, const Geometry& g, size_t target, std::optional<RegionShape> shape,
                      bool alternate) {
    if (alternate) out += "\x1b[?1049h";
    fillScreen(out, rng, g);
    int bottom = g.rows;
    if (shape) {
        const auto [first, last] = regionRows(g, *shape);
        out += "\x1b[";
        appendInt(out, first);
        out += ';';
        appendInt(out, last);
        out += 'r';
        bottom = last;
    }
    cup(out, bottom, 1);
    // A CR before the column reaches the edge: engines differ on a line feed in the
    // pending-wrap column, and their screens should agree.
    const int run = std::max(g.cols - 1, 1);
    for (int column = 0; out.size() < target; ++column) {
        if (column == run) {
            out += '\r';
            column = 0;
        }
        out += "y\n";
    }
}

// A frame may stop after any row once the target is reached.
// Every cell of the screen written with its own SGR: a 256-colour pair, then one of `styles`
// (none: the pair alone), and one character, screen after screen.
inline void paletteCells(std::string& out, Rng& rng, const Geometry& g, size_t target,
                         std::span<const std::string_view> styles = {}) {
    while (out.size() < target) {
        out += "\x1b[H";
        for (int row = 0; row < g.rows && out.size() < target; ++row) {
            for (int col = 0; col < g.cols; ++col) {
                out += "\x1b[38;5;";
                appendInt(out, rng.below(256));
                out += ";48;5;";
                appendInt(out, rng.below(256));
                if (!styles.empty()) out += styles[static_cast<size_t>(rng.below(static_cast<int>(styles.size())))];
                out += 'm';
                out += static_cast<char>('!' + rng.below(94));
            }
        }
    }
}

// Each cell's styles: every one sets italic or underline, some switch the others off again, so
// that the attribute keeps changing.
inline constexpr std::array<std::string_view, 8> denseCellStyles{
    ";1;3;4", ";1;3;4", ";3", ";4", ";3;4", ";22;3;24", ";22;23;4", ";1;23;4"};

inline void cupChars(std::string& out, Rng& rng, const Geometry& g, size_t target) {
    while (out.size() < target) {
        cup(out, rng.between(1, g.rows), rng.between(1, g.cols));
        out += static_cast<char>('!' + rng.below(94));
    }
}

}  // namespace detail

// The seed of the engine benchmark's payloads.
inline constexpr uint64_t benchmarkSeed = 0x5155494c54ull;

// The payload `name` for one geometry, at least `targetBytes` long before its trailer.
inline Payload makePayload(std::string_view name, const Geometry& g, size_t targetBytes, uint64_t seed) {
    Payload p;
    Rng rng(seed ^ (static_cast<uint64_t>(g.cols) << 32) ^ static_cast<uint64_t>(g.rows));
    p.bytes.reserve(targetBytes + 4096);
    if (name == "ascii") {
        detail::ascii(p.bytes, rng, targetBytes);
        // A closing line of known text, checked on the row above the marker.
        p.lastLine = "}  // end of generated source " + std::to_string(seed % 100000);
        p.bytes += p.lastLine;
        p.bytes += "\r\n";
    } else if (name == "utf8") {
        detail::utf8(p.bytes, rng, g, targetBytes);
    } else if (name == "sgr") {
        detail::sgrText(p.bytes, rng, g, targetBytes);
    } else if (name == "repaint") {
        detail::repaint(p.bytes, rng, g, targetBytes);
    } else if (name == "cursor") {
        detail::cursor(p.bytes, rng, g, targetBytes);
    } else if (name == "scroll") {
        detail::scrolling(p.bytes, rng, g, targetBytes);
    } else if (name == "wide") {
        detail::wide(p.bytes, rng, g, targetBytes);
    } else if (name == "tui") {
        detail::tui(p.bytes, rng, g, targetBytes);
    } else if (name == "lf") {
        detail::lineFeeds(p.bytes, rng, g, targetBytes, std::nullopt, false);
    } else if (name.starts_with("lf-") || name.starts_with("alt-")) {
        const bool alternate = name.starts_with("alt-");
        const std::string_view shape = name.substr(alternate ? 4 : 3);
        const bool top = shape.starts_with("top");
        const bool half = shape.ends_with("-half");
        if (shape != (top ? "top" : "bot") && shape != (top ? "top-half" : "bot-half")) return p;
        detail::lineFeeds(p.bytes, rng, g, targetBytes, detail::RegionShape{top, half}, alternate);
    } else if (name == "sgr-cell") {
        detail::paletteCells(p.bytes, rng, g, targetBytes);
    } else if (name == "cup-char") {
        detail::cupChars(p.bytes, rng, g, targetBytes);
    } else if (name == "dense_cells") {
        detail::paletteCells(p.bytes, rng, g, targetBytes, detail::denseCellStyles);
    } else {
        return p;
    }
    p.marker = "END OF PAYLOAD " + std::string(name);
    p.bytes += "\x1b[0m\x1b[r";
    detail::cup(p.bytes, g.rows, 1);
    p.bytes += "\x1b[2K";
    p.bytes += p.marker;
    return p;
}

// Lines that fill a scroll-back: code-like text cut to fit one row, CR LF after each.
inline std::string scrollbackFill(const Geometry& g, int lines, uint64_t seed) {
    Rng rng(seed);
    std::string out;
    for (int i = 0; i < lines; ++i) {
        std::string line = detail::codeLine(rng);
        for (char& c : line) {
            if (c == '\t') c = ' ';
        }
        if (static_cast<int>(line.size()) >= g.cols) line.resize(static_cast<size_t>(g.cols - 1));
        out += line;
        out += "\r\n";
    }
    return out;
}

}  // namespace vantel::bench
