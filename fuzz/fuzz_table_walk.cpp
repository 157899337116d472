// Feeds the same bytes to the parser and the terminal twice: with the fast paths, in reads
// whose sizes the input chooses, and through the table walk alone, one byte at a time. Any
// difference in the parser's calls or in what the terminal shows or tells its host aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "support/StreamCheck.h"
#include "vantel/graphics/TerminalGraphics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool installed = (vantel::installGraphicsProtocols(), true);
    (void)installed;
    if (size < 3) return 0;
    vantel::TerminalOptions options;
    options.cols = 2 + data[0] % 40;
    options.rows = 1 + data[1] % 8;
    options.scrollback = data[2] % 20;
    if (data[0] & 0x80) options.regionalIndicatorWidth = vantel::RegionalIndicatorWidth::narrow;
    options.maximumStringLength = 4096;
    options.maximumPayloadCodes = 64;

    const std::string_view stream(reinterpret_cast<const char*>(data + 3), size - 3);
    // Reads whose lengths come from the stream itself.
    std::vector<size_t> cuts;
    for (size_t at = 0; at < stream.size();) {
        at += 1 + static_cast<uint8_t>(stream[at]) % 64;
        cuts.push_back(at);
    }
    if (const auto difference = vantel::testing::tableWalkDifference(stream, cuts, options)) {
        std::fprintf(stderr, "%s\n", difference->c_str());
        std::abort();
    }
    return 0;
}
