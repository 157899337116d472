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

PasteQueue::Stream TerminalView::holdInputPlace() {
    noteUserInput();
    return pasteQueue_.open();
}

void TerminalView::sendInPlace(PasteQueue::Stream place, std::string_view bytes) {
    pasteQueue_.append(place, std::string(bytes), false);
    sendPastePieces();
}

void TerminalView::closeInputPlace(PasteQueue::Stream place) {
    pasteQueue_.close(place);
    sendPastePieces();
}

void TerminalView::pasteText(Pasteboard& board, bool bracketed, bool framedWhenEmpty,
                             std::optional<PasteQueue::Stream> place,
                             std::function<void(const Pasteboard::ReadEnd&)> ended) {
    noteUserInput();
    // The paste holds its place from now: keys typed while it comes follow it.
    const PasteQueue::Stream stream = place ? *place : pasteQueue_.open();
    auto started = std::make_shared<bool>(false);
    std::weak_ptr<int> alive = lifetime_;
    auto start = [this, stream, started, bracketed] {
        if (std::exchange(*started, true) || !bracketed) return;
        const auto& marker = EscapeSequences::bracketedPasteStart;
        pasteQueue_.append(stream, std::string(marker.begin(), marker.end()), false);
    };
    board.requestText({[this, alive, stream, started, start](std::string piece) {
                           if (alive.expired()) return;
                           if (!*started && keepsTextWhenPasted(piece)) start();
                           pasteQueue_.append(stream, std::move(piece), true);
                           sendPastePieces();
                       },
                       [this, alive, stream, started, start, bracketed, framedWhenEmpty,
                        ended = std::move(ended)](Pasteboard::ReadEnd end) {
                           if (alive.expired()) return;
                           // An empty clipboard still pastes its frame; a read that brought
                           // nothing pastes nothing. What came is closed as a paste, broken off or not.
                           if (framedWhenEmpty && end.whole()) start();
                           if (*started && bracketed) {
                               const auto& marker = EscapeSequences::bracketedPasteEnd;
                               pasteQueue_.append(stream, std::string(marker.begin(), marker.end()), false);
                           }
                           pasteQueue_.close(stream);
                           sendPastePieces();
                           if (ended) ended(end);
                       }});
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
