// Bytes through the view both ways, and the view's place in the scroll-back.
#include <algorithm>
#include <cmath>

#include "vantel/view/TerminalBidi.h"
#include "vantel/core/EscapeSequences.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

namespace {

uint64_t nanoseconds(platform::runtime::TimePoint time) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
    return ns > 0 ? static_cast<uint64_t>(ns) : 0;
}

std::span<const uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace

// --- Feeding ---------------------------------------------------------------------------------

void TerminalView::feed(std::span<const uint8_t> bytes) {
    search_->invalidate();
    if (settings_.allowMouseReporting) selection_->setActive(false);
    terminal_->feed(bytes);
    if (shouldDisplayImmediatelyAfterUserInput()) {
        displayImmediately();
    } else {
        queuePendingDisplay();
    }
}

void TerminalView::feed(std::string_view text) { feed(bytesOf(text)); }

uint64_t TerminalView::lastUserInputUptimeNs() const {
    std::lock_guard lock(userInputLock_);
    return lastUserInputUptimeNs_;
}

bool TerminalView::shouldDisplayImmediatelyAfterUserInput() const {
    if (terminal_->synchronizedOutputActive()) return false;
    const uint64_t last = lastUserInputUptimeNs();
    if (last == 0) return false;
    const uint64_t now = nanoseconds(loop_.now());
    return now >= last && now - last <= interactiveInputDisplayWindowNs;
}

void TerminalView::displayImmediately() {
    auto run = [this] {
        updateTextBlinkLifecycle();
        updateDisplay(true);
        pendingDisplay_ = false;
    };
    if (loop_.isLoopThread()) return run();
    if (pendingDisplay_) return;
    pendingDisplay_ = true;
    std::weak_ptr<int> alive = lifetime_;
    loop_.post([alive, run] {
        if (!alive.expired()) run();
    });
}

// --- Sending ---------------------------------------------------------------------------------

void TerminalView::noteUserInput() {
    {
        std::lock_guard lock(userInputLock_);
        // 0 means never: a clock that starts at 0 (the tests' virtual one) still counts.
        lastUserInputUptimeNs_ = std::max<uint64_t>(nanoseconds(loop_.now()), 1);
    }
    ensureCaretIsVisible();
    holdCaretBlink();
}

void TerminalView::send(std::span<const uint8_t> data) {
    noteUserInput();
    const bool whenRead = std::exchange(interruptWaitsForRead_, false);
    const bool insists = std::exchange(interruptInsists_, false);
    if (!pasteQueue_.empty()) {
        pasteQueue_.push(std::string(data.begin(), data.end()), false, ownerClockNs(), whenRead);
        if (!incomingPastes_.empty()) watchTypedInput();
        return;
    }
    deliverInput(data, 0, whenRead, insists);
}

void TerminalView::send(std::string_view text) { send(bytesOf(text)); }

void TerminalView::deliverInput(std::span<const uint8_t> data, uint64_t paste, bool whenRead, bool insists) {
    if (terminal_->scanUserInputForSubmission(data) &&
        terminal_->buffer().semanticInput == SemanticInputState::armed) {
        terminal_->buffer().semanticInput = SemanticInputState::submitted;
    }
    if (!terminalDelegate_) return;
    inputHandedOver_ += data.size();
    if (paste) terminalDelegate_->sendPasted(*this, data, paste);
    else if (whenRead) terminalDelegate_->sendWhenRead(*this, data);
    else if (insists) terminalDelegate_->sendInsisting(*this, data);
    else terminalDelegate_->send(*this, data);
}

void TerminalView::sendPaste(std::string text, bool bracketed) {
    if (pasteQueue_.empty() && text.size() <= pastePieceBytes) {
        const std::string filtered = filterPastedText(text);
        if (!bracketed) {
            if (!filtered.empty()) send(std::string_view(filtered));
            return;
        }
        std::vector<uint8_t> framed(EscapeSequences::bracketedPasteStart);
        framed.insert(framed.end(), filtered.begin(), filtered.end());
        framed.insert(framed.end(), EscapeSequences::bracketedPasteEnd.begin(), EscapeSequences::bracketedPasteEnd.end());
        send(std::span<const uint8_t>(framed));
        return;
    }
    // Filtering and writing tens of megabytes would hold the loop for most of a second.
    const bool first = pasteQueue_.empty();
    noteUserInput();
    const auto& start = EscapeSequences::bracketedPasteStart;
    const auto& end = EscapeSequences::bracketedPasteEnd;
    if (bracketed) pasteQueue_.push(std::string(start.begin(), start.end()), false);
    pasteQueue_.push(std::move(text), true);
    if (bracketed) pasteQueue_.push(std::string(end.begin(), end.end()), false);
    if (first) schedulePastePieces(platform::runtime::Duration::zero());
}

void TerminalView::schedulePastePieces(platform::runtime::Duration delay) {
    if (pastePiecesDue_) return;
    pastePiecesDue_ = true;
    std::weak_ptr<int> alive = lifetime_;
    auto run = [this, alive] {
        if (alive.expired()) return;
        pastePiecesDue_ = false;
        sendPastePieces();
    };
    if (delay == platform::runtime::Duration::zero()) loop_.post(std::move(run));
    else loop_.postAfter(delay, std::move(run));
}

void TerminalView::sendPastePieces() {
    // A few pieces a turn, each a millisecond or two of filtering; the owner takes what it has room for.
    constexpr size_t turnBytes = 4 * pastePieceBytes;
    size_t sent = 0;
    while (pasteQueue_.ready() && sent < turnBytes) {
        const size_t room = terminalDelegate_ ? terminalDelegate_->inputRoom(*this) : SIZE_MAX;
        // Less room than a piece (or a key) needs: the child reads, and room is made soon.
        if (room < std::min(pastePieceBytes, pasteQueue_.frontBytes())) break;
        // What filtering makes of a piece must fit the room too.
        const size_t piece = std::min(pasteQueue_.frontIsPasted() ? room / PasteQueue::mostGrowth : room, pastePieceBytes);
        const size_t before = pasteQueue_.waitingBytes();
        const PasteQueue::Stream paste = pasteQueue_.frontPaste();
        const bool whenRead = pasteQueue_.frontWaitsForRead();
        const std::string out = pasteQueue_.take(piece);
        sent += before - pasteQueue_.waitingBytes();
        if (!out.empty()) deliverInput(bytesOf(out), paste, whenRead);
        markPastesHandedOver();
    }
    const bool unread = followPasteStreams();
    constexpr auto waitForRoom = std::chrono::milliseconds(5);
    // An open paste waiting for its next piece is sent on when the piece comes; one handed over
    // whole is watched until the child read it.
    if (!pasteQueue_.ready()) {
        if (unread) schedulePastePieces(waitForRoom);
        return;
    }
    schedulePastePieces(sent < turnBytes ? waitForRoom : platform::runtime::Duration::zero());
}

void TerminalView::sendHorizontalKey(bool left) {
    Buffer& buffer = terminal_->buffer();
    const int row = buffer.yBase() + buffer.y();
    bool rightToLeft = false;
    if (settings_.bidiHostPolicy == BidiHostPolicy::respectTerminal && row >= 0 && row < buffer.lines().count()) {
        const BidiPresentationState state = buffer.lines()[row].bidiState();
        if (state.supportMode == BidiSupportMode::explicit_) {
            rightToLeft = state.fallbackDirection == BidiDirection::rightToLeft;
        } else if (auto paragraph = TerminalBidi::paragraphResult(row, buffer, terminal_->cols(), *terminal_,
                                                                  *fontSet_.normal)) {
            rightToLeft = paragraph->baseDirection == BidiDirection::rightToLeft;
        } else {
            rightToLeft = state.fallbackDirection == BidiDirection::rightToLeft;
        }
    }
    const bool swap = terminal_->bidiArrowKeySwap && rightToLeft;
    const bool sendLeft = left != swap;
    const char* sequence = terminal_->applicationCursor ? (sendLeft ? "\x1bOD" : "\x1bOC")
                                                        : (sendLeft ? "\x1b[D" : "\x1b[C");
    send(std::string_view(sequence));
}

// --- Scroll-back -----------------------------------------------------------------------------

void TerminalView::updateUserScrollingState(int row, const Buffer& buffer) {
    const int maximum = std::max(0, buffer.lines().count() - buffer.rows());
    userScrolling_ = row < maximum;
    terminal_->userScrolling = userScrolling_;
}

void TerminalView::scrollTo(int row, bool notifyAccessibility) {
    Buffer& buffer = terminal_->buffer();
    const int maximum = std::max(0, buffer.lines().count() - buffer.rows());
    const int target = row < 0 ? 0 : std::min(row, maximum);
    updateUserScrollingState(target, buffer);
    if (target == buffer.yDisp()) return;
    buffer.setYDisp(target);
    terminal_->updateRange(0, false);
    terminal_->updateRange(terminal_->rows(), false);
    updateDisplay(notifyAccessibility);
    if (terminalDelegate_) terminalDelegate_->scrolled(*this, scrollPosition());
    updateScroller();
    setNeedsDisplay();
}

void TerminalView::scroll(double toPosition) {
    // A position from outside may be anything: not finite is ignored, the rest clamped first.
    if (!std::isfinite(toPosition)) return;
    Buffer& buffer = terminal_->buffer();
    const int maximum = std::max(0, buffer.lines().count() - buffer.rows());
    const int target = std::clamp(static_cast<int>(std::clamp(toPosition, 0.0, 1.0) * maximum), 0, maximum);
    if (target == buffer.yDisp()) {
        updateUserScrollingState(buffer.yDisp(), buffer);
    } else {
        scrollTo(target, true);
    }
}

void TerminalView::scrollUp(int lines) { scrollTo(std::max(0, terminal_->buffer().yDisp() - lines), true); }

void TerminalView::scrollDown(int lines) {
    const Buffer& buffer = terminal_->buffer();
    const int last = buffer.lines().count() - buffer.rows();
    scrollTo(std::max(0, std::min(buffer.yDisp() + lines, last)), true);
}

void TerminalView::pageUp() {
    if (terminal_->isCurrentBufferAlternate()) return send(std::string_view("\x1b[5~"));
    scrollUp(terminal_->rows());
}

void TerminalView::pageDown() {
    if (terminal_->isCurrentBufferAlternate()) return send(std::string_view("\x1b[6~"));
    scrollDown(terminal_->rows());
}

void TerminalView::changeScrollback(std::optional<int> lines) {
    terminal_->normalBuffer().changeHistorySize(lines);
    TerminalOptions options = terminal_->options();
    options.scrollback = lines.value_or(0);
    terminal_->setOptions(std::move(options));
    for (int row = 0; row < terminal_->rows(); ++row) terminal_->updateRange(row, false);
    updateScroller();
    if (terminalDelegate_) terminalDelegate_->scrolled(*this, scrollPosition());
    queuePendingDisplay();
}

void TerminalView::clearScrollback() {
    terminal_->normalBuffer().clearScrollback();
    for (int row = 0; row < terminal_->rows(); ++row) terminal_->updateRange(row, false);
    updateScroller();
    if (terminalDelegate_) terminalDelegate_->scrolled(*this, scrollPosition());
    queuePendingDisplay();
}

void TerminalView::scrollerActivated() {
    switch (scroller_.hitPart()) {
    case platform::ui::Scroller::Part::decrementPage:
        pageUp();
        scroller_.setDoubleValue(scrollPosition());
        break;
    case platform::ui::Scroller::Part::knob: scroll(scroller_.doubleValue()); break;
    case platform::ui::Scroller::Part::incrementPage:
        pageDown();
        scroller_.setDoubleValue(scrollPosition());
        break;
    case platform::ui::Scroller::Part::noPart: std::printf("Scroller .noPart clicked\n"); break;
    case platform::ui::Scroller::Part::decrementLine: std::printf("Scroller .decrementLine clicked\n"); break;
    case platform::ui::Scroller::Part::incrementLine: std::printf("Scroller .incrementLine clicked\n"); break;
    case platform::ui::Scroller::Part::knobSlot: std::printf("Scroller .knobSlot clicked\n"); break;
    }
}

}  // namespace vantel
