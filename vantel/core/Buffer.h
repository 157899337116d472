#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "vantel/core/BidiPresentationState.h"
#include "vantel/core/BufferLine.h"
#include "vantel/core/CharSets.h"
#include "vantel/core/CircularBufferLineList.h"
#include "vantel/core/Position.h"
#include "vantel/core/SemanticPrompt.h"
#include "vantel/core/SerialNumber.h"

namespace vantel {

// One screen of a terminal with its scroll-back: the line ring, cursor, scroll
// region, margins, tab stops, saved cursor and the prompt state of shell integration.
// Ring rows count from the oldest scroll-back line; the cursor, the region, the
// margins and the saved cursor are screen-relative (row 0 is ring row yBase).
class Buffer {
public:
    Buffer(int cols, int rows, int tabStopWidth, std::optional<int> scrollback, BidiPresentationState bidiState);
    ~Buffer();
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    // Taken when the buffer is made and never reused (caches key by it, not by address).
    uint64_t serial() const { return serial_; }

    // Lines.
    CircularBufferLineList& lines() { return *lines_; }
    const CircularBufferLineList& lines() const { return *lines_; }
    int getCorrectBufferLength(int rows) const;
    LineRef getBlankLine(const Attribute& attribute, bool isWrapped = false) const;
    // The line at `row`, blanked in place to what getBlankLine(attribute) would make, for a
    // caller that moves it elsewhere in the ring: scrolling reuses rows instead of allocating.
    LineRef blankLineForReuse(int row, const Attribute& attribute);
    CharData getNullCell(std::optional<Attribute> attribute = std::nullopt) const;
    void fillViewportRows(std::optional<Attribute> attribute = std::nullopt);
    CharData getCharAtBufferRelative(Position position);
    CharData getChar(Position position) { return getCharAtBufferRelative({position.col, position.row + yDisp_}); }
    // The ring row nearest to `hint` (searching both ways) whose line satisfies the predicate.
    std::optional<int> findRow(int hint, const std::function<bool(const BufferLine&)>& predicate);

    // Geometry and cursor. Negative writes to x, y, yDisp, scrollTop and scrollBottom are ignored.
    int cols() const { return cols_; }
    int rows() const { return rows_; }
    int x() const { return x_; }
    void setX(int v) { if (v >= 0) x_ = v; }
    int y() const { return y_; }
    void setY(int v) { if (v >= 0) y_ = v; }
    int yBase() const { return yBase_; }
    void setYBase(int v) { yBase_ = v; }
    int yDisp() const { return yDisp_; }
    void setYDisp(int v) { if (v >= 0) yDisp_ = v; }
    int xDisp = 0;
    int xBase = 0;
    int scrollTop() const { return scrollTop_; }
    void setScrollTop(int v) { if (v >= 0) scrollTop_ = v; }
    int scrollBottom() const { return scrollBottom_; }
    void setScrollBottom(int v) { if (v >= 0) scrollBottom_ = v; }
    int marginLeft = 0;
    int marginRight = 0;
    // Lines dropped off the top of the ring so far; scroll-invariant rows count from here.
    int totalLinesTrimmed() const { return linesTop_; }
    void setLinesTop(int v) { linesTop_ = v; }
    bool isReflowEnabled() const { return hasScrollback_; }
    bool hasScrollback() const { return hasScrollback_; }
    std::optional<int> scrollback() const { return scrollback_; }

    // Saved cursor (DECSC/DECRC).
    int savedX = 0;
    int savedY = 0;
    bool savedOriginMode = false;
    bool savedMarginMode = false;
    bool savedWraparound = true;  // a restore without a save gives the power-on state
    bool savedReverseWraparound = false;
    Attribute savedAttr = Attribute::defaultAttribute;
    const CharSetTable* savedCharset = nullptr;  // none: no translation

    // The buffer's own attribute. No cell takes it: the print path's spacers and insert-mode
    // blanks follow the character written, so nothing is reverse video unasked.
    Attribute curAttr = Attribute::empty;
    // Print-path state that travels with the screen.
    bool insertMode = false;
    bool marginMode = false;
    bool wraparound = false;

    BidiPresentationState defaultBidiState;

    // Installed by the owning terminal: scrolls the region when printing wraps at its bottom.
    std::function<void(bool isWrapped)> scroll;

    // Print path (BufferPrint.cpp). The resolver gives the payload (hyperlink) of new cells;
    // it is called right before a cell is written.
    using PayloadResolver = std::function<std::optional<TinyAtom>()>;
    // Writes one character (and the spacers of a wide one) at the cursor, wrapping first.
    void insertCharacter(CharData ch, const PayloadResolver& resolvePayload);
    // Moves the cursor past the right limit on to the next row, scrolling at the region's bottom.
    void wrapCursorToNextRow();
    // Writes plain ASCII bytes in one pass per row; returns how many it wrote (0 in insert mode).
    int insertAsciiRun(std::span<const uint8_t> bytes, const Attribute& attribute,
                       const PayloadResolver& resolvePayload);

    // Tab stops.
    std::vector<bool> tabStops;
    void setupTabStops(int index, int tabStopWidth);
    void tabSet(int pos);
    void tabClear(int pos);
    int previousTabStop(int index = -1) const;
    int nextTabStop(bool marginMode, int index = -1) const;

    // Images.
    bool hasAnyImages() const { return linesWithImagesCount_ > 0; }
    int linesWithImagesCount() const { return linesWithImagesCount_; }
    void clearImagesFromLine(int row);
    // Appends an image to a ring row's list, counting the row when it had none.
    void attachImage(std::shared_ptr<TerminalImage> image, int row);
    void recalculateLinesWithImagesCount();

    // Resets and history.
    void clear();
    void softReset();
    void clearScrollback();
    void changeHistorySize(std::optional<int> scrollback);
    void resize(int newCols, int newRows);
    // Cells of a row that belong to its wrapped text: `cols`, or one less when a wide character
    // that did not fit moved to the next row and left an empty filler cell behind.
    static int getWrappedLineTrimmedLength(const BufferLine& line, const BufferLine* nextLine, int cols);

    // Shell-integration prompt state.
    SemanticContent semanticContent = SemanticContent::none();
    SemanticInputState semanticInput = SemanticInputState::idle;
    SemanticPromptClickMode semanticClickMode = SemanticPromptClickMode::none();
    bool semanticUsesSpecialCursorKeys = false;
    LineRef semanticPromptStartLine;
    int semanticPromptStartRowCache = 0;
    int semanticPromptRowScanCount = 0;
    uint64_t semanticGroupCounter = 0;
    uint64_t activeSemanticGroupID = 0;

    struct RawSemanticOrigin {
        const BufferLine* line;
        SemanticPromptKind kind;
        int column;
    };
    // The origin mark of the active prompt group on its start line, if any.
    std::optional<RawSemanticOrigin> rawSemanticOrigin() const;
    void setSemanticPromptStartLine(LineRef line) { semanticPromptStartLine = std::move(line); }

    // Prompt groups and marks (BufferSemantic.cpp). Rows are ring rows; rows outside the ring are ignored.
    void beginSemanticPromptGroup(int originRow);
    // Whether a new initial prompt at this row belongs to the active group.
    bool canReuseSemanticGroup(int row);
    void setSemanticMark(SemanticPromptKind kind, int row, int column);
    // The row of the active group's start line, found again (or re-bound) when the line moved.
    std::optional<int> semanticPromptStartRow();
    std::optional<Position> activeSemanticPromptOrigin();
    // Start of the prompt segment (origin or a later secondary prompt) that a position belongs to.
    std::optional<Position> semanticPromptRelativeOrigin(Position position);
    std::vector<SemanticPromptAnchor> semanticPromptMarks(int row);
    // initial, continuation or nothing: what a row is within the active group.
    std::optional<SemanticPromptKind> semanticRowKind(int row);
    bool rowContinuesActiveGroupHard(int row);

private:
    void setupLinesCallbacks();
    void installRing(int capacity);

    // BufferReflow.cpp
    void reflow(int oldCols, int newCols, int newRows, int oldX);

    std::unique_ptr<CircularBufferLineList> lines_;
    const uint64_t serial_ = makeSerialNumber();
    int yDisp_ = 0;
    int x_ = 0;
    int y_ = 0;
    int yBase_ = 0;
    int linesWithImagesCount_ = 0;
    int linesTop_ = 0;
    int scrollBottom_ = 0;
    int scrollTop_ = 0;
    bool hasScrollback_;
    int cols_;
    int rows_;
    std::optional<int> scrollback_;
};

}  // namespace vantel
