#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vantel/core/BidiPresentationState.h"
#include "vantel/core/CharData.h"
#include "vantel/core/Ref.h"
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

    template <class... Args>
    static LineRef make(Args&&... args) {
        return LineRef::make(std::forward<Args>(args)...);
    }
    // A detached copy: cells, fill, wrap, bidi, render mode, marks and images; no owner, counters at 0.
    static LineRef copyOf(const BufferLine& other);

    // Cells equal to the other's, plus its wrap flag, marks, hard-continuation group and bidi state.
    void copyFrom(const BufferLine& line);

    int count() const { return dataSize_; }
    // Reads the cell; an index at or beyond count reads the last cell.
    const CharData& operator[](int index) const {
        if (index >= dataSize_) return dataSize_ > 0 ? data_[dataSize_ - 1] : CharData::Null;
        return data_[index];
    }
    // Writes the cell; an index at or beyond count writes the last cell (and says so).
    void setCell(int index, const CharData& cell);
    // Direct access for the hot paths. mutableCells() counts as a change.
    const CharData* cells() const { return data_; }
    CharData* mutableCells() {
        ++generation_;
        return data_;
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

    bool isWrapped() const { return isWrapped_; }
    void setWrapped(bool wrapped) {
        isWrapped_ = wrapped;
        ++generation_;
    }
    const BidiPresentationState& bidiState() const { return bidiState_; }
    void setBidiState(const BidiPresentationState& state) {
        bidiState_ = state;
        ++generation_;
    }
    RenderLineMode renderMode() const { return renderMode_; }
    void setRenderMode(RenderLineMode mode) {
        renderMode_ = mode;
        ++generation_;
    }
    const CharData& fillCharacter() const { return extras_ && extras_->fill ? *extras_->fill : CharData::Null; }

    Buffer* owningBuffer() const { return owningBuffer_; }
    void setOwningBuffer(Buffer* buffer) { owningBuffer_ = buffer; }

    uint64_t generation() const { return generation_; }
    uint64_t recycleGeneration() const { return recycleGeneration_; }
    void touch() { ++generation_; }

    // Intrusive reference count (see Ref).
    void retain() { ++refCount_; }
    bool release() { return --refCount_ == 0; }

private:
    struct Extras {
        std::optional<CharData> fill;
        std::vector<SemanticMark> marks;
        std::optional<uint64_t> hardContinuationGroup;
        std::optional<TerminalImageList> images;
        bool isEmpty() const { return !fill && marks.empty() && !hardContinuationGroup && !images; }
    };
    Extras& extras();
    void dropExtrasIfEmpty();
    void sortMarks();
    void removeMarksInRange(int from, int to);  // inclusive columns
    void reallocate(int cols);

    CharData* data_ = nullptr;
    int32_t dataSize_ = 0;
    int32_t capacity_ = 0;
    uint64_t generation_ = 0;
    Buffer* owningBuffer_ = nullptr;
    std::unique_ptr<Extras> extras_;
    uint32_t recycleGeneration_ = 0;
    uint32_t refCount_ = 0;
    bool isWrapped_ = false;
    RenderLineMode renderMode_ = RenderLineMode::single;
    BidiPresentationState bidiState_;
};

}  // namespace vantel
