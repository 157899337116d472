#include "vantel/core/CircularBufferLineList.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

namespace vantel {

CircularBufferLineList::CircularBufferLineList(int maxLength)
    : array_(std::max(maxLength, 1)), maxLength_(std::max(maxLength, 1)) {}

CircularBufferLineList::~CircularBufferLineList() {
    // Released from the highest address down, the lines go back to the allocation cache so
    // that the next ring takes them lowest first: side by side, so scrolling through its
    // scroll-back stays in few pages, however this ring had come to order them.
    std::sort(array_.begin(), array_.end(),
              [](const LineRef& a, const LineRef& b) { return std::greater<const BufferLine*>()(a.get(), b.get()); });
    for (LineRef& line : array_) line = nullptr;
}

const LineRef& CircularBufferLineList::makeLine(int slotIndex) {
    LineRef& line = array_[slotIndex];
    line = makeEmpty ? makeEmpty(slotIndex) : BufferLine::make(0);
    return line;
}

void CircularBufferLineList::set(int index, LineRef line) {
    BufferLine* attached = line.get();
    array_[slot(index)] = std::move(line);
    if (onLineAttached && attached) onLineAttached(*attached);
}

void CircularBufferLineList::setCount(int n) {
    n = std::clamp(n, 0, maxLength_);
    if (n > static_cast<int>(array_.size())) array_.resize(n);
    count_ = n;
}

void CircularBufferLineList::setMaxLength(int newMax) {
    newMax = std::max(newMax, 1);
    if (newMax == maxLength_) return;
    std::vector<LineRef> fresh(newMax);
    int k = std::min<int>(static_cast<int>(array_.size()), newMax);
    for (int i = 0; i < k; ++i) fresh[i] = std::move(array_[slot(i)]);
    array_ = std::move(fresh);
    startIndex_ = 0;
    maxLength_ = newMax;
    // Callers trim before shrinking; keep the invariant even if one did not.
    count_ = std::min(count_, newMax);
}

void CircularBufferLineList::push(LineRef line) {
    if (onLineAttached && line) onLineAttached(*line);
    const bool hasImages = line && line->hasImages();
    array_[slot(count_)] = std::move(line);
    if (count_ != static_cast<int>(array_.size())) {
        ++count_;
    } else {
        startIndex_ += 1;
        if (startIndex_ >= count_) startIndex_ = 0;
    }
    if (onLinePushed) onLinePushed(hasImages);
}

BufferLine* CircularBufferLineList::recycle(const Attribute& clearAttribute) {
    if (!isFull() || count_ == 0) return nullptr;  // only a full ring recycles
    LineRef& line = array_[slot(count_)];
    if (++startIndex_ >= count_) startIndex_ %= count_;
    bool hadImages = false;
    if (line) {
        hadImages = line->hasImages();
        line->clear(clearAttribute);
        line->destroySemanticState();
        line->setWrapped(false);
    }
    if (onLineRecycled) onLineRecycled(hadImages);
    // Steady output recycles line after line, each far back in memory: fetch the cells of
    // one a little ahead, whose header came some recycles ago, and the header of one further on.
    // A ring of a few screens (the alternate screen) is still in the cache.
    if (count_ > prefetchAbove) {
        if (BufferLine* soon = array_[slot(count_ + 2)].get()) soon->prefetchForClear();
        if (BufferLine* later = array_[slot(count_ + 8)].get()) __builtin_prefetch(later, 1);
    }
    return line.get();
}

void CircularBufferLineList::splice(int start, int deleteCount, const std::vector<LineRef>& items,
                                    const std::function<void(int)>& change) {
    if (start < 0) return;
    if (deleteCount > 0) {
        for (int i = start; i < count_ - deleteCount; ++i) {
            array_[slot(i)] = std::move(array_[slot(i + deleteCount)]);
            if (change) change(i);
        }
        count_ -= std::min(deleteCount, count_);
    }
    const int itemCount = static_cast<int>(items.size());
    if (itemCount > 0) {
        for (int i = count_ - 1; i >= start; --i) {
            array_[slot(i + itemCount)] = std::move(array_[slot(i)]);
            if (change) change(i + itemCount);
        }
        for (int j = 0; j < itemCount; ++j) {
            if (change) change(start + j);
            if (onLineAttached && items[j]) onLineAttached(*items[j]);
            array_[slot(start + j)] = items[j];
        }
    }
    const int length = static_cast<int>(array_.size());
    if (count_ + itemCount > length) {
        startIndex_ += count_ + itemCount - length;
        count_ = length;
    } else {
        count_ += itemCount;
    }
}

bool CircularBufferLineList::shiftElements(int start, int count, int offset) {
    // Lines the ring does not hold, or a move onto line 0 or before it.
    if (count < 0 || start < 0 || start >= count_ || start + offset <= 0) {
        noteInconsistency(Inconsistency::ringShiftRefused);
        return false;
    }
    if (offset > 0) {
        for (int i = count - 1; i >= 0; --i) array_[slot(start + i + offset)] = std::move(array_[slot(start + i)]);
        const int expanded = start + count + offset - count_;
        if (expanded > 0) {
            count_ += expanded;
            while (count_ > maxLength_) {
                --count_;
                ++startIndex_;
            }
        }
    } else if (count > 0) {
        for (int i = 0; i < count; ++i) array_[slot(start + i + offset)] = std::move(array_[slot(start + i)]);
    }
    return true;
}

void CircularBufferLineList::moveLineAcrossSeam(int from, int to) {
    LineRef* base = array_.data();
    const int length = static_cast<int>(array_.size());
    alignas(LineRef) unsigned char held[sizeof(LineRef)];
    std::memcpy(held, static_cast<const void*>(base + slot(from)), sizeof(LineRef));
    if (from < to) {
        // Lines from+1...to step down one place, run by contiguous run of slots.
        for (int i = from + 1; i <= to;) {
            const int at = slot(i);
            if (at == 0) {
                relocate(base + length - 1, base, 1);
                ++i;
                continue;
            }
            const int run = std::min(to - i + 1, length - at);
            relocate(base + at - 1, base + at, run);
            i += run;
        }
    } else {
        // Lines to...from-1 step up one place, from the last down.
        for (int i = from - 1; i >= to;) {
            const int at = slot(i);
            if (at == length - 1) {
                relocate(base, base + at, 1);
                --i;
                continue;
            }
            const int run = std::min(i - to + 1, at + 1);
            relocate(base + at - run + 2, base + at - run + 1, run);
            i -= run;
        }
    }
    std::memcpy(static_cast<void*>(base + slot(to)), held, sizeof(LineRef));
}

void CircularBufferLineList::trimStart(int n) {
    if (n <= 0) return;
    const int drop = std::min(count_, n);
    startIndex_ += drop;
    count_ -= drop;
}

}  // namespace vantel
