#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <type_traits>
#include <vector>

#include "vantel/core/BufferLine.h"

namespace vantel {

// The ring that holds every line of one screen buffer: scroll-back first, then the
// visible rows. Scrolling moves the start index, never the rows; a full ring can
// recycle its oldest line in place, so steady output allocates no lines.
class CircularBufferLineList {
public:
    explicit CircularBufferLineList(int maxLength);
    ~CircularBufferLineList();
    CircularBufferLineList(const CircularBufferLineList&) = delete;
    CircularBufferLineList& operator=(const CircularBufferLineList&) = delete;

    std::function<LineRef(int slot)> makeEmpty;
    std::function<void(bool hadImages)> onLineRecycled;
    std::function<void(bool hasImages)> onLinePushed;
    std::function<void(BufferLine&)> onLineAttached;

    // Reads a line, making it through makeEmpty when its slot was never filled.
    BufferLine& operator[](int index) { return *ref(index); }
    const LineRef& ref(int index) {
        const int at = slot(index);
        const LineRef& line = array_[at];
        return line ? line : makeLine(at);
    }
    // The line in a slot without making one (null when empty).
    BufferLine* peek(int index) const { return array_[slot(index)].get(); }
    void set(int index, LineRef line);

    int count() const { return count_; }
    void setCount(int n);
    int maxLength() const { return maxLength_; }
    void setMaxLength(int newMax);
    bool isFull() const { return count_ == static_cast<int>(array_.size()); }
    // The ring's slots and where index 0 lies among them (diagnostics).
    int capacity() const { return static_cast<int>(array_.size()); }
    int64_t startIndex() const { return startIndex_; }
    // The line stored in a slot, by slot number; null when empty or out of range.
    BufferLine* lineInSlot(int slotIndex) const {
        return slotIndex >= 0 && slotIndex < capacity() ? array_[slotIndex].get() : nullptr;
    }

    void push(LineRef line);
    // Turns the oldest line of a full ring into a blank newest line in place; returns it (null
    // when its slot was never filled).
    BufferLine* recycle(const Attribute& clearAttribute);
    // Asks for the cells from `column` on of the line a full ring recycles three times from
    // now, where the output that follows a line feed will likely start: in a big ring it has
    // left the caches long ago. Recycling itself fetches the first cells of that line.
    void prefetchForOutputAt(int column) const {
        if (column <= 0 || count_ <= prefetchAbove || !isFull()) return;
        if (const BufferLine* line = array_[slot(2)].get()) line->prefetchCellsAt(column);
    }
    // Turns a full ring by one place: the first line becomes the last, unchanged.
    void rotate() {
        if (isFull() && count_ > 0 && ++startIndex_ >= count_) startIndex_ = 0;
    }
    void splice(int start, int deleteCount, const std::vector<LineRef>& items, const std::function<void(int)>& change);
    bool shiftElements(int start, int count, int offset);
    // Moves the line at `from` to `to`; the lines between step one place toward `from`.
    // References move, nothing is counted or told: O(|to - from|), bounded by the region a
    // scroll turns rather than by the ring.
    void moveLine(int from, int to) {
        if (from == to || from < 0 || to < 0 || from >= count_ || to >= count_) return;
        const int first = slot(from), last = slot(to);
        // Nearly always the slots between do not cross the end of the array: one short copy.
        if (from < to ? first < last : last < first) {
            LineRef* base = array_.data();
            alignas(LineRef) unsigned char held[sizeof(LineRef)];
            std::memcpy(held, static_cast<const void*>(base + first), sizeof(LineRef));
            if (first < last) relocate(base + first, base + first + 1, last - first);
            else relocate(base + last + 1, base + last, first - last);
            std::memcpy(static_cast<void*>(base + last), held, sizeof(LineRef));
            return;
        }
        moveLineAcrossSeam(from, to);
    }

    // Drops the last line (its object stays in its slot).
    void pop() {
        if (count_ > 0) --count_;
    }
    // Drops the n oldest lines.
    void trimStart(int n);

    // Every line present in storage, inside the count or not (payload collection walks them).
    template <class F>
    void forEachStoredLine(F&& f) const {
        for (const auto& line : array_) {
            if (line) f(*line);
        }
    }

private:
    const LineRef& makeLine(int slotIndex);
    void moveLineAcrossSeam(int from, int to);
    // A permutation of the references: they are relocated as bytes (a Ref is one pointer), so
    // no count changes.
    static void relocate(LineRef* dst, const LineRef* src, int n) {
        static_assert(sizeof(LineRef) == sizeof(BufferLine*) && std::is_standard_layout_v<LineRef>);
        std::memmove(static_cast<void*>(dst), static_cast<const void*>(src), static_cast<size_t>(n) * sizeof(LineRef));
    }
    int slot(int index) const {
        const int64_t n = static_cast<int64_t>(array_.size());
        const int64_t i = startIndex_ + index;
        // Nearly every index lands within one turn of the ring: skip the divisions then.
        if (i >= 0 && i < n) return static_cast<int>(i);
        if (i >= n && i < 2 * n) return static_cast<int>(i - n);
        return static_cast<int>((i % n + n) % n);
    }

    // Rings longer than this recycle lines that have left the processor's caches.
    static constexpr int prefetchAbove = 512;

    std::vector<LineRef> array_;
    int64_t startIndex_ = 0;
    int count_ = 0;
    int maxLength_;
};

}  // namespace vantel
