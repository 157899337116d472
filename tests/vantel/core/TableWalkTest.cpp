// The parser's table walk alone, one byte at a time, against the fast paths on random
// streams: the same calls and the same screen, whatever the reads.
#include <gtest/gtest.h>

#include "support/StreamCheck.h"

using namespace vantel;
using vantel::testing::StreamMaker;

TEST(TableWalkTest, ByteAtATimeGivesTheCallsAndScreenOfTheFastPaths) {
    struct Case {
        const char* name;
        StreamMaker::Kind kind;
        size_t pieces;
    } cases[] = {
        {"random bytes", StreamMaker::Kind::bytes, 3000},
        {"UTF-8 text, broken and cut", StreamMaker::Kind::utf8, 600},
        {"graphemes", StreamMaker::Kind::graphemes, 600},
        {"escape sequences", StreamMaker::Kind::escapes, 400},
    };
    for (const auto& c : cases) {
        for (uint32_t seed = 1; seed <= 12; ++seed) {
            StreamMaker maker(seed * 7 + static_cast<uint32_t>(c.kind));
            const std::string stream = maker.make(c.kind, c.pieces);
            TerminalOptions options;
            options.cols = 7 + static_cast<int>(seed % 9);
            options.rows = 2 + static_cast<int>(seed % 4);
            options.scrollback = static_cast<int>(seed % 3) * 5;
            if (seed % 2) options.regionalIndicatorWidth = RegionalIndicatorWidth::narrow;
            const auto difference = vantel::testing::tableWalkDifference(stream, maker.cuts(stream.size()), options);
            ASSERT_FALSE(difference) << c.name << ", seed " << seed << ": " << *difference;
        }
    }
}
