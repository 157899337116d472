#include "vantel/core/EscapeSequenceParser.h"

#include "vantel/core/ByteScan.h"
#include "vantel/core/Terminal.h"

#include <algorithm>
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

int64_t controlByteFrom(const uint8_t* bytes, int64_t from, int64_t length) {
    return static_cast<int64_t>(bytescan::firstControlByte(bytes, static_cast<size_t>(from), static_cast<size_t>(length)));
}

// The controls (0x00-0x1F) the ground state calls errors, one bit each.
uint32_t groundErrorControls() {
    static const uint32_t mask = [] {
        uint32_t bits = 0;
        const TransitionTable& table = TransitionTable::shared();
        for (uint32_t c = 0; c < 0x20; ++c) {
            if (static_cast<ParserAction>(table.table[c] >> 4) == ParserAction::error) bits |= 1u << c;
        }
        return bits;
    }();
    return mask;
}

bool profilingEnabled() {
    static const bool enabled = [] {
        const char* value = std::getenv("VANTEL_PROFILE");
        return value && std::string_view(value) == "1";
    }();
    return enabled;
}

}  // namespace

const TransitionTable& TransitionTable::shared() {
    static const TransitionTable table = buildVt500TransitionTable();
    return table;
}

EscapeSequenceParser::EscapeSequenceParser(Terminal* terminal)
    : terminal_(terminal), table_(TransitionTable::shared()) {
    errorHandler = [](const ParsingState& state) { return state; };
    csiHandlerFallback = [](std::span<const int>, std::string_view, uint8_t code) {
        std::printf("Cannot handle ESC-%d\n", code);
    };
}

EscapeSequenceParser::~EscapeSequenceParser() = default;

void EscapeSequenceParser::clearSequence() {
    osc_.clear();
    apc_.clear();
    stringTooLong_ = false;
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
    size_t dcsLength;
    size_t oscLength;
    size_t apcLength;
};

void EscapeSequenceParser::parse(std::span<const uint8_t> data) {
    const bool profiling = profilingEnabled();
    if (profiling) std::fprintf(stderr, "Parser.Parse begin %zu\n", data.size());

    const SmallState entryState{currentState_, pars_,   parsTxt_,       parsCount_,  collect_,
                                collectCount_, parameterLimitExceeded_, stringTooLong_, dcsLength_,
                                osc_.size(),   apc_.size()};
    std::string oscBackup, apcBackup;
    bool oscCleared = false, apcCleared = false;
    std::unique_ptr<DcsHandler> dcsBackup;
    bool dcsReplaced = false;
    auto keepOriginals = [&] {
        if (!oscCleared) {
            oscCleared = true;
            oscBackup = osc_.substr(0, entryState.oscLength);
        }
        if (!apcCleared) {
            apcCleared = true;
            apcBackup = apc_.substr(0, entryState.apcLength);
        }
    };
    auto releaseDcsHandler = [&] {
        if (!dcsReplaced) {
            dcsReplaced = true;
            dcsBackup = std::move(activeDcsHandler_);
        }
        activeDcsHandler_.reset();
    };

    const uint8_t* bytes = data.data();
    const int64_t length = static_cast<int64_t>(data.size());
    ParserState state = currentState_;
    int64_t printStart = -1;
    // Whether the pending print run is printable ASCII only, which the terminal prints
    // without looking at each byte again.
    bool printAscii = false;
    int64_t dcsStart = -1;

    auto flushPrint = [&](int64_t end) {
        if (printStart >= 0) {
            print(data.subspan(printStart, end - printStart), printAscii);
            printStart = -1;
        }
    };
    auto putDcs = [&](int64_t end) {
        if (dcsStart >= 0 && activeDcsHandler_ && end > dcsStart) {
            dcsLength_ += static_cast<size_t>(end - dcsStart);
            if (dcsLength_ > maximumStringLength) {
                // Too long to be anything sensible: drop the whole string.
                releaseDcsHandler();
            } else {
                activeDcsHandler_->put(data.subspan(dcsStart, end - dcsStart));
            }
        }
        dcsStart = -1;
    };
    auto appendString = [&](std::string& target, int64_t from, int64_t to) {
        if (stringTooLong_) return;
        if (target.size() + static_cast<size_t>(to - from) > maximumStringLength) {
            stringTooLong_ = true;
            return;
        }
        target.append(reinterpret_cast<const char*>(bytes + from), static_cast<size_t>(to - from));
    };
    auto clearAll = [&] {
        keepOriginals();
        clearSequence();
    };

    for (int64_t i = 0; i < length; ++i) {
        if (state == ParserState::ground && printStart < 0) {
            i = groundRun(bytes, i, length);
            if (i == length) break;
        }
        uint8_t c = bytes[i];

        if (state == ParserState::ground && c >= 0x20) {
            if (printStart < 0) {
                printStart = i;
                printAscii = true;
            }
            int64_t end = static_cast<int64_t>(
                bytescan::printableAsciiEnd(bytes, static_cast<size_t>(i), static_cast<size_t>(length)));
            if (end < length && bytes[end] >= 0x7F) {
                printAscii = false;
                end = controlByteFrom(bytes, end + 1, length);
            }
            i = end - 1;
            continue;
        }
        if (state == ParserState::csiParam && c >= '0' && c <= '9') {
            if (!parameterLimitExceeded_) {
                int& p = pars_[parsCount_ - 1];
                int digit = c - '0';
                p = std::min(p * 10 + digit, 65535);
            }
            continue;
        }

        // Complete "ESC [ ... final" sequences of the ordinary shape skip the table; anything
        // else (controls inside, more than 24 parameters, a cut at the end of the data) takes it.
        if (c == 0x1B && i + 2 < length && bytes[i + 1] == '[' && state != ParserState::oscString &&
            state != ParserState::apcString && state != ParserState::dcsPassthrough) {
            // What ESC does in these states; repeating it is harmless when the table takes over.
            flushPrint(i);
            keepOriginals();
            clearSequence();
            resetPrintState();
            dcsStart = -1;
            if (const int64_t final = loadCsi(bytes, i + 2, length); final > 0) {
                dispatchCsi(bytes[final], std::span<const int>(pars_.data(), parsCount_),
                            std::string_view(collect_.data(), collectCount_));
                state = ParserState::ground;
                i = final;
                continue;
            }
            clearSequence();
        }

        const uint8_t transition = table_.table[(static_cast<int>(state) << 8) | (c < 0xA0 ? c : 0xA0)];
        ParserState next = static_cast<ParserState>(transition & 0x0F);
        switch (static_cast<ParserAction>(transition >> 4)) {
        case ParserAction::ignore:
            if (printStart >= 0) {
                flushPrint(i);
            } else {
                putDcs(i);
            }
            dcsStart = -1;
            break;
        case ParserAction::error: {
            if (c >= 0xA0) {
                if (state == ParserState::ground) {
                    if (printStart < 0) printStart = i;
                    printAscii = false;
                    next = state;
                    break;
                }
                if (state == ParserState::csiIgnore || state == ParserState::dcsIgnore) {
                    next = state;
                    break;
                }
                if (state == ParserState::dcsPassthrough) {
                    if (dcsStart < 0) dcsStart = i;
                    next = state;
                    break;
                }
            }
            ParsingState report;
            report.position = i;
            report.code = c;
            report.currentState = state;
            report.print = printStart;
            report.dcs = dcsStart;
            report.osc = osc_;
            report.apc = apc_;
            report.collect.assign(collect_.data(), collectCount_);
            ParsingState answer = errorHandler ? errorHandler(report) : report;
            if (answer.abort) {
                currentState_ = entryState.state;
                pars_ = entryState.pars;
                parsTxt_ = entryState.parsTxt;
                parsCount_ = entryState.parsCount;
                collect_ = entryState.collect;
                collectCount_ = entryState.collectCount;
                parameterLimitExceeded_ = entryState.limit;
                stringTooLong_ = entryState.tooLong;
                dcsLength_ = entryState.dcsLength;
                if (oscCleared) osc_ = std::move(oscBackup);
                else osc_.resize(entryState.oscLength);
                if (apcCleared) apc_ = std::move(apcBackup);
                else apc_.resize(entryState.apcLength);
                if (dcsReplaced) activeDcsHandler_ = std::move(dcsBackup);
                return;
            }
            break;
        }
        case ParserAction::print:
            if (printStart < 0) printStart = i;
            printAscii = false;
            break;
        case ParserAction::execute:
            flushPrint(i);
            dispatchExecute(c);
            break;
        case ParserAction::oscStart:
            flushPrint(i);
            keepOriginals();
            if (next == ParserState::apcString) apc_.clear();
            else osc_.clear();
            stringTooLong_ = false;
            break;
        case ParserAction::oscPut: {
            std::string& target = state == ParserState::apcString ? apc_ : osc_;
            int64_t j = i;
            while (j < length) {
                uint8_t d = bytes[j];
                if (d == 0x07 || d == 0x18 || d == 0x1B) break;
                if (d < 0x20) {
                    // Other controls inside a string are skipped.
                    ++j;
                    continue;
                }
                int64_t runEnd = j;
                while (runEnd < length && bytes[runEnd] >= 0x20) ++runEnd;
                appendString(target, j, runEnd);
                j = runEnd;
            }
            i = j - 1;
            break;
        }
        case ParserAction::oscEnd:
            if (c == 0x1B) next = ParserState::escape;
            // CAN and SUB cancel the string; one that outgrew the limit is dropped whole.
            if (c != 0x18 && c != 0x1A && !stringTooLong_) dispatchString(state == ParserState::apcString);
            keepOriginals();
            clearSequence();
            resetPrintState();
            dcsStart = -1;
            break;
        case ParserAction::csiDispatch:
            if (!parameterLimitExceeded_) {
                dispatchCsi(c, std::span<const int>(pars_.data(), parsCount_),
                            std::string_view(collect_.data(), collectCount_));
            }
            break;
        case ParserAction::param:
            if (c == ';' || c == ':') {
                if (parsCount_ >= maximumParameters || parameterLimitExceeded_) {
                    parameterLimitExceeded_ = true;
                } else {
                    parsTxt_[parsCount_ - 1] = static_cast<char>(c);
                    pars_[parsCount_++] = 0;
                }
            } else if (!parameterLimitExceeded_) {
                int& p = pars_[parsCount_ - 1];
                int digit = c - '0';
                p = std::min(p * 10 + digit, 65535);
            }
            break;
        case ParserAction::collect:
            if (collectCount_ < maximumCollect) {
                collect_[collectCount_++] = static_cast<char>(c);
            } else {
                // Nothing meaningful has this many intermediates; refuse the sequence.
                parameterLimitExceeded_ = true;
            }
            break;
        case ParserAction::escDispatch:
            dispatchEsc(std::string_view(collect_.data(), collectCount_), c);
            break;
        case ParserAction::clear:
            flushPrint(i);
            clearAll();
            resetPrintState();
            dcsStart = -1;
            break;
        case ParserAction::dcsHook:
            if (!parameterLimitExceeded_) {
                std::unique_ptr<DcsHandler> handler =
                    dispatchDcs(std::string_view(collect_.data(), collectCount_), c,
                                std::span<const int>(pars_.data(), parsCount_));
                releaseDcsHandler();
                activeDcsHandler_ = std::move(handler);
                dcsLength_ = 0;
                if (activeDcsHandler_) {
                    activeDcsHandler_->hook(std::string_view(collect_.data(), collectCount_),
                                            std::span<const int>(pars_.data(), parsCount_), c);
                }
                parameterLimitExceeded_ = false;
            }
            break;
        case ParserAction::dcsPut:
            if (dcsStart < 0) dcsStart = i;
            break;
        case ParserAction::dcsUnhook:
            if (activeDcsHandler_) {
                putDcs(i);
                if (activeDcsHandler_) activeDcsHandler_->unhook();
                releaseDcsHandler();
            }
            if (c == 0x1B) next = ParserState::escape;
            keepOriginals();
            clearSequence();
            resetPrintState();
            dcsStart = -1;
            break;
        }
        if (state == ParserState::dcsPassthrough && next != ParserState::dcsPassthrough &&
            static_cast<ParserAction>(transition >> 4) != ParserAction::dcsUnhook) {
            // Cancelled (SUB or a C1 introducer): the payload never reaches its handler.
            dcsStart = -1;
            releaseDcsHandler();
        }
        state = next;
    }

    if (state == ParserState::ground) flushPrint(length);
    if (state == ParserState::dcsPassthrough) putDcs(length);
    currentState_ = state;
    if (profiling) std::fprintf(stderr, "Parser.Parse end\n");
}

void EscapeSequenceParser::resetPrintState() {
    if (terminal_) terminal_->resetReadingBuffer();
    else if (printStateReset) printStateReset();
}

void EscapeSequenceParser::print(Bytes run, bool ascii) {
    if (terminal_) {
        if (ascii) terminal_->handlePrintAscii(run);
        else terminal_->handlePrint(run);
    } else if (printHandler) {
        printHandler(run);
    }
}

// The ground state's common traffic without the table: text runs and complete CSI sequences
// of the ordinary shape, one after the other. Returns the index of the first byte it leaves
// to the general loop (any other control, or a CSI it cannot take whole), or length.
int64_t EscapeSequenceParser::groundRun(const uint8_t* bytes, int64_t from, int64_t length) {
    int64_t i = from;
    while (i < length) {
        const uint8_t c = bytes[i];
        if (c >= 0x20) {
            int64_t end = static_cast<int64_t>(
                bytescan::printableAsciiEnd(bytes, static_cast<size_t>(i), static_cast<size_t>(length)));
            bool ascii = true;
            if (end < length && bytes[end] >= 0x7F) {
                ascii = false;
                end = controlByteFrom(bytes, end + 1, length);
            }
            // A control the table calls an error leaves the run open: the general loop takes it.
            if (end < length && bytes[end] < 0x20 && (groundErrorControls() >> bytes[end] & 1)) return i;
            print(Bytes(bytes + i, static_cast<size_t>(end - i)), ascii);
            i = end;
            continue;
        }
        // Leftover OSC or APC text needs the general loop, which keeps a copy for an abort.
        if (c != 0x1B || i + 2 >= length || bytes[i + 1] != '[' || !osc_.empty() || !apc_.empty()) return i;
        clearSequence();
        resetPrintState();
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
            value = std::min(value * 10 + static_cast<int>(digit), 65535);
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
