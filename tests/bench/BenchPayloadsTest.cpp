// The benchmark's payloads must be the same bytes on every run and machine, and
// well-formed: a cut-off sequence or broken UTF-8 would make engines disagree for
// reasons that have nothing to do with their speed.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "bench/BenchPayloads.h"

using namespace vantel::bench;

namespace {

// Why the bytes are not well-formed output of a program, or empty: only CR, LF, BS, HT,
// complete CSI sequences, ESC 7 / ESC 8 / ESC M and strict UTF-8.
std::string malformation(const std::string& bytes) {
    auto at = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    for (size_t i = 0; i < bytes.size();) {
        const uint8_t b = at(i);
        const std::string where = " at byte " + std::to_string(i);
        if (b == 0x1b) {
            if (i + 1 >= bytes.size()) return "ESC at the end" + where;
            const uint8_t next = at(i + 1);
            if (next == '7' || next == '8' || next == 'M') {
                i += 2;
                continue;
            }
            if (next != '[') return "unexpected ESC sequence" + where;
            size_t k = i + 2;
            while (k < bytes.size() && at(k) >= 0x30 && at(k) <= 0x3f) ++k;
            if (k >= bytes.size() || at(k) < 0x40 || at(k) > 0x7e) return "unfinished CSI" + where;
            i = k + 1;
        } else if (b < 0x20 || b == 0x7f) {
            if (b != '\r' && b != '\n' && b != '\b' && b != '\t') return "stray control" + where;
            ++i;
        } else if (b < 0x80) {
            ++i;
        } else {
            const int length = b >= 0xf0 && b <= 0xf4 ? 4 : b >= 0xe0 ? 3 : b >= 0xc2 && b < 0xe0 ? 2 : 0;
            if (length == 0 || i + static_cast<size_t>(length) > bytes.size()) return "bad UTF-8 lead" + where;
            char32_t c = b & (0x7f >> length);
            for (int k = 1; k < length; ++k) {
                const uint8_t cont = at(i + static_cast<size_t>(k));
                if ((cont & 0xc0) != 0x80) return "bad UTF-8 continuation" + where;
                c = (c << 6) | (cont & 0x3f);
            }
            const char32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
            if (c < least || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff)) return "invalid scalar" + where;
            i += static_cast<size_t>(length);
        }
    }
    return {};
}

TEST(BenchPayloadsTest, MalformationCatchesWhatItShould) {
    const struct {
        const char* bytes;
        bool wellFormed;
    } cases[] = {
        {"\x1b[1;38;5;200mx\x1b[0m\x1b" "7\x1b" "8\x1bM\r\n", true},
        {"caf\xc3\xa9 \xf0\x9f\x98\x80", true},
        {"\x1b[12", false},       // sequence cut off at the end
        {"\x1b]0;t\x07", false},  // not something any payload should send
        {"\xc3", false},          // truncated UTF-8
        {"\xc0\xaf", false},      // overlong
        {"\xed\xa0\x80", false},  // surrogate
        {"a\x01", false},
    };
    for (const auto& c : cases) EXPECT_EQ(malformation(c.bytes).empty(), c.wellFormed) << c.bytes;
}

TEST(BenchPayloadsTest, EveryPayloadIsDeterministicWellFormedAndEndsInItsMarker) {
    constexpr size_t target = 48 * 1024;
    EXPECT_TRUE(makePayload("nonsense", {80, 24}, 1024, 1).bytes.empty());
    for (const Geometry g : {Geometry{80, 24}, Geometry{200, 60}}) {
        for (const PayloadKind& kind : payloadKinds) {
            SCOPED_TRACE(std::string(kind.name) + " " + std::to_string(g.cols) + "x" + std::to_string(g.rows));
            const Payload p = makePayload(kind.name, g, target, 7);
            EXPECT_EQ(p.bytes, makePayload(kind.name, g, target, 7).bytes);
            EXPECT_NE(p.bytes, makePayload(kind.name, g, target, 8).bytes);
            EXPECT_GE(p.bytes.size(), target);
            // One unit past the target at most: a repaint frame is the largest.
            EXPECT_LT(p.bytes.size(), target + 64 * 1024);
            EXPECT_EQ(malformation(p.bytes), "");
            ASSERT_FALSE(p.marker.empty());
            const std::string trailer = "\x1b[" + std::to_string(g.rows) + ";1H\x1b[2K" + p.marker;
            EXPECT_TRUE(p.bytes.ends_with(trailer));
            if (!p.lastLine.empty()) {
                EXPECT_LT(static_cast<int>(p.lastLine.size()), g.cols);
                EXPECT_NE(p.bytes.find(p.lastLine + "\r\n\x1b[0m\x1b[r"), std::string::npos);
            }
        }
    }
}

TEST(BenchPayloadsTest, LineFeedPayloadsScrollTheirRegionAndNeverReachTheEdge) {
    const struct {
        const char* name;
        Geometry g;
        const char* start;  // the region, the cursor on its bottom row and the first line feed
        bool alternate;
    } cases[] = {
        {"lf", {80, 24}, "\x1b[24;1Hy\n", false},
        {"lf-top", {80, 24}, "\x1b[1;23r\x1b[23;1Hy\n", false},
        {"lf-top-half", {80, 24}, "\x1b[1;12r\x1b[12;1Hy\n", false},
        {"lf-bot", {80, 24}, "\x1b[2;24r\x1b[24;1Hy\n", false},
        {"lf-bot-half", {80, 24}, "\x1b[13;24r\x1b[24;1Hy\n", false},
        {"alt-top", {200, 60}, "\x1b[1;59r\x1b[59;1Hy\n", true},
        {"alt-top-half", {200, 60}, "\x1b[1;30r\x1b[30;1Hy\n", true},
        {"alt-bot", {200, 60}, "\x1b[2;60r\x1b[60;1Hy\n", true},
        {"alt-bot-half", {200, 60}, "\x1b[31;60r\x1b[60;1Hy\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(payloadSize(c.name, 8 << 20), size_t{1} << 20);
        const std::string bytes = makePayload(c.name, c.g, 64 * 1024, 5).bytes;
        EXPECT_EQ(bytes.starts_with("\x1b[?1049h"), c.alternate);
        // Every row of the screen holds text before the stream starts.
        const size_t stream = bytes.find(c.start);
        ASSERT_NE(stream, std::string::npos);
        EXPECT_NE(bytes.rfind("row " + std::to_string(c.g.rows) + " ", stream), std::string::npos);
        // A CR comes before the next y would land in the last column.
        int column = 0, widest = 0;
        for (size_t i = stream + std::string_view(c.start).size() - 2; bytes[i] != '\x1b'; ++i) {
            if (bytes[i] == '\r') column = 0;
            if (bytes[i] == 'y') widest = std::max(widest, ++column);
        }
        EXPECT_EQ(widest, c.g.cols - 1);
    }
    EXPECT_EQ(payloadSize("ascii", 8 << 20), size_t{8} << 20);
}

// Screen after screen from the home position, every cell one SGR and one printable character;
// each SGR sets a palette pair and italic or underline, and only style codes follow the pair.
TEST(BenchPayloadsTest, DenseCellsGiveEveryCellAPalettePairWithItalicOrUnderline) {
    for (const Geometry g : {Geometry{80, 24}, Geometry{200, 60}}) {
        SCOPED_TRACE(std::to_string(g.cols) + "x" + std::to_string(g.rows));
        const Payload p = makePayload("dense_cells", g, 1 << 20, benchmarkSeed);
        const std::string body = p.bytes.substr(0, p.bytes.rfind("\x1b[0m\x1b[r"));
        size_t cells = 0, screens = 0, i = 0;
        std::set<std::string> styles;
        while (i < body.size()) {
            if (body.compare(i, 3, "\x1b[H") == 0) {
                // A new screen starts only once the last one is full (the payload may end short).
                EXPECT_EQ(cells % static_cast<size_t>(g.cols * g.rows), 0u);
                ++screens;
                i += 3;
                continue;
            }
            ASSERT_EQ(body.compare(i, 2, "\x1b["), 0) << "at byte " << i;
            const size_t final = body.find('m', i);
            ASSERT_NE(final, std::string::npos);
            std::vector<int> codes;
            for (size_t at = i + 2; at < final;) {
                const size_t end = std::min(body.find(';', at), final);
                codes.push_back(std::stoi(body.substr(at, end - at)));
                at = end + 1;
            }
            ASSERT_GE(codes.size(), 7u);
            EXPECT_EQ(codes[0], 38);
            EXPECT_EQ(codes[1], 5);
            EXPECT_EQ(codes[3], 48);
            EXPECT_EQ(codes[4], 5);
            EXPECT_LT(std::max(codes[2], codes[5]), 256);
            const std::vector<int> style(codes.begin() + 6, codes.end());
            for (int code : style) EXPECT_TRUE(code == 1 || code == 3 || code == 4 || (code >= 22 && code <= 24)) << code;
            EXPECT_TRUE(std::count(style.begin(), style.end(), 3) + std::count(style.begin(), style.end(), 4) > 0);
            const std::string parameters = body.substr(i + 2, final - i - 2);
            styles.insert(parameters.substr(parameters.find(";48;5;")));
            ASSERT_LT(final + 1, body.size());
            EXPECT_GT(body[final + 1], ' ');
            EXPECT_LT(body[final + 1], 0x7f);
            ++cells;
            i = final + 2;
        }
        EXPECT_GE(screens, 2u);
        EXPECT_GE(cells, static_cast<size_t>(g.cols * g.rows));
        // Backgrounds and style lists vary from cell to cell.
        EXPECT_GT(styles.size(), 100u);
    }
}

TEST(BenchPayloadsTest, ScrollbackFillIsOneRowPerLine) {
    for (const Geometry g : {Geometry{80, 24}, Geometry{200, 60}, Geometry{2, 1}}) {
        const std::string fill = scrollbackFill(g, 500, 3);
        EXPECT_EQ(malformation(fill), "");
        EXPECT_EQ(fill.find('\t'), std::string::npos);
        int lines = 0;
        for (size_t start = 0; start < fill.size(); ++lines) {
            const size_t end = fill.find("\r\n", start);
            ASSERT_NE(end, std::string::npos);
            EXPECT_LT(static_cast<int>(end - start), g.cols);
            start = end + 2;
        }
        EXPECT_EQ(lines, 500);
    }
}

}  // namespace
