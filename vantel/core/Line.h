#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantel {

// A piece of exported text that remembers the buffer row and column it came from.
struct LineFragment {
    std::optional<std::string> text;
    int64_t line = 0;      // ring row; for a line break, the row the break ends
    int64_t location = 0;  // first column; -1 for a line break
    int64_t length = 0;    // characters in text; 1 for a line break

    static LineFragment lineBreak(int64_t row) { return LineFragment{std::string("\n"), row, -1, 1}; }
    bool isLineBreak() const { return location == -1 && text && *text == "\n"; }
    friend bool operator==(const LineFragment&, const LineFragment&) = default;
};

// One logical line of exported text (rows joined by wrapping), as fragments in text order.
class Line {
public:
    const std::vector<LineFragment>& fragments() const { return fragments_; }
    int64_t length() const { return length_; }
    size_t count() const { return fragments_.size(); }

    void add(LineFragment fragment);

    std::optional<int64_t> startLine() const;
    std::optional<int64_t> startLocation() const;
    // The fragments' texts joined.
    std::string toString() const;
    // Index of the fragment holding the character at `position`, or -1 past the end.
    int getFragmentIndex(int64_t position) const;
    const LineFragment& operator[](size_t index) const { return fragments_[index]; }

    std::string debugDescription() const;

    // All fragment texts of all lines joined, with no separator of its own.
    static std::string joinedText(const std::vector<Line>& lines);

private:
    std::vector<LineFragment> fragments_;
    int64_t length_ = 0;
};

}  // namespace vantel
