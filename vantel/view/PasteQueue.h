#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vantel {

// Why a paste still coming from another program was given up by the view before its owner ended it.
enum class PasteStop {
    none,
    keysWaited,   // typed input waited its limit behind it
    interrupted,  // Ctrl+C was typed
    ended,        // the terminal's child ended
    closed,       // the terminal was closed (its owner ended its child)
};

// Input that waits its turn: a paste too large to send at once, and whatever is typed or pasted
// after it, in order. It is taken out in pieces, a pasted text losing its control characters as
// it goes, so that neither the filtering nor the writing holds the loop for long. A paste whose
// text is still coming (from another program's clipboard) holds its place: what is pushed after
// it waits until it is closed, or until the paste lets it pass before its first bytes came.
class PasteQueue {
public:
    // `pasted`: text that loses its control characters (see TerminalView::filterPastedText).
    // `typedAt`: when the user typed it (not 0), for heldTypedInput. `whenRead`: it goes to the
    // child once the child has read what went before (frontWaitsForRead).
    void push(std::string bytes, bool pasted, uint64_t typedAt = 0, bool whenRead = false);

    using Stream = uint64_t;
    // Holds a place for input that comes later, in pieces.
    Stream open();
    // More of an open stream, in its place. Pasted bytes may end inside a character: its start
    // waits for the rest (or for the close), so the pieces filter as the whole text would.
    void append(Stream stream, std::string bytes, bool pasted);
    // Closes a stream; what it holds of a character begun goes in as it is, or, for a stream cut
    // short (`cut`), goes nowhere: nothing of a character whose rest never came is sent, and it
    // counts as dropped.
    void close(Stream stream, bool cut = false);
    // A stream cut short, still open (its frame's end to come): what it holds of a character
    // begun goes nowhere, and counts as dropped.
    void cutShort(Stream stream);
    // An open stream holds the start of a character whose rest has not come.
    bool holdsCharacterStart(Stream stream) const;
    // What waits behind an open stream that has had no bytes yet goes ahead of it: the stream
    // gives up its place and takes one at the back with its first bytes. False when it had some
    // (or is not open).
    bool letPass(Stream stream);

    // The first open stream that typed input waits behind, and when the first of that input was typed.
    struct Held {
        Stream stream;
        uint64_t typedAt;
    };
    std::optional<Held> heldTypedInput() const;
    // Drops the pasted text that has not gone out yet (not what is still to come into an open
    // stream); the frames around it and typed input stay. Gives the bytes dropped.
    size_t dropPastedText();

    // The pasted text that went into a stream (before filtering): what of it still waits, what was
    // taken out, what dropPastedText dropped. Kept after the stream closed, until forgotten.
    struct Count {
        size_t waiting = 0;
        size_t taken = 0;
        size_t dropped = 0;
    };
    Count count(Stream stream) const;
    void forget(Stream stream) { counts_.erase(stream); }

    bool empty() const { return items_.empty(); }
    // Whether the first input has bytes to take now (an open stream may have none yet).
    bool ready() const { return !items_.empty() && !items_.front().stream; }
    // Bytes still to be taken (before filtering).
    size_t waitingBytes() const { return waiting_; }
    // Bytes still to be taken of the first input.
    size_t frontBytes() const { return ready() ? items_.front().bytes.size() - items_.front().taken : 0; }
    // The paste the first input is the text of: its stream, `wholePaste` for text pushed whole,
    // 0 when it is no pasted text (keys, frames).
    static constexpr Stream wholePaste = UINT64_MAX;
    Stream frontPaste() const {
        if (!ready() || !items_.front().pasted) return 0;
        return items_.front().from ? items_.front().from : wholePaste;
    }
    // `bytes` of a stream's pasted text that were taken out but never reached the child: counted
    // as dropped, not taken.
    void takeBack(Stream stream, size_t bytes);
    // Whether the first input was pushed to go once the child has read what went before it.
    bool frontWaitsForRead() const { return ready() && items_.front().whenRead; }
    // Whether the first input is pasted text, whose filtering may make it longer: each byte that is
    // no UTF-8 becomes U+FFFD, three bytes.
    bool frontIsPasted() const { return ready() && items_.front().pasted; }
    static constexpr size_t mostGrowth = 3;
    // The next piece: at most `limit` bytes of the first input's, filtered when pasted, never a
    // UTF-8 character cut in two. Empty when nothing is ready.
    std::string take(size_t limit);

private:
    struct Item {
        std::string bytes;
        bool pasted = false;
        size_t taken = 0;
        // Not 0: the place of an open stream; `bytes` holds the start of a character cut at the
        // end of its last piece.
        Stream stream = 0;
        // An open stream: whether bytes came into it. Else: when the user typed it; 0 when not typed.
        bool begun = false;
        uint64_t typedAt = 0;
        // The stream the bytes went into (0: pushed).
        Stream from = 0;
        bool whenRead = false;
    };
    // The index of a stream's place; the size when it is not open.
    size_t place(Stream stream) const;
    void insert(size_t at, std::string bytes, bool pasted, Stream from);

    std::deque<Item> items_;
    // Open streams that let what was behind them pass: they have no place until their first bytes.
    std::vector<Stream> placeless_;
    std::map<Stream, Count> counts_;
    size_t waiting_ = 0;
    Stream lastStream_ = 0;
};

}  // namespace vantel
