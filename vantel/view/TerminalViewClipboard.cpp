// Copy, paste and select all, and which menu commands the view can do now.
#include <cstdio>
#include <utility>

#include "platform/ui/Pasteboard.h"
#include "vantel/core/EscapeSequences.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

using platform::ui::Pasteboard;

void TerminalView::copy() {
    const std::string text = selection_->active() ? selection_->getSelectedText() : std::string();
    Pasteboard& board = Pasteboard::general();
    board.clearContents();
    board.setString(text);
}

void TerminalView::paste() {
    const bool bracketed = terminal_->bracketedPasteMode;
    if (bracketed || terminal_->keyboardEnhancementFlags().empty()) {
        markedText_.clear();
        markedSelection_ = TextRange{};
        refreshMarkedTextOverlay();
        pendingKittyKeyEvent_.reset();
        return pasteText(Pasteboard::general(), bracketed, true);
    }
    // Without the bracket the keyboard protocol sends a paste as one text event: it needs the whole.
    std::weak_ptr<int> alive = lifetime_;
    Pasteboard::general().requestString([this, alive](std::optional<std::string> text) {
        if (!alive.expired()) insertText(text.value_or(std::string()), TextRange{}, true);
    });
}

PasteQueue::Stream TerminalView::holdInputPlace(PasteEnded ended) {
    noteUserInput();
    const PasteQueue::Stream place = pasteQueue_.open();
    incomingPastes_[place].ended = std::move(ended);
    // An owner slow to give its first part does not hold the keys typed behind the paste key.
    std::weak_ptr<int> alive = lifetime_;
    loop_.postAfter(pasteFirstPartWait, [this, alive, place] {
        if (!alive.expired() && pasteQueue_.letPass(place)) sendPastePieces();
    });
    return place;
}

void TerminalView::sendInPlace(PasteQueue::Stream place, std::string_view bytes) {
    pasteQueue_.append(place, std::string(bytes), false);
    sendPastePieces();
}

void TerminalView::closeInputPlace(PasteQueue::Stream place) {
    incomingPastes_.erase(place);
    pasteQueue_.close(place);
    sendPastePieces();
}

std::optional<size_t> TerminalView::incomingPasteBytes(PasteQueue::Stream place) const {
    const auto it = incomingPastes_.find(place);
    if (it == incomingPastes_.end()) return std::nullopt;
    return it->second.came;
}

std::optional<size_t> TerminalView::pasteBytesToGo(PasteQueue::Stream place) const {
    const auto it = outgoingPastes_.find(place);
    if (it == outgoingPastes_.end()) return std::nullopt;
    const PasteQueue::Count count = pasteQueue_.count(place);
    // What the child has not read of what was handed over, as far as it can be this paste's.
    const uint64_t unread = inputUnreadByChild();
    const uint64_t read = inputHandedOver_ - unread;
    const std::optional<uint64_t> end = it->second.lastByteAt;
    const uint64_t held = end ? *end - std::min(*end, read) : unread;
    return count.waiting + static_cast<size_t>(std::min<uint64_t>(held, count.taken));
}

uint64_t TerminalView::inputUnreadByChild() const {
    if (!terminalDelegate_) return 0;
    return std::min<uint64_t>(terminalDelegate_->inputUnread(const_cast<TerminalView&>(*this)), inputHandedOver_);
}

void TerminalView::markPastesHandedOver() {
    for (auto& [stream, outgoing] : outgoingPastes_) {
        if (!outgoing.lastByteAt && pasteQueue_.count(stream).waiting == 0) outgoing.lastByteAt = inputHandedOver_;
    }
}

void TerminalView::readItemsInPlace(Pasteboard& board, PasteQueue::Stream place,
                                    std::function<void(Pasteboard::Items)> whole) {
    if (!incomingPastes_.contains(place)) return;
    std::weak_ptr<int> alive = lifetime_;
    auto ended = std::make_shared<bool>(false);
    Pasteboard::CancelRead cancel = board.requestItems(
        {[this, alive, place, ended, whole = std::move(whole)](Pasteboard::Items items, Pasteboard::ReadEnd end) {
             *ended = true;
             if (alive.expired()) return;
             const auto it = incomingPastes_.find(place);
             if (it == incomingPastes_.end()) return;
             // What came is counted here too, for a backend that says it only as it comes.
             if (!end.whole()) {
                 end.bytes = std::max(end.bytes, it->second.came);
                 return endIncomingPaste(place, end);
             }
             it->second.cancel = {};
             whole(std::move(items));
         },
         [this, alive, place](size_t came) {
             if (alive.expired()) return;
             if (const auto it = incomingPastes_.find(place); it != incomingPastes_.end()) it->second.came = came;
         }});
    // Nothing to keep when the read ended at once (what followed it may hold a read of its own).
    if (const auto it = incomingPastes_.find(place); it != incomingPastes_.end() && !*ended) it->second.cancel = std::move(cancel);
}

void TerminalView::pasteText(Pasteboard& board, bool bracketed, bool framedWhenEmpty,
                             std::optional<PasteQueue::Stream> place, PasteEnded ended) {
    // A place given up before its text was asked for (Ctrl+C) reads nothing.
    if (place && !incomingPastes_.contains(*place)) return;
    noteUserInput();
    // The paste holds its place from now: keys typed while it comes follow it.
    const PasteQueue::Stream stream = place ? *place : holdInputPlace();
    IncomingPaste& incoming = incomingPastes_[stream];
    if (ended) incoming.ended = std::move(ended);
    // The text's bytes are counted afresh after the items'.
    incoming.came = 0;
    incoming.ahead = std::make_shared<Pasteboard::ReadAhead>(pasteReadAheadBytes_);
    auto started = std::make_shared<bool>(false);
    std::weak_ptr<int> alive = lifetime_;
    auto start = [this, stream, started, bracketed] {
        if (std::exchange(*started, true) || !bracketed) return;
        const auto& marker = EscapeSequences::bracketedPasteStart;
        pasteQueue_.append(stream, std::string(marker.begin(), marker.end()), false);
    };
    Pasteboard::CancelRead cancel = board.requestText(
        {[this, alive, stream, started, start](std::string piece) {
             if (alive.expired()) return;
             if (const auto it = incomingPastes_.find(stream); it != incomingPastes_.end()) it->second.came += piece.size();
             if (!*started && keepsTextWhenPasted(piece)) start();
             pasteQueue_.append(stream, std::move(piece), true);
             sendPastePieces();
         },
         [this, alive, stream, started, start, bracketed, framedWhenEmpty](Pasteboard::ReadEnd end) {
             if (alive.expired()) return;
             // A text that ends inside a character was cut by its owner, however its read ended (a
             // pipe's owner that went away cannot be told from one that finished).
             if (end.whole() && pasteQueue_.holdsCharacterStart(stream)) end.how = Pasteboard::ReadEnd::How::gone;
             // An empty clipboard still pastes its frame; a read that brought
             // nothing pastes nothing. What came is closed as a paste, broken off or not.
             if (framedWhenEmpty && end.whole()) start();
             // Stopped or cut inside a character: nothing of it goes, not even ahead of the frame's
             // end (a program reading raw would get a replacement character).
             const auto it = incomingPastes_.find(stream);
             if (!end.whole() || (it != incomingPastes_.end() && it->second.stop != PasteStop::none))
                 pasteQueue_.cutShort(stream);
             if (*started && bracketed) {
                 const auto& marker = EscapeSequences::bracketedPasteEnd;
                 pasteQueue_.append(stream, std::string(marker.begin(), marker.end()), false);
             }
             endIncomingPaste(stream, end);
         },
         incoming.ahead});
    // Nothing to keep when the read ended at once.
    if (const auto it = incomingPastes_.find(stream); it != incomingPastes_.end()) it->second.cancel = std::move(cancel);
}

void TerminalView::endIncomingPaste(PasteQueue::Stream stream, const Pasteboard::ReadEnd& end) {
    auto incoming = incomingPastes_.extract(stream);
    OutgoingPaste& outgoing = outgoingPastes_[stream];
    outgoing.end = end;
    if (incoming) {
        outgoing.ended = std::move(incoming.mapped().ended);
        outgoing.stop = incoming.mapped().stop;
    }
    // A paste stopped inside a character sends nothing of it (a program reading raw would get a
    // replacement character).
    pasteQueue_.close(stream, outgoing.stop != PasteStop::none);
    // Told here when nothing of it waits.
    sendPastePieces();
}

bool TerminalView::followPasteStreams() {
    const bool childBusy = pasteQueue_.ready();
    if (childBusy && !childBusySince_) childBusySince_ = loop_.now();
    if (!childBusy && childBusySince_) {
        childTime_ += loop_.now() - *childBusySince_;
        childBusySince_.reset();
    }
    // By key, not by iterator: a read that hears of room may hand over its next piece, or end, at once.
    for (auto it = incomingPastes_.begin(); it != incomingPastes_.end();) {
        const PasteQueue::Stream stream = it->first;
        if (const auto ahead = it->second.ahead) ahead->setHeld(pasteQueue_.count(stream).waiting);
        it = incomingPastes_.upper_bound(stream);
    }
    markPastesHandedOver();
    const uint64_t read = inputHandedOver_ - inputUnreadByChild();
    bool unread = false;
    for (auto it = outgoingPastes_.begin(); it != outgoingPastes_.end();) {
        const PasteQueue::Stream stream = it->first;
        const PasteQueue::Count count = pasteQueue_.count(stream);
        if (count.waiting > 0) {
            ++it;
            continue;
        }
        // Handed over whole, but its end still waits to be written: still going out. One that was
        // stopped has nothing left to write.
        if (it->second.stop == PasteStop::none && it->second.lastByteAt && read < *it->second.lastByteAt) {
            unread = true;
            ++it;
            continue;
        }
        OutgoingPaste gone = std::move(it->second);
        outgoingPastes_.erase(it);
        pasteQueue_.forget(stream);
        if (gone.ended) gone.ended(gone.end, gone.stop, count.taken);
        it = outgoingPastes_.upper_bound(stream);
    }
    return unread;
}

uint64_t TerminalView::ownerClockNs() const {
    platform::runtime::Duration child = childTime_;
    if (childBusySince_) child += loop_.now() - *childBusySince_;
    // 0 means not typed.
    return static_cast<uint64_t>(std::max<int64_t>((loop_.now().time_since_epoch() - child).count(), 1));
}

void TerminalView::stopIncomingPaste(PasteQueue::Stream stream, PasteStop why) {
    const auto it = incomingPastes_.find(stream);
    if (it == incomingPastes_.end()) return;
    it->second.stop = why;
    // The read ends at once, through the paste's own end (which forgets the place).
    if (const Pasteboard::CancelRead cancel = it->second.cancel) return cancel();
    // Nothing asked for yet: nothing of it will go.
    endIncomingPaste(stream, {Pasteboard::ReadEnd::How::cancelled});
}

bool TerminalView::pastesUnderWay() const {
    return !incomingPastes_.empty() || !pasteQueue_.empty() || !outgoingPastes_.empty();
}

void TerminalView::stopPastes(PasteStop why) {
    // Text of a paste whose owner hears how it ended is told there, not again as dropped.
    size_t told = 0;
    const uint64_t read = inputHandedOver_ - inputUnreadByChild();
    for (auto& [stream, outgoing] : outgoingPastes_) {
        const size_t waiting = pasteQueue_.count(stream).waiting;
        // Still going out: text waits here, or its last byte waits to be written.
        if (waiting > 0 || !outgoing.lastByteAt || read < *outgoing.lastByteAt) outgoing.stop = why;
        if (outgoing.ended) told += waiting;
    }
    std::vector<PasteQueue::Stream> streams;
    for (const auto& [stream, incoming] : incomingPastes_) {
        streams.push_back(stream);
        if (incoming.ended) told += pasteQueue_.count(stream).waiting;
    }
    // Dropped first, so that each paste's end counts only what reached the child.
    size_t dropped = pasteQueue_.dropPastedText();
    // And what waits in the writer: what is sent next (the Ctrl+C) goes next, whatever the child reads.
    pasteStopDiscardedUnread_ = false;
    pasteStopReachedRawReader_ = why == PasteStop::interrupted && terminalDelegate_ && !terminalDelegate_->interruptKeySignals(*this);
    pasteStopReachedRelay_ = pasteStopReachedRawReader_ && terminalDelegate_->interruptRelayed(*this);
    if (terminalDelegate_) {
        uint64_t takenBack = 0;
        for (const auto& [paste, bytes] : terminalDelegate_->takeBackPastes(*this, pasteStopDiscardedUnread_)) {
            takenBack += bytes;
            dropped += bytes;
            if (paste == PasteQueue::wholePaste) continue;
            pasteQueue_.takeBack(paste, bytes);
            const bool hears = (outgoingPastes_.contains(paste) && outgoingPastes_[paste].ended) ||
                               (incomingPastes_.contains(paste) && incomingPastes_[paste].ended);
            if (hears) told += bytes;
        }
        inputHandedOver_ -= std::min(takenBack, inputHandedOver_);
    }
    for (const PasteQueue::Stream stream : streams) stopIncomingPaste(stream, why);
    sendPastePieces();
    if (dropped > told && pastedTextDropped_) pastedTextDropped_(dropped - told, why);
}

void TerminalView::watchTypedInput() {
    if (typedInputWatched_) return;
    const auto held = pasteQueue_.heldTypedInput();
    if (!held) return;
    typedInputWatched_ = true;
    const auto waited = platform::runtime::Duration(ownerClockNs() - held->typedAt);
    std::weak_ptr<int> alive = lifetime_;
    loop_.postAfter(std::max(typedInputWaitLimit - waited, platform::runtime::Duration::zero()), [this, alive] {
        if (alive.expired()) return;
        typedInputWatched_ = false;
        // Input that waited that long on a clipboard's owner goes now: the paste it waits behind is cut.
        for (auto held = pasteQueue_.heldTypedInput(); held;) {
            const auto since = platform::runtime::Duration(ownerClockNs() - held->typedAt);
            if (since < typedInputWaitLimit) break;
            stopIncomingPaste(held->stream, PasteStop::keysWaited);
            const auto next = pasteQueue_.heldTypedInput();
            if (next && next->stream == held->stream) break;
            held = next;
        }
        watchTypedInput();
    });
}

bool TerminalView::validateUserInterfaceItem(const UserInterfaceItem& item) {
    const int tag = item.tag;
    if (item.action == "performFindPanelAction:") {
        if (tag == findTagSetSearchString) return selection_->active();
        return tag == findTagShow || tag == findTagNext || tag == findTagPrevious;
    }
    if (item.action == "performTextFinderAction:") {
        if (tag == findTagSetSearchString) return selection_->active();
        return tag == findTagShow || tag == findTagNext || tag == findTagPrevious || tag == findTagHide || tag == 12 ||
               tag == 13;
    }
    if (item.action == "paste:" || item.action == "selectAll:") return true;
    if (item.action == "copy:") return selection_->active();
    const std::string& description = item.description.empty() ? item.action : item.description;
    std::printf("Validating User Interface Item: %s\n", description.c_str());
    std::fflush(stdout);
    return false;
}

bool TerminalView::performMenuAction(const UserInterfaceItem& item) {
    if (!validateUserInterfaceItem(item)) return false;
    if (item.action == "copy:") {
        copy();
    } else if (item.action == "paste:") {
        paste();
    } else if (item.action == "selectAll:") {
        selectAll();
        setNeedsDisplay();
    } else if (item.action == "performFindPanelAction:") {
        performFindPanelAction(item.tag);
    } else if (item.action == "performTextFinderAction:") {
        performTextFinderAction(item.tag);
    }
    return true;
}

}  // namespace vantel
