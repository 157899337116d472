#pragma once

#include <cstddef>
#include <deque>
#include <string>

namespace vantel {

// Input that waits its turn: a paste too large to send at once, and whatever is typed or pasted
// after it, in order. It is taken out in pieces, a pasted text losing its control characters as
// it goes, so that neither the filtering nor the writing holds the loop for long.
class PasteQueue {
public:
    // `pasted`: text that loses its control characters (see TerminalView::filterPastedText).
    void push(std::string bytes, bool pasted);
    bool empty() const { return items_.empty(); }
    // Bytes still to be taken (before filtering).
    size_t waitingBytes() const { return waiting_; }
    // Bytes still to be taken of the first input.
    size_t frontBytes() const { return items_.empty() ? 0 : items_.front().bytes.size() - items_.front().taken; }
    // Whether the first input is pasted text, whose filtering may make it longer: each byte that is
    // no UTF-8 becomes U+FFFD, three bytes.
    bool frontIsPasted() const { return !items_.empty() && items_.front().pasted; }
    static constexpr size_t mostGrowth = 3;
    // The next piece: at most `limit` bytes of the first input's, filtered when pasted, never a
    // UTF-8 character cut in two. Empty when nothing waits.
    std::string take(size_t limit);

private:
    struct Item {
        std::string bytes;
        bool pasted = false;
        size_t taken = 0;
    };
    std::deque<Item> items_;
    size_t waiting_ = 0;
};

}  // namespace vantel
