// Random and hostile byte streams: splitting a stream differently must not change
// what the terminal does, and nothing may crash or grow without bound.
#include <gtest/gtest.h>

#include <random>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::TestTerminal;

namespace {

std::span<const uint8_t> asBytes(const std::string& s) {
    return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

// Builds streams that mix text, UTF-8 (valid and broken), controls and sequences
// with random and extreme parameters.
class StreamGenerator {
public:
    explicit StreamGenerator(uint32_t seed) : rng_(seed) {}

    std::string make(size_t pieces) {
        std::string out;
        for (size_t i = 0; i < pieces; ++i) appendPiece(out);
        return out;
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    std::string number() {
        switch (pick(4)) {
        case 0: return std::to_string(pick(10));
        case 1: return std::to_string(pick(300));
        case 2: return "99999999999";
        default: return "";
        }
    }

    std::string params() {
        std::string out;
        int n = pick(6);
        if (pick(20) == 0) n = 30;
        for (int i = 0; i < n; ++i) {
            if (i) out += pick(4) == 0 ? ":" : ";";
            out += number();
        }
        return out;
    }

    void appendPiece(std::string& out) {
        static const char* texts[] = {"hello", "wörld", "e\xcc\x81", "\xe4\xb8\xad\xe6\x96\x87", "\xf0\x9f\x98\x80",
                                      "#\xef\xb8\x8f", "\xe2\x28\xa1", "\xc3", "\xf0\x9f", "\xff\xfe", " ", "\t"};
        static const char* finals = "@ABCDEFGHIJKLMPSTXZ`abcdefghlmnpqrstuxyz{}~";
        static const char* privateModes[] = {"1", "6", "7", "25", "47", "69", "1047", "1048", "1049",
                                             "2004", "2026", "1000", "1006", "2027"};
        auto add = [&out](std::initializer_list<std::string_view> parts) {
            for (auto part : parts) out.append(part);
        };
        switch (pick(14)) {
        case 0:
        case 1:
        case 2: add({texts[pick(12)]}); break;
        case 3: out.push_back(static_cast<char>(pick(32))); break;
        case 4: add({"\x1b[", params(), std::string(1, finals[pick(43)])}); break;
        case 5: add({"\x1b[?", privateModes[pick(14)], pick(2) ? "h" : "l"}); break;
        case 6:
            add({"\x1b]", std::to_string(pick(140)), ";", number(), "text", pick(2) ? "\x07" : "\x1b\\"});
            break;
        case 7: add({"\x1b", std::string(1, "78DEHMc=>()*+#%"[pick(15)]), std::string(1, "0AB8G"[pick(5)])}); break;
        case 8: add({"\x1bP", params(), "q#0;2;50;50;50#0!20~-", "\x1b\\"}); break;
        case 9: add({"\x1b_Ga=q,i=", number(), ";QUJD\x1b\\"}); break;
        case 10: add({"\x1b[", number(), ";", number(), "r"}); break;
        case 11: add({"\r\n"}); break;
        case 12: out.push_back(static_cast<char>(0x80 + pick(32))); break;
        default: out.append(pick(200), 'x'); break;
        }
    }

    std::mt19937 rng_;
};

}  // namespace

TEST(TerminalStreamTest, SplittingAStreamDoesNotChangeTheResult) {
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        StreamGenerator generator(seed);
        std::string stream = generator.make(400);
        TestTerminal whole(40, 12);
        whole->feed(asBytes(stream));

        std::mt19937 rng(seed * 7919);
        TestTerminal pieces(40, 12);
        size_t at = 0;
        while (at < stream.size()) {
            size_t n = std::uniform_int_distribution<size_t>(1, 17)(rng);
            n = std::min(n, stream.size() - at);
            pieces->feed(asBytes(stream.substr(at, n)));
            at += n;
        }
        ASSERT_EQ(vantel::testing::screenSnapshot(*pieces), vantel::testing::screenSnapshot(*whole)) << "seed " << seed;
        ASSERT_EQ(pieces.delegate.replies(), whole.delegate.replies()) << "seed " << seed;
        ASSERT_EQ(pieces.delegate.events, whole.delegate.events) << "seed " << seed;
    }
}

TEST(TerminalStreamTest, RandomBytesNeverCrash) {
    std::mt19937 rng(42);
    for (int round = 0; round < 30; ++round) {
        TestTerminal t(round % 7 + 2, round % 5 + 1);
        std::string junk(20000, '\0');
        for (auto& c : junk) c = static_cast<char>(rng());
        t->feed(asBytes(junk));
        t->garbageCollectPayload();
        t->getUpdateRange();
    }
}

TEST(TerminalStreamTest, UnterminatedStringsStayBounded) {
    TestTerminal t(80, 25, [](TerminalOptions& o) { o.maximumStringLength = 1 << 20; });
    std::string chunk(64 * 1024, 'A');
    for (const char* opener : {"\x1b]2;", "\x1b_G", "\x1bPq"}) {
        t->feed(opener);
        for (int i = 0; i < 64; ++i) t->feed(asBytes(chunk));  // 4 MiB, never terminated
        EXPECT_LE(t->parser().bufferedStringBytes(), size_t(1) << 20) << opener;
        t->feed("\x07\x1b\\");
        EXPECT_TRUE(t.delegate.events.empty()) << "an overlong string is dropped whole";
    }
    t->feed("\x1b]2;after\x07");
    EXPECT_EQ(t.delegate.events, std::vector<std::string>{"title:after"});
}

// A title whose UTF-8 a read of the pseudo-terminal cuts: the whole title, nothing on the screen.
TEST(TerminalStreamTest, TitlesWithUtf8CutByAReadStayWhole) {
    struct Case {
        std::string input;
        std::string title;
    } cases[] = {
        {"\x1b]0;\xe2\x9c\xb3 name\x07", "\xe2\x9c\xb3 name"},   // 9C is ST
        {"\x1b]2;\xe2\x9d\xaf go\x1b\\", "\xe2\x9d\xaf go"},     // 9D is OSC
        {"\x1b]0;\xe2\x9b\xb0 peak\x07", "\xe2\x9b\xb0 peak"},   // 9B is CSI
        {"\x1b]2;\xf0\x9f\x98\x80\x07", "\xf0\x9f\x98\x80"},     // 9F is APC, 98 SOS, 80 a C1
    };
    for (const auto& c : cases) {
        for (size_t split = 0; split < c.input.size(); ++split) {
            TestTerminal t(20, 3);
            if (split) t.feed(c.input.substr(0, split));
            t.feed(c.input.substr(split));
            EXPECT_EQ(t->terminalTitle, c.title) << "split at " << split;
            EXPECT_EQ(t.delegate.events, std::vector<std::string>{"title:" + c.title}) << "split at " << split;
            EXPECT_EQ(t.rows(), std::vector<std::string>(3, "")) << "split at " << split;
        }
    }
}
