#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vantel/core/BidiPresentationState.h"
#include "vantel/core/CharData.h"
#include "vantel/core/Consistency.h"
#include "vantel/core/Ref.h"
#include "vantel/core/SerialNumber.h"
#include "vantel/core/SemanticPrompt.h"
#include "vantel/core/TerminalImage.h"

namespace vantel {

class Buffer;
class BufferLine;
using LineRef = Ref<BufferLine>;

// One row of the screen or of the scroll-back: a flat block of cells plus the row's
// own state. Every change advances `generation()`, so render caches compare counters.
class BufferLine {
public:
    enum class RenderLineMode : uint8_t { single, doubleWidth, doubledTop, doubledDown };

    explicit BufferLine(int cols, std::optional<CharData> fillData = std::nullopt, bool isWrapped = false,
                        BidiPresentationState bidiState = {});
    ~BufferLine();
    BufferLine(const BufferLine&) = delete;
    BufferLine& operator=(const BufferLine&) = delete;

    // A line whose cells live in the same allocation as the line itself.
    static LineRef make(int cols, std::optional<CharData> fillData = std::nullopt, bool isWrapped = false,
                        BidiPresentationState bidiState = {});
    static void* operator new(size_t size);
    static void operator delete(void* pointer);
    // A detached copy: cells, fill, wrap, bidi, render mode, marks and images; no owner, counters at 0.
    static LineRef copyOf(const BufferLine& other);

    // Cells equal to the other's, plus its wrap flag, marks, hard-continuation group and bidi state.
    void copyFrom(const BufferLine& line);

    int count() const { return size_; }
    // Reads the cell; an index at or beyond count reads the last cell.
    const CharData& operator[](int index) const {
        settle();
        if (index >= size_) return size_ > 0 ? data_[size_ - 1] : CharData::Null;
        return data_[index];
    }
    // Writes the cell; an index at or beyond count writes the last cell (and counts the
    // inconsistency).
    void setCell(int index, const CharData& cell);
    // Direct access for the hot paths; both writers count as a change.
    const CharData* cells() const {
        settle();
        return data_;
    }
    CharData* mutableCells() {
        settle();
        ++generation_;
        nullFrom_ = size_;
        nullBefore_ = 0;
        return data_;
    }
    // The cells for a writer that writes from `from` on, as far as it gets, and then reports
    // what it wrote with noteCellsWritten. Until then the line must not be read or changed
    // otherwise: after a clear, the cells it writes still count as old ones (checked builds
    // stop at any such access).
    CharData* cellsForWriting(int from) {
        checkNotBeingWritten();
        if (recycleAndFlags_ & staleBit) settleBefore(from);
        recycleAndFlags_ |= beingWrittenBit;
        return data_;
    }
    void noteCellsWritten(int from, int count) {
        VANTEL_ASSERT(recycleAndFlags_ & beingWrittenBit);
        recycleAndFlags_ &= ~beingWrittenBit;
        if (count == 0) return;
        ++generation_;
        if (recycleAndFlags_ & staleBit) {
            if (from + count >= nullFrom_) {
                staleFrom_ = 0;
                recycleAndFlags_ &= ~staleBit;
            } else if (from + count > staleFrom_) {
                staleFrom_ = static_cast<uint16_t>(from + count);
            }
        }
        noteWritten(from + count);
        noteWrittenFrom(from);
    }
    // The cells `from` to `from + count - 1`, which the caller is about to overwrite: after a
    // clear, the old cells after them stay unblanked until something reads them.
    CharData* mutableCells(int from, int count) {
        checkNotBeingWritten();
        if (recycleAndFlags_ & staleBit) settleAround(from, count);
        ++generation_;
        if (from + count > nullFrom_) nullFrom_ = static_cast<uint16_t>(std::min(from + count, int(size_)));
        noteWrittenFrom(from);
        return data_ + from;
    }

    int getWidth(int index) const { return (*this)[index].width; }
    bool hasContent(int index) const;
    bool hasAnyContent() const;
    int getTrimmedLength() const;
    std::vector<CharData> getData() const;

    using CharacterProvider = std::function<Character(const CharData&)>;
    // UTF-8 text of the row. Without a provider, grapheme codes read as " " and empty cells as U+0000.
    std::string translateToString(bool trimRight = false, int startCol = 0, int endCol = -1,
                                  bool skipNullCellsFollowingWide = false,
                                  const CharacterProvider& characterProvider = {}) const;
    std::string debugDescription() const;

    void fill(const CharData& cell);
    void fill(const CharData& cell, int atCol, int len);
    void replaceCells(int start, int end, const CharData& fillData);
    void insertCells(int pos, int n, int rightMargin, const CharData& fillData);
    void deleteCells(int pos, int n, int rightMargin, const CharData& fillData);
    void copyFrom(BufferLine& source, int srcCol, int dstCol, int len);
    void resize(int cols, const CharData& fillData);
    void clear(const Attribute& attribute);

    // Prompt marks: at most one per kind, sorted by column.
    const std::vector<SemanticMark>& semanticMarks() const;
    bool hasSemanticMarks() const { return extras_ && !extras_->marks.empty(); }
    void setSemanticMark(SemanticPromptKind kind, int column, uint64_t group);
    void setSemanticMarks(std::vector<SemanticMark> marks);
    void destroySemanticState();
    void marksShift(int from, int by, int rightMargin);
    void marksClampTo(int width);
    std::optional<uint64_t> semanticHardContinuationGroup() const {
        return extras_ ? extras_->hardContinuationGroup : std::nullopt;
    }
    void setSemanticHardContinuationGroup(std::optional<uint64_t> group);

    // Images attached to the row; absent and empty differ.
    const TerminalImageList* images() const { return extras_ && extras_->images ? &*extras_->images : nullptr; }
    bool hasImages() const { return images() != nullptr; }
    void setImages(std::optional<TerminalImageList> images);
    // Appends one image, making the list when the row has none.
    void attach(std::shared_ptr<TerminalImage> image);

    bool isWrapped() const { return flags() & wrappedBit; }
    void setWrapped(bool wrapped) {
        setFlags((flags() & ~wrappedBit) | (wrapped ? wrappedBit : 0));
        ++generation_;
    }
    BidiPresentationState bidiState() const;
    void setBidiState(const BidiPresentationState& state);
    RenderLineMode renderMode() const { return static_cast<RenderLineMode>((flags() >> renderShift) & 3); }
    void setRenderMode(RenderLineMode mode) {
        setFlags((flags() & ~(3u << renderShift)) | (static_cast<uint32_t>(mode) << renderShift));
        ++generation_;
    }
    // Wrap flag, bidi state and render mode in one change.
    void setRowState(bool wrapped, const BidiPresentationState& bidi, RenderLineMode mode);
    const CharData& fillCharacter() const { return extras_ && extras_->fill ? *extras_->fill : CharData::Null; }

    Buffer* owningBuffer() const { return owningBuffer_; }
    void setOwningBuffer(Buffer* buffer) { owningBuffer_ = buffer; }

    // Taken when the line is made and never reused; with generation() it names what the line holds.
    uint64_t serial() const { return serial_; }
    // Change counters: readers compare them for equality only.
    uint64_t generation() const { return generation_; }
    uint64_t recycleGeneration() const { return recycleAndFlags_ >> recycleShift; }
    void touch() { ++generation_; }

    // Asks the processor for the cells the next writer after a clear rewrites (a recycled line is cold):
    // the first 64 at most, where output starts (old cells past the last write are never
    // blanked, so nullFrom_ only grows, and fetching all of it would crowd out what is
    // written); of a line with just a few written cells away from its start (a column of
    // output), only those.
    void prefetchForClear() const {
        const int stale = std::min<int>(nullBefore_, nullFrom_);
        if (stale >= leadingCells && nullFrom_ - stale <= shortStaleCells) prefetchCells(stale, nullFrom_);
        else prefetchCells(0, std::min<int>(nullFrom_, 64));
    }
    // The cell at `column` and the next few, when the line has them.
    void prefetchCellsAt(int column) const {
        if (column >= size_) return;
        __builtin_prefetch(data_ + column, 1);
        if (column + 3 < size_) __builtin_prefetch(data_ + column + 3, 1);
    }
    void prefetchCells(int from, int to) const {
        const char* end = reinterpret_cast<const char*>(data_ + to);
        for (const char* p = reinterpret_cast<const char*>(data_ + from); p < end; p += 64) {
            __builtin_prefetch(p, 1);
            // A loop of prefetches alone has no effect the compiler must keep: it may drop it.
            asm volatile("" : : "r"(p));
        }
    }

    // Intrusive reference count (see Ref). A line never has more than a few references (its
    // slot, a moment in two slots, the prompt's start); one that reached the ceiling stays
    // there, so the line is kept rather than freed too early.
    void retain() {
        if (refCount_ != maximumRefCount) ++refCount_;
    }
    bool release() { return refCount_ != maximumRefCount && --refCount_ == 0; }

private:
    struct Extras {
        std::optional<CharData> fill;
        std::vector<SemanticMark> marks;
        std::optional<uint64_t> hardContinuationGroup;
        std::optional<TerminalImageList> images;
        bool isEmpty() const { return !fill && marks.empty() && !hardContinuationGroup && !images; }
    };
    struct InlineCells {};
    BufferLine(InlineCells, int cols, const CharData& fill, bool isWrapped, BidiPresentationState bidiState);
    // A line of `cols` cells that read as blank but are not written yet.
    static LineRef makeUnwritten(int cols);
    static void* allocateInline(int cols);
    void fillNew(int cols, const CharData& fill, bool isWrapped, BidiPresentationState bidiState);

    Extras& extras();
    void dropExtrasIfEmpty();
    void sortMarks();
    void removeMarksInRange(int from, int to);  // inclusive columns
    void reallocate(int cols);
    int capacity() const;
    CharData* inlineCells() const { return reinterpret_cast<CharData*>(const_cast<BufferLine*>(this) + 1); }
    void noteWritten(int end) {
        if (end > nullFrom_) nullFrom_ = static_cast<uint16_t>(std::min(end, int(size_)));
    }
    void noteWrittenFrom(int from) {
        if (from < nullBefore_) nullBefore_ = static_cast<uint8_t>(std::max(from, 0));
    }
    // Cells before `column` are now blank in memory as well.
    void raiseNullBefore(int column) {
        nullBefore_ = static_cast<uint8_t>(std::max<int>(nullBefore_, std::min({column, int(size_), maximumNullBefore})));
    }
    // Every cell is CharData::Null in memory.
    void noteAllNull() {
        nullFrom_ = 0;
        nullBefore_ = static_cast<uint8_t>(std::min<int>(size_, maximumNullBefore));
    }

    // Low bits of recycleAndFlags_: wrap flag, render mode and the packed bidi state;
    // the recycle generation counts above them.
    static constexpr uint32_t wrappedBit = 1;
    static constexpr int renderShift = 1;
    static constexpr int bidiShift = 3;
    static constexpr int flagBits = 8;
    uint32_t flags() const { return recycleAndFlags_ & ((1u << flagBits) - 1); }
    void setFlags(uint32_t flags) { recycleAndFlags_ = (recycleAndFlags_ & ~((1u << flagBits) - 1)) | flags; }
    // Set by a clear to blank cells: the cells from staleFrom_ to nullFrom_ still hold what was
    // there and read as CharData::Null. A writer that overwrites a range takes it out of them;
    // any other access blanks them first. Lines that scroll by unread are never blanked at all.
    static constexpr uint32_t staleBit = 1u << flagBits;
    // Between cellsForWriting and noteCellsWritten. Kept in every build, checked or not, so that
    // code built with other settings than the library's agrees on the layout and on the state.
    static constexpr uint32_t beingWrittenBit = 1u << (flagBits + 1);
    static constexpr int recycleShift = flagBits + 2;
    void settle() const {
        checkNotBeingWritten();
        if (recycleAndFlags_ & staleBit) const_cast<BufferLine*>(this)->settleAll();
    }
    void checkNotBeingWritten() const { VANTEL_ASSERT(!(recycleAndFlags_ & beingWrittenBit)); }
    void settleAll();
    void settleAround(int from, int count);
    void settleBefore(int from);

    // 48 bytes, then the cells when the line was made with make(). No member depends on a build
    // setting: programs built with or without NDEBUG share the library's lines.
    CharData* data_ = nullptr;
    Buffer* owningBuffer_ = nullptr;
    std::unique_ptr<Extras> extras_;
    uint64_t serial_ = makeSerialNumber();
    uint32_t generation_ = 0;
    uint32_t recycleAndFlags_ = 0;
    static constexpr uint8_t maximumRefCount = 0xFF;
    uint8_t refCount_ = 0;
    // Every cell before this one is CharData::Null in memory, whatever was written since: a
    // clear leaves just the cells from here to nullFrom_ stale, so a row written again from
    // its middle (text after an indent, a column of output) blanks little or nothing. A row
    // wider than the maximum vouches for its first cells only.
    static constexpr int maximumNullBefore = 0xFF;
    // Old cells a writer to their left blanks at once when they are all a line holds.
    static constexpr int shortStaleCells = 16;
    // Written cells at least this far from a row's start are away from where output starts.
    static constexpr int leadingCells = 8;
    uint8_t nullBefore_ = 0;
    // With staleBit set, the cells from here to nullFrom_ hold old text that reads as blank.
    uint16_t staleFrom_ = 0;
    uint16_t size_ = 0;
    // Every cell from here to the end is CharData::Null, so a clear can stop here (with
    // staleBit set, every cell from staleFrom_ on reads as one).
    uint16_t nullFrom_ = 0;
};

}  // namespace vantel
