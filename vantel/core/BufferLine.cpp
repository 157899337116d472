#include "vantel/core/BufferLine.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <mutex>
#include <new>
#include <unordered_map>

#include "vantel/core/Buffer.h"

namespace vantel {

namespace {

CharData* allocateCells(int count) {
    if (count <= 0) return nullptr;
    void* block = std::malloc(static_cast<size_t>(count) * sizeof(CharData));
    if (!block) throw std::bad_alloc();
    return static_cast<CharData*>(block);
}

// Two cells (48 bytes) per step, in fixed-size copies the compiler turns into three
// register stores: rows are cleared a few dozen cells at a time, where a variable-length
// memcpy spends more on starting up than on copying.
void fillCells(CharData* cells, int count, const CharData& cell) {
    if (count <= 0) return;
    CharData pair[2] = {cell, cell};
    int i = 0;
    for (; i + 2 <= count; i += 2) std::memcpy(static_cast<void*>(cells + i), pair, sizeof pair);
    if (i < count) std::memcpy(static_cast<void*>(cells + i), pair, sizeof(CharData));
}

}  // namespace

namespace {

// Lines are capped where a 16-bit count holds them; terminals stop far below.
constexpr int maximumCells = 0xFFFF;

int clampCols(int cols) { return std::clamp(cols, 0, maximumCells); }

}  // namespace

// Allocations of lines that carry their cells, kept for reuse when a terminal lets its
// lines go: the next terminal (a tile opened after one closed) then writes into memory that
// is already mapped instead of faulting in fresh pages. Bounded, shared by every terminal.
class LineAllocationCache {
public:
    static LineAllocationCache& shared() {
        static LineAllocationCache* cache = new LineAllocationCache();  // lives until the process ends
        return *cache;
    }

    void* take(int cells) {
        std::lock_guard guard(lock_);
        auto bucket = free_.find(cells);
        if (bucket == free_.end() || bucket->second.empty()) return nullptr;
        void* memory = bucket->second.back();
        bucket->second.pop_back();
        bytes_ -= bytesFor(cells);
        return memory;
    }

    // Keeps the allocation if there is room; false when the caller must free it.
    bool keep(void* memory, int cells) {
        std::lock_guard guard(lock_);
        if (bytes_ + bytesFor(cells) > limitBytes) return false;
        free_[cells].push_back(memory);
        bytes_ += bytesFor(cells);
        return true;
    }

private:
    static constexpr size_t limitBytes = 64u << 20;
    static size_t bytesFor(int cells) { return sizeof(BufferLine) + static_cast<size_t>(cells) * sizeof(CharData); }

    std::mutex lock_;
    std::unordered_map<int, std::vector<void*>> free_;
    size_t bytes_ = 0;
};

void* BufferLine::operator new(size_t size) {
    void* memory = std::malloc(size);
    if (!memory) throw std::bad_alloc();
    return memory;
}

void BufferLine::operator delete(void* pointer) {
    // Lines made by make() carry their cells: those allocations go back to the cache.
    const size_t usable = malloc_usable_size(pointer);
    if (usable > sizeof(BufferLine)) {
        const int cells = static_cast<int>((usable - sizeof(BufferLine)) / sizeof(CharData));
        if (cells > 0 && LineAllocationCache::shared().keep(pointer, cells)) return;
    }
    std::free(pointer);
}

BufferLine::BufferLine(int cols, std::optional<CharData> fillData, bool isWrapped, BidiPresentationState bidiState) {
    cols = clampCols(cols);
    data_ = allocateCells(cols);
    fillNew(cols, fillData.value_or(CharData::Null), isWrapped, bidiState);
}

BufferLine::BufferLine(InlineCells, int cols, const CharData& fill, bool isWrapped, BidiPresentationState bidiState) {
    data_ = cols > 0 ? inlineCells() : nullptr;
    fillNew(cols, fill, isWrapped, bidiState);
}

void BufferLine::fillNew(int cols, const CharData& fill, bool isWrapped, BidiPresentationState bidiState) {
    size_ = static_cast<uint16_t>(cols);
    fillCells(data_, cols, fill);
    if (fill == CharData::Null) noteAllNull();
    else nullFrom_ = size_;
    setFlags(isWrapped ? wrappedBit : 0);
    setBidiState(bidiState);
    generation_ = 0;
    if (!(fill == CharData::Null)) extras().fill = fill;
}

void* BufferLine::allocateInline(int cols) {
    void* memory = cols > 0 ? LineAllocationCache::shared().take(cols) : nullptr;
    if (!memory) memory = std::malloc(sizeof(BufferLine) + static_cast<size_t>(cols) * sizeof(CharData));
    if (!memory) throw std::bad_alloc();
    return memory;
}

LineRef BufferLine::make(int cols, std::optional<CharData> fillData, bool isWrapped, BidiPresentationState bidiState) {
    cols = clampCols(cols);
    return LineRef(::new (allocateInline(cols))
                       BufferLine(InlineCells{}, cols, fillData.value_or(CharData::Null), isWrapped, bidiState));
}

LineRef BufferLine::makeUnwritten(int cols) {
    cols = clampCols(cols);
    // Constructed with no cells, then given its block: a new row is mostly written at once,
    // and a full row of blanks written first would double what is written to fresh memory.
    LineRef line(::new (allocateInline(cols)) BufferLine(InlineCells{}, 0, CharData::Null, false, {}));
    line->data_ = cols > 0 ? line->inlineCells() : nullptr;
    line->size_ = static_cast<uint16_t>(cols);
    line->nullFrom_ = static_cast<uint16_t>(cols);
    line->staleFrom_ = 0;
    if (cols > 0) line->recycleAndFlags_ |= staleBit;
    return line;
}

BufferLine::~BufferLine() {
    if (data_ != inlineCells()) std::free(data_);
}

int BufferLine::capacity() const {
    if (!data_) return 0;
    // Allocation rounding leaves room beyond the cells asked for; it is ours to use.
    if (data_ == inlineCells()) {
        return static_cast<int>((malloc_usable_size(const_cast<BufferLine*>(this)) - sizeof(BufferLine)) /
                                sizeof(CharData));
    }
    return static_cast<int>(malloc_usable_size(data_) / sizeof(CharData));
}

BidiPresentationState BufferLine::bidiState() const {
    const uint32_t bits = flags() >> bidiShift;
    BidiPresentationState state;
    state.supportMode = (bits & 1) ? BidiSupportMode::explicit_ : BidiSupportMode::implicit;
    state.autodetectDirection = bits & 2;
    state.fallbackDirection = (bits & 4) ? BidiDirection::rightToLeft : BidiDirection::leftToRight;
    state.boxMirroring = bits & 8;
    return state;
}

void BufferLine::setBidiState(const BidiPresentationState& state) {
    const uint32_t bits = (state.supportMode == BidiSupportMode::explicit_ ? 1u : 0u) |
                          (state.autodetectDirection ? 2u : 0u) |
                          (state.fallbackDirection == BidiDirection::rightToLeft ? 4u : 0u) |
                          (state.boxMirroring ? 8u : 0u);
    setFlags((flags() & ((1u << bidiShift) - 1)) | (bits << bidiShift));
    ++generation_;
}

void BufferLine::setRowState(bool wrapped, const BidiPresentationState& bidi, RenderLineMode mode) {
    setBidiState(bidi);
    setFlags((flags() & ~(wrappedBit | (3u << renderShift))) | (wrapped ? wrappedBit : 0) |
             (static_cast<uint32_t>(mode) << renderShift));
}

LineRef BufferLine::copyOf(const BufferLine& other) {
    other.settle();
    // Only the cells before nullFrom_ differ from blank: the rest are left unwritten.
    LineRef line = makeUnwritten(other.size_);
    if (other.nullFrom_ > 0) {
        std::memcpy(static_cast<void*>(line->data_), other.data_, sizeof(CharData) * other.nullFrom_);
        line->staleFrom_ = other.nullFrom_;
        if (other.nullFrom_ == other.size_) line->recycleAndFlags_ &= ~staleBit;
    }
    line->setFlags(other.flags());
    if (other.extras_) line->extras_ = std::make_unique<Extras>(*other.extras_);
    line->generation_ = 0;
    return line;
}

void BufferLine::reallocate(int cols) {
    if (data_ != inlineCells()) std::free(data_);
    data_ = allocateCells(cols);
}

BufferLine::Extras& BufferLine::extras() {
    if (!extras_) extras_ = std::make_unique<Extras>();
    return *extras_;
}

void BufferLine::dropExtrasIfEmpty() {
    if (extras_ && extras_->isEmpty()) extras_.reset();
}

void BufferLine::copyFrom(const BufferLine& line) {
    if (&line == this) return;
    line.settle();
    settle();
    if (capacity() < line.size_) reallocate(line.size_);
    if (line.size_ > 0) std::memcpy(static_cast<void*>(data_), line.data_, sizeof(CharData) * line.size_);
    size_ = line.size_;
    nullFrom_ = line.nullFrom_;
    nullBefore_ = line.nullBefore_;
    const uint32_t keepRender = flags() & (3u << renderShift);
    setFlags((line.flags() & ~(3u << renderShift)) | keepRender);
    const bool sourceHasState = line.extras_ && (!line.extras_->marks.empty() || line.extras_->hardContinuationGroup);
    if (sourceHasState) {
        extras().marks = line.extras_->marks;
        extras_->hardContinuationGroup = line.extras_->hardContinuationGroup;
    } else if (extras_) {
        extras_->marks.clear();
        extras_->hardContinuationGroup.reset();
        dropExtrasIfEmpty();
    }
    ++generation_;
}

void BufferLine::setCell(int index, const CharData& cell) {
    if (size_ == 0) return;
    settle();
    if (index >= size_ || index < 0) {
        noteInconsistency(Inconsistency::cellIndexOutOfRange);
        index = size_ - 1;
    }
    data_[index] = cell;
    noteWritten(index + 1);
    noteWrittenFrom(index);
    ++generation_;
}

bool BufferLine::hasContent(int index) const {
    if (size_ == 0) return false;
    const CharData& cell = (*this)[std::max(index, 0)];
    const Attribute& a = cell.attribute;
    return cell.code != 0 || !a.style.isEmpty() || !a.fg.isDefault() || !a.bg.isDefault() ||
           a.underlineStyle != UnderlineStyle::none || a.hasUnderlineColor();
}

bool BufferLine::hasAnyContent() const {
    for (int i = 0; i < size_; ++i) {
        if (hasContent(i)) return true;
    }
    return false;
}

int BufferLine::getTrimmedLength() const {
    settle();
    for (int i = size_ - 1; i >= 0; --i) {
        if (data_[i].code != 0) return i + data_[i].width;
    }
    return 0;
}

std::vector<CharData> BufferLine::getData() const {
    settle();
    return std::vector<CharData>(data_, data_ + size_);
}

std::string BufferLine::translateToString(bool trimRight, int startCol, int endCol, bool skipNullCellsFollowingWide,
                                          const CharacterProvider& characterProvider) const {
    settle();
    if (endCol == -1) endCol = size_;
    if (trimRight) endCol = std::max(std::min(endCol, getTrimmedLength()), startCol);
    startCol = std::max(startCol, 0);
    endCol = std::min(endCol, int(size_));
    std::string out;
    auto append = [&](const CharData& cell) {
        if (characterProvider) {
            for (char32_t c : characterProvider(cell)) appendUtf8(out, c);
        } else if (cell.code >= 0 && isUnicodeScalar(static_cast<uint32_t>(cell.code))) {
            appendUtf8(out, static_cast<char32_t>(cell.code));
        } else {
            out.push_back(' ');
        }
    };
    if (!skipNullCellsFollowingWide) {
        for (int i = startCol; i < endCol; ++i) append(data_[i]);
        return out;
    }
    for (int i = startCol; i < endCol; ++i) {
        const CharData& cell = data_[i];
        if (cell.code == 0 && i > 0 && data_[i - 1].width == 2) continue;
        append(cell);
        if (cell.width == 2 && i + 1 < endCol && data_[i + 1].code == 0) ++i;
    }
    return out;
}

std::string BufferLine::debugDescription() const {
    settle();
    std::string out;
    for (int i = 0; i < size_; ++i) out += toUtf8(data_[i].getCharacter());
    return out;
}

void BufferLine::fill(const CharData& cell) {
    settle();
    fillCells(data_, size_, cell);
    if (cell == CharData::Null) noteAllNull();
    else nullFrom_ = size_, nullBefore_ = 0;
    ++generation_;
}

void BufferLine::fill(const CharData& cell, int atCol, int len) {
    replaceCells(atCol, atCol + std::max(len, 0), cell);
}

void BufferLine::replaceCells(int start, int end, const CharData& fillData) {
    settle();
    start = std::clamp(start, 0, int(size_));
    end = std::clamp(end, start, int(size_));
    fillCells(data_ + start, end - start, fillData);
    if (!(fillData == CharData::Null)) noteWritten(end), noteWrittenFrom(start);
    else if (start <= nullFrom_ && end >= nullFrom_) nullFrom_ = static_cast<uint16_t>(start);
    ++generation_;
}

void BufferLine::insertCells(int pos, int n, int rightMargin, const CharData& fillData) {
    settle();
    rightMargin = std::min(rightMargin, int(size_) - 1);
    if (rightMargin < 0 || n < 0) return;
    pos = std::max(pos, 0) % (rightMargin + 1);
    int room = rightMargin + 1 - pos;
    if (n < room) {
        std::memmove(static_cast<void*>(data_ + pos + n), data_ + pos, sizeof(CharData) * (room - n));
        fillCells(data_ + pos, n, fillData);
    } else {
        fillCells(data_ + pos, room, fillData);
    }
    noteWritten(rightMargin + 1);
    noteWrittenFrom(pos);
    marksShift(pos, n, rightMargin);
    ++generation_;
}

void BufferLine::deleteCells(int pos, int n, int rightMargin, const CharData& fillData) {
    settle();
    rightMargin = std::min(rightMargin, int(size_) - 1);
    if (rightMargin < 0 || n < 0) return;
    pos = std::max(pos, 0) % (rightMargin + 1);
    int room = rightMargin + 1 - pos;
    if (n < room) {
        std::memmove(static_cast<void*>(data_ + pos), data_ + pos + n, sizeof(CharData) * (room - n));
        fillCells(data_ + rightMargin + 1 - n, n, fillData);
    } else {
        fillCells(data_ + pos, room, fillData);
    }
    noteWritten(rightMargin + 1);
    noteWrittenFrom(pos);
    marksShift(pos, -n, rightMargin);
    ++generation_;
}

void BufferLine::copyFrom(BufferLine& source, int srcCol, int dstCol, int len) {
    source.settle();
    settle();
    const bool wholeLine = srcCol == 0 && dstCol == 0 && len >= size_;
    const bool sameLine = &source == this;
    // Clip to both rows; callers normally pass ranges inside them.
    srcCol = std::max(srcCol, 0);
    dstCol = std::max(dstCol, 0);
    const int n = std::max(0, std::min({len, int(source.size_) - srcCol, int(size_) - dstCol}));
    if (n > 0) std::memmove(static_cast<void*>(data_ + dstCol), source.data_ + srcCol, sizeof(CharData) * n);
    noteWritten(dstCol + n);
    if (n > 0) noteWrittenFrom(dstCol);

    std::vector<SemanticMark> moving;
    if (source.hasSemanticMarks()) {
        for (const auto& mark : source.extras_->marks) {
            if (mark.column >= srcCol && mark.column <= srcCol + n - 1) moving.push_back(mark);
        }
    }
    std::optional<Buffer::RawSemanticOrigin> origin;
    if (!moving.empty() && source.owningBuffer_) origin = source.owningBuffer_->rawSemanticOrigin();

    // Marks travel with their cells: what the copy overwrites or moves away loses its mark.
    if (sameLine) removeMarksInRange(srcCol, srcCol + n - 1);
    else source.removeMarksInRange(srcCol, srcCol + n - 1);
    removeMarksInRange(dstCol, dstCol + n - 1);

    auto isOrigin = [&](const BufferLine* line, SemanticPromptKind kind, int column) {
        return origin && origin->line == line && origin->kind == kind && origin->column == column;
    };
    bool originMoved = false;
    for (const auto& mark : moving) {
        const bool movingIsOrigin = isOrigin(&source, mark.kind, mark.column);
        SemanticMark placed{mark.kind, mark.column - srcCol + dstCol, mark.group};
        auto& marks = extras().marks;
        auto existing = std::find_if(marks.begin(), marks.end(), [&](auto& m) { return m.kind == mark.kind; });
        if (existing == marks.end()) {
            marks.push_back(placed);
            originMoved |= movingIsOrigin;
        } else if (movingIsOrigin && !isOrigin(this, existing->kind, existing->column)) {
            *existing = placed;
            originMoved = true;
        }
    }
    if (!moving.empty()) sortMarks();
    if (originMoved && !sameLine && owningBuffer_) owningBuffer_->setSemanticPromptStartLine(LineRef(this));

    if (wholeLine) {
        auto group = source.semanticHardContinuationGroup();
        if (!sameLine) source.setSemanticHardContinuationGroup(std::nullopt);
        setSemanticHardContinuationGroup(group);
    }
    dropExtrasIfEmpty();
    ++generation_;
}

void BufferLine::removeMarksInRange(int from, int to) {
    if (!hasSemanticMarks() || to < from) return;
    auto& marks = extras_->marks;
    auto end = std::remove_if(marks.begin(), marks.end(), [&](auto& m) { return m.column >= from && m.column <= to; });
    if (end != marks.end()) {
        marks.erase(end, marks.end());
        ++generation_;
    }
}

void BufferLine::resize(int cols, const CharData& fillData) {
    cols = clampCols(cols);
    if (cols == size_) return;
    settle();
    if (cols < size_) {
        // The block stays; the cells past the new end are simply no longer part of the row.
        size_ = static_cast<uint16_t>(cols);
        if (nullFrom_ > size_) nullFrom_ = size_;
        if (nullBefore_ > size_) nullBefore_ = static_cast<uint8_t>(size_);
        marksClampTo(cols);
    } else {
        if (capacity() < cols) {
            CharData* block = allocateCells(cols);
            if (size_ > 0) std::memcpy(static_cast<void*>(block), data_, sizeof(CharData) * size_);
            if (data_ != inlineCells()) std::free(data_);
            data_ = block;
        }
        fillCells(data_ + size_, cols - size_, fillData);
        if (!(fillData == CharData::Null)) noteWrittenFrom(size_);
        size_ = static_cast<uint16_t>(cols);
        if (!(fillData == CharData::Null)) nullFrom_ = size_;
    }
    ++generation_;
}

void BufferLine::clear(const Attribute& attribute) {
    checkNotBeingWritten();
    // Almost always the default attribute: a byte compare answers before the field-wise one.
    static constexpr Attribute defaultAttribute{};
    const CharData blank(0, 1, TinyAtom(), 0, attribute);
    // The flags are worked on in a register and stored once: a wide load of a field just
    // stored in part waits for the store.
    uint32_t flags = recycleAndFlags_ + (1u << recycleShift);
    if (std::memcmp(&attribute, &defaultAttribute, sizeof(Attribute)) == 0 || blank == CharData::Null) {
        // Only the cells written since the line was last blank can differ from the blank; they
        // are blanked when the line is next used.
        staleFrom_ = std::min<uint16_t>(nullBefore_, nullFrom_);
        if (staleFrom_ < nullFrom_) flags |= staleBit;
        else flags &= ~staleBit;
    } else {
        fillCells(data_, size_, blank);
        nullFrom_ = size_;
        nullBefore_ = 0;
        flags &= ~staleBit;
    }
    recycleAndFlags_ = flags;
    generation_ += 2;
    if (extras_) {
        extras_->images.reset();
        dropExtrasIfEmpty();
    }
}

void BufferLine::settleAll() {
    fillCells(data_ + staleFrom_, nullFrom_ - staleFrom_, CharData::Null);
    nullFrom_ = staleFrom_;
    if (nullFrom_ <= nullBefore_) noteAllNull();
    recycleAndFlags_ &= ~staleBit;
}

void BufferLine::settleBefore(int from) {
    // Old cells before `from` are blanked; those from there on wait for noteCellsWritten.
    if (from >= nullFrom_) {
        settleAll();
    } else if (from > staleFrom_) {
        fillCells(data_ + staleFrom_, from - staleFrom_, CharData::Null);
        if (nullBefore_ >= staleFrom_) raiseNullBefore(from);
        staleFrom_ = static_cast<uint16_t>(from);
    }
}

void BufferLine::settleAround(int from, int count) {
    // The old cells are staleFrom_ to nullFrom_; the caller overwrites `first` to `end`.
    const int stale = staleFrom_;
    const int first = std::clamp(from, 0, int(size_));
    const int end = std::clamp(from + std::max(count, 0), first, int(size_));
    // Nothing was written since the clear: every cell before the old ones is blank.
    const bool onlyOld = nullBefore_ >= stale;
    if (end <= stale) {
        // Before the old cells: they stay as they are, unless they are few and all there is.
        // Then they go now, and the line knows it holds just what is written: a column of
        // output that moves along recycled lines rewrites no blank cells.
        if (onlyOld && nullFrom_ - stale <= shortStaleCells) {
            fillCells(data_ + stale, nullFrom_ - stale, CharData::Null);
            noteAllNull();
            staleFrom_ = 0;
            recycleAndFlags_ &= ~staleBit;
        }
        return;
    }
    if (first >= nullFrom_) {
        // After them: the written cells will extend nullFrom_ past them, so they go now.
        settleAll();
        return;
    }
    // Only one stretch of old cells is remembered: those before the range are blanked now.
    if (first > stale) {
        fillCells(data_ + stale, first - stale, CharData::Null);
        if (onlyOld) raiseNullBefore(first);
    }
    if (end < nullFrom_) {
        staleFrom_ = static_cast<uint16_t>(end);
        return;
    }
    staleFrom_ = 0;
    recycleAndFlags_ &= ~staleBit;
}

const std::vector<SemanticMark>& BufferLine::semanticMarks() const {
    static const std::vector<SemanticMark> none;
    return extras_ ? extras_->marks : none;
}

void BufferLine::sortMarks() {
    if (!extras_) return;
    std::stable_sort(extras_->marks.begin(), extras_->marks.end(),
                     [](const SemanticMark& a, const SemanticMark& b) { return a.column < b.column; });
}

void BufferLine::setSemanticMark(SemanticPromptKind kind, int column, uint64_t group) {
    auto& marks = extras().marks;
    auto end = std::remove_if(marks.begin(), marks.end(), [&](auto& m) { return m.kind == kind; });
    if (end != marks.end()) {
        marks.erase(end, marks.end());
        ++generation_;
    }
    marks.push_back(SemanticMark{kind, column, group});
    ++generation_;
    sortMarks();
    ++generation_;
}

void BufferLine::setSemanticMarks(std::vector<SemanticMark> marks) {
    extras().marks = std::move(marks);
    sortMarks();
    dropExtrasIfEmpty();
    ++generation_;
}

void BufferLine::destroySemanticState() {
    if (!extras_) return;
    if (!extras_->marks.empty() || extras_->hardContinuationGroup) ++generation_;
    extras_->marks.clear();
    extras_->hardContinuationGroup.reset();
    dropExtrasIfEmpty();
}

void BufferLine::marksShift(int from, int by, int rightMargin) {
    if (by == 0 || !hasSemanticMarks()) return;
    for (auto& mark : extras_->marks) {
        if (mark.column >= from && mark.column <= rightMargin) {
            mark.column = std::clamp(mark.column + by, from, std::max(from, rightMargin));
        }
    }
    ++generation_;
}

void BufferLine::marksClampTo(int width) {
    if (!hasSemanticMarks()) return;
    if (width < 1) {
        extras_->marks.clear();
        dropExtrasIfEmpty();
    } else {
        for (auto& mark : extras_->marks) mark.column = std::clamp(mark.column, 0, width - 1);
    }
    ++generation_;
}

void BufferLine::setSemanticHardContinuationGroup(std::optional<uint64_t> group) {
    if (!group && !extras_) return;
    extras().hardContinuationGroup = group;
    dropExtrasIfEmpty();
    ++generation_;
}

void BufferLine::setImages(std::optional<TerminalImageList> images) {
    if (!images && !extras_) return;
    extras().images = std::move(images);
    dropExtrasIfEmpty();
    ++generation_;
}

void BufferLine::attach(std::shared_ptr<TerminalImage> image) {
    auto& images = extras().images;
    if (!images) images.emplace();
    images->push_back(std::move(image));
    ++generation_;
}

}  // namespace vantel
