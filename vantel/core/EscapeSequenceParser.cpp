#include "vantel/core/EscapeSequenceParser.h"

#include "vantel/core/ByteScan.h"
#include "vantel/core/Terminal.h"
#include "vantel/core/TerminalPrintOne.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace vantel {

namespace {

constexpr uint8_t entry(ParserAction action, ParserState next) {
    return static_cast<uint8_t>(static_cast<uint8_t>(action) << 4 | static_cast<uint8_t>(next));
}

struct TableBuilder {
    TransitionTable result;

    void add(int state, int byte, ParserAction action, ParserState next) {
        result.table[(state << 8) | byte] = entry(action, next);
    }
    void add(int state, std::initializer_list<std::pair<int, int>> ranges, ParserAction action, ParserState next) {
        for (auto [low, high] : ranges) {
            for (int b = low; b <= high; ++b) add(state, b, action, next);
        }
    }
    // Writes the row in every state with `stay` meaning the state itself.
    void addAll(std::initializer_list<std::pair<int, int>> ranges, ParserAction action, ParserState next) {
        for (int s = 0; s <= 14; ++s) add(s, ranges, action, next);
    }
};

TransitionTable buildVt500TransitionTable() {
    using A = ParserAction;
    using S = ParserState;
    TableBuilder b;
    const std::initializer_list<std::pair<int, int>> executable = {{0x00, 0x18}, {0x1C, 0x1F}};
    const std::initializer_list<std::pair<int, int>> printable = {{0x20, 0x7E}};

    b.addAll({{0x00, 0xA0}}, A::error, S::ground);
    b.addAll({{0x18, 0x18}, {0x1A, 0x1A}}, A::execute, S::ground);
    b.addAll({{0x19, 0x19}}, A::error, S::ground);
    b.addAll({{0x1B, 0x1B}}, A::clear, S::escape);
    b.addAll({{0x80, 0x8F}, {0x91, 0x97}, {0x99, 0x9A}}, A::execute, S::ground);
    b.addAll({{0x90, 0x90}}, A::clear, S::dcsEntry);
    b.addAll({{0x98, 0x98}, {0x9E, 0x9E}}, A::ignore, S::sosPmApcString);
    b.addAll({{0x9B, 0x9B}}, A::clear, S::csiEntry);
    b.addAll({{0x9C, 0x9C}}, A::ignore, S::ground);
    b.addAll({{0x9D, 0x9D}}, A::oscStart, S::oscString);
    b.addAll({{0x9F, 0x9F}}, A::oscStart, S::apcString);
    b.addAll({{0xA0, 0xA0}}, A::error, S::ground);

    const int ground = 0, escape = 1, escI = 2, csiEntry = 3, csiParam = 4, csiI = 5, csiIgnore = 6, sos = 7,
              osc = 8, apc = 9, dcsEntry = 10, dcsParam = 11, dcsIgnore = 12, dcsI = 13, dcsPass = 14;

    b.add(ground, executable, A::execute, S::ground);
    b.add(ground, printable, A::print, S::ground);
    b.add(ground, 0x7F, A::error, S::ground);

    b.add(escape, executable, A::execute, S::escape);
    b.add(escape, {{0x20, 0x2F}}, A::collect, S::escapeIntermediate);
    b.add(escape, {{0x30, 0x4F}, {0x51, 0x57}, {0x59, 0x5A}, {0x5C, 0x5C}, {0x60, 0x7E}}, A::escDispatch, S::ground);
    b.add(escape, 0x50, A::clear, S::dcsEntry);
    b.add(escape, {{0x58, 0x58}, {0x5E, 0x5E}}, A::ignore, S::sosPmApcString);
    b.add(escape, 0x5B, A::clear, S::csiEntry);
    b.add(escape, 0x5D, A::oscStart, S::oscString);
    b.add(escape, 0x5F, A::oscStart, S::apcString);
    b.add(escape, 0x7F, A::ignore, S::escape);

    b.add(escI, executable, A::execute, S::escapeIntermediate);
    b.add(escI, {{0x20, 0x2F}}, A::collect, S::escapeIntermediate);
    b.add(escI, {{0x30, 0x7E}}, A::escDispatch, S::ground);
    b.add(escI, 0x7F, A::ignore, S::escapeIntermediate);

    b.add(csiEntry, executable, A::execute, S::csiEntry);
    b.add(csiEntry, {{0x20, 0x2F}}, A::collect, S::csiIntermediate);
    b.add(csiEntry, {{0x30, 0x39}, {0x3B, 0x3B}}, A::param, S::csiParam);
    b.add(csiEntry, 0x3A, A::error, S::ground);
    b.add(csiEntry, {{0x3C, 0x3F}}, A::collect, S::csiParam);
    b.add(csiEntry, {{0x40, 0x7E}}, A::csiDispatch, S::ground);
    b.add(csiEntry, 0x7F, A::ignore, S::csiEntry);

    b.add(csiParam, executable, A::execute, S::csiParam);
    b.add(csiParam, {{0x20, 0x2F}}, A::collect, S::csiIntermediate);
    b.add(csiParam, {{0x30, 0x3B}}, A::param, S::csiParam);
    b.add(csiParam, {{0x3C, 0x3F}}, A::ignore, S::csiIgnore);
    b.add(csiParam, {{0x40, 0x7E}}, A::csiDispatch, S::ground);
    b.add(csiParam, 0x7F, A::ignore, S::csiParam);

    b.add(csiI, executable, A::execute, S::csiIntermediate);
    b.add(csiI, {{0x20, 0x2F}}, A::collect, S::csiIntermediate);
    b.add(csiI, {{0x30, 0x3F}}, A::ignore, S::csiIgnore);
    b.add(csiI, {{0x40, 0x7E}}, A::csiDispatch, S::ground);
    b.add(csiI, 0x7F, A::ignore, S::csiIntermediate);

    b.add(csiIgnore, executable, A::execute, S::csiIgnore);
    b.add(csiIgnore, {{0x20, 0x3F}, {0x7F, 0x7F}}, A::ignore, S::csiIgnore);
    b.add(csiIgnore, {{0x40, 0x7E}}, A::ignore, S::ground);

    b.add(sos, {{0x00, 0x18}, {0x1C, 0x7F}}, A::ignore, S::sosPmApcString);

    for (int s : {osc, apc}) {
        ParserState self = static_cast<ParserState>(s);
        b.add(s, {{0x00, 0x06}, {0x08, 0x17}, {0x1C, 0x1F}}, A::ignore, self);
        b.add(s, {{0x07, 0x07}, {0x18, 0x18}, {0x1A, 0x1A}, {0x1B, 0x1B}, {0x9C, 0x9C}}, A::oscEnd, S::ground);
        b.add(s, {{0x20, 0x7F}, {0xA0, 0xA0}}, A::oscPut, self);
    }

    b.add(dcsEntry, executable, A::ignore, S::dcsEntry);
    b.add(dcsEntry, 0x7F, A::ignore, S::dcsEntry);
    b.add(dcsEntry, {{0x20, 0x2F}}, A::collect, S::dcsIntermediate);
    b.add(dcsEntry, {{0x30, 0x39}, {0x3B, 0x3B}}, A::param, S::dcsParam);
    b.add(dcsEntry, 0x3A, A::ignore, S::dcsIgnore);
    b.add(dcsEntry, {{0x3C, 0x3F}}, A::collect, S::dcsParam);
    b.add(dcsEntry, {{0x40, 0x7E}}, A::dcsHook, S::dcsPassthrough);

    b.add(dcsParam, executable, A::ignore, S::dcsParam);
    b.add(dcsParam, 0x7F, A::ignore, S::dcsParam);
    b.add(dcsParam, {{0x20, 0x2F}}, A::collect, S::dcsIntermediate);
    b.add(dcsParam, {{0x30, 0x39}, {0x3B, 0x3B}}, A::param, S::dcsParam);
    b.add(dcsParam, {{0x3A, 0x3A}, {0x3C, 0x3F}}, A::ignore, S::dcsIgnore);
    b.add(dcsParam, {{0x40, 0x7E}}, A::dcsHook, S::dcsPassthrough);

    b.add(dcsIgnore, {{0x00, 0x18}, {0x1C, 0x7F}}, A::ignore, S::dcsIgnore);

    b.add(dcsI, executable, A::ignore, S::dcsIntermediate);
    b.add(dcsI, 0x7F, A::ignore, S::dcsIntermediate);
    b.add(dcsI, {{0x20, 0x2F}}, A::collect, S::dcsIntermediate);
    b.add(dcsI, {{0x30, 0x3F}}, A::ignore, S::dcsIgnore);
    b.add(dcsI, {{0x40, 0x7E}}, A::dcsHook, S::dcsPassthrough);

    b.add(dcsPass, {{0x00, 0x18}, {0x1C, 0x7E}}, A::dcsPut, S::dcsPassthrough);
    b.add(dcsPass, 0x7F, A::ignore, S::dcsPassthrough);
    b.add(dcsPass, {{0x1B, 0x1B}, {0x9C, 0x9C}}, A::dcsUnhook, S::ground);
    return b.result;
}

bool profilingEnabled() {
    static const bool enabled = [] {
        const char* value = std::getenv("VANTEL_PROFILE");
        return value && std::string_view(value) == "1";
    }();
    return enabled;
}

constexpr bool isStringState(ParserState state) {
    return state == ParserState::oscString || state == ParserState::apcString;
}

// One decimal digit into a parameter, which saturates at 65535.
inline int accumulateDigit(int parameter, unsigned digit) {
    return std::min(parameter * 10 + static_cast<int>(digit), 65535);
}

}  // namespace

const TransitionTable& TransitionTable::shared() {
    static const TransitionTable table = buildVt500TransitionTable();
    return table;
}

namespace {

std::atomic<bool>& byteAtATimeDefault() {
#ifdef VANTEL_PARSER_BYTE_AT_A_TIME
    static std::atomic<bool> on{true};
#else
    static std::atomic<bool> on{false};
#endif
    return on;
}

}  // namespace

void EscapeSequenceParser::setByteAtATimeByDefault(bool on) { byteAtATimeDefault().store(on); }

bool EscapeSequenceParser::byteAtATimeByDefault() { return byteAtATimeDefault().load(); }

EscapeSequenceParser::EscapeSequenceParser(Terminal* terminal)
    : terminal_(terminal), table_(TransitionTable::shared()) {
    errorHandler = [](const ParsingState& state) { return state; };
    csiHandlerFallback = [this](std::span<const int>, std::string_view, uint8_t code) {
        if (terminal_) terminal_->log("Cannot handle ESC-" + std::to_string(code));
    };
}

EscapeSequenceParser::~EscapeSequenceParser() = default;

void EscapeSequenceParser::clearSequence() {
    osc_.clear();
    apc_.clear();
    stringTooLong_ = false;
    payloadBegun_ = false;
    dcsLength_ = 0;
    collectCount_ = 0;
    parsCount_ = 1;
    pars_[0] = 0;
    parameterLimitExceeded_ = false;
}

void EscapeSequenceParser::reset() {
    currentState_ = initialState;
    clearSequence();
    activeDcsHandler_.reset();
    resetPrintState();
}

// Everything the parse loop may change that is cheap to copy, so an aborting
// error handler can leave the parser as the call found it.
struct EscapeSequenceParser::SmallState {
    ParserState state;
    std::array<int, maximumParameters> pars;
    std::array<char, maximumParameters> parsTxt;
    int parsCount;
    std::array<char, maximumCollect> collect;
    int collectCount;
    bool limit;
    bool tooLong;
    bool payloadBegun;
    size_t dcsLength;
    size_t oscLength;
    size_t apcLength;
};

// One call's walk over its bytes: the state, where the pending print run and DCS payload
// start (both end with the call), and what an aborting error handler needs to put back.
struct EscapeSequenceParser::Walk {
    Walk(const EscapeSequenceParser& p, Bytes data)
        : data(data),
          bytes(data.data()),
          length(static_cast<int64_t>(data.size())),
          state(p.currentState_),
          entry{p.currentState_, p.pars_, p.parsTxt_, p.parsCount_, p.collect_, p.collectCount_,
                p.parameterLimitExceeded_, p.stringTooLong_, p.payloadBegun_, p.dcsLength_, p.osc_.size(),
                p.apc_.size()} {}

    Bytes data;
    const uint8_t* bytes;
    int64_t length;
    ParserState state;
    int64_t printStart = -1;
    // The pending print run is printable ASCII only, which the terminal prints without
    // looking at each byte again.
    bool printAscii = false;
    int64_t dcsStart = -1;
    // Set by an aborting error handler, and by a dispatch that held the input (with `held`).
    bool aborted = false;
    bool held = false;

    const SmallState entry;
    bool stringsKept = false;
    std::string oscKept, apcKept;
    bool dcsKept = false;
    std::unique_ptr<DcsHandler> dcsHandlerKept;
};

void EscapeSequenceParser::parse(std::span<const uint8_t> data) {
    if (holdingInput_) return keepHeldInput(data);
    if (byteAtATime_) {
        for (size_t i = 0; i < data.size(); ++i) {
            if (holdingInput_) return keepHeldInput(data.subspan(i));
            walk(data.subspan(i, 1), false);
        }
        return;
    }
    walk(data, true);
}

void EscapeSequenceParser::keepHeldInput(Bytes data) {
    heldInput_.insert(heldInput_.end(), data.begin(), data.end());
    if (heldInput_.size() > heldInputLimit && terminal_) terminal_->finishHeldInputWork();
}

void EscapeSequenceParser::releaseInput() {
    if (!holdingInput_) return;
    holdingInput_ = false;
    std::vector<uint8_t> held;
    held.swap(heldInput_);
    parse(held);
    if (terminal_) terminal_->inputReleased();
}

void EscapeSequenceParser::walk(Bytes data, bool fastPaths) {
    const bool profiling = profilingEnabled();
    if (profiling) std::fprintf(stderr, "Parser.Parse begin %zu\n", data.size());
    Walk w(*this, data);
    for (int64_t i = 0; i < w.length; ++i) {
        if (fastPaths) {
            if (w.state == ParserState::ground) i = groundRun(w, i);
            else if (w.state == ParserState::csiParam) i = parameterRun(w, i);
            else if (payloadBegun_ && isStringState(w.state)) i = stringRun(w, i);
            if (i == w.length) break;
        }
        step(w, i);
        if (w.aborted) {
            if (w.held) {
                // Held by the sequence just dispatched: the rest waits, unparsed.
                currentState_ = w.state;
                heldInput_.insert(heldInput_.end(), w.bytes + i + 1, w.bytes + w.length);
            }
            return;
        }
    }
    if (w.state == ParserState::ground) flushPrint(w, w.length);
    if (w.state == ParserState::dcsPassthrough) putDcs(w, w.length);
    currentState_ = w.state;
    if (profiling) std::fprintf(stderr, "Parser.Parse end\n");
}

// Text, controls, and complete "ESC [ ... final" sequences of the ordinary shape, one after
// the other. Every byte from 0x20 up is text here, 0x7F and the 8-bit controls included: the
// print side decodes UTF-8. Stops at any other ESC, at a CSI it cannot take whole, and at the
// one control the table calls an error, where a pending print run stays open (its byte joins
// the run).
int64_t EscapeSequenceParser::groundRun(Walk& w, int64_t i) {
    const uint8_t* bytes = w.bytes;
    const int64_t length = w.length;
    while (i < length) {
        if (bytes[i] >= 0x20) {
            if (w.printStart < 0) {
                w.printStart = i;
                w.printAscii = true;
            }
            int64_t end = static_cast<int64_t>(
                bytescan::printableAsciiEnd(bytes, static_cast<size_t>(i), static_cast<size_t>(length)));
            if (end < length && bytes[end] >= 0x7F) {
                w.printAscii = false;
                end = static_cast<int64_t>(
                    bytescan::firstControlByte(bytes, static_cast<size_t>(end + 1), static_cast<size_t>(length)));
            }
            i = end;
            continue;
        }
        if (bytes[i] == 0x19) return i;
        flushPrint(w, i);
        if (bytes[i] != 0x1B) {
            // Every other control executes and stays in ground.
            dispatchExecute(bytes[i++]);
            continue;
        }
        if (i + 2 >= length || bytes[i + 1] != '[') return i;
        if (terminal_) {
            // Sequences of the plain shape one after the other, each perhaps followed by a lone
            // character (a cursor move or a colour, then a character, over and over).
            int64_t end;
            while ((end = plainCsi(bytes, i + 2, length)) >= 0) {
                if (end + 1 < length && bytes[end + 1] == 0x1B && static_cast<uint8_t>(bytes[end] - 0x20) < 0x5F) {
                    terminal_->printAsciiCharacter(bytes[end], bytes[end - 1] == 'H');
                    ++end;
                }
                i = end;
                if (i + 2 >= length || bytes[i] != 0x1B || bytes[i + 1] != '[') break;
            }
            if (end >= 0) continue;
        }
        beginSequence(w, i);
        const int64_t final = loadCsi(bytes, i + 2, length);
        if (final < 0) {
            clearSequence();
            return i;
        }
        dispatchCsi(bytes[final], std::span<const int>(pars_.data(), parsCount_),
                    std::string_view(collect_.data(), collectCount_));
        i = final + 1;
    }
    return i;
}

using bytescan::paletteBackground;
using bytescan::paletteForeground;

// One or two parameters of at most three digits and the final byte within the eight bytes
// at bytes[0...], `word`: both numbers from the word, with no branch on how many digits each
// has. Returns the count of parameters read (0 when the sequence has another shape), plus
// the final byte's offset times 256.
[[gnu::always_inline]] inline int EscapeSequenceParser::shortParameters(const uint8_t* bytes, uint64_t word) {
    uint64_t digits;
    const uint64_t other = bytescan::nonDigitBytes(word, digits);
    const int first = __builtin_ctzll(other | 1ULL << 63) >> 3;
    const uint64_t rest = other & (other - 1);
    const int second = __builtin_ctzll(rest | 1ULL << 63) >> 3;
    const uint8_t end = bytes[first];
    if (first > 3) return 0;
    if (end == ';' && second - first <= 4 && static_cast<uint8_t>(bytes[second] - 0x40) <= 0x3E) {
        pars_[0] = bytescan::smallDecimal(digits, first);
        pars_[1] = bytescan::smallDecimal(digits >> (8 * first + 8), second - first - 1);
        parsTxt_[0] = ';';
        return 2 | second << 8;
    }
    if (static_cast<uint8_t>(end - 0x40) <= 0x3E) {
        pars_[0] = bytescan::smallDecimal(digits, first);
        return 1 | first << 8;
    }
    return 0;
}

// A CSI sequence of digits and semicolons only (and colons in SGR), at most maximumParameters
// of them, whose final byte is in bytes[from, length): the commonest shape by far (cursor
// moves, colours). It is read in one pass and acted on at once, CUP and SGR without the
// generic dispatch. Returns the index after the final byte, or -1 before touching the terminal
// when the bytes have any other shape; the general path reads them again from the ESC.
[[gnu::always_inline]] inline int64_t EscapeSequenceParser::plainCsi(const uint8_t* bytes, int64_t from, int64_t length) {
    int count = 0;
    int64_t i = from;
    uint64_t word;
    if (from + 8 <= length && bytescan::hasByte((std::memcpy(&word, bytes + from, 8), word), 'H')) {
        // Likely a cursor position: its two numbers have one to three digits from one sequence
        // to the next (random places, as full-screen programs draw), where branches on each
        // digit guess wrong half the time. Other sequences go byte by byte, which costs those
        // with numbers of steady widths less; palette colours are read as groups there.
        count = shortParameters(bytes + from, word);
        i = from + (count >> 8);
        count &= 0xFF;
    }
    if (count == 0) {
        // Byte by byte: more or longer parameters, or near the end of the read.
        for (;;) {
            if (i + 16 <= length && count + 3 <= maximumParameters) {
                // A palette colour, "38;5;N" or "48;5;N": the index has one to three digits at
                // random in colourful output, read from one word like a cursor position's.
                uint64_t head, index, digits;
                std::memcpy(&head, bytes + i, 8);
                head &= bytescan::paletteHeadMask;
                if (head == paletteForeground || head == paletteBackground) {
                    if (count == 0) {
                        const int64_t end = paletteSgr(bytes, i, length);
                        if (end >= 0) return end;
                    }
                    std::memcpy(&index, bytes + i + 5, 8);
                    const int n = __builtin_ctzll(bytescan::nonDigitBytes(index, digits) | 1ULL << 63) >> 3;
                    if (n <= 3) {
                        pars_[count] = head == paletteForeground ? 38 : 48;
                        pars_[count + 1] = 5;
                        pars_[count + 2] = bytescan::smallDecimal(digits, n);
                        parsTxt_[count] = parsTxt_[count + 1] = ';';
                        count += 3;
                        i += 5 + n;
                        if (bytes[i] != ';') break;
                        if (count == maximumParameters || ++i == length) return -1;
                        parsTxt_[count - 1] = ';';
                        continue;
                    }
                }
            }
            int value = 0;
            unsigned digit;
            while ((digit = static_cast<unsigned>(bytes[i]) - '0') < 10) {
                value = accumulateDigit(value, digit);
                if (++i == length) return -1;
            }
            pars_[count++] = value;
            if (bytes[i] != ';') break;
            if (count == maximumParameters || ++i == length) return -1;
            parsTxt_[count - 1] = ';';
        }
    }
    const uint8_t c = bytes[i];
    if (c < 0x40 || c > 0x7E) return c == ':' ? colonSgr(bytes, from, length) : -1;
    beginPlainCsi(count);
    const std::span<const int> pars(pars_.data(), count);
    if (c == 'H') terminal_->cmdCursorPosition(pars);
    else if (c == 'm') terminal_->selectGraphicRendition(pars);
    else dispatchCsi(c, pars, {});
    return i + 1;
}

// Colours first: likely an SGR of a palette pair and a few style codes, read and applied at
// once by the terminal, which reads nothing of any other shape (-1). Out of line, so that the
// loop it is called from keeps its shape.
[[gnu::noinline]] int64_t EscapeSequenceParser::paletteSgr(const uint8_t* bytes, int64_t from, int64_t length) {
    const int64_t end = terminal_->selectGraphicRenditionFrom(bytes + from, length - from);
    if (end == 0) return -1;
    beginPlainCsi(1);
    return from + end;
}

// What the start of any sequence does; the strings are already empty in ground.
[[gnu::always_inline]] inline void EscapeSequenceParser::beginPlainCsi(int count) {
    collectCount_ = 0;
    parsCount_ = count;
    parameterLimitExceeded_ = false;
    stringTooLong_ = false;
    payloadBegun_ = false;
    dcsLength_ = 0;
    terminal_->resetReadingBuffer();
}

// An SGR with colons among its separators (underline styles, `4:3`), read again from its first
// parameter; anything else with a colon goes the general way (-1), as plainCsi says.
[[gnu::noinline, gnu::cold]] int64_t EscapeSequenceParser::colonSgr(const uint8_t* bytes, int64_t from, int64_t length) {
    // A colon first is malformed.
    if (bytes[from] == ':') return -1;
    int count = 0;
    uint32_t colons = 0;
    int64_t i = from;
    for (;;) {
        int value = 0;
        for (unsigned digit; (digit = static_cast<unsigned>(bytes[i]) - '0') < 10;) {
            value = accumulateDigit(value, digit);
            if (++i == length) return -1;
        }
        pars_[count++] = value;
        const uint8_t separator = bytes[i];
        if (separator != ';' && separator != ':') break;
        if (separator == ':') colons |= 1u << (count - 1);
        parsTxt_[count - 1] = static_cast<char>(separator);
        if (count == maximumParameters || ++i == length) return -1;
    }
    if (bytes[i] != 'm') return -1;
    beginPlainCsi(count);
    terminal_->selectGraphicRendition(std::span<const int>(pars_.data(), count), colons);
    return i + 1;
}

// Parameter digits of a CSI sequence that the ground run could not take whole (cut by the
// end of a read, or with a control inside).
int64_t EscapeSequenceParser::parameterRun(Walk& w, int64_t i) {
    for (unsigned digit; i < w.length && (digit = w.bytes[i] - unsigned('0')) < 10; ++i) {
        if (!parameterLimitExceeded_) pars_[parsCount_ - 1] = accumulateDigit(pars_[parsCount_ - 1], digit);
    }
    return i;
}

// The rest of an OSC or APC payload after its first byte, up to the BEL, CAN or ESC that
// ends it; other controls are skipped, every byte from 0x20 up is payload.
int64_t EscapeSequenceParser::stringRun(Walk& w, int64_t i) {
    std::string& target = w.state == ParserState::apcString ? apc_ : osc_;
    const uint8_t* bytes = w.bytes;
    while (i < w.length) {
        const uint8_t c = bytes[i];
        if (c == 0x07 || c == 0x18 || c == 0x1B) break;
        if (c < 0x20) {
            ++i;
            continue;
        }
        int64_t end = i + 1;
        while (end < w.length && bytes[end] >= 0x20) ++end;
        appendString(w, target, i, end);
        i = end;
    }
    return i;
}

// Loads the rest of a CSI sequence of the ordinary shape from bytes[from...]: one optional
// prefix ('<' to '?'), parameters of digits, ';' and ':' (at most 24), a few intermediates,
// then the final byte, whose index it returns. -1 when the bytes have any other shape.
int64_t EscapeSequenceParser::loadCsi(const uint8_t* bytes, int64_t from, int64_t length) {
    int64_t i = from;
    if (i >= length) return -1;
    if (bytes[i] >= 0x3C && bytes[i] <= 0x3F) collect_[collectCount_++] = static_cast<char>(bytes[i++]);
    else if (bytes[i] == ':') return -1;  // a colon first is malformed
    // The parameter being read stays in a register; it is stored at each separator.
    int value = 0;
    for (; i < length; ++i) {
        const uint8_t c = bytes[i];
        const unsigned digit = static_cast<unsigned>(c) - '0';
        if (digit < 10) {
            value = accumulateDigit(value, digit);
        } else if (c == ';' || c == ':') {
            if (parsCount_ >= maximumParameters) return -1;
            pars_[parsCount_ - 1] = value;
            parsTxt_[parsCount_ - 1] = static_cast<char>(c);
            ++parsCount_;
            value = 0;
        } else {
            break;
        }
    }
    pars_[parsCount_ - 1] = value;
    for (; i < length && bytes[i] >= 0x20 && bytes[i] <= 0x2F; ++i) {
        if (collectCount_ >= 4) return -1;
        collect_[collectCount_++] = static_cast<char>(bytes[i]);
    }
    if (i < length && bytes[i] >= 0x40 && bytes[i] <= 0x7E) return i;
    return -1;
}

// The table entry for c in `state`, with the two decisions the parse loop takes itself: in
// ground every byte from 0x20 up is text, and once an OSC, APC or DCS string has its first
// payload byte, 0x80-0x9F are payload (UTF-8 continuation bytes, not C1 controls), as are
// the other controls of an OSC or APC string except BEL, CAN and ESC. So a string reads the
// same however the stream is cut.
uint8_t EscapeSequenceParser::transition(ParserState state, uint8_t c) const {
    if (state == ParserState::ground && c >= 0x20) return entry(ParserAction::print, state);
    if (payloadBegun_) {
        if (isStringState(state) && c != 0x07 && c != 0x18 && c != 0x1B) return entry(ParserAction::oscPut, state);
        if (state == ParserState::dcsPassthrough && c >= 0x80 && c < 0xA0) return entry(ParserAction::dcsPut, state);
    }
    return table_.table[(static_cast<int>(state) << 8) | (c < 0xA0 ? c : 0xA0)];
}

[[gnu::always_inline]] inline void EscapeSequenceParser::step(Walk& w, int64_t i) {
    const uint8_t c = w.bytes[i];
    const uint8_t transition = this->transition(w.state, c);
    const auto action = static_cast<ParserAction>(transition >> 4);
    ParserState next = static_cast<ParserState>(transition & 0x0F);
    switch (action) {
    case ParserAction::ignore: actIgnore(w, i); break;
    case ParserAction::error:
        actError(w, i, c, next);
        if (w.aborted) return;
        break;
    case ParserAction::print: actPrint(w, i); break;
    case ParserAction::execute:
        flushPrint(w, i);
        dispatchExecute(c);
        break;
    case ParserAction::oscStart: actOscStart(w, i, next); break;
    case ParserAction::oscPut: actOscPut(w, i, c); break;
    case ParserAction::oscEnd: actOscEnd(w, i, c, next); break;
    case ParserAction::csiDispatch: actCsiDispatch(c); break;
    case ParserAction::param: actParam(c); break;
    case ParserAction::collect: actCollect(c); break;
    case ParserAction::escDispatch: dispatchEsc(std::string_view(collect_.data(), collectCount_), c); break;
    case ParserAction::clear: beginSequence(w, i); break;
    case ParserAction::dcsHook: actDcsHook(w, c); break;
    case ParserAction::dcsPut: actDcsPut(w, i); break;
    case ParserAction::dcsUnhook: actDcsUnhook(w, i, c, next); break;
    }
    if (w.state == ParserState::dcsPassthrough && next != ParserState::dcsPassthrough &&
        action != ParserAction::dcsUnhook) {
        // Cancelled (SUB, or a C1 introducer before any payload): the payload never reaches
        // its handler.
        w.dcsStart = -1;
        dropDcsHandler(w);
    }
    w.state = next;
}

void EscapeSequenceParser::actIgnore(Walk& w, int64_t i) {
    if (w.printStart >= 0) flushPrint(w, i);
    else putDcs(w, i);
}

void EscapeSequenceParser::actError(Walk& w, int64_t i, uint8_t c, ParserState& next) {
    if (c >= 0xA0) {
        // Bytes some states take as data.
        if (w.state == ParserState::csiIgnore || w.state == ParserState::dcsIgnore) {
            next = w.state;
            return;
        }
        if (w.state == ParserState::dcsPassthrough) {
            actDcsPut(w, i);
            next = w.state;
            return;
        }
    }
    ParsingState report;
    report.position = i;
    report.code = c;
    report.currentState = w.state;
    report.print = w.printStart;
    report.dcs = w.dcsStart;
    report.osc = osc_;
    report.apc = apc_;
    report.collect.assign(collect_.data(), collectCount_);
    const ParsingState answer = errorHandler ? errorHandler(report) : report;
    if (answer.abort) return abort(w);
    // In ground the byte stays in the print run (opening one), as it does inside a run of
    // text, so the print side sees the same bytes however the stream is cut.
    if (w.state == ParserState::ground) actPrint(w, i);
}

void EscapeSequenceParser::actPrint(Walk& w, int64_t i) {
    if (w.printStart < 0) w.printStart = i;
    w.printAscii = false;
}

void EscapeSequenceParser::actOscStart(Walk& w, int64_t i, ParserState next) {
    flushPrint(w, i);
    keepStrings(w);
    if (next == ParserState::apcString) apc_.clear();
    else osc_.clear();
    stringTooLong_ = false;
    payloadBegun_ = false;
}

// One payload byte; the string run takes the rest of the payload in one go.
void EscapeSequenceParser::actOscPut(Walk& w, int64_t i, uint8_t c) {
    payloadBegun_ = true;
    if (c >= 0x20) appendString(w, w.state == ParserState::apcString ? apc_ : osc_, i, i + 1);
}

void EscapeSequenceParser::actOscEnd(Walk& w, int64_t i, uint8_t c, ParserState& next) {
    if (c == 0x1B) next = ParserState::escape;
    // CAN and SUB cancel the string; one that outgrew the limit is dropped whole.
    if (c != 0x18 && c != 0x1A && !stringTooLong_) dispatchString(w.state == ParserState::apcString);
    beginSequence(w, i);
    if (holdingInput_) w.aborted = w.held = true;
}

void EscapeSequenceParser::actCsiDispatch(uint8_t c) {
    if (parameterLimitExceeded_) return;
    dispatchCsi(c, std::span<const int>(pars_.data(), parsCount_), std::string_view(collect_.data(), collectCount_));
}

void EscapeSequenceParser::actParam(uint8_t c) {
    if (c == ';' || c == ':') {
        if (parsCount_ >= maximumParameters || parameterLimitExceeded_) {
            parameterLimitExceeded_ = true;
        } else {
            parsTxt_[parsCount_ - 1] = static_cast<char>(c);
            pars_[parsCount_++] = 0;
        }
    } else if (!parameterLimitExceeded_) {
        pars_[parsCount_ - 1] = accumulateDigit(pars_[parsCount_ - 1], c - unsigned('0'));
    }
}

void EscapeSequenceParser::actCollect(uint8_t c) {
    if (collectCount_ < maximumCollect) {
        collect_[collectCount_++] = static_cast<char>(c);
    } else {
        // Nothing meaningful has this many intermediates; refuse the sequence.
        parameterLimitExceeded_ = true;
    }
}

void EscapeSequenceParser::actDcsHook(Walk& w, uint8_t c) {
    if (parameterLimitExceeded_) return;
    const std::string_view collect(collect_.data(), collectCount_);
    const std::span<const int> pars(pars_.data(), parsCount_);
    std::unique_ptr<DcsHandler> handler = dispatchDcs(collect, c, pars);
    dropDcsHandler(w);
    activeDcsHandler_ = std::move(handler);
    dcsLength_ = 0;
    payloadBegun_ = false;
    if (activeDcsHandler_) activeDcsHandler_->hook(collect, pars, c);
}

// The payload is handed over later, as one slice.
void EscapeSequenceParser::actDcsPut(Walk& w, int64_t i) {
    payloadBegun_ = true;
    if (w.dcsStart < 0) w.dcsStart = i;
}

void EscapeSequenceParser::actDcsUnhook(Walk& w, int64_t i, uint8_t c, ParserState& next) {
    if (activeDcsHandler_) {
        putDcs(w, i);
        if (activeDcsHandler_) activeDcsHandler_->unhook();
        dropDcsHandler(w);
    }
    if (c == 0x1B) next = ParserState::escape;
    beginSequence(w, i);
}

void EscapeSequenceParser::flushPrint(Walk& w, int64_t end) {
    if (w.printStart < 0) return;
    print(w.data.subspan(w.printStart, end - w.printStart), w.printAscii);
    w.printStart = -1;
}

void EscapeSequenceParser::putDcs(Walk& w, int64_t end) {
    if (w.dcsStart >= 0 && activeDcsHandler_ && end > w.dcsStart) {
        dcsLength_ += static_cast<size_t>(end - w.dcsStart);
        if (dcsLength_ > maximumStringLength) {
            // Too long to be anything sensible: drop the whole string.
            dropDcsHandler(w);
        } else {
            activeDcsHandler_->put(w.data.subspan(w.dcsStart, end - w.dcsStart));
        }
    }
    w.dcsStart = -1;
}

void EscapeSequenceParser::appendString(Walk& w, std::string& target, int64_t from, int64_t to) {
    if (stringTooLong_) return;
    if (target.size() + static_cast<size_t>(to - from) > maximumStringLength) {
        stringTooLong_ = true;
        return;
    }
    target.append(reinterpret_cast<const char*>(w.bytes + from), static_cast<size_t>(to - from));
}

// What every ESC, CSI and DCS introducer and every string end does: the pending text is
// handed over, the sequence buffers start empty and the print side drops a cut character.
[[gnu::always_inline]] inline void EscapeSequenceParser::beginSequence(Walk& w, int64_t i) {
    flushPrint(w, i);
    keepStrings(w);
    clearSequence();
    resetPrintState();
    w.dcsStart = -1;
}

void EscapeSequenceParser::keepStrings(Walk& w) {
    if (w.stringsKept || (osc_.empty() && apc_.empty())) return;
    w.stringsKept = true;
    w.oscKept = osc_.substr(0, w.entry.oscLength);
    w.apcKept = apc_.substr(0, w.entry.apcLength);
}

void EscapeSequenceParser::dropDcsHandler(Walk& w) {
    if (!w.dcsKept) {
        w.dcsKept = true;
        w.dcsHandlerKept = std::move(activeDcsHandler_);
    }
    activeDcsHandler_.reset();
}

// An error handler asked to stop: the parser goes back to how this call found it.
void EscapeSequenceParser::abort(Walk& w) {
    w.aborted = true;
    const SmallState& entry = w.entry;
    currentState_ = entry.state;
    pars_ = entry.pars;
    parsTxt_ = entry.parsTxt;
    parsCount_ = entry.parsCount;
    collect_ = entry.collect;
    collectCount_ = entry.collectCount;
    parameterLimitExceeded_ = entry.limit;
    stringTooLong_ = entry.tooLong;
    payloadBegun_ = entry.payloadBegun;
    dcsLength_ = entry.dcsLength;
    if (w.stringsKept) {
        osc_ = std::move(w.oscKept);
        apc_ = std::move(w.apcKept);
    } else {
        osc_.resize(entry.oscLength);
        apc_.resize(entry.apcLength);
    }
    if (w.dcsKept) activeDcsHandler_ = std::move(w.dcsHandlerKept);
}

void EscapeSequenceParser::resetPrintState() {
    if (terminal_) terminal_->resetReadingBuffer();
    else if (printStateReset) printStateReset();
}

void EscapeSequenceParser::print(Bytes run, bool ascii) {
    if (terminal_) terminal_->handlePrint(run, ascii);
    else if (printHandler) printHandler(run);
}

void EscapeSequenceParser::dispatchString(bool apcString) {
    if (apcString) {
        if (apc_.empty()) return;
        auto content = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(apc_.data()) + 1, apc_.size() - 1);
        dispatchApc(static_cast<uint8_t>(apc_[0]), content);
        return;
    }
    if (osc_.empty()) return;
    size_t semicolon = osc_.find(';');
    std::string_view codeText = std::string_view(osc_).substr(0, semicolon);
    if (codeText.empty()) return;
    int64_t code = 0;
    for (char digit : codeText) {
        if (digit < '0' || digit > '9') return;
        if (code > (INT64_MAX - (digit - '0')) / 10) return;
        code = code * 10 + (digit - '0');
    }
    std::span<const uint8_t> payload;
    if (semicolon != std::string::npos) {
        payload = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(osc_.data()) + semicolon + 1,
                                           osc_.size() - semicolon - 1);
    }
    dispatchOsc(code, payload);
}

std::string EscapeSequenceParser::dump(Bytes data) const {
    std::string out;
    for (uint8_t b : data) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x ", b);
        out += hex;
    }
    return out;
}

}  // namespace vantel
