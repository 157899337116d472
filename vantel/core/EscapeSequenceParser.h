#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vantel/core/DcsHandler.h"

namespace vantel {

class Terminal;

enum class ParserState : uint8_t {
    ground = 0,
    escape = 1,
    escapeIntermediate = 2,
    csiEntry = 3,
    csiParam = 4,
    csiIntermediate = 5,
    csiIgnore = 6,
    sosPmApcString = 7,
    oscString = 8,
    apcString = 9,
    dcsEntry = 10,
    dcsParam = 11,
    dcsIgnore = 12,
    dcsIntermediate = 13,
    dcsPassthrough = 14,
};

enum class ParserAction : uint8_t {
    ignore = 0,
    error = 1,
    print = 2,
    execute = 3,
    oscStart = 4,
    oscPut = 5,
    oscEnd = 6,
    csiDispatch = 7,
    param = 8,
    collect = 9,
    escDispatch = 10,
    clear = 11,
    dcsHook = 12,
    dcsPut = 13,
    dcsUnhook = 14,
};

// What the error handler sees of a byte that no state accepts.
struct ParsingState {
    int64_t position = 0;
    uint8_t code = 0;
    ParserState currentState = ParserState::ground;
    int64_t print = -1;
    int64_t dcs = -1;
    std::string osc;
    std::string apc;
    std::string collect;
    std::vector<int32_t> parameters;
    bool abort = false;
    std::string description() const { return "Vantel.ParsingState"; }
};

// The shared VT500 transition table: entry = action << 4 | next state,
// index = state << 8 | min(byte, 0xA0).
struct TransitionTable {
    std::array<uint8_t, 4095> table{};
    static const TransitionTable& shared();
};

// Turns the child's byte stream into printable runs, controls and complete
// ESC, CSI, OSC, DCS and APC sequences. Partial sequences survive between calls.
class EscapeSequenceParser {
public:
    static constexpr int maximumParameters = 24;
    static constexpr int maximumCollect = 32;

    explicit EscapeSequenceParser(Terminal* terminal);
    virtual ~EscapeSequenceParser();
    EscapeSequenceParser(const EscapeSequenceParser&) = delete;
    EscapeSequenceParser& operator=(const EscapeSequenceParser&) = delete;

    void parse(std::span<const uint8_t> data);
    // Output can wait for the slow work of one sequence (a large picture's data, read or inflated
    // in steps): its handler holds the input, and the parse stops right after the sequence and
    // keeps every later byte, unparsed and in order, until the handler releases it. Releasing
    // parses what was kept (which may hold again) and tells the terminal.
    void holdInput() { holdingInput_ = true; }
    void releaseInput();
    bool holdingInput() const { return holdingInput_; }
    size_t heldInputBytes() const { return heldInput_.size(); }
    // Kept bytes past which the terminal is asked to finish the work at once: a host that goes on
    // feeding while the input is held gets the work done at the old pace, never unbounded memory.
    static constexpr size_t heldInputLimit = size_t{1} << 20;
    // Test mode: every byte goes through the table on its own, as if each arrived in a read of
    // its own, with none of the fast paths. Parsers start so when the default below says so.
    void setByteAtATime(bool on) { byteAtATime_ = on; }
    bool byteAtATime() const { return byteAtATime_; }
    // What parsers made from now on start with: off, unless the library was built with
    // VANTEL_PARSER_BYTE_AT_A_TIME; a test program turns it on to test the table alone.
    static void setByteAtATimeByDefault(bool on);
    static bool byteAtATimeByDefault();
    void reset();

    // Dispatch of finished sequences to the terminal.
    virtual void dispatchExecute(uint8_t code);
    // With a terminal, CUP and SGR whose parameters are digits and semicolons only go to it
    // directly from the parser's short way, not through dispatchCsi.
    virtual void dispatchCsi(uint8_t code, std::span<const int> pars, std::string_view collect);
    virtual void dispatchEsc(std::string_view collect, uint8_t code);
    virtual void dispatchOsc(int64_t code, std::span<const uint8_t> data);
    virtual void dispatchApc(uint8_t command, std::span<const uint8_t> content);
    virtual std::unique_ptr<DcsHandler> dispatchDcs(std::string_view collect, uint8_t code, std::span<const int> pars);

    using Bytes = std::span<const uint8_t>;
    std::map<int64_t, std::function<void(Bytes)>> oscHandlers;
    std::function<ParsingState(const ParsingState&)> errorHandler;
    // Used only without a terminal: with one, the parser prints to it directly.
    std::function<void(Bytes)> printHandler;
    std::function<void()> printStateReset;
    std::function<void(std::string_view collect, uint8_t code)> escHandlerFallback;
    std::function<void(uint8_t code, std::span<const int> pars)> dscHandlerFallback;
    std::function<void()> executeHandlerFallback;
    std::function<void(std::span<const int> pars, std::string_view collect, uint8_t code)> csiHandlerFallback;
    std::function<void(int64_t code, Bytes data)> oscHandlerFallback;
    std::function<void(uint8_t command, Bytes content)> apcHandlerFallback;

    Terminal* terminal() const { return terminal_; }

    ParserState currentState() const { return currentState_; }
    ParserState initialState = ParserState::ground;
    // Separators of the CSI in dispatch: for each parameter after the first, ';' or ':'.
    std::string_view parsTxt() const { return std::string_view(parsTxt_.data(), parsCount_ - 1); }
    const DcsHandler* activeDcsHandler() const { return activeDcsHandler_.get(); }

    // Longest OSC, APC or DCS payload accepted; a longer string is dropped whole.
    size_t maximumStringLength = 16 * 1024 * 1024;
    int64_t logFileCounter = 1;

    std::string dump(Bytes data) const;
    // Bytes held for unfinished OSC and APC strings (bounded by maximumStringLength).
    size_t bufferedStringBytes() const { return osc_.size() + apc_.size(); }

private:
    struct SmallState;
    struct Walk;
    void walk(Bytes data, bool fastPaths);
    // Fast paths, each taking the common traffic of one state without the table; each returns
    // the index of the first byte it leaves to the table walk.
    int64_t groundRun(Walk& w, int64_t i);
    int64_t parameterRun(Walk& w, int64_t i);
    int64_t stringRun(Walk& w, int64_t i);
    int64_t plainCsi(const uint8_t* bytes, int64_t from, int64_t length);
    int shortParameters(const uint8_t* bytes, uint64_t word);
    int64_t paletteSgr(const uint8_t* bytes, int64_t from, int64_t length);
    int64_t colonSgr(const uint8_t* bytes, int64_t from, int64_t length);
    void beginPlainCsi(int count);
    int64_t loadCsi(const uint8_t* bytes, int64_t from, int64_t length);
    // The table walk: one byte, its action and the next state.
    uint8_t transition(ParserState state, uint8_t c) const;
    void step(Walk& w, int64_t i);
    void actIgnore(Walk& w, int64_t i);
    void actError(Walk& w, int64_t i, uint8_t c, ParserState& next);
    void actPrint(Walk& w, int64_t i);
    void actOscStart(Walk& w, int64_t i, ParserState next);
    void actOscPut(Walk& w, int64_t i, uint8_t c);
    void actOscEnd(Walk& w, int64_t i, uint8_t c, ParserState& next);
    void actCsiDispatch(uint8_t c);
    void actParam(uint8_t c);
    void actCollect(uint8_t c);
    void actDcsHook(Walk& w, uint8_t c);
    void actDcsPut(Walk& w, int64_t i);
    void actDcsUnhook(Walk& w, int64_t i, uint8_t c, ParserState& next);
    // Shared pieces of the actions.
    void flushPrint(Walk& w, int64_t end);
    void putDcs(Walk& w, int64_t end);
    void appendString(Walk& w, std::string& target, int64_t from, int64_t to);
    void beginSequence(Walk& w, int64_t i);
    void keepStrings(Walk& w);
    void dropDcsHandler(Walk& w);
    void abort(Walk& w);
    void clearSequence();
    void dispatchString(bool apcString);
    void print(Bytes run, bool ascii);
    void resetPrintState();

    Terminal* terminal_;
    const TransitionTable& table_;
    ParserState currentState_ = ParserState::ground;
    std::string osc_;
    std::string apc_;
    bool stringTooLong_ = false;
    size_t dcsLength_ = 0;
    std::array<int, maximumParameters> pars_{};
    std::array<char, maximumParameters> parsTxt_{};
    int parsCount_ = 1;
    std::array<char, maximumCollect> collect_{};
    int collectCount_ = 0;
    bool parameterLimitExceeded_ = false;
    // The OSC, APC or DCS string in progress has had its first payload byte.
    bool payloadBegun_ = false;
    std::unique_ptr<DcsHandler> activeDcsHandler_;
    bool byteAtATime_ = byteAtATimeByDefault();
    bool holdingInput_ = false;
    std::vector<uint8_t> heldInput_;
    void keepHeldInput(Bytes data);
};

}  // namespace vantel
