// Find: the bar, the find menu commands, and the find term shared through the find pasteboard.
#include <algorithm>

#include "platform/ui/Pasteboard.h"
#include "platform/ui/Window.h"
#include "vantel/view/TerminalFindBarView.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

using platform::ui::Pasteboard;

namespace {

void writeFindPasteboard(const std::string& term) {
    Pasteboard& board = Pasteboard::find();
    board.clearContents();
    board.setString(term);
}

}  // namespace

void TerminalView::prepareSearch() {
    search_->selection = selection_.get();
    search_->scrollTo = [this](int row) { scrollTo(row, true); };
}

bool TerminalView::findNext(const std::string& term, const SearchOptions& options, bool scrollToResult) {
    prepareSearch();
    const bool found = search_->findNextAndSelect(term, options, scrollToResult);
    setNeedsDisplay();
    return found;
}

bool TerminalView::findPrevious(const std::string& term, const SearchOptions& options, bool scrollToResult) {
    prepareSearch();
    const bool found = search_->findPreviousAndSelect(term, options, scrollToResult);
    setNeedsDisplay();
    return found;
}

void TerminalView::clearSearch() {
    prepareSearch();
    search_->clearSearch();
    setNeedsDisplay();
}

TerminalFindBarView& TerminalView::ensureFindBar() {
    if (findBar_) return *findBar_;
    findBar_ = std::make_unique<TerminalFindBarView>(Rect{});
    TerminalFindBarView& bar = *findBar_;
    bar.setHidden(true);
    std::weak_ptr<int> alive = lifetime_;
    bar.onSearchChanged = [this, alive](const std::string& term) {
        if (!alive.expired()) handleFindBarSearchChanged(term);
    };
    bar.onFindNext = [this, alive] {
        if (!alive.expired()) performFind(true);
    };
    bar.onFindPrevious = [this, alive] {
        if (!alive.expired()) performFind(false);
    };
    bar.onClose = [this, alive] {
        if (!alive.expired()) hideFindBar();
    };
    bar.onOptionsChanged = [this, alive](SearchOptions options) {
        if (alive.expired()) return;
        findBarOptions_ = options;
        if (!findBarTerm_.empty()) findNext(findBarTerm_, findBarOptions_, true);
    };
    addSubview(&bar);
    layoutFindBar();
    return bar;
}

void TerminalView::layoutFindBar() {
    if (!findBar_) return;
    const Rect b = bounds();
    // 8 points from the top and right edges, at most 520 wide, 8 from the left while it fits.
    const double width = std::min(TerminalFindBarView::maximumWidth,
                                  std::max(findBar_->minimumWidth(), b.width - 2 * findBarMargin));
    const double height = findBar_->preferredHeight();
    findBar_->setFrame(Rect{b.width - findBarMargin - width, b.height - findBarMargin - height, width, height});
}

void TerminalView::showFindBar(bool prefillSelection) {
    TerminalFindBarView& bar = ensureFindBar();
    bar.setHidden(false);
    std::optional<std::string> term;
    if (prefillSelection) {
        if (auto selected = getSelection(); selected && !selected->empty()) term = *selected;
    }
    if (!term) term = Pasteboard::find().string();
    if (term) {
        bar.searchField.setStringValue(*term);
        handleFindBarSearchChanged(*term);
    }
    if (window()) window()->makeFirstResponder(&bar.searchField);
}

void TerminalView::hideFindBar() {
    if (!findBar_) return;
    findBar_->setHidden(true);
    if (window()) window()->makeFirstResponder(this);
}

void TerminalView::handleFindBarSearchChanged(const std::string& term) {
    findBarTerm_ = term;
    if (term.empty()) return clearSearch();
    writeFindPasteboard(term);
    findNext(term, findBarOptions_, true);
}

void TerminalView::performFind(bool next) {
    std::optional<std::string> term;
    if (findBar_ && !findBar_->isHidden()) {
        term = findBar_->searchField.stringValue();
    } else {
        term = Pasteboard::find().string();
    }
    if (!term || term->empty()) return;
    writeFindPasteboard(*term);
    const SearchOptions options = findBar_ ? findBar_->options() : SearchOptions();
    if (next) {
        findNext(*term, options, true);
    } else {
        findPrevious(*term, options, true);
    }
}

void TerminalView::setFindPasteboardFromSelection() {
    if (auto selected = getSelection(); selected && !selected->empty()) writeFindPasteboard(*selected);
}

void TerminalView::performFindPanelAction(int tag) {
    switch (tag) {
    case findTagShow: return showFindBar(true);
    case findTagNext: return performFind(true);
    case findTagPrevious: return performFind(false);
    case findTagSetSearchString:
        setFindPasteboardFromSelection();
        return showFindBar(true);
    default: return;
    }
}

void TerminalView::performTextFinderAction(int tag) {
    if (tag == findTagHide) return hideFindBar();
    performFindPanelAction(tag);
}

}  // namespace vantel
