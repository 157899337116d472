#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Writes cells made from one template cell with the code (and width) replaced: runs of
// printable ASCII, and single characters of any kind.
// Made once per run of text: the template is kept in registers, since rebuilding it through
// memory for every short word stalls on store forwarding.
class CellWriter {
public:
    CellWriter() : CellWriter(CharData()) {}
    explicit CellWriter(const CharData& cell) {
#if defined(__SSE2__)
        // The code is the first field of a cell; two cells are 48 bytes, three 16-byte stores.
        static_assert(sizeof(CharData) == 24);
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&cell));
        tail_ = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(reinterpret_cast<const unsigned char*>(&cell) + 16));
        first_ = _mm_and_si128(low, _mm_set_epi32(-1, -1, -1, 0));
        middle_ = _mm_unpacklo_epi64(tail_, first_);
        firstWithoutWidth_ = _mm_and_si128(low, _mm_set_epi32(-1, -1, ~0xFF, 0));
        last_ = _mm_unpacklo_epi64(_mm_srli_si128(first_, 8), tail_);
#else
        blank_ = cell;
        blank_.code = 0;
#endif
    }

    void write(CharData* cells, const uint8_t* bytes, int n) const {
#if defined(__SSE2__)
        auto* out = reinterpret_cast<unsigned char*>(cells);
        if (n >= 2 && n <= 8) {
            // Words between escape sequences: four pair writes whatever the length, the last
            // ones moved back to overlap, so no branch depends on how long the word is.
            for (int k = 0; k < 8; k += 2) writePair(out, bytes, std::min(k, n - 2));
            return;
        }
        int i = 0;
        for (; i + 2 <= n; i += 2, out += 48) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(first_, _mm_cvtsi32_si128(bytes[i])));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16),
                             _mm_or_si128(middle_, _mm_slli_si128(_mm_cvtsi32_si128(bytes[i + 1]), 8)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), last_);
        }
        if (i < n) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(first_, _mm_cvtsi32_si128(bytes[i])));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), tail_);
        }
#else
        for (int i = 0; i < n; ++i) {
            CharData cell = blank_;
            cell.code = bytes[i];
            std::memcpy(static_cast<void*>(cells + i), &cell, sizeof cell);
        }
#endif
    }

    // One cell of any character: the template with this code and width.
    void writeOne(CharData* cell, int32_t code, int8_t width) const {
#if defined(__SSE2__)
        const uint64_t head = static_cast<uint32_t>(code) | static_cast<uint64_t>(static_cast<uint8_t>(width)) << 32;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cell),
                         _mm_or_si128(firstWithoutWidth_, _mm_cvtsi64_si128(static_cast<long long>(head))));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(reinterpret_cast<unsigned char*>(cell) + 16), tail_);
#else
        CharData written = blank_;
        written.code = code;
        written.width = width;
        std::memcpy(static_cast<void*>(cell), &written, sizeof written);
#endif
    }

private:
#if defined(__SSE2__)
    void writePair(unsigned char* out, const uint8_t* bytes, int at) const {
        unsigned char* pair = out + 24 * at;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pair), _mm_or_si128(first_, _mm_cvtsi32_si128(bytes[at])));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pair + 16),
                         _mm_or_si128(middle_, _mm_slli_si128(_mm_cvtsi32_si128(bytes[at + 1]), 8)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pair + 32), last_);
    }
    __m128i first_, middle_, last_, tail_, firstWithoutWidth_;
#else
    CharData blank_;
#endif
};

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

    // Print-path state that travels with the screen.
    Attribute curAttr = Attribute::empty;
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
