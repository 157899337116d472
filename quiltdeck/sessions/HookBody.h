#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quiltdeck {

// A hook event's JSON body as it arrives, kept small whatever its size, so that every event up to
// the server's cap reaches its tile:
// - each string keeps at most the first `string` bytes of its JSON text, cut where a character
//   starts (never inside an escape, a UTF-8 sequence or a surrogate pair): a pasted prompt of megabytes
//   arrives as its head, which is all a tile's title, status and history read of it;
// - within each top-level member's value, an array keeps its first items and an object its first
//   members while the member's kept form is under `member` bytes: a file search's thousands of
//   paths arrive as their first few hundred;
// - top-level members are kept while the whole is under `event` bytes; past it only the members
//   the tile reads (the session, the prompt, the tool and its input, the notification's type),
//   each once, so that no size of the rest hides them; inside the tool's input, likewise the
//   members its label reads (the command, the file's path, the pattern, the description), past
//   the member's share;
// - an array or object nested deeper than `depthLimit` goes by itself (an item whole, a member
//   with its key): the parse on the main loop would refuse the whole event for it.
// What goes goes whole, with its comma, so what is kept of a JSON text is JSON. Memory follows
// what is kept, not the body. What is no JSON outside any container is kept as it comes: the
// parse on the main loop refuses it as before. A byte-level state machine, fed piece by piece;
// where the pieces end changes nothing.
class HookBody {
public:
    // The head of a prompt a title and History show (4 KiB) with room for escapes: a string of
    // \u escapes alone keeps a sixth of it.
    static constexpr size_t stringLimit = 64 * 1024;
    static constexpr size_t memberLimit = 64 * 1024;
    static constexpr size_t eventLimit = 256 * 1024;
    // What the kept form of a JSON object comes to at most: the event's share, the member that
    // started under it, and each member read past it, each a key, a string and one more item of
    // each (a key and a string) at most, with room for escapes and brackets, and the tool input's
    // members read past its share, each a short key and a string.
    static constexpr size_t keptBound =
        eventLimit + 6 * (memberLimit + 4 * (stringLimit + 16) + 4 * (stringLimit + 64)) + 65536;
    // Well within what the event's parse allows (512 levels).
    static constexpr size_t depthLimit = 256;

    struct Limits {
        size_t string = stringLimit;
        size_t member = memberLimit;
        size_t event = eventLimit;
    };

    HookBody() : HookBody(Limits{}) {}
    // Other limits: tests and fuzzing, to cut short texts.
    explicit HookBody(Limits limits) : limits_(limits) {}

    // Room for `bytes` of what is kept, made at once rather than as it grows.
    void reserve(size_t bytes) { kept_.reserve(bytes); }
    void append(std::string_view bytes);
    const std::string& kept() const { return kept_; }
    // Strings cut so far.
    size_t cut() const { return cut_; }
    // Items and members left out so far.
    size_t dropped() const { return dropped_; }

private:
    enum class State : uint8_t {
        outside,        // between values, kept
        text,           // in a kept string
        escape,         // after its backslash
        unicode,        // in its \u escape's digits
        skipping,       // in the rest of a cut string
        skippingEscape,
        key,            // in a key past its share (top level, or the tool's input): kept if the tile reads it
        keyEscape,
        dropping,       // in an item or member that goes
        droppingText,
        droppingEscape,
    };

    size_t outside(std::string_view bytes, size_t at);
    size_t text(std::string_view bytes, size_t at);
    void textByte(char c);
    void cutHere();
    size_t key(std::string_view bytes, size_t at);
    size_t dropping(std::string_view bytes, size_t at);
    // The first byte of an item or member, not blank: whether it is kept.
    void elementStarts(char c);
    void keep();
    void drop();
    void dropMember(char c);
    void close(char c);

    const Limits limits_;
    std::string kept_;
    size_t cut_ = 0;
    size_t dropped_ = 0;
    State state_ = State::outside;

    size_t depth_ = 0;          // kept containers open
    bool elementNext_ = false;  // after [, { or ,: the next byte not blank starts an item or member
    bool commaOwed_ = false;    // a comma read, not yet kept: kept before the next item kept
    bool nothingKept_ = false;  // the innermost container kept has kept no item or member yet
    size_t memberStart_ = 0;    // where the top-level member being kept starts in `kept_`
    size_t elementAt_ = 0;      // where the item or member kept last starts, with its comma
    bool elementFirst_ = false; // it was its container's first kept
    uint32_t readKept_ = 0;     // the members read past the event's share, one bit each
    bool inToolInput_ = false;  // the kept object at depth 2 is the value of "tool_input"
    uint32_t inputKept_ = 0;    // its members read past the member's share, one bit each

    size_t textBytes_ = 0;  // of the current string, as kept
    int hexDigits_ = 0;     // of the \u escape being read
    char hex_[4] = {};      // its digits so far
    // The last escape was a high surrogate: a cut right after it takes it out.
    bool pairOpen_ = false;
    bool escapeClosesPair_ = false;  // the escape being read follows a high surrogate
    size_t lastCharAt_ = 0;          // where the last character kept starts (a pair's high half)
    size_t highAt_ = 0;              // where the open pair's high half starts
    size_t textStart_ = 0;           // where the string's text starts

    std::string key_;          // a key past its share, as sent
    size_t dropDepth_ = 0;     // containers open in what goes
};

}  // namespace quiltdeck
