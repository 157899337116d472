#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quiltdeck {

// A hook event's JSON body as it arrives, kept small whatever its size: each string keeps the
// first `stringLimit` bytes of its JSON text, cut where a character starts (never inside an
// escape, a UTF-8 sequence or a surrogate pair), and everything else is kept as sent. A pasted
// prompt of megabytes arrives as its head, which is all a tile's title, status and history
// read of it, with the event and its other fields whole; memory follows what is kept, not the
// body. What is no JSON is kept as it comes: the parse on the main loop refuses it as before.
// A byte-level state machine, fed piece by piece; where the pieces end changes nothing.
class HookBody {
public:
    // The head of a prompt a title and History show (4 KiB) with room for escapes: a string of
    // \u escapes alone keeps a sixth of it.
    static constexpr size_t stringLimit = 64 * 1024;

    // Another limit: tests and fuzzing, to cut short texts.
    explicit HookBody(size_t limit = stringLimit) : limit_(limit) {}

    void append(std::string_view bytes);
    const std::string& kept() const { return kept_; }
    // Strings cut so far.
    size_t cut() const { return cut_; }

private:
    enum class State : uint8_t { between, text, escape, unicode, skipping, skippingEscape };

    void text(char c);

    const size_t limit_;
    std::string kept_;
    size_t cut_ = 0;
    State state_ = State::between;
    size_t textBytes_ = 0;  // of the current string, as kept
    int hexDigits_ = 0;     // of the \u escape being read
    char hex_[4] = {};      // its digits so far
    // The last escape was a high surrogate: the low one that completes it is kept past the limit.
    bool pairOpen_ = false;
    bool escapeClosesPair_ = false;  // the escape being read follows a high surrogate
};

}  // namespace quiltdeck
