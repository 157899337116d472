#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantel {

class Buffer;
class Terminal;

// The text of one logical line (a row and the rows wrapped after it), one character per
// cell that shows one, with the way back from characters to cells.
struct SearchLineText {
    struct CellOfCharacter {
        int32_t row;  // row within the logical line
        int16_t col;
        int8_t width;
    };
    std::u16string text;                   // what the matcher reads
    std::vector<int32_t> characterStarts;  // UTF-16 index where each character starts
    std::vector<CellOfCharacter> cells;    // the cell each character came from
    std::vector<int64_t> offsets;          // character offset at which each row starts; first is 0

    int characterCount() const { return static_cast<int>(cells.size()); }
    std::string lineAsString() const;
};

// Logical-line texts of the active buffer, built lazily and reused across searches for a while.
class SearchLineCache {
public:
    explicit SearchLineCache(Terminal& terminal);

    static constexpr double maximumAgeSeconds = 15.0;

    // Keeps the cache when it is recent and still matches the buffer; otherwise empties it.
    void initLinesCache();
    void invalidate();
    // The entry for the logical line starting at `row`, built and stored when missing.
    const SearchLineText& line(int row);
    void setLineInCache(int row, SearchLineText entry);
    SearchLineText translateBufferLineToStringWithWrap(int lineIndex, bool trimRight) const;

    double lastAccessTimestamp = 0;
    // Seconds on a monotonic clock; tests replace it.
    std::function<double()> clock;

private:
    Terminal& terminal_;
    std::optional<std::vector<std::optional<SearchLineText>>> linesCache_;
    const Buffer* cachedBuffer_ = nullptr;
    int cachedTrimmed_ = 0;
    SearchLineText scratch_;
};

}  // namespace vantel
