// Display scheduling: the engine's dirty rows become rectangles to redraw, coalesced to one pass
// per 16.67 ms while output streams in, none while synchronized output holds it back; the caret
// follows the cursor in the same pass.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <set>

#include "vantel/view/TerminalDebugView.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

void TerminalView::queuePendingDisplay() {
    if (!terminal_ || terminal_->synchronizedOutputActive()) return;
    if (pendingDisplay_) return;
    pendingDisplay_ = true;
    const platform::runtime::TimePoint now = loop_.now();
    platform::runtime::TimePoint due = now + displayCoalescingDelay;
    if (streamingDisplayInterval_ && lastQueuedDisplay_) {
        const uint64_t input = lastUserInputUptimeNs();
        const bool typedInto =
            input != 0 && now.time_since_epoch() - std::chrono::nanoseconds(input) < streamingInputQuiet;
        if (!typedInto) due = streamingDue(due);
    }
    std::weak_ptr<int> alive = lifetime_;
    displayTimer_ = std::make_shared<platform::runtime::WorkItem>([this, alive] {
        if (alive.expired()) return;
        displayTimer_.reset();
        lastQueuedDisplay_ = loop_.now();
        updateTextBlinkLifecycle();
        updateDisplay(true);
        pendingDisplay_ = false;
    });
    displayDue_ = due;
    loop_.postAt(due, displayTimer_);
}

void TerminalView::setStreamingDisplayInterval(std::optional<platform::runtime::Duration> interval) {
    static std::atomic<uint64_t> turns{0};
    if (interval && !streamingDisplayInterval_) streamingTurn_ = turns.fetch_add(1);
    streamingDisplayInterval_ = interval;
}

platform::runtime::TimePoint TerminalView::streamingDue(platform::runtime::TimePoint earliest) const {
    // Paced views take turns: the loop's time in frames of 16.67 ms, each view redrawn in the
    // frames of its turn only, so that views paced together do not all land in one frame.
    const int64_t frame = displayCoalescingDelay.count();
    const int64_t turns = std::max<int64_t>(1, std::llround(double(streamingDisplayInterval_->count()) / double(frame)));
    const int64_t from = std::max(earliest, *lastQueuedDisplay_ + *streamingDisplayInterval_ - displayCoalescingDelay)
                             .time_since_epoch()
                             .count();
    int64_t slot = from / frame + (from % frame > 0 ? 1 : 0);
    slot += (static_cast<int64_t>(streamingTurn_ % static_cast<uint64_t>(turns)) - slot % turns + turns) % turns;
    return platform::runtime::TimePoint(platform::runtime::Duration(slot * frame));
}

void TerminalView::updateDisplay(bool /*notifyAccessibility*/) {
    if (!terminal_) return;
    if (terminal_->synchronizedOutputActive()) {
        pendingDisplay_ = false;
        return;
    }
    ++displayUpdates_;
    // Pictures of deleted images go now, whether a frame follows or not (a hidden view draws none).
    kittyPictures_.dropPicturesOfPayloadsGone();
    updateCursorPosition();
    const Buffer& buffer = terminal_->buffer();
    const std::optional<std::pair<int, int>> dirty = terminal_->getUpdateRange();
    if (!dirty) {
        if (settings_.notifyUpdateChanges && terminalDelegate_) {
            const int row = buffer.yDisp() + buffer.y();
            terminalDelegate_->rangeChanged(*this, row, row);
        }
        // The GPU path draws the cursor: a frame when it moved.
        if (gpu_->gpuView()) {
            const GpuRendererHosting::RenderedCursor cursor{buffer.x(), buffer.yBase() + buffer.y(),
                                                            terminal_->cursorHidden};
            if (gpu_->lastRenderedCursor != cursor) {
                gpu_->lastRenderedCursor = cursor;
                gpu_->requestFrame();
            }
        }
        pendingDisplay_ = false;
        if (debug_) debug_->update();
        return;
    }
    const auto [start, end] = *dirty;
    if (settings_.notifyUpdateChanges && terminalDelegate_) terminalDelegate_->rangeChanged(*this, start, end);
    terminal_->clearUpdateRange();

    const RedrawRows rows = bidiRedrawRows(start, end);
    if (gpu_->gpuView()) {
        updateGpuDisplay(rows, start, end);
        collectPayloadIfLinksWereAdded();
        pendingDisplay_ = false;
        return;
    }
    // Rows that only moved are moved on the surface, not drawn again.
    if (moveDrawnRows()) {
        collectPayloadIfLinksWereAdded();
        pendingDisplay_ = false;
        return;
    }
    const Rect b = bounds();
    Rect rect = b;
    if (buffer.yDisp() == buffer.yBase() && cellDimension_) {
        const double cellHeight = cellDimension_->height;
        rect = Rect{0, b.height - (rows.last + 1) * cellHeight, b.width, (rows.last - rows.first + 1) * cellHeight};
        if (rows.last == terminal_->rows() - 1) {
            // The strip below the last row goes with it.
            rect.height += rect.y;
            rect.y = 0;
        } else {
            // A row's glyphs may reach into the row below it.
            rect.y -= cellHeight;
            rect.height += cellHeight;
            if (rect.y < 0) {
                rect.height += rect.y;
                rect.y = 0;
            }
        }
    }
    setNeedsDisplay(rect);
    collectPayloadIfLinksWereAdded();
    pendingDisplay_ = false;
    if (debug_) debug_->update();
}

void TerminalView::updateGpuDisplay(const RedrawRows& rows, int start, int end) {
    const Buffer& buffer = terminal_->buffer();
    const int count = buffer.lines().count();
    auto& range = gpu_->gpuDirtyRange;
    if (count == 0) {
        range.reset();
    } else if (rows.bufferRows) {
        range = rows.bufferRows;
    } else {
        // Rows off the screen, or inverted: what of them lies in the buffer, else the screen.
        const int last = count - 1, yDisp = buffer.yDisp();
        const int lastVisible = std::min(yDisp + terminal_->rows() - 1, last);
        const auto [first, final] = start <= end ? std::make_pair(std::max(0, std::min(start + yDisp, last)),
                                                                  std::min(end + yDisp, last))
                                                 : std::make_pair(yDisp, lastVisible);
        if (first <= final) range = std::make_pair(first, final);
        else range.reset();
    }
    gpu_->lastRenderedCursor = GpuRendererHosting::RenderedCursor{buffer.x(), buffer.yBase() + buffer.y(),
                                                                  terminal_->cursorHidden};
    gpu_->requestFrame();
}

void TerminalView::collectPayloadIfLinksWereAdded() {
    // Codes of links that left every line go back to the process-wide table, at most once a second,
    // after links came: new codes, or links refused at the quota (where the count cannot grow).
    const size_t held = terminal_->payloadCodes().size();
    const uint64_t refused = terminal_->payloadCodesRefused();
    if (held <= payloadCodesAtCollection_ && refused == payloadCodesRefusedAtCollection_) return;
    const int64_t now = loop_.now().time_since_epoch().count();
    if (lastPayloadCollectionNs_ && now - *lastPayloadCollectionNs_ < payloadCollectionInterval.count()) {
        // What came within the second is looked at when it ends, whether more output comes or not.
        if (payloadTimer_) return;
        std::weak_ptr<int> alive = lifetime_;
        const platform::runtime::Duration wait(payloadCollectionInterval.count() - (now - *lastPayloadCollectionNs_));
        payloadTimer_ = loop_.postAfter(wait, [this, alive] {
            if (alive.expired()) return;
            payloadTimer_.reset();
            collectPayloadIfLinksWereAdded();
        });
        return;
    }
    lastPayloadCollectionNs_ = now;
    terminal_->garbageCollectPayload();
    payloadCodesAtCollection_ = terminal_->payloadCodes().size();
    payloadCodesRefusedAtCollection_ = refused;
}

void TerminalView::updateCursorPosition() {
    if (!terminal_ || !caretView_ || !cellDimension_) return;
    Buffer& buffer = terminal_->buffer();
    const int cursorRow = buffer.yBase() + buffer.y();
    if (cursorRow >= buffer.yDisp() + terminal_->rows() || terminal_->cursorHidden) {
        caretView_->removeFromSuperview();
        return;
    }
    // The scroller and the bar stay above the caret.
    if (caretView_->superview() != this) addSubview(caretView_.get(), &scroller_);
    const int screenRow = cursorRow - buffer.yDisp();
    const Size cell = *cellDimension_;
    const int column = logicalToVisualCol(cursorRow, buffer.x());
    double factor = 1;
    CharData ch{};
    if (cursorRow >= 0 && cursorRow < buffer.lines().count()) {
        const BufferLine& line = buffer.lines()[cursorRow];
        if (line.renderMode() != BufferLine::RenderLineMode::single) factor = 2;
        const int x = std::clamp(buffer.x(), 0, std::max(0, line.count() - 1));
        if (line.count() > 0) ch = line[x];
    }
    caretView_->setFrameOrigin(Point{column * cell.width * factor, bounds().height - (screenRow + 1) * cell.height});
    const int width = ch.width < 2 ? 1 : ch.width;
    const Size size{cell.width * factor * width, caretView_->frame().height};
    if (size != Size{caretView_->frame().width, caretView_->frame().height}) caretView_->setFrameSize(size);
    caretView_->setText(ch);
}

void TerminalView::invalidateLinkHighlight(const std::optional<std::vector<Terminal::LinkMatch::RowRange>>& oldRange,
                                           const std::optional<std::vector<Terminal::LinkMatch::RowRange>>& newRange) {
    std::set<int64_t> rows;
    for (const auto* ranges : {&oldRange, &newRange}) {
        if (!*ranges) continue;
        for (const auto& r : **ranges) rows.insert(r.row);
    }
    const int yDisp = terminal_->buffer().yDisp();
    for (int64_t row : rows) {
        const int64_t screenRow = row - yDisp;
        if (screenRow < 0 || screenRow >= terminal_->rows()) continue;
        terminal_->updateRange(static_cast<int>(screenRow), false);
    }
}

}  // namespace vantel
