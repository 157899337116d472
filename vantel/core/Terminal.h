#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "vantel/core/Buffer.h"
#include "vantel/core/CharData.h"
#include "vantel/core/Color.h"
#include "vantel/core/EscapeSequenceParser.h"
#include "vantel/core/GraphicsProtocols.h"
#include "vantel/core/KittyKeyboardFlags.h"
#include "vantel/core/Line.h"
#include "vantel/core/Scheduler.h"
#include "vantel/core/TerminalDelegate.h"
#include "vantel/core/TerminalOptions.h"
#include "vantel/core/TerminalTypes.h"

namespace vantel {

class CellWriter;
class CellWriterCache;
class SelectionService;

struct CharacterHash {
    size_t operator()(const Character& c) const noexcept { return std::hash<std::u32string>()(c); }
};

// The terminal engine: both screen buffers, the parser that feeds them, every
// mode, the character sets, colours, titles and the rows that need redrawing.
// Everything runs on the thread that feeds it; the delegate is called there too.
class Terminal {
public:
    using ProgressReport = vantel::ProgressReport;
    using WindowManipulationCommand = vantel::WindowManipulationCommand;

    enum class MouseMode : uint8_t { off, x10, vt200, buttonEventTracking, anyEvent };
    enum class MouseProtocolEncoding : uint8_t { x10, utf8, sgr, urxvt, sgrPixel };
    enum class TerminalConformance : uint8_t { vt100, vt200, vt300, vt400, vt500 };
    enum class BidiStateProperty : uint8_t { supportMode, autodetectDirection, fallbackDirection, boxMirroring };
    using BidiStateProperties = std::set<BidiStateProperty>;
    static const BidiStateProperties& allBidiStateProperties();

    // Kitty keyboard enhancement flags of one screen, with its push/pop stack.
    struct KeyboardModeState {
        KittyKeyboardFlags flags;
        std::vector<KittyKeyboardFlags> stack;
    };

    // The OSC 8 hyperlink that new cells carry.
    struct ActiveHyperlink {
        enum class Kind : uint8_t { pending, resolved, unavailable };
        Kind kind = Kind::pending;
        std::string uri;  // for pending
        TinyAtom atom;    // for resolved
    };

    Terminal(TerminalDelegate* delegate, TerminalOptions options, Scheduler* scheduler = nullptr);
    virtual ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    static constexpr int MINIMUM_COLS = 2;
    static constexpr int MINIMUM_ROWS = 1;
    // A child can ask for any size through window operations; keep the grid's memory bounded.
    static constexpr int MAXIMUM_COLS = 4096;
    static constexpr int MAXIMUM_ROWS = 2048;

    // --- Host interface ------------------------------------------------------------------
    TerminalDelegate* delegate() const { return tdel_; }
    void setDelegate(TerminalDelegate* delegate) { tdel_ = delegate; }
    Scheduler* scheduler() const { return scheduler_; }

    void feed(std::span<const uint8_t> bytes);
    void feed(std::string_view text);
    void parse(std::span<const uint8_t> bytes) { feed(bytes); }

    int cols() const { return cols_; }
    int rows() const { return rows_; }
    const TerminalOptions& options() const { return options_; }
    void setOptions(TerminalOptions options) { options_ = std::move(options); }
    EscapeSequenceParser& parser() { return *parser_; }

    Buffer& buffer() { return *buffer_; }
    const Buffer& buffer() const { return *buffer_; }
    Buffer& normalBuffer() { return *normalBuffer_; }
    Buffer& altBuffer() { return *altBuffer_; }
    bool isCurrentBufferAlternate() const { return buffer_ == altBuffer_.get(); }

    BufferLine* getLine(int row);
    BufferLine* getScrollInvariantLine(int row);
    std::optional<CharData> getCharData(int col, int row);
    std::optional<Character> getCharacter(int col, int row);
    Character getCharacter(const CharData& cell) const { return character(cell.code); }
    std::pair<int, int> getCursorLocation() const { return {buffer_->x(), buffer_->y()}; }
    int getTopVisibleRow() const { return buffer_->yDisp(); }
    const Attribute& currentAttribute() const { return curAttr; }
    KittyKeyboardFlags keyboardEnhancementFlags() const;

    void setup(bool isReset);
    // The environment a host hands to the child program it starts.
    static std::vector<std::string> getEnvironmentVariables(std::optional<std::string> termName, bool trueColor);
    void registerOscHandler(int64_t code, std::function<void(std::span<const uint8_t>)> handler);

    // --- Dirty rows and replies ----------------------------------------------------------
    void updateRange(int y, bool scrolling = false) { updateRange(*buffer_, y, scrolling); }
    void updateRange(Buffer& borrowing, int y, bool scrolling = false) {
        if (!scrolling) {
            const int absolute = borrowing.yDisp() + y;
            if (absolute >= 0) {
                if (absolute < scrollInvariantRefreshStart_) scrollInvariantRefreshStart_ = absolute;
                if (absolute > scrollInvariantRefreshEnd_) scrollInvariantRefreshEnd_ = absolute;
            }
        }
        if (y >= 0) {
            if (y < refreshStart_) refreshStart_ = y;
            if (y > refreshEnd_) refreshEnd_ = y;
        }
    }
    void refresh(int startRow, int endRow);
    void updateFullScreen();
    std::optional<std::pair<int, int>> getUpdateRange() const;
    std::optional<std::pair<int, int>> getScrollInvariantUpdateRange() const;
    void clearUpdateRange();
    // Counts updateFullScreen calls: every row asked to draw anew, whatever its lines hold.
    uint64_t fullScreenUpdateCount() const { return fullScreenUpdates_; }

    void sendResponse(std::span<const uint8_t> bytes);
    void sendResponse(std::string_view text);
    // Concatenates strings and bytes into one reply delivered in one send.
    template <class... Items>
    void sendResponseParts(const Items&... items) {
        std::string reply;
        (appendReplyPart(reply, items), ...);
        sendResponse(std::string_view(reply));
    }
    // The reply introducers and terminator, 7- or 8-bit by `cc.send8bit`.
    std::string csi() const { return cc.send8bit ? "\x9b" : "\x1b["; }
    std::string osc() const { return cc.send8bit ? "\x9d" : "\x1b]"; }
    std::string dcs() const { return cc.send8bit ? "\x90" : "\x1bP"; }
    std::string st() const { return cc.send8bit ? "\x9c" : "\x1b\\"; }

    // Gives back the codes that no line holds any more.
    void garbageCollectPayload();
    // Interns a value as one of this terminal's payloads. At the quota of live codes the dead ones
    // are collected first; nothing when every code of the quota is still held (the delegate is
    // told, `payloadCodesUsedUp`) or the process's table is full.
    std::optional<TinyAtom> makePayload(std::any value);
    const std::unordered_set<uint16_t>& payloadCodes() const { return payloadCodes_; }
    // Payloads refused so far because every code of the quota was held.
    uint64_t payloadCodesRefused() const { return payloadCodesRefused_; }

    bool synchronizedOutputActive() const { return synchronizedOutputActive_; }
    void beginSynchronizedOutput();
    void endSynchronizedOutput();
    static constexpr double synchronizedOutputTimeoutSeconds = 1.0;

    // --- Palette and colours -------------------------------------------------------------
    void installPalette(const std::vector<Color>& colors);
    void rebuildAnsiPalette(bool notifyDelegate);
    Ansi256PaletteStrategy ansi256PaletteStrategy() const { return options_.ansi256PaletteStrategy; }
    void setAnsi256PaletteStrategy(Ansi256PaletteStrategy strategy);
    const Color& foregroundColor() const { return foregroundColor_; }
    void setForegroundColor(const Color& color);
    const Color& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const Color& color);
    const std::optional<Color>& cursorColor() const { return cursorColor_; }
    void setCursorColor(const std::optional<Color>& color);
    std::vector<Color> installedColors;
    std::vector<Color> defaultAnsiColors;
    std::vector<Color> ansiColors;

    // --- Selections ----------------------------------------------------------------------
    void registerSelection(SelectionService* selection);
    void unregisterSelection(SelectionService* selection);
    const std::vector<SelectionService*>& selections() const { return selections_; }
    void selectionsInvalidateForColumnRestrictedScroll(int top, int bottom, int left, int right);

    // --- Modes and state -----------------------------------------------------------------
    bool applicationKeypad = false;
    bool applicationCursor = false;
    bool reverseColors = false;
    bool sendFocus = false;
    bool cursorHidden = false;
    bool originMode = false;
    bool marginMode = false;
    bool insertMode = false;
    bool wraparound = false;
    bool bracketedPasteMode = false;
    bool alternateScrollMode = true;
    bool reverseWraparound = false;
    bool cursorBlink = false;
    bool allow80To132 = false;
    bool lineFeedMode = false;
    bool smoothScroll = false;
    bool reportedFocusState = true;
    MouseMode mouseMode = MouseMode::off;
    MouseProtocolEncoding mouseProtocol = MouseProtocolEncoding::x10;
    bool mouseShiftCapture = false;
    bool xtermTitleSetUtf = false;
    bool xtermTitleSetHex = false;
    bool xtermTitleQueryUtf = false;
    bool xtermTitleQueryHex = false;
    TerminalConformance conformance = TerminalConformance::vt500;
    struct CC {
        bool send8bit = false;
    } cc;
    bool userScrolling = false;
    bool silentLog = true;
    int tabStopWidth = 8;

    KeyboardModeState keyboardModeNormal;
    KeyboardModeState keyboardModeAlt;

    // Character sets: the active table, G0-G3 and the invoked slot.
    const CharSetTable* charset = nullptr;
    std::array<const CharSetTable*, 4> gCharsets{};
    uint8_t gLevel = 0;

    Attribute curAttr = Attribute::defaultAttribute;

    BidiPresentationState currentBidiState;
    bool bidiArrowKeySwap = false;
    std::map<int, bool> savedBidiPrivateModes;
    bool bidiSupportEnabled() const { return currentBidiState.supportMode == BidiSupportMode::implicit; }
    bool bidiAutodetectDirection() const { return currentBidiState.autodetectDirection; }
    bool bidiRTLPreference() const { return currentBidiState.fallbackDirection == BidiDirection::rightToLeft; }
    bool bidiBoxMirroring() const { return currentBidiState.boxMirroring; }

    std::optional<std::string> hostCurrentDirectory;
    std::optional<std::string> hostCurrentDocument;
    std::optional<ActiveHyperlink> activeHyperlink;

    std::string terminalTitle;
    std::string iconTitle;
    std::vector<std::string> terminalTitleStack;
    std::vector<std::string> terminalIconStack;

    // --- Grapheme interning and cell makers ------------------------------------------------
    // Clusters and scalars above U+FFFF get codes above 0x400000, never reused. The table is
    // bounded so that a stream of distinct clusters cannot take all memory: in entries, and in
    // the scalars its clusters hold (ordinary text averages a few per cluster; a stream of long
    // ones fills it with fewer entries).
    static constexpr int32_t maximumInternedGraphemes = 1 << 16;
    static constexpr size_t maximumInternedClusterScalars = 1 << 18;
    int32_t code(const Character& ch);
    // The code of a character, or nothing when it needs a new entry and the table is full.
    std::optional<int32_t> internedCode(const Character& ch);
    bool graphemeTableFull() const { return lastCharIndex_ - 0x400001 >= maximumInternedGraphemes; }
    // Joins of a character onto a cell decided from the cell's text, not from the known joins (for
    // tests and figures): a flood of marks on one cell decides a few, then finds the rest known.
    uint64_t joinsDecided() const { return joinsDecided_; }
    Character character(int32_t code) const;
    CharData makeCharData(const Attribute& attribute, int32_t code, int8_t size) const {
        return CharData(attribute, code, size);
    }
    CharData makeCharDataForCharacter(const Attribute& attribute, const Character& ch, int8_t size) {
        return CharData(attribute, code(ch), size);
    }
    CharData makeCharDataForScalar(const Attribute& attribute, char32_t scalar, int8_t size) const {
        return CharData(attribute, static_cast<int32_t>(scalar), size);
    }
    void updateCharData(CharData& cell, const Character& ch, int8_t size) { cell.setValue(code(ch), size); }
    void updateCharData(CharData& cell, int32_t newCode, int8_t size) const { cell.setValue(newCode, size); }

    // --- Graphics protocols ----------------------------------------------------------------
    void handleKittyGraphics(std::span<const uint8_t> content);
    void clearKittyImages(Buffer& buffer, bool isAlternateBuffer);
    void clearAllKittyImages();
    void updateKittyRelativePlacementsForCurrentBuffer();
    // The image protocols of this terminal, or null when none are installed.
    GraphicsProtocols* graphics() const { return graphics_.get(); }

    // --- Output held for slow work (see EscapeSequenceParser::holdInput) ---------------------
    // Whether slow work of a sequence may go on in steps on the scheduler while later output
    // waits: only with a scheduler and a delegate that feeds in steps.
    bool mayHoldInput();
    // Output after such a sequence waits, unparsed: a host that feeds in steps stops feeding.
    bool holdsInput() const;
    // Called by the parser once it parsed what was held; tells the delegate.
    void inputReleased();
    // Does the slow work at once and parses what waited for it.
    void finishHeldInputWork();

    // --- Buffers -------------------------------------------------------------------------
    void resetNormalBuffer();
    void activateNormalBuffer(bool clearAlt);
    void activateAltBuffer(std::optional<Attribute> fillAttr);
    void resizeBuffers(int newColumns, int newRows);

    // --- Logging -------------------------------------------------------------------------
    // Writes "Info: " + message on standard output unless silentLog is set.
    void log(const std::string& message) const;

    // ====================================================================================
    // Handlers, grouped by the file that implements them. Each is called from the
    // parser's dispatch with the parameters it received.
    // ====================================================================================

    // Print path (TerminalPrint.cpp). printableAscii tells that the run holds only 0x20-0x7E.
    void handlePrint(std::span<const uint8_t> data, bool printableAscii = false);
    // handlePrint of the one byte c, printable ASCII (inline, in TerminalPrintOne.h).
    inline void printAsciiCharacter(uint8_t c, bool afterCursorPosition = false);
    [[gnu::noinline]] void printAsciiCharacterByRun(uint8_t c);
    void resetReadingBuffer() { putbackBuffer_.clear(); }
    std::optional<std::pair<int, int>> combiningTarget(Buffer& buffer);
    std::optional<TinyAtom> resolveActiveHyperlink();

    // Control characters (TerminalControl.cpp).
    void cmdBackspace();
    void cmdLineFeedBasic();
    void cmdCarriageReturn();
    void setgLevel(uint8_t level);

    // Cursor movement (TerminalCursor.cpp).
    // Clamps the cursor into the screen (the region in origin mode); x to the last column,
    // or to the pending-wrap column one past it when limitToLastColumn is false.
    void restrictCursor(bool limitToLastColumn = true);
    void setCursor(int col, int row);
    // Rows and columns that origin mode adds to a requested position: the region's top and,
    // while margin mode is on, the left margin.
    std::pair<int, int> originOffsets() const;
    void setCursorStyle(CursorStyle style);
    void cmdCursorUp(std::span<const int> pars);
    void cmdCursorDown(std::span<const int> pars);
    void cursorForward(int count);
    void cursorBackward(int count);
    void cmdCursorCharAbsolute(std::span<const int> pars);
    // CUP; inline, as the parser calls it for every plain "CSI row;col H".
    void cmdCursorPosition(std::span<const int> pars) {
        if (originMode) return cursorPositionInOrigin(pars);
        Buffer& b = *buffer_;
        updateRange(b.y());
        const int first = pars.empty() ? 0 : pars[0];
        const int row = first > 1 ? std::min(first, rows_) - 1 : 0;
        const int col = pars.size() > 1 && pars[1] > 1 ? std::min(pars[1], cols_) - 1 : 0;
        b.setX(col);
        b.setY(row);
        updateRange(row);
    }
    void cursorPositionInOrigin(std::span<const int> pars);
    void cmdCharPosAbsolute(std::span<const int> pars);
    void cmdHPositionRelative(std::span<const int> pars);
    void cmdLinePosAbsolute(std::span<const int> pars);
    void cmdVPositionRelative(std::span<const int> pars);
    void cmdHVPosition(std::span<const int> pars);
    void cmdTabClear(std::span<const int> pars);
    void cmdSaveCursor(std::span<const int> pars);
    void cmdRestoreCursor(std::span<const int> pars);
    void cmdSetScrollRegion(std::span<const int> pars, std::string_view collect);
    void cmdSetMargins(std::span<const int> pars, std::string_view collect);
    void cmdSetCursorStyle(std::span<const int> pars, std::string_view collect);

    // Scrolling (TerminalScroll.cpp).
    void cmdIndex();
    void scroll(bool isWrapped);
    void emitLineFeed() {
        if (tdel_) tdel_->linefeed(*this);
    }
    void reverseIndex();
    void cmdScrollDown(std::span<const int> pars);
    void cmdScrollUp(std::span<const int> pars, std::string_view collect);
    void columnIndex(bool back);
    void columnScroll(bool back, int at);
    void hardenBidiScrollBoundaries(bool insertedAtTop, int count);
    void hardenBidiLineShiftBoundaries(int firstChangedRow, std::optional<int> firstMovedRow, int lastRow);
    void resetBufferLine(int y, bool clearImages, std::optional<BidiPresentationState> bidiState);

    // Erase and edit (TerminalEdit.cpp).
    void cmdInsertChars(std::span<const int> pars);
    void cmdDeleteChars(std::span<const int> pars);
    void cmdEraseChars(std::span<const int> pars);
    void cmdEraseInDisplay(std::span<const int> pars);
    void cmdEraseInLine(std::span<const int> pars);
    void cmdInsertLines(std::span<const int> pars);
    void cmdDeleteLines(std::span<const int> pars);
    void cmdRepeatPrecedingCharacter(std::span<const int> pars);
    void cmdDeleteColumns(std::span<const int> pars);
    void csiCloseBrace(std::span<const int> pars, std::string_view collect);
    void cmdScreenAlignmentPattern();
    void setLineRenderMode(BufferLine::RenderLineMode mode);

    // Character sets (TerminalCharsets.cpp).
    void setgCharset(uint8_t slot, const CharSetTable* charset);
    void selectCharset(std::string_view designation);

    // Bidirectional state (TerminalBidi.cpp).
    void applyCurrentBidiStateAtParagraphStart(const BidiStateProperties& properties);
    void restoreBidiPrivateModes(std::span<const int> pars);

    // Modes (TerminalModes.cpp).
    void cmdSetMode(std::span<const int> pars, std::string_view collect);
    void cmdResetMode(std::span<const int> pars, std::string_view collect);
    void cmdSavePrivateModes(std::span<const int> pars);
    void setMode(int mode, std::string_view collect);
    void resetMode(int mode, std::string_view collect);
    // DECRQM: decMode answers for the DEC private table.
    void cmdDecRqm(std::span<const int> pars, bool decMode);

    // Soft reset, DECSCL and the rest of the CSI p family (TerminalSoftReset.cpp).
    void csiPHandler(std::span<const int> pars, std::string_view collect);
    void cmdSoftReset();
    void softReset() { cmdSoftReset(); }

    // Character attributes (TerminalSgr.cpp).
    void cmdCsiM(std::span<const int> pars, std::string_view collect);
    // SGR read by the parser's short way: bit i of `colons` is set when a colon, not a
    // semicolon, follows parameter i.
    void selectGraphicRendition(std::span<const int> pars, uint32_t colons = 0);
    // An SGR of palette colours and codes of one or two digits, its parameters at bytes[0...]
    // and its final 'm' within `available` bytes, read and applied in one pass. Returns the
    // count of bytes after the 'm'; 0, having changed nothing, for any other shape.
    int64_t selectGraphicRenditionFrom(const uint8_t* bytes, int64_t available);
    // SGR with the separator (';' or ':') that followed each parameter but the last.
    void cmdCsiM(std::span<const int> pars, std::string_view collect, std::string_view separators);
    // A colour of SGR 38, 48 or 58 starting at pars[startIndex]; length is how many parameters it spans.
    struct ExtendedColor {
        std::optional<Attribute::Color> color;
        int length = 0;
    };
    static ExtendedColor parseExtendedColor(std::span<const int> pars, std::string_view separators, int startIndex,
                                            bool usesColon);

    // Device reports (TerminalReports.cpp).
    void cmdSendDeviceAttributes(std::span<const int> pars, std::string_view collect);
    void cmdDeviceStatus(std::span<const int> pars, std::string_view collect);
    void cmdXTVERSION(std::span<const int> pars, std::string_view collect);
    void cmdDECRQCRA(std::span<const int> pars);
    std::unique_ptr<DcsHandler> makeDecrqssHandler();
    // The DCS $ q handler: collects the request and answers it at the end of the string.
    class DECRQSS;
    static std::string xtVersionIdentity(const std::optional<std::string>& tag,
                                         const std::optional<std::string>& branch,
                                         const std::optional<std::string>& version);

    // Rectangular areas and presentation direction (TerminalRectangles.cpp).
    void csiCopyRectangularArea(std::span<const int> pars, std::string_view collect);
    void csiX(std::span<const int> pars, std::string_view collect);
    void csiZ(std::span<const int> pars, std::string_view collect);
    void csiOpenBrace(std::span<const int> pars, std::string_view collect);
    void cmdSelectPresentationDirection(std::span<const int> pars);
    void cmdSelectCharacterPath(std::span<const int> pars);
    // A rectangle of the screen: 0-based, inclusive.
    struct RectangularArea {
        int top = 0;
        int left = 0;
        int bottom = 0;
        int right = 0;
        friend bool operator==(const RectangularArea&, const RectangularArea&) = default;
    };
    // Top, left, bottom, right, 1-based; defaults to the whole screen; origin mode offsets it.
    std::optional<RectangularArea> getRectangleFromRequest(std::span<const int> pars) const;
    void cmdDECERA(std::span<const int> pars);
    void cmdSelectiveEraseRectangularArea(std::span<const int> pars);
    void cmdFillRectangularArea(std::span<const int> pars);

    // Window operations (TerminalWindow.cpp).
    void cmdWindowOptions(std::span<const int> pars);
    // Saved titles beyond this are dropped, oldest first.
    static constexpr size_t maximumTitleStackDepth = 10;

    // Kitty keyboard flags (TerminalKeyboard.cpp). Returns false to decline.
    bool handleKittyKeyboardProtocol(std::span<const int> pars, std::string_view collect);
    static constexpr size_t maximumKeyboardModeStackDepth = 16;

    // Mouse and focus reporting (TerminalMouse.cpp). Coordinates are 0-based cells.
    static bool sendsModifiers(MouseMode mode) {
        return mode == MouseMode::vt200 || mode == MouseMode::buttonEventTracking || mode == MouseMode::anyEvent;
    }
    static bool sendMotionEvent(MouseMode mode) { return mode == MouseMode::anyEvent; }
    // Stores the mode and tells the delegate.
    void setMouseMode(MouseMode mode);
    std::pair<int, int> getDims() const { return {cols_, rows_}; }
    int encodeButton(int button, bool release, bool shift, bool meta, bool control) const;
    void sendEvent(int buttonFlags, int x, int y, int pixelX, int pixelY);
    void sendEvent(int buttonFlags, int x, int y) { sendEvent(buttonFlags, x, y, x, y); }
    void sendMotion(int buttonFlags, int x, int y, int pixelX, int pixelY) {
        sendEvent(buttonFlags + 32, x, y, pixelX, pixelY);
    }
    static void encodeMouseUtf(std::string& data, int ch);
    void setTerminalFocus(bool focused);
    void sendFocusReport();

    // Reset and resize (TerminalReset.cpp).
    void resetToInitialState();
    void resize(int cols, int rows);
    void clearScrollback();
    // Sets the normal buffer's scroll-back size; none means no scroll-back.
    void changeScrollback(std::optional<int> lines);
    void changeHistorySize(std::optional<int> lines) { changeScrollback(lines); }

    // Titles and cursor visibility (TerminalTitles.cpp).
    void setTitle(const std::string& text);
    void setIconTitle(const std::string& text);
    void showCursor();
    void hideCursor();

    // Text export (TerminalText.cpp). Rows are ring indices; the later column is exclusive.
    enum class BufferKind : uint8_t { active, normal, alt };
    enum class TextEncoding : uint8_t { utf8, utf16LittleEndian, utf16BigEndian, ascii, isoLatin1 };
    std::string translateBufferLineToString(Buffer& buffer, int line, int start, int end);
    // The logical lines from `start` to `end` (ordered; end.col exclusive on the last row).
    std::vector<Line> getSelectedLines(Position start, Position end, Buffer& buffer);
    // The text between two positions of the current buffer, in either order.
    std::string getText(Position start, Position end);
    // Every line of the buffer, encoded, each followed by 0x0A; rows the encoding cannot hold are left out.
    std::vector<uint8_t> getBufferAsData(BufferKind kind = BufferKind::active,
                                         TextEncoding encoding = TextEncoding::utf8);

    // OSC commands (TerminalOsc.cpp, TerminalColorOsc.cpp, TerminalSemantic.cpp).
    void oscSetTitle(int code, std::span<const uint8_t> data);
    void oscChangeOrQueryColorIndex(std::span<const uint8_t> data);
    void oscSetCurrentDocument(std::span<const uint8_t> data);
    void oscSetCurrentDirectory(std::span<const uint8_t> data);
    void oscHyperlink(std::span<const uint8_t> data);
    std::optional<ProgressReport> parseProgressReport(std::span<const uint8_t> data);
    void oscSetColors(std::span<const uint8_t> data, int startAt);
    void oscClipboard(std::span<const uint8_t> data);
    void oscResetColor(std::span<const uint8_t> data);
    // Every palette entry back to its default (OSC 104 without data, soft reset).
    void resetAllColors();
    void oscSemanticPrompt(std::span<const uint8_t> data);
    void oscNotification(std::span<const uint8_t> data);
    void osciTerm2(std::span<const uint8_t> data);
    // The URI of a stored OSC 8 text (parameters ";" URI), or nothing without a ";".
    static std::optional<std::string> parseHyperlinkPayload(std::string_view payload);

    // Shell integration (TerminalSemantic.cpp).
    void semanticNoteAlternateScreenSwitch();
    void resetSemanticPromptState(bool clearingScreenMarks);
    // Told by line feed and index whether the cursor went on to the next line. Only a prompt
    // being typed (or about to be) cares: plain output skips the call.
    void finishSemanticLineAdvance(bool movedToNextLine) {
        const SemanticInputState input = buffer_->semanticInput;
        if (movedToNextLine && (input == SemanticInputState::prompt || input == SemanticInputState::armed)) {
            markPromptLineAdvance();
        }
    }
    void markPromptLineAdvance();
    // Host setting: when a click may move the shell's cursor inside its prompt.
    SemanticPromptClickBehavior semanticPromptClickBehavior = SemanticPromptClickBehavior::enabled();
    SemanticPromptClickMode semanticPromptClickMode() const { return buffer_->semanticClickMode; }
    // Bytes typed by the user: noted for command submission, then sent to the child.
    void sendUserInput(std::span<const uint8_t> data);
    // True when the bytes submit a command line (Enter outside a bracketed paste).
    bool scanUserInputForSubmission(std::span<const uint8_t> data);
    void resetUserInputScanner();
    // Readers for the view; rows are ring rows of the active buffer.
    std::optional<SemanticContent> semanticContent(Position position);
    std::vector<SemanticPromptAnchor> semanticPromptMarks(int row) { return buffer_->semanticPromptMarks(row); }
    std::optional<int> semanticRow(const BufferLine& line, uint64_t recycleGeneration);
    BufferLine* bufferLine(int row);
    std::optional<SemanticPromptKind> semanticRowKind(int row) { return buffer_->semanticRowKind(row); }
    std::optional<Position> activeSemanticPromptOrigin() { return buffer_->activeSemanticPromptOrigin(); }
    bool mightRouteSemanticPromptClick(SemanticPromptClickModifiers modifiers,
                                       const SemanticPromptPointerSnapshot& snapshot) const;
    bool handleSemanticPromptClick(Position position, SemanticPromptClickModifiers modifiers,
                                   const SemanticPromptPointerSnapshot& snapshot);
    // True when the click was turned into output to the shell.
    bool handleSemanticPromptClick(Position position, SemanticPromptClickModifiers modifiers);

    // Links under a cell (TerminalLinks.cpp).
    enum class LinkLookupMode : uint8_t { explicitOnly, explicitAndImplicit };
    struct LinkLookupLocation {
        enum class Kind : uint8_t { buffer, screen };
        Kind kind = Kind::buffer;
        Position position;  // a ring row for buffer, a row of the view for screen
        static LinkLookupLocation buffer(Position p) { return {Kind::buffer, p}; }
        static LinkLookupLocation screen(Position p) { return {Kind::screen, p}; }
    };
    struct LinkMatch {
        // Half-open range of columns.
        struct Columns {
            int start = 0;
            int end = 0;
            friend bool operator==(const Columns&, const Columns&) = default;
        };
        struct RowRange {
            int64_t row = 0;
            Columns range;
            friend bool operator==(const RowRange&, const RowRange&) = default;
        };
        std::string text;  // the URI of an explicit link, the matched text of an implicit one
        int64_t row = 0;   // the row of the looked-up cell
        Columns range;     // columns of the link on that row
        bool isExplicit = false;
        std::vector<RowRange> rowRanges;  // every row the link covers, top to bottom
        friend bool operator==(const LinkMatch&, const LinkMatch&) = default;
    };
    std::optional<std::string> link(LinkLookupLocation location, LinkLookupMode mode);
    std::optional<LinkMatch> linkMatch(LinkLookupLocation location, LinkLookupMode mode);
    std::optional<Position> resolveLinkLocation(LinkLookupLocation location, Buffer& in) const;
    // The pattern of implicit links, in ICU syntax.
    static std::string_view implicitLinkPattern();

protected:
    friend class EscapeSequenceParser;
    void configureParser(EscapeSequenceParser& parser);

private:
    static void appendReplyPart(std::string& out, std::string_view text) { out.append(text); }
    static void appendReplyPart(std::string& out, const std::string& text) { out.append(text); }
    static void appendReplyPart(std::string& out, const char* text) { out.append(text); }
    static void appendReplyPart(std::string& out, uint8_t byte) { out.push_back(static_cast<char>(byte)); }
    static void appendReplyPart(std::string& out, const std::vector<uint8_t>& bytes) {
        out.append(bytes.begin(), bytes.end());
    }
    void installScrollCallback(Buffer& buffer);
    void scheduleSynchronizedOutputTimeout();

    TerminalDelegate* tdel_;
    Scheduler* scheduler_;
    TerminalOptions options_;
    int cols_ = 80;
    int rows_ = 25;

    std::unique_ptr<EscapeSequenceParser> parser_;
    std::unique_ptr<Buffer> normalBuffer_;
    std::unique_ptr<Buffer> altBuffer_;
    Buffer* buffer_ = nullptr;
    std::vector<SelectionService*> selections_;
    LineRef blankLine_;

    bool synchronizedOutputActive_ = false;
    std::shared_ptr<Cancellable> synchronizedOutputTimeoutItem_;
    int refreshStart_ = INT_MAX;
    int refreshEnd_ = -1;
    int scrollInvariantRefreshStart_ = INT_MAX;
    int scrollInvariantRefreshEnd_ = -1;
    uint64_t fullScreenUpdates_ = 0;

    Color foregroundColor_ = Color::defaultForeground;
    Color backgroundColor_ = Color::defaultBackground;
    std::optional<Color> cursorColor_;
    bool settingFgColor_ = false;
    bool settingBgColor_ = false;
    bool settingCursorColor_ = false;

    std::unordered_map<Character, int32_t, CharacterHash> charToIndexMap_;
    std::unordered_map<int32_t, Character> indexToCharMap_;
    // Single scalars above U+FFFF, interned apart so the print path skips string hashing.
    std::unordered_map<char32_t, int32_t> scalarToIndexMap_;
    // Joins decided before, so the print path need not build and compare strings again:
    // (cell code << 21 | joining scalar) to the joined cluster's code, or -1 when the two do
    // not form one cluster. Fixed in size, so hostile input cannot grow it; four ways per set
    // (one cache line), so the few joins a text repeats do not evict each other.
    struct KnownJoin {
        uint64_t key = ~uint64_t(0);
        int32_t code = 0;
    };
    static constexpr size_t joinWays = 4;
    alignas(64) std::array<KnownJoin, 256> joinCache_{};
    static size_t joinSet(uint64_t key) { return ((key * 0x9E3779B97F4A7C15ull) >> 58) * joinWays; }
    const KnownJoin* knownJoin(uint64_t key) const {
        const KnownJoin* set = joinCache_.data() + joinSet(key);
        for (size_t way = 0; way < joinWays; ++way) {
            if (set[way].key == key) return &set[way];
        }
        return nullptr;
    }
    std::array<std::pair<char32_t, int32_t>, 256> recentScalarCodes_{};
    int32_t lastCharIndex_ = 0x400001;
    size_t internedClusterScalars_ = 0;
    uint64_t joinsDecided_ = 0;

    std::unordered_set<uint16_t> payloadCodes_;
    std::unique_ptr<GraphicsProtocols> graphics_;

    // Print path: bytes of a character cut off at the end of the previous run.
    std::vector<uint8_t> putbackBuffer_;

    // --- Private state of the handler files (add new members in the section of the file that uses them) ---
    // TerminalPrint.cpp
    bool writeAsciiInRow(std::span<const uint8_t> data);
    size_t writeAscii(std::span<const uint8_t> data);
    size_t writeRun(std::span<const uint8_t> data, size_t start);
    size_t printCharacter(std::span<const uint8_t> data, size_t i);
    const CellWriter& cellWriter(TinyAtom payload, uint8_t semanticCode);
    std::unique_ptr<CellWriterCache> cellWriters_;
    bool joinInRun(CharData* cells, int lastX, int& x, int right, char32_t scalar, bool& afterJoiner);
    bool isLoneRegionalIndicator(int32_t cellCode) const;
    bool cellBeforeCursorEndsWithJoiner();
    void rememberJoin(uint64_t key, int32_t joinedCode);
    size_t finishPutback(std::span<const uint8_t> data);
    void printSingleByte(uint8_t byte);
    void printScalar(char32_t scalar);
    bool joinWithTarget(char32_t scalar, int row, int col);
    int32_t scalarCode(char32_t scalar);
    std::u32string_view codeText(int32_t code, char32_t& scratch) const;
    // With autowrap off: a cursor one past the last usable column goes back onto it.
    void holdCursorAtRightMargin();
    // The column of the cell the cursor follows: x - 1, or x while a write held the cursor there.
    int columnBeforeCursor(const Buffer& buffer, const BufferLine& line) const;
    bool cursorHeldOn(const BufferLine& line) const;
    const BufferLine* heldLine_ = nullptr;
    int heldColumn_ = -1;
    uint64_t heldGeneration_ = 0;
    // The hyperlink resolver of new cells; an empty one while no link is open.
    const Buffer::PayloadResolver& payloadResolver() const { return activeHyperlink ? payloadResolver_ : noPayload_; }
    Buffer::PayloadResolver payloadResolver_ = [this] { return resolveActiveHyperlink(); };
    Buffer::PayloadResolver noPayload_;
    // TerminalControl.cpp / TerminalCursor.cpp / TerminalScroll.cpp / TerminalEdit.cpp
    bool cursorInsideMargins() const;
    bool moveDownOrScroll();
    void shiftRows(int first, int last, int passes, bool down, bool columnsOnly, const Attribute& blank);
    void insertOrDeleteLines(std::span<const int> pars, bool insert);
    // Erased and scrolled-in cells: default foreground on the current background, no style.
    Attribute eraseAttribute() const;
    CharData eraseCell() const;
    bool marginsNarrowed() const;
    void adjustSelectionsForInPlaceScroll(int top, int bottom, int lines) {
        if (!selections_.empty()) adjustSelectionsInPlace(top, bottom, lines);
    }
    void adjustSelectionsInPlace(int top, int bottom, int lines);
    // The three kinds of scroll(isWrapped:).
    void scrollColumns(int top, int bottom);
    void scrollIntoScrollback(int bottom, bool isWrapped, const BidiPresentationState& bidi);
    void scrollInPlace(int top, int bottom, bool isWrapped, const BidiPresentationState& bidi);
    void markEditedRegion();
    void shiftColumns(int n, bool insert);
    // TerminalModes.cpp / TerminalSgr.cpp / TerminalReports.cpp
    void setDecPrivateMode(int mode, bool set);
    void switchColumns(int columns);
    void enterAlternateScreen();
    void finishScreenSwitch();
    void applyBidiState(const BidiPresentationState& state, const BidiStateProperties& changed);
    KeyboardModeState& activeKeyboardMode() { return isCurrentBufferAlternate() ? keyboardModeAlt : keyboardModeNormal; }
    // TerminalRectangles.cpp
    void applyFallbackDirection(BidiDirection direction);
    // TerminalOsc.cpp / TerminalSemantic.cpp / TerminalLinks.cpp
    void markCurrentSemanticPrompt(SemanticPromptKind kind);
    void clearEchoedEnterContinuationBeforeOutput();
    bool interpretSemanticCSI(uint8_t final);
    enum class SemanticScanState : uint8_t { ground, escape, csi, ss3 };
    SemanticScanState semanticScanState_ = SemanticScanState::ground;
    bool semanticScanInPaste_ = false;
    static constexpr size_t semanticScanParamsCapacity = 32;
    std::array<uint8_t, semanticScanParamsCapacity> semanticScanParams_{};
    size_t semanticScanParamsCount_ = 0;
    // TerminalReset.cpp
    // Terminal.cpp (payload codes at the quota)
    uint64_t payloadCodesRefused_ = 0;
    // Every byte fed so far; the cells the last collection walked, and the bytes fed by then: a
    // collection at the quota waits for output worth its walk.
    uint64_t bytesFed_ = 0;
    uint64_t payloadCellsWalked_ = 0;
    uint64_t bytesFedAtCollection_ = 0;
    // The delegate heard that the quota is used up; it hears it again once half of it is free.
    bool payloadQuotaSaid_ = false;
};

}  // namespace vantel
