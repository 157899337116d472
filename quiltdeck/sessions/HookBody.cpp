#include "quiltdeck/sessions/HookBody.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstring>
#include <iterator>
#include <span>

namespace quiltdeck {

namespace {

// The top-level members a tile reads of an event (its status, title, tool and session).
constexpr std::string_view readMembers[] = {"session_id", "prompt", "tool_name", "tool_input", "notification_type"};
// The members of the tool's input its label reads.
constexpr std::string_view readInputMembers[] = {"command", "file_path", "pattern", "description"};
constexpr std::string_view toolInputKey = "\"tool_input\"";
// Longer than any of them.
constexpr size_t keyLimit = 32;

bool startsACharacter(char c) { return (static_cast<uint8_t>(c) & 0xC0) != 0x80; }

bool blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Where a string's text stops being plain, from `at`: its closing quote or an escape; the size when
// neither comes. memchr finds each at the speed of memory: a body is mostly strings. It looks in
// windows that grow from a few dozen bytes, so that a string dense with escapes costs what a plain
// one does, not a search of the rest of the piece for its quote at every escape.
size_t quoteOrBackslash(std::string_view bytes, size_t at) {
    // The next few bytes one by one: escapes often come that close.
    for (const size_t near = std::min(bytes.size(), at + 16); at < near; ++at) {
        if (bytes[at] == '"' || bytes[at] == '\\') return at;
    }
    constexpr size_t firstWindow = 64, largestWindow = 64 * 1024;
    for (size_t window = firstWindow; at < bytes.size(); window = std::min(window * 2, largestWindow)) {
        const char* begin = bytes.data() + at;
        size_t length = std::min(window, bytes.size() - at);
        const void* quote = std::memchr(begin, '"', length);
        if (quote) length = static_cast<size_t>(static_cast<const char*>(quote) - begin);
        const void* backslash = std::memchr(begin, '\\', length);
        if (backslash) return at + static_cast<size_t>(static_cast<const char*>(backslash) - begin);
        if (quote) return at + length;
        at += length;
    }
    return bytes.size();
}

// In a string passed over, from `at`: where its closing quote is, escapes skipped in one go; the
// size when the piece ends first, `escaped` then telling whether it ended on a backslash.
size_t closingQuote(std::string_view bytes, size_t at, bool& escaped) {
    escaped = false;
    for (;;) {
        const size_t stop = quoteOrBackslash(bytes, at);
        if (stop == bytes.size() || bytes[stop] == '"') return stop;
        if (stop + 1 == bytes.size()) {
            escaped = true;
            return bytes.size();
        }
        at = stop + 2;
    }
}

// The next quote, bracket or comma from `at`; the size when none comes.
size_t structural(std::string_view bytes, size_t at) {
    static constexpr auto table = [] {
        std::array<bool, 256> marks{};
        for (const char c : std::string_view("\"[]{},")) marks[static_cast<uint8_t>(c)] = true;
        return marks;
    }();
    while (at < bytes.size() && !table[static_cast<uint8_t>(bytes[at])]) ++at;
    return at;
}

}  // namespace

void HookBody::append(std::string_view bytes) {
    size_t at = 0;
    while (at < bytes.size()) {
        switch (state_) {
            case State::outside: at = outside(bytes, at); break;
            case State::text: at = text(bytes, at); break;
            case State::escape:
            case State::unicode: textByte(bytes[at++]); break;
            case State::skipping: {
                bool escaped = false;
                const size_t stop = closingQuote(bytes, at, escaped);
                if (stop == bytes.size()) {
                    if (escaped) state_ = State::skippingEscape;
                    return;
                }
                at = stop + 1;
                kept_ += '"';
                state_ = State::outside;
                break;
            }
            case State::skippingEscape:
                ++at;
                state_ = State::skipping;
                break;
            case State::key:
            case State::keyEscape: at = key(bytes, at); break;
            case State::dropping:
            case State::droppingText:
            case State::droppingEscape: at = dropping(bytes, at); break;
        }
    }
}

// Between values: runs of plain bytes whole, each bracket and comma by itself.
size_t HookBody::outside(std::string_view bytes, size_t at) {
    while (at < bytes.size() && state_ == State::outside) {
        const char c = bytes[at];
        if (elementNext_) {
            ++at;
            if (blank(c)) continue;
            elementNext_ = false;
            if (c == ']' || c == '}') {
                close(c);
            } else {
                elementStarts(c);
            }
            continue;
        }
        const size_t special = structural(bytes, at);
        if (special > at) {
            kept_.append(bytes.substr(at, special - at));
            at = special;
            continue;
        }
        ++at;
        switch (c) {
            case '"':
                kept_ += c;
                state_ = State::text;
                textBytes_ = 0;
                pairOpen_ = false;
                textStart_ = lastCharAt_ = kept_.size();
                break;
            case '[':
            case '{':
                // A member's value too deep for the parse: the member goes, key and all (an item
                // too deep never gets here: it goes as it starts).
                if (depth_ >= depthLimit) {
                    dropMember(c);
                    break;
                }
                kept_ += c;
                ++depth_;
                elementNext_ = true;
                commaOwed_ = false;
                nothingKept_ = true;
                if (depth_ == 2) {
                    inToolInput_ = c == '{' && std::string_view(kept_).substr(memberStart_).starts_with(toolInputKey);
                    inputKept_ = 0;
                }
                break;
            case ']':
            case '}': close(c); break;
            default:  // a comma
                if (depth_ == 0) {
                    kept_ += c;
                    break;
                }
                // Two in a row are no JSON, and stay so.
                if (commaOwed_) kept_ += c;
                commaOwed_ = true;
                elementNext_ = true;
        }
    }
    return at;
}

void HookBody::close(char c) {
    // A comma before a bracket is no JSON, and stays so.
    if (commaOwed_) kept_ += ',';
    commaOwed_ = false;
    kept_ += c;
    if (depth_ > 0) --depth_;
    if (depth_ < 2) inToolInput_ = false;
    // Back in the container that kept the one closed.
    nothingKept_ = false;
}

void HookBody::elementStarts(char c) {
    const std::string_view first(&c, 1);
    const bool pastEvent = depth_ == 1 && kept_.size() >= limits_.event;
    const bool pastMember = depth_ >= 2 && kept_.size() - memberStart_ >= limits_.member;
    // Too deep for the parse, which would refuse the whole event for it.
    const bool tooDeep = (c == '[' || c == '{') && depth_ >= depthLimit;
    if (!tooDeep && c == '"' && (pastEvent || (pastMember && depth_ == 2 && inToolInput_))) {
        // Past the share only what the tile reads stays: its key decides.
        key_.clear();
        state_ = State::key;
    } else if (pastEvent || pastMember || tooDeep) {
        drop();
        dropping(first, 0);
    } else {
        keep();
        // The byte itself, as any other between values.
        outside(first, 0);
    }
}

// What starts now is kept, after the comma owed before it.
void HookBody::keep() {
    elementAt_ = kept_.size();
    elementFirst_ = nothingKept_;
    if (commaOwed_ && !nothingKept_) kept_ += ',';
    commaOwed_ = false;
    nothingKept_ = false;
    if (depth_ == 1) memberStart_ = kept_.size();
}

// The member being kept goes after all, from the comma before its key; its value, from `c`, is
// passed over.
void HookBody::dropMember(char c) {
    kept_.resize(elementAt_);
    nothingKept_ = elementFirst_;
    drop();
    dropping(std::string_view(&c, 1), 0);
}

void HookBody::drop() {
    ++dropped_;
    commaOwed_ = false;
    dropDepth_ = 0;
    state_ = State::dropping;
}

// In a kept string: up to the limit, runs without quotes or escapes whole.
size_t HookBody::text(std::string_view bytes, size_t at) {
    while (at < bytes.size() && state_ == State::text) {
        if (textBytes_ < limits_.string) {
            const size_t span = std::min(bytes.size() - at, limits_.string - textBytes_);
            const size_t stop = quoteOrBackslash(bytes.substr(at, span), 0);
            if (stop > 0) {
                kept_.append(bytes.substr(at, stop));
                textBytes_ += stop;
                at += stop;
                pairOpen_ = false;
                // Where its last character starts, should the limit fall inside it (a run may end,
                // or begin, inside one).
                lastCharAt_ = kept_.size() - 1;
                for (int back = 0; back < 3 && lastCharAt_ > textStart_ && !startsACharacter(kept_[lastCharAt_]); ++back)
                    --lastCharAt_;
                continue;
            }
        }
        textByte(bytes[at++]);
    }
    return at;
}

// One byte inside a string, kept.
void HookBody::textByte(char c) {
    switch (state_) {
        case State::text:
            if (c == '"') {
                // The last character ran past the limit: it goes, as one followed by more would.
                if (textBytes_ > limits_.string) {
                    ++cut_;
                    cutHere();
                }
                kept_ += c;
                state_ = State::outside;
                return;
            }
            if (startsACharacter(c) && textBytes_ >= limits_.string) {
                ++cut_;
                cutHere();
                state_ = c == '\\' ? State::skippingEscape : State::skipping;
                return;
            }
            if (startsACharacter(c)) lastCharAt_ = kept_.size();
            escapeClosesPair_ = pairOpen_ && c == '\\';
            if (c != '\\') pairOpen_ = false;
            if (c == '\\') state_ = State::escape;
            break;
        case State::escape:
            if (c == 'u') {
                state_ = State::unicode;
                hexDigits_ = 0;
            } else {
                state_ = State::text;
                pairOpen_ = false;
            }
            break;
        case State::unicode: {
            if (!std::isxdigit(static_cast<unsigned char>(c))) {
                state_ = State::text;
                pairOpen_ = false;
                break;
            }
            hex_[hexDigits_] = c;
            if (++hexDigits_ < 4) break;
            state_ = State::text;
            uint32_t unit = 0;
            std::from_chars(hex_, hex_ + 4, unit, 16);
            // The escape after a high surrogate may complete it: a pair is one character, and the
            // limit falling in it takes both halves. A high one after a high one leaves the first
            // alone and opens a pair of its own.
            if (escapeClosesPair_ && unit >= 0xDC00 && unit <= 0xDFFF) lastCharAt_ = highAt_;
            pairOpen_ = unit >= 0xD800 && unit <= 0xDBFF;
            if (pairOpen_) highAt_ = lastCharAt_;
            break;
        }
        default: return;
    }
    kept_ += c;
    ++textBytes_;
}

// A string cut where a character starts: what is kept stays within the limit, and never ends inside
// an escaped pair. The character the limit fell in goes (a pair whole); so does a high surrogate
// whose low half the cut would leave out (one alone would have nothing to pair with anyway).
void HookBody::cutHere() {
    if (textBytes_ > limits_.string || pairOpen_) kept_.resize(lastCharAt_);
    pairOpen_ = false;
}

// A top-level key past the event's share, read as sent: the member stays when the tile reads it
// and it has not come before.
size_t HookBody::key(std::string_view bytes, size_t at) {
    while (at < bytes.size()) {
        const char c = bytes[at++];
        if (state_ == State::keyEscape) {
            state_ = State::key;
        } else if (c == '\\') {
            state_ = State::keyEscape;
        } else if (c == '"') {
            // A top-level member, or one of the tool's input.
            const bool top = depth_ == 1;
            const std::span<const std::string_view> names = top ? std::span<const std::string_view>(readMembers) : std::span<const std::string_view>(readInputMembers);
            uint32_t& kept = top ? readKept_ : inputKept_;
            const auto read = std::find(names.begin(), names.end(), key_);
            const uint32_t bit = 1u << (read - names.begin());
            if (read == names.end() || (kept & bit)) {
                drop();
                return at;
            }
            kept |= bit;
            keep();
            kept_ += '"';
            kept_ += key_;
            kept_ += '"';
            state_ = State::outside;
            return at;
        }
        if (key_.size() <= keyLimit) key_ += c;
    }
    return at;
}

// In an item or member that goes: to the comma or bracket that ends it.
size_t HookBody::dropping(std::string_view bytes, size_t at) {
    while (at < bytes.size()) {
        if (state_ == State::droppingEscape) {
            ++at;
            state_ = State::droppingText;
            continue;
        }
        if (state_ == State::droppingText) {
            bool escaped = false;
            const size_t stop = closingQuote(bytes, at, escaped);
            if (stop == bytes.size()) {
                if (escaped) state_ = State::droppingEscape;
                return stop;
            }
            at = stop + 1;
            state_ = State::dropping;
            continue;
        }
        const size_t stop = structural(bytes, at);
        if (stop == bytes.size()) return stop;
        at = stop + 1;
        switch (const char c = bytes[stop]) {
            case '"': state_ = State::droppingText; break;
            case '[':
            case '{': ++dropDepth_; break;
            case ']':
            case '}':
                if (dropDepth_ > 0) {
                    --dropDepth_;
                    break;
                }
                // The container it stood in ends.
                state_ = State::outside;
                close(c);
                return at;
            default:  // a comma
                if (dropDepth_ > 0) break;
                state_ = State::outside;
                commaOwed_ = true;
                elementNext_ = true;
                return at;
        }
    }
    return at;
}

}  // namespace quiltdeck
