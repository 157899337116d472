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

void TerminalView::pasteText(Pasteboard& board, bool bracketed, bool framedWhenEmpty,
                             std::optional<PasteQueue::Stream> place, PasteEnded ended) {
    // A place given up before its text was asked for (Ctrl+C) reads nothing.
    if (place && !incomingPastes_.contains(*place)) return;
    noteUserInput();
    // The paste holds its place from now: keys typed while it comes follow it.
    const PasteQueue::Stream stream = place ? *place : holdInputPlace();
    if (ended) incomingPastes_[stream].ended = std::move(ended);
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
             auto incoming = incomingPastes_.extract(stream);
             // An empty clipboard still pastes its frame; a read that brought
             // nothing pastes nothing. What came is closed as a paste, broken off or not.
             if (framedWhenEmpty && end.whole()) start();
             if (*started && bracketed) {
                 const auto& marker = EscapeSequences::bracketedPasteEnd;
                 pasteQueue_.append(stream, std::string(marker.begin(), marker.end()), false);
             }
             pasteQueue_.close(stream);
             sendPastePieces();
             if (incoming && incoming.mapped().ended) incoming.mapped().ended(end, incoming.mapped().stop);
         }});
    // Nothing to keep when the read ended at once.
    if (const auto it = incomingPastes_.find(stream); it != incomingPastes_.end()) it->second.cancel = std::move(cancel);
}

void TerminalView::stopIncomingPaste(PasteQueue::Stream stream, PasteStop why) {
    const auto it = incomingPastes_.find(stream);
    if (it == incomingPastes_.end()) return;
    it->second.stop = why;
    // The read ends at once, through the paste's own end (which forgets the place).
    if (const Pasteboard::CancelRead cancel = it->second.cancel) return cancel();
    // Its text not asked for yet: nothing of it will go.
    PasteEnded ended = std::move(it->second.ended);
    incomingPastes_.erase(it);
    pasteQueue_.close(stream);
    sendPastePieces();
    if (ended) ended({Pasteboard::ReadEnd::How::cancelled}, why);
}

void TerminalView::watchTypedInput() {
    if (typedInputWatched_) return;
    const auto held = pasteQueue_.heldTypedInput();
    if (!held) return;
    typedInputWatched_ = true;
    const auto waited = loop_.now().time_since_epoch() - platform::runtime::Duration(held->typedAt);
    std::weak_ptr<int> alive = lifetime_;
    loop_.postAfter(std::max(typedInputWaitLimit - waited, platform::runtime::Duration::zero()), [this, alive] {
        if (alive.expired()) return;
        typedInputWatched_ = false;
        // Input typed that long ago goes now: the paste it waits behind is cut.
        for (auto held = pasteQueue_.heldTypedInput(); held;) {
            const auto since = loop_.now().time_since_epoch() - platform::runtime::Duration(held->typedAt);
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
